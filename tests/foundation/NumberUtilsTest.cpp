#include <cmath>
#include <limits>
#include <string>

#include <gtest/gtest.h>

#include "foundation/NumberUtils.h"
#include "rtl/DateTime.h"
#include "rtl/SysUtils.h"

namespace {

// Sets the decimal and thousands separators for one test and restores them afterwards.
class SeparatorScope
{
public:
    SeparatorScope(char decimal, char thousands) : FSaved(FormatSettings())
    {
        FormatSettings().DecimalSeparator = decimal;
        FormatSettings().ThousandSeparator = thousands;
    }
    ~SeparatorScope() { FormatSettings() = FSaved; }

private:
    TFormatSettings FSaved;
};

} // namespace

// --- Integer texts

TEST(NumberUtils, IntegersArePaddedAndGrouped)
{
    EXPECT_EQ(IntToStrPadded(5, 42), "   42");
    EXPECT_EQ(IntToStrPadded(0, -7), "-7");
    EXPECT_EQ(IntToStrPadded(2, 12345), "12345");
    EXPECT_EQ(IntToStrPadded(4, -5), "  -5");
    EXPECT_EQ(IntToStrZero(5, -42), "-00042");
    EXPECT_EQ(IntToStrZero(0, 5), "5");
    EXPECT_EQ(IntToStrZero(3, INT64_MIN), "-9223372036854775808");
    EXPECT_EQ(IntToDecGrouped(8, 4, true, 1234567), "0123 4567");
    EXPECT_EQ(IntToDecGrouped(0, 3, false, 1234567), "1 234 567");
    EXPECT_EQ(IntToDecGrouped(0, 0, false, 1234567), "1234567");
    EXPECT_EQ(IntToStrPadded(1 << 30, 1).size(), 1024u); // absurd widths are capped, not allocated

    EXPECT_EQ(InsertGroupSeparators("12345678", 4, ' '), "1234 5678");
    EXPECT_EQ(InsertGroupSeparators("-1234", 3, ','), "-1,234");
    EXPECT_EQ(InsertGroupSeparators("123", 3, ' '), "123");
    EXPECT_EQ(InsertGroupSeparators("12345", 0, ' '), "12345");
    EXPECT_EQ(InsertGroupSeparators("12345", -1, ' '), "12345");
    EXPECT_EQ(InsertGroupSeparators("", 3, ' '), "");
    EXPECT_EQ(PadLeftChar("7", '0', 3), "007");
    EXPECT_EQ(PadLeftChar("ä", '.', 3), "..ä");
    EXPECT_EQ(PadLeftChar("1234", '0', 3), "1234");
    EXPECT_EQ(RemoveBlanks(" 1 2 3 "), "123");
}

TEST(NumberUtils, RadixTextsShowTheLow32BitsUnsigned)
{
    EXPECT_EQ(IntToHexGrouped(255, 4, 2), "00 FF");
    EXPECT_EQ(IntToHexGrouped(-1, 0, 4), "FFFF FFFF");
    EXPECT_EQ(IntToHexGrouped(0x1000000ABLL, 2, 0), "AB");
    EXPECT_EQ(IntToHexGrouped(0, 0, 0), "0");
    EXPECT_EQ(IntToBin(5, 8, 4), "0000 0101");
    EXPECT_EQ(IntToBin(0, 0, 0), "0");
    EXPECT_EQ(IntToOct(8, 0, 0), "10");
    EXPECT_EQ(IntToOct(-1, 0, 0), "37777777777");
    EXPECT_EQ(IntToOct(8, 6, 3), "000 010");
}

