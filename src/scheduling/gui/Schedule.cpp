#include "scheduling/gui/Schedule.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <memory>

#include "rtl/Clock.h"
#include "scheduling/gui/SchedGuiUtils.h"

namespace {

int WeekdayToday()
{
    return DayOfTheWeek(Clock::Current().NowLocal()); // Monday 1 .. Sunday 7
}

} // namespace

TScheduleDialog::TScheduleDialog(QWidget* parent) : TDialogBase(parent)
{
    setObjectName(QStringLiteral("ScheduleDialog"));
    setWindowTitle(TrQ("Alternating schedule"));
    auto* layout = new QVBoxLayout(this);
    auto* rec = new QGroupBox(TrQ("Recurrence"), this);
    rec->setObjectName(QStringLiteral("rgSched"));
    auto* recLayout = new QGridLayout(rec);
    rgSched = new QButtonGroup(rec);
    const char* recs[4] = {"None", "Daily", "Weekly", "1 per week"};
    for (int i = 0; i < 4; ++i) {
        auto* rb = new QRadioButton(TrQ(recs[i]), rec);
        rb->setObjectName(QStringLiteral("rbSched%1").arg(i));
        rgSched->addButton(rb, i);
        recLayout->addWidget(rb, i / 2, i % 2);
    }
    layout->addWidget(rec);

    rgZyk = new QGroupBox(TrQ("Steps"), this);
    rgZyk->setObjectName(QStringLiteral("rgZyk"));
    auto* zyk = new QGridLayout(rgZyk);
    auto* l8 = new QLabel(TrQ("Current step:"), rgZyk);
    l8->setToolTip(TrQ("Number of current cycle"));
    reAktZyk = NewSpin(rgZyk, "reAktZyk", 1, 1);
    reAktZyk->setToolTip(TrQ("Number of current cycle"));
    auto* l9 = new QLabel(TrQ("Steps per cycle:"), rgZyk);
    l9->setToolTip(TrQ("Number of recurrent cycles"));
    reZyklus = NewSpin(rgZyk, "reZyklus", 1, 366);
    reZyklus->setToolTip(TrQ("Number of recurrent cycles"));
    zyk->addWidget(l8, 0, 0);
    zyk->addWidget(reAktZyk, 0, 1);
    zyk->addWidget(l9, 1, 0);
    zyk->addWidget(reZyklus, 1, 1);
    zyk->setColumnStretch(2, 1);
    layout->addWidget(rgZyk);

    gbMode = new QGroupBox(TrQ("Backup mode"), this);
    gbMode->setObjectName(QStringLiteral("rgMode"));
    auto* modeLayout = new QVBoxLayout(gbMode);
    rgMode = new QButtonGroup(gbMode);
    const char* modes[5] = {"As defined in task", "1x As defined in task + Differential",
                            "1x As defined in task + Incremental", "2x As defined in task + Differential",
                            "2x As defined in task + Incremental"};
    for (int i = 0; i < 5; ++i) {
        auto* rb = new QRadioButton(TrQ(modes[i]), gbMode);
        rb->setObjectName(QStringLiteral("rbMode%1").arg(i));
        rgMode->addButton(rb, i);
        modeLayout->addWidget(rb);
    }
    layout->addWidget(gbMode);

    auto* row = new QHBoxLayout;
    gbFull = new QGroupBox(TrQ("Full backup on"), this);
    gbFull->setObjectName(QStringLiteral("gbFull"));
    auto* fullLayout = new QVBoxLayout(gbFull);
    cbFull = NewCombo(gbFull, "cbFull",
                      {TrQ("Monday"), TrQ("Tuesday"), TrQ("Wednesday"), TrQ("Thursday"), TrQ("Friday"),
                       TrQ("Saturday"), TrQ("Sunday")});
    cbFull->setToolTip(TrQ("Day of week"));
    fullLayout->addWidget(cbFull);
    gbStart = new QGroupBox(TrQ("Start backup cycle"), this);
    gbStart->setObjectName(QStringLiteral("gbStart"));
    auto* startLayout = new QVBoxLayout(gbStart);
    rbImmediate = new QRadioButton(TrQ("Immediately"), gbStart);
    rbImmediate->setObjectName(QStringLiteral("rbImmediate"));
    rbImmediate->setChecked(true);
    rbSched = new QRadioButton(gbStart);
    rbSched->setObjectName(QStringLiteral("rbSched"));
    startLayout->addWidget(rbImmediate);
    startLayout->addWidget(rbSched);
    row->addWidget(gbFull);
    row->addWidget(gbStart);
    layout->addLayout(row);
    AddOkCancel(this, layout);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(rgSched, &QButtonGroup::idClicked, this, [this](int id) { GuardSlot([&] { SchedClick(id); }); });
    connect(rgMode, &QButtonGroup::idClicked, this, [this] { GuardSlot([&] { ModeClick(); }); });
    connect(reZyklus, &QSpinBox::valueChanged, this, [this] { GuardSlot([&] { ZyklusChange(); }); });
    connect(cbFull, &QComboBox::currentIndexChanged, this,
            [this] { rbSched->setText(TrQ("On next ") + cbFull->currentText()); });
}

