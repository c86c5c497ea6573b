#include "backup/CopyLoop.h"

#include <chrono>
#include <cmath>
#include <thread>

#include "archive/FileErrors.h"
#include "archive/ZLibEx.h"
#include "backup/LinkInfo.h"
#include "backup/SecurityCopyNames.h"
#include "backup/Synchronize.h"
#include "foundation/PathUtils.h"
#include "foundation/QvUtilsTexts.h"
#include "foundation/StringUtils.h"
#include "foundation/WinDevUtils.h"
#include "foundation/XlFileUtils.h"
#include "platform/DirSearch.h"
#include "platform/ErrorCodes.h"
#include "rtl/Gettext.h"
#include "rtl/SysUtils.h"

namespace {

constexpr uint32_t AttrDirectory = 0x10;
constexpr uint32_t AttrArchive = 0x20;
constexpr const char* Indent = "      ";
constexpr const char* DeepIndent = "         ";
constexpr const char* LockName = "Vastrel.lock";

std::string ReplaceAll(std::string s, const std::string& from, const std::string& to)
{
    size_t pos = 0;
    while ((pos = s.find(from, pos)) != std::string::npos) {
        s.replace(pos, from.size(), to);
        pos += to.size();
    }
    return s;
}

std::string FileNameOf(const std::string& path)
{
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The extension with its dot, looked for in the name only.
std::string FileExtOf(const std::string& path)
{
    std::string name = FileNameOf(path);
    size_t dot = name.rfind('.');
    return dot == std::string::npos || dot == 0 ? std::string() : name.substr(dot);
}

std::string StripDelimiter(const std::string& path)
{
    if (path.size() > 1 && path.back() == '/')
        return path.substr(0, path.size() - 1);
    return path;
}

TFileTimestamps TimestampsOf(const TPosixFileData& data)
{
    TFileTimestamps ts;
    ts.Valid = true;
    ts.CreationTime = data.CreationTime;
    ts.LastAccessTime = data.LastAccessTime;
    ts.LastWriteTime = data.LastWriteTime;
    return ts;
}

std::string AttrText(uint32_t attr)
{
    return " " + FileAttrToStr(attr);
}

std::string TimeText(FILETIME ft)
{
    return TimeStampToStr(FileTimeToLocalDateTime(ft));
}

// The version number as text: two digits when more than nine versions are kept.
std::string VersionDigits(int k, bool twoDigits)
{
    std::string s = std::to_string(k);
    if (twoDigits && s.size() < 2)
        s = "0" + s;
    return s;
}

} // namespace

TCopyLoop::TCopyLoop(const TTaskSettings& task, TTaskLog& log, TRunControl& control, IProgressSink& progress,
                     IInteraction& interaction)
    : Ops(log, control), Zip(task, log, control, progress, interaction), FTask(task), FLog(log),
      FControl(control), FProgress(progress), FInteraction(interaction)
{
    Ops.FnMode = task.FnMode;
    Ops.TargetType = task.TargetType;
    TimeOutCount = task.TimeOutMax;
}

TCopyLoop::~TCopyLoop()
{
    if (FCopyThread) {
        FCopyThread->CancelThread();
        WaitForCopyThread(*FCopyThread, 0);
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

std::string TCopyLoop::VersionFolder(const std::string& destBase, const std::string& dDir) const
{
    const TSecSettings& sec = FTask.BakSec;
    std::string p = sec.DirPrefix + sec.DirSuffix;
    std::string dd = AddPathDelimiter(dDir);
    switch (sec.DirMode) {
    case sdNone:
        return dd;
    case sdSubDir:
        return AddPathDelimiter(dd + p);
    case sdSepDir:
        return AddPathDelimiter(AddPathDelimiter(AddPathDelimiter(destBase) + p) +
                                MakeRelativePath(AddPathDelimiter(destBase), dd));
    case sdRootDir:
        return AddPathDelimiter(AddPathDelimiter(AddPathDelimiter(BaseDir) + p) +
                                MakeRelativePath(AddPathDelimiter(BaseDir), dd));
    case sdRootDate:
    case sdRootDrive: {
        std::string rel = MakeRelativePath(AddPathDelimiter(BaseDir), dd);
        std::string r1 = rel;
        std::string rest;
        size_t slash = rel.find('/');
        if (slash != std::string::npos) {
            r1 = rel.substr(0, slash);
            rest = rel.substr(slash + 1);
        }
        std::string folder = p;
        if (sec.DirMode == sdRootDate)
            folder += "-" + FormatDateTime("yyyy-mm-dd", Now());
        return AddPathDelimiter(AddPathDelimiter(AddPathDelimiter(AddPathDelimiter(BaseDir) + r1) + folder) +
                                rest);
    }
    }
    return dd;
}

std::string TCopyLoop::VersionName(const std::string& destBase, const std::string& dDir,
                                   const std::string& dName, const std::string& eName, FILETIME lwTime,
                                   int k) const
{
    const TSecSettings& sec = FTask.BakSec;
    std::string n = FileNameOf(dName);
    std::string x = eName != dName ? FileExtOf(eName) : std::string();
    std::string s;
    if (sec.DirMode == sdNone || !sec.FileSuffix.empty())
        s = "." + ExpandSecuritySuffix(sec.FileSuffix.empty() ? BakSuffix : sec.FileSuffix,
                                       FileTimeToLocalDateTime(lwTime));
    if (k > 0) {
        std::string num = VersionDigits(k, sec.MaxHist > 9 && k > 0 ? true : false);
        if (s.find('#') != std::string::npos)
            s = ReplaceAll(s, "#", num);
        else
            s += num;
    }
    return VersionFolder(destBase, dDir) + InsertNameSuffix(n, s) + x;
}

bool TCopyLoop::FileDelete(const std::string& name)
{
    uint32_t e = XlDeleteFile(name, true);
    if (e == 0) {
        FLog.WriteToLog(3, std::string(Indent) + SafeFormat(_("File was deleted: \"%s\""), {name}));
        return true;
    }
    FLog.WriteErrorToLog(1, "B", SafeFormat(_("Error deleting file: \"%s\""), {name}), e);
    return false;
}

bool TCopyLoop::FileRename(const std::string& dir, const std::string& oldName, const std::string& newName)
{
    std::string errMsg;
    return Ops.MoveFileLogged(dir, oldName, newName, errMsg, 1, -1) == 0;
}

bool TCopyLoop::KeepVersion(TCopyProps& cp, TFolderState& fs)
{
    const TSecSettings& sec = FTask.BakSec;
    std::string v = VersionFolder(fs.DestBase, cp.DDir);
    if (sec.DirMode != sdNone && !Ops.CreateDirectoryLogged(StripDelimiter(v), "B", true))
        return false;
    std::string versionName;
    if (sec.MaxHist < 2) {
        versionName = VersionName(fs.DestBase, cp.DDir, cp.DName, cp.EName, cp.LwTime, 0);
    } else {
        bool two = sec.MaxHist > 9;
        auto name = [&](int k, bool twoDigits) {
            std::string n = FileNameOf(cp.DName);
            std::string x = cp.EName != cp.DName ? FileExtOf(cp.EName) : std::string();
            std::string suffix =
                "." + ExpandSecuritySuffix(sec.FileSuffix.empty() ? BakSuffix : sec.FileSuffix,
                                           FileTimeToLocalDateTime(cp.LwTime));
            if (sec.DirMode != sdNone && sec.FileSuffix.empty())
                suffix.clear();
            std::string num = VersionDigits(k, twoDigits);
            if (suffix.find('#') != std::string::npos)
                suffix = ReplaceAll(suffix, "#", num);
            else
                suffix += num;
            return v + InsertNameSuffix(n, suffix) + x;
        };
        TDateTime ageLimit = std::floor(Now()) - 7.0 * sec.AgeInWeeks;
        for (int k = sec.MaxHist; k >= 2; --k) {
            std::string newer = name(k, two);
            std::string older = name(k - 1, two);
            if (k - 1 <= 9) {
                older = name(k - 1, false);
                if (!XlFileExists(older))
                    older = name(k - 1, true);
            }
            if (!XlFileExists(older))
                continue;
            if (sec.AgeInWeeks > 0 && XlGetFileAge(older) <= ageLimit && k > sec.MinHist) {
                FileDelete(older);
                continue;
            }
            if (XlFileExists(newer) && !FileDelete(newer))
                continue;
            FileRename(cp.DDir, older, newer);
        }
        for (int k = sec.MaxHist + 1; k <= 99; ++k) {
            if (k <= 9)
                XlDeleteExistingFile(name(k, false), true);
            XlDeleteExistingFile(name(k, true), true);
        }
        versionName = name(1, two);
    }
    if (XlFileExists(cp.EName)) {
        if (XlFileExists(versionName) && !FileDelete(versionName))
            return true;
        if (FileRename(cp.DDir, cp.EName, versionName) && FLog.CurrentLogMode() == 2) {
            if (sec.DirMode != sdNone)
                FLog.WriteToLog(
                    2, std::string(Indent) +
                           SafeFormat(_("File \"%s\" was moved to: \"%s\""),
                                      {FileNameOf(cp.EName),
                                       MakeRelativePath(AddPathDelimiter(fs.DestBase), versionName)}));
            else
                FLog.WriteToLog(2, std::string(Indent) + SafeFormat(_("%s was renamed: \"%s\" to \"%s\""),
                                                                    {_("File"), FileNameOf(cp.EName),
                                                                     FileNameOf(versionName)}));
        }
    }
    return true;
}

void TCopyLoop::StartCopy(TCopyProps& cp)
{
    FCopyThread = std::make_unique<TWinCopyThread>(
        cp.RName, cp.TName, Encryption, LocalCopyOptions(cp.Compressed), true, FTask.TaskBufferSize);
    if (!TempDir.empty())
        FCopyThread->SetTempDir(TempDir);
    FCopyThread->SetVerifyDelay(static_cast<uint32_t>(std::max(MaxWaitTime, 0)));
    cp.Valid = true;
    FCopyThread->Start();
}

int TCopyLoop::CompletePendingCopy(TCopyProps& cp, TFolderState& fs)
{
    uint32_t timeout = FTask.CopyTimeout > 0 ? static_cast<uint32_t>(FTask.CopyTimeout) : 0;
    int e = 0;
    if (!WaitForCopyThread(*FCopyThread, timeout, [this] { FControl.Checkpoint(); })) {
        FCopyThread.release()->AbandonWorker(nullptr);
        e = 0x111;
        cp.ErrMsg.clear();
    } else {
        e = FCopyThread->ErrorCode();
        cp.ErrMsg = FCopyThread->SysErrorMsg();
        cp.CRatio = FCopyThread->Ratio();
        FCopyThread.reset();
    }
    int kind = e == 0 ? 2 : e;
    if ((e & 0xFF) == 7) {
        uint64_t freeBytes = GetDiskFreeBytes(cp.DDir);
        if (freeBytes < static_cast<uint64_t>(std::max(FTask.TaskBufferSize, 0))) {
            FLog.WriteToLog(3, "   => " +
                                   SafeFormat(_("%s remaining on drive %s"),
                                              {FormatSize(false, static_cast<int64_t>(freeBytes)), cp.DDir}));
            return 3;
        }
        e = (e & 0xF00) + 5;
        kind = e;
    }
    if ((e & 0x100) != 0 || (e & 0x80) != 0 || e == 0x111) {
        FLog.WriteErrorToLog(3, "B", FormatCopyError(cp.RelName, cp.TName, static_cast<unsigned>(e)),
                             cp.ErrMsg, std::string());
        if (DelTemp && XlFileExists(cp.TName, false)) {
            uint32_t d = XlDeleteFile(cp.TName, true);
            if (d == 0)
                FLog.WriteToLog(3,
                                std::string(Indent) + SafeFormat(_("File was deleted: \"%s\""), {cp.TName}));
            else
                FLog.WriteErrorToLog(1, "B", SafeFormat(_("Error deleting file: \"%s\""), {cp.TName}), d);
        }
        return kind;
    }
    bool ok = true;
    if (cp.DExist) {
        FLog.WriteToLog(3, std::string(Indent) +
                               SafeFormat(_("Temporary file was copied successfully: \"%s\""), {cp.TName}));
        if (FTask.KeepBakCB) {
            ok = KeepVersion(cp, fs);
        } else if (XlFileExists(cp.EName, false) && !FileDelete(cp.EName)) {
            kind = 294;
        }
        if (ok && XlFileExists(cp.TName, false) && XlFileExists(cp.EName, false)) {
            std::string ext = FileExtOf(cp.EName);
            cp.EName = InsertNameSuffix(cp.EName.substr(0, cp.EName.size() - ext.size()), "-dup") + ext;
            FLog.WriteErrorToLog(3, "B", _("Copying to replacement file") + ": " + cp.EName);
            ok = !XlFileExists(cp.EName, false) || FileDelete(cp.EName);
        }
        if (!ok) {
            kind = 291;
        } else {
            std::string errMsg;
            if (Ops.MoveFileLogged(cp.DDir, cp.TName, cp.EName, errMsg, 3, -1) > 0) {
                cp.ErrMsg = errMsg;
                kind = 291;
                ok = false;
            }
        }
    }
    if (ok) {
        if (!FTask.cbNoAttributes &&
            Ops.SetAttributesLogged(cp.EName, cp.SInfo.Attr & 0xFFFF, true, "B") != 0)
            kind = 512;
        bool checkTime = !FTask.UseArchivCB && FTask.CompareMode == 0;
        uint32_t t = SetFileTimestamps(cp.EName, cp.Timestamps, checkTime, FTask.cbCreationTime, false);
        if (t != 0) {
            kind = 512;
            FLog.WriteErrorToLog(6, "B", FormatFileError(0x20F, cp.EName, std::string()), t);
        }
    }
    return kind;
}

int TCopyLoop::FinishFileCopy(int kind, TCopyProps& cp, TFolderState& fs, TFolderCounters& c)
{
    int64_t size = cp.SInfo.Size;
    if (kind == 3 && FTask.DestMode >= 4) {
        Zip.FullVolume(fs.Prompt);
        FLog.WriteToLog("  *** " + _("Canceled because of full destination volume"));
        FControl.SetStopped(true);
        BuStatus = bsFull;
        return 1;
    }
    if (kind == 3) {
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
                    return 2;
                }
            }
            FControl.SetLockStatus(0);
        }
        FLog.WriteToLog("  *** " + _("Canceled because of full destination volume"));
        FControl.SetStopped(true);
        BuStatus = bsFull;
        return 1;
    }
    bool kept = (cp.SInfo.Attr & AttrArchive) != 0;
    if (kind == 2) {
        c.CopiedBytes += size;
        ++c.CopyCount;
        std::string f;
        if (FTask.ResArchivCB) {
            int attr = XlFileGetAttr(cp.SName, true);
            uint32_t e = attr < 0 ? LastWinError() : 0;
            if (attr >= 0 && (attr & AttrArchive) != 0)
                e = XlChangeFileAttr(cp.SName, AttrArchive, true, true);
            if (e == 0) {
                f = "(A";
                kept = false;
            } else {
                FLog.WriteErrorToLog(1, "B",
                                     SafeFormat(_("Error setting attributes of \"%s\""), {cp.SName}) + " (" +
                                         FileAttrToStr((cp.SInfo.Attr & ~AttrArchive) & 0xFFFF) + ")",
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
        std::string line = FTask.cbVerify && FTask.DestMode < 4 ? _("Copied and verified: \"%s\" %s")
                                                                : _("Copied: \"%s\" %s");
        std::string indent = FLog.CurrentLogMode() == 3 ? "     -> " : Indent;
        FLog.WriteToLog(2, indent + SafeFormat(line, {cp.RelName, f}));
    } else {
        int b = kind & 0xFF;
        if ((kind & 0x100) != 0) {
            c.FailedBytes += size;
            ++c.ErrorCount;
        } else if ((kind & 0x200) != 0) {
            c.CopiedBytes += size;
            ++c.WarnCount;
            ++c.CopyCount;
        }
        if (b == 17) {
            --TimeOutCount;
            if (fs.Prompt)
                FControl.SetStopped(
                    FInteraction.Confirm(_("Time out while copying files!\r\nCancel backup?")));
            else
                FControl.SetStopped(TimeOutCount <= 0);
            if (FControl.Stopped())
                BuStatus = bsCanceled;
        }
        if (FTask.DestMode >= 4) {
            // A per-folder archive of a stopped run or a terminated entry never remains; a write error
            // on a zip destination stops the run.
            if (b == 128 || b == 27 || FControl.Stopped()) {
                if (FTask.DestMode >= 6)
                    Zip.DiscardFolderArchive();
            } else if (b == 7) {
                FControl.SetStopped(true);
            }
        }
        int level = FLog.CurrentLogMode();
        if (level < 3) {
            if ((kind & 0x100) == 0) {
                if (b != 0)
                    FLog.WriteErrorToLog(6, "B",
                                         FormatCopyError(cp.RelName, cp.TName, static_cast<unsigned>(kind)),
                                         cp.ErrMsg, std::string());
                if ((kind & 0x200) != 0)
                    FLog.WriteToLog(2, std::string(Indent) +
                                           SafeFormat(_("Copied: \"%s\" %s"), {cp.RelName, ""}));
            } else if (!(b == 38 && level == 2)) {
                FLog.WriteErrorToLog(1, "B",
                                     FormatCopyError(cp.RelName, cp.TName, static_cast<unsigned>(kind)),
                                     cp.ErrMsg, std::string());
            }
        } else if (kind == 512) {
            FLog.WriteToLog(3, "     -> " + SafeFormat(_("Copied: \"%s\" %s"), {cp.RelName, ""}));
        }
    }
    fs.ArchiveKept = fs.ArchiveKept || kept;
    return FControl.Stopped() ? 1 : 0;
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

void TCopyLoop::BackupEntry(TExtensionList& list, const std::string& srcDir, const std::string& destDir,
                            bool prompt, TFolderCounters& counters)
{
    TPosixFileData data;
    uint32_t attr = 0;
    TFileTimestamps ts;
    if (ReadFileData(srcDir, true, data) == 0) {
        attr = data.Attr;
        ts = TimestampsOf(data);
    }
    TFolderCounters before = counters;
    BackupDirectory(srcDir, destDir, std::string(), ts, attr, false, prompt, counters, list);
    // A folder's archive that a stop left unfinished never remains.
    Zip.DiscardFolderArchive();
    list.ICount = static_cast<int32_t>(counters.FileCount - before.FileCount);
    list.IBytes = counters.TotalBytes - before.TotalBytes;
}

void TCopyLoop::BackupDirectory(const std::string& srcBase, const std::string& destBase,
                                const std::string& relDir, TFileTimestamps dirTimestamps, uint32_t dirAttr,
                                bool parentIncluded, bool prompt, TFolderCounters& c, TExtensionList& list)
{
    const int level = FLog.CurrentLogMode();
    std::string srcDir = AddPathDelimiter(AddPathDelimiter(srcBase) + relDir);
    std::string destDir = relDir.empty() ? StripDelimiter(destBase) : AddPathDelimiter(destBase) + relDir;
    TFolderState fs{srcBase, destBase, relDir, prompt, false};

    // A. Selection of the folder.
    bool selected;
    if (list.IncludeDirs) {
        selected = relDir.empty() || parentIncluded || list.SubDirList.IndexOf(srcDir) >= 0;
        parentIncluded = selected && !relDir.empty();
    } else {
        selected = list.SubDirList.IndexOf(srcDir) < 0;
    }
    // Links below the entry's folder: skipped, recorded in an information file or read through.
    TJunctionRootScope junctionScope(FJunctionRoot, srcDir, relDir.empty());
    if (!relDir.empty() && (dirAttr & 0x400) != 0) {
        if (!selected)
            return;
        TLinkFolderStep link = HandleLinkFolder(FTask, TLinkContext{BaseDir, FTask.BuFtp, nullptr}, FLog, Ops,
                                                srcDir, destDir, dirAttr, junctionScope.Parent());
        c.ErrorCount += link.Errors;
        if (link.Skip)
            return;
        if (link.IsLink)
            FJunctionRoot = link.JunctionRoot;
        if (link.ReRoot) {
            BackupDirectory(link.SrcBase, link.DestBase, std::string(), link.DirTimestamps, link.DirAttr,
                            parentIncluded, prompt, c, list);
            return;
        }
    }
    if (selected) {
        FLog.WriteToLog(3, std::string(Indent) + SafeFormat(_("Current directory: \"%s\""), {srcDir}) + " (" +
                               FileAttrToStr(dirAttr) + ")");
        if ((FTask.DestMode == 4 || FTask.DestMode == 5) && (!relDir.empty() || !FTask.cbDelDir)) {
            // The run's archive gets the folder's directory entry instead of a destination folder.
            if (!Zip.AddDir(srcDir))
                selected = false;
        } else if (FTask.DestMode != 4 && FTask.DestMode != 5 && !FTask.cbDelDir) {
            if (!Ops.CreateDirectoryLogged(destDir, "B", !relDir.empty())) {
                ++c.ErrorCount;
                selected = false;
            }
        }
    } else {
        std::string key = list.IncludeDirs ? _("Not selected: \"%s\"") : _("Excluded directory: \"%s\"");
        FLog.WriteToLog(3, std::string(Indent) + SafeFormat(key, {srcDir}) + " (" + FileAttrToStr(dirAttr) +
                               ")");
    }

    // B. Sub-folders first.
    if ((selected || list.IncludeDirs) && !FControl.Stopped()) {
        TSearchRec sr;
        int code = FindFirst(srcDir + "*", 0x1FF, sr);
        std::string lastName;
        while (code == 0 && !FControl.Stopped()) {
            if ((sr.Attr & AttrDirectory) != 0 && IsNotDotEntry(sr.Name)) {
                lastName = sr.Name;
                BackupDirectory(srcBase, destBase, JoinPath(relDir, sr.Name), TimestampsOf(sr.FindData),
                                static_cast<uint32_t>(sr.Attr), parentIncluded, prompt, c, list);
                if (BuStatus == bsFull)
                    break;
            }
            if (FControl.Stopped())
                break;
            code = FindNext(sr);
        }
        FindClose(sr);
        if (FControl.Stopped()) {
            return;
        }
        if (code != 0 && code != static_cast<int>(WinError::ERROR_NO_MORE_FILES)) {
            if (selected || !list.IncludeDirs) {
                FLog.WriteErrorToLog(1, "B",
                                     SafeFormat(DirErrorFormat(static_cast<uint32_t>(code)), {srcDir}) +
                                         " (" + lastName + ")",
                                     static_cast<uint32_t>(code));
                ++c.ErrorCount;
            }
            selected = false;
        }
    }

    TCopyProps cp;
    const bool folderZip = FTask.DestMode >= 6;
    // "Tagged only": the entry's own files are looked at only for a per-folder archive, which the
    // entry's folder always gets, and none of them is selected.
    const bool noneSelected = folderZip && list.IncludeDirs && relDir.empty();
    bool examine = selected;
    int zipAdded = 0;
    if (examine && !FControl.Stopped() && folderZip)
        examine = Zip.OpenFolderArchive(destDir, srcDir, relDir, c, Ops);
    if (examine && !FControl.Stopped()) {
        FProgress.SetPrompt(srcDir);
        FLog.WriteToLog(3, std::string(Indent) + SafeFormat(_("Scan for files in \"%s\""), {srcDir}));
    } else {
        examine = false;
    }

    // D. File pass.
    if (examine && !FControl.Stopped()) {
        TSearchRec sr;
        int code = FindFirst(srcDir + "*", 0xA7, sr);
        while (code == 0) {
            while (FControl.Paused() && !FControl.Stopped()) {
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
                FControl.Checkpoint();
            }
            if ((sr.Attr & AttrDirectory) != 0 || !IsNotDotEntry(sr.Name) ||
                utf8::SameText(sr.Name, LockName)) {
                code = FindNext(sr);
                continue;
            }
            const TPosixFileData& fd = sr.FindData;
            std::string n = ChangeTextCase(sr.Name, FTask.FnMode);
            if (FTask.ReplMode == cpSimple)
                n = ReplaceIllegalChars(n, static_cast<char32_t>(FTask.ReplChar));
            std::string relName = JoinPath(relDir, sr.Name);
            bool archiveSet = (fd.Attr & AttrArchive) != 0;
            TSelFileInfo info;
            info.Name = sr.Name;
            info.Size = fd.Size;
            info.Attr = fd.Attr;
            info.DateTime = FileTimeToLocalDateTime(fd.LastWriteTime);
            info.CreationTime = FileTimeToLocalDateTime(fd.CreationTime);
            std::string ext;
            bool fileSelected = !noneSelected && ExtensionMatches(sr.Name, list, ext) &&
                                FileMatchesSelection(info, list, Selection);
            if (!fileSelected) {
                FLog.WriteToLog(3, std::string(Indent) + SafeFormat(_("Not selected: \"%s\""), {relName}) +
                                       " (" + FormatSize(false, fd.Size) + AttrText(fd.Attr) + ")");
                code = FindNext(sr);
                continue;
            }
            if (FTask.UseArchivCB && (FTask.cbArchFile || FTask.ClearDest || FTask.DestMode >= 4) &&
                !archiveSet) {
                c.TotalBytes += fd.Size;
                ++c.FileCount;
                FLog.WriteToLog(
                    3, std::string(Indent) +
                           SafeFormat(_("Skipped - archive bit not set at source: \"%s\""), {relName}));
                code = FindNext(sr);
                continue;
            }
            std::string sourcePath = srcDir + sr.Name;
            bool compressed = FTask.cbCompress && FTask.AktNoComp.IndexOf(ext) < 0;
            if (FTask.DestMode >= 4) {
                // Zip branch: the file goes into the open archive.
                c.TotalBytes += fd.Size;
                ++c.FileCount;
                cp = TCopyProps();
                cp.SName = cp.RName = sourcePath;
                cp.DName = cp.EName = n;
                cp.DDir = destDir;
                cp.RelName = relName;
                cp.SInfo = fd;
                cp.Timestamps = TimestampsOf(fd);
                cp.Valid = true;
                cp.Compressed = compressed;
                FProgress.SetPrompt(sourcePath);
                FLog.WriteToLog(3, std::string(Indent) + _("Add to zip archive: ") + n);
                int kind = Zip.AddFile(cp.RName, cp.SName, fd, compressed, cp.ErrMsg, cp.CRatio);
                if (kind == 2)
                    ++zipAdded;
                else if (kind != 3)
                    FLog.WriteErrorToLog(3, "B", FormatFileError(static_cast<unsigned>(kind), relName, ""),
                                         cp.ErrMsg, std::string());
                int r = FinishFileCopy(kind, cp, fs, c);
                cp.Valid = false;
                if (r != 1)
                    ShowRunProgress(c);
                if (r == 1 || FControl.Stopped()) {
                    FindClose(sr);
                    return;
                }
                FControl.Checkpoint();
                code = FindNext(sr);
                continue;
            }
            std::string formExt = DestFormExt(compressed);
            std::string dName = AddPathDelimiter(destDir) + n;
            std::string target = dName + formExt;

            // Compare with the destination.
            TPosixFileData dd;
            bool dExist = ReadFileData(target, false, dd) == 0 && (dd.Attr & AttrDirectory) == 0;
            FILETIME lwTime = dExist ? dd.LastWriteTime : 0;
            bool z = true;
            int action = 1;
            int comparison = 0;
            if (FTask.UseArchivCB) {
                comparison = 4;
                z = (FTask.cbArchFile || FTask.ClearDest) ? archiveSet : (archiveSet || !dExist);
            } else if (dExist) {
                if (!FTask.cbNoAttributes && ((fd.Attr ^ dd.Attr) & 7) != 0)
                    action = 5;
                if (FTask.CompareMode == 3) {
                    comparison = 3;
                } else {
                    int64_t d = FileTimeToUnixTime(fd.LastWriteTime) - FileTimeToUnixTime(dd.LastWriteTime);
                    bool dst = (FTask.DstIgnore & 1) != 0;
                    if (FTask.CompareMode == 0) {
                        z = d > FTask.DeltaTime;
                        if (z && dst)
                            z = std::llabs(d - 3600) > FTask.DeltaTime;
                    } else {
                        z = std::llabs(d) > FTask.DeltaTime;
                        if (z && dst)
                            z = std::llabs(std::llabs(d) - 3600) > FTask.DeltaTime;
                        if (!z && FTask.CompareMode == 2)
                            comparison = 3;
                    }
                    if (z)
                        comparison = 1;
                }
                if (comparison == 3) {
                    int64_t plain = GetStoredPlainSize(target, compressed, dd.Size);
                    z = fd.Size > 0 && plain > 0 && plain != fd.Size;
                }
            }
            if (z && !compressed && (TargetType == fsFat || TargetType == fsNotAvail) &&
                fd.Size >= (int64_t(1) << 32) && !FTask.cbZipCompress) {
                z = false;
                action = 4;
            }

            if (z) {
                if (FCopyThread && cp.Valid) {
                    int r = FinishFileCopy(CompletePendingCopy(cp, fs), cp, fs, c);
                    cp.Valid = false;
                    if (r == 1) {
                        FindClose(sr);
                        return;
                    }
                    ShowRunProgress(c);
                }
                if (!FControl.Stopped()) {
                    std::string tName = target;
                    if (dExist) {
                        tName = target + ".tmp";
                        if (XlFileExists(tName, false))
                            tName = target + ".~tmp";
                    }
                    if (level == 3) {
                        FLog.WriteToLog(
                            3, std::string(Indent) +
                                   SafeFormat(GetCopyActionText(false, compressed, Encryption != nullptr),
                                              {relName, FormatSize(false, fd.Size), tName}) +
                                   " [" + CopyOptionLetters(compressed) + "]");
                        std::string outcome = !dExist           ? _("not present")
                                              : comparison == 4 ? _("Archive bit is set")
                                              : comparison == 3 ? "(" + FormatSize(false, dd.Size) + ")"
                                                                : TimeText(dd.LastWriteTime);
                        FLog.WriteToLog(3, std::string(DeepIndent) + AttrText(fd.Attr) + " " +
                                               TimeText(fd.LastWriteTime) + " -> " + outcome);
                    }
                    FProgress.SetPrompt(sourcePath);
                    // Other forms of the same file that a former setting left behind.
                    for (const char* other : {"", ".zip", ".gz", ".gze", ".enc"})
                        if (formExt != other)
                            XlDeleteExistingFile(dName + other, true);
                    bool folderOk = true;
                    if (!utf8::SameText(destDir, FCurDir)) {
                        folderOk = Ops.CreateDirectoryLogged(destDir, "B", !relDir.empty());
                        if (folderOk)
                            FCurDir = destDir;
                    }
                    if (!folderOk) {
                        ++c.ErrorCount;
                        c.TotalBytes += fd.Size;
                        ++c.FileCount;
                        break;
                    }
                    if (dExist)
                        XlDeleteExistingFile(tName, true);
                    bool spaceOk = true;
                    if (!compressed && fd.Size > 0xFFFFFFFFLL &&
                        GetDiskFreeBytes(destDir) <= static_cast<uint64_t>(fd.Size)) {
                        FLog.WriteErrorToLog(
                            1, "B",
                            SafeFormat(_("Not enough free space on \"%s\" to copy file \"%s\""),
                                       {destDir, tName}) +
                                " (" + FormatSize(false, fd.Size) + ")");
                        ++c.ErrorCount;
                        spaceOk = false;
                    }
                    if (spaceOk) {
                        cp = TCopyProps();
                        cp.SName = sourcePath;
                        cp.RName = sourcePath;
                        cp.DName = dName;
                        cp.EName = target;
                        cp.TName = tName;
                        cp.DDir = destDir;
                        cp.RelName = relName;
                        cp.SInfo = fd;
                        cp.Timestamps = TimestampsOf(fd);
                        cp.DExist = dExist;
                        cp.LwTime = lwTime;
                        cp.Compressed = compressed;
                        StartCopy(cp);
                    }
                }
            } else if (action == 5 && !FTask.cbNoAttributes) {
                FLog.WriteToLog(3, std::string(DeepIndent) + AttrText(fd.Attr) + " " +
                                       TimeText(fd.LastWriteTime) + " -> " + FileAttrToStr(dd.Attr) + " " +
                                       TimeText(dd.LastWriteTime));
                Ops.SetAttributesLogged(target, fd.Attr & 0xFFFF, false, "B");
            } else if (action == 4) {
                FLog.WriteErrorToLog(
                    1, "B",
                    SafeFormat(_("File size exceeds maximum of 4GB for FAT32 destinations: \"%s\""),
                               {relName}) +
                        " (" + FormatSize(false, fd.Size) + ")");
                c.FailedBytes += fd.Size;
                ++c.ErrorCount;
            } else {
                bool reset = false;
                if (comparison != 4 && FTask.ResArchivCB && archiveSet) {
                    uint32_t e = XlChangeFileAttr(sourcePath, AttrArchive, true, true);
                    if (e == 0)
                        reset = true;
                    else {
                        FLog.WriteErrorToLog(6, "B", FormatFileError(0x206, sourcePath, std::string()), e);
                        ++c.ErrorCount;
                    }
                }
                if (level == 3) {
                    if (comparison == 4) {
                        FLog.WriteToLog(
                            3,
                            std::string(Indent) +
                                SafeFormat(_("Skipped - archive bit not set at source: \"%s\""), {relName}));
                    } else {
                        FLog.WriteToLog(
                            3, std::string(Indent) +
                                   SafeFormat(_("File at destination is up to date: \"%s\""), {relName}) +
                                   " (" + FormatSize(false, fd.Size) + ")" + (reset ? " (A)" : ""));
                        FLog.WriteToLog(3, std::string(DeepIndent) + AttrText(fd.Attr) + " " +
                                               TimeText(fd.LastWriteTime) + " <-> " +
                                               TimeText(dd.LastWriteTime));
                    }
                } else if (level == 2 && (FLog.ActMode() & 4) != 0) {
                    FLog.WriteToLog(
                        2, "      * " +
                               SafeFormat(_("File at destination is up to date: \"%s\""), {relName}) + " (" +
                               FormatSize(false, fd.Size) + ")" + (reset ? " (A)" : ""));
                }
                ShowRunProgress(c);
            }
            c.TotalBytes += fd.Size;
            ++c.FileCount;
            if (FControl.Stopped()) {
                FindClose(sr);
                if (FCopyThread && cp.Valid) {
                    FCopyThread->CancelThread();
                    CompletePendingCopy(cp, fs);
                }
                return;
            }
            FControl.Checkpoint();
            code = FindNext(sr);
        }
        // An empty folder ends the search with "file not found" at once.
        if (code != 0 && code != static_cast<int>(WinError::ERROR_NO_MORE_FILES) &&
            code != static_cast<int>(WinError::ERROR_FILE_NOT_FOUND)) {
            FLog.WriteErrorToLog(1, "B", _("Error scanning directory: ") + srcDir,
                                 static_cast<uint32_t>(code));
            ++c.ErrorCount;
        }
        FindClose(sr);
    }

    // E. End of the folder.
    if (examine && FTask.cbDelDir && zipAdded == 0 && (FTask.DestMode == 4 || FTask.DestMode == 5))
        Zip.RemoveEmptyDir();
    if (examine && folderZip)
        Zip.CloseFolderArchive(zipAdded, c);
    if (FCopyThread && cp.Valid) {
        int r;
        do {
            r = FinishFileCopy(CompletePendingCopy(cp, fs), cp, fs, c);
            if (r == 2)
                StartCopy(cp);
        } while (r == 2);
        cp.Valid = false;
        if (r == 1)
            return;
    }
    if (FTask.ResArchivCB && !relDir.empty() && !fs.ArchiveKept && examine) {
        int attr = XlFileGetAttr(StripDelimiter(srcDir), true);
        if (attr >= 0 && (attr & AttrArchive) != 0) {
            uint32_t e =
                XlFileSetAttr(StripDelimiter(srcDir), static_cast<uint32_t>(attr) & ~AttrArchive, true);
            if (e != 0) {
                FLog.WriteErrorToLog(1, "B",
                                     SafeFormat(_("Error setting attributes of \"%s\""), {srcDir}) + " (" +
                                         FileAttrToStr(static_cast<uint32_t>(attr) & ~AttrArchive) + ")",
                                     e);
                ++c.ErrorCount;
            }
        }
    }
    std::string p = AddPathDelimiter(AddPathDelimiter(destBase) + relDir);
    if (!relDir.empty() && XlDirectoryExists(p)) {
        std::string pd = StripDelimiter(p);
        if (FTask.cbDelDir && XlIsEmptyDirectory(pd)) {
            uint32_t e = XlRemoveDir(pd);
            if (e == 0)
                FLog.WriteToLog(3, std::string(Indent) +
                                       SafeFormat(_("Empty directory was deleted: \"%s\""), {p}));
            else
                FLog.WriteErrorToLog(1, "B",
                                     SafeFormat(_("Error deleting directory: \"%s\""), {p}) + " (" +
                                         FileAttrToStr(dirAttr) + ")",
                                     e);
        } else {
            if (!FTask.cbNoAttributes)
                Ops.SetAttributesLogged(pd, dirAttr & 0xFFFF, false, "B");
            if (dirTimestamps.Valid) {
                uint32_t e = SetFileTimestamps(pd, dirTimestamps, true, FTask.cbCreationTime, true);
                if (e != 0)
                    FLog.WriteErrorToLog(6, "B", FormatFileError(0x20F, pd, std::string()), e);
            }
        }
    }

    // F. Total amount.
    if (SizeProgress) {
        if (TotalSize < c.TotalBytes) {
            TotalSize = c.TotalBytes;
            FProgress.SetTotalAmount(FormatSize(false, c.TotalBytes));
        }
    } else if (TotalSize < c.FileCount) {
        TotalSize = c.FileCount;
        FProgress.SetTotalAmount(FileCountText(c.FileCount, false));
    }
}

bool TCopyLoop::SynchronizeEntry(TExtensionList& list, const std::string& srcDir, const std::string& destDir,
                                 bool prompt, TFolderCounters& counters)
{
    if (FTask.BuFtp) {
        FLog.WriteErrorToLog(1, "S", _("Synchronize") + " - " + destDir,
                             _("Synchronization of FTP destinations is not available in this build"),
                             std::string());
        ++counters.ErrorCount;
        counters.SyncFailed = true;
        return false;
    }
    TSynchronizer sync(FTask, FLog, FControl, FProgress, FInteraction, Ops);
    sync.BaseDir = BaseDir;
    sync.TargetType = TargetType;
    sync.Encrypt = Encryption != nullptr;
    sync.Selection = Selection;
    sync.BakSuffix = BakSuffix;
    if (!ProgSettings.SecCopySettings.SyncSuffix.empty())
        sync.SyncSuffix = ProgSettings.SecCopySettings.SyncSuffix;
    return sync.SyncLocalFolder(list, srcDir, destDir, prompt, counters);
}

void AttachCopyLoop(TBackupEngine& engine, TCopyLoop& loop)
{
    engine.BackupDirectory = [&engine, &loop](TExtensionList& entry, const std::string& srcDir,
                                              const std::string& destDir, bool prompt,
                                              TFolderCounters& counters) {
        loop.BaseDir = engine.BaseDir;
        loop.StartTime = engine.StartTime;
        loop.TotalSize = engine.TotalSize;
        loop.SizeProgress = ProgSettings.ViewSettings.SizeProgress;
        loop.Encryption = engine.Encryption.get();
        loop.TargetType = engine.TargetType;
        loop.Ops.TargetType = engine.TargetType;
        loop.Ops.FnMode = engine.Task.FnMode;
        loop.Selection.LastBackupTime = engine.Task.LastBackupTime;
        loop.Selection.Today = std::floor(Now());
        loop.BuStatus = bsOK;
        loop.Zip.MaxWaitTime = loop.MaxWaitTime;
        loop.Zip.TempDir = loop.TempDir;
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
        loop.Encryption = engine.Encryption.get();
        loop.TargetType = engine.TargetType;
        loop.Selection.LastBackupTime = engine.Task.LastBackupTime;
        loop.Selection.Today = std::floor(Now());
        loop.SynchronizeEntry(entry, srcDir, destDir, prompt, counters);
    };
}
