#pragma once
// The file-type statistics of a task's source folders: a scan that lists the file types found in a
// folder (into the entry's backed-up or never-backed-up types) and counts the files and bytes that
// pass the entry's selection, and the rescans before a run. No window: a status object, when given,
// shows the progress and may cancel.

#include <cstdint>
#include <string>

#include "backup/TaskSettings.h"

// Progress of a scan. The defaults show nothing and never cancel.
class TScanStatus
{
public:
    virtual ~TScanStatus() = default;
    // The folder being scanned.
    virtual void ShowFolder(const std::string& dir) { (void)dir; }
    // "Found: …" after each folder.
    virtual void ShowInfo(const std::string& text) { (void)text; }
    // Asked before every file; true ends the scan.
    virtual bool Cancelled() { return false; }
};

// Rebuilds one entry's type lists and counts (TCount, ICount/IBytes, ECount/EBytes). With the
// extension filter on, the lists are built anew from the filter; otherwise the known types keep their
// place and new ones are appended. False when the folder is missing or the scan was cancelled; the
// entry is then left as it was.
bool RescanEntry(TExtensionList& list, const TTaskSettings& task, TScanStatus* status = nullptr);

// The recursive scan of Root + Rel; false when cancelled. Tagged: a parent folder was tagged (only
// used when the entry backs up tagged folders only); RealParent: the real path of the parent folder,
// for the loop test of linked folders.
bool ScanFileTypes(const std::string& root, const std::string& rel, TExtensionList& list,
                   const TTaskSettings& task, TScanStatus* status, bool tagged, const std::string& realParent,
                   TDateTime today);

// Before a run: every entry whose counts are out of date (DoUpdate), and with All every ticked entry,
// is rescanned in list order; a failed rescan ends the loop (false). A rescanned entry gets
// SyncCount 0 and DoUpdate false.
bool RescanEntries(TTaskSettings& task, bool all, TScanStatus* status = nullptr);

// "No files", "1 file totaling %s" or "%u files totaling %s".
std::string FilesTotalText(int64_t count, int64_t bytes);
