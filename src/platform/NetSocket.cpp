#include "platform/NetSocket.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

namespace {

using Clock = std::chrono::steady_clock;

std::string ErrnoText(int err)
{
    return std::strerror(err);
}

std::string TlsErrorText(const std::string& prefix)
{
    std::string text = prefix;
    unsigned long e;
    bool first = true;
    while ((e = ERR_get_error()) != 0) {
        char buf[256];
        ERR_error_string_n(e, buf, sizeof buf);
        text += first ? ": " : "; ";
        text += buf;
        first = false;
    }
    return text;
}

bool FileExists(const std::string& name)
{
    return !name.empty() && access(name.c_str(), R_OK) == 0;
}

int RemainingMs(Clock::time_point deadline)
{
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left < 0 ? 0 : static_cast<int>(left);
}

std::string NameLine(X509_NAME* name)
{
    if (!name)
        return "";
    char buf[1024];
    X509_NAME_oneline(name, buf, sizeof buf);
    return buf;
}

} // namespace

int TlsPasswordCallback(char* buf, int size, int, void* userdata)
{
    auto* ctx = static_cast<TTlsContext*>(userdata);
    std::string pwd = ctx->FKeyPassword ? ctx->FKeyPassword() : ctx->FStaticPassword;
    int n = static_cast<int>(pwd.size());
    if (n > size)
        n = size;
    std::memcpy(buf, pwd.data(), static_cast<size_t>(n));
    return n;
}

// --- TTlsContext

TTlsContext::TTlsContext(const TTlsClientFiles& files, std::function<std::string()> keyPassword)
    : FKeyPassword(std::move(keyPassword)), FStaticPassword(files.KeyPassword)
{
    FCtx = SSL_CTX_new(TLS_client_method());
    if (!FCtx)
        throw ENetError(nekTls, TlsErrorText("Error creating SSL context"));
    SSL_CTX_set_min_proto_version(FCtx, TLS1_2_VERSION);
    // The server certificate is judged by the caller (fingerprint or the user), not by the chain.
    SSL_CTX_set_verify(FCtx, SSL_VERIFY_NONE, nullptr);
    SSL_CTX_set_session_cache_mode(FCtx, SSL_SESS_CACHE_CLIENT);
    SSL_CTX_set_mode(FCtx, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    if (FileExists(files.RootFile) &&
        SSL_CTX_load_verify_locations(FCtx, files.RootFile.c_str(), nullptr) != 1)
        FLoadError = TlsErrorText("Error loading root certificates \"" + files.RootFile + "\"");
    if (FileExists(files.CertFile) && FileExists(files.KeyFile)) {
        SSL_CTX_set_default_passwd_cb(FCtx, TlsPasswordCallback);
        SSL_CTX_set_default_passwd_cb_userdata(FCtx, this);
        if (SSL_CTX_use_certificate_chain_file(FCtx, files.CertFile.c_str()) == 1 &&
            SSL_CTX_use_PrivateKey_file(FCtx, files.KeyFile.c_str(), SSL_FILETYPE_PEM) == 1 &&
            SSL_CTX_check_private_key(FCtx) == 1) {
            FClientCert = true;
        } else {
            FLoadError = TlsErrorText("Error loading client certificate \"" + files.CertFile + "\"");
            // Start over without a half-loaded certificate.
            SSL_CTX_free(FCtx);
            FCtx = SSL_CTX_new(TLS_client_method());
            if (!FCtx)
                throw ENetError(nekTls, TlsErrorText("Error creating SSL context"));
            SSL_CTX_set_min_proto_version(FCtx, TLS1_2_VERSION);
            SSL_CTX_set_verify(FCtx, SSL_VERIFY_NONE, nullptr);
            SSL_CTX_set_session_cache_mode(FCtx, SSL_SESS_CACHE_CLIENT);
            SSL_CTX_set_mode(FCtx, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
        }
    }
    ERR_clear_error();
}

TTlsContext::~TTlsContext()
{
    SSL_CTX_free(FCtx);
}

void TTlsContext::SetMaxVersionTls12(bool on)
{
    SSL_CTX_set_max_proto_version(FCtx, on ? TLS1_2_VERSION : 0);
}

bool TTlsContext::Available()
{
    SSL_CTX* ctx = SSL_CTX_new(TLS_client_method());
    if (!ctx) {
        ERR_clear_error();
        return false;
    }
    SSL_CTX_free(ctx);
    return true;
}

// --- TNetSocket

TNetSocket::TNetSocket()
{
    // OpenSSL writes to sockets with write(2); a peer that went away must give EPIPE, not end the
    // process. Only the default disposition is replaced: a program's own handler stays.
    static std::once_flag sigpipeOnce;
    std::call_once(sigpipeOnce, [] {
        struct sigaction old
        {
        };
        if (sigaction(SIGPIPE, nullptr, &old) == 0 && old.sa_handler == SIG_DFL)
            signal(SIGPIPE, SIG_IGN);
    });
    int fds[2];
    if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) == 0) {
        FWakeRead = fds[0];
        FWakeWrite = fds[1];
    }
}

