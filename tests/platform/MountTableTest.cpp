#include "platform/MountTable.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "support/Files.h"
#include "support/PlatformFakes.h"
#include "support/Sandbox.h"

namespace {

std::string FixtureDir()
{
    const char* env = std::getenv("VASTREL_SOURCE_DIR");
    return std::string(env ? env : ".") + "/tests/fixtures/mountinfo/";
}

std::string Fixture(const std::string& name)
{
    return ReadFileBytes(FixtureDir() + name);
}

} // namespace

TEST(MountTableTest, ParsesEscapedBlanksBindMountsAndRemoteSources)
{
    auto mounts = ParseMountInfo(Fixture("desktop.txt"));
    ASSERT_EQ(mounts.size(), 12u);
    EXPECT_EQ(mounts[0].MountPoint, "/");
    EXPECT_EQ(mounts[0].FsType, "ext4");
    EXPECT_EQ(mounts[0].Major, 259u);
    EXPECT_EQ(mounts[0].Minor, 2u);
    EXPECT_EQ(mounts[4].MountPoint, "/media/anna/My Backup Disk");
    EXPECT_EQ(mounts[4].FsType, "exfat");
    EXPECT_EQ(mounts[5].MountPoint, "/media/anna/Tab\tName");
    EXPECT_EQ(mounts[6].Root, "/srv/data");
    EXPECT_EQ(mounts[6].MountPoint, "/home/anna/data");
    EXPECT_EQ(mounts[7].Source, "//nas/backup");
    EXPECT_EQ(mounts[11].MountPoint, "/mnt/back\\slash");
}

TEST(MountTableTest, SkipsMalformedLinesAndFindsTheMountOfAPath)
{
    auto mounts = ParseMountInfo(Fixture("container.txt"));
    ASSERT_EQ(mounts.size(), 7u);
    EXPECT_EQ(mounts[0].FsType, "overlay");
    struct Case
    {
        const char* path;
        const char* mountPoint;
        const char* fsType;
    } cases[] = {
        {"/", "/", "overlay"},
        {"/usr/bin/ls", "/", "overlay"},
        {"/work", "/work", "ext4"},
        {"/work/src/main.cpp", "/work", "ext4"},
        {"/workshop", "/", "overlay"},
        {"/work/cache/x", "/work/cache", "tmpfs"}, // the later mount hides the bind mount below it
        {"/etc/hosts", "/etc/hosts", "ext4"},
    };
    for (const auto& c : cases) {
        const TMountEntry* m = FindMountForPath(mounts, c.path);
        ASSERT_NE(m, nullptr) << c.path;
        EXPECT_EQ(m->MountPoint, c.mountPoint) << c.path;
        EXPECT_EQ(m->FsType, c.fsType) << c.path;
    }
    EXPECT_EQ(FindMountForPath({}, "/x"), nullptr);
}

TEST(MountTableTest, UnescapesMountFieldsAndUdevNames)
{
    EXPECT_EQ(UnescapeMountField("a\\040b\\011c\\012d\\134e"), "a b\tc\nd\\e");
    EXPECT_EQ(UnescapeMountField("trailing\\04"), "trailing\\04");
    EXPECT_EQ(UnescapeUdevName("My\\x20Backup\\x2fDisk"), "My Backup/Disk");
    EXPECT_EQ(UnescapeUdevName("plain\\x2"), "plain\\x2");
}

TEST(MountTableTest, FileSystemTypesMapToKinds)
{
    struct Case
    {
        const char* type;
        TFsKind kind;
    } cases[] = {
        {"ext2", TFsKind::fkJournalling}, {"ext3", TFsKind::fkJournalling},  {"ext4", TFsKind::fkJournalling},
        {"xfs", TFsKind::fkJournalling},  {"f2fs", TFsKind::fkJournalling},  {"zfs", TFsKind::fkJournalling},
        {"btrfs", TFsKind::fkBtrfs},      {"ntfs", TFsKind::fkNtfs},         {"ntfs3", TFsKind::fkNtfs},
        {"vfat", TFsKind::fkFat},         {"msdos", TFsKind::fkFat},         {"exfat", TFsKind::fkExFat},
        {"nfs", TFsKind::fkRemote},       {"nfs4", TFsKind::fkRemote},       {"cifs", TFsKind::fkRemote},
        {"smb3", TFsKind::fkRemote},      {"fuse.sshfs", TFsKind::fkRemote}, {"iso9660", TFsKind::fkOther},
        {"", TFsKind::fkUnknown},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FsKindOfType(c.type), c.kind) << c.type;
    EXPECT_EQ(FsTypeOfMagic(0xEF53), "ext4");
    EXPECT_EQ(FsTypeOfMagic(0x9123683E), "btrfs");
    EXPECT_EQ(FsTypeOfMagic(0xFF534D42), "cifs");
    EXPECT_EQ(FsTypeOfMagic(0x12345678), "");
}

