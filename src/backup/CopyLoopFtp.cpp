// The FTP destination of the copy loop: each source folder is mirrored into the server folder of the
// same name below the run's server folder, each file is compared with the server's copy, uploaded
// under a hidden name of this run and put in place only once the upload is complete, so that a
// broken upload is never taken for a finished copy.

#include <chrono>
#include <thread>

#include "archive/EngineErrors.h"
#include "archive/ExtFtpCopyUtils.h"
#include "archive/FileErrors.h"
#include "archive/FtpUtils.h"
#include "backup/CopyLoop.h"
#include "backup/CopyLoopHelpers.h"
#include "backup/EngineCodes.h"
#include "backup/LogSettings.h"
#include "backup/SecurityCopyNames.h"
#include "foundation/PathUtils.h"
#include "foundation/QvUtilsTexts.h"
#include "foundation/StringUtils.h"
#include "foundation/XlFileUtils.h"
#include "rtl/Clock.h"
#include "rtl/Gettext.h"
#include "rtl/SysUtils.h"

using namespace copyloop;

namespace {

// "FTP connection was closed by server" as an error word of a file that was not uploaded.
constexpr int FtpClosedWord = 0x11B;
// "Could not rename temporary file"
constexpr int FtpRenameWord = 0x123;
constexpr int FtpTimeWarning = 0x120F;

} // namespace

bool TCopyLoop::FtpMayDestroy(const std::string& name)
{
    // Only what lies in the run's server folder is ever deleted or renamed over, and only below it: the
    // folder the task names, and anything above it, is never touched.
    const std::string path = IsAbsoluteFtpPath(name) ? name : JoinFtpPath(Ftp->CurrentDir(), name);
    const std::string root = IncludeTrailingSlash(FtpRoot);
    if (!FtpRoot.empty() && path.size() > root.size() && path.compare(0, root.size(), root) == 0)
        return true;
    FLog.WriteErrorToLog(lmShort, "B", SafeFormat(_("Error deleting file: \"%s\""), {path}),
                         _("outside the backup folder on the server"), std::string());
    if (Ops.Guard)
        Ops.Guard->CountRefusal();
    return false;
}

bool TCopyLoop::FtpDelete(const std::string& name)
{
    if (!FtpMayDestroy(name))
        return false;
    Ftp->SetValidDirectoryListing(false);
    return Ftp->DeleteFile(name, false);
}

bool TCopyLoop::EnterFtpFolder(TFolderState& fs, TFolderCounters& c)
{
    fs.FtpPrevDir = Ftp->CurrentDir();
    if (!Ftp->ReConnect(fs.FtpPrevDir, true, true)) {
        FLog.WriteToLog("  *** " + _("FTP connection lost!"));
        ++c.ErrorCount;
        FControl.SetStopped(true);
        return false;
    }
    const std::string target = ExcludeTrailingSlash(fs.DestDir);
    const std::string prev = IncludeTrailingSlash(Ftp->CurrentDir());
    int r = 0;
    if (target != ExcludeTrailingSlash(prev)) {
        std::string rel;
        if (target.size() > prev.size() && target.compare(0, prev.size(), prev) == 0) {
            rel = target.substr(prev.size());
        } else {
            // not below the current folder: from the run's server folder
            r = Ftp->ChangeToDir(FtpRoot) ? 0 : -1;
            rel = target.size() > FtpRoot.size() ? target.substr(IncludeTrailingSlash(FtpRoot).size()) : "";
        }
        while (r >= 0 && !rel.empty()) {
            const size_t slash = rel.find('/');
            const std::string part = rel.substr(0, slash);
            rel = slash == std::string::npos ? std::string() : rel.substr(slash + 1);
            if (part.empty())
                continue;
            r = Ftp->ChangeToNewDir(part);
            if (r > 0)
                FLog.WriteToLog(lmVerbose,
                                std::string(Indent) + SafeFormat(_("Creating subdirectory: \"%s\""), {part}));
            else if (r < 0)
                FLog.WriteErrorToLog(lmShort, "B", _("Error changing to subdirectory on FTP server: ") + part,
                                     Ftp->IndyError(), std::string());
        }
    }
    fs.FtpDir = Ftp->CurrentDir();
    if (r < 0) {
        ++c.ErrorCount;
        fs.Selected = false;
        return true;
    }
    fs.FtpEntered = true;
    return true;
}

