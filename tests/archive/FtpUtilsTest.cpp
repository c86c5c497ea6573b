#include "archive/FtpUtils.h"

#include <arpa/inet.h>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <netinet/in.h>
#include <sstream>
#include <sys/socket.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <utime.h>

#include <gtest/gtest.h>

#include "support/Files.h"
#include "support/FtpTestServer.h"
#include "support/Sandbox.h"
#include "support/Servers.h"
#include "support/Shell.h"

namespace fs = std::filesystem;

namespace {

std::string Pattern(size_t size)
{
    std::string s(size, '\0');
    uint32_t x = 12345;
    for (size_t i = 0; i < size; ++i) {
        x = x * 1103515245u + 12345u;
        s[i] = static_cast<char>(x >> 24);
    }
    return s;
}

int64_t MtimeOf(const std::string& name)
{
    struct stat st;
    return stat(name.c_str(), &st) == 0 ? st.st_mtime : -1;
}

class FtpFixture : public SandboxTest
{
protected:
    std::unique_ptr<TExtFtp> MakeFtp(int port, int secureMode, const std::string& user = PyFtpServer::User,
                                     const std::string& password = PyFtpServer::Password)
    {
        auto ftp = std::make_unique<TExtFtp>();
        TFtpParams p;
        p.Host = "127.0.0.1";
        p.Port = port;
        p.Username = user;
        p.SecureMode = secureMode;
        p.ConnTimeout = 3000;
        p.ResponseTimeOut = 3000;
        p.ConnAttempts = 3;
        p.WriteLog = true;
        ftp->SetParams(p);
        ftp->Password = password;
        ftp->SetLogname(LogName());
        ftp->SetTempDir(sandbox.Path("tmp"));
        return ftp;
    }
    std::string LogName() const { return sandbox.Path("QvFtp.log"); }
    std::string Log() const { return ReadFileBytes(LogName()); }
};

// --- against pyftpdlib in each security mode

struct Mode
{
    const char* server;
    int secureMode;
};

class FtpModeTest : public FtpFixture, public ::testing::WithParamInterface<Mode>
{
protected:
    void SetUp() override
    {
        VASTREL_REQUIRE_SERVER(PyFtpServer::MissingReason());
        server = std::make_unique<PyFtpServer>(sandbox.Path("srv"), GetParam().server);
        ASSERT_TRUE(server->Started()) << server->Error();
        ftp = MakeFtp(server->Port(), GetParam().secureMode);
        ASSERT_TRUE(ftp->DoConnect(1, false)) << ftp->IndyError();
        EXPECT_EQ(ftp->IsSecure(), GetParam().secureMode > 0);
    }
    std::string OnServer(const std::string& rel) const { return server->Root() + "/" + rel; }