TEST(NumberUtils, RadixParsersAcceptTheirPrefixesAndIgnoreBlanks)
{
    struct Case
    {
        const char* text;
        bool ok;
        int64_t value;
    };
    const Case hex[] = {
        {"ff", true, 255},
        {"$FF", true, 255},
        {"F F", true, 255},
        {"-$10", true, -16},
        {" - $ 1 0 ", true, -16},
        {"", false, 0},
        {"   ", false, 0},
        {"$", false, 0},
        {"-", false, 0},
        {"g", false, 0},
        {"0x10", false, 0},
        {"FFFFFFFFFFFFFFFF", true, -1},
        {"7FFFFFFFFFFFFFFF", true, INT64_MAX},
        {"1FFFFFFFFFFFFFFFF", false, 0},
        {"$$1", false, 0},
        {"1-", false, 0},
    };
    for (const Case& c : hex) {
        int64_t v = 99;
        EXPECT_EQ(TryHexToInt64(c.text, v), c.ok) << c.text;
        EXPECT_EQ(v, c.value) << c.text;
    }
    const Case oct[] = {
        {"%17", true, 15}, {"8", false, 0},   {"%", true, 0},    {"-", true, 0},     {"-17", true, -15},
        {"", false, 0},    {"1 7", true, 15}, {"%%1", false, 0}, {"777", true, 511},
    };
    for (const Case& c : oct) {
        int64_t v = 99;
        EXPECT_EQ(TryOctToInt64(c.text, v), c.ok) << c.text;
        EXPECT_EQ(v, c.value) << c.text;
    }
    const Case bin[] = {
        {"!101", true, 5}, {"2", false, 0},          {"-!11", true, -3},
        {"!", true, 0},    {"1111 0000", true, 240}, {"", false, 0},
    };
    for (const Case& c : bin) {
        int64_t v = 99;
        EXPECT_EQ(TryBinToInt64(c.text, v), c.ok) << c.text;
        EXPECT_EQ(v, c.value) << c.text;
    }
    // 65 ones: the top bit falls off, all 64 remaining bits are set.
    int64_t v = 0;
    EXPECT_TRUE(TryBinToInt64(std::string(65, '1'), v));
    EXPECT_EQ(v, -1);
    EXPECT_TRUE(TryOctToInt64("1" + std::string(22, '0'), v)); // 8^22 = 2^66 wraps to 0
    EXPECT_EQ(v, 0);
}

TEST(NumberUtils, RaisingParsersNameTheText)
{
    EXPECT_EQ(HexToInt64("$1f"), 31);
    EXPECT_EQ(OctToInt64("%10"), 8);
    EXPECT_EQ(BinToInt64("!10"), 2);
    try {
        HexToInt64("xyz");
        FAIL() << "no exception";
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.Message(), "xyz is not a valid hex value");
    }
    try {
        OctToInt64("9");
        FAIL() << "no exception";
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.Message(), "9 is not a valid octal value");
    }
    try {
        BinToInt64("");
        FAIL() << "no exception";
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.Message(), " is not a valid binary value");
    }
}

// --- Floating-point texts

TEST(NumberUtils, SplitSiPrefixChoosesThePrefixJustBelowEachPowerOfAThousand)
{
    struct Case
    {
        double value;
        int index;
        double scaled;
    } cases[] = {
        {0, 6, 0},         {1e-16, 6, 1e-16}, {5e-14, 1, 50},        {1e-12, 2, 1},
        {5e-9, 3, 5},      {2.5e-6, 4, 2.5},  {0.0998, 5, 99.8},     {0.0999, 6, 0.0999},
        {998.9, 6, 998.9}, {999, 7, 0.999},   {-1234.5, 7, -1.2345}, {5e8, 8, 500},
        {2e9, 9, 2},       {1e13, 10, 10},    {1e15, 10, 1000},      {2e15, 6, 2e15},
    };
    for (const auto& c : cases) {
        double v = c.value, factor = 0;
        int index = 0;
        SplitSiPrefix(v, factor, index);
        EXPECT_EQ(index, c.index) << c.value;
        EXPECT_NEAR(v, c.scaled, std::fabs(c.scaled) * 1e-12) << c.value;
        EXPECT_DOUBLE_EQ(factor, std::pow(10.0, 3 * index - 18)) << c.value;
    }
    double nan = std::numeric_limits<double>::quiet_NaN(), factor;
    int index;
    SplitSiPrefix(nan, factor, index);
    EXPECT_EQ(index, 6);
}

