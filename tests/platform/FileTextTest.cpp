#include "platform/FileText.h"

#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

#include "support/Sandbox.h"

using FileTextTest = SandboxTest;

TEST_F(FileTextTest, WholeFilesAreReadButFifosAreNeverOpenedForReading)
{
    std::ofstream(sandbox.Path("f.txt"), std::ios::binary) << "a\r\nb";
    ASSERT_EQ(::mkfifo(sandbox.Path("fifo").c_str(), 0644), 0);
    std::string data = "x";
    EXPECT_TRUE(ReadWholeFile(sandbox.Path("f.txt"), data));
    EXPECT_EQ(data, "xa\r\nb") << "appended";
    EXPECT_FALSE(ReadWholeFile(sandbox.Path("fifo"), data))
        << "returns at once instead of waiting for a writer";
    EXPECT_FALSE(ReadWholeFile(sandbox.Path(""), data));
    EXPECT_EQ(ReadSmallFile(sandbox.Path("missing")), "");
    EXPECT_NE(ReadSmallFile("/proc/self/mountinfo"), "") << "files of size 0 in /proc are read to their end";
}

TEST_F(FileTextTest, ReplacingContentsKeepsTheModeFollowsLinksAndRefusesFolders)
{
    const std::string file = sandbox.Path("f.ini");
    std::ofstream(file) << "old";
    ::chmod(file.c_str(), 0640);
    ASSERT_EQ(::symlink(file.c_str(), sandbox.Path("link").c_str()), 0);
    EXPECT_EQ(ReplaceFileContents(sandbox.Path("link"), "new"), 0u);
    struct stat st;
    ASSERT_EQ(::lstat(sandbox.Path("link").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode)) << "the link stays a link";
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(ReadSmallFile(file), "new");

    ::mkdir(sandbox.Path("dir").c_str(), 0755);
    EXPECT_EQ(ReplaceFileContents(sandbox.Path("dir"), "x"), 5u);
    EXPECT_NE(ReplaceFileContents(sandbox.Path("no/such/f"), "x"), 0u);
}

TEST_F(FileTextTest, IniTextIsParsedByTheClassLibraryRules)
{
    auto sections = ParseIniText("x=before any section\r\n; comment\n [ One ] \rA = 1 \r\n\r\nloose line\n"
                                 "[two]\nB=\n[ONE]\nC=3");
    ASSERT_EQ(sections.size(), 2u);
    EXPECT_EQ(sections[0].Name, "One");
    EXPECT_EQ(sections[0].Lines, (std::vector<std::string>{"A=1", "loose line", "C=3"}));
    EXPECT_EQ(sections[1].Name, "two");
    EXPECT_EQ(sections[1].Lines, (std::vector<std::string>{"B="}));
    EXPECT_TRUE(SameTextAscii("Software\\Vastrel6", "SOFTWARE\\vastrel6"));
    EXPECT_FALSE(SameTextAscii("\xC3\xA4", "\xC3\x84")) << "only ASCII letters fold";
    EXPECT_EQ(TrimBlanks("\t x y\r\n"), "x y");
    EXPECT_EQ(ParentDirOf("a"), ".");
    EXPECT_EQ(ParentDirOf("/a"), "/");
    EXPECT_EQ(ParentDirOf("/a/b"), "/a");
}
