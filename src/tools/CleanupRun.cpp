#include "tools/CleanupRun.h"

#include <algorithm>
#include <cmath>
#include <sys/stat.h>
#include <unistd.h>

#include "archive/ExtFileTools.h"
#include "foundation/FileUtilsOps.h"
#include "foundation/NumberUtils.h"
#include "foundation/PathUtils.h"
#include "foundation/QvUtilsDest.h"
#include "foundation/QvUtilsFolders.h"
#include "foundation/QvUtilsTaskFiles.h"
#include "foundation/QvUtilsTexts.h"
#include "foundation/StringUtils.h"
#include "foundation/XlFileUtils.h"
#include "platform/ErrorCodes.h"
#include "platform/PosixFiles.h"
#include "platform/Trash.h"
#include "rtl/Gettext.h"
#include "rtl/SysUtils.h"
#include "tools/ToolFiles.h"

namespace {

constexpr int CleanupLogBit = 0x20;
constexpr int32_t SuccessColor = 0xA07000; // RGB(0, 112, 160) as $BBGGRR

std::string WithSlash(const std::string& dir)
{
    return dir.empty() || dir.back() == '/' ? dir : dir + "/";
}

std::string FileNamePart(const std::string& path)
{
    const size_t p = path.rfind('/');
    return p == std::string::npos ? path : path.substr(p + 1);
}

bool HasExt(const std::string& name, const char* ext)
{
    return utf8::SameText(ExtractExtension(name), ext);
}

std::string FoundText(int64_t n)
{
    return FormatCount(_("No files"), _("1 file"), _("%u files"), n, true);
}
std::string FilesText(int64_t n)
{
    return FormatCount(_("No files deleted"), _("1 file deleted"), _("%u files deleted"), n, true);
}
std::string DirsText(int64_t n)
{
    return FormatCount(_("No directory deleted"), _("1 directory deleted"), _("%u directories deleted"), n,
                       true);
}
std::string ErrorsText(int64_t n)
{
    return FormatCount(_("%u errors"), _("1 error"), _("%u errors"), n, true);
}

std::string StripSlash(std::string path)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

} // namespace

TCleanupRun::TCleanupRun(IRunHost& host, IInteraction& interaction, IProgressSink& progress,
                         TRunControl& control, TTaskLog& log, IConfirmFiles& confirm)
    : FHost(host), FInteraction(interaction), FProgress(progress), FControl(control), FLog(log),
      FConfirm(confirm)
{
    Settings = DefaultCleanupSettings();
    Clock = [] { return Now(); };
}

bool TCleanupRun::MayDelete(const std::string& path) const
{
    const std::string p = StripSlash(path);
    const std::string base = WithSlash(FBase);
    if (p.size() <= base.size() || p.compare(0, base.size(), base) != 0)
        return false;
    if (p.find("/../") != std::string::npos || p.ends_with("/.."))
        return false;
    struct stat st
    {
    };
    return ::lstat(p.c_str(), &st) == 0 && !S_ISLNK(st.st_mode);
}

std::string TCleanupRun::LogName(const std::string& rel) const
{
    return Settings.ProtMode == 3 ? FileNamePart(rel) : rel;
}

void TCleanupRun::ScanRootDirs(const std::string& base, TFileTransferList& list)
{
    std::vector<TToolDirEntry> entries;
    ListToolDir(base, entries);
    for (const auto& e : entries) {
        if (FControl.Stopped())
            return;
        if (!e.IsDir || e.IsLink)
            continue;
        if (FAge.Passes(e.MTime) && DFilter.MatchesFilter(DeleteExtension(e.Name))) {
            ++Found;
            list.AddAndSelectItem(e.Name, ftDir, WithSlash(base) + e.Name, WithSlash(base) + e.Name,
                                  UnixToLocalDateTime(e.MTime), faDirectory);
        }
        FControl.Checkpoint();
    }
}

