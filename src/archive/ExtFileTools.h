#pragma once
// The per-file engine: copy options, the worker-thread framework and its stream steps, plain copies,
// gzip members, encrypted single files, single-file zips, comparisons, and the shared name tables and
// format probes.
//
// Caller protocol: create a worker suspended, set its options and OnProgress, Start it, then poll Done
// while running pending Synchronize calls (WaitForCopyThread does this). Paused stops the worker between
// two buffers; CancelThread ends it with 128 after the current buffer (unpause it first). A worker that
// passes the time-out cannot be killed: AbandonWorker cancels it and lets it end and free itself; it
// takes over the encryption object it was lent, and the caller creates a new one for further work.

#include <atomic>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "archive/AesLib.h"
#include "archive/CBFunctions.h"
#include "archive/EngineFs.h"
#include "archive/ExtFileUtils.h"
#include "archive/ZLibEx.h"
#include "rtl/Streams.h"
#include "rtl/SysUtils.h"
#include "rtl/Thread.h"

// A byte buffer that is not cleared when allocated (large transfer buffers cost nothing until used).
class TByteBuffer
{
public:
    explicit TByteBuffer(size_t size) : FData(new uint8_t[size]), FSize(size) {}
    uint8_t* data() { return FData.get(); }
    size_t size() const { return FSize; }
    void clear()
    {
        FData.reset();
        FSize = 0;
    }

private:
    std::unique_ptr<uint8_t[]> FData;
    size_t FSize;
};

// A small set over an enumeration with at most 32 values.
template <typename E> class TEnumSet
{
public:
    constexpr TEnumSet() = default;
    constexpr TEnumSet(std::initializer_list<E> values)
    {
        for (E v : values)
            FBits |= Bit(v);
    }
    constexpr bool Contains(E v) const { return (FBits & Bit(v)) != 0; }
    constexpr TEnumSet& Include(E v)
    {
        FBits |= Bit(v);
        return *this;
    }
    constexpr TEnumSet& Exclude(E v)
    {
        FBits &= ~Bit(v);
        return *this;
    }
    constexpr bool Empty() const { return FBits == 0; }
    constexpr uint32_t Bits() const { return FBits; }
    constexpr bool operator==(const TEnumSet&) const = default;

private:
    static constexpr uint32_t Bit(E v) { return 1u << static_cast<unsigned>(v); }
    uint32_t FBits = 0;
};

enum TCopyOption
{
    coCompress,
    coZipCompress,
    coVerify,
    coOverwrite,
    coStorage,
    coAltStreams,
    coPermissions,
    coAttributes,
    coTimeStamp,
    coCreationTime,
    coCheckTime,
    coNoCache,
    coResetArchive
};
using TCopyOptions = TEnumSet<TCopyOption>;

enum TShellCopyMode
{
    scmCopy,
    scmQuiet
};
using TShellCopyModes = TEnumSet<TShellCopyMode>;

// A failed write into a destination file; the message is "System error: " with the system's text and
// the code.
class EWriteFileStreamError : public Exception
{
public:
    explicit EWriteFileStreamError(uint32_t code);
    uint32_t ErrorCode() const { return FCode; }

private:
    uint32_t FCode;
};

// A destination file. Creating fails when the file exists unless overwrite is given; write failures
// raise EWriteFileStreamError with the code, a short write returns the shorter count.
class TWriteFileStream : public THandleStream
{
public:
    TWriteFileStream(const std::string& aFileName, bool overwrite, uint32_t writeMode, uint16_t shareMode);
    // Takes over an open descriptor (a file created by the engine under a temporary name).
    TWriteFileStream(int handle, std::string fileName);
    int64_t Write(const void* buffer, int64_t count) override;
    const std::string& FileName() const { return FFileName; }

private:
    std::string FFileName;
};

// "System error: %s (0x%.8x)" with the system's text of code.
std::string SystemErrorTextOf(uint32_t code);

// zlib's crc32 over a buffer.
uint32_t UpdateCrc32(uint32_t crc, const void* buffer, size_t len);

