// The restore of a backup that lies on an FTP server (separated files only).

#include <algorithm>
#include <chrono>
#include <cmath>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>

#include "archive/AesLib.h"
#include "archive/ExtFtpCopyUtils.h"
#include "archive/FileErrors.h"
#include "archive/FtpUtils.h"
#include "backup/BuFtpDlg.h"
#include "backup/CopyThreadRunner.h"
#include "backup/LogSettings.h"
#include "backup/TaskLog.h"
#include "foundation/FileUtilsTimes.h"
#include "foundation/PathUtils.h"
#include "foundation/QvUtilsTexts.h"
#include "foundation/StringUtils.h"
#include "foundation/XlFileUtils.h"
#include "rtl/Gettext.h"
#include "tools/RestoreRun.h"
#include "tools/RestoreScan.h"

namespace {

std::string Join(const std::string& dir, const std::string& name)
{
    if (dir.empty())
        return name;
    return dir.back() == '/' ? dir + name : dir + "/" + name;
}

bool EndsWith(const std::string& name, const char* ext)
{
    return utf8::Lower(name).ends_with(ext);
}

int FtpBufferSize()
{
    const int size = ProgSettings.CopySettings.FTPBufferSize;
    return size > 0 ? size : 65536;
}

void SetMTime(const std::string& path, int64_t t)
{
    struct timespec times[2];
    times[0].tv_sec = t;
    times[0].tv_nsec = 0;
    times[1] = times[0];
    ::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW);
}

} // namespace

void TRestoreRun::ScanFtpTree(TExtFtp& ftp, const std::string& DestRoot, const std::string& RelDir,
                              TFileTransferList& List, const std::string& FtpRel)
{
    S.Control.Checkpoint();
    if (S.Control.Stopped())
        return;
    const std::string destDir = RelDir.empty() ? DestRoot : Join(DestRoot, RelDir);
    int dirIndex;
    if (FtpRel.empty()) {
        List.AddItem(FTask.FtpPar.Directory, ftRoot, "", DestRoot, Now(), 0);
        dirIndex = List.AddAndSelectItem("./", ftDir, "", destDir, Now(), 0);
    } else {
        if (!ftp.ChangeToDir(ExtractAfterLastDelimiter("/", FtpRel)))
            return;
        if (Selected == 0)
            List.AddItem(ShortenPath(FtpRel, 50), ftSubRoot, FtpRel, destDir, Now(), 0);
        dirIndex = List.AddAndSelectItem("./" + RelDir, ftDir, FtpRel, destDir, Now(), 0);
    }
    S.Progress.SetPrompt(RelDir);
    TTextFilter filter(true, true);
    ApplyTaskFilter(FTask, filter);
    std::string ageText;
    int testMode = 0;
    int64_t reference = 0;
    GetAgeSelection(FTask, ageText, testMode, reference);
    TFileList files;
    if (ftp.GetFileList(&files)) {
        for (int i = 0; i < files.Count(); ++i) {
            const TFtpFileInfo& f = *files.Objects(i);
            std::string name = files.Strings(i);
            const bool isLink = EndsWith(name, ".qvlink");
            if (isLink && !FTask.Junctions)
                continue;
            const TDateTime when = f.FModifiedDateGMT >= 0.1 ? f.FModifiedDateGMT : f.FModifiedDate;
            const int64_t T = DateTimeToUnixTime(when);
            bool comp = false, zip = false, enc = false;
            if (!isLink && FTask.GzUnpack && (EndsWith(name, ".gz") || EndsWith(name, ".gze"))) {
                comp = true;
                enc = EndsWith(name, ".gze");
                name = DeleteExtension(name);
            } else if (!isLink && FTask.ZipUnpack && EndsWith(name, ".zip")) {
                comp = zip = true;
                name = DeleteExtension(name);
            } else if (!isLink && EndsWith(name, ".enc")) {
                enc = true;
                name = DeleteExtension(name);
            }
            if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos)
                continue;
            if (filter.Mode() != fmOff && !filter.MatchesFilter(name))
                continue;
            if (!MatchesAge(testMode, T, reference))
                continue;
            const std::string D = Join(destDir, name);
            if (!OverwriteAllows(FTask, D, T)) {
                ++Skipped;
                continue;
            }
            ++Selected;
            List.AddItem(name, isLink ? ftLink : ftFile, files.Strings(i), D, when, 0, 0, f.FSize, f.FSize,
                         comp, zip, enc, true);
        }
    }
    S.Progress.SetActionHint(_("Found: ") + FileCountText(Selected, false));
    if (dirIndex == List.Count() - 1)
        List.SetFileType(dirIndex, ftEmpty);
    TDirectoryList dirs;
    if (ftp.GetDirList(&dirs)) {
        for (int i = 0; i < dirs.Count(); ++i) {
            const std::string& name = dirs.Strings(i);
            if (name == "." || name == ".." || name.find('/') != std::string::npos)
                continue;
            ScanFtpTree(ftp, DestRoot, Join(RelDir, name), List, Join(FtpRel, name));
            if (S.Control.Stopped())
                return;
        }
    }
    if (!FtpRel.empty()) {
        ftp.ChangeOneDirUp();
        List.AddItem("..", ftDirUp, ExtractAfterLastDelimiter("/", FtpRel), destDir, Now(), 0);
    }
}

