#include <gtest/gtest.h>

#include "backup/TaskSettings.h"
#include "backup/TaskTestUtil.h"
#include "support/Files.h"

TEST(TaskSettingsTest, ANewTaskTakesTheProgramSettingsAndKeepsTheArchiveFileTick)
{
    const TQvSettings settings = tasktest::TestSettings();
    TTaskSettings task;
    task.cbVerify = true;
    task.cbArchFile = true;
    task.UserZipName = "Mine";
    task.CmdAltUserName = "bob";
    task.CmdAltUserPwd = "pw";
    task.EditStatus = esSaved;
    SetNewTaskDefaults(task, settings);
    EXPECT_FALSE(task.cbVerify);
    EXPECT_TRUE(task.cbArchFile);
    EXPECT_EQ(task.UserZipName, "Mine");
    EXPECT_EQ(task.ZipNameEdit, "Mine");
    EXPECT_EQ(task.UserAccount, "bob");
    EXPECT_EQ(task.UserPwd, "pw");
    EXPECT_TRUE(task.cbCompress);
    EXPECT_TRUE(task.cbZipCompress);
    EXPECT_EQ(task.TaskBufferSize, 262144);
    EXPECT_EQ(task.AktNoComp.CommaText(), "JPG,MP3,ZIP");
    EXPECT_EQ(task.TaskProtMode, 0x01);
    EXPECT_EQ(task.TaskLogName, "%taskname%.log");
    EXPECT_EQ(task.DriveId, "Drv?");
    EXPECT_EQ(task.BakSec.FileSuffix, "bak");
    EXPECT_EQ(task.BakSec.DirSuffix, "bak");
    EXPECT_EQ(task.SyncSec.DirSuffix, "");
    EXPECT_EQ(task.SyncSec.FileSuffix, "sync");
    EXPECT_TRUE(task.cbCreationTime);
    EXPECT_TRUE(task.IgnoreJunctions);
    EXPECT_EQ(task.ReplChar, '~');
    EXPECT_EQ(task.EditStatus, esNew);
}

TEST(TaskSettingsTest, BackupModeItemsSetTheArchiveBitsAndTheirReverseMappingRestoresThem)
{
    struct Case
    {
        int item;
        bool useArch, archBit, clearDest;
    };
    const Case cases[] = {{bmUpdate, false, false, false},
                          {bmFull, false, true, true},
                          {bmDifferential, true, false, true},
                          {bmIncremental, true, true, true}};
    for (const Case& c : cases) {
        TTaskSettings task;
        ApplyBackupModeItem(task, c.item);
        EXPECT_EQ(task.UseArchivCB, c.useArch) << c.item;
        EXPECT_EQ(task.ResArchivCB, c.archBit) << c.item;
        EXPECT_EQ(task.ClearDest, c.clearDest) << c.item;
        task.BuModeCB = -1;
        ShowBackupMode(task);
        EXPECT_EQ(task.BuModeCB, c.item);
    }
}

TEST(TaskSettingsTest, ShowingTheBackupModeDropsAClearDestinationWithoutArchiveBits)
{
    TTaskSettings task;
    task.ClearDest = true;
    task.SyncMode = 2;
    ShowBackupMode(task);
    EXPECT_EQ(task.BuModeCB, bmUpdate);
    EXPECT_FALSE(task.ClearDest);
    EXPECT_EQ(task.SyncMode, 2);

    task.ClearDest = true;
    task.UseArchivCB = true;
    ShowBackupMode(task);
    EXPECT_EQ(task.BuModeCB, bmDifferential);
    EXPECT_EQ(task.SyncMode, 0); // a full or partial backup does not synchronise

    TTaskSettings zip;
    zip.DestMode = 6;
    EXPECT_EQ(BackupModeIndex(zip), bmFull);
}
