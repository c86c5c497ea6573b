#include "scheduling/TriggerEngine.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

constexpr double OneSecond = 1.0 / SecsPerDay;

// Whole seconds: start texts hold no fractions, and comparisons should not suffer rounding.
TDateTime RoundSeconds(TDateTime t)
{
    return std::round(t * SecsPerDay) / SecsPerDay;
}

int WeekIndex(TDateTime date)
{
    // weeks begin on Sunday (the first day of the weekday masks)
    int day = static_cast<int>(std::floor(date));
    return static_cast<int>(std::floor((day - (DayOfWeek(date) - 1)) / 7.0));
}

bool DayMatches(const TTriggerData& t, TDateTime date, TDateTime startDate)
{
    int y = 0, m = 0, d = 0;
    DecodeDate(date, y, m, d);
    int dow = DayOfWeek(date) - 1; // 0 Sunday
    int dim = DaysInAMonth(y, m);
    switch (t.Type) {
    case 2: {
        int interval = t.DaysInterval > 0 ? t.DaysInterval : 1;
        int diff = static_cast<int>(std::lround(date - startDate));
        return diff % interval == 0;
    }
    case 3: {
        int interval = t.WeeksInterval > 0 ? t.WeeksInterval : 1;
        if (!(t.DaysOfWeek & (1 << dow)))
            return false;
        return (WeekIndex(date) - WeekIndex(startDate)) % interval == 0;
    }
    case 4: {
        if (!(t.MonthsOfYear & (1 << (m - 1))))
            return false;
        if (t.DaysOfMonth & (1u << (d - 1)))
            return true;
        return d == dim && (t.RunOnLastDayOfMonth || (t.DaysOfMonth & 0x80000000u));
    }
    case 5: {
        if (!(t.MonthsOfYear & (1 << (m - 1))) || !(t.DaysOfWeek & (1 << dow)))
            return false;
        int week = (d - 1) / 7; // 0 .. 4
        if (week < 4 && (t.WeeksOfMonth & (1 << week)))
            return true;
        return d + 7 > dim && (t.RunOnLastWeekOfMonth || (t.WeeksOfMonth & 16));
    }
    default:
        return false;
    }
}

} // namespace

bool IsTimeTrigger(const TTriggerData& t)
{
    return t.Type >= 1 && t.Type <= 5 && !t.Unknown;
}

TDateTime NextTriggerTime(const TTriggerData& t, TDateTime after)
{
    if (!t.Enabled || !IsTimeTrigger(t))
        return 0;
    bool zoned = false;
    TDateTime start = IsoStrToDateTime(t.StartBoundary, zoned);
    if (start < 1)
        return 0;
    bool endZoned = false;
    TDateTime end = IsoStrToDateTime(t.EndBoundary, endZoned);
    // zoned texts count in UTC: their numbers are taken as UTC after removing the written offset
    auto offsetOf = [](const std::string& text) {
        size_t p = text.find_first_of("Zz+-", 19);
        if (p == std::string::npos || text[p] == 'Z' || text[p] == 'z')
            return 0.0;
        int h = 0, m = 0;
        if (std::sscanf(text.c_str() + p + 1, "%d:%d", &h, &m) < 1)
            return 0.0;
        double off = (h * 60 + m) / static_cast<double>(MinsPerDay);
        return text[p] == '-' ? -off : off;
    };
    if (zoned)
        start -= offsetOf(t.StartBoundary);
    if (end >= 1) {
        if (endZoned)
            end = UtcToLocal(end - offsetOf(t.EndBoundary));
    }
    TDateTime wallAfter = zoned ? LocalToUtc(after) : after;
    auto toLocal = [&](TDateTime wall) { return zoned ? UtcToLocal(wall) : wall; };

    uint32_t interval = DurationToSeconds(t.RepetitionInterval);
    uint32_t duration = DurationToSeconds(t.RepetitionDuration);
    double intervalDays = interval * OneSecond;
    double durationDays = interval == 0 ? 0 : duration ? duration * OneSecond : (t.Type == 1 ? 1e9 : 1.0);

    // the first occurrence of one base start after wallAfter, or 0
    auto firstAfter = [&](TDateTime base) -> TDateTime {
        if (base > wallAfter + OneSecond / 2)
            return base;
        if (interval == 0)
            return 0;
        double k = std::floor((wallAfter - base) / intervalDays + 1e-9) + 1;
        TDateTime c = RoundSeconds(base + k * intervalDays);
        if (c <= wallAfter + OneSecond / 2)
            c = RoundSeconds(c + intervalDays);
        if (c - base >= durationDays - OneSecond / 2)
            return 0;
        return c;
    };
    auto accept = [&](TDateTime wall) -> TDateTime {
        TDateTime local = toLocal(wall);
        if (end >= 1 && local > end + OneSecond / 2)
            return -1; // past the end: nothing later fires either
        return local;
    };

    if (t.Type == 1) {
        TDateTime c = firstAfter(start);
        if (c == 0)
            return 0;
        TDateTime r = accept(c);
        return r < 0 ? 0 : r;
    }
    TDateTime startDate = DateOf(start);
    TDateTime timeOfDay = start - startDate;
    // base occurrences whose repetition may still run at wallAfter begin up to durationDays earlier
    double back = std::ceil(std::min(durationDays, 400.0)) + 1;
    TDateTime day = std::max(startDate, DateOf(wallAfter) - back);
    for (int i = 0; i < 366 * 9; ++i, day += 1) {
        if (!DayMatches(t, day, startDate))
            continue;
        TDateTime base = RoundSeconds(day + timeOfDay);
        TDateTime c = firstAfter(base);
        if (c == 0)
            continue;
        TDateTime r = accept(c);
        if (r < 0)
            return 0;
        return r;
    }
    return 0;
}

TDateTime NextTaskRunTime(const TTaskDefinition& def, TDateTime after)
{
    TDateTime best = 0;
    for (const auto& t : def.Triggers) {
        TDateTime n = NextTriggerTime(*t, after);
        if (n > 0 && (best == 0 || n < best))
            best = n;
    }
    return best;
}
