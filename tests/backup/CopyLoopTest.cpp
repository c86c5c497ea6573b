#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <sys/stat.h>
#include <utime.h>

#include <gtest/gtest.h>

#include "archive/EngineErrors.h"
#include "archive/EngineFs.h"
#include "backup/CopyLoop.h"
#include "support/Files.h"
#include "support/Sandbox.h"

namespace fs = std::filesystem;

namespace {

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
        WriteFileBytes(Src("a.txt"), "alpha");
        WriteFileBytes(Src("sub/b.dat"), std::string(5000, 'b'));
        WriteFileBytes(Src("sub/deep/c.log"), "gamma gamma gamma");
        for (const char* name : {"a.txt", "sub/b.dat", "sub/deep/c.log"})
            SetMTime(Src(name), 1700000000);
    }
    std::string Src(const std::string& rel) { return sandbox.Path("src/" + rel); }
    std::string Dst(const std::string& rel) { return sandbox.Path("dst/" + rel); }

    TFolderCounters Run(const std::string& dest = "")
    {
        const std::string destDir = dest.empty() ? sandbox.Path("dst") : dest;
        TCopyLoop loop(task, log, control, progress, interaction);
        loop.BaseDir = destDir + "/";
        loop.TempDir = sandbox.Path("tmp/");
        loop.MaxWaitTime = 0;
        TTimePeriod period;
        TExtensionList list(period, sdmNormal);
        list.SPath = sandbox.Path("src");
        loop.StartTime = Now();
        if (configure)
            configure(loop, list);
        TFolderCounters counters;
        loop.BackupEntry(list, list.SPath, destDir, prompt, counters);
        lastStatus = loop.BuStatus;
        return counters;
    }
    // Adjusts the loop of the next runs (hooks, selection) before it starts.
    std::function<void(TCopyLoop&, TExtensionList&)> configure;
    bool prompt = false;
    std::string LogText()
    {
        log.FlushLogFile(1);
        return ReadFileBytes(sandbox.Path("cfg/run.log"));
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
    EXPECT_EQ(ReadFileBytes(Dst("sub/deep/c.log")), "gamma gamma gamma");
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
        WriteFileBytes(Src("a.txt"), c.data);
        SetMTime(Src("a.txt"), c.srcTime);
        WriteFileBytes(Dst("a.txt"), "alpha");
        SetMTime(Dst("a.txt"), 1700000000);
        TFolderCounters counters = Run();
        EXPECT_EQ(counters.CopyCount, c.copied ? 1 : 0) << c.compareMode << " " << c.srcTime;
        EXPECT_EQ(ReadFileBytes(Dst("a.txt")), c.copied ? c.data : std::string("alpha"));
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
        WriteFileBytes(Src("a.txt"), "state " + std::to_string(i));
        SetMTime(Src("a.txt"), 1700000000 + i * 100);
        EXPECT_EQ(Run().CopyCount, 1);
    }
    EXPECT_EQ(ReadFileBytes(Dst("a.txt")), "state 4");
    EXPECT_EQ(ReadFileBytes(Dst("a.bak1.txt")), "state 3");
    EXPECT_EQ(ReadFileBytes(Dst("a.bak2.txt")), "state 2");
    EXPECT_EQ(ReadFileBytes(Dst("a.bak3.txt")), "state 1");
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
    WriteFileBytes(Src("sub/b.dat"), "changed");
    TFolderCounters third = Run();
    EXPECT_EQ(third.CopyCount, 1);
    EXPECT_EQ(ReadFileBytes(Dst("sub/b.dat")), "changed");
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

