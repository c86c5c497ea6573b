// The programs before and after a backup in whole runs of the program: shell scripts in the sandbox
// record what they were given and end as each case asks.
#include <csignal>

#include <gtest/gtest.h>

#include "WholeRunTest.h"
#include "backup/ExternalProg.h"

using namespace wholerun;

namespace {

class ExternalProgRunTest : public WholeRunTest
{
protected:
    // A script that appends its arguments to a record file and ends with code.
    std::string Script(const std::string& name, const std::string& body)
    {
        const std::string path = sandbox.Path(name);
        WriteFileBytes(path, "#!/bin/sh\n" + body + "\n");
        return path;
    }
    std::string Record() const { return sandbox.Path("record.txt"); }
    std::string Recorded() const { return fs::exists(Record()) ? ReadFileBytes(Record()) : std::string(); }
};

} // namespace

TEST_F(ExternalProgRunTest, ProgramsGetTheirPlaceholdersAndTheExitCodeDecidesTheBackup)
{
    const std::string rec = ShellQuote(Record());
    struct Case
    {
        std::string name;
        int preExit;
        int errorLevel;
        bool backupRuns;
    };
    for (const Case& c : std::vector<Case>{{"success", 0, 1, true},
                                           {"accepted errorlevel", 3, 4, true},
                                           {"rejected errorlevel", 4, 4, false}}) {
        SCOPED_TRACE(c.name);
        fs::remove_all(Dst());
        fs::remove(Record());
        const std::string pre =
            Script("pre.sh", "echo \"pre $*\" >> " + rec + "\nexit " + std::to_string(c.preExit));
        const std::string post = Script("post.sh", "echo \"post $*\" >> " + rec);
        const std::string task = WriteTask({{"PreCommand", pre + " %taskname% %status%"},
                                            {"PreWait", std::to_string(epActive)},
                                            {"PreErrorLevel", std::to_string(c.errorLevel)},
                                            {"PostCommand", post + " %status% %dest%"},
                                            {"PostWait", std::to_string(epActive)},
                                            {"PostConditions", "0"}});
        TRunResult r = Run(task, true);
        EXPECT_EQ(fs::exists(Dst("Drv")), c.backupRuns) << r.log;
        if (c.backupRuns) {
            EXPECT_EQ(r.exitCode, 0) << r.log;
            EXPECT_EQ(Recorded(), "pre " + task + "\npost 0 " + Dst() + "\n") << r.log;
        } else {
            EXPECT_EQ(r.exitCode & 0xFF, 4) << r.log;
            EXPECT_EQ(Recorded(), "pre " + task + "\n") << r.log;
            EXPECT_TRUE(Contains(r.log, "Returned errorlevel = 4")) << r.log;
        }
    }
}

TEST_F(ExternalProgRunTest, AHangingProgramIsEndedAtItsLimitAndAMissingOneIsLogged)
{
    const std::string pidFile = sandbox.Path("pid");
    const std::string hang = Script("hang.sh", "echo $$ > " + ShellQuote(pidFile) + "\nexec sleep 600");
    // The limit passed: the program is ended and the backup does not run.
    TRunResult r = Run(WriteTask({{"PreCommand", hang}, {"PreWait", std::to_string(epActive | 1)}}), true);
    EXPECT_EQ(r.exitCode & 0xFF, 4) << r.log;
    EXPECT_TRUE(Contains(r.log, "  ### Time out executing external program: " + hang)) << r.log;
    EXPECT_FALSE(fs::exists(Dst("Drv"))) << r.log;
    ASSERT_TRUE(fs::exists(pidFile));
    const pid_t pid = static_cast<pid_t>(std::stol(ReadFileBytes(pidFile)));
    EXPECT_NE(::kill(pid, 0), 0) << "the hanging program still runs";

    // "Ignore timeout": the program is ended and the backup goes on.
    r = Run(WriteTask({{"PreCommand", hang}, {"PreWait", std::to_string(epActive | epIgnoreTimeOut | 1)}}),
            true);
    EXPECT_EQ(r.exitCode, 0) << r.log;
    EXPECT_TRUE(fs::exists(Dst("Drv"))) << r.log;

    // A program that is not there: logged, and the backup runs.
    fs::remove_all(Dst());
    const std::string missing = sandbox.Path("no-such-program.sh");
    r = Run(WriteTask({{"PreCommand", missing}, {"PreWait", std::to_string(epActive)}}), true);
    EXPECT_EQ(r.exitCode, 0) << r.log;
    EXPECT_TRUE(Contains(r.log, "  ### External program not found: " + missing)) << r.log;
    EXPECT_TRUE(Contains(r.log, "(External program failed)")) << r.log;
    EXPECT_TRUE(fs::exists(Dst("Drv"))) << r.log;
}

TEST_F(ExternalProgRunTest, TheProgramAfterIsSkippedByItsConditions)
{
    const std::string post = Script("post.sh", "echo post >> " + ShellQuote(Record()));
    const std::string task = WriteTask({{"PostCommand", post},
                                        {"PostWait", std::to_string(epActive)},
                                        {"PostConditions", std::to_string(epNotIfIdle)}});
    RunOk(task, CopiedText(4));
    EXPECT_EQ(Recorded(), "post\n");
    // Nothing to copy: skipped.
    TRunResult r = RunOk(task, CopiedText(0));
    EXPECT_TRUE(Contains(r.log, "  ### External program after backup was skipped (0)")) << r.log;
    EXPECT_EQ(Recorded(), "post\n");
}
