#pragma once
// Names of security copies: older versions kept when a backup overwrites a file, and files kept
// instead of deleted when a backup synchronises its destination.
//
// Suffix placeholders (case ignored): "%fdate%" the file's own time stamp "yyyy-mm-dd-hh-nn",
// "%bdate%" the backup date "yyyy-mm-dd", "%btime%" the backup time "hh-nn-ss". The backup date and
// time come from the injectable clock.

#include <cstdint>
#include <string>
#include <string_view>

#include "foundation/BuConsts.h"
#include "rtl/DateTime.h"

enum TBakOptions
{
    boDefault,
    boFTP,
    boZip
};

inline constexpr const char* FileDateMask = "????"
                                            "-??"
                                            "-??"
                                            "-??"
                                            "-??";
inline constexpr const char* BackupDateMask = "????"
                                              "-??"
                                              "-??";
inline constexpr const char* BackupTimeMask = "??"
                                              "-??"
                                              "-??";

// ---- copies made during a backup

// Program defaults: no directory, prefix BakPrefix, suffix BakSuffix, one copy, no age limit.
void InitBakSecSettings(TSecSettings& Sec);
void InitSyncSecSettings(TSecSettings& Sec);
// The text before the first "%"; without "%" the text before the first "#"; else the whole suffix.
std::string GetFixedSuffixPart(std::string_view Suffix);
// Every placeholder replaced by its search mask.
std::string SecurityCopyDateMasks(std::string_view Text);
// Name (without its extension when StripExt) contains "." + the fixed part, case ignored.
bool HasSecurityCopySuffix(std::string_view Name, std::string_view Suffix, bool StripExt);
// Removes "." + the fixed part and the rest of that name part up to the next ".".
std::string RemoveSecurityCopySuffix(std::string_view Name, std::string_view Suffix);
// The placeholders expanded; an empty suffix gives the program's BakSuffix.
std::string ExpandSecuritySuffix(std::string_view Suffix, TDateTime FileTime);
// The same, leaving "%fdate%" in the text.
std::string ExpandBackupDateSuffix(std::string_view Suffix);
bool HasDatePlaceholder(std::string_view Text);
// Reads "yyyy-mm-dd" at the 1-based position From; Date is 0 when it is no valid date.
bool ReadDateAt(std::string_view Text, int From, TDateTime& Date);
// ReadDateAt, the date's midnight as Unix seconds.
bool ParseDateInName(std::string_view Text, int From, int32_t& Seconds);
// The task-file form "suffix[count][/age/min]": leaves the plain suffix in Suffix.
void ParseCounterSuffix(std::string& Suffix, int& MaxHist, int& MinHist, int& AgeInWeeks);
std::string BuildCounterSuffix(std::string_view Suffix, int MaxHist, int MinHist, int AgeInWeeks);

// ---- copies made during synchronisation (a suffix beginning with "+" goes after the extension)

// "-" + the expanded suffix; empty for an empty suffix.
std::string ExpandSyncDirSuffix(std::string_view Suffix, TDateTime FileTime);
std::string ExpandSyncDirDateSuffix(std::string_view Suffix);
// The placeholders replaced by their masks; an empty text gives the program's SyncSuffix.
std::string SyncSecurityCopyDateMasks(std::string_view Text);
// "." + the expanded suffix; empty for an empty suffix.
std::string ExpandSyncSuffix(std::string_view Suffix, TDateTime FileTime);
std::string MakeSyncCopyName(std::string_view Name, std::string_view Suffix, TDateTime FileTime);
// True when FileName does not look like a synchronisation copy.
bool NotSyncSecurityCopy(std::string_view FileName, std::string_view Suffix, bool IsZip, bool IsGz,
                         bool IsEnc);
