// The cleanup of a folder on an FTP server. The scan lists the server's folders into the list of
// candidates; the connection is closed while the user confirms and opened again for the deletion,
// which follows the list: its folder entries move the current server folder, its file entries are
// deleted there by name. Every path is the task's server folder joined with names the server listed
// (names with a "/" or that are "." or ".." are never used), so nothing outside that folder is touched.

#include "archive/FtpUtils.h"
#include "backup/BuFtpDlg.h"
#include "foundation/FileUtilsTimes.h"
#include "foundation/PathUtils.h"
#include "foundation/QvUtilsTexts.h"
#include "foundation/StringUtils.h"
#include "rtl/Gettext.h"
#include "tools/CleanupRun.h"
#include "tools/ToolFiles.h"

namespace {

bool EndsWithExt(const std::string& name, const char* ext)
{
    return utf8::Lower(name).ends_with(ext);
}

bool UnsafeName(const std::string& name)
{
    return name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos;
}

TDateTime ListedTime(const TFtpFileInfo& f)
{
    return f.FModifiedDateGMT >= 0.1 ? f.FModifiedDateGMT : f.FModifiedDate;
}

std::string DirsDeletedText(int64_t n)
{
    return FormatCount(_("No directory deleted"), _("1 directory deleted"), _("%u directories deleted"), n,
                       true);
}

} // namespace

void TCleanupRun::ScanFtpRootDirs(TExtFtp& ftp, TFileTransferList& list)
{
    TDirectoryList dirs;
    if (!ftp.GetDirList(&dirs))
        return;
    for (int i = 0; i < dirs.Count() && !FControl.Stopped(); ++i) {
        const std::string& name = dirs.Strings(i);
        if (UnsafeName(name))
            continue;
        const TFtpFileInfo* info = dirs.Objects(i);
        const TDateTime when = info ? ListedTime(*info) : 0;
        if (FAge.Passes(DateTimeToUnixTime(when)) &&
            DFilter.MatchesFilter(DeleteExtension(ftp.RetrieveName(name)))) {
            ++Found;
            list.AddAndSelectItem(ftp.RetrieveName(name), ftDir, name, "", when, faDirectory);
        }
        FControl.Checkpoint();
    }
}

