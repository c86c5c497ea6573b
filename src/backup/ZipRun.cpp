#include "backup/ZipRun.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <unistd.h>

#include "archive/EngineErrors.h"
#include "archive/EngineFs.h"
#include "archive/FileErrors.h"
#include "archive/FtpUtils.h"
#include "backup/EngineCodes.h"
#include "foundation/PathUtils.h"
#include "foundation/QvUtilsFolders.h"
#include "foundation/QvUtilsNames.h"
#include "foundation/QvUtilsTexts.h"
#include "foundation/StringUtils.h"
#include "foundation/XlFileUtils.h"
#include "platform/Trash.h"
#include "rtl/Gettext.h"
#include "rtl/SysUtils.h"

namespace {

constexpr const char* Indent = "      ";

std::string StripDelimiter(const std::string& path)
{
    if (path.size() > 1 && path.back() == '/')
        return path.substr(0, path.size() - 1);
    return path;
}

std::string FolderOf(const std::string& path)
{
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string NameOf(const std::string& path)
{
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string TwoDigits(int n)
{
    return n < 10 ? "0" + std::to_string(n) : std::to_string(n);
}

// The log detail of an archive error: the system's text it carries.
std::string ZipDetail(const EZipError& e)
{
    return e.SysErrorMsg;
}

} // namespace

int GetKeyMode(TCryptKeyMode mode, const std::string& password)
{
    switch (mode) {
    case ck128:
        return 1;
    case ck256:
        return 3;
    default:
        return utf8::Length(password) < 16 ? 1 : 3;
    }
}

std::string ZipSizeText(int segments, int64_t size)
{
    std::string text = " (" + FormatSize(false, size);
    if (segments > 1)
        text += " - " + std::to_string(segments) + " " + _("segments");
    return text + ")";
}

TZipRun::TZipRun(const TTaskSettings& task, TTaskLog& log, TRunControl& control, IProgressSink& progress,
                 IInteraction& interaction)
    : FTask(task), FLog(log), FControl(control), FProgress(progress), FInteraction(interaction)
{
    RunTag = EngineFs::RandomTag();
}

TZipRun::~TZipRun()
{
    BeginRun();
}

void TZipRun::BeginRun()
{
    // Archives of an earlier run that did not reach its end never remain.
    if (FRun) {
        FRun.reset();
        DeleteZipArchive(FRunTemp, -1);
        FPendingSources.clear();
    }
    DiscardFolderArchive();
    FRunName.clear();
    FRunTemp.clear();
    FRunRelName.clear();
    FRunFailed = false;
    FRunBroken = false;
}

TZipWrite* TZipRun::Current() const
{
    return FFolder ? FFolder.get() : FRun.get();
}

bool TZipRun::CheckTimeout()
{
    FControl.Checkpoint();
    TZipWrite* zip = Current();
    if (!zip)
        return false;
    if (FControl.Stopped()) {
        zip->Cancel();
        return false;
    }
    if (FControl.Paused()) {
        zip->Suspend();
        FLastActivity = std::chrono::steady_clock::now();
        return false;
    }
    zip->Resume();
    if (FTask.CopyTimeout <= 0)
        return false;
    return std::chrono::steady_clock::now() - FLastActivity > std::chrono::seconds(FTask.CopyTimeout);
}

std::unique_ptr<TZipWrite> TZipRun::CreateWriter(const std::string& tempName, const std::string& baseDir)
{
    auto zip = std::make_unique<TZipWrite>(tempName, baseDir, FTask.MaxZipSize, ActPwd,
                                           GetKeyMode(FTask.CryptKeyMode, ActPwd), FTask.TaskBufferSize);
    zip->SetTempDir(TempDir);
    zip->SetIsTemp(FTask.BuFtp);
    zip->SetEncryptNames(FTask.cbEncNames);
    auto progress = [this](TFileAction, int64_t, bool) { FLastActivity = std::chrono::steady_clock::now(); };
    zip->SetOnProgress(progress);
    zip->SetOnVerifyProgress(progress);
    zip->SetOnTimeout([this] { return CheckTimeout(); });
    FLastActivity = std::chrono::steady_clock::now();
    return zip;
}

// ---- methods 4 and 5

bool TZipRun::PrepareFolder(const std::string& src, TFolderCounters& c)
{
    if (FTask.DestMode == BackupMethod::ZipAll && (FRun || FRunFailed))
        return !FRunFailed;
    std::string baseDir;
    if (FTask.DestMode == BackupMethod::ZipAll) {
        FRunName = AddPathDelimiter(BaseDir) + ZipName;
        FRunRelName = ZipName;
        baseDir = ExtractDrivePart(src);
    } else {
        // One archive per source folder: the folder's last name (a root: its per-drive folder name)
        // and the part of the zip name from its first hyphen on.
        std::string root = GetLastDirName(StripDelimiter(RemoveDrive(src)));
        if (StripDelimiter(RemoveDrive(src)).empty() || StripDelimiter(RemoveDrive(src)) == "/")
            root = StripDelimiter(GetDriveDirName(FTask.DriveId, src));
        std::string part;
        size_t dash = FTask.ZipNameEdit.find('-');
        if (dash != std::string::npos)
            part = ExpandNamePlaceholders(FTask.ZipNameEdit.substr(dash), VolLabel, FTask.BackupCount);
        std::string name = root + part;
        if (!utf8::SameText(ExtractExtension(name), "zip"))
            name += ".zip";
        FRunName = AddPathDelimiter(BaseDir) + name;
        FRunRelName = name;
        baseDir = src;
    }
    FRunBroken = false;
    if (FTask.BuFtp) {
        // Built in the temporary folder and uploaded when finished: nothing local in the server's name.
        FRunName = IncludeTrailingSlash(FtpDir) + FRunRelName;
        FRunTemp = FtpTempName();
    } else {
        FRunTemp = InsertNameSuffix(FRunName, TempSuffix());
        TEngineFileOps ops(FLog, FControl);
        ops.SetMaxWaitTime(0);
        if (!XlDirectoryExists(StripDelimiter(BaseDir)))
            ops.CreateDirectoryLogged(StripDelimiter(BaseDir), "B", false);
    }
    try {
        FRun = CreateWriter(FRunTemp, baseDir);
    } catch (const EZipError& e) {
        FRun.reset();
        FRunFailed = true;
        XlDeleteExistingFile(FRunTemp);
        FLog.WriteErrorToLog("B", FormatFileError(static_cast<unsigned>(e.ZipError), FRunTemp, std::string()),
                             e.Message() + (e.SysErrorMsg.empty() ? "" : " (" + e.SysErrorMsg + ")"),
                             std::string());
        // No file of the folder can be backed up: never a success.
        ++c.ErrorCount;
        return false;
    }
    FProgress.SetDestination(FRunName);
    return true;
}

void TZipRun::FinishFolder(bool runOk, TFolderCounters& c)
{
    if (FTask.DestMode != BackupMethod::ZipPerRoot || !FRun)
        return;
    if (!runOk || FControl.Stopped()) {
        FRun.reset();
        DeleteZipArchive(FRunTemp, -1);
        FPendingSources.clear();
        return;
    }
    unsigned code = 0;
    std::string detail;
    if (FRun->ErrorFlag() || FRunBroken) {
        code = ErrorWord::ZipOperation;
    } else {
        try {
            FRun->WriteDirectory();
            if (FTask.cbVerify && !FTask.BuFtp) {
                FProgress.SetPrompt(std::string());
                FRun->Verify();
                FLog.WriteToLog(lmLong, std::string(Indent) +
                                            SafeFormat(_("Zip archive \"%s\" was verified"), {FRunRelName}));
            }
        } catch (const EZipError& e) {
            FLog.WriteErrorToLog("B", e.Message(), ZipDetail(e), std::string());
            code = static_cast<unsigned>(e.ZipError);
            detail = e.SysErrorMsg;
        }
    }
    int segments = FRun->NumberOfSegments();
    FRun.reset();
    if (code != 0) {
        DeleteZipArchive(FRunTemp, segments);
        FPendingSources.clear();
        FLog.WriteErrorToLog("B", SafeFormat(_("Zip archive \"%s\" was not created!"), {FRunRelName}), detail,
                             std::string());
        ++c.ErrorCount;
        return;
    }
    if (FTask.BuFtp) {
        std::string sizeText;
        if (Upload(FRunTemp, FtpDir, FRunRelName, true, sizeText))
            DeleteCommittedSources(c);
        else
            ++c.ErrorCount;
        FPendingSources.clear();
        return;
    }
    if (PutInPlace(FRunTemp, FRunName, c))
        DeleteCommittedSources(c);
    FPendingSources.clear();
}

std::string TZipRun::FinishRun(bool runOk, TFolderCounters& c)
{
    if (FTask.DestMode != BackupMethod::ZipAll)
        return std::string();
    const std::string shownTemp = DeleteExtension(FRunTemp);
    if (!FRun && !FRunFailed)
        return std::string(); // no folder reached the archive
    if (!runOk) {
        FRun.reset();
        DeleteZipArchive(FRunTemp, -1);
        FPendingSources.clear();
        FLog.WriteErrorToLog("B", SafeFormat(_("Zip archive \"%s\" was not created!"), {shownTemp}));
        return std::string();
    }
    std::string failure;
    std::string detail;
    bool empty = false;
    int segments = 1;
    if (!FRun || FRun->ErrorFlag() || FRunBroken) {
        failure = _("Error writing to zip archive");
    } else {
        try {
            FRun->WriteDirectory();
            if (FTask.cbVerify && !FTask.BuFtp) {
                FRun->Verify();
                FLog.WriteToLog(lmLong, std::string(Indent) +
                                            SafeFormat(_("Zip archive \"%s\" was verified"), {FRunTemp}));
            }
            empty = FRun->IsEmpty();
        } catch (const EZipError& e) {
            std::string text = e.Message() + " (" + shownTemp + ")";
            FLog.WriteErrorToLog("B", text, ZipDetail(e), std::string());
            failure = (e.ZipError & ErrorWord::NumberMask) == ErrorNumber::Verify
                          ? _("Error verifying zip archive!")
                          : _("Error writing to zip archive");
            detail = e.SysErrorMsg;
        }
    }
    if (FRun)
        segments = FRun->NumberOfSegments();
    FRun.reset();
    if (!failure.empty()) {
        DeleteZipArchive(FRunTemp, segments);
        FPendingSources.clear();
        FLog.WriteErrorToLog("B", SafeFormat(_("Zip archive \"%s\" was not created!"), {shownTemp}), detail,
                             std::string());
        FRunFailed = false;
        return failure;
    }
    if (FTask.cbDelDir && empty) {
        // Nothing to back up: no archive, and one of an earlier run stays as it is.
        DeleteZipArchive(FRunTemp, segments);
        FPendingSources.clear();
        return std::string();
    }
    if (FTask.BuFtp) {
        std::string sizeText;
        const bool uploaded = Upload(FRunTemp, FtpDir, FRunRelName, false, sizeText);
        DeleteZipArchive(FRunTemp, segments);
        if (!uploaded) {
            FPendingSources.clear();
            return _("Error writing to FTP server: ") + FRunRelName;
        }
        DeleteCommittedSources(c);
        return std::string();
    }
    if (FTask.KeepBakCB)
        KeepArchiveVersions(FRunName, c);
    if (PutInPlace(FRunTemp, FRunName, c))
        DeleteCommittedSources(c);
    FPendingSources.clear();
    return std::string();
}

bool TZipRun::AddDir(const std::string& srcDir)
{
    if (!FRun) {
        FLog.WriteErrorToLog("B", _("Error writing to zip archive"), srcDir, std::string());
        return false;
    }
    try {
        FRun->AddDir(srcDir);
    } catch (const EZipError& e) {
        FLog.WriteErrorToLog("B", _("Error writing to zip archive"), e.Message(), ZipDetail(e));
        return false;
    }
    return true;
}

void TZipRun::RemoveEmptyDir()
{
    if (!FRun)
        return;
    std::string name = FRun->RemLastDir();
    if (!name.empty())
        FLog.WriteToLog(lmVerbose,
                        std::string(Indent) + SafeFormat(_("Empty directory was deleted: \"%s\""), {name}));
}

// ---- methods 6 and 7

bool TZipRun::OpenFolderArchive(const std::string& destDir, const std::string& srcDir,
                                const std::string& relDir, TFolderCounters& c, TEngineFileOps& ops)
{
    DiscardFolderArchive();
    FFolderName = AddPathDelimiter(destDir) + ZipName;
    if (FTask.BuFtp) {
        // Uploaded into the folder's server folder, which the copy loop has entered.
        FFolderFtpDir = StripDelimiter(destDir);
        FFolderTemp = FtpTempName();
    } else {
        if (!ops.CreateDirectoryLogged(destDir, "B", !relDir.empty()))
            ++c.ErrorCount;
        FFolderTemp = InsertNameSuffix(FFolderName, TempSuffix());
    }
    FFolderShown = AddPathDelimiter(relDir) + ZipName;
    FFolderIsEntry = relDir.empty();
    FLog.WriteToLog(lmLong, "   => " + _("Write to zip archive: ") + FFolderShown);
    try {
        FFolder = CreateWriter(FFolderTemp, srcDir);
    } catch (const EZipError& e) {
        FFolder.reset();
        XlDeleteExistingFile(FFolderTemp);
        FLog.WriteErrorToLog("B", e.Message(), ZipDetail(e), std::string());
        // The folder's files cannot be backed up: that is an error of the run.
        ++c.ErrorCount;
        return false;
    }
    return true;
}

void TZipRun::CloseFolderArchive(int added, TFolderCounters& c)
{
    if (!FFolder)
        return;
    if (added == 0 && !FFolderIsEntry) {
        FFolder.reset();
        XlDeleteFile(FFolderTemp);
        FLog.WriteToLog(lmLong, "   => " + _("Delete empty zip archive: ") + FFolderShown);
        return;
    }
    unsigned code = 0;
    std::string detail;
    try {
        FFolder->WriteDirectory();
        if (!FTask.BuFtp && FTask.cbVerify) {
            FProgress.SetPrompt(std::string());
            FControl.Checkpoint();
            FFolder->Verify();
            FLog.WriteToLog(lmLong, std::string(Indent) +
                                        SafeFormat(_("Zip archive \"%s\" was verified"), {FFolderShown}));
        }
    } catch (const EZipError& e) {
        code = static_cast<unsigned>(e.ZipError);
        detail = e.SysErrorMsg;
        FLog.WriteErrorToLog("B", e.Message(), ZipDetail(e), std::string());
    }
    int segments = FFolder->NumberOfSegments();
    FFolder.reset();
    if (code != 0) {
        DeleteZipArchive(FFolderTemp, segments);
        FPendingSources.clear();
        FLog.WriteErrorToLog("B", SafeFormat(_("Zip archive \"%s\" was not created!"), {FFolderShown}),
                             detail, std::string());
        // A folder whose archive could not be made is not backed up: never a success.
        ++c.ErrorCount;
        return;
    }
    if (FTask.BuFtp) {
        std::string sizeText;
        if (Upload(FFolderTemp, FFolderFtpDir, ZipName, true, sizeText))
            DeleteCommittedSources(c);
        else
            ++c.ErrorCount;
        DeleteZipArchive(FFolderTemp, segments);
        FPendingSources.clear();
        return;
    }
    if (PutInPlace(FFolderTemp, FFolderName, c))
        DeleteCommittedSources(c);
    FPendingSources.clear();
}

void TZipRun::DiscardFolderArchive()
{
    if (!FFolder)
        return;
    int segments = FFolder->NumberOfSegments();
    FFolder.reset();
    DeleteZipArchive(FFolderTemp, segments);
    FPendingSources.clear();
}

int TZipRun::AddFile(const std::string& readName, const std::string& sourceName, const TPosixFileData& data,
                     bool compressed, std::string& errMsg, int& ratio)
{
    TZipWrite* zip = Current();
    ratio = -1;
    if (!zip) {
        errMsg.clear();
        return ErrorWord::ZipOperation | EngineError::Write;
    }
    TZipSourceData source;
    source.Size = data.Size;
    source.MTime = FileTimeToUnixTime(data.LastWriteTime);
    FLastActivity = std::chrono::steady_clock::now();
    try {
        zip->AddFileFrom(readName, sourceName, source, ratio, compressed);
    } catch (const EZipError& e) {
        errMsg = e.SysErrorMsg;
        if ((e.ZipError & ErrorWord::NumberMask) == ErrorNumber::LowDisk)
            return CopyOutcome::VolumeFull;
        return e.ZipError & ErrorWord::Mask;
    }
    return CopyOutcome::Copied;
}

void TZipRun::FullVolume(bool prompt)
{
    if (prompt)
        FInteraction.ErrorBox(_("The destination volume is full!\r\nZip backup will be terminated!"), 0);
    if (MakesFolderArchives(FTask.DestMode))
        DiscardFolderArchive();
    else
        FRunBroken = true;
}

// ---- archive files

std::string TZipRun::TempSuffix() const
{
    return ".tmp-" + RunTag;
}

std::string TZipRun::FtpTempName() const
{
    // Named after this run, so that two runs at the same time never build into one file.
    return AddPathDelimiter(GetUsableDir(TempDir, GetProgTempDir())) +
           InsertNameSuffix("QvTemp.zip", TempSuffix());
}

bool TZipRun::Upload(const std::string& temp, const std::string& ftpDir, const std::string& name,
                     bool deleteLocal, std::string& sizeText)
{
    int segments = 1;
    int64_t size = GetZipArchiveSize(temp);
    int err = EngineError::Write;
    if (UploadToFtp) {
        FProgress.SetPrompt(std::string());
        err = UploadToFtp(temp, ftpDir, name, segments, size, deleteLocal);
    }
    sizeText = ZipSizeText(segments, size);
    if (err != 0) {
        FLog.WriteToLog("  *** " + _("Error writing to FTP server: ") + name + sizeText);
        return false;
    }
    FLog.WriteToLog(lmLong, "   => " + SafeFormat(_("Zip archive \"%s\" was copied to FTP server"), {name}) +
                                (FTask.cbVerify ? _(" and verified") : std::string()) + sizeText);
    return true;
}

bool TZipRun::MayDestroy(const std::string& path)
{
    TEngineFileOps ops(FLog, FControl);
    ops.Guard = Guard;
    return ops.MayDestroy(path, "B");
}

void TZipRun::DeleteCommittedSources(TFolderCounters& c)
{
    std::vector<std::string> pending;
    pending.swap(FPendingSources);
    for (const auto& path : pending) {
        std::string trashedAs;
        uint32_t e = MoveToTrash(path, &trashedAs);
        if (e == 0) {
            FLog.WriteToLog(lmVerbose, std::string(Indent) +
                                           SafeFormat(_("File was moved to Recycle Bin: \"%s\""), {path}));
        } else {
            FLog.WriteErrorToLog(lmShort, "B", _("Could not delete source file: ") + path, e);
            ++c.ErrorCount;
        }
    }
}

bool TZipRun::DeleteArchiveLogged(const std::string& name, int count, TFolderCounters& c)
{
    if (XlFileExists(name, false) && !MayDestroy(name))
        return false;
    uint32_t code = DeleteZipArchive(name, count);
    if (code == 0)
        return true;
    FLog.WriteErrorToLog("B", SafeFormat(_("Error deleting file: \"%s\""), {name}), code);
    ++c.ErrorCount;
    return false;
}

bool TZipRun::RenameLogged(const std::string& oldName, const std::string& newName, TFolderCounters& c)
{
    if (!MayDestroy(oldName) || !MayDestroy(newName))
        return false;
    uint32_t code = RenameZipArchive(oldName, newName, static_cast<uint32_t>(std::max(MaxWaitTime, 0)));
    if (code == 0)
        return true;
    FLog.WriteErrorToLog(
        "B", SafeFormat(_("Error renaming %s: \"%s\" to \"%s\""), {_("File"), oldName, newName}), code);
    ++c.ErrorCount;
    return false;
}

bool TZipRun::PutInPlace(const std::string& tempName, const std::string& finalName, TFolderCounters& c)
{
    if (!DeleteArchiveLogged(finalName, -1, c)) {
        // The earlier archive stays; the new one cannot take its place.
        DeleteZipArchive(tempName, -1);
        return false;
    }
    // Another run may place its archive between the deletion and the rename: the name is cleared again
    // a few times, and a temporary archive that could not take it never stays behind.
    if (!MayDestroy(finalName)) {
        DeleteZipArchive(tempName, -1);
        return false;
    }
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (RenameZipArchive(tempName, finalName, 0) == 0)
            return true;
        if (!XlFileExists(finalName, false) || !DeleteArchiveLogged(finalName, -1, c))
            break;
    }
    const bool placed = RenameLogged(tempName, finalName, c);
    if (!placed)
        DeleteZipArchive(tempName, -1);
    return placed;
}

void TZipRun::KeepArchiveVersions(const std::string& z, TFolderCounters& c)
{
    const TSecSettings& sec = FTask.BakSec;
    std::string folder = FolderOf(z);
    if (sec.DirMode != sdNone) {
        folder = AddPathDelimiter(folder + sec.DirPrefix + sec.DirSuffix);
        TEngineFileOps ops(FLog, FControl);
        ops.SetMaxWaitTime(0);
        if (!ops.CreateDirectoryLogged(StripDelimiter(folder), "B", true))
            return;
    }
    std::string suffix = "." + (sec.FileSuffix.empty() ? std::string("#") : sec.FileSuffix);
    if (suffix.find('#') == std::string::npos)
        suffix += "#";
    auto version = [&](int n) {
        return folder + InsertNameSuffix(NameOf(z), ReplaceAll(suffix, "#", TwoDigits(n)));
    };
    auto del = [&](const std::string& name) { return DeleteArchiveLogged(name, -1, c); };
    const TDateTime limit = std::floor(Now()) - 7.0 * sec.AgeInWeeks;
    // Keep at least the previous archive, whatever the maximum says.
    const int maxHist = std::max(sec.MaxHist, 1);
    for (int n = maxHist; n >= 2; --n) {
        std::string older = version(n - 1);
        if (!XlFileExists(older, false))
            continue;
        if (sec.AgeInWeeks > 0 && XlGetFileAge(older, false) <= limit && n > sec.MinHist) {
            del(older);
            continue;
        }
        std::string newer = version(n);
        if (XlFileExists(newer, false) && !del(newer))
            continue;
        RenameLogged(older, newer, c);
    }
    for (int n = maxHist + 1; n <= 99; ++n)
        if (XlFileExists(version(n), false))
            del(version(n));
    if (!XlFileExists(z, false))
        return;
    std::string first = version(1);
    if (XlFileExists(first, false) && !del(first))
        return;
    RenameLogged(z, first, c);
}

// ---- the run frame

void AttachZipRun(TBackupEngine& engine, TZipRun& zip)
{
    auto inner = engine.BackupDirectory;
    auto runStart = std::make_shared<TDateTime>(-1);
    engine.BackupDirectory = [&engine, &zip, inner,
                              runStart](TExtensionList& entry, const std::string& srcDir,
                                        const std::string& destDir, bool prompt, TFolderCounters& counters) {
        if (*runStart != engine.StartTime) {
            *runStart = engine.StartTime;
            zip.BeginRun();
        }
        zip.BaseDir = engine.BaseDir;
        zip.FtpDir = engine.FtpDir;
        zip.ZipName = engine.ZipName;
        zip.ActPwd = engine.ActPwd;
        zip.StartTime = engine.StartTime;
        zip.VolLabel = engine.FirstSourceLabel();
        const int mode = engine.Task.DestMode;
        if (WritesRunArchive(mode)) {
            if (!zip.PrepareFolder(AddPathDelimiter(srcDir), counters)) {
                engine.StopFolderLoop = true;
                return;
            }
            engine.WriteDestLine(zip.RunArchiveName());
        }
        if (inner)
            inner(entry, srcDir, destDir, prompt, counters);
        if (mode == BackupMethod::ZipPerRoot)
            zip.FinishFolder(engine.BuStatus == bsOK, counters);
    };
    engine.FinishRun = [&engine, &zip, runStart](TFolderCounters& total, std::string& failure) {
        if (*runStart != engine.StartTime)
            return; // no folder of this run reached the copy loop
        std::string text = zip.FinishRun(engine.BuStatus == bsOK, total);
        if (!text.empty() && failure.empty())
            failure = text;
        *runStart = -1;
    };
}
