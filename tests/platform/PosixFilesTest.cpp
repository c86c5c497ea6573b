#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include "platform/PosixFiles.h"
#include "support/Sandbox.h"

namespace {

void Touch(const std::string& name, const std::string& data = "x")
{
    std::ofstream(name, std::ios::binary) << data;
}

bool XattrsWork(const std::string& file)
{
    if (::setxattr(file.c_str(), "user.vastrel.probe", "1", 1, 0) != 0)
        return false;
    ::removexattr(file.c_str(), "user.vastrel.probe");
    return true;
}

} // namespace

using PosixFilesTest = SandboxTest;

TEST_F(PosixFilesTest, AttributesAreSynthesisedFromTheFileKind)
{
    const std::string file = sandbox.Path("f.txt");
    const std::string hidden = sandbox.Path(".profile");
    const std::string dir = sandbox.Path("d");
    const std::string link = sandbox.Path("link");
    const std::string dirLink = sandbox.Path("dirlink");
    Touch(file);
    Touch(hidden);
    ::mkdir(dir.c_str(), 0755);
    ASSERT_EQ(::symlink(file.c_str(), link.c_str()), 0);
    ASSERT_EQ(::symlink(dir.c_str(), dirLink.c_str()), 0);
    ASSERT_EQ(::mkfifo(sandbox.Path("fifo").c_str(), 0644), 0);

    EXPECT_EQ(PosixFileGetAttr(file, true), int(faArchive));
    EXPECT_EQ(PosixFileGetAttr(hidden, true), int(faArchive | faHidden));
    EXPECT_EQ(PosixFileGetAttr(dir, true), int(faDirectory));
    EXPECT_EQ(PosixFileGetAttr(dir + "/", true), int(faDirectory));
    EXPECT_EQ(PosixFileGetAttr(link, false), int(faReparsePoint | faArchive));
    EXPECT_EQ(PosixFileGetAttr(link, true), int(faArchive));
    EXPECT_EQ(PosixFileGetAttr(dirLink, false), int(faReparsePoint | faDirectory));
    EXPECT_EQ(PosixFileGetAttr(sandbox.Path("fifo"), true), int(faSysFile));
    EXPECT_EQ(PosixFileGetAttr("/", true) & int(faReparsePoint), 0) << "the root is no mount point";

    uint32_t error = 0;
    EXPECT_EQ(PosixFileGetAttr(sandbox.Path("missing"), true, &error), -1);
    EXPECT_EQ(error, 2u);
    EXPECT_EQ(PosixFileGetAttr(file + "/below", true, &error), -1);
    EXPECT_EQ(error, 3u);
}

TEST_F(PosixFilesTest, ReadOnlyFollowsTheOwnerWriteBit)
{
    const std::string file = sandbox.Path("f.txt");
    Touch(file);
    ::chmod(file.c_str(), 0664);
    EXPECT_EQ(PosixFileSetAttr(file, faReadOnly | faArchive, true), 0u);
    struct stat st;
    ::stat(file.c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0444u) << "setting read-only removes every write bit";
    EXPECT_EQ(PosixFileGetAttr(file, true), int(faReadOnly | faArchive));
    EXPECT_EQ(PosixFileSetAttr(file, faArchive, true), 0u);
    ::stat(file.c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0644u) << "clearing it gives the owner write access back";
}

TEST_F(PosixFilesTest, ClearedArchiveBitComesBackWhenTheFileChanges)
{
    const std::string file = sandbox.Path("f.txt");
    Touch(file, "one");
    if (!XattrsWork(file))
        GTEST_SKIP() << "no extended attributes here";
    EXPECT_EQ(PosixFileSetAttr(file, 0, true), 0u);
    EXPECT_EQ(PosixFileGetAttr(file, true), int(faNormal));
    Touch(file, "two, longer");
    EXPECT_EQ(PosixFileGetAttr(file, true), int(faArchive));

    EXPECT_EQ(PosixFileSetAttr(file, faReadOnly, true), 0u) << "clear archive and set read-only at once";
    EXPECT_EQ(PosixFileGetAttr(file, true), int(faReadOnly));
    EXPECT_EQ(PosixFileSetAttr(file, faReadOnly | faArchive, true), 0u) << "set archive on a read-only file";
    EXPECT_EQ(PosixFileGetAttr(file, true), int(faReadOnly | faArchive));
}

TEST_F(PosixFilesTest, SettingAttributesOfAMissingFileGivesTheCode)
{
    EXPECT_EQ(PosixFileSetAttr(sandbox.Path("missing"), faArchive, true), 2u);
    EXPECT_EQ(PosixFileSetAttr("", faArchive, true), 2u);
}
