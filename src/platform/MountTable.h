#pragma once
// Mounted volumes: the mount table of /proc/self/mountinfo, labels from /dev/disk/by-label, file-system
// types from statfs, removable and USB disks from sysfs.
//
// Everything that asks the machine goes through VolumeProvider: the programs use the real implementation,
// tests put in a fake with a fixed list of volumes (tests/support).

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// One line of /proc/self/mountinfo.
struct TMountEntry
{
    int MountId = 0;
    int ParentId = 0;
    unsigned Major = 0;
    unsigned Minor = 0;
    std::string Root;       // the folder of the file system that is mounted (not "/" for bind mounts)
    std::string MountPoint; // unescaped
    std::string MountOptions;
    std::string FsType;
    std::string Source; // unescaped
    std::string SuperOptions;
};

// Parses the text of a mountinfo file; malformed lines are skipped.
std::vector<TMountEntry> ParseMountInfo(std::string_view text);
// Undoes the octal escapes of mount tables ("\040" blank, "\011" tab, "\012" newline, "\134" backslash).
std::string UnescapeMountField(std::string_view field);
// Undoes the "\xNN" escapes of udev link names (/dev/disk/by-label).
std::string UnescapeUdevName(std::string_view name);
// The entry whose mount point contains Path (the latest mount of the longest mount point); nullptr when
// none does. Path must be absolute and normalised.
const TMountEntry* FindMountForPath(const std::vector<TMountEntry>& mounts, const std::string& path);

// How the suite treats a file-system type.
enum class TFsKind
{
    fkUnknown,     // no type (volume not available)
    fkJournalling, // a full-featured local file system: ext2/3/4, xfs, f2fs, zfs, jfs, tmpfs, …
    fkBtrfs,
    fkNtfs,
    fkExFat,
    fkFat,
    fkRemote, // nfs, cifs, smb3, sshfs, other network file systems
    fkOther,  // any other local type (iso9660, udf, …)
};

// The kind of a file-system type name as mountinfo gives it ("ext4", "fuse.sshfs", "ntfs3", …).
TFsKind FsKindOfType(const std::string& fsType);
// The type name that belongs to a statfs magic number; empty when unknown.
std::string FsTypeOfMagic(int64_t magic);

// One mounted volume as the suite sees it.
struct TVolumeInfo
{
    std::string MountPoint;
    std::string Device; // the mount source ("/dev/sdb1", "//server/share", "server:/export")
    std::string FsType;
    std::string Label;      // empty when the volume has none
    std::string Uuid;       // empty when unknown
    uint64_t FreeBytes = 0; // available to the caller
    uint64_t TotalBytes = 0;
    bool Removable = false;
    bool Usb = false;
    bool SpaceKnown = false;
    // The block device behind the volume was found in sysfs; BusType then tells its bus.
    bool DeviceKnown = false;
    int BusType = 0; // StorageBusType numbering (below)
};

// Storage bus types, numbered as the suite's storage descriptor has them.
constexpr int BusTypeUnknown = 0;
constexpr int BusTypeScsi = 1;
constexpr int BusTypeSas = 10;
constexpr int BusTypeSata = 11;
constexpr int BusTypeSd = 12;
constexpr int BusTypeUsb = 7;
constexpr int BusTypeVirtual = 14;
constexpr int BusTypeFileBackedVirtual = 15;
constexpr int BusTypeNvme = 17;
// The bus of a block device from its canonical sysfs path ("/sys/devices/…/usb2/…/block/sdb/sdb1").
int StorageBusTypeOfSysPath(const std::string& sysPath);

class VolumeProvider
{
public:
    virtual ~VolumeProvider() = default;
    // All mounted volumes with a mount point (pseudo file systems such as proc and sysfs left out).
    virtual std::vector<TVolumeInfo> ListVolumes() = 0;
    // The volume that holds Path (an existing path; links followed). False when Path cannot be reached.
    virtual bool QueryVolume(const std::string& path, TVolumeInfo& info) = 0;

    // The provider in use (the real one unless a test set another).
    static VolumeProvider& Current();
    // nullptr restores the real provider; the caller keeps ownership.
    static void SetCurrent(VolumeProvider* provider);
};

class RealVolumeProvider : public VolumeProvider
{
public:
    // The files read; tests may point them at fixtures.
    std::string MountInfoFile = "/proc/self/mountinfo";
    std::string ByLabelDir = "/dev/disk/by-label";
    std::string ByUuidDir = "/dev/disk/by-uuid";
    std::string SysBlockDir = "/sys/dev/block";

    std::vector<TVolumeInfo> ListVolumes() override;
    bool QueryVolume(const std::string& path, TVolumeInfo& info) override;

private:
    TVolumeInfo Describe(const TMountEntry& entry, bool withSpace);
};

// True for pseudo file systems that hold no user files (proc, sysfs, cgroup, …).
bool IsPseudoFileSystem(const std::string& fsType);
