#include "backup/SecurityCopyNames.h"

#include <gtest/gtest.h>

#include "rtl/Clock.h"

namespace {

class FixedClock : public Clock
{
public:
    TDateTime NowUtc() const override { return NowLocal(); }
    TDateTime NowLocal() const override { return EncodeDateTime(2024, 5, 1, 9, 8, 7, 0); }
};

class SecurityCopyNamesTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Clock::SetCurrent(&FClock);
        auto& p = ProgSettings.SecCopySettings;
        p.BakPrefix = "~";
        p.SyncPrefix = "_";
        p.BakSuffix = "bak";
        p.SyncSuffix = "sync";
    }
    void TearDown() override { Clock::SetCurrent(nullptr); }
    FixedClock FClock;
    const TDateTime FileTime = EncodeDateTime(2023, 12, 24, 18, 30, 59, 0);
};

TEST_F(SecurityCopyNamesTest, DefaultSettingsComeFromTheProgramSettings)
{
    TSecSettings sec;
    sec.Selection = 3;
    sec.DirMode = sdRootDate;
    InitBakSecSettings(sec);
    EXPECT_EQ(sec.DirMode, sdNone);
    EXPECT_EQ(sec.DirPrefix, "~");
    EXPECT_EQ(sec.DirSuffix, "bak");
    EXPECT_EQ(sec.FileSuffix, "bak");
    EXPECT_EQ(sec.MaxHist, 1);
    EXPECT_EQ(sec.MinHist, 1);
    EXPECT_EQ(sec.AgeInWeeks, 0);
    EXPECT_EQ(sec.Selection, 3);
    InitSyncSecSettings(sec);
    EXPECT_EQ(sec.DirPrefix, "_");
    EXPECT_EQ(sec.DirSuffix, "");
    EXPECT_EQ(sec.FileSuffix, "sync");
}

TEST_F(SecurityCopyNamesTest, FixedPartsMasksAndExpansion)
{
    EXPECT_EQ(GetFixedSuffixPart("bak%bdate%"), "bak");
    EXPECT_EQ(GetFixedSuffixPart("bak-#5"), "bak-");
    EXPECT_EQ(GetFixedSuffixPart("old"), "old");
    EXPECT_EQ(GetFixedSuffixPart("%fdate%"), "");
    EXPECT_EQ(SecurityCopyDateMasks("bak%BDATE%"), "bak????"
                                                   "-??"
                                                   "-??");
    EXPECT_EQ(SecurityCopyDateMasks("%fdate%_%btime%"), "????"
                                                        "-??"
                                                        "-??"
                                                        "-??"
                                                        "-??_??"
                                                        "-??"
                                                        "-??");
    EXPECT_EQ(SecurityCopyDateMasks(""), "");
    EXPECT_EQ(ExpandSecuritySuffix("v%fdate%.%BDATE%.%btime%", FileTime),
              "v2023-12-24-18-30.2024-05-01.09-08-07");
    EXPECT_EQ(ExpandSecuritySuffix("", FileTime), "bak");
    EXPECT_EQ(ExpandBackupDateSuffix("%fdate%-%bdate%"), "%fdate%-2024-05-01");
    EXPECT_TRUE(HasDatePlaceholder("x%BTime%"));
    EXPECT_FALSE(HasDatePlaceholder("x%date%"));
}

TEST_F(SecurityCopyNamesTest, RecognisingAndRemovingSuffixes)
{
    EXPECT_TRUE(HasSecurityCopySuffix("report.bak.docx", "bak", true));
    EXPECT_TRUE(HasSecurityCopySuffix("report.bakery.txt", "bak", false));
    EXPECT_FALSE(HasSecurityCopySuffix("report.docx.bak", "bak", true));
    EXPECT_TRUE(HasSecurityCopySuffix("REPORT.BAK.docx", "bak", true));
    EXPECT_FALSE(HasSecurityCopySuffix("report.bak.docx", "%fdate%", true));
    EXPECT_EQ(RemoveSecurityCopySuffix("report.bak2024-05-01.docx", "bak%bdate%"), "report.docx");
    EXPECT_EQ(RemoveSecurityCopySuffix("report.bak", "bak"), "report");
    EXPECT_EQ(RemoveSecurityCopySuffix("report.BAK-3.docx", "bak-#"), "report.docx");
    EXPECT_EQ(RemoveSecurityCopySuffix("my.report.docx", "%fdate%"), "my.report.docx");
    EXPECT_EQ(RemoveSecurityCopySuffix("report.docx", "bak"), "report.docx");
}

