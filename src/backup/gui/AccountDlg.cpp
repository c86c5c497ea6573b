#include "backup/gui/AccountDlg.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <memory>

#include "foundation/gui/ShowMessageDlg.h"
#include "foundation/gui/WinUtils.h"

TAccountDialog::TAccountDialog(QWidget* parent) : TTaskDialogBase("", parent)
{
    setObjectName(QStringLiteral("AccountDialog"));
    pnTop = new QWidget(this);
    pnTop->setObjectName(QStringLiteral("pnTop"));
    laHint = new QLabel(pnTop);
    laHint->setObjectName(QStringLiteral("laHint"));
    laHint->setWordWrap(true);
    edtName = new QLineEdit(pnTop);
    edtName->setObjectName(QStringLiteral("edtName"));
    edtName->setPlaceholderText(TrQ("User name"));
    edtName->setMinimumWidth(240);
    edtPwd = new QLineEdit(pnTop);
    edtPwd->setObjectName(QStringLiteral("edtPwd"));
    edtPwd->setPlaceholderText(TrQ("Password"));
    edtPwd->setEchoMode(QLineEdit::Password);
    auto* nameLabel = new QLabel(TrQ("Name:"), pnTop);
    nameLabel->setBuddy(edtName);
    auto* pwdLabel = new QLabel(TrQ("Password:"), pnTop);
    pwdLabel->setBuddy(edtPwd);
    auto* top = new QGridLayout(pnTop);
    top->setContentsMargins(0, 0, 0, 0);
    top->addWidget(laHint, 0, 0, 1, 2);
    top->addWidget(nameLabel, 1, 0);
    top->addWidget(edtName, 1, 1);
    top->addWidget(pwdLabel, 2, 0);
    top->addWidget(edtPwd, 2, 1);

    pnCenter = new QWidget(this);
    pnCenter->setObjectName(QStringLiteral("pnCenter"));
    edtRepPwd = new QLineEdit(pnCenter);
    edtRepPwd->setObjectName(QStringLiteral("edtRepPwd"));
    edtRepPwd->setPlaceholderText(TrQ("Confirm password"));
    edtRepPwd->setEchoMode(QLineEdit::Password);
    auto* repLabel = new QLabel(TrQ("Repeat password:"), pnCenter);
    repLabel->setBuddy(edtRepPwd);
    auto* center = new QGridLayout(pnCenter);
    center->setContentsMargins(0, 0, 0, 0);
    center->addWidget(repLabel, 0, 0);
    center->addWidget(edtRepPwd, 0, 1);
    // Both grids keep their fields in one column.
    const int labelWidth =
        std::max({nameLabel->sizeHint().width(), pwdLabel->sizeHint().width(), repLabel->sizeHint().width()});
    top->setColumnMinimumWidth(0, labelWidth);
    center->setColumnMinimumWidth(0, labelWidth);

    pnBottom = new QWidget(this);
    pnBottom->setObjectName(QStringLiteral("pnBottom"));
    btnShow = new QPushButton(TrQ("Show"), pnBottom);
    btnShow->setObjectName(QStringLiteral("btnShow"));
    btnShow->setToolTip(TrQ("Show password"));
    btnShow->setCheckable(true);
    btnShow->setAutoDefault(false);
    auto* bottom = new QVBoxLayout(pnBottom);
    bottom->setContentsMargins(0, 0, 0, 0);
    const TOkCancel buttons = AddOkCancel(this, bottom);
    static_cast<QHBoxLayout*>(bottom->itemAt(0)->layout())->insertWidget(0, btnShow);
    (void)buttons;

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(pnTop);
    layout->addWidget(pnCenter);
    layout->addWidget(pnBottom);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    connect(btnShow, &QPushButton::toggled, this, [this](bool down) {
        const auto mode = down ? QLineEdit::Normal : QLineEdit::Password;
        edtPwd->setEchoMode(mode);
        edtRepPwd->setEchoMode(mode);
    });
}

QString TAccountDialog::FocusedHint() const
{
    return TTaskDialogBase::FocusedHint();
}

bool TAccountDialog::Execute(const std::string& Title, const std::string& Hint, std::string& Username,
                             std::string& Pwd, bool Confirm, bool Show, int MinLen)
{
    setWindowTitle(QStr(Title));
    laHint->setText(QStr(Hint));
    laHint->setVisible(!Hint.empty());
    edtName->setText(QStr(Username));
    edtPwd->setText(QStr(Pwd));
    edtRepPwd->setText(QStr(Pwd));
    btnShow->setVisible(Show);
    pnCenter->setVisible(Confirm);
    FConf = Confirm;
    FMinLen = MinLen;
    edtName->setFocus();
    PlaceDialog(this, DefaultFormPos);
    if (exec() != QDialog::Accepted)
        return false;
    Username = StdStr(edtName->text());
    Pwd = StdStr(edtPwd->text());
    return true;
}

void TAccountDialog::accept()
{
    bool ok = true;
    GuardSlot([&] { ok = !FConf || CheckPasswordPair(edtPwd, edtRepPwd, FMinLen, false); });
    if (ok)
        QDialog::accept();
}

bool ShowAccountDialog(const std::string& Title, const std::string& Hint, std::string& Username,
                       std::string& Pwd, bool Confirm, bool Show, int MinLen)
{
    if (!GuiAvailable())
        return false;
    auto dlg = std::make_unique<TAccountDialog>();
    return dlg->Execute(Title, Hint, Username, Pwd, Confirm, Show, MinLen);
}
