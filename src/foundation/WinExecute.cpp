#include "foundation/WinExecute.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <pwd.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "platform/ErrorCodes.h"

extern char** environ;

namespace {

std::atomic<bool> CancelFlag{false};
std::mutex HandlerMutex;
TExecuteIdleHandler IdleHandler;
TExecuteTextHandler TextHandler;
TExecuteTextHandler ErrorHandler;

constexpr int WaitStepMs = 10;

void CallIdle()
{
    TExecuteIdleHandler handler;
    {
        std::lock_guard lock(HandlerMutex);
        handler = IdleHandler;
    }
    if (handler)
        handler();
}

void ShowPipeError(int flags, const std::string& text)
{
    if (!(flags & ecShowPipeErrors))
        return;
    TExecuteTextHandler handler;
    {
        std::lock_guard lock(HandlerMutex);
        handler = ErrorHandler;
    }
    if (handler)
        handler("Error executing process", text);
}

using Clock = std::chrono::steady_clock;

struct SpawnResult
{
    pid_t pid = -1;
    uint32_t error = 0;
};

// Starts argv; outFd >= 0 becomes standard output (and standard error with withStdErr), with
// standard input from /dev/null. The child gets its own process group so that it can be ended
// with everything it started.
SpawnResult Spawn(const std::string& appName, const std::vector<std::string>& argv, const std::string& dir,
                  int outFd, bool withStdErr)
{
    SpawnResult result;
    if (argv.empty() && appName.empty()) {
        result.error = WinError::ERROR_INVALID_PARAMETER;
        return result;
    }
    std::vector<std::string> args = argv;
    if (args.empty())
        args.push_back(appName);
    std::vector<char*> cargv;
    for (auto& a : args)
        cargv.push_back(a.data());
    cargv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attr;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attr);
    if (outFd >= 0) {
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_adddup2(&actions, outFd, 1);
        if (withStdErr)
            posix_spawn_file_actions_adddup2(&actions, outFd, 2);
    }
    if (!dir.empty())
        posix_spawn_file_actions_addchdir_np(&actions, dir.c_str());
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    sigaddset(&defaults, SIGINT);
    sigaddset(&defaults, SIGTERM);
    sigset_t noMask;
    sigemptyset(&noMask);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    posix_spawnattr_setsigmask(&attr, &noMask);
    posix_spawnattr_setpgroup(&attr, 0);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETPGROUP);

    pid_t pid = -1;
    int rc = appName.empty() ? posix_spawnp(&pid, cargv[0], &actions, &attr, cargv.data(), environ)
                             : posix_spawn(&pid, appName.c_str(), &actions, &attr, cargv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    if (rc != 0) {
        result.error = ErrnoToWinError(rc);
        return result;
    }
    result.pid = pid;
    return result;
}

uint32_t ExitCodeOf(int status)
{
    if (WIFEXITED(status))
        return static_cast<uint32_t>(WEXITSTATUS(status));
    if (WIFSIGNALED(status))
        return 128u + static_cast<uint32_t>(WTERMSIG(status));
    return 0;
}

// Reaps a child that is left running, so that it does not stay behind as a zombie.
void ReapLater(pid_t pid)
{
    std::thread([pid] {
        int status;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    }).detach();
}

