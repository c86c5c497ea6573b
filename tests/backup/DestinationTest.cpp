#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "RunTestUtil.h"
#include "backup/BackupRun.h"
#include "backup/Destination.h"
#include "backup/TimestampFile.h"
#include "foundation/QvUtilsAutoTask.h"
#include "platform/MountTable.h"
#include "platform/NetShares.h"
#include "support/Files.h"
#include "support/PlatformFakes.h"

namespace {

namespace fs = std::filesystem;

std::string Strip(std::string path)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

TEST(AlternatingFolderTest, FoldersAndCycleTextsFollowTheSchedule)
{
    struct Case
    {
        int stepMode, numZyk, aktZyk;
        TSchedMode mode;
        int modeIndex;
        const char* folder;
        const char* cycle;
    } cases[] = {
        {1, 14, 9, smIncr, 3, "BD09I", " (2. Tuesday)"},  {1, 7, 3, smDiff, 1, "BD03F", " (Wednesday)"},
        {1, 7, 7, smNormal, -1, "BD07", " (Sunday)"},     {1, 10, 3, smDiff, 2, "BD03D", " (day 3)"},
        {1, 120, 105, smDiff, 2, "BD105D", " (day 105)"}, {2, 120, 7, smNormal, -1, "BW007", " (week 7)"},
        {2, 52, 12, smIncr2, 3, "BW12I", " (week 12)"},
    };
    for (const auto& c : cases) {
        TSchedule s;
        s.StepMode = c.stepMode;
        s.NumZyk = c.numZyk;
        s.AktZyk = c.aktZyk;
        s.SchedMode = c.mode;
        EXPECT_EQ(AlternatingFolderName(s, c.modeIndex), c.folder);
        EXPECT_EQ(AlternatingCycleText(s), c.cycle) << c.folder;
    }
}

TEST(SourceFolderDestinationTest, EachMethodNamesItsFolder)
{
    TSourceLocation local{"/home/ann/Docs/", "", "home/ann/Docs/", false};
    TSourceLocation share{"/run/gvfs/x/Pub/", "//nas/data", "Pub/", false};
    TSourceLocation volume{"/media/ann/BACKUP1/Data/", "BACKUP1", "Data/", true};
    TSourceLocation root{"/", "", "", false};
    struct Case
    {
        int method;
        const TSourceLocation* location;
        const char* dest;
    } cases[] = {
        {0, &local, "/b/Drv/home/ann/Docs"},
        {6, &share, "/b/nas/data/Pub"},
        {0, &volume, "/b/BACKUP1/Data"},
        {1, &local, "/b/home/ann/Docs"},
        {7, &root, "/b"},
        {2, &local, "/b"},
        {3, &local, "/b/Docs"},
        {3, &root, "/b"},
        {4, &share, "/b"},
        {5, &volume, "/b"},
        {1, &volume, "/b/Data"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SourceFolderDestination(c.method, "Drv?", "/b/", *c.location), c.dest)
            << c.method << " " << c.location->Src;
}

class DestinationTest : public runtest::RunFrameTest
{
protected:
    void SetUp() override
    {
        RunFrameTest::SetUp();
        root = Strip(sandbox.Path(""));
        volumes.Volumes = {
            {root, "/dev/sda2", "ext4", "SYSTEM", "", 1000000, 5000000, false, false, true},
            {sandbox.Path("media/u/BACKUP1"), "/dev/sdb1", "exfat", "BACKUP1", "", 2048, 4096, true, true,
             true},
        };
        for (const char* d : {"src", "media/u/BACKUP1", "media/u/STICK", "shares", "tasks"})
            fs::create_directories(sandbox.Path(d));
        shares.MountBase = sandbox.Path("shares");
        expectations.RemovableRoots = {sandbox.Path("media")};
        expectations.FstabFile = sandbox.Path("fstab");
        std::ofstream(expectations.FstabFile)
            << "# the test machine\nUUID=1234 / ext4 defaults 0 1\n/dev/sdc1 " << sandbox.Path("backupdisk")
            << " ext4 noauto 0 2\n/swapfile none swap sw 0 0\n";
        VolumeProvider::SetCurrent(&volumes);
        ShareConnector::SetCurrent(&shares);
        SetMountExpectations(&expectations);
        engine.BackupDirectory = [this](TExtensionList&, const std::string& srcDir,
                                        const std::string& destDir, bool, TFolderCounters& c) {
            seenSrc.push_back(srcDir);
            seenDest.push_back(destDir);
            c.FileCount += 1;
            c.CopyCount += 1;
        };
    }
    void TearDown() override
    {
        SetMountExpectations(nullptr);
        VolumeProvider::SetCurrent(nullptr);
        ShareConnector::SetCurrent(nullptr);
        RunFrameTest::TearDown();
    }
    std::string Task(const std::string& dest, const std::string& extra = "",
                     const std::string& sourceLines = std::string())
    {
        std::string path = sandbox.Path("tasks/t.buj");
        std::ofstream(path) << "[Global]\nDestination=" << dest << "\nDirCount=1\nDriveId=Drv?\n"
                            << extra << "\n[Dir000]\n"
                            << (sourceLines.empty() ? "Source=" + sandbox.Path("src") : sourceLines) << "\n";
        return path;
    }
    std::string Log() const { return ReadFileBytes(host.DefaultLog); }

    std::string root;
    FakeVolumeProvider volumes;
    FakeShareConnector shares;
    TMountExpectations expectations;
    TRecordingProgress progress;
    TRunControl control;
    TBackupEngine engine{host, interaction, progress, control, log};
    std::vector<std::string> seenSrc, seenDest;
};

TEST_F(DestinationTest, LocalDestinationIsCreatedAndDescribed)
{
    const std::string dest = sandbox.Path("dest/nested/deeper");
    EXPECT_EQ(engine.DoBackupJob(0, iaDelay, 3, Task(dest, "LogFile=2")), brOK);
    EXPECT_EQ(host.FExitState, 0);
    EXPECT_TRUE(fs::is_directory(dest));
    EXPECT_EQ(engine.BaseDir, dest);
    ASSERT_EQ(seenDest.size(), 1u);
    EXPECT_EQ(seenDest[0], dest + "/Drv" + sandbox.Path("src"));
    const std::string text = Log();
    EXPECT_NE(text.find("  Creating directory: \"" + dest + "\"\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("  Destination volume: SYSTEM - 977 KiB free of 4.77 MiB\r\n"), std::string::npos)
        << text;
    EXPECT_NE(text.find("  File system: ext4\r\n  User name: tester\r\n"), std::string::npos) << text;
    // The write test leaves nothing behind.
    for (const auto& e : fs::recursive_directory_iterator(sandbox.Path("dest")))
        EXPECT_EQ(e.path().extension(), "") << e.path();
}

TEST_F(DestinationTest, FailedWriteTestIsAFailedRunWithExitStateTwo)
{
    // Method 1 tests the folder that receives the first source folder: a file is in its way.
    const std::string dest = sandbox.Path("dest");
    fs::create_directories(dest);
    const std::string firstLevel = sandbox.Path("src").substr(1, sandbox.Path("src").find('/', 1) - 1);
    std::ofstream(dest + "/" + firstLevel) << "in the way";
    engine.DoBackupJob(0, iaDelay, 3, Task(dest, "DestMode=1"));
    EXPECT_EQ(host.FExitState, 2);
    EXPECT_TRUE(seenDest.empty());
    const std::string text = Log();
    EXPECT_NE(text.find("  *** Could not write to path \"" + dest +
                        "\"!\r\n"
                        "  *** Directory \"" +
                        dest + "\" not available for backup!\r\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("  Status: Directory \"" + dest + "\" not available for backup! - "),
              std::string::npos)
        << text;
    ASSERT_FALSE(progress.Calls.empty());
    EXPECT_EQ(progress.Calls.back().rfind("ShowStatus psError|Backup completed|Directory \"" + dest, 0), 0u)
        << progress.Calls.back();
    EXPECT_EQ(EventLines(), std::vector<std::string>{});
}

TEST_F(DestinationTest, VolumeNamesResolveThroughTheMountedVolumes)
{
    EXPECT_EQ(engine.DoBackupJob(0, iaDelay, 3, Task(":backup1:/Data", "DestMode=2")), brOK);
    EXPECT_EQ(engine.BaseDir, sandbox.Path("media/u/BACKUP1/Data"));
    EXPECT_TRUE(fs::is_directory(sandbox.Path("media/u/BACKUP1/Data")));
    EXPECT_NE(Log().find("  Destination volume: BACKUP1 - 2 KiB free of 4 KiB\r\n"), std::string::npos)
        << Log();

    // A label that no volume has: exit state 2 without a message of its own, and nothing written.
    fs::remove(host.DefaultLog);
    host.FExitState = 0;
    seenDest.clear();
    engine.DoBackupJob(0, iaDelay, 3, Task(":NOPE:/Data", "DestMode=2"));
    EXPECT_EQ(host.FExitState, 2);
    EXPECT_TRUE(seenDest.empty());
    const std::string text = Log();
    EXPECT_EQ(text.find("Destination volume"), std::string::npos) << text;
    EXPECT_NE(text.find("\r\n  *** Directory \":NOPE:/Data\" not available for backup!\r\n"),
              std::string::npos)
        << text;
    EXPECT_EQ(text.find("not ready"), std::string::npos) << text;
    EXPECT_EQ(text.find("Could not write"), std::string::npos) << text;
}

TEST_F(DestinationTest, UnmountedDestinationIsADriveThatIsNotReady)
{
    struct Case
    {
        std::string dest, drive;
    } cases[] = {
        // An empty mount point of removable media, and one whose folder is gone as well.
        {sandbox.Path("media/u/STICK/backup"), sandbox.Path("media/u/STICK")},
        {sandbox.Path("media/u/GONE/backup"), sandbox.Path("media/u")},
        // A mount point of the fstab file that nothing is mounted on.
        {sandbox.Path("backupdisk/daily"), sandbox.Path("backupdisk")},
    };
    for (const auto& c : cases) {
        fs::remove(host.DefaultLog);
        host.FExitState = 0;
        engine.DoBackupJob(0, iaDelay, 3, Task(c.dest));
        EXPECT_EQ(host.FExitState, 2) << c.dest;
        EXPECT_FALSE(fs::exists(c.dest)) << c.dest;
        const std::string text = Log();
        EXPECT_NE(text.find("  *** Drive \"" + c.drive + "\" not ready!\r\n  *** Directory \"" + c.dest +
                            "\" not available for backup!\r\n"),
                  std::string::npos)
            << text;
    }
    EXPECT_TRUE(seenDest.empty());
    EXPECT_TRUE(interaction.Calls.empty());

    // With media prompts the user is asked to insert the medium; declining ends the run the same way.
    fs::remove(host.DefaultLog);
    host.FExitState = 0;
    interaction.ConfirmAnswer = false;
    engine.DoBackupJob(0, iaPrompt, 3, Task(cases[0].dest));
    EXPECT_EQ(host.FExitState, 2);
    ASSERT_FALSE(interaction.Calls.empty());
    EXPECT_EQ(interaction.Calls[0],
              "Confirm Drive \"" + cases[0].drive + "\" not ready!\r\nPlease insert medium!");

    // Once a volume is mounted there, the same destination is used.
    volumes.Volumes.push_back(
        {sandbox.Path("media/u/STICK"), "/dev/sdd1", "vfat", "STICK", "", 10, 20, true, true, true});
    host.FExitState = 0;
    EXPECT_EQ(engine.DoBackupJob(0, iaDelay, 3, Task(cases[0].dest)), brOK);
    EXPECT_EQ(host.FExitState, 0);
    EXPECT_TRUE(fs::is_directory(cases[0].dest));
}

TEST_F(DestinationTest, BackupDirFromTheCommandLineExtendsOrReplacesTheDestination)
{
    const std::string dest = sandbox.Path("dest");
    engine.BuDir = "weekly/run";
    EXPECT_EQ(engine.DoBackupJob(0, iaDelay, 3, Task(dest, "DestMode=2")), brOK);
    EXPECT_EQ(engine.BaseDir, dest + "/weekly/run");
    EXPECT_EQ(seenDest.back(), dest + "/weekly/run");
    engine.BuDir = sandbox.Path("elsewhere");
    EXPECT_EQ(engine.DoBackupJob(0, iaDelay, 3, Task(dest, "DestMode=2")), brOK);
    EXPECT_EQ(engine.BaseDir, sandbox.Path("elsewhere"));
    EXPECT_EQ(seenDest.back(), sandbox.Path("elsewhere"));
}

TEST_F(DestinationTest, AlternatingScheduleGetsItsFolderCycleTextAndTimestamp)
{
    TAutoTask& slot = *host.Slots[0];
    slot.TaskName = "Daily";
    slot.SchedProps.StepMode = 1;
    slot.SchedProps.NumZyk = 14;
    slot.SchedProps.AktZyk = 9;
    slot.SchedProps.SchedMode = smIncr;
    const std::string dest = sandbox.Path("dest");
    EXPECT_EQ(engine.DoBackupJob(1, iaDelay, 3, Task(dest, "DestMode=2")), brOK);
    EXPECT_EQ(engine.BaseDir, dest + "/BD09I");
    EXPECT_EQ(engine.CycleText, " (2. Tuesday)");
    EXPECT_NE(std::find(progress.Calls.begin(), progress.Calls.end(),
                        "Destination " + dest + "/BD09I (2. Tuesday)"),
              progress.Calls.end());
    // An incremental cycle clears its folder and keeps the start of the run in it.
    EXPECT_TRUE(engine.Task.ClearDest);
    EXPECT_TRUE(engine.Task.UseArchivCB);
    EXPECT_TRUE(engine.Task.ResArchivCB);
    EXPECT_DOUBLE_EQ(ReadTimestampFile(dest + "/BD09I"), engine.StartTime);
}

TEST_F(DestinationTest, NetworkShareConnectsWithTheTaskAccount)
{
    const std::string task = Task("//nas/backup/daily", "DestMode=2\n[User]\nUsername=bob");
    interaction.Password = "typed";
    EXPECT_EQ(engine.DoBackupJob(0, iaPrompt, 3, task), brOK);
    ASSERT_FALSE(interaction.Calls.empty());
    EXPECT_NE(interaction.Calls[0].find(
                  "Network connection to \"//nas/backup/daily\" for user \"bob\" requires a password!"),
              std::string::npos)
        << interaction.Calls[0];
    ASSERT_GE(shares.Calls.size(), 2u);
    EXPECT_EQ(shares.Calls[0].Op, "connect");
    EXPECT_EQ(shares.Calls[0].User, "bob");
    EXPECT_EQ(shares.Calls[0].Password, "typed");
    EXPECT_EQ(engine.BaseDir, sandbox.Path("shares/nas/backup/daily"));
    EXPECT_TRUE(fs::is_directory(sandbox.Path("shares/nas/backup/daily")));
    const std::string text = Log();
    EXPECT_NE(text.find("  Destination volume: //nas/backup - "), std::string::npos) << text;
    EXPECT_NE(text.find("  ==> Connected as \"bob\"\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("  ==> Connection as \"bob\" to \"//nas/backup\" was terminated\r\n"),
              std::string::npos)
        << text;
    EXPECT_EQ(shares.Calls.back().Op, "disconnect");

    // Without a user present nobody is asked: the empty password is used; a refused logon fails.
    interaction.Calls.clear();
    shares.Calls.clear();
    shares.ConnectResults = {1326};
    fs::remove(host.DefaultLog);
    engine.DoBackupJob(0, iaDelay, 3, task);
    EXPECT_TRUE(interaction.Calls.empty());
    ASSERT_FALSE(shares.Calls.empty());
    EXPECT_EQ(shares.Calls[0].Password, "");
    EXPECT_EQ(host.FExitState, 2);
    EXPECT_NE(Log().find("  *** Error connecting to network resource: "), std::string::npos) << Log();
}

TEST_F(DestinationTest, SourceFoldersResolveByVolumeLabelAndMissingMediaAreNotFound)
{
    // Recorded while the stick was mounted elsewhere; method 0 names the per-drive folder after the label.
    fs::create_directories(sandbox.Path("media/u/BACKUP1/Photos"));
    const std::string dest = sandbox.Path("dest");
    EXPECT_EQ(
        engine.DoBackupJob(0, iaDelay, 3, Task(dest, "", "Source=/media/old/BACKUP1/Photos\nVolume=BACKUP1")),
        brOK);
    ASSERT_EQ(seenSrc.size(), 1u);
    EXPECT_EQ(seenSrc[0], sandbox.Path("media/u/BACKUP1/Photos/"));
    EXPECT_EQ(seenDest[0], dest + "/BACKUP1/Photos");

    // A labelled volume that is not there: the folder is missing, nobody is asked in a batch run.
    seenSrc.clear();
    fs::remove(host.DefaultLog);
    engine.DoBackupJob(0, iaDelay, 3, Task(dest, "", "Source=/media/old/OTHER/Photos\nVolume=OTHER"));
    EXPECT_TRUE(seenSrc.empty());
    EXPECT_EQ(host.FExitState, 3);
    EXPECT_TRUE(interaction.Calls.empty());
    EXPECT_NE(Log().find("/media/old/OTHER/Photos"), std::string::npos) << Log();

    // A source below an empty mount point is not backed up as an empty folder.
    fs::create_directories(sandbox.Path("media/u/STICK/Music"));
    seenSrc.clear();
    fs::remove(host.DefaultLog);
    engine.DoBackupJob(0, iaDelay, 3, Task(dest, "", "Source=" + sandbox.Path("media/u/STICK/Music")));
    EXPECT_TRUE(seenSrc.empty());
    EXPECT_EQ(host.FExitState, 3);
    EXPECT_NE(Log().find("Error accessing directory: \"" + sandbox.Path("media/u/STICK/Music") + "\""),
              std::string::npos)
        << Log();
}

TEST_F(DestinationTest, PerRunFolderThatStayedEmptyIsRemovedButTheConfiguredOneStays)
{
    engine.BackupDirectory = nullptr;
    const std::string dated = sandbox.Path("dest/run-%year%");
    EXPECT_EQ(engine.DoBackupJob(0, iaDelay, 3, Task(dated, "DestMode=2")), brOK);
    EXPECT_FALSE(fs::exists(engine.BaseDir)) << engine.BaseDir;
    EXPECT_TRUE(fs::is_directory(sandbox.Path("dest")));
    EXPECT_EQ(engine.DoBackupJob(0, iaDelay, 3, Task(sandbox.Path("plain"), "DestMode=2\nTimestampFile=1")),
              brOK);
    EXPECT_TRUE(fs::is_directory(sandbox.Path("plain")));
    EXPECT_FALSE(fs::exists(sandbox.Path("plain/$TimeStamp.qvu")));
}

} // namespace
