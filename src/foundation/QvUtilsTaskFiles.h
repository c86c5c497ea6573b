#pragma once
// Task-file helpers of the QvUtils family: full names of task files, task lists and their history,
// the file types of file dialogs, the log file of a task, and the source summary of a backup task file.
//
// Task names in lists and histories are stored relative to the task folder (ActiveTaskDir).

#include <string>
#include <vector>

#include "rtl/StringList.h"

class TMemIniFile;
class THistoryList;

// The full name of a task file: empty for an empty Name; otherwise the path placeholders of Name are
// expanded, a relative result is taken relative to the task folder, and "." + Ext is appended unless
// the name already has that extension (any case). Ext is given without the dot ("buj").
std::string GetTaskFileName(const std::string& Name, const std::string& Ext);

// Moves FileName to the top of List, stored relative to the task folder; RelName receives that name.
void AddTaskToHistory(THistoryList& List, const std::string& FileName, std::string& RelName);
// Clears List and adds the entries of Strings that carry no object, from the last to the first.
void StringsToHistory(const TStringList& Strings, THistoryList& List);
// Inserts the task name (relative to the task folder) with Obj at Index (0 when Index < 0) when the
// list does not hold it yet; a present entry below the top moves to the top (with Obj) when Index < 0.
void AddTaskToList(TStringList& Strings, const std::string& FileName, int Index, intptr_t Obj);

// One entry of a file dialog's type list: a display name and its masks ("*.buj;*.rsj").
struct TFileTypeItem
{
    std::string Name;
    std::string Mask;
};
// Clears Items and fills it from Text "name|mask|name|mask…", taken pairwise (a name without a mask
// at the end is left out).
void SetFileTypes(std::vector<TFileTypeItem>& Items, const std::string& Text);

// The log file of a task from its log-name setting:
// - an empty LogName gives "";
// - every "%taskname%" (any case) becomes the task file's name without folder and extension; without
//   a TaskFile such a name gives "";
// - a name that does not begin with "%dest%" gets its log placeholders expanded with Dest; one that
//   does is expanded with Dest's volume name resolved when that volume is present, and becomes the
//   default log file when it is not;
// - with InLogDir a relative result is put into the log folder.
std::string ExpandLogName(const std::string& LogName, const std::string& TaskFile, const std::string& Dest,
                          bool InLogDir);
std::string ExpandLogNameNoDest(const std::string& LogName, const std::string& TaskFile);
std::string ExpandLogNameWithDest(const std::string& LogName, const std::string& TaskFile,
                                  const std::string& Dest);
std::string ExpandLogNameInDir(const std::string& LogName, const std::string& TaskFile, bool InLogDir);
// The log file of a backup task file ([Global] LogName, Destination, BackupCount, [Dir000] Volume);
// the default log file when the task has no log name of its own.
std::string GetBackupLogName(const std::string& TaskFile);
// The log file of a verify, restore or cleanup task file: key LogName of Section.
std::string GetJobLogName(const std::string& Section, const std::string& TaskFile);

// The enabled source folders of a backup task file, one a line after two blanks, then the total of
// files and bytes; "No directory specified!" when the task has none.
std::string GetTaskDirsText(const TMemIniFile& Ini);
