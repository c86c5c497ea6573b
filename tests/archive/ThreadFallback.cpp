// Stand-in for the class-library thread and event until their implementation is in the tree; only
// used by the tests while src/rtl/Thread.cpp does not exist.
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

// --- TThread

#include <deque>
#include <map>

namespace {

struct SyncCall
{
    std::function<void()> fn;
    bool done = false;
};

std::mutex syncMutex;
std::condition_variable syncCond;
std::map<std::thread::id, std::deque<SyncCall*>> syncQueues;

} // namespace

TThread::TThread(bool createSuspended) : FOwner(std::this_thread::get_id())
{
    (void)createSuspended;
}

TThread::~TThread()
{
    if (FStarted && FThread.joinable()) {
        Terminate();
        WaitFor();
    }
}

void TThread::Start()
{
    if (FStarted)
        return;
    FStarted = true;
    FThread = std::thread([this] { Run(); });
}

void TThread::Terminate()
{
    FTerminated = true;
}

void TThread::Run()
{
    try {
        Execute();
    } catch (...) {
    }
    bool selfDelete;
    {
        std::lock_guard<std::mutex> lock(FMutex);
        FFinished = true;
        selfDelete = FAbandoned || FreeOnTerminate;
        FDone.notify_all();
    }
    if (selfDelete) {
        if (FThread.joinable())
            FThread.detach();
        delete this;
    }
}

int TThread::WaitFor()
{
    while (!FFinished) {
        if (std::this_thread::get_id() == FOwner) {
            CheckSynchronize(5);
        } else {
            std::unique_lock<std::mutex> lock(FMutex);
            FDone.wait_for(lock, std::chrono::milliseconds(5));
        }
    }
    if (FThread.joinable())
        FThread.join();
    return ReturnValue;
}

bool TThread::WaitFor(uint32_t timeoutMs)
{
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!FFinished && std::chrono::steady_clock::now() < end)
        CheckSynchronize(1);
    return FFinished;
}

void TThread::Abandon()
{
    std::unique_lock<std::mutex> lock(FMutex);
    if (FFinished) {
        lock.unlock();
        if (FThread.joinable())
            FThread.join();
        delete this;
        return;
    }
    FAbandoned = true;
    if (FThread.joinable())
        FThread.detach();
}

bool TThread::CheckSynchronize(int timeoutMs)
{
    auto id = std::this_thread::get_id();
    std::unique_lock<std::mutex> lock(syncMutex);
    syncCond.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return !syncQueues[id].empty(); });
    bool ran = false;
    while (!syncQueues[id].empty()) {
        SyncCall* call = syncQueues[id].front();
        syncQueues[id].pop_front();
        lock.unlock();
        call->fn();
        lock.lock();
        call->done = true;
        ran = true;
        syncCond.notify_all();
    }
    return ran;
}

void TThread::Synchronize(TThread* thread, const std::function<void()>& fn)
{
    if (!thread || std::this_thread::get_id() == thread->FOwner) {
        fn();
        return;
    }
    SyncCall call{fn};
    std::unique_lock<std::mutex> lock(syncMutex);
    syncQueues[thread->FOwner].push_back(&call);
    syncCond.notify_all();
    syncCond.wait(lock, [&] { return call.done; });
}
