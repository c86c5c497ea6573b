#include "mainwindow/BuMain.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <unistd.h>

#include "backup/TaskFile.h"
#include "foundation/IniFileUtils.h"
#include "foundation/InitProg.h"
#include "foundation/PathUtils.h"
#include "foundation/QvUtilsFolders.h"
#include "foundation/QvUtilsTexts.h"
#include "foundation/StringUtils.h"
#include "foundation/WinApiUtils.h"
#include "foundation/XlFileUtils.h"
#include "mainwindow/BuMainAutoTasks.h"
#include "mainwindow/BuMainRunTasks.h"
#include "mainwindow/SettingsDlg.h"
#include "rtl/Gettext.h"
#include "rtl/SysUtils.h"

namespace {
TRestoreTaskRunner& RestoreTaskRunner()
{
    static TRestoreTaskRunner runner;
    return runner;
}
} // namespace

void SetRestoreTaskRunner(TRestoreTaskRunner runner)
{
    RestoreTaskRunner() = std::move(runner);
}

namespace {

std::string ExpandProgPath(const std::string& text, const std::string& programDir)
{
    std::string result = text;
    const std::string key = "%progpath%";
    for (size_t pos; (pos = result.find(key)) != std::string::npos;) {
        std::string dir = programDir;
        if (!dir.empty() && dir.back() == '/')
            dir.pop_back();
        result.replace(pos, key.size(), dir);
    }
    return result;
}

bool FolderUsable(const std::string& dir)
{
    return !dir.empty() && GetUsableDir(dir, std::string()) == dir;
}

// A name for a line of its own: control characters (a newline in a file name) as "\xNN".
std::string EscapeControls(std::string_view text)
{
    std::string out;
    for (char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7F) {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02X", b);
            out += hex;
        } else {
            out += c;
        }
    }
    return out;
}

} // namespace

std::vector<std::string> SplitTaskList(const std::string& tasks)
{
    std::vector<std::string> items;
    std::string rest = tasks;
    while (!utf8::Trim(rest).empty()) {
        std::string item = ReadNextQuotedItem(rest, ',', '"');
        if (!item.empty())
            items.push_back(item);
    }
    return items;
}

TBuMainForm::TBuMainForm(TProgramFolders folders, IInteraction& interaction, IPowerActions& power,
                         IProgressSink* progress)
    : FFolders(std::move(folders)), FInteraction(interaction), FPower(power),
      FProgress(progress ? *progress : FHeadlessProgress)
{
    DefTaskDir = AddPathDelimiter(FFolders.DocumentsDir) + "Vastrel/";
    SetDefaultSettings(ProgSettings, DefTaskDir);
    ErrorState = 0;
}

TBuMainForm::~TBuMainForm() = default;

std::string TBuMainForm::DefaultLogFile() const
{
    std::string name = ChangeExtension(SettingsFile.substr(SettingsFile.rfind('/') + 1), "log");
    return LogDir() + name;
}

void TBuMainForm::SetExitCode(int exitCode, int taskNr)
{
    ErrorState = exitCode;
    FailedTask = taskNr;
    FJobExitCode = exitCode;
}

void TBuMainForm::IncErrorCount()
{
    ++ErrorCountValue;
    ErrorCountChanged = true;
}

TAutoTask* TBuMainForm::Slot(int nr)
{
    return nr >= 1 && nr <= static_cast<int>(AutoTasks.size()) ? AutoTasks[nr - 1].get() : nullptr;
}

void TBuMainForm::SaveAutoTaskState(int index)
{
    if (!SettingsProtected.empty())
        return;
    try {
        auto ini = TUnicodeIniFile::CreateForWrite(SettingsFile, false);
        AutoTasks[index]->SaveScheduleToIni(ini, "AutoTask" + std::to_string(index), FJobExitCode,
                                            FEngine->BuStatus == bsOK);
        ini.UpdateFile();
    } catch (const Exception& e) {
        FInteraction.ErrorBox(e.Message(), 0);
    }
}

