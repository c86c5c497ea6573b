#pragma once
// FTP servers for the FTP client tests, started on 127.0.0.1 and stopped when the object goes.
//
//   PyFtpServer server(sandbox.Path("srv"), "explicit", {"--no-mlsd"});
//   ASSERT_TRUE(server.Started()) << server.Error();
//   ftp.Host = "127.0.0.1"; ftp.Port = server.Port();
//
// pyftpdlib (tests/fixtures/ftp/ftp_server.py) offers plain, explicit and implicit TLS and fault
// injection; vsftpd gives a real daemon without MLSD that insists on TLS session reuse (root only).

#include <string>
#include <sys/types.h>
#include <vector>

// A self-signed server certificate made once per test program with the openssl command line.
struct TestCertificate
{
    std::string Dir;
    std::string CertFile;
    std::string KeyFile;
    std::string Md5Fingerprint; // "AB:CD:…"
    std::string Error;          // set when the certificate could not be made

    static const TestCertificate& Get();
};

class PyFtpServer
{
public:
    static constexpr const char* User = "tester";
    static constexpr const char* Password = "s3cret-Pw";

    // root is created when missing. mode: "plain", "explicit" or "implicit".
    PyFtpServer(const std::string& root, const std::string& mode,
                const std::vector<std::string>& extraArgs = {});
    ~PyFtpServer();
    PyFtpServer(const PyFtpServer&) = delete;
    PyFtpServer& operator=(const PyFtpServer&) = delete;

    // Empty when pyftpdlib (with pyOpenSSL for TLS) can be used by /usr/bin/python3; otherwise why not.
    // Checked once per test program.
    static const std::string& MissingReason();

    bool Started() const { return FPort > 0; }
    const std::string& Error() const { return FError; }
    int Port() const { return FPort; }
    const std::string& Root() const { return FRoot; }

private:
    pid_t FPid = -1;
    int FPort = 0;
    std::string FRoot;
    std::string FError;
};

// vsftpd as a standalone daemon on a free port with a throw-away local user. Needs root.
class VsftpdServer
{
public:
    static constexpr const char* Password = "Vsftp-Pw-7";

    // tls: ssl_enable with require_ssl_reuse. The user's home (and FTP root) is Root().
    explicit VsftpdServer(bool tls);
    ~VsftpdServer();
    VsftpdServer(const VsftpdServer&) = delete;
    VsftpdServer& operator=(const VsftpdServer&) = delete;

    // Empty when the server runs; otherwise why not (the test skips with this reason).
    const std::string& SkipReason() const { return FSkip; }
    int Port() const { return FPort; }
    const std::string& Root() const { return FRoot; }
    // A user of its own per test process, removed again at the end.
    const std::string& User() const { return FUser; }

private:
    pid_t FPid = -1;
    int FPort = 0;
    std::string FRoot;
    std::string FSkip;
    std::string FUser;
};
