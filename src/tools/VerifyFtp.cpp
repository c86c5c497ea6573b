// The verification of a backup that lies on an FTP server (separated files only): every selected
// server file is streamed into a compare worker that checks it against the local reference file.

#include <cmath>

#include "archive/AesLib.h"
#include "archive/ExtFtpCopyUtils.h"
#include "archive/FileErrors.h"
#include "archive/FtpUtils.h"
#include "backup/BuFtpDlg.h"
#include "backup/LogSettings.h"
#include "foundation/FileUtilsTimes.h"
#include "foundation/PathUtils.h"
#include "foundation/QvUtilsFolders.h"
#include "foundation/QvUtilsTexts.h"
#include "foundation/StringUtils.h"
#include "foundation/XlFileUtils.h"
#include "rtl/Gettext.h"
#include "tools/CleanupRules.h"
#include "tools/ToolFiles.h"
#include "tools/VerifyRun.h"

namespace {

bool EndsWithExt(const std::string& name, const char* ext)
{
    return utf8::Lower(name).ends_with(ext);
}

bool IsTimeStamp(const std::string& name)
{
    return utf8::SameText(name, "$TimeStamp.qvu");
}

std::string WithDelimiter(const std::string& dir)
{
    return dir.empty() || dir.back() == '/' ? dir : dir + "/";
}

std::string LastPart(const std::string& path)
{
    const size_t p = path.rfind('/');
    return p == std::string::npos ? path : path.substr(p + 1);
}

int FtpBufferSize()
{
    const int size = ProgSettings.CopySettings.FTPBufferSize;
    return size > 0 ? size : 65536;
}

// A name a server may list that must never be walked into or compared.
bool UnsafeName(const std::string& name)
{
    return name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos;
}

} // namespace

bool TVerifyRun::FtpFileSelected(const std::string& name, int64_t time, std::string& refName, bool& encrypted,
                                 bool& compressed, bool& zip) const
{
    encrypted = EndsWithExt(name, ".gze");
    zip = EndsWithExt(name, ".zip");
    compressed = false;
    if (Settings.UnCompress && (EndsWithExt(name, ".gz") || encrypted || zip)) {
        compressed = true;
        refName = DeleteExtension(name);
    } else {
        encrypted = EndsWithExt(name, ".enc");
        refName = encrypted ? DeleteExtension(name) : name;
    }
    return !UnsafeName(name) && !refName.empty() && AgeMatches(FAge.DateMode, time, FAge.RefTime) &&
           RFilter.MatchesFilter(refName) && !IsLinkInfoFile(refName) && !IsTimeStamp(name);
}

int64_t TVerifyRun::CountFtpFiles(TExtFtp& ftp)
{
    int64_t count = 0;
    TFileList files;
    if (ftp.GetFileList(&files)) {
        for (int i = 0; i < files.Count(); ++i) {
            const TFtpFileInfo& f = *files.Objects(i);
            const std::string& name = files.Strings(i);
            if (IsTimeStamp(name) || UnsafeName(name))
                continue;
            const TDateTime when = f.FModifiedDateGMT >= 0.1 ? f.FModifiedDateGMT : f.FModifiedDate;
            std::string refName = name;
            const bool examined =
                Settings.UnCompress &&
                (EndsWithExt(name, ".gz") || EndsWithExt(name, ".gze") || EndsWithExt(name, ".zip"));
            if (examined || EndsWithExt(name, ".enc"))
                refName = DeleteExtension(name);
            if (AgeMatches(FAge.DateMode, DateTimeToUnixTime(when), FAge.RefTime) &&
                RFilter.MatchesFilter(refName))
                ++count;
        }
    }
    TDirectoryList dirs;
    if (ftp.GetDirList(&dirs)) {
        for (int i = 0; i < dirs.Count() && !FControl.Stopped(); ++i) {
            const std::string& name = dirs.Strings(i);
            if (UnsafeName(name) || !ftp.ChangeToDir(name))
                continue;
            count += CountFtpFiles(ftp);
            ftp.ChangeOneDirUp();
        }
    }
    return count;
}

