// Files from schedule: the newest version of every file, written on or before a day, gathered from
// all run folders of an alternating schedule.
#include <cmath>

#include "archive/EngineErrors.h"
#include "archive/EngineFs.h"
#include "archive/ExtFileTools.h"
#include "archive/FileErrors.h"
#include "foundation/FileUtilsOps.h"
#include "foundation/FileUtilsTimes.h"
#include "foundation/PathUtils.h"
#include "foundation/QvUtilsTexts.h"
#include "foundation/StringUtils.h"
#include "foundation/XlFileUtils.h"
#include "platform/DirSearch.h"
#include "platform/PosixFiles.h"
#include "restore/RestoreEngine.h"
#include "restore/RestoreUtils.h"
#include "rtl/Gettext.h"
#include "rtl/SysUtils.h"

namespace {

constexpr int SearchAll =
    static_cast<int>(faReadOnly | faHidden | faSysFile | faArchive | faNormal | faDirectory);

bool EndsWithText(const std::string& s, std::string_view ext)
{
    return s.size() >= ext.size() && utf8::SameText(std::string_view(s).substr(s.size() - ext.size()), ext);
}

bool IsLinkPath(const std::string& path)
{
    TPosixFileData d;
    return ReadFileData(path, false, d) == 0 && (d.Attr & faReparsePoint) != 0;
}

std::string JoinRel(const std::string& rel, const std::string& name)
{
    return rel.empty() ? name : AddPathDelimiter(rel) + name;
}

} // namespace

void TRestoreEngine::ScanScheduleFolder(const std::string& Base, const std::string& Rel, TDateTime limit,
                                        TCandidates& list)
{
    const std::string F = AddPathDelimiter(Rel.empty() ? Base : AddPathDelimiter(Base) + Rel);
    if (IsLinkPath(F.substr(0, F.size() - 1)))
        return;
    FHost.StatusText("",
                     std::string(_("Found: ")) + SafeFormat(_("%u files"), {static_cast<int>(list.size())}));
    TSearchRec sr;
    std::vector<std::string> subs;
    int code = FindFirst(F + "*", SearchAll, sr);
    for (; code == 0 && !FHost.StatusCancelled(); code = FindNext(sr)) {
        if (!IsNotDotEntry(sr.Name))
            continue;
        if (sr.Attr & faDirectory) {
            if (!(sr.Attr & static_cast<int>(faReparsePoint)))
                subs.push_back(sr.Name);
            continue;
        }
        FHost.ProcessMessages();
        const TDateTime t = FileTimeToLocalDateTime(sr.FindData.LastWriteTime);
        if (!FileFilter.MatchesFilter(sr.Name) || !(t < limit))
            continue;
        const std::string key = JoinRel(Rel, sr.Name);
        auto it = std::find_if(list.begin(), list.end(), [&](const auto& e) { return e.first == key; });
        TCandidate c;
        c.Source = F + sr.Name;
        c.Size = sr.FindData.Size;
        c.Time = t;
        if (it == list.end())
            list.emplace_back(key, c);
        else if (t > it->second.Time)
            it->second = c;
    }
    FindClose(sr);
    for (const auto& sub : subs) {
        if (FHost.StatusCancelled())
            break;
        ScanScheduleFolder(Base, JoinRel(Rel, sub), limit, list);
    }
}

