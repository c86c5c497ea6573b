#include "foundation/NumberUtils.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

#include "foundation/StringUtils.h"
#include "rtl/DateTime.h"
#include "rtl/Gettext.h"
#include "rtl/SysUtils.h"

const char* const SiPrefixLetters[SiPrefixCount + 1] = {"", "f", "p", "n", "\u00b5", "m",
                                                        "", "k", "M", "G", "T"};

namespace {

// Padding widths beyond this are caller errors; they are capped instead of exhausting memory.
constexpr int MaxPadding = 1024;

// 10^(3·i − 18) and its inverse for the prefix indexes 1..10.
constexpr double kFactor[SiPrefixCount + 1] = {1, 1e-15, 1e-12, 1e-9, 1e-6, 1e-3, 1, 1e3, 1e6, 1e9, 1e12};
constexpr double kInverse[SiPrefixCount + 1] = {1, 1e15, 1e12, 1e9, 1e6, 1e3, 1, 1e-3, 1e-6, 1e-9, 1e-12};

char DecimalSeparator(char decSep)
{
    return decSep != 0 ? decSep : FormatSettings().DecimalSeparator;
}

uint64_t Magnitude(int64_t v)
{
    return v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
}

std::string DigitsOf(uint32_t value, unsigned radix)
{
    static const char digits[] = "0123456789ABCDEF";
    if (value == 0)
        return "0";
    std::string out;
    while (value) {
        out.insert(out.begin(), digits[value % radix]);
        value /= radix;
    }
    return out;
}

std::string ZeroPadded(std::string digits, int width)
{
    width = std::min(width, MaxPadding);
    if (static_cast<int>(digits.size()) < width)
        digits.insert(0, static_cast<size_t>(width) - digits.size(), '0');
    return digits;
}

std::string RadixText(int64_t value, unsigned radix, int digits, int groupLen)
{
    return InsertGroupSeparators(ZeroPadded(DigitsOf(static_cast<uint32_t>(value), radix), digits), groupLen,
                                 ' ');
}

// Shared parser of the radix texts: optional minus, optional prefix character, digits; blanks anywhere.
// Hexadecimal needs at least one and at most 16 digits; octal and binary take an empty digit run
// as 0 and wrap on overflow.
bool ParseRadix(std::string_view text, unsigned radix, char prefix, int64_t& value)
{
    value = 0;
    const std::string s = RemoveBlanks(text);
    if (s.empty())
        return false;
    size_t i = 0;
    bool negative = false;
    if (s[i] == '-') {
        negative = true;
        ++i;
    }
    if (i < s.size() && s[i] == prefix)
        ++i;
    if (radix == 16 && (i == s.size() || s.size() - i > 16))
        return false;
    uint64_t acc = 0;
    for (; i < s.size(); ++i) {
        char c = s[i];
        unsigned d;
        if (c >= '0' && c <= '9')
            d = static_cast<unsigned>(c - '0');
        else if (c >= 'a' && c <= 'f')
            d = static_cast<unsigned>(c - 'a' + 10);
        else if (c >= 'A' && c <= 'F')
            d = static_cast<unsigned>(c - 'A' + 10);
        else
            return false;
        if (d >= radix)
            return false;
        acc = acc * radix + d;
    }
    value = static_cast<int64_t>(negative ? 0 - acc : acc);
    return true;
}

// A floating-point number written with decSep: optional sign, digits with at most one decimal
// separator (at least one digit), an optional exponent. Nothing else, not even blanks.
bool ParseFloat(std::string_view text, char decSep, double& value)
{
    value = 0;
    std::string s;
    size_t i = 0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        if (text[i] == '-')
            s += '-';
        ++i;
    }
    int digits = 0;
    bool separator = false;
    for (; i < text.size(); ++i) {
        char c = text[i];
        if (c >= '0' && c <= '9') {
            s += c;
            ++digits;
        } else if (c == decSep && !separator) {
            s += '.';
            separator = true;
        } else {
            break;
        }
    }
    if (digits == 0)
        return false;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        s += 'e';
        ++i;
        if (i < text.size() && (text[i] == '+' || text[i] == '-'))
            s += text[i++];
        int expDigits = 0;
        for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i, ++expDigits)
            s += text[i];
        if (expDigits == 0)
            return false;
    }
    if (i != text.size())
        return false;
    double v = 0;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || end != s.data() + s.size() || !std::isfinite(v))
        return false;
    value = v;
    return true;
}

