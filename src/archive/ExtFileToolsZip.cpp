#include "archive/ExtFileToolsZip.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "archive/ExtFileToolsZipThreads.h"
#include "platform/ErrorCodes.h"
#include "rtl/Gettext.h"
#include "rtl/Thread.h"

using namespace ZipUtil;

namespace {

struct TNamePair
{
    uint8_t From;
    uint8_t To;
};

constexpr TNamePair AnsiToOemPairs[] = {
    {0xA1, 0xAD}, {0xA2, 0x9B}, {0xA3, 0x9C}, {0xA5, 0x9D}, {0xA7, 0x15}, {0xAB, 0xAE}, {0xAC, 0xAA},
    {0xB0, 0xF8}, {0xB1, 0xF1}, {0xB2, 0xFD}, {0xB5, 0xE6}, {0xB6, 0x14}, {0xBB, 0xAF}, {0xBC, 0xAC},
    {0xBD, 0xAB}, {0xBF, 0xA8}, {0xC4, 0x8E}, {0xC5, 0x8F}, {0xC6, 0x92}, {0xC7, 0x80}, {0xC9, 0x90},
    {0xD1, 0xA5}, {0xD6, 0x99}, {0xDC, 0x9A}, {0xDF, 0xE1}, {0xE0, 0x85}, {0xE2, 0x83}, {0xE4, 0x84},
    {0xE5, 0x86}, {0xE6, 0x91}, {0xE7, 0x87}, {0xE8, 0x8A}, {0xE9, 0x82}, {0xEA, 0x88}, {0xEB, 0x89},
    {0xEC, 0x8D}, {0xED, 0xA1}, {0xEE, 0x8C}, {0xEF, 0x8B}, {0xF1, 0xA4}, {0xF2, 0x95}, {0xF3, 0xA2},
    {0xF4, 0x93}, {0xF6, 0x94}, {0xF7, 0xF6}, {0xF9, 0x97}, {0xFA, 0xA3}, {0xFB, 0x96}, {0xFC, 0x81},
    {0xFF, 0x98}};

constexpr TNamePair OemToAnsiPairs[] = {
    {0x80, 0xC7}, {0x81, 0xFC}, {0x82, 0xE9}, {0x83, 0xE2}, {0x84, 0xE4}, {0x85, 0xE0}, {0x86, 0xE5},
    {0x87, 0xE7}, {0x88, 0xEA}, {0x89, 0xEB}, {0x8A, 0xE8}, {0x8B, 0xEF}, {0x8C, 0xEE}, {0x8D, 0xEC},
    {0x8E, 0xC4}, {0x8F, 0xC5}, {0x90, 0xC9}, {0x91, 0xE6}, {0x92, 0xC6}, {0x93, 0xF4}, {0x94, 0xF6},
    {0x95, 0xF2}, {0x96, 0xFB}, {0x97, 0xF9}, {0x98, 0xFF}, {0x99, 0xD6}, {0x9A, 0xDC}, {0x9B, 0xA2},
    {0x9C, 0xA3}, {0x9D, 0xA5}, {0xA0, 0xE1}, {0xA1, 0xED}, {0xA2, 0xF3}, {0xA3, 0xFA}, {0xA4, 0xF1},
    {0xA5, 0xD1}, {0xA8, 0xBF}, {0xAA, 0xAC}, {0xAB, 0xBD}, {0xAC, 0xBC}, {0xAD, 0xA1}, {0xAE, 0xAB},
    {0xAF, 0xBB}, {0xB3, 0xA6}, {0xE1, 0xDF}, {0xE6, 0xB5}, {0xF1, 0xB1}, {0xF4, 0xB6}, {0xF5, 0xA7},
    {0xF6, 0xF7}, {0xF8, 0xB0}, {0xFA, 0xB7}, {0xFD, 0xB2}, {0xFF, 0xA0}};

std::array<uint8_t, 128> MakeTable(const TNamePair* pairs, size_t count, uint8_t fill)
{
    std::array<uint8_t, 128> t{};
    t.fill(fill);
    for (size_t i = 0; i < count; ++i)
        t[pairs[i].From - 0x80u] = pairs[i].To;
    return t;
}

const std::array<uint8_t, 128>& AnsiToOemTable()
{
    static const auto t = MakeTable(AnsiToOemPairs, std::size(AnsiToOemPairs), 0x20);
    return t;
}

const std::array<uint8_t, 128>& OemToAnsiTable()
{
    static const auto t = MakeTable(OemToAnsiPairs, std::size(OemToAnsiPairs), 0xD7);
    return t;
}

// Decodes one UTF-8 sequence; -1 when it is not valid.
int32_t NextCodePoint(const std::string& s, size_t& i)
{
    auto c = static_cast<uint8_t>(s[i]);
    int len = c < 0x80 ? 1 : (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 0;
    if (len == 0 || i + static_cast<size_t>(len) > s.size())
        return -1;
    int32_t cp = len == 1 ? c : len == 2 ? (c & 0x1F) : len == 3 ? (c & 0x0F) : (c & 0x07);
    for (int k = 1; k < len; ++k) {
        auto cc = static_cast<uint8_t>(s[i + static_cast<size_t>(k)]);
        if ((cc & 0xC0) != 0x80)
            return -1;
        cp = (cp << 6) | (cc & 0x3F);
    }
    if ((len == 2 && cp < 0x80) || (len == 3 && cp < 0x800) || (len == 4 && cp < 0x10000))
        return -1;
    i += static_cast<size_t>(len);
    return cp;
}

std::atomic<int> TempCounter{0};

} // namespace

TZipLimits& ZipLimits()
{
    static TZipLimits limits;
    return limits;
}

bool Utf8ToLatin1(const std::string& utf8, std::string& latin1)
{
    latin1.clear();
    size_t i = 0;
    while (i < utf8.size()) {
        int32_t cp = NextCodePoint(utf8, i);
        if (cp < 0 || cp > 0xFF)
            return false;
        latin1 += static_cast<char>(cp);
    }
    return true;
}

std::string Latin1ToUtf8(const std::string& latin1)
{
    std::string r;
    r.reserve(latin1.size());
    for (char ch : latin1) {
        auto c = static_cast<uint8_t>(ch);
        if (c < 0x80) {
            r += ch;
        } else {
            r += static_cast<char>(0xC0 | (c >> 6));
            r += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return r;
}

bool IsOemName(const std::string& utf8Name)
{
    std::string latin1;
    if (!Utf8ToLatin1(utf8Name, latin1))
        return false;
    const auto& t = AnsiToOemTable();
    return std::all_of(latin1.begin(), latin1.end(), [&t](char ch) {
        auto c = static_cast<uint8_t>(ch);
        return c < 0x80 || t[c - 0x80u] >= 33;
    });
}

std::string AnsiToOemName(const std::string& ansiBytes)
{
    std::string r = ansiBytes;
    const auto& t = AnsiToOemTable();
    for (char& ch : r) {
        auto c = static_cast<uint8_t>(ch);
        if (c >= 0x80)
            ch = static_cast<char>(t[c - 0x80u]);
    }
    return r;
}

std::string OemToAnsiName(const std::string& oemBytes)
{
    std::string r = oemBytes;
    const auto& t = OemToAnsiTable();
    for (char& ch : r) {
        auto c = static_cast<uint8_t>(ch);
        if (c >= 0x80)
            ch = static_cast<char>(t[c - 0x80u]);
        else if (c == 0x15)
            ch = static_cast<char>(0xA7);
        else if (c == 0x14)
            ch = static_cast<char>(0xB6);
    }
    return r;
}

std::string GetZipSegmentName(const std::string& zipName, int index)
{
    size_t slash = zipName.find_last_of('/');
    size_t dot = zipName.find_last_of('.');
    std::string base = zipName;
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash + 1))
        base = zipName.substr(0, dot);
    char num[16];
    std::snprintf(num, sizeof num, "%02d", index + 1);
    return base + ".z" + num;
}

bool ReadZipLocalHeader(TStream& stream, TZipFileInfo& info)
{
    try {
        uint8_t h[30];
        if (!ReadFull(stream, h, 30) || GetU32(h) != ZipLocalSig)
            return false;
        info = TZipFileInfo();
        info.Flag = GetU16(h + 6);
        info.Method = GetU16(h + 8);
        info.TimeStamp = GetU32(h + 10);
        info.Crc = GetU32(h + 14);
        info.CSize = GetU32(h + 18);
        info.USize = GetU32(h + 22);
        uint16_t nameLen = GetU16(h + 26);
        uint16_t extraLen = GetU16(h + 28);
        std::string name(nameLen, '\0');
        if (nameLen > 0 && !ReadFull(stream, name.data(), nameLen))
            return false;
        info.Filename = (info.Flag & 0x800) ? name : Latin1ToUtf8(OemToAnsiName(name));
        std::vector<uint8_t> extra(extraLen);
        if (extraLen > 0 && !ReadFull(stream, extra.data(), extraLen))
            return false;
        size_t p = 0;
        while (p + 4 <= extra.size()) {
            uint16_t id = GetU16(&extra[p]);
            size_t size = GetU16(&extra[p + 2]);
            p += 4;
            size_t end = std::min(extra.size(), p + size);
            if (id == 0x0001) {
                size_t q = p;
                if (GetU32(h + 22) == 0xFFFFFFFF && q + 8 <= end) {
                    info.USize = static_cast<int64_t>(GetU64(&extra[q]));
                    q += 8;
                }
                if (GetU32(h + 18) == 0xFFFFFFFF && q + 8 <= end)
                    info.CSize = static_cast<int64_t>(GetU64(&extra[q]));
            } else if (id == 0x9901 && end - p >= 7) {
                info.EncVersion = GetU16(&extra[p]);
                info.KeyMode = extra[p + 4];
                info.EncMethod = GetU16(&extra[p + 5]);
            }
            p = end;
        }
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

// --- TPkHeader

TPkHeader::TPkHeader(RawByteString fn, TByteBuffer eb, uint32_t ec, uint16_t al, uint32_t ts, uint32_t chk,
                     uint16_t aa, uint16_t av, uint16_t af, uint16_t am, uint16_t ev, uint16_t ed,
                     uint16_t em, uint16_t sm, int64_t ofs, int64_t cSz, int64_t uSz)
    : FName(std::move(fn)), EBuffer(std::move(eb)), ErrCode(ec), TimeStamp(ts), CRC(chk), PkVersion(av),
      GpFlag(af), Attr(aa), CompMethod(am), DirLength(al), Segment(sm), EncMode(ed), EncVers(ev), EncMeth(em),
      Offset(ofs), CSize(cSz), USize(uSz)
{
    Derive();
}

TPkHeader::TPkHeader(const TPkHeader& a, int64_t ofs)
    : FName(a.FName), ErrCode(a.ErrCode), TimeStamp(a.TimeStamp), CRC(a.CRC), PkVersion(a.PkVersion),
      GpFlag(a.GpFlag), Attr(a.Attr), CompMethod(a.CompMethod), Tag(a.Tag), DirLength(a.DirLength),
      Segment(a.Segment), EncMode(a.EncMode), EncVers(a.EncVers), EncMeth(a.EncMeth), Offset(ofs),
      CSize(a.CSize), USize(a.USize)
{
    Derive();
}

void TPkHeader::Derive()
{
    Tag = 0;
    IsDir = CSize == 0 && USize == 0;
    int64_t lim = ZipLimits().Max32;
    Zip64 = Offset > lim || CSize > lim || USize > lim;
}

// --- EZipError

EZipError::EZipError(const std::string& errString, int errCode, std::string aSysErrMsg)
    : EInOutError(errString, errCode | 0x4000), ZipError(errCode | 0x4000), SysErrorMsg(std::move(aSysErrMsg))
{
}

// --- TZipFileList

int TZipFileList::IndexOf(const std::string& name) const
{
    auto lower = [](std::string s) {
        for (char& c : s)
            if (c >= 'A' && c <= 'Z')
                c = static_cast<char>(c - 'A' + 'a');
        return s;
    };
    std::string key = lower(name);
    for (size_t i = 0; i < FItems.size(); ++i)
        if (lower(FItems[i].first) == key)
            return static_cast<int>(i);
    return -1;
}

void TZipFileList::Add(std::string name, std::unique_ptr<TPkHeader> header)
{
    FItems.emplace_back(std::move(name), std::move(header));
}

void TZipFileList::Delete(int i)
{
    FItems.erase(FItems.begin() + i);
}

// --- TZip

TZip::TZip(const std::string& zipName, const std::string& password, int keyMode, int bufSize, uint16_t mode)
    : FBufferSize(bufSize > 0 ? bufSize : 0x80000), fZipTmpDir(TempDir()), ZName(zipName)
{
    FStream = OpenFileStream(zipName, mode);
    InitEncryption(password, keyMode);
}

TZip::TZip(std::unique_ptr<TStream> stream, const std::string& password, int keyMode, int bufSize)
    : FBufferSize(bufSize > 0 ? bufSize : 0x80000), FStream(std::move(stream)), fZipTmpDir(TempDir())
{
    InitEncryption(password, keyMode);
}

TZip::~TZip()
{
    try {
        FStream.reset();
    } catch (...) {
    }
}

void TZip::CloseStream()
{
    try {
        FStream.reset();
    } catch (...) {
    }
}

void TZip::InitEncryption(const std::string& password, int keyMode)
{
    FEncryption.reset();
    FPassword = password.substr(0, std::min<size_t>(password.size(), 128));
    FEncrypt = !password.empty();
    FKeyMode = keyMode;
    if (FEncrypt) {
        FEncryption = CreateZipCipher(FPassword, keyMode, FBufferSize);
        if (!FEncryption)
            throw EZipError(_("Encryption failed"), 0x10A, "AES encryption is not available");
        FKeyMode = FEncryption->KeyMode();
        PkExtraCrypt.Mode = static_cast<uint8_t>(FKeyMode);
    }
}

std::unique_ptr<TZipCipher> TZip::MakeCipher(int keyMode) const
{
    if (!FEncrypt)
        return nullptr;
    return CreateZipCipher(FPassword, keyMode, FBufferSize);
}

int64_t TZip::FilePosition()
{
    return FStream ? FStream->GetPosition() : 0;
}

void TZip::SetFilePosition(int64_t pos)
{
    if (FStream)
        FStream->SetPosition(pos);
}

void TZip::CopyToZip(TZip& aZip, int64_t sLength)
{
    std::string msg;
    if (FStream && aZip.FStream)
        CopyStreamPart(*FStream, *aZip.FStream, msg, false, sLength);
}

bool TZip::EncryptEntryName(const RawByteString& name, TByteBuffer& buffer)
{
    buffer.clear();
    if (name.empty() || !FEncryption || name.size() > 0xFFFF)
        return false;
    std::string plain;
    Append16(plain, static_cast<uint16_t>(name.size()));
    plain += name;
    for (size_t i = name.size(); i < 31; ++i)
        plain += static_cast<char>(33 + std::rand() % 64);
    TMemoryStream out;
    if (!FEncryption->WriteHeader(out))
        return false;
    std::vector<uint8_t> data(plain.begin(), plain.end());
    FEncryption->EncryptBlock(data.data(), data.size());
    out.Write(data.data(), static_cast<int64_t>(data.size()));
    if (!FEncryption->WriteTrailer(out))
        return false;
    buffer = out.Bytes();
    return true;
}

bool TZip::DecryptEntryName(const TByteBuffer& buffer, RawByteString& name)
{
    if (name.empty() || !FEncryption)
        return false;
    int overhead = FEncryption->HeaderSize() + 10;
    if (static_cast<int>(buffer.size()) < overhead + 2)
        return false;
    TMemoryStream in(std::string(buffer.begin(), buffer.end()));
    if (!FEncryption->ReadHeader(in))
        return false;
    std::vector<uint8_t> data(buffer.size() - static_cast<size_t>(overhead));
    if (!ReadFull(in, data.data(), static_cast<int64_t>(data.size())))
        return false;
    FEncryption->DecryptBlock(data.data(), data.size());
    if (!FEncryption->ReadTrailer(in))
        return false;
    size_t len = GetU16(data.data());
    if (len + 2 > data.size())
        return false;
    name.assign(reinterpret_cast<const char*>(data.data()) + 2, len);
    return true;
}

void TZip::DoProgress(TFileAction action, int64_t count, bool speedLimit)
{
    if (FOnProgress)
        FOnProgress(action, count, speedLimit);
    TThread::CheckSynchronize(0);
}

int TZip::NextSegmentStream(uint16_t& seg, TSegStream& stream)
{
    stream.Owned.reset();
    stream.Cur = nullptr;
    if (seg >= FNumSeg)
        return 36;
    ++seg;
    if (seg >= FNumSeg) {
        if (!FStream)
            return 36;
        FStream->SetPosition(0);
        stream.Cur = FStream.get();
        return 0;
    }
    try {
        stream.Owned = OpenFileStream(GetZipSegmentName(ZName, seg), fmOpenRead);
        stream.Cur = stream.Owned.get();
        return 0;
    } catch (const std::exception&) {
        return 36;
    }
}

int TZip::OpenSegmentStream(uint16_t seg, TSegStream& stream)
{
    if (seg >= FNumSeg) {
        stream.Owned.reset();
        stream.Cur = FStream.get();
        return 0;
    }
    stream.Owned.reset();
    stream.Cur = nullptr;
    try {
        stream.Owned = OpenFileStream(GetZipSegmentName(ZName, seg), fmOpenRead);
        stream.Cur = stream.Owned.get();
        return 0;
    } catch (const std::exception&) {
        return 36;
    }
}

int TZip::CopyStreamPart(TStream& source, TStream& dest, std::string& sysErrMsg, bool speedLimit,
                         int64_t length)
{
    TZipCopyPartThread worker(source, dest, length, speedLimit, FBufferSize, FOnProgress);
    worker.Start();
    WaitForWorker(worker, false);
    sysErrMsg = worker.SysErrorMsg();
    return worker.ErrorCode() & 0xFF;
}

bool TZip::WaitForWorker(TZipWorker& worker, bool askTimeout)
{
    FWorker = &worker;
    bool completed = true;
    while (!worker.Done()) {
        TThread::CheckSynchronize(0);
        worker.ServeProgress(10);
        if (worker.Done())
            break;
        if (askTimeout && FOnTimeout && FOnTimeout()) {
            // The worker is told to stop; it ends within one buffer.
            worker.SetPaused(false);
            worker.CancelThread();
            worker.DetachProgress();
            completed = false;
            break;
        }
    }
    FWorker = nullptr;
    return completed;
}

std::string TZip::TempFileName(const std::string& name) const
{
    return UniqueTempName(fZipTmpDir, name);
}

// --- ZipUtil

namespace ZipUtil {

void PutU16(uint8_t* p, uint16_t v)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

void PutU32(uint8_t* p, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}

void PutU64(uint8_t* p, uint64_t v)
{
    for (int i = 0; i < 8; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}

uint16_t GetU16(const uint8_t* p)
{
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

uint32_t GetU32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

uint64_t GetU64(const uint8_t* p)
{
    return static_cast<uint64_t>(GetU32(p)) | (static_cast<uint64_t>(GetU32(p + 4)) << 32);
}

void Append16(std::string& s, uint16_t v)
{
    uint8_t b[2];
    PutU16(b, v);
    s.append(reinterpret_cast<char*>(b), 2);
}

void Append32(std::string& s, uint32_t v)
{
    uint8_t b[4];
    PutU32(b, v);
    s.append(reinterpret_cast<char*>(b), 4);
}

void Append64(std::string& s, uint64_t v)
{
    uint8_t b[8];
    PutU64(b, v);
    s.append(reinterpret_cast<char*>(b), 8);
}

bool ReadFull(TStream& s, void* buffer, int64_t count)
{
    auto* p = static_cast<uint8_t*>(buffer);
    while (count > 0) {
        int64_t got = s.Read(p, count);
        if (got <= 0)
            return false;
        p += got;
        count -= got;
    }
    return true;
}

std::string SysErrorText(uint32_t code)
{
    return SafeFormat(_("System error: %s") + " (0x%.8x)", {SystemErrorText(code), code});
}

void WriteFull(TStream& s, const void* buffer, int64_t count)
{
    const auto* p = static_cast<const uint8_t*>(buffer);
    while (count > 0) {
        int64_t put = s.Write(p, count);
        if (put <= 0) {
            uint32_t code = WinError::ERROR_WRITE_FAULT;
            if (auto* hs = dynamic_cast<THandleStream*>(&s); hs && hs->LastErrno() != 0)
                code = ErrnoToWinError(hs->LastErrno());
            else if (put == 0)
                code = WinError::ERROR_DISK_FULL;
            throw EZipStreamError(code, SysErrorText(code));
        }
        p += put;
        count -= put;
    }
}

namespace {
class TOwnedFileStream : public THandleStream
{
public:
    explicit TOwnedFileStream(int fd) : THandleStream(fd, true) {}
};
} // namespace

std::unique_ptr<TStream> OpenFileStream(const std::string& name, uint16_t mode)
{
    int flags = mode == fmCreate ? (O_RDWR | O_CREAT | O_TRUNC) : O_RDONLY;
    int fd = ::open(name.c_str(), flags | O_CLOEXEC, 0666);
    if (fd < 0) {
        uint32_t code = LastWinError();
        throw EZipStreamError(code, SysErrorText(code));
    }
    return std::make_unique<TOwnedFileStream>(fd);
}

std::string TempDir()
{
    const char* t = std::getenv("TMPDIR");
    std::string dir = (t && *t) ? t : "/tmp";
    if (dir.back() != '/')
        dir += '/';
    return dir;
}

uint32_t UnixToLocalDos(int64_t unixTime)
{
    time_t t = static_cast<time_t>(unixTime);
    struct tm lt
    {
    };
    localtime_r(&t, &lt);
    if (lt.tm_year < 80)
        return (1u << 21) | (1u << 16); // 1980-01-01 00:00
    uint32_t date = static_cast<uint32_t>(((lt.tm_year - 80) << 9) | ((lt.tm_mon + 1) << 5) | lt.tm_mday);
    uint32_t time = static_cast<uint32_t>((lt.tm_hour << 11) | (lt.tm_min << 5) | (lt.tm_sec / 2));
    return (date << 16) | time;
}

int64_t LocalDosToUnix(uint32_t dos)
{
    struct tm lt
    {
    };
    uint32_t date = dos >> 16;
    uint32_t time = dos & 0xFFFF;
    lt.tm_year = static_cast<int>((date >> 9) & 0x7F) + 80;
    lt.tm_mon = static_cast<int>((date >> 5) & 0x0F) - 1;
    lt.tm_mday = static_cast<int>(date & 0x1F);
    lt.tm_hour = static_cast<int>((time >> 11) & 0x1F);
    lt.tm_min = static_cast<int>((time >> 5) & 0x3F);
    lt.tm_sec = static_cast<int>((time & 0x1F) * 2);
    lt.tm_isdst = -1;
    return static_cast<int64_t>(mktime(&lt));
}

bool GetFileAttrWin(const std::string& name, uint16_t& attr, bool followLinks)
{
    struct stat st
    {
    };
    if ((followLinks ? ::stat(name.c_str(), &st) : ::lstat(name.c_str(), &st)) != 0)
        return false;
    attr = 0;
    if (S_ISDIR(st.st_mode))
        attr |= 0x10;
    else
        attr |= 0x20;
    if ((st.st_mode & S_IWUSR) == 0)
        attr |= 0x01;
    size_t slash = name.find_last_of('/');
    std::string base = slash == std::string::npos ? name : name.substr(slash + 1);
    if (!base.empty() && base[0] == '.' && base != "." && base != "..")
        attr |= 0x02;
    return true;
}

bool SetFileAttrWin(const std::string& name, uint16_t attr)
{
    struct stat st
    {
    };
    if (::stat(name.c_str(), &st) != 0)
        return false;
    mode_t mode = st.st_mode & 07777;
    mode_t want =
        (attr & 0x01) ? (mode & ~static_cast<mode_t>(S_IWUSR | S_IWGRP | S_IWOTH)) : (mode | S_IWUSR);
    if (want != mode && ::chmod(name.c_str(), want) != 0)
        return false;
    return true;
}

std::string UniqueTempName(const std::string& dir, const std::string& name)
{
    return dir + std::to_string(::getpid()) + "-" + std::to_string(TempCounter.fetch_add(1)) + "-" + name;
}

TTempStream::~TTempStream()
{
    FStream.reset();
    if (!FFileName.empty())
        ::unlink(FFileName.c_str());
}

bool TTempStream::Open(int64_t size, int64_t threshold, const std::string& dir, const std::string& name,
                       std::string& msg)
{
    if (size <= threshold) {
        FStream = std::make_unique<TMemoryStream>();
        return true;
    }
    std::string fn = UniqueTempName(dir, name);
    try {
        FStream = OpenFileStream(fn, fmCreate);
        FFileName = fn;
        return true;
    } catch (const EZipStreamError& e) {
        msg = e.Message();
        return false;
    }
}

std::string SafeEntryName(const std::string& name)
{
    std::string s = name;
    std::replace(s.begin(), s.end(), '\\', '/');
    if (s.size() >= 2 && s[1] == ':' && ((s[0] >= 'A' && s[0] <= 'Z') || (s[0] >= 'a' && s[0] <= 'z')))
        s.erase(0, 2);
    std::string out;
    size_t i = 0;
    while (i <= s.size()) {
        size_t j = s.find('/', i);
        if (j == std::string::npos)
            j = s.size();
        std::string part = s.substr(i, j - i);
        if (!part.empty() && part != "." && part != "..") {
            if (!out.empty())
                out += '/';
            out += part;
        }
        i = j + 1;
    }
    return out;
}

} // namespace ZipUtil
