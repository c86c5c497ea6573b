#include "backup/BackupRun.h"

#include <algorithm>
#include <unistd.h>

#include "archive/AesLib.h"
#include "backup/BuFtpDlg.h"
#include "backup/EngineCodes.h"
#include "backup/EngineFileOps.h"
#include "backup/EntryTexts.h"
#include "backup/FolderDestination.h"
#include "backup/TimestampFile.h"
#include "backup/ZipRun.h"
#include "foundation/ExtSysUtils.h"
#include "foundation/IniFileUtils.h"
#include "foundation/InitProg.h"
#include "foundation/PathUtils.h"
#include "foundation/PlaceHolders.h"
#include "foundation/QvUtilsAutoTask.h"
#include "foundation/QvUtilsDest.h"
#include "foundation/QvUtilsFolders.h"
#include "foundation/QvUtilsNames.h"
#include "foundation/QvUtilsTaskFiles.h"
#include "foundation/QvUtilsTexts.h"
#include "foundation/StringUtils.h"
#include "foundation/WinApiUtils.h"
#include "foundation/WinDevUtils.h"
#include "foundation/WinNet.h"
#include "foundation/XlFileUtils.h"
#include "platform/ErrorCodes.h"
#include "platform/FileLock.h"
#include "rtl/DateTime.h"
#include "rtl/Gettext.h"
#include "rtl/SysUtils.h"

namespace {

const char* const CrLf = "\r\n";
// The user chose "Skip" in the volume prompt of a source folder.
constexpr uint32_t SkippedVolume = 1246;

std::string Blanks(size_t n)
{
    return std::string(n, ' ');
}

// Width in characters of a text as the log shows it (code points).
size_t TextWidth(const std::string& text)
{
    return static_cast<size_t>(utf8::Length(text));
}

std::string StartOriginLine(int origin)
{
    switch (origin) {
    case 1:
        return _("Started by Windows Task Scheduler");
    case 2:
        return _("Started by Orvane");
    case 3:
        return _("Started by QvStarter");
    case 4:
        return _("Started by QvPlaner");
    case 5:
        return _("Started by QvMon");
    default:
        return std::string();
    }
}

// The schedule of an automatic-task slot as the log header shows it.
std::string ScheduleLogText(const TAutoTask& slot)
{
    std::string time = FormatDateTime(TimeDisplayFormat, slot.NextTime);
    switch (slot.BuProcess) {
    case asLogon:
        return _("Always on logon");
    case asDaily:
        return _("Once per day on logon");
    case asDailyAt:
        return SafeFormat(_("At %s on %s"), {time, WeekdaysToStr(slot.WeekDay)});
    case asLogoff:
        return SafeFormat(_("On logoff not before %s"), {time});
    case asWeekly:
        return _("On first logon on ") + WeekdaysToStr(slot.WeekDay);
    case asWeekDay:
        return _("On first logoff on ") + WeekdaysToStr(slot.WeekDay);
    case asByRequest:
        return _("By request");
    default:
        return _("Deactivated");
    }
}

// The text of an external command for the log: hidden when the task stores its commands encoded.
std::string ExternalCommandText(const TTaskSettings& task, const std::string& command)
{
    return task.CmdEnc == 1 ? _("Hidden command line") : command;
}

std::string ElapsedText(TDateTime start, TDateTime end)
{
    int64_t secs = static_cast<int64_t>(SecondsBetween(start, end));
    int64_t hours = secs / 3600;
    return SafeFormat("%.2d:%.2d:%.2d", {hours, (secs / 60) % 60, secs % 60});
}

} // namespace

TFileSystem TRunEnvironment::FileSystemOf(const std::string& path) const
{
    return path.empty() ? fsNotAvail : GetFileSystem(path);
}

TOptionFacts TRunEnvironment::OptionFacts(const TTaskSettings& task) const
{
    TOptionFacts facts;
    facts.DirCount = task.Folders.Count();
    if (!task.Folders.Empty())
        facts.SourceType = GetFileSystem(task.Folders[0].SPath);
    facts.IsAdmin = IsAdministrator();
    return facts;
}

// ---- engine

std::string BackupModeText(int index)
{
    static const char* const texts[] = {N_("Update"), N_("Full (new)"), N_("Differential"),
                                        N_("Incremental")};
    return index >= 0 && index <= 3 ? _(texts[index]) : std::string();
}

std::string ModePlaceholderText(int index)
{
    static const char* const names[] = {"Updt", "Full", "Diff", "Incr"};
    return names[index & 3];
}

int AlternatingModeIndex(const TSchedule& s)
{
    if (s.StepMode <= 0 || s.SchedMode == smNormal)
        return -1;
    int k = s.AktZyk;
    if (s.NumZyk > 0 && s.NumZyk % 7 == 0)
        k = s.AktZyk - s.FullZyk;
    if (k == 1)
        return 1;
    if ((s.SchedMode == smDiff2 || s.SchedMode == smIncr2) && s.NumZyk >= 6 && k == s.NumZyk / 2 + 1)
        return 1;
    return s.SchedMode == smDiff || s.SchedMode == smDiff2 ? 2 : 3;
}

TBackupEngine::TBackupEngine(IRunHost& host, IInteraction& interaction, IProgressSink& progress,
                             TRunControl& control, TTaskLog& log)
    : FHost(host), FInteraction(interaction), FProgress(progress), FControl(control), FLog(log),
      FMail(std::make_unique<TMailReport>(log, interaction))
{
}

TBackupEngine::~TBackupEngine() = default;

TEngineFileOps TBackupEngine::MakeOps()
{
    TEngineFileOps ops(FLog, FControl);
    ops.Guard = Guard;
    return ops;
}

std::string TBackupEngine::DestinationText() const
{
    return Task.BuFtp ? GetFtpUrl(Task.FtpPar) : Task.BuZiel;
}

