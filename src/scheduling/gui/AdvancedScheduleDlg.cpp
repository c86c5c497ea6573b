#include "scheduling/gui/AdvancedScheduleDlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QSpinBox>
#include <QTimeEdit>
#include <QVBoxLayout>
#include <cmath>
#include <memory>

#include "rtl/Clock.h"
#include "scheduling/gui/SchedGuiUtils.h"

TAdvancedScheduleDialog::TAdvancedScheduleDialog(QWidget* parent) : TDialogBase(parent)
{
    setObjectName(QStringLiteral("AdvancedScheduleDialog"));
    setWindowTitle(TrQ("Advanced Schedule Options"));
    auto* layout = new QVBoxLayout(this);
    auto* columns = new QHBoxLayout;
    layout->addLayout(columns);

    auto* left = new QGroupBox(TrQ("Schedule"), this);
    auto* leftLayout = new QVBoxLayout(left);
    columns->addWidget(left, 1);
    auto* expireRow = new QHBoxLayout;
    cbExpire = NewCheckBox(left, "cbExpire", TrQ("Expire:"));
    dpExpire = new QDateEdit(left);
    dpExpire->setObjectName(QStringLiteral("dpExpire"));
    dpExpire->setCalendarPopup(true);
    dpExpire->setDisplayFormat(DatePickerQtFormat());
    dtExpire = new QTimeEdit(left);
    dtExpire->setObjectName(QStringLiteral("dtExpire"));
    dtExpire->setDisplayFormat(TimePickerQtFormat());
    expireRow->addWidget(cbExpire);
    expireRow->addWidget(dpExpire);
    expireRow->addWidget(dtExpire);
    expireRow->addStretch(1);
    leftLayout->addLayout(expireRow);

    cbRepeat = NewCheckBox(left, "cbRepeat", TrQ("Repeat task:"));
    leftLayout->addWidget(cbRepeat);
    paRepeat = new QWidget(left);
    paRepeat->setObjectName(QStringLiteral("paRepeat"));
    auto* rep = new QGridLayout(paRepeat);
    rep->setContentsMargins(20, 0, 0, 0);
    const QStringList hm = {TrQ("hour(s)"), TrQ("minute(s)")};
    rep->addWidget(new QLabel(TrQ("Every:"), paRepeat), 0, 0);
    edInterval = NewSpin(paRepeat, "edInterval", 1, 167);
    rep->addWidget(edInterval, 0, 1);
    cbRepUnit = NewCombo(paRepeat, "cbRepUnit", hm);
    rep->addWidget(cbRepUnit, 0, 2);
    rep->addWidget(new QLabel(TrQ("for a duration of:"), paRepeat), 1, 0);
    edDuration = NewSpin(paRepeat, "edDuration", 0, 167);
    rep->addWidget(edDuration, 1, 1);
    cbDurUnit = NewCombo(paRepeat, "cbDurUnit", hm);
    rep->addWidget(cbDurUnit, 1, 2);
    cbStopAtEnd =
        NewCheckBox(paRepeat, "cbStopAtEnd", TrQ("Stop all running tasks at end of repetition duration"));
    rep->addWidget(cbStopAtEnd, 2, 0, 1, 4);
    rep->setColumnStretch(3, 1);
    leftLayout->addWidget(paRepeat);

    cbLimit = NewCheckBox(left, "cbLimit", TrQ("Stop task if it runs longer than:"));
    leftLayout->addWidget(cbLimit);
    auto* limitRow = new QHBoxLayout;
    limitRow->setContentsMargins(20, 0, 0, 0);
    edLimit = NewSpin(left, "edLimit", 1, 365);
    cbLimitUnit = NewCombo(left, "cbLimitUnit", {TrQ("day(s)"), TrQ("hour(s)"), TrQ("minute(s)")});
    limitRow->addWidget(edLimit);
    limitRow->addWidget(cbLimitUnit);
    limitRow->addStretch(1);
    leftLayout->addLayout(limitRow);
    leftLayout->addStretch(1);

    auto* right = new QGroupBox(TrQ("Conditions"), this);
    auto* rightLayout = new QVBoxLayout(right);
    columns->addWidget(right, 1);
    cbReRun =
        NewCheckBox(right, "cbReRun", TrQ("Run task as soon as possible after a scheduled start is missed"));
    cbPower = NewCheckBox(right, "cbPower", TrQ("Start the task only if the computer is on AC power"));
    cbOnBatteries =
        NewCheckBox(right, "cbOnBatteries", TrQ("Stop if the computer switches to battery power"));
    cbWakeUp = NewCheckBox(right, "cbWakeUp", TrQ("Wake the computer to run this task"));
    cbNetwork =
        NewCheckBox(right, "cbNetwork", TrQ("Start the task only if a network connection is available"));
    for (QCheckBox* c : {cbReRun, cbPower, cbOnBatteries, cbWakeUp, cbNetwork}) {
        c->setStyleSheet(QString());
        rightLayout->addWidget(c);
    }
    cbOnBatteries->setContentsMargins(20, 0, 0, 0);
    rightLayout->addStretch(1);

    AddOkCancel(this, layout);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(cbExpire, &QCheckBox::toggled, this, [this] { UpdateEnabled(); });
    connect(cbRepeat, &QCheckBox::toggled, this, [this] { UpdateEnabled(); });
    connect(cbLimit, &QCheckBox::toggled, this, [this] { UpdateEnabled(); });
    connect(cbPower, &QCheckBox::toggled, this, [this](bool on) {
        cbOnBatteries->setEnabled(on);
        cbOnBatteries->setChecked(on);
    });
    connect(cbRepUnit, &QComboBox::activated, this, [this] { UnitChanged(cbRepUnit, edInterval, false); });
    connect(cbDurUnit, &QComboBox::activated, this, [this] { UnitChanged(cbDurUnit, edDuration, false); });
    connect(cbLimitUnit, &QComboBox::activated, this, [this] { UnitChanged(cbLimitUnit, edLimit, true); });
}

