#include "backup/Synchronize.h"

#include <sys/stat.h>
#include <vector>

#include "archive/ExtFileTools.h"
#include "backup/EngineCodes.h"
#include "backup/LinkInfo.h"
#include "backup/SecurityCopyNames.h"
#include "foundation/FileUtilsOps.h"
#include "foundation/FileUtilsTimes.h"
#include "foundation/PathUtils.h"
#include "foundation/QvUtilsFolders.h"
#include "foundation/QvUtilsTexts.h"
#include "foundation/StringUtils.h"
#include "foundation/WinNet.h"
#include "foundation/XlFileUtils.h"
#include "platform/DirSearch.h"
#include "platform/ErrorCodes.h"
#include "platform/Trash.h"
#include "rtl/Gettext.h"
#include "rtl/SysUtils.h"

namespace {

constexpr const char* Indent = "      ";
constexpr const char* DetailIndent = "        ";

struct TEntry
{
    std::string Name;
    TPosixFileData Data;
};

// The entries of folder (directories or files) and the code that ended the listing.
int ListEntries(const std::string& folder, bool dirs, std::vector<TEntry>& entries)
{
    TSearchRec sr;
    int code = FindFirst(folder + "*", dirs ? faSearchAll : faSearchFiles, sr);
    while (code == 0) {
        bool isDir = (sr.FindData.Attr & faDirectory) != 0;
        if (IsNotDotEntry(sr.Name) && isDir == dirs)
            entries.push_back({sr.Name, sr.FindData});
        code = FindNext(sr);
    }
    FindClose(sr);
    // An empty folder ends the search with "file not found" at once.
    if (code == static_cast<int>(WinError::ERROR_FILE_NOT_FOUND))
        code = static_cast<int>(WinError::ERROR_NO_MORE_FILES);
    return code;
}

bool EndsText(const std::string& name, const std::string& ext)
{
    return name.size() > ext.size() && utf8::SameText(name.substr(name.size() - ext.size()), ext);
}

std::string StripDelimiter(const std::string& path)
{
    std::string p = path;
    while (p.size() > 1 && p.back() == '/')
        p.pop_back();
    return p;
}

// The folder of the sub-path sub below base, with a delimiter.
std::string SubFolder(const std::string& base, const std::string& sub)
{
    return sub.empty() ? AddPathDelimiter(base) : AddPathDelimiter(AddPathDelimiter(base) + sub);
}

bool IsSymlink(const TPosixFileData& data)
{
    return (data.Attr & faReparsePoint) != 0 && data.ReparseTag == IO_REPARSE_TAG_SYMLINK;
}

// A folder at the root of a mounted file system ("/" included).
bool IsMountRoot(const std::string& folder)
{
    std::string p = StripDelimiter(folder);
    if (p == "/")
        return true;
    TPosixFileData data;
    return ReadFileData(p, false, data) == 0 && (data.Attr & faReparsePoint) != 0 &&
           data.ReparseTag == IO_REPARSE_TAG_MOUNT_POINT;
}

// Folders of the system at the root of a file system: never part of a backup.
bool IsSystemRootFolder(const std::string& name)
{
    return name == "lost+found" || name == ".Trash" || name.rfind(".Trash-", 0) == 0;
}

// File systems whose trash also takes whole folders.
bool TrashTakesFolders(TFileSystem fs)
{
    return fs == fsNtfs || fs == fsReFS || fs == fsExt4 || fs == fsBTRFS;
}

bool FolderHasEntries(const std::string& folder)
{
    TSearchRec sr;
    int code = FindFirst(AddPathDelimiter(folder) + "*", faSearchAll, sr);
    bool found = false;
    while (code == 0 && !found) {
        found = IsNotDotEntry(sr.Name);
        code = FindNext(sr);
    }
    FindClose(sr);
    return found;
}

std::string DeletedText(int64_t n)
{
    return FormatCount(_("No files deleted"), _("1 file deleted"), _("%u files deleted"), n);
}

} // namespace

TSynchronizer::TSynchronizer(const TTaskSettings& task, TTaskLog& log, TRunControl& control,
                             IProgressSink& progress, IInteraction& interaction, TEngineFileOps& ops)
    : FTask(task), FLog(log), FControl(control), FProgress(progress), FInteraction(interaction), FOps(ops)
{
    TargetType = task.TargetType;
}

std::string TSynchronizer::Relative(const std::string& dest, const std::string& path) const
{
    return MakeRelativePath(AddPathDelimiter(dest), path);
}

void TSynchronizer::ShowDeleted(int deleted)
{
    FProgress.WriteStatus(2, DeletedText(deleted));
}

// ---- the source side

TSynchronizer::TSourceState TSynchronizer::SourceFileState(const std::string& path) const
{
    TPosixFileData data;
    uint32_t e = ReadFileData(path, false, data);
    if (e == 0)
        return (data.Attr & faDirectory) != 0 && (data.Attr & faReparsePoint) == 0 ? ssMissing : ssExists;
    if (e != WinError::ERROR_FILE_NOT_FOUND)
        return ssUnknown;
    // Absent for sure only when its folder is there.
    TPosixFileData parent;
    return ReadFileData(GetParentDir(path), true, parent) == 0 && (parent.Attr & faDirectory) != 0
               ? ssMissing
               : ssUnknown;
}

