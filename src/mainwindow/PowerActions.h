#pragma once
// What the program does to the computer on its way out: shut down, restart, power off, log off,
// suspend, lock the session, and the count of interactive user sessions.
//
// TLogindPowerActions asks systemd-logind over the system bus; TRecordingPowerActions only records
// the request (one line each, also appended to a file when one is given) and is what tests use.

#include <memory>
#include <string>
#include <vector>

#include "foundation/BuConsts.h"

class IPowerActions
{
public:
    virtual ~IPowerActions() = default;
    // Carries out an end mode (dmPowerOff, dmShutdown, dmRestart, dmIdleOff, dmHybrid, dmLogOff).
    // Returns an empty text on success, else the system's error text.
    virtual std::string EndSession(TDownMode mode) = 0;
    // Standby or hibernation; empty text on success.
    virtual std::string Suspend(bool hibernate) = 0;
    virtual std::string LockSession() = 0;
    // Interactive user sessions (ours included); -1 when unknown.
    virtual int UserSessionCount() = 0;
    // Keeps the system from sleeping (displayOn: from idling into a blank, locked screen too) until
    // EndKeepAwake; a second request replaces the first. Empty text on success.
    virtual std::string KeepAwake(bool displayOn) = 0;
    virtual void EndKeepAwake() = 0;
};

class TLogindPowerActions : public IPowerActions
{
public:
    ~TLogindPowerActions() override;
    std::string EndSession(TDownMode mode) override;
    std::string Suspend(bool hibernate) override;
    std::string LockSession() override;
    int UserSessionCount() override;
    // An inhibitor lock of logind ("sleep", with the display "sleep:idle"), held as its descriptor.
    std::string KeepAwake(bool displayOn) override;
    void EndKeepAwake() override;

private:
    int FInhibitFd = -1;
};

class TRecordingPowerActions : public IPowerActions
{
public:
    explicit TRecordingPowerActions(std::string logFile = std::string()) : FLogFile(std::move(logFile)) {}
    std::string EndSession(TDownMode mode) override;
    std::string Suspend(bool hibernate) override;
    std::string LockSession() override;
    int UserSessionCount() override { return SessionCount; }
    // "inhibit sleep:idle" / "inhibit sleep" and "release" (only for a held request).
    std::string KeepAwake(bool displayOn) override;
    void EndKeepAwake() override;
    std::vector<std::string> Calls;
    int SessionCount = 0;
    std::string Failure; // returned by every action when not empty

private:
    std::string Record(const std::string& line);
    std::string FLogFile;
    bool FInhibited = false;
};

// The name of an end mode as the recording lines show it ("shutdown", "restart", …).
std::string DownModeName(TDownMode mode);
