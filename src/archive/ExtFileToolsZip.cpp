// Single-file zip archives of the copy engine, and the copy and compare threads that choose between the
// backup forms.
#include "archive/ExtFileTools.h"

#include <sys/stat.h>

#include "archive/EngineErrors.h"
#include "archive/ZipRecords.h"
#include "foundation/FileUtilsTimes.h"

using namespace EngineError;
using LittleEndian::Put16;
using LittleEndian::Put32;
using LittleEndian::Put64;

namespace {

constexpr int64_t TempFileThreshold = 52428800; // 50 MiB
constexpr int64_t DecryptTempThreshold = 1048576;
constexpr int64_t Zip64Threshold = 0xFF000000LL;
constexpr int64_t Four = 0x100000000LL;

} // namespace

int TGZipThread::WriteSingleFileZip(bool compress)
{
    int64_t size = SourceFileData.FileSize;
    int32_t localDos = FileTimeToLocalDosTime(SourceFileData.TimeStamps.LastWriteTime);
    uint32_t dosTime = localDos == -1 ? 0x00210000 : static_cast<uint32_t>(localDos); // else 1980-01-01
    bool zip64 = size > Zip64Threshold;
    bool encrypted = FCrypting != nullptr;
    bool ae2 = encrypted && size < 20;
    if (encrypted)
        compress = true;
    bool deflated = compress && size > 0;
    TZipNameForm form = ZipNameForm(FName);
    const std::string& name = FName;

    uint16_t version = encrypted ? 51 : zip64 ? 45 : 20;
    uint16_t flags = 0x0080 | (encrypted ? 0x0001 : 0) | (deflated && !encrypted ? 0x0002 : 0) | form.Flags;
    uint16_t method = encrypted ? 99 : deflated ? 8 : 0;
    std::string aes =
        encrypted ? ZipAesField(ae2 ? 2 : 1, static_cast<uint8_t>(FCrypting->KeyMode()), size > 0 ? 8 : 0)
                  : std::string();

    std::string extra;
    if (zip64) {
        Put16(extra, 1);
        Put16(extra, 16);
        Put64(extra, 0);
        Put64(extra, 0);
    }
    std::string local =
        ZipLocalHeader(version, flags, method, dosTime, zip64 ? 0xFFFFFFFF : 0, name, extra + aes);
    try {
        sDest->WriteBuffer(local.data(), static_cast<int64_t>(local.size()));
    } catch (const Exception& e) {
        FSysErrMsg = e.Message();
        return ZipWrite;
    }

    int err = CompressZipEntry(sSource.get(), sDest.get(), compress);
    if (err)
        return err;

    uint32_t crc = ae2 ? 0 : FCrc;
    try {
        std::string field;
        Put32(field, crc);
        sDest->Seek(14, soBeginning);
        sDest->WriteBuffer(field.data(), 4);
        field.clear();
        if (zip64) {
            Put64(field, static_cast<uint64_t>(UTotal));
            Put64(field, static_cast<uint64_t>(CTotal));
            sDest->Seek(30 + static_cast<int64_t>(name.size()) + 4, soBeginning);
        } else {
            Put32(field, static_cast<uint32_t>(CTotal));
            Put32(field, static_cast<uint32_t>(UTotal));
            sDest->Seek(18, soBeginning);
        }
        sDest->WriteBuffer(field.data(), static_cast<int64_t>(field.size()));

        int64_t directoryOffset = sDest->Seek(0, soEnd);
        std::string zip64Extra;
        if (zip64) {
            std::string values;
            if (UTotal >= Four)
                Put64(values, static_cast<uint64_t>(UTotal));
            if (CTotal >= Four)
                Put64(values, static_cast<uint64_t>(CTotal));
            Put16(zip64Extra, 1);
            Put16(zip64Extra, static_cast<uint32_t>(values.size()));
            zip64Extra += values;
        }
        TZipCentralValues values;
        values.Version = version;
        values.HostSystem = form.HostSystem;
        values.Flags = flags;
        values.Method = method;
        values.DosTime = dosTime;
        values.Crc = crc;
        values.CSize32 = CTotal >= Four ? 0xFFFFFFFF : static_cast<uint32_t>(CTotal);
        values.USize32 = UTotal >= Four ? 0xFFFFFFFF : static_cast<uint32_t>(UTotal);
        values.Attr = SourceFileData.FileAttr & 0xFFFF;
        if (form.HostSystem == ZipHostUnix)
            values.Attr |= (S_IFREG | (FSourceMode & 0777)) << 16;
        std::string central = ZipCentralHeader(values, name, zip64Extra + aes);
        sDest->WriteBuffer(central.data(), static_cast<int64_t>(central.size()));

        int64_t directoryEnd = directoryOffset + static_cast<int64_t>(central.size());
        bool zip64End = directoryEnd >= Four;
        std::string end;
        if (zip64End) {
            Put32(end, 0x06064B50);
            Put64(end, 44);
            Put16(end, 45);
            Put16(end, 45);
            Put32(end, 0);
            Put32(end, 0);
            Put64(end, 1);
            Put64(end, 1);
            Put64(end, central.size());
            Put64(end, static_cast<uint64_t>(directoryOffset));
            Put32(end, 0x07064B50);
            Put32(end, 0);
            Put64(end, static_cast<uint64_t>(directoryEnd));
            Put32(end, 1);
        }
        Put32(end, 0x06054B50);
        Put16(end, 0);
        Put16(end, 0);
        Put16(end, 1);
        Put16(end, 1);
        Put32(end, static_cast<uint32_t>(central.size()));
        Put32(end, zip64End ? 0xFFFFFFFF : static_cast<uint32_t>(directoryOffset));
        Put16(end, 0);
        sDest->WriteBuffer(end.data(), static_cast<int64_t>(end.size()));
    } catch (const Exception& e) {
        FSysErrMsg = e.Message();
        return ZipWrite;
    }
    return 0;
}

