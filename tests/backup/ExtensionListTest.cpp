#include "backup/ExtensionList.h"

#include <gtest/gtest.h>

namespace {

TTimePeriod Period()
{
    TTimePeriod p;
    p.Mode = tmSpan;
    p.TmRef = trBoth;
    p.Days = 9;
    p.DayTime = 0.25;
    p.Dat1 = EncodeDate(2024, 1, 1);
    p.Dat2 = EncodeDate(2024, 1, 31);
    return p;
}

TEST(ExtensionListTest, ANewObjectLetsEveryTypePass)
{
    TExtensionList list(Period(), sdmNormal);
    EXPECT_EQ(list.InclMode, buExclude);
    EXPECT_EQ(list.Exclude.Count(), 0);
    EXPECT_TRUE(list.Selected);
    EXPECT_FALSE(list.IsAvailable);
    EXPECT_TRUE(list.TypePasses("DOCX"));
    EXPECT_TRUE(list.TypePasses("<ohne>"));
    EXPECT_EQ(list.TmPeriod.Mode, tmAll);
    EXPECT_EQ(list.TmPeriod.Days, 1);
    EXPECT_EQ(list.TmPeriod.TmRef, trBoth);
    EXPECT_EQ(list.TmPeriod.Dat2, EncodeDate(2024, 1, 31));
    EXPECT_EQ(list.SizeLimits.MaxSize, 17179869184LL);
    EXPECT_EQ(list.FFilter.Mode(), fmOff);
    EXPECT_TRUE(list.FFilter.IsFileFilter());
    EXPECT_FALSE(list.EFilter.IsFileFilter());
    TExtensionList files(Period(), sdmFiles);
    EXPECT_FALSE(files.FFilter.IsFileFilter());
}

TEST(ExtensionListTest, FileTypesAreUpperCaseExtensions)
{
    EXPECT_EQ(FileTypeName("report.docx"), "DOCX");
    EXPECT_EQ(FileTypeName("archive.tar.gz"), "GZ");
    EXPECT_EQ(FileTypeName("Makefile"), "<ohne>");
    EXPECT_EQ(FileTypeName(".bashrc"), "<ohne>");
    TExtensionList list(Period(), sdmNormal);
    list.InclMode = buInclude;
    list.Include.SetCommaText("DOC,<ohne>,TXT,doc");
    EXPECT_EQ(list.Include.Count(), 3);
    EXPECT_EQ(list.Include.Data(2).Index, 2);
    EXPECT_TRUE(list.TypePasses(FileTypeName("README")));
    EXPECT_TRUE(list.TypePasses("txt"));
    EXPECT_FALSE(list.TypePasses("PDF"));
    list.EFilter.SetFilter("D*");
    list.EFilter.SetMode(fmExclude);
    EXPECT_FALSE(list.TypePasses("DOC"));
    EXPECT_TRUE(list.TypePasses("PDF"));
}

TEST(ExtensionListTest, ClearResetAndCopyFilter)
{
    TExtensionList list(Period(), sdmNormal);
    list.InclMode = buInclude;
    list.Include.Add("DOC");
    list.Include.Data(0).FileCount = 5;
    list.SCount = 7;
    list.SBytes = 8;
    list.SyncCount = 9;
    list.ICount = 3;
    list.FFilter.SetFilter("*.doc");
    list.FFilter.SetMode(fmInclude);
    list.Reset();
    EXPECT_EQ(list.Include.Count(), 1);
    EXPECT_EQ(list.Include.Data(0).FileCount, 0);
    EXPECT_EQ(list.ICount, 0);

    TExtensionList copy(Period(), sdmNormal);
    copy.Exclude.Add("TMP");
    copy.CopyFilter(list);
    EXPECT_EQ(copy.InclMode, buInclude);
    EXPECT_EQ(copy.Exclude.Count(), 0);
    EXPECT_EQ(copy.Include.Count(), 1);
    EXPECT_EQ(copy.FFilter.Mode(), fmOff);

    list.Clear();
    EXPECT_EQ(list.InclMode, buExclude);
    EXPECT_EQ(list.Include.Count(), 0);
    EXPECT_EQ(list.SCount, 7);
    EXPECT_EQ(list.SBytes, 8);
    EXPECT_EQ(list.SyncCount, 9u);
    EXPECT_EQ(list.FFilter.Mode(), fmInclude);
}

TEST(ExtensionListTest, AssignGivesTheCopyItsOwnStatisticsAndFilters)
{
    TExtensionList source(Period(), sdmNormal);
    source.Exclude.Add("TMP");
    source.Exclude.Data(0).FileCount = 4;
    source.FFilter.SetRegular(true);
    source.FFilter.SetFilter("^a");
    source.FFilter.SetMode(fmInclude);
    source.SubDirList.Add("b");
    source.SubDirList.Add("A");
    source.VPath = "%perspath%/x";
    auto copy = TExtensionList::CreateAssign(source);
    copy->Reset();
    EXPECT_EQ(source.Exclude.Data(0).FileCount, 4);
    EXPECT_EQ(copy->Exclude.Names(0), "TMP");
    EXPECT_TRUE(copy->NameFilterPasses("abc"));
    EXPECT_FALSE(copy->NameFilterPasses("xabc"));
    EXPECT_EQ(copy->SubDirList.Count(), 2);
    EXPECT_EQ(copy->SubDirList[0], "A");
    EXPECT_EQ(copy->VPath, "%perspath%/x");
}

TEST(ExtensionListTest, SizeAndAttributeConditions)
{
    TExtensionList list(Period(), sdmNormal);
    list.SizeLimits = {szBetween, 10, 20};
    EXPECT_TRUE(list.SizePasses(10));
    EXPECT_TRUE(list.SizePasses(20));
    EXPECT_FALSE(list.SizePasses(21));
    list.SizeLimits.Mode = szSmaller;
    EXPECT_FALSE(list.SizePasses(20));
    EXPECT_TRUE(list.SizePasses(19));
    list.SizeLimits.Mode = szLarger;
    EXPECT_FALSE(list.SizePasses(10));
    EXPECT_TRUE(list.SizePasses(11));

    list.Attributes = UnpackAttributes(PackAttributes({amInclude, amIgnore, amExclude, amIgnore}));
    EXPECT_EQ(PackAttributes(list.Attributes), 1 | (2 << 4));
    EXPECT_TRUE(list.AttributesPass(faArchive | faReadOnly));
    EXPECT_FALSE(list.AttributesPass(faArchive | faHidden));
    EXPECT_FALSE(list.AttributesPass(0));
}

TEST(ExtensionListTest, TimeWindows)
{
    const TDateTime today = EncodeDateTime(2024, 2, 10, 12, 0, 0, 0);
    TTimePeriod p = Period();
    p.TmRef = trModify;
    EXPECT_TRUE(TimePasses(p, EncodeDateTime(2024, 1, 31, 23, 59, 0, 0), today, 0));
    EXPECT_FALSE(TimePasses(p, EncodeDate(2024, 2, 1), today, 0));
    EXPECT_TRUE(TimePasses(p, EncodeDate(2024, 1, 1), today, 0));
    p.Mode = tmToday;
    EXPECT_TRUE(TimePasses(p, EncodeDateTime(2024, 2, 10, 6, 0, 0, 0), today, 0));
    EXPECT_FALSE(TimePasses(p, EncodeDateTime(2024, 2, 10, 5, 59, 0, 0), today, 0));
    p.Mode = tmLastDays;
    p.Days = 2;
    EXPECT_TRUE(TimePasses(p, EncodeDateTime(2024, 2, 8, 0, 1, 0, 0), today, 0));
    EXPECT_FALSE(TimePasses(p, EncodeDateTime(2024, 2, 7, 23, 59, 0, 0), today, 0));
    p.Mode = tmPrevDays;
    EXPECT_TRUE(TimePasses(p, EncodeDateTime(2024, 2, 7, 23, 59, 0, 0), today, 0));
    p.Mode = tmUpdate;
    EXPECT_TRUE(TimePasses(p, 100.5, today, 100));
    EXPECT_FALSE(TimePasses(p, 100, today, 100));
    for (TTimeMode mode : {tmOff, tmError, tmPrompt}) {
        p.Mode = mode;
        EXPECT_FALSE(TimePasses(p, 100, today, 0));
    }
    p.Mode = tmNewer;
    p.Dat1 = 50;
    p.TmRef = trBoth;
    EXPECT_TRUE(FileTimesPass(p, 10, 60, today, 0));
    p.TmRef = trModify;
    EXPECT_FALSE(FileTimesPass(p, 10, 60, today, 0));
    p.TmRef = trCreate;
    EXPECT_TRUE(FileTimesPass(p, 10, 60, today, 0));
}

} // namespace