void TCopyLoop::LeaveFtpFolder(TFolderState& fs, TFolderCounters& c)
{
    if (!Ftp || !fs.FtpEntered || FControl.Stopped() || fs.FtpPrevDir.empty())
        return;
    if (Ftp->ChangeToDir(fs.FtpPrevDir)) {
        FLog.WriteToLog(lmVerbose,
                        "      <- " + SafeFormat(_("Current FTP directory: \"%s\""), {fs.FtpPrevDir}));
        return;
    }
    FLog.WriteErrorToLog(lmShort, "B", _("Error changing to subdirectory on FTP server: ") + fs.FtpPrevDir,
                         Ftp->IndyError(), std::string());
    ++c.ErrorCount;
    FControl.SetStopped(true);
    BuStatus = bsBroken;
}

bool TCopyLoop::ReadFtpFolder(TFolderState& fs, TFolderCounters& c)
{
    if (!Ftp->ReConnect(fs.FtpDir, true, true) ||
        (ExcludeTrailingSlash(Ftp->CurrentDir()) != ExcludeTrailingSlash(fs.FtpDir) &&
         !Ftp->ChangeToDir(fs.FtpDir)) ||
        !Ftp->GetFileList()) {
        FLog.WriteErrorToLog(lmShort, "B", _("FTP connection lost!"), Ftp->IndyError(), std::string());
        ++c.ErrorCount;
        FControl.SetStopped(true);
        BuStatus = bsBroken;
        return false;
    }
    FLog.WriteToLog(lmVerbose, std::string(Indent) +
                                   SafeFormat(_("Current FTP directory: \"%s\""), {Ftp->CurrentDir()}));
    // Uploads that a killed run left behind under their hidden names go.
    std::vector<std::string> stale;
    TFileList& list = Ftp->FileList();
    for (int i = 0; i < list.Count(); ++i)
        if (IsEnginePartName(list.Strings(i)))
            stale.push_back(list.Strings(i));
    for (const auto& name : stale)
        FtpDelete(name);
    if (!stale.empty())
        Ftp->GetFileList();
    return true;
}

std::string TCopyLoop::FtpUploadName(const std::string& d) const
{
    return "." + Utf8Prefix(d, MaxNameBytes - 15) + "." + FRunTag + ".part";
}

int TCopyLoop::UploadFile(const TPassFile& f, const std::string& curFtp, const std::string& u, TCopyProps& cp)
{
    if (!Ftp->ReConnect(curFtp, true, true))
        return FtpClosedWord;
    TCopyOptions options = LocalCopyOptions(f.Compressed);
    options.Exclude(coNoCache);
    int err = 0;
    for (int attempt = 0; attempt < 2; ++attempt) {
        auto thread = std::unique_ptr<TCopyThread>(std::make_unique<TWriteFtpThread>(
            Ftp, f.SourcePath, curFtp, u, Encryption, options, true, FTask.TaskBufferSize));
        std::string errText;
        int64_t size = 0;
        Runner.RunCopyThread(thread, err, errText, size, Ftp, Encryption);
        cp.ErrMsg = errText;
        if (Runner.LastAbandoned()) {
            // the worker keeps the connection and the encryption object it was lent
            RenewEncryption();
            if (RenewFtp)
                Ftp = RenewFtp();
            if (!Ftp)
                return FtpClosedWord;
        }
        if ((err & ErrorWord::NumberMask) != ErrorNumber::FtpClosed || attempt > 0 || FControl.Stopped())
            break;
        // The server closed the connection: once more after a pause and a new connection.
        for (int i = 0; i < 20 && !FControl.Stopped(); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            FControl.Checkpoint();
        }
        FLog.WriteToLog(lmVerbose, "   => " + _("FTP connection broken - try to reconnect") + " (" +
                                       DateTimeToStr(Now()) + ")");
        if (!Ftp->ReConnect(curFtp, true, true))
            break;
        if (Ftp->FtpFileExists(u))
            FtpDelete(u);
        FLog.WriteToLog(lmVerbose, "   => " + SafeFormat(_("Current FTP directory: \"%s\""), {curFtp}));
    }
    return err;
}

