#include "starter/gui/StarterMain.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <filesystem>
#include <memory>

#include "backup/gui/BuMailDlg.h"
#include "foundation/InitProg.h"
#include "foundation/QvUtilsCompanion.h"
#include "foundation/QvUtilsFolders.h"
#include "foundation/WinShell.h"
#include "foundation/gui/EditHistListDlg.h"
#include "foundation/gui/GuiUtils.h"
#include "foundation/gui/InpText.h"
#include "foundation/gui/NewPwdDlg.h"
#include "foundation/gui/NumberEd.h"
#include "foundation/gui/PwdDlg.h"
#include "foundation/gui/ShellDirDlg.h"
#include "foundation/gui/ShowMemo.h"
#include "foundation/gui/ShowMessageDlg.h"
#include "platform/ErrorCodes.h"
#include "rtl/Gettext.h"
#include "rtl/SysUtils.h"
#include "starter/gui/ShortcutDlg.h"

namespace {

namespace fs = std::filesystem;

// The captions of the status-window modes, in the order of TTaskProperties::Status.
const char* const StatusCaptions[] = {N_("None"), N_("Close automatically"), N_("Always wait for prompt"),
                                      N_("Wait for prompt only on errors"), N_("Show only on errors")};

QPoint BelowOf(const QWidget* w)
{
    return w->mapToGlobal(QPoint(0, w->height()));
}

bool FolderExists(const std::string& dir)
{
    std::error_code ec;
    return !dir.empty() && fs::is_directory(dir, ec);
}

std::string QuotedWhenNeeded(const std::string& s)
{
    return s.find(' ') == std::string::npos ? s : "\"" + s + "\"";
}

TRangeEdit* MakeRange(QWidget* parent, const char* name, int lo, int hi, int step)
{
    auto* e = new TRangeEdit(parent);
    e->setObjectName(QString::fromLatin1(name));
    e->SetMinValue(lo);
    e->SetMaxValue(hi);
    e->SetRangeCheck(true);
    // the up-down button beside the edit steps it
    auto* upDown = new TNumUpDown(parent);
    upDown->setObjectName(QString::fromLatin1(name) + QStringLiteral("UpDown"));
    upDown->Increment = step;
    upDown->SetAssociate(e);
    return e;
}

template <typename W> W* Named(W* w, const char* name)
{
    w->setObjectName(QString::fromLatin1(name));
    return w;
}

} // namespace

// --- host

bool TGuiStarterHost::AskPassword(const std::string& Title, const std::string& Prompt, std::string& Pwd)
{
    return AskPasswordOk(QPoint(), Title, Prompt, Pwd);
}

void TGuiStarterHost::ErrorBox(const std::string& Text)
{
    ErrorDialog(Text);
}

void TGuiStarterHost::ProcessMessages()
{
    QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
}

// --- window

