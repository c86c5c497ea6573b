// Stand-in for the class-library event until its implementation is in the tree; only used by the
// tests while src/rtl/Thread.cpp does not exist.
#include "rtl/Thread.h"

TEvent::TEvent(bool manualReset, bool initialState) : FManualReset(manualReset), FSignaled(initialState) {}

void TEvent::SetEvent()
{
    std::lock_guard<std::mutex> lock(FMutex);
    FSignaled = true;
    FCond.notify_all();
}

void TEvent::ResetEvent()
{
    std::lock_guard<std::mutex> lock(FMutex);
    FSignaled = false;
}

TWaitResult TEvent::WaitFor(uint32_t)
{
    std::unique_lock<std::mutex> lock(FMutex);
    FCond.wait(lock, [this] { return FSignaled; });
    if (!FManualReset)
        FSignaled = false;
    return wrSignaled;
}
