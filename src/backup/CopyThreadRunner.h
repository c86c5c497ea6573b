#pragma once
// The run's side of the per-file workers. A backup run works on one thread and hands every file to a
// worker of the copy engine, one at a time; the runner starts the worker, waits for it while the run
// stays responsive (pause and cancel from the run control, the worker's progress on the progress
// window), gives a worker up when it has been silent for longer than the task's time-out, holds the
// transfer down to the task's speed limit and measures the speed.
//
// A worker cannot be killed: a worker past its time-out is told to cancel and abandoned. It owns what
// it holds and ends and frees itself whenever its blocked call returns; the caller gets the time-out
// word and re-creates whatever it shared with the worker (an encryption object, an FTP connection).
//
// The watchdog ticks every 50 ms of the wait; any progress report resets it, so the time-out measures
// silence, not duration. A paused worker never times out.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "archive/CBFunctions.h"
#include "backup/EngineInterfaces.h"
#include "rtl/DateTime.h"

class TCopyThread;
class TEncryption;
class TExtFtp;

// Error words of the runner (severity "Error - " included).
constexpr int CopyTimeoutError = 0x111;    // 273 "Timeout error on copying file"
constexpr int FtpCopyTimeoutError = 0x11D; // 285 "Timeout error on copying file via FTP"

class TCopyThreadRunner
{
public:
    TCopyThreadRunner(TRunControl& control, IProgressSink& progress);

    // --- task and program settings
    int CopyTimeout = 0; // seconds of silence before a worker is given up; 0 = never
    bool FullSpeed = true;
    int MaxRate = 0; // kByte/s; 0 = no limit
    bool SizeProgress = false;
    int64_t TotalSize = 0;
    TDateTime StartTime = 0;

    // --- replaceable for tests: a 32-bit millisecond tick counter (it may wrap), the sleep of the
    // waits and the clock of the watchdog (milliseconds of a monotonic clock)
    std::function<uint32_t()> TickCount;
    std::function<void(int ms)> Sleep;
    std::function<uint64_t()> WatchdogClock;
    // Runs once per pass of a wait, after the pending worker calls (the run's message processing).
    std::function<void()> OnIdle;

    // --- state of the run (reset by Reset)
    int WatchdogCount = 0;
    int CopySpeed = 0; // bytes per second; 0 until the first measurement
    uint32_t LastTick = 0;
    int64_t LastCount = 0;
    int64_t CopyVol = 0;
    int64_t CopyTime = 0;
    int64_t SuspTime = 0;
    int64_t FSize = 0;
    bool WatchdogEnabled = false;
    // The highest count of the current step (the bytes a worker moved).
    int64_t StepCount = 0;
    void Reset();

    // The progress handler of workers, zip archives and zip verification.
    void CopyProgress(TFileAction action, int64_t count, bool speedLimit);
    TFileProgressEvent ProgressHandler();
    // One tick of the 50 ms watchdog.
    void WatchdogTimer();
    // True when the current worker has been silent for longer than the time-out (also the zip
    // archive's time-out test).
    bool CopyTimedOut() const;

    // Waits for a started local worker (or one that ran on the calling thread) and frees it (thread is null
    // afterwards). Returns the worker's error word, or 273 when it was given up at the time-out; ratio
    // receives its compression ratio and errText its system error text when the word is not 0.
    // sharedEncryption is the encryption object the worker was lent: a worker given up takes it over (the
    // caller must not use it again).
    int WaitForCopyThread(std::unique_ptr<TCopyThread>& thread, std::string& errText, int& ratio,
                          TEncryption* sharedEncryption = nullptr);
    // Sets the progress handler, starts the worker (FTP workers), waits for it and frees it. err is the
    // error word or 285 at the time-out; errText the FTP client's last error text (the worker's own
    // text without a client); size the bytes the worker moved.
    void RunCopyThread(std::unique_ptr<TCopyThread>& thread, int& err, std::string& errText, int64_t& size,
                       TExtFtp* ftp = nullptr, TEncryption* sharedEncryption = nullptr);
    int RunCopyThread(std::unique_ptr<TCopyThread>& thread, TExtFtp* ftp = nullptr);

    // Whether the last wait ended by giving the worker up.
    bool LastAbandoned() const { return FLastAbandoned; }

private:
    // The wait loop shared by both waits; false at the time-out.
    bool WaitLoop(TCopyThread& thread);
    void FollowControl(TCopyThread& thread);
    uint32_t Ticks() const;
    uint64_t WatchdogNow() const;
    void Pause(int ms) const;
    void ShowSpeed();

    TRunControl& FControl;
    IProgressSink& FProgress;
    bool FLastAbandoned = false;
    bool FPausedByControl = false;
    uint32_t FPauseStartTick = 0;
};
