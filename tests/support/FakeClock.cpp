#include "support/FakeClock.h"

#include <cmath>

TDateTime FakeClock::NowLocal() const
{
    return FHasLocal ? FLocal : UtcToLocal(FUtc);
}

void FakeClock::AdvanceMs(int64_t ms)
{
    FUtc += static_cast<double>(ms) / MSecsPerDay;
    if (FHasLocal)
        FLocal += static_cast<double>(ms) / MSecsPerDay;
    FTicks += static_cast<uint64_t>(ms > 0 ? ms : 0);
}

void FakeClock::AdvanceDays(double days)
{
    AdvanceMs(std::llround(days * MSecsPerDay));
}

ScopedFakeClock::ScopedFakeClock(TDateTime utc) : FClock(utc), FPrevious(&Clock::Current())
{
    Clock::SetCurrent(&FClock);
}

ScopedFakeClock::~ScopedFakeClock()
{
    Clock::SetCurrent(FPrevious);
}
