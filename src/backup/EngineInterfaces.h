#pragma once
// How a backup or tool run talks to whoever hosts it.
//
// TRunControl carries the user's commands into a run (pause, cancel the current or all tasks, stop
// waiting for an external program); it is thread-safe and the run polls it at every checkpoint, or
// waits on it while it is paused.
// IProgressSink receives what a progress window shows, IInteraction asks every question a run may
// ask, IRunHost offers the program's services (exit state, folders, settings, lock file, event log).
//
// Each has a headless implementation that answers as if nobody is present and a recording one for
// tests. A window-based host implements the same interfaces elsewhere.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "archive/CBFunctions.h"
#include "archive/FtpUtils.h"
#include "foundation/BuConsts.h"
#include "rtl/DateTime.h"

// ---- result view and progress options

enum TResultStatus : int
{
    psOK,
    psCancel,
    psError,
    psWarning
};

enum TProgressOption : int
{
    poBackup,
    poAction,
    poMinimize,
    poPause,
    poAutoTask
};
using TProgressOptions = uint8_t;

// What the current item of a run is.
enum TSourceSelection : int
{
    ssNoSrc,
    ssFile,
    ssDir,
    ssZip,
    ssTempZip
};

constexpr TProgressOptions ProgressOption(TProgressOption option)
{
    return static_cast<TProgressOptions>(1u << option);
}

// Colours as $BBGGRR.
constexpr int32_t clRed = 0x0000FF;

// Result codes of the result view; bit 8 is added when the user asked for the log.
constexpr int mrNoAction = 1;
constexpr int mrCanceledRun = 7;
constexpr int mrShutdownAction = 9;
constexpr int mrLogOffAction = 10;
constexpr int mrStandbyAction = 11;
constexpr int mrHibernateAction = 12;
constexpr int mrRepeatRun = 13;
constexpr int mrShowLogBit = 0x100;

// Removes bit 8 and maps a result code to its TBuResult: 7 brError, 9 brShutdown, 10 brLogOff,
// 11 brStandby, 12 brHibernate, 13 brRepeat, anything else brOK.
TBuResult ModalResultToBuResult(int code);
// The result code of an after-backup action chosen before the run: 1..4 give 9..12, else 1.
int ActionToResultCode(int buAction);

// ---- run control

class TRunControl
{
public:
    // Pause (true) or resume (false).
    void SetPaused(bool value);
    bool Paused() const { return FPaused; }
    // Stops the run: the current task only, or every task of a series.
    void Cancel(bool allTasks);
    bool Stopped() const { return FStopped; }
    bool CancelAll() const { return FCancelAll; }
    // Set by the run itself to end its loops.
    void SetStopped(bool value);
    // Stop waiting for an external program.
    void StopWaiting() { FStopWaiting = true; }
    bool TakeStopWaiting() { return FStopWaiting.exchange(false); }
    // 0 free, 1 a question of the run is open, 2 an external program runs.
    void SetLockStatus(int value) { FLockStatus = value; }
    int LockStatus() const { return FLockStatus; }
    // Clears everything for a new run.
    void Reset();
    // The run's point of "processing messages": runs calls queued by worker threads.
    void Checkpoint();
    // Returns once the run is no longer paused or is stopped (at once when it is not paused). A resume
    // or a stop ends the wait at once; meanwhile the checkpoint runs every 100 ms, so that the calls of
    // the run's workers are served while it waits.
    void WaitWhilePaused();

private:
    // Wakes WaitWhilePaused after a change of the state it waits on.
    void Wake();
    std::mutex FWaitMutex;
    std::condition_variable FWaitChanged;
    std::atomic<bool> FPaused{false};
    std::atomic<bool> FStopped{false};
    std::atomic<bool> FCancelAll{false};
    std::atomic<bool> FStopWaiting{false};
    std::atomic<int> FLockStatus{0};
};

// ---- progress

