// QvStarter run unattended as a program (root only): groups of real backup tasks run by the main
// program under a throw-away account, the run log, the error report to the SMTP test server and the
// power action (recorded through VASTREL_POWER_LOG, never carried out).

#include <filesystem>

#include <gtest/gtest.h>

#include "ThrowawayUser.h"
#include "starter/StarterGroups.h"
#include "support/Files.h"
#include "support/Sandbox.h"
#include "support/Shell.h"
#include "support/SmtpTestServer.h"

namespace fs = std::filesystem;

namespace {

class QvStarterProgramTest : public SandboxTest
{
protected:
    void SetUp() override
    {
        VASTREL_REQUIRE_SERVER(user.Error);
        VASTREL_REQUIRE_TOOL("gzip");
        fs::permissions(sandbox.Root(), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                            fs::perms::others_read | fs::perms::others_exec);
        work = sandbox.Path("work/");
        for (const char* dir : {"src1", "src2", "dest"})
            fs::create_directories(work + dir);
        WriteFileBytes(work + "src1/one.txt", "first source");
        WriteFileBytes(work + "src2/two.txt", "second source");
        ASSERT_EQ(RunShell("chown -R " + user.Name + " " + ShellQuote(work)).exitCode, 0);
        taskA = Task("a.buj", work + "dest/a", work + "src1");
        taskB = Task("b.buj", work + "dest/b", work + "src2");
    }

    std::string Task(const std::string& name, const std::string& dest, const std::string& source)
    {
        std::string path = work + name;
        WriteFileBytes(path, "[Global]\r\nDestination=" + dest + "\r\nDirCount=1\r\n[Dir000]\r\nSource=" +
                                 source + "\r\nEnabled=1\r\nBackupMode=1\r\n");
        return path;
    }

    // The backup copy of a file somewhere below a destination folder; empty when there is none.
    static std::string Backup(const std::string& dest, const std::string& name)
    {
        std::error_code ec;
        for (auto it = fs::recursive_directory_iterator(dest, ec);
             !ec && it != fs::recursive_directory_iterator(); it.increment(ec))
            if (it->path().filename() == name)
                return it->path().string();
        return std::string();
    }

    // Each task copied its source folder and the file in it, all owned by the account.
    void ExpectBackupsOwnedByTheAccount(const ShellResult& r)
    {
        struct Expected
        {
            const char *dest, *folder, *file, *content;
        };
        for (const Expected& e : {Expected{"dest/a", "src1", "one.txt", "first source"},
                                  Expected{"dest/b", "src2", "two.txt", "second source"}}) {
            const std::string folder = Backup(work + e.dest, e.folder);
            ASSERT_FALSE(folder.empty()) << e.folder << "\n"
                                         << r.output << ReadFileBytes(ConfigDir() + "QvStarter.log");
            EXPECT_EQ(ThrowawayUser::OwnerOf(folder), user.Uid()) << folder;
            // the task compresses its copies with gzip by default
            const std::string copy = Backup(work + e.dest, e.file + std::string(".gz"));
            ASSERT_FALSE(copy.empty()) << e.file << "\n"
                                       << r.output << ReadFileBytes(ConfigDir() + "QvStarter.log");
            EXPECT_EQ(RunShell("gzip -dc " + ShellQuote(copy)).output, e.content) << copy;
            EXPECT_EQ(ThrowawayUser::OwnerOf(copy), user.Uid()) << copy;
        }
    }

    std::string ConfigDir() const { return sandbox.Path("home/.config/Vastrel6/"); }

    TTaskProperties& Group(TStarterSettings& s, const std::string& name, const std::string& pwd,
                           bool parallel)
    {
        s.Groups.push_back(std::make_unique<TTaskProperties>(name));
        auto& g = *s.Groups.back();
        g.User = user.Name;
        g.Pwd = pwd;
        g.PwdPrompt = false;
        g.ParProc = parallel;
        g.StartDelay = parallel ? 1 : 0;
        g.Status = 0;
        g.AddTask(taskA, true);
        g.AddTask(taskB, true);
        return g;
    }

