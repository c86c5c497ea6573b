#include "rtl/Clock.h"

#include <atomic>
#include <ctime>

namespace {

std::atomic<const Clock*> currentClock{nullptr};

} // namespace

TDateTime Clock::NowUtc() const
{
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return IncMilliSecond(UnixToDateTime(static_cast<int64_t>(ts.tv_sec)), ts.tv_nsec / 1000000);
}

TDateTime Clock::NowLocal() const
{
    return UtcToLocal(NowUtc());
}

uint64_t Clock::TickCount() const
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1000 + static_cast<uint64_t>(ts.tv_nsec / 1000000);
}

const Clock& Clock::Current()
{
    static const Clock systemClock;
    const Clock* clock = currentClock.load(std::memory_order_acquire);
    return clock != nullptr ? *clock : systemClock;
}

void Clock::SetCurrent(const Clock* clock)
{
    currentClock.store(clock, std::memory_order_release);
}

uint64_t GetTickCount64()
{
    return Clock::Current().TickCount();
}

int64_t LocalNowAsUnix()
{
    return DateTimeToUnix(Clock::Current().NowLocal());
}
