#include "rtl/DateTime.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <langinfo.h>
#include <locale.h>
#include <utility>
#include <vector>

#include "rtl/Clock.h"
#include "rtl/SysUtils.h"

namespace {

constexpr int64_t MSecsPerDayInt = 86400000;
// Day numbers are counted from 1899-12-30; Unix time from 1970-01-01.
constexpr int64_t UnixEpochDay = 25569;
constexpr int64_t FileTimeEpochDay = -109205;
// Decoding clamps absurd values so that the arithmetic stays in range.
constexpr double MaxAbsDays = 1.0e9;

int64_t FloorDiv(int64_t a, int64_t b)
{
    int64_t q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0)))
        --q;
    return q;
}

int64_t FloorMod(int64_t a, int64_t b)
{
    return a - FloorDiv(a, b) * b;
}

// Days since 1899-12-30 of a proleptic Gregorian date.
int64_t DayNumber(int64_t y, int m, int d)
{
    y -= m <= 2 ? 1 : 0;
    const int64_t era = FloorDiv(y, 400);
    const int64_t yoe = y - era * 400;
    const int64_t mp = (m + 9) % 12;
    const int64_t doy = (153 * mp + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468 + UnixEpochDay;
}

void CivilFromDayNumber(int64_t dayNumber, int& year, int& month, int& day)
{
    const int64_t z = dayNumber - UnixEpochDay + 719468;
    const int64_t era = FloorDiv(z, 146097);
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(yoe + era * 400 + (month <= 2 ? 1 : 0));
}

// A TDateTime as milliseconds on a continuous scale (0 = 1899-12-30 00:00). Before 1899-12-30 the
// fraction of a TDateTime is the time of day counted forward from the midnight of its (negative) day.
int64_t ToLinearMs(TDateTime dt)
{
    if (std::isnan(dt))
        dt = 0;
    dt = std::clamp(dt, -MaxAbsDays, MaxAbsDays);
    const int64_t total = std::llround(dt * MSecsPerDay);
    const int64_t days = total / MSecsPerDayInt;
    const int64_t ms = std::llabs(total) % MSecsPerDayInt;
    return days * MSecsPerDayInt + ms;
}

TDateTime FromLinearMs(int64_t linear)
{
    const int64_t days = FloorDiv(linear, MSecsPerDayInt);
    const int64_t ms = FloorMod(linear, MSecsPerDayInt);
    if (days >= 0)
        return static_cast<double>(linear) / MSecsPerDay;
    return -static_cast<double>(-days * MSecsPerDayInt + ms) / MSecsPerDay;
}

void SplitLinear(int64_t linear, int64_t& dayNumber, int64_t& msOfDay)
{
    dayNumber = FloorDiv(linear, MSecsPerDayInt);
    msOfDay = FloorMod(linear, MSecsPerDayInt);
}

int64_t DayNumberOf(TDateTime dt)
{
    return FloorDiv(ToLinearMs(dt), MSecsPerDayInt);
}

[[noreturn]] void RaiseInvalidDate()
{
    throw EConvertError("Invalid argument to date encode");
}

[[noreturn]] void RaiseInvalidTime()
{
    throw EConvertError("Invalid argument to time encode");
}

// ---- local time

int64_t OffsetAt(int64_t unixSeconds)
{
    const time_t t = static_cast<time_t>(unixSeconds);
    struct tm tmv
    {
    };
    if (localtime_r(&t, &tmv) == nullptr)
        return 0;
    return tmv.tm_gmtoff;
}

// The UTC instant of a local wall-clock reading (seconds). In the hour that repeats when clocks go back
// the later instant (standard time) is taken; a reading in the hour skipped when clocks go forward is
// read with the offset in force before the change, so it lands after the change.
int64_t LocalSecondsToUnix(int64_t localSeconds)
{
    const int64_t before = OffsetAt(localSeconds - 86400);
    const int64_t after = OffsetAt(localSeconds + 86400);
    const int64_t candidates[] = {before, OffsetAt(localSeconds), after};
    bool found = false;
    int64_t best = 0;
    for (int64_t offset : candidates) {
        const int64_t utc = localSeconds - offset;
        if (OffsetAt(utc) == offset && (!found || utc > best)) {
            best = utc;
            found = true;
        }
    }
    if (found)
        return best;
    return localSeconds - before;
}

// ---- locale

bool IsPlainLocaleName(const std::string& name)
{
    return name.empty() || name == "C" || name == "POSIX" || name.rfind("C.", 0) == 0 ||
           name.rfind("POSIX.", 0) == 0;
}

std::string ResolveLocaleName(const char* localeName, const char* categoryVariable)
{
    if (localeName != nullptr && *localeName != 0)
        return localeName;
    for (const char* var : {"LC_ALL", categoryVariable, "LANG"}) {
        const char* value = getenv(var);
        if (value != nullptr && *value != 0)
            return value;
    }
    return "C";
}

// The short date order and separator from a strftime date pattern such as "%d.%m.%Y".
void ApplyDatePattern(const std::string& pattern, TFormatSettings& fs)
{
    std::string parts;
    std::string separator;
    bool longYear = true;
    for (size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == '%' && i + 1 < pattern.size()) {
            char c = pattern[++i];
            while ((c == 'E' || c == 'O' || c == '-' || c == '_' || c == '0' || c == '^' || c == '#') &&
                   i + 1 < pattern.size())
                c = pattern[++i];
            switch (c) {
            case 'd':
            case 'e':
                parts += 'd';
                break;
            case 'm':
                parts += 'm';
                break;
            case 'y':
                parts += 'y';
                longYear = false;
                break;
            case 'Y':
                parts += 'y';
                break;
            case 'D':
                parts += "mdy";
                separator = "/";
                longYear = false;
                break;
            case 'F':
                parts += "ymd";
                separator = "-";
                break;
            default:
                break;
            }
        } else if (separator.empty() && !parts.empty() && pattern[i] != ' ') {
            size_t len = 1;
            while (i + len < pattern.size() && pattern[i + len] != '%')
                ++len;
            separator = pattern.substr(i, len);
            i += len - 1;
        }
    }
    if (parts.size() != 3 || parts.find('d') == std::string::npos || parts.find('m') == std::string::npos ||
        parts.find('y') == std::string::npos)
        return;
    const char sep = separator.size() == 1 ? separator[0] : '/';
    std::string format;
    for (char p : parts) {
        if (!format.empty())
            format += sep;
        format += p == 'd' ? "dd" : p == 'm' ? "mm" : (longYear ? "yyyy" : "yy");
    }
    fs.DateSeparator = sep;
    fs.ShortDateFormat = format;
}

