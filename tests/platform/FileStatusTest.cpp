#include "platform/FileStatus.h"

#include <climits>
#include <fcntl.h>
#include <fstream>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include "platform/ErrorCodes.h"
#include "support/Files.h"
#include "support/Sandbox.h"

namespace {

uint32_t AttrOf(const std::string& path, bool follow = false)
{
    TPosixFileData d;
    EXPECT_EQ(ReadFileData(path, follow, d), 0u) << path;
    return d.Attr;
}

// Puts the refusing layer in place for the lifetime of the object.
struct NoXattrs
{
    RefusingExtAttrLayer layer;
    NoXattrs() { ExtAttrLayer::SetCurrent(&layer); }
    ~NoXattrs() { ExtAttrLayer::SetCurrent(nullptr); }
};

class FileStatusTest : public SandboxTest
{
};

} // namespace

TEST_F(FileStatusTest, AttributesFollowModeNameAndFileType)
{
    WriteFileBytes(sandbox.Path("plain.txt"), "x");
    WriteFileBytes(sandbox.Path(".hidden"), "x");
    WriteFileBytes(sandbox.Path("ro.txt"), "x");
    ::chmod(sandbox.Path("ro.txt").c_str(), 0444);
    ::mkdir(sandbox.Path("dir").c_str(), 0755);
    ::symlink("plain.txt", sandbox.Path("link").c_str());
    ::mkfifo(sandbox.Path("fifo").c_str(), 0644);

    EXPECT_EQ(AttrOf(sandbox.Path("plain.txt")), uint32_t(faArchive));
    EXPECT_EQ(AttrOf(sandbox.Path(".hidden")), uint32_t(faArchive | faHidden));
    EXPECT_EQ(AttrOf(sandbox.Path("ro.txt")), uint32_t(faArchive | faReadOnly));
    EXPECT_EQ(AttrOf(sandbox.Path("dir")), uint32_t(faDirectory));
    EXPECT_EQ(AttrOf(sandbox.Path("link")), uint32_t(faReparsePoint | faArchive));
    ::symlink("dir", sandbox.Path("dirlink").c_str());
    EXPECT_EQ(AttrOf(sandbox.Path("dirlink")), uint32_t(faReparsePoint | faDirectory));
    EXPECT_EQ(AttrOf(sandbox.Path("dirlink"), true), uint32_t(faDirectory));
    EXPECT_EQ(AttrOf(sandbox.Path("link"), true), uint32_t(faArchive));
    EXPECT_EQ(AttrOf(sandbox.Path("fifo")), uint32_t(faSysFile));

    TPosixFileData d;
    ASSERT_EQ(ReadFileData(sandbox.Path("link"), false, d), 0u);
    EXPECT_EQ(d.ReparseTag, IO_REPARSE_TAG_SYMLINK);
}

TEST_F(FileStatusTest, AMountPointIsAReparsePointButTheRootFolderIsNot)
{
    TPosixFileData d;
    ASSERT_EQ(ReadFileData("/proc", false, d), 0u);
    EXPECT_TRUE(d.Attr & faReparsePoint);
    EXPECT_EQ(d.ReparseTag, IO_REPARSE_TAG_MOUNT_POINT);
    ASSERT_EQ(ReadFileData("/", false, d), 0u);
    EXPECT_FALSE(d.Attr & faReparsePoint);
}

TEST_F(FileStatusTest, ArchiveBitIsSetForNewFilesClearedByResetAndSetAgainByAWrite)
{
    std::string f = sandbox.Path("a.txt");
    WriteFileBytes(f, "one");
    EXPECT_TRUE(AttrOf(f) & faArchive);
    ASSERT_EQ(ResetArchiveBit(f, true), 0u);
    EXPECT_FALSE(AttrOf(f) & faArchive);
    // Reading and re-stamping the mark leave it clear.
    EXPECT_FALSE(AttrOf(f) & faArchive);

    // A write of the same size with a new time sets the bit again.
    struct timeval tv[2] = {{1000, 0}, {2000, 0}};
    WriteFileBytes(f, "two");
    ::utimes(f.c_str(), tv);
    EXPECT_TRUE(AttrOf(f) & faArchive);

    ASSERT_EQ(ResetArchiveBit(f, true), 0u);
    std::ofstream(f, std::ios::app) << "more";
    EXPECT_TRUE(AttrOf(f) & faArchive);
}

TEST_F(FileStatusTest, WritingTheAttributeWordClearsAndSetsArchiveAndReadOnly)
{
    std::string f = sandbox.Path("b.txt");
    WriteFileBytes(f, "data");
    ASSERT_EQ(WriteFileAttributes(f, faReadOnly, true), 0u);
    EXPECT_EQ(AttrOf(f), uint32_t(faReadOnly));
    struct stat st
    {
    };
    ::stat(f.c_str(), &st);
    EXPECT_EQ(st.st_mode & 0222, 0u);
    ASSERT_EQ(WriteFileAttributes(f, faArchive, true), 0u);
    EXPECT_EQ(AttrOf(f), uint32_t(faArchive));
    ::stat(f.c_str(), &st);
    EXPECT_TRUE(st.st_mode & S_IWUSR);
}

