// Runs that are killed, and runs that meet vanishing, changing and failing files: a killed run leaves
// no partial file under a final name and the next run makes a correct backup; failures are counted,
// logged and end in the exit state.

#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <utime.h>

#include <gtest/gtest.h>

#include "RunTestUtil.h"
#include "backup/BackupRun.h"
#include "backup/CopyLoop.h"
#include "support/Files.h"
#include "support/WaitFor.h"

namespace fs = std::filesystem;

namespace {

void WriteFile(const std::string& name, const std::string& data, time_t mtime = 1700000000)
{
    WriteFileBytes(name, data);
    struct utimbuf times
    {
        mtime, mtime
    };
    utime(name.c_str(), &times);
}

std::string RandomData(size_t size, unsigned seed)
{
    std::mt19937 rng(seed);
    std::string s(size, '\0');
    for (auto& ch : s)
        ch = static_cast<char>(rng());
    return s;
}

// Relative path -> content of every file below root.
std::map<std::string, std::string> Tree(const std::string& root)
{
    std::map<std::string, std::string> files;
    if (!fs::exists(root))
        return files;
    for (const auto& e : fs::recursive_directory_iterator(root))
        if (e.is_regular_file())
            files[fs::relative(e.path(), root).string()] = ReadFileBytes(e.path().string());
    return files;
}

class RunRobustnessTest : public SandboxTest
{
protected:
    void SetUp() override
    {
        fs::create_directories(sandbox.Path("cfg"));
        host.SettingsFolder = host.LogFolder = sandbox.Path("cfg/");
        host.TempFolder = sandbox.Path("cfg/");
        host.DefaultLog = sandbox.Path("cfg/Vastrel.log");
        task.CopyTimeout = 0;
        task.TaskBufferSize = 65536;
    }
    std::string Src(const std::string& rel = "") { return sandbox.Path("src/" + rel); }
    std::string Dst(const std::string& rel = "") { return sandbox.Path("dst/" + rel); }

    // One run of the copy loop over src into dst, in this process.
    TFolderCounters Run(const std::function<void(TCopyLoop&)>& configure = nullptr)
    {
        TTaskLog log{host, interaction};
        log.OpenLogFile(3, sandbox.Path("cfg/run.log"), false);
        log.InitLog("Data backup");
        log.BeginLog(Now(), "test");
        TRunControl control;
        THeadlessProgress progress;
        TCopyLoop loop(task, log, control, progress, interaction);
        loop.BaseDir = Dst();
        loop.StartTime = Now();
        loop.MaxWaitTime = 0;
        if (configure)
            configure(loop);
        TTimePeriod period;
        TExtensionList list(period, sdmNormal);
        list.SPath = sandbox.Path("src");
        TFolderCounters counters;
        loop.BackupEntry(list, list.SPath, sandbox.Path("dst"), false, counters);
        log.FlushLogFile(1);
        return counters;
    }

    // Runs the copy loop in a child process, calls until() now and then, and kills the child with
    // SIGKILL as soon as until() holds. True when the child was killed (not ended by itself).
    bool RunAndKill(const std::function<bool()>& until,
                    const std::function<void(TCopyLoop&)>& configure = nullptr)
    {
        pid_t pid = fork();
        if (pid == 0) {
            Run(configure);
            _exit(0);
        }
        bool killed = false;
        bool ended = false;
        int status = 0;
        WaitFor(
            [&] {
                if (waitpid(pid, &status, WNOHANG) == pid)
                    return ended = true;
                if (until()) {
                    kill(pid, SIGKILL);
                    return killed = true;
                }
                return false;
            },
            std::chrono::minutes(1));
        if (ended)
            return WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL; // it may kill itself
        if (!killed)
            kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        return killed && WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
    }

    // The destination holds exactly the source files (plus expected extra files), and no leftovers.
    void ExpectConverged(const std::map<std::string, std::string>& extra = {})
    {
        auto want = Tree(Src());
        for (const auto& [name, data] : extra)
            want[name] = data;
        auto have = Tree(Dst());
        std::string names;
        for (const auto& entry : have)
            names += " " + entry.first;
        EXPECT_EQ(have.size(), want.size()) << names;
        for (const auto& [name, data] : want) {
            auto it = have.find(name);
            ASSERT_NE(it, have.end()) << name;
            EXPECT_TRUE(it->second == data) << name;
        }
        for (const auto& [name, data] : have)
            EXPECT_TRUE(name.find(".part") == std::string::npos && name.find(".tmp") == std::string::npos)
                << name;
    }

