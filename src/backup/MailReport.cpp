#include "backup/MailReport.h"

#include <filesystem>

#include "archive/ExtFileToolsZipWrite.h"
#include "backup/LogSettings.h"
#include "foundation/PathUtils.h"
#include "foundation/PlaceHolders.h"
#include "foundation/QvUtilsTexts.h"
#include "foundation/StringUtils.h"
#include "foundation/WinApiUtils.h"
#include "foundation/XlFileUtils.h"
#include "rtl/Gettext.h"
#include "rtl/SysUtils.h"

namespace {

std::string ReplaceAllIgnoreCase(std::string text, const std::string& from, const std::string& to)
{
    return ReplaceTextIgnoreCase(text, from, to);
}

std::string Trim(const std::string& text)
{
    const size_t a = text.find_first_not_of(" \t");
    if (a == std::string::npos)
        return std::string();
    return text.substr(a, text.find_last_not_of(" \t") - a + 1);
}

std::string FolderOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// The path with its extension replaced by ext.
std::string WithExtension(const std::string& path, const std::string& ext)
{
    const size_t slash = path.rfind('/');
    const size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash) || dot == slash + 1)
        return path + ext;
    return path.substr(0, dot) + ext;
}

// The task file's name without folder and extension.
std::string TaskNameOf(const std::string& task)
{
    std::string name = task.substr(task.rfind('/') == std::string::npos ? 0 : task.rfind('/') + 1);
    const size_t dot = name.rfind('.');
    return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

} // namespace

void TMailReport::InitMail(TMailMode mm, TDateTime dt, const std::string& action, const std::string& text)
{
    if (mm == mmNone)
        return;
    Mailer.ClearBody();
    Mailer.AddToBody(GetProgNameVersion(4) + (action.empty() ? std::string() : " - " + action));
    Mailer.AddToBody("  ==> " + _("Start: ") + DateTimeToStr(dt) + " - " + text);
}

void TMailReport::AddToMail(TMailMode mm, const std::string& text)
{
    if (mm != mmNone)
        Mailer.AddToBody(text);
}

std::string TMailReport::ExpandSubject(const std::string& subject, const std::string& task, TDateTime aTime,
                                       TDateTime eTime, const std::string& status)
{
    std::string s = subject;
    s = ReplaceAllIgnoreCase(s, "%taskname%", TaskNameOf(task));
    s = ReplaceAllIgnoreCase(s, "%username%", GetCurrentUserName());
    s = ReplaceAllIgnoreCase(s, "%computername%", GetLocalComputerName());
    s = ReplaceAllIgnoreCase(s, "%start%", FormatDateTime("yyyy-mm-dd hh:nn", aTime));
    s = ReplaceAllIgnoreCase(s, "%end%", FormatDateTime("yyyy-mm-dd hh:nn", eTime));
    s = ReplaceAllIgnoreCase(s, "%duration%", FormatDateTime("h:nn:ss", eTime - aTime));
    s = ReplaceAllIgnoreCase(s, "%status%", status);
    s = ReplaceAllIgnoreCase(s, "%computer%", GetLocalComputerName());
    return s;
}

std::string TMailReport::ReportRecipients(const std::string& recipients, bool error)
{
    return ReplaceAllIgnoreCase(MailRecipients(recipients, error), "%username%", GetCurrentUserName());
}

