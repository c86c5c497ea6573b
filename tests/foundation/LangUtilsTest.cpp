#include "foundation/LangUtils.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "foundation/InitProg.h"
#include "foundation/QvUtilsTexts.h"
#include "rtl/Gettext.h"
#include "support/Files.h"
#include "support/Sandbox.h"

namespace {

class LangUtilsTest : public SandboxTest
{
protected:
    void SetUp() override
    {
        FSavedCfg = LanguageCfgFile;
        LanguageCfgFile = sandbox.Path("home/.config/Vastrel6/Vastrel.cfg");
    }
    void TearDown() override
    {
        UseLanguage("en");
        LanguageCfgFile = FSavedCfg;
        LanguageCode.clear();
        LanguageMaySave = true;
    }
    std::string FSavedCfg;
};

TEST_F(LangUtilsTest, LangOptionForcesTheLanguageAndTheLastOneCounts)
{
    std::string code;
    ReadLanguageOptions(code, {"-lang:fr", "task.buj", "/lang:it"});
    EXPECT_EQ(code, "it");
    EXPECT_FALSE(LanguageMaySave);
    ReadLanguageOptions(code, {"-l:de_DE"});
    EXPECT_EQ(code, "de");
    ReadLanguageOptions(code, {"/home/u/lang:xx.buj"}); // a path, not an option
    EXPECT_EQ(code, "");
    EXPECT_TRUE(LanguageMaySave);
}

TEST_F(LangUtilsTest, LanguageIsReadFromTheConfigurationFileUnlessForced)
{
    std::filesystem::create_directories(sandbox.Path("home/.config/Vastrel6"));
    std::ofstream(LanguageCfgFile) << "[Config]\nDarkMode=1\n\n[Language]\nLangID=fr\n";
    std::string code;
    ReadLanguageOptions(code, {});
    EXPECT_EQ(code, "fr");
    EXPECT_TRUE(LanguageMaySave);

    ReadLanguageOptions(code, {"-lang:it"});
    SaveLanguageCode(code);
    EXPECT_EQ(LanguageCode, "it");
    EXPECT_EQ(ReadFileBytes(LanguageCfgFile), "[Config]\nDarkMode=1\n\n[Language]\nLangID=fr\n");

    ReadLanguageOptions(code, {});
    SaveLanguageCode("de");
    EXPECT_EQ(ReadFileBytes(LanguageCfgFile), "[Config]\nDarkMode=1\n\n[Language]\nLangID=de\n");
}

TEST_F(LangUtilsTest, IniAndPortableOptionsMoveTheConfigurationFile)
{
    setenv("VASTREL_SETTINGS_BASE", sandbox.Path("cfg").c_str(), 1);
    std::string code;
    ReadLanguageOptions(code, {"-ini:%VASTREL_SETTINGS_BASE%/sub/my.ini"});
    EXPECT_EQ(LanguageCfgFile, sandbox.Path("cfg") + "/sub/Vastrel.cfg");

    LanguageCfgFile = sandbox.Path("home/.config/Vastrel6/Vastrel.cfg");
    ReadLanguageOptions(code, {"-portable"});
    EXPECT_EQ(LanguageCfgFile, ProgramDir + "Vastrel.cfg");

    LanguageCfgFile = sandbox.Path("home/.config/Vastrel6/Vastrel.cfg");
    ReadLanguageOptions(code, {"-p", "-ini:sub/my.ini"});
    EXPECT_EQ(LanguageCfgFile, ProgramDir + "sub/my.cfg");

    LanguageCfgFile = sandbox.Path("home/.config/Vastrel6/Vastrel.cfg");
    ReadLanguageOptions(code, {"-"}); // an empty name abbreviates "portable"
    EXPECT_EQ(LanguageCfgFile, ProgramDir + "Vastrel.cfg");

    LanguageCfgFile = sandbox.Path("home/.config/Vastrel6/Vastrel.cfg");
    ReadLanguageOptions(code, {"-ini:" + sandbox.Path("abs") + "/"});
    EXPECT_EQ(LanguageCfgFile, sandbox.Path("abs") + "/Vastrel.cfg");
    unsetenv("VASTREL_SETTINGS_BASE");
}

TEST_F(LangUtilsTest, SwitchingTheLanguageLoadsTheCompiledCatalogue)
{
    ASSERT_TRUE(UseLanguage("de"));
    EXPECT_EQ(_("Task not found"), "Aufgabe nicht gefunden");
    EXPECT_EQ(GetErrorStateText(1), "Aufgabe nicht gefunden!");
    EXPECT_EQ(FileCountText(3, false), "3 Dateien");

    std::string notified;
    SetLanguageChangedHandler([&](const std::string& code) { notified = code; });
    LanguageMaySave = true;
    ChangeLanguage("en");
    SetLanguageChangedHandler(nullptr);
    EXPECT_EQ(notified, "en");
    EXPECT_EQ(GetErrorStateText(1), "Task not found!");
    EXPECT_NE(ReadFileBytes(LanguageCfgFile).find("LangID=en"), std::string::npos);
}

TEST_F(LangUtilsTest, SystemLanguageComesFromTheEnvironment)
{
    const char* saved = std::getenv("LANGUAGE");
    std::string savedValue = saved ? saved : "";
    setenv("LANGUAGE", "pt_BR:en", 1);
    EXPECT_EQ(GetSystemLanguage(), "pt");
    setenv("LANGUAGE", "", 1);
    // The tests run with LC_ALL=C.UTF-8: no language.
    EXPECT_EQ(GetSystemLanguage(), "en");
    if (saved)
        setenv("LANGUAGE", savedValue.c_str(), 1);
    else
        unsetenv("LANGUAGE");
}

TEST_F(LangUtilsTest, LanguageListIsReadAndTranslated)
{
    std::filesystem::create_directories(sandbox.Path("prog/locale/de/LC_MESSAGES"));
    std::ofstream(sandbox.Path("prog/Language.cfg"))
        << "# languages\n\n de = Deutsch # German\nfr=Français#comment\n=Nobody\nxx=\nit=Italiano\n";
    std::ofstream(sandbox.Path("prog/locale/de/LC_MESSAGES/Language.cfg"))
        << "fr=Französisch\nit=Italienisch\n";
    TLanguageList list(sandbox.Path("prog"), "Language.cfg");
    ASSERT_EQ(list.Count(), 4);
    EXPECT_EQ(list.Names(0), "&System default");
    EXPECT_EQ(list.GetLangCode(0), "");
    EXPECT_EQ(list.Names(1), "Deutsch");
    EXPECT_EQ(list.GetLangCode(1), "de");
    EXPECT_EQ(list.Names(2), "Français");
    EXPECT_EQ(list.GetLangCode(2), "fr");

    EXPECT_TRUE(list.LoadLanguageNames("de"));
    EXPECT_EQ(list.SelectedLanguageCode(), "de");
    EXPECT_EQ(list.CurrentLanguage(), "Deutsch");
    EXPECT_EQ(list.Names(2), "Französisch");
    EXPECT_EQ(list.Names(3), "Italienisch");
    EXPECT_FALSE(list.LoadLanguageNames("fr"));
    EXPECT_EQ(list.CurrentLanguage(), "Français");
    EXPECT_FALSE(list.LoadLanguageNames(""));
    EXPECT_EQ(list.SelectedLanguageCode(), "fr");
}

TEST_F(LangUtilsTest, IniPathVariablesExpandIgnoringCase)
{
    setenv("VASTREL_T2", "/x", 1);
    EXPECT_EQ(ExpandIniPathVars("%vastrel_t2%/a/%VASTREL_T2%"), "/x/a//x");
    EXPECT_EQ(ExpandIniPathVars("%VASTREL_UNDEFINED%/a"), "/a");
    EXPECT_EQ(ExpandIniPathVars("50%/a"), "50%/a");
    unsetenv("VASTREL_T2");
}

TEST(InitProgTest, VersionTextsAndFolders)
{
    EXPECT_EQ(MakeVersionText("6.1.2.345", 3), "Version 6.1.2");
    EXPECT_EQ(MakeVersionText("6.1", 3), "Version 6.1");
    EXPECT_FALSE(ProgramDir.empty());
    EXPECT_EQ(ProgramDir.back(), '/');
    EXPECT_EQ(ProgramName, "foundation_tests");
    std::string title, date;
    InitProgInfo("Vastrel", "6.0.0", "", 3, title, date);
    EXPECT_EQ(title.rfind("Vastrel (Version ", 0), 0u);
    EXPECT_FALSE(date.empty());
}

TEST(InitProgTest, AppDataSubFolderIsCreatedOnRequest)
{
    Sandbox sandbox;
    std::string dir;
    GetAppDataSubFolder("Vastrel6/x", true, dir);
    EXPECT_EQ(dir, sandbox.Path("home/.config") + "/Vastrel6/x");
    EXPECT_TRUE(std::filesystem::is_directory(dir));
}

} // namespace