class IProgressSink
{
public:
    virtual ~IProgressSink() = default;
    virtual void ShowProgress(const std::string& task, const std::string& desc, const std::string& dest,
                              TProgressOptions options, int selectedAction, int wait, bool swapped) = 0;
    virtual void SetDestination(const std::string& dest) = 0;
    virtual void SetPrompt(const std::string& text) = 0;
    virtual void SetActionHint(const std::string& text) = 0;
    virtual void WriteStatus(int index, const std::string& text) = 0;
    virtual void SetTotalAmount(const std::string& text) = 0;
    // The result view; returns its result code (see above).
    virtual int ShowStatus(TResultStatus mode, const std::string& hint, const std::string& status1,
                           const std::string& status2, int32_t color, int wait) = 0;
    // Ends the view without showing a result; returns the code of the preselected action.
    virtual int Terminate() = 0;
    virtual void Close() = 0;

    // The finer progress of a run; a host that shows none ignores them.
    // Total progress in percent; the view never shows more than 99 before the result.
    virtual void SetTotalProgress(int) {}
    // The share of the item in work, added to the committed total for the view.
    virtual void SetTempTotalProgress(int) {}
    // Commits the share of a finished item.
    virtual void UpdateTotalProgress(int) {}
    // Per-item progress in percent, and the item's size (the file count for acZipVerify).
    virtual void SetStepProgress(int) {}
    virtual void SetStepAmount(int64_t) {}
    virtual void SetAction(TFileAction) {}
    virtual void SetSourceType(TSourceSelection) {}
    // Kind, action text (empty: keep), name and size of the current item at once.
    virtual void UpdatePrompt(TSourceSelection, const std::string&, const std::string&, int64_t) {}
    virtual void SetSpeed(const std::string&) {}
    // The time since the start of the run.
    virtual void SetElapsedTime(TDateTime) {}
    virtual void SetPauseEnabled(bool) {}
};

// Shows nothing. The result view answers as one that closes by itself: a cancelled run with 7, any
// other with the code of the preselected after-backup action.
class THeadlessProgress : public IProgressSink
{
public:
    void ShowProgress(const std::string&, const std::string&, const std::string&, TProgressOptions,
                      int selectedAction, int, bool) override
    {
        FSelectedAction = selectedAction;
    }
    void SetDestination(const std::string&) override {}
    void SetPrompt(const std::string&) override {}
    void SetActionHint(const std::string&) override {}
    void WriteStatus(int, const std::string&) override {}
    void SetTotalAmount(const std::string&) override {}
    int ShowStatus(TResultStatus mode, const std::string&, const std::string&, const std::string&, int32_t,
                   int) override
    {
        return mode == psCancel ? mrCanceledRun : ActionToResultCode(FSelectedAction);
    }
    int Terminate() override { return ActionToResultCode(FSelectedAction); }
    void Close() override {}

private:
    int FSelectedAction = 0;
};

// Records every call as one text line ("ShowStatus psError|hint|s1|s2|wait").
class TRecordingProgress : public THeadlessProgress
{
public:
    void ShowProgress(const std::string& task, const std::string& desc, const std::string& dest,
                      TProgressOptions options, int selectedAction, int wait, bool swapped) override;
    void SetDestination(const std::string& dest) override;
    void WriteStatus(int index, const std::string& text) override;
    void SetTotalAmount(const std::string& text) override;
    int ShowStatus(TResultStatus mode, const std::string& hint, const std::string& status1,
                   const std::string& status2, int32_t color, int wait) override;
    int Terminate() override;
    void Close() override;
    std::vector<std::string> Calls;
    // Returned by ShowStatus when >= 0.
    int NextResult = -1;
};

// ---- interaction

class IInteraction
{
public:
    virtual ~IInteraction() = default;
    // An error message; delaySeconds > 0 closes it by itself after that time.
    virtual void ErrorBox(const std::string& text, int delaySeconds) = 0;
    virtual void InfoBox(const std::string& text) = 0;
    // A yes/no question; true on yes.
    virtual bool Confirm(const std::string& text) = 0;
    // Asks for a password; false when cancelled.
    virtual bool AskPassword(const std::string& title, const std::string& prompt, std::string& password) = 0;
    // Whether to trust the certificate an FTPS server presented; true when the user accepts it.
    // Nobody present: the certificate is refused.
    virtual bool ConfirmCertificate(const TCerticateInfo&) { return false; }
};

