#include "archive/ExtFileTools.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include <openssl/rand.h>
#include <zlib.h>

#include "archive/EngineErrors.h"
#include "archive/FilePropUtils.h"
#include "foundation/ExtSysUtils.h"
#include "foundation/FileUtils.h"
#include "foundation/FileUtilsOps.h"
#include "foundation/FileUtilsTimes.h"
#include "platform/ErrorCodes.h"
#include "rtl/Gettext.h"

using namespace EngineError;

namespace {

std::string AbsolutePath(const std::string& fileName)
{
    if (!fileName.empty() && fileName[0] == '/')
        return fileName;
    char cwd[4096];
    if (!::getcwd(cwd, sizeof cwd))
        return fileName;
    return std::string(cwd) + "/" + fileName;
}

// Reads until count bytes are in or the stream ends; -1 when the read failed (sysError then holds the
// code when the stream knows it).
int64_t ReadBlock(TStream* stream, uint8_t* buffer, int64_t count, uint32_t& sysError)
{
    int64_t total = 0;
    while (total < count) {
        int64_t got = stream->Read(buffer + total, count - total);
        if (got < 0) {
            if (auto* handle = dynamic_cast<THandleStream*>(stream))
                sysError = ErrnoToWinError(handle->LastErrno());
            return -1;
        }
        if (got == 0)
            break;
        total += got;
    }
    return total;
}

// The CRC-32 of crc's data followed by count zero bytes (the holes of a sparse file).
uint32_t Crc32WithZeros(uint32_t crc, int64_t count)
{
    static const uint8_t zeros[65536] = {};
    static const auto zerosCrc = static_cast<uint32_t>(crc32(0, zeros, sizeof zeros));
    for (; count >= static_cast<int64_t>(sizeof zeros); count -= static_cast<int64_t>(sizeof zeros))
        crc = static_cast<uint32_t>(crc32_combine(crc, zerosCrc, static_cast<z_off_t>(sizeof zeros)));
    return static_cast<uint32_t>(crc32(crc, zeros, static_cast<uInt>(count)));
}

// The text of a failed open, as the file streams give it.
[[noreturn]] void RaiseOpenError(const std::string& fileName, uint32_t code, const std::string& reason)
{
    throw EExtFileStreamError(TryFormat(_("Cannot open file \"%s\". %s"), {AbsolutePath(fileName), reason}),
                              static_cast<int>(code));
}

[[noreturn]] void RaiseOpenError(const std::string& fileName, uint32_t code)
{
    std::string text = SystemErrorText(code);
    RaiseOpenError(fileName, code, text.empty() ? SystemErrorMessage(code) : text);
}

[[noreturn]] void RaiseNotRegular(const std::string& fileName)
{
    RaiseOpenError(fileName, WinError::ERROR_OPEN_FAILED,
                   _("It is not a regular file (a FIFO, socket or device)."));
}

} // namespace

// --- small unit routines

std::string SystemErrorTextOf(uint32_t code)
{
    // codes of failed system steps carry the facility 7 of Windows errors: the text is that of the low word
    std::string text = ((code >> 16) & 0x7FF) == 7 ? SystemErrorText(code & 0xFFFF) : std::string();
    if (text.empty())
        return TryFormat("System error: %s", {SystemErrorMessage(code)});
    return TryFormat("System error: %s", {text}) + TryFormat(" (0x%.8x)", {code});
}

uint32_t UpdateCrc32(uint32_t crc, const void* buffer, size_t len)
{
    const auto* p = static_cast<const Bytef*>(buffer);
    while (len > 0) {
        auto chunk = static_cast<uInt>(std::min<size_t>(len, 1u << 30));
        crc = static_cast<uint32_t>(crc32(crc, p, chunk));
        p += chunk;
        len -= chunk;
    }
    return crc;
}