// Time formats from a strftime time pattern such as "%H:%M:%S" or "%I:%M:%S %p".
void ApplyTimePattern(std::string pattern, TFormatSettings& fs)
{
    const std::pair<const char*, const char*> expansions[] = {
        {"%T", "%H:%M:%S"}, {"%r", "%I:%M:%S %p"}, {"%R", "%H:%M"}};
    for (const auto& [from, to] : expansions)
        for (size_t pos; (pos = pattern.find(from)) != std::string::npos;)
            pattern.replace(pos, 2, to);
    // Pieces of the pattern: fields ("hh", "nn", "ss", "ampm") and the literal text between them.
    std::vector<std::pair<bool, std::string>> pieces;
    for (size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == '%' && i + 1 < pattern.size()) {
            char c = pattern[++i];
            while (std::strchr("EO-_0^#", c) != nullptr && i + 1 < pattern.size())
                c = pattern[++i];
            const char* field = c == 'H' || c == 'I'   ? "hh"
                                : c == 'k' || c == 'l' ? "h"
                                : c == 'M'             ? "nn"
                                : c == 'S'             ? "ss"
                                : c == 'p' || c == 'P' ? "ampm"
                                                       : nullptr;
            if (field != nullptr)
                pieces.emplace_back(true, field);
        } else {
            if (pieces.empty() || pieces.back().first)
                pieces.emplace_back(false, "");
            pieces.back().second += pattern[i];
        }
    }
    char separator = 0;
    for (const auto& [isField, text] : pieces)
        for (char ch : text)
            if (!isField && separator == 0 && std::ispunct(static_cast<unsigned char>(ch)) && ch != '"' &&
                ch != '\'')
                separator = ch;
    // The short format leaves out the seconds with the separator before them or, when the seconds
    // are followed by a word of their own, with that word.
    std::vector<bool> inShort(pieces.size(), true);
    for (size_t i = 0; i < pieces.size(); ++i) {
        if (!pieces[i].first || pieces[i].second != "ss")
            continue;
        inShort[i] = false;
        const auto isSeparator = [&](const std::string& text) {
            return text.find_first_not_of(std::string(" ") + separator) == std::string::npos;
        };
        if (i > 0 && !pieces[i - 1].first && isSeparator(pieces[i - 1].second))
            inShort[i - 1] = false;
        else if (i + 1 < pieces.size() && !pieces[i + 1].first && !isSeparator(pieces[i + 1].second))
            inShort[i + 1] = false;
    }
    std::string longFormat;
    std::string shortFormat;
    for (size_t i = 0; i < pieces.size(); ++i) {
        std::string text = pieces[i].second;
        if (!pieces[i].first) {
            if (separator != 0)
                std::replace(text.begin(), text.end(), separator, ':');
            text.erase(
                std::remove_if(text.begin(), text.end(), [](char ch) { return ch == '"' || ch == '\''; }),
                text.end());
            if (std::any_of(text.begin(), text.end(), [](char ch) {
                    return std::isalpha(static_cast<unsigned char>(ch)) ||
                           static_cast<unsigned char>(ch) >= 0x80;
                }))
                text = '"' + text + '"';
        }
        longFormat += text;
        if (inShort[i])
            shortFormat += text;
    }
    if (longFormat.find('h') == std::string::npos || longFormat.find('n') == std::string::npos)
        return;
    if (separator != 0)
        fs.TimeSeparator = separator;
    fs.LongTimeFormat = longFormat;
    fs.ShortTimeFormat = shortFormat;
}

