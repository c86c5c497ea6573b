// Whole runs of the program to FTP servers on 127.0.0.1: pyftpdlib (plain and TLS, with faults) and
// vsftpd with TLS. The server's folder is read back from the disk it serves.
#include <gtest/gtest.h>

#include "WholeRunTest.h"
#include "archive/FtpUtils.h"
#include "backup/TaskFileReader.h"
#include "support/FtpTestServer.h"
#include "support/Servers.h"

using namespace wholerun;

namespace {

std::string Short(const std::string& content);

std::string EncodedPassword(const std::string& pwd)
{
    std::string encoded;
    do
        encoded = taskfile::EncodePasswordText(pwd);
    while (encoded.find('"') != std::string::npos);
    return encoded;
}

class FtpRunTest : public WholeRunTest
{
protected:
    std::string Srv(const std::string& rel = "") const
    {
        return sandbox.Path(rel.empty() ? "srv/backup" : "srv/backup/" + rel);
    }

    // A task that backs the source up into the folder "backup" of the server on port.
    std::string WriteFtpTask(int port, Keys keys, Keys ftp = {},
                             const std::string& password = PyFtpServer::Password,
                             const std::string& user = PyFtpServer::User)
    {
        keys["FtpBackup"] = "1";
        Keys section = {{"Host", "127.0.0.1"}, {"Port", std::to_string(port)},
                        {"Username", user},    {"Password", EncodedPassword(password)},
                        {"SubDir", "/backup"}, {"Passive", "1"},
                        {"Retry", "3"},        {"ChangeNames", "0"}};
        for (const auto& [k, v] : ftp)
            section[k] = v;
        return WriteTask(keys, {}, {{"Ftp", section}});
    }

    // The stored files below the server folder with their plain contents.
    std::map<std::string, std::string> ServerFiles(const std::string& root)
    {
        std::map<std::string, std::string> files;
        for (const std::string& rel : FilesBelow(root)) {
            const std::string content = Decode(root + "/" + rel);
            // long contents by size and checksum, so that a difference reads short
            files[rel] = content.size() < 100 ? content : Short(content);
        }
        return files;
    }
};

std::string Short(const std::string& content)
{
    char text[64];
    std::snprintf(text, sizeof text, "%zu bytes, crc %08x", content.size(),
                  UpdateCrc32(0, content.data(), content.size()));
    return text;
}

struct FtpMethodCase
{
    int destMode;
    bool compress;
    bool encrypt;
    std::string prefix; // where the source folder's files lie below the server folder
    std::string ext;    // the extension of the stored form
};

} // namespace

