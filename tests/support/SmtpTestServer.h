#pragma once
// The SMTP test servers of tests/fixtures/smtp/smtp_server.py (aiosmtpd), started on 127.0.0.1 and
// stopped at the end. See the script for the listeners, the account and the stored messages.
//
//   SmtpTestServer& server = SmtpTestServer::Shared();   // started with the first test that asks
//   if (!server.Error.empty()) GTEST_SKIP() << server.Error;
//   mailer.SetPort(server.Port("starttls"));

#include <map>
#include <string>
#include <sys/types.h>

class SmtpTestServer
{
public:
    SmtpTestServer() = default;
    ~SmtpTestServer() { Stop(); }
    SmtpTestServer(const SmtpTestServer&) = delete;
    SmtpTestServer& operator=(const SmtpTestServer&) = delete;

    // The servers of the test program: started on the first call, stopped when the program ends. When
    // they did not come up, Error says why.
    static SmtpTestServer& Shared();

    // Starts the servers; false (with the reason in Error) when they do not come up.
    bool Start();
    void Stop();

    // The port of a listener ("open", "starttls", "implicit", ...); 0 when there is none.
    int Port(const std::string& name) const;
    const std::string& Folder() const { return FFolder; }

    // Number of messages received so far.
    int Count() const;
    // Path of message n (1-based) and its envelope (JSON text).
    std::string MessageFile(int n) const { return FFolder + "/mail-" + std::to_string(n) + ".eml"; }
    std::string Envelope(int n) const;

    std::string Error;

private:
    pid_t FOwner = -1;
    pid_t FPid = -1;
    int FStdin = -1;
    std::string FFolder;
    std::map<std::string, int> FPorts;
};
