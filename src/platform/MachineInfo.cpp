#include "platform/MachineInfo.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <pwd.h>
#include <sstream>
#include <sys/utsname.h>
#include <unistd.h>
#include <utmpx.h>

#include "platform/FileText.h"

namespace {

MachineInfo* gInfo = nullptr;

bool PasswdEntry(struct passwd& pw, std::vector<char>& buf)
{
    buf.resize(16384);
    struct passwd* result = nullptr;
    return ::getpwuid_r(::geteuid(), &pw, buf.data(), buf.size(), &result) == 0 && result;
}

} // namespace

MachineInfo& MachineInfo::Current()
{
    static RealMachineInfo real;
    return gInfo ? *gInfo : real;
}

void MachineInfo::SetCurrent(MachineInfo* info)
{
    gInfo = info;
}

std::string RealMachineInfo::UserName()
{
    struct passwd pw
    {
    };
    std::vector<char> buf;
    if (PasswdEntry(pw, buf) && pw.pw_name)
        return pw.pw_name;
    const char* env = std::getenv("USER");
    return env ? env : std::to_string(::geteuid());
}

std::string RealMachineInfo::RealName()
{
    struct passwd pw
    {
    };
    std::vector<char> buf;
    if (!PasswdEntry(pw, buf) || !pw.pw_gecos)
        return {};
    std::string gecos = pw.pw_gecos;
    auto comma = gecos.find(',');
    return comma == std::string::npos ? gecos : gecos.substr(0, comma);
}

std::string RealMachineInfo::HostName()
{
    char buf[256] = {};
    if (::gethostname(buf, sizeof buf - 1) != 0)
        return {};
    std::string host = buf;
    auto dot = host.find('.');
    return dot == std::string::npos ? host : host.substr(0, dot);
}

std::string RealMachineInfo::OsReleaseText()
{
    std::string text = ReadSmallFile("/etc/os-release");
    return text.empty() ? ReadSmallFile("/usr/lib/os-release") : text;
}

std::string RealMachineInfo::KernelRelease()
{
    struct utsname u
    {
    };
    return ::uname(&u) == 0 ? std::string(u.release) : std::string();
}

std::string RealMachineInfo::Machine()
{
    struct utsname u
    {
    };
    return ::uname(&u) == 0 ? std::string(u.machine) : std::string();
}

bool RealMachineInfo::IsRoot()
{
    return ::geteuid() == 0;
}

bool RealMachineInfo::UserSessions(std::vector<TUserSession>& sessions)
{
    sessions.clear();
    ::setutxent();
    while (struct utmpx* u = ::getutxent()) {
        if (u->ut_type != USER_PROCESS)
            continue;
        // Entries of crashed sessions stay in utmp; only a live process counts.
        if (u->ut_pid <= 0 || (::kill(u->ut_pid, 0) != 0 && errno == ESRCH))
            continue;
        TUserSession s;
        s.UserName = std::string(u->ut_user, strnlen(u->ut_user, sizeof u->ut_user));
        s.Line = std::string(u->ut_line, strnlen(u->ut_line, sizeof u->ut_line));
        s.Host = std::string(u->ut_host, strnlen(u->ut_host, sizeof u->ut_host));
        s.LogonTime = u->ut_tv.tv_sec;
        s.Pid = u->ut_pid;
        sessions.push_back(std::move(s));
    }
    ::endutxent();
    return true;
}

std::string OsReleaseValue(const std::string& text, const std::string& key)
{
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (line.compare(0, key.size(), key) != 0 || line.size() <= key.size() || line[key.size()] != '=')
            continue;
        std::string v = line.substr(key.size() + 1);
        while (!v.empty() && (v.back() == '\r' || v.back() == ' '))
            v.pop_back();
        std::string out;
        char quote = 0;
        for (size_t i = 0; i < v.size(); ++i) {
            char c = v[i];
            if (!quote && (c == '"' || c == '\'')) {
                quote = c;
                continue;
            }
            if (quote && c == quote) {
                quote = 0;
                continue;
            }
            if (c == '\\' && quote != '\'' && i + 1 < v.size())
                c = v[++i];
            out.push_back(c);
        }
        return out;
    }
    return {};
}

std::string OsDisplayName(const std::string& osReleaseText)
{
    std::string pretty = OsReleaseValue(osReleaseText, "PRETTY_NAME");
    if (!pretty.empty())
        return pretty;
    std::string name = OsReleaseValue(osReleaseText, "NAME");
    std::string version = OsReleaseValue(osReleaseText, "VERSION");
    if (name.empty())
        return "Linux";
    return version.empty() ? name : name + " " + version;
}
