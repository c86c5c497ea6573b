#pragma once
// The line-protocol connection that the FTP and SMTP clients share: commands out, numbered replies in
// (single and multi-line, "123-…" up to "123 …"), optional TLS, and a protocol log.
//
//   TLineConnection c;
//   c.Log().SetFileName(dir + "QvFtp.log"); c.Log().SetActive(true);
//   c.Connect("ftp.example.org", 21, 0, 60000);
//   TLineReply r = c.ReadReply();                 // greeting
//   c.Command("USER anna");
//   c.Command("PASS secret", "PASS ***");          // the log shows the second text
//
// A hostile or broken server cannot hold the connection: one reply must arrive completely within
// ReadTimeout, a reply line may be at most MaxLineLength bytes and a reply at most MaxReplyLines lines;
// anything else raises ENetError (nekTimeout or nekProtocol) and the caller decides whether to reconnect.
//
// Protocol log lines (UTF-8, LF, appended): "yyyy-mm-dd hh:nn:ss.zzz Kind: text" with Kind one of
//   Stat (status), Sent, Recv, Error. Texts registered with AddSecret (passwords) never reach the file:
//   they are replaced by "***" wherever they appear.

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/NetSocket.h"

class TProtocolLog
{
public:
    void SetFileName(const std::string& fileName);
    std::string FileName() const;
    void SetActive(bool active);
    bool Active() const;

    void Status(const std::string& text);
    void Sent(const std::string& text);
    void Received(const std::string& text);
    void Error(const std::string& text);
    // Any later line has every occurrence of secret replaced by "***" (empty secrets are ignored).
    void AddSecret(const std::string& secret);

private:
    void Write(const char* kind, const std::string& text);

    mutable std::mutex FLock;
    std::string FFileName;
    bool FActive = false;
    std::vector<std::string> FSecrets;
};

// One server reply.
struct TLineReply
{
    int Code = 0;                   // the three-digit code; 0 before the first reply
    std::vector<std::string> Lines; // text of each line without the code prefix, first line first

    // Text of the first line (may be empty).
    std::string Text() const { return Lines.empty() ? std::string() : Lines.front(); }
    // Code, a blank and the first line: "250 CWD command successful".
    std::string CodeAndText() const;
};

class TLineConnection
{
public:
    TLineConnection() = default;
    virtual ~TLineConnection() = default;
    TLineConnection(const TLineConnection&) = delete;
    TLineConnection& operator=(const TLineConnection&) = delete;

    // Connects the control connection (family 0 any, 4, 6). Raises ENetError.
    void Connect(const std::string& host, int port, int family, int timeoutMs);
    // TLS handshake on the open connection. Raises ENetError.
    void StartTls(TTlsContext& ctx, const std::string& serverName, int timeoutMs);
    // Closes the connection (TLS close_notify first); never raises.
    void Disconnect();
    // Open and not closed by the peer as far as can be seen without reading.
    bool Connected() const;

    // Sends line + CR LF; logText replaces the line in the protocol log when it is not empty.
    void SendLine(const std::string& line, const std::string& logText = "");
    // Reads one complete reply.
    const TLineReply& ReadReply();
    // SendLine, then ReadReply.
    const TLineReply& Command(const std::string& line, const std::string& logText = "");
    const TLineReply& LastReply() const { return FReply; }

    TNetSocket& Socket() { return FSocket; }
    const TNetSocket& Socket() const { return FSocket; }
    TProtocolLog& Log() { return FLog; }

    int ReadTimeout = 60000; // ms for one whole reply, and for each wait while sending
    size_t MaxLineLength = 65536;
    size_t MaxReplyLines = 4096;

private:
    // One line without its line end; deadline in steady-clock milliseconds.
    std::string ReadLine(long long deadlineMs);

    TNetSocket FSocket;
    TProtocolLog FLog;
    TLineReply FReply;
    std::string FBuffer; // bytes received beyond the last line
};
