#include "backup/FolderDestination.h"

#include "backup/OptionRules.h"

#include <cmath>
#include <dirent.h>
#include <sys/stat.h>
#include <vector>

#include "archive/FileErrors.h"
#include "backup/EngineCodes.h"
#include "backup/EngineFileOps.h"
#include "backup/SecurityCopyNames.h"
#include "foundation/ExtSysUtils.h"
#include "foundation/FileUtilsOps.h"
#include "foundation/InitProg.h"
#include "foundation/PathUtils.h"
#include "foundation/QvUtilsTexts.h"
#include "foundation/StringUtils.h"
#include "foundation/XlFileUtils.h"
#include "platform/DirSearch.h"
#include "rtl/Gettext.h"
#include "rtl/SysUtils.h"

namespace {

constexpr const char* Indent = "      ";

std::string StripDelimiter(std::string path)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

// Path lies in Dir or is Dir itself.
bool IsAtOrBelow(const std::string& dir, const std::string& path)
{
    return IsSameDirectory(dir, path) || IsSubPath(dir, path);
}

// A directory of its own, not a link to one.
bool IsRealDirectory(const std::string& path)
{
    struct stat st
    {
    };
    return ::lstat(StripDelimiter(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// A directory of its own that can be listed and holds nothing. A folder that cannot be read is never
// taken for an empty one.
bool IsEmptyRealDirectory(const std::string& path)
{
    if (!IsRealDirectory(path))
        return false;
    DIR* d = ::opendir(StripDelimiter(path).c_str());
    if (!d)
        return false;
    bool empty = true;
    while (dirent* e = ::readdir(d)) {
        std::string name = e->d_name;
        if (name != "." && name != "..") {
            empty = false;
            break;
        }
    }
    ::closedir(d);
    return empty;
}

std::string AttrLetters(const std::string& path)
{
    int attr = XlFileGetAttr(path, false);
    return FileAttrToStr(attr < 0 ? 0u : static_cast<uint32_t>(attr));
}

int PathDepth(const std::string& rel)
{
    int n = 0;
    size_t i = 0;
    while (i < rel.size()) {
        size_t slash = rel.find('/', i);
        if (slash == std::string::npos)
            slash = rel.size();
        if (slash > i)
            ++n;
        i = slash + 1;
    }
    return n;
}

} // namespace

TSourceFolderInfo ReadSourceFolderInfo(const TSourceLocation& location)
{
    TSourceFolderInfo info;
    if (location.Rel.empty())
        return info;
    const std::string src = StripDelimiter(location.Src);
    int attr = XlFileGetAttr(src, true);
    if (attr >= 0)
        info.Attr = static_cast<uint32_t>(attr);
    GetDirTimestamps(src, true, info.Timestamps);
    return info;
}

bool NoEarlierSourceInside(const TTaskSettings& task, const std::string& src, int index)
{
    for (int i = 0; i < index && i < task.Folders.Count(); ++i)
        if (IsAtOrBelow(src, task.Folders[i].SPath))
            return false;
    return true;
}

TFolderDestination::TFolderDestination(const TTaskSettings& task, TTaskLog& log, TRunControl& control,
                                       const std::string& baseDir)
    : FTask(task), FLog(log), FControl(control), FBaseDir(StripDelimiter(baseDir))
{
}

bool TFolderDestination::BelowBase(const std::string& dir) const
{
    return !FBaseDir.empty() && IsSubPath(FBaseDir, dir) && !IsSameDirectory(FBaseDir, dir);
}

void TFolderDestination::WarnSourceFileSystem(TFileSystem sourceType)
{
    const std::string source = _("source");
    auto warn = [&](const std::string& format) {
        FLog.WriteToLog(lmLong, "  *** " + SafeFormat(format, {source}));
    };
    if (FTask.cbAltStreams && sourceType != fsNtfs)
        warn(_("The file system at the %s does not support alternate data streams!"));
    if (FTask.cbCopySummary && sourceType != fsNtfs)
        warn(_("The file system at the %s does not support document summaries!"));
    if (FTask.cbCopyPerms && !KeepsPermissions(sourceType))
        warn(_("The file system at the %s does not support file permissions!"));
}

void TFolderDestination::Finish(const TSourceLocation& location, const std::string& subDir,
                                const TSourceFolderInfo& info, TFileSystem sourceType)
{
    const std::string sub = StripDelimiter(subDir);
    // The archive methods write no folder of the source; their base folder keeps its own times.
    if (KeepsFolders(FTask.DestMode) && !sub.empty() && !IsRootPath(sub) && XlDirectoryExists(sub)) {
        if (IsEmptyRealDirectory(sub)) {
            if (FTask.cbDelDir)
                RemoveEmptyFolders(sub);
        } else {
            SetFolderProperties(location, sub, info, sourceType);
        }
    }
    DeleteSourceFolder(location);
}

void TFolderDestination::RemoveEmptyFolders(const std::string& sub)
{
    // The base folder itself stays: the end of the run decides about it.
    std::string dir = sub;
    while (BelowBase(dir) && IsEmptyRealDirectory(dir)) {
        if (!FTask.cbNoAttributes)
            XlFileSetAttr(dir, faArchive, false);
        uint32_t e = XlRemoveDir(dir);
        if (e != 0) {
            FLog.WriteToLog(lmVerbose, std::string(Indent) +
                                           SafeFormat(_("Error deleting directory: \"%s\""), {dir}) + " (" +
                                           AttrLetters(dir) + ")");
            FLog.WriteToLog(lmVerbose,
                            "      => " + SafeFormat(_("System error: %s"), {SystemErrorMessage(e)}));
            return;
        }
        FLog.WriteToLog(lmVerbose,
                        std::string(Indent) + SafeFormat(_("Empty directory was deleted: \"%s\""), {dir}));
        dir = GetParentDir(dir);
    }
}

void TFolderDestination::SetFolderTimes(const std::string& dir, const TFileTimestamps& timestamps)
{
    uint32_t e = SetFileTimestamps(dir, timestamps, true, FTask.cbCreationTime, true);
    if (e != 0) {
        FLog.WriteErrorToLog(lmWarningLine, "B", FormatFileError(EngineError::WarnTime, dir, std::string()),
                             e);
        return;
    }
    if (FLog.CurrentLogMode() == lmVerbose)
        FLog.WriteToLog(
            lmVerbose,
            std::string(Indent) +
                SafeFormat(_("Set timestamp: \"%s\" => %s"),
                           {dir, TimeStampToStr(FileTimeToLocalDateTime(timestamps.LastWriteTime))}));
}

void TFolderDestination::SetFolderProperties(const TSourceLocation& location, const std::string& sub,
                                             const TSourceFolderInfo& info, TFileSystem sourceType)
{
    if (!FTask.cbNoAttributes && FTask.DestMode != BackupMethod::OneFolder) {
        TEngineFileOps ops(FLog, FControl);
        ops.SetMaxWaitTime(ProgSettings.OtherSettings.MaxWaitTime);
        ops.SetAttributesLogged(sub, info.Attr & 0xFFFF, false, "B");
    }
    if (info.Timestamps.Valid) {
        SetFolderTimes(sub, info.Timestamps);
        // The folders between the base folder and sub stand for the source's parents (below its
        // volume root) and take their times.
        const int mode = FTask.DestMode;
        if (mode == BackupMethod::DriveFolders || mode == BackupMethod::FullPath ||
            mode == BackupMethod::ZipDriveFolders || mode == BackupMethod::ZipFullPath) {
            std::string s = StripDelimiter(location.Src);
            std::string d = sub;
            for (int level = PathDepth(location.Rel); level > 1; --level) {
                const std::string sp = GetParentDir(s);
                const std::string dp = GetParentDir(d);
                if (sp.size() >= s.size() || IsRootPath(sp) || !BelowBase(dp) || !XlDirectoryExists(dp))
                    break;
                s = sp;
                d = dp;
                TFileTimestamps ts;
                GetDirTimestamps(s, true, ts);
                if (ts.Valid)
                    SetFolderTimes(d, ts);
            }
        }
    }
    if (FTask.cbCopyPerms && KeepsPermissions(sourceType)) {
        uint32_t e = CopyFilePermissions(StripDelimiter(location.Src), sub);
        if (e != 0)
            FLog.WriteErrorToLog(lmWarningLine, "B",
                                 FormatFileError(EngineError::WarnAcl, sub, std::string()), e);
    }
}

void TFolderDestination::DeleteSourceFolder(const TSourceLocation& location)
{
    if (!FTask.cbSourceDelete || (FTask.DelSourceDelDir & 2) == 0)
        return;
    const std::string src = StripDelimiter(location.Src);
    // A volume root, a link and a folder that holds the destination are never removed.
    if (location.Rel.empty() || src.empty() || IsRootPath(src) || !IsRealDirectory(src))
        return;
    if (!FBaseDir.empty() && IsAtOrBelow(src, FBaseDir))
        return;
    uint32_t e = XlRemoveDir(src);
    if (e == 0)
        FLog.WriteToLog(lmVerbose, std::string(Indent) +
                                       SafeFormat(_("Empty directory was deleted: \"%s\""), {location.Src}));
    else
        FLog.WriteErrorToLog("B",
                             SafeFormat(_("Error deleting directory: \"%s\""), {location.Src}) + " (" +
                                 AttrLetters(src) + ")",
                             e);
}

std::string TFolderDestination::PlaceFolder(const std::string& sub) const
{
    if (!BelowBase(sub))
        return FBaseDir;
    std::string rel = MakeRelativePath(AddPathDelimiter(FBaseDir), AddPathDelimiter(sub));
    while (!rel.empty() && rel.front() == '/')
        rel.erase(0, 1);
    rel = rel.substr(0, rel.find('/'));
    return rel.empty() ? FBaseDir : AddPathDelimiter(FBaseDir) + rel;
}

int TFolderDestination::DeleteOldSecurityFolders(const std::string& dir)
{
    const TSecSettings& sec = FTask.BakSec;
    if (sec.AgeInWeeks <= 0 || sec.DirMode != sdRootDate)
        return -1;
    FLog.WriteToLog("    " + SafeFormat(_("Delete directories with security backups older than %u weeks"),
                                        {sec.AgeInWeeks}));
    const TDateTime limit = std::floor(Now()) - 7.0 * sec.AgeInWeeks;
    const std::string folder = AddPathDelimiter(StripDelimiter(dir));
    // Only real folders (attribute exactly "directory": no link, nothing read-only or hidden) whose name
    // ends in a date before the limit.
    std::vector<std::string> old;
    TSearchRec sr;
    const std::string lead = sec.DirPrefix + sec.DirSuffix + "-";
    for (int code = FindFirst(folder + lead + BackupDateMask, faSearchAll, sr); code == 0;
         code = FindNext(sr)) {
        // The mask treats wildcards of the prefix as wildcards; the name must hold it as written.
        if (sr.Attr != static_cast<int>(faDirectory) || !IsNotDotEntry(sr.Name) ||
            sr.Name.size() != lead.size() + 10 ||
            !utf8::SameText(std::string_view(sr.Name).substr(0, lead.size()), lead))
            continue;
        TDateTime date = 0;
        if (ReadDateAt(sr.Name, static_cast<int>(sr.Name.size()) - 9, date) && date > 0 && date < limit)
            old.push_back(folder + sr.Name);
    }
    FindClose(sr);
    int deleted = 0;
    for (const auto& path : old) {
        if (!IsRealDirectory(path))
            continue;
        if (Guard && Guard->Check(path) != TRunGuard::rfNone) {
            Guard->CountRefusal();
            FLog.WriteErrorToLog(lmShort, "B", SafeFormat(_("Refused to delete or replace \"%s\""), {path}),
                                 TRunGuard::RefusalText(Guard->Check(path)), std::string());
            continue;
        }
        if (DeleteDirectory(path, true)) {
            FLog.WriteToLog(lmLong, "  ->  " + SafeFormat(_("Directory was deleted: \"%s\""), {path}));
            ++deleted;
        } else {
            FLog.WriteErrorToLog("B", SafeFormat(_("Error deleting directory: \"%s\""), {path}));
        }
    }
    if (deleted == 0)
        FLog.WriteToLog("  ->  " + _("No matching directories found"));
    else if (FLog.CurrentLogMode() == lmShort)
        FLog.WriteToLog("  ->  " + FormatCount(_("No directory deleted"), _("1 directory deleted"),
                                               _("%u directories deleted"), deleted));
    return deleted;
}

bool KeepsFolders(int destMode)
{
    return !WritesRunArchive(destMode);
}
