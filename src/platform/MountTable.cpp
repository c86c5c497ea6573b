#include "platform/MountTable.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <set>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>

#include "platform/FileText.h"

namespace {

VolumeProvider* gProvider = nullptr;

std::vector<std::string_view> SplitBlanks(std::string_view line)
{
    std::vector<std::string_view> parts;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && line[i] == ' ')
            ++i;
        size_t start = i;
        while (i < line.size() && line[i] != ' ')
            ++i;
        if (i > start)
            parts.push_back(line.substr(start, i - start));
    }
    return parts;
}

bool ParseInt(std::string_view s, long long& v)
{
    if (s.empty())
        return false;
    std::string tmp(s);
    char* end = nullptr;
    errno = 0;
    v = std::strtoll(tmp.c_str(), &end, 10);
    return errno == 0 && end && *end == 0;
}

std::string CanonicalPath(const std::string& path)
{
    char buf[PATH_MAX];
    if (::realpath(path.c_str(), buf))
        return buf;
    return {};
}

bool IsBelow(const std::string& path, const std::string& mountPoint)
{
    if (mountPoint == "/")
        return !path.empty() && path[0] == '/';
    if (path.compare(0, mountPoint.size(), mountPoint) != 0)
        return false;
    return path.size() == mountPoint.size() || path[mountPoint.size()] == '/';
}

// The udev link in Dir that points at the block device major:minor.
std::string FindUdevName(const std::string& dir, unsigned major, unsigned minor)
{
    if (major == 0)
        return {};
    DIR* d = ::opendir(dir.c_str());
    if (!d)
        return {};
    std::string found;
    while (struct dirent* e = ::readdir(d)) {
        std::string name = e->d_name;
        if (name == "." || name == "..")
            continue;
        struct stat st
        {
        };
        if (::stat((dir + "/" + name).c_str(), &st) == 0 && S_ISBLK(st.st_mode) &&
            ::major(st.st_rdev) == major && ::minor(st.st_rdev) == minor) {
            found = UnescapeUdevName(name);
            break;
        }
    }
    ::closedir(d);
    return found;
}

} // namespace

std::string UnescapeMountField(std::string_view field)
{
    std::string out;
    out.reserve(field.size());
    for (size_t i = 0; i < field.size(); ++i) {
        auto isOct = [](char c) { return c >= '0' && c <= '7'; };
        if (field[i] == '\\' && i + 3 < field.size() && isOct(field[i + 1]) && isOct(field[i + 2]) &&
            isOct(field[i + 3])) {
            out.push_back(static_cast<char>(((field[i + 1] - '0') << 6) | ((field[i + 2] - '0') << 3) |
                                            (field[i + 3] - '0')));
            i += 3;
            continue;
        }
        out.push_back(field[i]);
    }
    return out;
}

std::string UnescapeUdevName(std::string_view name)
{
    std::string out;
    auto hex = [](char c) -> int {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        return -1;
    };
    for (size_t i = 0; i < name.size(); ++i) {
        if (name[i] == '\\' && i + 3 < name.size() && name[i + 1] == 'x' && hex(name[i + 2]) >= 0 &&
            hex(name[i + 3]) >= 0) {
            out.push_back(static_cast<char>(hex(name[i + 2]) * 16 + hex(name[i + 3])));
            i += 3;
            continue;
        }
        out.push_back(name[i]);
    }
    return out;
}

std::vector<TMountEntry> ParseMountInfo(std::string_view text)
{
    std::vector<TMountEntry> result;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view line = text.substr(pos, end - pos);
        pos = end + 1;
        auto parts = SplitBlanks(line);
        // id parent maj:min root mountpoint options [optional…] - fstype source superoptions
        size_t sep = 0;
        for (size_t i = 6; i < parts.size(); ++i) {
            if (parts[i] == "-") {
                sep = i;
                break;
            }
        }
        if (sep == 0 || parts.size() < sep + 3)
            continue;
        TMountEntry e;
        long long id, parent;
        if (!ParseInt(parts[0], id) || !ParseInt(parts[1], parent))
            continue;
        auto colon = parts[2].find(':');
        long long maj, min;
        if (colon == std::string_view::npos || !ParseInt(parts[2].substr(0, colon), maj) ||
            !ParseInt(parts[2].substr(colon + 1), min))
            continue;
        e.MountId = static_cast<int>(id);
        e.ParentId = static_cast<int>(parent);
        e.Major = static_cast<unsigned>(maj);
        e.Minor = static_cast<unsigned>(min);
        e.Root = UnescapeMountField(parts[3]);
        e.MountPoint = UnescapeMountField(parts[4]);
        e.MountOptions = std::string(parts[5]);
        e.FsType = UnescapeMountField(parts[sep + 1]);
        e.Source = UnescapeMountField(parts[sep + 2]);
        if (parts.size() > sep + 3)
            e.SuperOptions = std::string(parts[sep + 3]);
        result.push_back(std::move(e));
    }
    return result;
}

