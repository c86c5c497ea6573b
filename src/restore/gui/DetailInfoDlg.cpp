#include "restore/gui/DetailInfoDlg.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include "foundation/gui/WinUtils.h"
#include "rtl/Gettext.h"

TDetailInfoDialog::TDetailInfoDialog(QWidget* parent) : TDialogBase(parent)
{
    setObjectName(QStringLiteral("DetailInfoDialog"));
    setWindowTitle(TrQ("Information"));
    auto* layout = new QVBoxLayout(this);
    pnTop = new QWidget(this);
    pnTop->setObjectName(QStringLiteral("pnTop"));
    auto* top = new QHBoxLayout(pnTop);
    imIcon = new QLabel(pnTop);
    imIcon->setObjectName(QStringLiteral("imIcon"));
    imIcon->setAlignment(Qt::AlignTop);
    laInfo = new QLabel(pnTop);
    laInfo->setObjectName(QStringLiteral("laInfo"));
    laInfo->setWordWrap(true);
    laInfo->setMinimumWidth(300);
    top->addWidget(imIcon);
    top->addWidget(laInfo, 1);
    auto* buttons = new QVBoxLayout;
    OKBtn = new QPushButton(TrQ("OK"), pnTop);
    OKBtn->setObjectName(QStringLiteral("OKBtn"));
    OKBtn->setDefault(true);
    btDetails = new QPushButton(TrQ("Details"), pnTop);
    btDetails->setObjectName(QStringLiteral("btDetails"));
    buttons->addWidget(OKBtn);
    buttons->addWidget(btDetails);
    buttons->addStretch();
    top->addLayout(buttons);
    layout->addWidget(pnTop);
    lbDetails = new QListWidget(this);
    lbDetails->setObjectName(QStringLiteral("lbDetails"));
    lbDetails->setMinimumHeight(94);
    layout->addWidget(lbDetails, 1);
    connect(OKBtn, &QPushButton::clicked, this, &QDialog::accept);
    connect(btDetails, &QPushButton::clicked, this, [this] { GuardSlot([this] { btDetailsClick(); }); });
}

void TDetailInfoDialog::ShowDetailList(bool show)
{
    ShowDetails = show;
    lbDetails->setVisible(show);
    btDetails->setIcon(style()->standardIcon(show ? QStyle::SP_ArrowUp : QStyle::SP_ArrowDown));
    adjustSize();
    if (!show)
        resize(width(), pnTop->sizeHint().height() + layout()->contentsMargins().top() +
                            layout()->contentsMargins().bottom());
}

void TDetailInfoDialog::btDetailsClick()
{
    ShowDetailList(!ShowDetails);
}

int TDetailInfoDialog::Execute(const QPoint& APos, const std::string& Title, const std::string& Info,
                               TInfoIcon InfoIcon, const TStringList& Details)
{
    imIcon->setPixmap(style()
                          ->standardIcon(InfoIcon == iiError ? QStyle::SP_MessageBoxCritical
                                                             : QStyle::SP_MessageBoxInformation)
                          .pixmap(32, 32));
    if (!Title.empty())
        setWindowTitle(QStr(Title));
    laInfo->setText(QStr(Info));
    lbDetails->clear();
    for (int i = 0; i < Details.Count(); ++i)
        lbDetails->addItem(QStr(Details[i]));
    ShowDetailList(false);
    if (APos.x() >= 0 && APos.y() >= 0)
        PlaceFormAt(this, APos);
    return exec();
}

void ShowDetailInfo(const QPoint& Pos, const std::string& Title, const std::string& Info,
                    const TStringList& Details, TInfoIcon Icon)
{
    if (!GuiAvailable())
        return;
    TDetailInfoDialog dialog(MainForm());
    dialog.Execute(Pos, Title, Info, Icon, Details);
}
