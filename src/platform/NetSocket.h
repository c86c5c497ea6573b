#pragma once
// TCP client sockets with optional TLS (OpenSSL 3, TLS 1.2 at least) for the FTP and mail clients.
//
// Every blocking step waits with poll() against a time-out and raises ENetError on failure, so a
// silent or hostile peer never holds a caller beyond the time-out it gave. A socket is used by one
// thread at a time; Abort() may be called from another thread and makes the waiting call end at once.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "rtl/SysUtils.h"

struct ssl_st;
struct ssl_ctx_st;
struct ssl_session_st;

// What went wrong on a connection. The FTP client retries after nekTimeout, nekSocket and nekClosed.
enum TNetErrorKind
{
    nekSocket,   // name resolution, connect, send or receive failed (refused, reset, unreachable …)
    nekTimeout,  // the peer did not answer within the time-out
    nekClosed,   // the peer closed the connection
    nekTls,      // TLS set-up or TLS layer failure
    nekProtocol, // the peer sent something the protocol does not allow (garbage, over-long replies)
    nekReply     // the server refused a command (the reply code is in Code)
};

class ENetError : public Exception
{
public:
    ENetError(TNetErrorKind kind, std::string msg, int code = 0)
        : Exception(std::move(msg)), FKind(kind), FCode(code)
    {
    }
    TNetErrorKind Kind() const { return FKind; }
    // errno for nekSocket, the reply code for nekReply, else 0.
    int Code() const { return FCode; }
    // Time-outs, socket errors and closed connections: a reconnection may help.
    bool IsConnectionLoss() const { return FKind == nekTimeout || FKind == nekSocket || FKind == nekClosed; }

private:
    TNetErrorKind FKind;
    int FCode;
};

// Client certificate files for TLS. Each is used only when it names an existing file.
struct TTlsClientFiles
{
    std::string RootFile; // trusted root certificates (PEM)
    std::string CertFile; // client certificate (PEM)
    std::string KeyFile;  // its private key (PEM, possibly encrypted)
    std::string KeyPassword;
};

// The certificate the server presented.
struct TPeerCertificate
{
    bool Present = false;
    int Version = 0;            // 1 for v1 … 3 for v3
    std::string SerialHex;      // serial number as hexadecimal byte pairs separated by ":"
    std::string Issuer;         // issuer distinguished name in one line, "/C=../O=.." form
    std::string Subject;        // subject in the same form
    std::string Md5Fingerprint; // MD5 of the DER form, upper-case hexadecimal pairs separated by ":"
    int64_t NotAfterUnix = 0;   // end of validity, Unix seconds (UTC)
};

// A client TLS context shared by the connections of one client (control and data connections).
class TTlsContext
{
public:
    // Raises ENetError(nekTls) when OpenSSL cannot create a context. The client certificate is loaded
    // when both its files exist; a failure to load it is kept in LoadError() and the context works
    // without it.
    explicit TTlsContext(const TTlsClientFiles& files = {},
                         std::function<std::string()> keyPassword = nullptr);
    ~TTlsContext();
    TTlsContext(const TTlsContext&) = delete;
    TTlsContext& operator=(const TTlsContext&) = delete;

    ssl_ctx_st* Handle() const { return FCtx; }
    bool HasClientCertificate() const { return FClientCert; }
    const std::string& LoadError() const { return FLoadError; }
    // Highest protocol version offered (0 = the library's highest). The minimum is always TLS 1.2.
    void SetMaxVersionTls12(bool on);

    // True when OpenSSL can create a client context at all.
    static bool Available();

private:
    ssl_ctx_st* FCtx = nullptr;
    bool FClientCert = false;
    std::string FLoadError;
    std::function<std::string()> FKeyPassword;
    std::string FStaticPassword;
    friend int TlsPasswordCallback(char*, int, int, void*);
};

class TNetSocket
{
public:
    TNetSocket();
    ~TNetSocket();
    TNetSocket(const TNetSocket&) = delete;
    TNetSocket& operator=(const TNetSocket&) = delete;

    // Connects to host:port. family: 0 any, 4 IPv4 only, 6 IPv6 only.
    void Connect(const std::string& host, int port, int family, int timeoutMs);
    // Opens a listening socket on the local address of `control` (an ephemeral port), for active mode.
    void ListenLike(const TNetSocket& control);
    // Waits for one incoming connection on the listening socket and continues with it.
    void Accept(int timeoutMs);
    // TLS handshake as client. reuseFrom: a connected TLS socket whose session is offered for resumption.
    void StartTls(TTlsContext& ctx, const std::string& serverName, const TNetSocket* reuseFrom,
                  int timeoutMs);

    // Up to count bytes; 0 when the peer closed the connection in order. Raises on time-out or error.
    size_t ReadSome(void* buffer, size_t count, int timeoutMs);
    // All bytes, each wait for progress limited by timeoutMs.
    void WriteAll(const void* buffer, size_t count, int timeoutMs);
    // Orderly TLS close_notify (errors ignored) and socket close.
    void Close();
    // Makes a waiting call of another thread end with nekClosed; the socket stays unusable afterwards.
    void Abort();

    bool IsOpen() const { return FFd >= 0; }
    // True when the peer has closed its side or the socket broke (nothing buffered is lost).
    bool PeerGone() const;
    bool IsTls() const { return FSsl != nullptr; }
    bool SessionReused() const;
    bool IsIPv6() const { return FFamily == 6; }
    std::string PeerAddress() const;
    std::string LocalAddress() const;
    int LocalPort() const;
    TPeerCertificate PeerCertificate() const;
    // TCP keep-alive probes while idle (seconds).
    void SetKeepAlive(bool on, int idleSec = 30, int intervalSec = 10);

private:
    void WaitFor(bool forWrite, int timeoutMs, const char* what);
    void CloseFd();

    int FFd = -1;
    int FFamily = 0;
    ssl_st* FSsl = nullptr;
    std::atomic<bool> FAborted{false};
    int FWakeRead = -1, FWakeWrite = -1; // self-pipe that Abort() writes to
};
