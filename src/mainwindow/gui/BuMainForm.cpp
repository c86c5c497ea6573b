#include "mainwindow/gui/BuMainForm.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileDialog>
#include <QFont>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QSessionManager>
#include <QSocketNotifier>
#include <QStackedWidget>
#include <QStatusBar>
#include <QStyle>
#include <QSystemTrayIcon>
#include <QTime>
#include <QTimeEdit>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <unistd.h>

#include "backup/BuFtpDlg.h"
#include "backup/gui/Anzeige.h"
#include "backup/gui/BackupForm.h"
#include "backup/gui/ProgressSink.h"
#include "foundation/BuConsts.h"
#include "foundation/IniFileUtils.h"
#include "foundation/InitProg.h"
#include "foundation/PathUtils.h"
#include "foundation/QvUtilsDest.h"
#include "foundation/QvUtilsFolders.h"
#include "foundation/QvUtilsTaskFiles.h"
#include "foundation/QvUtilsTexts.h"
#include "foundation/StringUtils.h"
#include "foundation/WinExecute.h"
#include "foundation/XlFileUtils.h"
#include "foundation/gui/GuiUtils.h"
#include "foundation/gui/InputString.h"
#include "foundation/gui/MsgDialogs.h"
#include "foundation/gui/SelectDlg.h"
#include "foundation/gui/ShowMemo.h"
#include "foundation/gui/StyleUtils.h"
#include "mainwindow/BuMainAutoTasks.h"
#include "mainwindow/BuMainRunTasks.h"
#include "rtl/Gettext.h"
#include "rtl/SysUtils.h"

namespace {

enum TMainPage
{
    pgBackup,
    pgAuto,
    pgTools,
    pgScheduler
};

const char* const AutoStartNames[] = {N_("Never"),
                                      N_("Always on logon"),
                                      N_("Daily on logon"),
                                      N_("Daily at selected time"),
                                      N_("Always on logoff"),
                                      N_("On first logon"),
                                      N_("On first logoff"),
                                      N_("By request")};
const char* const AutoEndNames[] = {N_("Wait for prompt"), N_("Close automatically"), N_("Quiet"),
                                    N_("Show errors"), N_("Quiet, show errors")};
const char* const PriorityNames[] = {N_("Idle"),   N_("Lowest"),  N_("Lower"),        N_("Normal"),
                                     N_("Higher"), N_("Highest"), N_("Time critical")};

double FracOf(TDateTime t)
{
    return t - std::floor(t);
}

QPushButton* Button(QWidget* parent, const char* name, const QString& caption, const QString& hint = {})
{
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(QString::fromLatin1(name));
    if (!hint.isEmpty())
        b->setToolTip(hint);
    return b;
}

template <typename T> T* Named(T* w, const char* name)
{
    w->setObjectName(QString::fromLatin1(name));
    return w;
}

// The colour of a state line: 0 good (green), 1 server (blue), 2 bad (red); lighter shades on a dark
// window background, where the plain ones would hardly show.
QColor StateColour(const QWidget* w, int state)
{
    const bool dark = w->palette().color(QPalette::Window).lightness() < 128;
    const int index = state < 0 ? 0 : state > 2 ? 2 : state;
    static const int32_t plain[] = {0x008000, 0xFF0000, 0x0000FF};
    static const int32_t light[] = {0x90EE90, 0xE6D8AD, 0x7AA0FF};
    return ColorFromTColor(dark ? light[index] : plain[index]);
}

std::string QuoteTask(const std::string& path)
{
    return path.find_first_of(" ,\"") == std::string::npos ? path
                                                           : "\"" + ReplaceAll(path, "\"", "\"\"") + "\"";
}

} // namespace

TBuMainWindow::TBuMainWindow(TBuMainForm& program, QWidget* parent)
    : QMainWindow(parent), FProgram(program), FInfoGeneration(std::make_shared<std::atomic<int>>(0))
{
    setObjectName(QStringLiteral("BuMainForm"));
    setWindowTitle(QStr(ProgramName.empty() ? std::string("Vastrel") : ProgramName) + QStringLiteral(" - ") +
                   TrQ("Control Panel"));
    CreateControls();
    CreateTray();
    tmSchedule = new QTimer(this);
    tmSchedule->setObjectName(QStringLiteral("tmSchedule"));
    tmSchedule->setInterval(10000);
    connect(tmSchedule, &QTimer::timeout, this, [this] { GuardSlot([this] { tmScheduleTimer(); }); });
    if (FProgram.WindowWidth > 0 && FProgram.WindowHeight > 0)
        resize(std::max(FProgram.WindowWidth, minimumWidth()),
               std::max(FProgram.WindowHeight, minimumHeight()));
    else
        resize(980, 640);
    if (FProgram.WindowLeft >= 0 && FProgram.WindowTop >= 0)
        move(FProgram.WindowLeft, FProgram.WindowTop);
    cbSysTray->setChecked(FProgram.SysTray);
    UpdateQuitCaptions();
    FillBackupList();
    BuildTaskMenu();
}

TBuMainWindow::~TBuMainWindow()
{
    ++*FInfoGeneration;
    if (FRunThread.joinable())
        FRunThread.join();
    FRunTasks.reset();
}

// ---- controls

void TBuMainWindow::CreateControls()
{
    auto* central = new QWidget(this);
    auto* outer = new QVBoxLayout(central);
    // title bar: page title, error state, the background check box
    auto* title = new QHBoxLayout;
    laTitle = Named(new QLabel(central), "laTitle");
    QFont bold = laTitle->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.3);
    laTitle->setFont(bold);
    title->addWidget(laTitle, 1);
    sbErrorStatus = Button(central, "sbErrorStatus", TrQ("Errors have occurred"));
    sbErrorStatus->setVisible(false);
    connect(sbErrorStatus, &QPushButton::clicked, this, [this] {
        GuardSlot([this] {
            FProgram.ErrorCountValue = 0;
            FProgram.ErrorCountChanged = true;
            ErrorCount = 0;
            sbErrorStatus->setVisible(false);
            ShowLog(AddPathDelimiter(FProgram.SettingsDir()) + "QvErrors.log", false);
        });
    });
    title->addWidget(sbErrorStatus);
    cbSysTray = Named(new QCheckBox(TrQ("Keep running in background"), central), "cbSysTray");
    connect(cbSysTray, &QCheckBox::clicked, this, [this](bool on) {
        FProgram.SysTray = on;
        UpdateQuitCaptions();
    });
    title->addWidget(cbSysTray);
    outer->addLayout(title);

    auto* body = new QHBoxLayout;
    auto* buttons = new QVBoxLayout;
    sbBackup = Button(central, "sbBackup", TrQ("Backups"), TrQ("Manage backup tasks"));
    sbAuto = Button(central, "sbAuto", TrQ("Time schedules"), TrQ("Configure backup time schedules"));
    sbScheduler = Button(central, "sbScheduler", TrQ(" Task Scheduler "));
    sbTools = Button(central, "sbTools", TrQ("Tools"));
    sbExit = Button(central, "sbExit", TrQ("End"));
    for (QPushButton* b : {sbBackup, sbAuto, sbScheduler, sbTools}) {
        b->setCheckable(true);
        b->setAutoExclusive(true);
        b->setMinimumHeight(44);
        buttons->addWidget(b);
    }
    buttons->addStretch(1);
    sbExit->setMinimumHeight(44);
    buttons->addWidget(sbExit);
    body->addLayout(buttons);
    connect(sbBackup, &QPushButton::clicked, this, [this] { GuardSlot([this] { ShowBackupPage(); }); });
    connect(sbAuto, &QPushButton::clicked, this, [this] {
        GuardSlot([this] { ShowAutoBackups(AutoTaskIndexOf(FProgram.AutoTasks, FProgram.CurrentTask, 0)); });
    });
    connect(sbTools, &QPushButton::clicked, this, [this] { GuardSlot([this] { ShowToolsPage(); }); });
    connect(sbScheduler, &QPushButton::clicked, this, [this] { GuardSlot([this] { ShowSchedulerPage(); }); });
    connect(sbExit, &QPushButton::clicked, this, [this] { close(); });

    pcMain = Named(new QStackedWidget(central), "pcMain");
    pcMain->addWidget(CreateBackupPage());
    pcMain->addWidget(CreateSchedulePage());
    pcMain->addWidget(CreateToolsPage());
    pcMain->addWidget(CreateSchedulerPage());
    body->addWidget(pcMain, 1);
    outer->addLayout(body, 1);
    setCentralWidget(central);

    laStatus = Named(new QLabel(this), "laStatus");
    statusBar()->addWidget(laStatus, 1);
    auto* user = new QLabel(QStr(UserNameText()), this);
    statusBar()->addPermanentWidget(user);
    laStatus->setText(QStr(GetProgNameVersion(4)));
    setMinimumSize(760, 520);
}

