#include "scheduling/gui/TaskSchedDlg.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QFileDialog>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTimeEdit>
#include <QVBoxLayout>
#include <cmath>
#include <unistd.h>

#include "backup/gui/ErrorActionDlg.h"
#include "foundation/PathUtils.h"
#include "foundation/QvUtilsTexts.h"
#include "foundation/StringUtils.h"
#include "foundation/WinApiUtils.h"
#include "foundation/gui/CheckBoxes.h"
#include "foundation/gui/InpText.h"
#include "foundation/gui/MemoDlg.h"
#include "foundation/gui/PwdDlg.h"
#include "foundation/gui/ShellDirDlg.h"
#include "foundation/gui/WinUtils.h"
#include "platform/ErrorCodes.h"
#include "platform/FileText.h"
#include "rtl/Clock.h"
#include "rtl/Gettext.h"
#include "scheduling/gui/AdvancedScheduleDlg.h"
#include "scheduling/gui/SchedGuiUtils.h"
#include "scheduling/gui/SelSchedTaskDlg.h"

namespace {

const char* const DayNames[7] = {N_("Monday"), N_("Tuesday"),  N_("Wednesday"), N_("Thursday"),
                                 N_("Friday"), N_("Saturday"), N_("Sunday")};
const char* const DayObjects[7] = {"cbMonday", "cbTuesday",  "cbWednesday", "cbThursday",
                                   "cbFriday", "cbSaturday", "cbSunday"};
const char* const MonthNames[12] = {N_("Jan"), N_("Feb"), N_("Mar"), N_("Apr"), N_("May"), N_("Jun"),
                                    N_("Jul"), N_("Aug"), N_("Sep"), N_("Oct"), N_("Nov"), N_("Dec")};
const char* const CycleNames[6] = {N_("Daily"),         N_("Weekly"),   N_("Monthly"),
                                   N_("One time only"), N_("On logon"), N_("On waking up the computer")};
const int ItemPage[6] = {0, 1, 2, 3, 4, 4};

std::string RunningProgramDir()
{
    char self[4096];
    ssize_t n = readlink("/proc/self/exe", self, sizeof(self) - 1);
    return n > 0 ? ParentDirOf(std::string(self, static_cast<size_t>(n))) : std::string(".");
}

std::string ExtractFileNameNoExt(const std::string& path)
{
    return DeleteExtension(path.substr(path.rfind('/') + 1));
}

bool IsLogonFailure(HRESULT code)
{
    int low = code & 0xFFFF;
    return (low >= 1326 && low <= 1332);
}

} // namespace

std::string TaskSchedulerErrorText(HRESULT ACode)
{
    if (ACode == SCHED_E_NO_OS_SUPPORT)
        return _("Windows Task Scheduler 2.0 is not available on Windows XP");
    return _("Error on connecting to Windows Task Scheduler:") + "\n" + TaskResultText(ACode);
}

