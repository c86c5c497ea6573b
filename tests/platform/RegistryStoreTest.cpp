#include "platform/RegistryStore.h"

#include <fstream>
#include <sstream>

#include "platform/ErrorCodes.h"
#include "support/Sandbox.h"

namespace {

class RegistryStoreTest : public SandboxTest
{
protected:
    void TearDown() override { SetMachineRegistryFile(""); }
};

} // namespace

TEST_F(RegistryStoreTest, ValuesAreKeptPerUserUnderKeyPathsWithoutRegardToCase)
{
    EXPECT_EQ(RegistryFileName(TRegRoot::User), sandbox.Path("home/.config/Vastrel6.reg"));
    std::string v;
    EXPECT_FALSE(RegReadString(TRegRoot::User, "Software\\Vastrel6", "IniPath", v));
    ASSERT_EQ(RegWriteString(TRegRoot::User, "Software\\Vastrel6", "IniPath", "/data/settings/"), 0u);
    ASSERT_EQ(RegWriteString(TRegRoot::User, "Software\\Other", "X", "1"), 0u);
    ASSERT_EQ(RegWriteString(TRegRoot::User, "software\\vastrel6", "iniPATH", "/data/other/"), 0u);
    ASSERT_TRUE(RegReadString(TRegRoot::User, "SOFTWARE\\VASTREL6", "IniPath", v));
    EXPECT_EQ(v, "/data/other/");
    EXPECT_TRUE(RegKeyExists(TRegRoot::User, "Software\\Other"));

    std::ifstream in(RegistryFileName(TRegRoot::User));
    std::stringstream ss;
    ss << in.rdbuf();
    EXPECT_EQ(ss.str(), "[Software\\Vastrel6]\nIniPath=/data/other/\n\n[Software\\Other]\nX=1\n\n");

    ASSERT_EQ(RegDeleteValue(TRegRoot::User, "Software\\Vastrel6", "IniPath"), 0u);
    EXPECT_FALSE(RegReadString(TRegRoot::User, "Software\\Vastrel6", "IniPath", v));
    EXPECT_EQ(RegDeleteValue(TRegRoot::User, "Software\\Vastrel6", "IniPath"),
              WinError::ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegWriteString(TRegRoot::User, "K", "N", "two\nlines"), WinError::ERROR_INVALID_PARAMETER);
}

TEST_F(RegistryStoreTest, MachineValuesAreReadFromTheirOwnFile)
{
    SetMachineRegistryFile(sandbox.Path("etc-Vastrel6.reg"));
    std::ofstream(sandbox.Path("etc-Vastrel6.reg"))
        << "; machine\n[Software\\Vastrel6]\r\nProgram = /usr/bin/vastrel\r\n";
    std::string v;
    ASSERT_TRUE(RegReadString(TRegRoot::Machine, "Software\\Vastrel6", "Program", v));
    EXPECT_EQ(v, "/usr/bin/vastrel");
    EXPECT_FALSE(RegReadString(TRegRoot::User, "Software\\Vastrel6", "Program", v));
}
