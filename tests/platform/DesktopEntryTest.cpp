#include "platform/DesktopEntry.h"

#include <fstream>
#include <sstream>
#include <sys/stat.h>

#include "platform/ErrorCodes.h"
#include "support/Sandbox.h"

namespace {

class DesktopEntryTest : public SandboxTest
{
};

} // namespace

TEST(DesktopEntryQuotingTest, ExecLinesRoundTripArgumentsWithReservedCharacters)
{
    std::vector<std::vector<std::string>> cases = {
        {"/usr/bin/vastrel", "-force", "/home/u/Tasks/daily.buj"},
        {"/opt/my app/vastrel", "a b", "100%", "$HOME", "back\\slash", "quote\"d", "tick`", ""},
        {"prog", "semi;colon", "pipe|x", "star*", "new\nline"},
    };
    for (const auto& argv : cases) {
        std::string exec = QuoteExecLine(argv);
        EXPECT_EQ(SplitExecLine(exec), argv) << exec;
        EXPECT_EQ(SplitExecLine(UnescapeDesktopValue(EscapeDesktopValue(exec))), argv) << exec;
    }
    EXPECT_EQ(QuoteExecLine({"/usr/bin/x", "a b", "50%"}), "/usr/bin/x \"a b\" 50%%");
    EXPECT_EQ(QuoteExecLine({"x", "a\\b"}), "x \"a\\\\b\"");
    EXPECT_EQ(EscapeDesktopValue("x \"a\\\\b\""), "x \"a\\\\\\\\b\"");
    EXPECT_EQ(SplitExecLine("app %f --x"), (std::vector<std::string>{"app", "", "--x"}));
}

TEST_F(DesktopEntryTest, AnEntryIsWrittenExecutableAndReadBack)
{
    TDesktopEntry e;
    e.Name = "Daily backup";
    e.Comment = "Runs the daily task";
    e.Exec = {"/usr/bin/vastrel", "-force", sandbox.Path("Tasks/my task.buj")};
    e.Icon = "/usr/share/icons/vastrel.png";
    e.WorkDir = sandbox.Path("home");
    e.RunAsAdmin = true;
    std::string file = sandbox.Path("home/Desktop/Daily backup.desktop");
    ASSERT_EQ(WriteDesktopEntry(file, e), 0u);
    struct stat st
    {
    };
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_TRUE(st.st_mode & S_IXUSR);
    std::ifstream in(file);
    std::stringstream ss;
    ss << in.rdbuf();
    EXPECT_NE(ss.str().find("Exec=pkexec /usr/bin/vastrel -force \""), std::string::npos) << ss.str();

    TDesktopEntry r;
    ASSERT_EQ(ReadDesktopEntry(file, r), 0u);
    EXPECT_EQ(r.Name, e.Name);
    EXPECT_EQ(r.Comment, e.Comment);
    EXPECT_EQ(r.Exec, e.Exec);
    EXPECT_EQ(r.Icon, e.Icon);
    EXPECT_EQ(r.WorkDir, e.WorkDir);
    EXPECT_TRUE(r.RunAsAdmin);
}

TEST_F(DesktopEntryTest, MissingAndInvalidFilesGiveCodes)
{
    TDesktopEntry r;
    EXPECT_EQ(ReadDesktopEntry(sandbox.Path("none.desktop"), r), WinError::ERROR_FILE_NOT_FOUND);
    std::ofstream(sandbox.Path("bad.desktop")) << "[Other]\nExec=x\n";
    EXPECT_EQ(ReadDesktopEntry(sandbox.Path("bad.desktop"), r), 13u);
}