const TMountEntry* FindMountForPath(const std::vector<TMountEntry>& mounts, const std::string& path)
{
    const TMountEntry* best = nullptr;
    for (const auto& m : mounts) {
        // A later entry of the same length is mounted over the earlier one.
        if (IsBelow(path, m.MountPoint) && (!best || m.MountPoint.size() >= best->MountPoint.size()))
            best = &m;
    }
    return best;
}

TFsKind FsKindOfType(const std::string& fsType)
{
    static const std::set<std::string> journalling = {"ext2",  "ext3",    "ext4",   "xfs",
                                                      "f2fs",  "zfs",     "jfs",    "reiserfs",
                                                      "tmpfs", "overlay", "nilfs2", "bcachefs"};
    static const std::set<std::string> remote = {"nfs",         "nfs4",  "cifs",        "smb3",
                                                 "smbfs",       "smb2",  "sshfs",       "fuse.sshfs",
                                                 "9p",          "ceph",  "glusterfs",   "fuse.glusterfs",
                                                 "afs",         "davfs", "fuse.davfs2", "fuse.gvfsd-fuse",
                                                 "fuse.rclone", "ncpfs", "coda"};
    if (fsType.empty())
        return TFsKind::fkUnknown;
    if (journalling.count(fsType))
        return TFsKind::fkJournalling;
    if (fsType == "btrfs")
        return TFsKind::fkBtrfs;
    if (fsType == "ntfs" || fsType == "ntfs3" || fsType == "fuseblk" || fsType == "fuse.ntfs-3g")
        return TFsKind::fkNtfs;
    if (fsType == "exfat" || fsType == "fuse.exfat")
        return TFsKind::fkExFat;
    if (fsType == "vfat" || fsType == "msdos" || fsType == "fat" || fsType == "umsdos")
        return TFsKind::fkFat;
    if (remote.count(fsType))
        return TFsKind::fkRemote;
    return TFsKind::fkOther;
}

std::string FsTypeOfMagic(int64_t magic)
{
    switch (static_cast<uint32_t>(magic)) {
    case 0xEF53:
        return "ext4";
    case 0x58465342:
        return "xfs";
    case 0x9123683E:
        return "btrfs";
    case 0xF2F52010:
        return "f2fs";
    case 0x2FC12FC1:
        return "zfs";
    case 0x3153464A:
        return "jfs";
    case 0x01021994:
        return "tmpfs";
    case 0x794C7630:
        return "overlay";
    case 0x4D44:
        return "vfat";
    case 0x2011BAB0:
        return "exfat";
    case 0x5346544E:
        return "ntfs";
    case 0x7366746E:
        return "ntfs3";
    case 0x6969:
        return "nfs";
    case 0xFF534D42:
        return "cifs";
    case 0xFE534D42:
        return "smb3";
    case 0x517B:
        return "smbfs";
    case 0x9660:
        return "iso9660";
    case 0x15013346:
        return "udf";
    default:
        return {};
    }
}

bool IsPseudoFileSystem(const std::string& fsType)
{
    static const std::set<std::string> pseudo = {
        "proc",        "sysfs",      "cgroup", "cgroup2",  "devtmpfs",  "devpts",  "mqueue",    "securityfs",
        "debugfs",     "tracefs",    "pstore", "bpf",      "configfs",  "fusectl", "hugetlbfs", "autofs",
        "binfmt_misc", "rpc_pipefs", "nsfs",   "efivarfs", "selinuxfs", "ramfs",   "squashfs"};
    return pseudo.count(fsType) != 0;
}