TMainForm::TMainForm(TStarter& Starter, QWidget* parent) : QWidget(parent), FStarter(Starter)
{
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(TrQ("Start Vastrel under different user account"));
    auto* top = new QVBoxLayout(this);

    // group
    auto* groupRow = new QHBoxLayout;
    groupRow->addWidget(new QLabel(TrQ("Backup group:"), this));
    cbTasks = Named(new QComboBox(this), "cbTasks");
    cbTasks->setMinimumWidth(240);
    groupRow->addWidget(cbTasks, 1);
    bbNewGroup = Named(new QPushButton(TrQ("New"), this), "bbNewGroup");
    bbNewGroup->setToolTip(TrQ("Add new group"));
    bbEditGroups = Named(new QPushButton(TrQ("Edit"), this), "bbEditGroups");
    bbEditGroups->setToolTip(TrQ("Edit group list"));
    groupRow->addWidget(bbNewGroup);
    groupRow->addWidget(bbEditGroups);
    top->addLayout(groupRow);

    // account
    auto* accountBox = new QGroupBox(TrQ("User account"), this);
    auto* accountGrid = new QGridLayout(accountBox);
    accountGrid->addWidget(new QLabel(TrQ("User account:"), accountBox), 0, 0);
    edAccount = Named(new QLineEdit(accountBox), "edAccount");
    accountGrid->addWidget(edAccount, 0, 1);
    btnUserPwd = Named(new QPushButton(TrQ("Password..."), accountBox), "btnUserPwd");
    btnUserPwd->setToolTip(TrQ("Enter fixed password for user account"));
    accountGrid->addWidget(btnUserPwd, 0, 2);
    gbPassword = Named(new QGroupBox(TrQ("Password"), accountBox), "gbPassword");
    auto* pwdRow = new QHBoxLayout(gbPassword);
    rbPwdPrompt = Named(new QRadioButton(TrQ("Prompt for password"), gbPassword), "rbPwdPrompt");
    rbPwdFixed = Named(new QRadioButton(TrQ("Use fixed password"), gbPassword), "rbPwdFixed");
    rbPwdPrompt->setChecked(true);
    pwdRow->addWidget(rbPwdPrompt);
    pwdRow->addWidget(rbPwdFixed);
    accountGrid->addWidget(gbPassword, 1, 0, 1, 2);
    cbRunAs = Named(new QCheckBox(TrQ("Run as administrator"), accountBox), "cbRunAs");
    accountGrid->addWidget(cbRunAs, 1, 2);
    top->addWidget(accountBox);

    // options of the main program
    auto* optionsRow = new QHBoxLayout;
    rgStatus = Named(new QGroupBox(TrQ("Status window"), this), "rgStatus");
    auto* statusLayout = new QVBoxLayout(rgStatus);
    StatusButtons = new QButtonGroup(rgStatus);
    for (int i = 0; i < 5; ++i) {
        auto* b = new QRadioButton(TrQ(StatusCaptions[i]), rgStatus);
        b->setObjectName(QStringLiteral("rgStatus%1").arg(i));
        StatusButtons->addButton(b, i);
        statusLayout->addWidget(b);
    }
    paStat = Named(new QWidget(rgStatus), "paStat");
    auto* statRow = new QHBoxLayout(paStat);
    statRow->setContentsMargins(0, 0, 0, 0);
    statRow->addWidget(new QLabel(TrQ("Status display time:"), paStat));
    reWait = MakeRange(paStat, "reWait", 1, 99, 1);
    statRow->addWidget(reWait);
    statRow->addWidget(paStat->findChild<TNumUpDown*>(QStringLiteral("reWaitUpDown")));
    statRow->addWidget(new QLabel(TrQ("s"), paStat));
    statRow->addStretch(1);
    statusLayout->addWidget(paStat);
    optionsRow->addWidget(rgStatus, 1);

    paSettings = Named(new QGroupBox(TrQ("Settings"), this), "paSettings");
    auto* settingsLayout = new QVBoxLayout(paSettings);
    cbSplash = Named(new QCheckBox(TrQ("No splash screen"), paSettings), "cbSplash");
    cbSound = Named(new QCheckBox(TrQ("Play sound"), paSettings), "cbSound");
    cbParallel = Named(new QCheckBox(TrQ("Parallel processing of tasks"), paSettings), "cbParallel");
    settingsLayout->addWidget(cbSplash);
    settingsLayout->addWidget(cbSound);
    settingsLayout->addWidget(cbParallel);
    auto* delayRow = new QHBoxLayout;
    cbDelay = Named(new QCheckBox(TrQ("Delay between tasks"), paSettings), "cbDelay");
    reDelay = MakeRange(paSettings, "reDelay", 0, 3600, 5);
    delayRow->addWidget(cbDelay);
    delayRow->addWidget(reDelay);
    delayRow->addWidget(paSettings->findChild<TNumUpDown*>(QStringLiteral("reDelayUpDown")));
    delayRow->addWidget(new QLabel(TrQ("s"), paSettings));
    delayRow->addStretch(1);
    settingsLayout->addLayout(delayRow);
    settingsLayout->addStretch(1);
    optionsRow->addWidget(paSettings, 1);
    top->addLayout(optionsRow);

    // tasks
    auto* tasksBox = new QGroupBox(TrQ("Backup tasks"), this);
    auto* tasksGrid = new QGridLayout(tasksBox);
    lbTasks = Named(new QListWidget(tasksBox), "lbTasks");
    lbTasks->setMinimumHeight(110);
    tasksGrid->addWidget(lbTasks, 0, 0, 6, 1);
    bbAddTask = Named(new QPushButton(TrQ("Add"), tasksBox), "bbAddTask");
    bbAddTask->setToolTip(TrQ("Add backup tasks"));
    bbRemTask = Named(new QPushButton(TrQ("Remove"), tasksBox), "bbRemTask");
    bbRemTask->setToolTip(TrQ("Remove backup task"));
    bbEdit = Named(new QPushButton(TrQ("Edit"), tasksBox), "bbEdit");
    bbEdit->setToolTip(TrQ("Edit backup task"));
    bbShowQvLog = Named(new QPushButton(TrQ("Log"), tasksBox), "bbShowQvLog");
    bbShowQvLog->setToolTip(TrQ("Show backup log file"));
    UpBtn = Named(new QPushButton(TrQ("Up"), tasksBox), "UpBtn");
    DownBtn = Named(new QPushButton(TrQ("Down"), tasksBox), "DownBtn");
    int row = 0;
    for (QPushButton* b : {bbAddTask, bbRemTask, bbEdit, bbShowQvLog, UpBtn, DownBtn})
        tasksGrid->addWidget(b, row++, 1);
    auto* logRow = new QHBoxLayout;
    logRow->addWidget(new QLabel(TrQ("Directory for log files:"), tasksBox));
    edLogDir = Named(new QLineEdit(tasksBox), "edLogDir");
    logRow->addWidget(edLogDir, 1);
    bbLogDir = Named(new QPushButton(TrQ("..."), tasksBox), "bbLogDir");
    bbLogDir->setToolTip(TrQ("Select log directory"));
    logRow->addWidget(bbLogDir);
    tasksGrid->addLayout(logRow, 6, 0, 1, 2);
    top->addWidget(tasksBox, 1);

    // mail
    auto* mailRow = new QHBoxLayout;
    cbMail = Named(new QCheckBox(TrQ("Send mail on errors"), this), "cbMail");
    MailBtn = Named(new QPushButton(TrQ("Mail settings..."), this), "MailBtn");
    mailRow->addWidget(cbMail);
    mailRow->addWidget(MailBtn);
    mailRow->addStretch(1);
    top->addLayout(mailRow);

    // starters: scheduled tasks, desktop shortcuts and other programs under the account are made
    // with the dialogs of the shortcut and application starts
    auto* startersRow = new QHBoxLayout;
    bbNewWinTask = Named(new QPushButton(TrQ("New scheduled task"), this), "bbNewWinTask");
    bbNewWinTask->setToolTip(TrQ("Create Windows Scheduled Task"));
    bbEditWinTask = Named(new QPushButton(TrQ("Edit scheduled task"), this), "bbEditWinTask");
    bbEditWinTask->setToolTip(TrQ("Edit Windows scheduled task"));
    bbDesktop = Named(new QPushButton(TrQ("Desktop shortcut"), this), "bbDesktop");
    bbDesktop->setToolTip(TrQ("Create Desktop shortcut to start backups"));
    bbStartApp = Named(new QPushButton(TrQ("Start application"), this), "bbStartApp");
    bbStartApp->setToolTip(TrQ("Start an application under different user account"));
    for (QPushButton* b : {bbNewWinTask, bbEditWinTask, bbStartApp}) {
        b->setEnabled(false);
    }
    for (QPushButton* b : {bbNewWinTask, bbEditWinTask, bbDesktop, bbStartApp})
        startersRow->addWidget(b);
    startersRow->addStretch(1);
    top->addLayout(startersRow);

    auto* bottomRow = new QHBoxLayout;
    laVersion = Named(new QLabel(this), "laVersion");
    bottomRow->addWidget(laVersion, 1);
    bbStart = Named(new QPushButton(TrQ("Start backup"), this), "bbStart");
    bbShowLog = Named(new QPushButton(TrQ("Show log"), this), "bbShowLog");
    bbShowLog->setToolTip(TrQ("Show QvStarter log file"));
    bbHelp = Named(new QPushButton(TrQ("Help"), this), "bbHelp");
    bbHelp->setEnabled(false);
    bbInfo = Named(new QPushButton(TrQ("Info"), this), "bbInfo");
    bbQuit = Named(new QPushButton(TrQ("Quit"), this), "bbQuit");
    bbQuit->setToolTip(TrQ("Quit program and save settings"));
    for (QPushButton* b : {bbStart, bbShowLog, bbHelp, bbInfo, bbQuit})
        bottomRow->addWidget(b);
    top->addLayout(bottomRow);

    auto guard = [this](void (TMainForm::*slot)()) {
        return [this, slot] { GuardSlot([&] { (this->*slot)(); }); };
    };
    connect(cbTasks, qOverload<int>(&QComboBox::activated), this,
            [this](int i) { GuardSlot([&] { GroupChosen(i); }); });
    connect(bbNewGroup, &QPushButton::clicked, this, guard(&TMainForm::NewGroupClick));
    connect(bbEditGroups, &QPushButton::clicked, this, guard(&TMainForm::EditGroupsClick));
    connect(btnUserPwd, &QPushButton::clicked, this, guard(&TMainForm::UserPwdClick));
    connect(rbPwdFixed, &QRadioButton::clicked, this, guard(&TMainForm::PwdFixedClick));
    connect(rbPwdPrompt, &QRadioButton::clicked, this, guard(&TMainForm::PwdPromptClick));
    connect(StatusButtons, &QButtonGroup::idClicked, this, guard(&TMainForm::StatusChanged));
    connect(cbParallel, &QCheckBox::clicked, this, guard(&TMainForm::UpdateDelayControls));
    connect(cbDelay, &QCheckBox::clicked, this, guard(&TMainForm::DelayClick));
    connect(bbAddTask, &QPushButton::clicked, this, guard(&TMainForm::AddTaskClick));
    connect(bbRemTask, &QPushButton::clicked, this, guard(&TMainForm::RemTaskClick));
    connect(UpBtn, &QPushButton::clicked, this, [this] { GuardSlot([&] { MoveTask(-1); }); });
    connect(DownBtn, &QPushButton::clicked, this, [this] { GuardSlot([&] { MoveTask(1); }); });
    connect(bbEdit, &QPushButton::clicked, this, guard(&TMainForm::EditTaskClick));
    connect(lbTasks, &QListWidget::itemDoubleClicked, this, guard(&TMainForm::EditTaskClick));
    connect(bbShowQvLog, &QPushButton::clicked, this, guard(&TMainForm::ShowQvLogClick));
    connect(bbShowLog, &QPushButton::clicked, this, guard(&TMainForm::ShowLogClick));
    connect(bbLogDir, &QPushButton::clicked, this, guard(&TMainForm::LogDirClick));
    connect(cbMail, &QCheckBox::clicked, this, guard(&TMainForm::MailClick));
    connect(MailBtn, &QPushButton::clicked, this, guard(&TMainForm::MailBtnClick));
    connect(bbDesktop, &QPushButton::clicked, this, guard(&TMainForm::DesktopClick));
    connect(bbStart, &QPushButton::clicked, this, guard(&TMainForm::StartClick));
    connect(bbInfo, &QPushButton::clicked, this, guard(&TMainForm::InfoClick));
    connect(bbQuit, &QPushButton::clicked, this, [this] { close(); });
}

