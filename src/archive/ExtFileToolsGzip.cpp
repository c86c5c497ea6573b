// gzip members with the private size and key-mode subfields.
#include "archive/ExtFileTools.h"

#include <cstring>
#include <ctime>

#include "archive/EngineErrors.h"
#include "foundation/FileUtilsTimes.h"
#include "platform/ErrorCodes.h"
#include "rtl/Clock.h"

using namespace EngineError;

namespace {

constexpr int64_t TempFileThreshold = 52428800; // 50 MiB
constexpr int64_t DecryptTempThreshold = 1048576;
constexpr size_t MaxHeaderText = 65536;

void Put16(std::string& s, uint16_t v)
{
    s += static_cast<char>(v & 0xFF);
    s += static_cast<char>(v >> 8);
}

void Put32(std::string& s, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        s += static_cast<char>((v >> (8 * i)) & 0xFF);
}

void Put64(std::string& s, uint64_t v)
{
    for (int i = 0; i < 8; ++i)
        s += static_cast<char>((v >> (8 * i)) & 0xFF);
}

uint16_t Read16(TStream& stream)
{
    uint8_t b[2];
    stream.ReadBuffer(b, 2);
    return static_cast<uint16_t>(b[0] | (b[1] << 8));
}

uint32_t Read32(TStream& stream)
{
    uint8_t b[4];
    stream.ReadBuffer(b, 4);
    return static_cast<uint32_t>(b[0]) | (static_cast<uint32_t>(b[1]) << 8) |
           (static_cast<uint32_t>(b[2]) << 16) | (static_cast<uint32_t>(b[3]) << 24);
}

uint64_t Read64(TStream& stream)
{
    uint64_t low = Read32(stream);
    uint64_t high = Read32(stream);
    return low | (high << 32);
}

// Bytes up to a zero byte; raises when the stream ends first or the text is implausibly long.
std::string ReadZeroTerminated(TStream& stream, bool keep)
{
    std::string text;
    size_t length = 0;
    for (;;) {
        char c;
        stream.ReadBuffer(&c, 1);
        if (c == '\0')
            return text;
        if (++length > MaxHeaderText)
            throw EReadError("Header text too long");
        if (keep)
            text += c;
    }
}

// The write of a header or trailer part: 263 for a short write or a full disk, 261 otherwise.
int WritePart(TStream* stream, const std::string& bytes, std::string& sysErrMsg)
{
    try {
        int64_t put = stream->Write(bytes.data(), static_cast<int64_t>(bytes.size()));
        return put == static_cast<int64_t>(bytes.size()) ? 0 : LowDisk;
    } catch (const EWriteFileStreamError& e) {
        sysErrMsg = e.Message();
        return e.ErrorCode() == WinError::ERROR_DISK_FULL ? LowDisk : Write;
    } catch (const Exception& e) {
        sysErrMsg = e.Message();
        return Write;
    }
}

} // namespace

int ReadGzHeader(TStream& stream, std::string& name, uint32_t& unixTime, int& keyMode, int64_t& cSize,
                 int64_t& uSize, bool* sizesStored)
{
    try {
        uint8_t h[10];
        stream.ReadBuffer(h, 10);
        if (h[0] != 0x1F || h[1] != 0x8B || h[2] != 8)
            return BadHeader;
        uint8_t flags = h[3];
        unixTime = static_cast<uint32_t>(h[4]) | (static_cast<uint32_t>(h[5]) << 8) |
                   (static_cast<uint32_t>(h[6]) << 16) | (static_cast<uint32_t>(h[7]) << 24);
        uint8_t os = h[9];
        cSize = uSize = 0;
        int keyModeValue = 0;
        bool haveSizes = false;
        if (flags & 0x04) {
            int64_t remaining = Read16(stream);
            while (remaining > 2) {
                uint16_t id = Read16(stream);
                remaining -= 2;
                uint16_t length = Read16(stream);
                if (id == 0x0001 && length == 16) {
                    cSize = static_cast<int64_t>(Read64(stream));
                    uSize = static_cast<int64_t>(Read64(stream));
                    haveSizes = true;
                } else if (id == 0x5A51 && length == 2) { // "QZ"
                    keyModeValue = Read16(stream);
                } else {
                    stream.Seek(length, soCurrent);
                }
                remaining -= 2 + static_cast<int64_t>(length);
            }
            if (remaining > 0)
                stream.Seek(remaining, soCurrent);
        }
        std::string rawName;
        if (flags & 0x08)
            rawName = ReadZeroTerminated(stream, true);
        if (flags & 0x10)
            ReadZeroTerminated(stream, false);
        if (flags & 0x02)
            stream.Seek(2, soCurrent);
        keyMode = (flags & 0x20) ? keyModeValue : -1;
        name = os != 0 ? rawName : AnsiToUtf8(rawName);
        int64_t position = stream.GetPosition();
        int64_t size = stream.GetSize();
        if (position > size)
            return HeaderRead;
        if (cSize == 0)
            cSize = size - position - 8;
        if (uSize == 0) {
            stream.Seek(-4, soEnd);
            uSize = Read32(stream);
            stream.Seek(position, soBeginning);
        }
        if (sizesStored)
            *sizesStored = haveSizes;
        return 0;
    } catch (...) {
        return HeaderRead;
    }
}

