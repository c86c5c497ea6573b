#include "scheduling/WinTaskScheduler.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

#include "foundation/PathUtils.h"
#include "foundation/StringUtils.h"
#include "foundation/WinApiUtils.h"
#include "platform/ErrorCodes.h"
#include "rtl/Clock.h"
#include "rtl/Gettext.h"
#include "scheduling/TriggerEngine.h"

std::string WinTaskStatusText(TWinTaskStatus s)
{
    switch (s) {
    case tsDisabled:
        return _("Disabled");
    case tsQueued:
        return _("Queued");
    case tsReady:
        return _("Ready");
    case tsRunning:
        return _("Running");
    default:
        return _("Unknown");
    }
}

std::string TaskResultText(HRESULT code)
{
    switch (code) {
    case 0:
        return _("The operation completed successfully.");
    case SCHED_S_TASK_RUNNING:
        return _("The task is currently running.");
    case SCHED_S_TASK_HAS_NOT_RUN:
        return _("The task has not yet run.");
    case SCHED_S_TASK_TERMINATED:
        return _("The last run of the task was terminated by the user.");
    case SCHED_E_SERVICE_NOT_RUNNING:
        return _("The Task Scheduler service is not running.");
    default:
        break;
    }
    uint32_t u = static_cast<uint32_t>(code);
    if ((u & 0xFFFF0000u) == 0x80070000u) {
        std::string t = SystemErrorText(u & 0xFFFF);
        return t.empty() ? Format(_("Error code 0x%.8x"), {u}) : t;
    }
    if (code > 0 && code < 256)
        return SafeFormat(_("The program ended with exit code %d."), {code});
    return SafeFormat(_("Error code 0x%.8x"), {u});
}

// --- Registered task

TWinRegisteredTask::TWinRegisteredTask(const std::string& ATaskPath) : FTaskPath(ATaskPath)
{
    size_t slash = ATaskPath.rfind('\\');
    FTaskName = slash == std::string::npos ? ATaskPath : ATaskPath.substr(slash + 1);
    FTask = std::make_unique<TWinTask>(std::make_shared<TTaskDefinition>(ReadTaskDefinition(ATaskPath)));
    FTask->Refresh();
}

namespace {

void DaemonCall(const std::string& verb, const std::string& taskPath)
{
    std::string answer = SchedDaemonRequest(verb + " " + taskPath);
    if (answer.rfind("ok", 0) == 0)
        return;
    // "error <code> <message>"
    HRESULT code = E_FAIL;
    std::string message = answer;
    if (answer.rfind("error ", 0) == 0) {
        std::string rest = answer.substr(6);
        size_t sp = rest.find(' ');
        try {
            code = static_cast<HRESULT>(std::stoll(rest.substr(0, sp)));
        } catch (...) {
        }
        message = sp == std::string::npos ? "" : rest.substr(sp + 1);
    }
    throw EOleSysError(message, code);
}

bool ProcessAlive(int pid)
{
    return pid > 0 && (kill(pid, 0) == 0 || errno == EPERM);
}

} // namespace

void TWinRegisteredTask::Run()
{
    DaemonCall("run", FTaskPath);
}

void TWinRegisteredTask::Stop()
{
    DaemonCall("stop", FTaskPath);
}

bool TWinRegisteredTask::Enabled() const
{
    return ReadTaskDefinition(FTaskPath).Enabled;
}

void TWinRegisteredTask::SetEnabled(bool v)
{
    TTaskDefinition def = ReadTaskDefinition(FTaskPath);
    def.Enabled = v;
    WriteTaskDefinition(FTaskPath, def);
    FTask->Definition().Enabled = v;
    try {
        SchedDaemonRequest("refresh", 1000);
    } catch (const EOleSysError&) {
        // the daemon reads the store when it starts
    }
}

HRESULT TWinRegisteredTask::LastResult() const
{
    return ReadTaskState(FTaskPath).LastResult;
}

TDateTime TWinRegisteredTask::LastRunTime() const
{
    return ReadTaskState(FTaskPath).LastRunTime;
}

TDateTime TWinRegisteredTask::NextRunTime() const
{
    TTaskDefinition def = ReadTaskDefinition(FTaskPath);
    if (!def.Enabled)
        return 0;
    TTaskState state = ReadTaskState(FTaskPath);
    if (state.NextRunTime > 0)
        return state.NextRunTime;
    // not planned by the daemon (yet): the triggers tell
    return NextTaskRunTime(def, std::max(Clock::Current().NowLocal(), state.LastDueTime));
}

int TWinRegisteredTask::NumberOfMissedRuns() const
{
    return ReadTaskState(FTaskPath).MissedRuns;
}

