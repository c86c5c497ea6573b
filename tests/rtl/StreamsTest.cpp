#include <gtest/gtest.h>

#include "rtl/Streams.h"

TEST(MemoryStream, ReadsWritesAndSeeksLikeAFile)
{
    TMemoryStream s;
    s.WriteBuffer("hello world", 11);
    EXPECT_EQ(s.GetSize(), 11);
    s.SetPosition(6);
    char buf[8] = {};
    EXPECT_EQ(s.Read(buf, 8), 5);
    EXPECT_EQ(std::string(buf, 5), "world");
    EXPECT_EQ(s.Read(buf, 8), 0);
    s.Seek(-5, soEnd);
    s.WriteBuffer("WORLD!", 6);
    EXPECT_EQ(s.DataString(), "hello WORLD!");
    s.SetSize(5);
    EXPECT_EQ(s.GetPosition(), 5);
    EXPECT_EQ(s.DataString(), "hello");
}

TEST(MemoryStream, ReadBufferPastTheEndRaises)
{
    TMemoryStream s(std::string("abc"));
    char buf[4];
    EXPECT_THROW(s.ReadBuffer(buf, 4), EReadError);
}

TEST(MemoryStream, CopyFromWithZeroCountCopiesTheWholeSource)
{
    TMemoryStream src(std::string("0123456789"));
    src.SetPosition(4);
    TMemoryStream dst;
    EXPECT_EQ(dst.CopyFrom(src, 0), 10);
    EXPECT_EQ(dst.DataString(), "0123456789");
    src.SetPosition(2);
    TMemoryStream part;
    EXPECT_EQ(part.CopyFrom(src, 3), 3);
    EXPECT_EQ(part.DataString(), "234");
}
