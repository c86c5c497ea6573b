#include "backup/TimestampFile.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <sys/stat.h>

#include "archive/FtpUtils.h"
#include "backup/EngineCodes.h"
#include "foundation/FileUtils.h"
#include "foundation/FileUtilsTimes.h"
#include "foundation/PathUtils.h"
#include "foundation/XlFileUtils.h"
#include "platform/DirSearch.h"
#include "platform/ErrorCodes.h"
#include "platform/FileStatus.h"
#include "rtl/Gettext.h"
#include "rtl/Streams.h"
#include "rtl/SysUtils.h"

const char* const TimestampFileName = "$TimeStamp.qvu";

namespace {

// The range of dates a TDateTime can show: 0001-01-01 to 9999-12-31.
constexpr double MinDateTime = -693593.0;
constexpr double MaxDateTime = 2958466.0;

std::string TimestampPath(const std::string& dir)
{
    return (dir.empty() ? std::string() : AddPathDelimiter(dir)) + TimestampFileName;
}

void EncodeTime(TDateTime time, unsigned char (&bytes)[8])
{
    uint64_t bits = std::bit_cast<uint64_t>(static_cast<double>(time));
    for (int i = 0; i < 8; ++i)
        bytes[i] = static_cast<unsigned char>(bits >> (8 * i));
}

TDateTime DecodeTime(const unsigned char (&bytes)[8])
{
    uint64_t bits = 0;
    for (int i = 0; i < 8; ++i)
        bits |= static_cast<uint64_t>(bytes[i]) << (8 * i);
    double value = std::bit_cast<double>(bits);
    if (!std::isfinite(value) || value < MinDateTime || value >= MaxDateTime)
        return 0;
    return value;
}

} // namespace

void WriteTimestampFile(const std::string& dir, TDateTime time)
{
    const std::string name = TimestampPath(dir);
    // A file of that name that is not a time-stamp file (a user's file stored there) is never replaced.
    TPosixFileData data;
    if (ReadFileData(name, false, data) == 0 && (!S_ISREG(data.Mode) || data.Size != 8))
        throw EInOutError(SafeFormat(_("\"%s\" is not a time-stamp file"), {name}),
                          static_cast<int>(WinError::ERROR_FILE_EXISTS));
    if (XlFileExists(name, false) && !XlTryDeleteFile(name, false))
        return;
    unsigned char bytes[8];
    EncodeTime(time, bytes);
    {
        TExtFileStream stream(AddLongPathPrefix(name), fmCreate);
        stream.WriteBuffer(bytes, sizeof bytes);
    }
    SetFileLocalTime(name, DateTimeToFileTime(time), true);
}

TDateTime ReadTimestampFile(const std::string& dir)
{
    const std::string name = TimestampPath(dir);
    if (!XlFileExists(name))
        return 0;
    try {
        TExtFileStream stream(AddLongPathPrefix(name), fmOpenRead | fmShareDenyNone);
        unsigned char bytes[8];
        int64_t count = 0;
        if (stream.Read(bytes, sizeof bytes, count) != 0 || count != static_cast<int64_t>(sizeof bytes))
            return 0;
        return DecodeTime(bytes);
    } catch (const EExtFileStreamError&) {
        // A file that cannot be opened tells nothing about the last clearing.
        return 0;
    }
}

unsigned WriteFtpTimestampFile(TExtFtp& ftp, TDateTime time)
{
    unsigned char bytes[8];
    EncodeTime(time, bytes);
    TMemoryStream stream;
    stream.WriteBuffer(bytes, sizeof bytes);
    stream.SetPosition(0);
    return ftp.Flush(stream, TimestampFileName, false);
}

TDateTime ReadFtpTimestampFile(TExtFtp& ftp)
{
    // The listing is read afresh: a cached one may predate the last upload.
    ftp.SetValidDirectoryListing(false);
    if (!ftp.FtpFileExists(TimestampFileName))
        return 0;
    TMemoryStream stream;
    if (ftp.Fill(TimestampFileName, stream) != 0)
        return 0;
    stream.SetPosition(0);
    unsigned char bytes[8];
    if (stream.Read(bytes, sizeof bytes) != static_cast<int64_t>(sizeof bytes))
        return 0;
    return DecodeTime(bytes);
}

bool IsEmptyExceptTimestamp(const std::string& dir)
{
    TSearchRec sr;
    int code = FindFirst(AddPathDelimiter(dir) + "*", faSearchAll, sr);
    bool empty = true;
    while (code == 0 && empty) {
        if (IsNotDotEntry(sr.Name) && sr.Name != TimestampFileName)
            empty = false;
        code = FindNext(sr);
    }
    FindClose(sr);
    return empty;
}
