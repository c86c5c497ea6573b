#include "archive/ExtFileToolsZipWrite.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <dirent.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include "archive/EngineErrors.h"
#include "archive/ExtFileToolsZipThreads.h"
#include "archive/LittleEndian.h"
#include "archive/ZipRecords.h"
#include "platform/ErrorCodes.h"
#include "platform/PosixFiles.h"
#include "rtl/Gettext.h"

using namespace ZipUtil;
using LittleEndian::Put16;
using LittleEndian::Put32;
using LittleEndian::Put64;

namespace {

constexpr int64_t SplitMemLimit = 52428800;

std::string NameField(const TEntryBuffer& buffer)
{
    std::string f;
    Put16(f, 0x9909);
    Put16(f, static_cast<uint16_t>(buffer.size()));
    f.append(buffer.begin(), buffer.end());
    return f;
}

// Entries whose names are not ASCII are marked as made on Unix; their external attributes then carry
// the file type and permission bits too (readers of Unix entries take the mode from there).
void SetEntryHost(TPkHeader& entry, const TZipNameForm& form, uint32_t unixMode)
{
    entry.HostSystem = form.HostSystem;
    entry.UnixMode = form.HostSystem == ZipHostUnix ? unixMode : 0;
}

std::string WithDelimiter(const std::string& dir)
{
    if (dir.empty() || dir.back() == '/')
        return dir;
    return dir + "/";
}

std::string JoinPath(const std::string& a, const std::string& b)
{
    if (a.empty())
        return b;
    return WithDelimiter(a) + b;
}

} // namespace

TZipWrite::TZipWrite(const std::string& zipName, const std::string& basicDirectory, int64_t aMaxSize,
                     const std::string& password, int aKeyMode, int aBufSize)
    : TZip(
          [&]() -> std::unique_ptr<TStream> {
              try {
                  return OpenFileStream(zipName, fmCreate);
              } catch (const EZipStreamError& e) {
                  throw EZipError(SafeFormat(_("Error creating \"%s\""), {zipName}), EngineError::Create,
                                  e.Message());
              }
          }(),
          password, aKeyMode, aBufSize),
      fMaxSize(aMaxSize)
{
    ZName = zipName;
    FBaseDir = WithDelimiter(basicDirectory);
    if (fMaxSize > 0) {
        try {
            std::string marker;
            Put32(marker, ZipSpanSig);
            WriteFull(*FStream, marker.data(), 4);
        } catch (const EZipStreamError& e) {
            throw EZipError(SafeFormat(_("Error creating \"%s\""), {zipName}), EngineError::Create,
                            e.Message());
        }
    }
}

TZipWrite::TZipWrite(const std::string& zipName, const std::string& basicDirectory,
                     const std::string& password, int aKeyMode, int aBufSize)
    : TZipWrite(zipName, basicDirectory, 0, password, aKeyMode, aBufSize)
{
}

TZipWrite::~TZipWrite()
{
    FileList.Clear();
}

void TZipWrite::SetTempDir(const std::string& dir)
{
    fZipTmpDir =
        (!dir.empty() && EngineFs::DirectoryExists(dir)) ? WithDelimiter(dir) : EngineFs::UserTempDir();
}

int TZipWrite::CompressionRatio(int64_t compressed, int64_t size, bool compressed_)
{
    if (!compressed_ || size <= 0)
        return -1;
    double r = std::nearbyint(1000.0 * static_cast<double>(compressed) / static_cast<double>(size));
    if (r >= 1000)
        return -1;
    return static_cast<int>(r);
}

std::string TZipWrite::RelativeName(const std::string& sourceName) const
{
    if (!FBaseDir.empty() && sourceName.compare(0, FBaseDir.size(), FBaseDir) == 0)
        return sourceName.substr(FBaseDir.size());
    if (!FBaseDir.empty() && sourceName + "/" == FBaseDir)
        return "";
    size_t start = sourceName.find_first_not_of('/');
    return start == std::string::npos ? "" : sourceName.substr(start);
}

