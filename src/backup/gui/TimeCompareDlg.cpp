#include "backup/gui/TimeCompareDlg.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QRadioButton>
#include <QVBoxLayout>
#include <memory>

#include "foundation/BuConsts.h"
#include "foundation/gui/NumberEd.h"
#include "foundation/gui/WinUtils.h"

namespace {
const char* const ModeCaptions[4] = {"Backup only files with newer timestamps",
                                     "Backup all files with differing timestamps",
                                     "Backup all files with differing timestamps or differing sizes",
                                     "Backup all files with differing sizes, ignore timsteamps"};
const char* const ModeNames[4] = {"rbNewer", "rbDiffer", "rbDiffSize", "rbSizeOnly"};
} // namespace

TTimeCompareDialog::TTimeCompareDialog(QWidget* parent) : TDialogBase(parent)
{
    setObjectName(QStringLiteral("TimeCompareDialog"));
    setWindowTitle(TrQ("Settings for file comparison"));
    auto* layout = new QVBoxLayout(this);

    gbMode = new QGroupBox(TrQ("File comparison"), this);
    gbMode->setObjectName(QStringLiteral("gbMode"));
    auto* modeLayout = new QVBoxLayout(gbMode);
    for (int i = 0; i < 4; ++i) {
        rbMode[i] = new QRadioButton(TrQ(ModeCaptions[i]), gbMode);
        rbMode[i]->setObjectName(QString::fromLatin1(ModeNames[i]));
        modeLayout->addWidget(rbMode[i]);
    }
    layout->addWidget(gbMode);

    paTolerance = new QWidget(this);
    paTolerance->setObjectName(QStringLiteral("paTolerance"));
    auto* tolLayout = new QVBoxLayout(paTolerance);
    tolLayout->setContentsMargins(0, 0, 0, 0);
    auto* row = new QHBoxLayout;
    laTimeDiff = new QLabel(TrQ("Time comparison tolerance in s:"), paTolerance);
    reTimeDiff = new TRangeEdit(paTolerance);
    reTimeDiff->setObjectName(QStringLiteral("reTimeDiff"));
    reTimeDiff->SetMinValue(1);
    reTimeDiff->SetMaxValue(7200);
    reTimeDiff->SetValue(2);
    reTimeDiff->setFixedWidth(ScaleToFormDpi(60, this));
    reTimeDiff->setToolTip(TrQ("Allowed difference of the timestamps in seconds (1 .. 7200)"));
    laTimeDiff->setBuddy(reTimeDiff);
    udTimeDiff = new TNumUpDown(paTolerance);
    udTimeDiff->setObjectName(QStringLiteral("udTimeDiff"));
    udTimeDiff->SetAssociate(reTimeDiff);
    row->addWidget(laTimeDiff);
    row->addWidget(reTimeDiff);
    row->addWidget(udTimeDiff);
    row->addStretch(1);
    tolLayout->addLayout(row);
    cbDstIgnore = new QCheckBox(TrQ("Ignore 1 hour winter/summer time difference"), paTolerance);
    cbDstIgnore->setObjectName(QStringLiteral("cbDstIgnore"));
    tolLayout->addWidget(cbDstIgnore);
    layout->addWidget(paTolerance);
    layout->addStretch(1);
    AddOkCancel(this, layout);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    SetStaticTabStops(this, ScreenReaderActive);
}

bool TTimeCompareDialog::Execute(const QPoint& Pos, bool BottomPos, bool IsBackup, bool NoSzComp, int& AMode,
                                 int& ADiff, bool& ADlSt)
{
    reTimeDiff->SetValue(ADiff);
    cbDstIgnore->setChecked(ADlSt);
    gbMode->setVisible(IsBackup);
    if (IsBackup) {
        rbMode[2]->setVisible(!NoSzComp);
        rbMode[3]->setVisible(!NoSzComp);
    } else {
        AMode = 0;
    }
    // An incoming size mode while the size choices are hidden stays selected (and is returned) so
    // that a task's setting is not changed by just opening the dialog.
    rbMode[AMode >= 1 && AMode <= 3 ? AMode : 0]->setChecked(true);
    adjustSize();
    PlaceFormAt(this, Pos, BottomPos);
    reTimeDiff->setFocus();
    if (exec() != QDialog::Accepted)
        return false;
    ADiff = static_cast<int>(reTimeDiff->Value());
    ADlSt = cbDstIgnore->isChecked();
    AMode = 0;
    for (int i = 1; i < 4; ++i)
        if (rbMode[i]->isChecked())
            AMode = i;
    return true;
}

bool TTimeCompareDialog::Execute(const QPoint& Pos, int& ADiff, bool& ADlSt)
{
    int mode = 0;
    return Execute(Pos, false, false, false, mode, ADiff, ADlSt);
}

void TTimeCompareDialog::accept()
{
    bool ok = false;
    GuardSlot([&] { ok = reTimeDiff->CheckRange(); });
    if (ok)
        QDialog::accept();
}

bool ShowTimeCompareDialogFull(const QPoint& Pos, bool BottomPos, bool IsBackup, bool NoSzComp, int& AMode,
                               int& ADiff, bool& ADlSt)
{
    auto dlg = std::make_unique<TTimeCompareDialog>();
    return dlg->Execute(Pos, BottomPos, IsBackup, NoSzComp, AMode, ADiff, ADlSt);
}

bool ShowTimeCompareDialog(const QPoint& Pos, int& ADiff, bool& ADlSt)
{
    auto dlg = std::make_unique<TTimeCompareDialog>();
    return dlg->Execute(Pos, ADiff, ADlSt);
}