bool GetGzFileInfo(const std::string& fileName, TGzFileInfo& info)
{
    auto stream = OpenReadStream(fileName);
    info.Count = 1;
    info.Attr = 0xFFFF;
    info.UnixTime = static_cast<uint32_t>(LocalNowAsUnix());
    if (ReadGzHeader(*stream, info.Filename, info.UnixTime, info.EncMode, info.CSize, info.USize) != 0)
        return false;
    info.Encrypted = info.EncMode >= 0;
    info.Attr = static_cast<uint16_t>(EngineFs::GetAttributes(fileName) & 0xFFFF);
    return true;
}

// --- TGZipThread

TGZipThread::TGZipThread(const std::string& aSourceName, const std::string& aDestName,
                         TEncryption* aEncryption, bool aSuspend, int aBufSize)
    : TCopyThread(aSourceName, aDestName, aSuspend, aBufSize), FName(EngineFs::ExtractFileName(aSourceName))
{
    FCompress = true;
    FErrFlag = 0x2000;
    AttachEncryption(aEncryption);
}

void TGZipThread::Execute()
{
    RunTransform([this] { return GZipFile(); });
}

int TGZipThread::WriteGzHeader(TStream* stream, const std::string& name, int keyMode, uint32_t unixTime)
{
    bool ansi = IsAnsiName(name);
    std::string nameBytes = ansi ? Utf8ToAnsi(name) : name;
    std::string header;
    header += '\x1F';
    header += '\x8B';
    header += '\x08';
    header += static_cast<char>(0x04 | (nameBytes.empty() ? 0 : 0x08) | (keyMode >= 0 ? 0x20 : 0));
    Put32(header, unixTime);
    header += '\0';
    header += static_cast<char>(ansi ? 0 : 11);
    Put16(header, keyMode >= 0 ? 26 : 20);
    Put16(header, 1);
    Put16(header, 16);
    Put64(header, 0);
    Put64(header, 0);
    if (keyMode >= 0) {
        header += 'Q';
        header += 'Z';
        Put16(header, 2);
        Put16(header, static_cast<uint16_t>(keyMode));
    }
    if (!nameBytes.empty()) {
        header += nameBytes;
        header += '\0';
    }
    return WritePart(stream, header, FSysErrMsg);
}

int TGZipThread::WriteGzTrailer(TStream* stream, uint32_t crc)
{
    std::string trailer;
    Put32(trailer, crc);
    Put32(trailer, static_cast<uint32_t>(UTotal));
    int err = WritePart(stream, trailer, FSysErrMsg);
    if (err)
        return err;
    try {
        int64_t end = stream->GetPosition();
        std::string sizes;
        Put64(sizes, static_cast<uint64_t>(CTotal));
        Put64(sizes, static_cast<uint64_t>(UTotal));
        stream->Seek(16, soBeginning);
        stream->WriteBuffer(sizes.data(), static_cast<int64_t>(sizes.size()));
        stream->Seek(end, soBeginning);
    } catch (const Exception& e) {
        FSysErrMsg = e.Message();
        return Write;
    }
    return 0;
}

int TGZipThread::GZipFile()
{
    int err = OpenStreams();
    if (err) {
        ReleaseStreams();
        return err;
    }
    bool encrypted = FCrypting != nullptr;
    int keyMode = encrypted ? FCrypting->KeyMode() : -1;
    auto unixTime = static_cast<uint32_t>(FileTimeToUnixTime(SourceFileData.TimeStamps.LastWriteTime));
    err = WriteGzHeader(sDest.get(), FName, keyMode, unixTime);
    int64_t bodyStart = sDest->GetPosition();
    std::unique_ptr<TStream> temp;
    std::string tempName;
    if (!err && encrypted)
        err = CreateTempStream(SourceFileData.FileSize, TempFileThreshold, "encrypt.tmp", temp, tempName);
    if (!err) {
        TStream* target = encrypted ? temp.get() : sDest.get();
        DoProgress(acCompress, false, -SourceFileData.FileSize);
        err = DeflateStream(sSource.get(), target, !encrypted);
        if (!err && SourceFileData.FileSize != UTotal)
            err = Read;
    }
    if (!err && encrypted) {
        DoProgress(acEncrypt, false, -temp->GetSize());
        temp->Seek(0, soBeginning);
        TOpResult r = FCrypting->EncryptStreamEx(*temp, *sDest, true, [this] { return IsCancelled(); });
        if (r == orUserBreak)
            err = UserBreak;
        else if (r != orOk)
            err = Encrypt;
    }
    if (!err) {
        CTotal = sDest->GetPosition() - bodyStart;
        err = WriteGzTrailer(sDest.get(), encrypted ? 0 : FCrc);
    }
    DeleteTempStream(temp, tempName);
    if (err) {
        ReleaseStreams();
        return err;
    }
    return FinishCopy(FCopyStorage, FCopyAltStreams, SourceFileData.FileAttr & 0xFFFF,
                      SourceFileData.TimeStamps, FCopyAcl);
}

