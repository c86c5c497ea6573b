#include "backup/FileTypeStats.h"

#include "foundation/FileUtilsOps.h"
#include "foundation/FileUtilsTimes.h"
#include "foundation/PathUtils.h"
#include "foundation/QvUtilsTexts.h"
#include "foundation/StringUtils.h"
#include "foundation/XlFileUtils.h"
#include "platform/DirSearch.h"
#include "platform/PosixFiles.h"
#include "rtl/Gettext.h"

namespace {

// Attribute masks of the directory searches: everything for sub-folders, files without folders.
constexpr int FolderSearchAttr = 0x1FF;
constexpr int FileSearchAttr = 0xA7;

std::string WithoutSlash(const std::string& path)
{
    if (path.size() > 1 && path.back() == '/')
        return path.substr(0, path.size() - 1);
    return path;
}

// The selection test of a backup run: name filter, attributes, size limits and time window.
bool FileMatches(const TFileInfo& info, const TExtensionList& list, const TTaskSettings& task,
                 TDateTime today)
{
    if (!list.NameFilterPasses(info.Name) || !list.AttributesPass(info.Attr) || !list.SizePasses(info.Size))
        return false;
    const TTimePeriod* period = &list.TmPeriod;
    if (task.CmdTmPeriod.Mode == tmError)
        return false;
    if (task.CmdTmPeriod.Mode != tmOff && task.CmdTmPeriod.Mode != tmPrompt)
        period = &task.CmdTmPeriod;
    return FileTimesPass(*period, info.DateTime, info.CreationTime, today, task.LastBackupTime);
}

void CountFile(TExtensionList& list, const std::string& key, bool match, int64_t size)
{
    bool toInclude = false;
    if (list.EFilter.Mode() != fmOff)
        toInclude = list.EFilter.MatchesFilter(key);
    else if (list.InclMode == buExclude)
        toInclude = list.Exclude.IndexOf(key) < 0;
    else
        toInclude = list.Include.IndexOf(key) >= 0;
    TTypeList& target = toInclude ? list.Include : list.Exclude;
    const bool isNew = target.IndexOf(key) < 0;
    TExtListData& data = target.Data(target.Add(key));
    if (isNew)
        data.Reset();
    if (!match)
        return;
    data.FileCount += 1;
    data.SizeCount += size;
    if (toInclude) {
        list.ICount += 1;
        list.IBytes += size;
    } else {
        list.ECount += 1;
        list.EBytes += size;
    }
}

} // namespace

std::string FilesTotalText(int64_t count, int64_t bytes)
{
    return FormatCountStr(_("No files"), _("1 file totaling %s"), _("%u files totaling %s"), count,
                          FormatSize(false, bytes), true);
}

bool ScanFileTypes(const std::string& root, const std::string& rel, TExtensionList& list,
                   const TTaskSettings& task, TScanStatus* status, bool tagged, const std::string& realParent,
                   TDateTime today)
{
    const std::string dir = AddPathDelimiter(root) + (rel.empty() ? std::string() : AddPathDelimiter(rel));
    if (!XlDirectoryExists(dir, true))
        return true;
    std::string realPath = dir;
    if (!rel.empty()) {
        const int attr = PosixFileGetAttr(WithoutSlash(dir), false);
        std::string target;
        if (GetLinkTarget(dir, attr, target)) {
            // A linked folder is followed only on request, and never into one of its own parents.
            const std::string linkTarget = AddPathDelimiter(target);
            if (!task.UseJunctions || IsSubPath(linkTarget, realParent) ||
                IsSameDirectory(linkTarget, realParent))
                return true;
            realPath = linkTarget;
        }
    }
    if (status)
        status->ShowFolder(dir);

    const bool isTagged = list.SubDirList.IndexOf(dir) >= 0;
    bool selected = false;
    bool childTagged = tagged;
    if (list.IncludeDirs) {
        selected = tagged || isTagged;
        childTagged = selected;
    } else {
        selected = !isTagged;
    }

    if (list.SubDirMode == sdmNormal && (selected || list.IncludeDirs)) {
        TSearchRec rec;
        int rc = FindFirst(dir + "*", FolderSearchAttr, rec);
        while (rc == 0) {
            if (IsNotDotEntry(rec.Name) && (static_cast<uint32_t>(rec.Attr) & faDirectory) != 0) {
                if (!ScanFileTypes(root, rel.empty() ? rec.Name : AddPathDelimiter(rel) + rec.Name, list,
                                   task, status, childTagged, AddPathDelimiter(realPath + rec.Name), today)) {
                    FindClose(rec);
                    return false;
                }
            }
            rc = FindNext(rec);
        }
        FindClose(rec);
    }

    if (selected) {
        TSearchRec rec;
        int rc = FindFirst(dir + "*", FileSearchAttr, rec);
        while (rc == 0) {
            if (status && status->Cancelled()) {
                FindClose(rec);
                return false;
            }
            if (IsNotDotEntry(rec.Name) && (static_cast<uint32_t>(rec.Attr) & faDirectory) == 0) {
                list.TCount += 1;
                TFileInfo info;
                SearchRecToFileInfo(rec, info);
                const bool match = FileMatches(info, list, task, today);
                CountFile(list, FileTypeName(rec.Name), match, rec.Size);
            }
            rc = FindNext(rec);
        }
        FindClose(rec);
    }
    if (status)
        status->ShowInfo(_("Found: ") + FilesTotalText(list.ICount, list.IBytes));
    return true;
}

bool RescanEntry(TExtensionList& list, const TTaskSettings& task, TScanStatus* status)
{
    const std::unique_ptr<TExtensionList> copy = TExtensionList::CreateAssign(list);
    const TDateTime today = Date();
    if (list.EFilter.Mode() != fmOff) {
        list.Include.Clear();
        list.Exclude.Clear();
        list.InclMode = buExclude;
    }
    list.Reset();
    bool ok = XlDirectoryExists(list.SPath, true) &&
              ScanFileTypes(list.SPath, "", list, task, status, false, "", today);
    if (!ok)
        list.Assign(*copy);
    return ok;
}

bool RescanEntries(TTaskSettings& task, bool all, TScanStatus* status)
{
    for (auto& entry : task.Folders) {
        if (!entry->DoUpdate && !(all && entry->Selected))
            continue;
        if (!RescanEntry(*entry, task, status))
            return false;
        entry->SyncCount = 0;
        entry->DoUpdate = false;
    }
    return true;
}