int TCopyThread::CompressZipEntry(TStream* source, TStream* dest, bool compress)
{
    int64_t start = dest->GetPosition();
    int64_t size = source->GetSize() - source->GetPosition();
    int err = 0;
    if (FCrypting) {
        if (size > 0 && compress) {
            DoProgress(acCompress, false, -size);
            std::unique_ptr<TStream> temp;
            std::string tempName;
            err = CreateTempStream(size, TempFileThreshold, "encrypt.tmp", temp, tempName);
            if (!err)
                err = DeflateStream(source, temp.get(), false);
            if (!err && size != UTotal)
                err = Read;
            if (!err) {
                DoProgress(acEncrypt, false, -temp->GetSize());
                temp->Seek(0, soBeginning);
                TOpResult r =
                    FCrypting->EncryptStreamEx(*temp, *dest, true, [this] { return IsCancelled(); });
                err = r == orUserBreak ? UserBreak : r != orOk ? Encrypt : 0;
            }
            DeleteTempStream(temp, tempName);
        } else {
            UTotal = size;
            DoProgress(acEncrypt, false, -size);
            TOpResult r = FCrypting->EncryptStreamEx(*source, *dest, true, [this] { return IsCancelled(); });
            err = r == orUserBreak ? UserBreak : r != orOk ? Encrypt : 0;
        }
    } else {
        if (size > 0 && compress) {
            DoProgress(acCompress, false, -size);
            err = DeflateStream(source, dest, true);
        } else {
            DoProgress(acCopy, false, -size);
            err = CopyStreamData(source, dest, true, size);
        }
        if (!err && size != UTotal)
            err = Read;
    }
    if (err)
        return err;
    CTotal = dest->GetPosition() - start;
    return 0;
}

int TCopyThread::VerifySingleFileZip()
{
    int err = OpenForVerify(DestNameXL);
    if (err)
        return err;
    TZipFileInfo info;
    if (!ReadZipLocalHeader(*sDest, info))
        err = BadHeader;
    FCrc = 0;
    UTotal = 0;
    if (!err && FCrypting) {
        DoProgress(acVerify, false, -info.CSize);
        FCrypting->SetKeyMode(info.KeyMode);
        TOpResult r =
            FCrypting->DecryptStreamEx(*sDest, nullptr, info.CSize, true, [this] { return IsCancelled(); });
        err = r == orUserBreak ? UserBreak : r != orOk ? Verify : 0;
    } else if (!err) {
        DoProgress(acVerify, false, -info.USize);
        if (info.Method == 8)
            err = info.CSize > 0 ? InflateStream(sDest.get(), nullptr, true, info.CSize) : Verify;
        else
            err = CopyStreamData(sDest.get(), nullptr, true, info.CSize);
        if (!err && FCrc != info.Crc)
            err = Verify;
    }
    sDest.reset();
    return err;
}