TTaskProperties* TMainForm::Shown() const
{
    auto& groups = FStarter.Settings.Groups;
    if (FTaskIndex < 0 || FTaskIndex >= static_cast<int>(groups.size()))
        return nullptr;
    return groups[static_cast<size_t>(FTaskIndex)].get();
}

void TMainForm::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (FShown)
        return;
    FShown = true;
    laVersion->setText(QStr((ProgInternalName.empty() ? std::string("QvStarter") : ProgInternalName) + " - " +
                            GetProgVersionText(3, "")));
    auto& groups = FStarter.Settings.Groups;
    if (groups.empty())
        groups.push_back(std::make_unique<TTaskProperties>(_("New group")));
    cbTasks->clear();
    for (const auto& g : groups)
        cbTasks->addItem(QStr(g->Desc));
    cbMail->setChecked(FStarter.Settings.MailData.Enabled);
    ShowGroup(std::max(0, InitialGroupIndex(FStarter.Settings)));
}

void TMainForm::closeEvent(QCloseEvent* event)
{
    GuardSlot([&] {
        StoreGroup();
        SaveSettings();
    });
    QWidget::closeEvent(event);
}

void TMainForm::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_F11) {
        if (const QWidget* w = QApplication::focusWidget(); w && !ControlHint(w).isEmpty())
            InfoDialog(StdStr(ControlHint(w)), 3);
        return;
    }
    QWidget::keyPressEvent(event);
}

