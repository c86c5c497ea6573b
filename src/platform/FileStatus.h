#pragma once
// The status of a file as the suite sees it: the Windows-style attribute word (the bits are described
// with the file wrappers in PosixFiles.h), the three file times as FILETIME ticks and the size, made
// from statx. This is the one place that computes and writes the attribute word.

#include <cstdint>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

// 100-ns ticks since 1601-01-01, UTC unless a name says otherwise.
using FILETIME = uint64_t;

// The attribute bits are those of the file wrappers.
#include "platform/PosixFiles.h"

constexpr uint32_t faVolumeID = 0x08;

constexpr uint32_t IO_REPARSE_TAG_MOUNT_POINT = 0xA0000003;
constexpr uint32_t IO_REPARSE_TAG_SYMLINK = 0xA000000C;

// Ticks between 1601-01-01 and 1970-01-01.
constexpr int64_t UnixEpochTicks = 116444736000000000LL;

FILETIME UnixNsToFileTime(int64_t sec, int64_t nsec);
// Seconds and nanoseconds since 1970 of a FILETIME.
void FileTimeToUnixNs(FILETIME ft, int64_t& sec, int64_t& nsec);

struct TPosixFileData
{
    uint32_t Attr = 0;       // Windows-style attribute word
    uint32_t ReparseTag = 0; // IO_REPARSE_TAG_* for reparse points, else 0
    int64_t Size = 0;
    FILETIME CreationTime = 0; // birth time where the file system keeps one, else the modification time
    FILETIME LastAccessTime = 0;
    FILETIME LastWriteTime = 0;
    bool HasBirthTime = false;
    mode_t Mode = 0;
    uid_t Uid = 0;
    gid_t Gid = 0;
    dev_t Dev = 0;
    ino_t Ino = 0;
    int64_t MtimeNs = 0; // modification time in ns since 1970 (for the archive mark)
};

// Reads the status of Path (followLink: of the link's target). 0 or a Windows-style code.
uint32_t ReadFileData(const std::string& path, bool followLink, TPosixFileData& data);
// The same for the entry Name of the open folder DirFd (AT_FDCWD: Name is a path), which Path names in
// full. Without withArchiveBit the archive mark is not read and the archive bit stays clear (callers
// that scan many files and need the bit for few of them ask IsArchiveBitSet afterwards).
uint32_t ReadFileDataAt(int dirFd, const std::string& name, const std::string& path, bool followLink,
                        bool withArchiveBit, TPosixFileData& data);

// Sets the attribute word: read-only (owner write bit) and archive (the mark); the other bits cannot be
// set on Linux and are ignored. A link that is not followed keeps its mode (links have none).
// 0 or a Windows-style code.
uint32_t WriteFileAttributes(const std::string& path, uint32_t attr, bool followLink);

// Sets last-access and last-write time (nullptr keeps a time). The creation time cannot be set.
uint32_t WriteFileTimes(const std::string& path, const FILETIME* lastAccess, const FILETIME* lastWrite,
                        bool followLink);

// The archive bit of a file with the given status (the mark is read from Path).
bool IsArchiveBitSet(const std::string& path, const TPosixFileData& data, bool followLink);
// Clears the archive bit: stores the current modification time and size. 0 or a Windows-style code;
// 50 (not supported) when the file system refuses user extended attributes.
uint32_t ResetArchiveBit(const std::string& path, bool followLink);
// Sets the archive bit again (removes the mark).
uint32_t SetArchiveBit(const std::string& path, bool followLink);

// Prefix of the suite's own extended attributes (never copied as alternate streams).
constexpr const char* OwnAttrPrefix = "user.vastrel.";

// The layer that reads and writes extended attributes. The program uses the real one; tests put in one
// that refuses, as a file system without user extended attributes does.
class ExtAttrLayer
{
public:
    virtual ~ExtAttrLayer() = default;
    // Each returns 0 or an errno value.
    virtual int Get(const std::string& path, const std::string& name, std::string& value, bool follow) = 0;
    virtual int Set(const std::string& path, const std::string& name, std::string_view value,
                    bool follow) = 0;
    virtual int Remove(const std::string& path, const std::string& name, bool follow) = 0;
    virtual int List(const std::string& path, std::vector<std::string>& names, bool follow) = 0;

    // The layer in use (the real one unless a test set another).
    static ExtAttrLayer& Current();
    // nullptr restores the real layer; the caller keeps ownership.
    static void SetCurrent(ExtAttrLayer* layer);
};

class RealExtAttrLayer : public ExtAttrLayer
{
public:
    int Get(const std::string& path, const std::string& name, std::string& value, bool follow) override;
    int Set(const std::string& path, const std::string& name, std::string_view value, bool follow) override;
    int Remove(const std::string& path, const std::string& name, bool follow) override;
    int List(const std::string& path, std::vector<std::string>& names, bool follow) override;
};

// A file system without user extended attributes: every call fails with ENOTSUP.
class RefusingExtAttrLayer : public ExtAttrLayer
{
public:
    int Get(const std::string&, const std::string&, std::string&, bool) override;
    int Set(const std::string&, const std::string&, std::string_view, bool) override;
    int Remove(const std::string&, const std::string&, bool) override;
    int List(const std::string&, std::vector<std::string>&, bool) override;
};

// The last path component (empty for "/").
std::string_view BaseNameOf(std::string_view path);
