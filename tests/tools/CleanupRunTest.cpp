// Cleanup runs on real folders: what the rules select is deleted, nothing else, never outside the
// cleanup folder and never through a link.

#include "tools/CleanupRun.h"

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "ToolTestUtil.h"
#include "backup/WholeRunTest.h"
#include "support/Files.h"
#include "support/FtpTestServer.h"
#include "support/Sandbox.h"
#include "support/Shell.h"
#include "support/TreeBuilder.h"

namespace fs = std::filesystem;

namespace {

constexpr int64_t Day = 86400;

class CleanupRunTest : public SandboxTest
{
protected:
    void SetUp() override
    {
        tooltest::SetProgramDefaults();
        host.DefaultLog = sandbox.Path("cleanup.log");
        host.LogFolder = sandbox.Path("") + "/";
        now = static_cast<int64_t>(std::time(nullptr));
        old = now - 100 * Day;
        fresh = now - Day;
    }
    // The backup folder "dst" with files and folders of two ages, security copies, an empty folder,
    // and links that lead out of it.
    void MakeBackup()
    {
        BuildTree(sandbox.Path("outside"), {{"keep.txt", "outside", old}, {"deep/keep2.txt", "x", old}});
        BuildTree(Dst(), {{"a/old.txt", "old", old},
                          {"a/new.txt", "new", fresh},
                          {"a/report.bak.docx", "copy", old},
                          {"b/old.tmp", "tmp", old},
                          {"~2024/old.txt", "secure", old},
                          {"c/only-old.txt", "c", old},
                          TreeEntry::Link("linkdir", sandbox.Path("outside")),
                          TreeEntry::Link("a/linkfile.txt", sandbox.Path("outside/keep.txt"))});
        for (const char* d : {"a", "b", "~2024", "c"})
            SetFileMTime(Dst(d), old);
        fs::create_directories(Dst("fresh"));
        SetFileMTime(Dst("fresh"), fresh);
    }
    std::string Dst(const std::string& rel = "") const
    {
        return sandbox.Path(rel.empty() ? "dst" : "dst/" + rel);
    }
    TCleanupSettings Settings()
    {
        TCleanupSettings s = DefaultCleanupSettings();
        s.Directory = Dst();
        s.BakSec.Selection = (1u << ssDirs) | (1u << ssFiles);
        s.ProtMode = 2;
        return s;
    }
    TBuResult Run(const TCleanupSettings& s, TInteraction ia = iaQuiet)
    {
        const std::string task = sandbox.Path("task.cuj");
        SaveCleanupTask(task, s);
        THeadlessConfirmFiles confirm;
        TCleanupRun run(host, interaction, progress, control, log, confirm);
        const TBuResult r = run.StartClean(task, 0, 0, ia);
        runFiles = run.Files;
        logText = fs::exists(host.DefaultLog) ? ReadFileBytes(host.DefaultLog) : "";
        return r;
    }
    // The files and links left below dst, relative.
    std::vector<std::string> Left()
    {
        std::vector<std::string> left;
        if (!fs::exists(Dst()))
            return left; // an emptied cleanup folder goes too
        for (auto it = fs::recursive_directory_iterator(Dst()); it != fs::recursive_directory_iterator();
             ++it)
            if (!it->is_directory() || it->is_symlink())
                left.push_back(it->path().lexically_relative(Dst()).string());
        std::sort(left.begin(), left.end());
        return left;
    }
    void ExpectOutsideUntouched()
    {
        EXPECT_TRUE(fs::exists(sandbox.Path("outside/keep.txt")));
        EXPECT_TRUE(fs::exists(sandbox.Path("outside/deep/keep2.txt")));
    }

