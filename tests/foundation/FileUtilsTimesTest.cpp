#include "foundation/FileUtilsTimes.h"

#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/ErrorCodes.h"
#include "support/Files.h"
#include "support/Sandbox.h"
#include "support/WaitFor.h"

namespace {

class FileUtilsTimesTest : public SandboxTest
{
protected:
    std::string MakeFile(const std::string& name, const std::string& text = "abc")
    {
        std::string p = sandbox.Path(name);
        std::ofstream(p, std::ios::binary) << text;
        return p;
    }
};

} // namespace

TEST(FileTimeConversionTest, UnixTimesAndTheDocumentedFailureValues)
{
    EXPECT_EQ(DateTimeToUnixTime(25569.0), 0);
    EXPECT_EQ(DateTimeToUnixTime(25569.5), 43200);
    EXPECT_DOUBLE_EQ(UnixTimeToDateTime(86400), 25570.0);
    EXPECT_DOUBLE_EQ(FileTimeToLocalDateTime(~FILETIME(0)), EncodeDate(1980, 1, 1));
    EXPECT_DOUBLE_EQ(DosTimeToDateTime(0xFFFFFFFF), EncodeDate(1980, 1, 1));
    EXPECT_EQ(FileTimeToLocalDosTime(~FILETIME(0)), -1);
    EXPECT_EQ(FileTimeToDosTime(~FILETIME(0)), 0u);
    EXPECT_EQ(FileTimeToStr(~FILETIME(0)), "???");
    EXPECT_EQ(UnixTimeToFileTime(0), FILETIME(UnixEpochTicks));
    EXPECT_EQ(FileTimeToUnixTime(UnixTimeToFileTime(1700000000)), 1700000000);
    // TZ=UTC in the tests: local equals UTC.
    uint32_t dos = (uint32_t((2024 - 1980) << 9 | 6 << 5 | 15) << 16) | uint32_t(13 << 11 | 30 << 5 | 5);
    EXPECT_EQ(DosTimeToUnixTime(dos), 1718458210);
    EXPECT_EQ(DosTimeToUnixTime(0xFFFFFFFF), 0);
    FILETIME ft = 0;
    ClearFileTime(ft);
    EXPECT_EQ(ft, 0u);
}

TEST(FileAttrToStrTest, ShowsReadOnlyArchiveHiddenSystemAndLink)
{
    EXPECT_EQ(FileAttrToStr(0x421), "ra--L");
    EXPECT_EQ(FileAttrToStr(0x27), "rahs");
    EXPECT_EQ(FileAttrToStr(0), "----");
}

TEST_F(FileUtilsTimesTest, FileDataOfFilesFoldersAndLinks)
{
    std::string f = MakeFile("a.txt", "12345");
    ::mkdir(sandbox.Path("dir").c_str(), 0755);
    ::symlink("a.txt", sandbox.Path("link").c_str());

    TWin32FindData fd;
    ASSERT_TRUE(GetFileFindData(f, fd));
    EXPECT_EQ(GetFindDataSize(fd), 5);
    EXPECT_EQ(fd.cFileName, "a.txt");
    EXPECT_FALSE(GetFileFindData(sandbox.Path("dir"), fd));
    EXPECT_FALSE(GetFileFindData(sandbox.Path("none"), fd));

    TWin32FileAttributeData ad;
    ASSERT_EQ(GetFileAttrData(sandbox.Path("link"), ad, true), 0u);
    EXPECT_EQ(GetAttrDataSize(ad), 5);
    EXPECT_FALSE(ad.dwFileAttributes & faReparsePoint);
    ASSERT_EQ(GetFileAttrData(sandbox.Path("link"), ad, false), 0u);
    EXPECT_TRUE(ad.dwFileAttributes & faReparsePoint);
    EXPECT_EQ(GetFileAttrData(sandbox.Path("none"), ad, false), WinError::ERROR_FILE_NOT_FOUND);

    EXPECT_EQ(GetFileSizeOf(sandbox.Path("link")), 5);
    EXPECT_EQ(GetFileSizeOf(sandbox.Path("none")), 0);
    EXPECT_GT(GetFileAge(f), 0.0);
    EXPECT_EQ(GetFileAge(sandbox.Path("dir")), 0.0);
    EXPECT_GT(GetDirAge(sandbox.Path("dir")), 0.0);
    EXPECT_EQ(GetDirAge(f), 0.0);
    EXPECT_EQ(GetDirDosTime(f), -1);
    EXPECT_NE(GetDirDosTime(sandbox.Path("dir")), -1);
}

