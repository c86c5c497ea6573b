#pragma once
// Zip archives: the entry record, the exception of the zip layer, the archive format constants and
// the common base of reader and writer (archive stream, file list, encryption, segments, workers).

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "archive/ExtFileTools.h"
#include "rtl/Streams.h"
#include "rtl/SysUtils.h"

// The data of an encrypted-name field (the engine's TByteBuffer is its uncleared transfer buffer).
using TEntryBuffer = std::vector<uint8_t>;
using RawByteString = std::string;

using TTimeOutEvent = std::function<bool()>;
using TConfirmEvent = std::function<bool()>;

// Signatures of the archive records.
constexpr uint32_t ZipLocalSig = 0x04034B50;
constexpr uint32_t ZipCentralSig = 0x02014B50;
constexpr uint32_t ZipEndSig = 0x06054B50;
constexpr uint32_t Zip64EndSig = 0x06064B50;
constexpr uint32_t Zip64LocatorSig = 0x07064B50;
constexpr uint32_t ZipSpanSig = 0x08074B50;

// Size limits of the format. Tests lower them to reach the zip64 paths with small data.
struct TZipLimits
{
    // File entries larger than this get a local zip64 field.
    int64_t BigEntry = 0xFF000000LL;
    // Values above this do not fit into the 32-bit fields.
    int64_t Max32 = 0xFFFFFFFFLL;
    // More entries than this need the zip64 end records.
    int64_t MaxEntries16 = 0xFFFF;
};
TZipLimits& ZipLimits();

// One archive entry.
class TPkHeader
{
public:
    TPkHeader(RawByteString fn, TEntryBuffer eb, uint32_t ec, uint16_t al, uint32_t ts, uint32_t chk,
              uint16_t aa, uint16_t av, uint16_t af, uint16_t am, uint16_t ev, uint16_t ed, uint16_t em,
              uint16_t sm, int64_t ofs, int64_t cSz, int64_t uSz);
    // A copy with another offset; the encrypted-name data is not copied.
    TPkHeader(const TPkHeader& aPkHeader, int64_t ofs);

    RawByteString FName;
    TEntryBuffer EBuffer;
    uint32_t ErrCode = 0;
    uint32_t TimeStamp = 0;
    uint32_t CRC = 0;
    uint16_t PkVersion = 0;
    uint16_t GpFlag = 0;
    uint16_t Attr = 0;
    uint16_t CompMethod = 0;
    uint16_t Tag = 0;
    uint16_t DirLength = 0;
    uint16_t Segment = 0;
    uint16_t EncMode = 0;
    uint16_t EncVers = 0;
    uint16_t EncMeth = 0;
    int64_t Offset = 0;
    int64_t CSize = 0;
    int64_t USize = 0;
    // Written entries: the system of "version made by" and, for Unix, the file type and permission
    // bits that go into the high half of the external attributes.
    uint8_t HostSystem = 0;
    uint32_t UnixMode = 0;
    bool IsDir = false;
    bool Zip64 = false;

private:
    void Derive();
};

// The exception of the zip layer. ZipError is the error word with the zip operation bits.
class EZipError : public EInOutError
{
public:
    EZipError(const std::string& errString, int errCode, std::string aSysErrMsg = "");
    int ZipError;
    std::string SysErrorMsg;
};

// The entries of an archive in the order they were added: decoded name and entry record.
class TZipFileList
{
public:
    int Count() const { return static_cast<int>(FItems.size()); }
    const std::string& Strings(int i) const { return FItems[static_cast<size_t>(i)].first; }
    TPkHeader* Objects(int i) const { return FItems[static_cast<size_t>(i)].second.get(); }
    // Case-insensitive search; -1 when missing.
    int IndexOf(const std::string& name) const;
    void Add(std::string name, std::unique_ptr<TPkHeader> header);
    void Delete(int i);
    void Clear() { FItems.clear(); }

private:
    std::vector<std::pair<std::string, std::unique_ptr<TPkHeader>>> FItems;
};

// The common base of reader and writer.
class TZip
{
public:
    TZip(const TZip&) = delete;
    TZip& operator=(const TZip&) = delete;
    virtual ~TZip();

    void InitEncryption(const std::string& password, int keyMode);
    bool IsEmpty() const { return FileList.Count() == 0; }
    int64_t FilePosition();
    void SetFilePosition(int64_t pos);
    void CopyToZip(TZip& aZip, int64_t sLength);
    bool EncryptEntryName(const RawByteString& name, TEntryBuffer& buffer);
    bool DecryptEntryName(const TEntryBuffer& buffer, RawByteString& name);

