#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sys/file.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "RunTestUtil.h"
#include "backup/BackupRun.h"
#include "foundation/QvUtilsAutoTask.h"
#include "foundation/QvUtilsFolders.h"
#include "support/Files.h"

namespace {

class BackupRunTest : public runtest::RunFrameTest
{
protected:
    void SetUp() override
    {
        RunFrameTest::SetUp();
        std::filesystem::create_directories(sandbox.Path("src"));
    }
    std::string Task(const std::string& extra, const std::string& dest = std::string())
    {
        std::string path = sandbox.Path("tasks/t.buj");
        std::filesystem::create_directories(sandbox.Path("tasks"));
        std::ofstream(path) << "[Global]\nDestination=" << (dest.empty() ? sandbox.Path("dest") : dest)
                            << "\nDirCount=1\n"
                            << extra << "\n[Dir000]\nSource=" << sandbox.Path("src") << "\n";
        return path;
    }
    TRecordingProgress progress;
    TRunControl control;
    TBackupEngine engine{host, interaction, progress, control, log};
};

TEST_F(BackupRunTest, SuccessfulRunHoldsTheLockAndKeepsTheSystemAwakeOnlyWhileItRuns)
{
    bool lockSeen = false;
    engine.BackupDirectory = [&](TExtensionList&, const std::string&, const std::string&, bool,
                                 TFolderCounters& c) {
        lockSeen = std::filesystem::exists(sandbox.Path("cfg/Vastrel.lock"));
        c.FileCount += 2;
        c.CopyCount += 2;
        c.TotalBytes += 10;
        c.CopiedBytes += 10;
    };
    EXPECT_EQ(engine.DoBackupJob(0, iaDelay, 3, Task("")), brOK);
    EXPECT_TRUE(lockSeen);
    EXPECT_FALSE(std::filesystem::exists(sandbox.Path("cfg/Vastrel.lock")));
    EXPECT_EQ(host.FExitState, 0);
    ASSERT_FALSE(host.PowerLog.empty());
    EXPECT_EQ(host.PowerLog.front(), "awake display");
    EXPECT_EQ(host.PowerLog.back(), "sleep");
    std::string text = ReadFileBytes(host.DefaultLog);
    EXPECT_NE(text.find("    => Status: 2 files copied\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("          Backup: 2 of 2 files copied (10 B of 10 B)\r\n"), std::string::npos)
        << text;
    ASSERT_FALSE(progress.Calls.empty());
    EXPECT_EQ(progress.Calls.back().rfind("ShowStatus psOK|Backup completed|2 of 2 files copied", 0), 0u)
        << progress.Calls.back();
    // The statistics went back into the task file.
    EXPECT_NE(ReadFileBytes(sandbox.Path("tasks/t.buj"))
                  .find(std::string("B\0a\0c\0k\0u\0p\0C\0o\0u\0n\0t\0=\0002", 26)),
              std::string::npos);
}

TEST_F(BackupRunTest, ErrorsOfTheCopyLoopGiveExitStateFourAndAnErrorStatus)
{
    engine.BackupDirectory = [&](TExtensionList&, const std::string&, const std::string&, bool,
                                 TFolderCounters& c) {
        c.FileCount += 1;
        c.ErrorCount += 1;
        log.WriteErrorToLog("B", "cannot read x");
    };
    EXPECT_EQ(engine.DoBackupJob(0, iaQuiet, 3, Task("LogFile=130")), brOK);
    EXPECT_EQ(host.FExitState, 4);
    std::string text = ReadFileBytes(host.DefaultLog);
    EXPECT_NE(
        text.find("    => Status: No files copied (1 error)\r\n  *** Summary of errors:\r\n      => (1) B: "
                  "cannot read x\r\n"),
        std::string::npos)
        << text;
    EXPECT_NE(text.find("  Status: 1 error during backup - Elapsed time: 00:00:0"), std::string::npos)
        << text;
    EXPECT_EQ(progress.Calls.back(), "Terminate");
}

TEST_F(BackupRunTest, CancelledRunEndsWithExitStateFiveAndStopsTheFolderLoop)
{
    int folders = 0;
    engine.BackupDirectory = [&](TExtensionList&, const std::string&, const std::string&, bool,
                                 TFolderCounters&) {
        ++folders;
        control.Cancel(true);
    };
    std::string path = sandbox.Path("tasks/t.buj");
    std::filesystem::create_directories(sandbox.Path("tasks"));
    std::ofstream(path) << "[Global]\nDestination=" << sandbox.Path("dest")
                        << "\nDirCount=2\n[Dir000]\nSource=" << sandbox.Path("src")
                        << "\n[Dir001]\nSource=" << sandbox.Path("src") << "\n";
    EXPECT_EQ(engine.DoBackupJob(0, iaDelay, 3, path), brError);
    EXPECT_EQ(folders, 1);
    EXPECT_EQ(host.FExitState, 5);
    EXPECT_EQ(engine.BuStatus, bsCancelAll);
    EXPECT_NE(ReadFileBytes(host.DefaultLog).find("  Status: Canceled by user - "), std::string::npos);
}

TEST_F(BackupRunTest, PreCommandAndTimeSlotStopTheRunBeforeCopying)
{
    int folders = 0;
    engine.BackupDirectory = [&](TExtensionList&, const std::string&, const std::string&, bool,
                                 TFolderCounters&) { ++folders; };
    engine.CmdTmPeriod.Mode = tmError;
    EXPECT_EQ(engine.DoBackupJob(0, iaDelay, 3, Task("")), brError);
    EXPECT_EQ(host.FExitState, 4);
    EXPECT_NE(
        ReadFileBytes(host.DefaultLog).find("  *** Invalid time slot from command line!\r\n  ==> End: "),
        std::string::npos);
    EXPECT_EQ(folders, 0);
    EXPECT_FALSE(std::filesystem::exists(sandbox.Path("cfg/Vastrel.lock")));
}

TEST_F(BackupRunTest, MissingTaskIsReportedByBoxOrEventLog)
{
    EXPECT_EQ(engine.DoBackupJob(3, iaQuiet, 3, sandbox.Path("none.buj")), brError);
    EXPECT_EQ(host.FExitState, 1);
    EXPECT_EQ(host.FailedTask, 3);
    EXPECT_EQ(EventLines(), std::vector<std::string>{"E 0xC000000E " + sandbox.Path("none.buj")});
    EXPECT_EQ(engine.DoBackupJob(0, iaDelay, 3, sandbox.Path("none.buj")), brError);
    ASSERT_EQ(interaction.Calls.size(), 1u);
    EXPECT_EQ(interaction.Calls[0], "ErrorBox 5|File\r\n\"" + sandbox.Path("none.buj") + "\"\r\nnot found!");
}

TEST_F(BackupRunTest, LockOfALiveRunIsLoggedAndLeftInPlaceWhileALeftoverOneIsReplaced)
{
    const std::string lockName = sandbox.Path("cfg/Vastrel.lock");
    // Another run holds the lock: the run goes on, says so, and leaves the lock alone.
    std::ofstream(lockName, std::ios::binary) << std::string("o\0t\0h\0e\0r\0", 10);
    int fd = open(lockName.c_str(), O_RDONLY);
    ASSERT_EQ(flock(fd, LOCK_EX), 0);
    EXPECT_EQ(engine.DoBackupJob(0, iaDelay, 3, Task("")), brOK);
    EXPECT_NE(ReadFileBytes(host.DefaultLog)
                  .find("  *** Another backup is running (other); its lock file \"" + lockName +
                        "\" stays in place\r\n"),
              std::string::npos)
        << ReadFileBytes(host.DefaultLog);
    EXPECT_TRUE(std::filesystem::exists(lockName));
    close(fd);

    // The same file without a holder is what a crashed run left: this run takes it over.
    bool lockSeen = false;
    std::string lockText;
    engine.BackupDirectory = [&](TExtensionList&, const std::string&, const std::string&, bool,
                                 TFolderCounters&) {
        lockSeen = LockFileExists(sandbox.Path("cfg/"));
        lockText = ReadFileBytes(lockName);
    };
    std::filesystem::remove(host.DefaultLog);
    EXPECT_EQ(engine.DoBackupJob(0, iaDelay, 3, Task("")), brOK);
    EXPECT_TRUE(lockSeen);
    EXPECT_EQ(lockText.size(), 2 * Task("").size());
    EXPECT_FALSE(std::filesystem::exists(lockName));
    EXPECT_EQ(ReadFileBytes(host.DefaultLog).find("Another backup is running"), std::string::npos);
}

TEST_F(BackupRunTest, HeaderShowsSettingsOptionsAndTheDestinationVolume)
{
    EXPECT_EQ(
        engine.DoBackupJob(0, iaDelay, 3,
                           Task("LogFile=2\nCompress=1\nVerify=1\nCreationTime=0\nSyncMode=1\nBakFiles=1\n"
                                "PreCommand=prep #a b#\nPreWait=0\nPostCommand=post\n"
                                "PostWait=8192\nPostConditions=0")),
        brOK);
    std::string text = ReadFileBytes(host.DefaultLog);
    EXPECT_NE(text.find("  Computer: testhost\r\n"
                        "  Method: Separate files - Separate directories for drives\r\n"
                        "  Settings: Compress files\r\n"
                        "            Verify copied files\r\n"
                        "  Options:  Synchronize - All files\r\n"
                        "            Security backup of old file versions: During backup\r\n"
                        "            External programs: after Backup (post)\r\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("  Destination volume: "), std::string::npos) << text;
    EXPECT_NE(text.find(" free of "), std::string::npos) << text;
    EXPECT_NE(text.find("\r\n  File system: "), std::string::npos) << text;
    EXPECT_NE(text.find("\r\n  User name: tester\r\n"), std::string::npos) << text;
    // The post program is active but not there: the log says so.
    EXPECT_NE(text.find("  ### External program not found: post\r\n"), std::string::npos) << text;
}

TEST_F(BackupRunTest, DestinationAndLogNamesExpandTheirPlaceholders)
{
    std::string dest = sandbox.Path("dest/%mode%-%year%");
    std::string seenDest;
    engine.BackupDirectory = [&](TExtensionList&, const std::string&, const std::string& destDir, bool,
                                 TFolderCounters&) { seenDest = destDir; };
    engine.SpecMode = 2;
    std::string year = FormatDateTime("yyyy", Now());
    EXPECT_EQ(engine.DoBackupJob(0, iaDelay, 3, Task("LogName=%taskname%-%year%.log\nDriveId=Drv?", dest)),
              brOK);
    EXPECT_EQ(engine.BaseDir, sandbox.Path("dest/Diff-" + year));
    EXPECT_EQ(seenDest, sandbox.Path("dest/Diff-" + year + "/Drv" + sandbox.Path("src")));
    std::string text = ReadFileBytes(sandbox.Path("cfg/t-" + year + ".log"));
    EXPECT_NE(text.find("Backup task: t.buj (D)\r\n"), std::string::npos) << text;
}

TEST_F(BackupRunTest, AutomaticRunTakesTheModeOfItsAlternatingScheduleAndItsFolder)
{
    TAutoTask& slot = *host.Slots[0];
    slot.TaskName = "Daily";
    slot.BuProcess = asLogon;
    slot.SchedProps.StepMode = 1;
    slot.SchedProps.NumZyk = 14;
    slot.SchedProps.AktZyk = 9;
    slot.SchedProps.SchedMode = smIncr;
    EXPECT_EQ(engine.DoBackupJob(1, iaDelay, 3, Task("LogFile=2")), brOK);
    EXPECT_EQ(engine.BaseDir, sandbox.Path("dest/BD09I"));
    EXPECT_TRUE(std::filesystem::is_directory(sandbox.Path("dest/BD09I")));
    std::string text = ReadFileBytes(host.DefaultLog);
    EXPECT_NE(text.find("Automatic backup 1: Daily (I)\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("      Time schedule: Always on logon\r\n"), std::string::npos) << text;
    EXPECT_EQ(slot.SchedProps.LastZyk, 9);
}

TEST(AlternatingModeTest, CycleStepsGiveFullDifferentialOrIncrementalRuns)
{
    struct Case
    {
        int stepMode, numZyk, aktZyk, fullZyk;
        TSchedMode mode;
        int index;
    } cases[] = {
        {1, 14, 8, 0, smDiff2, 1}, {1, 14, 9, 0, smDiff2, 2}, {1, 7, 8, 7, smDiff, 1},
        {2, 5, 3, 0, smIncr, 3},   {2, 5, 1, 0, smIncr, 1},   {1, 5, 3, 0, smNormal, -1},
        {0, 5, 1, 0, smDiff, -1},
    };
    for (const auto& c : cases) {
        TSchedule s;
        s.StepMode = c.stepMode;
        s.NumZyk = c.numZyk;
        s.AktZyk = c.aktZyk;
        s.FullZyk = c.fullZyk;
        s.SchedMode = c.mode;
        EXPECT_EQ(AlternatingModeIndex(s), c.index) << c.numZyk << " " << c.aktZyk;
    }
}

TEST_F(BackupRunTest, ZipNamesGetTheirExtensionOnce)
{
    EXPECT_EQ(engine.MakeZipName("Backup.ZIP"), "Backup.ZIP");
    EXPECT_EQ(engine.MakeZipName("Backup"), "Backup.zip");
    EXPECT_EQ(engine.MakeZipName("").rfind("QV-Zip-", 0), 0u);
}

TEST(ModalResultTest, ResultCodesMapToRunResults)
{
    EXPECT_EQ(ModalResultToBuResult(7), brError);
    EXPECT_EQ(ModalResultToBuResult(11 + 256), brStandby);
    EXPECT_EQ(ModalResultToBuResult(13), brRepeat);
    EXPECT_EQ(ModalResultToBuResult(1), brOK);
    EXPECT_EQ(ActionToResultCode(1), 9);
    EXPECT_EQ(ActionToResultCode(0), 1);
}

} // namespace

TEST(HeadlessInteractionTest, MessageLinesReachTheTerminalWithoutCarriageReturns)
{
    THeadlessInteraction interaction;
    testing::internal::CaptureStderr();
    interaction.ErrorBox("First line\r\nSecond line\rThird", 0);
    interaction.InfoBox("Done\r\n");
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Vastrel: First line\nSecond line\nThird\nVastrel: Done\n\n");
}