void TRestoreRun::RestoreFilesFromFtp(TExtFtp& ftp, TFileTransferList& list)
{
    FDecryption.reset();
    FSelectedFiles = 0;
    for (int i = 0; i < list.Count(); ++i)
        if (list.FileType(i) == ftFile && list.Selected(i))
            ++FSelectedFiles;
    const std::string R = IncludeTrailingSlash(ftp.GetCurrentDir());
    S.Log.WriteToLog(lmVerbose, "   => " + SafeFormat(_("FTP root directory: \"%s\""), {R}));
    FRunner->Reset();
    FRunner->StartTime = Now();
    for (int i = 0; i < list.Count() && !S.Control.Stopped(); ++i) {
        S.Control.Checkpoint();
        TFileTransferInfo& e = list.Items(i);
        switch (e.FType) {
        case ftRoot:
            FRoot = e.FDest;
            break;
        case ftDirUp:
            ftp.ChangeOneDirUp();
            break;
        case ftTarget:
            FRoot = e.FDest;
            ftp.ChangeToDir(R + e.FSource);
            break;
        case ftDir:
        case ftEmpty:
            if (e.IsSelected && (e.FType == ftDir || FTask.EmptyDirs)) {
                if (!XlDirectoryExists(e.FDest) && (!InsideTarget(e.FDest) || !XlForceDirectories(e.FDest))) {
                    S.Log.WriteErrorToLog(SafeFormat(_("Could not create directory: \"%s\""), {e.FDest}), "");
                    ++Errors;
                }
                ftp.ChangeToDir(R + e.FSource);
            }
            break;
        case ftFile: {
            if (!e.IsSelected)
                break;
            const std::string current = ftp.GetCurrentDir();
            if (e.Encrypted && CryptPwd.empty()) {
                CryptPwd = FTask.DefPwd;
                if (CryptPwd.empty() && FPrompt) {
                    std::string pwd;
                    if (S.Interaction.AskPassword(
                            _("Restore files from backup"),
                            SafeFormat(_("To restore encrypted file:\r\n%s\r\nrequires a password!"),
                                       {ShortenPath(e.FDest, 50)}),
                            pwd))
                        CryptPwd = pwd;
                }
                if (CryptPwd.empty()) {
                    S.Log.WriteToLog(lmLong, "      " + _("Skipped: ") + e.FDest);
                    break;
                }
            }
            if (e.Encrypted && !FDecryption)
                FDecryption = std::make_unique<TEncryption>(
                    CryptPwd, GetAutoAesStrength(CryptPwd),
                    ProgSettings.CopySettings.BufferSize > 0 ? ProgSettings.CopySettings.BufferSize : 262144);
            if (!InsideTarget(e.FDest)) {
                ++Restored;
                ++Errors;
                S.Log.WriteErrorToLog(_("Restoring") + " " + e.FSource + " to " + e.FDest,
                                      _("The destination lies outside the restore folder"));
                break;
            }
            S.Progress.UpdatePrompt(ssFile, GetCopyActionText(true, e.Compressed, e.Encrypted), e.FDest,
                                    e.USize);
            TEncryption* enc = e.Encrypted ? FDecryption.get() : nullptr;
            std::unique_ptr<TCopyThread> thread = std::make_unique<TReadFtpThread>(
                &ftp, e.FSource, e.FDest, e.FSize, enc, e.Compressed, e.ZipCompressed, true, FtpBufferSize());
            int err = 0;
            std::string msg;
            uint32_t modTime = 0;
            thread->SetOnProgress(FRunner->ProgressHandler());
            {
                TReadFtpThread* t = static_cast<TReadFtpThread*>(thread.get());
                thread->Start();
                int ratio = 0;
                // the worker's time is read before it is freed
                while (!t->Done()) {
                    S.Control.Checkpoint();
                    std::this_thread::sleep_for(std::chrono::milliseconds(5));
                    if (S.Control.Stopped())
                        t->CancelThread();
                }
                modTime = t->ModTime();
                err = FRunner->WaitForCopyThread(thread, msg, ratio, enc);
            }
            if (ErrorWordNumber(static_cast<unsigned>(err)) == 11) {
                CryptPwd.clear();
                FDecryption.reset();
            }
            if (err == 0) {
                SetMTime(e.FDest,
                         modTime != 0 ? static_cast<int64_t>(modTime) : DateTimeToUnixTime(e.FTimeStamp));
                ++Restored;
                S.Log.WriteToLog(lmLong, "      " + _("Restored: ") + e.FDest);
            } else if (ErrorWordNumber(static_cast<unsigned>(err)) != 128) {
                ++Restored;
                ++Errors;
                S.Log.WriteErrorToLog(FormatFileError(static_cast<unsigned>(err), e.FSource, msg),
                                      _("Restoring") + " " + e.FSource + " to " + e.FDest);
            }
            if (S.Control.Stopped())
                break;
            ShowCount();
            if (!ftp.ReConnect(current, true, false)) {
                S.Progress.WriteStatus(0, _("FTP connection lost!"));
                S.Log.WriteToLog(lmShort, "  *** " + _("FTP connection lost!"));
                ++Errors;
                return;
            }
            break;
        }
        default:
            break;
        }
    }
}

