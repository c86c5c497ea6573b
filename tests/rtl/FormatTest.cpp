#include <gtest/gtest.h>

#include "rtl/SysUtils.h"

namespace {

struct FormatCase
{
    const char* pattern;
    std::string expected;
    std::vector<TVarRec> args;
};

std::string FormatVector(const char* pattern, const std::vector<TVarRec>& args)
{
    return Format(pattern, args);
}

TEST(Format, HandlesEveryFormOfTheTexts)
{
    const std::vector<FormatCase> cases = {
        {"Error writing to \"%s\"", "Error writing to \"/tmp/a b\"", {"/tmp/a b"}},
        {"%d files", "42 files", {42}},
        {"%d", "-7", {-7}},
        {"%u", "4294967295", {-1}},
        {"%x", "FF", {255}},
        {" (0x%.8x)", " (0x80070002)", {static_cast<int>(0x80070002u)}},
        {"%.8x", "00000002", {2}},
        {"%1:s %0:s", "b a", {"a", "b"}},
        {"%5:d", "9", {0, 1, 2, 3, 4, 9}},
        {"%.0n", "1,234,568", {1234567.5}},
        {"%.2n", "1,234.50", {1234.5}},
        {"%n", "-12.00", {-12}},
        {"%.1f", "2.5", {2.45001}},
        {"%f", "3.00", {3.0}},
        {"%5d|", "   42|", {42}},
        {"%-5d|", "42   |", {42}},
        {"%.3d", "007", {7}},
        {"%.3d", "-007", {-7}},
        {"%*d", "  5", {3, 5}},
        {"%.2s", "ab", {"abc"}},
        {"%.2s", "äö", {"äöü"}},
        {"%4s|", "  äö|", {"äö"}},
        {"100%%", "100%", {}},
        {"%s", "x", {'x'}},
        {"%e", "1.00000000000000E+003", {1000.0}},
        {"%g", "0.5", {0.5}},
        {"%d", "18446744073709551615", {18446744073709551615ull}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FormatVector(c.pattern, c.args), c.expected) << c.pattern;
}

TEST(Format, RaisesOnAMismatchAndSafeFormatReportsIt)
{
    const std::vector<FormatCase> cases = {
        {"%d", "", {"text"}},
        {"%s", "", {5}},
        {"%s %s", "", {"one"}},
        {"%", "", {}},
        {"%q", "", {1}},
        {"%x", "", {1.5}},
        // a width or precision from "*" is capped like a written one: a size used as width fails
        // instead of allocating gigabytes
        {"%*d", "", {1500000000, 5}},
        {"%.*d", "", {1500000000, 5}},
        {"%*s", "", {int64_t(1) << 40, "x"}},
        {"%*d", "", {uint64_t(1) << 63, 5}},
        {"%*d", "", {100001, 5}},
        {"%100001d", "", {5}},
    };
    for (const auto& c : cases) {
        EXPECT_THROW(FormatVector(c.pattern, c.args), EConvertError) << c.pattern;
        EXPECT_EQ(SafeFormat(c.pattern, c.args), std::string("Format error: ") + c.pattern) << c.pattern;
    }
    EXPECT_EQ(SafeFormat("Copied %d of %s", {"a", 1}), "Format error: Copied %d of %s");
}

TEST(Format, WidthsUpToTheCapAreTakenFromTheArguments)
{
    EXPECT_EQ(FormatVector("%*d", {100000, 5}).size(), 100000u);
    EXPECT_EQ(FormatVector("%.*d", {6, 42}), "000042");
    EXPECT_EQ(FormatVector("%-*s|", {4, "ab"}), "ab  |");
}

} // namespace