void TAdvancedScheduleDialog::UpdateEnabled()
{
    dpExpire->setEnabled(cbExpire->isChecked());
    dtExpire->setEnabled(cbExpire->isChecked());
    paRepeat->setEnabled(cbRepeat->isChecked());
    edLimit->setEnabled(cbLimit->isChecked());
    cbLimitUnit->setEnabled(cbLimit->isChecked());
}

void TAdvancedScheduleDialog::UnitChanged(QComboBox* unit, QSpinBox* number, bool limit)
{
    GuardSlot([&] {
        // limit: days, hours, minutes; repetition: hours, minutes
        int u = limit ? unit->currentIndex() : unit->currentIndex() + 1;
        if (u == 0) {
            number->setMaximum(3650);
            number->setValue(3);
            number->setSingleStep(1);
        } else if (u == 1) {
            number->setMaximum(167);
            number->setValue(limit ? 6 : 1);
            number->setSingleStep(1);
        } else {
            number->setMaximum(1439);
            number->setValue(30);
            number->setSingleStep(10);
        }
        number->setToolTip(TrQ("Number of ") + unit->currentText());
    });
}

bool TAdvancedScheduleDialog::Execute(TAdvancedSettings& a)
{
    cbExpire->setChecked(a.UseEndDate);
    if (a.UseEndDate) {
        SetPickerDate(dpExpire, a.EndDate);
        SetPickerTime(dtExpire, a.EndDate);
    } else {
        TDateTime today = DateOf(Clock::Current().NowLocal());
        SetPickerDate(dpExpire, today + (IsLeapYear(YearOf(today)) ? 366 : 365));
        SetPickerTime(dtExpire, 0.5);
    }
    auto showUnit = [](QSpinBox* number, QComboBox* unit, const TUnitValue& v, int firstUnit) {
        unit->setCurrentIndex(v.Unit - firstUnit);
        number->setMaximum(v.Max);
        number->setValue(v.Number);
        number->setToolTip(TrQ("Number of ") + unit->currentText());
    };
    cbRepeat->setChecked(a.RepeatTask);
    showUnit(edInterval, cbRepUnit, IntervalUnitOf(a.MinutesInterval), 1);
    showUnit(edDuration, cbDurUnit, IntervalUnitOf(a.MinutesDuration), 1);
    cbStopAtEnd->setChecked(a.StopEndDuration);
    cbLimit->setChecked(a.UseLimit);
    showUnit(edLimit, cbLimitUnit, LimitUnitOf(a.MinutesLimit), 0);
    cbReRun->setChecked(a.ReRun);
    cbPower->setChecked(a.PowerOnly);
    cbOnBatteries->setEnabled(a.PowerOnly);
    cbOnBatteries->setChecked(a.PowerOnly && a.StopBattery);
    cbWakeUp->setChecked(a.WakeUp);
    cbNetwork->setChecked(a.NetworkOnly);
    UpdateEnabled();
    if (exec() != QDialog::Accepted)
        return false;
    a.UseEndDate = cbExpire->isChecked();
    if (a.UseEndDate)
        a.EndDate = PickerDate(dpExpire) + std::floor(PickerTime(dtExpire) * MinsPerDay) / MinsPerDay;
    a.MinutesInterval = edInterval->value() * UnitMinutes(cbRepUnit->currentIndex() + 1);
    a.RepeatTask = cbRepeat->isChecked();
    a.MinutesDuration = edDuration->value() * UnitMinutes(cbDurUnit->currentIndex() + 1);
    a.StopEndDuration = cbStopAtEnd->isChecked();
    a.MinutesLimit = edLimit->value() * UnitMinutes(cbLimitUnit->currentIndex());
    a.UseLimit = cbLimit->isChecked();
    a.ReRun = cbReRun->isChecked();
    a.PowerOnly = cbPower->isChecked();
    a.StopBattery = cbOnBatteries->isChecked();
    a.WakeUp = cbWakeUp->isChecked();
    a.NetworkOnly = cbNetwork->isChecked();
    return true;
}

bool EditAdvancedSettings(TAdvancedSettings& AdvSet, QWidget* parent)
{
    auto dlg = std::make_unique<TAdvancedScheduleDialog>(parent);
    return dlg->Execute(AdvSet);
}
