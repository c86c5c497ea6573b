#include <gtest/gtest.h>

#include "backup/OptionRules.h"

namespace {

// Every option that a rule may clear, ticked.
TTaskSettings AllTicked(int destMode, bool ftp, TFileSystem target)
{
    TTaskSettings task;
    task.DestMode = destMode;
    task.BuFtp = ftp;
    task.TargetType = target;
    task.cbCopySummary = true;
    task.cbAltStreams = true;
    task.cbCopyPerms = true;
    task.cbCreationTime = true;
    task.KeepBakCB = true;
    task.KeepSyncCB = false;
    task.cbSyncRecycle = true;
    task.SyncMode = 1;
    task.cbZipCompress = true;
    task.cbCompress = false;
    task.UseVss = true;
    return task;
}

struct RuleCase
{
    int destMode;
    bool ftp;
    TFileSystem target;
    // expected after the refresh
    bool altStreams, copyPerms, creationTime, keepBak, syncRecycle, zipCompress;
    int buMode;
};

} // namespace

TEST(OptionRulesTest, ALoadedTaskIsNormalisedByMethodAndDestination)
{
    const RuleCase cases[] = {
        // folder methods on a local Linux file system keep what applies
        {1, false, fsExt4, true, true, true, true, true, true, bmUpdate},
        {0, false, fsNtfs, true, true, true, true, true, true, bmUpdate},
        // FAT keeps neither streams, rights nor a trash
        {1, false, fsFat, false, false, true, true, false, true, bmUpdate},
        // an unreachable destination leaves the trash tick alone
        {1, false, fsNotAvail, false, false, true, true, true, true, bmUpdate},
        // a network share keeps the rights
        {3, false, fsRemote, false, true, true, true, false, true, bmUpdate},
        // FTP: no local extras, no trash, security copies stay for folder methods
        {1, true, fsNotAvail, false, false, false, true, true, true, bmUpdate},
        // one zip archive without split volumes keeps its security copies
        {4, false, fsExt4, false, false, false, true, true, false, bmFull},
        // other zip methods lose them
        {6, false, fsExt4, false, false, false, false, true, false, bmFull},
        {4, true, fsNotAvail, false, false, false, false, true, false, bmFull},
    };
    for (const RuleCase& c : cases) {
        TTaskSettings task = AllTicked(c.destMode, c.ftp, c.target);
        const TOptionStates states = NormaliseTask(task, TOptionFacts{});
        const std::string where = "method " + std::to_string(c.destMode) + (c.ftp ? " ftp " : " ") +
                                  std::to_string(static_cast<int>(c.target));
        EXPECT_EQ(task.cbCopySummary, c.target == fsNtfs && !c.ftp && c.destMode < 4) << where;
        EXPECT_EQ(task.cbAltStreams, c.altStreams) << where;
        EXPECT_EQ(task.cbCopyPerms, c.copyPerms) << where;
        EXPECT_EQ(task.cbCreationTime, c.creationTime) << where;
        EXPECT_EQ(task.KeepBakCB, c.keepBak) << where;
        EXPECT_EQ(task.cbSyncRecycle, c.syncRecycle) << where;
        EXPECT_EQ(task.cbZipCompress, c.zipCompress) << where;
        EXPECT_EQ(task.BuModeCB, c.buMode) << where;
        EXPECT_EQ(states.DriveIdVisible, c.destMode == 0 || c.destMode == 6) << where;
        EXPECT_FALSE(task.cbUseVss) << where; // no snapshot provider
    }
}

TEST(OptionRulesTest, SecurityCopiesOfOneZipArchiveNeedAnUnsplitLocalArchive)
{
    TTaskSettings task = AllTicked(4, false, fsExt4);
    task.MaxZipSize = 1000000;
    NormaliseTask(task, TOptionFacts{});
    EXPECT_FALSE(task.KeepBakCB);
}