TEST_F(SecurityCopyNamesTest, DatesInNames)
{
    TDateTime date;
    EXPECT_TRUE(ReadDateAt("x.bak2024-02-29.txt", 6, date));
    EXPECT_EQ(date, EncodeDate(2024, 2, 29));
    EXPECT_FALSE(ReadDateAt("x.bak2024-02-30.txt", 6, date));
    EXPECT_EQ(date, 0);
    EXPECT_FALSE(ReadDateAt("x.bak2024-0x-01.txt", 6, date));
    EXPECT_FALSE(ReadDateAt("x.bak2024-02", 6, date));
    EXPECT_FALSE(ReadDateAt("abc", 0, date));
    int32_t seconds;
    EXPECT_TRUE(ParseDateInName("2024-05-01.log", 1, seconds));
    EXPECT_EQ(seconds, 1714521600);
    EXPECT_FALSE(ParseDateInName("2024-13-01", 1, seconds));
    EXPECT_EQ(seconds, 0);
}

TEST_F(SecurityCopyNamesTest, CounterSuffixOfTheTaskFile)
{
    struct Case
    {
        const char* text;
        const char* suffix;
        int maxHist, minHist, age;
    };
    const Case cases[] = {
        {"bak-#12/8/3", "bak-#", 12, 3, 8},
        {"bak-#0", "bak-#", 1, 1, 0},
        {"bak/6/", "bak", 1, 1, 6},
        {"bak/6", "bak", 1, 1, 0},
        {"bak-#5/4", "bak-#", 5, 1, 0},
        {"bak-#5/4/2", "bak-#", 5, 2, 4},
        {"bak", "bak", 1, 1, 0},
        {"bak/x/2", "bak", 1, 1, 0},
        {"bak-#5/4/", "bak-#", 5, 1, 4},
        {"bak-#5/4/z", "bak-#", 5, 1, 4},
        {"bak/3/1", "bak", 1, 1, 3},
        {"bak/4/1", "bak", 1, 1, 4},
        {"#", "#", 1, 1, 0},
        {"", "", 1, 1, 0},
        {"bak-#12", "bak-#", 12, 1, 0},
        {"bak-#", "bak-#", 1, 1, 0},
        {"bak-#123/4/2", "bak-#", 12, 1, 0}, // a third digit is the separator: "/4" is no second "/"
        {"bak-#1/4/2", "bak-#", 1, 2, 4},
        {"v#3/x/2", "v#", 3, 2, 0}, // unreadable age
        {"v#3/4/x", "v#", 3, 1, 4}, // unreadable minimum
        {"v#3-old", "v#", 3, 1, 0}, // a character below "." ends the counts
        {"v#/4/2", "v#", 1, 1, 0},  // no count: nothing after the "#" is read
        {"v#3é4/2", "v#", 3, 2, 4}, // any character above "." separates, also a non-ASCII one
        {"a/b#3/4/2", "a/b#", 3, 2, 4},
    };
    for (const auto& c : cases) {
        std::string suffix = c.text;
        int maxHist = -1, minHist = -1, age = -1;
        ParseCounterSuffix(suffix, maxHist, minHist, age);
        EXPECT_EQ(suffix, c.suffix) << c.text;
        EXPECT_EQ(maxHist, c.maxHist) << c.text;
        EXPECT_EQ(minHist, c.minHist) << c.text;
        EXPECT_EQ(age, c.age) << c.text;

        // What the reader accepts, the writer writes so that it reads back the same; the minimum
        // only counts with an age limit.
        std::string again = BuildCounterSuffix(c.suffix, c.maxHist, c.minHist, c.age);
        const std::string written = again;
        int maxAgain = -1, minAgain = -1, ageAgain = -1;
        ParseCounterSuffix(again, maxAgain, minAgain, ageAgain);
        EXPECT_EQ(again, c.suffix) << c.text << " written as " << written;
        EXPECT_EQ(maxAgain, c.maxHist) << c.text << " written as " << written;
        EXPECT_EQ(ageAgain, c.age) << c.text << " written as " << written;
        if (c.age > 0) {
            EXPECT_EQ(minAgain, c.minHist) << c.text << " written as " << written;
        }
    }
    EXPECT_EQ(BuildCounterSuffix("bak-#", 1, 1, 0), "bak-#");
    EXPECT_EQ(BuildCounterSuffix("bak", 1, 1, 3), "bak/3/1");
    EXPECT_EQ(BuildCounterSuffix("bak-#", 5, 2, 4), "bak-#5/4/2");
    EXPECT_EQ(BuildCounterSuffix("bak-#", 12, 1, 0), "bak-#12");
    EXPECT_EQ(BuildCounterSuffix("bak-#", 1, 2, 4), "bak-#1/4/2");
    std::string roundTrip = BuildCounterSuffix("bak-#", 12, 3, 8);
    int maxHist, minHist, age;
    ParseCounterSuffix(roundTrip, maxHist, minHist, age);
    EXPECT_EQ(BuildCounterSuffix(roundTrip, maxHist, minHist, age), "bak-#12/8/3");
}

