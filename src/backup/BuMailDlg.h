#pragma once
// The mail-report settings of a task: the record, its [Mail] section in task files, the recipient list
// with its markers, and the test mail of the mail settings (the dialog itself lives in the GUI half).

#include <cstdint>
#include <string>
#include <vector>

#include "archive/SmtpClient.h"
#include "foundation/IniFileUtils.h"

class TmMailer;

// When a mail is sent after a task ("Never", "As specified in list of recipients", "Only on errors"), and
// when the task log is attached ("Never", "Always", "Only on errors").
enum TMailMode : int
{
    mmNone,
    mmAlways,
    mmError
};

// The attached log unchanged, packed into a zip file, or into an encrypted zip file.
enum TZipMode : int
{
    zmNo,
    zmYes,
    zmEncrypt
};

struct TMailData
{
    std::string SMTP;
    std::string Username;
    std::string Password;
    std::string Sender; // an address, or a display name when it holds no "@"
    std::string ReplyTo;
    std::string Recipients; // see TMailRecipient
    std::string Subject;
    std::string Attachments; // comma text of "path" or "path|type"
    std::string CryptKey;    // password of the encrypted zip of the log
    int32_t Port = 25;
    TSecTransfer SecureMode = stNone;
    TMailMode LogMode = mmNone;
    TZipMode ZipMode = zmNo;
};

void InitMailData(TMailData& MailData);
// Reads a section; missing keys give the defaults, undecodable passwords empty ones. Never raises.
void ReadMailData(const TMemIniFile& IniFile, const std::string& Section, TMailData& MailData);
// Erases the section and writes it anew (passwords as stored password texts).
void WriteMailData(TMemIniFile& IniFile, const std::string& Section, const TMailData& MailData);
// The word of the task log for a TLS mode: "STARTTLS", "TLS", "SSL" or "No".
std::string SecTransferText(TSecTransfer Mode);

// One entry of a recipient list ‹A,#B,*C›: no marker = every mail, "#" = only mails after errors,
// "*" = switched off (kept in the list).
enum TRecipientState : int
{
    rsAlways,
    rsOnError,
    rsOff
};

struct TMailRecipient
{
    std::string Address;
    TRecipientState State = rsAlways;
};

// The entries of a recipient list in order; empty entries are skipped.
std::vector<TMailRecipient> ParseRecipients(const std::string& Recipients);
// The list text: entries joined with ",", each with its marker.
std::string RecipientsText(const std::vector<TMailRecipient>& Recipients);
// The addresses (comma text) that receive a mail: rsAlways ones, and rsOnError ones when Error is true.
std::string MailRecipients(const std::string& Recipients, bool Error);
// Every address of the list whatever its state (the test mail goes to all of them).
std::string AllMailRecipients(const std::string& Recipients);

// What the checks before saving or testing the settings found, in the order they are made.
enum TMailDataCheck : int
{
    mcOk,
    mcNoServer,      // "Please specify an SMTP server!"
    mcNoUser,        // "Please specify a user name!"
    mcNoRecipient,   // "Please specify at least one recipient!"
    mcNoReplyAddress // "Please specify a valid reply address!"
};
TMailDataCheck CheckMailData(const TMailData& MailData);
// The message of a failed check (translated); empty for mcOk.
std::string MailDataCheckText(TMailDataCheck Check);

// Program texts and folders the test mail needs.
struct TMailTestInfo
{
    std::string ProgramName;     // "Vastrel"
    std::string VersionText;     // the program's version text
    std::string ProgNameVersion; // name with bitness and version, for the User-Agent header
    std::string LogDir;          // folder of the protocol log "QvSmtp.log"
};

struct TMailTestResult
{
    bool Success = false;
    std::string Text;    // the message for the delivery status dialog
    std::string LogFile; // the protocol log
};

// Fills Mailer for a test mail to every address of the list, sends it and describes the outcome.
TMailTestResult SendTestMail(TmMailer& Mailer, const TMailData& MailData, const TMailTestInfo& Info);
