// The scheduler daemon as a real process over a task store in the test's sandbox.
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "foundation/WinExecute.h"
#include "platform/FileText.h"
#include "rtl/Clock.h"
#include "scheduling/TaskStore.h"
#include "scheduling/WinTaskScheduler.h"
#include "support/FakeProgram.h"
#include "support/Files.h"
#include "support/Sandbox.h"
#include "support/WaitFor.h"

#ifndef VASTREL_SCHEDD
#error "VASTREL_SCHEDD must name the daemon program"
#endif

namespace {

using namespace std::chrono_literals;

bool FileExists(const std::string& path)
{
    return access(path.c_str(), F_OK) == 0;
}

class SchedDaemonTest : public SandboxTest
{
protected:
    void SetUp() override
    {
        record = sandbox.Path("record.txt");
        setenv("VASTREL_FAKE_RECORD", record.c_str(), 1);
    }
    void TearDown() override
    {
        for (pid_t pid : daemons)
            StopDaemon(pid, SIGKILL);
        unsetenv("VASTREL_FAKE_RECORD");
    }

    pid_t StartDaemon()
    {
        pid_t pid = StartProcess({VASTREL_SCHEDD, "--foreground"}, sandbox.Path());
        daemons.push_back(pid);
        EXPECT_TRUE(WaitFor([] { return SchedDaemonAnswers(200); })) << Log();
        return pid;
    }
    // Ends a daemon and returns its exit status.
    int StopDaemon(pid_t pid, int sig = SIGTERM)
    {
        std::erase(daemons, pid);
        kill(pid, sig);
        int status = 0;
        waitpid(pid, &status, 0);
        return status;
    }
    std::string Log() const { return ReadSmallFile(SchedDaemonLogFile()); }
    bool LogHas(const std::string& text) const { return Log().find(text) != std::string::npos; }

    // A task that starts the fake program through env, which sets the fake program's own settings.
    std::unique_ptr<TWinTask> FakeTask(const std::string& settings, const std::string& args = "")
    {
        std::unique_ptr<TWinTask> t = scheduler.NewTask();
        TWinTaskAction* a = t->NewAction(taExec);
        a->SetPath("/usr/bin/env");
        a->SetArguments(settings + " " + FakeProgramPath() + (args.empty() ? "" : " " + args));
        return t;
    }
    int Register(const std::string& name, TWinTask* task)
    {
        if (!scheduler.TaskFolder()) {
            EXPECT_EQ(scheduler.Init(), 0);
        }
        return scheduler.TaskFolder()->RegisterTask(name, task, "", "");
    }
    TWinRegisteredTask* Task(const std::string& name)
    {
        scheduler.Refresh();
        int i = scheduler.TaskFolder()->IndexOfTask(name);
        return i < 0 ? nullptr : scheduler.TaskFolder()->GetTask(i);
    }
    size_t Runs() const { return ReadFakeRuns(record).size(); }