// ---- formatting

std::string Padded(int64_t value, int digits)
{
    std::string s = std::to_string(value < 0 ? -value : value);
    if (static_cast<int>(s.size()) < digits)
        s.insert(0, static_cast<size_t>(digits) - s.size(), '0');
    return value < 0 ? "-" + s : s;
}

bool StartsWithNoCase(std::string_view s, size_t pos, std::string_view prefix)
{
    if (s.size() - pos < prefix.size())
        return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(s[pos + i])) !=
            std::tolower(static_cast<unsigned char>(prefix[i])))
            return false;
    return true;
}

struct DateParts
{
    int year, month, day, hour, min, sec, msec, dow;
};

class DateFormatter
{
public:
    DateFormatter(const TFormatSettings& fs, TDateTime dt) : FSettings(fs)
    {
        DecodeDateTime(dt, F.year, F.month, F.day, F.hour, F.min, F.sec, F.msec);
        F.dow = DayOfWeek(dt);
    }

    void Append(std::string_view fmt, int depth)
    {
        if (depth >= 3)
            return;
        if (fmt.empty()) {
            AppendDefault(depth);
            return;
        }
        const bool twelveHour = HasAmPm(fmt);
        char lastToken = ' ';
        size_t i = 0;
        while (i < fmt.size()) {
            const char starter = fmt[i];
            char token = static_cast<char>(std::toupper(static_cast<unsigned char>(starter)));
            if (token >= 'A' && token <= 'Z') {
                if (token == 'M' && lastToken == 'H')
                    token = 'N';
                lastToken = token;
            }
            const size_t count = RunLength(fmt, i, starter);
            switch (token) {
            case 'Y':
                FOut += count <= 2 ? Padded(F.year % 100, 2) : Padded(F.year, 4);
                i += count;
                break;
            case 'M':
                i += count;
                if (count <= 2)
                    FOut += Padded(F.month, static_cast<int>(count));
                else if (count == 3)
                    FOut += FSettings.ShortMonthNames[F.month - 1];
                else
                    FOut += FSettings.LongMonthNames[F.month - 1];
                break;
            case 'D':
                i += count;
                if (count <= 2)
                    FOut += Padded(F.day, static_cast<int>(count));
                else if (count == 3)
                    FOut += FSettings.ShortDayNames[F.dow - 1];
                else if (count == 4)
                    FOut += FSettings.LongDayNames[F.dow - 1];
                else if (count == 5)
                    Append(FSettings.ShortDateFormat, depth + 1);
                else
                    Append(FSettings.LongDateFormat, depth + 1);
                break;
            case 'H': {
                i += std::min<size_t>(count, 2);
                int hour = F.hour;
                if (twelveHour) {
                    hour %= 12;
                    if (hour == 0)
                        hour = 12;
                }
                FOut += Padded(hour, count >= 2 ? 2 : 1);
                break;
            }
            case 'N':
                i += std::min<size_t>(count, 2);
                FOut += Padded(F.min, count >= 2 ? 2 : 1);
                break;
            case 'S':
                i += std::min<size_t>(count, 2);
                FOut += Padded(F.sec, count >= 2 ? 2 : 1);
                break;
            case 'Z':
                i += std::min<size_t>(count, 3);
                FOut += Padded(F.msec, count >= 3 ? 3 : 1);
                break;
            case 'T':
                i += std::min<size_t>(count, 2);
                Append(count >= 2 ? FSettings.LongTimeFormat : FSettings.ShortTimeFormat, depth + 1);
                break;
            case 'C':
                ++i;
                AppendDefault(depth);
                break;
            case 'A':
                i += AppendAmPm(fmt, i);
                break;
            case '/':
                ++i;
                FOut += FSettings.DateSeparator;
                break;
            case ':':
                ++i;
                FOut += FSettings.TimeSeparator;
                break;
            case '"':
            case '\'': {
                const size_t close = fmt.find(starter, i + 1);
                const size_t end = close == std::string_view::npos ? fmt.size() : close;
                FOut.append(fmt.substr(i + 1, end - i - 1));
                i = close == std::string_view::npos ? fmt.size() : close + 1;
                break;
            }
            default:
                FOut += starter;
                ++i;
                break;
            }
        }
    }

    std::string Result() const { return FOut; }

private:
    static size_t RunLength(std::string_view fmt, size_t i, char starter)
    {
        const int upper = std::toupper(static_cast<unsigned char>(starter));
        size_t n = 1;
        while (i + n < fmt.size() && std::toupper(static_cast<unsigned char>(fmt[i + n])) == upper)
            ++n;
        return n;
    }