TNetSocket::~TNetSocket()
{
    CloseFd();
    if (FWakeRead >= 0)
        ::close(FWakeRead);
    if (FWakeWrite >= 0)
        ::close(FWakeWrite);
}

void TNetSocket::CloseFd()
{
    if (FSsl) {
        SSL_free(FSsl);
        FSsl = nullptr;
    }
    if (FFd >= 0) {
        ::close(FFd);
        FFd = -1;
    }
}

void TNetSocket::Close()
{
    if (FSsl && FFd >= 0 && !FAborted) {
        // Best effort: do not wait for the peer's close_notify.
        SSL_shutdown(FSsl);
        ERR_clear_error();
    }
    CloseFd();
}

void TNetSocket::Abort()
{
    FAborted = true;
    if (FWakeWrite >= 0) {
        char c = 1;
        [[maybe_unused]] auto n = ::write(FWakeWrite, &c, 1);
    }
}

void TNetSocket::WaitFor(bool forWrite, int timeoutMs, const char* what)
{
    if (FAborted)
        throw ENetError(nekClosed, "Connection aborted");
    pollfd p[2] = {{FFd, static_cast<short>(forWrite ? POLLOUT : POLLIN), 0}, {FWakeRead, POLLIN, 0}};
    auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
    for (;;) {
        int r = ::poll(p, FWakeRead >= 0 ? 2 : 1, RemainingMs(deadline));
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0)
            throw ENetError(nekSocket, ErrnoText(errno), errno);
        if (FAborted || (FWakeRead >= 0 && (p[1].revents & POLLIN)))
            throw ENetError(nekClosed, "Connection aborted");
        if (r == 0)
            throw ENetError(nekTimeout, what);
        return; // readable, writable or an error condition that the next call reports
    }
}

void TNetSocket::Connect(const std::string& host, int port, int family, int timeoutMs)
{
    Close();
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_family = family == 4 ? AF_INET : family == 6 ? AF_INET6 : AF_UNSPEC;
    addrinfo* list = nullptr;
    std::string service = std::to_string(port);
    int rc = getaddrinfo(host.c_str(), service.c_str(), &hints, &list);
    if (rc != 0)
        throw ENetError(nekSocket, "Host not found: " + host + " (" + gai_strerror(rc) + ")");
    auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    std::string lastError = "Connection failed";
    int lastErrno = 0;
    bool timedOut = false;
    for (addrinfo* a = list; a; a = a->ai_next) {
        int fd = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, a->ai_protocol);
        if (fd < 0) {
            lastErrno = errno;
            lastError = ErrnoText(errno);
            continue;
        }
        int r = ::connect(fd, a->ai_addr, a->ai_addrlen);
        if (r != 0 && errno == EINPROGRESS) {
            pollfd p[2] = {{fd, POLLOUT, 0}, {FWakeRead, POLLIN, 0}};
            int pr;
            do
                pr = ::poll(p, FWakeRead >= 0 ? 2 : 1, RemainingMs(deadline));
            while (pr < 0 && errno == EINTR);
            if (pr == 0) {
                ::close(fd);
                timedOut = true;
                break;
            }
            if (FAborted) {
                ::close(fd);
                freeaddrinfo(list);
                throw ENetError(nekClosed, "Connection aborted");
            }
            int err = 0;
            socklen_t len = sizeof err;
            getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len);
            r = err == 0 ? 0 : -1;
            errno = err;
        }
        if (r != 0) {
            lastErrno = errno;
            lastError = "Socket Error # " + std::to_string(errno) + "\n" + ErrnoText(errno);
            ::close(fd);
            continue;
        }
        int one = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        FFd = fd;
        FFamily = a->ai_family == AF_INET6 ? 6 : 4;
        break;
    }
    freeaddrinfo(list);
    if (FFd < 0) {
        if (timedOut)
            throw ENetError(nekTimeout, "Connect timed out.");
        throw ENetError(nekSocket, lastError, lastErrno);
    }
}

