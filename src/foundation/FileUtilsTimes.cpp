#include "foundation/FileUtilsTimes.h"

#include <cmath>
#include <limits>

#include "platform/ErrorCodes.h"

namespace {

// A FILETIME the system accepts (Windows refuses values with the top bit set).
bool ValidFileTime(FILETIME ft)
{
    return ft <= static_cast<FILETIME>(std::numeric_limits<int64_t>::max());
}

FILETIME NowAsFileTime()
{
    // The current local time taken as FILETIME without zone conversion, as the callers expect.
    return DateTimeToFileTime(Now());
}

void FillFindData(const std::string& name, const TPosixFileData& d, TWin32FindData& f)
{
    f.dwFileAttributes = d.Attr;
    f.ftCreationTime = d.CreationTime;
    f.ftLastAccessTime = d.LastAccessTime;
    f.ftLastWriteTime = d.LastWriteTime;
    f.nFileSizeHigh = static_cast<uint32_t>(static_cast<uint64_t>(d.Size) >> 32);
    f.nFileSizeLow = static_cast<uint32_t>(static_cast<uint64_t>(d.Size) & 0xFFFFFFFFu);
    f.dwReserved0 = d.ReparseTag;
    f.cFileName = std::string(BaseNameOf(name));
}

void FillAttrData(const TPosixFileData& d, TWin32FileAttributeData& a)
{
    a.dwFileAttributes = d.Attr;
    a.ftCreationTime = d.CreationTime;
    a.ftLastAccessTime = d.LastAccessTime;
    a.ftLastWriteTime = d.LastWriteTime;
    a.nFileSizeHigh = static_cast<uint32_t>(static_cast<uint64_t>(d.Size) >> 32);
    a.nFileSizeLow = static_cast<uint32_t>(static_cast<uint64_t>(d.Size) & 0xFFFFFFFFu);
}

// More than one day after the current local time, or not convertible.
bool TimeNeedsCheck(FILETIME ft)
{
    TDateTime dt;
    if (!TryFileTimeToDateTime(ft, dt))
        return true;
    return dt > Now() + 1.0;
}

bool IsRootFolder(const std::string& path)
{
    return path == "/";
}

} // namespace

void TFileTimestamps::Reset()
{
    Valid = false;
    CreationTime = LastAccessTime = LastWriteTime = 0;
}

void TFileTimestamps::SetTimeStamps(TDateTime cTime, TDateTime mTime)
{
    Valid = true;
    CreationTime = LocalDateTimeToFileTime(cTime);
    LastWriteTime = LocalDateTimeToFileTime(mTime);
    LastAccessTime = LastWriteTime;
}

// --- reading

bool GetFileFindData(const std::string& name, TWin32FindData& findData)
{
    findData = TWin32FindData{};
    TPosixFileData d;
    if (ReadFileData(name, false, d) != 0 || (d.Attr & faDirectory))
        return false;
    FillFindData(name, d, findData);
    return true;
}

uint32_t GetFileAttrData(const std::string& name, TWin32FileAttributeData& attrData, bool followLink)
{
    attrData = TWin32FileAttributeData{};
    TPosixFileData d;
    uint32_t rc = ReadFileData(name, false, d);
    if (rc == 0 && followLink && d.ReparseTag == IO_REPARSE_TAG_SYMLINK) {
        // The final target; a relative target is resolved against the link's folder by the system.
        TPosixFileData target;
        if (ReadFileData(name, true, target) == 0)
            d = target;
    }
    if (rc != 0)
        return rc;
    FillAttrData(d, attrData);
    return 0;
}

void GetFileUtcTime(const std::string& name, FILETIME& fileTime)
{
    TPosixFileData d;
    fileTime = ReadFileData(name, true, d) == 0 ? d.LastWriteTime : 0;
}

TDateTime GetFileUtcDateTime(const std::string& name)
{
    FILETIME ft;
    GetFileUtcTime(name, ft);
    TDateTime dt;
    return ft != 0 && TryFileTimeToDateTime(ft, dt) ? dt : 0;
}

TDateTime GetFileAge(const std::string& name, bool followLink)
{
    TPosixFileData d;
    if (ReadFileData(name, followLink, d) != 0 || (d.Attr & faDirectory))
        return 0;
    TDateTime dt;
    return TryFileTimeToLocalDateTime(d.LastWriteTime, dt) ? dt : 0;
}

int64_t GetFileSizeOf(const std::string& name)
{
    TPosixFileData d;
    return ReadFileData(name, true, d) == 0 ? d.Size : 0;
}

int64_t GetFindDataSize(const TWin32FindData& findData)
{
    return static_cast<int64_t>((static_cast<uint64_t>(findData.nFileSizeHigh) << 32) |
                                findData.nFileSizeLow);
}

int64_t GetAttrDataSize(const TWin32FileAttributeData& attrData)
{
    return static_cast<int64_t>((static_cast<uint64_t>(attrData.nFileSizeHigh) << 32) |
                                attrData.nFileSizeLow);
}

