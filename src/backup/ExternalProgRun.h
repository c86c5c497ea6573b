#pragma once
// Running the task's program before or after the backup: its command line expanded, the program found
// and started without a shell (a ".sh" script by /bin/sh, a ".desktop" file by its Exec line), waited
// for up to its time limit and ended when it passes it, and its exit code judged by the task's rules.

#include <functional>
#include <string>
#include <vector>

#include "backup/EngineInterfaces.h"
#include "backup/ExternalProg.h"
#include "backup/TaskLog.h"

// Status of a run program: 0 switched off, 1 success or accepted, 2 not run or not finished,
// 3 rejected exit code, 4 program not found. Code: the exit code (1 and 3), the error or 258 (2).
struct TProgResult
{
    int Status = 0;
    uint32_t Code = 0;
};

class TProgramRunner
{
public:
    TProgramRunner(TTaskLog& log, IInteraction& interaction) : FLog(log), FInteraction(interaction) {}

    // The values of the placeholders.
    std::string TaskPath;
    std::string TaskDir;
    std::string Dest;
    std::string ZipName;
    bool HideCommand = false; // the task stores its command lines encrypted
    // How long an ended program may take to go after SIGTERM before SIGKILL, in ms.
    int TermGraceMs = 2000;

    // index -1: the program before the backup; else the run's error state (after the backup).
    TProgResult Run(const TExternalProg& prog, TInteraction ia, int index);

    // The command with the program placeholders replaced ("%password%" by passwordText), then the date
    // and time placeholders and the environment variables.
    std::string ExpandCommand(const std::string& command, const std::string& status,
                              const std::string& passwordText) const;
    // The argument vector that runs command: false when its program cannot be found.
    static bool CommandArgv(const std::string& command, const std::string& taskDir,
                            std::vector<std::string>& argv);

private:
    TTaskLog& FLog;
    IInteraction& FInteraction;
};
