#include "foundation/gui/NewPwdDlg.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>
#include <memory>

#include "foundation/PasswordStrength.h"
#include "foundation/gui/ShowMessageDlg.h"
#include "foundation/gui/WinUtils.h"
#include "rtl/SysUtils.h"

namespace {
int Channel(int x, int from, int to, int h)
{
    return h == 0 ? from : static_cast<int>(std::lround(static_cast<double>(x) * (to - from) / h + from));
}
} // namespace

TNewPwdDialog::TNewPwdDialog(QWidget* parent) : TDialogBase(parent)
{
    setObjectName(QStringLiteral("NewPwdDialog"));
    edtPwd = new QLineEdit(this);
    edtPwd->setObjectName(QStringLiteral("edtPwd"));
    edtPwd->setEchoMode(QLineEdit::Password);
    btnShow = new QPushButton(TrQ("Show password"), this);
    btnShow->setObjectName(QStringLiteral("btnShow"));
    btnShow->setCheckable(true);
    btnShow->setAutoDefault(false);
    paConfirm = new QWidget(this);
    paConfirm->setObjectName(QStringLiteral("paConfirm"));
    edtRepPwd = new QLineEdit(paConfirm);
    edtRepPwd->setObjectName(QStringLiteral("edtRepPwd"));
    edtRepPwd->setEchoMode(QLineEdit::Password);
    auto* confirm = new QHBoxLayout(paConfirm);
    confirm->setContentsMargins(0, 0, 0, 0);
    confirm->addWidget(edtRepPwd);
    lblRepPwd = new QLabel(TrQ("Repeat password:"), this);
    imgBar = new QLabel(this);
    imgBar->setObjectName(QStringLiteral("imgBar"));
    imgBar->setFixedSize(200, 18);
    auto* pwdRow = new QHBoxLayout;
    pwdRow->addWidget(edtPwd, 1);
    pwdRow->addWidget(btnShow);
    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(TrQ("Enter password:"), this), 0, 0);
    grid->addLayout(pwdRow, 0, 1);
    grid->addWidget(lblRepPwd, 1, 0);
    grid->addWidget(paConfirm, 1, 1);
    grid->addWidget(new QLabel(TrQ("Quality:"), this), 2, 0);
    grid->addWidget(imgBar, 2, 1, Qt::AlignLeft);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    AddOkCancel(this, layout);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    edtPwd->setMinimumWidth(220);
    connect(edtPwd, &QLineEdit::textChanged, this, [this] { GuardSlot([this] { UpdateMeter(); }); });
    connect(edtPwd, &QLineEdit::editingFinished, this, [this] { GuardSlot([this] { UpdateMeter(); }); });
    connect(btnShow, &QPushButton::toggled, this, [this](bool down) {
        const auto mode = down ? QLineEdit::Normal : QLineEdit::Password;
        edtPwd->setEchoMode(mode);
        edtRepPwd->setEchoMode(mode);
    });
}

void TNewPwdDialog::UpdateMeter()
{
    const std::string text = StdStr(edtPwd->text());
    const int length = static_cast<int>(edtPwd->text().toUcs4().size());
    FPercent = length < FMinLen ? 0 : GetPasswordStrength(text);
    const int w = imgBar->width(), hgt = imgBar->height();
    QPixmap pm(w, hgt);
    pm.fill(palette().color(QPalette::Window));
    QPainter p(&pm);
    const int h = w / 2;
    for (int x = 0; x <= h; ++x) {
        p.setPen(QColor(255, Channel(x, 0, 255, h), 0));
        p.drawLine(x, 0, x, hgt - 1);
    }
    for (int x = h; x < w; ++x) {
        p.setPen(QColor(Channel(x - h, 255, 0, w - h), Channel(x - h, 255, 128, w - h), 0));
        p.drawLine(x, 0, x, hgt - 1);
    }
    const int filled = std::clamp(MulDiv(w, FPercent, 100), 0, w);
    p.fillRect(filled, 0, w - filled, hgt, palette().color(QPalette::Window));
    p.setPen(Qt::black);
    p.drawRect(0, 0, w - 1, hgt - 1);
    p.setPen(palette().color(QPalette::WindowText));
    p.drawText(QRect(0, 0, 2 * h, hgt), Qt::AlignCenter, QStringLiteral("%1%").arg(FPercent));
    p.end();
    imgBar->setPixmap(pm);
}

