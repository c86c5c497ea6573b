#pragma once
// Running backup groups: the main program started under a group's account with the group's task
// files, one process for all tasks or one per task side by side, its exit codes turned into texts;
// the command line of QvStarter, its unattended run with run log, error-report mail and power action.
//
// The window and the unattended run share this class; the window supplies the host (questions, error
// boxes, event processing) and shows the groups this class holds.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "foundation/BuConsts.h"
#include "foundation/WinExecute.h"
#include "starter/StarterGroups.h"

// Result codes of a start: 0 success, 1..255 the main program's exit code (low byte), 7 not started,
// 8 waiting failed.
constexpr int srStartError = 7;
constexpr int srWaitError = 8;
// CheckParallelTask: the process still runs.
constexpr int srRunning = -1;

// What the run needs from whoever shows it.
class IStarterHost
{
public:
    virtual ~IStarterHost() = default;
    // The password prompt; false on Cancel.
    virtual bool AskPassword(const std::string& Title, const std::string& Prompt, std::string& Pwd) = 0;
    virtual void ErrorBox(const std::string& Text) = 0;
    // Keeps the window responsive between waits.
    virtual void ProcessMessages() {}
    // The question of /prompt: 0 only backup, 1..5 the power actions, -1 Cancel; Terminate receives the
    // check box.
    virtual int AskEndAction(const std::string& /*Groups*/, bool& /*Terminate*/) { return 0; }
};

// A host for runs without anybody present: no password prompts, errors to standard error.
class THeadlessStarterHost : public IStarterHost
{
public:
    bool AskPassword(const std::string& Title, const std::string& Prompt, std::string& Pwd) override;
    void ErrorBox(const std::string& Text) override;
};

// How processes are started under an account and waited for (WaitForProcess result codes).
class IStarterProcesses
{
public:
    virtual ~IStarterProcesses() = default;
    // Raises EProcessError when the program cannot be started.
    virtual TProcessHandle Start(const std::string& User, const std::string& Domain, const std::string& Pwd,
                                 const std::vector<std::string>& Argv) = 0;
    virtual uint32_t Wait(TProcessHandle Handle, int TimeOut) = 0;
};

// The real one: the run-as layer of the platform; while a program of another account runs on an X
// display, that account is allowed on the display (and no longer afterwards).
class TRunAsProcesses : public IStarterProcesses
{
public:
    TProcessHandle Start(const std::string& User, const std::string& Domain, const std::string& Pwd,
                         const std::vector<std::string>& Argv) override;
    uint32_t Wait(TProcessHandle Handle, int TimeOut) override;
    ~TRunAsProcesses() override;

private:
    std::vector<std::pair<TProcessHandle, std::string>> FGranted;
    void Revoke(TProcessHandle Handle);
};

// The power actions after an unattended run (empty text on success, else the system's text).
class IStarterPower
{
public:
    virtual ~IStarterPower() = default;
    virtual std::string EndSession(TDownMode Mode) = 0;
    virtual std::string Suspend(bool Hibernate) = 0;
    virtual std::string LockSession() = 0;
};

// What the command line of QvStarter asks for.
struct TStarterCmdLine
{
    bool Force = false, TermProgs = false, WriteLog = false, ActPrompt = false, FLockScreen = false,
         UseDarkMode = false;
    TDownMode LogOffMode = dmNone;
    TSuspendMode SuspendMode = smNone;
    std::string IniOption;
    std::vector<std::string> Groups; // in the order given
    std::string ConfigList;          // the names joined with ","
};

// Reads the arguments (without the program name).
TStarterCmdLine ParseStarterCmdLine(const std::vector<std::string>& Args);

// The /prompt: value of a status-window mode and whether /wait: goes with it.
std::string StatusPromptValue(int Status, bool& WithWait);
// The text of a result code (empty for 0); Detail is the start or wait error's text.
std::string StartResultText(int Code, const std::string& Detail);
// The account split into domain and user at the first "\".
void SplitAccount(const std::string& Account, std::string& Domain, std::string& User);

// The log file of a backup task as its task file names it ([Global] LogName with its placeholders;
// without one the main program's log beside QvPath); a relative name goes into LogDir when that
// folder exists, else into the log folder. Empty when the task file does not exist.
std::string TaskLogName(const std::string& TaskFile, const std::string& QvPath, const std::string& LogDir);

class TStarter
{
public:
    TStarter(IStarterHost& Host, IStarterProcesses& Processes, IStarterPower* Power);

    TStarterSettings Settings;
    TStarterLocation Location;
    TStarterCmdLine Options; // the command line of QvStarter
    std::string QvPath;      // the main program
    std::string Caption;     // the window caption (password prompts)
    std::string LogName;     // the run log
    std::vector<std::string> LogList;
    int ErrCount = 0;
    // The folder of the SMTP protocol log and the client certificate files.
    std::string MailLogDir, CertDir;

    // Reads the command line, finds and reads the settings file (AppPath: the default settings
    // folder, with "/").
    void Init(const std::vector<std::string>& Args, const std::string& AppPath, const std::string& ProgName);

    std::string BuildStartCommand(int AIndex) const;
    int RunAsUserAndWait(const std::string& User, const std::string& Pwd, std::string& Msg,
                         const std::string& CmdLine);
    bool StartParallelTask(const std::string& User, const std::string& Pwd, TProcessHandle& Process,
                           std::string& Msg, const std::string& CmdLine);
    int CheckParallelTask(TProcessHandle& Process, std::string& Msg);
    // False only when the password prompt was cancelled.
    bool RunGroup(int AIndex, bool Interactive);

    // The unattended run of /force; returns Force.
    bool CheckForce();
    void WriteRunLog();
    void SendErrorReport(const starter::TMailData& MailData);

private:
    void Report(const TTaskProperties& Group, bool Interactive, int Code, const std::string& Text);
    void ShutdownOrLogoff();
    void SuspendComputer();
    IStarterHost& FHost;
    IStarterProcesses& FProcesses;
    IStarterPower* FPower;
};