void TCleanupRun::ScanDirectory(const std::string& base, const std::string& origin, TFileTransferList& list,
                                int secKind, const std::string& subDir)
{
    if (FControl.Stopped())
        return;
    const std::string dir = WithSlash(base) + subDir;
    if (IsToolLink(dir))
        return;
    std::vector<TToolDirEntry> entries;
    if (!ListToolDir(dir, entries))
        return; // vanished meanwhile
    const int subject = Settings.Subject;
    if (subDir.empty()) {
        list.AddItem(ShortenPath(dir, 50), ftRoot, dir, dir, 0, 0);
        list.AddAndSelectItem(StripSlash(dir), ftDir, dir, dir, 0, 0);
    } else {
        list.AddAndSelectItem("./" + StripSlash(subDir), ftDir, dir, dir, 0, 0);
    }
    FProgress.SetPrompt(dir);
    const int dirEntry = list.Count() - 1;
    const bool syncOn = Settings.Sync != csyOff;
    for (const auto& e : entries) {
        if (FControl.Stopped())
            break;
        if (e.IsDir || e.IsLink)
            continue;
        const std::string& n = e.Name;
        const std::string path = dir + n;
        std::string x = n;
        bool compressed = false, zip = false;
        TGzFileInfo info;
        try {
            if (Settings.Compressed && (HasExt(n, "gz") || HasExt(n, "gze")) && GetGzFileInfo(path, info)) {
                x = subject == csSecurityCopies || info.Filename.empty() ? DeleteExtension(n)
                                                                         : FileNamePart(info.Filename);
                compressed = true;
            } else if (Settings.Compressed && HasExt(n, "zip") && GetZipFileInfo(path, info) == 0) {
                x = subject == csSecurityCopies || info.Filename.empty() ? DeleteExtension(n)
                                                                         : FileNamePart(info.Filename);
                compressed = zip = true;
            } else if (Settings.IgnoreEnc && HasExt(n, "enc")) {
                x = DeleteExtension(n);
            }
        } catch (const std::exception&) {
            // unreadable header: the name as it is
        }
        bool selected = true;
        if (secKind != 3) {
            bool f;
            if (secKind == 1)
                f = BakFilter.Mode() != fmOff ? BakFilter.MatchesFilter(n) : subject != csFiles;
            else if (secKind == 2)
                f = SyncFilter.Mode() != fmOff ? SyncFilter.MatchesFilter(n) : subject != csFiles;
            else {
                f = BakFilter.Mode() != fmOff ? BakFilter.MatchesFilter(n) : subject == csFiles;
                if (SyncFilter.Mode() != fmOff)
                    f = subject == csFiles ? (f && SyncFilter.MatchesFilter(n))
                                           : (f || SyncFilter.MatchesFilter(n));
            }
            selected = f && DFilter.MatchesFilter(x) && FAge.Passes(e.MTime) && FTypes.Passes(x);
            if (selected) {
                if (subject == csSecurityCopies && Settings.SecAge.Enabled)
                    selected = IsOldSecurityCopy(x, SecLimit, Settings.BakSec, Settings.SyncSec);
                else if (syncOn)
                    selected = OriginFileMissing(origin, subDir, x);
            }
        }
        if (selected) {
            ++Found;
            const int idx =
                list.AddItem(x, ftFile, path, path, UnixToLocalDateTime(e.MTime), static_cast<int>(faArchive),
                             0, e.Size, e.Size, compressed, zip, false, true);
            (void)idx;
        }
        FControl.Checkpoint();
    }
    if (list.Count() - 1 == dirEntry)
        list.RemoveEntry(dirEntry);
    FProgress.SetPrompt(_("Found: ") + FoundText(Found));
    for (const auto& e : entries) {
        if (FControl.Stopped())
            break;
        if (!e.IsDir || e.IsLink)
            continue;
        int t = secKind;
        const bool oldCopies = subject == csSecurityCopies && Settings.SecAge.Enabled;
        if (secKind != 0) {
            if (secKind == 2 && oldCopies && IsOldDatedFolder(e.Name, SecLimit))
                t = 3;
        } else {
            t = MatchesDirMask(e.Name, BakDirMask) ? 1 : MatchesDirMask(e.Name, SyncDirMask) ? 2 : 0;
            if (t != 0 && oldCopies && IsOldDatedFolder(e.Name, SecLimit))
                t = 3;
        }
        if (subject == csSecurityCopies || t == 0)
            ScanDirectory(base, origin, list, t, subDir + e.Name + "/");
    }
}

