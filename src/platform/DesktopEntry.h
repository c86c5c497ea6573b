#pragma once
// freedesktop.org desktop entries (".desktop" files): the shell links of Linux desktops, used for
// desktop shortcuts and the autostart entry.
//
// A link that runs as administrator starts its program through "pkexec"; reading such a link gives
// the program and RunAsAdmin.

#include <cstdint>
#include <string>
#include <vector>

struct TDesktopEntry
{
    std::string Name;
    std::string Comment;
    std::vector<std::string> Exec; // program and arguments, unquoted
    std::string Icon;
    std::string WorkDir; // key Path
    bool RunAsAdmin = false;
    bool Terminal = false;
};

// Writes the entry (Type=Application) to FileName, executable for the owner as desktops expect of
// launchers. Missing folders are created. 0 or a Windows-style code.
uint32_t WriteDesktopEntry(const std::string& fileName, const TDesktopEntry& entry);
// Reads an entry. 2 when the file does not exist; 13 (invalid data) when it has no [Desktop Entry]
// group or no Exec key.
uint32_t ReadDesktopEntry(const std::string& fileName, TDesktopEntry& entry);

// The Exec value of an argument vector (quoting of the Desktop Entry Specification, without the
// string-value escapes of the file) and its inverse.
std::string QuoteExecLine(const std::vector<std::string>& argv);
std::vector<std::string> SplitExecLine(const std::string& exec);
// Escapes and unescapes a string value (\\ \n \t \r \s).
std::string EscapeDesktopValue(const std::string& value);
std::string UnescapeDesktopValue(const std::string& value);
