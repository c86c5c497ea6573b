#include "foundation/StringUtils.h"

#include <algorithm>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <locale.h>
#include <vector>
#include <wctype.h>

#include "rtl/DateTime.h"

// ---------------------------------------------------------------------------------------------
// UTF-8 primitives

namespace utf8 {

namespace {

bool IsCont(unsigned char c)
{
    return (c & 0xC0) == 0x80;
}

// Case mapping follows the Unicode tables of the C.UTF-8 locale, whatever locale the process runs in.
locale_t CaseLocale()
{
    static locale_t loc = [] {
        locale_t l = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
        if (!l)
            l = newlocale(LC_CTYPE_MASK, "C.utf8", static_cast<locale_t>(nullptr));
        return l;
    }();
    return loc;
}

bool IsRawByte(char32_t cp)
{
    return cp >= 0xDC80 && cp <= 0xDCFF;
}

} // namespace

size_t Decode(std::string_view s, size_t i, char32_t& cp)
{
    const size_t n = s.size();
    if (i >= n) {
        cp = 0;
        return 0;
    }
    const unsigned char b0 = static_cast<unsigned char>(s[i]);
    auto raw = [&]() -> size_t {
        cp = 0xDC00 | b0;
        return 1;
    };
    if (b0 < 0x80) {
        cp = b0;
        return 1;
    }
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        if (i + 1 < n && IsCont(static_cast<unsigned char>(s[i + 1]))) {
            cp = (static_cast<char32_t>(b0 & 0x1F) << 6) | (static_cast<unsigned char>(s[i + 1]) & 0x3F);
            return 2;
        }
        return raw();
    }
    if (b0 >= 0xE0 && b0 <= 0xEF) {
        if (i + 2 >= n)
            return raw();
        const unsigned char b1 = static_cast<unsigned char>(s[i + 1]);
        const unsigned char b2 = static_cast<unsigned char>(s[i + 2]);
        unsigned char lo = 0x80, hi = 0xBF;
        if (b0 == 0xE0)
            lo = 0xA0;
        else if (b0 == 0xED)
            hi = 0x9F; // no surrogates
        if (b1 < lo || b1 > hi || !IsCont(b2))
            return raw();
        cp = (static_cast<char32_t>(b0 & 0x0F) << 12) | (static_cast<char32_t>(b1 & 0x3F) << 6) | (b2 & 0x3F);
        return 3;
    }
    if (b0 >= 0xF0 && b0 <= 0xF4) {
        if (i + 3 >= n)
            return raw();
        const unsigned char b1 = static_cast<unsigned char>(s[i + 1]);
        const unsigned char b2 = static_cast<unsigned char>(s[i + 2]);
        const unsigned char b3 = static_cast<unsigned char>(s[i + 3]);
        unsigned char lo = 0x80, hi = 0xBF;
        if (b0 == 0xF0)
            lo = 0x90;
        else if (b0 == 0xF4)
            hi = 0x8F;
        if (b1 < lo || b1 > hi || !IsCont(b2) || !IsCont(b3))
            return raw();
        cp = (static_cast<char32_t>(b0 & 0x07) << 18) | (static_cast<char32_t>(b1 & 0x3F) << 12) |
             (static_cast<char32_t>(b2 & 0x3F) << 6) | (b3 & 0x3F);
        return 4;
    }
    return raw();
}