int TVerifyRun::CompareFtpFile(TExtFtp& ftp, const std::string& name, const std::string& refPath,
                               const std::string& serverPath, int64_t size, bool encrypted, bool compressed,
                               bool zip, const std::string& folder, std::string& errMsg)
{
    int result = 0;
    FWrongPassword = false;
    for (;;) {
        if (!XlFileExists(refPath, false) || IsToolLink(refPath))
            return -1;
        const bool decrypt = encrypted || ZipEnc;
        if (decrypt && !EnsureDecryption(serverPath, false))
            return FControl.Stopped() ? 128 : -2;
        if (!ftp.ReConnect(folder, true, false)) {
            FProgress.WriteStatus(2, _("FTP connection lost!"));
            FLog.WriteErrorToLog(1, "V", _("FTP connection lost!"));
            FControl.SetStopped(true);
            return 128;
        }
        auto compare = [&](TEncryption* enc) {
            FProgress.UpdatePrompt(ssFile, "", name, size);
            // a .zip that is not examined is compared as it is
            std::unique_ptr<TCopyThread> thread = std::make_unique<TCompareFtpThread>(
                &ftp, name, refPath, size, enc, compressed && !zip, compressed && zip, true, FtpBufferSize());
            int err = 0;
            int64_t moved = 0;
            FRunner.Reset();
            FRunner.StartTime = StartTime;
            FRunner.RunCopyThread(thread, err, errMsg, moved, &ftp);
            return err;
        };
        result = compare(decrypt ? Decryption.get() : nullptr);
        if (ZipEnc && !encrypted && (result & 0xFF) == 11) {
            // read with decryption first since a wrong password; this one may not be encrypted at all
            result = compare(nullptr);
        }
        if ((result & 0xFF) == 11) {
            CryptPwd.clear();
            Decryption.reset();
            ZipEnc = true;
            FWrongPassword = true;
            if (Settings.DefPwd.empty() && !FControl.Stopped())
                continue;
        }
        return result;
    }
}

void TVerifyRun::VerifyFtpTree(TExtFtp& ftp, const std::string& localBase, const std::string& localSub,
                               const std::string& serverSub)
{
    if (FControl.Stopped())
        return;
    FProgress.SetSourceType(ssFile);
    const std::string refDir = WithDelimiter(WithDelimiter(localBase) + localSub);
    if (!serverSub.empty() && !ftp.ChangeToDir(LastPart(serverSub)))
        return; // a folder that cannot be entered is left out
    TFileList files;
    if (ftp.GetFileList(&files)) {
        for (int i = 0; i < files.Count(); ++i) {
            FControl.Checkpoint();
            if (FControl.Stopped())
                break;
            const TFtpFileInfo& f = *files.Objects(i);
            const std::string name = files.Strings(i);
            const TDateTime when = f.FModifiedDateGMT >= 0.1 ? f.FModifiedDateGMT : f.FModifiedDate;
            const int64_t size = f.FSize;
            std::string refName, action;
            bool encrypted = false, compressed = false, zip = false;
            const std::string folder = ftp.GetCurrentDir();
            if (FtpFileSelected(name, DateTimeToUnixTime(when), refName, encrypted, compressed, zip)) {
                ++FileCount;
                const std::string refPath = refDir + refName;
                const std::string serverPath = WithDelimiter(serverSub) + name;
                std::string errMsg;
                const int result = CompareFtpFile(ftp, name, refPath, serverPath, size, encrypted, compressed,
                                                  zip, folder, errMsg);
                if (result == -2) {
                    ++NotFound;
                    FProgress.SetStepProgress(0);
                    action = _("was skipped");
                    FLog.WriteToLog(2, "      " + _("Skipped: ") + serverPath);
                } else if (result == -1) {
                    ++NotFound;
                    FProgress.SetStepProgress(0);
                    action = _("not verified - reference file not found");
                    const unsigned word = compressed ? 0x320C : encrypted ? 0x620C : 0x020C;
                    FLog.WriteErrorToLog(6, "V", FormatFileError(word, serverPath, "N"));
                    FLog.WriteToLog(2, "      => " + _("Reference file not found: ") + refPath);
                } else if (result == 0) {
                    action = _("was verified");
                    FProgress.SetStepProgress(100);
                    FLog.WriteToLog(2, "      " + _("Verified: ") + serverPath + " (" +
                                           FormatSize(true, size) + ")");
                    FLog.WriteToLog(3, "      => " + _("Reference file: ") + refPath);
                } else if ((result & 0xFF) != 128) {
                    ++ErrCount;
                    action = _("verification failed");
                    FLog.WriteErrorToLog(
                        1, "V", FormatFileError(static_cast<unsigned>(result), serverPath, "D"), errMsg, "");
                    FLog.WriteToLog(2, "      => " + _("Verification failed") + ": " + refPath);
                }
                if (FControl.Stopped())
                    break;
            }
            ShowFileProgress(action, size, name);
            if (!ftp.ReConnect(folder, true, false)) {
                FProgress.WriteStatus(2, _("FTP connection lost!"));
                FLog.WriteErrorToLog(1, "V", _("FTP connection lost!"));
                ++ErrCount;
                break; // the rest of this folder's files is left
            }
        }
    }
    if (!FControl.Stopped()) {
        TDirectoryList dirs;
        if (ftp.GetDirList(&dirs)) {
            for (int i = 0; i < dirs.Count() && !FControl.Stopped(); ++i) {
                const std::string& name = dirs.Strings(i);
                if (UnsafeName(name))
                    continue;
                VerifyFtpTree(ftp, localBase, WithDelimiter(localSub) + name,
                              WithDelimiter(serverSub.empty() ? std::string("/") : serverSub) + name);
            }
        }
    }
    if (!serverSub.empty())
        ftp.ChangeOneDirUp();
    Decryption.reset();
}

