#pragma once
// The run frame of a backup task: everything from the first log line to the result — lock file,
// power request, log header, interaction codes and run title, destination checks, the walk over the
// source folders, closing lines, exit state and after-run actions — and the entry point that loads a
// task file, opens its log around the run and closes it again.
//
// The engine runs on the thread that calls it; it talks to its host only through the interfaces of
// EngineInterfaces.h.

#include <cstdint>
#include <functional>
#include <string>

#include "backup/EngineInterfaces.h"
#include "backup/RunTask.h"
#include "backup/TaskLog.h"

// Time-slot modes given on the command line (the rest of a time slot is the copy loop's).
enum TCmdTimeSlot : int
{
    ctsOff,    // none given: each source folder's own slot applies
    ctsPrompt, // ask at run time
    ctsError,  // the value could not be read
    ctsGiven   // a slot was given
};

// The copy loop of one source folder; the frame hands it the folder and its destination and gets the
// counters back.
struct TFolderCounters
{
    int64_t FileCount = 0;
    int64_t CopyCount = 0;
    int64_t ErrorCount = 0;
    int64_t WarnCount = 0;
    int64_t CopiedBytes = 0;
    int64_t TotalBytes = 0;
    int64_t FailedBytes = 0;
};
using TBackupDirectoryFn = std::function<void(const TRunSource& source, const std::string& destDir,
                                              bool prompt, TFolderCounters& counters)>;

class TBackupEngine
{
public:
    TBackupEngine(IRunHost& host, IInteraction& interaction, IProgressSink& progress, TRunControl& control,
                  TTaskLog& log);

    // Command-line values handed over by the main program.
    int SpecMode = 0;
    TCmdTimeSlot CmdTimeSlot = ctsOff;
    std::string BuDir;
    std::string CmdZip;
    std::string ReplSourceDir;
    // After-backup action chosen before the run (0 none, 1 shutdown, 2 logoff, 3 standby, 4 hibernate).
    int BuAction = 0;
    int CopyPriority = 3;
    bool DoBackup = true;
    // The copy loop; without one a folder copies nothing.
    TBackupDirectoryFn BackupDirectory;

    // Runs a task file unattended (slot nr 1..16 or 0).
    TBuResult DoBackupJob(int nr, TInteraction interAct, int priority, const std::string& taskPath);
    // Runs the loaded task; the log is open.
    TBuResult RunBackupTask(int nr, const std::string& taskPath, TInteraction iaMode);

    // The zip name of a run: placeholders expanded, ".zip" appended; empty = "QV-Zip-yyyy-mm-dd.zip".
    std::string MakeZipName(const std::string& zs) const;
    // The destination for the placeholders of the log name: empty for FTP destinations.
    std::string GetLogDestination() const;
    void WriteFolderHeader(int n, const std::string& src, const std::string& volLabel);
    void WriteDestLine(const std::string& text);
    int ShowRunResult(TResultStatus mode, const std::string& hint, const std::string& status1,
                      const std::string& status2, int32_t color, int wait, int64_t bytes, int64_t files);

    TRunTask Task;
    std::string ActTaskName;
    std::string ZipName;
    TBuStatus BuStatus = bsOK;
    TDateTime StartTime = 0;
    TDateTime EndTime = 0;
    std::string BaseDest;
    std::string BaseDir;
    std::string CurDir;
    int64_t TotalSize = 0;

private:
    bool PrepareLocalDestination(bool mediaPrompts, std::string& failure);
    uint32_t CheckSourceFolder(const TRunSource& source, std::string& src) const;
    std::string FolderDestination(const std::string& src) const;
    std::string ModeText(int index) const;
    IRunHost& FHost;
    IInteraction& FInteraction;
    IProgressSink& FProgress;
    TRunControl& FControl;
    TTaskLog& FLog;
};

// Texts of the backup modes by index (0 update, 1 full, 2 differential, 3 incremental).
std::string BackupModeText(int index);