    const TZipFileList& Directory() const { return FileList; }
    bool IsTemp() const { return FIsTemp; }
    void SetIsTemp(bool value) { FIsTemp = value; }
    bool ErrorFlag() const { return FErrorFlag; }
    int NumberOfSegments() const { return FNumSeg; }
    void SetOnProgress(TFileProgressEvent handler) { FOnProgress = std::move(handler); }
    void SetOnTimeout(TTimeOutEvent handler) { FOnTimeout = std::move(handler); }
    const std::string& ZipName() const { return ZName; }

protected:
    // An archive over an open stream (the last segment of a split archive).
    TZip(std::unique_ptr<TStream> stream, const std::string& password, int keyMode, int bufSize);

    void DoProgress(TFileAction action, int64_t count, bool speedLimit);
    // Segment streams while reading: the archive stream for the last segment, else an own file.
    struct TSegStream
    {
        std::unique_ptr<TStream> Owned;
        TStream* Cur = nullptr;
    };
    int NextSegmentStream(uint16_t& seg, TSegStream& stream);
    int OpenSegmentStream(uint16_t seg, TSegStream& stream);
    // Copies length bytes in a stream-copy thread; returns the error number (0 ok) and its text.
    int CopyStreamPart(TStream& source, TStream& dest, std::string& sysErrMsg, bool speedLimit,
                       int64_t length);
    // Starts a worker for one entry and waits for it, running its progress reports; asks OnTimeout
    // meanwhile (not while the worker is paused). Returns the error number of the worker (low byte of
    // its error word), 17 when the wait was given up, 128 when cancelled; sysErrMsg gets its text.
    int RunWorker(TCopyThread& worker, std::string& sysErrMsg);
    // The progress handler handed to the workers.
    TFileProgressEvent WorkerProgress();
    void CloseStream();

    int FBufferSize;
    bool FIsTemp = false;
    bool FEncrypt = false;
    bool FEncNames = false;
    bool FErrorFlag = false;
    bool FCanceled = false;
    std::unique_ptr<TEncryption> FEncryption;
    int FKeyMode = 0;
    TPKExtraEncField PkExtraCrypt;
    TFileProgressEvent FOnProgress;
    TTimeOutEvent FOnTimeout;
    std::unique_ptr<TStream> FStream;
    std::string fZipTmpDir;
    std::string FBaseDir;
    std::string ZName;
    int FNumSeg = 1;
    int FCurSeg = 0;
    TZipFileList FileList;
    TCopyThread* ZipThread = nullptr;
};

// Helpers shared by reader and writer.
namespace ZipUtil {
// Reads exactly count bytes (short reads are repeated); false at the end or on a failure.
bool ReadFull(TStream& s, void* buffer, int64_t count);
// Writes all bytes; raises EZipStreamError with the system code on a failure.
void WriteFull(TStream& s, const void* buffer, int64_t count);
// The error of a failed archive write: the system code and its text.
class EZipStreamError : public Exception
{
public:
    EZipStreamError(uint32_t code, const std::string& msg) : Exception(msg), Code(code) {}
    uint32_t Code;
};
// Opens a file stream: fmCreate creates (truncating) for reading and writing, a new file with the
// permission bits rights (less the umask), else read-only with others allowed to read and write;
// raises EZipStreamError.
std::unique_ptr<TStream> OpenFileStream(const std::string& name, uint16_t mode, uint32_t rights = 0666);
// A temporary stream: memory up to a threshold, else a file of a unique name that is deleted with
// the object.
class TTempStream
{
public:
    TTempStream() = default;
    ~TTempStream();
    TTempStream(const TTempStream&) = delete;
    TTempStream& operator=(const TTempStream&) = delete;
    // Opens memory when size <= threshold, else the file; false (with the text) when it fails.
    bool Open(int64_t size, int64_t threshold, const std::string& dir, const std::string& name,
              std::string& msg);
    TStream& Stream() { return *FStream; }

private:
    std::unique_ptr<TStream> FStream;
    std::string FFileName;
};
// A safe relative name of an entry: "/" as separator, no drive, no leading "/", no "." or "..".
std::string SafeEntryName(const std::string& name);
// The local DOS date-time of Unix seconds.
uint32_t UnixToLocalDos(int64_t unixTime);
} // namespace ZipUtil