TBuResult TVerifyRun::VerifyFtp(TExtFtp& ftp, bool interactive, bool quiet, int wait)
{
    FAge = GetAgeSelection(Settings.AgeMode, Settings.TimeCount, Settings.Date, DateOf(Clock()), Clock());
    if (quiet)
        wait = -wait;
    else if (interactive)
        wait = 0;
    const std::string serverDir = IncludeLeadingSlash(Settings.FtpPar.Directory);
    FileCount = NotFound = ErrCount = 0;
    StartTime = Clock();
    const std::string title =
        !VJobName.empty() ? _("Verify task") + ": " + DeleteExtension(LastPart(VJobName)) : _("Verifying");
    FLog.BeginLog(StartTime, title);
    if (Settings.FtpPar.SecureMode > 0) {
        if (ftp.CanUseTls())
            FLog.WriteToLog(2, "      => " + _("Using secure connection (TLS)"));
        else
            FLog.WriteToLog(1, "  *** " + SafeFormat(_("Requested secure connection is not available%son "
                                                       "connection with \"%s\"!"),
                                                     {" ", Settings.FtpPar.Host}));
    }
    FLog.WriteToLog(1, "  " + _("Directory") + ": " + GetFtpUrl(Settings.FtpPar));
    std::string selection = FAge.Text;
    if (RFilter.Mode() != fmOff)
        selection += " [" + FilterDescription(RFilter) + "]";
    FLog.WriteToLog(1, "  " + _("Selection: ") + selection);
    FProgress.ShowProgress(title, _("Compare to"), "", ProgressOption(poAction) | ProgressOption(poPause), 0,
                           wait, false);
    FControl.Checkpoint();
    ZipEnc = false;
    Decryption.reset();
    bool noDrive = false;
    if (Settings.Origin) {
        const std::string origin = OriginOfPathInDriveFolder(WithDelimiter(serverDir), Settings.DriveIdent);
        if (!origin.empty()) {
            if (ftp.ChangeToDir(serverDir)) {
                LogCompareHeader(MakeFtpUrl(Settings.FtpPar, serverDir), origin, false);
                TotalFiles = CountFtpFiles(ftp);
                if (TotalFiles > 0)
                    VerifyFtpTree(ftp, origin, "", "");
            }
        } else {
            noDrive = true;
            if (ftp.ChangeToDir(serverDir)) {
                TDirectoryList dirs;
                if (ftp.GetDirList(&dirs)) {
                    for (int i = 0; i < dirs.Count() && !FControl.Stopped(); ++i) {
                        const std::string& name = dirs.Strings(i);
                        const std::string driveOrigin =
                            UnsafeName(name) ? std::string() : DriveFolderOrigin(name, Settings.DriveIdent);
                        if (driveOrigin.empty() || !ftp.ChangeToDir(name))
                            continue;
                        noDrive = false;
                        LogCompareHeader(MakeFtpUrl(Settings.FtpPar, serverDir) + "/" + name, driveOrigin,
                                         false);
                        TotalFiles = CountFtpFiles(ftp);
                        if (TotalFiles > 0)
                            VerifyFtpTree(ftp, driveOrigin, "", "");
                        ftp.ChangeOneDirUp();
                    }
                }
            }
        }
    } else if (ftp.ChangeToDir(serverDir)) {
        TotalFiles = CountFtpFiles(ftp);
        if (TotalFiles > 0)
            VerifyFtpTree(ftp, Settings.DestDir, "", "");
    }
    try {
        ftp.Disconnect();
    } catch (const std::exception&) {
        // the run's outcome stands
    }
    FProgress.SetSpeed("");
    return FinishRun(interactive, noDrive, title);
}

TBuResult TVerifyRun::VerifyOnFtp(bool interactive, bool quiet, int wait)
{
    std::unique_ptr<TExtFtp> ftp;
    TFtpPasswordPrompt prompt;
    if (interactive)
        prompt = [this](const std::string& t, const std::string& text, std::string& pwd) {
            return FInteraction.AskPassword(t, text, pwd);
        };
    if (!CreateFtpConnection(Settings.FtpPar, ftp, prompt))
        return brError;
    ftp->OnCheckCancel = [this] { return FControl.Stopped(); };
    return VerifyFtp(*ftp, interactive, quiet, wait);
}