    std::unique_ptr<PyFtpServer> server;
    std::unique_ptr<TExtFtp> ftp;
};

TEST_P(FtpModeTest, UploadDownloadCompareRenameDelete)
{
    ASSERT_TRUE(ftp->SetRemoteDir("backup/set 1"));
    EXPECT_EQ(ftp->CurrentDir(), "/backup/set 1");
    std::string data = Pattern(300000);
    TMemoryStream up(data);
    ASSERT_EQ(ftp->Flush(up, "a file.bin", false), 0u) << ftp->IndyError();
    EXPECT_EQ(ReadFileBytes(OnServer("backup/set 1/a file.bin")), data);
    EXPECT_TRUE(ftp->FtpFileExists("a file.bin"));
    EXPECT_EQ(ftp->GetSize("a file.bin"), 300000);
    EXPECT_FALSE(ftp->CheckSize("a file.bin", 300000));

    TMemoryStream down;
    down.WriteBuffer("stale", 5);
    ASSERT_EQ(ftp->Fill("a file.bin", down), 0u) << ftp->IndyError();
    EXPECT_EQ(down.GetPosition(), 0);
    EXPECT_EQ(down.DataString(), data);

    TMemoryStream tail(std::string("+more"));
    ASSERT_EQ(ftp->Flush(tail, "a file.bin", true), 0u);
    EXPECT_EQ(ReadFileBytes(OnServer("backup/set 1/a file.bin")), data + "+more");

    WriteFileBytes(sandbox.Path("local.txt"), "local text");
    EXPECT_EQ(ftp->CopyFile(sandbox.Path("local.txt"), "local.txt"), 0u);
    EXPECT_EQ(ReadFileBytes(OnServer("backup/set 1/local.txt")), "local text");
    EXPECT_EQ(ftp->CopyFile(sandbox.Path("missing.txt"), "x"), 258u);

    ASSERT_TRUE(ftp->RenameFile("a file.bin", "renamed.bin", true));
    EXPECT_TRUE(fs::exists(OnServer("backup/set 1/renamed.bin")));
    EXPECT_FALSE(ftp->FtpFileExists("a file.bin"));
    EXPECT_EQ(ftp->DeleteExistingFile("a file.bin"), 0);
    EXPECT_EQ(ftp->DeleteExistingFile("renamed.bin"), 1);
    EXPECT_FALSE(fs::exists(OnServer("backup/set 1/renamed.bin")));
    EXPECT_FALSE(ftp->DeleteFile("renamed.bin", true));

    TMemoryStream none;
    EXPECT_EQ(ftp->Fill("no such file", none), 280u);
    EXPECT_NE(ftp->IndyError().find("Reported error: 550"), std::string::npos);
}

TEST_P(FtpModeTest, FoldersAreCreatedWalkedAndDeleted)
{
    std::string start = ftp->RemoteDir();
    ASSERT_TRUE(ftp->ForceDir("a/b/c"));
    EXPECT_EQ(ftp->DCount(), 3);
    EXPECT_TRUE(fs::is_directory(OnServer("a/b/c")));
    TMemoryStream one(std::string("1"));
    ASSERT_EQ(ftp->Flush(one, "deep.txt", false), 0u);
    ASSERT_TRUE(ftp->ForceDirUp());
    EXPECT_EQ(ftp->CurrentDir(), start);
    ASSERT_TRUE(ftp->ForceDir("a/b"));
    EXPECT_EQ(ftp->DCount(), 2); // existed as a whole
    ASSERT_TRUE(ftp->ForceDirUp());
    ASSERT_TRUE(ftp->ForceDir("/x/y"));
    EXPECT_EQ(ftp->DCount(), 0);
    EXPECT_EQ(ftp->CurrentDir(), "/x/y");
    ASSERT_TRUE(ftp->ChangeToDir("/"));

    fs::create_directories(OnServer("a/empty1/empty2"));
    fs::create_directories(OnServer("a/b/emptyToo"));
    WriteFileBytes(OnServer("a/top.txt"), "t");
    EXPECT_TRUE(ftp->FtpDirExists("a"));
    EXPECT_EQ(ftp->DirFiles("a"), 2);
    EXPECT_EQ(ftp->CurrentDir(), "/");

    int dirs = 0;
    ASSERT_TRUE(ftp->DeleteEmptyDirs("a", true, dirs));
    EXPECT_EQ(dirs, 3); // empty1/empty2, empty1, b/emptyToo
    EXPECT_TRUE(fs::exists(OnServer("a/b/c/deep.txt")));
    EXPECT_FALSE(fs::exists(OnServer("a/empty1")));

    EXPECT_EQ(ftp->ChangeToNewDir("made"), 1);
    EXPECT_EQ(ftp->CurrentDir(), "/made");
    EXPECT_EQ(ftp->ChangeToNewDir(""), 0);
    ASSERT_TRUE(ftp->ChangeOneDirUp());
    EXPECT_EQ(ftp->ChangeToNewDir("made"), 0);
    ASSERT_TRUE(ftp->ChangeOneDirUp());

    int files = 0;
    ASSERT_TRUE(ftp->DeleteTree("a", true, files));
    EXPECT_EQ(files, 2);
    EXPECT_FALSE(fs::exists(OnServer("a")));
    EXPECT_EQ(ftp->DirFiles("does-not-exist"), 0);
    EXPECT_FALSE(ftp->ChangeToDir("does-not-exist"));
}

TEST_P(FtpModeTest, TimeStampsAreReadAndSet)
{
    TMemoryStream data(std::string("stamp"));
    ASSERT_EQ(ftp->Flush(data, "t.txt", false), 0u);
    TDateTime utc = EncodeDateTime(2021, 6, 15, 8, 30, 0, 0);
    ASSERT_TRUE(ftp->SetTimeStamp("t.txt", utc, true)) << ftp->IndyError();
    EXPECT_EQ(MtimeOf(OnServer("t.txt")), DateTimeToUnix(utc));
    ftp->SetValidDirectoryListing(false);
    ASSERT_TRUE(ftp->GetFileList());
    EXPECT_NEAR(ftp->GetTimeStamp("t.txt", true), utc, 1e-6);
    EXPECT_NEAR(ftp->GetModTime("t.txt", true), utc, 1e-6);
    EXPECT_EQ(ftp->CheckTimeStamp("t.txt", utc + 1 / 86400.0, 2, true), 2);
    EXPECT_EQ(ftp->CheckTimeStamp("t.txt", utc + 3 / 86400.0, 2, true), 1);
    EXPECT_EQ(ftp->CheckTimeStamp("t.txt", utc - 3 / 86400.0, 2, true), 3);
    EXPECT_EQ(ftp->CheckTimeStamp("missing", utc, 2, true), 0);
    EXPECT_NE(ftp->GetLocalFileTime("t.txt"), 0u);

    // From a local file dated two days ahead: the current time is set instead.
    WriteFileBytes(sandbox.Path("future.txt"), "f");
    struct utimbuf times;
    times.actime = times.modtime = time(nullptr) + 2 * 86400;
    utime(sandbox.Path("future.txt").c_str(), &times);
    ASSERT_TRUE(ftp->SetTimeStampFromFile(sandbox.Path("future.txt"), "t.txt", true));
    EXPECT_NEAR(static_cast<double>(MtimeOf(OnServer("t.txt"))), static_cast<double>(time(nullptr)), 5);
    EXPECT_FALSE(ftp->SetTimeStampFromFile(sandbox.Path("no-such-file"), "t.txt", true));
}

TEST_P(FtpModeTest, ListingIsCachedUntilTheDirectoryChanges)
{
    WriteFileBytes(OnServer("first.txt"), "1");
    ASSERT_TRUE(ftp->GetFileList());
    EXPECT_TRUE(ftp->ValidDirectoryListing());
    EXPECT_EQ(ftp->FileList().Count(), 1);
    WriteFileBytes(OnServer("second.txt"), "22");
    fs::create_directories(OnServer("sub"));
    EXPECT_FALSE(ftp->FtpFileExists("second.txt")); // from the cache
    ASSERT_TRUE(ftp->ChangeToDir("/"));
    EXPECT_FALSE(ftp->ValidDirectoryListing());
    EXPECT_TRUE(ftp->FtpFileExists("second.txt"));
    EXPECT_EQ(ftp->GetSize("second.txt"), 2);
    TDirectoryList dirs;
    ASSERT_TRUE(ftp->GetDirList(&dirs));
    ASSERT_EQ(dirs.Count(), 1);
    EXPECT_EQ(dirs.Strings(0), "sub");
    EXPECT_FALSE(ftp->GetFileList(nullptr));
    EXPECT_EQ(ftp->DeleteMatchingFiles("*.TXT"), 2);
    EXPECT_FALSE(fs::exists(OnServer("first.txt")));
    EXPECT_EQ(ftp->DeleteSubDirFile("sub", "x"), 2);
    WriteFileBytes(OnServer("sub/x"), "x");
    EXPECT_EQ(ftp->DeleteSubDirFile("sub", "x"), 1);
    EXPECT_FALSE(fs::exists(OnServer("sub/x")));
}

INSTANTIATE_TEST_SUITE_P(Modes, FtpModeTest,
                         ::testing::Values(Mode{"plain", 0}, Mode{"explicit", 2}, Mode{"implicit", 3}),
                         [](const auto& param) { return std::string(param.param.server); });

// --- reconnection and broken servers

class FtpFaultTest : public FtpFixture
{
protected:
    void SetUp() override { VASTREL_REQUIRE_SERVER(PyFtpServer::MissingReason()); }
    std::unique_ptr<PyFtpServer> Start(const std::string& mode, const std::vector<std::string>& faults)
    {
        auto s = std::make_unique<PyFtpServer>(sandbox.Path("srv"), mode, faults);
        EXPECT_TRUE(s->Started()) << s->Error();
        return s;
    }
};

TEST_F(FtpFaultTest, TransfersSurviveDroppedConnectionsInPlainAndTls)
{
    struct Case
    {
        const char* mode;
        int secure;
        std::vector<std::string> faults;
    } cases[] = {
        {"plain", 0, {"--drop-control-on", "STOR", "--drop-control-on", "RETR"}},
        {"plain", 0, {"--drop-data-after", "70000:2"}},
        {"explicit", 2, {"--drop-data-after", "70000:2"}},
        {"plain", 0, {"--reply-421-on", "STOR", "--reply-421-on", "RETR"}},
    };
    std::string data = Pattern(200000);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.faults[0] + " " + c.faults[1] + " " + c.mode);
        fs::remove_all(sandbox.Path("srv"));
        auto server = Start(c.mode, c.faults);
        ASSERT_TRUE(server->Started());
        auto ftp = MakeFtp(server->Port(), c.secure);
        ASSERT_TRUE(ftp->DoConnect(1, false)) << ftp->IndyError();
        TMemoryStream up(data);
        ASSERT_EQ(ftp->Flush(up, "f.bin", false), 0u) << ftp->IndyError();
        EXPECT_EQ(ReadFileBytes(server->Root() + "/f.bin"), data);
        TMemoryStream down;
        ASSERT_EQ(ftp->Fill("f.bin", down), 0u) << ftp->IndyError();
        EXPECT_EQ(down.DataString(), data);
        EXPECT_NE(Log().find("Trying to reconnect"), std::string::npos);
        fs::remove(LogName());
    }
}