std::unique_ptr<THandleStream> OpenReadStream(const std::string& fileName, int64_t sizeHint)
{
    // Only regular files are read: opening a FIFO would wait for a writer and reading a device may
    // never end. A node seen beforehand is not opened at all; the open itself cannot block, and what
    // it opened is checked again (the name may have changed in between).
    struct stat st
    {
    };
    if (::stat(fileName.c_str(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode))
        RaiseNotRegular(fileName);
    int fd;
    do
        fd = ::open(fileName.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    while (fd < 0 && errno == EINTR);
    if (fd < 0)
        RaiseOpenError(fileName, LastWinError());
    auto stream = std::make_unique<THandleStream>(fd, true);
    if (::fstat(fd, &st) != 0)
        RaiseOpenError(fileName, LastWinError());
    if (S_ISDIR(st.st_mode))
        RaiseOpenError(fileName, ErrnoToWinError(EISDIR));
    if (!S_ISREG(st.st_mode))
        RaiseNotRegular(fileName);
    // reading is shared with everyone but a stream that holds the file exclusively
    if (::flock(fd, LOCK_SH | LOCK_NB) != 0) {
        if (errno == EWOULDBLOCK)
            RaiseOpenError(fileName, ErrnoToWinError(EBUSY));
    } else {
        ::flock(fd, LOCK_UN);
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    // the advice only pays where the kernel's own read-ahead would stop early
    if (sizeHint < 0 || sizeHint > (int64_t(1) << 20))
        ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    return stream;
}

// --- destination stream

EWriteFileStreamError::EWriteFileStreamError(uint32_t code) : Exception(SystemErrorTextOf(code)), FCode(code)
{
}

TWriteFileStream::TWriteFileStream(const std::string& aFileName, bool overwrite, uint32_t, uint16_t)
    : FFileName(aFileName)
{
    int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (overwrite ? O_TRUNC : O_EXCL);
    int fd = ::open(aFileName.c_str(), flags, 0666);
    if (fd < 0)
        throw EWriteFileStreamError(LastWinError());
    SetHandle(fd, true);
}

TWriteFileStream::TWriteFileStream(int handle, std::string fileName) : FFileName(std::move(fileName))
{
    SetHandle(handle, true);
}

int64_t TWriteFileStream::Write(const void* buffer, int64_t count)
{
    const auto* p = static_cast<const uint8_t*>(buffer);
    int64_t done = 0;
    while (done < count) {
        int64_t put = THandleStream::Write(p + done, count - done);
        if (put < 0)
            throw EWriteFileStreamError(ErrnoToWinError(LastErrno()));
        if (put == 0)
            break;
        done += put;
    }
    return done;
}

// --- TCopyThread

namespace {
// The buffer of a worker whose caller gave no size (a task file without a buffer size, or 0).
constexpr int DefaultCopyBufferSize = 1 << 20;
} // namespace

TCopyThread::TCopyThread(const std::string& aSourceName, const std::string& aDestName, bool aSuspend,
                         int aBufSize)
    : TThread(true), FEvent(std::make_unique<TEvent>(true, true)), SourceName(aSourceName),
      DestName(aDestName), SourceNameXL(aSourceName), DestNameXL(aDestName), fTmpDir(EngineFs::UserTempDir()),
      FBuffer(static_cast<size_t>(aBufSize > 0 ? aBufSize : DefaultCopyBufferSize)),
      FBufSize(static_cast<uint32_t>(aBufSize > 0 ? aBufSize : DefaultCopyBufferSize))
{
    // a worker is always created suspended: the most derived class must be complete before it runs;
    // callers Start it after setting its options
    (void)aSuspend;
}

TCopyThread::~TCopyThread()
{
    // a worker that was given up frees itself at its end; any other is waited for here, before the
    // members it uses go away
    if (Started() && !FAbandoned)
        WaitFor();
    if (FCrypting) {
        FCrypting->OnProgress = nullptr;
        FCrypting->SetEvent(nullptr);
    }
    ReleaseStreams();
    DiscardDest();
}

void TCopyThread::AttachEncryption(TEncryption* encryption)
{
    FCrypting = encryption;
    if (!FCrypting)
        return;
    FCrypting->SetEvent(FEvent.get());
    SetOnProgress(FOnProgress);
}

void TCopyThread::SetOnProgress(const TFileProgressEvent& handler)
{
    FOnProgress = handler;
    if (FCrypting) {
        if (handler)
            FCrypting->OnProgress = [this](TFileAction a, int64_t count, bool speedLimit) {
                DoProgress(a, speedLimit, count);
            };
        else
            FCrypting->OnProgress = nullptr;
    }
}

void TCopyThread::SetPaused(bool value)
{
    if (Done() || value == FPaused)
        return;
    FPaused = value;
    if (value)
        FEvent->ResetEvent();
    else
        FEvent->SetEvent();
}

void TCopyThread::SetTempDir(const std::string& value)
{
    if (!value.empty() && EngineFs::DirectoryExists(value))
        fTmpDir = value.back() == '/' ? value : value + "/";
    else
        fTmpDir = EngineFs::UserTempDir();
}

void TCopyThread::CancelThread()
{
    FUserBreak = true;
}

void TCopyThread::ReleaseStreams()
{
    sSource.reset();
    sDest.reset();
}

void TCopyThread::AbandonWorker(TEncryption* sharedEncryption)
{
    FAbandoned = true;
    if (sharedEncryption)
        FOwnedCrypting.reset(sharedEncryption);
    CancelThread();
    FPaused = false;
    FEvent->SetEvent();
    Abandon();
}

void TCopyThread::WaitIfPaused()
{
    FEvent->WaitFor(INFINITE);
}

void TCopyThread::DoProgress(TFileAction aAction, bool aSpeedLimit, int64_t aCount)
{
    if (!FOnProgress)
        return;
    FAction = aAction;
    FEnableSpLimit = aSpeedLimit;
    FCount = aCount;
    Synchronize([this] {
        if (!FAbandoned && FOnProgress)
            FOnProgress(FAction, FCount, FEnableSpLimit);
    });
}

bool TCopyThread::SetSysError(uint32_t code)
{
    if (code != 0)
        FSysError = (code & 0x07FF0000) ? code : (0x00070000 | code);
    return code != 0;
}

void TCopyThread::Finish(int error)
{
    WaitIfPaused();
    if (FCompress && UTotal > 0)
        FRatio = static_cast<int>((CTotal * 1000 + UTotal / 2) / UTotal);
    if (FSysError != 0)
        FSysErrMsg = SystemErrorTextOf(FSysError);
    if (error != 0)
        FError = error | FErrFlag;
    if (!FDestTemp.empty()) {
        // the destination was not completed: nothing is left under the final name
        ReleaseStreams();
        DiscardDest();
    }
    Terminate();
}

void TCopyThread::RunTransform(const std::function<int()>& transform)
{
    int result;
    try {
        result = transform();
    } catch (const Exception& e) {
        FSysErrMsg = e.Message();
        result = Write;
    } catch (const std::exception& e) {
        FSysErrMsg = e.what();
        result = Write;
    } catch (...) {
        result = Write;
    }
    Finish(result);
}

void TCopyThread::Execute()
{
    RunTransform([this] { return FShellCopy.Contains(scmCopy) ? ShellCopyFile() : PlainCopyFile(); });
}

// --- destination under a temporary name

int TCopyThread::CreateDest()
{
    // Without overwriting, the rename that puts the copy in place refuses an existing file (see
    // CommitDest); with it, a read-only file in the way is made writable first.
    if (FOverwrite && EngineFs::Exists(DestNameXL, false)) {
        uint32_t attr = EngineFs::GetAttributes(DestNameXL);
        if (attr != EngineFs::InvalidAttributes && (attr & faReadOnly)) {
            uint32_t code = EngineFs::SetAttributes(DestNameXL, attr & ~faReadOnly);
            if (code != 0) {
                SetSysError(code);
                return ResetAttr;
            }
        }
    }
    uint32_t code = 0;
    std::string tempName;
    int fd = EngineFs::CreateTempBeside(DestNameXL, tempName, code);
    if (fd < 0) {
        FSysErrMsg =
            SafeFormat("Cannot create file \"%s\". %s", {AbsolutePath(DestNameXL), SystemErrorText(code)});
        return Create;
    }
    FDestTemp = tempName;
    sDest = std::make_unique<TWriteFileStream>(fd, tempName);
    return 0;
}

int TCopyThread::CommitDest()
{
    if (FDestTemp.empty())
        return 0;
    uint32_t code = EngineFs::RenameFile(FDestTemp, DestNameXL, !FOverwrite);
    if (code != 0) {
        SetSysError(code);
        DiscardDest();
        // a file that took the name meanwhile is the same failure as one that was there before
        return code == WinError::ERROR_FILE_EXISTS && !FOverwrite ? Create : Rename;
    }
    FDestTemp.clear();
    return 0;
}

void TCopyThread::DiscardDest()
{
    if (FDestTemp.empty())
        return;
    EngineFs::DeleteFile(FDestTemp);
    FDestTemp.clear();
}

int TCopyThread::CreateTempStream(int64_t size, int64_t threshold, const char* name,
                                  std::unique_ptr<TStream>& stream, std::string& fileName)
{
    fileName.clear();
    if (size <= threshold) {
        stream = std::make_unique<TMemoryStream>();
        return 0;
    }
    // a unique name, so that workers of parallel runs never share a temporary file
    std::string base(name);
    size_t dot = base.rfind('.');
    std::string pattern = fTmpDir + base.substr(0, dot) + "-XXXXXX" + base.substr(dot);
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    int fd = ::mkstemps(buffer.data(), static_cast<int>(base.size() - dot));
    if (fd < 0) {
        uint32_t code = LastWinError();
        FSysErrMsg = SafeFormat("Cannot create file \"%s\". %s", {fTmpDir + name, SystemErrorText(code)});
        return Create;
    }
    fileName = buffer.data();
    stream = std::make_unique<THandleStream>(fd, true);
    return 0;
}

void TCopyThread::DeleteTempStream(std::unique_ptr<TStream>& stream, std::string& fileName)
{
    stream.reset();
    if (!fileName.empty())
        EngineFs::DeleteFile(fileName);
    fileName.clear();
}

// --- stream steps

int64_t TCopyThread::ReadChunk(TStream* src, uint8_t* buffer, int64_t count)
{
    uint32_t code = 0;
    try {
        int64_t got = ReadBlock(src, buffer, count, code);
        if (got < count)
            SetSysError(code);
        return got;
    } catch (const Exception& e) {
        FSysErrMsg = e.Message();
        return -1;
    }
}

int TCopyThread::OpenSource()
{
    if (!FSourceDataKnown && !GetFileData(SourceNameXL, SourceFileData))
        return NotFound;
    if (DestName.empty())
        return Create;
    try {
        auto source = OpenReadStream(SourceNameXL, SourceFileData.FileSize);
        // The size and mode of the file that was opened: the data handed in may be that of a link
        // rather than its target, or the file changed since it was looked up.
        struct stat st
        {
        };
        if (::fstat(source->Handle(), &st) == 0) {
            SourceFileData.FileSize = st.st_size;
            FSourceMode = st.st_mode & 0777;
        }
        sSource = std::move(source);
    } catch (const EExtFileStreamError& e) {
        // a source that went away after the caller read its data
        if (FSourceDataKnown && static_cast<uint32_t>(e.ErrorCode) == WinError::ERROR_FILE_NOT_FOUND)
            return NotFound;
        FSysErrMsg = e.Message();
        return Open;
    } catch (const Exception& e) {
        FSysErrMsg = e.Message();
        return Open;
    }
    return 0;
}

int TCopyThread::OpenStreams()
{
    int err = OpenSource();
    return err ? err : CreateDest();
}

namespace {

// The word of a failed write into dest: 263 for a full disk or a short write, else 261.
int WriteFailure(const Exception& e, std::string& sysErrMsg)
{
    sysErrMsg = e.Message();
    if (auto* w = dynamic_cast<const EWriteFileStreamError*>(&e))
        return w->ErrorCode() == WinError::ERROR_DISK_FULL ? LowDisk : Write;
    return Write;
}

int WriteBlock(TStream* dest, const uint8_t* data, int64_t count, std::string& sysErrMsg, uint32_t& sysError)
{
    try {
        int64_t put = dest->Write(data, count);
        if (put == count)
            return 0;
        if (put < 0) {
            if (auto* handle = dynamic_cast<THandleStream*>(dest)) {
                uint32_t code = ErrnoToWinError(handle->LastErrno());
                sysError = code;
                return code == WinError::ERROR_DISK_FULL ? LowDisk : Write;
            }
        }
        return LowDisk;
    } catch (const Exception& e) {
        return WriteFailure(e, sysErrMsg);
    }
}

} // namespace

int TCopyThread::CopyStreamData(TStream* src, TStream* dest, bool aSpeedLimit, int64_t length)
{
    int64_t remaining = length;
    do {
        WaitIfPaused();
        int64_t want = std::min<int64_t>(FBufSize, remaining);
        int64_t got = ReadChunk(src, FBuffer.data(), want);
        if (got < want)
            return Read;
        UTotal += got;
        DoProgress(dest ? acCopy : acPrepare, aSpeedLimit, UTotal);
        FCrc = UpdateCrc32(FCrc, FBuffer.data(), static_cast<size_t>(got));
        if (dest) {
            uint32_t writeCode = 0;
            int err = WriteBlock(dest, FBuffer.data(), got, FSysErrMsg, writeCode);
            if (err) {
                SetSysError(writeCode);
                return err;
            }
        }
        if (FUserBreak)
            return UserBreak;
        remaining -= got;
    } while (remaining > 0);
    CTotal = UTotal;
    return 0;
}

int TCopyThread::CompareStreams(TStream* a, TStream* b, bool aSpeedLimit)
{
    int64_t size = a->GetSize();
    DoProgress(acVerify, false, -size);
    if (size != b->GetSize())
        return SizeDiff;
    a->Seek(0, soBeginning);
    b->Seek(0, soBeginning);
    TByteBuffer second(FBufSize);
    int64_t done = 0;
    while (done < size) {
        WaitIfPaused();
        int64_t want = std::min<int64_t>(FBufSize, size - done);
        int64_t got = ReadChunk(a, FBuffer.data(), want);
        if (got < want)
            return Read;
        done += got;
        DoProgress(acVerify, aSpeedLimit, done);
        if (ReadChunk(b, second.data(), want) < want)
            return CopyRead;
        if (FUserBreak)
            return UserBreak;
        if (std::memcmp(FBuffer.data(), second.data(), static_cast<size_t>(want)) != 0)
            return Content;
    }
    return 0;
}

int TCopyThread::DeflateStream(TStream* src, TStream* dest, bool aSpeedLimit)
{
    int64_t startPos = dest->GetPosition();
    bool hadData = false;
    std::unique_ptr<TZCompressionStream> z;
    try {
        z = std::make_unique<TZCompressionStream>(*dest, FCompLevel, -15);
    } catch (const Exception& e) {
        FSysErrMsg = e.Message();
        return Write;
    }
    int64_t got;
    do {
        WaitIfPaused();
        got = ReadChunk(src, FBuffer.data(), FBufSize);
        if (got < 0)
            return Read;
        hadData = hadData || got > 0;
        UTotal += got;
        DoProgress(acCompress, aSpeedLimit, UTotal);
        FCrc = UpdateCrc32(FCrc, FBuffer.data(), static_cast<size_t>(got));
        try {
            z->Write(FBuffer.data(), got);
        } catch (const Exception& e) {
            return WriteFailure(e, FSysErrMsg);
        }
        if (FUserBreak)
            return UserBreak;
    } while (got == static_cast<int64_t>(FBufSize));
    try {
        z->Finish();
    } catch (const Exception& e) {
        return WriteFailure(e, FSysErrMsg);
    }
    z.reset();
    if (hadData && dest->GetPosition() == startPos)
        return LowDisk;
    return 0;
}

int TCopyThread::InflateStream(TStream* src, TStream* dest, bool aSpeedLimit, int64_t length)
{
    if (length <= 0) {
        // a deflate stream has at least two bytes: there is nothing to inflate
        FSysErrMsg = "Unexpected end of compressed data";
        return Read;
    }
    std::unique_ptr<TZDecompressionStream> z;
    try {
        z = std::make_unique<TZDecompressionStream>(*src, length, -15);
    } catch (const Exception& e) {
        FSysErrMsg = e.Message();
        return Read;
    }
    int64_t produced = 0;
    int64_t got;
    do {
        WaitIfPaused();
        try {
            got = z->Read(FBuffer.data(), FBufSize);
        } catch (const Exception& e) {
            FSysErrMsg = e.Message();
            return Read;
        }
        FCrc = UpdateCrc32(FCrc, FBuffer.data(), static_cast<size_t>(got));
        produced += got;
        DoProgress(acUnCompress, aSpeedLimit, produced);
        if (dest) {
            uint32_t writeCode = 0;
            int err = WriteBlock(dest, FBuffer.data(), got, FSysErrMsg, writeCode);
            if (err) {
                SetSysError(writeCode);
                return err;
            }
        }
        UTotal += got;
        if (FUserBreak)
            return UserBreak;
    } while (got == static_cast<int64_t>(FBufSize));
    CTotal = z->TotalIn();
    if (!z->StreamEnded()) {
        // truncated data: the caller's trailer or size check reports it
        FSysErrMsg = "Unexpected end of compressed data";
    }
    return 0;
}

int TCopyThread::InflateGzBody(TStream* src, TStream* dest, bool aSpeedLimit)
{
    return InflateStream(src, dest, aSpeedLimit, src->GetSize() - src->GetPosition() - 8);
}

int TCopyThread::FinishCopy(bool copyStorage, bool copyAltStreams, uint32_t attr,
                            const TFileTimestamps& timeStamps, bool copyAcl)
{
    int err = 0;
    auto* handle = dynamic_cast<THandleStream*>(sDest.get());
    if (FVerify && handle) {
        uint32_t code = EngineFs::FlushToDisk(handle->Handle());
        if (code != 0) {
            SetSysError(code);
            err = Write;
        }
    }
    if (err == 0 && handle && !FDestTemp.empty()) {
        // The copy gets the permission bits of its source before it takes its final name. The owner
        // keeps the right to write: whether the copy is read-only is up to the attributes, as on the
        // source. A file system without modes keeps the copy as created (readable by its owner only).
        ::fchmod(handle->Handle(), static_cast<mode_t>((FSourceMode & 0777) | S_IWUSR));
    }
    ReleaseStreams();
    if (err == 0)
        err = CommitDest();
    if (err == 0 && copyAltStreams) {
        uint32_t code = CopyAlternateStreams(SourceNameXL, DestNameXL);
        if (SetSysError(code))
            err = WarnStreams;
    }
    if (err == 0 && copyStorage) {
        int32_t status = CopyDocumentSummary(SourceName, DestName);
        if (status != 0) {
            FSysError = static_cast<uint32_t>(status);
            err = WarnSummary;
        }
    }
    if (err == 0 && copyAcl) {
        uint32_t code = CopyFilePermissions(SourceNameXL, DestNameXL);
        if (SetSysError(code))
            err = WarnAcl;
    }
    if (err == 0 && FCopyTimeStamp) {
        uint32_t code = SetFileTimestamps(DestNameXL, timeStamps, FCheckTime, FCopyCrTm, false);
        if (SetSysError(code))
            err = WarnTime;
    }
    if (err == 0 && FCopyAttr) {
        uint32_t current = EngineFs::GetAttributes(DestNameXL);
        if (FResetArchive)
            attr &= ~faArchive;
        if ((current & 0xFFFF) != (attr & 0xFFFF)) {
            uint32_t code = EngineFs::SetAttributes(DestNameXL, attr & 0xFFFF);
            if (SetSysError(code))
                err = WarnAttr;
        }
    }
    return err;
}

int TCopyThread::OpenForVerify(const std::string& fileName)
{
    uint32_t pause = FMaxWait * 1000 / 25;
    std::string lastError;
    for (int attempt = 0; attempt < 26; ++attempt) {
        try {
            sDest.reset();
            sDest = OpenReadStream(fileName);
            return 0;
        } catch (const Exception& e) {
            lastError = e.Message();
        }
        if (attempt < 25)
            std::this_thread::sleep_for(std::chrono::milliseconds(pause));
    }
    FSysErrMsg = lastError + " (" + std::to_string(pause * 25) + "ms)";
    return OpenVerify;
}

int TCopyThread::VerifyCopy()
{
    int err = OpenForVerify(DestNameXL);
    if (err)
        return err;
    DoProgress(acVerify, false, -UTotal);
    uint32_t crc = 0;
    int64_t done = 0;
    int64_t got;
    do {
        WaitIfPaused();
        uint32_t code = 0;
        got = ReadBlock(sDest.get(), FBuffer.data(), FBufSize, code);
        if (got < 0) {
            SetSysError(code);
            err = Verify;
            break;
        }
        crc = UpdateCrc32(crc, FBuffer.data(), static_cast<size_t>(got));
        done += got;
        DoProgress(acVerify, true, done);
        if (FUserBreak) {
            err = UserBreak;
            break;
        }
    } while (got == static_cast<int64_t>(FBufSize));
    if (err == 0 && crc != FCrc)
        err = Verify;
    sDest.reset();
    return err;
}

int TCopyThread::PlainCopyFile()
{
    int err = OpenStreams();
    if (err) {
        ReleaseStreams();
        return err;
    }
    DoProgress(acCopy, false, -SourceFileData.FileSize);
    err = CopyFileData();
    // a source that got shorter while it was copied
    if (err == 0 && UTotal < SourceFileData.FileSize)
        err = Read;
    if (err == 0)
        err = FinishCopy(FCopyStorage, FCopyAltStreams, SourceFileData.FileAttr & 0xFFFF,
                         SourceFileData.TimeStamps, FCopyAcl);
    else
        ReleaseStreams();
    return err;
}

int TCopyThread::CopyFileData()
{
    auto* in = dynamic_cast<THandleStream*>(sSource.get());
    auto* out = dynamic_cast<THandleStream*>(sDest.get());
    int64_t pos = 0;
    bool kernel = false;
    if (!in || !out)
        return CopyRegion(0, INT64_MAX, kernel, pos);
    // the checksum that a verification needs comes from the buffer copy
    kernel = !FVerify;
    for (;;) {
        int64_t data = ::lseek(in->Handle(), pos, SEEK_DATA);
        int64_t hole = INT64_MAX;
        if (data < 0 && errno == ENXIO) {
            // no data after pos: the rest up to the end of the file is a hole
            struct stat st
            {
            };
            if (::fstat(in->Handle(), &st) == 0 && st.st_size > pos) {
                SkipHole(st.st_size - pos);
                pos = st.st_size;
            }
            break;
        }
        if (data < 0) {
            data = pos; // the file system tells no holes: all is data
        } else {
            hole = ::lseek(in->Handle(), data, SEEK_HOLE);
            if (hole <= data)
                hole = INT64_MAX;
        }
        if (data > pos) {
            SkipHole(data - pos);
            pos = data;
            if (FUserBreak)
                return UserBreak;
        }
        int64_t reached = pos;
        int err = CopyRegion(pos, hole, kernel, reached);
        if (err)
            return err;
        pos = reached;
        if (pos < hole)
            break; // the file ended inside the region
    }
    // the destination ends where the source does, also when that is in a hole
    if (::ftruncate(out->Handle(), pos) != 0) {
        SetSysError(LastWinError());
        return Write;
    }
    CTotal = UTotal;
    return 0;
}

void TCopyThread::SkipHole(int64_t length)
{
    FCrc = Crc32WithZeros(FCrc, length);
    UTotal += length;
    DoProgress(acCopy, false, UTotal);
}

int TCopyThread::CopyRegion(int64_t pos, int64_t end, bool& kernel, int64_t& reached)
{
    reached = pos;
    auto* in = dynamic_cast<THandleStream*>(sSource.get());
    auto* out = dynamic_cast<THandleStream*>(sDest.get());
    while (kernel && reached < end) {
        WaitIfPaused();
        loff_t inPos = reached, outPos = reached;
        const auto want = static_cast<size_t>(std::min<int64_t>(FBufSize, end - reached));
        const ssize_t n = ::copy_file_range(in->Handle(), &inPos, out->Handle(), &outPos, want, 0);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            // the files do not allow it: the buffer copy goes on from here
            kernel = false;
            break;
        }
        if (n == 0)
            return 0; // the end of the file
        reached += n;
        UTotal += n;
        DoProgress(acCopy, true, UTotal);
        if (FUserBreak)
            return UserBreak;
    }
    if (reached >= end)
        return 0;
    try {
        if (in)
            sSource->Seek(reached, soBeginning);
        if (out)
            sDest->Seek(reached, soBeginning);
    } catch (const Exception& e) {
        FSysErrMsg = e.Message();
        return Read;
    }
    while (reached < end) {
        WaitIfPaused();
        int64_t want = std::min<int64_t>(FBufSize, end - reached);
        int64_t got = ReadChunk(sSource.get(), FBuffer.data(), want);
        if (got < 0)
            return Read;
        if (got == 0)
            return 0;
        UTotal += got;
        DoProgress(acCopy, true, UTotal);
        FCrc = UpdateCrc32(FCrc, FBuffer.data(), static_cast<size_t>(got));
        uint32_t writeCode = 0;
        int err = WriteBlock(sDest.get(), FBuffer.data(), got, FSysErrMsg, writeCode);
        if (err) {
            SetSysError(writeCode);
            return err;
        }
        if (FUserBreak)
            return UserBreak;
        reached += got;
        if (got < want)
            return 0;
    }
    return 0;
}

int TCopyThread::ShellCopyFile()
{
    // there is no shell copy here: the streams do the copy
    return PlainCopyFile();
}

// --- TCopyStreamThread

TCopyStreamThread::TCopyStreamThread(TStream& aSource, TStream& aDest, int64_t aLength, bool aSuspend,
                                     bool aSpeedLimit, int aBufSize)
    : TThread(true), FSource(aSource), FDest(aDest), FLength(aLength), FSpeedLimit(aSpeedLimit),
      FBuffer(static_cast<size_t>(std::max(aBufSize, 1)))
{
    if (!aSuspend)
        Start();
}

TCopyStreamThread::~TCopyStreamThread()
{
    if (Started())
        WaitFor();
}

void TCopyStreamThread::SetPaused(bool value)
{
    if (value)
        FEvent.ResetEvent();
    else
        FEvent.SetEvent();
}

void TCopyStreamThread::Execute()
{
    int error = 0;
    while (FLength > 0 && error == 0) {
        FEvent.WaitFor(INFINITE);
        int64_t want = std::min<int64_t>(static_cast<int64_t>(FBuffer.size()), FLength);
        uint32_t code = 0;
        int64_t got;
        try {
            got = ReadBlock(&FSource, FBuffer.data(), want, code);
            if (got < want) {
                FSysErrMsg = SafeFormat("System error: %s", {SystemErrorText(code)});
                error = 4;
                break;
            }
        } catch (const Exception& e) {
            FSysErrMsg = e.Message();
            error = 4;
            break;
        }
        FTotal += got;
        if (OnProgress) {
            int64_t total = FTotal;
            Synchronize([this, total] { OnProgress(acCopy, total, FSpeedLimit); });
        }
        try {
            if (FDest.Write(FBuffer.data(), got) != got)
                error = 7;
        } catch (const Exception& e) {
            FSysErrMsg = e.Message();
            error = 5;
        }
        FLength -= got;
    }
    FEvent.WaitFor(INFINITE);
    if (error != 0)
        FError = error | 0x1000;
    FBuffer.clear();
    Terminate();
}

// --- caller side

bool WaitForCopyThread(TCopyThread& thread, uint32_t timeoutSeconds, const std::function<void()>& onIdle)
{
    using Clock = std::chrono::steady_clock;
    auto start = Clock::now();
    // WaitFor serves the worker's Synchronize calls and returns as soon as the worker has ended
    while (!thread.WaitFor(10)) {
        if (onIdle)
            onIdle();
        if (thread.Paused()) {
            start = Clock::now(); // a paused worker does not run out of time
            continue;
        }
        if (timeoutSeconds > 0 && Clock::now() - start >= std::chrono::seconds(timeoutSeconds))
            return false;
    }
    return true;
}
