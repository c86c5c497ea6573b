#include "foundation/WinNet.h"

#include "platform/ErrorCodes.h"
#include "platform/MountTable.h"
#include "platform/NetShares.h"
#include "support/PlatformFakes.h"
#include "support/Sandbox.h"

namespace {

class WinNetTest : public SandboxTest
{
protected:
    FakeShareConnector shares;
    void SetUp() override
    {
        std::filesystem::create_directories(sandbox.Path("mnt"));
        shares.MountBase = sandbox.Path("mnt");
        ShareConnector::SetCurrent(&shares);
        SetShareRetryDelay(0);
    }
    void TearDown() override
    {
        CloseLastConnection();
        SetDefaultAccount("", "");
        SetShareLogonPrompt(nullptr);
        SetShareRetryDelay(1000);
        ShareConnector::SetCurrent(nullptr);
    }
};

} // namespace

TEST_F(WinNetTest, AnAccountConnectsAndTheLastConnectionIsClosedAgain)
{
    TUserAccount acc{"WORKGROUP\\anna", "secret"};
    ASSERT_EQ(ConnectToShare("//nas/backup/daily", "", acc, true, false), 0u);
    ASSERT_EQ(shares.Calls.size(), 1u);
    EXPECT_EQ(shares.Calls[0].User, "anna");
    EXPECT_EQ(shares.Calls[0].Password, "secret");
    EXPECT_EQ(GetLastConnection(), "//nas/backup");
    std::string user;
    ASSERT_TRUE(GetConnectedUser(user));
    EXPECT_EQ(user, "WORKGROUP\\anna");
    EXPECT_EQ(ShareLocalPath("//nas/backup/daily"), sandbox.Path("mnt/nas/backup/daily"));
    std::string remote;
    EXPECT_EQ(CancelLastConnection(remote, user), 0);
    EXPECT_EQ(remote, "//nas/backup");
    EXPECT_EQ(shares.Calls.back().Op, "disconnect");
    EXPECT_EQ(GetLastConnection(), "");
}

TEST_F(WinNetTest, WithoutAnAccountNothingIsCancelledAndAReachableShareIsNotConnectedAgain)
{
    shares.Connected.push_back("//nas/pub");
    ASSERT_EQ(ConnectToShare("//nas/pub", "", TUserAccount{}, true, false), 0u);
    EXPECT_TRUE(shares.Calls.empty());
    EXPECT_EQ(GetLastConnection(), "//nas/pub");
    std::string remote, user;
    EXPECT_EQ(CancelLastConnection(remote, user), -1);
    EXPECT_TRUE(shares.Calls.empty());
    EXPECT_EQ(ConnectToShare("//nas/other", "", TUserAccount{}, true, false), WinError::ERROR_LOGON_FAILURE);
}

TEST_F(WinNetTest, ALostNetworkNameIsTriedThreeTimes)
{
    shares.ConnectResults = {64, 64, 64, 0};
    EXPECT_EQ(ConnectToShare("//nas/x", "", TUserAccount{"u", "p"}, true, false),
              WinError::ERROR_NETNAME_DELETED);
    EXPECT_EQ(shares.Calls.size(), 3u);
    shares.ConnectResults = {64, ERROR_ALREADY_ASSIGNED};
    EXPECT_EQ(ConnectToShare("//nas/x", "", TUserAccount{"u", "p"}, true, false), 0u);
}

TEST_F(WinNetTest, ThePromptAsksUntilConnectedOrCancelled)
{
    shares.ConnectResults = {WinError::ERROR_LOGON_FAILURE, WinError::ERROR_LOGON_FAILURE, 0};
    int asked = 0;
    SetShareLogonPrompt([&](const std::string& remote, TUserAccount& acc) {
        EXPECT_EQ(remote, "//srv/s");
        ++asked;
        acc = {"bob", "pw" + std::to_string(asked)};
        return true;
    });
    EXPECT_EQ(ConnectToShare("//srv/s", "bob", TUserAccount{}, true, true), 0u);
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(shares.Calls.back().Password, "pw2");

    CloseLastConnection();
    shares.Connected.clear();
    shares.ConnectResults = {WinError::ERROR_LOGON_FAILURE};
    SetShareLogonPrompt(nullptr); // headless: no prompt, counts as cancelled
    EXPECT_EQ(ConnectToShare("//srv/s", "bob", TUserAccount{}, true, true), WinError::ERROR_CANCELLED);
    shares.ConnectResults = {WinError::ERROR_BAD_NETPATH};
    EXPECT_EQ(ConnectToShare("//srv/s", "bob", TUserAccount{}, true, true), WinError::ERROR_BAD_NETPATH);
}

TEST_F(WinNetTest, MountedSharesAndTheWriteTest)
{
    EXPECT_EQ(ConnectToShare(sandbox.Path("mnt"), "", TUserAccount{}, true, false), 0u);
    EXPECT_EQ(ConnectToShare(sandbox.Path("none"), "", TUserAccount{}, true, false),
              WinError::ERROR_BAD_NETPATH);
    EXPECT_TRUE(CheckWriteAccess(sandbox.Path("new/folder")));
    EXPECT_TRUE(std::filesystem::exists(sandbox.Path("new")));
    EXPECT_FALSE(std::filesystem::exists(sandbox.Path("new/folder")));
    EXPECT_TRUE(std::filesystem::is_empty(sandbox.Path("mnt")));
    EXPECT_TRUE(CheckWriteAccess(sandbox.Path("mnt")));
    EXPECT_TRUE(std::filesystem::is_empty(sandbox.Path("mnt")));
    EXPECT_TRUE(IsDiskAccessible(sandbox.Path("mnt")));
    EXPECT_FALSE(IsDiskAccessible("//srv/none"));
}

TEST_F(WinNetTest, TheNetworkResourceOfAPathNamesItsShare)
{
    FakeVolumeProvider volumes;
    volumes.Volumes = {{"/", "/dev/sda2", "ext4", "", "", 1, 2, false, false, true},
                       {sandbox.Path("nfs"), "nas:/export/data", "nfs4", "", "", 1, 2, false, false, true}};
    std::filesystem::create_directories(sandbox.Path("nfs/sub"));
    VolumeProvider::SetCurrent(&volumes);
    TNetResource r;
    EXPECT_EQ(InitNetResource("//server/share/dir", r), 2250u);
    EXPECT_EQ(r.LocalName, "");
    EXPECT_EQ(r.RemoteName, "//server/share");
    EXPECT_EQ(r.Type, 1);
    EXPECT_EQ(r.Scope, 2);
    EXPECT_EQ(InitNetResource(sandbox.Path("nfs/sub/new"), r), 0u);
    EXPECT_EQ(r.LocalName, sandbox.Path("nfs"));
    EXPECT_EQ(r.RemoteName, "nas:/export/data");
    EXPECT_EQ(InitNetResource(sandbox.Path("local"), r), 2250u) << "a local volume is no network drive";
    EXPECT_EQ(r.LocalName, "/");
    EXPECT_EQ(r.RemoteName, "");
    EXPECT_EQ(InitNetResource("relative/path", r), 1200u);
    FreeNetResource(r);
    EXPECT_EQ(r.LocalName, "");
    VolumeProvider::SetCurrent(nullptr);
}
