#include "foundation/QvUtilsTexts.h"

#include <fstream>

#include <gtest/gtest.h>

#include "foundation/BuConsts.h"
#include "foundation/IniFileUtils.h"
#include "support/Sandbox.h"

#include "foundation/InitProg.h"
#include "foundation/TextFilter.h"

namespace {

TEST(QvUtilsTextsTest, OptionsAreQuotedWhenTheyHoldBlanks)
{
    EXPECT_EQ(CmdSwitch("force"), " /force");
    EXPECT_EQ(CmdOption("ini", "/home/u/My Files/a.ini"), " \"/ini:/home/u/My Files/a.ini\"");
    EXPECT_EQ(CmdOption("ini", "/home/u/a.ini"), " /ini:/home/u/a.ini");
    EXPECT_EQ(CmdOption("prompt", "say \"hi\""), " \"/prompt:say \"\"hi\"\"\"");
    EXPECT_EQ(CmdOptionInt("xinst", -3), " /xinst:-3");
}

TEST(QvUtilsTextsTest, ErrorStateTexts)
{
    EXPECT_EQ(GetErrorStateText(0), "");
    EXPECT_EQ(GetErrorStateText(1), "Task not found!");
    EXPECT_EQ(GetErrorStateText(5), "The backup was aborted by the user or due to an error!");
    EXPECT_EQ(GetErrorStateText(6), "Invalid task configuration!");
    EXPECT_EQ(GetErrorStateText(7), "Unexpected error!");
    EXPECT_EQ(GetErrorStateText(-1), "Unexpected error!");
    EXPECT_EQ(DirErrorFormat(3), "Directory \"%s\" not found!");
    EXPECT_EQ(DirErrorFormat(5), "Error accessing directory: \"%s\"");
}

TEST(QvUtilsTextsTest, LogModeTexts)
{
    struct Case
    {
        uint8_t flags;
        const char* text;
    };
    const Case cases[] = {{0x00, "Off"},       {0xC4, "Off"},          {0xC6, "Long (SEP)"},
                          {0x05, "Short (W)"}, {0xC7, "Verbose (EP)"}, {0x02, "Long"},
                          {0x41, "Short (P)"}, {0x81, "Short (E)"},    {0x07, "Verbose"}};
    for (const auto& c : cases)
        EXPECT_EQ(GetLogModeText(c.flags), c.text) << int(c.flags);
}

TEST(QvUtilsTextsTest, CopyActionTexts)
{
    EXPECT_EQ(GetCopyActionText(false, false, false), "Copying of \"%s\" (%s) to \"%s\"");
    EXPECT_EQ(GetCopyActionText(false, true, true), "Compressing and encrypting of \"%s\" (%s) to \"%s\"");
    EXPECT_EQ(GetCopyActionText(true, true, true), "Uncompressing and decrypting of \"%s\" (%s) to \"%s\"");
    EXPECT_EQ(GetCopyActionText(true, false, true), "Decrypting of \"%s\" (%s) to \"%s\"");
    EXPECT_EQ(GetCopyActionText(false, false, true), "Encrypting of \"%s\" (%s) to \"%s\"");
}

TEST(QvUtilsTextsTest, FilterDescriptions)
{
    TTextFilter filter(true, true);
    EXPECT_EQ(FilterDescription(filter), "All files");
    filter.SetFilter("*.txt");
    filter.SetMode(fmInclude);
    EXPECT_EQ(FilterDescription(filter), "only *.txt");
    filter.SetMode(fmExclude);
    filter.SetRegular(true);
    filter.SetFilter("\\.tmp$");
    EXPECT_EQ(FilterDescription(filter), "RE: all except \\.tmp$");
}

TEST(QvUtilsTextsTest, SmallTexts)
{
    EXPECT_EQ(GetAutoAesStrength(""), 0);
    EXPECT_EQ(GetAutoAesStrength("123456789012345"), 1);
    EXPECT_EQ(GetAutoAesStrength("1234567890123456"), 3);
    EXPECT_EQ(GetAutoAesStrength("ääääääääääääääää"), 3); // characters, not bytes
    EXPECT_EQ(GetAutoAesStrength("äääääääää"), 1);
    EXPECT_EQ(LogIndent(3), "     -> ");
    EXPECT_EQ(LogIndent(1), "      ");
    EXPECT_EQ(ExtToFileTypeEntry(""), "<ohne>");
    EXPECT_EQ(ExtToFileTypeEntry("."), "<ohne>");
    EXPECT_EQ(ExtToFileTypeEntry(".zip"), "zip");
    EXPECT_EQ(ExtToFileTypeEntry("gz"), "gz");
    EXPECT_EQ(OrdinalText(0), "no ");
    EXPECT_EQ(OrdinalText(1), "1st ");
    EXPECT_EQ(OrdinalText(2), "2nd ");
    EXPECT_EQ(OrdinalText(3), "3rd ");
    EXPECT_EQ(OrdinalText(11), "11th ");
    EXPECT_EQ(OrdinalText(21), "21th ");
    EXPECT_EQ(GetBitnessText(), " - 64-bit");
}

TEST(QvUtilsTextsTest, CountsWithThousandSeparatorsAboveNineThousandNineHundredNinetyNine)
{
    EXPECT_EQ(FileCountText(0, false), "No files");
    EXPECT_EQ(FileCountText(1, true), " (1 file)");
    EXPECT_EQ(FileCountText(9999, false), "9999 files");
    EXPECT_EQ(FileCountText(12345, false), "12,345 files");
}

TEST(QvUtilsTextsTest, DatesAndWeekdays)
{
    EXPECT_EQ(TimeStampToStr(EncodeDateTime(2024, 5, 1, 13, 4, 5, 0)), "2024-05-01 13:04:05");
    EXPECT_EQ(TimeStampToStr(0.5), "Invalid timestamp");
    EXPECT_EQ(TimeStampToStr(219148), "Invalid timestamp");
    EXPECT_EQ(TimeStampToStr(219147.5), "2499-12-31 12:00:00");
    EXPECT_EQ(DateToIniComment(EncodeDate(2024, 5, 1)), " ; 2024-05-01");
    EXPECT_EQ(DateToIniComment(0), "");
    TFormatSettings saved = FormatSettings();
    FormatSettings().ShortDayNames = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    EXPECT_EQ(WeekdaysToStr(0x41), "Mon,Sun");
    EXPECT_EQ(WeekdaysToStr(127), "Mon,Tue,Wed,Thu,Fri,Sat,Sun");
    EXPECT_EQ(WeekdaysToStr(0), "");
    FormatSettings() = saved;
}

TEST(QvUtilsTextsTest, CaptionNamesTheFileWithoutFolder)
{
    ProgInternalName = "Vastrel";
    EXPECT_EQ(MakeCaption("Edit", "/home/u/Tasks/daily.buj"), "Vastrel - Edit [daily.buj]");
    EXPECT_EQ(MakeCaption("", ""), "Vastrel");
    EXPECT_EQ(GetProgNameVersion(0), "Vastrel - 64-bit");
}

} // namespace

