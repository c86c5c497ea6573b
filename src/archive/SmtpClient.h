#pragma once
// The SMTP dialogue of the mail sender on the shared line-protocol connection: greeting, EHLO (HELO when
// the server does not know it), STARTTLS when asked for or required, implicit TLS, SASL authentication
// (LOGIN, PLAIN, CRAM-MD5, CRAM-SHA1, the first one the server offers), the envelope and the message data
// with dot-stuffing, QUIT.
//
// Failures raise ENetError: connection, time-out and TLS failures with their kind, refusals of the server
// as nekReply with the reply's code and "code text" as message. Credentials never reach the protocol log.

#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "platform/LineConnection.h"

// How mail uses TLS.
enum TSecTransfer : int
{
    stNone,
    stExplicit, // STARTTLS when the server offers it
    stRequired, // STARTTLS, failing when the server does not offer it
    stImplicit  // TLS from the start
};

// The text an authentication failure raises.
extern const char* const SmtpAuthFailedText;

// "user hex-digest" of CRAM-MD5 (sha1 false) or CRAM-SHA1 (sha1 true) for a decoded challenge.
std::string SaslCramResponse(const std::string& user, const std::string& password,
                             const std::string& challenge, bool sha1);

struct TSmtpSettings
{
    std::string Host;
    int Port = 25;
    std::string HeloName = "Test";
    std::string UserId;
    std::string Password;
    TSecTransfer UseTLS = stNone;
    int ConnectTimeout = 30000;
    int ReadTimeout = 30000;
};

class TSmtpClient
{
public:
    // conn and tls (nullptr: no TLS possible) stay owned by the caller.
    TSmtpClient(TLineConnection& conn, TTlsContext* tls, TSmtpSettings settings);

    // A refused recipient: true to go on with the others.
    std::function<bool(const std::string& address, const TLineReply& reply)> OnFailedRecipient;
    // Bytes of message data sent so far.
    std::function<void(int64_t count)> OnWork;

    // Connects, reads the greeting, says EHLO and negotiates TLS as the settings ask.
    void Connect();
    // Authenticates when user name and password are both given; raises ENetError with SmtpAuthFailedText.
    void Authenticate();
    // MAIL FROM, RCPT TO for every recipient, DATA with the message read from the file descriptor fd.
    void SendMessage(const std::string& from, const std::vector<std::string>& recipients, int fd);
    // QUIT when connected (errors ignored) and closes; never raises.
    void Disconnect();

    const std::set<std::string>& Capabilities() const { return FCaps; }

private:
    void Ehlo();
    const TLineReply& Expect(const std::string& line, std::initializer_list<int> codes,
                             const std::string& logText = "");
    [[noreturn]] void RaiseReply(const TLineReply& reply);
    bool Offers(const std::string& keyword) const;
    void SendData(int fd);

    TLineConnection& FConn;
    TTlsContext* FTls;
    TSmtpSettings FSettings;
    std::set<std::string> FCaps;           // upper-case capability keywords
    std::set<std::string> FAuthMechanisms; // upper-case
};
