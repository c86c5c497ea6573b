#include "planer/gui/PlanerWindow.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "backup/gui/DesktopIconDlg.h"
#include "foundation/BuConsts.h"
#include "foundation/ExtSysUtils.h"
#include "foundation/InitProg.h"
#include "foundation/PathUtils.h"
#include "foundation/QvUtilsFolders.h"
#include "foundation/StringUtils.h"
#include "foundation/WinExecute.h"
#include "foundation/XlFileUtils.h"
#include "foundation/gui/GuiUtils.h"
#include "foundation/gui/ShowMessageDlg.h"
#include "planer/PlanerShortcut.h"
#include "rtl/Gettext.h"
#include "scheduling/gui/TaskSchedDlg.h"

namespace {

constexpr int IndexRole = Qt::UserRole;

QPushButton* Button(QWidget* parent, const char* name, const std::string& text, const std::string& hint = {})
{
    auto* b = new QPushButton(QStr(text), parent);
    b->setObjectName(QString::fromLatin1(name));
    if (!hint.empty())
        b->setToolTip(QStr(hint));
    return b;
}

std::string FileNameOnly(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string FolderOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

} // namespace

TPlanerWindow::TPlanerWindow(THauptForm& form, QWidget* parent) : QWidget(parent), Form(form)
{
    setObjectName(QStringLiteral("HauptForm"));
    setWindowTitle(QStr(_("Alternating backup schedules") + " - " + Form.ProgName + " " + Form.ProgVersion));
    InitProgramLocation();
    PlanerExe = ProgramDir + ProgramName;
    ChooseTaskFile = [this](const std::string& folder) {
        const QString filter = QStr(SafeFormat(_("Backup tasks|*.%s|all|*.*"), {std::string("buj")}))
                                   .replace(QLatin1Char('|'), QStringLiteral(";;"));
        // "Backup tasks;;*.buj;;all;;*.*" into Qt's "Backup tasks (*.buj);;all (*.*)"
        const QStringList parts = filter.split(QStringLiteral(";;"));
        QStringList filters;
        for (qsizetype i = 0; i + 1 < parts.size(); i += 2)
            filters << parts[i] + QStringLiteral(" (") + parts[i + 1] + QLatin1Char(')');
        return StdStr(QFileDialog::getOpenFileName(this, TrQ("Select backup task"), QStr(folder),
                                                   filters.join(QStringLiteral(";;"))));
    };
    BuildControls();
}

TPlanerWindow::~TPlanerWindow() = default;

void TPlanerWindow::BuildControls()
{
    auto* main = new QVBoxLayout(this);

    lvSchedules = new QTreeWidget(this);
    lvSchedules->setObjectName(QStringLiteral("lvSchedules"));
    lvSchedules->setRootIsDecorated(false);
    lvSchedules->setSelectionBehavior(QAbstractItemView::SelectRows);
    lvSchedules->setSelectionMode(QAbstractItemView::SingleSelection);
    lvSchedules->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lvSchedules->setAlternatingRowColors(true);
    lvSchedules->setHeaderLabels(
        {TrQ("Name"), TrQ("Task"), QString(), TrQ("Cycles"), TrQ("Steps"), TrQ("Start"), TrQ("Type")});
    lvSchedules->setColumnWidth(0, 150);
    lvSchedules->setColumnWidth(1, 180);
    lvSchedules->setColumnWidth(2, 24);
    lvSchedules->setColumnWidth(3, 60);
    lvSchedules->setColumnWidth(4, 60);
    lvSchedules->setColumnWidth(5, 60);
    lvSchedules->setMinimumHeight(140);
    main->addWidget(lvSchedules, 1);

    gbSched = new QGroupBox(TrQ("Schedule settings"), this);
    gbSched->setObjectName(QStringLiteral("gbSched"));
    auto* grid = new QGridLayout(gbSched);
    leName = new QLineEdit(gbSched);
    leName->setObjectName(QStringLiteral("leName"));
    leName->setToolTip(TrQ("Name:"));
    leTask = new QLineEdit(gbSched);
    leTask->setObjectName(QStringLiteral("leTask"));
    leTask->setToolTip(TrQ("Backup task:"));
    bbEdit = Button(gbSched, "bbEdit", _("Edit"), _("Edit backup task"));
    btnSelTask = Button(gbSched, "btnSelTask", "...", _("Select backup task"));
    grid->addWidget(new QLabel(TrQ("Name:"), gbSched), 0, 0);
    grid->addWidget(leName, 0, 1, 1, 3);
    grid->addWidget(new QLabel(TrQ("Backup task:"), gbSched), 1, 0);
    grid->addWidget(leTask, 1, 1, 1, 3);
    auto* taskButtons = new QHBoxLayout;
    taskButtons->addWidget(btnSelTask);
    taskButtons->addWidget(bbEdit);
    grid->addLayout(taskButtons, 1, 4);

    edCycles = new QSpinBox(gbSched);
    edCycles->setObjectName(QStringLiteral("edCycles"));
    edCycles->setRange(1, 499);
    edCycles->setValue(2);
    edSteps = new QSpinBox(gbSched);
    edSteps->setObjectName(QStringLiteral("edSteps"));
    edSteps->setRange(2, 999);
    edSteps->setValue(7);
    cbWeekDay = new QComboBox(gbSched);
    cbWeekDay->setObjectName(QStringLiteral("cbWeekDay"));
    cbWeekDay->addItem(QString());
    for (int d = 1; d <= 7; ++d)
        cbWeekDay->addItem(QStr(GetDayName(d, true)));
    grid->addWidget(new QLabel(TrQ("Number of cycles:"), gbSched), 2, 0);
    grid->addWidget(edCycles, 2, 1);
    grid->addWidget(new QLabel(TrQ("Steps per cycle:"), gbSched), 3, 0);
    grid->addWidget(edSteps, 3, 1);
    grid->addWidget(new QLabel(TrQ("Start on:"), gbSched), 4, 0);
    grid->addWidget(cbWeekDay, 4, 1);

    rgMode = new QGroupBox(TrQ("Full backup and"), gbSched);
    rgMode->setObjectName(QStringLiteral("rgMode"));
    auto* modeLayout = new QVBoxLayout(rgMode);
    rbDiff = new QRadioButton(TrQ("differential"), rgMode);
    rbDiff->setObjectName(QStringLiteral("rbDiff"));
    rbIncr = new QRadioButton(TrQ("incremental"), rgMode);
    rbIncr->setObjectName(QStringLiteral("rbIncr"));
    rbIncr->setChecked(true);
    modeLayout->addWidget(rbDiff);
    modeLayout->addWidget(rbIncr);
    grid->addWidget(rgMode, 2, 2, 3, 1);
    cbSilent = new QCheckBox(TrQ("Silent operation"), gbSched);
    cbSilent->setObjectName(QStringLiteral("cbSilent"));
    grid->addWidget(cbSilent, 5, 0, 1, 3);

    auto* editButtons = new QVBoxLayout;
    btnReset = Button(gbSched, "btnReset", _("New"));
    btnAdd = Button(gbSched, "btnAdd", _("Add"));
    btnReplace = Button(gbSched, "btnReplace", _("Replace"), _("Change and restart selected schedule"));
    btnRemove = Button(gbSched, "btnRemove", _("Remove"));
    btnRun = Button(gbSched, "btnRun", _("Run now"), _("Run the next step of the selected schedule now"));
    for (QPushButton* b : {btnReset, btnAdd, btnReplace, btnRemove, btnRun})
        editButtons->addWidget(b);
    editButtons->addStretch(1);
    grid->addLayout(editButtons, 2, 3, 4, 2);
    grid->setColumnStretch(2, 1);
    main->addWidget(gbSched);

    auto* bottom = new QHBoxLayout;
    btnCreateTask =
        Button(this, "btnCreateTask", _("Create scheduled task"), _("Create Windows Scheduled Task"));
    btnShowTasks = Button(this, "btnShowTasks", _("Edit scheduled task"), _("Edit Windows scheduled task"));
    btnShortcut = Button(this, "btnShortcut", _("Desktop shortcut"),
                         _("Create desktop shortcut for alternating backup"));
    bbHelp = Button(this, "bbHelp", _("Help"));
    btInfo = Button(this, "btInfo", _("Info"));
    btnQuit = Button(this, "btnQuit", _("Quit"));
    for (QPushButton* b : {btnCreateTask, btnShowTasks, btnShortcut})
        bottom->addWidget(b);
    bottom->addStretch(1);
    for (QPushButton* b : {bbHelp, btInfo, btnQuit})
        bottom->addWidget(b);
    main->addLayout(bottom);

    connect(lvSchedules, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* item) {
        GuardSlot([&] { ShowSchedule(item->data(0, IndexRole).toInt()); });
    });
    connect(lvSchedules, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* item) {
        GuardSlot([&] { ShowSchedule(item->data(0, IndexRole).toInt()); });
    });
    connect(lvSchedules, &QTreeWidget::itemDoubleClicked, this,
            [this](QTreeWidgetItem*, int) { GuardSlot([&] { EditTaskClick(); }); });
    connect(edSteps, &QSpinBox::valueChanged, this, [this](int v) { GuardSlot([&] { StepsChanged(v); }); });
    connect(cbWeekDay, &QComboBox::activated, this, [this](int i) {
        if (i == 0)
            cbWeekDay->setCurrentIndex(1);
        LastWd = cbWeekDay->currentIndex();
    });
    auto on = [this](QPushButton* b, void (TPlanerWindow::*slot)()) {
        connect(b, &QPushButton::clicked, this, [this, slot] { GuardSlot([&] { (this->*slot)(); }); });
    };
    on(btnReset, &TPlanerWindow::ResetClick);
    on(btnAdd, &TPlanerWindow::AddScheduleClick);
    on(btnReplace, &TPlanerWindow::ReplaceScheduleClick);
    on(btnRemove, &TPlanerWindow::RemoveScheduleClick);
    on(btnRun, &TPlanerWindow::RunNowClick);
    on(bbEdit, &TPlanerWindow::EditTaskClick);
    on(btnSelTask, &TPlanerWindow::SelectTaskClick);
    on(btnCreateTask, &TPlanerWindow::CreateTaskClick);
    on(btnShowTasks, &TPlanerWindow::ShowTasksClick);
    on(btnShortcut, &TPlanerWindow::ShortcutClick);
    on(btInfo, &TPlanerWindow::InfoClick);
    connect(bbHelp, &QPushButton::clicked, this, [] { GuardSlot([] { OpenHelpTopic("qv-planer.html"); }); });
    connect(btnQuit, &QPushButton::clicked, this, &QWidget::close);
    resize(760, 520);
}