TEST_F(FtpFaultTest, DirectoryChangeReconnectsAfterALostConnection)
{
    auto server = Start("plain", {"--reply-421-on", "CWD"});
    fs::create_directories(server->Root() + "/d");
    auto ftp = MakeFtp(server->Port(), 0);
    ASSERT_TRUE(ftp->DoConnect(1, false));
    EXPECT_TRUE(ftp->ChangeToDir("/d"));
    EXPECT_EQ(ftp->CurrentDir(), "/d");
    EXPECT_TRUE(ftp->GetFileList());
}

TEST_F(FtpFaultTest, RetriesAreBoundedByTheRetryCountAndTheCancelFlag)
{
    auto server = Start("plain", {"--drop-control-on", "STOR:1000"});
    auto ftp = MakeFtp(server->Port(), 0);
    ftp->MaxRetries = 2;
    ASSERT_TRUE(ftp->DoConnect(1, false));
    TMemoryStream up(std::string("data"));
    EXPECT_EQ(ftp->Flush(up, "f.bin", false), 283u);
    std::string log = Log();
    size_t count = 0;
    for (size_t p = log.find("Trying to reconnect"); p != std::string::npos;
         p = log.find("Trying to reconnect", p + 1))
        ++count;
    EXPECT_EQ(count, 2u);

    ASSERT_TRUE(ftp->ReConnect("", true, false));
    bool cancel = true;
    ftp->OnCheckCancel = [&cancel] { return cancel; };
    fs::remove(LogName());
    EXPECT_EQ(ftp->Flush(up, "f.bin", false), 283u);
    EXPECT_EQ(Log().find("Trying to reconnect"), std::string::npos);

    cancel = false;
    ASSERT_TRUE(ftp->ReConnect("", true, false));
    ftp->AbortTransfer();
    TMemoryStream down;
    WriteFileBytes(server->Root() + "/g.bin", "g");
    // AbortTransfer is cleared at the start of each transfer: a fresh download works.
    EXPECT_EQ(ftp->Fill("g.bin", down), 0u);
}

