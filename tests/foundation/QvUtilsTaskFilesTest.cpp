#include "foundation/QvUtilsTaskFiles.h"

#include <fstream>

#include "foundation/BuConsts.h"
#include "foundation/HListBox.h"
#include "foundation/IniFileUtils.h"
#include "foundation/QvUtilsNames.h"
#include "support/FakeClock.h"
#include "support/Files.h"
#include "support/Sandbox.h"

namespace {

// Labels of mounted volumes for the "%dest%" cases.
class OneVolume : public TVolumeResolver
{
public:
    std::string MountPoint;
    std::string MountPointOfLabel(const std::string& label) const override
    {
        return label == "BACKUP" ? MountPoint : "";
    }
};

class TaskFileHelpersTest : public SandboxTest
{
protected:
    ScopedFakeClock clock{EncodeDateTime(2024, 3, 5, 12, 0, 0, 0)};
    OneVolume volume;
    std::string savedTaskDir, savedSettingsDir, savedLog, savedLogDir;
    void SetUp() override
    {
        savedTaskDir = ActiveTaskDir;
        savedSettingsDir = SettingsDir;
        savedLog = DefaultLogFile;
        savedLogDir = ProgSettings.Directories.LogDir;
        ActiveTaskDir = sandbox.Path("tasks/");
        SettingsDir = sandbox.Path("settings/");
        ProgSettings.Directories.LogDir = sandbox.Path("logs/");
        DefaultLogFile = sandbox.Path("logs/Vastrel.log");
        volume.MountPoint = sandbox.Path("media/backup");
        SetVolumeResolver(&volume);
    }
    void TearDown() override
    {
        SetVolumeResolver(nullptr);
        ActiveTaskDir = savedTaskDir;
        SettingsDir = savedSettingsDir;
        DefaultLogFile = savedLog;
        ProgSettings.Directories.LogDir = savedLogDir;
    }
    std::string WriteTask(const std::string& name, const std::string& text)
    {
        std::string file = sandbox.Path(name);
        WriteFileBytes(file, text);
        return file;
    }
};

} // namespace

TEST_F(TaskFileHelpersTest, TaskFileNamesAreCompletedInTheTaskFolder)
{
    EXPECT_EQ(GetTaskFileName("", "buj"), "");
    EXPECT_EQ(GetTaskFileName("Daily", "buj"), sandbox.Path("tasks/Daily.buj"));
    EXPECT_EQ(GetTaskFileName("Daily.BUJ", "buj"), sandbox.Path("tasks/Daily.BUJ")) << "nothing added";
    EXPECT_EQ(GetTaskFileName("/srv/t/Weekly.rsj", "buj"), "/srv/t/Weekly.rsj.buj");
    EXPECT_EQ(GetTaskFileName("%profile%/x", "vfj"), sandbox.Path("home/x.vfj"));
}

TEST_F(TaskFileHelpersTest, TaskListsAndHistoriesHoldNamesRelativeToTheTaskFolder)
{
    THistoryList history;
    std::string rel;
    history.AddString("Old.buj");
    AddTaskToHistory(history, sandbox.Path("tasks/sub/New.buj"), rel);
    EXPECT_EQ(rel, "sub/New.buj");
    AddTaskToHistory(history, "/elsewhere/Other.buj", rel);
    EXPECT_EQ(rel, "/elsewhere/Other.buj");
    EXPECT_EQ(history.CommaText(), "/elsewhere/Other.buj,sub/New.buj,Old.buj");

    TStringList list{"A.buj", "B.buj", "C.buj"};
    list.SetObject(1, 7);
    StringsToHistory(list, history);
    EXPECT_EQ(history.CommaText(), "A.buj,C.buj") << "entries with an object are left out, order kept";

    AddTaskToList(list, sandbox.Path("tasks/C.buj"), -1, 5);
    EXPECT_EQ(list.CommaText(), "C.buj,A.buj,B.buj") << "a present entry moves to the top";
    EXPECT_EQ(list.Objects(0), 5);
    AddTaskToList(list, sandbox.Path("tasks/B.buj"), 0, 9);
    EXPECT_EQ(list.CommaText(), "C.buj,A.buj,B.buj") << "with an index a present entry stays";
    AddTaskToList(list, sandbox.Path("tasks/D.buj"), 2, 3);
    EXPECT_EQ(list.CommaText(), "C.buj,A.buj,D.buj,B.buj");
    EXPECT_EQ(list.Objects(2), 3);
}

TEST_F(TaskFileHelpersTest, FileTypesAreTakenPairwise)
{
    std::vector<TFileTypeItem> items{{"old", "*"}};
    SetFileTypes(items, "Backup tasks|*.buj|All files|*.*|Dangling");
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].Name, "Backup tasks");
    EXPECT_EQ(items[0].Mask, "*.buj");
    EXPECT_EQ(items[1].Mask, "*.*");
    SetFileTypes(items, "");
    EXPECT_TRUE(items.empty());
}

