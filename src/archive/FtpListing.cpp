#include "archive/FtpListing.h"

#include <cctype>
#include <cstring>

namespace {

bool AllDigits(std::string_view s)
{
    if (s.empty())
        return false;
    for (char c : s)
        if (c < '0' || c > '9')
            return false;
    return true;
}

int64_t ToInt(std::string_view s)
{
    int64_t v = 0;
    for (char c : s) {
        if (v > (INT64_MAX - 9) / 10)
            return -1;
        v = v * 10 + (c - '0');
    }
    return v;
}

std::string Lower(std::string_view s)
{
    std::string r(s);
    for (char& c : r)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return r;
}

int MonthOfName(std::string_view s)
{
    static const char* names[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                  "jul", "aug", "sep", "oct", "nov", "dec"};
    if (s.size() != 3)
        return 0;
    std::string l = Lower(s);
    for (int i = 0; i < 12; ++i)
        if (l == names[i])
            return i + 1;
    return 0;
}

struct Token
{
    std::string_view text;
    size_t end; // position after the token in the line
};

std::vector<Token> Tokens(std::string_view line, size_t maxCount)
{
    std::vector<Token> tokens;
    size_t p = 0;
    while (p < line.size() && tokens.size() < maxCount) {
        while (p < line.size() && line[p] == ' ')
            ++p;
        if (p >= line.size())
            break;
        size_t start = p;
        while (p < line.size() && line[p] != ' ')
            ++p;
        tokens.push_back({line.substr(start, p - start), p});
    }
    return tokens;
}

// "hh:mm" (with 0 <= hh < 24, 0 <= mm < 60).
bool ParseClock(std::string_view s, int& h, int& m)
{
    size_t colon = s.find(':');
    if (colon == std::string_view::npos || colon == 0 || colon > 2 || s.size() - colon - 1 != 2)
        return false;
    std::string_view hs = s.substr(0, colon), ms = s.substr(colon + 1);
    if (!AllDigits(hs) || !AllDigits(ms))
        return false;
    h = static_cast<int>(ToInt(hs));
    m = static_cast<int>(ToInt(ms));
    return h < 24 && m < 60;
}

bool IsDotName(const std::string& name)
{
    return name == "." || name == "..";
}

} // namespace

bool TryParseFtpTime(std::string_view text, TDateTime& result)
{
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\r'))
        text.remove_suffix(1);
    if (text.size() < 14 || !AllDigits(text.substr(0, 14)))
        return false;
    int msec = 0;
    if (text.size() > 14) {
        if (text[14] != '.')
            return false;
        std::string_view frac = text.substr(15);
        if (!AllDigits(frac))
            return false;
        std::string f(frac.substr(0, 3));
        while (f.size() < 3)
            f += '0';
        msec = static_cast<int>(ToInt(f));
    }
    auto num = [&](size_t pos, size_t len) { return static_cast<int>(ToInt(text.substr(pos, len))); };
    TDateTime date, time;
    if (!TryEncodeDate(num(0, 4), num(4, 2), num(6, 2), date))
        return false;
    int sec = num(12, 2);
    if (sec == 60)
        sec = 59; // a leap second
    if (!TryEncodeTime(num(8, 2), num(10, 2), sec, msec, time))
        return false;
    result = date + time;
    return true;
}

std::string FtpTimeText(TDateTime dt)
{
    return FormatDateTime("yyyymmddhhnnss", dt);
}

std::optional<TFtpListItem> ParseMlsdLine(std::string_view line)
{
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n'))
        line.remove_suffix(1);
    size_t space = line.find(' ');
    if (space == std::string_view::npos || space + 1 >= line.size())
        return std::nullopt;
    std::string_view facts = line.substr(0, space);
    TFtpListItem item;
    item.Name = std::string(line.substr(space + 1));
    bool typed = false;
    size_t p = 0;
    while (p < facts.size()) {
        size_t semi = facts.find(';', p);
        std::string_view fact =
            facts.substr(p, semi == std::string_view::npos ? std::string_view::npos : semi - p);
        p = semi == std::string_view::npos ? facts.size() : semi + 1;
        size_t eq = fact.find('=');
        if (eq == std::string_view::npos)
            continue;
        std::string key = Lower(fact.substr(0, eq));
        std::string_view value = fact.substr(eq + 1);
        if (key == "type") {
            std::string v = Lower(value);
            typed = true;
            if (v == "file")
                item.ItemType = fitFile;
            else if (v == "dir")
                item.ItemType = fitDirectory;
            else if (v == "os.unix=slink" || v.rfind("os.unix=slink", 0) == 0)
                item.ItemType = fitLink;
            else
                item.ItemType = fitOther;
        } else if (key == "size" || key == "sizd") {
            if (AllDigits(value)) {
                int64_t v = ToInt(value);
                item.Size = v < 0 ? 0 : v;
            }
        } else if (key == "modify") {
            TDateTime t;
            if (TryParseFtpTime(value, t)) {
                item.ModifiedUtc = t;
                item.ModifiedLocal = UtcToLocal(t);
            }
        }
    }
    if (!typed || item.Name.empty())
        return std::nullopt;
    return item;
}

