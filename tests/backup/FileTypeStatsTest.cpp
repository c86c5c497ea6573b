#include <filesystem>
#include <gtest/gtest.h>

#include "backup/FileTypeStats.h"
#include "backup/TaskTestUtil.h"
#include "support/Files.h"
#include "support/Sandbox.h"

using namespace tasktest;
namespace fs = std::filesystem;

namespace {

class FileTypeStatsTest : public SandboxTest
{
protected:
    std::string Put(const std::string& rel, size_t size)
    {
        const std::string path = sandbox.Path("src/" + rel);
        fs::create_directories(fs::path(path).parent_path());
        WriteFileBytes(path, std::string(size, 'x'));
        return path;
    }

    TExtensionList& Entry(TSubDirMode mode = sdmNormal)
    {
        auto entry = std::make_unique<TExtensionList>(task.NewPeriod, mode);
        entry->SPath = sandbox.Path("src");
        entry->VPath = entry->SPath;
        return task.Folders.Add(std::move(entry));
    }

    TTaskSettings task;
};

class TCancelAfter : public TScanStatus
{
public:
    explicit TCancelAfter(int files) : FLeft(files) {}
    bool Cancelled() override { return FLeft-- <= 0; }
    void ShowFolder(const std::string& dir) override { Folders.push_back(dir); }
    std::vector<std::string> Folders;

private:
    int FLeft;
};

} // namespace

TEST_F(FileTypeStatsTest, TypesDifferingInCaseShareAKeyAndNewTypesFollowTheMode)
{
    Put("a.txt", 10);
    Put("b.TXT", 20);
    Put("README", 5);
    TExtensionList& e = Entry();
    ASSERT_TRUE(RescanEntry(e, task));
    ASSERT_EQ(e.Include.Count(), 2);
    const int txt = e.Include.IndexOf("TXT");
    ASSERT_GE(txt, 0);
    EXPECT_EQ(e.Include.Data(txt).FileCount, 2);
    EXPECT_EQ(e.Include.Data(txt).SizeCount, 30);
    EXPECT_EQ(e.Include.Data(e.Include.IndexOf("<ohne>")).FileCount, 1);
    EXPECT_EQ(e.ICount, 3);
    EXPECT_EQ(e.IBytes, 35);
    EXPECT_EQ(e.TCount, 3);

    // "Only these": a type found anew goes to the excluded types; the listed ones keep their place.
    e.InclMode = buInclude;
    Put("c.doc", 7);
    ASSERT_TRUE(RescanEntry(e, task));
    EXPECT_EQ(e.Include.Names(0), e.Include.Names(0));
    EXPECT_EQ(e.Exclude.CommaText(), "DOC");
    EXPECT_EQ(e.ECount, 1);
    EXPECT_EQ(e.EBytes, 7);
    EXPECT_EQ(e.ICount, 3);
}

TEST_F(FileTypeStatsTest, FilesFailingTheSelectionListTheirTypeWithZeroCounts)
{
    Put("keep.txt", 10);
    Put("skip.log", 10);
    Put("big.txt", 5000);
    TExtensionList& e = Entry();
    e.FFilter.SetFilter("*.log");
    e.FFilter.SetMode(fmExclude);
    e.SizeLimits.Mode = szSmaller;
    e.SizeLimits.MaxSize = 100;
    ASSERT_TRUE(RescanEntry(e, task));
    const int log = e.Include.IndexOf("LOG");
    ASSERT_GE(log, 0);
    EXPECT_EQ(e.Include.Data(log).FileCount, 0);
    EXPECT_EQ(e.Include.Data(e.Include.IndexOf("TXT")).FileCount, 1);
    EXPECT_EQ(e.ICount, 1);
    EXPECT_EQ(e.TCount, 3);
}

TEST_F(FileTypeStatsTest, AnExtensionFilterDecidesTheListsAndStaysSet)
{
    Put("a.jpg", 1);
    Put("b.png", 1);
    Put("c.txt", 1);
    TExtensionList& e = Entry();
    e.Exclude.Add("JPG");
    e.EFilter.SetFilter("JPG|PNG");
    e.EFilter.SetMode(fmInclude);
    ASSERT_TRUE(RescanEntry(e, task));
    EXPECT_EQ(e.Include.CommaText(), "JPG,PNG");
    EXPECT_EQ(e.Exclude.CommaText(), "TXT");
    EXPECT_EQ(e.InclMode, buExclude);
    EXPECT_EQ(e.EFilter.Mode(), fmInclude);
    EXPECT_EQ(e.ICount, 2);
}

