// The task editor's commands: file processing, runs from the editor, the task log viewer and the entry
// points of the main program. The decisions are TTaskEditor's; this half binds them to buttons and
// menus and shows the result.
#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QEventLoop>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>
#include <sys/stat.h>
#include <unistd.h>

#include "backup/ExtensionList.h"
#include "backup/ProfileTask.h"
#include "backup/TaskEditorChecks.h"
#include "backup/gui/Anzeige.h"
#include "backup/gui/BackupForm.h"
#include "backup/gui/EditorDialogs.h"
#include "backup/gui/EditorRun.h"
#include "backup/gui/Wizard.h"
#include "foundation/InitProg.h"
#include "foundation/PathUtils.h"
#include "foundation/QvUtilsDest.h"
#include "foundation/QvUtilsFolders.h"
#include "foundation/QvUtilsNames.h"
#include "foundation/QvUtilsTaskFiles.h"
#include "foundation/QvUtilsTexts.h"
#include "foundation/gui/GuiUtils.h"
#include "foundation/gui/HListBoxWidgets.h"
#include "foundation/gui/ShowMemo.h"
#include "foundation/gui/ShowMessageDlg.h"
#include "foundation/gui/WinUtils.h"
#include "rtl/Gettext.h"
#include "rtl/SysUtils.h"

