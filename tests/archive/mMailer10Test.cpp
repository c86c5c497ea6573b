#include "archive/mMailer10.h"

#include <fstream>
#include <sstream>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "foundation/Hashes.h"
#include "rtl/Streams.h"
#include "support/Files.h"
#include "support/MailParse.h"
#include "support/Sandbox.h"
#include "support/Servers.h"
#include "support/SmtpTestServer.h"

using ::testing::HasSubstr;
using ::testing::Not;

namespace {

class MailerTest : public SandboxTest
{
protected:
    void SetUp() override { VASTREL_REQUIRE_SERVER(server->Error); }

    // A mailer filled for the listener `name` with the test account.
    void Fill(TmMailer& m, const std::string& name, TSecTransfer tls = stNone)
    {
        m.SetHost("127.0.0.1");
        m.SetPort(server->Port(name));
        m.SetUserId("alice");
        m.SetPassword("s3cret");
        m.SetSecureTransfer(tls);
        m.SetHeloName("Vastrel");
        m.From().Name = "Vastrel";
        m.From().Address = "backup@example.org";
        m.Recipients().SetEMailAddresses("anna@example.org");
        m.SetSubject("Vastrel: Backup of Documents");
        m.SetContentType(ctUtf8);
        m.ClearBody();
        m.AddToBody("Backup finished.");
        m.SetLogname(sandbox.Path("QvSmtp.log"));
        m.ReadTimeout = 3000;
        m.ConnectTimeout = 3000;
    }

    static std::string Sha256File(const std::string& file)
    {
        const std::string data = ReadFileBytes(file);
        TMemoryStream m;
        m.WriteBuffer(data.data(), static_cast<int64_t>(data.size()));
        m.SetPosition(0);
        std::string hex;
        ComputeStreamHash(hkSHA256, m, 65536, hex);
        return hex;
    }

    static std::string Errors(const TmMailer& m)
    {
        std::string s;
        for (const auto& e : m.ErrorList())
            s += std::to_string(e.ErrType) + ":" + e.ErrMsg + "\n";
        return s;
    }

