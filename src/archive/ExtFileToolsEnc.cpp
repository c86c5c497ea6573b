// Encrypted single files (".enc"): a 10-byte header, then the AES framing around the plain data.
#include "archive/ExtFileTools.h"

#include <cstring>
#include <system_error>

#include "archive/EngineErrors.h"
#include "foundation/FileUtilsTimes.h"
#include "platform/ErrorCodes.h"

using namespace EngineError;

namespace {
// The bytes of an encrypted file read, encrypted and written in one go (a buffer step takes several).
constexpr int64_t EncryptSlice = 262144;
// Files from this size on are authenticated on a second thread, over a ring of this many slices.
constexpr int64_t SideMacThreshold = 1048576;
constexpr int64_t SideMacSlots = 4;
} // namespace

bool ReadEncHeader(TStream& stream, int& keyMode, TEncHeader& header)
{
    try {
        header.UnixTime = 0;
        header.Attr = 0xFFFF;
        uint8_t b[10];
        stream.ReadBuffer(b, 4);
        keyMode = (b[3] >> 3) & 3;
        std::memcpy(header.Magic, b, 4);
        if (b[0] != 'Q' || b[1] != 'Z' || b[2] != 'E' || (b[3] & ~0x19) != 0x42) {
            keyMode = 0;
            std::memset(header.Magic, 0, 4);
            stream.Seek(0, soBeginning);
        } else if (b[3] & 1) {
            stream.Seek(0, soBeginning);
            stream.ReadBuffer(b, 10);
            header.UnixTime = static_cast<uint32_t>(b[4]) | (static_cast<uint32_t>(b[5]) << 8) |
                              (static_cast<uint32_t>(b[6]) << 16) | (static_cast<uint32_t>(b[7]) << 24);
            header.Attr = static_cast<uint16_t>(b[8] | (b[9] << 8));
        }
        return true;
    } catch (...) {
        return false;
    }
}

bool GetEncFileInfo(const std::string& fileName, TGzFileInfo& info)
{
    auto stream = OpenReadStream(fileName);
    int keyMode = 0;
    TEncHeader header;
    if (!ReadEncHeader(*stream, keyMode, header) || keyMode == 0)
        return false;
    int headerLength = (header.Magic[3] & 1) ? 10 : 4;
    info.UnixTime = header.UnixTime;
    info.Attr = header.Attr;
    info.USize = stream->GetSize() - headerLength - SaltLength(keyMode) - 2 - 10;
    return true;
}

int TCopyThread::ReadEncFileHeader(TStream* stream)
{
    int keyMode = 0;
    if (!ReadEncHeader(*stream, keyMode, FEncHeader))
        return HeaderRead;
    if (keyMode != 0 && FCrypting)
        FCrypting->SetKeyMode(keyMode);
    return 0;
}