QWidget* TBuMainWindow::CreateBackupPage()
{
    auto* page = Named(new QWidget, "tsBackup");
    auto* layout = new QHBoxLayout(page);
    auto* left = new QVBoxLayout;
    auto* listLabel = new QLabel(TrQ("My backup tasks"), page);
    left->addWidget(listLabel);
    lbMyBackups = Named(new QListWidget(page), "lbMyBackups");
    lbMyBackups->setSelectionMode(QAbstractItemView::ExtendedSelection);
    left->addWidget(lbMyBackups, 1);
    auto* row1 = new QHBoxLayout;
    auto* row2 = new QHBoxLayout;
    bbBuNew = Button(page, "bbBuNew", TrQ("New"), TrQ("Create new backup task"));
    bbBuOpen = Button(page, "bbBuOpen", TrQ("Open"), TrQ("Add backup tasks to the list"));
    bbBuEdit = Button(page, "bbBuEdit", TrQ("Edit"), TrQ("Edit selected backup task"));
    bbComment = Button(page, "bbComment", TrQ("Comment"), TrQ("Insert comments"));
    bbBuSort = Button(page, "bbBuSort", TrQ("Sort"), TrQ("Sort alphabetically"));
    bbBuUp = Button(page, "bbBuUp", QStringLiteral("\u25B2"), TrQ("Move selected entries one up"));
    bbBuDown = Button(page, "bbBuDown", QStringLiteral("\u25BC"), TrQ("Move selected entries one down"));
    bbBuRemove = Button(page, "bbBuRemove", TrQ("Remove"), TrQ("Remove selected entry"));
    bbBuRemAll = Button(page, "bbBuRemAll", TrQ("Remove all"), TrQ("Remove all backup tasks from list"));
    for (QPushButton* b : {bbBuNew, bbBuOpen, bbBuEdit, bbComment, bbBuSort})
        row1->addWidget(b);
    for (QPushButton* b : {bbBuUp, bbBuDown, bbBuRemove, bbBuRemAll})
        row2->addWidget(b);
    left->addLayout(row1);
    left->addLayout(row2);
    layout->addLayout(left, 1);

    auto* panel = Named(new QGroupBox(TrQ("Selected backup task:"), page), "pnSelBackup");
    auto* grid = new QGridLayout(panel);
    laTaskName = Named(new QLabel(panel), "laTaskName");
    QFont f = laTaskName->font();
    f.setBold(true);
    laTaskName->setFont(f);
    meBackupDesc = Named(new QPlainTextEdit(panel), "meBackupDesc");
    meBackupDesc->setReadOnly(true);
    meBackupDesc->setMaximumHeight(70);
    edDestination = Named(new QLineEdit(panel), "edDestination");
    edDestination->setReadOnly(true);
    paDestHint = Named(new QLabel(panel), "paDestHint");
    laMethod = Named(new QLabel(panel), "laMethod");
    laBackupMode = Named(new QLabel(panel), "laBackupMode");
    paTaskLog = Named(new QLabel(panel), "paTaskLog");
    laLastBackup = Named(new QLabel(panel), "laLastBackup");
    lbTimeSched = Named(new QListWidget(panel), "lbTimeSched");
    lbTimeSched->setMaximumHeight(80);
    int r = 0;
    grid->addWidget(laTaskName, r++, 0, 1, 2);
    grid->addWidget(meBackupDesc, r++, 0, 1, 2);
    grid->addWidget(new QLabel(TrQ("Destination") + QStringLiteral(":"), panel), r, 0);
    grid->addWidget(edDestination, r++, 1);
    paDestHint->setWordWrap(true);
    grid->addWidget(paDestHint, r++, 0, 1, 2);
    grid->addWidget(laMethod, r++, 0, 1, 2);
    grid->addWidget(laBackupMode, r++, 0, 1, 2);
    grid->addWidget(paTaskLog, r++, 0, 1, 2);
    grid->addWidget(laLastBackup, r++, 0, 1, 2);
    grid->addWidget(new QLabel(TrQ("Time schedules:"), panel), r++, 0, 1, 2);
    grid->addWidget(lbTimeSched, r++, 0, 1, 2);
    auto* cmds = new QGridLayout;
    bbBuStart = Button(panel, "bbBuStart", TrQ("Start backup"), TrQ("Start selected backup tasks"));
    bbBuViewLog = Button(panel, "bbBuViewLog", TrQ("Show log"));
    bbBuAddSchedule = Button(panel, "bbBuAddSchedule", TrQ("Add time schedule"));
    bbBuEditSchedule = Button(panel, "bbBuEditSchedule", TrQ("Edit time schedule"));
    cmds->addWidget(bbBuStart, 0, 0);
    cmds->addWidget(bbBuViewLog, 0, 1);
    cmds->addWidget(bbBuAddSchedule, 1, 0);
    cmds->addWidget(bbBuEditSchedule, 1, 1);
    grid->addLayout(cmds, r++, 0, 1, 2);
    grid->setRowStretch(r, 1);
    layout->addWidget(panel, 1);

    connect(lbMyBackups, &QListWidget::itemSelectionChanged, this, [this] {
        GuardSlot([this] {
            const auto rows = SelectedEntries();
            if (rows.empty()) {
                ClearTaskInfo("");
                return;
            }
            const std::string task = ListEntryTask(FProgram.BackupList, rows.front(), "buj");
            if (!task.empty())
                ShowTaskInfo(task);
        });
    });
    connect(lbMyBackups, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* item) {
        GuardSlot([this, item] {
            const int row = lbMyBackups->row(item);
            if (row < 0)
                return;
            if (FProgram.BackupList.Objects(row) != CommentLine) {
                // a task line: show it and open it in the editor
                if (ShowTaskInfo(FProgram.BackupList[row]))
                    EditCurrentTask(0);
                return;
            }
            std::string text = FProgram.BackupList[row];
            if (AskString(bbBuOpen->mapToGlobal(QPoint(0, 0)), _("Edit comment"), _("Description:"), text) &&
                !text.empty()) {
                FProgram.BackupList.SetString(row, text);
                FillBackupList();
                SelectEntries({row});
            }
        });
    });
    connect(bbBuNew, &QPushButton::clicked, this, [this] { GuardSlot([this] { bbBuNewClick(); }); });
    connect(bbBuEdit, &QPushButton::clicked, this, [this] { GuardSlot([this] { EditCurrentTask(0); }); });
    connect(bbBuOpen, &QPushButton::clicked, this, [this] { GuardSlot([this] { bbBuOpenClick(); }); });
    connect(bbComment, &QPushButton::clicked, this, [this] { GuardSlot([this] { bbCommentClick(); }); });
    connect(bbBuSort, &QPushButton::clicked, this, [this] { GuardSlot([this] { bbBuSortClick(); }); });
    connect(bbBuUp, &QPushButton::clicked, this, [this] { GuardSlot([this] { MoveSelected(true); }); });
    connect(bbBuDown, &QPushButton::clicked, this, [this] { GuardSlot([this] { MoveSelected(false); }); });
    connect(bbBuRemove, &QPushButton::clicked, this, [this] { GuardSlot([this] { bbBuRemoveClick(); }); });
    connect(bbBuRemAll, &QPushButton::clicked, this, [this] { GuardSlot([this] { bbBuRemAllClick(); }); });
    connect(bbBuStart, &QPushButton::clicked, this, [this] { GuardSlot([this] { bbBuStartClick(); }); });
    connect(bbBuViewLog, &QPushButton::clicked, this, [this] { GuardSlot([this] { bbBuViewLogClick(); }); });
    connect(bbBuAddSchedule, &QPushButton::clicked, this,
            [this] { GuardSlot([this] { bbBuAddScheduleClick(); }); });
    connect(bbBuEditSchedule, &QPushButton::clicked, this, [this] {
        GuardSlot([this] {
            const int line = lbTimeSched->currentRow();
            if (line >= 0 && line < static_cast<int>(FSchedSlots.size()))
                ShowAutoBackups(FSchedSlots[static_cast<size_t>(line)] - 1);
        });
    });
    return page;
}

