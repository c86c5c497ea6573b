#include "backup/CopyThreadRunner.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>

#include "archive/ExtFileTools.h"
#include "archive/ExtFtpCopyUtils.h"
#include "archive/FtpUtils.h"
#include "foundation/QvUtilsTexts.h"
#include "rtl/Clock.h"
#include "rtl/SysUtils.h"

namespace {

constexpr int WatchdogIntervalMs = 50;
// A pass of a wait never adds more ticks than this (a suspended machine is no silent worker).
constexpr int MaxTicksPerPass = 20;

} // namespace

TCopyThreadRunner::TCopyThreadRunner(TRunControl& control, IProgressSink& progress)
    : FControl(control), FProgress(progress)
{
}

void TCopyThreadRunner::Reset()
{
    WatchdogCount = 0;
    CopySpeed = 0;
    LastTick = Ticks();
    LastCount = 0;
    CopyVol = 0;
    CopyTime = 0;
    SuspTime = 0;
    FSize = 0;
    StepCount = 0;
    WatchdogEnabled = false;
    FLastAbandoned = false;
}

uint32_t TCopyThreadRunner::Ticks() const
{
    if (TickCount)
        return TickCount();
    return static_cast<uint32_t>(Clock::Current().TickCount());
}

uint64_t TCopyThreadRunner::WatchdogNow() const
{
    if (WatchdogClock)
        return WatchdogClock();
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::steady_clock::now().time_since_epoch())
                                     .count());
}

