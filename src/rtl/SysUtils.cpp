#include "rtl/SysUtils.h"

#include <cmath>
#include <cstdio>
#include <vector>

#include "rtl/DateTime.h"

namespace {

[[noreturn]] void FormatFail(std::string_view fmt)
{
    throw EConvertError("Format '" + std::string(fmt) + "' invalid or incompatible with argument");
}

size_t CodePointCount(std::string_view s)
{
    size_t n = 0;
    for (unsigned char c : s)
        if ((c & 0xC0) != 0x80)
            ++n;
    return n;
}

// The first `count` code points of s.
std::string_view CodePointPrefix(std::string_view s, size_t count)
{
    size_t i = 0, seen = 0;
    for (; i < s.size(); ++i) {
        if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) {
            if (seen == count)
                break;
            ++seen;
        }
    }
    return s.substr(0, i);
}

std::string HexDigits(uint64_t v)
{
    static const char digits[] = "0123456789ABCDEF";
    if (v == 0)
        return "0";
    std::string out;
    while (v) {
        out.insert(out.begin(), digits[v & 15]);
        v >>= 4;
    }
    return out;
}

// Integers as the class library shows them in %u and %x: 32-bit values stay 32-bit.
uint64_t UnsignedOf(const TVarRec& arg)
{
    if (arg.GetKind() == TVarRec::Kind::Int) {
        int64_t v = arg.AsInt();
        if (v < 0 && v >= INT32_MIN)
            return static_cast<uint32_t>(static_cast<int32_t>(v));
        return static_cast<uint64_t>(v);
    }
    return arg.AsUInt();
}

std::string PadDigits(std::string digits, int precision)
{
    if (precision > 0 && static_cast<int>(digits.size()) < precision)
        digits.insert(0, precision - digits.size(), '0');
    return digits;
}

std::string GroupThousands(const std::string& intPart, char sep)
{
    if (sep == 0)
        return intPart;
    std::string out;
    int n = static_cast<int>(intPart.size());
    for (int i = 0; i < n; ++i) {
        out += intPart[i];
        int rest = n - 1 - i;
        if (rest > 0 && rest % 3 == 0)
            out += sep;
    }
    return out;
}

std::string FormatExponent(double v, int precision)
{
    // Mantissa with `precision` significant digits, exponent with at least three digits.
    if (precision < 1 || precision > 18)
        precision = 15;
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*E", precision - 1, v);
    std::string s(buf);
    size_t e = s.find('E');
    if (e == std::string::npos)
        return s;
    std::string mant = s.substr(0, e);
    char sign = s[e + 1];
    std::string exp = s.substr(e + 2);
    while (exp.size() < 3)
        exp.insert(0, "0");
    while (exp.size() > 3 && exp[0] == '0')
        exp.erase(0, 1);
    for (char& c : mant)
        if (c == '.')
            c = FormatSettings().DecimalSeparator;
    return mant + "E" + sign + exp;
}

std::string FormatGeneral(double v, int precision)
{
    if (precision < 1 || precision > 18)
        precision = 15;
    if (std::isnan(v))
        return "NAN";
    if (std::isinf(v))
        return v < 0 ? "-INF" : "INF";
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*G", precision, v);
    std::string s(buf);
    if (s.find('E') != std::string::npos)
        return FormatExponent(v, precision);
    for (char& c : s)
        if (c == '.')
            c = FormatSettings().DecimalSeparator;
    return s;
}

} // namespace

std::string FormatFloatFixed(double value, int digits, bool thousands)
{
    if (std::isnan(value))
        return "NAN";
    if (std::isinf(value))
        return value < 0 ? "-INF" : "INF";
    if (digits < 0)
        digits = 0;
    if (digits > 18)
        digits = 18;
    std::vector<char> buf(400);
    std::snprintf(buf.data(), buf.size(), "%.*f", digits, value);
    std::string s(buf.data());
    bool negative = !s.empty() && s[0] == '-';
    if (negative)
        s.erase(0, 1);
    size_t dot = s.find('.');
    std::string intPart = dot == std::string::npos ? s : s.substr(0, dot);
    std::string frac = dot == std::string::npos ? "" : s.substr(dot + 1);
    const TFormatSettings& fs = FormatSettings();
    std::string out = thousands ? GroupThousands(intPart, fs.ThousandSeparator) : intPart;
    if (!frac.empty())
        out += fs.DecimalSeparator + frac;
    // "-0.00" is shown without its sign.
    bool allZero = out.find_first_not_of("0.,") == std::string::npos;
    if (negative && !allZero)
        out.insert(0, "-");
    return out;
}

std::string Format(std::string_view fmt, TFormatArgs args)
{
    return Format(fmt, std::vector<TVarRec>(args));
}

// The largest width, precision or index a pattern may give, written or through "*".
constexpr int MaxFormatWidth = 100000;

