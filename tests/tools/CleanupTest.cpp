#include "tools/Cleanup.h"

#include <gtest/gtest.h>

#include "ToolTestUtil.h"
#include "backup/TaskFileReader.h"
#include "support/Files.h"
#include "support/Sandbox.h"

namespace {

class CleanupTaskTest : public SandboxTest
{
protected:
    void SetUp() override { tooltest::SetProgramDefaults(); }
    TCleanupSettings Load(const std::string& text)
    {
        const std::string path = sandbox.Path("task.cuj");
        WriteFileBytes(path, text);
        TCleanupSettings s = DefaultCleanupSettings();
        LoadCleanupTask(path, s);
        return s;
    }
};

TEST_F(CleanupTaskTest, FilesOfOlderVersionsGetTheirFixedPeriods)
{
    struct
    {
        const char* keys;
        int mode;
        int count;
    } cases[] = {
        {"Mode=1", caWeeks, 1},
        {"Mode=2", caWeeks, 4},
        {"Mode=3", caMonths, 6},
        {"Mode=4", caYears, 1},
        {"Mode=5", caBefore, 1},
        {"Mode=0", caAll, 1},
        {"Mode=3\nTimeCount=2", caMonths, 2},
        {"", caWeeks, 4},
    };
    for (const auto& c : cases) {
        const TCleanupSettings s = Load(std::string("[Cleanup]\n") + c.keys + "\n");
        EXPECT_EQ(s.AgeMode, c.mode) << c.keys;
        EXPECT_EQ(s.TimeCount, c.count) << c.keys;
    }
}

TEST_F(CleanupTaskTest, SecurityCopyAgeIsOneNumber)
{
    struct
    {
        int value;
        bool enabled;
        int count;
        int unit;
    } cases[] = {{73736, true, 8, 2}, {4102, false, 6, 1}, {0x10003, true, 3, 0}, {0x3005, false, 5, 0}};
    for (const auto& c : cases) {
        const TSecAge age = DecodeSecOptions(c.value);
        EXPECT_EQ(age.Enabled, c.enabled) << c.value;
        EXPECT_EQ(age.Count, c.count) << c.value;
        EXPECT_EQ(age.Unit, c.unit) << c.value;
    }
    EXPECT_EQ(EncodeSecOptions(DecodeSecOptions(73736)), 73736);
    const TCleanupSettings s = Load("[Cleanup]\nSecOptions=73736\n");
    EXPECT_TRUE(s.SecAge.Enabled);
    EXPECT_EQ(s.SecAge.Count, 8);
    EXPECT_EQ(s.SecAge.Unit, 2);
}

TEST_F(CleanupTaskTest, SavedTaskReadsBackAndAnUnreadableSizeIsStoredAsTheDefault)
{
    TCleanupSettings s = DefaultCleanupSettings();
    s.Directory = "/backup/dest";
    s.AgeMode = caSince;
    s.TimeCount = 9;
    s.Date = EncodeDate(2023, 5, 31);
    s.TypesMode = 2;
    s.TypeList = "tmp,BAK";
    s.Subject = csSecurityCopies;
    s.FreeSpace = true;
    s.SpaceText = "lots";
    s.Sync = csyFolder;
    s.SyncDir = "/data";
    s.UseRecycler = true;
    s.EmptyDirs = false;
    s.EmptyRoot = false;
    s.BakSec.Selection = 1u << ssFiles;
    s.BakSec.FileSuffix = "bak;old#";
    s.SecAge = {true, 8, 2};
    s.UserAccount = "u";
    s.UserPwd = "p w";
    const std::string path = sandbox.Path("saved.cuj");
    SaveCleanupTask(path, s);
    TUnicodeIniFile raw = TUnicodeIniFile::CreateForRead(path);
    EXPECT_EQ(raw.ReadString("Cleanup", "SpaceSize", ""), "104857600");

    TCleanupSettings r = DefaultCleanupSettings();
    LoadCleanupTask(path, r);
    EXPECT_EQ(r.Directory, s.Directory);
    EXPECT_EQ(r.AgeMode, caSince);
    EXPECT_EQ(r.TimeCount, 9);
    EXPECT_EQ(r.Date, s.Date);
    EXPECT_EQ(r.TypesMode, 2);
    EXPECT_EQ(r.TypeList, "tmp,BAK");
    EXPECT_EQ(r.Subject, csSecurityCopies);
    EXPECT_TRUE(r.FreeSpace);
    EXPECT_EQ(r.SpaceSize, DefaultSpaceSize);
    EXPECT_EQ(r.Sync, csyFolder);
    EXPECT_EQ(r.SyncDir, "/data");
    EXPECT_TRUE(r.UseRecycler);
    EXPECT_FALSE(r.EmptyDirs);
    EXPECT_FALSE(r.EmptyRoot);
    EXPECT_EQ(r.BakSec.Selection, 1u << ssFiles);
    EXPECT_EQ(r.BakSec.FileSuffix, "bak;old#");
    EXPECT_EQ(EncodeSecOptions(r.SecAge), 73736);
    EXPECT_EQ(r.UserPwd, "p w");
}

TEST_F(CleanupTaskTest, LoadingKeepsWhatTheFileCannotMean)
{
    const std::string pwd = taskfile::EncodePasswordText("secret");
    TCleanupSettings s = Load("[Cleanup]\nSpaceSize=0x200000\nSendMail=1\nRegular=1\nFilter=([\n[Mail]\n"
                              "SMTP=mail.example\n[User]\nPassword=" +
                              pwd + "\n");
    EXPECT_EQ(s.SpaceSize, 0x200000) << "a size starting with 0x is hexadecimal";
    EXPECT_EQ(s.MailMode, mmNone) << "mail without recipients";
    EXPECT_EQ(s.UserPwd, "") << "a password without user name is ignored";
    EXPECT_EQ(s.FilterText, ".") << "a filter the filter refuses matches everything";
}

TEST_F(CleanupTaskTest, DialogStateStartsWithoutSynchronisationAndFreeSpace)
{
    TMemIniFile ini(sandbox.Path("Vastrel.ini"));
    TCleanupSettings s = DefaultCleanupSettings();
    s.TypesMode = 1;
    s.TypeList = "";
    s.Sync = csyOrigin;
    s.FreeSpace = true;
    WriteCleanupDialogState(ini, s);
    TCleanupSettings r = DefaultCleanupSettings();
    ReadCleanupDialogState(ini, r);
    EXPECT_EQ(r.TypesMode, 0) << "types mode without a list reads as all";
    EXPECT_EQ(r.Sync, csyOff);
    EXPECT_FALSE(r.FreeSpace);
    EXPECT_TRUE(r.EmptyRoot);
}

} // namespace
