#include <gtest/gtest.h>

#include "foundation/MathUtils.h"

TEST(MathUtils, Pow2ClampsTheExponentToTheBitsOfA64BitValue)
{
    EXPECT_EQ(Pow2(0), 1u);
    EXPECT_EQ(Pow2(10), 1024u);
    EXPECT_EQ(Pow2(63), uint64_t{1} << 63);
    EXPECT_EQ(Pow2(64), uint64_t{1} << 63);
    EXPECT_EQ(Pow2(-1), 1u);
}