std::string Format(std::string_view fmt, const std::vector<TVarRec>& argList)
{
    std::vector<const TVarRec*> args;
    for (const TVarRec& a : argList)
        args.push_back(&a);

    std::string out;
    size_t argIndex = 0;
    size_t i = 0;
    const size_t n = fmt.size();

    auto nextArg = [&]() -> const TVarRec& {
        if (argIndex >= args.size())
            FormatFail(fmt);
        return *args[argIndex++];
    };
    auto readNumber = [&](int& value) -> bool {
        if (i < n && fmt[i] == '*') {
            const TVarRec& a = nextArg();
            if (!a.IsInteger())
                FormatFail(fmt);
            // the same cap as a written number: a size passed as width must not allocate gigabytes
            const int64_t v = a.GetKind() == TVarRec::Kind::UInt && a.AsUInt() > uint64_t(MaxFormatWidth)
                                  ? int64_t(MaxFormatWidth) + 1
                                  : a.AsInt();
            if (v > MaxFormatWidth || v < -MaxFormatWidth)
                FormatFail(fmt);
            value = static_cast<int>(v);
            ++i;
            return true;
        }
        if (i < n && fmt[i] >= '0' && fmt[i] <= '9') {
            value = 0;
            while (i < n && fmt[i] >= '0' && fmt[i] <= '9') {
                value = value * 10 + (fmt[i] - '0');
                if (value > MaxFormatWidth)
                    FormatFail(fmt);
                ++i;
            }
            return true;
        }
        return false;
    };

    while (i < n) {
        char c = fmt[i];
        if (c != '%') {
            out += c;
            ++i;
            continue;
        }
        ++i;
        if (i >= n)
            FormatFail(fmt);
        if (fmt[i] == '%') {
            out += '%';
            ++i;
            continue;
        }
        bool leftAlign = false;
        int width = -1, precision = -1;

        // Optional "index:" — a number or "*" followed by a colon.
        {
            size_t save = i;
            size_t saveArg = argIndex;
            int value = 0;
            if (readNumber(value) && i < n && fmt[i] == ':') {
                if (value < 0)
                    FormatFail(fmt);
                argIndex = static_cast<size_t>(value);
                ++i;
            } else {
                i = save;
                argIndex = saveArg;
            }
        }
        if (i < n && fmt[i] == '-') {
            leftAlign = true;
            ++i;
        }
        readNumber(width);
        if (i < n && fmt[i] == '.') {
            ++i;
            if (!readNumber(precision))
                precision = 0;
        }
        if (i >= n)
            FormatFail(fmt);
        char type = static_cast<char>(std::tolower(static_cast<unsigned char>(fmt[i])));
        ++i;

        const TVarRec& arg = nextArg();
        std::string text;
        bool isFloatArg = arg.GetKind() == TVarRec::Kind::Float;
        switch (type) {
        case 'd': {
            if (!arg.IsInteger())
                FormatFail(fmt);
            if (arg.GetKind() == TVarRec::Kind::UInt) {
                text = PadDigits(std::to_string(arg.AsUInt()), precision);
            } else {
                int64_t v = arg.AsInt();
                uint64_t mag = v < 0 ? static_cast<uint64_t>(-(v + 1)) + 1 : static_cast<uint64_t>(v);
                text = PadDigits(std::to_string(mag), precision);
                if (v < 0)
                    text.insert(0, "-");
            }
            break;
        }
        case 'u':
            if (!arg.IsInteger())
                FormatFail(fmt);
            text = PadDigits(std::to_string(UnsignedOf(arg)), precision);
            break;
        case 'x':
            if (!arg.IsInteger())
                FormatFail(fmt);
            text = PadDigits(HexDigits(UnsignedOf(arg)), precision);
            break;
        case 'e':
        case 'f':
        case 'g':
        case 'n':
        case 'm': {
            if (!isFloatArg && !arg.IsInteger())
                FormatFail(fmt);
            double v = isFloatArg ? arg.AsFloat() : static_cast<double>(arg.AsInt());
            if (type == 'e')
                text = FormatExponent(v, precision < 0 ? 15 : precision);
            else if (type == 'g')
                text = FormatGeneral(v, precision < 0 ? 15 : precision);
            else
                text = FormatFloatFixed(v, precision < 0 ? 2 : precision, type != 'f');
            break;
        }
        case 's':
            if (arg.GetKind() != TVarRec::Kind::String && arg.GetKind() != TVarRec::Kind::Char)
                FormatFail(fmt);
            text = arg.AsString();
            if (precision >= 0)
                text = std::string(CodePointPrefix(text, static_cast<size_t>(precision)));
            break;
        case 'p': {
            if (arg.GetKind() != TVarRec::Kind::Pointer)
                FormatFail(fmt);
            text = PadDigits(HexDigits(reinterpret_cast<uintptr_t>(arg.AsPointer())), sizeof(void*) * 2);
            break;
        }
        default:
            FormatFail(fmt);
        }
        size_t len = CodePointCount(text);
        if (width > 0 && len < static_cast<size_t>(width)) {
            std::string pad(static_cast<size_t>(width) - len, ' ');
            text = leftAlign ? text + pad : pad + text;
        }
        out += text;
    }
    return out;
}

std::string SafeFormat(std::string_view fmt, TFormatArgs args) noexcept
{
    try {
        return SafeFormat(fmt, std::vector<TVarRec>(args));
    } catch (...) {
        return {};
    }
}

std::string SafeFormat(std::string_view fmt, const std::vector<TVarRec>& args) noexcept
{
    try {
        return Format(fmt, args);
    } catch (...) {
        try {
            return "Format error: " + std::string(fmt);
        } catch (...) {
            return {};
        }
    }
}