TEST_F(FileTypeStatsTest, TaggedOnlyCountsTheTaggedFoldersAndTheirSubFolders)
{
    Put("root.txt", 1);
    Put("tagged/a.txt", 1);
    Put("tagged/deep/b.txt", 1);
    Put("other/c.txt", 1);
    TExtensionList& e = Entry();
    e.IncludeDirs = true;
    e.SubDirList.Add(sandbox.Path("src/tagged/"));
    ASSERT_TRUE(RescanEntry(e, task));
    EXPECT_EQ(e.ICount, 2);

    e.IncludeDirs = false; // all except the tagged one
    ASSERT_TRUE(RescanEntry(e, task));
    EXPECT_EQ(e.ICount, 2);
    EXPECT_EQ(e.TCount, 2);

    TExtensionList& files = Entry(sdmFiles);
    ASSERT_TRUE(RescanEntry(files, task));
    EXPECT_EQ(files.ICount, 1);
}

TEST_F(FileTypeStatsTest, LinkedFoldersAreFollowedOnlyOnRequestAndNeverIntoAParent)
{
    Put("a.txt", 1);
    Put("../elsewhere/b.txt", 1);
    fs::create_directory_symlink(sandbox.Path("elsewhere"), sandbox.Path("src/link"));
    fs::create_directory_symlink(sandbox.Path("src"), sandbox.Path("src/loop"));
    TExtensionList& e = Entry();
    ASSERT_TRUE(RescanEntry(e, task));
    EXPECT_EQ(e.ICount, 1);
    task.UseJunctions = true;
    ASSERT_TRUE(RescanEntry(e, task));
    EXPECT_EQ(e.ICount, 2);
}

TEST_F(FileTypeStatsTest, AFailedOrCancelledScanKeepsThePreviousCounts)
{
    Put("a.txt", 1);
    Put("b.txt", 1);
    Put("c.txt", 1);
    TExtensionList& e = Entry();
    ASSERT_TRUE(RescanEntry(e, task));
    ASSERT_EQ(e.ICount, 3);
    Put("d.doc", 1);
    TCancelAfter cancel(1);
    EXPECT_FALSE(RescanEntry(e, task, &cancel));
    EXPECT_EQ(e.ICount, 3);
    EXPECT_EQ(e.Include.IndexOf("DOC"), -1);
    EXPECT_EQ(cancel.Folders, std::vector<std::string>{sandbox.Path("src/")});

    e.SPath = sandbox.Path("gone");
    EXPECT_FALSE(RescanEntry(e, task));
    EXPECT_EQ(e.ICount, 3);
}

TEST_F(FileTypeStatsTest, RescansBeforeARunTakeOutOfDateOrAllTickedEntriesAndStopAtAFailure)
{
    Put("a.txt", 4);
    TExtensionList& first = Entry();
    TExtensionList& second = Entry();
    TExtensionList& third = Entry();
    first.DoUpdate = true;
    first.SyncCount = second.SyncCount = 9;
    second.Selected = true;
    third.Selected = false;
    ASSERT_TRUE(RescanEntries(task, false));
    EXPECT_EQ(first.ICount, 1);
    EXPECT_FALSE(first.DoUpdate);
    EXPECT_EQ(first.SyncCount, 0u);
    EXPECT_EQ(second.ICount, 0); // up to date and not asked for
    EXPECT_EQ(second.SyncCount, 9u);

    ASSERT_TRUE(RescanEntries(task, true));
    EXPECT_EQ(second.ICount, 1);
    EXPECT_EQ(third.ICount, 0);

    second.SPath = sandbox.Path("gone");
    third.DoUpdate = true;
    EXPECT_FALSE(RescanEntries(task, true));
    EXPECT_TRUE(third.DoUpdate);
    EXPECT_EQ(FilesTotalText(second.ICount, second.IBytes), "1 file totaling 4 B");
}