std::optional<TFtpListItem> ParseUnixListLine(std::string_view line, TDateTime today)
{
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n'))
        line.remove_suffix(1);
    if (line.size() < 11 || !std::strchr("-dlbcps", line[0]))
        return std::nullopt;
    for (size_t i = 1; i < 10; ++i)
        if (!std::strchr("rwxsStTl-", line[i]))
            return std::nullopt;
    std::vector<Token> t = Tokens(line, 12);
    // Find "size month day time-or-year name".
    for (size_t i = 2; i + 2 < t.size(); ++i) {
        int month = MonthOfName(t[i].text);
        if (!month || !AllDigits(t[i - 1].text) || !AllDigits(t[i + 1].text) || t[i + 1].text.size() > 2)
            continue;
        int day = static_cast<int>(ToInt(t[i + 1].text));
        std::string_view yt = t[i + 2].text;
        int year, hour = 0, minute = 0;
        int todayYear, todayMonth, todayDay;
        DecodeDate(today, todayYear, todayMonth, todayDay);
        if (ParseClock(yt, hour, minute)) {
            year = todayYear;
            TDateTime probe;
            if (TryEncodeDate(year, month, day, probe) && probe > today + 1)
                --year; // "Dec 31 23:59" seen in January belongs to last year
        } else if (AllDigits(yt) && yt.size() == 4)
            year = static_cast<int>(ToInt(yt));
        else
            continue;
        size_t nameStart = t[i + 2].end + 1;
        if (nameStart >= line.size())
            return std::nullopt;
        TFtpListItem item;
        item.Name = std::string(line.substr(nameStart));
        item.Size = ToInt(t[i - 1].text);
        if (item.Size < 0)
            item.Size = 0;
        switch (line[0]) {
        case 'd':
            item.ItemType = fitDirectory;
            break;
        case 'l': {
            item.ItemType = fitLink;
            size_t arrow = item.Name.find(" -> ");
            if (arrow != std::string::npos)
                item.Name.erase(arrow);
            break;
        }
        case '-':
            item.ItemType = fitFile;
            break;
        default:
            item.ItemType = fitOther;
        }
        TDateTime date, time;
        if (TryEncodeDate(year, month, day, date) && TryEncodeTime(hour, minute, 0, 0, time)) {
            item.ModifiedLocal = date + time;
            item.ModifiedUtc = LocalToUtc(item.ModifiedLocal);
        }
        if (item.Name.empty())
            return std::nullopt;
        return item;
    }
    return std::nullopt;
}

std::optional<TFtpListItem> ParseDosListLine(std::string_view line)
{
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n'))
        line.remove_suffix(1);
    std::vector<Token> t = Tokens(line, 3);
    if (t.size() < 3)
        return std::nullopt;
    // Date: MM-DD-YY or MM-DD-YYYY (also with "/").
    std::string_view d = t[0].text;
    if (d.size() != 8 && d.size() != 10)
        return std::nullopt;
    if ((d[2] != '-' && d[2] != '/') || d[5] != d[2])
        return std::nullopt;
    std::string_view ms = d.substr(0, 2), ds = d.substr(3, 2), ys = d.substr(6);
    if (!AllDigits(ms) || !AllDigits(ds) || !AllDigits(ys))
        return std::nullopt;
    int year = static_cast<int>(ToInt(ys));
    if (ys.size() == 2)
        year += year < 70 ? 2000 : 1900;
    // Time: hh:mm with an optional AM/PM.
    std::string_view tt = t[1].text;
    bool pm = false, am = false;
    if (tt.size() > 2) {
        std::string suffix = Lower(tt.substr(tt.size() - 2));
        pm = suffix == "pm";
        am = suffix == "am";
        if (pm || am)
            tt.remove_suffix(2);
    }
    int hour, minute;
    if (!ParseClock(tt, hour, minute))
        return std::nullopt;
    if (am || pm) {
        if (hour < 1 || hour > 12)
            return std::nullopt;
        hour = hour % 12 + (pm ? 12 : 0);
    }
    // Then "<DIR>" or a size, then the name.
    std::string_view rest = line.substr(t[1].end);
    size_t p = rest.find_first_not_of(' ');
    if (p == std::string_view::npos)
        return std::nullopt;
    rest.remove_prefix(p);
    size_t sp = rest.find(' ');
    if (sp == std::string_view::npos)
        return std::nullopt;
    std::string_view kind = rest.substr(0, sp);
    std::string_view name = rest.substr(sp);
    size_t np = name.find_first_not_of(' ');
    if (np == std::string_view::npos)
        return std::nullopt;
    name.remove_prefix(np);
    TFtpListItem item;
    if (Lower(kind) == "<dir>")
        item.ItemType = fitDirectory;
    else {
        std::string digits;
        for (char c : kind)
            if (c != ',' && c != '.')
                digits += c;
        if (!AllDigits(digits))
            return std::nullopt;
        item.Size = ToInt(digits);
        if (item.Size < 0)
            item.Size = 0;
    }
    item.Name = std::string(name);
    TDateTime date, time;
    if (!TryEncodeDate(year, static_cast<int>(ToInt(ms)), static_cast<int>(ToInt(ds)), date) ||
        !TryEncodeTime(hour, minute, 0, 0, time))
        return std::nullopt;
    item.ModifiedLocal = date + time;
    item.ModifiedUtc = LocalToUtc(item.ModifiedLocal);
    return item;
}

std::vector<TFtpListItem> ParseFtpListing(const std::vector<std::string>& lines, bool mlsd, TDateTime today)
{
    std::vector<TFtpListItem> items;
    for (const std::string& line : lines) {
        std::optional<TFtpListItem> item;
        if (mlsd)
            item = ParseMlsdLine(line);
        else {
            item = ParseUnixListLine(line, today);
            if (!item)
                item = ParseDosListLine(line);
        }
        if (!item || IsDotName(item->Name) || item->ItemType == fitOther)
            continue;
        items.push_back(std::move(*item));
    }
    return items;
}
