// The built program run as a batch process in the sandbox: exit codes, task log, error log, lock file
// and after-run actions (observed through VASTREL_POWER_LOG, never carried out).

#include <algorithm>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include "support/Files.h"
#include "support/Sandbox.h"
#include "support/Shell.h"

namespace {

class VastrelProgramTest : public SandboxTest
{
protected:
    std::string ConfigDir() const { return sandbox.Path("home/.config/Vastrel6/"); }
    std::string Log() const { return ReadFileBytes(ConfigDir() + "Vastrel.log"); }
    std::string ErrorLog() const { return ReadFileBytes(ConfigDir() + "QvErrors.log"); }

    // A task with one source folder and a destination.
    std::string Task(const std::string& name, const std::string& dest, const std::string& source)
    {
        std::string path = sandbox.Path(name);
        WriteFileBytes(path, "[Global]\r\nDestination=" + dest +
                                 "\r\nDirCount=1\r\n[Dir000]\r\nSource=" + source + "\r\nEnabled=1\r\n");
        return path;
    }

    // A batch run: no display, whatever the session running the tests has. With a time limit a run
    // that hangs is ended (exit code 124) instead of the test.
    ShellResult Run(const std::string& args, int limitSeconds = 0)
    {
        const std::string limit = limitSeconds > 0 ? "timeout " + std::to_string(limitSeconds) + " " : "";
        return RunShell(limit + "env -u DISPLAY -u WAYLAND_DISPLAY VASTREL_POWER_LOG=" +
                        ShellQuote(sandbox.Path("power.log")) + " " + ShellQuote(VASTREL_EXE) + " " + args);
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
        std::string reason;    // the reason on standard error; empty: the run says nothing there
    } cases[] = {
        {sandbox.Path("missing.buj"), 1, "File not found: " + sandbox.Path("missing.buj"),
         "  *** Task not found!", "Task not found!"},
        {Task("invalid.buj", "", sandbox.Path("src")), 6, "  *** Invalid task configuration: ",
         "  *** Invalid task configuration!", "Invalid task configuration! The task has no destination."},
        {Task("nodest.buj", "/proc/vastrel-no-such-dest", sandbox.Path("src")), 2,
         "  *** Directory \"/proc/vastrel-no-such-dest\" not available for backup!",
         "  *** Destination path not found!", "Destination path not found!"},
        {Task("nosrc.buj", sandbox.Path("dest"), sandbox.Path("nosrc")), 3,
         "  *** Directory \"" + sandbox.Path("nosrc") + "\" not found!", "  *** Source directory not found!",
         "Source directory not found!"},
        {Task("ok.buj", sandbox.Path("dest"), sandbox.Path("src")), 0, "  Status: OK - Elapsed time: 00:00:0",
         "", ""},
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
        if (c.reason.empty()) {
            EXPECT_EQ(r.output.find("failed"), std::string::npos) << r.output;
        } else {
            EXPECT_NE(r.output.find("Vastrel: task \"" + c.task + "\" failed: " + c.reason + "\n"),
                      std::string::npos)
                << r.output;
        }
    }
}

TEST_F(VastrelProgramTest, ATaskFileThatCannotBeRunIsRefusedAndTheReasonGoesToStandardError)
{
    std::filesystem::create_directories(sandbox.Path("src"));
    std::filesystem::create_directories(sandbox.Path("folder.buj"));
    ASSERT_EQ(mkfifo(sandbox.Path("fifo.buj").c_str(), 0644), 0);
    WriteFileBytes(sandbox.Path("empty.buj"), "");
    auto zipTask = [&](const std::string& name, const std::string& size) {
        WriteFileBytes(sandbox.Path(name),
                       "[Global]\r\nDestination=" + sandbox.Path("dest") + "\r\nDestMode=4\r\nZipSize=" +
                           size + "\r\nDirCount=1\r\n[Dir000]\r\nSource=" + sandbox.Path("src") + "\r\n");
        return sandbox.Path(name);
    };
    struct Case
    {
        std::string task;
        std::string reason;
    };
    std::vector<Case> cases = {
        {sandbox.Path("fifo.buj"), "the task file is a FIFO, not a regular file"},
        {sandbox.Path("folder.buj"), "the task file is a folder, not a regular file"},
        {sandbox.Path("empty.buj"), "the task file is empty"},
        {zipTask("split.buj", "5"),
         "the zip split size of 5 bytes is below the smallest split size of 65536 bytes (64 KiB)"},
    };
    if (geteuid() != 0) {
        // root reads every file: only others can be refused a read
        WriteFileBytes(sandbox.Path("locked.buj"), "[Global]\r\n");
        std::filesystem::permissions(sandbox.Path("locked.buj"), std::filesystem::perms::none);
        cases.push_back({sandbox.Path("locked.buj"), "the task file cannot be read: Permission denied"});
    }
    for (const auto& c : cases) {
        SCOPED_TRACE(c.task);
        std::filesystem::remove(ConfigDir() + "Vastrel.log");
        std::filesystem::remove(ConfigDir() + "QvErrors.log");
        // A FIFO must not block the run; the time limit only ends a run that hangs.
        ShellResult r = Run("/force " + ShellQuote(c.task), 120);
        EXPECT_EQ(r.exitCode, 6) << r.output;
        EXPECT_NE(r.output.find("Vastrel: task \"" + c.task +
                                "\" failed: Invalid task configuration: " + c.reason + "\n"),
                  std::string::npos)
            << r.output;
        EXPECT_NE(Log().find("] - Data backup\r\n  ==> Start: "), std::string::npos) << Log();
        EXPECT_NE(Log().find("  *** Invalid task configuration: " + c.task + ": " + c.reason + "\r\n"),
                  std::string::npos)
            << Log();
        EXPECT_NE(ErrorLog().find("  *** Invalid task configuration!\r\n\r\n"), std::string::npos);
        EXPECT_FALSE(std::filesystem::exists(sandbox.Path("dest")));
    }

    // The smallest split size is accepted, and so is any size for a method that does not split.
    EXPECT_EQ(Run("/force " + ShellQuote(zipTask("smallest.buj", "65536"))).exitCode, 0);
    WriteFileBytes(sandbox.Path("folders.buj"),
                   "[Global]\r\nDestination=" + sandbox.Path("dest2") +
                       "\r\nDestMode=0\r\nZipSize=5\r\nDirCount=1\r\n[Dir000]\r\n"
                       "Source=" +
                       sandbox.Path("src") + "\r\n");
    EXPECT_EQ(Run("/force " + ShellQuote(sandbox.Path("folders.buj"))).exitCode, 0);
}

TEST_F(VastrelProgramTest, TheStatisticsOfARunGoIntoTheTaskFileBesideItsComments)
{
    WriteFileBytes(sandbox.Path("src/a.txt"), "alpha");
    const std::string task = sandbox.Path("commented.buj");
    WriteFileBytes(task, "; nightly copy of the sources\r\n[Global]\r\n; to the second disk\r\nDestination=" +
                             sandbox.Path("dest") +
                             "\r\nDirCount=1\r\n[Dir000]\r\n; the only folder\r\nSource=" +
                             sandbox.Path("src") + "\r\n");
    ShellResult r = Run("/force " + ShellQuote(task));
    ASSERT_EQ(r.exitCode, 0) << r.output;
    // written back as UTF-16, read as ASCII here
    std::string text = ReadFileBytes(task);
    text.erase(std::remove(text.begin(), text.end(), '\0'), text.end());
    for (const char* comment : {"; nightly copy of the sources\r\n[Global]\r\n; to the second disk\r\n",
                                "[Dir000]\r\n; the only folder\r\n"})
        EXPECT_NE(text.find(comment), std::string::npos) << text;
    EXPECT_NE(text.find("BackupCount=2\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\r\nLastBackup="), std::string::npos) << text;
    EXPECT_NE(text.find("\r\nSyncCount=0\r\n"), std::string::npos) << text;
}

TEST_F(VastrelProgramTest, OnADisplayTheProgressWindowFollowsTheRunAndClosesAfterItsCountdown)
{
    for (int i = 0; i < 20; ++i)
        WriteFileBytes(sandbox.Path("src/d/f" + std::to_string(i) + ".txt"), "data " + std::to_string(i));
    const std::string task = sandbox.Path("ok.buj");
    WriteFileBytes(task, "[Global]\r\nDestination=" + sandbox.Path("dest") +
                             "\r\nDirCount=1\r\n[Dir000]\r\nSource=" + sandbox.Path("src") +
                             "\r\nBackupMode=1\r\nFileCount=20\r\n");
    ShellResult r =
        RunShell("env -u WAYLAND_DISPLAY DISPLAY=:0 QT_QPA_PLATFORM=offscreen VASTREL_POWER_LOG=" +
                 ShellQuote(sandbox.Path("power.log")) + " " + ShellQuote(VASTREL_EXE) + " /force /wait:1 " +
                 ShellQuote(task));
    EXPECT_EQ(r.exitCode, 0) << r.output;
    EXPECT_NE(Log().find("  Status: OK - Elapsed time: "), std::string::npos) << Log();
    int copied = 0;
    for (const auto& e : std::filesystem::recursive_directory_iterator(sandbox.Path("dest")))
        copied += e.is_regular_file();
    EXPECT_EQ(copied, 20);
    // The window was there: it keeps its place in the settings file (UTF-16, read as ASCII here).
    std::string ini = ReadFileBytes(ConfigDir() + "Vastrel.ini");
    ini.erase(std::remove(ini.begin(), ini.end(), '\0'), ini.end());
    EXPECT_NE(ini.find("[StatusWindow]"), std::string::npos) << ini;
}

TEST_F(VastrelProgramTest, ADisplayThatDoesNotAnswerLeavesTheRunUnattended)
{
    WriteFileBytes(sandbox.Path("src/a.txt"), "alpha");
    const std::string task = sandbox.Path("ok.buj");
    WriteFileBytes(task, "[Global]\r\nDestination=" + sandbox.Path("dest") +
                             "\r\nDirCount=1\r\n[Dir000]\r\nSource=" + sandbox.Path("src") +
                             "\r\nBackupMode=1\r\n");
    // a display left over from an ended session, and a Wayland socket that is not there
    ShellResult r = RunShell("env -u QT_QPA_PLATFORM DISPLAY=:4711 WAYLAND_DISPLAY=gone-0 XDG_RUNTIME_DIR=" +
                             ShellQuote(sandbox.Path("run")) +
                             " VASTREL_POWER_LOG=" + ShellQuote(sandbox.Path("power.log")) + " " +
                             ShellQuote(VASTREL_EXE) + " /force " + ShellQuote(task));
    EXPECT_EQ(r.exitCode, 0) << r.output;
    EXPECT_NE(Log().find("Backup: 1 of 1 files copied"), std::string::npos) << Log();
    // the program that runs unattended does not depend on the window libraries at all
    ShellResult needed = RunShell("readelf -d " + ShellQuote(VASTREL_EXE));
    ASSERT_EQ(needed.exitCode, 0) << needed.output;
    EXPECT_NE(needed.output.find("(NEEDED)"), std::string::npos);
    EXPECT_EQ(needed.output.find("libQt"), std::string::npos) << needed.output;
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
    WriteFileBytes(ConfigDir() + "Vastrel.ini", "[Config]\r\nProtocolSize=1\r\n");
    WriteFileBytes(ConfigDir() + "Vastrel.log", "\xEF\xBB\xBF" + std::string(1025, 'x'));
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
    // The run keeps the system and the display awake while it lasts, then the end action follows.
    EXPECT_EQ(ReadFileBytes(sandbox.Path("power.log")), "inhibit sleep:idle\nrelease\nend shutdown\n");
    EXPECT_NE(Log().find("  ==> The system will be shut down!"), std::string::npos);

    std::filesystem::remove(sandbox.Path("power.log"));
    EXPECT_EQ(Run("/force /end:shutdown /erractions:4 " + bad).exitCode, 3);
    EXPECT_EQ(ReadFileBytes(sandbox.Path("power.log")), "inhibit sleep:idle\nrelease\n");

    std::filesystem::remove(sandbox.Path("power.log"));
    EXPECT_EQ(Run("/force /noaction /end:s " + ok).exitCode, 0);
    EXPECT_EQ(ReadFileBytes(sandbox.Path("power.log")), "inhibit sleep:idle\nrelease\nend shutdown\n")
        << "/noaction keeps the command line's end";

    std::filesystem::remove(sandbox.Path("power.log"));
    EXPECT_EQ(Run("/force /suspend:h /prompt:quiet " + ok).exitCode, 0);
    EXPECT_EQ(ReadFileBytes(sandbox.Path("power.log")), "inhibit sleep:idle\nrelease\nsuspend hibernate\n");
}

TEST_F(VastrelProgramTest, EachTaskOfOneRunIsJudgedByItsOwnOutcome)
{
    // A failed task before a good one: the program ends with the failure, but the good task's log
    // and the error log do not blame it for the task before.
    std::filesystem::create_directories(sandbox.Path("src"));
    WriteFileBytes(sandbox.Path("src/a.txt"), "a");
    std::string ok = ShellQuote(Task("ok.buj", sandbox.Path("dest"), sandbox.Path("src")));
    std::string bad = ShellQuote(Task("bad.buj", sandbox.Path("dest"), sandbox.Path("gone")));
    ShellResult r = Run("/force " + bad + " " + ok);
    EXPECT_EQ(r.exitCode, 3) << r.output;
    const std::string log = Log();
    const size_t second = log.find("ok.buj");
    ASSERT_NE(second, std::string::npos) << log;
    EXPECT_NE(log.find("Status: OK", second), std::string::npos) << log;
    const std::string errors = ErrorLog();
    EXPECT_NE(errors.find("bad.buj"), std::string::npos) << errors;
    EXPECT_EQ(errors.find("ok.buj"), std::string::npos) << errors;
}

TEST_F(VastrelProgramTest, ArgumentFileAndAbsolutePathsAreToldApartFromOptions)
{
    std::filesystem::create_directories(sandbox.Path("s r c"));
    std::string task = Task("my tasks/a b.buj", sandbox.Path("dest"), sandbox.Path("s r c"));
    WriteFileBytes(sandbox.Path("args.txt"),
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

TEST_F(VastrelProgramTest, LockFileOfALiveRunIsLeftInPlaceAndALeftoverOneIsRemoved)
{
    std::filesystem::create_directories(sandbox.Path("src"));
    const std::string lock = ConfigDir() + "Vastrel.lock";
    const std::string task = ShellQuote(Task("t.buj", sandbox.Path("dest"), sandbox.Path("src")));
    WriteFileBytes(lock, std::string("o\0t\0h\0e\0r\0", 10));
    int fd = open(lock.c_str(), O_RDONLY);
    ASSERT_EQ(flock(fd, LOCK_EX), 0);
    EXPECT_EQ(Run("/force " + task).exitCode, 0);
    EXPECT_EQ(ReadFileBytes(lock), std::string("o\0t\0h\0e\0r\0", 10));
    EXPECT_NE(Log().find("  *** Another backup is running (other); its lock file"), std::string::npos)
        << Log();
    close(fd);

    EXPECT_EQ(Run("/force " + task).exitCode, 0);
    EXPECT_FALSE(std::filesystem::exists(lock));
}

TEST_F(VastrelProgramTest, AutomaticSlotsRunByNumberOrAllTogether)
{
    std::filesystem::create_directories(sandbox.Path("src"));
    std::string first = Task("first.buj", sandbox.Path("dest1"), sandbox.Path("src"));
    std::string second = Task("second.buj", sandbox.Path("dest2"), sandbox.Path("src"));
    WriteFileBytes(ConfigDir() + "Vastrel.ini", "[Config]\r\nTaskCount=3\r\n[AutoTask0]\r\nName=" + first +
                                                    "\r\nMode=1\r\nAutoEnd=2\r\n[AutoTask1]\r\nName=" +
                                                    second + "\r\nMode=0\r\n[AutoTask2]\r\nName=\r\n");
    // "#2" names a slot that is switched off: an explicit number runs it all the same.
    EXPECT_EQ(Run("/force '#2'").exitCode, 0);
    EXPECT_TRUE(std::filesystem::is_directory(sandbox.Path("dest2")));
    EXPECT_FALSE(std::filesystem::exists(sandbox.Path("dest1")));
    EXPECT_NE(Log().find("Automatic backup 2: second"), std::string::npos) << Log();

    // /force alone runs every slot whose start kind is not "Never"; an empty slot or one past 16 runs none.
    std::filesystem::remove_all(sandbox.Path("dest2"));
    EXPECT_EQ(Run("/force").exitCode, 0);
    EXPECT_TRUE(std::filesystem::is_directory(sandbox.Path("dest1")));
    EXPECT_FALSE(std::filesystem::exists(sandbox.Path("dest2")));
    std::filesystem::remove_all(sandbox.Path("dest1"));
    EXPECT_EQ(Run("/force '#3'").exitCode, 0);
    EXPECT_EQ(Run("/force '#17'").exitCode, 0);
    EXPECT_FALSE(std::filesystem::exists(sandbox.Path("dest1")));
    // The run state went back into the slot's section.
    EXPECT_NE(
        ReadFileBytes(ConfigDir() + "Vastrel.ini").find(std::string("E\0r\0r\0o\0r\0S\0t\0a\0t\0u\0s\0", 22)),
        std::string::npos);
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

TEST_F(VastrelProgramTest, ParallelRunsStartOneChildProcessPerTaskAndEachLogSaysOK)
{
    std::vector<std::string> tasks;
    for (const char* name : {"first", "second", "third task"}) {
        const std::string n = name;
        WriteFileBytes(sandbox.Path("src " + n + "/file.txt"), "data of " + n);
        const std::string task = sandbox.Path(n + ".buj");
        WriteFileBytes(task, "[Global]\r\nDestination=" + sandbox.Path("dest " + n) +
                                 "\r\nLogName=" + sandbox.Path("log " + n + ".log") +
                                 "\r\nDirCount=1\r\n[Dir000]\r\nSource=" + sandbox.Path("src " + n) +
                                 "\r\nBackupMode=1\r\n");
        tasks.push_back(task);
    }
    // A missing task file is left out; the others run as instances 1 to 3.
    ShellResult r =
        Run("/force /parallel " + ShellQuote(tasks[0]) + " " + ShellQuote(sandbox.Path("gone.buj")) + " " +
                ShellQuote(tasks[1]) + " " + ShellQuote(tasks[2]),
            300);
    EXPECT_EQ(r.exitCode, 0) << r.output;
    for (const char* name : {"first", "second", "third task"}) {
        const std::string n = name;
        SCOPED_TRACE(n);
        const std::string log = ReadFileBytes(sandbox.Path("log " + n + ".log"));
        EXPECT_NE(log.find("  Status: OK - Elapsed time: "), std::string::npos) << log;
        EXPECT_NE(log.find("Backup: 1 of 1 files copied"), std::string::npos) << log;
        int copies = 0;
        for (const auto& e : std::filesystem::recursive_directory_iterator(sandbox.Path("dest " + n)))
            copies += e.is_regular_file();
        EXPECT_EQ(copies, 1);
    }
    // The parent ran nothing itself and wrote no log of its own.
    EXPECT_FALSE(std::filesystem::exists(ConfigDir() + "Vastrel.log"));
    EXPECT_EQ(r.output.find("gone.buj"), std::string::npos) << r.output;
}
