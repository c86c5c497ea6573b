#pragma once
// Parallel runs: one child process of the program per task file, each an ordinary batch run that
// reads its instance number from /xinst:. The worker starts the children, polls them and drops the
// finished ones; it ends when every child has ended.

#include <functional>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <vector>

#include "backup/TaskSettings.h"
#include "foundation/BuConsts.h"
#include "rtl/Thread.h"

// The options a child run takes over from its parent: "/prompt:" by interaction, "/speed:" by
// priority, "/startapp:" by start origin (nothing for the defaults), each one argument.
std::vector<std::string> BuildChildOptions(TThreadPriority priority, TInteraction interAct, int origin);

// The common part of a child's argument vector: the program, /force, /noaction, /ini: with the
// settings file, /hide, the child options and /logdir: when logDir is set.
std::vector<std::string> BuildParallelArgv(const std::string& program, const std::string& settingsFile,
                                           TThreadPriority priority, TInteraction interAct, int origin,
                                           const std::string& logDir);

class TRunTasks : public TThread
{
public:
    // childArgv: the common part of every child's argument vector (program first). The worker starts
    // paused: add the tasks, then unpause it.
    explicit TRunTasks(std::vector<std::string> childArgv);
    ~TRunTasks() override;

    // Adds a task file unless the list holds it already.
    void AddTask(const std::string& name);
    // Holds (true) or releases (false) the worker before its next pass; ignored once it has ended.
    void SetPaused(bool value);
    bool Paused() const;
    // True once every child has ended (or could not be started).
    bool Done() const { return Finished(); }
    // The children running now.
    std::vector<pid_t> RunningChildren() const;

    // Called on the worker thread for a child that could not be started ("Error on starting Vastrel:
    // %s") or that ended by a signal; the host shows it on its own thread. Set before unpausing.
    std::function<void(const std::string& message)> OnError;

protected:
    void Execute() override;

private:
    struct TEntry
    {
        std::string Task;
        pid_t Pid = 0;
        bool Started = false;
    };
    // Starts one child; false with errorText set when it cannot be started.
    bool LaunchTask(const std::vector<std::string>& argv, std::string& errorText, pid_t& pid);
    void Report(const std::string& message);
    std::vector<std::string> FCmd;
    std::vector<TEntry> FTasks;
    mutable std::mutex FLock;
    bool FPaused = true;
    TEvent FEvent{true, false};
};