std::string TBackupEngine::FirstSourceLabel() const
{
    return Task.Folders.Empty() ? std::string() : FEnvironment.VolumeLabelOf(Task.Folders[0].SPath);
}

std::string TBackupEngine::MakeZipName(const std::string& zs) const
{
    std::string name = zs.empty() ? "QV-Zip-" + FormatDateTime("yyyy-mm-dd", Now())
                                  : ExpandNamePlaceholders(zs, FirstSourceLabel(), Task.BackupCount);
    if (!utf8::SameText(ExtractExtension(name), "zip"))
        name += ".zip";
    return name;
}

std::string TBackupEngine::GetLogDestination() const
{
    return Task.BuFtp ? std::string()
                      : ExpandNamePlaceholders(Task.BuZiel, FirstSourceLabel(), Task.BackupCount);
}

void TBackupEngine::WriteFolderHeader(int n, const std::string& src, const std::string& volLabel)
{
    FLog.SetLogTime(false);
    if (FLog.CurrentLogMode() == lmVerbose)
        FLog.WriteToLog();
    std::string line = "  " + OrdinalText(n < 0 ? -n : n) + _("Directory") + ": ";
    if (n < 0) {
        FLog.WriteToLog(lmLong, line + SafeFormat(_("Not selected: \"%s\""), {src}));
        return;
    }
    FLog.WriteToLog(line);
    std::string source = _("Source: ");
    if (volLabel.empty())
        source += src;
    else
        source += ":" + volLabel + ":" + AddPathDelimiter("") + RemoveDrive(src) + " (" + src + ")";
    FLog.WriteToLog("    " + source);
}

void TBackupEngine::WriteDestLine(const std::string& text)
{
    FLog.WriteToLog("    " + _("Dest.: ") + text);
    FLog.SetLogTime(true);
}

int TBackupEngine::ShowRunResult(TResultStatus mode, const std::string& hint, const std::string& status1,
                                 const std::string& status2, int32_t color, int wait, int64_t bytes,
                                 int64_t files)
{
    std::string amount;
    if (files > 0 && !FControl.Stopped())
        amount =
            ProgSettings.ViewSettings.SizeProgress ? FormatSize(true, bytes) : FileCountText(files, false);
    FProgress.SetTotalAmount(amount);
    return FProgress.ShowStatus(mode, hint, status1, status2, color, wait);
}

std::vector<std::string> TBackupEngine::SettingsBlock() const
{
    std::vector<std::string> items;
    auto add = [&items](bool ticked, const char* caption) {
        if (ticked)
            items.push_back(_(caption));
    };
    if (!IsZipMethod(Task.DestMode)) {
        add(Task.cbCompress, N_("Compress files"));
        add(Task.cbZipCompress, N_("as zip"));
        add(Task.cbAltStreams, N_("Copy alternate data streams"));
        add(Task.cbCopySummary, N_("Copy document summary"));
        add(Task.cbCopyPerms, N_("Copy file permissions"));
        add(Task.cbCreationTime, N_("Copy creation time"));
    }
    add(Task.cbNoAttributes, N_("Do not copy file attributes"));
    add(Task.cbEncrypt && !Task.CryptPwd.empty(), N_("Encrypt files"));
    add(Task.cbEncNames, N_("Encrypt filenames"));
    add(Task.cbVerify, N_("Verify copied files"));
    add(Task.cbDelDir, N_("Delete empty directories at destination"));
    add(Task.cbSourceDelete, N_("Delete source files after backup"));
    return items;
}

std::vector<std::string> TBackupEngine::OptionsBlock() const
{
    static const char* const syncItems[] = {N_("Off"), N_("All files"), N_("Selected files, retain other"),
                                            N_("Selected files, delete other")};
    std::vector<std::string> items;
    if (Task.SyncMode > 0 && Task.SyncMode <= 3)
        items.push_back(_("Synchronize") + " - " + _(syncItems[Task.SyncMode]));
    if (Task.KeepBakCB || Task.KeepSyncCB) {
        std::string secure = _("Security backup of old file versions") + ": ";
        if (Task.KeepBakCB)
            secure += _("During backup");
        if (Task.KeepBakCB && Task.KeepSyncCB)
            secure += _(" and ");
        if (Task.KeepSyncCB)
            secure += _("During synchronization");
        items.push_back(secure);
    }
    if (Task.MailMode != mmNone)
        items.push_back(_("Send mail after backup"));
    const bool pre = IsProgActive(Task.BuPreCmd), post = IsProgActive(Task.BuPostCmd);
    if (pre || post) {
        const std::string lead = _("External programs: ");
        const std::string before =
            SafeFormat(_("before Backup (%s)"), {ExternalCommandText(Task, Task.BuPreCmd.Command)});
        const std::string after =
            SafeFormat(_("after Backup (%s)"), {ExternalCommandText(Task, Task.BuPostCmd.Command)});
        if (pre && post) {
            items.push_back(lead + before);
            items.push_back(Blanks(TextWidth(lead)) + after);
        } else {
            items.push_back(lead + (pre ? before : after));
        }
    }
    return items;
}

void TBackupEngine::WriteHeaderBlock(const std::string& title, const std::vector<std::string>& items)
{
    const std::string lead = "  " + title;
    for (size_t i = 0; i < items.size(); ++i)
        FLog.WriteToLog(lmLong, (i == 0 ? lead : Blanks(TextWidth(lead))) + items[i]);
}