TTaskScheduleDialog::TTaskScheduleDialog(QWidget* parent) : TDialogBase(parent)
{
    setObjectName(QStringLiteral("TaskScheduleDialog"));
    FProgram = RunningProgramDir() + "/Vastrel";
    auto* layout = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    top->addWidget(new QLabel(TrQ("Name of scheduled task:"), this));
    edJobName = new QLineEdit(this);
    edJobName->setObjectName(QStringLiteral("edJobName"));
    edJobName->setReadOnly(true);
    top->addWidget(edJobName, 1);
    layout->addLayout(top);

    pcMain = new QStackedWidget(this);
    pcMain->setObjectName(QStringLiteral("pcMain"));
    tsSettings = new QWidget(pcMain);
    tsSettings->setObjectName(QStringLiteral("tsSettings"));
    tsSchedule = new QWidget(pcMain);
    tsSchedule->setObjectName(QStringLiteral("tsSchedule"));
    tsAccount = new QWidget(pcMain);
    tsAccount->setObjectName(QStringLiteral("tsAccount"));
    BuildSettingsPage(tsSettings);
    BuildSchedulePage(tsSchedule);
    BuildAccountPage(tsAccount);
    pcMain->addWidget(tsSettings);
    pcMain->addWidget(tsSchedule);
    pcMain->addWidget(tsAccount);
    layout->addWidget(pcMain, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    btnBack = new QPushButton(TrQ("Back"), this);
    btnBack->setObjectName(QStringLiteral("btnBack"));
    btnNext = new QPushButton(TrQ("Next"), this);
    btnNext->setObjectName(QStringLiteral("btnNext"));
    btnNext->setDefault(true);
    btnCancel = new QPushButton(TrQ("Cancel"), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    buttons->addWidget(btnBack);
    buttons->addWidget(btnNext);
    buttons->addWidget(btnCancel);
    layout->addLayout(buttons);
    connect(btnNext, &QPushButton::clicked, this, [this] { GuardSlot([&] { NextClick(); }); });
    connect(btnBack, &QPushButton::clicked, this, [this] { GuardSlot([&] { BackClick(); }); });
    connect(btnCancel, &QPushButton::clicked, this, [this] { reject(); });
    resize(720, 520);
}

void TTaskScheduleDialog::BuildSettingsPage(QWidget* page)
{
    auto* grid = new QGridLayout(page);
    laTasks = new QLabel(page);
    grid->addWidget(laTasks, 0, 0, 1, 3);
    edTasks = new QLineEdit(page);
    edTasks->setObjectName(QStringLiteral("edTasks"));
    grid->addWidget(edTasks, 1, 0, 1, 2);
    btnTask = new QPushButton(QStringLiteral("..."), page);
    btnTask->setObjectName(QStringLiteral("btnTask"));
    btnTask->setToolTip(TrQ("Add backup task"));
    grid->addWidget(btnTask, 1, 2);
    grid->addWidget(new QLabel(TrQ("Command line parameters:"), page), 2, 0, 1, 3);
    edOptions = new QLineEdit(page);
    edOptions->setObjectName(QStringLiteral("edOptions"));
    edOptions->setReadOnly(true);
    edOptions->setToolTip(TrQ("Fixed parameters"));
    grid->addWidget(edOptions, 3, 0, 1, 3);
    edUserOptions = new QLineEdit(page);
    edUserOptions->setObjectName(QStringLiteral("edUserOptions"));
    edUserOptions->setToolTip(TrQ("User defined parameters"));
    edUserOptions->setPlaceholderText(TrQ("User defined parameters"));
    grid->addWidget(edUserOptions, 4, 0, 1, 3);
    grid->addWidget(new QLabel(TrQ("Start in (optional):"), page), 5, 0, 1, 3);
    edWorkDir = new QLineEdit(page);
    edWorkDir->setObjectName(QStringLiteral("edWorkDir"));
    grid->addWidget(edWorkDir, 6, 0, 1, 2);
    btWorkDir = new QPushButton(QStringLiteral("..."), page);
    btWorkDir->setObjectName(QStringLiteral("btWorkDir"));
    grid->addWidget(btWorkDir, 6, 2);
    grid->addWidget(new QLabel(TrQ("Ini file:"), page), 7, 0, 1, 3);
    edIniFile = new QLineEdit(page);
    edIniFile->setObjectName(QStringLiteral("edIniFile"));
    grid->addWidget(edIniFile, 8, 0, 1, 3);

    auto* left = new QFormLayout;
    cbxPrompt = NewCombo(page, "cbxPrompt",
                         {TrQ("Wait for prompt"), TrQ("Close automatically"), TrQ("Not visible"),
                          TrQ("Wait only on errors"), TrQ("Not visible except on errors")});
    left->addRow(TrQ("Status window"), cbxPrompt);
    reWait = NewSpin(page, "reWait", 1, 99);
    reWait->setSuffix(QStringLiteral(" ") + TrQ("seconds"));
    laWait = new QLabel(TrQ("Close after:"), page);
    left->addRow(laWait, reWait);
    cbLog = NewCombo(page, "cbLog", {TrQ("As in task"), TrQ("Short"), TrQ("Long"), TrQ("Verbose")});
    left->addRow(TrQ("Log mode"), cbLog);
    cbxPriority = NewCombo(page, "cbxPriority", {TrQ("Normal"), TrQ("Low"), TrQ("High")});
    left->addRow(TrQ("Process priority"), cbxPriority);
    cbHide = NewCheckBox(page, "cbHide", TrQ("No splash screen"));
    left->addRow(cbHide);
    cbParallel = NewCheckBox(page, "cbParallel", TrQ("Parallel processing of tasks"));
    left->addRow(cbParallel);
    grid->addLayout(left, 9, 0);

    rgEnd = new QGroupBox(TrQ("Subsequent action"), page);
    rgEnd->setObjectName(QStringLiteral("rgEnd"));
    rgEndGroup = new QButtonGroup(rgEnd);
    auto* endLayout = new QGridLayout(rgEnd);
    const QStringList ends = {TrQ("None"),   TrQ("Standby"),  TrQ("Hibernate"),
                              TrQ("Logoff"), TrQ("Shutdown"), TrQ("Restart")};
    for (int i = 0; i < ends.size(); ++i) {
        auto* rb = new QRadioButton(ends[i], rgEnd);
        rb->setObjectName(QStringLiteral("rbEnd%1").arg(i));
        rgEndGroup->addButton(rb, i);
        endLayout->addWidget(rb, i % 3, i / 3);
    }
    bbErrorAction = new QPushButton(TrQ("Error handling"), rgEnd);
    bbErrorAction->setObjectName(QStringLiteral("bbErrorAction"));
    endLayout->addWidget(bbErrorAction, 3, 0, 1, 2);
    grid->addWidget(rgEnd, 9, 1, 1, 2);
    grid->setRowStretch(10, 1);
    grid->setColumnStretch(1, 1);

    for (QComboBox* c : {cbxPrompt, cbLog, cbxPriority})
        connect(c, &QComboBox::activated, this, [this] { GuardSlot([&] { OptionsClick(); }); });
    for (QCheckBox* c : {cbHide, cbParallel})
        connect(c, &QCheckBox::clicked, this, [this] { GuardSlot([&] { OptionsClick(); }); });
    connect(rgEndGroup, &QButtonGroup::idClicked, this, [this] { GuardSlot([&] { OptionsClick(); }); });
    connect(reWait, &QSpinBox::valueChanged, this, [this] { GuardSlot([&] { OptionsClick(); }); });
    connect(btnTask, &QPushButton::clicked, this, [this] { GuardSlot([&] { TaskClick(); }); });
    connect(btWorkDir, &QPushButton::clicked, this, [this] { GuardSlot([&] { WorkDirClick(); }); });
    connect(bbErrorAction, &QPushButton::clicked, this, [this] { GuardSlot([&] { ErrorActionClick(); }); });
}

QWidget* TTaskScheduleDialog::StartRow(QWidget* parent, const char* suffix)
{
    auto* row = new QWidget(parent);
    auto* h = new QHBoxLayout(row);
    h->setContentsMargins(0, 0, 0, 0);
    h->addWidget(new QLabel(TrQ("Start:"), row));
    auto* d = new QDateEdit(row);
    d->setObjectName(QStringLiteral("dpStart") + QLatin1String(suffix));
    d->setCalendarPopup(true);
    d->setDisplayFormat(DatePickerQtFormat());
    auto* t = new QTimeEdit(row);
    t->setObjectName(QStringLiteral("tpStart") + QLatin1String(suffix));
    t->setDisplayFormat(TimePickerQtFormat());
    h->addWidget(d);
    h->addWidget(t);
    h->addStretch(1);
    dpStart.push_back(d);
    tpStart.push_back(t);
    connect(d, &QDateEdit::dateChanged, this, [this, d] { SyncStart(PickerDate(d), -1); });
    connect(t, &QTimeEdit::timeChanged, this, [this, t] { SyncStart(-1, PickerTime(t)); });
    return row;
}

void TTaskScheduleDialog::SyncStart(TDateTime date, TDateTime time)
{
    for (QDateEdit* d : dpStart)
        if (date >= 0 && PickerDate(d) != date) {
            QSignalBlocker b(d);
            SetPickerDate(d, date);
        }
    for (QTimeEdit* t : tpStart)
        if (time >= 0 && std::abs(PickerTime(t) - time) > 1e-9) {
            QSignalBlocker b(t);
            SetPickerTime(t, time);
        }
}

QPushButton* TTaskScheduleDialog::AdvancedButton(QWidget* parent, const char* name)
{
    auto* b = new QPushButton(TrQ("Advanced settings ..."), parent);
    b->setObjectName(QString::fromLatin1(name));
    connect(b, &QPushButton::clicked, this, [this] {
        GuardSlot([&] {
            TScheduleModel m = ControlsToModel();
            if (EditAdvancedSettings(m.Adv, this))
                FModel.Adv = m.Adv;
        });
    });
    return b;
}

void TTaskScheduleDialog::BuildSchedulePage(QWidget* page)
{
    auto* h = new QHBoxLayout(page);
    auto* left = new QVBoxLayout;
    laTrigger = new QLabel(page);
    laTrigger->setObjectName(QStringLiteral("laTrigger"));
    QFont bold = laTrigger->font();
    bold.setBold(true);
    laTrigger->setFont(bold);
    left->addWidget(laTrigger);
    auto* box = new QGroupBox(TrQ("Perform this task:"), page);
    box->setObjectName(QStringLiteral("rgCycle"));
    auto* boxLayout = new QVBoxLayout(box);
    rgCycle = new QButtonGroup(box);
    for (int i = 0; i < 6; ++i) {
        auto* rb = new QRadioButton(TrQ(CycleNames[i]), box);
        rb->setObjectName(QStringLiteral("rbCycle%1").arg(i));
        rgCycle->addButton(rb, i);
        boxLayout->addWidget(rb);
    }
    left->addWidget(box);
    cbEnabled = NewCheckBox(page, "cbEnabled", TrQ("Schedule enabled"));
    left->addWidget(cbEnabled);
    left->addStretch(1);
    h->addLayout(left);

    pcSteps = new QStackedWidget(page);
    pcSteps->setObjectName(QStringLiteral("pcSteps"));
    h->addWidget(pcSteps, 1);
    auto heading = [&](QWidget* p, QVBoxLayout* l, const QString& text) {
        auto* lab = new QLabel(text, p);
        lab->setFont(bold);
        l->addWidget(lab);
        return lab;
    };

    // daily
    auto* daily = new QWidget(pcSteps);
    auto* dl = new QVBoxLayout(daily);
    heading(daily, dl, TrQ("Settings for daily schedule:"));
    dl->addWidget(StartRow(daily, "Daily"));
    rbEveryDay = new QRadioButton(TrQ("Every day"), daily);
    rbEveryDay->setObjectName(QStringLiteral("rbEveryDay"));
    rbSkipDays = new QRadioButton(TrQ("Every"), daily);
    rbSkipDays->setObjectName(QStringLiteral("rbSkipDays"));
    reDays = NewSpin(daily, "reDays", 2, 99);
    reDays->setToolTip(TrQ("Number of days"));
    reDays->setSuffix(QStringLiteral(" ") + TrQ("days"));
    dl->addWidget(rbEveryDay);
    auto* skip = new QHBoxLayout;
    skip->addWidget(rbSkipDays);
    skip->addWidget(reDays);
    skip->addStretch(1);
    dl->addLayout(skip);
    dl->addStretch(1);
    dl->addWidget(AdvancedButton(daily, "btAdvDaily"), 0, Qt::AlignLeft);
    pcSteps->addWidget(daily);
    connect(rbEveryDay, &QRadioButton::toggled, this, [this] { UpdateScheduleEnabling(); });

    // weekly
    auto* weekly = new QWidget(pcSteps);
    auto* wl = new QVBoxLayout(weekly);
    heading(weekly, wl, TrQ("Settings for weekly schedule:"));
    wl->addWidget(StartRow(weekly, "Weekly"));
    auto* every = new QHBoxLayout;
    every->addWidget(new QLabel(TrQ("Every"), weekly));
    reWeeks = NewSpin(weekly, "reWeeks", 1, 99);
    reWeeks->setToolTip(TrQ("Number of weeks"));
    every->addWidget(reWeeks);
    every->addWidget(new QLabel(TrQ("weeks"), weekly));
    every->addStretch(1);
    wl->addLayout(every);
    auto* days = new QGroupBox(TrQ("On the following days of the week"), weekly);
    auto* daysLayout = new QGridLayout(days);
    for (int i = 0; i < 7; ++i) {
        cbDay[i] = NewCheckBox(days, DayObjects[i], TrQ(DayNames[i]));
        daysLayout->addWidget(cbDay[i], i / 4, i % 4);
        connect(cbDay[i], &QCheckBox::clicked, this, [this] {
            bool any = false;
            for (QCheckBox* c : cbDay)
                any = any || c->isChecked();
            if (!any && isVisible())
                cbDay[0]->setChecked(true);
        });
    }
    wl->addWidget(days);
    wl->addStretch(1);
    wl->addWidget(AdvancedButton(weekly, "btAdvWeekly"), 0, Qt::AlignLeft);
    pcSteps->addWidget(weekly);

    // monthly
    auto* monthly = new QWidget(pcSteps);
    auto* ml = new QVBoxLayout(monthly);
    heading(monthly, ml, TrQ("Settings for monthly schedule:"));
    ml->addWidget(StartRow(monthly, "Monthly"));
    auto* mg = new QGridLayout;
    rbDayOfMonth = new QRadioButton(TrQ("Days:"), monthly);
    rbDayOfMonth->setObjectName(QStringLiteral("rbDayOfMonth"));
    rbSpecialday = new QRadioButton(TrQ("On:"), monthly);
    rbSpecialday->setObjectName(QStringLiteral("rbSpecialday"));
    ccMonthDays = new TCheckComboBox(monthly);
    ccMonthDays->setObjectName(QStringLiteral("ccMonthDays"));
    for (int d = 1; d <= 31; ++d)
        ccMonthDays->AddChecked(std::to_string(d), false);
    ccMonthDays->AddChecked(_("Last"), false);
    ccMonthDays->setMaxVisibleItems(15);
    ccMonthStart = new TCheckComboBox(monthly);
    ccMonthStart->setObjectName(QStringLiteral("ccMonthStart"));
    for (const char* w : {N_("First|1st"), N_("Second|2nd"), N_("Third|3rd"), N_("Fourth|4th"), N_("Last")})
        ccMonthStart->AddChecked(_(w), false);
    ccWeekdays = new TCheckComboBox(monthly);
    ccWeekdays->setObjectName(QStringLiteral("ccWeekdays"));
    for (const char* w : {N_("Monday|Mo"), N_("Tuesday|Tu"), N_("Wednesday|We"), N_("Thursday|Th"),
                          N_("Friday|Fr"), N_("Saturday|Sa"), N_("Sunday|Su")})
        ccWeekdays->AddChecked(_(w), false);
    mg->addWidget(rbDayOfMonth, 0, 0);
    mg->addWidget(ccMonthDays, 0, 1, 1, 2);
    mg->addWidget(rbSpecialday, 1, 0);
    mg->addWidget(ccMonthStart, 1, 1);
    mg->addWidget(ccWeekdays, 1, 2);
    mg->setColumnStretch(3, 1);
    ml->addLayout(mg);
    auto* months = new QGroupBox(TrQ("of the following months:"), monthly);
    auto* monthsLayout = new QGridLayout(months);
    for (int i = 0; i < 12; ++i) {
        cbMonth[i] = NewCheckBox(months, ("cb" + std::string(MonthNames[i])).c_str(), TrQ(MonthNames[i]));
        monthsLayout->addWidget(cbMonth[i], i / 6, i % 6);
        connect(cbMonth[i], &QCheckBox::clicked, this, [this] {
            bool any = false;
            for (QCheckBox* c : cbMonth)
                any = any || c->isChecked();
            if (!any)
                cbMonth[0]->setChecked(true);
        });
    }
    ml->addWidget(months);
    ml->addStretch(1);
    ml->addWidget(AdvancedButton(monthly, "btAdvMonthly"), 0, Qt::AlignLeft);
    pcSteps->addWidget(monthly);
    connect(rbDayOfMonth, &QRadioButton::toggled, this, [this] { UpdateScheduleEnabling(); });

    // one time
    auto* once = new QWidget(pcSteps);
    auto* ol = new QVBoxLayout(once);
    heading(once, ol, TrQ("Settings for one time trigger:"));
    ol->addWidget(StartRow(once, "Once"));
    auto* rnd = new QHBoxLayout;
    cbRandom = NewCheckBox(once, "cbRandom", TrQ("Delay task for up to (random delay):"));
    reRandom = NewSpin(once, "reRandom", 1, 3599);
    cbRndUnit = NewCombo(once, "cbRndUnit", {TrQ("hour(s)"), TrQ("minute(s)"), TrQ("seconds(s)")});
    rnd->addWidget(cbRandom);
    rnd->addWidget(reRandom);
    rnd->addWidget(cbRndUnit);
    rnd->addStretch(1);
    ol->addLayout(rnd);
    ol->addStretch(1);
    ol->addWidget(AdvancedButton(once, "btAdvOnce"), 0, Qt::AlignLeft);
    pcSteps->addWidget(once);
    connect(cbRandom, &QCheckBox::toggled, this, [this] { UpdateScheduleEnabling(); });

    // logon and wake-up
    auto* event = new QWidget(pcSteps);
    auto* el = new QVBoxLayout(event);
    laEventHead = heading(event, el, TrQ("On logon of:"));
    laEventHead->setObjectName(QStringLiteral("laEventHead"));
    laUser = new QLabel(event);
    laUser->setObjectName(QStringLiteral("laUser"));
    el->addWidget(laUser);
    cbActivate = NewCheckBox(event, "cbActivate", TrQ("Activate:"));
    el->addWidget(cbActivate);
    el->addWidget(StartRow(event, "Event"));
    auto* del = new QHBoxLayout;
    cbDelay = NewCheckBox(event, "cbDelay", TrQ("Delay task for:"));
    reDelay = NewSpin(event, "reDelay", 1, 3599);
    cbDelUnit = NewCombo(event, "cbDelUnit", {TrQ("hour(s)"), TrQ("minute(s)"), TrQ("seconds(s)")});
    del->addWidget(cbDelay);
    del->addWidget(reDelay);
    del->addWidget(cbDelUnit);
    del->addStretch(1);
    el->addLayout(del);
    el->addStretch(1);
    auto* eb = new QHBoxLayout;
    eb->addWidget(AdvancedButton(event, "btAdvEvent"));
    btEventEdit = new QPushButton(TrQ("Event ..."), event);
    btEventEdit->setObjectName(QStringLiteral("btEventEdit"));
    btEventEdit->setToolTip(TrQ("User defined event"));
    btEventReset = new QPushButton(TrQ("Default event"), event);
    btEventReset->setObjectName(QStringLiteral("btEventReset"));
    btEventReset->setToolTip(TrQ("Reset to default event"));
    eb->addWidget(btEventEdit);
    eb->addWidget(btEventReset);
    eb->addStretch(1);
    el->addLayout(eb);
    pcSteps->addWidget(event);
    connect(cbActivate, &QCheckBox::toggled, this, [this] { UpdateScheduleEnabling(); });
    connect(cbDelay, &QCheckBox::toggled, this, [this] { UpdateScheduleEnabling(); });
    connect(btEventReset, &QPushButton::clicked, this, [this] { FModel.Query = DefaultWakeQuery; });
    connect(btEventEdit, &QPushButton::clicked, this, [this] {
        GuardSlot([&] {
            std::string text = ReplaceAll(FModel.Query, "><", ">\r\n<");
            if (InputText(DefaultFormPos, StdStr(laEventHead->text()), _("Query string to select the event:"),
                          false, text))
                FModel.Query = ReplaceAll(ReplaceAll(text, "\r\n", ""), "\n", "");
        });
    });
    auto unitReset = [this](QComboBox* unit, QSpinBox* number) {
        int u = unit->currentIndex();
        number->setMaximum(u == 0 ? 24 : u == 1 ? 719 : 599);
        number->setValue(u == 2 ? 30 : 1);
        number->setSingleStep(u == 0 ? 1 : 10);
        number->setToolTip(TrQ("Number of ") + unit->currentText());
    };
    connect(cbRndUnit, &QComboBox::activated, this, [=, this] { unitReset(cbRndUnit, reRandom); });
    connect(cbDelUnit, &QComboBox::activated, this, [=, this] { unitReset(cbDelUnit, reDelay); });
    connect(rgCycle, &QButtonGroup::idClicked, this, [this] {
        if (pcMain->currentWidget() == tsSchedule)
            ShowTriggerPage();
    });
}

void TTaskScheduleDialog::BuildAccountPage(QWidget* page)
{
    auto* l = new QVBoxLayout(page);
    l->addWidget(new QLabel(TrQ("Description:"), page));
    leDesc = new QLineEdit(page);
    leDesc->setObjectName(QStringLiteral("leDesc"));
    l->addWidget(leDesc);
    auto* box = new QGroupBox(TrQ("User account"), page);
    auto* form = new QFormLayout(box);
    rbLoggedUser = new QRadioButton(TrQ("As logged-on user"), box);
    rbLoggedUser->setObjectName(QStringLiteral("rbLoggedUser"));
    rbAnyUser = new QRadioButton(TrQ("As any user with password"), box);
    rbAnyUser->setObjectName(QStringLiteral("rbAnyUser"));
    form->addRow(rbLoggedUser);
    form->addRow(rbAnyUser);
    edUser = new QLineEdit(box);
    edUser->setObjectName(QStringLiteral("edUser"));
    form->addRow(TrQ("User name:"), edUser);
    edPwd = new QLineEdit(box);
    edPwd->setObjectName(QStringLiteral("edPwd"));
    edPwd->setEchoMode(QLineEdit::Password);
    laPwd = new QLabel(TrQ("Password:"), box);
    form->addRow(laPwd, edPwd);
    cbRunLevel = NewCheckBox(box, "cbRunLevel", TrQ("Run with highest privileges"));
    form->addRow(cbRunLevel);
    l->addWidget(box);
    l->addStretch(1);
    connect(rbLoggedUser, &QRadioButton::toggled, this, [this] { UpdateAccount(); });
}

void TTaskScheduleDialog::UpdateAccount()
{
    bool logged = rbLoggedUser->isChecked();
    if (logged)
        edUser->setText(QStr(GetDomainUserName()));
    edUser->setEnabled(!logged);
    edPwd->setVisible(!logged);
    laPwd->setVisible(!logged);
    if (FModel.Item != siLogon || laUser->text().isEmpty())
        laUser->setText(edUser->text());
}

void TTaskScheduleDialog::UpdateScheduleEnabling()
{
    reDays->setEnabled(rbSkipDays->isChecked());
    ccMonthDays->setEnabled(rbDayOfMonth->isChecked());
    ccMonthStart->setEnabled(!rbDayOfMonth->isChecked());
    ccWeekdays->setEnabled(!rbDayOfMonth->isChecked());
    reRandom->setEnabled(cbRandom->isChecked());
    cbRndUnit->setEnabled(cbRandom->isChecked());
    reDelay->setEnabled(cbDelay->isChecked());
    cbDelUnit->setEnabled(cbDelay->isChecked());
    dpStart.back()->setEnabled(cbActivate->isChecked());
    tpStart.back()->setEnabled(cbActivate->isChecked());
}

void TTaskScheduleDialog::OptionsToControls(const TSchedOptions& o)
{
    edTasks->setText(QStr(o.Tasks));
    edUserOptions->setText(QStr(o.UserOptions));
    edIniFile->setText(QStr(o.IniFile));
    cbxPrompt->setCurrentIndex(o.Prompt >= 0 && o.Prompt <= 4 ? o.Prompt : 1);
    reWait->setValue(o.Wait);
    cbHide->setChecked(o.Hide);
    if (QAbstractButton* b = rgEndGroup->button(o.EndAction >= 0 && o.EndAction <= 5 ? o.EndAction : 0))
        b->setChecked(true);
    cbLog->setCurrentIndex(o.LogMode >= 0 && o.LogMode <= 3 ? o.LogMode : -1);
    cbParallel->setChecked(o.Parallel);
    cbxPriority->setCurrentIndex(o.Priority >= 0 && o.Priority <= 2 ? o.Priority : 0);
    ActErr = o.ErrActions;
}

TSchedOptions TTaskScheduleDialog::ControlsToOptions() const
{
    TSchedOptions o;
    o.Tasks = StdStr(edTasks->text());
    o.UserOptions = StdStr(edUserOptions->text());
    o.WorkDir = StdStr(edWorkDir->text());
    o.IniFile = StdStr(edIniFile->text());
    o.Prompt = cbxPrompt->currentIndex();
    o.Wait = reWait->value();
    o.Hide = cbHide->isChecked();
    o.EndAction = std::max(0, rgEndGroup->checkedId());
    o.LogMode = cbLog->currentIndex() < 0 ? 4 : cbLog->currentIndex();
    o.Parallel = cbParallel->isChecked();
    o.Priority = cbxPriority->currentIndex();
    o.ErrActions = ActErr;
    return o;
}

void TTaskScheduleDialog::OptionsClick()
{
    TSchedOptions o = ControlsToOptions();
    edOptions->setText(QStr(std::string(utf8::TrimLeft(BuildOptions(QvAction, o, false)))));
    bool action = o.EndAction > 0;
    bbErrorAction->setEnabled(action);
    bbErrorAction->setToolTip(
        action ? QStr(SafeFormat(_("Disable %s on errors"), {StdStr(rgEndGroup->checkedButton()->text())}))
               : QString());
    bool wait = PromptHasWait(o.Prompt);
    reWait->setEnabled(wait);
    laWait->setEnabled(wait);
}

void TTaskScheduleDialog::ModelToControls(const TScheduleModel& m)
{
    FModel = m;
    if (QAbstractButton* b = rgCycle->button(m.Item))
        b->setChecked(true);
    cbEnabled->setChecked(m.Enabled);
    SyncStart(DateOf(m.Start), TimeOf(m.Start));
    SyncStart(DateOf(m.Start) + 0, -1);
    for (size_t i = 0; i < dpStart.size(); ++i) {
        QSignalBlocker b1(dpStart[i]), b2(tpStart[i]);
        SetPickerDate(dpStart[i], m.Start);
        SetPickerTime(tpStart[i], m.Start);
    }
    rbEveryDay->setChecked(m.EveryDay);
    rbSkipDays->setChecked(!m.EveryDay);
    reDays->setValue(m.Days);
    reWeeks->setValue(m.Weeks);
    int monday = WeekdaysToMondayFirst(m.WeekDays);
    for (int i = 0; i < 7; ++i)
        cbDay[i]->setChecked((monday >> i) & 1);
    rbDayOfMonth->setChecked(m.DayOfMonth);
    rbSpecialday->setChecked(!m.DayOfMonth);
    ccMonthDays->SetSelected(m.MonthDays);
    ccMonthStart->SetSelected(static_cast<uint32_t>(m.MonthWeeks));
    ccWeekdays->SetSelected(static_cast<uint32_t>(m.MonthWeekdays));
    for (int i = 0; i < 12; ++i)
        cbMonth[i]->setChecked((m.Months >> i) & 1);
    auto showDelay = [](QSpinBox* number, QComboBox* unit, uint32_t seconds) {
        TUnitValue v = DelayUnitOf(seconds);
        unit->setCurrentIndex(v.Unit - 1);
        number->setMaximum(v.Max);
        number->setValue(v.Number);
        number->setToolTip(TrQ("Number of ") + unit->currentText());
    };
    cbRandom->setChecked(m.RandomOn);
    showDelay(reRandom, cbRndUnit, m.RandomSeconds);
    cbActivate->setChecked(m.Activate);
    cbDelay->setChecked(m.DelayOn);
    showDelay(reDelay, cbDelUnit, m.DelaySecs);
    laUser->setText(QStr(m.LogonUser));
    UpdateScheduleEnabling();
}

TScheduleModel TTaskScheduleDialog::ControlsToModel() const
{
    TScheduleModel m = FModel;
    m.Item = static_cast<TScheduleItem>(std::max(0, rgCycle->checkedId()));
    m.Enabled = cbEnabled->isChecked();
    size_t page = static_cast<size_t>(ItemPage[m.Item]);
    m.Start = PickerDate(dpStart[page]) + PickerTime(tpStart[page]);
    m.EveryDay = rbEveryDay->isChecked();
    m.Days = reDays->value();
    m.Weeks = reWeeks->value();
    int monday = 0;
    for (int i = 0; i < 7; ++i)
        if (cbDay[i]->isChecked())
            monday |= 1 << i;
    m.WeekDays = monday ? WeekdaysToSundayFirst(monday) : 2;
    m.DayOfMonth = rbDayOfMonth->isChecked();
    m.MonthDays = ccMonthDays->Selected();
    m.MonthWeeks = static_cast<int>(ccMonthStart->Selected());
    m.MonthWeekdays = static_cast<int>(ccWeekdays->Selected());
    m.Months = 0;
    for (int i = 0; i < 12; ++i)
        if (cbMonth[i]->isChecked())
            m.Months |= 1 << i;
    m.RandomOn = cbRandom->isChecked();
    m.RandomSeconds = DelaySeconds(true, reRandom->value(), cbRndUnit->currentIndex() + 1);
    m.Activate = cbActivate->isChecked();
    m.DelayOn = cbDelay->isChecked();
    m.DelaySecs = DelaySeconds(true, reDelay->value(), cbDelUnit->currentIndex() + 1);
    m.LogonUser = StdStr(laUser->text());
    return m;
}

void TTaskScheduleDialog::ShowTriggerPage()
{
    int item = std::max(0, rgCycle->checkedId());
    pcMain->setCurrentWidget(tsSchedule);
    pcSteps->setCurrentIndex(ItemPage[item]);
    bool logon = item == siLogon, wake = item == siWakeUp;
    laEventHead->setText(wake ? TrQ("On waking up the computer:") : TrQ("On logon of:"));
    btEventEdit->setVisible(wake);
    btEventReset->setVisible(wake);
    laUser->setVisible(logon);
    btnNext->setText(TrQ("Next"));
}

std::string TTaskScheduleDialog::KindTaskFile(const std::string& item) const
{
    if (IsAbsolutePath(item))
        return item;
    std::string name = FPath + item;
    std::string ext = QvActionInfo(QvAction).Extension;
    std::string base = name.substr(name.rfind('/') + 1);
    if (!ext.empty() && base.find('.', 1) == std::string::npos)
        name += ext;
    return name;
}

void TTaskScheduleDialog::NextClick()
{
    btnBack->setEnabled(true);
    if (pcMain->currentWidget() == tsSettings) {
        std::string list = StdStr(edTasks->text());
        if (utf8::Trim(list).empty()) {
            ErrorDialog(_("No tasks specified!"));
            return;
        }
        if (QvAction != paSchedule && QvAction != paOrvane) {
            while (!utf8::Trim(list).empty()) {
                std::string item = ReadNextQuotedItem(list, ',', '"');
                if (item.empty())
                    continue;
                std::string file = KindTaskFile(item);
                if (access(file.c_str(), F_OK) != 0) {
                    ErrorDialog(_("File not found:") + "\n" + file);
                    return;
                }
            }
        }
        ShowTriggerPage();
    } else if (pcMain->currentWidget() == tsSchedule) {
        pcMain->setCurrentWidget(tsAccount);
        btnNext->setText(TrQ("Done"));
        if (edPwd->isVisible())
            edPwd->setFocus();
    } else {
        if (rgCycle->checkedId() == siLogon || laUser->text().isEmpty())
            laUser->setText(edUser->text());
        accept();
    }
}

void TTaskScheduleDialog::BackClick()
{
    if (pcMain->currentWidget() == tsSchedule && ShowProgPage) {
        pcMain->setCurrentWidget(tsSettings);
        btnBack->setEnabled(false);
    } else if (pcMain->currentWidget() == tsAccount) {
        btnBack->setEnabled(ShowProgPage);
        ShowTriggerPage();
    }
    btnNext->setText(TrQ("Next"));
}

void TTaskScheduleDialog::TaskClick()
{
    static const char* const filters[] = {N_("Backup tasks"), N_("Restore tasks"), N_("Cleanup tasks"),
                                          N_("Backup tasks"), N_("Verify tasks")};
    std::string first = GetFirstItem(StdStr(edTasks->text()), ',');
    first = ReadNextQuotedItem(first, ',', '"');
    std::string dir = IsAbsolutePath(first) ? ParentDirOf(first) : FPath;
    std::string ext = QvActionInfo(QvAction).Extension;
    QString filter = TrQ(filters[QvAction <= paVerify ? QvAction : 0]) + QStringLiteral(" (*") + QStr(ext) +
                     QStringLiteral(")");
    QStringList files =
        QFileDialog::getOpenFileNames(this, TrQ("Select tasks to be executed"), QStr(dir), filter);
    for (const QString& f : files) {
        std::string item = QuoteIfContains(MakeRelativePath(FPath, StdStr(f)), " ,");
        QString text = edTasks->text();
        edTasks->setText(text.isEmpty() ? QStr(item) : text + QStringLiteral(",") + QStr(item));
    }
}

void TTaskScheduleDialog::WorkDirClick()
{
    std::string dir = StdStr(edWorkDir->text());
    if (dir.empty())
        dir = ParentDirOf(FProgram);
    QString chosen = QFileDialog::getExistingDirectory(this, TrQ("Select backup directory"), QStr(dir));
    if (!chosen.isEmpty()) {
        edWorkDir->setText(chosen);
        edWorkDir->setToolTip(chosen);
    }
}

void TTaskScheduleDialog::ErrorActionClick()
{
    if (rgEndGroup->checkedId() <= 0)
        return;
    int mask = ActErr;
    QPoint pos = bbErrorAction->mapToGlobal(QPoint(bbErrorAction->width(), bbErrorAction->height()));
    if (ShowErrorActionDialog(pos, StdStr(rgEndGroup->checkedButton()->text()), mask)) {
        ActErr = mask;
        OptionsClick();
    }
}

void TTaskScheduleDialog::done(int r)
{
    QDialog::done(r);
}

TModalResult TTaskScheduleDialog::Execute(int AIndex, int ATrgIndex, TQvAction AQvAction,
                                          const std::string& APath, const std::string& ATask,
                                          const std::string& AOptions, int& ATaskNr, int& ATrgNr, bool Retry)
{
    ATaskNr = 0;
    if (!IsAvailable()) {
        ErrorDialog(_("Scheduled tasks are not available on this computer!"));
        return mrCancel;
    }
    // 2. prepare
    FPath = APath.empty() || APath.back() == '/' ? APath : APath + "/";
    btnBack->setEnabled(false);
    ActErr = 0;
    QvAction = AQvAction;
    ShowProgPage = AQvAction != paStarter && AQvAction != paOrvane;
    const TQvActionInfo& info = QvActionInfo(AQvAction);
    ActionText = _(info.ActionText);
    laTasks->setText(QStr(SafeFormat(_(info.TasksLabel), {ActionText})));
    setWindowTitle(TrQ("Windows Scheduled Task Wizard") + QStringLiteral(" (") + QStr(ActionText) +
                   QStringLiteral(")"));
    bbErrorAction->setVisible(info.ErrorHandling);
    std::string Args;
    bool isNew = AIndex < 0;
    int trg = -1;
    std::string taskName;
    TWinTask* def = nullptr;
    std::unique_ptr<TWinTask> newDef;
    TWinTaskFolder* folder = TaskSchedule->TaskFolder();
    auto existing = [&](int pos) {
        TWinRegisteredTask* t = TaskSchedule->TaskFolder()->GetTask(pos);
        taskName = t->TaskName();
        def = t->Definition();
        return def->TriggerCount() > 0 ? 0 : -1;
    };

    // 3. which task
    int pos = -1;
    if (AIndex > 0) {
        if (!folder)
            return mrCancel;
        pos = AIndex - 1;
        existing(pos);
        trg = def->TriggerCount() > 0 ? ATrgIndex : -1;
    } else if (AIndex == 0) {
        int chosen = -1, chosenTrg = 0;
        std::string filter = FProgram.substr(FProgram.rfind('/') + 1);
        TModalResult r = SelectScheduledTask(ActionText, TaskSchedule, filter, chosen, chosenTrg, this);
        if (r == mrOk) {
            pos = chosen;
            existing(pos);
            trg = chosenTrg;
        } else if (r == mrNo) {
            std::string prog = QvActionProgram(AQvAction);
            if (AQvAction == paStarter) {
                ErrorDialog(SafeFormat(_("No scheduled tasks using %s found!"), {prog}));
                return mrNo;
            }
            if (!ConfirmDialog(SafeFormat(_("No scheduled tasks using %s found!"), {prog}) + "\n" +
                               _("Create new task?")))
                return mrCancel;
            isNew = true;
        } else if (r == mrYes) {
            return mrYes;
        } else {
            ATaskNr = chosen;
            ATrgNr = 0;
            return mrCancel;
        }
    }
    folder = TaskSchedule->TaskFolder();

    // 4. default name and arguments of a new task
    btnTask->setVisible(info.TasksEditable);
    edTasks->setReadOnly(!info.TasksEditable);
    if (isNew) {
        Retry = false;
        std::string quoteChars = " ,";
        if (AQvAction == paBackup) {
            std::string list = ATask, firstName;
            while (!utf8::Trim(list).empty()) {
                std::string item = ReadNextQuotedItem(list, ',', '"');
                if (item.empty())
                    continue;
                if (firstName.empty())
                    firstName = ExtractFileNameNoExt(item);
                Args +=
                    (Args.empty() ? "" : " ") + QuoteIfContains(MakeRelativePath(FPath, item), quoteChars);
            }
            Args += " " + AOptions;
            taskName = info.NamePrefix + firstName;
        } else if (AQvAction == paRestore || AQvAction == paCleanup || AQvAction == paVerify) {
            Args = QuoteIfContains(MakeRelativePath(FPath, ATask), quoteChars) + " " + AOptions;
            taskName = info.NamePrefix + ExtractFileNameNoExt(ATask);
        } else if (AQvAction == paSchedule) {
            Args = QuoteIfContains(ATask, quoteChars) + " " + AOptions;
            taskName = info.NamePrefix + ATask;
        } else {
            Args = AOptions;
            taskName = info.NamePrefix + ATask;
        }
        if (AIndex == -2)
            taskName = ExtractFileNameNoExt(ATask);
        // 5. an existing task of that name, or a new definition
        TaskSchedule->Refresh();
        folder = TaskSchedule->TaskFolder();
        int found = folder ? folder->IndexOfTask(taskName) : -1;
        if (found >= 0) {
            if (!ConfirmDialog(SafeFormat(_("Task \"%s\" already exists - edit?"), {taskName})))
                return mrCancel;
            pos = found;
            trg = existing(pos);
            isNew = false;
        } else {
            if (AQvAction != paStarter && AQvAction != paSchedule) {
                for (;;) {
                    if (!InputText(DefaultFormPos, ActionText, _("Name of new scheduled task:"), false,
                                   taskName))
                        return mrCancel;
                    if (IsValidFileName(taskName) && !taskName.empty())
                        break;
                    ErrorDialog(_("Task Scheduler") + "\n" +
                                SafeFormat(_("\"%s\" contains invalid characters (%s)!"),
                                           {taskName, std::string("* ? < > : \" / \\ |")}));
                }
            }
            try {
                newDef = TaskSchedule->NewTask();
            } catch (const Exception& e) {
                ErrorDialog(_("Error creating new scheduled task!") + "\n- " + e.Message());
                return mrCancel;
            }
            def = newDef.get();
            if (AIndex == -2) {
                std::string text;
                if (!ReadWholeFile(ATask, text))
                    throw EOleSysError(Format(_("Cannot read \"%s\""), {ATask}),
                                       HResultFromWin32(LastWinError()));
                def->SetXmlText(text);
                trg = 0;
            } else {
                def->SetDescription(_("This task was created by Vastrel"));
                def->SetAuthor(GetCurrentUserName());
                def->SetUserId(GetDomainUserName());
                def->SetDate(Clock::Current().NowLocal());
                TWinTaskAction* a = def->NewAction(taExec);
                a->SetPath(QuoteIfContains(FProgram, " "));
                a->SetWorkingDirectory("");
                a->SetArguments(Args);
                trg = -1;
            }
        }
    }

    // 6. load the dialog
    if (!Retry || isNew) {
        TSchedOptions defaults;
        OptionsToControls(defaults);
        ActErr = 0;
        bbErrorAction->setEnabled(false);
        edIniFile->clear();
        TDateTime now = Clock::Current().NowLocal();
        TScheduleModel model = ResetSchedule(std::floor(now * MinsPerDay) / MinsPerDay);
        edJobName->setText(QStr(taskName));
        leDesc->setText(QStr(def->Description()));
        rbLoggedUser->setChecked(def->LogonType() == ltToken);
        rbAnyUser->setChecked(def->LogonType() != ltToken);
        UpdateAccount();
        cbRunLevel->setChecked(def->HighestRunLevel());
        edPwd->clear();
        int exec = def->IndexOfNextExecAction(0);
        TWinTaskAction* a = exec >= 0 ? def->GetAction(exec) : def->NewAction(taExec);
        edWorkDir->setText(QStr(UnquotePath(a->WorkingDirectory())));
        edWorkDir->setToolTip(edWorkDir->text());
        if (ShowProgPage) {
            TSchedOptions o = defaults;
            TQvAction kind = QvAction;
            ParseArguments(a->Arguments(), FPath, o, kind);
            QvAction = kind;
            OptionsToControls(o);
        } else if (Args.empty()) {
            Args = a->Arguments();
        }
        edUser->setText(QStr(def->UserId().empty() ? GetDomainUserName() : def->UserId()));
        if (rbLoggedUser->isChecked())
            UpdateAccount();
        ReadAdvancedTaskSettings(*def, model.Adv);
        if (def->Settings().Compatibility() < tcVista)
            def->Settings().SetCompatibility(GetCompatibilityForOS());
        if (trg < 0 || trg >= def->TriggerCount()) {
            trg = -1;
            laTrigger->setText(TrQ("New schedule"));
        } else {
            laTrigger->setText(QStr(OrdinalText(trg + 1) + _("Schedule")));
            TWinTaskTrigger* t = def->GetTrigger(trg);
            if (!LoadTrigger(*t, now, def->Date(), model)) {
                ErrorDialog(SafeFormat(_("The trigger mode \"%s\" is not supported by Vastrel."),
                                       {t->TriggerTypeAsString()}) +
                            "\n" + _("Please use the Windows Task Scheduler for editing!"));
                return mrCancel;
            }
        }
        if (model.LogonUser.empty())
            model.LogonUser = StdStr(edUser->text());
        ModelToControls(model);
        OptionsClick();
    } else {
        if (trg >= def->TriggerCount())
            trg = -1;
    }

    // 7. show
    ATaskNr = isNew ? -1 : pos;
    ATrgNr = ATrgIndex;
    pcMain->setCurrentWidget(ShowProgPage ? tsSettings : tsSchedule);
    if (!ShowProgPage)
        ShowTriggerPage();
    btnNext->setText(TrQ("Next"));
    if (exec() != QDialog::Accepted)
        return mrCancel;

    // 8. write the definition
    def->SetDescription(StdStr(leDesc->text()));
    std::string userData = info.UserDataKey;
    if (QvAction == paSchedule || QvAction == paStarter || QvAction == paOrvane)
        userData += "-" + ATask;
    def->SetUserData(userData);
    def->SetLogonType(rbLoggedUser->isChecked() ? ltToken : ltPassword);
    def->SetHighestRunLevel(cbRunLevel->isChecked());
    TScheduleModel model = ControlsToModel();
    WriteAdvancedTaskSettings(*def, model.Adv);
    int exec = def->IndexOfNextExecAction(0);
    TWinTaskAction* a = exec >= 0 ? def->GetAction(exec) : def->NewAction(taExec);
    std::string program = a->Path();
    if (ParentDirOf(program) != ParentDirOf(FProgram))
        a->SetPath(
            QuoteIfContains(ParentDirOf(FProgram) + "/" + program.substr(program.rfind('/') + 1), " "));
    a->SetWorkingDirectory(QuoteIfContains(StdStr(edWorkDir->text()), " "));
    if (QvAction == paStarter || QvAction == paOrvane)
        a->SetArguments(Args);
    else
        a->SetArguments(BuildArguments(QvAction, ControlsToOptions(), FPath));
    bool removeFailed = false;
    int written = WriteTrigger(*def, trg, model, removeFailed);
    if (removeFailed)
        ErrorDialog(SafeFormat(_("Could not delete trigger (%u)"), {static_cast<uint32_t>(trg)}) + "\n" +
                    _("Task: ") + taskName);
    ATrgNr = written;
    std::string user = rbLoggedUser->isChecked() ? std::string() : StdStr(edUser->text());
    int registered = folder ? folder->RegisterTask(taskName, def, user, StdStr(edPwd->text())) : -1;
    if (registered >= 0) {
        ATaskNr = registered;
        return mrOk;
    }
    HRESULT code = folder ? folder->ErrorCode() : E_FAIL;
    TModalResult result = IsLogonFailure(code) || (code & 0xFFFF) == 87 ? mrRetry : mrCancel;
    ErrorDialog(_("Could not create or modify scheduled task!") + "\n" + TaskResultText(code) + " - " +
                (folder ? folder->ErrorMessage() : std::string()));
    if (!newDef)
        TaskSchedule->Refresh();
    return result;
}

TModalResult TTaskScheduleDialog::Execute(int AIndex, TQvAction AQvAction, const std::string& APath,
                                          const std::string& ATask, const std::string& AOptions, int& ATaskNr,
                                          int& ATrgNr, bool Retry)
{
    return Execute(AIndex, 0, AQvAction, APath, ATask, AOptions, ATaskNr, ATrgNr, Retry);
}

TModalResult TTaskScheduleDialog::Execute(int AIndex, TQvAction AQvAction, const std::string& APath,
                                          const std::string& ATask, const std::string& AOptions, bool Retry)
{
    int taskNr = 0, trgNr = 0;
    return Execute(AIndex, 0, AQvAction, APath, ATask, AOptions, taskNr, trgNr, Retry);
}

TModalResult TTaskScheduleDialog::DeleteTrigger(int AIndex, int ATrgIndex)
{
    if (!IsAvailable() || !TaskSchedule->TaskFolder())
        return mrCancel;
    TWinTaskFolder* folder = TaskSchedule->TaskFolder();
    if (AIndex < 1 || AIndex > folder->TaskCount())
        return mrCancel;
    TWinRegisteredTask* t = folder->GetTask(AIndex - 1);
    TWinTask* def = t->Definition();
    if (!def->DeleteTrigger(ATrgIndex)) {
        ErrorDialog(SafeFormat(_("Error deleting schedule %u"), {static_cast<uint32_t>(ATrgIndex + 1)}));
        return mrCancel;
    }
    std::string pwd;
    if (def->LogonType() != ltToken &&
        AskPasswordCentered(t->TaskName(), _("To change this scheduled task requires a password!"), false,
                            pwd) != mrOk)
        return mrCancel;
    std::string name = t->TaskName(), user = def->UserId();
    if (folder->RegisterTask(name, def, user, pwd) >= 0)
        return mrOk;
    HRESULT code = folder->ErrorCode();
    TModalResult result = mrCancel;
    if (IsLogonFailure(code)) {
        ErrorDialog(TaskResultText(code) + "\n" + _("Could not create or modify scheduled task!"));
        result = mrRetry;
    } else {
        ErrorDialog(TaskResultText(code) + " - \"" + folder->ErrorMessage() + "\"");
    }
    folder->Refresh();
    return result;
}

int TTaskScheduleDialog::GetActiveTasks(const std::string& AFilter,
                                        std::vector<std::pair<std::string, int>>& AList)
{
    AList.clear();
    TWinTaskFolder* folder = TaskSchedule ? TaskSchedule->TaskFolder() : nullptr;
    for (int i = 0; folder && i < folder->TaskCount(); ++i)
        if (folder->GetTask(i)->IndexOfApp(AFilter) >= 0)
            AList.emplace_back(folder->GetTask(i)->TaskName(), i);
    return 0;
}

int TTaskScheduleDialog::GetUserTask(TQvAction AQvAction, const std::string& UserId)
{
    TWinTaskFolder* folder = TaskSchedule ? TaskSchedule->TaskFolder() : nullptr;
    std::string key = std::string(QvActionInfo(AQvAction).UserDataKey) + "-" + UserId;
    for (int i = 0; folder && i < folder->TaskCount(); ++i)
        if (utf8::SameText(folder->GetTask(i)->Definition()->UserData(), key))
            return i + 1;
    return 0;
}

std::string TTaskScheduleDialog::GetStatus(int AIndex)
{
    TWinTaskFolder* folder = TaskSchedule ? TaskSchedule->TaskFolder() : nullptr;
    if (!folder || AIndex < 1 || AIndex > folder->TaskCount())
        return "";
    TWinRegisteredTask* t = folder->GetTask(AIndex - 1);
    return _("Status") + ": " + t->StatusAsString() + "\r\n" + _("Last run time") + ": " +
           t->LastRunTimeAsString() + "\r\n" + _("Next run time") + ": " + t->NextRunTimeAsString();
}

void TTaskScheduleDialog::RunTask(int AIndex)
{
    TWinTaskFolder* folder = TaskSchedule ? TaskSchedule->TaskFolder() : nullptr;
    if (folder && AIndex >= 1 && AIndex <= folder->TaskCount())
        folder->GetTask(AIndex - 1)->Run();
}

void TTaskScheduleDialog::DeleteTask(int AIndex)
{
    TWinTaskFolder* folder = TaskSchedule ? TaskSchedule->TaskFolder() : nullptr;
    if (!folder || AIndex < 1 || AIndex > folder->TaskCount())
        return;
    if (!folder->DeleteTask(folder->GetTask(AIndex - 1)->TaskName()))
        ErrorDialog(folder->ErrorMessage());
}
