#include "backup/CopyLoop.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

#include "archive/AesLib.h"
#include "archive/EngineErrors.h"
#include "archive/EngineFs.h"
#include "archive/FileErrors.h"
#include "archive/FilePropUtils.h"
#include "archive/ZLibEx.h"
#include "backup/CopyLoopHelpers.h"
#include "backup/EngineCodes.h"
#include "backup/LinkInfo.h"
#include "backup/OptionRules.h"
#include "backup/SecurityCopyNames.h"
#include "backup/Synchronize.h"
#include "backup/TimestampFile.h"
#include "foundation/FileUtilsOps.h"
#include "foundation/PathUtils.h"
#include "foundation/QvUtilsDest.h"
#include "foundation/QvUtilsTexts.h"
#include "foundation/StringUtils.h"
#include "foundation/WinDevUtils.h"
#include "foundation/XlFileUtils.h"
#include "platform/DirSearch.h"
#include "platform/ErrorCodes.h"
#include "platform/PosixFiles.h"
#include "platform/Trash.h"
#include "rtl/Clock.h"
#include "rtl/Gettext.h"
#include "rtl/SysUtils.h"

using namespace copyloop;

namespace {

constexpr const char* LockName = "Vastrel.lock";

} // namespace

TCopyLoop::TCopyLoop(const TTaskSettings& task, TTaskLog& log, TRunControl& control, IProgressSink& progress,
                     IInteraction& interaction)
    : Ops(log, control), Runner(control, progress), Zip(task, log, control, progress, interaction),
      FTask(task), FLog(log), FControl(control), FProgress(progress), FInteraction(interaction)
{
    Ops.FnMode = task.FnMode;
    Ops.TargetType = task.TargetType;
    TimeOutCount = task.TimeOutMax;
    Runner.OnIdle = [this] { FControl.Checkpoint(); };
    FRunTag = EngineFs::RandomTag();
}

TCopyLoop::~TCopyLoop()
{
    if (FCopyThread) {
        // a copy still running when the run ends is cancelled; it removes its partial file itself
        FCopyThread->SetPaused(false);
        FCopyThread->CancelThread();
        FCopyThread.reset();
    }
}

TCopyOptions TCopyLoop::LocalCopyOptions(bool compressed) const
{
    TCopyOptions options;
    if (compressed)
        options.Include(coCompress);
    if (FTask.cbZipCompress)
        options.Include(coZipCompress);
    if (FTask.cbVerify)
        options.Include(coVerify);
    if (FTask.NoWriteCache)
        options.Include(coNoCache);
    return options;
}

std::string TCopyLoop::CopyOptionLetters(bool compressed) const
{
    std::string s = compressed ? "C" : "N";
    if (Encryption)
        s += "E";
    if (FTask.cbVerify)
        s += "V";
    if (FTask.cbCopySummary)
        s += "S";
    if (FTask.cbAltStreams)
        s += "A";
    if (FTask.cbCopyPerms)
        s += "P";
    if (FTask.cbCreationTime)
        s += "T";
    if (FTask.cbNoAttributes)
        s += "X";
    return s;
}

std::string TCopyLoop::DestFormExt(bool compressed) const
{
    if (FTask.cbZipCompress)
        return ".zip";
    if (compressed)
        return Encryption ? ".gze" : ".gz";
    if (Encryption)
        return ".enc";
    return std::string();
}

int64_t TCopyLoop::GetStoredPlainSize(const std::string& path, bool compressed, int64_t size) const
{
    try {
        if (FTask.cbZipCompress) {
            TGzFileInfo info;
            return GetZipFileInfo(path, info) == 0 ? info.USize : 0;
        }
        if (compressed) {
            TGzFileInfo info;
            return GetGzFileInfo(path, info) ? info.USize : 0;
        }
        if (Encryption) {
            TGzFileInfo info;
            return GetEncFileInfo(path, info) ? info.USize : 0;
        }
    } catch (const Exception&) {
        return 0;
    }
    return size;
}

bool TCopyLoop::FileDelete(const std::string& name)
{
    if (!Ops.MayDestroy(name, "B"))
        return false;
    uint32_t e = XlDeleteFile(name, true);
    if (e == 0) {
        FLog.WriteToLog(lmVerbose, std::string(Indent) + SafeFormat(_("File was deleted: \"%s\""), {name}));
        return true;
    }
    FLog.WriteErrorToLog(lmShort, "B", SafeFormat(_("Error deleting file: \"%s\""), {name}), e);
    return false;
}

bool TCopyLoop::FileRename(const std::string& dir, const std::string& oldName, const std::string& newName)
{
    std::string errMsg;
    if (Ops.MoveFileLogged(dir, oldName, newName, errMsg, lmLong, -1) == 0)
        return true;
    // an older version that could not be moved on is an error of the run
    ++FCollisions;
    return false;
}

bool TCopyLoop::NamesMayFold() const
{
    return FTask.FnMode != tcNone || FTask.ReplMode == cpSimple || FTask.cbCompress || FTask.cbZipCompress ||
           Encryption != nullptr;
}

std::string TCopyLoop::DestNameOf(const std::string& name, bool& compressed) const
{
    std::string n = ChangeTextCase(name, FTask.FnMode);
    if (FTask.ReplMode == cpSimple)
        n = ReplaceIllegalChars(n, static_cast<char32_t>(FTask.ReplChar));
    compressed = FTask.cbCompress && FTask.AktNoComp.IndexOf(FileTypeName(name)) < 0;
    return n + DestFormExt(compressed);
}

const std::unordered_map<std::string, std::string>& TCopyLoop::ClaimedNames(TFolderState& fs) const
{
    if (fs.ClaimedBuilt)
        return fs.Claimed;
    fs.ClaimedBuilt = true;
    fs.Claimed.clear();
    if (!fs.Entries)
        return fs.Claimed;
    // A file whose destination name is its own name keeps it; of others that fold to one name, the first
    // in byte order does.
    std::vector<std::pair<std::string, std::string>> mapped;
    for (const auto& e : *fs.Entries) {
        if (e.Type == DT_DIR)
            continue;
        bool compressed = false;
        mapped.emplace_back(DestNameOf(e.Name, compressed), e.Name);
    }
    std::sort(mapped.begin(), mapped.end(), [](const auto& a, const auto& b) {
        const bool aOwn = a.first == a.second;
        const bool bOwn = b.first == b.second;
        if (aOwn != bOwn)
            return aOwn;
        return a.second < b.second;
    });
    for (auto& [dest, source] : mapped)
        fs.Claimed.emplace(std::move(dest), std::move(source));
    return fs.Claimed;
}

bool TCopyLoop::ClaimedByOther(TFolderState& fs, const std::string& name, const std::string& source,
                               const std::string& what)
{
    const auto& claimed = ClaimedNames(fs);
    auto it = claimed.find(name);
    if (it == claimed.end() || it->second == source)
        return false;
    FLog.WriteErrorToLog(lmShort, "B",
                         SafeFormat(_("Name collision: \"%s\" is the backup of \"%s\""),
                                    {JoinPath(fs.RelDir, name), JoinPath(fs.RelDir, it->second)}),
                         what, std::string());
    ++FCollisions;
    return true;
}

namespace {

// Whether the files the program makes are writable by their owner (the umask leaves the bit).
bool NewFilesWritable()
{
    static const bool writable = [] {
        std::ifstream in("/proc/self/status");
        std::string line;
        while (std::getline(in, line))
            if (line.compare(0, 6, "Umask:") == 0)
                return (std::strtoul(line.c_str() + 6, nullptr, 8) & S_IWUSR) == 0;
        return false; // unknown: the attributes are always set
    }();
    return writable;
}

// A folder's copy is never more open to others than its source folder; its owner keeps full access, so
// that later runs can write into it.
void LimitFolderMode(const std::string& srcDir, const std::string& destDir)
{
    struct stat src
    {
    };
    struct stat dest
    {
    };
    if (::stat(srcDir.c_str(), &src) != 0 || ::lstat(destDir.c_str(), &dest) != 0 || !S_ISDIR(dest.st_mode))
        return;
    const mode_t wanted = (src.st_mode & 0777) | S_IRWXU;
    if ((dest.st_mode & 07777) != wanted)
        ::chmod(destDir.c_str(), wanted);
}

// Files up to this size are copied on the run's thread.
constexpr int64_t InlineCopyLimit = 256 * 1024;
// Folders with fewer files that have a copy are compared without the helper thread.
constexpr size_t StatAheadMinimum = 8;

// The engine's copy of a file, run on the calling thread. Its progress reports reach the handler at
// once, and the wait for it finds it done.
class TInlineCopy : public TWinCopyThread
{
public:
    TInlineCopy(const std::string& source, const std::string& dest, TEncryption* encryption,
                TCopyOptions options, int bufSize)
        : TWinCopyThread(source, dest, encryption, options, true, bufSize)
    {
    }
    void RunHere() { Execute(); }
};

// An open folder for look-ups relative to it, closed with the object.
struct TFolderHandle
{
    explicit TFolderHandle(int fd) : Fd(fd) {}
    ~TFolderHandle()
    {
        if (Fd >= 0)
            ::close(Fd);
    }
    TFolderHandle(const TFolderHandle&) = delete;
    TFolderHandle& operator=(const TFolderHandle&) = delete;
    int Fd;
};

} // namespace

uint64_t TCopyLoop::FreeBytes(const std::string& dir) const
{
    return DiskFreeBytes ? DiskFreeBytes(dir) : GetDiskFreeBytes(dir);
}

void TCopyLoop::RenewEncryption()
{
    // the copy thread that was given up took the old object with it
    (void)FOwnedEncryption.release();
    Encryption = nullptr;
    if (MakeEncryption) {
        FOwnedEncryption = MakeEncryption();
        Encryption = FOwnedEncryption.get();
    }
}

