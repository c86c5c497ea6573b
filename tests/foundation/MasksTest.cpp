#include "foundation/Masks.h"

#include <gtest/gtest.h>

#include "foundation/PathUtils.h"

namespace {

struct MaskCase
{
    const char* name;
    const char* mask;
    bool expected;
};

TEST(MasksTest, WildcardsSetsAndCaseFollowTheFileNameRules)
{
    const MaskCase cases[] = {
        {"report.txt", "*.txt", true},
        {"REPORT.TXT", "*.txt", true},
        {"report.txt", "*.doc", false},
        {"a.b", "?.?", true},
        {"ab.b", "?.?", false},
        {"data7.csv", "data[0-9].csv", true},
        {"dataX.csv", "data[0-9].csv", false},
        {"dataX.csv", "data[!0-9].csv", true},
        {"Ärger.txt", "ä*.txt", true},
        {"ÉTÉ", "été", true},
        {"", "*", true},
        {"abc", "a*b*c", true},
        {"abbbc", "a*b*c", true},
        {"ac", "a*b*c", false},
        // "*.*" and masks ending in ".*" also match names without an extension
        {"README", "*.*", true},
        {"Makefile", "makefile.*", true},
        {"doc", "doc.*", true},
        {"doc.txt", "doc.*", true},
        {"document", "doc.*", false},
        {".bashrc", "*.*", true},
        {"notes.txt", "notes.*.*", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(MatchesMask(c.name, c.mask), c.expected) << c.name << " vs " << c.mask;
}

TEST(MasksTest, NamesThatAreNotValidUtf8MatchByteForByte)
{
    EXPECT_TRUE(MatchesMask("caf\xE9.txt", "caf?.txt"));
    EXPECT_TRUE(MatchesMask("caf\xE9.txt", "caf\xE9.*"));
    EXPECT_FALSE(MatchesMask("caf\xE9.txt", "cafe.*"));
}

TEST(MasksTest, MalformedSetsAreReported)
{
    for (const char* mask : {"[abc", "a[]", "[!]", "x[z-a]"}) {
        EXPECT_FALSE(IsValidMask(mask)) << mask;
        EXPECT_THROW(MatchesMask("abc", mask), EMaskException) << mask;
    }
    EXPECT_TRUE(IsValidMask("[a-]"));
}

TEST(MasksTest, FileMasksOfPathUtilsAreTheSameMatcherWithLenientSets)
{
    // well-formed masks: the strict and the lenient reading and MatchesFileMask agree
    const MaskCase agree[] = {
        {"report.txt", "*.TXT", true},
        {"data7.csv", "data[0-9].csv", true},
        {"dataX.csv", "data[!0-9].*", true},
        {"Ärger.txt", "ä*", true},
        {"README", "*.*", true},
        {"document", "doc.*", false},
        {"caf\xE9.txt", "caf?.txt", true},
        {"a.b.c", "*.c", true},
        {"abc", "a*b*d", false},
    };
    for (const auto& c : agree) {
        bool strict = !c.expected, lenient = !c.expected;
        ASSERT_TRUE(TryMatchesMask(c.name, c.mask, strict, TMaskSets::Strict)) << c.mask;
        ASSERT_TRUE(TryMatchesMask(c.name, c.mask, lenient, TMaskSets::Lenient)) << c.mask;
        EXPECT_EQ(strict, c.expected) << c.name << " vs " << c.mask;
        EXPECT_EQ(lenient, c.expected) << c.name << " vs " << c.mask;
        EXPECT_EQ(MatchesFileMask(c.mask, c.name), c.expected) << c.name << " vs " << c.mask;
    }
    // malformed sets: an error when strict, ordinary characters or members when lenient
    const MaskCase lenient[] = {
        {"a[b", "a[b", true},  {"]", "[]x]", true},  {"x", "[]x]", true},
        {"a", "[z-a]", false}, {"ab", "a[b", false},
    };
    for (const auto& c : lenient) {
        bool matched = false;
        EXPECT_FALSE(TryMatchesMask(c.name, c.mask, matched, TMaskSets::Strict)) << c.mask;
        ASSERT_TRUE(TryMatchesMask(c.name, c.mask, matched, TMaskSets::Lenient)) << c.mask;
        EXPECT_EQ(matched, c.expected) << c.name << " vs " << c.mask;
        EXPECT_EQ(MatchesFileMask(c.mask, c.name), c.expected) << c.name << " vs " << c.mask;
    }
    // an empty mask selects nothing as a file mask, but the empty name as a mask
    EXPECT_FALSE(MatchesFileMask("", ""));
    EXPECT_TRUE(MatchesMask("", ""));
}

} // namespace
