#include "archive/SmtpClient.h"

#include <algorithm>
#include <cerrno>
#include <sstream>

#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <unistd.h>

#include "archive/MailMessage.h"
#include "foundation/StringUtils.h"
#include "rtl/Gettext.h"

const char* const SmtpAuthFailedText = "Authentication Failed";

using utf8::Trim;

namespace {

std::string UpperAscii(std::string s)
{
    for (char& c : s)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return s;
}

std::string CleanEnvelopeAddress(const std::string& address)
{
    std::string out;
    for (char c : address)
        if (static_cast<unsigned char>(c) > 0x20 && c != '<' && c != '>' && c != 0x7F)
            out += c;
    return out;
}

} // namespace

std::string SaslCramResponse(const std::string& user, const std::string& password,
                             const std::string& challenge, bool sha1)
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int len = 0;
    HMAC(sha1 ? EVP_sha1() : EVP_md5(), password.data(), static_cast<int>(password.size()),
         reinterpret_cast<const unsigned char*>(challenge.data()), challenge.size(), digest, &len);
    static const char* digits = "0123456789abcdef";
    std::string hex;
    for (unsigned i = 0; i < len; ++i) {
        hex += digits[digest[i] >> 4];
        hex += digits[digest[i] & 0xF];
    }
    return user + " " + hex;
}

TSmtpClient::TSmtpClient(TLineConnection& conn, TTlsContext* tls, TSmtpSettings settings)
    : FConn(conn), FTls(tls), FSettings(std::move(settings))
{
}

void TSmtpClient::RaiseReply(const TLineReply& reply)
{
    std::string text = reply.Code != 0 ? reply.CodeAndText() : std::string("No reply");
    for (size_t i = 1; i < reply.Lines.size() && i < 4; ++i)
        text += " " + reply.Lines[i];
    throw ENetError(nekReply, text, reply.Code);
}

const TLineReply& TSmtpClient::Expect(const std::string& line, std::initializer_list<int> codes,
                                      const std::string& logText)
{
    const TLineReply& reply = FConn.Command(line, logText);
    for (int c : codes)
        if (reply.Code == c)
            return reply;
    RaiseReply(reply);
}

bool TSmtpClient::Offers(const std::string& keyword) const
{
    return FCaps.count(keyword) != 0;
}

void TSmtpClient::Ehlo()
{
    FCaps.clear();
    FAuthMechanisms.clear();
    const std::string helo = CleanEnvelopeAddress(FSettings.HeloName).empty()
                                 ? std::string("localhost")
                                 : CleanEnvelopeAddress(FSettings.HeloName);
    const TLineReply& reply = FConn.Command("EHLO " + helo);
    if (reply.Code != 250) {
        Expect("HELO " + helo, {250});
        return;
    }
    for (size_t i = 1; i < reply.Lines.size(); ++i) {
        std::string line = UpperAscii(std::string(Trim(reply.Lines[i])));
        // "AUTH LOGIN PLAIN" and the old form "AUTH=LOGIN PLAIN"
        std::istringstream words(line);
        std::string keyword;
        words >> keyword;
        std::string rest;
        if (keyword.rfind("AUTH=", 0) == 0) {
            rest = keyword.substr(5);
            keyword = "AUTH";
        }
        FCaps.insert(keyword);
        if (keyword == "AUTH") {
            if (!rest.empty())
                FAuthMechanisms.insert(rest);
            std::string mech;
            while (words >> mech)
                FAuthMechanisms.insert(mech);
        }
    }
}

void TSmtpClient::Connect()
{
    FConn.ReadTimeout = FSettings.ReadTimeout;
    FConn.Connect(FSettings.Host, FSettings.Port, 0, FSettings.ConnectTimeout);
    const bool wantsTls =
        FSettings.UseTLS == stExplicit || FSettings.UseTLS == stRequired || FSettings.UseTLS == stImplicit;
    if (wantsTls && FTls == nullptr)
        throw ENetError(nekTls, _("Error creating SSL session."));
    if (FSettings.UseTLS == stImplicit)
        FConn.StartTls(*FTls, FSettings.Host, FSettings.ConnectTimeout);
    const TLineReply& greeting = FConn.ReadReply();
    if (greeting.Code != 220)
        RaiseReply(greeting);
    Ehlo();
    if (FSettings.UseTLS == stExplicit || FSettings.UseTLS == stRequired) {
        if (Offers("STARTTLS")) {
            Expect("STARTTLS", {220});
            FConn.StartTls(*FTls, FSettings.Host, FSettings.ConnectTimeout);
            Ehlo();
        } else if (FSettings.UseTLS == stRequired) {
            throw ENetError(nekTls, _("The SMTP server does not offer STARTTLS."));
        }
    }
}

