#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "archive/PasswordText.h"
#include "backup/TaskFile.h"
#include "backup/TaskTestUtil.h"
#include "support/Files.h"
#include "support/Sandbox.h"

using namespace tasktest;

namespace {

class TaskFileTest : public SandboxTest
{
protected:
    TaskFileTest()
    {
        context.Settings = &settings;
        context.Format = &format;
        context.Environment = &environment;
        format.ShortDateFormat = "yyyy-mm-dd";
        format.DateSeparator = '-';
    }

    // Loads a task file written from the given [Global] lines (and further sections).
    bool Load(const std::string& text, TTaskSettings& task, bool full = true)
    {
        const std::string name = sandbox.Path("task.buj");
        WriteFileBytes(name, ToUtf16File("[Unicode]\nEncoding=UTF-16LE\n\n" + text));
        return LoadTask(task, name, full, iaNone, report, context);
    }

    std::string Encoded(const std::string& pwd)
    {
        std::string result;
        EncodePassword(UnscrambleKeyString(ProgramKeyString), pwd, 64, result, false);
        return result;
    }

    TQvSettings settings = TestSettings();
    TFormatSettings format;
    TFixedEnvironment environment;
    TTaskFileContext context;
    TTaskFileReport report;
};

} // namespace

TEST_F(TaskFileTest, AMissingFileLeavesTheTaskAlone)
{
    TTaskSettings task;
    task.BuZiel = "/keep";
    EXPECT_FALSE(LoadTask(task, sandbox.Path("none.buj"), true, iaNone, report, context));
    EXPECT_EQ(task.BuZiel, "/keep");
    EXPECT_TRUE(report.Messages.empty());
}

TEST_F(TaskFileTest, AFileWithOnlyTheUnicodeSectionLoadsTheDefaultsOfTheKeyTable)
{
    TTaskSettings task;
    ASSERT_TRUE(Load("", task));
    EXPECT_EQ(task.BackupCount, 1);
    EXPECT_EQ(task.EditStatus, esSaved);
    EXPECT_EQ(task.TaskLogName, ""); // the new-task value would be "%taskname%.log"
    EXPECT_FALSE(task.cbZipCompress);
    EXPECT_TRUE(task.cbCompress);
    EXPECT_EQ(task.AktNoComp.CommaText(), "JPG,MP3,ZIP");
    EXPECT_EQ(task.TaskProtMode, 0x01);
    EXPECT_EQ(task.TargetType, fsExt4);
    EXPECT_EQ(task.LoadedTaskName, sandbox.Path("task.buj"));
    EXPECT_FALSE(task.UpdateBusy);
    ASSERT_EQ(report.Messages.size(), 1u);
    EXPECT_NE(report.Messages[0].find("no [Global] section"), std::string::npos);
}

