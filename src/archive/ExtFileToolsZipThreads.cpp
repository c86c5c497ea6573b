#include "archive/ExtFileToolsZipThreads.h"

#include "archive/EngineErrors.h"
#include "foundation/FileUtilsTimes.h"
#include "platform/PosixFiles.h"

using namespace EngineError;

namespace {

constexpr int64_t DecryptTempThreshold = 1048576;

int DecryptResult(TOpResult r, int failure)
{
    return r == orUserBreak ? UserBreak : r != orOk ? failure : 0;
}

} // namespace

// --- TZipThread

TZipThread::TZipThread(TEncryption* aEncryption, bool aSuspend, int aBufSize,
                       const TFileProgressEvent& aOnProgress)
    : TGZipThread(std::string(), std::string(), aEncryption, aSuspend, aBufSize)
{
    FErrFlag = EngineOperation::Zip;
    SetOnProgress(aOnProgress);
}

// --- TZipWriteThread

TZipWriteThread::TZipWriteThread(const std::string& aFileName, TEncryption* aEncryption, TStream* zStream,
                                 bool aCompress, bool aSuspend, int aBufSize,
                                 const TFileProgressEvent& aOnProgress)
    : TZipThread(aEncryption, aSuspend, aBufSize, aOnProgress), FZStream(zStream), FFromFile(true),
      FCompressEntry(aCompress)
{
    SourceName = SourceNameXL = aFileName;
}

TZipWriteThread::TZipWriteThread(std::unique_ptr<TStream> aSource, TEncryption* aEncryption, TStream* zStream,
                                 bool aCompress, bool aSuspend, int aBufSize,
                                 const TFileProgressEvent& aOnProgress)
    : TZipThread(aEncryption, aSuspend, aBufSize, aOnProgress), FZStream(zStream), FFromFile(false),
      FCompressEntry(aCompress)
{
    sSource = std::move(aSource);
}

void TZipWriteThread::Execute()
{
    RunTransform([this] {
        int err = WriteEntry();
        ReleaseStreams();
        return err;
    });
}

int TZipWriteThread::WriteEntry()
{
    if (FFromFile) {
        try {
            sSource = OpenReadStream(SourceNameXL);
        } catch (const Exception& e) {
            FSysErrMsg = e.Message();
            return Open;
        }
    } else if (!sSource) {
        return EngineError::UndefinedStream;
    }
    if (!FZStream) {
        int64_t size = sSource->GetSize() - sSource->GetPosition();
        DoProgress(acPrepare, false, -size);
        return CopyStreamData(sSource.get(), nullptr, false, size);
    }
    // the archive is the destination of the step; it stays the caller's
    return CompressZipEntry(sSource.get(), FZStream, FCompressEntry);
}

// --- TZipVerifyThread

TZipVerifyThread::TZipVerifyThread(TEncryption* aEncryption, uint32_t aCrc, TStream& zStream, int64_t aLength,
                                   int64_t uSize, bool aCompress, bool aSuspend, int aBufSize,
                                   const TFileProgressEvent& aOnProgress)
    : TZipThread(aEncryption, aSuspend, aBufSize, aOnProgress), FLength(aLength), FSize(uSize),
      FExpectedCrc(aCrc), FZStream(zStream), FCompressed(aCompress)
{
}

void TZipVerifyThread::Execute()
{
    RunTransform([this] { return VerifyEntry(); });
}

int TZipVerifyThread::VerifyEntry()
{
    FCrc = 0;
    if (FCrypting) {
        DoProgress(acVerify, false, -FLength);
        TOpResult r =
            FCrypting->DecryptStreamEx(FZStream, nullptr, FLength, true, [this] { return IsCancelled(); });
        return DecryptResult(r, Verify);
    }
    DoProgress(acVerify, false, -FSize);
    int err = FCompressed ? InflateStream(&FZStream, nullptr, true, FLength)
                          : CopyStreamData(&FZStream, nullptr, true, FLength);
    if (err)
        return err;
    return FCrc != FExpectedCrc ? Verify : 0;
}

// --- TUnZipThread

TUnZipThread::TUnZipThread(const std::string& aSourceName, const std::string& aDestName,
                           TEncryption* aEncryption, bool aSuspend, int aBufSize)
    : TCopyThread(aSourceName, aDestName, aSuspend, aBufSize)
{
    FErrFlag = EngineOperation::Gunzip;
    AttachEncryption(aEncryption);
}

void TUnZipThread::Execute()
{
    RunTransform([this] { return UnzipFile(); });
}

int TUnZipThread::UnzipFile()
{
    int err = OpenSource();
    if (!err)
        err = CreateDest();
    uint32_t unixTime = 0;
    if (!err)
        err = ExtractSingleEntry(sSource.get(), sDest.get(), unixTime);
    if (err) {
        ReleaseStreams();
        return err;
    }
    TFileTimestamps times = SourceFileData.TimeStamps;
    if (unixTime != 0)
        times.LastWriteTime = UnixTimeToFileTime(unixTime);
    return FinishCopy(false, false, SourceFileData.FileAttr & 0xFFFF, times, FCopyAcl);
}

// --- TZipReadThread

TZipReadThread::TZipReadThread(TStream& zStream, const std::string& aFileName, TEncryption* aEncryption,
                               const TZipFileInfo& aZipInfo, bool aSuspend, int aBufSize,
                               const TFileProgressEvent& aOnProgress)
    : TUnZipThread(std::string(), aFileName, aEncryption, aSuspend, aBufSize), FZipInfo(aZipInfo),
      FZStream(zStream)
{
    FErrFlag = EngineOperation::Zip;
    SetOnProgress(aOnProgress);
}

