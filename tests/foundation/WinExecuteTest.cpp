#include "foundation/WinExecute.h"

#include <csignal>
#include <filesystem>
#include <fstream>
#include <thread>

#include <gtest/gtest.h>

#include "support/FakeProgram.h"
#include "support/Files.h"
#include "support/Sandbox.h"
#include "support/WaitFor.h"

namespace {

std::vector<std::string> Sh(const std::string& script)
{
    return {"/bin/sh", "-c", script};
}

class WinExecuteTest : public SandboxTest
{
protected:
    // A script that notes its process id and then sleeps; killed at the end of the test.
    std::vector<std::string> Sleeper()
    {
        return Sh("echo $$ >> '" + sandbox.Path("pids") + "'; exec sleep 30");
    }
    void TearDown() override
    {
        std::ifstream in(sandbox.Path("pids"));
        for (pid_t pid; in >> pid;)
            kill(pid, SIGKILL);
    }
};

TEST_F(WinExecuteTest, ExitCodesBecomeFlaggedResults)
{
    struct Case
    {
        std::vector<std::string> argv;
        uint32_t expected;
    };
    const Case cases[] = {
        {{"/bin/true"}, 0},
        {{"true"}, 0}, // looked up on PATH
        {Sh("exit 3"), 3 | ApplicationExitFlag},
        {Sh("exit 255"), 255 | ApplicationExitFlag},
        {Sh("kill -SEGV $$"), (128 + SIGSEGV) | ApplicationExitFlag},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ExecuteConsoleProcess("", c.argv, "", ecCapture, 0, false, nullptr), c.expected)
            << c.argv.back();
        TProcessHandle pid = StartProcess(c.argv, "");
        EXPECT_EQ(WaitForProcess(pid, 0, true), c.expected) << c.argv.back();
    }
}

TEST_F(WinExecuteTest, MissingProgramGivesFileNotFound)
{
    EXPECT_EQ(ExecuteConsoleProcess("", {"/nonexistent/program"}, "", ecCapture, 0, false, nullptr), 2u);
    EXPECT_EQ(ExecuteConsoleCommand("no-such-program-anywhere --x", "", ecCapture, 0, false, nullptr), 2u);
    EXPECT_THROW(StartProcess({"/nonexistent/program"}, ""), EProcessError);
}

TEST_F(WinExecuteTest, CapturesStandardOutputAndOnRequestStandardError)
{
    std::string text = "old text";
    EXPECT_EQ(ExecuteConsoleProcess("", Sh("echo out; echo err >&2"), "", ecCapture, 0, false, &text), 0u);
    EXPECT_EQ(text, "out\n");
    EXPECT_EQ(
        ExecuteConsoleProcess("", Sh("echo out; echo err >&2"), "", ecCapture | ecStdErr, 0, false, &text),
        0u);
    EXPECT_EQ(text, "out\nerr\n");
}

TEST_F(WinExecuteTest, OutputLargerThanThePipeIsReadWhileWaiting)
{
    std::string text;
    EXPECT_EQ(ExecuteConsoleProcess("", Sh("head -c 300000 /dev/zero | tr '\\0' x"), "", ecCapture, 20000,
                                    false, &text),
              0u);
    EXPECT_EQ(text.size(), 300000u);
}

TEST_F(WinExecuteTest, OutputIsDecodedAndZeroBytesEndTheirBlock)
{
    std::string text;
    ExecuteConsoleProcess("", Sh("printf 'ab\\000cd'"), "", ecCapture, 0, false, &text);
    EXPECT_EQ(text, "ab");
    ExecuteConsoleProcess("", Sh("printf 'caf\\351 caf\\303\\251'"), "", ecCapture, 0, false, &text);
    EXPECT_EQ(text, "café café");
}

TEST_F(WinExecuteTest, RunsInTheGivenFolderWithArgumentsPassedUnchanged)
{
    std::filesystem::create_directories(sandbox.Path("work dir"));
    std::string text;
    ExecuteConsoleProcess("", {"/bin/sh", "-c", "pwd; printf '[%s]' \"$@\"", "sh", "a b", "$HOME", "*"},
                          sandbox.Path("work dir"), ecCapture, 0, false, &text);
    EXPECT_EQ(text, std::filesystem::canonical(sandbox.Path("work dir")).string() + "\n[a b][$HOME][*]");
}

TEST_F(WinExecuteTest, AFakeProgramReceivesArgumentsFolderAndEnvironmentIntactAndItsExitCode)
{
    std::filesystem::create_directories(sandbox.Path("run here"));
    std::string record = sandbox.Path("record");
    ::setenv("VASTREL_FAKE_RECORD", record.c_str(), 1);
    ::setenv("VASTREL_FAKE_EXIT", "7", 1);
    std::string cmd = std::string("\"") + FakeProgramPath() + R"(" "a b" "say ""hi""" $HOME * ;x)";
    uint32_t result = ExecuteConsoleCommand(cmd, sandbox.Path("run here"), ecCapture, 0, false, nullptr);
    ::unsetenv("VASTREL_FAKE_RECORD");
    ::unsetenv("VASTREL_FAKE_EXIT");
    EXPECT_EQ(result, 7 | ApplicationExitFlag);
    auto runs = ReadFakeRuns(record);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].args,
              (std::vector<std::string>{FakeProgramPath(), "a b", "say \"hi\"", "$HOME", "*", ";x"}));
    EXPECT_EQ(runs[0].cwd, std::filesystem::canonical(sandbox.Path("run here")).string());
    EXPECT_EQ(runs[0].Env("HOME"), std::optional<std::string>(sandbox.Path("home")));
}

