#pragma once
// Settings for file comparison: how a backup decides that a copy in the destination is out of date
// (compare mode), the tolerance of time-stamp comparisons and the one-hour (winter/summer time)
// option. The verify and restore tools use the short form without the compare mode.

#include <QPoint>

#include "foundation/gui/GuiUtils.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QRadioButton;
class QWidget;
class TNumUpDown;
class TRangeEdit;

class TTimeCompareDialog : public TDialogBase
{
public:
    explicit TTimeCompareDialog(QWidget* parent = nullptr);
    // AMode: 0 newer only, 1 differing time stamps, 2 differing time stamps or sizes, 3 sizes only.
    // Without IsBackup the mode group is hidden and AMode becomes 0 at once. BottomPos opens the
    // dialog above Pos; NoSzComp hides the two size choices.
    bool Execute(const QPoint& Pos, bool BottomPos, bool IsBackup, bool NoSzComp, int& AMode, int& ADiff,
                 bool& ADlSt);
    bool Execute(const QPoint& Pos, int& ADiff, bool& ADlSt);

protected:
    void accept() override;

private:
    QGroupBox* gbMode;
    QRadioButton* rbMode[4];
    QWidget* paTolerance;
    QLabel* laTimeDiff;
    TRangeEdit* reTimeDiff;
    TNumUpDown* udTimeDiff;
    QCheckBox* cbDstIgnore;
};

bool ShowTimeCompareDialogFull(const QPoint& Pos, bool BottomPos, bool IsBackup, bool NoSzComp, int& AMode,
                               int& ADiff, bool& ADlSt);
bool ShowTimeCompareDialog(const QPoint& Pos, int& ADiff, bool& ADlSt);