    static bool HasAmPm(std::string_view fmt)
    {
        for (size_t i = 0; i < fmt.size(); ++i) {
            const char c = fmt[i];
            if (c == '"' || c == '\'') {
                const size_t close = fmt.find(c, i + 1);
                if (close == std::string_view::npos)
                    return false;
                i = close;
            } else if (StartsWithNoCase(fmt, i, "am/pm") || StartsWithNoCase(fmt, i, "a/p") ||
                       StartsWithNoCase(fmt, i, "ampm")) {
                return true;
            }
        }
        return false;
    }

    // am/pm and a/p copy the letters as written in the pattern; ampm uses the locale's strings.
    size_t AppendAmPm(std::string_view fmt, size_t i)
    {
        const bool pm = F.hour >= 12;
        if (StartsWithNoCase(fmt, i, "am/pm")) {
            FOut.append(fmt.substr(pm ? i + 3 : i, 2));
            return 5;
        }
        if (StartsWithNoCase(fmt, i, "a/p")) {
            FOut += fmt[pm ? i + 2 : i];
            return 3;
        }
        if (StartsWithNoCase(fmt, i, "ampm")) {
            FOut += pm ? FSettings.TimePMString : FSettings.TimeAMString;
            return 4;
        }
        FOut += fmt[i];
        return 1;
    }

    // The short date, followed by the long time unless the time is midnight.
    void AppendDefault(int depth)
    {
        Append(FSettings.ShortDateFormat, depth + 1);
        if (F.hour != 0 || F.min != 0 || F.sec != 0 || F.msec != 0) {
            FOut += ' ';
            Append(FSettings.LongTimeFormat, depth + 1);
        }
    }

    const TFormatSettings& FSettings;
    DateParts F{};
    std::string FOut;
};

// ---- parsing

struct Scanner
{
    std::string_view s;
    size_t pos = 0;

    void SkipBlanks()
    {
        while (pos < s.size() && (s[pos] == ' ' || s[pos] == '\t'))
            ++pos;
    }
    bool AtEnd() const { return pos >= s.size(); }
    bool Char(char c)
    {
        if (pos < s.size() && s[pos] == c) {
            ++pos;
            return true;
        }
        return false;
    }
    // Reads up to maxDigits decimal digits; digits receives how many were read.
    bool Number(int& value, int& digits, int maxDigits = 9)
    {
        value = 0;
        digits = 0;
        while (pos < s.size() && digits < maxDigits && std::isdigit(static_cast<unsigned char>(s[pos]))) {
            value = value * 10 + (s[pos] - '0');
            ++pos;
            ++digits;
        }
        return digits > 0;
    }
};

enum class DateOrder
{
    DMY,
    MDY,
    YMD
};

DateOrder OrderOf(const std::string& shortDateFormat)
{
    std::string order;
    for (char c : shortDateFormat) {
        const char u = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        if ((u == 'D' || u == 'M' || u == 'Y') && order.find(u) == std::string::npos)
            order += u;
    }
    if (!order.empty() && order[0] == 'Y')
        return DateOrder::YMD;
    if (!order.empty() && order[0] == 'M')
        return DateOrder::MDY;
    return DateOrder::DMY;
}

bool ScanDate(Scanner& sc, TDateTime& result, const TFormatSettings& fs)
{
    int n[3] = {0, 0, 0};
    int digits[3] = {0, 0, 0};
    sc.SkipBlanks();
    if (!sc.Number(n[0], digits[0]))
        return false;
    if (!sc.Char(fs.DateSeparator))
        return false;
    if (!sc.Number(n[1], digits[1]))
        return false;
    int count = 2;
    const size_t save = sc.pos;
    if (sc.Char(fs.DateSeparator)) {
        if (sc.Number(n[2], digits[2]))
            count = 3;
        else
            sc.pos = save + 1; // a trailing separator is allowed
    }
    int year = 0;
    int month = 0;
    int day = 0;
    int yearDigits = 4;
    const DateOrder order = OrderOf(fs.ShortDateFormat);
    if (count == 2) {
        year = YearOf(Date());
        if (order == DateOrder::MDY) {
            month = n[0];
            day = n[1];
        } else if (order == DateOrder::DMY) {
            day = n[0];
            month = n[1];
        } else {
            month = n[0];
            day = n[1];
        }
    } else {
        switch (order) {
        case DateOrder::DMY:
            day = n[0], month = n[1], year = n[2], yearDigits = digits[2];
            break;
        case DateOrder::MDY:
            month = n[0], day = n[1], year = n[2], yearDigits = digits[2];
            break;
        case DateOrder::YMD:
            year = n[0], month = n[1], day = n[2], yearDigits = digits[0];
            break;
        }
        if (year <= 99 && yearDigits <= 2) {
            const int centuryBase = YearOf(Date()) - fs.TwoDigitYearCenturyWindow;
            year += centuryBase / 100 * 100;
            if (fs.TwoDigitYearCenturyWindow > 0 && year < centuryBase)
                year += 100;
        }
    }
    return TryEncodeDate(year, month, day, result);
}

