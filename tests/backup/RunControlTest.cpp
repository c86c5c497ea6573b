// Pausing a run: TRunControl::WaitWhilePaused on its own, and the two walks that wait in it between
// files (the copy loop and the synchronisation of a destination). Another thread pauses, resumes and
// stops; a call that thread hands to the waiting run proves where the run stands when it is served.

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "backup/CopyLoop.h"
#include "backup/Synchronize.h"
#include "rtl/Thread.h"
#include "support/Sandbox.h"

namespace fs = std::filesystem;

namespace {

// A thread that runs body and may hand calls to the thread that made it, which runs them at its
// checkpoints.
class TOtherThread : public TThread
{
public:
    explicit TOtherThread(std::function<void(TOtherThread&)> body) : TThread(true), FBody(std::move(body)) {}
    // Runs fn on the thread that made this one and returns when it has run.
    void Call(const std::function<void()>& fn) { Synchronize(fn); }

protected:
    void Execute() override { FBody(*this); }

private:
    std::function<void(TOtherThread&)> FBody;
};

void WriteAll(const std::string& name, const std::string& data)
{
    fs::create_directories(fs::path(name).parent_path());
    std::ofstream(name, std::ios::binary) << data;
}

// The regular files below root, relative and sorted.
std::vector<std::string> Files(const std::string& root)
{
    std::vector<std::string> files;
    if (fs::exists(root))
        for (const auto& e : fs::recursive_directory_iterator(root))
            if (e.is_regular_file())
                files.push_back(fs::relative(e.path(), root).string());
    std::sort(files.begin(), files.end());
    return files;
}

// How the other thread ends a pause.
struct TPauseEnd
{
    const char* name;
    std::function<void(TRunControl&)> end;
    bool pausedAfter;
    bool stoppedAfter;
};

const std::vector<TPauseEnd>& PauseEnds()
{
    static const std::vector<TPauseEnd> ends = {
        {"resume", [](TRunControl& c) { c.SetPaused(false); }, false, false},
        {"cancel", [](TRunControl& c) { c.Cancel(false); }, true, true},
        {"cancel all", [](TRunControl& c) { c.Cancel(true); }, true, true},
        {"stopped by the run", [](TRunControl& c) { c.SetStopped(true); }, true, true},
    };
    return ends;
}

} // namespace

TEST(RunControlTest, WaitWhilePausedServesTheRunsWorkersUntilAnotherThreadEndsThePause)
{
    for (const auto& e : PauseEnds()) {
        SCOPED_TRACE(e.name);
        TRunControl control;
        control.SetPaused(true);
        std::atomic<bool> waitEnded{false};
        bool servedInTheWait = false;
        TOtherThread other([&](TOtherThread& self) {
            // Only the waiting thread's checkpoint can run this call: the wait is still on when it runs.
            self.Call([&] { servedInTheWait = control.Paused() && !control.Stopped() && !waitEnded; });
            e.end(control);
        });
        other.Start();
        control.WaitWhilePaused();
        waitEnded = true;
        other.WaitFor();
        EXPECT_TRUE(servedInTheWait);
        EXPECT_EQ(control.Paused(), e.pausedAfter);
        EXPECT_EQ(control.Stopped(), e.stoppedAfter);
        EXPECT_EQ(control.CancelAll(), std::string(e.name) == "cancel all");
    }
}

TEST(RunControlTest, WaitWhilePausedReturnsAtOnceUnlessPausedAndRunning)
{
    struct Case
    {
        bool paused;
        bool stopped;
    } cases[] = {{false, false}, {false, true}, {true, true}};
    for (const auto& c : cases) {
        TRunControl control;
        control.SetPaused(c.paused);
        control.SetStopped(c.stopped);
        control.WaitWhilePaused(); // nothing else could end the wait
        EXPECT_EQ(control.Paused(), c.paused);
    }
    // A reset clears a pause as well.
    TRunControl control;
    control.SetPaused(true);
    control.Reset();
    control.WaitWhilePaused();
    EXPECT_FALSE(control.Paused());
}

class PausedWalkTest : public SandboxTest
{
protected:
    void SetUp() override
    {
        fs::create_directories(sandbox.Path("tmp"));
        task.CopyTimeout = 0;
    }
    std::string Src(const std::string& rel = "") { return sandbox.Path("src/" + rel); }
    std::string Dst(const std::string& rel = "") { return sandbox.Path("dst/" + rel); }

    // Runs walk with the run paused from the start; the other thread looks at the destination from
    // inside the run's wait and then ends the pause.
    void RunPaused(const TPauseEnd& e, const std::function<void()>& walk)
    {
        control.Reset();
        control.SetPaused(true);
        seenInTheWait = {"(not served)"};
        TOtherThread other([&](TOtherThread& self) {
            self.Call([&] { seenInTheWait = Files(Dst()); });
            e.end(control);
        });
        other.Start();
        walk();
        other.WaitFor();
    }

    TRecordingHost host;
    TRecordingInteraction interaction;
    TTaskLog log{host, interaction};
    TRunControl control;
    THeadlessProgress progress;
    TTaskSettings task;
    std::vector<std::string> seenInTheWait;
};

TEST_F(PausedWalkTest, TheCopyLoopCopiesNothingWhilePausedAndGoesOnOrEndsWithThePause)
{
    for (const auto& e : PauseEnds()) {
        SCOPED_TRACE(e.name);
        fs::remove_all(Src());
        fs::remove_all(Dst());
        for (const char* name : {"a.txt", "b.txt", "c.txt"})
            WriteAll(Src(name), name);
        TFolderCounters counters;
        RunPaused(e, [&] {
            TCopyLoop loop(task, log, control, progress, interaction);
            loop.BaseDir = Dst();
            loop.TempDir = sandbox.Path("tmp/");
            loop.MaxWaitTime = 0;
            loop.StartTime = Now();
            TTimePeriod period;
            TExtensionList list(period, sdmNormal);
            list.SPath = sandbox.Path("src");
            loop.BackupEntry(list, list.SPath, sandbox.Path("dst"), false, counters);
        });
        EXPECT_EQ(seenInTheWait, std::vector<std::string>{});
        const bool resumed = !e.stoppedAfter;
        EXPECT_EQ(counters.CopyCount, resumed ? 3 : 0);
        EXPECT_EQ(Files(Dst()).size(), resumed ? 3u : 0u);
    }
}

TEST_F(PausedWalkTest, TheSynchronisationDeletesNothingWhilePausedAndGoesOnOrEndsWithThePause)
{
    const std::vector<std::string> full = {"a.txt", "gone1.txt", "gone2.txt"};
    for (const auto& e : PauseEnds()) {
        SCOPED_TRACE(e.name);
        fs::remove_all(Src());
        fs::remove_all(Dst());
        WriteAll(Src("a.txt"), "alpha");
        for (const auto& name : full)
            WriteAll(Dst(name), name);
        task.SyncMode = 1;
        int examined = 0, deleted = 0;
        RunPaused(e, [&] {
            TEngineFileOps ops(log, control);
            TSynchronizer sync(task, log, control, progress, interaction, ops);
            TTimePeriod period;
            TExtensionList list(period, sdmNormal);
            sync.SyncLocalDestination(Src(), Dst(), list, examined, deleted, false, false, "");
        });
        EXPECT_EQ(seenInTheWait, full);
        const bool resumed = !e.stoppedAfter;
        EXPECT_EQ(deleted, resumed ? 2 : 0);
        EXPECT_EQ(Files(Dst()), resumed ? std::vector<std::string>{"a.txt"} : full);
    }
}