TEST_F(FtpFaultTest, HostileServersEndWithinTheirTimeOutsAndNeverCrash)
{
    {
        auto server = Start("plain", {"--garbage-list"});
        WriteFileBytes(server->Root() + "/x", "x");
        auto ftp = MakeFtp(server->Port(), 0);
        ASSERT_TRUE(ftp->DoConnect(1, false));
        EXPECT_TRUE(ftp->GetFileList());
        EXPECT_LE(ftp->FileList().Count(), 1);
    }
    {
        auto server = Start("plain", {"--slow-on", "MLSD:2:5", "--slow-on", "CWD:2:5"});
        auto ftp = MakeFtp(server->Port(), 0);
        TFtpParams p;
        ASSERT_TRUE(ftp->DoConnect(1, false));
        ftp->ReadTimeout = 500;
        ftp->MaxRetries = 1;
        auto start = std::chrono::steady_clock::now();
        EXPECT_FALSE(ftp->GetFileList());
        EXPECT_NE(ftp->IndyError().find("timed out"), std::string::npos);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(15));
    }
}

TEST_F(FtpFaultTest, ServersWithoutMlsdAreListedWithListAndAskedForTimes)
{
    for (const char* style : {"--no-mlsd", "--dos-list"}) {
        SCOPED_TRACE(style);
        std::vector<std::string> args = {"--no-mlsd"};
        if (std::string(style) == "--dos-list")
            args.push_back(style);
        auto server = Start("plain", args);
        WriteFileBytes(server->Root() + "/listed file.txt", "12345");
        fs::create_directories(server->Root() + "/folder");
        auto ftp = MakeFtp(server->Port(), 0);
        ASSERT_TRUE(ftp->DoConnect(1, false));
        EXPECT_FALSE(ftp->SupportsMLSD());
        ASSERT_TRUE(ftp->GetFileList());
        ASSERT_EQ(ftp->FileList().Count(), 1);
        EXPECT_EQ(ftp->FileList().Strings(0), "listed file.txt");
        EXPECT_EQ(ftp->GetSize("listed file.txt"), 5);
        EXPECT_TRUE(ftp->FtpDirExists("folder"));
        TDateTime utc = EncodeDateTime(2020, 2, 3, 4, 5, 6, 0);
        ASSERT_TRUE(ftp->SetTimeStamp("listed file.txt", utc, true));
        // Without MLSD the time comes from MDTM, to the second.
        EXPECT_NEAR(ftp->GetTimeStamp("listed file.txt", true), utc, 1e-6);
    }
}