std::string TSynchronizer::SourceFilePath(const std::string& folder, const std::string& name) const
{
    std::string path = folder + name;
    if (FTask.FnMode == tcNone || SourceFileState(path) != ssMissing)
        return path;
    auto it = FChangedNames.find(folder);
    if (it == FChangedNames.end()) {
        std::vector<TEntry> entries;
        ListEntries(folder, false, entries);
        std::map<std::string, std::string> names;
        for (const auto& e : entries)
            names.emplace(ChangeTextCase(e.Name, FTask.FnMode), e.Name);
        it = FChangedNames.emplace(folder, std::move(names)).first;
    }
    auto found = it->second.find(name);
    return found == it->second.end() ? path : folder + found->second;
}

TSynchronizer::TSourceState TSynchronizer::SourceFolderState(const std::string& path) const
{
    std::string p = StripDelimiter(path);
    TPosixFileData data;
    uint32_t e = ReadFileData(p, false, data);
    if (e == 0) {
        if ((data.Attr & faReparsePoint) != 0) {
            if (!FTask.UseJunctions)
                return ssMissing;
            TPosixFileData target;
            return ReadFileData(p, true, target) == 0 && (target.Attr & faDirectory) != 0 ? ssExists
                                                                                          : ssMissing;
        }
        return (data.Attr & faDirectory) != 0 ? ssExists : ssMissing;
    }
    if (e != WinError::ERROR_FILE_NOT_FOUND)
        return ssUnknown;
    TPosixFileData parent;
    return ReadFileData(GetParentDir(p), true, parent) == 0 && (parent.Attr & faDirectory) != 0 ? ssMissing
                                                                                                : ssUnknown;
}

uint32_t TSynchronizer::CheckSource(const std::string& srcDir, const std::string& destDir, bool& empty) const
{
    empty = false;
    if (!IsPathAvailable(srcDir))
        return WinError::ERROR_PATH_NOT_FOUND;
    uint32_t code = 0;
    if (!XlCheckDirAccess(StripDelimiter(srcDir), code))
        return code != 0 ? code : WinError::ERROR_PATH_NOT_FOUND;
    if (FolderHasEntries(srcDir))
        return 0;
    // An empty source: a drive that is not mounted leaves its empty mount folder behind.
    std::vector<TEntry> entries;
    std::string dest = AddPathDelimiter(destDir);
    ListEntries(dest, true, entries);
    ListEntries(dest, false, entries);
    for (const auto& e : entries)
        if (!IsSpecialFile(true, e.Name) && !IsLinkInfoFile(e.Name))
            empty = true;
    return 0;
}

// ---- names

void TSynchronizer::DeriveSourceName(const std::string& folder, const std::string& name, bool readStored,
                                     TDestFile& f) const
{
    f = TDestFile();
    f.Name = name;
    if (FTask.cbZipCompress && EndsText(name, ".zip")) {
        f.Zip = true;
        f.MarkExt = name.substr(name.size() - 4);
    } else if (FTask.cbCompress && EndsText(name, ".gze")) {
        f.Gzip = f.Enc = true;
        f.MarkExt = name.substr(name.size() - 4);
    } else if (FTask.cbCompress && EndsText(name, ".gz")) {
        f.Gzip = true;
        f.MarkExt = name.substr(name.size() - 3);
    } else if (EndsText(name, ".enc")) {
        f.Enc = true;
        if (Encrypt)
            f.MarkExt = name.substr(name.size() - 4);
    }
    f.Plain = name.substr(0, name.size() - f.MarkExt.size());
    f.Derived = f.Plain;
    if (readStored && FTask.KeepBakCB && (f.Zip || f.Gzip)) {
        // An older version keeps the name of its file inside.
        try {
            TGzFileInfo info;
            bool ok = f.Zip ? GetZipFileInfo(folder + name, info) == 0 : GetGzFileInfo(folder + name, info);
            std::string stored = ReplaceAll(info.Filename, "\\", "/");
            if (ok && !stored.empty() && stored.back() != '/')
                f.Derived = std::string(BaseNameOf(stored));
        } catch (const Exception&) {
        }
    }
    if (!f.Zip && !f.Gzip && FTask.KeepBakCB) {
        std::string suffix = FTask.BakSec.FileSuffix;
        if (suffix.empty() && FTask.BakSec.DirMode == sdNone)
            suffix = BakSuffix;
        if (!suffix.empty() && HasSecurityCopySuffix(f.Derived, suffix, true)) {
            f.Derived = RemoveSecurityCopySuffix(f.Derived, suffix);
            f.SuffixRemoved = f.Derived != f.Plain;
        }
    }
}

