#pragma once
// Time stamps, attributes and sizes of files and folders, and the conversions between FILETIME, the
// local TDateTime, DOS date-times and Unix seconds. Part of the FileUtils family.
//
// All routines report failures as Windows-style codes (0 = success) or by their documented failure
// value, and never raise. The creation time is the file system's birth time where it keeps one;
// setting it is not possible on Linux and is silently skipped.

#include <cstdint>
#include <string>

#include "platform/DirSearch.h"
#include "platform/FileStatus.h"
#include "rtl/DateTime.h"

// The directory entry of a file as a directory search reports it.
struct TWin32FindData
{
    uint32_t dwFileAttributes = 0;
    FILETIME ftCreationTime = 0;
    FILETIME ftLastAccessTime = 0;
    FILETIME ftLastWriteTime = 0;
    uint32_t nFileSizeHigh = 0;
    uint32_t nFileSizeLow = 0;
    uint32_t dwReserved0 = 0; // the reparse tag of a reparse point
    std::string cFileName;
};

// The attribute data of a file (attributes, three times, size).
struct TWin32FileAttributeData
{
    uint32_t dwFileAttributes = 0;
    FILETIME ftCreationTime = 0;
    FILETIME ftLastAccessTime = 0;
    FILETIME ftLastWriteTime = 0;
    uint32_t nFileSizeHigh = 0;
    uint32_t nFileSizeLow = 0;
};

struct TFileTimestamps
{
    bool Valid = false;
    FILETIME CreationTime = 0;
    FILETIME LastAccessTime = 0;
    FILETIME LastWriteTime = 0;

    // Valid false, all three times zero.
    void Reset();
    // Valid true; creation time from CTime, last-write and last-access time from MTime (both local).
    void SetTimeStamps(TDateTime cTime, TDateTime mTime);
};

struct TFileInfo
{
    std::string Name;
    TDateTime CreationTime = 0; // local
    TDateTime DateTime = 0;     // local last-write time
    FILETIME FileTime = 0;      // UTC last-write time
    int64_t Size = 0;
    uint32_t Attr = 0;
    uint32_t Res = 0; // the reparse tag of a reparse point, else 0
};

// --- reading file data

bool GetFileFindData(const std::string& name, TWin32FindData& findData);
uint32_t GetFileAttrData(const std::string& name, TWin32FileAttributeData& attrData, bool followLink);
void GetFileUtcTime(const std::string& name, FILETIME& fileTime);
TDateTime GetFileUtcDateTime(const std::string& name);
TDateTime GetFileAge(const std::string& name, bool followLink = true);
int64_t GetFileSizeOf(const std::string& name);
int64_t GetFindDataSize(const TWin32FindData& findData);
int64_t GetAttrDataSize(const TWin32FileAttributeData& attrData);
bool GetFileInfo(const std::string& path, TFileInfo& fileInfo, bool includeDirs);
bool GetFileInfoValues(const std::string& path, bool includeDirs, int64_t& size, FILETIME& fileTime,
                       uint32_t& attr, uint32_t& res);
void SearchRecToFileInfo(const TSearchRec& searchRec, TFileInfo& fileInfo);
void FindDataToTimestamps(const TWin32FindData& findData, TFileTimestamps& timestamps);
void FindDataToTimestamps(const TWin32FileAttributeData& attrData, TFileTimestamps& timestamps);
void GetPathTimestamps(const std::string& name, bool isDir, bool followLink, TFileTimestamps& timestamps);
void GetDirTimestamps(const std::string& dir, bool followLink, TFileTimestamps& timestamps);
bool TryGetDirAge(const std::string& dir, TDateTime& dateTime);
TDateTime GetDirAge(const std::string& dir);
int32_t GetDirDosTime(const std::string& dir, bool followLink = true);

// --- setting times

uint32_t SetFileUtcTime(const std::string& name, FILETIME fileTime, bool checkTime);
uint32_t SetFileTimestamps(const std::string& name, TFileTimestamps timestamps, bool checkTime, bool setAll,
                           bool followLink);
uint32_t SetFileLocalTime(const std::string& name, FILETIME localFileTime, bool followLink);
uint32_t SetFileDosTime(const std::string& name, uint32_t dosTime, bool followLink);
uint32_t SetDirLocalTime(const std::string& dir, FILETIME localFileTime, bool followLink);

// --- conversions

// FileTimeToDateTime and DateTimeToFileTime (no zone conversion) are those of rtl/DateTime.h.
bool TryFileTimeToDateTime(FILETIME fileTime, TDateTime& dateTime);
// FileTimeToDateTime, or the current local time when the value cannot be converted.
TDateTime FileTimeToDateTimeDefNow(FILETIME fileTime);
bool TryFileTimeToLocalDateTime(FILETIME fileTime, TDateTime& dateTime);
TDateTime FileTimeToLocalDateTime(FILETIME fileTime);
TDateTime DosTimeToDateTime(uint32_t dosTime);
FILETIME LocalDateTimeToFileTime(TDateTime dateTime);
int32_t FileTimeToLocalDosTime(FILETIME fileTime);
uint32_t FileTimeToDosTime(FILETIME fileTime);
int64_t DateTimeToUnixTime(TDateTime dateTime);
TDateTime UnixTimeToDateTime(uint32_t seconds);
int64_t FileTimeToUnixTime(FILETIME fileTime);
FILETIME UnixTimeToFileTime(int64_t seconds);
int64_t DosTimeToUnixTime(uint32_t dosTime);
void ClearFileTime(FILETIME& fileTime);
std::string FileTimeToStr(FILETIME fileTime);

// --- attributes

// "r", "a", "h", "s" or "-" each, then "L" for a reparse point.
std::string FileAttrToStr(uint32_t attr);
uint32_t ChangeFileAttr(const std::string& name, uint32_t attr, bool clear, bool followLink = true);