void Append(std::string& out, char32_t cp)
{
    if (IsRawByte(cp)) {
        out += static_cast<char>(cp & 0xFF);
        return;
    }
    if ((cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF)
        cp = 0xFFFD;
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

std::string Encode(char32_t cp)
{
    std::string out;
    Append(out, cp);
    return out;
}

size_t Length(std::string_view s)
{
    size_t count = 0;
    char32_t cp;
    for (size_t i = 0; i < s.size(); i += Decode(s, i, cp))
        ++count;
    return count;
}

size_t Offset(std::string_view s, size_t index)
{
    size_t i = 0;
    char32_t cp;
    while (index > 0 && i < s.size()) {
        i += Decode(s, i, cp);
        --index;
    }
    return i;
}

std::string_view Sub(std::string_view s, size_t start, size_t count)
{
    size_t from = Offset(s, start);
    if (count == std::string_view::npos)
        return s.substr(from);
    size_t to = from + Offset(s.substr(from), count);
    return s.substr(from, to - from);
}

char32_t ToUpper(char32_t cp)
{
    if (cp < 0x80)
        return (cp >= 'a' && cp <= 'z') ? cp - 32 : cp;
    if (IsRawByte(cp) || !CaseLocale())
        return cp;
    return static_cast<char32_t>(towupper_l(static_cast<wint_t>(cp), CaseLocale()));
}

char32_t ToLower(char32_t cp)
{
    if (cp < 0x80)
        return (cp >= 'A' && cp <= 'Z') ? cp + 32 : cp;
    if (IsRawByte(cp) || !CaseLocale())
        return cp;
    return static_cast<char32_t>(towlower_l(static_cast<wint_t>(cp), CaseLocale()));
}

std::string Upper(std::string_view s)
{
    std::string out;
    out.reserve(s.size());
    char32_t cp;
    for (size_t i = 0; i < s.size();) {
        i += Decode(s, i, cp);
        Append(out, ToUpper(cp));
    }
    return out;
}

std::string Lower(std::string_view s)
{
    std::string out;
    out.reserve(s.size());
    char32_t cp;
    for (size_t i = 0; i < s.size();) {
        i += Decode(s, i, cp);
        Append(out, ToLower(cp));
    }
    return out;
}

int CompareText(std::string_view a, std::string_view b)
{
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        char32_t ca, cb;
        i += Decode(a, i, ca);
        j += Decode(b, j, cb);
        ca = ToUpper(ca);
        cb = ToUpper(cb);
        if (ca != cb)
            return ca < cb ? -1 : 1;
    }
    if (i < a.size())
        return 1;
    if (j < b.size())
        return -1;
    return 0;
}

bool SameText(std::string_view a, std::string_view b)
{
    return CompareText(a, b) == 0;
}

std::string_view TrimLeft(std::string_view s)
{
    size_t i = 0;
    while (i < s.size() && static_cast<unsigned char>(s[i]) <= ' ')
        ++i;
    return s.substr(i);
}

std::string_view TrimRight(std::string_view s)
{
    size_t n = s.size();
    while (n > 0 && static_cast<unsigned char>(s[n - 1]) <= ' ')
        --n;
    return s.substr(0, n);
}

std::string_view Trim(std::string_view s)
{
    return TrimRight(TrimLeft(s));
}

} // namespace utf8

// ---------------------------------------------------------------------------------------------