void TNetSocket::ListenLike(const TNetSocket& control)
{
    Close();
    sockaddr_storage addr{};
    socklen_t len = sizeof addr;
    if (getsockname(control.FFd, reinterpret_cast<sockaddr*>(&addr), &len) != 0)
        throw ENetError(nekSocket, ErrnoText(errno), errno);
    if (addr.ss_family == AF_INET)
        reinterpret_cast<sockaddr_in*>(&addr)->sin_port = 0;
    else
        reinterpret_cast<sockaddr_in6*>(&addr)->sin6_port = 0;
    int fd = ::socket(addr.ss_family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        throw ENetError(nekSocket, ErrnoText(errno), errno);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), len) != 0 || ::listen(fd, 1) != 0) {
        int err = errno;
        ::close(fd);
        throw ENetError(nekSocket, ErrnoText(err), err);
    }
    FFd = fd;
    FFamily = addr.ss_family == AF_INET6 ? 6 : 4;
}

void TNetSocket::Accept(int timeoutMs)
{
    WaitFor(false, timeoutMs, "Accept timed out.");
    int fd = ::accept4(FFd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0)
        throw ENetError(nekSocket, ErrnoText(errno), errno);
    ::close(FFd);
    FFd = fd;
}

void TNetSocket::StartTls(TTlsContext& ctx, const std::string& serverName, const TNetSocket* reuseFrom,
                          int timeoutMs)
{
    if (FFd < 0)
        throw ENetError(nekClosed, "Not connected.");
    FSsl = SSL_new(ctx.Handle());
    if (!FSsl)
        throw ENetError(nekTls, TlsErrorText("Error creating SSL session"));
    SSL_set_fd(FSsl, FFd);
    if (!serverName.empty() &&
        serverName.find_first_not_of("0123456789.:[]abcdefABCDEF") != std::string::npos)
        // SSL_set_tlsext_host_name without the C cast of the macro
        SSL_ctrl(FSsl, SSL_CTRL_SET_TLSEXT_HOSTNAME, TLSEXT_NAMETYPE_host_name,
                 const_cast<char*>(serverName.c_str()));
    if (reuseFrom && reuseFrom->FSsl) {
        SSL_SESSION* session = SSL_get1_session(reuseFrom->FSsl);
        if (session) {
            SSL_set_session(FSsl, session);
            SSL_SESSION_free(session);
        }
    }
    auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        ERR_clear_error();
        int r = SSL_connect(FSsl);
        if (r == 1)
            break;
        int err = SSL_get_error(FSsl, r);
        if (err == SSL_ERROR_WANT_READ || err == SSL_ERROR_WANT_WRITE) {
            WaitFor(err == SSL_ERROR_WANT_WRITE, RemainingMs(deadline), "TLS handshake timed out.");
            continue;
        }
        std::string text = TlsErrorText("TLS handshake failed");
        if (err == SSL_ERROR_SYSCALL || err == SSL_ERROR_ZERO_RETURN) {
            SSL_free(FSsl);
            FSsl = nullptr;
            throw ENetError(nekClosed, text + (errno ? " (" + ErrnoText(errno) + ")"
                                                     : std::string(" (connection closed)")));
        }
        SSL_free(FSsl);
        FSsl = nullptr;
        throw ENetError(nekTls, text);
    }
}