bool MatchAmPm(Scanner& sc, const TFormatSettings& fs, int& which)
{
    const std::string_view rest = sc.s.substr(sc.pos);
    const std::pair<std::string_view, int> markers[] = {
        {fs.TimeAMString, 0}, {fs.TimePMString, 1}, {"AM", 0}, {"PM", 1}, {"A", 0}, {"P", 1}};
    for (const auto& [marker, value] : markers) {
        if (!marker.empty() && StartsWithNoCase(rest, 0, marker)) {
            sc.pos += marker.size();
            which = value;
            return true;
        }
    }
    return false;
}

bool ScanTime(Scanner& sc, TDateTime& result, const TFormatSettings& fs)
{
    int hour = 0;
    int min = 0;
    int sec = 0;
    int msec = 0;
    int digits = 0;
    sc.SkipBlanks();
    int ampm = -1;
    if (MatchAmPm(sc, fs, ampm))
        sc.SkipBlanks();
    if (!sc.Number(hour, digits))
        return false;
    if (sc.Char(fs.TimeSeparator)) {
        if (!sc.Number(min, digits))
            return false;
        if (sc.Char(fs.TimeSeparator)) {
            if (!sc.Number(sec, digits))
                return false;
            if (sc.Char(fs.DecimalSeparator) || sc.Char('.')) {
                if (!sc.Number(msec, digits, 3))
                    return false;
                for (; digits < 3; ++digits)
                    msec *= 10;
                int ignored = 0;
                sc.Number(ignored, digits); // further digits are dropped
            }
        }
    } else {
        // A bare number is an hour only when an am/pm marker follows or preceded it.
        const size_t save = sc.pos;
        sc.SkipBlanks();
        int marker = -1;
        if (ampm < 0 && !MatchAmPm(sc, fs, marker))
            return false;
        sc.pos = save;
    }
    sc.SkipBlanks();
    if (ampm < 0)
        MatchAmPm(sc, fs, ampm);
    if (ampm >= 0) {
        if (hour < 1 || hour > 12)
            return false;
        hour = hour % 12 + (ampm == 1 ? 12 : 0);
    }
    return TryEncodeTime(hour, min, sec, msec, result);
}

std::string_view Trimmed(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

} // namespace

// ---- locale conventions

TFormatSettings TFormatSettings::FromLocale(const char* localeName)
{
    TFormatSettings fs;
    const std::string timeName = ResolveLocaleName(localeName, "LC_TIME");
    const std::string numericName = ResolveLocaleName(localeName, "LC_NUMERIC");

    if (!IsPlainLocaleName(numericName)) {
        locale_t loc = newlocale(LC_NUMERIC_MASK, numericName.c_str(), static_cast<locale_t>(nullptr));
        if (loc != static_cast<locale_t>(nullptr)) {
            const std::string radix = nl_langinfo_l(RADIXCHAR, loc);
            const std::string thousands = nl_langinfo_l(THOUSEP, loc);
            if (radix.size() == 1)
                fs.DecimalSeparator = radix[0];
            if (thousands.size() == 1)
                fs.ThousandSeparator = thousands[0];
            else if (!thousands.empty())
                fs.ThousandSeparator = ' '; // a no-break or narrow space
            if (fs.ThousandSeparator == fs.DecimalSeparator)
                fs.ThousandSeparator = fs.DecimalSeparator == ',' ? '.' : ',';
            freelocale(loc);
        }
    }

    if (!IsPlainLocaleName(timeName)) {
        locale_t loc = newlocale(LC_TIME_MASK, timeName.c_str(), static_cast<locale_t>(nullptr));
        if (loc != static_cast<locale_t>(nullptr)) {
            static const nl_item abmon[] = {ABMON_1, ABMON_2, ABMON_3, ABMON_4,  ABMON_5,  ABMON_6,
                                            ABMON_7, ABMON_8, ABMON_9, ABMON_10, ABMON_11, ABMON_12};
            static const nl_item mon[] = {MON_1, MON_2, MON_3, MON_4,  MON_5,  MON_6,
                                          MON_7, MON_8, MON_9, MON_10, MON_11, MON_12};
            static const nl_item abday[] = {ABDAY_1, ABDAY_2, ABDAY_3, ABDAY_4, ABDAY_5, ABDAY_6, ABDAY_7};
            static const nl_item day[] = {DAY_1, DAY_2, DAY_3, DAY_4, DAY_5, DAY_6, DAY_7};
            auto take = [loc](nl_item item, std::string& target) {
                const char* value = nl_langinfo_l(item, loc);
                if (value != nullptr && *value != 0)
                    target = value;
            };
            for (int i = 0; i < 12; ++i) {
                take(abmon[i], fs.ShortMonthNames[i]);
                take(mon[i], fs.LongMonthNames[i]);
            }
            for (int i = 0; i < 7; ++i) {
                take(abday[i], fs.ShortDayNames[i]);
                take(day[i], fs.LongDayNames[i]);
            }
            take(AM_STR, fs.TimeAMString);
            take(PM_STR, fs.TimePMString);
            ApplyDatePattern(nl_langinfo_l(D_FMT, loc), fs);
            ApplyTimePattern(nl_langinfo_l(T_FMT, loc), fs);
            freelocale(loc);
        }
    }
    return fs;
}

