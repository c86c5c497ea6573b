#pragma once
// The connection to the task store and its daemon, one open task folder with its registered tasks and
// sub-folders, and the operations on registered tasks: list, register (create or update), delete, run,
// stop, enable or disable, and read status, last result and run times.
//
// The folder operations (Refresh, RegisterTask, DeleteTask, CreateFolder, DeleteFolder) catch a failing
// store call and keep its code and message in ErrorCode and ErrorMessage; every other member raises
// EOleSysError to the caller.

#include <memory>
#include <string>
#include <vector>

#include "scheduling/TaskStore.h"
#include "scheduling/WinTask.h"

enum TWinTaskStatus
{
    tsUnknown,
    tsReady,
    tsQueued,
    tsRunning,
    tsDisabled
};

std::string WinTaskStatusText(TWinTaskStatus s);
// The text of a task's last result: the scheduler's own codes, wrapped system errors and exit codes.
std::string TaskResultText(HRESULT code);

class TWinRegisteredTask
{
public:
    // Reads the definition of the task at the store path.
    explicit TWinRegisteredTask(const std::string& ATaskPath);
    TWinRegisteredTask(const TWinRegisteredTask&) = delete;
    TWinRegisteredTask& operator=(const TWinRegisteredTask&) = delete;

    void Refresh() { FTask->Refresh(); }
    // Asks the daemon to start or stop the task (EOleSysError SCHED_E_SERVICE_NOT_RUNNING when it does not
    // answer, the daemon's code when it refuses).
    void Run();
    void Stop();
    int IndexOfApp(const std::string& AppFilter) { return FTask->IndexOfApp(AppFilter); }

    const std::string& TaskName() const { return FTaskName; }
    int TaskIndex() const { return FIndex; }
    void SetTaskIndex(int v) { FIndex = v; }
    TWinTask* Definition() const { return FTask.get(); }
    // Read from the store on every access; writing stores the definition's enabled flag.
    bool Enabled() const;
    void SetEnabled(bool v);
    HRESULT LastResult() const;
    TDateTime LastRunTime() const;
    TDateTime NextRunTime() const;
    std::string LastRunTimeAsString() const { return TaskDateTimeToStr(LastRunTime()); }
    std::string NextRunTimeAsString() const { return TaskDateTimeToStr(NextRunTime()); }
    int NumberOfMissedRuns() const;
    std::string Path() const { return FTaskPath; }
    TWinTaskStatus Status() const;
    std::string StatusAsString() const { return WinTaskStatusText(Status()); }
    std::string Xml() const;

private:
    std::string FTaskPath;
    std::string FTaskName;
    int FIndex = -1;
    std::unique_ptr<TWinTask> FTask;
};

class TWinTaskSubFolder
{
public:
    explicit TWinTaskSubFolder(std::string APath) : FPath(std::move(APath)) {}
    std::string Name() const;
    std::string Path() const { return FPath; }

private:
    std::string FPath;
};

class TWinTaskFolder
{
public:
    explicit TWinTaskFolder(std::string AFolderPath) : FPath(std::move(AFolderPath)) {}
    TWinTaskFolder(const TWinTaskFolder&) = delete;
    TWinTaskFolder& operator=(const TWinTaskFolder&) = delete;

    HRESULT Refresh();
    int IndexOfTask(const std::string& TaskName) const;
    int RegisterTask(const std::string& TaskName, TWinTask* ATask, std::string Username,
                     std::string Password);
    bool DeleteTask(const std::string& TaskName);
    int IndexOfFolder(const std::string& FolderName) const;
    int CreateFolder(const std::string& AName);
    bool DeleteFolder(const std::string& AName);

    HRESULT ErrorCode() const { return FErrorCode; }
    const std::string& ErrorMessage() const { return FErrMsg; }
    int TaskCount() const { return static_cast<int>(FTasks.size()); }
    int NumberOfTasks() const { return TaskCount(); }
    int FolderCount() const { return static_cast<int>(FFolders.size()); }
    std::string FolderName() const;
    std::string FolderPath() const { return FPath.empty() ? "\\" : FPath; }
    TWinRegisteredTask* GetTask(int Index) const;
    TWinTaskSubFolder* GetFolder(int Index) const;

private:
    void SetError(const EOleSysError& e);
    void ClearError();
    std::string FPath;
    std::vector<std::unique_ptr<TWinRegisteredTask>> FTasks;
    std::vector<std::unique_ptr<TWinTaskSubFolder>> FFolders;
    std::string FErrMsg;
    HRESULT FErrorCode = 0;
};

class TWinTaskScheduler
{
public:
    TWinTaskScheduler();
    HRESULT Init();
    HRESULT Refresh();
    // A new definition for registration; the caller owns it.
    std::unique_ptr<TWinTask> NewTask();
    // The daemon answers on its socket.
    static bool IsRunning();

    const std::string& Path() const { return FFolder; }
    void SetPath(const std::string& v);
    TWinTaskFolder* TaskFolder() const { return FTaskFolder.get(); }

private:
    std::string FFolder = "\\";
    std::unique_ptr<TWinTaskFolder> FTaskFolder;
    HRESULT FResult = 0;
};

// Creates the scheduler object and connects it: starts the daemon when it does not answer and returns
// SCHED_E_SERVICE_NOT_RUNNING (no object) when it still does not; else assigns AScheduler and returns
// its Init.
HRESULT ConnectTaskScheduler(std::unique_ptr<TWinTaskScheduler>& AScheduler);
TWinTaskCompatibility GetCompatibilityForOS();
