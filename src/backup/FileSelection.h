#pragma once
// The selection of one file of a source-folder entry: its type against the entry's extension list,
// then its name, attributes, size and time window.

#include <cstdint>
#include <string>

#include "backup/ExtensionList.h"
#include "backup/TimePeriod.h"

// The selection data of one file (times as local date-times).
struct TSelFileInfo
{
    std::string Name;
    TDateTime CreationTime = 0;
    TDateTime DateTime = 0;
    int64_t Size = 0;
    uint32_t Attr = 0;
};

// The run-wide inputs of the selection.
struct TSelectionContext
{
    TTimePeriod CmdTmPeriod{tmOff}; // a window given for the whole run; tmOff = each entry's own
    TDateTime Today = 0;
    TDateTime LastBackupTime = 0;
};

// Ext receives the upper-case extension without its dot ("<ohne>" for none).
bool ExtensionMatches(const std::string& fileName, const TExtensionList& list, std::string& ext);
bool MatchAttributes(const TAttributes& attributes, uint32_t attr);
bool FileInTimePeriod(const TTimePeriod& period, const TSelFileInfo& info, const TSelectionContext& context);
bool FileMatchesSelection(const std::string& text, const TSelFileInfo& info, const TExtensionList& list,
                          const TSelectionContext& context);
// Whether FileMatchesSelection looks at the file times: where it does not, callers need not give them.
bool SelectionUsesTimes(const TExtensionList& list, const TSelectionContext& context);
inline bool FileMatchesSelection(const TSelFileInfo& info, const TExtensionList& list,
                                 const TSelectionContext& context)
{
    return FileMatchesSelection(info.Name, info, list, context);
}
