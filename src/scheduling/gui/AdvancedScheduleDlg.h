#pragma once
// "Advanced Schedule Options": the trigger's expiry, repetition and time limit and the task's conditions
// (missed starts, mains power, battery, wake-up, network) of the Scheduled Task Wizard.

#include "foundation/gui/GuiUtils.h"
#include "scheduling/ScheduleModel.h"

class QCheckBox;
class QComboBox;
class QDateEdit;
class QSpinBox;
class QTimeEdit;
class QWidget;

class TAdvancedScheduleDialog : public TDialogBase
{
public:
    explicit TAdvancedScheduleDialog(QWidget* parent = nullptr);
    // Shows the record; on OK writes the controls back and returns true (else the record is unchanged).
    bool Execute(TAdvancedSettings& AdvSet);

private:
    void UpdateEnabled();
    void UnitChanged(QComboBox* unit, QSpinBox* number, bool limit);

    QCheckBox* cbExpire;
    QDateEdit* dpExpire;
    QTimeEdit* dtExpire;
    QCheckBox* cbRepeat;
    QWidget* paRepeat;
    QSpinBox* edInterval;
    QComboBox* cbRepUnit;
    QSpinBox* edDuration;
    QComboBox* cbDurUnit;
    QCheckBox* cbStopAtEnd;
    QCheckBox* cbLimit;
    QSpinBox* edLimit;
    QComboBox* cbLimitUnit;
    QCheckBox* cbReRun;
    QCheckBox* cbPower;
    QCheckBox* cbOnBatteries;
    QCheckBox* cbWakeUp;
    QCheckBox* cbNetwork;
};

bool EditAdvancedSettings(TAdvancedSettings& AdvSet, QWidget* parent = nullptr);
