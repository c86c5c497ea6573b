#include "backup/LogSettings.h"

#include <gtest/gtest.h>

namespace {

TEST(LogSettingsTest, NamesAndCaptionsByKind)
{
    EXPECT_EQ(DefaultTaskLogName(lkVerify), "V-%taskname%.log");
    EXPECT_EQ(DefaultTaskLogName(lkRestore), "R-%taskname%.log");
    EXPECT_EQ(DefaultTaskLogName(lkCleanup), "C-%taskname%.log");
    EXPECT_EQ(DefaultTaskLogName(lkBackup), "%taskname%.log");
    EXPECT_EQ(DefaultTaskLogName(lkFtpBackup), "%taskname%.log");
    EXPECT_EQ(LogKindCaption(lkFtpBackup), "Settings for Backup log");
    EXPECT_EQ(LogKindCaption(lkCleanup), "Settings for Cleanup log");
}

TEST(LogSettingsTest, ModeKeepsOnlyTheOptionsOfItsLevel)
{
    struct Case
    {
        TLogKind kind;
        int mode;
        bool own;
        int expected;
    };
    const Case cases[] = {
        {lkBackup, 3 | 4 | 64 | 128, false, 3 | 64 | 128}, // verbose drops the warning bit
        {lkBackup, 1 | 4 | 128, false, 1 | 4},             // short drops the error summary
        {lkBackup, 0 | 4 | 64 | 128, false, 0},            // off keeps nothing
        {lkBackup, 2 | 4 | 128, false, 2 | 4 | 128},       // long backup log: skipped files
        {lkVerify, 2 | 4 | 128, false, 2 | 128},           // long log of a tool: no such option
        {lkCleanup, 1 | 4, false, 1},
        {lkBackup, 2 | 256 | 512, true, 2 | 256},
        {lkBackup, 2 | 256, false, 2},
    };
    for (const auto& c : cases)
        EXPECT_EQ(NormalizeLogMode(c.kind, c.mode, c.own), c.expected) << c.mode;
}

TEST(LogSettingsTest, TaskLogNames)
{
    EXPECT_EQ(NormalizeTaskLogName("daily", "/home/u/logs"), "daily.log");
    EXPECT_EQ(NormalizeTaskLogName("daily.LOG", "/home/u/logs"), "daily.LOG");
    EXPECT_EQ(NormalizeTaskLogName("/home/u/logs/daily.log", "/home/u/logs"), "daily.log");
    EXPECT_EQ(NormalizeTaskLogName("/home/u/other/daily.log", "/home/u/logs/"), "../other/daily.log");
    EXPECT_EQ(NormalizeTaskLogName(":Usb:/logs/x.log", "/home/u/logs"), ":Usb:/logs/x.log");
    EXPECT_EQ(NormalizeTaskLogName("%dest%/x", "/home/u/logs"), "%dest%/x.log");
}

TEST(LogSettingsTest, ErrorActionMaskCoversItsStates)
{
    EXPECT_EQ(ErrorActionCaption("Shutdown"), "No Shutdown on these errors");
    const int mask = eaTaskNotFound | eaOtherErrors; // 17
    EXPECT_EQ(mask, 17);
    for (int state : {1, 4})
        EXPECT_FALSE(ErrorAllowsActionMask(mask, state)) << state;
    for (int state : {0, 2, 3, 5, 6, 7})
        EXPECT_TRUE(ErrorAllowsActionMask(mask, state)) << state;
    for (int state = 0; state <= 7; ++state)
        EXPECT_EQ(ErrorAllowsActionMask(eaAllErrors, state), state == 0 || state == 5 || state == 7) << state;
    EXPECT_EQ(ErrorActionBit(3), eaSourceNotFound);
    EXPECT_EQ(ErrorActionBit(6), eaInvalidTask);
}

} // namespace
