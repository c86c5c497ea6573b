#include "foundation/Masks.h"

#include <cstdint>
#include <vector>

#include "foundation/StringUtils.h"

namespace {

// Folded code points of a text; bytes that are not valid UTF-8 stand for themselves (utf8::Decode), so
// such names still match byte for byte.
std::vector<char32_t> Folded(std::string_view s)
{
    std::vector<char32_t> out;
    out.reserve(s.size());
    char32_t cp;
    for (size_t i = 0; i < s.size();) {
        i += utf8::Decode(s, i, cp);
        out.push_back(utf8::ToLower(cp));
    }
    return out;
}

struct Element
{
    enum Kind
    {
        Literal,
        AnyChar,
        Star,
        Set
    };
    explicit Element(Kind k, char32_t c = 0) : kind(k), ch(c) {}
    Kind kind;
    char32_t ch;
    bool negate = false;
    std::vector<std::pair<char32_t, char32_t>> ranges;
};

// Reads the set that starts at mask[i] ("[" ...); false when it is malformed. A lenient set may start
// with "]" as a member and gives a reversed range that matches nothing; a strict one refuses both.
bool CompileSet(const std::vector<char32_t>& mask, size_t& i, TMaskSets sets, Element& e)
{
    ++i;
    if (i < mask.size() && mask[i] == '!') {
        e.negate = true;
        ++i;
    }
    bool first = true;
    while (i < mask.size()) {
        if (mask[i] == ']' && !(first && sets == TMaskSets::Lenient)) {
            ++i;
            return !e.ranges.empty();
        }
        first = false;
        char32_t lo = mask[i];
        char32_t hi = lo;
        if (i + 2 < mask.size() && mask[i + 1] == '-' && mask[i + 2] != ']') {
            hi = mask[i + 2];
            i += 3;
        } else {
            ++i;
        }
        if (hi < lo && sets == TMaskSets::Strict)
            return false;
        e.ranges.emplace_back(lo, hi);
    }
    return false; // not closed
}

// The elements of a folded mask; false when a set is malformed under strict rules. Under lenient rules a
// "[" that opens no well-formed set is an ordinary character.
bool Compile(const std::vector<char32_t>& mask, TMaskSets sets, std::vector<Element>& out)
{
    size_t i = 0;
    while (i < mask.size()) {
        char32_t c = mask[i];
        if (c == '*') {
            if (out.empty() || out.back().kind != Element::Star)
                out.emplace_back(Element::Star);
            ++i;
        } else if (c == '?') {
            out.emplace_back(Element::AnyChar);
            ++i;
        } else if (c == '[') {
            Element e(Element::Set);
            size_t next = i;
            if (CompileSet(mask, next, sets, e)) {
                out.push_back(std::move(e));
                i = next;
            } else if (sets == TMaskSets::Strict) {
                return false;
            } else {
                out.emplace_back(Element::Literal, c);
                ++i;
            }
        } else {
            out.emplace_back(Element::Literal, c);
            ++i;
        }
    }
    return true;
}

bool MatchOne(const Element& e, char32_t c)
{
    switch (e.kind) {
    case Element::Literal:
        return e.ch == c;
    case Element::AnyChar:
        return true;
    case Element::Set: {
        bool in = false;
        for (auto& [lo, hi] : e.ranges)
            if (c >= lo && c <= hi) {
                in = true;
                break;
            }
        return in != e.negate;
    }
    case Element::Star:
        break;
    }
    return false;
}

// Iterative matching with one backtracking point per star (linear in practice).
bool Match(const std::vector<Element>& mask, const std::vector<char32_t>& name)
{
    size_t m = 0, n = 0;
    size_t starM = SIZE_MAX, starN = 0;
    while (n < name.size()) {
        if (m < mask.size() && mask[m].kind == Element::Star) {
            starM = m++;
            starN = n;
        } else if (m < mask.size() && MatchOne(mask[m], name[n])) {
            ++m;
            ++n;
        } else if (starM != SIZE_MAX) {
            m = starM + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (m < mask.size() && mask[m].kind == Element::Star)
        ++m;
    return m == mask.size();
}

// A name has an extension when a "." follows its first character after the last "/" and the name is
// not made of dots only.
bool NameHasExtension(std::string_view name)
{
    size_t start = name.rfind('/');
    start = start == std::string_view::npos ? 0 : start + 1;
    size_t dot = name.rfind('.');
    return dot != std::string_view::npos && dot > start &&
           name.find_first_not_of('.', start) != std::string_view::npos;
}

} // namespace

bool TryMatchesMask(std::string_view name, std::string_view mask, bool& matched, TMaskSets sets)
{
    matched = false;
    std::vector<Element> compiled;
    if (!Compile(Folded(mask), sets, compiled))
        return false;
    const std::vector<char32_t> folded = Folded(name);
    matched = Match(compiled, folded);
    if (!matched && mask.size() >= 2 && mask.substr(mask.size() - 2) == ".*" && !NameHasExtension(name)) {
        // "name.*" and "*.*" also select names that have no extension at all.
        std::vector<Element> stripped;
        Compile(Folded(mask.substr(0, mask.size() - 2)), sets, stripped);
        matched = Match(stripped, folded);
    }
    return true;
}

bool MatchesMask(std::string_view name, std::string_view mask)
{
    bool matched;
    if (!TryMatchesMask(name, mask, matched))
        throw EMaskException("Invalid mask: " + std::string(mask));
    return matched;
}

bool IsValidMask(std::string_view mask)
{
    std::vector<Element> compiled;
    return Compile(Folded(mask), TMaskSets::Strict, compiled);
}