namespace {

class QvUtilsTextsFileTest : public SandboxTest
{
};

TEST_F(QvUtilsTextsFileTest, BackupModeTextComesFromTheTaskFile)
{
    struct Case
    {
        const char* global;
        const char* expected;
    };
    const Case cases[] = {
        {"", "Backup mode: Update"},
        {"ClearDest=1\r\n", "Backup mode: Update"},
        {"ClearDest=1\r\nArchBit=1\r\n", "Backup mode: Full (new)"},
        {"ClearDest=1\r\nUseArch=1\r\n", "Backup mode: Differential"},
        {"ClearDest=1\r\nArchBit=1\r\nUseArch=1\r\nSyncMode=2\r\n", "Backup mode: Incremental"},
        {"SyncMode=1\r\n", "Update/Synchronize - All files"},
        {"SyncMode=2\r\n", "Update/Synchronize - Selected files, retain other"},
        {"SyncMode=3\r\n", "Update/Synchronize - Selected files, delete other"},
        {"SyncMode=9\r\n", "Update/Synchronize - Off"},
    };
    std::string file = sandbox.Path("task.buj");
    for (const auto& c : cases) {
        std::ofstream(file, std::ios::binary | std::ios::trunc) << "[Global]\r\n" << c.global;
        auto ini = TUnicodeIniFile::CreateForRead(file);
        EXPECT_EQ(GetBackupModeText(ini), c.expected) << c.global;
    }
}

TEST(QvUtilsTextsSizeTest, DestinationModesAndSizes)
{
    ProgSettings.LogSettings.DecimalSizes = false;
    EXPECT_EQ(GetDestModeText(0, 0), "Separate files - Separate directories for drives");
    EXPECT_EQ(GetDestModeText(2, 5000), "Separate files - One directory without full path");
    EXPECT_EQ(GetDestModeText(4, 0), "Zip archive(s) - All files into one zip archive");
    EXPECT_EQ(GetDestModeText(7, 2147483648LL), "Zip archive(s) - Separated by subdirectory (<= 2 GiB)");
    EXPECT_EQ(GetDestModeText(9, 0), "Zip archive(s)");
    EXPECT_EQ(FormatSize(true, 1610612736), "1.50 GiB");
    ProgSettings.LogSettings.DecimalSizes = true;
    EXPECT_EQ(FormatSize(true, 2000000000), "2 GB");
    ProgSettings.LogSettings.DecimalSizes = false;
    EXPECT_EQ(CopyProgressText(3, 10, 1024, 4096), "3 of 10 files copied (1 KiB of 4 KiB)");
    EXPECT_EQ(CopyProgressText(12000, 20000, 0, 1023), "12,000 of 20,000 files copied (0 B of 1023 B)");
}

TEST(QvUtilsTextsSizeTest, DisplayDatesAndAboutTexts)
{
    DateDisplayFormat = "yyyy-mm-dd";
    TimeDisplayFormat = "hh:nn";
    EXPECT_EQ(DateTimeToDisplayStr(EncodeDateTime(2024, 5, 1, 13, 4, 5, 0)), "2024-05-01 13:04");
    EXPECT_EQ(DateTimeToDisplayStr(EncodeDate(1999, 12, 31)), "");
    CurrentUser = "anna";
    EXPECT_EQ(UserNameText(), "User name: anna");
    YearText = "2002-2026 ";
    EXPECT_EQ(GetAboutNoticeText().rfind("\u00A9 2002-2026  ", 0), 0u);
    EXPECT_EQ(GetAboutAddress().rfind(GetAboutNoticeText() + "\r\n", 0), 0u);
}

} // namespace
