#include "backup/BuMailDlg.h"

#include <fstream>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "archive/PasswordText.h"
#include "archive/mMailer10.h"
#include "foundation/IniFileUtils.h"
#include "support/MailParse.h"
#include "support/Sandbox.h"
#include "support/Servers.h"
#include "support/SmtpTestServer.h"

using ::testing::HasSubstr;
using ::testing::Not;

namespace {

class MailSettingsTest : public SandboxTest
{
protected:
    // A task file with the given [Mail] lines, read back.
    TMailData ReadSection(const std::vector<std::pair<std::string, std::string>>& keys)
    {
        const std::string file = sandbox.Path("task.buj");
        {
            auto ini = TUnicodeIniFile::CreateForWrite(file, true);
            for (const auto& [k, v] : keys)
                ini.WriteString("Mail", k, v);
        }
        auto ini = TUnicodeIniFile::CreateForRead(file);
        TMailData data;
        ReadMailData(ini, "Mail", data);
        return data;
    }

    static std::string Stored(const std::string& pwd)
    {
        std::string text;
        EncodePassword(UnscrambleKeyString(ProgramKeyString), pwd, 64, text, false);
        return text;
    }
};

TEST_F(MailSettingsTest, DefaultsAndAFullSectionRoundTrip)
{
    TMailData d;
    d.Port = 1;
    InitMailData(d);
    EXPECT_EQ(d.Port, 25);
    EXPECT_EQ(d.SecureMode, stNone);
    EXPECT_EQ(d.LogMode, mmNone);
    EXPECT_EQ(d.ZipMode, zmNo);
    EXPECT_TRUE(d.SMTP.empty() && d.Password.empty() && d.Attachments.empty());

    d.SMTP = "smtp.example.org";
    d.Port = 465;
    d.Username = "anna";
    d.Password = "Pässwort 1";
    d.Sender = "Backups";
    d.ReplyTo = "anna@example.org";
    d.Recipients = "a@x.org,#b@x.org,*c@x.org";
    d.Subject = "%taskname% on %date%";
    d.Attachments = "a.txt,b.log|text/plain";
    d.CryptKey = "zip-key";
    d.SecureMode = stImplicit;
    d.LogMode = mmError;
    d.ZipMode = zmEncrypt;
    const std::string file = sandbox.Path("task.buj");
    {
        auto ini = TUnicodeIniFile::CreateForWrite(file, true);
        ini.WriteString("Mail", "SendLog", "1");
        ini.WriteString("Mail", "Attachment7", "old.txt");
        WriteMailData(ini, "Mail", d);
    }
    auto ini = TUnicodeIniFile::CreateForRead(file);
    TStringList keys;
    ini.ReadSection("Mail", keys);
    EXPECT_EQ(keys.CommaText(),
              "SMTP,Port,Username,Password,Sender,ReplyTo,Recipients,Subject,UseTLS,AttachLog,"
              "AsZip,Encrypt,Attachment0,Attachment1");
    EXPECT_EQ(ini.ReadString("Mail", "Attachment0", ""), "a.txt");
    EXPECT_EQ(ini.ReadString("Mail", "Attachment1", ""), "b.log|text/plain");
    EXPECT_EQ(ini.ReadString("Mail", "UseTLS", ""), "3");
    EXPECT_THAT(ini.ReadString("Mail", "Password", ""), Not(HasSubstr("Pässwort")));
    EXPECT_FALSE(ini.ReadString("Mail", "Encrypt", "").empty());

    TMailData back;
    ReadMailData(ini, "Mail", back);
    EXPECT_EQ(back.SMTP, d.SMTP);
    EXPECT_EQ(back.Port, 465);
    EXPECT_EQ(back.Username, "anna");
    EXPECT_EQ(back.Password, "Pässwort 1");
    EXPECT_EQ(back.Sender, "Backups");
    EXPECT_EQ(back.ReplyTo, d.ReplyTo);
    EXPECT_EQ(back.Recipients, d.Recipients);
    EXPECT_EQ(back.Subject, d.Subject);
    EXPECT_EQ(back.Attachments, d.Attachments);
    EXPECT_EQ(back.CryptKey, "zip-key");
    EXPECT_EQ(back.SecureMode, stImplicit);
    EXPECT_EQ(back.LogMode, mmError);
    EXPECT_EQ(back.ZipMode, zmEncrypt);
}

TEST_F(MailSettingsTest, LegacyAndInconsistentKeysReadAsSpecified)
{
    // The old SendLog key; saving again writes AttachLog=1 and no SendLog.
    TMailData d = ReadSection({{"SendLog", "1"}});
    EXPECT_EQ(d.LogMode, mmAlways);
    {
        auto ini = TUnicodeIniFile::CreateForWrite(sandbox.Path("task.buj"), false);
        WriteMailData(ini, "Mail", d);
    }
    auto ini = TUnicodeIniFile::CreateForRead(sandbox.Path("task.buj"));
    EXPECT_EQ(ini.ReadString("Mail", "AttachLog", ""), "1");
    EXPECT_FALSE(ini.ValueExists("Mail", "SendLog"));

    EXPECT_EQ(ReadSection({{"SendLog", "1"}, {"AttachLog", "2"}}).LogMode, mmError);
    // An encrypted zip without a password is a plain zip.
    EXPECT_EQ(ReadSection({{"AsZip", "2"}, {"Encrypt", ""}}).ZipMode, zmYes);
    EXPECT_EQ(ReadSection({{"AsZip", "2"}, {"Encrypt", Stored("k")}}).ZipMode, zmEncrypt);
    // Undecodable passwords and values out of range give the defaults.
    TMailData bad = ReadSection({{"Password", "not a stored password"},
                                 {"UseTLS", "7"},
                                 {"AttachLog", "-1"},
                                 {"AsZip", "9"},
                                 {"Port", "x"}});
    EXPECT_EQ(bad.Password, "");
    EXPECT_EQ(bad.SecureMode, stNone);
    EXPECT_EQ(bad.LogMode, mmNone);
    EXPECT_EQ(bad.ZipMode, zmNo);
    EXPECT_EQ(bad.Port, 25);
}

TEST_F(MailSettingsTest, AttachmentKeysAreReadUpToTheTenthInOrder)
{
    std::vector<std::pair<std::string, std::string>> keys;
    for (int i = 0; i < 12; ++i)
        keys.emplace_back("Attachment" + std::to_string(i), i == 3 ? "" : "f" + std::to_string(i) + ".txt");
    EXPECT_EQ(ReadSection(keys).Attachments,
              "f0.txt,f1.txt,f2.txt,f4.txt,f5.txt,f6.txt,f7.txt,f8.txt,f9.txt");

    // Paths with blanks come back as comma text; a quoted name with a comma is not split when saved.
    TMailData d = ReadSection({{"Attachment0", "/home/anna/my log.txt"}, {"Attachment1", "/tmp/b.log"}});
    EXPECT_EQ(d.Attachments, "\"/home/anna/my log.txt\",/tmp/b.log");
    d.Attachments += ",\"/tmp/a,b.txt|text/plain\"";
    {
        auto ini = TUnicodeIniFile::CreateForWrite(sandbox.Path("task.buj"), true);
        WriteMailData(ini, "Mail", d);
    }
    auto ini = TUnicodeIniFile::CreateForRead(sandbox.Path("task.buj"));
    EXPECT_EQ(ini.ReadString("Mail", "Attachment2", ""), "\"/tmp/a,b.txt|text/plain\"");
    TMailData back;
    ReadMailData(ini, "Mail", back);
    EXPECT_EQ(back.Attachments, d.Attachments);
}

TEST(MailRecipientsTest, MarkersSelectWhoGetsAMail)
{
    const std::string list = "a@x.org, #b@x.org,*c@x.org,,#,d@x.org";
    const auto r = ParseRecipients(list);
    ASSERT_EQ(r.size(), 4u);
    EXPECT_EQ(r[0].State, rsAlways);
    EXPECT_EQ(r[1].State, rsOnError);
    EXPECT_EQ(r[1].Address, "b@x.org");
    EXPECT_EQ(r[2].State, rsOff);
    EXPECT_EQ(RecipientsText(r), "a@x.org,#b@x.org,*c@x.org,d@x.org");
    EXPECT_EQ(RecipientsText(ParseRecipients("A,#B,*C")), "A,#B,*C");
    EXPECT_EQ(MailRecipients(list, false), "a@x.org,d@x.org");
    EXPECT_EQ(MailRecipients(list, true), "a@x.org,b@x.org,d@x.org");
    EXPECT_EQ(AllMailRecipients(list), "a@x.org,b@x.org,c@x.org,d@x.org");
}

TEST(MailRecipientsTest, ChecksAndLogWordsFollowTheirTables)
{
    EXPECT_EQ(SecTransferText(stNone), "No");
    EXPECT_EQ(SecTransferText(stExplicit), "STARTTLS");
    EXPECT_EQ(SecTransferText(stRequired), "TLS");
    EXPECT_EQ(SecTransferText(stImplicit), "SSL");

    TMailData d;
    EXPECT_EQ(CheckMailData(d), mcNoServer);
    d.SMTP = "smtp.example.org";
    EXPECT_EQ(CheckMailData(d), mcNoUser);
    d.Username = "anna";
    d.Recipients = "*,#";
    EXPECT_EQ(CheckMailData(d), mcNoRecipient);
    d.Recipients = "*off@x.org";
    EXPECT_EQ(CheckMailData(d), mcNoReplyAddress);
    d.Sender = "Backups";
    d.ReplyTo = "anna@x.org";
    EXPECT_EQ(CheckMailData(d), mcOk);
    EXPECT_EQ(MailDataCheckText(mcNoReplyAddress), "Please specify a valid reply address!");
    EXPECT_EQ(MailDataCheckText(mcOk), "");
}

class TestMailTest : public SandboxTest
{
protected:
    void SetUp() override { VASTREL_REQUIRE_SERVER(server->Error); }
    TMailData Settings()
    {
        TMailData d;
        d.SMTP = "127.0.0.1";
        d.Port = server->Port("starttls");
        d.Username = "alice";
        d.Password = "s3cret";
        d.SecureMode = stExplicit;
        d.Sender = "Backups";
        d.ReplyTo = "desk@example.org";
        d.Recipients = "anna@example.org,#boss@example.org,*off@example.org";
        return d;
    }
    TMailTestInfo Info() { return {"Vastrel", "6.0.1", "Vastrel 6.0.1 (64-bit)", sandbox.Path("logs")}; }

