#pragma once
// The preview scan of a source folder: lists, for the task editor, the folders and files that a
// backup of the folder's entry would take (or, with Excluded, those it would leave out). The rules
// are those of the copy loop: the entry's type list, name filter, attributes, size limits and time
// window, the tagged sub-folders, links, and optionally the archive-bit test of the backup mode.
//
// Lines of the list, in scan order:
//   "*" + folder      a listed folder; its object is the number of files listed under it
//   " " + name + "|" + date and time + "|" + size     a listed file
//   "#" + folder      a folder whose files are not listed
// The folder is the full path (with a trailing "/") or, without FullPaths, "./" followed by the path
// below the entry's folder.

#include <cstdint>
#include <functional>
#include <string>

#include "backup/ExtensionList.h"
#include "backup/FileSelection.h"
#include "rtl/StringList.h"

struct TTaskSettings;

// The task-wide inputs of the scan.
struct TPreviewContext
{
    TSelectionContext Selection; // command-line window, today, time of the last backup
    bool UseJunctions = false;   // folders that are links are read through the link
    bool UseArchivCB = false;    // the backup selects by the archive bit ...
    bool cbArchFile = false;     // ... and only files with the bit set are copied when one of these
    bool ClearDest = false;
    int DestMode = 0;
    std::function<void()> Checkpoint; // called after each file (keeps a window responsive)
};

// The context of a task's settings (today and the last backup time from the task and the clock).
TPreviewContext MakePreviewContext(const TTaskSettings& task, TDateTime today);

// Scans BaseDir + RelDir and its sub-folders by List and appends the lines; adds the listed files to
// Count and their sizes to Size. JunctionRoot is empty for an entry's own folder.
void PreviewDirectory(const std::string& BaseDir, const std::string& RelDir, std::string JunctionRoot,
                      bool ParentIncluded, bool Excluded, bool FullPaths, bool UseArchive, int& Count,
                      int64_t& Size, TStringList& Lines, const TExtensionList& List,
                      const TPreviewContext& Ctx);