void TBuMainForm::ChooseSettingsFile()
{
    FSettingsDir = AddPathDelimiter(FFolders.AppDataDir) + "Vastrel6/";
    FIniLoc = ilNormal;
    const std::string defaultName = "Vastrel.ini";
    if (Cmd.IniName.empty()) {
        if (XlForceDirectories(FSettingsDir))
            SettingsFile = FSettingsDir + defaultName;
        else
            SettingsFile = AddPathDelimiter(FFolders.AppDataDir) + defaultName;
    } else {
        std::string name = ExpandProgPath(Cmd.IniName, FFolders.ProgramDir);
        if (IsAbsolutePath(name)) {
            if (name.back() == '/')
                name += defaultName;
            else
                name = ForceExtension(name, "ini", 0);
        } else if (name.find('/') != std::string::npos) {
            char cwd[4096];
            std::string base = getcwd(cwd, sizeof cwd) ? AddPathDelimiter(cwd) : std::string();
            name = ExpandRelativePath(base, ForceExtension(name, "ini", 0));
        } else {
            name = FSettingsDir + ForceExtension(name, "ini", 0);
        }
        FIniLoc = ilCommand;
        SettingsFile = name;
        if (!XlFileExists(name) && !XlForceDirectories(GetParentDir(name)))
            SettingsFile = FSettingsDir + defaultName;
    }
}

bool TBuMainForm::LoadFromIni(const std::string& name)
{
    bool exists = XlFileExists(name);
    CheckSettingsFile(name);
    auto ini = TUnicodeIniFile::CreateForRead(name);
    const char* c = "Config";
    auto& s = ProgSettings;
    ErrorCountValue = ini.ReadInteger(c, "ErrorCount", 0);
    std::string jobDir = ini.ReadString(c, "JobDir", "");
    s.ViewSettings.SizeProgress = ini.ReadBool(c, "SizeProgress", false);
    s.ViewSettings.AutoWaitTime = ini.ReadInteger(c, "WaitTime", s.ViewSettings.AutoWaitTime);
    s.LogSettings.LogMode = ini.ReadInteger(c, "Protocol", s.LogSettings.LogMode);
    s.LogSettings.LogSize = ini.ReadInteger(c, "ProtocolSize", s.LogSettings.LogSize);
    s.LogSettings.DecimalSizes = ini.ReadBool(c, "DecimalSizes", false);
    s.LogSettings.MailLogPrefix = ini.ReadString(c, "MailLogPrefix", s.LogSettings.MailLogPrefix);
    std::string protDir = ini.ReadString(c, "ProtDir", "");
    std::string tempDir = ini.ReadString(c, "TempDir", "");
    s.OtherSettings.DefDriveId = ini.ReadString(c, "DriveId", s.OtherSettings.DefDriveId);
    s.OtherSettings.MaxWaitTime = ini.ReadInteger(c, "MaxWaitTime", 2);
    s.OtherSettings.MinPwdLength = ini.ReadInteger(c, "MinPwdLength", 6);

    // Task folder: the command line's, else JobDir, else the default one.
    std::string taskDir = !Cmd.DirName.empty()
                              ? AddPathDelimiter(ExpandProgPath(Cmd.DirName, FFolders.ProgramDir))
                          : jobDir.empty() ? std::string()
                                           : AddPathDelimiter(jobDir);
    if (taskDir == DefTaskDir)
        taskDir.clear();
    if (taskDir.empty() || !XlForceDirectories(taskDir)) {
        taskDir = DefTaskDir;
        XlForceDirectories(taskDir);
    }
    TaskFolder = taskDir;
    ActiveTaskDir = TaskFolder;

    // Log folder: the command line's (relative to the task folder), else ProtDir.
    LogFolder.clear();
    std::string cmdLog = ExpandProgPath(Cmd.LDir, FFolders.ProgramDir);
    if (cmdLog.empty() && FIniLoc == ilCommand &&
        GetCommonRoot(GetParentDir(SettingsFile), FSettingsDir).empty())
        cmdLog = GetParentDir(SettingsFile);
    if (!cmdLog.empty()) {
        std::string dir = IsAbsolutePath(cmdLog) ? cmdLog : ExpandRelativePath(TaskFolder, cmdLog);
        if (FolderUsable(dir))
            LogFolder = AddPathDelimiter(dir);
    }
    if (LogFolder.empty() && !protDir.empty()) {
        if (FolderUsable(protDir))
            LogFolder = AddPathDelimiter(protDir);
    }
    // Temporary folder.
    std::string cmdTemp = ExpandProgPath(Cmd.TDir, FFolders.ProgramDir);
    std::string temp = !cmdTemp.empty() ? cmdTemp : tempDir;
    TempFolder = FolderUsable(temp) ? AddPathDelimiter(temp) : GetProgTempDir();
    s.Directories.IniLoc = FIniLoc;
    s.OtherSettings.DefaultTask = ini.ReadString(c, "DefaultTask", "");

    // The program-wide values the foundation's routines read.
    ::SettingsDir = FSettingsDir;
    ::DefaultLogFile = DefaultLogFile();
    s.Directories.LogDir = LogFolder;
    ActiveTempDir = TempFolder;
    ::ErrorCount = ErrorCountValue;

    // Automatic-task slots: [AutoTask0] … [AutoTask15]; a task file that moved with the task folder
    // is looked for there.
    AutoTasks.clear();
    const int taskCount = ini.ReadInteger(c, "TaskCount", 0);
    for (int n = 0; n < std::min(taskCount, AutoTaskSlotCount); ++n) {
        const std::string section = "AutoTask" + std::to_string(n);
        std::string taskName = ini.ReadString(section, "Name", "");
        if (!taskName.empty() && !XlFileExists(taskName)) {
            for (const std::string& dir : {TaskFolder, DefTaskDir}) {
                std::string other = dir + GetLastDirName(taskName);
                if (XlFileExists(other)) {
                    taskName = other;
                    break;
                }
            }
        }
        auto slot = std::make_unique<TAutoTask>(taskName);
        slot->LoadFromIni(ini, section);
        AutoTasks.push_back(std::move(slot));
    }
    while (AutoTasks.size() < AutoTaskSlotCount)
        AutoTasks.push_back(std::make_unique<TAutoTask>(std::string()));
    LoadWindowSettings(ini);
    return exists;
}