// Fixed-point text with `decimals` decimals and the given separator, independent of the C locale.
std::string FixedText(double v, int decimals, char decSep)
{
    char buf[400];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, decimals);
    if (ec != std::errc())
        return "0";
    std::string s(buf, end);
    for (char& c : s)
        if (c == '.')
            c = decSep;
    return s;
}

// The value rounded to a whole number, as text.
std::string WholeText(double v)
{
    if (std::isnan(v))
        return "NAN";
    if (std::isinf(v))
        return v < 0 ? "-INF" : "INF";
    std::string s = FixedText(std::round(v), 0, '.');
    return s == "-0" ? "0" : s;
}

// Last code point of s and the byte offset where it starts.
char32_t LastChar(std::string_view s, size_t& start)
{
    start = 0;
    char32_t cp = 0, last = 0;
    for (size_t i = 0; i < s.size();) {
        start = i;
        i += utf8::Decode(s, i, cp);
        last = cp;
    }
    return last;
}

} // namespace

// --- Integer texts

std::string IntToStrPadded(int Digits, int64_t Value)
{
    std::string s = std::to_string(Value);
    Digits = std::min(Digits, MaxPadding);
    if (Digits > 0 && static_cast<int>(s.size()) < Digits)
        s.insert(0, static_cast<size_t>(Digits) - s.size(), ' ');
    return s;
}

std::string IntToStrZero(int Digits, int64_t Value)
{
    std::string s = ZeroPadded(std::to_string(Magnitude(Value)), Digits);
    return Value < 0 ? "-" + s : s;
}

std::string IntToDecGrouped(int Digits, int GroupLen, bool ZeroPad, int64_t Value)
{
    return InsertGroupSeparators(ZeroPad ? IntToStrZero(Digits, Value) : IntToStrPadded(Digits, Value),
                                 GroupLen, ' ');
}

std::string IntToHexGrouped(int64_t Value, int Digits, int GroupLen)
{
    return RadixText(Value, 16, Digits, GroupLen);
}

std::string IntToOct(int64_t Value, int Digits, int GroupLen)
{
    return RadixText(Value, 8, Digits, GroupLen);
}

std::string IntToBin(int64_t Value, int Digits, int GroupLen)
{
    return RadixText(Value, 2, Digits, GroupLen);
}

std::string InsertGroupSeparators(std::string_view S, int GroupLen, char32_t Sep)
{
    if (GroupLen <= 0)
        return std::string(S);
    const size_t len = utf8::Length(S);
    const size_t group = static_cast<size_t>(GroupLen);
    std::string out;
    char32_t cp;
    size_t index = 0;
    for (size_t i = 0; i < S.size(); ++index) {
        if (index > 0 && (len - index) % group == 0)
            utf8::Append(out, Sep);
        size_t n = utf8::Decode(S, i, cp);
        out.append(S.substr(i, n));
        i += n;
    }
    return out;
}

std::string PadLeftChar(std::string_view S, char32_t Ch, int Len)
{
    Len = std::min(Len, MaxPadding);
    std::string pad;
    for (int n = static_cast<int>(utf8::Length(S)); n < Len; ++n)
        utf8::Append(pad, Ch);
    return pad + std::string(S);
}

std::string RemoveBlanks(std::string_view S)
{
    std::string out;
    out.reserve(S.size());
    for (char c : S)
        if (c != ' ')
            out += c;
    return out;
}

// --- Integer parsers

bool TryHexToInt64(std::string_view Text, int64_t& Value)
{
    return ParseRadix(Text, 16, '$', Value);
}