bool TMailReport::SendMail(TMailMode mm, const TMailData& data, TDateTime aTime, TDateTime eTime,
                           const std::string& task, const std::string& subj, const std::string& text,
                           const std::string& status, bool error, TInteraction iaMode)
{
    FLog.CloseTempLog();
    if (!(mm == mmAlways || (mm == mmError && error)))
        return false;
    const bool attachLog = data.LogMode == mmAlways || (data.LogMode == mmError && error);
    std::string line = SafeFormat(
        _("Preparing mail delivery (Mode: %u - SMTP: %s:%u - Security: %s)"),
        {static_cast<int>(mm) + (error ? 4 : 0), data.SMTP, data.Port, SecTransferText(data.SecureMode)});
    if (attachLog) {
        line += " " + _("with attached log");
        if (data.ZipMode != zmNo)
            line += " (" + _("zip") + ")";
    }
    FLog.WriteToLog(lmVerbose, "  ==> " + line);
    Mailer.SetContinueOnFailedRecipient(true);
    const std::string recipients = ReportRecipients(data.Recipients, error);
    if (recipients.empty()) {
        FLog.WriteToLog("  *** " +
                        _("No recipients specified to receive a mail after backup without errors"));
        return false;
    }
    Mailer.Recipients().SetEMailAddresses(recipients);
    Mailer.CCList().Clear();
    Mailer.BCCList().Clear();
    Mailer.SetSubject(data.Subject.empty() ? "Vastrel: " + subj + DateTimeToStr(aTime)
                                           : ExpandSubject(data.Subject, task, aTime, eTime, status));
    if (!text.empty())
        Mailer.AddToBody(text);
    Mailer.SetHost(data.SMTP);
    Mailer.SetPort(data.Port);
    Mailer.SetUserId(data.Username);
    Mailer.SetPassword(data.Password);
    Mailer.SetSecureTransfer(data.SecureMode);
    Mailer.SetHeloName("Vastrel");
    Mailer.SetPriority(error ? mpHigh : mpNormal);
    Mailer.SetLogname(AddPathDelimiter(LogDir) + "QvSmtp.log");
    Mailer.SetWriteLogFile(WriteProtocol && !LogDir.empty());
    if (data.Sender.find('@') != std::string::npos) {
        Mailer.From().Name = "Vastrel";
        Mailer.From().Address = data.Sender;
    } else {
        Mailer.From().Name = data.Sender;
        Mailer.From().Address = data.ReplyTo;
    }
    Mailer.Attachments().Clear();
    std::string zipName;
    const std::string logCopy = FLog.TempLogName();
    if (attachLog && !logCopy.empty()) {
        if (data.ZipMode == zmNo) {
            Mailer.Attachments().AttachedFiles().Add(logCopy + "|text/plain; charset=utf-8");
        } else {
            zipName = WithExtension(logCopy, ".zip");
            try {
                const std::string password = data.ZipMode == zmEncrypt ? data.CryptKey : std::string();
                TZipWrite zip(zipName, FolderOf(logCopy), password, 0, 0);
                if (!TempDir.empty())
                    zip.SetTempDir(TempDir);
                zip.AddFile(logCopy, true);
                zip.WriteDirectory();
            } catch (const std::exception& e) {
                FLog.WriteToLog(
                    "  *** " + SafeFormat(_("Error creating zip compressed log file as mail attachment (%s)"),
                                          {e.what()}));
            }
            if (XlFileExists(zipName))
                Mailer.Attachments().AttachedFiles().Add(zipName + "|zip");
        }
    }
    size_t start = 0;
    while (start < data.Attachments.size()) {
        size_t comma = data.Attachments.find(',', start);
        if (comma == std::string::npos)
            comma = data.Attachments.size();
        const std::string file = Trim(data.Attachments.substr(start, comma - start));
        start = comma + 1;
        const std::string path = file.substr(0, file.find('|'));
        if (!path.empty() && XlFileExists(path))
            Mailer.Attachments().AttachedFiles().Add(file);
    }
    Mailer.ClearExtraHeaders();
    Mailer.AddExtraHeader("User-Agent", GetProgNameVersion(3));
    Mailer.AddExtraHeader("Sender", Mailer.From().Address);
    Mailer.AddExtraHeader("Reply-To", data.ReplyTo);
    bool ok = false;
    try {
        ok = Mailer.Send() && Mailer.ErrorList().empty();
    } catch (...) {
        ok = false;
    }
    if (ok) {
        FLog.WriteToLog("  ==> " + SafeFormat(_("Mail notifications were sent to: %s"), {recipients}));
    } else {
        const std::string failure =
            SafeFormat(_("Error during mail delivery (SMTP: %s:%u)"), {data.SMTP, data.Port});
        FLog.WriteToLog("  *** " + failure);
        for (const auto& e : Mailer.ErrorList())
            FLog.WriteToLog(lmVerbose,
                            "      - " + (e.ErrType == seFailedRecipient
                                              ? SafeFormat(_("Could not deliver mail to %s!"), {e.ErrMsg})
                                              : e.ErrMsg));
        if (iaMode == iaPrompt || iaMode == iaErrorPrompt)
            FInteraction.ErrorBox(failure, 0);
    }
    Mailer.SetWriteLogFile(false);
    if (!zipName.empty())
        XlDeleteExistingFile(zipName, false);
    return ok;
}