void TCopyLoop::StartCopy(TCopyProps& cp)
{
    TCopyOptions options = LocalCopyOptions(cp.Compressed);
    // A small file is copied on this thread: a thread of its own would cost more than the copy.
    const bool inlineCopy = !MakeCopyThread && cp.SInfo.Size <= InlineCopyLimit;
    if (MakeCopyThread) {
        FCopyThread = MakeCopyThread(cp, options);
    } else if (inlineCopy) {
        int bufSize = FTask.TaskBufferSize;
        if (bufSize > 0)
            bufSize = static_cast<int>(std::min<int64_t>(bufSize, std::max<int64_t>(cp.SInfo.Size, 4096)));
        FCopyThread = std::make_unique<TInlineCopy>(cp.RName, cp.TName, Encryption, options, bufSize);
    } else {
        FCopyThread = std::make_unique<TWinCopyThread>(cp.RName, cp.TName, Encryption, options, true,
                                                       FTask.TaskBufferSize);
    }
    if (!TempDir.empty())
        FCopyThread->SetTempDir(TempDir);
    // the worker takes the source's data of the folder pass instead of reading it again
    TFileData data;
    data.FileName = FileNameOf(cp.RName);
    data.FileSize = cp.SInfo.Size;
    data.FileAttr = cp.SInfo.Attr;
    data.TimeStamps = cp.Timestamps;
    FCopyThread->SetSourceData(data);
    FCopyThread->SetVerifyDelay(static_cast<uint32_t>(std::max(MaxWaitTime, 0)));
    FCopyThread->SetOnProgress(Runner.ProgressHandler());
    Runner.LastTick = Runner.TickCount ? Runner.TickCount() : static_cast<uint32_t>(GetTickCount64());
    Runner.LastCount = 0;
    Runner.CopySpeed = 0;
    cp.Valid = true;
    if (inlineCopy)
        static_cast<TInlineCopy*>(FCopyThread.get())->RunHere();
    else
        FCopyThread->Start();
}

std::string TCopyLoop::MoveAside(const std::string& path)
{
    if (!Ops.MayDestroy(path, "B"))
        return std::string();
    std::string name = FileNameOf(path);
    std::string aside =
        path.substr(0, path.size() - name.size()) + "." + Utf8Prefix(name, 200) + "." + FRunTag + ".old";
    if (::rename(path.c_str(), aside.c_str()) != 0) {
        FLog.WriteErrorToLog(lmShort, "B",
                             SafeFormat(_("Error renaming %s: \"%s\" to \"%s\""), {_("File"), path, aside}),
                             LastWinError());
        return std::string();
    }
    return aside;
}

void TCopyLoop::DeleteAside(const std::string& aside)
{
    struct stat st
    {
    };
    if (::lstat(aside.c_str(), &st) != 0)
        return;
    if (S_ISDIR(st.st_mode)) {
        int deleted = 0, errors = 0;
        Ops.ClearDirectory(aside, std::string(), "B", true, true, FLog.CurrentLogMode() == lmVerbose, 0, 0,
                           deleted, errors);
        FLog.WriteToLog(lmLong, std::string(Indent) +
                                    SafeFormat(_("Directory was deleted: \"%s\""), {aside}) +
                                    FileCountText(deleted, true));
    } else if (XlDeleteFile(aside, true) == 0) {
        FLog.WriteToLog(lmVerbose, std::string(Indent) + SafeFormat(_("File was deleted: \"%s\""), {aside}));
    }
}

bool TCopyLoop::MakeWayForFolder(const std::string& dir)
{
    struct stat st
    {
    };
    const std::string path = StripDelimiter(dir);
    if (::lstat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode))
        return true;
    // The copy of a file that became this folder: it gives way to the folder, and goes once the folder
    // is there.
    std::string aside = MoveAside(path);
    if (aside.empty())
        return false;
    if (!Ops.CreateDirectoryLogged(path, "B", true)) {
        ::rename(aside.c_str(), path.c_str());
        return false;
    }
    DeleteAside(aside);
    return true;
}

bool TCopyLoop::SourceHasPermissions() const
{
    return KeepsPermissions(SourceType);
}

bool TCopyLoop::CopyFileItems(TCopyProps& cp, int& kind)
{
    std::vector<std::string> done;
    bool ok = true;
    if (FTask.cbAltStreams) {
        uint32_t e = CopyAlternateStreams(cp.RName, cp.EName);
        if (e != 0) {
            kind = CopyOutcome::CopiedWithWarnings;
            ok = false;
            FLog.WriteErrorToLog(lmWarningLine, "B",
                                 FormatFileError(EngineError::WarnStreams, cp.EName, std::string()), e);
        } else {
            done.push_back(_("Copy alternate data streams"));
        }
    }
    if (FTask.cbCopySummary) {
        int32_t e = CopyDocumentSummary(cp.RName, cp.EName);
        if (e != 0) {
            kind = CopyOutcome::CopiedWithWarnings;
            ok = false;
            FLog.WriteErrorToLog(lmWarningLine, "B",
                                 FormatFileError(EngineError::WarnSummary, cp.EName, std::string()),
                                 static_cast<uint32_t>(e));
        } else {
            done.push_back(_("Copy document summary"));
        }
    }
    if (FTask.cbCopyPerms && SourceHasPermissions()) {
        uint32_t e = CopyFilePermissions(cp.RName, cp.EName);
        if (e != 0) {
            kind = CopyOutcome::CopiedWithWarnings;
            ok = false;
            FLog.WriteErrorToLog(lmWarningLine, "B",
                                 FormatFileError(EngineError::WarnAcl, cp.EName, std::string()), e);
        } else {
            done.push_back(_("Copy file permissions"));
        }
    }
    if (!done.empty()) {
        std::string items;
        for (const auto& item : done)
            items += (items.empty() ? "" : ", ") + item;
        FLog.WriteToLog(lmVerbose, std::string(Indent) + _("Options:  ") + items);
    }
    return ok;
}

int TCopyLoop::CompletePendingCopy(TCopyProps& cp, TFolderState& fs)
{
    int ratio = -1;
    int e = Runner.WaitForCopyThread(FCopyThread, cp.ErrMsg, ratio, Encryption);
    cp.CRatio = ratio;
    if (Runner.LastAbandoned() && Encryption)
        RenewEncryption();
    int kind = e == 0 ? CopyOutcome::Copied : e;
    if ((e & ErrorWord::NumberMask) == ErrorNumber::LowDisk) {
        uint64_t freeBytes = FreeBytes(cp.DDir);
        if (freeBytes < static_cast<uint64_t>(std::max(FTask.TaskBufferSize, 0))) {
            FLog.WriteToLog(lmVerbose,
                            "   => " +
                                SafeFormat(_("%s remaining on drive %s"),
                                           {FormatSize(false, static_cast<int64_t>(freeBytes)), cp.DDir}));
            return CopyOutcome::VolumeFull;
        }
        e = (e & ErrorWord::SeverityMask) + ErrorNumber::Write;
        kind = e;
    }
    if ((e & ErrorWord::Error) != 0 || (e & ErrorNumber::UserBreak) != 0) {
        FLog.WriteErrorToLog(lmVerbose, "B", FormatCopyError(cp.RelName, cp.TName, static_cast<unsigned>(e)),
                             cp.ErrMsg, std::string());
        // The final name is removed only for a copy of this run that failed its verification: a copy
        // that could not take the name left it to whatever took it meanwhile (another run's copy).
        const int low = e & ErrorWord::NumberMask;
        const bool ownFile = cp.TName != cp.EName || low == ErrorNumber::Verify ||
                             low == ErrorNumber::OpenVerify || low == ErrorNumber::Content;
        if (DelTemp && ownFile && XlFileExists(cp.TName, false)) {
            uint32_t d = XlDeleteFile(cp.TName, true);
            if (d == 0)
                FLog.WriteToLog(lmVerbose,
                                std::string(Indent) + SafeFormat(_("File was deleted: \"%s\""), {cp.TName}));
            else
                FLog.WriteErrorToLog(lmShort, "B", SafeFormat(_("Error deleting file: \"%s\""), {cp.TName}),
                                     d);
        }
        return kind;
    }
    bool ok = true;
    bool placed = false;
    if (cp.InTheWay) {
        // The new copy is made: now what held its name goes aside, the copy takes the name, and what
        // was aside is deleted.
        std::string aside = MoveAside(cp.EName);
        if (aside.empty() || ::rename(cp.TName.c_str(), cp.EName.c_str()) != 0) {
            if (!aside.empty())
                ::rename(aside.c_str(), cp.EName.c_str());
            XlDeleteFile(cp.TName, true);
            kind = EngineError::Rename;
            ok = false;
        } else {
            FLog.WriteToLog(lmVerbose,
                            std::string(Indent) +
                                SafeFormat(_("%s was renamed: \"%s\" to \"%s\""),
                                           {_("File"), MakeRelativePath(AddPathDelimiter(cp.DDir), cp.TName),
                                            MakeRelativePath(AddPathDelimiter(cp.DDir), cp.EName)}));
            DeleteAside(aside);
        }
    } else if (cp.DExist) {
        FLog.WriteToLog(lmVerbose,
                        std::string(Indent) +
                            SafeFormat(_("Temporary file was copied successfully: \"%s\""), {cp.TName}));
        // The copy takes the source's times at once, before it takes the place of the old file; until
        // then it is marked as a partial file, which a later run may sweep when this one is killed.
        SetFileTimestamps(cp.TName, cp.Timestamps, false, FTask.cbCreationTime, false);
        EngineFs::SetPartMark(cp.TName, true);
        // inPlace: the old file is replaced by the new copy in one step, so that no moment leaves the
        // file missing
        bool inPlace = false;
        if (FTask.KeepBakCB)
            ok = KeepVersion(cp, fs, inPlace);
        else
            inPlace = XlFileExists(cp.EName, false);
        if (ok && inPlace && !Ops.MayDestroy(cp.EName, "B"))
            ok = false;
        if (ok && inPlace) {
            if (OnStep)
                OnStep("placing");
            if (::rename(cp.TName.c_str(), cp.EName.c_str()) == 0) {
                if (!FTask.KeepBakCB)
                    FLog.WriteToLog(lmVerbose, std::string(Indent) +
                                                   SafeFormat(_("File was deleted: \"%s\""), {cp.EName}));
                FLog.WriteToLog(
                    lmVerbose,
                    std::string(Indent) +
                        SafeFormat(_("%s was renamed: \"%s\" to \"%s\""),
                                   {_("File"), MakeRelativePath(AddPathDelimiter(cp.DDir), cp.TName),
                                    MakeRelativePath(AddPathDelimiter(cp.DDir), cp.EName)}));
                placed = true;
            } else if (!FTask.KeepBakCB && !FileDelete(cp.EName)) {
                kind = DeleteError;
            }
        }
        if (!placed) {
            if (ok && XlFileExists(cp.TName, false) && XlFileExists(cp.EName, false)) {
                std::string ext = FileExtOf(cp.EName);
                cp.EName = InsertNameSuffix(cp.EName.substr(0, cp.EName.size() - ext.size()), "-dup") + ext;
                FLog.WriteErrorToLog(lmVerbose, "B", _("Copying to replacement file") + ": " + cp.EName);
                ok = !XlFileExists(cp.EName, false) ||
                     (!ClaimedByOther(fs, FileNameOf(cp.EName), FileNameOf(cp.SName), _("not replaced")) &&
                      FileDelete(cp.EName));
            }
            if (!ok) {
                kind = EngineError::Rename;
                // the new copy under this run's temporary name does not stay
                if (XlFileExists(cp.TName, false) && XlDeleteFile(cp.TName, true) == 0)
                    FLog.WriteToLog(lmVerbose, std::string(Indent) +
                                                   SafeFormat(_("File was deleted: \"%s\""), {cp.TName}));
            } else {
                if (OnStep)
                    OnStep("placing");
                std::string errMsg;
                if (Ops.MoveFileLogged(cp.DDir, cp.TName, cp.EName, errMsg, lmVerbose, -1) > 0) {
                    cp.ErrMsg = errMsg;
                    kind = EngineError::Rename;
                    ok = false;
                }
            }
        }
    }
    if (ok) {
        CopyFileItems(cp, kind);
        // A new copy is writable and has its archive bit set: a source with the same attributes gives
        // it nothing to change (the verbose log still tells every change).
        const uint32_t attr = cp.SInfo.Attr & 0xFFFF;
        const bool nothingToChange = FLog.CurrentLogMode() != lmVerbose && (attr & faReadOnly) == 0 &&
                                     (attr & faArchive) != 0 && NewFilesWritable();
        if (!FTask.cbNoAttributes && !nothingToChange &&
            Ops.SetAttributesLogged(cp.EName, attr, true, "B") != 0)
            kind = CopyOutcome::CopiedWithWarnings;
        bool checkTime = !FTask.UseArchivCB && FTask.CompareMode == 0;
        uint32_t t = SetFileTimestamps(cp.EName, cp.Timestamps, checkTime, FTask.cbCreationTime, false);
        if (t != 0) {
            kind = CopyOutcome::CopiedWithWarnings;
            FLog.WriteErrorToLog(lmWarningLine, "B",
                                 FormatFileError(EngineError::WarnTime, cp.EName, std::string()), t);
        }
    }
    return kind;
}