// Non-blocking read of what the pipe holds now; false at end of file or on an error.
bool DrainPipe(int fd, std::string& out)
{
    char buffer[4096];
    while (true) {
        ssize_t n = read(fd, buffer, sizeof buffer);
        if (n > 0) {
            out.append(buffer, static_cast<size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
    }
}

// Of each block of 1024 bytes only the bytes before its first zero byte count (the way the
// output has always been collected).
std::string DropZeroTails(const std::string& raw)
{
    std::string out;
    for (size_t pos = 0; pos < raw.size(); pos += 1024) {
        std::string_view block(raw.data() + pos, std::min<size_t>(1024, raw.size() - pos));
        size_t zero = block.find('\0');
        out.append(block.substr(0, zero));
    }
    return out;
}

// Valid UTF-8 sequences stay; every other byte is read as a Latin-1 character.
std::string DecodeOutput(const std::string& bytes)
{
    std::string out;
    out.reserve(bytes.size());
    size_t i = 0;
    while (i < bytes.size()) {
        auto b = static_cast<unsigned char>(bytes[i]);
        int len = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
        bool ok = len > 0 && i + len <= bytes.size();
        uint32_t cp = len == 1 ? b : len == 2 ? (b & 0x1F) : len == 3 ? (b & 0x0F) : (b & 0x07);
        for (int k = 1; ok && k < len; ++k) {
            auto c = static_cast<unsigned char>(bytes[i + k]);
            ok = (c & 0xC0) == 0x80;
            cp = (cp << 6) | (c & 0x3F);
        }
        if (ok && ((len == 2 && cp < 0x80) || (len == 3 && cp < 0x800) || (len == 4 && cp < 0x10000) ||
                   cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)))
            ok = false;
        if (ok) {
            out.append(bytes, i, static_cast<size_t>(len));
            i += static_cast<size_t>(len);
        } else {
            out += static_cast<char>(0xC0 | (b >> 6));
            out += static_cast<char>(0x80 | (b & 0x3F));
            ++i;
        }
    }
    return out;
}

std::string FindOnPath(const std::string& name)
{
    if (name.find('/') != std::string::npos)
        return name;
    const char* path = std::getenv("PATH");
    std::string list = path ? path : "/usr/local/bin:/usr/bin:/bin";
    size_t start = 0;
    while (start <= list.size()) {
        size_t end = list.find(':', start);
        if (end == std::string::npos)
            end = list.size();
        std::string dir = list.substr(start, end - start);
        if (dir.empty())
            dir = ".";
        std::string candidate = dir + "/" + name;
        if (access(candidate.c_str(), X_OK) == 0)
            return candidate;
        start = end + 1;
    }
    return name;
}

bool IsExecutableFile(const std::string& name)
{
    std::string path = FindOnPath(name);
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
}

std::vector<std::string> PkexecArgv(const std::string& fileName, const std::vector<std::string>& params,
                                    const std::string& user = "")
{
    std::vector<std::string> argv{"pkexec"};
    if (!user.empty()) {
        argv.push_back("--user");
        argv.push_back(user);
    }
    argv.push_back(FindOnPath(fileName)); // pkexec wants an absolute program path
    argv.insert(argv.end(), params.begin(), params.end());
    return argv;
}

// Waits for pid for at most timeoutMs (0 = no limit); with cancelable, CancelFlag ends the wait.
// Returns true when the process ended (status filled), false on time-out or cancel; error set when
// waitpid fails.
bool WaitPid(pid_t pid, int timeoutMs, bool cancelable, int pipeFd, std::string* output, int& status,
             uint32_t& error)
{
    error = 0;
    auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    bool pipeOpen = pipeFd >= 0;
    while (true) {
        pid_t r = waitpid(pid, &status, WNOHANG);
        if (r == pid) {
            if (pipeOpen && output)
                DrainPipe(pipeFd, *output);
            return true;
        }
        if (r < 0 && errno != EINTR) {
            error = LastWinError();
            return false;
        }
        if (timeoutMs != 0 && Clock::now() >= deadline)
            return false;
        if (cancelable && timeoutMs == 0 && CancelFlag.load())
            return false;
        if (pipeOpen) {
            pollfd pfd{pipeFd, POLLIN, 0};
            if (poll(&pfd, 1, WaitStepMs) > 0 && output)
                pipeOpen = DrainPipe(pipeFd, *output);
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(WaitStepMs));
        }
        CallIdle();
    }
}

} // namespace

