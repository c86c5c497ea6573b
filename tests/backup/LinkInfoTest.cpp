#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sys/mount.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "RunTestUtil.h"
#include "backup/CopyLoop.h"
#include "backup/LinkInfo.h"
#include "support/Files.h"
#include "support/Servers.h"

namespace fs = std::filesystem;

namespace {

std::string RealPath(const std::string& path)
{
    char buf[PATH_MAX];
    return ::realpath(path.c_str(), buf) ? std::string(buf) : path;
}

TEST(LinkInfoTest, InformationFileHoldsMarkHeadingTargetAndTypeAndReadsBack)
{
    EXPECT_EQ(LinkInfoContent("/data/Projects", 1), "\xEF\xBB\xBF# Junction\r\n/data/Projects\r\n1\r\n");
    struct Case
    {
        std::string target;
        int type;
    };
    for (const Case& c : {Case{"/data/Projects", 1}, Case{"/home/ü ber/dir with blanks", 2}, Case{"/", 2}}) {
        std::string target;
        int type = 0;
        ASSERT_TRUE(ParseLinkInfo(LinkInfoContent(c.target, c.type), target, type)) << c.target;
        EXPECT_EQ(target, c.target);
        EXPECT_EQ(type, c.type);
    }
    // Also without the byte-order mark and with LF line ends, as an editor may leave it.
    std::string target;
    int type = 0;
    EXPECT_TRUE(ParseLinkInfo("# Junction\n/x\n2\n", target, type));
    EXPECT_EQ(target, "/x");
    for (const char* bad : {"", "# Junction\r\n", "# Junction\r\n/x\r\n7\r\n", "#Junction\r\n/x\r\n1\r\n",
                            "# Junction\r\n\r\n1\r\n"})
        EXPECT_FALSE(ParseLinkInfo(bad, target, type)) << bad;
}

TEST(LinkInfoTest, NameReplacesTheExtensionOfTheLinkFolder)
{
    EXPECT_EQ(LinkInfoFileName("/d/Data.old"), "/d/Data.qvlink");
    EXPECT_EQ(LinkInfoFileName("/d/Data"), "/d/Data.qvlink");
    EXPECT_EQ(LinkInfoFileName("/d.x/Data/"), "/d.x/Data.qvlink");
    EXPECT_EQ(LinkInfoFileName("/d/.config"), "/d/.config.qvlink");
}

class LinkFolderTest : public runtest::RunFrameTest
{
protected:
    void SetUp() override
    {
        runtest::RunFrameTest::SetUp();
        AttachCopyLoop(engine, loop);
        WriteFileBytes(Src("a.txt"), "alpha");
        WriteFileBytes(Src("real/r.txt"), "real");
        WriteFileBytes(sandbox.Path("outside/o.txt"), "outside");
        fs::create_directory_symlink(sandbox.Path("outside"), Src("link"));
        fs::create_directory_symlink(sandbox.Path("outside"), Src("Data.old"));
        fs::create_directory_symlink(sandbox.Path("src"), Src("real/up"));
        outside = RealPath(sandbox.Path("outside"));
    }
    std::string Src(const std::string& rel = "") { return sandbox.Path("src/" + rel); }
    std::string Dst(const std::string& rel = "") { return sandbox.Path("dest/" + rel); }
    TBuResult RunTask(const std::string& extra, int destMode = 2)
    {
        std::string path = sandbox.Path("tasks/t.buj");
        fs::create_directories(sandbox.Path("tasks"));
        std::ofstream(path) << "[Global]\nDestination=" << sandbox.Path("dest") << "\nDestMode=" << destMode
                            << "\nDirCount=1\nLogFile=3\n"
                            << extra << "\n[Dir000]\nSource=" << Src() << "\nBackupMode=1\n";
        size_t before = ReadFileBytes(host.DefaultLog).size();
        TBuResult r = engine.DoBackupJob(0, iaQuiet, 3, path);
        lastLog = ReadFileBytes(host.DefaultLog).substr(before);
        return r;
    }
    bool Logged(const std::string& text) const { return lastLog.find(text) != std::string::npos; }
    std::string LinkLine(const std::string& name, const std::string& target)
    {
        return "Symbolic link: \"" + Src(name + "/") + "\" => \"" + target + "\"";
    }