    SmtpTestServer* server = &SmtpTestServer::Shared();
};

TEST_F(MailerTest, AReportMailWithAZippedLogArrivesOverStartTlsAndParses)
{
    VASTREL_REQUIRE_TOOL("zip");
    const std::string log = sandbox.Path("QV 24-05-01 10-00-00.log");
    {
        std::ofstream out(log);
        for (int i = 0; i < 2000; ++i)
            out << "  ->  copied /home/anna/Documents/file" << i << ".txt\n";
    }
    const std::string zipFile = sandbox.Path("QV 24-05-01 10-00-00.zip");
    ShellResult z = RunShell("zip -j -q " + ShellQuote(zipFile) + " " + ShellQuote(log));
    ASSERT_EQ(z.exitCode, 0) << z.output;

    TmMailer m;
    Fill(m, "starttls", stExplicit);
    m.AddToBody("  ==> Status: 2000 files copied");
    m.AddToBody(".");
    m.Attachments().AttachedFiles().Add(zipFile + "|zip");
    m.AddExtraHeader("User-Agent", "Vastrel 6.0 (64-bit)");
    m.AddExtraHeader("Reply-To", "desk@example.org");
    int64_t total = -1, last = 0;
    int connected = 0, disconnected = 0;
    m.OnBeginSend = [&](TmMailer&, TWorkMode, int64_t count) { total = count; };
    m.OnSending = [&](TmMailer&, TWorkMode, int64_t count) { last = count; };
    m.OnConnected = [&](TmMailer&) { ++connected; };
    m.OnDisconnected = [&](TmMailer&) { ++disconnected; };
    m.SetWriteLogFile(true);
    const int before = server->Count();
    ASSERT_TRUE(m.Send()) << Errors(m);
    m.SetWriteLogFile(false);

    ASSERT_EQ(server->Count(), before + 1);
    const int n = before + 1;
    EXPECT_THAT(server->Envelope(n), HasSubstr("\"tls\": true"));
    EXPECT_THAT(server->Envelope(n), HasSubstr("\"login\": \"alice\""));
    EXPECT_THAT(server->Envelope(n), HasSubstr("\"mail_from\": \"backup@example.org\""));
    EXPECT_GT(total, 0);
    EXPECT_EQ(last, total);
    EXPECT_EQ(connected, 1);
    EXPECT_EQ(disconnected, 1);

    ShellResult p = ParseMail(server->MessageFile(n));
    ASSERT_EQ(p.exitCode, 0) << p.output;
    EXPECT_THAT(p.output, HasSubstr("defects: 0"));
    EXPECT_THAT(p.output, HasSubstr("header Subject: Vastrel: Backup of Documents\n"));
    EXPECT_THAT(p.output, HasSubstr("addr From: Vastrel|backup@example.org"));
    EXPECT_THAT(p.output, HasSubstr("addr Reply-To: |desk@example.org"));
    EXPECT_THAT(p.output, HasSubstr("part 0: text/plain|8bit||"));
    EXPECT_THAT(p.output, HasSubstr("Status: 2000 files copied\\r\\n.\\r\\n'"));
    EXPECT_THAT(p.output, HasSubstr("part 1: application/zip|base64|QV 24-05-01 10-00-00.zip|"));
    EXPECT_THAT(p.output, HasSubstr(Sha256File(zipFile)));
}

TEST_F(MailerTest, EverySaslMechanismLogsInAndNoPasswordReachesTheLog)
{
    for (const char* name : {"login", "plain", "crammd5", "cramsha1"}) {
        SCOPED_TRACE(name);
        TmMailer m;
        Fill(m, name);
        m.SetLogname(sandbox.Path(std::string(name) + ".log"));
        m.SetWriteLogFile(true);
        const int before = server->Count();
        ASSERT_TRUE(m.Send()) << Errors(m);
        ASSERT_EQ(server->Count(), before + 1);
        EXPECT_THAT(server->Envelope(before + 1), HasSubstr("\"login\": \"alice\""));

        const std::string log = ReadFileBytes(m.Logname());
        EXPECT_THAT(log, HasSubstr("Sent: EHLO Vastrel"));
        EXPECT_THAT(log, HasSubstr("Sent: AUTH"));
        EXPECT_THAT(log, HasSubstr("Recv: 235"));
        EXPECT_THAT(log, HasSubstr("Sent: Subject: Vastrel: Backup of Documents"));
        EXPECT_THAT(log, HasSubstr("Sent: QUIT"));
        EXPECT_THAT(log, Not(HasSubstr("s3cret")));
        EXPECT_THAT(log, Not(HasSubstr(Base64Encode("s3cret"))));
        EXPECT_THAT(log, Not(HasSubstr(Base64Encode(std::string("\0alice\0s3cret", 13)))));

        m.SetPassword("wrong");
        EXPECT_FALSE(m.Send());
        ASSERT_EQ(m.ErrorList().size(), 1u);
        EXPECT_EQ(m.ErrorList()[0].ErrType, seSmtp);
        EXPECT_EQ(m.ErrorList()[0].ErrMsg, "Authentication Failed");
        EXPECT_THAT(ReadFileBytes(m.Logname()), Not(HasSubstr("wrong")));
    }
}

TEST_F(MailerTest, TlsModesUpgradeOrRefuseAsAsked)
{
    struct Case
    {
        const char* listener;
        TSecTransfer mode;
        bool sent;
        bool tls;
        const char* error;
    };
    const Case cases[] = {
        {"starttls", stExplicit, true, true, ""},
        {"open", stExplicit, true, false, ""}, // not offered: plain
        {"open", stRequired, false, false, "does not offer STARTTLS"},
        {"requiretls", stRequired, true, true, ""},
        {"requiretls", stNone, false, false, "530"},
        {"implicit", stImplicit, true, true, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.listener) + " " + std::to_string(c.mode));
        TmMailer m("", "", "", "", "");
        Fill(m, c.listener, c.mode);
        if (std::string(c.listener) == "requiretls" || std::string(c.listener) == "open")
            m.SetPassword(""); // no AUTH on these
        const int before = server->Count();
        EXPECT_EQ(m.Send(), c.sent) << Errors(m);
        EXPECT_EQ(server->Count(), before + (c.sent ? 1 : 0));
        if (c.sent) {
            EXPECT_THAT(server->Envelope(before + 1), HasSubstr(c.tls ? "\"tls\": true" : "\"tls\": false"));
        } else {
            ASSERT_EQ(m.ErrorList().size(), 1u);
            EXPECT_EQ(m.ErrorList()[0].ErrType, seSmtp);
            EXPECT_THAT(m.ErrorList()[0].ErrMsg, HasSubstr(c.error));
        }
    }
}

TEST_F(MailerTest, AUserNameWithoutPasswordSendsWithoutAuthentication)
{
    TmMailer m;
    Fill(m, "open");
    m.SetPassword("");
    m.SetWriteLogFile(true);
    const int before = server->Count();
    ASSERT_TRUE(m.Send()) << Errors(m);
    EXPECT_THAT(server->Envelope(before + 1), HasSubstr("\"login\": \"\""));
    EXPECT_THAT(ReadFileBytes(m.Logname()), Not(HasSubstr("Sent: AUTH")));
}