bool GetFileInfo(const std::string& path, TFileInfo& fileInfo, bool includeDirs)
{
    TDateTime now = Now();
    fileInfo = TFileInfo{};
    fileInfo.CreationTime = now;
    fileInfo.DateTime = now;
    fileInfo.FileTime = DateTimeToFileTime(now);
    fileInfo.Attr = 0xFFFFFFFFu;
    TSearchRec sr;
    bool found = false;
    if (FindFirst(path, static_cast<int>(faAnyFile), sr) == 0) {
        if (!(static_cast<uint32_t>(sr.Attr) & faDirectory) || includeDirs) {
            SearchRecToFileInfo(sr, fileInfo);
            found = true;
        }
    }
    FindClose(sr);
    return found;
}

bool GetFileInfoValues(const std::string& path, bool includeDirs, int64_t& size, FILETIME& fileTime,
                       uint32_t& attr, uint32_t& res)
{
    TFileInfo fi;
    bool found = GetFileInfo(path, fi, includeDirs);
    size = fi.Size;
    fileTime = fi.FileTime;
    attr = fi.Attr;
    res = fi.Res;
    return found;
}

void SearchRecToFileInfo(const TSearchRec& searchRec, TFileInfo& fileInfo)
{
    fileInfo.Name = searchRec.Name;
    fileInfo.Attr = static_cast<uint32_t>(searchRec.Attr);
    fileInfo.Size = searchRec.Size;
    fileInfo.CreationTime = FileTimeToLocalDateTime(searchRec.FindData.CreationTime);
    TDateTime local;
    fileInfo.DateTime = TryFileTimeToLocalDateTime(searchRec.FindData.LastWriteTime, local) ? local : 0;
    fileInfo.FileTime = searchRec.FindData.LastWriteTime;
    fileInfo.Res = searchRec.FindData.ReparseTag;
}

void FindDataToTimestamps(const TWin32FindData& findData, TFileTimestamps& timestamps)
{
    timestamps.CreationTime = findData.ftCreationTime;
    timestamps.LastAccessTime = findData.ftLastAccessTime;
    timestamps.LastWriteTime = findData.ftLastWriteTime;
    timestamps.Valid = true;
}

void FindDataToTimestamps(const TWin32FileAttributeData& attrData, TFileTimestamps& timestamps)
{
    timestamps.CreationTime = attrData.ftCreationTime;
    timestamps.LastAccessTime = attrData.ftLastAccessTime;
    timestamps.LastWriteTime = attrData.ftLastWriteTime;
    timestamps.Valid = true;
}

void GetPathTimestamps(const std::string& name, bool isDir, bool followLink, TFileTimestamps& timestamps)
{
    timestamps.Reset();
    TWin32FileAttributeData a;
    if (GetFileAttrData(name, a, followLink) != 0)
        return;
    if (((a.dwFileAttributes & faDirectory) != 0) != isDir)
        return;
    FindDataToTimestamps(a, timestamps);
}

void GetDirTimestamps(const std::string& dir, bool followLink, TFileTimestamps& timestamps)
{
    GetPathTimestamps(dir, true, followLink, timestamps);
}

bool TryGetDirAge(const std::string& dir, TDateTime& dateTime)
{
    TPosixFileData d;
    if (ReadFileData(dir, true, d) != 0 || !(d.Attr & faDirectory))
        return false;
    return TryFileTimeToLocalDateTime(d.LastWriteTime, dateTime);
}

TDateTime GetDirAge(const std::string& dir)
{
    TDateTime dt;
    return TryGetDirAge(dir, dt) ? dt : 0;
}

int32_t GetDirDosTime(const std::string& dir, bool /*followLink: links are always followed*/)
{
    TDateTime dt;
    if (!TryGetDirAge(dir, dt))
        return -1;
    return static_cast<int32_t>(DateTimeToDosDateTime(dt));
}

// --- setting

uint32_t SetFileUtcTime(const std::string& name, FILETIME fileTime, bool checkTime)
{
    if (checkTime && TimeNeedsCheck(fileTime))
        fileTime = NowAsFileTime();
    return WriteFileTimes(name, nullptr, &fileTime, true);
}

uint32_t SetFileTimestamps(const std::string& name, TFileTimestamps timestamps, bool checkTime, bool setAll,
                           bool followLink)
{
    FILETIME now = NowAsFileTime();
    if (!timestamps.Valid) {
        timestamps.CreationTime = timestamps.LastAccessTime = timestamps.LastWriteTime = now;
    } else if (checkTime) {
        for (FILETIME* t : {&timestamps.CreationTime, &timestamps.LastAccessTime, &timestamps.LastWriteTime})
            if (TimeNeedsCheck(*t))
                *t = now;
    }
    // The creation time cannot be set on Linux; SetAll sets the last-access time beside the last write.
    if (setAll)
        return WriteFileTimes(name, &timestamps.LastAccessTime, &timestamps.LastWriteTime, followLink);
    return WriteFileTimes(name, nullptr, &timestamps.LastWriteTime, followLink);
}

