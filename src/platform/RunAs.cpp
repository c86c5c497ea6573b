#include "platform/RunAs.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <linux/close_range.h>
#include <pwd.h>
#include <security/pam_appl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/ErrorCodes.h"
#include "rtl/Gettext.h"
#include "rtl/SysUtils.h"

extern char** environ;

namespace {

std::string Dirname(const std::string& path)
{
    auto p = path.rfind('/');
    if (p == std::string::npos)
        return ".";
    return p == 0 ? std::string("/") : path.substr(0, p);
}

std::string Basename(const std::string& path)
{
    auto p = path.rfind('/');
    return p == std::string::npos ? path : path.substr(p + 1);
}

std::string RealPath(const std::string& path)
{
    char buf[PATH_MAX];
    if (!::realpath(path.c_str(), buf))
        return std::string();
    return buf;
}

// Owned by root and writable by nobody else.
bool SafeOwnership(const struct stat& st)
{
    return st.st_uid == 0 && (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

bool WellFormed(const std::string& value, const char* allowed, size_t maxLen)
{
    if (value.empty() || value.size() > maxLen)
        return false;
    return std::all_of(value.begin(), value.end(), [allowed](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               std::strchr(allowed, c) != nullptr;
    });
}

// ":n" or ":n.m": an X server of this machine.
bool LocalDisplay(const std::string& value)
{
    if (value.size() < 2 || value.size() > 16 || value[0] != ':')
        return false;
    bool dot = false, digit = false;
    for (size_t i = 1; i < value.size(); ++i) {
        if (value[i] == '.' && digit && !dot) {
            dot = true;
            digit = false;
        } else if (value[i] >= '0' && value[i] <= '9')
            digit = true;
        else
            return false;
    }
    return digit;
}

struct PamConvData
{
    const std::string* Password;
};

int PamConversation(int count, const struct pam_message** msgs, struct pam_response** resp, void* data)
{
    if (count <= 0 || count > PAM_MAX_NUM_MSG)
        return PAM_CONV_ERR;
    auto* conv = static_cast<PamConvData*>(data);
    auto* replies = static_cast<pam_response*>(std::calloc(static_cast<size_t>(count), sizeof(pam_response)));
    if (!replies)
        return PAM_BUF_ERR;
    for (int i = 0; i < count; ++i) {
        if (msgs[i]->msg_style == PAM_PROMPT_ECHO_OFF) {
            replies[i].resp = ::strdup(conv->Password->c_str());
            if (!replies[i].resp) {
                for (int j = 0; j < i; ++j)
                    std::free(replies[j].resp);
                std::free(replies);
                return PAM_BUF_ERR;
            }
        } else if (msgs[i]->msg_style == PAM_PROMPT_ECHO_ON) {
            // nothing but the password is answered
            for (int j = 0; j < i; ++j)
                std::free(replies[j].resp);
            std::free(replies);
            return PAM_CONV_ERR;
        }
    }
    *resp = replies;
    return PAM_SUCCESS;
}

bool CheckPassword(const std::string& user, const std::string& password, std::string& why)
{
    PamConvData data{&password};
    struct pam_conv conv = {PamConversation, &data};
    pam_handle_t* handle = nullptr;
    int rc = pam_start(RunAsPamService, user.c_str(), &conv, &handle);
    if (rc != PAM_SUCCESS) {
        why = handle ? pam_strerror(handle, rc) : "pam_start";
        return false;
    }
    const int flags = PAM_SILENT | PAM_DISALLOW_NULL_AUTHTOK;
    rc = pam_authenticate(handle, flags);
    if (rc == PAM_SUCCESS)
        rc = pam_acct_mgmt(handle, flags);
    if (rc != PAM_SUCCESS)
        why = pam_strerror(handle, rc);
    pam_end(handle, rc);
    return rc == PAM_SUCCESS;
}

std::string EnvValue(const std::vector<std::string>& env, const std::string& name)
{
    for (const auto& e : env)
        if (e.size() > name.size() && e.compare(0, name.size(), name) == 0 && e[name.size()] == '=')
            return e.substr(name.size() + 1);
    return std::string();
}

std::vector<std::string> CurrentEnv()
{
    std::vector<std::string> env;
    for (char** e = environ; e && *e; ++e)
        env.emplace_back(*e);
    return env;
}

std::string WithCode(const std::string& message, uint32_t code)
{
    return message + Format(" (0x%.8x)", {static_cast<int64_t>(code)});
}

TRunAsResult Failure(uint32_t code, const std::string& message)
{
    TRunAsResult r;
    r.Error = code;
    r.Message = WithCode(message, code);
    return r;
}

// Reads "<code>\n<message>" from fd until its end; false when nothing came (the program runs).
bool ReadStatus(int fd, uint32_t& code, std::string& message)
{
    std::string data;
    char buf[512];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        data.append(buf, static_cast<size_t>(n));
        if (data.size() > 4096)
            break;
    }
    if (data.empty())
        return false;
    auto nl = data.find('\n');
    code = static_cast<uint32_t>(std::strtoul(data.substr(0, nl).c_str(), nullptr, 10));
    message = nl == std::string::npos ? std::string() : data.substr(nl + 1);
    if (code == 0)
        code = WinError::ERROR_GEN_FAILURE;
    return true;
}

void WriteAll(int fd, const std::string& text)
{
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        done += static_cast<size_t>(n);
    }
}

// Writes the errno of a failed exec in the child (no allocation).
void ChildFailed(int fd, int err)
{
    char buf[24];
    int len = 0;
    uint32_t code = static_cast<uint32_t>(err);
    char digits[12];
    int nd = 0;
    do {
        digits[nd++] = static_cast<char>('0' + code % 10);
        code /= 10;
    } while (code != 0 && nd < 11);
    buf[len++] = 'e';
    while (nd > 0)
        buf[len++] = digits[--nd];
    buf[len++] = '\n';
    ssize_t ignored = ::write(fd, buf, static_cast<size_t>(len));
    (void)ignored;
}

} // namespace

