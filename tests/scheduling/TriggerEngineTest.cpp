#include <cstdlib>
#include <ctime>
#include <gtest/gtest.h>
#include <string>

#include "rtl/DateTime.h"
#include "scheduling/TriggerEngine.h"

namespace {

// Runs the test body in another time zone and restores the one before.
class ZoneScope
{
public:
    explicit ZoneScope(const char* zone)
    {
        const char* old = std::getenv("TZ");
        FOld = old ? old : "";
        setenv("TZ", zone, 1);
        tzset();
    }
    ~ZoneScope()
    {
        setenv("TZ", FOld.c_str(), 1);
        tzset();
    }

private:
    std::string FOld;
};

TDateTime At(int y, int mo, int d, int h, int mi, int s = 0)
{
    return EncodeDateTime(y, mo, d, h, mi, s, 0);
}

struct EngineCase
{
    const char* Name;
    TTriggerData Trigger;
    TDateTime After;
    TDateTime Expected; // 0: none
};

TTriggerData Make(int type, const char* start)
{
    TTriggerData t;
    t.Type = type;
    t.StartBoundary = start;
    return t;
}

std::vector<EngineCase> Cases()
{
    std::vector<EngineCase> c;
    c.push_back(
        {"one time, before", Make(1, "2025-01-16T08:30:00"), At(2025, 1, 16, 8, 0), At(2025, 1, 16, 8, 30)});
    c.push_back({"one time, at its time", Make(1, "2025-01-16T08:30:00"), At(2025, 1, 16, 8, 30), 0});
    TTriggerData daily = Make(2, "2024-01-30T06:00:00");
    c.push_back({"daily over a month end", daily, At(2024, 1, 31, 7, 0), At(2024, 2, 1, 6, 0)});
    TTriggerData every2 = Make(2, "2024-02-27T06:00:00");
    every2.DaysInterval = 2;
    c.push_back({"every second day onto a leap day", every2, At(2024, 2, 28, 0, 0), At(2024, 2, 29, 6, 0)});
    c.push_back({"every second day after a leap day", every2, At(2024, 2, 29, 7, 0), At(2024, 3, 2, 6, 0)});
    TTriggerData weekly = Make(3, "2025-01-06T08:30:00");
    weekly.DaysOfWeek = 2 | 32; // Monday, Friday
    weekly.WeeksInterval = 2;
    c.push_back({"weekly, later in the first week", weekly, At(2025, 1, 6, 9, 0), At(2025, 1, 10, 8, 30)});
    c.push_back({"weekly, skips the odd week", weekly, At(2025, 1, 10, 9, 0), At(2025, 1, 20, 8, 30)});
    TTriggerData none = Make(3, "2025-01-06T08:30:00");
    c.push_back({"weekly without days never fires", none, At(2025, 1, 6, 0, 0), 0});
    TTriggerData m31 = Make(4, "2025-01-01T10:00:00");
    m31.DaysOfMonth = 1u << 30;
    m31.MonthsOfYear = 4095;
    c.push_back({"the 31st skips short months", m31, At(2025, 1, 31, 11, 0), At(2025, 3, 31, 10, 0)});
    TTriggerData last = Make(4, "2024-01-01T10:00:00");
    last.DaysOfMonth = 0x80000000u;
    last.MonthsOfYear = 2;
    c.push_back({"last day of a leap February", last, At(2024, 2, 1, 0, 0), At(2024, 2, 29, 10, 0)});
    c.push_back({"last day of a common February", last, At(2025, 2, 1, 0, 0), At(2025, 2, 28, 10, 0)});
    TTriggerData lastFlag = Make(4, "2024-01-01T10:00:00");
    lastFlag.RunOnLastDayOfMonth = true;
    lastFlag.MonthsOfYear = 4095;
    c.push_back({"last day by its flag", lastFlag, At(2024, 4, 2, 0, 0), At(2024, 4, 30, 10, 0)});
    TTriggerData leap = Make(4, "2021-01-01T10:00:00");
    leap.DaysOfMonth = 1u << 28;
    leap.MonthsOfYear = 2;
    c.push_back(
        {"the 29th of February waits for a leap year", leap, At(2021, 3, 1, 0, 0), At(2024, 2, 29, 10, 0)});
    TTriggerData lastFri = Make(5, "2025-01-01T18:00:00");
    lastFri.RunOnLastWeekOfMonth = true;
    lastFri.DaysOfWeek = 32;
    lastFri.MonthsOfYear = 4095;
    c.push_back({"last Friday of January", lastFri, At(2025, 1, 1, 0, 0), At(2025, 1, 31, 18, 0)});
    c.push_back({"last Friday of February", lastFri, At(2025, 2, 1, 0, 0), At(2025, 2, 28, 18, 0)});
    TTriggerData secondMon = Make(5, "2025-01-01T18:00:00");
    secondMon.WeeksOfMonth = 2;
    secondMon.DaysOfWeek = 2;
    secondMon.MonthsOfYear = 4095;
    c.push_back({"second Monday", secondMon, At(2025, 1, 1, 0, 0), At(2025, 1, 13, 18, 0)});
    TTriggerData rep = Make(1, "2025-01-16T08:00:00");
    rep.RepetitionInterval = "PT15M";
    rep.RepetitionDuration = "PT1H";
    c.push_back({"repetition within its duration", rep, At(2025, 1, 16, 8, 20), At(2025, 1, 16, 8, 30)});
    c.push_back({"repetition after its duration", rep, At(2025, 1, 16, 8, 45), 0});
    TTriggerData dailyRep = Make(2, "2025-01-16T08:00:00");
    dailyRep.RepetitionInterval = "PT1H";
    dailyRep.RepetitionDuration = "PT3H";
    c.push_back({"daily repetition ends and resumes the next day", dailyRep, At(2025, 1, 16, 10, 30),
                 At(2025, 1, 17, 8, 0)});
    TTriggerData ended = Make(2, "2025-01-01T06:00:00");
    ended.EndBoundary = "2025-01-10T05:00:00";
    c.push_back({"no run after the end boundary", ended, At(2025, 1, 9, 7, 0), 0});
    TTriggerData disabled = Make(2, "2025-01-01T06:00:00");
    disabled.Enabled = false;
    c.push_back({"a disabled trigger never fires", disabled, At(2025, 1, 9, 7, 0), 0});
    c.push_back({"a logon trigger is not planned", Make(9, "2025-01-01T06:00:00"), At(2025, 1, 9, 7, 0), 0});
    return c;
}

TEST(TriggerEngineTest, NextRunsOverMonthEndsLeapDaysAndLastWeeks)
{
    for (const EngineCase& c : Cases()) {
        SCOPED_TRACE(c.Name);
        TDateTime got = NextTriggerTime(c.Trigger, c.After);
        EXPECT_EQ(FormatDateTime("yyyy-mm-dd hh:nn:ss", got),
                  FormatDateTime("yyyy-mm-dd hh:nn:ss", c.Expected));
    }
}

TEST(TriggerEngineTest, DaylightSavingChangesRunEachDueTimeOnce)
{
    ZoneScope zone("Europe/Berlin");
    TTriggerData daily = Make(2, "2025-03-01T02:30:00");
    // spring: 02:30 does not exist on 30 March; it is reached at the instant 01:30 UTC (03:30 summer time)
    TDateTime spring = NextTriggerTime(daily, At(2025, 3, 29, 3, 0));
    EXPECT_DOUBLE_EQ(spring, At(2025, 3, 30, 2, 30));
    EXPECT_EQ(FormatDateTime("hh:nn", LocalToUtc(spring)), "01:30");
    EXPECT_DOUBLE_EQ(NextTriggerTime(daily, At(2025, 3, 30, 3, 30)), At(2025, 3, 31, 2, 30));
    // autumn: 02:30 happens twice on 26 October; the trigger runs once, then the next day
    TDateTime autumn = NextTriggerTime(daily, At(2025, 10, 26, 0, 0));
    EXPECT_DOUBLE_EQ(autumn, At(2025, 10, 26, 2, 30));
    EXPECT_EQ(FormatDateTime("hh:nn", LocalToUtc(autumn)), "01:30");
    EXPECT_DOUBLE_EQ(NextTriggerTime(daily, autumn), At(2025, 10, 27, 2, 30));
    // a start in UTC keeps its instant: 08:30 UTC is 09:30 in winter and 10:30 in summer
    TTriggerData utc = Make(2, "2025-01-16T08:30:00Z");
    EXPECT_DOUBLE_EQ(NextTriggerTime(utc, At(2025, 1, 17, 0, 0)), At(2025, 1, 17, 9, 30));
    EXPECT_DOUBLE_EQ(NextTriggerTime(utc, At(2025, 7, 1, 0, 0)), At(2025, 7, 1, 10, 30));
    TTriggerData offset = Make(1, "2025-07-01T08:30:00+02:00");
    EXPECT_DOUBLE_EQ(NextTriggerTime(offset, At(2025, 7, 1, 0, 0)), At(2025, 7, 1, 8, 30));
}

TEST(TriggerEngineTest, TheTaskRunsAtItsEarliestTrigger)
{
    TTaskDefinition d;
    auto a = std::make_shared<TTriggerData>(Make(1, "2025-01-16T09:00:00"));
    auto b = std::make_shared<TTriggerData>(Make(2, "2025-01-10T08:00:00"));
    d.Triggers = {a, b};
    EXPECT_DOUBLE_EQ(NextTaskRunTime(d, At(2025, 1, 16, 7, 0)), At(2025, 1, 16, 8, 0));
    EXPECT_DOUBLE_EQ(NextTaskRunTime(d, At(2025, 1, 16, 8, 0)), At(2025, 1, 16, 9, 0));
    EXPECT_DOUBLE_EQ(NextTaskRunTime(TTaskDefinition(), At(2025, 1, 16, 8, 0)), 0);
}

} // namespace