namespace {

using utf8::Append;
using utf8::Decode;

std::u32string ToCodePoints(std::string_view s, std::vector<size_t>* offsets = nullptr)
{
    std::u32string out;
    char32_t cp;
    for (size_t i = 0; i < s.size();) {
        if (offsets)
            offsets->push_back(i);
        i += Decode(s, i, cp);
        out += cp;
    }
    if (offsets)
        offsets->push_back(s.size());
    return out;
}

std::u32string Folded(std::u32string s)
{
    for (char32_t& c : s)
        c = utf8::ToUpper(c);
    return s;
}

// Case-insensitive search in code points; returns the 0-based code-point index or npos.
size_t FindText(const std::u32string& hayUpper, const std::u32string& needleUpper, size_t from)
{
    if (needleUpper.empty() || from > hayUpper.size())
        return std::u32string::npos;
    return hayUpper.find(needleUpper, from);
}

// A separator given as an 8-bit character is the code point of the same value.
char32_t SepCode(char c)
{
    return static_cast<unsigned char>(c);
}

bool InSet(char32_t cp, std::string_view seps)
{
    for (char c : seps)
        if (SepCode(c) == cp)
            return true;
    return false;
}

bool InChars(char32_t cp, const std::u32string& chars)
{
    return chars.find(cp) != std::u32string::npos;
}

// Delphi-style integer reading: an optional sign, then decimal digits, or hex digits after "$" or "0x".
// Surrounding blanks are allowed.
bool ParseInt64(std::string_view text, int64_t& value)
{
    value = 0;
    std::string_view s = utf8::Trim(text);
    size_t i = 0;
    bool negative = false;
    if (i < s.size() && (s[i] == '-' || s[i] == '+')) {
        negative = s[i] == '-';
        ++i;
    }
    bool hex = false;
    if (i < s.size() && s[i] == '$') {
        hex = true;
        ++i;
    } else if (i + 1 < s.size() && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
        hex = true;
        i += 2;
    }
    if (i >= s.size())
        return false;
    uint64_t mag = 0;
    if (hex) {
        if (s.size() - i > 16)
            return false;
        for (; i < s.size(); ++i) {
            char c = s[i];
            int d;
            if (c >= '0' && c <= '9')
                d = c - '0';
            else if (c >= 'a' && c <= 'f')
                d = c - 'a' + 10;
            else if (c >= 'A' && c <= 'F')
                d = c - 'A' + 10;
            else
                return false;
            mag = (mag << 4) | static_cast<uint64_t>(d);
        }
        value = static_cast<int64_t>(negative ? 0 - mag : mag);
        return true;
    }
    const uint64_t limit = negative ? 9223372036854775808ULL : 9223372036854775807ULL;
    for (; i < s.size(); ++i) {
        char c = s[i];
        if (c < '0' || c > '9')
            return false;
        uint64_t d = static_cast<uint64_t>(c - '0');
        if (mag > (limit - d) / 10)
            return false;
        mag = mag * 10 + d;
    }
    value = static_cast<int64_t>(negative ? 0 - mag : mag);
    return true;
}

std::string Hex4(unsigned v)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string out = "%";
    for (int shift = 12; shift >= 0; shift -= 4)
        out += digits[(v >> shift) & 15];
    return out;
}

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// The 4-digit hex number at s[i..i+4), or -1.
int Hex4At(std::string_view s, size_t i)
{
    if (i + 4 > s.size())
        return -1;
    int v = 0;
    for (size_t k = 0; k < 4; ++k) {
        int d = HexValue(s[i + k]);
        if (d < 0)
            return -1;
        v = v * 16 + d;
    }
    return v;
}

