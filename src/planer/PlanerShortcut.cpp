#include "planer/PlanerShortcut.h"

#include "foundation/PathUtils.h"
#include "foundation/WinShell.h"
#include "foundation/XlFileUtils.h"
#include "platform/XdgDirs.h"

std::string ScheduleShortcutName(const std::string& schedName)
{
    return "QvSched-" + DeleteExtension(schedName);
}

std::string ScheduleShortcutFile(const std::string& shortcutName)
{
    return ShellLinkFileName(AddPathDelimiter(DesktopDir()) + shortcutName + ".lnk");
}

std::string ScheduleShortcutArguments(const std::string& schedName, const std::string& options)
{
    return "\"" + schedName + "\"" + options + " /interactive";
}

int32_t MakeScheduleShortcut(const std::string& shortcutName, const std::string& planer,
                             const std::string& schedName, const std::string& options, bool runAsAdmin,
                             const std::string& description, const std::string& workDir)
{
    XlForceDirectories(DesktopDir());
    return MakeShortcut(AddPathDelimiter(DesktopDir()) + shortcutName + ".lnk", planer,
                        ScheduleShortcutArguments(schedName, options), runAsAdmin, description, workDir);
}
