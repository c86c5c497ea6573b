#include "backup/gui/BuPwdDlg.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>
#include <memory>

#include "foundation/gui/ShowMessageDlg.h"
#include "foundation/gui/WinUtils.h"

TCryptPwdDialog::TCryptPwdDialog(QWidget* parent) : TTaskDialogBase("", parent)
{
    setObjectName(QStringLiteral("CryptPwdDialog"));
    lblPrompt = new QLabel(this);
    lblPrompt->setObjectName(QStringLiteral("lblPrompt"));
    lblPrompt->setWordWrap(true);
    edtPwd = new QLineEdit(this);
    edtPwd->setObjectName(QStringLiteral("edtPwd"));
    edtPwd->setEchoMode(QLineEdit::Password);
    edtPwd->setMinimumWidth(240);
    edtRepPwd = new QLineEdit(this);
    edtRepPwd->setObjectName(QStringLiteral("edtRepPwd"));
    edtRepPwd->setEchoMode(QLineEdit::Password);
    auto* first = new QLabel(TrQ("Enter password:"), this);
    first->setBuddy(edtPwd);
    auto* second = new QLabel(TrQ("Repeat password:"), this);
    second->setBuddy(edtRepPwd);
    auto* grid = new QGridLayout;
    grid->addWidget(first, 0, 0);
    grid->addWidget(edtPwd, 0, 1);
    grid->addWidget(second, 1, 0);
    grid->addWidget(edtRepPwd, 1, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lblPrompt);
    layout->addLayout(grid);
    AddOkCancel(this, layout);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

bool TCryptPwdDialog::Execute(const std::string& Title, const std::string& Prompt, std::string& Pwd,
                              int MinLen)
{
    setWindowTitle(QStr(Title));
    lblPrompt->setText(QStr(Prompt));
    edtPwd->clear();
    edtRepPwd->clear();
    FMinLen = MinLen;
    edtPwd->setFocus();
    PlaceDialog(this, DefaultFormPos);
    if (exec() != QDialog::Accepted)
        return false;
    Pwd = StdStr(edtPwd->text());
    return true;
}

void TCryptPwdDialog::accept()
{
    bool ok = true;
    GuardSlot([&] { ok = CheckPasswordPair(edtPwd, edtRepPwd, FMinLen, true); });
    if (ok)
        QDialog::accept();
}

bool ShowCryptPwdDialog(const std::string& Title, const std::string& Prompt, std::string& Pwd, int MinLen)
{
    if (!GuiAvailable())
        return false;
    auto dlg = std::make_unique<TCryptPwdDialog>();
    return dlg->Execute(Title, Prompt, Pwd, MinLen);
}