// The header of an encrypted single file as read (UnixTime 0 and Attr $FFFF when absent).
struct TEncHeader
{
    uint8_t Magic[4] = {};
    uint32_t UnixTime = 0;
    uint16_t Attr = 0xFFFF;
};

class TCopyThread : public TThread
{
public:
    TCopyThread(const std::string& aSourceName, const std::string& aDestName, bool aSuspend, int aBufSize);
    ~TCopyThread() override;

    void SetOnProgress(const TFileProgressEvent& handler);
    bool Done() const { return Terminated(); }
    bool Paused() const { return FPaused; }
    void SetPaused(bool value);
    int ErrorCode() const { return FError; }
    int ErrorType() const { return FErrFlag; }
    const std::string& SysErrorMsg() const { return FSysErrMsg; }
    int Ratio() const { return FRatio; }
    const std::string& TempDir() const { return fTmpDir; }
    void SetTempDir(const std::string& value);
    void SetNoWriteCache(bool value) { FWriteMode = value ? 0x88000000u : 0x08000000u; }
    uint32_t VerifyDelay() const { return FMaxWait; }
    void SetVerifyDelay(uint32_t seconds) { FMaxWait = seconds; }
    void SetCheckTime(bool value) { FCheckTime = value; }
    void SetCopyAttr(bool value) { FCopyAttr = value; }
    void SetCopyCreationTime(bool value) { FCopyCrTm = value; }
    void SetCopyPermissions(bool value) { FCopyAcl = value; }
    void SetCopyStorage(bool value) { FCopyStorage = value; }
    void SetCopyAltStreams(bool value) { FCopyAltStreams = value; }
    void SetCopyTimeStamp(bool value) { FCopyTimeStamp = value; }
    void SetOverwrite(bool value) { FOverwrite = value; }
    // Data of the source that the caller has just read (times, size, attributes): the worker takes it
    // instead of looking the source up again.
    void SetSourceData(const TFileData& data)
    {
        SourceFileData = data;
        FSourceDataKnown = true;
    }
    void SetResetArchiveBit(bool value) { FResetArchive = value; }
    void SetShellCopy(TShellCopyModes value) { FShellCopy = value; }
    uint32_t Crc() const { return FCrc; }

    virtual void CancelThread();
    // Frees the open streams; also used by a caller after giving a worker up.
    void ReleaseStreams();
    // Gives a worker up after its time-out: cancels it, lets it run to its end and free itself, and
    // hands it sharedEncryption (its lent encryption object, may be nullptr) to free at its end. The
    // caller must not touch the thread or that object afterwards.
    void AbandonWorker(TEncryption* sharedEncryption);

protected:
    void Execute() override;
    virtual void Finish(int error);
    virtual void DoProgress(TFileAction aAction, bool aSpeedLimit, int64_t aCount);
    // Runs a transform, turning an exception that no step mapped into an error word, then Finish.
    void RunTransform(const std::function<int()>& transform);
    // Lends the encryption object this thread's pause event and progress.
    void AttachEncryption(TEncryption* encryption);

    // --- steps; each returns an error word without operation bits (0 = success)
    int OpenStreams();
    // The first half of OpenStreams: source data and sSource (270, 257 for an empty DestName, 258).
    int OpenSource();
    int CopyStreamData(TStream* src, TStream* dest, bool aSpeedLimit, int64_t length);
    int CompareStreams(TStream* a, TStream* b, bool aSpeedLimit);
    int DeflateStream(TStream* src, TStream* dest, bool aSpeedLimit);
    int InflateStream(TStream* src, TStream* dest, bool aSpeedLimit, int64_t length);
    int InflateGzBody(TStream* src, TStream* dest, bool aSpeedLimit);
    int FinishCopy(bool copyStorage, bool copyAltStreams, uint32_t attr, const TFileTimestamps& timeStamps,
                   bool copyAcl);
    int OpenForVerify(const std::string& fileName);
    int VerifyCopy();
    bool SetSysError(uint32_t code);
    // Reads count bytes into buffer, fewer only at the end of the stream; -1 when the read failed (the
    // system code or message is kept for the error report).
    int64_t ReadChunk(TStream* src, uint8_t* buffer, int64_t count);
    // Decrypts length bytes of the destination without writing them (the MAC check of a verification).
    int VerifyDecryption(int64_t length);
    bool IsCancelled() const { return FUserBreak.load(); }
    void WaitIfPaused();

