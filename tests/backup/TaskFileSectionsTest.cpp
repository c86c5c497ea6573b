#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "backup/TaskFile.h"
#include "backup/TaskTestUtil.h"
#include "support/Files.h"
#include "support/Sandbox.h"

using namespace tasktest;
namespace fs = std::filesystem;

namespace {

// A machine where destinations have one file system and source folders may be declared removable or
// answer the volume prompt with "Skip".
class TSectionEnvironment : public TFixedEnvironment
{
public:
    using TFixedEnvironment::TFixedEnvironment;
    bool IsRemovable(const std::string&) const override { return Removable; }
    int CheckSourceFolder(std::string& path, const std::string& volume, bool prompt,
                          const TTaskSettings& task) const override
    {
        Checked.push_back(path + "|" + volume + "|" + (prompt ? "prompt" : "quiet"));
        if (SkipOn >= 0 && static_cast<int>(Checked.size()) - 1 == SkipOn)
            return 1246;
        return TTaskEnvironment::CheckSourceFolder(path, volume, prompt, task);
    }
    bool Removable = false;
    int SkipOn = -1;
    mutable std::vector<std::string> Checked;
};

class TaskFileSectionsTest : public SandboxTest
{
protected:
    TaskFileSectionsTest()
    {
        context.Settings = &settings;
        context.Format = &format;
        context.Environment = &environment;
        context.LogDir = sandbox.Path("logs/");
        context.DefaultLogFile = sandbox.Path("logs/Vastrel.log");
        format.ShortDateFormat = "yyyy-mm-dd";
        format.DateSeparator = '-';
        fs::create_directories(sandbox.Path("home/Data/cache"));
        fs::create_directories(sandbox.Path("home/Data/my notes"));
        fs::create_directories(sandbox.Path("home/Mail"));
    }

    std::string Home(const std::string& rel = "") { return sandbox.Path("home/" + rel); }

    bool Load(const std::string& text, TTaskSettings& task, bool full = true, TInteraction ia = iaNone)
    {
        const std::string name = sandbox.Path("task.buj");
        WriteFileBytes(name, ToUtf16File("[Unicode]\nEncoding=UTF-16LE\n\n" + text));
        return LoadTask(task, name, full, ia, report, context);
    }

    std::string Saved(TTaskSettings& task, const std::vector<int>& indexes = {})
    {
        const std::string name = sandbox.Path("saved.buj");
        EXPECT_TRUE(SaveTask(task, name, indexes, report, context));
        return FromUtf16File(ReadFileBytes(name));
    }

    std::string Messages() const
    {
        std::string all;
        for (const std::string& m : report.Messages)
            all += m + "\n";
        return all;
    }

    TQvSettings settings = TestSettings();
    TFormatSettings format;
    TSectionEnvironment environment;
    TTaskFileContext context;
    TTaskFileReport report;
};

std::string Dir(const std::string& keys)
{
    return "[Global]\nDirCount=1\n[Dir000]\n" + keys;
}

} // namespace

TEST_F(TaskFileSectionsTest, GoldenFilesLoadAndSaveByteIdentically)
{
    for (const char* name : {"backup/full.buj", "backup/reduced.buj"}) {
        SCOPED_TRACE(name);
        const std::string original = ReadFileBytes(Fixture(name));
        ASSERT_FALSE(original.empty());
        const std::string copy = sandbox.Path("golden.buj");
        WriteFileBytes(copy, original);
        TTaskSettings task;
        report = {};
        ASSERT_TRUE(LoadTask(task, copy, true, iaNone, report, context));
        EXPECT_TRUE(report.Messages.empty()) << Messages();
        const std::string saved = sandbox.Path("resaved.buj");
        ASSERT_TRUE(SaveTask(task, saved, {}, report, context));
        EXPECT_EQ(FromUtf16File(ReadFileBytes(saved)), FromUtf16File(original));
        EXPECT_TRUE(ReadFileBytes(saved) == original);
    }
}

TEST_F(TaskFileSectionsTest, GoldenFileUpdateChangesOnlyTheRunStatistics)
{
    const std::string original = ReadFileBytes(Fixture("backup/full.buj"));
    const std::string copy = sandbox.Path("golden.buj");
    WriteFileBytes(copy, original);
    TTaskSettings task;
    ASSERT_TRUE(LoadTask(task, copy, true, iaNone, report, context));
    UpdateTaskStatus(task, copy, EncodeDateTime(2024, 5, 1, 8, 0, 0, 0), report, context);
    EXPECT_TRUE(report.Messages.empty()) << Messages();
    std::string expected = FromUtf16File(original);
    auto replace = [&expected](const std::string& from, const std::string& to) {
        const size_t pos = expected.find(from);
        ASSERT_NE(pos, std::string::npos) << from;
        expected.replace(pos, from.size(), to);
    };
    replace("BackupCount=17\n", "BackupCount=18\n");
    replace("LastBackup=2024-03-07 14:05:09\n", "LastBackup=2024-05-01 08:00:00\n");
    EXPECT_EQ(FromUtf16File(ReadFileBytes(copy)), expected);
    EXPECT_TRUE(ReadFileBytes(copy) == ToUtf16File(expected));
}

