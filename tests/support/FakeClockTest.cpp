#include "support/FakeClock.h"

#include <gtest/gtest.h>

TEST(FakeClock, IsCurrentOnlyWhileItsScopeLasts)
{
    const Clock* before = &Clock::Current();
    {
        ScopedFakeClock clock(40000.5);
        EXPECT_EQ(&Clock::Current(), &clock.Get());
        EXPECT_EQ(Clock::Current().NowUtc(), 40000.5);
    }
    EXPECT_EQ(&Clock::Current(), before);
    EXPECT_NE(Clock::Current().NowUtc(), 40000.5);
}

TEST(FakeClock, MovesOnlyWhenTold)
{
    ScopedFakeClock clock(45000.0);
    uint64_t ticks = Clock::Current().TickCount();
    clock->AdvanceSeconds(90);
    EXPECT_DOUBLE_EQ(Clock::Current().NowUtc(), 45000.0 + 90.0 / SecsPerDay);
    EXPECT_EQ(Clock::Current().TickCount(), ticks + 90000);
    clock->AdvanceDays(1.5);
    EXPECT_DOUBLE_EQ(Clock::Current().NowUtc(), 45001.5 + 90.0 / SecsPerDay);

    // Setting the time is a clock change: the monotonic count stays.
    uint64_t before = Clock::Current().TickCount();
    clock->Set(44000.25);
    EXPECT_EQ(Clock::Current().NowUtc(), 44000.25);
    EXPECT_EQ(Clock::Current().TickCount(), before);
}

TEST(FakeClock, GivesAPinnedLocalTimeThatFollowsAdvances)
{
    ScopedFakeClock clock(45000.0);
    EXPECT_DOUBLE_EQ(Clock::Current().NowLocal(), 45000.0); // tests run with TZ=UTC
    clock->SetLocal(45000.5);
    clock->AdvanceMs(MSecsPerDay / 4);
    EXPECT_DOUBLE_EQ(Clock::Current().NowLocal(), 45000.75);
    EXPECT_DOUBLE_EQ(Clock::Current().NowUtc(), 45000.25);
}