TZipReadThread::TZipReadThread(TStream& zStream, TStream* aDest, TEncryption* aEncryption,
                               const TZipFileInfo& aZipInfo, bool aSuspend, int aBufSize,
                               const TFileProgressEvent& aOnProgress)
    : TUnZipThread(std::string(), std::string(), aEncryption, aSuspend, aBufSize), FZipInfo(aZipInfo),
      FZStream(zStream), FDestStream(aDest)
{
    FErrFlag = EngineOperation::Zip;
    SetOnProgress(aOnProgress);
}

TZipReadThread::TZipReadThread(TStream& zStream, TStream* aDest, bool aSuspend, int aBufSize,
                               const TFileProgressEvent& aOnProgress)
    : TUnZipThread(std::string(), std::string(), nullptr, aSuspend, aBufSize), RdLocalHeader(true),
      FZStream(zStream), FDestStream(aDest)
{
    FErrFlag = EngineOperation::Zip;
    SetOnProgress(aOnProgress);
}

void TZipReadThread::SetAesData(uint16_t version, uint16_t method)
{
    FAesVersion = version;
    FAesMethod = method;
}

void TZipReadThread::Execute()
{
    RunTransform([this] {
        int err = ReadEntry();
        ReleaseStreams();
        return err;
    });
}

int TZipReadThread::ReadEntry()
{
    TStream* dest = FDestStream;
    if (!DestName.empty()) {
        if (EngineFs::Exists(DestNameXL, false) && PosixFileSetAttr(DestNameXL, faArchive, true) != 0)
            return ResetAttr;
        try {
            sDest = std::make_unique<TWriteFileStream>(DestNameXL, true, FWriteMode, 0);
        } catch (const Exception& e) {
            FSysErrMsg = e.Message();
            return Create;
        }
        dest = sDest.get();
    } else {
        if (!dest)
            return EngineError::UndefinedStream;
        if (RdLocalHeader && !ReadZipLocalHeader(FZStream, FZipInfo))
            return Read;
    }
    return ExtractEntry(dest);
}

int TZipReadThread::ExtractEntry(TStream* dest)
{
    FCrc = 0;
    if ((FZipInfo.Flag & 1) == 0) {
        DoProgress(acUnCompress, false, -FZipInfo.USize);
        int err = FZipInfo.Method == 8 ? InflateStream(&FZStream, dest, true, FZipInfo.CSize)
                                       : CopyStreamData(&FZStream, dest, true, FZipInfo.USize);
        if (err)
            return err;
        return FCrc != FZipInfo.Crc ? Read : 0;
    }
    if (!FCrypting)
        return Decrypt;
    if (FZipInfo.KeyMode >= 1 && FZipInfo.KeyMode <= 3)
        FCrypting->SetKeyMode(FZipInfo.KeyMode);
    DoProgress(acDecrypt, false, -FZipInfo.CSize);
    std::unique_ptr<TStream> temp;
    std::string tempName;
    int err = CreateTempStream(FZipInfo.CSize, DecryptTempThreshold, "encrypt.tmp", temp, tempName);
    if (!err) {
        TOpResult r = FCrypting->DecryptStreamEx(FZStream, temp.get(), FZipInfo.CSize, true,
                                                 [this] { return IsCancelled(); });
        err = DecryptResult(r, Decrypt);
    }
    if (!err) {
        int64_t plain = temp->GetSize();
        DoProgress(acUnCompress, false, -plain);
        temp->Seek(0, soBeginning);
        FCrc = 0;
        if (plain > 0)
            err = FAesMethod == 0 ? CopyStreamData(temp.get(), dest, false, plain)
                                  : InflateStream(temp.get(), dest, false, plain);
        // AE-1 entries carry the CRC-32 beside the authentication code
        if (!err && FAesVersion == 1 && FCrc != FZipInfo.Crc)
            err = Read;
    }
    DeleteTempStream(temp, tempName);
    return err;
}

// --- TZipCompareThread

TZipCompareThread::TZipCompareThread(TStream& zStream, std::unique_ptr<TStream> aRef,
                                     TEncryption* aEncryption, const TZipFileInfo& aZipInfo, bool aSuspend,
                                     int aBufSize, const TFileProgressEvent& aOnProgress)
    : TZipReadThread(zStream, static_cast<TStream*>(nullptr), aEncryption, aZipInfo, aSuspend, aBufSize,
                     aOnProgress)
{
    sDest = std::move(aRef);
}

void TZipCompareThread::Execute()
{
    RunTransform([this] {
        int err = CompareEntry();
        ReleaseStreams();
        return err;
    });
}

int TZipCompareThread::CompareEntry()
{
    if (!sDest)
        return EngineError::UndefinedStream;
    if (RdLocalHeader && !ReadZipLocalHeader(FZStream, FZipInfo))
        return Read;
    std::unique_ptr<TStream> temp;
    std::string tempName;
    int err = CreateTempStream(FZipInfo.CSize, DecryptTempThreshold, "gzip.tmp", temp, tempName);
    if (!err)
        err = ExtractEntry(temp.get());
    if (!err)
        err = CompareStreams(sDest.get(), temp.get(), false);
    DeleteTempStream(temp, tempName);
    return err;
}