bool TBuMainForm::SaveErrorCount()
{
    if (!ErrorCountChanged || !SettingsProtected.empty())
        return true;
    try {
        auto ini = TUnicodeIniFile::CreateForWrite(SettingsFile, false);
        ini.WriteProgramInfo("Program", "Vastrel");
        ini.WriteProgramInfo("Version", ProgVersion.empty() ? std::string("0.0.0.0") : ProgVersion);
        ini.WriteInteger("Config", "ErrorCount", ErrorCountValue);
        ini.UpdateFile();
        ErrorCountChanged = false;
        return true;
    } catch (const Exception& e) {
        FInteraction.ErrorBox(e.Message(), 0);
        return false;
    }
}

std::string TBuMainForm::GetTaskFileName(const std::string& name) const
{
    if (name.empty())
        return name;
    std::string path = ExpandProgPath(name, FFolders.ProgramDir);
    if (!IsAbsolutePath(path))
        path = TaskFolder + path;
    return ForceExtension(path, "buj", 0);
}

bool TBuMainForm::ErrorAllowsAction() const
{
    if (ErrorState == 5 || Cmd.NoActionOnError == 0)
        return true;
    static const int bitOfState[] = {-1, 0, 1, 2, 4, -1, 3};
    if (ErrorState < 1 || ErrorState > 6)
        return true;
    int bit = bitOfState[ErrorState];
    return bit < 0 || (Cmd.NoActionOnError & (1u << bit)) == 0;
}

void TBuMainForm::DoAfterBackupAction(TBuResult result)
{
    Cmd.LogOffMode = dmNone;
    Cmd.SuspendMode = smNone;
    if (ErrorAllowsAction() && result != brOK && Cmd.AllowAction) {
        switch (result) {
        case brShutdown:
            Cmd.LogOffMode = FIdleOffChosen ? dmIdleOff : dmShutdown;
            break;
        case brLogOff:
            Cmd.LogOffMode = dmLogOff;
            break;
        case brStandby:
            Cmd.SuspendMode = smStandby;
            break;
        case brHibernate:
            Cmd.SuspendMode = smHibernate;
            break;
        default:
            break;
        }
    }
    if (Cmd.SuspendMode != smNone)
        SuspendSystem();
    else
        FDownTaskFlag = Cmd.LogOffMode != dmNone;
}

int TBuMainForm::GetAfterAction() const
{
    if (!Cmd.AllowAction)
        return 0;
    if (FDownTaskFlag)
        return Cmd.LogOffMode == dmLogOff ? 2 : 1;
    return Cmd.SuspendMode == smStandby ? 3 : Cmd.SuspendMode == smHibernate ? 4 : 0;
}

void TBuMainForm::ShutdownSystem()
{
    std::string failure = FPower.EndSession(Cmd.LogOffMode);
    if (failure.empty())
        return;
    if (IsErrorPromptMode(Cmd.InterActiveMode))
        FInteraction.ErrorBox(SafeFormat(_("Error on shutting down or logging off!\r\n%s"), {failure}), 0);
    ReportRunEvent(0xC0000012, {failure});
}

