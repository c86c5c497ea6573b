#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

#include <gtest/gtest.h>

#include "RunTestUtil.h"
#include "backup/CopyLoop.h"
#include "backup/Synchronize.h"
#include "platform/Trash.h"
#include "support/Files.h"
#include "support/Servers.h"

namespace fs = std::filesystem;

namespace {

[[maybe_unused]] void SetMTime(const std::string& name, time_t t)
{
    struct utimbuf times
    {
        t, t
    };
    utime(name.c_str(), &times);
}

// Every file below root as "relative/path=content", sorted.
std::vector<std::string> Tree(const std::string& root)
{
    std::vector<std::string> files;
    if (!fs::exists(root))
        return files;
    for (const auto& e : fs::recursive_directory_iterator(root)) {
        if (e.is_symlink() || !e.is_regular_file())
            continue;
        std::string rel = fs::relative(e.path(), root).string();
        if (rel == "$TimeStamp.qvu")
            continue;
        files.push_back(rel + "=" + ReadFileBytes(e.path().string()));
    }
    std::sort(files.begin(), files.end());
    return files;
}

size_t Count(const std::string& text, const std::string& what)
{
    size_t n = 0;
    for (size_t pos = text.find(what); pos != std::string::npos; pos = text.find(what, pos + 1))
        ++n;
    return n;
}

class SynchronizeTest : public runtest::RunFrameTest
{
protected:
    void SetUp() override
    {
        runtest::RunFrameTest::SetUp();
        ProgSettings.SecCopySettings.BakPrefix = "~";
        ProgSettings.SecCopySettings.SyncPrefix = "_";
        ProgSettings.SecCopySettings.BakSuffix = "bak";
        ProgSettings.SecCopySettings.SyncSuffix = "sync";
        AttachCopyLoop(engine, loop);
    }
    std::string Src(const std::string& rel = "") { return sandbox.Path("src/" + rel); }
    std::string Dst(const std::string& rel = "") { return sandbox.Path("dest/" + rel); }
    // A task of one source folder backed up into the destination itself (method 2), with the log at
    // level 3 unless extra says otherwise.
    std::string Task(const std::string& extra, const std::string& source = "",
                     const std::string& dirExtra = "")
    {
        std::string path = sandbox.Path("tasks/t.buj");
        fs::create_directories(sandbox.Path("tasks"));
        std::ofstream(path) << "[Global]\nDestination=" << sandbox.Path("dest")
                            << "\nDestMode=2\nDirCount=1\n"
                            << (extra.find("LogFile=") == std::string::npos ? "LogFile=3\n" : "") << extra
                            << "\n[Dir000]\nSource=" << (source.empty() ? sandbox.Path("src") : source)
                            << "\nBackupMode=1\n"
                            << dirExtra << "\n";
        return path;
    }
    TBuResult RunTask(const std::string& extra, const std::string& source = "",
                      const std::string& dirExtra = "")
    {
        size_t before = ReadFileBytes(host.DefaultLog).size();
        TBuResult r = engine.DoBackupJob(0, iaQuiet, 3, Task(extra, source, dirExtra));
        lastLog = ReadFileBytes(host.DefaultLog).substr(before);
        return r;
    }
    bool Logged(const std::string& text) const { return lastLog.find(text) != std::string::npos; }

