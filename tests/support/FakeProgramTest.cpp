#include "support/FakeProgram.h"
#include "support/Sandbox.h"
#include "support/Shell.h"
#include "support/TreeBuilder.h"

#include <stdexcept>

class FakeProgram : public SandboxTest
{
};

TEST_F(FakeProgram, RecordsArgumentsEnvironmentAndFolderAndExitsAsTold)
{
    std::string record = sandbox.Path("record.txt");
    BuildTree(sandbox.Root(), {{"work/", ""}});
    std::string command = "VASTREL_FAKE_RECORD=" + ShellQuote(record) +
                          " VASTREL_FAKE_EXIT=7 VASTREL_FAKE_STDOUT='out put' VASTREL_FAKE_SLEEP_MS=1"
                          " ODD_VALUE='a=b\\c\nd' " +
                          ShellQuote(FakeProgramPath()) +
                          " /force 'with blank' '' 'line\nbreak' 'back\\slash'";
    ShellResult r = RunShell(command, sandbox.Path("work"));
    EXPECT_EQ(r.exitCode, 7);
    EXPECT_EQ(r.output, "out put");

    std::vector<FakeRun> runs = ReadFakeRuns(record);
    ASSERT_EQ(runs.size(), 1u);
    const FakeRun& run = runs[0];
    EXPECT_GT(run.pid, 0);
    EXPECT_EQ(run.cwd, sandbox.Path("work"));
    std::vector<std::string> args{FakeProgramPath(), "/force",     "with blank", "",
                                  "line\nbreak",     "back\\slash"};
    EXPECT_EQ(run.args, args);
    EXPECT_EQ(run.Env("ODD_VALUE"), "a=b\\c\nd");
    EXPECT_EQ(run.Env("VASTREL_FAKE_EXIT"), "7");
    EXPECT_EQ(run.Env("NOT_SET_ANYWHERE"), std::nullopt);
}

TEST_F(FakeProgram, AppendsOneRecordPerRunAndExitsWithZeroByDefault)
{
    std::string record = sandbox.Path("record.txt");
    std::string program = "VASTREL_FAKE_RECORD=" + ShellQuote(record) + " " + ShellQuote(FakeProgramPath());
    EXPECT_EQ(RunShell(program + " first").exitCode, 0);
    EXPECT_EQ(RunShell(program + " second").exitCode, 0);
    std::vector<FakeRun> runs = ReadFakeRuns(record);
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0].args.at(1), "first");
    EXPECT_EQ(runs[1].args.at(1), "second");
}

TEST_F(FakeProgram, WithoutRecordFileWritesNothing)
{
    ShellResult r = RunShell("VASTREL_FAKE_EXIT=3 " + ShellQuote(FakeProgramPath()), sandbox.Path());
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_TRUE(ReadFakeRuns(sandbox.Path("record.txt")).empty());
}

TEST(FakeRecord, ParserRejectsMalformedRecords)
{
    for (const char* text : {"cwd=/\n", "run=1\narg=x\n", "run=1\nnoequals\nend=\n", "run=1\nbogus=1\nend=\n",
                             "run=1\nrun=2\nend=\n"})
        EXPECT_THROW(ParseFakeRuns(text), std::runtime_error) << text;
    EXPECT_TRUE(ParseFakeRuns("").empty());
}
