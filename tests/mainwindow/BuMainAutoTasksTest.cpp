#include <gtest/gtest.h>

#include "mainwindow/BuMainAutoTasks.h"

namespace {

// 2025-03-03 is a Monday.
TDateTime Day(int offset)
{
    return EncodeDate(2025, 3, 3) + offset;
}

TAutoTask Slot(TAutoStart kind, int stepMode, int numZyk, int aktZyk, TSchedMode mode, int lastZyk)
{
    TAutoTask slot("task.buj");
    slot.BuProcess = kind;
    slot.SchedProps.StepMode = stepMode;
    slot.SchedProps.NumZyk = numZyk;
    slot.SchedProps.AktZyk = aktZyk;
    slot.SchedProps.SchedMode = mode;
    slot.SchedProps.LastZyk = lastZyk;
    return slot;
}

TEST(AutoTaskScheduleTest, DailyStepsRunOncePerDayAndWrapAround)
{
    TAutoTask slot = Slot(asDaily, 1, 5, 5, smNormal, 4);
    slot.LastTime = Day(-1) + 0.5;
    int step = GetCycleStep(slot, asDaily, Day(0));
    EXPECT_EQ(step, 1);
    step = ApplyCycleStep(slot, step);
    EXPECT_EQ(slot.SchedProps.AktZyk, 5) << "the run takes the stored step";
    AdvanceCycle(slot, step);
    EXPECT_EQ(slot.SchedProps.AktZyk, 1);
    slot.LastTime = Day(0) + 0.4;
    EXPECT_EQ(GetCycleStep(slot, asDaily, Day(0)), -1) << "a second start on the same day is not due";
}

TEST(AutoTaskScheduleTest, WeekdayBoundCycleStartsOnTheFullBackupDay)
{
    TAutoTask slot = Slot(asDaily, 1, 14, 1, smDiff, 1000);
    slot.SchedProps.FullZyk = 0;
    EXPECT_EQ(GetCycleStep(slot, asDaily, Day(2)), -1) << "Wednesday";
    int step = GetCycleStep(slot, asDaily, Day(7));
    EXPECT_EQ(step, StepFlag + 1);
    step = ApplyCycleStep(slot, step);
    EXPECT_EQ(slot.SchedProps.AktZyk, 1);
    AdvanceCycle(slot, step);
    EXPECT_EQ(slot.SchedProps.AktZyk, 1);
    EXPECT_EQ(slot.SchedProps.WeekZyk, 0);
}

TEST(AutoTaskScheduleTest, WeeklyStepsRepeatWithinAWeekAndAdvanceInTheNext)
{
    TAutoTask slot = Slot(asLogon, 2, 3, 3, smNormal, 3);
    slot.LastTime = Day(1);
    EXPECT_EQ(GetCycleStep(slot, asLogon, Day(4)), StepFlag + 3);
    int step = GetCycleStep(slot, asLogon, Day(8));
    EXPECT_EQ(step, StepFlag + 1);
    step = ApplyCycleStep(slot, step);
    AdvanceCycle(slot, step);
    EXPECT_EQ(slot.SchedProps.AktZyk, 1);
}

TEST(AutoTaskScheduleTest, MissedFullBackupRunsOnceWithTheFullStep)
{
    TAutoTask slot = Slot(asLogon, 2, 4, 3, smDiff, 1000);
    slot.LastTime = Day(-10);
    int seenStep = 0;
    TInteraction seenMode = iaNone;
    slot.AutoEnd = iaQuiet;
    RunCatchUpFullBackup(slot, iaNone, Day(0), [&](TInteraction mode) {
        seenStep = slot.SchedProps.AktZyk;
        seenMode = mode;
        slot.LastTime = Day(0);
    });
    EXPECT_EQ(seenStep, 1);
    EXPECT_EQ(seenMode, iaQuiet);
    EXPECT_EQ(slot.SchedProps.AktZyk, 3);
    EXPECT_EQ(slot.LastTime, Day(-10));

    slot.SchedProps.SchedMode = smNormal;
    seenStep = 0;
    RunCatchUpFullBackup(slot, iaNone, Day(0), [&](TInteraction) { seenStep = 1; });
    EXPECT_EQ(seenStep, 0);
}

TEST(AutoTaskScheduleTest, NextScheduledDayKeepsTheTimeOfDay)
{
    const TDateTime mondayTen = Day(0) + 10.0 / 24;
    EXPECT_DOUBLE_EQ(NextScheduledDay(1, false, mondayTen), Day(7) + 10.0 / 24);
    EXPECT_DOUBLE_EQ(NextScheduledDay(1, true, mondayTen), mondayTen);
    EXPECT_DOUBLE_EQ(NextScheduledDay(4, true, mondayTen), Day(2) + 10.0 / 24);
    EXPECT_EQ(FirstWeekday(0x60), 6);
    EXPECT_EQ(FirstWeekday(0), 0);
}

} // namespace
