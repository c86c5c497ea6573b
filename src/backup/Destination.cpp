#include "backup/Destination.h"

#include <cmath>
#include <fstream>
#include <sstream>
#include <unistd.h>

#include "archive/FileErrors.h"
#include "backup/BackupRun.h"
#include "backup/EngineCodes.h"
#include "backup/EngineFileOps.h"
#include "backup/FolderDestination.h"
#include "backup/TimestampFile.h"
#include "foundation/ExtSysUtils.h"
#include "foundation/FileUtilsTimes.h"
#include "foundation/InitProg.h"
#include "foundation/PathUtils.h"
#include "foundation/PlaceHolders.h"
#include "foundation/QvUtilsAutoTask.h"
#include "foundation/QvUtilsDest.h"
#include "foundation/QvUtilsFolders.h"
#include "foundation/QvUtilsNames.h"
#include "foundation/QvUtilsTexts.h"
#include "foundation/StringUtils.h"
#include "foundation/WinApiUtils.h"
#include "foundation/WinDevUtils.h"
#include "foundation/WinNet.h"
#include "foundation/XlFileUtils.h"
#include "platform/MountTable.h"
#include "rtl/Gettext.h"
#include "rtl/SysUtils.h"

namespace {

const TMountExpectations DefaultExpectations;
const TMountExpectations* Expectations = &DefaultExpectations;

std::string StripDelimiter(std::string path)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

// Dir + "/" + part, where part may be empty or end with a delimiter.
std::string JoinDest(const std::string& dir, const std::string& part)
{
    std::string p = part;
    while (!p.empty() && p.front() == '/')
        p.erase(0, 1);
    if (p.empty())
        return StripDelimiter(dir);
    return StripDelimiter(AddPathDelimiter(dir) + p);
}

// Path lies in Dir or is Dir itself.
bool IsAtOrBelow(const std::string& dir, const std::string& path)
{
    return IsSameDirectory(dir, path) || IsSubPath(dir, path);
}

// The mount points of the fstab file that are meant to hold files (no swap, no pseudo entries).
std::vector<std::string> FstabMountPoints(const std::string& fileName)
{
    std::vector<std::string> result;
    std::ifstream in(fileName);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string spec, file, type;
        if (!(fields >> spec >> file >> type) || spec.empty() || spec[0] == '#')
            continue;
        file = UnescapeMountField(file);
        if (file.size() < 2 || file[0] != '/' || type == "swap" || IsPseudoFileSystem(type))
            continue;
        result.push_back(StripDelimiter(file));
    }
    return result;
}

// The plain parts of a source path: the drive ("//server/share" or nothing) and the path below it.
TSourceLocation PlainLocation(const std::string& src)
{
    TSourceLocation location;
    location.Src = AddPathDelimiter(src);
    location.Drive = ExtractDrivePart(location.Src);
    std::string rel = RemoveDrive(location.Src);
    while (!rel.empty() && rel.front() == '/')
        rel.erase(0, 1);
    location.Rel = rel.empty() ? std::string() : AddPathDelimiter(rel);
    return location;
}

// Where a folder of a labelled volume lies now that the volume is mounted at mountPoint: the folder
// itself when it is already there, else the part after the folder named after the label (removable
// media are mounted in a folder of that name). False when the path does not tell where it is.
bool PathOnVolume(const std::string& path, const std::string& label, const std::string& mountPoint,
                  std::string& rel)
{
    const std::string dir = AddPathDelimiter(path);
    if (IsAtOrBelow(mountPoint, dir)) {
        rel = MakeRelativePath(AddPathDelimiter(mountPoint), dir);
        if (IsSameDirectory(mountPoint, dir))
            rel.clear();
        return true;
    }
    const std::string marker = "/" + label + "/";
    size_t pos = std::string::npos;
    for (size_t i = 0; i + marker.size() <= dir.size(); ++i)
        if (utf8::SameText(std::string_view(dir).substr(i, marker.size()), marker))
            pos = i;
    if (pos == std::string::npos)
        return false;
    rel = dir.substr(pos + marker.size());
    return true;
}

} // namespace

// ---- names

std::string AlternatingFolderName(const TSchedule& s, int modeIndex)
{
    std::string name = s.StepMode == 1 ? "BD" : "BW";
    name += SafeFormat(s.NumZyk > 99 ? "%.3d" : "%.2d", {s.AktZyk});
    if (s.SchedMode != smNormal)
        name += modeIndex == 1 ? "F" : modeIndex == 2 ? "D" : "I";
    return name;
}