TBuResult TBackupEngine::RunBackupTask(int nr, const std::string& taskPath, TInteraction iaMode)
{
    TRunState rs;
    rs.Nr = nr;
    rs.TaskPath = taskPath;
    rs.IaMode = iaMode;
    // 1. Start.
    if (!StartRun(rs))
        return brError;
    TakeLockFile(rs);
    try {
        // 2. Encryption password.
        if (AskEncryptionPassword(rs)) {
            // 3. Interaction, mode and title; 4. log header of the task.
            ChooseInteraction(iaMode, rs);
            BeginRunLog(rs);
            // 5. Time slot from the command line; 6. progress view and destination name; 7. external
            // program before the backup.
            bool stop = !CheckCommandTimeSlot();
            if (!stop)
                ShowRunStart(rs);
            if (!stop)
                stop = !RunProgramBefore(rs);
            if (stop)
                EndStoppedRun(rs);
            else
                BackupAndClose(rs);
        }
    } catch (const EInOutError& e) {
        ShowRunResult(psError, _("Backup completed"), _("Unexpected error during backup"), " ", clRed, 0, 0,
                      0);
        FLog.WriteToLog("  *** " + _("Unexpected error during backup") + " (" +
                        SystemErrorMessage(static_cast<uint32_t>(e.ErrorCode)) + ")");
        FHost.SetExitCode(4, nr);
        rs.Result = brError;
    }
    // 15. End.
    CloseFtpDestination();
    CloseLastConnection();
    Encryption.reset();
    if (rs.LockCreated)
        DeleteLockFile();
    FHost.EndKeepAwake();
    return rs.Result;
}

bool TBackupEngine::StartRun(TRunState& rs)
{
    SaveFolderCounters(Task);
    FLog.InitLog(_("Data backup"));
    FHost.KeepAwake(!Task.DisplayOff);
    rs.Slot = rs.Nr > 0 ? FHost.Slot(rs.Nr) : nullptr;
    if (rs.Nr > 0)
        rs.Desc =
            SafeFormat(_("Automatic backup %u: "), {rs.Nr}) + (rs.Slot ? rs.Slot->TaskName : std::string());
    else if (!rs.TaskPath.empty())
        rs.Desc = _("Backup task") + ": " + MakeRelativePath(FHost.TaskDir(), rs.TaskPath);
    else
        rs.Desc = _("New backup task");
    StartTime = Now();
    BuStatus = bsOK;
    FDestinationShare = false;
    StopFolderLoop = false;
    FControl.Reset();
    if (DestinationText().empty() || Task.Folders.Empty()) {
        FLog.BeginLog(StartTime, rs.Desc);
        FLog.WriteToLog("  *** " + _("Invalid task configuration") + ": " + rs.TaskPath);
        FHost.SetExitCode(6, rs.Nr);
        FHost.EndKeepAwake();
        return false;
    }
    return true;
}

void TBackupEngine::TakeLockFile(TRunState& rs)
{
    // The lock file tells other runs and the companion programs that this task runs. One left behind
    // by a run that ended abnormally is removed; one that a live run holds stays, and this run goes on.
    rs.LockCreated = CreateLockFile(FHost.SettingsDir(), rs.TaskPath);
    if (rs.LockCreated)
        return;
    const std::string lockName = FHost.SettingsDir() + LockFileName;
    TDateTime since = 0;
    std::string otherTask;
    // Reading never removes a lock that a live run holds.
    if (IsFileLockHeld(lockName)) {
        ReadLockFile(FHost.SettingsDir(), otherTask, since);
        rs.OtherRun = SafeFormat(_("Another backup is running (%s); its lock file \"%s\" stays in place"),
                                 {otherTask, lockName});
    } else {
        ReadLockFile(FHost.SettingsDir(), otherTask, since);
        rs.LockCreated = CreateLockFile(FHost.SettingsDir(), rs.TaskPath);
    }
}

bool TBackupEngine::AskEncryptionPassword(TRunState& rs)
{
    bool leave = false;
    std::string actPwd;
    if (Task.cbEncrypt) {
        if (Task.cbFixPwd)
            actPwd = Task.CryptPwd;
        if (actPwd.empty()) {
            std::string pwd;
            bool ok = FInteraction.AskPassword(_("File encryption"),
                                               rs.Desc + CrLf + _("uses file encryption!"), pwd);
            if (ok && pwd.empty())
                ok = FInteraction.Confirm(
                    _("No encryption password specified!\r\nContinue backup without encryption?"));
            if (!ok) {
                FLog.WriteToLog("  *** " + _("Canceled by user"));
                leave = true;
            }
            actPwd = pwd;
        }
    }
    ActPwd = actPwd;
    if (!ActPwd.empty() && !IsZipMethod(Task.DestMode))
        Encryption =
            std::make_unique<TEncryption>(ActPwd, GetKeyMode(Task.CryptKeyMode, ActPwd), Task.TaskBufferSize);
    return !leave;
}

void TBackupEngine::ChooseInteraction(TInteraction iaMode, TRunState& rs)
{
    switch (iaMode) {
    case iaPrompt:
        rs.Prompts = rs.MediaPrompts = true;
        break;
    case iaDelay:
        rs.WaitCode = ProgSettings.ViewSettings.AutoWaitTime;
        break;
    case iaQuiet:
        rs.WaitCode = -1;
        break;
    case iaErrorPrompt:
        rs.WaitCode = ProgSettings.ViewSettings.AutoWaitTime + 4096;
        rs.Prompts = rs.MediaPrompts = true;
        break;
    case iaQuietError:
        rs.WaitCode = -2;
        rs.MediaPrompts = true;
        break;
    default:
        break;
    }
    rs.SyncRun = Task.SyncMode > 0 && IsFolderMethod(Task, Task.Folders.Count());
    rs.ModeIndex = Task.BuModeCB;
    std::string marker;
    const int alternating = rs.Slot ? AlternatingModeIndex(rs.Slot->SchedProps) : -1;
    auto markerOf = [](int index) {
        return index == 1 ? " (F)" : index == 2 ? " (D)" : index == 3 ? " (I)" : "";
    };
    if (rs.Nr > 0 && alternating > 0) {
        rs.ModeIndex = alternating;
        marker = markerOf(rs.ModeIndex);
    } else if (rs.Nr > 0) {
        marker = rs.SyncRun ? " (S)" : markerOf(rs.ModeIndex);
    } else if (SpecMode > 0) {
        marker = SpecMode == 2 ? " (D)" : SpecMode == 3 ? " (I)" : " (F)";
        rs.ModeIndex = SpecMode & 3;
    } else if (rs.SyncRun) {
        marker = " (S)";
    }
    rs.ModeText =
        rs.ModeIndex == 1 && alternating > 0 ? BackupModeText(Task.BuModeCB) : BackupModeText(rs.ModeIndex);
    if (!ActPwd.empty())
        marker += (marker.empty() ? " " : "+") + _("(Encrypted)");
    rs.Title = rs.Desc + marker;
    rs.AlternatingRun = rs.Nr > 0 && rs.Slot && rs.Slot->SchedProps.StepMode > 0;
}

