#include "rtl/Thread.h"

#include <algorithm>
#include <chrono>
#include <deque>
#include <pthread.h>
#include <vector>

#include "rtl/SysUtils.h"

namespace {

struct SyncRequest
{
    const std::function<void()>* call = nullptr;
    bool done = false;
    std::exception_ptr error;
};

std::chrono::steady_clock::time_point DeadlineAfter(uint32_t timeoutMs)
{
    return std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
}

// System threads that wait for the next job after one has ended. Starting a thread costs far more
// than handing a job to one that waits (stack, kernel task, first touches of its memory); a backup
// starts a worker for every file. A waiting thread ends after a few idle seconds, and only a few wait.
// A child process made by fork has none of the waiting threads: it starts with an empty pool.
class TThreadPool
{
public:
    // Never destroyed: waiting threads may still sleep in it when the process ends.
    static TThreadPool& Instance()
    {
        static auto* pool = [] {
            auto* made = new TThreadPool;
            ::pthread_atfork([] { Instance().FMutex.lock(); }, [] { Instance().FMutex.unlock(); },
                             [] {
                                 TThreadPool& child = Instance();
                                 child.FWaiting.clear();
                                 child.FMutex.unlock();
                             });
            return made;
        }();
        return *pool;
    }

    // Runs job on a waiting thread, else on a new one (std::system_error when none can be made).
    void Run(std::function<void()> job)
    {
        {
            std::lock_guard<std::mutex> lock(FMutex);
            if (!FWaiting.empty()) {
                TWaiter* waiter = FWaiting.back();
                FWaiting.pop_back();
                waiter->job = std::move(job);
                waiter->cond.notify_one();
                return;
            }
        }
        std::thread(&TThreadPool::Loop, this, std::move(job)).detach();
    }

private:
    static constexpr size_t MaxWaiting = 8;
    static constexpr auto IdleTime = std::chrono::seconds(5);

    struct TWaiter
    {
        std::condition_variable cond;
        std::function<void()> job;
    };

    void Loop(std::function<void()> job)
    {
        TWaiter waiter;
        for (;;) {
            job();
            job = nullptr;
            std::unique_lock<std::mutex> lock(FMutex);
            if (FWaiting.size() >= MaxWaiting)
                return;
            FWaiting.push_back(&waiter);
            if (!waiter.cond.wait_for(lock, IdleTime, [&] { return static_cast<bool>(waiter.job); })) {
                FWaiting.erase(std::find(FWaiting.begin(), FWaiting.end(), &waiter));
                return;
            }
            job = std::move(waiter.job);
            waiter.job = nullptr;
        }
    }

    std::mutex FMutex;
    std::vector<TWaiter*> FWaiting; // the most recent last: its memory is the warmest
};

} // namespace

// ---- TEvent

TEvent::TEvent(bool manualReset, bool initialState) : FManualReset(manualReset), FSignaled(initialState) {}

void TEvent::SetEvent()
{
    // Notifying under the lock lets a waiter destroy the event as soon as its wait returns.
    std::lock_guard<std::mutex> lock(FMutex);
    FSignaled = true;
    if (FManualReset)
        FCond.notify_all();
    else
        FCond.notify_one();
}

void TEvent::ResetEvent()
{
    std::lock_guard<std::mutex> lock(FMutex);
    FSignaled = false;
}

TWaitResult TEvent::WaitFor(uint32_t timeoutMs)
{
    std::unique_lock<std::mutex> lock(FMutex);
    const auto signaled = [this] { return FSignaled; };
    if (timeoutMs == INFINITE)
        FCond.wait(lock, signaled);
    else if (!FCond.wait_until(lock, DeadlineAfter(timeoutMs), signaled))
        return wrTimeout;
    if (!FManualReset)
        FSignaled = false;
    return wrSignaled;
}

bool TEvent::IsSet() const
{
    std::lock_guard<std::mutex> lock(FMutex);
    return FSignaled;
}