bool TSynchronizer::FileGoes(const std::string& src, const std::string& sub, TExtensionList& list,
                             bool deleteAll, TDestFile& f, bool& unknown) const
{
    unknown = false;
    const bool top = sub.empty();
    if (deleteAll || (FTask.SyncMode == 3 && list.IncludeDirs && top))
        return true;
    std::string folder = SubFolder(src, sub);
    f.SourcePath = SourceFilePath(folder, f.Derived);
    TSourceState state = SourceFileState(f.SourcePath);
    bool missing = state == ssMissing;
    // A name that only looks like an older version belongs to a source file of its own name.
    if (missing && f.SuffixRemoved && SourceFileState(SourceFilePath(folder, f.Plain)) != ssMissing)
        missing = false;
    bool goes;
    if (f.Zip) {
        goes = missing;
    } else if (f.Gzip) {
        goes = missing;
        if (goes) {
            std::string ownExt = FileTypeName(f.Name);
            if (FTask.AktNoComp.IndexOf(ownExt) >= 0 &&
                SourceFileState(SourceFilePath(folder, f.Name)) == ssExists)
                goes = false;
        }
    } else {
        bool wouldCompress = FTask.cbCompress && FTask.AktNoComp.IndexOf(FileTypeName(f.Derived)) < 0;
        goes = wouldCompress || (Encrypt && !f.Enc) || missing;
    }
    if (FTask.SyncMode >= 2) {
        std::string ext;
        bool selected = ExtensionMatches(f.Derived, list, ext) && list.NameFilterPasses(f.Derived);
        if (selected && state == ssExists) {
            TPosixFileData data;
            if (ReadFileData(f.SourcePath, true, data) == 0) {
                TSelFileInfo info;
                info.Name = f.Derived;
                info.Size = data.Size;
                info.Attr = data.Attr;
                info.DateTime = FileTimeToLocalDateTime(data.LastWriteTime);
                info.CreationTime = FileTimeToLocalDateTime(data.CreationTime);
                selected = FileMatchesSelection(info, list, Selection);
            }
        }
        f.NotSelected = !selected;
        if (FTask.SyncMode == 2)
            goes = goes && selected && !(top && list.IncludeDirs);
        else
            goes = goes || !selected;
    }
    // Whether the source file is there cannot be told: its copy stays.
    if (state == ssUnknown) {
        unknown = true;
        goes = false;
    }
    return goes;
}

std::string TSynchronizer::SyncFolderName() const
{
    return FTask.SyncSec.DirPrefix + SyncSuffix;
}

std::string TSynchronizer::SyncTargetFolder(const std::string& dest, const std::string& sub,
                                            const std::string& c) const
{
    std::string sync = SyncFolderName();
    std::string base = AddPathDelimiter(BaseDir.empty() ? dest : BaseDir);
    std::string rel = MakeRelativePath(base, c);
    while (!rel.empty() && rel.front() == '/')
        rel.erase(0, 1);
    switch (FTask.SyncSec.DirMode) {
    case sdNone:
        return c;
    case sdSubDir:
        return AddPathDelimiter(c + sync);
    case sdSepDir:
        return SubFolder(AddPathDelimiter(dest) + sync, sub);
    case sdRootDrive: {
        size_t slash = rel.find('/');
        std::string first = slash == std::string::npos ? rel : rel.substr(0, slash);
        std::string rest = slash == std::string::npos ? std::string() : rel.substr(slash + 1);
        std::string folder = first.empty() ? base + sync : AddPathDelimiter(base + first) + sync;
        return rest.empty() ? AddPathDelimiter(folder) : AddPathDelimiter(AddPathDelimiter(folder) + rest);
    }
    default:
        return rel.empty() ? AddPathDelimiter(base + sync)
                           : AddPathDelimiter(AddPathDelimiter(base + sync) + rel);
    }
}

std::vector<std::string> TSynchronizer::SecurityFolders(const std::string& dest, const std::string& sub,
                                                        const std::string& c) const
{
    const TSecSettings& sec = FTask.BakSec;
    std::string pattern = sec.DirPrefix + sec.DirSuffix;
    if (sec.DirMode == sdRootDate)
        pattern += std::string("-") + BackupDateMask;
    std::string base = AddPathDelimiter(BaseDir.empty() ? dest : BaseDir);
    std::string rel = MakeRelativePath(base, c);
    while (!rel.empty() && rel.front() == '/')
        rel.erase(0, 1);
    std::string parent;
    std::string rest;
    switch (sec.DirMode) {
    case sdNone:
        return {};
    case sdSubDir:
        parent = c;
        break;
    case sdSepDir:
        parent = AddPathDelimiter(dest);
        rest = sub;
        break;
    case sdRootDir:
        parent = base;
        rest = rel;
        break;
    default: {
        size_t slash = rel.find('/');
        std::string first = slash == std::string::npos ? rel : rel.substr(0, slash);
        rest = slash == std::string::npos ? std::string() : rel.substr(slash + 1);
        parent = first.empty() ? base : AddPathDelimiter(base + first);
        break;
    }
    }
    std::vector<std::string> folders;
    std::vector<TEntry> entries;
    ListEntries(parent, true, entries);
    for (const auto& e : entries)
        if (!IsSymlink(e.Data) && MatchesFileMask(pattern, e.Name))
            folders.push_back(SubFolder(parent + e.Name, StripDelimiter(rest)));
    return folders;
}

