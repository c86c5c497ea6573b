#pragma once
// The per-user task store that stands in for the system's task scheduler service: one XML definition per
// task under $XDG_DATA_HOME/vastrel/tasks/ (task folders are folders), and beside each definition
// "<name>.state", the state the scheduler daemon keeps for it (last and next run, last result, missed
// runs, the running process). Definitions are written by the programs of the suite, states only by the
// daemon; both are replaced whole (a new file renamed over the old one), so a crash never leaves half a
// file. The daemon answers on a local socket in $XDG_RUNTIME_DIR.

#include <cstdint>
#include <string>
#include <vector>

#include "rtl/DateTime.h"
#include "scheduling/WinTask.h"

// Folder of the store, its task folder, the daemon's lock and log files and its socket.
std::string TaskStoreDir();  // $XDG_DATA_HOME/vastrel
std::string TaskStoreRoot(); // TaskStoreDir()/tasks
std::string SchedDaemonLockFile();
std::string SchedDaemonLogFile();
std::string SchedDaemonSocket();

// A task path of the store ("\Folder\Name") and the file system paths of its files.
std::string TaskDefinitionFile(const std::string& taskPath);
std::string TaskStateFile(const std::string& taskPath);
std::string TaskFolderDir(const std::string& folderPath);
// A name as a file name (what a file name cannot hold escaped as %XX) and back.
std::string EscapeTaskName(const std::string& name);
std::string UnescapeTaskName(const std::string& fileName);
// "\" + name for the root, else folder + "\" + name.
std::string JoinTaskPath(const std::string& folderPath, const std::string& name);

// The names of the definitions (without ".xml") and of the sub-folders of a store folder, sorted.
// Raises EOleSysError with the folder's error (0x80070003 when it does not exist).
std::vector<std::string> ListTaskNames(const std::string& folderPath);
std::vector<std::string> ListTaskFolders(const std::string& folderPath);

// Reads a definition; raises EOleSysError (SCHED_E_MALFORMED_XML for a damaged text, the file's error
// when it cannot be read).
TTaskDefinition ReadTaskDefinition(const std::string& taskPath);
// Writes a definition, creating the folders of the store as needed; raises EOleSysError on failure.
void WriteTaskDefinition(const std::string& taskPath, const TTaskDefinition& def);

// What the daemon records of a task.
struct TTaskState
{
    TDateTime LastRunTime = 0; // local time of the last start
    HRESULT LastResult = SCHED_S_TASK_HAS_NOT_RUN;
    TDateTime NextRunTime = 0; // local time of the next scheduled start, 0 when none
    TDateTime LastDueTime = 0; // local time of the last scheduled start that was handled
    int MissedRuns = 0;
    int RunningPid = 0;   // the process of the running instance, 0 when none
    int RunningCount = 0; // instances running
    bool Queued = false;  // an instance waits for the running one to end
    std::string BootId;   // the system start the boot triggers last saw
};

// Reads a state; a missing or unreadable file gives the state of a task that never ran.
TTaskState ReadTaskState(const std::string& taskPath);
// Writes a state (replacing the file whole); false when it cannot be written.
bool WriteTaskState(const std::string& taskPath, const TTaskState& state);
std::string TaskStateToText(const TTaskState& state);
TTaskState TaskStateFromText(const std::string& text);

// --- The daemon's socket: one request line per connection, one answer line.
//   run <task path>  /  stop <task path>  /  refresh  /  status
// Answers "ok" (status: "ok <pid>") or "error <code> <message>".

// Sends a request and returns the daemon's answer line; raises EOleSysError SCHED_E_SERVICE_NOT_RUNNING
// when nothing answers on the socket within timeoutMs.
std::string SchedDaemonRequest(const std::string& request, int timeoutMs = 3000);
// True when the daemon answers "status".
bool SchedDaemonAnswers(int timeoutMs = 1000);
// Starts the daemon program (beside the running program, else on PATH) when it does not answer, and waits
// up to timeoutMs for its answer. True when it answers.
bool EnsureSchedDaemon(int timeoutMs = 3000);
// The daemon program that EnsureSchedDaemon starts ("" = look beside the running program, then on PATH).
void SetSchedDaemonProgram(const std::string& path);
