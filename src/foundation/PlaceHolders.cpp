#include "foundation/PlaceHolders.h"

#include <climits>
#include <cstdlib>
#include <fstream>
#include <pwd.h>
#include <unistd.h>

#include "rtl/Clock.h"
#include "rtl/DateTime.h"

#ifndef VASTREL_INSTALL_PREFIX
#define VASTREL_INSTALL_PREFIX "/usr/local"
#endif

namespace {

char LowerAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
}

size_t FindIgnoreCase(std::string_view text, std::string_view what, size_t from = 0)
{
    if (what.empty() || what.size() > text.size())
        return std::string_view::npos;
    for (size_t i = from; i + what.size() <= text.size(); ++i) {
        size_t k = 0;
        while (k < what.size() && LowerAscii(text[i + k]) == LowerAscii(what[k]))
            ++k;
        if (k == what.size())
            return i;
    }
    return std::string_view::npos;
}

std::string Pad(int value, int digits)
{
    std::string s = std::to_string(value < 0 ? -value : value);
    while (static_cast<int>(s.size()) < digits)
        s.insert(s.begin(), '0');
    return value < 0 ? "-" + s : s;
}

std::string RemoveDots(std::string s)
{
    std::string out;
    for (char c : s)
        if (c != '.')
            out += c;
    return out;
}

std::string Env(const char* name)
{
    const char* v = std::getenv(name);
    return v ? v : "";
}

std::string StripTrailingSlash(std::string s)
{
    while (s.size() > 1 && s.back() == '/')
        s.pop_back();
    return s;
}

std::string HomeDir()
{
    std::string home = Env("HOME");
    if (home.empty())
        if (passwd* pw = getpwuid(getuid()))
            home = pw->pw_dir;
    return StripTrailingSlash(home);
}

std::string XdgBase(const char* var, const char* fallback)
{
    std::string v = Env(var);
    if (!v.empty() && v.front() == '/')
        return StripTrailingSlash(v);
    std::string home = HomeDir();
    return home.empty() ? "" : home + "/" + fallback;
}

// A user folder of user-dirs.dirs ("XDG_DOCUMENTS_DIR" …), else $HOME/fallback.
std::string XdgUserDir(const std::string& key, const char* fallback)
{
    std::string fromEnv = Env(key.c_str());
    if (!fromEnv.empty() && fromEnv.front() == '/')
        return StripTrailingSlash(fromEnv);
    std::string home = HomeDir();
    std::ifstream in(XdgBase("XDG_CONFIG_HOME", ".config") + "/user-dirs.dirs");
    for (std::string line; std::getline(in, line);) {
        if (line.rfind(key + "=", 0) != 0)
            continue;
        std::string value = line.substr(key.size() + 1);
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
            value = value.substr(1, value.size() - 2);
        if (value.rfind("$HOME", 0) == 0)
            value = home + value.substr(5);
        if (!value.empty() && value.front() == '/')
            return StripTrailingSlash(value);
    }
    return home.empty() ? "" : home + "/" + fallback;
}