std::string AlternatingCycleText(const TSchedule& s)
{
    std::string text;
    if (s.StepMode == 1) {
        const std::string day = GetLongDayName((s.AktZyk - 1) % 7 + 1);
        if (s.NumZyk % 7 != 0)
            text = _("day") + " " + std::to_string(s.AktZyk);
        else if (s.NumZyk == 7)
            text = day;
        else
            text = std::to_string((s.AktZyk - 1) / 7 + 1) + ". " + day;
    } else {
        text = _("week") + " " + std::to_string(s.AktZyk);
    }
    return " (" + text + ")";
}

std::string DriveFolderName(const std::string& driveId, const TSourceLocation& location)
{
    if (location.VolumeNamed && !location.Drive.empty() && location.Drive[0] != '/')
        return AddPathDelimiter(location.Drive);
    return GetDriveDirName(driveId, location.Drive);
}

std::string SourceFolderDestination(int destMode, const std::string& driveId, const std::string& dest,
                                    const TSourceLocation& location)
{
    switch (destMode) {
    case BackupMethod::DriveFolders:
    case BackupMethod::ZipDriveFolders:
        return JoinDest(JoinDest(dest, DriveFolderName(driveId, location)), location.Rel);
    case BackupMethod::FullPath:
    case BackupMethod::ZipFullPath:
        return JoinDest(dest, location.Rel);
    case BackupMethod::RootFolders:
        return JoinDest(dest, GetLastDirName(location.Rel));
    default:
        return StripDelimiter(dest);
    }
}

// ---- mounts

void SetMountExpectations(const TMountExpectations* expectations)
{
    Expectations = expectations ? expectations : &DefaultExpectations;
}

std::string UnmountedDrive(const std::string& path)
{
    if (path.empty() || path[0] != '/' || (path.size() > 1 && path[1] == '/'))
        return {};
    const std::string target = StripDelimiter(path);
    const std::string existing = ExistingAncestor(target);
    TVolumeInfo volume;
    if (existing.empty() || !VolumeProvider::Current().QueryVolume(existing, volume))
        return {};
    const std::string mountPoint = StripDelimiter(volume.MountPoint);
    // A mount point of the fstab file between the volume that holds the path and the path itself.
    std::string drive;
    for (const auto& point : FstabMountPoints(Expectations->FstabFile))
        if (IsAtOrBelow(point, target) && IsSubPath(mountPoint, point) &&
            !IsSameDirectory(mountPoint, point) && (drive.empty() || IsSubPath(point, drive)))
            drive = point;
    if (!drive.empty())
        return drive;
    // Under a mount root of removable media only a volume mounted there is the place meant.
    for (const auto& root : Expectations->RemovableRoots) {
        if (!IsSubPath(root, target) || IsSameDirectory(root, target))
            continue;
        if (IsSubPath(root, mountPoint) && !IsSameDirectory(root, mountPoint))
            return {};
        if (IsSubPath(root, existing) && !IsSameDirectory(root, existing))
            return StripDelimiter(existing);
        std::string first = MakeRelativePath(AddPathDelimiter(root), target);
        first = first.substr(0, first.find('/'));
        return JoinDest(root, first);
    }
    return {};
}

// ---- the engine's destination

TSourceLocation TBackupEngine::LocateSource(const TExtensionList& entry) const
{
    TSourceLocation location = PlainLocation(entry.SPath);
    if (!entry.VName.empty() && !Task.NoVolCheck) {
        std::string mountPoint = FindDriveByLabel(entry.VName);
        std::string rel;
        if (!mountPoint.empty() && PathOnVolume(entry.SPath, entry.VName, mountPoint, rel)) {
            location.Src = AddPathDelimiter(mountPoint + rel);
            location.Drive = MakesDriveFolders(Task.DestMode) ? entry.VName : mountPoint;
            location.Rel = rel;
            location.VolumeNamed = true;
        }
    }
    return location;
}