void TCleanupRun::ScanFtpDirectory(TExtFtp& ftp, const std::string& origin, const std::string& originSub,
                                   TFileTransferList& list, int secKind, const std::string& ftpSub)
{
    if (FControl.Stopped())
        return;
    const int subject = Settings.Subject;
    int dirEntry = -1;
    if (ftpSub.empty()) {
        list.AddItem(ftp.GetCurrentDir(), ftRoot, "", "", 0, 0);
        list.AddAndSelectItem("./", ftDir, "", "", 0, 0);
    } else {
        const std::string name = ftp.RetrieveName(ftpSub);
        if (!ftp.ChangeToDir(ExtractAfterLastDelimiter("/", ftpSub)))
            return; // left out with its subtree
        dirEntry = list.AddAndSelectItem("./" + name, ftDir, ftpSub, "", 0, 0);
        FProgress.SetPrompt(name);
    }
    const bool syncOn = Settings.Sync != csyOff;
    const bool oldCopies = subject == csSecurityCopies && Settings.SecAge.Enabled;
    TFileList files;
    if (ftp.GetFileList(&files)) {
        for (int i = 0; i < files.Count() && !FControl.Stopped(); ++i) {
            const std::string& serverName = files.Strings(i);
            if (UnsafeName(serverName))
                continue;
            const TFtpFileInfo& f = *files.Objects(i);
            const std::string n = ftp.RetrieveName(serverName);
            const int64_t time = DateTimeToUnixTime(ListedTime(f));
            std::string x = n;
            bool compressed = false;
            if (Settings.Compressed &&
                (EndsWithExt(n, ".gz") || EndsWithExt(n, ".gze") || EndsWithExt(n, ".zip"))) {
                x = DeleteExtension(n);
                compressed = true;
            } else if (Settings.IgnoreEnc && EndsWithExt(n, ".enc")) {
                x = DeleteExtension(n);
            }
            bool selected = true;
            if (subject == csSecurityCopies) {
                if (secKind == 1)
                    selected = BakFilter.Mode() == fmOff || BakFilter.MatchesFilter(x);
                else if (secKind == 2)
                    selected = SyncFilter.Mode() == fmOff || SyncFilter.MatchesFilter(x);
                else {
                    selected = BakFilter.Mode() != fmOff && BakFilter.MatchesFilter(x);
                    if (SyncFilter.Mode() != fmOff)
                        selected = selected || SyncFilter.MatchesFilter(x);
                }
            }
            selected = selected && FAge.Passes(time) && FTypes.Passes(x) && DFilter.MatchesFilter(x);
            if (selected) {
                if (oldCopies) {
                    selected = IsOldSecurityCopy(x, SecLimit, Settings.BakSec, Settings.SyncSec);
                } else if (syncOn) {
                    selected = OriginFileMissing(origin, originSub, x);
                    if (selected && EndsWithExt(n, ".zip")) {
                        // a zip file of the origin that still exists keeps its copy
                        compressed = false;
                        x += ".zip";
                        selected = OriginFileMissing(origin, originSub, x);
                    }
                }
            }
            if (selected) {
                ++Found;
                list.AddItem(x, ftFile, JoinFtpPath(ftpSub, serverName), "", UnixToLocalDateTime(time),
                             static_cast<int>(faArchive), 0, f.FSize, f.FSize, compressed, false, false,
                             true);
            }
            FControl.Checkpoint();
        }
    }
    FProgress.SetPrompt(_("Found: ") + FormatCount(_("No files"), _("1 file"), _("%u files"), Found, true));
    if (dirEntry >= 0 && dirEntry == list.Count() - 1)
        list.SetFileType(dirEntry, ftEmpty);
    TDirectoryList dirs;
    if (ftp.GetDirList(&dirs)) {
        for (int i = 0; i < dirs.Count() && !FControl.Stopped(); ++i) {
            const std::string& d = dirs.Strings(i);
            if (UnsafeName(d))
                continue;
            int t = secKind;
            if (subject == csSecurityCopies) {
                if (secKind == 0) {
                    t = MatchesDirMask(d, BakDirMask) ? 1 : MatchesDirMask(d, SyncDirMask) ? 2 : 0;
                    if (t != 0 && oldCopies && IsOldDatedFolder(d, SecLimit))
                        t = 3;
                } else if (secKind == 2) {
                    t = oldCopies && IsOldDatedFolder(d, SecLimit) ? 3 : 2;
                }
            }
            const std::string local = ftp.RetrieveName(d);
            ScanFtpDirectory(ftp, origin, originSub.empty() ? local : originSub + "/" + local, list, t,
                             JoinFtpPath(ftpSub, d));
        }
    }
    if (!ftpSub.empty()) {
        ftp.ChangeOneDirUp();
        list.AddItem(list.Count() > 0 ? list.Items(list.Count() - 1).FName : std::string(), ftDirUp,
                     ExtractAfterLastDelimiter("/", ftpSub), "", 0, 0);
    }
}

void TCleanupRun::DeleteFtpFiles(TExtFtp& ftp, TFileTransferList& list)
{
    const std::string root = IncludeTrailingSlash(ftp.GetCurrentDir());
    std::string cur = root;
    FLog.WriteToLog(3, "   => " + SafeFormat(_("FTP root directory: \"%s\""), {root}));
    const size_t count = static_cast<size_t>(list.Count());
    bool changed = true;
    for (int i = 0; i < list.Count(); ++i) {
        if (FControl.Stopped())
            return;
        const TFileTransferInfo& e = list.Items(i);
        switch (e.FType) {
        case ftTarget:
            cur = IncludeTrailingSlash(root + e.FSource);
            changed = ftp.ChangeToDir(cur);
            FLog.WriteToLog(2, "   => " + SafeFormat(_("Current FTP directory: \"%s\""), {cur}));
            break;
        case ftDir: {
            const std::string dir = cur + e.FSource;
            changed = ftp.ChangeToDir(dir);
            FLog.WriteToLog(3, "   => " + SafeFormat(_("Current FTP directory: \"%s\""), {dir}));
            break;
        }
        case ftFile: {
            if (!e.IsSelected)
                break;
            const std::string name = ExtractAfterLastDelimiter("/", e.FSource);
            const std::string logName = Settings.ProtMode == 3 ? name : e.FSource;
            FProgress.UpdatePrompt(ssFile, _("is being deleted"), ftp.RetrieveName(e.FSource), 0);
            // a folder that could not be entered: its files are not looked for elsewhere
            if (changed && ftp.DeleteFile(name, false)) {
                ++Files;
                FLog.WriteToLog(2, "      " + SafeFormat(_("File was deleted: \"%s\""), {logName}));
            } else {
                ++Errors;
                FLog.WriteErrorToLog(1, "C", SafeFormat(_("Error deleting file: \"%s\""), {logName}),
                                     ftp.IndyError(), "");
            }
            FProgress.WriteStatus(1, FormatCount(_("No files deleted"), _("1 file deleted"),
                                                 _("%u files deleted"), Files, true));
            ShowDeleteProgress(static_cast<size_t>(i), count);
            break;
        }
        default:
            break;
        }
    }
    ftp.ChangeToDir(root);
    if (!Settings.EmptyDirs || FControl.Stopped())
        return;
    FLog.WriteToLog(2, "   => " + _("Delete empty directories"));
    int removed = 0;
    ftp.DeleteEmptyDirs(root, Settings.EmptyRoot, removed);
    FLog.WriteToLog(3, "      " + DirsDeletedText(removed));
}