void TCleanupRun::KeepOldestFiles(TFileTransferList& list, int64_t space)
{
    struct Item
    {
        TDateTime time;
        int64_t size;
        std::string source;
    };
    std::vector<Item> files;
    for (int i = 0; i < list.Count(); ++i)
        if (list.FileType(i) == ftFile)
            files.push_back({list.Items(i).FTimeStamp, list.Items(i).FSize, list.Items(i).FSource});
    std::stable_sort(files.begin(), files.end(),
                     [](const Item& a, const Item& b) { return a.time < b.time; });
    std::vector<std::string> taken;
    int64_t sum = 0;
    for (const auto& f : files) {
        taken.push_back(f.source);
        sum += f.size;
        if (sum > space)
            break;
    }
    for (int i = list.Count() - 1; i >= 0; --i)
        if (list.FileType(i) == ftFile &&
            std::find(taken.begin(), taken.end(), list.Items(i).FSource) == taken.end())
            list.RemoveEntry(i);
}

void TCleanupRun::ShowDeleteProgress(size_t index, size_t count)
{
    FProgress.SetStepProgress(0);
    if (count > 0)
        FProgress.SetTotalProgress(
            static_cast<int>(std::lround(100.0 / static_cast<double>(count) * static_cast<double>(index))));
    FProgress.SetElapsedTime(Clock() - StartTime);
    FControl.Checkpoint();
}

void TCleanupRun::DeleteSelectedFiles(const std::string& base, TFileTransferList& list, bool useRecycler)
{
    const size_t count = static_cast<size_t>(list.Count());
    for (int i = 0; i < list.Count(); ++i) {
        if (FControl.Stopped())
            break;
        if (list.FileType(i) != ftFile || !list.Selected(i))
            continue;
        const std::string source = list.Items(i).FSource;
        const std::string rel = MakeRelativePath(WithSlash(base), source);
        FProgress.UpdatePrompt(ssFile, _("is being deleted"), rel, 0);
        uint32_t code = 0;
        if (!MayDelete(source))
            code = XlIsPathMissing(source) ? 2 : 5;
        else if (useRecycler)
            code = MoveToTrash(source);
        else
            code = XlDeleteFile(source, true);
        if ((code & 0xFFFF) == 0) {
            ++Files;
            FLog.WriteToLog(2, "      " + SafeFormat(useRecycler ? _("File was moved to Recycle Bin: \"%s\"")
                                                                 : _("File was deleted: \"%s\""),
                                                     {LogName(rel)}));
        } else {
            ++Errors;
            FLog.WriteErrorToLog(1, "C", SafeFormat(_("Error deleting file: \"%s\""), {LogName(rel)}), code);
        }
        FProgress.WriteStatus(1, FilesText(Files));
        ShowDeleteProgress(static_cast<size_t>(i), count);
    }
    if (!Settings.EmptyDirs || FControl.Stopped())
        return;
    FLog.WriteToLog(2, "   => " + _("Delete empty directories"));
    RemoveEmptyDirs(base, "", Settings.EmptyRoot);
}

bool TCleanupRun::RemoveEmptyDirs(const std::string& base, const std::string& subDir, bool deleteThis)
{
    const std::string folder = WithSlash(base) + subDir;
    if (!IsToolDir(folder))
        return true; // missing, or a link: left alone
    std::vector<TToolDirEntry> entries;
    ListToolDir(folder, entries);
    int count = 0;
    for (const auto& e : entries) {
        if (FControl.Stopped())
            return false;
        if (e.IsDir && !e.IsLink) {
            if (!RemoveEmptyDirs(base, subDir + e.Name + "/", true))
                ++count;
        } else {
            ++count; // files and links stay
        }
    }
    const std::string path = StripSlash(folder);
    if (count == 0 && deleteThis) {
        // the cleanup folder itself is removed only when asked for; never a folder outside it
        if (subDir.empty() || MayDelete(path)) {
            const uint32_t code = XlRemoveDirEx(path, true);
            if (code == 0)
                FLog.WriteToLog(3, "      " + SafeFormat(_("Empty directory was deleted: \"%s\""), {path}));
            else {
                ++Errors;
                FLog.WriteErrorToLog(1, "C", SafeFormat(_("Error deleting directory: \"%s\""), {path}), code);
            }
        }
    } else if (count > 0) {
        FLog.WriteToLog(3, "      " + SafeFormat(_("Directory is not empty: \"%s\""), {path}) +
                               SafeFormat(" (%s)", {FoundText(count)}));
    }
    return count == 0;
}

