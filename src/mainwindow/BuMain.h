#pragma once
// Program control of the main program without a window: start flags and command line, the settings
// folder and settings file, the start dispatcher's batch cases, running listed backup tasks, the exit
// state that becomes the process exit code, and the after-run power actions.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "backup/BackupRun.h"
#include "backup/CopyLoop.h"
#include "backup/EngineInterfaces.h"
#include "backup/TaskLog.h"
#include "foundation/QvUtilsAutoTask.h"
#include "mainwindow/BuMainCmdLine.h"
#include "mainwindow/BuMainInstance.h"
#include "mainwindow/BuMainLists.h"
#include "mainwindow/PowerActions.h"

// Where the program's files are; every folder ends with "/".
struct TProgramFolders
{
    std::string ProgramDir; // folder of the executable
    std::string AppDataDir; // $XDG_CONFIG_HOME/
    std::string DocumentsDir;
    std::string SystemTempDir;
};

class TRunTasks;
// Runs a restore task file unattended for "/restore". The program installs it where it links the tools;
// the run gets the program's services.
using TRestoreTaskRunner = std::function<TBuResult(
    const std::string& taskFile, int wait, int selAction, TInteraction mode, IRunHost& host,
    IInteraction& interaction, IProgressSink& progress, TRunControl& control, TTaskLog& log)>;
void SetRestoreTaskRunner(TRestoreTaskRunner runner);

class TBuMainForm : public IRunHost
{
public:
    // progress: where runs show their progress; nullptr shows nothing (batch runs).
    TBuMainForm(TProgramFolders folders, IInteraction& interaction, IPowerActions& power,
                IProgressSink* progress = nullptr);
    ~TBuMainForm() override;

    const TProgramFolders& Folders() const { return FFolders; }
    IInteraction& Interaction() { return FInteraction; }
    // Runs the program for argv (argv[0] the program) and returns the process exit code.
    int Run(const std::vector<std::string>& argv);
    // The steps of Run: the command line, the settings and the engine; the batch cases of the start
    // dispatcher (a message when the start is no batch); saving and the end action, giving the exit code.
    void InitProgram(const std::vector<std::string>& argv);
    bool IsBatchStart() const;
    void RunBatch();
    int FinishProgram();

    // ---- command line and settings
    TCmdLineValues Cmd;
    uint8_t StartFlags = 0;
    std::string LogFolder; // empty = the settings folder
    std::string TempFolder;
    std::string TaskFolder;
    std::string DefTaskDir;
    TIniLoc FIniLoc = ilNormal;

    // Chooses the settings folder and file (command line first).
    void ChooseSettingsFile();
    // Reads the settings the program control needs; false when the file does not exist.
    bool LoadFromIni(const std::string& name);
    // Writes [Config] ErrorCount; false (after a message) when the file cannot be written.
    bool SaveErrorCount();

    // ---- the main window's data (LoadFromIni reads it, SaveToIni writes it)
    TStringList BackupList, RestoreList, VerifyList, CleanupList;
    std::string CurrentTask, CurrentRest, CurrentVerify, CurrentClean;
    int LastError = 0;
    bool SysTray = false; // "Keep running in background"
    int OldIcon = 0;
    int WindowLeft = -1, WindowTop = -1, WindowWidth = 0, WindowHeight = 0;
    TAutoFlags AutoFlags;
    // Why the settings file must not be written (empty when it may): it could not be read, or a newer
    // version of the program wrote it. Shown once; the settings then stay as they are on disk.
    std::string SettingsProtected;
    // Writes the whole settings file (it is replaced in one step); false after a message.
    bool SaveToIni();
    bool SaveLastError();
    void UpdateAutoFlags(bool byRequestWaits);
    // The full name of a task file of a list or the command line.
    std::string TaskFileName(const std::string& name) const { return GetTaskFileName(name); }

    // When the user logged on (decides the run date of logoff backups).
    TDateTime LogonTime = 0;
    // The backups of the end of a session: the "Always on logoff" and "On first logoff" slots that are
    // due (RunBackupTasks mode 2); stores LastError.
    TBuResult RunLogoffBackups();
    // The end of the session the program carries out itself when it ends (after logoff backups).
    void SetEndAction(TDownMode mode)
    {
        Cmd.LogOffMode = mode;
        FDownTaskFlag = mode != dmNone;
    }

    // ---- runs started by the window
    // The schedule timer: runs the "Daily at selected time" slots that are due now; true when one was.
    bool ScheduleTick();
    // Runs the backup tasks another start of the program handed over; returns the exit state.
    int RunHandedOver(const THandOver& request);
    // Pending questions for the user that the start-up found (damaged settings and the like).
    std::vector<std::string> StartMessages;