bool TSynchronizer::IsSecurityFolderName(const std::string& name) const
{
    auto matches = [&name](const std::string& prefix) {
        return !prefix.empty() && MatchesFileMask(prefix + "*", name);
    };
    if (FTask.KeepSyncCB) {
        if (MatchesFileMask(SyncFolderName() + "*", name))
            return true;
        // Folders kept in place carry the prefix in front of their old name and the suffix after it: only
        // such names are spared, so that a folder of the user's own that merely begins with the prefix
        // is synchronised like any other.
        const TSecSettings& sec = FTask.SyncSec;
        if (sec.DirMode == sdNone && !sec.DirPrefix.empty() &&
            MatchesFileMask(
                sec.DirPrefix + "*" +
                    (sec.DirSuffix.empty() ? std::string() : "-" + SecurityCopyDateMasks(sec.DirSuffix)),
                name))
            return true;
        return FTask.KeepBakCB && FTask.BakSec.DirMode != sdNone && matches(FTask.BakSec.DirPrefix);
    }
    return FTask.KeepBakCB && matches(FTask.BakSec.DirPrefix);
}

// ---- the walk

bool TSynchronizer::KeepSyncCopy(const std::string& dest, const std::string& sub, const std::string& c,
                                 const std::string& path, const TDestFile& f, const TPosixFileData& data,
                                 int& deleted, bool& gone)
{
    gone = false;
    const TSecSettings& sec = FTask.SyncSec;
    if (sec.DirMode == sdNone && !NotSyncSecurityCopy(f.Name, sec.FileSuffix, f.Zip, f.Gzip, f.Enc)) {
        FLog.WriteToLog(lmVerbose,
                        DetailIndent + SafeFormat(_("Existing source file: \"%s\""), {f.SourcePath}));
        return true;
    }
    if (!FOps.MayDestroy(path, "S"))
        return false;
    std::string target = SyncTargetFolder(dest, sub, c);
    if (target != c && !FOps.CreateDirectoryLogged(StripDelimiter(target), "S", true))
        return false;
    // The file's own name: two versions of one source file must not meet under one name.
    std::string newPath =
        target + MakeSyncCopyName(f.Plain, sec.FileSuffix, FileTimeToLocalDateTime(data.LastWriteTime)) +
        f.MarkExt;
    if (!FOps.MayDestroy(newPath, "S"))
        return false;
    if (XlFileExists(newPath, false))
        XlDeleteFile(newPath, true);
    int attr = FTask.cbNoAttributes ? -1 : static_cast<int>(data.Attr & 0xFFFF);
    int r = 0;
    for (int tries = 0; tries < 5; ++tries) {
        r = attr == -1 ? static_cast<int>(XlMoveFile(path, newPath))
                       : XlMoveFileSetAttr(path, newPath, static_cast<uint32_t>(attr));
        if (r <= 0 || FControl.Stopped())
            break;
        if (FOps.Sleep)
            FOps.Sleep(FOps.RetryPauseMs());
    }
    if (r > 0) {
        FLog.WriteErrorToLog(
            lmLong, "S",
            SafeFormat(
                _("Error renaming %s: \"%s\" to \"%s\""),
                {_("File"), path, newPath + " (" + FileAttrToStr(static_cast<uint32_t>(data.Attr)) + ")"}),
            static_cast<uint32_t>(r));
        return false;
    }
    ++deleted;
    gone = target != c && target != AddPathDelimiter(c + SyncFolderName());
    ShowDeleted(deleted);
    FLog.WriteToLog(lmLong, LogIndent(FLog.CurrentLogMode()) +
                                SafeFormat(_("%s was renamed: \"%s\" to \"%s\""),
                                           {_("File"), Relative(dest, path), Relative(dest, newPath)}));
    return true;
}

void TSynchronizer::DeleteOlderVersions(const std::string& dest, const std::string& sub, const std::string& c,
                                        const TDestFile& f)
{
    std::string suffix = FTask.BakSec.FileSuffix;
    std::string mask = f.Derived;
    if (!suffix.empty())
        mask = InsertNameSuffix(f.Derived, ReplaceAll(SecurityCopyDateMasks("." + suffix), "#", "*"));
    mask += f.MarkExt;
    for (const auto& folder : SecurityFolders(dest, sub, c)) {
        std::vector<std::string> names;
        TSearchRec sr;
        int code = FindFirst(folder + mask, faSearchFiles, sr);
        while (code == 0) {
            names.push_back(sr.Name);
            code = FindNext(sr);
        }
        FindClose(sr);
        for (const auto& n : names)
            FileDelete(dest, folder + n);
    }
}

bool TSynchronizer::DeleteDestFile(const std::string& dest, const std::string& sub, const std::string& c,
                                   const std::string& path, const TDestFile& f, int& deleted)
{
    if (!FOps.MayDestroy(path, "S"))
        return false;
    if (FTask.KeepBakCB && FTask.BakSec.DirMode != sdNone)
        DeleteOlderVersions(dest, sub, c, f);
    uint32_t e = FTask.cbSyncRecycle ? MoveToTrash(path) : XlDeleteFile(path, true);
    if (e != 0) {
        FLog.WriteErrorToLog(lmShort, "S", SafeFormat(_("Error deleting file: \"%s\""), {path}), e);
        return false;
    }
    ++deleted;
    ShowDeleted(deleted);
    std::string text =
        FTask.cbSyncRecycle ? _("File was moved to Recycle Bin: \"%s\"") : _("File was deleted: \"%s\"");
    FLog.WriteToLog(lmLong, LogIndent(FLog.CurrentLogMode()) + SafeFormat(text, {Relative(dest, path)}));
    return true;
}

