#include "backup/FolderDestination.h"

#include <cmath>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "RunTestUtil.h"
#include "backup/CopyLoop.h"
#include "foundation/QvUtilsDest.h"
#include "rtl/SysUtils.h"
#include "support/Files.h"

namespace fs = std::filesystem;

namespace {

struct stat StatOf(const std::string& path)
{
    struct stat st
    {
    };
    ::lstat(path.c_str(), &st);
    return st;
}

// Sets the last-write time of a folder to the local time given.
void SetDirTime(const std::string& dir, int year, int month, int day)
{
    struct tm t = {};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = 10;
    t.tm_isdst = -1;
    time_t when = mktime(&t);
    struct timespec times[2] = {{when, 0}, {when, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, dir.c_str(), times, 0), 0) << dir;
}

std::string DateText(TDateTime date)
{
    return FormatDateTime("yyyy-mm-dd", date);
}

class FolderDestinationTest : public runtest::RunFrameTest
{
protected:
    void SetUp() override
    {
        RunFrameTest::SetUp();
        ProgSettings.SecCopySettings.BakSuffix = "";
        ProgSettings.SecCopySettings.BakPrefix = "$Backup";
        ProgSettings.OtherSettings.MaxWaitTime = 0;
    }
    void TearDown() override
    {
        // Folders made read-only by a test are given back for the sandbox to go.
        for (const auto& e : fs::recursive_directory_iterator(sandbox.Path(""),
                                                              fs::directory_options::skip_permission_denied))
            if (e.is_directory() && !e.is_symlink())
                ::chmod(e.path().c_str(), 0755);
        RunFrameTest::TearDown();
    }
    // Paths without a trailing delimiter.
    std::string Src(const std::string& rel = "")
    {
        return rel.empty() ? sandbox.Path("data/p/src") : sandbox.Path("data/p/src/" + rel);
    }
    std::string Dest(const std::string& rel = "")
    {
        return rel.empty() ? sandbox.Path("dest") : sandbox.Path("dest/" + rel);
    }
    // The destination of a path below the root for methods 1 and 7.
    std::string Mirror(const std::string& path) { return Dest(path.substr(1)); }

    // A task with one source folder (all file types but those of exclude).
    std::string Task(const std::string& global, const std::string& source, const std::string& exclude = "",
                     const std::string& dest = "")
    {
        std::string path = sandbox.Path("tasks/t.buj");
        fs::create_directories(sandbox.Path("tasks"));
        std::ofstream(path) << "[Global]\nDestination=" << (dest.empty() ? Dest() : dest) << "\nDirCount=1\n"
                            << (global.find("LogFile=") == std::string::npos ? "LogFile=3\n" : "") << global
                            << "\n[Dir000]\nSource=" << source << "\nBackupMode=1\nExclude=" << exclude
                            << "\n";
        return path;
    }
    TBuResult Run(const std::string& global, const std::string& source, const std::string& exclude = "",
                  const std::string& dest = "")
    {
        if (!attached) {
            AttachCopyLoop(engine, loop);
            attached = true;
        }
        fs::remove(host.DefaultLog);
        return engine.DoBackupJob(0, iaQuiet, 3, Task(global, source, exclude, dest));
    }
    std::string LogText() { return ReadFileBytes(host.DefaultLog); }
    bool Logged(const std::string& text) { return LogText().find(text) != std::string::npos; }

