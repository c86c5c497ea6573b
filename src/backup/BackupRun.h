#pragma once
// The run frame of a backup task: everything from the first log line to the result — lock file,
// power request, log header, interaction codes and run title, destination checks, the walk over the
// source folders, closing lines, exit state and after-run actions — and the entry point that loads a
// task file, opens its log around the run and closes it again.
//
// The engine runs on the thread that calls it; it talks to its host only through the interfaces of
// EngineInterfaces.h. The task is the shared task model (TTaskSettings) loaded by LoadTask.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "backup/Destination.h"
#include "backup/EngineFileOps.h"
#include "backup/EngineInterfaces.h"
#include "backup/ExtensionList.h"
#include "backup/ExternalProg.h"
#include "backup/TaskFile.h"
#include "backup/TaskLog.h"
#include "backup/TaskSettings.h"

// The counters the copy loop adds to.
struct TFolderCounters
{
    int64_t FileCount = 0;
    int64_t CopyCount = 0;
    int64_t ErrorCount = 0;
    int64_t WarnCount = 0;
    int64_t CopiedBytes = 0;
    int64_t TotalBytes = 0;
    int64_t FailedBytes = 0;
    // Synchronisation: files deleted or kept as sync copies, and whether a step reported errors.
    int64_t DeletedCount = 0;
    bool SyncFailed = false;
};
// The copy loop of one source folder: the entry, the folder to read, its destination folder, whether
// prompts are allowed, and the counters to add to.
using TBackupDirectoryFn =
    std::function<void(TExtensionList& entry, const std::string& srcDir, const std::string& destDir,
                       bool prompt, TFolderCounters& counters)>;

class TEncryption;
class TExtFtp;

// The actual machine for the task loader: file systems, the facts of the option rules and the checks
// of source folders.
class TRunEnvironment : public TTaskEnvironment
{
public:
    TFileSystem FileSystemOf(const std::string& path) const override;
    TOptionFacts OptionFacts(const TTaskSettings& task) const override;
};

class TBackupEngine
{
public:
    TBackupEngine(IRunHost& host, IInteraction& interaction, IProgressSink& progress, TRunControl& control,
                  TTaskLog& log);
    ~TBackupEngine();

    // Command-line values handed over by the main program.
    int SpecMode = 0;
    // The time slot of the command line: tmOff none (each folder's own applies), tmPrompt ask at
    // run time, tmError unreadable, else the slot for every folder.
    TTimePeriod CmdTmPeriod{tmOff, trModify, 1, 0.25, 0, 0};
    std::string BuDir;
    std::string CmdZip;
    std::string ReplSourceDir;
    // After-backup action chosen before the run (0 none, 1 shutdown, 2 logoff, 3 standby, 4 hibernate).
    int BuAction = 0;
    int CopyPriority = 3;
    bool DoBackup = true;
    // The copy loop; without one a folder copies nothing.
    TBackupDirectoryFn BackupDirectory;
    // Set by the copy loop's hooks to end the loop over the source folders (an archive of the run
    // could not be created).
    bool StopFolderLoop = false;
    // Called after the loop over the source folders: finishes what spans the whole run (the run's zip
    // archive); may add to the counters and set the failure text of the run.
    std::function<void(TFolderCounters& total, std::string& failure)> FinishRun;
    // The synchronisation of one folder's destination (same arguments); without one a synchronisation
    // run reports that it cannot synchronise.
    TBackupDirectoryFn SynchronizeFolder;

    // Runs a task file unattended (slot nr 1..16 or 0, -1 when after-run actions are allowed).
    TBuResult DoBackupJob(int nr, TInteraction interAct, int priority, const std::string& taskPath);
    // Runs the loaded task; the log is open.
    TBuResult RunBackupTask(int nr, const std::string& taskPath, TInteraction iaMode);

    // The zip name of a run: placeholders expanded, ".zip" appended; empty = "QV-Zip-yyyy-mm-dd.zip".
    std::string MakeZipName(const std::string& zs) const;
    // The destination for the placeholders of the log name: empty for FTP destinations.
    std::string GetLogDestination() const;
    // The volume label of the first source folder's drive ("" when it has none).
    std::string FirstSourceLabel() const;
    void WriteFolderHeader(int n, const std::string& src, const std::string& volLabel);
    void WriteDestLine(const std::string& text);
    int ShowRunResult(TResultStatus mode, const std::string& hint, const std::string& status1,
                      const std::string& status2, int32_t color, int wait, int64_t bytes, int64_t files);
    // The "Settings:" and "Options:" blocks of the log header (written from log mode 2 on).
    std::vector<std::string> SettingsBlock() const;
    std::vector<std::string> OptionsBlock() const;
    // The destination text of the task: the FTP URL or BuZiel.
    std::string DestinationText() const;

    TTaskSettings Task;
    std::string ActTaskName;
    std::string ZipName;
    // The run's encryption password (empty = the run does not encrypt).
    std::string ActPwd;
    // The encryption of the single files of methods 0 to 3 while a run with a password lasts (the copy
    // loop makes its own objects like it); none for the zip methods, whose writer encrypts by itself.
    std::unique_ptr<TEncryption> Encryption;
    // Keeps every deleting step of the run away from the task's source folders.
    std::shared_ptr<TRunGuard> Guard = std::make_shared<TRunGuard>();
    // File operations of the run's own steps, under the run's guard.
    TEngineFileOps MakeOps();
    TBuStatus BuStatus = bsOK;
    TDateTime StartTime = 0;
    TDateTime EndTime = 0;
    std::string BaseDest;
    std::string BaseDir;
    std::string CurDir;
    TFileSystem TargetType = fsNotAvail;
    int64_t TotalSize = 0;
    // Destination of the run: " (…)" after destination names of an alternating schedule, the time
    // stamp read from the destination before clearing, and the files deleted while clearing.
    std::string CycleText;
    TDateTime LastTimestamp = 0;
    int DeletedCount = 0;