void TCleanupRun::DeleteFtpDirs(TExtFtp& ftp, TFileTransferList& list)
{
    Dirs = 0;
    int deletedFiles = 0;
    const size_t count = static_cast<size_t>(list.Count());
    for (int i = 0; i < list.Count() && !FControl.Stopped(); ++i) {
        if (!list.Selected(i) || list.FileType(i) != ftDir)
            continue;
        const std::string source = list.Items(i).FSource;
        if (UnsafeName(source))
            continue;
        FProgress.UpdatePrompt(ssDir, _("is being deleted"), source, 0);
        FLog.WriteToLog(3, "   => " + _("Subdirectory") + ": " + source);
        ++Dirs;
        if (ftp.DeleteTree(source, Settings.EmptyRoot, deletedFiles)) {
            FLog.WriteToLog(2, "      " + SafeFormat(_("Directory was deleted: \"%s\""), {source}));
        } else {
            ++Errors;
            FLog.WriteErrorToLog(1, "C", SafeFormat(_("Error deleting directory: \"%s\""), {source}),
                                 ftp.IndyError(), "");
            FHost.SetExitCode(4, 0);
        }
        FProgress.WriteStatus(1, SafeFormat(_("%u directories deleted"), {Dirs}));
        ShowDeleteProgress(static_cast<size_t>(i), count);
    }
    Files = deletedFiles;
}

