#include "mainwindow/PowerActions.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <systemd/sd-bus.h>
#include <systemd/sd-login.h>
#include <unistd.h>

namespace {

const char* const Destination = "org.freedesktop.login1";
const char* const ManagerPath = "/org/freedesktop/login1";
const char* const ManagerInterface = "org.freedesktop.login1.Manager";

// A method call to the logind manager on the system bus: call sends it, onReply reads the answer.
// Returns an empty text on success, else the error's text.
using TLogindCall = std::function<int(sd_bus* bus, sd_bus_error* error, sd_bus_message** reply)>;
std::string WithLogind(const TLogindCall& call, const std::function<int(sd_bus_message*)>& onReply = {})
{
    sd_bus* bus = nullptr;
    int r = sd_bus_open_system(&bus);
    if (r < 0)
        return std::string("D-Bus: ") + std::strerror(-r);
    sd_bus_error error = SD_BUS_ERROR_NULL;
    sd_bus_message* reply = nullptr;
    r = call(bus, &error, &reply);
    if (r >= 0 && onReply)
        r = onReply(reply);
    std::string text;
    if (r < 0)
        text = error.message ? error.message : std::strerror(-r);
    sd_bus_error_free(&error);
    sd_bus_message_unref(reply);
    sd_bus_unref(bus);
    return text;
}

// Calls a logind manager method; args: an optional string argument and the "interactive" flag.
std::string CallLogind(const char* method, const char* types, const char* stringArg, int flag)
{
    return WithLogind([&](sd_bus* bus, sd_bus_error* error, sd_bus_message** reply) {
        if (std::strcmp(types, "s") == 0)
            return sd_bus_call_method(bus, Destination, ManagerPath, ManagerInterface, method, error, reply,
                                      types, stringArg);
        if (std::strcmp(types, "b") == 0)
            return sd_bus_call_method(bus, Destination, ManagerPath, ManagerInterface, method, error, reply,
                                      types, flag);
        return sd_bus_call_method(bus, Destination, ManagerPath, ManagerInterface, method, error, reply,
                                  types);
    });
}

} // namespace

std::string DownModeName(TDownMode mode)
{
    switch (mode) {
    case dmPowerOff:
        return "poweroff";
    case dmShutdown:
        return "shutdown";
    case dmLogOff:
        return "logoff";
    case dmRestart:
        return "restart";
    case dmIdleOff:
        return "idleoff";
    case dmHybrid:
        return "hybrid";
    default:
        return "none";
    }
}

std::string TLogindPowerActions::EndSession(TDownMode mode)
{
    switch (mode) {
    case dmRestart:
        return CallLogind("Reboot", "b", nullptr, 0);
    case dmLogOff: {
        const char* id = std::getenv("XDG_SESSION_ID");
        if (!id || !*id)
            return "No session to log off (XDG_SESSION_ID is not set)";
        return CallLogind("TerminateSession", "s", id, 0);
    }
    case dmNone:
        return std::string();
    default:
        // Power off, shutdown, idle-off and hybrid shutdown all end with the machine switched off.
        return CallLogind("PowerOff", "b", nullptr, 0);
    }
}

std::string TLogindPowerActions::Suspend(bool hibernate)
{
    return CallLogind(hibernate ? "Hibernate" : "Suspend", "b", nullptr, 0);
}

std::string TLogindPowerActions::LockSession()
{
    const char* id = std::getenv("XDG_SESSION_ID");
    if (!id || !*id)
        return "No session to lock (XDG_SESSION_ID is not set)";
    return CallLogind("LockSession", "s", id, 0);
}

int TLogindPowerActions::UserSessionCount()
{
    char** sessions = nullptr;
    // Counted without the bus: the sessions logind publishes under /run/systemd.
    int n = sd_get_sessions(&sessions);
    if (n < 0)
        return -1;
    int count = 0;
    for (int i = 0; i < n; ++i) {
        char* cls = nullptr;
        char* state = nullptr;
        if (sd_session_get_class(sessions[i], &cls) >= 0 && cls && std::strcmp(cls, "user") == 0 &&
            sd_session_get_state(sessions[i], &state) >= 0 && state && std::strcmp(state, "closing") != 0)
            ++count;
        std::free(cls);
        std::free(state);
        std::free(sessions[i]);
    }
    std::free(sessions);
    return count;
}

TLogindPowerActions::~TLogindPowerActions()
{
    EndKeepAwake();
}

std::string TLogindPowerActions::KeepAwake(bool displayOn)
{
    EndKeepAwake();
    return WithLogind(
        [&](sd_bus* bus, sd_bus_error* error, sd_bus_message** reply) {
            return sd_bus_call_method(bus, Destination, ManagerPath, ManagerInterface, "Inhibit", error,
                                      reply, "ssss", displayOn ? "sleep:idle" : "sleep", "Vastrel",
                                      "A backup is running", "block");
        },
        [this](sd_bus_message* reply) {
            int fd = -1;
            int r = sd_bus_message_read(reply, "h", &fd);
            if (r < 0)
                return r;
            // The descriptor belongs to the message; the lock lasts as long as our own copy is open.
            FInhibitFd = fcntl(fd, F_DUPFD_CLOEXEC, 3);
            return FInhibitFd < 0 ? -errno : 0;
        });
}

void TLogindPowerActions::EndKeepAwake()
{
    if (FInhibitFd >= 0)
        close(FInhibitFd);
    FInhibitFd = -1;
}

std::string TRecordingPowerActions::KeepAwake(bool displayOn)
{
    FInhibited = true;
    return Record(displayOn ? "inhibit sleep:idle" : "inhibit sleep");
}

void TRecordingPowerActions::EndKeepAwake()
{
    if (FInhibited)
        Record("release");
    FInhibited = false;
}

std::string TRecordingPowerActions::Record(const std::string& line)
{
    Calls.push_back(line);
    if (!FLogFile.empty()) {
        if (std::FILE* f = std::fopen(FLogFile.c_str(), "ab")) {
            std::fprintf(f, "%s\n", line.c_str());
            std::fclose(f);
        }
    }
    return Failure;
}

std::string TRecordingPowerActions::EndSession(TDownMode mode)
{
    return Record("end " + DownModeName(mode));
}

std::string TRecordingPowerActions::Suspend(bool hibernate)
{
    return Record(hibernate ? "suspend hibernate" : "suspend standby");
}

std::string TRecordingPowerActions::LockSession()
{
    return Record("lock");
}
