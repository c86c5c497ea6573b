#include <filesystem>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "backup/BackupRun.h"
#include "support/Sandbox.h"

namespace {

std::string ReadAll(const std::string& name)
{
    std::ifstream in(name, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class BackupRunTest : public SandboxTest
{
protected:
    void SetUp() override
    {
        host.SettingsFolder = host.LogFolder = sandbox.Path("cfg/");
        host.TempFolder = sandbox.Path("tmp/");
        host.TaskFolder = sandbox.Path("tasks/");
        host.DefaultLog = sandbox.Path("cfg/Vastrel.log");
        host.ProgSettings.LogSettings.LogSize = 1000;
        host.ProgSettings.LogSettings.LogMode = 57;
        host.ProgSettings.ViewSettings.AutoWaitTime = 5;
        std::filesystem::create_directories(sandbox.Path("cfg"));
        std::filesystem::create_directories(sandbox.Path("src"));
    }
    std::string Task(const std::string& extra)
    {
        std::string path = sandbox.Path("tasks/t.buj");
        std::filesystem::create_directories(sandbox.Path("tasks"));
        std::ofstream(path) << "[Global]\nDestination=" << sandbox.Path("dest") << "\nDirCount=1\n"
                            << extra << "\n[Dir000]\nSource=" << sandbox.Path("src") << "\n";
        return path;
    }
    TRecordingHost host;
    TRecordingInteraction interaction;
    TRecordingProgress progress;
    TRunControl control;
    TTaskLog log{host, interaction};
    TBackupEngine engine{host, interaction, progress, control, log};
};

TEST_F(BackupRunTest, SuccessfulRunHoldsTheLockAndKeepsTheSystemAwakeOnlyWhileItRuns)
{
    bool lockSeen = false;
    engine.BackupDirectory = [&](const TRunSource&, const std::string&, bool, TFolderCounters& c) {
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
    EXPECT_EQ(host.PowerLog.front(), "awake display");
    EXPECT_EQ(host.PowerLog.back(), "sleep");
    std::string text = ReadAll(host.DefaultLog);
    EXPECT_NE(text.find("    => Status: 2 files copied\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("          Backup: 2 of 2 files copied (10 B of 10 B)\r\n"), std::string::npos)
        << text;
    ASSERT_FALSE(progress.Calls.empty());
    EXPECT_EQ(progress.Calls.back().rfind("ShowStatus psOK|Backup completed|2 of 2 files copied", 0), 0u)
        << progress.Calls.back();
    // The statistics went back into the task file.
    EXPECT_NE(
        ReadAll(sandbox.Path("tasks/t.buj")).find(std::string("B\0a\0c\0k\0u\0p\0C\0o\0u\0n\0t\0=\0002", 26)),
        std::string::npos);
}

TEST_F(BackupRunTest, ErrorsOfTheCopyLoopGiveExitStateFourAndAnErrorStatus)
{
    engine.BackupDirectory = [&](const TRunSource&, const std::string&, bool, TFolderCounters& c) {
        c.FileCount += 1;
        c.ErrorCount += 1;
        log.WriteErrorToLog("B", "cannot read x");
    };
    EXPECT_EQ(engine.DoBackupJob(0, iaQuiet, 3, Task("LogFile=130")), brOK);
    EXPECT_EQ(host.FExitState, 4);
    std::string text = ReadAll(host.DefaultLog);
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
    engine.BackupDirectory = [&](const TRunSource&, const std::string&, bool, TFolderCounters&) {
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
    EXPECT_NE(ReadAll(host.DefaultLog).find("  Status: Canceled by user - "), std::string::npos);
}

TEST_F(BackupRunTest, PreCommandAndTimeSlotStopTheRunBeforeCopying)
{
    int folders = 0;
    engine.BackupDirectory = [&](const TRunSource&, const std::string&, bool, TFolderCounters&) {
        ++folders;
    };
    engine.CmdTimeSlot = ctsError;
    EXPECT_EQ(engine.DoBackupJob(0, iaDelay, 3, Task("")), brError);
    EXPECT_EQ(host.FExitState, 4);
    EXPECT_NE(ReadAll(host.DefaultLog).find("  *** Invalid time slot from command line!\r\n  ==> End: "),
              std::string::npos);
    EXPECT_EQ(folders, 0);
    EXPECT_FALSE(std::filesystem::exists(sandbox.Path("cfg/Vastrel.lock")));
}

TEST_F(BackupRunTest, MissingTaskIsReportedByBoxOrEventLog)
{
    host.EventSource = true;
    EXPECT_EQ(engine.DoBackupJob(3, iaQuiet, 3, sandbox.Path("none.buj")), brError);
    EXPECT_EQ(host.FExitState, 1);
    EXPECT_EQ(host.FailedTask, 3);
    ASSERT_EQ(host.Events.size(), 1u);
    EXPECT_EQ(host.Events[0], "E 0xC000000E " + sandbox.Path("none.buj"));
    EXPECT_EQ(engine.DoBackupJob(0, iaDelay, 3, sandbox.Path("none.buj")), brError);
    ASSERT_EQ(interaction.Calls.size(), 1u);
    EXPECT_EQ(interaction.Calls[0], "ErrorBox 5|File\r\n\"" + sandbox.Path("none.buj") + "\"\r\nnot found!");
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