QWidget* TBuMainWindow::CreateSchedulePage()
{
    auto* page = Named(new QWidget, "tsAutoBackup");
    auto* layout = new QVBoxLayout(page);
    auto* slotRow = new QHBoxLayout;
    for (int i = 0; i < AutoTaskSlotCount; ++i) {
        auto* b = new QToolButton(page);
        b->setObjectName(QStringLiteral("sbAuto%1").arg(i + 1));
        b->setText(QString::number(i + 1));
        b->setCheckable(true);
        b->setAutoExclusive(true);
        b->setMinimumWidth(30);
        connect(b, &QToolButton::clicked, this, [this, i] {
            GuardSlot([this, i] {
                StoreAutoTask(FAutoTaskNr);
                UpdateAutoFlags();
                ShowAutoTask(i);
                UpdateSchedules(FAutoTaskNr);
            });
        });
        FSlotButtons.push_back(b);
        slotRow->addWidget(b);
    }
    slotRow->addStretch(1);
    layout->addLayout(slotRow);

    auto* group = Named(new QGroupBox(page), "gbAutoTask");
    auto* grid = new QGridLayout(group);
    gbAutoCaption = Named(new QLabel(group), "gbAutoCaption");
    QFont f = gbAutoCaption->font();
    f.setBold(true);
    gbAutoCaption->setFont(f);
    edAutoTask = Named(new QLineEdit(group), "edAutoTask");
    edAutoTask->setReadOnly(true);
    bbLoadAutoTask = Button(group, "bbLoadAutoTask", TrQ("Select"));
    bbRemTask = Button(group, "bbRemTask", TrQ("Delete"));
    bbEditTask = Button(group, "bbEditTask", TrQ("Edit backup task"));
    cbAutoStart = Named(new QComboBox(group), "cbAutoStart");
    for (const char* n : AutoStartNames)
        cbAutoStart->addItem(TrQ(n));
    laAutoAt = Named(new QLabel(TrQ("at"), group), "laAutoAt");
    dtpAutoTime = Named(new QTimeEdit(group), "dtpAutoTime");
    dtpAutoTime->setDisplayFormat(QStringLiteral("HH:mm"));
    gbWeekdays = Named(new QWidget(group), "gbWeekdays");
    auto* days = new QHBoxLayout(gbWeekdays);
    days->setContentsMargins(0, 0, 0, 0);
    for (int d = 0; d < 7; ++d) {
        auto* cb = new QCheckBox(QStr(WeekdaysToStr(1u << d)), gbWeekdays);
        cb->setObjectName(QStringLiteral("cbWeekday%1").arg(d));
        connect(cb, &QCheckBox::clicked, this, [this] { GuardSlot([this] { SlotTimeChanged(); }); });
        FWeekdays.push_back(cb);
        days->addWidget(cb);
    }
    cbRunIfMissed =
        Named(new QCheckBox(TrQ("Run on next logon if scheduled start was missed"), group), "cbRunIfMissed");
    cbAutoEnd = Named(new QComboBox(group), "cbAutoEnd");
    for (const char* n : AutoEndNames)
        cbAutoEnd->addItem(TrQ(n));
    cbPriority = Named(new QComboBox(group), "cbPriority");
    for (const char* n : PriorityNames)
        cbPriority->addItem(TrQ(n));
    LastAutoBuTime = Named(new QLabel(group), "LastAutoBuTime");
    LastBackupStatus = Named(new QLabel(group), "LastBackupStatus");
    laSchedInfo = Named(new QLabel(group), "laSchedInfo");
    btbRunAuto = Button(group, "btbRunAuto", TrQ("Run unscheduled backup"));
    bbShowLog = Button(group, "bbShowLog", TrQ("Show log"));
    int r = 0;
    grid->addWidget(gbAutoCaption, r++, 0, 1, 4);
    grid->addWidget(new QLabel(TrQ("Backup task") + QStringLiteral(":"), group), r, 0);
    grid->addWidget(edAutoTask, r, 1);
    grid->addWidget(bbLoadAutoTask, r, 2);
    grid->addWidget(bbRemTask, r++, 3);
    grid->addWidget(new QLabel(TrQ("Start") + QStringLiteral(":"), group), r, 0);
    grid->addWidget(cbAutoStart, r, 1);
    grid->addWidget(laAutoAt, r, 2);
    grid->addWidget(dtpAutoTime, r++, 3);
    grid->addWidget(gbWeekdays, r++, 1, 1, 3);
    grid->addWidget(cbRunIfMissed, r++, 1, 1, 3);
    grid->addWidget(new QLabel(TrQ("Status window") + QStringLiteral(":"), group), r, 0);
    grid->addWidget(cbAutoEnd, r, 1);
    grid->addWidget(new QLabel(TrQ("Priority") + QStringLiteral(":"), group), r, 2);
    grid->addWidget(cbPriority, r++, 3);
    grid->addWidget(new QLabel(TrQ("Last backup:"), group), r, 0);
    grid->addWidget(LastAutoBuTime, r, 1);
    grid->addWidget(LastBackupStatus, r++, 2, 1, 2);
    grid->addWidget(laSchedInfo, r++, 0, 1, 4);
    auto* cmdRow = new QHBoxLayout;
    cmdRow->addWidget(bbEditTask);
    cmdRow->addWidget(btbRunAuto);
    cmdRow->addWidget(bbShowLog);
    cmdRow->addStretch(1);
    grid->addLayout(cmdRow, r++, 0, 1, 4);
    grid->setColumnStretch(1, 1);
    layout->addWidget(group);

    auto* overview = new QGroupBox(TrQ("Schedule for coming backups"), page);
    auto* ov = new QVBoxLayout(overview);
    lvSchedules = Named(new QTreeWidget(overview), "lvSchedules");
    lvSchedules->setColumnCount(2);
    lvSchedules->setHeaderHidden(true);
    lvSchedules->setRootIsDecorated(false);
    lvSchedules->setColumnWidth(0, 60);
    ov->addWidget(lvSchedules, 1);
    bbSchedList = Button(overview, "bbSchedList", TrQ("Copy list of schedules to clipboard"));
    ov->addWidget(bbSchedList, 0, Qt::AlignLeft);
    layout->addWidget(overview, 1);

    connect(cbAutoStart, qOverload<int>(&QComboBox::activated), this, [this](int index) {
        GuardSlot([this, index] { ChangeAutoStart(static_cast<TAutoStart>(index), false); });
    });
    connect(dtpAutoTime, &QTimeEdit::timeChanged, this, [this] {
        if (!FAtShowing)
            GuardSlot([this] { SlotTimeChanged(); });
    });
    connect(bbLoadAutoTask, &QPushButton::clicked, this, [this] {
        GuardSlot([this] {
            if (FAutoTaskNr < 0)
                return;
            TAutoTask& slot = *FProgram.AutoTasks[static_cast<size_t>(FAutoTaskNr)];
            if (!slot.TaskName.empty() &&
                !ConfirmDialogAt(bbLoadAutoTask->mapToGlobal(bbLoadAutoTask->rect().bottomRight()),
                                 SafeFormat(_("Replace automatic task no. %u?"), {FAutoTaskNr + 1})))
                return;
            const QString file = QFileDialog::getOpenFileName(
                this, TrQ("Select backup task"), QStr(FProgram.TaskFolder),
                QStr(SafeFormat(_("Backup tasks|*.%s"), {std::string("buj")}))
                        .section(QLatin1Char('|'), 0, 0) +
                    QStringLiteral(" (*.buj);;") + TrQ("all") + QStringLiteral(" (*)"));
            if (file.isEmpty())
                return;
            slot.TaskPath = StdStr(file);
            slot.TaskName = DeleteExtension(GetLastDirName(slot.TaskPath));
            UpdateSchedules(FAutoTaskNr);
            ShowAutoTask(FAutoTaskNr);
            UpdateAutoFlags();
        });
    });
    connect(bbEditTask, &QPushButton::clicked, this, [this] {
        GuardSlot([this] {
            if (FAutoTaskNr < 0)
                return;
            const TAutoTask& slot = *FProgram.AutoTasks[static_cast<size_t>(FAutoTaskNr)];
            if (slot.TaskName.empty())
                return;
            const std::string name = BackupForm().EditBackupTask(slot.TaskPath, 0);
            if (!name.empty()) {
                FProgram.CurrentTask = name;
                AddTaskToList(FProgram.BackupList, name, -1, 0);
            }
            RefreshBackupList();
        });
    });
    connect(bbRemTask, &QPushButton::clicked, this, [this] {
        GuardSlot([this] {
            if (FAutoTaskNr < 0)
                return;
            TAutoTask& slot = *FProgram.AutoTasks[static_cast<size_t>(FAutoTaskNr)];
            if (ConfirmDialogAt(bbRemTask->mapToGlobal(bbRemTask->rect().bottomLeft()),
                                SafeFormat(_("Do you really want to remove this automatic backup (%s)?"),
                                           {slot.TaskName}))) {
                slot.TaskPath.clear();
                slot.TaskName.clear();
                slot.Reset();
                cbAutoStart->setCurrentIndex(asNone);
                ChangeAutoStart(asNone, true);
            }
            UpdateSchedules(FAutoTaskNr);
            UpdateAutoFlags();
        });
    });
    connect(btbRunAuto, &QPushButton::clicked, this, [this] {
        GuardSlot([this] {
            if (FAutoTaskNr < 0 || FRunning)
                return;
            if (!ConfirmDialogAt(bbRemTask->mapToGlobal(bbRemTask->rect().bottomLeft()),
                                 _("Run unscheduled backup")))
                return;
            StoreAutoTask(FAutoTaskNr);
            const std::string list = "#" + std::to_string(FAutoTaskNr + 1);
            StartRun([this, list] {
                FProgram.RunBackupTasks(list, 1, iaPrompt, FProgram.Cmd.BuThPr);
                return FProgram.ExitState();
            });
        });
    });
    connect(bbShowLog, &QPushButton::clicked, this, [this] {
        GuardSlot([this] {
            if (FAutoTaskNr >= 0)
                ShowLog(GetBackupLogName(FProgram.AutoTasks[static_cast<size_t>(FAutoTaskNr)]->TaskPath),
                        false);
        });
    });
    connect(lvSchedules, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* item) {
        GuardSlot([this, item] {
            const int rowData = item->data(0, Qt::UserRole).toInt();
            if (rowData == 0)
                return;
            const int index = ((rowData - 1) & 0x7F);
            if (index != FAutoTaskNr)
                StoreAutoTask(FAutoTaskNr);
            UpdateAutoFlags();
            ShowAutoTask(index);
            UpdateSchedules(index);
        });
    });
    connect(bbSchedList, &QPushButton::clicked, this, [this] {
        GuardSlot([this] {
            StoreAutoTask(FAutoTaskNr);
            QApplication::clipboard()->setText(
                QStr(ScheduleListText(FProgram.AutoTasks, GetProgNameVersion(3))));
        });
    });
    return page;
}

