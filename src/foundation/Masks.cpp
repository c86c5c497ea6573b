#include "foundation/Masks.h"

#include <cstdint>
#include <vector>

namespace {

// Code points of a UTF-8 text; a byte that does not start a valid sequence stands for itself
// in a private range, so names that are not valid UTF-8 still match byte for byte.
constexpr char32_t InvalidByteBase = 0x110000;

std::vector<char32_t> DecodeUtf8(std::string_view s)
{
    std::vector<char32_t> out;
    out.reserve(s.size());
    size_t i = 0;
    while (i < s.size()) {
        auto b = static_cast<unsigned char>(s[i]);
        int len = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
        char32_t cp = len == 1 ? b : len == 2 ? (b & 0x1F) : len == 3 ? (b & 0x0F) : (b & 0x07);
        bool ok = len > 0 && i + len <= s.size();
        for (int k = 1; ok && k < len; ++k) {
            auto c = static_cast<unsigned char>(s[i + k]);
            if ((c & 0xC0) != 0x80)
                ok = false;
            else
                cp = (cp << 6) | (c & 0x3F);
        }
        if (ok && ((len == 2 && cp < 0x80) || (len == 3 && cp < 0x800) || (len == 4 && cp < 0x10000) ||
                   cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)))
            ok = false;
        if (!ok) {
            out.push_back(InvalidByteBase + b);
            ++i;
        } else {
            out.push_back(cp);
            i += len;
        }
    }
    return out;
}

// Simple case folding of the alphabets file names commonly use.
char32_t Fold(char32_t c)
{
    if (c < 0x80)
        return (c >= 'A' && c <= 'Z') ? c + 32 : c;
    if ((c >= 0xC0 && c <= 0xDE && c != 0xD7))
        return c + 32;
    if (c == 0x178)
        return 0xFF;
    if (c >= 0x100 && c <= 0x17F && c != 0x130 && c != 0x131 && c != 0x138 && c != 0x149 && c != 0x17F) {
        // Latin Extended-A alternates upper/lower in pairs, with a shift of parity after 0x138.
        bool evenUpper = (c < 0x138) || (c > 0x149 && c < 0x179);
        if (evenUpper)
            return (c % 2 == 0) ? c + 1 : c;
        return (c % 2 == 1) ? c + 1 : c;
    }
    if (c >= 0x391 && c <= 0x3AB && c != 0x3A2)
        return c + 32;
    if (c >= 0x410 && c <= 0x42F)
        return c + 32;
    if (c >= 0x400 && c <= 0x40F)
        return c + 80;
    return c;
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

bool Compile(const std::vector<char32_t>& mask, std::vector<Element>& out)
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
            ++i;
            if (i < mask.size() && mask[i] == '!') {
                e.negate = true;
                ++i;
            }
            bool closed = false;
            while (i < mask.size()) {
                if (mask[i] == ']') {
                    closed = true;
                    ++i;
                    break;
                }
                char32_t lo = Fold(mask[i]);
                char32_t hi = lo;
                if (i + 2 < mask.size() && mask[i + 1] == '-' && mask[i + 2] != ']') {
                    hi = Fold(mask[i + 2]);
                    i += 3;
                } else {
                    ++i;
                }
                if (hi < lo)
                    return false;
                e.ranges.emplace_back(lo, hi);
            }
            if (!closed || e.ranges.empty())
                return false;
            out.push_back(std::move(e));
        } else {
            out.emplace_back(Element::Literal, Fold(c));
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
        } else if (m < mask.size() && MatchOne(mask[m], Fold(name[n]))) {
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

// A name has an extension when a "." follows its first character after the last "/".
bool NameHasExtension(std::string_view name)
{
    size_t start = name.rfind('/');
    start = start == std::string_view::npos ? 0 : start + 1;
    size_t dot = name.rfind('.');
    return dot != std::string_view::npos && dot > start;
}

} // namespace

bool TryMatchesMask(std::string_view name, std::string_view mask, bool& matched)
{
    matched = false;
    std::vector<Element> compiled;
    if (!Compile(DecodeUtf8(mask), compiled))
        return false;
    auto decoded = DecodeUtf8(name);
    matched = Match(compiled, decoded);
    if (!matched && mask.size() >= 2 && mask.substr(mask.size() - 2) == ".*" && !NameHasExtension(name)) {
        // "name.*" and "*.*" also select names that have no extension at all.
        std::vector<Element> stripped;
        Compile(DecodeUtf8(mask.substr(0, mask.size() - 2)), stripped);
        matched = Match(stripped, decoded);
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
    return Compile(DecodeUtf8(mask), compiled);
}
