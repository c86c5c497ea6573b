#include "backup/PreviewScan.h"

#include "backup/EngineCodes.h"
#include "backup/TaskSettings.h"
#include "foundation/FileUtilsOps.h"
#include "foundation/FileUtilsTimes.h"
#include "foundation/PathUtils.h"
#include "foundation/QvUtilsTexts.h"
#include "foundation/StringUtils.h"
#include "platform/DirSearch.h"
#include "platform/ErrorCodes.h"
#include "platform/FileStatus.h"
#include "rtl/DateTime.h"

namespace {
std::string StripTrailingDelimiter(const std::string& path)
{
    if (path.size() > 1 && path.back() == PathDelimiter)
        return path.substr(0, path.size() - 1);
    return path;
}

constexpr const char* LockName = "Vastrel.lock";

std::string FolderText(const std::string& full, const std::string& relDir, bool fullPaths)
{
    if (fullPaths)
        return full;
    return relDir.empty() ? std::string("./") : "./" + AddPathDelimiter(relDir);
}

void ScanFolder(const std::string& baseDir, const std::string& relDir, int dirAttr, std::string junctionRoot,
                bool parentIncluded, bool excluded, bool fullPaths, bool useArchive, int& count,
                int64_t& size, TStringList& lines, const TExtensionList& list, const TPreviewContext& ctx)
{
    const std::string full = AddPathDelimiter(AddPathDelimiter(baseDir) + relDir);
    // Links: left out unless they are read through and their target lies outside the folders above.
    std::string target;
    if (!relDir.empty() && GetLinkTarget(StripTrailingDelimiter(full), dirAttr, target)) {
        if (!ctx.UseJunctions || IsSubPath(target, junctionRoot))
            return;
        junctionRoot = target;
    } else {
        junctionRoot = full;
    }

    bool selected;
    if (list.IncludeDirs || excluded) {
        selected = parentIncluded || list.SubDirList.IndexOf(full) >= 0;
        parentIncluded = selected;
    } else {
        selected = list.SubDirList.IndexOf(full) < 0;
    }
    const bool listed = selected != excluded;

    if (listed) {
        const int lineIndex = lines.AddObject("*" + FolderText(full, relDir, fullPaths), 0);
        const bool archiveTest =
            useArchive && ctx.UseArchivCB && (ctx.cbArchFile || ctx.ClearDest || IsZipMethod(ctx.DestMode));
        int shownFiles = 0;
        TSearchRec sr;
        int code = FindFirst(full + "*", faSearchFiles, sr);
        while (code == 0) {
            if ((sr.Attr & faDirectory) == 0 && IsNotDotEntry(sr.Name) &&
                !utf8::SameText(sr.Name, LockName)) {
                const TPosixFileData& fd = sr.FindData;
                TSelFileInfo info;
                info.Name = sr.Name;
                info.Size = fd.Size;
                info.Attr = fd.Attr;
                info.DateTime = FileTimeToLocalDateTime(fd.LastWriteTime);
                info.CreationTime = FileTimeToLocalDateTime(fd.CreationTime);
                std::string ext;
                const bool match =
                    ExtensionMatches(sr.Name, list, ext) && FileMatchesSelection(info, list, ctx.Selection);
                bool shown = match != excluded;
                if (archiveTest)
                    shown = match && (((fd.Attr & faArchive) != 0) != excluded);
                if (shown) {
                    const TDateTime t = list.TmPeriod.TmRef == trCreate ? info.CreationTime : info.DateTime;
                    lines.Add(" " + sr.Name + "|" + FormatDateTime("c", t) + "|" +
                              FormatSize(false, fd.Size));
                    ++count;
                    size += fd.Size;
                    ++shownFiles;
                }
                if (ctx.Checkpoint)
                    ctx.Checkpoint();
            }
            code = FindNext(sr);
        }
        FindClose(sr);
        lines.SetObject(lineIndex, shownFiles);
    } else {
        lines.Add("#" + FolderText(full, relDir, fullPaths));
    }

    if (listed || list.IncludeDirs != excluded) {
        TSearchRec sr;
        int code = FindFirst(full + "*", faSearchAll, sr);
        while (code == 0) {
            if ((sr.Attr & faDirectory) != 0 && IsNotDotEntry(sr.Name))
                ScanFolder(baseDir, JoinPath(relDir, sr.Name), sr.Attr, junctionRoot, parentIncluded,
                           excluded, fullPaths, useArchive, count, size, lines, list, ctx);
            code = FindNext(sr);
        }
        FindClose(sr);
    }
}
} // namespace

TPreviewContext MakePreviewContext(const TTaskSettings& task, TDateTime today)
{
    TPreviewContext ctx;
    ctx.Selection.CmdTmPeriod = task.CmdTmPeriod;
    ctx.Selection.Today = today;
    ctx.Selection.LastBackupTime = task.LastBackupTime;
    ctx.UseJunctions = task.UseJunctions;
    ctx.UseArchivCB = task.UseArchivCB;
    ctx.cbArchFile = task.cbArchFile;
    ctx.ClearDest = task.ClearDest;
    ctx.DestMode = task.DestMode;
    return ctx;
}

void PreviewDirectory(const std::string& BaseDir, const std::string& RelDir, std::string JunctionRoot,
                      bool ParentIncluded, bool Excluded, bool FullPaths, bool UseArchive, int& Count,
                      int64_t& Size, TStringList& Lines, const TExtensionList& List,
                      const TPreviewContext& Ctx)
{
    int attr = 0;
    if (!RelDir.empty()) {
        TPosixFileData d;
        if (ReadFileData(StripTrailingDelimiter(AddPathDelimiter(BaseDir) + RelDir), false, d) == 0)
            attr = static_cast<int>(d.Attr);
    }
    ScanFolder(BaseDir, RelDir, attr, std::move(JunctionRoot), ParentIncluded, Excluded, FullPaths,
               UseArchive, Count, Size, Lines, List, Ctx);
}
