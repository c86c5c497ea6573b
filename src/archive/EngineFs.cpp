#include "archive/EngineFs.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <openssl/rand.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include "platform/ErrorCodes.h"
#include "platform/PosixFiles.h"

namespace EngineFs {

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

uint32_t GetAttributes(const std::string& path)
{
    int attr = PosixFileGetAttr(path, false);
    return attr < 0 ? InvalidAttributes : static_cast<uint32_t>(attr);
}

uint32_t SetAttributes(const std::string& path, uint32_t attr)
{
    return PosixFileSetAttr(path, attr, false);
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

namespace {

// Suffixes for temporary names: one sequence for the process, seeded once from the system's random
// source, so that parallel workers and runs pick different names without a random draw for every file
// (a worker thread lives for one file only: a draw per thread would be one per file).
uint32_t NextTempSuffix()
{
    static std::atomic<uint64_t> state{[] {
        uint64_t seed = 0;
        if (RAND_bytes(reinterpret_cast<unsigned char*>(&seed), sizeof seed) != 1)
            seed = static_cast<uint64_t>(::getpid()) << 32 ^ static_cast<uint64_t>(std::time(nullptr));
        return seed;
    }()};
    // splitmix64
    uint64_t z = state.fetch_add(0x9E3779B97F4A7C15ULL, std::memory_order_relaxed) + 0x9E3779B97F4A7C15ULL;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return static_cast<uint32_t>((z ^ (z >> 31)) >> 32);
}

constexpr const char* PartMark = "user.vastrel.part";

} // namespace

std::string RandomTag()
{
    char tag[16];
    std::snprintf(tag, sizeof tag, "%08x", NextTempSuffix());
    return tag;
}

// The mark holds the name the partial file had when it was marked: a file that took another name since
// (a copy put in place) is no partial file any more, without a call to remove the mark.
bool IsMarkedPart(const std::string& path)
{
    char value[256];
    const ssize_t n = ::lgetxattr(path.c_str(), PartMark, value, sizeof value);
    return n > 0 && std::string(value, static_cast<size_t>(n)) == ExtractFileName(path);
}

void SetPartMark(const std::string& path, bool marked)
{
    const std::string name = ExtractFileName(path);
    if (marked)
        ::lsetxattr(path.c_str(), PartMark, name.data(), name.size(), 0);
    else
        ::lremovexattr(path.c_str(), PartMark);
}

int CreateTempBeside(const std::string& finalName, std::string& tempName, uint32_t& code)
{
    std::string folder = ExtractFilePath(finalName);
    std::string name = ExtractFileName(finalName);
    for (int attempt = 0; attempt < 100; ++attempt) {
        char suffix[16];
        std::snprintf(suffix, sizeof suffix, "%08x", NextTempSuffix());
        tempName = folder + "." + name.substr(0, 200) + "." + suffix + ".part";
        // readable by its owner only while it is written; the copy gets its mode when it is complete
        int fd = ::open(tempName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0) {
            code = 0;
            // without extended attributes the part is never swept
            const std::string marked = ExtractFileName(tempName);
            ::fsetxattr(fd, PartMark, marked.data(), marked.size(), 0);
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
