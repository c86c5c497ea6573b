#include "platform/FileStatus.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/xattr.h>
#include <unistd.h>

#include "platform/ErrorCodes.h"
#include "platform/FileText.h"

namespace {

ExtAttrLayer* gLayer = nullptr;

FILETIME FromStatx(const struct statx_timestamp& ts)
{
    return UnixNsToFileTime(ts.tv_sec, ts.tv_nsec);
}

std::string ArchiveMarkValue(const TPosixFileData& data)
{
    return std::to_string(data.MtimeNs) + ":" + std::to_string(data.Size);
}

} // namespace

FILETIME UnixNsToFileTime(int64_t sec, int64_t nsec)
{
    int64_t ticks = sec * 10000000LL + nsec / 100 + UnixEpochTicks;
    return ticks < 0 ? 0 : static_cast<FILETIME>(ticks);
}

void FileTimeToUnixNs(FILETIME ft, int64_t& sec, int64_t& nsec)
{
    int64_t t = static_cast<int64_t>(ft) - UnixEpochTicks;
    sec = t / 10000000LL;
    int64_t rest = t % 10000000LL;
    if (rest < 0) {
        rest += 10000000LL;
        --sec;
    }
    nsec = rest * 100;
}

std::string_view BaseNameOf(std::string_view path)
{
    while (path.size() > 1 && path.back() == '/')
        path.remove_suffix(1);
    auto pos = path.find_last_of('/');
    if (pos == std::string_view::npos)
        return path;
    if (path.size() == 1)
        return {};
    return path.substr(pos + 1);
}

uint32_t ReadFileData(const std::string& path, bool followLink, TPosixFileData& data)
{
    return ReadFileDataAt(AT_FDCWD, path, path, followLink, true, data);
}

