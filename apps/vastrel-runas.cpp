// vastrel-runas: starts one of the suite's programs under another account, for callers that are not
// root. Installed setuid root beside the programs; see platform/RunAs.h for the protocol.
//
// It trusts nothing of its caller but the password: the arguments must have exactly the expected
// form, the program must be one of the suite's own in this helper's folder, the account's password is
// checked with PAM, the environment is built anew, and the privileges are dropped (and the drop
// checked) before the program is executed.

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "platform/ErrorCodes.h"
#include "platform/RunAs.h"

extern char** environ;

namespace {

constexpr int RefusedExit = 126;

bool StatusFdUsable()
{
    struct stat st = {};
    return ::fstat(RunAsStatusFd, &st) == 0 && S_ISFIFO(st.st_mode);
}

[[noreturn]] void Refuse(uint32_t code, const std::string& message)
{
    const std::string text = std::to_string(code) + "\n" + message;
    if (StatusFdUsable()) {
        ssize_t ignored = ::write(RunAsStatusFd, text.data(), text.size());
        (void)ignored;
    } else
        std::fprintf(stderr, "vastrel-runas: %s\n", message.c_str());
    ::_exit(RefusedExit);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 5 || std::strcmp(argv[1], "--user") != 0 || std::strcmp(argv[3], "--") != 0)
        Refuse(WinError::ERROR_INVALID_PARAMETER,
               "usage: vastrel-runas --user <name> -- <program> [arguments]; the password on standard input");
    if (!StatusFdUsable())
        Refuse(WinError::ERROR_INVALID_PARAMETER, "descriptor 3 must be the status pipe");
    if (::geteuid() != 0)
        Refuse(WinError::ERROR_ACCESS_DENIED, "the helper is not installed setuid root");

    std::string password;
    char buf[256];
    for (;;) {
        ssize_t n = ::read(0, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        password.append(buf, static_cast<size_t>(n));
        if (password.size() > RunAsMaxPassword)
            break;
    }
    std::memset(buf, 0, sizeof buf);
    int devNull = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (devNull < 0 || ::dup2(devNull, 0) < 0)
        Refuse(WinError::ERROR_GEN_FAILURE, "/dev/null cannot be opened");

    std::vector<std::string> programArgv(argv + 4, argv + argc);
    std::vector<std::string> callerEnv;
    for (char** e = environ; e && *e; ++e)
        callerEnv.emplace_back(*e);
    TRunAsPlan plan;
    uint32_t code = 0;
    std::string message;
    bool ok = PrepareRunAs(argv[2], password, programArgv, std::string(), callerEnv, plan, code, message);
    std::fill(password.begin(), password.end(), '\0');
    if (!ok)
        Refuse(code, message);
    ExecRunAsPlan(plan);
    uint32_t err = ErrnoToWinError(errno);
    Refuse(err, SystemErrorText(err));
}
