#include "backup/gui/ConfirmDelDirDlg.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>
#include <memory>

#include "foundation/BuConsts.h"
#include "foundation/gui/WinUtils.h"

TConfirmDelDirDialog::TConfirmDelDirDialog(QWidget* parent) : TDialogBase(parent)
{
    setObjectName(QStringLiteral("ConfirmDelDirDialog"));
    setWindowTitle(TrQ("Confirmation"));
    auto* layout = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    top->addWidget(NewConfirmImage(this, QStyle::SP_MessageBoxQuestion));
    auto* texts = new QVBoxLayout;
    auto* laS = new QLabel(TrQ("Do not backup this directory anymore:"), this);
    laSDir = new QLabel(this);
    laSDir->setObjectName(QStringLiteral("laSDir"));
    auto* laD = new QLabel(TrQ("Assigned backup directory:"), this);
    laDDir = new QLabel(this);
    laDDir->setObjectName(QStringLiteral("laDDir"));
    for (QLabel* l : {laSDir, laDDir}) {
        QFont f = l->font();
        f.setBold(true);
        l->setFont(f);
        l->setMinimumWidth(ScaleToFormDpi(300, this));
        l->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    }
    texts->addWidget(laS);
    texts->addWidget(laSDir);
    texts->addSpacing(ScaleToFormDpi(6, this));
    texts->addWidget(laD);
    texts->addWidget(laDDir);
    top->addLayout(texts, 1);
    layout->addLayout(top);
    cbDelete = new QCheckBox(TrQ("Delete all files backed-up from this directory"), this);
    cbDelete->setObjectName(QStringLiteral("cbDelete"));
    layout->addWidget(cbDelete);
    layout->addStretch(1);
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    btYes = new QPushButton(TrQ("Yes"), this);
    btYes->setObjectName(QStringLiteral("btYes"));
    btYes->setDefault(true);
    btNo = new QPushButton(TrQ("No"), this);
    btNo->setObjectName(QStringLiteral("btNo"));
    btNo->setAutoDefault(false);
    row->addWidget(btYes);
    row->addWidget(btNo);
    layout->addLayout(row);
    connect(cbDelete, &QCheckBox::toggled, this, [this](bool on) { YesResult = on ? mrYes : mrNo; });
    connect(btYes, &QPushButton::clicked, this, [this] { done(YesResult); });
    connect(btNo, &QPushButton::clicked, this, [this] { done(mrCancel); });
    resize(ScaleToFormDpi(440, this), sizeHint().height());
    SetStaticTabStops(this, ScreenReaderActive);
}

TModalResult TConfirmDelDirDialog::Execute(const QPoint& APos, const std::string& SDir,
                                           const std::string& DDir)
{
    FSDir = QStr(SDir);
    FDDir = QStr(DDir);
    laSDir->setToolTip(FSDir);
    laDDir->setToolTip(FDDir);
    cbDelete->setChecked(false);
    YesResult = mrOk;
    ShowPaths();
    PlaceFormAt(this, APos);
    btYes->setFocus();
    const int result = exec();
    return result == QDialog::Rejected ? mrCancel : result;
}

void TConfirmDelDirDialog::ShowPaths()
{
    // Paths keep their beginning and their last folders.
    laSDir->setText(laSDir->fontMetrics().elidedText(FSDir, Qt::ElideMiddle, laSDir->width()));
    laDDir->setText(laDDir->fontMetrics().elidedText(FDDir, Qt::ElideMiddle, laDDir->width()));
}

void TConfirmDelDirDialog::showEvent(QShowEvent* event)
{
    TDialogBase::showEvent(event);
    GuardSlot([this] { ShowPaths(); });
}

void TConfirmDelDirDialog::resizeEvent(QResizeEvent* event)
{
    TDialogBase::resizeEvent(event);
    GuardSlot([this] { ShowPaths(); });
}

TModalResult ShowConfirmDelDirDialog(const QPoint& APos, const std::string& SDir, const std::string& DDir)
{
    auto dlg = std::make_unique<TConfirmDelDirDialog>();
    return dlg->Execute(APos, SDir, DDir);
}