void TCopyLoop::WriteStatusLine(const TFolderCounters& c)
{
    std::string text =
        FormatCount(_("No files copied"), _("1 file copied"), _("%u files copied"), c.CopyCount);
    if (c.ErrorCount > 0)
        text += " - " + FormatCount("", _("1 error"), _("%u errors"), c.ErrorCount);
    else if (c.WarnCount > 0)
        text += " - " + FormatCount("", _("1 warning"), _("%u warnings"), c.WarnCount);
    FProgress.WriteStatus(1, text);
}

bool TCopyLoop::ZipEncryptionDiffers(const std::string& path) const
{
    if (!FTask.EncChg)
        return false;
    TGzFileInfo info;
    try {
        if (GetZipFileInfo(path, info) != 0)
            return false;
    } catch (const Exception&) {
        return false;
    }
    return info.Encrypted != (Encryption != nullptr);
}

std::string TCopyLoop::TempNameFor(const std::string& target)
{
    // "." + name + "." + the loop's tag + ".part": hidden, never the name of another run's copy, and
    // marked like the engine's partial files once the copy is made, so that one a killed run left
    // behind is known as the program's own.
    std::string name = FileNameOf(target);
    std::string folder = target.substr(0, target.size() - name.size());
    return folder + "." + Utf8Prefix(name, 200) + "." + FRunTag + ".part";
}

TCopyLoop::TAfterFile TCopyLoop::FinishFileCopy(int kind, TCopyProps& cp, TFolderState& fs,
                                                TFolderCounters& c)
{
    int64_t size = cp.SInfo.Size;
    if (kind == CopyOutcome::VolumeFull && IsZipMethod(FTask.DestMode)) {
        Zip.FullVolume(fs.Prompt);
        FLog.WriteToLog("  *** " + _("Canceled because of full destination volume"));
        FControl.SetStopped(true);
        BuStatus = bsFull;
        return afStop;
    }
    if (kind == CopyOutcome::VolumeFull) {
        if (fs.Prompt) {
            FControl.SetLockStatus(1);
            for (;;) {
                std::string text =
                    _("The destination volume is full!\r\nInsert new media and continue backup?") + "\r\n" +
                    _("Next File: ") + cp.RelName;
                if (!FInteraction.Confirm(text))
                    break;
                if (Ops.CreateDirectoryLogged(fs.DestBase, "B", true) &&
                    Ops.CreateDirectoryLogged(AddPathDelimiter(fs.DestBase) + fs.RelDir, "B", true)) {
                    FLog.WriteToLog(std::string(Indent) + _("Storage medium changed at: ") + cp.RelName);
                    FControl.SetLockStatus(0);
                    FCurDir.clear();
                    return afCopyAgain;
                }
            }
            FControl.SetLockStatus(0);
        }
        FLog.WriteToLog("  *** " + _("Canceled because of full destination volume"));
        FControl.SetStopped(true);
        BuStatus = bsFull;
        return afStop;
    }
    bool kept = (cp.SInfo.Attr & faArchive) != 0;
    FProgress.SetElapsedTime(Now() - StartTime);
    if (kind == CopyOutcome::Copied) {
        c.CopiedBytes += size;
        ++c.CopyCount;
        std::string f;
        if (FTask.ResArchivCB) {
            int attr = XlFileGetAttr(cp.SName, true);
            uint32_t e = attr < 0 ? LastWinError() : 0;
            if (attr >= 0 && (attr & faArchive) != 0)
                e = XlChangeFileAttr(cp.SName, faArchive, true, true);
            if (e == 0) {
                f = "(A";
                kept = false;
            } else {
                FLog.WriteErrorToLog(lmShort, "B",
                                     SafeFormat(_("Error setting attributes of \"%s\""), {cp.SName}) + " (" +
                                         FileAttrToStr((cp.SInfo.Attr & ~faArchive) & 0xFFFF) + ")",
                                     e);
                ++c.ErrorCount;
            }
        }
        if (cp.DExist)
            f = f.empty() ? "(U" : f + ",U";
        if (cp.CRatio < 0) {
            if (!f.empty())
                f += ")";
        } else {
            std::string r = FormatFloatFixed(cp.CRatio / 10.0, 1, false) + "%)";
            f = f.empty() ? "(" + r : f + " - " + r;
        }
        if (FTask.cbSourceDelete && IsZipMethod(FTask.DestMode)) {
            // the file goes once its archive is in place
            Zip.DeferSourceDeletion(cp.SName);
        } else if (FTask.cbSourceDelete) {
            std::string trashedAs;
            uint32_t e = MoveToTrash(cp.SName, &trashedAs);
            if (e == 0) {
                f += " - " + _("Source deleted");
                FLog.WriteToLog(lmVerbose,
                                std::string(Indent) +
                                    SafeFormat(_("File was moved to Recycle Bin: \"%s\""), {cp.SName}));
            } else {
                FLog.WriteErrorToLog(lmShort, "B", _("Could not delete source file: ") + cp.SName, e);
                ++c.ErrorCount;
            }
        }
        WriteStatusLine(c);
        std::string line = FTask.cbVerify && !IsZipMethod(FTask.DestMode)
                               ? _("Copied and verified: \"%s\" %s")
                               : _("Copied: \"%s\" %s");
        std::string indent = FLog.CurrentLogMode() == lmVerbose ? "     -> " : Indent;
        FLog.WriteToLog(lmLong, indent + SafeFormat(line, {cp.RelName, f}));
    } else {
        int b = kind & ErrorWord::NumberMask;
        if ((kind & ErrorWord::Error) != 0) {
            c.FailedBytes += size;
            ++c.ErrorCount;
        } else if ((kind & ErrorWord::Warning) != 0) {
            c.CopiedBytes += size;
            ++c.WarnCount;
            ++c.CopyCount;
        }
        WriteStatusLine(c);
        if (b == ErrorNumber::TimeOut) {
            --TimeOutCount;
            if (fs.Prompt)
                FControl.SetStopped(
                    FInteraction.Confirm(_("Time out while copying files!\r\nCancel backup?")));
            else
                FControl.SetStopped(TimeOutCount <= 0);
            if (FControl.Stopped())
                BuStatus = bsCanceled;
        }
        if (IsZipMethod(FTask.DestMode)) {
            // A per-folder archive of a stopped run or a terminated entry never remains; a write error
            // on a zip destination stops the run.
            if (b == ErrorNumber::UserBreak || b == ErrorNumber::FtpClosed || FControl.Stopped()) {
                if (MakesFolderArchives(FTask.DestMode))
                    Zip.DiscardFolderArchive();
            } else if (b == ErrorNumber::LowDisk) {
                FControl.SetStopped(true);
            }
        }
        int level = FLog.CurrentLogMode();
        if (level < lmVerbose) {
            if ((kind & ErrorWord::Error) == 0) {
                if (b != 0)
                    FLog.WriteErrorToLog(lmWarningLine, "B",
                                         FormatCopyError(cp.RelName, cp.TName, static_cast<unsigned>(kind)),
                                         cp.ErrMsg, std::string());
                if ((kind & ErrorWord::Warning) != 0)
                    FLog.WriteToLog(lmLong, std::string(Indent) +
                                                SafeFormat(_("Copied: \"%s\" %s"), {cp.RelName, ""}));
            } else if (!(b == ErrorNumber::Delete && level == lmLong)) {
                FLog.WriteErrorToLog(lmShort, "B",
                                     FormatCopyError(cp.RelName, cp.TName, static_cast<unsigned>(kind)),
                                     cp.ErrMsg, std::string());
            }
        } else if (kind == CopyOutcome::CopiedWithWarnings) {
            FLog.WriteToLog(lmVerbose, "     -> " + SafeFormat(_("Copied: \"%s\" %s"), {cp.RelName, ""}));
        }
    }
    fs.ArchiveKept = fs.ArchiveKept || kept;
    return FControl.Stopped() ? afStop : afGoOn;
}

