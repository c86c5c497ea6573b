#include "foundation/FileUtilsOps.h"

#include <acl/libacl.h>
#include <climits>
#include <fcntl.h>
#include <fstream>
#include <linux/fs.h>
#include <sys/acl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include "foundation/FileUtils.h"
#include "platform/ErrorCodes.h"
#include "platform/FileStatus.h"
#include "support/Sandbox.h"

namespace fs = std::filesystem;

namespace {

bool Exists(const std::string& p)
{
    struct stat st
    {
    };
    return ::lstat(p.c_str(), &st) == 0;
}

// Sets or clears the immutable flag, which even root cannot delete past. False when refused.
bool SetImmutable(const std::string& path, bool on)
{
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK);
    if (fd < 0)
        return false;
    int flags = 0;
    bool ok = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    if (ok) {
        flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
        ok = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    ::close(fd);
    return ok;
}

class FileUtilsOpsTest : public SandboxTest
{
protected:
    void Make(const std::string& name, const std::string& text = "x")
    {
        fs::path p = sandbox.Path(name);
        fs::create_directories(p.parent_path());
        std::ofstream(p, std::ios::binary) << text;
    }
};

} // namespace

TEST_F(FileUtilsOpsTest, LinksAndMountPointsHaveTypesAndTargets)
{
    ::mkdir(sandbox.Path("real").c_str(), 0755);
    ::symlink("real", sandbox.Path("rel").c_str());
    EXPECT_EQ(GetLinkType(sandbox.Path("rel")), 2);
    EXPECT_EQ(GetLinkType(sandbox.Path("real")), 0);
    EXPECT_EQ(GetLinkType("/proc"), 1);
    EXPECT_EQ(GetLinkType(sandbox.Path("none")), 0);
    std::string target;
    int type;
    TPosixFileData d;
    ReadFileData(sandbox.Path("rel"), false, d);
    ASSERT_TRUE(GetLinkInfo(sandbox.Path("rel/"), static_cast<int>(d.Attr), target, type));
    EXPECT_EQ(type, 2);
    EXPECT_EQ(target, fs::canonical(sandbox.Path("real")).string());
    EXPECT_FALSE(GetLinkInfo(sandbox.Path("rel"), -1, target, type));
    EXPECT_TRUE(target.empty());
    EXPECT_TRUE(IsReparsePoint(sandbox.Path("rel")));
    EXPECT_FALSE(IsReparsePoint(sandbox.Path("real")));
    EXPECT_TRUE(HasReparseAttr(0x410));
    EXPECT_FALSE(HasReparseAttr(-1));
    EXPECT_TRUE(IsDirectory(sandbox.Path("rel")));

    int fd = ::open(sandbox.Path("real").c_str(), O_RDONLY | O_DIRECTORY);
    std::string name;
    ASSERT_TRUE(GetFileNameByHandle(fd, name));
    EXPECT_EQ(name, fs::canonical(sandbox.Path("real")).string());
    ::close(fd);
}

TEST_F(FileUtilsOpsTest, JunctionsAreLinksToExistingFolders)
{
    ::mkdir(sandbox.Path("target").c_str(), 0755);
    Make("full/file");
    EXPECT_EQ(CreateJunction(sandbox.Path("full"), sandbox.Path("target")), WinError::ERROR_DIR_NOT_EMPTY);
    EXPECT_TRUE(Exists(sandbox.Path("full/file")));

    ASSERT_EQ(CreateJunction(sandbox.Path("new/parents/link"), sandbox.Path("target")), 0u);
    EXPECT_EQ(GetLinkType(sandbox.Path("new/parents/link")), 2);
    ::mkdir(sandbox.Path("empty").c_str(), 0755);
    ASSERT_EQ(CreateJunction(sandbox.Path("empty"), sandbox.Path("target")), 0u);
    EXPECT_EQ(GetLinkType(sandbox.Path("empty")), 2);

    // A target that is no folder makes no link; the link folder stays an empty folder.
    ASSERT_EQ(CreateJunction(sandbox.Path("nolink"), sandbox.Path("missing")), 0u);
    EXPECT_TRUE(IsDirectory(sandbox.Path("nolink")));
    EXPECT_FALSE(IsReparsePoint(sandbox.Path("nolink")));
}