TWinTaskStatus TWinRegisteredTask::Status() const
{
    TTaskDefinition def = ReadTaskDefinition(FTaskPath);
    TTaskState st = ReadTaskState(FTaskPath);
    if (st.RunningCount > 0 && ProcessAlive(st.RunningPid))
        return tsRunning;
    if (!def.Enabled)
        return tsDisabled;
    if (st.Queued)
        return tsQueued;
    return tsReady;
}

std::string TWinRegisteredTask::Xml() const
{
    return TaskDefinitionToXml(ReadTaskDefinition(FTaskPath));
}

std::string TWinTaskSubFolder::Name() const
{
    size_t slash = FPath.rfind('\\');
    return slash == std::string::npos ? FPath : FPath.substr(slash + 1);
}

// --- Folder

void TWinTaskFolder::SetError(const EOleSysError& e)
{
    FErrMsg = e.Message();
    FErrorCode = e.ErrorCode;
}

void TWinTaskFolder::ClearError()
{
    FErrMsg.clear();
    FErrorCode = 0;
}

std::string TWinTaskFolder::FolderName() const
{
    std::string p = FolderPath();
    size_t slash = p.rfind('\\');
    return p.substr(slash + 1);
}

HRESULT TWinTaskFolder::Refresh()
{
    try {
        FTasks.clear();
        FFolders.clear();
        for (const std::string& name : ListTaskNames(FPath)) {
            std::unique_ptr<TWinRegisteredTask> task;
            try {
                task = std::make_unique<TWinRegisteredTask>(JoinTaskPath(FPath, name));
            } catch (const EOleSysError& e) {
                // a damaged definition stays in the store untouched; it is not listed
                if (e.ErrorCode == SCHED_E_MALFORMED_XML || e.ErrorCode == HResultFromWin32(2))
                    continue;
                throw;
            }
            if (task->Definition()->Definition().Hidden)
                continue;
            task->SetTaskIndex(static_cast<int>(FTasks.size()));
            FTasks.push_back(std::move(task));
        }
        for (const std::string& name : ListTaskFolders(FPath))
            FFolders.push_back(std::make_unique<TWinTaskSubFolder>(JoinTaskPath(FPath, name)));
        FErrorCode = 0;
        return 0;
    } catch (const EOleSysError& e) {
        SetError(e);
        return e.ErrorCode;
    }
}

int TWinTaskFolder::IndexOfTask(const std::string& TaskName) const
{
    for (size_t i = 0; i < FTasks.size(); ++i)
        if (utf8::SameText(FTasks[i]->TaskName(), TaskName))
            return static_cast<int>(i);
    return -1;
}

int TWinTaskFolder::IndexOfFolder(const std::string& FolderName) const
{
    for (size_t i = 0; i < FFolders.size(); ++i)
        if (utf8::SameText(FFolders[i]->Name(), FolderName))
            return static_cast<int>(i);
    return -1;
}

int TWinTaskFolder::RegisterTask(const std::string& TaskName, TWinTask* ATask, std::string Username,
                                 std::string Password)
{
    ClearError();
    TLogonType logon = ATask->LogonType();
    if (logon == ltToken) {
        Username.clear();
        Password.clear();
    } else if (logon == ltService) {
        Password.clear();
    }
    try {
        if (TaskName.empty() || !IsValidFileName(TaskName))
            throw EOleSysError(Format(_("\"%s\" is not a valid task name."), {TaskName}), E_INVALIDARG);
        // Tasks run under the account of the store's user: another account cannot be mapped.
        if (!Username.empty() && Username != GetCurrentUserName())
            throw EOleSysError(
                Format(_("The task cannot run as \"%s\": scheduled tasks run under the account "
                         "of the user who owns the task store."),
                       {Username}),
                HResultFromWin32(1332));
        TTaskDefinition def = ATask->Definition();
        if (!Username.empty())
            def.UserId = Username;
        // an existing task whose name differs only in case is replaced
        int old = -1;
        for (const std::string& name : ListTaskNames(FPath))
            if (utf8::SameText(name, TaskName) && name != TaskName) {
                std::remove(TaskDefinitionFile(JoinTaskPath(FPath, name)).c_str());
                std::rename(TaskStateFile(JoinTaskPath(FPath, name)).c_str(),
                            TaskStateFile(JoinTaskPath(FPath, TaskName)).c_str());
                old = 1;
            }
        (void)old;
        WriteTaskDefinition(JoinTaskPath(FPath, TaskName), def);
        try {
            SchedDaemonRequest("refresh", 1000);
        } catch (const EOleSysError&) {
            // the daemon reads the store when it starts
        }
        Refresh();
        return IndexOfTask(TaskName);
    } catch (const EOleSysError& e) {
        SetError(e);
        return -1;
    }
}