bool TNetSocket::SessionReused() const
{
    return FSsl && SSL_session_reused(FSsl) == 1;
}

size_t TNetSocket::ReadSome(void* buffer, size_t count, int timeoutMs)
{
    if (FFd < 0)
        throw ENetError(nekClosed, "Connection closed.");
    if (count == 0)
        return 0;
    auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (FAborted)
            throw ENetError(nekClosed, "Connection aborted");
        if (FSsl) {
            ERR_clear_error();
            errno = 0;
            int r = SSL_read(FSsl, buffer, count > 0x40000000 ? 0x40000000 : static_cast<int>(count));
            if (r > 0)
                return static_cast<size_t>(r);
            int err = SSL_get_error(FSsl, r);
            if (err == SSL_ERROR_ZERO_RETURN)
                return 0;
            if (err == SSL_ERROR_WANT_READ || err == SSL_ERROR_WANT_WRITE) {
                if (RemainingMs(deadline) == 0)
                    throw ENetError(nekTimeout, "Read timed out.");
                WaitFor(err == SSL_ERROR_WANT_WRITE, RemainingMs(deadline), "Read timed out.");
                continue;
            }
            if (err == SSL_ERROR_SYSCALL) {
                if (errno == 0)
                    return 0; // peer closed without close_notify
                throw ENetError(nekSocket,
                                "Socket Error # " + std::to_string(errno) + "\n" + ErrnoText(errno), errno);
            }
            throw ENetError(nekTls, TlsErrorText("TLS read failed"));
        }
        ssize_t n = ::recv(FFd, buffer, count, 0);
        if (n >= 0)
            return static_cast<size_t>(n);
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            if (RemainingMs(deadline) == 0)
                throw ENetError(nekTimeout, "Read timed out.");
            WaitFor(false, RemainingMs(deadline), "Read timed out.");
            continue;
        }
        if (errno == ECONNRESET)
            throw ENetError(nekClosed, "Connection reset by peer.", errno);
        throw ENetError(nekSocket, "Socket Error # " + std::to_string(errno) + "\n" + ErrnoText(errno),
                        errno);
    }
}

void TNetSocket::WriteAll(const void* buffer, size_t count, int timeoutMs)
{
    if (FFd < 0)
        throw ENetError(nekClosed, "Connection closed.");
    const char* p = static_cast<const char*>(buffer);
    while (count > 0) {
        if (FAborted)
            throw ENetError(nekClosed, "Connection aborted");
        if (FSsl) {
            ERR_clear_error();
            errno = 0;
            int r = SSL_write(FSsl, p, count > 0x40000000 ? 0x40000000 : static_cast<int>(count));
            if (r > 0) {
                p += r;
                count -= static_cast<size_t>(r);
                continue;
            }
            int err = SSL_get_error(FSsl, r);
            if (err == SSL_ERROR_WANT_READ || err == SSL_ERROR_WANT_WRITE) {
                WaitFor(err == SSL_ERROR_WANT_WRITE, timeoutMs, "Write timed out.");
                continue;
            }
            if (err == SSL_ERROR_SYSCALL && (errno == EPIPE || errno == ECONNRESET || errno == 0))
                throw ENetError(nekClosed, "Connection closed gracefully.", errno);
            if (err == SSL_ERROR_SYSCALL)
                throw ENetError(nekSocket,
                                "Socket Error # " + std::to_string(errno) + "\n" + ErrnoText(errno), errno);
            throw ENetError(nekTls, TlsErrorText("TLS write failed"));
        }
        ssize_t n = ::send(FFd, p, count, MSG_NOSIGNAL);
        if (n > 0) {
            p += n;
            count -= static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            WaitFor(true, timeoutMs, "Write timed out.");
            continue;
        }
        if (errno == EPIPE || errno == ECONNRESET)
            throw ENetError(nekClosed, "Connection closed gracefully.", errno);
        throw ENetError(nekSocket, "Socket Error # " + std::to_string(errno) + "\n" + ErrnoText(errno),
                        errno);
    }
}

