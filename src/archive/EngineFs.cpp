#include "archive/EngineFs.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <openssl/rand.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/ErrorCodes.h"
#include "platform/PosixFiles.h"

namespace EngineFs {

namespace {

uint32_t AttributesOf(const struct stat& st, const std::string& path)
{
    uint32_t attr = 0;
    if (S_ISDIR(st.st_mode))
        attr |= faDirectory;
    else
        attr |= faArchive;
    if (S_ISLNK(st.st_mode))
        attr |= faReparsePoint;
    if ((st.st_mode & S_IWUSR) == 0)
        attr |= faReadOnly;
    std::string name = ExtractFileName(path);
    if (!name.empty() && name[0] == '.' && name != "." && name != "..")
        attr |= faHidden;
    return attr;
}

uint64_t NowFileTime()
{
    struct timespec ts
    {
    };
    clock_gettime(CLOCK_REALTIME, &ts);
    return UnixToFileTime(ts.tv_sec, ts.tv_nsec);
}

struct timespec ToTimespec(uint64_t fileTime)
{
    int64_t ticks = static_cast<int64_t>(fileTime - UnixEpochTicks);
    int64_t seconds = ticks / 10000000;
    int64_t rest = ticks % 10000000;
    if (rest < 0) {
        rest += 10000000;
        --seconds;
    }
    struct timespec ts
    {
    };
    ts.tv_sec = static_cast<time_t>(seconds);
    ts.tv_nsec = static_cast<long>(rest * 100);
    return ts;
}

// A FILETIME that cannot be converted (beyond year 9999) or lies more than a day ahead.
bool Implausible(uint64_t fileTime, uint64_t now)
{
    constexpr uint64_t MaxFileTime = 2650467743999999999ULL; // 9999-12-31 23:59:59.9999999
    constexpr uint64_t Day = 864000000000ULL;
    return fileTime > MaxFileTime || fileTime > now + Day;
}

} // namespace

uint32_t StatPath(const std::string& path, FileStat& info, bool followLinks)
{
    info = FileStat{};
    struct stat st
    {
    };
    int rc = followLinks ? ::stat(path.c_str(), &st) : ::lstat(path.c_str(), &st);
    if (rc != 0)
        return LastWinError();
    info.IsDir = S_ISDIR(st.st_mode);
    info.Size = S_ISREG(st.st_mode) ? static_cast<int64_t>(st.st_size) : 0;
    int attr = PosixFileGetAttr(path, followLinks);
    info.Attr = attr >= 0 ? static_cast<uint32_t>(attr) : AttributesOf(st, path);
    info.Mode = st.st_mode;
    info.Times.Valid = true;
    info.Times.LastWriteTime = UnixToFileTime(st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
    info.Times.LastAccessTime = UnixToFileTime(st.st_atim.tv_sec, st.st_atim.tv_nsec);
    info.Times.CreationTime = UnixToFileTime(st.st_ctim.tv_sec, st.st_ctim.tv_nsec);
    return 0;
}

bool Exists(const std::string& path, bool followLinks)
{
    struct stat st
    {
    };
    return (followLinks ? ::stat(path.c_str(), &st) : ::lstat(path.c_str(), &st)) == 0;
}

bool DirectoryExists(const std::string& path)
{
    struct stat st
    {
    };
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

uint64_t UnixToFileTime(int64_t seconds, int64_t nanoseconds)
{
    return static_cast<uint64_t>(seconds * 10000000 + nanoseconds / 100) + UnixEpochTicks;
}

int64_t FileTimeToUnix(uint64_t fileTime)
{
    int64_t ticks = static_cast<int64_t>(fileTime - UnixEpochTicks) + 5000000;
    int64_t seconds = ticks / 10000000;
    if (ticks % 10000000 < 0)
        --seconds;
    return seconds;
}

uint32_t FileTimeToLocalDosTime(uint64_t fileTime)
{
    time_t seconds = static_cast<time_t>(FileTimeToUnix(fileTime));
    struct tm local
    {
    };
    if (!localtime_r(&seconds, &local) || local.tm_year < 80 || local.tm_year > 207)
        return 0xFFFFFFFF;
    uint32_t date =
        static_cast<uint32_t>(((local.tm_year - 80) << 9) | ((local.tm_mon + 1) << 5) | local.tm_mday);
    uint32_t time = static_cast<uint32_t>((local.tm_hour << 11) | (local.tm_min << 5) | (local.tm_sec / 2));
    return (date << 16) | time;
}

int64_t DosTimeToUnixTime(uint32_t dosTime)
{
    struct tm local
    {
    };
    local.tm_year = static_cast<int>((dosTime >> 25) & 0x7F) + 80;
    local.tm_mon = static_cast<int>((dosTime >> 21) & 0x0F) - 1;
    local.tm_mday = static_cast<int>((dosTime >> 16) & 0x1F);
    local.tm_hour = static_cast<int>((dosTime >> 11) & 0x1F);
    local.tm_min = static_cast<int>((dosTime >> 5) & 0x3F);
    local.tm_sec = static_cast<int>(dosTime & 0x1F) * 2;
    local.tm_isdst = -1;
    if (local.tm_mon < 0 || local.tm_mon > 11 || local.tm_mday < 1 || local.tm_hour > 23 ||
        local.tm_min > 59 || local.tm_sec > 59)
        return 0;
    time_t t = mktime(&local);
    return t == static_cast<time_t>(-1) ? 0 : static_cast<int64_t>(t);
}

uint32_t SetFileTimestamps(const std::string& path, const Timestamps& times, bool checkTime, bool setAll)
{
    uint64_t now = NowFileTime();
    uint64_t write = times.LastWriteTime;
    uint64_t access = times.LastAccessTime;
    if (!times.Valid) {
        write = access = now;
    } else if (checkTime) {
        if (Implausible(write, now))
            write = now;
        if (Implausible(access, now))
            access = now;
    }
    struct timespec ts[2];
    ts[0] = setAll ? ToTimespec(access) : timespec{0, UTIME_OMIT};
    ts[1] = ToTimespec(write);
    if (::utimensat(AT_FDCWD, path.c_str(), ts, AT_SYMLINK_NOFOLLOW) != 0)
        return LastWinError();
    return 0;
}

uint32_t GetAttributes(const std::string& path)
{
    int attr = PosixFileGetAttr(path, false);
    return attr < 0 ? InvalidAttributes : static_cast<uint32_t>(attr);
}

uint32_t SetAttributes(const std::string& path, uint32_t attr)
{
    return PosixFileSetAttr(path, attr, false);
}

uint32_t CopyPermissions(const std::string& source, const std::string& dest)
{
    struct stat st
    {
    };
    if (::stat(source.c_str(), &st) != 0)
        return LastWinError();
    if (::chmod(dest.c_str(), st.st_mode & 07777) != 0)
        return LastWinError();
    return 0;
}

std::string UserTempDir()
{
    const char* dir = std::getenv("TMPDIR");
    std::string result = dir && *dir ? dir : "/tmp";
    if (result.back() != '/')
        result += '/';
    return result;
}

std::string ExtractFileName(const std::string& path)
{
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string ExtractFilePath(const std::string& path)
{
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string ExtractFileExt(const std::string& path)
{
    std::string name = ExtractFileName(path);
    size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0)
        return {};
    return name.substr(dot);
}

uint32_t DeleteFile(const std::string& path)
{
    return ::unlink(path.c_str()) == 0 ? 0 : LastWinError();
}

uint32_t RenameFile(const std::string& from, const std::string& to, bool noReplace)
{
    if (!noReplace)
        return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : LastWinError();
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno == EEXIST)
        return WinError::ERROR_FILE_EXISTS;
    if (errno != EINVAL && errno != ENOSYS)
        return LastWinError();
    // file systems without an atomic no-replace rename
    if (Exists(to, false))
        return WinError::ERROR_FILE_EXISTS;
    return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : LastWinError();
}

int CreateTempBeside(const std::string& finalName, std::string& tempName, uint32_t& code)
{
    std::string folder = ExtractFilePath(finalName);
    std::string name = ExtractFileName(finalName);
    for (int attempt = 0; attempt < 100; ++attempt) {
        unsigned char random[4] = {};
        RAND_bytes(random, sizeof random);
        char suffix[16];
        std::snprintf(suffix, sizeof suffix, "%02x%02x%02x%02x", random[0], random[1], random[2], random[3]);
        tempName = folder + "." + name.substr(0, 200) + "." + suffix + ".part";
        int fd = ::open(tempName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            code = 0;
            return fd;
        }
        if (errno != EEXIST) {
            code = LastWinError();
            tempName.clear();
            return -1;
        }
    }
    code = WinError::ERROR_FILE_EXISTS;
    tempName.clear();
    return -1;
}

uint32_t FlushToDisk(int fd)
{
    if (::fdatasync(fd) != 0 && errno != EINVAL && errno != EROFS)
        return LastWinError();
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    return 0;
}

} // namespace EngineFs

#include <sys/xattr.h>
#include <vector>

namespace EngineFs {

uint32_t CopyUserXattrs(const std::string& source, const std::string& dest)
{
    ssize_t listSize = ::llistxattr(source.c_str(), nullptr, 0);
    if (listSize < 0)
        return errno == ENOTSUP ? 0 : LastWinError();
    std::vector<char> names(static_cast<size_t>(listSize) + 1);
    listSize = ::llistxattr(source.c_str(), names.data(), names.size());
    if (listSize < 0)
        return LastWinError();
    for (ssize_t at = 0; at < listSize;) {
        std::string name(names.data() + at);
        at += static_cast<ssize_t>(name.size()) + 1;
        if (name.rfind("user.", 0) != 0 || name.rfind("user.vastrel.", 0) == 0)
            continue;
        ssize_t size = ::lgetxattr(source.c_str(), name.c_str(), nullptr, 0);
        if (size < 0)
            return LastWinError();
        std::vector<char> value(static_cast<size_t>(size));
        size = ::lgetxattr(source.c_str(), name.c_str(), value.data(), value.size());
        if (size < 0)
            return LastWinError();
        if (::lsetxattr(dest.c_str(), name.c_str(), value.data(), static_cast<size_t>(size), 0) != 0)
            return LastWinError();
    }
    return 0;
}

} // namespace EngineFs