TEST(NumberUtils, FormatSiDigitsShowsSignificantDigits)
{
    struct Case
    {
        int digits;
        double value;
        const char* text;
        int index;
    } cases[] = {
        {3, 1234.5, "1.23", 7},
        {3, 0.00012, "0.120", 5},
        {3, 0, "0.000", 6},
        {3, 999, "0.999", 7},
        {3, 999.6, "1.00", 7},
        {3, 9.9996, "10.0", 6},
        {3, 99.96, "100", 6},
        {2, 123.4, "120", 6},
        {8, 0.999995, "0.99999500", 6},
        {3, -1234.5, "-1.23", 7},
        {1, 5, "5.0", 6},
        {9, 1.5, "1.5000000", 6},
        {3, 1e20, "100000000000000000000", 6},
        {3, 1e-16, "0.000", 6},
        {4, 2.5e-6, "2.500", 4},
    };
    for (const auto& c : cases) {
        std::string text;
        int index = 0;
        FormatSiDigits(c.digits, text, index, '.', c.value);
        EXPECT_EQ(text, c.text) << c.value << " with " << c.digits;
        EXPECT_EQ(index, c.index) << c.value << " with " << c.digits;
    }
    std::string text;
    int index;
    FormatSiDigits(3, text, index, ',', 1234.5);
    EXPECT_EQ(text, "1,23");
    FormatSiDigits(3, text, index, '.', std::numeric_limits<double>::quiet_NaN());
    EXPECT_EQ(text, "NAN");
    FormatSiDigits(3, text, index, '.', -std::numeric_limits<double>::infinity());
    EXPECT_EQ(text, "-INF");

    SeparatorScope separators(',', '.');
    FormatSiDigits(3, text, index, 0, 1234.5);
    EXPECT_EQ(text, "1,23");
}

TEST(NumberUtils, NormalizedAndPrefixFormsAppendExponentOrLetter)
{
    struct Case
    {
        int digits;
        double value;
        const char* normalized;
        const char* prefixed;
    } cases[] = {
        {3, 1234.5, "1.23E3", "1.23 k"},
        {3, 0.00012, "0.120E-3", "0.120 m"},
        {3, 0, "0.000", "0.000"},
        {3, 999, "0.999E3", "0.999 k"},
        {3, 999.6, "1.00E3", "1.00 k"},
        {3, 2.5e-6, "2.50E-6", "2.50 \u00b5"},
        {3, 4.7e9, "4.70E9", "4.70 G"},
        {0, 1500, "1.5E3", "1.5 k"},
        {0, 2000, "2E3", "2.0 k"},
        {0, 5, "5", "5.0"},
        {0, 0, "0", "0.00"},
        {1, 1234.4, "1234", "1234"},
        {1, -0.4, "0", "0"},
    };
    for (const auto& c : cases) {
        std::string text;
        FormatNormalized(c.digits, '.', text, c.value);
        EXPECT_EQ(text, c.normalized) << c.value << " with " << c.digits;
        FormatWithSiPrefix(c.digits, " ", '.', text, c.value);
        EXPECT_EQ(text, c.prefixed) << c.value << " with " << c.digits;
    }
    std::string text;
    FormatWithSiPrefix(3, "", ',', text, 0.00012);
    EXPECT_EQ(text, "0,120m");
}

TEST(NumberUtils, TryStrToSiValueReadsAnOptionalPrefixLetter)
{
    struct Case
    {
        const char* text;
        char decSep;
        bool ok;
        double value;
    } cases[] = {
        {"", '.', true, 0},         {"   ", '.', true, 0},      {"12", '.', true, 12},
        {"1.5k", '.', true, 1500},  {"1.5 k", '.', true, 1500}, {"2 \u00b5", '.', true, 2e-6},
        {"3 M", '.', true, 3e6},    {"3 m", '.', true, 0.003},  {" -2 n ", '.', true, -2e-9},
        {"1e3", '.', true, 1000},   {"1.5 x", '.', false, 0},   {"k", '.', false, 0},
        {"1,5 k", ',', true, 1500}, {"1,5 k", '.', false, 0},   {"1.2.3", '.', false, 0},
        {"1 2", '.', false, 0},     {"5 T", '.', true, 5e12},   {"7f", '.', true, 7e-15},
        {"1e", '.', false, 0},      {"inf", '.', false, 0},     {"1e999", '.', false, 0},
    };
    for (const auto& c : cases) {
        double v = 99;
        EXPECT_EQ(TryStrToSiValue(c.text, v, c.decSep), c.ok) << c.text;
        EXPECT_NEAR(v, c.value, std::fabs(c.value) * 1e-12) << c.text;
    }
    SeparatorScope separators(',', '.');
    double v;
    EXPECT_TRUE(TryStrToSiValue("2,5 k", v, 0));
    EXPECT_DOUBLE_EQ(v, 2500);
}

