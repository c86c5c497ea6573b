#include <gtest/gtest.h>

#include "scheduling/ScheduleModel.h"
#include "support/FakeClock.h"

namespace {

TDateTime At(int y, int mo, int d, int h, int mi, int s = 0)
{
    return EncodeDateTime(y, mo, d, h, mi, s, 0);
}

TEST(ScheduleModelTest, UnitsOfLimitsIntervalsAndDelays)
{
    const std::pair<int, TUnitValue> limits[] = {{1440, {0, 365, 1}},
                                                 {1500, {1, 167, 25}},
                                                 {90, {2, 1439, 90}},
                                                 {10100, {0, 365, 7}},
                                                 {4320, {0, 365, 3}}};
    for (const auto& l : limits) {
        TUnitValue v = LimitUnitOf(l.first);
        EXPECT_EQ(v.Unit, l.second.Unit) << l.first;
        EXPECT_EQ(v.Number, l.second.Number) << l.first;
        EXPECT_EQ(v.Max, l.second.Max) << l.first;
    }
    EXPECT_EQ(IntervalUnitOf(90).Unit, 2);
    EXPECT_EQ(IntervalUnitOf(90).Number, 90);
    EXPECT_EQ(IntervalUnitOf(120).Unit, 1);
    EXPECT_EQ(IntervalUnitOf(120).Number, 2);
    const std::pair<uint32_t, TUnitValue> delays[] = {
        {90, {3, 599, 90}}, {120, {2, 719, 2}}, {7200, {1, 24, 2}}, {50000, {1, 24, 13}}};
    for (const auto& d : delays) {
        TUnitValue v = DelayUnitOf(d.first);
        EXPECT_EQ(v.Unit, d.second.Unit) << d.first;
        EXPECT_EQ(v.Number, d.second.Number) << d.first;
        EXPECT_EQ(DelaySeconds(true, v.Number, v.Unit), d.first == 50000 ? 46800u : d.first);
    }
    EXPECT_EQ(DelaySeconds(false, 5, 1), 0u);
    EXPECT_EQ(WeekdaysToMondayFirst(65), 32 | 64);
    EXPECT_EQ(WeekdaysToSundayFirst(32 | 64), 65);
    EXPECT_EQ(WeekdaysToSundayFirst(1 | 64), 3);
    EXPECT_EQ(WeekdaysToSundayFirst(127 | 128), 127);
}

TEST(ScheduleModelTest, AdvancedSettingsReadAndWriteTheTriggerAndTask)
{
    TDateTime now = At(2025, 5, 10, 12, 0);
    TWinTask task(std::make_shared<TTaskDefinition>());
    TWinTaskTrigger* t = task.NewTrigger(ttDaily);
    t->SetStartTime(At(2025, 5, 1, 8, 0));
    // expired yesterday: expiry off, proposed a year after the registration
    t->SetEndTime(At(2025, 5, 9, 18, 0));
    TAdvancedSettings a = DefaultAdvancedSettings(now);
    ReadAdvancedTrigger(*t, now, At(2025, 1, 1, 0, 0), a);
    EXPECT_FALSE(a.UseEndDate);
    EXPECT_EQ(FormatDateTime("yyyy-mm-dd hh:nn:ss", a.EndDate), "2026-01-01 23:59:59");
    // ends today at 18:00: shown as today 23:59:59
    t->SetEndTime(At(2025, 5, 10, 18, 0));
    t->SetInterval(5400);
    t->SetDuration(7200);
    t->SetExecutionTimeLimit(3600);
    ReadAdvancedTrigger(*t, now, 0, a);
    EXPECT_TRUE(a.UseEndDate);
    EXPECT_EQ(FormatDateTime("yyyy-mm-dd hh:nn:ss", a.EndDate), "2025-05-10 23:59:59");
    EXPECT_TRUE(a.RepeatTask);
    EXPECT_EQ(a.MinutesInterval, 90);
    EXPECT_EQ(a.MinutesDuration, 120);
    EXPECT_TRUE(a.UseLimit);
    EXPECT_EQ(a.MinutesLimit, 60);
    // repetition off writes zeros whatever the numbers; an end before the start becomes start + 1 minute
    a.RepeatTask = false;
    a.UseLimit = false;
    a.EndDate = At(2025, 4, 1, 0, 0);
    WriteAdvancedTrigger(*t, a);
    EXPECT_EQ(t->Interval(), 0u);
    EXPECT_EQ(t->Duration(), 0u);
    EXPECT_EQ(t->ExecutionTimeLimit(), 0u);
    EXPECT_DOUBLE_EQ(t->EndTime(), At(2025, 5, 1, 8, 1));
    a.UseEndDate = false;
    WriteAdvancedTrigger(*t, a);
    EXPECT_EQ(task.Definition().Triggers[0]->EndBoundary, "");

    a.ReRun = true;
    a.PowerOnly = false;
    a.StopBattery = false;
    a.WakeUp = true;
    a.NetworkOnly = true;
    WriteAdvancedTaskSettings(task, a);
    TAdvancedSettings b;
    ReadAdvancedTaskSettings(task, b);
    EXPECT_TRUE(b.ReRun && !b.PowerOnly && !b.StopBattery && b.WakeUp && b.NetworkOnly);
}

TEST(ScheduleModelTest, EveryPageKindWritesAndLoadsItsTrigger)
{
    ScopedFakeClock clock(At(2025, 5, 10, 12, 0));
    TDateTime now = At(2025, 5, 10, 12, 0);
    struct Case
    {
        const char* Name;
        std::function<void(TScheduleModel&)> Set;
        TWinTaskTriggerType Kind;
        std::function<void(const TTriggerData&)> Check;
    };
    const Case cases[] = {
        {"daily every third day",
         [](TScheduleModel& m) {
             m.EveryDay = false;
             m.Days = 3;
         },
         ttDaily, [](const TTriggerData& d) { EXPECT_EQ(d.DaysInterval, 3); }},
        {"weekly Saturday and Sunday",
         [](TScheduleModel& m) {
             m.Item = siWeekly;
             m.WeekDays = 65;
             m.Weeks = 2;
         },
         ttWeekly,
         [](const TTriggerData& d) {
             EXPECT_EQ(d.DaysOfWeek, 65);
             EXPECT_EQ(d.WeeksInterval, 2);
         }},
        {"weekly without days falls back to Monday",
         [](TScheduleModel& m) {
             m.Item = siWeekly;
             m.WeekDays = 0;
         },
         ttWeekly, [](const TTriggerData& d) { EXPECT_EQ(d.DaysOfWeek, 2); }},
        {"monthly first and last Monday and Sunday",
         [](TScheduleModel& m) {
             m.Item = siMonthly;
             m.DayOfMonth = false;
             m.MonthWeeks = 17;
             m.MonthWeekdays = 1 | 64;
             m.Months = 6;
         },
         ttMonthlyDow,
         [](const TTriggerData& d) {
             EXPECT_EQ(d.WeeksOfMonth, 17);
             EXPECT_EQ(d.DaysOfWeek, 3);
             EXPECT_EQ(d.MonthsOfYear, 6);
         }},
        {"monthly on the 1st and the last day",
         [](TScheduleModel& m) {
             m.Item = siMonthly;
             m.MonthDays = 1u | 0x80000000u;
             m.Months = 0;
         },
         ttMonthly,
         [](const TTriggerData& d) {
             EXPECT_EQ(d.DaysOfMonth, 1u);
             EXPECT_TRUE(d.RunOnLastDayOfMonth);
             EXPECT_EQ(d.MonthsOfYear, 1);
         }},
        {"one time with a random delay",
         [](TScheduleModel& m) {
             m.Item = siOnce;
             m.RandomOn = true;
             m.RandomSeconds = 120;
         },
         ttTime, [](const TTriggerData& d) { EXPECT_EQ(d.RandomDelay, "PT2M"); }},
        {"wake-up without a start",
         [](TScheduleModel& m) {
             m.Item = siWakeUp;
             m.Activate = false;
             m.DelayOn = true;
             m.DelaySecs = 90;
         },
         ttEvent,
         [](const TTriggerData& d) {
             EXPECT_EQ(d.StartBoundary, "");
             EXPECT_EQ(d.Delay, "PT1M30S");
             EXPECT_EQ(d.Subscription, DefaultWakeQuery);
         }},
        {"logon of a user",
         [](TScheduleModel& m) {
             m.Item = siLogon;
             m.LogonUser = "alice";
         },
         ttLogon, [](const TTriggerData& d) { EXPECT_EQ(d.UserId, "alice"); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        TWinTask task(std::make_shared<TTaskDefinition>());
        TScheduleModel m = ResetSchedule(At(2025, 5, 11, 6, 30, 40));
        c.Set(m);
        bool failed = true;
        EXPECT_EQ(WriteTrigger(task, -1, m, failed), 0);
        EXPECT_FALSE(failed);
        ASSERT_EQ(task.TriggerCount(), 1);
        EXPECT_EQ(task.GetTrigger(0)->TriggerType(), c.Kind);
        c.Check(*task.Definition().Triggers[0]);
        if (c.Kind != ttEvent) {
            EXPECT_EQ(task.Definition().Triggers[0]->StartBoundary, "2025-05-11T06:31:00");
        }
        TScheduleModel back = ResetSchedule(now);
        ASSERT_TRUE(LoadTrigger(*task.GetTrigger(0), now, now, back));
        EXPECT_EQ(back.Item, m.Item);
        EXPECT_EQ(ModelTriggerType(back), c.Kind);
        if (c.Kind == ttEvent) {
            EXPECT_FALSE(back.Activate);
            EXPECT_DOUBLE_EQ(back.Start, now);
            EXPECT_EQ(back.DelaySecs, 90u);
        }
        if (c.Kind == ttMonthlyDow) {
            EXPECT_EQ(back.MonthWeeks, 17);
            EXPECT_EQ(back.MonthWeekdays, 65);
        }
        if (c.Kind == ttWeekly) {
            EXPECT_EQ(back.WeekDays, m.WeekDays ? 65 : 2);
        }
    }
}

TEST(ScheduleModelTest, AChangedKindReplacesTheTriggerAtTheEndAndUnsupportedKindsAreRefused)
{
    TWinTask task(std::make_shared<TTaskDefinition>());
    task.NewTrigger(ttDaily);
    task.NewTrigger(ttTime);
    TScheduleModel m = ResetSchedule(At(2025, 5, 11, 6, 30));
    m.Item = siWeekly;
    bool failed = false;
    EXPECT_EQ(WriteTrigger(task, 0, m, failed), 1);
    EXPECT_EQ(task.GetTrigger(0)->TriggerType(), ttTime);
    EXPECT_EQ(task.GetTrigger(1)->TriggerType(), ttWeekly);
    m.Item = siOnce;
    EXPECT_EQ(WriteTrigger(task, 0, m, failed), 0); // same kind: written in place
    for (TWinTaskTriggerType kind : {ttBoot, ttIdle, ttRegistration, ttSessionStateChange, ttCustom}) {
        TWinTask other(std::make_shared<TTaskDefinition>());
        TScheduleModel x;
        EXPECT_FALSE(LoadTrigger(*other.NewTrigger(kind), 1, 1, x)) << kind;
    }
    TWinTask anyUser(std::make_shared<TTaskDefinition>());
    TScheduleModel x;
    EXPECT_FALSE(LoadTrigger(*anyUser.NewTrigger(ttLogon), 1, 1, x));
}

} // namespace
