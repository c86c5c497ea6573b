#pragma once
// Asking for an existing password, with a paste button, an optional Skip button and an optional
// choice of the AES key depth. Passwords are byte strings (UTF-8 text as typed).

#include <QPoint>
#include <string>

#include "foundation/gui/GuiUtils.h"
#include "foundation/gui/ShowMessageDlg.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

class TPasswordDialog : public TDialogBase
{
public:
    explicit TPasswordDialog(QWidget* parent = nullptr);
    // mrOk, mrCancel or mrYes (Skip). With Enc, EncMode returns 0 automatic, 1 128 bit, 3 256 bit.
    TModalResult Execute(const QPoint& APos, const std::string& Title, const std::string& Prompt, bool Skip,
                         bool Enc, std::string& Pwd, int& EncMode);

protected:
    void reject() override;

private:
    QLabel* lblPrompt;
    QLineEdit* edtPwd;
    QPushButton* bbPaste;
    QGroupBox* gbEncrypt;
    QRadioButton* rbEnc128;
    QRadioButton* rbEnc256;
    QRadioButton* rbEncAuto;
    QPushButton* btnSkip;
};

TModalResult AskPassword(const QPoint& APos, const std::string& Title, const std::string& Prompt, bool Skip,
                         bool Enc, std::string& Pwd, int& EncMode);
// Without the depth group (EncMode is left as it was).
TModalResult AskPasswordAnsi(const QPoint& APos, const std::string& Title, const std::string& Prompt,
                             bool Skip, bool Enc, std::string& Pwd, int& EncMode);
TModalResult AskPasswordAnsiSkip(const QPoint& APos, const std::string& Title, const std::string& Prompt,
                                 bool Skip, std::string& Pwd);
// The prompt of backup, restore and verify runs, centred on the main window.
TModalResult AskPasswordCentered(const std::string& Title, const std::string& Prompt, bool Skip,
                                 std::string& Pwd);
bool AskPasswordOk(const QPoint& APos, const std::string& Title, const std::string& Prompt, std::string& Pwd);
bool AskPasswordAnsiOk(const QPoint& APos, const std::string& Title, const std::string& Prompt,
                       std::string& Pwd);