// --- certificates, logs and texts

TEST_F(FtpFaultTest, CertificateFingerprintsAreAcceptedAndRefusedAsConfigured)
{
    auto server = Start("explicit", {});
    const TestCertificate& cert = TestCertificate::Get();
    auto ftp = MakeFtp(server->Port(), 2);
    ftp->VerifyPeerMode = 2;
    std::string lower = cert.Md5Fingerprint;
    for (char& c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    ftp->PeerFingerprint = lower;
    ASSERT_TRUE(ftp->DoConnect(1, true)) << ftp->IndyError();
    EXPECT_EQ(ftp->Fingerprint(), cert.Md5Fingerprint);
    EXPECT_EQ(ftp->CertInfo().Issuer, "/CN=localhost");
    EXPECT_GT(ftp->CertInfo().ValidUntil, Now());

    ftp->Disconnect();
    ftp->PeerFingerprint = "00:11:22:33:44:55:66:77:88:99:AA:BB:CC:DD:EE:FF";
    EXPECT_FALSE(ftp->DoConnect(1, true));
    EXPECT_EQ(ftp->IndyError(), "Reported error: Error verifying server certificate");
    EXPECT_FALSE(ftp->Connected());

    ftp->VerifyPeerMode = 1;
    EXPECT_FALSE(ftp->DoConnect(1, true)); // nobody to ask
    TCerticateInfo seen;
    ftp->OnConfirmCert = [&seen](const TCerticateInfo& info) {
        seen = info;
        return true;
    };
    EXPECT_TRUE(ftp->DoConnect(1, true));
    EXPECT_EQ(seen.Fingerprint, cert.Md5Fingerprint);
    EXPECT_EQ(seen.Server, "ftps://127.0.0.1:" + std::to_string(server->Port()));
    ftp->OnConfirmCert = [](const TCerticateInfo&) { return false; };
    EXPECT_FALSE(ftp->DoConnect(1, true));
    EXPECT_TRUE(ftp->DoConnect(1, false)); // no check asked for
}

TEST_F(FtpFaultTest, ProtocolLogHasStatusLinesAndNeverThePassword)
{
    auto server = Start("explicit", {"--drop-control-on", "STOR"});
    auto ftp = MakeFtp(server->Port(), 1);
    ASSERT_TRUE(ftp->DoConnect(1, false));
    TMemoryStream up(std::string("x"));
    ASSERT_EQ(ftp->Flush(up, "f", false), 0u);
    auto bad = MakeFtp(server->Port(), 1, PyFtpServer::User, "wrong-Pw-9");
    EXPECT_FALSE(bad->DoConnect(2, false));
    std::string log = Log();
    EXPECT_NE(log.find("Connection to FTP server: 127.0.0.1:" + std::to_string(server->Port())),
              std::string::npos);
    EXPECT_NE(log.find("Sent: PASS ***"), std::string::npos);
    EXPECT_NE(log.find("Trying to reconnect - "), std::string::npos);
    EXPECT_NE(log.find("Reported error: 530"), std::string::npos);
    EXPECT_EQ(log.find(PyFtpServer::Password), std::string::npos);
    EXPECT_EQ(log.find("wrong-Pw-9"), std::string::npos);
}

TEST_F(FtpFaultTest, ConnectionAttemptsKeepTheFirstError)
{
    int port;
    {
        auto server = Start("plain", {});
        port = server->Port();
    }
    auto ftp = MakeFtp(port, 0);
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(ftp->DoConnect(3, false));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(400));
    std::string err = ftp->IndyError();
    EXPECT_NE(err.find("Reported error: Socket Error # 111<LF>"), std::string::npos) << err;
    EXPECT_EQ(ftp->IndyError().rfind("Last FTP response: ", 0), 0u);
    TMemoryStream s;
    EXPECT_EQ(ftp->Flush(s, "x", false), 282u);
}

