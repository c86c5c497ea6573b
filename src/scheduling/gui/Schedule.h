#pragma once
// "Alternating schedule": the cycle of steps of an automatic task (one step per day or per week), its
// backup mode (full backups alternating with differential or incremental ones) and the start of the
// cycle.

#include "foundation/BuConsts.h"
#include "foundation/gui/GuiUtils.h"

class QButtonGroup;
class QComboBox;
class QGroupBox;
class QRadioButton;
class QSpinBox;

class TScheduleDialog : public TDialogBase
{
public:
    explicit TScheduleDialog(QWidget* parent = nullptr);
    // True when confirmed; the record is changed only then. NextTime is not used.
    bool Execute(TDateTime NextTime, TSchedule& ASched);

private:
    void ShowSchedule();
    void SchedClick(int choice);
    void ZyklusChange();
    void ModeClick();
    void SetCycleStartVisible(bool v);
    void SetAkt(int value, bool enabled);
    bool TwoX() const;

    TSchedule FSched;
    int LastMode = 0;
    int FLastZyk = 0;
    bool FStartShown = false;
    QButtonGroup* rgSched;
    QGroupBox* rgZyk;
    QSpinBox* reAktZyk;
    QSpinBox* reZyklus;
    QButtonGroup* rgMode;
    QGroupBox* gbMode;
    QGroupBox* gbFull;
    QComboBox* cbFull;
    QGroupBox* gbStart;
    QRadioButton* rbImmediate;
    QRadioButton* rbSched;
};

bool EditAlternatingSchedule(TSchedule& ASched, TDateTime NextTime);
