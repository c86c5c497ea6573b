#pragma once
// Asking twice for the password with which a backup run encrypts files.

#include <string>

#include "backup/gui/TaskDialogBase.h"

class QLabel;
class QLineEdit;

class TCryptPwdDialog : public TTaskDialogBase
{
public:
    explicit TCryptPwdDialog(QWidget* parent = nullptr);
    bool Execute(const std::string& Title, const std::string& Prompt, std::string& Pwd, int MinLen);
    // Closes only when both fields match and the text is empty or at least FMinLen characters long.
    void accept() override;

private:
    QLabel* lblPrompt;
    QLineEdit* edtPwd;
    QLineEdit* edtRepPwd;
    int FMinLen = 0;
};

bool ShowCryptPwdDialog(const std::string& Title, const std::string& Prompt, std::string& Pwd, int MinLen);
