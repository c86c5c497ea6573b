// Whole restores through the built program: a backup made by `Vastrel /force`, restored by
// `Vastrel /restore task.rsj`, and the restored tree compared with the source byte for byte.

#include <filesystem>
#include <gtest/gtest.h>
#include <string>

#include "../backup/WholeRunTest.h"
#include "foundation/FileUtilsTimes.h"
#include "support/Files.h"
#include "support/FtpTestServer.h"
#include "support/Servers.h"
#include "tools/RestoreTask.h"

namespace fs = std::filesystem;
using namespace wholerun;

namespace {

class RestoreRoundTripTest : public WholeRunTest
{
protected:
    std::string Out(const std::string& rel = "") const
    {
        return sandbox.Path(rel.empty() ? "out" : "out/" + rel);
    }

    TRestoreTask NewTask(const std::string& source, int mode = rmSeparated)
    {
        TRestoreTask t;
        InitRestoreTask(t);
        t.Source = source;
        t.RestMode = mode;
        t.DestDir = Out();
        t.Overwrite = owAll;
        t.ProtMode = 2;
        t.TaskLogName = sandbox.Path("restore.log");
        return t;
    }

    // Runs `Vastrel /restore` on the task; returns the exit code.
    int Restore(const TRestoreTask& t, std::string* log = nullptr)
    {
        const std::string rsj = sandbox.Path("task.rsj");
        std::string error;
        EXPECT_TRUE(SaveRestoreTask(rsj, t, error)) << error;
        const std::string logName = sandbox.Path("restore.log");
        const size_t before = fs::exists(logName) ? fs::file_size(logName) : 0;
        ShellResult r = RunShell("timeout 300 " + ShellQuote(VastrelExe) + " /restore " + ShellQuote(rsj));
        const std::string added = fs::exists(logName) ? ReadFileBytes(logName).substr(before) : "";
        if (log)
            *log = added;
        return r.exitCode;
    }
};

TEST_F(RestoreRoundTripTest, EveryMethodRestoresTheSourceTreeIntoAnotherFolder)
{
    VASTREL_REQUIRE_TOOL("unzip");
    const TreeMap source = Tree(Src());
    struct Case
    {
        int destMode;
        std::string zipName;
        std::string restoreFrom; // relative to the destination
        int mode;
    };
    const std::string drv = "Drv/" + SrcRel();
    const Case cases[] = {
        {0, "arch", drv, rmSeparated},
        {1, "arch", SrcRel(), rmSeparated},
        {2, "arch", "", rmSeparated},
        {3, "arch", "src", rmSeparated},
        {4, "arch", "arch.zip", rmSingleZip},
        {5, "-arch", "src-arch.zip", rmSingleZip},
        {6, "arch", drv + "arch.zip", rmZipPerDir},
        {7, "arch", SrcRel() + "arch.zip", rmZipPerDir},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("DestMode " + std::to_string(c.destMode));
        fs::remove_all(Dst());
        fs::remove_all(Out());
        RunOk(WriteTask({{"DestMode", std::to_string(c.destMode)}, {"ZipName", c.zipName}}), CopiedText(4));
        std::string log;
        EXPECT_EQ(0, Restore(NewTask(Dst(c.restoreFrom), c.mode), &log)) << log;
        TreeMap restored = Tree(Out());
        if (c.mode == rmSingleZip && c.destMode == 4) // the archive keeps the full source path
            restored = Tree(Out(SrcRel()));
        // folders without files of their own come back only when they hold something
        EXPECT_EQ(source, restored) << log;
        const std::string a =
            c.mode == rmSingleZip && c.destMode == 4 ? Out(SrcRel() + "a.txt") : Out("a.txt");
        EXPECT_EQ(T0, FileMTime(a));
        if (c.mode == rmSeparated) {
            EXPECT_EQ(T0, FileMTime(Out("sub/deep"))) << "folders get the times of their backup";
        }
        EXPECT_TRUE(Contains(log, "Restored: ")) << log;
    }
}

TEST_F(RestoreRoundTripTest, CompressedAndEncryptedCopiesComeBackAsTheSourceBytes)
{
    struct Case
    {
        std::string name;
        Keys keys;
        bool gz, zip;
    };
    Keys gzip = {{"Compress", "1"}};
    Keys enc = Encrypted();
    Keys gze = enc;
    gze.insert(gzip.begin(), gzip.end());
    Keys zip = {{"Compress", "1"}, {"CompressAsZip", "1"}};
    Keys zipEnc = zip;
    zipEnc.insert(enc.begin(), enc.end());
    const Case cases[] = {{"gzip", gzip, true, false},
                          {"enc", enc, true, false},
                          {"gze", gze, true, false},
                          {"zip", zip, false, true},
                          {"zip+enc", zipEnc, false, true}};
    const TreeMap source = Tree(Src());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(Dst());
        fs::remove_all(Out());
        Keys keys = c.keys;
        keys["DestMode"] = "2";
        RunOk(WriteTask(keys), CopiedText(4));
        TRestoreTask t = NewTask(Dst());
        t.GzUnpack = c.gz;
        t.ZipUnpack = c.zip;
        t.DefPwd = Password;
        std::string log;
        EXPECT_EQ(0, Restore(t, &log)) << log;
        ASSERT_TRUE(fs::exists(Out())) << log;
        EXPECT_EQ(source, Tree(Out())) << log;
        EXPECT_EQ(T0, FileMTime(Out("sub/b.dat"))) << log;
    }
}