// Nobody is present: messages go to the standard error output, questions get the cautious answer.
class THeadlessInteraction : public IInteraction
{
public:
    void ErrorBox(const std::string& text, int delaySeconds) override;
    void InfoBox(const std::string& text) override;
    bool Confirm(const std::string&) override { return false; }
    bool AskPassword(const std::string&, const std::string&, std::string&) override { return false; }
};

class TRecordingInteraction : public IInteraction
{
public:
    void ErrorBox(const std::string& text, int delaySeconds) override;
    void InfoBox(const std::string& text) override;
    bool Confirm(const std::string& text) override;
    bool AskPassword(const std::string& title, const std::string& prompt, std::string& password) override;
    // Records "ConfirmCertificate <server>|<fingerprint>" and answers ConfirmAnswer.
    bool ConfirmCertificate(const TCerticateInfo& cert) override;
    std::vector<std::string> Calls;
    bool ConfirmAnswer = false;
    std::string Password; // empty = the prompt is cancelled
};

// ---- event log

// An error entry of the program ("Vastrel", category 1) in the system's event log, written only when
// the program's event source is there (EventSourceOk).
void ReportRunEvent(uint32_t eventId, const std::vector<std::string>& strings);

// ---- host services

class TAutoTask;

// The program's services for a run. Program-wide state (settings, folders, the event log, the lock
// file) lives in the foundation; the host adds what only the hosting program knows.
class IRunHost
{
public:
    virtual ~IRunHost() = default;
    // The program's exit state (0 none yet, 1..6) and the failing slot.
    virtual int ExitState() const = 0;
    virtual void SetExitCode(int exitCode, int taskNr) = 0;
    virtual bool IsPortable() const = 0;
    // Raises the count of failed runs the user has not looked at yet.
    virtual void IncErrorCount() = 0;
    // Folders with a trailing delimiter; the default log is a full file name.
    virtual std::string SettingsDir() const = 0;
    virtual std::string LogDir() const = 0;
    virtual std::string TempDir() const = 0;
    virtual std::string TaskDir() const = 0;
    virtual std::string DefaultLogFile() const = 0;
    // Keeps the system awake (displayOn: the display too) until EndKeepAwake; a second request
    // replaces the first, and ending without a request does nothing.
    virtual void KeepAwake(bool displayOn) = 0;
    virtual void EndKeepAwake() = 0;
    // The automatic-task slot nr (1..16); nullptr when there is none.
    virtual TAutoTask* Slot(int nr) = 0;
    // The program ends with a shutdown or logoff: no window is brought to the front.
    virtual bool DownTask() const = 0;
};

// A host of its own for tests and for runs outside the main program: fields hold the answers and
// the power requests are recorded.
class TRecordingHost : public IRunHost
{
public:
    TRecordingHost();
    ~TRecordingHost() override;
    int ExitState() const override { return FExitState; }
    void SetExitCode(int exitCode, int taskNr) override;
    bool IsPortable() const override { return Portable; }
    void IncErrorCount() override { ++ErrorCount; }
    std::string SettingsDir() const override { return SettingsFolder; }
    std::string LogDir() const override { return LogFolder; }
    std::string TempDir() const override { return TempFolder; }
    std::string TaskDir() const override { return TaskFolder; }
    std::string DefaultLogFile() const override { return DefaultLog; }
    void KeepAwake(bool displayOn) override;
    void EndKeepAwake() override;
    TAutoTask* Slot(int nr) override;
    bool DownTask() const override { return false; }

    int FExitState = 0;
    int FailedTask = 0;
    std::vector<int> ExitCodes; // every SetExitCode value in order
    bool Portable = false;
    int ErrorCount = 0;
    std::vector<std::string> PowerLog; // "awake display", "awake", "sleep"
    std::string SettingsFolder, LogFolder, TempFolder, TaskFolder, DefaultLog;
    std::vector<std::unique_ptr<TAutoTask>> Slots; // 16 empty slots
};
