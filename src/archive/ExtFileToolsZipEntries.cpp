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
#include <new>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "archive/EngineErrors.h"
#include "archive/ExtFileToolsZipThreads.h"
#include "archive/LittleEndian.h"
#include "foundation/FileUtils.h"
#include "platform/ErrorCodes.h"
#include "rtl/DateTime.h"
#include "rtl/Thread.h"

using namespace ZipUtil;

namespace {

std::atomic<int> TempCounter{0};

} // namespace

TZipLimits& ZipLimits()
{
    static TZipLimits limits;
    return limits;
}

// --- TPkHeader

TPkHeader::TPkHeader(RawByteString fn, TEntryBuffer eb, uint32_t ec, uint16_t al, uint32_t ts, uint32_t chk,
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
      CSize(a.CSize), USize(a.USize), HostSystem(a.HostSystem), UnixMode(a.UnixMode)
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
    : EInOutError(errString, errCode | EngineOperation::Zip), ZipError(errCode | EngineOperation::Zip),
      SysErrorMsg(std::move(aSysErrMsg))
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

TZip::TZip(std::unique_ptr<TStream> stream, const std::string& password, int keyMode, int bufSize)
    : FBufferSize(bufSize > 0 ? bufSize : 0x80000), FStream(std::move(stream)),
      fZipTmpDir(EngineFs::UserTempDir())
{
    InitEncryption(password, keyMode);
}

TZip::~TZip()
{
    CloseStream();
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
    FEncrypt = !password.empty();
    FKeyMode = keyMode;
    if (FEncrypt) {
        FEncryption = std::make_unique<TEncryption>(
            password.substr(0, std::min<size_t>(password.size(), 128)), keyMode, FBufferSize);
        FKeyMode = FEncryption->KeyMode();
        PkExtraCrypt.Mode = static_cast<uint8_t>(FKeyMode);
    }
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

bool TZip::EncryptEntryName(const RawByteString& name, TEntryBuffer& buffer)
{
    buffer.clear();
    if (name.empty() || !FEncryption || name.size() > 0xFFFF)
        return false;
    std::string plain;
    LittleEndian::Put16(plain, static_cast<uint16_t>(name.size()));
    plain += name;
    for (size_t i = name.size(); i < 31; ++i)
        plain += static_cast<char>(33 + std::rand() % 64);
    TMemoryStream out;
    if (!FEncryption->WriteHeader(out))
        return false;
    std::vector<uint8_t> data(plain.begin(), plain.end());
    FEncryption->EncryptBlock(data.data(), static_cast<uint32_t>(data.size()));
    out.Write(data.data(), static_cast<int64_t>(data.size()));
    if (!FEncryption->WriteTrailer(out))
        return false;
    buffer = out.Bytes();
    return true;
}

bool TZip::DecryptEntryName(const TEntryBuffer& buffer, RawByteString& name)
{
    if (name.empty() || !FEncryption)
        return false;
    int overhead = FEncryption->GetHeaderSize() + FEncryption->GetTrailerSize();
    if (static_cast<int>(buffer.size()) < overhead + 2)
        return false;
    TMemoryStream in(std::string(buffer.begin(), buffer.end()));
    if (!FEncryption->ReadHeader(in))
        return false;
    std::vector<uint8_t> data(buffer.size() - static_cast<size_t>(overhead));
    if (!ReadFull(in, data.data(), static_cast<int64_t>(data.size())))
        return false;
    FEncryption->DecryptBlock(data.data(), static_cast<uint32_t>(data.size()));
    if (!FEncryption->ReadTrailer(in))
        return false;
    size_t len = LittleEndian::Get16(data.data());
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

TFileProgressEvent TZip::WorkerProgress()
{
    if (!FOnProgress)
        return nullptr;
    // the workers report through Synchronize: this runs on the caller's thread
    return [this](TFileAction action, int64_t count, bool speedLimit) {
        if (FOnProgress)
            FOnProgress(action, count, speedLimit);
    };
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
    }
    return OpenSegmentStream(seg, stream);
}

int TZip::OpenSegmentStream(uint16_t seg, TSegStream& stream)
{
    stream.Owned.reset();
    stream.Cur = nullptr;
    if (seg >= FNumSeg) {
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

int TZip::CopyStreamPart(TStream& source, TStream& dest, std::string& sysErrMsg, bool speedLimit,
                         int64_t length)
{
    TCopyStreamThread worker(source, dest, length, true, speedLimit, FBufferSize);
    worker.OnProgress = WorkerProgress();
    worker.Start();
    worker.WaitFor();
    sysErrMsg = worker.SysErrorMsg();
    return worker.ErrorCode() & 0xFF;
}

int TZip::RunWorker(TCopyThread& worker, std::string& sysErrMsg)
{
    ZipThread = &worker;
    worker.SetTempDir(fZipTmpDir);
    worker.Start();
    bool givenUp = false;
    // waiting runs the worker's progress reports and ends as soon as the worker does
    while (!worker.WaitFor(10)) {
        if (givenUp || worker.Paused() || !FOnTimeout || !FOnTimeout())
            continue;
        // The worker works on streams of this archive: it is told to stop and ends after its current
        // buffer, before the archive goes on.
        givenUp = true;
        worker.SetPaused(false);
        worker.CancelThread();
    }
    ZipThread = nullptr;
    sysErrMsg = worker.SysErrorMsg();
    if (FCanceled)
        return 128;
    if (givenUp)
        return 17;
    return worker.ErrorCode() & 0xFF;
}

// --- ZipUtil

namespace ZipUtil {

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
            throw EZipStreamError(code, SystemErrorTextOf(code));
        }
        p += put;
        count -= put;
    }
}

std::unique_ptr<TStream> OpenFileStream(const std::string& name, uint16_t mode, uint32_t rights)
{
    if (mode != fmCreate) {
        try {
            return OpenReadStream(name);
        } catch (const EExtFileStreamError& e) {
            throw EZipStreamError(static_cast<uint32_t>(e.ErrorCode), e.Message());
        } catch (const Exception& e) {
            throw EZipStreamError(LastWinError(), e.Message());
        }
    }
    int fd = ::open(name.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, static_cast<mode_t>(rights));
    if (fd < 0) {
        uint32_t code = LastWinError();
        throw EZipStreamError(code, SystemErrorTextOf(code));
    }
    return std::make_unique<THandleStream>(fd, true);
}

uint32_t UnixToLocalDos(int64_t unixTime)
{
    return DateTimeToDosDateTime(UnixToLocalDateTime(unixTime));
}

namespace {

// The memory of a temporary stream: room for the expected size is taken at once and never cleared
// (the data written fill it), so that staging an entry costs one pass over the data and no copies as
// it grows.
class TStagingStream : public TStream
{
public:
    explicit TStagingStream(int64_t expected) { Reserve(expected); }

    int64_t Read(void* buffer, int64_t count) override
    {
        if (count <= 0 || FPosition >= FSize)
            return 0;
        int64_t n = std::min(count, FSize - FPosition);
        std::memcpy(buffer, FData.get() + FPosition, static_cast<size_t>(n));
        FPosition += n;
        return n;
    }
    int64_t Write(const void* buffer, int64_t count) override
    {
        if (count <= 0)
            return 0;
        int64_t end = FPosition + count;
        Reserve(end);
        if (FPosition > FSize) // a gap after a seek past the end reads as zeros
            std::memset(FData.get() + FSize, 0, static_cast<size_t>(FPosition - FSize));
        std::memcpy(FData.get() + FPosition, buffer, static_cast<size_t>(count));
        FPosition = end;
        FSize = std::max(FSize, end);
        return count;
    }
    int64_t Seek(int64_t offset, TSeekOrigin origin) override
    {
        int64_t base = origin == soBeginning ? 0 : origin == soCurrent ? FPosition : FSize;
        if (base + offset < 0)
            return -1;
        FPosition = base + offset;
        return FPosition;
    }
    int64_t GetSize() override { return FSize; }
    void SetSize(int64_t newSize) override
    {
        newSize = std::max<int64_t>(newSize, 0);
        Reserve(newSize);
        if (newSize > FSize)
            std::memset(FData.get() + FSize, 0, static_cast<size_t>(newSize - FSize));
        FSize = newSize;
        FPosition = std::min(FPosition, FSize);
    }

private:
    void Reserve(int64_t size)
    {
        if (size <= FCapacity)
            return;
        auto capacity = static_cast<size_t>(std::max(size, FCapacity + FCapacity / 2));
        TBlock data;
        if (capacity >= HugePage) {
            // large blocks in huge pages where the system offers them: a few faults instead of one
            // for every 4 KiB written
            capacity = (capacity + HugePage - 1) / HugePage * HugePage;
            data.reset(static_cast<uint8_t*>(std::aligned_alloc(HugePage, capacity)));
            if (data)
                ::madvise(data.get(), capacity, MADV_HUGEPAGE);
        } else {
            data.reset(static_cast<uint8_t*>(std::malloc(capacity)));
        }
        if (!data)
            throw std::bad_alloc();
        if (FSize > 0)
            std::memcpy(data.get(), FData.get(), static_cast<size_t>(FSize));
        FData = std::move(data);
        FCapacity = static_cast<int64_t>(capacity);
    }

    static constexpr size_t HugePage = size_t(2) << 20;
    struct TFree
    {
        void operator()(uint8_t* p) const { std::free(p); }
    };
    using TBlock = std::unique_ptr<uint8_t, TFree>;

    TBlock FData;
    int64_t FCapacity = 0;
    int64_t FSize = 0;
    int64_t FPosition = 0;
};

} // namespace

TTempStream::~TTempStream()
{
    FStream.reset();
    if (!FFileName.empty())
        EngineFs::DeleteFile(FFileName);
}

bool TTempStream::Open(int64_t size, int64_t threshold, const std::string& dir, const std::string& name,
                       std::string& msg)
{
    if (size <= threshold) {
        // room for the size and what deflate may add to data that do not compress
        FStream = std::make_unique<TStagingStream>(size + size / 1024 + 1024);
        return true;
    }
    std::string fn =
        dir + std::to_string(::getpid()) + "-" + std::to_string(TempCounter.fetch_add(1)) + "-" + name;
    try {
        // the data of source files: readable by the owner only, also where a stale file had the name
        FStream = OpenFileStream(fn, fmCreate, 0600);
        if (auto* handle = dynamic_cast<THandleStream*>(FStream.get()))
            ::fchmod(handle->Handle(), 0600);
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
