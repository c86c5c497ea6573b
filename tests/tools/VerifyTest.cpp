#include "tools/Verify.h"

#include <gtest/gtest.h>

#include "ToolTestUtil.h"
#include "backup/TaskFileReader.h"
#include "foundation/IniFileUtils.h"
#include "support/Files.h"
#include "support/Sandbox.h"

namespace {

class VerifyTaskTest : public SandboxTest
{
protected:
    void SetUp() override { tooltest::SetProgramDefaults(); }
    std::string Task(const std::string& text)
    {
        const std::string path = sandbox.Path("task.vfj");
        WriteFileBytes(path, text);
        return path;
    }
};

TEST_F(VerifyTaskTest, SavedTaskReadsBackWithEverySetting)
{
    TVerifySettings s = DefaultVerifySettings();
    s.VerifyMode = vmFolderZips;
    s.Source = sandbox.Path("backup/arch.zip");
    s.ZipBase = sandbox.Path("backup");
    s.DestDir = "/data/docs";
    s.Origin = false;
    s.AgeMode = 7;
    s.TimeCount = 3;
    s.Date = EncodeDate(2024, 2, 29);
    s.ProtMode = 3;
    s.TaskLogName = "verify.log";
    s.UnCompress = false;
    s.NoDecrypt = true;
    s.DefPwd = "fixed secret";
    s.BakSec.DirPrefix = "~old";
    s.BakSec.FileSuffix = "bak%bdate%";
    s.FilterRegular = true;
    s.FilterMode = fmInclude;
    s.FilterText = "\\.txt$";
    s.DriveIdent = "Disk?";
    s.UserAccount = "someone";
    s.UserPwd = "share pass";
    const std::string path = sandbox.Path("saved.vfj");
    SaveVerifyTask(path, s);

    const std::string bytes = ReadFileBytes(path);
    ASSERT_GE(bytes.size(), 2u);
    EXPECT_EQ(bytes.substr(0, 2), "\xFF\xFE") << "task files are UTF-16LE with a byte-order mark";
    TUnicodeIniFile raw = TUnicodeIniFile::CreateForRead(path);
    EXPECT_EQ(raw.ReadString("Unicode", "Program", ""), "Vastrel");
    EXPECT_NE(raw.ReadString("Verify", "Password", ""), "fixed secret") << "the password is stored encoded";

    TVerifySettings r = DefaultVerifySettings();
    LoadVerifyTask(path, r);
    EXPECT_EQ(r.VerifyMode, vmFolderZips);
    EXPECT_EQ(r.Source, s.Source);
    EXPECT_EQ(r.ZipBase, s.ZipBase);
    EXPECT_EQ(r.DestDir, s.DestDir);
    EXPECT_FALSE(r.Origin);
    EXPECT_EQ(r.AgeMode, 7);
    EXPECT_EQ(r.TimeCount, 3);
    EXPECT_EQ(r.Date, s.Date);
    EXPECT_EQ(r.ProtMode, 3);
    EXPECT_EQ(r.TaskLogName, "verify.log");
    EXPECT_FALSE(r.UnCompress);
    EXPECT_TRUE(r.NoDecrypt);
    EXPECT_EQ(r.DefPwd, "fixed secret");
    EXPECT_EQ(r.BakSec.DirPrefix, "~old");
    EXPECT_EQ(r.BakSec.FileSuffix, "bak%bdate%");
    EXPECT_EQ(r.SyncSec.DirPrefix, "_");
    EXPECT_TRUE(r.FilterRegular);
    EXPECT_EQ(r.FilterMode, fmInclude);
    EXPECT_EQ(r.FilterText, "\\.txt$");
    EXPECT_EQ(r.DriveIdent, "Disk?");
    EXPECT_EQ(r.UserAccount, "someone");
    EXPECT_EQ(r.UserPwd, "share pass");
}

struct LoadCase
{
    const char* name;
    std::string text;
    int verifyMode;
    TMailMode mail;
    const char* userPwd;
    const char* filter;
};

TEST_F(VerifyTaskTest, LoadingAppliesTheRulesOfTheTaskFile)
{
    const std::string zip = sandbox.Path("arch.zip");
    WriteFileBytes(zip, "PK");
    const std::string pwd = taskfile::EncodePasswordText("pw");
    const LoadCase cases[] = {
        {"zip mode with a folder as source loads as separated files",
         "[Verify]\nVerifyMode=2\nSource=/some/folder\n", vmSeparated, mmNone, "", "*"},
        {"zip mode with an archive as source stays", "[Verify]\nVerifyMode=2\nSource=" + zip + "\n",
         vmSingleZip, mmNone, "", "*"},
        {"mail without recipients loads as no mail", "[Verify]\nSendMail=1\n[Mail]\nSMTP=mail.example\n",
         vmSeparated, mmNone, "", "*"},
        {"mail with server and recipients stays",
         "[Verify]\nSendMail=2\n[Mail]\nSMTP=mail.example\nRecipients=a@example.org\n", vmSeparated, mmError,
         "", "*"},
        {"a password without a user name is ignored", "[Verify]\n[User]\nUsername=\nPassword=" + pwd + "\n",
         vmSeparated, mmNone, "", "*"},
        {"a regular filter without text matches everything", "[Verify]\nRegular=1\n", vmSeparated, mmNone, "",
         "."},
    };
    for (const auto& c : cases) {
        TVerifySettings s = DefaultVerifySettings();
        LoadVerifyTask(Task(c.text), s);
        EXPECT_EQ(s.VerifyMode, c.verifyMode) << c.name;
        EXPECT_EQ(s.MailMode, c.mail) << c.name;
        EXPECT_EQ(s.UserPwd, c.userPwd) << c.name;
        EXPECT_EQ(s.FilterText, c.filter) << c.name;
    }
}

TEST_F(VerifyTaskTest, MissingOrUnreadableDateGivesToday)
{
    for (const char* text : {"[Verify]\n", "[Verify]\nDate=31.31.31x\n"}) {
        TVerifySettings s = DefaultVerifySettings();
        s.Date = 1;
        LoadVerifyTask(Task(text), s);
        EXPECT_EQ(s.Date, Date()) << text;
        EXPECT_TRUE(s.Origin) << "compare with the source folders by default";
        EXPECT_TRUE(s.UnCompress);
        EXPECT_EQ(s.DriveIdent, "Drv?");
    }
}

TEST_F(VerifyTaskTest, AMissingTaskFileRaises)
{
    TVerifySettings s = DefaultVerifySettings();
    EXPECT_ANY_THROW(LoadVerifyTask(sandbox.Path("none.vfj"), s));
}

TEST_F(VerifyTaskTest, DialogStateDropsTheObsoleteKeys)
{
    TMemIniFile ini(sandbox.Path("Vastrel.ini"));
    ini.WriteInteger("Verify", "LogFile", 3);
    ini.WriteString("Verify", "DirPrefix", "~");
    TVerifySettings s = DefaultVerifySettings();
    s.Source = "/backup";
    s.AgeMode = 5;
    WriteVerifyDialogState(ini, s);
    EXPECT_FALSE(ini.ValueExists("Verify", "LogFile"));
    EXPECT_FALSE(ini.ValueExists("Verify", "DirPrefix"));
    TVerifySettings r = DefaultVerifySettings();
    ReadVerifyDialogState(ini, r);
    EXPECT_EQ(r.Source, "/backup");
    EXPECT_EQ(r.AgeMode, 0) << "the age selection starts at all files";
    EXPECT_TRUE(r.Origin);
}

TEST(VerifyAgeModeTest, PeriodUnitsGiveTheirModes)
{
    struct
    {
        int unit;
        bool older;
        int mode;
    } cases[] = {{0, true, 3}, {0, false, 4}, {1, true, 5}, {2, false, 8}, {2, true, 7}, {3, false, 10}};
    for (const auto& c : cases)
        EXPECT_EQ(VerifyPeriodAgeMode(c.unit, c.older), c.mode) << c.unit << " " << c.older;
}

} // namespace