void TMainForm::AddTaskItem(const std::string& FileName, bool Checked)
{
    auto* item = new QListWidgetItem(QStr(FileName), lbTasks);
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(Checked ? Qt::Checked : Qt::Unchecked);
}

void TMainForm::ShowGroup(int i)
{
    auto& groups = FStarter.Settings.Groups;
    if (i < 0 || i >= static_cast<int>(groups.size()))
        return;
    FFilling = true;
    FTaskIndex = i;
    TTaskProperties& g = *groups[static_cast<size_t>(i)];
    FStarter.Settings.LastTask = g.Desc;
    cbTasks->setCurrentIndex(i);
    edLogDir->setText(QStr(g.AltLogDir));
    bbShowQvLog->setEnabled(true);
    edAccount->setText(QStr(g.User));
    UserPwd = g.Pwd;
    if (g.Pwd.empty())
        g.PwdPrompt = true;
    rbPwdPrompt->setChecked(g.PwdPrompt);
    rbPwdFixed->setChecked(!g.PwdPrompt);
    if (auto* b = StatusButtons->button(std::clamp(g.Status, 0, 4)))
        b->setChecked(true);
    cbSplash->setChecked(g.NoSplash);
    cbSound->setChecked(g.PlaySound);
    cbParallel->setChecked(g.ParProc);
    cbRunAs->setChecked(g.RunAs);
    reDelay->SetValue(g.StartDelay);
    reWait->SetValue(g.Delay);
    lbTasks->clear();
    for (const auto& t : g.Tasks)
        AddTaskItem(t.FileName, t.Enabled);
    if (lbTasks->count() > 0)
        lbTasks->setCurrentRow(0);
    paStat->setVisible(g.Status == 1 || g.Status == 3);
    FFilling = false;
    UpdateDelayControls();
}

