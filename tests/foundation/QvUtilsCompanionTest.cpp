#include "foundation/QvUtilsCompanion.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <unistd.h>

#include "foundation/InitProg.h"
#include "foundation/QvUtilsFolders.h"
#include "support/Files.h"
#include "support/Sandbox.h"

namespace fs = std::filesystem;

namespace {

class QvUtilsCompanionTest : public SandboxTest
{
protected:
    std::string DefaultDir() const
    {
        std::string settingsDir, documentsDir, progDir;
        GetDefaultFolders(settingsDir, documentsDir, progDir);
        return settingsDir;
    }
};

// Changes the current folder for one test and back.
class CurrentFolder
{
public:
    explicit CurrentFolder(const std::string& dir) : FOld(fs::current_path()) { fs::current_path(dir); }
    ~CurrentFolder() { fs::current_path(FOld); }

private:
    fs::path FOld;
};

TEST_F(QvUtilsCompanionTest, TheMainProgramIsFoundInTheCurrentFolderAsAnAbsolutePath)
{
    const std::string dir = sandbox.Path("install/");
    WriteFileBytes(dir + "Vastrel", "#!/bin/sh\n");
    {
        CurrentFolder here(dir);
        EXPECT_EQ(fs::path(FindMainProgram()), fs::canonical(dir + "Vastrel"));
    }
    // neither here nor beside the test program, and no registry value: not found
    CurrentFolder elsewhere(sandbox.Path());
    EXPECT_EQ(FindMainProgram(), "");
}

TEST_F(QvUtilsCompanionTest, SettingsFilesAreTakenOverFromTheDefaultFolderOnlyWhenMissing)
{
    const std::string def = DefaultDir();
    ASSERT_TRUE(def.rfind(sandbox.Path(), 0) == 0) << def;
    WriteFileBytes(def + "QvStarter.ini", "default settings");
    struct Case
    {
        const char* name;
        const char* existing; // content of the target before, nullptr: none
        bool result;
        const char* after; // nullptr: still missing
    } cases[] = {
        {"other/QvStarter.ini", nullptr, true, "default settings"},
        {"kept/QvStarter.ini", "own settings", false, "own settings"},
        {"none/QvPlaner.ini", nullptr, false, nullptr},
    };
    for (const Case& c : cases) {
        const std::string file = sandbox.Path(c.name);
        if (c.existing)
            WriteFileBytes(file, c.existing);
        EXPECT_EQ(MigrateSettingsFromDefaultFolder(file), c.result) << c.name;
        if (c.after)
            EXPECT_EQ(ReadFileBytes(file), c.after) << c.name;
        else
            EXPECT_FALSE(fs::exists(file)) << c.name;
    }
    // the default folder itself: true, nothing copied or changed
    EXPECT_TRUE(MigrateSettingsFromDefaultFolder(def + "QvStarter.ini"));
    EXPECT_EQ(ReadFileBytes(def + "QvStarter.ini"), "default settings");
}

TEST_F(QvUtilsCompanionTest, TheInfoTextNamesThePackageOnlyWhenTheMainProgramExists)
{
    const std::string main = sandbox.Path("install/Vastrel");
    WriteFileBytes(main, "#!/bin/sh\n");
    const std::string with = GetProgramInfoText(main, "01.02.2026", 3);
    EXPECT_NE(with.find(") - 01.02.2026\r\n"), std::string::npos) << with;
    const size_t part = with.find("\r\nPart of program package:\r\nVastrel");
    EXPECT_NE(part, std::string::npos) << with;
    const std::string without = GetProgramInfoText(sandbox.Path("install/missing"), "01.02.2026", 3);
    EXPECT_EQ(without, with.substr(0, part));
}

} // namespace
