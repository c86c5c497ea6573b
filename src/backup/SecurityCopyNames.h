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
// The task-file form of a suffix with its limits ("bak", "bak/4/1", "bak-#5/4/2"), the one reader of
// it: leaves the plain suffix in Suffix. Starts from MaxHist 1, MinHist 1, AgeInWeeks 0.
// - Without "#": "/age/" after the suffix gives the age; a single "/" only ends the suffix, and the
//   minimum is not read in this form.
// - With "#": one or two digits after it (the first 1-9) are the count; behind them a separator and
//   a second "/" carry the age, and the text after that "/" the minimum. Without a second "/" neither
//   is read. Suffix ends after the "#".
// Numbers that cannot be read keep the values above.
void ParseCounterSuffix(std::string& Suffix, int& MaxHist, int& MinHist, int& AgeInWeeks);
// The inverse: the suffix, the count when it is 2 or more (or when an age follows a "#"), then
// "/age/min" when there is an age limit.
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