TFormatSettings& FormatSettings()
{
    static TFormatSettings settings = TFormatSettings::FromLocale("");
    return settings;
}

// ---- calendar

bool IsLeapYear(int year)
{
    return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

int DaysInAMonth(int year, int month)
{
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12)
        return 0;
    return days[month - 1] + (month == 2 && IsLeapYear(year) ? 1 : 0);
}

bool TryEncodeDate(int year, int month, int day, TDateTime& result)
{
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || day > DaysInAMonth(year, month))
        return false;
    result = static_cast<double>(DayNumber(year, month, day));
    return true;
}

bool TryEncodeTime(int hour, int min, int sec, int msec, TDateTime& result)
{
    if (hour < 0 || hour >= 24 || min < 0 || min >= 60 || sec < 0 || sec >= 60 || msec < 0 || msec >= 1000)
        return false;
    result = static_cast<double>(((hour * 60 + min) * 60 + sec) * 1000 + msec) / MSecsPerDay;
    return true;
}

TDateTime EncodeDate(int year, int month, int day)
{
    TDateTime result = 0;
    if (!TryEncodeDate(year, month, day, result))
        RaiseInvalidDate();
    return result;
}

TDateTime EncodeTime(int hour, int min, int sec, int msec)
{
    TDateTime result = 0;
    if (!TryEncodeTime(hour, min, sec, msec, result))
        RaiseInvalidTime();
    return result;
}

TDateTime EncodeDateTime(int year, int month, int day, int hour, int min, int sec, int msec)
{
    TDateTime date = 0;
    TDateTime time = 0;
    if (!TryEncodeDate(year, month, day, date))
        RaiseInvalidDate();
    if (!TryEncodeTime(hour, min, sec, msec, time))
        RaiseInvalidTime();
    return FromLinearMs(DayNumber(year, month, day) * MSecsPerDayInt + ((hour * 60 + min) * 60 + sec) * 1000 +
                        msec);
}

void DecodeDate(TDateTime dt, int& year, int& month, int& day)
{
    CivilFromDayNumber(DayNumberOf(dt), year, month, day);
}

void DecodeTime(TDateTime dt, int& hour, int& min, int& sec, int& msec)
{
    int64_t day = 0;
    int64_t ms = 0;
    SplitLinear(ToLinearMs(dt), day, ms);
    msec = static_cast<int>(ms % 1000);
    ms /= 1000;
    sec = static_cast<int>(ms % 60);
    ms /= 60;
    min = static_cast<int>(ms % 60);
    hour = static_cast<int>(ms / 60);
}

void DecodeDateTime(TDateTime dt, int& year, int& month, int& day, int& hour, int& min, int& sec, int& msec)
{
    DecodeDate(dt, year, month, day);
    DecodeTime(dt, hour, min, sec, msec);
}

TDateTime DateOf(TDateTime dt)
{
    return static_cast<double>(DayNumberOf(dt));
}

TDateTime TimeOf(TDateTime dt)
{
    return static_cast<double>(FloorMod(ToLinearMs(dt), MSecsPerDayInt)) / MSecsPerDay;
}

int YearOf(TDateTime dt)
{
    int y, m, d;
    DecodeDate(dt, y, m, d);
    return y;
}

int MonthOf(TDateTime dt)
{
    int y, m, d;
    DecodeDate(dt, y, m, d);
    return m;
}

int DayOf(TDateTime dt)
{
    int y, m, d;
    DecodeDate(dt, y, m, d);
    return d;
}

int DayOfWeek(TDateTime dt)
{
    // 1899-12-30 was a Saturday.
    return static_cast<int>(FloorMod(DayNumberOf(dt) - 1, 7)) + 1;
}

int DayOfTheWeek(TDateTime dt)
{
    return static_cast<int>(FloorMod(DayNumberOf(dt) - 2, 7)) + 1;
}

int WeekOfTheYear(TDateTime dt, int& year)
{
    // The week belongs to the year of its Thursday.
    const int64_t day = DayNumberOf(dt);
    const int64_t thursday = day - DayOfTheWeek(dt) + 4;
    int month = 0;
    int dayOfMonth = 0;
    CivilFromDayNumber(thursday, year, month, dayOfMonth);
    return static_cast<int>((thursday - DayNumber(year, 1, 1)) / 7 + 1);
}