QWidget* TBuMainWindow::CreateToolsPage()
{
    auto* page = Named(new QWidget, "tsTools");
    auto* layout = new QVBoxLayout(page);
    auto* text = Named(
        new QLabel(TrQ("The verify, restore and cleanup tools are not available in this version."), page),
        "laToolsNotAvailable");
    text->setWordWrap(true);
    layout->addWidget(text);
    layout->addStretch(1);
    return page;
}

QWidget* TBuMainWindow::CreateSchedulerPage()
{
    auto* page = Named(new QWidget, "tsScheduler");
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(new QLabel(TrQ("Scheduled tasks that use Vastrel"), page));
    auto* text = Named(new QLabel(TrQ("The Task Scheduler is not available."), page), "laSchedulerError");
    text->setWordWrap(true);
    layout->addWidget(text);
    layout->addStretch(1);
    return page;
}

void TBuMainWindow::CreateTray()
{
    pmTaskbar = Named(new QMenu(this), "pmTaskbar");
    QAction* show = pmTaskbar->addAction(QStringLiteral("Vastrel"));
    show->setObjectName(QStringLiteral("itVastrel"));
    QFont f = show->font();
    f.setBold(true);
    show->setFont(f);
    connect(show, &QAction::triggered, this, [this] {
        GuardSlot([this] {
            showNormal();
            raise();
            activateWindow();
            ShowBackupPage();
        });
    });
    itStartBackup = pmTaskbar->addMenu(TrQ("Start backups"));
    itStartBackup->setObjectName(QStringLiteral("itStartBackup"));
    QAction* log = pmTaskbar->addAction(TrQ("Log file"));
    log->setObjectName(QStringLiteral("itShowLog"));
    connect(log, &QAction::triggered, this, [this] { GuardSlot([this] { ShowLog("", false); }); });
    pmTaskbar->addSeparator();
    QAction* quit = pmTaskbar->addAction(TrQ("Quit program"));
    quit->setObjectName(QStringLiteral("itQuitProgram"));
    connect(quit, &QAction::triggered, this, [this] { GuardSlot([this] { EndProgram(false); }); });
    QAction* cancel = pmTaskbar->addAction(TrQ("Cancel"));
    cancel->setObjectName(QStringLiteral("itCancel"));
    // Without a tray on the desktop the program keeps working with its window.
    if (QSystemTrayIcon::isSystemTrayAvailable()) {
        FTray = new QSystemTrayIcon(style()->standardIcon(QStyle::SP_DriveHDIcon), this);
        FTray->setContextMenu(pmTaskbar);
        FTray->setToolTip(QStr(GetProgNameVersion(3)));
        connect(FTray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
            GuardSlot([this, reason] {
                if (reason != QSystemTrayIcon::Trigger)
                    return;
                if (isVisible() && !FRunning && cbSysTray->isChecked()) {
                    close();
                } else {
                    showNormal();
                    raise();
                    activateWindow();
                }
            });
        });
        FTray->show();
    }
}

// ---- pages

int TBuMainWindow::MainPage() const
{
    return pcMain->currentIndex();
}

void TBuMainWindow::SetMainPage(int index)
{
    if (pcMain->currentIndex() == pgAuto && index != pgAuto) {
        StoreAutoTask(FAutoTaskNr);
        UpdateAutoFlags();
        FAutoTaskNr = -1;
    }
    pcMain->setCurrentIndex(index);
}

void TBuMainWindow::ShowBackupPage()
{
    sbBackup->setChecked(true);
    sbErrorStatus->setVisible(FProgram.ErrorCountValue > 0);
    laTitle->setText(TrQ("Data backups"));
    SetMainPage(pgBackup);
    RefreshBackupList();
}

void TBuMainWindow::ShowAutoBackups(int index)
{
    sbAuto->setChecked(true);
    laTitle->setText(TrQ("Backup schedules") + QStringLiteral(" (") + TrQ("Automatic backups") +
                     QStringLiteral(")"));
    if (pcMain->currentIndex() != pgAuto)
        SetMainPage(pgAuto);
    if (index < 0)
        index = 0;
    UpdateSchedules(index);
    ShowAutoTask(index);
    for (int i = 0; i < AutoTaskSlotCount; ++i)
        FSlotButtons[static_cast<size_t>(i)]->setToolTip(
            QStr(FProgram.AutoTasks[static_cast<size_t>(i)]->TaskName));
}

void TBuMainWindow::ShowToolsPage()
{
    sbTools->setChecked(true);
    laTitle->setText(TrQ("Tools"));
    SetMainPage(pgTools);
}

void TBuMainWindow::ShowSchedulerPage()
{
    sbScheduler->setChecked(true);
    laTitle->setText(TrQ("Windows Task Scheduler"));
    SetMainPage(pgScheduler);
}

// ---- the backup list

void TBuMainWindow::FillBackupList()
{
    QSignalBlocker block(lbMyBackups);
    lbMyBackups->clear();
    const QColor commentBg = ColorFromTColor(ProgSettings.ViewSettings.ComBgCol);
    const QColor commentFg = ColorFromTColor(ProgSettings.ViewSettings.ComFgCol);
    for (int i = 0; i < FProgram.BackupList.Count(); ++i) {
        auto* item = new QListWidgetItem(QStr(FProgram.BackupList[i]), lbMyBackups);
        if (FProgram.BackupList.Objects(i) == CommentLine) {
            QFont f = item->font();
            f.setBold(true);
            item->setFont(f);
            item->setBackground(commentBg);
            item->setForeground(commentFg);
        }
    }
}

void TBuMainWindow::RefreshBackupList()
{
    FillBackupList();
    int row = IndexOfTask(FProgram.BackupList, FProgram.CurrentTask, "buj");
    if (row < 0)
        for (int i = 0; i < FProgram.BackupList.Count() && row < 0; ++i)
            if (FProgram.BackupList.Objects(i) != CommentLine)
                row = i;
    if (row < 0) {
        ClearTaskInfo("");
        return;
    }
    SelectEntries({row});
    ShowTaskInfo(ListEntryTask(FProgram.BackupList, row, "buj"));
}

void TBuMainWindow::AddToBackupList(const std::string& fileName)
{
    if (!XlFileExists(fileName))
        return;
    AddTaskToList(FProgram.BackupList, fileName, 0, 0);
    FProgram.CurrentTask = fileName;
    RefreshBackupList();
}

std::vector<int> TBuMainWindow::SelectedEntries() const
{
    std::vector<int> rows;
    for (int i = 0; i < lbMyBackups->count(); ++i)
        if (lbMyBackups->item(i)->isSelected())
            rows.push_back(i);
    return rows;
}

void TBuMainWindow::SelectEntries(const std::vector<int>& rows)
{
    {
        QSignalBlocker block(lbMyBackups);
        lbMyBackups->clearSelection();
        for (int r : rows)
            if (r >= 0 && r < lbMyBackups->count())
                lbMyBackups->item(r)->setSelected(true);
    }
    if (!rows.empty() && rows.front() >= 0 && rows.front() < lbMyBackups->count())
        lbMyBackups->setCurrentRow(rows.front(), QItemSelectionModel::NoUpdate);
}

void TBuMainWindow::bbBuOpenClick()
{
    std::string dir = GetParentDir(FProgram.CurrentTask);
    if (dir.empty() || !XlDirectoryExists(dir))
        dir = FProgram.TaskFolder;
    const QStringList files = QFileDialog::getOpenFileNames(
        this, TrQ("Select backup task"), QStr(dir),
        TrQ("Backup tasks") + QStringLiteral(" (*.buj);;") + TrQ("all") + QStringLiteral(" (*)"));
    if (files.isEmpty())
        return;
    if (files.size() == 1) {
        const auto rows = SelectedEntries();
        AddTaskToList(FProgram.BackupList, StdStr(files[0]), rows.empty() ? 0 : rows.front(), 0);
        FProgram.CurrentTask = StdStr(files[0]);
    } else {
        for (int i = static_cast<int>(files.size()) - 1; i >= 0; --i)
            AddTaskToList(FProgram.BackupList, StdStr(files[i]), -1, 0);
        FProgram.CurrentTask = StdStr(files[0]);
    }
    RefreshBackupList();
}

// ---- the task editor

TBackupForm& TBuMainWindow::BackupForm()
{
    if (!FBackupForm) {
        FBackupForm = std::make_unique<TBackupForm>();
        if (!SettingsFile.empty() && XlFileExists(SettingsFile)) {
            TMemIniFile ini(SettingsFile);
            FBackupForm->LoadFromIni(ini);
        }
    }
    return *FBackupForm;
}

void TBuMainWindow::bbBuNewClick()
{
    // The new task starts from the destination of the task shown.
    std::string dir;
    TFtpParams ftpPar;
    const bool ftp = FDestKind == 2 && !FProgram.CurrentTask.empty();
    if (ftp) {
        LoadFtpParams(FProgram.CurrentTask, ftpPar);
    } else {
        dir = StdStr(edDestination->text());
        if (FDestKind == 1)
            dir = GetParentDir(dir);
        InitFtpParams(ftpPar);
    }
    const std::string name = BackupForm().NewBackupTask(dir, ftp, ftpPar);
    if (!name.empty()) {
        FProgram.CurrentTask = name;
        AddTaskToList(FProgram.BackupList, name, -1, 0);
    }
    RefreshBackupList();
}

