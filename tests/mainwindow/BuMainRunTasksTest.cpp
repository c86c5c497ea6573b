// Parallel runs: the child argument vectors, the instance numbers in list order, and a child that
// cannot be started or dies by a signal.

#include <algorithm>
#include <cstdlib>
#include <gtest/gtest.h>
#include <mutex>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "mainwindow/BuMainRunTasks.h"
#include "support/FakeProgram.h"
#include "support/Files.h"
#include "support/Sandbox.h"

namespace {

class RunTasksTest : public SandboxTest
{
};

TEST(BuildChildOptionsTest, EachModePriorityAndOriginGivesItsOption)
{
    struct Case
    {
        TThreadPriority priority;
        TInteraction interAct;
        int origin;
        std::vector<std::string> expected;
    } cases[] = {
        {tpNormal, iaNone, 0, {}},
        {tpNormal, iaPrompt, 0, {"/prompt:wait"}},
        {tpNormal, iaDelay, 0, {"/prompt:delay"}},
        {tpNormal, iaQuiet, 0, {"/prompt:quiet"}},
        {tpNormal, iaErrorPrompt, 0, {"/prompt:error"}},
        {tpHigher, iaQuietError, 3, {"/prompt:silent", "/speed:fast", "/startapp:qvstarter"}},
        {tpLowest, iaNone, 1, {"/speed:slow", "/startapp:scheduler"}},
        {tpIdle, iaNone, 5, {"/speed:slow", "/startapp:qvmon"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(BuildChildOptions(c.priority, c.interAct, c.origin), c.expected);

    // A folder with blanks stays one argument: there is no shell to split it.
    EXPECT_EQ(BuildParallelArgv("/opt/my apps/Vastrel", "/home/u/my settings.ini", tpNormal, iaDelay, 0,
                                "/var/log/my logs"),
              (std::vector<std::string>{"/opt/my apps/Vastrel", "/force", "/noaction",
                                        "/ini:/home/u/my settings.ini", "/hide", "/prompt:delay",
                                        "/logdir:/var/log/my logs"}));
}

TEST_F(RunTasksTest, ChildrenGetInstanceNumbersInListOrderAndFailuresAreReportedOnce)
{
    const std::string record = sandbox.Path("record.txt");
    setenv("VASTREL_FAKE_RECORD", record.c_str(), 1);
    setenv("VASTREL_FAKE_SLEEP_MS", "200", 1);
    std::vector<std::string> errors;
    std::mutex lock;
    {
        TRunTasks run({FakeProgramPath(), "/force", "/noaction"});
        run.OnError = [&](const std::string& text) {
            std::lock_guard<std::mutex> guard(lock);
            errors.push_back(text);
        };
        EXPECT_TRUE(run.Paused());
        for (const char* task : {"/t/one.buj", "/t/with blank.buj", "/t/one.buj", "/t/three.buj"})
            run.AddTask(task);
        run.SetPaused(false);
        ASSERT_TRUE(run.WaitFor(60000u));
        EXPECT_TRUE(run.Done());
        run.SetPaused(true); // a worker that has ended stays ended
        EXPECT_FALSE(run.Paused());
    }
    unsetenv("VASTREL_FAKE_SLEEP_MS");
    auto runs = ReadFakeRuns(record);
    ASSERT_EQ(runs.size(), 3u);
    std::vector<std::vector<std::string>> args;
    for (const auto& r : runs)
        args.push_back(std::vector<std::string>(r.args.begin() + 1, r.args.end()));
    std::sort(args.begin(), args.end());
    EXPECT_EQ(args, (std::vector<std::vector<std::string>>{
                        {"/force", "/noaction", "/xinst:1", "/t/one.buj"},
                        {"/force", "/noaction", "/xinst:2", "/t/with blank.buj"},
                        {"/force", "/noaction", "/xinst:3", "/t/three.buj"},
                    }));
    EXPECT_TRUE(errors.empty());

    // A program that cannot be started is dropped with one message; a child killed by a signal is
    // named with the signal; a child that ends with an error code of its own is its own business.
    errors.clear();
    WriteFileBytes(sandbox.Path("crash.sh"),
                   "#!/bin/sh\ncase \"$2\" in *crash*) kill -SEGV $$;; esac\nexit 4\n");
    ASSERT_EQ(chmod(sandbox.Path("crash.sh").c_str(), 0755), 0);
    {
        TRunTasks missing({sandbox.Path("no-such-program")});
        missing.OnError = [&](const std::string& text) { errors.push_back(text); };
        missing.AddTask("/t/a.buj");
        missing.SetPaused(false);
        ASSERT_TRUE(missing.WaitFor(60000u));
    }
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].rfind("Error on starting Vastrel: ", 0), 0u) << errors[0];
    errors.clear();
    {
        TRunTasks crashing({sandbox.Path("crash.sh")});
        crashing.OnError = [&](const std::string& text) {
            std::lock_guard<std::mutex> guard(lock);
            errors.push_back(text);
        };
        crashing.AddTask("/t/crash.buj");
        crashing.AddTask("/t/fails.buj");
        crashing.SetPaused(false);
        ASSERT_TRUE(crashing.WaitFor(60000u));
    }
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0], "The parallel run of \"/t/crash.buj\" ended abnormally (signal 11).");
}

} // namespace