bool TCleanupRun::DeleteRootDir(const std::string& base, const std::string& dir, bool deleteThis,
                                const std::string& subDir, int64_t& deleted)
{
    const std::string path = WithSlash(dir) + subDir;
    if (!IsToolDir(path))
        return true;
    bool result = true;
    std::vector<TToolDirEntry> entries;
    ListToolDir(path, entries);
    for (const auto& e : entries)
        if (e.IsDir && !e.IsLink && !DeleteRootDir(base, dir, true, subDir + e.Name + "/", deleted))
            result = false;
    if (FControl.Stopped())
        return result;
    const std::string relDir = MakeRelativePath(WithSlash(base), path);
    FProgress.SetPrompt(relDir);
    for (const auto& e : entries) {
        if (e.IsDir || e.IsLink)
            continue; // a link is never deleted nor followed: its folder stays
        const std::string file = path + e.Name;
        const std::string rel = MakeRelativePath(WithSlash(base), file);
        const uint32_t code = MayDelete(file) ? XlDeleteFile(file, true) : 5;
        if (code == 0) {
            ++Files;
            ++deleted;
            FLog.WriteToLog(3, "      " + SafeFormat(_("File was deleted: \"%s\""), {rel}));
        } else {
            ++Errors;
            FLog.WriteErrorToLog(1, "C", SafeFormat(_("Error deleting file: \"%s\""), {rel}), code);
            result = false;
        }
        FControl.Checkpoint();
        if (FControl.Stopped())
            return result;
    }
    if (!deleteThis)
        return result;
    const std::string target = StripSlash(path);
    const uint32_t code = MayDelete(target) ? XlRemoveDirEx(target, true) : 5;
    const std::string rel = StripSlash(relDir);
    if (code == 0) {
        if (!subDir.empty())
            FLog.WriteToLog(3, "      " + SafeFormat(_("Empty directory was deleted: \"%s\""), {rel}));
    } else if (code == 145) {
        FLog.WriteToLog(3, "      " + SafeFormat(_("Directory is not empty: \"%s\""), {rel}));
    } else {
        FLog.WriteErrorToLog(1, "C", SafeFormat(_("Error deleting directory: \"%s\""), {rel}), code);
        result = false;
    }
    return result;
}

void TCleanupRun::DeleteSelectedDirs(const std::string& base, TFileTransferList& list, bool useRecycler)
{
    Dirs = 0;
    const size_t count = static_cast<size_t>(list.Count());
    for (int i = 0; i < list.Count(); ++i) {
        if (FControl.Stopped())
            break;
        if (!list.Selected(i) || list.FileType(i) != ftDir)
            continue;
        const std::string source = list.Items(i).FSource;
        const std::string rel = MakeRelativePath(WithSlash(base), source);
        FProgress.UpdatePrompt(ssDir, _("is being deleted"), rel, 0);
        FLog.WriteToLog(3, "   => " + _("Subdirectory") + ": " + rel);
        ++Dirs;
        bool ok = true;
        int64_t n = 0;
        if (useRecycler) {
            n = CountFiles(source, true, "");
            ok = MayDelete(source) && MoveToTrash(StripSlash(source)) == 0;
            if (ok)
                Files += n;
            else
                ++Errors;
        } else {
            ok = DeleteRootDir(base, source, Settings.EmptyRoot, "", n);
        }
        if (ok && Settings.EmptyRoot && !useRecycler && IsToolDir(source)) {
            // what the run may not touch (a link) kept the directory: it is not reported as deleted
            FLog.WriteToLog(2, "      " + SafeFormat(_("Directory is not empty: \"%s\""), {rel}) + " (" +
                                   FilesText(n) + ")");
        } else if (!ok) {
            FRootFailed = true;
            FLog.WriteErrorToLog(1, "C", SafeFormat(_("Error deleting directory: \"%s\""), {rel}));
        } else {
            FLog.WriteToLog(2, "      " +
                                   SafeFormat(useRecycler ? _("Directory was moved to Recycle Bin: \"%s\"")
                                                          : _("Directory was deleted: \"%s\""),
                                              {rel}) +
                                   " (" + FoundText(n) + ")");
        }
        FProgress.WriteStatus(1, SafeFormat(_("%u directories deleted"), {Dirs}));
        ShowDeleteProgress(static_cast<size_t>(i), count);
    }
}