TEST_F(FtpRunTest, EachCopyMethodMirrorsTheTreeAndThenUploadsOnlyWhatChanged)
{
    VASTREL_REQUIRE_SERVER(PyFtpServer::MissingReason());
    PyFtpServer server(sandbox.Path("srv"), "plain");
    ASSERT_TRUE(server.Started()) << server.Error();
    const std::string srcName = fs::path(Src()).filename().string();
    const std::vector<FtpMethodCase> cases = {
        {0, false, false, "Drv/" + SrcRel(), ""},
        {1, false, false, SrcRel(), ""},
        {2, true, false, "", ".gz"},
        {3, false, true, srcName + "/", ".enc"},
        {2, true, true, "", ".gze"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("DestMode " + std::to_string(c.destMode) + (c.compress ? " compressed" : "") +
                     (c.encrypt ? " encrypted" : ""));
        fs::remove_all(Srv());
        MakeSource();
        Keys keys = {{"DestMode", std::to_string(c.destMode)},
                     {"Compress", c.compress ? "1" : "0"},
                     {"BakFiles", "1"},
                     {"TimestampFile", "1"}};
        if (c.encrypt)
            for (const auto& [k, v] : Encrypted())
                keys[k] = v;
        const std::string task = WriteFtpTask(server.Port(), keys);
        RunOk(task, CopiedText(4));
        std::map<std::string, std::string> expected = {
            {c.prefix + "a.txt" + c.ext, "alpha\n"},
            {c.prefix + "sub/b.dat" + c.ext, Short(Compressible())},
            {c.prefix + "sub/deep/c.log" + c.ext, "gamma gamma\n"},
            {c.prefix + "sub/deep/empty.bin" + c.ext, ""},
            {"$TimeStamp.qvu", ReadFileBytes(Srv("$TimeStamp.qvu"))},
        };
        EXPECT_EQ(ServerFiles(Srv()), expected);

        // Nothing changed: nothing goes.
        RunOk(task, CopiedText(0));

        // A changed and an added file go; the replaced copy is kept as its older version.
        Change("a.txt", "alpha two\n", T0 + 100);
        Change("sub/new.txt", "new\n", T0 + 100);
        RunOk(task, CopiedText(2));
        const auto files = ServerFiles(Srv());
        EXPECT_EQ(files.at(c.prefix + "a.txt" + c.ext), "alpha two\n");
        EXPECT_EQ(files.at(c.prefix + "sub/new.txt" + c.ext), "new\n");
        bool kept = false;
        for (const auto& [name, content] : files)
            kept = kept || (name.starts_with(c.prefix + "a.") && name != c.prefix + "a.txt" + c.ext &&
                            content == "alpha\n");
        EXPECT_TRUE(kept) << ::testing::PrintToString(files);
        // No hidden upload stays behind.
        for (const auto& [name, content] : files)
            EXPECT_FALSE(Contains(name, ".part")) << name;
    }
}

TEST_F(FtpRunTest, AConnectionDroppedInAnUploadIsRetriedAndAPartialUploadNeverStands)
{
    VASTREL_REQUIRE_SERVER(PyFtpServer::MissingReason());
    // The server drops the connection after 20000 bytes of the first data connections: the big file
    // cannot be uploaded in one go.
    PyFtpServer server(sandbox.Path("srv"), "plain", {"--drop-data-after", "20000:3"});
    ASSERT_TRUE(server.Started()) << server.Error();
    const std::string task = WriteFtpTask(server.Port(), {{"DestMode", "2"}}, {{"Retry", "1"}});
    TRunResult first = Run(task, true);
    // Whatever the first run managed, no server file holds less than its source.
    for (const auto& [name, content] : ServerFiles(Srv())) {
        EXPECT_FALSE(Contains(name, ".part")) << name;
        if (name == "sub/b.dat") {
            EXPECT_EQ(content, Short(Compressible()));
        }
    }
    if (first.exitCode != 0) {
        EXPECT_TRUE(Contains(first.log, "  *** ")) << first.log;
    }
    // The next runs converge to a complete backup.
    TRunResult second = Run(task, true);
    if (second.exitCode != 0)
        second = Run(task, true);
    EXPECT_EQ(second.exitCode, 0) << first.log << second.log;
    std::map<std::string, std::string> expected = {{"a.txt", "alpha\n"},
                                                   {"sub/b.dat", Short(Compressible())},
                                                   {"sub/deep/c.log", "gamma gamma\n"},
                                                   {"sub/deep/empty.bin", ""}};
    EXPECT_EQ(ServerFiles(Srv()), expected) << first.log << second.log;
}

TEST_F(FtpRunTest, AnUnreachableServerEndsTheRunWithTheDestinationError)
{
    VASTREL_REQUIRE_SERVER(PyFtpServer::MissingReason());
    int port = 0;
    {
        PyFtpServer server(sandbox.Path("srv"), "plain");
        ASSERT_TRUE(server.Started()) << server.Error();
        port = server.Port();
    }
    TRunResult r = Run(WriteFtpTask(port, {{"DestMode", "2"}}, {{"Retry", "1"}}), true);
    EXPECT_EQ(r.exitCode & 0xFF, 2) << r.log;
    EXPECT_TRUE(Contains(r.log, "  *** Connection to FTP server failed")) << r.log;
    // Nothing was written locally in place of the server folder.
    EXPECT_FALSE(fs::exists("/backup/" + SrcRel()));
}

TEST_F(FtpRunTest, VsftpdWithTlsReceivesTheTreeAndAnUnchangedRerunUploadsNothing)
{
    VsftpdServer server(true);
    VASTREL_REQUIRE_SERVER(server.SkipReason());
    const std::string task =
        WriteFtpTask(server.Port(), {{"DestMode", "2"}}, {{"UseFTPS", "2"}, {"SubDir", "backup"}},
                     VsftpdServer::Password, server.User());
    RunOk(task, CopiedText(4));
    RunOk(task, CopiedText(0));
    std::map<std::string, std::string> expected = {{"a.txt", "alpha\n"},
                                                   {"sub/b.dat", Short(Compressible())},
                                                   {"sub/deep/c.log", "gamma gamma\n"},
                                                   {"sub/deep/empty.bin", ""}};
    EXPECT_EQ(ServerFiles(server.Root() + "/backup"), expected);
}

TEST_F(FtpRunTest, SynchronisationDeletesWhatTheSourceLostAndNeverEmptiesTheServerFolder)
{
    VASTREL_REQUIRE_SERVER(PyFtpServer::MissingReason());
    PyFtpServer server(sandbox.Path("srv"), "plain");
    ASSERT_TRUE(server.Started()) << server.Error();
    const std::string task = WriteFtpTask(server.Port(), {{"DestMode", "2"}, {"SyncMode", "1"}});
    RunOk(task, CopiedText(4));
    // A file and a folder go at the source: their copies go on the server.
    fs::remove(Src("a.txt"));
    fs::remove_all(Src("sub/deep"));
    TRunResult r = RunOk(task, CopiedText(0));
    EXPECT_TRUE(Contains(r.log, "Synchronization: 3 files deleted")) << r.log;
    std::map<std::string, std::string> expected = {{"sub/b.dat", Short(Compressible())}};
    EXPECT_EQ(ServerFiles(Srv()), expected) << r.log;

    // An emptied source, and one that is not there: the server keeps everything.
    fs::remove_all(Src());
    fs::create_directories(Src());
    r = Run(task, true);
    EXPECT_NE(r.exitCode, 0) << r.log;
    EXPECT_EQ(ServerFiles(Srv()), expected) << r.log;
    fs::remove_all(Src());
    r = Run(task, true);
    EXPECT_NE(r.exitCode, 0) << r.log;
    EXPECT_EQ(ServerFiles(Srv()), expected) << r.log;
}