uint32_t TBackupEngine::CheckVolume(const TExtensionList& entry, TSourceLocation& location, bool mayAsk)
{
    constexpr uint32_t driveNotAvailable = 15;
    constexpr uint32_t skipped = 1246;
    location = PlainLocation(entry.SPath);
    if (!entry.VName.empty() && !Task.NoVolCheck) {
        // A folder on removable media named by its volume: wherever that volume is mounted now.
        for (;;) {
            const std::string mountPoint = FindDriveByLabel(entry.VName);
            if (!mountPoint.empty()) {
                std::string rel;
                if (!PathOnVolume(entry.SPath, entry.VName, mountPoint, rel))
                    return driveNotAvailable;
                location.Src = AddPathDelimiter(mountPoint + rel);
                location.Drive = MakesDriveFolders(Task.DestMode) ? entry.VName : mountPoint;
                location.Rel = rel;
                location.VolumeNamed = true;
                return 0;
            }
            if (!mayAsk || Task.SkipDir)
                return driveNotAvailable;
            const std::string volume = "\"" + entry.VName + "\" (" + StripDelimiter(entry.SPath) + ")";
            if (!FInteraction.Confirm(
                    SafeFormat(_("Volume %s not found!\r\nPlease insert medium!"), {volume})))
                return skipped;
        }
    }
    int kind = GetPathKind(location.Src);
    if (kind == PATH_NOT_AVAILABLE && ReconnectPath(location.Src))
        kind = GetPathKind(location.Src);
    if ((kind == PATH_LOCAL_FIXED || kind == PATH_REMOVABLE) && !UnmountedDrive(location.Src).empty())
        kind = PATH_NOT_AVAILABLE;
    if (kind == PATH_NOT_AVAILABLE)
        return driveNotAvailable;
    if (kind == PATH_NETWORK) {
        TUserAccount account;
        account.Username = Task.UserAccount;
        uint32_t rc =
            ConnectToShare(location.Src, GetCurrentUserName(), account, true, mayAsk && !Task.SkipDir);
        if ((rc & 0xFFFF) != 0)
            return rc;
        location.Src = AddPathDelimiter(ShareLocalPath(location.Src));
    } else if (kind == PATH_REMOVABLE) {
        std::string label;
        if (!GetVolumeLabel(location.Src, label))
            return driveNotAvailable;
    }
    return 0;
}

std::string TBackupEngine::FolderDestination(const TSourceLocation& location) const
{
    return SourceFolderDestination(Task.DestMode, Task.DriveId, BaseDir, location);
}

bool TBackupEngine::WriteTestOfDestination(const std::string& dest)
{
    std::string target = dest;
    if (!Task.Folders.Empty()) {
        const TSourceLocation first = LocateSource(Task.Folders[0]);
        switch (Task.DestMode) {
        case BackupMethod::OneFolder:
        case BackupMethod::ZipAll:
        case BackupMethod::ZipPerRoot:
            break;
        case BackupMethod::FullPath:
        case BackupMethod::RootFolders:
        case BackupMethod::ZipFullPath:
            target = SourceFolderDestination(Task.DestMode, Task.DriveId, dest, first);
            break;
        default:
            target = JoinDest(dest, DriveFolderName(Task.DriveId, first));
            break;
        }
    }
    return CheckWriteAccess(target);
}

