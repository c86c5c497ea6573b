#include "archive/ExtFileToolsZipThreads.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <sys/stat.h>

#include <zlib.h>

#include "platform/ErrorCodes.h"

using namespace ZipUtil;

namespace {

constexpr size_t ZChunk = 65536;
constexpr int64_t DecryptMemLimit = 1048576;

bool FileExists(const std::string& name)
{
    struct stat st
    {
    };
    return ::lstat(name.c_str(), &st) == 0;
}

// Reads up to count bytes, repeating short reads; stops at the end. -1 on a failure.
int64_t ReadSome(TStream& s, uint8_t* buffer, int64_t count)
{
    int64_t total = 0;
    while (total < count) {
        int64_t got = s.Read(buffer + total, count - total);
        if (got < 0)
            return -1;
        if (got == 0)
            break;
        total += got;
    }
    return total;
}

std::string ZText(const z_stream& z, int rc)
{
    return std::string("zlib: ") + (z.msg ? z.msg : zError(rc));
}

} // namespace

// --- TZipWorker

TZipWorker::TZipWorker(int bufSize, int errFlag)
    : FBuffer(static_cast<size_t>(bufSize > 0 ? bufSize : 0x80000)), fTmpDir(TempDir()), FErrFlag(errFlag)
{
}

TZipWorker::~TZipWorker()
{
    {
        std::lock_guard<std::mutex> lock(FMutex);
        FDetached = true;
        FGateOpen = true;
    }
    FCond.notify_all();
    if (!Done())
        CancelThread();
    if (FThread.joinable())
        FThread.join();
}

void TZipWorker::Start()
{
    FThread = std::thread([this] { Run(); });
}

void TZipWorker::Run()
{
    int result;
    try {
        result = Work();
    } catch (const std::exception& e) {
        FSysErrMsg = e.what();
        result = 0x104;
    }
    Gate();
    if (result != 0)
        FError = result | FErrFlag;
    {
        std::lock_guard<std::mutex> lock(FMutex);
        FDone.store(true);
    }
    FCond.notify_all();
}

void TZipWorker::SetPaused(bool value)
{
    if (Done() || FPaused.load() == value)
        return;
    {
        std::lock_guard<std::mutex> lock(FMutex);
        FPaused.store(value);
        FGateOpen = !value;
    }
    FCond.notify_all();
}

void TZipWorker::Gate()
{
    std::unique_lock<std::mutex> lock(FMutex);
    FCond.wait(lock, [this] { return FGateOpen; });
}

void TZipWorker::DoProgress(TFileAction action, bool speedLimit, int64_t count)
{
    if (!OnProgress)
        return;
    std::unique_lock<std::mutex> lock(FMutex);
    if (FDetached)
        return;
    FAction = action;
    FCount = count;
    FSpeedLimit = speedLimit;
    FReportPending = true;
    FCond.notify_all();
    FCond.wait(lock, [this] { return !FReportPending || FDetached; });
}

void TZipWorker::ServeProgress(int waitMs)
{
    std::unique_lock<std::mutex> lock(FMutex);
    FCond.wait_for(lock, std::chrono::milliseconds(waitMs),
                   [this] { return FReportPending || FDone.load(); });
    if (!FReportPending)
        return;
    TFileAction action = FAction;
    int64_t count = FCount;
    bool speedLimit = FSpeedLimit;
    lock.unlock();
    try {
        OnProgress(action, count, speedLimit);
    } catch (...) {
    }
    lock.lock();
    FReportPending = false;
    lock.unlock();
    FCond.notify_all();
}

void TZipWorker::DetachProgress()
{
    {
        std::lock_guard<std::mutex> lock(FMutex);
        FDetached = true;
        FReportPending = false;
    }
    FCond.notify_all();
}

int TZipWorker::WriteOut(TStream& dest, const uint8_t* data, int64_t count)
{
    while (count > 0) {
        int64_t put = dest.Write(data, count);
        if (put < 0) {
            uint32_t code = WinError::ERROR_WRITE_FAULT;
            if (auto* hs = dynamic_cast<THandleStream*>(&dest); hs && hs->LastErrno() != 0)
                code = ErrnoToWinError(hs->LastErrno());
            FSysErrMsg = SysErrorText(code);
            return code == WinError::ERROR_DISK_FULL ? 0x107 : 0x105;
        }
        if (put == 0)
            return 0x107;
        data += put;
        count -= put;
    }
    return 0;
}

