#include "backup/BuMailDlg.h"

#include "archive/PasswordText.h"
#include "archive/mMailer10.h"
#include "foundation/PathUtils.h"
#include "foundation/StringUtils.h"
#include "rtl/DateTime.h"
#include "rtl/Gettext.h"

using utf8::Trim;

namespace {

const std::string AttachmentKey = "Attachment";
constexpr int AttachmentKeyCount = 10;
constexpr int StoredPasswordLength = 64;

std::string ProgramKey()
{
    return UnscrambleKeyString(ProgramKeyString);
}

std::string DecodeStored(const std::string& text)
{
    std::string result;
    try {
        DecodePassword(ProgramKey(), text, false, result);
    } catch (...) {
        result.clear();
    }
    return result;
}

std::string EncodeStored(const std::string& pwd)
{
    std::string result;
    EncodePassword(ProgramKey(), pwd, StoredPasswordLength, result, false);
    return result;
}

int ReadRange(const TMemIniFile& ini, const std::string& section, const char* key, int max)
{
    const int v = ini.ReadInteger(section, key, 0);
    return v >= 0 && v <= max ? v : 0;
}

} // namespace

void InitMailData(TMailData& MailData)
{
    MailData = TMailData();
}

void ReadMailData(const TMemIniFile& IniFile, const std::string& Section, TMailData& MailData)
{
    InitMailData(MailData);
    MailData.SMTP = IniFile.ReadString(Section, "SMTP", "");
    MailData.Port = IniFile.ReadInteger(Section, "Port", 25);
    MailData.Username = IniFile.ReadString(Section, "Username", "");
    MailData.Password = DecodeStored(IniFile.ReadString(Section, "Password", ""));
    MailData.Sender = IniFile.ReadString(Section, "Sender", "");
    MailData.ReplyTo = IniFile.ReadString(Section, "ReplyTo", "");
    MailData.Recipients = IniFile.ReadString(Section, "Recipients", "");
    MailData.Subject = IniFile.ReadString(Section, "Subject", "");
    MailData.SecureMode = static_cast<TSecTransfer>(ReadRange(IniFile, Section, "UseTLS", stImplicit));
    MailData.LogMode = static_cast<TMailMode>(ReadRange(IniFile, Section, "AttachLog", mmError));
    if (MailData.LogMode == mmNone && IniFile.ReadBool(Section, "SendLog", false))
        MailData.LogMode = mmAlways;
    MailData.ZipMode = static_cast<TZipMode>(ReadRange(IniFile, Section, "AsZip", zmEncrypt));
    MailData.CryptKey = DecodeStored(IniFile.ReadString(Section, "Encrypt", ""));
    if (MailData.ZipMode == zmEncrypt && MailData.CryptKey.empty())
        MailData.ZipMode = zmYes;
    std::string attachments;
    for (int i = 0; i < AttachmentKeyCount; ++i) {
        std::string item = IniFile.ReadString(Section, AttachmentKey + std::to_string(i), "");
        if (item.empty())
            continue;
        // The list is comma text: an item with a blank or a comma that is not quoted yet gets quotes.
        if (item.front() != '"')
            item = QuoteIfContains(item, " ,");
        if (!attachments.empty())
            attachments += ",";
        attachments += item;
    }
    MailData.Attachments = attachments;
}

void WriteMailData(TMemIniFile& IniFile, const std::string& Section, const TMailData& MailData)
{
    IniFile.EraseSection(Section);
    IniFile.WriteString(Section, "SMTP", MailData.SMTP);
    IniFile.WriteInteger(Section, "Port", MailData.Port);
    IniFile.WriteString(Section, "Username", MailData.Username);
    IniFile.WriteString(Section, "Password", EncodeStored(MailData.Password));
    IniFile.WriteString(Section, "Sender", MailData.Sender);
    IniFile.WriteString(Section, "ReplyTo", MailData.ReplyTo);
    IniFile.WriteString(Section, "Recipients", MailData.Recipients);
    IniFile.WriteString(Section, "Subject", MailData.Subject);
    IniFile.WriteInteger(Section, "UseTLS", MailData.SecureMode);
    IniFile.WriteInteger(Section, "AttachLog", MailData.LogMode);
    IniFile.WriteInteger(Section, "AsZip", MailData.ZipMode);
    IniFile.WriteString(Section, "Encrypt", EncodeStored(MailData.CryptKey));
    IniFile.DeleteKey(Section, "SendLog");
    // A comma inside a quoted item belongs to the item, so file names with commas survive.
    int n = 0;
    for (const auto& piece : SplitOutsideQuotes(MailData.Attachments)) {
        const std::string item(Trim(piece));
        if (item.empty())
            continue;
        IniFile.WriteString(Section, AttachmentKey + std::to_string(n++), item);
    }
}

std::string SecTransferText(TSecTransfer Mode)
{
    switch (Mode) {
    case stExplicit:
        return "STARTTLS";
    case stRequired:
        return "TLS";
    case stImplicit:
        return "SSL";
    default:
        return _("No");
    }
}

