#include "archive/ExtFtpCopyUtils.h"

#include <chrono>
#include <thread>
#include <vector>

#include "archive/EngineErrors.h"

using namespace EngineError;

namespace {

constexpr int64_t LargeThreshold = 52428800; // 50 MiB
constexpr int64_t SmallThreshold = 1048576;  // 1 MiB
constexpr int FtpNoConnection = 282;

void Sleep(int ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// Temporary files of one run, deleted when it ends, whatever happened.
class TTempFiles
{
public:
    ~TTempFiles()
    {
        for (const std::string& name : FNames)
            if (!name.empty())
                EngineFs::DeleteFile(name);
    }
    void Add(const std::string& name) { FNames.push_back(name); }

private:
    std::vector<std::string> FNames;
};

void HookWork(TExtFtp* ftp, const std::function<void(TWorkMode, int64_t)>& handler)
{
    if (ftp)
        ftp->OnWork = handler;
}

// The caller's side of a cancel: wait for the worker, serving its progress calls.
void WaitForWorker(TCopyThread& thread)
{
    if (!thread.Started())
        return;
    while (!thread.Done()) {
        Sleep(10);
        TThread::CheckSynchronize(0);
    }
}

// The end of an FTP worker: wait for it and unhook its progress from the connection, unless it was
// abandoned (it then still runs and owns the hook until it ends).
void ReleaseFtpWorker(TCopyThread& thread, TExtFtp* ftp, bool abandoned)
{
    if (abandoned)
        return;
    if (thread.Started())
        thread.WaitFor();
    HookWork(ftp, nullptr);
}

// Breaks off the transfer of a cancelled FTP worker: an abandoned worker's socket is aborted, else the
// server is told to abort (settleMs to let it answer) and the worker is awaited.
void AbortFtpWorker(TCopyThread& thread, TExtFtp* ftp, bool abandoned, int settleMs)
{
    if (!ftp)
        return;
    if (abandoned) {
        ftp->Connection().Socket().Abort();
        return;
    }
    if (ftp->Connected()) {
        ftp->AbortTransfer();
        if (settleMs > 0)
            Sleep(settleMs);
    }
    WaitForWorker(thread);
}

} // namespace

// --- TWriteFtpThread

TWriteFtpThread::TWriteFtpThread(TExtFtp* AFtp, const std::string& ASourceName, const std::string& ADestDir,
                                 const std::string& ADestName, TEncryption* AEncryption,
                                 TCopyOptions AOptions, bool ASuspend, int ABufSize)
    : TGZipThread(ASourceName, ADestName, AEncryption, ASuspend, ABufSize), FFtp(AFtp),
      FZipCompress(AOptions.Contains(coZipCompress)), FDestDir(ADestDir)
{
    FCompress = AOptions.Contains(coCompress);
    FVerify = AOptions.Contains(coVerify);
    FErrFlag = FZipCompress  ? EngineOperation::Zip
               : FCompress   ? EngineOperation::Gzip
               : AEncryption ? EngineOperation::Encrypt
                             : EngineOperation::Copy;
    HookWork(FFtp, [this](TWorkMode mode, int64_t count) {
        DoProgress(mode == wmWrite ? acFtpWrite : acFtpRead, true, count);
    });
}

TWriteFtpThread::~TWriteFtpThread()
{
    ReleaseFtpWorker(*this, FFtp, FAbandoned);
}

void TWriteFtpThread::CancelThread()
{
    TCopyThread::CancelThread();
    AbortFtpWorker(*this, FFtp, FAbandoned, 200);
}

void TWriteFtpThread::Execute()
{
    RunTransform([this] {
        int err = Run();
        ReleaseStreams();
        return err;
    });
}

int TWriteFtpThread::Run()
{
    if (!FFtp)
        return FtpNoConnection;
    int err = OpenSource();
    if (err)
        return err;
    TTempFiles temps;
    int64_t size = SourceFileData.FileSize;
    if (FZipCompress) {
        std::unique_ptr<TStream> zip;
        std::string zipName;
        err = CreateTempStream(size, LargeThreshold, "zip.tmp", zip, zipName);
        temps.Add(zipName);
        if (err)
            return err;
        sDest = std::move(zip);
        err = WriteSingleFileZip(FCompress);
        if (!err) {
            DoProgress(acFtpWrite, false, -size);
            err = static_cast<int>(FFtp->Flush(*sDest, DestName, false));
            FFileSize = size;
        }
        if (IsCancelled()) {
            Sleep(1000);
            err = UserBreak;
        }
        return err;
    }
    auto unixTime = static_cast<uint32_t>(FileTimeToUnixTime(SourceFileData.TimeStamps.LastWriteTime));
    std::unique_ptr<TStream> target;
    std::string targetName;
    auto upload = [&](TStream& data) {
        DoProgress(acFtpWrite, false, -data.GetSize());
        data.SetPosition(0);
        if (!FFtp->ReConnect(FDestDir, true, true))
            return FtpNoConnection;
        return static_cast<int>(FFtp->Flush(data, DestName, false));
    };
    // Unless an earlier step failed, uploads data and reads it back for verification when asked;
    // fileSize < 0: the size of data.
    auto uploadAndVerify = [&](int result, TStream& data, int64_t fileSize) {
        if (!result) {
            result = upload(data);
            FFileSize = fileSize < 0 ? data.GetSize() : fileSize;
        }
        if (IsCancelled()) {
            Sleep(1000);
            return static_cast<int>(UserBreak);
        }
        if (!result && FVerify)
            result = VerifyUpload(data);
        return result;
    };
    if (FCompress) {
        DoProgress(acCompress, false, -size);
        err = CreateTempStream(size, LargeThreshold, "gzip.tmp", target, targetName);
        temps.Add(targetName);
        if (err)
            return err;
        bool encrypted = FCrypting != nullptr;
        err = WriteGzHeader(target.get(), FName, encrypted ? FCrypting->KeyMode() : -1, unixTime);
        int64_t bodyStart = target->GetPosition();
        if (!err && encrypted) {
            std::unique_ptr<TStream> deflated;
            std::string deflatedName;
            err = CreateTempStream(size, LargeThreshold, "encrypt.tmp", deflated, deflatedName);
            temps.Add(deflatedName);
            if (!err)
                err = DeflateStream(sSource.get(), deflated.get(), false);
            if (!err && size != UTotal)
                err = Read;
            if (!err) {
                DoProgress(acEncrypt, false, -deflated->GetSize());
                deflated->SetPosition(0);
                TOpResult r =
                    FCrypting->EncryptStreamEx(*deflated, *target, false, [this] { return IsCancelled(); });
                err = r == orOk ? 0 : r == orUserBreak ? UserBreak : Encrypt;
            }
            FCrc = 0;
        } else if (!err) {
            err = DeflateStream(sSource.get(), target.get(), false);
            if (!err && size != UTotal)
                err = Read;
        }
        if (!err) {
            CTotal = target->GetPosition() - bodyStart;
            err = WriteGzTrailer(target.get(), encrypted ? 0 : FCrc);
        }
        return uploadAndVerify(err, *target, -1);
    }
    if (FCrypting) {
        DoProgress(acEncrypt, false, -size);
        err = CreateTempStream(size, LargeThreshold, "encrypt.tmp", target, targetName);
        temps.Add(targetName);
        if (err)
            return err;
        uint8_t header[10] = {'Q', 'Z', 'E', static_cast<uint8_t>(0x43 + 8 * FCrypting->KeyMode())};
        for (int i = 0; i < 4; ++i)
            header[4 + i] = static_cast<uint8_t>(unixTime >> (8 * i));
        header[8] = static_cast<uint8_t>(SourceFileData.FileAttr & 0xFF);
        header[9] = static_cast<uint8_t>((SourceFileData.FileAttr >> 8) & 0xFF);
        try {
            target->WriteBuffer(header, 10);
        } catch (const Exception& e) {
            FSysErrMsg = e.Message();
            err = Write;
        }
        if (!err) {
            TOpResult r =
                FCrypting->EncryptStreamEx(*sSource, *target, false, [this] { return IsCancelled(); });
            err = r == orOk ? 0 : r == orUserBreak ? UserBreak : Encrypt;
        }
        return uploadAndVerify(err, *target, -1);
    }
    return uploadAndVerify(0, *sSource, size);
}

int TWriteFtpThread::VerifyUpload(TStream& data)
{
    int64_t size = data.GetSize();
    DoProgress(acVerify, false, -size);
    std::unique_ptr<TStream> copy;
    std::string copyName;
    int err = CreateTempStream(size, SmallThreshold, "compare.tmp", copy, copyName);
    TTempFiles temps;
    temps.Add(copyName);
    if (err)
        return err;
    DoProgress(acFtpRead, false, -size);
    err = static_cast<int>(FFtp->Fill(DestName, *copy));
    if (err)
        return err;
    data.SetPosition(0);
    copy->SetPosition(0);
    err = CompareStreams(&data, copy.get(), true);
    copy.reset();
    return err;
}

// --- TReadFtpThread

TReadFtpThread::TReadFtpThread(TExtFtp* AFtp, const std::string& ASourceName, const std::string& ADestName,
                               int64_t AFileSize, TEncryption* AEncryption, bool ACompress, bool AZipCompress,
                               bool ASuspend, int ABufSize)
    : TGUnZipThread(ASourceName, ADestName, AEncryption, ASuspend, ABufSize), FFtp(AFtp),
      FZipCompress(AZipCompress), FFileSize(AFileSize)
{
    FCompress = ACompress;
    FOverwrite = true;
    FErrFlag = FZipCompress ? EngineOperation::Zip
               : FCompress  ? EngineOperation::Gunzip
                            : EngineOperation::Copy;
    HookWork(FFtp, [this](TWorkMode mode, int64_t count) {
        if (mode == wmRead)
            DoProgress(acFtpRead, true, count);
    });
}

TReadFtpThread::~TReadFtpThread()
{
    ReleaseFtpWorker(*this, FFtp, FAbandoned);
}

void TReadFtpThread::CancelThread()
{
    TCopyThread::CancelThread();
    AbortFtpWorker(*this, FFtp, FAbandoned, 0);
}

void TReadFtpThread::Execute()
{
    RunTransform([this] {
        int err = Run();
        ReleaseStreams();
        if (!err)
            err = CommitDest();
        return err;
    });
}

int TReadFtpThread::Download(int64_t threshold, const char* tmpName, std::unique_ptr<TStream>& stream,
                             std::string& fileName)
{
    int err = CreateTempStream(FFileSize, threshold, tmpName, stream, fileName);
    if (err)
        return err;
    DoProgress(acFtpRead, false, -FFileSize);
    err = static_cast<int>(FFtp->Fill(SourceName, *stream));
    stream->SetPosition(0);
    return err;
}

int TReadFtpThread::RestoreGz(TStream* dest, int64_t restoreThreshold, std::unique_ptr<TStream>* restore,
                              std::string* restoreName)
{
    std::string name;
    int keyMode = -1;
    int64_t cSize = 0, uSize = 0;
    int err = ReadGzHeader(*sSource, name, FModTime, keyMode, cSize, uSize, &FSizesStored);
    if (err)
        return err;
    if (restore) {
        err = CreateTempStream(uSize, restoreThreshold, "unzip.tmp", *restore, *restoreName);
        if (err)
            return err;
        dest = restore->get();
    }
    if (keyMode < 0) {
        DoProgress(acUnCompress, false, -uSize);
        err = InflateGzBody(sSource.get(), dest, true);
        return err ? err : CheckGzTrailer(uSize);
    }
    if (!FCrypting)
        return Decrypt;
    int64_t size = sSource->GetSize();
    DoProgress(acDecrypt, false, -size);
    FCrypting->SetKeyMode(keyMode);
    int64_t bodyLength = size - sSource->GetPosition() - 8;
    std::unique_ptr<TStream> temp;
    std::string tempName;
    err = CreateTempStream(FFileSize, SmallThreshold, "encrypt.tmp", temp, tempName);
    TTempFiles temps;
    temps.Add(tempName);
    if (err)
        return err;
    TOpResult r =
        FCrypting->DecryptStreamEx(*sSource, temp.get(), bodyLength, true, [this] { return IsCancelled(); });
    if (r != orOk)
        return r == orUserBreak ? UserBreak : Decrypt;
    DoProgress(acUnCompress, false, -uSize);
    temp->SetPosition(0);
    err = InflateStream(temp.get(), dest, false, temp->GetSize());
    if (!err && UTotal != uSize)
        err = GzTrailer;
    return err;
}

int TReadFtpThread::Run()
{
    if (!FFtp)
        return FtpNoConnection;
    if (DestName.empty())
        return Create;
    int err = CreateDest();
    if (err)
        return err;
    TTempFiles temps;
    if (FZipCompress || FCompress) {
        std::unique_ptr<TStream> download;
        std::string downloadName;
        err = Download(SmallThreshold, "gzip.tmp", download, downloadName);
        temps.Add(downloadName);
        if (err)
            return err;
        sSource = std::move(download);
        if (FZipCompress)
            return ExtractSingleEntry(sSource.get(), sDest.get(), FModTime);
        return RestoreGz(sDest.get(), 0, nullptr, nullptr);
    }
    if (FCrypting) {
        std::unique_ptr<TStream> download;
        std::string downloadName;
        err = Download(LargeThreshold, "encrypt.tmp", download, downloadName);
        temps.Add(downloadName);
        if (err)
            return err;
        sSource = std::move(download);
        DoProgress(acDecrypt, false, -sSource->GetSize());
        err = ReadEncFileHeader(sSource.get());
        if (err)
            return err;
        int64_t rest = sSource->GetSize() - sSource->GetPosition();
        TOpResult r =
            FCrypting->DecryptStreamEx(*sSource, sDest.get(), rest, true, [this] { return IsCancelled(); });
        if (r == orOk && FEncHeader.UnixTime != 0)
            FModTime = FEncHeader.UnixTime;
        err = r == orOk ? 0 : r == orUserBreak ? UserBreak : Decrypt;
        if (!err && IsCancelled())
            err = UserBreak;
        return err;
    }
    DoProgress(acFtpRead, false, -FFileSize);
    err = static_cast<int>(FFtp->Fill(SourceName, *sDest));
    if (IsCancelled()) {
        Sleep(1000);
        return UserBreak;
    }
    return err;
}

// --- TCompareFtpThread

void TCompareFtpThread::Execute()
{
    RunTransform([this] {
        int err = Run();
        ReleaseStreams();
        return err;
    });
}

int TCompareFtpThread::Run()
{
    if (!FFtp)
        return FtpNoConnection;
    TFileData local;
    if (!GetFileData(DestName, local))
        return NotFound;
    try {
        sDest = OpenReadStream(DestName);
    } catch (const Exception& e) {
        FSysErrMsg = e.Message();
        return Create;
    }
    TTempFiles temps;
    std::unique_ptr<TStream> restore;
    std::string restoreName;
    int err = 0;
    if (FZipCompress || FCompress) {
        std::unique_ptr<TStream> download;
        std::string downloadName;
        err = Download(SmallThreshold, "gzip.tmp", download, downloadName);
        temps.Add(downloadName);
        if (err)
            return err;
        sSource = std::move(download);
        if (FZipCompress) {
            err = CreateTempStream(local.FileSize, SmallThreshold, "unzip.tmp", restore, restoreName);
            temps.Add(restoreName);
            if (!err)
                err = ExtractSingleEntry(sSource.get(), restore.get(), FModTime);
        } else {
            err = RestoreGz(nullptr, SmallThreshold, &restore, &restoreName);
            temps.Add(restoreName);
        }
    } else if (FCrypting) {
        std::unique_ptr<TStream> download;
        std::string downloadName;
        err = Download(LargeThreshold, "encrypt.tmp", download, downloadName);
        temps.Add(downloadName);
        if (err)
            return err;
        sSource = std::move(download);
        DoProgress(acDecrypt, false, -sSource->GetSize());
        err = ReadEncFileHeader(sSource.get());
        if (!err) {
            err = CreateTempStream(FFileSize, LargeThreshold, "compare.tmp", restore, restoreName);
            temps.Add(restoreName);
        }
        if (!err) {
            int64_t rest = sSource->GetSize() - sSource->GetPosition();
            TOpResult r = FCrypting->DecryptStreamEx(*sSource, restore.get(), rest, true,
                                                     [this] { return IsCancelled(); });
            err = r == orOk ? 0 : r == orUserBreak ? UserBreak : Decrypt;
        }
        if (!err && IsCancelled()) {
            Sleep(1000);
            err = UserBreak;
        }
    } else {
        err = CreateTempStream(FFileSize, LargeThreshold, "compare.tmp", restore, restoreName);
        temps.Add(restoreName);
        if (!err) {
            DoProgress(acFtpRead, false, -FFileSize);
            err = static_cast<int>(FFtp->Fill(SourceName, *restore));
        }
        if (!err && IsCancelled()) {
            Sleep(1000);
            err = UserBreak;
        }
    }
    if (!err) {
        sDest->SetPosition(0);
        restore->SetPosition(0);
        err = CompareStreams(sDest.get(), restore.get(), true);
    }
    restore.reset();
    return err;
}