TEST_F(FileUtilsTimesTest, FileInfoOfADirectorySearch)
{
    std::string f = MakeFile("b.bin", "xy");
    ::mkdir(sandbox.Path("folder").c_str(), 0755);
    TFileInfo fi;
    ASSERT_TRUE(GetFileInfo(f, fi, false));
    EXPECT_EQ(fi.Name, "b.bin");
    EXPECT_EQ(fi.Size, 2);
    EXPECT_TRUE(fi.Attr & faArchive);
    EXPECT_NEAR(fi.DateTime, Now(), 1.0 / 24);

    EXPECT_FALSE(GetFileInfo(sandbox.Path("folder"), fi, false));
    EXPECT_EQ(fi.Attr, 0xFFFFFFFFu);
    EXPECT_TRUE(GetFileInfo(sandbox.Path("folder"), fi, true));
    EXPECT_TRUE(fi.Attr & faDirectory);

    int64_t size;
    FILETIME ft;
    uint32_t attr, res;
    ASSERT_TRUE(GetFileInfoValues(sandbox.Path("*.bin"), false, size, ft, attr, res));
    EXPECT_EQ(size, 2);
    EXPECT_EQ(res, 0u);
}

TEST_F(FileUtilsTimesTest, PathTimestampsAreValidOnlyForTheRightKind)
{
    std::string f = MakeFile("c.txt");
    TFileTimestamps ts;
    GetPathTimestamps(f, true, true, ts);
    EXPECT_FALSE(ts.Valid);
    EXPECT_EQ(ts.LastWriteTime, 0u);
    GetPathTimestamps(f, false, true, ts);
    EXPECT_TRUE(ts.Valid);
    GetDirTimestamps(sandbox.Path(), true, ts);
    EXPECT_TRUE(ts.Valid);
}

TEST_F(FileUtilsTimesTest, SettingTimesWithTheOneDayCheck)
{
    std::string f = MakeFile("d.txt");
    TFileTimestamps ts;
    ts.Reset();
    // Not valid: stamped with the current time.
    ASSERT_EQ(SetFileTimestamps(f, ts, false, true, true), 0u);
    EXPECT_NEAR(GetFileUtcDateTime(f), Now(), 1.0 / 1440);

    TDateTime past = EncodeDateTime(2001, 2, 3, 4, 5, 6, 0);
    ts.SetTimeStamps(past, past);
    ASSERT_EQ(SetFileTimestamps(f, ts, true, true, true), 0u);
    EXPECT_NEAR(GetFileUtcDateTime(f), past, 1e-6);

    // Two days ahead: replaced by now; 23 hours ahead: kept.
    ASSERT_EQ(SetFileUtcTime(f, DateTimeToFileTime(Now() + 2), true), 0u);
    EXPECT_NEAR(GetFileUtcDateTime(f), Now(), 1.0 / 1440);
    TDateTime soon = Now() + 23.0 / 24;
    ASSERT_EQ(SetFileUtcTime(f, DateTimeToFileTime(soon), true), 0u);
    EXPECT_NEAR(GetFileUtcDateTime(f), soon, 1e-6);

    uint32_t dos = DateTimeToDosDateTime(EncodeDateTime(2010, 5, 6, 7, 8, 10, 0));
    ASSERT_EQ(SetFileDosTime(f, dos, true), 0u);
    EXPECT_NEAR(GetFileUtcDateTime(f), EncodeDateTime(2010, 5, 6, 7, 8, 10, 0), 1e-6);
    EXPECT_EQ(SetFileDosTime(f, 0xFFFFFFFF, true), WinError::ERROR_INVALID_PARAMETER);
    EXPECT_EQ(SetDirLocalTime("/", 0, true), 0u);
    EXPECT_EQ(SetFileUtcTime(sandbox.Path("none"), 0, false), WinError::ERROR_FILE_NOT_FOUND);
}

TEST_F(FileUtilsTimesTest, ChangeFileAttrWritesOnlyWhenSomethingChanges)
{
    std::string f = MakeFile("e.txt");
    EXPECT_EQ(ChangeFileAttr(sandbox.Path("none"), faReadOnly, false), WinError::ERROR_FILE_NOT_FOUND);
    struct stat before
    {
    }, after{};
    ::stat(f.c_str(), &before);
    // the file system's clock moves past the file's change time first, so a write would show
    const std::string probe = sandbox.Path("clock-probe");
    ASSERT_TRUE(WaitFor([&] {
        WriteFileBytes(probe, "");
        struct stat now
        {
        };
        ::stat(probe.c_str(), &now);
        return now.st_ctim.tv_sec != before.st_ctim.tv_sec || now.st_ctim.tv_nsec != before.st_ctim.tv_nsec;
    }));
    EXPECT_EQ(ChangeFileAttr(f, faArchive, false), 0u); // already set
    ::stat(f.c_str(), &after);
    EXPECT_EQ(before.st_ctim.tv_nsec, after.st_ctim.tv_nsec);
    EXPECT_EQ(ChangeFileAttr(f, faReadOnly | faArchive, true), 0u);
    TPosixFileData d;
    ReadFileData(f, true, d);
    EXPECT_FALSE(d.Attr & (faReadOnly | faArchive));
    EXPECT_EQ(ChangeFileAttr(f, faReadOnly, false), 0u);
    ReadFileData(f, true, d);
    EXPECT_TRUE(d.Attr & faReadOnly);
}