TEST_F(TaskFileTest, LegacyKeysAndLoadRulesGiveTheDocumentedSettings)
{
    struct Case
    {
        const char* global;
        std::function<void(const TTaskSettings&)> check;
    };
    const Case cases[] = {
        {"NoCompTypes=#\n", [](const TTaskSettings& t) { EXPECT_TRUE(t.AktNoComp.Empty()); }},
        {"NoCompTypes=\n", [](const TTaskSettings& t) { EXPECT_EQ(t.AktNoComp.CommaText(), "JPG,MP3,ZIP"); }},
        {"NoCompTypes=ISO,7Z\n",
         [](const TTaskSettings& t) { EXPECT_EQ(t.AktNoComp.CommaText(), "7Z,ISO"); }},
        {"Encrypt=1\nEncrypFilenames=1\nDestMode=4\n",
         [](const TTaskSettings& t) { EXPECT_TRUE(t.cbEncNames); }},
        {"Encrypt=1\nEncrypFilenames=1\nDestMode=1\n",
         [](const TTaskSettings& t) { EXPECT_FALSE(t.cbEncNames); }},
        {"Encrypt=0\nEncryptFilenames=1\nDestMode=4\n",
         [](const TTaskSettings& t) { EXPECT_FALSE(t.cbEncNames); }},
        {"Encrypt=3\n", [](const TTaskSettings& t) { EXPECT_EQ(t.CryptKeyMode, ck256); }},
        {"CompareExact=1\nCompareSize=1\n", [](const TTaskSettings& t) { EXPECT_EQ(t.CompareMode, 2); }},
        {"CompareExact=1\n", [](const TTaskSettings& t) { EXPECT_EQ(t.CompareMode, 1); }},
        {"CompareExact=1\nCompareMode=3\n", [](const TTaskSettings& t) { EXPECT_EQ(t.CompareMode, 3); }},
        {"Speed=0\n[Ftp]\nSpeed=200\n", [](const TTaskSettings& t) { EXPECT_EQ(t.MaxRate, 200); }},
        {"Speed=50\n[Ftp]\nSpeed=200\n", [](const TTaskSettings& t) { EXPECT_EQ(t.MaxRate, 50); }},
        {"[Ftp]\nSpeed=70\n", [](const TTaskSettings& t) { EXPECT_EQ(t.MaxRate, 70); }},
        {"AllowJunctions=1\nFollowJunctions=1\n",
         [](const TTaskSettings& t) {
             EXPECT_TRUE(t.IgnoreJunctions);
             EXPECT_FALSE(t.UseJunctions);
             EXPECT_FALSE(t.FollowJunctions);
         }},
        {"IgnoreJunctions=0\nAllowJunctions=1\n",
         [](const TTaskSettings& t) { EXPECT_TRUE(t.UseJunctions); }},
        {"DestMode=2\nDirCount=2\nClearDest=1\nArchBit=1\n",
         [](const TTaskSettings& t) { EXPECT_FALSE(t.ClearDest); }},
        {"DestMode=1\nClearDest=1\nArchBit=1\n",
         [](const TTaskSettings& t) {
             EXPECT_TRUE(t.ClearDest);
             EXPECT_EQ(t.BuModeCB, bmFull);
         }},
        {"DestMode=1\nClearDest=1\n",
         [](const TTaskSettings& t) {
             EXPECT_FALSE(t.ClearDest);
             EXPECT_EQ(t.BuModeCB, bmUpdate);
         }},
        {"DestMode=5\nClearDest=1\n", [](const TTaskSettings& t) { EXPECT_FALSE(t.ClearDest); }},
        {"ArchBit=1\nOnlyArch=1\n",
         [](const TTaskSettings& t) {
             EXPECT_FALSE(t.ResArchivCB);
             EXPECT_FALSE(t.cbArchFile);
         }},
        {"Encrypt=1\nFixPassword=1\nPassword=\n",
         [](const TTaskSettings& t) {
             EXPECT_TRUE(t.cbEncrypt);
             EXPECT_FALSE(t.cbFixPwd);
         }},
        {"DestMode=5\nZipName=-%date%\n",
         [](const TTaskSettings& t) { EXPECT_EQ(t.ZipNameEdit, "<root directory>-%date%"); }},
        {"DestMode=4\nZipDefault=Arc\n", [](const TTaskSettings& t) { EXPECT_EQ(t.ZipNameEdit, "Arc"); }},
        {"ZipSize=0x100000\n", [](const TTaskSettings& t) { EXPECT_EQ(t.MaxZipSize, 1048576); }},
        {"LogFile=1027\n",
         [](const TTaskSettings& t) {
             EXPECT_TRUE(t.ShowErrors);
             EXPECT_EQ(t.TaskProtMode, 1027);
         }},
        {"BakSuffix=old-#5/4/2\n",
         [](const TTaskSettings& t) {
             EXPECT_EQ(t.BakSec.FileSuffix, "old-#");
             EXPECT_EQ(t.BakSec.MaxHist, 5);
             EXPECT_EQ(t.BakSec.AgeInWeeks, 4);
             EXPECT_EQ(t.BakSec.MinHist, 2);
         }},
        // no age behind a single "/": the versions are kept however old they are
        {"BakSuffix=bak-#5/4\n",
         [](const TTaskSettings& t) {
             EXPECT_EQ(t.BakSec.FileSuffix, "bak-#");
             EXPECT_EQ(t.BakSec.MaxHist, 5);
             EXPECT_EQ(t.BakSec.AgeInWeeks, 0);
         }},
        {"BakSuffix=bak/6\n",
         [](const TTaskSettings& t) {
             EXPECT_EQ(t.BakSec.FileSuffix, "bak");
             EXPECT_EQ(t.BakSec.AgeInWeeks, 0);
         }},
        {"BakSuffix=bak/6/\n", [](const TTaskSettings& t) { EXPECT_EQ(t.BakSec.AgeInWeeks, 6); }},
        {"BakSuffix=bak-#0\n", [](const TTaskSettings& t) { EXPECT_EQ(t.BakSec.MaxHist, 1); }},
        {"SyncSuffix=\n", [](const TTaskSettings& t) { EXPECT_EQ(t.SyncSec.FileSuffix, "sync"); }},
        {"SyncSecMode=1\nSyncSuffix=\n", [](const TTaskSettings& t) { EXPECT_EQ(t.SyncSec.FileSuffix, ""); }},
        {"", [](const TTaskSettings& t) { EXPECT_EQ(t.SyncSec.DirSuffix, "_"); }},
        {"FtpBackup=1\n", [](const TTaskSettings& t) { EXPECT_EQ(t.TaskBufferSize, 65536); }},
        {"Note=Say #hi#,second line\n",
         [](const TTaskSettings& t) { EXPECT_EQ(t.TaskNote, "Say \"hi\",second line"); }},
        {"[DirFilter]\nCount=3\nMask000=\"My Dir\"\nMask001=old|new\nMask002=tmp|\n",
         [](const TTaskSettings& t) { EXPECT_EQ(t.MaskExprs.CommaText(), "\"My Dir\",new,tmp"); }},
    };
    for (const Case& c : cases) {
        TTaskSettings task;
        report = {};
        ASSERT_TRUE(Load(std::string("[Global]\n") + c.global, task)) << c.global;
        SCOPED_TRACE(c.global);
        c.check(task);
    }
}