void TCopyThreadRunner::Pause(int ms) const
{
    if (Sleep)
        Sleep(ms);
    else
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void TCopyThreadRunner::ShowSpeed()
{
    FProgress.SetSpeed(FormatSize(false, CopySpeed) + "/s");
}

TFileProgressEvent TCopyThreadRunner::ProgressHandler()
{
    return [this](TFileAction action, int64_t count, bool speedLimit) {
        CopyProgress(action, count, speedLimit);
    };
}

void TCopyThreadRunner::CopyProgress(TFileAction action, int64_t count, bool speedLimit)
{
    if (count < 0) {
        // a new step
        FSize = -count;
        StepCount = 0;
        if (action == acSegmentCopy && SizeProgress && TotalSize > 0)
            FProgress.SetTotalProgress(static_cast<int>(static_cast<double>(FSize) / TotalSize * 100));
        FProgress.SetStepAmount(FSize);
        FProgress.SetAction(action);
        FProgress.SetStepProgress(0);
        LastCount = 0;
        LastTick = Ticks();
    } else if (FSize > 0) {
        StepCount = std::max(StepCount, count);
        FProgress.SetStepProgress(static_cast<int>(std::lround(static_cast<double>(count) / FSize * 100)));
        if (SizeProgress && TotalSize > 0)
            FProgress.SetTempTotalProgress(static_cast<int>(static_cast<double>(count) / TotalSize * 100));
        FProgress.SetElapsedTime(Now() - StartTime);
        const uint32_t tick = Ticks();
        // unsigned arithmetic: a wrapped 32-bit counter still gives the right interval
        const int64_t interval = static_cast<uint32_t>(tick - LastTick);
        if (speedLimit && MaxRate > 0) {
            const double wanted = static_cast<double>(count - LastCount) / MaxRate;
            for (;;) {
                Pause(1);
                const int64_t half = static_cast<uint32_t>(Ticks() - LastTick) / 2;
                if (static_cast<double>(half) >= wanted || FControl.Stopped())
                    break;
            }
        }
        if (speedLimit && interval > 0) {
            CopyVol += count - LastCount;
            CopyTime += interval - SuspTime;
            SuspTime = 0;
            CopySpeed = CopyTime > 0
                            ? static_cast<int>(std::lround(static_cast<double>(CopyVol) / CopyTime)) * 1000
                            : 0;
            LastTick = tick;
            LastCount = count;
        }
        if (!WatchdogEnabled && CopySpeed > 0)
            ShowSpeed();
    } else {
        FProgress.SetStepProgress(0);
    }
    WatchdogCount = 0;
}

void TCopyThreadRunner::WatchdogTimer()
{
    ++WatchdogCount;
    if (CopySpeed > 0)
        ShowSpeed();
}

bool TCopyThreadRunner::CopyTimedOut() const
{
    return CopyTimeout > 0 && static_cast<int64_t>(CopyTimeout) * 20 < WatchdogCount;
}

void TCopyThreadRunner::FollowControl(TCopyThread& thread)
{
    if (thread.Done())
        return;
    if (FControl.Stopped()) {
        // cancelled: the worker stops after its current buffer and reports the user break
        if (thread.Paused())
            thread.SetPaused(false);
        FPausedByControl = false;
        thread.CancelThread();
        return;
    }
    const bool paused = FControl.Paused();
    if (paused && !FPausedByControl) {
        FPausedByControl = true;
        FPauseStartTick = Ticks();
        thread.SetPaused(true);
    } else if (!paused && FPausedByControl) {
        FPausedByControl = false;
        SuspTime = static_cast<uint32_t>(Ticks() - FPauseStartTick);
        thread.SetPaused(false);
    }
}

bool TCopyThreadRunner::WaitLoop(TCopyThread& thread)
{
    WatchdogEnabled = true;
    WatchdogCount = 0;
    FPausedByControl = false;
    uint64_t nextTick = WatchdogNow() + WatchdogIntervalMs;
    bool timedOut = false;
    for (;;) {
        // a worker that ran on this thread (small files) is done before the wait
        if (!thread.Started() && thread.Done())
            break;
        // WaitFor serves the worker's progress reports and returns as soon as the worker has ended
        bool finished;
        if (FullSpeed) {
            finished = thread.WaitFor(static_cast<uint32_t>(WatchdogIntervalMs));
        } else {
            Pause(1);
            finished = thread.WaitFor(0u);
        }
        if (finished)
            break;
        if (OnIdle)
            OnIdle();
        FollowControl(thread);
        const uint64_t now = WatchdogNow();
        for (int n = 0; now >= nextTick && n < MaxTicksPerPass; ++n) {
            WatchdogTimer();
            nextTick += WatchdogIntervalMs;
        }
        if (now >= nextTick)
            nextTick = now + WatchdogIntervalMs;
        if (thread.Paused())
            WatchdogCount = 0; // a paused copy never times out
        if (CopyTimedOut()) {
            timedOut = true;
            break;
        }
    }
    WatchdogEnabled = false;
    return !timedOut;
}

int TCopyThreadRunner::WaitForCopyThread(std::unique_ptr<TCopyThread>& thread, std::string& errText,
                                         int& ratio, TEncryption* sharedEncryption)
{
    FLastAbandoned = false;
    errText.clear();
    ratio = -1;
    if (!thread)
        return 0;
    int result;
    if (WaitLoop(*thread)) {
        result = thread->ErrorCode();
        ratio = thread->Ratio();
        if (result != 0)
            errText = thread->SysErrorMsg();
        thread.reset(); // a worker's destructor raises nothing
    } else {
        // the worker cannot be killed: it is cancelled and left to end and free itself
        thread.release()->AbandonWorker(sharedEncryption);
        FLastAbandoned = true;
        result = CopyTimeoutError;
    }
    FProgress.SetStepProgress(100);
    FControl.Checkpoint();
    return result;
}

void TCopyThreadRunner::RunCopyThread(std::unique_ptr<TCopyThread>& thread, int& err, std::string& errText,
                                      int64_t& size, TExtFtp* ftp, TEncryption* sharedEncryption)
{
    FLastAbandoned = false;
    err = 0;
    errText.clear();
    size = 0;
    if (!thread)
        return;
    thread->SetOnProgress(ProgressHandler());
    LastTick = Ticks();
    LastCount = 0;
    CopySpeed = 0;
    StepCount = 0;
    thread->Start();
    if (WaitLoop(*thread)) {
        err = thread->ErrorCode();
        if (ftp)
            errText = ftp->IndyError();
        else if (err != 0)
            errText = thread->SysErrorMsg();
        if (auto* write = dynamic_cast<TWriteFtpThread*>(thread.get()))
            size = write->FileSize();
        else
            size = StepCount;
        thread.reset(); // a worker's destructor raises nothing
    } else {
        thread.release()->AbandonWorker(sharedEncryption);
        FLastAbandoned = true;
        err = FtpCopyTimeoutError;
    }
    FProgress.SetStepProgress(100);
    FControl.Checkpoint();
}

int TCopyThreadRunner::RunCopyThread(std::unique_ptr<TCopyThread>& thread, TExtFtp* ftp)
{
    int err = 0;
    std::string text;
    int64_t size = 0;
    RunCopyThread(thread, err, text, size, ftp);
    return err;
}