TEST_F(RestoreRoundTripTest, AWrongPasswordIsReportedAndLeavesNoPartialFile)
{
    Keys keys = Encrypted();
    keys["DestMode"] = "2";
    RunOk(WriteTask(keys), CopiedText(4));
    BuildTree(Out(), {{"a.txt", "my own newer text\n", T0}});
    TRestoreTask t = NewTask(Dst());
    t.DefPwd = "not the password";
    std::string log;
    EXPECT_EQ(4, Restore(t, &log)) << log;
    EXPECT_TRUE(Contains(log, "***")) << log;
    EXPECT_EQ("my own newer text\n", ReadFileBytes(Out("a.txt"))) << "the file in place is not destroyed";
    for (const auto& [path, content] : ReadTree(Out()))
        EXPECT_TRUE(path == "a.txt" || path.ends_with("/")) << path << " was written";
}

TEST_F(RestoreRoundTripTest, OverwriteRulesDecideOverExistingFiles)
{
    RunOk(WriteTask({{"DestMode", "2"}}), CopiedText(4));
    struct Case
    {
        int overwrite;
        int64_t existingTime; // of out/a.txt
        bool replaced;
    };
    const Case cases[] = {
        {owNone, T0 - 1000, false}, {owOlder, T0 - 1000, true}, {owOlder, T0 - 2, false},
        {owOlder, T0 + 50, false},  {owAll, T0 + 50, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.overwrite) + " " + std::to_string(c.existingTime - T0));
        fs::remove_all(Out());
        BuildTree(Out(), {{"a.txt", "existing\n", c.existingTime}});
        TRestoreTask t = NewTask(Dst());
        t.Overwrite = c.overwrite;
        std::string log;
        EXPECT_EQ(0, Restore(t, &log)) << log;
        EXPECT_EQ(c.replaced ? "alpha\n" : "existing\n", ReadFileBytes(Out("a.txt"))) << log;
        EXPECT_TRUE(ReadFileBytes(Out("sub/b.dat")) == Compressible()) << "missing files are always restored";
    }
}

TEST_F(RestoreRoundTripTest, OriginRestoreRebuildsTheSourceFolder)
{
    RunOk(WriteTask({{"DestMode", "0"}}), CopiedText(4));
    const TreeMap source = Tree(Src());
    for (const std::string& from : {Dst(), Dst("Drv/" + SrcRel())}) {
        SCOPED_TRACE(from);
        fs::remove_all(Src());
        TRestoreTask t = NewTask(from);
        t.Origin = true;
        t.DestDir.clear();
        std::string log;
        EXPECT_EQ(0, Restore(t, &log)) << log;
        EXPECT_EQ(source, Tree(Src())) << log;
    }
}

