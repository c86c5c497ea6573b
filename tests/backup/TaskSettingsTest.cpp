#include <gtest/gtest.h>

#include "backup/TaskSettings.h"
#include "backup/TaskTestUtil.h"
#include "support/Files.h"

namespace {

struct SuffixCase
{
    const char* stored;
    const char* suffix;
    int maxHist, minHist, age;
};

} // namespace

TEST(TaskSettingsTest, StoredSuffixesSplitIntoTheSuffixAndItsCounts)
{
    const SuffixCase cases[] = {
        {"bak", "bak", 1, 1, 0},
        {"bak/4/1", "bak", 1, 1, 4},
        {"bak-#5/4/2", "bak-#", 5, 2, 4},
        {"bak-#12", "bak-#", 12, 1, 0},
        {"bak-#", "bak-#", 1, 1, 0},
        {"v#3/x/2", "v#", 3, 2, 0}, // unreadable age keeps its default
        {"v#3/4/x", "v#", 3, 1, 4}, // unreadable minimum keeps 1
        {"v#3-old", "v#", 3, 1, 0}, // a character below '.' ends the counts
        {"", "", 1, 1, 0},
    };
    for (const SuffixCase& c : cases) {
        std::string suffix = c.stored;
        int maxHist = -1, minHist = -1, age = -1;
        ParseSecSuffix(suffix, maxHist, minHist, age);
        EXPECT_EQ(suffix, c.suffix) << c.stored;
        EXPECT_EQ(maxHist, c.maxHist) << c.stored;
        EXPECT_EQ(minHist, c.minHist) << c.stored;
        EXPECT_EQ(age, c.age) << c.stored;
    }
}

TEST(TaskSettingsTest, SuffixesWithCountsAreWrittenSoThatTheyReadBack)
{
    EXPECT_EQ(FormatSecSuffix("bak", 1, 1, 0), "bak");
    EXPECT_EQ(FormatSecSuffix("bak", 1, 1, 4), "bak/4/1");
    EXPECT_EQ(FormatSecSuffix("bak-#", 5, 2, 4), "bak-#5/4/2");
    EXPECT_EQ(FormatSecSuffix("bak-#", 12, 1, 0), "bak-#12");
}

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
