#include "foundation/WinDevUtils.h"

#include "platform/MountTable.h"
#include "platform/NetShares.h"
#include "support/PlatformFakes.h"
#include "support/Sandbox.h"

namespace {

class WinDevUtilsTest : public SandboxTest
{
protected:
    FakeVolumeProvider volumes;
    FakeShareConnector shares;
    void SetUp() override
    {
        volumes.Volumes = {
            {"/", "/dev/sda2", "ext4", "system", "0a1b2c3d-1111-2222-3333-444455556666", 1000, 5000, false,
             false, true},
            {sandbox.Path("usb"), "/dev/sdb1", "exfat", " BACKUP ", "7A3F-19C2", 10, 64, true, true, true},
            {sandbox.Path("nas"), "//nas/data", "cifs", "", "", 1, 2, false, false, true},
            {sandbox.Path("ram"), "tmpfs", "tmpfs", "", "", 1, 2, false, false, true},
            {sandbox.Path("cd"), "/dev/sr0", "iso9660", "DISC", "", 0, 700, false, false, true},
        };
        for (const char* d : {"usb", "nas", "ram", "cd", "shares"})
            std::filesystem::create_directories(sandbox.Path(d));
        shares.MountBase = sandbox.Path("shares");
        VolumeProvider::SetCurrent(&volumes);
        ShareConnector::SetCurrent(&shares);
    }
    void TearDown() override
    {
        VolumeProvider::SetCurrent(nullptr);
        ShareConnector::SetCurrent(nullptr);
    }
};

} // namespace

TEST_F(WinDevUtilsTest, PathAndDriveKindsFollowTheVolume)
{
    struct Case
    {
        std::string path;
        int drive;
        int pathKind;
    } cases[] = {
        {"", DRIVE_UNKNOWN, PATH_NO_DRIVE},
        {"x/y", DRIVE_UNKNOWN, PATH_NO_DRIVE},
        {"//srv/share/x", DRIVE_REMOTE, PATH_NETWORK},
        {sandbox.Path("home"), DRIVE_FIXED, PATH_LOCAL_FIXED},
        {sandbox.Path("usb/backup/not/yet/made"), DRIVE_REMOVABLE, PATH_REMOVABLE},
        {sandbox.Path("nas/x"), DRIVE_REMOTE, PATH_NETWORK},
        {sandbox.Path("ram"), DRIVE_RAMDISK, PATH_LOCAL_FIXED},
        {sandbox.Path("cd"), DRIVE_CDROM, PATH_REMOVABLE},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(GetDriveKind(c.path), c.drive) << c.path;
        EXPECT_EQ(GetPathKind(c.path), c.pathKind) << c.path;
    }
    EXPECT_TRUE(IsUsbDrive(sandbox.Path("usb")));
    EXPECT_TRUE(IsLocalPath(sandbox.Path("usb")));
    EXPECT_FALSE(IsFixedDrivePath(sandbox.Path("usb")));
    volumes.Volumes.clear();
    EXPECT_EQ(GetPathKind(sandbox.Path("home")), PATH_NOT_AVAILABLE);
}

TEST_F(WinDevUtilsTest, LabelsSerialsFileSystemsAndSpace)
{
    std::string label;
    ASSERT_TRUE(GetVolumeLabel(sandbox.Path("usb/x"), label));
    EXPECT_EQ(label, "BACKUP");
    EXPECT_EQ(GetVolumeName(sandbox.Path("usb")), "BACKUP");
    EXPECT_EQ(GetVolumeInfoText(sandbox.Path("usb"), 1), "7A3F-19C2");
    EXPECT_EQ(GetVolumeInfoText(sandbox.Path("home"), 1), "0A1B-2C3D");
    EXPECT_EQ(GetFileSystemName(sandbox.Path("usb")), "exfat");
    EXPECT_EQ(GetVolumeInfoText(sandbox.Path("usb"), 3), "255");
    EXPECT_EQ(GetVolumeInfoText(sandbox.Path("usb"), 7), "");
    EXPECT_EQ(GetVolumeInfoText("", 0), "");
    EXPECT_EQ(GetDiskFreeBytes(sandbox.Path("usb")), 10u);
    EXPECT_EQ(GetDiskTotalBytes(sandbox.Path("usb")), 64u);
    EXPECT_EQ(FindDriveByLabel("backup"), sandbox.Path("usb") + "/");
    EXPECT_EQ(FindDriveByLabel("disc", 2), sandbox.Path("cd") + "/");
    EXPECT_EQ(FindDriveByLabel("nothing"), "");
    EXPECT_EQ(GetVolumeGuidPath("/"), "");
    EXPECT_FALSE(GetVolumeLabel("//srv/notconnected", label));
}

TEST_F(WinDevUtilsTest, AConnectedShareIsMeasuredInItsLocalFolder)
{
    shares.Connected.push_back("//srv/share");
    std::filesystem::create_directories(sandbox.Path("shares/srv/share"));
    EXPECT_EQ(GetDiskTotalBytes("//srv/share/dir"), 5000u); // the fake's root volume holds the sandbox
    EXPECT_TRUE(IsDriveReady("//srv/share"));
}

TEST_F(WinDevUtilsTest, TheStorageDescriptorTellsTheBusOfTheBlockDevice)
{
    volumes.Volumes[0].DeviceKnown = true;
    volumes.Volumes[0].BusType = BusTypeNvme;
    volumes.Volumes[1].DeviceKnown = true;
    volumes.Volumes[2].DeviceKnown = true; // a network volume never has a descriptor
    volumes.Volumes[4].DeviceKnown = true;
    volumes.Volumes[4].BusType = BusTypeSata;
    TStorageDescriptor d;
    ASSERT_TRUE(GetStorageDescriptor(sandbox.Path("usb/backup"), d));
    EXPECT_EQ(d[0], 40);
    EXPECT_EQ(d[4], 40);
    EXPECT_EQ(d[10], 1) << "removable media";
    EXPECT_EQ(d[28], BusTypeUsb);
    EXPECT_TRUE(IsUsbDrive(sandbox.Path("usb")));
    ASSERT_TRUE(GetStorageDescriptor(sandbox.Path("home"), d));
    EXPECT_EQ(d[28], BusTypeNvme);
    EXPECT_EQ(d[10], 0);
    ASSERT_TRUE(GetStorageDescriptor(sandbox.Path("cd"), d));
    EXPECT_EQ(d[8], 5) << "an optical disc";
    d.fill(9);
    EXPECT_FALSE(GetStorageDescriptor(sandbox.Path("nas"), d));
    EXPECT_EQ(d, TStorageDescriptor{}) << "zeroed on failure";
    EXPECT_FALSE(GetStorageDescriptor(sandbox.Path("ram"), d)) << "no block device behind tmpfs";
    EXPECT_FALSE(GetStorageDescriptor("//srv/share", d));
    EXPECT_FALSE(GetStorageDescriptor("relative", d));
}