std::string ProgramFolder()
{
    char buffer[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0)
        return "";
    std::string path(buffer, static_cast<size_t>(n));
    size_t slash = path.rfind('/');
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string ReplaceList(std::string text, const char* const* begin, const char* const* end)
{
    for (auto p = begin; p != end; ++p)
        if (FindIgnoreCase(text, *p) != std::string::npos)
            text = ReplaceTextIgnoreCase(text, *p, PlaceholderFolder(*p));
    return text;
}

// The ISO week of the month: weeks begin on Monday and belong to the month of their Thursday.
int WeekOfTheMonth(TDateTime date)
{
    TDateTime thursday = DateOf(date) - DayOfTheWeek(date) + 4;
    return (DayOf(thursday) - 1) / 7 + 1;
}

std::string DateValue(size_t index, TDateTime now)
{
    int year, month, day;
    DecodeDate(now, year, month, day);
    const TFormatSettings& fs = FormatSettings();
    switch (index) {
    case 0:
        return Pad(year, 4) + "-" + Pad(month, 2) + "-" + Pad(day, 2);
    case 1:
        return YearAndWeekText(now);
    case 2:
        return RemoveDots(fs.ShortDayNames[DayOfWeek(now) - 1]);
    case 3:
        return RemoveDots(fs.LongDayNames[DayOfWeek(now) - 1]);
    case 4:
        return std::to_string(DayOfTheWeek(now));
    case 5:
        return Pad(DayOfTheYear(now), 3);
    case 6:
        return Pad(WeekOfTheYear(now), 2);
    case 7:
        return Pad(day, 2);
    case 8:
        return std::to_string(WeekOfTheMonth(now));
    case 9:
        return Pad(month, 2);
    case 10:
        return RemoveDots(fs.LongMonthNames[month - 1]);
    case 11:
        return Pad(year, 4);
    case 12:
        return PlaceholderUserName();
    case 13:
        return PlaceholderComputerName();
    }
    return "";
}

bool TryParseInt(std::string_view s, int& value)
{
    if (s.empty())
        return false;
    size_t i = 0;
    bool negative = false;
    if (s[0] == '-' || s[0] == '+') {
        negative = s[0] == '-';
        i = 1;
    }
    if (i >= s.size())
        return false;
    long long v = 0;
    for (; i < s.size(); ++i) {
        if (s[i] < '0' || s[i] > '9')
            return false;
        v = v * 10 + (s[i] - '0');
        if (v > INT_MAX)
            return false;
    }
    value = static_cast<int>(negative ? -v : v);
    return true;
}

std::string ExpandCounter(std::string text, std::string_view prefix, int x)
{
    size_t from = FindIgnoreCase(text, prefix);
    if (from == std::string::npos)
        return text;
    size_t b = text.find('%', from + prefix.size());
    if (b == std::string::npos)
        return text;
    std::string result;
    int n = 0;
    if (b > from + prefix.size() && TryParseInt(std::string_view(text).substr(from + 3, b - from - 3), n) &&
        n != 0) {
        // A negative cycle counts like its absolute value; the digits follow n itself.
        long long cycle = n < 0 ? -static_cast<long long>(n) : n;
        long long value = (static_cast<long long>(x) - 1) % cycle;
        if (value < 0)
            value += cycle;
        int digits = n >= 100 ? 3 : n < 10 ? 1 : 2;
        result = Pad(static_cast<int>(value + 1), digits);
    }
    std::string placeholder = text.substr(from, b - from + 1);
    return ReplaceTextIgnoreCase(text, placeholder, result);
}

} // namespace

std::string ReplaceTextIgnoreCase(std::string_view Text, std::string_view From, std::string_view To)
{
    if (From.empty())
        return std::string(Text);
    std::string out;
    size_t pos = 0;
    while (true) {
        size_t p = FindIgnoreCase(Text, From, pos);
        if (p == std::string_view::npos) {
            out.append(Text.substr(pos));
            return out;
        }
        out.append(Text.substr(pos, p - pos));
        out.append(To);
        pos = p + From.size();
    }
}

std::string PlaceholderUserName()
{
    if (passwd* pw = getpwuid(geteuid()))
        return pw->pw_name;
    return Env("USER");
}

std::string PlaceholderComputerName()
{
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0)
        return "";
    std::string host = name;
    size_t dot = host.find('.');
    return dot == std::string::npos ? host : host.substr(0, dot);
}

std::string YearAndWeekText(double Date)
{
    // The week-numbering year keeps the last days of December in week 1 apart from the first
    // week of the same calendar year.
    int isoYear = 0;
    int week = WeekOfTheYear(Date, isoYear);
    return Pad(isoYear, 4) + "-" + Pad(week, 2);
}

