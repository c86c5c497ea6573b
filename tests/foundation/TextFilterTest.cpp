#include "foundation/TextFilter.h"

#include <gtest/gtest.h>

namespace {

TEST(TextFilterTest, FileFilterAppendsExtensionWildcardToMasksWithoutExtension)
{
    TTextFilter filter(true, true);
    filter.SetFilter("doc|*.txt");
    EXPECT_EQ(filter.GetFilter(), "doc.*|*.txt");
    filter.SetFilter("*");
    EXPECT_EQ(filter.GetFilter(), "*.*");
    TTextFilter plain(false, true);
    plain.SetFilter("doc|*.txt");
    EXPECT_EQ(plain.GetFilter(), "doc|*.txt");
}

TEST(TextFilterTest, MaskEndingInDotSelectsNamesWithoutExtension)
{
    TTextFilter filter(true, true);
    filter.SetMode(fmInclude);
    filter.SetFilter("readme.");
    EXPECT_EQ(filter.GetFilter(), "readme.");
    EXPECT_TRUE(filter.MatchesFilter("readme"));
    EXPECT_TRUE(filter.MatchesFilter("README"));
    EXPECT_FALSE(filter.MatchesFilter("readme.txt"));
}

TEST(TextFilterTest, IncludeAndExcludeModesWithNegatedAndAllMasks)
{
    struct Case
    {
        TFilterMode mode;
        const char* masks;
        const char* name;
        bool expected;
    };
    const Case cases[] = {
        {fmInclude, "*.tmp|!*.log", "a.tmp", true},
        {fmInclude, "*.tmp|!*.log", "b.doc", true},
        {fmInclude, "*.tmp|!*.log", "c.log", false},
        {fmInclude, "+*.txt|a*", "a.txt", true},
        {fmInclude, "+*.txt|a*", "b.txt", false},
        {fmInclude, "+*.txt|a*", "a.doc", false},
        {fmInclude, "|*.txt", "x.doc", true}, // an empty first mask ends the test with a match
        {fmExclude, "*", "anything.at.all", false},
        {fmExclude, "*", "README", false},
        {fmExclude, "*.bak", "a.bak", false},
        {fmExclude, "*.bak", "a.txt", true},
        {fmOff, "*.bak", "a.bak", true},
        {fmInclude, "*.*", "Makefile", true},
    };
    for (const auto& c : cases) {
        TTextFilter filter(true, true);
        filter.SetFilter(c.masks);
        filter.SetMode(c.mode);
        EXPECT_EQ(filter.MatchesFilter(c.name), c.expected) << c.masks << " / " << c.name;
    }
}

TEST(TextFilterTest, SeparatorCanBeChanged)
{
    TTextFilter filter(false, true);
    filter.SetSeparator(';');
    filter.SetFilter("*.a;*.b");
    filter.SetMode(fmInclude);
    EXPECT_TRUE(filter.MatchesFilter("x.b"));
    EXPECT_FALSE(filter.MatchesFilter("x.c"));
}

TEST(TextFilterTest, RegularExpressionsMatchAnywhereIgnoringCase)
{
    TTextFilter filter(true, true);
    filter.SetRegular(true);
    filter.SetFilter("^report_\\d{4}\\.(pdf|odt)$");
    filter.SetMode(fmInclude);
    EXPECT_TRUE(filter.MatchesFilter("REPORT_2024.pdf"));
    EXPECT_FALSE(filter.MatchesFilter("report_24.pdf"));
    filter.SetFilter("tmp");
    EXPECT_TRUE(filter.MatchesFilter("my.TMP.file"));
    EXPECT_EQ(filter.MatchAll(), ".");
    filter.SetFilter("");
    EXPECT_EQ(filter.GetFilter(), ".");
}

TEST(TextFilterTest, RegularExpressionsMatchNamesThatAreNotValidUtf8)
{
    TTextFilter filter(false, true);
    filter.SetRegular(true);
    filter.SetFilter("^caf.\\.txt$");
    filter.SetMode(fmInclude);
    EXPECT_FALSE(filter.MatchesFilter("caf\xE9.txt")); // the invalid byte is no character
    filter.SetFilter("\\.txt$");
    EXPECT_TRUE(filter.MatchesFilter("caf\xE9.txt"));
    filter.SetFilter("^é");
    EXPECT_TRUE(filter.MatchesFilter("ÉTÉ.txt"));
}

TEST(TextFilterTest, IllegalExpressionRaisesAndLeavesMatchAll)
{
    TTextFilter filter(false, true);
    filter.SetRegular(true);
    try {
        filter.SetFilter("(abc");
        FAIL() << "no exception";
    } catch (const EFilterError& e) {
        EXPECT_EQ(e.Message(), "Illegal regular expression!");
    }
    EXPECT_EQ(filter.GetFilter(), ".");
    filter.SetMode(fmInclude);
    EXPECT_TRUE(filter.MatchesFilter("whatever"));
}

TEST(TextFilterTest, IllegalMaskRaisesAndLeavesMatchAll)
{
    TTextFilter filter(true, true);
    try {
        filter.SetFilter("*.txt|[abc");
        FAIL() << "no exception";
    } catch (const EFilterError& e) {
        EXPECT_EQ(e.Message(), "Illegal mask!");
    }
    EXPECT_EQ(filter.GetFilter(), "*");
}

TEST(TextFilterTest, ResetKeepsExpressionAndAssignCopiesEverything)
{
    TTextFilter source(true, true);
    source.SetRegular(true);
    source.SetFilter("\\.log$");
    source.SetMode(fmExclude);
    source.SetSeparator(';');

    TTextFilter copy(true, true);
    copy.Assign(source);
    EXPECT_TRUE(copy.Regular());
    EXPECT_EQ(copy.Mode(), fmExclude);
    EXPECT_EQ(copy.Separator(), ';');
    EXPECT_EQ(copy.GetFilter(), "\\.log$");
    EXPECT_FALSE(copy.MatchesFilter("a.log"));
    EXPECT_TRUE(copy.MatchesFilter("a.txt"));

    source.Reset();
    EXPECT_FALSE(source.Regular());
    EXPECT_EQ(source.Mode(), fmOff);
    EXPECT_EQ(source.GetFilter(), "*");
    source.SetRegular(true);
    EXPECT_EQ(source.GetFilter(), "\\.log$");
}

} // namespace
