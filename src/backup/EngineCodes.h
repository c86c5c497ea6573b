#pragma once
// Names for the codes the backup engine and the task model share: the backup methods (a task's
// DestMode), the levels of task-log lines, what became of a file the copy loop handed on, the parts of
// the error words it reads, and the attribute masks of its folder searches. The values are those that
// task files store and the per-file engine reports; only the names are new.

#include "archive/EngineErrors.h"
#include "backup/LogSettings.h"
#include "platform/FileStatus.h"

// ---- backup methods

// The values of a task's DestMode. 0 to 3 write single files, 4 to 7 zip archives; the captions are
// those of the editor's radio buttons.
namespace BackupMethod {
constexpr int DriveFolders = 0;    // "Separate directories for drives": a folder per source drive
constexpr int FullPath = 1;        // "Full original directory structure"
constexpr int OneFolder = 2;       // "One directory without full path"
constexpr int RootFolders = 3;     // "Separated by root directory": a folder named after each source
constexpr int ZipAll = 4;          // "All files into one zip archive"
constexpr int ZipPerRoot = 5;      // zip "Separated by root directory": an archive per source folder
constexpr int ZipDriveFolders = 6; // "Separated by drive and subdirectory": an archive per folder, below
                                   // a folder per source drive
constexpr int ZipFullPath = 7;     // "Separated by subdirectory": an archive per folder
} // namespace BackupMethod

// Methods 4 to 7 write zip archives.
constexpr bool IsZipMethod(int destMode)
{
    return destMode >= BackupMethod::ZipAll;
}
// Methods 4 and 5 write the run's archive (one for the run, or one per source folder), which the run
// opens before the copy loop.
constexpr bool WritesRunArchive(int destMode)
{
    return destMode == BackupMethod::ZipAll || destMode == BackupMethod::ZipPerRoot;
}
// Methods 6 and 7 write an archive into every folder, made and finished by the copy loop.
constexpr bool MakesFolderArchives(int destMode)
{
    return destMode >= BackupMethod::ZipDriveFolders;
}
// Methods 0 and 6 put the copies of each source drive into a folder of its own (the drive identifier).
constexpr bool MakesDriveFolders(int destMode)
{
    return destMode == BackupMethod::DriveFolders || destMode == BackupMethod::ZipDriveFolders;
}

// ---- levels of log lines

// The mode of a line given to WriteToLog or WriteErrorToLog uses the bits of a log mode (LogSettings.h):
// a line of level lmShort, lmLong or lmVerbose is written when the log's level is at least that; a line
// with lmWarnings as well is also written at level short when the log has lmWarnings. A warning line:
constexpr int lmWarningLine = lmLong | lmWarnings;

// ---- what became of a file

// The result of one file of the copy loop (a copy, or an entry added to a zip archive): one of these
// kinds, or the error word of its failure (FileErrors.h).
namespace CopyOutcome {
constexpr int Copied = 2;
constexpr int VolumeFull = 3;
// A warning without message number: the file was copied, but a step after the copy failed.
constexpr int CopiedWithWarnings = 0x200;
} // namespace CopyOutcome

// ---- error words

// The parts of an error word (FileErrors.h).
namespace ErrorWord {
constexpr int NumberMask = 0xFF;     // the message number
constexpr int Error = 0x100;         // severity "Error - " ("Error(2) - " has it too)
constexpr int Warning = 0x200;       // severity "Warning - "
constexpr int SeverityMask = 0xF00;  // every severity bit
constexpr int ZipOperation = 0x4000; // operation "Zip"
constexpr int Mask = 0xFFFF;         // the 16 bits of a word
} // namespace ErrorWord

// The message numbers the engine tests for.
namespace ErrorNumber {
constexpr int Write = EngineError::Write & ErrorWord::NumberMask;           // "Could not write to file"
constexpr int LowDisk = EngineError::LowDisk & ErrorWord::NumberMask;       // "Low disk space"
constexpr int Verify = EngineError::Verify & ErrorWord::NumberMask;         // "Verification failed"
constexpr int TimeOut = EngineError::TimeOut & ErrorWord::NumberMask;       // "Timeout error on copying file"
constexpr int OpenVerify = EngineError::OpenVerify & ErrorWord::NumberMask; // opening a copy to verify
constexpr int Content = EngineError::Content & ErrorWord::NumberMask;       // "Different content"
constexpr int FtpClosed = 27;                     // "FTP connection was closed by server"
constexpr int Delete = 38;                        // "Error deleting file"
constexpr int UserBreak = EngineError::UserBreak; // "Terminated by user", also tested as a bit
} // namespace ErrorNumber

// An error word of the copy loop that the per-file engine does not make.
constexpr int DeleteError = ErrorWord::Error | ErrorNumber::Delete; // $126 = 294

// ---- folder searches

// Attribute masks of the engine's folder searches (FindFirst reports hidden, system and volume entries
// and folders only when the mask asks for them): every entry, and the files with the hidden and system
// ones.
constexpr int faSearchAll = 0x1FF; // every bit of the search's attribute word up to $100
constexpr int faSearchFiles = static_cast<int>(faReadOnly | faHidden | faSysFile | faArchive | faNormal);