int TZipWorker::CopyStreamData(TStream& src, TStream* dest, bool speedLimit, int64_t length)
{
    do {
        Gate();
        int64_t n = std::min<int64_t>(static_cast<int64_t>(FBuffer.size()), length);
        if (n > 0 && !ReadFull(src, FBuffer.data(), n)) {
            FSysErrMsg = SysErrorText(WinError::ERROR_HANDLE_EOF);
            return 0x104;
        }
        UTotal += n;
        DoProgress(dest ? acCopy : acPrepare, speedLimit, UTotal);
        FCrc = static_cast<uint32_t>(crc32(FCrc, FBuffer.data(), static_cast<uInt>(n)));
        if (dest) {
            if (int r = WriteOut(*dest, FBuffer.data(), n))
                return r;
        }
        if (IsCancelled())
            return 128;
        length -= n;
    } while (length > 0);
    CTotal = UTotal;
    return 0;
}

int TZipWorker::DeflateStream(TStream& src, TStream& dest, bool speedLimit, int64_t length)
{
    return EncryptEntry(nullptr, src, dest, true, length, speedLimit);
}

int TZipWorker::EncryptEntry(TZipCipher* cipher, TStream& src, TStream& dest, bool deflate, int64_t length,
                             bool speedLimit)
{
    if (cipher && !cipher->WriteHeader(dest)) {
        FSysErrMsg = SysErrorText(WinError::ERROR_WRITE_FAULT);
        return 0x10A;
    }
    std::vector<uint8_t> out(ZChunk);
    z_stream z{};
    if (deflate && deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        return 0x105;
    struct TEnd
    {
        z_stream* Z;
        bool Active;
        ~TEnd()
        {
            if (Active)
                deflateEnd(Z);
        }
    } end{&z, deflate};

    auto sink = [&](uint8_t* data, size_t n) -> int {
        if (cipher)
            cipher->EncryptBlock(data, n);
        return WriteOut(dest, data, static_cast<int64_t>(n));
    };
    auto pump = [&](int flush) -> int {
        do {
            z.next_out = out.data();
            z.avail_out = static_cast<uInt>(out.size());
            int rc = ::deflate(&z, flush);
            if (rc == Z_STREAM_ERROR) {
                FSysErrMsg = ZText(z, rc);
                return 0x105;
            }
            size_t have = out.size() - z.avail_out;
            if (have > 0) {
                if (int r = sink(out.data(), have))
                    return r;
            }
        } while (z.avail_out == 0);
        return 0;
    };

    int64_t remaining = length;
    for (;;) {
        Gate();
        int64_t want = std::min<int64_t>(static_cast<int64_t>(FBuffer.size()), remaining);
        int64_t n = want > 0 ? ReadSome(src, FBuffer.data(), want) : 0;
        if (n < 0) {
            FSysErrMsg = SysErrorText(WinError::ERROR_READ_FAULT);
            return 0x104;
        }
        UTotal += n;
        remaining -= n;
        DoProgress(cipher ? acEncrypt : acCompress, speedLimit, UTotal);
        FCrc = static_cast<uint32_t>(crc32(FCrc, FBuffer.data(), static_cast<uInt>(n)));
        if (deflate) {
            z.next_in = FBuffer.data();
            z.avail_in = static_cast<uInt>(n);
            if (int r = pump(Z_NO_FLUSH))
                return r;
        } else if (n > 0) {
            if (int r = sink(FBuffer.data(), static_cast<size_t>(n)))
                return r;
        }
        if (IsCancelled())
            return 128;
        if (n < want || remaining <= 0)
            break;
    }
    if (deflate) {
        z.next_in = nullptr;
        z.avail_in = 0;
        if (int r = pump(Z_FINISH))
            return r;
    }
    if (cipher && !cipher->WriteTrailer(dest)) {
        FSysErrMsg = SysErrorText(WinError::ERROR_WRITE_FAULT);
        return 0x10A;
    }
    return 0;
}

int TZipWorker::InflateStream(TStream& src, TStream* dest, bool speedLimit, int64_t length)
{
    z_stream z{};
    if (inflateInit2(&z, -15) != Z_OK)
        return 0x104;
    struct TEnd
    {
        z_stream* Z;
        ~TEnd() { inflateEnd(Z); }
    } end{&z};
    std::vector<uint8_t> in(ZChunk);
    int64_t remaining = length;
    int64_t produced = 0;
    bool ended = false;
    while (!ended) {
        Gate();
        if (z.avail_in == 0) {
            if (remaining <= 0)
                break;
            int64_t got = src.Read(in.data(), std::min<int64_t>(static_cast<int64_t>(in.size()), remaining));
            if (got < 0) {
                FSysErrMsg = SysErrorText(WinError::ERROR_READ_FAULT);
                return 0x104;
            }
            if (got == 0)
                break; // truncated input: the check value tells
            remaining -= got;
            z.next_in = in.data();
            z.avail_in = static_cast<uInt>(got);
        }
        z.next_out = FBuffer.data();
        z.avail_out = static_cast<uInt>(FBuffer.size());
        int rc = ::inflate(&z, Z_NO_FLUSH);
        if (rc == Z_STREAM_END)
            ended = true;
        else if (rc != Z_OK && rc != Z_BUF_ERROR) {
            FSysErrMsg = ZText(z, rc);
            return 0x104;
        }
        size_t have = FBuffer.size() - z.avail_out;
        if (have > 0) {
            FCrc = static_cast<uint32_t>(crc32(FCrc, FBuffer.data(), static_cast<uInt>(have)));
            produced += static_cast<int64_t>(have);
            DoProgress(acUnCompress, speedLimit, produced);
            if (dest) {
                if (int r = WriteOut(*dest, FBuffer.data(), static_cast<int64_t>(have)))
                    return r;
            }
            UTotal += static_cast<int64_t>(have);
        }
        if (IsCancelled())
            return 128;
        if (rc == Z_BUF_ERROR && z.avail_in == 0 && remaining <= 0)
            break;
    }
    return 0;
}

int TZipWorker::CompareStreams(TStream& a, TStream& b, bool speedLimit)
{
    int64_t size = a.GetSize();
    DoProgress(acVerify, false, -size);
    if (size != b.GetSize())
        return 0x115;
    a.SetPosition(0);
    b.SetPosition(0);
    std::vector<uint8_t> other(FBuffer.size());
    int64_t done = 0;
    while (done < size) {
        Gate();
        int64_t n = std::min<int64_t>(static_cast<int64_t>(FBuffer.size()), size - done);
        if (!ReadFull(a, FBuffer.data(), n))
            return 0x104;
        done += n;
        DoProgress(acVerify, speedLimit, done);
        if (!ReadFull(b, other.data(), n))
            return 0x304;
        if (IsCancelled())
            return 128;
        if (std::memcmp(FBuffer.data(), other.data(), static_cast<size_t>(n)) != 0)
            return 0x11E;
    }
    return 0;
}

int TZipWorker::DecryptEntry(TZipCipher& cipher, TStream& src, TStream* dest, bool speedLimit, int64_t length,
                             int errorWord)
{
    int64_t header = cipher.HeaderSize();
    if (length < header + 10 || !cipher.ReadHeader(src))
        return errorWord;
    int64_t remaining = length - header - 10;
    int64_t total = 0;
    while (remaining > 0) {
        Gate();
        int64_t n = std::min<int64_t>(static_cast<int64_t>(FBuffer.size()), remaining);
        if (!ReadFull(src, FBuffer.data(), n))
            return errorWord;
        total += n;
        DoProgress(acDecrypt, speedLimit, total);
        cipher.DecryptBlock(FBuffer.data(), static_cast<size_t>(n));
        if (dest) {
            if (int r = WriteOut(*dest, FBuffer.data(), n))
                return r;
        }
        remaining -= n;
        if (IsCancelled())
            return 128;
    }
    return cipher.ReadTrailer(src) ? 0 : errorWord;
}

// --- TZipWriteThread

TZipWriteThread::TZipWriteThread(const std::string& aFileName, std::unique_ptr<TZipCipher> aEncryption,
                                 TStream* zStream, bool aCompress, int aBufSize,
                                 TFileProgressEvent aOnProgress)
    : TZipThread(aBufSize), FFileName(aFileName), FEncryption(std::move(aEncryption)), FDest(zStream),
      FCompress(aCompress)
{
    OnProgress = std::move(aOnProgress);
}

TZipWriteThread::TZipWriteThread(std::unique_ptr<TStream> aSource, std::unique_ptr<TZipCipher> aEncryption,
                                 TStream* zStream, bool aCompress, int aBufSize,
                                 TFileProgressEvent aOnProgress)
    : TZipThread(aBufSize), FSource(std::move(aSource)), FEncryption(std::move(aEncryption)), FDest(zStream),
      FCompress(aCompress)
{
    OnProgress = std::move(aOnProgress);
}

int TZipWriteThread::Work()
{
    struct TFree
    {
        std::unique_ptr<TStream>& S;
        ~TFree() { S.reset(); }
    } freeSource{FSource};
    if (!FFileName.empty()) {
        try {
            FSource = OpenFileStream(FFileName, fmOpenRead);
        } catch (const EZipStreamError& e) {
            SetSysErrMsg(e.Message());
            return 0x102;
        }
    } else if (!FSource) {
        return 0x112;
    }
    int64_t size = FSource->GetSize() - FSource->GetPosition();
    if (size < 0)
        size = 0;
    if (!FDest) {
        DoProgress(acPrepare, false, -size);
        return CopyStreamData(*FSource, nullptr, false, size);
    }
    int64_t start = FDest->GetPosition();
    int r;
    if (FEncryption) {
        DoProgress(acEncrypt, false, -size);
        r = EncryptEntry(FEncryption.get(), *FSource, *FDest, size > 0, size, true);
    } else if (FCompress && size > 0) {
        DoProgress(acCompress, false, -size);
        r = DeflateStream(*FSource, *FDest, true, size);
    } else {
        DoProgress(acCopy, false, -size);
        r = CopyStreamData(*FSource, FDest, true, size);
    }
    if (r == 0 && UTotal != size)
        r = 0x104;
    CTotal = FDest->GetPosition() - start;
    return r;
}

// --- TZipVerifyThread

TZipVerifyThread::TZipVerifyThread(std::unique_ptr<TZipCipher> aEncryption, uint32_t aCrc, TStream& zStream,
                                   int64_t aLength, int64_t uSize, bool aCompress, int aBufSize,
                                   TFileProgressEvent aOnProgress)
    : TZipThread(aBufSize), FEncryption(std::move(aEncryption)), FExpectedCrc(aCrc), FZStream(zStream),
      FLength(aLength), FSize(uSize), FCompress(aCompress)
{
    OnProgress = std::move(aOnProgress);
}

int TZipVerifyThread::Work()
{
    FCrc = 0;
    if (FEncryption) {
        DoProgress(acVerify, false, -FLength);
        return DecryptEntry(*FEncryption, FZStream, nullptr, true, FLength, 0x10C);
    }
    DoProgress(acVerify, false, -FSize);
    int r = FCompress ? InflateStream(FZStream, nullptr, true, FLength)
                      : CopyStreamData(FZStream, nullptr, true, FLength);
    if (r != 0)
        return r;
    return FCrc != FExpectedCrc ? 0x10C : 0;
}

// --- TZipReadThread

TZipReadThread::TZipReadThread(TStream& zStream, const std::string& aFileName,
                               std::unique_ptr<TZipCipher> aEncryption, const TZipFileInfo& aZipInfo,
                               int aBufSize, TFileProgressEvent aOnProgress)
    : TZipWorker(aBufSize, 0x4000), FZStream(zStream), FFileName(aFileName),
      FEncryption(std::move(aEncryption)), FZipInfo(aZipInfo)
{
    OnProgress = std::move(aOnProgress);
}

TZipReadThread::TZipReadThread(TStream& zStream, TStream* aDest, std::unique_ptr<TZipCipher> aEncryption,
                               const TZipFileInfo& aZipInfo, int aBufSize, TFileProgressEvent aOnProgress)
    : TZipWorker(aBufSize, 0x4000), FZStream(zStream), FDest(aDest), FEncryption(std::move(aEncryption)),
      FZipInfo(aZipInfo)
{
    OnProgress = std::move(aOnProgress);
}

TZipReadThread::TZipReadThread(TStream& zStream, TStream* aDest, int aBufSize, TFileProgressEvent aOnProgress)
    : TZipWorker(aBufSize, 0x4000), FZStream(zStream), FDest(aDest), RdLocalHeader(true)
{
    OnProgress = std::move(aOnProgress);
}

int TZipReadThread::Work()
{
    std::unique_ptr<TStream> file;
    TStream* dest = FDest;
    if (!FFileName.empty()) {
        if (FileExists(FFileName) && !SetFileAttrWin(FFileName, 0x20))
            return 0x106;
        try {
            file = OpenFileStream(FFileName, fmCreate);
        } catch (const EZipStreamError& e) {
            SetSysErrMsg(e.Message());
            return 0x101;
        }
        dest = file.get();
    } else {
        if (!dest)
            return 0x112;
        if (RdLocalHeader && !ReadZipLocalHeader(FZStream, FZipInfo))
            return 0x104;
    }
    return ExtractEntry(*dest);
}

int TZipReadThread::ExtractEntry(TStream& dest)
{
    if ((FZipInfo.Flag & 1) == 0) {
        DoProgress(acUnCompress, false, -FZipInfo.USize);
        int r = FZipInfo.Method == 8 ? InflateStream(FZStream, &dest, true, FZipInfo.CSize)
                                     : CopyStreamData(FZStream, &dest, true, FZipInfo.USize);
        if (r != 0)
            return r;
        return FCrc != FZipInfo.Crc ? 0x104 : 0;
    }
    if (!FEncryption)
        return 0x10B;
    if (FZipInfo.KeyMode >= 1 && FZipInfo.KeyMode <= 3)
        FEncryption->SetKeyMode(FZipInfo.KeyMode);
    DoProgress(acDecrypt, false, -FZipInfo.CSize);
    TTempStream temp;
    std::string msg;
    if (!temp.Open(FZipInfo.CSize, DecryptMemLimit, fTmpDir, "encrypt.tmp", msg)) {
        SetSysErrMsg(msg);
        return 0x101;
    }
    int r = DecryptEntry(*FEncryption, FZStream, &temp.Stream(), true, FZipInfo.CSize, 0x10B);
    if (r != 0)
        return r;
    int64_t plain = temp.Stream().GetSize();
    DoProgress(acUnCompress, false, -plain);
    temp.Stream().SetPosition(0);
    FCrc = 0;
    r = FZipInfo.EncMethod == 0 ? CopyStreamData(temp.Stream(), &dest, false, plain)
                                : InflateStream(temp.Stream(), &dest, false, plain);
    if (r != 0)
        return r;
    // AE-1 entries carry the CRC-32 as well.
    if (FZipInfo.EncVersion == 1 && FCrc != FZipInfo.Crc)
        return 0x104;
    return 0;
}

// --- TZipCompareThread

TZipCompareThread::TZipCompareThread(TStream& zStream, std::unique_ptr<TStream> aRef,
                                     std::unique_ptr<TZipCipher> aEncryption, const TZipFileInfo& aZipInfo,
                                     int aBufSize, TFileProgressEvent aOnProgress)
    : TZipReadThread(zStream, static_cast<TStream*>(nullptr), std::move(aEncryption), aZipInfo, aBufSize,
                     std::move(aOnProgress)),
      FRef(std::move(aRef))
{
}

int TZipCompareThread::Work()
{
    struct TFree
    {
        std::unique_ptr<TStream>& S;
        ~TFree() { S.reset(); }
    } freeRef{FRef};
    if (!FRef)
        return 0x112;
    TTempStream temp;
    std::string msg;
    int64_t size = std::max(FZipInfo.CSize, FZipInfo.USize);
    if (!temp.Open(size, DecryptMemLimit, fTmpDir, "gzip.tmp", msg)) {
        SetSysErrMsg(msg);
        return 0x101;
    }
    int r = ExtractEntry(temp.Stream());
    if (r != 0)
        return r;
    return CompareStreams(*FRef, temp.Stream(), false);
}

// --- TZipCopyPartThread

TZipCopyPartThread::TZipCopyPartThread(TStream& source, TStream& dest, int64_t length, bool speedLimit,
                                       int bufSize, TFileProgressEvent onProgress)
    : TZipWorker(bufSize, 0x1000), FSource(source), FDest(dest), FLength(length), FSpeedLimit(speedLimit)
{
    OnProgress = std::move(onProgress);
}

int TZipCopyPartThread::Work()
{
    int64_t total = 0;
    while (FLength > 0) {
        Gate();
        int64_t n = std::min<int64_t>(static_cast<int64_t>(FBuffer.size()), FLength);
        if (!ReadFull(FSource, FBuffer.data(), n)) {
            SetSysErrMsg(SysErrorText(WinError::ERROR_HANDLE_EOF));
            return 4;
        }
        total += n;
        DoProgress(acCopy, FSpeedLimit, total);
        try {
            WriteFull(FDest, FBuffer.data(), n);
        } catch (const EZipStreamError& e) {
            SetSysErrMsg(e.Message());
            return e.Code == WinError::ERROR_DISK_FULL ? 7 : 5;
        }
        FLength -= n;
        if (IsCancelled())
            return 128;
    }
    return 0;
}