TEST_F(MailerTest, RefusedRecipientsAreReportedAsSpecified)
{
    // Going on: the others receive the mail, one failed-recipient error.
    TmMailer m;
    Fill(m, "open");
    m.SetPassword("");
    m.Recipients().SetEMailAddresses("anna@example.org, refused@example.org");
    m.BCCList().SetEMailAddresses("boss@example.org");
    m.SetContinueOnFailedRecipient(true);
    int before = server->Count();
    EXPECT_FALSE(m.Send());
    ASSERT_EQ(server->Count(), before + 1);
    EXPECT_THAT(server->Envelope(before + 1),
                HasSubstr("\"rcpt_tos\": [\"anna@example.org\", \"boss@example.org\"]"));
    ASSERT_EQ(m.ErrorList().size(), 1u) << Errors(m);
    EXPECT_EQ(m.ErrorList()[0].ErrType, seFailedRecipient);
    EXPECT_EQ(m.ErrorList()[0].ErrMsg, "refused@example.org");
    // The blind copy is not in the headers.
    EXPECT_THAT(ReadFileBytes(server->MessageFile(before + 1)), Not(HasSubstr("boss@")));

    // Not going on: the refusal ends the transfer with a second error.
    m.SetContinueOnFailedRecipient(false);
    before = server->Count();
    EXPECT_FALSE(m.Send());
    EXPECT_EQ(server->Count(), before);
    ASSERT_EQ(m.ErrorList().size(), 2u) << Errors(m);
    EXPECT_EQ(m.ErrorList()[0].ErrType, seFailedRecipient);
    EXPECT_EQ(m.ErrorList()[1].ErrType, seSmtp);
    EXPECT_THAT(m.ErrorList()[1].ErrMsg, HasSubstr("550"));

    // Every recipient refused: the transfer ends the same way.
    m.SetContinueOnFailedRecipient(true);
    m.Recipients().SetEMailAddresses("refused@example.org, refused2@example.org");
    m.BCCList().Clear();
    EXPECT_FALSE(m.Send());
    EXPECT_EQ(server->Count(), before);
    ASSERT_EQ(m.ErrorList().size(), 3u) << Errors(m);
    EXPECT_EQ(m.ErrorList()[2].ErrType, seSmtp);
}

TEST_F(MailerTest, HostileServersNeverHoldTheClientBeyondItsTimeOut)
{
    for (const char* name : {"endless", "hugeline", "closing", "silent"}) {
        SCOPED_TRACE(name);
        TmMailer m;
        Fill(m, name);
        m.ReadTimeout = 1500;
        m.SetLogname(sandbox.Path(std::string(name) + ".log"));
        m.SetWriteLogFile(true);
        EXPECT_FALSE(m.Send());
        ASSERT_EQ(m.ErrorList().size(), 1u) << Errors(m);
        EXPECT_EQ(m.ErrorList()[0].ErrType, seSmtp);
        EXPECT_THAT(ReadFileBytes(m.Logname()), HasSubstr("Error: "));
        EXPECT_THAT(ReadFileBytes(m.Logname()), Not(HasSubstr("s3cret")));
    }
    // Nobody listening.
    TmMailer m;
    Fill(m, "open");
    m.SetPort(1);
    EXPECT_FALSE(m.Send());
    ASSERT_EQ(m.ErrorList().size(), 1u);
    EXPECT_EQ(m.ErrorList()[0].ErrType, seSmtp);
}

TEST_F(MailerTest, SaveToFileWritesTheMessageOrReportsFalse)
{
    TmMailer m;
    Fill(m, "open");
    m.AddExtraHeader("X-Task", "first");
    m.AddExtraHeader("x-task", "second");
    EXPECT_FALSE(m.SaveToFile(sandbox.Path("no/such/folder/mail.eml")));
    m.Attachments().AttachedFiles().Add(sandbox.Path("missing.txt"));
    EXPECT_FALSE(m.SaveToFile(sandbox.Path("mail.eml")));
    EXPECT_FALSE(std::filesystem::exists(sandbox.Path("mail.eml")));
    m.Attachments().Clear();
    ASSERT_TRUE(m.SaveToFile(sandbox.Path("mail.eml")));
    ShellResult p = ParseMail(sandbox.Path("mail.eml"));
    EXPECT_THAT(p.output, HasSubstr("header X-Task: second\n"));
    EXPECT_THAT(p.output, Not(HasSubstr("first")));

    // A missing attachment at Send is an error of its own, and nothing is sent.
    m.Attachments().AttachedFiles().Add(sandbox.Path("missing.txt"));
    const int before = server->Count();
    EXPECT_FALSE(m.Send());
    EXPECT_EQ(server->Count(), before);
    ASSERT_EQ(m.ErrorList().size(), 1u);
    EXPECT_EQ(m.ErrorList()[0].ErrType, seUnknown);
    EXPECT_THAT(m.ErrorList()[0].ErrMsg, HasSubstr("missing.txt"));
}

TEST(SaslTest, CramDigestsMatchThePublishedExample)
{
    EXPECT_EQ(
        SaslCramResponse("tim", "tanstaaftanstaaf", "<1896.697170952@postoffice.reston.mci.net>", false),
        "tim b913a602c7eda7a495b4e6e7334d3890");
}

} // namespace
