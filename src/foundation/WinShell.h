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

// --- folders
// Shell folders map to the XDG folders of the user (user-dirs.dirs and the base directories), to the
// freedesktop locations of menus and autostart entries, and to the program's installation prefix;
// folders Linux has no counterpart of give "". Results carry no trailing slash.

// Shell folder numbers (only the low byte counts; the flag bits above it are ignored).
constexpr int CSIDL_DESKTOP = 0x0000;
constexpr int CSIDL_PROGRAMS = 0x0002;
constexpr int CSIDL_PERSONAL = 0x0005;
constexpr int CSIDL_STARTUP = 0x0007;
constexpr int CSIDL_STARTMENU = 0x000B;
constexpr int CSIDL_MYMUSIC = 0x000D;
constexpr int CSIDL_MYVIDEO = 0x000E;
constexpr int CSIDL_DESKTOPDIRECTORY = 0x0010;
constexpr int CSIDL_FONTS = 0x0014;
constexpr int CSIDL_TEMPLATES = 0x0015;
constexpr int CSIDL_COMMON_STARTMENU = 0x0016;
constexpr int CSIDL_COMMON_PROGRAMS = 0x0017;
constexpr int CSIDL_COMMON_STARTUP = 0x0018;
constexpr int CSIDL_APPDATA = 0x001A;
constexpr int CSIDL_LOCAL_APPDATA = 0x001C;
constexpr int CSIDL_INTERNET_CACHE = 0x0020;
constexpr int CSIDL_COMMON_APPDATA = 0x0023;
constexpr int CSIDL_SYSTEM = 0x0025;
constexpr int CSIDL_PROGRAM_FILES = 0x0026;
constexpr int CSIDL_MYPICTURES = 0x0027;
constexpr int CSIDL_PROFILE = 0x0028;
constexpr int CSIDL_PROGRAM_FILES_COMMON = 0x002B;
constexpr int CSIDL_COMMON_DOCUMENTS = 0x002E;

// Known-folder ids in their registry form.
inline constexpr const char* FOLDERID_Desktop = "{B4BFCC3A-DB2C-424C-B029-7FE99A87C641}";
inline constexpr const char* FOLDERID_Documents = "{FDD39AD0-238F-46AF-ADB4-6C85480369C7}";
inline constexpr const char* FOLDERID_Downloads = "{374DE290-123F-4565-9164-39C4925E467B}";
inline constexpr const char* FOLDERID_Music = "{4BD8D571-6D19-48D3-BE97-422220080E43}";
inline constexpr const char* FOLDERID_Pictures = "{33E28130-4E1E-4676-835A-98395C3BC3BB}";
inline constexpr const char* FOLDERID_Videos = "{18989B1D-99B5-455B-841C-AB7C74E4DDFC}";
inline constexpr const char* FOLDERID_Profile = "{5E6C858F-0E22-4760-9AFE-EA3317B67173}";
inline constexpr const char* FOLDERID_RoamingAppData = "{3EB685DB-65F9-4CF6-A03A-E3EF65729F3D}";
inline constexpr const char* FOLDERID_LocalAppData = "{F1B32785-6FBA-4FCF-9D55-7B8E7F157091}";
inline constexpr const char* FOLDERID_ProgramData = "{62AB5D82-FDC1-4DC3-A9DD-070D1D495D97}";
inline constexpr const char* FOLDERID_Public = "{DFDF76A2-C82A-4D63-906A-5644AC457385}";
inline constexpr const char* FOLDERID_Startup = "{B97D20BB-F46A-4C97-BA10-5E3608430854}";
inline constexpr const char* FOLDERID_Templates = "{A63293E8-664E-48DB-A079-DF759E0509F7}";
inline constexpr const char* FOLDERID_ProgramFiles = "{905E63B6-C1BF-494E-B29C-65B732D3D21A}";

// The folder of a shell folder number; "" when Linux has none. errno is 0 afterwards.
std::string GetSpecialFolder(int csidl);
// The folder of a known-folder id (braces optional, any case); "" for an unknown id.
std::string GetKnownFolder(const std::string& folderId);
// The programs folder of a kind (only the low 7 bits count): even kinds (0, 2, 4: Program Files of
// any bitness) give the installation prefix, odd kinds (1, 3, 5: Common Files) its "share" folder;
// other kinds behave like 0. Linux keeps one set of programs, so the bitness kinds are the same.
std::string GetProgramFilesDir(int kind);

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