bool TSynchronizer::RemoveExtraFolder(const std::string& dest, const std::string& sub, const std::string& c,
                                      const std::string& name, const TPosixFileData& data, int& examined,
                                      int& deleted)
{
    const std::string path = c + name;
    const std::string indent = LogIndent(FLog.CurrentLogMode());
    if (!FOps.MayDestroy(path, "S"))
        return false;
    if (IsSecurityFolderName(name)) {
        FLog.WriteToLog(
            lmVerbose,
            Indent + SafeFormat(_("Directory \"%s\" contains security copies and was not deleted"), {path}));
        return true;
    }
    // A link at the destination goes as the link; what it points to is never touched.
    const bool link = IsSymlink(data);
    if (FTask.KeepSyncCB) {
        const TSecSettings& sec = FTask.SyncSec;
        std::string suffix = ExpandSyncDirSuffix(sec.DirSuffix, FileTimeToLocalDateTime(data.LastWriteTime));
        std::string parent;
        std::string newName = name + suffix;
        std::string base = AddPathDelimiter(BaseDir.empty() ? dest : BaseDir);
        std::string rel = MakeRelativePath(base, c);
        while (!rel.empty() && rel.front() == '/')
            rel.erase(0, 1);
        switch (sec.DirMode) {
        case sdNone:
            parent = c;
            newName = sec.DirPrefix + name + suffix;
            break;
        case sdSubDir:
            parent = AddPathDelimiter(c + SyncFolderName());
            break;
        case sdSepDir:
            parent = SubFolder(AddPathDelimiter(dest) + SyncFolderName(), sub);
            break;
        default:
            parent = SubFolder(base + SyncFolderName(), StripDelimiter(rel));
            break;
        }
        if (parent != c && !FOps.CreateDirectoryLogged(StripDelimiter(parent), "S", true))
            return false;
        std::string newPath = parent + newName;
        if (!FOps.MayDestroy(newPath, "S"))
            return false;
        TPosixFileData existing;
        if (ReadFileData(newPath, false, existing) == 0) {
            bool removed;
            if ((existing.Attr & faDirectory) != 0 && (existing.Attr & faReparsePoint) == 0) {
                int n = 0;
                removed = FOps.ClearDirectory(parent, newName, "S", true, true, false, n);
            } else {
                removed = XlDeleteFile(newPath, true) == 0;
            }
            if (!removed) {
                FLog.WriteErrorToLog(lmShort, "S",
                                     SafeFormat(_("Error deleting directory: \"%s\""), {newPath}));
                return false;
            }
        }
        int count = link ? 0 : CountFiles(path, true, std::string());
        uint32_t e = XlMoveFile(path, newPath);
        if (e != 0) {
            FLog.WriteErrorToLog(
                lmShort, "S",
                SafeFormat(_("Error renaming %s: \"%s\" to \"%s\""), {_("Directory"), path, newPath}), e);
            return false;
        }
        examined += count;
        deleted += count;
        ShowDeleted(deleted);
        FLog.WriteToLog(lmLong,
                        indent +
                            SafeFormat(_("%s was renamed: \"%s\" to \"%s\""),
                                       {_("Directory"), Relative(dest, path), Relative(dest, newPath)}) +
                            FileCountText(count, true));
        return true;
    }
    if (link) {
        uint32_t e = FTask.cbSyncRecycle ? MoveToTrash(path) : XlDeleteFile(path, true);
        if (e != 0) {
            FLog.WriteErrorToLog(lmShort, "S", SafeFormat(_("Error deleting directory: \"%s\""), {path}), e);
            return false;
        }
        FLog.WriteToLog(lmLong, indent +
                                    SafeFormat(_("Directory was deleted: \"%s\""), {Relative(dest, path)}) +
                                    FileCountText(0, true));
        return true;
    }
    if (FTask.cbSyncRecycle && TrashTakesFolders(TargetType)) {
        int count = CountFiles(path, true, std::string());
        uint32_t e = MoveToTrash(path);
        if (e != 0) {
            FLog.WriteErrorToLog(lmShort, "S", SafeFormat(_("Error deleting directory: \"%s\""), {path}), e);
            return false;
        }
        examined += count;
        deleted += count;
        ShowDeleted(deleted);
        FLog.WriteToLog(
            lmLong, indent +
                        SafeFormat(_("Directory was moved to Recycle Bin: \"%s\""), {Relative(dest, path)}) +
                        FileCountText(count, true));
        return true;
    }
    int count = 0;
    bool ok = FOps.ClearDirectory(c, name, "S", true, true, false, count);
    examined += count;
    deleted += count;
    ShowDeleted(deleted);
    if (!ok) {
        FLog.WriteErrorToLog(lmShort, "S", SafeFormat(_("Error deleting directory: \"%s\""), {path}));
        return false;
    }
    FLog.WriteToLog(lmLong, indent + SafeFormat(_("Directory was deleted: \"%s\""), {Relative(dest, path)}) +
                                FileCountText(count, true));
    return true;
}

