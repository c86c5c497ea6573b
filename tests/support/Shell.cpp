#include "support/Shell.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

void CloseFd(int& fd)
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

} // namespace

ShellResult RunShell(const std::string& command, const std::string& cwd, bool mergeStderr,
                     const std::string& stdinData)
{
    ShellResult result;
    std::string full = cwd.empty() ? command : "cd " + ShellQuote(cwd) + " && { " + command + "\n}";
    int outPipe[2] = {-1, -1};
    int inPipe[2] = {-1, -1};
    if (::pipe2(outPipe, O_CLOEXEC) != 0)
        return result;
    if (::pipe2(inPipe, O_CLOEXEC) != 0) {
        CloseFd(outPipe[0]);
        CloseFd(outPipe[1]);
        return result;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, inPipe[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], STDOUT_FILENO);
    if (mergeStderr)
        posix_spawn_file_actions_adddup2(&actions, outPipe[1], STDERR_FILENO);
    const char* argv[] = {"/bin/sh", "-c", full.c_str(), nullptr};
    pid_t pid = -1;
    int rc = posix_spawn(&pid, "/bin/sh", &actions, nullptr, const_cast<char* const*>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    CloseFd(inPipe[0]);
    CloseFd(outPipe[1]);
    if (rc != 0) {
        CloseFd(inPipe[1]);
        CloseFd(outPipe[0]);
        return result;
    }

    // Feed stdin and drain stdout together, so neither side can block the other.
    ::fcntl(inPipe[1], F_SETFL, O_NONBLOCK);
    size_t fed = 0;
    if (stdinData.empty())
        CloseFd(inPipe[1]);
    // A command that exits early must not kill the test with SIGPIPE.
    struct sigaction ignore
    {
    }, previous{};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGPIPE, &ignore, &previous);
    char buf[65536];
    while (outPipe[0] >= 0) {
        pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {inPipe[1], POLLOUT, 0}};
        int nfds = inPipe[1] >= 0 ? 2 : 1;
        if (::poll(fds, nfds, -1) < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        if (fds[0].revents) {
            ssize_t n = ::read(outPipe[0], buf, sizeof buf);
            if (n > 0)
                result.output.append(buf, static_cast<size_t>(n));
            else if (n == 0 || errno != EINTR)
                CloseFd(outPipe[0]);
        }
        if (nfds == 2 && fds[1].revents) {
            ssize_t n = ::write(inPipe[1], stdinData.data() + fed, stdinData.size() - fed);
            if (n > 0)
                fed += static_cast<size_t>(n);
            if ((n < 0 && errno != EINTR && errno != EAGAIN) || fed == stdinData.size())
                CloseFd(inPipe[1]);
        }
    }
    CloseFd(inPipe[1]);
    CloseFd(outPipe[0]);
    ::sigaction(SIGPIPE, &previous, nullptr);

    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR)
            return result;
    }
    if (WIFEXITED(status))
        result.exitCode = WEXITSTATUS(status);
    else if (WIFSIGNALED(status))
        result.exitCode = 128 + WTERMSIG(status);
    return result;
}

std::string ShellQuote(const std::string& text)
{
    std::string out = "'";
    for (char c : text) {
        if (c == '\'')
            out += "'\\''";
        else
            out += c;
    }
    return out + "'";
}

std::string FindTool(const std::string& name)
{
    auto executable = [](const std::string& path) {
        struct stat st
        {
        };
        return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
    };
    if (name.empty())
        return {};
    if (name.find('/') != std::string::npos)
        return executable(name) ? name : std::string();
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/local/bin:/usr/bin:/bin";
    size_t start = 0;
    while (start <= dirs.size()) {
        size_t end = dirs.find(':', start);
        if (end == std::string::npos)
            end = dirs.size();
        std::string dir = dirs.substr(start, end - start);
        std::string candidate = (dir.empty() ? std::string(".") : dir) + "/" + name;
        if (executable(candidate))
            return candidate;
        start = end + 1;
    }
    return {};
}