std::vector<std::string> CommandLineToArgv(const std::string& CmdLine)
{
    std::vector<std::string> args;
    size_t i = 0;
    const size_t n = CmdLine.size();
    while (true) {
        while (i < n && (CmdLine[i] == ' ' || CmdLine[i] == '\t'))
            ++i;
        if (i >= n)
            break;
        std::string arg;
        bool quoted = false;
        while (i < n) {
            char c = CmdLine[i];
            if (c == '"') {
                if (quoted && i + 1 < n && CmdLine[i + 1] == '"') {
                    arg += '"';
                    i += 2;
                    continue;
                }
                quoted = !quoted;
                ++i;
                continue;
            }
            if (!quoted && (c == ' ' || c == '\t'))
                break;
            arg += c;
            ++i;
        }
        args.push_back(std::move(arg));
    }
    return args;
}

uint32_t ExecuteConsoleProcess(const std::string& AppName, const std::vector<std::string>& Argv,
                               const std::string& Dir, int Flags, int TimeOut, bool GetExitCode,
                               std::string* Receiver, int /*CodePage*/)
{
    CancelFlag = false;
    const bool capture = (Flags & ecCapture) != 0;
    const bool usePipe = capture && !(Flags & ecOwnConsole);
    int fds[2] = {-1, -1};
    if (usePipe) {
        if (pipe2(fds, O_CLOEXEC) != 0) {
            ShowPipeError(Flags, "Stdout pipe creation failed");
            CancelFlag = false;
            return PipeCreationFailed;
        }
        if (fcntl(fds[0], F_SETFL, O_NONBLOCK) != 0) {
            ShowPipeError(Flags, "DuplicateHandle failed");
            close(fds[0]);
            close(fds[1]);
            CancelFlag = false;
            return PipeHandleFailed;
        }
    }
    SpawnResult spawned = Spawn(AppName, Argv, Dir, usePipe ? fds[1] : -1, (Flags & ecStdErr) != 0);
    if (usePipe)
        close(fds[1]);
    if (spawned.pid < 0) {
        if (usePipe)
            close(fds[0]);
        CancelFlag = false;
        return spawned.error;
    }

    std::string raw;
    int status = 0;
    uint32_t waitError = 0;
    const int limit = TimeOut < 0 ? -TimeOut : TimeOut;
    bool ended = WaitPid(spawned.pid, limit, true, usePipe ? fds[0] : -1, &raw, status, waitError);
    uint32_t result = 0;
    if (waitError != 0) {
        result = waitError;
    } else {
        if (!ended)
            result = WaitTimeoutResult;
        if (GetExitCode || ended) {
            uint32_t code = ended ? ExitCodeOf(status) : StillActiveExitCode;
            if (code != 0 && code < 0x10000)
                result = code | ApplicationExitFlag;
        }
        if (!ended) {
            if (capture && (Flags & ecOwnConsole)) {
                kill(-spawned.pid, SIGKILL);
                kill(spawned.pid, SIGKILL);
                while (waitpid(spawned.pid, &status, 0) < 0 && errno == EINTR) {
                }
            } else {
                ReapLater(spawned.pid);
            }
        }
    }
    if (usePipe) {
        // Whatever the program wrote before a time-out or cancel is kept as well.
        DrainPipe(fds[0], raw);
        close(fds[0]);
    }
    if (capture) {
        std::string text = DecodeOutput(DropZeroTails(raw));
        if (Receiver) {
            *Receiver = text;
        } else if ((Flags & ecShowText) && !text.empty()) {
            TExecuteTextHandler handler;
            {
                std::lock_guard lock(HandlerMutex);
                handler = TextHandler;
            }
            if (handler)
                handler(AppName, text);
        }
    }
    CancelFlag = false;
    return result;
}

uint32_t ExecuteConsoleCommand(const std::string& CmdLine, const std::string& Dir, int Flags, int TimeOut,
                               bool GetExitCode, std::string* Receiver)
{
    return ExecuteConsoleProcess("", CommandLineToArgv(CmdLine), Dir, Flags, TimeOut, GetExitCode, Receiver,
                                 850);
}