bool TSynchronizer::SyncLocalDestination(const std::string& src, const std::string& dest,
                                         TExtensionList& list, int& examined, int& deleted, bool deleteAll,
                                         bool selected, const std::string& sub)
{
    const bool top = sub.empty();
    const std::string srcFolder = SubFolder(src, sub);
    // 1. Nothing is touched unless the source folder is there and can be read.
    uint32_t code = 0;
    if ((top && !IsPathAvailable(srcFolder)) || !XlCheckDirAccess(StripDelimiter(srcFolder), code)) {
        if (!top)
            FLog.WriteErrorToLog(
                lmShort, "S",
                SafeFormat(DirErrorFormat(code != 0 ? code : WinError::ERROR_PATH_NOT_FOUND), {srcFolder}),
                code);
        return false;
    }
    const std::string c = SubFolder(dest, sub);
    if (top) {
        bool empty = false;
        if (CheckSource(srcFolder, dest, empty) != 0 || empty)
            return false;
        if (!XlDirectoryExists(StripDelimiter(c)))
            return true;
    }
    FLog.WriteToLog(lmVerbose, Indent + SafeFormat(_("Current directory: \"%s\""), {c}));

    // 3. Sub-folders.
    bool result = true;
    std::vector<TEntry> folders;
    code = ListEntries(c, true, folders);
    if (code != static_cast<int>(WinError::ERROR_NO_MORE_FILES)) {
        FLog.WriteErrorToLog(lmShort, "S", SafeFormat(DirErrorFormat(static_cast<uint32_t>(code)), {c}),
                             static_cast<uint32_t>(code));
        result = false;
    }
    const bool mountRoot = IsMountRoot(c);
    bool hadFolders = false;
    for (const auto& entry : folders) {
        if (FControl.Stopped())
            break;
        if (mountRoot && IsSystemRootFolder(entry.Name))
            continue;
        hadFolders = true;
        // A file system mounted inside the destination is left alone.
        if ((entry.Data.Attr & faReparsePoint) != 0 && !IsSymlink(entry.Data))
            continue;
        const std::string name = entry.Name;
        const std::string subName = sub.empty() ? name : JoinPath(sub, name);
        const std::string srcSub = AddPathDelimiter(srcFolder + name);
        TSourceState state = SourceFolderState(srcSub);
        if (state == ssUnknown) {
            FLog.WriteErrorToLog(lmShort, "S", SafeFormat(_("Error accessing directory: \"%s\""), {srcSub}));
            result = false;
            continue;
        }
        // A folder whose source became a file of the same name: the copy puts the file in its place
        // once the file is copied, so that neither goes missing.
        if (state != ssExists && !deleteAll && IsRegularFile(StripDelimiter(srcSub))) {
            FLog.WriteToLog(lmVerbose,
                            Indent + SafeFormat(_("Existing source file: \"%s\""), {StripDelimiter(srcSub)}));
            continue;
        }
        const bool exists = state == ssExists;
        const bool inList = list.SubDirList.IndexOf(srcSub) >= 0;
        const bool link = IsSymlink(entry.Data);
        auto walk = [&](bool sel) {
            // A link at the destination is never walked into.
            if (link)
                return;
            if (!SyncLocalDestination(src, dest, list, examined, deleted, deleteAll, sel, subName))
                result = false;
        };
        auto remove = [&]() {
            if (!RemoveExtraFolder(dest, sub, c, name, entry.Data, examined, deleted))
                result = false;
        };
        if (FTask.SyncMode <= 1) {
            if (exists)
                walk(true);
            else
                remove();
        } else if (list.IncludeDirs) {
            if (exists) {
                bool sel = selected || inList;
                walk(sel);
                if (!sel && FTask.SyncMode == 3 && !link && HasNoSubDirs(c + name))
                    remove();
            } else if (selected || FTask.SyncMode == 3) {
                remove();
            }
        } else if (!inList) {
            if (exists)
                walk(true);
            else
                remove();
        } else if (FTask.SyncMode == 3) {
            remove();
        }
    }

    // 4. Files.
    int examinedHere = 0;
    int goneHere = 0;
    if (result && !FControl.Stopped() && (top || selected)) {
        FLog.WriteToLog(lmVerbose, Indent + SafeFormat(_("Scan for files in \"%s\""), {c}));
        FProgress.SetPrompt(c);
        std::vector<TEntry> files;
        code = ListEntries(c, false, files);
        if (code != static_cast<int>(WinError::ERROR_NO_MORE_FILES)) {
            FLog.WriteErrorToLog(lmShort, "S", SafeFormat(DirErrorFormat(static_cast<uint32_t>(code)), {c}),
                                 static_cast<uint32_t>(code));
            result = false;
        }
        bool unknownLogged = false;
        for (const auto& entry : files) {
            FControl.WaitWhilePaused();
            if (FControl.Stopped())
                break;
            if ((top && IsSpecialFile(true, entry.Name)) || IsLinkInfoFile(entry.Name))
                continue;
            const std::string path = c + entry.Name;
            const TPosixFileData& data = entry.Data;
            FLog.WriteToLog(lmVerbose,
                            Indent + SafeFormat(_("File at destination is being examined: \"%s\""), {path}));
            FLog.WriteToLog(lmVerbose, DetailIndent + FormatSize(false, data.Size) + " " +
                                           FileAttrToStr(data.Attr) + " " +
                                           TimeStampToStr(FileTimeToLocalDateTime(data.LastWriteTime)));
            ++examined;
            ++examinedHere;
            FControl.Checkpoint();
            TDestFile f;
            DeriveSourceName(c, entry.Name, true, f);
            bool unknown = false;
            bool goes = FileGoes(src, sub, list, deleteAll, f, unknown);
            if (unknown) {
                if (!unknownLogged)
                    FLog.WriteErrorToLog(lmShort, "S",
                                         SafeFormat(_("Error accessing directory: \"%s\""), {srcFolder}));
                unknownLogged = true;
                result = false;
            }
            // A file whose source became a folder of the same name makes way for the folder's copy.
            if (goes && !deleteAll && !f.SourcePath.empty() && XlDirectoryExists(f.SourcePath, false))
                goes = false;
            if (goes) {
                // Checked again before anything goes: a drive may be pulled out during the walk.
                TPosixFileData folderData;
                if (ReadFileData(StripDelimiter(srcFolder), true, folderData) != 0 ||
                    (folderData.Attr & faDirectory) == 0) {
                    FLog.WriteErrorToLog(
                        lmShort, "S",
                        SafeFormat(DirErrorFormat(WinError::ERROR_PATH_NOT_FOUND), {srcFolder}));
                    result = false;
                    break;
                }
                bool ok;
                bool gone = false;
                if (FTask.KeepSyncCB) {
                    ok = KeepSyncCopy(dest, sub, c, path, f, data, deleted, gone);
                } else {
                    ok = DeleteDestFile(dest, sub, c, path, f, deleted);
                    gone = ok;
                }
                if (!ok)
                    result = false;
                if (gone)
                    ++goneHere;
            } else if (f.SourcePath.empty() || f.NotSelected) {
                FLog.WriteToLog(lmVerbose, DetailIndent + SafeFormat(_("Excluded file: \"%s\""), {path}));
            } else {
                FLog.WriteToLog(lmVerbose,
                                DetailIndent + SafeFormat(_("Existing source file: \"%s\""), {f.SourcePath}));
            }
        }
    }

    // 5. Security-copy folders emptied by the walk.
    if (!FTask.KeepSyncCB && FTask.KeepBakCB && FTask.BakSec.DirMode != sdNone &&
        !FTask.BakSec.DirPrefix.empty() &&
        !MatchesFileMask(FTask.BakSec.DirPrefix + "*", GetLastDirName(StripDelimiter(c)))) {
        for (const auto& folder : SecurityFolders(dest, sub, c)) {
            std::string p = StripDelimiter(folder);
            if (XlDirectoryExists(p, false) && !FolderHasEntries(p) && FOps.MayDestroy(p, "S") &&
                XlRemoveDir(p) == 0)
                FLog.WriteToLog(lmVerbose,
                                Indent + SafeFormat(_("Empty directory was deleted: \"%s\""), {folder}));
        }
    }

    // 6. A folder the walk emptied.
    if (!top && !hadFolders && goneHere == examinedHere && FTask.cbDelDir && !FControl.Stopped() &&
        !FolderHasEntries(c) && FOps.MayDestroy(StripDelimiter(c), "S")) {
        std::string p = StripDelimiter(c);
        int attr = XlFileGetAttr(p, false);
        XlChangeFileAttr(p, faReadOnly, true, false);
        uint32_t e = XlRemoveDir(p);
        if (e == 0) {
            FLog.WriteToLog(lmVerbose, Indent + SafeFormat(_("Empty directory was deleted: \"%s\""), {c}));
        } else {
            FLog.WriteErrorToLog(lmShort, "S", SafeFormat(_("Error deleting directory: \"%s\""), {c}), e);
            if (attr >= 0)
                XlFileSetAttr(p, static_cast<uint32_t>(attr), false);
            result = false;
        }
    }
    return result;
}

