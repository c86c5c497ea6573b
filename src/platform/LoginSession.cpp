#include "platform/LoginSession.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <systemd/sd-daemon.h>
#include <systemd/sd-login.h>
#include <unistd.h>

namespace {

bool SomeoneAtTheDesk()
{
    const char* display = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (display && *display) || (wayland && *wayland) || ::isatty(STDIN_FILENO) == 1;
}

} // namespace

bool IsBatchSession()
{
    if (sd_booted() <= 0)
        return !SomeoneAtTheDesk();
    char* session = nullptr;
    const int rc = sd_pid_get_session(0, &session);
    if (rc < 0) {
        // -ENODATA: the process belongs to no session (a service, a timer, cron without pam_systemd).
        if (rc == -ENODATA || rc == -ENXIO)
            return true;
        return !SomeoneAtTheDesk();
    }
    char* type = nullptr;
    bool graphical = false;
    if (sd_session_get_type(session, &type) >= 0 && type) {
        graphical = std::strcmp(type, "x11") == 0 || std::strcmp(type, "wayland") == 0 ||
                    std::strcmp(type, "mir") == 0;
        std::free(type);
    }
    std::free(session);
    return !graphical;
}