std::vector<TMailRecipient> ParseRecipients(const std::string& Recipients)
{
    std::vector<TMailRecipient> list;
    for (const auto& piece : SplitOutsideQuotes(Recipients)) {
        std::string item(Trim(piece));
        TMailRecipient r;
        if (!item.empty() && (item.front() == '#' || item.front() == '*')) {
            r.State = item.front() == '#' ? rsOnError : rsOff;
            item = std::string(Trim(item.substr(1)));
        }
        if (item.empty())
            continue;
        r.Address = item;
        list.push_back(r);
    }
    return list;
}

std::string RecipientsText(const std::vector<TMailRecipient>& Recipients)
{
    std::string text;
    for (const auto& r : Recipients) {
        if (r.Address.empty())
            continue;
        if (!text.empty())
            text += ",";
        if (r.State == rsOnError)
            text += "#";
        else if (r.State == rsOff)
            text += "*";
        text += r.Address;
    }
    return text;
}

std::string MailRecipients(const std::string& Recipients, bool Error)
{
    std::string text;
    for (const auto& r : ParseRecipients(Recipients)) {
        if (r.State == rsOff || (r.State == rsOnError && !Error))
            continue;
        if (!text.empty())
            text += ",";
        text += r.Address;
    }
    return text;
}

std::string AllMailRecipients(const std::string& Recipients)
{
    std::string text;
    for (const auto& r : ParseRecipients(Recipients)) {
        if (!text.empty())
            text += ",";
        text += r.Address;
    }
    return text;
}

TMailDataCheck CheckMailData(const TMailData& MailData)
{
    if (Trim(MailData.SMTP).empty())
        return mcNoServer;
    if (Trim(MailData.Username).empty())
        return mcNoUser;
    if (ParseRecipients(MailData.Recipients).empty())
        return mcNoRecipient;
    if (MailData.Sender.find('@') == std::string::npos && MailData.ReplyTo.find('@') == std::string::npos)
        return mcNoReplyAddress;
    return mcOk;
}

std::string MailDataCheckText(TMailDataCheck Check)
{
    switch (Check) {
    case mcNoServer:
        return _("Please specify an SMTP server!");
    case mcNoUser:
        return _("Please specify a user name!");
    case mcNoRecipient:
        return _("Please specify at least one recipient!");
    case mcNoReplyAddress:
        return _("Please specify a valid reply address!");
    default:
        return "";
    }
}

TMailTestResult SendTestMail(TmMailer& Mailer, const TMailData& MailData, const TMailTestInfo& Info)
{
    TMailTestResult result;
    Mailer.ClearBody();
    Mailer.AddToBody(_("This is a test mail from ") + Info.ProgramName + " (" + Info.VersionText + ")");
    Mailer.SetSubject("Vastrel: " + _("Mail delivery test on ") + DateTimeToStr(Now()));
    Mailer.Recipients().SetEMailAddresses(AllMailRecipients(MailData.Recipients));
    Mailer.CCList().Clear();
    Mailer.BCCList().Clear();
    Mailer.SetHost(MailData.SMTP);
    Mailer.SetPort(MailData.Port);
    Mailer.SetUserId(MailData.Username);
    Mailer.SetPassword(MailData.Password);
    Mailer.SetSecureTransfer(MailData.SecureMode);
    Mailer.SetHeloName("Vastrel");
    result.LogFile = AddPathDelimiter(Info.LogDir) + "QvSmtp.log";
    if (Info.LogDir.empty())
        result.LogFile = "QvSmtp.log";
    Mailer.SetLogname(result.LogFile);
    Mailer.SetWriteLogFile(true);

    // A sender without "@" is the display name, and the reply address is the sender's address.
    if (MailData.Sender.find('@') == std::string::npos) {
        Mailer.From().Name = MailData.Sender;
        Mailer.From().Address = MailData.ReplyTo;
    } else {
        Mailer.From().Name = "Vastrel";
        Mailer.From().Address = MailData.Sender;
    }
    Mailer.Attachments().Clear();
    Mailer.ClearExtraHeaders();
    Mailer.AddExtraHeader("User-Agent", Info.ProgNameVersion);
    Mailer.AddExtraHeader("Sender", Mailer.From().Address);
    Mailer.AddExtraHeader("Reply-To", MailData.ReplyTo);

    bool ok = false;
    try {
        ok = Mailer.Send() && Mailer.ErrorList().empty();
    } catch (...) {
        ok = false;
    }
    Mailer.SetWriteLogFile(false);

    result.Success = ok;
    if (!ok) {
        std::string text =
            SafeFormat(_("Error during mail delivery (SMTP: %s:%u)"), {MailData.SMTP, MailData.Port});
        for (const auto& e : Mailer.ErrorList()) {
            text += "\r\n - ";
            if (e.ErrType == seFailedRecipient)
                text += SafeFormat(_("Could not deliver mail to %s!"), {e.ErrMsg});
            else
                text += e.ErrMsg;
        }
        result.Text = text;
    } else {
        std::string text =
            SafeFormat(_("Mail notifications were sent to: %s"), {Mailer.Recipients().EMailAddresses()});
        for (size_t p = text.find(": "); p != std::string::npos; p = text.find(": ", p + 3))
            text.replace(p, 2, ":\r\n");
        result.Text = text;
    }
    return result;
}
