#pragma once
// Drives and volumes of Linux: the kind of a path (local, removable, network, not available), volume
// labels and serial numbers, file-system names, free space, and finding a volume by its label.
//
// A POSIX path has no drive part; its "drive" is the mounted volume that holds it. Paths written
// "//server/share/…" are network paths. Everything asks VolumeProvider::Current(), so tests run on
// a fake list of volumes.

#include <array>
#include <cstdint>
#include <string>

// Drive kinds.
constexpr int DRIVE_UNKNOWN = 0;
constexpr int DRIVE_NO_ROOT_DIR = 1;
constexpr int DRIVE_REMOVABLE = 2;
constexpr int DRIVE_FIXED = 3;
constexpr int DRIVE_REMOTE = 4;
constexpr int DRIVE_CDROM = 5;
constexpr int DRIVE_RAMDISK = 6;

// Path kinds.
constexpr int PATH_NOT_AVAILABLE = 0;
constexpr int PATH_LOCAL_FIXED = 1;
constexpr int PATH_NO_DRIVE = 2;
constexpr int PATH_REMOVABLE = 3;
constexpr int PATH_NETWORK = 4;

int GetDriveKind(const std::string& path);
int GetPathKind(const std::string& path);
bool IsLocalPath(const std::string& path);
bool IsFixedDrivePath(const std::string& path);
// The label of the volume of Path (blanks and control characters trimmed); false and "not available"
// (translated) when the volume cannot be read. A volume without a label gives true and "".
bool GetVolumeLabel(const std::string& path, std::string& label);
bool IsDriveReady(const std::string& path);
// The mount point (with a trailing slash) of the first mounted volume whose label equals Label without
// regard to case; empty when none. FirstDrive has no meaning on Linux and is ignored.
std::string FindDriveByLabel(const std::string& label, int firstDrive = 0);
// The first 40 bytes of a storage device descriptor for the block device of Path's volume, made from
// sysfs: version and size 40, device type (5 for an optical disc, else 0), removable media, no
// vendor strings, bus type at offset 28 (7 = USB), all little-endian. False (and zeros) for a network
// volume, a path that no volume holds, or a volume without a block device (tmpfs, overlay, …).
using TStorageDescriptor = std::array<uint8_t, 40>;
bool GetStorageDescriptor(const std::string& path, TStorageDescriptor& descriptor);
bool IsUsbDrive(const std::string& path);
uint64_t GetDiskFreeBytes(const std::string& path);
uint64_t GetDiskTotalBytes(const std::string& path);
// Kind 0 label, 1 serial "XXXX-XXXX" (from the volume's UUID), 2 file-system name, 3 maximum length of
// a name; empty for other kinds or on failure.
std::string GetVolumeInfoText(const std::string& root, int kind);
std::string GetVolumeName(const std::string& root);
std::string GetFileSystemName(const std::string& root);
// Volume GUID paths do not exist on Linux: always empty.
std::string GetVolumeGuidPath(const std::string& mountPoint);

// The nearest existing folder at or above Path ("" when there is none), used to ask for the volume
// of a path that does not exist yet.
std::string ExistingAncestor(const std::string& path);
