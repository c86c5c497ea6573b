#include "foundation/XlFileUtils.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "foundation/FileUtilsOps.h"
#include "foundation/FileUtilsTimes.h"
#include "platform/ErrorCodes.h"

using namespace WinError;

namespace {

// Last-write time of a stat result as local TDateTime, to the millisecond.
TDateTime LocalWriteTime(const struct stat& st)
{
    double seconds =
        static_cast<double>(st.st_mtim.tv_sec) + static_cast<double>(st.st_mtim.tv_nsec / 1000000) / 1000.0;
    return UtcToLocal(UnixDateDelta + seconds / 86400.0);
}

bool IsDirStat(const std::string& path, struct stat& st)
{
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// rename that refuses to replace an existing destination.
int RenameNoReplace(const char* src, const char* dest)
{
    if (::renameat2(AT_FDCWD, src, AT_FDCWD, dest, RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return -1;
    // The file system cannot refuse by itself: test first (not atomic, the best that is left).
    struct stat st;
    if (::lstat(dest, &st) == 0) {
        errno = EEXIST;
        return -1;
    }
    return ::rename(src, dest);
}

} // namespace

std::string AddLongPathPrefix(const std::string& path)
{
    return path;
}

namespace {

// Makes path and any missing parents, the deepest level first: only levels that are missing cost a
// system call. A level that exists as anything but a directory fails.
bool MakeDirectories(const std::string& path, int depth)
{
    if (::mkdir(path.c_str(), 0777) == 0)
        return true;
    struct stat st;
    if (errno == EEXIST)
        return IsDirStat(path, st);
    if (errno != ENOENT || depth > 4096)
        return false;
    size_t slash = path.find_last_not_of('/');
    slash = slash == std::string::npos ? std::string::npos : path.rfind('/', slash);
    if (slash == std::string::npos || slash == 0)
        return false;
    std::string parent = path.substr(0, slash);
    while (parent.size() > 1 && parent.back() == '/')
        parent.pop_back();
    if (!MakeDirectories(parent, depth + 1))
        return false;
    return ::mkdir(path.c_str(), 0777) == 0 || (errno == EEXIST && IsDirStat(path, st));
}

} // namespace

bool XlForceDirectories(const std::string& dir)
{
    std::string path = AddLongPathPrefix(dir);
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    if (path.empty())
        return false;
    struct stat st;
    if (IsDirStat(path, st))
        return true;
    return MakeDirectories(path, 0);
}

uint32_t XlRemoveDir(const std::string& dir)
{
    const std::string path = AddLongPathPrefix(dir);
    if (::rmdir(path.c_str()) == 0)
        return 0;
    int err = errno;
    struct stat st;
    if (err == ENOTDIR && ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        struct stat target;
        if (IsDirStat(path, target))
            return ::unlink(path.c_str()) == 0 ? 0 : LastWinError();
    }
    return ErrnoToWinError(err);
}

uint32_t XlRemoveDirEx(const std::string& dir, bool clearReadOnly)
{
    uint32_t first = 0;
    if (clearReadOnly)
        first = XlChangeFileAttr(dir, faReadOnly, true, false);
    uint32_t code = XlRemoveDir(dir);
    return first ? first : code;
}

bool XlDirectoryExists(const std::string& dir, bool followLink)
{
    int attr = PosixFileGetAttr(AddLongPathPrefix(dir), followLink);
    return attr != -1 && (static_cast<uint32_t>(attr) & faDirectory) != 0;
}

bool XlIsEmptyDirectory(const std::string& dir)
{
    return IsEmptyDirectory(AddLongPathPrefix(dir));
}

bool XlFileExists(const std::string& name, bool followLink)
{
    int attr = PosixFileGetAttr(AddLongPathPrefix(name), followLink);
    return attr != -1 && (static_cast<uint32_t>(attr) & faDirectory) == 0;
}

bool XlIsPathMissing(const std::string& name)
{
    return IsPathMissing(AddLongPathPrefix(name));
}

uint32_t XlDeleteFile(const std::string& name, bool clearReadOnly)
{
    const std::string path = AddLongPathPrefix(name);
    if (clearReadOnly) {
        if (uint32_t code = XlChangeFileAttr(path, faReadOnly, true, false))
            return code;
    } else {
        int attr = PosixFileGetAttr(path, false);
        if (attr != -1 && (static_cast<uint32_t>(attr) & (faReadOnly | faDirectory)) == faReadOnly)
            return ERROR_ACCESS_DENIED;
    }
    return ::unlink(path.c_str()) == 0 ? 0 : LastWinError();
}

uint32_t XlDeleteExistingFile(const std::string& name, bool clearReadOnly)
{
    if (!XlFileExists(name, true))
        return 0;
    return XlDeleteFile(name, clearReadOnly);
}

bool XlTryDeleteFile(const std::string& name, bool clearReadOnly)
{
    return XlDeleteFile(name, clearReadOnly) == 0;
}

uint32_t XlMoveFile(const std::string& src, const std::string& dest)
{
    const std::string from = AddLongPathPrefix(src);
    const std::string to = AddLongPathPrefix(dest);
    return RenameNoReplace(from.c_str(), to.c_str()) == 0 ? 0 : LastWinError();
}

int XlMoveFileSetAttr(const std::string& src, const std::string& dest, uint32_t attr)
{
    if (uint32_t code = XlMoveFile(src, dest))
        return static_cast<int>(code);
    return -static_cast<int>(XlFileSetAttr(dest, attr, true));
}

int64_t XlGetFileSizeOf(const std::string& name)
{
    return GetFileSizeOf(AddLongPathPrefix(name));
}

int XlFileGetAttr(const std::string& name, bool followLink)
{
    return PosixFileGetAttr(AddLongPathPrefix(name), followLink);
}

uint32_t XlFileSetAttr(const std::string& name, uint32_t attr, bool followLink)
{
    return PosixFileSetAttr(AddLongPathPrefix(name), attr, followLink);
}

uint32_t XlChangeFileAttr(const std::string& name, uint32_t attr, bool clear, bool followLink)
{
    return ChangeFileAttr(AddLongPathPrefix(name), attr, clear, followLink);
}

TDateTime XlGetFileAge(const std::string& name, bool followLink)
{
    const std::string path = AddLongPathPrefix(name);
    struct stat st;
    int rc = followLink ? ::stat(path.c_str(), &st) : ::lstat(path.c_str(), &st);
    if (rc != 0 || S_ISDIR(st.st_mode))
        return 0;
    return LocalWriteTime(st);
}

TDateTime XlGetFileAgeDef(const std::string& name, TDateTime def)
{
    TDateTime age = XlGetFileAge(name, false);
    return age == 0 ? def : age;
}

TDateTime XlGetDirAge(const std::string& dir)
{
    struct stat st;
    if (!IsDirStat(AddLongPathPrefix(dir), st))
        return 0;
    return LocalWriteTime(st);
}

bool XlIsReparsePoint(const std::string& name)
{
    int attr = PosixFileGetAttr(AddLongPathPrefix(name), false);
    return attr != -1 && (static_cast<uint32_t>(attr) & faReparsePoint) != 0;
}

bool XlCheckDirAccess(const std::string& dir, uint32_t& errCode)
{
    return CheckDirAccess(AddLongPathPrefix(dir), errCode);
}
