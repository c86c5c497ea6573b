#pragma once
// The checks the task editor makes before a task is saved or run, and singly while the user edits the
// method, the destination and the source folders: valid destination names, no overlap of sources and
// destination, a method that suits the source folders, and the questions for settings that delete.
//
// A POSIX path has no drive letter: the "drive" of a path is the mounted volume that holds it (its
// mount point), a network path "//server/share/…" has "//server/share", a volume name ":label:/…" has
// ":label:". Nothing here shows a message: the routines return the message text (empty when the check
// passes) and the editor shows it.

#include <string>
#include <vector>

#include "backup/TaskSettings.h"

// The drive of a path as described above; the path's drive part when its volume cannot be found.
std::string PathDrive(const std::string& path);
// Path lies in folder: path + "/" starts with folder + "/". A folder lies in itself.
bool LiesIn(const std::string& path, const std::string& folder);

// Every component of a local destination is a name the destinations of the suite accept; a leading
// volume name is checked by its label. An empty path is valid.
bool IsValidDestPath(const std::string& path);
// The destination rebuilt component by component: trailing blanks removed, an empty component becomes
// "NewDir", a trailing delimiter dropped (a bare root stays).
std::string MakeValidDestPath(const std::string& path);

// The destination is the root of a volume that holds a source folder (never for FTP and the methods
// 0 and 6, which make one folder per drive).
bool DestinationIsSourceRoot(const TTaskSettings& task);
// Two source folders end in the same folder name (methods 3, and 5 with two folders or more).
bool HasDuplicateLastDirNames(const TTaskSettings& task);
// Why the method does not suit the source folders, empty when it does. An empty path checks the whole
// task; otherwise path and volume are a folder about to take the place skipIndex (-1 = added).
std::string CheckMethodForSources(const TTaskSettings& task, const std::string& path,
                                  const std::string& volume, int skipIndex);
// All source folders lie on the drive (or the volume name) of the first.
bool SourcesOnOneDrive(const TTaskSettings& task);
// The first folder (other than skipIndex) of normal kind in which path lies; with both, else the first
// folder that lies in path; -1 when none.
int FindOverlappingFolder(const TTaskSettings& task, const std::string& path, bool both, int skipIndex);
// The overlap test of a local destination (volume name resolved, not asked for); empty when none.
std::string DestinationOverlapProblem(const TTaskSettings& task);

// The checks of the destination text and the method, in their order (the first two steps of the checks
// before saving and running); empty when they pass.
std::string CheckDestinationText(const TTaskSettings& task);
// The questions for settings that delete data, each ending with the text; all must be answered Yes.
std::vector<std::string> RiskyQuestions(const TTaskSettings& task, const std::string& text);

// Captions of the methods the messages name.
std::string MethodCaption(int destMode);
