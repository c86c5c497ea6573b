#pragma once
// Command-line option strings the programs of the suite hand to each other, and the short status,
// mode, count and title texts that windows, logs and mails show.

#include <cstdint>
#include <string>
#include <string_view>

#include "rtl/DateTime.h"

class TTextFilter;
class TUnicodeIniFile;

// " /" + Name.
std::string CmdSwitch(std::string_view Name);
// " " + "/Name:Value", the whole option in double quotes (inner quotes doubled) when it holds a blank.
std::string CmdOption(std::string_view Name, std::string_view Value);
std::string CmdOptionInt(std::string_view Name, int Value);

// The text of an error state (the main program's exit code) with "!" appended.
std::string GetErrorStateText(int State);
// "Directory "%s" not found!" for the codes 2 and 3, else "Error accessing directory: "%s"".
std::string DirErrorFormat(uint32_t Code);
// "Off", "Short", "Long" or "Verbose" with the option letters in parentheses.
std::string GetLogModeText(uint8_t Flags);
// "Copying of "%s" (%s) to "%s"" and its variants, to be formatted by the caller.
std::string GetCopyActionText(bool Restore, bool Compressed, bool Encrypted);
std::string FilterDescription(const TTextFilter& Filter);
// 0 for an empty password, 3 (256-bit) from 16 characters on, else 1 (128-bit).
int GetAutoAesStrength(std::string_view Password);
std::string LogIndent(int Kind);
// "Backup mode: …" or "Update/Synchronize - …" from the [Global] keys of a backup task file.
std::string GetBackupModeText(const TUnicodeIniFile& Ini);
// "Separate files" / "Zip archive(s)", " - " and the mode text, and for zip modes a size limit.
std::string GetDestModeText(int Mode, int64_t MaxSize);
// "<ohne>" for an empty extension or ".", else the extension without its leading ".".
std::string ExtToFileTypeEntry(std::string_view Ext);

// A byte size in powers of 1000 when the log settings ask for decimal sizes, else of 1024.
std::string FormatSize(bool NoZeroDecimals, int64_t Size);
// "No files", "1 file" or "%u files" (thousands separators above 9999); in " (" … ")" when asked.
std::string FileCountText(int64_t Count, bool InBrackets);
// "%u of %u files copied (%s of %s)"; counts above 9999 with thousands separators.
std::string CopyProgressText(int Count, int Total, int64_t CopiedSize, int64_t TotalSize);
// "no ", "1st ", "2nd ", "3rd ", "<n>th ".
std::string OrdinalText(int N);
// "yyyy-mm-dd hh:nn:ss", or "Invalid timestamp" below 1 and from 219148 (1 January 2500) on.
std::string TimeStampToStr(TDateTime DateTime);
// Date and time in the display formats, separated by a blank; empty before 1 January 2000.
std::string DateTimeToDisplayStr(TDateTime DateTime);
// " ; " + yyyy-mm-dd; empty for 0 and below.
std::string DateToIniComment(TDateTime DateTime);
// The short day names (Monday first) of the set bits 0..6, joined by ",".
std::string WeekdaysToStr(uint32_t DayMask);

// Program name, " - " + Text, " [" + the file's name + "]".
std::string MakeCaption(std::string_view Text, std::string_view FileName);
// "User name: " + CurrentUser.
std::string UserNameText();
// "© " + YearText + " " + the holder; the second adds a line with the holder's address.
std::string GetAboutNoticeText();
std::string GetAboutAddress();
// " - 64-bit" or " - 32-bit".
std::string GetBitnessText();
// Program name + bitness, with Parts > 0 followed by " (" + version text + ")".
std::string GetProgNameVersion(int Parts);
