#include "support/Shell.h"
#include "support/Sandbox.h"
#include "support/TreeBuilder.h"

#include <cstdlib>
#include <gtest/gtest-spi.h>

TEST(RunShell, GivesExitCodesIncludingSignals)
{
    struct Case
    {
        const char* command;
        int exitCode;
    };
    for (const Case& c : {Case{"true", 0}, Case{"exit 3", 3}, Case{"exit 255", 255},
                          Case{"kill -TERM $$", 143}, Case{"no-such-command-vastrel", 127}})
        EXPECT_EQ(RunShell(c.command).exitCode, c.exitCode) << c.command;
}

TEST(RunShell, CapturesOutputAndFeedsStandardInput)
{
    EXPECT_EQ(RunShell("printf 'a\\0b'").output, std::string("a\0b", 3));
    EXPECT_EQ(RunShell("echo out; echo err >&2").output, "out\nerr\n");
    EXPECT_EQ(RunShell("echo out; echo err >&2", "", false).output, "out\n");
    std::string big(1 << 20, 'z');
    ShellResult r = RunShell("cat", "", true, big);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.output, big);
    // A command that does not read its input still ends cleanly.
    EXPECT_EQ(RunShell("exit 4", "", true, big).exitCode, 4);
}

class RunShellInSandbox : public SandboxTest
{
};

TEST_F(RunShellInSandbox, RunsInTheGivenFolder)
{
    BuildTree(sandbox.Root(), {{"it's here/marker", "m"}});
    ShellResult r = RunShell("cat marker && pwd", sandbox.Path("it's here"));
    EXPECT_EQ(r.output, "m" + sandbox.Path("it's here") + "\n");
}

TEST(ShellQuote, PassesAnyTextThroughTheShellUnchanged)
{
    for (std::string text : {"", "plain", "two words", "it's", "$HOME `x` \"q\" \\ *", "line\nbreak"})
        EXPECT_EQ(RunShell("printf %s " + ShellQuote(text)).output, text);
}

TEST(FindTool, FindsInstalledToolsOnly)
{
    EXPECT_NE(FindTool("sh"), "");
    EXPECT_EQ(FindTool("/bin/sh"), "/bin/sh");
    EXPECT_EQ(FindTool("vastrel-no-such-tool"), "");
    EXPECT_EQ(FindTool(""), "");
}

namespace {

void NeedTool(const char* name, bool& reachedEnd)
{
    VASTREL_REQUIRE_TOOL(name);
    reachedEnd = true;
}

} // namespace

TEST(RequireTool, SkipsWhenTheToolIsMissingAndGoesOnWhenItIsThere)
{
    // the outcome for a missing tool does not depend on the caller's environment
    const char* saved = std::getenv("VASTREL_REQUIRE_SERVERS");
    const std::string savedValue = saved ? saved : "";
    bool reached = false;
    NeedTool("sh", reached);
    EXPECT_TRUE(reached);

    for (const char* required : {"0", "1"}) {
        ::setenv("VASTREL_REQUIRE_SERVERS", required, 1);
        reached = false;
        ::testing::TestPartResultArray results;
        {
            ::testing::ScopedFakeTestPartResultReporter reporter(
                ::testing::ScopedFakeTestPartResultReporter::INTERCEPT_ONLY_CURRENT_THREAD, &results);
            NeedTool("vastrel-no-such-tool", reached);
        }
        EXPECT_FALSE(reached);
        ASSERT_EQ(results.size(), 1);
        if (std::string(required) == "1")
            EXPECT_TRUE(results.GetTestPartResult(0).fatally_failed());
        else
            EXPECT_TRUE(results.GetTestPartResult(0).skipped());
    }
    if (saved)
        ::setenv("VASTREL_REQUIRE_SERVERS", savedValue.c_str(), 1);
    else
        ::unsetenv("VASTREL_REQUIRE_SERVERS");
}