void TBackupEngine::BeginRunLog(const TRunState& rs)
{
    FLog.BeginLog(StartTime, rs.Title);
    FMail->InitMail(Task.MailMode, StartTime, _("Data backup"), rs.Title);
    if (!rs.OtherRun.empty())
        FLog.WriteToLog("  *** " + rs.OtherRun);
    if (rs.Nr > 0) {
        FLog.WriteToLog(lmLong, "      " + _("Filename:") + " " + Task.LoadedTaskName);
        if (rs.Slot)
            FLog.WriteToLog(lmLong, "      " + _("Time schedule") + ": " + ScheduleLogText(*rs.Slot));
    } else {
        FLog.WriteToLog(lmVerbose, "  " + _("Filename:") + " " + rs.TaskPath);
        std::string origin = StartOriginLine(StartOrigin);
        if (!origin.empty())
            FLog.WriteToLog("  ->  " + origin);
    }
    FLog.WriteToLog(lmLong, "  " + _("Computer: ") + GetLocalComputerName());
    FLog.WriteToLog(lmShort, "  " + _("Method: ") + GetDestModeText(Task.DestMode, Task.MaxZipSize));
    WriteHeaderBlock(_("Settings: "), SettingsBlock());
    WriteHeaderBlock(_("Options:  "), OptionsBlock());
}

bool TBackupEngine::CheckCommandTimeSlot()
{
    if (CmdTmPeriod.Mode == tmPrompt) {
        FLog.WriteToLog("  *** " + _("Canceled by user"));
        return false;
    }
    if (CmdTmPeriod.Mode == tmError) {
        FLog.WriteToLog("  *** " + _("Invalid time slot from command line!"));
        return false;
    }
    return true;
}

void TBackupEngine::ShowRunStart(const TRunState& rs)
{
    TProgressOptions options = ProgressOption(poBackup);
    if (rs.Nr < 0)
        options |= ProgressOption(poAction);
    if (rs.Nr > 0)
        options |= ProgressOption(poAutoTask);
    std::string taskText = rs.Title;
    if (StartOrigin >= 1 && StartOrigin <= 4)
        taskText += std::string(" - ") + StartOriginCodes[StartOrigin];
    FProgress.ShowProgress(taskText, _("Destination"), std::string(), options, BuAction, rs.WaitCode,
                           Task.ClearDest || (rs.SyncRun && Task.SyncBefore));
    FControl.Checkpoint();
    BaseDest = ReplaceTextIgnoreCase(DestinationText(), "%mode%", ModePlaceholderText(rs.ModeIndex));
    BaseDest = ExpandNamePlaceholders(BaseDest, FirstSourceLabel(), Task.BackupCount);
}

TProgramRunner TBackupEngine::MakeProgramRunner() const
{
    TProgramRunner runner(FLog, FInteraction);
    runner.TaskPath = ActTaskName;
    runner.TaskDir = FHost.TaskDir();
    runner.Dest = Task.BuFtp ? BaseDest : ExpandPathPlaceholders(BaseDest);
    runner.ZipName = Task.DestMode >= 4 ? ZipName : std::string();
    runner.HideCommand = Task.CmdEnc == 1;
    return runner;
}

bool TBackupEngine::RunProgramBefore(TRunState& rs)
{
    if (!IsProgActive(Task.BuPreCmd))
        return true;
    FControl.SetLockStatus(2);
    FProgress.SetPrompt(_("External program before backup"));
    const TProgResult r = MakeProgramRunner().Run(Task.BuPreCmd, rs.IaMode, -1);
    FControl.SetLockStatus(0);
    if (r.Status != 1)
        rs.ProgFailed = true;
    // A program that could not be run, or one whose exit code says so, cancels the backup; a program
    // that is not there does not.
    return r.Status != 2 && r.Status != 3;
}

void TBackupEngine::EndStoppedRun(const TRunState& rs)
{
    FProgress.Close();
    if (FLog.CurrentLogMode() == lmVerbose)
        FLog.WriteToLog();
    FLog.WriteToLog("  ==> " + _("End") + ": " + DateTimeToStr(Now()) + " - " + rs.Title);
    FHost.SetExitCode(4, rs.Nr);
    EndTime = Now();
    FMail->AddToMail(Task.MailMode, "  *** " + _("Backup was canceled!"));
    SendRunMail(rs, _("Canceled by user"), true);
}

void TBackupEngine::SendRunMail(const TRunState& rs, const std::string& status, bool error)
{
    FMail->LogDir = FHost.LogDir();
    FMail->WriteProtocol = ProgSettings.OtherSettings.SMTPLog;
    FMail->TempDir = ActiveTempDir;
    FMail->SendMail(Task.MailMode, Task.MailData, StartTime, EndTime, rs.TaskPath, _("Backup on "),
                    std::string(), status, error, rs.IaMode);
}