int TCopyThread::ExtractSingleEntry(TStream* zip, TStream* dest, uint32_t& unixTime)
{
    TZipFileInfo info;
    if (!ReadZipLocalHeader(*zip, info))
        return BadHeader;
    unixTime = static_cast<uint32_t>(DosTimeToUnixTime(info.TimeStamp));
    FCrc = 0;
    if (info.Flag & 1) {
        if (!FCrypting || info.Method != 99)
            return Decrypt;
        FCrypting->SetKeyMode(info.KeyMode);
        DoProgress(acDecrypt, false, -info.CSize);
        std::unique_ptr<TStream> temp;
        std::string tempName;
        int err = CreateTempStream(info.CSize, DecryptTempThreshold, "encrypt.tmp", temp, tempName);
        if (!err) {
            TOpResult r = FCrypting->DecryptStreamEx(*zip, temp.get(), info.CSize, true,
                                                     [this] { return IsCancelled(); });
            err = r == orUserBreak ? UserBreak : r != orOk ? Decrypt : 0;
        }
        if (!err && temp->GetSize() > 0) {
            DoProgress(acUnCompress, false, -temp->GetSize());
            temp->Seek(0, soBeginning);
            err = InflateStream(temp.get(), dest, false, temp->GetSize());
        }
        DeleteTempStream(temp, tempName);
        return err;
    }
    if (info.Method != 0 && info.Method != 8)
        return EngineError::Unsupported;
    DoProgress(acUnCompress, false, -info.USize);
    int err;
    if (info.Method == 8)
        err = InflateStream(zip, dest, true, info.CSize);
    else
        err = CopyStreamData(zip, dest, true, info.USize);
    if (!err && FCrc != info.Crc)
        err = Read;
    return err;
}

// --- TWinCopyThread

TWinCopyThread::TWinCopyThread(const std::string& aSourceName, const std::string& aDestName,
                               TEncryption* aEncryption, TCopyOptions aOptions, bool aSuspend, int aBufSize)
    : TGZipThread(aSourceName, aDestName, aEncryption, aSuspend, aBufSize)
{
    FCompress = aOptions.Contains(coCompress);
    FZipCompress = aOptions.Contains(coZipCompress);
    FVerify = aOptions.Contains(coVerify);
    FOverwrite = aOptions.Contains(coOverwrite);
    FCopyStorage = aOptions.Contains(coStorage);
    FCopyAltStreams = aOptions.Contains(coAltStreams);
    FCopyAcl = aOptions.Contains(coPermissions);
    FCopyAttr = aOptions.Contains(coAttributes);
    FCopyTimeStamp = aOptions.Contains(coTimeStamp);
    FCopyCrTm = aOptions.Contains(coCreationTime);
    FCheckTime = aOptions.Contains(coCheckTime);
    SetNoWriteCache(aOptions.Contains(coNoCache));
    FResetArchive = aOptions.Contains(coResetArchive);
    FErrFlag = FZipCompress  ? EngineOperation::Zip
               : FCompress   ? EngineOperation::Gzip
               : aEncryption ? EngineOperation::Encrypt
                             : EngineOperation::Copy;
}

void TWinCopyThread::Execute()
{
    RunTransform([this] {
        if (FVerify)
            SetNoWriteCache(true);
        int err;
        if (FShellCopy.Contains(scmCopy)) {
            err = ShellCopyFile();
            if (!err && FVerify)
                err = VerifyCopy();
        } else if (FZipCompress) {
            err = OpenStreams();
            if (!err)
                err = WriteSingleFileZip(FCompress);
            if (!err)
                err = FinishCopy(false, FCopyAltStreams, SourceFileData.FileAttr & 0xFFFF,
                                 SourceFileData.TimeStamps, FCopyAcl);
            else
                ReleaseStreams();
            if (!err && FVerify)
                err = VerifySingleFileZip();
        } else if (FCompress) {
            err = GZipFile();
            if (!err && FVerify)
                err = VerifyGzFile();
        } else if (FCrypting) {
            err = EncryptFile();
            if (!err && FVerify)
                err = VerifyEncryptedFile();
        } else {
            err = PlainCopyFile();
            if (!err && FVerify)
                err = VerifyCopy();
        }
        return err;
    });
}

// --- TCompareThread

TCompareThread::TCompareThread(const std::string& aVerifyName, const std::string& aRefName,
                               TEncryption* aEncryption, bool aCompress, bool aZipCompress, bool aSuspend,
                               int aBufSize)
    : TGUnZipThread(aVerifyName, aRefName, aEncryption, aSuspend, aBufSize)
{
    FCompress = aCompress;
    FZipCompress = aZipCompress;
    FErrFlag = aZipCompress  ? EngineOperation::Zip
               : aCompress   ? EngineOperation::Gunzip
               : aEncryption ? EngineOperation::Decrypt
                             : 0;
}