void TBuMainForm::SuspendSystem()
{
    std::string failure = FPower.Suspend(Cmd.SuspendMode == smHibernate);
    if (failure.empty())
        return;
    if (IsErrorPromptMode(Cmd.InterActiveMode))
        FInteraction.ErrorBox(SafeFormat(_("Error on suspending system!\r\n%s"), {failure}), 0);
    ReportRunEvent(0xC0000013, {failure});
}

void TBuMainForm::ReportTaskFailure(const std::string& path, const std::string& reason) const
{
    std::fprintf(stderr, "Vastrel: %s\n",
                 SafeFormat(_("task \"%s\" failed: %s"), {EscapeControls(path), reason}).c_str());
    std::fflush(stderr);
}

void TBuMainForm::RefuseTask(int nr, TInteraction interAct, const std::string& path,
                             const std::string& problem)
{
    SetExitCode(6, nr);
    const uint32_t code = FLog->OpenLogFile(1, std::string(), false);
    FLog->CheckLogError(code, interAct == iaPrompt || interAct == iaErrorPrompt);
    FLog->InitLog(_("Data backup"));
    std::string desc;
    if (nr > 0) {
        TAutoTask* slot = Slot(nr);
        desc = SafeFormat(_("Automatic backup %u: "), {nr}) + (slot ? slot->TaskName : std::string());
    } else {
        desc = _("Backup task") + ": " + MakeRelativePath(TaskDir(), path);
    }
    FLog->BeginLog(Now(), desc);
    FLog->WriteToLog("  *** " + _("Invalid task configuration") + ": " + path + ": " + problem);
    FLog->CloseLogFile(true);
    ReportTaskFailure(path, _("Invalid task configuration") + ": " + problem);
}

TBuResult TBuMainForm::RunTaskJob(int nr, TInteraction interAct, int priority, const std::string& path)
{
    const std::string problem = TaskFileProblem(path);
    if (!problem.empty()) {
        RefuseTask(nr, interAct, path, problem);
        return brError;
    }
    FJobExitCode = 0;
    TBuResult result;
    do
        result = FEngine->DoBackupJob(nr, interAct, priority, path);
    while (result == brRepeat);
    if (FJobExitCode != 0) {
        std::string reason = GetErrorStateText(FJobExitCode);
        if (FJobExitCode == 6 && FEngine->DestinationText().empty())
            reason += " " + _("The task has no destination.");
        else if (FJobExitCode == 6 && FEngine->Task.Folders.Empty())
            reason += " " + _("The task has no source folders.");
        ReportTaskFailure(path, reason);
    }
    return result;
}

TBuResult TBuMainForm::RunSlot(int index, int step, TInteraction interAct, TDateTime today,
                               const std::function<void()>& afterSuccess)
{
    TAutoTask& slot = *AutoTasks[index];
    const std::string problem = TaskFileProblem(slot.TaskPath);
    if (!problem.empty()) {
        RefuseTask(index + 1, interAct, slot.TaskPath, problem);
        SaveAutoTaskState(index);
        return brError;
    }
    auto run = [&](TInteraction mode) { return RunTaskJob(index + 1, mode, slot.ThPr, slot.TaskPath); };
    if (step > 0) {
        RunCatchUpFullBackup(slot, interAct, today, run);
        step = ApplyCycleStep(slot, step);
    }
    TBuResult result = run(interAct);
    if (result != brError) {
        if (afterSuccess)
            afterSuccess();
        AdvanceCycle(slot, step);
    }
    SaveAutoTaskState(index);
    return result;
}