void TBackupEngine::BackupAndClose(TRunState& rs)
{
    // 8. Shadow copy; 9. totals.
    TakeSnapshots(rs);
    SumUpTotals();
    // 10. Destination; 11. source folders.
    bool destinationOk = PrepareDestination(rs);
    if (destinationOk)
        destinationOk = PrepareBaseFolder(rs.Nr, rs.Slot, rs.Failure);
    if (destinationOk) {
        WriteBackupModeLines(rs);
        BackupSourceFolders(rs);
    }
    // 12. After the loop.
    FLog.WriteErrorSummary();
    if (FLog.CurrentLogMode() == lmVerbose)
        FLog.WriteToLog();
    if (destinationOk && FinishRun)
        FinishRun(rs.Total, rs.Failure);
    // The time-stamp file of the destination, or the removal of a per-run folder that received nothing.
    if (destinationOk && !Task.BuFtp)
        FinishLocalDestination(rs.AlternatingRun, rs.LastSub, rs.Total);
    if (destinationOk && Task.BuFtp)
        FinishFtpDestination(rs.AlternatingRun, rs.Total);
    rs.Total.ErrorCount += Guard->TakeRefusals();
    // 13. Closing; 14. after-run actions.
    const int state = CloseRunLog(rs);
    RunProgramAfter(rs, state);
    FHost.EndKeepAwake();
    int resultCode = ReportRunResult(rs);
    DisconnectDestinationShare();
    if (rs.ProgFailed)
        rs.StatusText += " (" + _("External program failed") + ")";
    WriteRunStatus(rs);
    const bool error = BuStatus != bsOK || !rs.Failure.empty() ||
                       rs.Total.ErrorCount + rs.Total.WarnCount > 0 || rs.Total.SyncFailed ||
                       FHost.ExitState() != 0;
    SendRunMail(rs, rs.StatusText, error);
    AfterRunActions(rs, resultCode);
}

void TBackupEngine::TakeSnapshots(TRunState&)
{
    // No snapshot provider is available on this system.
    if (!Task.cbUseVss)
        return;
    std::string drive = ExtractDrivePart(Task.Folders[0].SPath);
    FLog.WriteToLog("  ### " + SafeFormat(_("Creating a Volume Shadow Copy for drive %s"), {drive}));
    FLog.WriteToLog("  *** " + SafeFormat(_("Creating of Volume Shadow Copy for drive %s failed!"), {drive}));
}

void TBackupEngine::SumUpTotals()
{
    const bool sizes = ProgSettings.ViewSettings.SizeProgress;
    TotalSize = 0;
    for (const auto& f : Task.Folders)
        if (f->Selected)
            TotalSize += sizes ? std::max<int64_t>(f->IBytes, 0) : std::max<int32_t>(f->ICount, 0);
    FProgress.SetTotalAmount(sizes ? FormatSize(true, TotalSize) : FileCountText(TotalSize, false));
}

bool TBackupEngine::PrepareDestination(TRunState& rs)
{
    if (Task.BuFtp)
        return ConnectFtpDestination(rs);
    FControl.SetLockStatus(1);
    bool promptStop = false;
    const bool ok = PrepareLocalDestination(rs.MediaPrompts, rs.WaitCode, promptStop, rs.Failure);
    FControl.SetLockStatus(0);
    if (!ok)
        FHost.SetExitCode(2, rs.Nr);
    return ok;
}

void TBackupEngine::WriteBackupModeLines(const TRunState& rs)
{
    FProgress.SetDestination(BaseDir + CycleText);
    std::string modeLine = "  " + _("Backup mode") + ": ";
    if (!IsZipMethod(Task.DestMode))
        modeLine += rs.ModeText + _(" to ") + "\"" + BaseDir + "\"";
    else
        modeLine += _("Create new zip archives");
    FLog.WriteToLog(lmShort, modeLine);
    // The last clearing of the destination, so that it is cleared at most once a day.
    LastTimestamp = !Task.ClearDest ? 0
                    : Task.BuFtp    ? ReadFtpDestinationTimestamp()
                                    : ReadTimestampFile(BaseDir);
    DeletedCount = 0;
    if (FLog.CurrentLogMode() != lmVerbose || Task.ClearDest ||
        !(rs.ModeIndex == 0 || IsZipMethod(Task.DestMode)))
        return;
    std::string detail;
    if (Task.UseArchivCB) {
        detail = _("Archive bit:") + " " + _("Use archive bit");
        if (Task.ResArchivCB)
            detail += " + " + _("Reset archive bit");
        if (Task.cbArchFile)
            detail += " (" + _("Only files with archive bit set") + ")";
    } else if (!IsZipMethod(Task.DestMode)) {
        detail = _("Compare timestamps");
        if (Task.ResArchivCB)
            detail += " (" + _("Archive bit:") + " " + _("Reset archive bit") + ")";
    }
    if (!detail.empty())
        FLog.WriteToLog(lmVerbose, Blanks(TextWidth(_("Backup mode")) + 4) + detail);
}

void TBackupEngine::BackupSourceFolders(TRunState& rs)
{
    TSourceFolders& folders = Task.Folders;
    // The guard knows every source folder that can be found now, so that no step of the run (clearing
    // the destination above all) touches one.
    Guard->Clear();
    for (const auto& f : folders)
        if (f->Selected && IsAbsolutePath(f->SPath) && f->SPath[0] == '/')
            Guard->AddSource(f->SPath);
    for (int i = 0; i < folders.Count(); ++i) {
        if (FControl.Stopped())
            continue;
        TExtensionList& entry = folders[i];
        const int n = i + 1;
        if (!entry.Selected) {
            WriteFolderHeader(-n, entry.SPath, std::string());
            continue;
        }
        if (!BackupSourceFolder(rs, i))
            break;
    }
}