uint32_t ReadFileDataAt(int dirFd, const std::string& name, const std::string& path, bool followLink,
                        bool withArchiveBit, TPosixFileData& data)
{
    data = TPosixFileData{};
    if (path.empty() || name.empty())
        return WinError::ERROR_PATH_NOT_FOUND;
    struct statx sx
    {
    };
    int flags = AT_STATX_SYNC_AS_STAT | (followLink ? 0 : AT_SYMLINK_NOFOLLOW);
    if (::statx(dirFd, name.c_str(), flags, STATX_BASIC_STATS | STATX_BTIME, &sx) != 0) {
        int err = errno;
        if (err == ENOENT) {
            // Windows tells a missing folder on the way (3) from a missing file (2).
            struct stat st
            {
            };
            std::string parent = ParentDirOf(path);
            if (::stat(parent.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
                return WinError::ERROR_PATH_NOT_FOUND;
        }
        return ErrnoToWinError(err);
    }
    data.Mode = sx.stx_mode;
    data.Uid = sx.stx_uid;
    data.Gid = sx.stx_gid;
    data.Dev = makedev(sx.stx_dev_major, sx.stx_dev_minor);
    data.Ino = sx.stx_ino;
    data.LastAccessTime = FromStatx(sx.stx_atime);
    data.LastWriteTime = FromStatx(sx.stx_mtime);
    data.MtimeNs = static_cast<int64_t>(sx.stx_mtime.tv_sec) * 1000000000LL + sx.stx_mtime.tv_nsec;
    data.HasBirthTime = (sx.stx_mask & STATX_BTIME) != 0;
    data.CreationTime = data.HasBirthTime ? FromStatx(sx.stx_btime) : data.LastWriteTime;

    uint32_t attr = 0;
    mode_t fmt = sx.stx_mode & S_IFMT;
    if (fmt == S_IFLNK) {
        attr |= faReparsePoint;
        data.ReparseTag = IO_REPARSE_TAG_SYMLINK;
        data.Size = 0;
        struct stat target
        {
        };
        attr |= (::stat(path.c_str(), &target) == 0 && S_ISDIR(target.st_mode)) ? faDirectory : faArchive;
    } else if (fmt == S_IFDIR) {
        attr |= faDirectory;
        bool mountRoot = false;
        if (sx.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) {
            mountRoot = (sx.stx_attributes & STATX_ATTR_MOUNT_ROOT) != 0;
        } else {
            struct stat parent
            {
            };
            std::string p = path + "/..";
            mountRoot = ::stat(p.c_str(), &parent) == 0 && parent.st_dev != data.Dev;
        }
        // The root folder is where everything starts, not a junction to elsewhere.
        if (mountRoot && path != "/") {
            attr |= faReparsePoint;
            data.ReparseTag = IO_REPARSE_TAG_MOUNT_POINT;
        }
    } else if (fmt == S_IFREG) {
        data.Size = static_cast<int64_t>(sx.stx_size);
    } else {
        attr |= faSysFile; // FIFO, socket or device
    }
    if (!(sx.stx_mode & S_IWUSR) && fmt != S_IFLNK)
        attr |= faReadOnly;
    std::string_view base = BaseNameOf(path);
    if (base.size() > 1 && base[0] == '.' && base != "..")
        attr |= faHidden;
    if (fmt == S_IFREG && withArchiveBit && IsArchiveBitSet(path, data, followLink))
        attr |= faArchive;
    if (attr == 0)
        attr = faNormal;
    data.Attr = attr;
    return 0;
}

bool IsArchiveBitSet(const std::string& path, const TPosixFileData& data, bool followLink)
{
    std::string value;
    if (ExtAttrLayer::Current().Get(path, ArchiveXattrName, value, followLink) != 0)
        return true;
    return value != ArchiveMarkValue(data);
}

uint32_t ResetArchiveBit(const std::string& path, bool followLink)
{
    TPosixFileData data;
    if (uint32_t rc = ReadFileData(path, followLink, data))
        return rc;
    if ((data.Mode & S_IFMT) != S_IFREG)
        return 0; // only files carry the bit
    ExtAttrLayer& layer = ExtAttrLayer::Current();
    std::string value = ArchiveMarkValue(data);
    int err = layer.Set(path, ArchiveXattrName, value, followLink);
    if ((err == EACCES || err == EPERM) && !(data.Mode & S_IWUSR)) {
        // A read-only file: its owner may still mark it after a short u+w.
        if (::chmod(path.c_str(), data.Mode | S_IWUSR) == 0) {
            err = layer.Set(path, ArchiveXattrName, value, followLink);
            ::chmod(path.c_str(), data.Mode & 07777);
        }
    }
    if (err == 0)
        return 0;
    if (err == ENOTSUP || err == EOPNOTSUPP)
        return WinError::ERROR_NOT_SUPPORTED;
    return ErrnoToWinError(err);
}

uint32_t SetArchiveBit(const std::string& path, bool followLink)
{
    int err = ExtAttrLayer::Current().Remove(path, ArchiveXattrName, followLink);
    if (err == 0 || err == ENODATA || err == ENOTSUP || err == EOPNOTSUPP)
        return 0;
    if (err == EACCES || err == EPERM) {
        struct stat st
        {
        };
        if (::stat(path.c_str(), &st) == 0 && !(st.st_mode & S_IWUSR) &&
            ::chmod(path.c_str(), st.st_mode | S_IWUSR) == 0) {
            err = ExtAttrLayer::Current().Remove(path, ArchiveXattrName, followLink);
            ::chmod(path.c_str(), st.st_mode & 07777);
            if (err == 0 || err == ENODATA)
                return 0;
        }
    }
    return ErrnoToWinError(err);
}

uint32_t WriteFileAttributes(const std::string& path, uint32_t attr, bool followLink)
{
    TPosixFileData data;
    if (uint32_t rc = ReadFileData(path, followLink, data))
        return rc;
    mode_t fmt = data.Mode & S_IFMT;
    if (fmt == S_IFLNK)
        return 0; // a link itself has no mode and no mark
    mode_t mode = data.Mode & 07777;
    mode_t wanted = mode;
    // A read-only mark on a folder does not keep anyone from writing into it; taking the write bit
    // off a folder would make every later backup into it fail, so folders keep their mode.
    if (fmt != S_IFDIR && (attr & faReadOnly))
        wanted &= ~(S_IWUSR | S_IWGRP | S_IWOTH);
    else if (fmt != S_IFDIR && !(mode & S_IWUSR))
        wanted |= S_IWUSR;
    // Mark before making the file read-only, so that the owner can still write the mark.
    if (fmt == S_IFREG) {
        bool isSet = (data.Attr & faArchive) != 0;
        bool wantSet = (attr & faArchive) != 0;
        if (isSet != wantSet) {
            uint32_t rc = wantSet ? SetArchiveBit(path, followLink) : ResetArchiveBit(path, followLink);
            // Without extended attributes the bit stays set, as it does on such Windows volumes.
            if (rc != 0 && rc != WinError::ERROR_NOT_SUPPORTED)
                return rc;
        }
    }
    if (wanted != mode && ::chmod(path.c_str(), wanted) != 0)
        return LastWinError();
    return 0;
}

uint32_t WriteFileTimes(const std::string& path, const FILETIME* lastAccess, const FILETIME* lastWrite,
                        bool followLink)
{
    struct timespec ts[2];
    const FILETIME* times[2] = {lastAccess, lastWrite};
    for (int i = 0; i < 2; ++i) {
        if (!times[i]) {
            ts[i].tv_sec = 0;
            ts[i].tv_nsec = UTIME_OMIT;
        } else {
            int64_t sec, nsec;
            FileTimeToUnixNs(*times[i], sec, nsec);
            ts[i].tv_sec = sec;
            ts[i].tv_nsec = nsec;
        }
    }
    if (::utimensat(AT_FDCWD, path.c_str(), ts, followLink ? 0 : AT_SYMLINK_NOFOLLOW) != 0)
        return LastWinError();
    return 0;
}

// --- extended attribute layers

ExtAttrLayer& ExtAttrLayer::Current()
{
    static RealExtAttrLayer real;
    return gLayer ? *gLayer : real;
}

void ExtAttrLayer::SetCurrent(ExtAttrLayer* layer)
{
    gLayer = layer;
}

int RealExtAttrLayer::Get(const std::string& path, const std::string& name, std::string& value, bool follow)
{
    value.clear();
    for (int attempt = 0; attempt < 4; ++attempt) {
        ssize_t n = follow ? ::getxattr(path.c_str(), name.c_str(), nullptr, 0)
                           : ::lgetxattr(path.c_str(), name.c_str(), nullptr, 0);
        if (n < 0)
            return errno;
        value.resize(static_cast<size_t>(n));
        if (n == 0)
            return 0;
        ssize_t m = follow ? ::getxattr(path.c_str(), name.c_str(), value.data(), value.size())
                           : ::lgetxattr(path.c_str(), name.c_str(), value.data(), value.size());
        if (m >= 0) {
            value.resize(static_cast<size_t>(m));
            return 0;
        }
        if (errno != ERANGE)
            return errno;
    }
    return ERANGE;
}

int RealExtAttrLayer::Set(const std::string& path, const std::string& name, std::string_view value,
                          bool follow)
{
    int rc = follow ? ::setxattr(path.c_str(), name.c_str(), value.data(), value.size(), 0)
                    : ::lsetxattr(path.c_str(), name.c_str(), value.data(), value.size(), 0);
    return rc == 0 ? 0 : errno;
}

int RealExtAttrLayer::Remove(const std::string& path, const std::string& name, bool follow)
{
    int rc = follow ? ::removexattr(path.c_str(), name.c_str()) : ::lremovexattr(path.c_str(), name.c_str());
    return rc == 0 ? 0 : errno;
}

int RealExtAttrLayer::List(const std::string& path, std::vector<std::string>& names, bool follow)
{
    names.clear();
    std::string buf;
    for (int attempt = 0; attempt < 4; ++attempt) {
        ssize_t n = follow ? ::listxattr(path.c_str(), nullptr, 0) : ::llistxattr(path.c_str(), nullptr, 0);
        if (n < 0)
            return errno;
        if (n == 0)
            return 0;
        buf.resize(static_cast<size_t>(n));
        ssize_t m = follow ? ::listxattr(path.c_str(), buf.data(), buf.size())
                           : ::llistxattr(path.c_str(), buf.data(), buf.size());
        if (m >= 0) {
            buf.resize(static_cast<size_t>(m));
            size_t start = 0;
            while (start < buf.size()) {
                size_t end = buf.find('\0', start);
                if (end == std::string::npos)
                    end = buf.size();
                if (end > start)
                    names.emplace_back(buf.substr(start, end - start));
                start = end + 1;
            }
            return 0;
        }
        if (errno != ERANGE)
            return errno;
    }
    return ERANGE;
}

int RefusingExtAttrLayer::Get(const std::string&, const std::string&, std::string&, bool)
{
    return ENOTSUP;
}

int RefusingExtAttrLayer::Set(const std::string&, const std::string&, std::string_view, bool)
{
    return ENOTSUP;
}

int RefusingExtAttrLayer::Remove(const std::string&, const std::string&, bool)
{
    return ENOTSUP;
}

int RefusingExtAttrLayer::List(const std::string&, std::vector<std::string>&, bool)
{
    return ENOTSUP;
}
