#include "platform/NetShares.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/ErrorCodes.h"
#include "platform/XdgDirs.h"

extern char** environ;

namespace {

ShareConnector* gConnector = nullptr;

std::string Lower(std::string s)
{
    for (char& c : s)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return s;
}

bool Contains(const std::string& text, const char* what)
{
    return Lower(text).find(Lower(what)) != std::string::npos;
}

bool IsDir(const std::string& path)
{
    struct stat st
    {
    };
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Runs a program with Input on its standard input; Output receives standard output and error.
// The exit status, or -1 with Err set when the program could not be started.
int RunProgram(const std::vector<std::string>& argv, const std::string& input, std::string& output, int& err)
{
    output.clear();
    err = 0;
    int in[2], out[2];
    if (::pipe2(in, O_CLOEXEC) != 0) {
        err = errno;
        return -1;
    }
    if (::pipe2(out, O_CLOEXEC) != 0) {
        err = errno;
        ::close(in[0]);
        ::close(in[1]);
        return -1;
    }
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, in[0], 0);
    posix_spawn_file_actions_adddup2(&fa, out[1], 1);
    posix_spawn_file_actions_adddup2(&fa, out[1], 2);
    std::vector<char*> args;
    for (auto& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = 0;
    int rc = ::posix_spawnp(&pid, args[0], &fa, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    ::close(in[0]);
    ::close(out[1]);
    if (rc != 0) {
        err = rc;
        ::close(in[1]);
        ::close(out[0]);
        return -1;
    }
    // The input is small (three lines); a closed pipe just means the program did not ask.
    struct sigaction ignore
    {
    }, old{};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGPIPE, &ignore, &old);
    ssize_t w = ::write(in[1], input.data(), input.size());
    (void)w;
    ::sigaction(SIGPIPE, &old, nullptr);
    ::close(in[1]);
    char buf[4096];
    ssize_t n;
    while ((n = ::read(out[0], buf, sizeof buf)) > 0 || (n < 0 && errno == EINTR))
        if (n > 0)
            output.append(buf, static_cast<size_t>(n));
    ::close(out[0]);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    return 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
}

std::string SmbUri(const TShareName& share)
{
    return "smb://" + share.Server + "/" + share.Share;
}

} // namespace

bool ParseUncPath(const std::string& path, TShareName& name)
{
    name = TShareName{};
    std::string p = path;
    std::replace(p.begin(), p.end(), '\\', '/');
    if (p.size() < 5 || p[0] != '/' || p[1] != '/' || p[2] == '/')
        return false;
    auto s1 = p.find('/', 2);
    if (s1 == std::string::npos || s1 == 2)
        return false;
    auto s2 = p.find('/', s1 + 1);
    name.Server = p.substr(2, s1 - 2);
    name.Share = p.substr(s1 + 1, s2 == std::string::npos ? std::string::npos : s2 - s1 - 1);
    if (name.Share.empty())
        return false;
    if (s2 != std::string::npos) {
        name.Rest = p.substr(s2 + 1);
        while (!name.Rest.empty() && name.Rest.back() == '/')
            name.Rest.pop_back();
    }
    return true;
}

std::string UncRoot(const TShareName& name)
{
    return "//" + name.Server + "/" + name.Share;
}

ShareConnector& ShareConnector::Current()
{
    static GioShareConnector real;
    return gConnector ? *gConnector : real;
}

void ShareConnector::SetCurrent(ShareConnector* connector)
{
    gConnector = connector;
}

uint32_t GioMountErrorCode(const std::string& output)
{
    if (Contains(output, "already mounted"))
        return ERROR_ALREADY_ASSIGNED;
    if (Contains(output, "cancel"))
        return WinError::ERROR_CANCELLED;
    if (Contains(output, "permission denied") || Contains(output, "logon failure") ||
        Contains(output, "password") || Contains(output, "authentication") ||
        Contains(output, "access denied"))
        return WinError::ERROR_LOGON_FAILURE;
    if (Contains(output, "connection reset") || Contains(output, "broken pipe"))
        return WinError::ERROR_NETNAME_DELETED;
    return WinError::ERROR_BAD_NETPATH;
}

uint32_t GioShareConnector::Connect(const TShareName& share, const std::string& user,
                                    const std::string& domain, const std::string& password)
{
    std::vector<std::string> argv = {GioProgram, "mount"};
    if (user.empty())
        argv.push_back("--anonymous");
    argv.push_back(SmbUri(share));
    // gio asks for user, domain and password in this order.
    std::string input = user.empty() ? std::string() : user + "\n" + domain + "\n" + password + "\n";
    std::string output;
    int err = 0;
    int rc = RunProgram(argv, input, output, err);
    if (rc < 0)
        return err == ENOENT ? WinError::ERROR_NOT_SUPPORTED : ErrnoToWinError(err);
    if (rc == 0)
        return 0;
    return GioMountErrorCode(output);
}

uint32_t GioShareConnector::Disconnect(const TShareName& share)
{
    std::string output;
    int err = 0;
    int rc = RunProgram({GioProgram, "mount", "-u", SmbUri(share)}, "", output, err);
    if (rc < 0)
        return err == ENOENT ? WinError::ERROR_NOT_SUPPORTED : ErrnoToWinError(err);
    return rc == 0 ? 0 : ERROR_NOT_CONNECTED;
}

std::string GioShareConnector::LocalPath(const TShareName& share)
{
    std::string runtime = XdgRuntimeDir();
    if (runtime.empty())
        runtime = "/run/user/" + std::to_string(::getuid());
    for (const std::string& server : {share.Server, Lower(share.Server)}) {
        for (const std::string& name : {share.Share, Lower(share.Share)}) {
            std::string dir = runtime + "/gvfs/smb-share:server=" + server + ",share=" + name;
            if (IsDir(dir))
                return dir;
        }
    }
    return {};
}
