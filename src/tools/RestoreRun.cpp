#include "tools/RestoreRun.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

#include "archive/AesLib.h"
#include "archive/EngineFs.h"
#include "archive/ExtFileTools.h"
#include "archive/ExtFileToolsZipRead.h"
#include "archive/ExtFileToolsZipThreads.h"
#include "archive/FileErrors.h"
#include "archive/FtpUtils.h"
#include "backup/BuFtpDlg.h"
#include "backup/CopyThreadRunner.h"
#include "backup/LinkInfo.h"
#include "backup/LogSettings.h"
#include "backup/TaskLog.h"
#include "foundation/FileUtilsOps.h"
#include "foundation/FileUtilsTimes.h"
#include "foundation/PathUtils.h"
#include "foundation/QvUtilsDest.h"
#include "foundation/QvUtilsFolders.h"
#include "foundation/QvUtilsTaskFiles.h"
#include "foundation/QvUtilsTexts.h"
#include "foundation/StringUtils.h"
#include "foundation/XlFileUtils.h"
#include "platform/ErrorCodes.h"
#include "rtl/Gettext.h"
#include "tools/RestoreScan.h"

namespace fs = std::filesystem;

namespace {

std::string Join(const std::string& dir, const std::string& name)
{
    if (dir.empty())
        return name;
    return dir.back() == '/' ? dir + name : dir + "/" + name;
}

std::string NoSlash(std::string path)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

int BufferSize()
{
    const int size = ProgSettings.CopySettings.BufferSize;
    return size > 0 ? size : 262144;
}

std::string RealPath(const std::string& path)
{
    char buf[PATH_MAX];
    return ::realpath(path.c_str(), buf) ? std::string(buf) : std::string();
}

bool Exists(const std::string& path)
{
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

std::string RestoredText(int n)
{
    return FormatCount(_("No files restored"), _("1 file restored"), _("%u files restored"), n);
}

std::string DeletedText(int n)
{
    return FormatCount("", _("1 file deleted"), _("%u files deleted"), n);
}

} // namespace

TRestoreRun::TRestoreRun(const TRestoreTask& task, const std::string& taskName, TRestoreServices services)
    : FTask(task), FTaskName(taskName), S(services)
{
    FRunner = std::make_unique<TCopyThreadRunner>(S.Control, S.Progress);
}

TRestoreRun::~TRestoreRun() = default;

bool TRestoreRun::InsideTarget(const std::string& path) const
{
    if (FRoot.empty() || !(IsSubPath(FRoot, path) || IsSamePath(FRoot, path)))
        return false;
    // The nearest existing folder above path must resolve below the resolved root: a link met on the
    // way (one the backup recorded, or one that was there) never takes a write elsewhere.
    const std::string root = RealPath(FRoot);
    std::string dir = EngineFs::ExtractFilePath(path);
    while (!dir.empty() && !Exists(dir)) {
        dir = NoSlash(dir);
        dir = EngineFs::ExtractFilePath(dir);
    }
    if (root.empty() || dir.empty())
        return !Exists(FRoot); // the root itself is still to be made
    const std::string real = RealPath(dir);
    return real == root || IsSubPath(root, real);
}

bool TRestoreRun::FindTargets(TFileTransferList& list, TRestoreScanner& scanner, bool& archiveMissing,
                              std::string& target)
{
    const int mode = FTask.RestMode;
    std::string B = FBackupRoot;
    const std::string N = mode == rmSeparated ? "" : EngineFs::ExtractFileName(FTask.Source);
    auto scanInto = [&](const std::string& into) {
        if (mode == rmSeparated) {
            scanner.ScanBackupTree(NoSlash(B), NoSlash(into), list);
        } else if (mode == rmZipPerDir) {
            const int r = scanner.CheckZipPassword(NoSlash(B), N);
            if (r == 3)
                archiveMissing = true;
            else if (r == 1) {
                scanner.ScanZipPerDirectory(NoSlash(B), N, list, NoSlash(into));
                SelectNewestPerName(list);
            }
        } else {
            const int r = scanner.CheckZipPassword(NoSlash(B), N);
            if (r == 3)
                archiveMissing = true;
            else if (r == 1)
                scanner.ScanZipArchive(NoSlash(B), N, list, NoSlash(into));
        }
    };
    if (!FTask.Origin || mode == rmSingleZip) {
        target = NoSlash(FTask.DestDir);
        scanInto(target);
        return true;
    }
    // Back to the origin: the backup folder lies inside a per-drive folder, or holds them.
    const std::vector<std::string> parts = [&] {
        std::vector<std::string> v;
        size_t pos = 0;
        while (pos < B.size()) {
            size_t slash = B.find('/', pos);
            if (slash == std::string::npos)
                slash = B.size();
            if (slash > pos)
                v.push_back(B.substr(pos, slash - pos));
            pos = slash + 1;
        }
        return v;
    }();
    for (size_t i = 0; i < parts.size(); ++i) {
        if (!IsDriveFolder(parts[i], FTask.DriveIdent))
            continue;
        target = "/";
        for (size_t k = i + 1; k < parts.size(); ++k)
            target += (target.size() > 1 ? "/" : "") + parts[k];
        list.AddItem("=> " + target, ftTarget, NoSlash(B), target, Now(), 0);
        scanInto(target);
        return true;
    }
    if (mode != rmSeparated)
        return false;
    bool found = false;
    std::error_code ec;
    for (fs::directory_iterator it(NoSlash(B), ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().native();
        if (!it->is_directory(ec) || it->is_symlink(ec) || !IsDriveFolder(name, FTask.DriveIdent))
            continue;
        found = true;
        target = "/";
        list.AddItem("=> /", ftTarget, Join(NoSlash(B), name), "/", Now(), 0);
        scanner.ScanBackupTree(Join(NoSlash(B), name), "/", list);
    }
    return found;
}

TBuResult TRestoreRun::RestoreLocal(bool Prompt, bool Quiet, int& ErrCode, int Wait)
{
    FPrompt = Prompt;
    ErrCode = 0;
    CryptPwd.clear();
    KeyMode = 0;
    if (FTask.Source.empty())
        ErrCode = 1;
    else if (!FTask.Origin && FTask.DestDir.empty())
        ErrCode = 2;
    if (ErrCode == 0) {
        FBackupRoot = FTask.RestMode == rmSeparated ? FTask.Source : EngineFs::ExtractFilePath(FTask.Source);
        FBackupRoot = AddPathDelimiter(FBackupRoot);
        std::string access = FBackupRoot;
        const bool reachable =
            CheckPathAccess(_("Restore files"), FTask.UserAccount, FTask.UserPwd, access, Quiet || !Prompt);
        const bool exists = FTask.RestMode == rmSingleZip ? XlFileExists(FTask.Source)
                                                          : XlDirectoryExists(NoSlash(FBackupRoot));
        if (!reachable || !exists)
            ErrCode = 1;
    }
    if (ErrCode != 0)
        return brError;

    std::string ageText;
    int testMode = 0;
    int64_t reference = 0;
    GetAgeSelection(FTask, ageText, testMode, reference);
    const char* overwriteTexts[] = {N_("overwrite all files"), N_("overwrite older files"),
                                    N_("overwrite no files")};
    const std::string overwriteText = _(overwriteTexts[std::clamp(FTask.Overwrite, 0, 2)]);
    const int delay = Quiet ? -Wait : (Prompt ? 0 : Wait);

    TFileTransferList list;
    TRestoreScanner scanner(FTask, S.Control, S.Progress, S.Interaction, Prompt);
    scanner.Caption = _("Restore files from backup");
    scanner.AllowLinks = FTask.Junctions;
    scanner.BuildSecurityMasks();
    bool archiveMissing = false;
    std::string target;
    const bool haveTarget = FindTargets(list, scanner, archiveMissing, target);
    CryptPwd = scanner.CryptPwd;
    KeyMode = scanner.KeyMode;
    Selected = scanner.Selected;
    Skipped = scanner.Skipped;
    if (S.Control.Stopped()) {
        S.Host.SetExitCode(5, 0);
        return brError;
    }
    const std::string destText = FTask.Origin && FTask.RestMode != rmSingleZip
                                     ? _("to source directory") + " (" + ShortenPath(target, 80) + ")"
                                     : _("to: ") + ShortenPath(FTask.DestDir, 80);
    TTextFilter filter(true, true);
    ApplyTaskFilter(FTask, filter);

    bool goOn = false;
    std::string finalText;
    if (!haveTarget) {
        finalText = _("No information found to which source the files are to be restored!");
        if (Prompt)
            S.Interaction.InfoBox(finalText);
    } else if (Prompt && archiveMissing) {
        finalText = _(" - Error on restore!");
        S.Interaction.InfoBox(finalText);
    } else if (Selected > 0) {
        if (Prompt) {
            TConfirmRequest req;
            req.CMode = FTask.RestMode == rmSingleZip ? cmRestoreZip : cmRestore;
            req.ContextMode = cmAll;
            req.Taskname = FTaskName;
            req.Source = FTask.RestMode == rmZipPerDir ? FBackupRoot : FTask.Source;
            req.sDest = destText;
            req.sAlter = SafeFormat(_("Mode: %s"), {overwriteText});
            req.sTypen = SafeFormat(_("Age: %s"), {ageText});
            req.sFilter = SafeFormat(_("Filter: %s"), {FilterDescription(filter)});
            req.CryptPwd = CryptPwd;
            req.KeyMode = KeyMode;
            req.ShowEmpty = FTask.EmptyDirs;
            req.Anzahl = Selected;
            goOn = S.Confirm.ConfirmFileList(req, list);
            if (!goOn)
                finalText = _("Canceled by user");
        } else {
            goOn = true;
        }
    } else {
        finalText = _("No matching files for Restore found!");
        if (Prompt) {
            std::string text = finalText;
            if (Skipped > 0)
                text += "\n" + (Skipped == 1 ? _("1 file is ") : Format(_("%u files are "), {Skipped})) +
                        (FTask.Overwrite == owOlder ? _("up to date!") : _("already existing!"));
            S.Interaction.InfoBox(text);
        }
        goOn = FTask.Sync && FTask.RestMode == rmSeparated;
    }

    const TDateTime startTime = Now();
    FTitle = FTaskName.empty() ? _("Restoring") : _("Restore task") + ": " + FTaskName;
    S.Log.BeginLog(startTime, FTitle);
    const char* layouts[] = {N_("Separate files"), N_("Zip archives per directory"), N_("Zip archive(s)")};
    S.Log.WriteToLog(lmShort, "  " + _("Restore from") + " " + _(layouts[std::clamp(FTask.RestMode, 0, 2)]));
    S.Log.WriteToLog(lmShort, "  " + _("From: ") + FBackupRoot + " " + destText);
    std::string selection = ageText;
    if (filter.Mode() != fmOff)
        selection += " [" + FilterDescription(filter) + "]";
    S.Log.WriteToLog(lmShort, "  " + _("Selection: ") + selection);

    int result = mrNoAction;
    if (!goOn) {
        if (finalText.empty())
            finalText = _("No matching files for Restore found!");
        S.Log.WriteToLog(lmShort, "  ==> " + finalText);
        return brOK;
    }
    try {
        if (!FTask.Origin || FTask.RestMode == rmSingleZip) {
            if (!XlDirectoryExists(target) && !XlForceDirectories(target)) {
                const std::string msg = SafeFormat(_("Could not create directory: \"%s\""), {target});
                if (Prompt)
                    S.Interaction.ErrorBox(SafeFormat(_("Could not create directory:\r\n\"%s\""), {target}),
                                           0);
                S.Log.WriteToLog(lmShort, "  *** " + msg);
                S.Host.SetExitCode(2, 0);
                return brError;
            }
        }
        S.Progress.ShowProgress(FTitle, _("Destination"), destText, ProgressOption(poPause), RsAction, delay,
                                false);
        FRoot = target;
        if (FTask.ClearDest && !FTask.Origin) {
            if (IsSubPath(target, FBackupRoot) || IsSamePath(target, FBackupRoot)) {
                // the backup lies inside the destination: clearing it would destroy what is to be restored
                S.Log.WriteErrorToLog(_("Error deleting directory"), target);
                FFatal = true;
            } else if (DeleteDirectory(target, false)) {
                S.Log.WriteToLog(
                    lmLong, "      " + SafeFormat(_("Contents of directory was deleted: \"%s\""), {target}));
            } else {
                S.Log.WriteErrorToLog(_("Error deleting directory"), target);
                FFatal = true;
            }
        }
        if (!FFatal && Selected > 0) {
            if (!Prompt)
                for (int i = 0; i < list.Count(); ++i)
                    if (list.FileType(i) != ftNone)
                        list.SetSelected(i, true);
            RestoreFiles(list);
        }
        if (FTask.RestMode == rmSeparated && FTask.Sync && Errors == 0 && !FFatal && !S.Control.Stopped())
            Synchronize(FBackupRoot, target, Prompt);

        result = Summary(delay);
    } catch (const std::exception& e) {
        S.Progress.Close();
        S.Log.WriteToLog(lmShort, "  *** " + _("Unexpected error") + " (" + e.what() + ")");
        S.Host.SetExitCode(4, 0);
        return brError;
    }
    FZip.reset();
    return ModalResultToBuResult(result);
}

int TRestoreRun::Summary(int delay)
{
    std::string status = "OK";
    std::string status2;
    TResultStatus mode = psOK;
    if (FFatal) {
        mode = psError;
        status = _(" - Error on restore!");
        S.Host.SetExitCode(4, 0);
    } else if (Errors > 0) {
        mode = psError;
        status =
            RestoredText(Restored - Errors) + " - " + FormatCount("", _("1 error"), _("%u errors"), Errors);
        S.Host.SetExitCode(4, 0);
    } else if (Warnings > 0) {
        mode = psWarning;
        status = SafeFormat(_("%u warning(s) during restore"), {Warnings}) + " - " + RestoredText(Restored);
        S.Host.SetExitCode(4, 0);
    } else if (S.Control.Stopped()) {
        mode = psCancel;
        status = _("Canceled by user") + " - " + RestoredText(Restored);
        S.Host.SetExitCode(5, 0);
    } else {
        S.Progress.SetTotalProgress(100);
        status = "OK";
    }
    if ((mode == psOK || mode == psCancel) && Deleted > 0)
        status2 = DeletedText(Deleted);
    const int result = S.Progress.ShowStatus(mode, _("Restore finished"), status, status2, 0, delay);
    S.Log.WriteErrorSummary();
    S.Log.WriteToLog(lmShort, "  ==> " + _("End") + ": " + DateTimeToStr(Now()));
    std::string counts = RestoredText(Restored - Errors);
    if (Deleted > 0)
        counts += " - " + DeletedText(Deleted);
    S.Log.WriteToLog(lmShort, "  " + _("Status: ") + status + " (" + counts + ")");
    return result;
}

void TRestoreRun::ShowCount()
{
    std::string text = RestoredText(Restored - Errors);
    if (Errors > 0)
        text += " - " + FormatCount("", _("1 error"), _("%u errors"), Errors);
    else if (Warnings > 0)
        text += " - " + FormatCount("", _("1 warning"), _("%u warnings"), Warnings);
    S.Progress.WriteStatus(0, text);
    S.Progress.SetStepProgress(0);
    if (FSelectedFiles > 0)
        S.Progress.SetTotalProgress(static_cast<int>(std::lround(100.0 * Restored / FSelectedFiles)));
}

void TRestoreRun::RestoreFiles(TFileTransferList& list)
{
    FDecryption.reset();
    FSelectedFiles = 0;
    for (int i = 0; i < list.Count(); ++i)
        if (list.FileType(i) == ftFile && list.Selected(i))
            ++FSelectedFiles;
    FRunner->Reset();
    FRunner->StartTime = Now();
    for (int i = 0; i < list.Count() && !S.Control.Stopped(); ++i) {
        S.Control.Checkpoint();
        TFileTransferInfo& e = list.Items(i);
        switch (e.FType) {
        case ftRoot:
        case ftTarget:
            if (!e.FDest.empty())
                FRoot = e.FDest;
            break;
        case ftZipName:
            FZip.reset();
            try {
                FZip = std::make_unique<TZipRead>(e.FSource, CryptPwd, KeyMode, BufferSize());
                FZip->SetOnProgress(FRunner->ProgressHandler());
                FZip->ReadDirectory();
            } catch (const std::exception& ex) {
                FZip.reset();
                S.Log.WriteErrorToLog(ex.what(), e.FSource);
                ++Errors;
            }
            break;
        case ftDir:
        case ftEmpty:
            if (e.IsSelected && (e.FType == ftDir || FTask.EmptyDirs) && !XlDirectoryExists(e.FDest)) {
                if (!InsideTarget(e.FDest) || !XlForceDirectories(e.FDest)) {
                    S.Log.WriteErrorToLog(SafeFormat(_("Could not create directory: \"%s\""), {e.FDest}), "");
                    ++Errors;
                }
            }
            break;
        case ftLink:
            if (e.IsSelected) {
                ++Restored;
                if (!CreateLinkFromInfo(e.FSource, DeleteExtension(e.FDest)))
                    ++Errors;
            }
            break;
        case ftFile:
            if (e.IsSelected)
                RestoreOne(e, e.FromZip);
            break;
        default:
            break;
        }
    }
    if (!S.Control.Stopped())
        FinishDirectories(list);
    FZip.reset();
}

void TRestoreRun::RestoreOne(TFileTransferInfo& e, bool fromZip)
{
    std::string dest = e.FDest;
    bool encrypted = e.Encrypted;
    if (FTask.NoDecrypt && utf8::Lower(EngineFs::ExtractFileExt(e.FSource)) == ".enc") {
        encrypted = false;
        dest += ".enc";
    }
    bool asStored = false;
    std::string prompt = _("To restore encrypted file:\r\n%s\r\nrequires a password!");
    for (;;) {
        if (encrypted && CryptPwd.empty()) {
            if (!FTask.DefPwd.empty())
                CryptPwd = FTask.DefPwd;
            else if (FPrompt) {
                std::string pwd;
                if (!S.Interaction.AskPassword(_("Restore files from backup"),
                                               SafeFormat(prompt, {ShortenPath(e.FSource, 50)}), pwd)) {
                    S.Log.WriteToLog(lmLong, "      " + _("Skipped: ") + dest);
                    return;
                }
                CryptPwd = pwd;
            }
            if (CryptPwd.empty() && !fromZip) {
                // no password: the file is restored as it is stored
                asStored = true;
                dest += e.Compressed ? (e.Encrypted ? ".gze" : ".gz") : ".enc";
            }
            FDecryption.reset();
        }
        if (encrypted && fromZip && FZip)
            FZip->InitEncryption(CryptPwd, KeyMode);
        else if (encrypted && !asStored && !FDecryption)
            FDecryption = std::make_unique<TEncryption>(CryptPwd, GetAutoAesStrength(CryptPwd), BufferSize());

        S.Progress.UpdatePrompt(ssFile, GetCopyActionText(true, e.Compressed, encrypted), e.FSource, e.USize);
        if (!InsideTarget(dest)) {
            S.Log.WriteErrorToLog(_("Restoring") + " " + e.FSource + " to " + dest,
                                  _("The destination lies outside the restore folder"));
            ++Restored;
            ++Errors;
            ShowCount();
            return;
        }
        int err = 0;
        std::string msg;
        if (fromZip) {
            if (!FZip) {
                err = 0x104;
            } else {
                // Extract beside the destination, then put the file in place in one step.
                uint32_t code = 0;
                std::string temp;
                const int fd = EngineFs::CreateTempBeside(dest, temp, code);
                if (fd < 0) {
                    err = 0x101;
                    msg = SystemErrorText(code);
                } else {
                    ::close(fd);
                    try {
                        FZip->ExtractToFile(e.DirIndex, temp, FTask.ResArchive);
                    } catch (const EZipError& ex) {
                        err = ex.ZipError;
                        msg = ex.SysErrorMsg.empty() ? ex.Message() : ex.SysErrorMsg;
                    }
                    if (err == 0) {
                        if (uint32_t rc = EngineFs::RenameFile(temp, dest, false)) {
                            err = 0x123;
                            msg = SystemErrorText(rc);
                        }
                    }
                    if (err != 0)
                        EngineFs::DeleteFile(temp);
                    else
                        EngineFs::SetPartMark(dest, false);
                }
            }
        } else {
            std::unique_ptr<TCopyThread> thread;
            TEncryption* enc = encrypted && !asStored ? FDecryption.get() : nullptr;
            if (asStored || (!e.Compressed && !encrypted))
                thread = std::make_unique<TDecryptThread>(e.FSource, dest, nullptr, true, BufferSize());
            else if (e.ZipCompressed)
                thread = std::make_unique<TUnZipThread>(e.FSource, dest, enc, true, BufferSize());
            else if (e.Compressed)
                thread = std::make_unique<TGUnZipThread>(e.FSource, dest, enc, true, BufferSize());
            else
                thread = std::make_unique<TDecryptThread>(e.FSource, dest, enc, true, BufferSize());
            thread->SetCopyCreationTime(FTask.CreationTime);
            thread->SetCopyPermissions(FTask.Perms);
            thread->SetCopyAltStreams(FTask.AltStreams && !e.Compressed);
            thread->SetResetArchiveBit(FTask.ResArchive);
            thread->SetOverwrite(true);
            thread->SetOnProgress(FRunner->ProgressHandler());
            thread->Start();
            int ratio = 0;
            err = FRunner->WaitForCopyThread(thread, msg, ratio, enc);
            if (FRunner->LastAbandoned())
                FDecryption.release(); // the abandoned worker owns it now
        }
        if (ErrorWordNumber(static_cast<unsigned>(err)) == 11) {
            CryptPwd.clear();
            FDecryption.reset();
            prompt = _("The password entered for\r\n%s\r\nis invalid! Please try again!");
            if (FTask.DefPwd.empty() && FPrompt)
                continue;
        }
        const unsigned number = ErrorWordNumber(static_cast<unsigned>(err));
        if (err == 0) {
            ++Restored;
            S.Log.WriteToLog(lmLong, "      " + _("Restored: ") + dest);
        } else if (number == 128) {
            // stopped: the worker removed its partial file
        } else {
            ++Restored;
            const unsigned severity = ErrorWordSeverity(static_cast<unsigned>(err));
            if (severity == 2)
                ++Warnings;
            else
                ++Errors;
            S.Log.WriteErrorToLog(FormatFileError(static_cast<unsigned>(err), e.FSource, msg),
                                  _("Restoring") + " " + e.FSource + " to " + dest);
        }
        if (!S.Control.Stopped())
            ShowCount();
        return;
    }
}

bool TRestoreRun::CreateLinkFromInfo(const std::string& infoFile, const std::string& linkPath)
{
    std::string content;
    if (std::FILE* f = std::fopen(infoFile.c_str(), "rb")) {
        char buf[4096];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0 && content.size() < 65536)
            content.append(buf, n);
        std::fclose(f);
    } else {
        S.Log.WriteErrorToLog(SafeFormat(_("File not found: \"%s\""), {linkPath}), "");
        return false;
    }
    std::string target;
    int kind = 2;
    if (!ParseLinkInfo(content, target, kind) || target.empty()) {
        S.Log.WriteErrorToLog(
            SafeFormat(_("Error creating symbolic link: \"%s\" (%s)"), {linkPath, infoFile}), "");
        return false;
    }
    if (!InsideTarget(linkPath) || Exists(linkPath)) {
        S.Log.WriteErrorToLog(
            SafeFormat(_("Error creating symbolic link: \"%s\" (%s)"), {linkPath, SystemErrorText(183)}), "");
        return false;
    }
    if (::symlink(target.c_str(), linkPath.c_str()) != 0) {
        S.Log.WriteErrorToLog(SafeFormat(kind == 1 ? _("Error creating junction: \"%s\" (%s)")
                                                   : _("Error creating symbolic link: \"%s\" (%s)"),
                                         {linkPath, SystemErrorText(ErrnoToWinError(errno))}),
                              "");
        return false;
    }
    return true;
}

void TRestoreRun::FinishDirectories(TFileTransferList& list)
{
    if (FTask.RestMode != rmSeparated)
        return;
    // Deepest folders first, so that setting a folder's time is not undone by work below it.
    for (int i = list.Count() - 1; i >= 0; --i) {
        const TFileTransferInfo& e = list.Items(i);
        if (!e.IsSelected || !(e.FType == ftDir || (e.FType == ftEmpty && FTask.EmptyDirs)))
            continue;
        if (!XlDirectoryExists(e.FDest) || e.FSource.empty())
            continue;
        TFileTimestamps ts;
        try {
            GetDirTimestamps(e.FSource, false, ts);
        } catch (const std::exception&) {
            continue;
        }
        if (uint32_t code = SetFileTimestamps(e.FDest, ts, false, FTask.CreationTime, false))
            S.Log.WriteErrorToLog(6, SafeFormat(_("Error setting timestamps of \"%s\""), {e.FDest}), "",
                                  code);
    }
}

void TRestoreRun::ScanExtraFiles(const std::string& backupRoot, const std::string& destRoot, int& count,
                                 TFileTransferList& list, const std::string& relDir)
{
    if (S.Control.Stopped())
        return;
    const std::string dir = relDir.empty() ? NoSlash(destRoot) : Join(NoSlash(destRoot), relDir);
    if (relDir.empty()) {
        list.AddItem(ShortenPath(destRoot, 50), ftRoot, NoSlash(destRoot), NoSlash(destRoot), Now(), 0);
        list.AddAndSelectItem("./", ftDir, NoSlash(destRoot), NoSlash(destRoot), Now(), 0);
    } else {
        list.AddAndSelectItem("./" + relDir, ftDir, dir, dir, Now(), 0);
    }
    TTextFilter filter(true, true);
    ApplyTaskFilter(FTask, filter);
    const std::string backupDir = relDir.empty() ? NoSlash(backupRoot) : Join(NoSlash(backupRoot), relDir);
    std::vector<std::string> subDirs;
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().native();
        if (it->is_directory(ec) && !it->is_symlink(ec)) {
            subDirs.push_back(name);
            continue;
        }
        if (utf8::Lower(EngineFs::ExtractFileExt(name)) == ".qvlink")
            continue;
        if (filter.Mode() != fmOff && !filter.MatchesFilter(name))
            continue;
        const std::string b = Join(backupDir, name);
        if (Exists(b) || Exists(b + ".enc") || Exists(b + ".gz") || Exists(b + ".gze") ||
            (Exists(b + ".zip") && IsSingleFileZip(b + ".zip")))
            continue;
        const std::string path = Join(dir, name);
        struct stat st;
        const int64_t size = ::lstat(path.c_str(), &st) == 0 ? st.st_size : 0;
        list.AddItem(name, ftFile, b, path, Now(), 0, 0, size, size, false, false, false, true);
        ++count;
        S.Progress.SetPrompt(Join(relDir, name));
    }
    for (const std::string& sub : subDirs)
        ScanExtraFiles(backupRoot, destRoot, count, list, Join(relDir, sub));
}

