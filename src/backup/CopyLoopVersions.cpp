#include <cmath>
#include <unistd.h>

#include "archive/EngineFs.h"
#include "backup/CopyLoop.h"
#include "backup/CopyLoopHelpers.h"
#include "backup/LogSettings.h"
#include "backup/SecurityCopyNames.h"
#include "foundation/FileUtilsOps.h"
#include "foundation/PathUtils.h"
#include "foundation/StringUtils.h"
#include "foundation/XlFileUtils.h"
#include "platform/DirSearch.h"
#include "rtl/Clock.h"
#include "rtl/Gettext.h"
#include "rtl/SysUtils.h"

// Older versions of replaced files at a local destination: their folder and names, the rotation of
// numbered versions and the pruning of versions that grew too old.

using namespace copyloop;

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
        s = Joined(".", ExpandSecuritySuffix(sec.FileSuffix.empty() ? BakSuffix : sec.FileSuffix,
                                             FileTimeToLocalDateTime(lwTime)));
    if (k > 0) {
        std::string num = VersionDigits(k, sec.MaxHist > 9 && k > 0 ? true : false);
        if (s.find('#') != std::string::npos)
            s = ReplaceAll(s, "#", num);
        else
            s += num;
    }
    return VersionFolder(destBase, dDir) + InsertNameSuffix(n, s) + x;
}

bool TCopyLoop::KeepVersion(TCopyProps& cp, TFolderState& fs, bool& inPlace)
{
    inPlace = false;
    const TSecSettings& sec = FTask.BakSec;
    std::string v = VersionFolder(fs.DestBase, cp.DDir);
    if (sec.DirMode != sdNone && !Ops.CreateDirectoryLogged(StripDelimiter(v), "B", true))
        return false;
    std::string versionName;
    // Versions kept beside the copies take names that a user's own file may have: such a name is
    // never deleted, renamed or overwritten as an older version.
    const bool beside = StripDelimiter(v) == StripDelimiter(cp.DDir);
    const std::string sourceName = FileNameOf(cp.SName);
    auto collides = [&](const std::string& path) {
        return beside &&
               ClaimedByOther(fs, FileNameOf(path), sourceName,
                              SafeFormat(_("not kept as an older version of \"%s\""), {cp.RelName}));
    };
    if (sec.MaxHist < 2) {
        // the single version: older ones of the file that grew too old go first
        if (sec.AgeInWeeks > 0 && sec.DirMode != sdRootDate)
            PruneOldVersions(fs, cp.DDir, FileNameOf(cp.DName),
                             cp.EName != cp.DName ? FileExtOf(cp.EName) : std::string(), sourceName);
        versionName = VersionName(fs.DestBase, cp.DDir, cp.DName, cp.EName, cp.LwTime, 0);
    } else {
        bool two = sec.MaxHist > 9;
        // the parts that do not depend on the version number, worked out once
        const std::string n = FileNameOf(cp.DName);
        const std::string x = cp.EName != cp.DName ? FileExtOf(cp.EName) : std::string();
        std::string baseSuffix;
        if (sec.DirMode == sdNone || !sec.FileSuffix.empty())
            baseSuffix = Joined(".", ExpandSecuritySuffix(sec.FileSuffix.empty() ? BakSuffix : sec.FileSuffix,
                                                          FileTimeToLocalDateTime(cp.LwTime)));
        const bool numberMark = baseSuffix.find('#') != std::string::npos;
        auto name = [&](int k, bool twoDigits) {
            std::string num = VersionDigits(k, twoDigits);
            std::string suffix = numberMark ? ReplaceAll(baseSuffix, "#", num) : baseSuffix + num;
            return v + InsertNameSuffix(n, suffix) + x;
        };
        // The names in the versions folder are read once per folder and followed through the renames
        // below, so that the many names that are not there cost no look-up; a name said to be there is
        // still looked up.
        if (fs.VersionDir != v) {
            fs.VersionDir = v;
            fs.VersionNames.clear();
            std::vector<TFolderEntry> entries;
            fs.VersionListed = ReadFolderEntries(v, entries) == 0;
            for (auto& e : entries)
                fs.VersionNames.insert(std::move(e.Name));
        }
        auto present = [&](const std::string& path) {
            return !fs.VersionListed || fs.VersionNames.count(FileNameOf(path)) != 0 ||
                   (fs.Dest.Dir == StripDelimiter(v) && fs.Dest.Has(FileNameOf(path)));
        };
        auto exists = [&](const std::string& path) { return present(path) && XlFileExists(path, false); };
        auto gone = [&](const std::string& path) { fs.VersionNames.erase(FileNameOf(path)); };
        TDateTime ageLimit = std::floor(Now()) - 7.0 * sec.AgeInWeeks;
        for (int k = sec.MaxHist; k >= 2; --k) {
            std::string newer = name(k, two);
            std::string older = name(k - 1, two);
            if (k - 1 <= 9) {
                older = name(k - 1, false);
                if (!exists(older))
                    older = name(k - 1, true);
            }
            if (!exists(older))
                continue;
            if (collides(older) || collides(newer))
                return false;
            if (sec.AgeInWeeks > 0 && XlGetFileAge(older) <= ageLimit && k > sec.MinHist) {
                if (FileDelete(older))
                    gone(older);
                continue;
            }
            if (exists(newer)) {
                if (!FileDelete(newer))
                    continue;
                gone(newer);
            }
            if (FileRename(cp.DDir, older, newer)) {
                gone(older);
                fs.VersionNames.insert(FileNameOf(newer));
            }
            if (OnStep)
                OnStep("rotated");
        }
        for (int k = sec.MaxHist + 1; k <= 99; ++k) {
            for (bool twoDigits : {false, true}) {
                if (!twoDigits && k > 9)
                    continue;
                const std::string surplus = name(k, twoDigits);
                if (present(surplus) && XlFileExists(surplus, false) && !collides(surplus))
                    FileDelete(surplus);
            }
        }
        versionName = name(1, two);
    }
    if (XlFileExists(cp.EName)) {
        if (collides(versionName))
            return false;
        if (XlFileExists(versionName) && !FileDelete(versionName))
            return true;
        // A second name for the replaced file keeps it under its own name as well, so that a run
        // killed before the new copy is in place leaves the file where it was.
        bool moved;
        if (::link(cp.EName.c_str(), versionName.c_str()) == 0) {
            inPlace = true;
            moved = true;
            FLog.WriteToLog(lmVerbose,
                            std::string(Indent) +
                                SafeFormat(_("%s was renamed: \"%s\" to \"%s\""),
                                           {_("File"), MakeRelativePath(AddPathDelimiter(cp.DDir), cp.EName),
                                            MakeRelativePath(AddPathDelimiter(cp.DDir), versionName)}));
        } else {
            moved = FileRename(cp.DDir, cp.EName, versionName);
        }
        if (moved && FLog.CurrentLogMode() == lmLong) {
            // below the entry's destination folder the path is told from there, else from the base folder
            const bool fromEntry = sec.DirMode == sdSubDir || sec.DirMode == sdSepDir;
            const std::string where = fromEntry
                                          ? MakeRelativePath(AddPathDelimiter(fs.DestBase), versionName)
                                          : "/" + MakeRelativePath(AddPathDelimiter(BaseDir), versionName);
            if (sec.DirMode != sdNone)
                FLog.WriteToLog(lmLong,
                                std::string(Indent) + SafeFormat(_("File \"%s\" was moved to: \"%s\""),
                                                                 {FileNameOf(cp.EName), where}));
            else
                FLog.WriteToLog(lmLong,
                                std::string(Indent) +
                                    SafeFormat(_("%s was renamed: \"%s\" to \"%s\""),
                                               {_("File"), FileNameOf(cp.EName), FileNameOf(versionName)}));
        }
    }
    return true;
}