TEST(NumberUtils, IsNearIntDependsOnTheDecimalsShown)
{
    EXPECT_TRUE(IsNearInt(0, 1.5));
    EXPECT_TRUE(IsNearInt(-3, 1.5));
    EXPECT_FALSE(IsNearInt(3, 2.0));
    EXPECT_TRUE(IsNearInt(1, 2.05));
    EXPECT_FALSE(IsNearInt(1, 2.1));
    EXPECT_TRUE(IsNearInt(2, 2.005));
    EXPECT_FALSE(IsNearInt(2, 2.02));
    EXPECT_TRUE(IsNearInt(2, 1.995));
}

// --- Byte sizes

TEST(NumberUtils, FormatByteSizeChoosesUnitAndDecimals)
{
    struct Case
    {
        bool base1000;
        bool trim;
        int64_t value;
        const char* text;
    } cases[] = {
        {false, false, 1023, "1023 B"},
        {true, false, 999, "999 B"},
        {true, false, 1000, "1.00 kB"},
        {false, false, 1536, "1.50 KiB"},
        {false, true, 1536, "1.50 KiB"},
        {false, false, 2097152, "2.00 MiB"},
        {false, true, 2097152, "2 MiB"},
        {false, true, 1610612736, "1.50 GiB"},
        {false, true, 2147483648, "2 GiB"},
        {false, false, 2147483648, "2.00 GiB"},
        {false, false, 15360, "15.0 KiB"},
        {false, true, 15360, "15 KiB"},
        {false, false, 153600, "150 KiB"},
        {false, false, 1048000, "1023 KiB"},
        {true, false, 1570000000, "1.57 GB"},
        {true, false, 25000000, "25.0 MB"},
        {false, false, 0, "0 B"},
        {false, false, -5, "-5 B"},
        {false, false, -50000, "-50000 B"},
        {false, false, INT64_MAX, "8589934592.00 GiB"},
        {true, false, INT64_MAX, "9223372036.85 GB"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FormatByteSize(c.base1000, c.trim, '.', c.value), c.text) << c.value;
    EXPECT_EQ(FormatByteSize(false, false, ',', 1536), "1,50 KiB");
    SeparatorScope separators(',', '.');
    EXPECT_EQ(FormatByteSize(false, false, 0, 1536), "1,50 KiB");
}

TEST(NumberUtils, TryStrToSizeReadsUnitsOfBothBases)
{
    struct Case
    {
        const char* text;
        char decSep;
        bool ok;
        int64_t size;
    } cases[] = {
        {"1.5 GiB", '.', true, 1610612736},
        {"1.5gib", '.', true, 1610612736},
        {"1.5 Gi", '.', true, 1610612736},
        {"2 k", '.', true, 2000},
        {"4 T", '.', true, 4000000000000},
        {"4 TiB", '.', true, 4398046511104},
        {"12 XB", '.', false, 0},
        {"", '.', true, 0},
        {"100", '.', true, 100},
        {" 100 B ", '.', true, 100},
        {"1.5", '.', true, 2},
        {"B", '.', false, 0},
        {"1.", '.', false, 0},
        {"abc", '.', false, 0},
        {"1,5 MB", ',', true, 1500000},
        {"1.5 MB", ',', false, 0},
        {"99999999 T", '.', false, 0},
        {"1.5 \u00b5B", '.', false, 0},
        {"10 KiB", '.', true, 10240},
        {"10KB", '.', true, 10000},
        {"3 M", '.', true, 3000000},
    };
    for (const auto& c : cases) {
        int64_t size = 99;
        EXPECT_EQ(TryStrToSize(c.text, size, c.decSep), c.ok) << c.text;
        EXPECT_EQ(size, c.size) << c.text;
    }
    SeparatorScope separators(',', '.');
    int64_t size;
    EXPECT_TRUE(TryStrToSize("2,5 k", size, 0));
    EXPECT_EQ(size, 2500);
}

TEST(NumberUtils, ByteSizeTextsReadBackToTheShownValue)
{
    for (int64_t value : {int64_t{1536}, int64_t{2097152}, int64_t{1610612736}, int64_t{999}}) {
        for (bool base1000 : {false, true}) {
            int64_t size = 0;
            std::string text = FormatByteSize(base1000, false, '.', value);
            ASSERT_TRUE(TryStrToSize(text, size, '.')) << text;
            EXPECT_NEAR(static_cast<double>(size), static_cast<double>(value), value * 0.01) << text;
        }
    }
}