TEST_F(TaskFileSectionsTest, GoldenFileLoadsTheDocumentedSettings)
{
    TTaskSettings task;
    const std::string copy = sandbox.Path("golden.buj");
    WriteFileBytes(copy, ReadFileBytes(Fixture("backup/full.buj")));
    ASSERT_TRUE(LoadTask(task, copy, true, iaNone, report, context));
    EXPECT_EQ(task.TaskNote, "Daily \"documents\",second line");
    EXPECT_EQ(task.BuPreCmd.Command, "\"/usr/local/bin/pre backup\" --quiet");
    EXPECT_TRUE(task.cbPreC);
    EXPECT_EQ(ProgTimeOut(task.BuPreCmd), 10);
    EXPECT_FALSE(task.cbPostC);
    EXPECT_EQ(task.BuPostCmd.ErrorLevel, 9);
    EXPECT_EQ(task.MailMode, mmError);
    EXPECT_TRUE(task.cbMail);
    EXPECT_EQ(task.MailData.Attachments, "/var/log/a.log,\"/var/log/b c.log|txt\"");
    EXPECT_EQ(task.FtpPar.TimeOffset, 120);
    EXPECT_TRUE(task.FtpPar.UseTimeOffset);
    EXPECT_EQ(task.FtpPar.InvalidChars, ": *");
    EXPECT_EQ(task.FtpPar.Proxy.Mode, fpcmSite);
    EXPECT_EQ(task.UserAccount, "share");
    EXPECT_EQ(task.LastLogFile, sandbox.Path("logs/golden.log"));
    ASSERT_EQ(task.Folders.Count(), 2);
    const TExtensionList& d = task.Folders[0];
    EXPECT_EQ(d.SPath, Home("Data"));
    EXPECT_TRUE(d.IsAvailable);
    EXPECT_EQ(d.FFilter.Mode(), fmExclude);
    EXPECT_EQ(d.TmPeriod.Mode, tmSpan);
    EXPECT_EQ(d.TmPeriod.Dat1, EncodeDate(2020, 1, 31));
    EXPECT_EQ(d.SizeLimits.MinSize, 1000);
    EXPECT_EQ(d.Attributes.Archive, amExclude);
    EXPECT_EQ(d.Attributes.ReadOnly, amInclude);
    EXPECT_EQ(d.ICount, 12);
    EXPECT_EQ(d.IBytes, (int64_t(1) << 32) + 0xFFFFFFFE);
    EXPECT_EQ(d.InclMode, buExclude);
    EXPECT_EQ(d.Exclude.CommaText(), "TMP,BAK,<ohne>");
    EXPECT_EQ(d.Exclude.Data(2).Index, 2);
    ASSERT_EQ(d.SubDirList.Count(), 3);
    EXPECT_EQ(d.SubDirList[0], Home("Data/"));
    EXPECT_EQ(d.SubDirList[2], Home("Data/my notes/"));
    EXPECT_FALSE(d.DoUpdate);
    const TExtensionList& m = task.Folders[1];
    EXPECT_FALSE(m.Selected);
    EXPECT_EQ(m.SubDirMode, sdmFiles);
    EXPECT_TRUE(m.FFilter.Regular());
    EXPECT_EQ(m.InclMode, buInclude);
}