    SmtpTestServer* server = &SmtpTestServer::Shared();
};

TEST_F(TestMailTest, ATestMailGoesToEveryListedAddressFromTheReplyAddress)
{
    std::filesystem::create_directories(sandbox.Path("logs"));
    TmMailer mailer;
    mailer.ReadTimeout = 5000;
    mailer.Attachments().AttachedFiles().Add(sandbox.Path("left-over.txt"));
    mailer.AddExtraHeader("X-Old", "from the last mail");
    const int before = server->Count();
    TMailTestResult r = SendTestMail(mailer, Settings(), Info());
    ASSERT_TRUE(r.Success) << r.Text;
    EXPECT_EQ(r.Text,
              "Mail notifications were sent to:\r\nanna@example.org, boss@example.org, off@example.org");
    EXPECT_EQ(r.LogFile, sandbox.Path("logs/QvSmtp.log"));

    ASSERT_EQ(server->Count(), before + 1);
    EXPECT_THAT(server->Envelope(before + 1), HasSubstr("\"mail_from\": \"desk@example.org\""));
    EXPECT_THAT(server->Envelope(before + 1), HasSubstr("\"tls\": true"));
    ShellResult p = ParseMail(server->MessageFile(before + 1));
    EXPECT_THAT(p.output, HasSubstr("addr From: Backups|desk@example.org"));
    EXPECT_THAT(p.output, HasSubstr("addr Sender: |desk@example.org"));
    EXPECT_THAT(p.output, HasSubstr("addr Reply-To: |desk@example.org"));
    EXPECT_THAT(p.output, HasSubstr("header User-Agent: Vastrel 6.0.1 (64-bit)"));
    EXPECT_THAT(p.output, HasSubstr("header Subject: Vastrel: Mail delivery test on "));
    EXPECT_THAT(p.output, HasSubstr("This is a test mail from Vastrel (6.0.1)"));
    EXPECT_THAT(p.output, Not(HasSubstr("X-Old")));
    EXPECT_THAT(p.output, HasSubstr("defects: 0"));

    std::ifstream log(r.LogFile);
    std::stringstream text;
    text << log.rdbuf();
    EXPECT_THAT(text.str(), HasSubstr("Sent: EHLO Vastrel"));
    EXPECT_THAT(text.str(), Not(HasSubstr("s3cret")));
}

TEST_F(TestMailTest, AFailedTestMailListsEveryError)
{
    TmMailer mailer;
    mailer.ReadTimeout = 5000;
    TMailData d = Settings();
    d.Sender = "robot@example.org";
    d.Recipients = "refused@example.org,anna@example.org";
    TMailTestResult r = SendTestMail(mailer, d, Info());
    EXPECT_FALSE(r.Success);
    EXPECT_THAT(r.Text, HasSubstr("Error during mail delivery (SMTP: 127.0.0.1:" + std::to_string(d.Port) +
                                  ")\r\n - Could not deliver mail to refused@example.org!\r\n - 550"));

    d.Password = "wrong";
    r = SendTestMail(mailer, d, Info());
    EXPECT_FALSE(r.Success);
    EXPECT_THAT(r.Text, HasSubstr(")\r\n - Authentication Failed"));
}

} // namespace
