#pragma once
// The long-path rule and the file wrappers that callers use wherever a path may be long.
//
// Linux knows no "\\?\" or "\\?\UNC\" forms: a path is handed to the system as it is, and a path too
// long for it fails with code 206. AddLongPathPrefix therefore returns its argument unchanged; it stays
// so that every wrapper applies the rule at one place. The wrappers never raise and report failures as
// Windows-style codes from ErrnoToWinError (0 = success). Attributes are those of platform/PosixFiles.h.

#include <cstdint>
#include <string>

#include "platform/PosixFiles.h"
#include "rtl/DateTime.h"

// The form of path that the system calls receive (the path itself).
std::string AddLongPathPrefix(const std::string& path);

// Creates dir and every missing parent; true when dir exists as a directory afterwards.
bool XlForceDirectories(const std::string& dir);
// Removes an empty directory (a symbolic link to a directory is removed as the link). Code.
uint32_t XlRemoveDir(const std::string& dir);
// With clearReadOnly the read-only bit is cleared first (links not followed); then XlRemoveDir.
// The first non-zero code, else 0.
uint32_t XlRemoveDirEx(const std::string& dir, bool clearReadOnly);
bool XlDirectoryExists(const std::string& dir, bool followLink = true);
// True when dir holds no entries, and also when it cannot be listed.
bool XlIsEmptyDirectory(const std::string& dir);
// True when name exists and is no directory.
bool XlFileExists(const std::string& name, bool followLink = true);
// False when the attributes of name can be read; else true only for the codes 2, 3 and 123.
bool XlIsPathMissing(const std::string& name);
// Deletes a file (a symbolic link itself, never its target). A read-only file is deleted only with
// clearReadOnly, which clears the bit first; a failure of that step is returned. Code.
uint32_t XlDeleteFile(const std::string& name, bool clearReadOnly = false);
// XlDeleteFile when the file exists (links followed); 0 when it is absent.
uint32_t XlDeleteExistingFile(const std::string& name, bool clearReadOnly = false);
bool XlTryDeleteFile(const std::string& name, bool clearReadOnly = false);
// Renames src to dest, which must not exist (183). Between file systems the move fails with 17. Code.
uint32_t XlMoveFile(const std::string& src, const std::string& dest);
// XlMoveFile, then the attributes attr on dest (links followed): the move's code when it failed, else
// the negated code of setting the attributes (0 when both succeeded).
int XlMoveFileSetAttr(const std::string& src, const std::string& dest, uint32_t attr);
// Size of a file (links followed); 0 on failure and for anything but a regular file.
int64_t XlGetFileSizeOf(const std::string& name);
// Attributes, -1 on failure.
int XlFileGetAttr(const std::string& name, bool followLink = true);
uint32_t XlFileSetAttr(const std::string& name, uint32_t attr, bool followLink = true);
// Reads the attributes (code 2 when they cannot be read); clear removes the bits of attr, else they
// are added; 0 without a write when nothing changes, else the code of setting them.
uint32_t XlChangeFileAttr(const std::string& name, uint32_t attr, bool clear, bool followLink = true);
// Last-write time of a file (no directory) as local TDateTime; 0 when not available.
TDateTime XlGetFileAge(const std::string& name, bool followLink = true);
// The same with links not followed and def when not available.
TDateTime XlGetFileAgeDef(const std::string& name, TDateTime def);
// Last-write time of a directory (links followed) as local TDateTime; 0 when not available.
TDateTime XlGetDirAge(const std::string& dir);
bool XlIsReparsePoint(const std::string& name);
// errCode 3 when dir is no directory (links followed), else 0 or the code of listing it. True for 0.
bool XlCheckDirAccess(const std::string& dir, uint32_t& errCode);
