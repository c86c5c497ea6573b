#pragma once
// Cleanup tasks: the settings of one cleanup (what the editor shows and a run uses), the task file
// ".cuj" and the editor's state kept in the program settings file.

#include <cstdint>
#include <string>

#include "archive/FtpUtils.h"
#include "backup/BuMailDlg.h"
#include "foundation/BuConsts.h"
#include "foundation/IniFileUtils.h"
#include "foundation/TextFilter.h"
#include "rtl/DateTime.h"

// What a cleanup deletes.
enum TCleanupSubject : int
{
    csFiles,         // "Files": security copies survive
    csRootDirs,      // "Root directories": the folders right below the cleanup folder
    csSecurityCopies // "Only security backups"
};

// Age selection of a cleanup.
enum TCleanupAgeMode : int
{
    caAll,
    caDays,
    caWeeks,
    caMonths,
    caYears,
    caBefore, // "All before" a date
    caSince   // "All since" a date
};

// Synchronisation: delete only files whose original is gone.
enum TCleanupSync : int
{
    csyOff,
    csyOrigin, // "With source directory" (the drive folders of the backup)
    csyFolder  // "With following directory:"
};

// The security-copy age of a cleanup as one number: bits 0-11 the count (1..999), $1000 months,
// $2000 years, neither weeks; $10000 the option "Delete security copies older than" is on.
struct TSecAge
{
    bool Enabled = false;
    int Count = 6;
    int Unit = 1; // 0 weeks, 1 months, 2 years
};
TSecAge DecodeSecOptions(int value);
int EncodeSecOptions(const TSecAge& age);

constexpr int64_t DefaultSpaceSize = 104857600;

struct TCleanupSettings
{
    std::string Directory;
    int AgeMode = caWeeks;
    int TimeCount = 4;
    TDateTime Date = 0;
    int TypesMode = 0;    // 0 all, 1 "Only these", 2 "All except"
    std::string TypeList; // comma text
    int Subject = csFiles;
    bool Compressed = true; // "Examine compressed single files"
    bool IgnoreEnc = true;  // "Consider enc files"
    bool FreeSpace = false;
    // The size field as the user typed it (a number with an optional unit); SpaceSize its value.
    std::string SpaceText = "100 MiB";
    int64_t SpaceSize = DefaultSpaceSize;
    std::string DriveIdent;
    int Sync = csyOff;
    std::string SyncDir;
    bool UseRecycler = false;
    bool EmptyDirs = true; // delete empty directories ("Retain empty directories" is its negation)
    bool EmptyRoot = true; // delete an emptied cleanup folder too
    TSecSettings BakSec, SyncSec;
    TSecAge SecAge;
    bool FilterRegular = false;
    TFilterMode FilterMode = fmOff;
    std::string FilterText = "*";
    int ProtMode = 0;
    std::string TaskLogName;
    bool CuFtp = false;
    TFtpParams FtpPar;
    TMailMode MailMode = mmNone;
    TMailData MailData;
    std::string UserAccount, UserPwd;
};

// The settings of a new cleanup: subject files, older than 4 weeks, drive identifier and security-copy
// naming from the program settings (no selection), security copies 6 months (off), date today.
TCleanupSettings DefaultCleanupSettings();

// Reads a task file (with the rule for files of older versions without "TimeCount"); a file that
// cannot be read raises the file stream's exception.
void LoadCleanupTask(const std::string& fileName, TCleanupSettings& settings);
// Writes a task file; raises when the file cannot be written.
void SaveCleanupTask(const std::string& fileName, const TCleanupSettings& settings);

// The editor's state in the program settings file (section [Cleanup]).
void ReadCleanupDialogState(const TMemIniFile& ini, TCleanupSettings& settings);
void WriteCleanupDialogState(TMemIniFile& ini, const TCleanupSettings& settings);

inline constexpr const char* CleanupTaskExt = "cuj";
