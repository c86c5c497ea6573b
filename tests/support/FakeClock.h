#pragma once
// A clock that stands still until the test moves it.
//
//   ScopedFakeClock clock(EncodeDateTime(2024, 3, 1, 12, 0, 0, 0));  // installed until the end of scope
//   clock->AdvanceSeconds(90);

#include <cstdint>

#include "rtl/Clock.h"

class FakeClock : public Clock
{
public:
    // utc: the current UTC time; the tick count starts at an arbitrary non-zero value.
    explicit FakeClock(TDateTime utc = 45000.0) : FUtc(utc) {}

    TDateTime NowUtc() const override { return FUtc; }
    // UtcToLocal of the fake UTC time (tests run under TZ=UTC), unless a fixed local time was set.
    TDateTime NowLocal() const override;
    uint64_t TickCount() const override { return FTicks; }

    // Sets the UTC time; the tick count is not changed (a clock change does not move a monotonic clock).
    void Set(TDateTime utc) { FUtc = utc; }
    // Pins the local time to a fixed value regardless of the UTC time (for time-zone independent tests).
    void SetLocal(TDateTime local)
    {
        FLocal = local;
        FHasLocal = true;
    }
    // Moves the wall clock and the tick count forward (a negative step moves only the wall clock back).
    void AdvanceMs(int64_t ms);
    void AdvanceSeconds(int64_t seconds) { AdvanceMs(seconds * 1000); }
    void AdvanceDays(double days);

private:
    TDateTime FUtc;
    TDateTime FLocal = 0;
    bool FHasLocal = false;
    uint64_t FTicks = 1000000;
};

// Installs a FakeClock as Clock::Current() for its lifetime and restores the previous clock after.
class ScopedFakeClock
{
public:
    explicit ScopedFakeClock(TDateTime utc = 45000.0);
    ~ScopedFakeClock();
    ScopedFakeClock(const ScopedFakeClock&) = delete;
    ScopedFakeClock& operator=(const ScopedFakeClock&) = delete;

    FakeClock* operator->() { return &FClock; }
    FakeClock& Get() { return FClock; }

private:
    FakeClock FClock;
    const Clock* FPrevious;
};
