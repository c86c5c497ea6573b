#pragma once
// The settings of one backup task as the task editor and the backup run share them, the values a new
// task starts with, the version counts of the security-copy suffix and the backup-mode mapping.
//
// The model is plain data: a setting that the editor shows in a check box is a bool named after that
// check box (cbVerify, UseArchivCB …), the text of an edit or combo box is a string named after the
// control (BuZiel, ZipNameEdit), everything else keeps the field name of the form. The editor binds its
// controls to these members; the run reads them. Nothing here touches a window.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "archive/FtpUtils.h"
#include "backup/BuMailDlg.h"
#include "backup/ExtensionList.h"
#include "backup/ExternalProg.h"
#include "backup/TimePeriod.h"
#include "foundation/BuConsts.h"
#include "foundation/QvUtilsFolders.h"
#include "foundation/StringUtils.h"
#include "rtl/DateTime.h"
#include "rtl/StringList.h"

// Priorities of the copy threads, in the order the task file stores them.
enum TThreadPriority : int
{
    tpIdle,
    tpLowest,
    tpLower,
    tpNormal,
    tpHigher,
    tpHighest,
    tpTimeCritical
};

// Items of the backup-mode box, in their order.
enum TBackupModeItem : int
{
    bmUpdate,
    bmFull,
    bmDifferential,
    bmIncremental
};

// Key strength chosen with the three encryption radio buttons (the values of the key "Encrypt").
enum TCryptKeyMode : int
{
    ckAuto = 1,
    ck128 = 2,
    ck256 = 3
};

// Bits of TaskProtMode (the key "LogFile").
constexpr int LogModeMask = 0x03;
constexpr int LogWarnings = 0x04;
constexpr int LogPrint = 0x40;
constexpr int LogErrorSummary = 0x80;
constexpr int LogDeletePrevious = 0x100;
constexpr int LogOwnFileDefault = 0x200; // program setting only: new tasks get "%taskname%.log"
constexpr int LogShowErrors = 0x400;

// Bits of the wait word of an external program.
constexpr int ProgWaitSecondsMask = 0x0FFF;
constexpr int ProgShowConsole = 0x1000;
constexpr int ProgActive = 0x2000;
constexpr int ProgIgnoreTimeout = 0x4000;
constexpr int ProgRunAsAdmin = 0x8000;

// The source folders of a task in list order, each owning its TExtensionList. Copying a task copies
// its folders.
class TSourceFolders
{
public:
    TSourceFolders() = default;
    TSourceFolders(const TSourceFolders& other) { *this = other; }
    TSourceFolders& operator=(const TSourceFolders& other);
    TSourceFolders(TSourceFolders&&) noexcept = default;
    TSourceFolders& operator=(TSourceFolders&&) noexcept = default;

    int Count() const { return static_cast<int>(FItems.size()); }
    bool Empty() const { return FItems.empty(); }
    TExtensionList& operator[](int index) { return *FItems.at(static_cast<size_t>(index)); }
    const TExtensionList& operator[](int index) const { return *FItems.at(static_cast<size_t>(index)); }
    // Appends an entry and returns it.
    TExtensionList& Add(std::unique_ptr<TExtensionList> entry);
    void Delete(int index);
    void Clear() { FItems.clear(); }
    auto begin() { return FItems.begin(); }
    auto end() { return FItems.end(); }
    auto begin() const { return FItems.begin(); }
    auto end() const { return FItems.end(); }

private:
    std::vector<std::unique_ptr<TExtensionList>> FItems;
};

struct TTaskSettings
{
    // --- identity
    std::string ActTaskName;    // the file being edited; empty for a new task
    std::string LoadedTaskName; // the file last loaded or saved
    std::string TaskNote;       // description (comma text of its lines)
    std::string TaskPwd;        // overwrite protection; empty = none
    TEditStatus EditStatus = esNew;
    // Command-line overrides: a folder that replaces the task's first folder, and a share account.
    std::string ReplSourceDir;
    std::string CmdAltUserName;
    std::string CmdAltUserPwd;
    TTimePeriod CmdTmPeriod = CommandLinePeriod(); // time window of the command line; tmOff = none

    // --- destination
    bool BuFtp = false;
    std::string BuZiel;                  // destination folder (text of the destination box)
    TFileSystem TargetType = fsNotAvail; // not stored
    std::string UserAccount;
    std::string UserPwd;
    std::string DriveId;
    TFtpParams FtpPar; // the FTP server when BuFtp

    // --- backup method and archives
    int DestMode = 0;
    std::string UserZipName = DefaultZipName();
    std::string ZipNameEdit = DefaultZipName(); // text of the zip-name edit ("<root directory>…" for 5)
    int64_t MaxZipSize = 0;

