#include "archive/mMailer10.h"

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

#include "foundation/PathUtils.h"
#include "foundation/StringUtils.h"
#include "platform/ErrorCodes.h"
#include "rtl/Gettext.h"
#include "rtl/Thread.h"

const char* const MailerNoSecureText = N_("Error creating SSL session.");
const char* const MailerUnknownErrorText =
    N_("Unknown or other error: Can not determine owner, other error, or the error can not be revealed.");

using utf8::SameText;

namespace {

bool FileExists(const std::string& name)
{
    struct stat st
    {
    };
    return !name.empty() && ::stat(name.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

} // namespace

TmMailer::TmMailer() : TmMailer("", "", "", "", "") {}

TmMailer::TmMailer(const std::string& Path, const std::string& Root, const std::string& Cert,
                   const std::string& Key, const std::string& Pwd)
    : fSMTP(std::make_unique<TLineConnection>()), fCertPwd(Pwd)
{
    fSMTP->Log().SetFileName(JoinPath(TempFolder(), "SmtpLog.txt"));
    fSMTP->Log().SetActive(false);

    // TLS works without client certificate files; they are used when all three are named and exist.
    TTlsClientFiles files;
    if (!Root.empty() && !Cert.empty() && !Key.empty()) {
        const std::string dir = Path.empty() ? std::string() : AddPathDelimiter(Path);
        if (FileExists(dir + Root) && FileExists(dir + Cert) && FileExists(dir + Key)) {
            files.RootFile = dir + Root;
            files.CertFile = dir + Cert;
            files.KeyFile = dir + Key;
            files.KeyPassword = Pwd;
        }
    }
    try {
        fTls = std::make_unique<TTlsContext>(files, [this]() {
            std::string pwd = fCertPwd;
            if (OnSSLPassword)
                OnSSLPassword(pwd);
            return pwd;
        });
        fTLSAvail = true;
    } catch (const std::exception& e) {
        fTlsError = e.what();
        fTls.reset();
        fTLSAvail = false;
    }
}

TmMailer::~TmMailer()
{
    if (fSMTP)
        fSMTP->Disconnect();
}

std::string TmMailer::About() const
{
    return "TmMailer 10.0";
}

void TmMailer::SetSecureTransfer(TSecTransfer mode)
{
    fUseTLS = mode == stExplicit || mode == stRequired || mode == stImplicit ? mode : stNone;
}

std::string TmMailer::Logname() const
{
    return fSMTP->Log().FileName();
}

void TmMailer::SetLogname(const std::string& fileName)
{
    fSMTP->Log().SetFileName(fileName);
}

void TmMailer::SetWriteLogFile(bool on)
{
    fSMTP->Log().SetActive(on);
}

void TmMailer::AddExtraHeader(const std::string& fId, const std::string& fContents)
{
    for (auto& header : fExtraHeaders) {
        if (SameText(header.first, fId)) {
            header.second = fContents;
            return;
        }
    }
    fExtraHeaders.emplace_back(fId, fContents);
}

std::string TmMailer::TempFolder() const
{
    const char* tmp = std::getenv("TMPDIR");
    return tmp != nullptr && *tmp != '\0' ? std::string(tmp) : std::string("/tmp");
}

TMailContent TmMailer::BuildMessage() const
{
    TMailContent c;
    c.From = fFrom;
    c.Recipients = fRecipients;
    c.CCList = fCC;
    c.BCCList = fBCC;
    c.Subject = fSubject;
    c.Priority = fPriority;
    c.ContentType = fContentType;
    c.Body = fBody.Items();
    c.HTMLBody = fHTMLBody.Items();
    c.Attachments = fAttachments.AttachedFiles().Items();
    c.ExtraHeaders = fExtraHeaders;
    return c;
}

bool TmMailer::SaveToFile(const std::string& AFilename)
{
    try {
        std::ofstream out(AFilename, std::ios::binary | std::ios::trunc);
        if (!out)
            return false;
        try {
            RenderMailMessage(BuildMessage(), out);
        } catch (...) {
            out.close();
            std::remove(AFilename.c_str());
            return false;
        }
        out.close();
        return static_cast<bool>(out);
    } catch (...) {
        return false;
    }
}

bool TmMailer::Send()
{
    fErrorList.clear();
    TProtocolLog& log = fSMTP->Log();
    if (fUseTLS != stNone && !fTLSAvail) {
        AddError(seNoSecure, _(MailerNoSecureText));
        if (log.Active()) {
            log.Error(MailerNoSecureText);
            if (!fTlsError.empty())
                log.Error(fTlsError);
        }
        return false;
    }

    // The message goes to a temporary file first: its size is the total of the progress events, and
    // attachments of any size are sent from there without being held in memory.
    std::string tmpName = JoinPath(TempFolder(), "SendMail-XXXXXX.tmp");
    int fd = -1;
    bool connected = false;
    TSmtpSettings settings;
    settings.Host = fHost;
    settings.Port = fPort;
    settings.HeloName = fHeloName;
    settings.UserId = fUserId;
    settings.Password = fPassword;
    settings.UseTLS = fUseTLS;
    settings.ConnectTimeout = ConnectTimeout;
    settings.ReadTimeout = ReadTimeout;
    TSmtpClient client(*fSMTP, fTls.get(), settings);
    client.OnFailedRecipient = [this](const std::string& address, const TLineReply& reply) {
        AddError(seFailedRecipient, address.empty() ? RemoveCtrlChars(reply.CodeAndText()) : address);
        return fContinueOnFailedRecipient;
    };
    client.OnWork = [this](int64_t count) {
        if (OnSending)
            OnSending(*this, wmWrite, count);
        else
            TThread::CheckSynchronize();
    };

    try {
        if (fTls && !fTls->LoadError().empty() && fUseTLS != stNone)
            log.Status(fTls->LoadError());
        const int tmpFd = ::mkstemps(tmpName.data(), 4);
        if (tmpFd < 0) {
            const uint32_t code = LastWinError();
            tmpName.clear();
            throw EInOutError(SafeFormat(_("Cannot create file \"%s\". %s"),
                                         {JoinPath(TempFolder(), "SendMail.tmp"), SystemErrorText(code)}),
                              static_cast<int>(code));
        }
        ::close(tmpFd);
        {
            std::ofstream out(tmpName, std::ios::binary | std::ios::trunc);
            RenderMailMessage(BuildMessage(), out);
        }
        fd = ::open(tmpName.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            const uint32_t code = LastWinError();
            throw EInOutError(SafeFormat(_("Cannot open file \"%s\". %s"), {tmpName, SystemErrorText(code)}),
                              static_cast<int>(code));
        }
        struct stat st
        {
        };
        const int64_t size = ::fstat(fd, &st) == 0 ? static_cast<int64_t>(st.st_size) : 0;

        std::vector<std::string> recipients;
        for (const auto* list : {&fRecipients, &fCC, &fBCC})
            for (const auto& item : list->Items())
                recipients.push_back(item.Address);

        log.Status(SafeFormat("Connecting to SMTP server: %s:%d", {fHost, fPort}));
        connected = true;
        client.Connect();
        if (OnConnected)
            OnConnected(*this);
        client.Authenticate();
        if (OnBeginSend)
            OnBeginSend(*this, wmWrite, size);
        client.SendMessage(fFrom.Address, recipients, fd);
        if (OnEndSend)
            OnEndSend(*this, wmWrite);
        client.Disconnect();
    } catch (const ENetError& e) {
        log.Error(e.Message());
        // A refusal leaves a working dialogue that can say goodbye; anything else is just closed.
        if (e.Kind() == nekReply)
            client.Disconnect();
        else
            fSMTP->Disconnect();
        AddError(seSmtp, e.Message());
    } catch (const Exception& e) {
        log.Error(e.Message());
        fSMTP->Disconnect();
        AddError(seUnknown, e.Message());
    } catch (...) {
        fSMTP->Disconnect();
        AddError(seUnknown, _(MailerUnknownErrorText));
    }
    if (connected && OnDisconnected)
        OnDisconnected(*this);
    if (fd >= 0)
        ::close(fd);
    if (!tmpName.empty())
        ::unlink(tmpName.c_str());
    return fErrorList.empty();
}
