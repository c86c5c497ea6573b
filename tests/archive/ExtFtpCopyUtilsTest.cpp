#include "archive/ExtFtpCopyUtils.h"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <utime.h>

#include <gtest/gtest.h>

#include "support/Files.h"
#include "support/FtpTestServer.h"
#include "support/Sandbox.h"
#include "support/Servers.h"
#include "support/Shell.h"

namespace fs = std::filesystem;

namespace {

std::string Sample(size_t size)
{
    std::string s;
    uint32_t x = 7;
    while (s.size() < size) {
        x = x * 1103515245u + 12345u;
        s += "line " + std::to_string(x % 1000) + " of text that compresses\n";
    }
    s.resize(size);
    return s;
}

class FtpThreadTest : public SandboxTest
{
protected:
    void SetUp() override { VASTREL_REQUIRE_SERVER(PyFtpServer::MissingReason()); }
    void StartServer(const std::vector<std::string>& faults = {})
    {
        server = std::make_unique<PyFtpServer>(sandbox.Path("srv"), "plain", faults);
        ASSERT_TRUE(server->Started()) << server->Error();
        ftp = std::make_unique<TExtFtp>();
        TFtpParams p;
        p.Host = "127.0.0.1";
        p.Port = server->Port();
        p.Username = PyFtpServer::User;
        p.ConnTimeout = p.ResponseTimeOut = 5000;
        ftp->SetParams(p);
        ftp->Password = PyFtpServer::Password;
        ASSERT_TRUE(ftp->DoConnect(1, false)) << ftp->IndyError();
        ASSERT_TRUE(ftp->SetRemoteDir("/"));
    }
    // Runs a worker to its end and returns its error word.
    int Run(TCopyThread& thread)
    {
        fs::create_directories(sandbox.Path("tmp"));
        thread.SetTempDir(sandbox.Path("tmp"));
        thread.SetOnProgress([this](TFileAction a, int64_t count, bool) {
            if (count < 0)
                phases.push_back(a);
        });
        thread.Start();
        EXPECT_TRUE(WaitForCopyThread(thread, 60));
        return thread.ErrorCode();
    }
    int64_t ServerSize(const std::string& name)
    {
        ftp->SetValidDirectoryListing(false);
        ftp->GetFileList();
        return ftp->GetSize(name);
    }