bool TNetSocket::PeerGone() const
{
    if (FFd < 0 || FAborted)
        return true;
    if (FSsl && SSL_pending(FSsl) > 0)
        return false;
    pollfd p{FFd, POLLIN, 0};
    int r = ::poll(&p, 1, 0);
    if (r <= 0)
        return false;
    if (p.revents & (POLLERR | POLLHUP | POLLNVAL))
        return true;
    char c;
    ssize_t n = ::recv(FFd, &c, 1, MSG_PEEK);
    if (n == 0)
        return true;
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
        return true;
    return false;
}

namespace {
// The numeric host of the socket's peer or local end ("" when unknown).
std::string NumericHost(int fd, bool peer)
{
    sockaddr_storage addr{};
    socklen_t len = sizeof addr;
    auto* sa = reinterpret_cast<sockaddr*>(&addr);
    if (fd < 0 || (peer ? getpeername(fd, sa, &len) : getsockname(fd, sa, &len)) != 0)
        return "";
    char host[NI_MAXHOST];
    if (getnameinfo(sa, len, host, sizeof host, nullptr, 0, NI_NUMERICHOST) != 0)
        return "";
    return host;
}
} // namespace

std::string TNetSocket::PeerAddress() const
{
    return NumericHost(FFd, true);
}

std::string TNetSocket::LocalAddress() const
{
    return NumericHost(FFd, false);
}

int TNetSocket::LocalPort() const
{
    sockaddr_storage addr{};
    socklen_t len = sizeof addr;
    if (FFd < 0 || getsockname(FFd, reinterpret_cast<sockaddr*>(&addr), &len) != 0)
        return 0;
    if (addr.ss_family == AF_INET)
        return ntohs(reinterpret_cast<sockaddr_in*>(&addr)->sin_port);
    return ntohs(reinterpret_cast<sockaddr_in6*>(&addr)->sin6_port);
}

TPeerCertificate TNetSocket::PeerCertificate() const
{
    TPeerCertificate info;
    if (!FSsl)
        return info;
    X509* cert = SSL_get1_peer_certificate(FSsl);
    if (!cert)
        return info;
    info.Present = true;
    info.Version = static_cast<int>(X509_get_version(cert)) + 1;
    info.Issuer = NameLine(X509_get_issuer_name(cert));
    info.Subject = NameLine(X509_get_subject_name(cert));
    static const char hex[] = "0123456789ABCDEF";
    unsigned char md[EVP_MAX_MD_SIZE];
    unsigned int mdLen = 0;
    if (X509_digest(cert, EVP_md5(), md, &mdLen) == 1) {
        for (unsigned i = 0; i < mdLen; ++i) {
            if (i)
                info.Md5Fingerprint += ':';
            info.Md5Fingerprint += hex[md[i] >> 4];
            info.Md5Fingerprint += hex[md[i] & 15];
        }
    }
    if (const ASN1_INTEGER* serial = X509_get0_serialNumber(cert)) {
        const unsigned char* d = ASN1_STRING_get0_data(serial);
        int len = ASN1_STRING_length(serial);
        for (int i = 0; i < len; ++i) {
            if (i)
                info.SerialHex += ':';
            info.SerialHex += hex[d[i] >> 4];
            info.SerialHex += hex[d[i] & 15];
        }
    }
    if (const ASN1_TIME* notAfter = X509_get0_notAfter(cert)) {
        struct tm tmv
        {
        };
        if (ASN1_TIME_to_tm(notAfter, &tmv) == 1)
            info.NotAfterUnix = static_cast<int64_t>(timegm(&tmv));
    }
    X509_free(cert);
    ERR_clear_error();
    return info;
}

void TNetSocket::SetKeepAlive(bool on, int idleSec, int intervalSec)
{
    if (FFd < 0)
        return;
    int v = on ? 1 : 0;
    setsockopt(FFd, SOL_SOCKET, SO_KEEPALIVE, &v, sizeof v);
    if (on) {
        setsockopt(FFd, IPPROTO_TCP, TCP_KEEPIDLE, &idleSec, sizeof idleSec);
        setsockopt(FFd, IPPROTO_TCP, TCP_KEEPINTVL, &intervalSec, sizeof intervalSec);
    }
}