TEST_F(CopyLoopTest, ADateWindowSelectsByModificationTime)
{
    SetMTime(Src("sub/b.dat"), 1750000000); // June 2025; the others are from November 2023
    for (TTimeMode mode : {tmNewer, tmOlder}) {
        fs::remove_all(sandbox.Path("dst"));
        configure = [mode](TCopyLoop&, TExtensionList& list) {
            list.TmPeriod.Mode = mode;
            list.TmPeriod.Dat1 = list.TmPeriod.Dat2 = EncodeDate(2024, 6, 1);
        };
        TFolderCounters counters = Run();
        EXPECT_EQ(counters.CopyCount, mode == tmNewer ? 1 : 2) << mode;
        EXPECT_EQ(fs::exists(Dst("sub/b.dat")), mode == tmNewer) << mode;
        EXPECT_EQ(fs::exists(Dst("a.txt")), mode == tmOlder) << mode;
    }
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
    WriteFileBytes(sandbox.Path("x/one"), "1");
    WriteFileBytes(sandbox.Path("x/two"), "2");
    std::string errMsg;
    EXPECT_GT(
        ops.MoveFileLogged(sandbox.Path("x/"), sandbox.Path("x/one"), sandbox.Path("x/two"), errMsg, 1, -1),
        0);
    EXPECT_NE(errMsg.find("(5)"), std::string::npos);
    EXPECT_EQ(ReadFileBytes(sandbox.Path("x/two")), "2");
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

TEST_F(CopyLoopTest, AFileWhereADestinationFolderBelongsGivesWayToTheFolder)
{
    // The copy of a file that became a folder in the source.
    WriteFileBytes(Dst("sub"), "a file where the folder belongs");
    TFolderCounters counters = Run();
    EXPECT_EQ(counters.ErrorCount, 0) << LogText();
    EXPECT_EQ(ReadFileBytes(Dst("a.txt")), "alpha");
    EXPECT_TRUE(fs::is_directory(Dst("sub")));
}

TEST_F(CopyLoopTest, DestinationFolderThatCannotBeMadeCountsAnErrorAndSkipsOnlyItsFiles)
{
    // A destination below a file: no folder can be made there.
    WriteFileBytes(sandbox.Path("blocker"), "a file");
    TFolderCounters counters = Run(sandbox.Path("blocker/dst"));
    EXPECT_GE(counters.ErrorCount, 1);
    EXPECT_NE(LogText().find("Could not create directory"), std::string::npos);
    EXPECT_EQ(ReadFileBytes(sandbox.Path("blocker")), "a file");
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
    WriteFileBytes(sandbox.Path("src/one.txt"), "one");
    WriteFileBytes(sandbox.Path("src/d/two.txt"), "two two");
    AttachCopyLoop(engine, loop);
    std::string task = Task("");
    EXPECT_EQ(engine.DoBackupJob(0, iaQuiet, 3, task), brOK);
    EXPECT_EQ(host.FExitState, 0);
    std::string text = ReadFileBytes(host.DefaultLog);
    EXPECT_NE(text.find("Status: 2 files copied"), std::string::npos) << text;
    // The destination is the folder's own destination below the run's root.
    bool found = false;
    for (const auto& e : fs::recursive_directory_iterator(sandbox.Path("dest")))
        if (e.path().filename() == "two.txt")
            found = ReadFileBytes(e.path().string()) == "two two";
    EXPECT_TRUE(found);

    EXPECT_EQ(engine.DoBackupJob(0, iaQuiet, 3, task), brOK);
    text = ReadFileBytes(host.DefaultLog);
    EXPECT_NE(text.find("Status: No files copied"), std::string::npos) << text;
}

} // namespace