TEST_F(TaskFileTest, VersionLimitsOfTheSecurityCopiesReadBackAsTheyWereSaved)
{
    struct Case
    {
        const char* suffix;
        int maxHist, minHist, age;
        const char* stored;
    } cases[] = {
        {"bak", 1, 1, 0, "bak"},        {"bak", 1, 1, 3, "bak/3/1"},    {"bak-#", 5, 2, 4, "bak-#5/4/2"},
        {"bak-#", 12, 1, 0, "bak-#12"}, {"bak#", 1, 2, 4, "bak#1/4/2"}, // one copy with an age limit after a
                                                                        // "#"
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stored);
        TTaskSettings task;
        SetNewTaskDefaults(task, settings);
        task.Folders.Add(std::make_unique<TExtensionList>(TTimePeriod(), sdmNormal));
        task.Folders[0].SPath = task.Folders[0].VPath = sandbox.Path("src");
        task.BuZiel = sandbox.Path("dest");
        task.KeepBakCB = true;
        task.BakSec.FileSuffix = c.suffix;
        task.BakSec.MaxHist = c.maxHist;
        task.BakSec.MinHist = c.minHist;
        task.BakSec.AgeInWeeks = c.age;
        const std::string name = sandbox.Path("suffix.buj");
        ASSERT_TRUE(SaveTask(task, name, {}, report, context));
        EXPECT_NE(FromUtf16File(ReadFileBytes(name)).find(std::string("\nBakSuffix=") + c.stored + "\n"),
                  std::string::npos);
        TTaskSettings back;
        ASSERT_TRUE(LoadTask(back, name, true, iaNone, report, context));
        EXPECT_EQ(back.BakSec.FileSuffix, c.suffix);
        EXPECT_EQ(back.BakSec.MaxHist, c.maxHist);
        EXPECT_EQ(back.BakSec.MinHist, c.minHist);
        EXPECT_EQ(back.BakSec.AgeInWeeks, c.age);
    }
}