class RealVolumeProviderTest : public SandboxTest
{
};

TEST_F(RealVolumeProviderTest, ReadsAFixtureMountTableAndLabelLinks)
{
    // A by-label folder with a link to a block device that this machine has: the one of the sandbox.
    RealVolumeProvider provider;
    provider.MountInfoFile = sandbox.Path("mountinfo");
    provider.ByLabelDir = sandbox.Path("by-label");
    provider.SysBlockDir = sandbox.Path("sys");
    {
        std::ofstream(provider.MountInfoFile) << Fixture("desktop.txt");
    }
    auto volumes = provider.ListVolumes();
    // proc and sysfs are left out.
    ASSERT_EQ(volumes.size(), 10u);
    EXPECT_EQ(volumes[2].MountPoint, "/media/anna/My Backup Disk");
    EXPECT_EQ(volumes[2].Device, "/dev/sdb1");
    EXPECT_EQ(volumes[2].Label, ""); // no link in the fixture's by-label folder

    TVolumeInfo info;
    ASSERT_TRUE(provider.QueryVolume(sandbox.Path(), info));
    EXPECT_EQ(info.MountPoint, "/"); // the fixture's root mount holds every real path
    EXPECT_TRUE(info.SpaceKnown);
    EXPECT_GT(info.TotalBytes, 0u);
    EXPECT_FALSE(provider.QueryVolume(sandbox.Path("missing"), info));
}

TEST(FakeVolumeProviderTest, AnswersForPathsBelowItsMountPoints)
{
    FakeVolumeProvider fake;
    fake.Volumes = {{"/", "/dev/sda1", "ext4", "", "", 10, 100, false, false, true},
                    {"/media/usb", "/dev/sdb1", "vfat", "BACKUP", "1A2B-3C4D", 5, 50, true, true, true}};
    TVolumeInfo info;
    ASSERT_TRUE(fake.QueryVolume("/media/usb/dir/file", info));
    EXPECT_EQ(info.Label, "BACKUP");
    EXPECT_TRUE(info.Usb);
    ASSERT_TRUE(fake.QueryVolume("/media/usbstick", info));
    EXPECT_EQ(info.MountPoint, "/");
    fake.Volumes.erase(fake.Volumes.begin());
    EXPECT_FALSE(fake.QueryVolume("/home", info));
}

TEST(StorageBusTest, TheBusIsReadFromTheSysfsPathOfTheDevice)
{
    struct Case
    {
        const char* path;
        int bus;
    } cases[] = {
        {"/sys/devices/pci0000:00/0000:00:14.0/usb2/2-1/2-1:1.0/host6/target6:0:0/6:0:0:0/block/sdb/sdb1",
         BusTypeUsb},
        {"/sys/devices/pci0000:00/0000:00:1d.0/0000:3d:00.0/nvme/nvme0/nvme0n1/nvme0n1p2", BusTypeNvme},
        {"/sys/devices/pci0000:00/0000:00:17.0/ata1/host0/target0:0:0/0:0:0:0/block/sda/sda1", BusTypeSata},
        {"/sys/devices/platform/soc/mmc_host/mmc0/mmc0:aaaa/block/mmcblk0/mmcblk0p1", BusTypeSd},
        {"/sys/devices/virtual/block/loop3", BusTypeFileBackedVirtual},
        {"/sys/devices/virtual/block/dm-0", BusTypeVirtual},
        {"/sys/devices/pci0000:00/0000:00:04.0/virtio1/block/vda/vda1", BusTypeVirtual},
        {"/sys/devices/pci0000:00/0000:00:10.0/host2/target2:0:1/2:0:1:0/block/sdc", BusTypeScsi},
        {"/sys/devices/somewhere/else", BusTypeUnknown},
    };
    for (const auto& c : cases)
        EXPECT_EQ(StorageBusTypeOfSysPath(c.path), c.bus) << c.path;
}
