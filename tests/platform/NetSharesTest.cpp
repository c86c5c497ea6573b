#include "platform/NetShares.h"

#include <fstream>
#include <sstream>
#include <sys/stat.h>

#include "platform/ErrorCodes.h"
#include "support/Files.h"
#include "support/Sandbox.h"

namespace {

class NetSharesTest : public SandboxTest
{
protected:
    // A stand-in for gio that records its arguments and input and exits with the given code and text.
    std::string FakeGio(int exitCode, const std::string& message)
    {
        std::string script = sandbox.Path("gio");
        std::ofstream(script) << "#!/bin/sh\n"
                              << "echo \"$@\" > '" << sandbox.Path("args") << "'\n"
                              << "cat > '" << sandbox.Path("input") << "'\n"
                              << "echo '" << message << "' >&2\n"
                              << "exit " << exitCode << "\n";
        ::chmod(script.c_str(), 0755);
        return script;
    }
};

} // namespace

TEST(ParseUncPathTest, SplitsServerShareAndRest)
{
    TShareName n;
    ASSERT_TRUE(ParseUncPath("//nas/backup/daily/x", n));
    EXPECT_EQ(n.Server, "nas");
    EXPECT_EQ(n.Share, "backup");
    EXPECT_EQ(n.Rest, "daily/x");
    ASSERT_TRUE(ParseUncPath("\\\\srv\\share\\", n));
    EXPECT_EQ(UncRoot(n), "//srv/share");
    EXPECT_EQ(n.Rest, "");
    for (const char* bad : {"/home/u", "//server", "//server/", "///x/y", "", "C:\\x"})
        EXPECT_FALSE(ParseUncPath(bad, n)) << bad;
}

TEST(GioMountErrorCodeTest, MapsMessagesToShareCodes)
{
    EXPECT_EQ(GioMountErrorCode("gio: smb://a/b: Location is already mounted"), ERROR_ALREADY_ASSIGNED);
    EXPECT_EQ(GioMountErrorCode("gio: smb://a/b: Failed to mount Windows share: Permission denied"),
              WinError::ERROR_LOGON_FAILURE);
    EXPECT_EQ(GioMountErrorCode("gio: smb://a/b: Password dialog cancelled"), WinError::ERROR_CANCELLED);
    EXPECT_EQ(GioMountErrorCode("gio: smb://a/b: Failed to mount Windows share: No such file or directory"),
              WinError::ERROR_BAD_NETPATH);
    EXPECT_EQ(GioMountErrorCode("Connection reset by peer"), WinError::ERROR_NETNAME_DELETED);
}

TEST_F(NetSharesTest, GioReceivesTheAccountOnItsInputAndItsResultIsMapped)
{
    GioShareConnector gio;
    gio.GioProgram = FakeGio(0, "");
    TShareName share{"nas", "backup", ""};
    ASSERT_EQ(gio.Connect(share, "anna", "WORKGROUP", "secret"), 0u);
    EXPECT_EQ(ReadFileBytes(sandbox.Path("args")), "mount smb://nas/backup\n");
    EXPECT_EQ(ReadFileBytes(sandbox.Path("input")), "anna\nWORKGROUP\nsecret\n");

    ASSERT_EQ(gio.Connect(share, "", "", ""), 0u);
    EXPECT_EQ(ReadFileBytes(sandbox.Path("args")), "mount --anonymous smb://nas/backup\n");

    gio.GioProgram = FakeGio(2, "gio: smb://nas/backup: Failed to mount Windows share: Permission denied");
    EXPECT_EQ(gio.Connect(share, "anna", "", "wrong"), WinError::ERROR_LOGON_FAILURE);
    gio.GioProgram = sandbox.Path("no-such-gio");
    EXPECT_EQ(gio.Connect(share, "anna", "", "x"), WinError::ERROR_NOT_SUPPORTED);
}

TEST_F(NetSharesTest, TheLocalPathOfAGvfsShareIsFoundUnderTheRuntimeFolder)
{
    GioShareConnector gio;
    TShareName share{"NAS", "Backup", ""};
    EXPECT_EQ(gio.LocalPath(share), "");
    std::string dir = sandbox.Path("runtime/gvfs/smb-share:server=nas,share=backup");
    std::filesystem::create_directories(dir);
    EXPECT_EQ(gio.LocalPath(share), dir);
}