bool TCleanupRun::PrepareRun(bool prompt, int64_t& space)
{
    space = 0;
    if (Settings.Sync == csyOff && Settings.FreeSpace) {
        if (!TryStrToSize(Settings.SpaceText, space, FormatSettings().DecimalSeparator) || space <= 0) {
            if (prompt)
                FInteraction.ErrorBox(_("Invalid size value!"), 0);
            FHost.SetExitCode(6, 0);
            return false;
        }
    }
    const TDateTime now = Clock();
    const TDateTime today = DateOf(now);
    FAge = GetAgeLimit(Settings, today, now);
    SecLimit = GetSecCopyLimit(Settings.SecAge, today);
    FTypes = TTypeRule(Settings.TypesMode, Settings.TypeList);
    Found = Scanned = Files = Dirs = Errors = 0;
    FRootFailed = false;
    BuildSecurityCopyFilter(BakFilter, Settings.BakSec, Settings.Subject);
    BuildSecurityCopyFilter(SyncFilter, Settings.SyncSec, Settings.Subject);
    BakDirMask = SecurityCopyDirMask(Settings.BakSec);
    SyncDirMask = SecurityCopyDirMask(Settings.SyncSec);
    DFilter.Reset();
    DFilter.SetRegular(Settings.FilterRegular);
    try {
        DFilter.SetFilter(Settings.FilterText);
        DFilter.SetMode(Settings.FilterMode);
    } catch (const EFilterError&) {
        DFilter.Reset();
    }
    return true;
}

std::string TCleanupRun::SyncText() const
{
    if (Settings.Sync == csyOrigin)
        return _("will be synchronized with source directory");
    if (Settings.Sync == csyFolder)
        return SafeFormat(_("will be synchronized with \"%s\""), {ShortenPath(Settings.SyncDir, 40)});
    return {};
}

bool TCleanupRun::ConfirmRun(bool prompt, TFileTransferList& list, const std::string& source, bool canView,
                             std::string& reason)
{
    const bool dirs = Settings.Subject == csRootDirs;
    const std::string noneText =
        dirs ? _("No matching directories found!") : _("No matching files for Cleanup found!");
    if (Scanned == 0) {
        reason = _("No info found for synchronizing with origin!");
        if (prompt)
            FInteraction.InfoBox(reason);
        return false;
    }
    if (Found == 0) {
        reason = noneText;
        if (prompt)
            FInteraction.InfoBox(reason);
        return false;
    }
    if (prompt) {
        TConfirmRequest request;
        request.CMode = dirs ? cmCleanUpDirs : cmCleanupFiles;
        request.ContextMode = dirs || !canView ? cmNone : cmView;
        request.Taskname = FileNamePart(CJobName);
        request.Source = source;
        request.sDest = dirs && !canView ? std::string() : SyncText();
        request.sAlter = dirs ? _("Directories only") : SafeFormat(_("Mode: %s"), {FTypes.Description()});
        request.sTypen = SafeFormat(_("Age: %s"), {FAge.Description});
        request.sFilter = SafeFormat(_("Filter: %s"), {FilterDescription(DFilter)});
        request.Anzahl = static_cast<int>(Found);
        reason = _("Canceled by user");
        return FConfirm.ConfirmFileList(request, list);
    }
    for (int i = 0; i < list.Count(); ++i)
        list.SetSelected(i, true);
    return true;
}

std::string TCleanupRun::BeginRunLog()
{
    const bool dirs = Settings.Subject == csRootDirs;
    StartTime = Clock();
    const std::string title =
        !CJobName.empty() ? _("Cleanup task") + ": " + DeleteExtension(FileNamePart(CJobName)) : _("Cleanup");
    FLog.BeginLog(StartTime, title);
    FLog.WriteToLog(1, "  " + SafeFormat(_("Mode: %s"), {dirs ? _("Delete root directories")
                                                         : Settings.Subject == csSecurityCopies
                                                             ? _("Delete security backups")
                                                             : _("Delete files")}));
    std::string selection = FAge.Description;
    if (DFilter.Mode() != fmOff)
        selection += " [" + FilterDescription(DFilter) + "]";
    if (Settings.TypesMode != 0)
        selection += " " + FTypes.Description();
    FLog.WriteToLog(1, "  " + _("Selection: ") + selection);
    return title;
}