TEST_F(SecurityCopyNamesTest, SynchronisationCopyNames)
{
    EXPECT_EQ(MakeSyncCopyName("report.docx", "sync", FileTime), "report.sync.docx");
    EXPECT_EQ(MakeSyncCopyName("report.docx", "+sync", FileTime), "report.docx.sync");
    EXPECT_EQ(MakeSyncCopyName("report.docx", "", FileTime), "report.docx");
    EXPECT_EQ(MakeSyncCopyName("README", "sync%fdate%", FileTime), "README.sync2023-12-24-18-30");
    EXPECT_EQ(ExpandSyncDirSuffix("%bdate%", FileTime), "-2024-05-01");
    EXPECT_EQ(ExpandSyncDirSuffix("", FileTime), "");
    EXPECT_EQ(ExpandSyncDirDateSuffix("%fdate%%btime%"), "-%fdate%09-08-07");
    EXPECT_EQ(ExpandSyncSuffix("s", FileTime), ".s");
    EXPECT_EQ(ExpandSyncSuffix("", FileTime), "");
    EXPECT_EQ(SyncSecurityCopyDateMasks(""), "sync");
    EXPECT_EQ(SyncSecurityCopyDateMasks("s%bdate%"), "s????"
                                                     "-??"
                                                     "-??");
}

TEST_F(SecurityCopyNamesTest, ExistingSynchronisationCopiesAreRecognised)
{
    struct Case
    {
        const char* name;
        const char* suffix;
        bool isZip, isGz, isEnc;
        bool notCopy;
    };
    const Case cases[] = {
        {"report.docx.sync.gz", "+sync", false, true, false, false},
        {"report.docx.sync.gz", "+sync", false, false, false, true},
        {"report.docx.sync", "+sync", false, false, false, false},
        {"report.docx.sync.zip", "+sync", true, false, false, false},
        {"report.docx.sync.enc", "+sync", false, false, true, false},
        {"report.sync.docx", "sync", false, false, false, false},
        {"report.sync", "sync", false, false, false, false},
        {"report.docx", "sync", false, false, false, true},
        {"report.sync2024-05-01.docx", "sync%bdate%", false, false, false, false},
        {"report.syncXY.docx", "sync%bdate%", false, false, false, true},
        {"REPORT.SYNC.DOCX", "sync", false, false, false, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(NotSyncSecurityCopy(c.name, c.suffix, c.isZip, c.isGz, c.isEnc), c.notCopy)
            << c.name << " / " << c.suffix;
}

} // namespace
