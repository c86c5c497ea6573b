#include "archive/FtpListing.h"

#include <gtest/gtest.h>

namespace {

TDateTime At(int y, int mo, int d, int h, int mi, int s = 0)
{
    return EncodeDateTime(y, mo, d, h, mi, s, 0);
}

TEST(FtpListingTest, MlsdLinesGiveTypeSizeAndUtcTime)
{
    auto f = ParseMlsdLine("type=file;size=1234;modify=20261210224911.123;perm=r; my file.txt");
    ASSERT_TRUE(f);
    EXPECT_EQ(f->Name, "my file.txt");
    EXPECT_EQ(f->ItemType, fitFile);
    EXPECT_EQ(f->Size, 1234);
    EXPECT_NEAR(f->ModifiedUtc, At(2026, 12, 10, 22, 49, 11) + 123 / 86400000.0, 1e-9);
    auto d = ParseMlsdLine("Type=dir;Modify=20200101000000; sub");
    ASSERT_TRUE(d);
    EXPECT_EQ(d->ItemType, fitDirectory);
    auto link = ParseMlsdLine("type=OS.unix=slink:/x;size=3; ln");
    ASSERT_TRUE(link);
    EXPECT_EQ(link->ItemType, fitLink);
    EXPECT_FALSE(ParseMlsdLine("size=3; no type"));
    EXPECT_FALSE(ParseMlsdLine("type=file;size=3;"));
}

TEST(FtpListingTest, UnixListLinesWithYearsTimesBlanksAndLinks)
{
    TDateTime today = At(2026, 1, 5, 0, 0);
    struct Case
    {
        const char* line;
        const char* name;
        TFtpItemType type;
        int64_t size;
        TDateTime time;
    } cases[] = {
        {"-rw-r--r--   1 anna users      1234 Dec 31 23:59 last year.txt", "last year.txt", fitFile, 1234,
         At(2025, 12, 31, 23, 59)},
        {"-rw-r--r--   1 anna users        10 Jan  4 10:02 new", "new", fitFile, 10, At(2026, 1, 4, 10, 2)},
        {"drwxr-xr-x   2 anna users      4096 Mar  1  2019 old dir", "old dir", fitDirectory, 4096,
         At(2019, 3, 1, 0, 0)},
        {"lrwxrwxrwx   1 anna users         7 Jan  1  2020 link -> target", "link", fitLink, 7,
         At(2020, 1, 1, 0, 0)},
        {"-rw-r--r-- 1 ftp 5 Feb 28 2024  two blanks", " two blanks", fitFile, 5, At(2024, 2, 28, 0, 0)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        auto item = ParseUnixListLine(c.line, today);
        ASSERT_TRUE(item);
        EXPECT_EQ(item->Name, c.name);
        EXPECT_EQ(item->ItemType, c.type);
        EXPECT_EQ(item->Size, c.size);
        EXPECT_NEAR(item->ModifiedLocal, c.time, 1e-7);
    }
}

TEST(FtpListingTest, DosListLines)
{
    auto d = ParseDosListLine("12-10-26  10:49PM       <DIR>          Backup Folder");
    ASSERT_TRUE(d);
    EXPECT_EQ(d->Name, "Backup Folder");
    EXPECT_EQ(d->ItemType, fitDirectory);
    EXPECT_NEAR(d->ModifiedLocal, At(2026, 12, 10, 22, 49), 1e-7);
    auto f = ParseDosListLine("01-02-2019  12:05AM              1,234 a.txt");
    ASSERT_TRUE(f);
    EXPECT_EQ(f->Size, 1234);
    EXPECT_NEAR(f->ModifiedLocal, At(2019, 1, 2, 0, 5), 1e-7);
}

TEST(FtpListingTest, GarbageIsSkippedNotGuessed)
{
    std::vector<std::string> lines = {
        "total 12",
        "",
        "\x01\x02\x03 garbage",
        "-rw-r--r-- 1 a b xx Foo 99 99:99 broken",
        "13-45-26  10:49PM  <DIR>  bad date",
        "12-10-26  25:00PM  1 bad time",
        std::string(100000, 'Z'),
        "drwxr-xr-x 2 a b 4096 Jan 1 2020 .",
        "drwxr-xr-x 2 a b 4096 Jan 1 2020 ..",
        "-rw-r--r-- 1 a b 99999999999999999999999 Jan 1 2020 huge",
        "-rw-r--r-- 1 a b 3 Jan 1 2020 good",
    };
    auto items = ParseFtpListing(lines, false, At(2026, 1, 1, 0, 0));
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].Name, "huge");
    EXPECT_EQ(items[0].Size, 0);
    EXPECT_EQ(items[1].Name, "good");
    auto mlsd = ParseFtpListing(
        {"type=cdir; .", "type=pdir; ..", "type=file;size=-5;modify=2026; weird", ";;;;"}, true, 0);
    ASSERT_EQ(mlsd.size(), 1u);
    EXPECT_EQ(mlsd[0].Size, 0);
    EXPECT_EQ(mlsd[0].ModifiedUtc, 0);
}

TEST(FtpListingTest, FtpTimesReadAndWritten)
{
    TDateTime t;
    EXPECT_TRUE(TryParseFtpTime("20261210224911", t));
    EXPECT_EQ(FtpTimeText(t), "20261210224911");
    EXPECT_FALSE(TryParseFtpTime("2026121022491", t));
    EXPECT_FALSE(TryParseFtpTime("20261310224911", t));
    EXPECT_FALSE(TryParseFtpTime("20261210224911x", t));
}

} // namespace
