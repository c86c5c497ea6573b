#include "foundation/Masks.h"

#include <gtest/gtest.h>

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

} // namespace
