// Synchronisation of an FTP destination: the server folder of a source folder is walked on the run's
// connection; server files whose source files are gone are deleted (or kept under sync-copy names), and
// server folders whose source folders are gone are deleted with their content. The same rules decide as
// for a local destination, with names derived by their extension only.
//
// Nothing is deleted when the source folder is missing, cannot be read or is empty, nothing outside
// the run's server folder, and no server folder that holds older versions.

#include <cerrno>
#include <dirent.h>
#include <sys/stat.h>

#include "archive/FtpUtils.h"
#include "backup/LinkInfo.h"
#include "backup/LogSettings.h"
#include "backup/SecurityCopyNames.h"
#include "backup/Synchronize.h"
#include "backup/TimestampFile.h"
#include "foundation/PathUtils.h"
#include "foundation/QvUtilsTexts.h"
#include "foundation/StringUtils.h"
#include "platform/ErrorCodes.h"
#include "rtl/Gettext.h"
#include "rtl/SysUtils.h"

namespace {

const std::string Indent = "      ";

// 0 when the folder can be read and holds at least one entry; else the reason (empty: ERROR_EMPTY).
uint32_t SourceFolderProblem(const std::string& dir, bool& empty)
{
    empty = false;
    DIR* d = ::opendir(dir.c_str());
    if (!d)
        return errno == ENOENT ? WinError::ERROR_PATH_NOT_FOUND : ErrnoToWinError(errno);
    bool any = false;
    while (struct dirent* e = ::readdir(d)) {
        const std::string name = e->d_name;
        if (name != "." && name != "..") {
            any = true;
            break;
        }
    }
    ::closedir(d);
    empty = !any;
    return 0;
}

// Whether the source folder path is surely gone (not merely unreadable).
bool SourceFolderGone(const std::string& path)
{
    struct stat st
    {
    };
    if (::lstat(path.c_str(), &st) == 0)
        return false;
    return errno == ENOENT || errno == ENOTDIR;
}

} // namespace

bool TSynchronizer::FtpInsideRoot(const std::string& path) const
{
    const std::string root = IncludeTrailingSlash(FFtpRoot);
    return !FFtpRoot.empty() && path.size() > root.size() && path.compare(0, root.size(), root) == 0;
}

bool TSynchronizer::SyncFtpFolder(TExtFtp& ftp, const std::string& ftpRoot, TExtensionList& list,
                                  const std::string& srcDir, const std::string& destDir, bool prompt,
                                  TFolderCounters& counters)
{
    bool empty = false;
    const uint32_t code = SourceFolderProblem(srcDir, empty);
    if (code != 0 || empty)
        return RefuseSync(srcDir, code, prompt, counters);
    FFtp = &ftp;
    FFtpRoot = ExcludeTrailingSlash(ftpRoot);
    FLog.WriteToLog("  ->  " + _("Synchronize") + ": " + destDir);
    FProgress.SetActionHint(_("is being synchronized"));
    const std::string prev = ftp.CurrentDir();
    int examined = 0;
    int deleted = 0;
    bool ok =
        SyncFtpDestination(srcDir, ExcludeTrailingSlash(destDir), list, examined, deleted, std::string());
    if (!FControl.Stopped() && !ftp.ChangeToDir(prev)) {
        FLog.WriteErrorToLog(lmShort, "S", _("Error changing to subdirectory on FTP server: ") + prev,
                             ftp.IndyError(), std::string());
        ok = false;
    }
    list.SyncCount = static_cast<uint32_t>(examined);
    FLog.WriteToLog("    => " + _("Status: ") +
                    FormatCount(_("No files deleted"), _("1 file deleted"), _("%u files deleted"), deleted));
    if (!ok)
        FLog.WriteToLog("  *** " + _("Warning: There were errors during synchronization!"));
    counters.DeletedCount += deleted;
    if (!ok) {
        counters.SyncFailed = true;
        ++counters.ErrorCount;
    }
    FFtp = nullptr;
    return ok;
}