TBuResult TCleanupRun::RunFtpCleanup(TExtFtp& ftp, bool prompt, bool quiet, int wtDel)
{
    int64_t space = 0;
    if (!PrepareRun(prompt, space))
        return brError;
    if (Settings.Subject != csSecurityCopies) {
        // the security-copy naming only matters when security copies are the subject
        BakFilter.SetMode(fmOff);
        SyncFilter.SetMode(fmOff);
        BakDirMask.clear();
        SyncDirMask.clear();
    }
    const bool freeSpace = Settings.Sync == csyOff && Settings.FreeSpace;
    const int wait = quiet ? -wtDel : prompt ? 0 : wtDel;
    const bool syncOn = Settings.Sync != csyOff;
    const std::string serverDir = IncludeLeadingSlash(Settings.FtpPar.Directory);
    const std::string address = GetFtpUrl(Settings.FtpPar);

    TFileTransferList list;
    auto scanWithOrigin = [&](const std::string& origin) {
        // an origin that cannot be reached counts as none: nothing is deleted for its sake
        if (syncOn && !IsToolDir(origin))
            return;
        ++Scanned;
        ScanFtpDirectory(ftp, origin, "", list, 0, "");
    };
    if (Settings.Subject == csRootDirs) {
        Scanned = 1;
        list.AddItem(ftp.GetCurrentDir(), ftRoot, "", "", 0, 0);
        ScanFtpRootDirs(ftp, list);
    } else if (Settings.Subject == csFiles && Settings.Sync == csyOrigin) {
        const std::string origin = OriginOfPathInDriveFolder(serverDir, Settings.DriveIdent);
        if (!origin.empty()) {
            list.AddItem(origin + " <=>", ftTarget, "", "", 0, 0);
            scanWithOrigin(origin);
        } else {
            TDirectoryList dirs;
            std::vector<std::string> names;
            if (ftp.GetDirList(&dirs))
                for (int i = 0; i < dirs.Count(); ++i)
                    names.push_back(dirs.Strings(i));
            for (const std::string& name : names) {
                if (FControl.Stopped())
                    break;
                const std::string driveOrigin =
                    UnsafeName(name) ? std::string() : DriveFolderOrigin(name, Settings.DriveIdent);
                if (driveOrigin.empty() || (syncOn && !IsToolDir(driveOrigin)))
                    continue;
                list.AddItem(driveOrigin + " <=>", ftTarget, name, "", 0, 0);
                if (!ftp.ChangeToDir(name))
                    continue;
                scanWithOrigin(driveOrigin);
                ftp.ChangeOneDirUp();
            }
        }
    } else {
        scanWithOrigin(Settings.SyncDir);
    }
    try {
        ftp.Disconnect();
    } catch (const std::exception&) {
        // closed anyway
    }
    if (FControl.Stopped()) {
        FHost.SetExitCode(5, 0);
        return brOK;
    }
    if (freeSpace)
        KeepOldestFiles(list, space);

    std::string reason;
    const bool confirmed = ConfirmRun(prompt, list, address, false, reason);
    const bool dirs = Settings.Subject == csRootDirs;
    const std::string title = BeginRunLog();
    if (Settings.FtpPar.SecureMode > 0) {
        if (ftp.CanUseTls())
            FLog.WriteToLog(2, "      => " + _("Using secure connection (TLS)"));
        else
            FLog.WriteToLog(1, "  *** " + SafeFormat(_("Requested secure connection is not available%son "
                                                       "connection with \"%s\"!"),
                                                     {" ", Settings.FtpPar.Host}));
    }
    FLog.WriteToLog(1, "  " + _("Directory") + ": " + MakeFtpUrl(Settings.FtpPar, Settings.FtpPar.Directory));
    if (syncOn)
        FLog.WriteToLog(1, "    " + SyncText());

    int code = 2;
    if (confirmed) {
        FProgress.ShowProgress(title, _("Directory"), address, ProgressOption(poAction), 0, wait, false);
        bool connected = false;
        try {
            connected =
                ftp.DoConnect(std::max(1, Settings.FtpPar.ConnAttempts), false) && ftp.ChangeToDir(serverDir);
        } catch (const std::exception&) {
            connected = false;
        }
        if (connected) {
            try {
                if (dirs)
                    DeleteFtpDirs(ftp, list);
                else
                    DeleteFtpFiles(ftp, list);
            } catch (const std::exception& e) {
                ++Errors;
                FLog.WriteToLog(1, "  *** " + _("Unexpected error") + " (" + e.what() + ")");
            }
            code = EndDeletion(wait);
            try {
                ftp.Disconnect();
            } catch (const std::exception&) {
                // the deletion's outcome stands
            }
        } else {
            FProgress.Close();
            StatusText = _("Connection to FTP server failed");
            FLog.WriteToLog(1, "  *** " + StatusText + ": " + address);
            FHost.SetExitCode(3, 0);
        }
        EndRunLog(code);
    } else {
        FLog.WriteToLog(1, "  ==> " + reason);
        StatusText = _("OK");
    }
    return ModalResultToBuResult(code);
}

TBuResult TCleanupRun::RunOnFtp(bool prompt, bool quiet, int wtDel, std::string& failure)
{
    std::unique_ptr<TExtFtp> ftp;
    TFtpPasswordPrompt ask;
    if (prompt)
        ask = [this](const std::string& t, const std::string& text, std::string& pwd) {
            return FInteraction.AskPassword(t, text, pwd);
        };
    if (!CreateFtpConnection(Settings.FtpPar, ftp, ask)) {
        failure = _("Connection to FTP server failed") + ": " + GetFtpUrl(Settings.FtpPar);
        FHost.SetExitCode(3, 0);
        return brError;
    }
    ftp->OnCheckCancel = [this] { return FControl.Stopped(); };
    const TBuResult result = RunFtpCleanup(*ftp, prompt, quiet, wtDel);
    if (result == brError && FHost.ExitState() == 6)
        failure = _("Invalid task configuration");
    return result;
}
