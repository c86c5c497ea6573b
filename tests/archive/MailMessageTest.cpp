#include "archive/MailMessage.h"

#include <fstream>
#include <sstream>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "foundation/Hashes.h"
#include "rtl/Streams.h"
#include "rtl/SysUtils.h"
#include "support/Files.h"
#include "support/MailParse.h"
#include "support/Sandbox.h"

using ::testing::HasSubstr;
using ::testing::Not;

namespace {

class MailMessageTest : public SandboxTest
{
protected:
    std::string WriteFile(const std::string& name, const std::string& data)
    {
        const std::string path = sandbox.Path(name);
        WriteFileBytes(path, data);
        return path;
    }

    std::string Render(const TMailContent& c)
    {
        std::ostringstream out;
        RenderMailMessage(c, out);
        return out.str();
    }

    // Renders c into a file and returns what Python's email package makes of it.
    std::string Parsed(const TMailContent& c)
    {
        const std::string file = WriteFile("message.eml", Render(c));
        ShellResult r = ParseMail(file);
        EXPECT_EQ(r.exitCode, 0) << r.output;
        EXPECT_THAT(r.output, HasSubstr("defects: 0"));
        return r.output;
    }

    static std::string Sha256(const std::string& data)
    {
        TMemoryStream s;
        s.WriteBuffer(data.data(), static_cast<int64_t>(data.size()));
        s.SetPosition(0);
        std::string hex;
        ComputeStreamHash(hkSHA256, s, 65536, hex);
        return hex;
    }