namespace {

// A copy thread whose work is given by the test; it ends with the error word its body returns.
class TScriptedCopy : public TCopyThread
{
public:
    explicit TScriptedCopy(std::function<int()> body) : TCopyThread("", "", true, 16), FBody(std::move(body))
    {
    }

protected:
    void Execute() override { Finish(FBody()); }

private:
    std::function<int()> FBody;
};

// The engine's own copy thread for a file of the loop.
std::unique_ptr<TCopyThread> RealCopy(const TCopyProps& cp, const TCopyOptions& options)
{
    return std::make_unique<TWinCopyThread>(cp.RName, cp.TName, nullptr, options, true, 65536);
}

bool AnyNameContains(const std::string& dir, const std::string& part)
{
    for (const auto& e : fs::recursive_directory_iterator(dir))
        if (e.path().filename().string().find(part) != std::string::npos)
            return true;
    return false;
}

TEST_F(CopyLoopTest, ATimedOutCopyFailsItsFileAndTheLastAllowedTimeOutStopsTheRun)
{
    auto release = std::make_shared<TEvent>(true, false);
    // the watchdog's time passes only while the hanging copy waits
    auto clock = std::make_shared<std::atomic<uint64_t>>(0);
    auto hanging = std::make_shared<std::atomic<bool>>(false);
    task.CopyTimeout = 1;
    task.FullSpeed = false;
    configure = [&](TCopyLoop& loop, TExtensionList&) {
        loop.Runner.Sleep = [](int) {};
        loop.Runner.WatchdogClock = [clock, hanging] { return *clock += *hanging ? 50 : 0; };
        loop.MakeCopyThread = [release, hanging](const TCopyProps& cp, const TCopyOptions& options) {
            *hanging = false;
            if (cp.SName.find("b.dat") == std::string::npos)
                return RealCopy(cp, options);
            return std::unique_ptr<TCopyThread>(new TScriptedCopy([release, hanging] {
                *hanging = true;
                release->WaitFor(INFINITE); // hangs until the test ends
                return 0;
            }));
        };
    };
    struct Case
    {
        int timeOutMax;
        TBuStatus status;
    } cases[] = {{2, bsOK}, {1, bsCanceled}};
    for (const auto& c : cases) {
        task.TimeOutMax = c.timeOutMax;
        control.Reset();
        fs::remove_all(Dst(""));
        TFolderCounters counters = Run();
        EXPECT_EQ(lastStatus, c.status) << c.timeOutMax;
        EXPECT_EQ(counters.ErrorCount, 1) << c.timeOutMax;
        EXPECT_FALSE(fs::exists(Dst("sub/b.dat")));
        if (c.status == bsOK) {
            EXPECT_EQ(counters.CopyCount, 2);
            EXPECT_EQ(ReadFileBytes(Dst("sub/deep/c.log")), "gamma gamma gamma");
        }
    }
    EXPECT_NE(LogText().find("Timeout error on copying file"), std::string::npos);
    release->SetEvent();
}

TEST_F(CopyLoopTest, ADestinationWithoutSpaceStopsAHeadlessRunButLowSpaceAboveTheBufferIsAWriteError)
{
    struct Case
    {
        uint64_t freeBytes;
        TBuStatus status;
        int errors;
    } cases[] = {{0, bsFull, 0}, {uint64_t(1) << 40, bsOK, 1}};
    task.TaskBufferSize = 65536;
    for (const auto& c : cases) {
        control.Reset();
        fs::remove_all(Dst(""));
        configure = [&](TCopyLoop& loop, TExtensionList&) {
            loop.DiskFreeBytes = [&](const std::string&) { return c.freeBytes; };
            loop.MakeCopyThread = [](const TCopyProps& cp, const TCopyOptions& options) {
                if (cp.SName.find("b.dat") == std::string::npos)
                    return RealCopy(cp, options);
                return std::unique_ptr<TCopyThread>(new TScriptedCopy([] { return EngineError::LowDisk; }));
            };
        };
        TFolderCounters counters = Run();
        EXPECT_EQ(lastStatus, c.status);
        EXPECT_EQ(counters.ErrorCount, c.errors);
        // the log runs on over both cases: the line is there once, from the first
        std::string text = LogText();
        size_t at = text.find("Canceled because of full destination volume");
        EXPECT_NE(at, std::string::npos);
        EXPECT_EQ(text.find("Canceled because of full destination volume", at + 1), std::string::npos);
        EXPECT_FALSE(fs::exists(Dst("sub/b.dat")));
        EXPECT_FALSE(AnyNameContains(Dst(""), ".part"));
    }
}

TEST_F(CopyLoopTest, NamesTooLongForTheDestinationFailCountedAndLoggedAndLongNamesStillUpdate)
{
    task.cbCompress = true; // the ".gz" makes a 254-byte name too long
    std::string tooLong(254, 'n');
    std::string longName(250, 'm'); // fits with ".gz", not with ".gz.tmp"
    WriteFileBytes(Src(tooLong), "too long");
    WriteFileBytes(Src(longName), "first");
    TFolderCounters first = Run();
    EXPECT_EQ(first.ErrorCount, 1);
    EXPECT_EQ(first.CopyCount, 4);
    EXPECT_TRUE(fs::exists(Dst(longName + ".gz")));
    EXPECT_NE(LogText().find("***"), std::string::npos);

    WriteFileBytes(Src(longName), "second");
    SetMTime(Src(longName), 1800000000);
    TFolderCounters second = Run();
    EXPECT_EQ(second.ErrorCount, 1); // the name that never fits
    EXPECT_EQ(second.CopyCount, 1);
    EXPECT_EQ(std::system(("gzip -dc '" + Dst(longName + ".gz") + "' | grep -q second").c_str()), 0);
    EXPECT_FALSE(AnyNameContains(Dst(""), "tmp"));
}

TEST_F(CopyLoopTest, AFileThatVanishesBeforeItsCopyIsAnErrorAndTheOthersAreCopied)
{
    configure = [&](TCopyLoop& loop, TExtensionList&) {
        loop.MakeCopyThread = [](const TCopyProps& cp, const TCopyOptions& options) {
            if (cp.SName.find("b.dat") != std::string::npos)
                fs::remove(cp.SName);
            return RealCopy(cp, options);
        };
    };
    TFolderCounters counters = Run();
    EXPECT_EQ(counters.ErrorCount, 1);
    EXPECT_EQ(counters.CopyCount, 2);
    EXPECT_EQ(counters.FailedBytes, 5000);
    EXPECT_FALSE(fs::exists(Dst("sub/b.dat")));
    EXPECT_FALSE(AnyNameContains(Dst(""), ".part"));
}

TEST_F(CopyLoopTest, DeletingSourcesMovesCopiedFilesToTheTrashAndRemovesEmptiedFolders)
{
    task.cbSourceDelete = true;
    task.DelSourceDelDir = 1;
    TFolderCounters counters = Run();
    EXPECT_EQ(counters.CopyCount, 3);
    EXPECT_EQ(counters.ErrorCount, 0);
    EXPECT_EQ(ReadFileBytes(Dst("sub/deep/c.log")), "gamma gamma gamma");
    EXPECT_FALSE(fs::exists(Src("a.txt")));
    EXPECT_FALSE(fs::exists(Src("sub")));
    EXPECT_TRUE(fs::exists(Src("")));
    EXPECT_TRUE(AnyNameContains(sandbox.Path(""), "c.log.trashinfo"));
}

TEST_F(CopyLoopTest, UnchangedFilesLoseVersionsOlderThanTheAgeLimitButKeepTheNewest)
{
    task.KeepBakCB = true;
    task.BakSec.DirMode = sdNone;
    task.BakSec.FileSuffix = "bak#";
    task.BakSec.MaxHist = 3;
    task.BakSec.MinHist = 2;
    task.BakSec.AgeInWeeks = 2;
    Run();
    time_t old = time(nullptr) - 30 * 86400;
    for (int k = 1; k <= 3; ++k) {
        WriteFileBytes(Dst("a.bak" + std::to_string(k) + ".txt"), "v");
        SetMTime(Dst("a.bak" + std::to_string(k) + ".txt"), old);
    }
    EXPECT_EQ(Run().CopyCount, 0);
    EXPECT_TRUE(fs::exists(Dst("a.bak1.txt")));
    EXPECT_FALSE(fs::exists(Dst("a.bak2.txt")));
    EXPECT_FALSE(fs::exists(Dst("a.bak3.txt")));
}

TEST_F(CopyLoopTest, TaggedOnlyCopiesOnlyTaggedFoldersAndReachesThemThroughUntaggedOnes)
{
    std::vector<std::string> tagged;
    configure = [&](TCopyLoop&, TExtensionList& list) {
        list.IncludeDirs = true;
        for (const auto& t : tagged)
            list.SubDirList.Add(t);
    };
    EXPECT_EQ(Run().CopyCount, 0);
    EXPECT_FALSE(fs::exists(Dst("a.txt")));
    tagged = {Src("sub/deep/")};
    EXPECT_EQ(Run().CopyCount, 1);
    EXPECT_EQ(ReadFileBytes(Dst("sub/deep/c.log")), "gamma gamma gamma");
    EXPECT_FALSE(fs::exists(Dst("sub/b.dat")));
}

TEST_F(CopyLoopTest, LeftoversOfAKilledRunAreRemovedWhenTheirFileIsCopiedAgain)
{
    Run();
    WriteFileBytes(Src("a.txt"), "alpha 2");
    SetMTime(Src("a.txt"), 1700000500);
    // a partial copy and a finished but not yet placed copy of a.txt, as a killed run leaves them:
    // both carry the mark of the program's partial files
    for (const char* part : {".a.txt.0123abcd.part", ".a.txt.89abcdef.part"}) {
        WriteFileBytes(Dst(part), "alp");
        EngineFs::SetPartMark(Dst(part), true);
        SetMTime(Dst(part), 1700000000);
    }
    // a file of the engine's name pattern without the mark is not the program's, nor one that is a source
    // file of its own
    WriteFileBytes(Dst(".b.txt.00112233.part"), "someone's");
    SetMTime(Dst(".b.txt.00112233.part"), 1700000000);
    WriteFileBytes(Src(".keep.0011aabb.part"), "mine");
    EXPECT_EQ(Run().CopyCount, 2);
    EXPECT_EQ(ReadFileBytes(Dst("a.txt")), "alpha 2");
    EXPECT_FALSE(fs::exists(Dst(".a.txt.0123abcd.part")));
    EXPECT_FALSE(fs::exists(Dst(".a.txt.89abcdef.part")));
    EXPECT_EQ(ReadFileBytes(Dst(".b.txt.00112233.part")), "someone's");
    EXPECT_EQ(ReadFileBytes(Dst(".keep.0011aabb.part")), "mine");
    // the copies in place carry no mark
    EXPECT_FALSE(EngineFs::IsMarkedPart(Dst("a.txt")));
    EXPECT_FALSE(EngineFs::IsMarkedPart(Dst(".keep.0011aabb.part")));
}

TEST_F(CopyLoopTest, AnotherFormThatIsTheCopyOfASourceFileOfItsOwnStays)
{
    WriteFileBytes(Src("x"), "plain");
    WriteFileBytes(Src("x.gz"), "a gzip file of the user's");
    Run();
    WriteFileBytes(Src("x"), "plain 2");
    SetMTime(Src("x"), time(nullptr) + 100);
    EXPECT_EQ(Run().CopyCount, 1);
    EXPECT_EQ(ReadFileBytes(Dst("x")), "plain 2");
    EXPECT_EQ(ReadFileBytes(Dst("x.gz")), "a gzip file of the user's");
}

} // namespace