bool TBackupEngine::PrepareLocalDestination(bool mediaPrompts, int waitCode, bool& stop, std::string& failure)
{
    TEngineFileOps ops = MakeOps();
    ops.SetMaxWaitTime(ProgSettings.OtherSettings.MaxWaitTime);
    std::string x = BaseDest;
    if (!BuDir.empty())
        x = IsAbsolutePath(BuDir) ? BuDir : AddPathDelimiter(x) + BuDir;
    std::string message;
    bool checked = false;
    bool connected = false;
    std::string label;
    std::string resolved = x;
    const int volume = ResolveVolumeName(resolved, label, mediaPrompts);
    if (volume == 1) {
        x = resolved;
        checked = true;
    } else if (volume == 0) {
        int kind = GetPathKind(x);
        if (kind == PATH_NOT_AVAILABLE && ReconnectPath(x))
            kind = GetPathKind(x);
        // A volume that should hold the folder but is not mounted is a drive that is not ready: the
        // backup would otherwise land on the volume beneath the empty mount point.
        std::string drive;
        if (kind == PATH_LOCAL_FIXED || kind == PATH_REMOVABLE) {
            drive = UnmountedDrive(x);
            if (!drive.empty())
                kind = PATH_NOT_AVAILABLE;
        }
        if (drive.empty())
            drive = StripDelimiter(x);
        auto ready = [&x, kind]() {
            std::string l;
            if (kind == PATH_REMOVABLE)
                return GetVolumeLabel(x, l) && UnmountedDrive(x).empty();
            return GetPathKind(x) != PATH_NOT_AVAILABLE && UnmountedDrive(x).empty();
        };
        switch (kind) {
        case PATH_NETWORK: {
            TUserAccount account;
            SetUserAccount(Task.UserAccount, Task.UserPwd, account);
            if (!Task.UserAccount.empty() && Task.UserPwd.empty() && waitCode == 0) {
                std::string pwd;
                if (FInteraction.AskPassword(
                        ProgramName,
                        SafeFormat(_("Network connection to \"%s\" for user \"%s\" requires a password!"),
                                   {x, Task.UserAccount}),
                        pwd))
                    account.Password = pwd;
            }
            uint32_t rc = ConnectToShare(x, GetCurrentUserName(), account, false, waitCode == 0);
            if ((rc & 0xFFFF) != 0) {
                message = _("Error connecting to network resource: ") + SystemErrorMessage(rc & 0xFFFF);
            } else {
                connected = !Task.UserAccount.empty();
                x = ShareLocalPath(x);
                checked = true;
            }
            break;
        }
        case PATH_NOT_AVAILABLE:
        case PATH_REMOVABLE:
            checked = kind == PATH_REMOVABLE && ready();
            while (!checked && mediaPrompts) {
                if (!FInteraction.Confirm(
                        SafeFormat(_("Drive \"%s\" not ready!\r\nPlease insert medium!"), {drive}))) {
                    stop = true;
                    break;
                }
                checked = ready();
            }
            if (!checked)
                message = SafeFormat(_("Drive \"%s\" not ready!"), {drive});
            break;
        case PATH_NO_DRIVE: {
            char cwd[4096];
            if (getcwd(cwd, sizeof cwd))
                x = AddPathDelimiter(cwd) + x;
            checked = true;
            break;
        }
        default:
            checked = true;
            break;
        }
    }
    if (checked) {
        if (!ops.CreateDirectoryLogged(x, "B", false) || !WriteTestOfDestination(x))
            message = SafeFormat(_("Could not write to path \"%s\"!"), {x});
    }
    if (checked && message.empty()) {
        BaseDir = x;
        TargetType = GetFileSystem(x);
        std::string volumeText = connected ? GetLastConnection() : GetVolumeName(x);
        if (!volumeText.empty())
            volumeText += " - ";
        volumeText += FormatSize(true, static_cast<int64_t>(GetDiskFreeBytes(x))) + _(" free of ") +
                      FormatSize(true, static_cast<int64_t>(GetDiskTotalBytes(x)));
        FLog.WriteToLog("  " + _("Destination volume: ") + volumeText);
        // The system's own name of the file system (ext4, btrfs …) says more here than its class.
        std::string fsName = GetFileSystemName(x);
        FLog.WriteToLog(lmLong,
                        "  " + _("File system: ") + (fsName.empty() ? FileSystemName(TargetType) : fsName));
        std::string user;
        if (connected && GetConnectedUser(user))
            FLog.WriteToLog("  ==> " + SafeFormat(_("Connected as \"%s\""), {user}));
        else
            FLog.WriteToLog(lmLong, "  " + UserNameText());
        FDestinationShare = connected;
        return true;
    }
    if (!message.empty())
        FLog.WriteToLog("  *** " + message);
    failure = SafeFormat(_("Directory \"%s\" not available for backup!"), {x});
    FLog.WriteToLog("  *** " + failure);
    return false;
}

bool TBackupEngine::PrepareBaseFolder(int nr, TAutoTask* slot, std::string& failure)
{
    CycleText.clear();
    if (nr > 0 && slot && slot->SchedProps.StepMode > 0) {
        const TSchedule& s = slot->SchedProps;
        const int modeIndex = AlternatingModeIndex(s);
        if (s.SchedMode != smNormal) {
            if (modeIndex == 1) {
                if (Task.UseArchivCB)
                    Task.ClearDest = false;
                Task.UseArchivCB = false;
                Task.ResArchivCB = true;
            } else {
                Task.ClearDest = !IsZipMethod(Task.DestMode);
                Task.UseArchivCB = true;
                Task.ResArchivCB = modeIndex == 3;
            }
        }
        BaseDir = AddPathDelimiter(BaseDir) + AlternatingFolderName(s, modeIndex);
        CycleText = AlternatingCycleText(s);
        TEngineFileOps ops = MakeOps();
        ops.SetMaxWaitTime(ProgSettings.OtherSettings.MaxWaitTime);
        if (!ops.CreateDirectoryLogged(BaseDir, "B", false)) {
            FLog.WriteToLog("  *** " + SafeFormat(_("Could not create directory: \"%s\""), {BaseDir}));
            failure = SafeFormat(_("Could not create directory:\r\n\"%s\""), {BaseDir});
            return false;
        }
    } else if (nr <= 0 && SpecMode > 0) {
        Task.UseArchivCB = (SpecMode & 2) != 0;
        Task.ResArchivCB = (SpecMode & 1) != 0;
        if (SpecMode > 1 && !IsZipMethod(Task.DestMode))
            Task.ClearDest = true;
    }
    return true;
}