TEST_F(RestoreRoundTripTest, AgeSelectionAndSynchronisationWorkOnARealBackup)
{
    Change("a.txt", "alpha new\n", T0 + 86400 * 10);
    RunOk(WriteTask({{"DestMode", "2"}}), CopiedText(4));
    // Only files newer than a day after T0: just a.txt.
    TRestoreTask t = NewTask(Dst());
    t.AgeMode = 2;
    t.Date = UnixTimeToDateTime(static_cast<uint32_t>(T0 + 86400));
    std::string log;
    EXPECT_EQ(0, Restore(t, &log)) << log;
    EXPECT_EQ((std::vector<std::string>{"a.txt"}), FilesBelow(Out()));

    // Synchronising deletes what the backup does not have, and the folders left empty.
    BuildTree(Out(), {{"extra.txt", "x"}, {"gone/old.txt", "y"}});
    t = NewTask(Dst());
    t.Sync = true;
    EXPECT_EQ(0, Restore(t, &log)) << log;
    EXPECT_EQ(Tree(Src()), Tree(Out())) << log;
    EXPECT_FALSE(fs::exists(Out("gone")));
}

TEST_F(RestoreRoundTripTest, ABackupFolderThatIsMissingOrNotABackupIsReported)
{
    TRestoreTask t = NewTask(sandbox.Path("nowhere"));
    std::string log;
    EXPECT_EQ(3, Restore(t, &log));
    EXPECT_TRUE(Contains(log, "Could not find directory")) << log;
    EXPECT_TRUE(Contains(log, "(S)")) << log;
    EXPECT_FALSE(fs::exists(Out()));

    WriteFileBytes(sandbox.Path("damaged.rsj"), std::string("\xFF\xFE[\0R\0", 6));
    for (const char* name : {"damaged.rsj", "nothere.rsj"}) {
        ShellResult r = RunShell(ShellQuote(VastrelExe) + " /restore " + ShellQuote(sandbox.Path(name)));
        EXPECT_NE(0, r.exitCode) << name;
    }
    EXPECT_FALSE(fs::exists(Out()));
}

TEST_F(RestoreRoundTripTest, ArchiveNamesThatEscapeTheTargetStayInside)
{
    VASTREL_REQUIRE_TOOL("python3");
    const std::string zip = sandbox.Path("evil/arch.zip");
    fs::create_directories(sandbox.Path("evil"));
    ShellResult made = RunShell("/usr/bin/python3 -c " +
                                ShellQuote("import zipfile,sys\n"
                                           "z=zipfile.ZipFile(sys.argv[1],'w')\n"
                                           "z.writestr('../outside.txt','x')\n"
                                           "z.writestr('/abs/path.txt','y')\n"
                                           "z.writestr('ok/inside.txt','z')\n"
                                           "z.close()") +
                                " " + ShellQuote(zip));
    ASSERT_EQ(0, made.exitCode) << made.output;
    std::string log;
    Restore(NewTask(zip, rmSingleZip), &log);
    EXPECT_FALSE(fs::exists(sandbox.Path("outside.txt")));
    EXPECT_FALSE(fs::exists("/abs/path.txt"));
    EXPECT_EQ("z", ReadFileBytes(Out("ok/inside.txt"))) << log;
    for (const auto& [path, content] : ReadTree(sandbox.Path("")))
        EXPECT_FALSE(path == "outside.txt") << path;
}

TEST_F(RestoreRoundTripTest, BackupsOnAnFtpServerAreRestoredThroughTheServer)
{
    VASTREL_REQUIRE_SERVER(PyFtpServer::MissingReason());
    const TreeMap source = Tree(Src());
    for (bool gzip : {false, true}) {
        SCOPED_TRACE(gzip ? "gzip" : "plain");
        fs::remove_all(Dst());
        fs::remove_all(Out());
        RunOk(WriteTask({{"DestMode", "2"}, {"Compress", gzip ? "1" : "0"}}), CopiedText(4));
        PyFtpServer server(Dst(), "plain");
        ASSERT_TRUE(server.Started()) << server.Error();
        TRestoreTask t = NewTask("");
        t.RsFtp = true;
        t.FtpPar.Host = "127.0.0.1";
        t.FtpPar.Port = server.Port();
        t.FtpPar.Username = PyFtpServer::User;
        t.FtpPar.Password = PyFtpServer::Password;
        t.FtpPar.Directory = "/";
        std::string log;
        EXPECT_EQ(0, Restore(t, &log)) << log;
        ASSERT_TRUE(fs::exists(Out())) << log;
        EXPECT_EQ(source, Tree(Out())) << log;
        EXPECT_EQ(T0, FileMTime(Out("sub/b.dat"))) << log;
    }
}

} // namespace