bool TRestoreRun::DeleteEmptyDirs(const std::string& root, const std::string& relDir)
{
    const std::string f = relDir.empty() ? NoSlash(root) : Join(NoSlash(root), relDir);
    struct stat st;
    if (::lstat(f.c_str(), &st) != 0 || S_ISLNK(st.st_mode))
        return true;
    int count = 0;
    std::error_code ec;
    std::vector<std::string> subs;
    for (fs::directory_iterator it(f, ec), end; !ec && it != end; it.increment(ec)) {
        if (it->is_directory(ec) && !it->is_symlink(ec))
            subs.push_back(it->path().filename().native());
        else
            ++count;
    }
    for (const std::string& sub : subs) {
        if (S.Control.Stopped())
            return false;
        if (!DeleteEmptyDirs(root, Join(relDir, sub)))
            ++count;
    }
    if (count == 0)
        return XlRemoveDir(f) == 0;
    return false;
}

void TRestoreRun::Synchronize(const std::string& backupRoot, const std::string& destRoot, bool prompt)
{
    if (Restored == 0)
        S.Log.WriteToLog(lmShort, "  ->  " + _("No matching files for Restore found!"));
    S.Log.WriteToLog(lmShort, "  ->  " + _("Synchronize") + ": " + destRoot);
    // Comparing a whole drive with its backup would select every file that was never backed up; and
    // a destination that holds the backup (or lies in it) would lose the backup itself.
    if (NoSlash(destRoot) == "/" || IsSubPath(NoSlash(destRoot), backupRoot) ||
        IsSubPath(NoSlash(backupRoot), destRoot) || IsSamePath(backupRoot, destRoot)) {
        S.Log.WriteErrorToLog(_("Synchronize"), destRoot);
        return;
    }
    TFileTransferList list;
    S.Progress.SetPrompt(_("Scanning directories for synchronizing"));
    int count = 0;
    ScanExtraFiles(backupRoot, destRoot, count, list, "");
    if (count == 0 || S.Control.Stopped())
        return;
    bool confirmed = true;
    if (prompt) {
        TConfirmRequest req;
        req.CMode = cmCleanupFiles;
        req.ContextMode = cmView;
        req.Taskname = FTaskName;
        req.Source = destRoot;
        req.sDest = SafeFormat(_("will be synchronized with \"%s\""), {ShortenPath(backupRoot, 40)});
        TTextFilter filter(true, true);
        ApplyTaskFilter(FTask, filter);
        req.sFilter = SafeFormat(_("Filter: %s"), {FilterDescription(filter)});
        req.Anzahl = count;
        confirmed = S.Confirm.ConfirmFileList(req, list);
    }
    if (!confirmed)
        return;
    S.Progress.SetPrompt(_("Deleting files"));
    for (int i = 0; i < list.Count() && !S.Control.Stopped(); ++i) {
        const TFileTransferInfo& e = list.Items(i);
        if (e.FType != ftFile || !e.IsSelected)
            continue;
        S.Progress.UpdatePrompt(ssFile, _("is being deleted"), MakeRelativePath(destRoot, e.FDest), 0);
        if (uint32_t code = XlDeleteFile(e.FDest, true)) {
            ++Errors;
            S.Log.WriteErrorToLog(SafeFormat(_("Error deleting file: \"%s\""), {e.FDest}), "", code);
        } else {
            ++Deleted;
            S.Log.WriteToLog(lmLong, "      " + SafeFormat(_("File was deleted: \"%s\""), {e.FDest}));
        }
    }
    if (!FTask.EmptyDirs) {
        std::error_code ec;
        for (fs::directory_iterator it(NoSlash(destRoot), ec), end; !ec && it != end; it.increment(ec))
            if (it->is_directory(ec) && !it->is_symlink(ec))
                DeleteEmptyDirs(destRoot, it->path().filename().native());
    }
}