    int PlainCopyFile();
    // Copies the source file into the destination up to the source's end, whatever size was handed
    // in. Holes of the source stay holes where the destination's file system has them, and count as
    // zeros for the checksum; the destination gets the source's full size.
    int CopyFileData();
    // Copies from pos up to end or the end of the source: inside the kernel while kernel is set (and
    // the files allow it; else it is cleared), without the checksum that only a verification needs,
    // else through the buffer. reached is where the copy stopped.
    int CopyRegion(int64_t pos, int64_t end, bool& kernel, int64_t& reached);
    // Counts a hole of the source as copied (the destination leaves it out).
    void SkipHole(int64_t length);
    int ShellCopyFile();
    int ReadEncFileHeader(TStream* stream);
    int EncryptFile();
    int VerifyEncryptedFile();
    int DecryptFile();
    // Writes the data of one zip entry from source into dest (stored, deflated and/or encrypted).
    int CompressZipEntry(TStream* source, TStream* dest, bool compress);
    int VerifySingleFileZip();
    int ExtractSingleEntry(TStream* zip, TStream* dest, uint32_t& unixTime);

    // Creates the destination under a temporary name beside DestName (made final by FinishCopy or
    // CommitDest) and makes it sDest; an error word (257, 262).
    int CreateDest();
    // Moves the finished destination to its final name; 0 or 291 (could not rename).
    int CommitDest();
    // Removes an unfinished destination.
    void DiscardDest();
    // A temporary stream: a file name in TempDir when size passes threshold, else memory; 0 or 257.
    int CreateTempStream(int64_t size, int64_t threshold, const char* name, std::unique_ptr<TStream>& stream,
                         std::string& fileName);
    void DeleteTempStream(std::unique_ptr<TStream>& stream, std::string& fileName);

    TFileProgressEvent FOnProgress;
    bool FCheckTime = true;
    TShellCopyModes FShellCopy;
    bool FCompress = false;
    uint32_t FSysError = 0;
    bool FEnableSpLimit = false;
    std::atomic<bool> FPaused{false};
    std::unique_ptr<TEvent> FEvent;
    int FError = 0;
    int FErrFlag = 0x1000;
    std::string FSysErrMsg;
    std::string SourceName, DestName;
    std::string SourceNameXL, DestNameXL;
    std::string fTmpDir;
    TFileData SourceFileData;
    // The permission bits of the opened source file (its copy gets them).
    uint32_t FSourceMode = 0600;
    TByteBuffer FBuffer;
    std::unique_ptr<TStream> sSource;
    std::unique_ptr<TStream> sDest;
    uint32_t FMaxWait = 5;
    uint32_t FWriteMode = 0x08000000;
    uint32_t FBufSize;
    std::atomic<bool> FUserBreak{false};
    bool FCopyTimeStamp = true, FCopyAttr = true;
    bool FResetArchive = false, FCopyCrTm = false, FCopyStorage = false, FCopyAltStreams = false,
         FCopyAcl = false, FOverwrite = false, FVerify = false, FSourceDataKnown = false;
    TZCompressionLevel FCompLevel = zcDefault;
    uint32_t FCrc = 0;
    int64_t UTotal = 0, CTotal = 0;
    int FRatio = -1;
    TEncryption* FCrypting = nullptr;
    TFileAction FAction = acNone;
    int64_t FCount = 0;

    std::string FDestTemp; // temporary name of the destination until it is complete
    std::unique_ptr<TEncryption> FOwnedCrypting;
    bool FAbandoned = false; // touched only on the owner thread
    TEncHeader FEncHeader;   // of the last ReadEncFileHeader
};

