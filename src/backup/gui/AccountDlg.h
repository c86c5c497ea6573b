#pragma once
// The user name and password of a network account.

#include <string>

#include "backup/gui/TaskDialogBase.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

class TAccountDialog : public TTaskDialogBase
{
public:
    explicit TAccountDialog(QWidget* parent = nullptr);
    bool Execute(const std::string& Title, const std::string& Hint, std::string& Username, std::string& Pwd,
                 bool Confirm, bool Show, int MinLen);
    void accept() override;

protected:
    QString FocusedHint() const override;

private:
    QWidget* pnTop;
    QWidget* pnCenter;
    QWidget* pnBottom;
    QLabel* laHint;
    QLineEdit* edtName;
    QLineEdit* edtPwd;
    QLineEdit* edtRepPwd;
    QPushButton* btnShow;
    bool FConf = false;
    int FMinLen = 0;
};

bool ShowAccountDialog(const std::string& Title, const std::string& Hint, std::string& Username,
                       std::string& Pwd, bool Confirm, bool Show, int MinLen);
