// Whole runs of the built program with settings and trees that put the user's files at risk: a
// destination that is or holds a source, two runs on one destination, files whose names the program
// uses for itself, links, pipes and folders that cannot be read. The originals must survive every one
// of them, and a run that could not back something up never reports success.

#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include "WholeRunTest.h"

using namespace wholerun;

namespace {

class DataSafetyTest : public WholeRunTest
{
protected:
    // The source tree as it is now, for comparing before and after a run.
    TreeMap SourceNow() { return Tree(Src()); }
    // Files below the destination whose names mark them as temporary or partial copies.
    std::vector<std::string> Leftovers()
    {
        std::vector<std::string> found;
        for (const auto& f : FilesBelow(Dst()))
            if (f.find(".part") != std::string::npos || f.find(".tmp") != std::string::npos ||
                f.ends_with(".old"))
                found.push_back(f);
        return found;
    }
};

TEST_F(DataSafetyTest, ADestinationThatIsOrHoldsItsSourceIsRefusedAndTheOriginalsStay)
{
    struct Case
    {
        std::string name;
        Keys keys;
    };
    const Case cases[] = {
        {"the source folder itself, compressed",
         {{"Destination", Src()}, {"DestMode", "2"}, {"Compress", "1"}}},
        {"the parent, separated by root directory",
         {{"Destination", sandbox.Path("")}, {"DestMode", "3"}, {"Compress", "1"}}},
        {"the parent, synchronised",
         {{"Destination", sandbox.Path("")}, {"DestMode", "2"}, {"SyncMode", "1"}}},
        {"the parent, cleared", {{"Destination", sandbox.Path("")}, {"DestMode", "2"}, {"ClearDest", "1"}}},
        {"the source folder itself, one archive", {{"Destination", Src()}, {"DestMode", "4"}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        MakeSource();
        const TreeMap before = SourceNow();
        TRunResult r = Run(WriteTask(c.keys));
        EXPECT_EQ(r.exitCode, 6) << r.log << r.output;
        EXPECT_NE(r.log.find("Invalid task configuration"), std::string::npos) << r.log;
        EXPECT_EQ(SourceNow(), before);
    }
}

TEST_F(DataSafetyTest, SynchronisationNeverDeletesASourceFolderThatLiesInTheDestination)
{
    // The second source lies inside the first one's destination folder, where the first source has no
    // folder of its name: the first one's synchronisation refuses to delete it, the second is backed up.
    BuildTree(Dst("src/keep"), {{"keep.txt", "precious", T0}});
    TRunResult r = Run(WriteTask({{"DestMode", "3"}, {"SyncMode", "1"}}, {Src(), Dst("src/keep")}));
    EXPECT_EQ(r.exitCode, 4) << r.log;
    EXPECT_EQ(ReadFileBytes(Dst("src/keep/keep.txt")), "precious");
    EXPECT_NE(r.log.find("Refused to delete or replace"), std::string::npos) << r.log;
    EXPECT_EQ(ReadFileBytes(Dst("src/a.txt")), "alpha\n");
    EXPECT_EQ(ReadFileBytes(Dst("keep/keep.txt")), "precious");
}

TEST_F(DataSafetyTest, TwoRunsOnOneDestinationAtOnceLeaveEveryFileInPlace)
{
    // Enough files that the two runs overlap.
    std::vector<TreeEntry> files;
    for (int i = 0; i < 300; ++i)
        files.push_back({"many/f" + std::to_string(i) + ".txt", std::string(2000 + i, 'x'), T0});
    BuildTree(Src(), files);
    for (const char* mode : {"2", "4"}) {
        SCOPED_TRACE(std::string("method ") + mode);
        fs::remove_all(Dst());
        const std::string task = WriteTask({{"DestMode", mode}, {"Verify", "0"}});
        const std::string cmd = ShellQuote(VastrelExe) + " /force " + ShellQuote(task);
        ShellResult both =
            RunShell("(" + cmd + " & " + cmd + " & wait) >/dev/null 2>&1; echo done", "", false);
        EXPECT_NE(both.output.find("done"), std::string::npos);
        if (std::string(mode) == "2") {
            EXPECT_EQ(Tree(Dst()), Tree(Src()));
        } else {
            ShellResult t = RunShell("7z t " + ShellQuote(Dst("arch.zip")));
            EXPECT_EQ(t.exitCode, 0) << t.output;
        }
        EXPECT_EQ(Leftovers(), std::vector<std::string>{});
        // A third run finds everything in place.
        RunOk(task, mode == std::string("2") ? "No files copied"
                                             : std::to_string(files.size() + 4) + " files copied");
    }
}

TEST_F(DataSafetyTest, ALinkToAFileIsStoredAsTheFileItPointsTo)
{
    fs::create_symlink(Src("a.txt"), Src("link.txt"));
    fs::create_symlink(Src("gone.txt"), Src("dangling.txt"));
    TRunResult r = RunOk(WriteTask({{"DestMode", "2"}}), CopiedText(5));
    EXPECT_EQ(ReadFileBytes(Dst("link.txt")), "alpha\n");
    EXPECT_FALSE(fs::is_symlink(Dst("link.txt")));
    EXPECT_FALSE(fs::exists(Dst("dangling.txt")));
    EXPECT_NE(r.log.find("Skipped - not a regular file: \"dangling.txt\""), std::string::npos) << r.log;
}

TEST_F(DataSafetyTest, APipeInTheSourceIsPassedOverInsteadOfBlockingTheRun)
{
    ASSERT_EQ(::mkfifo(Src("pipe").c_str(), 0600), 0);
    // A run that opened the pipe would wait for a writer for ever: the shell ends it after a minute.
    ShellResult r = RunShell("timeout 60 " + ShellQuote(VastrelExe) + " /force " +
                                 ShellQuote(WriteTask({{"DestMode", "2"}})),
                             "", false);
    EXPECT_EQ(r.exitCode, 0) << r.output;
    EXPECT_FALSE(fs::exists(Dst("pipe")));
    EXPECT_EQ(ReadFileBytes(Dst("a.txt")), "alpha\n");
}

TEST_F(DataSafetyTest, SourcesAreDeletedOnlyOnceTheirArchiveIsInPlace)
{
    // An archive that cannot take its name (a folder is in the way) is dropped: the sources stay.
    fs::create_directories(Dst("arch.zip/blocker"));
    const std::string task = WriteTask({{"DestMode", "4"}, {"DeleteFile", "1"}});
    const TreeMap before = SourceNow();
    TRunResult r = Run(task);
    EXPECT_NE(r.exitCode, 0) << r.log;
    EXPECT_EQ(SourceNow(), before);
    // With the way clear the archive is written, and then the sources go.
    fs::remove_all(Dst("arch.zip"));
    r = Run(task);
    EXPECT_EQ(r.exitCode, 0) << r.log;
    ShellResult t = RunShell("7z t " + ShellQuote(Dst("arch.zip")));
    EXPECT_EQ(t.exitCode, 0) << t.output;
    EXPECT_FALSE(fs::exists(Src("a.txt")));
}

TEST_F(DataSafetyTest, UserFilesNamedLikeTheProgramsOwnAreNeverOverwrittenOrDeleted)
{
    struct Case
    {
        std::string name;
        Keys keys;
        std::vector<TreeEntry> extra; // beside the usual tree
        std::string changed;          // source file changed before a second run ("" none)
        bool removeExtra;             // the extra files are deleted from the source before the second run
        std::string kept;             // destination file that must keep the extra file's content
        std::string keptContent;
        bool collision; // the runs end with a name-collision error
    };
    const Case cases[] = {
        {"a file named like the time-stamp file",
         {{"DestMode", "2"}, {"TimestampFile", "1"}},
         {{"$TimeStamp.qvu", "not a time stamp", T0}},
         "",
         false,
         "",
         "",
         true},
        {"a file named like an older version of another",
         {{"DestMode", "2"}, {"BakFiles", "1"}, {"BakSuffix", "bak-#3"}},
         {{"report.txt", "report v1", T0}, {"report.bak-1.txt", "my own notes", T0}},
         "report.txt",
         false,
         "report.bak-1.txt",
         "my own notes",
         true},
        {"a file named like a partial copy",
         {{"DestMode", "2"}},
         {{".x.0123abcd.part", "looks partial", T0}},
         "a.txt",
         true,
         ".x.0123abcd.part",
         "looks partial",
         false},
        {"a compressed and a plain file that meet under one name",
         {{"DestMode", "2"}, {"Compress", "1"}, {"NoCompTypes", "GZ"}},
         {{"log.txt", "plain log", T0}, {"log.txt.gz", "my gzip bytes", T0}},
         "",
         false,
         "log.txt.gz",
         "my gzip bytes",
         true},
        {"names that fold to one in lower case",
         {{"DestMode", "2"}, {"ChangeNames", "1"}},
         {{"Note.txt", "upper", T0}, {"note.txt", "lower", T0}},
         "",
         false,
         "note.txt",
         "lower",
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(Dst());
        MakeSource();
        BuildTree(Src(), c.extra);
        const std::string task = WriteTask(c.keys);
        TRunResult first = Run(task);
        if (!c.changed.empty() || c.removeExtra) {
            if (!c.changed.empty())
                Change(c.changed, "changed content", T0 + 3600);
            if (c.removeExtra)
                for (const auto& e : c.extra)
                    fs::remove(Src(e.path));
            TRunResult second = Run(task);
            first.log += second.log;
            first.exitCode = std::max(first.exitCode, second.exitCode);
        }
        if (c.collision) {
            EXPECT_EQ(first.exitCode, 4) << first.log;
            EXPECT_NE(first.log.find("Name collision"), std::string::npos) << first.log;
        } else {
            EXPECT_EQ(first.exitCode, 0) << first.log;
        }
        if (!c.kept.empty()) {
            EXPECT_EQ(ReadFileBytes(Dst(c.kept)), c.keptContent);
        }
        if (c.name == "a file named like the time-stamp file") {
            EXPECT_EQ(fs::file_size(Dst("$TimeStamp.qvu")), 8u);
        }
    }
}

TEST_F(DataSafetyTest, AFileThatBecameAFolderAndTheReverseReplaceTheirOldCopies)
{
    for (const char* sync : {"0", "1"}) {
        for (const char* before : {"0", "1"}) {
            SCOPED_TRACE(std::string("sync ") + sync + ", before " + before);
            fs::remove_all(Dst());
            MakeSource();
            BuildTree(Src(), {{"shape/inner.txt", "in a folder", T0}, {"flat", "a file", T0}});
            const std::string task =
                WriteTask({{"DestMode", "2"}, {"SyncMode", sync}, {"SyncBefore", before}, {"Verify", "0"}});
            TRunResult first = Run(task);
            ASSERT_EQ(first.exitCode, 0) << first.log;
            fs::remove_all(Src("shape"));
            fs::remove(Src("flat"));
            BuildTree(Src(), {{"shape", "now a file", T0}, {"flat/inner.txt", "now in a folder", T0}});
            TRunResult second = Run(task);
            EXPECT_EQ(second.exitCode, 0) << second.log;
            EXPECT_EQ(ReadFileBytes(Dst("shape")), "now a file");
            EXPECT_EQ(ReadFileBytes(Dst("flat/inner.txt")), "now in a folder");
            EXPECT_EQ(Leftovers(), std::vector<std::string>{});
            // and the next run has nothing to do
            TRunResult third = Run(task);
            EXPECT_EQ(third.exitCode, 0) << third.log;
            EXPECT_NE(third.log.find("No files copied"), std::string::npos) << third.log;
        }
    }
}

TEST_F(DataSafetyTest, APlainCopyOfAnotherSizeIsReplacedWhateverItsTimeSays)
{
    const std::string task = WriteTask({{"DestMode", "2"}, {"CompareMode", "0"}});
    RunOk(task, CopiedText(4));
    // Rewritten within the time tolerance: same time, other size.
    Change("a.txt", "alpha, longer now\n", T0);
    RunOk(task, CopiedText(1));
    EXPECT_EQ(ReadFileBytes(Dst("a.txt")), "alpha, longer now\n");
}

TEST_F(DataSafetyTest, PrivateFoldersStayPrivateInTheBackup)
{
    ASSERT_EQ(::chmod(Src("sub").c_str(), 0700), 0);
    ASSERT_EQ(::chmod(Src("sub/deep").c_str(), 0750), 0);
    RunOk(WriteTask({{"DestMode", "2"}}), CopiedText(4));
    struct stat st
    {
    };
    ASSERT_EQ(::stat(Dst("sub").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    ASSERT_EQ(::stat(Dst("sub/deep").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0750u);
}

TEST_F(DataSafetyTest, AFolderTooDeepToReachIsReportedAsAnError)
{
    // Nested below the source until its path is longer than the system allows.
    const std::string level(200, 'd');
    std::string rel = "deep";
    fs::create_directories(Src(rel));
    const fs::path start = fs::current_path();
    fs::current_path(Src(rel));
    for (int i = 0; i < 24; ++i) {
        fs::create_directory(level);
        fs::current_path(level);
    }
    WriteFileBytes("far.txt", "far away");
    fs::current_path(start);
    TRunResult r = Run(WriteTask({{"DestMode", "2"}}));
    EXPECT_EQ(r.exitCode, 4) << r.log;
    EXPECT_EQ(ReadFileBytes(Dst("a.txt")), "alpha\n");
    // the sandbox removes what it cannot reach by path
    ShellResult cleanup = RunShell("rm -rf " + ShellQuote(Src(rel)));
    EXPECT_EQ(cleanup.exitCode, 0) << cleanup.output;
}

} // namespace
