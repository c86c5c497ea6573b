#include "foundation/PasswordStrength.h"

#include <string>

#include <gtest/gtest.h>

namespace {

TEST(PasswordStrengthTest, HandComputedRatings)
{
    struct Case
    {
        const char* text;
        int rating;
    };
    const Case cases[] = {
        {"", -1},     {"     ", -1},
        {"abcd", -1}, // 16 - 4 letters only - 2*3 consecutive - 3*2 sequences = 0
        {"aa", -1},   // repetition penalty 4
        {"Aa1!", 38}, // 16 + 6 + 6 + 4 + 6 + 2 mid + 8 requirements = 48
        {"13579", 6}, // 20 - 5 numbers only - 8 consecutive = 7
    };
    for (const auto& c : cases)
        EXPECT_EQ(GetPasswordStrength(c.text), c.rating) << c.text;
}

TEST(PasswordStrengthTest, BlanksDoNotCount)
{
    EXPECT_EQ(GetPasswordStrength("A a 1 !"), GetPasswordStrength("Aa1!"));
    EXPECT_EQ(GetPasswordStrength(" Secret99 word "), GetPasswordStrength("Secret99word"));
}

TEST(PasswordStrengthTest, AccentedLettersCountAsOneSymbolEach)
{
    EXPECT_EQ(GetPasswordStrength("Éa1x"), GetPasswordStrength("#a1x"));
    EXPECT_EQ(GetPasswordStrength("ÉÉa1"), GetPasswordStrength("##a1"));
    EXPECT_NE(GetPasswordStrength("ÉÉa1"), GetPasswordStrength("EEa1"));
}

TEST(PasswordStrengthTest, ReversedRunsCountLikeRuns)
{
    EXPECT_EQ(GetPasswordStrength("Xcba7"), GetPasswordStrength("Xabc7"));
    EXPECT_LT(GetPasswordStrength("Xabc7"), GetPasswordStrength("Xacb7"));
    EXPECT_EQ(GetPasswordStrength("Q}{]x"), GetPasswordStrength("Q]{}x"));
    EXPECT_LT(GetPasswordStrength("Q]{}x"), GetPasswordStrength("Q{]}x"));
}

TEST(PasswordStrengthTest, RatingStopsAt99)
{
    std::string text;
    for (char32_t c = 0x4E00; c < 0x4E00 + 100; ++c) {
        text += static_cast<char>(0xE0 | (c >> 12));
        text += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        text += static_cast<char>(0x80 | (c & 0x3F));
    }
    EXPECT_EQ(GetPasswordStrength(text), 99);
}

} // namespace