    // ---- runs and after-run actions
    TBuResult RunBackupTasks(const std::string& tasks, int mode, TInteraction interAct, int priority);
    // Runs each existing task file of the list in a child process of its own and waits for them.
    void RunParallel(const std::string& tasks);
    bool ErrorAllowsAction() const;
    void DoAfterBackupAction(TBuResult result);
    int GetAfterAction() const;
    // Carries out DownTask / the suspend mode on the way out.
    void ShutdownSystem();
    void SuspendSystem();

    // ---- IRunHost
    // The state of the task running now: a task is judged by its own outcome, not by a task before
    // it in the same program run (ErrorState keeps the program's exit code).
    int ExitState() const override { return FJobExitCode; }
    void SetExitCode(int exitCode, int taskNr) override;
    bool IsPortable() const override { return Cmd.IsPortable; }
    void IncErrorCount() override;
    std::string SettingsDir() const override { return FSettingsDir; }
    std::string LogDir() const override { return LogFolder.empty() ? FSettingsDir : LogFolder; }
    std::string TempDir() const override { return TempFolder; }
    std::string TaskDir() const override { return TaskFolder; }
    std::string DefaultLogFile() const override;
    void KeepAwake(bool displayOn) override { FPower.KeepAwake(displayOn); }
    void EndKeepAwake() override { FPower.EndKeepAwake(); }
    TAutoTask* Slot(int nr) override;
    bool DownTask() const override { return FDownTaskFlag; }
    // The commands of the user to the runs (pause, cancel).
    TRunControl& RunControl() { return FControl; }

    // The automatic-task slots 1..16 (index 0..15).
    std::vector<std::unique_ptr<TAutoTask>> AutoTasks;
    // Writes the run state of slot index (0..15) into the settings file.
    void SaveAutoTaskState(int index);

    // Runs one verify ('V') or cleanup ('C') task file of the command line with the program's log and
    // progress; set by the program, which links the tools. Without it such starts are refused.
    using TToolTaskRunner =
        std::function<TBuResult(char kind, const std::string& taskFile, TInteraction interAct, TTaskLog& log,
                                IProgressSink& progress, TRunControl& control)>;
    TToolTaskRunner RunToolTask;

    int FailedTask = 0;
    int ErrorCountValue = 0;
    bool ErrorCountChanged = false;

private:
    std::string GetTaskFileName(const std::string& name) const;
    TProgramFolders FFolders;
    IInteraction& FInteraction;
    IPowerActions& FPower;
    std::string FSettingsDir;
    bool FDownTaskFlag = false;
    bool FReportFlag = true;
    bool FIdleOffChosen = false;
    // Runs slot index (0..15) with the step value from GetCycleStep.
    TBuResult RunSlot(int index, int step, TInteraction interAct, TDateTime today,
                      const std::function<void()>& afterSuccess = {});
    // RunBackupTasks mode 0: the check of the slots at an automatic start.
    TBuResult CheckAutoTasks(TDateTime today, TDateTime now);
    TBuResult RunSessionEndSlots(TDateTime today, TDateTime now);
    void LoadWindowSettings(const TUnicodeIniFile& ini);
    // Sets SettingsProtected when the file exists but cannot be taken as ours.
    void CheckSettingsFile(const std::string& name);
    // Runs one task file (slot nr 1..16, or 0 / -1 for a named task): refused before it is loaded when
    // TaskFileProblem finds a fault in the file, else run by the engine (again while it asks for a
    // repeat). A run that fails says why on standard error.
    TBuResult RunTaskJob(int nr, TInteraction interAct, int priority, const std::string& path);
    // A task file that is not run: exit state 6, a block in the program log, the line on stderr.
    void RefuseTask(int nr, TInteraction interAct, const std::string& path, const std::string& problem);
    // The one line on stderr that names a failed task file and the reason.
    void ReportTaskFailure(const std::string& path, const std::string& reason) const;
    // The exit state set by the task file running now (0 while none).
    int FJobExitCode = 0;
    TRunControl FControl;
    THeadlessProgress FHeadlessProgress;
    IProgressSink& FProgress;
    std::unique_ptr<TTaskLog> FLog;
    std::unique_ptr<TBackupEngine> FEngine;
    std::unique_ptr<TCopyLoop> FCopyLoop;
    std::unique_ptr<TRunTasks> FRunTasks;
};

// Splits a comma-separated task list; items in double quotes may hold commas.
std::vector<std::string> SplitTaskList(const std::string& tasks);