    // --- backup mode
    bool ClearDest = false;
    bool UseArchivCB = false;
    bool ResArchivCB = false;
    bool cbArchFile = false;
    int BuModeCB = bmUpdate; // the item the backup-mode box shows

    // --- processing
    bool cbSourceDelete = false;
    int DelSourceDelDir = 0;
    bool cbVerify = false;
    bool UseVss = false;
    bool cbUseVss = false;
    bool cbCompress = false;
    bool cbZipCompress = false;
    TStringList AktNoComp = MakeTypeList(); // extensions not compressed
    bool cbEncrypt = false;
    TCryptKeyMode CryptKeyMode = ckAuto; // rbEncAuto, rbEnc128, rbEnc256
    bool cbEncNames = false;
    bool cbFixPwd = false;
    int LastCrypt = 0; // stored choice: 0 off, 1 automatic, 2 128 bit, 3 256 bit
    bool EncChg = false;
    std::string CryptPwd;
    TTextChange FnMode = tcNone;
    TCharRepl ReplMode = cpNot;
    int ReplChar = '~'; // character code

    // --- copying
    int TaskBufferSize = 0;
    int CopyTimeout = 60;
    int TimeOutMax = 5;
    int MaxRate = 0;
    TThreadPriority TaskPriority = tpNormal;
    bool FullSpeed = true;
    int DeltaTime = 2;
    int DstIgnore = 2;
    int CompareMode = 0;
    bool IgnoreJunctions = true;
    bool UseJunctions = false;
    bool FollowJunctions = false;
    bool ScanDirs = false;
    bool NoWriteCache = false;
    bool WriteTsFile = false;
    bool SkipDir = false;
    bool DisplayOff = false;
    bool NoVolCheck = false;
    bool IncludeSubDirs = false;
    bool cbCopySummary = false;
    bool cbAltStreams = false;
    bool cbCopyPerms = false;
    bool cbCreationTime = true;
    bool cbNoAttributes = false;
    bool cbDelDir = false;

    // --- log
    int TaskProtMode = 0;
    bool ShowErrors = false;
    bool ErrorSummary = false;
    std::string TaskLogName;
    std::string LastLogFile; // resolved log file; not stored

    // --- synchronisation and security copies
    int SyncMode = 0;
    bool SyncBefore = false;
    bool cbSyncRecycle = false;
    bool KeepBakCB = false;
    bool KeepSyncCB = false;
    TSecSettings BakSec;
    TSecSettings SyncSec;

    // --- external programs
    int CmdEnc = 0;
    bool cbPreC = false; // mirrors epActive of BuPreCmd.Wait
    bool cbPostC = false;
    TExternalProg BuPreCmd;
    TExternalProg BuPostCmd;

    // --- mail
    bool cbMail = false; // MailMode != mmNone
    TMailMode MailMode = mmNone;
    TMailData MailData;

    // --- run statistics
    int BackupCount = 1;
    TDateTime LastBackupTime = 0;
    std::string LastBuTime; // text of the last backup time as stored

    // --- predefined sub-directory filters
    TStringList MaskExprs;

    // --- source folders (the editor's folder list) and the time window new entries start with
    TSourceFolders Folders;
    TTimePeriod NewPeriod = DefaultNewPeriod();

    bool UpdateBusy = false; // set while a task file is being loaded

    static TTimePeriod CommandLinePeriod()
    {
        TTimePeriod period;
        period.Mode = tmOff;
        return period;
    }

    static TTimePeriod DefaultNewPeriod()
    {
        TTimePeriod period;
        period.DayTime = 0.25;
        return period;
    }

    static TStringList MakeTypeList()
    {
        TStringList list;
        list.Sorted = true;
        list.Duplicates = dupIgnore;
        return list;
    }
};

// The default security-copy records built from the program settings.
void InitBakSecSettings(TSecSettings& sec, const TQvSettings& settings);
void InitSyncSecSettings(TSecSettings& sec, const TQvSettings& settings);

// Every setting gets the value of a new task. The share account becomes the command-line account.
// EditStatus becomes esNew; cbArchFile, UserZipName (unless empty), the task names and the
// command-line overrides keep their values, and so do the source folders (the caller clears them when
// it starts a new task).
void SetNewTaskDefaults(TTaskSettings& task, const TQvSettings& settings);

// The backup mode: choosing item i sets UseArchivCB (bit 1), ResArchivCB (bit 0) and ClearDest (i > 0).
void ApplyBackupModeItem(TTaskSettings& task, int item);
// The reverse mapping when a task is shown: sets BuModeCB. For a folder method with ClearDest the item
// comes from the archive-bit boxes and ClearDest is dropped when neither is ticked (synchronisation
// is then switched off when ClearDest stays); zip methods show "Full (new)", the others "Update".
void ShowBackupMode(TTaskSettings& task);
// The item that ShowBackupMode would show, without changing the task.
int BackupModeIndex(const TTaskSettings& task);