void TCopyLoop::ShowRunProgress(const TFolderCounters& c)
{
    FProgress.SetElapsedTime(Now() - StartTime);
    if (TotalSize > 0) {
        const double done = static_cast<double>(SizeProgress ? c.TotalBytes : c.FileCount);
        FProgress.SetTotalProgress(
            static_cast<int>(std::lround(100.0 / static_cast<double>(TotalSize) * done)));
    }
}

void TCopyLoop::LoadDestListing(TFolderState& fs, const std::string& destDir)
{
    TDestListing& d = fs.Dest;
    if (d.Loaded && d.Dir == destDir)
        return;
    d.Close();
    d.Names.clear();
    d.Exists = false;
    d.Dir = destDir;
    d.Loaded = true;
    DIR* dir = ::opendir(destDir.c_str());
    if (!dir)
        return;
    d.Handle = dir;
    d.Exists = true;
    bool parts = false;
    while (struct dirent* e = ::readdir(dir)) {
        std::string name = e->d_name;
        if (name == "." || name == "..")
            continue;
        parts = parts || IsEnginePartName(name);
        d.Names.insert(std::move(name));
    }
    if (parts)
        RemoveStaleParts(fs);
}

void TCopyLoop::TDestListing::Close()
{
    if (Ahead)
        Ahead->Stop(AheadJob);
    Ahead = nullptr;
    if (Handle)
        ::closedir(static_cast<DIR*>(Handle));
    Handle = nullptr;
}

int TCopyLoop::TDestListing::Fd() const
{
    return Handle ? ::dirfd(static_cast<DIR*>(Handle)) : AT_FDCWD;
}

void TCopyLoop::RemoveStaleParts(TFolderState& fs)
{
    // Partial copies that a killed run left behind: older than this run, and no file of that name is
    // being backed up from the source folder.
    std::vector<std::string> gone;
    for (const auto& name : fs.Dest.Names) {
        if (!IsEnginePartName(name) || XlFileExists(fs.SrcDir + name, false))
            continue;
        if (!EngineFs::IsMarkedPart(AddPathDelimiter(fs.Dest.Dir) + name) ||
            !Ops.MayDestroy(AddPathDelimiter(fs.Dest.Dir) + name, "B"))
            continue;
        std::string path = AddPathDelimiter(fs.Dest.Dir) + name;
        TPosixFileData data;
        if (ReadFileData(path, false, data) != 0 || (data.Attr & faDirectory) != 0 ||
            FileTimeToLocalDateTime(data.LastWriteTime) >= StartTime)
            continue;
        if (XlDeleteFile(path, true) == 0) {
            FLog.WriteToLog(lmVerbose,
                            std::string(Indent) + SafeFormat(_("File was deleted: \"%s\""), {path}));
            gone.push_back(name);
        }
    }
    for (const auto& name : gone)
        fs.Dest.Names.erase(name);
}

void TCopyLoop::SetParentTimestamps(const std::string& destDir, const std::string& srcDir)
{
    // From the new destination folder upwards to the part it shares with the last one, each folder
    // gets the times of its source folder. The run's root and what lies above it keep their times.
    std::string root = StripDelimiter(GetCommonRoot(destDir, FCurDir));
    std::string base = StripDelimiter(BaseDir);
    std::string d = StripDelimiter(destDir);
    std::string sdir = StripDelimiter(srcDir);
    while (!d.empty() && d != root && d.size() > base.size() && d.compare(0, base.size(), base) == 0 &&
           !sdir.empty() && sdir != "/") {
        TFileTimestamps ts;
        GetDirTimestamps(sdir, true, ts);
        if (ts.Valid) {
            uint32_t e = SetFileTimestamps(d, ts, false, FTask.cbCreationTime, true);
            if (e != 0)
                FLog.WriteErrorToLog(lmWarningLine, "B",
                                     FormatFileError(EngineError::WarnTime, d, std::string()), e);
            else
                FLog.WriteToLog(lmVerbose, std::string(Indent) + SafeFormat(_("Set timestamp: \"%s\" => %s"),
                                                                            {d, TimeText(ts.LastWriteTime)}));
        }
        std::string nd = StripDelimiter(GetParentDir(d));
        std::string ns = StripDelimiter(GetParentDir(sdir));
        if (nd.size() >= d.size() || ns.size() >= sdir.size())
            break;
        d = nd;
        sdir = ns;
    }
}

void TCopyLoop::BackupEntry(TExtensionList& list, const std::string& srcDir, const std::string& destDir,
                            bool prompt, TFolderCounters& counters)
{
    Runner.CopyTimeout = std::max(FTask.CopyTimeout, 0);
    Runner.FullSpeed = FTask.FullSpeed;
    Runner.MaxRate = std::max(FTask.MaxRate, 0);
    Runner.SizeProgress = SizeProgress;
    Runner.TotalSize = TotalSize;
    Runner.StartTime = StartTime;
    if (MakeEncryption && !Encryption) {
        FOwnedEncryption = MakeEncryption();
        Encryption = FOwnedEncryption.get();
    }
    // a copy thread left running by a stopped folder of an earlier entry is not waited for again
    FCopyThread.reset();
    TPosixFileData data;
    uint32_t attr = 0;
    TFileTimestamps ts;
    if (ReadFileData(srcDir, true, data) == 0) {
        attr = data.Attr;
        ts = TimestampsOf(data);
    }
    TFolderCounters before = counters;
    FCollisions = 0;
    BackupDirectory(srcDir, destDir, std::string(), ts, attr, false, prompt, counters, list);
    counters.ErrorCount += FCollisions;
    FCollisions = 0;
    // A folder's archive that a stop left unfinished never remains.
    Zip.DiscardFolderArchive();
    list.ICount = static_cast<int32_t>(counters.FileCount - before.FileCount);
    list.IBytes = counters.TotalBytes - before.TotalBytes;
}

void TCopyLoop::RememberDestinationFolders(const std::string& destBase)
{
    FDestFolders.clear();
    FDestPaths.clear();
    for (const std::string& dir : {BaseDir, destBase}) {
        if (dir.empty())
            continue;
        FDestPaths.push_back(StripDelimiter(dir));
        TPosixFileData data;
        if (ReadFileData(FDestPaths.back(), true, data) == 0)
            FDestFolders.emplace_back(data.Dev, data.Ino);
    }
}

bool TCopyLoop::IsDestinationFolder(const std::string& path, const TPosixFileData& data) const
{
    for (const auto& [dev, ino] : FDestFolders)
        if (data.Dev == dev && data.Ino == ino)
            return true;
    // a destination made during the walk
    for (const std::string& p : FDestPaths)
        if (p == path)
            return true;
    return false;
}

void TCopyLoop::BackupDirectory(const std::string& srcBase, const std::string& destBase,
                                const std::string& relDir, TFileTimestamps dirTimestamps, uint32_t dirAttr,
                                bool parentIncluded, bool prompt, TFolderCounters& c, TExtensionList& list)
{
    TFolderState fs;
    fs.SrcBase = srcBase;
    fs.DestBase = destBase;
    fs.RelDir = relDir;
    fs.SrcDir = AddPathDelimiter(AddPathDelimiter(srcBase) + relDir);
    fs.DestDir = relDir.empty() ? StripDelimiter(destBase) : AddPathDelimiter(destBase) + relDir;
    fs.DirTimestamps = dirTimestamps;
    fs.DirAttr = dirAttr;
    fs.ParentIncluded = parentIncluded;
    fs.Prompt = prompt;
    fs.Entries = &fs.EntryList;

    // Links below the entry's folder: skipped, recorded in an information file or read through.
    TJunctionRootScope junctionScope(FJunctionRoot, fs.SrcDir, relDir.empty());
    if (!SelectFolder(fs, junctionScope.Parent(), c, list))
        return;
    if (WalkSubFolders(fs, c, list)) {
        bool goOn = true;
        if (PrepareFilePass(fs, c, list)) {
            goOn = RunFilePass(fs, c, list);
            if (goOn) {
                FControl.Checkpoint();
                goOn = FinishFolder(fs, c);
            }
        }
        if (goOn)
            UpdateTotalAmount(c);
    }
    if (Ftp)
        LeaveFtpFolder(fs, c);
}

