#pragma once
// Operating-system services beyond files, in their Linux meaning: user and computer names, the
// administrator test (root), logged-in sessions, the system's event log (journal), the alternate
// streams of a file (user extended attributes), and the one-line name of the operating system for the
// task logs. Nothing here raises; failures give false, empty texts or Windows-style codes.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "rtl/DateTime.h"

struct TStreamSearch;

// One alternate stream of a file. The first one reported is the file's own data ("::$DATA"), the
// others are its user extended attributes as ":name:$DATA".
struct TWin32FindStream
{
    std::shared_ptr<TStreamSearch> FindHandle; // empty when nothing was found
    int64_t Size = 0;
    std::string Name;
};

// 0, or a Windows-style code (38 at the end of the list).
uint32_t FindFirstStream(const std::string& fileName, TWin32FindStream& stream);
uint32_t FindNextStream(TWin32FindStream& stream);

std::string GetTempDir(); // with a trailing slash
std::string GetCurrentUserName();
std::string GetDomainUserName(); // the plain user name: Linux accounts have no domain part here
std::string GetLocalComputerName();
std::string GetUserProfileDir(); // the home folder

bool IsAdministrator();   // root
bool IsProcessElevated(); // root
// Privileges are a Windows notion; enabling one changes nothing and succeeds.
bool SetPrivilege(const std::string& name, bool enable);
// "S-1-22-1-<uid>", the SID under which Samba shows Unix users.
std::string GetUserSidString();
// Number of logged-in users' sessions with a live process; -1 when they cannot be read.
int GetUserSessionCount();
// The local logon time of the current user's first session; the current time when there is none.
TDateTime GetUserLogonTime();

bool Is64BitWindows();    // a 64-bit system
bool IsNative64Process(); // a 64-bit build

// Version resources do not exist on Linux.
std::string GetShortFileVersion(const std::string& fileName, const std::string& defaultValue);

// Writes an entry to the system's log; 0, or a Windows-style code. Strings become the message.
uint32_t WriteEventLog(const std::string& source, uint16_t eventType, uint16_t category, uint32_t eventId,
                       const std::vector<std::string>& strings);
// True when the system's log can take entries.
bool EventSourceExists(const std::string& source);

// --- SystemInfo

// The name of the system for the "Operating system:" line, such as
// "Debian GNU/Linux 12 (bookworm) (Kernel 6.1.0-13-amd64, 64-bit Edition)".
std::string GetWindowsVersionText();
bool IsWin64();