bool TBackupEngine::BackupSourceFolder(TRunState& rs, int i)
{
    TExtensionList& entry = Task.Folders[i];
    TFolderCounters& total = rs.Total;
    const int n = i + 1;
    FControl.SetLockStatus(1);
    TSourceLocation location;
    uint32_t outcome = CheckVolume(entry, location, rs.MediaPrompts);
    FControl.SetLockStatus(0);
    // A cancelled volume prompt ends the loop; "Skip" skips the folder.
    if (outcome == WinError::ERROR_CANCELLED)
        return false;
    const std::string& src = location.Src;
    if (outcome == 0) {
        uint32_t code = 0;
        if (!XlCheckDirAccess(src, code))
            outcome = code == 0 ? WinError::ERROR_PATH_NOT_FOUND : code;
    }
    entry.IsAvailable = outcome == 0;
    WriteFolderHeader(n, entry.SPath, Task.NoVolCheck ? std::string() : entry.VName);
    FLog.WriteToLog(lmLong, "    " + SafeFormat(_("Filter: %s"), {EntrySelectionText(entry, false)}));
    if (outcome != 0) {
        std::string message = SafeFormat(DirErrorFormat(outcome), {entry.SPath});
        FHost.SetExitCode(3, rs.Nr);
        FLog.WriteErrorToLog("B", message, outcome);
        ++total.ErrorCount;
        return true;
    }
    CurDir = FolderDestination(location);
    Guard->AddSource(src);
    // A destination that is the source folder or holds it would overwrite or delete what it reads: the
    // folder is refused before anything is copied. The archive of a run is written into its base
    // folder, beside what it holds.
    const bool runArchive = WritesRunArchive(Task.DestMode);
    const std::string conflict =
        Task.BuFtp ? std::string()
                   : SourceDestinationConflict(src, runArchive ? BaseDir : CurDir, runArchive);
    if (!conflict.empty()) {
        FLog.WriteErrorToLog("B", conflict + ": \"" + src + "\"", _("Invalid task configuration"),
                             std::string());
        FHost.SetExitCode(6, rs.Nr);
        ++total.ErrorCount;
        return true;
    }
    // The folder's destination: warnings, clearing, the source folder's attributes and times as they
    // are before the copy, and the destination folder itself.
    TFolderDestination folderDest(Task, FLog, FControl, BaseDir);
    folderDest.Guard = Guard;
    // The destination's folders on a server are made by the copy loop; nothing local is touched.
    const bool local = !Task.BuFtp;
    const bool folderMethod = !runArchive;
    const TFileSystem sourceType = GetFileSystem(src);
    if (folderMethod && local)
        folderDest.WarnSourceFileSystem(sourceType);
    if (local)
        ClearFolderDestination(i, location, CurDir, total);
    const TSourceFolderInfo sourceInfo = ReadSourceFolderInfo(location);
    rs.LastSub = CurDir;
    // The zip methods 4 and 5 name their archive as the destination, once their hook around the copy
    // loop has opened it.
    if (folderMethod)
        WriteDestLine(CurDir);
    if (FControl.Stopped())
        return false;
    if (folderMethod && local) {
        TEngineFileOps ops = MakeOps();
        ops.SetMaxWaitTime(ProgSettings.OtherSettings.MaxWaitTime);
        ops.CreateDirectoryLogged(CurDir, "B", !location.Rel.empty());
    }
    // Synchronisation of the folder's destination, before or after its copy.
    const bool syncFolder = rs.SyncRun && !Task.ClearDest;
    if (syncFolder && Task.SyncBefore)
        SynchronizeSourceFolder(entry, src, rs);
    if (syncFolder)
        FLog.WriteToLog("  ->  " + _("Data backup"));
    CopySourceFolder(entry, src, rs);
    if (BuStatus == bsOK && syncFolder && !Task.SyncBefore && !FControl.Stopped())
        SynchronizeSourceFolder(entry, src, rs);
    if (StopFolderLoop)
        return false;
    if (local)
        folderDest.Finish(location, CurDir, sourceInfo, sourceType);
    if (BuStatus != bsOK)
        return false;
    if (Task.KeepBakCB && local)
        folderDest.DeleteOldSecurityFolders(folderDest.PlaceFolder(CurDir));
    total.ErrorCount += Guard->TakeRefusals();
    return true;
}

void TBackupEngine::SynchronizeSourceFolder(TExtensionList& entry, const std::string& src, TRunState& rs)
{
    if (SynchronizeFolder) {
        SynchronizeFolder(entry, src, CurDir, rs.Prompts, rs.Total);
        return;
    }
    FLog.WriteErrorToLog(lmShort, "S", _("Synchronize") + " - " + CurDir,
                         _("Synchronization is not available in this build"), std::string());
    ++rs.Total.ErrorCount;
    rs.Total.SyncFailed = true;
}

void TBackupEngine::CopySourceFolder(TExtensionList& entry, const std::string& src, TRunState& rs)
{
    TFolderCounters& total = rs.Total;
    TFolderCounters before = total;
    if (BackupDirectory)
        BackupDirectory(entry, src, CurDir, rs.Prompts, total);
    total.ErrorCount += Guard->TakeRefusals();
    if (FControl.Stopped() && BuStatus == bsOK)
        BuStatus = FControl.CancelAll() ? bsCancelAll : bsCanceled;
    if (BuStatus == bsOK || BuStatus == bsFull) {
        entry.ICount = static_cast<int32_t>(total.FileCount - before.FileCount);
        entry.IBytes = total.TotalBytes - before.TotalBytes;
    }
    int64_t copied = total.CopyCount - before.CopyCount;
    std::string status = "    => " + _("Status: ") +
                         FormatCount(_("No files copied"), _("1 file copied"), _("%u files copied"), copied);
    if (Task.cbVerify)
        status += _(" and verified");
    int64_t errors = total.ErrorCount - before.ErrorCount;
    if (errors > 0)
        status += " (" + FormatCount("", _("1 error"), _("%u errors"), errors) + ")";
    FLog.WriteToLog(status);
    FMail->AddToMail(Task.MailMode, "  " + _("Source: ") + src);
    FMail->AddToMail(Task.MailMode, status);
}

