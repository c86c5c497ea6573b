#pragma once
// Text operations on paths and file names.
//
// Paths are POSIX paths: the delimiter is "/". A path is absolute when it begins with "/" or is a
// volume name ":label:" or ":label:/rest" (resolved to the volume's mount point elsewhere).
// The drive part of a path is "/" for a local absolute path, ":label:" for a volume name,
// "//server/share" for a network path, and empty for a relative path.
// Path identity is case-sensitive; masks and extension comparisons are case-insensitive.
// A leading dot belongs to the name: ".bashrc" has no extension, "a.tar.gz" has "gz".
// Names are byte strings; bytes that are not UTF-8 pass through unchanged. Lengths count code points.
// Only ExpandRelativePath (no system call, a lexical canonicalisation) and GetExistingDir (stat)
// go beyond the text; everything here is thread-safe.

#include <string>
#include <string_view>

inline constexpr char PathDelimiter = '/';

// --- Extensions and names

std::string AddPathDelimiter(std::string_view Path);
std::string ExtractExtension(std::string_view Name);
std::string DeleteExtension(std::string_view Name);
std::string ChangeExtension(std::string_view Name, std::string_view Ext);
// Mode 0: keep Name when it already has Ext (any case), else append; 1: ChangeExtension; 2: append.
std::string ForceExtension(std::string_view Name, std::string_view Ext, int Mode);
std::string JoinPath(std::string_view Dir, std::string_view Name);
std::string BuildFileName(std::string_view Dir, std::string_view Name, std::string_view DefExt);
std::string MakeFileName(std::string_view Dir, std::string_view Name, std::string_view DefExt);
std::string InsertNameSuffixExt(std::string_view Name, std::string_view Suffix, std::string_view Ext);
std::string InsertNameSuffix(std::string_view Name, std::string_view Suffix);
// "*" any run, "?" one character, "[set]", "[a-z]", "[!set]"; case-insensitive. A mask ending in
// ".*" (such as "*.*") also matches a name without an extension. Sets are read leniently (a "[" that
// opens no closed set is an ordinary character); the matcher is the one of Masks.h.
bool MatchesFileMask(std::string_view Mask, std::string_view FileName);
// The characters that names on FAT, exFAT, SMB and FTP destinations may not hold: control
// characters and * / : < > ? \ | ". Use it for names the suite creates, never to reject source names.
bool IsValidFileName(std::string_view Name);
std::string ReplaceIllegalChars(std::string_view Name, char32_t Ch);
bool IsNotDotEntry(std::string_view Name);
bool IsNotDotEntryEx(std::string_view Name, std::string_view Chars);

// --- Folders and paths

bool IsSameDirectory(std::string_view Dir1, std::string_view Dir2);
bool IsSamePath(std::string_view Path1, std::string_view Path2);
std::string GetParentDir(std::string_view Path);
std::string GetLastDirName(std::string_view Path);
bool IsSubPath(std::string_view Dir, std::string_view Path);
bool IsRootPath(std::string_view Path);
bool IsAbsolutePath(std::string_view Path);
std::string MakeRelativePath(std::string_view BaseDir, std::string_view Path);
std::string MakeAbsolutePath(std::string_view BaseDir, std::string_view Path);
std::string ExpandRelativePath(std::string_view BaseDir, std::string_view Path);
std::string GetCommonRoot(std::string_view Path1, std::string_view Path2);
std::string GetExistingDir(std::string_view Path, std::string_view Default);
std::string ReplaceDriveLetter(std::string_view Path, std::string_view Drive);
std::string RemoveDrive(std::string_view Path);
std::string ShortenPath(std::string_view Path, int MaxLen);

// The drive part of Path as described above ("" for a relative path).
std::string ExtractDrivePart(std::string_view Path);
