// Programs under another account: the password check, the privilege drop, the clean environment and
// the refusals of the helper, with a real throw-away account (root only).

#include <filesystem>

#include <gtest/gtest.h>

#include "ThrowawayUser.h"
#include "foundation/WinExecute.h"
#include "platform/RunAs.h"
#include "support/Files.h"
#include "support/Sandbox.h"
#include "support/Shell.h"

namespace fs = std::filesystem;

namespace {

class RunAsTest : public SandboxTest
{
protected:
    void SetUp() override
    {
        VASTREL_REQUIRE_SERVER(ThrowawayUser::Shared().Error);
        fs::permissions(sandbox.Root(), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                            fs::perms::others_read | fs::perms::others_exec);
    }
    ThrowawayUser& user = ThrowawayUser::Shared();
    const std::string appDir = fs::path(VASTREL_EXE).parent_path().string();
    TRunAsOptions helper{true, RUNAS_EXE, ""};
    TRunAsOptions inProcess{false, "", appDir};

    // The helper run directly; its status pipe is the captured output.
    ShellResult Helper(const std::string& args, const std::string& password, const std::string& env = "")
    {
        return RunShell("env " + env + " " + ShellQuote(RUNAS_EXE) + " " + args + " 3>&1 2>&1", "", true,
                        password);
    }
};

TEST_F(RunAsTest, TheProgramRunsAsTheAccountWithItsExitCodeInBothWays)
{
    for (bool viaHelper : {false, true}) {
        const std::string home = "/home/" + user.Name + "/.config/Vastrel6/Vastrel.log";
        fs::remove(home);
        TRunAsResult r =
            StartProgramAsUser(user.Name, user.Password, {VASTREL_EXE, "/force", "/tmp/vqs-nonexistent.buj"},
                               viaHelper ? helper : inProcess);
        ASSERT_GT(r.Pid, 0) << r.Message;
        EXPECT_EQ(WaitForProcess(r.Pid, 0, true), 1u | ApplicationExitFlag)
            << "1: task not found; helper " << viaHelper;
        ASSERT_TRUE(fs::exists(home)) << "the main program wrote its log in the account's home";
        EXPECT_EQ(ThrowawayUser::OwnerOf(home), user.Uid());
    }
}

TEST_F(RunAsTest, WrongPasswordsMissingAccountsAndPasswordlessAccountsAreRefused)
{
    struct Case
    {
        std::string user, password;
        uint32_t code;
    } cases[] = {
        {user.Name, "wrong", 1326},
        {user.Name, "", 1326},
        {user.NoPwdName(), "", 1326},
        {user.NoPwdName(), "anything", 1326},
        {"nosuchuser" + user.Name, "x", 1326},
        {"root", "x", 5},
        {"-rf", "x", 1326},
    };
    const std::string marker = "/home/" + user.Name + "/.config/Vastrel6";
    fs::remove_all(marker);
    for (const auto& c : cases)
        for (bool viaHelper : {false, true}) {
            TRunAsResult r = StartProgramAsUser(c.user, c.password, {VASTREL_EXE, "/force", "/x.buj"},
                                                viaHelper ? helper : inProcess);
            EXPECT_EQ(r.Pid, -1) << c.user;
            EXPECT_EQ(r.Error, c.code) << c.user << " " << r.Message;
            EXPECT_FALSE(r.Message.empty());
        }
    EXPECT_FALSE(fs::exists(marker)) << "nothing ran";
}

TEST_F(RunAsTest, TheHelperRefusesForgedArguments)
{
    const std::string link = sandbox.Path("Vastrel");
    fs::create_symlink(VASTREL_EXE, link);
    fs::create_directories(sandbox.Path("bin"));
    fs::copy_file(VASTREL_EXE, sandbox.Path("bin/Vastrel"));
    const std::string marker = sandbox.Path("ran");
    struct Case
    {
        std::string args;
        std::string message;
    } cases[] = {
        {"", "usage"},
        {"--user " + user.Name, "usage"},
        {"--user " + user.Name + " /bin/sh -c true", "usage"},
        {"--user " + user.Name + " -- /bin/sh -c " + ShellQuote("touch " + marker),
         "is not a program of Vastrel"},
        {"--user " + user.Name + " -- sh", "is not a program of Vastrel"},
        {"--user " + user.Name + " -- Vastrel /force", "is not a program of Vastrel"},
        {"--user " + user.Name + " -- " + link + " /force", "is not a program of Vastrel"},
        {"--user " + user.Name + " -- " + sandbox.Path("bin/Vastrel") + " /force",
         "is not a program of Vastrel"},
        {"--user " + user.Name + " -- " + appDir + "/../apps/Vastrel /force", "is not a program of Vastrel"},
        {"--user " + user.Name + " -- " + appDir + "/vastrel-runas --user root -- /bin/sh",
         "is not a program of Vastrel"},
    };
    for (const auto& c : cases) {
        ShellResult r = Helper(c.args, user.Password);
        EXPECT_EQ(r.exitCode, 126) << c.args << "\n" << r.output;
        EXPECT_NE(r.output.find(c.message), std::string::npos) << c.args << "\n" << r.output;
    }
    EXPECT_FALSE(fs::exists(marker));

    // without its status pipe it says why on standard error and runs nothing
    ShellResult noPipe = RunShell(ShellQuote(RUNAS_EXE) + " --user " + user.Name + " -- " + VASTREL_EXE +
                                      " /force /x.buj 3>/dev/null",
                                  "", true, user.Password);
    EXPECT_EQ(noPipe.exitCode, 126);
    EXPECT_NE(noPipe.output.find("status pipe"), std::string::npos) << noPipe.output;

    // a password longer than the limit is refused, not cut
    ShellResult longPwd = Helper("--user " + user.Name + " -- " + VASTREL_EXE + " /force /x.buj",
                                 user.Password + std::string(RunAsMaxPassword, 'x'));
    EXPECT_EQ(longPwd.exitCode, 126) << longPwd.output;
}

TEST_F(RunAsTest, TheProgramGetsACleanEnvironmentOfTheAccount)
{
    TRunAsPlan plan;
    uint32_t code = 0;
    std::string message;
    const std::vector<std::string> callerEnv = {"LD_PRELOAD=/tmp/evil.so",
                                                "PATH=/tmp/evil:/usr/bin",
                                                "HOME=/root",
                                                "DISPLAY=:0; rm -rf /",
                                                "LANG=C.UTF-8",
                                                "VASTREL_POWER_LOG=/tmp/x",
                                                "IFS=x"};
    ASSERT_TRUE(PrepareRunAs(user.Name, user.Password, {VASTREL_EXE, "/force"}, appDir, callerEnv, plan, code,
                             message))
        << message;
    EXPECT_EQ(plan.Uid, user.Uid());
    EXPECT_EQ(plan.Env, (std::vector<std::string>{"HOME=/home/" + user.Name, "USER=" + user.Name,
                                                  "LOGNAME=" + user.Name, "SHELL=/bin/sh",
                                                  "PATH=/usr/local/bin:/usr/bin:/bin", "LANG=C.UTF-8"}));
    ASSERT_TRUE(
        PrepareRunAs(user.Name, user.Password, {VASTREL_EXE}, appDir, {"DISPLAY=:1.0"}, plan, code, message));
    EXPECT_EQ(plan.Env.back(), "DISPLAY=:1.0");
    EXPECT_EQ(plan.ArgvPtrs.back(), nullptr);
}

TEST_F(RunAsTest, AMissingHelperIsNamedInTheStartError)
{
    TRunAsResult r = StartProgramAsUser(user.Name, user.Password, {VASTREL_EXE, "/force"},
                                        TRunAsOptions{true, sandbox.Path("vastrel-runas"), ""});
    EXPECT_EQ(r.Pid, -1);
    EXPECT_EQ(r.Error, 2u);
    EXPECT_NE(r.Message.find(sandbox.Path("vastrel-runas")), std::string::npos) << r.Message;
}

} // namespace