namespace {

// The name of version k with the file suffix as written in the settings (date placeholders kept).
std::string PlainVersionName(const std::string& folder, const std::string& n, const std::string& x,
                             const std::string& suffix, int k, bool twoDigits)
{
    std::string s = suffix;
    std::string num = VersionDigits(k, twoDigits);
    if (s.find('#') != std::string::npos)
        s = ReplaceAll(s, "#", num);
    else
        s += num;
    return folder + InsertNameSuffix(n, s) + x;
}

} // namespace

void TCopyLoop::PruneOldVersions(TFolderState& fs, const std::string& destDir, const std::string& n,
                                 const std::string& formExt, const std::string& sourceName)
{
    const TSecSettings& sec = FTask.BakSec;
    std::string v = VersionFolder(fs.DestBase, destDir);
    // a name that is the backup of another source file of the folder is never an older version
    const bool beside = StripDelimiter(v) == StripDelimiter(destDir);
    auto mayPrune = [&](const std::string& path) {
        return !beside ||
               !ClaimedByOther(fs, FileNameOf(path), sourceName,
                               SafeFormat(_("not deleted as an older version of \"%s\""), {n + formExt}));
    };
    TDateTime ageLimit = std::floor(Now()) - 7.0 * sec.AgeInWeeks;
    if (sec.MaxHist >= 2) {
        std::string suffix = "." + sec.FileSuffix;
        bool two = sec.MaxHist > 9;
        for (int k = sec.MaxHist; k >= sec.MinHist && k >= 1; --k) {
            std::string p = PlainVersionName(v, n, formExt, suffix, k, two);
            if (k < 10 && two && !XlFileExists(p, false))
                p = PlainVersionName(v, n, formExt, suffix, k, false);
            if (XlFileExists(p, false) && XlGetFileAge(p, false) <= ageLimit && mayPrune(p))
                FileDelete(p);
        }
        return;
    }
    if (!XlDirectoryExists(StripDelimiter(v)))
        return;
    std::string suffix =
        sec.DirMode != sdNone && sec.FileSuffix.empty()
            ? std::string()
            : SecurityCopyDateMasks("." + (sec.FileSuffix.empty() ? BakSuffix : sec.FileSuffix));
    std::string mask = InsertNameSuffix(n, suffix) + formExt;
    std::vector<std::string> old;
    TSearchRec sr;
    for (int code = FindFirst(AddPathDelimiter(v) + "*",
                              static_cast<int>(faReadOnly | faHidden | faSysFile | faArchive), sr);
         code == 0; code = FindNext(sr)) {
        if ((sr.Attr & faDirectory) == 0 && DirSearchMatches(sr.Name, mask) &&
            AddPathDelimiter(v) + sr.Name != AddPathDelimiter(destDir) + n + formExt &&
            FileTimeToLocalDateTime(sr.FindData.LastWriteTime) <= ageLimit)
            old.push_back(AddPathDelimiter(v) + sr.Name);
    }
    FindClose(sr);
    for (const auto& name : old)
        if (mayPrune(name))
            FileDelete(name);
}
