#include <gtest/gtest.h>

#include "mainwindow/SettingsDlg.h"

TEST(SettingsDlgTest, FactoryValuesAreThoseOfANewInstallation)
{
    TQvSettings s;
    SetDefaultSettings(s, "/home/u/Documents/Vastrel/");
    EXPECT_EQ(s.LogSettings.LogMode, 57);
    EXPECT_EQ(s.LogSettings.LogSize, 1000);
    EXPECT_EQ(s.LogSettings.MailLogPrefix, "QV");
    EXPECT_EQ(s.CopySettings.BufferSize, 4194304);
    EXPECT_EQ(s.CopySettings.FTPBufferSize, 262144);
    EXPECT_EQ(s.SecCopySettings.BakPrefix, "~");
    EXPECT_EQ(s.SecCopySettings.SyncPrefix, "_");
    EXPECT_EQ(s.SecCopySettings.BakSuffix, "bak");
    EXPECT_EQ(s.SecCopySettings.SyncSuffix, "sync");
    EXPECT_EQ(s.ViewSettings.AutoWaitTime, 5);
    EXPECT_EQ(s.StartSettings.StartupDelay, 10);
    EXPECT_EQ(s.ShutdownSettings.DownMode, dmShutdown);
    EXPECT_EQ(s.OtherSettings.MinPwdLength, 8);
    EXPECT_EQ(s.OtherSettings.DefDriveId, "Drv?");
    EXPECT_EQ(s.Directories.TaskDir, "/home/u/Documents/Vastrel/");
    EXPECT_EQ(s.ViewSettings.ComBgCol, 0xA0FFFF);
    TQvSettings german;
    SetDefaultSettings(german, "", true);
    EXPECT_EQ(german.OtherSettings.DefDriveId, "Lw?");
}
