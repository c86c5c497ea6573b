#pragma once
// What a restore task consists of and how it is stored in a restore task file (".rsj", a Unicode ini
// file): the settings record that the restore dialog edits and the runs read, its loading with the
// defaults of every key, and its saving.

#include <string>

#include "archive/FtpUtils.h"
#include "backup/BuMailDlg.h"
#include "foundation/BuConsts.h"
#include "foundation/TextFilter.h"
#include "rtl/DateTime.h"

// Layouts of a backup.
enum TRestoreLayout : int
{
    rmSeparated, // separated files
    rmZipPerDir, // zip archives per directory
    rmSingleZip  // one zip archive
};

// Overwrite modes.
enum TRestoreOverwrite : int
{
    owAll,   // every existing file
    owOlder, // existing files when older
    owNone   // no existing file
};

struct TRestoreTask
{
    std::string Source; // backup folder; for the zip layouts the path of an archive
    std::string DestDir;
    bool Origin = false; // back to where the files were backed up from
    int Overwrite = owNone;
    int AgeMode = 0;
    int TimeCount = 0;
    TDateTime Date = 0;
    int RestMode = rmSeparated;
    bool ClearDest = false; // task file only, never written
    std::string TaskLogName;
    int ProtMode = 0;
    bool GzUnpack = true;
    bool ZipUnpack = false;
    bool NoDecrypt = false;
    std::string DefPwd;
    bool CreationTime = true;
    bool Perms = false;
    bool Junctions = false;
    bool Summary = false;
    bool AltStreams = false;
    bool EmptyDirs = false;
    bool ResArchive = false;
    bool Sync = false;
    bool SecEnabled = false;
    TSecSettings BakSec;
    TSecSettings SyncSec;
    bool FilterRegular = false;
    TFilterMode FilterMode = fmOff;
    std::string Filter = "*";
    std::string DriveIdent;
    int DeltaTime = 2;
    bool DstIgnore = false;
    bool RsFtp = false;
    TMailMode MailMode = mmNone;
    TFtpParams FtpPar;
    TMailData MailData;
    std::string UserAccount;
    std::string UserPwd;
};

// A new task: the defaults of the dialog (program settings for the security copies and the drive
// identifier, default FTP and mail settings).
void InitRestoreTask(TRestoreTask& task);

// Reads a task file; every missing key takes its default. logMode is the log mode in use, the default
// of "LogFile" (masked with 7). Raises the ini file's exception when the file cannot be read.
void LoadRestoreTask(const std::string& fileName, TRestoreTask& task, int logMode);
// Writes a task file (keeping what else it holds); false after "Error saving task "%s"!" went to error.
bool SaveRestoreTask(const std::string& fileName, const TRestoreTask& task, std::string& error);

// The file filter of a task.
void ApplyTaskFilter(const TRestoreTask& task, TTextFilter& filter);