void TRunAsPlan::MakePointers()
{
    ArgvPtrs.clear();
    EnvPtrs.clear();
    for (auto& a : Argv)
        ArgvPtrs.push_back(a.data());
    ArgvPtrs.push_back(nullptr);
    for (auto& e : Env)
        EnvPtrs.push_back(e.data());
    EnvPtrs.push_back(nullptr);
}

std::string RunAsOwnFolder()
{
    return Dirname(RealPath("/proc/self/exe"));
}

std::string RunAsHelperPath()
{
    return RunAsOwnFolder() + "/" + RunAsHelperName;
}

const std::vector<std::string>& RunAsAllowedPrograms()
{
    static const std::vector<std::string> names = {"Vastrel", "Vastrel-window", "QvStarter", "QvRestore",
                                                   "QvPlaner"};
    return names;
}

std::string CheckRunAsProgram(const std::string& program, const std::string& allowedDir)
{
    const std::string refused = SafeFormat(_("\"%s\" is not a program of Vastrel."), {program});
    if (program.empty() || program[0] != '/')
        return refused;
    const auto& names = RunAsAllowedPrograms();
    if (std::find(names.begin(), names.end(), Basename(program)) == names.end())
        return refused;
    const std::string real = RealPath(program);
    const std::string dir = RealPath(allowedDir.empty() ? RunAsOwnFolder() : allowedDir);
    // the path must name the file itself in the program folder: no links, no "..", no other folder
    if (real.empty() || dir.empty() || real != program || Dirname(real) != dir)
        return refused;
    struct stat st = {}, dirSt = {};
    if (::stat(real.c_str(), &st) != 0 || ::stat(dir.c_str(), &dirSt) != 0 || !S_ISREG(st.st_mode) ||
        (st.st_mode & S_IXUSR) == 0)
        return refused;
    if (!SafeOwnership(st) || !SafeOwnership(dirSt))
        return SafeFormat(_("\"%s\" may be changed by other users and is not started under another account."),
                          {program});
    return std::string();
}

