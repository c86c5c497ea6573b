#include "support/WaitFor.h"

#include <thread>
#include <utility>

namespace {

std::function<void()>& Idle()
{
    static std::function<void()> idle;
    return idle;
}

} // namespace

bool WaitFor(const std::function<bool()>& predicate, std::chrono::milliseconds limit)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        if (predicate())
            return true;
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        if (Idle())
            Idle()();
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

void SetWaitForIdle(std::function<void()> idle)
{
    Idle() = std::move(idle);
}
