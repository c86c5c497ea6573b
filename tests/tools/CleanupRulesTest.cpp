#include "tools/CleanupRules.h"

#include <gtest/gtest.h>

#include "ToolTestUtil.h"
#include "support/Files.h"
#include "support/Sandbox.h"
#include "support/TreeBuilder.h"

namespace {

TSecSettings FileNaming(const std::string& suffix)
{
    TSecSettings sec;
    sec.Selection = 1u << ssFiles;
    sec.FileSuffix = suffix;
    SetBDateSeparator(sec);
    return sec;
}

int64_t Day(int y, int m, int d)
{
    return PlainUnixSeconds(EncodeDate(y, m, d));
}

TEST(CleanupAgeLimitTest, DescriptionsAndLimitsFollowTheAgeMode)
{
    const TDateTime today = EncodeDate(2024, 5, 31);
    const TDateTime now = today + 0.5;
    struct
    {
        int subject;
        int mode;
        int count;
        const char* text;
        TAgeCompare compare;
        int64_t limit;
    } cases[] = {
        {csFiles, caDays, 1, "Only files older than 1 day", acmOlder, Day(2024, 5, 30)},
        {csFiles, caWeeks, 3, "Only files older than 3 weeks", acmOlder, Day(2024, 5, 10)},
        {csFiles, caMonths, 3, "Only files older than 3 months", acmOlder, Day(2024, 2, 29)},
        {csRootDirs, caYears, 1, "Only root directories older than 1 year", acmOlder, Day(2023, 5, 31)},
        {csFiles, caAll, 4, "All files", acmNone, PlainUnixSeconds(now + 1)},
    };
    for (const auto& c : cases) {
        TCleanupSettings s;
        s.Subject = c.subject;
        s.AgeMode = c.mode;
        s.TimeCount = c.count;
        const TAgeLimit a = GetAgeLimit(s, today, now);
        EXPECT_EQ(a.Description, c.text);
        EXPECT_EQ(a.Compare, c.compare) << c.text;
        EXPECT_EQ(a.Limit, c.limit) << c.text;
    }
    // a year before February 29 is February 28
    TCleanupSettings leap;
    leap.AgeMode = caYears;
    leap.TimeCount = 1;
    EXPECT_EQ(GetAgeLimit(leap, EncodeDate(2024, 2, 29), now).Limit, Day(2023, 2, 28));
}

TEST(CleanupAgeLimitTest, ATimeAtTheLimitIsNotOlderButSince)
{
    TAgeLimit older{"", acmOlder, 1000};
    TAgeLimit since{"", acmSince, 1000};
    EXPECT_FALSE(older.Passes(1000));
    EXPECT_TRUE(older.Passes(999));
    EXPECT_TRUE(since.Passes(1000));
    EXPECT_FALSE(since.Passes(999));
}

TEST(CleanupAgeLimitTest, SecurityCopyLimitCountsWeeksMonthsAndYears)
{
    const TDateTime today = EncodeDate(2024, 5, 31);
    EXPECT_EQ(GetSecCopyLimit({true, 2, 0}, today), Day(2024, 5, 17));
    EXPECT_EQ(GetSecCopyLimit({true, 3, 1}, today), Day(2024, 2, 29));
    EXPECT_EQ(GetSecCopyLimit({true, 1, 2}, today), Day(2023, 5, 31));
}

TEST(CleanupTypeRuleTest, TypesPassByMode)
{
    struct
    {
        int mode;
        const char* name;
        bool passes;
    } cases[] = {{1, "x.bak", true}, {2, "x.bak", false}, {1, "noext", false},   {2, "noext", true},
                 {1, "a.TMP", true}, {0, "x.bak", true},  {1, "a.tar.gz", false}};
    for (const auto& c : cases)
        EXPECT_EQ(TTypeRule(c.mode, "tmp,BAK").Passes(c.name), c.passes) << c.mode << " " << c.name;
    EXPECT_FALSE(TTypeRule(1, ".bak").Passes("x.bak")) << "an entry with a leading dot never matches";
    EXPECT_EQ(TTypeRule(1, "tmp,BAK").Description(), "of type \"tmp,BAK\"");
    EXPECT_EQ(TTypeRule(2, "tmp").Description(), "except for types \"tmp\"");
}

TEST(CleanupSecurityCopyTest, SuffixesBecomeMasks)
{
    EXPECT_EQ(SecurityCopyFileMasks(FileNaming("bak")), "*.bak*");
    EXPECT_EQ(SecurityCopyFileMasks(FileNaming("bak;old#")), "*.bak*|*.old*");
    EXPECT_EQ(SecurityCopyFileMasks(FileNaming("bak%bdate%")), "*.bak?\?\?\?-?\?-?\?*");
    TSecSettings dirsOnly = FileNaming("bak");
    dirsOnly.Selection = 1u << ssDirs;
    EXPECT_EQ(SecurityCopyFileMasks(dirsOnly), "");
    dirsOnly.DirPrefix = "~";
    EXPECT_EQ(SecurityCopyDirMask(dirsOnly), "~*");
    EXPECT_TRUE(MatchesDirMask("~2024", "~*"));
    EXPECT_FALSE(MatchesDirMask("~2024", ""));

    TTextFilter filter;
    BuildSecurityCopyFilter(filter, FileNaming("bak"), csFiles);
    EXPECT_EQ(filter.Mode(), fmExclude);
    EXPECT_FALSE(filter.MatchesFilter("report.bak.docx")) << "a security copy survives a file cleanup";
    EXPECT_TRUE(filter.MatchesFilter("report.docx"));
    BuildSecurityCopyFilter(filter, FileNaming("bak"), csSecurityCopies);
    EXPECT_EQ(filter.Mode(), fmInclude);
    BuildSecurityCopyFilter(filter, TSecSettings{}, csSecurityCopies);
    EXPECT_EQ(filter.Mode(), fmOff);
}

TEST(CleanupSecurityCopyTest, DatesAreReadOutOfNames)
{
    const int64_t limit = Day(2024, 6, 1);
    struct
    {
        const char* suffix;
        const char* name;
        bool old;
    } cases[] = {
        {"%bdate%", "report.2024-01-15.txt", true},
        {"bak%bdate%", "report.bak2024-01-15.txt", true},
        {"bak%bdate%", "report.bak2024-07-15.txt", false},
        {"bak%bdate%_%btime%", "report.bak2024-01-15_10-30-00.txt", true},
        {"bak%bdate%", "report.bak2024-13-45.txt", false},
        {"bak%bdate%", "report.bak2024-01-15x", false},
        {"bak%bdate%", "report.txt.bak2024-01-15", true},
        {"bak", "report.bak2024-01-15.txt", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsOldSecurityCopyOf(c.name, limit, FileNaming(c.suffix)), c.old)
            << c.suffix << " " << c.name;
    EXPECT_TRUE(
        IsOldSecurityCopy("x.sync2024-01-01.txt", limit, FileNaming("bak"), FileNaming("sync%bdate%")));

    EXPECT_TRUE(IsOldDatedFolder("~bak-2024-01-15", limit));
    EXPECT_FALSE(IsOldDatedFolder("~bak-2024-06-01", limit));
    EXPECT_FALSE(IsOldDatedFolder("~bak-2024-13-45", limit));
    EXPECT_FALSE(IsOldDatedFolder("~bak", limit));
}

class CleanupOriginTest : public SandboxTest
{
};

TEST_F(CleanupOriginTest, OnlyARegularFileCountsAsPresent)
{
    BuildTree(sandbox.Root(),
              {{"o/a.txt", "a"}, {"o/sub/b.txt", "b"}, {"o/dir/", ""}, TreeEntry::Link("o/l", "a.txt")});
    const std::string origin = sandbox.Path("o");
    EXPECT_FALSE(OriginFileMissing(origin, "", "a.txt")) << "an empty sub folder tests origin + name";
    EXPECT_FALSE(OriginFileMissing(origin, "sub", "b.txt"));
    EXPECT_TRUE(OriginFileMissing(origin, "sub", "a.txt"));
    EXPECT_TRUE(OriginFileMissing(origin, "", "dir")) << "a folder of that name counts as missing";
    EXPECT_TRUE(OriginFileMissing(origin, "", "l")) << "a link is not followed";
}

TEST(CleanupDriveFolderTest, DriveFoldersStandForTheRoot)
{
    EXPECT_EQ(DriveFolderOrigin("Drv", "Drv?"), "/");
    EXPECT_EQ(DriveFolderOrigin("drv", "Drv?"), "/");
    EXPECT_EQ(DriveFolderOrigin("DrvC", "Drv?"), "");
    EXPECT_EQ(OriginOfPathInDriveFolder("/backup/Drv/home/u/", "Drv?"), "/home/u/");
    EXPECT_EQ(OriginOfPathInDriveFolder("/backup/Drv/", "Drv?"), "/");
    EXPECT_EQ(OriginOfPathInDriveFolder("/backup/Drv", "Drv?"), "") << "nothing after the drive folder";
    EXPECT_EQ(OriginOfPathInDriveFolder("/backup/data/", "Drv?"), "");
}

} // namespace