void TBackupEngine::ClearFolderDestination(int index, const TSourceLocation& location, const std::string& sub,
                                           TFolderCounters& counters)
{
    if (!Task.ClearDest || !KeepsFolders(Task.DestMode))
        return;
    // With the archive bit a destination is cleared once a day: the time-stamp file tells when.
    if (Task.UseArchivCB && !(std::floor(StartTime) > std::floor(LastTimestamp)))
        return;
    if (!NoEarlierSourceInside(Task, location.Src, index)) {
        FLog.WriteErrorToLog("B", SafeFormat(_("Overlapping directory was not deleted: \"%s\""), {sub}));
        return;
    }
    TEngineFileOps ops = MakeOps();
    ops.SetMaxWaitTime(ProgSettings.OtherSettings.MaxWaitTime);
    ops.TargetType = TargetType;
    FProgress.SetActionHint(_("is being deleted"));
    FProgress.SetPrompt(sub);
    int deleted = 0, errors = 0;
    const int expected = index < Task.Folders.Count() ? Task.Folders[index].ICount : 0;
    if (ops.ClearDirectory(sub, std::string(), "B", false, true, true, expected, DeletedCount, deleted,
                           errors, &FProgress)) {
        DeletedCount += deleted;
        FProgress.WriteStatus(
            2, FormatCount(_("No files deleted"), _("1 file deleted"), _("%u files deleted"), DeletedCount));
        if (deleted > 0)
            FLog.WriteToLog("  ->  " + SafeFormat(_("Contents of directory was deleted: \"%s\""), {sub}) +
                            FileCountText(deleted, true));
    } else {
        DeletedCount += deleted;
        const std::string message = SafeFormat(_("Error deleting contents of directory: \"%s\""), {sub});
        FProgress.WriteStatus(2, message);
        FLog.WriteErrorToLog("B", message);
    }
    counters.ErrorCount += errors;
}

void TBackupEngine::FinishLocalDestination(bool alternating, const std::string& lastSub,
                                           TFolderCounters& counters)
{
    if (BaseDir.empty())
        return;
    if (!alternating && IsEmptyExceptTimestamp(BaseDir)) {
        // A per-run folder that received nothing does not remain; the configured folder itself does.
        TEngineFileOps ops = MakeOps();
        if (!ops.MayDestroy(StripDelimiter(BaseDir), "B"))
            return;
        XlDeleteExistingFile(AddPathDelimiter(BaseDir) + TimestampFileName);
        const bool configured = BuDir.empty() && !HasNamePlaceholders(Task.BuZiel);
        if (!configured)
            XlRemoveDir(StripDelimiter(BaseDir));
        return;
    }
    if (alternating || Task.ClearDest || Task.WriteTsFile) {
        try {
            WriteTimestampFile(BaseDir, StartTime);
        } catch (const EInOutError& e) {
            FLog.WriteErrorToLog(
                "B",
                SafeFormat(_("Error writing to \"%s\""), {AddPathDelimiter(BaseDir) + TimestampFileName}),
                static_cast<uint32_t>(e.ErrorCode));
            ++counters.ErrorCount;
        }
    }
    if (!IsSameDirectory(lastSub, BaseDir) || Task.DestMode == BackupMethod::OneFolder) {
        uint32_t e = SetDirLocalTime(StripDelimiter(BaseDir), DateTimeToFileTime(StartTime), false);
        if (e != 0)
            FLog.WriteErrorToLog(lmWarningLine, "B",
                                 FormatFileError(EngineError::WarnTime, BaseDir, TimeStampToStr(StartTime)),
                                 e);
    }
}