uint32_t SetFileLocalTime(const std::string& name, FILETIME localFileTime, bool followLink)
{
    TDateTime local;
    if (!TryFileTimeToDateTime(localFileTime, local))
        return WinError::ERROR_INVALID_PARAMETER;
    FILETIME utc = LocalDateTimeToFileTime(local);
    return WriteFileTimes(name, nullptr, &utc, followLink);
}

uint32_t SetFileDosTime(const std::string& name, uint32_t dosTime, bool followLink)
{
    TDateTime dt;
    if (!TryDosDateTimeToDateTime(dosTime, dt))
        return WinError::ERROR_INVALID_PARAMETER;
    return SetFileLocalTime(name, DateTimeToFileTime(dt), followLink);
}

uint32_t SetDirLocalTime(const std::string& dir, FILETIME localFileTime, bool followLink)
{
    if (IsRootFolder(dir))
        return 0;
    return SetFileLocalTime(dir, localFileTime, followLink);
}

// --- conversions

bool TryFileTimeToDateTime(FILETIME fileTime, TDateTime& dateTime)
{
    if (!ValidFileTime(fileTime)) {
        dateTime = Now();
        return false;
    }
    dateTime = FileTimeToDateTime(fileTime);
    return true;
}

TDateTime FileTimeToDateTimeDefNow(FILETIME fileTime)
{
    TDateTime dt;
    TryFileTimeToDateTime(fileTime, dt);
    return dt;
}

bool TryFileTimeToLocalDateTime(FILETIME fileTime, TDateTime& dateTime)
{
    if (!ValidFileTime(fileTime))
        return false;
    dateTime = UtcToLocal(FileTimeToDateTime(fileTime));
    return true;
}

TDateTime FileTimeToLocalDateTime(FILETIME fileTime)
{
    TDateTime dt;
    return TryFileTimeToLocalDateTime(fileTime, dt) ? dt : EncodeDate(1980, 1, 1);
}

TDateTime DosTimeToDateTime(uint32_t dosTime)
{
    TDateTime dt;
    return TryDosDateTimeToDateTime(dosTime, dt) ? dt : EncodeDate(1980, 1, 1);
}

FILETIME LocalDateTimeToFileTime(TDateTime dateTime)
{
    return DateTimeToFileTime(LocalToUtc(dateTime));
}

int32_t FileTimeToLocalDosTime(FILETIME fileTime)
{
    TDateTime local;
    if (!TryFileTimeToLocalDateTime(fileTime, local))
        return -1;
    return static_cast<int32_t>(DateTimeToDosDateTime(local));
}

uint32_t FileTimeToDosTime(FILETIME fileTime)
{
    TDateTime dt;
    if (!TryFileTimeToDateTime(fileTime, dt))
        return 0;
    return DateTimeToDosDateTime(dt);
}

int64_t DateTimeToUnixTime(TDateTime dateTime)
{
    return static_cast<int64_t>(std::llround((dateTime - UnixDateDelta) * 86400.0));
}

TDateTime UnixTimeToDateTime(uint32_t seconds)
{
    return seconds / 86400.0 + UnixDateDelta;
}

int64_t FileTimeToUnixTime(FILETIME fileTime)
{
    return DateTimeToUnixTime(FileTimeToDateTimeDefNow(fileTime));
}

FILETIME UnixTimeToFileTime(int64_t seconds)
{
    return UnixNsToFileTime(seconds, 0);
}

int64_t DosTimeToUnixTime(uint32_t dosTime)
{
    TDateTime dt;
    if (!TryDosDateTimeToDateTime(dosTime, dt))
        return 0;
    return LocalDateTimeToUnix(dt);
}

void ClearFileTime(FILETIME& fileTime)
{
    fileTime = 0;
}

std::string FileTimeToStr(FILETIME fileTime)
{
    TDateTime dt;
    if (!TryFileTimeToDateTime(fileTime, dt))
        return "???";
    return DateTimeToStr(dt);
}

// --- attributes

std::string FileAttrToStr(uint32_t attr)
{
    std::string s;
    s += (attr & faReadOnly) ? 'r' : '-';
    s += (attr & faArchive) ? 'a' : '-';
    s += (attr & faHidden) ? 'h' : '-';
    s += (attr & faSysFile) ? 's' : '-';
    if (attr & faReparsePoint)
        s += 'L';
    return s;
}

uint32_t ChangeFileAttr(const std::string& name, uint32_t attr, bool clear, bool followLink)
{
    TPosixFileData d;
    if (ReadFileData(name, followLink, d) != 0)
        return WinError::ERROR_FILE_NOT_FOUND;
    uint32_t wanted = clear ? (d.Attr & ~attr) : (d.Attr | attr);
    if (wanted == d.Attr)
        return 0;
    return WriteFileAttributes(name, wanted, followLink);
}