// ---- showing

void TPlanerWindow::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    GuardSlot([this] { ConnectOnce(); });
}

void TPlanerWindow::ConnectOnce()
{
    if (FConnected)
        return;
    FConnected = true;
    FSchedStatus = ConnectScheduler ? ConnectScheduler(FScheduler) : -1;
    if (FSchedStatus < 0 || !FScheduler) {
        // Without the scheduler the schedules can still be kept and run from here and by shortcuts.
        FScheduler.reset();
        ErrorDialog(Form.ProgName + " " + Form.ProgVersion + "\r\n" + TaskSchedulerErrorText(FSchedStatus));
    } else {
        FWizard = new TTaskScheduleDialog(this);
        FWizard->InitTaskScheduler(FScheduler.get());
        FWizard->SetProgramPath(PlanerExe);
    }
    btnCreateTask->setEnabled(FWizard != nullptr);
    btnShowTasks->setEnabled(FWizard != nullptr);
    ReadActiveTasks();
    FillScheduleList(0);
}

void TPlanerWindow::ReadActiveTasks()
{
    FActiveTasks.clear();
    if (!FWizard)
        return;
    if (FScheduler->TaskFolder())
        FScheduler->Refresh();
    std::vector<std::pair<std::string, int>> tasks;
    FWizard->GetActiveTasks(FileNameOnly(PlanerExe), tasks);
    for (const auto& t : tasks) {
        const size_t at = t.first.find("Schedule-");
        FActiveTasks.push_back(at == std::string::npos ? t.first : t.first.substr(at + 9));
    }
    UpdateActive();
}

