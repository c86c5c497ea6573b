#pragma once
// Zip archives: the entry record, the exception of the zip layer, the archive format constants and
// the common base of reader and writer (archive stream, file list, encryption, segments, workers).

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "rtl/Streams.h"
#include "rtl/SysUtils.h"

using TByteBuffer = std::vector<uint8_t>;
using RawByteString = std::string;

#if __has_include("archive/CBFunctions.h")
#include "archive/CBFunctions.h"
#else
// Progress actions of the workers.
enum TFileAction
{
    acNone,
    acCopy,
    acCompress,
    acUnCompress,
    acEncrypt,
    acDecrypt,
    acVerify,
    acZipVerify,
    acAddVerify,
    acFtpWrite,
    acFtpRead,
    acScan,
    acZipCopy,
    acSegmentCopy,
    acPrepare
};
// A negative count starts a phase with that total; a positive one is the progress in the phase.
using TFileProgressEvent = std::function<void(TFileAction action, int64_t count, bool speedLimit)>;
#endif

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

// The AES extra field of an entry (11 bytes on disk).
struct TPKExtraEncField
{
    uint16_t Tag = 0x9901;
    uint16_t ESize = 7;
    uint16_t Version = 2;
    uint16_t Vendor = 0x4541; // "AE"
    uint8_t Mode = 1;
    uint16_t Method = 8;
};

// The data of a local header.
struct TZipFileInfo
{
    std::string Filename;
    uint16_t Flag = 0;
    uint16_t Method = 0;
    uint32_t TimeStamp = 0;
    uint32_t Crc = 0;
    int64_t CSize = 0;
    int64_t USize = 0;
    int KeyMode = 0;
    // Not part of the record as others know it: the compression method inside the AES field.
    uint16_t EncMethod = 8;
    uint16_t EncVersion = 0;
};

// Entry names in the OEM code page (437 as far as the tables reach) or UTF-8.
bool IsOemName(const std::string& utf8Name);
std::string AnsiToOemName(const std::string& ansiBytes);
std::string OemToAnsiName(const std::string& oemBytes);
// Latin-1 (the ANSI code page of the tables) to and from UTF-8; false when a character is above U+00FF.
bool Utf8ToLatin1(const std::string& utf8, std::string& latin1);
std::string Latin1ToUtf8(const std::string& latin1);

// The file of segment Index (from 0) of a split archive: extension "z" + at least two digits.
std::string GetZipSegmentName(const std::string& zipName, int index);
// Reads a local header at the stream's position; the stream then stands at the entry data.
bool ReadZipLocalHeader(TStream& stream, TZipFileInfo& info);

// One archive entry.
class TPkHeader
{
public:
    TPkHeader(RawByteString fn, TByteBuffer eb, uint32_t ec, uint16_t al, uint32_t ts, uint32_t chk,
              uint16_t aa, uint16_t av, uint16_t af, uint16_t am, uint16_t ev, uint16_t ed, uint16_t em,
              uint16_t sm, int64_t ofs, int64_t cSz, int64_t uSz);
    // A copy with another offset; the encrypted-name data is not copied.
    TPkHeader(const TPkHeader& aPkHeader, int64_t ofs);

    RawByteString FName;
    TByteBuffer EBuffer;
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

// One run of the WinZip AES framing: header, blocks, trailer.
class TZipCipher
{
public:
    virtual ~TZipCipher() = default;
    virtual int KeyMode() const = 0;
    virtual void SetKeyMode(int mode) = 0;
    virtual int HeaderSize() const = 0;
    virtual bool WriteHeader(TStream& dest) = 0;
    virtual void EncryptBlock(uint8_t* buffer, size_t length) = 0;
    virtual bool WriteTrailer(TStream& dest) = 0;
    virtual bool ReadHeader(TStream& source) = 0;
    virtual void DecryptBlock(uint8_t* buffer, size_t length) = 0;
    virtual bool ReadTrailer(TStream& source) = 0;
};
// A cipher for the password and key mode (a key mode outside 1..3 chooses by password length).
std::unique_ptr<TZipCipher> CreateZipCipher(const std::string& password, int keyMode, int bufSize);

class TZipWorker;

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
    bool EncryptEntryName(const RawByteString& name, TByteBuffer& buffer);
    bool DecryptEntryName(const TByteBuffer& buffer, RawByteString& name);

    const TZipFileList& Directory() const { return FileList; }
    bool IsTemp() const { return FIsTemp; }
    void SetIsTemp(bool value) { FIsTemp = value; }
    bool ErrorFlag() const { return FErrorFlag; }
    int NumberOfSegments() const { return FNumSeg; }
    void SetOnProgress(TFileProgressEvent handler) { FOnProgress = std::move(handler); }
    void SetOnTimeout(TTimeOutEvent handler) { FOnTimeout = std::move(handler); }
    const std::string& ZipName() const { return ZName; }

protected:
    // mode: the open mode of the archive file (fmCreate or fmOpenRead).
    TZip(const std::string& zipName, const std::string& password, int keyMode, int bufSize, uint16_t mode);
    // An archive over an open stream (not split).
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
    // Copies length bytes in a worker; returns the error number (0 ok) and its text.
    int CopyStreamPart(TStream& source, TStream& dest, std::string& sysErrMsg, bool speedLimit,
                       int64_t length);
    // Waits for a worker, serving its progress reports; asks OnTimeout when askTimeout.
    // Returns false when the wait was given up.
    bool WaitForWorker(TZipWorker& worker, bool askTimeout);
    std::unique_ptr<TZipCipher> MakeCipher(int keyMode) const;
    std::string TempFileName(const std::string& name) const;
    void CloseStream();

    int FBufferSize;
    bool FIsTemp = false;
    bool FEncrypt = false;
    bool FEncNames = false;
    bool FErrorFlag = false;
    std::unique_ptr<TZipCipher> FEncryption;
    std::string FPassword;
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
    TZipWorker* FWorker = nullptr;
};

// Helpers shared by reader, writer and workers.
namespace ZipUtil {
void PutU16(uint8_t* p, uint16_t v);
void PutU32(uint8_t* p, uint32_t v);
void PutU64(uint8_t* p, uint64_t v);
uint16_t GetU16(const uint8_t* p);
uint32_t GetU32(const uint8_t* p);
uint64_t GetU64(const uint8_t* p);
void Append16(std::string& s, uint16_t v);
void Append32(std::string& s, uint32_t v);
void Append64(std::string& s, uint64_t v);
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
// "System error: %s (0x%.8x)" for a Windows-style code.
std::string SysErrorText(uint32_t code);
// Opens a file stream: fmCreate creates (truncating), else read-only; raises EZipStreamError.
std::unique_ptr<TStream> OpenFileStream(const std::string& name, uint16_t mode);
// The user's temporary folder with a trailing delimiter.
std::string TempDir();
// The last-write time of a file as local DOS date-time; attributes in the Windows layout.
uint32_t UnixToLocalDos(int64_t unixTime);
int64_t LocalDosToUnix(uint32_t dos);
bool GetFileAttrWin(const std::string& name, uint16_t& attr, bool followLinks = true);
bool SetFileAttrWin(const std::string& name, uint16_t attr);
// A name in dir that no other process or worker uses at the same time, ending in name.
std::string UniqueTempName(const std::string& dir, const std::string& name);
// A temporary stream: memory up to a threshold, else a file that is deleted with the object.
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
} // namespace ZipUtil
