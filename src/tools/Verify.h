#pragma once
// Verify tasks: the settings of one verification (what the editor shows and a run uses), the task
// file ".vfj" and the editor's state kept in the program settings file.
//
// A verification compares a backup (a folder of separated files, zip archives per folder or one zip
// archive) with the files it was made from: the source folders of the backup or a chosen folder.

#include <string>

#include "archive/FtpUtils.h"
#include "backup/BuMailDlg.h"
#include "foundation/BuConsts.h"
#include "foundation/TextFilter.h"
#include "rtl/DateTime.h"

// Layout of the backup.
enum TVerifyMode : int
{
    vmSeparated,  // "Separated files"
    vmFolderZips, // "Zip archives per directory"
    vmSingleZip   // "Single zip archive"
};

struct TVerifySettings
{
    int VerifyMode = vmSeparated;
    // The backup location: a folder, or a zip archive in the zip modes.
    std::string Source;
    // Folder of the archives in mode "Zip archives per directory" (its root folder).
    std::string ZipBase;
    // The folder to compare with when Origin is off ("Selected directory").
    std::string DestDir;
    // Compare with the source folders of the backup.
    bool Origin = true;
    // Age selection: 0 all, 1 before, 2 since, 3/5/7/9 older than N days/weeks/months/years, 4/6/8/10
    // not older than, 11 only this date.
    int AgeMode = 0;
    int TimeCount = 0;
    TDateTime Date = 0;
    int ProtMode = 0;
    std::string TaskLogName;
    bool UnCompress = true;
    bool NoDecrypt = false;
    // Fixed password of encrypted backups.
    std::string DefPwd;
    TSecSettings BakSec, SyncSec;
    bool FilterRegular = false;
    TFilterMode FilterMode = fmOff;
    std::string FilterText = "*";
    std::string DriveIdent;
    bool VfFtp = false;
    TFtpParams FtpPar;
    TMailMode MailMode = mmNone;
    TMailData MailData;
    std::string UserAccount, UserPwd;
};

// The settings of a new verification: drive identifier and security-copy naming from the program
// settings, both selections [ssDirs, ssFiles], the date today.
TVerifySettings DefaultVerifySettings();

// Reads a task file; keys that are missing keep the defaults of the task file. A file that cannot be
// read raises the file stream's exception.
void LoadVerifyTask(const std::string& fileName, TVerifySettings& settings);
// Writes a task file (sections [Global] and [Verify] anew); raises when the file cannot be written.
void SaveVerifyTask(const std::string& fileName, const TVerifySettings& settings);

// The editor's state in the program settings file (section [Verify]).
void ReadVerifyDialogState(const TMemIniFile& ini, TVerifySettings& settings);
void WriteVerifyDialogState(TMemIniFile& ini, const TVerifySettings& settings);

// "Verify tasks" file extension.
inline constexpr const char* VerifyTaskExt = "vfj";

// The age mode of a period: unit 0 days .. 3 years, older (3, 5, 7, 9) or not older (4, 6, 8, 10).
int VerifyPeriodAgeMode(int unitIndex, bool older);