    std::string record;
    std::vector<pid_t> daemons;
    TWinTaskScheduler scheduler;
};

TEST_F(SchedDaemonTest, ADueTaskStartsItsProgramOnTimeAndRecordsResultAndNextRun)
{
    StartDaemon();
    TDateTime now = Clock::Current().NowLocal();
    TDateTime due = IncSecond(DateOf(now) + std::floor(TimeOf(now) * SecsPerDay) / SecsPerDay, 3);
    auto task = FakeTask("VASTREL_FAKE_EXIT=3", "first \"second arg\"");
    task->GetAction(0)->SetWorkingDirectory("\"" + sandbox.Path("work dir") + "\"");
    WriteFileBytes(sandbox.Path("work dir/x"), "");
    TWinTaskTrigger* once = task->NewTrigger(ttTime);
    once->SetStartTime(due);
    TWinTaskTrigger* daily = task->NewTrigger(ttDaily);
    daily->SetStartTime(IncDay(due, 1));
    ASSERT_EQ(Register("Due", task.get()), 0);

    ASSERT_TRUE(WaitFor([&] { return Runs() == 1; }, 15s)) << Log();
    TDateTime started = Clock::Current().NowLocal();
    EXPECT_GE(started, due - 1.0 / SecsPerDay) << "started before its time";
    std::vector<FakeRun> runs = ReadFakeRuns(record);
    EXPECT_EQ(runs[0].args, (std::vector<std::string>{FakeProgramPath(), "first", "second arg"}));
    EXPECT_EQ(runs[0].Env("VASTREL_STARTED_BY"), "scheduler");
    EXPECT_EQ(runs[0].cwd, sandbox.Path("work dir"));
    ASSERT_TRUE(WaitFor([&] { return Task("Due")->LastResult() == 3; })) << Log();
    TWinRegisteredTask* t = Task("Due");
    EXPECT_EQ(t->Status(), tsReady);
    EXPECT_NEAR(t->LastRunTime(), due, 2.0 / SecsPerDay);
    EXPECT_NEAR(t->NextRunTime(), IncDay(due, 1), 1.0 / SecsPerDay);
    EXPECT_EQ(t->NumberOfMissedRuns(), 0);
    EXPECT_EQ(Runs(), 1u);
}

TEST_F(SchedDaemonTest, RunStopDisableAndDeleteOnRequest)
{
    StartDaemon();
    auto task = FakeTask("VASTREL_FAKE_SLEEP_MS=60000");
    task->NewTrigger(ttDaily)->SetStartTime(IncDay(Clock::Current().NowLocal(), 1));
    ASSERT_EQ(Register("Long", task.get()), 0);
    Task("Long")->Run();
    ASSERT_TRUE(WaitFor([&] { return Task("Long")->Status() == tsRunning; })) << Log();
    ASSERT_TRUE(WaitFor([&] { return Runs() == 1; }));
    // the default policy ignores a second start while one runs
    Task("Long")->Run();
    ASSERT_TRUE(WaitFor([&] { return LogHas("is already running"); })) << Log();
    EXPECT_EQ(Runs(), 1u);
    Task("Long")->Stop();
    ASSERT_TRUE(WaitFor([&] { return Task("Long")->LastResult() == SCHED_S_TASK_TERMINATED; })) << Log();
    EXPECT_EQ(Task("Long")->Status(), tsReady);
    try {
        Task("Long")->Stop();
        ADD_FAILURE() << "a task that does not run cannot stop";
    } catch (const EOleSysError& e) {
        EXPECT_EQ(e.ErrorCode, SCHED_E_TASK_NOT_RUNNING);
    }

    Task("Long")->SetEnabled(false);
    EXPECT_EQ(Task("Long")->Status(), tsDisabled);
    EXPECT_EQ(Task("Long")->NextRunTime(), 0);
    EXPECT_THROW(Task("Long")->Run(), EOleSysError);
    Task("Long")->SetEnabled(true);
    EXPECT_GT(Task("Long")->NextRunTime(), 0);

    ASSERT_TRUE(scheduler.TaskFolder()->DeleteTask("Long"));
    ASSERT_TRUE(WaitFor([&] { return LogHas("Task \\Long was deleted"); })) << Log();
    EXPECT_FALSE(FileExists(TaskStateFile("\\Long")));
    EXPECT_EQ(Runs(), 1u);
}

TEST_F(SchedDaemonTest, InstancePoliciesQueueRunInParallelOrStopTheRunningOne)
{
    StartDaemon();
    struct Case
    {
        const char* Name;
        TMultipleInstances Policy;
        size_t RunsAfterSecondStart;
    } cases[] = {{"Queue", miQueue, 1}, {"Parallel", miParallel, 2}, {"StopExisting", miStopExisting, 2}};
    size_t total = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        auto task = FakeTask("VASTREL_FAKE_SLEEP_MS=60000");
        task->Settings().SetMultipleInstances(c.Policy);
        ASSERT_GE(Register(c.Name, task.get()), 0);
        Task(c.Name)->Run();
        ASSERT_TRUE(WaitFor([&] { return Runs() == total + 1; })) << Log();
        Task(c.Name)->Run();
        if (c.Policy == miQueue) {
            // a queued instance behind a running one: the task shows as running
            ASSERT_TRUE(WaitFor([&] { return LogHas("Task \\Queue is queued"); })) << Log();
            EXPECT_EQ(Task(c.Name)->Status(), tsRunning);
        }
        ASSERT_TRUE(WaitFor([&] { return Runs() == total + c.RunsAfterSecondStart; })) << Log();
        if (c.Policy == miQueue) {
            // the queued instance starts when the running one ends
            kill(ReadFakeRuns(record)[total].pid, SIGTERM);
            ASSERT_TRUE(WaitFor([&] { return Runs() == total + 2; })) << Log();
        }
        if (c.Policy == miStopExisting) {
            EXPECT_TRUE(LogHas("the running instance is stopped for the new one"));
        }
        total = Runs();
        Task(c.Name)->Stop();
        ASSERT_TRUE(WaitFor([&] { return Task(c.Name)->LastResult() == SCHED_S_TASK_TERMINATED; })) << Log();
    }
}