int WeekOfTheYear(TDateTime dt)
{
    int year = 0;
    return WeekOfTheYear(dt, year);
}

int DayOfTheYear(TDateTime dt)
{
    const int64_t day = DayNumberOf(dt);
    return static_cast<int>(day - DayNumber(YearOf(dt), 1, 1) + 1);
}

TDateTime IncMonth(TDateTime dt, int months)
{
    int year, month, day;
    DecodeDate(dt, year, month, day);
    const int64_t total = static_cast<int64_t>(year) * 12 + (month - 1) + months;
    const int64_t newYear = FloorDiv(total, 12);
    if (newYear < 1 || newYear > 9999)
        RaiseInvalidDate();
    year = static_cast<int>(newYear);
    month = static_cast<int>(FloorMod(total, 12)) + 1;
    day = std::min(day, DaysInAMonth(year, month));
    return FromLinearMs(DayNumber(year, month, day) * MSecsPerDayInt +
                        FloorMod(ToLinearMs(dt), MSecsPerDayInt));
}

TDateTime IncDay(TDateTime dt, double days)
{
    return FromLinearMs(ToLinearMs(dt) +
                        std::llround(std::clamp(days, -MaxAbsDays, MaxAbsDays) * MSecsPerDay));
}

TDateTime IncHour(TDateTime dt, int64_t hours)
{
    return FromLinearMs(ToLinearMs(dt) +
                        std::clamp<int64_t>(hours, -24 * 1000000000LL, 24 * 1000000000LL) * 3600000);
}

TDateTime IncMinute(TDateTime dt, int64_t minutes)
{
    return FromLinearMs(ToLinearMs(dt) +
                        std::clamp<int64_t>(minutes, -1440 * 1000000000LL, 1440 * 1000000000LL) * 60000);
}

TDateTime IncSecond(TDateTime dt, int64_t seconds)
{
    return FromLinearMs(ToLinearMs(dt) +
                        std::clamp<int64_t>(seconds, -86400 * 1000000000LL, 86400 * 1000000000LL) * 1000);
}

TDateTime IncMilliSecond(TDateTime dt, int64_t milliseconds)
{
    const int64_t limit = static_cast<int64_t>(MaxAbsDays) * MSecsPerDayInt;
    return FromLinearMs(ToLinearMs(dt) + std::clamp(milliseconds, -limit, limit));
}

int64_t MilliSecondsBetween(TDateTime a, TDateTime b)
{
    return std::llabs(ToLinearMs(a) - ToLinearMs(b));
}

int64_t SecondsBetween(TDateTime a, TDateTime b)
{
    return MilliSecondsBetween(a, b) / 1000;
}

int DaysBetween(TDateTime a, TDateTime b)
{
    return static_cast<int>(MilliSecondsBetween(a, b) / MSecsPerDayInt);
}

bool SameDateTime(TDateTime a, TDateTime b)
{
    return ToLinearMs(a) == ToLinearMs(b);
}

// ---- Unix and FILETIME

TDateTime UnixToDateTime(int64_t unixSeconds)
{
    const int64_t limit = static_cast<int64_t>(MaxAbsDays) * 86400;
    return FromLinearMs((std::clamp(unixSeconds, -limit, limit) + UnixEpochDay * 86400) * 1000);
}

int64_t DateTimeToUnix(TDateTime utc)
{
    return FloorDiv(ToLinearMs(utc), 1000) - UnixEpochDay * 86400;
}

TDateTime FileTimeToDateTime(uint64_t ticks)
{
    return FromLinearMs(static_cast<int64_t>(ticks / 10000) + FileTimeEpochDay * MSecsPerDayInt);
}

uint64_t DateTimeToFileTime(TDateTime utc)
{
    const int64_t ms = ToLinearMs(utc) - FileTimeEpochDay * MSecsPerDayInt;
    return ms <= 0 ? 0 : static_cast<uint64_t>(ms) * 10000;
}

// ---- local time

int64_t UtcOffsetSeconds(int64_t unixSeconds)
{
    return OffsetAt(unixSeconds);
}

TDateTime UtcToLocal(TDateTime utc)
{
    const int64_t linear = ToLinearMs(utc);
    const int64_t seconds = FloorDiv(linear, 1000) - UnixEpochDay * 86400;
    return FromLinearMs(linear + OffsetAt(seconds) * 1000);
}

TDateTime LocalToUtc(TDateTime local)
{
    const int64_t linear = ToLinearMs(local);
    const int64_t localSeconds = FloorDiv(linear, 1000) - UnixEpochDay * 86400;
    const int64_t utcSeconds = LocalSecondsToUnix(localSeconds);
    return FromLinearMs(linear + (utcSeconds - localSeconds) * 1000);
}

