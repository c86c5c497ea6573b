#include "support/StreamDoubles.h"

#include <gtest/gtest.h>

#include <set>
#include <vector>

namespace {

std::string Pattern(size_t n)
{
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i)
        s[i] = static_cast<char>((i * 7 + 3) & 0xFF);
    return s;
}

} // namespace

TEST(FailingSink, AcceptsBytesUpToItsLimitAndThenFailsAsConfigured)
{
    struct Case
    {
        TFailingSink::FailMode mode;
        int64_t limit;
        std::vector<int64_t> writes;
        std::vector<int64_t> results;
        std::string kept;
    };
    using M = TFailingSink::FailMode;
    const std::vector<Case> cases = {
        {M::MinusOne, 10, {4, 4, 4, 4}, {4, 4, -1, -1}, "abcdefghij"},
        {M::ShortCount, 10, {4, 4, 4, 4}, {4, 4, 2, 0}, "abcdefghij"},
        {M::MinusOne, 8, {4, 4, 1}, {4, 4, -1}, "abcdefgh"},
        {M::ShortCount, 0, {3}, {0}, ""},
        {M::MinusOne, 100, {5, 0, 5}, {5, 0, 5}, "abcdefghij"},
    };
    const std::string letters = "abcdefghijklmnop";
    for (const Case& c : cases) {
        SCOPED_TRACE("limit " + std::to_string(c.limit));
        TFailingSink sink(c.limit, c.mode);
        size_t offset = 0;
        for (size_t i = 0; i < c.writes.size(); ++i) {
            int64_t r = sink.Write(letters.data() + offset, c.writes[i]);
            EXPECT_EQ(r, c.results[i]) << "write " << i;
            offset += static_cast<size_t>(c.writes[i]);
        }
        EXPECT_EQ(sink.Data(), c.kept);
        EXPECT_EQ(sink.Accepted(), static_cast<int64_t>(c.kept.size()));
    }
}

TEST(FailingSink, MakesWriteBufferRaiseOnceTheLimitIsReached)
{
    TFailingSink sink(5, TFailingSink::FailMode::ShortCount);
    sink.WriteBuffer("abc", 3);
    EXPECT_THROW(sink.WriteBuffer("defg", 4), EWriteError);
    EXPECT_EQ(sink.Data(), "abcde");
    EXPECT_EQ(sink.FailedWrites(), 2); // the short write and the retry that got nothing
}

TEST(FailingSink, SeeksAndOverwritesLikeAFile)
{
    TFailingSink sink;
    sink.WriteBuffer("hello world", 11);
    EXPECT_EQ(sink.Seek(6, soBeginning), 6);
    sink.WriteBuffer("there", 5);
    EXPECT_EQ(sink.Data(), "hello there");
    EXPECT_EQ(sink.GetSize(), 11);
    EXPECT_EQ(sink.Seek(-1, soBeginning), -1);
    sink.SetSize(5);
    EXPECT_EQ(sink.Data(), "hello");
    EXPECT_EQ(sink.GetPosition(), 5);
}

TEST(TrickleSource, HandsOutOneToThirtyOneBytesPerReadAndDeliversEverything)
{
    const std::string data = Pattern(5000);
    TTrickleSource source(data, 42);
    std::string got;
    std::set<int64_t> sizes;
    char buf[100];
    for (;;) {
        int64_t n = source.Read(buf, sizeof buf);
        ASSERT_GE(n, 0);
        if (n == 0)
            break;
        sizes.insert(n);
        got.append(buf, static_cast<size_t>(n));
    }
    EXPECT_EQ(got, data);
    EXPECT_EQ(*sizes.begin(), 1);
    EXPECT_EQ(*sizes.rbegin(), 31);
    EXPECT_GT(sizes.size(), 20u);
    EXPECT_EQ(source.LargestRead(), 31);
}

TEST(TrickleSource, RepeatsItsSizesForTheSameSeedAndVariesThemForAnother)
{
    auto sizes = [](uint32_t seed) {
        TTrickleSource source(Pattern(2000), seed);
        std::vector<int64_t> result;
        char buf[64];
        while (int64_t n = source.Read(buf, sizeof buf))
            result.push_back(n);
        return result;
    };
    EXPECT_EQ(sizes(7), sizes(7));
    EXPECT_NE(sizes(7), sizes(8));
}

TEST(TrickleSource, NeverHandsOutMoreThanAskedFor)
{
    TTrickleSource source(Pattern(300));
    char buf[2];
    while (int64_t n = source.Read(buf, 2))
        ASSERT_LE(n, 2);
    EXPECT_EQ(source.GetPosition(), 300);
}

TEST(TrickleSource, SeeksWhenSeekableAndOnlyReportsItsPositionWhenNot)
{
    const std::string data = Pattern(100);
    TTrickleSource seekable(data);
    EXPECT_EQ(seekable.GetSize(), 100);
    EXPECT_EQ(seekable.Seek(-10, soEnd), 90);
    std::string tail(10, '\0');
    seekable.ReadBuffer(tail.data(), 10);
    EXPECT_EQ(tail, data.substr(90));

    TMemoryStream copy;
    copy.CopyFrom(seekable, 0);
    EXPECT_EQ(copy.DataString(), data);

    TTrickleSource pipe(data, 1, false);
    EXPECT_EQ(pipe.GetSize(), -1);
    EXPECT_EQ(pipe.Seek(5, soBeginning), -1);
    char c;
    ASSERT_EQ(pipe.Read(&c, 1), 1);
    EXPECT_EQ(pipe.GetPosition(), 1);
}

TEST(TrickleSource, FailsFromTheChosenPositionOn)
{
    const std::string data = Pattern(200);
    TTrickleSource source(data);
    source.FailAt(50);
    std::string got;
    char buf[40];
    int64_t n;
    while ((n = source.Read(buf, sizeof buf)) > 0)
        got.append(buf, static_cast<size_t>(n));
    EXPECT_EQ(n, -1);
    EXPECT_EQ(got, data.substr(0, 50));
    EXPECT_EQ(source.Write("x", 1), -1);
}
