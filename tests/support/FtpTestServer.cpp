#include "support/FtpTestServer.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "support/Files.h"
#include "support/Shell.h"
#include "support/WaitFor.h"

#ifndef VASTREL_SOURCE_DIR_FOR_TESTS
#error "VASTREL_SOURCE_DIR_FOR_TESTS must name the source tree"
#endif

namespace fs = std::filesystem;

namespace {

const char* Python = "/usr/bin/python3";

std::string FixtureScript()
{
    return std::string(VASTREL_SOURCE_DIR_FOR_TESTS) + "/tests/fixtures/ftp/ftp_server.py";
}

// Starts argv with standard output into a pipe (returned in outFd) and standard error into errFile.
pid_t Spawn(const std::vector<std::string>& argv, int* outFd, const std::string& errFile)
{
    int fds[2] = {-1, -1};
    if (outFd && pipe2(fds, O_CLOEXEC) != 0)
        return -1;
    pid_t pid = fork();
    if (pid == 0) {
        setpgid(0, 0);
        if (outFd)
            dup2(fds[1], 1);
        else {
            int devnull = open("/dev/null", O_WRONLY);
            dup2(devnull, 1);
        }
        int err = open(errFile.empty() ? "/dev/null" : errFile.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        if (err >= 0)
            dup2(err, 2);
        int devin = open("/dev/null", O_RDONLY);
        dup2(devin, 0);
        std::vector<char*> args;
        for (const auto& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    if (outFd) {
        close(fds[1]);
        *outFd = fds[0];
    }
    return pid;
}

void Stop(pid_t& pid)
{
    if (pid <= 0)
        return;
    kill(-pid, SIGTERM);
    kill(pid, SIGTERM);
    if (WaitFor([pid] { return waitpid(pid, nullptr, WNOHANG) == pid; }, std::chrono::seconds(2))) {
        pid = -1;
        return;
    }
    kill(-pid, SIGKILL);
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    pid = -1;
}

int FreePort()
{
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    socklen_t len = sizeof addr;
    getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    close(fd);
    return ntohs(addr.sin_port);
}

bool PortAnswers(int port)
{
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<uint16_t>(port));
    bool ok = connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    close(fd);
    return ok;
}

struct CertHolder
{
    TestCertificate cert;
    CertHolder()
    {
        char tmpl[] = "/tmp/vastrel-ftpcert-XXXXXX";
        if (!mkdtemp(tmpl)) {
            cert.Error = "mkdtemp failed";
            return;
        }
        chmod(tmpl, 0755);
        cert.Dir = tmpl;
        cert.CertFile = cert.Dir + "/server.crt";
        cert.KeyFile = cert.Dir + "/server.key";
        ShellResult r =
            RunShell("openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -keyout " +
                     ShellQuote(cert.KeyFile) + " -out " + ShellQuote(cert.CertFile) +
                     " -days 3 -subj /CN=localhost 2>&1");
        if (r.exitCode != 0) {
            cert.Error = r.output;
            return;
        }
        chmod(cert.KeyFile.c_str(), 0644);
        r = RunShell("openssl x509 -noout -fingerprint -md5 -in " + ShellQuote(cert.CertFile));
        size_t eq = r.output.find('=');
        if (r.exitCode != 0 || eq == std::string::npos) {
            cert.Error = r.output;
            return;
        }
        cert.Md5Fingerprint = r.output.substr(eq + 1);
        while (!cert.Md5Fingerprint.empty() &&
               std::isspace(static_cast<unsigned char>(cert.Md5Fingerprint.back())))
            cert.Md5Fingerprint.pop_back();
    }
    ~CertHolder()
    {
        std::error_code ec;
        if (!cert.Dir.empty())
            fs::remove_all(cert.Dir, ec);
    }
};

} // namespace

const std::string& PyFtpServer::MissingReason()
{
    static const std::string reason = [] {
        const ShellResult r = RunShell(std::string(Python) + " -c 'import pyftpdlib, OpenSSL'");
        return r.exitCode == 0
                   ? std::string()
                   : "pyftpdlib or pyOpenSSL is not installed for " + std::string(Python) + ": " + r.output;
    }();
    return reason;
}

const TestCertificate& TestCertificate::Get()
{
    static CertHolder holder;
    return holder.cert;
}

// --- pyftpdlib

PyFtpServer::PyFtpServer(const std::string& root, const std::string& mode,
                         const std::vector<std::string>& extraArgs)
    : FRoot(root)
{
    std::error_code ec;
    fs::create_directories(root, ec);
    std::vector<std::string> argv = {Python, FixtureScript(), "--root", root,         "--mode",
                                     mode,   "--user",        User,     "--password", Password};
    if (mode != "plain") {
        const TestCertificate& cert = TestCertificate::Get();
        if (!cert.Error.empty()) {
            FError = "no certificate: " + cert.Error;
            return;
        }
        argv.insert(argv.end(), {"--cert", cert.CertFile, "--key", cert.KeyFile});
    }
    argv.insert(argv.end(), extraArgs.begin(), extraArgs.end());
    int out = -1;
    FPid = Spawn(argv, &out, root + ".log");
    if (FPid < 0) {
        FError = "cannot start python3";
        return;
    }
    std::string line;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (line.find('\n') == std::string::npos && std::chrono::steady_clock::now() < deadline) {
        pollfd p{out, POLLIN, 0};
        if (poll(&p, 1, 100) <= 0)
            continue;
        char buf[256];
        ssize_t n = read(out, buf, sizeof buf);
        if (n <= 0)
            break;
        line.append(buf, static_cast<size_t>(n));
    }
    close(out);
    if (line.rfind("PORT ", 0) == 0)
        FPort = std::atoi(line.c_str() + 5);
    if (FPort <= 0) {
        std::ifstream err(root + ".log");
        std::string text((std::istreambuf_iterator<char>(err)), std::istreambuf_iterator<char>());
        FError = "the test server did not start: " + line + text;
        Stop(FPid);
    }
}

PyFtpServer::~PyFtpServer()
{
    Stop(FPid);
}

// --- vsftpd

VsftpdServer::VsftpdServer(bool tls)
{
    if (geteuid() != 0) {
        FSkip = "vsftpd needs root to run";
        return;
    }
    if (access("/usr/sbin/vsftpd", X_OK) != 0) {
        FSkip = "vsftpd is not installed";
        return;
    }
    const TestCertificate& cert = TestCertificate::Get();
    if (tls && !cert.Error.empty()) {
        FSkip = "no certificate: " + cert.Error;
        return;
    }
    // The user's home must be reachable by that user: a folder of its own under /tmp.
    char tmpl[] = "/tmp/vastrel-vsftpd-XXXXXX";
    if (!mkdtemp(tmpl)) {
        FSkip = "mkdtemp failed";
        return;
    }
    std::string base = tmpl;
    chmod(base.c_str(), 0755);
    FRoot = base + "/home";
    FUser = "vqftp" + std::to_string(getpid());
    const std::string& user = FUser;
    std::string empty = base + "/empty";
    fs::create_directories(empty);
    chmod(empty.c_str(), 0755);
    ShellResult r = RunShell("useradd -M -s /bin/sh -d " + ShellQuote(FRoot) + " " + user + " && echo " +
                             ShellQuote(user + ":" + Password) + " | chpasswd && mkdir -p " +
                             ShellQuote(FRoot) + " && chown " + user + " " + ShellQuote(FRoot));
    if (r.exitCode != 0) {
        FSkip = "cannot prepare the FTP user: " + r.output;
        return;
    }
    FPort = FreePort();
    std::string conf = base + "/vsftpd.conf";
    std::ofstream c(conf);
    c << "listen=YES\nlisten_ipv6=NO\nbackground=NO\nlisten_address=127.0.0.1\nlisten_port=" << FPort
      << "\nanonymous_enable=NO\nlocal_enable=YES\nwrite_enable=YES\nlocal_umask=022\nseccomp_sandbox=NO\n"
      << "secure_chroot_dir=" << empty << "\npam_service_name=vsftpd\nchroot_local_user=NO\n"
      << "userlist_enable=NO\ncheck_shell=NO\nxferlog_enable=NO\nuse_localtime=NO\nmdtm_write=YES\n"
      << "pasv_enable=YES\nport_enable=YES\nconnect_from_port_20=NO\nidle_session_timeout=60\n"
      << "data_connection_timeout=30\nvsftpd_log_file=" << base << "/vsftpd.log\ndual_log_enable=NO\n";
    if (tls) {
        c << "ssl_enable=YES\nrsa_cert_file=" << cert.CertFile << "\nrsa_private_key_file=" << cert.KeyFile
          << "\nforce_local_logins_ssl=YES\nforce_local_data_ssl=YES\nrequire_ssl_reuse=YES\n"
          << "ssl_tlsv1=YES\nssl_sslv2=NO\nssl_sslv3=NO\nallow_anon_ssl=NO\nssl_ciphers=HIGH\n";
    }
    c.close();
    FPid = Spawn({"/usr/sbin/vsftpd", conf}, nullptr, base + "/stderr.log");
    WaitFor(
        [this] {
            if (waitpid(FPid, nullptr, WNOHANG) == FPid) {
                FPid = -1;
                return true;
            }
            return PortAnswers(FPort);
        },
        std::chrono::seconds(3));
    if (FPid < 0 || !PortAnswers(FPort)) {
        FSkip = "vsftpd did not start: " + ReadFileBytes(base + "/stderr.log");
        Stop(FPid);
    }
}

VsftpdServer::~VsftpdServer()
{
    Stop(FPid);
    if (!FUser.empty())
        RunShell("userdel " + FUser + " >/dev/null 2>&1");
    if (!FRoot.empty()) {
        std::error_code ec;
        fs::remove_all(fs::path(FRoot).parent_path(), ec);
    }
}
