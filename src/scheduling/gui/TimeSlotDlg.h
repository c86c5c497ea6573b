#pragma once
// "Select time slot for backup": edits the time window of a backup's file selection (all files, since,
// before or between dates, today from a time, within or beyond a number of days) and which time stamp
// it tests.

#include "backup/TimePeriod.h"
#include "foundation/gui/GuiUtils.h"

class QButtonGroup;
class QDateEdit;
class QTimeEdit;
class QGridLayout;
class QLabel;
class QRadioButton;
class QSpinBox;

class TTimeSlotDialog : public TDialogBase
{
public:
    explicit TTimeSlotDialog(QWidget* parent = nullptr);
    // True when confirmed; Cancel sets Mode to tmOff and leaves the other fields.
    bool Execute(TTimePeriod& TimeSlot);

private:
    void UpdateControls();
    QGridLayout* FGrid;
    QButtonGroup* FModes;
    QRadioButton* rbMode[7]; // tmAll .. tmPrevDays
    QLabel* lbFrom;
    QDateEdit* FromDate;
    QTimeEdit* FromTime; // the time of "Today from"
    QLabel* lbTo;
    QDateEdit* ToDate;
    QLabel* lbDays;
    QSpinBox* reDays;
    QButtonGroup* rgTimeSelect;
};

bool SelectTimeSlot(TTimePeriod& TimeSlot);
