#pragma once
// TmMailer: the program's mail sender. Callers fill its properties (server, account, sender, recipient
// lists, subject, body, attachments, extra headers), switch the protocol log on, call Send and read
// ErrorList when it returns false. Send never raises: every problem ends up in ErrorList with its kind.
//
// TLS uses the client certificate files when they exist in the given folder and works without them.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "archive/CBFunctions.h"
#include "archive/MailMessage.h"
#include "archive/SmtpClient.h"
#include "rtl/StringList.h"

enum TSendErrorType : int
{
    seUnknown,
    seSmtp,
    seFailedRecipient,
    seNoSecure
};

struct TSendError
{
    TSendErrorType ErrType = seUnknown;
    std::string ErrMsg;
};
using TSendErrors = std::vector<TSendError>;

class TmMailer;
using TMailNotifyEvent = std::function<void(TmMailer& sender)>;
using TMailWorkEvent = std::function<void(TmMailer& sender, TWorkMode workMode, int64_t count)>;
using TMailWorkEndEvent = std::function<void(TmMailer& sender, TWorkMode workMode)>;
// Supplies the key-file password.
using TGetPassword = std::function<void(std::string& APassword)>;

// The attachments of a mail: file paths, each optionally followed by "|" and a MIME type or a subtype
// of "application".
class TAttachement
{
public:
    const TStringList& AttachedFiles() const { return fAttachedFiles; }
    TStringList& AttachedFiles() { return fAttachedFiles; }
    void SetAttachedFiles(const TStringList& files) { fAttachedFiles = files; }
    void Clear() { fAttachedFiles.Clear(); }

private:
    TStringList fAttachedFiles;
};

extern const char* const MailerNoSecureText; // "Error creating SSL session."
extern const char* const MailerUnknownErrorText;

class TmMailer
{
public:
    // No TLS client files.
    TmMailer();
    // Path: folder of the client certificate files; Root, Cert, Key: their names; Pwd: the key's password.
    TmMailer(const std::string& Path, const std::string& Root, const std::string& Cert,
             const std::string& Key, const std::string& Pwd);
    ~TmMailer();
    TmMailer(const TmMailer&) = delete;
    TmMailer& operator=(const TmMailer&) = delete;

    std::string About() const;
    TStringList& Body() { return fBody; }
    void SetBody(const TStringList& body) { fBody = body; }
    TStringList& HTMLBody() { return fHTMLBody; }
    void SetHTMLBody(const TStringList& body) { fHTMLBody = body; }
    TAttachement& Attachments() { return fAttachments; }
    const std::string& Host() const { return fHost; }
    void SetHost(const std::string& host) { fHost = host; }
    int Port() const { return fPort; }
    void SetPort(int port) { fPort = port; }
    const std::string& UserId() const { return fUserId; }
    void SetUserId(const std::string& user) { fUserId = user; }
    const std::string& Password() const { return fPassword; }
    void SetPassword(const std::string& pwd) { fPassword = pwd; }
    const std::string& HeloName() const { return fHeloName; }
    void SetHeloName(const std::string& name) { fHeloName = name; }
    TMessagePriority Priority() const { return fPriority; }
    void SetPriority(TMessagePriority priority) { fPriority = priority; }
    TEmailAddressItem& From() { return fFrom; }
    TEmailAddressList& Recipients() { return fRecipients; }
    TEmailAddressList& CCList() { return fCC; }
    TEmailAddressList& BCCList() { return fBCC; }
    const std::string& Subject() const { return fSubject; }
    void SetSubject(const std::string& subject) { fSubject = subject; }
    TContentType ContentType() const { return fContentType; }
    void SetContentType(TContentType type) { fContentType = type; }
    // 1 explicit TLS, 2 required TLS, 3 implicit TLS, any other value no TLS.
    void SetSecureTransfer(TSecTransfer mode);
    bool ContinueOnFailedRecipient() const { return fContinueOnFailedRecipient; }
    void SetContinueOnFailedRecipient(bool on) { fContinueOnFailedRecipient = on; }
    const TSendErrors& ErrorList() const { return fErrorList; }
    std::string Logname() const;
    void SetLogname(const std::string& fileName);
    void SetWriteLogFile(bool on);
    // TLS can be used.
    bool TLSAvail() const { return fTLSAvail; }

    TMailNotifyEvent OnConnected, OnDisconnected;
    TMailWorkEvent OnSending, OnBeginSend;
    TMailWorkEndEvent OnEndSend;
    TGetPassword OnSSLPassword;

    // Connect and read time-outs in milliseconds (30000 each).
    int ConnectTimeout = 30000;
    int ReadTimeout = 30000;

    void ClearBody() { fBody.Clear(); }
    void AddToBody(const std::string& AText) { fBody.Add(AText); }
    void ClearExtraHeaders() { fExtraHeaders.clear(); }
    // Sets the header fId to fContents, replacing a header of that name.
    void AddExtraHeader(const std::string& fId, const std::string& fContents);
    // Builds the message and saves it as a MIME message file; false on any failure.
    bool SaveToFile(const std::string& AFilename);
    // Builds and sends the message; true when no error was recorded.
    bool Send();

private:
    TMailContent BuildMessage() const;
    void AddError(TSendErrorType type, const std::string& msg) { fErrorList.push_back({type, msg}); }
    std::string TempFolder() const;

    std::string fHost;
    int fPort = 25;
    std::string fUserId;
    TEmailAddressItem fFrom;
    TEmailAddressList fRecipients, fCC, fBCC;
    TStringList fBody, fHTMLBody;
    std::string fSubject;
    std::vector<std::pair<std::string, std::string>> fExtraHeaders;
    std::unique_ptr<TLineConnection> fSMTP;
    std::unique_ptr<TTlsContext> fTls;
    std::string fTlsError; // why TLS cannot be used
    std::string fCertPwd;
    std::string fPassword;
    std::string fHeloName = "Test";
    bool fTLSAvail = false;
    TContentType fContentType = ctAscii;
    TMessagePriority fPriority = mpNormal;
    TAttachement fAttachments;
    TSecTransfer fUseTLS = stNone;
    bool fContinueOnFailedRecipient = false;
    TSendErrors fErrorList;
};
