#include "backup/gui/ConfirmCertDlg.h"

#include "backup/gui/TaskDialogBase.h"

#include <QApplication>
#include <QClipboard>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyle>
#include <QThread>
#include <QVBoxLayout>
#include <memory>

#include "foundation/gui/Indicators.h"
#include "foundation/gui/StyleUtils.h"
#include "foundation/gui/WinUtils.h"
#include "rtl/DateTime.h"

std::string IssuerLines(const std::string& Issuer)
{
    std::string s = Issuer.empty() ? Issuer : Issuer.substr(1);
    for (char& c : s)
        if (c == '/')
            c = '\n';
    return s;
}

TConfirmCertDialog::TConfirmCertDialog(QWidget* parent) : TDialogBase(parent)
{
    setObjectName(QStringLiteral("ConfirmCertDialog"));
    setWindowTitle(TrQ("Accept server certificate"));
    leServer = ReadOnlyEdit(this, "leServer");
    auto* group = new QGroupBox(TrQ("Certitificate"), this);
    group->setObjectName(QStringLiteral("gbCertificate"));
    leVersion = ReadOnlyEdit(group, "leVersion");
    leSerial = ReadOnlyEdit(group, "leSerial");
    meIssuer = new QPlainTextEdit(group);
    meIssuer->setObjectName(QStringLiteral("meIssuer"));
    meIssuer->setReadOnly(true);
    meIssuer->setFixedHeight(meIssuer->fontMetrics().lineSpacing() * 5 + 10);
    leValid = ReadOnlyEdit(group, "leValid");
    siValid = new TSpotIndicator(group);
    siValid->setObjectName(QStringLiteral("siValid"));
    siValid->SetColorOff(ColorFromTColor(0x00A400));
    siValid->setFixedSize(siValid->sizeHint());
    leFingerprint = ReadOnlyEdit(group, "leFingerprint");
    leFingerprint->setMinimumWidth(leFingerprint->fontMetrics().horizontalAdvance(QString(47, QChar('D'))));
    btnCopyFp = new QPushButton(group);
    btnCopyFp->setObjectName(QStringLiteral("btnCopyFp"));
    btnCopyFp->setIcon(style()->standardIcon(QStyle::SP_FileDialogDetailedView));
    btnCopyFp->setToolTip(TrQ("Copy fingerprint to clipboard"));
    btnCopyFp->setAutoDefault(false);
    connect(btnCopyFp, &QPushButton::clicked, this, [this] { GuardSlot([this] { CopyFingerprint(); }); });

    auto* form = new QFormLayout(group);
    form->addRow(TrQ("Version"), leVersion);
    form->addRow(TrQ("Serial number"), leSerial);
    form->addRow(TrQ("Issuer"), meIssuer);
    auto* validRow = new QHBoxLayout;
    validRow->addWidget(leValid, 1);
    validRow->addWidget(siValid);
    form->addRow(TrQ("Valid until"), validRow);
    auto* fpRow = new QHBoxLayout;
    fpRow->addWidget(leFingerprint, 1);
    fpRow->addWidget(btnCopyFp);
    form->addRow(TrQ("MD5 fingerprint"), fpRow);

    auto* top = new QFormLayout;
    top->addRow(TrQ("Server"), leServer);
    auto* question = new QLabel(TrQ("Please confirm that you trust this certificate"), this);
    question->setObjectName(QStringLiteral("lbQuestion"));
    QFont bold = question->font();
    bold.setBold(true);
    question->setFont(bold);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(group);
    layout->addWidget(question);
    const TOkCancel buttons = AddOkCancel(this, layout, TrQ("Yes"));
    buttons.Cancel->setText(TrQ("No"));
    SetStaticTabStops(this, false);
}

void TConfirmCertDialog::ShowCertificate(const TCerticateInfo& ACertInfo)
{
    leServer->setText(QStr(ACertInfo.Server));
    leVersion->setText(QString::number(ACertInfo.Version));
    leSerial->setText(QString::number(ACertInfo.SerialNumber));
    meIssuer->setPlainText(QStr(IssuerLines(ACertInfo.Issuer)));
    leValid->setText(QStr(DateTimeToStr(ACertInfo.ValidUntil)));
    siValid->SetIndicate(Now() > ACertInfo.ValidUntil);
    leFingerprint->setText(QStr(ACertInfo.Fingerprint));
}

bool TConfirmCertDialog::Execute(const TCerticateInfo& ACertInfo)
{
    ShowCertificate(ACertInfo);
    adjustSize();
    PlaceFormAt(this, DefaultFormPos);
    return exec() == QDialog::Accepted;
}

void TConfirmCertDialog::CopyFingerprint()
{
    leFingerprint->selectAll();
    QApplication::clipboard()->setText(leFingerprint->selectedText());
    leFingerprint->deselect();
}

bool ShowConfirmCertDialog(const TCerticateInfo& ACertInfo)
{
    if (!GuiAvailable())
        return false;
    auto run = [&ACertInfo] {
        bool result = false;
        GuardSlot([&] {
            auto dlg = std::make_unique<TConfirmCertDialog>();
            result = dlg->Execute(ACertInfo);
        });
        return result;
    };
    QCoreApplication* app = QCoreApplication::instance();
    if (QThread::currentThread() == app->thread())
        return run();
    bool result = false;
    QMetaObject::invokeMethod(
        app, [&] { result = run(); }, Qt::BlockingQueuedConnection);
    return result;
}

bool TBackupDialogInteraction::ConfirmCertificate(const TCerticateInfo& cert)
{
    return ShowConfirmCertDialog(cert);
}
