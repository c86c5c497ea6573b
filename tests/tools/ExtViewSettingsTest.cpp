#include "tools/ExtViewSettings.h"

#include <gtest/gtest.h>

#include "support/Sandbox.h"

namespace {

TEST(ExtViewSettingsTest, OnlyWinMergeGetsOptions)
{
    struct
    {
        const char* prog;
        const char* options;
    } cases[] = {{"/opt/Tools/WinMergeU.exe", "/e /x /s /u /wl /wr"},
                 {"/usr/bin/winmerge", "/e /x /s /u /wl /wr"},
                 {"/usr/bin/meld", ""},
                 {"", ""}};
    for (const auto& c : cases)
        EXPECT_EQ(DefaultCompareOptions(c.prog), c.options) << c.prog;
}

class ExtViewIniTest : public SandboxTest
{
};

TEST_F(ExtViewIniTest, ProgramsLiveInTheUtilitiesSection)
{
    TMemIniFile ini(sandbox.Path("Vastrel.ini"));
    WriteExternalPrograms(ini, {"/usr/bin/less", "/usr/bin/meld", "--diff"});
    EXPECT_EQ(ini.ReadString("Utilities", "Viewer", ""), "/usr/bin/less");
    EXPECT_EQ(ini.ReadString("Utilities", "CompareProg", ""), "/usr/bin/meld");
    EXPECT_EQ(ini.ReadString("Utilities", "CompareOptions", ""), "--diff");
    TExternalPrograms p;
    ReadExternalPrograms(ini, p);
    EXPECT_EQ(p.CompOpt, "--diff");
}

} // namespace