std::string ThousandsText(int64_t count)
{
    return SafeFormat("%.0n", {static_cast<double>(count)});
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Search, case and characters

int TextPos(std::string_view SubStr, std::string_view S)
{
    return TextPosEx(SubStr, S, 1);
}

int TextPosEx(std::string_view SubStr, std::string_view S, int Offset)
{
    if (Offset < 1)
        Offset = 1;
    size_t p =
        FindText(Folded(ToCodePoints(S)), Folded(ToCodePoints(SubStr)), static_cast<size_t>(Offset - 1));
    return p == std::u32string::npos ? 0 : static_cast<int>(p) + 1;
}

bool ContainsAnyChar(std::string_view S, std::string_view Chars)
{
    const std::u32string hay = Folded(ToCodePoints(S));
    for (char32_t c : ToCodePoints(Chars))
        if (hay.find(utf8::ToUpper(c)) != std::u32string::npos)
            return true;
    return false;
}

std::string RemoveChars(std::string_view S, std::string_view Chars)
{
    const std::u32string chars = ToCodePoints(Chars);
    std::string out;
    char32_t cp;
    for (size_t i = 0; i < S.size();) {
        size_t len = Decode(S, i, cp);
        if (!InChars(cp, chars))
            out.append(S.substr(i, len));
        i += len;
    }
    return out;
}

std::string UpCaseFirst(std::string_view S)
{
    std::string out(S);
    if (!out.empty() && out[0] >= 'a' && out[0] <= 'z')
        out[0] = static_cast<char>(out[0] - 32);
    return out;
}

std::string ChangeTextCase(std::string_view S, TTextChange Change)
{
    switch (Change) {
    case tcLower:
        return utf8::Lower(S);
    case tcUpper:
        return utf8::Upper(S);
    default:
        return std::string(S);
    }
}

std::string MakeSpaces(int N)
{
    return N > 0 ? std::string(static_cast<size_t>(N), ' ') : std::string();
}

std::string PadRight(std::string_view S, int Len)
{
    std::string out(S);
    int len = static_cast<int>(utf8::Length(S));
    if (len < Len)
        out.append(static_cast<size_t>(Len - len), ' ');
    return out;
}

std::string RemoveSpaces(std::string_view S)
{
    return RemoveChar(S, U' ');
}

std::string RemoveCtrlChars(std::string_view S)
{
    std::string out;
    out.reserve(S.size());
    for (char c : S)
        if (static_cast<unsigned char>(c) >= 0x20)
            out += c;
    return out;
}

std::string ReplaceLineBreaks(std::string_view S, char32_t Ch)
{
    return RemoveCtrlChars(ReplaceChar(S, U'\r', Ch));
}

std::string RepeatChar(char32_t Ch, int Count)
{
    Count = std::clamp(Count, 0, 255);
    std::string out;
    for (int i = 0; i < Count; ++i)
        Append(out, Ch);
    return out;
}

bool IsEmptyStr(std::string_view S)
{
    return S.empty();
}

bool IsNonEmptyStr(std::string_view S)
{
    return !S.empty();
}

std::string ReplaceChar(std::string_view S, char32_t Old, char32_t New)
{
    std::string out;
    out.reserve(S.size());
    char32_t cp;
    for (size_t i = 0; i < S.size();) {
        size_t len = Decode(S, i, cp);
        if (cp == Old)
            Append(out, New);
        else
            out.append(S.substr(i, len));
        i += len;
    }
    return out;
}

std::string TrimLeftChar(std::string_view S, char32_t Ch)
{
    size_t i = 0;
    char32_t cp;
    while (i < S.size()) {
        size_t len = Decode(S, i, cp);
        if (cp != Ch)
            break;
        i += len;
    }
    return std::string(S.substr(i));
}

std::string TrimRightChar(std::string_view S, char32_t Ch)
{
    std::vector<size_t> offsets;
    std::u32string cps = ToCodePoints(S, &offsets);
    size_t n = cps.size();
    while (n > 0 && cps[n - 1] == Ch)
        --n;
    return std::string(S.substr(0, offsets[n]));
}

std::string RemoveChar(std::string_view S, char32_t Ch)
{
    std::string out;
    out.reserve(S.size());
    char32_t cp;
    for (size_t i = 0; i < S.size();) {
        size_t len = Decode(S, i, cp);
        if (cp != Ch)
            out.append(S.substr(i, len));
        i += len;
    }
    return out;
}

bool IsDigitChar(char32_t Ch)
{
    return Ch >= U'0' && Ch <= U'9';
}

int SkipDigits(std::string_view S, int Start)
{
    if (Start < 1)
        Start = 1;
    std::u32string cps = ToCodePoints(S);
    for (size_t i = static_cast<size_t>(Start - 1); i < cps.size(); ++i)
        if (!IsDigitChar(cps[i]))
            return static_cast<int>(i) + 1;
    return 0;
}

std::string CopyFromChar(std::string_view S, char32_t Ch)
{
    char32_t cp;
    for (size_t i = 0; i < S.size();) {
        size_t len = Decode(S, i, cp);
        if (cp == Ch)
            return std::string(S.substr(i));
        i += len;
    }
    return {};
}

int CountSubStr(std::string_view SubStr, std::string_view S)
{
    if (SubStr.empty() || S.empty())
        return 0;
    char32_t cp;
    size_t from = Decode(S, 0, cp); // searches begin at the second character
    int count = 0;
    size_t p;
    while ((p = S.find(SubStr, from)) != std::string_view::npos) {
        ++count;
        from = p + Decode(S, p, cp);
    }
    return count;
}

std::string InsertDigitSeparators(std::string_view S, char32_t Sep, bool FractionOnly)
{
    std::string s(utf8::Trim(S));
    if (s.empty() || Sep == 0)
        return s;
    bool negative = s[0] == '-';
    if (negative)
        s.erase(0, 1);
    const std::string sep = utf8::Encode(Sep);
    const char decSep = FormatSettings().DecimalSeparator;
    const size_t d = s.find(decSep);
    auto isDigit = [](char c) { return c >= '0' && c <= '9'; };

    std::string out;
    if (d == std::string::npos) {
        if (FractionOnly)
            return negative ? "-" + s : s;
        size_t end = 0;
        while (end < s.size() && isDigit(s[end]))
            ++end;
        for (size_t i = 0; i < end; ++i) {
            out += s[i];
            size_t rest = end - 1 - i;
            if (rest > 0 && rest % 3 == 0)
                out += sep;
        }
        out += s.substr(end);
    } else {
        const std::string intPart = s.substr(0, d);
        if (FractionOnly) {
            out = intPart;
        } else {
            for (size_t i = 0; i < intPart.size(); ++i) {
                out += intPart[i];
                size_t rest = intPart.size() - 1 - i;
                if (rest > 0 && rest % 3 == 0)
                    out += sep;
            }
        }
        out += decSep;
        size_t end = d + 1;
        while (end < s.size() && isDigit(s[end]))
            ++end;
        for (size_t i = d + 1; i < end; ++i) {
            out += s[i];
            size_t done = i - d;
            if (done % 3 == 0 && i + 1 < end)
                out += sep;
        }
        out += s.substr(end);
    }
    return negative ? "-" + out : out;
}

// ---------------------------------------------------------------------------------------------
// Separated lists

std::string ReadNextItem(std::string& S, char Sep)
{
    if (S.empty())
        return {};
    const std::string sep = utf8::Encode(SepCode(Sep));
    size_t p = S.find(sep);
    std::string item;
    if (p == std::string::npos) {
        item = std::move(S);
        S.clear();
    } else {
        item = S.substr(0, p);
        S.erase(0, p + sep.size());
    }
    return item;
}

std::string GetFirstItem(std::string_view S, char Sep)
{
    std::string s(S);
    return ReadNextItem(s, Sep);
}

std::string GetFirstItemTrimmed(std::string_view S, char Sep)
{
    return std::string(utf8::Trim(GetFirstItem(S, Sep)));
}

int64_t GetFirstInt(std::string_view S, char Sep, int64_t Default)
{
    int64_t v;
    return ParseInt64(GetFirstItemTrimmed(S, Sep), v) ? v : Default;
}

int64_t ReadNextIntOfSet(std::string& S, std::string_view Seps, bool& Error, int64_t Default)
{
    S.erase(0, S.size() - utf8::TrimLeft(S).size());
    if (S.empty())
        return Default;
    size_t end = S.size(), next = S.size();
    char32_t cp;
    for (size_t i = 0; i < S.size();) {
        size_t len = Decode(S, i, cp);
        if (InSet(cp, Seps)) {
            end = i;
            next = i + len;
            break;
        }
        i += len;
    }
    std::string item = S.substr(0, end);
    S.erase(0, next);
    int64_t v;
    if (!ParseInt64(item, v)) {
        Error = true;
        return Default;
    }
    return v;
}

int64_t ReadNextIntErr(std::string& S, char Sep, bool& Error, int64_t Default)
{
    return ReadNextIntOfSet(S, std::string_view(&Sep, 1), Error, Default);
}

int64_t ReadNextInt(std::string& S, char Sep, int64_t Default)
{
    bool error = false;
    return ReadNextIntErr(S, Sep, error, Default);
}

std::string ReadNextQuotedItem(std::string& S, char Sep, char Quote)
{
    S.erase(0, S.size() - utf8::TrimLeft(S).size());
    if (S.empty())
        return {};
    const char32_t sep = SepCode(Sep), quote = SepCode(Quote);
    char32_t cp;
    size_t firstLen = Decode(S, 0, cp);
    if (cp != quote)
        return ReadNextItem(S, Sep);

    // Quoted item: a separator ends it only outside quotes.
    bool inside = true;
    size_t end = S.size(), next = S.size();
    for (size_t i = firstLen; i < S.size();) {
        size_t len = Decode(S, i, cp);
        if (cp == quote) {
            inside = !inside;
        } else if (cp == sep && !inside) {
            end = i;
            next = i + len;
            break;
        }
        i += len;
    }
    std::string item = S.substr(0, end);
    S.erase(0, next);
    if (utf8::Length(item) <= 2)
        return {};
    item = std::string(utf8::TrimRight(item));

    std::string result;
    for (size_t i = firstLen; i < item.size();) {
        size_t len = Decode(item, i, cp);
        if (cp == quote) {
            char32_t nextCp = 0;
            size_t nextLen = Decode(item, i + len, nextCp);
            if (nextLen > 0 && nextCp == quote) {
                result.append(item, i, len);
                i += len + nextLen;
                continue;
            }
            return result; // closing quote: the rest up to the separator is dropped
        }
        result.append(item, i, len);
        i += len;
    }
    return item; // no closing quote: the item as it stands
}

std::string QuoteIfContains(std::string_view S, std::string_view Chars)
{
    if (S.empty())
        return {};
    bool quote = Chars.empty();
    if (!quote) {
        const std::u32string chars = ToCodePoints(Chars);
        char32_t cp;
        for (size_t i = 0; i < S.size() && !quote;) {
            i += Decode(S, i, cp);
            quote = InChars(cp, chars);
        }
    }
    if (!quote)
        return std::string(S);
    return "\"" + ReplaceAll(std::string(S), "\"", "\"\"") + "\"";
}

std::string QuoteIfSpace(std::string_view S)
{
    return QuoteIfContains(S, " ");
}

std::string SplitToLines(std::string S, char Sep, char Quote, int& Count)
{
    std::string result = ReadNextQuotedItem(S, Sep, Quote);
    Count = result.empty() ? 0 : 1;
    while (!S.empty()) {
        result += "\r\n";
        result += ReadNextQuotedItem(S, Sep, Quote);
        ++Count;
    }
    return result;
}

std::string CommaTextToLinesCount(std::string_view S, int& Count)
{
    return SplitToLines(std::string(S), ',', '"', Count);
}

std::string CommaTextToLines(std::string_view S)
{
    int count;
    return CommaTextToLinesCount(S, count);
}

std::string SortCommaText(std::string_view S)
{
    std::vector<std::string> items;
    auto add = [&items](std::string item) {
        if (item.empty())
            return;
        auto it = std::lower_bound(
            items.begin(), items.end(), item,
            [](const std::string& a, const std::string& b) { return utf8::CompareText(a, b) < 0; });
        if (it != items.end() && utf8::SameText(*it, item))
            return;
        items.insert(it, std::move(item));
    };

    size_t i = 0;
    const size_t n = S.size();
    auto isSpace = [&](size_t k) { return static_cast<unsigned char>(S[k]) <= ' '; };
    while (i < n) {
        while (i < n && (isSpace(i) || S[i] == ','))
            ++i;
        if (i >= n)
            break;
        std::string item;
        if (S[i] == '"') {
            ++i;
            while (i < n) {
                if (S[i] == '"') {
                    if (i + 1 < n && S[i + 1] == '"') {
                        item += '"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                item += S[i++];
            }
        } else {
            while (i < n && !isSpace(i) && S[i] != ',')
                item += S[i++];
        }
        add(std::move(item));
    }

    std::string out;
    for (const std::string& item : items) {
        if (!out.empty())
            out += ',';
        bool quote = false;
        for (char c : item)
            if (static_cast<unsigned char>(c) <= ' ' || c == ',' || c == '"')
                quote = true;
        out += quote ? "\"" + ReplaceAll(item, "\"", "\"\"") + "\"" : item;
    }
    return out;
}

// ---------------------------------------------------------------------------------------------
// Escapes and environment references

std::string EscapeChars(std::string_view S, std::string_view Chars)
{
    std::string text(S);
    for (char32_t c : ToCodePoints(Chars)) {
        std::string escape;
        if (c > 0xFFFF && c <= 0x10FFFF) {
            char32_t v = c - 0x10000;
            escape = Hex4(0xD800 + (v >> 10)) + Hex4(0xDC00 + (v & 0x3FF));
        } else {
            escape = Hex4(static_cast<unsigned>(c));
        }
        text = ReplaceAll(std::move(text), utf8::Encode(c), escape);
    }
    return text;
}

std::string UnescapeChars(std::string_view S)
{
    std::string out;
    out.reserve(S.size());
    size_t i = 0;
    while (i < S.size()) {
        if (S[i] != '%') {
            out += S[i++];
            continue;
        }
        int v = Hex4At(S, i + 1);
        if (v < 0) {
            out += S[i++];
            continue;
        }
        i += 5;
        char32_t cp = static_cast<char32_t>(v);
        if (cp >= 0xD800 && cp <= 0xDBFF) {
            int lo = (i < S.size() && S[i] == '%') ? Hex4At(S, i + 1) : -1;
            if (lo >= 0xDC00 && lo <= 0xDFFF) {
                cp = 0x10000 + ((cp - 0xD800) << 10) + (static_cast<char32_t>(lo) - 0xDC00);
                i += 5;
            }
        }
        Append(out, cp);
    }
    return out;
}

std::string GetNextDelimited(std::string_view S, char32_t Delim, int& Start)
{
    std::vector<size_t> offsets;
    std::u32string cps = ToCodePoints(S, &offsets);
    size_t from = Start < 1 ? 0 : static_cast<size_t>(Start - 1);
    if (from >= cps.size())
        return {};
    size_t open = cps.find(Delim, from);
    if (open == std::u32string::npos)
        return {};
    size_t close = cps.find(Delim, open + 1);
    if (close == std::u32string::npos)
        return {};
    Start = static_cast<int>(close) + 2;
    return std::string(S.substr(offsets[open], offsets[close + 1] - offsets[open]));
}

std::string ReplaceEnvVar(std::string_view Text, std::string_view Ref)
{
    std::string_view name = Ref;
    if (!name.empty() && name.front() == '%')
        name.remove_prefix(1);
    if (!name.empty() && name.back() == '%')
        name.remove_suffix(1);
    if (name.empty())
        return std::string(Text);
    const char* value = std::getenv(std::string(name).c_str());
    if (!value || !*value)
        return std::string(Text);

    std::vector<size_t> offsets;
    const std::u32string hay = Folded(ToCodePoints(Text, &offsets));
    const std::u32string needle = Folded(ToCodePoints(Ref));
    std::string out;
    size_t last = 0; // code-point index
    size_t p;
    while ((p = FindText(hay, needle, last)) != std::u32string::npos) {
        out.append(Text.substr(offsets[last], offsets[p] - offsets[last]));
        out += value;
        last = p + needle.size();
    }
    out.append(Text.substr(offsets[last]));
    return out;
}

std::string ExpandEnvVars(std::string_view S)
{
    std::string result(S);
    int start = 1;
    for (;;) {
        std::string ref = GetNextDelimited(S, U'%', start);
        if (ref.empty())
            break;
        result = ReplaceEnvVar(result, ref);
    }
    return result;
}

// ---------------------------------------------------------------------------------------------
// Count texts

std::string FormatCount(std::string_view ZeroText, std::string_view OneText, std::string_view ManyFmt,
                        int64_t Count, bool Thousands)
{
    if (Count == 1)
        return std::string(OneText);
    if (Count == 0 && !ZeroText.empty())
        return std::string(ZeroText);
    if (Thousands && Count >= 10000)
        return SafeFormat(ReplaceAll(std::string(ManyFmt), "%u", "%.0n"), {static_cast<double>(Count)});
    return SafeFormat(ManyFmt, {Count});
}

std::string FormatCountStr(std::string_view ZeroText, std::string_view OneFmt, std::string_view ManyFmt,
                           int64_t Count, std::string_view S, bool Thousands)
{
    if (Count == 1)
        return SafeFormat(OneFmt, {S});
    if (Count == 0 && !ZeroText.empty())
        return std::string(ZeroText);
    if (Thousands && Count >= 10000)
        return SafeFormat(ReplaceAll(std::string(ManyFmt), "%u", "%.0n"), {static_cast<double>(Count), S});
    return SafeFormat(ManyFmt, {Count, S});
}

std::string FormatCountNoun(std::string_view Singular, std::string_view Plural, int64_t Count, bool Thousands)
{
    if (Count == 1)
        return "1 " + std::string(Singular);
    std::string number = (Thousands && Count >= 10000) ? ThousandsText(Count) : std::to_string(Count);
    return number + " " + std::string(Plural);
}

// ---------------------------------------------------------------------------------------------
// Command-line keywords

bool MatchesKeyword(std::string_view Arg, std::string_view Keyword)
{
    const std::string arg = utf8::Lower(Arg);
    return Keyword.substr(0, arg.size()) == arg;
}

bool ReadKeywordValue(std::string& Arg, std::string_view Keyword)
{
    size_t colon = Arg.find(':');
    if (colon == std::string::npos)
        return false;
    if (!MatchesKeyword(std::string_view(Arg).substr(0, colon), Keyword))
        return false;
    Arg.erase(0, colon + 1);
    return true;
}

// ---------------------------------------------------------------------------------------------
// Quicksort over raw records

void QuickSortItems(void* Items, int Count, int ItemSize, const TItemLessThan& LessThan, void* Data)
{
    if (!Items || Count < 2 || ItemSize <= 0 || !LessThan)
        return;
    std::vector<unsigned char> pivot(static_cast<size_t>(ItemSize)), swap(static_cast<size_t>(ItemSize));
    TQuickSortContext context;
    context.Items = static_cast<unsigned char*>(Items);
    context.ItemSize = ItemSize;
    context.LessThan = &LessThan;
    context.Data = Data;
    context.Pivot = pivot.data();
    context.Swap = swap.data();
    QuickSortRange(0, Count - 1, context);
}

void QuickSortRange(int Lo, int Hi, TQuickSortContext& Context)
{
    const size_t size = static_cast<size_t>(Context.ItemSize);
    auto item = [&](int index) { return Context.Items + static_cast<size_t>(index) * size; };
    const TItemLessThan& less = *Context.LessThan;
    // Recurse into the smaller part and loop over the larger one, so the stack stays shallow.
    while (Lo < Hi) {
        std::memcpy(Context.Pivot, item(Lo + (Hi - Lo) / 2), size);
        int i = Lo, j = Hi;
        do {
            // The bounds checks only matter for a LessThan that is not a strict order.
            while (i < Hi && less(Context.Data, item(i), Context.Pivot))
                ++i;
            while (j > Lo && less(Context.Data, Context.Pivot, item(j)))
                --j;
            if (i <= j) {
                if (i != j) {
                    std::memcpy(Context.Swap, item(i), size);
                    std::memcpy(item(i), item(j), size);
                    std::memcpy(item(j), Context.Swap, size);
                }
                ++i;
                --j;
            }
        } while (i <= j);
        if (j - Lo < Hi - i) {
            if (Lo < j)
                QuickSortRange(Lo, j, Context);
            Lo = i;
        } else {
            if (i < Hi)
                QuickSortRange(i, Hi, Context);
            Hi = j;
        }
    }
}

// Splits text at commas outside double quotes; the pieces keep their quotes.
std::vector<std::string> SplitOutsideQuotes(const std::string& text)
{
    std::vector<std::string> pieces;
    std::string piece;
    bool inQuote = false;
    for (char c : text) {
        if (c == '"')
            inQuote = !inQuote;
        if (c == ',' && !inQuote) {
            pieces.push_back(piece);
            piece.clear();
        } else {
            piece += c;
        }
    }
    pieces.push_back(piece);
    return pieces;
}

std::string ReplaceAll(std::string s, std::string_view from, std::string_view to)
{
    if (from.empty())
        return s;
    size_t pos = 0;
    while ((pos = s.find(from, pos)) != std::string::npos) {
        s.replace(pos, from.size(), to);
        pos += to.size();
    }
    return s;
}
