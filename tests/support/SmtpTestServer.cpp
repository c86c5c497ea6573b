#include "support/SmtpTestServer.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <regex>

#include "support/Files.h"
#include "support/MailParse.h"

extern char** environ;

SmtpTestServer& SmtpTestServer::Shared()
{
    static SmtpTestServer server;
    static const bool started = server.Start();
    (void)started;
    return server;
}

bool SmtpTestServer::Start()
{
    FOwner = ::getpid();
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

void SmtpTestServer::Stop()
{
    // a forked child that ends through exit() leaves the servers to its parent
    if (FOwner != ::getpid())
        return;
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

int SmtpTestServer::Port(const std::string& name) const
{
    auto it = FPorts.find(name);
    return it == FPorts.end() ? 0 : it->second;
}

int SmtpTestServer::Count() const
{
    int n = 0;
    while (std::filesystem::exists(FFolder + "/mail-" + std::to_string(n + 1) + ".eml"))
        ++n;
    return n;
}

std::string SmtpTestServer::Envelope(int n) const
{
    return ReadFileBytes(FFolder + "/mail-" + std::to_string(n) + ".json");
}