bool TSynchronizer::SyncFtpDestination(const std::string& src, const std::string& dest, TExtensionList& list,
                                       int& examined, int& deleted, const std::string& sub)
{
    TExtFtp& ftp = *FFtp;
    const std::string dir = sub.empty() ? dest : dest + "/" + sub;
    if (!ftp.ReConnect(dir, true, false)) {
        FLog.WriteErrorToLog(lmShort, "S", _("FTP connection lost!"), ftp.IndyError(), std::string());
        FControl.SetStopped(true);
        return false;
    }
    if (ExcludeTrailingSlash(ftp.CurrentDir()) != dir && !ftp.ChangeToDir(dir)) {
        FLog.WriteErrorToLog(lmShort, "S", _("Error changing to subdirectory on FTP server: ") + dir,
                             ftp.IndyError(), std::string());
        return false;
    }
    bool ok = true;
    const std::string srcFolder =
        sub.empty() ? AddPathDelimiter(src) : AddPathDelimiter(AddPathDelimiter(src) + sub);
    // Sub-folders first.
    TDirectoryList dirs;
    if (!ftp.GetDirList(&dirs)) {
        FLog.WriteErrorToLog(lmShort, "S",
                             _("Error reading directory list from FTP server - directory: ") + dir,
                             ftp.IndyError(), std::string());
        return false;
    }
    std::vector<std::string> folders;
    for (int i = 0; i < dirs.Count(); ++i)
        folders.push_back(dirs.Strings(i));
    for (const std::string& name : folders) {
        if (FControl.Stopped())
            return false;
        if (name == "." || name == "..")
            continue;
        if (IsSecurityFolderName(name)) {
            FLog.WriteToLog(lmVerbose,
                            Indent + SafeFormat(_("Existing source file: \"%s\""), {dir + "/" + name}));
            continue;
        }
        const std::string childSub = sub.empty() ? name : sub + "/" + name;
        if (!SourceFolderGone(srcFolder + name)) {
            ok = SyncFtpDestination(src, dest, list, examined, deleted, childSub) && ok;
            if (!ftp.ChangeToDir(dir)) {
                FLog.WriteErrorToLog(lmShort, "S", _("Error changing to subdirectory on FTP server: ") + dir,
                                     ftp.IndyError(), std::string());
                return false;
            }
            continue;
        }
        // A folder whose source folder is gone goes with everything in it.
        const std::string path = dir + "/" + name;
        if (!FtpInsideRoot(path) || FTask.KeepSyncCB)
            continue;
        int count = 0;
        if (ftp.DeleteTree(name, true, count)) {
            deleted += count;
            ShowDeleted(deleted);
            FLog.WriteToLog(lmLong, Indent + SafeFormat(_("Directory was deleted: \"%s\""), {path}) + " (" +
                                        std::to_string(count) + ")");
        } else {
            FLog.WriteErrorToLog(lmShort, "S", SafeFormat(_("Error deleting directory: \"%s\""), {path}),
                                 ftp.IndyError(), std::string());
            ok = false;
        }
        ftp.ChangeToDir(dir);
    }
    // Then the files.
    FLog.WriteToLog(lmVerbose, Indent + SafeFormat(_("Scanning FTP subdirectory: \"%s\""), {dir}));
    ftp.SetValidDirectoryListing(false);
    if (!ftp.GetFileList()) {
        FLog.WriteErrorToLog(lmShort, "B", _("FTP connection lost!"), ftp.IndyError(), std::string());
        FControl.SetStopped(true);
        return false;
    }
    std::vector<std::string> files;
    for (int i = 0; i < ftp.FileList().Count(); ++i)
        files.push_back(ftp.FileList().Strings(i));
    for (const std::string& name : files) {
        if (FControl.Stopped())
            return false;
        if (sub.empty() && (name == TimestampFileName || name == "VssBackupDoc.xml"))
            continue;
        if (name.size() > 7 && name.compare(name.size() - 7, 7, std::string(".") + LinkInfoExt) == 0)
            continue;
        ++examined;
        FLog.WriteToLog(lmVerbose, Indent + SafeFormat(_("File at FTP destination is being examined: \"%s\""),
                                                       {dir + "/" + name}));
        TDestFile f;
        DeriveSourceName(srcFolder, name, false, f);
        bool unknown = false;
        if (!FileGoes(src, sub, list, false, f, unknown) || unknown) {
            FLog.WriteToLog(lmVerbose, Indent + SafeFormat(f.NotSelected ? _("Excluded file: \"%s\"")
                                                                         : _("Existing source file: \"%s\""),
                                                           {srcFolder + f.Derived}));
            continue;
        }
        const std::string path = dir + "/" + name;
        if (!FtpInsideRoot(path))
            continue;
        if (FTask.KeepSyncCB) {
            const std::string copy = MakeSyncCopyName(name, ExpandSyncSuffix(SyncSuffix, Now()), Now());
            if (HasSecurityCopySuffix(name, SyncSuffix, false))
                continue;
            if (ftp.RenameFile(name, copy, false)) {
                ++deleted;
                ShowDeleted(deleted);
                FLog.WriteToLog(lmLong, Indent + SafeFormat(_("%s was renamed: \"%s\" to \"%s\""),
                                                            {_("File"), name, copy}));
            } else {
                FLog.WriteErrorToLog(
                    lmShort, "S",
                    SafeFormat(_("Error renaming %s: \"%s\" to \"%s\""), {_("File"), name, copy}),
                    ftp.IndyError(), std::string());
                ok = false;
            }
            continue;
        }
        if (ftp.DeleteFile(name, false)) {
            ++deleted;
            ShowDeleted(deleted);
            FLog.WriteToLog(lmLong, Indent + SafeFormat(_("File was deleted: \"%s\""), {path}));
        } else {
            FLog.WriteErrorToLog(lmShort, "S", SafeFormat(_("Error deleting file: \"%s\""), {path}),
                                 ftp.IndyError(), std::string());
            ok = false;
        }
    }
    return ok;
}
