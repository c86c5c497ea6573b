#pragma once
// The questions of a backup or tool run answered by the program's dialogs: errors and notes in the
// message box, yes/no in its confirmation, passwords in the password dialog. Without a QApplication
// the dialogs answer as nobody present (the text goes to the standard error output, questions get
// No or Cancel), as THeadlessInteraction does.
//
// Header only: the editor's library links the engine interfaces and the foundation's dialogs.

#include "backup/EngineInterfaces.h"
#include "foundation/gui/PwdDlg.h"
#include "foundation/gui/ShowMessageDlg.h"

class TDialogInteraction : public IInteraction
{
public:
    void ErrorBox(const std::string& text, int delaySeconds) override { ErrorDialog(text, delaySeconds); }
    void InfoBox(const std::string& text) override { InfoDialog(text, 0); }
    bool Confirm(const std::string& text) override { return ConfirmDialog(text); }
    bool AskPassword(const std::string& title, const std::string& prompt, std::string& password) override
    {
        std::string pwd;
        if (AskPasswordCentered(title, prompt, false, pwd) != mrOk)
            return false;
        password = pwd;
        return true;
    }
};