int64_t HexToInt64(std::string_view Text)
{
    int64_t v;
    if (!TryHexToInt64(Text, v))
        throw EConvertError(SafeFormat(_("%s is not a valid hex value"), {Text}));
    return v;
}

bool TryOctToInt64(std::string_view Text, int64_t& Value)
{
    return ParseRadix(Text, 8, '%', Value);
}

int64_t OctToInt64(std::string_view Text)
{
    int64_t v;
    if (!TryOctToInt64(Text, v))
        throw EConvertError(SafeFormat(_("%s is not a valid octal value"), {Text}));
    return v;
}

bool TryBinToInt64(std::string_view Text, int64_t& Value)
{
    return ParseRadix(Text, 2, '!', Value);
}

int64_t BinToInt64(std::string_view Text)
{
    int64_t v;
    if (!TryBinToInt64(Text, v))
        throw EConvertError(SafeFormat(_("%s is not a valid binary value"), {Text}));
    return v;
}

// --- Floating-point texts

void SplitSiPrefix(double& Value, double& Factor, int& Index)
{
    const double a = std::fabs(Value);
    if (std::isnan(a) || a < 1e-15 || a > 1e15)
        Index = SiPrefixNone;
    else if (a < 9.99e-14)
        Index = 1;
    else if (a < 9.99e-11)
        Index = 2;
    else if (a < 9.99e-8)
        Index = 3;
    else if (a < 9.99e-5)
        Index = 4;
    else if (a < 0.0999)
        Index = 5;
    else if (a < 999)
        Index = 6;
    else if (a < 999000)
        Index = 7;
    else if (a < 9.99e8)
        Index = 8;
    else if (a < 9.99e11)
        Index = 9;
    else
        Index = 10;
    Factor = kFactor[Index];
    Value *= kInverse[Index];
}

void FormatSiDigits(int Digits, std::string& Text, int& Index, char DecSep, double Value)
{
    const char sep = DecimalSeparator(DecSep);
    double factor;
    double v = Value;
    SplitSiPrefix(v, factor, Index);
    if (!std::isfinite(v)) {
        Text = WholeText(v);
        return;
    }
    Digits = std::clamp(Digits, 2, 8);
    const double b = std::fabs(v);

    // Integer digits of the scaled value (more than 3 only for values beyond the prefixes).
    int k = 0;
    for (double limit = 1; b >= limit && k < 400; limit *= 10)
        ++k;
    int shift = Digits - k;
    double n = std::round(b * std::pow(10.0, shift));
    if (n >= std::pow(10.0, Digits)) {
        // Rounding carried into a new digit (999.6 with three digits): one integer digit more.
        n = std::round(n / 10);
        ++k;
        --shift;
    }
    if (n == 0) {
        Text = "0";
        Text += sep;
        Text.append(static_cast<size_t>(Digits), '0');
        return;
    }
    std::string digits = FixedText(n, 0, '.');
    if (shift < 0)
        digits.append(static_cast<size_t>(-shift), '0');
    if (k == 0) {
        digits = ZeroPadded(digits, Digits);
        Text = std::string("0") + sep + digits;
    } else if (k < Digits) {
        Text = digits.substr(0, static_cast<size_t>(k)) + sep + digits.substr(static_cast<size_t>(k));
    } else {
        Text = digits;
    }
    if (v < 0)
        Text.insert(0, "-");
}

void FormatNormalized(int Digits, char DecSep, std::string& Text, double Value)
{
    if (Digits == 1) {
        Text = WholeText(Value);
        return;
    }
    int index;
    if (Digits >= 2) {
        FormatSiDigits(Digits, Text, index, DecSep, Value);
    } else {
        FormatSiDigits(4, Text, index, DecSep, Value);
        const char sep = DecimalSeparator(DecSep);
        if (Text.find(sep) != std::string::npos) {
            while (!Text.empty() && Text.back() == '0')
                Text.pop_back();
            if (!Text.empty() && Text.back() == sep)
                Text.pop_back();
        }
    }
    if (index != SiPrefixNone)
        Text += "E" + std::to_string(3 * index - 18);
}