void TPlanerWindow::UpdateActive()
{
    for (TSchedTask& s : Form.Schedules) {
        s.Active = false;
        for (const std::string& name : FActiveTasks)
            if (utf8::SameText(name, s.SName))
                s.Active = true;
    }
}

int TPlanerWindow::AddScheduleItem(int i)
{
    const TSchedTask& s = Form.Schedules[static_cast<size_t>(i)];
    auto* item = new QTreeWidgetItem(lvSchedules);
    item->setText(0, QStr(s.SName));
    item->setData(0, IndexRole, i);
    item->setText(1, QStr(FileNameOnly(s.Task)));
    item->setToolTip(1, QStr(s.Task));
    item->setText(2, s.Active ? QStringLiteral("A") : QString());
    item->setText(3, QString::number(s.Cycles));
    item->setText(4, QString::number(s.Steps));
    item->setText(5, s.FirstDay > 0 ? QStr(GetShortDayName(s.FirstDay)) : QString());
    item->setText(6, s.Diff ? TrQ("Diff") : TrQ("Incr"));
    return lvSchedules->indexOfTopLevelItem(item);
}

void TPlanerWindow::FillScheduleList(int i)
{
    lvSchedules->clear();
    for (int n = 0; n < static_cast<int>(Form.Schedules.size()); ++n)
        AddScheduleItem(n);
    if (Form.Schedules.empty()) {
        ClearScheduleControls();
        return;
    }
    i = std::max(0, std::min(i, lvSchedules->topLevelItemCount() - 1));
    QTreeWidgetItem* item = lvSchedules->topLevelItem(i);
    lvSchedules->setCurrentItem(item);
    lvSchedules->scrollToItem(item);
    ShowSchedule(item->data(0, IndexRole).toInt());
}