TEST_F(FileUtilsOpsTest, DeleteDirectoryEmptiesTheTreeAndKeepsTheTopUnlessAsked)
{
    Make("top/a.txt");
    Make("top/.hidden");
    Make("top/sub/deep/b.txt");
    ::chmod(sandbox.Path("top/sub/deep/b.txt").c_str(), 0444);
    ::mkfifo(sandbox.Path("top/sub/pipe").c_str(), 0644);
    // A link to a folder outside: the link goes, the folder's content stays.
    Make("outside/keep.txt");
    ::symlink(sandbox.Path("outside").c_str(), sandbox.Path("top/sub/link").c_str());

    ASSERT_TRUE(DeleteDirectory(sandbox.Path("top"), false));
    EXPECT_TRUE(Exists(sandbox.Path("top")));
    EXPECT_TRUE(IsEmptyDirectory(sandbox.Path("top")));
    EXPECT_TRUE(Exists(sandbox.Path("outside/keep.txt")));
    ASSERT_TRUE(DeleteDirectory(sandbox.Path("top"), true));
    EXPECT_FALSE(Exists(sandbox.Path("top")));
    EXPECT_TRUE(DeleteDirectory(sandbox.Path("top"), true)); // missing: nothing to do
}

TEST_F(FileUtilsOpsTest, AFileThatCannotBeDeletedKeepsItsFolderAndEveryParent)
{
    Make("t/x/y/stuck.txt");
    Make("t/x/gone.txt");
    Make("t/other/gone.txt");
    if (!SetImmutable(sandbox.Path("t/x/y/stuck.txt"), true))
        GTEST_SKIP() << "the file system refuses the immutable flag";
    bool ok = DeleteDirectory(sandbox.Path("t"), true);
    SetImmutable(sandbox.Path("t/x/y/stuck.txt"), false);
    EXPECT_FALSE(ok);
    EXPECT_TRUE(Exists(sandbox.Path("t/x/y/stuck.txt")));
    EXPECT_FALSE(Exists(sandbox.Path("t/x/gone.txt")));
    EXPECT_FALSE(Exists(sandbox.Path("t/other")));
}

TEST_F(FileUtilsOpsTest, ALinkedTopFolderIsRemovedAsTheLinkOnly)
{
    Make("data/keep.txt");
    ::symlink(sandbox.Path("data").c_str(), sandbox.Path("alias").c_str());
    EXPECT_TRUE(DeleteDirectory(sandbox.Path("alias"), false));
    EXPECT_TRUE(Exists(sandbox.Path("data/keep.txt")));
    EXPECT_TRUE(DeleteDirectory(sandbox.Path("alias"), true));
    EXPECT_FALSE(Exists(sandbox.Path("alias")));
    EXPECT_TRUE(Exists(sandbox.Path("data/keep.txt")));
}

TEST_F(FileUtilsOpsTest, TreesDeeperThanPathMaxAreDeleted)
{
    std::string name(200, 'd');
    std::string path = sandbox.Path("deep");
    ::mkdir(path.c_str(), 0755);
    int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY);
    for (int i = 0; i < 25; ++i) { // 25 * 201 > PATH_MAX
        ASSERT_EQ(::mkdirat(fd, name.c_str(), 0755), 0);
        int sub = ::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY);
        ::close(fd);
        fd = sub;
    }
    int file = ::openat(fd, "leaf.txt", O_CREAT | O_WRONLY, 0644);
    ::close(file);
    ::close(fd);
    EXPECT_TRUE(DeleteDirectory(path, true));
    EXPECT_FALSE(Exists(path));
}

TEST_F(FileUtilsOpsTest, DeletingFilesByMaskAndDate)
{
    Make("d/a.tmp");
    Make("d/b.tmp");
    Make("d/c.txt");
    Make("d/.h.tmp");
    ::chmod(sandbox.Path("d/b.tmp").c_str(), 0444);
    ::mkdir(sandbox.Path("d/sub.tmp").c_str(), 0755);
    EXPECT_EQ(DeleteFiles(sandbox.Path("d"), "*.tmp"), 3);
    EXPECT_TRUE(Exists(sandbox.Path("d/c.txt")));
    EXPECT_TRUE(Exists(sandbox.Path("d/sub.tmp")));

    Make("e/old.log");
    Make("e/new.log");
    struct timespec old[2] = {{1000000000, 0}, {1000000000, 0}};
    ::utimensat(AT_FDCWD, sandbox.Path("e/old.log").c_str(), old, 0);
    EXPECT_EQ(DeleteOlderFiles(sandbox.Path("e"), "*.log", EncodeDate(2010, 1, 1)), 1);
    EXPECT_TRUE(Exists(sandbox.Path("e/new.log")));

    EXPECT_TRUE(ForceDeleteFile(sandbox.Path("e/none")));
    EXPECT_TRUE(DeleteFileIfExists(sandbox.Path("e/new.log")));
    EXPECT_FALSE(Exists(sandbox.Path("e/new.log")));
}