void TSynchronizer::CountSyncFiles(const std::string& src, const std::string& dest, TExtensionList& list,
                                   const std::string& sub)
{
    if (FControl.Stopped())
        return;
    const std::string c = SubFolder(dest, sub);
    const std::string srcFolder = SubFolder(src, sub);
    std::vector<TEntry> folders;
    ListEntries(c, true, folders);
    const bool mountRoot = IsMountRoot(c);
    for (const auto& entry : folders) {
        if (FControl.Stopped())
            return;
        if ((entry.Data.Attr & faReparsePoint) != 0 || (mountRoot && IsSystemRootFolder(entry.Name)))
            continue;
        bool walk = true;
        if (FTask.SyncMode >= 2) {
            bool inList = list.SubDirList.IndexOf(AddPathDelimiter(srcFolder + entry.Name)) >= 0;
            walk = list.IncludeDirs ? inList : !inList;
        }
        if (walk)
            CountSyncFiles(src, dest, list, sub.empty() ? entry.Name : JoinPath(sub, entry.Name));
    }
    std::vector<TEntry> files;
    if (ListEntries(c, false, files) == static_cast<int>(WinError::ERROR_NO_MORE_FILES)) {
        for (const auto& entry : files) {
            if (IsSpecialFile(true, entry.Name))
                continue;
            bool counted = true;
            if (FTask.SyncMode >= 2) {
                TDestFile f;
                DeriveSourceName(c, entry.Name, false, f);
                std::string ext;
                counted = ExtensionMatches(f.Derived, list, ext) && list.NameFilterPasses(f.Derived);
            }
            if (counted)
                ++list.SyncCount;
        }
    }
    if (sub.empty())
        FProgress.SetActionHint(_("is being synchronized") + ": " + dest + " - " + _("Found: ") +
                                FormatCount(_("No files"), _("1 file"), _("%u files"), list.SyncCount));
}

