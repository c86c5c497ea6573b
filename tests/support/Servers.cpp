#include "support/Servers.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sys/mount.h>
#include <unistd.h>

bool ServersRequired()
{
    const char* value = std::getenv("VASTREL_REQUIRE_SERVERS");
    return value != nullptr && *value != '\0' && std::string(value) != "0";
}

std::string MountTmpfs(const std::string& folder)
{
    if (::geteuid() != 0)
        return "mounting a tmpfs needs root";
    if (::mount("none", folder.c_str(), "tmpfs", 0, nullptr) != 0)
        return "cannot mount a tmpfs on " + folder + ": " + std::strerror(errno);
    return {};
}
