#include "mainwindow/DisplayProbe.h"

#include <cstdlib>
#include <cstring>
#include <netdb.h>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {
bool CanConnect(int domain, const sockaddr* addr, socklen_t len)
{
    const int fd = ::socket(domain, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    const bool ok = ::connect(fd, addr, len) == 0;
    ::close(fd);
    return ok;
}

bool UnixSocketAnswers(const std::string& path)
{
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof addr.sun_path)
        return false;
    std::memcpy(addr.sun_path, path.c_str(), path.size());
    return CanConnect(AF_UNIX, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
}

// An X display ":N", "unix:N" or "host:N" that accepts a connection.
bool XDisplayAnswers(const std::string& display)
{
    const size_t colon = display.rfind(':');
    if (colon == std::string::npos)
        return false;
    const std::string host = display.substr(0, colon);
    const int number = std::atoi(display.c_str() + colon + 1);
    if (host.empty() || host == "unix")
        return UnixSocketAnswers("/tmp/.X11-unix/X" + std::to_string(number));
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.c_str(), std::to_string(6000 + number).c_str(), &hints, &found) != 0)
        return false;
    bool ok = false;
    for (addrinfo* a = found; a && !ok; a = a->ai_next)
        ok = CanConnect(a->ai_family, a->ai_addr, a->ai_addrlen);
    ::freeaddrinfo(found);
    return ok;
}

std::string EnvText(const char* name)
{
    const char* v = std::getenv(name);
    return v ? v : "";
}
} // namespace

bool DisplayAvailable()
{
    const std::string wayland = EnvText("WAYLAND_DISPLAY");
    const std::string x11 = EnvText("DISPLAY");
    if (wayland.empty() && x11.empty())
        return false;
    // A platform chosen explicitly (offscreen, vnc, ...) is taken at its word.
    if (!EnvText("QT_QPA_PLATFORM").empty())
        return true;
    // A display left over in the environment (an ended session, ssh without forwarding) must not stop
    // the backup: the window is used only where a display answers.
    if (!wayland.empty()) {
        const std::string runtime = EnvText("XDG_RUNTIME_DIR");
        if (UnixSocketAnswers(wayland[0] == '/' ? wayland : runtime + "/" + wayland))
            return true;
    }
    return !x11.empty() && XDisplayAnswers(x11);
}
