#include "foundation/WinDevUtils.h"

#include <cctype>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/FileText.h"
#include "platform/MountTable.h"
#include "platform/NetShares.h"
#include "rtl/Gettext.h"

namespace {

bool IsUnc(const std::string& path)
{
    return path.size() >= 2 && (path[0] == '/' || path[0] == '\\') && (path[1] == '/' || path[1] == '\\');
}

// The volume of Path (the nearest existing folder of it); false when none holds it.
bool VolumeOf(const std::string& path, TVolumeInfo& info)
{
    if (path.empty() || path[0] != '/')
        return false;
    if (IsUnc(path)) {
        TShareName share;
        if (!ParseUncPath(path, share))
            return false;
        std::string local = ShareConnector::Current().LocalPath(share);
        if (local.empty())
            return false;
        return VolumeProvider::Current().QueryVolume(local, info);
    }
    std::string existing = ExistingAncestor(path);
    if (existing.empty())
        return false;
    return VolumeProvider::Current().QueryVolume(existing, info);
}

} // namespace

std::string ExistingAncestor(const std::string& path)
{
    if (path.empty() || path[0] != '/')
        return {};
    std::string cur = path;
    while (!cur.empty()) {
        struct stat st
        {
        };
        if (::stat(cur.c_str(), &st) == 0)
            return cur;
        if (cur == "/")
            return {};
        auto slash = cur.find_last_of('/');
        cur = slash == 0 ? std::string("/") : cur.substr(0, slash);
    }
    return {};
}

int GetDriveKind(const std::string& path)
{
    if (IsUnc(path)) {
        TShareName share;
        return ParseUncPath(path, share) ? DRIVE_REMOTE : DRIVE_UNKNOWN;
    }
    TVolumeInfo v;
    if (!VolumeOf(path, v))
        return path.empty() || path[0] != '/' ? DRIVE_UNKNOWN : DRIVE_NO_ROOT_DIR;
    TFsKind kind = FsKindOfType(v.FsType);
    if (kind == TFsKind::fkRemote)
        return DRIVE_REMOTE;
    if (v.Removable || v.Usb)
        return DRIVE_REMOVABLE;
    if (v.FsType == "iso9660" || v.FsType == "udf")
        return DRIVE_CDROM;
    if (v.FsType == "tmpfs" || v.FsType == "ramfs")
        return DRIVE_RAMDISK;
    return DRIVE_FIXED;
}

int GetPathKind(const std::string& path)
{
    if (path.empty() || (path[0] != '/' && path[0] != '\\'))
        return PATH_NO_DRIVE;
    if (IsUnc(path))
        return PATH_NETWORK;
    switch (GetDriveKind(path)) {
    case DRIVE_REMOVABLE:
    case DRIVE_CDROM:
        return PATH_REMOVABLE;
    case DRIVE_REMOTE:
        return PATH_NETWORK;
    case DRIVE_FIXED:
    case DRIVE_RAMDISK:
        return PATH_LOCAL_FIXED;
    default:
        return PATH_NOT_AVAILABLE;
    }
}

bool IsLocalPath(const std::string& path)
{
    int k = GetPathKind(path);
    return k == PATH_LOCAL_FIXED || k == PATH_REMOVABLE;
}

bool IsFixedDrivePath(const std::string& path)
{
    return GetPathKind(path) == PATH_LOCAL_FIXED;
}

bool GetVolumeLabel(const std::string& path, std::string& label)
{
    TVolumeInfo v;
    if (!VolumeOf(path, v)) {
        label = _("not available");
        return false;
    }
    label = std::string(TrimBlanks(v.Label));
    return true;
}

bool IsDriveReady(const std::string& path)
{
    std::string label;
    return GetVolumeLabel(path, label);
}

std::string FindDriveByLabel(const std::string& label, int /*firstDrive*/)
{
    if (label.empty())
        return {};
    for (const auto& v : VolumeProvider::Current().ListVolumes()) {
        if (!v.Label.empty() && SameTextAscii(TrimBlanks(v.Label), label))
            return v.MountPoint == "/" ? "/" : v.MountPoint + "/";
    }
    return {};
}

bool GetStorageDescriptor(const std::string& path, TStorageDescriptor& descriptor)
{
    descriptor.fill(0);
    TVolumeInfo v;
    if (IsUnc(path) || !VolumeOf(path, v) || !v.DeviceKnown || FsKindOfType(v.FsType) == TFsKind::fkRemote)
        return false;
    auto put32 = [&](size_t offset, uint32_t value) {
        for (int i = 0; i < 4; ++i)
            descriptor[offset + static_cast<size_t>(i)] = static_cast<uint8_t>(value >> (8 * i));
    };
    put32(0, 40); // version
    put32(4, 40); // size
    descriptor[8] = (v.FsType == "iso9660" || v.FsType == "udf") ? 5 : 0;
    descriptor[10] = v.Removable ? 1 : 0;
    put32(28, static_cast<uint32_t>(v.Usb ? BusTypeUsb : v.BusType));
    return true;
}

bool IsUsbDrive(const std::string& path)
{
    TVolumeInfo v;
    return VolumeOf(path, v) && v.Usb;
}

uint64_t GetDiskFreeBytes(const std::string& path)
{
    TVolumeInfo v;
    return VolumeOf(path, v) && v.SpaceKnown ? v.FreeBytes : 0;
}

uint64_t GetDiskTotalBytes(const std::string& path)
{
    TVolumeInfo v;
    return VolumeOf(path, v) && v.SpaceKnown ? v.TotalBytes : 0;
}

std::string GetVolumeInfoText(const std::string& root, int kind)
{
    if (root.empty())
        return {};
    TVolumeInfo v;
    if (!VolumeOf(root, v))
        return {};
    switch (kind) {
    case 0:
        return std::string(TrimBlanks(v.Label));
    case 1: {
        std::string hex;
        for (char c : v.Uuid)
            if (std::isxdigit(static_cast<unsigned char>(c)))
                hex.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
        if (hex.size() < 8)
            return {};
        return hex.substr(0, 4) + "-" + hex.substr(4, 4);
    }
    case 2:
        return v.FsType;
    case 3: {
        std::string existing = IsUnc(root) ? v.MountPoint : ExistingAncestor(root);
        long n = existing.empty() ? -1 : ::pathconf(existing.c_str(), _PC_NAME_MAX);
        return n > 0 ? std::to_string(n) : std::string("255");
    }
    default:
        return {};
    }
}

std::string GetVolumeName(const std::string& root)
{
    return GetVolumeInfoText(root, 0);
}

std::string GetFileSystemName(const std::string& root)
{
    return GetVolumeInfoText(root, 2);
}

std::string GetVolumeGuidPath(const std::string& /*mountPoint*/)
{
    return {};
}