TBuResult TRestoreRun::RestoreFromFtp(bool Prompt, bool Quiet, int Wait, TExtFtp& ftp)
{
    FPrompt = Prompt;
    CryptPwd.clear();
    std::string ageText;
    int testMode = 0;
    int64_t reference = 0;
    GetAgeSelection(FTask, ageText, testMode, reference);
    const int delay = Quiet ? -Wait : (Prompt ? 0 : Wait);
    TFileTransferList list;
    std::string target = FTask.DestDir;
    if (FTask.Origin) {
        // Back to the origin: the task's server folder lies inside a per-drive folder.
        const std::string dir = IncludeLeadingSlash(FTask.FtpPar.Directory);
        size_t pos = 0;
        std::vector<std::string> parts;
        while (pos < dir.size()) {
            size_t slash = dir.find('/', pos);
            if (slash == std::string::npos)
                slash = dir.size();
            if (slash > pos)
                parts.push_back(dir.substr(pos, slash - pos));
            pos = slash + 1;
        }
        target.clear();
        for (size_t i = 0; i < parts.size() && target.empty(); ++i) {
            if (!IsDriveFolder(parts[i], FTask.DriveIdent))
                continue;
            target = "/";
            for (size_t k = i + 1; k < parts.size(); ++k)
                target += (target.size() > 1 ? "/" : "") + parts[k];
        }
        if (!target.empty())
            list.AddItem("=> " + target, ftTarget, "", target, Now(), 0);
    }
    const std::string root = ftp.GetCurrentDir();
    if (!target.empty())
        ScanFtpTree(ftp, target, "", list, "");
    if (S.Control.Stopped()) {
        S.Host.SetExitCode(5, 0);
        return brError;
    }
    const std::string url = MakeFtpUrl(FTask.FtpPar, FTask.FtpPar.Directory);
    const std::string destText = FTask.Origin
                                     ? _("to source directory") + " (" + ShortenPath(target, 80) + ")"
                                     : _("to: ") + ShortenPath(target, 80);
    bool goOn = false;
    std::string finalText;
    if (target.empty()) {
        finalText = _("No information found to which source the files are to be restored!");
        if (Prompt)
            S.Interaction.InfoBox(finalText);
    } else if (Selected > 0) {
        goOn = true;
        if (Prompt) {
            TConfirmRequest req;
            req.CMode = cmRestore;
            req.ContextMode = cmNone;
            req.Taskname = FTaskName;
            req.Source = url;
            req.sDest = destText;
            req.sTypen = SafeFormat(_("Age: %s"), {ageText});
            req.Anzahl = Selected;
            goOn = S.Confirm.ConfirmFileList(req, list);
            if (!goOn)
                finalText = _("Canceled by user");
        }
    } else {
        finalText = _("No matching files for Restore found!");
        if (Prompt)
            S.Interaction.InfoBox(finalText);
    }
    FTitle = FTaskName.empty() ? _("Restoring") : _("Restore task") + ": " + FTaskName;
    S.Log.BeginLog(Now(), FTitle);
    S.Log.WriteToLog(lmShort, "  " + _("From: ") + url + " " + destText);
    S.Log.WriteToLog(lmShort, "  " + _("Selection: ") + ageText);
    if (!goOn) {
        S.Log.WriteToLog(
            lmShort, "  ==> " + (finalText.empty() ? _("No matching files for Restore found!") : finalText));
        return brOK;
    }
    if (!FTask.Origin && !XlDirectoryExists(target) && !XlForceDirectories(target)) {
        S.Log.WriteToLog(lmShort, "  *** " + SafeFormat(_("Could not create directory: \"%s\""), {target}));
        S.Host.SetExitCode(2, 0);
        return brError;
    }
    S.Progress.ShowProgress(FTitle, _("Destination"), destText, ProgressOption(poPause), RsAction, delay,
                            false);
    FRoot = target;
    ftp.ChangeToDir(root);
    RestoreFilesFromFtp(ftp, list);
    return ModalResultToBuResult(Summary(delay));
}
