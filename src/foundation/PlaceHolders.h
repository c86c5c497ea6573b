#pragma once
// Placeholders in names the user types: words between percent signs that are replaced when the
// name is used (destination folders, zip names, log names, command lines). Matching ignores case
// and every occurrence is replaced. Dates and times come from the injectable clock.

#include <array>
#include <string>
#include <string_view>

inline constexpr std::array<const char*, 14> DatePlaceholders = {
    "%date%", "%yaw%", "%dow%",   "%ldow%",   "%dnw%",  "%day%",  "%week%",
    "%dom%",  "%wom%", "%month%", "%lmonth%", "%year%", "%user%", "%computer%"};

inline constexpr std::array<const char*, 11> TimePlaceholders = {
    "%time%", "%hour%",     "%minute%",       "%d#?%",    "%w#?%", "%m#?%",
    "%v#?%",  "%username%", "%computername%", "%volume%", "%mode%"};

inline constexpr std::array<const char*, 11> PathPlaceholders = {
    "%perspath%", "%apppath%",  "%profile%",      "%desktop%", "%favorites%", "%progfiles%",
    "%progpath%", "%username%", "%computername%", "%user%",    "%computer%"};

inline constexpr std::array<const char*, 10> SystemPlaceholders = {
    "%appdata%",      "%localappdata%",       "%allusersprofile%",   "%public%",
    "%programfiles%", "%commonprogramfiles%", "%programfiles(x86)%", "%commonprogramfiles(x86)%",
    "%programdata%",  "%userprofile%"};

inline constexpr std::array<const char*, 8> MailPlaceholders = {
    "%taskname%", "%username%", "%computername%", "%computer%", "%start%", "%end%", "%duration%", "%status%"};

inline constexpr std::array<const char*, 13> PortablePlaceholders = {
    "%device%", "%date%", "%yaw%", "%dow%",   "%ldow%",   "%dnw%", "%day%",
    "%week%",   "%dom%",  "%wom%", "%month%", "%lmonth%", "%year%"};

// Date list, the counters "%d#n%", "%w#n%", "%m#n%", "%v#n%" (only when Counter > 0), time list.
std::string ExpandDatePlaceholders(std::string_view Text, int Counter);
// Path list, then the system list. An empty text stays empty.
std::string ExpandPathPlaceholders(std::string_view Text);
// The leading folders of Path up to the first element holding "%", each followed by "/".
std::string GetPathBeforePlaceholder(std::string_view Path);
bool HasNamePlaceholders(std::string_view Text);

// Values the expanders use; exposed for the dialogs and the tests.
std::string PlaceholderUserName();
std::string PlaceholderComputerName();
// "%yaw%": the ISO week-numbering year, "-", the two-digit ISO week of Date.
std::string YearAndWeekText(double Date);
// The folder a path or system placeholder stands for (no trailing "/"); empty when unknown.
std::string PlaceholderFolder(std::string_view Placeholder);
// Case-insensitive replacement of every occurrence (ASCII letters).
std::string ReplaceTextIgnoreCase(std::string_view Text, std::string_view From, std::string_view To);
