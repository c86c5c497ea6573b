#include "archive/ExtFileToolsZipRead.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include "archive/EngineErrors.h"
#include "archive/ExtFileToolsZipThreads.h"
#include "archive/LittleEndian.h"
#include "foundation/FileUtilsTimes.h"
#include "platform/ErrorCodes.h"
#include "platform/PosixFiles.h"
#include "rtl/Gettext.h"
#include "rtl/Thread.h"

using namespace ZipUtil;

namespace {

constexpr int64_t SplitMemLimit = 52428800;

std::string ReadError(const std::string& zipName)
{
    return SafeFormat(_("Error reading from \"%s\""), {zipName});
}

std::string NamePart(const std::string& path)
{
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::unique_ptr<TStream> OpenArchive(const std::string& zipName)
{
    try {
        return OpenFileStream(zipName, fmOpenRead);
    } catch (const EZipStreamError& e) {
        throw EZipError(SafeFormat(_("Error opening \"%s\""), {zipName}), EngineError::Open, e.Message());
    }
}

} // namespace

TZipRead::TZipRead(const std::string& zipName, const std::string& password, int aKeyMode, int aBufSize)
    : TZip(OpenArchive(zipName), password, aKeyMode, aBufSize)
{
    ZName = zipName;
    FNumSeg = 0;
}

TZipRead::TZipRead(std::unique_ptr<TStream> stream, const std::string& password, int aKeyMode, int aBufSize)
    : TZip(std::move(stream), password, aKeyMode, aBufSize)
{
    FNumSeg = 0;
}

TZipRead::~TZipRead()
{
    ClearFileList();
}

std::string TZipRead::Filename(int index) const
{
    if (index < 0 || index >= FileList.Count())
        return "";
    return FileList.Strings(index);
}

bool TZipRead::IsEncrypted(int index) const
{
    if (index < 0 || index >= FileList.Count())
        return false;
    return (FileList.Objects(index)->GpFlag & 1) != 0;
}

void TZipRead::ReadDirectory(const TDirStat& callback)
{
    const std::string message = ReadError(ZName);
    int64_t size = FStream->GetSize();
    uint8_t e[22];
    if (size < 22 || FStream->Seek(size - 22, soBeginning) < 0 || !ReadFull(*FStream, e, 22) ||
        LittleEndian::Get32(e) != ZipEndSig)
        throw EZipError(message, EngineError::ZipSignature);
    int64_t cdOffset = LittleEndian::Get32(e + 16);
    int64_t count = LittleEndian::Get16(e + 10);
    int64_t lastSeg = LittleEndian::Get16(e + 4);
    int64_t cdDisk = LittleEndian::Get16(e + 6);
    if (LittleEndian::Get32(e + 16) == 0xFFFFFFFF || LittleEndian::Get32(e + 12) == 0xFFFFFFFF ||
        LittleEndian::Get16(e + 10) == 0xFFFF) {
        uint8_t loc[20];
        if (size < 42 || FStream->Seek(size - 42, soBeginning) < 0 || !ReadFull(*FStream, loc, 20) ||
            LittleEndian::Get32(loc) != Zip64LocatorSig)
            throw EZipError(message, EngineError::ZipSignature);
        uint64_t recPos = LittleEndian::Get64(loc + 8);
        uint8_t rec[56];
        if (recPos > static_cast<uint64_t>(size - 42) ||
            FStream->Seek(static_cast<int64_t>(recPos), soBeginning) < 0 || !ReadFull(*FStream, rec, 56) ||
            LittleEndian::Get32(rec) != Zip64EndSig)
            throw EZipError(message, EngineError::ZipSignature);
        cdOffset = static_cast<int64_t>(LittleEndian::Get64(rec + 48) & 0x7FFFFFFFFFFFFFFFULL);
        count = LittleEndian::Get32(rec + 32);
        lastSeg = LittleEndian::Get32(rec + 16);
        cdDisk = LittleEndian::Get32(rec + 20);
    }
    if (lastSeg > 0xFFFF || cdDisk > lastSeg)
        throw EZipError(message, EngineError::ZipSignature);
    FNumSeg = FCurSeg = static_cast<int>(lastSeg);
    ClearFileList();

    int err = 0;
    std::string sysMsg;
    bool nameFailure = false;
    TSegStream seg;
    auto segNo = static_cast<uint16_t>(cdDisk);
    err = OpenSegmentStream(segNo, seg);
    if (err == 0) {
        seg.Cur->SetPosition(cdOffset);
        bod = cdOffset;
    }
    for (int64_t i = 0; err == 0 && i < count; ++i) {
        TThread::CheckSynchronize(0);
        TStream& s0 = *seg.Cur;
        if (s0.GetPosition() >= s0.GetSize()) {
            if (segNo >= FNumSeg) {
                err = 4; // the directory runs past the end of the archive
                break;
            }
            err = NextSegmentStream(segNo, seg);
            if (err != 0)
                break;
        }
        TStream& s = *seg.Cur;
        uint8_t c[46];
        if (!ReadFull(s, c, 46)) {
            err = 4;
            break;
        }
        if (LittleEndian::Get32(c) != ZipCentralSig) {
            err = 32;
            break;
        }
        uint16_t method = LittleEndian::Get16(c + 10);
        if (method != 0 && method != 8 && method != 99) {
            err = 34;
            break;
        }
        uint16_t version = LittleEndian::Get16(c + 6);
        uint16_t flags = LittleEndian::Get16(c + 8);
        uint32_t time = LittleEndian::Get32(c + 12);
        uint32_t crc = LittleEndian::Get32(c + 16);
        int64_t cSize = LittleEndian::Get32(c + 20);
        int64_t uSize = LittleEndian::Get32(c + 24);
        uint16_t nameLen = LittleEndian::Get16(c + 28);
        uint16_t extraLen = LittleEndian::Get16(c + 30);
        uint16_t commentLen = LittleEndian::Get16(c + 32);
        auto disk = LittleEndian::Get16(c + 34);
        uint32_t attr = LittleEndian::Get32(c + 38);
        int64_t offset = LittleEndian::Get32(c + 42);
        std::string name(nameLen, '\0');
        std::vector<uint8_t> extra(extraLen);
        if ((nameLen > 0 && !ReadFull(s, name.data(), nameLen)) ||
            (extraLen > 0 && !ReadFull(s, extra.data(), extraLen))) {
            err = 4;
            break;
        }
        uint16_t encVers = 0, encMode = 0, encMeth = 0;
        std::string unicodeName;
        size_t p = 0;
        while (p + 4 <= extra.size()) {
            uint16_t tag = LittleEndian::Get16(&extra[p]);
            size_t fieldSize = LittleEndian::Get16(&extra[p + 2]);
            p += 4;
            size_t end = std::min(extra.size(), p + fieldSize);
            if (tag == 0x0001) {
                size_t q = p;
                if (LittleEndian::Get32(c + 24) == 0xFFFFFFFF && q + 8 <= end) {
                    uSize = static_cast<int64_t>(LittleEndian::Get64(&extra[q]) & 0x7FFFFFFFFFFFFFFFULL);
                    q += 8;
                }
                if (LittleEndian::Get32(c + 20) == 0xFFFFFFFF && q + 8 <= end) {
                    cSize = static_cast<int64_t>(LittleEndian::Get64(&extra[q]) & 0x7FFFFFFFFFFFFFFFULL);
                    q += 8;
                }
                if (LittleEndian::Get32(c + 42) == 0xFFFFFFFF && q + 8 <= end)
                    offset = static_cast<int64_t>(LittleEndian::Get64(&extra[q]) & 0x7FFFFFFFFFFFFFFFULL);
            } else if (tag == 0x9901 && end - p >= 7) {
                encVers = LittleEndian::Get16(&extra[p]);
                encMode = extra[p + 4];
                encMeth = LittleEndian::Get16(&extra[p + 5]);
            } else if (tag == 0x7075 && end - p > 5 && extra[p] == 1 &&
                       LittleEndian::Get32(&extra[p + 1]) ==
                           crc32(0, reinterpret_cast<const Bytef*>(name.data()),
                                 static_cast<uInt>(name.size()))) {
                // Info-ZIP's Unicode path of a name stored in another code page.
                unicodeName.assign(reinterpret_cast<const char*>(&extra[p + 5]), end - p - 5);
            } else if (tag == 0x9909 && FEncrypt && (flags & 0x100)) {
                TEntryBuffer buffer(extra.begin() + static_cast<std::ptrdiff_t>(p),
                                    extra.begin() + static_cast<std::ptrdiff_t>(end));
                if (encMode >= 1 && encMode <= 3)
                    FEncryption->SetKeyMode(encMode);
                nameFailure = !DecryptEntryName(buffer, name);
            }
            p = end;
        }
        if (commentLen > 0 && s.Seek(commentLen, soCurrent) < 0) {
            err = 4;
            break;
        }
        std::string decoded = DecodeZipEntryName(name, flags, c[5]);
        if (!unicodeName.empty() && !(flags & 0x800))
            decoded = unicodeName;
        decoded = SafeEntryName(decoded);
        auto index = static_cast<int>(FileList.Count());
        if (FOnReadDirStatus)
            FOnReadDirStatus(index, decoded);
        if (callback)
            callback(index, decoded);
        auto dirLength = static_cast<uint16_t>(std::min<int>(46 + nameLen + extraLen, 0xFFFF));
        FileList.Add(decoded,
                     std::make_unique<TPkHeader>(name, TEntryBuffer(), 0, dirLength, time, crc,
                                                 static_cast<uint16_t>(attr & 0xFFFF), version, flags, method,
                                                 encVers, encMode, encMeth, disk, offset, cSize, uSize));
    }
    seg.Owned.reset();
    if (err == 0 && nameFailure)
        err = 11;
    if (err != 0)
        throw EZipError(message, err + EngineError::SeverityError, sysMsg);
}

int TZipRead::PrepareEntry(const TPkHeader& h, TSegStream& seg, TTempStream& temp, TZipFileInfo& info,
                           TStream*& source, std::string& sysMsg)
{
    uint16_t segNo = h.Segment;
    if (FNumSeg == 0) {
        seg.Cur = FStream.get();
    } else if (int err = OpenSegmentStream(segNo, seg)) {
        return err;
    }
    TStream& s = *seg.Cur;
    if (h.Offset < 0 || s.Seek(h.Offset, soBeginning) != h.Offset || !ReadZipLocalHeader(s, info)) {
        sysMsg = SystemErrorTextOf(WinError::ERROR_HANDLE_EOF);
        return 4;
    }
    if (info.Flag & 0x8) {
        info.Crc = h.CRC;
        info.CSize = h.CSize;
        info.USize = h.USize;
    }
    if (h.EncMode != 0 && info.KeyMode == 0)
        info.KeyMode = h.EncMode;
    source = &s;
    int64_t dataPos = s.GetPosition();
    if (FNumSeg > 0 && dataPos + info.CSize > s.GetSize()) {
        std::string msg;
        if (!temp.Open(info.USize, SplitMemLimit, fZipTmpDir, "zip.tmp", msg)) {
            sysMsg = msg;
            return EngineError::Create;
        }
        int64_t lacking = info.CSize;
        while (lacking > 0) {
            int64_t avail = std::min(lacking, seg.Cur->GetSize() - seg.Cur->GetPosition());
            if (avail > 0) {
                if (int err = CopyStreamPart(*seg.Cur, temp.Stream(), sysMsg, false, avail))
                    return err;
                lacking -= avail;
            }
            if (lacking > 0) {
                if (segNo >= FNumSeg)
                    return 4; // the data runs past the last segment
                if (int err = NextSegmentStream(segNo, seg))
                    return err;
            }
        }
        temp.Stream().SetPosition(0);
        source = &temp.Stream();
    }
    return 0;
}

int TZipRead::RunEntryWorker(const TPkHeader& h, std::string& sysMsg, const TReadWorkerFactory& make)
{
    TSegStream seg;
    TTempStream temp;
    TZipFileInfo info;
    TStream* source = nullptr;
    int result = PrepareEntry(h, seg, temp, info, source, sysMsg);
    if (result != 0)
        return result;
    std::unique_ptr<TZipReadThread> worker = make(*source, info);
    worker->SetAesData(h.EncVers, h.EncMeth);
    return RunWorker(*worker, sysMsg);
}

void TZipRead::ExtractToFile(const TPkHeader& pkHeader, const std::string& destFilename, bool resetArchiveBit)
{
    std::string sysMsg;
    int result = 0;
    {
        std::unique_ptr<TStream> dest;
        if (EngineFs::Exists(destFilename, false) && PosixFileSetAttr(destFilename, faArchive, true) != 0) {
            result = EngineError::ResetAttr;
        } else {
            try {
                dest = OpenFileStream(destFilename, fmCreate);
            } catch (const EZipStreamError& e) {
                result = EngineError::Create;
                sysMsg = e.Message();
            }
        }
        if (result == 0)
            result = RunEntryWorker(pkHeader, sysMsg, [&](TStream& source, const TZipFileInfo& info) {
                return std::make_unique<TZipReadThread>(source, dest.get(), FEncryption.get(), info, false,
                                                        FBufferSize, WorkerProgress());
            });
    }
    if (result == 0) {
        if (uint32_t code = SetFileDosTime(destFilename, pkHeader.TimeStamp, true))
            throw EZipError(SafeFormat(_("Error setting timestamps of \"%s\""), {destFilename}),
                            EngineError::WarnTime, SystemErrorTextOf(code));
        uint32_t attr = pkHeader.Attr;
        if (resetArchiveBit)
            attr &= ~faArchive;
        if (uint32_t code = PosixFileSetAttr(destFilename, attr, true))
            throw EZipError(SafeFormat(_("Error setting attributes of \"%s\""), {destFilename}),
                            EngineError::WarnAttr, SystemErrorTextOf(code));
        return;
    }
    FErrorFlag = result == 5 || result == 7;
    throw EZipError(ReadError(ZName), result + EngineError::SeverityError, sysMsg);
}

void TZipRead::ExtractToFile(int index, const std::string& destFilename, bool resetArchiveBit)
{
    if (index < 0 || index >= FileList.Count())
        throw EZipError(ReadError(ZName), EngineError::Read);
    const TPkHeader& h = *FileList.Objects(index);
    if ((h.GpFlag & 1) && !FEncrypt)
        throw EZipError(ReadError(ZName), EngineError::Decrypt);
    ExtractToFile(h, destFilename, resetArchiveBit);
}

bool TZipRead::ExtractToStream(const std::string& filename, TStream& sDest)
{
    int index = FileList.IndexOf(filename);
    if (index < 0)
        return false;
    const TPkHeader& h = *FileList.Objects(index);
    std::string sysMsg;
    int result;
    if ((h.GpFlag & 1) || h.Segment != FNumSeg || FStream->Seek(h.Offset, soBeginning) != h.Offset) {
        result = (h.GpFlag & 1) ? 11 : 4;
    } else {
        TZipReadThread worker(*FStream, &sDest, false, FBufferSize, WorkerProgress());
        result = RunWorker(worker, sysMsg);
    }
    if (result != 0)
        throw EZipError(SafeFormat(_("Error extracting from \"%s\""), {ZName}),
                        result + EngineError::SeverityError, sysMsg);
    sDest.SetPosition(0);
    return true;
}

void TZipRead::CompareToFile(const TPkHeader& pkHeader, const std::string& refFilename)
{
    std::string sysMsg;
    int result = 0;
    std::unique_ptr<TStream> ref;
    if (!EngineFs::Exists(refFilename, true)) {
        result = EngineError::NotFound;
    } else {
        try {
            ref = OpenFileStream(refFilename, fmOpenRead);
        } catch (const EZipStreamError& e) {
            result = EngineError::Create;
            sysMsg = e.Message();
        }
    }
    if (result == 0)
        result = RunEntryWorker(pkHeader, sysMsg, [&](TStream& source, const TZipFileInfo& info) {
            return std::make_unique<TZipCompareThread>(source, std::move(ref), FEncryption.get(), info, false,
                                                       FBufferSize, WorkerProgress());
        });
    if (result == 0)
        return;
    // A difference in size or content is a difference as much as a wrong check value.
    FErrorFlag = result == 12 || result == 21 || result == 30;
    throw EZipError(
        SafeFormat(_("Error comparing file from \"%s\" to \"%s\""), {ZName, NamePart(refFilename)}),
        result + EngineError::SeverityError, sysMsg);
}

void TZipRead::CompareToFile(int index, const std::string& destFilename)
{
    if (index < 0 || index >= FileList.Count())
        return;
    const TPkHeader& h = *FileList.Objects(index);
    if ((h.GpFlag & 1) && !FEncrypt)
        throw EZipError(ReadError(ZName), EngineError::Decrypt);
    CompareToFile(h, destFilename);
}

void TZipRead::Cancel()
{
    if (ZipThread && !ZipThread->Done()) {
        ZipThread->SetPaused(false);
        ZipThread->CancelThread();
    }
}