    TRecordingProgress progress;
    TRunControl control;
    TBackupEngine engine{host, interaction, progress, control, log};
    TCopyLoop loop{engine.Task, log, control, progress, interaction};
    bool attached = false;
};

TEST_F(FolderDestinationTest, TheDestinationFolderTakesTheSourceFolderAttributesAndTimes)
{
    WriteFileBytes(Src("a.txt"), "alpha");
    WriteFileBytes(Src("sub/b.txt"), "beta");
    struct TCase
    {
        int Method;
        std::string Sub;    // the source folder's destination
        std::string Parent; // its parent that stands for the source's parent; empty: none
        bool NoAttributes;  // "do not copy attributes"
    } cases[] = {
        {1, Mirror(Src()), Mirror(sandbox.Path("data/p")), false},
        {0, Dest("Drive-/" + Src().substr(1)), Dest("Drive-/" + sandbox.Path("data/p").substr(1)), false},
        {3, Dest("src"), "", false},
        {1, Mirror(Src()), Mirror(sandbox.Path("data/p")), true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("method " + std::to_string(c.Method) + (c.NoAttributes ? " without attributes" : ""));
        ::chmod(Src().c_str(), 0755);
        fs::remove_all(Dest());
        SetDirTime(Src(), 2011, 5, 6);
        SetDirTime(sandbox.Path("data/p"), 2012, 1, 2);
        // A read-only source folder: its copy stays writable, so later runs can still write into it.
        ASSERT_EQ(::chmod(Src().c_str(), 0555), 0);
        ASSERT_EQ(Run("DestMode=" + std::to_string(c.Method) +
                          "\nDriveId=Drive-?\nCopyNoAttributes=" + (c.NoAttributes ? "1" : "0"),
                      Src()),
                  brOK)
            << LogText();
        ASSERT_TRUE(fs::exists(c.Sub + "/a.txt")) << LogText();
        EXPECT_EQ(StatOf(c.Sub).st_mtime, StatOf(Src()).st_mtime);
        EXPECT_NE(StatOf(c.Sub).st_mode & S_IWUSR, 0u);
        if (!c.Parent.empty()) {
            EXPECT_EQ(StatOf(c.Parent).st_mtime, StatOf(sandbox.Path("data/p")).st_mtime);
        }
        EXPECT_TRUE(Logged("Set timestamp: \"" + c.Sub + "\" => ")) << LogText();
    }
}

TEST_F(FolderDestinationTest, OneDirectoryWithoutPathLeavesTheBaseFolderAttributesAlone)
{
    WriteFileBytes(Src("a.txt"), "alpha");
    ASSERT_EQ(::chmod(Src().c_str(), 0555), 0);
    ASSERT_EQ(Run("DestMode=2", Src()), brOK) << LogText();
    EXPECT_TRUE(fs::exists(Dest("a.txt")));
    EXPECT_NE(StatOf(Dest()).st_mode & S_IWUSR, 0u);
}

TEST_F(FolderDestinationTest, TheDestinationFolderTakesTheSourceFolderPermissions)
{
    WriteFileBytes(Src("a.txt"), "alpha");
    ASSERT_EQ(::chmod(Src().c_str(), 0751), 0);
    ASSERT_EQ(Run("DestMode=1\nCopyPermissions=1", Src()), brOK) << LogText();
    if (!KeepsPermissions(GetFileSystem(Src())))
        GTEST_SKIP() << "the sandbox's file system keeps no permissions";
    EXPECT_EQ(StatOf(Mirror(Src())).st_mode & 07777, 0751u);
}

TEST_F(FolderDestinationTest, AnEmptyDestinationFolderGoesWithTheParentsItLeavesEmpty)
{
    fs::create_directories(Src());
    struct TCase
    {
        int Method;
        std::string Sub;
        std::string Kept; // the deepest folder that must stay
    } cases[] = {
        {1, Mirror(Src()), Mirror(sandbox.Path("data"))},
        {0, Dest("Drive-/" + Src().substr(1)), Dest("Drive-/" + sandbox.Path("data").substr(1))},
        {3, Dest("src"), Dest()},
        {2, Dest(), Dest()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("method " + std::to_string(c.Method));
        fs::remove_all(Dest());
        // Something of an earlier run beside the folder's branch keeps that part of the path.
        if (c.Kept != Dest())
            WriteFileBytes(c.Kept + "/other.txt", "kept");
        ASSERT_EQ(Run("DestMode=" + std::to_string(c.Method) + "\nDriveId=Drive-?\nEmptyDirs=1", Src()), brOK)
            << LogText();
        EXPECT_FALSE(fs::exists(c.Sub) && c.Sub != Dest()) << LogText();
        EXPECT_TRUE(fs::is_directory(c.Kept));
        // The configured destination itself always stays.
        EXPECT_TRUE(fs::is_directory(Dest()));
        if (c.Sub != Dest()) {
            EXPECT_TRUE(Logged("Empty directory was deleted: \"" + c.Sub + "\"")) << LogText();
        }
        EXPECT_FALSE(Logged("Error deleting directory")) << LogText();
    }
}

TEST_F(FolderDestinationTest, AnEmptyDestinationFolderStaysWithoutTheOption)
{
    fs::create_directories(Src());
    ASSERT_EQ(Run("DestMode=1", Src()), brOK);
    EXPECT_TRUE(fs::is_directory(Mirror(Src())));
}

TEST_F(FolderDestinationTest, AnEmptiedSourceFolderIsRemovedOnlyWhenTheTaskSaysSo)
{
    struct TCase
    {
        std::string Name;
        std::string Options;
        std::string File; // a file left in the source folder (not selected)
        bool Removed;
        bool Error;
    } cases[] = {
        {"empty, root folders", "DeleteFile=1\nDeleteDirs=2", "", true, false},
        {"empty, all folders", "DeleteFile=1\nDeleteDirs=3", "", true, false},
        {"empty, sub-folders only", "DeleteFile=1\nDeleteDirs=1", "", false, false},
        {"empty, sources kept", "DeleteFile=0\nDeleteDirs=2", "", false, false},
        {"still holds a file", "DeleteFile=1\nDeleteDirs=2", "left.dat", false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        fs::remove_all(Src());
        fs::remove_all(Dest());
        fs::create_directories(Src());
        if (!c.File.empty())
            WriteFileBytes(Src(c.File), "not selected");
        ASSERT_EQ(Run("DestMode=1\n" + c.Options, Src(), "DAT"), brOK) << LogText();
        EXPECT_EQ(fs::exists(Src()), !c.Removed) << LogText();
        if (!c.File.empty()) {
            EXPECT_TRUE(fs::exists(Src(c.File)));
        }
        EXPECT_EQ(Logged("Empty directory was deleted: \"" + Src() + "/\""), c.Removed) << LogText();
        EXPECT_EQ(Logged("Error deleting directory: \"" + Src() + "/\""), c.Error) << LogText();
        // The parent of the source folder is never touched.
        EXPECT_TRUE(fs::is_directory(sandbox.Path("data/p")));
    }
}

TEST_F(FolderDestinationTest, ALinkedSourceFolderAndOneThatHoldsTheDestinationStay)
{
    // A source named through a link to an empty folder: neither the link nor its target goes.
    fs::create_directories(sandbox.Path("target"));
    fs::create_directory_symlink(sandbox.Path("target"), sandbox.Path("link"));
    ASSERT_EQ(Run("DestMode=1\nDeleteFile=1\nDeleteDirs=3", sandbox.Path("link")), brOK) << LogText();
    EXPECT_TRUE(fs::is_symlink(sandbox.Path("link")));
    EXPECT_TRUE(fs::is_directory(sandbox.Path("target")));
    EXPECT_FALSE(Logged("Error deleting directory")) << LogText();

    // The destination lies in the source folder, which holds nothing else.
    fs::create_directories(sandbox.Path("outer"));
    ASSERT_EQ(Run("DestMode=2\nEmptyDirs=1\nDeleteFile=1\nDeleteDirs=3", sandbox.Path("outer"), "",
                  sandbox.Path("outer/backup")),
              brOK)
        << LogText();
    EXPECT_TRUE(fs::is_directory(sandbox.Path("outer/backup")));
    EXPECT_FALSE(Logged("Error deleting directory")) << LogText();
    EXPECT_FALSE(Logged("Empty directory was deleted")) << LogText();
}

TEST_F(FolderDestinationTest, ADestinationInsideItsSourceIsNeverBackedUpIntoItself)
{
    WriteFileBytes(sandbox.Path("home/a.txt"), "alpha");
    WriteFileBytes(sandbox.Path("home/docs/b.txt"), "beta");
    for (const char* method : {"2", "3"}) {
        SCOPED_TRACE(std::string("method ") + method);
        fs::remove_all(sandbox.Path("home/backup"));
        for (int run = 0; run < 2; ++run)
            ASSERT_EQ(
                Run(std::string("DestMode=") + method, sandbox.Path("home"), "", sandbox.Path("home/backup")),
                brOK)
                << LogText();
        const std::string root = sandbox.Path(std::string("home/backup") + (method[0] == '3' ? "/home" : ""));
        EXPECT_EQ(ReadFileBytes(root + "/a.txt"), "alpha") << LogText();
        EXPECT_EQ(ReadFileBytes(root + "/docs/b.txt"), "beta");
        EXPECT_FALSE(fs::exists(root + "/backup")) << LogText();
    }
}

TEST_F(FolderDestinationTest, DatedSecurityFoldersOlderThanTheAgeGo)
{
    WriteFileBytes(Src("a.txt"), "alpha");
    const TDateTime today = std::floor(Now());
    const TDateTime limit = today - 14; // two weeks
    // Outside every destination: what a link in an old folder points at.
    WriteFileBytes(sandbox.Path("elsewhere/precious.txt"), "never deleted");
    struct TCase
    {
        int Method;
        std::string Place; // where the run keeps its dated folders of this source
    } cases[] = {
        {2, Dest()},
        {1, Dest(sandbox.Path("").substr(1, sandbox.Path("").find('/', 1) - 1))},
        {0, Dest("Drive-")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("method " + std::to_string(c.Method));
        fs::remove_all(Dest());
        const std::string p = c.Place + "/$Backup-";
        const std::string oldest = p + "2001-01-01";
        const std::string justOld = p + DateText(limit - 1);
        WriteFileBytes(oldest + "/deep/x.txt", "old version");
        fs::create_directory_symlink(sandbox.Path("elsewhere"), oldest + "/deep/link");
        fs::create_directories(justOld);
        // These stay: at or after the limit, no folder of its own, read-only, no date, another prefix.
        const std::string atLimit = p + DateText(limit);
        const std::string current = p + DateText(today);
        fs::create_directories(atLimit);
        fs::create_directories(current + "/kept");
        WriteFileBytes(p + "2001-01-02", "a file");
        fs::create_directory_symlink(sandbox.Path("elsewhere"), p + "2001-01-03");
        fs::create_directories(p + "2001-01-04");
        ::chmod((p + "2001-01-04").c_str(), 0555);
        fs::create_directories(p + "2001-13-45");
        fs::create_directories(c.Place + "/Other-2001-01-01");

        ASSERT_EQ(Run("DestMode=" + std::to_string(c.Method) +
                          "\nDriveId=Drive-?\nBakFiles=1\nBakSecMode=4\nBakPrefix=$Backup\nBakSuffix=/2/"
                          "1\nLogFile=2",
                      Src()),
                  brOK)
            << LogText();
        EXPECT_FALSE(fs::exists(oldest)) << LogText();
        EXPECT_FALSE(fs::exists(justOld));
        for (const auto& kept : {atLimit, current + "/kept", p + "2001-01-02", p + "2001-01-04",
                                 p + "2001-13-45", c.Place + "/Other-2001-01-01"})
            EXPECT_TRUE(fs::exists(kept)) << kept;
        EXPECT_TRUE(fs::is_symlink(p + "2001-01-03"));
        EXPECT_EQ(ReadFileBytes(sandbox.Path("elsewhere/precious.txt")), "never deleted");
        EXPECT_TRUE(Logged("Delete directories with security backups older than 2 weeks")) << LogText();
        EXPECT_TRUE(Logged("->  Directory was deleted: \"" + oldest + "\"")) << LogText();
        ::chmod((p + "2001-01-04").c_str(), 0755);
    }
}

TEST_F(FolderDestinationTest, SecurityFoldersAreSearchedOnlyWithDatedFoldersAndAnAge)
{
    WriteFileBytes(Src("a.txt"), "alpha");
    struct TCase
    {
        std::string Options;
        std::string Line; // expected in the log; empty: no search at all
    } cases[] = {
        {"BakSecMode=4\nBakSuffix=/2/1\nLogFile=1", "->  1 directory deleted"},
        {"BakSecMode=4\nBakSuffix=", ""},
        {"BakSecMode=3\nBakSuffix=/2/1", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Options);
        fs::remove_all(Dest());
        fs::create_directories(Dest("$Backup-2001-01-01"));
        ASSERT_EQ(Run("DestMode=2\nBakFiles=1\nBakPrefix=$Backup\n" + c.Options, Src()), brOK) << LogText();
        EXPECT_EQ(fs::exists(Dest("$Backup-2001-01-01")), c.Line.empty());
        EXPECT_EQ(Logged("Delete directories with security backups"), !c.Line.empty()) << LogText();
        if (!c.Line.empty()) {
            EXPECT_TRUE(Logged(c.Line)) << LogText();
        }
    }
    // A wildcard in the prefix stands for itself.
    fs::remove_all(Dest());
    fs::create_directories(Dest("Photos-2001-01-01"));
    fs::create_directories(Dest("*-2001-01-01"));
    ASSERT_EQ(Run("DestMode=2\nBakFiles=1\nBakPrefix=*\nBakSecMode=4\nBakSuffix=/2/1", Src()), brOK);
    EXPECT_TRUE(fs::exists(Dest("Photos-2001-01-01")));
    EXPECT_FALSE(fs::exists(Dest("*-2001-01-01"))) << LogText();
    // Nothing to remove.
    fs::remove_all(Dest());
    ASSERT_EQ(Run("DestMode=2\nBakFiles=1\nBakPrefix=$Backup\nBakSecMode=4\nBakSuffix=/2/1", Src()), brOK);
    EXPECT_TRUE(Logged("->  No matching directories found")) << LogText();
}

TEST(FolderDestinationUnits, NoEarlierSourceInside)
{
    TTaskSettings task;
    for (const char* path : {"/data/docs/", "/data2/", "/home/u/"}) {
        task.Folders.Add(std::make_unique<TExtensionList>(TTimePeriod(), sdmNormal));
        task.Folders[task.Folders.Count() - 1].SPath = path;
    }
    struct TCase
    {
        std::string Src;
        int Index;
        bool Expected;
    } cases[] = {
        {"/data/", 1, false},       // the first folder lies inside
        {"/data/docs/", 1, false},  // the same folder
        {"/data/docs/x/", 1, true}, // inside the earlier one, not around it
        {"/data/", 0, true},        // no folder before the first
        {"/data", 2, false},        // without its delimiter
        {"/data2/sub/", 2, true},   // a name that only begins alike
        {"/home/", 2, true},        // /home/u/ comes later
        {"/home/", 3, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(NoEarlierSourceInside(task, c.Src, c.Index), c.Expected) << c.Src << " " << c.Index;
}

TEST_F(FolderDestinationTest, OptionsTheSourceFileSystemCannotServeAreNamed)
{
    struct TCase
    {
        TFileSystem Fs;
        int Warnings;
        bool Permissions;
    } cases[] = {
        {fsNtfs, 0, false}, {fsBTRFS, 2, false}, {fsRemote, 2, false}, {fsFat, 3, true}, {fsExtFat, 3, true}};
    TTaskSettings task;
    task.cbAltStreams = task.cbCopySummary = task.cbCopyPerms = true;
    for (const auto& c : cases) {
        SCOPED_TRACE(FileSystemName(c.Fs));
        std::string name = sandbox.Path("w" + std::to_string(c.Fs) + ".log");
        ASSERT_EQ(log.OpenLogFile(2, name, false), 0u);
        log.InitLog("Data backup");
        log.BeginLog(Now(), "t");
        TFolderDestination(task, log, control, Dest()).WarnSourceFileSystem(c.Fs);
        log.CloseLogFile(false);
        std::string text = ReadFileBytes(name);
        int n = 0;
        for (size_t pos = 0; (pos = text.find("  *** The file system at the source does not support", pos)) !=
                             std::string::npos;
             ++pos)
            ++n;
        EXPECT_EQ(n, c.Warnings) << text;
        EXPECT_EQ(text.find("does not support file permissions!") != std::string::npos, c.Permissions)
            << text;
    }
}

} // namespace