    TRecordingHost host;
    TRecordingInteraction interaction;
    TRecordingProgress progress;
    TRunControl control;
    TTaskLog log{host, interaction};
    int64_t now = 0, old = 0, fresh = 0, runFiles = 0;
    std::string logText;
};

using Files = std::vector<std::string>;
const Files All = {"a/linkfile.txt", "a/new.txt",      "a/old.txt", "a/report.bak.docx",
                   "b/old.tmp",      "c/only-old.txt", "linkdir",   "~2024/old.txt"};

Files Without(const Files& all, const Files& gone)
{
    Files left;
    for (const auto& f : all)
        if (std::find(gone.begin(), gone.end(), f) == gone.end())
            left.push_back(f);
    return left;
}

TEST_F(CleanupRunTest, DeletesExactlyWhatTheRulesSelect)
{
    struct Case
    {
        const char* name;
        std::function<void(TCleanupSettings&)> set;
        Files gone;
    };
    const Case cases[] = {
        {"files older than 4 weeks keep security copies",
         [](TCleanupSettings&) {},
         {"a/old.txt", "b/old.tmp", "c/only-old.txt"}},
        {"all files",
         [](TCleanupSettings& s) { s.AgeMode = caAll; },
         {"a/new.txt", "a/old.txt", "b/old.tmp", "c/only-old.txt"}},
        {"files since a date",
         [this](TCleanupSettings& s) {
             s.AgeMode = caSince;
             s.Date = UnixToDateTime(fresh - Day);
         },
         {"a/new.txt"}},
        {"only these types",
         [](TCleanupSettings& s) {
             s.TypesMode = 1;
             s.TypeList = "TMP";
         },
         {"b/old.tmp"}},
        {"all except these types",
         [](TCleanupSettings& s) {
             s.TypesMode = 2;
             s.TypeList = "tmp";
         },
         {"a/old.txt", "c/only-old.txt"}},
        {"a name filter",
         [](TCleanupSettings& s) {
             s.FilterMode = fmExclude;
             s.FilterText = "only*";
         },
         {"a/old.txt", "b/old.tmp"}},
        {"only security copies: in a copy folder the suffix decides",
         [](TCleanupSettings& s) { s.Subject = csSecurityCopies; },
         {"a/report.bak.docx"}},
        {"only security copies in copy folders",
         [](TCleanupSettings& s) {
             s.Subject = csSecurityCopies;
             s.BakSec.Selection = 1u << ssDirs;
         },
         {"~2024/old.txt"}},
        {"security copies without naming select nothing",
         [](TCleanupSettings& s) {
             s.Subject = csSecurityCopies;
             s.BakSec.Selection = 0;
         },
         {}},
        {"synchronisation with a folder deletes what is gone there",
         [this](TCleanupSettings& s) {
             BuildTree(sandbox.Path("origin"), {{"a/old.txt", "o"}, {"b/old.tmp", "o"}});
             s.AgeMode = caAll;
             s.Sync = csyFolder;
             s.SyncDir = sandbox.Path("origin");
         },
         {"a/new.txt", "c/only-old.txt"}},
        {"synchronisation with a folder that is missing deletes nothing",
         [this](TCleanupSettings& s) {
             s.AgeMode = caAll;
             s.Sync = csyFolder;
             s.SyncDir = sandbox.Path("gone");
         },
         {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(Dst());
        fs::remove_all(sandbox.Path("origin"));
        MakeBackup();
        TCleanupSettings s = Settings();
        c.set(s);
        Run(s);
        EXPECT_EQ(Left(), Without(All, c.gone));
        EXPECT_EQ(runFiles, static_cast<int64_t>(c.gone.size()));
        ExpectOutsideUntouched();
        EXPECT_EQ(host.ExitState(), 0) << logText;
    }
    EXPECT_TRUE(logText.find("No info found for synchronizing with origin!") != std::string::npos) << logText;
}

TEST_F(CleanupRunTest, EmptiedFoldersGoUnlessTheyAreToStay)
{
    MakeBackup();
    TCleanupSettings s = Settings();
    Run(s);
    EXPECT_FALSE(fs::exists(Dst("c"))) << "a folder emptied by the cleanup is removed";
    EXPECT_FALSE(fs::exists(Dst("b")));
    EXPECT_FALSE(fs::exists(Dst("fresh"))) << "so is one that was empty before";
    EXPECT_TRUE(fs::exists(Dst("a")));

    fs::remove_all(Dst());
    MakeBackup();
    s.EmptyDirs = false;
    Run(s);
    EXPECT_TRUE(fs::exists(Dst("c")));
    EXPECT_TRUE(fs::exists(Dst("fresh")));

    // a cleanup folder that ends up empty stays unless asked for
    fs::remove_all(Dst());
    BuildTree(Dst(), {{"x/old.txt", "o", old}});
    s.EmptyDirs = true;
    s.EmptyRoot = false;
    Run(s);
    EXPECT_TRUE(fs::exists(Dst()));
    EXPECT_FALSE(fs::exists(Dst("x")));
}

TEST_F(CleanupRunTest, RootDirectoriesAreDeletedWholeButNeverThroughALink)
{
    MakeBackup();
    TCleanupSettings s = Settings();
    s.Subject = csRootDirs;
    Run(s);
    EXPECT_EQ(Left(), (Files{"a/linkfile.txt", "linkdir"})) << "a folder holding a link stays";
    EXPECT_TRUE(logText.find("Directory is not empty: \"a\" (3 files deleted)") != std::string::npos)
        << logText;
    EXPECT_TRUE(fs::exists(Dst("fresh"))) << "a directory newer than the limit stays";
    ExpectOutsideUntouched();
    EXPECT_EQ(runFiles, 6) << "the files in the deleted directories are counted";
    EXPECT_TRUE(logText.find("Directory was deleted: \"~2024\" (1 file)") != std::string::npos) << logText;
}

TEST_F(CleanupRunTest, FreeSpaceModeTakesTheOldestFilesUpToTheSize)
{
    struct
    {
        const char* space;
        Files gone;
    } cases[] = {{"100", {"1.bin", "2.bin"}},
                 {"110", {"1.bin", "2.bin", "3.bin"}},
                 {"1 KiB", {"1.bin", "2.bin", "3.bin"}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.space);
        fs::remove_all(Dst());
        BuildTree(Dst(), {{"1.bin", std::string(60, 'a'), old},
                          {"2.bin", std::string(50, 'b'), old + 10},
                          {"3.bin", std::string(40, 'c'), old + 20}});
        TCleanupSettings s = Settings();
        s.FreeSpace = true;
        s.SpaceText = c.space;
        s.EmptyRoot = false;
        Run(s);
        EXPECT_EQ(host.ExitState(), 0) << logText;
        EXPECT_EQ(Left(), Without({"1.bin", "2.bin", "3.bin"}, c.gone));
    }
}

TEST_F(CleanupRunTest, AReadOnlyFileIsDeletedAndAFailureIsCountedAndReported)
{
    BuildTree(Dst(), {{"ro.txt", "r", old}, {"locked/f.txt", "f", old}});
    fs::permissions(Dst("ro.txt"), fs::perms::owner_read);
    const bool root = ::geteuid() == 0;
    if (!root)
        fs::permissions(Dst("locked"), fs::perms::owner_read | fs::perms::owner_exec);
    TCleanupSettings s = Settings();
    Run(s);
    if (fs::exists(Dst("locked")))
        fs::permissions(Dst("locked"), fs::perms::owner_all);
    EXPECT_FALSE(fs::exists(Dst("ro.txt")));
    if (root)
        return; // root deletes in a read-only folder too
    EXPECT_TRUE(fs::exists(Dst("locked/f.txt")));
    EXPECT_EQ(host.ExitState(), 4);
    EXPECT_EQ(runFiles, 1) << "only what was deleted is counted";
    EXPECT_TRUE(logText.find("Error deleting file: \"locked/f.txt\"") != std::string::npos) << logText;
}

TEST_F(CleanupRunTest, MissingFolderBadSizeAndDamagedTaskAreReported)
{
    TCleanupSettings s = Settings();
    s.Directory = sandbox.Path("nothing");
    EXPECT_EQ(Run(s), brError);
    EXPECT_EQ(host.ExitState(), 3);
    EXPECT_TRUE(logText.find("Could not find directory") != std::string::npos) << logText;

    MakeBackup();
    WriteFileBytes(sandbox.Path("bad.cuj"),
                   "[Cleanup]\nDirectory=" + Dst() + "\nFreeSpace=1\nSpaceSize=-5\n");
    // a size that makes no sense becomes the default: the run goes on
    THeadlessConfirmFiles confirm;
    TCleanupRun run(host, interaction, progress, control, log, confirm);
    run.StartClean(sandbox.Path("bad.cuj"), 0, 0, iaQuiet);
    EXPECT_EQ(host.ExitState(), 0);

    EXPECT_EQ(run.StartClean(sandbox.Path("none.cuj"), 0, 0, iaQuiet), brError);
    EXPECT_EQ(host.ExitState(), 6);
}

TEST_F(CleanupRunTest, TrashTakesTheFilesWhenAsked)
{
    MakeBackup();
    TCleanupSettings s = Settings();
    s.UseRecycler = true;
    Run(s);
    EXPECT_EQ(Left(), Without(All, {"a/old.txt", "b/old.tmp", "c/only-old.txt"}));
    EXPECT_TRUE(logText.find("File was moved to Recycle Bin: \"a/old.txt\"") != std::string::npos) << logText;
    bool inTrash = false;
    for (const auto& e : fs::recursive_directory_iterator(sandbox.Root()))
        if (e.path().filename() == "only-old.txt" && e.path().string().find("Trash") != std::string::npos)
            inTrash = true;
    EXPECT_TRUE(inTrash);
}

// `Vastrel /clean` after a real backup: the copies of files gone from the source are deleted.
class CleanupWholeRunTest : public wholerun::WholeRunTest
{
};

TEST_F(CleanupWholeRunTest, CommandLineCleanupRemovesCopiesOfDeletedSourceFiles)
{
    tooltest::SetProgramDefaults();
    RunOk(WriteTask({{"DestMode", "2"}, {"Compress", "1"}}), wholerun::CopiedText(4));
    fs::remove(Src("sub/b.dat"));
    TCleanupSettings s = DefaultCleanupSettings();
    s.Directory = Dst();
    s.AgeMode = caAll;
    s.Sync = csyFolder;
    s.SyncDir = Src();
    s.ProtMode = 2;
    const std::string task = sandbox.Path("clean.cuj");
    SaveCleanupTask(task, s);
    const std::string logName = ConfigDir() + "Vastrel.log";
    const size_t before = fs::exists(logName) ? fs::file_size(logName) : 0;
    ShellResult r =
        RunShell("timeout 300 " + ShellQuote(wholerun::VastrelExe) + " /clean " + ShellQuote(task));
    const std::string runLog = ReadFileBytes(logName).substr(before);
    EXPECT_EQ(r.exitCode, 0) << runLog << r.output;
    EXPECT_FALSE(fs::exists(Dst("sub/b.dat.gz"))) << runLog;
    EXPECT_TRUE(fs::exists(Dst("a.txt.gz")));
    EXPECT_TRUE(fs::exists(Dst("sub/deep/c.log.gz")));
    EXPECT_TRUE(runLog.find("File was deleted: \"sub/b.dat.gz\"") != std::string::npos) << runLog;
}

// The same folder on a pyftpdlib server: the task's server folder is "/dst", and the server also serves
// the folder "/outside" beside it. The server shows a link as what it leads to, so the folder has none.
const Files OnServer = {"a/new.txt", "a/old.txt",      "a/report.bak.docx",
                        "b/old.tmp", "c/only-old.txt", "~2024/old.txt"};

class CleanupFtpRunTest : public CleanupRunTest
{
protected:
    void MakeServerBackup()
    {
        MakeBackup();
        fs::remove(Dst("linkdir"));
        fs::remove(Dst("a/linkfile.txt"));
        SetFileMTime(Dst("a"), fresh);
    }
    TCleanupSettings FtpSettings(int port)
    {
        TCleanupSettings s = Settings();
        s.Directory.clear();
        s.CuFtp = true;
        s.FtpPar.Host = "127.0.0.1";
        s.FtpPar.Port = port;
        s.FtpPar.Username = PyFtpServer::User;
        s.FtpPar.Password = PyFtpServer::Password;
        s.FtpPar.Directory = "/dst";
        s.FtpPar.Passive = true;
        return s;
    }
};

TEST_F(CleanupFtpRunTest, DeletesOnTheServerExactlyWhatTheRulesSelect)
{
    VASTREL_REQUIRE_SERVER(PyFtpServer::MissingReason());
    PyFtpServer server(sandbox.Path(""), "plain");
    ASSERT_TRUE(server.Started()) << server.Error();
    struct Case
    {
        const char* name;
        std::function<void(TCleanupSettings&)> set;
        Files gone;
    };
    const Case cases[] = {
        // security copies are not protected from a cleanup of files on a server
        {"files older than 4 weeks",
         [](TCleanupSettings&) {},
         {"a/old.txt", "a/report.bak.docx", "b/old.tmp", "c/only-old.txt", "~2024/old.txt"}},
        {"all files",
         [](TCleanupSettings& s) { s.AgeMode = caAll; },
         {"a/new.txt", "a/old.txt", "a/report.bak.docx", "b/old.tmp", "c/only-old.txt", "~2024/old.txt"}},
        {"files since a date",
         [this](TCleanupSettings& s) {
             s.AgeMode = caSince;
             s.Date = UnixToDateTime(fresh - Day);
         },
         {"a/new.txt"}},
        {"only these types",
         [](TCleanupSettings& s) {
             s.TypesMode = 1;
             s.TypeList = "TMP";
         },
         {"b/old.tmp"}},
        {"a name filter",
         [](TCleanupSettings& s) {
             s.FilterMode = fmExclude;
             s.FilterText = "only*";
         },
         {"a/old.txt", "a/report.bak.docx", "b/old.tmp", "~2024/old.txt"}},
        {"only security copies",
         [](TCleanupSettings& s) { s.Subject = csSecurityCopies; },
         {"a/report.bak.docx"}},
        {"only security copies in copy folders",
         [](TCleanupSettings& s) {
             s.Subject = csSecurityCopies;
             s.BakSec.Selection = 1u << ssDirs;
         },
         {"~2024/old.txt"}},
        {"synchronisation with a folder deletes what is gone there",
         [this](TCleanupSettings& s) {
             BuildTree(sandbox.Path("origin"), {{"a/old.txt", "o"}, {"b/old.tmp", "o"}});
             s.AgeMode = caAll;
             s.Sync = csyFolder;
             s.SyncDir = sandbox.Path("origin");
         },
         {"a/new.txt", "a/report.bak.docx", "c/only-old.txt", "~2024/old.txt"}},
        {"synchronisation with a folder that is missing deletes nothing",
         [this](TCleanupSettings& s) {
             s.AgeMode = caAll;
             s.Sync = csyFolder;
             s.SyncDir = sandbox.Path("gone");
         },
         {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(Dst());
        fs::remove_all(sandbox.Path("origin"));
        MakeServerBackup();
        TCleanupSettings s = FtpSettings(server.Port());
        c.set(s);
        Run(s);
        EXPECT_EQ(Left(), Without(OnServer, c.gone)) << logText;
        EXPECT_EQ(runFiles, static_cast<int64_t>(c.gone.size())) << logText;
        ExpectOutsideUntouched();
        EXPECT_EQ(host.ExitState(), 0) << logText;
    }
}

TEST_F(CleanupFtpRunTest, RootDirectoriesEmptiedFoldersAndAMissingServerOnTheServer)
{
    VASTREL_REQUIRE_SERVER(PyFtpServer::MissingReason());
    PyFtpServer server(sandbox.Path(""), "plain");
    ASSERT_TRUE(server.Started()) << server.Error();

    // Old root directories go whole; the fresh one stays.
    MakeServerBackup();
    TCleanupSettings s = FtpSettings(server.Port());
    s.Subject = csRootDirs;
    Run(s);
    EXPECT_EQ(Left(), Files({"a/new.txt", "a/old.txt", "a/report.bak.docx"})) << logText;
    EXPECT_FALSE(fs::exists(Dst("b")));
    EXPECT_TRUE(fs::exists(Dst("fresh")));
    ExpectOutsideUntouched();
    EXPECT_EQ(host.ExitState(), 0) << logText;

    // Folders that the deletion emptied go, unless they are to stay.
    for (const bool emptyDirs : {true, false}) {
        SCOPED_TRACE(emptyDirs ? "empty folders deleted" : "empty folders kept");
        fs::remove_all(Dst());
        MakeServerBackup();
        s = FtpSettings(server.Port());
        s.EmptyDirs = emptyDirs;
        Run(s);
        EXPECT_EQ(fs::exists(Dst("c")), !emptyDirs) << logText;
        EXPECT_EQ(fs::exists(Dst("b")), !emptyDirs) << logText;
        EXPECT_TRUE(fs::exists(Dst("a/new.txt")));
        ExpectOutsideUntouched();
    }

    // No server: reported, exit state 3, nothing deleted.
    fs::remove_all(Dst());
    MakeServerBackup();
    EXPECT_EQ(Run(FtpSettings(1)), brError);
    EXPECT_EQ(host.ExitState(), 3);
    EXPECT_NE(logText.find("Connection to FTP server failed: "), std::string::npos) << logText;
    EXPECT_EQ(Left(), OnServer);
}

TEST_F(CleanupFtpRunTest, SynchronisationWithTheOriginThroughDriveFolders)
{
    VASTREL_REQUIRE_SERVER(PyFtpServer::MissingReason());
    PyFtpServer server(sandbox.Path(""), "plain");
    ASSERT_TRUE(server.Started()) << server.Error();
    // A backup in drive folders of the folder "origin": the server holds its copies below /dst/Drv,
    // and the origin still has some of the files.
    const std::string origin = sandbox.Path("origin");
    const std::string copies = "Drv" + origin + "/";
    BuildTree(origin, {{"kept.txt", "k"}, {"sub/kept.log", "k"}, {"data.zip", "z"}});
    const std::string copiesRel = copies.substr(0, copies.size() - 1);
    struct Case
    {
        const char* name;
        std::string dir; // the task's server folder
    };
    const Case cases[] = {
        {"drive folders below the server folder", "/dst"},
        {"the server folder inside a drive folder", "/dst/" + copiesRel},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(Dst());
        BuildTree(Dst(), {{copies + "kept.txt.gz", "c"},
                          {copies + "gone.txt.gz", "c"},
                          {copies + "sub/kept.log", "c"},
                          {copies + "sub/gone.log", "c"},
                          {copies + "data.zip", "c"},
                          {copies + "other.zip", "c"}});
        TCleanupSettings s = FtpSettings(server.Port());
        s.FtpPar.Directory = c.dir;
        s.AgeMode = caAll;
        s.Sync = csyOrigin;
        s.DriveIdent = "Drv?";
        Run(s);
        // a zip file of the origin that still exists keeps its copy
        EXPECT_EQ(Left(), Files({copies + "data.zip", copies + "kept.txt.gz", copies + "sub/kept.log"}))
            << logText;
        EXPECT_EQ(host.ExitState(), 0) << logText;
        EXPECT_TRUE(fs::exists(origin + "/kept.txt") && fs::exists(origin + "/sub/kept.log") &&
                    fs::exists(origin + "/data.zip"));
    }
}

} // namespace
