#pragma once
// The file-system services the copy engine needs, over POSIX calls: file data and attributes, times,
// temporary names, deleting and renaming. Errors are Windows-style codes (0 = success).

#include <cstdint>
#include <string>

namespace EngineFs {

// FILETIME ticks (100 ns since 1601-01-01) of 1970-01-01.
constexpr uint64_t UnixEpochTicks = 116444736000000000ULL;
constexpr uint32_t InvalidAttributes = 0xFFFFFFFF;

// Attribute bits of the suite's attribute word.
constexpr uint32_t faReadOnly = 0x01;
constexpr uint32_t faHidden = 0x02;
constexpr uint32_t faDirectory = 0x10;
constexpr uint32_t faArchive = 0x20;
constexpr uint32_t faReparsePoint = 0x400;

// The three UTC file times of a file (FILETIME ticks) with a Valid flag.
struct Timestamps
{
    bool Valid = false;
    uint64_t CreationTime = 0;
    uint64_t LastAccessTime = 0;
    uint64_t LastWriteTime = 0;
    void Reset() { *this = Timestamps{}; }
};

struct FileStat
{
    bool IsDir = false;
    int64_t Size = 0;
    uint32_t Attr = InvalidAttributes;
    uint32_t Mode = 0;
    Timestamps Times;
};

// 0 when found (links followed or not), else the error code.
uint32_t StatPath(const std::string& path, FileStat& info, bool followLinks);
bool Exists(const std::string& path, bool followLinks);
bool DirectoryExists(const std::string& path);

uint64_t UnixToFileTime(int64_t seconds, int64_t nanoseconds = 0);
// Unix seconds of a FILETIME, rounded to the nearest second.
int64_t FileTimeToUnix(uint64_t fileTime);
// The local DOS date-time of a UTC FILETIME; 0xFFFFFFFF when it cannot be converted.
uint32_t FileTimeToLocalDosTime(uint64_t fileTime);
// Unix seconds (UTC) of a local DOS date-time; 0 for an invalid value.
int64_t DosTimeToUnixTime(uint32_t dosTime);

// Sets the last-write time (and the last-access time when setAll; creation times cannot be set). A time
// that cannot be converted or lies more than a day ahead becomes now when checkTime is set; invalid
// stamps set now.
uint32_t SetFileTimestamps(const std::string& path, const Timestamps& times, bool checkTime, bool setAll);
// The attribute word of a path (links not followed), InvalidAttributes when it cannot be read.
uint32_t GetAttributes(const std::string& path);
// Applies the read-only and archive bits of attr (the other bits are derived from the file).
uint32_t SetAttributes(const std::string& path, uint32_t attr);
// Copies the permission bits of source to dest.
uint32_t CopyPermissions(const std::string& source, const std::string& dest);

// The user's temporary folder with a trailing slash.
std::string UserTempDir();
std::string ExtractFileName(const std::string& path);
std::string ExtractFilePath(const std::string& path); // with trailing slash, empty when none
std::string ExtractFileExt(const std::string& path);  // with its dot; a leading dot starts no extension

uint32_t DeleteFile(const std::string& path);
// Renames; with noReplace an existing target is never replaced (code 80).
uint32_t RenameFile(const std::string& from, const std::string& to, bool noReplace);

// Creates a new file beside finalName under a hidden temporary name; returns the descriptor or -1 with
// code set. tempName receives the name.
int CreateTempBeside(const std::string& finalName, std::string& tempName, uint32_t& code);
// Flushes a file's data to the disk and drops it from the cache so that a re-read comes from the disk.
uint32_t FlushToDisk(int fd);

} // namespace EngineFs

namespace EngineFs {
// Copies the user.* extended attributes of source to dest (the alternate data of a file here).
uint32_t CopyUserXattrs(const std::string& source, const std::string& dest);
} // namespace EngineFs
