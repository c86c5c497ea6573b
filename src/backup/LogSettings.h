#pragma once
// The log mode of a task, the name of a task's own log file, and the error-action mask that
// decides which errors of a run suppress the action after it (shut down, log off, standby, hibernate).

#include <string>
#include <string_view>

enum TLogKind
{
    lkBackup,
    lkFtpBackup,
    lkVerify,
    lkRestore,
    lkCleanup
};

// Log mode bits. Bits 0-1 are the level: 0 off, 1 short, 2 long, 3 verbose.
constexpr int lmLevelMask = 3;
constexpr int lmOff = 0;
constexpr int lmShort = 1;
constexpr int lmLong = 2;
constexpr int lmVerbose = 3;
// Short: warnings and detailed error messages; long (backup logs): skipped files.
constexpr int lmWarnings = 4;
constexpr int lmPrint = 64;
// Error summary (long and verbose).
constexpr int lmErrorSummary = 128;
// Delete the previous entries of the task's own log file.
constexpr int lmDeleteLog = 256;
// Program settings only: new tasks get the log file "%taskname%.log".
constexpr int lmTaskLogName = 512;

// "V-", "R-", "C-" for the tools, empty for backups.
std::string LogKindPrefix(TLogKind Kind);
// "Settings for Backup log" and its kin (translated).
std::string LogKindCaption(TLogKind Kind);
// The prefix + "%taskname%.log".
std::string DefaultTaskLogName(TLogKind Kind);
// Which options the log settings offer for a kind and level.
bool LogWarningOptionVisible(TLogKind Kind, int Level);
bool LogErrorSummaryVisible(int Level);
// The mode as the log settings store it: level, print, the visible warning and error-summary
// options, and with a task log of its own the delete option; other bits are dropped.
int NormalizeLogMode(TLogKind Kind, int LogMode, bool OwnLogFile);
// A task's own log name as it is stored: ".log" appended unless the extension is "log" (any case);
// an absolute name on the log folder's drive made relative to the log folder.
std::string NormalizeTaskLogName(std::string_view Name, std::string_view LogDir);

// Error-action mask bits and the exit states they stand for.
constexpr int eaTaskNotFound = 1;   // state 1
constexpr int eaDestination = 2;    // state 2
constexpr int eaSourceNotFound = 4; // state 3
constexpr int eaInvalidTask = 8;    // state 6
constexpr int eaOtherErrors = 16;   // state 4
constexpr int eaAllErrors = 31;

// The mask bit of an exit state; 0 for states that never suppress the action (0, 5 and others).
int ErrorActionBit(int ErrorState);
// True when a run that ended in ErrorState may be followed by the action under Mask.
bool ErrorAllowsActionMask(int Mask, int ErrorState);
// "No %s on these errors" with the action's name.
std::string ErrorActionCaption(std::string_view SubAction);
