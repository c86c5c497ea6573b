#pragma once
// Editing the FTP-level proxy of a connection: the login method, server, port, user and password.

#include <string>
#include <vector>

#include "archive/FtpUtils.h"
#include "foundation/gui/GuiUtils.h"

class QCheckBox;
class QGroupBox;
class QLineEdit;
class QRadioButton;

class TFtpProxyDialog : public TDialogBase
{
public:
    explicit TFtpProxyDialog(QWidget* parent = nullptr);
    // ShowPwd shows the "Show password" box. True on OK; AProxyPar then holds the edited values.
    bool Execute(TFtpProxyParams& AProxyPar, bool ShowPwd);
    void accept() override;

protected:
    QString FocusedHint() const override;

private:
    QGroupBox* rgMethod;
    std::vector<QRadioButton*> Methods;
    QLineEdit* edProxy;
    QLineEdit* edtPort;
    QLineEdit* edUser;
    QLineEdit* edProxyPwd;
    QCheckBox* cbShowPwd;
    int FPort = 0;
};

bool ShowFtpProxyDialog(TFtpProxyParams& AProxyPar, bool ShowPwd);