TEST_F(FileStatusTest, AReadOnlyMarkLeavesAFolderWritable)
{
    std::string d = sandbox.Path("ro-dir");
    ASSERT_EQ(::mkdir(d.c_str(), 0755), 0);
    ASSERT_EQ(WriteFileAttributes(d, faDirectory | faReadOnly, true), 0u);
    struct stat st
    {
    };
    ::stat(d.c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0755u);
    // and a folder without its write bit keeps its mode too (permissions are copied on their own)
    ASSERT_EQ(::chmod(d.c_str(), 0555), 0);
    ASSERT_EQ(WriteFileAttributes(d, faDirectory, true), 0u);
    ::stat(d.c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0555u);
    ::chmod(d.c_str(), 0755);
}

TEST_F(FileStatusTest, WithoutExtendedAttributesTheArchiveBitAlwaysReadsAsSet)
{
    std::string f = sandbox.Path("c.txt");
    WriteFileBytes(f, "x");
    NoXattrs refuse;
    EXPECT_TRUE(AttrOf(f) & faArchive);
    EXPECT_EQ(ResetArchiveBit(f, true), WinError::ERROR_NOT_SUPPORTED);
    EXPECT_TRUE(AttrOf(f) & faArchive);
    // Clearing through the attribute word is not an error: the bit just stays set, as on FAT.
    EXPECT_EQ(WriteFileAttributes(f, 0, true), 0u);
    EXPECT_TRUE(AttrOf(f) & faArchive);
}

TEST_F(FileStatusTest, TimesAreWrittenAndReadAsFileTimes)
{
    std::string f = sandbox.Path("t.txt");
    WriteFileBytes(f, "x");
    FILETIME access = UnixNsToFileTime(1000000000, 0);
    FILETIME write = UnixNsToFileTime(1500000000, 123456700);
    ASSERT_EQ(WriteFileTimes(f, &access, &write, true), 0u);
    TPosixFileData d;
    ASSERT_EQ(ReadFileData(f, true, d), 0u);
    EXPECT_EQ(d.LastAccessTime, access);
    EXPECT_EQ(d.LastWriteTime, write);
    EXPECT_NE(d.CreationTime, 0u);

    // nullptr keeps a time.
    FILETIME later = UnixNsToFileTime(1600000000, 0);
    ASSERT_EQ(WriteFileTimes(f, nullptr, &later, true), 0u);
    ASSERT_EQ(ReadFileData(f, true, d), 0u);
    EXPECT_EQ(d.LastAccessTime, access);
    EXPECT_EQ(d.LastWriteTime, later);

    int64_t sec, nsec;
    FileTimeToUnixNs(write, sec, nsec);
    EXPECT_EQ(sec, 1500000000);
    EXPECT_EQ(nsec, 123456700);
    EXPECT_EQ(UnixNsToFileTime(0, 0), FILETIME(UnixEpochTicks));
}

TEST_F(FileStatusTest, BadPathsGiveClearCodes)
{
    TPosixFileData d;
    EXPECT_EQ(ReadFileData(sandbox.Path("missing.txt"), false, d), WinError::ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(ReadFileData(sandbox.Path("nodir/missing.txt"), false, d), WinError::ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(ReadFileData("", false, d), WinError::ERROR_PATH_NOT_FOUND);
    std::string longName = sandbox.Path(std::string(PATH_MAX + 10, 'x'));
    EXPECT_EQ(ReadFileData(longName, false, d), WinError::ERROR_FILENAME_EXCED_RANGE);

    ::symlink("loop2", sandbox.Path("loop1").c_str());
    ::symlink("loop1", sandbox.Path("loop2").c_str());
    EXPECT_EQ(ReadFileData(sandbox.Path("loop1"), false, d), 0u);
    EXPECT_NE(ReadFileData(sandbox.Path("loop1"), true, d), 0u);
}

TEST_F(FileStatusTest, NamesThatAreNotUtf8PassThrough)
{
    std::string f = sandbox.Path("caf\xE9.txt");
    WriteFileBytes(f, "abc");
    TPosixFileData d;
    ASSERT_EQ(ReadFileData(f, false, d), 0u);
    EXPECT_EQ(d.Size, 3);
    EXPECT_EQ(BaseNameOf(f), "caf\xE9.txt");
}

TEST(BaseNameOfTest, GivesTheLastComponent)
{
    EXPECT_EQ(BaseNameOf("/a/b/c.txt"), "c.txt");
    EXPECT_EQ(BaseNameOf("/a/b/"), "b");
    EXPECT_EQ(BaseNameOf("name"), "name");
    EXPECT_EQ(BaseNameOf("/"), "");
}
