#pragma once
// The backup task file (".buj"): a UTF-16LE Unicode ini file with the sections [Unicode], [Global],
// [Ftp], [Proxy], [Mail], [User], [DirFilter] and [Dir000] … Loading fills a TTaskSettings, saving
// rewrites the whole file from it, and UpdateTaskStatus writes the statistics of a run into an
// existing file.
//
// Dates are written in the short date format of the given format settings and read in that format,
// then as ISO "yyyy-mm-dd". Messages for the user (errors, values that were replaced by defaults) are
// collected in a TTaskFileReport; the caller shows them or writes them to the task log.

#include <string>
#include <vector>

#include "backup/OptionRules.h"
#include "backup/TaskSettings.h"
#include "rtl/DateTime.h"

// What loading a task needs to know about the machine it runs on.
class TTaskEnvironment
{
public:
    virtual ~TTaskEnvironment() = default;
    // The file system of a destination path; fsNotAvail when it cannot be reached.
    virtual TFileSystem FileSystemOf(const std::string& path) const = 0;
    // The facts the option rules need for the loaded task (DirCount is taken from the task's folders).
    virtual TOptionFacts OptionFacts(const TTaskSettings& task) const = 0;

    // The source-folder check of a run. 0 when the folder can be reached, with path set to where it
    // was found; 1223 (prompt closed) or 1246 ("Skip") when the user gave up the prompt for a missing
    // volume; any other code when the folder is not there. The volume (a label) is looked for unless
    // task.NoVolCheck; the prompt is only made with prompt set and task.SkipDir off. The default finds
    // a labelled volume wherever it is mounted now (the path below the folder named after the label)
    // and asks through the volume prompt handler.
    virtual int CheckSourceFolder(std::string& path, const std::string& volume, bool prompt,
                                  const TTaskSettings& task) const;
    // The folder is on removable media (only then its volume name is kept).
    virtual bool IsRemovable(const std::string& path) const;
    // The folder exists and can be listed.
    virtual bool FolderAccessible(const std::string& path) const;
    // The label of the volume that holds path; empty when it has none.
    virtual std::string VolumeLabelOf(const std::string& path) const;
};

// Where the task file code takes the program settings, the date formats and the program version from.
struct TTaskFileContext
{
    const TQvSettings* Settings = &ProgSettings;
    const TFormatSettings* Format = nullptr; // nullptr = the program's FormatSettings()
    std::string ProgramName = "Vastrel";
    std::string Version = "6.0.0";
    const TTaskEnvironment* Environment = nullptr; // nullptr = no destination is reachable
    std::string LogDir;                            // empty = GetLogDir()
    std::string DefaultLogFile;                    // empty = the program's default log file
};

struct TTaskFileReport
{
    // Errors and warnings, in the order they arose; each names the file and, where it applies, the
    // section and key.
    std::vector<std::string> Messages;
    // The load was abandoned (unreadable file, cancelled volume prompt).
    bool Abandoned = false;
    void Add(std::string message) { Messages.push_back(std::move(message)); }
};

// Why a task file cannot be run, found before it is loaded; empty when it can be loaded, and for a
// file that is not there (the run reports that itself). A task file that is no regular file is never
// opened (a FIFO would block whoever reads it); one that cannot be read or is empty is refused, and so
// is a zip method with a split size below the smallest (ZipSplitSizeProblem).
std::string TaskFileProblem(const std::string& fileName);

// Full: replaces the whole task (new-task defaults first); otherwise only the folders are added. The
// folder sections are appended to task.Folders (the caller clears them before loading another task).
// Interaction decides whether a missing volume of a source folder is asked for (iaPrompt,
// iaErrorPrompt, iaQuietError). After a full load the task is normalised as the editor's refresh does
// it (NormaliseTask) and LastLogFile is set.
// Returns true when the file was read completely; false for a missing file (nothing changes and no
// message is added) and for an abandoned load (a file that is no regular file and is never opened, an
// unreadable file or a cancelled volume prompt; the folders read before stay).
bool LoadTask(TTaskSettings& task, const std::string& fileName, bool full, TInteraction interaction,
              TTaskFileReport& report, const TTaskFileContext& context = {});

// Rewrites fileName completely. Indexes empty: all folders; otherwise only the folders at these
// positions, renumbered from [Dir000] (export; the task keeps its file name). A task without folders
// is written in a reduced form. Returns false after a write failure, with the message
// "Error saving task "<file>"!" in the report.
bool SaveTask(TTaskSettings& task, const std::string& fileName, const std::vector<int>& indexes,
              TTaskFileReport& report, const TTaskFileContext& context = {});

// After a run: the next backup number, the start time of the run, the encryption choice and the folder
// statistics, written into an existing task file; every other line stays as it was, comment lines
// included (the file is written as UTF-16LE with CR LF line ends). A read-only file is updated
// and stays read-only. Failures become log lines ("  *** Could not update task file: "<file>"") in
// the report; nothing is written for an empty file name.
void UpdateTaskStatus(TTaskSettings& task, const std::string& fileName, TDateTime startTime,
                      TTaskFileReport& report, const TTaskFileContext& context = {});

// The saved copies of every folder's statistics (before a run) and back (when the run's statistics
// are dropped).
void SaveFolderCounters(TTaskSettings& task);
void RestoreFolderCounters(TTaskSettings& task);

// The full name of the task's log file: the default log without an own log name, else the log name
// with its placeholders expanded (the destination, with the volume of the first folder and the backup
// count, for "%dest%"; "%taskname%" from LoadedTaskName), in the log folder unless absolute.
std::string TaskLogFileName(const TTaskSettings& task, const TTaskFileContext& context = {});

// Date and time texts of the task file.
std::string TaskDateTimeToStr(TDateTime value, const TFormatSettings& format);
bool TryTaskStrToDateTime(const std::string& text, TDateTime& value, const TFormatSettings& format);
bool TryTaskStrToDate(const std::string& text, TDateTime& value, const TFormatSettings& format);
bool TryTaskStrToTime(const std::string& text, TDateTime& value, const TFormatSettings& format);
