#pragma once
// The SMTP test servers of tests/fixtures/smtp/smtp_server.py, started on 127.0.0.1 for a test suite
// and stopped at its end. See the script for the listeners, the account and the stored messages.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>

#include "archive/MailParse.h"

extern char** environ;

class SmtpTestServer
{
public:
    ~SmtpTestServer() { Stop(); }

    // Starts the servers; false (with the reason in Error) when they do not come up.
    bool Start()
    {
        char tmpl[] = "/tmp/vastrel-smtp-XXXXXX";
        if (::mkdtemp(tmpl) == nullptr) {
            Error = "mkdtemp failed";
            return false;
        }
        FFolder = tmpl;
        int in[2], out[2];
        if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) {
            Error = "pipe failed";
            return false;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], 0);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        const std::string script = MailFixtureDir() + "smtp_server.py";
        std::string python = "/usr/bin/python3";
        char* argv[] = {python.data(), const_cast<char*>(script.c_str()), FFolder.data(), nullptr};
        const int rc = posix_spawn(&FPid, python.c_str(), &actions, nullptr, argv, environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(in[0]);
        ::close(out[1]);
        FStdin = in[1];
        if (rc != 0) {
            FPid = -1;
            ::close(out[0]);
            Error = "cannot start /usr/bin/python3";
            return false;
        }
        std::string line;
        char c;
        while (::read(out[0], &c, 1) == 1 && c != '\n')
            line += c;
        ::close(out[0]);
        static const std::regex entry("\"(\\w+)\": (\\d+)");
        for (std::sregex_iterator it(line.begin(), line.end(), entry), end; it != end; ++it)
            FPorts[(*it)[1]] = std::stoi((*it)[2]);
        if (FPorts.empty()) {
            Error = "the SMTP test server did not start: " + line;
            return false;
        }
        return true;
    }

    void Stop()
    {
        if (FStdin >= 0) {
            ::close(FStdin);
            FStdin = -1;
        }
        if (FPid > 0) {
            ::kill(FPid, SIGTERM);
            int status = 0;
            ::waitpid(FPid, &status, 0);
            FPid = -1;
        }
        if (!FFolder.empty()) {
            std::error_code ec;
            std::filesystem::remove_all(FFolder, ec);
            FFolder.clear();
        }
    }

    int Port(const std::string& name) const
    {
        auto it = FPorts.find(name);
        return it == FPorts.end() ? 0 : it->second;
    }
    const std::string& Folder() const { return FFolder; }

    // Number of messages received so far.
    int Count() const
    {
        int n = 0;
        while (std::filesystem::exists(FFolder + "/mail-" + std::to_string(n + 1) + ".eml"))
            ++n;
        return n;
    }
    // Path of message n (1-based) and its envelope (JSON text).
    std::string MessageFile(int n) const { return FFolder + "/mail-" + std::to_string(n) + ".eml"; }
    std::string Envelope(int n) const
    {
        std::ifstream in(FFolder + "/mail-" + std::to_string(n) + ".json");
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

    std::string Error;

private:
    pid_t FPid = -1;
    int FStdin = -1;
    std::string FFolder;
    std::map<std::string, int> FPorts;
};
