#include <functional>

#include <gtest/gtest.h>

#include "backup/EntryTexts.h"
#include "foundation/BuConsts.h"

namespace {

TEST(EntryTextsTest, SummaryNamesTimeFilterAttributesSizesAndTypes)
{
    const TDateTime march1 = EncodeDate(2025, 3, 1);
    struct Case
    {
        const char* name;
        TSubDirMode mode;
        std::function<void(TExtensionList&)> set;
        std::string text;
    } cases[] = {
        {"everything", sdmNormal, [](TExtensionList&) {}, " [all]"},
        {"files only with a long mask", sdmFiles,
         [](TExtensionList& e) {
             e.FFilter.SetMode(fmInclude);
             e.FFilter.SetFilter("*.txt");
         },
         " [F] [only *.txt]"},
        {"days and creation time", sdmNormal,
         [](TExtensionList& e) {
             e.TmPeriod.Mode = tmLastDays;
             e.TmPeriod.Days = 3;
             e.TmPeriod.TmRef = trCreate;
         },
         " [not older than 3 days[C]]"},
        {"span with excluded regular expression", sdmNormal,
         [&](TExtensionList& e) {
             e.TmPeriod.Mode = tmNewer;
             e.TmPeriod.Dat1 = march1;
             e.FFilter.SetRegular(true);
             e.FFilter.SetMode(fmExclude);
             e.FFilter.SetFilter("^tmp");
         },
         " [from " + DateToStr(march1) + ", all except R:^tmp]"},
        {"attributes and sizes", sdmNormal,
         [](TExtensionList& e) {
             e.Attributes.Archive = amInclude;
             e.Attributes.Hidden = amExclude;
             e.SizeLimits.Mode = szSmaller;
             e.SizeLimits.MaxSize = 1024;
         },
         " [all [+a-h] <1 KiB]"},
        {"tagged sub-folders and excluded types", sdmNormal,
         [](TExtensionList& e) {
             e.SubDirList.Add("/a/b");
             e.SubDirList.Add("/a/c");
             e.Exclude.Add("TMP");
         },
         " [-2] [all] [E]"},
        {"tagged only without tags, included types", sdmNormal,
         [](TExtensionList& e) {
             e.IncludeDirs = true;
             e.InclMode = buInclude;
         },
         " [+0] [all] [I]"},
    };
    for (const auto& c : cases) {
        TExtensionList entry(TTimePeriod(), c.mode);
        c.set(entry);
        EXPECT_EQ(EntrySelectionText(entry, false), c.text) << c.name;
    }
}

TEST(EntryTextsTest, ShortSummaryCutsALongFilter)
{
    TExtensionList entry(TTimePeriod(), sdmNormal);
    entry.FFilter.SetMode(fmInclude);
    entry.FFilter.SetFilter("*.aaaa|*.bbbb|*.cccc|*.dddd|*.eeee");
    EXPECT_EQ(EntrySelectionText(entry, true), " [only *.aaaa|*.bbbb|*.cccc|*.dd..]");
    EXPECT_EQ(EntrySelectionText(entry, false), " [only *.aaaa|*.bbbb|*.cccc|*.dddd|*.eeee]");
}

} // namespace
