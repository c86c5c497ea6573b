#include "backup/gui/FtpProxyDlg.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QVBoxLayout>
#include <memory>

#include "foundation/gui/ShowMessageDlg.h"
#include "foundation/gui/WinUtils.h"
#include "rtl/SysUtils.h"

namespace {

QLineEdit* Edit(QWidget* parent, const char* name)
{
    auto* e = new QLineEdit(parent);
    e->setObjectName(QLatin1String(name));
    return e;
}

// A whole number from 0 to 65535 (blanks around it allowed).
bool ParsePort(const QString& text, int& port)
{
    bool ok = false;
    const int v = text.trimmed().toInt(&ok, 10);
    if (!ok || v < 0 || v > 65535)
        return false;
    port = v;
    return true;
}

} // namespace

TFtpProxyDialog::TFtpProxyDialog(QWidget* parent) : TDialogBase(parent)
{
    setObjectName(QStringLiteral("FtpProxyDialog"));
    setWindowTitle(TrQ("FTP proxy server options"));
    rgMethod = new QGroupBox(TrQ("Connection method"), this);
    rgMethod->setObjectName(QStringLiteral("rgMethod"));
    auto* methods = new QVBoxLayout(rgMethod);
    const char* const texts[] = {"Send command USER user@hostname",
                                 "Send command SITE (with logon)",
                                 "Send command OPEN",
                                 "USER user@firewalluser@hostname",
                                 "Transparent",
                                 "USER hostuserID@hostname firewallUsername"};
    int i = 0;
    for (const char* t : texts) {
        auto* rb = new QRadioButton(TrQ(t), rgMethod);
        rb->setObjectName(QStringLiteral("rbMethod%1").arg(i++));
        methods->addWidget(rb);
        Methods.push_back(rb);
    }
    edProxy = Edit(this, "edProxy");
    edProxy->setMinimumWidth(260);
    edtPort = Edit(this, "edtPort");
    edtPort->setMaximumWidth(80);
    edUser = Edit(this, "edUser");
    edProxyPwd = Edit(this, "edProxyPwd");
    cbShowPwd = new QCheckBox(TrQ("Show password"), this);
    cbShowPwd->setObjectName(QStringLiteral("cbShowPwd"));
    cbShowPwd->setChecked(true);
    connect(cbShowPwd, &QCheckBox::toggled, this,
            [this](bool on) { edProxyPwd->setEchoMode(on ? QLineEdit::Normal : QLineEdit::Password); });
    auto* form = new QFormLayout;
    form->addRow(TrQ("Server name:"), edProxy);
    form->addRow(TrQ("Port:"), edtPort);
    form->addRow(TrQ("User name:"), edUser);
    form->addRow(TrQ("Password:"), edProxyPwd);
    form->addRow(QString(), cbShowPwd);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(rgMethod);
    layout->addLayout(form);
    AddOkCancel(this, layout);
}

QString TFtpProxyDialog::FocusedHint() const
{
    const auto* edit = qobject_cast<const QLineEdit*>(focusWidget());
    if (edit && edit->toolTip().isEmpty() && !edit->placeholderText().isEmpty())
        return edit->placeholderText();
    return TDialogBase::FocusedHint();
}

bool TFtpProxyDialog::Execute(TFtpProxyParams& AProxyPar, bool ShowPwd)
{
    cbShowPwd->setVisible(ShowPwd);
    edProxy->setText(QStr(AProxyPar.Server));
    edtPort->setText(QString::number(AProxyPar.Port));
    edUser->setText(QStr(AProxyPar.Username));
    edProxyPwd->setText(QStr(AProxyPar.Password));
    const int mode = static_cast<int>(AProxyPar.Mode);
    const int item = mode > fpcmNone && mode <= static_cast<int>(Methods.size()) ? mode - 1 : 0;
    Methods[static_cast<size_t>(item)]->setChecked(true);
    adjustSize();
    PlaceFormAt(this, DefaultFormPos);
    edProxy->setFocus();
    if (exec() != QDialog::Accepted)
        return false;
    AProxyPar.Server = StdStr(edProxy->text());
    AProxyPar.Port = FPort;
    AProxyPar.Username = StdStr(edUser->text());
    AProxyPar.Password = StdStr(edProxyPwd->text());
    for (size_t i = 0; i < Methods.size(); ++i)
        if (Methods[i]->isChecked())
            AProxyPar.Mode = static_cast<TIdFtpProxyType>(i + 1);
    return true;
}

void TFtpProxyDialog::accept()
{
    GuardSlot([this] {
        if (!ParsePort(edtPort->text(), FPort)) {
            ErrorDialog(SafeFormat(_("Invalid port number (%s)"), {StdStr(edtPort->text())}));
            edtPort->setFocus();
            edtPort->selectAll();
            return;
        }
        QDialog::accept();
    });
}

bool ShowFtpProxyDialog(TFtpProxyParams& AProxyPar, bool ShowPwd)
{
    if (!GuiAvailable())
        return false;
    auto dlg = std::make_unique<TFtpProxyDialog>();
    return dlg->Execute(AProxyPar, ShowPwd);
}