TEST_F(CopyLoopTest, EachFileOfABigFolderIsComparedWithItsOwnCopy)
{
    // Enough files with copies for the destination statuses to be read ahead; each file has a time of
    // its own, so that a status taken for the wrong file decides wrongly.
    const int count = 40;
    auto name = [](int i) { return "many/f" + std::to_string(i) + ".txt"; };
    for (int i = 0; i < count; ++i) {
        WriteFileBytes(Src(name(i)), "first " + std::to_string(i));
        SetMTime(Src(name(i)), 1700000000 + i * 1000);
    }
    task.KeepBakCB = true;
    task.BakSec.DirMode = sdNone;
    task.BakSec.FileSuffix = "bak#";
    task.BakSec.MaxHist = 2;
    EXPECT_EQ(Run().CopyCount, 3 + count);
    for (int i : {0, 7, 8, 25, 39}) {
        WriteFileBytes(Src(name(i)), "second " + std::to_string(i));
        SetMTime(Src(name(i)), 1700000000 + i * 1000 + 500);
    }
    TFolderCounters second = Run();
    EXPECT_EQ(second.CopyCount, 5);
    EXPECT_EQ(second.ErrorCount, 0);
    for (int i = 0; i < count; ++i) {
        const bool changed = i == 0 || i == 7 || i == 8 || i == 25 || i == 39;
        EXPECT_EQ(ReadFileBytes(Dst(name(i))), (changed ? "second " : "first ") + std::to_string(i)) << i;
        EXPECT_EQ(fs::exists(Dst("many/f" + std::to_string(i) + ".bak1.txt")), changed) << i;
    }
    EXPECT_EQ(Run().CopyCount, 0);
}