    TRecordingProgress progress;
    TRunControl control;
    TBackupEngine engine{host, interaction, progress, control, log};
    TCopyLoop loop{engine.Task, log, control, progress, interaction};
    std::string lastLog;
    std::string outside;
};

TEST_F(LinkFolderTest, IgnoredLinksAreSkippedWithoutAnInformationFile)
{
    EXPECT_EQ(RunTask(""), brOK);
    EXPECT_EQ(ReadFileBytes(Dst("a.txt")), "alpha");
    EXPECT_EQ(ReadFileBytes(Dst("real/r.txt")), "real");
    EXPECT_TRUE(Logged(LinkLine("link", outside) + " - ignored")) << lastLog;
    EXPECT_FALSE(fs::exists(fs::symlink_status(Dst("link"))));
    EXPECT_FALSE(fs::exists(Dst("link.qvlink")));
    EXPECT_FALSE(fs::exists(Dst("Data.qvlink")));
}

TEST_F(LinkFolderTest, LinksThatAreNotFollowedLeaveInformationFilesThatSynchronisationKeeps)
{
    EXPECT_EQ(RunTask("IgnoreJunctions=0\nSyncMode=1"), brOK);
    EXPECT_EQ(ReadFileBytes(Dst("link.qvlink")), LinkInfoContent(outside, 2));
    // The extension of the link folder is replaced, not appended.
    EXPECT_EQ(ReadFileBytes(Dst("Data.qvlink")), LinkInfoContent(outside, 2));
    EXPECT_EQ(ReadFileBytes(Dst("real/up.qvlink")), LinkInfoContent(RealPath(Src()), 2));
    EXPECT_TRUE(Logged(LinkLine("link", outside) + " - write info")) << lastLog;
    EXPECT_FALSE(fs::exists(Dst("link")));
    std::string target;
    int type = 0;
    ASSERT_TRUE(ParseLinkInfo(ReadFileBytes(Dst("link.qvlink")), target, type));
    EXPECT_EQ(target, outside);
    EXPECT_EQ(type, 2);
    // A second synchronising run keeps the information files.
    EXPECT_EQ(RunTask("IgnoreJunctions=0\nSyncMode=1"), brOK);
    EXPECT_TRUE(fs::exists(Dst("link.qvlink")));
    EXPECT_TRUE(fs::exists(Dst("real/up.qvlink")));
    EXPECT_TRUE(Logged("=> Status: No files deleted")) << lastLog;
}

TEST_F(LinkFolderTest, FollowedLinksAreReadThroughAndLinksToTheirOwnParentsAreSkipped)
{
    EXPECT_EQ(RunTask("IgnoreJunctions=0\nAllowJunctions=1\nSyncMode=1"), brOK);
    EXPECT_EQ(ReadFileBytes(Dst("link/o.txt")), "outside");
    EXPECT_EQ(ReadFileBytes(Dst("Data.old/o.txt")), "outside");
    EXPECT_TRUE(Logged(LinkLine("link", outside))) << lastLog;
    EXPECT_TRUE(Logged(LinkLine("real/up", RealPath(Src())) + " - recursive (skipped)")) << lastLog;
    EXPECT_FALSE(fs::exists(Dst("real/up")));
    EXPECT_FALSE(fs::exists(Dst("link.qvlink")));
    // The followed folders count as sources: synchronisation keeps their copies.
    EXPECT_EQ(RunTask("IgnoreJunctions=0\nAllowJunctions=1\nSyncMode=1"), brOK);
    EXPECT_EQ(ReadFileBytes(Dst("link/o.txt")), "outside");
    EXPECT_TRUE(Logged("=> Status: No files deleted")) << lastLog;
    // Without reading through them, their copies are extra folders that synchronisation removes.
    EXPECT_EQ(RunTask("IgnoreJunctions=0\nSyncMode=1"), brOK);
    EXPECT_FALSE(fs::exists(Dst("link")));
    EXPECT_TRUE(fs::exists(Dst("link.qvlink")));
}

TEST_F(LinkFolderTest, JunctionPathsPutTheTargetWhereABackupOfItsDriveWouldAndTheInformationFileAtTheLink)
{
    fs::remove(Src("Data.old"));
    EXPECT_EQ(RunTask("IgnoreJunctions=0\nAllowJunctions=1\nFollowJunctions=1", 0), brOK);
    std::string linkDest;
    std::string targetCopy;
    for (const auto& e : fs::recursive_directory_iterator(Dst())) {
        std::string p = e.path().string();
        if (e.path().filename() == "link.qvlink")
            linkDest = p;
        if (e.path().filename() == "o.txt")
            targetCopy = p;
    }
    ASSERT_FALSE(linkDest.empty()) << lastLog;
    EXPECT_EQ(ReadFileBytes(linkDest), LinkInfoContent(outside, 2));
    // The source's own tree lies below the destination by its full path; the target's likewise.
    EXPECT_NE(linkDest.find(Src().substr(1)), std::string::npos) << linkDest;
    ASSERT_FALSE(targetCopy.empty()) << lastLog;
    EXPECT_NE(targetCopy.find(outside.substr(1) + "/o.txt"), std::string::npos) << targetCopy;
    EXPECT_EQ(targetCopy.find("/link/"), std::string::npos) << targetCopy;
}

TEST_F(LinkFolderTest, MountPointsAreJunctions)
{
    fs::create_directories(Src("mnt"));
    VASTREL_REQUIRE_SERVER(MountTmpfs(Src("mnt")));
    WriteFileBytes(Src("mnt/m.txt"), "mounted");
    EXPECT_EQ(RunTask("IgnoreJunctions=0"), brOK);
    std::string target;
    int type = 0;
    EXPECT_TRUE(ParseLinkInfo(ReadFileBytes(Dst("mnt.qvlink")), target, type)) << lastLog;
    EXPECT_EQ(type, 1);
    EXPECT_EQ(target, RealPath(Src("mnt")));
    EXPECT_TRUE(Logged("Directory junction: \"" + Src("mnt/") + "\"")) << lastLog;
    EXPECT_FALSE(fs::exists(Dst("mnt/m.txt")));
    EXPECT_EQ(RunTask("IgnoreJunctions=0\nAllowJunctions=1"), brOK);
    EXPECT_EQ(ReadFileBytes(Dst("mnt/m.txt")), "mounted");
    EXPECT_EQ(umount(Src("mnt").c_str()), 0);
}

} // namespace