void TBuMainWindow::EditCurrentTask(int pageIndex)
{
    if (FProgram.CurrentTask.empty()) {
        bbBuNewClick();
        return;
    }
    const std::string name = BackupForm().EditBackupTask(FProgram.CurrentTask, pageIndex);
    if (!name.empty()) {
        FProgram.CurrentTask = name;
        AddTaskToList(FProgram.BackupList, name, -1, 0);
    }
    RefreshBackupList();
}

void TBuMainWindow::bbCommentClick()
{
    std::string text = "==> ";
    if (!AskString(bbBuOpen->mapToGlobal(QPoint(0, 0)), _("Insert comment line"), _("Description:"), text))
        return;
    const auto rows = SelectedEntries();
    const int at = rows.empty() ? FProgram.BackupList.Count() : rows.front();
    FProgram.BackupList.Insert(at, text);
    FProgram.BackupList.SetObject(at, CommentLine);
    FillBackupList();
    SelectEntries({at});
}

void TBuMainWindow::bbBuSortClick()
{
    if (!ConfirmDialogAt(bbBuSort->mapToGlobal(bbBuSort->rect().topRight()), _("Sort tasks alphabetically?")))
        return;
    const auto rows = SelectedEntries();
    const int keep = SortTaskRuns(FProgram.BackupList, rows.empty() ? -1 : rows.front());
    FillBackupList();
    SelectEntries({keep});
}

void TBuMainWindow::MoveSelected(bool up)
{
    const auto moved = MoveEntries(FProgram.BackupList, SelectedEntries(), up);
    FillBackupList();
    SelectEntries(moved);
    if (!moved.empty())
        lbMyBackups->setCurrentRow(up ? moved.front() : moved.back(), QItemSelectionModel::NoUpdate);
}

void TBuMainWindow::bbBuRemoveClick()
{
    const auto rows = SelectedEntries();
    if (rows.empty() || !ConfirmDialogAt(bbBuRemove->mapToGlobal(bbBuRemove->rect().bottomRight()),
                                         _("Remove selected items from list?")))
        return;
    const int current = RemoveEntries(FProgram.BackupList, rows);
    FProgram.CurrentTask = current < 0 ? std::string() : ListEntryTask(FProgram.BackupList, current, "buj");
    RefreshBackupList();
}

void TBuMainWindow::bbBuRemAllClick()
{
    const int answer =
        SelectChoiceAt(bbBuRemAll->mapToGlobal(bbBuRemAll->rect().bottomRight()), _("My backup tasks"),
                       _("Remove all items from list?") + "\r\n" + _("Are you sure you wish to do this?"),
                       mtConfirmation, false, {_("Yes")}, _("Check to confirm this action"), 0, 0, "");
    if (answer != 256)
        return;
    FProgram.BackupList.Clear();
    FProgram.CurrentTask.clear();
    RefreshBackupList();
}

void TBuMainWindow::bbBuViewLogClick()
{
    ShowLog(FProgram.CurrentTask.empty() ? std::string() : GetBackupLogName(FProgram.CurrentTask), false);
}

void TBuMainWindow::bbBuAddScheduleClick()
{
    AddSchedule(FProgram.CurrentTask, false);
}

void TBuMainWindow::bbBuStartClick()
{
    if (FRunning)
        return;
    std::vector<std::string> tasks;
    for (int row : SelectedEntries()) {
        const std::string task = ListEntryTask(FProgram.BackupList, row, "buj");
        if (!task.empty())
            tasks.push_back(task);
    }
    if (tasks.empty())
        return;
    if (FRunTasks && FRunTasks->Done())
        FRunTasks.reset();
    if (!FRunTasks && tasks.size() == 1) {
        const std::string task = tasks.front();
        if (!XlFileExists(task)) {
            ErrorDialog(SafeFormat(_("File\r\n\"%s\"\r\nnot found!"), {task}));
            return;
        }
        StartRun([this, task] {
            FProgram.RunBackupTasks(QuoteTask(task), 1, iaPrompt, FProgram.Cmd.BuThPr);
            return FProgram.ExitState();
        });
        return;
    }
    const int answer =
        SelectChoiceAt(sbScheduler->mapToGlobal(QPoint(0, 0)), StdStr(bbBuStart->text()),
                       SafeFormat(_("%u backup tasks selected\r\nChoose how to run the backups:"),
                                  {static_cast<int>(tasks.size())}),
                       mtConfirmation, false, {_("In sequence"), _("In parallel")},
                       _("Status window") + ": " + _("Close automatically"), 0, 0, "");
    if (answer < 0)
        return;
    const TInteraction mode = (answer & 256) != 0 ? iaDelay : iaPrompt;
    RunTasksInChildren(tasks, (answer & 0xFF) == 1, mode);
}

void TBuMainWindow::RunTasksInChildren(const std::vector<std::string>& tasks, bool parallel,
                                       TInteraction mode)
{
    const std::string program = FProgram.Folders().ProgramDir + "Vastrel";
    std::vector<std::string> argv{program,
                                  "/force",
                                  "/noaction",
                                  std::string("/prompt:") + (mode == iaDelay ? "delay" : "wait"),
                                  "/ini:" + SettingsFile,
                                  "/hide"};
    if (parallel) {
        if (!FRunTasks) {
            FRunTasks = std::make_unique<TRunTasks>(argv);
            QPointer<TBuMainWindow> self(this);
            FRunTasks->OnError = [self](const std::string& text) {
                QMetaObject::invokeMethod(
                    qApp,
                    [self, text] {
                        if (self)
                            ErrorDialog(text);
                    },
                    Qt::QueuedConnection);
            };
        }
        FRunTasks->SetPaused(true);
        for (const auto& t : tasks)
            if (XlFileExists(t))
                FRunTasks->AddTask(t);
        FRunTasks->SetPaused(false);
        return;
    }
    for (const auto& t : tasks)
        if (XlFileExists(t))
            argv.push_back(t);
    try {
        const TProcessHandle pid = StartProcess(argv, std::string());
        // reaped by a waiting thread of its own: the window does not wait for it
        std::thread([pid] { WaitForProcess(pid, 0, false); }).detach();
    } catch (const EProcessError& e) {
        ErrorDialog(SafeFormat(_("Error on starting Vastrel: %s"), {e.Message()}));
    }
}

// ---- the info panel

void TBuMainWindow::ClearTaskInfo(const std::string& nameText)
{
    ++*FInfoGeneration;
    laTaskName->setText(QStr(nameText));
    meBackupDesc->clear();
    edDestination->clear();
    edDestination->setToolTip({});
    paDestHint->clear();
    laMethod->clear();
    laBackupMode->clear();
    paTaskLog->clear();
    laLastBackup->clear();
    lbTimeSched->clear();
    lbTimeSched->setEnabled(false);
    FSchedSlots.clear();
    FDestKind = 0;
    if (nameText.empty())
        FProgram.CurrentTask.clear();
    EnableTaskButtons(false);
}

void TBuMainWindow::EnableTaskButtons(bool shown)
{
    for (QPushButton* b : {bbBuStart, bbBuViewLog, bbBuAddSchedule})
        b->setEnabled(shown && (b != bbBuStart || !FRunning));
    bbBuEditSchedule->setEnabled(shown && lbTimeSched->isEnabled());
}