void TRestoreEngine::ScanScheduleBackups(const std::string& Folder, bool PreviewOnly)
{
    if (IsInZipArchive(Folder)) {
        FHost.ShowError(_("Zip archives are not supported to restore files from schedule!"));
        return;
    }
    if (!EngineFs::DirectoryExists(Folder)) {
        FHost.ShowError(SafeFormat(_("Directory \"%s\" not found!"), {Folder}));
        return;
    }
    const TDateTime limit = std::floor(static_cast<double>(Options.RestoreDate)) + 1;
    TCandidates list;
    FHost.StatusOpen(_("Scanning directories"));
    FErrorList.Clear();
    FHost.ShowFileLabel(_("Searching for files"));
    FHost.ShowProgress(-1);
    {
        TSearchRec sr;
        int code = FindFirst(AddPathDelimiter(Folder) + "*", SearchAll, sr);
        for (; code == 0 && !FHost.StatusCancelled(); code = FindNext(sr)) {
            if (!IsNotDotEntry(sr.Name) || !(sr.Attr & faDirectory) ||
                !MatchesFileMask(Options.SubDirMask, sr.Name))
                continue;
            const std::string entry = AddPathDelimiter(Folder) + sr.Name;
            FHost.StatusText(SafeFormat(_("Scan for files in \"%s\""), {entry}), "");
            if (Options.DriveId.empty()) {
                ScanScheduleFolder(entry, "", limit, list);
            } else {
                TSearchRec dr;
                int dc = FindFirst(AddPathDelimiter(entry) + "*", SearchAll, dr);
                for (; dc == 0 && !FHost.StatusCancelled(); dc = FindNext(dr))
                    if (IsNotDotEntry(dr.Name) && (dr.Attr & faDirectory) &&
                        MatchesFileMask(Options.DriveId, dr.Name))
                        ScanScheduleFolder(AddPathDelimiter(entry) + dr.Name, "", limit, list);
                FindClose(dr);
            }
        }
        FindClose(sr);
    }
    FHost.ShowProgress(-2);
    const bool cancelled = FHost.StatusCancelled();
    FHost.StatusClose();
    if (cancelled)
        return;
    if (!PreviewOnly && !list.empty()) {
        if (!EngineFs::DirectoryExists(Target)) {
            if (!FHost.Confirm(_("Destination directory not found - create?")))
                return;
            XlForceDirectories(Target);
        } else if (!IsEmptyDirectory(Target)) {
            if (!FHost.Confirm(_("Destination directory not empty - start restore anyway?")))
                return;
        }
    }
    if (list.empty()) {
        FHost.ShowError(_("No matching files for Restore found!"));
        return;
    }
    const int count = static_cast<int>(list.size());
    if (PreviewOnly) {
        TStringList lines;
        int group = -1, inGroup = 0;
        std::string lastDir;
        int64_t total = 0;
        for (const auto& [rel, c] : list) {
            const std::string dir = EngineFs::ExtractFilePath(rel);
            if (group < 0 || !utf8::SameText(dir, lastDir)) {
                if (group >= 0)
                    lines.SetObject(group, inGroup);
                group = lines.AddObject("*./" + dir, 0);
                inGroup = 0;
                lastDir = dir;
            }
            lines.Add(" " + EngineFs::ExtractFileName(rel) + "|" + FormatDateTime("c", c.Time) + "|" +
                      FormatSize(false, c.Size));
            ++inGroup;
            total += c.Size;
        }
        if (group >= 0)
            lines.SetObject(group, inGroup);
        FHost.ShowPreview(_("Files selected for restore"), Folder,
                          FormatCountStr(_("No files"), _("1 file totaling %s"), _("%u files totaling %s"),
                                         count, FormatSize(false, total)),
                          false, lines);
        return;
    }
    if (!FHost.Confirm(std::string(_("Restore files")) + "\r\n" +
                       SafeFormat(_("%s found - start restore?"), {FileCountText(count, false)})))
        return;
    SetRestoring(true);
    Restored = Errors = 0;
    Matched = count;
    int64_t totalBytes = 0, restoredBytes = 0;
    for (int index = 0; index < count && FRestoring; ++index) {
        WaitWhilePaused();
        const std::string& rel = list[static_cast<size_t>(index)].first;
        const TCandidate& c = list[static_cast<size_t>(index)].second;
        FHost.ShowFileLabel(rel);
        FLogList.Add(std::string(_("Restore: ")) + rel + _(" to ") + Target);
        std::string destRel = rel;
        TKind kind = rkPlain;
        bool encrypted = false;
        int64_t size = c.Size;
        int result = 0;
        std::string header;
        TGzFileInfo info;
        const std::string name = EngineFs::ExtractFileName(rel);
        if (Options.GzUnpack && (EndsWithText(name, ".gz") || EndsWithText(name, ".gze"))) {
            bool ok = false;
            try {
                ok = GetGzFileInfo(c.Source, info);
            } catch (const std::exception&) {
            }
            if (ok) {
                destRel = GetTargetName(rel, true, false);
                kind = rkGunzip;
                encrypted = info.Encrypted;
                size = info.USize;
            } else {
                header = std::string(_("Error reading gz-header: ")) + c.Source;
                result = EngineError::BadHeader + EngineError::SeverityError + EngineOperation::Gunzip;
            }
        } else if (Options.ZipUnpack && EndsWithText(name, ".zip")) {
            int zi = 2;
            try {
                zi = GetZipFileInfo(c.Source, info);
            } catch (const std::exception&) {
            }
            if (zi == 0) {
                destRel = GetTargetName(rel, false, true);
                kind = rkUnzip;
                encrypted = info.Encrypted;
                size = info.USize;
            } else if (zi == 1 && info.Count > 0) {
                // another zip archive: copied as it is
            } else {
                header = std::string(_("Error reading zip-header: ")) + c.Source;
                result = EngineError::BadHeader + EngineError::SeverityError + OpUnzip;
            }
        } else if (EndsWithText(name, ".enc")) {
            destRel = GetTargetName(rel, false, false);
            encrypted = true;
            size -= 30;
        }
        totalBytes += size;
        std::string dest = AddPathDelimiter(Target) + destRel;
        if (result == 0) {
            if (!MayOverwrite(dest, FileTimeToUnixTime(LocalDateTimeToFileTime(c.Time)))) {
                FLogList.Add("   => " + std::string(_("An existing file was not overwritten")));
                continue;
            }
            FHost.ShowProgress(static_cast<int>(std::lround(100.0 * index / count)) - 1);
            XlForceDirectories(EngineFs::ExtractFilePath(dest));
            result = RestoreWithPassword(kind, c.Source, dest, encrypted, true);
            if (result == rrCancelled)
                break;
            if (result == 0) {
                ++Restored;
                restoredBytes += size;
                FHost.ShowCountLabel(SafeFormat(_("%u of %u files restored"), {Restored, count}));
            }
        }
        if (result > 0) {
            const std::string text = FormatFileError(static_cast<unsigned>(result), c.Source, "");
            FLogList.Add("  *** " + text);
            ++Errors;
            if (!header.empty())
                FErrorList.Add(header);
            AddError(std::string(_("Error restoring file: ")) + c.Source, text);
        }
    }
    FHost.ShowProgress(100);
    if (Errors == 0)
        FHost.ShowInfo(
            SafeFormat(_("%u of %u files restored (%s of %s)"),
                       {Restored, count, FormatSize(false, restoredBytes), FormatSize(false, totalBytes)}));
    else
        FHost.ShowDetails(SafeFormat(_("%u of %u files restored"), {Restored, count}) + " - " +
                              SafeFormat(_("%u errors"), {Errors}),
                          FErrorList);
    FCryptPwd.clear();
}