void TMainForm::StoreGroup()
{
    TTaskProperties* g = Shown();
    if (!g)
        return;
    FStarter.Settings.LastTask = g->Desc;
    g->AltLogDir = StdStr(edLogDir->text());
    g->User = StdStr(edAccount->text());
    g->Pwd = UserPwd;
    g->PwdPrompt = rbPwdPrompt->isChecked() || g->Pwd.empty();
    g->Status = std::max(0, StatusButtons->checkedId());
    g->NoSplash = cbSplash->isChecked();
    g->PlaySound = cbSound->isChecked();
    g->ParProc = cbParallel->isChecked();
    g->RunAs = cbRunAs->isChecked();
    g->StartDelay = static_cast<int>(reDelay->Value());
    g->Delay = static_cast<int>(reWait->Value());
    g->ClearTasks();
    for (int i = 0; i < lbTasks->count(); ++i)
        g->AddTask(StdStr(lbTasks->item(i)->text()), lbTasks->item(i)->checkState() == Qt::Checked);
}

void TMainForm::UpdateDelayControls()
{
    cbDelay->setEnabled(cbParallel->isChecked());
    cbDelay->setChecked(reDelay->Value() != 0);
    EnableDelayValue();
}

void TMainForm::EnableDelayValue()
{
    const bool on = cbDelay->isEnabled() && cbDelay->isChecked();
    reDelay->setEnabled(on);
    if (auto* upDown = findChild<TNumUpDown*>(QStringLiteral("reDelayUpDown")))
        upDown->setEnabled(on);
}

void TMainForm::DelayClick()
{
    if (cbDelay->isChecked() && reDelay->Value() == 0)
        reDelay->SetValue(20);
    EnableDelayValue();
}

void TMainForm::StatusChanged()
{
    const int s = StatusButtons->checkedId();
    paStat->setVisible(s == 1 || s == 3);
}

void TMainForm::SaveSettings()
{
    try {
        SaveStarterSettings(FStarter.Location.IniName, FStarter.Settings);
    } catch (const std::exception& e) {
        ErrorDialog(e.what());
    }
}

void TMainForm::GroupChosen(int index)
{
    if (index == FTaskIndex)
        return;
    StoreGroup();
    ShowGroup(index);
}