void TPlanerWindow::ShowSchedule(int i)
{
    if (i < 0 || i >= static_cast<int>(Form.Schedules.size()))
        return;
    const TSchedTask& s = Form.Schedules[static_cast<size_t>(i)];
    leName->setText(QStr(s.SName));
    leTask->setText(QStr(s.Task));
    edCycles->setValue(s.Cycles);
    (s.Diff ? rbDiff : rbIncr)->setChecked(true);
    leName->setFocus();
    LastWd = s.FirstDay >= 1 && s.FirstDay <= 7 ? s.FirstDay : 1;
    {
        const QSignalBlocker block(edSteps);
        edSteps->setValue(s.Steps);
    }
    cbWeekDay->setEnabled(s.Steps == 7);
    cbWeekDay->setCurrentIndex(s.Steps == 7 ? LastWd : 0);
    cbSilent->setChecked(s.Silent);
}

void TPlanerWindow::ClearScheduleControls()
{
    leName->clear();
    leTask->clear();
    edCycles->setValue(2);
    LastWd = 1;
    {
        const QSignalBlocker block(edSteps);
        edSteps->setValue(7);
    }
    cbWeekDay->setEnabled(true);
    cbWeekDay->setCurrentIndex(1);
    cbSilent->setChecked(false);
    rbIncr->setChecked(true);
    leName->setFocus();
}

void TPlanerWindow::StepsChanged(int steps)
{
    cbWeekDay->setEnabled(steps == 7);
    cbWeekDay->setCurrentIndex(steps == 7 ? LastWd : 0);
}

int TPlanerWindow::SelectedSchedule() const
{
    QTreeWidgetItem* item = lvSchedules->currentItem();
    return item ? item->data(0, IndexRole).toInt() : -1;
}

