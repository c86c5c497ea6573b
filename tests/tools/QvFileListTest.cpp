#include <gtest/gtest.h>

#include "rtl/DateTime.h"
#include "tools/QvFileList.h"

namespace {

constexpr TDateTime Day = 46000.0;
const TDateTime OneMs = 1.0 / MSecsPerDay;

TEST(QvFileListTest, NewEntriesTakeTheirTypeNameAndFlagsByTheConstructorRules)
{
    TFileTransferList list;
    const int zip = list.AddItem("a.txt", ftZipFile, "dir/a.txt", "/restore/dir/a.txt", Day, 0x20, 7, 100, 40,
                                 true, false, true, true);
    const int plain = list.AddItem("b", ftFile, "/backup/b", "/restore/b", Day, 0);
    const int noDest = list.AddItem("c", ftFile, "/backup/c", Day, 55, 1);
    const int sel = list.AddAndSelectItem("d.gz", ftFile, "/backup/d.gz", "/restore/d", Day, 0, true);
    const int err = list.AddError("Archive unreadable");

    EXPECT_EQ(5, list.Count());
    const TFileTransferInfo& z = list.Items(zip);
    EXPECT_EQ(ftFile, z.FType);
    EXPECT_TRUE(z.FromZip);
    EXPECT_EQ("a.txt", z.FName);
    EXPECT_EQ(7, z.DirIndex);
    EXPECT_EQ(100, z.USize);
    EXPECT_EQ(40, z.FSize);
    EXPECT_TRUE(z.Compressed && z.Encrypted && z.IsSelected && !z.ZipCompressed);

    const TFileTransferInfo& p = list.Items(plain);
    EXPECT_FALSE(p.FromZip || p.IsSelected || p.Compressed);
    EXPECT_EQ(0, p.FSize);
    EXPECT_EQ("b", p.FName);

    EXPECT_EQ("", list.Items(noDest).FName);
    EXPECT_EQ(55, list.Items(noDest).FSize);
    EXPECT_EQ(0, list.Items(noDest).USize);
    EXPECT_EQ(1, list.Items(noDest).FAttr);

    EXPECT_TRUE(list.Items(sel).IsSelected);
    EXPECT_TRUE(list.Items(sel).Compressed);
    EXPECT_EQ("d", list.Items(sel).FName);

    EXPECT_EQ(ftError, list.FileType(err));
    EXPECT_EQ("Archive unreadable", list.Strings(err));
}

TEST(QvFileListTest, InvalidIndexesReadThePlaceholderAndWritesAreIgnored)
{
    const TDateTime before = Now();
    TFileTransferList list;
    const TDateTime after = Now();
    list.AddAndSelectItem("a", ftFile, "/s/a", "/d/a", Day, 0);

    for (int bad : {-1, 1, 99}) {
        SCOPED_TRACE(bad);
        EXPECT_EQ(ftNone, list.FileType(bad));
        EXPECT_FALSE(list.Selected(bad));
        EXPECT_EQ("", list.Strings(bad));
        list.SetSelected(bad, true);
        list.SetFileType(bad, ftDir);
        list.UpdateIndex(bad, 5);
        list.SetError(bad, "x");
        list.RemoveEntry(bad);
    }
    const TFileTransferInfo& a = list.Items(-1);
    const TFileTransferInfo& b = list.Items(1);
    EXPECT_EQ(&a, &b);
    EXPECT_EQ(ftNone, a.FType);
    EXPECT_FALSE(a.IsSelected);
    EXPECT_EQ(0, a.DirIndex);
    EXPECT_GE(a.FTimeStamp, before);
    EXPECT_LE(a.FTimeStamp, after);
    EXPECT_EQ(1, list.Count());
    EXPECT_TRUE(list.Selected(0));
}

TEST(QvFileListTest, UpdateItemTakesOnlyAStrictlyNewerVersion)
{
    TFileTransferList list;
    const int i = list.AddAndSelectItem("a", ftFile, "/b/a", "/d/a", Day, 1);
    list.UpdateItem(i, "/b/a.older", Day - 1, 2, 3, 4, 5, true, true, true);
    list.UpdateItem(i, "/b/a.same", Day, 2, 3, 4, 5, true, true, true);
    EXPECT_EQ("/b/a", list.Items(i).FSource);
    EXPECT_FALSE(list.Items(i).Compressed);

    list.UpdateItem(i, "/b2/a.gz", Day + 1, 2, 3, 4, 5, true, false, true);
    const TFileTransferInfo& e = list.Items(i);
    EXPECT_EQ("/b2/a.gz", e.FSource);
    EXPECT_EQ(Day + 1, e.FTimeStamp);
    EXPECT_EQ(2, e.FAttr);
    EXPECT_EQ(3, e.DirIndex);
    EXPECT_EQ(4, e.USize);
    EXPECT_EQ(5, e.FSize);
    EXPECT_TRUE(e.Compressed && e.Encrypted && !e.ZipCompressed);
    EXPECT_EQ("/d/a", e.FDest);
    EXPECT_EQ("a", e.FName);
    EXPECT_TRUE(e.IsSelected);
    EXPECT_EQ("a", list.Strings(i));

    list.UpdateItem(5, "/x", Day + 9, 0, 0, 0, 0, false, false, false); // past the end: nothing
    EXPECT_EQ(1, list.Count());
}

TEST(QvFileListTest, LookupsFindTheFirstExactMatchWithinTheRange)
{
    TFileTransferList list;
    list.AddItem("a", ftFile, "/b/A.txt", "/d/A.txt", Day, 0);
    list.AddItem("b", ftFile, "/b/a.txt", "/d/a.txt", Day, 0);
    list.AddItem("c", ftFile, "/b/a.txt", "/d/c.txt", Day, 0);

    // Two names that differ only in case are two files on this system.
    EXPECT_EQ(0, list.IndexOfDestFile("/d/A.txt"));
    EXPECT_EQ(1, list.IndexOfDestFile("/d/a.txt"));
    EXPECT_EQ(-1, list.IndexOfDestFile("/d/C.TXT"));
    EXPECT_EQ(1, list.IndexOfSourceFile("/b/a.txt", -1));
    EXPECT_EQ(-1, list.IndexOfSourceFile("/b/a.txt", 1));
    EXPECT_EQ(1, list.IndexOfSourceFile("/b/a.txt", 2));
    EXPECT_EQ(1, list.IndexOfSourceFile("/b/a.txt", 50));
}

TEST(QvFileListTest, SortsByDateToTheMillisecondAndBySizeLargestFirst)
{
    TFileTransferList list;
    list.AddItem("late", ftFile, "/s/late", "", Day + 2 * OneMs, 0);
    list.AddItem("early", ftFile, "/s/early", "", Day, 0);
    list.AddItem("mid", ftFile, "/s/mid", "", Day + OneMs, 0);
    list.SortByDate();
    EXPECT_EQ("early", list.Strings(0));
    EXPECT_EQ("mid", list.Strings(1));
    EXPECT_EQ("late", list.Strings(2));
    EXPECT_EQ("/s/mid", list.Items(1).FSource); // entries move with their names

    TFileTransferList sizes;
    sizes.AddItem("small", ftFile, "s", Day, 10, 0);
    sizes.AddItem("huge", ftFile, "h", Day, int64_t{5} << 32, 0);
    sizes.AddItem("mid", ftFile, "m", Day, 1000, 0);
    sizes.SortBySize();
    EXPECT_EQ("huge", sizes.Strings(0));
    EXPECT_EQ("mid", sizes.Strings(1));
    EXPECT_EQ("small", sizes.Strings(2));
}

TEST(QvFileListTest, SortByDateTreatsTimesWithinAMillisecondAsEqual)
{
    // Sub-millisecond differences do not order: either order is right, and nothing is lost.
    TFileTransferList list;
    list.AddItem("b", ftFile, "b", "", Day + OneMs / 4, 0);
    list.AddItem("a", ftFile, "a", "", Day, 0);
    list.AddItem("z", ftFile, "z", "", Day - 1, 0);
    list.SortByDate();
    EXPECT_EQ("z", list.Strings(0));
    EXPECT_EQ(3, list.Count());
}

TEST(QvFileListTest, RemovingAndClearingFreeEntriesAndRepeatSafely)
{
    TFileTransferList list;
    list.AddItem("a", ftDir, "/s", "/d", Day, 0);
    list.AddItem("b", ftFile, "/s/b", "/d/b", Day, 0);
    list.AddItem("c", ftFile, "/s/c", "/d/c", Day, 0);
    list.RemoveEntry(1);
    EXPECT_EQ(2, list.Count());
    EXPECT_EQ("c", list.Strings(1));
    list.SetError(1, "broken");
    EXPECT_EQ(ftError, list.FileType(1));
    EXPECT_EQ("broken", list.Strings(1));
    list.Clear();
    list.Clear();
    EXPECT_EQ(0, list.Count());
    EXPECT_EQ(ftNone, list.FileType(0));
}

TEST(QvFileListTest, TypeClassesNameFilesAndDirectories)
{
    struct Case
    {
        TFileType t;
        bool file, dir, dirWithEmpty;
    };
    const Case cases[] = {
        {ftFile, true, false, false},   {ftLink, true, false, false},  {ftDir, false, true, true},
        {ftEmpty, false, false, true},  {ftRoot, false, false, false}, {ftZipName, false, false, false},
        {ftError, false, false, false}, {ftNone, false, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.t));
        EXPECT_EQ(c.file, IsFileEntry(c.t));
        EXPECT_EQ(c.dir, IsDirEntry(c.t, false));
        EXPECT_EQ(c.dirWithEmpty, IsDirEntry(c.t, true));
    }
}

} // namespace