std::string PlaceholderFolder(std::string_view Placeholder)
{
    std::string p;
    for (char c : Placeholder)
        p += LowerAscii(c);
    const std::string prefix = VASTREL_INSTALL_PREFIX;
    if (p == "%perspath%")
        return XdgUserDir("XDG_DOCUMENTS_DIR", "Documents");
    if (p == "%apppath%" || p == "%appdata%")
        return XdgBase("XDG_CONFIG_HOME", ".config");
    if (p == "%localappdata%")
        return XdgBase("XDG_DATA_HOME", ".local/share");
    if (p == "%profile%" || p == "%userprofile%")
        return HomeDir();
    if (p == "%desktop%")
        return XdgUserDir("XDG_DESKTOP_DIR", "Desktop");
    if (p == "%progfiles%" || p == "%programfiles%" || p == "%programfiles(x86)%")
        return prefix;
    if (p == "%commonprogramfiles%" || p == "%commonprogramfiles(x86)%")
        return prefix + "/share";
    if (p == "%allusersprofile%" || p == "%programdata%")
        return "/var/lib";
    if (p == "%public%")
        return "/srv";
    if (p == "%progpath%")
        return ProgramFolder();
    if (p == "%username%")
        return PlaceholderUserName();
    if (p == "%computername%")
        return PlaceholderComputerName();
    // "%favorites%" has no counterpart; "%user%" and "%computer%" are removed from paths.
    return "";
}

std::string ExpandDatePlaceholders(std::string_view Text, int Counter)
{
    TDateTime now = Clock::Current().NowLocal();
    std::string text(Text);
    for (size_t i = 0; i < DatePlaceholders.size(); ++i)
        if (FindIgnoreCase(text, DatePlaceholders[i]) != std::string::npos)
            text = ReplaceTextIgnoreCase(text, DatePlaceholders[i], DateValue(i, now));
    if (Counter > 0) {
        int month = MonthOf(now);
        text = ExpandCounter(text, "%d#", DayOfTheYear(now));
        text = ExpandCounter(text, "%w#", WeekOfTheYear(now));
        text = ExpandCounter(text, "%m#", month);
        text = ExpandCounter(text, "%v#", Counter);
    }
    int hour, minute, second, msec;
    DecodeTime(now, hour, minute, second, msec);
    const std::string timeValues[] = {Pad(hour, 2) + Pad(minute, 2) + Pad(second, 2),
                                      Pad(hour, 2),
                                      Pad(minute, 2),
                                      "",
                                      "",
                                      "",
                                      "",
                                      PlaceholderUserName(),
                                      PlaceholderComputerName(),
                                      "",
                                      ""};
    for (size_t i = 0; i < TimePlaceholders.size(); ++i)
        if (FindIgnoreCase(text, TimePlaceholders[i]) != std::string::npos)
            text = ReplaceTextIgnoreCase(text, TimePlaceholders[i], timeValues[i]);
    return text;
}

std::string ExpandPathPlaceholders(std::string_view Text)
{
    if (Text.empty())
        return "";
    std::string text = ReplaceList(std::string(Text), PathPlaceholders.data(),
                                   PathPlaceholders.data() + PathPlaceholders.size());
    return ReplaceList(text, SystemPlaceholders.data(),
                       SystemPlaceholders.data() + SystemPlaceholders.size());
}

std::string GetPathBeforePlaceholder(std::string_view Path)
{
    if (Path.find('%') == std::string_view::npos)
        return std::string(Path);
    std::string out;
    size_t start = 0;
    while (start <= Path.size()) {
        size_t slash = Path.find('/', start);
        std::string_view element =
            Path.substr(start, slash == std::string_view::npos ? std::string_view::npos : slash - start);
        if (element.find('%') != std::string_view::npos)
            break;
        out.append(element);
        out += '/';
        if (slash == std::string_view::npos)
            break;
        start = slash + 1;
    }
    return out;
}

bool HasNamePlaceholders(std::string_view Text)
{
    for (const char* p : DatePlaceholders)
        if (FindIgnoreCase(Text, p) != std::string_view::npos)
            return true;
    for (const char* p : {"%time%", "%hour%", "%minute%", "%username%", "%computername%", "%volume%",
                          "%mode%", "%d#", "%w#", "%m#", "%v#"})
        if (FindIgnoreCase(Text, p) != std::string_view::npos)
            return true;
    return false;
}
