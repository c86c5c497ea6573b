#pragma once
// A local account made for one test program (useradd + chpasswd, needs root) and removed with its
// home folder at the end.

#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "support/Shell.h"

class ThrowawayUser
{
public:
    ThrowawayUser()
    {
        if (::geteuid() != 0) {
            Error = "making a throw-away account needs root";
            return;
        }
        Name = "vqs" + std::to_string(::getpid());
        ShellResult r =
            RunShell("useradd -m -s /bin/sh " + Name + " && echo " + ShellQuote(Name + ":" + Password) +
                     " | chpasswd && useradd -M -s /bin/sh " + NoPwdName() + " && passwd -d " + NoPwdName());
        if (r.exitCode != 0)
            Error = "useradd/chpasswd failed: " + r.output;
        Made = true;
    }
    ~ThrowawayUser()
    {
        if (Made)
            RunShell("userdel -r " + Name + " 2>/dev/null; userdel " + NoPwdName() + " 2>/dev/null");
    }
    static ThrowawayUser& Shared()
    {
        static ThrowawayUser user;
        return user;
    }
    // An account without a password.
    std::string NoPwdName() const { return Name + "n"; }
    // The account's user id (0 when unknown).
    uid_t Uid() const
    {
        ShellResult r = RunShell("id -u " + Name);
        return r.exitCode == 0 ? static_cast<uid_t>(std::stoul(r.output)) : 0;
    }
    // The owner of a file.
    static uid_t OwnerOf(const std::string& path)
    {
        struct stat st = {};
        return ::stat(path.c_str(), &st) == 0 ? st.st_uid : static_cast<uid_t>(-1);
    }

    std::string Name;
    std::string Password = "Corr3ct horse!";
    std::string Error;

private:
    bool Made = false;
};