int TGZipThread::VerifyGzFile()
{
    uint32_t crc = FCrc;
    int err = OpenForVerify(DestNameXL);
    if (err)
        return err;
    std::string name;
    uint32_t unixTime = 0;
    int keyMode = -1;
    int64_t cSize = 0, uSize = 0;
    err = ReadGzHeader(*sDest, name, unixTime, keyMode, cSize, uSize);
    FCrc = 0;
    UTotal = 0;
    if (!err && keyMode < 0) {
        DoProgress(acVerify, false, -uSize);
        err = InflateGzBody(sDest.get(), nullptr, true);
        if (!err && FCrc != crc)
            err = Verify;
    } else if (!err) {
        DoProgress(acVerify, false, -cSize);
        if (!FCrypting) {
            err = Verify;
        } else {
            FCrypting->SetKeyMode(keyMode);
            err = VerifyDecryption(cSize);
        }
    }
    sDest.reset();
    return err;
}

// --- TGUnZipThread

TGUnZipThread::TGUnZipThread(const std::string& aSourceName, const std::string& aDestName,
                             TEncryption* aEncryption, bool aSuspend, int aBufSize)
    : TCopyThread(aSourceName, aDestName, aSuspend, aBufSize)
{
    FErrFlag = 0x3000;
    AttachEncryption(aEncryption);
}

void TGUnZipThread::Execute()
{
    RunTransform([this] { return GUnzipFile(); });
}

int TGUnZipThread::CheckGzTrailer(int64_t uSize)
{
    uint32_t crc, size;
    try {
        crc = Read32(*sSource);
        size = Read32(*sSource);
    } catch (const Exception& e) {
        FSysErrMsg = e.Message();
        return Read;
    }
    if (crc != FCrc || size != static_cast<uint32_t>(uSize))
        return GzTrailer;
    // without the size subfield only the size modulo 2^32 is known
    if (FSizesStored ? uSize != UTotal : static_cast<uint32_t>(UTotal) != size)
        return GzTrailer;
    return 0;
}

int TGUnZipThread::GUnzipFile()
{
    if (int opened = OpenSource())
        return opened;
    std::string name;
    uint32_t unixTime = 0;
    int keyMode = -1;
    int64_t cSize = 0, uSize = 0;
    int err = ReadGzHeader(*sSource, name, unixTime, keyMode, cSize, uSize, &FSizesStored);
    if (!err && keyMode >= 0) {
        // no password or a wrong one is found before the destination is created
        if (!FCrypting) {
            err = Decrypt;
        } else {
            FCrypting->SetKeyMode(keyMode);
            int64_t start = sSource->GetPosition();
            if (!FCrypting->ReadHeader(*sSource))
                err = Decrypt;
            sSource->Seek(start, soBeginning);
        }
    }
    if (!err)
        err = CreateDest();
    if (!err && keyMode < 0) {
        DoProgress(acUnCompress, false, -uSize);
        err = InflateGzBody(sSource.get(), sDest.get(), true);
        if (!err)
            err = CheckGzTrailer(uSize);
    } else if (!err) {
        int64_t sourceSize = sSource->GetSize();
        DoProgress(acDecrypt, false, -sourceSize);
        int64_t bodyLength = sourceSize - sSource->GetPosition() - 8;
        std::unique_ptr<TStream> temp;
        std::string tempName;
        err = CreateTempStream(sourceSize, DecryptTempThreshold, "encrypt.tmp", temp, tempName);
        if (!err) {
            TOpResult r = FCrypting->DecryptStreamEx(*sSource, temp.get(), bodyLength, true,
                                                     [this] { return IsCancelled(); });
            if (r == orUserBreak)
                err = UserBreak;
            else if (r != orOk)
                err = Decrypt;
        }
        if (!err) {
            DoProgress(acUnCompress, false, -bodyLength);
            temp->Seek(0, soBeginning);
            err = InflateStream(temp.get(), sDest.get(), false, temp->GetSize());
            if (!err && UTotal != uSize)
                err = GzTrailer; // the decrypted body must give the stored size
        }
        DeleteTempStream(temp, tempName);
    }
    if (err) {
        ReleaseStreams();
        return err;
    }
    TFileTimestamps times = SourceFileData.TimeStamps;
    if (unixTime != 0)
        times.LastWriteTime = UnixTimeToFileTime(static_cast<int32_t>(unixTime));
    return FinishCopy(false, false, SourceFileData.FileAttr & 0xFFFF, times, FCopyAcl);
}