TCopyLoop::TFileStep TCopyLoop::BackupFileToFtp(const TFilePass& pass, TPassFile& f, TFolderState& fs,
                                                TFolderCounters& c)
{
    const TPosixFileData& fd = f.Data;
    c.TotalBytes += fd.Size;
    ++c.FileCount;
    const std::string formExt = DestFormExt(f.Compressed);
    const std::string d = f.N + formExt;
    const bool exists = Ftp->FtpFileExists(d);
    const bool storedForm = f.Compressed || FTask.cbZipCompress || Encryption != nullptr;
    const TDateTime srcTime = FileTimeToLocalDateTime(fd.LastWriteTime);
    TDateTime serverTime = 0;
    bool z = true;
    int code = 0;
    if (FTask.UseArchivCB) {
        code = 4;
        if (exists) {
            z = f.ArchiveSet;
        } else {
            code = 0;
            z = (FTask.cbArchFile || FTask.ClearDest) ? f.ArchiveSet : true;
        }
    } else if (exists && FTask.CompareMode == 3) {
        code = 2;
        z = !storedForm && Ftp->CheckSize(d, fd.Size);
    } else if (exists) {
        code = Ftp->CheckTimeStamp(d, srcTime, FTask.DeltaTime, serverTime, false);
        if (code == 2)
            z = FTask.CompareMode >= 2 && !storedForm && Ftp->CheckSize(d, fd.Size);
        else
            z = FTask.CompareMode == 0 ? code < 2 : true;
        // A plain copy of another size than its source is stale whatever its time says.
        if (!z && !storedForm && FTask.CompareMode == 0 && code >= 2 && Ftp->CheckSize(d, fd.Size))
            z = true;
    }
    FLog.WriteToLog(lmVerbose,
                    std::string(Indent) + SafeFormat(_("File at FTP destination is being examined: \"%s\""),
                                                     {IncludeTrailingSlash(Ftp->CurrentDir()) + d}));
    TCopyProps& cp = fs.Pending;
    cp = TCopyProps();
    cp.SName = cp.RName = f.SourcePath;
    cp.DName = f.N;
    cp.EName = d;
    cp.TName = FtpUploadName(d);
    cp.DDir = fs.DestDir;
    cp.RelName = f.RelName;
    cp.SInfo = fd;
    cp.Timestamps = TimestampsOf(fd);
    cp.DExist = exists;
    cp.Valid = true;
    cp.Compressed = f.Compressed;
    if (FControl.Stopped())
        return fsLeaveFolder;
    if (!z) {
        FtpFileIsUpToDate(pass, f, code, serverTime, c);
        cp.Valid = false;
        ShowRunProgress(c);
        FControl.Checkpoint();
        return fsNextFile;
    }
    const std::string& u = cp.TName;
    if (pass.Level == lmVerbose) {
        FLog.WriteToLog(lmVerbose,
                        std::string(Indent) +
                            SafeFormat(GetCopyActionText(false, f.Compressed, Encryption != nullptr),
                                       {f.RelName, FormatSize(false, fd.Size), u}) +
                            " [" + CopyOptionLetters(f.Compressed) + "]");
        const std::string outcome = code == 4   ? _("Archive bit is set")
                                    : code == 2 ? "(" + FormatSize(false, fd.Size) + ")"
                                    : code == 0 ? _("not present")
                                                : TimeStampToStr(serverTime);
        FLog.WriteToLog(lmVerbose, std::string(DeepIndent) + AttrText(fd.Attr) + " " +
                                       TimeText(fd.LastWriteTime) + " -> " + outcome);
    }
    FProgress.SetPrompt(f.SourcePath);
    // Other forms of the same file that a former setting left behind; a form that is the copy of a
    // source file of its own stays.
    for (const char* other : {"", ".zip", ".gz", ".gze", ".enc"}) {
        if (formExt == other || !Ftp->FtpFileExists(f.N + other))
            continue;
        if (*other && XlFileExists(fs.SrcDir + f.Name + other, false))
            continue;
        if (!*other && ClaimedNames(fs).count(f.N) != 0)
            continue;
        if (FtpMayDestroy(f.N + other))
            Ftp->DeleteExistingFile(f.N + other);
    }
    ReadArchiveBit(pass, f);
    cp.SInfo = f.Data;
    int kind = UploadFile(f, fs.FtpDir, u, cp);
    if (!Ftp) {
        // no new connection after a worker was given up
        BuStatus = bsBroken;
        FControl.SetStopped(true);
        FinishFileCopy(kind, cp, fs, c);
        cp.Valid = false;
        return fsLeaveFolder;
    }
    if (kind == 0)
        kind = CopyOutcome::Copied;
    else if ((kind & ErrorWord::NumberMask) == ErrorNumber::FtpClosed)
        FLog.WriteErrorToLog(lmShort, "B", _("FTP connection lost!"), std::string(), std::string());
    if (kind == CopyOutcome::Copied || (kind & ErrorWord::Warning) != 0) {
        bool ok = true;
        if (exists) {
            ok = FTask.KeepBakCB ? KeepFtpVersion(cp, f) : FtpMayDestroy(d);
            if (ok && !FTask.KeepBakCB && !Ftp->DeleteFile(d, false)) {
                FLog.WriteErrorToLog(lmShort, "B", SafeFormat(_("Error deleting file: \"%s\""), {d}),
                                     Ftp->IndyError(), std::string());
                ok = false;
            }
        }
        if (ok && Ftp->RenameFile(u, d, true)) {
            FLog.WriteToLog(lmVerbose, std::string(Indent) + SafeFormat(_("%s was renamed: \"%s\" to \"%s\""),
                                                                        {_("File"), u, d}));
            const bool checkTime = !FTask.UseArchivCB && FTask.CompareMode == 0;
            if (!Ftp->SetTimeStampFromFile(f.SourcePath, d, checkTime))
                FLog.WriteErrorToLog(lmWarningLine, "B",
                                     "   => " + FormatFileError(FtpTimeWarning, d, std::string()),
                                     Ftp->IndyError(), std::string());
        } else {
            if (ok)
                FLog.WriteErrorToLog(lmVerbose, "B",
                                     SafeFormat(_("Error renaming %s: \"%s\" to \"%s\""), {_("File"), u, d}),
                                     Ftp->IndyError(), std::string());
            // the upload never stands in for the copy: it goes again
            if (Ftp->DeleteExistingFile(u) < 0)
                FLog.WriteErrorToLog(lmShort, "B", SafeFormat(_("Error deleting file: \"%s\""), {u}),
                                     Ftp->IndyError(), std::string());
            kind = FtpRenameWord;
        }
    } else if (Ftp->DeleteExistingFile(u) < 0) {
        FLog.WriteErrorToLog(lmShort, "B", SafeFormat(_("Error deleting file: \"%s\""), {u}),
                             Ftp->IndyError(), std::string());
    }
    Ftp->SetValidDirectoryListing(false);
    const TAfterFile r = FinishFileCopy(kind, cp, fs, c);
    cp.Valid = false;
    // counted above already
    if (r == afStop || FControl.Stopped())
        return fsLeaveFolder;
    ShowRunProgress(c);
    FControl.Checkpoint();
    return fsNextFile;
}

