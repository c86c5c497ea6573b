#pragma once
// The desktop shortcut of a schedule: it starts the planner with the schedule's name, the options for
// the main program and /interactive, so that a start on a day already done asks whether to run again.

#include <cstdint>
#include <string>

// "QvSched-" + the schedule name without its extension.
std::string ScheduleShortcutName(const std::string& schedName);
// The link file of a shortcut name on the desktop (as the shell keeps it).
std::string ScheduleShortcutFile(const std::string& shortcutName);
// The planner's arguments: the name in double quotes, then the options, then " /interactive".
std::string ScheduleShortcutArguments(const std::string& schedName, const std::string& options);
// Writes the shortcut on the desktop; a negative result holds the system error in its low word.
int32_t MakeScheduleShortcut(const std::string& shortcutName, const std::string& planer,
                             const std::string& schedName, const std::string& options, bool runAsAdmin,
                             const std::string& description, const std::string& workDir);
