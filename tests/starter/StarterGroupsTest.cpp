// The groups and the settings file of QvStarter: what is read, what is written back, where the file is.

#include <filesystem>

#include <gtest/gtest.h>

#include "foundation/IniFileUtils.h"
#include "starter/StarterGroups.h"
#include "support/Files.h"
#include "support/Sandbox.h"

namespace {

class StarterGroupsTest : public SandboxTest
{
protected:
    std::string Ini() const { return sandbox.Path("QvStarter.ini"); }
    void WriteIni(const std::string& text) { WriteFileBytes(Ini(), text); }
};

TEST_F(StarterGroupsTest, GroupsReadWithTheirDefaultsAndAreWrittenBackTheSameWay)
{
    WriteFileBytes(sandbox.Path("a.buj"), "");
    WriteFileBytes(sandbox.Path("b c.buj"), "");
    WriteIni("[Config]\nTaskCount=3\nLastTask=nightly\n"
             "[Mail]\nSMTP=mail.example\nEnabled=1\n"
             "[Task00]\nDescription=Nightly\nUsername=OFFICE\\backup\nParallel=1\nStartDelay=10\nCount=4\n"
             "TaskFile00=#" +
             sandbox.Path("a.buj") + "\nTaskFile01=" + sandbox.Path("b c.buj") +
             "\nTaskFile02=\nTaskFile03=" + sandbox.Path("gone.buj") +
             "\n"
             "[Task02]\nDescription=Weekly\nPlaySound=0\nStatusWindow=3\nWaitTime=9\n");
    TStarterSettings s;
    LoadStarterSettings(Ini(), "", s);
    ASSERT_EQ(s.Groups.size(), 3u);
    const auto& g = *s.Groups[0];
    EXPECT_EQ(g.Desc, "Nightly");
    EXPECT_EQ(g.User, "OFFICE\\backup");
    EXPECT_TRUE(g.ParProc);
    EXPECT_TRUE(g.PlaySound) << "a group read without the key PlaySound plays sounds";
    EXPECT_TRUE(g.PwdPrompt);
    EXPECT_EQ(g.StartDelay, 10);
    ASSERT_EQ(g.Tasks.size(), 2u) << "the empty entry and the missing file are dropped";
    EXPECT_FALSE(g.IsChecked(0));
    EXPECT_TRUE(g.IsChecked(1));
    EXPECT_EQ(s.Groups[1]->Desc, "Task01") << "a missing section gives a group named after it";
    EXPECT_TRUE(s.Groups[1]->Tasks.empty());
    EXPECT_EQ(s.Groups[2]->Status, 3);
    EXPECT_EQ(s.Groups[2]->Delay, 9);
    EXPECT_FALSE(s.MailData.Enabled) << "no recipients: the report cannot be sent";
    EXPECT_EQ(s.MailData.Sender, "QvStarter");
    EXPECT_EQ(InitialGroupIndex(s), 0) << "LastTask is found without regard to case";

    TTaskProperties fresh("New");
    EXPECT_FALSE(fresh.PlaySound) << "a group made in the window starts without sounds";

    s.Groups[0]->Pwd = "s3cret pass";
    s.MailData.Password = "mailpwd";
    SaveStarterSettings(Ini(), s);
    auto ini = TUnicodeIniFile::CreateForRead(Ini());
    EXPECT_EQ(ini.ReadString("Task00", "TaskFile00", ""), "#" + sandbox.Path("a.buj"));
    EXPECT_EQ(ini.ReadString("Task01", "Description", ""), "Task01");
    const std::string stored = ini.ReadString("Task00", "Password", "");
    EXPECT_FALSE(stored.empty());
    EXPECT_EQ(stored.find("s3cret"), std::string::npos) << "passwords are stored encoded";
    EXPECT_EQ(ReadFileBytes(Ini()).find("mailpwd"), std::string::npos);

    TStarterSettings again;
    LoadStarterSettings(Ini(), "Weekly", again);
    EXPECT_EQ(again.Groups[0]->Pwd, "s3cret pass");
    EXPECT_EQ(again.MailData.Password, "mailpwd");
    EXPECT_EQ(again.Groups[0]->Tasks.size(), 2u);
    EXPECT_FALSE(again.Groups[2]->PlaySound);
    EXPECT_EQ(InitialGroupIndex(again), 2) << "a group named on the command line is shown first";
}

TEST_F(StarterGroupsTest, TheHundredthGroupAndTheNextGetThreeDigitsOnlyWhenNeeded)
{
    TStarterSettings s;
    for (int i = 0; i < 101; ++i)
        s.Groups.push_back(std::make_unique<TTaskProperties>("G" + std::to_string(i)));
    SaveStarterSettings(Ini(), s);
    auto ini = TUnicodeIniFile::CreateForRead(Ini());
    EXPECT_EQ(ini.ReadString("Task99", "Description", ""), "G99");
    EXPECT_EQ(ini.ReadString("Task100", "Description", ""), "G100");
    EXPECT_EQ(ini.ReadString("Task05", "Description", ""), "G5");
}

TEST_F(StarterGroupsTest, MissingOrDamagedSettingsReadAsDefaults)
{
    TStarterSettings s;
    LoadStarterSettings(sandbox.Path("none.ini"), "", s);
    EXPECT_TRUE(s.Groups.empty());
    EXPECT_EQ(InitialGroupIndex(s), -1);

    WriteIni(std::string("\xFF\xFE[\0C\0o\0n", 10) +
             "\x01\x02garbage=\n[Config]\nTaskCount=-5\n[Mail]\nUseTLS=77\n");
    LoadStarterSettings(Ini(), "", s);
    EXPECT_TRUE(s.Groups.empty());
    EXPECT_EQ(s.MailData.SecureMode, stNone);
}

TEST_F(StarterGroupsTest, TheIniOptionPlacesTheSettingsFile)
{
    const std::string app = sandbox.Path("app/");
    std::filesystem::create_directories(app);
    const std::string cfg = sandbox.Path("Cfg");
    struct Case
    {
        std::string option, iniName, aIniPath;
    } cases[] = {
        {cfg + "/", cfg + "/QvStarter.ini", cfg + "/"},
        {cfg, cfg + "/QvStarter.ini", cfg + "/"},
        {cfg + "/x.ini", cfg + "/x.ini", cfg + "/"},
        {"my", app + "my.ini", ""},
    };
    for (const auto& c : cases) {
        TStarterLocation loc = LocateSettingsFile(app, "QvStarter", c.option);
        EXPECT_EQ(loc.IniName, c.iniName) << c.option;
        EXPECT_EQ(loc.AIniPath, c.aIniPath) << c.option;
        if (!c.aIniPath.empty()) {
            EXPECT_EQ(loc.SettingsDir, c.aIniPath) << c.option;
        }
    }
    TStarterLocation def = LocateSettingsFile(app, "QvStarter", "");
    EXPECT_EQ(def.IniName, app + "QvStarter.ini");
    EXPECT_TRUE(def.AIniPath.empty());
}

} // namespace