void TCompareThread::Execute()
{
    RunTransform([this] {
        if (!EngineFs::Exists(DestNameXL, false))
            return static_cast<int>(NotFound);
        if (!EngineFs::Exists(SourceNameXL, false))
            return static_cast<int>(CopyMissing);
        try {
            sSource = OpenReadStream(DestNameXL);
        } catch (const Exception& e) {
            FSysErrMsg = e.Message();
            return static_cast<int>(Open);
        }
        try {
            sDest = OpenReadStream(SourceNameXL);
        } catch (const Exception& e) {
            FSysErrMsg = e.Message();
            ReleaseStreams();
            return static_cast<int>(CopyOpen);
        }
        int err;
        if (FZipCompress)
            err = CompareZip();
        else if (FCompress)
            err = CompareGz();
        else if (FCrypting)
            err = CompareEncrypted();
        else
            err = CompareStreams(sSource.get(), sDest.get(), true);
        ReleaseStreams();
        return err;
    });
}

int TCompareThread::CompareZip()
{
    std::unique_ptr<TStream> temp;
    std::string tempName;
    int err = CreateTempStream(sSource->GetSize(), TempFileThreshold, "unzip.tmp", temp, tempName);
    uint32_t unixTime = 0;
    if (!err)
        err = ExtractSingleEntry(sDest.get(), temp.get(), unixTime);
    if (!err) {
        DoProgress(acVerify, false, -temp->GetSize());
        err = CompareStreams(sSource.get(), temp.get(), false);
    }
    DeleteTempStream(temp, tempName);
    return err;
}

int TCompareThread::CompareEncrypted()
{
    std::unique_ptr<TStream> temp;
    std::string tempName;
    int err = CreateTempStream(sSource->GetSize(), TempFileThreshold, "encrypt.tmp", temp, tempName);
    if (!err) {
        DoProgress(acDecrypt, false, -sDest->GetSize());
        err = ReadEncFileHeader(sDest.get());
    }
    if (!err) {
        int64_t rest = sDest->GetSize() - sDest->GetPosition();
        TOpResult r =
            FCrypting->DecryptStreamEx(*sDest, temp.get(), rest, true, [this] { return IsCancelled(); });
        err = r == orUserBreak ? UserBreak : r != orOk ? Decrypt : 0;
    }
    if (!err) {
        DoProgress(acVerify, false, -temp->GetSize());
        err = CompareStreams(sSource.get(), temp.get(), false);
    }
    DeleteTempStream(temp, tempName);
    return err;
}

int TCompareThread::CompareGz()
{
    std::string name;
    uint32_t unixTime = 0;
    int keyMode = -1;
    int64_t cSize = 0, uSize = 0;
    int err = ReadGzHeader(*sDest, name, unixTime, keyMode, cSize, uSize);
    if (err)
        return err;
    std::unique_ptr<TStream> temp;
    std::string tempName;
    err = CreateTempStream(sSource->GetSize(), TempFileThreshold, "gzip.tmp", temp, tempName);
    if (!err && !FCrypting) {
        DoProgress(acUnCompress, false, -uSize);
        err = InflateGzBody(sDest.get(), temp.get(), true);
    } else if (!err) {
        DoProgress(acDecrypt, false, -sDest->GetSize());
        FCrypting->SetKeyMode(keyMode);
        int64_t bodyLength = sDest->GetSize() - sDest->GetPosition() - 8;
        std::unique_ptr<TStream> body;
        std::string bodyName;
        err = CreateTempStream(sSource->GetSize(), TempFileThreshold, "encrypt.tmp", body, bodyName);
        if (!err) {
            TOpResult r = FCrypting->DecryptStreamEx(*sDest, body.get(), bodyLength, true,
                                                     [this] { return IsCancelled(); });
            err = r == orUserBreak ? UserBreak : r != orOk ? Decrypt : 0;
        }
        if (!err) {
            DoProgress(acUnCompress, false, -bodyLength);
            body->Seek(0, soBeginning);
            err = InflateStream(body.get(), temp.get(), false, body->GetSize());
        }
        DeleteTempStream(body, bodyName);
    }
    if (!err) {
        DoProgress(acVerify, false, -temp->GetSize());
        err = CompareStreams(sSource.get(), temp.get(), false);
    }
    DeleteTempStream(temp, tempName);
    return err;
}