void TCopyLoop::FtpFileIsUpToDate(const TFilePass& pass, const TPassFile& f, int code, TDateTime serverTime,
                                  TFolderCounters&)
{
    const TPosixFileData& fd = f.Data;
    if (pass.Level == lmVerbose) {
        if (code == 4) {
            FLog.WriteToLog(
                lmVerbose, std::string(Indent) +
                               SafeFormat(_("Skipped - archive bit not set at source: \"%s\""), {f.RelName}));
        } else {
            FLog.WriteToLog(lmVerbose,
                            std::string(Indent) +
                                SafeFormat(_("File at destination is up to date: \"%s\""), {f.RelName}) +
                                " (" + FormatSize(false, fd.Size) + ")");
            FLog.WriteToLog(lmVerbose, std::string(DeepIndent) + AttrText(fd.Attr) + " " +
                                           TimeText(fd.LastWriteTime) + " <-> " + TimeStampToStr(serverTime));
        }
    } else if (pass.Level == lmLong && (FLog.ActMode() & lmWarnings) != 0) {
        FLog.WriteToLog(lmLong, "      * " +
                                    SafeFormat(_("File at destination is up to date: \"%s\""), {f.RelName}) +
                                    " (" + FormatSize(false, fd.Size) + ")");
    }
}