bool TCopyLoop::SelectFolder(TFolderState& fs, const std::string& junctionParent, TFolderCounters& c,
                             TExtensionList& list)
{
    const std::string& relDir = fs.RelDir;
    if (list.IncludeDirs) {
        fs.Selected = relDir.empty() || fs.ParentIncluded || list.SubDirList.IndexOf(fs.SrcDir) >= 0;
        fs.ParentIncluded = fs.Selected && !relDir.empty();
    } else {
        fs.Selected = list.SubDirList.IndexOf(fs.SrcDir) < 0;
    }
    if (!relDir.empty() && (fs.DirAttr & faReparsePoint) != 0) {
        if (!fs.Selected)
            return false;
        TLinkFolderStep link = HandleLinkFolder(FTask, TLinkContext{BaseDir, FTask.BuFtp, nullptr}, FLog, Ops,
                                                fs.SrcDir, fs.DestDir, fs.DirAttr, junctionParent);
        c.ErrorCount += link.Errors;
        if (link.Skip)
            return false;
        if (link.IsLink)
            FJunctionRoot = link.JunctionRoot;
        if (link.ReRoot) {
            BackupDirectory(link.SrcBase, link.DestBase, std::string(), link.DirTimestamps, link.DirAttr,
                            fs.ParentIncluded, fs.Prompt, c, list);
            return false;
        }
    }
    if (fs.Selected) {
        FLog.WriteToLog(lmVerbose, std::string(Indent) +
                                       SafeFormat(_("Current directory: \"%s\""), {fs.SrcDir}) + " (" +
                                       FileAttrToStr(fs.DirAttr) + ")");
        if (Ftp && !WritesRunArchive(FTask.DestMode)) {
            if (!EnterFtpFolder(fs, c))
                return false;
        } else if (WritesRunArchive(FTask.DestMode) && (!relDir.empty() || !FTask.cbDelDir)) {
            // The run's archive gets the folder's directory entry instead of a destination folder.
            if (!Zip.AddDir(fs.SrcDir))
                fs.Selected = false;
        } else if (!WritesRunArchive(FTask.DestMode) && !FTask.cbDelDir) {
            if (!MakeWayForFolder(fs.DestDir) ||
                !Ops.CreateDirectoryLogged(fs.DestDir, "B", !relDir.empty())) {
                ++c.ErrorCount;
                fs.Selected = false;
            }
        }
    } else {
        std::string key = list.IncludeDirs ? _("Not selected: \"%s\"") : _("Excluded directory: \"%s\"");
        FLog.WriteToLog(lmVerbose, std::string(Indent) + SafeFormat(key, {fs.SrcDir}) + " (" +
                                       FileAttrToStr(fs.DirAttr) + ")");
    }
    return true;
}

bool TCopyLoop::WalkSubFolders(TFolderState& fs, TFolderCounters& c, TExtensionList& list)
{
    // Sub-folders first. The folder is read once: the names serve the file pass as well.
    if ((!fs.Selected && !list.IncludeDirs) || FControl.Stopped())
        return true;
    const std::string& srcDir = fs.SrcDir;
    int code = ReadFolderEntries(srcDir, fs.EntryList);
    fs.EntriesRead = true;
    if (fs.RelDir.empty() && !Ftp)
        RememberDestinationFolders(fs.DestBase);
    std::string lastName;
    for (const auto& e : fs.EntryList) {
        if (FControl.Stopped())
            break;
        if (e.Type != DT_DIR && e.Type != DT_LNK && e.Type != DT_UNKNOWN)
            continue;
        TPosixFileData data;
        const uint32_t rc = ReadFileData(srcDir + e.Name, false, data);
        if (rc != 0 && rc != WinError::ERROR_FILE_NOT_FOUND && rc != WinError::ERROR_PATH_NOT_FOUND &&
            e.Type == DT_DIR) {
            // a folder that cannot be read (too deep a path, no permission to enter) is no success
            FLog.WriteErrorToLog(lmShort, "B", SafeFormat(DirErrorFormat(rc), {srcDir + e.Name + "/"}), rc);
            ++c.ErrorCount;
            continue;
        }
        if (rc != 0 || (data.Attr & faDirectory) == 0)
            continue;
        if (IsDestinationFolder(srcDir + e.Name, data)) {
            // The backup lies inside its own source: it is never backed up into itself.
            FLog.WriteToLog(lmVerbose,
                            std::string(Indent) +
                                SafeFormat(_("Excluded directory: \"%s\""), {srcDir + e.Name + "/"}) + " (" +
                                FileAttrToStr(data.Attr) + ")");
            continue;
        }
        lastName = e.Name;
        BackupDirectory(fs.SrcBase, fs.DestBase, JoinPath(fs.RelDir, e.Name), TimestampsOf(data), data.Attr,
                        fs.ParentIncluded, fs.Prompt, c, list);
        if (BuStatus == bsFull)
            break;
    }
    if (FControl.Stopped())
        return false;
    if (code != 0) {
        if (fs.Selected || !list.IncludeDirs) {
            FLog.WriteErrorToLog(lmShort, "B",
                                 SafeFormat(DirErrorFormat(static_cast<uint32_t>(code)), {srcDir}) + " (" +
                                     lastName + ")",
                                 static_cast<uint32_t>(code));
            ++c.ErrorCount;
        }
        fs.Selected = false;
    }
    return true;
}

bool TCopyLoop::PrepareFilePass(TFolderState& fs, TFolderCounters& c, const TExtensionList& list)
{
    const bool folderZip = MakesFolderArchives(FTask.DestMode);
    bool examine = fs.Selected && !(list.IncludeDirs && fs.RelDir.empty() && !folderZip);
    if (examine && !FControl.Stopped() && folderZip)
        examine = Zip.OpenFolderArchive(fs.DestDir, fs.SrcDir, fs.RelDir, c, Ops);
    if (!examine || FControl.Stopped())
        return false;
    FProgress.SetPrompt(fs.SrcDir);
    FLog.WriteToLog(lmVerbose, std::string(Indent) + SafeFormat(_("Scan for files in \"%s\""), {fs.SrcDir}));
    return true;
}

void TCopyLoop::StopAhead(TFilePass& pass)
{
    if (pass.AheadJob != 0)
        FStatAhead->Stop(pass.AheadJob);
    pass.AheadJob = 0;
}

void TCopyLoop::StartStatAhead(TFilePass& pass, TFolderState& fs)
{
    // The statuses of the files that have a copy are read on a helper thread while this one reads the
    // sources'. Only until the loop writes or deletes in the destination folder: it stops the helper
    // first, so that nothing out of date is compared.
    const std::vector<TFolderEntry>& entries = fs.EntryList;
    if (IsZipMethod(FTask.DestMode) || entries.size() < StatAheadMinimum)
        return;
    LoadDestListing(fs, fs.DestDir);
    std::vector<std::string> names(entries.size());
    size_t wanted = 0;
    for (size_t i = 0; i < entries.size(); ++i) {
        if (entries[i].Type != DT_DIR && fs.Dest.Has(entries[i].Name)) {
            names[i] = entries[i].Name;
            ++wanted;
        }
    }
    if (wanted < StatAheadMinimum)
        return;
    if (!FStatAhead)
        FStatAhead = std::make_unique<TStatAhead>();
    pass.AheadJob = FStatAhead->Start(fs.Dest.Fd(), AddPathDelimiter(fs.DestDir), std::move(names),
                                      pass.Level == lmVerbose);
    fs.Dest.Ahead = FStatAhead.get();
    fs.Dest.AheadJob = pass.AheadJob;
}

