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

namespace {

// Data that does not compress, so that a split archive gets several segments.
std::string Noise(size_t size)
{
    std::string s(size, '\0');
    uint32_t x = 0x12345678;
    for (auto& c : s) {
        x = x * 1664525u + 1013904223u;
        c = static_cast<char>(x >> 24);
    }
    return s;
}

struct FtpZipCase
{
    int destMode;
    bool encrypt;
    int64_t splitSize;
    std::vector<std::string> archives; // below the server folder
};

// Every file below dir whose name holds part.
std::vector<std::string> NamesWith(const std::string& dir, const std::string& part)
{
    std::vector<std::string> found;
    for (const std::string& rel : FilesBelow(dir))
        if (Contains(fs::path(rel).filename().string(), part))
            found.push_back(rel);
    return found;
}

} // namespace

TEST_F(FtpRunTest, EachZipMethodUploadsArchivesThatHoldTheSourceAndLeavesNoTemporaryArchive)
{
    VASTREL_REQUIRE_SERVER(PyFtpServer::MissingReason());
    VASTREL_REQUIRE_TOOL("7z");
    VASTREL_REQUIRE_TOOL("unzip");
    VASTREL_REQUIRE_TOOL("zip");
    PyFtpServer server(sandbox.Path("srv"), "plain");
    ASSERT_TRUE(server.Started()) << server.Error();
    // The program builds its archives in its temporary folder, below this one.
    sandbox.SetEnv("TMPDIR", sandbox.Path("tmp"));
    fs::create_directories(sandbox.Path("tmp"));
    const std::string drv = "Drv/" + SrcRel();
    const std::vector<FtpZipCase> cases = {
        {4, false, 0, {"arch.zip"}},
        {4, true, 100000, {"arch.zip"}},
        {5, false, 100000, {"src.zip"}},
        {6, true, 0, {drv + "arch.zip", drv + "sub/arch.zip", drv + "sub/deep/arch.zip"}},
        {7,
         false,
         100000,
         {SrcRel() + "arch.zip", SrcRel() + "sub/arch.zip", SrcRel() + "sub/deep/arch.zip"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("DestMode " + std::to_string(c.destMode) + (c.encrypt ? " AES" : "") +
                     (c.splitSize ? " split" : ""));
        fs::remove_all(Srv());
        MakeSource();
        BuildTree(Src(), {{"sub/noise.bin", Noise(250000), T0}});
        std::map<std::string, std::string> sources;
        for (const std::string& rel : FilesBelow(Src()))
            sources[fs::path(rel).filename().string()] = ReadFileBytes(Src(rel));
        Keys keys = {{"DestMode", std::to_string(c.destMode)}, {"ZipSize", std::to_string(c.splitSize)}};
        if (c.encrypt)
            for (const auto& [k, v] : Encrypted())
                keys[k] = v;
        const std::string task = WriteFtpTask(server.Port(), keys);
        const TRunResult r = RunOk(task, CopiedText(5));
        EXPECT_TRUE(Contains(r.log, "was copied to FTP server and verified (")) << r.log;

        // The archives lie where the method puts them, with their segments, and nothing else.
        std::vector<std::string> archives;
        for (const std::string& rel : FilesBelow(Srv()))
            if (rel.ends_with(".zip"))
                archives.push_back(rel);
        EXPECT_EQ(archives, c.archives);
        EXPECT_TRUE(NamesWith(Srv(), ".part").empty());
        // The program's temporary folder lies below the sandbox's, and no archive stays in it.
        EXPECT_FALSE(fs::is_empty(sandbox.Path("tmp")));
        EXPECT_TRUE(NamesWith(sandbox.Path("tmp"), "QvTemp").empty());
        if (c.splitSize > 0 && c.destMode != 7) {
            EXPECT_TRUE(fs::exists(Srv(GetZipSegmentName(c.archives[0], 0)))) << r.log;
        }

        // Each archive passes the tools' tests, and together they hold the source files.
        const std::string pwd = c.encrypt ? Password : "none";
        const std::string out = sandbox.Path("x");
        fs::remove_all(out);
        for (size_t i = 0; i < archives.size(); ++i) {
            SCOPED_TRACE(archives[i]);
            const std::string zip = Srv(archives[i]);
            const ShellResult t = RunShell("7z t -p" + ShellQuote(pwd) + " " + ShellQuote(zip));
            EXPECT_EQ(t.exitCode, 0) << t.output;
            if (!c.encrypt) {
                std::string whole = zip;
                if (fs::exists(GetZipSegmentName(zip, 0))) {
                    whole = sandbox.Path("joined.zip");
                    fs::remove(whole);
                    const ShellResult j =
                        RunShell("zip -s 0 " + ShellQuote(zip) + " --out " + ShellQuote(whole));
                    ASSERT_EQ(j.exitCode, 0) << j.output;
                }
                const ShellResult u = RunShell("unzip -t " + ShellQuote(whole));
                EXPECT_EQ(u.exitCode, 0) << u.output;
            }
            const ShellResult x = RunShell("7z x -y -p" + ShellQuote(pwd) + " -o" +
                                           ShellQuote(out + "/" + std::to_string(i)) + " " + ShellQuote(zip));
            ASSERT_EQ(x.exitCode, 0) << x.output;
        }
        std::map<std::string, std::string> extracted;
        for (const std::string& rel : FilesBelow(out))
            extracted[fs::path(rel).filename().string()] = ReadFileBytes(out + "/" + rel);
        EXPECT_EQ(extracted.size(), sources.size());
        for (const auto& [name, data] : sources)
            EXPECT_EQ(Short(extracted[name]), Short(data)) << name;
    }
}

TEST_F(FtpRunTest, ARunArchiveReplacesTheServersArchiveAndItsOldSegments)
{
    VASTREL_REQUIRE_SERVER(PyFtpServer::MissingReason());
    VASTREL_REQUIRE_TOOL("unzip");
    PyFtpServer server(sandbox.Path("srv"), "plain");
    ASSERT_TRUE(server.Started()) << server.Error();
    BuildTree(Src(), {{"sub/noise.bin", Noise(250000), T0}});
    RunOk(WriteFtpTask(server.Port(), {{"DestMode", "4"}, {"ZipSize", "100000"}}), CopiedText(5));
    ASSERT_TRUE(fs::exists(Srv("arch.z01")));
    // The same archive unsplit: the segments of the earlier one would spoil it, they go.
    Change("a.txt", "alpha two\n", T0 + 100);
    RunOk(WriteFtpTask(server.Port(), {{"DestMode", "4"}, {"ZipSize", "0"}}), CopiedText(5));
    EXPECT_EQ(FilesBelow(Srv()), std::vector<std::string>{"arch.zip"});
    const ShellResult u = RunShell("unzip -p " + ShellQuote(Srv("arch.zip")) + " '*a.txt'");
    EXPECT_EQ(u.output, "alpha two\n");
}

TEST_F(FtpRunTest, AZipRunToAServerThatCannotTakeTheArchiveFailsAndLeavesNothingBehind)
{
    VASTREL_REQUIRE_SERVER(PyFtpServer::MissingReason());
    sandbox.SetEnv("TMPDIR", sandbox.Path("tmp"));
    fs::create_directories(sandbox.Path("tmp"));
    {
        // No server at all.
        int port = 0;
        {
            PyFtpServer server(sandbox.Path("srv"), "plain");
            ASSERT_TRUE(server.Started()) << server.Error();
            port = server.Port();
        }
        const TRunResult r = Run(WriteFtpTask(port, {{"DestMode", "4"}}, {{"Retry", "1"}}), true);
        EXPECT_EQ(r.exitCode & 0xFF, 2) << r.log;
        EXPECT_TRUE(Contains(r.log, "  *** Connection to FTP server failed")) << r.log;
        EXPECT_TRUE(NamesWith(sandbox.Path("tmp"), "QvTemp").empty());
    }
    // A server that drops every upload after 20000 bytes: the archive never stands on the server,
    // not even partly, and the run says so.
    BuildTree(Src(), {{"sub/noise.bin", Noise(250000), T0}});
    PyFtpServer server(sandbox.Path("srv"), "plain", {"--drop-data-after", "20000:100"});
    ASSERT_TRUE(server.Started()) << server.Error();
    const std::vector<std::pair<int, std::string>> cases = {
        {4, "arch.zip"}, {5, "src.zip"}, {7, SrcRel() + "sub/arch.zip"}};
    for (const auto& [mode, archive] : cases) {
        SCOPED_TRACE("DestMode " + std::to_string(mode));
        fs::remove_all(Srv());
        const TRunResult r =
            Run(WriteFtpTask(server.Port(), {{"DestMode", std::to_string(mode)}}, {{"Retry", "1"}}), true);
        EXPECT_NE(r.exitCode, 0) << r.log;
        EXPECT_TRUE(Contains(r.log, "  *** Error writing to FTP server: arch.zip (") ||
                    Contains(r.log, "  *** Error writing to FTP server: src.zip ("))
            << r.log;
        EXPECT_FALSE(Contains(r.log, "  Status: OK")) << r.log;
        EXPECT_FALSE(fs::exists(Srv(archive)));
        EXPECT_TRUE(NamesWith(Srv(), ".part").empty());
        EXPECT_TRUE(NamesWith(sandbox.Path("tmp"), "QvTemp").empty());
    }
}