bool TCopyLoop::KeepFtpVersion(TCopyProps& cp, const TPassFile&)
{
    // The replaced server file becomes its older version, in the versions sub-folder of the current
    // folder or beside it. No age pruning and no minimum number apply on a server.
    const TSecSettings& sec = FTask.BakSec;
    Ftp->SetValidDirectoryListing(false);
    const std::string n = cp.DName;
    const std::string x = cp.EName != cp.DName ? FileExtOf(cp.EName) : std::string();
    std::string s;
    if (sec.DirMode == sdNone || !sec.FileSuffix.empty())
        s = Joined(".", ExpandBackupDateSuffix(sec.FileSuffix.empty() ? BakSuffix : sec.FileSuffix));
    std::string vf;
    if (sec.DirMode != sdNone) {
        const std::string folder = sec.DirPrefix + sec.DirSuffix;
        const int r = Ftp->ChangeToNewDir(folder);
        if (r < 0) {
            FLog.WriteErrorToLog(lmShort, "B", SafeFormat(_("Could not create directory: \"%s\""), {folder}),
                                 Ftp->IndyError(), std::string());
        } else {
            vf = IncludeTrailingSlash(folder);
            if (r > 0)
                FLog.WriteToLog(lmVerbose,
                                std::string(Indent) + SafeFormat(_("Creating subdirectory: \"%s\""), {vf}));
        }
    }
    auto versionName = [&](int k, int digits) {
        if (k == 0)
            return InsertNameSuffix(n, s) + x;
        std::string num = std::to_string(k);
        if (digits == 2 && num.size() < 2)
            num = "0" + num;
        std::string suffix = s.find('#') != std::string::npos ? ReplaceAll(s, "#", num) : s + num;
        return InsertNameSuffix(n, suffix) + x;
    };
    std::string version;
    if (sec.MaxHist < 2) {
        version = versionName(0, 1);
        if (Ftp->FtpFileExists(version) && FtpMayDestroy(version))
            Ftp->DeleteExistingFile(version);
    } else {
        const int digits = sec.MaxHist < 10 ? 1 : 2;
        Ftp->GetFileList();
        int flags[100] = {};
        std::string older[100];
        for (int k = 99; k >= 2; --k) {
            older[k] = versionName(k - 1, k > 10 ? 2 : 1);
            if (k <= 10 && !Ftp->FtpFileExists(older[k]))
                older[k] = versionName(k - 1, 2);
            const bool kExists = Ftp->FtpFileExists(versionName(k, digits));
            if (k <= sec.MaxHist && Ftp->FtpFileExists(older[k])) {
                flags[k] = 1;
                if (k == sec.MaxHist && kExists)
                    flags[k] |= 2;
            } else if (kExists) {
                flags[k] = 2;
            }
        }
        for (int k = 99; k >= 2; --k) {
            const std::string name = versionName(k, digits);
            if ((flags[k] & 2) != 0 && FtpMayDestroy(name)) {
                if (Ftp->DeleteFile(name, false))
                    FLog.WriteToLog(lmVerbose, std::string(Indent) +
                                                   SafeFormat(_("File was deleted: \"%s\""), {vf + name}));
                else
                    FLog.WriteErrorToLog(lmShort, "B", SafeFormat(_("Error deleting file: \"%s\""), {name}),
                                         Ftp->IndyError(), std::string());
            }
            if ((flags[k] & 1) != 0) {
                if (Ftp->RenameFile(older[k], name, false))
                    FLog.WriteToLog(lmVerbose,
                                    std::string(Indent) + SafeFormat(_("%s was renamed: \"%s\" to \"%s\""),
                                                                     {_("File"), vf + older[k], vf + name}));
                else
                    FLog.WriteErrorToLog(lmShort, "B",
                                         SafeFormat(_("Error renaming %s: \"%s\" to \"%s\""),
                                                    {_("File"), vf + older[k], vf + name}),
                                         Ftp->IndyError(), std::string());
            }
        }
        version = versionName(1, digits);
    }
    if (!vf.empty())
        Ftp->ChangeOneDirUp();
    Ftp->SetValidDirectoryListing(false);
    const std::string target = vf + version;
    if (Ftp->RenameFile(cp.EName, target, true)) {
        FLog.WriteToLog(lmVerbose, std::string(Indent) + SafeFormat(_("%s was renamed: \"%s\" to \"%s\""),
                                                                    {_("File"), cp.EName, target}));
        return true;
    }
    FLog.WriteErrorToLog(lmShort, "B",
                         SafeFormat(_("Error renaming %s: \"%s\" to \"%s\""), {_("File"), cp.EName, target}),
                         std::string(), std::string());
    return false;
}