void CancelExecution()
{
    CancelFlag = true;
}

TProcessHandle StartProcess(const std::vector<std::string>& Argv, const std::string& Dir)
{
    SpawnResult spawned = Spawn("", Argv, Dir, -1, false);
    if (spawned.pid < 0)
        throw EProcessError(SystemErrorText(spawned.error), spawned.error);
    return spawned.pid;
}

TProcessHandle StartProcessAsUser(const std::string& User, const std::string& /*Domain*/,
                                  const std::string& /*Password*/, const std::vector<std::string>& Argv,
                                  const std::string& Dir)
{
    std::string self;
    if (passwd* pw = getpwuid(geteuid()))
        self = pw->pw_name;
    if (User.empty() || User == self)
        return StartProcess(Argv, Dir);
    if (Argv.empty())
        throw EProcessError(SystemErrorText(WinError::ERROR_INVALID_PARAMETER),
                            WinError::ERROR_INVALID_PARAMETER);
    std::vector<std::string> params(Argv.begin() + 1, Argv.end());
    SpawnResult spawned = Spawn("", PkexecArgv(Argv[0], params, User), Dir, -1, false);
    if (spawned.pid < 0) {
        char code[16];
        snprintf(code, sizeof code, "%.8X", spawned.error);
        throw EProcessError(SystemErrorText(spawned.error) + " (0x" + code + ")", spawned.error);
    }
    return spawned.pid;
}

uint32_t WaitForProcess(TProcessHandle Handle, int TimeOut, bool GetExitCode)
{
    int status = 0;
    uint32_t error = 0;
    bool ended = WaitPid(Handle, TimeOut < 0 ? -TimeOut : TimeOut, false, -1, nullptr, status, error);
    if (error != 0)
        return error;
    if (!ended && !GetExitCode)
        return WaitTimeoutResult;
    uint32_t result = ended ? 0 : WaitTimeoutResult;
    uint32_t code = ended ? ExitCodeOf(status) : StillActiveExitCode;
    if (code != 0)
        result = code | ApplicationExitFlag;
    if (!ended)
        ReapLater(Handle);
    return result;
}

uint32_t ShellExecuteAndWait(const std::string& FileName, const std::vector<std::string>& Params,
                             const std::string& Dir, bool RunAs, int TimeOut, bool GetExitCode)
{
    std::vector<std::string> argv;
    if (RunAs) {
        argv = PkexecArgv(FileName, Params);
    } else if (IsExecutableFile(FileName)) {
        argv.push_back(FileName);
        argv.insert(argv.end(), Params.begin(), Params.end());
    } else {
        argv = {"xdg-open", FileName};
    }
    SpawnResult spawned = Spawn("", argv, Dir, -1, false);
    if (spawned.pid < 0)
        return spawned.error;
    return WaitForProcess(spawned.pid, TimeOut < 0 ? -TimeOut : TimeOut, GetExitCode);
}

bool StartElevated(const std::string& FileName, const std::vector<std::string>& Params)
{
    if (geteuid() == 0)
        return false;
    SpawnResult spawned = Spawn("", PkexecArgv(FileName, Params), "", -1, false);
    if (spawned.pid < 0)
        return false;
    ReapLater(spawned.pid);
    return true;
}

void SetExecuteIdleHandler(TExecuteIdleHandler handler)
{
    std::lock_guard lock(HandlerMutex);
    IdleHandler = std::move(handler);
}

void SetExecuteTextHandler(TExecuteTextHandler handler)
{
    std::lock_guard lock(HandlerMutex);
    TextHandler = std::move(handler);
}

void SetExecuteErrorHandler(TExecuteTextHandler handler)
{
    std::lock_guard lock(HandlerMutex);
    ErrorHandler = std::move(handler);
}
