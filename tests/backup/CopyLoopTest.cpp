#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <utime.h>

#include <gtest/gtest.h>

#include "backup/CopyLoop.h"
#include "support/Sandbox.h"

namespace fs = std::filesystem;

namespace {

std::string ReadAll(const std::string& name)
{
    std::ifstream in(name, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteAll(const std::string& name, const std::string& data)
{
    fs::create_directories(fs::path(name).parent_path());
    std::ofstream(name, std::ios::binary) << data;
}

void SetMTime(const std::string& name, time_t t)
{
    struct utimbuf times
    {
        t, t
    };
    utime(name.c_str(), &times);
}

class CopyLoopTest : public SandboxTest
{
protected:
    void SetUp() override
    {
        host.SettingsFolder = host.LogFolder = sandbox.Path("cfg/");
        host.TempFolder = sandbox.Path("tmp/");
        host.DefaultLog = sandbox.Path("cfg/Vastrel.log");
        fs::create_directories(sandbox.Path("cfg"));
        fs::create_directories(sandbox.Path("tmp"));
        ASSERT_EQ(log.OpenLogFile(3, sandbox.Path("cfg/run.log"), false), 0u);
        log.InitLog("Data backup");
        log.BeginLog(Now(), "test");
        task.CopyTimeout = 0;
        WriteAll(Src("a.txt"), "alpha");
        WriteAll(Src("sub/b.dat"), std::string(5000, 'b'));
        WriteAll(Src("sub/deep/c.log"), "gamma gamma gamma");
        for (const char* name : {"a.txt", "sub/b.dat", "sub/deep/c.log"})
            SetMTime(Src(name), 1700000000);
    }
    std::string Src(const std::string& rel) { return sandbox.Path("src/" + rel); }
    std::string Dst(const std::string& rel) { return sandbox.Path("dst/" + rel); }

    TFolderCounters Run()
    {
        TCopyLoop loop(task, log, control, progress, interaction);
        loop.BaseDir = sandbox.Path("dst/");
        loop.TempDir = sandbox.Path("tmp/");
        loop.MaxWaitTime = 0;
        TTimePeriod period;
        TExtensionList list(period, sdmNormal);
        list.SPath = sandbox.Path("src");
        TFolderCounters counters;
        loop.BackupEntry(list, list.SPath, sandbox.Path("dst"), false, counters);
        lastStatus = loop.BuStatus;
        return counters;
    }
    std::string LogText()
    {
        log.FlushLogFile(1);
        return ReadAll(sandbox.Path("cfg/run.log"));
    }

    TRecordingHost host;
    TRecordingInteraction interaction;
    TTaskLog log{host, interaction};
    TRunControl control;
    THeadlessProgress progress;
    TTaskSettings task;
    TBuStatus lastStatus = bsOK;
};

TEST_F(CopyLoopTest, FirstRunCopiesTheTreeAndASecondRunCopiesNothing)
{
    TFolderCounters first = Run();
    EXPECT_EQ(first.FileCount, 3);
    EXPECT_EQ(first.CopyCount, 3);
    EXPECT_EQ(first.ErrorCount, 0);
    EXPECT_EQ(first.CopiedBytes, 5 + 5000 + 17);
    EXPECT_EQ(ReadAll(Dst("sub/deep/c.log")), "gamma gamma gamma");
    struct stat st
    {
    };
    ASSERT_EQ(stat(Dst("sub/b.dat").c_str(), &st), 0);
    EXPECT_EQ(st.st_mtime, 1700000000);

    TFolderCounters second = Run();
    EXPECT_EQ(second.FileCount, 3);
    EXPECT_EQ(second.CopyCount, 0);
    EXPECT_EQ(second.ErrorCount, 0);
    EXPECT_NE(LogText().find("File at destination is up to date"), std::string::npos);
}

TEST_F(CopyLoopTest, CompareModesDecideFromTimesOrSizes)
{
    Run();
    struct Case
    {
        int compareMode;
        time_t srcTime;
        std::string data;
        bool copied;
    } cases[] = {
        {0, 1700000000 + 100, "alpha", true},   // newer source
        {0, 1700000000 - 100, "alpha", false},  // older source: only newer files
        {1, 1700000000 - 100, "alpha", true},   // any difference
        {0, 1700000000 + 3601, "alpha", false}, // one hour off: daylight saving ignored
        {0, 1700000000 + 7200, "alpha", true},
        {3, 1700000000 + 9999, "ALPHA", false}, // equal sizes never copy in size mode
        {3, 1700000000, "alphabet", true},
    };
    for (const auto& c : cases) {
        task.CompareMode = c.compareMode;
        task.DstIgnore = 1;
        WriteAll(Src("a.txt"), c.data);
        SetMTime(Src("a.txt"), c.srcTime);
        WriteAll(Dst("a.txt"), "alpha");
        SetMTime(Dst("a.txt"), 1700000000);
        TFolderCounters counters = Run();
        EXPECT_EQ(counters.CopyCount, c.copied ? 1 : 0) << c.compareMode << " " << c.srcTime;
        EXPECT_EQ(ReadAll(Dst("a.txt")), c.copied ? c.data : std::string("alpha"));
    }
}

TEST_F(CopyLoopTest, NumberedVersionsShiftAndTheOldestIsDropped)
{
    task.KeepBakCB = true;
    task.BakSec.DirMode = sdNone;
    task.BakSec.FileSuffix = "bak#";
    task.BakSec.MaxHist = 3;
    Run();
    for (int i = 1; i <= 4; ++i) {
        WriteAll(Src("a.txt"), "state " + std::to_string(i));
        SetMTime(Src("a.txt"), 1700000000 + i * 100);
        EXPECT_EQ(Run().CopyCount, 1);
    }
    EXPECT_EQ(ReadAll(Dst("a.txt")), "state 4");
    EXPECT_EQ(ReadAll(Dst("a.bak1.txt")), "state 3");
    EXPECT_EQ(ReadAll(Dst("a.bak2.txt")), "state 2");
    EXPECT_EQ(ReadAll(Dst("a.bak3.txt")), "state 1");
    EXPECT_FALSE(fs::exists(Dst("a.bak4.txt")));
    EXPECT_FALSE(fs::exists(Dst("a.txt.tmp")));
}

TEST_F(CopyLoopTest, CompressedCopiesAreGzipFilesThatGzipAccepts)
{
    task.cbCompress = true;
    task.cbVerify = true;
    TFolderCounters counters = Run();
    EXPECT_EQ(counters.CopyCount, 3);
    EXPECT_EQ(counters.ErrorCount, 0);
    ASSERT_TRUE(fs::exists(Dst("sub/b.dat.gz")));
    EXPECT_EQ(std::system(("gzip -t '" + Dst("sub/b.dat.gz") + "'").c_str()), 0);
    EXPECT_EQ(Run().CopyCount, 0); // the stored plain size and time stand for the file
}

TEST_F(CopyLoopTest, ArchiveBitModesCopyOnlyMarkedFilesAndResetTheBit)
{
    task.UseArchivCB = true;
    task.ResArchivCB = true;
    task.cbArchFile = true;
    TFolderCounters first = Run();
    EXPECT_EQ(first.CopyCount, 3);
    EXPECT_EQ(Run().CopyCount, 0);
    WriteAll(Src("sub/b.dat"), "changed");
    TFolderCounters third = Run();
    EXPECT_EQ(third.CopyCount, 1);
    EXPECT_EQ(ReadAll(Dst("sub/b.dat")), "changed");
}

TEST_F(CopyLoopTest, UnreadableFileIsCountedAndLoggedAndTheRestIsCopied)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "root reads every file";
    chmod(Src("sub/b.dat").c_str(), 0);
    TFolderCounters counters = Run();
    chmod(Src("sub/b.dat").c_str(), 0644);
    EXPECT_EQ(counters.CopyCount, 2);
    EXPECT_EQ(counters.ErrorCount, 1);
    EXPECT_EQ(counters.FailedBytes, 5000);
    EXPECT_FALSE(fs::exists(Dst("sub/b.dat")));
    EXPECT_NE(LogText().find("***"), std::string::npos);
}

TEST_F(CopyLoopTest, ExcludedSubFolderIsNotEntered)
{
    TCopyLoop loop(task, log, control, progress, interaction);
    loop.BaseDir = sandbox.Path("dst/");
    TTimePeriod period;
    TExtensionList list(period, sdmNormal);
    list.SPath = sandbox.Path("src");
    list.SubDirList.Add(sandbox.Path("src/sub/"));
    TFolderCounters counters;
    loop.BackupEntry(list, list.SPath, sandbox.Path("dst"), false, counters);
    EXPECT_EQ(counters.CopyCount, 1);
    EXPECT_FALSE(fs::exists(Dst("sub")));
}

TEST_F(CopyLoopTest, EngineFileOpsMoveNeverReplacesAndCreatesDeepFolders)
{
    TEngineFileOps ops(log, control);
    ops.Sleep = nullptr;
    EXPECT_TRUE(ops.CreateDirectoryLogged(sandbox.Path("x/y/z"), "B", true));
    EXPECT_TRUE(fs::is_directory(sandbox.Path("x/y/z")));
    WriteAll(sandbox.Path("x/one"), "1");
    WriteAll(sandbox.Path("x/two"), "2");
    std::string errMsg;
    EXPECT_GT(
        ops.MoveFileLogged(sandbox.Path("x/"), sandbox.Path("x/one"), sandbox.Path("x/two"), errMsg, 1, -1),
        0);
    EXPECT_NE(errMsg.find("(5)"), std::string::npos);
    EXPECT_EQ(ReadAll(sandbox.Path("x/two")), "2");
    EXPECT_EQ(
        ops.MoveFileLogged(sandbox.Path("x/"), sandbox.Path("x/one"), sandbox.Path("x/three"), errMsg, 1, -1),
        0);
    int deleted = 0;
    EXPECT_TRUE(ops.ClearDirectory(sandbox.Path("x"), "", "B", false, true, true, deleted));
    EXPECT_EQ(deleted, 2);
    EXPECT_TRUE(fs::exists(sandbox.Path("x")));
    EXPECT_FALSE(fs::exists(sandbox.Path("x/y")));
}

} // namespace

namespace {

TEST_F(CopyLoopTest, DestinationFolderThatCannotBeMadeCountsAnErrorAndSkipsOnlyItsFiles)
{
    WriteAll(Dst("sub"), "a file where the folder belongs");
    TFolderCounters counters = Run();
    EXPECT_EQ(counters.CopyCount, 1);
    EXPECT_GE(counters.ErrorCount, 1);
    EXPECT_EQ(ReadAll(Dst("a.txt")), "alpha");
    EXPECT_NE(LogText().find("Could not create directory"), std::string::npos);
}

} // namespace

#include "RunTestUtil.h"

namespace {

class CopyLoopRunTest : public runtest::RunFrameTest
{
protected:
    std::string Task(const std::string& extra)
    {
        std::string path = sandbox.Path("tasks/t.buj");
        fs::create_directories(sandbox.Path("tasks"));
        std::ofstream(path) << "[Global]\nDestination=" << sandbox.Path("dest") << "\nDirCount=1\n"
                            << extra << "\n[Dir000]\nSource=" << sandbox.Path("src") << "\nBackupMode=1\n";
        return path;
    }
    TRecordingProgress progress;
    TRunControl control;
    TBackupEngine engine{host, interaction, progress, control, log};
    TCopyLoop loop{engine.Task, log, control, progress, interaction};
};

TEST_F(CopyLoopRunTest, TaskRunBacksUpTheTreeAndTheNextRunCopiesNothing)
{
    WriteAll(sandbox.Path("src/one.txt"), "one");
    WriteAll(sandbox.Path("src/d/two.txt"), "two two");
    AttachCopyLoop(engine, loop);
    std::string task = Task("");
    EXPECT_EQ(engine.DoBackupJob(0, iaQuiet, 3, task), brOK);
    EXPECT_EQ(host.FExitState, 0);
    std::string text = runtest::ReadAll(host.DefaultLog);
    EXPECT_NE(text.find("Status: 2 files copied"), std::string::npos) << text;
    // The destination is the folder's own destination below the run's root.
    bool found = false;
    for (const auto& e : fs::recursive_directory_iterator(sandbox.Path("dest")))
        if (e.path().filename() == "two.txt")
            found = ReadAll(e.path().string()) == "two two";
    EXPECT_TRUE(found);

    EXPECT_EQ(engine.DoBackupJob(0, iaQuiet, 3, task), brOK);
    text = runtest::ReadAll(host.DefaultLog);
    EXPECT_NE(text.find("Status: No files copied"), std::string::npos) << text;
}

} // namespace
