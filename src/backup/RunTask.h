#pragma once
// The settings of a backup task that the run frame reads, and their reading from a task file (".buj",
// a Unicode ini file with [Global] and the folder sections [Dir000], [Dir001] …).
//
// Only the keys the run frame acts on are read here; the editor's full task model reads and writes
// all of them under the same names and defaults.

#include <cstdint>
#include <string>
#include <vector>

#include "foundation/BuConsts.h"

// An external program before or after the backup.
struct TRunExternalProg
{
    std::string Command;
    int32_t ErrorLevel = 1;
    int32_t Wait = 0;
};

// One source folder of a task.
struct TRunSource
{
    std::string VPath; // as entered
    std::string SPath; // as read
    std::string VName; // volume name of removable media
    bool Selected = true;
    bool IsAvailable = false;
    int32_t ICount = -1;
    int64_t IBytes = -1;
    uint32_t SyncCount = 0;
    int32_t SCount = -1;
    int64_t SBytes = -1;
    uint32_t SSyncCount = 0;
};

struct TRunTask
{
    std::string LoadedTaskName;
    bool BuFtp = false;
    std::string Destination; // BuZiel
    std::string FtpHost;
    int32_t FtpPort = 21;
    std::string FtpDirectory;
    int32_t DestMode = 0;
    int64_t MaxZipSize = 0;
    std::string ZipName;
    int32_t TaskProtMode = 0;
    std::string TaskLogName;
    bool ShowErrors = false;
    int32_t MailMode = 0;
    int32_t TaskPriority = 3;
    bool Verify = false;
    bool UseVss = false;
    bool Encrypt = false;
    int32_t LastCrypt = 0;
    bool EncChg = false;
    bool FixPwd = false;
    bool ScanDirs = false;
    bool SkipDir = false;
    bool DisplayOff = false;
    bool NoVolCheck = false;
    int32_t SyncMode = 0;
    bool SyncBefore = false;
    bool ClearDest = false;
    bool UseArchiv = false;
    bool ResArchiv = false;
    bool ArchFile = false;
    bool KeepBak = false;
    bool KeepSync = false;
    int32_t CmdEnc = 0;
    TRunExternalProg PreCmd;
    TRunExternalProg PostCmd;
    int32_t BackupCount = 1;
    std::string DriveId;
    std::vector<TRunSource> Sources;

    // The destination text: the FTP URL for an FTP destination, else Destination.
    std::string DestinationText() const;
};

// Reads a task file into task (starting from the defaults). False when the file is missing or
// cannot be read.
bool ReadRunTask(const std::string& fileName, const TQvSettings& settings, TRunTask& task);

// Writes the run statistics back: BackupCount + 1, LastBackup, the folder counts. Returns an empty
// text on success, else the log line to write ("  *** Could not update task file: …").
std::string WriteRunTaskStatus(const std::string& fileName, TRunTask& task, TDateTime startTime,
                               const std::string& programVersion);