void FormatWithSiPrefix(int Digits, std::string_view Separator, char DecSep, std::string& Text, double Value)
{
    if (Digits == 1) {
        Text = WholeText(Value);
        return;
    }
    int index;
    FormatSiDigits(Digits, Text, index, DecSep, Value);
    if (index != SiPrefixNone) {
        Text += Separator;
        Text += SiPrefixLetters[index];
    }
}

bool TryStrToSiValue(std::string_view Text, double& Value, char DecSep)
{
    Value = 0;
    std::string_view t = utf8::Trim(Text);
    if (t.empty())
        return true;
    size_t start;
    const char32_t last = LastChar(t, start);
    double factor = 1;
    if (!IsDigitChar(last)) {
        int index = 0;
        for (int i = 1; i <= SiPrefixCount && index == 0; ++i)
            if (i != SiPrefixNone && t.substr(start) == SiPrefixLetters[i])
                index = i;
        if (index == 0)
            return false;
        factor = kFactor[index];
        t = utf8::TrimRight(t.substr(0, start));
    }
    double v;
    if (!ParseFloat(t, DecimalSeparator(DecSep), v))
        return false;
    Value = v * factor;
    return true;
}

bool IsNearInt(int Decimals, double X)
{
    if (Decimals < 1)
        return true;
    if (Decimals > 2)
        return false;
    const double distance = std::fabs(X - std::round(X));
    return distance < (Decimals == 1 ? 0.1 : 0.01);
}

// --- Byte sizes

std::string FormatByteSize(bool Base1000, bool TrimZeros, char DecSep, int64_t Value)
{
    static const char* const units1024[] = {"KiB", "MiB", "GiB"};
    static const char* const units1000[] = {"kB", "MB", "GB"};
    const int64_t base = Base1000 ? 1000 : 1024;
    if (Value < base)
        return std::to_string(Value) + " B";
    double v = static_cast<double>(Value) / static_cast<double>(base);
    int unit = 0;
    if (v >= base) {
        v /= static_cast<double>(base);
        unit = 1;
        if (v >= base) {
            v /= static_cast<double>(base);
            unit = 2;
        }
    }
    int decimals = unit == 2 ? 2 : (v < 10 ? 2 : (v < 100 ? 1 : 0));
    if (TrimZeros && IsNearInt(decimals, v))
        decimals = 0;
    return FixedText(v, decimals, DecimalSeparator(DecSep)) + " " + (Base1000 ? units1000 : units1024)[unit];
}

bool TryStrToSize(std::string_view Text, int64_t& Size, char DecSep)
{
    Size = 0;
    std::string_view t = utf8::Trim(Text);
    if (t.empty())
        t = "0";
    if (t.back() == 'B' || t.back() == 'b')
        t.remove_suffix(1);
    double base = 1000;
    if (!t.empty() && (t.back() == 'I' || t.back() == 'i')) {
        t.remove_suffix(1);
        base = 1024;
    }
    t = utf8::Trim(t);
    if (t.empty())
        return false;

    const char last = static_cast<char>(std::toupper(static_cast<unsigned char>(t.back())));
    double factor;
    std::string_view number;
    if (last >= '0' && last <= '9') {
        factor = 1;
        number = t;
    } else {
        int power;
        switch (last) {
        case 'K':
            power = 1;
            break;
        case 'M':
            power = 2;
            break;
        case 'G':
            power = 3;
            break;
        case 'T':
            power = 4;
            break;
        default:
            return false; // below "0", another letter, or any other character
        }
        factor = std::pow(base, power);
        size_t blank = t.find(' ');
        number = blank != std::string_view::npos ? t.substr(0, blank) : t.substr(0, t.size() - 1);
    }
    double v;
    if (!ParseFloat(number, DecimalSeparator(DecSep), v))
        return false;
    const double size = std::round(v * factor);
    if (!(size > -9.2233720368547758e18 && size < 9.2233720368547758e18))
        return false;
    Size = static_cast<int64_t>(size);
    return true;
}
