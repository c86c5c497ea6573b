#include "backup/ExternalProgRun.h"

#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

#include "backup/LogSettings.h"
#include "foundation/ExtSysUtils.h"
#include "foundation/PlaceHolders.h"
#include "foundation/QvUtilsFolders.h"
#include "foundation/StringUtils.h"
#include "foundation/WinApiUtils.h"
#include "foundation/WinExecute.h"
#include "platform/DesktopEntry.h"
#include "platform/ErrorCodes.h"
#include "rtl/Gettext.h"
#include "rtl/SysUtils.h"

namespace {

bool IsExecutable(const std::string& path)
{
    struct stat st
    {
    };
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

bool IsRegular(const std::string& path)
{
    struct stat st
    {
    };
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool EndsWith(const std::string& text, const std::string& tail)
{
    if (text.size() < tail.size())
        return false;
    for (size_t i = 0; i < tail.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(text[text.size() - tail.size() + i])) != tail[i])
            return false;
    return true;
}

// The program file: an absolute path as it is, a name with a folder part below the task folder, a bare
// name on the PATH (else in the task folder).
std::string LocateProgram(const std::string& program, const std::string& taskDir)
{
    if (program.empty())
        return std::string();
    if (program[0] == '/')
        return program;
    const std::string inTaskDir = (taskDir.empty() ? std::string() : taskDir + "/") + program;
    if (program.find('/') != std::string::npos)
        return inTaskDir;
    if (IsRegular(inTaskDir))
        return inTaskDir;
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/bin:/bin";
    size_t start = 0;
    while (start <= dirs.size()) {
        size_t colon = dirs.find(':', start);
        if (colon == std::string::npos)
            colon = dirs.size();
        const std::string candidate = dirs.substr(start, colon - start) + "/" + program;
        if (colon > start && IsExecutable(candidate))
            return candidate;
        start = colon + 1;
    }
    return inTaskDir;
}

bool ContainsTextIgnoreCase(const std::string& text, const std::string& part)
{
    return ReplaceTextIgnoreCase(text, part, std::string()) != text;
}

std::string WithoutSlash(const std::string& dir)
{
    return dir.size() > 1 && dir.back() == '/' ? dir.substr(0, dir.size() - 1) : dir;
}

} // namespace

bool TProgramRunner::CommandArgv(const std::string& command, const std::string& taskDir,
                                 std::vector<std::string>& argv)
{
    argv = CommandLineToArgv(command);
    if (argv.empty())
        return false;
    const std::string program = LocateProgram(argv[0], WithoutSlash(taskDir));
    if (EndsWith(program, ".sh")) {
        if (!IsRegular(program))
            return false;
        argv[0] = program;
        argv.insert(argv.begin(), "/bin/sh");
        return true;
    }
    if (EndsWith(program, ".desktop")) {
        TDesktopEntry entry;
        if (ReadDesktopEntry(program, entry) != 0 || entry.Exec.empty())
            return false;
        std::vector<std::string> args(argv.begin() + 1, argv.end());
        argv = entry.Exec;
        argv.insert(argv.end(), args.begin(), args.end());
        return true;
    }
    if (!IsExecutable(program))
        return false;
    argv[0] = program;
    return true;
}

std::string TProgramRunner::ExpandCommand(const std::string& command, const std::string& status,
                                          const std::string& passwordText) const
{
    std::string s = command;
    const std::string values[] = {TaskPath,
                                  Dest,
                                  ZipName,
                                  "/usr/bin",
                                  WithoutSlash(TaskDir),
                                  WithoutSlash(GetProgramDir()),
                                  GetCurrentUserName(),
                                  passwordText,
                                  FLog.LastLogFile(),
                                  status};
    const char* names[] = {"%taskname%", "%dest%",     "%zipname%",  "%sysdir%",  "%taskdir%",
                           "%progpath%", "%username%", "%password%", "%logfile%", "%status%"};
    for (size_t i = 0; i < std::size(names); ++i)
        s = ReplaceTextIgnoreCase(s, names[i], values[i]);
    s = ExpandDatePlaceholders(s, 0);
    return ExpandEnvVars(s);
}

TProgResult TProgramRunner::Run(const TExternalProg& prog, TInteraction ia, int index)
{
    TProgResult result;
    if (prog.Command.empty() || !IsProgActive(prog))
        return result;
    const bool before = index < 0;
    const std::string title =
        before ? _("External program before backup") : _("External program after backup");
    const std::string status = before ? std::string() : std::to_string(index);
    std::string command = prog.Command;
    const std::string shown =
        HideCommand ? _("Hidden command line") : ExpandCommand(command, status, _("<password prompt>"));
    if (ContainsTextIgnoreCase(command, "%password%")) {
        std::string password;
        if (!FInteraction.AskPassword(
                title,
                SafeFormat(_("Executing the external program:\r\n%s\r\nrequires a password!"), {shown}),
                password)) {
            result.Status = 2;
            return result;
        }
        command = ReplaceTextIgnoreCase(command, "%password%", password);
    }
    const bool usesLog = ContainsTextIgnoreCase(command, "%logfile%");
    const std::string expanded = ExpandCommand(command, status, std::string());
    const bool boxes = ia == iaPrompt || ia == iaErrorPrompt;
    std::vector<std::string> argv;
    if (!CommandArgv(expanded, TaskDir, argv)) {
        result.Status = 4;
        FLog.WriteToLog("  ### " + SafeFormat(_("External program not found:%s%s"), {" ", shown}));
        if (boxes)
            FInteraction.ErrorBox(SafeFormat(_("External program not found:%s%s"), {"\r\n", shown}), 0);
        return result;
    }
    FLog.WriteToLog(lmVerbose, "  ### " + SafeFormat(_("Starting external program: %s"), {shown}));
    if (usesLog)
        FLog.ReleaseLogFile(1);
    uint32_t code = 0;
    try {
        const TProcessHandle pid = StartProcess(argv, WithoutSlash(TaskDir));
        const int limit = ProgTimeOut(prog) * 1000;
        code = WaitForProcess(pid, limit, false);
        if (code == WaitTimeoutResult) {
            // The program passed its limit: asked to end, then ended.
            ::kill(-pid, SIGTERM);
            ::kill(pid, SIGTERM);
            if (WaitForProcess(pid, TermGraceMs, false) == WaitTimeoutResult) {
                ::kill(-pid, SIGKILL);
                ::kill(pid, SIGKILL);
                WaitForProcess(pid, 0, false);
            }
            code = WaitTimeoutResult;
        }
    } catch (const EProcessError& e) {
        code = e.ErrorCode != 0 ? e.ErrorCode : WinError::ERROR_FILE_NOT_FOUND;
    }
    if (usesLog)
        FLog.ReopenLogFile(1);
    if (code == 0) {
        result.Status = 1;
        FLog.WriteToLog("  ### " + SafeFormat(_("External program was successful: %s"), {shown}));
    } else if ((code & ApplicationExitFlag) != 0) {
        const uint32_t exitCode = code & 0xFFFF;
        result.Code = exitCode;
        if ((before && static_cast<int>(exitCode) < prog.ErrorLevel) ||
            (!before && (prog.ErrorLevel & epIgnoreExitCode) != 0)) {
            result.Status = 1;
            FLog.WriteToLog("  ### " + SafeFormat(_("External program (%s) returned accepted errorlevel: %u"),
                                                  {shown, exitCode}));
        } else {
            result.Status = 3;
            FLog.WriteToLog("  ### " + SafeFormat(_("Error executing:%s%s"), {" ", shown}) + " -> " +
                            SafeFormat(_("Returned errorlevel = %u"), {exitCode}));
            if (boxes)
                FInteraction.ErrorBox(SafeFormat(_("Error executing:%s%s"), {"\r\n", shown}) + "\r\n" +
                                          SafeFormat(_("Returned errorlevel = %u"), {exitCode}),
                                      0);
        }
    } else if (code == WaitTimeoutResult) {
        result.Status = 2;
        result.Code = code;
        const std::string text = SafeFormat(_("Time out executing external program: %s"), {shown});
        FLog.WriteToLog("  ### " + text);
        if ((prog.Wait & epIgnoreTimeOut) != 0)
            result.Status = 1;
        else if (boxes && FInteraction.Confirm(text + "\r\n" + _("Continue backup?")))
            result.Status = 1;
    } else {
        result.Status = 2;
        result.Code = code;
        FLog.WriteToLog("  ### " + SafeFormat(_("Error executing:%s%s"), {" ", shown}) + " -> " +
                        SystemErrorMessage(code));
        if (boxes)
            FInteraction.ErrorBox(SafeFormat(_("Error executing:%s%s"), {"\r\n", shown}) + "\r\n" +
                                      SystemErrorMessage(code),
                                  0);
    }
    return result;
}