TBuResult TBuMainForm::RunBackupTasks(const std::string& tasks, int mode, TInteraction interAct, int priority)
{
    std::string list = tasks;
    if (!FEngine->ReplSourceDir.empty() && list.empty()) {
        if (XlFileExists(ProgSettings.OtherSettings.DefaultTask))
            list = ProgSettings.OtherSettings.DefaultTask;
        else
            FInteraction.Confirm(
                _("Until now, no default task for one-click backup was specified!\r\nSelect a task?"));
    }
    SetExitCode(0, 0);
    if (mode == 0)
        return CheckAutoTasks(Date(), Now());
    if (mode == 2)
        return RunSessionEndSlots(Date(), Now());
    if (mode != 1 || list.empty())
        return brOK;
    const TDateTime today = Date();
    if (list[0] == '#') {
        // Automatic-task slots: "#n" one slot, "#0" the by-request slots of today, "#" every active one.
        int n = -1;
        std::string digits = list.substr(1, 2);
        if (!digits.empty() && digits.find_first_not_of("0123456789") == std::string::npos)
            n = std::stoi(digits);
        if (n >= 1) {
            if (n > AutoTaskSlotCount || AutoTasks[n - 1]->TaskPath.empty())
                return brOK;
            TAutoTask& slot = *AutoTasks[n - 1];
            if (interAct == iaNone)
                interAct = slot.AutoEnd;
            return RunSlot(n - 1, GetCycleStep(slot, asLogon, today), interAct, today);
        }
        TBuResult result = brOK;
        for (int i = 0; i < AutoTaskSlotCount; ++i) {
            TAutoTask& slot = *AutoTasks[i];
            if (slot.TaskPath.empty())
                continue;
            bool selected = (n < 0 && slot.BuProcess != asNone) ||
                            (slot.BuProcess == asByRequest && slot.WeekdayInSchedule(today));
            if (!selected)
                continue;
            if (interAct == iaNone)
                interAct = slot.AutoEnd;
            if (RunSlot(i, GetCycleStep(slot, asLogon, today), interAct, today) == brError)
                result = brError;
            if (FEngine->BuStatus == bsCancelAll)
                break;
        }
        return result;
    }
    TBuResult result = brOK;
    for (const auto& item : SplitTaskList(list)) {
        std::string path = GetTaskFileName(item);
        if (interAct == iaNone)
            interAct = iaDelay;
        const TBuResult r = RunTaskJob(Cmd.AllowAction ? -1 : 0, interAct, priority, path);
        if (FEngine->BuStatus != bsOK)
            return result;
        if (result == brOK)
            result = r;
    }
    return result;
}

void TBuMainForm::RunParallel(const std::string& tasks)
{
    if (FRunTasks && FRunTasks->Done())
        FRunTasks.reset();
    if (!FRunTasks) {
        std::string logDir = ExpandProgPath(Cmd.LDir, FFolders.ProgramDir);
        FRunTasks = std::make_unique<TRunTasks>(BuildParallelArgv(FFolders.ProgramDir + "Vastrel",
                                                                  SettingsFile, Cmd.BuThPr,
                                                                  Cmd.InterActiveMode, StartOrigin, logDir));
        FRunTasks->OnError = [this](const std::string& text) { FInteraction.ErrorBox(text, 0); };
    }
    FRunTasks->SetPaused(true);
    for (const auto& item : SplitTaskList(tasks)) {
        std::string path = GetTaskFileName(item);
        if (XlFileExists(path))
            FRunTasks->AddTask(path);
    }
    FRunTasks->SetPaused(false);
    while (!FRunTasks->Done())
        FRunTasks->WaitFor(100);
}

int TBuMainForm::Run(const std::vector<std::string>& argv)
{
    InitProgram(argv);
    RunBatch();
    return FinishProgram();
}

void TBuMainForm::InitProgram(const std::vector<std::string>& argv)
{
    auto report = [this](const std::string& text) { FInteraction.ErrorBox(text, 0); };
    std::string args;
    StartFlags = GetStartFlags(argv, FFolders.ProgramDir, FReportFlag, report, args);
    if (FReportFlag)
        ParseCmdLine(Cmd, argv, FFolders.ProgramDir, FReportFlag, report);
    StartOrigin = Cmd.StartOrigin;
    EventSourceOk = EventSourceExists("Vastrel");
    CurrentUser = GetCurrentUserName();
    LogonTime = GetUserLogonTime();
    ChooseSettingsFile();
    LoadFromIni(SettingsFile);
    SetExitCode(0, 0);
    if (Cmd.Wt >= 0)
        ProgSettings.ViewSettings.AutoWaitTime = Cmd.Wt;
    FDownTaskFlag = Cmd.LogOffMode != dmNone;

    FLog = std::make_unique<TTaskLog>(*this, FInteraction);
    FLog->CmdProtMode = Cmd.Pm;
    FEngine = std::make_unique<TBackupEngine>(*this, FInteraction, FProgress, FControl, *FLog);
    FCopyLoop = std::make_unique<TCopyLoop>(FEngine->Task, *FLog, FControl, FProgress, FInteraction);
    AttachCopyLoop(*FEngine, *FCopyLoop);
    FEngine->CmdZip = Cmd.AltZip;
    if (utf8::SameText(ExtractExtension(FEngine->CmdZip), "zip"))
        FEngine->CmdZip = DeleteExtension(FEngine->CmdZip);
    FEngine->CmdTmPeriod = Cmd.Tp;
    FEngine->BuDir = Cmd.SubDir;
    FEngine->ReplSourceDir = Cmd.SDir;
    if (Cmd.BuM > 0)
        FEngine->SpecMode = Cmd.BuM;
}