TEST_F(TaskFileHelpersTest, LogNamesFollowTheTaskNameTheDestinationAndTheLogFolder)
{
    struct Case
    {
        std::string logName, taskFile, dest;
        bool inLogDir;
        std::string expected;
    };
    const std::string logs = sandbox.Path("logs/");
    const std::string media = sandbox.Path("media/backup");
    const Case cases[] = {
        {"", "/t/Daily.buj", "", true, ""},
        {"%taskname%.log", "", "", true, ""},
        {"%TaskName%.log", "/t/Daily.buj", "", false, "Daily.log"},
        {"%taskname%.log", "/t/Daily.buj", "", true, logs + "Daily.log"},
        {"/var/log/%taskname%-%date%.log", "/t/Daily.buj", "", true, "/var/log/Daily-2024-03-05.log"},
        {"%dest%/run.log", "/t/Daily.buj", ":BACKUP:/daily", true, media + "/daily/run.log"},
        {"%dest%/run.log", "/t/Daily.buj", ":MISSING:/daily", true, logs + "Vastrel.log"},
        {"%dest%/run.log", "/t/Daily.buj", "", false, logs + "Vastrel.log"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ExpandLogName(c.logName, c.taskFile, c.dest, c.inLogDir), c.expected) << c.logName;
    EXPECT_EQ(ExpandLogNameNoDest("%taskname%.log", "/t/Daily.buj"), "Daily.log");
    EXPECT_EQ(ExpandLogNameInDir("%taskname%.log", "/t/Daily.buj", true), logs + "Daily.log");
    EXPECT_EQ(ExpandLogNameWithDest("%dest%/x.log", "/t/Daily.buj", ":BACKUP:/d"), media + "/d/x.log");
}

TEST_F(TaskFileHelpersTest, TheLogOfATaskFileComesFromItsSettings)
{
    EXPECT_EQ(GetBackupLogName(""), DefaultLogFile);
    EXPECT_EQ(GetBackupLogName(sandbox.Path("missing.buj")), DefaultLogFile);
    EXPECT_EQ(GetBackupLogName(WriteTask("plain.buj", "[Global]\nDestination=/d\n")), DefaultLogFile);
    EXPECT_EQ(GetBackupLogName(WriteTask("Daily.buj", "[Global]\nLogName=%taskname%.log\n")),
              sandbox.Path("logs/Daily.log"));
    EXPECT_EQ(GetBackupLogName(WriteTask("Vol.buj", "[Global]\nLogName=%dest%/%taskname%.log\n"
                                                    "Destination=:BACKUP:/set-%v#10%\nBackupCount=7\n")),
              sandbox.Path("media/backup/set-07/Vol.log"))
        << "the destination's name placeholders take the backup count";
    EXPECT_EQ(GetBackupLogName(WriteTask("Gone.buj", "[Global]\nLogName=%dest%/x.log\nDestination=/abs/d\n")),
              "/abs/d/x.log");

    EXPECT_EQ(GetJobLogName("Verify", sandbox.Path("missing.vfj")), DefaultLogFile);
    std::string job =
        WriteTask("Check.vfj", "[Verify]\nLogName=%taskname%-%date%.log\n[Global]\nLogName=x\n");
    EXPECT_EQ(GetJobLogName("Verify", job), sandbox.Path("logs/Check-2024-03-05.log"));
    EXPECT_EQ(GetJobLogName("Restore", job), DefaultLogFile);
}

TEST_F(TaskFileHelpersTest, TheSourceSummaryListsEnabledFoldersAndTheirTotals)
{
    EXPECT_EQ(GetTaskDirsText(TMemIniFile(WriteTask("none.buj", "[Global]\nDirCount=0\n"))),
              "No directory specified!");
    EXPECT_EQ(GetTaskDirsText(TMemIniFile(WriteTask("off.buj", "[Global]\nDirCount=1\n[Dir000]\nSource=/a/\n"
                                                               "FileCount=3\n"))),
              "  No files");
    TMemIniFile ini(WriteTask("two.buj",
                              "[Global]\nDirCount=3\n"
                              "[Dir000]\nEnabled=1\nSource=/home/u/Docs/\nFileCount=1\nByteCountL=1024\n"
                              "[Dir001]\nEnabled=0\nSource=/skip\nFileCount=100\n"
                              "[Dir002]\nEnabled=1\nSource=/data\nFileCount=2\nByteCountH=1\n"
                              "ByteCountL=-1\n"));
    // 2^32 + (2^32 - 1) + 1024 bytes: the low part is taken unsigned.
    EXPECT_EQ(GetTaskDirsText(ini), "  /home/u/Docs\r\n  /data\r\n  3 files totaling 8 GiB");
}