TEST_F(FileUtilsOpsTest, CountFilesMatchesTheExtensionExactly)
{
    Make("c/a.buj");
    Make("c/a.buj.bak");
    Make("c/sub/b.BUJ");
    Make("c/noext");
    ::symlink(sandbox.Path("c/sub").c_str(), sandbox.Path("c/loop").c_str());
    EXPECT_EQ(CountFiles(sandbox.Path("c"), false, "buj"), 1);
    EXPECT_EQ(CountFiles(sandbox.Path("c"), true, ".buj"), 2);
    EXPECT_EQ(CountFiles(sandbox.Path("c"), false, ""), 3); // the link to a folder counts as an entry
}

TEST_F(FileUtilsOpsTest, FolderTests)
{
    Make("f/file");
    ::mkdir(sandbox.Path("f/sub").c_str(), 0755);
    ::mkdir(sandbox.Path("empty").c_str(), 0755);
    EXPECT_FALSE(IsEmptyDirectory(sandbox.Path("f")));
    EXPECT_TRUE(IsEmptyDirectory(sandbox.Path("empty")));
    EXPECT_TRUE(IsEmptyDirectory(sandbox.Path("missing")));
    EXPECT_FALSE(HasNoSubDirs(sandbox.Path("f")));
    EXPECT_TRUE(HasNoSubDirs(sandbox.Path("f/sub")));
    uint32_t code = 99;
    EXPECT_TRUE(CheckDirAccess(sandbox.Path("f"), code));
    EXPECT_EQ(code, 0u);
    EXPECT_FALSE(CheckDirAccess(sandbox.Path("f/file"), code));
    EXPECT_EQ(code, WinError::ERROR_PATH_NOT_FOUND);
    EXPECT_FALSE(IsDirAccessible(sandbox.Path("missing")));
    EXPECT_TRUE(IsPathMissing(sandbox.Path("missing")));
    EXPECT_TRUE(IsPathMissing(sandbox.Path("missing/deeper")));
    EXPECT_FALSE(IsPathMissing(sandbox.Path("f")));
    EXPECT_FALSE(IsPathMissing(sandbox.Path(std::string(PATH_MAX + 1, 'n'))));
}

TEST_F(FileUtilsOpsTest, PermissionsAndStreamsAreCopied)
{
    Make("s");
    Make("d");
    ::chmod(sandbox.Path("s").c_str(), 0604);
    ASSERT_EQ(::setxattr(sandbox.Path("s").c_str(), "user.note", "n", 1, 0), 0);
    EXPECT_EQ(CopyFilePermissions(sandbox.Path("s"), sandbox.Path("d")), 0u);
    EXPECT_EQ(CopyAlternateStreams(sandbox.Path("s"), sandbox.Path("d")), 0u);
    struct stat st
    {
    };
    ::stat(sandbox.Path("d").c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0604u);
    char buf[4] = {};
    EXPECT_EQ(::getxattr(sandbox.Path("d").c_str(), "user.note", buf, sizeof buf), 1);
}

TEST_F(FileUtilsOpsTest, CopyByStreamCopiesDataOnly)
{
    Make("empty", "");
    EXPECT_EQ(CopyFileByStream(sandbox.Path("empty"), sandbox.Path("empty.copy"), 4096), 0u);
    EXPECT_TRUE(Exists(sandbox.Path("empty.copy")));
    EXPECT_EQ(std::filesystem::file_size(sandbox.Path("empty.copy")), 0u);
    std::string big(10000, 'z');
    Make("big", big);
    EXPECT_EQ(CopyFileByStream(sandbox.Path("big"), sandbox.Path("big.copy"), 4096), 0u);
    EXPECT_EQ(std::filesystem::file_size(sandbox.Path("big.copy")), 10000u);
    EXPECT_EQ(CopyFileByStream(sandbox.Path("big"), sandbox.Path("big"), 4096), 0u);
    EXPECT_EQ(CopyFileByStream(sandbox.Path("none"), sandbox.Path("x"), 4096),
              WinError::ERROR_FILE_NOT_FOUND);
    ::mkfifo(sandbox.Path("fifo").c_str(), 0644);
    EXPECT_EQ(CopyFileByStream(sandbox.Path("fifo"), sandbox.Path("x"), 4096), WinError::ERROR_ACCESS_DENIED);
}