bool PrepareRunAs(const std::string& user, const std::string& password, const std::vector<std::string>& argv,
                  const std::string& allowedDir, const std::vector<std::string>& callerEnv, TRunAsPlan& plan,
                  uint32_t& code, std::string& message)
{
    code = WinError::ERROR_ACCESS_DENIED;
    if (argv.empty()) {
        code = WinError::ERROR_INVALID_PARAMETER;
        message = SystemErrorText(code);
        return false;
    }
    message = CheckRunAsProgram(argv[0], allowedDir);
    if (!message.empty())
        return false;
    if (!WellFormed(user, "._-", 64) || user[0] == '-') {
        code = WinError::ERROR_LOGON_FAILURE;
        message = SafeFormat(_("The user account \"%s\" does not exist."), {user});
        return false;
    }
    struct passwd pwBuf = {};
    struct passwd* pw = nullptr;
    std::vector<char> buf(16384);
    if (getpwnam_r(user.c_str(), &pwBuf, buf.data(), buf.size(), &pw) != 0 || !pw) {
        code = WinError::ERROR_LOGON_FAILURE;
        message = SafeFormat(_("The user account \"%s\" does not exist."), {user});
        return false;
    }
    if (pw->pw_uid == 0) {
        message = _("Programs are not started as root under another account.");
        return false;
    }
    if (password.empty()) {
        code = WinError::ERROR_LOGON_FAILURE;
        message = SafeFormat(
            _("An account is only used with its password: no password was given for \"%s\"."), {user});
        return false;
    }
    if (password.size() > RunAsMaxPassword || password.find('\0') != std::string::npos) {
        code = WinError::ERROR_LOGON_FAILURE;
        message = SystemErrorText(code);
        return false;
    }
    std::string why;
    if (!CheckPassword(pw->pw_name, password, why)) {
        code = WinError::ERROR_LOGON_FAILURE;
        message = SystemErrorText(code);
        return false;
    }
    plan.Uid = pw->pw_uid;
    plan.Gid = pw->pw_gid;
    plan.Home = pw->pw_dir ? pw->pw_dir : "/";
    int ngroups = 64;
    plan.Groups.assign(static_cast<size_t>(ngroups), 0);
    while (getgrouplist(pw->pw_name, pw->pw_gid, plan.Groups.data(), &ngroups) < 0) {
        if (ngroups > 65536) {
            message = _("The groups of the account cannot be read.");
            return false;
        }
        plan.Groups.assign(static_cast<size_t>(ngroups) * 2, 0);
        ngroups = static_cast<int>(plan.Groups.size());
    }
    plan.Groups.resize(static_cast<size_t>(ngroups));
    plan.Argv = argv;
    plan.Env = {"HOME=" + plan.Home, std::string("USER=") + pw->pw_name,
                std::string("LOGNAME=") + pw->pw_name,
                std::string("SHELL=") + (pw->pw_shell && *pw->pw_shell ? pw->pw_shell : "/bin/sh"),
                "PATH=/usr/local/bin:/usr/bin:/bin"};
    const std::string display = EnvValue(callerEnv, "DISPLAY");
    if (LocalDisplay(display))
        plan.Env.push_back("DISPLAY=" + display);
    const std::string lang = EnvValue(callerEnv, "LANG");
    if (WellFormed(lang, "._@-", 64))
        plan.Env.push_back("LANG=" + lang);
    plan.MakePointers();
    code = 0;
    message.clear();
    return true;
}

void ExecRunAsPlan(const TRunAsPlan& plan)
{
    // nothing of the caller's but the standard descriptors reaches the program
    ::syscall(SYS_close_range, 3U, ~0U, CLOSE_RANGE_CLOEXEC);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    for (int sig : {SIGPIPE, SIGINT, SIGQUIT, SIGTERM, SIGHUP, SIGCHLD})
        ::signal(sig, SIG_DFL);
    if (::setgroups(plan.Groups.size(), plan.Groups.data()) != 0 || ::setgid(plan.Gid) != 0 ||
        ::setuid(plan.Uid) != 0)
        return;
    // the drop must hold: every id is the account's and root cannot be taken back
    gid_t rg, eg, sg;
    uid_t ru, eu, su;
    if (::getresgid(&rg, &eg, &sg) != 0 || rg != plan.Gid || eg != plan.Gid || sg != plan.Gid ||
        ::getresuid(&ru, &eu, &su) != 0 || ru != plan.Uid || eu != plan.Uid || su != plan.Uid ||
        ::setuid(0) == 0) {
        errno = EPERM;
        return;
    }
    if (::chdir(plan.Home.c_str()) != 0 && ::chdir("/") != 0)
        return;
    ::umask(022);
    ::execve(plan.ArgvPtrs[0], plan.ArgvPtrs.data(), plan.EnvPtrs.data());
}

