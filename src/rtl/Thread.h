#pragma once
// TThread and TEvent over std::thread.
//
// The system threads are kept for reuse: a TThread runs on a thread that has ended an earlier TThread's
// Execute and waits for the next (a backup starts one worker per file), or on a new one. What the
// running TThread sees is the same as on a thread of its own: its owner queue for Synchronize calls is
// new, and the queue of a TThread that ended is closed as at the end of a thread.
//
// Synchronize runs a call on the thread that created the TThread object (its owner thread) and waits
// for it; the owner runs pending calls whenever it calls CheckSynchronize (and while it waits in
// WaitFor). A Synchronize issued on the owner thread itself runs at once. An exception thrown by the
// call is raised again in the thread that asked for it. When the owner thread has ended, calls run at
// once on the asking thread.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

constexpr uint32_t INFINITE = 0xFFFFFFFF;

enum TWaitResult
{
    wrSignaled,
    wrTimeout,
    wrAbandoned,
    wrError
};

class TEvent
{
public:
    explicit TEvent(bool manualReset = true, bool initialState = false);
    void SetEvent();
    void ResetEvent();
    TWaitResult WaitFor(uint32_t timeoutMs = INFINITE);
    bool IsSet() const;

private:
    mutable std::mutex FMutex;
    std::condition_variable FCond;
    bool FManualReset;
    bool FSignaled;
};

class TThread
{
public:
    // A suspended thread starts with Start(). A thread created with createSuspended = false starts once
    // construction is complete: when the owner thread next calls CheckSynchronize or WaitFor, or at an
    // explicit Start(), whichever comes first (Execute never runs on a half-built object). A derived
    // class may also pass true and call Start() as the last step of its constructor.
    explicit TThread(bool createSuspended = true);
    virtual ~TThread(); // terminates and waits for a started thread unless it frees itself
    TThread(const TThread&) = delete;
    TThread& operator=(const TThread&) = delete;

    // Raises Exception when the thread was started already.
    void Start();
    void Terminate();
    bool Terminated() const { return FTerminated.load(); }
    bool Started() const { return FStarted.load(); }
    bool Finished() const { return FFinished.load(); }
    // Waits for the end of Execute; runs pending Synchronize calls meanwhile when called on the owner.
    int WaitFor();
    // Waits at most timeoutMs; true when the thread has finished.
    bool WaitFor(uint32_t timeoutMs);
    // Gives up on the thread (heap objects only): sets Terminated and detaches it; the object deletes
    // itself when Execute ends, or at once when it has ended or never started. The caller must not
    // touch the object afterwards.
    void Abandon();

    int ReturnValue = 0;
    // The exception that ended Execute, if any.
    std::exception_ptr FatalException;
    // A thread that frees itself deletes the object when Execute returns (heap objects only).
    bool FreeOnTerminate = false;

    // Runs pending Synchronize calls addressed to the calling thread; waits up to timeoutMs for one.
    // Returns true when at least one call ran.
    static bool CheckSynchronize(int timeoutMs = 0);
    // Runs fn on the owner thread of `thread` (or at once when no thread or already there).
    static void Synchronize(TThread* thread, const std::function<void()>& fn);

protected:
    virtual void Execute() = 0;
    void Synchronize(const std::function<void()>& fn) { Synchronize(this, fn); }

private:
    struct SyncQueue;
    struct QueueHolder;
    static QueueHolder& ThisThreadHolder();
    static std::shared_ptr<SyncQueue> QueueOfThisThread();
    // Closes the calling thread's queue as the end of the thread would, and runs what waits in it.
    static void RetireQueueOfThisThread();
    static bool RunPending(SyncQueue& queue);
    void Launch();
    void Run();
    bool IsOwnerThread() const;

    std::shared_ptr<SyncQueue> FOwnerQueue;
    std::atomic<bool> FStartPending{false};
    std::thread::id FRunner; // the system thread running Execute (under FMutex)
    std::thread::id FOwner;
    std::atomic<bool> FTerminated{false};
    std::atomic<bool> FFinished{false};
    std::atomic<bool> FAbandoned{false};
    std::atomic<bool> FStarted{false};
    std::mutex FMutex;
    std::condition_variable FDone;
};
