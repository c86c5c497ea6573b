#include "backup/OptionRules.h"

#include "backup/EngineCodes.h"
#include "rtl/Gettext.h"

namespace {

// File systems on which the extra data of a file (alternate streams as extended attributes, access
// rights) can be kept. Linux's own file systems keep both, like NTFS.
bool KeepsStreams(TFileSystem fs)
{
    return fs == fsNtfs || fs == fsExt4 || fs == fsBTRFS;
}

// File systems with a trash: NTFS and ReFS, and Linux's own (freedesktop trash).
bool HasTrash(TFileSystem fs)
{
    return fs == fsNtfs || fs == fsReFS || fs == fsExt4 || fs == fsBTRFS;
}

// Copy document summary: a local destination on NTFS without encryption or compression.
void UpdateCopySummary(TTaskSettings& task, TOptionStates& states)
{
    const bool local = !IsZipMethod(task.DestMode) && !task.BuFtp;
    states.CopySummaryEnabled = local && task.TargetType == fsNtfs && !task.cbEncrypt && !task.cbCompress;
    if (!states.CopySummaryEnabled)
        task.cbCopySummary = false;
}

void UpdateAltStreams(TTaskSettings& task, const TOptionFacts& facts, TOptionStates& states)
{
    const bool local = !IsZipMethod(task.DestMode) && !task.BuFtp;
    states.AltStreamsEnabled =
        local && KeepsStreams(task.TargetType) && !task.cbCompress && facts.VistaOrLater;
    if (!states.AltStreamsEnabled)
        task.cbAltStreams = false;
}

void UpdateCopyPerms(TTaskSettings& task, TOptionStates& states)
{
    const bool local = !IsZipMethod(task.DestMode) && !task.BuFtp;
    states.CopyPermsEnabled = local && KeepsPermissions(task.TargetType);
    if (!states.CopyPermsEnabled)
        task.cbCopyPerms = false;
}

} // namespace

std::string ZipSplitSizeProblem(int destMode, int64_t maxZipSize)
{
    if (!IsZipMethod(destMode) || destMode > BackupMethod::ZipFullPath || maxZipSize == 0 ||
        maxZipSize >= MinZipSplitSize)
        return std::string();
    return SafeFormat(
        _("the zip split size of %s bytes is below the smallest split size of %s bytes (64 KiB)"),
        {std::to_string(maxZipSize), std::to_string(MinZipSplitSize)});
}

bool KeepsPermissions(TFileSystem fs)
{
    return fs == fsNtfs || fs == fsLtfs || fs == fsRemote || fs == fsReFS || fs == fsBTRFS || fs == fsExt4;
}

bool IsFolderMethod(const TTaskSettings& task, int dirCount)
{
    return task.DestMode == BackupMethod::DriveFolders || task.DestMode == BackupMethod::FullPath ||
           task.DestMode == BackupMethod::RootFolders ||
           (task.DestMode == BackupMethod::OneFolder && dirCount <= 1);
}

void UpdateEncryptionControls(TTaskSettings& task, TOptionStates& states)
{
    states.FixPwdEnabled = task.cbEncrypt;
    if (task.cbEncrypt) {
        states.PwdBtnEnabled = task.cbFixPwd;
    } else {
        task.cbFixPwd = false;
        states.PwdBtnEnabled = false;
    }
    UpdateCopySummary(task, states);
}

void UpdateProcessingOptions(TTaskSettings& task, const TOptionFacts& facts, TOptionStates& states)
{
    states.ZipEncPanelVisible = task.cbEncrypt;
    states.EncNamesEnabled = IsZipMethod(task.DestMode);
    if (!IsZipMethod(task.DestMode)) {
        states.ZipPanelVisible = false;
        states.CompressEnabled = !(task.cbZipCompress && task.cbEncrypt);
    } else {
        states.ZipCompressVisible = false;
        task.cbZipCompress = false;
        states.ZipPanelVisible = true;
        states.CompressEnabled = !task.cbEncrypt;
        if (!states.CompressEnabled)
            task.cbCompress = true; // zip encryption always compresses
    }
    states.NoCompTypesVisible = task.cbCompress && states.CompressEnabled;
    states.ZipCompressVisible = !IsZipMethod(task.DestMode) && task.cbCompress;
    UpdateCopySummary(task, states);
    UpdateAltStreams(task, facts, states);
    UpdateCopyPerms(task, states);
}

void UpdateOptionStates(TTaskSettings& task, const TOptionFacts& facts, TOptionStates& states)
{
    const bool local = !IsZipMethod(task.DestMode) && !task.BuFtp;
    states.ReplModeVisible = !task.BuFtp;
    states.ZipCompressVisible = !IsZipMethod(task.DestMode) && task.cbCompress;
    states.OtherGroupEnabled = !task.BuFtp;
    const bool group = IsFolderMethod(task, facts.DirCount) && task.BuModeCB == bmUpdate;
    states.SyncGroupEnabled = group;
    states.VerifyEnabled = true;
    states.DriveIdEnabled = true;
    states.DriveIdVisible =
        task.DestMode == BackupMethod::DriveFolders || task.DestMode == BackupMethod::ZipDriveFolders;
    UpdateCopySummary(task, states);
    UpdateAltStreams(task, facts, states);
    UpdateCopyPerms(task, states);
    states.SourceDeleteEnabled = !task.cbUseVss;
    if (!states.SourceDeleteEnabled)
        task.cbSourceDelete = false;
    states.CreationTimeEnabled = local;
    if (!local || IsZipMethod(task.DestMode))
        task.cbCreationTime = false;
    states.NoAttributesVisible = local;

    states.KeepBakEnabled =
        group || (task.DestMode == BackupMethod::ZipAll && task.MaxZipSize == 0 && !task.BuFtp);
    if (!states.KeepBakEnabled)
        task.KeepBakCB = false;
    states.KeepSyncEnabled = group && task.SyncMode != 0;
    if (!states.KeepSyncEnabled)
        task.KeepSyncCB = false;
    states.SyncRecycleEnabled =
        !task.BuFtp && task.SyncMode != 0 && !task.KeepSyncCB && HasTrash(task.TargetType);
    if (!states.SyncRecycleEnabled && task.TargetType != fsNotAvail)
        task.cbSyncRecycle = false;
    states.BakNameBtnEnabled = states.KeepBakEnabled && task.KeepBakCB;
    states.SyncNameBtnEnabled = states.KeepSyncEnabled && task.KeepSyncCB;
    states.SyncBeforeAfterEnabled = task.SyncMode != 0;
}