namespace {

// Every step of the loop that deletes, renames over or replaces something asks the run's guard: with the
// destination itself guarded (as if it were a source folder of the task), the files a step would touch
// stay as they are and each refusal is counted.
TEST_F(CopyLoopTest, EveryDeletingStepOfTheLoopAsksTheGuard)
{
    struct Case
    {
        std::string name;
        std::function<void(TTaskSettings&)> settings;
        std::vector<std::pair<std::string, std::string>> present; // destination files before the run
        bool changeSource;                                        // a.txt changes before the run
    };
    const Case cases[] = {
        {"replacing a changed file", [](TTaskSettings&) {}, {{"a.txt", "old"}}, true},
        {"another stored form of the file",
         [](TTaskSettings& t) { t.cbCompress = true; },
         {{"a.txt", "old plain form"}},
         true},
        {"moving older versions on",
         [](TTaskSettings& t) {
             t.KeepBakCB = true;
             t.BakSec.FileSuffix = "bak-#";
             t.BakSec.MaxHist = 3;
         },
         {{"a.txt", "old"}, {"a.bak-1.txt", "v1"}, {"a.bak-2.txt", "v2"}, {"a.bak-5.txt", "surplus"}},
         true},
        {"pruning versions by age",
         [](TTaskSettings& t) {
             t.KeepBakCB = true;
             t.BakSec.FileSuffix = "bak%fdate%";
             t.BakSec.AgeInWeeks = 1;
         },
         {{"a.txt", "old"}, {"a.bak2001-01-01-00-00.txt", "ancient"}},
         true},
        {"sweeping partial copies", [](TTaskSettings&) {}, {{".a.txt.0badf00d.part", "partial"}}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(sandbox.Path("dst"));
        task = TTaskSettings();
        task.CopyTimeout = 0;
        c.settings(task);
        for (const auto& [name, content] : c.present) {
            WriteFileBytes(Dst(name), content);
            SetMTime(Dst(name), 978307200); // 2001
            if (name.ends_with(".part"))
                EngineFs::SetPartMark(Dst(name), true);
        }
        WriteFileBytes(Src("a.txt"), c.changeSource ? "alpha, changed" : "alpha");
        SetMTime(Src("a.txt"), 1700000000);
        auto guard = std::make_shared<TRunGuard>();
        guard->AddSource(sandbox.Path("dst"));
        configure = [guard](TCopyLoop& loop, TExtensionList&) { loop.Ops.Guard = guard; };
        Run();
        configure = nullptr;
        for (const auto& [name, content] : c.present)
            EXPECT_EQ(ReadFileBytes(Dst(name)), content) << name;
        EXPECT_GE(guard->TakeRefusals(), 1);
        EXPECT_NE(LogText().find("Refused to delete or replace"), std::string::npos);
    }
}

} // namespace

namespace {

TEST_F(CopyLoopTest, SynchronisationAsksTheGuardBeforeItDeletesOrRenamesAnything)
{
    for (bool keepCopies : {false, true}) {
        SCOPED_TRACE(keepCopies ? "kept as sync copies" : "deleted");
        fs::remove_all(sandbox.Path("dst"));
        Run();
        WriteFileBytes(Dst("gone.txt"), "no source any more");
        WriteFileBytes(Dst("olddir/x.txt"), "x");
        task.SyncMode = 1;
        task.KeepSyncCB = keepCopies;
        task.SyncSec.DirPrefix = "_";
        task.SyncSec.FileSuffix = "sync";
        auto guard = std::make_shared<TRunGuard>();
        guard->AddSource(sandbox.Path("dst"));
        TCopyLoop loop(task, log, control, progress, interaction);
        loop.BaseDir = sandbox.Path("dst/");
        loop.Ops.Guard = guard;
        TTimePeriod period;
        TExtensionList list(period, sdmNormal);
        list.SPath = sandbox.Path("src");
        TFolderCounters counters;
        loop.SynchronizeEntry(list, list.SPath, sandbox.Path("dst"), false, counters);
        EXPECT_EQ(ReadFileBytes(Dst("gone.txt")), "no source any more");
        EXPECT_EQ(ReadFileBytes(Dst("olddir/x.txt")), "x");
        EXPECT_GE(guard->TakeRefusals(), 1);
        task = TTaskSettings();
        task.CopyTimeout = 0;
    }
}

} // namespace