bool TBuMainWindow::ShowTaskInfo(const std::string& task)
{
    if (task.empty()) {
        ClearTaskInfo("");
        return false;
    }
    const std::string path = GetTaskFileName(task, "buj");
    if (!XlFileExists(path)) {
        ClearTaskInfo("");
        return false;
    }
    std::string note, dest, zipName, logName, lastBackup;
    int destMode = 0, logMode = 1;
    int64_t zipSize = 0;
    bool ftp = false;
    std::string modeText, ftpUrl;
    try {
        auto ini = TUnicodeIniFile::CreateForRead(path);
        note = ReplaceAll(ini.ReadString("Global", "Note", ""), "#", "\"");
        destMode = ini.ReadInteger("Global", "DestMode", 0);
        zipName = ini.ReadString("Global", "ZipName", DefaultZipName());
        ftp = ini.ReadBool("Global", "FtpBackup", false);
        dest = ini.ReadString("Global", "Destination", "");
        logMode = ini.ReadInteger("Global", "LogFile", 1);
        zipSize = ini.ReadInt64("Global", "ZipSize", 0);
        lastBackup = ini.ReadString("Global", "LastBackup", "");
        logName = ini.ReadString("Global", "LogName", "");
        ftpUrl = ini.ReadString("FtpParams", "Host", "");
        modeText = GetBackupModeText(ini);
    } catch (const Exception&) {
        ClearTaskInfo(_("Error reading backup task!"));
        return false;
    }
    ++*FInfoGeneration;
    FProgram.CurrentTask = path;
    FDestKind = ftp ? 2 : (destMode >= 4 && !zipName.empty() ? 1 : 0);
    laTaskName->setText(QStr(DeleteExtension(GetLastDirName(path))));
    laTaskName->setToolTip(QStr(path));
    meBackupDesc->clear();
    {
        // the description is a comma list of lines, items with commas in double quotes
        std::string rest = note, text;
        bool first = true;
        while (!utf8::Trim(rest).empty()) {
            text += (first ? "" : "\n") + ReadNextQuotedItem(rest, ',', '"');
            first = false;
        }
        meBackupDesc->setPlainText(QStr(text));
    }
    if (destMode >= 4 && !zipName.empty() && !utf8::SameText(ExtractExtension(zipName), "zip"))
        zipName += ".zip";
    if (destMode < 4)
        zipName.clear();
    std::string destText;
    if (ftp) {
        destText = "ftp://" + ftpUrl + (zipName.empty() ? std::string() : "/" + zipName);
        paDestHint->setText(TrQ("Backup destination on FTP server"));
        paDestHint->setStyleSheet(QStringLiteral("color: %1").arg(StateColour(paDestHint, 1).name()));
    } else {
        destText = zipName.empty() ? dest : AddPathDelimiter(dest) + zipName;
        // The destination may lie on a server that does not answer: its state and free space are read
        // by a thread of their own, and a later selection discards the answer.
        paDestHint->setText(QStringLiteral("…"));
        paDestHint->setStyleSheet({});
        const int generation = *FInfoGeneration;
        auto current = FInfoGeneration;
        QPointer<QLabel> hint(paDestHint);
        std::thread([dest, generation, current, hint] {
            int status = 2;
            std::string text;
            GetDestinationInfo(dest, status, text);
            QMetaObject::invokeMethod(
                qApp,
                [status, text, generation, current, hint] {
                    if (!hint || *current != generation)
                        return;
                    hint->setText(QStr(text));
                    hint->setStyleSheet(QStringLiteral("color: %1").arg(StateColour(hint, status).name()));
                },
                Qt::QueuedConnection);
        }).detach();
    }
    edDestination->setText(QStr(destText));
    laMethod->setText(TrQ("Method: ") + QStr(GetDestModeText(destMode, zipSize)));
    laBackupMode->setText(QStr(modeText));
    paTaskLog->setText(TrQ("Log: ") + QStr(GetLogModeText(static_cast<uint8_t>(logMode))));
    laLastBackup->setText(
        lastBackup.empty() ? QString() : TrQ("Last backed up:") + QStringLiteral(" ") + QStr(lastBackup));
    bbBuViewLog->setToolTip(TrQ("Show log file") + QStringLiteral(":\n") + QStr(GetBackupLogName(path)));
    lbTimeSched->clear();
    const auto lines = TaskScheduleLines(FProgram.AutoTasks, path, FSchedSlots);
    if (lines.empty()) {
        lbTimeSched->addItem(TrQ("No schedule configured for this task"));
        lbTimeSched->setEnabled(false);
    } else {
        for (const auto& l : lines)
            lbTimeSched->addItem(QStr(l));
        lbTimeSched->setCurrentRow(0);
        lbTimeSched->setEnabled(true);
    }
    EnableTaskButtons(true);
    return true;
}

// ---- the schedule page

void TBuMainWindow::UpdateSlotVisibility(TAutoStart kind)
{
    const bool picker = kind == asDailyAt || kind == asLogoff;
    const bool days = kind == asDailyAt || kind == asWeekly || kind == asWeekDay || kind == asByRequest;
    laAutoAt->setVisible(picker);
    laAutoAt->setText(kind == asLogoff ? TrQ("not before") : TrQ("at"));
    dtpAutoTime->setVisible(picker);
    gbWeekdays->setVisible(days);
    cbRunIfMissed->setVisible(days && kind != asByRequest);
}

void TBuMainWindow::ShowAutoTask(int index)
{
    if (index < 0 || index >= AutoTaskSlotCount)
        return;
    FAutoTaskNr = index;
    FSlotButtons[static_cast<size_t>(index)]->setChecked(true);
    FAtShowing = true;
    TAutoTask& slot = *FProgram.AutoTasks[static_cast<size_t>(index)];
    gbAutoCaption->setText(QStr(OrdinalText(index + 1)) + TrQ("Backup schedule"));
    edAutoTask->setText(QStr(slot.TaskName));
    edAutoTask->setToolTip(QStr(slot.TaskPath));
    if (slot.TaskName.empty())
        slot.BuProcess = asNone;
    LastAutoBuTime->setText(slot.LastTime <= 0 ? TrQ("Not yet run")
                                               : QStr(DateTimeToDisplayStr(slot.LastTime)));
    LastBackupStatus->setText(slot.ErrStatus != 0 ? QStr(GetErrorStateText(slot.ErrStatus)) : QString());
    FAutoMode = slot.BuProcess;
    cbAutoStart->setCurrentIndex(slot.BuProcess);
    cbAutoStart->setEnabled(!slot.TaskName.empty());
    const int minutes = static_cast<int>(std::lround(FracOf(slot.NextTime) * 1440)) % 1440;
    dtpAutoTime->setTime(QTime(minutes / 60, minutes % 60));
    for (int d = 0; d < 7; ++d)
        FWeekdays[static_cast<size_t>(d)]->setChecked((slot.WeekDay & (1u << d)) != 0);
    cbRunIfMissed->setChecked(slot.RunIfMissed);
    laSchedInfo->setText(QStr(slot.GetScheduleInfo()));
    cbPriority->setCurrentIndex(std::clamp(slot.ThPr, 0, 6));
    cbAutoEnd->setCurrentIndex(std::clamp(static_cast<int>(slot.AutoEnd), 0, 4));
    UpdateSlotVisibility(slot.BuProcess);
    for (QPushButton* b : {bbRemTask, btbRunAuto, bbShowLog})
        b->setEnabled(!slot.TaskName.empty());
    FAtShowing = false;
}

void TBuMainWindow::StoreAutoTask(int index)
{
    if (index < 0 || index >= AutoTaskSlotCount)
        return;
    TAutoTask& slot = *FProgram.AutoTasks[static_cast<size_t>(index)];
    uint32_t days = 0;
    for (int d = 0; d < 7; ++d)
        if (FWeekdays[static_cast<size_t>(d)]->isChecked())
            days |= 1u << d;
    const bool changed = slot.BuProcess != FAutoMode || slot.WeekDay != days;
    slot.BuProcess = FAutoMode;
    const TDateTime now = Now();
    const TDateTime today = std::floor(now);
    const QTime t = dtpAutoTime->time();
    const TDateTime picked = today + (t.hour() * 60 + t.minute()) / 1440.0;
    switch (FAutoMode) {
    case asWeekly:
    case asWeekDay:
        slot.WeekDay = days;
        slot.RunIfMissed = cbRunIfMissed->isChecked();
        if (changed)
            slot.NextTime = NextScheduledDay(days, FAutoMode == asWeekDay, now);
        break;
    case asDailyAt:
        slot.WeekDay = days;
        slot.RunIfMissed = cbRunIfMissed->isChecked();
        break;
    case asByRequest:
        slot.WeekDay = days;
        slot.RunIfMissed = false;
        break;
    default:
        slot.RunIfMissed = false;
        slot.NextTime = picked > now ? picked : picked + 1;
        break;
    }
    slot.AutoEnd = static_cast<TInteraction>(cbAutoEnd->currentIndex());
    slot.ThPr = cbPriority->currentIndex();
}

void TBuMainWindow::SlotTimeChanged()
{
    if (FAutoTaskNr < 0)
        return;
    TAutoTask& slot = *FProgram.AutoTasks[static_cast<size_t>(FAutoTaskNr)];
    const TDateTime now = Now();
    const TDateTime today = std::floor(now);
    TDateTime base;
    if (dtpAutoTime->isVisibleTo(this)) {
        const QTime t = dtpAutoTime->time();
        base = today + (t.hour() * 60 + t.minute()) / 1440.0;
        if (base <= now)
            base += 1;
    } else {
        base = today + 0.1 / 86400 + (FAutoMode == asWeekly ? 1 : 0);
    }
    if (gbWeekdays->isVisibleTo(this)) {
        uint32_t days = 0;
        for (int d = 0; d < 7; ++d)
            if (FWeekdays[static_cast<size_t>(d)]->isChecked())
                days |= 1u << d;
        slot.WeekDay = days;
        slot.NextTime = NextScheduledDay(days, true, base);
    } else {
        slot.NextTime = base;
    }
    UpdateSchedules(FAutoTaskNr);
}