int TCopyThread::EncryptFile()
{
    int err = OpenStreams();
    if (err) {
        ReleaseStreams();
        return err;
    }
    DoProgress(acEncrypt, false, -SourceFileData.FileSize);
    uint8_t header[10] = {'Q', 'Z', 'E', static_cast<uint8_t>(0x43 + 8 * FCrypting->KeyMode())};
    auto unixTime = static_cast<uint32_t>(FileTimeToUnixTime(SourceFileData.TimeStamps.LastWriteTime));
    for (int i = 0; i < 4; ++i)
        header[4 + i] = static_cast<uint8_t>(unixTime >> (8 * i));
    header[8] = static_cast<uint8_t>(SourceFileData.FileAttr & 0xFF);
    header[9] = static_cast<uint8_t>((SourceFileData.FileAttr >> 8) & 0xFF);
    try {
        sDest->WriteBuffer(header, 10);
        if (!FCrypting->WriteHeader(*sDest))
            err = Encrypt;
    } catch (const Exception& e) {
        FSysErrMsg = e.Message();
        err = Encrypt;
    }
    // A buffer step runs slice by slice, so that the data stay in the processor's cache from the read
    // through encryption and authentication to the write. For a large file the authentication code
    // runs on a second core beside the encryption, over a ring of slices in the buffer.
    const int64_t slice = std::min<int64_t>(FBufSize, EncryptSlice);
    const int64_t slots = std::min<int64_t>(SideMacSlots, FBufSize / slice);
    std::unique_ptr<TSideMac> sideMac;
    if (!err && slots >= 2 && SourceFileData.FileSize >= SideMacThreshold) {
        try {
            sideMac = std::make_unique<TSideMac>(*FCrypting);
        } catch (const std::system_error&) {
            // no second thread: encryption and authentication take turns
        }
    }
    int64_t piece = 0;
    bool ended = false;
    while (!err && !ended) {
        WaitIfPaused();
        int64_t step = 0;
        while (!err && !ended && step < static_cast<int64_t>(FBufSize)) {
            uint8_t* data = FBuffer.data();
            if (sideMac) {
                data += (piece++ % slots) * slice;
                sideMac->WaitPending(static_cast<size_t>(slots - 1)); // the slot is free again
            }
            int64_t want = std::min<int64_t>(slice, FBufSize - step);
            int64_t got = ReadChunk(sSource.get(), data, want);
            if (got < 0) {
                err = Read;
                break;
            }
            ended = got < want;
            step += got;
            UTotal += got;
            try {
                if (sideMac) {
                    FCrypting->ApplyKeyStream(data, static_cast<uint32_t>(got));
                    sideMac->Post(data, static_cast<uint32_t>(got));
                } else {
                    FCrypting->EncryptBlock(data, static_cast<uint32_t>(got));
                }
                if (sDest->Write(data, got) != got)
                    err = Encrypt;
            } catch (const EWriteFileStreamError& e) {
                FSysErrMsg = e.Message();
                err = e.ErrorCode() == WinError::ERROR_DISK_FULL ? LowDisk : Encrypt;
            } catch (const Exception& e) {
                FSysErrMsg = e.Message();
                err = Encrypt;
            }
        }
        if (err)
            break;
        DoProgress(acEncrypt, true, UTotal);
        if (FUserBreak)
            err = UserBreak;
    }
    if (sideMac && !sideMac->Finish() && !err)
        err = Encrypt;
    sideMac.reset();
    if (!err && !FCrypting->WriteTrailer(*sDest))
        err = Encrypt;
    if (!err && SourceFileData.FileSize != UTotal)
        err = Read;
    CTotal = UTotal;
    if (err) {
        ReleaseStreams();
        return err;
    }
    return FinishCopy(FCopyStorage, FCopyAltStreams, SourceFileData.FileAttr & 0xFFFF,
                      SourceFileData.TimeStamps, FCopyAcl);
}

int TCopyThread::VerifyDecryption(int64_t length)
{
    TOpResult r = FCrypting->DecryptStreamEx(*sDest, nullptr, length, true, [this] { return IsCancelled(); });
    return r == orOk ? 0 : r == orUserBreak ? UserBreak : Verify;
}

int TCopyThread::VerifyEncryptedFile()
{
    int err = OpenForVerify(DestNameXL);
    if (err)
        return err;
    DoProgress(acVerify, false, -UTotal);
    err = ReadEncFileHeader(sDest.get());
    if (!err)
        err = VerifyDecryption(sDest->GetSize() - sDest->GetPosition());
    sDest.reset();
    return err;
}

int TCopyThread::DecryptFile()
{
    int err = OpenSource();
    if (!err) {
        DoProgress(acDecrypt, true, -SourceFileData.FileSize);
        err = ReadEncFileHeader(sSource.get());
    }
    if (!err) {
        // a wrong password is found by the verifier before the destination is created
        int64_t start = sSource->GetPosition();
        if (!FCrypting->ReadHeader(*sSource))
            err = Decrypt;
        sSource->Seek(start, soBeginning);
    }
    if (!err)
        err = CreateDest();
    if (!err) {
        int64_t rest = sSource->GetSize() - sSource->GetPosition();
        TOpResult r =
            FCrypting->DecryptStreamEx(*sSource, sDest.get(), rest, true, [this] { return IsCancelled(); });
        if (r == orUserBreak)
            err = UserBreak;
        else if (r != orOk)
            err = Decrypt;
    }
    if (err) {
        ReleaseStreams();
        return err;
    }
    TFileTimestamps times = SourceFileData.TimeStamps;
    if (FEncHeader.UnixTime != 0)
        times.LastWriteTime = UnixTimeToFileTime(FEncHeader.UnixTime);
    uint32_t attr = FEncHeader.Attr != 0xFFFF ? FEncHeader.Attr : (SourceFileData.FileAttr & 0xFFFF);
    return FinishCopy(false, FCopyAltStreams, attr, times, FCopyAcl);
}

// --- TDecryptThread

TDecryptThread::TDecryptThread(const std::string& aSourceName, const std::string& aDestName,
                               TEncryption* aEncryption, bool aSuspend, int aBufSize)
    : TCopyThread(aSourceName, aDestName, aSuspend, aBufSize)
{
    AttachEncryption(aEncryption);
    if (aEncryption)
        FErrFlag = 0x6000;
}

void TDecryptThread::Execute()
{
    RunTransform([this] { return FCrypting ? DecryptFile() : PlainCopyFile(); });
}
