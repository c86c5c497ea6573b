#pragma once
// The injectable clock: every decision on "now" or "today" asks Clock::Current().

#include <cstdint>

#include "rtl/DateTime.h"

class Clock
{
public:
    virtual ~Clock() = default;
    // Current UTC time.
    virtual TDateTime NowUtc() const;
    // Current local time (UtcToLocal of NowUtc unless overridden).
    virtual TDateTime NowLocal() const;
    // Milliseconds of a monotonic clock.
    virtual uint64_t TickCount() const;

    // The clock in use; the system clock unless one was set.
    static const Clock& Current();
    // Sets the clock in use; nullptr restores the system clock. The caller keeps ownership.
    static void SetCurrent(const Clock* clock);
};

uint64_t GetTickCount64();

// The local date and time now as Unix seconds (the local wall clock counted as if it were UTC), as the
// formats that store local times want it; from Clock::Current().
int64_t LocalNowAsUnix();
