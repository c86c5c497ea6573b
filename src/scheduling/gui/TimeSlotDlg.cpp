#include "scheduling/gui/TimeSlotDlg.h"

#include <QButtonGroup>
#include <QDateEdit>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QRadioButton>
#include <QSpinBox>
#include <QTimeEdit>
#include <QVBoxLayout>
#include <cmath>
#include <memory>

#include "scheduling/gui/SchedGuiUtils.h"

namespace {

// The buttons in the order of the column: "Older than" above "Not older than".
const char* const ModeNames[7] = {"rbTmAll",   "rbTmNewer",    "rbTmOlder",   "rbTmSpan",
                                  "rbTmToday", "rbTmLastDays", "rbTmPrevDays"};
const char* const ModeTexts[7] = {"All",        "All since",      "All before", "Time period",
                                  "Today from", "Not older than", "Older than"};
const int RowOfMode[7] = {0, 1, 2, 3, 5, 7, 6};

TDateTime EditDate(const QDateEdit* e)
{
    return PickerDate(e);
}

} // namespace

TTimeSlotDialog::TTimeSlotDialog(QWidget* parent) : TDialogBase(parent)
{
    setObjectName(QStringLiteral("TimeSlotDialog"));
    setWindowTitle(TrQ("Select time slot for backup"));
    auto* layout = new QVBoxLayout(this);
    auto* gb = new QGroupBox(TrQ("Time slot"), this);
    gb->setObjectName(QStringLiteral("gbTimeSlot"));
    FGrid = new QGridLayout(gb);
    FModes = new QButtonGroup(gb);
    for (int i = 0; i < 7; ++i) {
        rbMode[i] = new QRadioButton(TrQ(ModeTexts[i]), gb);
        rbMode[i]->setObjectName(QString::fromLatin1(ModeNames[i]));
        FModes->addButton(rbMode[i], i);
        FGrid->addWidget(rbMode[i], RowOfMode[i], 0);
    }
    rbMode[0]->setChecked(true);
    lbFrom = new QLabel(TrQ("from:"), gb);
    FromDate = new QDateEdit(gb);
    FromDate->setObjectName(QStringLiteral("FromDate"));
    FromDate->setCalendarPopup(true);
    FromDate->setDisplayFormat(DatePickerQtFormat());
    FromDate->setToolTip(TrQ("Select date"));
    FromTime = new QTimeEdit(gb);
    FromTime->setObjectName(QStringLiteral("FromTime"));
    FromTime->setDisplayFormat(TimePickerQtFormat());
    lbTo = new QLabel(TrQ("to:"), gb);
    ToDate = new QDateEdit(gb);
    ToDate->setObjectName(QStringLiteral("ToDate"));
    ToDate->setCalendarPopup(true);
    ToDate->setDisplayFormat(DatePickerQtFormat());
    ToDate->setToolTip(TrQ("Select date"));
    reDays = NewSpin(gb, "reDays", 1, 9999);
    reDays->setToolTip(TrQ("Number of days"));
    lbDays = new QLabel(TrQ("days"), gb);
    FGrid->setColumnStretch(5, 1);
    layout->addWidget(gb);

    auto* rg = new QGroupBox(TrQ("Timestamp"), this);
    rg->setObjectName(QStringLiteral("rgTimeSelect"));
    auto* rgLayout = new QHBoxLayout(rg);
    rgTimeSelect = new QButtonGroup(rg);
    const char* refs[3] = {"Modified", "Created", "Both"};
    for (int i = 0; i < 3; ++i) {
        auto* rb = new QRadioButton(TrQ(refs[i]), rg);
        rb->setObjectName(QStringLiteral("rbRef%1").arg(i));
        rgTimeSelect->addButton(rb, i);
        rgLayout->addWidget(rb);
    }
    layout->addWidget(rg);
    AddOkCancel(this, layout);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(FModes, &QButtonGroup::idClicked, this, [this] { UpdateControls(); });
    connect(FromDate, &QDateEdit::dateChanged, this, [this] {
        if (EditDate(FromDate) > EditDate(ToDate))
            ToDate->setDate(FromDate->date());
    });
    connect(ToDate, &QDateEdit::dateChanged, this, [this] {
        if (EditDate(ToDate) < EditDate(FromDate))
            FromDate->setDate(ToDate->date());
    });
}

void TTimeSlotDialog::UpdateControls()
{
    for (QWidget* w :
         std::initializer_list<QWidget*>{lbDays, reDays, lbFrom, FromDate, FromTime, lbTo, ToDate})
        w->hide();
    int mode = FModes->checkedId();
    int row = mode >= 0 ? RowOfMode[mode] : 0;
    auto beside = [&](QWidget* w, int column) {
        FGrid->addWidget(w, row, column);
        w->show();
    };
    switch (mode) {
    case tmNewer:
        beside(FromDate, 2);
        break;
    case tmOlder:
        beside(ToDate, 2);
        break;
    case tmSpan:
        beside(lbFrom, 1);
        beside(FromDate, 2);
        row += 1;
        beside(lbTo, 1);
        beside(ToDate, 2);
        break;
    case tmToday:
        beside(FromTime, 2);
        break;
    case tmLastDays:
    case tmPrevDays:
        beside(reDays, 2);
        beside(lbDays, 3);
        break;
    default:
        break;
    }
}

bool TTimeSlotDialog::Execute(TTimePeriod& TimeSlot)
{
    SetPickerDate(FromDate, TimeSlot.Dat1 < 1 ? EncodeDate(2000, 1, 1) : TimeSlot.Dat1);
    SetPickerTime(FromTime, TimeSlot.DayTime);
    SetPickerDate(ToDate, TimeSlot.Dat2 < 1 ? EncodeDate(2000, 1, 1) : TimeSlot.Dat2);
    reDays->setValue(TimeSlot.Days);
    int mode = TimeSlot.Mode >= tmNewer && TimeSlot.Mode <= tmPrevDays ? TimeSlot.Mode : tmAll;
    rbMode[mode]->setChecked(true);
    if (QAbstractButton* b = rgTimeSelect->button(TimeSlot.TmRef))
        b->setChecked(true);
    UpdateControls();
    if (exec() != QDialog::Accepted) {
        TimeSlot.Mode = tmOff;
        return false;
    }
    TimeSlot.Dat1 = EditDate(FromDate);
    TimeSlot.Dat2 = EditDate(ToDate);
    QTime t = FromTime->time();
    TimeSlot.DayTime = (t.hour() * 60 + t.minute()) / 1440.0;
    TimeSlot.Days = reDays->value();
    TimeSlot.Mode = static_cast<TTimeMode>(std::max(0, FModes->checkedId()));
    TimeSlot.TmRef = static_cast<TTimeRef>(std::max(0, rgTimeSelect->checkedId()));
    return true;
}

bool SelectTimeSlot(TTimePeriod& TimeSlot)
{
    auto dlg = std::make_unique<TTimeSlotDialog>();
    return dlg->Execute(TimeSlot);
}
