#pragma once
// Starting a program of the suite under another user account.
//
// The account's password is checked with PAM (service "vastrel-runas"; without its own file in
// /etc/pam.d PAM uses "other"). Then a child drops to that account (supplementary groups, group, user,
// checked afterwards) and replaces itself with the program: an absolute path of one of the suite's own
// programs in the folder of the running program, started from an argument vector, in the account's
// home folder, with an environment built from scratch (HOME, USER, LOGNAME, SHELL, PATH and, when they
// are well-formed, DISPLAY of a local X server and LANG). The caller receives the process id of the
// program and waits for it as for any child; its exit code is the program's.
//
// A process running as root does this itself. Any other process uses the helper program
// "vastrel-runas", installed setuid root beside the programs, which repeats every check itself and
// trusts nothing its caller hands it but the password. Helper protocol:
//     vastrel-runas --user <name> -- <absolute program path> [arguments...]
// the password on standard input (read to its end, at most RunAsMaxPassword bytes), and a pipe on
// descriptor 3 that receives "<error code>\n<message>" when the helper refuses or fails, and is
// closed without data when the program has been started.

#include <cstdint>
#include <string>
#include <sys/types.h>
#include <vector>

constexpr const char* RunAsHelperName = "vastrel-runas";
constexpr const char* RunAsPamService = "vastrel-runas";
constexpr size_t RunAsMaxPassword = 1024;
constexpr int RunAsStatusFd = 3;

struct TRunAsResult
{
    pid_t Pid = -1;     // the started program; -1 on failure
    uint32_t Error = 0; // Windows-style error code (1326 wrong password or unknown account)
    std::string Message;
};

struct TRunAsOptions
{
    // Use the helper even when running as root (the helper's own path is tested so).
    bool ForceHelper = false;
    // The helper; empty: RunAsHelperPath().
    std::string HelperPath;
    // The folder of the programs that may be started in-process (as root); empty: RunAsOwnFolder().
    std::string ProgramDir;
};

// The helper beside the running program.
std::string RunAsHelperPath();

// The names of the suite's programs that may be started under another account.
const std::vector<std::string>& RunAsAllowedPrograms();

// Starts argv[0] (an absolute path) with argv under the account user after checking its password.
TRunAsResult StartProgramAsUser(const std::string& user, const std::string& password,
                                const std::vector<std::string>& argv, const TRunAsOptions& options = {});

// --- the pieces, shared by the in-process start and the helper

// Everything the child needs, prepared before it is forked (the child only makes system calls).
struct TRunAsPlan
{
    uid_t Uid = 0;
    gid_t Gid = 0;
    std::vector<gid_t> Groups;
    std::string Home;
    std::vector<std::string> Argv, Env;
    std::vector<char*> ArgvPtrs, EnvPtrs;
    void MakePointers();
};

// Checks the request and fills plan: the account exists, is not root and its password is right, the
// program is one of the suite's in allowedDir (the folder of the running program when empty), owned by
// root and writable by nobody else. callerEnv supplies DISPLAY and LANG (checked). On refusal returns
// false with code and message.
bool PrepareRunAs(const std::string& user, const std::string& password, const std::vector<std::string>& argv,
                  const std::string& allowedDir, const std::vector<std::string>& callerEnv, TRunAsPlan& plan,
                  uint32_t& code, std::string& message);

// Only the program check of PrepareRunAs; empty when the program may be started, else why not.
std::string CheckRunAsProgram(const std::string& program, const std::string& allowedDir);

// Drops to the plan's account and executes the program; returns (with errno set) only on failure.
// Safe in a child forked from a threaded process.
void ExecRunAsPlan(const TRunAsPlan& plan);

// The folder of the running executable (resolved), without trailing "/".
std::string RunAsOwnFolder();