TEST_F(SchedDaemonTest, AMissedRunIsMadeUpOnceWhenTheTaskAsksForIt)
{
    // what a daemon that went down an hour before its planned run left in the store
    TDateTime now = Clock::Current().NowLocal();
    TDateTime planned = std::floor(IncMinute(now, -60) * SecsPerDay) / SecsPerDay; // whole seconds
    for (bool catchUp : {true, false}) {
        auto task = FakeTask("VASTREL_FAKE_EXIT=0", catchUp ? "catch-up" : "no-catch-up");
        task->NewTrigger(ttDaily)->SetStartTime(IncDay(planned, -3));
        task->Settings().SetRunIfMissed(catchUp);
        std::string name = catchUp ? "CatchUp" : "Skip";
        ASSERT_GE(Register(name, task.get()), 0);
        TTaskState state;
        state.NextRunTime = planned;
        state.LastDueTime = IncDay(state.NextRunTime, -1);
        state.LastResult = 0;
        ASSERT_TRUE(WriteTaskState("\\" + name, state));
    }
    StartDaemon();
    ASSERT_TRUE(WaitFor([&] { return Task("Skip")->NumberOfMissedRuns() == 1; }))
        << Log() << ReadFileBytes(TaskStateFile("\\Skip"));
    ASSERT_TRUE(WaitFor([&] { return Task("CatchUp")->NumberOfMissedRuns() == 1 && Runs() == 1; })) << Log();
    EXPECT_EQ(ReadFakeRuns(record)[0].args.back(), "catch-up");
    EXPECT_NEAR(Task("CatchUp")->NextRunTime(), IncDay(planned, 1), 2.0 / SecsPerDay);
    // proof that the daemon went past the point where a second run would start: it answers and the plan is
    // written
    ASSERT_TRUE(SchedDaemonAnswers());
    EXPECT_EQ(Runs(), 1u);
}

TEST_F(SchedDaemonTest, BadInputIsLoggedAndNothingIsLostOrRunTwice)
{
    pid_t first = StartDaemon();
    // a second daemon for the same store exits with a message
    std::string out;
    uint32_t rc = ExecuteConsoleProcess(VASTREL_SCHEDD, {VASTREL_SCHEDD}, sandbox.Path(),
                                        ecCapture | ecStdErr, 10000, true, &out);
    EXPECT_EQ(rc, 0u);
    EXPECT_NE(out.find("another scheduler daemon"), std::string::npos) << out;

    // a damaged definition and a missing program
    WriteFileBytes(TaskDefinitionFile("\\Damaged"), "<Task><Triggers><TimeTrigger>");
    auto missing = scheduler.NewTask();
    missing->NewAction(taExec)->SetPath("/nonexistent/program");
    ASSERT_GE(Register("Missing", missing.get()), 0);
    Task("Missing")->Run();
    ASSERT_TRUE(WaitFor([&] { return Task("Missing")->LastResult() == static_cast<HRESULT>(0x80070002); }))
        << Log();
    EXPECT_TRUE(LogHas("Task \\Damaged is damaged"));
    EXPECT_EQ(ReadFileBytes(TaskDefinitionFile("\\Damaged")), "<Task><Triggers><TimeTrigger>");

    // killed in the middle of a run: the definition and the state stay whole
    auto task = FakeTask("VASTREL_FAKE_SLEEP_MS=60000");
    task->NewTrigger(ttDaily)->SetStartTime(IncDay(Clock::Current().NowLocal(), 1));
    ASSERT_GE(Register("Long", task.get()), 0);
    std::string definition = ReadFileBytes(TaskDefinitionFile("\\Long"));
    Task("Long")->Run();
    ASSERT_TRUE(WaitFor([&] { return Task("Long")->Status() == tsRunning && Runs() == 1; })) << Log();
    StopDaemon(first, SIGKILL);
    kill(ReadFakeRuns(record).back().pid, SIGKILL);
    EXPECT_EQ(ReadFileBytes(TaskDefinitionFile("\\Long")), definition);
    TTaskState left = ReadTaskState("\\Long");
    EXPECT_EQ(left.LastResult, SCHED_S_TASK_RUNNING);
    EXPECT_GT(left.NextRunTime, 0);

    pid_t second = StartDaemon();
    ASSERT_TRUE(WaitFor([&] { return Task("Long")->LastResult() == SCHED_S_TASK_TERMINATED; })) << Log();
    EXPECT_EQ(Task("Long")->Status(), tsReady);
    EXPECT_NEAR(Task("Long")->NextRunTime(), left.NextRunTime, 1.0 / SecsPerDay);
    // a clean end removes the socket
    int status = StopDaemon(second);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_FALSE(FileExists(SchedDaemonSocket()));
    EXPECT_FALSE(SchedDaemonAnswers(200));
}

} // namespace
