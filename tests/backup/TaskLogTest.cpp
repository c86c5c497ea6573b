#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/file.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "RunTestUtil.h"
#include "support/Files.h"

namespace {

class TaskLogTest : public runtest::RunFrameTest
{
protected:
    void SetUp() override
    {
        RunFrameTest::SetUp();
        ProgSettings.LogSettings.LogSize = 1;
    }
};

TEST(TaskLogLineTest, LinesGoToFilesWhoseLevelAllowsThem)
{
    struct Case
    {
        int file, line;
        bool written;
    } cases[] = {{1, 1, true}, {1, 2, false}, {2, 2, true}, {3, 2, true},  {1, 6, false},
                 {5, 6, true}, {2, 6, true},  {6, 6, true}, {0, 1, false}, {3, 3, true}};
    for (const auto& c : cases)
        EXPECT_EQ(TTaskLog::LineAllowed(c.file, c.line), c.written) << c.file << " " << c.line;
}

TEST_F(TaskLogTest, HeaderStartLineAndNumberedErrorsWithSummary)
{
    ASSERT_EQ(log.OpenLogFile(0x82, "", false), 0u);
    log.InitLog("Data backup");
    log.BeginLog(EncodeDateTime(2025, 3, 5, 10, 0, 0, 0), "Backup task: t.buj");
    log.WriteErrorToLog("B", "first", "detail one", "");
    log.WriteErrorToLog(6, "B", "a warning");
    log.WriteErrorToLog("", "second", 0u);
    log.WriteErrorSummary();
    log.CloseLogFile(false);
    std::string text = ReadFileBytes(host.DefaultLog);
    EXPECT_NE(
        text.find("\xEF\xBB\xBFVastrel - 64-bit (Version 6.0.0.0) [02] - Data backup\r\n"
                  "  Operating system: Test Linux 1.0 (Kernel 6.1.0-test, 64-bit Edition)\r\n  ==> Start: "),
        std::string::npos)
        << text;
    EXPECT_NE(
        text.find("  *** (1) B: first\r\n      -> detail one\r\n  *** a warning\r\n  *** (2): second\r\n"
                  "  *** Summary of errors:\r\n      => (1) B: first\r\n      => (2): second\r\n\r\n"),
        std::string::npos)
        << text;
}

TEST_F(TaskLogTest, SummaryListsAHundredEntriesAndCountsTheRest)
{
    log.OpenLogFile(0x82, "", false);
    for (int i = 0; i < 101; ++i)
        log.WriteErrorToLog("B", "e" + std::to_string(i));
    log.WriteErrorSummary();
    log.CloseLogFile(false);
    std::string text = ReadFileBytes(host.DefaultLog);
    EXPECT_NE(text.find("      => (100) B: e99\r\n      => 1 more errors\r\n"), std::string::npos);
    EXPECT_EQ(text.find("      => (101)"), std::string::npos);
}

TEST_F(TaskLogTest, FullLogIsMovedOnceADayAndExactLimitStays)
{
    std::filesystem::create_directories(sandbox.Path("cfg"));
    std::ofstream(host.DefaultLog, std::ios::binary) << std::string(1024, 'x');
    log.OpenLogFile(1, "", false);
    log.CloseLogFile(false);
    EXPECT_EQ(ReadFileBytes(host.DefaultLog).substr(0, 1024), std::string(1024, 'x'))
        << "exactly the limit stays";

    std::string dated = TTaskLog::DatedLogName(host.DefaultLog, Date());
    log.OpenLogFile(1, "", false);
    log.CloseLogFile(false);
    ASSERT_TRUE(std::filesystem::exists(dated));
    EXPECT_EQ(ReadFileBytes(host.DefaultLog), "\xEF\xBB\xBF"
                                              "Continuation of \"" +
                                                  dated + "\"\r\n\r\n\r\n");

    // The dated name is taken: the next full log grows instead.
    std::ofstream(host.DefaultLog, std::ios::binary | std::ios::app) << std::string(2000, 'y');
    log.OpenLogFile(1, "", false);
    log.CloseLogFile(false);
    EXPECT_GT(std::filesystem::file_size(host.DefaultLog), 2000u);
}

TEST_F(TaskLogTest, LockedLogIsWrittenUnderNumberedNames)
{
    std::filesystem::create_directories(sandbox.Path("cfg"));
    std::string name = sandbox.Path("cfg/task.txt");
    std::ofstream(name) << "x";
    int fd1 = open(name.c_str(), O_RDONLY);
    ASSERT_EQ(flock(fd1, LOCK_EX), 0);
    std::ofstream(sandbox.Path("cfg/task-1.log")) << "x";
    int fd2 = open(sandbox.Path("cfg/task-1.log").c_str(), O_RDONLY);
    ASSERT_EQ(flock(fd2, LOCK_EX), 0);
    EXPECT_EQ(log.OpenLogFile(1, "task.txt", false), 0u);
    EXPECT_EQ(log.LastLogFile(), sandbox.Path("cfg/task-2.log"));
    log.CloseLogFile(false);
    close(fd1);
    close(fd2);
}

TEST_F(TaskLogTest, LevelZeroWithMailLogFillsOnlyTheTemporaryCopy)
{
    EXPECT_EQ(log.OpenLogFile(0, "", true), 0u);
    log.WriteToLog("line one");
    log.WriteToLog(2, "line two");
    std::string temp = log.TempLogName();
    ASSERT_FALSE(temp.empty());
    EXPECT_EQ(temp.rfind(sandbox.Path("tmp/QV "), 0), 0u);
    log.CloseTempLog();
    EXPECT_EQ(ReadFileBytes(temp), "\xEF\xBB\xBFline one\r\n");
    log.CloseLogFile(false);
    EXPECT_FALSE(std::filesystem::exists(temp));
    EXPECT_FALSE(std::filesystem::exists(host.DefaultLog));
}

TEST_F(TaskLogTest, CommandLineModeOverridesAndDeletesPreviousEntries)
{
    std::filesystem::create_directories(sandbox.Path("cfg"));
    std::ofstream(host.DefaultLog) << "old";
    log.CmdProtMode = 12;
    log.OpenLogFile(1, "", false);
    EXPECT_EQ(log.CurrentLogMode(), 2);
    log.CloseLogFile(false);
    EXPECT_EQ(ReadFileBytes(host.DefaultLog), "\xEF\xBB\xBF\r\n");
}

TEST_F(TaskLogTest, ErrorLogGetsABlockForFailedRunsOnly)
{
    struct Case
    {
        int state;
        bool portable;
        bool block;
        int count;
    } cases[] = {{0, false, false, 0}, {4, false, true, 1}, {5, false, true, 0}, {3, true, false, 0}};
    for (const auto& c : cases) {
        std::filesystem::remove(sandbox.Path("cfg/QvErrors.log"));
        host.ErrorCount = 0;
        host.FExitState = c.state;
        host.Portable = c.portable;
        log.OpenLogFile(1, "", false);
        log.InitLog("Data backup");
        log.BeginLog(Now(), "t");
        log.CloseLogFile(true);
        std::string text = ReadFileBytes(sandbox.Path("cfg/QvErrors.log"));
        EXPECT_EQ(!text.empty(), c.block) << c.state;
        EXPECT_EQ(host.ErrorCount, c.count) << c.state;
        if (c.block) {
            EXPECT_NE(text.find(log.LogHeader() + "\r\n" + log.LogBegin() + "\r\n  *** "), std::string::npos);
        }
    }
}

TEST_F(TaskLogTest, LogThatCannotBeCreatedIsReportedAndTheRunGoesOnWithout)
{
    uint32_t code = log.OpenLogFile(1, "/proc/vastrel-test/x.log", false);
    EXPECT_NE(code, 0u);
    EXPECT_EQ(log.ActMode(), 0);
    log.CheckLogError(code, false);
    EXPECT_EQ(EventLines(), std::vector<std::string>{"E 0xC000000D"});
    log.CheckLogError(code, true);
    ASSERT_EQ(interaction.Calls.size(), 1u);
    EXPECT_NE(interaction.Calls[0].find("Error opening log file!"), std::string::npos);
    log.WriteToLog("ignored");
    log.CloseLogFile(false);
}

} // namespace