bool TBuMainForm::IsBatchStart() const
{
    return Cmd.ProtTask || Cmd.CleanTask || Cmd.VerifyTask || Cmd.RestTask || Cmd.ForceTask || FDownTaskFlag;
}

void TBuMainForm::RunBatch()
{
    if (Cmd.RestTask && RestoreTaskRunner() && !Cmd.CmdTasks.empty()) {
        const TInteraction mode = Cmd.InterActiveMode == iaNone ? iaDelay : Cmd.InterActiveMode;
        for (const auto& item : SplitTaskList(Cmd.CmdTasks)) {
            RestoreTaskRunner()(BuildFileName(TaskDir(), item, "rsj"), ProgSettings.ViewSettings.AutoWaitTime,
                                0, mode, *this, FInteraction, FProgress, FControl, *FLog);
            if (FControl.CancelAll())
                break;
        }
    } else if ((Cmd.CleanTask || Cmd.VerifyTask) && RunToolTask) {
        const char kind = Cmd.VerifyTask ? 'V' : 'C';
        if (Cmd.InterActiveMode == iaNone)
            Cmd.InterActiveMode = iaDelay;
        for (const auto& item : SplitTaskList(Cmd.CmdTasks)) {
            std::string path = ExpandProgPath(item, FFolders.ProgramDir);
            if (!IsAbsolutePath(path))
                path = TaskFolder + path;
            RunToolTask(kind, ForceExtension(path, kind == 'V' ? "vfj" : "cuj", 0), Cmd.InterActiveMode,
                        *FLog, FProgress, FControl);
        }
    } else if (Cmd.ProtTask || Cmd.CleanTask || Cmd.VerifyTask || Cmd.RestTask) {
        FInteraction.ErrorBox(_("Showing logs and running verify, restore and cleanup tasks need the program "
                                "window, which this build does not have."),
                              0);
    } else if (Cmd.ForceTask || FDownTaskFlag) {
        // Backup batch.
        FIdleOffChosen = Cmd.LogOffMode == dmIdleOff;
        if (Cmd.CmdTasks.empty() && Cmd.SDir.empty())
            Cmd.CmdTasks = "#";
        if (Cmd.LockDown) {
            std::string failure = FPower.LockSession();
            if (!failure.empty())
                ReportRunEvent(0xC0000012, {failure});
        }
        for (int i = 0; i < Cmd.StartDelay; ++i)
            std::this_thread::sleep_for(std::chrono::seconds(1));
        if (Cmd.InterActiveMode == iaNone)
            Cmd.InterActiveMode = iaDelay;
        const bool parallel =
            Cmd.BuParallel && SplitTaskList(Cmd.CmdTasks).size() >= 2 && Cmd.CmdTasks[0] != '#';
        if (parallel) {
            // One child process per task; this process only waits for them.
            RunParallel(Cmd.CmdTasks);
            if (Cmd.SuspendMode != smNone)
                SuspendSystem();
            else
                FDownTaskFlag = Cmd.LogOffMode != dmNone;
        } else {
            if (!Cmd.CmdTasks.empty() && Cmd.CmdTasks[0] == '#')
                Cmd.AllowAction = false;
            else if (Cmd.AllowAction && (Cmd.LogOffMode == dmRestart || Cmd.LogOffMode == dmHybrid))
                Cmd.AllowAction = false;
            FEngine->BuAction = GetAfterAction();
            TBuResult code = RunBackupTasks(Cmd.CmdTasks, 1, Cmd.InterActiveMode, Cmd.BuThPr);
            if (Cmd.AllowAction)
                DoAfterBackupAction(code);
        }
    } else {
        FInteraction.ErrorBox(_("The program window is not available in this build. Run a backup task with "
                                "/force and the task file."),
                              0);
    }
}

int TBuMainForm::FinishProgram()
{
    // Program end: save what must not be lost, then carry out the end action.
    SaveErrorCount();
    int exitCode = ErrorState;
    if (FDownTaskFlag) {
        if (Cmd.LogOffMode == dmIdleOff) {
            if (FPower.UserSessionCount() == 0)
                ShutdownSystem();
        } else {
            ShutdownSystem();
        }
    }
    return exitCode;
}