bool TNewPwdDialog::Execute(const QPoint& APos, const std::string& Title, std::string& Pwd, bool Confirm,
                            bool Show, int MinLen)
{
    setWindowTitle(QStr(Title));
    if (Show) {
        edtPwd->setText(QStr(Pwd));
        edtRepPwd->setText(QStr(Pwd));
    } else {
        edtPwd->clear();
        edtRepPwd->clear();
    }
    btnShow->setVisible(Show);
    // The meter shows the incoming password with the previous minimum length.
    {
        const QSignalBlocker block(edtPwd);
        const QString shown = edtPwd->text();
        edtPwd->setText(QStr(Pwd));
        UpdateMeter();
        edtPwd->setText(shown);
    }
    FConf = Confirm;
    FMinLen = MinLen;
    paConfirm->setVisible(Confirm);
    lblRepPwd->setVisible(Confirm);
    edtPwd->setFocus();
    adjustSize();
    PlaceFormAt(this, APos);
    if (exec() != QDialog::Accepted)
        return false;
    Pwd = StdStr(edtPwd->text());
    return true;
}

void TNewPwdDialog::accept()
{
    bool ok = true;
    GuardSlot([&] {
        if (!FConf)
            return;
        const QString text = edtPwd->text();
        const int length = static_cast<int>(text.toUcs4().size());
        if (length > 0 && length < FMinLen) {
            ok = false;
            edtPwd->setFocus();
            ErrorDialog(SafeFormat(_("Minimum length of password is %u characters"), {FMinLen}));
        } else if (text != edtRepPwd->text()) {
            ok = false;
            edtRepPwd->setFocus();
            ErrorDialog(_("Passwords do not match!"));
        }
    });
    if (ok)
        QDialog::accept();
}

namespace {
bool Run(const QPoint& APos, const std::string& Title, std::string& Pwd, bool Confirm, bool Show, int MinLen)
{
    if (!GuiAvailable())
        return false;
    auto dlg = std::make_unique<TNewPwdDialog>();
    return dlg->Execute(APos, Title, Pwd, Confirm, Show, MinLen);
}

// The byte-string forms start with an empty password.
bool RunAnsi(const QPoint& APos, const std::string& Title, std::string& Pwd, bool Confirm, bool Show,
             int MinLen)
{
    std::string p;
    if (!Run(APos, Title, p, Confirm, Show, MinLen))
        return false;
    Pwd = p;
    return true;
}
} // namespace

bool AskNewPasswordAnsiAt(const QPoint& APos, const std::string& Title, std::string& Pwd, bool Confirm,
                          bool Show, int MinLen)
{
    return RunAnsi(APos, Title, Pwd, Confirm, Show, MinLen);
}

bool AskNewPasswordAnsi(const std::string& Title, std::string& Pwd, bool Confirm, bool Show, int MinLen)
{
    return RunAnsi(DefaultFormPos, Title, Pwd, Confirm, Show, MinLen);
}

bool AskNewPasswordAt(const QPoint& APos, const std::string& Title, std::string& Pwd, bool Confirm, bool Show,
                      int MinLen)
{
    return Run(APos, Title, Pwd, Confirm, Show, MinLen);
}

bool AskNewPassword(const std::string& Title, std::string& Pwd, bool Confirm, bool Show, int MinLen)
{
    return Run(DefaultFormPos, Title, Pwd, Confirm, Show, MinLen);
}

bool SpecifyPasswordAt(const QPoint& APos, const std::string& Title, std::string& Pwd)
{
    return Run(APos, Title, Pwd, false, false, 8);
}

bool SpecifyPasswordAnsiAt(const QPoint& APos, const std::string& Title, std::string& Pwd)
{
    return RunAnsi(APos, Title, Pwd, false, false, 8);
}