void TMainForm::NewGroupClick()
{
    std::string name;
    if (!InputText(BelowOf(bbNewGroup), _("Add new group"), _("Name:"), false, name) || name.empty())
        return;
    StoreGroup();
    auto& s = FStarter.Settings;
    if (int n = s.FindGroup(name); n >= 0) {
        if (ConfirmDialog(SafeFormat(_("Group \"%s\" already exists - Edit?"),
                                     {s.Groups[static_cast<size_t>(n)]->Desc})))
            ShowGroup(n);
        return;
    }
    s.Groups.push_back(std::make_unique<TTaskProperties>(name));
    cbTasks->addItem(QStr(name));
    ShowGroup(static_cast<int>(s.Groups.size()) - 1);
}

void TMainForm::EditGroupsClick()
{
    StoreGroup();
    auto& groups = FStarter.Settings.Groups;
    TStringList list;
    for (size_t i = 0; i < groups.size(); ++i)
        list.AddObject(groups[i]->Desc, static_cast<intptr_t>(i));
    int index = FTaskIndex;
    if (!EditHistoryList(BelowOf(bbEditGroups), _("Edit group list"), _("Backup groups"), list, true, true,
                         index))
        return;
    TGroupList kept;
    for (int i = 0; i < list.Count(); ++i) {
        auto& g = groups[static_cast<size_t>(list.Objects(i))];
        g->Desc = list[i];
        kept.push_back(std::move(g));
    }
    groups = std::move(kept);
    if (groups.empty())
        groups.push_back(std::make_unique<TTaskProperties>(_("New group")));
    cbTasks->clear();
    for (const auto& g : groups)
        cbTasks->addItem(QStr(g->Desc));
    FTaskIndex = -1;
    ShowGroup(index >= 0 && index < static_cast<int>(groups.size()) ? index : 0);
}

void TMainForm::AddTaskClick()
{
    auto& s = FStarter.Settings;
    std::string dir = s.LastDir.empty() ? GetPersonalFolder() + "/Vastrel" : s.LastDir;
    const QStringList files =
        QFileDialog::getOpenFileNames(this, TrQ("Select backup task"), QStr(dir),
                                      QStr(SafeFormat(_("Backup tasks|*.%s|all|*.*"), {"buj"}))
                                          .replace(QLatin1Char('|'), QStringLiteral(";;")));
    for (const QString& f : files) {
        AddTaskItem(StdStr(f), true);
        s.LastDir = fs::path(StdStr(f)).parent_path().string();
    }
}

void TMainForm::RemTaskClick()
{
    const int row = lbTasks->currentRow();
    if (row < 0)
        return;
    delete lbTasks->takeItem(row);
    if (lbTasks->count() > 0)
        lbTasks->setCurrentRow(std::min(row, lbTasks->count() - 1));
}

void TMainForm::MoveTask(int delta)
{
    const int row = lbTasks->currentRow();
    const int to = row + delta;
    if (row < 0 || to < 0 || to >= lbTasks->count())
        return;
    QListWidgetItem* item = lbTasks->takeItem(row);
    lbTasks->insertItem(to, item);
    lbTasks->setCurrentRow(to);
}

void TMainForm::EditTaskClick()
{
    StoreGroup();
    TTaskProperties* g = Shown();
    if (!g)
        return;
    if (g->Tasks.empty()) {
        ErrorDialog(_("No backup tasks specified!"));
        return;
    }
    const int row = std::max(0, lbTasks->currentRow());
    const std::string task = g->Tasks[static_cast<size_t>(row)].FileName;
    std::string cmd = QuotedWhenNeeded(FStarter.QvPath) + " /startapp:qvstarter";
    if (!g->AltLogDir.empty())
        cmd += " /logdir:" + QuotedWhenNeeded(g->AltLogDir);
    cmd += " " + QuotedWhenNeeded(task) + " /edit";
    std::string pwd = g->Pwd;
    if (pwd.empty() &&
        !AskPasswordOk(BelowOf(bbEdit), FStarter.Caption,
                       SafeFormat(_("Enter the password for user \"%s\"\r\nto start the backup task \"%s\""),
                                  {g->User, fs::path(task).filename().string()}),
                       pwd))
        return;
    std::string msg;
    setEnabled(false);
    const int result = FStarter.RunAsUserAndWait(g->User, pwd, msg, cmd);
    setEnabled(true);
    if (result != 0)
        ErrorDialog(StartResultText(result, msg));
}