int TCleanupRun::EndDeletion(int wait)
{
    const bool dirs = Settings.Subject == csRootDirs;
    int code = 2;
    const std::string counts = dirs ? DirsText(Dirs) + " (" + FilesText(Files) + ")" : FilesText(Files);
    if (Errors > 0) {
        const std::string line =
            dirs ? DirsText(Dirs) + " - " + ErrorsText(Errors) + " (" + FilesText(Files) + ")"
                 : FilesText(Files) + " - " + ErrorsText(Errors);
        code = FProgress.ShowStatus(psError, _("Cleanup completed"), line, "", clRed, wait);
        StatusText = SafeFormat(_("%u error(s) on deleting"), {Errors});
        FHost.SetExitCode(4, 0);
    } else if (FControl.Stopped()) {
        code = FProgress.Terminate();
        FProgress.Close();
        StatusText = _("Canceled by user");
        FHost.SetExitCode(5, 0);
    } else {
        code = FProgress.ShowStatus(psOK, _("Cleanup completed"), counts, "", SuccessColor, wait);
        StatusText = _("OK");
        if (FRootFailed)
            FHost.SetExitCode(4, 0);
    }
    return code;
}

void TCleanupRun::EndRunLog(int code)
{
    const bool dirs = Settings.Subject == csRootDirs;
    FLog.WriteErrorSummary();
    FLog.WriteToLog(1, "  ==> " + _("End") + ": " + DateTimeToStr(Clock()));
    FLog.WriteToLog(1, "  " + _("Status: ") + StatusText + " (" +
                           (dirs ? DirsText(Dirs) + " - " + FilesText(Files) : FilesText(Files)) + ")");
    if ((code & mrShowLogBit) != 0)
        FLog.FlushLogFile(1);
}

TBuResult TCleanupRun::RunLocalCleanup(bool prompt, bool quiet, int wtDel)
{
    if (Settings.Directory.empty())
        return brError;
    int64_t space = 0;
    if (!PrepareRun(prompt, space))
        return brError;
    const bool freeSpace = Settings.Sync == csyOff && Settings.FreeSpace;
    std::string base = WithSlash(Settings.Directory);
    if (!CheckPathAccess(_("Delete files"), Settings.UserAccount, Settings.UserPwd, base, quiet) ||
        !IsToolDir(base))
        return brError;
    base = WithSlash(base);
    FBase = base;
    const int wait = quiet ? -wtDel : prompt ? 0 : wtDel;

    TFileTransferList list;
    const bool syncOn = Settings.Sync != csyOff;
    // an origin that cannot be reached counts as none: nothing is deleted for its sake
    auto scanWithOrigin = [&](const std::string& folder, const std::string& origin) {
        if (syncOn && !IsToolDir(origin))
            return;
        ++Scanned;
        ScanDirectory(folder, origin, list, 0, "");
    };
    if (Settings.Subject == csRootDirs) {
        Scanned = 1;
        ScanRootDirs(base, list);
    } else if (Settings.Subject == csFiles && Settings.Sync == csyOrigin) {
        const std::string origin = OriginOfPathInDriveFolder(base, Settings.DriveIdent);
        if (!origin.empty()) {
            list.AddItem(origin + " <=>", ftTarget, "", "", 0, 0);
            scanWithOrigin(base, origin);
        } else {
            std::vector<TToolDirEntry> entries;
            ListToolDir(base, entries);
            for (const auto& e : entries) {
                if (FControl.Stopped())
                    break;
                const std::string driveOrigin =
                    e.IsDir && !e.IsLink ? DriveFolderOrigin(e.Name, Settings.DriveIdent) : std::string();
                if (driveOrigin.empty())
                    continue;
                list.AddItem(driveOrigin + " <=>", ftTarget, "", "", 0, 0);
                scanWithOrigin(base + e.Name + "/", driveOrigin);
            }
        }
    } else {
        scanWithOrigin(base, Settings.SyncDir);
    }
    if (FControl.Stopped()) {
        FHost.SetExitCode(5, 0);
        return brError;
    }
    if (freeSpace)
        KeepOldestFiles(list, space);

    std::string reason;
    const bool confirmed = ConfirmRun(prompt, list, Settings.Directory, true, reason);
    const bool dirs = Settings.Subject == csRootDirs;
    const std::string title = BeginRunLog();
    FLog.WriteToLog(1, "  " + _("Directory") + ": " + base);
    if (syncOn)
        FLog.WriteToLog(1, "    " + SyncText());

    int code = 2;
    if (confirmed) {
        try {
            FProgress.ShowProgress(title, _("Directory"), base, ProgressOption(poAction), 0, wait, false);
            if (dirs)
                DeleteSelectedDirs(base, list, Settings.UseRecycler);
            else
                DeleteSelectedFiles(base, list, Settings.UseRecycler);
            code = EndDeletion(wait);
            EndRunLog(code);
        } catch (const std::exception& e) {
            FProgress.Close();
            StatusText = _("Unexpected error");
            FLog.WriteToLog(1, "  *** " + _("Unexpected error") + " (" + e.what() + ")");
            FHost.SetExitCode(4, 0);
        }
    } else {
        FLog.WriteToLog(1, "  ==> " + reason);
        StatusText = _("OK");
    }
    return ModalResultToBuResult(code);
}