int StorageBusTypeOfSysPath(const std::string& sysPath)
{
    auto has = [&](const char* part) { return sysPath.find(part) != std::string::npos; };
    if (has("/usb"))
        return BusTypeUsb;
    if (has("/nvme"))
        return BusTypeNvme;
    if (has("/mmc"))
        return BusTypeSd;
    if (has("/virtual/block/loop"))
        return BusTypeFileBackedVirtual;
    if (has("/virtio") || has("/virtual/") || has("/xen/"))
        return BusTypeVirtual;
    if (has("/ata"))
        return BusTypeSata;
    if (has("/end_device-") || has("/sas_"))
        return BusTypeSas;
    if (has("/host") && has("/target"))
        return BusTypeScsi;
    return BusTypeUnknown;
}

// --- providers

VolumeProvider& VolumeProvider::Current()
{
    static RealVolumeProvider real;
    return gProvider ? *gProvider : real;
}

void VolumeProvider::SetCurrent(VolumeProvider* provider)
{
    gProvider = provider;
}

TVolumeInfo RealVolumeProvider::Describe(const TMountEntry& entry, bool withSpace)
{
    TVolumeInfo v;
    v.MountPoint = entry.MountPoint;
    v.Device = entry.Source;
    v.FsType = entry.FsType;
    v.Label = FindUdevName(ByLabelDir, entry.Major, entry.Minor);
    v.Uuid = FindUdevName(ByUuidDir, entry.Major, entry.Minor);
    if (entry.Major != 0) {
        std::string sys = CanonicalPath(SysBlockDir + "/" + std::to_string(entry.Major) + ":" +
                                        std::to_string(entry.Minor));
        if (!sys.empty()) {
            v.DeviceKnown = true;
            v.BusType = StorageBusTypeOfSysPath(sys);
            v.Usb = v.BusType == BusTypeUsb;
            std::string removable = std::string(TrimBlanks(ReadSmallFile(sys + "/removable")));
            if (removable.empty())
                removable = std::string(TrimBlanks(ReadSmallFile(sys + "/../removable")));
            v.Removable = removable == "1" || v.Usb;
        }
    }
    if (withSpace) {
        struct statvfs sv
        {
        };
        if (::statvfs(entry.MountPoint.c_str(), &sv) == 0) {
            v.FreeBytes = static_cast<uint64_t>(sv.f_bavail) * sv.f_frsize;
            v.TotalBytes = static_cast<uint64_t>(sv.f_blocks) * sv.f_frsize;
            v.SpaceKnown = true;
        }
    }
    return v;
}

std::vector<TVolumeInfo> RealVolumeProvider::ListVolumes()
{
    std::vector<TVolumeInfo> result;
    for (const auto& m : ParseMountInfo(ReadSmallFile(MountInfoFile))) {
        if (IsPseudoFileSystem(m.FsType))
            continue;
        result.push_back(Describe(m, false));
    }
    return result;
}

bool RealVolumeProvider::QueryVolume(const std::string& path, TVolumeInfo& info)
{
    info = TVolumeInfo{};
    std::string canonical = CanonicalPath(path);
    if (canonical.empty())
        return false;
    auto mounts = ParseMountInfo(ReadSmallFile(MountInfoFile));
    const TMountEntry* m = FindMountForPath(mounts, canonical);
    TMountEntry fallback;
    if (!m) {
        fallback.MountPoint = "/";
        m = &fallback;
    }
    info = Describe(*m, false);
    struct statvfs sv
    {
    };
    if (::statvfs(canonical.c_str(), &sv) == 0) {
        info.FreeBytes = static_cast<uint64_t>(sv.f_bavail) * sv.f_frsize;
        info.TotalBytes = static_cast<uint64_t>(sv.f_blocks) * sv.f_frsize;
        info.SpaceKnown = true;
    }
    if (info.FsType.empty()) {
        struct statfs sf
        {
        };
        if (::statfs(canonical.c_str(), &sf) == 0)
            info.FsType = FsTypeOfMagic(static_cast<int64_t>(sf.f_type));
    }
    return true;
}