std::string TMainForm::GetTaskLogName(const std::string& TaskFile) const
{
    return TaskLogName(TaskFile, FStarter.QvPath, StdStr(edLogDir->text()));
}

void TMainForm::ShowQvLogClick()
{
    const int row = lbTasks->currentRow();
    if (row < 0)
        return;
    std::string logFile = GetTaskLogName(StdStr(lbTasks->item(row)->text()));
    if (logFile.empty()) {
        InfoDialogAt(BelowOf(bbShowQvLog), _("Log not available"));
        return;
    }
    std::error_code ec;
    if (!fs::is_regular_file(logFile, ec)) {
        std::string dir = fs::path(logFile).parent_path().string();
        if (!FolderExists(dir))
            dir = ProgramDir;
        const QString chosen =
            QFileDialog::getOpenFileName(this, TrQ("Select log file"), QStr(dir),
                                         QStr(SafeFormat(_("Log files|*.%s|all|*.*"), {"log"}))
                                             .replace(QLatin1Char('|'), QStringLiteral(";;")));
        if (chosen.isEmpty())
            return;
        logFile = StdStr(chosen);
    }
    TPrinterSettings printer;
    InitPrinterSettings(printer);
    ShowTextFile(FStarter.Caption, logFile, _("Previous section"), _("Next section"), "Vastrel -",
                 _("Previous error"), _("Next error"), "  *** ", "", IgnoreSavedPos, -1, stModal,
                 ShowDlgButton(sbOpen) | ShowDlgButton(sbPrint) | ShowDlgButton(sbSearch) |
                     ShowDlgButton(sbSection) | ShowDlgButton(sbError) | ShowDlgButton(sbFont) |
                     ShowDlgButton(sbCodepage),
                 printer, 0);
}

void TMainForm::ShowLogClick()
{
    std::error_code ec;
    if (!fs::is_regular_file(FStarter.LogName, ec)) {
        InfoDialogAt(BelowOf(paSettings), _("Log file not found: ") + FStarter.LogName);
        return;
    }
    TPrinterSettings printer;
    InitPrinterSettings(printer);
    ShowTextFile(StdStr(windowTitle()), FStarter.LogName, _("Previous section"), _("Next section"),
                 "QvStarter", _("Previous error"), _("Next error"), "  *** ", "", IgnoreSavedPos, -1, stShow,
                 ShowDlgButton(sbOpen) | ShowDlgButton(sbPrint) | ShowDlgButton(sbSearch) |
                     ShowDlgButton(sbSection) | ShowDlgButton(sbError) | ShowDlgButton(sbCodepage),
                 printer, 0);
}

void TMainForm::LogDirClick()
{
    fs::path dir = StdStr(edLogDir->text());
    while (!dir.empty() && !FolderExists(dir.string()) && dir != dir.parent_path())
        dir = dir.parent_path();
    std::string start = FolderExists(dir.string()) ? dir.string() : FStarter.Location.SettingsDir;
    if (SelectFolder(_("Select log directory"), false, false, "", start))
        edLogDir->setText(QStr(start));
}

void TMainForm::UserPwdClick()
{
    std::string pwd = UserPwd;
    if (!AskNewPasswordAnsiAt(BelowOf(btnUserPwd), _("User name: ") + StdStr(edAccount->text()), pwd, true,
                              false, 2))
        return;
    UserPwd = pwd;
    rbPwdPrompt->setChecked(UserPwd.empty());
    rbPwdFixed->setChecked(!UserPwd.empty());
}

void TMainForm::PwdFixedClick()
{
    if (!UserPwd.empty())
        return;
    UserPwdClick();
    if (UserPwd.empty())
        rbPwdPrompt->setChecked(true);
}

void TMainForm::PwdPromptClick()
{
    UserPwd.clear();
}

