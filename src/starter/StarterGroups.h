#pragma once
// The backup groups of QvStarter and its settings file "QvStarter.ini".
//
// A group is a list of backup task files with the account under which the main program runs them and
// the options of that run. The settings file (a Unicode ini file in the settings folder) holds the
// window position, the group shown last, the error-report mail settings and one section per group:
//   [Config]   Top, Left, Height, Width, LastTask, LastDir, TaskCount
//   [Mail]     SMTP, Port, Username, Password (encoded), Sender, ReplyTo, Recipients, Subject, UseTLS,
//              Enabled
//   [Task<nn>] Description, LogDirectory, Username, Password (encoded), PasswordPrompt, NoSplash,
//              PlaySound, Parallel, RunAs, StartDelay, WaitTime, StatusWindow, Count, TaskFile<mm>
//              (a leading "#" marks a disabled task)

#include <memory>
#include <string>
#include <sys/types.h>
#include <vector>

#include "archive/SmtpClient.h"

class TUnicodeIniFile;

// One task file of a group; Process is the running main program of a parallel start (-1: none).
struct TGroupTask
{
    std::string FileName;
    bool Enabled = true;
    pid_t Process = -1;
};

class TTaskProperties
{
public:
    explicit TTaskProperties(std::string ADesc) : Desc(std::move(ADesc)) { Reset(); }
    void Reset();
    void ClearTasks() { Tasks.clear(); }
    int AddTask(const std::string& AFilename, bool AEnabled);
    bool IsChecked(int AIndex) const { return Tasks.at(static_cast<size_t>(AIndex)).Enabled; }
    void RemoveTask(int AIndex) { Tasks.erase(Tasks.begin() + AIndex); }

    std::string Desc;
    std::string User;
    std::string Pwd;
    std::string AltLogDir;
    bool PwdPrompt = true;
    bool NoSplash = false;
    bool PlaySound = false;
    bool ParProc = false;
    bool RunAs = false;
    int Index = 0;
    int Delay = 5;
    int StartDelay = 0;
    int Status = 1;
    std::vector<TGroupTask> Tasks;
};

namespace starter {

// The error-report mail settings (distinct from the backup task's mail settings).
struct TMailData
{
    std::string SMTP, Username, Password, Sender, ReplyTo, Recipients, Subject;
    int Port = 25;
    TSecTransfer SecureMode = stNone;
    bool WriteLog = false;
    bool Enabled = false;
};

// The defaults of the mail settings.
void DefaultValues(TMailData& AMailDat);

} // namespace starter

using TGroupList = std::vector<std::unique_ptr<TTaskProperties>>;

// Everything the settings file holds.
struct TStarterSettings
{
    int Top = -1, Left = -1, Height = 0, Width = 0;
    std::string LastTask, LastDir;
    starter::TMailData MailData;
    TGroupList Groups;

    // Index of the group named Name (without regard to case), -1 when there is none.
    int FindGroup(const std::string& Name) const;
    // The group names in list order.
    std::vector<std::string> GroupNames() const;
};

// Where the settings file is.
struct TStarterLocation
{
    std::string IniName;     // the settings file
    std::string AIniPath;    // folder of a settings file given with /ini: (absolute value), else empty
    std::string SettingsDir; // the settings folder (also the log folder of the program), with "/"
};

// The settings file: AppPath is the default settings folder (with "/"), ProgName the program name,
// IniOption the value of /ini: (empty without it). Without /ini: old settings files are taken over.
TStarterLocation LocateSettingsFile(const std::string& AppPath, const std::string& ProgName,
                                    const std::string& IniOption);

// Reads the settings; CmdLastTask (the first group named on the command line) replaces LastTask when
// not empty. Task files that do not exist are dropped. A missing file reads as defaults.
void LoadStarterSettings(const std::string& IniName, const std::string& CmdLastTask, TStarterSettings& S);
// The index of the group to show first: LastTask, else 0 when there is a group, else -1.
int InitialGroupIndex(const TStarterSettings& S);
// Writes the settings; raises EWriteError.
void SaveStarterSettings(const std::string& IniName, const TStarterSettings& S);

// The key of the stored passwords, and the encoding and decoding of a stored password.
std::string EncodeStoredPassword(const std::string& Pwd);
std::string DecodeStoredPassword(const std::string& Text);