// ---- the per-thread queue of Synchronize calls and pending starts

struct TThread::SyncQueue
{
    std::mutex mutex;
    std::condition_variable cond;
    std::deque<SyncRequest*> calls;
    std::vector<TThread*> starts;
    bool closed = false;

    bool HasWork() const { return !calls.empty() || !starts.empty(); }
};

// Owns the calling thread's queue; when the thread ends (or a pooled thread ends a TThread's run), the
// calls still waiting run here and later ones run on the threads that ask for them.
struct TThread::QueueHolder
{
    std::shared_ptr<SyncQueue> queue;
    void Retire();
    ~QueueHolder() { Retire(); }
};

TThread::QueueHolder& TThread::ThisThreadHolder()
{
    thread_local QueueHolder holder;
    return holder;
}

std::shared_ptr<TThread::SyncQueue> TThread::QueueOfThisThread()
{
    QueueHolder& holder = ThisThreadHolder();
    if (!holder.queue)
        holder.queue = std::make_shared<SyncQueue>();
    return holder.queue;
}

bool TThread::RunPending(SyncQueue& queue)
{
    std::deque<SyncRequest*> calls;
    {
        std::lock_guard<std::mutex> lock(queue.mutex);
        // Launching under the queue's lock: a destructor removing its pending start waits for it.
        for (TThread* thread : queue.starts)
            thread->Launch();
        queue.starts.clear();
        calls.swap(queue.calls);
    }
    for (SyncRequest* request : calls) {
        try {
            (*request->call)();
        } catch (...) {
            request->error = std::current_exception();
        }
        {
            std::lock_guard<std::mutex> lock(queue.mutex);
            request->done = true;
        }
        queue.cond.notify_all();
    }
    return !calls.empty();
}

void TThread::QueueHolder::Retire()
{
    if (!queue)
        return;
    {
        std::lock_guard<std::mutex> lock(queue->mutex);
        queue->closed = true;
    }
    RunPending(*queue);
    queue.reset();
}

void TThread::RetireQueueOfThisThread()
{
    ThisThreadHolder().Retire();
}

bool TThread::CheckSynchronize(int timeoutMs)
{
    const std::shared_ptr<SyncQueue> queue = QueueOfThisThread();
    if (timeoutMs > 0) {
        std::unique_lock<std::mutex> lock(queue->mutex);
        queue->cond.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return queue->HasWork(); });
    }
    return RunPending(*queue);
}

void TThread::Synchronize(TThread* thread, const std::function<void()>& fn)
{
    if (thread == nullptr || thread->IsOwnerThread()) {
        fn();
        return;
    }
    SyncQueue& queue = *thread->FOwnerQueue;
    SyncRequest request;
    request.call = &fn;
    {
        std::unique_lock<std::mutex> lock(queue.mutex);
        if (!queue.closed) {
            queue.calls.push_back(&request);
            queue.cond.notify_all();
            queue.cond.wait(lock, [&] { return request.done; });
        } else {
            lock.unlock();
            fn();
            return;
        }
    }
    if (request.error)
        std::rethrow_exception(request.error);
}

// ---- TThread

TThread::TThread(bool createSuspended)
    : FOwnerQueue(QueueOfThisThread()), FStartPending(!createSuspended), FOwner(std::this_thread::get_id())
{
    if (FStartPending) {
        std::lock_guard<std::mutex> lock(FOwnerQueue->mutex);
        FOwnerQueue->starts.push_back(this);
    }
}

TThread::~TThread()
{
    {
        std::lock_guard<std::mutex> lock(FOwnerQueue->mutex);
        auto& starts = FOwnerQueue->starts;
        starts.erase(std::remove(starts.begin(), starts.end(), this), starts.end());
    }
    bool running = false;
    {
        // taking the lock also waits until an ended Run has left the step that marks its end
        std::lock_guard<std::mutex> lock(FMutex);
        running = FStarted && !FFinished && FRunner != std::this_thread::get_id();
    }
    if (running) {
        Terminate();
        WaitFor();
    }
}

