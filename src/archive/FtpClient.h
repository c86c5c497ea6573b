#pragma once
// The FTP protocol client under TExtFtp: login (with FTP-level proxies), explicit and implicit TLS,
// features, directory commands, listings, stores and retrieves over passive or active data connections,
// and reading and setting modification times.
//
// Commands raise ENetError: nekReply when the server refuses (the reply stays in LastReply()),
// nekTimeout / nekSocket / nekClosed when the connection is lost (a reply 421, "service closing", counts
// as a closed connection and closes the socket). The caller decides about reconnecting.
//
// Data connections under TLS are protected (PROT P) and resume the control connection's TLS session, as
// servers that insist on session reuse require. The data connection's handshake starts after the
// server's preliminary reply to the transfer command.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "archive/CBFunctions.h"
#include "archive/FtpListing.h"
#include "platform/LineConnection.h"
#include "rtl/Streams.h"

enum TIdUseTLS
{
    utNoTLSSupport,
    utUseImplicitTLS,
    utUseRequireTLS,
    utUseExplicitTLS
};

enum TIdFtpProxyType
{
    fpcmNone,
    fpcmUserSite,
    fpcmSite,
    fpcmOpen,
    fpcmUserPass,
    fpcmTransparent,
    fpcmUserHostFireWallID
};

// Text encoding of names on the control connection (internally names are UTF-8).
enum TFtpEncoding
{
    feASCII,
    fe8Bit,
    feUtf8
};

struct TFtpClientProxy
{
    TIdFtpProxyType ProxyType = fpcmNone;
    std::string Host;
    int Port = 2121;
    std::string UserName;
    std::string Password;
};

class TFtpClient
{
public:
    TFtpClient();
    virtual ~TFtpClient();
    TFtpClient(const TFtpClient&) = delete;
    TFtpClient& operator=(const TFtpClient&) = delete;

    // --- settings
    std::string Host;
    int Port = 21;
    std::string Username;
    std::string Password;
    bool Passive = true;
    bool UseHOST = true;
    TIdUseTLS UseTLS = utNoTLSSupport;
    bool DataPortProtectionPrivate = false; // PROT P on data connections
    int IPVersion = 4;                      // 4 or 6
    bool UseExtensionDataPort = false;      // EPSV/EPRT instead of PASV/PORT
    int ConnectTimeout = 60000;             // ms
    int ReadTimeout = 60000;                // ms: a reply, and each wait on a data connection
    int ListenTimeout = 60000;              // ms: the server's connect in active mode
    TFtpClientProxy ProxySettings;
    bool NATKeepAlive = false;               // TCP keep-alive on the control connection while transferring
    std::shared_ptr<TTlsContext> TlsContext; // needed for every TLS mode
    // Called with the bytes moved so far during a data transfer.
    std::function<void(TWorkMode mode, int64_t count)> OnWork;

    // --- connection
    // Connects and logs in; raises ENetError. Fills the feature list.
    void Connect();
    // QUIT (briefly, errors ignored) and close.
    void Disconnect();
    // The control connection is open and was not closed by the server.
    bool ControlConnected() const { return FConn.Connected(); }
    // The control connection is protected by TLS.
    bool IsSecure() const { return FConn.Socket().IsTls(); }

    TLineConnection& Connection() { return FConn; }
    const TLineReply& LastReply() const { return FConn.LastReply(); }
    const std::string& Greeting() const { return FGreeting; }
    // Feature lines of FEAT, trimmed (empty when the server has no FEAT).
    const std::vector<std::string>& Capabilities() const { return FCapabilities; }
    bool FeatReceived() const { return FFeatReceived; }
    bool IsExtSupported(const std::string& feature) const;
    bool SupportsMLSD() const { return IsExtSupported("MLST") || IsExtSupported("MLSD"); }

    TFtpEncoding DefaultEncoding() const { return FEncoding; }
    void SetDefaultEncoding(TFtpEncoding e) { FEncoding = e; }
    // A name in the connection's encoding and back.
    std::string EncodeName(const std::string& utf8) const;
    std::string DecodeName(const std::string& wire) const;

    // --- commands
    // Sends a command and returns the reply; nekReply is raised when the code is not in okCodes
    // (an empty list accepts every code). name: a part of line already encoded; logText masks secrets.
    const TLineReply& SendCmd(const std::string& line, std::initializer_list<int> okCodes = {},
                              const std::string& logText = "");
    void ChangeDir(const std::string& dir);
    void ChangeDirUp();
    std::string RetrieveCurrentDir();
    void MakeDir(const std::string& dir);
    void RemoveDir(const std::string& dir);
    void Delete(const std::string& name);
    void Rename(const std::string& oldName, const std::string& newName);
    // Listing of the current directory; MLSD when the server offers it and mlsd is set, else LIST.
    std::vector<TFtpListItem> List(bool mlsd = true);
    // Store (or append) the stream from its current position to its end.
    void Put(TStream& source, const std::string& name, bool append);
    // Retrieve into the stream at its current position.
    void Get(const std::string& name, TStream& dest);
    // MDTM: false when the reply is not 213 or cannot be read.
    bool FileDate(const std::string& name, TDateTime& result);
    // Sets the modification time: MFMT when offered, else "MDTM time name". utc is a UTC time.
    void SetModTimeGMT(const std::string& name, TDateTime utc);
    // The same for a local time.
    void SetModTime(const std::string& name, TDateTime local);

protected:
    // Runs right after the login, before the transfer type is set.
    virtual void DoAfterLogin() {}

    TLineConnection FConn;

private:
    void Login();
    void ProxyLogin();
    void SendUserPass(const std::string& user, const std::string& pass, bool acctAfter = false,
                      const std::string& acct = "");
    void ReadFeatures();
    // Opens the data connection for cmd, runs transfer on it and reads the final reply.
    void DataCommand(const std::string& cmd, const std::function<void(TNetSocket&)>& transfer);
    void CheckClosing(const TLineReply& reply);

    std::string FGreeting;
    std::vector<std::string> FCapabilities;
    bool FFeatReceived = false;
    TFtpEncoding FEncoding = fe8Bit;
};

// Lower-case hexadecimal-free helper: true when text starts with prefix, ignoring ASCII case.
bool StartsTextIgnoreCase(const std::string& text, const std::string& prefix);