    std::unique_ptr<PyFtpServer> server;
    std::unique_ptr<TExtFtp> ftp;
    std::vector<TFileAction> phases;
};

struct Format
{
    const char* name;
    bool compress, zip, encrypt;
};

class FtpThreadFormatTest : public FtpThreadTest, public ::testing::WithParamInterface<Format>
{
};

TEST_P(FtpThreadFormatTest, UploadRestoreAndCompare)
{
    StartServer();
    const Format& f = GetParam();
    std::string source = sandbox.Path("source.txt");
    std::string data = Sample(200000);
    WriteFileBytes(source, data);
    struct utimbuf times;
    times.actime = times.modtime = 1600000000;
    utime(source.c_str(), &times);
    std::unique_ptr<TEncryption> enc;
    if (f.encrypt)
        enc = std::make_unique<TEncryption>("a long enough password", 3, 65536);
    TCopyOptions options{coVerify};
    if (f.compress)
        options.Include(coCompress);
    if (f.zip)
        options.Include(coZipCompress);

    TWriteFtpThread up(ftp.get(), source, "/", "stored", enc.get(), options, true, 65536);
    ASSERT_EQ(Run(up), 0) << up.SysErrorMsg() << " " << ftp->IndyError();
    std::string stored = server->Root() + "/stored";
    ASSERT_TRUE(fs::exists(stored));
    EXPECT_EQ(up.FileSize(), f.zip ? 200000 : static_cast<int64_t>(fs::file_size(stored)));
    if (!f.compress && !f.zip && !f.encrypt) {
        EXPECT_EQ(ReadFileBytes(stored), data);
    }
    if (f.compress && !f.encrypt) {
        ShellResult r = RunShell("gzip -dc < " + ShellQuote(stored));
        EXPECT_EQ(r.output, data);
    }
    if (f.zip && !f.encrypt) {
        ShellResult r = RunShell("unzip -p " + ShellQuote(stored));
        EXPECT_EQ(r.output, data);
    }

    TReadFtpThread down(ftp.get(), "stored", sandbox.Path("restored.txt"), ServerSize("stored"), enc.get(),
                        f.compress, f.zip, true, 65536);
    ASSERT_EQ(Run(down), 0) << down.SysErrorMsg() << " " << ftp->IndyError();
    EXPECT_EQ(ReadFileBytes(sandbox.Path("restored.txt")), data);
    EXPECT_EQ(down.ModTime(), (f.compress || f.zip || f.encrypt) ? 1600000000u : 0u);

    TCompareFtpThread same(ftp.get(), "stored", source, ServerSize("stored"), enc.get(), f.compress, f.zip,
                           true, 65536);
    EXPECT_EQ(Run(same), 0) << same.SysErrorMsg();
    std::string changed = data;
    changed[1000] ^= 1;
    WriteFileBytes(source, changed);
    TCompareFtpThread differs(ftp.get(), "stored", source, ServerSize("stored"), enc.get(), f.compress, f.zip,
                              true, 65536);
    EXPECT_EQ(Run(differs) & 0xFFF, 286);
    WriteFileBytes(source, data + "x");
    TCompareFtpThread longer(ftp.get(), "stored", source, ServerSize("stored"), enc.get(), f.compress, f.zip,
                             true, 65536);
    EXPECT_EQ(Run(longer) & 0xFFF, 277);
    EXPECT_TRUE(fs::is_empty(sandbox.Path("tmp")));
}

INSTANTIATE_TEST_SUITE_P(
    Formats, FtpThreadFormatTest,
    ::testing::Values(Format{"Plain", false, false, false}, Format{"Gzip", true, false, false},
                      Format{"Zip", true, true, false}, Format{"GzipEncrypted", true, false, true},
                      Format{"Encrypted", false, false, true}, Format{"ZipEncrypted", false, true, true}),
    [](const auto& param) { return std::string(param.param.name); });

TEST_F(FtpThreadTest, FailuresGiveTheirErrorWords)
{
    StartServer();
    TWriteFtpThread missing(ftp.get(), sandbox.Path("nope"), "/", "x", nullptr, {}, true, 4096);
    EXPECT_EQ(Run(missing), 270 | 0x1000);
    WriteFileBytes(sandbox.Path("src"), "abc");
    TWriteFtpThread noName(ftp.get(), sandbox.Path("src"), "/", "", nullptr, {coCompress}, true, 4096);
    EXPECT_EQ(Run(noName), 257 | 0x2000);
    TReadFtpThread absent(ftp.get(), "absent", sandbox.Path("out"), 3, nullptr, false, false, true, 4096);
    EXPECT_EQ(Run(absent), 280 | 0x1000);
    EXPECT_FALSE(fs::exists(sandbox.Path("out")));
    TCompareFtpThread noLocal(ftp.get(), "x", sandbox.Path("no-local"), 3, nullptr, false, false, true, 4096);
    EXPECT_EQ(Run(noLocal), 270 | 0x1000);

    TEncryption enc("password", 1, 4096);
    TWriteFtpThread gz(ftp.get(), sandbox.Path("src"), "/", "enc.gz", &enc, {coCompress}, true, 4096);
    ASSERT_EQ(Run(gz), 0);
    TReadFtpThread noKey(ftp.get(), "enc.gz", sandbox.Path("out"), ServerSize("enc.gz"), nullptr, true, false,
                         true, 4096);
    EXPECT_EQ(Run(noKey), 267 | 0x3000);
}

TEST_F(FtpThreadTest, DataAboveAMebibyteGoThroughTemporaryFilesThatAreRemoved)
{
    StartServer();
    std::string data(3 * 1048576, '\0');
    uint32_t x = 1;
    for (char& c : data) {
        x = x * 1103515245u + 12345u;
        c = static_cast<char>(x >> 24);
    }
    WriteFileBytes(sandbox.Path("big"), data);
    TWriteFtpThread up(ftp.get(), sandbox.Path("big"), "/", "big.gz", nullptr, {coCompress, coVerify}, true,
                       65536);
    ASSERT_EQ(Run(up), 0) << up.SysErrorMsg();
    TReadFtpThread down(ftp.get(), "big.gz", sandbox.Path("back"), ServerSize("big.gz"), nullptr, true, false,
                        true, 65536);
    ASSERT_EQ(Run(down), 0) << down.SysErrorMsg();
    EXPECT_EQ(ReadFileBytes(sandbox.Path("back")), data);
    TCompareFtpThread cmp(ftp.get(), "big.gz", sandbox.Path("big"), ServerSize("big.gz"), nullptr, true,
                          false, true, 65536);
    EXPECT_EQ(Run(cmp), 0) << cmp.SysErrorMsg();
    EXPECT_TRUE(fs::is_empty(sandbox.Path("tmp")));
}

TEST_F(FtpThreadTest, CancelWaitsForTheTransferAndEndsWithUserBreak)
{
    StartServer({"--slow-on", "STOR:1"});
    WriteFileBytes(sandbox.Path("src"), Sample(1000));
    TWriteFtpThread up(ftp.get(), sandbox.Path("src"), "/", "slow", nullptr, {}, true, 4096);
    up.SetTempDir(sandbox.Path());
    up.Start();
    up.CancelThread();
    EXPECT_TRUE(up.Done());
    EXPECT_EQ(up.ErrorCode(), 128 | 0x1000);
}

} // namespace
