#include "backup/BackupRun.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include "foundation/ExtSysUtils.h"
#include "foundation/NumberUtils.h"
#include "foundation/PathUtils.h"
#include "foundation/StringUtils.h"
#include "foundation/XlFileUtils.h"
#include "platform/ErrorCodes.h"
#include "rtl/DateTime.h"
#include "rtl/Gettext.h"
#include "rtl/SysUtils.h"

namespace {

const char* const CrLf = "\r\n";

std::string Blanks(size_t n)
{
    return std::string(n, ' ');
}

std::string ReplaceNoCase(const std::string& text, const std::string& what, const std::string& with)
{
    std::string result;
    size_t i = 0;
    while (i < text.size()) {
        if (i + what.size() <= text.size() && utf8::SameText(text.substr(i, what.size()), what)) {
            result += with;
            i += what.size();
        } else {
            result += text[i++];
        }
    }
    return result;
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

std::string DestModeCaption(int mode)
{
    static const char* const captions[] = {
        N_("Separate directories for drives"),     N_("Full original directory structure"),
        N_("One directory without full path"),     N_("Separated by root directory"),
        N_("All files into one zip archive"),      N_("Separated by root directory"),
        N_("Separated by drive and subdirectory"), N_("Separated by subdirectory")};
    if (mode < 0 || mode > 7)
        return std::string();
    return _(captions[mode]);
}

std::string SizeText(const TQvSettings& settings, int64_t size)
{
    return FormatByteSize(settings.LogSettings.DecimalSizes, true, 0, size);
}

std::string CopyText(int64_t copyCount, int64_t fileCount, int64_t copiedBytes, int64_t totalBytes,
                     const TQvSettings& settings)
{
    return SafeFormat(
        _("%u of %u files copied (%s of %s)"),
        {copyCount, fileCount, SizeText(settings, copiedBytes), SizeText(settings, totalBytes)});
}

std::string FileCountText(int64_t count)
{
    return FormatCount(_("No files"), _("1 file"), _("%u files"), count, true);
}

std::string DirErrorText(uint32_t code, const std::string& dir)
{
    uint32_t low = code & 0xFFFF;
    std::string fmt =
        low == 2 || low == 3 ? _("Directory \"%s\" not found!") : _("Error accessing directory: \"%s\"");
    return SafeFormat(fmt, {dir});
}

std::string OrdinalPrefix(int n)
{
    switch (n) {
    case 1:
        return _("1st ");
    case 2:
        return _("2nd ");
    case 3:
        return _("3rd ");
    default:
        return SafeFormat(_("%uth "), {n});
    }
}

// Creates and deletes a test file in dir (creating dir when missing, removing it again when it was
// made for the test).
bool CheckWriteAccess(const std::string& dir)
{
    bool existed = XlDirectoryExists(dir);
    if (!existed && !XlForceDirectories(dir))
        return false;
    std::string name = AddPathDelimiter(dir) + "~QvWriteTest.tmp";
    int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    bool ok = fd >= 0;
    if (ok) {
        close(fd);
        unlink(name.c_str());
    }
    if (!existed)
        XlRemoveDir(dir);
    return ok;
}

std::string ElapsedText(TDateTime start, TDateTime end)
{
    int64_t secs = static_cast<int64_t>(SecondsBetween(start, end));
    int64_t hours = secs / 3600;
    return SafeFormat("%.2d:%.2d:%.2d", {hours, (secs / 60) % 60, secs % 60});
}

} // namespace

std::string BackupModeText(int index)
{
    static const char* const texts[] = {N_("Update"), N_("Full (new)"), N_("Differential"),
                                        N_("Incremental")};
    return index >= 0 && index <= 3 ? _(texts[index]) : std::string();
}

TBackupEngine::TBackupEngine(IRunHost& host, IInteraction& interaction, IProgressSink& progress,
                             TRunControl& control, TTaskLog& log)
    : FHost(host), FInteraction(interaction), FProgress(progress), FControl(control), FLog(log)
{
}

std::string TBackupEngine::ModeText(int index) const
{
    return BackupModeText(index);
}

std::string TBackupEngine::MakeZipName(const std::string& zs) const
{
    std::string name = zs.empty() ? "QV-Zip-" + FormatDateTime("yyyy-mm-dd", Now()) : zs;
    if (!utf8::SameText(ExtractExtension(name), "zip"))
        name += ".zip";
    return name;
}

std::string TBackupEngine::GetLogDestination() const
{
    return Task.BuFtp ? std::string() : Task.Destination;
}

void TBackupEngine::WriteFolderHeader(int n, const std::string& src, const std::string& volLabel)
{
    FLog.SetLogTime(false);
    if (FLog.CurrentLogMode() == 3)
        FLog.WriteToLog();
    std::string line = "  " + OrdinalPrefix(n < 0 ? -n : n) + _("Directory") + ": ";
    if (n < 0) {
        FLog.WriteToLog(2, line + SafeFormat(_("Not selected: \"%s\""), {src}));
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
        amount = FHost.Settings().ViewSettings.SizeProgress ? SizeText(FHost.Settings(), bytes)
                                                            : FileCountText(files);
    FProgress.SetTotalAmount(amount);
    return FProgress.ShowStatus(mode, hint, status1, status2, color, wait);
}

std::string TBackupEngine::FolderDestination(const std::string& src) const
{
    std::string below = RemoveDrive(src);
    while (!below.empty() && below.front() == '/')
        below.erase(0, 1);
    while (!below.empty() && below.back() == '/')
        below.pop_back();
    switch (Task.DestMode) {
    case 1:
    case 7:
        return below.empty() ? BaseDir : AddPathDelimiter(BaseDir) + below;
    case 3:
        return AddPathDelimiter(BaseDir) + GetLastDirName(src);
    case 0:
    case 6: {
        std::string id = Task.DriveId;
        std::string drive = ExtractDrivePart(src);
        std::string letter = drive == "/" ? std::string() : drive;
        size_t q = id.find('?');
        if (q != std::string::npos)
            id = id.substr(0, q) + letter + id.substr(q + 1);
        std::string dir = AddPathDelimiter(BaseDir) + id;
        return below.empty() ? dir : AddPathDelimiter(dir) + below;
    }
    default:
        return BaseDir;
    }
}

uint32_t TBackupEngine::CheckSourceFolder(const TRunSource& source, std::string& src) const
{
    src = AddPathDelimiter(source.SPath);
    if (!source.VName.empty() && !Task.NoVolCheck)
        return WinError::ERROR_INVALID_DRIVE;
    uint32_t code = 0;
    if (!XlCheckDirAccess(source.SPath, code))
        return code == 0 ? WinError::ERROR_PATH_NOT_FOUND : code;
    return 0;
}

bool TBackupEngine::PrepareLocalDestination(bool, std::string& failure)
{
    std::string x = BaseDest;
    if (!BuDir.empty())
        x = IsAbsolutePath(BuDir) ? BuDir : AddPathDelimiter(x) + BuDir;
    std::string message;
    if (x.empty() || !IsAbsolutePath(x)) {
        // A relative destination is taken relative to the current folder.
        char cwd[4096];
        if (getcwd(cwd, sizeof cwd))
            x = AddPathDelimiter(cwd) + x;
    }
    if (x.size() > 1 && x[0] == ':') {
        // A volume name that no mounted volume carries: no message of its own.
        message.clear();
    } else {
        bool created = XlDirectoryExists(x) || XlForceDirectories(x);
        std::string first = Task.Sources.empty() ? std::string() : Task.Sources.front().SPath;
        if (!created || !CheckWriteAccess(x))
            message = SafeFormat(_("Could not write to path \"%s\"!"), {x});
        else {
            BaseDir = x;
            struct statvfs vfs;
            std::string volume;
            if (statvfs(x.c_str(), &vfs) == 0) {
                int64_t freeBytes = static_cast<int64_t>(vfs.f_bavail) * vfs.f_frsize;
                int64_t totalBytes = static_cast<int64_t>(vfs.f_blocks) * vfs.f_frsize;
                volume = SizeText(FHost.Settings(), freeBytes) + _(" free of ") +
                         SizeText(FHost.Settings(), totalBytes);
            }
            FLog.WriteToLog("  " + _("Destination volume: ") + volume);
            return true;
        }
    }
    if (!message.empty())
        FLog.WriteToLog("  *** " + message);
    failure = SafeFormat(_("Directory \"%s\" not available for backup!"), {x});
    FLog.WriteToLog("  *** " + failure);
    return false;
}

TBuResult TBackupEngine::RunBackupTask(int nr, const std::string& taskPath, TInteraction iaMode)
{
    const TQvSettings& settings = FHost.Settings();
    // 1. Start.
    for (auto& src : Task.Sources) {
        src.SCount = src.ICount;
        src.SBytes = src.IBytes;
        src.SSyncCount = src.SyncCount;
    }
    FLog.InitLog(_("Data backup"));
    FHost.KeepAwake(!Task.DisplayOff);
    std::string desc;
    TRunSlotInfo* slot = nr > 0 ? FHost.Slot(nr) : nullptr;
    if (nr > 0)
        desc = SafeFormat(_("Automatic backup %u: "), {nr}) + (slot ? slot->TaskName : std::string());
    else if (!taskPath.empty())
        desc = _("Backup task") + ": " + MakeRelativePath(FHost.TaskDir(), taskPath);
    else
        desc = _("New backup task");
    StartTime = Now();
    BuStatus = bsOK;
    FControl.Reset();
    std::string actPwd;

    if (Task.DestinationText().empty() || Task.Sources.empty()) {
        FLog.BeginLog(StartTime, desc);
        FLog.WriteToLog("  *** " + _("Invalid task configuration") + ": " + taskPath);
        FHost.SetExitCode(6, nr);
        FHost.EndKeepAwake();
        return brError;
    }

    TBuResult result = brError;
    bool lockCreated = FHost.CreateRunLock(FHost.SettingsDir(), taskPath);
    try {
        // 2. Encryption password.
        bool leave = false;
        if (Task.Encrypt) {
            std::string pwd;
            bool ok =
                FInteraction.AskPassword(_("File encryption"), desc + CrLf + _("uses file encryption!"), pwd);
            if (ok && pwd.empty())
                ok = FInteraction.Confirm(
                    _("No encryption password specified!\r\nContinue backup without encryption?"));
            if (!ok) {
                FLog.WriteToLog("  *** " + _("Canceled by user"));
                leave = true;
            }
            actPwd = pwd;
        }
        if (!leave) {
            // 3. Interaction, mode and title.
            int waitCode = 0;
            bool prompts = false, mediaPrompts = false;
            switch (iaMode) {
            case iaPrompt:
                prompts = mediaPrompts = true;
                break;
            case iaDelay:
                waitCode = settings.ViewSettings.AutoWaitTime;
                break;
            case iaQuiet:
                waitCode = -1;
                break;
            case iaErrorPrompt:
                waitCode = settings.ViewSettings.AutoWaitTime + 4096;
                prompts = mediaPrompts = true;
                break;
            case iaQuietError:
                waitCode = -2;
                mediaPrompts = true;
                break;
            default:
                break;
            }
            bool syncRun = Task.SyncMode > 0 && (Task.DestMode <= 1 || Task.DestMode == 3 ||
                                                 (Task.DestMode == 2 && Task.Sources.size() <= 1));
            int modeIndex = Task.ClearDest && Task.DestMode < 4
                                ? (Task.UseArchiv ? 2 : 0) + (Task.ResArchiv ? 1 : 0)
                            : Task.DestMode >= 4 ? 1
                                                 : 0;
            std::string marker;
            if (nr > 0) {
                marker = syncRun          ? " (S)"
                         : modeIndex == 1 ? " (F)"
                         : modeIndex == 2 ? " (D)"
                         : modeIndex == 3 ? " (I)"
                                          : "";
            } else if (SpecMode > 0) {
                marker = SpecMode == 2 ? " (D)" : SpecMode == 3 ? " (I)" : " (F)";
                modeIndex = SpecMode & 3;
            } else if (syncRun) {
                marker = " (S)";
            }
            if (!actPwd.empty())
                marker += (marker.empty() ? " " : "+") + _("(Encrypted)");
            std::string title = desc + marker;
            FLog.BeginLog(StartTime, title);

            // 4. Log header of the task.
            if (nr > 0) {
                FLog.WriteToLog(2, "      " + _("Filename:") + " " + Task.LoadedTaskName);
            } else {
                FLog.WriteToLog(3, "  " + _("Filename:") + " " + taskPath);
                std::string origin = StartOriginLine(StartOrigin);
                if (!origin.empty())
                    FLog.WriteToLog("  ->  " + origin);
            }
            FLog.WriteToLog(2, "  " + _("Computer: ") + FHost.ComputerName());
            std::string method = DestModeCaption(Task.DestMode);
            if (Task.DestMode >= 4 && Task.MaxZipSize > 0)
                method += " (" + SizeText(settings, Task.MaxZipSize) + ")";
            FLog.WriteToLog(1, "  " + _("Method: ") + method);

            // 5. Time slot from the command line.
            bool stop = false;
            if (CmdTimeSlot == ctsPrompt) {
                FLog.WriteToLog("  *** " + _("Canceled by user"));
                stop = true;
            } else if (CmdTimeSlot == ctsError) {
                FLog.WriteToLog("  *** " + _("Invalid time slot from command line!"));
                stop = true;
            }
            // 6. Progress view and destination.
            if (!stop) {
                TProgressOptions options = ProgressOption(poBackup);
                if (nr < 0)
                    options |= ProgressOption(poAction);
                if (nr > 0)
                    options |= ProgressOption(poAutoTask);
                std::string taskText = title;
                if (StartOrigin >= 1 && StartOrigin <= 4)
                    taskText += std::string(" - ") + StartOriginCodes[StartOrigin];
                FProgress.ShowProgress(taskText, _("Destination"), std::string(), options, BuAction, waitCode,
                                       Task.ClearDest || (syncRun && Task.SyncBefore));
                FControl.Checkpoint();
                static const char* const modeNames[] = {"Updt", "Full", "Diff", "Incr"};
                BaseDest = ReplaceNoCase(Task.DestinationText(), "%mode%", modeNames[modeIndex & 3]);
            }
            // 7. External program before the backup: not available in this build, so the run stops
            // rather than back up without what the program was meant to prepare.
            if (!stop && !Task.PreCmd.Command.empty()) {
                FLog.WriteToLog("  ### " + SafeFormat(_("Error executing:%s%s"), {" ", Task.PreCmd.Command}));
                stop = true;
            }
            if (stop) {
                FProgress.Close();
                if (FLog.CurrentLogMode() == 3)
                    FLog.WriteToLog();
                FLog.WriteToLog("  ==> " + _("End") + ": " + DateTimeToStr(Now()) + " - " + title);
                FHost.SetExitCode(4, nr);
            } else {
                // 8. Shadow copy: no snapshot provider is available on this system.
                if (Task.UseVss && !Task.Sources.empty()) {
                    std::string drive = ExtractDrivePart(Task.Sources.front().SPath);
                    FLog.WriteToLog("  ### " +
                                    SafeFormat(_("Creating a Volume Shadow Copy for drive %s"), {drive}));
                    FLog.WriteToLog(
                        "  *** " +
                        SafeFormat(_("Creating of Volume Shadow Copy for drive %s failed!"), {drive}));
                }
                // 9. Totals.
                TFolderCounters total;
                TotalSize = 0;
                for (const auto& src : Task.Sources)
                    if (src.Selected)
                        TotalSize += settings.ViewSettings.SizeProgress ? std::max<int64_t>(src.IBytes, 0)
                                                                        : std::max<int32_t>(src.ICount, 0);
                FProgress.SetTotalAmount(settings.ViewSettings.SizeProgress ? SizeText(settings, TotalSize)
                                                                            : FileCountText(TotalSize));
                std::string failure;
                bool externalFailed = false;
                // 10. Destination.
                bool destinationOk = false;
                if (Task.BuFtp) {
                    FLog.WriteToLog("  *** " + _("Connection to FTP server failed") + " (" +
                                    _("FTP destinations are not available in this build") + ")");
                    failure = _("Connection to FTP server failed");
                    FLog.WriteToLog("  ==> " + SafeFormat(_("FTP server: %s"), {BaseDest}));
                    FHost.SetExitCode(2, nr);
                } else {
                    FControl.SetLockStatus(1);
                    destinationOk = PrepareLocalDestination(mediaPrompts, failure);
                    FControl.SetLockStatus(0);
                    if (!destinationOk)
                        FHost.SetExitCode(2, nr);
                }
                if (destinationOk) {
                    FProgress.SetDestination(BaseDir);
                    std::string modeLine = "  " + _("Backup mode") + ": ";
                    if (Task.DestMode < 4)
                        modeLine += ModeText(modeIndex) + _(" to ") + "\"" + BaseDir + "\"";
                    else
                        modeLine += _("Create new zip archives");
                    FLog.WriteToLog(1, modeLine);
                    // 11. Source folders.
                    for (size_t i = 0; i < Task.Sources.size(); ++i) {
                        TRunSource& entry = Task.Sources[i];
                        if (FControl.Stopped())
                            continue;
                        int n = static_cast<int>(i) + 1;
                        if (!entry.Selected) {
                            WriteFolderHeader(-n, entry.SPath, std::string());
                            continue;
                        }
                        FControl.SetLockStatus(1);
                        std::string src;
                        uint32_t outcome = CheckSourceFolder(entry, src);
                        FControl.SetLockStatus(0);
                        entry.IsAvailable = outcome == 0;
                        WriteFolderHeader(n, entry.SPath, entry.VName);
                        if (outcome != 0) {
                            std::string message = DirErrorText(outcome, entry.SPath);
                            FHost.SetExitCode(3, nr);
                            FLog.WriteErrorToLog("B", message, outcome);
                            ++total.ErrorCount;
                            continue;
                        }
                        CurDir = FolderDestination(src);
                        WriteDestLine(CurDir);
                        if (FControl.Stopped())
                            break;
                        TFolderCounters before = total;
                        if (BackupDirectory)
                            BackupDirectory(entry, CurDir, prompts, total);
                        if (FControl.Stopped() && BuStatus == bsOK)
                            BuStatus = FControl.CancelAll() ? bsCancelAll : bsCanceled;
                        if (BuStatus == bsOK || BuStatus == bsFull) {
                            entry.ICount = static_cast<int32_t>(total.FileCount - before.FileCount);
                            entry.IBytes = total.TotalBytes - before.TotalBytes;
                        }
                        int64_t copied = total.CopyCount - before.CopyCount;
                        std::string status = "    => " + _("Status: ") +
                                             FormatCount(_("No files copied"), _("1 file copied"),
                                                         _("%u files copied"), copied);
                        if (Task.Verify)
                            status += _(" and verified");
                        int64_t errors = total.ErrorCount - before.ErrorCount;
                        if (errors > 0)
                            status += " (" + FormatCount("", _("1 error"), _("%u errors"), errors) + ")";
                        FLog.WriteToLog(status);
                        if (BuStatus != bsOK)
                            break;
                    }
                }
                // 12. After the loop.
                FLog.WriteErrorSummary();
                if (FLog.CurrentLogMode() == 3)
                    FLog.WriteToLog();

                // 13. Closing.
                EndTime = Now();
                int state = 0;
                if (BuStatus != bsOK)
                    state = 5;
                else {
                    state = FHost.ExitState();
                    if ((state == 0 && !failure.empty()) || total.WarnCount + total.ErrorCount > 0)
                        state = 4;
                }
                FLog.WriteToLog("  ==> " + _("End") + ": " + DateTimeToStr(EndTime) + " - " + title);
                if (!Task.PostCmd.Command.empty()) {
                    bool skip =
                        (state == 0 && (Task.PostCmd.ErrorLevel & 0x10) != 0 && total.CopyCount == 0) ||
                        ((state == 2 || state == 5) && (Task.PostCmd.ErrorLevel & 2) != 0) ||
                        (state != 0 && state != 2 && state != 5 && (Task.PostCmd.ErrorLevel & 4) != 0);
                    if (skip) {
                        FLog.WriteToLog("  ### " + _("External program after backup") + " " +
                                        _("was skipped") + " [" + std::to_string(state) + "]");
                    } else {
                        FLog.WriteToLog("  ### " +
                                        SafeFormat(_("Error executing:%s%s"), {" ", Task.PostCmd.Command}));
                        externalFailed = true;
                    }
                }
                FHost.EndKeepAwake();
                int resultCode = ActionToResultCode(BuAction);
                std::string copyText =
                    CopyText(total.CopyCount, total.FileCount, total.CopiedBytes, total.TotalBytes, settings);
                std::string statusText;
                if (BuStatus != bsOK) {
                    FProgress.Close();
                    statusText = BuStatus == bsFull     ? _("Canceled because of full destination volume")
                                 : BuStatus == bsBroken ? _("FTP connection lost!")
                                                        : _("Canceled by user");
                    FHost.SetExitCode(5, nr);
                    if (waitCode != -1)
                        resultCode =
                            ShowRunResult(psCancel, _("Backup completed"), statusText + " - " + copyText, " ",
                                          clRed, waitCode, total.TotalBytes, total.FileCount);
                    else if (FHost.EventSourceOk())
                        FHost.WriteEventLog(true, 0xC0000011, {statusText});
                } else if (failure.empty() && total.WarnCount + total.ErrorCount == 0) {
                    resultCode = ShowRunResult(psOK, _("Backup completed"), copyText, std::string(), 0x503000,
                                               waitCode, total.TotalBytes, total.FileCount);
                    statusText = _("OK");
                    result = brOK;
                } else if (failure.empty()) {
                    if (total.ErrorCount > 0) {
                        statusText = FormatCount("", _("1 error"), _("%u errors"), total.ErrorCount);
                        if (total.FailedBytes > 0)
                            statusText += " (" + SizeText(settings, total.FailedBytes) + ")";
                    } else {
                        statusText = FormatCount("", _("1 warning"), _("%u warnings"), total.WarnCount);
                    }
                    statusText += _(" during backup");
                    if (total.ErrorCount > 0 && FHost.ExitState() == 0)
                        FHost.SetExitCode(4, nr);
                    if (waitCode == -1) {
                        if (FHost.EventSourceOk())
                            FHost.WriteEventLog(true, 0xC0000011, {statusText});
                        resultCode = FProgress.Terminate();
                    } else {
                        resultCode =
                            ShowRunResult(total.ErrorCount > 0 ? psError : psWarning, _("Backup completed"),
                                          statusText + " - " + copyText, std::string(), clRed, waitCode,
                                          total.TotalBytes, total.FileCount);
                    }
                    result = brOK;
                } else {
                    if (FHost.ExitState() == 0)
                        FHost.SetExitCode(4, nr);
                    if (waitCode != -1)
                        ShowRunResult(psError, _("Backup completed"), failure, std::string(), clRed, waitCode,
                                      0, 0);
                    else if (FHost.EventSourceOk())
                        FHost.WriteEventLog(true, 0xC0000011, {failure});
                    statusText = failure;
                }
                std::string statusLead = "  " + _("Status: ");
                FLog.WriteToLog(statusLead + statusText + " - " + _("Elapsed time: ") +
                                ElapsedText(StartTime, EndTime));
                FLog.WriteToLog(Blanks(statusLead.size()) + _("Backup: ") + copyText);

                // 14. After-run actions.
                resultCode &= ~mrShowLogBit;
                static const char* const actionLines[] = {N_("The system will be shut down!"),
                                                          N_("The user will be logged off!"),
                                                          N_("The system will enter the standby state!"),
                                                          N_("The system will enter the hibernate state!")};
                if (resultCode >= mrShutdownAction && resultCode <= mrHibernateAction)
                    FLog.WriteToLog("  ==> " + _(actionLines[resultCode - mrShutdownAction]));
                if (result == brError) {
                    for (auto& src : Task.Sources) {
                        src.ICount = src.SCount;
                        src.IBytes = src.SBytes;
                        src.SyncCount = src.SSyncCount;
                    }
                } else if (slot) {
                    if (slot->SchedProps.StepMode > 0)
                        slot->SchedProps.LastZyk = slot->SchedProps.AktZyk;
                }
                (void)externalFailed;
                result = ModalResultToBuResult(resultCode);
            }
        }
    } catch (const EInOutError& e) {
        ShowRunResult(psError, _("Backup completed"), _("Unexpected error during backup"), " ", clRed, 0, 0,
                      0);
        FLog.WriteToLog("  *** " + _("Unexpected error during backup") + " (" +
                        SystemErrorMessage(static_cast<uint32_t>(e.ErrorCode)) + ")");
        FHost.SetExitCode(4, nr);
        result = brError;
    }
    // 15. End.
    if (lockCreated)
        FHost.DeleteRunLock();
    FHost.EndKeepAwake();
    return result;
}

TBuResult TBackupEngine::DoBackupJob(int nr, TInteraction interAct, int priority, const std::string& taskPath)
{
    DoBackup = true;
    Task = TRunTask();
    bool prompt = interAct == iaPrompt || interAct == iaErrorPrompt;
    TBuResult result = brError;
    if (XlFileExists(taskPath)) {
        if (ReadRunTask(taskPath, FHost.Settings(), Task)) {
            ActTaskName = taskPath;
            if (!ReplSourceDir.empty()) {
                if (Task.Sources.empty())
                    Task.Sources.emplace_back();
                Task.Sources.front().VPath = Task.Sources.front().SPath = ReplSourceDir;
                Task.Sources.front().Selected = true;
            }
            std::string logName = Task.TaskLogName;
            std::string taskName = DeleteExtension(GetLastDirName(Task.LoadedTaskName));
            logName = ReplaceNoCase(logName, "%taskname%", taskName);
            FLog.ShowErrors = Task.ShowErrors;
            FLog.TaskProtMode = Task.TaskProtMode;
            uint32_t code = FLog.OpenLogFile(Task.TaskProtMode, logName, Task.MailMode != 0);
            FLog.CheckLogError(code, prompt);
            ZipName = MakeZipName(CmdZip.empty() ? Task.ZipName : CmdZip);
            CopyPriority = priority;
            result = RunBackupTask(nr, taskPath, interAct);
            if (result != brError && ReplSourceDir.empty()) {
                std::string line = WriteRunTaskStatus(taskPath, Task, StartTime, FHost.ProgramVersion());
                if (!line.empty())
                    FLog.WriteToLog(line);
            }
        } else {
            // A task file that cannot be read: nothing runs, the log is closed.
            uint32_t code = FLog.OpenLogFile(1, std::string(), false);
            FLog.CheckLogError(code, prompt);
        }
    } else {
        FHost.SetExitCode(1, nr);
        uint32_t code = FLog.OpenLogFile(1, std::string(), false);
        FLog.CheckLogError(code, prompt);
        FLog.InitLog(_("Data backup"));
        std::string desc;
        TRunSlotInfo* slot = nr > 0 ? FHost.Slot(nr) : nullptr;
        if (nr > 0)
            desc = SafeFormat(_("Automatic backup %u: "), {nr}) + (slot ? slot->TaskName : std::string());
        else
            desc = _("Backup task") + ": " + MakeRelativePath(FHost.TaskDir(), taskPath);
        FLog.BeginLog(Now(), desc);
        FLog.WriteToLog("  *** " + DateTimeToStr(Now()) + " - " + _("File not found") + ": " + taskPath);
        std::string text = (nr > 0 ? SafeFormat(_("Automatic backup %u: "), {nr}) : std::string()) +
                           SafeFormat(_("File\r\n\"%s\"\r\nnot found!"), {taskPath});
        if (interAct == iaQuiet) {
            if (FHost.EventSourceOk())
                FHost.WriteEventLog(true, 0xC000000E, {taskPath});
        } else {
            FInteraction.ErrorBox(text, prompt ? 0 : FHost.Settings().ViewSettings.AutoWaitTime);
        }
    }
    FLog.CloseLogFile(true);
    return result;
}