int TBackupEngine::CloseRunLog(TRunState& rs)
{
    EndTime = Now();
    int state = 0;
    if (BuStatus != bsOK) {
        state = 5;
    } else {
        state = FHost.ExitState();
        if ((state == 0 && !rs.Failure.empty()) || rs.Total.WarnCount + rs.Total.ErrorCount > 0)
            state = 4;
    }
    FLog.WriteToLog("  ==> " + _("End") + ": " + DateTimeToStr(EndTime) + " - " + rs.Title);
    return state;
}

void TBackupEngine::RunProgramAfter(TRunState& rs, int state)
{
    if (!IsProgActive(Task.BuPostCmd))
        return;
    const int level = Task.BuPostCmd.ErrorLevel;
    const bool skip = (state == 0 && (level & epNotIfIdle) != 0 && rs.Total.CopyCount == 0) ||
                      ((state == 2 || state == 5) && (level & epNotIfCanceled) != 0) ||
                      (state != 0 && state != 2 && state != 5 && (level & epNotIfErrors) != 0);
    if (skip) {
        FLog.WriteToLog("  ### " + _("External program after backup") + " " + _("was skipped") + " (" +
                        std::to_string(state) + ")");
        return;
    }
    FControl.SetLockStatus(2);
    const TProgResult r = MakeProgramRunner().Run(Task.BuPostCmd, rs.IaMode, state);
    FControl.SetLockStatus(0);
    // Its outcome never changes the run's result.
    if (r.Status != 1)
        rs.ProgFailed = true;
}

int TBackupEngine::ReportRunResult(TRunState& rs)
{
    const TFolderCounters& total = rs.Total;
    const int nr = rs.Nr;
    int resultCode = ActionToResultCode(BuAction);
    rs.CopyText = CopyProgressText(static_cast<int>(total.CopyCount), static_cast<int>(total.FileCount),
                                   total.CopiedBytes, total.TotalBytes);
    const std::string& copyText = rs.CopyText;
    rs.DeletedText =
        FormatCount(_("No files deleted"), _("1 file deleted"), _("%u files deleted"), total.DeletedCount);
    const std::string status2 =
        total.SyncFailed ? _("Warning: There were errors during synchronization!") : std::string();
    std::string& statusText = rs.StatusText;
    if (BuStatus != bsOK) {
        FProgress.Close();
        statusText = BuStatus == bsFull     ? _("Canceled because of full destination volume")
                     : BuStatus == bsBroken ? _("FTP connection lost!")
                                            : _("Canceled by user");
        FHost.SetExitCode(5, nr);
        if (rs.WaitCode != -1)
            resultCode = ShowRunResult(psCancel, _("Backup completed"), statusText + " - " + copyText, " ",
                                       clRed, rs.WaitCode, total.TotalBytes, total.FileCount);
        else
            ReportRunEvent(0xC0000011, {statusText});
    } else if (rs.Failure.empty() && total.WarnCount + total.ErrorCount == 0) {
        std::string status1 = copyText;
        if (rs.SyncRun && total.DeletedCount > 0)
            status1 += " (" + rs.DeletedText + ")";
        resultCode = ShowRunResult(psOK, _("Backup completed"), status1, status2, 0x503000, rs.WaitCode,
                                   total.TotalBytes, total.FileCount);
        statusText = _("OK");
        rs.Result = brOK;
    } else if (rs.Failure.empty()) {
        if (total.ErrorCount > 0) {
            statusText = FormatCount("", _("1 error"), _("%u errors"), total.ErrorCount);
            if (total.FailedBytes > 0)
                statusText += " (" + FormatSize(true, total.FailedBytes) + ")";
        } else {
            statusText = FormatCount("", _("1 warning"), _("%u warnings"), total.WarnCount);
        }
        statusText += _(" during backup");
        if (total.ErrorCount > 0 && FHost.ExitState() == 0)
            FHost.SetExitCode(4, nr);
        if (rs.WaitCode == -1) {
            ReportRunEvent(0xC0000011, {statusText});
            resultCode = FProgress.Terminate();
        } else {
            resultCode = ShowRunResult(total.ErrorCount > 0 ? psError : psWarning, _("Backup completed"),
                                       statusText + " - " + copyText, status2, clRed, rs.WaitCode,
                                       total.TotalBytes, total.FileCount);
        }
        rs.Result = brOK;
    } else {
        if (FHost.ExitState() == 0)
            FHost.SetExitCode(4, nr);
        if (rs.WaitCode != -1)
            ShowRunResult(psError, _("Backup completed"), rs.Failure, std::string(), clRed, rs.WaitCode, 0,
                          0);
        else
            ReportRunEvent(0xC0000011, {rs.Failure});
        statusText = rs.Failure;
    }
    return resultCode;
}

void TBackupEngine::DisconnectDestinationShare()
{
    // The share connected for the destination with an account is given up again.
    if (!FDestinationShare)
        return;
    std::string share, user;
    const int64_t rc = CancelLastConnection(share, user);
    if (rc == 0)
        FLog.WriteToLog("  ==> " +
                        SafeFormat(_("Connection as \"%1:s\" to \"%0:s\" was terminated"), {share, user}));
    else if (rc > 0)
        FLog.WriteToLog("  *** " +
                        SafeFormat(_("Error on terminating the connection as \"%1:s\" to \"%0:s\": %2:s"),
                                   {share, user, SystemErrorMessage(static_cast<uint32_t>(rc))}));
    FDestinationShare = false;
}