    TRecordingProgress progress;
    TRunControl control;
    TBackupEngine engine{host, interaction, progress, control, log};
    TCopyLoop loop{engine.Task, log, control, progress, interaction};
    std::string lastLog;
};

TEST_F(SynchronizeTest, AllFilesModeRemovesWhatTheSourceNoLongerHasAndCountsIt)
{
    for (bool before : {false, true}) {
        SCOPED_TRACE(before ? "before the copy" : "after the copy");
        fs::remove_all(Src());
        fs::remove_all(Dst());
        WriteFileBytes(Src("a.txt"), "alpha");
        WriteFileBytes(Src("d/b.txt"), "beta");
        WriteFileBytes(Dst("a.txt"), "old alpha");
        SetMTime(Dst("a.txt"), 1600000000);
        WriteFileBytes(Dst("gone.txt"), "gone");
        WriteFileBytes(Dst("d/gone2.txt"), "gone too");
        WriteFileBytes(Dst("olddir/x.txt"), "x");
        WriteFileBytes(Dst("olddir/y/z.txt"), "z");
        EXPECT_EQ(RunTask(std::string("SyncMode=1\nSyncBefore=") + (before ? "1" : "0")), brOK);
        EXPECT_EQ(host.FExitState, 0) << lastLog;
        EXPECT_EQ(Tree(Dst()), (std::vector<std::string>{"a.txt=alpha", "d/b.txt=beta"}));
        EXPECT_TRUE(Logged("->  Synchronize: " + sandbox.Path("dest"))) << lastLog;
        EXPECT_TRUE(Logged("-> File was deleted: \"gone.txt\"")) << lastLog;
        EXPECT_TRUE(Logged("-> File was deleted: \"d/gone2.txt\"")) << lastLog;
        EXPECT_TRUE(Logged("-> Directory was deleted: \"olddir\" (2 files)")) << lastLog;
        EXPECT_TRUE(Logged("=> Status: 4 files deleted")) << lastLog;
        EXPECT_TRUE(Logged("Synchronization: 4 files deleted")) << lastLog;
        EXPECT_FALSE(Logged("Warning: There were errors during synchronization!")) << lastLog;
        // Before: synchronise, then "Data backup" and the copy; after: the copy's status line first.
        size_t sync = lastLog.find("->  Synchronize:");
        size_t copy = lastLog.find("Status: 2 files copied");
        ASSERT_NE(copy, std::string::npos) << lastLog;
        EXPECT_EQ(sync < copy, before) << lastLog;
        EXPECT_EQ(Logged("->  Data backup"), true);
        EXPECT_EQ(Count(lastLog, "Synchronize:"), 1u);
    }
    // In step now: nothing to delete.
    EXPECT_EQ(RunTask("SyncMode=1"), brOK);
    EXPECT_TRUE(Logged("=> Status: No files deleted")) << lastLog;
    EXPECT_EQ(Tree(Dst()), (std::vector<std::string>{"a.txt=alpha", "d/b.txt=beta"}));
}

TEST_F(SynchronizeTest, SyncCopiesKeepWhatGoesUnderNewNamesAndAreNotRenamedAgain)
{
    struct Case
    {
        int secMode;
        std::vector<std::string> tree;
        std::string renamedLine;
    };
    const std::vector<Case> cases = {
        {0,
         {"_olddir-old/x.txt=x", "a.txt=alpha", "d/b.txt=beta", "d/gone2.sync.txt=gone too",
          "gone.sync.txt=gone"},
         "File was renamed: \"gone.txt\" to \"gone.sync.txt\""},
        {1,
         {"_sync/gone.sync.txt=gone", "_sync/olddir-old/x.txt=x", "a.txt=alpha",
          "d/_sync/gone2.sync.txt=gone too", "d/b.txt=beta"},
         "File was renamed: \"gone.txt\" to \"_sync/gone.sync.txt\""},
        {2,
         {"_sync/d/gone2.sync.txt=gone too", "_sync/gone.sync.txt=gone", "_sync/olddir-old/x.txt=x",
          "a.txt=alpha", "d/b.txt=beta"},
         "File was renamed: \"d/gone2.txt\" to \"_sync/d/gone2.sync.txt\""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("SyncSecMode=" + std::to_string(c.secMode));
        fs::remove_all(Src());
        fs::remove_all(Dst());
        WriteFileBytes(Src("a.txt"), "alpha");
        WriteFileBytes(Src("d/b.txt"), "beta");
        WriteFileBytes(Dst("gone.txt"), "gone");
        WriteFileBytes(Dst("d/gone2.txt"), "gone too");
        WriteFileBytes(Dst("olddir/x.txt"), "x");
        std::string extra = "SyncMode=1\nSyncFiles=1\nSyncSuffix=sync\nDirSuffix=old\nSyncSecMode=" +
                            std::to_string(c.secMode);
        EXPECT_EQ(RunTask(extra), brOK);
        EXPECT_EQ(Tree(Dst()), c.tree);
        EXPECT_TRUE(Logged(c.renamedLine)) << lastLog;
        EXPECT_TRUE(Logged("Directory was renamed: \"olddir\" to ")) << lastLog;
        EXPECT_TRUE(Logged("=> Status: 3 files deleted")) << lastLog;
        EXPECT_EQ(host.FExitState, 0) << lastLog;
        // The copies are recognised as such on the next run and stay as they are.
        EXPECT_EQ(RunTask(extra), brOK);
        EXPECT_EQ(Tree(Dst()), c.tree);
        EXPECT_TRUE(Logged("=> Status: No files deleted")) << lastLog;
    }
}

TEST_F(SynchronizeTest, OlderVersionsOfExistingFilesStayAndThoseOfVanishedFilesGo)
{
    WriteFileBytes(Src("report.txt"), "report");
    WriteFileBytes(Src("report.bakery.txt"), "bakery");
    WriteFileBytes(Dst("report.bak.txt"), "older report");
    WriteFileBytes(Dst("report.bak2.txt"), "even older report");
    WriteFileBytes(Dst("gone.bak.txt"), "older gone");
    EXPECT_EQ(RunTask("SyncMode=1\nBakFiles=1\nBakSuffix=bak"), brOK);
    EXPECT_EQ(Tree(Dst()),
              (std::vector<std::string>{"report.bak.txt=older report", "report.bak2.txt=even older report",
                                        "report.bakery.txt=bakery", "report.txt=report"}));
    EXPECT_TRUE(Logged("File was deleted: \"gone.bak.txt\"")) << lastLog;
    EXPECT_TRUE(Logged("=> Status: 1 file deleted")) << lastLog;

    // Versions kept in a folder: the folder is spared; the versions of a vanished file go with it.
    fs::remove_all(Dst());
    WriteFileBytes(Dst("report.txt"), "report");
    WriteFileBytes(Dst("gone.txt"), "gone");
    WriteFileBytes(Dst("~bak/report.bak.txt"), "older report");
    WriteFileBytes(Dst("~bak/gone.bak.txt"), "older gone");
    EXPECT_EQ(RunTask("SyncMode=1\nSyncBefore=1\nBakFiles=1\nBakSuffix=bak\nBakSecMode=1"), brOK);
    EXPECT_TRUE(Logged("Directory \"" + Dst("~bak") + "\" contains security copies and was not deleted"))
        << lastLog;
    EXPECT_TRUE(fs::exists(Dst("~bak/report.bak.txt")));
    EXPECT_FALSE(fs::exists(Dst("~bak/gone.bak.txt")));
    EXPECT_FALSE(fs::exists(Dst("gone.txt")));
}

TEST_F(SynchronizeTest, StoredFormsTellWhichSourceFileADestinationFileStandsFor)
{
    struct Case
    {
        std::string extra;
        std::vector<std::string> source;
        std::string destFile;
        bool goes;
    };
    const std::vector<Case> cases = {
        // Compressed copies stand for the file without ".gz".
        {"Compress=1", {}, "report.txt.gz", true},
        {"Compress=1", {"report.txt"}, "report.txt.gz", false},
        // Without compression the name is taken as it is.
        {"Compress=0", {"report.txt"}, "report.txt.gz", true},
        {"Compress=0", {"report.txt.gz"}, "report.txt.gz", false},
        // A plain copy of a file the backup now compresses goes even though its source is there.
        {"Compress=1", {"plain.txt"}, "plain.txt", true},
        // ... but not when its type is never compressed.
        {"Compress=1\nNoCompTypes=JPG", {"photo.jpg"}, "photo.jpg", false},
        // A file of a type that is not compressed and whose own name ends ".gz".
        {"Compress=1\nNoCompTypes=GZ", {"archive.gz"}, "archive.gz", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.extra + " / " + c.destFile);
        fs::remove_all(Src());
        fs::remove_all(Dst());
        fs::create_directories(Src());
        WriteFileBytes(Src("other.txt"), "other");
        for (const auto& name : c.source)
            WriteFileBytes(Src(name), "source");
        WriteFileBytes(Dst(c.destFile), "stored");
        RunTask("SyncMode=1\nSyncBefore=1\n" + c.extra);
        EXPECT_EQ(Logged("File was deleted: \"" + c.destFile + "\""), c.goes) << lastLog;
        EXPECT_EQ(Logged("Existing source file: \"" + Src()), !c.goes) << lastLog;
    }
}

TEST_F(SynchronizeTest, SelectedFileModesFollowTheFolderListAndTheTypes)
{
    struct Case
    {
        int mode;
        std::string dirExtra;
        std::vector<std::string> deleted; // destination files that go
        bool outFolderGoes;
    };
    const std::string in = "IncludeDirs=1\nSubCount=1\nSubDir000=in\n";
    const std::string ex = "IncludeDirs=0\nSubCount=1\nSubDir000=out\n";
    const std::vector<Case> cases = {
        // Included sub-folders: the top folder's files are never deleted in mode 2, all of them in mode 3.
        {2, in, {"in/igone.txt"}, false},
        {3, in, {"top.txt", "topgone.txt", "notes.log", "in/igone.txt"}, true},
        // Excluded sub-folders: kept in mode 2, removed in mode 3.
        {2, ex, {"topgone.txt", "in/igone.txt"}, false},
        {3, ex, {"topgone.txt", "in/igone.txt"}, true},
        // Types that are not selected: kept in mode 2, deleted in mode 3 even with their source there.
        {2, ex + "BackupMode=1\nExclude=LOG", {"topgone.txt", "in/igone.txt"}, false},
        {3, ex + "BackupMode=1\nExclude=LOG", {"topgone.txt", "notes.log", "in/igone.txt"}, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("SyncMode=" + std::to_string(c.mode) + " " + c.dirExtra);
        fs::remove_all(Src());
        fs::remove_all(Dst());
        for (const char* name : {"top.txt", "notes.log", "in/i.txt", "out/o.txt"}) {
            WriteFileBytes(Src(name), "s");
            WriteFileBytes(Dst(name), "s");
        }
        for (const char* name : {"topgone.txt", "in/igone.txt", "out/ogone.txt"})
            WriteFileBytes(Dst(name), "d");
        std::string dirExtra = c.dirExtra;
        // The task file takes the folder's own list keys; BackupMode is already set by the helper.
        size_t pos = dirExtra.find("BackupMode=1\n");
        if (pos != std::string::npos)
            dirExtra.erase(pos, 13);
        RunTask("SyncMode=" + std::to_string(c.mode) + "\nSyncBefore=1", "", dirExtra);
        for (const char* name : {"top.txt", "topgone.txt", "notes.log", "in/i.txt", "in/igone.txt"}) {
            bool expected = std::find(c.deleted.begin(), c.deleted.end(), name) != c.deleted.end();
            EXPECT_EQ(Logged("File was deleted: \"" + std::string(name) + "\""), expected) << name << "\n"
                                                                                           << lastLog;
        }
        EXPECT_EQ(Logged("Directory was deleted: \"out\""), c.outFolderGoes) << lastLog;
        EXPECT_EQ(fs::exists(Dst("out/ogone.txt")), !c.outFolderGoes);
    }
}

// The destination of the safety tests and a check that it is exactly as it was.
class SynchronizeSafetyTest : public SynchronizeTest
{
protected:
    void FillDestination()
    {
        fs::remove_all(Dst());
        WriteFileBytes(Dst("keep.txt"), "keep");
        WriteFileBytes(Dst("sub/keep2.txt"), "keep too");
    }
    void ExpectDestinationUntouched()
    {
        EXPECT_EQ(Tree(Dst()), (std::vector<std::string>{"keep.txt=keep", "sub/keep2.txt=keep too"}))
            << lastLog;
        EXPECT_FALSE(Logged("was deleted")) << lastLog;
        EXPECT_NE(host.FExitState, 0) << lastLog;
    }
};

TEST_F(SynchronizeSafetyTest, MissingOrEmptySourceNeverEmptiesTheDestination)
{
    struct Case
    {
        std::string name;
        std::string source;
        bool makeEmpty;
    };
    const std::vector<Case> cases = {
        {"missing folder", sandbox.Path("nosuch"), false},
        {"folder below a drive that is not mounted", sandbox.Path("media/usb/data"), false},
        {"volume that is not present", ":VASTREL-NO-SUCH-VOLUME:/data", false},
        {"empty folder", sandbox.Path("empty"), true},
    };
    for (const auto& c : cases) {
        for (bool before : {false, true}) {
            SCOPED_TRACE(c.name + (before ? ", before" : ", after"));
            FillDestination();
            if (c.makeEmpty)
                fs::create_directories(c.source);
            host.FExitState = 0;
            RunTask(std::string("SyncMode=1\nSyncBefore=") + (before ? "1" : "0"), c.source);
            ExpectDestinationUntouched();
            if (c.makeEmpty) {
                EXPECT_TRUE(Logged("*** Synchronize - The source folder is empty")) << lastLog;
            }
        }
    }
}

TEST_F(SynchronizeSafetyTest, UnmountedSourceDriveLeavesItsEmptyMountFolderAndTheDestinationStays)
{
    fs::create_directories(Src());
    VASTREL_REQUIRE_SERVER(MountTmpfs(Src()));
    WriteFileBytes(Src("keep.txt"), "keep");
    WriteFileBytes(Src("sub/keep2.txt"), "keep too");
    fs::remove_all(Dst());
    EXPECT_EQ(RunTask("SyncMode=1"), brOK);
    EXPECT_EQ(Tree(Dst()), (std::vector<std::string>{"keep.txt=keep", "sub/keep2.txt=keep too"})) << lastLog;
    ASSERT_EQ(umount(Src().c_str()), 0);
    for (bool before : {false, true}) {
        host.FExitState = 0;
        RunTask(std::string("SyncMode=1\nSyncBefore=") + (before ? "1" : "0"));
        ExpectDestinationUntouched();
    }
}

// Runs a piece of a test as an ordinary user when the tests run as root, so that permissions bind.
class UnprivilegedScope
{
public:
    // Everything below root is opened to all, then the folders of locked get the given permissions.
    UnprivilegedScope(const std::string& root, const std::vector<std::pair<std::string, fs::perms>>& locked)
    {
        if (geteuid() == 0) {
            for (const auto& e : fs::recursive_directory_iterator(root))
                if (!e.is_symlink())
                    fs::permissions(e.path(), fs::perms::all);
            fs::permissions(root, fs::perms::all);
        }
        for (const auto& [path, perms] : locked)
            fs::permissions(path, perms);
        if (geteuid() == 0)
            FDropped = seteuid(65534) == 0;
    }
    ~UnprivilegedScope()
    {
        if (FDropped) {
            EXPECT_EQ(seteuid(0), 0);
        }
    }
    bool Ok() const { return FDropped || geteuid() != 0; }

private:
    bool FDropped = false;
};

TEST_F(SynchronizeSafetyTest, SourceFoldersThatCannotBeReadKeepTheirDestination)
{
    WriteFileBytes(Src("a.txt"), "alpha");
    WriteFileBytes(Src("locked/l.txt"), "locked");
    WriteFileBytes(Src("other/o.txt"), "other");
    WriteFileBytes(Dst("a.txt"), "alpha");
    WriteFileBytes(Dst("gone.txt"), "gone");
    WriteFileBytes(Dst("other/gone.txt"), "gone");
    WriteFileBytes(Dst("locked/l.txt"), "locked");
    WriteFileBytes(Dst("locked/old.txt"), "old");
    fs::create_directories(sandbox.Path("cfg"));
    fs::create_directories(sandbox.Path("tmp"));
    fs::create_directories(sandbox.Path("tasks"));
    std::string task = Task("SyncMode=1\nSyncBefore=1");
    WriteFileBytes(host.DefaultLog, "");
    {
        UnprivilegedScope user(sandbox.Path(), {{Src("locked"), fs::perms::none}});
        ASSERT_TRUE(user.Ok());
        engine.DoBackupJob(0, iaQuiet, 3, task);
    }
    lastLog = ReadFileBytes(host.DefaultLog);
    EXPECT_TRUE(fs::exists(Dst("locked/l.txt")));
    EXPECT_TRUE(fs::exists(Dst("locked/old.txt")));
    // Readable folders are synchronised; the files of a folder with an unreadable part stay.
    EXPECT_FALSE(fs::exists(Dst("other/gone.txt"))) << lastLog;
    EXPECT_TRUE(fs::exists(Dst("gone.txt"))) << lastLog;
    EXPECT_TRUE(Logged("Warning: There were errors during synchronization!")) << lastLog;
    EXPECT_TRUE(Logged(Src("locked/"))) << lastLog;
    EXPECT_NE(host.FExitState, 0);

    // The whole source folder unreadable: nothing is synchronised at all.
    WriteFileBytes(Dst("other/gone.txt"), "gone");
    host.FExitState = 0;
    {
        UnprivilegedScope user(sandbox.Path(), {{Src(), fs::perms::none}});
        ASSERT_TRUE(user.Ok());
        engine.DoBackupJob(0, iaQuiet, 3, task);
    }
    fs::permissions(Src(), fs::perms::all);
    EXPECT_TRUE(fs::exists(Dst("gone.txt")));
    EXPECT_TRUE(fs::exists(Dst("other/gone.txt")));
    EXPECT_TRUE(fs::exists(Dst("locked/old.txt")));
    EXPECT_NE(host.FExitState, 0);
}

TEST_F(SynchronizeSafetyTest, TheWalkItselfTouchesNothingBelowASourceItCannotTrust)
{
    WriteFileBytes(sandbox.Path("afile"), "not a folder");
    fs::create_directories(sandbox.Path("empty"));
    TRunControl ctl;
    THeadlessProgress prog;
    TEngineFileOps ops(log, ctl);
    for (const std::string& src : {sandbox.Path("nosuch"), sandbox.Path("afile"), sandbox.Path("empty")}) {
        SCOPED_TRACE(src);
        FillDestination();
        TSynchronizer sync(engine.Task, log, ctl, prog, interaction, ops);
        engine.Task.SyncMode = 1;
        TTimePeriod period;
        TExtensionList list(period, sdmNormal);
        int examined = 0, deleted = 0;
        EXPECT_FALSE(sync.SyncLocalDestination(src, Dst(), list, examined, deleted, false, false, ""));
        EXPECT_EQ(deleted, 0);
        EXPECT_EQ(Tree(Dst()), (std::vector<std::string>{"keep.txt=keep", "sub/keep2.txt=keep too"}));
    }
}

TEST_F(SynchronizeTest, TrashTakesWhatGoesAndEmptiedFoldersAreRemoved)
{
    WriteFileBytes(Src("a.txt"), "alpha");
    fs::create_directories(Src("d"));
    WriteFileBytes(Dst("gone.txt"), "gone");
    WriteFileBytes(Dst("olddir/x.txt"), "x");
    WriteFileBytes(Dst("olddir/y/z.txt"), "z");
    WriteFileBytes(Dst("d/gone2.txt"), "gone too");
    EXPECT_EQ(RunTask("SyncMode=1\nUseRecycler=1\nEmptyDirs=1"), brOK);
    EXPECT_EQ(Tree(Dst()), (std::vector<std::string>{"a.txt=alpha"})) << lastLog;
    std::string trash = HomeTrashDir() + "/files/";
    EXPECT_EQ(ReadFileBytes(trash + "gone.txt"), "gone");
    EXPECT_EQ(ReadFileBytes(trash + "gone2.txt"), "gone too");
    EXPECT_TRUE(Logged("File was moved to Recycle Bin: \"gone.txt\"")) << lastLog;
    EXPECT_TRUE(Logged("Empty directory was deleted: \"" + Dst("d/") + "\"")) << lastLog;
    // Whole folders go to the trash where the file system keeps them, else they are deleted.
    bool folderToTrash = engine.TargetType == fsExt4 || engine.TargetType == fsBTRFS ||
                         engine.TargetType == fsNtfs || engine.TargetType == fsReFS;
    EXPECT_EQ(Logged("Directory was moved to Recycle Bin: \"olddir\" (2 files)"), folderToTrash) << lastLog;
    EXPECT_EQ(fs::exists(trash + "olddir/y/z.txt"), folderToTrash);
    EXPECT_TRUE(Logged("=> Status: 4 files deleted")) << lastLog;
}

TEST_F(SynchronizeTest, LinksAtTheDestinationGoAsLinksAndWhatTheyPointToStays)
{
    WriteFileBytes(Src("a.txt"), "alpha");
    WriteFileBytes(sandbox.Path("outside/keep.txt"), "keep");
    fs::create_directories(Dst("olddir"));
    fs::create_directory_symlink(sandbox.Path("outside"), Dst("linkdir"));
    fs::create_directory_symlink(sandbox.Path("outside"), Dst("olddir/inner"));
    fs::create_symlink(sandbox.Path("outside/keep.txt"), Dst("filelink"));
    for (const char* extra : {"SyncMode=1", "SyncMode=1\nSyncFiles=1\nSyncSecMode=1"}) {
        SCOPED_TRACE(extra);
        EXPECT_EQ(RunTask(extra), brOK);
        EXPECT_EQ(ReadFileBytes(sandbox.Path("outside/keep.txt")), "keep");
        EXPECT_FALSE(fs::exists(fs::symlink_status(Dst("linkdir"))));
        EXPECT_FALSE(fs::exists(fs::symlink_status(Dst("filelink"))));
        EXPECT_FALSE(fs::exists(Dst("olddir")));
        EXPECT_FALSE(Logged("keep.txt\"")) << lastLog;
        // Second round: the same links kept as sync copies instead.
        fs::create_directories(Dst("olddir"));
        fs::create_directory_symlink(sandbox.Path("outside"), Dst("linkdir"));
        fs::create_directory_symlink(sandbox.Path("outside"), Dst("olddir/inner"));
        fs::create_symlink(sandbox.Path("outside/keep.txt"), Dst("filelink"));
    }
    EXPECT_TRUE(fs::is_symlink(Dst("_sync/linkdir-_")));
    EXPECT_EQ(ReadFileBytes(sandbox.Path("outside/keep.txt")), "keep");
}

TEST_F(SynchronizeTest, ResultWindowShowsTheDeletedFilesAndWarnsOfSynchronisationErrors)
{
    WriteFileBytes(Src("a.txt"), "alpha");
    WriteFileBytes(Src("d/b.txt"), "beta");
    WriteFileBytes(Dst("gone.txt"), "gone");
    engine.DoBackupJob(0, iaPrompt, 3, Task("SyncMode=1"));
    ASSERT_FALSE(progress.Calls.empty());
    EXPECT_NE(progress.Calls.back().find("ShowStatus psOK|Backup completed|2 of 2 files copied"),
              std::string::npos)
        << progress.Calls.back();
    EXPECT_NE(progress.Calls.back().find(" (1 file deleted)|"), std::string::npos) << progress.Calls.back();

    // A file the walk cannot delete: the run still ends, with the warning of the synchronisation.
    progress.Calls.clear();
    WriteFileBytes(Dst("d/gone.txt"), "gone");
    fs::create_directories(sandbox.Path("cfg"));
    fs::create_directories(sandbox.Path("tmp"));
    std::string task = Task("SyncMode=1");
    {
        const fs::perms readOnly =
            fs::perms::owner_read | fs::perms::owner_exec | fs::perms::others_read | fs::perms::others_exec;
        UnprivilegedScope user(sandbox.Path(), {{Dst("d"), readOnly}});
        ASSERT_TRUE(user.Ok());
        engine.DoBackupJob(0, iaPrompt, 3, task);
    }
    fs::permissions(Dst("d"), fs::perms::all);
    EXPECT_TRUE(fs::exists(Dst("d/gone.txt")));
    ASSERT_FALSE(progress.Calls.empty());
    EXPECT_NE(progress.Calls.back().find("|Warning: There were errors during synchronization!|"),
              std::string::npos)
        << progress.Calls.back();
}

TEST_F(SynchronizeTest, FileServicesDeleteRenameAndPruneWithTheirLogLines)
{
    ASSERT_EQ(log.OpenLogFile(3, sandbox.Path("cfg/services.log"), false), 0u);
    log.InitLog("Data backup");
    log.BeginLog(Now(), "services");
    TRunControl ctl;
    THeadlessProgress prog;
    TEngineFileOps ops(log, ctl);
    ops.Sleep = nullptr;
    TSynchronizer sync(engine.Task, log, ctl, prog, interaction, ops);
    WriteFileBytes(sandbox.Path("f/a.txt"), "a");
    WriteFileBytes(sandbox.Path("f/old1.tmp"), "1");
    WriteFileBytes(sandbox.Path("f/old2.tmp"), "2");
    WriteFileBytes(sandbox.Path("f/new.tmp"), "3");
    SetMTime(sandbox.Path("f/old1.tmp"), 1500000000);
    SetMTime(sandbox.Path("f/old2.tmp"), 1500000000);

    EXPECT_TRUE(sync.FileDelete(sandbox.Path("f/a.txt")));
    EXPECT_FALSE(fs::exists(sandbox.Path("f/a.txt")));
    // A file that is not there counts as deleted.
    EXPECT_TRUE(sync.FileDelete(sandbox.Path("f/a.txt")));

    int errors = 0, warnings = 0;
    fs::create_directories(sandbox.Path("f/g"));
    EXPECT_EQ(sync.FileRename(sandbox.Path("f"), sandbox.Path("f/new.tmp"), sandbox.Path("f/g/renamed.tmp"),
                              errors, warnings),
              0);
    EXPECT_EQ(errors, 0);
    // The target exists now: a move never replaces it.
    WriteFileBytes(sandbox.Path("f/again.tmp"), "4");
    EXPECT_GT(sync.FileRename(sandbox.Path("f/again.tmp"), sandbox.Path("f/g/renamed.tmp"), errors, warnings),
              0);
    EXPECT_EQ(errors, 1);
    EXPECT_EQ(ReadFileBytes(sandbox.Path("f/g/renamed.tmp")), "3");

    sync.DeleteOldFiles(sandbox.Path("f"), "*.tmp", EncodeDate(2020, 1, 1));
    EXPECT_FALSE(fs::exists(sandbox.Path("f/old1.tmp")));
    EXPECT_FALSE(fs::exists(sandbox.Path("f/old2.tmp")));
    EXPECT_TRUE(fs::exists(sandbox.Path("f/again.tmp")));
    log.FlushLogFile(1);
    std::string text = ReadFileBytes(sandbox.Path("cfg/services.log"));
    EXPECT_NE(text.find("File was deleted: \"" + sandbox.Path("f/old1.tmp") + "\""), std::string::npos)
        << text;
    EXPECT_NE(text.find("Error renaming File"), std::string::npos) << text;
}

} // namespace