void TBuMainWindow::ChangeAutoStart(TAutoStart kind, bool force)
{
    if (FAtShowing || FAutoTaskNr < 0)
        return;
    if (!force) {
        if (kind == FAutoMode)
            return;
        const QPoint at = cbAutoStart->mapToGlobal(cbAutoStart->rect().bottomLeft());
        bool ok = true;
        if (kind == asNone)
            ok =
                ConfirmDialogAt(at, SafeFormat(_("Do you really want to disable this automatic backup (%s)?"),
                                               {StdStr(edAutoTask->text())}));
        else if (FAutoMode != asNone)
            ok = ConfirmDialogAt(at, SafeFormat(_("Do you really want to change this automatic backup (%s)?"),
                                                {StdStr(edAutoTask->text())}));
        if (!ok) {
            ShowAutoTask(FAutoTaskNr);
            return;
        }
    }
    FAutoMode = kind;
    FAtShowing = true;
    UpdateSlotVisibility(kind);
    if (kind == asDailyAt) {
        const int minute = static_cast<int>(FracOf(Now()) * 1440);
        dtpAutoTime->setTime(QTime(minute / 60, minute % 60));
    } else if (kind == asLogoff) {
        dtpAutoTime->setTime(QTime(8, 0));
    }
    const uint32_t days = kind == asDailyAt || kind == asByRequest ? 127 : 1;
    for (int d = 0; d < 7; ++d)
        FWeekdays[static_cast<size_t>(d)]->setChecked((days & (1u << d)) != 0);
    cbRunIfMissed->setChecked(true);
    cbAutoEnd->setCurrentIndex(kind == asDailyAt || kind == asLogoff || kind == asWeekDay ? iaDelay
                                                                                          : iaPrompt);
    FAtShowing = false;
    StoreAutoTask(FAutoTaskNr);
    SlotTimeChanged();
    UpdateAutoFlags();
}

void TBuMainWindow::UpdateSchedules(int selIndex)
{
    lvSchedules->clear();
    QTreeWidgetItem* select = nullptr;
    for (const auto& row : ScheduleRows(FProgram.AutoTasks)) {
        auto* item = new QTreeWidgetItem(lvSchedules, {QStr(row.Caption), QStr(row.Text)});
        item->setData(0, Qt::UserRole, row.Data);
        if (!row.Caption.empty()) {
            QFont f = item->font(1);
            f.setBold(true);
            item->setFont(0, f);
            item->setFont(1, f);
            if (row.Data - 1 == selIndex)
                select = item;
        } else if (row.Data != 0) {
            item->setForeground(1, StateColour(lvSchedules, (row.Data & 128) != 0 ? 0 : 2));
            if ((row.Data & 256) != 0)
                item->setIcon(1, style()->standardIcon(QStyle::SP_MessageBoxWarning));
        }
    }
    if (select)
        lvSchedules->setCurrentItem(select);
}

bool TBuMainWindow::AddSchedule(const std::string& taskName, bool noPrompt)
{
    if (taskName.empty())
        return false;
    if (!noPrompt && !ConfirmDialogAt(bbBuAddSchedule->mapToGlobal(bbBuAddSchedule->rect().bottomLeft()),
                                      _("Add new schedule for this backup?")))
        return false;
    const int slotIndex = GetFreeAutoTask(FProgram.AutoTasks);
    FAutoTaskNr = -1;
    if (slotIndex < 0) {
        ErrorDialog(_("The maximum number of 16 backup schedules is exceeded!"));
        return false;
    }
    TAutoTask& slot = *FProgram.AutoTasks[static_cast<size_t>(slotIndex)];
    slot.TaskPath = taskName;
    slot.TaskName = DeleteExtension(GetLastDirName(taskName));
    ShowAutoBackups(slotIndex);
    return true;
}

void TBuMainWindow::UpdateAutoFlags()
{
    FProgram.UpdateAutoFlags(false);
    cbSysTray->setChecked(FProgram.AutoFlags.WaitActive || cbSysTray->isChecked());
    FProgram.SysTray = cbSysTray->isChecked();
    UpdateQuitCaptions();
    BuildTaskMenu();
}

void TBuMainWindow::UpdateQuitCaptions()
{
    if (cbSysTray->isChecked()) {
        sbExit->setText(TrQ("Standby"));
        sbExit->setToolTip(TrQ("Move Vastrel to background"));
    } else {
        sbExit->setText(TrQ("End"));
        sbExit->setToolTip(TrQ("Close Vastrel"));
    }
}

// ---- logs

void TBuMainWindow::ShowLog(const std::string& logName, bool modal)
{
    std::string name = logName.empty() ? DefaultLogFile : logName;
    if (!XlFileExists(name)) {
        const int answer =
            SelectChoiceAt(QCursor::pos(), _("View log"),
                           _("Log file not found: ") + "\r\n" + name + "\r\n" + _("Show other log file?"),
                           mtConfirmation, false, {_("Select"), _("Default")}, "", 0, 0, "");
        if (answer < 0)
            return;
        if ((answer & 0xFF) == 1) {
            name = DefaultLogFile;
        } else {
            const QString file = QFileDialog::getOpenFileName(
                this, TrQ("View log"), QStr(FProgram.LogDir()),
                TrQ("Log files") + QStringLiteral(" (*.log);;") + TrQ("all") + QStringLiteral(" (*)"));
            if (file.isEmpty())
                return;
            name = StdStr(file);
        }
    }
    if (TShowTextDialog* viewer = TextViewer(); viewer && viewer->isVisible())
        viewer->close();
    const TShowDlgButtons all = 0xFF;
    ShowTextFile(MakeCaption(_("Show log file"), ""), name, _("Previous section"), _("Next section"),
                 "Vastrel -", _("Previous error"), _("Next error"), "  *** ",
                 SafeFormat(_("Log files|*.%s|all|*.*"), {std::string("log")}), QPoint(), 0,
                 modal ? stModal : stShow, all, ProgSettings.PrinterSettings, 0);
}

// ---- runs

void TBuMainWindow::UpdateRunState()
{
    bbBuStart->setEnabled(!FRunning && !FProgram.CurrentTask.empty());
    btbRunAuto->setEnabled(!FRunning && FAutoTaskNr >= 0 &&
                           !FProgram.AutoTasks[static_cast<size_t>(FAutoTaskNr)]->TaskName.empty());
    if (FTray)
        FTray->setToolTip(
            QStr(GetProgNameVersion(3)) +
            (FRunning ? QStringLiteral("\n") + TrQ("Backup task") + QStringLiteral("…") : QString()));
}

void TBuMainWindow::StartRun(std::function<int()> work, std::function<void(int)> done)
{
    if (FRunning)
        return;
    if (FRunThread.joinable())
        FRunThread.join();
    FRunning = true;
    tmSchedule->stop();
    UpdateRunState();
    QPointer<TBuMainWindow> self(this);
    FRunThread = std::thread([self, work = std::move(work), done = std::move(done)] {
        int result = 0;
        try {
            result = work();
        } catch (const std::exception& e) {
            std::string text = e.what();
            QMetaObject::invokeMethod(
                qApp, [text] { ErrorDialog(text); }, Qt::QueuedConnection);
            result = 5;
        }
        QMetaObject::invokeMethod(
            qApp,
            [self, done, result] {
                if (!self)
                    return;
                self->FRunning = false;
                self->UpdateRunState();
                GuardSlot([&] {
                    if (done)
                        done(result);
                    self->FProgram.SaveErrorCount();
                    self->sbErrorStatus->setVisible(self->FProgram.ErrorCountValue > 0);
                    if (self->isVisible())
                        self->RefreshBackupList();
                    else if (self->FProgram.AutoFlags.WaitActive)
                        self->tmSchedule->start();
                    self->FinishRequest();
                });
            },
            Qt::QueuedConnection);
    });
}

void TBuMainWindow::tmScheduleTimer()
{
    if (!FProgram.AutoFlags.WaitActive || FRunning)
        return;
    tmSchedule->stop();
    StartRun([this] {
        FProgram.ScheduleTick();
        return FProgram.ExitState();
    });
}

void TBuMainWindow::Dispatch()
{
    for (const auto& m : FProgram.StartMessages)
        ErrorDialog(m);
    FProgram.StartMessages.clear();
    if (FProgram.Cmd.StartTask) {
        // An automatic start: check the slots in the background, then stay or end.
        if (FTray)
            FTray->showMessage(QStringLiteral("Vastrel"), TrQ("is checking for pending backups!"));
        StartRun(
            [this] {
                return static_cast<int>(
                    FProgram.RunBackupTasks("", 0, FProgram.Cmd.InterActiveMode, FProgram.Cmd.BuThPr));
            },
            [this](int code) {
                if (code == brWait || FProgram.Cmd.StayRun) {
                    if (FTray)
                        FTray->showMessage(QStringLiteral("Vastrel"),
                                           TrQ("will remain active to perform scheduled backups!"));
                    if (FProgram.AutoFlags.WaitActive)
                        tmSchedule->start();
                } else {
                    EndProgram(false);
                }
            });
        return;
    }
    show();
    if (!FProgram.Cmd.CmdTasks.empty() && FProgram.Cmd.CmdTasks[0] != '#') {
        std::string rest = FProgram.Cmd.CmdTasks;
        const std::string first = GetTaskFileName(ReadNextQuotedItem(rest, ',', '"'), "buj");
        AddToBackupList(first);
    }
    ShowBackupPage();
}

// ---- tray menu

void TBuMainWindow::BuildTaskMenu()
{
    itStartBackup->clear();
    const auto items = TaskMenuItems(FProgram.AutoTasks);
    itStartBackup->setEnabled(!items.empty());
    for (const auto& [tag, text] : items) {
        QAction* a = itStartBackup->addAction(QStr(text));
        a->setObjectName(QStringLiteral("itStartBackup%1").arg(tag));
        connect(a, &QAction::triggered, this,
                [this, tag = tag] { GuardSlot([this, tag] { itStartBackupClick(tag); }); });
    }
}