bool TCopyLoop::RunFilePass(TFolderState& fs, TFolderCounters& c, TExtensionList& list)
{
    // Each entry is looked up in the open folder; the archive mark is read only where something asks
    // for the archive bit.
    TFilePass pass;
    pass.Level = FLog.CurrentLogMode();
    // "Tagged only": the entry's own folder is examined only for a per-folder archive, which the
    // entry's folder always gets, and none of its files is selected.
    pass.NoneSelected = MakesFolderArchives(FTask.DestMode) && list.IncludeDirs && fs.RelDir.empty();
    pass.NamesFold = !IsZipMethod(FTask.DestMode) && NamesMayFold();
    pass.TimestampName = AddPathDelimiter(BaseDir) + TimestampFileName;
    pass.NeedArchive = FTask.UseArchivCB || FTask.ResArchivCB || pass.Level == lmVerbose ||
                       list.Attributes.Archive != amIgnore;
    pass.NeedTimes = SelectionUsesTimes(list, Selection);
    int code = fs.EntriesRead ? 0 : ReadFolderEntries(fs.SrcDir, fs.EntryList);
    TFolderHandle folder(code == 0 ? ::open(fs.SrcDir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1);
    if (code == 0 && folder.Fd < 0)
        code = static_cast<int>(LastWinError());
    pass.FolderFd = folder.Fd;
    // The run's archive is built locally and uploaded once it is finished: its folders are not read.
    if (Ftp && !WritesRunArchive(FTask.DestMode) && !ReadFtpFolder(fs, c))
        return false;
    if (code == 0 && !Ftp)
        StartStatAhead(pass, fs);
    for (size_t index = 0; code == 0 && index < fs.EntryList.size(); ++index) {
        const TFileStep step = ExamineFile(pass, fs, index, c, list);
        if (step == fsEndPass)
            break;
        if (step == fsLeaveFolder) {
            StopAhead(pass);
            return false;
        }
    }
    StopAhead(pass);
    if (code != 0 && code != static_cast<int>(WinError::ERROR_NO_MORE_FILES)) {
        FLog.WriteErrorToLog(lmShort, "B", _("Error scanning directory: ") + fs.SrcDir,
                             static_cast<uint32_t>(code));
        ++c.ErrorCount;
    }
    return true;
}

void TCopyLoop::ReadArchiveBit(const TFilePass& pass, TPassFile& f)
{
    // the archive bit of a file that is about to be copied or given attributes
    if (!pass.NeedArchive && IsArchiveBitSet(f.SourcePath, f.Data, false))
        f.Data.Attr = (f.Data.Attr & ~faNormal) | faArchive;
}

TCopyLoop::TFileStep TCopyLoop::ExamineFile(TFilePass& pass, TFolderState& fs, size_t index,
                                            TFolderCounters& c, TExtensionList& list)
{
    const TFolderEntry& entry = fs.EntryList[index];
    const std::string& name = entry.Name;
    FControl.WaitWhilePaused();
    if (entry.Type == DT_DIR || !IsNotDotEntry(name) || utf8::SameText(name, LockName))
        return fsNextFile;
    TPassFile f;
    f.Index = index;
    f.Name = name;
    f.RelName = JoinPath(fs.RelDir, name);
    f.SourcePath = fs.SrcDir + name;
    TPosixFileData& fd = f.Data;
    // a file that vanished since the folder was read is not there any more; one that cannot be read
    // is an error
    const uint32_t rc = ReadFileDataAt(pass.FolderFd, name, f.SourcePath, false, pass.NeedArchive, fd);
    if (rc != 0 && rc != WinError::ERROR_FILE_NOT_FOUND && rc != WinError::ERROR_PATH_NOT_FOUND) {
        FLog.WriteErrorToLog(lmShort, "B", SafeFormat(_("Error reading file: \"%s\""), {f.RelName}), rc);
        ++c.ErrorCount;
        return fsNextFile;
    }
    if (rc != 0 || (fd.Attr & (faDirectory | faVolumeID)) != 0)
        return fsNextFile;
    // A link to a file is backed up as the file it points to; pipes, sockets, devices and links to
    // nothing are never opened (a pipe would wait for a writer for ever).
    if (S_ISLNK(fd.Mode)) {
        TPosixFileData target;
        if (ReadFileDataAt(pass.FolderFd, name, f.SourcePath, true, pass.NeedArchive, target) == 0 &&
            S_ISREG(target.Mode))
            fd = target;
    }
    if (!S_ISREG(fd.Mode)) {
        FLog.WriteToLog(lmLong, std::string(Indent) +
                                    SafeFormat(_("Skipped - not a regular file: \"%s\""), {f.RelName}));
        return fsNextFile;
    }
    f.N = ChangeTextCase(name, FTask.FnMode);
    if (FTask.ReplMode == cpSimple)
        f.N = ReplaceIllegalChars(f.N, static_cast<char32_t>(FTask.ReplChar));
    f.ArchiveSet = (fd.Attr & faArchive) != 0;
    TSelFileInfo info;
    info.Name = name;
    info.Size = fd.Size;
    info.Attr = fd.Attr;
    if (pass.NeedTimes) {
        info.DateTime = FileTimeToLocalDateTime(fd.LastWriteTime);
        info.CreationTime = FileTimeToLocalDateTime(fd.CreationTime);
    }
    const bool fileSelected = !pass.NoneSelected && ExtensionMatches(name, list, f.Ext) &&
                              FileMatchesSelection(info, list, Selection);
    if (!fileSelected) {
        FProgress.SetElapsedTime(Now() - StartTime);
        FLog.WriteToLog(lmVerbose, std::string(Indent) + SafeFormat(_("Not selected: \"%s\""), {f.RelName}) +
                                       " (" + FormatSize(false, fd.Size) + AttrText(fd.Attr) + ")");
        return fsNextFile;
    }
    if (FTask.UseArchivCB && (FTask.cbArchFile || FTask.ClearDest || IsZipMethod(FTask.DestMode)) &&
        !f.ArchiveSet) {
        c.TotalBytes += fd.Size;
        ++c.FileCount;
        FProgress.SetElapsedTime(Now() - StartTime);
        FLog.WriteToLog(lmVerbose,
                        std::string(Indent) +
                            SafeFormat(_("Skipped - archive bit not set at source: \"%s\""), {f.RelName}));
        return fsNextFile;
    }
    f.Compressed = FTask.cbCompress && FTask.AktNoComp.IndexOf(f.Ext) < 0;
    if (IsZipMethod(FTask.DestMode))
        return BackupFileToZip(pass, f, fs, c);
    if (Ftp)
        return BackupFileToFtp(pass, f, fs, c);
    return BackupFileToFolder(pass, f, fs, c);
}

TCopyLoop::TFileStep TCopyLoop::BackupFileToZip(const TFilePass& pass, TPassFile& f, TFolderState& fs,
                                                TFolderCounters& c)
{
    // The file goes into the open archive.
    ReadArchiveBit(pass, f);
    const TPosixFileData& fd = f.Data;
    c.TotalBytes += fd.Size;
    ++c.FileCount;
    TCopyProps& cp = fs.Pending;
    cp = TCopyProps();
    cp.SName = cp.RName = f.SourcePath;
    cp.DName = cp.EName = f.N;
    cp.DDir = fs.DestDir;
    cp.RelName = f.RelName;
    cp.SInfo = fd;
    cp.Timestamps = TimestampsOf(fd);
    cp.Valid = true;
    cp.Compressed = f.Compressed;
    FProgress.SetPrompt(f.SourcePath);
    FLog.WriteToLog(lmVerbose, std::string(Indent) + _("Add to zip archive: ") + f.N);
    int kind = Zip.AddFile(cp.RName, cp.SName, fd, f.Compressed, cp.ErrMsg, cp.CRatio);
    if (kind == CopyOutcome::Copied)
        ++fs.ZipAdded;
    else if (kind != CopyOutcome::VolumeFull)
        FLog.WriteErrorToLog(lmVerbose, "B", FormatFileError(static_cast<unsigned>(kind), f.RelName, ""),
                             cp.ErrMsg, std::string());
    TAfterFile r = FinishFileCopy(kind, cp, fs, c);
    cp.Valid = false;
    if (r != afStop)
        ShowRunProgress(c);
    if (r == afStop || FControl.Stopped())
        return fsLeaveFolder;
    FControl.Checkpoint();
    return fsNextFile;
}

TCopyLoop::TFileStep TCopyLoop::BackupFileToFolder(TFilePass& pass, TPassFile& f, TFolderState& fs,
                                                   TFolderCounters& c)
{
    const TPosixFileData& fd = f.Data;
    TFileCompare cmp;
    cmp.FormExt = DestFormExt(f.Compressed);
    cmp.DName = AddPathDelimiter(fs.DestDir) + f.N;
    cmp.Target = cmp.DName + cmp.FormExt;
    // Two files of the folder that the task stores under one name, or a file stored under the name of
    // the run's time-stamp file: neither overwrites the other.
    bool collision = pass.NamesFold && ClaimedByOther(fs, f.N + cmp.FormExt, f.Name, _("not backed up"));
    if (!collision && cmp.Target == pass.TimestampName) {
        FLog.WriteErrorToLog(
            lmShort, "B",
            SafeFormat(_("Name collision: \"%s\" is the time-stamp file of the backup"), {f.RelName}),
            _("not backed up"), std::string());
        ++FCollisions;
        collision = true;
    }
    if (collision) {
        c.FailedBytes += fd.Size;
        c.TotalBytes += fd.Size;
        ++c.FileCount;
        return fsNextFile;
    }
    CompareWithCopy(pass, f, fs, cmp);
    if (cmp.Copy) {
        const TFileStep step = CopyFileToFolder(pass, f, fs, cmp, c);
        if (step != fsNextFile)
            return step;
    } else if (cmp.Action == 5 && !FTask.cbNoAttributes) {
        ReadArchiveBit(pass, f);
        FLog.WriteToLog(lmVerbose, std::string(DeepIndent) + AttrText(fd.Attr) + " " +
                                       TimeText(fd.LastWriteTime) + " -> " + FileAttrToStr(cmp.Dest.Attr) +
                                       " " + TimeText(cmp.Dest.LastWriteTime));
        Ops.SetAttributesLogged(cmp.Target, fd.Attr & 0xFFFF, false, "B");
        ShowRunProgress(c);
    } else if (cmp.Action == 4) {
        FLog.WriteErrorToLog(
            lmShort, "B",
            SafeFormat(_("File size exceeds maximum of 4GB for FAT32 destinations: \"%s\""), {f.RelName}) +
                " (" + FormatSize(false, fd.Size) + ")");
        c.FailedBytes += fd.Size;
        ++c.ErrorCount;
        ShowRunProgress(c);
    } else {
        FileIsUpToDate(pass, f, fs, cmp, c);
    }
    c.TotalBytes += fd.Size;
    ++c.FileCount;
    if (FControl.Stopped()) {
        TCopyProps& cp = fs.Pending;
        if (FCopyThread && cp.Valid) {
            // the copy that runs is cancelled; it removes its partial file itself
            FCopyThread->SetPaused(false);
            FCopyThread->CancelThread();
            FinishFileCopy(CompletePendingCopy(cp, fs), cp, fs, c);
            cp.Valid = false;
        }
        return fsLeaveFolder;
    }
    FControl.Checkpoint();
    return fsNextFile;
}

void TCopyLoop::CompareWithCopy(const TFilePass& pass, const TPassFile& f, TFolderState& fs,
                                TFileCompare& cmp)
{
    const TPosixFileData& fd = f.Data;
    // The folder is read once, so that a missing file costs no look-up of its own.
    LoadDestListing(fs, fs.DestDir);
    TPosixFileData& dd = cmp.Dest;
    const std::string destName = f.N + cmp.FormExt;
    if (fs.Dest.Has(destName)) {
        uint32_t dCode = 0;
        if (pass.AheadJob == 0 || !FStatAhead->Take(pass.AheadJob, f.Index, destName, dd, dCode))
            dCode = ReadFileDataAt(fs.Dest.Fd(), destName, cmp.Target, false, pass.Level == lmVerbose, dd);
        cmp.DExist = dCode == 0 && (dd.Attr & (faDirectory | faReparsePoint)) == 0;
        cmp.InTheWay = dCode == 0 && !cmp.DExist;
    }
    cmp.LwTime = cmp.DExist ? dd.LastWriteTime : 0;
    bool z = true;
    if (FTask.UseArchivCB) {
        cmp.Comparison = 4;
        z = (FTask.cbArchFile || FTask.ClearDest) ? f.ArchiveSet : (f.ArchiveSet || !cmp.DExist);
    } else if (cmp.DExist) {
        if (!FTask.cbNoAttributes && ((fd.Attr ^ dd.Attr) & (faReadOnly | faHidden | faSysFile)) != 0)
            cmp.Action = 5;
        if (FTask.CompareMode == 3) {
            cmp.Comparison = 3;
        } else {
            int64_t d = FileTimeToUnixTime(fd.LastWriteTime) - FileTimeToUnixTime(dd.LastWriteTime);
            bool dst = (FTask.DstIgnore & 1) != 0;
            if (FTask.CompareMode == 0) {
                z = d > FTask.DeltaTime;
                if (z && dst)
                    z = std::llabs(d - 3600) > FTask.DeltaTime;
                // A plain copy of another size than its source is stale whatever its time says: the
                // file was rewritten within the tolerance, or was still being written.
                if (!z && cmp.FormExt.empty() && dd.Size != fd.Size)
                    z = true;
            } else {
                z = std::llabs(d) > FTask.DeltaTime;
                if (z && dst)
                    z = std::llabs(std::llabs(d) - 3600) > FTask.DeltaTime;
                if (!z && FTask.CompareMode == 2)
                    cmp.Comparison = 3;
            }
            if (z)
                cmp.Comparison = 1;
        }
        if (cmp.Comparison == 3) {
            int64_t plain = GetStoredPlainSize(cmp.Target, f.Compressed, dd.Size);
            z = fd.Size > 0 && plain > 0 && plain != fd.Size;
        }
        if (!z && FTask.cbZipCompress)
            z = ZipEncryptionDiffers(cmp.Target);
    }
    if (z && !f.Compressed && (TargetType == fsFat || TargetType == fsNotAvail) &&
        fd.Size >= (int64_t(1) << 32)) {
        z = false;
        cmp.Action = 4;
    }
    cmp.Copy = z;
}

TCopyLoop::TFileStep TCopyLoop::CopyFileToFolder(TFilePass& pass, TPassFile& f, TFolderState& fs,
                                                 const TFileCompare& cmp, TFolderCounters& c)
{
    const TPosixFileData& fd = f.Data;
    const std::string& destDir = fs.DestDir;
    TCopyProps& cp = fs.Pending;
    StopAhead(pass);
    if (FCopyThread && cp.Valid) {
        TAfterFile r = FinishFileCopy(CompletePendingCopy(cp, fs), cp, fs, c);
        cp.Valid = false;
        if (r == afStop)
            return fsLeaveFolder;
        ShowRunProgress(c);
    }
    if (FControl.Stopped())
        return fsNextFile;
    std::string tName = cmp.Target;
    if (cmp.DExist || cmp.InTheWay)
        tName = TempNameFor(cmp.Target);
    if (pass.Level == lmVerbose) {
        FLog.WriteToLog(lmVerbose,
                        std::string(Indent) +
                            SafeFormat(GetCopyActionText(false, f.Compressed, Encryption != nullptr),
                                       {f.RelName, FormatSize(false, fd.Size), tName}) +
                            " [" + CopyOptionLetters(f.Compressed) + "]");
        std::string outcome = !cmp.DExist           ? _("not present")
                              : cmp.Comparison == 4 ? _("Archive bit is set")
                              : cmp.Comparison == 3 ? "(" + FormatSize(false, cmp.Dest.Size) + ")"
                                                    : TimeText(cmp.Dest.LastWriteTime);
        FLog.WriteToLog(lmVerbose, std::string(DeepIndent) + AttrText(fd.Attr) + " " +
                                       TimeText(fd.LastWriteTime) + " -> " + outcome);
    }
    FProgress.SetPrompt(f.SourcePath);
    // Other forms of the same file that a former setting left behind; a form that is the copy of a
    // source file of its own stays.
    for (const char* other : {"", ".zip", ".gz", ".gze", ".enc"}) {
        if (cmp.FormExt == other || !fs.Dest.Has(f.N + other))
            continue;
        if (*other && XlFileExists(fs.SrcDir + f.Name + other, false))
            continue;
        if (pass.NamesFold && ClaimedNames(fs).count(f.N + other) != 0)
            continue;
        if (!Ops.MayDestroy(cmp.DName + other, "B"))
            continue;
        if (XlDeleteExistingFile(cmp.DName + other, true) == 0)
            fs.Dest.Names.erase(f.N + other);
    }
    bool folderOk = true;
    if (!utf8::SameText(destDir, FCurDir)) {
        folderOk = MakeWayForFolder(destDir) && Ops.CreateDirectoryLogged(destDir, "B", !fs.RelDir.empty());
        if (folderOk) {
            SetParentTimestamps(destDir, fs.SrcDir);
            FCurDir = destDir;
        }
    }
    if (!folderOk) {
        ++c.ErrorCount;
        c.TotalBytes += fd.Size;
        ++c.FileCount;
        return fsEndPass;
    }
    if (cmp.DExist)
        XlDeleteExistingFile(tName, true);
    if (!f.Compressed && fd.Size > 0xFFFFFFFFLL && FreeBytes(destDir) <= static_cast<uint64_t>(fd.Size)) {
        FLog.WriteErrorToLog(
            lmShort, "B",
            SafeFormat(_("Not enough free space on \"%s\" to copy file \"%s\""), {destDir, tName}) + " (" +
                FormatSize(false, fd.Size) + ")");
        ++c.ErrorCount;
        return fsNextFile;
    }
    ReadArchiveBit(pass, f);
    cp = TCopyProps();
    cp.SName = f.SourcePath;
    cp.RName = f.SourcePath;
    cp.DName = cmp.DName;
    cp.EName = cmp.Target;
    cp.TName = tName;
    cp.DDir = destDir;
    cp.RelName = f.RelName;
    cp.SInfo = f.Data;
    cp.Timestamps = TimestampsOf(f.Data);
    cp.DExist = cmp.DExist;
    cp.InTheWay = cmp.InTheWay;
    cp.LwTime = cmp.LwTime;
    cp.Compressed = f.Compressed;
    fs.Dest.Names.insert(FileNameOf(cmp.Target));
    fs.Dest.Names.insert(FileNameOf(tName));
    StartCopy(cp);
    return fsNextFile;
}

void TCopyLoop::FileIsUpToDate(TFilePass& pass, const TPassFile& f, TFolderState& fs, const TFileCompare& cmp,
                               TFolderCounters& c)
{
    const TPosixFileData& fd = f.Data;
    // Older versions of the file may have grown too old meanwhile.
    if (cmp.DExist && FTask.KeepBakCB && FTask.BakSec.AgeInWeeks > 0 && FTask.BakSec.DirMode != sdRootDate) {
        StopAhead(pass); // deletes in the destination folder
        PruneOldVersions(fs, fs.DestDir, f.N, cmp.FormExt, f.Name);
    }
    bool reset = false;
    if (cmp.Comparison != 4 && FTask.ResArchivCB && f.ArchiveSet) {
        uint32_t e = XlChangeFileAttr(f.SourcePath, faArchive, true, true);
        if (e == 0) {
            reset = true;
        } else {
            FLog.WriteErrorToLog(lmWarningLine, "B",
                                 FormatFileError(EngineError::WarnAttr, f.SourcePath, FileAttrToStr(fd.Attr)),
                                 e);
            ++c.ErrorCount;
        }
    }
    if (pass.Level == lmVerbose) {
        if (cmp.Comparison == 4) {
            FLog.WriteToLog(
                lmVerbose, std::string(Indent) +
                               SafeFormat(_("Skipped - archive bit not set at source: \"%s\""), {f.RelName}));
        } else {
            FLog.WriteToLog(lmVerbose,
                            std::string(Indent) +
                                SafeFormat(_("File at destination is up to date: \"%s\""), {f.RelName}) +
                                " (" + FormatSize(false, fd.Size) + ")" + (reset ? " (A)" : ""));
            FLog.WriteToLog(lmVerbose, std::string(DeepIndent) + AttrText(fd.Attr) + " " +
                                           TimeText(fd.LastWriteTime) + " <-> " +
                                           TimeText(cmp.Dest.LastWriteTime));
        }
    } else if (pass.Level == lmLong && (FLog.ActMode() & lmWarnings) != 0) {
        FLog.WriteToLog(lmLong, "      * " +
                                    SafeFormat(_("File at destination is up to date: \"%s\""), {f.RelName}) +
                                    " (" + FormatSize(false, fd.Size) + ")" + (reset ? " (A)" : ""));
    }
    ShowRunProgress(c);
}

bool TCopyLoop::FinishFolder(TFolderState& fs, TFolderCounters& c)
{
    if (FTask.cbDelDir && fs.ZipAdded == 0 && WritesRunArchive(FTask.DestMode))
        Zip.RemoveEmptyDir();
    if (MakesFolderArchives(FTask.DestMode))
        Zip.CloseFolderArchive(fs.ZipAdded, c);
    TCopyProps& cp = fs.Pending;
    if (FCopyThread && cp.Valid) {
        TAfterFile r;
        do {
            r = FinishFileCopy(CompletePendingCopy(cp, fs), cp, fs, c);
            if (r == afCopyAgain)
                StartCopy(cp);
        } while (r == afCopyAgain);
        cp.Valid = false;
        if (r == afStop)
            return false;
    }
    ResetFolderArchiveBit(fs, c);
    if (!Ftp)
        FinishDestinationFolder(fs);
    DeleteEmptiedSourceFolder(fs);
    return true;
}

void TCopyLoop::ResetFolderArchiveBit(const TFolderState& fs, TFolderCounters& c)
{
    if (!FTask.ResArchivCB || fs.RelDir.empty() || fs.ArchiveKept)
        return;
    const std::string dir = StripDelimiter(fs.SrcDir);
    int attr = XlFileGetAttr(dir, true);
    if (attr < 0 || (attr & faArchive) == 0)
        return;
    uint32_t e = XlFileSetAttr(dir, static_cast<uint32_t>(attr) & ~faArchive, true);
    if (e != 0) {
        FLog.WriteErrorToLog(lmShort, "B",
                             SafeFormat(_("Error setting attributes of \"%s\""), {fs.SrcDir}) + " (" +
                                 FileAttrToStr(static_cast<uint32_t>(attr) & ~faArchive) + ")",
                             e);
        ++c.ErrorCount;
    }
}

void TCopyLoop::FinishDestinationFolder(const TFolderState& fs)
{
    // An emptied folder goes when the task asks for it; any other gets the attributes, times and
    // permissions of its source folder.
    const std::string p = AddPathDelimiter(AddPathDelimiter(fs.DestBase) + fs.RelDir);
    const std::string pd = StripDelimiter(p);
    if (fs.RelDir.empty() || !XlDirectoryExists(pd))
        return;
    if (FTask.cbDelDir && XlIsEmptyDirectory(pd)) {
        if (!FTask.cbNoAttributes)
            XlFileSetAttr(pd, faArchive, false);
        uint32_t e = XlRemoveDir(pd);
        if (e == 0) {
            FLog.WriteToLog(lmVerbose,
                            std::string(Indent) + SafeFormat(_("Empty directory was deleted: \"%s\""), {p}));
            if (utf8::SameText(pd, FCurDir))
                FCurDir.clear();
        } else {
            FLog.WriteErrorToLog(lmShort, "B",
                                 SafeFormat(_("Error deleting directory: \"%s\""), {p}) + " (" +
                                     FileAttrToStr(fs.DirAttr) + ")",
                                 e);
            if (!FTask.cbNoAttributes)
                XlFileSetAttr(pd, fs.DirAttr & 0xFFFF, false);
        }
        return;
    }
    if (!FTask.cbNoAttributes)
        Ops.SetAttributesLogged(pd, fs.DirAttr & 0xFFFF, false, "B");
    if (fs.DirTimestamps.Valid) {
        uint32_t e = SetFileTimestamps(pd, fs.DirTimestamps, true, FTask.cbCreationTime, true);
        if (e != 0)
            FLog.WriteErrorToLog(lmWarningLine, "B",
                                 FormatFileError(EngineError::WarnTime, pd, std::string()), e);
    }
    if (FTask.cbCopyPerms && SourceHasPermissions()) {
        uint32_t e = CopyFilePermissions(StripDelimiter(fs.SrcDir), pd);
        if (e != 0)
            FLog.WriteErrorToLog(lmWarningLine, "B", FormatFileError(EngineError::WarnAcl, pd, std::string()),
                                 e);
    } else {
        LimitFolderMode(fs.SrcDir, pd);
    }
}

void TCopyLoop::DeleteEmptiedSourceFolder(const TFolderState& fs)
{
    // The emptied source folder goes too when the task deletes its sources.
    if (!FTask.cbSourceDelete || (FTask.DelSourceDelDir & 1) == 0 || fs.RelDir.empty())
        return;
    uint32_t e = XlRemoveDir(StripDelimiter(fs.SrcDir));
    if (e == 0)
        FLog.WriteToLog(lmVerbose, std::string(Indent) +
                                       SafeFormat(_("Empty directory was deleted: \"%s\""), {fs.SrcDir}));
    else
        FLog.WriteErrorToLog(lmShort, "B",
                             SafeFormat(_("Error deleting directory: \"%s\""), {fs.SrcDir}) + " (" +
                                 FileAttrToStr(fs.DirAttr) + ")",
                             e);
}

void TCopyLoop::UpdateTotalAmount(const TFolderCounters& c)
{
    if (SizeProgress) {
        if (TotalSize < c.TotalBytes) {
            TotalSize = c.TotalBytes;
            FProgress.SetTotalAmount(FormatSize(false, c.TotalBytes));
        }
    } else if (TotalSize < c.FileCount) {
        TotalSize = c.FileCount;
        FProgress.SetTotalAmount(FileCountText(c.FileCount, false));
    }
    Runner.TotalSize = TotalSize;
}

bool TCopyLoop::SynchronizeEntry(TExtensionList& list, const std::string& srcDir, const std::string& destDir,
                                 bool prompt, TFolderCounters& counters)
{
    TSynchronizer sync(FTask, FLog, FControl, FProgress, FInteraction, Ops);
    sync.BaseDir = BaseDir;
    sync.TargetType = TargetType;
    sync.Encrypt = Encryption != nullptr;
    sync.Selection = Selection;
    sync.BakSuffix = BakSuffix;
    if (!ProgSettings.SecCopySettings.SyncSuffix.empty())
        sync.SyncSuffix = ProgSettings.SecCopySettings.SyncSuffix;
    if (FTask.BuFtp) {
        if (!Ftp) {
            ++counters.ErrorCount;
            counters.SyncFailed = true;
            return false;
        }
        return sync.SyncFtpFolder(*Ftp, FtpRoot, list, srcDir, destDir, prompt, counters);
    }
    return sync.SyncLocalFolder(list, srcDir, destDir, prompt, counters);
}

void AttachCopyLoop(TBackupEngine& engine, TCopyLoop& loop)
{
    // The loop owns the encryption of its copies (a copy thread that is given up takes its object along
    // and the loop makes a new one); each run starts with one made from the run's own password.
    auto encryptionRun = std::make_shared<TDateTime>(-1);
    engine.BackupDirectory = [&engine, &loop, encryptionRun](TExtensionList& entry, const std::string& srcDir,
                                                             const std::string& destDir, bool prompt,
                                                             TFolderCounters& counters) {
        if (*encryptionRun != engine.StartTime) {
            *encryptionRun = engine.StartTime;
            loop.Encryption = nullptr;
            loop.MakeEncryption = nullptr;
            if (engine.Encryption)
                loop.MakeEncryption = [&engine]() {
                    return std::make_unique<TEncryption>(engine.ActPwd,
                                                         GetKeyMode(engine.Task.CryptKeyMode, engine.ActPwd),
                                                         engine.Task.TaskBufferSize);
                };
        }
        loop.BaseDir = engine.BaseDir;
        loop.Ftp = engine.Ftp.get();
        loop.FtpRoot = engine.FtpDir;
        loop.RenewFtp = [&engine] { return engine.RenewFtpConnection(); };
        loop.Ops.Guard = engine.Guard;
        loop.Zip.Guard = engine.Guard;
        loop.StartTime = engine.StartTime;
        loop.TotalSize = engine.TotalSize;
        loop.SizeProgress = ProgSettings.ViewSettings.SizeProgress;
        loop.TargetType = engine.TargetType;
        loop.SourceType = GetFileSystem(srcDir);
        loop.Ops.TargetType = engine.TargetType;
        loop.Ops.FnMode = engine.Task.FnMode;
        loop.Selection.LastBackupTime = engine.Task.LastBackupTime;
        loop.Selection.Today = std::floor(Now());
        loop.BuStatus = bsOK;
        loop.Zip.MaxWaitTime = loop.MaxWaitTime;
        loop.Zip.TempDir = loop.TempDir.empty() ? ActiveTempDir : loop.TempDir;
        loop.Zip.UploadToFtp = [&engine, &loop](const std::string& zipFile, const std::string& ftpDir,
                                                const std::string& destName, int& segments, int64_t& size,
                                                bool deleteLocal) {
            // the end of the run may come after a connection was renewed
            loop.Ftp = engine.Ftp.get();
            loop.FtpRoot = engine.FtpDir;
            return loop.UploadZipToFtp(zipFile, ftpDir, destName, segments, size, deleteLocal);
        };
        loop.BackupEntry(entry, srcDir, destDir, prompt, counters);
        engine.TotalSize = std::max(engine.TotalSize, loop.TotalSize);
        if (loop.BuStatus != bsOK && engine.BuStatus == bsOK)
            engine.BuStatus = loop.BuStatus;
    };
    AttachZipRun(engine, loop.Zip);
    engine.SynchronizeFolder = [&engine, &loop](TExtensionList& entry, const std::string& srcDir,
                                                const std::string& destDir, bool prompt,
                                                TFolderCounters& counters) {
        loop.BaseDir = engine.BaseDir;
        loop.Ftp = engine.Ftp.get();
        loop.FtpRoot = engine.FtpDir;
        loop.Ops.Guard = engine.Guard;
        loop.TargetType = engine.TargetType;
        loop.Selection.LastBackupTime = engine.Task.LastBackupTime;
        loop.Selection.Today = std::floor(Now());
        // The walk only asks whether the run encrypts; the loop's own object stays its own.
        TEncryption* own = loop.Encryption;
        loop.Encryption = engine.Encryption.get();
        loop.SynchronizeEntry(entry, srcDir, destDir, prompt, counters);
        loop.Encryption = own;
    };
}