bool TSynchronizer::RefuseSync(const std::string& srcDir, uint32_t code, bool prompt,
                               TFolderCounters& counters)
{
    std::string message =
        code != 0 ? SafeFormat(DirErrorFormat(code), {srcDir})
                  : SafeFormat(_("The source folder is empty, its destination was not synchronized: \"%s\""),
                               {srcDir});
    message = _("Synchronize") + " - " + message;
    if (prompt && !FTask.SkipDir)
        FInteraction.ErrorBox(message, 0);
    FLog.WriteErrorToLog(lmShort, "S", message, code);
    ++counters.ErrorCount;
    counters.SyncFailed = true;
    return false;
}

bool TSynchronizer::SyncLocalFolder(TExtensionList& list, const std::string& srcDir,
                                    const std::string& destDir, bool prompt, TFolderCounters& counters)
{
    bool empty = false;
    const uint32_t code = CheckSource(srcDir, destDir, empty);
    if (code != 0 || empty)
        return RefuseSync(srcDir, code, prompt, counters);
    FLog.WriteToLog("  ->  " + _("Synchronize") + ": " + destDir);
    FProgress.SetActionHint(_("is being synchronized"));
    if (list.SyncCount == 0)
        CountSyncFiles(srcDir, destDir, list, std::string());
    FProgress.SetActionHint(_("is being synchronized") + " (" +
                            FormatCount(_("No files"), _("1 file"), _("%u files"), list.SyncCount) + ")");
    int examined = 0;
    int deleted = 0;
    bool ok = SyncLocalDestination(srcDir, destDir, list, examined, deleted, false, false, std::string());
    list.SyncCount = static_cast<uint32_t>(examined);
    FLog.WriteToLog("    => " + _("Status: ") + DeletedText(deleted));
    if (!ok)
        FLog.WriteToLog("  *** " + _("Warning: There were errors during synchronization!"));
    counters.DeletedCount += deleted;
    if (!ok)
        counters.SyncFailed = true;
    return ok;
}

bool TSynchronizer::IsRegularFile(const std::string& path)
{
    struct stat st
    {
    };
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// ---- file services

bool TSynchronizer::FileDelete(const std::string& dir, const std::string& fileName)
{
    if (!FOps.MayDestroy(fileName, "B"))
        return false;
    uint32_t e = XlDeleteFile(fileName, true);
    if (e == WinError::ERROR_FILE_NOT_FOUND)
        return true;
    if (e == 0) {
        FLog.WriteToLog(lmVerbose, Indent + SafeFormat(_("File was deleted: \"%s\""), {fileName}));
        return true;
    }
    std::string shown = dir.empty() ? fileName : MakeRelativePath(AddPathDelimiter(dir), fileName);
    FLog.WriteErrorToLog(lmLong, "B", SafeFormat(_("Error deleting file: \"%s\""), {shown}), e);
    return false;
}

int TSynchronizer::FileRename(const std::string& dir, const std::string& u, const std::string& s, int& eCnt,
                              int& wCnt)
{
    std::string errMsg;
    int attr = FTask.cbNoAttributes ? -1 : XlFileGetAttr(u, false);
    int r = FOps.MoveFileLogged(dir, u, s, errMsg, lmLong, attr < 0 ? -1 : (attr & 0xFFFF));
    if (r > 0)
        ++eCnt;
    else if (r < 0)
        ++wCnt;
    return r;
}

void TSynchronizer::DeleteOldFiles(const std::string& path, const std::string& mask, TDateTime date)
{
    std::string folder = AddPathDelimiter(path);
    std::vector<std::string> names;
    TSearchRec sr;
    int code = FindFirst(folder + mask, faSearchFiles, sr);
    while (code == 0) {
        if (FileTimeToLocalDateTime(sr.FindData.LastWriteTime) < date)
            names.push_back(sr.Name);
        code = FindNext(sr);
    }
    FindClose(sr);
    for (const auto& n : names) {
        if (!FOps.MayDestroy(folder + n, "B"))
            continue;
        uint32_t e = XlDeleteFile(folder + n, true);
        if (e == 0)
            FLog.WriteToLog(lmVerbose, Indent + SafeFormat(_("File was deleted: \"%s\""), {folder + n}));
        else
            FLog.WriteErrorToLog(lmLong, "B", SafeFormat(_("Error deleting file: \"%s\""), {folder + n}), e);
    }
}