// --- the unattended start

TBuResult StartRestore(const std::string& taskFile, int WtDel, int SelAction, TInteraction IaMode,
                       TRestoreServices services)
{
    TRestoreTask task;
    InitRestoreTask(task);
    task.ProtMode = GetLogModeFor(2);
    services.Host.SetExitCode(0, 0);
    services.Control.Reset();
    const bool quiet = IsQuietMode(IaMode);
    const bool prompt = IaMode == iaPrompt;
    std::string text;
    TBuResult result = brError;
    bool loaded = XlFileExists(taskFile);
    if (loaded) {
        try {
            LoadRestoreTask(taskFile, task, task.ProtMode);
        } catch (const std::exception&) {
            loaded = false;
        }
    }
    const std::string taskName = DeleteExtension(EngineFs::ExtractFileName(taskFile));
    const uint32_t code = services.Log.OpenLogFile(
        loaded ? task.ProtMode : 1, loaded ? ExpandLogNameNoDest(task.TaskLogName, taskFile) : std::string(),
        false);
    services.Log.CheckLogError(code, !quiet);
    services.Log.InitLog(_("Restore files from backup"));
    if (!loaded) {
        text = _("Invalid task configuration") + ": " + taskFile;
        services.Host.SetExitCode(6, 0);
    } else if (task.RsFtp) {
        std::unique_ptr<TExtFtp> ftp;
        if (CreateFtpConnection(task.FtpPar, ftp, nullptr)) {
            ftp->OnCheckCancel = [&services] { return services.Control.Stopped(); };
            TRestoreRun run(task, taskName, services);
            run.RsAction = SelAction;
            result = run.RestoreFromFtp(prompt, quiet, WtDel, *ftp);
            ftp->Disconnect();
        }
        if (result == brError && services.Host.ExitState() == 5) {
            text = _("Canceled by user");
        } else if (result == brError) {
            text = _("Connection to FTP server failed") + ": " + GetFtpUrl(task.FtpPar);
            services.Host.SetExitCode(3, 0);
        }
    } else {
        TRestoreRun run(task, taskName, services);
        run.RsAction = SelAction;
        int err = 0;
        result = run.RestoreLocal(prompt, quiet, err, WtDel);
        if (result == brError && services.Host.ExitState() == 0) {
            text = err == 2 ? SafeFormat(_("Could not find directory: \"%s\""), {task.DestDir}) + " (D)"
                            : SafeFormat(_("Could not find directory: \"%s\""), {task.Source}) + " (S)";
            services.Host.SetExitCode(3, 0);
        } else if (result == brError && services.Host.ExitState() == 5) {
            text = _("Canceled by user");
        }
    }
    if (result == brError && !text.empty()) {
        if (prompt)
            services.Interaction.ErrorBox(text, 0);
        services.Log.BeginLog(Now(), _("Restore task") + ": " + taskFile);
        services.Log.WriteToLog(lmShort, "  *** " + text);
    }
    services.Log.CloseLogFile(result == brError);
    return result;
}