bool TThread::IsOwnerThread() const
{
    return std::this_thread::get_id() == FOwner;
}

void TThread::Launch()
{
    std::lock_guard<std::mutex> lock(FMutex);
    FStartPending = false;
    if (FStarted)
        return;
    FStarted = true;
    TThreadPool::Instance().Run([this] { Run(); });
}

void TThread::Start()
{
    {
        std::lock_guard<std::mutex> lock(FOwnerQueue->mutex);
        auto& starts = FOwnerQueue->starts;
        const auto it = std::find(starts.begin(), starts.end(), this);
        if (it != starts.end()) {
            starts.erase(it);
            Launch();
            return;
        }
    }
    if (FStarted)
        throw Exception("Cannot call Start on a running or terminated thread");
    Launch();
}

void TThread::Terminate()
{
    FTerminated = true;
}

void TThread::Run()
{
    {
        std::lock_guard<std::mutex> lock(FMutex);
        FRunner = std::this_thread::get_id();
    }
    try {
        Execute();
    } catch (...) {
        FatalException = std::current_exception();
    }
    // the system thread goes on with other work: what it owned as a thread ends here
    RetireQueueOfThisThread();
    const std::shared_ptr<SyncQueue> queue = FOwnerQueue;
    bool selfDelete = false;
    {
        std::lock_guard<std::mutex> lock(FMutex);
        FFinished = true;
        FRunner = std::thread::id();
        selfDelete = FAbandoned || FreeOnTerminate;
        FDone.notify_all();
    }
    {
        // Wakes an owner waiting in WaitFor.
        std::lock_guard<std::mutex> lock(queue->mutex);
        queue->cond.notify_all();
    }
    if (selfDelete)
        delete this;
}

int TThread::WaitFor()
{
    WaitFor(INFINITE);
    return ReturnValue;
}

bool TThread::WaitFor(uint32_t timeoutMs)
{
    if (FStartPending && IsOwnerThread())
        Start();
    if (!FStarted)
        return FFinished;
    {
        std::lock_guard<std::mutex> lock(FMutex);
        if (!FFinished && std::this_thread::get_id() == FRunner)
            return false; // a thread cannot wait for itself
    }
    const auto deadline = DeadlineAfter(timeoutMs == INFINITE ? 0 : timeoutMs);
    if (IsOwnerThread()) {
        SyncQueue& queue = *FOwnerQueue;
        for (;;) {
            RunPending(queue);
            std::unique_lock<std::mutex> lock(queue.mutex);
            const auto ready = [&] { return queue.HasWork() || FFinished.load(); };
            if (FFinished)
                break;
            if (timeoutMs == INFINITE)
                queue.cond.wait(lock, ready);
            else if (!queue.cond.wait_until(lock, deadline, ready))
                return false;
        }
    } else {
        std::unique_lock<std::mutex> lock(FMutex);
        const auto finished = [this] { return FFinished.load(); };
        if (timeoutMs == INFINITE)
            FDone.wait(lock, finished);
        else if (!FDone.wait_until(lock, deadline, finished))
            return false;
    }
    // Run marks the end under FMutex and touches the object no more once it has left that step
    std::lock_guard<std::mutex> lock(FMutex);
    return true;
}

void TThread::Abandon()
{
    Terminate();
    {
        std::lock_guard<std::mutex> lock(FOwnerQueue->mutex);
        auto& starts = FOwnerQueue->starts;
        starts.erase(std::remove(starts.begin(), starts.end(), this), starts.end());
    }
    bool deleteNow = false;
    {
        std::lock_guard<std::mutex> lock(FMutex);
        if (!FStarted || FFinished)
            deleteNow = true;
        else
            FAbandoned = true;
    }
    if (deleteNow)
        delete this;
}
