#include <gtest/gtest.h>
#include <map>
#include <string>

#include "foundation/BuConsts.h"
#include "foundation/IniFileUtils.h"
#include "support/Sandbox.h"
#include "tools/RestBak.h"
#include "tools/RestoreTask.h"

namespace {

using Keys = std::map<std::string, std::string>;

class RestoreTaskTest : public SandboxTest
{
protected:
    void SetUp() override
    {
        ProgSettings.SecCopySettings = {"~", "_", "bak", "sync"};
        ProgSettings.OtherSettings.DefDriveId = "Drv?";
    }
    std::string Write(const Keys& restore, const Keys& mail = {})
    {
        const std::string name = sandbox.Path("task.rsj");
        TUnicodeIniFile ini = TUnicodeIniFile::CreateForWrite(name, true);
        for (const auto& [k, v] : restore)
            ini.WriteString("Restore", k, v);
        for (const auto& [k, v] : mail)
            ini.WriteString("Mail", k, v);
        ini.UpdateFile();
        return name;
    }
    TRestoreTask Load(const std::string& name)
    {
        TRestoreTask t;
        InitRestoreTask(t);
        LoadRestoreTask(name, t, 0x1F);
        return t;
    }
};

TEST_F(RestoreTaskTest, EverySettingSurvivesSavingAndLoading)
{
    TRestoreTask t;
    InitRestoreTask(t);
    t.Source = "/backup/arch.zip";
    t.DestDir = "/home/u/restored";
    t.Origin = true;
    t.Overwrite = owOlder;
    t.AgeMode = 7;
    t.TimeCount = 3;
    t.Date = 45356; // 2024-03-05
    t.RestMode = rmSingleZip;
    t.TaskLogName = "restore.log";
    t.ProtMode = 3;
    t.GzUnpack = false;
    t.ZipUnpack = true;
    t.NoDecrypt = true;
    t.DefPwd = "fixed pass";
    t.CreationTime = false;
    t.Perms = t.Junctions = t.Summary = t.AltStreams = t.EmptyDirs = t.ResArchive = t.Sync = true;
    t.SecEnabled = true;
    t.BakSec.Selection = 1u << ssFiles;
    t.BakSec.DirPrefix = "~old";
    t.BakSec.FileSuffix = "bak-#";
    t.SyncSec.Selection = 1u << ssDirs;
    t.SyncSec.DirPrefix = "_gone";
    t.SyncSec.FileSuffix = "sync";
    t.FilterRegular = true;
    t.FilterMode = fmExclude;
    t.Filter = "\\.tmp$";
    t.DriveIdent = "Disk?";
    t.DeltaTime = 5;
    t.DstIgnore = true;
    t.RsFtp = true;
    t.FtpPar.Host = "ftp.example.org";
    t.FtpPar.Directory = "/backups";
    t.MailData.SMTP = "smtp.example.org";
    t.MailData.Recipients = "a@example.org";
    t.MailMode = mmError;
    t.UserAccount = "alice";
    t.UserPwd = "s3cret";
    t.ClearDest = true;
    std::string error;
    const std::string name = sandbox.Path("all.rsj");
    ASSERT_TRUE(SaveRestoreTask(name, t, error)) << error;

    const TRestoreTask r = Load(name);
    EXPECT_EQ(t.Source, r.Source);
    EXPECT_EQ(t.DestDir, r.DestDir);
    EXPECT_TRUE(r.Origin);
    EXPECT_EQ(owOlder, r.Overwrite);
    EXPECT_EQ(7, r.AgeMode);
    EXPECT_EQ(3, r.TimeCount);
    EXPECT_EQ(45356, r.Date);
    EXPECT_EQ(rmSingleZip, r.RestMode);
    EXPECT_EQ("restore.log", r.TaskLogName);
    EXPECT_EQ(3, r.ProtMode);
    EXPECT_FALSE(r.GzUnpack);
    EXPECT_TRUE(r.ZipUnpack && r.NoDecrypt);
    EXPECT_EQ("fixed pass", r.DefPwd);
    EXPECT_FALSE(r.CreationTime);
    EXPECT_TRUE(r.Perms && r.Junctions && r.Summary && r.AltStreams && r.EmptyDirs && r.ResArchive && r.Sync);
    EXPECT_TRUE(r.SecEnabled);
    EXPECT_EQ(1u << ssFiles, r.BakSec.Selection);
    EXPECT_EQ("~old", r.BakSec.DirPrefix);
    EXPECT_EQ("bak-#", r.BakSec.FileSuffix);
    EXPECT_EQ("bak", r.BakSec.DirSuffix); // from the program settings, never stored
    EXPECT_EQ(1u << ssDirs, r.SyncSec.Selection);
    EXPECT_EQ("_gone", r.SyncSec.DirPrefix);
    EXPECT_TRUE(r.FilterRegular);
    EXPECT_EQ(fmExclude, r.FilterMode);
    EXPECT_EQ("\\.tmp$", r.Filter);
    EXPECT_EQ("Disk?", r.DriveIdent);
    EXPECT_EQ(5, r.DeltaTime);
    EXPECT_TRUE(r.DstIgnore && r.RsFtp);
    EXPECT_EQ("ftp.example.org", r.FtpPar.Host);
    EXPECT_EQ(mmError, r.MailMode);
    EXPECT_EQ("alice", r.UserAccount);
    EXPECT_EQ("s3cret", r.UserPwd);
    EXPECT_FALSE(r.ClearDest) << "ClearDest is never written";

    const TUnicodeIniFile ini = TUnicodeIniFile::CreateForRead(name);
    EXPECT_EQ("Vastrel", ini.ReadString("Unicode", "Program", ""));
    EXPECT_NE("fixed pass", ini.ReadString("Restore", "Password", "")) << "stored encoded";
}

TEST_F(RestoreTaskTest, MissingAndOddKeysTakeTheirDefaults)
{
    const TRestoreTask empty = Load(Write({}));
    EXPECT_EQ(owNone, empty.Overwrite);
    EXPECT_TRUE(empty.GzUnpack);
    EXPECT_FALSE(empty.ZipUnpack);
    EXPECT_TRUE(empty.CreationTime);
    EXPECT_EQ(0x1F & 7, empty.ProtMode);
    EXPECT_EQ("*", empty.Filter);
    EXPECT_EQ(Date(), empty.Date);
    EXPECT_EQ(2, empty.DeltaTime);
    EXPECT_EQ("~", empty.BakSec.DirPrefix);
    EXPECT_EQ("sync", empty.SyncSec.FileSuffix);
    EXPECT_EQ(0, empty.BakSec.Selection) << "BakDirs and BakFiles default to ignoring";

    EXPECT_EQ("/old", Load(Write({{"SourceDir", "/old"}})).Source);
    EXPECT_EQ("", Load(Write({{"Source", ""}, {"DestDir", "/d"}})).DestDir);
    EXPECT_EQ("/d", Load(Write({{"Source", "/s"}, {"DestDir", "/d"}})).DestDir);
    EXPECT_EQ("/d", Load(Write({{"FtpBackup", "1"}, {"DestDir", "/d"}})).DestDir);
    EXPECT_EQ(rmSeparated, Load(Write({{"Source", "/b/folder"}, {"RestoreMode", "2"}})).RestMode);
    EXPECT_EQ(rmSingleZip, Load(Write({{"Source", "/b/a.ZIP"}, {"RestoreMode", "2"}})).RestMode);
    EXPECT_EQ(2, Load(Write({{"Timespan", "0"}})).DeltaTime);
    EXPECT_EQ(Date(), Load(Write({{"Date", "not a date"}})).Date);
    EXPECT_EQ(".", Load(Write({{"Regular", "1"}})).Filter);
    EXPECT_TRUE(Load(Write({{"ClearDest", "1"}})).ClearDest);
    EXPECT_EQ(mmNone, Load(Write({{"SendMail", "1"}}, {{"SMTP", "smtp.example.org"}})).MailMode)
        << "a mail without recipients is not sent";

    struct Case
    {
        const char* value;
        bool gz, zip;
    };
    for (const Case& c :
         {Case{"0", false, false}, Case{"1", true, false}, Case{"2", false, true}, Case{"3", true, true}}) {
        SCOPED_TRACE(c.value);
        const TRestoreTask t = Load(Write({{"UnCompress", c.value}}));
        EXPECT_EQ(c.gz, t.GzUnpack);
        EXPECT_EQ(c.zip, t.ZipUnpack);
    }
    const TRestoreTask included = Load(Write({{"BakDirs", "0"}, {"SyncFiles", "0"}}));
    EXPECT_EQ(1u << ssDirs, included.BakSec.Selection);
    EXPECT_EQ(1u << ssFiles, included.SyncSec.Selection);
    std::string error;
    ASSERT_TRUE(SaveRestoreTask(sandbox.Path("again.rsj"), included, error));
    const TUnicodeIniFile ini = TUnicodeIniFile::CreateForRead(sandbox.Path("again.rsj"));
    EXPECT_FALSE(ini.ReadBool("Restore", "BakDirs", true));
    EXPECT_TRUE(ini.ReadBool("Restore", "BakFiles", false));
}

TEST_F(RestoreTaskTest, ATaskWithoutPasswordsStoresNone)
{
    TRestoreTask t;
    InitRestoreTask(t);
    t.Source = "/b";
    std::string error;
    ASSERT_TRUE(SaveRestoreTask(sandbox.Path("t.rsj"), t, error));
    const TUnicodeIniFile ini = TUnicodeIniFile::CreateForRead(sandbox.Path("t.rsj"));
    EXPECT_FALSE(ini.ValueExists("Restore", "Password"));
    EXPECT_TRUE(ini.ValueExists("User", "Password"));
    EXPECT_EQ("", ini.ReadString("User", "Password", "x"));
    EXPECT_FALSE(SaveRestoreTask(sandbox.Path("no/such/folder/t.rsj"), t, error));
    EXPECT_EQ("Error saving task \"" + sandbox.Path("no/such/folder/t.rsj") + "\"!", error);
}

TEST_F(RestoreTaskTest, BackupTaskSecuritySettingsFollowTheSuffixRule)
{
    struct Case
    {
        std::string bakSuffix, expected;
    };
    for (const Case& c :
         {Case{"bak-#3/4/2", "bak-#3"}, Case{"bak-#3", "bak-#"}, Case{"bak", "bak"}, Case{"old/2", "old"}}) {
        SCOPED_TRACE(c.bakSuffix);
        EXPECT_EQ(c.expected, CutSuffixLimits(c.bakSuffix));
    }
    const std::string name = sandbox.Path("b.buj");
    {
        TUnicodeIniFile ini = TUnicodeIniFile::CreateForWrite(name, true);
        ini.WriteString("Global", "BakSuffix", "bak-#3/4/2");
        ini.WriteString("Global", "SyncSuffix", "s-#2/1");
        ini.UpdateFile();
    }
    TSecSettings bak, sync;
    bak.Selection = sync.Selection = 3;
    ReadBackupSecSettings(TUnicodeIniFile::CreateForRead(name), bak, sync);
    EXPECT_EQ("~bak", bak.DirPrefix);
    EXPECT_EQ("bak-#3", bak.FileSuffix);
    EXPECT_EQ("_sync", sync.DirPrefix);
    EXPECT_EQ("s-#2/1", sync.FileSuffix) << "the synchronisation suffix stays whole";
    EXPECT_EQ(0, bak.Selection);
    EXPECT_EQ(0, sync.Selection);
}

} // namespace