TRunAsResult StartProgramAsUser(const std::string& user, const std::string& password,
                                const std::vector<std::string>& argv, const TRunAsOptions& options)
{
    if (::geteuid() == 0 && !options.ForceHelper) {
        TRunAsPlan plan;
        uint32_t code = 0;
        std::string message;
        if (!PrepareRunAs(user, password, argv, options.ProgramDir, CurrentEnv(), plan, code, message))
            return Failure(code, message);
        int status[2];
        if (::pipe2(status, O_CLOEXEC) != 0)
            return Failure(ErrnoToWinError(errno), SystemErrorText(ErrnoToWinError(errno)));
        pid_t pid = ::fork();
        if (pid < 0) {
            uint32_t err = ErrnoToWinError(errno);
            ::close(status[0]);
            ::close(status[1]);
            return Failure(err, SystemErrorText(err));
        }
        if (pid == 0) {
            ::close(status[0]);
            ExecRunAsPlan(plan);
            ChildFailed(status[1], errno);
            ::_exit(127);
        }
        ::close(status[1]);
        std::string data;
        char buf[64];
        for (;;) {
            ssize_t n = ::read(status[0], buf, sizeof buf);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            data.append(buf, static_cast<size_t>(n));
        }
        ::close(status[0]);
        if (!data.empty()) {
            int st = 0;
            while (::waitpid(pid, &st, 0) < 0 && errno == EINTR) {
            }
            uint32_t err = ErrnoToWinError(std::atoi(data.c_str() + 1));
            return Failure(err, SystemErrorText(err));
        }
        TRunAsResult r;
        r.Pid = pid;
        return r;
    }

    const std::string helper = options.HelperPath.empty() ? RunAsHelperPath() : options.HelperPath;
    struct stat st = {};
    if (::stat(helper.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return Failure(WinError::ERROR_FILE_NOT_FOUND,
                       SafeFormat(_("The helper \"%s\" that starts programs under another account is not "
                                    "installed."),
                                  {helper}));
    if (password.size() > RunAsMaxPassword)
        return Failure(WinError::ERROR_LOGON_FAILURE, SystemErrorText(WinError::ERROR_LOGON_FAILURE));
    // The password goes into the pipe before the helper exists: it fits the pipe's buffer, and a
    // helper that ends early cannot break the write.
    int pwPipe[2], status[2];
    if (::pipe2(pwPipe, O_CLOEXEC) != 0)
        return Failure(ErrnoToWinError(errno), SystemErrorText(ErrnoToWinError(errno)));
    if (::pipe2(status, O_CLOEXEC) != 0) {
        uint32_t err = ErrnoToWinError(errno);
        ::close(pwPipe[0]);
        ::close(pwPipe[1]);
        return Failure(err, SystemErrorText(err));
    }
    WriteAll(pwPipe[1], password);
    ::close(pwPipe[1]);

    std::vector<std::string> args = {helper, "--user", user, "--"};
    args.insert(args.end(), argv.begin(), argv.end());
    std::vector<char*> cargs;
    for (auto& a : args)
        cargs.push_back(a.data());
    cargs.push_back(nullptr);
    std::vector<std::string> env;
    for (const char* name : {"DISPLAY", "LANG"}) {
        const char* v = std::getenv(name);
        if (v && *v)
            env.push_back(std::string(name) + "=" + v);
    }
    std::vector<char*> cenv;
    for (auto& e : env)
        cenv.push_back(e.data());
    cenv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pwPipe[0], 0);
    posix_spawn_file_actions_adddup2(&actions, status[1], RunAsStatusFd);
    pid_t pid = -1;
    int rc = posix_spawn(&pid, helper.c_str(), &actions, nullptr, cargs.data(), cenv.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(pwPipe[0]);
    ::close(status[1]);
    if (rc != 0) {
        ::close(status[0]);
        uint32_t err = ErrnoToWinError(rc);
        return Failure(err, SystemErrorText(err));
    }
    uint32_t code = 0;
    std::string message;
    bool refused = ReadStatus(status[0], code, message);
    ::close(status[0]);
    if (refused) {
        int waitStatus = 0;
        while (::waitpid(pid, &waitStatus, 0) < 0 && errno == EINTR) {
        }
        return Failure(code, message);
    }
    TRunAsResult r;
    r.Pid = pid;
    return r;
}