// Copies a given length from one open stream into another (neither is freed).
class TCopyStreamThread : public TThread
{
public:
    TCopyStreamThread(TStream& aSource, TStream& aDest, int64_t aLength, bool aSuspend, bool aSpeedLimit,
                      int aBufSize);
    ~TCopyStreamThread() override;
    TFileProgressEvent OnProgress;
    bool Done() const { return Terminated(); }
    void SetPaused(bool value);
    int ErrorCode() const { return FError; }
    const std::string& SysErrorMsg() const { return FSysErrMsg; }

protected:
    void Execute() override;

private:
    TStream& FSource;
    TStream& FDest;
    int64_t FLength;
    int64_t FTotal = 0;
    bool FSpeedLimit;
    TByteBuffer FBuffer;
    TEvent FEvent{true, true};
    int FError = 0;
    std::string FSysErrMsg;
};

// --- gzip members

struct TGzFileInfo
{
    std::string Filename;
    uint32_t UnixTime = 0;
    uint16_t Attr = 0xFFFF;
    int64_t Count = 0;
    int64_t CSize = 0;
    int64_t USize = 0;
    bool Encrypted = false;
    int EncMode = 0;
};

// Parses a gzip member header; 0, 4 (read failure) or 8 (not gzip). keyMode -1 = not encrypted.
// sizesStored (optional) tells whether the sizes came from the size subfield.
int ReadGzHeader(TStream& stream, std::string& name, uint32_t& unixTime, int& keyMode, int64_t& cSize,
                 int64_t& uSize, bool* sizesStored = nullptr);
// Raises the file stream's exception when the file cannot be opened.
bool GetGzFileInfo(const std::string& fileName, TGzFileInfo& info);

class TGZipThread : public TCopyThread
{
public:
    TGZipThread(const std::string& aSourceName, const std::string& aDestName, TEncryption* aEncryption,
                bool aSuspend, int aBufSize);
    const std::string& Filename() const { return FName; }
    void SetFilename(const std::string& value) { FName = value; }
    void SetCompressionLevel(TZCompressionLevel value) { FCompLevel = value; }

protected:
    void Execute() override;
    int WriteGzHeader(TStream* stream, const std::string& name, int keyMode, uint32_t unixTime);
    int WriteGzTrailer(TStream* stream, uint32_t crc);
    int GZipFile();
    int VerifyGzFile();
    int WriteSingleFileZip(bool compress);
    std::string FName;
};

class TGUnZipThread : public TCopyThread
{
public:
    TGUnZipThread(const std::string& aSourceName, const std::string& aDestName, TEncryption* aEncryption,
                  bool aSuspend, int aBufSize);

protected:
    void Execute() override;
    int GUnzipFile();
    int CheckGzTrailer(int64_t uSize);
    bool FSizesStored = true;
};

// --- encrypted single files

// Reads the header at offset 0; keyMode 0 when there is none. False when reading raised.
bool ReadEncHeader(TStream& stream, int& keyMode, TEncHeader& header);
// Fills UnixTime, Attr and USize; raises the file stream's exception when the file cannot be opened.
bool GetEncFileInfo(const std::string& fileName, TGzFileInfo& info);

class TDecryptThread : public TCopyThread
{
public:
    TDecryptThread(const std::string& aSourceName, const std::string& aDestName, TEncryption* aEncryption,
                   bool aSuspend, int aBufSize);

protected:
    void Execute() override;
};

// --- the copy thread of a backup and the compare thread of a verification

class TWinCopyThread : public TGZipThread
{
public:
    TWinCopyThread(const std::string& aSourceName, const std::string& aDestName, TEncryption* aEncryption,
                   TCopyOptions aOptions, bool aSuspend, int aBufSize);

protected:
    void Execute() override;
    bool FZipCompress = false;
};

class TCompareThread : public TGUnZipThread
{
public:
    // aVerifyName is the backup copy under test, aRefName the file it was made from.
    TCompareThread(const std::string& aVerifyName, const std::string& aRefName, TEncryption* aEncryption,
                   bool aCompress, bool aZipCompress, bool aSuspend, int aBufSize);

protected:
    void Execute() override;
    int CompareZip();
    int CompareEncrypted();
    int CompareGz();
    bool FZipCompress = false;
};