void TSmtpClient::Authenticate()
{
    const std::string& user = FSettings.UserId;
    const std::string& pwd = FSettings.Password;
    if (user.empty() || pwd.empty())
        return;
    // Whatever the server echoes, the password never reaches the log.
    FConn.Log().AddSecret(pwd);
    FConn.Log().AddSecret(Base64Encode(pwd));
    FConn.Log().AddSecret(Base64Encode(std::string(1, '\0') + user + '\0' + pwd));

    auto fail = [](const TLineReply& reply) -> void {
        throw ENetError(nekReply, SmtpAuthFailedText, reply.Code);
    };
    if (FAuthMechanisms.count("LOGIN") != 0) {
        if (FConn.Command("AUTH LOGIN").Code != 334)
            fail(FConn.LastReply());
        if (FConn.Command(Base64Encode(user)).Code != 334)
            fail(FConn.LastReply());
        if (FConn.Command(Base64Encode(pwd), "***").Code != 235)
            fail(FConn.LastReply());
    } else if (FAuthMechanisms.count("PLAIN") != 0) {
        const std::string token = Base64Encode(std::string(1, '\0') + user + '\0' + pwd);
        const TLineReply* reply = &FConn.Command("AUTH PLAIN " + token, "AUTH PLAIN ***");
        if (reply->Code == 334)
            reply = &FConn.Command(token, "***");
        if (reply->Code != 235)
            fail(*reply);
    } else if (FAuthMechanisms.count("CRAM-MD5") != 0 || FAuthMechanisms.count("CRAM-SHA1") != 0) {
        const bool sha1 = FAuthMechanisms.count("CRAM-MD5") == 0;
        const TLineReply& reply = FConn.Command(sha1 ? "AUTH CRAM-SHA1" : "AUTH CRAM-MD5");
        std::string challenge;
        if (reply.Code != 334 || !Base64Decode(reply.Text(), challenge)) {
            if (reply.Code == 334)
                FConn.Command("*"); // cancels the exchange
            fail(FConn.LastReply());
        }
        if (FConn.Command(Base64Encode(SaslCramResponse(user, pwd, challenge, sha1)), "***").Code != 235)
            fail(FConn.LastReply());
    } else {
        throw ENetError(nekReply, SmtpAuthFailedText, 0);
    }
}

void TSmtpClient::SendMessage(const std::string& from, const std::vector<std::string>& recipients, int fd)
{
    std::string mailFrom = "MAIL FROM:<" + CleanEnvelopeAddress(from) + ">";
    if (Offers("8BITMIME"))
        mailFrom += " BODY=8BITMIME";
    Expect(mailFrom, {250});
    int accepted = 0;
    for (const auto& r : recipients) {
        const std::string address = CleanEnvelopeAddress(r);
        if (address.empty())
            continue;
        const TLineReply& reply = FConn.Command("RCPT TO:<" + address + ">");
        if (reply.Code == 250 || reply.Code == 251) {
            ++accepted;
            continue;
        }
        const TLineReply refused = reply;
        if (!OnFailedRecipient || !OnFailedRecipient(address, refused))
            RaiseReply(refused);
    }
    if (accepted == 0)
        RaiseReply(FConn.LastReply());
    Expect("DATA", {354});
    SendData(fd);
    const TLineReply& reply = FConn.ReadReply();
    if (reply.Code != 250)
        RaiseReply(reply);
}

void TSmtpClient::SendData(int fd)
{
    // The message bytes already have CR LF line ends; a line that begins with "." gets a second one.
    // Only the headers go to the protocol log, the rest as a byte count.
    TProtocolLog& log = FConn.Log();
    bool atLineStart = true;
    bool inHeaders = true;
    std::string headerLine;
    int64_t total = 0;
    char in[65536];
    std::string out;
    for (;;) {
        ssize_t n = ::read(fd, in, sizeof in);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw ENetError(nekSocket, _("Error reading the mail message"), errno);
        }
        if (n == 0)
            break;
        out.clear();
        for (ssize_t i = 0; i < n; ++i) {
            const char c = in[i];
            if (atLineStart && c == '.')
                out += '.';
            out += c;
            atLineStart = c == '\n';
            if (inHeaders) {
                if (c == '\n') {
                    if (!headerLine.empty() && headerLine.back() == '\r')
                        headerLine.pop_back();
                    if (headerLine.empty())
                        inHeaders = false;
                    else
                        log.Sent(headerLine);
                    headerLine.clear();
                } else if (headerLine.size() < 1000) {
                    headerLine += c;
                }
            }
        }
        FConn.Socket().WriteAll(out.data(), out.size(), FSettings.ReadTimeout);
        total += n;
        if (OnWork)
            OnWork(total);
    }
    const std::string end = atLineStart ? ".\r\n" : "\r\n.\r\n";
    FConn.Socket().WriteAll(end.data(), end.size(), FSettings.ReadTimeout);
    log.Sent("<" + std::to_string(total) + " bytes of message data>");
    log.Sent(".");
}

void TSmtpClient::Disconnect()
{
    const int saved = FConn.ReadTimeout;
    try {
        if (FConn.Connected()) {
            // A server that does not say goodbye in time is simply left.
            FConn.ReadTimeout = std::min(saved, 5000);
            FConn.Command("QUIT");
        }
    } catch (...) {
    }
    FConn.ReadTimeout = saved;
    FConn.Disconnect();
}