bool TMainForm::EditMailSettings()
{
    // the task mail dialog edits the error report: its "when to send" choice stands for the switch
    starter::TMailData& m = FStarter.Settings.MailData;
    ::TMailData d;
    InitMailData(d);
    d.SMTP = m.SMTP;
    d.Port = m.Port;
    d.Username = m.Username;
    d.Password = m.Password;
    d.Sender = m.Sender;
    d.ReplyTo = m.ReplyTo;
    d.Recipients = m.Recipients;
    d.Subject = m.Subject;
    d.SecureMode = m.SecureMode;
    TMailMode mode = mmError;
    auto dlg = std::make_unique<TMailDialog>(this);
    dlg->Init(FStarter.Location.SettingsDir + "Vastrel.ini");
    // the error report carries no attachments and is sent only after errors
    for (const char* name :
         {"gbLog", "rgZip", "lbAttach", "btnAddAtt", "btnRemAtt", "btnEditAtt", "rbAlways"})
        if (auto* w = dlg->findChild<QWidget*>(QString::fromLatin1(name)))
            w->hide();
    for (auto* label : dlg->findChildren<QLabel*>())
        if (label->text() == TrQ("Other attachments:"))
            label->hide();
    dlg->setWindowTitle(TrQ("Mail settings"));
    if (!dlg->Execute(nullptr, _("Send mail on errors"), d, mode))
        return false;
    m.SMTP = d.SMTP;
    m.Port = d.Port;
    m.Username = d.Username;
    m.Password = d.Password;
    m.Sender = d.Sender;
    m.ReplyTo = d.ReplyTo;
    m.Recipients = d.Recipients;
    m.Subject = d.Subject;
    m.SecureMode = d.SecureMode;
    m.Enabled = mode != mmNone;
    return true;
}

void TMainForm::MailClick()
{
    starter::TMailData& m = FStarter.Settings.MailData;
    if (cbMail->isChecked() && !m.Enabled) {
        const bool ok = EditMailSettings();
        cbMail->setChecked(ok && m.Enabled);
        return;
    }
    m.Enabled = cbMail->isChecked();
}

void TMainForm::MailBtnClick()
{
    if (EditMailSettings())
        cbMail->setChecked(FStarter.Settings.MailData.Enabled);
}

void TMainForm::StartClick()
{
    StoreGroup();
    SaveSettings();
    setEnabled(false);
    FStarter.RunGroup(FTaskIndex, true);
    setEnabled(true);
}

std::string TMainForm::StarterCommandLine() const
{
    std::string s;
    if (!FStarter.Location.AIniPath.empty())
        s = QuotedWhenNeeded("/ini:" + FStarter.Location.AIniPath) + " ";
    return s + "/logmode:1";
}

void TMainForm::DesktopClick()
{
    StoreGroup();
    std::string name, cmdLine = StarterCommandLine();
    TShortcutDialog dlg(FStarter.Location.SettingsDir, this);
    if (!dlg.Execute(_("Create Desktop shortcut"), _("Name of shortcut:"), true,
                     FStarter.Settings.GroupNames(), name, cmdLine, ""))
        return;
    std::string desktop = GetSpecialFolder(CSIDL_DESKTOPDIRECTORY);
    if (!desktop.empty() && desktop.back() != '/')
        desktop += '/';
    const std::string link = desktop + name + ".lnk";
    std::error_code ec;
    if (fs::exists(ShellLinkFileName(link), ec) &&
        !ConfirmDialog(SafeFormat(_("Replace existing desktop shortcut \"%s\"?"), {name})))
        return;
    const int32_t err = MakeShortcut(link, ProgramDir + ProgramName, cmdLine, false, name, ProgramDir);
    if (err != 0)
        ErrorDialog(_("Error creating desktop shortcut!") + "\r\n" +
                    SystemErrorText(static_cast<uint32_t>(err)));
}

void TMainForm::InfoClick()
{
    std::error_code ec;
    std::string date;
    InfoDialogAt(BelowOf(paSettings), GetProgramInfoText(FStarter.QvPath, ProgVersionText, 3));
}

// --- the program on a display

int RunStarterWindow(int& argc, char** argv, const std::vector<std::string>& args,
                     const std::string& settingsDir, IStarterProcesses& processes, IStarterPower& power)
{
    QApplication app(argc, argv);
    TGuiStarterHost host;
    TStarter starter(host, processes, &power);
    starter.Caption = ProgInternalName + " (" + ProgVersionText + ")";
    starter.CertDir = ProgramDir;
    starter.Init(args, settingsDir, ProgramName);
    if (starter.CheckForce())
        return 0;
    TMainForm form(starter);
    form.show();
    QApplication::exec();
    return 0;
}