void TBackupEngine::WriteRunStatus(const TRunState& rs)
{
    std::string statusLead = "  " + _("Status: ");
    FLog.WriteToLog(statusLead + rs.StatusText + " - " + _("Elapsed time: ") +
                    ElapsedText(StartTime, EndTime));
    FLog.WriteToLog(Blanks(TextWidth(statusLead)) + _("Backup: ") + rs.CopyText);
    if (rs.SyncRun)
        FLog.WriteToLog(Blanks(TextWidth(statusLead)) + _("Synchronization: ") + rs.DeletedText);
    const TMailMode mm = Task.MailMode;
    FMail->AddToMail(mm, "  ==> " + _("End") + ": " + DateTimeToStr(EndTime) + " - " + rs.Title);
    FMail->AddToMail(mm, statusLead + rs.StatusText + " - " + _("Elapsed time: ") +
                             ElapsedText(StartTime, EndTime));
    FMail->AddToMail(mm, Blanks(TextWidth(statusLead)) + _("Backup: ") + rs.CopyText);
    if (rs.SyncRun)
        FMail->AddToMail(mm, Blanks(TextWidth(statusLead)) + _("Synchronization: ") + rs.DeletedText);
}

void TBackupEngine::AfterRunActions(TRunState& rs, int resultCode)
{
    resultCode &= ~mrShowLogBit;
    static const char* const actionLines[] = {
        N_("The system will be shut down!"), N_("The user will be logged off!"),
        N_("The system will enter the standby state!"), N_("The system will enter the hibernate state!")};
    if (resultCode >= mrShutdownAction && resultCode <= mrHibernateAction)
        FLog.WriteToLog("  ==> " + _(actionLines[resultCode - mrShutdownAction]));
    if (rs.Result == brError) {
        RestoreFolderCounters(Task);
    } else if (rs.Slot) {
        if (rs.Slot->SchedProps.StepMode > 0)
            rs.Slot->SchedProps.LastZyk = rs.Slot->SchedProps.AktZyk;
        rs.Slot->LastTime = StartTime;
    }
    rs.Result = ModalResultToBuResult(resultCode);
}

bool TBackupEngine::LoadRunTask(const std::string& taskPath, TInteraction interAct)
{
    TTaskFileContext context;
    context.Environment = &FEnvironment;
    context.LogDir = FHost.LogDir();
    context.DefaultLogFile = FHost.DefaultLogFile();
    TTaskFileReport report;
    Task = TTaskSettings();
    const bool loaded = LoadTask(Task, taskPath, true, interAct, report, context);
    return loaded && !report.Abandoned;
}

TBuResult TBackupEngine::DoBackupJob(int nr, TInteraction interAct, int priority, const std::string& taskPath)
{
    DoBackup = true;
    const bool prompt = interAct == iaPrompt || interAct == iaErrorPrompt;
    TBuResult result = brError;
    if (XlFileExists(taskPath)) {
        if (LoadRunTask(taskPath, interAct)) {
            ActTaskName = taskPath;
            if (!ReplSourceDir.empty()) {
                if (Task.Folders.Empty())
                    Task.Folders.Add(std::make_unique<TExtensionList>(TTimePeriod(), sdmNormal));
                TExtensionList& first = Task.Folders[0];
                first.VPath = ReplSourceDir;
                first.SPath = ExpandPathPlaceholders(ReplSourceDir);
                first.VName.clear();
                first.Selected = true;
            }
            const std::string logName =
                ExpandLogNameWithDest(Task.TaskLogName, Task.LoadedTaskName, GetLogDestination());
            FLog.ShowErrors = Task.ShowErrors;
            FLog.TaskProtMode = Task.TaskProtMode;
            uint32_t code = FLog.OpenLogFile(Task.TaskProtMode, logName,
                                             Task.MailMode != mmNone && Task.MailData.LogMode != mmNone);
            FLog.CheckLogError(code, prompt);
            ZipName = MakeZipName(CmdZip.empty() ? Task.ZipNameEdit : CmdZip);
            CopyPriority = priority;
            result = RunBackupTask(nr, taskPath, interAct);
            if (result != brError && ReplSourceDir.empty()) {
                TTaskFileReport report;
                UpdateTaskStatus(Task, taskPath, StartTime, report);
                for (const auto& line : report.Messages)
                    FLog.WriteToLog(line);
            }
        } else {
            // A task file that cannot be read: nothing runs, and the run says so.
            uint32_t code = FLog.OpenLogFile(1, std::string(), false);
            FLog.CheckLogError(code, prompt);
            FLog.BeginLog(Now(), _("Backup task") + ": " + taskPath);
            FLog.WriteToLog("  *** " + _("Invalid task configuration") + ": " + taskPath);
            FHost.SetExitCode(6, nr);
        }
    } else {
        FHost.SetExitCode(1, nr);
        uint32_t code = FLog.OpenLogFile(1, std::string(), false);
        FLog.CheckLogError(code, prompt);
        FLog.InitLog(_("Data backup"));
        std::string desc;
        TAutoTask* slot = nr > 0 ? FHost.Slot(nr) : nullptr;
        if (nr > 0)
            desc = SafeFormat(_("Automatic backup %u: "), {nr}) + (slot ? slot->TaskName : std::string());
        else
            desc = _("Backup task") + ": " + MakeRelativePath(FHost.TaskDir(), taskPath);
        FLog.BeginLog(Now(), desc);
        FLog.WriteToLog("  *** " + DateTimeToStr(Now()) + " - " + _("File not found") + ": " + taskPath);
        std::string text = (nr > 0 ? SafeFormat(_("Automatic backup %u: "), {nr}) : std::string()) +
                           SafeFormat(_("File\r\n\"%s\"\r\nnot found!"), {taskPath});
        if (interAct == iaQuiet)
            ReportRunEvent(0xC000000E, {taskPath});
        else
            FInteraction.ErrorBox(text, prompt ? 0 : ProgSettings.ViewSettings.AutoWaitTime);
    }
    FLog.CloseLogFile(true);
    return result;
}
