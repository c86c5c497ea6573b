#include "foundation/WinApiUtils.h"

#include <fstream>
#include <sys/xattr.h>
#include <unistd.h>

#include "platform/ErrorCodes.h"
#include "platform/EventLog.h"
#include "platform/MachineInfo.h"
#include "support/PlatformFakes.h"
#include "support/Sandbox.h"

namespace {

class WinApiUtilsTest : public SandboxTest
{
protected:
    FakeMachineInfo machine;
    RecordingEventLogSink log;
    void SetUp() override
    {
        MachineInfo::SetCurrent(&machine);
        EventLogSink::SetCurrent(&log);
    }
    void TearDown() override
    {
        MachineInfo::SetCurrent(nullptr);
        EventLogSink::SetCurrent(nullptr);
    }
};

} // namespace

TEST_F(WinApiUtilsTest, NamesRightsAndSessionsComeFromTheMachine)
{
    EXPECT_EQ(GetCurrentUserName(), "tester");
    EXPECT_EQ(GetDomainUserName(), "tester");
    EXPECT_EQ(GetLocalComputerName(), "testhost");
    EXPECT_EQ(GetUserProfileDir(), sandbox.Path("home"));
    EXPECT_EQ(GetTempDir().back(), '/');
    EXPECT_FALSE(IsAdministrator());
    machine.Root = true;
    EXPECT_TRUE(IsProcessElevated());
    EXPECT_EQ(GetUserSidString(), "S-1-22-1-" + std::to_string(::geteuid()));
    EXPECT_EQ(GetUserSessionCount(), 0);
    machine.Sessions = {{"tester", "tty1", "", 1700000000, 1}, {"tester", "pts/0", "", 1600000000, 2}};
    EXPECT_EQ(GetUserSessionCount(), 2);
    EXPECT_DOUBLE_EQ(GetUserLogonTime(), UnixToLocalDateTime(1600000000));
    machine.SessionsReadable = false;
    EXPECT_EQ(GetUserSessionCount(), -1);
    EXPECT_TRUE(Is64BitWindows());
    machine.Arch = "i686";
    EXPECT_FALSE(IsWin64());
    EXPECT_EQ(GetShortFileVersion("/bin/sh", "1.0"), "1.0");
}

TEST_F(WinApiUtilsTest, TheOperatingSystemLineNamesDistributionKernelAndBitness)
{
    machine.OsRelease = "PRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\n";
    machine.Kernel = "6.1.0-13-amd64";
    EXPECT_EQ(GetWindowsVersionText(),
              "Debian GNU/Linux 12 (bookworm) (Kernel 6.1.0-13-amd64, 64-bit Edition)");
    machine.Kernel.clear();
    machine.Arch = "armv7l";
    EXPECT_EQ(GetWindowsVersionText(), "Debian GNU/Linux 12 (bookworm) (32-bit Edition)");
}

TEST_F(WinApiUtilsTest, EventLogEntriesGoToTheSystemLog)
{
    EXPECT_TRUE(EventSourceExists("Vastrel"));
    EXPECT_EQ(WriteEventLog("Vastrel", 1, 1, 0xC000000E, {"/home/u/a.buj"}), 0u);
    ASSERT_EQ(log.Records.size(), 1u);
    EXPECT_EQ(log.Records[0].EventId, 0xC000000Eu);
    EXPECT_EQ(log.Records[0].Strings.at(0), "/home/u/a.buj");
    log.IsAvailable = false;
    EXPECT_FALSE(EventSourceExists("Vastrel"));
    EXPECT_EQ(WriteEventLog("Vastrel", 4, 1, 0x4000000B, {}), 0u);
    EXPECT_EQ(log.Records.size(), 1u);
}

TEST_F(WinApiUtilsTest, StreamsAreTheFileItselfThenItsUserAttributes)
{
    std::string f = sandbox.Path("s.txt");
    std::ofstream(f) << "12345";
    ASSERT_EQ(::setxattr(f.c_str(), "user.summary", "abc", 3, 0), 0);
    TWin32FindStream s;
    ASSERT_EQ(FindFirstStream(f, s), 0u);
    EXPECT_EQ(s.Name, "::$DATA");
    EXPECT_EQ(s.Size, 5);
    ASSERT_EQ(FindNextStream(s), 0u);
    EXPECT_EQ(s.Name, ":summary:$DATA");
    EXPECT_EQ(s.Size, 3);
    EXPECT_EQ(FindNextStream(s), WinError::ERROR_HANDLE_EOF);
    EXPECT_EQ(FindFirstStream(sandbox.Path("none"), s), WinError::ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(s.FindHandle);
}