// --- vsftpd: LIST without MLSD, TLS with required session reuse

class VsftpdTest : public FtpFixture, public ::testing::WithParamInterface<bool>
{
};

TEST_P(VsftpdTest, TransfersListingsAndTimeStamps)
{
    VsftpdServer server(GetParam());
    VASTREL_REQUIRE_SERVER(server.SkipReason());
    auto ftp = MakeFtp(server.Port(), GetParam() ? 2 : 0, server.User(), VsftpdServer::Password);
    ASSERT_TRUE(ftp->DoConnect(1, false)) << ftp->IndyError() << "\n" << Log();
    EXPECT_EQ(ftp->IsSecure(), GetParam());
    EXPECT_FALSE(ftp->SupportsMLSD());
    ASSERT_TRUE(ftp->SetRemoteDir("sub dir"));
    std::string data = Pattern(150000);
    TMemoryStream up(data);
    ASSERT_EQ(ftp->Flush(up, "v.bin", false), 0u) << ftp->IndyError() << "\n" << Log();
    EXPECT_EQ(ReadFileBytes(server.Root() + "/sub dir/v.bin"), data);
    TMemoryStream down;
    ASSERT_EQ(ftp->Fill("v.bin", down), 0u) << ftp->IndyError();
    EXPECT_EQ(down.DataString(), data);
    ASSERT_TRUE(ftp->GetFileList());
    EXPECT_EQ(ftp->GetSize("v.bin"), 150000);
    TDateTime utc = EncodeDateTime(2019, 11, 12, 13, 14, 15, 0);
    ASSERT_TRUE(ftp->SetTimeStamp("v.bin", utc, true)) << ftp->IndyError();
    EXPECT_EQ(MtimeOf(server.Root() + "/sub dir/v.bin"), DateTimeToUnix(utc));
    EXPECT_NEAR(ftp->GetTimeStamp("v.bin", true), utc, 1e-6);
    ASSERT_TRUE(ftp->RenameFile("v.bin", "w.bin", true));
    ASSERT_TRUE(ftp->ChangeOneDirUp());
    int files = 0;
    ASSERT_TRUE(ftp->DeleteTree("sub dir", true, files));
    EXPECT_EQ(files, 1);
    EXPECT_FALSE(fs::exists(server.Root() + "/sub dir"));
}

INSTANTIATE_TEST_SUITE_P(Security, VsftpdTest, ::testing::Bool(),
                         [](const auto& param) { return std::string(param.param ? "Tls" : "Plain"); });

// --- without a server

TEST(FtpNamesTest, NamesAreMappedQuotedAndRestored)
{
    TExtFtp ftp;
    ftp.ReplaceChars = ":";
    ftp.CaseMode = tcUpper;
    EXPECT_EQ(ftp.ModifyName("a:b"), "A%003AB");
    EXPECT_EQ(ftp.RetrieveName("A%003AB"), "A:B");
    ftp.ReplaceChars.clear();
    ftp.CaseMode = tcNone;
    EXPECT_EQ(ftp.RetrieveName("x%003Ay"), "x%003Ay");
    EXPECT_EQ(ftp.MakeQuotedPath("a b"), "a b");
    ftp.UseQuotes = true;
    EXPECT_EQ(ftp.MakeQuotedPath("a b"), "\"a b\"");
    EXPECT_EQ(ftp.MakeQuotedPath("say \"hi\" now"), "\"say \"\"hi\"\" now\"");
    EXPECT_EQ(ftp.MakeQuotedPath("ab"), "ab");
}

TEST(FtpNamesTest, SettingsTextsAndErrors)
{
    TExtFtp ftp;
    TFtpParams p;
    p.UseTimeOffset = false;
    p.TimeOffset = 120;
    p.Host = "::1";
    p.Port = 990;
    p.UseIPv6 = true;
    p.SecureMode = 3;
    ftp.SetParams(p);
    EXPECT_EQ(ftp.TimeOffset, 0);
    EXPECT_TRUE(ftp.CanUseTls());
    EXPECT_EQ(ftp.ServerName(), "ftps://[::1]:990");
    p.UseTimeOffset = true;
    p.UseIPv6 = false;
    p.SecureMode = 0;
    p.Host = "srv";
    ftp.SetParams(p);
    EXPECT_EQ(ftp.TimeOffset, 120);
    EXPECT_EQ(ftp.ServerName(), "ftp://srv:990");

    ftp.SetIndyError("  first\r\nline\rtwo\nthree ");
    ftp.SetIndyError("second");
    EXPECT_EQ(ftp.IndyError(), "Reported error: first<EOL>line<CR>two<LF>three");
    EXPECT_EQ(ftp.IndyError(), "Last FTP response: 0 ");
    EXPECT_EQ(ftp.CopyFile("/etc/hostname", ""), fs::exists("/etc/hostname") ? 257u : 258u);

    ftp.SetTempDir("/tmp/x");
    EXPECT_EQ(ftp.TempDir(), "/tmp/x/");
    ftp.SetTempDir("");
    EXPECT_EQ(ftp.TempDir(), "");
}