namespace {

bool IsFile(const std::string& name)
{
    struct stat st
    {
    };
    return !name.empty() && ::stat(name.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

QAction* NewAction(QObject* owner, const char* name)
{
    auto* action = new QAction(owner);
    action->setObjectName(QString::fromLatin1(name));
    return action;
}

QPushButton* NewButton(QWidget* owner, const char* name)
{
    auto* button = new QPushButton(owner);
    button->setObjectName(QString::fromLatin1(name));
    return button;
}

} // namespace

// ------------------------------------------------------------------------------------------------
// Controls

void TBackupForm::CreateCommandControls(QWidget* central, QVBoxLayout* layout)
{
    layout->addWidget(paTaskLog);
    auto* row = new QHBoxLayout;
    gbFile = new QGroupBox(central);
    gbFile->setObjectName(QStringLiteral("gbFile"));
    auto* fileLayout = new QHBoxLayout(gbFile);
    NewBtn = NewButton(gbFile, "NewBtn");
    OpenBtn = NewButton(gbFile, "OpenBtn");
    SaveBtn = NewButton(gbFile, "SaveBtn");
    SaveAsBtn = NewButton(gbFile, "SaveAsBtn");
    for (QPushButton* b : {NewBtn, OpenBtn, SaveBtn, SaveAsBtn})
        fileLayout->addWidget(b);
    row->addWidget(gbFile);
    row->addStretch(1);
    auto* toolLayout = new QVBoxLayout;
    auto* toolRow = new QHBoxLayout;
    bbShortcut = NewButton(central, "bbShortcut");
    sbAuto = NewButton(central, "sbAuto");
    sbScheduler = NewButton(central, "sbScheduler");
    ProtBtn = NewButton(central, "ProtBtn");
    for (QPushButton* b : {bbShortcut, sbAuto, sbScheduler, ProtBtn})
        toolRow->addWidget(b);
    toolLayout->addLayout(toolRow);
    auto* runRow = new QHBoxLayout;
    runRow->addStretch(1);
    StartBtn = NewButton(central, "StartBtn");
    QFont bold = StartBtn->font();
    bold.setBold(true);
    StartBtn->setFont(bold);
    bbBack = NewButton(central, "bbBack");
    runRow->addWidget(StartBtn);
    runRow->addWidget(bbBack);
    toolLayout->addLayout(runRow);
    row->addLayout(toolLayout);
    layout->addLayout(row);

    btnFTP = NewButton(tsFtp, "btnFTP");
    tsFtp->layout()->addWidget(btnFTP);

    // The main menu: file commands first, then the recent tasks, saving, runs, logs, shortcuts,
    // schedules and the window; the help stays at the end.
    QAction* recent = itmTasks->menuAction();
    NewTaskItem = NewAction(this, "NewTaskItem");
    TbTaskItem = NewAction(this, "TbTaskItem");
    OpenTaskItem = NewAction(this, "OpenTaskItem");
    OpenDefaultItem = NewAction(this, "OpenDefaultItem");
    SaveTaskItem = NewAction(this, "SaveTaskItem");
    SaveTaskAsItem = NewAction(this, "SaveTaskAsItem");
    ImportItem = NewAction(this, "ImportItem");
    ExportItem = NewAction(this, "ExportItem");
    itmStartBackup = NewAction(this, "itmStartBackup");
    itmSimBackup = NewAction(this, "itmSimBackup");
    for (QAction* a : {NewTaskItem, TbTaskItem, OpenTaskItem, OpenDefaultItem})
        pmMain->insertAction(recent, a);
    QAction* help = itmHelpBackup;
    for (QAction* a : {SaveTaskItem, SaveTaskAsItem, ImportItem, ExportItem})
        pmMain->insertAction(help, a);
    pmMain->insertSeparator(help);
    pmMain->insertAction(help, itmStartBackup);
    pmMain->insertAction(help, itmSimBackup);
    pmMain->insertSeparator(help);
    itmLogs = new QMenu(this);
    itmLogs->setObjectName(QStringLiteral("itmLogs"));
    ProtViewItem = itmLogs->addAction(QString());
    ProtViewItem->setObjectName(QStringLiteral("ProtViewItem"));
    ProtDelItem = itmLogs->addAction(QString());
    ProtDelItem->setObjectName(QStringLiteral("ProtDelItem"));
    ViewLogFileItem = itmLogs->addAction(QString());
    ViewLogFileItem->setObjectName(QStringLiteral("ViewLogFileItem"));
    pmMain->insertMenu(help, itmLogs);
    itmDesktop = new QMenu(this);
    itmDesktop->setObjectName(QStringLiteral("itmDesktop"));
    itmThisTask = itmDesktop->addAction(QString());
    itmThisTask->setObjectName(QStringLiteral("itmThisTask"));
    itmSeveralTasks = itmDesktop->addAction(QString());
    itmSeveralTasks->setObjectName(QStringLiteral("itmSeveralTasks"));
    pmMain->insertMenu(help, itmDesktop);
    itmSchedTasks = new QMenu(this);
    itmSchedTasks->setObjectName(QStringLiteral("itmSchedTasks"));
    itmNewSched = itmSchedTasks->addAction(QString());
    itmNewSched->setObjectName(QStringLiteral("itmNewSched"));
    itmEditSched = itmSchedTasks->addAction(QString());
    itmEditSched->setObjectName(QStringLiteral("itmEditSched"));
    pmMain->insertMenu(help, itmSchedTasks);
    ResetCountItem = NewAction(this, "ResetCountItem");
    itmDefaultSize = NewAction(this, "itmDefaultSize");
    pmMain->insertAction(help, ResetCountItem);
    pmMain->insertAction(help, itmDefaultSize);
    pmMain->insertSeparator(help);
    FileExit = NewAction(this, "FileExit");
    pmMain->addSeparator();
    pmMain->addAction(FileExit);

    // The scheduling layer is not there yet: its commands say so.
    for (QWidget* w : {static_cast<QWidget*>(sbAuto), static_cast<QWidget*>(sbScheduler)})
        w->setEnabled(false);
    itmSchedTasks->setEnabled(false);
    itmNewSched->setEnabled(false);
    itmEditSched->setEnabled(false);
}

void TBackupForm::TranslateCommandTexts()
{
    gbFile->setTitle(TrQ("File processing"));
    NewBtn->setText(TrQ("New"));
    OpenBtn->setText(TrQ("Open"));
    SaveBtn->setText(TrQ("Save"));
    SaveAsBtn->setText(TrQ("Save as"));
    NewBtn->setToolTip(TrQ("New backup task"));
    OpenBtn->setToolTip(TrQ("Open backup task"));
    SaveBtn->setToolTip(TrQ("Save current task"));
    SaveAsBtn->setToolTip(TrQ("Save current task using another name"));
    StartBtn->setText(TrQ("Start"));
    StartBtn->setToolTip(TrQ("Start backup"));
    bbBack->setText(TrQ("Close"));
    bbShortcut->setText(TrQ("Shortcut"));
    bbShortcut->setToolTip(TrQ("Create Desktop shortcut ..."));
    sbAuto->setText(TrQ("Time schedule"));
    sbScheduler->setText(TrQ("Task Scheduler"));
    const QString notAvailable = TrQ("Scheduling is not available in this version.");
    sbAuto->setToolTip(notAvailable);
    sbScheduler->setToolTip(notAvailable);
    ProtBtn->setText(TrQ("Show log"));
    btnFTP->setText(TrQ("FTP connection"));
    NewTaskItem->setText(TrQ("New ..."));
    TbTaskItem->setText(TrQ("New for Thunderbird ..."));
    OpenTaskItem->setText(TrQ("Open ..."));
    OpenDefaultItem->setText(TrQ("Open from task directory ..."));
    SaveTaskItem->setText(TrQ("Save"));
    SaveTaskAsItem->setText(TrQ("Save as ..."));
    ImportItem->setText(TrQ("Import ..."));
    ExportItem->setText(TrQ("Export ..."));
    itmStartBackup->setText(TrQ("Start backup"));
    itmSimBackup->setText(TrQ("Simulate backup ..."));
    // The run cannot hold back its copies yet: a simulation would be a real backup, so it is offered
    // only once the copy loop can do without writing.
    itmSimBackup->setEnabled(false);
    itmLogs->setTitle(TrQ("Logs"));
    ProtViewItem->setText(TrQ("Show ..."));
    ProtDelItem->setText(TrQ("Delete ..."));
    ViewLogFileItem->setText(TrQ("Show other ..."));
    itmDesktop->setTitle(TrQ("Desktop shortcut"));
    itmThisTask->setText(TrQ("for current task ..."));
    itmSeveralTasks->setText(TrQ("for several tasks ..."));
    itmSchedTasks->setTitle(TrQ("Scheduled tasks"));
    itmSchedTasks->setToolTip(notAvailable);
    itmNewSched->setText(TrQ("Add current backup task"));
    itmEditSched->setText(TrQ("Edit scheduled task"));
    ResetCountItem->setText(TrQ("Reset count ..."));
    itmDefaultSize->setText(TrQ("Set default window size"));
    FileExit->setText(TrQ("Close"));
}

void TBackupForm::BindCommands()
{
    auto on = [this](auto* sender, auto signal, void (TBackupForm::*handler)()) {
        connect(sender, signal, this,
                [this, handler] { GuardSlot([this, handler] { (this->*handler)(); }); });
    };
    on(NewBtn, &QPushButton::clicked, &TBackupForm::NewTaskItemClick);
    on(NewTaskItem, &QAction::triggered, &TBackupForm::NewTaskItemClick);
    on(OpenBtn, &QPushButton::clicked, &TBackupForm::OpenTaskItemClick);
    on(OpenTaskItem, &QAction::triggered, &TBackupForm::OpenTaskItemClick);
    on(OpenDefaultItem, &QAction::triggered, &TBackupForm::OpenDefaultItemClick);
    on(SaveBtn, &QPushButton::clicked, &TBackupForm::SaveTaskItemClick);
    on(SaveTaskItem, &QAction::triggered, &TBackupForm::SaveTaskItemClick);
    on(SaveAsBtn, &QPushButton::clicked, &TBackupForm::SaveTaskAsItemClick);
    on(SaveTaskAsItem, &QAction::triggered, &TBackupForm::SaveTaskAsItemClick);
    on(ImportItem, &QAction::triggered, &TBackupForm::ImportItemClick);
    on(ExportItem, &QAction::triggered, &TBackupForm::ExportItemClick);
    on(ResetCountItem, &QAction::triggered, &TBackupForm::ResetCountItemClick);
    on(StartBtn, &QPushButton::clicked, &TBackupForm::StartBtnClick);
    on(itmStartBackup, &QAction::triggered, &TBackupForm::StartBtnClick);
    on(itmSimBackup, &QAction::triggered, &TBackupForm::itmSimBackupClick);
    on(ProtBtn, &QPushButton::clicked, &TBackupForm::ProtViewClick);
    on(ProtViewItem, &QAction::triggered, &TBackupForm::ProtViewClick);
    on(ProtDelItem, &QAction::triggered, &TBackupForm::ProtDelClick);
    on(ViewLogFileItem, &QAction::triggered, &TBackupForm::ViewLogFileItemClick);
    on(btnDir, &QPushButton::clicked, &TBackupForm::btnDirClick);
    on(btFolder, &QPushButton::clicked, &TBackupForm::btFolderClick);
    on(itmSeveralTasks, &QAction::triggered, &TBackupForm::itmSeveralTasksClick);
    connect(TbTaskItem, &QAction::triggered, this, [this] {
        GuardSlot([this] {
            if (FEditor->QuerySaveChanges() == 2)
                return;
            pcMain->setCurrentWidget(tsDirectories);
            std::string name = Task.ActTaskName;
            if (NewTbTask(name) && FEditor->OpenTask(name, false))
                TaskChanged();
        });
    });
    connect(btnFTP, &QPushButton::clicked, this, [this] {
        GuardSlot([this] {
            pcMain->setCurrentWidget(tsDirectories);
            FEditor->SelectDestinationPage(true, true);
            TaskChanged();
        });
    });
    connect(pcDest, &QTabWidget::currentChanged, this, [this](int index) {
        GuardSlot([this, index] {
            if (!Task.UpdateBusy)
                ChangeDestinationKind(pcDest->widget(index) == tsFtp);
        });
    });
    auto shortcut = [this] { GuardSlot([this] { CreateShortcut(Task.ActTaskName); }); };
    connect(bbShortcut, &QPushButton::clicked, this, shortcut);
    connect(itmThisTask, &QAction::triggered, this, shortcut);
    connect(bbBack, &QPushButton::clicked, this, [this] { close(); });
    connect(FileExit, &QAction::triggered, this, [this] { close(); });
    connect(itmDefaultSize, &QAction::triggered, this, [this] {
        GuardSlot([this] {
            SetDefaultSize();
            resize(DefWidth, DefHeight);
        });
    });
}

void TBackupForm::BindTaskMenu()
{
    connect(TaskMenu.get(), &THistoryMenu::AutoItemClickIndex, this, [this](QMenu*, int index) {
        GuardSlot([this, index] {
            if (index >= 0 && index < TaskList.Count())
                LoadFromListClick(TaskList[index]);
        });
    });
}

// ------------------------------------------------------------------------------------------------
// State

void TBackupForm::SetDialogs(std::unique_ptr<TEditorDialogs> dialogs)
{
    FEditor = std::make_unique<TTaskEditor>(Task, TaskList, *dialogs);
    FDialogs = std::move(dialogs);
}

void TBackupForm::TaskChanged()
{
    ShowTask();
    SetEditStatus(Task.EditStatus);
    UpdateDriveIdTexts();
}

void TBackupForm::closeEvent(QCloseEvent* event)
{
    int answer = 0;
    GuardSlot([&] {
        FEditor->Visible = isVisible();
        answer = FEditor->QuerySaveChanges();
    });
    if (answer >= 2) {
        event->ignore();
        TaskChanged();
        return;
    }
    if (TShowTextDialog* viewer = TextViewer(); viewer && viewer->isVisible())
        viewer->close();
    QMainWindow::closeEvent(event);
}

void TBackupForm::ExecModal()
{
    setWindowModality(Qt::ApplicationModal);
    show();
    raise();
    QEventLoop loop;
    const auto stop = connect(this, &QObject::destroyed, &loop, &QEventLoop::quit);
    FModalLoop = true;
    while (isVisible())
        loop.processEvents(QEventLoop::WaitForMoreEvents);
    FModalLoop = false;
    disconnect(stop);
    setWindowModality(Qt::NonModal);
}

// ------------------------------------------------------------------------------------------------
// Entry points

std::string TBackupForm::EditBackupTask(const std::string& ATaskName, int APageIndex)
{
    if (isVisible())
        hide();
    Task.ActTaskName = ATaskName;
    if (!ATaskName.empty()) {
        std::string relName;
        AddTaskToHistory(TaskList, ATaskName, relName);
    }
    ShowPageIndex = APageIndex;
    FEditor->InitTask();
    TaskChanged();
    pcMain->setCurrentIndex(std::clamp(ShowPageIndex, 0, pcMain->count() - 1));
    ShowPageIndex = 0;
    ExecModal();
    return IsFile(Task.ActTaskName) ? Task.ActTaskName : std::string();
}

std::string TBackupForm::NewBackupTask(const std::string& ADir, bool AFtp, const TFtpParams& AFtpPar)
{
    if (NewTaskFromWizard(ADir, AFtp, AFtpPar) == mrCancel)
        return std::string();
    ExecModal();
    return IsFile(Task.ActTaskName) ? Task.ActTaskName : std::string();
}

bool TBackupForm::GetDefaultTask(std::string& ADefaultTask)
{
    std::string dir = ADefaultTask.empty() ? std::string() : GetParentDir(ADefaultTask);
    struct stat st
    {
    };
    if (dir.empty() || ::stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        dir = FEditor->TaskDir();
    const size_t slash = ADefaultTask.rfind(PathDelimiter);
    std::string file = slash == std::string::npos ? ADefaultTask : ADefaultTask.substr(slash + 1);
    if (!FDialogs->ChooseTaskFile(tfOpen, _("Select default backup task"), dir, file))
        return false;
    ADefaultTask = file;
    return true;
}

// ------------------------------------------------------------------------------------------------
// File commands

int TBackupForm::NewTaskFromWizard(const std::string& ADest, bool AFtp, const TFtpParams& AFtpPar)
{
    TBackupTask answers;
    answers.TargetDir = ADest;
    answers.FtpTarget = AFtp;
    answers.FtpSettings = AFtpPar;
    int result = mrNo;
    if (ProgSettings.OtherSettings.UseWizard) {
        if (RunWizard)
            result = RunWizard(answers);
        else
            result = ExecuteBackupWizard(
                answers,
                TWizardServices{
                    [this](std::string& name) { return FEditor->SelectSaveName(name); }, FreeAutoTask, {}},
                this);
    }
    if (result == mrYes) {
        FEditor->ApplyWizardTask(answers);
        BuZiel->setEditText(QStr(Task.BuZiel));
    } else if (result == mrNo) {
        FEditor->NewTask();
    }
    TaskChanged();
    pcMain->setCurrentWidget(tsDirectories);
    return result;
}

void TBackupForm::NewTaskItemClick()
{
    if (FEditor->QuerySaveChanges() < 2)
        NewTaskFromWizard(StdStr(BuZiel->currentText()), Task.BuFtp, Task.FtpPar);
    else
        TaskChanged();
}

void TBackupForm::OpenTaskItemClick()
{
    FEditor->OpenTaskCommand();
    TaskChanged();
    ShowToolPage(tsToolDirs);
    ShowSelectionPage(tsSubDirs);
}

void TBackupForm::OpenDefaultItemClick()
{
    FEditor->OpenTaskWithDialog(FEditor->TaskDir());
    TaskChanged();
    ShowToolPage(tsToolDirs);
    ShowSelectionPage(tsSubDirs);
}

void TBackupForm::LoadFromListClick(const std::string& FileName)
{
    FEditor->LoadFromList(FileName);
    if (TaskMenu)
        TaskMenu->Rebuild();
    TaskChanged();
    ShowToolPage(tsToolDirs);
    ShowSelectionPage(tsSubDirs);
}

void TBackupForm::SaveTaskItemClick()
{
    FEditor->SaveTaskCommand();
    TaskChanged();
    ShowToolPage(tsToolDirs);
}

void TBackupForm::SaveTaskAsItemClick()
{
    FEditor->SaveTaskAs(true);
    TaskChanged();
    ShowToolPage(tsToolDirs);
}

void TBackupForm::ImportItemClick()
{
    FEditor->ImportCommand();
    TaskChanged();
}

void TBackupForm::ExportItemClick()
{
    FEditor->ExportCommand();
    TaskChanged();
}

void TBackupForm::ResetCountItemClick()
{
    FEditor->ResetCount();
}

void TBackupForm::ChangeDestinationKind(bool ftp)
{
    FEditor->SelectDestinationPage(ftp, false);
    TaskChanged();
    pcMain->setCurrentWidget(tsDirectories);
}

void TBackupForm::btnDirClick()
{
    pcMain->setCurrentWidget(tsDirectories);
    std::string start = GetExistingDir(Task.BuZiel, GetPersonalFolder());
    std::string folder;
    if (!FDialogs->ChooseFolder(_("Select destination directory"), start, folder))
        return;
    Task.BuZiel = folder;
    Task.BuFtp = false;
    if (BuZiel->findText(QStr(folder)) < 0)
        BuZiel->insertItem(0, QStr(folder));
    Task.TargetType = GetFileSystem(folder);
    SetEditStatus(esChanged);
    TaskChanged();
}

void TBackupForm::btFolderClick()
{
    pcMain->setCurrentWidget(tsDirectories);
    const std::string start = GetExistingDir(StdStr(edFolder->text()), GetPersonalFolder());
    std::string folder;
    if (!FDialogs->ChooseFolder(_("Select directory to be backed up"), start, folder) || folder.empty())
        return;
    while (folder.size() > 1 && folder.back() == PathDelimiter)
        folder.pop_back();
    if (FindOverlappingFolder(Task, folder, true, -1) >= 0) {
        FDialogs->ShowError(
            SafeFormat(_("The directory \"%s\" overlaps with a directory of the task!"), {folder}));
        return;
    }
    const std::string problem = CheckMethodForSources(Task, folder, "", -1);
    if (!problem.empty()) {
        FDialogs->ShowError(problem);
        return;
    }
    auto entry = std::make_unique<TExtensionList>(Task.NewPeriod, sdmNormal);
    entry->VPath = folder;
    entry->SPath = folder;
    entry->IsAvailable = true;
    entry->DoUpdate = true;
    Task.Folders.Add(std::move(entry));
    edFolder->setText(QStr(folder));
    SetEditStatus(esChanged);
    TaskChanged();
    SelectedDirBox->setCurrentRow(Task.Folders.Count() - 1);
}

void TBackupForm::itmSeveralTasksClick()
{
    const std::vector<std::string> files = FDialogs->ChooseTaskFiles(
        _("Select one or more backup tasks for desktop shortcut"), FEditor->TaskDir());
    if (files.empty())
        return;
    std::string names, descs;
    for (const auto& f : files) {
        names += (names.empty() ? "\"" : " \"") + f + "\"";
        descs += (descs.empty() ? "" : ", ") + TaskDisplayName(f);
    }
    CreateMultiShortcut("Qv-Bu-" + TaskDisplayName(files.front()), _("Backup: ") + descs, names);
}

bool TBackupForm::NewTbTask(std::string& TaskName)
{
    std::string profile;
    if (!FDialogs->ChooseFolder(_("Select Thunderbird profile folder to be backed up"), MailProfileRoot(),
                                profile) ||
        profile.empty())
        return false;
    std::string path = Task.BuZiel;
    const size_t ph = path.find('%');
    if (ph != std::string::npos)
        path = GetParentDir(path.substr(0, ph));
    std::string label;
    const int resolved = ResolveVolumeName(path, label, true);
    const std::string start =
        path.empty() || resolved == 2 ? GetPersonalFolder() : GetExistingDir(path, GetPersonalFolder());
    std::string dest;
    if (!FDialogs->ChooseFolder(_("Select destination directory"), start, dest) || dest.empty())
        return false;
    std::string file = TaskName;
    if (!FEditor->SelectSaveName(file))
        return false;
    const std::string failure = WriteProfileTaskFile(file, profile, dest, Task.DriveId, ProgVersion);
    if (!failure.empty())
        FDialogs->ShowError(failure);
    TaskName = file;
    return true;
}

// ------------------------------------------------------------------------------------------------
// Runs

IRunHost& TBackupForm::Host()
{
    if (RunHost)
        return *RunHost;
    if (!FOwnHost) {
        auto host = std::make_unique<TRecordingHost>();
        host->SettingsFolder = AddPathDelimiter(SettingsDir);
        host->LogFolder = AddPathDelimiter(GetLogDir());
        host->TempFolder = AddPathDelimiter(GetProgTempDir());
        host->TaskFolder = FEditor->TaskDir();
        host->DefaultLog = DefaultLogFile.empty() ? host->LogFolder + "Vastrel.log" : DefaultLogFile;
        FOwnHost = std::move(host);
    }
    return *FOwnHost;
}

TBuResult TBackupForm::StartDirectBackup(const std::string& ATaskName)
{
    if (!ATaskName.empty()) {
        if (!FEditor->OpenTask(ATaskName, true))
            return brError;
        TaskChanged();
    }
    if (!FEditor->CheckTaskBeforeSave(_("Do you really want to execute this task?"))) {
        TaskChanged();
        return brError;
    }
    if (Task.ActTaskName.empty()) {
        const TEditorAnswer answer = FDialogs->AskYesNoCancel(_("Save new backup task?"));
        if (answer == eaCancel)
            return brError;
        if (answer == eaYes)
            FEditor->SaveTaskAs(false);
        TaskChanged();
    }
    if (!ProgressWindow && !FOwnProgress)
        FOwnProgress = std::make_unique<TZeigFortschritt>();
    TZeigFortschritt& window = ProgressWindow ? *ProgressWindow : *FOwnProgress;
    const TEditorRunResult run = RunEditorTask(Task, Task.ActTaskName, DoBackup, Host(), window);
    ActMode = run.LogMode;
    if (TShowTextDialog* viewer = TextViewer(); viewer && viewer->isVisible())
        viewer->ReloadText();
    TaskChanged();
    return run.Result;
}

void TBackupForm::StartBtnClick()
{
    DoBackup = true;
    StartDirectBackup("");
}

void TBackupForm::itmSimBackupClick()
{
    // Disabled (see its creation): never start a real backup in the name of a simulation.
}

// ------------------------------------------------------------------------------------------------
// Task log viewer

bool TBackupForm::ShowProt(const std::string& LogName, bool AllowEdit)
{
    const std::string name = LogName.empty() ? Host().DefaultLogFile() : LogName;
    if (!IsFile(name))
        return false;
    if (TShowTextDialog* viewer = TextViewer(); viewer && viewer->isVisible())
        viewer->close();
    TShowDlgButtons buttons = ShowDlgButton(sbOpen) | ShowDlgButton(sbPrint) | ShowDlgButton(sbSearch) |
                              ShowDlgButton(sbSection) | ShowDlgButton(sbError) | ShowDlgButton(sbFont) |
                              ShowDlgButton(sbCodepage);
    if (AllowEdit)
        buttons |= ShowDlgButton(sbErase);
    ShowTextFile(MakeCaption(_("Show log file"), ""), name, _("Previous section"), _("Next section"),
                 ProgInternalName + " -", _("Previous error"), _("Next error"), "  *** ",
                 SafeFormat(_("Log files|*.%s|all|*.*"), {std::string("log")}), DefaultFormPos, 0,
                 isVisible() ? stShow : stModal, buttons, ProgSettings.PrinterSettings, 0);
    return true;
}

void TBackupForm::ProtView(bool CheckMode, bool AllowEdit)
{
    std::string name = Task.LastLogFile;
    if (!IsFile(name)) {
        const int choice = FDialogs->AskChoice(
            _("Show log"), _("Log file not found: ") + "\r\n" + name + "\r\n" + _("Show other log file?"),
            {_("Select"), _("Default")});
        if (choice == 0) {
            if (!FDialogs->ChooseLogFile(_("Load log"), AddPathDelimiter(GetLogDir()), name))
                return;
        } else if (choice == 1) {
            name = Host().DefaultLogFile();
        } else {
            return;
        }
    }
    if ((!CheckMode || ActMode != 0) && ShowProt(name, AllowEdit))
        return;
    FDialogs->ShowInfo(_("No log available!"));
}

void TBackupForm::ProtViewClick()
{
    if ((Task.TaskProtMode & 3) == 0 &&
        FDialogs->AskYesNo(_("Logging is disabled for opened task!\r\nChange settings?"))) {
        Task.TaskProtMode = (Task.TaskProtMode & ~3) | 1;
        SetEditStatus(esChanged);
        UpdateTaskControls();
    }
    ProtView(false, true);
}

void TBackupForm::ProtDelClick()
{
    const std::string defaultLog = Host().DefaultLogFile();
    const std::string name = IsFile(Task.LastLogFile) ? Task.LastLogFile : defaultLog;
    if (!IsFile(name)) {
        FDialogs->ShowError(_("No log available!"));
        return;
    }
    if (!FDialogs->AskYesNo(SafeFormat(_("Delete log file \"%s\"?"), {name})))
        return;
    ::unlink(name.c_str());
    Task.LastLogFile = IsFile(defaultLog) ? defaultLog : std::string();
}

void TBackupForm::ViewLogFileItemClick()
{
    std::string file;
    if (FDialogs->ChooseLogFile(_("Load log"), AddPathDelimiter(GetLogDir()), file))
        ShowProt(file, true);
}
