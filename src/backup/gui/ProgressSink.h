#pragma once
// The progress window as the host of a run that works on its own thread: TWindowProgress feeds the
// window (the setters store into its shared record, which the window draws on its timer; opening,
// the result view and closing run on the window's thread while the run waits), TWindowInteraction
// asks the run's questions in front of the window. Both may also be called on the window's thread.

#include <QObject>
#include <QThread>
#include <functional>
#include <string>
#include <type_traits>

#include "backup/EngineInterfaces.h"
#include "backup/gui/Anzeige.h"
#include "foundation/gui/GuiUtils.h"

// Runs fn on obj's thread and waits for its result; at once when called there. An exception stays
// on obj's thread (reported there); the caller then gets a value-initialised result.
template <typename F> auto CallOnGui(QObject* obj, F&& fn) -> decltype(fn())
{
    using R = decltype(fn());
    if (QThread::currentThread() == obj->thread()) {
        if constexpr (std::is_void_v<R>)
            GuardSlot(fn);
        else {
            R r{};
            GuardSlot([&] { r = fn(); });
            return r;
        }
    } else if constexpr (std::is_void_v<R>) {
        QMetaObject::invokeMethod(
            obj, [&] { GuardSlot(fn); }, Qt::BlockingQueuedConnection);
    } else {
        R r{};
        QMetaObject::invokeMethod(
            obj, [&] { GuardSlot([&] { r = fn(); }); }, Qt::BlockingQueuedConnection);
        return r;
    }
}

class TWindowProgress : public IProgressSink
{
public:
    // control: where the window's buttons send their commands; may be set later (SetControl) but
    // before the first run.
    TWindowProgress(TZeigFortschritt& window, TRunControl* control) : FWindow(window), FControl(control) {}
    void SetControl(TRunControl* control) { FControl = control; }

    void ShowProgress(const std::string& task, const std::string& desc, const std::string& dest,
                      TProgressOptions options, int selectedAction, int wait, bool swapped) override;
    void SetDestination(const std::string& dest) override { FWindow.SetDestination(dest); }
    void SetPrompt(const std::string& text) override { FWindow.SetPrompt(text); }
    void SetActionHint(const std::string& text) override { FWindow.SetActionHint(text); }
    void WriteStatus(int index, const std::string& text) override { FWindow.WriteStatus(index, text); }
    void SetTotalAmount(const std::string& text) override { FWindow.SetTotalAmount(text); }
    int ShowStatus(TResultStatus mode, const std::string& hint, const std::string& status1,
                   const std::string& status2, int32_t color, int wait) override;
    int Terminate() override;
    void Close() override;

    void SetTotalProgress(int value) override { FWindow.SetTotalProgress(value); }
    void SetTempTotalProgress(int value) override { FWindow.SetTempTotalProgress(value); }
    void UpdateTotalProgress(int value) override { FWindow.UpdateTotalProgress(value); }
    void SetStepProgress(int value) override { FWindow.SetStepProgress(value); }
    void SetStepAmount(int64_t value) override { FWindow.SetStepAmount(value); }
    void SetAction(TFileAction action) override { FWindow.SetAction(action); }
    void SetSourceType(TSourceSelection source) override { FWindow.SetSourceType(source); }
    void UpdatePrompt(TSourceSelection source, const std::string& hint, const std::string& prompt,
                      int64_t size) override
    {
        FWindow.UpdatePrompt(source, hint, prompt, size);
    }
    void SetSpeed(const std::string& text) override { FWindow.SetSpeed(text); }
    void SetElapsedTime(TDateTime value) override { FWindow.SetElapsedTime(value); }
    void SetPauseEnabled(bool value) override { FWindow.SetPauseEnabled(value); }

    // Called on the window's thread before a run opens the window (the program loads the window's
    // saved state there once its settings file is known).
    std::function<void()> BeforeShow;
    // The options every run adds (pause and minimise buttons).
    TProgressOptions ExtraOptions = ProgressOption(poPause);

private:
    TZeigFortschritt& FWindow;
    TRunControl* FControl;
};

class TWindowInteraction : public IInteraction
{
public:
    explicit TWindowInteraction(TZeigFortschritt& window) : FWindow(window) {}
    void ErrorBox(const std::string& text, int delaySeconds) override;
    void InfoBox(const std::string& text) override;
    bool Confirm(const std::string& text) override;
    bool AskPassword(const std::string& title, const std::string& prompt, std::string& password) override;
    // The server-certificate question (the dialog moves itself to the GUI thread).
    bool ConfirmCertificate(const TCerticateInfo& cert) override;

private:
    TZeigFortschritt& FWindow;
};