    TMailContent Basic()
    {
        TMailContent c;
        c.From.Name = "Backup Robot";
        c.From.Address = "robot@example.org";
        c.Recipients.SetEMailAddresses("anna@example.org");
        c.Subject = "Report";
        c.ContentType = ctUtf8;
        c.Body = {"Line one", "Line two"};
        return c;
    }
};

TEST_F(MailMessageTest, NonAsciiSubjectNamesAndBodyArriveIntactInUtf8)
{
    TMailContent c = Basic();
    c.Subject = "Sicherung erfolgreich – Größe 12 MB, Ærø, 日本語のテキスト " + std::string(60, 'x');
    c.From.Name = "Jürgen Müller";
    c.Recipients.SetEMailAddresses("\"Doe, Jane\" <jane@example.org>, Ørjan <orjan@example.org>");
    c.Body = {"Grüße aus der Sicherung", ".a line with a leading dot"};
    const std::string out = Parsed(c);
    EXPECT_THAT(out, HasSubstr("header Subject: " + c.Subject + "\n"));
    EXPECT_THAT(out, HasSubstr("addr From: Jürgen Müller|robot@example.org"));
    EXPECT_THAT(out, HasSubstr("addr To: Doe, Jane|jane@example.org"));
    EXPECT_THAT(out, HasSubstr("addr To: Ørjan|orjan@example.org"));
    EXPECT_THAT(out, HasSubstr("part 0: text/plain|8bit||"));
    EXPECT_THAT(out, HasSubstr("Gr\\xc3\\xbc\\xc3\\x9fe aus der Sicherung\\r\\n.a line"));

    // Encoded words stay within 75 characters and every header line within 998.
    std::istringstream lines(Render(c));
    std::string line;
    while (std::getline(lines, line)) {
        if (line == "\r")
            break;
        EXPECT_LE(line.size(), 999u) << line;
        for (size_t p = line.find("=?"); p != std::string::npos; p = line.find("=?", p + 2)) {
            const size_t e = line.find("?=", p + 10);
            ASSERT_NE(e, std::string::npos);
            EXPECT_LE(e + 2 - p, 75u);
            p = e;
        }
    }
}

TEST_F(MailMessageTest, ContentTypesGiveTheSpecifiedParts)
{
    TMailContent ascii = Basic();
    ascii.ContentType = ctAscii;
    ascii.Body = {"Caf\xc3\xa9 \xe2\x82\xac"}; // é is in ISO-8859-1, € is not
    std::string out = Parsed(ascii);
    EXPECT_THAT(out, HasSubstr("part 0: text/plain|8bit||"));
    EXPECT_THAT(out, HasSubstr("b'Caf\\xe9 ?\\r\\n'"));
    EXPECT_THAT(Render(ascii), HasSubstr("Content-Type: text/plain; charset=iso-8859-1\r\n"));

    TMailContent html = Basic();
    html.ContentType = ctHtml;
    html.HTMLBody = {"<p>Hello</p>"};
    html.Body.clear();
    out = Parsed(html);
    EXPECT_THAT(out, HasSubstr("part 0: text/html|8bit||"));
    EXPECT_THAT(out, Not(HasSubstr("multipart")));
    EXPECT_THAT(out, Not(HasSubstr("part 1:")));

    html.Body = {"Hello"};
    out = Parsed(html);
    EXPECT_THAT(out, HasSubstr("multipart multipart/alternative"));
    EXPECT_THAT(out, HasSubstr("part 0: text/plain|8bit||"));
    EXPECT_THAT(out, HasSubstr("part 1: text/html|8bit||"));
    EXPECT_THAT(Render(html), HasSubstr("text/html; charset=iso-8859-1"));
}

TEST_F(MailMessageTest, AttachmentsTakeTheirTypeFromTheBarOrTheExtension)
{
    std::string binary;
    for (int i = 0; i < 5000; ++i)
        binary += static_cast<char>((i * 7) & 0xFF);
    const std::string log = WriteFile("run.log", "first line\nsecond line\n");
    const std::string bin = WriteFile("a.bin", binary);
    const std::string txt = WriteFile("notes.txt", "plain\r\ntext");
    const std::string longLine = WriteFile("long.txt", std::string(5000, 'y') + "\n");
    const std::string named = WriteFile("Bericht für März.pdf", "%PDF-1.4 not really");

    TMailContent c = Basic();
    c.Attachments = {log + "|", bin + "|octet-stream", txt + "|text/plain", longLine, named};
    const std::string out = Parsed(c);
    EXPECT_THAT(out, HasSubstr("multipart multipart/mixed"));
    EXPECT_THAT(out,
                HasSubstr("part 1: text/plain|8bit|run.log|25|" + Sha256("first line\r\nsecond line\r\n")));
    EXPECT_THAT(out, HasSubstr("part 2: application/octet-stream|base64|a.bin|5000|" + Sha256(binary)));
    EXPECT_THAT(out, HasSubstr("part 3: text/plain|8bit|notes.txt|13|" + Sha256("plain\r\ntext\r\n")));
    // A line too long for 8bit goes as base64, unchanged.
    EXPECT_THAT(
        out, HasSubstr("part 4: text/plain|base64|long.txt|5001|" + Sha256(std::string(5000, 'y') + "\n")));
    EXPECT_THAT(out, HasSubstr("part 5: application/pdf|base64|Bericht für März.pdf|"));
}

TEST_F(MailMessageTest, AMissingAttachmentRaisesWithTheFileName)
{
    TMailContent c = Basic();
    c.Attachments = {sandbox.Path("missing.log") + "|"};
    std::ostringstream out;
    try {
        RenderMailMessage(c, out);
        FAIL() << "no exception";
    } catch (const EInOutError& e) {
        EXPECT_THAT(e.Message(), HasSubstr("missing.log"));
    }
}

TEST_F(MailMessageTest, LineBreaksInHeaderValuesCannotAddHeaders)
{
    TMailContent c = Basic();
    c.Subject = "Report\r\nBcc: victim@example.org";
    c.From.Name = "Robot\r\nX-Evil: 1";
    c.ExtraHeaders = {
        {"Reply-To", "Desk <desk@example.org>\r\nX-Evil: 2"}, {"X-Bad\r\nName", "v"}, {"Sender", ""}};
    const std::string out = Parsed(c);
    EXPECT_THAT(out, Not(HasSubstr("header Bcc")));
    EXPECT_THAT(out, Not(HasSubstr("header X-Evil")));
    EXPECT_THAT(out, Not(HasSubstr("header Sender")));
    EXPECT_THAT(out, HasSubstr("header Subject: ReportBcc: victim@example.org\n"));
    EXPECT_THAT(out, HasSubstr("header X-BadName: v\n"));
}

TEST_F(MailMessageTest, PriorityAndExtraHeadersAreWritten)
{
    TMailContent c = Basic();
    c.Priority = mpHigh;
    c.ExtraHeaders = {{"User-Agent", "Vastrel 6.0 (64-bit)"}, {"Reply-To", "Help Désk <help@example.org>"}};
    const std::string out = Parsed(c);
    EXPECT_THAT(out, HasSubstr("header X-Priority: 2 (High)"));
    EXPECT_THAT(out, HasSubstr("header User-Agent: Vastrel 6.0 (64-bit)"));
    EXPECT_THAT(out, HasSubstr("addr Reply-To: Help Désk|help@example.org"));
    EXPECT_THAT(out, HasSubstr("header MIME-Version: 1.0"));
    EXPECT_THAT(out, HasSubstr("header Message-ID: <"));
}

TEST(MailAddressTest, ListsSplitOutsideQuotesAndAngleBrackets)
{
    TEmailAddressList list;
    list.SetEMailAddresses("\"Doe, Jane\" <jane@x.org>; bob@y.org, , <carl@z.org>,Eve <eve@w.org>");
    ASSERT_EQ(list.Count(), 4);
    EXPECT_EQ(list[0].Name, "Doe, Jane");
    EXPECT_EQ(list[0].Address, "jane@x.org");
    EXPECT_EQ(list[1].Address, "bob@y.org");
    EXPECT_EQ(list[2].Name, "");
    EXPECT_EQ(list[2].Address, "carl@z.org");
    EXPECT_EQ(list[3].HeaderText(), "Eve <eve@w.org>");
    EXPECT_EQ(list.EMailAddresses(), "\"Doe, Jane\" <jane@x.org>, bob@y.org, carl@z.org, Eve <eve@w.org>");
}

TEST(MailAddressTest, Base64RoundTripsAndRejectsGarbage)
{
    for (const std::string& s : {std::string(), std::string("a"), std::string("ab"), std::string("abc"),
                                 std::string("\0user\0pwd", 9)}) {
        std::string back;
        ASSERT_TRUE(Base64Decode(Base64Encode(s), back));
        EXPECT_EQ(back, s);
    }
    std::string out;
    EXPECT_FALSE(Base64Decode("abc", out));
    EXPECT_FALSE(Base64Decode("a*c=", out));
    EXPECT_EQ(ContentTypeOfFile("/x/Report.LOG"), "text/plain");
    EXPECT_EQ(ContentTypeOfFile("/x/archive.zip"), "application/zip");
    EXPECT_EQ(ContentTypeOfFile("/x/.bashrc"), "application/octet-stream");
}

} // namespace