bool TWinTaskFolder::DeleteTask(const std::string& TaskName)
{
    ClearError();
    try {
        std::string name = TaskName;
        int i = IndexOfTask(TaskName);
        if (i >= 0)
            name = FTasks[static_cast<size_t>(i)]->TaskName();
        std::string path = JoinTaskPath(FPath, name);
        if (std::remove(TaskDefinitionFile(path).c_str()) != 0) {
            HRESULT hr = errno == ENOENT ? HResultFromWin32(2) : HResultFromWin32(LastWinError());
            throw EOleSysError(SystemErrorText(static_cast<uint32_t>(hr) & 0xFFFF), hr);
        }
        std::remove(TaskStateFile(path).c_str());
        try {
            SchedDaemonRequest("refresh", 1000);
        } catch (const EOleSysError&) {
        }
        return Refresh() == 0;
    } catch (const EOleSysError& e) {
        SetError(e);
        return false;
    }
}

int TWinTaskFolder::CreateFolder(const std::string& AName)
{
    ClearError();
    try {
        if (AName.empty() || !IsValidFileName(AName))
            throw EOleSysError(Format(_("\"%s\" is not a valid task name."), {AName}), E_INVALIDARG);
        std::string dir = TaskFolderDir(JoinTaskPath(FPath, AName));
        // the store's folders up to this one
        std::string part;
        for (size_t pos = 1; pos != std::string::npos;) {
            pos = dir.find('/', pos + 1);
            part = dir.substr(0, pos);
            if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST)
                throw EOleSysError(SystemErrorText(LastWinError()), HResultFromWin32(LastWinError()));
        }
        if (Refresh() != 0)
            return -1;
        return IndexOfFolder(AName);
    } catch (const EOleSysError& e) {
        SetError(e);
        return -1;
    }
}

bool TWinTaskFolder::DeleteFolder(const std::string& AName)
{
    ClearError();
    try {
        std::string dir = TaskFolderDir(JoinTaskPath(FPath, AName));
        if (rmdir(dir.c_str()) != 0) {
            uint32_t code = errno == ENOTEMPTY ? 145 : LastWinError();
            throw EOleSysError(SystemErrorText(code), HResultFromWin32(code));
        }
        return Refresh() == 0;
    } catch (const EOleSysError& e) {
        SetError(e);
        return false;
    }
}

TWinRegisteredTask* TWinTaskFolder::GetTask(int Index) const
{
    if (Index < 0 || Index >= TaskCount())
        throw Exception(Format("List index out of bounds (%d)", {Index}));
    return FTasks[static_cast<size_t>(Index)].get();
}

TWinTaskSubFolder* TWinTaskFolder::GetFolder(int Index) const
{
    if (Index < 0 || Index >= FolderCount())
        throw Exception(Format("List index out of bounds (%d)", {Index}));
    return FFolders[static_cast<size_t>(Index)].get();
}

// --- Scheduler

TWinTaskScheduler::TWinTaskScheduler() = default;

HRESULT TWinTaskScheduler::Init()
{
    if (FResult < 0)
        return FResult;
    return Refresh();
}

HRESULT TWinTaskScheduler::Refresh()
{
    FTaskFolder.reset();
    std::string path = FFolder == "\\" ? std::string() : FFolder;
    struct stat st
    {
    };
    if (!path.empty() && stat(TaskFolderDir(path).c_str(), &st) != 0)
        return HResultFromWin32(3);
    FTaskFolder = std::make_unique<TWinTaskFolder>(path);
    return FTaskFolder->Refresh();
}

std::unique_ptr<TWinTask> TWinTaskScheduler::NewTask()
{
    auto task = std::make_unique<TWinTask>(std::make_shared<TTaskDefinition>());
    task->Settings().SetCompatibility(GetCompatibilityForOS());
    return task;
}

bool TWinTaskScheduler::IsRunning()
{
    return SchedDaemonAnswers();
}

void TWinTaskScheduler::SetPath(const std::string& v)
{
    FFolder = v;
    Refresh();
}

TWinTaskCompatibility GetCompatibilityForOS()
{
    return tcWin10;
}

HRESULT ConnectTaskScheduler(std::unique_ptr<TWinTaskScheduler>& AScheduler)
{
    if (!EnsureSchedDaemon())
        return SCHED_E_SERVICE_NOT_RUNNING;
    AScheduler = std::make_unique<TWinTaskScheduler>();
    return AScheduler->Init();
}