TDateTime UnixToLocalDateTime(int64_t unixSeconds)
{
    return UnixToDateTime(unixSeconds + OffsetAt(unixSeconds));
}

int64_t LocalDateTimeToUnix(TDateTime local)
{
    const int64_t localSeconds = FloorDiv(ToLinearMs(local), 1000) - UnixEpochDay * 86400;
    return LocalSecondsToUnix(localSeconds);
}

// ---- DOS date and time

uint32_t DateTimeToDosDateTime(TDateTime local)
{
    int year, month, day, hour, min, sec, msec;
    DecodeDateTime(local, year, month, day, hour, min, sec, msec);
    if (year < 1980)
        return (1u << 5 | 1u) << 16;
    if (year > 2107) {
        year = 2107, month = 12, day = 31;
        hour = 23, min = 59, sec = 58;
    }
    const uint32_t date = static_cast<uint32_t>((year - 1980) << 9 | month << 5 | day);
    const uint32_t time = static_cast<uint32_t>(hour << 11 | min << 5 | sec / 2);
    return date << 16 | time;
}

bool TryDosDateTimeToDateTime(uint32_t dos, TDateTime& result)
{
    const uint32_t date = dos >> 16;
    const uint32_t time = dos & 0xFFFF;
    TDateTime d = 0;
    TDateTime t = 0;
    if (!TryEncodeDate(static_cast<int>((date >> 9) + 1980), static_cast<int>((date >> 5) & 15),
                       static_cast<int>(date & 31), d) ||
        !TryEncodeTime(static_cast<int>(time >> 11), static_cast<int>((time >> 5) & 63),
                       static_cast<int>((time & 31) * 2), 0, t))
        return false;
    result = d + t;
    return true;
}

TDateTime DosDateTimeToDateTime(uint32_t dos)
{
    TDateTime result = 0;
    if (!TryDosDateTimeToDateTime(dos, result))
        throw EConvertError("Invalid DOS date and time");
    return result;
}

// ---- text

std::string FormatDateTime(std::string_view fmt, TDateTime dt, const TFormatSettings& settings)
{
    DateFormatter formatter(settings, dt);
    formatter.Append(fmt, 0);
    return formatter.Result();
}

std::string DateToStr(TDateTime dt, const TFormatSettings& settings)
{
    return FormatDateTime("ddddd", dt, settings);
}

std::string TimeToStr(TDateTime dt, const TFormatSettings& settings)
{
    return FormatDateTime("tt", dt, settings);
}

std::string DateTimeToStr(TDateTime dt, const TFormatSettings& settings)
{
    return FormatDateTime("", dt, settings);
}

bool TryStrToDate(std::string_view s, TDateTime& result, const TFormatSettings& settings)
{
    Scanner sc{Trimmed(s)};
    TDateTime value = 0;
    if (!ScanDate(sc, value, settings) || !sc.AtEnd())
        return false;
    result = value;
    return true;
}

bool TryStrToTime(std::string_view s, TDateTime& result, const TFormatSettings& settings)
{
    Scanner sc{Trimmed(s)};
    TDateTime value = 0;
    if (!ScanTime(sc, value, settings) || !sc.AtEnd())
        return false;
    result = value;
    return true;
}

bool TryStrToDateTime(std::string_view s, TDateTime& result, const TFormatSettings& settings)
{
    Scanner sc{Trimmed(s)};
    TDateTime date = 0;
    if (ScanDate(sc, date, settings)) {
        if (sc.AtEnd()) {
            result = date;
            return true;
        }
        TDateTime time = 0;
        if (sc.pos < sc.s.size() && sc.s[sc.pos] == ' ' && (++sc.pos, true) && ScanTime(sc, time, settings) &&
            sc.AtEnd()) {
            result = date < 0 ? date - time : date + time;
            return true;
        }
        return false;
    }
    return TryStrToTime(s, result, settings);
}

TDateTime StrToDate(std::string_view s, const TFormatSettings& settings)
{
    TDateTime result = 0;
    if (!TryStrToDate(s, result, settings))
        throw EConvertError("'" + std::string(s) + "' is not a valid date");
    return result;
}

TDateTime StrToTime(std::string_view s, const TFormatSettings& settings)
{
    TDateTime result = 0;
    if (!TryStrToTime(s, result, settings))
        throw EConvertError("'" + std::string(s) + "' is not a valid time");
    return result;
}

TDateTime StrToDateTime(std::string_view s, const TFormatSettings& settings)
{
    TDateTime result = 0;
    if (!TryStrToDateTime(s, result, settings))
        throw EConvertError("'" + std::string(s) + "' is not a valid date and time");
    return result;
}

// ---- now

TDateTime Now()
{
    return Clock::Current().NowLocal();
}

TDateTime Date()
{
    return DateOf(Now());
}

TDateTime Time()
{
    return TimeOf(Now());
}

TDateTime NowUTC()
{
    return Clock::Current().NowUtc();
}
