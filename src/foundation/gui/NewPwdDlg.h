#pragma once
// Asking for a new password, optionally twice, with a minimum length and a strength meter.

#include <QPoint>
#include <string>

#include "foundation/gui/GuiUtils.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

class TNewPwdDialog : public TDialogBase
{
public:
    explicit TNewPwdDialog(QWidget* parent = nullptr);
    bool Execute(const QPoint& APos, const std::string& Title, std::string& Pwd, bool Confirm, bool Show,
                 int MinLen);
    // The percentage the meter shows.
    int MeterPercent() const { return FPercent; }
    void accept() override;

private:
    void UpdateMeter();
    QLineEdit* edtPwd;
    QLineEdit* edtRepPwd;
    QWidget* paConfirm;
    QLabel* lblRepPwd;
    QPushButton* btnShow;
    QLabel* imgBar;
    bool FConf = false;
    int FMinLen = 0;
    int FPercent = 0;
};

bool AskNewPasswordAnsiAt(const QPoint& APos, const std::string& Title, std::string& Pwd, bool Confirm,
                          bool Show, int MinLen);
bool AskNewPasswordAnsi(const std::string& Title, std::string& Pwd, bool Confirm, bool Show, int MinLen);
bool AskNewPasswordAt(const QPoint& APos, const std::string& Title, std::string& Pwd, bool Confirm, bool Show,
                      int MinLen);
bool AskNewPassword(const std::string& Title, std::string& Pwd, bool Confirm, bool Show, int MinLen);
bool SpecifyPasswordAt(const QPoint& APos, const std::string& Title, std::string& Pwd);
bool SpecifyPasswordAnsiAt(const QPoint& APos, const std::string& Title, std::string& Pwd);
