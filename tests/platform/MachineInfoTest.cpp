#include "platform/MachineInfo.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "support/PlatformFakes.h"

TEST(MachineInfoTest, OsReleaseValuesLoseTheirQuotes)
{
    std::string text = "PRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\n"
                       "NAME='Debian GNU/Linux'\n"
                       "VERSION_ID=\"12\"\n"
                       "VERSION=\"12 (bookworm)\"\n"
                       "ID=debian\n"
                       "HOME_URL=\"https://www.debian.org/\"\n"
                       "ESCAPED=\"a \\\"b\\\"\"\n";
    EXPECT_EQ(OsReleaseValue(text, "ID"), "debian");
    EXPECT_EQ(OsReleaseValue(text, "NAME"), "Debian GNU/Linux");
    EXPECT_EQ(OsReleaseValue(text, "ESCAPED"), "a \"b\"");
    EXPECT_EQ(OsReleaseValue(text, "VERSION_CODENAME"), "");
    EXPECT_EQ(OsDisplayName(text), "Debian GNU/Linux 12 (bookworm)");
    EXPECT_EQ(OsDisplayName("NAME=Fedora\nVERSION=\"39 (Workstation)\"\n"), "Fedora 39 (Workstation)");
    EXPECT_EQ(OsDisplayName("NAME=Alpine\n"), "Alpine");
    EXPECT_EQ(OsDisplayName(""), "Linux");
}

TEST(MachineInfoTest, TheRealImplementationAnswersForThisProcess)
{
    RealMachineInfo info;
    EXPECT_FALSE(info.UserName().empty());
    EXPECT_FALSE(info.HostName().empty());
    EXPECT_EQ(info.HostName().find('.'), std::string::npos);
    EXPECT_FALSE(info.KernelRelease().empty());
    EXPECT_EQ(info.IsRoot(), ::geteuid() == 0);
    std::vector<TUserSession> sessions;
    EXPECT_TRUE(info.UserSessions(sessions));
}

TEST(MachineInfoTest, TheFakeReplacesTheRealImplementation)
{
    FakeMachineInfo fake;
    fake.Sessions.push_back({"anna", "tty1", "", 1700000000, 42});
    MachineInfo::SetCurrent(&fake);
    EXPECT_EQ(MachineInfo::Current().UserName(), "tester");
    std::vector<TUserSession> s;
    EXPECT_TRUE(MachineInfo::Current().UserSessions(s));
    EXPECT_EQ(s.size(), 1u);
    MachineInfo::SetCurrent(nullptr);
}