    ShellResult Run(const std::string& args)
    {
        return RunShell(
            "env -u DISPLAY -u WAYLAND_DISPLAY VASTREL_POWER_LOG=" + ShellQuote(sandbox.Path("power.log")) +
            " timeout 300 " + ShellQuote(QVSTARTER_EXE) + " " + args);
    }

    ThrowawayUser& user = ThrowawayUser::Shared();
    std::string work, taskA, taskB;
};

TEST_F(QvStarterProgramTest, GroupsRunUnderTheAccountLogTheirRunsAndReportErrorsByMail)
{
    SmtpTestServer& smtp = SmtpTestServer::Shared();
    VASTREL_REQUIRE_SERVER(smtp.Error);
    TStarterSettings s;
    Group(s, "Pair", user.Password, false);
    Group(s, "Side by side", user.Password, true);
    Group(s, "Bad", "wrong password", false);
    s.MailData.SMTP = "127.0.0.1";
    s.MailData.Port = smtp.Port("open");
    s.MailData.Recipients = "admin@example.org";
    s.MailData.Sender = "starter@example.org";
    s.MailData.Enabled = true;
    fs::create_directories(ConfigDir());
    SaveStarterSettings(ConfigDir() + "QvStarter.ini", s);
    const int mailsBefore = smtp.Count();

    ShellResult r = Run("/force /logmode:1 /end:shutdown Pair");
    EXPECT_EQ(r.exitCode, 0) << r.output;
    ExpectBackupsOwnedByTheAccount(r);
    std::string log = ReadFileBytes(ConfigDir() + "QvStarter.log");
    EXPECT_NE(log.find("  ->  Backup group: Pair - User name: " + user.Name + "\r\n"), std::string::npos)
        << log;
    EXPECT_NE(log.find("      Backup task: " + taskA + "\r\n      Backup task: " + taskB + "\r\n"),
              std::string::npos)
        << log;
    EXPECT_EQ(log.find("  *** "), std::string::npos) << log;
    EXPECT_NE(log.find("  ==> The system will be shut down!\r\n\r\n"), std::string::npos) << log;
    EXPECT_EQ(ReadFileBytes(sandbox.Path("power.log")), "end shutdown\n");
    EXPECT_EQ(smtp.Count(), mailsBefore) << "no errors, no report";

    // side by side: one main program per task, both under the account
    fs::remove_all(work + "dest/a");
    fs::remove_all(work + "dest/b");
    r = Run("/force \"Side by side\"");
    EXPECT_EQ(r.exitCode, 0) << r.output;
    ExpectBackupsOwnedByTheAccount(r);
    EXPECT_EQ(ReadFileBytes(ConfigDir() + "QvStarter.log"), log) << "without /logmode no run log";

    // a wrong password and an unknown group: start errors in the run log and in the mail report
    r = Run("/force /logmode:1 Bad Nowhere");
    EXPECT_EQ(r.exitCode, 0) << "the starter's exit code is always 0";
    log = ReadFileBytes(ConfigDir() + "QvStarter.log");
    EXPECT_NE(log.find("  *** Error on starting Vastrel: "), std::string::npos) << log;
    EXPECT_NE(log.find("(0x0000052E)"), std::string::npos) << log;
    EXPECT_NE(log.find("  *** Unknown group: Nowhere\r\n"), std::string::npos) << log;
    ASSERT_EQ(smtp.Count(), mailsBefore + 1);
    const std::string mail = ReadFileBytes(smtp.MessageFile(smtp.Count()));
    EXPECT_NE(mail.find("QvStarter error report"), std::string::npos) << mail;
    EXPECT_NE(mail.find("2 errors:"), std::string::npos) << mail;
    EXPECT_NE(mail.find("Unknown group: Nowhere"), std::string::npos) << mail;
    EXPECT_NE(smtp.Envelope(smtp.Count()).find("admin@example.org"), std::string::npos);
}

} // namespace