void TZipWrite::RequireOpen(const std::string& message)
{
    if (!FStream)
        throw EZipError(message, EngineError::Write, SystemErrorTextOf(WinError::ERROR_INVALID_HANDLE));
}

void TZipWrite::CutBack(int64_t offset)
{
    if (!FStream)
        return;
    try {
        FStream->SetSize(offset);
        FStream->SetPosition(offset);
    } catch (...) {
    }
}

bool TZipWrite::CheckSegment(int64_t aSpace)
{
    return fMaxSize > 0 && FStream && FStream->GetPosition() + aSpace > fMaxSize;
}

int TZipWrite::NewSegment()
{
    if (fMaxSize <= 0)
        return 0;
    CloseStream();
    std::string dir = ZName.substr(0, ZName.find_last_of('/') + 1);
    struct statvfs vfs
    {
    };
    if (::statvfs(dir.empty() ? "." : dir.c_str(), &vfs) == 0) {
        auto freeBytes = static_cast<int64_t>(vfs.f_bavail) * static_cast<int64_t>(vfs.f_frsize);
        if (freeBytes <= fMaxSize && FOnFullDisk && FOnFullDisk())
            return 7;
    }
    std::string segName = GetZipSegmentName(ZName, FCurSeg);
    bool ok =
        (::unlink(segName.c_str()) == 0 || errno == ENOENT) && ::rename(ZName.c_str(), segName.c_str()) == 0;
    if (ok) {
        try {
            FStream = OpenFileStream(ZName, fmCreate);
        } catch (const EZipStreamError&) {
            ok = false;
        }
    }
    if (ok)
        ++FCurSeg;
    FNumSeg = FCurSeg;
    return ok ? 0 : 31;
}