// The caller's wait for a worker: polls Done, runs pending Synchronize calls and onIdle between polls.
// Time spent paused does not count. False when timeoutSeconds (0 = none) passed with the worker running.
bool WaitForCopyThread(TCopyThread& thread, uint32_t timeoutSeconds,
                       const std::function<void()>& onIdle = nullptr);

// --- names, probes and split archives

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
};

#pragma pack(push, 1)
struct TPKExtraEncField
{
    uint16_t Tag = 0x9901;
    uint16_t ESize = 7;
    uint16_t Version = 2;
    uint16_t Vendor = 0x4541; // "AE"
    uint8_t Mode = 1;
    uint16_t Method = 8;
};
#pragma pack(pop)
static_assert(sizeof(TPKExtraEncField) == 11);

// How an entry name is stored in a zip archive: ASCII as it is; any other valid UTF-8 with the UTF-8
// flag (bit 11); bytes that are no UTF-8 (a name in another character set) raw, without the flag. The
// DOS code page is only read. Entries with names that are not ASCII are marked as made on Unix: readers
// then take their bytes as they are (Info-ZIP's unzip decodes the names of entries made on DOS through
// the DOS code page even where bit 11 is set), and their external attributes carry the Unix mode.
struct TZipNameForm
{
    uint16_t Flags = 0;     // 0x800 for a UTF-8 name
    uint8_t HostSystem = 0; // "version made by" system: 0 (MS-DOS) for ASCII names, else 3 (Unix)
};
TZipNameForm ZipNameForm(const std::string& name);
constexpr uint8_t ZipHostDos = 0;
constexpr uint8_t ZipHostUnix = 3;
// The name of an entry as stored, decoded: UTF-8 with flag bit 11; else the DOS code page for entries
// made on DOS and Windows file systems; else the bytes as they are (names of other systems are in
// their own character set, and file names pass through unchanged).
std::string DecodeZipEntryName(const std::string& stored, uint16_t flags, uint8_t hostSystem);

bool IsOemName(const std::string& name);
std::string AnsiToOemName(const std::string& ansiBytes);
std::string OemToAnsiName(const std::string& oemBytes);
bool IsAnsiName(const std::string& name);
// UTF-8 <-> the 8-bit code page of names (ISO-8859-1, lossless below U+0100).
std::string Utf8ToAnsi(const std::string& utf8);
std::string AnsiToUtf8(const std::string& ansi);
std::string LastSystemErrorText();
bool IsGzFile(const std::string& fileName);
bool IsGzeFile(const std::string& fileName);
bool IsEncFile(const std::string& fileName);
bool IsZipFile(const std::string& fileName);

// Reads a local header; hostSystem is that of the entry's central header where the caller knows it
// (the local header has none), used to decode a name without the UTF-8 flag.
bool ReadZipLocalHeader(TStream& stream, TZipFileInfo& info, uint8_t hostSystem = ZipHostDos);
int64_t GetZipEntryCount(TStream& stream);
int GetZipFileInfo(const std::string& fileName, TGzFileInfo& info);
bool IsSingleFileZip(const std::string& name);
bool GetZipEncryption(const std::string& zipName, int& keyMode);
std::string GetZipSegmentName(const std::string& zipName, int index);
int GetZipSegmentCount(const std::string& zipName);
int64_t GetZipArchiveSize(const std::string& zipName);
uint32_t DeleteZipArchive(const std::string& zipName, int count);
uint32_t CopyZipArchive(const std::string& src, const std::string& dest);
uint32_t RenameZipArchive(const std::string& src, const std::string& dest, uint32_t timeout);

// Opens a file for reading with full sharing; raises EExtFileStreamError with the code. Only regular
// files are opened: a FIFO, socket or device raises (code 110, "not a regular file") without waiting.
// sizeHint: the expected size where known; read-ahead advice is given only for large files.
std::unique_ptr<THandleStream> OpenReadStream(const std::string& fileName, int64_t sizeHint = -1);