TEST(OptionRulesTest, EncryptingAZipBackupAlwaysCompresses)
{
    TTaskSettings task;
    task.DestMode = 4;
    task.cbEncrypt = true;
    task.cbCompress = false;
    const TOptionStates states = NormaliseTask(task, TOptionFacts{});
    EXPECT_TRUE(task.cbCompress);
    EXPECT_FALSE(states.CompressEnabled);
}

TEST(OptionRulesTest, ShadowCopiesDisableDeletingTheSources)
{
    TTaskSettings task;
    task.UseVss = true;
    task.cbSourceDelete = true;
    TOptionFacts facts;
    facts.SourceType = fsNtfs;
    facts.VssAvailable = true;
    facts.IsAdmin = true;
    TOptionStates states = NormaliseTask(task, facts);
    EXPECT_TRUE(task.cbUseVss);
    // the refresh of the load runs before the tick is restored, so the next refresh clears it
    UpdateOptionStates(task, facts, states);
    EXPECT_FALSE(task.cbSourceDelete);
    EXPECT_FALSE(states.SourceDeleteEnabled);
}

TEST(OptionRulesTest, TheRootDirectoryZipMethodKeepsTheTypedNameForTheOtherMethods)
{
    TTaskSettings task;
    task.DestMode = 5;
    task.ZipNameEdit = "Mine-%date%";
    TOptionStates states;
    UpdateMethodPage(task, TOptionFacts{}, states);
    EXPECT_EQ(task.ZipNameEdit, "<root directory>");
    EXPECT_EQ(task.UserZipName, "Mine-%date%");
    task.DestMode = 6;
    UpdateMethodPage(task, TOptionFacts{}, states);
    EXPECT_EQ(task.ZipNameEdit, "Mine-%date%");
}

TEST(OptionRulesTest, ChangingTheMethodSwitchesOffWhatTheNewMethodCannotDo)
{
    TTaskSettings task;
    task.DestMode = 2;
    task.SyncMode = 3;
    task.FollowJunctions = true;
    TOptionFacts facts;
    facts.DirCount = 2;
    TOptionStates states;
    ApplyBackupMethod(task, facts, states);
    EXPECT_EQ(task.SyncMode, 0);
    EXPECT_FALSE(states.BuModeEnabled);
    EXPECT_FALSE(task.FollowJunctions);
    EXPECT_EQ(task.EditStatus, esChanged);

    TTaskSettings bad;
    bad.DestMode = 7;
    facts.MethodCheckOk = false;
    ApplyBackupMethod(bad, facts, states);
    EXPECT_EQ(bad.DestMode, 6);
}

TEST(OptionRulesTest, ASplitSizeBelowTheSmallestSegmentIsNamedAndNeverChanged)
{
    struct Case
    {
        int destMode;
        int64_t size;
        bool usable;
    } cases[] = {
        // zip methods: one archive, or volumes of at least 64 KiB
        {4, 0, true},
        {4, 65536, true},
        {5, int64_t(4) << 30, true},
        {4, 65535, false},
        {5, 5, false},
        {6, 1, false},
        {7, 65535, false},
        {4, -1, false},
        // the folder methods split nothing
        {0, 5, true},
        {3, 65535, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.destMode) + " " + std::to_string(c.size));
        const std::string problem = ZipSplitSizeProblem(c.destMode, c.size);
        EXPECT_EQ(problem.empty(), c.usable) << problem;
        if (!c.usable) {
            EXPECT_NE(problem.find(std::to_string(c.size) + " bytes"), std::string::npos) << problem;
        }
        // No rule of the editor or the loader moves the size into range behind the user's back.
        TTaskSettings task;
        task.DestMode = c.destMode;
        task.MaxZipSize = c.size;
        TOptionFacts facts;
        facts.DirCount = 1;
        NormaliseTask(task, facts);
        TOptionStates states;
        ApplyBackupMethod(task, facts, states);
        EXPECT_EQ(task.MaxZipSize, c.size);
    }
}
