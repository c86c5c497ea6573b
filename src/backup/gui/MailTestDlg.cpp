#include "backup/gui/MailTestDlg.h"

#include <QApplication>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include "foundation/BuConsts.h"
#include "foundation/XlFileUtils.h"
#include "foundation/gui/ShowMemo.h"
#include "foundation/gui/WinUtils.h"

TMailTestDialog::TMailTestDialog(QWidget* parent) : TTaskDialogBase("", parent)
{
    setObjectName(QStringLiteral("MailTestDialog"));
    setWindowTitle(TrQ("Mail delivery status"));
    imgIcon = new QLabel(this);
    imgIcon->setObjectName(QStringLiteral("imgIcon"));
    imgIcon->setAlignment(Qt::AlignTop);
    stInfo = new QLabel(this);
    stInfo->setObjectName(QStringLiteral("stInfo"));
    stInfo->setTextInteractionFlags(Qt::TextSelectableByMouse);
    gbLog = new QGroupBox(TrQ("SMTP communication log"), this);
    gbLog->setObjectName(QStringLiteral("gbLog"));
    btbShowLog = new QPushButton(TrQ("Show"), gbLog);
    btbShowLog->setObjectName(QStringLiteral("btbShowLog"));
    btbShowLog->setAutoDefault(false);
    btbDelLog = new QPushButton(TrQ("Delete"), gbLog);
    btbDelLog->setObjectName(QStringLiteral("btbDelLog"));
    btbDelLog->setAutoDefault(false);
    auto* logRow = new QHBoxLayout(gbLog);
    logRow->addWidget(btbShowLog);
    logRow->addWidget(btbDelLog);
    logRow->addStretch(1);
    btbOK = new QPushButton(TrQ("OK"), this);
    btbOK->setObjectName(QStringLiteral("btbOK"));
    btbOK->setDefault(true);
    auto* info = new QHBoxLayout;
    info->addWidget(imgIcon);
    info->addSpacing(10);
    info->addWidget(stInfo, 1);
    auto* okRow = new QHBoxLayout;
    okRow->addStretch(1);
    okRow->addWidget(btbOK);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(info);
    layout->addWidget(gbLog);
    layout->addLayout(okRow);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    connect(btbOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(btbShowLog, &QPushButton::clicked, this, [this] { GuardSlot([this] { ShowLogClick(); }); });
    connect(btbDelLog, &QPushButton::clicked, this, [this] { GuardSlot([this] { DelLogClick(); }); });
}

void TMailTestDialog::ShowLogClick()
{
    ShowPlainTextFile(StdStr(windowTitle()), lfn, GetBottomLeftPos(btbShowLog), stModal, 0,
                      ProgSettings.PrinterSettings, true, 0);
}

void TMailTestDialog::DelLogClick()
{
    if (lfn.empty() || !XlFileExists(lfn))
        return;
    if (ConfirmDialogAt(GetTopRightPos(btbDelLog), SafeFormat(_("Delete log file \"%s\"?"), {lfn}), mbNo))
        XlDeleteFile(lfn);
}

bool TMailTestDialog::Execute(const std::string& ACaption, const std::string& ALogFile,
                              TMsgDialogType DlgType)
{
    QStyle::StandardPixmap icon = QStyle::SP_MessageBoxInformation;
    switch (DlgType) {
    case mdtError:
    case mdtConfirmError:
        icon = QStyle::SP_MessageBoxCritical;
        break;
    case mdtWarning:
        icon = QStyle::SP_MessageBoxWarning;
        break;
    case mdtConfirm:
    case mdtConfirmRetry:
    case mdtConfirmCancel:
    case mdtConfirmYesNo:
        icon = QStyle::SP_MessageBoxQuestion;
        break;
    default:
        break;
    }
    imgIcon->setVisible(DlgType != mdtCustom);
    imgIcon->setPixmap(style()->standardIcon(icon).pixmap(32, 32));
    QString text = QStr(ACaption);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    stInfo->setText(text);
    stInfo->setMinimumWidth(GetMaxLineWidthInFont(text, stInfo->font()) * 11 / 10);
    lfn = ALogFile;
    PlaceDialog(this, DefaultFormPos);
    exec();
    return true;
}

bool ShowMailTestDialog(const std::string& ACaption, const std::string& ALogFile, TMsgDialogType DlgType)
{
    if (!GuiAvailable())
        return true;
    static QPointer<TMailTestDialog> dialog;
    if (!dialog)
        dialog = new TMailTestDialog;
    return dialog->Execute(ACaption, ALogFile, DlgType);
}
