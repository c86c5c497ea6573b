#pragma once
// Starting other programs and waiting for them. Programs are started from argument vectors,
// never through a shell. Every routine that waits returns one result code:
//   0                         the program ended with exit code 0
//   258 (WAIT_TIMEOUT)        the time-out passed or the wait was cancelled
//   exit code | $20000000     the program ended with a non-zero exit code (a program killed by a
//                             signal counts as exit code 128 + signal)
//   anything else             the error code of the failing step (535 no pipe)

#include <cstdint>
#include <functional>
#include <string>
#include <sys/types.h>
#include <vector>

#include "rtl/SysUtils.h"

constexpr uint32_t WaitTimeoutResult = 258;
constexpr uint32_t StillActiveExitCode = 259;
constexpr uint32_t ApplicationExitFlag = 0x20000000;
constexpr uint32_t PipeCreationFailed = 535;
constexpr uint32_t PipeHandleFailed = 0x80070006;

// Flags of ExecuteConsoleProcess.
constexpr int ecCapture = 0x01;        // standard output into a pipe
constexpr int ecStdErr = 0x02;         // with ecCapture: standard error into the same pipe
constexpr int ecOwnConsole = 0x04;     // with ecCapture: no pipe; the program is ended after the wait
constexpr int ecShowText = 0x08;       // with ecCapture and no receiver: show the output (text handler)
constexpr int ecShowPipeErrors = 0x10; // report pipe failures through the message handler

class EProcessError : public Exception
{
public:
    EProcessError(std::string msg, uint32_t code) : Exception(std::move(msg)), ErrorCode(code) {}
    uint32_t ErrorCode;
};

using TProcessHandle = pid_t;

// Splits a command line into arguments: blanks separate, double quotes group (a doubled quote
// inside quotes stands for one). Nothing else is interpreted.
std::vector<std::string> CommandLineToArgv(const std::string& CmdLine);

// Runs Argv (Argv[0] is the program, looked up on PATH unless AppName names it), in Dir (or the
// current folder), waits |TimeOut| ms (0 = until it ends or CancelExecution) and returns the
// result code. With ecCapture the output is read while waiting; Receiver (optional) receives it,
// decoded as UTF-8 (bytes that are not valid UTF-8 are read as Latin-1). CodePage is accepted for
// the callers' sake; output is always decoded as described.
uint32_t ExecuteConsoleProcess(const std::string& AppName, const std::vector<std::string>& Argv,
                               const std::string& Dir, int Flags, int TimeOut, bool GetExitCode,
                               std::string* Receiver, int CodePage = 850);
// ExecuteConsoleProcess with the arguments of CmdLine and no application name.
uint32_t ExecuteConsoleCommand(const std::string& CmdLine, const std::string& Dir, int Flags, int TimeOut,
                               bool GetExitCode, std::string* Receiver);
// Ends the wait of a running ExecuteConsoleProcess (thread-safe).
void CancelExecution();

// Starts a program without waiting; raises EProcessError with the system's text.
TProcessHandle StartProcess(const std::vector<std::string>& Argv, const std::string& Dir);
// Starts a program under another account through pkexec, which asks for the credentials itself;
// Password cannot be handed on and is not used. The current user's own name starts it directly.
TProcessHandle StartProcessAsUser(const std::string& User, const std::string& Domain,
                                  const std::string& Password, const std::vector<std::string>& Argv,
                                  const std::string& Dir);
// Waits for a started program (TimeOut 0 = until it ends). After a time-out without GetExitCode
// returns 258 at once and the process may be waited for again; otherwise the handle is done with.
uint32_t WaitForProcess(TProcessHandle Handle, int TimeOut, bool GetExitCode);
// Runs FileName with Params: elevated through pkexec with RunAs, else directly when it is an
// executable file, else through xdg-open. Waits as WaitForProcess with |TimeOut|.
uint32_t ShellExecuteAndWait(const std::string& FileName, const std::vector<std::string>& Params,
                             const std::string& Dir, bool RunAs, int TimeOut, bool GetExitCode);
// Starts FileName elevated through pkexec; false without starting anything when the process
// already runs as root, or when pkexec cannot be started.
bool StartElevated(const std::string& FileName, const std::vector<std::string>& Params);

// Host hooks: called between wait steps (the host processes its events there), to show captured
// text (ecShowText) and to show pipe failures (ecShowPipeErrors). None is set by default.
using TExecuteIdleHandler = std::function<void()>;
using TExecuteTextHandler = std::function<void(const std::string& title, const std::string& text)>;
void SetExecuteIdleHandler(TExecuteIdleHandler handler);
void SetExecuteTextHandler(TExecuteTextHandler handler);
void SetExecuteErrorHandler(TExecuteTextHandler handler);