TSchedTask TPlanerWindow::ControlsToSchedule() const
{
    TSchedTask s;
    s.SName = std::string(utf8::Trim(StdStr(leName->text())));
    s.Task = std::string(utf8::Trim(StdStr(leTask->text())));
    s.Cycles = edCycles->value();
    s.Steps = edSteps->value();
    s.FirstDay = cbWeekDay->isEnabled() ? cbWeekDay->currentIndex() : 0;
    s.Diff = rbDiff->isChecked();
    s.Silent = cbSilent->isChecked();
    return s;
}

// ---- editing

bool TPlanerWindow::Validate(int index, const TSchedTask& s)
{
    switch (Form.ValidateSchedule(index, s)) {
    case 0:
        return true;
    case 1:
        leName->setFocus();
        leName->selectAll();
        break;
    case 2:
        SelectTaskClick();
        break;
    case 3:
        edCycles->setFocus();
        break;
    default:
        edSteps->setFocus();
        break;
    }
    return false;
}

void TPlanerWindow::AddScheduleClick()
{
    const TSchedTask s = ControlsToSchedule();
    if (!Validate(-1, s))
        return;
    Form.Schedules.push_back(s);
    UpdateActive();
    const int pos = AddScheduleItem(static_cast<int>(Form.Schedules.size()) - 1);
    lvSchedules->setCurrentItem(lvSchedules->topLevelItem(pos));
    lvSchedules->scrollToItem(lvSchedules->topLevelItem(pos));
}

void TPlanerWindow::ReplaceScheduleClick()
{
    const int index = SelectedSchedule();
    if (index < 0)
        return;
    const TSchedTask s = ControlsToSchedule();
    if (!Validate(index, s))
        return;
    const std::string& old = Form.Schedules[static_cast<size_t>(index)].SName;
    if (!ConfirmDialog(SafeFormat(_("Replace and reset selected backup schedule \"%s\"?"), {old})))
        return;
    // NextCyc, LastFull and LastDay start at 0: the schedule begins anew
    Form.Schedules[static_cast<size_t>(index)] = s;
    UpdateActive();
    FillScheduleList(lvSchedules->indexOfTopLevelItem(lvSchedules->currentItem()));
}

void TPlanerWindow::RemoveScheduleClick()
{
    const int index = SelectedSchedule();
    if (index < 0)
        return;
    const int pos = lvSchedules->indexOfTopLevelItem(lvSchedules->currentItem());
    const std::string& name = Form.Schedules[static_cast<size_t>(index)].SName;
    if (!ConfirmDialog(SafeFormat(_("Remove selected backup schedule \"%s\" from list?"), {name})))
        return;
    Form.Schedules.erase(Form.Schedules.begin() + index);
    FillScheduleList(pos);
}

void TPlanerWindow::ResetClick()
{
    ClearScheduleControls();
}

void TPlanerWindow::RunNowClick()
{
    const int index = SelectedSchedule();
    if (index < 0)
        return;
    const int pos = lvSchedules->indexOfTopLevelItem(lvSchedules->currentItem());
    // The run reads the schedule from the settings file under its lock, as a scheduled start does, so
    // the list is stored first; a run started meanwhile by the scheduler is then seen, not repeated.
    Form.SaveSettings();
    const std::string savedName = Form.SchedName, savedOptions = Form.OtherOptions;
    const bool savedIntAct = Form.IntAct;
    Form.SchedName = Form.Schedules[static_cast<size_t>(index)].SName;
    Form.OtherOptions.clear();
    Form.IntAct = true; // somebody is here to answer "Run again?"
    Form.CheckSchedule();
    Form.SchedName = savedName;
    Form.OtherOptions = savedOptions;
    Form.IntAct = savedIntAct;
    UpdateActive();
    FillScheduleList(pos);
}

void TPlanerWindow::SelectTaskClick()
{
    const std::string task = StdStr(leTask->text());
    const std::string folder = task.empty() ? Form.JobDir : FolderOf(task);
    const std::string chosen = ChooseTaskFile ? ChooseTaskFile(folder) : std::string();
    if (!chosen.empty())
        leTask->setText(QStr(chosen));
}

