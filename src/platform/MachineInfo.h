#pragma once
// Who and where the program runs: user, host, operating system and the logged-in users' sessions.
// The programs use the real implementation; tests put in a fake with fixed answers (tests/support).

#include <cstdint>
#include <string>
#include <vector>

struct TUserSession
{
    std::string UserName;
    std::string Line;      // terminal or seat ("tty1", ":0", "pts/3")
    std::string Host;      // remote host, empty for local sessions
    int64_t LogonTime = 0; // Unix seconds (UTC)
    int Pid = 0;
};

class MachineInfo
{
public:
    virtual ~MachineInfo() = default;
    virtual std::string UserName() = 0;      // the effective user's login name
    virtual std::string RealName() = 0;      // the full name of the password database ("" when none)
    virtual std::string HostName() = 0;      // the host name, without domain
    virtual std::string OsReleaseText() = 0; // the content of os-release
    virtual std::string KernelRelease() = 0; // uname -r
    virtual std::string Machine() = 0;       // uname -m
    virtual bool IsRoot() = 0;
    // Interactive sessions of logged-in users with a live process; false when they cannot be read.
    virtual bool UserSessions(std::vector<TUserSession>& sessions) = 0;

    static MachineInfo& Current();
    // nullptr restores the real implementation; the caller keeps ownership.
    static void SetCurrent(MachineInfo* info);
};

class RealMachineInfo : public MachineInfo
{
public:
    std::string UserName() override;
    std::string RealName() override;
    std::string HostName() override;
    std::string OsReleaseText() override;
    std::string KernelRelease() override;
    std::string Machine() override;
    bool IsRoot() override;
    bool UserSessions(std::vector<TUserSession>& sessions) override;
};

// One value of an os-release text (quotes and backslash escapes removed); empty when missing.
std::string OsReleaseValue(const std::string& text, const std::string& key);
// The one-line name of the system: PRETTY_NAME, else NAME and VERSION, else "Linux".
std::string OsDisplayName(const std::string& osReleaseText);
