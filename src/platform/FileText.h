#pragma once
// Small pieces the file layers share: reading a whole file, replacing a file's contents without ever
// leaving it half written, ini-style text as the class library reads it, and names compared without
// regard to ASCII case.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// True when a and b are equal but for the case of ASCII letters.
bool SameTextAscii(std::string_view a, std::string_view b);
// s without the blanks and control characters (all bytes up to ' ') at both ends.
std::string_view TrimBlanks(std::string_view s);
// The folder part of a path: "." for a bare name, "/" for a name in the root.
std::string ParentDirOf(const std::string& path);

// Reads the whole of a regular file (also a /proc or /sys file) into data (appended). False when the
// file cannot be opened or is no regular file; FIFOs, sockets and devices are never read.
bool ReadWholeFile(const std::string& fileName, std::string& data);
// The contents of a file, empty when it cannot be read.
std::string ReadSmallFile(const std::string& fileName);
// Writes data to a new file beside fileName and renames it over fileName, keeping the owner and mode of
// the file it replaces; a link is followed to the file it names. 0 or a Windows-style code, with the
// old file left as it was on failure (an existing target that is no regular file gives 5).
uint32_t ReplaceFileContents(const std::string& fileName, std::string_view data);

// One section of ini-style text: its name and its lines ("name=value" with both sides trimmed, or a
// line without "=").
struct TIniTextSection
{
    std::string Name;
    std::vector<std::string> Lines;
};
// Parses ini-style text the way the class library does: lines end with CR LF, LF or CR; every line is
// trimmed; empty lines and lines that begin with ";" are skipped; "[name]" starts a section (a name seen
// before, in any ASCII case, continues that section); lines before the first section are dropped.
std::vector<TIniTextSection> ParseIniText(std::string_view text);
