#include "archive/ZLibEx.h"

#include <fcntl.h>
#include <memory>
#include <zlib.h>

#include "ArchiveTestUtil.h"
#include "support/Sandbox.h"

using namespace archivetest;

namespace {

std::string Deflate(const std::string& data, int windowBits = -15)
{
    TMemoryStream dest;
    {
        TZCompressionStream z(dest, zcDefault, windowBits);
        z.Write(data.data(), static_cast<int64_t>(data.size()));
    }
    return dest.DataString();
}

// Inflates with reads of 1 to 31 bytes.
std::string InflateInPieces(TStream& source, int64_t limit)
{
    TZDecompressionStream z(source, limit, -15);
    std::string out;
    char buffer[31];
    for (int size = 1;; size = size % 31 + 1) {
        int64_t got = z.Read(buffer, size);
        out.append(buffer, static_cast<size_t>(got));
        if (got < size)
            break;
    }
    return out;
}

} // namespace

TEST(ZLibExTest, EmptyRawDeflateStreamIsTwoBytes)
{
    EXPECT_EQ(ToHex(Deflate("")), "0300");
}

TEST(ZLibExTest, CompressedDataRoundTripsInAnyPieces)
{
    for (size_t size : {size_t(0), size_t(1), size_t(1000), size_t(65536), size_t(300000)}) {
        for (bool compressible : {true, false}) {
            std::string data = RandomBytes(size, static_cast<uint32_t>(size), compressible);
            TMemoryStream compressed(Deflate(data));
            EXPECT_EQ(InflateInPieces(compressed, 0), data) << size;
        }
    }
}

TEST(ZLibExTest, CompressionStreamMatchesZlibOwnOutput)
{
    std::string data = RandomBytes(200000, 7);
    std::string ours = Deflate(data, 15);
    uLongf length = compressBound(data.size());
    std::string theirs(length, '\0');
    ASSERT_EQ(compress2(reinterpret_cast<Bytef*>(theirs.data()), &length,
                        reinterpret_cast<const Bytef*>(data.data()), data.size(), Z_DEFAULT_COMPRESSION),
              Z_OK);
    theirs.resize(length);
    EXPECT_EQ(ours, theirs);
}

TEST(ZLibExTest, DecompressionStopsAtTheInputLimitWithoutException)
{
    std::string data = RandomBytes(100000, 3, false);
    std::string compressed = Deflate(data);
    TMemoryStream source(compressed);
    std::string out = InflateInPieces(source, static_cast<int64_t>(compressed.size() / 2));
    EXPECT_LT(out.size(), data.size());
    EXPECT_EQ(out, data.substr(0, out.size()));
}

TEST(ZLibExTest, SourceStandsOnTheTrailerAfterTheBody)
{
    std::string data = RandomBytes(5000, 11);
    std::string body = Deflate(data);
    TMemoryStream source(body + "TRAILER!" + std::string(70000, 'x'));
    TZDecompressionStream z(source, 0, -15);
    std::string out(data.size() + 100, '\0');
    int64_t got = z.Read(out.data(), static_cast<int64_t>(out.size()));
    EXPECT_EQ(got, static_cast<int64_t>(data.size()));
    EXPECT_TRUE(z.StreamEnded());
    EXPECT_EQ(source.GetPosition(), static_cast<int64_t>(body.size()));
    char trailer[8];
    source.ReadBuffer(trailer, 8);
    EXPECT_EQ(std::string(trailer, 8), "TRAILER!");
}

TEST(ZLibExTest, InvalidOperationsRaise)
{
    TMemoryStream dest;
    TZCompressionStream c(dest);
    char b[4];
    EXPECT_THROW(c.Read(b, 4), EZCompressionError);
    EXPECT_THROW(c.Seek(1, soCurrent), EZCompressionError);
    c.Write("abcd", 4);
    EXPECT_EQ(c.Seek(0, soCurrent), 4);

    TMemoryStream source(Deflate("abc"));
    TZDecompressionStream d(source, 0, -15);
    EXPECT_THROW(d.Write("x", 1), EZDecompressionError);
    EXPECT_THROW(d.Seek(-1, soCurrent), EZDecompressionError);
}

TEST(ZLibExTest, CorruptInputRaisesDecompressionErrorAndTruncatedInputReturnsShort)
{
    TMemoryStream garbage(std::string("\xff\xff\xff\xff garbage", 12));
    TZDecompressionStream z(garbage, 0, -15);
    char buffer[64];
    EXPECT_THROW(z.Read(buffer, sizeof buffer), EZDecompressionError);

    std::string data = RandomBytes(50000, 5, false);
    std::string compressed = Deflate(data);
    TMemoryStream truncated(compressed.substr(0, compressed.size() - 100));
    std::string out = InflateInPieces(truncated, 0);
    EXPECT_LT(out.size(), data.size());
}

TEST(ZLibExTest, SeeksRestartSkipAndRunToTheEnd)
{
    std::string data = RandomBytes(40000, 9);
    TMemoryStream source("xx" + Deflate(data));
    source.SetPosition(2);
    TZDecompressionStream z(source, 0, -15);
    EXPECT_EQ(z.Seek(10000, soCurrent), 10000);
    char buffer[10];
    ASSERT_EQ(z.Read(buffer, 10), 10);
    EXPECT_EQ(std::string(buffer, 10), data.substr(10000, 10));
    EXPECT_EQ(z.Seek(20000, soBeginning), 20000);
    EXPECT_EQ(z.Seek(0, soEnd), 40000);
    EXPECT_EQ(z.Seek(0, soBeginning), 0);
    ASSERT_EQ(z.Read(buffer, 10), 10);
    EXPECT_EQ(std::string(buffer, 10), data.substr(0, 10));
    EXPECT_THROW(z.Seek(5, soBeginning), EZDecompressionError);
}

TEST(ZLibExTest, FullDiskRaisesWriteErrorWithCode112)
{
    int fd = ::open("/dev/full", O_WRONLY);
    if (fd < 0)
        GTEST_SKIP() << "no /dev/full";
    THandleStream dest(fd, true);
    TZCompressionStream z(dest, zcDefault, -15);
    std::string data = RandomBytes(400000, 1, false);
    try {
        z.Write(data.data(), static_cast<int64_t>(data.size()));
        z.Finish();
        FAIL() << "no error raised";
    } catch (const ZLibEx::EWriteFileStreamError& e) {
        EXPECT_EQ(e.ErrorCode(), 112u);
        EXPECT_NE(e.Message().find("(0x00000070)"), std::string::npos) << e.Message();
    }
}

TEST(ZLibExTest, FailedLastWriteIsReportedByFinish)
{
    int fd = ::open("/dev/full", O_WRONLY);
    if (fd < 0)
        GTEST_SKIP() << "no /dev/full";
    THandleStream dest(fd, true);
    TZCompressionStream z(dest, zcDefault, -15);
    z.Write("small", 5);
    EXPECT_THROW(z.Finish(), ZLibEx::EWriteFileStreamError);
}

TEST(ZLibExTest, CompressionRateComparesOutputWithInput)
{
    TMemoryStream dest;
    TZCompressionStream z(dest, zcMax, -15);
    EXPECT_EQ(z.CompressionRate(), 0);
    std::string data(100000, 'a');
    z.Write(data.data(), static_cast<int64_t>(data.size()));
    z.Finish();
    EXPECT_GT(z.CompressionRate(), 99.0);
}