void TBuMainWindow::itStartBackupClick(int tag)
{
    if (FRunning)
        return;
    const std::string list = tag == 0 ? std::string("#0") : "#" + std::to_string(tag);
    StartRun([this, list] {
        FProgram.RunBackupTasks(list, 1, iaDelay, FProgram.Cmd.BuThPr);
        return FProgram.ExitState();
    });
}

void TBuMainWindow::EndProgram(bool standby)
{
    FGoStandby = standby;
    FEnding = !standby;
    close();
}

void TBuMainWindow::StoreWindowPos()
{
    FProgram.WindowLeft = x();
    FProgram.WindowTop = y();
    FProgram.WindowWidth = width();
    FProgram.WindowHeight = height();
}

void TBuMainWindow::closeEvent(QCloseEvent* event)
{
    if (isVisible()) {
        StoreAutoTask(pcMain->currentIndex() == pgAuto ? FAutoTaskNr : -1);
        StoreWindowPos();
        FProgram.SysTray = cbSysTray->isChecked();
        FProgram.SaveToIni();
        if (!FEnding)
            FGoStandby = cbSysTray->isChecked();
    }
    if (FGoStandby && !FEnding) {
        // Only hidden: the program stays in the background for its timed backups.
        FGoStandby = false;
        BuildTaskMenu();
        if (!FTray) {
            // Without a tray icon a hidden window could not be reached again: it only goes down.
            event->ignore();
            showMinimized();
            if (FProgram.AutoFlags.WaitActive && !FRunning)
                tmSchedule->start();
            return;
        }
        if (FTray)
            FTray->showMessage(QStringLiteral("Vastrel"),
                               TrQ("will remain active to perform scheduled backups!"));
        if (FProgram.AutoFlags.WaitActive && !FRunning)
            tmSchedule->start();
        event->accept();
        return;
    }
    if (FRunning) {
        // A run ends first: ask it to stop and end once it has.
        FProgram.RunControl().Cancel(true);
        FEnding = true;
        event->ignore();
        return;
    }
    event->accept();
    if (OnEndProgram)
        OnEndProgram();
}

void TBuMainWindow::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    tmSchedule->stop();
}

void TBuMainWindow::hideEvent(QHideEvent* event)
{
    QMainWindow::hideEvent(event);
}

void TBuMainWindow::keyPressEvent(QKeyEvent* event)
{
    const auto mods = event->modifiers();
    const int key = event->key();
    if (mods == Qt::ControlModifier && key >= Qt::Key_0 && key <= Qt::Key_9) {
        ShowAutoBackups(key == Qt::Key_0 ? 9 : key - Qt::Key_1);
        return;
    }
    if (mods == Qt::ControlModifier && key == Qt::Key_A) {
        ShowAutoBackups(FAutoTaskNr < 0 ? 0 : FAutoTaskNr);
        return;
    }
    if (mods == Qt::ControlModifier && key == Qt::Key_B) {
        ShowBackupPage();
        return;
    }
    if (mods == Qt::ControlModifier && key == Qt::Key_P) {
        ShowSchedulerPage();
        return;
    }
    if (mods == Qt::AltModifier && (key == Qt::Key_Up || key == Qt::Key_Down) &&
        pcMain->currentIndex() == pgBackup) {
        GuardSlot([&] { MoveSelected(key == Qt::Key_Up); });
        return;
    }
    if (mods == Qt::AltModifier && key == Qt::Key_B && pcMain->currentIndex() == pgBackup) {
        GuardSlot([this] { bbBuStartClick(); });
        return;
    }
    if (mods == Qt::AltModifier && key == Qt::Key_L && pcMain->currentIndex() == pgBackup) {
        GuardSlot([this] { bbBuViewLogClick(); });
        return;
    }
    if (key == Qt::Key_Escape) {
        close();
        return;
    }
    QMainWindow::keyPressEvent(event);
}

// ---- the end of the session

bool TBuMainWindow::SessionEnding(bool logoff)
{
    if (!FProgram.AutoFlags.LogOffActive || FCanEndSession || FRunning)
        return true;
    TDownMode mode = logoff ? dmLogOff : ProgSettings.ShutdownSettings.DownMode;
    if (mode == dmHybrid && ProgSettings.ShutdownSettings.LockComputer)
        mode = dmShutdown;
    if (mode == dmNone)
        mode = dmShutdown;
    StoreWindowPos();
    FProgram.SaveToIni();
    hide();
    StartRun([this] { return static_cast<int>(FProgram.RunLogoffBackups()); },
             [this, mode](int) {
                 FCanEndSession = true;
                 FProgram.SetEndAction(mode);
                 EndProgram(false);
             });
    return false;
}

// ---- the single instance

void TBuMainWindow::SetInstanceServer(TInstanceServer* server)
{
    FServer = server;
    delete FNotifier;
    FNotifier = nullptr;
    if (!server || server->Fd() < 0)
        return;
    FNotifier = new QSocketNotifier(server->Fd(), QSocketNotifier::Read, this);
    connect(FNotifier, &QSocketNotifier::activated, this, [this] {
        GuardSlot([this] {
            while (auto request = FServer->Accept())
                HandleRequest(std::move(request));
        });
    });
}

void TBuMainWindow::HandleRequest(std::unique_ptr<TInstanceRequest> request)
{
    if (FEnding) {
        request->Refuse();
        return;
    }
    const THandOver& req = request->Data;
    std::string task = GetTaskFileArg(req.Args);
    if (!task.empty() && !IsAbsolutePath(task) && !req.Dir.empty())
        task = AddPathDelimiter(req.Dir) + task;
    switch (req.Mode) {
    case hmShow:
        request->Finish(0);
        showNormal();
        raise();
        activateWindow();
        return;
    case hmControlPanel:
    case hmEdit:
        request->Finish(0);
        showNormal();
        raise();
        activateWindow();
        if (utf8::SameText(ExtractExtension(task), "buj") || req.Mode == hmControlPanel)
            AddToBackupList(GetTaskFileName(task, "buj"));
        else
            ErrorDialog(_("The verify, restore and cleanup tools are not available in this version."));
        ShowBackupPage();
        return;
    case hmRun:
        request->Acknowledge();
        FPendingRuns.push_back(std::move(request));
        FinishRequest();
        return;
    }
}

void TBuMainWindow::FinishRequest()
{
    // Runs handed over by other starts go one after the other, each answered with its exit code.
    if (FRunning || FPendingRuns.empty())
        return;
    std::shared_ptr<TInstanceRequest> request(FPendingRuns.front().release());
    FPendingRuns.erase(FPendingRuns.begin());
    StartRun([this, request] { return FProgram.RunHandedOver(request->Data); },
             [request](int code) { request->Finish(code); });
}

// ---- the program with its window

int RunMainWindow(int& argc, char** argv, const std::vector<std::string>& args,
                  const TProgramFolders& folders, IPowerActions& power)
{
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    TZeigFortschritt progressWindow;
    TWindowInteraction interaction(progressWindow);
    TWindowProgress progress(progressWindow, nullptr);
    TBuMainForm program(folders, interaction, power, &progress);
    progress.SetControl(&program.RunControl());
    program.InitProgram(args);
    bool loaded = false;
    progress.BeforeShow = [&progressWindow, &loaded] {
        if (!loaded) {
            loaded = true;
            progressWindow.LoadFromIni(SettingsFile);
            progressWindow.WriteVersion(GetProgNameVersion(4), UserNameText());
        }
    };
    if (program.Cmd.UseDarkMode)
        ApplyStyle(true);

    std::unique_ptr<TInstanceServer> server;
    bool send = false;
    THandOverMode mode = hmShow;
    const TInstanceRole role =
        ChooseInstanceRole(program.StartFlags, program.Cmd, GetTaskFileArg(args), send, mode);
    if (role == irInteractive) {
        const std::string dir = InstanceDir();
        uint32_t code = 0;
        for (int attempt = 0; attempt < 2 && !server; ++attempt) {
            server = TInstanceServer::TryCreate(dir, code);
            if (server)
                break;
            // Another instance: hand over and end. One that is closing is waited for, then replaced.
            THandOver request{mode, std::string(), args};
            char cwd[4096];
            if (::getcwd(cwd, sizeof cwd))
                request.Dir = cwd;
            int exitCode = 0;
            const THandOverResult result =
                send ? HandOver(dir, request, exitCode) : (code == 33 ? hoDone : hoNoInstance);
            if (result == hoDone || result == hoRefused)
                return 0;
        }
    }

    TBuMainWindow window(program);
    window.SetInstanceServer(server.get());
    int exitCode = 0;
    window.OnEndProgram = [&app, &program, &exitCode, &server] {
        if (server)
            server->Close();
        exitCode = program.FinishProgram();
        QMetaObject::invokeMethod(
            &app, [] { QApplication::quit(); }, Qt::QueuedConnection);
    };
    // The desktop's session manager asks before the session ends: logoff backups hold it back.
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &window, [&window](QSessionManager& manager) {
        GuardSlot([&] {
            if (!window.SessionEnding(true) && manager.allowsInteraction())
                manager.cancel();
        });
    });
    QTimer::singleShot(program.Cmd.NoSplash ? 0 : 100, &window,
                       [&window] { GuardSlot([&window] { window.Dispatch(); }); });
    QApplication::exec();
    progressWindow.CloseView();
    return exitCode;
}