int TCopyLoop::UploadZipToFtp(const std::string& zipFile, const std::string& ftpDir,
                              const std::string& destName, int& segments, int64_t& size, bool deleteLocal)
{
    // Every part goes up under a hidden name of this run first; the parts take their final names only
    // when all of them are on the server, the archive proper last, so that a failed upload leaves the
    // server's archive of an earlier run whole.
    const int extra = std::max(GetZipSegmentCount(zipFile), 0);
    segments = extra + 1;
    size = GetZipArchiveSize(zipFile);
    struct TPart
    {
        std::string Source, Final, Upload;
    };
    std::vector<TPart> parts;
    for (int i = 0; i <= extra; ++i) {
        TPart p;
        p.Source = i < extra ? GetZipSegmentName(zipFile, i) : zipFile;
        p.Final = i < extra ? GetZipSegmentName(destName, i) : destName;
        p.Upload = FtpUploadName(p.Final);
        parts.push_back(p);
    }
    int result = 0;
    if (!Ftp || !Ftp->ReConnect(ftpDir, true, true)) {
        FLog.WriteToLog("  *** " + _("Connection to FTP server failed") +
                        (Ftp ? " (" + Ftp->IndyError() + ")" : std::string()));
        result = FtpClosedWord;
    }
    auto failed = [&](int err, const std::string& name) {
        FLog.WriteErrorToLog(lmShort, "B", FormatFileError(static_cast<unsigned>(err), name, std::string()),
                             Ftp ? Ftp->IndyError() : std::string(), std::string());
        result = err;
    };
    size_t uploaded = 0;
    for (; result == 0 && uploaded < parts.size(); ++uploaded) {
        const TPart& p = parts[uploaded];
        FProgress.SetPrompt(p.Final);
        if (Ftp->FtpFileExists(p.Upload) && !FtpDelete(p.Upload)) {
            failed(EngineError::Delete, p.Upload);
            break;
        }
        TCopyOptions options;
        if (FTask.cbVerify)
            options.Include(coVerify);
        auto thread = std::unique_ptr<TCopyThread>(std::make_unique<TWriteFtpThread>(
            Ftp, p.Source, ftpDir, p.Upload, nullptr, options, true, FTask.TaskBufferSize));
        int err = 0;
        std::string errText;
        int64_t moved = 0;
        Runner.RunCopyThread(thread, err, errText, moved, Ftp, nullptr);
        if (Runner.LastAbandoned()) {
            // the worker keeps the connection it was lent
            Ftp = RenewFtp ? RenewFtp() : nullptr;
            if (!Ftp) {
                result = err != 0 ? err : FtpClosedWord;
                break;
            }
        }
        if (err != 0) {
            failed(err, p.Upload);
            break;
        }
    }
    if (result == 0) {
        Ftp->SetValidDirectoryListing(false);
        for (const TPart& p : parts) {
            if (Ftp->FtpFileExists(p.Final) &&
                (!FtpMayDestroy(p.Final) || !Ftp->DeleteFile(p.Final, false))) {
                failed(EngineError::Delete, p.Final);
                break;
            }
            if (!Ftp->RenameFile(p.Upload, p.Final, true)) {
                failed(FtpRenameWord, p.Final);
                break;
            }
        }
    }
    if (result == 0) {
        // Segments of an earlier, longer archive of the same name would spoil the new one.
        Ftp->SetValidDirectoryListing(false);
        for (int i = extra; i < 99; ++i) {
            const std::string stale = GetZipSegmentName(destName, i);
            if (!Ftp->FtpFileExists(stale))
                break;
            if (FtpMayDestroy(stale) && !Ftp->DeleteFile(stale, false))
                FLog.WriteErrorToLog(lmShort, "B", SafeFormat(_("Error deleting file: \"%s\""), {stale}),
                                     Ftp->IndyError(), std::string());
        }
    }
    if (result != 0 && Ftp) {
        // Nothing of a failed upload stays on the server under a hidden name.
        for (const TPart& p : parts)
            if (Ftp->FtpFileExists(p.Upload))
                FtpDelete(p.Upload);
    }
    if (Ftp)
        Ftp->SetValidDirectoryListing(false);
    if (deleteLocal)
        for (const TPart& p : parts)
            XlDeleteExistingFile(p.Source);
    return result;
}