TEST(FtpPathTest, ServerPathHelpers)
{
    EXPECT_EQ(IncludeTrailingSlash(""), "");
    EXPECT_EQ(IncludeTrailingSlash("a"), "a/");
    EXPECT_EQ(IncludeTrailingSlash("a/"), "a/");
    EXPECT_EQ(IncludeLeadingSlash(""), "/");
    EXPECT_EQ(IncludeLeadingSlash("a"), "/a");
    EXPECT_EQ(ExcludeTrailingSlash("/a/"), "/a");
    EXPECT_TRUE(IsAbsoluteFtpPath("/a"));
    EXPECT_FALSE(IsAbsoluteFtpPath(""));
    EXPECT_EQ(ToFtpPath("a\\b\\c"), "a/b/c");
    EXPECT_EQ(ExtractAfterLastDelimiter("/\\", "a/b\\c"), "c");
    EXPECT_EQ(ExtractAfterLastDelimiter("/", "abc"), "abc");
    EXPECT_EQ(ExtractFtpParentDir("a/b\\c"), "a/b");
    EXPECT_EQ(ExtractFtpParentDir("abc"), "");
    EXPECT_EQ(JoinFtpPath("", "n"), "n");
    EXPECT_EQ(JoinFtpPath("d", "n"), "d/n");
    EXPECT_EQ(ExtractRelativeFtpPath("/Base", "/base/x/y"), "/x/y");
    EXPECT_EQ(ExtractRelativeFtpPath("/other", "/base/x"), "");
}

} // namespace