    // Names of files that are being written (the engine's hidden partial files).
    int PartialFiles(int64_t minSize)
    {
        int n = 0;
        if (fs::exists(Dst()))
            for (const auto& e : fs::recursive_directory_iterator(Dst()))
                if (e.path().filename().string().find(".part") != std::string::npos && e.is_regular_file() &&
                    static_cast<int64_t>(e.file_size()) >= minSize)
                    ++n;
        return n;
    }
    int FinalFiles()
    {
        int n = 0;
        if (fs::exists(Dst()))
            for (const auto& e : fs::recursive_directory_iterator(Dst()))
                if (e.is_regular_file() && e.path().filename().string().find(".part") == std::string::npos)
                    ++n;
        return n;
    }

    TRecordingHost host;
    TRecordingInteraction interaction;
    TTaskSettings task;
};

TEST_F(RunRobustnessTest, ARunKilledWhileCopyingALargeFileLeavesNoPartialFileAndTheNextRunConverges)
{
    std::string big = RandomData(8 << 20, 1);
    WriteFile(Src("big.bin"), big);
    WriteFile(Src("small.txt"), "small");
    Run();
    // a second state of the large file, copied slowly (the speed limit) so that the kill meets it
    WriteFile(Src("big.bin"), RandomData(8 << 20, 2), 1700000500);
    task.MaxRate = 4000;
    ASSERT_TRUE(RunAndKill([&] { return PartialFiles(1 << 20) > 0; }));
    // the old copy is still whole under its name
    EXPECT_TRUE(ReadFileBytes(Dst("big.bin")) == big);
    task.MaxRate = 0;
    TFolderCounters counters = Run();
    EXPECT_EQ(counters.ErrorCount, 0);
    EXPECT_EQ(counters.CopyCount, 1);
    ExpectConverged();
}

TEST_F(RunRobustnessTest, ARunKilledInTheMiddleOfATreeLeavesOnlyWholeFilesAndTheNextRunConverges)
{
    for (int i = 0; i < 120; ++i)
        WriteFile(Src("d" + std::to_string(i % 7) + "/f" + std::to_string(i) + ".dat"),
                  RandomData(4096 + i, static_cast<unsigned>(i)));
    task.MaxRate = 300; // some 30 ms per file
    ASSERT_TRUE(RunAndKill([&] { return FinalFiles() >= 40; }));
    // what has a final name is whole
    auto src = Tree(Src());
    for (const auto& [name, data] : Tree(Dst())) {
        if (name.find(".part") == std::string::npos) {
            EXPECT_TRUE(src[name] == data) << name;
        }
    }
    task.MaxRate = 0;
    TFolderCounters counters = Run();
    EXPECT_EQ(counters.ErrorCount, 0);
    EXPECT_GE(counters.CopyCount, 1);
    ExpectConverged();
}

TEST_F(RunRobustnessTest, ARunKilledWhileVersionsMoveOnEndsAsIfItHadNotBeenInterrupted)
{
    task.KeepBakCB = true;
    task.BakSec.DirMode = sdNone;
    task.BakSec.FileSuffix = "bak#";
    task.BakSec.MaxHist = 3;
    for (int i = 0; i <= 3; ++i) {
        WriteFile(Src("a.txt"), "state " + std::to_string(i), 1700000000 + i * 100);
        Run();
    }
    WriteFile(Src("a.txt"), "state 4", 1700000400);
    ASSERT_TRUE(RunAndKill([] { return false; },
                           [](TCopyLoop& loop) {
                               loop.OnStep = [](const char* step) {
                                   if (std::string(step) == "rotated")
                                       kill(getpid(), SIGKILL);
                               };
                           }));
    EXPECT_EQ(ReadFileBytes(Dst("a.txt")), "state 3");
    TFolderCounters counters = Run();
    EXPECT_EQ(counters.ErrorCount, 0);
    ExpectConverged({{"a.bak1.txt", "state 3"}, {"a.bak2.txt", "state 2"}, {"a.bak3.txt", "state 1"}});
}

TEST_F(RunRobustnessTest, ARunKilledBeforeACopyTakesItsNameEndsAsIfItHadNotBeenInterrupted)
{
    WriteFile(Src("a.txt"), "one");
    Run();
    WriteFile(Src("a.txt"), "two", 1700000100);
    ASSERT_TRUE(RunAndKill([] { return false; },
                           [](TCopyLoop& loop) {
                               loop.OnStep = [](const char* step) {
                                   if (std::string(step) == "placing")
                                       kill(getpid(), SIGKILL);
                               };
                           }));
    EXPECT_EQ(ReadFileBytes(Dst("a.txt")), "one");
    EXPECT_EQ(Run().CopyCount, 1);
    ExpectConverged();
}

TEST_F(RunRobustnessTest, AFileChangedDuringTheRunIsCopiedAgainByTheNextRun)
{
    WriteFile(Src("a.txt"), "before");
    WriteFile(Src("b.txt"), "bbb");
    Run([&](TCopyLoop& loop) {
        loop.MakeCopyThread = [&](const TCopyProps& cp, const TCopyOptions& options) {
            if (cp.SName.find("a.txt") != std::string::npos)
                WriteFile(cp.SName, "after the scan", 1700000900);
            return std::unique_ptr<TCopyThread>(
                std::make_unique<TWinCopyThread>(cp.RName, cp.TName, nullptr, options, true, 65536));
        };
    });
    TFolderCounters counters = Run();
    EXPECT_EQ(counters.CopyCount, 1);
    ExpectConverged();
}

class RunExitStateTest : public runtest::RunFrameTest
{
protected:
    std::string Task()
    {
        std::string path = sandbox.Path("tasks/t.buj");
        fs::create_directories(sandbox.Path("tasks"));
        std::ofstream(path) << "[Global]\nDestination=" << sandbox.Path("dest") << "\nDirCount=1\n"
                            << "[Dir000]\nSource=" << sandbox.Path("src") << "\nBackupMode=1\n";
        return path;
    }
    TRecordingProgress progress;
    TRunControl control;
    TBackupEngine engine{host, interaction, progress, control, log};
    TCopyLoop loop{engine.Task, log, control, progress, interaction};
};

TEST_F(RunExitStateTest, FailingFilesEndTheRunWithErrorsInItsLogAndExitState)
{
    struct Case
    {
        const char* what;
        std::function<void(const std::string& src)> prepare;
    } cases[] = {
        {"vanished", [](const std::string&) {}},
        // the destination repeats the source's full path below its root: a deep source path fits
        // the system's limit, its destination does not
        {"too long",
         [](const std::string& src) {
             std::string deep = src;
             while (deep.size() < 3860)
                 deep += "/" + std::string(200, 'd');
             WriteFile(deep + "/f.txt", "x");
         }},
        {"unreadable",
         [](const std::string& src) {
             WriteFile(src + "/locked.txt", "x");
             chmod((src + "/locked.txt").c_str(), 0);
         }},
    };
    for (const auto& c : cases) {
        if (std::string(c.what) == "unreadable" && geteuid() == 0)
            continue; // root reads every file
        fs::remove_all(sandbox.Path("src"));
        fs::remove_all(sandbox.Path("dest"));
        WriteFile(sandbox.Path("src/one.txt"), "one");
        WriteFile(sandbox.Path("src/two.txt"), "two");
        c.prepare(sandbox.Path("src"));
        host.FExitState = 0;
        loop.MakeCopyThread = [&](const TCopyProps& cp, const TCopyOptions& options) {
            if (std::string(c.what) == "vanished" && cp.SName.find("two.txt") != std::string::npos)
                fs::remove(cp.SName);
            return std::unique_ptr<TCopyThread>(
                std::make_unique<TWinCopyThread>(cp.RName, cp.TName, nullptr, options, true, 65536));
        };
        AttachCopyLoop(engine, loop);
        engine.DoBackupJob(0, iaQuiet, 3, Task());
        std::string text = ReadFileBytes(host.DefaultLog);
        EXPECT_EQ(host.FExitState, 4) << c.what << "\n" << text;
        EXPECT_NE(text.find("  *** "), std::string::npos) << c.what;
        chmod(sandbox.Path("src/locked.txt").c_str(), 0644);
    }
}

} // namespace
