#include "platform/PosixFiles.h"

#include <cerrno>
#include <sys/stat.h>
#include <sys/xattr.h>

#include "platform/ErrorCodes.h"

namespace {

bool StatPath(const std::string& path, bool followLink, struct stat& st)
{
    return (followLink ? ::stat(path.c_str(), &st) : ::lstat(path.c_str(), &st)) == 0;
}

// The last name of a path, trailing slashes ignored.
std::string LastName(const std::string& path)
{
    size_t end = path.find_last_not_of('/');
    if (end == std::string::npos)
        return {};
    size_t start = path.rfind('/', end);
    start = start == std::string::npos ? 0 : start + 1;
    return path.substr(start, end - start + 1);
}

bool IsHiddenName(const std::string& path)
{
    std::string name = LastName(path);
    return !name.empty() && name[0] == '.' && name != "." && name != "..";
}

std::string ArchiveRecord(const struct stat& st)
{
    int64_t ns = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    return std::to_string(ns) + ":" + std::to_string(static_cast<int64_t>(st.st_size));
}

// True when the archive record of a regular file matches its current time and size.
bool ArchiveCleared(const std::string& path, const struct stat& st)
{
    char buf[64];
    ssize_t n = ::getxattr(path.c_str(), ArchiveXattrName, buf, sizeof(buf));
    if (n <= 0)
        return false;
    return std::string(buf, static_cast<size_t>(n)) == ArchiveRecord(st);
}

bool XattrUnsupported(int err)
{
    return err == ENOTSUP || err == EOPNOTSUPP;
}

} // namespace

bool PosixIsMountPoint(const std::string& dir)
{
    struct stat self, parent;
    if (::stat(dir.c_str(), &self) != 0 || !S_ISDIR(self.st_mode))
        return false;
    std::string up = dir;
    if (up.empty() || up.back() != '/')
        up += '/';
    up += "..";
    if (::stat(up.c_str(), &parent) != 0)
        return false;
    return self.st_dev != parent.st_dev;
}

int PosixFileGetAttr(const std::string& path, bool followLink, uint32_t* error)
{
    struct stat st;
    if (path.empty() || !StatPath(path, followLink, st)) {
        if (error)
            *error = path.empty() ? ErrnoToWinError(ENOENT) : LastWinError();
        return -1;
    }
    if (error)
        *error = 0;
    uint32_t attr = 0;
    if (IsHiddenName(path))
        attr |= faHidden;
    if (S_ISLNK(st.st_mode)) {
        struct stat target;
        attr |= faReparsePoint;
        attr |= (::stat(path.c_str(), &target) == 0 && S_ISDIR(target.st_mode)) ? faDirectory : faArchive;
        return static_cast<int>(attr);
    }
    if ((st.st_mode & S_IWUSR) == 0)
        attr |= faReadOnly;
    if (S_ISDIR(st.st_mode)) {
        attr |= faDirectory;
        if (PosixIsMountPoint(path))
            attr |= faReparsePoint;
    } else if (S_ISREG(st.st_mode)) {
        if (!ArchiveCleared(path, st))
            attr |= faArchive;
        if (attr == 0)
            attr = faNormal;
    } else {
        attr |= faSysFile;
    }
    return static_cast<int>(attr);
}

uint32_t PosixFileSetAttr(const std::string& path, uint32_t attr, bool followLink)
{
    struct stat st;
    if (path.empty())
        return ErrnoToWinError(ENOENT);
    if (!StatPath(path, followLink, st))
        return LastWinError();
    if (S_ISLNK(st.st_mode))
        return 0;

    const mode_t writeBits = S_IWUSR | S_IWGRP | S_IWOTH;
    const mode_t mode = st.st_mode & 07777;
    const bool wasReadOnly = (mode & S_IWUSR) == 0;
    const bool wantReadOnly = (attr & faReadOnly) != 0;
    const mode_t finalMode = wantReadOnly ? (mode & ~writeBits) : (wasReadOnly ? (mode | S_IWUSR) : mode);

    bool archiveStep = false;
    if (S_ISREG(st.st_mode)) {
        const bool wantArchive = (attr & faArchive) != 0;
        archiveStep = wantArchive == ArchiveCleared(path, st);
    }
    if (!archiveStep) {
        if (finalMode != mode && ::chmod(path.c_str(), finalMode) != 0)
            return LastWinError();
        return 0;
    }

    // Writing an extended attribute needs write permission: make the file writable for the step.
    if (wasReadOnly && ::chmod(path.c_str(), mode | S_IWUSR) != 0)
        return LastWinError();
    uint32_t code = 0;
    int rc;
    if (attr & faArchive) {
        rc = ::removexattr(path.c_str(), ArchiveXattrName);
        if (rc != 0 && errno == ENODATA)
            rc = 0;
    } else {
        std::string record = ArchiveRecord(st);
        rc = ::setxattr(path.c_str(), ArchiveXattrName, record.data(), record.size(), 0);
    }
    if (rc != 0 && !XattrUnsupported(errno))
        code = LastWinError();
    const mode_t current = wasReadOnly ? (mode | S_IWUSR) : mode;
    if (finalMode != current && ::chmod(path.c_str(), finalMode) != 0 && code == 0)
        code = LastWinError();
    return code;
}
