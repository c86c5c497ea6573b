#pragma once
// The command line of a desktop shortcut or scheduled task that starts backup groups unattended:
// read into the choices the shortcut dialog shows, and written back from them.

#include <string>
#include <vector>

// Actions after the backups, in the order of the dialog's radio buttons.
enum TStarterAction
{
    saNoAction,
    saPrompt,
    saStandbyAction,
    saHibernateAction,
    saLogoffAction,
    saShutdownAction,
    saRestartAction
};

struct TShortcutChoices
{
    std::vector<std::string> Groups; // the groups named, in the order given
    int Action = saNoAction;
    bool Terminate = false;
    bool WriteLog = false;
    bool LockScreen = false;
    int ActErr = 0;      // /erractions: (no control shows it; kept as it was)
    std::string IniPath; // /ini:
};

// Reads a command line; /lockscreen only counts when ShowLock.
TShortcutChoices ReadShortcutCommandLine(const std::string& CmdLine, bool ShowLock);
// The command line of the groups (in the order given) and the options.
std::string BuildShortcutCommandLine(const std::vector<std::string>& Groups, const TShortcutChoices& Choices);