TBuResult TCleanupRun::StartClean(const std::string& taskFile, int wtDel, int selAction, TInteraction iaMode)
{
    (void)selAction;
    Settings.ProtMode = GetLogModeFor(CleanupLogBit);
    const bool quiet = iaMode == iaQuiet || iaMode == iaQuietError;
    FHost.SetExitCode(0, 0);
    FControl.Reset();
    FHost.KeepAwake(true);
    std::string message;
    TBuResult result = brError;
    bool loaded = true;
    try {
        LoadCleanupTask(taskFile, Settings);
        CJobName = taskFile;
    } catch (const std::exception& e) {
        loaded = false;
        message = _("Invalid task configuration") + " (" + e.what() + ")";
        FHost.SetExitCode(6, 0);
    }
    const uint32_t logError =
        FLog.OpenLogFile(Settings.ProtMode, ExpandLogNameNoDest(Settings.TaskLogName, taskFile), false);
    FLog.CheckLogError(logError, !quiet);
    FLog.InitLog(_("Clean up backup directory"));
    const bool prompt = iaMode == iaPrompt;
    if (loaded) {
        if (Settings.CuFtp) {
            result = RunOnFtp(prompt, quiet, wtDel, message);
        } else {
            result = RunLocalCleanup(prompt, quiet, wtDel);
            if (result == brError) {
                if (FHost.ExitState() == 5)
                    message = _("Canceled by user");
                else if (FHost.ExitState() == 6)
                    message = _("Invalid task configuration");
                else {
                    message = SafeFormat(_("Could not find directory: \"%s\""), {Settings.Directory});
                    FHost.SetExitCode(3, 0);
                }
            }
        }
    }
    if (result == brError) {
        if (prompt)
            FInteraction.ErrorBox(message, 0);
        FLog.BeginLog(Clock(), _("Cleanup task") + ": " + FileNamePart(taskFile));
        FLog.WriteToLog(1, "  *** " + message);
        StatusText = message;
    }
    FLog.CloseLogFile(false);
    FHost.EndKeepAwake();
    return result;
}

TBuResult TCleanupRun::RunInteractive(std::string& failure)
{
    failure.clear();
    FHost.SetExitCode(0, 0);
    FControl.Reset();
    FHost.KeepAwake(true);
    const uint32_t logError =
        FLog.OpenLogFile(Settings.ProtMode, ExpandLogNameNoDest(Settings.TaskLogName, CJobName), false);
    FLog.CheckLogError(logError, true);
    FLog.InitLog(_("Clean up backup directory"));
    TBuResult result = brOK;
    if (Settings.CuFtp) {
        result = RunOnFtp(true, false, 0, failure);
    } else if (Settings.Directory.empty()) {
        failure = _("No directory specified!");
    } else {
        result = RunLocalCleanup(true, false, 0);
        if (result == brError) {
            if (FHost.ExitState() == 5)
                failure = _("Canceled by user");
            else if (FHost.ExitState() != 6)
                failure = SafeFormat(_("Could not find directory: \"%s\""), {Settings.Directory});
        }
    }
    FLog.CloseLogFile(false);
    FHost.EndKeepAwake();
    return result;
}