void UpdateMethodPage(TTaskSettings& task, const TOptionFacts& facts, TOptionStates& states)
{
    states.UseVssEnabled = facts.SourcesOnOneDrive &&
                           (facts.SourceType == fsNtfs || facts.SourceType == fsReFS) && facts.VssAvailable &&
                           facts.IsAdmin && facts.IsNative;
    if (!states.UseVssEnabled)
        task.cbUseVss = false;

    states.CryptPanelEnabled = !task.cbCopySummary;
    UpdateEncryptionControls(task, states);

    if (IsZipMethod(task.DestMode)) {
        states.ZipNameVisible = true;
        if (task.DestMode == BackupMethod::ZipPerRoot) {
            states.ZipNameEnabled = false;
            states.ZipPhBtnEnabled = false;
            if (task.ZipNameEdit.rfind('<', 0) != 0) {
                task.UserZipName = task.ZipNameEdit;
                task.ZipNameEdit = _("<root directory>");
            }
        } else {
            states.ZipNameEnabled = true;
            states.ZipPhBtnEnabled = true;
            if (task.ZipNameEdit.rfind('<', 0) == 0)
                task.ZipNameEdit = task.UserZipName;
        }
    } else {
        states.ZipNameVisible = false;
        states.ZipNameEnabled = false;
        states.ZipPhBtnEnabled = false;
    }

    UpdateOptionStates(task, facts, states);
    UpdateProcessingOptions(task, facts, states);

    if (task.BuModeCB != bmUpdate && !IsZipMethod(task.DestMode)) {
        states.UseArchivEnabled = false;
        states.ResArchivEnabled = false;
        states.ResArchivVisible = true;
        states.ArchFileVisible = false;
        states.CompareBtnVisible = false;
    } else {
        states.UseArchivEnabled = true;
        states.ResArchivEnabled = true;
        states.ResArchivVisible = task.UseArchivCB || IsZipMethod(task.DestMode);
        states.CompareBtnVisible = !task.UseArchivCB && !IsZipMethod(task.DestMode);
        states.ArchFileVisible = !IsZipMethod(task.DestMode);
    }
    states.PreviewItemsVisible =
        (task.UseArchivCB && (task.cbArchFile || task.ClearDest)) || IsZipMethod(task.DestMode);
}

void ShowDestinationPage(TTaskSettings& task, const TOptionFacts& facts, TOptionStates& states)
{
    UpdateOptionStates(task, facts, states);
    states.DelDirEnabled = true;
}

void ApplyBackupMethod(TTaskSettings& task, const TOptionFacts& facts, TOptionStates& states)
{
    if (!facts.MethodCheckOk)
        task.DestMode =
            !IsZipMethod(task.DestMode) ? BackupMethod::DriveFolders : BackupMethod::ZipDriveFolders;
    if (IsZipMethod(task.DestMode) || (task.DestMode == BackupMethod::OneFolder && facts.DirCount > 1)) {
        task.SyncMode = 0;
        task.BuModeCB = IsZipMethod(task.DestMode) ? bmFull : bmUpdate;
        states.BuModeEnabled = false;
        states.UseArchivEnabled = true;
        states.ResArchivEnabled = true;
        states.ArchFileVisible = true;
    } else {
        task.BuModeCB = bmUpdate;
        states.BuModeEnabled = true;
    }
    states.FollowJunctionEnabled =
        (task.DestMode == BackupMethod::DriveFolders || task.DestMode == BackupMethod::ZipDriveFolders) &&
        !task.BuFtp;
    if (!states.FollowJunctionEnabled)
        task.FollowJunctions = false;
    if (task.DestMode > BackupMethod::ZipAll)
        task.KeepBakCB = false;
    if (IsZipMethod(task.DestMode))
        task.KeepSyncCB = false;
    UpdateMethodPage(task, facts, states);
    ShowDestinationPage(task, facts, states);
    task.EditStatus = esChanged;
}

TOptionStates NormaliseTask(TTaskSettings& task, const TOptionFacts& facts)
{
    TOptionStates states;
    ShowBackupMode(task);
    states.BuModeEnabled =
        !(IsZipMethod(task.DestMode) || (task.DestMode == BackupMethod::OneFolder && facts.DirCount > 1));
    states.FollowJunctionEnabled =
        (task.DestMode == BackupMethod::DriveFolders || task.DestMode == BackupMethod::ZipDriveFolders) &&
        !task.BuFtp;
    ShowDestinationPage(task, facts, states);
    UpdateMethodPage(task, facts, states);
    if (states.UseVssEnabled && task.cbUseVss != task.UseVss) {
        // The rules that depend on the shadow-copy tick (deleting source files) follow it, so that a
        // second refresh finds nothing more to change.
        task.cbUseVss = task.UseVss;
        UpdateOptionStates(task, facts, states);
    }
    return states;
}
