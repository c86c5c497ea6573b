#include "backup/gui/ProgressSink.h"

#include "backup/gui/ConfirmCertDlg.h"
#include "foundation/gui/ShowMessageDlg.h"

void TWindowProgress::ShowProgress(const std::string& task, const std::string& desc, const std::string& dest,
                                   TProgressOptions options, int selectedAction, int wait, bool swapped)
{
    CallOnGui(&FWindow, [&] {
        if (BeforeShow)
            BeforeShow();
        FWindow.ShowProgress(FControl, task, desc, dest, options | ExtraOptions, selectedAction, wait,
                             swapped);
    });
}

int TWindowProgress::ShowStatus(TResultStatus mode, const std::string& hint, const std::string& status1,
                                const std::string& status2, int32_t color, int wait)
{
    return CallOnGui(&FWindow, [&] { return FWindow.ShowStatus(mode, hint, status1, status2, color, wait); });
}

int TWindowProgress::Terminate()
{
    return CallOnGui(&FWindow, [&] { return FWindow.Terminate(); });
}

void TWindowProgress::Close()
{
    CallOnGui(&FWindow, [&] { FWindow.CloseView(); });
}

void TWindowInteraction::ErrorBox(const std::string& text, int delaySeconds)
{
    CallOnGui(&FWindow, [&] { FWindow.ShowError(text, delaySeconds); });
}

void TWindowInteraction::InfoBox(const std::string& text)
{
    CallOnGui(&FWindow, [&] {
        FWindow.SetLockStatus(1);
        InfoDialog(text, 0);
        FWindow.SetLockStatus(0);
    });
}

bool TWindowInteraction::Confirm(const std::string& text)
{
    return CallOnGui(&FWindow, [&] { return FWindow.Confirm(text); });
}

bool TWindowInteraction::ConfirmCertificate(const TCerticateInfo& cert)
{
    return ShowConfirmCertDialog(cert);
}

bool TWindowInteraction::AskPassword(const std::string& title, const std::string& prompt,
                                     std::string& password)
{
    return CallOnGui(&FWindow, [&] {
        std::string pwd;
        if (FWindow.GetPassword(title, prompt, false, pwd) != mrOk)
            return false;
        password = pwd;
        return true;
    });
}