TEST_F(TaskFileSectionsTest, FolderSectionLoadRulesGiveTheDocumentedEntries)
{
    struct Case
    {
        std::string text;
        std::function<void(const TTaskSettings&)> check;
    };
    const std::string data = "Source=%profile%/Data\n";
    const Case cases[] = {
        {"[Global]\nDirCount=3\n[Dir000]\n" + data + "[Dir002]\nSource=%profile%/Mail\n",
         [this](const TTaskSettings& t) {
             ASSERT_EQ(t.Folders.Count(), 2);
             EXPECT_EQ(t.Folders[1].SPath, Home("Mail"));
         }},
        {"[Global]\nDirCount=2\n[Dir000]\nSource=\n[Dir001]\n" + data,
         [](const TTaskSettings& t) { EXPECT_EQ(t.Folders.Count(), 1); }},
        {"[Global]\nDirCount=2\n[Dir000]\n" + data + "FileCount=-1\n[Dir001]\n" + data +
             "FileCount=5\nByteCountH=0\nByteCountL=9\n",
         [](const TTaskSettings& t) {
             ASSERT_EQ(t.Folders.Count(), 2);
             EXPECT_TRUE(t.Folders[0].DoUpdate);
             EXPECT_TRUE(t.Folders[1].DoUpdate);
         }},
        {Dir(data + "FileCount=5\nByteCountH=0\nByteCountL=9\n"),
         [](const TTaskSettings& t) {
             EXPECT_FALSE(t.Folders[0].DoUpdate);
             EXPECT_EQ(t.Folders[0].IBytes, 9);
         }},
        {Dir(data + "FileCount=5\n"), [](const TTaskSettings& t) { EXPECT_TRUE(t.Folders[0].DoUpdate); }},
        {Dir(data + "Filter=*.*\n"),
         [](const TTaskSettings& t) {
             // The file-name filter shows its match-all mask as "*.*".
             EXPECT_EQ(t.Folders[0].FFilter.GetFilter(), "*.*");
             EXPECT_EQ(t.Folders[0].FFilter.Mode(), fmOff);
         }},
        {"[Global]\nDirCount=1\n[Dir000]\nSource=%profile%/Data\nFileMode=1\nFilter=*.*\n",
         [](const TTaskSettings& t) {
             EXPECT_EQ(t.Folders[0].FFilter.GetFilter(), "*");
             EXPECT_EQ(t.Folders[0].FFilter.Mode(), fmOff);
         }},
        {Dir(data + "Filter=*.doc\n"),
         [](const TTaskSettings& t) { EXPECT_EQ(t.Folders[0].FFilter.Mode(), fmInclude); }},
        {Dir(data + "Regular=1\nFilterMode=1\nFilter=([\n"),
         [](const TTaskSettings& t) { EXPECT_TRUE(t.Folders[0].FFilter.MatchesFilter("anything")); }},
        {Dir(data + "TimeMode=9\n"),
         [](const TTaskSettings& t) { EXPECT_EQ(t.Folders[0].TmPeriod.Mode, tmAll); }},
        {Dir(data + "TimeMode=3\nDateFrom=soon\nDateTo=2024-01-01\n"),
         [](const TTaskSettings& t) { EXPECT_EQ(t.Folders[0].TmPeriod.Mode, tmAll); }},
        {Dir(data + "TimeMode=3\nDateFrom=2023-01-01\nDateTo=2024-01-01\nDayTime=07:30\n"),
         [](const TTaskSettings& t) {
             EXPECT_EQ(t.Folders[0].TmPeriod.Mode, tmSpan);
             EXPECT_EQ(t.Folders[0].TmPeriod.Dat2, EncodeDate(2024, 1, 1));
             EXPECT_DOUBLE_EQ(t.Folders[0].TmPeriod.DayTime, 7.5 / 24);
         }},
        {Dir(data), [](const TTaskSettings& t) { EXPECT_DOUBLE_EQ(t.Folders[0].TmPeriod.DayTime, 0.25); }},
        {Dir(data + "SizeMode=1\nMinSize=1000|ignored\nMaxSize=0x400\n"),
         [](const TTaskSettings& t) {
             EXPECT_EQ(t.Folders[0].SizeLimits.MinSize, 1000);
             EXPECT_EQ(t.Folders[0].SizeLimits.MaxSize, 1024);
         }},
        {Dir(data + "Attributes=6\n"),
         [](const TTaskSettings& t) {
             EXPECT_EQ(t.Folders[0].Attributes.Archive, amExclude);
             EXPECT_EQ(t.Folders[0].Attributes.ReadOnly, amInclude);
             EXPECT_EQ(t.Folders[0].Attributes.Hidden, amIgnore);
         }},
        {Dir(data + "SubCount=3\nSubDir000=C:\\Other\nSubDir001=\nSubDir002=/abs/dir\n"),
         [this](const TTaskSettings& t) {
             ASSERT_EQ(t.Folders[0].SubDirList.Count(), 1);
             EXPECT_EQ(t.Folders[0].SubDirList[0], Home("Data/"));
         }},
        {Dir(data + "BackupMode=3\nExclude=ISO,\"A B\"\nInclude=DOC\n"),
         [](const TTaskSettings& t) {
             EXPECT_EQ(t.Folders[0].InclMode, buExclude);
             EXPECT_EQ(t.Folders[0].Exclude.Names(1), "A B");
             EXPECT_EQ(t.Folders[0].Exclude.Data(1).Index, 1);
         }},
        {Dir(data + "Enabled=0\n"), [](const TTaskSettings& t) { EXPECT_FALSE(t.Folders[0].Selected); }},
        {Dir("Source=%profile%/Missing\n"),
         [](const TTaskSettings& t) {
             ASSERT_EQ(t.Folders.Count(), 1);
             EXPECT_FALSE(t.Folders[0].IsAvailable);
         }},
        {Dir(data + "Volume=STICK\n"), [](const TTaskSettings& t) { EXPECT_EQ(t.Folders[0].VName, ""); }},
        {"[Global]\nDestMode=2\nClearDest=1\nArchBit=1\nDirCount=2\n[Dir000]\n" + data + "[Dir001]\n" + data,
         [](const TTaskSettings& t) { EXPECT_FALSE(t.ClearDest); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        TTaskSettings task;
        report = {};
        ASSERT_TRUE(Load(c.text, task));
        c.check(task);
    }
}

TEST_F(TaskFileSectionsTest, ACommandLineFolderReplacesTheFirstSectionOnly)
{
    TTaskSettings task;
    task.ReplSourceDir = Home("Mail");
    fs::create_directories(Home("Mail/sub"));
    WriteFileBytes(Home("Mail/sub/a.txt"), "12345");
    ASSERT_TRUE(Load(
        "[Global]\nDirCount=2\n[Dir000]\nSource=%profile%/Data\nVolume=STICK\nBackupMode=1\nFileCount=3\n"
        "ByteCountH=0\nByteCountL=3\n[Dir001]\nSource=%profile%/Data\n",
        task));
    ASSERT_EQ(task.Folders.Count(), 1);
    EXPECT_EQ(task.Folders[0].VPath, Home("Mail"));
    EXPECT_EQ(task.Folders[0].VName, "");
    // The folder is rescanned at once.
    EXPECT_FALSE(task.Folders[0].DoUpdate);
    EXPECT_EQ(task.Folders[0].ICount, 1);
    EXPECT_EQ(task.Folders[0].IBytes, 5);
}

TEST_F(TaskFileSectionsTest, VolumesAreKeptOnRemovableMediaAndAskedForOnlyWhenTheRunMayPrompt)
{
    environment.Removable = true;
    const std::string text = Dir("Source=%profile%/Data\nVolume=STICK\n");
    for (TInteraction ia : {iaNone, iaPrompt, iaDelay, iaErrorPrompt, iaQuiet, iaQuietError}) {
        TTaskSettings task;
        environment.Checked.clear();
        ASSERT_TRUE(Load(text, task, true, ia));
        ASSERT_EQ(environment.Checked.size(), 1u);
        const bool prompt = ia == iaPrompt || ia == iaErrorPrompt || ia == iaQuietError;
        EXPECT_EQ(environment.Checked[0], Home("Data") + "|STICK|" + (prompt ? "prompt" : "quiet")) << ia;
        EXPECT_EQ(task.Folders[0].VName, "STICK");
    }
}

TEST_F(TaskFileSectionsTest, SkippingAVolumePromptAbandonsTheLoadAfterThatFolder)
{
    environment.SkipOn = 1;
    TTaskSettings task;
    const std::string d = "Source=%profile%/Data\n";
    EXPECT_FALSE(Load("[Global]\nDirCount=3\n[Dir000]\n" + d + "[Dir001]\n" + d + "[Dir002]\n" + d, task,
                      true, iaPrompt));
    EXPECT_TRUE(report.Abandoned);
    ASSERT_EQ(task.Folders.Count(), 2);
    EXPECT_TRUE(task.Folders[0].IsAvailable);
    EXPECT_FALSE(task.Folders[1].IsAvailable);
    EXPECT_FALSE(task.UpdateBusy);
}

TEST_F(TaskFileSectionsTest, ImportAddsTheFoldersAndKeepsTheSettings)
{
    TTaskSettings task;
    ASSERT_TRUE(Load("[Global]\nDestMode=3\nDirCount=1\n[Dir000]\nSource=%profile%/Data\n", task));
    ASSERT_TRUE(Load("[Global]\nDestMode=6\nDirCount=1\n[Dir000]\nSource=%profile%/Mail\n", task, false));
    EXPECT_EQ(task.DestMode, 3);
    ASSERT_EQ(task.Folders.Count(), 2);
    EXPECT_EQ(task.Folders[1].SPath, Home("Mail"));
}

TEST_F(TaskFileSectionsTest, ConnectionSectionsFollowTheirLegacyRules)
{
    struct Case
    {
        std::string text;
        std::function<void(const TTaskSettings&)> check;
    };
    const Case cases[] = {
        {"[Ftp]\nTimeOffset=4816\n",
         [](const TTaskSettings& t) {
             EXPECT_TRUE(t.FtpPar.UseTimeOffset);
             EXPECT_EQ(t.FtpPar.TimeOffset, 0);
         }},
        {"[Ftp]\nTimeOffset=660\n",
         [](const TTaskSettings& t) {
             EXPECT_FALSE(t.FtpPar.UseTimeOffset);
             EXPECT_EQ(t.FtpPar.TimeOffset, -60);
         }},
        {"[Ftp]\nHost=h\n", [](const TTaskSettings& t) { EXPECT_EQ(t.FtpPar.CaseMode, tcLower); }},
        {"", [](const TTaskSettings& t) { EXPECT_EQ(t.FtpPar.CaseMode, tcLower); }},
        {"[Ftp]\nTimeout=30000\n",
         [](const TTaskSettings& t) {
             EXPECT_EQ(t.FtpPar.ConnTimeout, 60000);
             EXPECT_EQ(t.FtpPar.ResponseTimeOut, 30000);
         }},
        {"[Proxy]\nServer=p\n",
         [](const TTaskSettings& t) {
             EXPECT_EQ(t.FtpPar.Proxy.Port, 2121);
             EXPECT_EQ(t.FtpPar.Proxy.Mode, fpcmNone);
         }},
        {"[Global]\nSendMail=1\n[Mail]\nSMTP=s\nRecipients=\n",
         [](const TTaskSettings& t) {
             EXPECT_EQ(t.MailMode, mmNone);
             EXPECT_FALSE(t.cbMail);
         }},
        {"[Global]\nSendMail=1\n[Mail]\nSMTP=s\nRecipients=a@b\n",
         [](const TTaskSettings& t) { EXPECT_EQ(t.MailMode, mmAlways); }},
        {"[Mail]\nSendLog=1\n", [](const TTaskSettings& t) { EXPECT_EQ(t.MailData.LogMode, mmAlways); }},
        {"[Mail]\nSendLog=1\nAttachLog=2\n",
         [](const TTaskSettings& t) { EXPECT_EQ(t.MailData.LogMode, mmError); }},
        {"[Mail]\nAsZip=2\n", [](const TTaskSettings& t) { EXPECT_EQ(t.MailData.ZipMode, zmYes); }},
        {"[Mail]\nAttachment0=a\nAttachment2=c\nAttachment10=k\n",
         [](const TTaskSettings& t) { EXPECT_EQ(t.MailData.Attachments, "a,c"); }},
        {"[Mail]\n", [](const TTaskSettings& t) { EXPECT_EQ(t.MailData.Port, 25); }},
        {"[Global]\nPreCommand=#a b# #c#\nPreWait=8193\n",
         [](const TTaskSettings& t) {
             EXPECT_EQ(t.BuPreCmd.Command, "\"a b\" \"c\"");
             EXPECT_TRUE(t.cbPreC);
             EXPECT_EQ(t.BuPostCmd.ErrorLevel, 1);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        TTaskSettings task;
        report = {};
        ASSERT_TRUE(Load(c.text, task));
        c.check(task);
    }
}

TEST_F(TaskFileSectionsTest, LegacyConnectionKeysAreRewrittenInTheirCurrentForm)
{
    TTaskSettings task;
    ASSERT_TRUE(Load("[Global]\nDirCount=1\n[Ftp]\nSpeed=200\nReplChar=\": *\"\n[Mail]\nSendLog=1\n[Dir000]\n"
                     "Source=%profile%/Data\n",
                     task));
    EXPECT_EQ(task.MaxRate, 200);
    const std::string saved = Saved(task);
    EXPECT_EQ(saved.find("SendLog"), std::string::npos);
    EXPECT_NE(saved.find("[Mail]\nSMTP=\nPort=25\n"), std::string::npos) << saved;
    EXPECT_NE(saved.find("AttachLog=1\n"), std::string::npos);
    EXPECT_NE(saved.find("ReplChar=\": *\"\n"), std::string::npos);
    const size_t ftp = saved.find("[Ftp]");
    EXPECT_EQ(saved.find("Speed=", ftp), std::string::npos);
    EXPECT_NE(saved.find("[Global]\nFtpBackup=0\n"), std::string::npos);
    EXPECT_NE(saved.find("Speed=200\n"), std::string::npos);
}

TEST_F(TaskFileSectionsTest, TwelveAttachmentsAreWrittenAndTenReadBack)
{
    TTaskSettings task;
    ASSERT_TRUE(Load(Dir("Source=%profile%/Data\n"), task));
    std::string list;
    for (int i = 0; i < 12; ++i)
        list += (i ? "," : "") + std::string("f") + std::to_string(i);
    task.MailData.Attachments = list;
    const std::string saved = Saved(task);
    EXPECT_NE(saved.find("Attachment11=f11\n"), std::string::npos);
    TTaskSettings back;
    ASSERT_TRUE(LoadTask(back, sandbox.Path("saved.buj"), true, iaNone, report, context));
    EXPECT_EQ(back.MailData.Attachments, "f0,f1,f2,f3,f4,f5,f6,f7,f8,f9");
}

TEST_F(TaskFileSectionsTest, CommandLinesAndNotesKeepTheirQuotes)
{
    struct Case
    {
        std::string pre, post;
        int cmdEnc;
        int storedEnc;
    };
    const Case cases[] = {
        {"\"/opt/my tool/run\" --name \"x y\"", "", 0, 0},
        {"\"/opt/my tool/run\" --name \"x y\"", "post \"q\"", 1, 1},
        {"echo 1 # a comment", "", 0, 1}, // a '#' would read back as a quote: stored encoded
        {"", "", 1, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pre);
        TTaskSettings task;
        ASSERT_TRUE(Load(Dir("Source=%profile%/Data\n"), task));
        task.BuPreCmd.Command = c.pre;
        task.BuPostCmd.Command = c.post;
        task.cbPreC = true;
        task.CmdEnc = c.cmdEnc;
        task.TaskNote = "say \"hi\"";
        const std::string saved = Saved(task);
        EXPECT_NE(saved.find("Note=say #hi#\n"), std::string::npos);
        if (c.storedEnc == 0) {
            EXPECT_NE(saved.find("PreCommand=#/opt/my tool/run# --name #x y#\n"), std::string::npos) << saved;
        } else if (!c.pre.empty()) {
            EXPECT_EQ(saved.find("PreCommand=" + c.pre.substr(0, 4)), std::string::npos);
        }
        TTaskSettings back;
        ASSERT_TRUE(LoadTask(back, sandbox.Path("saved.buj"), true, iaNone, report, context));
        EXPECT_EQ(back.CmdEnc, c.storedEnc);
        EXPECT_EQ(back.BuPreCmd.Command, c.pre);
        EXPECT_EQ(back.BuPostCmd.Command, c.post);
        EXPECT_TRUE(back.cbPreC);
        EXPECT_EQ(back.TaskNote, "say \"hi\"");
    }
}

TEST_F(TaskFileSectionsTest, AFullSaveKeepsEverySettingAndEncodedPasswords)
{
    TTaskSettings task;
    const std::string copy = sandbox.Path("golden.buj");
    WriteFileBytes(copy, ReadFileBytes(Fixture("backup/full.buj")));
    ASSERT_TRUE(LoadTask(task, copy, true, iaNone, report, context));
    task.TaskPwd = "guard";
    task.UserPwd = "share-pw";
    task.FtpPar.Password = "ftp-pw";
    task.FtpPar.Proxy.Password = "proxy-pw";
    task.MailData.Password = "mail-pw";
    task.MailData.CryptKey = "zip-pw";
    task.MailData.ZipMode = zmEncrypt;
    const std::string saved = sandbox.Path("saved.buj");
    ASSERT_TRUE(SaveTask(task, saved, {}, report, context));
    const std::string text = FromUtf16File(ReadFileBytes(saved));
    for (const char* pwd : {"guard", "share-pw", "ftp-pw", "proxy-pw", "mail-pw", "zip-pw"})
        EXPECT_EQ(text.find(pwd), std::string::npos) << pwd;
    TTaskSettings back;
    ASSERT_TRUE(LoadTask(back, saved, true, iaNone, report, context));
    EXPECT_TRUE(report.Messages.empty()) << Messages();
    EXPECT_EQ(back.TaskPwd, "guard");
    EXPECT_EQ(back.UserPwd, "share-pw");
    EXPECT_EQ(back.FtpPar.Password, "ftp-pw");
    EXPECT_EQ(back.FtpPar.Proxy.Password, "proxy-pw");
    EXPECT_EQ(back.MailData.Password, "mail-pw");
    EXPECT_EQ(back.MailData.CryptKey, "zip-pw");
    EXPECT_EQ(back.MailData.ZipMode, zmEncrypt);
    // Everything else is as loaded from the golden file: saving the reloaded task gives the same text
    // once the passwords are removed again.
    for (TTaskSettings* t : {&task, &back}) {
        t->TaskPwd = t->UserPwd = t->FtpPar.Password = t->FtpPar.Proxy.Password = "";
        t->MailData.Password = t->MailData.CryptKey = "";
    }
    task.MailData.ZipMode = back.MailData.ZipMode = zmYes;
    const std::string a = sandbox.Path("a.buj"), b = sandbox.Path("b.buj");
    ASSERT_TRUE(SaveTask(task, a, {}, report, context));
    ASSERT_TRUE(SaveTask(back, b, {}, report, context));
    EXPECT_EQ(FromUtf16File(ReadFileBytes(a)), FromUtf16File(ReadFileBytes(b)));
    EXPECT_EQ(FromUtf16File(ReadFileBytes(a)), FromUtf16File(ReadFileBytes(Fixture("backup/full.buj"))));
}

TEST_F(TaskFileSectionsTest, ExportWritesTheChosenFoldersRenumbered)
{
    TTaskSettings task;
    ASSERT_TRUE(
        Load("[Global]\nDirCount=3\n[Dir000]\nSource=%profile%/Data\n[Dir001]\nSource=%profile%/Mail\n"
             "[Dir002]\nSource=%profile%/Data/cache\n",
             task));
    task.ActTaskName = sandbox.Path("task.buj");
    const std::string text = Saved(task, {2, 0});
    EXPECT_NE(text.find("[Dir000]\nEnabled=1\nSource=%profile%/Data/cache\n"), std::string::npos) << text;
    EXPECT_NE(text.find("[Dir001]\nEnabled=1\nSource=%profile%/Data\n"), std::string::npos);
    EXPECT_EQ(text.find("[Dir002]"), std::string::npos);
    EXPECT_NE(text.find("DirCount=2\n"), std::string::npos);
    EXPECT_EQ(task.ActTaskName, sandbox.Path("task.buj"));
    EXPECT_EQ(task.LoadedTaskName, sandbox.Path("task.buj"));

    EXPECT_FALSE(SaveTask(task, sandbox.Path("bad.buj"), {5}, report, context));
}

TEST_F(TaskFileSectionsTest, SubDirTagsAreWrittenOnlyForExistingHandSetFolders)
{
    TTaskSettings task;
    ASSERT_TRUE(Load(Dir("Source=%profile%/Data\n"), task));
    TExtensionList& e = task.Folders[0];
    e.SubDirList.Add(Home("Data/cache/"));
    e.SubDirList.Add(Home("Data/gone/"));
    e.SubDirList.AddObject(Home("Data/my notes/"), 1); // set by a filter mask
    e.SubDirList.Add(Home("Mail/"));
    const std::string text = Saved(task);
    EXPECT_NE(text.find("SubDir000=cache/\nSubDir001=" + Home("Mail/") + "\nSubCount=2\n"), std::string::npos)
        << text;
}

TEST_F(TaskFileSectionsTest, UpdateWritesTheFolderStatisticsAndTheCountersCanBeRestored)
{
    TTaskSettings task;
    ASSERT_TRUE(Load("[Global]\nDirCount=2\nBackupCount=3\n[Dir000]\nSource=%profile%/Data\nFileCount=1\n"
                     "ByteCountH=0\nByteCountL=1\nSyncCount=1\n[Dir001]\nSource=%profile%/Mail\nNote=x\n",
                     task));
    SaveFolderCounters(task);
    task.Folders[0].ICount = 7;
    task.Folders[0].IBytes = int64_t(5) << 32 | 0x80000000u;
    task.Folders[0].SyncCount = 3;
    UpdateTaskStatus(task, sandbox.Path("task.buj"), EncodeDateTime(2024, 5, 1, 8, 0, 0, 0), report, context);
    const std::string text = FromUtf16File(ReadFileBytes(sandbox.Path("task.buj")));
    EXPECT_NE(text.find("[Dir000]\nSource=%profile%/Data\nFileCount=7\nByteCountH=5\nByteCountL=-2147483648\n"
                        "SyncCount=3\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("[Dir001]\nSource=%profile%/Mail\nNote=x\nFileCount=-1\n"), std::string::npos)
        << text;
    RestoreFolderCounters(task);
    EXPECT_EQ(task.Folders[0].ICount, 1);
    EXPECT_EQ(task.Folders[0].IBytes, 1);
    EXPECT_EQ(task.Folders[0].SyncCount, 1u);
}

TEST_F(TaskFileSectionsTest, BadFolderSectionsLoadWithDefaultsAndAReport)
{
    TTaskSettings task;
    ASSERT_TRUE(Load("[Global]\nDirCount=5000\n", task));
    EXPECT_TRUE(task.Folders.Empty());
    EXPECT_NE(Messages().find("[Global] DirCount"), std::string::npos) << Messages();
    report = {};
    ASSERT_TRUE(Load(Dir("Source=%profile%/Data\nFileMode=7\nSizeMode=x\nMinSize=-4\nAttributes=999\n"
                         "FilterMode=5\nUseCreationTime=3\nFancy=1\n") +
                         "[Ftp]\nPort=99999\nOdd=1\n[Mail]\nUseTLS=8\n",
                     task));
    ASSERT_EQ(task.Folders.Count(), 1);
    const TExtensionList& e = task.Folders[0];
    EXPECT_EQ(e.SubDirMode, sdmNormal);
    EXPECT_EQ(e.SizeLimits.Mode, szAll);
    EXPECT_EQ(e.SizeLimits.MinSize, 0);
    EXPECT_EQ(e.Attributes.Archive, amIgnore);
    EXPECT_EQ(e.TmPeriod.TmRef, trModify);
    EXPECT_EQ(task.FtpPar.Port, 21);
    EXPECT_EQ(task.MailData.SecureMode, stNone);
    const std::string all = Messages();
    for (const char* key : {"FileMode", "SizeMode", "MinSize", "Attributes", "FilterMode", "UseCreationTime",
                            "Fancy", "[Ftp] Port", "[Ftp] Odd", "UseTLS"})
        EXPECT_NE(all.find(key), std::string::npos) << key << "\n" << all;
}

TEST_F(TaskFileSectionsTest, TheLogFileNameIsExpandedWithTheTaskAndItsDestination)
{
    TTaskSettings task;
    ASSERT_TRUE(Load("[Global]\nLogName=%taskname%-%dest%.log\nDestination=/mnt/b\n", task));
    EXPECT_EQ(task.LastLogFile, sandbox.Path("logs/task-/mnt/b.log"));
    ASSERT_TRUE(Load("[Global]\nLogName=/var/log/%TASKNAME%.log\n", task));
    EXPECT_EQ(task.LastLogFile, "/var/log/task.log");
    ASSERT_TRUE(Load("[Global]\n", task));
    EXPECT_EQ(task.LastLogFile, sandbox.Path("logs/Vastrel.log"));
}

namespace {

// The settings the option rules decide, as one comparable text.
std::string OptionFields(const TTaskSettings& t)
{
    std::string s;
    auto add = [&s](const char* name, long value) {
        s += std::string(name) + "=" + std::to_string(value) + " ";
    };
    add("DestMode", t.DestMode);
    add("BuModeCB", t.BuModeCB);
    add("ClearDest", t.ClearDest);
    add("UseArchivCB", t.UseArchivCB);
    add("ResArchivCB", t.ResArchivCB);
    add("cbArchFile", t.cbArchFile);
    add("SyncMode", t.SyncMode);
    add("KeepBakCB", t.KeepBakCB);
    add("KeepSyncCB", t.KeepSyncCB);
    add("cbSyncRecycle", t.cbSyncRecycle);
    add("cbCopySummary", t.cbCopySummary);
    add("cbAltStreams", t.cbAltStreams);
    add("cbCopyPerms", t.cbCopyPerms);
    add("cbCreationTime", t.cbCreationTime);
    add("cbSourceDelete", t.cbSourceDelete);
    add("cbUseVss", t.cbUseVss);
    add("cbCompress", t.cbCompress);
    add("cbZipCompress", t.cbZipCompress);
    add("cbEncrypt", t.cbEncrypt);
    add("cbEncNames", t.cbEncNames);
    add("cbFixPwd", t.cbFixPwd);
    add("FollowJunctions", t.FollowJunctions);
    s += "ZipNameEdit=" + t.ZipNameEdit;
    return s;
}

class TFactsEnvironment : public TFixedEnvironment
{
public:
    using TFixedEnvironment::TFixedEnvironment;
    TOptionFacts OptionFacts(const TTaskSettings& task) const override
    {
        TOptionFacts facts = TFixedEnvironment::OptionFacts(task);
        facts.SourceType = fsNtfs;
        facts.VssAvailable = facts.IsAdmin = true;
        return facts;
    }
};

} // namespace

TEST_F(TaskFileSectionsTest, ATaskLoadedForARunIsNormalisedAsTheEditorShowsIt)
{
    const std::string everything =
        "[Global]\nCompress=1\nCompressAsZip=1\nEncrypt=1\nEncryptFilenames=1\nClearDest=1\nArchBit=1\n"
        "UseArch=1\nOnlyArch=1\nSyncMode=1\nBakFiles=1\nSyncFiles=1\nUseRecycler=1\nCopySummary=1\n"
        "CopyAltStreams=1\nCopyPermissions=1\nCreationTime=1\nDeleteFile=1\nUseVss=1\nIgnoreJunctions=0\n"
        "FollowJunctions=1\nDirCount=1\n[Dir000]\nSource=%profile%/Data\n";
    for (TFileSystem fs : {fsNtfs, fsExt4, fsFat, fsNotAvail}) {
        for (bool ftp : {false, true}) {
            for (int mode = 0; mode <= 7; ++mode) {
                SCOPED_TRACE("fs " + std::to_string(fs) + " ftp " + std::to_string(ftp) + " mode " +
                             std::to_string(mode));
                TFactsEnvironment env(fs, 0);
                context.Environment = &env;
                TTaskSettings task;
                ASSERT_TRUE(Load(everything + "[Global]\nDestMode=" + std::to_string(mode) +
                                     "\nFtpBackup=" + (ftp ? "1" : "0") +
                                     "\nZipName=" + (mode == 5 ? "-%date%" : "Arc-%date%") + "\n",
                                 task));
                // The editor's refresh of the loaded task changes nothing more.
                TTaskSettings refreshed = task;
                TOptionFacts facts = env.OptionFacts(refreshed);
                facts.DirCount = refreshed.Folders.Count();
                NormaliseTask(refreshed, facts);
                EXPECT_EQ(OptionFields(refreshed), OptionFields(task));
                // A save and a second load give the same task again.
                const std::string name = sandbox.Path("again.buj");
                ASSERT_TRUE(SaveTask(task, name, {}, report, context));
                TTaskSettings again;
                ASSERT_TRUE(LoadTask(again, name, true, iaNone, report, context));
                EXPECT_EQ(OptionFields(again), OptionFields(task));

                const bool local = mode < 4 && !ftp;
                EXPECT_EQ(task.cbCreationTime, local);
                EXPECT_EQ(task.cbCopyPerms, local && (fs == fsNtfs || fs == fsExt4));
                EXPECT_FALSE(task.cbCopySummary); // never with compression
                EXPECT_EQ(task.ClearDest, mode < 4);
                EXPECT_EQ(task.BuModeCB, mode < 4 ? bmIncremental : bmFull);
                EXPECT_EQ(task.cbEncNames, mode >= 4);
                EXPECT_EQ(task.cbZipCompress, mode < 4);
                EXPECT_TRUE(task.cbUseVss);
                EXPECT_FALSE(task.cbSourceDelete); // not together with shadow copies
                EXPECT_EQ(task.ZipNameEdit, mode == 5 ? "<root directory>-%date%" : "Arc-%date%");
                if (mode >= 4) {
                    EXPECT_FALSE(task.KeepSyncCB);
                }
            }
        }
    }
}

TEST_F(TaskFileSectionsTest, FolderDatesUseTheLocaleFormatAndIsoAsAFallback)
{
    struct Locale
    {
        const char* shortDate;
        char separator;
        const char* longTime;
        const char* dateText;
        const char* timeText;
    };
    const Locale locales[] = {{"dd.mm.yyyy", '.', "hh:nn:ss", "31.01.2020", "07:30:00"},
                              {"m/d/yyyy", '/', "h:nn:ss AMPM", "1/31/2020", "7:30:00 AM"}};
    for (const Locale& l : locales) {
        SCOPED_TRACE(l.shortDate);
        TFormatSettings f;
        f.ShortDateFormat = l.shortDate;
        f.DateSeparator = l.separator;
        f.LongTimeFormat = l.longTime;
        context.Format = &f;
        for (const std::string& date : {std::string(l.dateText), std::string("2020-01-31")}) {
            TTaskSettings task;
            report = {};
            ASSERT_TRUE(Load(
                Dir("Source=%profile%/Data\nTimeMode=1\nDateFrom=" + date + "\nDayTime=" + l.timeText + "\n"),
                task));
            EXPECT_TRUE(report.Messages.empty()) << Messages();
            EXPECT_EQ(task.Folders[0].TmPeriod.Mode, tmNewer);
            EXPECT_EQ(task.Folders[0].TmPeriod.Dat1, EncodeDate(2020, 1, 31));
            EXPECT_DOUBLE_EQ(task.Folders[0].TmPeriod.DayTime, 7.5 / 24);
            const std::string text = Saved(task);
            EXPECT_NE(text.find(std::string("DayTime=") + l.timeText + "\nDateFrom=" + l.dateText + "\n"),
                      std::string::npos)
                << text;
        }
    }
}
