#include "mainwindow/BuMainRunTasks.h"

#include <chrono>
#include <thread>

#include "foundation/WinExecute.h"
#include "rtl/Gettext.h"
#include "rtl/SysUtils.h"

std::vector<std::string> BuildChildOptions(TThreadPriority priority, TInteraction interAct, int origin)
{
    std::vector<std::string> options;
    static const char* const prompts[] = {"wait", "delay", "quiet", "error", "silent"};
    if (interAct >= iaPrompt && interAct <= iaQuietError)
        options.push_back(std::string("/prompt:") + prompts[interAct]);
    if (priority != tpNormal)
        options.push_back(std::string("/speed:") + (priority == tpHigher ? "fast" : "slow"));
    static const char* const origins[] = {"scheduler", "orvane", "qvstarter", "qvplaner", "qvmon"};
    if (origin >= 1 && origin <= 5)
        options.push_back(std::string("/startapp:") + origins[origin - 1]);
    return options;
}

std::vector<std::string> BuildParallelArgv(const std::string& program, const std::string& settingsFile,
                                           TThreadPriority priority, TInteraction interAct, int origin,
                                           const std::string& logDir)
{
    std::vector<std::string> argv{program, "/force", "/noaction", "/ini:" + settingsFile, "/hide"};
    for (auto& option : BuildChildOptions(priority, interAct, origin))
        argv.push_back(option);
    if (!logDir.empty())
        argv.push_back("/logdir:" + logDir);
    return argv;
}

TRunTasks::TRunTasks(std::vector<std::string> childArgv) : TThread(true), FCmd(std::move(childArgv))
{
    Start();
}

TRunTasks::~TRunTasks()
{
    // The children are ordinary runs of their own: they are not ended with the worker.
    Terminate();
    FEvent.SetEvent();
    WaitFor();
}

void TRunTasks::AddTask(const std::string& name)
{
    std::lock_guard<std::mutex> guard(FLock);
    for (const auto& e : FTasks)
        if (e.Task == name)
            return;
    FTasks.push_back(TEntry{name});
}

void TRunTasks::SetPaused(bool value)
{
    std::lock_guard<std::mutex> guard(FLock);
    if (Finished() || value == FPaused)
        return;
    FPaused = value;
    if (value)
        FEvent.ResetEvent();
    else
        FEvent.SetEvent();
}

bool TRunTasks::Paused() const
{
    std::lock_guard<std::mutex> guard(FLock);
    return FPaused;
}

std::vector<pid_t> TRunTasks::RunningChildren() const
{
    std::lock_guard<std::mutex> guard(FLock);
    std::vector<pid_t> pids;
    for (const auto& e : FTasks)
        if (e.Pid > 0)
            pids.push_back(e.Pid);
    return pids;
}

void TRunTasks::Report(const std::string& message)
{
    if (OnError)
        OnError(message);
}

bool TRunTasks::LaunchTask(const std::vector<std::string>& argv, std::string& errorText, pid_t& pid)
{
    try {
        pid = StartProcess(argv, std::string());
        return true;
    } catch (const EProcessError& e) {
        errorText = SafeFormat(_("Error on starting Vastrel: %s"), {e.Message()});
        pid = 0;
        return false;
    }
}

void TRunTasks::Execute()
{
    for (;;) {
        FEvent.WaitFor();
        // Start the children not started yet; the instance number is the place in the list.
        std::vector<std::pair<size_t, std::vector<std::string>>> toStart;
        {
            std::lock_guard<std::mutex> guard(FLock);
            for (size_t i = 0; i < FTasks.size(); ++i) {
                if (FTasks[i].Started)
                    continue;
                std::vector<std::string> argv = FCmd;
                argv.push_back("/xinst:" + std::to_string(i + 1));
                argv.push_back(FTasks[i].Task);
                toStart.emplace_back(i, std::move(argv));
            }
        }
        for (auto& [index, argv] : toStart) {
            std::string errorText;
            pid_t pid = 0;
            const bool ok = LaunchTask(argv, errorText, pid);
            {
                std::lock_guard<std::mutex> guard(FLock);
                FTasks[index].Started = true;
                FTasks[index].Pid = ok ? pid : 0;
            }
            if (!ok)
                Report(errorText);
        }
        // Poll the running children for at most 100 ms each.
        std::vector<std::pair<std::string, pid_t>> running;
        {
            std::lock_guard<std::mutex> guard(FLock);
            for (const auto& e : FTasks)
                if (e.Pid > 0)
                    running.emplace_back(e.Task, e.Pid);
        }
        for (const auto& [task, pid] : running) {
            const uint32_t result = WaitForProcess(pid, 100, false);
            if (result == WaitTimeoutResult)
                continue;
            // A child that was killed (or crashed) wrote no result of its own: say so once.
            const uint32_t code = result & ~ApplicationExitFlag;
            if ((result & ApplicationExitFlag) != 0 && code > 128 && code < 128 + 65)
                Report(SafeFormat(_("The parallel run of \"%s\" ended abnormally (signal %d)."),
                                  {task, static_cast<int>(code - 128)}));
            std::lock_guard<std::mutex> guard(FLock);
            for (auto& e : FTasks)
                if (e.Pid == pid)
                    e.Pid = 0;
        }
        // Drop the entries without a child, from the last to the first.
        bool empty;
        {
            std::lock_guard<std::mutex> guard(FLock);
            for (size_t i = FTasks.size(); i-- > 0;)
                if (FTasks[i].Started && FTasks[i].Pid == 0)
                    FTasks.erase(FTasks.begin() + static_cast<std::ptrdiff_t>(i));
            empty = FTasks.empty();
        }
        if (empty)
            return;
        if (Terminated()) {
            // The owner goes away: the children run on by themselves; reap them later.
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
}
