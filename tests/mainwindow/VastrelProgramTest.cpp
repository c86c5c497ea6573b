// The built program run as a batch process in the sandbox: exit codes, task log, error log, lock file
// and after-run actions (observed through VASTREL_POWER_LOG, never carried out).

#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

#include <gtest/gtest.h>

#include "support/Sandbox.h"
#include "support/Shell.h"

namespace {

std::string ReadAll(const std::string& name)
{
    std::ifstream in(name, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteFile(const std::string& name, const std::string& text)
{
    std::filesystem::create_directories(std::filesystem::path(name).parent_path());
    std::ofstream(name, std::ios::binary) << text;
}

class VastrelProgramTest : public SandboxTest
{
protected:
    std::string ConfigDir() const { return sandbox.Path("home/.config/Vastrel6/"); }
    std::string Log() const { return ReadAll(ConfigDir() + "Vastrel.log"); }
    std::string ErrorLog() const { return ReadAll(ConfigDir() + "QvErrors.log"); }

    // A task with one source folder and a destination.
    std::string Task(const std::string& name, const std::string& dest, const std::string& source)
    {
        std::string path = sandbox.Path(name);
        WriteFile(path, "[Global]\r\nDestination=" + dest + "\r\nDirCount=1\r\n[Dir000]\r\nSource=" + source +
                            "\r\nEnabled=1\r\n");
        return path;
    }

    ShellResult Run(const std::string& args)
    {
        return RunShell("VASTREL_POWER_LOG=" + ShellQuote(sandbox.Path("power.log")) + " " +
                        ShellQuote(VASTREL_EXE) + " " + args);
    }
};

TEST_F(VastrelProgramTest, EachOutcomeEndsWithItsExitCodeLogAndErrorLogBlock)
{
    std::filesystem::create_directories(sandbox.Path("src"));
    struct Case
    {
        std::string task;
        int exitCode;
        std::string logLine;
        std::string errorLine; // empty: no error-log block
    } cases[] = {
        {sandbox.Path("missing.buj"), 1, "File not found: " + sandbox.Path("missing.buj"),
         "  *** Task not found!"},
        {Task("invalid.buj", "", sandbox.Path("src")), 6,
         "  *** Invalid task configuration: ", "  *** Invalid task configuration!"},
        {Task("nodest.buj", "/proc/vastrel-no-such-dest", sandbox.Path("src")), 2,
         "  *** Directory \"/proc/vastrel-no-such-dest\" not available for backup!",
         "  *** Destination path not found!"},
        {Task("nosrc.buj", sandbox.Path("dest"), sandbox.Path("nosrc")), 3,
         "  *** Directory \"" + sandbox.Path("nosrc") + "\" not found!", "  *** Source directory not found!"},
        {Task("ok.buj", sandbox.Path("dest"), sandbox.Path("src")), 0, "  Status: OK - Elapsed time: 00:00:0",
         ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.task);
        std::filesystem::remove(ConfigDir() + "Vastrel.log");
        std::filesystem::remove(ConfigDir() + "QvErrors.log");
        ShellResult r = Run("/force " + ShellQuote(c.task));
        EXPECT_EQ(r.exitCode, c.exitCode) << r.output;
        std::string log = Log();
        EXPECT_EQ(log.substr(0, 3), "\xEF\xBB\xBF");
        EXPECT_NE(log.find("Vastrel - 64-bit (Version "), std::string::npos) << log;
        EXPECT_NE(log.find("] - Data backup\r\n  ==> Start: "), std::string::npos) << log;
        EXPECT_NE(log.find(c.logLine), std::string::npos) << log;
        EXPECT_EQ(log.substr(log.size() - 4), "\r\n\r\n") << log;
        if (c.exitCode >= 2 && c.exitCode <= 3) {
            EXPECT_NE(log.find("  ==> End: "), std::string::npos) << log;
        }
        if (c.errorLine.empty()) {
            EXPECT_FALSE(std::filesystem::exists(ConfigDir() + "QvErrors.log"));
        } else {
            std::string errors = ErrorLog();
            EXPECT_NE(errors.find(c.errorLine + "\r\n\r\n"), std::string::npos) << errors;
            EXPECT_NE(errors.find("  ==> Start: "), std::string::npos) << errors;
        }
        EXPECT_FALSE(std::filesystem::exists(ConfigDir() + "Vastrel.lock"));
    }
}

TEST_F(VastrelProgramTest, MissingSourceFolderCountsOneErrorInTheStatusLine)
{
    ShellResult r = Run("-force " + ShellQuote(Task("t.buj", sandbox.Path("dest"), sandbox.Path("gone"))));
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_NE(Log().find("  Status: 1 error during backup - Elapsed time: "), std::string::npos) << Log();
}

TEST_F(VastrelProgramTest, FullLogIsMovedAsideAndTheNewLogStartsWithTheContinuationLine)
{
    std::filesystem::create_directories(sandbox.Path("src"));
    WriteFile(ConfigDir() + "Vastrel.ini", "[Config]\r\nProtocolSize=1\r\n");
    WriteFile(ConfigDir() + "Vastrel.log", "\xEF\xBB\xBF" + std::string(1025, 'x'));
    ShellResult r = Run("/fo " + ShellQuote(Task("t.buj", sandbox.Path("dest"), sandbox.Path("src"))));
    EXPECT_EQ(r.exitCode, 0) << r.output;
    std::string log = Log();
    EXPECT_EQ(log.find("\xEF\xBB\xBF"
                       "Continuation of \"" +
                       ConfigDir() + "Vastrel "),
              0u)
        << log;
    EXPECT_NE(log.find(".log\"\r\n\r\nVastrel - 64-bit"), std::string::npos) << log;
    int dated = 0;
    for (const auto& e : std::filesystem::directory_iterator(ConfigDir()))
        dated += e.path().filename().string().rfind("Vastrel 2", 0) == 0;
    EXPECT_EQ(dated, 1);
}

TEST_F(VastrelProgramTest, EndActionRunsAfterSuccessAndIsSuppressedByTheErrorActionMask)
{
    std::filesystem::create_directories(sandbox.Path("src"));
    std::string ok = ShellQuote(Task("ok.buj", sandbox.Path("dest"), sandbox.Path("src")));
    std::string bad = ShellQuote(Task("bad.buj", sandbox.Path("dest"), sandbox.Path("gone")));
    EXPECT_EQ(Run("/force /end:shutdown " + ok).exitCode, 0);
    EXPECT_EQ(ReadAll(sandbox.Path("power.log")), "end shutdown\n");
    EXPECT_NE(Log().find("  ==> The system will be shut down!"), std::string::npos);

    std::filesystem::remove(sandbox.Path("power.log"));
    EXPECT_EQ(Run("/force /end:shutdown /erractions:4 " + bad).exitCode, 3);
    EXPECT_FALSE(std::filesystem::exists(sandbox.Path("power.log")));

    EXPECT_EQ(Run("/force /noaction /end:s " + ok).exitCode, 0);
    EXPECT_EQ(ReadAll(sandbox.Path("power.log")), "end shutdown\n")
        << "/noaction keeps the command line's end";

    std::filesystem::remove(sandbox.Path("power.log"));
    EXPECT_EQ(Run("/force /suspend:h /prompt:quiet " + ok).exitCode, 0);
    EXPECT_EQ(ReadAll(sandbox.Path("power.log")), "suspend hibernate\n");
}

TEST_F(VastrelProgramTest, ArgumentFileAndAbsolutePathsAreToldApartFromOptions)
{
    std::filesystem::create_directories(sandbox.Path("s r c"));
    std::string task = Task("my tasks/a b.buj", sandbox.Path("dest"), sandbox.Path("s r c"));
    WriteFile(sandbox.Path("args.txt"),
              "/force ; run it\r\n" + task + "   ; the task\r\n\r\n/unknownoption\r\n");
    ShellResult r = Run("@" + ShellQuote(sandbox.Path("args.txt")));
    EXPECT_EQ(r.exitCode, 0) << r.output;
    EXPECT_NE(Log().find("Status: OK"), std::string::npos);
}

TEST_F(VastrelProgramTest, MissingArgumentFileIsReportedAndNothingRuns)
{
    ShellResult r = Run("@" + ShellQuote(sandbox.Path("nothere.txt")) + " /force");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_NE(r.output.find("not found!"), std::string::npos) << r.output;
    EXPECT_FALSE(std::filesystem::exists(ConfigDir() + "Vastrel.log"));
}

TEST_F(VastrelProgramTest, LockFileOfAnotherRunIsLeftInPlace)
{
    std::filesystem::create_directories(sandbox.Path("src"));
    WriteFile(ConfigDir() + "Vastrel.lock", "other");
    EXPECT_EQ(Run("/force " + ShellQuote(Task("t.buj", sandbox.Path("dest"), sandbox.Path("src")))).exitCode,
              0);
    EXPECT_EQ(ReadAll(ConfigDir() + "Vastrel.lock"), "other");
}

TEST_F(VastrelProgramTest, UnwritableSettingsAndLogFoldersAreReportedAndTheExitCodeStays)
{
    // /proc takes no new files, not even from root.
    ShellResult r = Run("/force /ini:/proc/vastrel-test.ini " + ShellQuote(sandbox.Path("none.buj")));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.output.find("Error writing to \"/proc/vastrel-test.ini\""), std::string::npos) << r.output;

    // A log folder that cannot be created: the logs stay in the settings folder.
    r = Run("/force /logdir:/proc/vastrel-logs " + ShellQuote(sandbox.Path("none.buj")));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(Log().find("File not found"), std::string::npos);
    EXPECT_NE(ErrorLog().find("  *** Task not found!"), std::string::npos);
}

} // namespace
