#pragma once
// TThread and TEvent over std::thread.
//
// Synchronize runs a call on the thread that created the TThread object (its owner thread) and waits
// for it; the owner runs pending calls whenever it calls CheckSynchronize. A Synchronize issued on the
// owner thread itself runs at once.

#include <atomic>
#include <condition_variable>
#include <cstdint>
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
    // A suspended thread starts with Start(); otherwise it starts at once.
    explicit TThread(bool createSuspended = true);
    virtual ~TThread(); // terminates and waits for a started thread unless it frees itself
    TThread(const TThread&) = delete;
    TThread& operator=(const TThread&) = delete;

    void Start();
    void Terminate();
    bool Terminated() const { return FTerminated.load(); }
    bool Started() const { return FStarted; }
    bool Finished() const { return FFinished.load(); }
    // Waits for the end of Execute; runs pending Synchronize calls meanwhile when called on the owner.
    int WaitFor();
    // Waits at most timeoutMs; true when the thread has finished.
    bool WaitFor(uint32_t timeoutMs);
    // Detaches a started thread that the caller gives up on; the thread then deletes itself at its end
    // (only for heap objects).
    void Abandon();

    int ReturnValue = 0;
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
    void Run();
    std::thread FThread;
    std::thread::id FOwner;
    std::atomic<bool> FTerminated{false};
    std::atomic<bool> FFinished{false};
    std::atomic<bool> FAbandoned{false};
    bool FStarted = false;
    std::mutex FMutex;
    std::condition_variable FDone;
};
