#include "backup/BuFtpDlg.h"

#include <filesystem>

#include <gtest/gtest.h>

#include "support/FtpTestServer.h"
#include "support/Sandbox.h"
#include "support/Servers.h"

namespace {

class BuFtpDlgTest : public SandboxTest
{
protected:
    std::string TaskFile() const { return sandbox.Path("task.buj"); }
};

TEST_F(BuFtpDlgTest, DefaultsOfANewTask)
{
    TFtpParams p;
    p.Host = "old";
    InitFtpParams(p);
    EXPECT_EQ(p.Host, "");
    EXPECT_EQ(p.Port, 21);
    EXPECT_EQ(p.ConnTimeout, 60000);
    EXPECT_EQ(p.ResponseTimeOut, 60000);
    EXPECT_EQ(p.ConnAttempts, 1);
    EXPECT_TRUE(p.Passive);
    EXPECT_EQ(p.CaseMode, tcNone);
    EXPECT_EQ(p.Proxy.Port, 2121);
    EXPECT_EQ(p.Proxy.Mode, fpcmNone);
    TCertInfos c;
    InitCertInfos(c);
    EXPECT_EQ(c.CertDir.back(), '/');
    EXPECT_EQ(c.RootCertFile, "Vastrelroot.pem");
    EXPECT_EQ(c.CertFile, "Vastrel.crt");
    EXPECT_EQ(c.KeyFile, "Vastrel.key");
}

TEST_F(BuFtpDlgTest, SectionsRoundTripWithPackedOffsetQuotedCharsAndStoredPasswords)
{
    TFtpParams p;
    InitFtpParams(p);
    p.Host = "srv";
    p.Username = "anna";
    p.Password = "pa55 word";
    p.Directory = "backup/%date%";
    p.SecureMode = 3;
    p.Port = 990;
    p.UseTimeOffset = false;
    p.TimeOffset = -60;
    p.InvalidChars = ": *";
    p.CaseMode = tcUpper;
    p.Proxy.Mode = fpcmSite;
    p.Proxy.Server = "proxy";
    p.Proxy.Password = "proxy-pw";
    p.Fingerprint = "AA:BB";
    {
        auto ini = TUnicodeIniFile::CreateForWrite(TaskFile(), false);
        ini.WriteString("Ftp", "Speed", "100");
        WriteFtpParams(ini, "Ftp", p);
        EXPECT_EQ(ini.ReadString("Ftp", "TimeOffset", ""), "660");
        EXPECT_EQ(ini.ReadString("Ftp", "ReplChar", ""), "\": *\"");
        EXPECT_FALSE(ini.ValueExists("Ftp", "Speed"));
        std::string stored = ini.ReadString("Ftp", "Password", "");
        EXPECT_FALSE(stored.empty());
        EXPECT_EQ(stored.find("pa55"), std::string::npos);
    }
    TFtpParams r;
    InitFtpParams(r);
    auto ini = TUnicodeIniFile::CreateForRead(TaskFile());
    ReadFtpParams(ini, "Ftp", r);
    EXPECT_EQ(r.Host, "srv");
    EXPECT_EQ(r.Password, "pa55 word");
    EXPECT_EQ(r.Directory, "backup/%date%");
    EXPECT_EQ(r.SecureMode, 3);
    EXPECT_EQ(r.Port, 990);
    EXPECT_FALSE(r.UseTimeOffset);
    EXPECT_EQ(r.TimeOffset, -60);
    EXPECT_EQ(r.InvalidChars, ": *"); // one level of quotes removed: stable across saves
    EXPECT_EQ(r.CaseMode, tcUpper);
    EXPECT_EQ(r.Proxy.Mode, fpcmSite);
    EXPECT_EQ(r.Proxy.Server, "proxy");
    EXPECT_EQ(r.Proxy.Password, "proxy-pw");
    EXPECT_EQ(r.Fingerprint, "AA:BB");
    EXPECT_EQ(GetTaskFtpUrl(ini), "ftps://srv:990/backup/%date%");
    EXPECT_EQ(GetTaskFileFtpUrl(TaskFile()), "ftps://srv:990/backup/%date%");
}

TEST_F(BuFtpDlgTest, MissingKeysGiveTheReadersDefaults)
{
    {
        auto ini = TUnicodeIniFile::CreateForWrite(TaskFile(), false);
        ini.WriteInteger("Ftp", "Timeout", 30000);
        ini.WriteInteger("Ftp", "TimeOffset", 4936);
        ini.WriteString("Ftp", "ReplChar", ":*");
        ini.WriteInteger("Ftp", "UseFTPS", 9);
    }
    TFtpParams r;
    LoadFtpParams(TaskFile(), r);
    EXPECT_EQ(r.ConnTimeout, 60000);
    EXPECT_EQ(r.ResponseTimeOut, 30000);
    EXPECT_TRUE(r.UseTimeOffset);
    EXPECT_EQ(r.TimeOffset, 120);
    EXPECT_EQ(r.CaseMode, tcLower);
    EXPECT_EQ(r.InvalidChars, ":*");
    EXPECT_EQ(r.SecureMode, 0);
    EXPECT_TRUE(r.Passive);

    TFtpParams d;
    d.Host = "x";
    LoadFtpParams(sandbox.Path("no-such.buj"), d);
    EXPECT_EQ(d.Host, "");
    EXPECT_EQ(d.CaseMode, tcNone);
}

TEST_F(BuFtpDlgTest, UrlTexts)
{
    TFtpParams p;
    InitFtpParams(p);
    EXPECT_EQ(MakeFtpUrl(p, "x"), "");
    p.Host = "srv";
    EXPECT_EQ(MakeFtpUrl(p, "backup"), "ftp://srv:21/backup");
    EXPECT_EQ(GetFtpUrl(p), "ftp://srv:21/");
    p.Host = "::1";
    p.UseIPv6 = true;
    EXPECT_EQ(GetFtpUrl(p), "ftp://[::1]:21/");
}

TEST_F(BuFtpDlgTest, ConnectionAsksOnceForAMissingPasswordAndEntersTheDirectory)
{
    VASTREL_REQUIRE_SERVER(PyFtpServer::MissingReason());
    PyFtpServer server(sandbox.Path("srv"), "plain");
    ASSERT_TRUE(server.Started()) << server.Error();
    TFtpParams p;
    InitFtpParams(p);
    p.Host = "127.0.0.1";
    p.Port = server.Port();
    p.Username = PyFtpServer::User;
    p.Directory = "tasks/one";
    p.ConnTimeout = p.ResponseTimeOut = 3000;
    std::unique_ptr<TExtFtp> ftp;
    int asked = 0;
    std::string text;
    EXPECT_FALSE(CreateFtpConnection(p, ftp, [&](const std::string&, const std::string& t, std::string&) {
        ++asked;
        text = t;
        return false;
    }));
    EXPECT_EQ(asked, 1);
    EXPECT_FALSE(ftp);
    EXPECT_EQ(text, "Connection to FTP server: 127.0.0.1:" + std::to_string(server.Port()) +
                        "\r\nfor user: tester\r\nrequires a password!");
    EXPECT_FALSE(CreateFtpConnection(p, ftp)); // nobody to ask
    ASSERT_TRUE(CreateFtpConnection(p, ftp, [](const std::string&, const std::string&, std::string& pwd) {
        pwd = PyFtpServer::Password;
        return true;
    }));
    ASSERT_TRUE(ftp);
    EXPECT_EQ(ftp->CurrentDir(), "/tasks/one");
    EXPECT_TRUE(std::filesystem::is_directory(server.Root() + "/tasks/one"));
    TFtpParams noUser = p;
    noUser.Username.clear();
    EXPECT_FALSE(CreateFtpConnection(noUser, ftp));
}

} // namespace
