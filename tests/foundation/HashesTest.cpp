#include "foundation/Hashes.h"

#include "support/Sandbox.h"
#include "support/Shell.h"
#include "support/StreamDoubles.h"
#include "support/TreeBuilder.h"

#include <fcntl.h>
#include <utility>
#include <vector>

namespace {

std::string Hash(uint8_t kind, const std::string& data, int bufferSize = 4096)
{
    TMemoryStream stream(data);
    std::string digest;
    ComputeStreamHash(kind, stream, bufferSize, digest);
    return digest;
}

std::string Sample(size_t n)
{
    std::string s(n, '\0');
    uint32_t x = 12345;
    for (char& c : s) {
        x = x * 1103515245 + 12345;
        c = static_cast<char>(x >> 23);
    }
    return s;
}

using ProgressLog = std::vector<std::pair<int, int64_t>>;

} // namespace

TEST(ComputeStreamHash, AgreesWithTheStandardsTestVectors)
{
    struct Case
    {
        uint8_t kind;
        const char* input;
        const char* digest;
    };
    const char* abc448 = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
    for (const Case& c : {
             Case{hkMD5, "", "d41d8cd98f00b204e9800998ecf8427e"},
             Case{hkMD5, "abc", "900150983cd24fb0d6963f7d28e17f72"},
             Case{hkMD5, "message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
             Case{hkSHA1, "", "da39a3ee5e6b4b0d3255bfef95601890afd80709"},
             Case{hkSHA1, "abc", "a9993e364706816aba3e25717850c26c9cd0d89d"},
             Case{hkSHA1, abc448, "84983e441c3bd26ebaae4aa1f95129e5e54670f1"},
             Case{hkSHA256, "", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
             Case{hkSHA256, "abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
             Case{hkSHA256, abc448, "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
         }) {
        EXPECT_EQ(Hash(c.kind, c.input), c.digest) << int(c.kind) << " of \"" << c.input << "\"";
        EXPECT_EQ(Hash(c.kind, c.input, 1), c.digest) << int(c.kind) << " one byte at a time";
    }
}

TEST(ComputeStreamHash, TakesEveryUnknownKindAsMd5)
{
    for (uint8_t kind : {3, 7, 255})
        EXPECT_EQ(Hash(kind, "abc"), "900150983cd24fb0d6963f7d28e17f72") << int(kind);
}

class ComputeStreamHashOfFiles : public SandboxTest
{
};

TEST_F(ComputeStreamHashOfFiles, MatchesPythonHashlibForEveryKindAndBufferSize)
{
    VASTREL_REQUIRE_TOOL("python3");
    const std::string file = sandbox.Path("data.bin");
    WriteFileBytes(file, Sample(1024 * 1024 + 17));
    const char* names[] = {"md5", "sha1", "sha256"};
    for (uint8_t kind : {hkMD5, hkSHA1, hkSHA256}) {
        ShellResult oracle = RunShell("python3 -c 'import hashlib,sys; print(hashlib.new(sys.argv[1], "
                                      "open(sys.argv[2],\"rb\").read()).hexdigest())' " +
                                          std::string(names[kind]) + " " + ShellQuote(file),
                                      "", false);
        ASSERT_EQ(oracle.exitCode, 0);
        std::string expected = oracle.output.substr(0, oracle.output.find('\n'));
        for (int bufferSize : {1000, 65536, 33554432}) {
            THandleStream stream(::open(file.c_str(), O_RDONLY | O_CLOEXEC), true);
            ASSERT_GE(stream.Handle(), 0);
            std::string digest;
            ComputeStreamHash(kind, stream, bufferSize, digest);
            EXPECT_EQ(digest, expected) << names[kind] << " with buffer " << bufferSize;
            EXPECT_EQ(stream.GetPosition(), stream.GetSize());
        }
    }
}

TEST(ComputeStreamHash, HashesFromTheCurrentPositionAndLeavesTheStreamAtItsEnd)
{
    const std::string data = Sample(1000);
    TMemoryStream stream(data);
    stream.SetPosition(400);
    std::string digest;
    ComputeStreamHash(hkSHA256, stream, 64, digest);
    EXPECT_EQ(digest, Hash(hkSHA256, data.substr(400)));
    EXPECT_EQ(stream.GetPosition(), 1000);
}

TEST(ComputeStreamHash, CopesWithShortReadsAndWithStreamsOfUnknownSize)
{
    const std::string data = Sample(5000);
    const std::string expected = Hash(hkSHA1, data);
    for (bool seekable : {true, false}) {
        TTrickleSource source(data, 3, seekable);
        std::string digest;
        ComputeStreamHash(hkSHA1, source, 4096, digest);
        EXPECT_EQ(digest, expected) << (seekable ? "seekable" : "pipe");
    }
}

TEST(ComputeStreamHash, ReportsStartBlocksPositionsAndEnd)
{
    ProgressLog log;
    auto progress = [&log](uint8_t action, int64_t count) { log.emplace_back(action, count); };
    std::string digest;

    TMemoryStream empty;
    ComputeStreamHash(hkMD5, empty, 4, digest, progress);
    EXPECT_EQ(log, (ProgressLog{{0, 0}, {1, 0}}));
    EXPECT_EQ(digest, "d41d8cd98f00b204e9800998ecf8427e");

    log.clear();
    TMemoryStream ten("0123456789");
    ComputeStreamHash(hkMD5, ten, 4, digest, progress);
    EXPECT_EQ(log, (ProgressLog{{0, 10}, {3, 4}, {2, 4}, {3, 4}, {2, 8}, {3, 2}, {2, 10}, {1, 10}}));

    log.clear();
    TMemoryStream tail("0123456789");
    tail.SetPosition(7);
    ComputeStreamHash(hkMD5, tail, 4, digest, progress);
    EXPECT_EQ(log, (ProgressLog{{0, 10}, {3, 3}, {2, 10}, {1, 10}}));
}

TEST(ComputeStreamHash, RaisesInsteadOfReportingTheDigestOfPartOfTheData)
{
    TTrickleSource failing(Sample(1000));
    failing.FailAt(500);
    std::string digest = "untouched";
    EXPECT_THROW(ComputeStreamHash(hkSHA256, failing, 128, digest), EReadError);
    EXPECT_EQ(digest, "untouched");
}

TEST(ComputeStreamHash, UsesADefaultBlockWhenGivenNone)
{
    for (int bufferSize : {0, -5})
        EXPECT_EQ(Hash(hkMD5, "abc", bufferSize), "900150983cd24fb0d6963f7d28e17f72");
}
