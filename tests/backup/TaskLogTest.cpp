#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "RunTestUtil.h"
#include "support/Files.h"

namespace {

using runtest::LogLines;

// A FIFO in the sandbox with its reading end held open (without waiting), so that a writer would
// neither block nor lose what it writes.
struct HeldFifo
{
    explicit HeldFifo(const std::string& path) : Path(path)
    {
        EXPECT_EQ(mkfifo(path.c_str(), 0600), 0) << path;
        Reader = open(path.c_str(), O_RDONLY | O_NONBLOCK);
        EXPECT_GE(Reader, 0) << path;
    }
    ~HeldFifo() { close(Reader); }
    // What writers have put into the FIFO so far.
    std::string Received() const
    {
        std::string text;
        char buffer[4096];
        for (ssize_t n; (n = read(Reader, buffer, sizeof buffer)) > 0;)
            text.append(buffer, static_cast<size_t>(n));
        return text;
    }
    bool StillAFifo() const
    {
        struct stat st;
        return lstat(Path.c_str(), &st) == 0 && S_ISFIFO(st.st_mode);
    }
    std::string Path;
    int Reader = -1;
};

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

TEST(TaskLogLineTest, ControlCharactersAreEscapedAndEveryOtherByteStays)
{
    struct Case
    {
        std::string text, written;
    } cases[] = {
        {"a\nFAKE LINE", "a\\nFAKE LINE"},
        {"x\r\ny\tz", "x\\r\\ny\\tz"},
        {std::string("\x01\x1B[31m\x1F\x7F\0!", 10), "\\x01\\x1B[31m\\x1F\\x7F\\x00!"},
        {"C:\\path\\name", "C:\\path\\name"},
        {"Grüße, 日本, €, \xC2\xA0", "Grüße, 日本, €, \xC2\xA0"},
        // The second set of control characters and the Unicode line and paragraph separators.
        {"a\xC2\x85"
         "b\xC2\x80\xC2\x9F",
         "a\\u0085b\\u0080\\u009F"},
        {"a\xE2\x80\xA8"
         "b\xE2\x80\xA9"
         "c\xE2\x80\xA6",
         "a\\u2028b\\u2029c\xE2\x80\xA6"},
        // Bytes that are not UTF-8 pass through as they are.
        {"\xFF\xFEname\xC2", "\xFF\xFEname\xC2"},
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(EscapeLogText(c.text), c.written) << c.text;
}

TEST_F(TaskLogTest, NamesWithControlCharactersCannotForgeLinesInAnyLogFile)
{
    const std::string name = "a\nFAKE LINE\r\nFAKE TOO";
    host.FExitState = 4;
    log.ShowErrors = true;
    ASSERT_EQ(log.OpenLogFile(0x82, "", true), 0u);
    log.InitLog("Data backup");
    log.BeginLog(Now(), "Backup task: " + name);
    log.WriteToLog("      Copied: \"" + name + "\"");
    log.WriteErrorToLog("B", "Error copying: " + name, "detail " + name, "");
    log.WriteErrorSummary();
    EXPECT_EQ(log.ErrorWindowLines(),
              std::vector<std::string>{"(1) Error copying: a\\nFAKE LINE\\r\\nFAKE TOO"});
    const std::string temp = log.TempLogName();
    log.CloseTempLog();
    const std::string mailCopy = ReadFileBytes(temp);
    log.CloseLogFile(true);
    const std::string escaped = "a\\nFAKE LINE\\r\\nFAKE TOO";
    for (const std::string& file : {host.DefaultLog, temp, sandbox.Path("cfg/QvErrors.log")}) {
        SCOPED_TRACE(file);
        const std::string text = file == temp ? mailCopy : ReadFileBytes(file);
        ASSERT_FALSE(text.empty());
        EXPECT_NE(text.find("Backup task: " + escaped + "\r\n"), std::string::npos) << text;
        for (const auto& line : LogLines(text)) {
            EXPECT_EQ(line.find_first_of("\r\n"), std::string::npos) << text;
            EXPECT_FALSE(line.starts_with("FAKE")) << text;
        }
    }
    const std::string text = ReadFileBytes(host.DefaultLog);
    EXPECT_NE(text.find("      Copied: \"" + escaped + "\"\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("  *** (1) B: Error copying: " + escaped + "\r\n      -> detail " + escaped + "\r\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("      => (1) B: Error copying: " + escaped + "\r\n"), std::string::npos) << text;
}

TEST_F(TaskLogTest, LogNamesThatAreNotRegularFilesAreNeverOpened)
{
    struct Case
    {
        std::string name;
        int mode;
    } cases[] = {{"FIFO", 1}, {"FIFO with previous entries deleted", 0x101}, {"link to a FIFO", 2}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        events.Records.clear();
        const std::string fifoName = sandbox.Path("cfg/" + c.name + ".fifo");
        HeldFifo fifo(fifoName);
        std::string logName = fifoName;
        if (c.name.starts_with("link")) {
            logName = sandbox.Path("cfg/link.log");
            std::filesystem::create_symlink(fifoName, logName);
        }
        const uint32_t code = log.OpenLogFile(c.mode, logName, false);
        EXPECT_NE(code, 0u);
        EXPECT_EQ(log.ActMode(), 0);
        EXPECT_EQ(log.LastLogFile(), logName) << "not a log held by another program";
        log.CheckLogError(code, false);
        EXPECT_EQ(EventLines(), std::vector<std::string>{"E 0xC000000D"});
        log.InitLog("Data backup");
        log.WriteToLog("a line");
        log.CloseLogFile(false);
        EXPECT_EQ(fifo.Received(), "");
        EXPECT_TRUE(fifo.StillAFifo());
    }
    // A device is no log either; a link to a regular file is.
    EXPECT_NE(log.OpenLogFile(1, "/dev/null", false), 0u);
    log.CloseLogFile(false);
    std::ofstream(sandbox.Path("cfg/real.log"), std::ios::binary) << "\xEF\xBB\xBF";
    std::filesystem::create_symlink(sandbox.Path("cfg/real.log"), sandbox.Path("cfg/linked.log"));
    ASSERT_EQ(log.OpenLogFile(1, sandbox.Path("cfg/linked.log"), false), 0u);
    log.WriteToLog("through the link");
    log.CloseLogFile(false);
    EXPECT_EQ(ReadFileBytes(sandbox.Path("cfg/real.log")), "\xEF\xBB\xBFthrough the link\r\n\r\n");
}

TEST_F(TaskLogTest, ErrorLogThatIsAFifoIsLeftAloneAndTheRunEnds)
{
    HeldFifo fifo(sandbox.Path("cfg/QvErrors.log"));
    host.FExitState = 4;
    ASSERT_EQ(log.OpenLogFile(1, "", false), 0u);
    log.InitLog("Data backup");
    log.BeginLog(Now(), "t");
    log.CloseLogFile(true);
    EXPECT_EQ(fifo.Received(), "");
    EXPECT_TRUE(fifo.StillAFifo());
    EXPECT_EQ(host.ErrorCount, 1) << "the failed run still counts";
    EXPECT_NE(ReadFileBytes(host.DefaultLog).find("  ==> Start: "), std::string::npos);
}

TEST_F(TaskLogTest, HeaderShowsTheFourPartVersionOfTheBuild)
{
    ProgVersion.clear(); // as the program starts: the version is the build's
    host.FExitState = 4;
    ASSERT_EQ(log.OpenLogFile(1, "", false), 0u);
    log.InitLog("Data backup");
    log.BeginLog(Now(), "t");
    const std::string header = log.LogHeader();
    log.CloseLogFile(true);
    EXPECT_TRUE(std::regex_match(
        header, std::regex(R"(Vastrel - (32|64)-bit \(Version \d+\.\d+\.\d+\.\d+\) \[01\] - Data backup)")))
        << header;
    EXPECT_EQ(ReadFileBytes(host.DefaultLog).find("\xEF\xBB\xBF" + header + "\r\n"), 0u);
    EXPECT_EQ(ReadFileBytes(sandbox.Path("cfg/QvErrors.log")).find("\xEF\xBB\xBF" + header + "\r\n"), 0u);
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
