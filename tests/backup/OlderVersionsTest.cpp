// Older versions in whole runs of the built program: pruning by age when a file is copied, a version
// that cannot be made counting as an error of the run, and the log line that tells where a version went.

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "WholeRunTest.h"

using namespace wholerun;

namespace {

class OlderVersionsTest : public WholeRunTest
{
};

TEST_F(OlderVersionsTest, ASingleVersionTooOldIsDeletedWhenItsFileIsCopiedAgain)
{
    // Versions named with the replaced file's time, kept for one week.
    const std::string task =
        WriteTask({{"DestMode", "2"}, {"BakFiles", "1"}, {"BakSuffix", "bak%fdate%/1/"}, {"Verify", "0"}});
    RunOk(task, CopiedText(4, false));
    // A version made long ago, and one of today.
    const std::string old = "a.bak2020-01-01-00-00.txt";
    WriteFileBytes(Dst(old), "very old");
    SetFileMTime(Dst(old), T0 - 400 * 86400);
    Change("a.txt", "alpha 2\n", T0 + 60);
    RunOk(task, CopiedText(1, false));
    EXPECT_FALSE(fs::exists(Dst(old)));
    EXPECT_EQ(ReadFileBytes(Dst("a.bak2023-11-14-22-13.txt")), "alpha\n");
    EXPECT_EQ(ReadFileBytes(Dst("a.txt")), "alpha 2\n");
}

TEST_F(OlderVersionsTest, AVersionThatCannotBeMadeIsAnErrorOfTheRun)
{
    const std::string task = WriteTask({{"DestMode", "2"}, {"BakFiles", "1"}, {"BakSuffix", "bak"}});
    RunOk(task, CopiedText(4));
    // A folder holds the version's name: the replaced file cannot be moved there.
    fs::create_directories(Dst("a.bak.txt/in-the-way"));
    Change("a.txt", "alpha 2\n", T0 + 60);
    TRunResult r = Run(task);
    EXPECT_EQ(r.exitCode, 4) << r.log;
    EXPECT_TRUE(Contains(r.log, "Error renaming File")) << r.log;
    EXPECT_TRUE(Contains(r.log, "  Status: 1 error during backup")) << r.log;
    // Nothing of the old copy is lost.
    EXPECT_EQ(ReadFileBytes(Dst("a.txt")), "alpha\n");
}

TEST_F(OlderVersionsTest, TheMovedToLineTellsTheVersionsPlaceFromItsFolderOrFromTheBase)
{
    struct Case
    {
        std::string name;
        int destMode;
        int secMode;
        std::string where; // the path the line shows
    };
    const Case cases[] = {
        {"sub-folder", 2, 1, "~bak/a.old.txt"},
        {"separate folder", 1, 2, "~bak/a.old.txt"},
        {"folder in the root, full structure", 1, 3, "/~bak/" + SrcRel() + "a.old.txt"},
        {"folder in the root, one folder", 2, 3, "/~bak/a.old.txt"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(Dst());
        MakeSource();
        const std::string task = WriteTask({{"DestMode", std::to_string(c.destMode)},
                                            {"BakFiles", "1"},
                                            {"BakSuffix", "old"},
                                            {"BakSecMode", std::to_string(c.secMode)}});
        RunOk(task, CopiedText(4));
        Change("a.txt", "alpha 2\n", T0 + 60);
        TRunResult r = RunOk(task, CopiedText(1));
        EXPECT_TRUE(Contains(r.log, "File \"a.txt\" was moved to: \"" + c.where + "\"")) << r.log;
    }
}

TEST_F(OlderVersionsTest, SynchronisationSparesKeptFoldersButNotAFolderThatOnlyBeginsWithThePrefix)
{
    // Folders that go are kept in place as "_" + name + "-old".
    const std::string task = WriteTask({{"DestMode", "2"},
                                        {"SyncMode", "1"},
                                        {"SyncFiles", "1"},
                                        {"SyncPrefix", "_"},
                                        {"DirSuffix", "old"}});
    RunOk(task, CopiedText(4));
    BuildTree(Dst(), {{"_private/mine.txt", "mine", T0}, {"_gone-old/kept.txt", "kept", T0}});
    TRunResult r = RunOk(task, CopiedText(0));
    // the user's folder is synchronised like any other: kept under the prefix and suffix
    EXPECT_FALSE(fs::exists(Dst("_private")));
    EXPECT_EQ(ReadFileBytes(Dst("__private-old/mine.txt")), "mine");
    // a folder kept by an earlier run is not renamed a second time
    EXPECT_EQ(ReadFileBytes(Dst("_gone-old/kept.txt")), "kept");
}

} // namespace
