#pragma once
// The kinds of program run a scheduled task of the suite performs, and the command line of its program
// action: built from the settings of the Scheduled Task Wizard when it registers a task, and read back
// into the same settings when it edits one, so that a task can be edited any number of times without
// losing options.

#include <string>

// The kind of program run that a scheduled task performs.
enum TQvAction
{
    paBackup,
    paRestore,
    paCleanup,
    paSchedule,
    paVerify,
    paStarter,
    paOrvane
};

// What a kind brings along (texts untranslated; the caller translates ActionText and TasksLabel).
struct TQvActionInfo
{
    const char* ActionText;
    const char* NamePrefix;
    const char* UserDataKey;
    const char* Extension;  // "" when the kind has no task files
    const char* TasksLabel; // "Tasks (%s):" takes the action text; "" none
    bool SettingsPage;
    bool TasksEditable;
    bool ErrorHandling;
};
const TQvActionInfo& QvActionInfo(TQvAction kind);
// "Vastrel", "QvPlaner", "QvStarter" or "Orvane": the program that runs tasks of the kind.
const char* QvActionProgram(TQvAction kind);

// The controls of the wizard's "Settings" page.
struct TSchedOptions
{
    std::string Tasks;       // comma-separated task files (double quotes round a name with a blank or comma)
    std::string UserOptions; // user defined parameters, kept verbatim
    std::string WorkDir;
    std::string IniFile;
    int Prompt = 1;    // status window: 0 wait, 1 close automatically, 2 not visible, 3 wait only on errors,
                       // 4 not visible except on errors
    int Wait = 3;      // close after (seconds, 1 to 99)
    bool Hide = true;  // no splash screen
    int EndAction = 0; // 0 none, 1 standby, 2 hibernate, 3 logoff, 4 shutdown, 5 restart
    int LogMode = 0;   // 0 as in task, 1 short, 2 long, 3 verbose; another value: no selection
    bool Parallel = false;
    int Priority = 0;   // 0 normal, 1 low, 2 high
    int ErrActions = 0; // error-action mask for /erractions: (0 none)
};

// The options, each beginning with a blank; WithIni adds /ini:.
std::string BuildOptions(TQvAction kind, const TSchedOptions& o, bool WithIni);
// The argument text of the program action: task files (absolute, against taskFolder), options, user text.
std::string BuildArguments(TQvAction kind, const TSchedOptions& o, const std::string& taskFolder);
// Reads an argument text into the settings (task list and user text start empty); an option that names a
// kind replaces kind.
void ParseArguments(const std::string& args, const std::string& taskFolder, TSchedOptions& o,
                    TQvAction& kind);
// Whether the close delay applies to a status-window choice.
inline bool PromptHasWait(int prompt)
{
    return prompt == 1 || prompt == 3;
}