    // The connection of an FTP destination and the run's folder on the server (BaseDir is that folder).
    std::unique_ptr<TExtFtp> Ftp;
    std::string FtpDir;
    // A new connection in the run's server folder after a worker was given up with the old one; null
    // when the server cannot be reached.
    TExtFtp* RenewFtpConnection();

    // Resolves a source folder: 0 usable, 15 drive not available, 1246 "Skip" or 1223 cancelled in the
    // volume prompt, else the error of connecting its share.
    uint32_t CheckVolume(const TExtensionList& entry, TSourceLocation& location, bool mayAsk);
    // The destination folder of a resolved source folder.
    std::string FolderDestination(const TSourceLocation& location) const;

private:
    // What the steps of one run share.
    struct TRunState
    {
        int Nr = 0;
        std::string TaskPath;
        TAutoTask* Slot = nullptr;
        std::string Desc;
        std::string Title;
        std::string OtherRun; // the text about another run that holds the lock file
        bool LockCreated = false;
        int WaitCode = 0;
        bool Prompts = false;
        bool MediaPrompts = false;
        bool SyncRun = false;
        bool AlternatingRun = false;
        int ModeIndex = 0;
        std::string ModeText;
        TFolderCounters Total;
        std::string Failure;
        std::string LastSub;
        std::string CopyText;
        std::string DeletedText;
        std::string StatusText;
        TBuResult Result = brError;
    };
    // The numbered steps of RunBackupTask.
    bool StartRun(TRunState& rs);
    void TakeLockFile(TRunState& rs);
    bool AskEncryptionPassword(TRunState& rs);
    void ChooseInteraction(TInteraction iaMode, TRunState& rs);
    void BeginRunLog(const TRunState& rs);
    bool CheckCommandTimeSlot();
    void ShowRunStart(const TRunState& rs);
    bool RunProgramBefore(TRunState& rs);
    void EndStoppedRun(const TRunState& rs);
    void BackupAndClose(TRunState& rs);
    void TakeSnapshots(TRunState& rs);
    void SumUpTotals();
    bool PrepareDestination(TRunState& rs);
    void WriteBackupModeLines(const TRunState& rs);
    void BackupSourceFolders(TRunState& rs);
    // One selected source folder; false ends the loop over the folders.
    bool BackupSourceFolder(TRunState& rs, int index);
    void SynchronizeSourceFolder(TExtensionList& entry, const std::string& src, TRunState& rs);
    void CopySourceFolder(TExtensionList& entry, const std::string& src, TRunState& rs);
    // The end line of the run; the exit state the after-run program is judged by.
    int CloseRunLog(TRunState& rs);
    void RunProgramAfter(TRunState& rs, int state);
    // Shows the result; the modal result of the result window.
    int ReportRunResult(TRunState& rs);
    void DisconnectDestinationShare();
    void WriteRunStatus(const TRunState& rs);
    void AfterRunActions(TRunState& rs, int resultCode);
    // The FTP destination (FtpDestination.cpp).
    std::unique_ptr<TExtFtp> MakeFtpConnection();
    bool ConnectFtpDestination(TRunState& rs);
    TDateTime ReadFtpDestinationTimestamp();
    void FinishFtpDestination(bool alternating, TFolderCounters& counters);
    void CloseFtpDestination();
    std::string FFtpPassword;
    std::string FFtpProxyPassword;
    std::string FFtpDisplay;
    std::vector<std::unique_ptr<TExtFtp>> FGivenUpFtp;
    // The checks of a local or network destination; BaseDir is set on success.
    bool PrepareLocalDestination(bool mediaPrompts, int waitCode, bool& stop, std::string& failure);
    // The alternating-schedule folder of an automatic run and the archive settings of "/mode:".
    bool PrepareBaseFolder(int nr, TAutoTask* slot, std::string& failure);
    // Clears a folder's destination before it is copied (ClearDest), at most once a day with the
    // archive bit; adds the errors of clearing to counters.
    void ClearFolderDestination(int index, const TSourceLocation& location, const std::string& sub,
                                TFolderCounters& counters);
    // After the last folder: the time-stamp file, or the removal of a per-run folder that stayed empty.
    void FinishLocalDestination(bool alternating, const std::string& lastSub, TFolderCounters& counters);
    bool WriteTestOfDestination(const std::string& dest);
    TSourceLocation LocateSource(const TExtensionList& entry) const;
    void WriteHeaderBlock(const std::string& title, const std::vector<std::string>& items);
    bool LoadRunTask(const std::string& taskPath, TInteraction interAct);
    IRunHost& FHost;
    IInteraction& FInteraction;
    IProgressSink& FProgress;
    TRunControl& FControl;
    TTaskLog& FLog;
    TRunEnvironment FEnvironment;
    bool FDestinationShare = false; // the destination share was connected with an account
};

// Texts of the backup modes by index (0 update, 1 full, 2 differential, 3 incremental).
std::string BackupModeText(int index);
// The text of "%mode%" by mode index: "Updt", "Full", "Diff", "Incr".
std::string ModePlaceholderText(int index);
// The mode index of an automatic run with an alternating schedule (1 full, 2 differential,
// 3 incremental); -1 when the schedule has no mode.
int AlternatingModeIndex(const TSchedule& sched);