void TPlanerWindow::EditTaskClick()
{
    const int index = SelectedSchedule();
    if (index < 0)
        return;
    const TSchedTask& s = Form.Schedules[static_cast<size_t>(index)];
    if (Form.QvPath.empty()) {
        ErrorDialog(SafeFormat(_("\"%s\" not found on this system!"), {std::string("Vastrel")}));
        return;
    }
    try {
        StartProcess({Form.QvPath, s.Task, "/startapp:qvplaner", "/edit"}, "");
    } catch (const EProcessError& e) {
        ErrorDialog(e.what());
    }
}

// ---- starting schedules later

std::string TPlanerWindow::ScheduleName() const
{
    return std::string(utf8::Trim(StdStr(leName->text())));
}

void TPlanerWindow::RunWizard(int index)
{
    if (!FWizard)
        return;
    while (FWizard->Execute(index, paSchedule, Form.JobDir, ScheduleName(), Form.DefOptions, false) ==
           mrRetry) {
    }
    ReadActiveTasks();
    FillScheduleList(std::max(0, lvSchedules->indexOfTopLevelItem(lvSchedules->currentItem())));
}

void TPlanerWindow::CreateTaskClick()
{
    const std::string name = ScheduleName();
    if (name.empty() || !IsValidFileName(name)) {
        ErrorDialog(SafeFormat(_("\"%s\" contains invalid characters (%s)!"),
                               {name, std::string("* ? < > : \" / \\ |")}));
        leName->setFocus();
        return;
    }
    RunWizard(-1);
}

void TPlanerWindow::ShowTasksClick()
{
    RunWizard(0);
}

void TPlanerWindow::ShortcutClick()
{
    const std::string name = ScheduleName();
    if (name.empty()) {
        leName->setFocus();
        return;
    }
    std::string shortcut = ScheduleShortcutName(name);
    std::string description = DeleteExtension(name);
    std::string options = Form.DefOptions;
    bool runAs = false;
    int slot = -1;
    if (!ShowDesktopIconDialog(_("Create desktop shortcut for alternating backup"), name, "", shortcut,
                               description, options, runAs, slot))
        return;
    if (XlFileExists(ScheduleShortcutFile(shortcut)) &&
        !ConfirmDialog(SafeFormat(_("Replace existing desktop shortcut: %s?"), {shortcut})))
        return;
    const int32_t result =
        MakeScheduleShortcut(shortcut, PlanerExe, name, options, runAs, description, Form.JobDir);
    if (result < 0)
        ErrorDialog(_("Error creating desktop shortcut!") + "\r\n" +
                    SystemErrorMessage(static_cast<uint32_t>(result) & 0xFFFF));
}

void TPlanerWindow::InfoClick()
{
    std::string text = Form.ProgName + " " + Form.ProgVersion;
    text += "\r\n" + (Form.QvPath.empty()
                          ? SafeFormat(_("\"%s\" not found on this system!"), {std::string("Vastrel")})
                          : Form.QvPath);
    text += "\r\n" + Form.IniName;
    InfoDialogAt(rgMode->mapToGlobal(QPoint(0, 0)), text);
}

// ---- keys and closing

void TPlanerWindow::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_F11) {
        QWidget* w = QApplication::focusWidget();
        const QString hint = w ? ControlHint(w) : QString();
        if (!hint.isEmpty())
            ExecuteMsgDialog(w->mapToGlobal(QPoint(0, w->height())), StdStr(hint), 3, mdtCustom, mbOK,
                             dmActiveForm);
        return;
    }
    if (event->key() == Qt::Key_F1) {
        GuardSlot([] { OpenHelpTopic("qv-planer.html"); });
        return;
    }
    QWidget::keyPressEvent(event);
}

void TPlanerWindow::closeEvent(QCloseEvent* event)
{
    GuardSlot([this] {
        Form.Config.Top = y();
        Form.Config.Left = x();
        Form.SaveSettings();
    });
    QWidget::closeEvent(event);
}
