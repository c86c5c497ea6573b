#pragma once
// History sections of ini files for any string list, and most-recently-used insertion.

#include <string>
#include <string_view>

#include "rtl/StringList.h"

class TMemIniFile;

inline constexpr int DefaultHistoryCount = 50;

// Only when Section exists: empties List and reads KeyPrefix + 0 … MaxCount-1 (empty prefix:
// "History"); empty values are skipped; with Unquote every "#" becomes a double quote.
void LoadHistoryFromIni(const TMemIniFile& IniFile, const std::string& Section, const std::string& KeyPrefix,
                        TStringList& List, int MaxCount, bool Unquote);
void LoadHistoryFromIniDefault(const TMemIniFile& IniFile, const std::string& Section,
                               const std::string& KeyPrefix, TStringList& List, bool Unquote);
void LoadHistoryFromFile(const std::string& FileName, const std::string& Section,
                         const std::string& KeyPrefix, TStringList& List, int MaxCount, bool Unquote);
void LoadHistoryFromFileDefault(const std::string& FileName, const std::string& Section,
                                const std::string& KeyPrefix, TStringList& List, bool Unquote);
// Erases Section first when Erase; writes the first min(MaxCount, count) lines, with Quote every double
// quote turned into "#".
void SaveHistoryToIni(TMemIniFile& IniFile, const std::string& Section, const std::string& KeyPrefix,
                      bool Erase, const TStringList& List, int MaxCount, bool Quote);
void SaveHistoryToIniDefault(TMemIniFile& IniFile, const std::string& Section, const std::string& KeyPrefix,
                             bool Erase, const TStringList& List, bool Quote);
// The same on a file, which is written back (raises EWriteError when that fails).
void SaveHistoryToFile(const std::string& FileName, const std::string& Section, const std::string& KeyPrefix,
                       bool Erase, const TStringList& List, int MaxCount, bool Quote);
void SaveHistoryToFileDefault(const std::string& FileName, const std::string& Section,
                              const std::string& KeyPrefix, bool Erase, const TStringList& List, bool Quote);
// Puts Text at the top: a present entry (any case) moves up and takes Text's case; a new one pushes
// out the last line when the list holds MaxCount lines.
void AddToHistory(TStringList& List, const std::string& Text, int MaxCount);
void AddToHistoryDefault(TStringList& List, const std::string& Text);
void RemoveFromHistory(TStringList& List, const std::string& Text);
