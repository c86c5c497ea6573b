// Verification of real backups: `Vastrel /force task.buj` makes the backup, `Vastrel /verify task.vfj`
// checks it, and the log and exit code tell what the verification found.

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "backup/WholeRunTest.h"
#include "support/Files.h"
#include "support/FtpTestServer.h"
#include "support/Servers.h"
#include "support/Shell.h"
#include "tools/VerifyRun.h"

namespace fs = std::filesystem;
using namespace wholerun;

namespace {

class VerifyWholeRunTest : public WholeRunTest
{
protected:
    std::string VerifyTask(const Keys& keys)
    {
        std::string text = "[Verify]\nLogFile=3\n";
        for (const auto& [k, v] : keys)
            text += k + "=" + v + "\n";
        const std::string path = sandbox.Path("check.vfj");
        WriteFileBytes(path, text);
        return path;
    }
    // The keys of the section [Ftp] for the folder dir of the pyftpdlib server on port.
    static Keys FtpKeys(int port, const std::string& dir)
    {
        // the encoded form is random; one without a double quote keeps the ini line plain
        std::string encoded;
        do
            encoded = taskfile::EncodePasswordText(PyFtpServer::Password);
        while (encoded.find('"') != std::string::npos);
        return {{"Host", "127.0.0.1"},
                {"Port", std::to_string(port)},
                {"Username", PyFtpServer::User},
                {"Password", encoded},
                {"SubDir", dir},
                {"Passive", "1"},
                {"Retry", "3"},
                {"ChangeNames", "0"}};
    }
    // A verify task of a backup in the server folder dir.
    std::string FtpVerifyTask(int port, const std::string& dir, Keys keys)
    {
        keys["FtpBackup"] = "1";
        keys["DriveId"] = "Drv?";
        const std::string path = VerifyTask(keys);
        std::string section = "[Ftp]\n";
        for (const auto& [k, v] : FtpKeys(port, dir))
            section += k + "=" + v + "\n";
        WriteFileBytes(path, ReadFileBytes(path) + section);
        return path;
    }
    TRunResult Verify(const std::string& task)
    {
        const std::string logName = ConfigDir() + "Vastrel.log";
        const size_t before = fs::exists(logName) ? fs::file_size(logName) : 0;
        ShellResult r = RunShell("timeout 300 " + ShellQuote(VastrelExe) + " /verify " + ShellQuote(task));
        TRunResult result;
        result.exitCode = r.exitCode;
        result.output = r.output;
        if (fs::exists(logName))
            result.log = ReadFileBytes(logName).substr(before);
        return result;
    }
    // Flips one byte of a file at pos (negative: from the end).
    static void FlipByte(const std::string& path, long pos)
    {
        std::string data = ReadFileBytes(path);
        ASSERT_FALSE(data.empty()) << path;
        const size_t at = pos >= 0 ? static_cast<size_t>(pos) : data.size() - static_cast<size_t>(-pos);
        data[at] = static_cast<char>(data[at] ^ 0x55);
        WriteFileBytes(path, data);
    }
    // The byte offset of the middle of a zip entry's data: after its local header name.
    static long EntryDataOffset(const std::string& zip, const std::string& name)
    {
        const std::string data = ReadFileBytes(zip);
        const size_t at = data.find(name);
        EXPECT_NE(at, std::string::npos) << name;
        return static_cast<long>(at + name.size() + 200);
    }
};

struct MethodCase
{
    const char* name;
    Keys backup;
    Keys verify; // "Source" and "DestDir" relative to the sandbox where they start with "@"
};

std::string Resolve(const Sandbox& sb, const std::string& v)
{
    return !v.empty() && v[0] == '@' ? sb.Path(v.substr(1)) : v;
}

TEST_F(VerifyWholeRunTest, EveryMethodVerifiesCleanAfterTheBackup)
{
    const std::string full = SrcRel();
    const Keys enc = Encrypted();
    Keys compressed = {{"Compress", "1"}};
    Keys encrypted = enc;
    Keys zipEncrypted = enc;
    zipEncrypted["DestMode"] = "4";
    const std::string pw = enc.at("Password");
    const MethodCase cases[] = {
        {"drive folders, compared with the source folders", {{"DestMode", "0"}}, {{"Source", "@dst"}}},
        {"full paths",
         {{"DestMode", "1"}},
         {{"Source", "@dst/" + full}, {"Origin", "0"}, {"DestDir", "@src"}}},
        {"plain copies", {{"DestMode", "2"}}, {{"Source", "@dst"}, {"Origin", "0"}, {"DestDir", "@src"}}},
        {"compressed copies",
         {{"DestMode", "2"}, {"Compress", "1"}},
         {{"Source", "@dst"}, {"Origin", "0"}, {"DestDir", "@src"}}},
        {"single-file zips",
         {{"DestMode", "2"}, {"Compress", "1"}, {"CompressAsZip", "1"}},
         {{"Source", "@dst"}, {"Origin", "0"}, {"DestDir", "@src"}}},
        {"encrypted copies",
         [&] {
             Keys k = enc;
             k["DestMode"] = "3";
             return k;
         }(),
         {{"Source", "@dst/src"}, {"Origin", "0"}, {"DestDir", "@src"}, {"Password", pw}}},
        {"encrypted compressed copies",
         [&] {
             Keys k = enc;
             k["DestMode"] = "2";
             k["Compress"] = "1";
             return k;
         }(),
         {{"Source", "@dst"}, {"Origin", "0"}, {"DestDir", "@src"}, {"Password", pw}}},
        {"one zip archive",
         {{"DestMode", "4"}},
         {{"VerifyMode", "2"}, {"Source", "@dst/arch.zip"}, {"Origin", "0"}, {"DestDir", "/"}}},
        {"one AES zip archive",
         zipEncrypted,
         {{"VerifyMode", "2"},
          {"Source", "@dst/arch.zip"},
          {"Origin", "0"},
          {"DestDir", "/"},
          {"Password", pw}}},
        {"a zip archive per source folder",
         {{"DestMode", "5"}, {"ZipName", "-arch"}},
         {{"VerifyMode", "2"}, {"Source", "@dst/src-arch.zip"}, {"Origin", "0"}, {"DestDir", "@src"}}},
        {"zip archives per folder in drive folders",
         {{"DestMode", "6"}},
         {{"VerifyMode", "1"}, {"Source", "@dst/Drv/" + full + "arch.zip"}}},
        {"zip archives per folder",
         {{"DestMode", "7"}},
         {{"VerifyMode", "1"},
          {"Source", "@dst/" + full + "arch.zip"},
          {"Origin", "0"},
          {"DestDir", "@src"}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(Dst());
        RunOk(WriteTask(c.backup), CopiedText(4));
        Keys keys;
        for (const auto& [k, v] : c.verify)
            keys[k] = Resolve(sandbox, v);
        const TRunResult r = Verify(VerifyTask(keys));
        EXPECT_EQ(r.exitCode, 0) << r.log << r.output;
        EXPECT_TRUE(Contains(r.log, "  Status: OK (4 files verified)")) << r.log;
        EXPECT_FALSE(Contains(r.log, "***")) << r.log;
    }
}

struct FaultCase
{
    const char* name;
    Keys backup;
    Keys verify;
    std::function<void(VerifyWholeRunTest&)> fault;
    int exitCode;
    const char* status;
    const char* logLine;
};

TEST_F(VerifyWholeRunTest, ChangesAndDamageAreReportedInLogAndExitCode)
{
    const Keys enc = Encrypted();
    const std::string pw = enc.at("Password");
    const std::string full = SrcRel();
    Keys plainCompare = {{"Source", "@dst"}, {"Origin", "0"}, {"DestDir", "@src"}};
    Keys aesZip = enc;
    aesZip["DestMode"] = "4";
    auto src = [this](const std::string& rel) { return Src(rel); };
    auto dst = [this](const std::string& rel) { return Dst(rel); };
    const FaultCase cases[] = {
        {"a source file changed after the backup",
         {{"DestMode", "2"}},
         plainCompare,
         [&](VerifyWholeRunTest&) { WriteFileBytes(src("sub/deep/c.log"), "gamma gamma!"); },
         4,
         "1 error during verification (4 files verified)",
         "Verification failed"},
        {"a flipped byte in a plain copy",
         {{"DestMode", "2"}},
         plainCompare,
         [&](VerifyWholeRunTest&) { FlipByte(dst("sub/b.dat"), 1000); },
         4,
         "1 error during verification (4 files verified)",
         "sub/b.dat"},
        {"a flipped byte in a .gz copy",
         {{"DestMode", "2"}, {"Compress", "1"}},
         plainCompare,
         [&](VerifyWholeRunTest&) { FlipByte(dst("sub/b.dat.gz"), -300); },
         4,
         "1 error during verification (4 files verified)",
         "sub/b.dat.gz"},
        {"a flipped byte in an AES zip entry",
         aesZip,
         {{"VerifyMode", "2"},
          {"Source", "@dst/arch.zip"},
          {"Origin", "0"},
          {"DestDir", "/"},
          {"Password", pw}},
         [&](VerifyWholeRunTest&) {
             FlipByte(dst("arch.zip"), EntryDataOffset(dst("arch.zip"), "sub/b.dat"));
         },
         4,
         "1 error during verification (4 files verified)",
         "b.dat"},
        {"a source file deleted after the backup",
         {{"DestMode", "2"}},
         plainCompare,
         [&](VerifyWholeRunTest&) { fs::remove(src("a.txt")); },
         4,
         "1 error during verification (4 files verified)",
         "Reference file not found: "},
        {"a file deleted from the backup is not looked at",
         {{"DestMode", "2"}},
         plainCompare,
         [&](VerifyWholeRunTest&) { fs::remove(dst("a.txt")); },
         0,
         "OK (3 files verified)",
         "Verified: sub/b.dat"},
        {"a wrong fixed password",
         {{"DestMode", "2"}, {"Encrypt", "1"}, {"FixPassword", "1"}, {"Password", pw}},
         {{"Source", "@dst"},
          {"Origin", "0"},
          {"DestDir", "@src"},
          {"Password", taskfile::EncodePasswordText("nope")}},
         [&](VerifyWholeRunTest&) {},
         4,
         "4 errors during verification (4 files verified)",
         "Decryption failed"},
    };
    (void)full;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(Dst());
        MakeSource();
        RunOk(WriteTask(c.backup), CopiedText(4));
        c.fault(*this);
        Keys keys;
        for (const auto& [k, v] : c.verify)
            keys[k] = Resolve(sandbox, v);
        const TRunResult r = Verify(VerifyTask(keys));
        EXPECT_EQ(r.exitCode, c.exitCode) << r.log << r.output;
        EXPECT_TRUE(Contains(r.log, std::string("  Status: ") + c.status)) << r.log;
        EXPECT_TRUE(Contains(r.log, c.logLine)) << r.log;
    }
}

TEST_F(VerifyWholeRunTest, ABackupLocationThatIsMissingOrNoBackupIsReported)
{
    const TRunResult missing = Verify(VerifyTask({{"Source", sandbox.Path("nothing")}}));
    EXPECT_EQ(missing.exitCode, 3) << missing.log << missing.output;
    EXPECT_TRUE(Contains(missing.log, "Could not find directory")) << missing.log;

    BuildTree(sandbox.Path("plain"), {{"x.txt", "x"}});
    const TRunResult noBackup = Verify(VerifyTask({{"Source", sandbox.Path("plain")}}));
    EXPECT_EQ(noBackup.exitCode, 0) << noBackup.log;
    EXPECT_TRUE(Contains(noBackup.log,
                         "No information found concerning with which source the files are to be compared!"))
        << noBackup.log;

    WriteFileBytes(sandbox.Path("broken.vfj"), std::string("\xFF\xFE[\0V\0", 6));
    const TRunResult damaged = Verify(sandbox.Path("broken.vfj"));
    EXPECT_EQ(damaged.exitCode, 6) << damaged.log;
    EXPECT_TRUE(Contains(damaged.log, "Please specify the directory to be verified!")) << damaged.log;

    const std::string zip = sandbox.Path("fake.zip");
    WriteFileBytes(zip, "this is no zip archive at all");
    const TRunResult notZip =
        Verify(VerifyTask({{"VerifyMode", "2"}, {"Source", zip}, {"Origin", "0"}, {"DestDir", Src()}}));
    EXPECT_EQ(notZip.exitCode, 4) << notZip.log << notZip.output;
}

struct FtpCase
{
    const char* name;
    Keys backup;
    std::string dir; // the server folder of the verify task
    Keys verify;     // "DestDir" relative to the sandbox where it starts with "@"
    std::function<void(VerifyWholeRunTest&)> fault;
    int exitCode;
    const char* status;
    const char* logLine;
};

TEST_F(VerifyWholeRunTest, BackupsOnAnFtpServerAreVerifiedThroughTheServer)
{
    VASTREL_REQUIRE_SERVER(PyFtpServer::MissingReason());
    PyFtpServer server(sandbox.Path("srv"), "plain");
    ASSERT_TRUE(server.Started()) << server.Error();
    const Keys enc = Encrypted();
    const std::string pw = enc.at("Password");
    const std::string srcName = fs::path(Src()).filename().string();
    auto srv = [this](const std::string& rel) { return sandbox.Path("srv/backup/" + rel); };
    auto src = [this](const std::string& rel) { return Src(rel); };
    const Keys selected = {{"Origin", "0"}, {"DestDir", "@src"}};
    Keys encrypted = enc;
    encrypted["DestMode"] = "3";
    Keys encryptedCompressed = enc;
    encryptedCompressed["DestMode"] = "2";
    encryptedCompressed["Compress"] = "1";
    Keys withPassword = selected;
    withPassword["Password"] = pw;
    auto none = [](VerifyWholeRunTest&) {};
    const char* clean = "OK (4 files verified)";
    const char* oneError = "1 error during verification (4 files verified)";
    const FtpCase cases[] = {
        {"drive folders, compared with the source folders",
         {{"DestMode", "0"}},
         "/backup",
         {},
         none,
         0,
         clean,
         "Compare: ftp://127.0.0.1:"},
        {"plain copies", {{"DestMode", "2"}}, "/backup", selected, none, 0, clean, "Verified: /sub/b.dat"},
        {"compressed copies",
         {{"DestMode", "2"}, {"Compress", "1"}},
         "/backup",
         selected,
         none,
         0,
         clean,
         "Verified: /sub/b.dat.gz"},
        {"encrypted copies", encrypted, "/backup/" + srcName, withPassword, none, 0, clean,
         "Verified: /sub/b.dat.enc"},
        {"encrypted compressed copies", encryptedCompressed, "/backup", withPassword, none, 0, clean,
         "Verified: /sub/b.dat.gze"},
        {"a source file changed after the backup",
         {{"DestMode", "0"}},
         "/backup",
         {},
         [&](VerifyWholeRunTest&) { WriteFileBytes(src("sub/deep/c.log"), "gamma gamma!"); },
         4,
         oneError,
         "Verification failed: "},
        {"a flipped byte in a plain copy on the server",
         {{"DestMode", "2"}},
         "/backup",
         selected,
         [&](VerifyWholeRunTest&) { FlipByte(srv("sub/b.dat"), 1000); },
         4,
         oneError,
         "/sub/b.dat"},
        {"a flipped byte in a .gz copy on the server",
         {{"DestMode", "2"}, {"Compress", "1"}},
         "/backup",
         selected,
         [&](VerifyWholeRunTest&) { FlipByte(srv("sub/b.dat.gz"), -300); },
         4,
         oneError,
         "/sub/b.dat.gz"},
        {"a flipped byte in an encrypted copy on the server", encrypted, "/backup/" + srcName, withPassword,
         [&](VerifyWholeRunTest&) { FlipByte(srv(srcName + "/sub/b.dat.enc"), -300); }, 4, oneError,
         "/sub/b.dat.enc"},
        {"a source file deleted after the backup",
         {{"DestMode", "2"}},
         "/backup",
         selected,
         [&](VerifyWholeRunTest&) { fs::remove(src("a.txt")); },
         4,
         oneError,
         "Reference file not found: "},
        {"a file deleted on the server is not looked at",
         {{"DestMode", "2"}},
         "/backup",
         selected,
         [&](VerifyWholeRunTest&) { fs::remove(srv("a.txt")); },
         0,
         "OK (3 files verified)",
         "Verified: /sub/b.dat"},
        {"a wrong fixed password",
         encrypted,
         "/backup/" + srcName,
         {{"Origin", "0"}, {"DestDir", "@src"}, {"Password", taskfile::EncodePasswordText("nope")}},
         none,
         4,
         "4 errors during verification (4 files verified)",
         "Verification failed: "},
        {"a server folder that holds no drive folder",
         {{"DestMode", "2"}},
         "/backup",
         {},
         none,
         0,
         "Verification failed - No information found concerning with which source the files are to be "
         "compared!",
         "Directory: ftp://"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(sandbox.Path("srv/backup"));
        MakeSource();
        Keys backup = c.backup;
        backup["FtpBackup"] = "1";
        RunOk(WriteTask(backup, {}, {{"Ftp", FtpKeys(server.Port(), "/backup")}}), CopiedText(4));
        c.fault(*this);
        Keys keys;
        for (const auto& [k, v] : c.verify)
            keys[k] = Resolve(sandbox, v);
        const TRunResult r = Verify(FtpVerifyTask(server.Port(), c.dir, keys));
        EXPECT_EQ(r.exitCode, c.exitCode) << r.log << r.output;
        EXPECT_TRUE(Contains(r.log, std::string("  Status: ") + c.status)) << r.log;
        EXPECT_TRUE(Contains(r.log, c.logLine)) << r.log;
    }

    // A server that does not answer: the run says so and ends with exit state 3.
    const TRunResult gone = Verify(FtpVerifyTask(1, "/backup", selected));
    EXPECT_EQ(gone.exitCode, 3) << gone.log << gone.output;
    EXPECT_TRUE(Contains(gone.log, "Connection to FTP server failed: ")) << gone.log;
}

} // namespace
