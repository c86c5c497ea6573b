#pragma once
// Where the suite keeps its settings, logs and temporary files, the lock file that tells other
// processes a backup is running, and small task-file helpers. Part of the QvUtils family.
//
// Folders end with "/". The settings folder is $XDG_CONFIG_HOME/Vastrel6/, the task folder
// <Documents>/Vastrel/; the registry value IniPath lives in the per-user registry file.
//
// The lock file "Vastrel.lock" holds the running task's name as UTF-16LE characters (no mark, no
// terminator); while the run lasts the creating process holds an advisory lock on it. A lock file that
// a live process holds is never removed by another process.

#include <functional>
#include <string>

#include "rtl/DateTime.h"

constexpr const char* LockFileName = "Vastrel.lock";

// --- folders

// The default settings folder (not created), the Documents folder and the programs folder.
void GetDefaultFolders(std::string& settingsDir, std::string& documentsDir, std::string& progFilesDir);
// The registry value IniPath of Software\Vastrel6 (current user), or Default when missing or empty.
std::string ReadIniPathFromRegistry(const std::string& defaultValue);
// Copies the previous version's settings file when FileName does not exist yet; errors are ignored.
void MigrateOldSettings(const std::string& appDataDir, const std::string& fileName);
// Dir when it is not empty and can be created with its parents, else Default.
std::string GetUsableDir(const std::string& dir, const std::string& defaultDir);
// The program's temporary folder (<temp>/Qv-<uid>/, made on demand; the temporary folder itself
// when it cannot be made).
std::string GetProgTempDir();
// The log folder: the configured one, else the settings folder, else the application-data folder.
std::string GetLogDir();
// The folder of the running program ("" when it cannot be told), with a trailing slash.
std::string GetProgramDir();

// --- help

// The help is a set of HTML pages. Its start page: the translated name of "qve-help.html", else
// "qve-help.html", looked for in $VASTREL_HELP_DIR, the program folder and <program folder>/../share/
// vastrel/help/ (the first that exists); the program folder + "qve-help.html" when none does.
std::string GetHelpFileName();
// Opens the help page (with a topic: the page Topic, relative to the start page's folder, an "#anchor"
// kept) in the desktop's browser through xdg-open. Any failure shows "Help is not available on this
// system!" through the error handler (standard error when none is set).
void OpenHelpTopic(const std::string& topic);
void SetHelpErrorHandler(std::function<void(const std::string& message)> handler);
// The file URL of a local path ("file://" and the path with reserved bytes percent-encoded).
std::string FileUrl(const std::string& path);

// --- lock file

bool CreateLockFile(const std::string& dir, const std::string& taskName);
void DeleteLockFile();
bool ReadLockFile(const std::string& dir, std::string& taskName, TDateTime& startTime);
bool LockFileExists(const std::string& dir);

// --- task files

std::string GetTaskKindText(const std::string& taskFiles);
int GetLogModeFor(int kindBit);
std::string DefaultZipName();
std::string GetListItemAt(const std::string& text, int pos);
bool IsSpecialFile(bool check, const std::string& name);
bool IsLinkInfoFile(const std::string& fileName);

// Waits Seconds × 10 steps of 100 ms, running pending synchronised calls after each step.
void DelaySeconds(int seconds);

// UTF-8 to UTF-16LE bytes and back (unpaired surrogates become U+FFFD).
std::string Utf8ToUtf16LeBytes(const std::string& text);
std::string Utf16LeBytesToUtf8(const std::string& bytes);
