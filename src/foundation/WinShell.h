#pragma once
// Shell services of Linux desktops: links are freedesktop.org desktop entries (".desktop" files;
// a link name ending in ".lnk" is written with ".desktop" instead), deleting to the Recycle Bin uses
// the freedesktop.org Trash, and the kind of an executable is read from its first bytes.
// Results are HRESULT-like values: 0 success, 0x8007xxxx with the Windows-style code otherwise,
// except ReadShellLink's plain 2 for a missing link.

#include <cstdint>
#include <string>
#include <vector>

constexpr int32_t S_OK = 0;

// The file name a link is stored under: ".lnk" replaced by ".desktop", ".desktop" added when missing.
std::string ShellLinkFileName(const std::string& linkName);

int32_t CreateShellLink(const std::string& linkName, const std::string& target, const std::string& iconFile,
                        const std::string& arguments, const std::string& workDir,
                        const std::string& description, int iconIndex, bool runAsAdmin);
int32_t CreateShellLinkTargetIcon(const std::string& linkName, const std::string& target,
                                  const std::string& arguments, const std::string& workDir,
                                  const std::string& description, bool runAsAdmin);
int32_t MakeShortcut(const std::string& linkName, const std::string& target, const std::string& arguments,
                     bool runAsAdmin, const std::string& description, const std::string& workDir);
int32_t ReadShellLink(const std::string& linkName, std::string& target, std::string& arguments,
                      std::string& workDir, std::string& description, bool& runAsAdmin);
bool ReadShellLinkInfo(const std::string& linkName, std::string& target, std::string& arguments,
                       std::string& workDir, std::string& description);

// Deleting one file or a folder tree, to the trash or for good. Owner and Silent have no meaning here.
int32_t ShellItemDelete(void* owner, const std::string& fileName, bool toRecycleBin, bool silent);
int32_t ShellItemDeleteDir(void* owner, const std::string& dir, bool toRecycleBin, bool silent);
int32_t ShellItemCopy(void* owner, const std::string& source, const std::string& dest, bool silent);

// 0 no executable, 1 a link (desktop entry), 4 a program with a graphical interface, 5 a console
// program or script.
int GetExeType(const std::string& fileName);
bool IsConsoleApp(const std::string& fileName);

// Splits a command-line argument text (blanks separate, double quotes group, a doubled quote inside
// quotes stands for one) and joins arguments back, quoting those with blanks or quotes.
std::vector<std::string> SplitArguments(const std::string& text);
std::string JoinArguments(const std::vector<std::string>& args);