void TZipWrite::AddDir(const std::string& dirName)
{
    std::string message = SafeFormat(_("Error adding directory to \"%s\""), {ZName});
    std::string path = dirName;
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    struct stat st
    {
    };
    if (::stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return;
    std::string relName = RelativeName(dirName);
    if (relName.empty())
        return;
    RequireOpen(message);
    TZipNameForm form = ZipNameForm(relName);
    uint16_t flags = form.Flags;
    std::string stored = relName;
    TEntryBuffer eBuffer;
    if (FEncNames && EncryptEntryName(stored, eBuffer)) {
        stored = SafeFormat("%.8X", {FileList.Count() + 1});
        flags |= 0x100;
    }
    uint16_t version = FEncrypt ? 51 : 20;
    uint32_t time = UnixToLocalDos(st.st_mtime);
    std::string extra;
    if (!eBuffer.empty())
        extra = ZipAesField(2, PkExtraCrypt.Mode, 0) + NameField(eBuffer);
    std::string header = ZipLocalHeader(version, flags, 0, time, 0, stored, extra);
    int err = 0;
    std::string sysMsg;
    if (CheckSegment(static_cast<int64_t>(header.size())))
        err = NewSegment();
    int64_t offset = 0;
    if (err == 0) {
        try {
            offset = FStream->GetPosition();
            WriteFull(*FStream, header.data(), static_cast<int64_t>(header.size()));
        } catch (const EZipStreamError& e) {
            err = e.Code == WinError::ERROR_DISK_FULL ? 7 : 5;
            sysMsg = e.Message();
        }
    } else {
        sysMsg = SystemErrorTextOf(LastWinError());
    }
    if (err != 0) {
        FErrorFlag = err == 5 || err == 7;
        throw EZipError(message, err + EngineError::SeverityError, sysMsg);
    }
    int pathAttr = PosixFileGetAttr(path, true);
    auto attr = static_cast<uint16_t>(pathAttr >= 0 ? pathAttr : faDirectory);
    bool enc = !eBuffer.empty();
    auto entry = std::make_unique<TPkHeader>(stored, eBuffer, 0, 0, time, 0, attr, version, flags, 0,
                                             enc ? 2 : 0, enc ? PkExtraCrypt.Mode : 0, 0,
                                             static_cast<uint16_t>(FCurSeg), offset, 0, 0);
    SetEntryHost(*entry, form, S_IFDIR | (st.st_mode & 0777));
    FileList.Add(relName, std::move(entry));
}

std::string TZipWrite::RemLastDir()
{
    if (FileList.Count() == 0 || !FStream)
        return "";
    int last = FileList.Count() - 1;
    TPkHeader* h = FileList.Objects(last);
    if (!h->IsDir || h->Segment != FCurSeg)
        return "";
    std::string name = FileList.Strings(last);
    CutBack(h->Offset);
    FileList.Delete(last);
    return name;
}

void TZipWrite::AddStream(std::unique_ptr<TStream> aSource, const std::string& aName, bool aCompress)
{
    std::string message = SafeFormat(_("Error adding stream to \"%s\""), {ZName});
    RequireOpen(message);
    TZipNameForm form = ZipNameForm(aName);
    const std::string& stored = aName;
    int64_t size = aSource ? aSource->GetSize() - aSource->GetPosition() : 0;
    uint16_t method = (size > 0 && aCompress) ? 8 : 0;
    uint16_t flags = static_cast<uint16_t>((method == 8 ? 2 : 0) | form.Flags);
    uint32_t time = UnixToLocalDos(static_cast<int64_t>(::time(nullptr)));
    std::string header = ZipLocalHeader(20, flags, method, time, 0, stored, "");
    int64_t offset = FStream->GetPosition();
    int err = 0;
    std::string sysMsg;
    uint32_t crc = 0;
    int64_t cSize = 0, uSize = 0;
    try {
        WriteFull(*FStream, header.data(), static_cast<int64_t>(header.size()));
    } catch (const EZipStreamError& e) {
        err = e.Code == WinError::ERROR_DISK_FULL ? 7 : 5;
        sysMsg = e.Message();
    }
    if (err == 0) {
        TZipWriteThread worker(std::move(aSource), nullptr, FStream.get(), method == 8, false, FBufferSize,
                               WorkerProgress());
        err = RunWorker(worker, sysMsg);
        crc = worker.Crc();
        cSize = worker.WrittenBytes();
        uSize = worker.PlainBytes();
    }
    if (err == 0) {
        try {
            std::string b;
            Put32(b, crc);
            Put32(b, static_cast<uint32_t>(cSize));
            Put32(b, static_cast<uint32_t>(uSize));
            int64_t end = FStream->GetPosition();
            FStream->SetPosition(offset + 14);
            WriteFull(*FStream, b.data(), 12);
            FStream->SetPosition(end);
        } catch (const EZipStreamError& e) {
            err = 5;
            sysMsg = e.Message();
        }
    }
    if (err != 0) {
        CutBack(offset);
        FErrorFlag = err == 5 || err == 7;
        throw EZipError(message, err + EngineError::SeverityError, sysMsg);
    }
    auto entry = std::make_unique<TPkHeader>(stored, TEntryBuffer(), 0, 0, time, crc, 32, 20, flags, method,
                                             0, 0, 0, static_cast<uint16_t>(FCurSeg), offset, cSize, uSize);
    // the program's own data: readable by its owner only
    SetEntryHost(*entry, form, S_IFREG | 0600);
    FileList.Add(aName, std::move(entry));
}

void TZipWrite::AddFile(const std::string& sourceName, const std::string& fileName,
                        const TZipSourceData& fileData, int& aRatio, bool aCompress)
{
    AddFileFrom(sourceName, JoinPath(FBaseDir, fileName), fileData, aRatio, aCompress);
}

void TZipWrite::AddFile(const std::string& sourceName, const std::string& fileName, int& aRatio,
                        bool aCompress)
{
    std::string message = SafeFormat(_("Error adding file to \"%s\""), {ZName});
    struct stat st
    {
    };
    if (::lstat(sourceName.c_str(), &st) != 0) {
        FErrorFlag = false;
        throw EZipError(message, EngineError::NotFound, SystemErrorTextOf(LastWinError()));
    }
    if (::stat(sourceName.c_str(), &st) != 0) {
        FErrorFlag = false;
        throw EZipError(message, EngineError::Read, SystemErrorTextOf(LastWinError()));
    }
    TZipSourceData data;
    data.Size = st.st_size;
    data.MTime = st.st_mtime;
    AddFile(sourceName, fileName, data, aRatio, aCompress);
}

void TZipWrite::AddFile(const std::string& sourceName, const std::string& fileName, bool aCompress)
{
    int ratio = 0;
    AddFile(sourceName, fileName, ratio, aCompress);
}

void TZipWrite::AddFile(const std::string& sourceName, int& aRatio, bool aCompress)
{
    AddFile(sourceName, RelativeName(sourceName), aRatio, aCompress);
}

void TZipWrite::AddFile(const std::string& sourceName, bool aCompress)
{
    int ratio = 0;
    AddFile(sourceName, ratio, aCompress);
}

void TZipWrite::AddFile(const std::string& sourceName, const TZipSourceData& fileData, bool aCompress)
{
    int ratio = 0;
    AddFile(sourceName, RelativeName(sourceName), fileData, ratio, aCompress);
}

void TZipWrite::AddFileFrom(const std::string& sourceName, const std::string& filePath,
                            const TZipSourceData& fileData, int& aRatio, bool aCompress)
{
    std::string message = SafeFormat(_("Error adding file to \"%s\""), {ZName});
    RequireOpen(message);
    const TZipLimits& lim = ZipLimits();
    std::string fileName = RelativeName(filePath);
    // 1. time, size, zip64, AE-2; the size is that of the file as it is now (a link's target, a file
    // that changed since the caller looked at it): the entry holds the whole file
    uint32_t time = UnixToLocalDos(fileData.MTime);
    int64_t size = fileData.Size;
    struct stat st
    {
    };
    bool known = ::stat(sourceName.c_str(), &st) == 0 && S_ISREG(st.st_mode);
    if (known)
        size = st.st_size;
    bool big = size > lim.BigEntry;
    bool small = size < 20;
    // 2. name
    TZipNameForm form = ZipNameForm(fileName);
    uint16_t flags = form.Flags;
    std::string stored = fileName;
    TEntryBuffer eBuffer;
    if (FEncNames && EncryptEntryName(stored, eBuffer)) {
        stored = SafeFormat("%.8X", {FileList.Count() + 1});
        flags |= 0x100;
    }
    // 3. method
    uint16_t version, method;
    uint16_t encVers = 0, encMeth = 0;
    if (FEncrypt) {
        version = 51;
        flags |= 1;
        method = 99;
        aCompress = true;
        encVers = small ? 2 : 1;
        encMeth = size > 0 ? 8 : 0;
    } else {
        version = big ? 45 : 20;
        if (size > 0 && aCompress) {
            method = 8;
            flags |= 2;
        } else {
            method = 0;
        }
    }
    // 4. local header
    std::string extra;
    if (big) {
        Put16(extra, 0x0001);
        Put16(extra, 16);
        extra.append(16, '\0');
    }
    if (FEncrypt)
        extra += ZipAesField(encVers, PkExtraCrypt.Mode, encMeth);
    if (!eBuffer.empty())
        extra += NameField(eBuffer);
    std::string header = ZipLocalHeader(version, flags, method, time, big ? 0xFFFFFFFF : 0, stored, extra);

    int err = 0;
    std::string sysMsg;
    // 5. segment check
    if (CheckSegment(static_cast<int64_t>(header.size()))) {
        err = NewSegment();
        if (err != 0) {
            FErrorFlag = err == 5 || err == 7;
            throw EZipError(message, err + EngineError::SeverityError, SystemErrorTextOf(LastWinError()));
        }
    }
    // 6. header
    int64_t offset = FStream->GetPosition();
    auto segment = static_cast<uint16_t>(FCurSeg);
    try {
        WriteFull(*FStream, header.data(), static_cast<int64_t>(header.size()));
    } catch (const EZipStreamError& e) {
        err = e.Code == WinError::ERROR_DISK_FULL ? 7 : 5;
        sysMsg = e.Message();
    }

    uint32_t crc = 0;
    int64_t cSize = 0;
    auto complete = [&]() {
        try {
            int64_t end = FStream->GetPosition();
            std::string b;
            if (!(FEncrypt && small)) {
                Put32(b, crc);
                FStream->SetPosition(offset + 14);
                WriteFull(*FStream, b.data(), 4);
                b.clear();
            }
            if (big) {
                Put64(b, static_cast<uint64_t>(size));
                Put64(b, static_cast<uint64_t>(cSize));
                FStream->SetPosition(offset + 30 + static_cast<int64_t>(stored.size()) + 4);
            } else {
                Put32(b, static_cast<uint32_t>(cSize));
                Put32(b, static_cast<uint32_t>(size));
                FStream->SetPosition(offset + 18);
            }
            WriteFull(*FStream, b.data(), static_cast<int64_t>(b.size()));
            FStream->SetPosition(end);
        } catch (const EZipStreamError& e) {
            err = 5;
            sysMsg = e.Message();
        }
    };

    if (err == 0 && fMaxSize <= 0) {
        // 7. the worker writes into the archive
        TZipWriteThread worker(sourceName, FEncryption.get(), FStream.get(), aCompress, false, FBufferSize,
                               WorkerProgress());
        err = RunWorker(worker, sysMsg);
        crc = worker.Crc();
        cSize = worker.WrittenBytes();
        if (err == 0 && worker.PlainBytes() != size)
            err = 4;
        if (err == 0)
            complete();
    } else if (err == 0) {
        // 8. split: prepare, then copy into the segments
        TTempStream temp;
        std::unique_ptr<TStream> source;
        TStream* prepared = nullptr;
        if (aCompress) {
            std::string msg;
            if (!temp.Open(size, SplitMemLimit, fZipTmpDir, "zip.tmp", msg)) {
                err = EngineError::Create;
                sysMsg = msg;
            } else {
                TZipWriteThread worker(sourceName, FEncryption.get(), &temp.Stream(), aCompress, false,
                                       FBufferSize, WorkerProgress());
                err = RunWorker(worker, sysMsg);
                crc = worker.Crc();
                cSize = worker.WrittenBytes();
                if (err == 0 && worker.PlainBytes() != size)
                    err = 4;
                temp.Stream().SetPosition(0);
                prepared = &temp.Stream();
            }
        } else {
            TZipWriteThread worker(sourceName, nullptr, nullptr, false, false, FBufferSize, WorkerProgress());
            err = RunWorker(worker, sysMsg);
            crc = worker.Crc();
            cSize = worker.PlainBytes();
            if (err == 0 && worker.PlainBytes() != size)
                err = 4;
            if (err == 0) {
                try {
                    source = OpenFileStream(sourceName, fmOpenRead);
                    prepared = source.get();
                } catch (const EZipStreamError& e) {
                    err = 2;
                    sysMsg = e.Message();
                }
            }
        }
        if (err == 0)
            complete();
        bool speedLimit = !FIsTemp;
        if (err == 0 && prepared) {
            int64_t freeSpace = fMaxSize - FStream->GetPosition();
            if (cSize > freeSpace) {
                int64_t remaining = cSize;
                auto step = [&](TFileAction action, int64_t n, bool newSegment) {
                    if (err != 0 || FCanceled)
                        return;
                    DoProgress(action, -n, speedLimit);
                    err = CopyStreamPart(*prepared, *FStream, sysMsg, speedLimit, n);
                    remaining -= n;
                    if (err == 0 && newSegment && !FCanceled)
                        err = NewSegment();
                };
                step(acZipCopy, freeSpace, true);
                while (err == 0 && !FCanceled && remaining > fMaxSize)
                    step(acSegmentCopy, fMaxSize, true);
                step(acSegmentCopy, remaining, false);
            } else {
                DoProgress(acZipCopy, -cSize, false);
                err = CopyStreamPart(*prepared, *FStream, sysMsg, false, cSize);
            }
        }
    }

    // 11. failure
    if (err != 0) {
        if (err != 7 && err != 31)
            CutBack(offset);
        FErrorFlag = err == 5 || err == 7;
        throw EZipError(message, err + EngineError::SeverityError, sysMsg);
    }
    // 10. the entry
    aRatio = CompressionRatio(cSize, size, aCompress);
    int sourceAttr = PosixFileGetAttr(sourceName, true);
    auto attr = static_cast<uint16_t>(sourceAttr >= 0 ? sourceAttr : faArchive);
    auto entry = std::make_unique<TPkHeader>(
        stored, eBuffer, 0, 0, time, (FEncrypt && small) ? 0 : crc, attr, version, flags, method, encVers,
        FEncrypt ? PkExtraCrypt.Mode : 0, encMeth, segment, offset, cSize, size);
    SetEntryHost(*entry, form, S_IFREG | (known ? st.st_mode & 0777 : 0600));
    FileList.Add(fileName, std::move(entry));
}

void TZipWrite::AddFiles(const std::string& directory, const std::string& filter, const std::string& subDir,
                         int& count, std::vector<std::string>* errList)
{
    size_t pos = 0;
    while (pos <= filter.size()) {
        size_t next = filter.find(';', pos);
        if (next == std::string::npos)
            next = filter.size();
        std::string mask = filter.substr(pos, next - pos);
        if (mask.empty())
            break;
        pos = next + 1;
        DIR* d = ::opendir(directory.empty() ? "." : directory.c_str());
        if (!d)
            continue;
        std::vector<std::string> names;
        while (dirent* e = ::readdir(d)) {
            std::string n = e->d_name;
            if (n == "." || n == "..")
                continue;
            if (::fnmatch(mask.c_str(), n.c_str(), FNM_CASEFOLD) == 0)
                names.push_back(n);
        }
        ::closedir(d);
        for (const auto& n : names) {
            std::string full = JoinPath(directory, n);
            if (EngineFs::DirectoryExists(full))
                continue;
            try {
                AddFile(full, JoinPath(subDir, n), true);
                ++count;
            } catch (const EZipError& e) {
                if (errList)
                    errList->push_back(e.SysErrorMsg);
            }
        }
    }
}

void TZipWrite::WriteDirectory()
{
    const TZipLimits& lim = ZipLimits();
    if (!FStream)
        throw EZipError(_("Error writing end record"), EngineError::Write,
                        SystemErrorTextOf(WinError::ERROR_INVALID_HANDLE));
    int64_t cdStart = FStream->GetSize();
    FStream->SetPosition(cdStart);
    int cdDisk = FCurSeg;
    int first = 0;
    int64_t dirSize = 0;
    int count = FileList.Count();
    for (int i = 0; i < count; ++i) {
        const TPkHeader& h = *FileList.Objects(i);
        std::string z64;
        bool bigU = h.USize > lim.Max32, bigC = h.CSize > lim.Max32, bigO = h.Offset > lim.Max32;
        if (bigU)
            Put64(z64, static_cast<uint64_t>(h.USize));
        if (bigC)
            Put64(z64, static_cast<uint64_t>(h.CSize));
        if (bigO)
            Put64(z64, static_cast<uint64_t>(h.Offset));
        std::string extra;
        if (!z64.empty()) {
            Put16(extra, 0x0001);
            Put16(extra, static_cast<uint16_t>(z64.size()));
            extra += z64;
        }
        if (h.EncMode != 0)
            extra += ZipAesField(h.EncVers, PkExtraCrypt.Mode, h.EncMeth);
        if (h.GpFlag & 0x100)
            extra += NameField(h.EBuffer);
        TZipCentralValues v;
        v.Version = h.PkVersion;
        v.HostSystem = h.HostSystem;
        v.Flags = h.GpFlag;
        v.Method = h.CompMethod;
        v.DosTime = h.TimeStamp;
        v.Crc = h.EncVers == 2 ? 0 : h.CRC;
        v.CSize32 = bigC ? 0xFFFFFFFF : static_cast<uint32_t>(h.CSize);
        v.USize32 = bigU ? 0xFFFFFFFF : static_cast<uint32_t>(h.USize);
        v.Disk = h.Segment;
        v.Attr = h.Attr | (h.HostSystem == ZipHostUnix ? h.UnixMode << 16 : 0);
        v.Offset32 = bigO ? 0xFFFFFFFF : static_cast<uint32_t>(h.Offset);
        std::string c = ZipCentralHeader(v, h.FName, extra);
        auto len = static_cast<int64_t>(c.size());
        std::string message = SafeFormat(_("Error writing directory entry: \"%s\""), {FileList.Strings(i)});
        if (CheckSegment(len)) {
            if (NewSegment() != 0)
                throw EZipError(message, EngineError::Write, SystemErrorTextOf(LastWinError()));
            if (i == 0) {
                // The directory begins in the new segment.
                cdDisk = FCurSeg;
                cdStart = 0;
            }
            first = i;
        }
        dirSize += len;
        try {
            WriteFull(*FStream, c.data(), len);
        } catch (const EZipStreamError& e) {
            throw EZipError(message, EngineError::Write, e.Message());
        }
    }
    try {
        std::string end;
        int64_t pos = FStream->GetPosition();
        bool zip64 =
            pos > lim.Max32 || count > lim.MaxEntries16 || dirSize > lim.Max32 || cdStart > lim.Max32;
        if (zip64) {
            Put32(end, Zip64EndSig);
            Put64(end, 44);
            Put16(end, 45);
            Put16(end, 45);
            Put32(end, static_cast<uint32_t>(FCurSeg));
            Put32(end, static_cast<uint32_t>(cdDisk));
            Put64(end, static_cast<uint64_t>(count - first));
            Put64(end, static_cast<uint64_t>(count));
            Put64(end, static_cast<uint64_t>(dirSize));
            Put64(end, static_cast<uint64_t>(cdStart));
            Put32(end, Zip64LocatorSig);
            Put32(end, static_cast<uint32_t>(FCurSeg));
            Put64(end, static_cast<uint64_t>(pos));
            Put32(end, static_cast<uint32_t>(FCurSeg + 1));
            bool manyEntries = count > lim.MaxEntries16;
            Put32(end, ZipEndSig);
            Put16(end, 0xFFFF);
            Put16(end, 0xFFFF);
            Put16(end, manyEntries ? 0xFFFF : static_cast<uint16_t>(count - first));
            Put16(end, manyEntries ? 0xFFFF : static_cast<uint16_t>(count));
            Put32(end, dirSize > lim.Max32 ? 0xFFFFFFFF : static_cast<uint32_t>(dirSize));
            Put32(end, 0xFFFFFFFF);
            Put16(end, 0);
        } else {
            Put32(end, ZipEndSig);
            Put16(end, static_cast<uint16_t>(FCurSeg));
            Put16(end, static_cast<uint16_t>(cdDisk));
            Put16(end, static_cast<uint16_t>(count - first));
            Put16(end, static_cast<uint16_t>(count));
            Put32(end, static_cast<uint32_t>(dirSize));
            Put32(end, static_cast<uint32_t>(cdStart));
            Put16(end, 0);
        }
        WriteFull(*FStream, end.data(), static_cast<int64_t>(end.size()));
    } catch (const EZipStreamError& e) {
        throw EZipError(_("Error writing end record"), EngineError::Write, e.Message());
    }
}

void TZipWrite::Verify()
{
    bool speedLimit = !FIsTemp;
    int count = FileList.Count();
    if (FOnVerifyProgress)
        FOnVerifyProgress(acZipVerify, -count, speedLimit);
    FOnProgress = nullptr;
    for (int i = 0; i < count && !FCanceled; ++i) {
        if (FOnVerifyProgress)
            FOnVerifyProgress(acZipVerify, i, speedLimit);
        const TPkHeader& h = *FileList.Objects(i);
        if (h.CSize == 0)
            continue;
        std::string message = SafeFormat(_("Error verifying \"%s\""), {FileList.Strings(i)});
        int err = 0;
        std::string sysMsg;
        TSegStream seg;
        if (fMaxSize > 0 && h.Segment < FCurSeg) {
            try {
                seg.Owned = OpenFileStream(GetZipSegmentName(ZName, h.Segment), fmOpenRead);
                seg.Cur = seg.Owned.get();
            } catch (const EZipStreamError& e) {
                throw EZipError(message, EngineError::Open, e.Message());
            }
        } else {
            seg.Cur = FStream.get();
        }
        if (!seg.Cur)
            throw EZipError(message, EngineError::Read, SystemErrorTextOf(WinError::ERROR_INVALID_HANDLE));
        seg.Cur->SetPosition(h.Offset);
        uint8_t lh[30];
        if (!ReadFull(*seg.Cur, lh, 30) || LittleEndian::Get32(lh) != ZipLocalSig)
            throw EZipError(message, EngineError::Read, SystemErrorTextOf(WinError::ERROR_HANDLE_EOF));
        int64_t dataPos = h.Offset + 30 + LittleEndian::Get16(lh + 26) + LittleEndian::Get16(lh + 28);
        seg.Cur->SetPosition(dataPos);
        TTempStream temp;
        TStream* src = seg.Cur;
        if (fMaxSize > 0 && dataPos + h.CSize > seg.Cur->GetSize()) {
            std::string msg;
            if (!temp.Open(h.USize, SplitMemLimit, fZipTmpDir, "zip.tmp", msg))
                throw EZipError(message, EngineError::WarnCreate, msg);
            int64_t lacking = h.CSize;
            uint16_t segNo = h.Segment;
            while (err == 0 && lacking > 0) {
                int64_t avail = std::min(lacking, seg.Cur->GetSize() - seg.Cur->GetPosition());
                if (avail > 0)
                    err = CopyStreamPart(*seg.Cur, temp.Stream(), sysMsg, false, avail);
                lacking -= std::max<int64_t>(avail, 0);
                if (err == 0 && lacking > 0)
                    err = NextSegmentStream(segNo, seg);
            }
            temp.Stream().SetPosition(0);
            src = &temp.Stream();
        }
        if (err == 0) {
            TEncryption* encryption = nullptr;
            if (h.GpFlag & 1) {
                encryption = FEncryption.get();
                if (!encryption)
                    err = 11;
                else
                    encryption->SetKeyMode(h.EncMode);
            }
            if (err == 0) {
                TZipVerifyThread worker(encryption, h.CRC, *src, h.CSize, h.USize, h.CompMethod != 0, false,
                                        FBufferSize, nullptr);
                err = RunWorker(worker, sysMsg);
            }
        }
        if (err != 0)
            throw EZipError(message, err + EngineError::SeverityError, sysMsg);
    }
}

void TZipWrite::DeleteZipFile()
{
    CloseStream();
    for (int i = 0; i <= FCurSeg; ++i) {
        std::string name = i < FCurSeg ? GetZipSegmentName(ZName, i) : ZName;
        if (::unlink(name.c_str()) != 0 && errno != ENOENT) {
            uint32_t code = LastWinError();
            throw EZipError(_("Error deleting file") + ": " + name, EngineError::Delete,
                            SystemErrorTextOf(code));
        }
    }
}

void TZipWrite::RenameZipFile(const std::string& newName)
{
    CloseStream();
    for (int i = 0; i <= FCurSeg; ++i) {
        std::string from = i < FCurSeg ? GetZipSegmentName(ZName, i) : ZName;
        std::string to = i < FCurSeg ? GetZipSegmentName(newName, i) : newName;
        if (::rename(from.c_str(), to.c_str()) != 0) {
            uint32_t code = LastWinError();
            throw EZipError(_("Error renaming file") + ": " + from, EngineError::RenameFile,
                            SystemErrorTextOf(code));
        }
    }
}

void TZipWrite::Cancel()
{
    FCanceled = true;
    if (ZipThread) {
        ZipThread->SetPaused(false);
        if (!ZipThread->Done())
            ZipThread->CancelThread();
    }
}

void TZipWrite::Suspend()
{
    if (ZipThread && !ZipThread->Done())
        ZipThread->SetPaused(true);
}

void TZipWrite::Resume()
{
    if (ZipThread)
        ZipThread->SetPaused(false);
}