TEST_F(WinExecuteTest, CommandLinesAreSplitWithQuotesAndNoShell)
{
    EXPECT_EQ(CommandLineToArgv(R"(  "/opt/my tools/run" -x "a ""quoted"" word"  plain  )"),
              (std::vector<std::string>{"/opt/my tools/run", "-x", "a \"quoted\" word", "plain"}));
    std::string text;
    ExecuteConsoleCommand("/bin/echo \"one  two\" $HOME ;ls", "", ecCapture, 0, false, &text);
    EXPECT_EQ(text, "one  two $HOME ;ls\n");
}

TEST_F(WinExecuteTest, TimeOutLeavesTheProgramRunningAndKeepsItsOutput)
{
    std::string pidFile = sandbox.Path("pid");
    std::string text;
    uint32_t r = ExecuteConsoleProcess("", Sh("echo $$ > '" + pidFile + "'; echo started; exec sleep 30"), "",
                                       ecCapture, 2000, false, &text);
    EXPECT_EQ(r, WaitTimeoutResult);
    EXPECT_EQ(text, "started\n");
    pid_t pid = std::stoi(ReadFileBytes(pidFile));
    EXPECT_EQ(kill(pid, 0), 0);
    kill(pid, SIGKILL);
}

TEST_F(WinExecuteTest, NegativeTimeOutWaitsItsAbsoluteValue)
{
    EXPECT_EQ(ExecuteConsoleProcess("", Sleeper(), "", ecCapture, -200, false, nullptr), WaitTimeoutResult);
    EXPECT_EQ(ExecuteConsoleProcess("", Sh("exit 0"), "", ecCapture, -20000, false, nullptr), 0u);
}

TEST_F(WinExecuteTest, TimeOutWithExitCodeGivesStillActive)
{
    EXPECT_EQ(ExecuteConsoleProcess("", Sleeper(), "", ecCapture, 200, true, nullptr),
              StillActiveExitCode | ApplicationExitFlag);
    TProcessHandle pid = StartProcess(Sh("exec sleep 30"), "");
    EXPECT_EQ(WaitForProcess(pid, 100, false), WaitTimeoutResult);
    EXPECT_EQ(kill(pid, 0), 0); // still ours to wait for
    kill(pid, SIGKILL);
    EXPECT_EQ(WaitForProcess(pid, 0, true), (128 + SIGKILL) | ApplicationExitFlag);
}

TEST_F(WinExecuteTest, OwnConsoleModeEndsTheProgramAfterTheWait)
{
    std::string pidFile = sandbox.Path("pid");
    uint32_t r = ExecuteConsoleProcess("", Sh("echo $$ > '" + pidFile + "'; exec sleep 30"), "",
                                       ecCapture | ecOwnConsole, 2000, false, nullptr);
    EXPECT_EQ(r, WaitTimeoutResult);
    pid_t pid = std::stoi(ReadFileBytes(pidFile));
    EXPECT_NE(kill(pid, 0), 0);
}

TEST_F(WinExecuteTest, CancelEndsAnUnlimitedWait)
{
    std::string pidFile = sandbox.Path("pid");
    std::thread canceller([pidFile] {
        // Cancel once the program runs (it notes its id first).
        WaitFor([&] { return ReadFileBytes(pidFile).find('\n') != std::string::npos; });
        CancelExecution();
    });
    uint32_t r = ExecuteConsoleProcess("", Sh("echo $$ > '" + pidFile + "'; exec sleep 30"), "", ecCapture, 0,
                                       false, nullptr);
    canceller.join();
    EXPECT_EQ(r, WaitTimeoutResult);
    pid_t pid = std::stoi(ReadFileBytes(pidFile));
    EXPECT_EQ(kill(pid, 0), 0);
    kill(pid, SIGKILL);
    // The flag is cleared again: the next run waits normally.
    EXPECT_EQ(ExecuteConsoleProcess("", Sh("exit 4"), "", ecCapture, 0, false, nullptr),
              4 | ApplicationExitFlag);
}

TEST_F(WinExecuteTest, ShownTextGoesToTheTextHandler)
{
    std::string shown;
    SetExecuteTextHandler([&](const std::string&, const std::string& text) { shown = text; });
    ExecuteConsoleProcess("", Sh("echo hello"), "", ecCapture | ecShowText, 0, false, nullptr);
    SetExecuteTextHandler(nullptr);
    EXPECT_EQ(shown, "hello\n");
}

TEST_F(WinExecuteTest, ShellExecuteRunsExecutablesDirectly)
{
    std::string script = sandbox.Path("job.sh");
    std::ofstream(script) << "#!/bin/sh\necho \"$1\" > \"$2\"\nexit 7\n";
    std::filesystem::permissions(script, std::filesystem::perms::owner_all);
    EXPECT_EQ(ShellExecuteAndWait(script, {"hi there", sandbox.Path("out")}, "", false, 0, true),
              7 | ApplicationExitFlag);
    EXPECT_EQ(ReadFileBytes(sandbox.Path("out")), "hi there\n");
}

} // namespace