bool TScheduleDialog::TwoX() const
{
    return rgMode->checkedId() == smDiff2 || rgMode->checkedId() == smIncr2;
}

void TScheduleDialog::SetCycleStartVisible(bool v)
{
    FStartShown = v;
    gbFull->setVisible(v);
    gbStart->setVisible(v);
}

void TScheduleDialog::SetAkt(int value, bool enabled)
{
    QSignalBlocker b(reAktZyk);
    reAktZyk->setValue(value);
    reAktZyk->setEnabled(enabled);
}

void TScheduleDialog::ShowSchedule()
{
    const TSchedule& s = FSched;
    if (QAbstractButton* b = rgMode->button(s.SchedMode))
        b->setChecked(true);
    {
        QSignalBlocker b(reZyklus);
        reZyklus->setMaximum(s.StepMode == 1 ? 366 : 52);
        reZyklus->setValue(s.SchedMode == smDiff2 || s.SchedMode == smIncr2 ? s.NumZyk / 2 : s.NumZyk);
    }
    reAktZyk->setRange(1, reZyklus->value());
    SetAkt(1, reAktZyk->isEnabled());
    LastMode = s.StepMode;
    if (QAbstractButton* b = rgSched->button(s.StepMode))
        b->setChecked(true);
    cbFull->setCurrentIndex(s.FullZyk >= 0 && s.FullZyk <= 6 ? s.FullZyk : 0);
    if (s.StepMode >= 1) {
        bool enabled = s.StepMode == 2 || s.StepMode == 3 || s.NumZyk % 7 != 0;
        SetAkt(enabled ? s.AktZyk : WeekdayToday(), enabled);
        reZyklus->setEnabled(true);
        gbMode->setEnabled(true);
    } else {
        reAktZyk->setEnabled(false);
        reZyklus->setEnabled(false);
        gbMode->setEnabled(false);
    }
    SetCycleStartVisible(s.SchedMode != smNormal && s.NumZyk % 7 == 0);
    rbSched->setText(TrQ("On next ") + cbFull->currentText());
    FLastZyk = s.LastZyk;
}

void TScheduleDialog::SchedClick(int choice)
{
    if (choice == LastMode)
        return;
    SetCycleStartVisible(false);
    FLastZyk = 1000;
    if (choice == 0) {
        reAktZyk->setEnabled(false);
        reZyklus->setEnabled(false);
        gbMode->setEnabled(false);
        rgMode->button(0)->setChecked(true);
    } else {
        reZyklus->setEnabled(true);
        SetAkt(1, reAktZyk->isEnabled());
        QSignalBlocker b(reZyklus);
        if (choice == 1) {
            reZyklus->setMaximum(366);
            reZyklus->setValue(7);
            reAktZyk->setRange(1, 7);
            SetAkt(WeekdayToday(), false);
            SetCycleStartVisible(rgMode->checkedId() != 0);
        } else {
            reZyklus->setMaximum(52);
            reZyklus->setValue(4);
            reAktZyk->setRange(1, 4);
            SetAkt(1, true);
        }
        gbMode->setEnabled(true);
    }
    LastMode = choice;
}

void TScheduleDialog::ZyklusChange()
{
    reAktZyk->setRange(1, reZyklus->value());
    if (rgSched->checkedId() == 1 && reZyklus->value() % 7 == 0)
        SetAkt(WeekdayToday(), false);
    else
        SetAkt(1, true);
    SetCycleStartVisible(rgMode->checkedId() != 0 && !reAktZyk->isEnabled());
}

void TScheduleDialog::ModeClick()
{
    {
        QSignalBlocker b(reZyklus);
        reZyklus->setMaximum(366);
        reZyklus->setValue(7);
    }
    reAktZyk->setRange(1, 7);
    SetAkt(WeekdayToday(), false);
    SetCycleStartVisible(rgMode->checkedId() != 0);
}

bool TScheduleDialog::Execute(TDateTime, TSchedule& ASched)
{
    FSched = ASched;
    LastMode = ASched.StepMode;
    ShowSchedule();
    if (exec() != QDialog::Accepted)
        return false;
    ASched.StepMode = std::max(0, rgSched->checkedId());
    ASched.SchedMode = static_cast<TSchedMode>(std::max(0, rgMode->checkedId()));
    ASched.NumZyk = reZyklus->value() * (TwoX() ? 2 : 1);
    ASched.AktZyk = ASched.NumZyk % 7 == 0 ? WeekdayToday() : reAktZyk->value();
    ASched.FullZyk = ASched.StepMode == 1 ? cbFull->currentIndex() : 0;
    if (FStartShown && rbImmediate->isChecked()) {
        ASched.WeekZyk = 0;
        ASched.LastZyk = 0;
    } else {
        ASched.LastZyk = FLastZyk;
    }
    return true;
}

bool EditAlternatingSchedule(TSchedule& ASched, TDateTime NextTime)
{
    auto dlg = std::make_unique<TScheduleDialog>();
    return dlg->Execute(NextTime, ASched);
}