TEST_F(FileUtilsOpsTest, CopyBufferedKeepsTimeAndAttributesAndRaisesWithTheStepsCode)
{
    Make("src.txt", "hello");
    struct timespec t[2] = {{1200000000, 0}, {1200000000, 0}};
    ::utimensat(AT_FDCWD, sandbox.Path("src.txt").c_str(), t, 0);
    ::chmod(sandbox.Path("src.txt").c_str(), 0444);
    Make("dst.txt", "old content that is longer");
    ::chmod(sandbox.Path("dst.txt").c_str(), 0444);
    CopyFileBuffered(sandbox.Path("src.txt"), sandbox.Path("dst.txt"), -1, 2);
    struct stat st
    {
    };
    ::stat(sandbox.Path("dst.txt").c_str(), &st);
    EXPECT_EQ(st.st_size, 5);
    EXPECT_EQ(st.st_mtim.tv_sec, 1200000000);
    EXPECT_EQ(st.st_mode & 0222, 0u); // read-only like the source

    try {
        CopyFileBuffered(sandbox.Path("none"), sandbox.Path("x"), -1, 4096);
        FAIL();
    } catch (const ECopyError& e) {
        EXPECT_EQ(e.ErrorCode, 2);
        EXPECT_EQ(e.Message(), "File not found: \"" + sandbox.Path("none") + "\"");
    }
    ::mkdir(sandbox.Path("adir").c_str(), 0755);
    try {
        CopyFileBuffered(sandbox.Path("src.txt"), sandbox.Path("adir"), -1, 4096);
        FAIL();
    } catch (const ECopyError& e) {
        EXPECT_EQ(e.Message(), "Error creating \"" + sandbox.Path("adir") + "\"");
        EXPECT_NE(e.ErrorCode, 0);
    }
}

TEST_F(FileUtilsOpsTest, ACopyWithAllItsPartsKeepsAttributesTimesStreamsAndAcls)
{
    std::string src = sandbox.Path("full.txt"), dst = sandbox.Path("copy/full.txt");
    Make("full.txt", "payload");
    std::filesystem::create_directories(sandbox.Path("copy"));
    ASSERT_EQ(::setxattr(src.c_str(), "user.tag", "blue", 4, 0), 0);
    acl_t acl = acl_from_text("u::rw-,u:2345:rw-,g::r--,m::rw-,o::r--");
    ASSERT_EQ(acl_set_file(src.c_str(), ACL_TYPE_ACCESS, acl), 0);
    acl_free(acl);
    struct timespec t[2] = {{1300000000, 0}, {1300000000, 0}};
    ::utimensat(AT_FDCWD, src.c_str(), t, 0);
    ASSERT_EQ(ResetArchiveBit(src, true), 0u); // the archive bit of the source is clear

    CopyFileBuffered(src, dst, -1, 3);
    ASSERT_EQ(CopyAlternateStreams(src, dst), 0u);
    ASSERT_EQ(CopyFilePermissions(src, dst), 0u);

    TPosixFileData s, d;
    ASSERT_EQ(ReadFileData(src, true, s), 0u);
    ASSERT_EQ(ReadFileData(dst, true, d), 0u);
    EXPECT_EQ(d.Attr, s.Attr);
    EXPECT_FALSE(d.Attr & faArchive);
    EXPECT_EQ(d.LastWriteTime, s.LastWriteTime);
    EXPECT_EQ(d.Size, 7);
    char buf[8] = {};
    EXPECT_EQ(::getxattr(dst.c_str(), "user.tag", buf, sizeof buf), 4);
    EXPECT_STREQ(buf, "blue");
    acl_t copied = acl_get_file(dst.c_str(), ACL_TYPE_ACCESS);
    char* text = acl_to_any_text(copied, nullptr, ',', 0);
    EXPECT_NE(std::string(text).find("user:2345:rw-"), std::string::npos) << text;
    acl_free(text);
    acl_free(copied);
}
