#pragma once
// Which options of a backup task apply to its method, destination and file systems, as pure functions
// over the task settings. An option that does not apply is switched off in the settings themselves
// where the rules say so, so the editor and a batch run of the same task never disagree: the editor
// calls these routines after every change and sets its controls from the returned states, the run
// calls NormaliseTask after loading.

#include <cstdint>
#include <string>

#include "backup/TaskSettings.h"

// What the rules need to know beyond the task settings.
struct TOptionFacts
{
    int DirCount = 0;                    // number of source folders
    bool SourcesOnOneDrive = true;       // all source folders lie on one drive
    bool MethodCheckOk = true;           // the folders suit the method (unique names, one drive when needed)
    TFileSystem SourceType = fsNotAvail; // file system of the first source folder
    bool VssAvailable = false;           // a snapshot provider is there
    bool IsAdmin = false;                // the program runs elevated
    bool IsNative = true;                // the program runs natively
    bool VistaOrLater = true;            // alternate data streams can be copied
};

// Enabled and visible states of the controls the rules decide.
struct TOptionStates
{
    bool BuModeEnabled = true;
    bool UseArchivEnabled = true, ResArchivEnabled = true, ResArchivVisible = true;
    bool ArchFileVisible = true, CompareBtnVisible = true;
    bool PreviewItemsVisible = false;
    bool ReplModeVisible = true;
    bool ZipCompressVisible = true;
    bool OtherGroupEnabled = true;
    bool SyncGroupEnabled = true; // "Synchronize backup directory" and "Security backup …" groups
    bool VerifyEnabled = true, DriveIdEnabled = true, DriveIdVisible = true;
    bool CopySummaryEnabled = true, AltStreamsEnabled = true, CopyPermsEnabled = true;
    bool SourceDeleteEnabled = true, CreationTimeEnabled = true, NoAttributesVisible = true;
    bool KeepBakEnabled = true, KeepSyncEnabled = true, SyncRecycleEnabled = true;
    bool BakNameBtnEnabled = false, SyncNameBtnEnabled = false;
    bool SyncBeforeAfterEnabled = false;
    bool UseVssEnabled = false;
    bool CryptPanelEnabled = true, FixPwdEnabled = false, PwdBtnEnabled = false, EncNamesEnabled = false;
    bool ZipNameVisible = false, ZipNameEnabled = false, ZipPhBtnEnabled = false;
    bool ZipPanelVisible = false, ZipEncPanelVisible = false;
    bool CompressEnabled = true, NoCompTypesVisible = false;
    bool FollowJunctionEnabled = true;
    bool DelDirEnabled = true;
};

// The smallest size of a split zip volume, the smallest segment the zip format allows.
inline constexpr int64_t MinZipSplitSize = 65536;
// Why a zip method (4 to 7) cannot use the split size, empty when it can: 0 (one archive) and
// MinZipSplitSize or more can be used. The rules never change the size; a task with a size below the
// smallest is refused before it runs. Other methods ignore the size.
std::string ZipSplitSizeProblem(int destMode, int64_t maxZipSize);

// A folder method for the backup mode and synchronisation: 0, 1, 3, or 2 with at most one folder.
// File systems that keep access rights of their own (Linux's own ones too).
bool KeepsPermissions(TFileSystem fs);
bool IsFolderMethod(const TTaskSettings& task, int dirCount);

// The routines of the editor, in the order they call each other.
void UpdateEncryptionControls(TTaskSettings& task, TOptionStates& states);
void UpdateProcessingOptions(TTaskSettings& task, const TOptionFacts& facts, TOptionStates& states);
void UpdateOptionStates(TTaskSettings& task, const TOptionFacts& facts, TOptionStates& states);
void UpdateMethodPage(TTaskSettings& task, const TOptionFacts& facts, TOptionStates& states);
void ShowDestinationPage(TTaskSettings& task, const TOptionFacts& facts, TOptionStates& states);
// After a change of the method or of the folder list; marks the task changed.
void ApplyBackupMethod(TTaskSettings& task, const TOptionFacts& facts, TOptionStates& states);

// What the editor's refresh does after a task file was loaded: the backup mode from the archive-bit
// settings, the destination page with the option states and the method page, and the shadow-copy
// tick from UseVss when that option applies.
TOptionStates NormaliseTask(TTaskSettings& task, const TOptionFacts& facts);
