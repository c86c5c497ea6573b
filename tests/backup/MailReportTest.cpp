// The mail report of whole runs of the program, received by the aiosmtpd servers of the test support.
#include <gtest/gtest.h>

#include "WholeRunTest.h"
#include "backup/MailReport.h"
#include "backup/TaskFileReader.h"
#include "support/MailParse.h"
#include "support/Servers.h"
#include "support/SmtpTestServer.h"

using namespace wholerun;

namespace {

std::string Stored(const std::string& pwd)
{
    std::string encoded;
    do
        encoded = taskfile::EncodePasswordText(pwd);
    while (encoded.find('"') != std::string::npos);
    return encoded;
}

class MailReportTest : public WholeRunTest
{
protected:
    SmtpTestServer& Server()
    {
        SmtpTestServer& server = SmtpTestServer::Shared();
        return server;
    }

    std::string WriteMailTask(int port, int security, Keys mail, Keys keys = {})
    {
        keys["SendMail"] = keys.count("SendMail") ? keys["SendMail"] : "1";
        Keys section = {{"SMTP", "127.0.0.1"},
                        {"Port", std::to_string(port)},
                        {"Username", "alice"},
                        {"Password", Stored("s3cret")},
                        {"Sender", "robot@example.org"},
                        {"ReplyTo", "desk@example.org"},
                        {"Recipients", "anna@example.org,#boss@example.org,*off@example.org"},
                        {"UseTLS", std::to_string(security)}};
        for (const auto& [k, v] : mail)
            section[k] = v;
        return WriteTask(keys, {}, {{"Mail", section}});
    }

    // Saves the attachment named like pattern of a stored message to path.
    void SaveAttachment(const std::string& eml, const std::string& suffix, const std::string& path)
    {
        const std::string script =
            "import email,email.policy,sys\n"
            "m=email.message_from_bytes(open(sys.argv[1],'rb').read(),policy=email.policy.default)\n"
            "for p in m.walk():\n"
            "    n=p.get_filename()\n"
            "    if n and n.endswith(sys.argv[2]):\n"
            "        open(sys.argv[3],'wb').write(p.get_payload(decode=True))\n";
        WriteFileBytes(sandbox.Path("save.py"), script);
        RunShell("/usr/bin/python3 " + ShellQuote(sandbox.Path("save.py")) + " " + ShellQuote(eml) + " " +
                 ShellQuote(suffix) + " " + ShellQuote(path));
    }
};

} // namespace

TEST_F(MailReportTest, TheReportArrivesInEachSecurityModeWithTheLogAsTheTaskAsks)
{
    SmtpTestServer& server = Server();
    VASTREL_REQUIRE_SERVER(server.Error);
    VASTREL_REQUIRE_TOOL("7z");
    struct Case
    {
        std::string listener;
        int security;
        int zipMode; // 0 plain, 1 zipped, 2 zipped with a password
    };
    for (const Case& c : std::vector<Case>{{"open", 0, 0}, {"starttls", 2, 1}, {"implicit", 3, 2}}) {
        SCOPED_TRACE(c.listener);
        fs::remove_all(Dst());
        const int before = server.Count();
        Keys mail = {{"AttachLog", "1"}, {"AsZip", std::to_string(c.zipMode)}};
        if (c.zipMode == 2)
            mail["Encrypt"] = Stored("zip key");
        TRunResult r = RunOk(WriteMailTask(server.Port(c.listener), c.security, mail), CopiedText(4));
        EXPECT_TRUE(Contains(r.log, "  ==> Mail notifications were sent to: anna@example.org")) << r.log;
        ASSERT_EQ(server.Count(), before + 1) << r.log;
        const std::string envelope = server.Envelope(before + 1);
        EXPECT_TRUE(Contains(envelope, "anna@example.org")) << envelope;
        // "#" only after errors, "*" never
        EXPECT_FALSE(Contains(envelope, "boss@example.org")) << envelope;
        EXPECT_FALSE(Contains(envelope, "off@example.org")) << envelope;
        const std::string eml = server.MessageFile(before + 1);
        ShellResult p = ParseMail(eml);
        EXPECT_TRUE(Contains(p.output, "header Subject: Vastrel: Backup on ")) << p.output;
        EXPECT_TRUE(Contains(ReadFileBytes(eml), "4 of 4 files copied")) << ReadFileBytes(eml);
        EXPECT_TRUE(Contains(p.output, "defects: 0")) << p.output;
        if (c.zipMode == 0) {
            EXPECT_TRUE(Contains(p.output, "text/plain")) << p.output;
            EXPECT_TRUE(Contains(p.output, ".log|")) << p.output;
        } else {
            const std::string zip = sandbox.Path("log.zip");
            fs::remove(zip);
            SaveAttachment(eml, ".zip", zip);
            ASSERT_TRUE(fs::exists(zip)) << p.output;
            const std::string pwd = c.zipMode == 2 ? "zip key" : "none";
            ShellResult t = RunShell("7z t -p" + ShellQuote(pwd) + " " + ShellQuote(zip), "", false);
            EXPECT_EQ(t.exitCode, 0) << t.output;
            ShellResult l = RunShell("7z l -slt " + ShellQuote(zip), "", false);
            EXPECT_EQ(Contains(l.output, "Encrypted = +"), c.zipMode == 2) << l.output;
        }
    }
}

TEST_F(MailReportTest, OnlyErrorsReachTheMarkedRecipientsAndAFailedDeliveryKeepsTheResult)
{
    SmtpTestServer& server = Server();
    VASTREL_REQUIRE_SERVER(server.Error);
    // A run with an error (a source folder that is missing) reaches "#" recipients too.
    const int before = server.Count();
    std::string task = WriteMailTask(server.Port("open"), 0, {{"AttachLog", "0"}}, {{"SendMail", "2"}});
    RunOk(task, CopiedText(4)); // no error: nothing sent
    EXPECT_EQ(server.Count(), before);
    fs::remove_all(Src());
    TRunResult r = Run(task, true);
    EXPECT_EQ(r.exitCode & 0xFF, 3) << r.log;
    ASSERT_EQ(server.Count(), before + 1) << r.log;
    const std::string envelope = server.Envelope(before + 1);
    EXPECT_TRUE(Contains(envelope, "anna@example.org") && Contains(envelope, "boss@example.org")) << envelope;
    EXPECT_FALSE(Contains(envelope, "off@example.org")) << envelope;

    // An unreachable mail server is logged and changes nothing of the result.
    MakeSource();
    task = WriteMailTask(1, 0, {{"AttachLog", "0"}});
    r = Run(task, true);
    EXPECT_EQ(r.exitCode, 0) << r.log;
    EXPECT_TRUE(Contains(r.log, "  *** Error during mail delivery (SMTP: 127.0.0.1:1)")) << r.log;
}

TEST(MailReportRecipientsTest, MarkedOffEmptyAndErrorOnlyEntriesAreSorted)
{
    struct Case
    {
        std::string list;
        bool error;
        std::string expected;
    };
    for (const Case& c : std::vector<Case>{{"a@x,#b@x,*c@x", false, "a@x"},
                                           {"a@x,#b@x,*c@x", true, "a@x,b@x"},
                                           {",a@x,,b@x,", false, "a@x,b@x"},
                                           {"#a@x,#b@x", false, ""}}) {
        SCOPED_TRACE(c.list);
        EXPECT_EQ(TMailReport::ReportRecipients(c.list, c.error), c.expected);
    }
}
