#include <gtest/gtest.h>

#include "backup/LinkInfo.h"

namespace {

TEST(LinkInfoTest, Placeholder)
{
    EXPECT_EQ(LinkInfoFileName("/d/Data.old"), "/d/Data.qvlink");
}

} // namespace