namespace {

// A scripted FTP peer that answers every command and records what it received.
class RecordingFtpPeer
{
public:
    RecordingFtpPeer()
    {
        FListen = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(FListen, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        listen(FListen, 1);
        socklen_t len = sizeof addr;
        getsockname(FListen, reinterpret_cast<sockaddr*>(&addr), &len);
        FPort = ntohs(addr.sin_port);
        FThread = std::thread([this] { Serve(); });
    }
    ~RecordingFtpPeer()
    {
        shutdown(FListen, SHUT_RDWR);
        FThread.join();
        close(FListen);
    }
    int Port() const { return FPort; }
    std::vector<std::string> Commands()
    {
        std::lock_guard<std::mutex> g(FLock);
        return FCommands;
    }

private:
    void Serve()
    {
        int fd = accept(FListen, nullptr, nullptr);
        if (fd < 0)
            return;
        auto say = [fd](const std::string& s) { send(fd, s.data(), s.size(), MSG_NOSIGNAL); };
        say("220 proxy ready\r\n");
        std::string line;
        char c;
        while (recv(fd, &c, 1, 0) == 1) {
            if (c != '\n') {
                if (c != '\r')
                    line += c;
                continue;
            }
            {
                std::lock_guard<std::mutex> g(FLock);
                FCommands.push_back(line);
            }
            std::string verb = line.substr(0, line.find(' '));
            if (verb == "USER")
                say("331 password please\r\n");
            else if (verb == "PASS" || verb == "ACCT")
                say("230 logged in\r\n");
            else if (verb == "FEAT")
                say("211-Features:\r\n UTF8\r\n211 End\r\n");
            else if (verb == "PWD")
                say("257 \"/\" is current\r\n");
            else if (verb == "QUIT") {
                say("221 bye\r\n");
                break;
            } else
                say("200 ok\r\n");
            line.clear();
        }
        close(fd);
    }

    int FListen = -1;
    int FPort = 0;
    std::thread FThread;
    std::mutex FLock;
    std::vector<std::string> FCommands;
};

TEST(FtpProxyTest, EachProxyTypeLogsInWithItsCommandSequence)
{
    struct Case
    {
        TIdFtpProxyType type;
        std::vector<std::string> login;
    } cases[] = {
        {fpcmUserSite, {"USER fw", "PASS fwpw", "USER anna@srv:2100", "PASS pw"}},
        {fpcmSite, {"USER fw", "PASS fwpw", "SITE srv:2100", "USER anna", "PASS pw"}},
        {fpcmOpen, {"USER fw", "PASS fwpw", "OPEN srv:2100", "USER anna", "PASS pw"}},
        {fpcmUserPass, {"USER anna@fw@srv:2100", "PASS pw@fwpw"}},
        {fpcmTransparent, {"USER fw", "PASS fwpw", "USER anna", "PASS pw"}},
        {fpcmUserHostFireWallID, {"USER anna@srv:2100 fw", "PASS pw", "ACCT fwpw"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.type));
        RecordingFtpPeer proxy;
        TExtFtp ftp;
        ftp.Host = "srv";
        ftp.Port = 2100;
        ftp.UseHOST = false;
        ftp.Username = "anna";
        ftp.Password = "pw";
        ftp.ConnectTimeout = ftp.ReadTimeout = 2000;
        ftp.ProxySettings = {c.type, "127.0.0.1", proxy.Port(), "fw", "fwpw"};
        ASSERT_TRUE(ftp.DoConnect(1, false)) << ftp.IndyError();
        ftp.Disconnect();
        std::vector<std::string> got = proxy.Commands();
        ASSERT_GE(got.size(), c.login.size());
        EXPECT_EQ(std::vector<std::string>(got.begin(), got.begin() + static_cast<long>(c.login.size())),
                  c.login);
    }
}

} // namespace

TEST_F(FtpFaultTest, ActiveModeTransfersInPlainAndTls)
{
    for (auto [mode, secure] : {std::pair<const char*, int>{"plain", 0}, {"explicit", 2}}) {
        SCOPED_TRACE(mode);
        auto server = Start(mode, {});
        auto ftp = MakeFtp(server->Port(), secure);
        ftp->Passive = false;
        ASSERT_TRUE(ftp->DoConnect(1, false)) << ftp->IndyError();
        TMemoryStream up(std::string("active data"));
        ASSERT_EQ(ftp->Flush(up, "a.txt", false), 0u) << ftp->IndyError();
        TMemoryStream down;
        ASSERT_EQ(ftp->Fill("a.txt", down), 0u) << ftp->IndyError();
        EXPECT_EQ(down.DataString(), "active data");
        EXPECT_TRUE(ftp->FtpFileExists("a.txt"));
        fs::remove_all(sandbox.Path("srv"));
    }
}

TEST_F(FtpFaultTest, ClientCertificateFilesAreUsedWhenPresentAndTlsWorksWithout)
{
    VASTREL_REQUIRE_TOOL("openssl");
    std::string dir = sandbox.Path("certs/");
    fs::create_directories(dir);
    ShellResult r =
        RunShell("cd " + ShellQuote(dir) +
                 " && openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -keyout Vastrel.key"
                 " -out Vastrel.crt -days 2 -subj /CN=client -passout pass:KeyPw1 2>&1"
                 " && cp Vastrel.crt Vastrelroot.pem");
    ASSERT_EQ(r.exitCode, 0) << r.output;
    TTlsContext good({dir + "Vastrelroot.pem", dir + "Vastrel.crt", dir + "Vastrel.key", "KeyPw1"});
    EXPECT_TRUE(good.HasClientCertificate()) << good.LoadError();
    TTlsContext wrong({"", dir + "Vastrel.crt", dir + "Vastrel.key", "nope"});
    EXPECT_FALSE(wrong.HasClientCertificate());
    EXPECT_FALSE(wrong.LoadError().empty());
    TTlsContext none({"", dir + "missing.crt", dir + "missing.key", ""});
    EXPECT_FALSE(none.HasClientCertificate());
    EXPECT_TRUE(none.LoadError().empty());

    auto server = Start("explicit", {});
    for (const std::string& certDir : {dir, sandbox.Path("no-certs/")}) {
        SCOPED_TRACE(certDir);
        TExtFtp ftp(certDir, "Vastrelroot.pem", "Vastrel.crt", "Vastrel.key", "KeyPw1");
        TFtpParams p;
        p.Host = "127.0.0.1";
        p.Port = server->Port();
        p.Username = PyFtpServer::User;
        p.SecureMode = 2;
        p.ConnTimeout = p.ResponseTimeOut = 3000;
        ftp.SetParams(p);
        ftp.Password = PyFtpServer::Password;
        ASSERT_TRUE(ftp.DoConnect(1, false)) << ftp.IndyError();
        EXPECT_TRUE(ftp.IsSecure());
        ASSERT_TRUE(ftp.TlsContext);
        EXPECT_EQ(ftp.TlsContext->HasClientCertificate(), certDir == dir);
    }
}
