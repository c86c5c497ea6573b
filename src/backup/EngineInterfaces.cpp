#include "backup/EngineInterfaces.h"

#include <chrono>
#include <cstdio>

#include "foundation/QvUtilsAutoTask.h"
#include "foundation/WinApiUtils.h"
#include "platform/EventLog.h"
#include "rtl/SysUtils.h"
#include "rtl/Thread.h"

TBuResult ModalResultToBuResult(int code)
{
    switch (code & ~mrShowLogBit) {
    case mrCanceledRun:
        return brError;
    case mrShutdownAction:
        return brShutdown;
    case mrLogOffAction:
        return brLogOff;
    case mrStandbyAction:
        return brStandby;
    case mrHibernateAction:
        return brHibernate;
    case mrRepeatRun:
        return brRepeat;
    default:
        return brOK;
    }
}

int ActionToResultCode(int buAction)
{
    return buAction >= 1 && buAction <= 4 ? mrShutdownAction + buAction - 1 : mrNoAction;
}

// ---- TRunControl

namespace {

// How often a paused run serves the calls of its workers.
constexpr auto PausedCheckpointInterval = std::chrono::milliseconds(100);

} // namespace

void TRunControl::SetPaused(bool value)
{
    FPaused = value;
    Wake();
}

void TRunControl::Cancel(bool allTasks)
{
    if (allTasks)
        FCancelAll = true;
    FStopped = true;
    Wake();
}

void TRunControl::SetStopped(bool value)
{
    FStopped = value;
    Wake();
}

void TRunControl::Wake()
{
    // The lock orders the change before a waiter's test of it: a waiter either sees the new state or
    // is already waiting when the notification comes.
    {
        std::lock_guard<std::mutex> lock(FWaitMutex);
    }
    FWaitChanged.notify_all();
}

void TRunControl::Reset()
{
    FPaused = false;
    FStopped = false;
    FCancelAll = false;
    FStopWaiting = false;
    FLockStatus = 0;
    Wake();
}

void TRunControl::Checkpoint()
{
    TThread::CheckSynchronize();
}

void TRunControl::WaitWhilePaused()
{
    while (Paused() && !Stopped()) {
        {
            std::unique_lock<std::mutex> lock(FWaitMutex);
            FWaitChanged.wait_for(lock, PausedCheckpointInterval, [this] { return !Paused() || Stopped(); });
        }
        Checkpoint();
    }
}

// ---- TRecordingProgress

void TRecordingProgress::ShowProgress(const std::string& task, const std::string& desc,
                                      const std::string& dest, TProgressOptions options, int selectedAction,
                                      int wait, bool swapped)
{
    THeadlessProgress::ShowProgress(task, desc, dest, options, selectedAction, wait, swapped);
    Calls.push_back(SafeFormat("ShowProgress %s|%s|%s|%d|%d|%d|%d",
                               {task, desc, dest, static_cast<int>(options), selectedAction, wait, swapped}));
}

void TRecordingProgress::SetDestination(const std::string& dest)
{
    Calls.push_back("Destination " + dest);
}

void TRecordingProgress::WriteStatus(int index, const std::string& text)
{
    Calls.push_back(SafeFormat("WriteStatus %d|%s", {index, text}));
}

void TRecordingProgress::SetTotalAmount(const std::string& text)
{
    Calls.push_back("TotalAmount " + text);
}

int TRecordingProgress::ShowStatus(TResultStatus mode, const std::string& hint, const std::string& status1,
                                   const std::string& status2, int32_t color, int wait)
{
    static const char* const names[] = {"psOK", "psCancel", "psError", "psWarning"};
    Calls.push_back(
        SafeFormat("ShowStatus %s|%s|%s|%s|%x|%d", {names[mode], hint, status1, status2, color, wait}));
    return NextResult >= 0 ? NextResult
                           : THeadlessProgress::ShowStatus(mode, hint, status1, status2, color, wait);
}

int TRecordingProgress::Terminate()
{
    Calls.push_back("Terminate");
    return THeadlessProgress::Terminate();
}

void TRecordingProgress::Close()
{
    Calls.push_back("Close");
}

// ---- interaction

namespace {

// A message box text as lines of a terminal: the texts break lines with CR LF, which a terminal
// shows as a line that starts over itself.
void PrintToTerminal(const std::string& text)
{
    std::string line;
    line.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r')
            line += text[i];
        else if (i + 1 >= text.size() || text[i + 1] != '\n')
            line += '\n';
    }
    std::fprintf(stderr, "Vastrel: %s\n", line.c_str());
}

} // namespace

void THeadlessInteraction::ErrorBox(const std::string& text, int)
{
    PrintToTerminal(text);
}

void THeadlessInteraction::InfoBox(const std::string& text)
{
    PrintToTerminal(text);
}

void TRecordingInteraction::ErrorBox(const std::string& text, int delaySeconds)
{
    Calls.push_back(SafeFormat("ErrorBox %d|%s", {delaySeconds, text}));
}

void TRecordingInteraction::InfoBox(const std::string& text)
{
    Calls.push_back("InfoBox " + text);
}

bool TRecordingInteraction::Confirm(const std::string& text)
{
    Calls.push_back("Confirm " + text);
    return ConfirmAnswer;
}

bool TRecordingInteraction::AskPassword(const std::string& title, const std::string& prompt,
                                        std::string& password)
{
    Calls.push_back("AskPassword " + title + "|" + prompt);
    if (Password.empty())
        return false;
    password = Password;
    return true;
}

bool TRecordingInteraction::ConfirmCertificate(const TCerticateInfo& cert)
{
    Calls.push_back("ConfirmCertificate " + cert.Server + "|" + cert.Fingerprint);
    return ConfirmAnswer;
}

// ---- event log

void ReportRunEvent(uint32_t eventId, const std::vector<std::string>& strings)
{
    if (EventSourceOk)
        WriteEventLog("Vastrel", EVENTLOG_ERROR_TYPE, 1, eventId, strings);
}

// ---- TRecordingHost

TRecordingHost::TRecordingHost()
{
    for (int i = 0; i < AutoTaskSlotCount; ++i)
        Slots.push_back(std::make_unique<TAutoTask>(std::string()));
}

TRecordingHost::~TRecordingHost() = default;

void TRecordingHost::SetExitCode(int exitCode, int taskNr)
{
    FExitState = exitCode;
    FailedTask = taskNr;
    ExitCodes.push_back(exitCode);
}

void TRecordingHost::KeepAwake(bool displayOn)
{
    PowerLog.push_back(displayOn ? "awake display" : "awake");
}

void TRecordingHost::EndKeepAwake()
{
    PowerLog.push_back("sleep");
}

TAutoTask* TRecordingHost::Slot(int nr)
{
    return nr >= 1 && nr <= AutoTaskSlotCount ? Slots[nr - 1].get() : nullptr;
}