TEST_F(TaskFileTest, AFileThatCannotBeRunIsNamedBeforeItIsLoaded)
{
    auto file = [&](const std::string& name, const std::string& text) {
        WriteFileBytes(sandbox.Path(name), text);
        return sandbox.Path(name);
    };
    ASSERT_EQ(::mkfifo(sandbox.Path("fifo.buj").c_str(), 0644), 0);
    std::filesystem::create_directories(sandbox.Path("folder.buj"));
    const std::string zip = "[Global]\r\nDestMode=4\r\nZipSize=";
    struct Case
    {
        std::string name;
        std::string problem; // empty: the file can be loaded
    } cases[] = {
        {sandbox.Path("none.buj"), ""}, // the run reports a missing file itself
        {sandbox.Path("none/t.buj"), ""},
        {sandbox.Path("fifo.buj"), "the task file is a FIFO, not a regular file"},
        {sandbox.Path("folder.buj"), "the task file is a folder, not a regular file"},
        {"/dev/null", "the task file is a device, not a regular file"},
        {file("empty.buj", ""), "the task file is empty"},
        {file("blank.buj", "\r\n"), ""},
        {file("split.buj", zip + "65535\r\n"),
         "the zip split size of 65535 bytes is below the smallest split size of 65536 bytes (64 KiB)"},
        {file("hex.buj", zip + "0x10000\r\n"), ""},
        {file("folders.buj", "[Global]\r\nDestMode=1\r\nZipSize=5\r\n"), ""},
        {file("bad.buj", zip + "-5\r\n"), ""}, // the loader reads it as unlimited
        {file("utf16.buj", ToUtf16File("[Global]\nDestMode=5\nZipSize=100\n")),
         "the zip split size of 100 bytes is below the smallest split size of 65536 bytes (64 KiB)"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(TaskFileProblem(c.name), c.problem) << c.name;
}

TEST_F(TaskFileTest, ATaskFileThatIsNoRegularFileIsNeverOpened)
{
    // Opening a FIFO for reading would wait for a writer: this test would hang.
    const std::string fifo = sandbox.Path("fifo.buj");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    TTaskSettings task;
    task.BuZiel = "/keep";
    EXPECT_FALSE(LoadTask(task, fifo, true, iaNone, report, context));
    EXPECT_TRUE(report.Abandoned);
    ASSERT_EQ(report.Messages.size(), 1u);
    EXPECT_EQ(report.Messages[0], "Task file \"" + fifo + "\": the task file is a FIFO, not a regular file");
    EXPECT_EQ(task.BuZiel, "/keep");
}

TEST_F(TaskFileTest, ASplitSizeTooSmallToUseIsReportedAndKept)
{
    TTaskSettings task;
    ASSERT_TRUE(Load("[Global]\nDestMode=4\nZipSize=5\n", task));
    EXPECT_EQ(task.MaxZipSize, 5);
    ASSERT_EQ(report.Messages.size(), 1u);
    EXPECT_EQ(report.Messages[0], "Task file \"" + sandbox.Path("task.buj") +
                                      "\": [Global] ZipSize: the zip split size of 5 bytes is below the "
                                      "smallest split size of 65536 bytes (64 KiB)");
}

TEST_F(TaskFileTest, StoredPasswordsAreDecodedAndTheCommandLineAccountWins)
{
    TTaskSettings task;
    ASSERT_TRUE(Load("[Global]\nTaskPwd=" + Encoded("guard") + "\nEncrypt=1\nFixPassword=1\nPassword=" +
                         Encoded("s3cret") + "\n[User]\nUsername=alice\nPassword=" + Encoded("pw") + "\n",
                     task));
    EXPECT_EQ(task.TaskPwd, "guard");
    EXPECT_EQ(task.CryptPwd, "s3cret");
    EXPECT_TRUE(task.cbFixPwd);
    EXPECT_EQ(task.UserAccount, "alice");
    EXPECT_EQ(task.UserPwd, "pw");

    TTaskSettings other;
    other.CmdAltUserName = "bob";
    other.CmdAltUserPwd = "x";
    ASSERT_TRUE(Load("[User]\nUsername=alice\nPassword=" + Encoded("pw") + "\n", other));
    EXPECT_EQ(other.UserAccount, "bob");
    EXPECT_EQ(other.UserPwd, "x");

    TTaskSettings empty;
    ASSERT_TRUE(Load("[User]\nUsername=\nPassword=" + Encoded("pw") + "\n", empty));
    EXPECT_EQ(empty.UserAccount, "");
    EXPECT_EQ(empty.UserPwd, "");
}

TEST_F(TaskFileTest, BadInputLoadsWithDefaultsAndAReport)
{
    TTaskSettings task;
    const std::string name = sandbox.Path("task.buj");
    WriteFileBytes(name, std::string("\x00\x01\x02\xff\xfe\x00garbage\x00\x00", 14));
    ASSERT_TRUE(LoadTask(task, name, true, iaNone, report, context));
    EXPECT_EQ(task.DestMode, 0);
    ASSERT_FALSE(report.Messages.empty());

    report = {};
    ASSERT_TRUE(Load("[Global]\nDestMode=9\nEncrypt=-1\nPriority=abc\nSyncMode=4\nZipSize=-5\nWhatever=1\n"
                     "LastBackup=not a date\n",
                     task));
    EXPECT_EQ(task.DestMode, 0);
    EXPECT_EQ(task.LastCrypt, 0);
    EXPECT_EQ(task.TaskPriority, tpNormal);
    EXPECT_EQ(task.SyncMode, 0);
    EXPECT_EQ(task.MaxZipSize, 0);
    EXPECT_EQ(task.LastBackupTime, 0);
    EXPECT_EQ(task.LastBuTime, "not a date");
    std::string all;
    for (const std::string& m : report.Messages)
        all += m + "\n";
    for (const char* key :
         {"DestMode", "Encrypt", "Priority", "SyncMode", "ZipSize", "Whatever", "LastBackup"})
        EXPECT_NE(all.find(key), std::string::npos) << key << "\n" << all;
}

TEST_F(TaskFileTest, DatesAreWrittenInTheLocaleFormatAndReadInItOrAsIso)
{
    TFormatSettings german;
    german.ShortDateFormat = "dd.mm.yyyy";
    german.DateSeparator = '.';
    german.LongTimeFormat = "hh:nn:ss";
    TFormatSettings us;
    us.ShortDateFormat = "m/d/yyyy";
    us.DateSeparator = '/';
    us.LongTimeFormat = "h:nn:ss AMPM";
    const TDateTime when = EncodeDateTime(2024, 3, 7, 14, 5, 9, 0);
    EXPECT_EQ(TaskDateTimeToStr(when, german), "07.03.2024 14:05:09");
    EXPECT_EQ(TaskDateTimeToStr(when, us), "3/7/2024 2:05:09 PM");
    for (const TFormatSettings* f : {&german, &us}) {
        TDateTime back = 0;
        ASSERT_TRUE(TryTaskStrToDateTime(TaskDateTimeToStr(when, *f), back, *f));
        EXPECT_TRUE(SameDateTime(back, when));
        ASSERT_TRUE(TryTaskStrToDateTime("2024-03-07 14:05:09", back, *f));
        EXPECT_TRUE(SameDateTime(back, when));
        ASSERT_TRUE(TryTaskStrToDate("2024-03-07", back, *f));
        EXPECT_EQ(back, EncodeDate(2024, 3, 7));
        EXPECT_FALSE(TryTaskStrToDate("2024-13-07", back, *f));
        EXPECT_FALSE(TryTaskStrToDateTime("yesterday", back, *f));
    }

    TTaskSettings task;
    context.Format = &german;
    ASSERT_TRUE(Load("[Global]\nLastBackup=07.03.2024 14:05:09\n", task));
    EXPECT_TRUE(SameDateTime(task.LastBackupTime, when));
    context.Format = &us;
    ASSERT_TRUE(Load("[Global]\nLastBackup=2024-03-07 14:05:09\n", task));
    EXPECT_TRUE(SameDateTime(task.LastBackupTime, when));
}

TEST_F(TaskFileTest, UpdateWritesTheRunStatisticsIntoAReadOnlyFileAndKeepsItReadOnly)
{
    const std::string name = sandbox.Path("task.buj");
    WriteFileBytes(name,
                   ToUtf16File("[Unicode]\nEncoding=UTF-16LE\n\n[Global]\nProgram=Old\nVersion=1\nEncrypt=1\n"
                               "ChangedEnc=1\nBackupCount=4\nNote=keep\n\n"));
    ::chmod(name.c_str(), 0444);
    TTaskSettings task;
    ASSERT_TRUE(LoadTask(task, name, true, iaNone, report, context));
    const TDateTime start = EncodeDateTime(2024, 5, 1, 8, 0, 0, 0);
    UpdateTaskStatus(task, name, start, report, context);
    EXPECT_TRUE(report.Messages.empty()) << report.Messages[0];
    struct stat st
    {
    };
    ASSERT_EQ(::stat(name.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0444u);
    EXPECT_EQ(task.BackupCount, 5);
    EXPECT_EQ(task.LastCrypt, 1);
    EXPECT_FALSE(task.EncChg);
    EXPECT_EQ(
        FromUtf16File(ReadFileBytes(name)),
        "[Unicode]\nEncoding=UTF-16LE\nProgram=Vastrel\nVersion=6.0.0\n\n"
        "[Global]\nEncrypt=1\nChangedEnc=0\nBackupCount=5\nNote=keep\nLastBackup=2024-05-01 08:00:00\n\n");
}

TEST_F(TaskFileTest, UpdateKeepsCommentsAndEveryLineItDoesNotWrite)
{
    const std::string name = sandbox.Path("task.buj");
    const std::string before = "; photos to the USB disk\n"
                               "[Unicode]\n"
                               "Encoding=UTF-16LE\n"
                               "\n"
                               "; where it goes\n"
                               "[Global]\n"
                               "  ; indented comment\n"
                               "Destination=/mnt/usb\n"
                               "# a line without a value\n"
                               "#Disabled=1\n"
                               "BackupCount=2\n"
                               "Custom = spaced value\n"
                               "DirCount=1\n"
                               "\n"
                               "; the folders\n"
                               "[Dir000]\n"
                               "Source=/home\n"
                               "FileCount=1\n"
                               "; last line";
    WriteFileBytes(name, ToUtf16File(before));
    TTaskSettings task;
    ASSERT_TRUE(LoadTask(task, name, true, iaNone, report, context));
    ASSERT_EQ(task.Folders.Count(), 1);
    task.Folders[0].ICount = 7;
    task.Folders[0].IBytes = (int64_t(1) << 32) + 9;
    task.Folders[0].SyncCount = 2;
    report = {};
    UpdateTaskStatus(task, name, EncodeDateTime(2024, 5, 1, 8, 0, 0, 0), report, context);
    EXPECT_TRUE(report.Messages.empty()) << report.Messages[0];
    const std::string file = ReadFileBytes(name);
    EXPECT_EQ(file.substr(0, 2), "\xFF\xFE");
    EXPECT_EQ(FromUtf16File(file), "; photos to the USB disk\n"
                                   "[Unicode]\n"
                                   "Encoding=UTF-16LE\n"
                                   "Program=Vastrel\n"
                                   "Version=6.0.0\n"
                                   "\n"
                                   "; where it goes\n"
                                   "[Global]\n"
                                   "  ; indented comment\n"
                                   "Destination=/mnt/usb\n"
                                   "# a line without a value\n"
                                   "#Disabled=1\n"
                                   "BackupCount=3\n"
                                   "Custom = spaced value\n"
                                   "DirCount=1\n"
                                   "ChangedEnc=0\n"
                                   "LastBackup=2024-05-01 08:00:00\n"
                                   "\n"
                                   "; the folders\n"
                                   "[Dir000]\n"
                                   "Source=/home\n"
                                   "FileCount=7\n"
                                   "ByteCountH=1\n"
                                   "ByteCountL=9\n"
                                   "SyncCount=2\n"
                                   "; last line\n");
    // The file reads as before, with the new statistics.
    TTaskSettings back;
    ASSERT_TRUE(LoadTask(back, name, true, iaNone, report, context));
    EXPECT_EQ(back.BackupCount, 3);
    EXPECT_EQ(back.BuZiel, "/mnt/usb");
    EXPECT_EQ(back.Folders[0].ICount, 7);
    EXPECT_EQ(back.Folders[0].IBytes, (int64_t(1) << 32) + 9);
}

TEST_F(TaskFileTest, UpdatingAMissingFileReportsItAndAnEmptyNameDoesNothing)
{
    TTaskSettings task;
    UpdateTaskStatus(task, "", 0, report, context);
    EXPECT_TRUE(report.Messages.empty());
    UpdateTaskStatus(task, sandbox.Path("gone.buj"), 0, report, context);
    ASSERT_EQ(report.Messages.size(), 1u);
    EXPECT_EQ(report.Messages[0], "  *** Could not update task file: \"" + sandbox.Path("gone.buj") + "\"");
    EXPECT_EQ(task.BackupCount, 1);
}

TEST_F(TaskFileTest, ATaskWithoutFoldersIsSavedInTheReducedForm)
{
    TTaskSettings task;
    SetNewTaskDefaults(task, settings);
    task.BuZiel = "/mnt/backup";
    task.AktNoComp.Clear();
    task.DestMode = 5;
    task.ZipNameEdit = "<root directory>-%date%";
    task.LastBuTime = "2024-01-02 03:04:05";
    const std::string name = sandbox.Path("saved.buj");
    ASSERT_TRUE(SaveTask(task, name, {}, report, context));
    EXPECT_EQ(FromUtf16File(ReadFileBytes(name)),
              "[Unicode]\nEncoding=UTF-16LE\nProgram=Vastrel\nVersion=6.0.0\n\n"
              "[Global]\nDestination=/mnt/backup\nCompress=1\nCompressAsZip=1\nNoCompTypes=\nDestMode=5\n"
              "ZipDefault=QV-Zip-%date%\nZipName=-%date%\nLastBackup=2024-01-02 03:04:05\nDirCount=0\n\n");
    EXPECT_EQ(task.ActTaskName, name);
    EXPECT_EQ(task.LoadedTaskName, name);

    TTaskSettings back;
    ASSERT_TRUE(LoadTask(back, name, true, iaNone, report, context));
    EXPECT_EQ(back.ZipNameEdit, "<root directory>-%date%");
    EXPECT_EQ(back.AktNoComp.CommaText(), "JPG,MP3,ZIP"); // an empty value is the program's list
}

TEST_F(TaskFileTest, ASaveThatCannotBeWrittenIsReported)
{
    TTaskSettings task;
    const std::string name = sandbox.Path("no/such/dir/t.buj");
    EXPECT_FALSE(SaveTask(task, name, {}, report, context));
    ASSERT_EQ(report.Messages.size(), 1u);
    EXPECT_EQ(report.Messages[0], "Error saving task \"" + name + "\"!");
}
