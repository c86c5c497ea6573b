#include "archive/AesLib.h"

#include <gtest/gtest.h>

#include "ArchiveTestUtil.h"
#include "rtl/Streams.h"
#include "support/Sandbox.h"

using namespace archivetest;

namespace {

std::string Encrypt(TEncryption& enc, const std::string& plain)
{
    TMemoryStream source(plain);
    TMemoryStream dest;
    EXPECT_EQ(enc.EncryptStreamEx(source, dest, false), orOk);
    return dest.DataString();
}

// The object as the independent reference computes it for the salt our object carries. Plain data
// larger than a command line takes go through plainFile.
std::string Reference(int mode, const std::string& password, const std::string& object,
                      const std::string& plain, const std::string& plainFile = "")
{
    std::string salt = object.substr(0, static_cast<size_t>(SaltLength(mode)));
    std::string plainArg = plainFile.empty() ? "'" + ToHex(plain) + "'" : Quote("@" + plainFile);
    if (!plainFile.empty())
        WriteFileBytes(plainFile, plain);
    std::string command = "/usr/bin/python3 " + Quote(TestDir() + "/aes_reference.py") + " " +
                          std::to_string(mode) + " '" + ToHex(password) + "' " + ToHex(salt) + " " + plainArg;
    CommandResult r = Sh(command);
    EXPECT_EQ(r.exitCode, 0) << command;
    while (!r.output.empty() && (r.output.back() == '\n' || r.output.back() == '\r'))
        r.output.pop_back();
    return r.output;
}

} // namespace

TEST(AesLibTest, ObjectsMatchTheIndependentReferenceForEveryKeyMode)
{
    for (int mode = 1; mode <= 3; ++mode) {
        for (size_t size : {size_t(0), size_t(1), size_t(15), size_t(16), size_t(17), size_t(5000)}) {
            std::string plain = RandomBytes(size, static_cast<uint32_t>(size + 100 * mode), false);
            std::string password = "pass word " + std::to_string(mode);
            TEncryption enc(password, mode, 1000);
            std::string object = Encrypt(enc, plain);
            ASSERT_EQ(object.size(), size + static_cast<size_t>(SaltLength(mode)) + 2 + 10);
            EXPECT_EQ(ToHex(object), Reference(mode, password, object, plain)) << mode << " " << size;
        }
    }
}

TEST(AesLibTest, BufferStepsLargerThanASliceMatchTheReference)
{
    // the stream methods work through a buffer step in slices; steps of 600000 bytes take slices of
    // different lengths, and the last step ends inside a slice
    Sandbox sandbox;
    std::string plain = RandomBytes(1500007, 12, false);
    TEncryption enc("slices", 2, 600000);
    std::string object = Encrypt(enc, plain);
    ASSERT_EQ(object.size(), plain.size() + 12 + 2 + 10);
    EXPECT_TRUE(ToHex(object) == Reference(2, "slices", object, plain, sandbox.Path("plain.bin")));
    TMemoryStream source(object);
    TMemoryStream dest;
    TEncryption reader("slices", 2, 600000);
    EXPECT_EQ(reader.DecryptStreamEx(source, &dest, source.GetSize(), false), orOk);
    EXPECT_TRUE(dest.DataString() == plain);
}

TEST(AesLibTest, AuthenticationBesideTheEncryptionGivesTheSameObject)
{
    const uint8_t salt[16] = {9, 8, 7, 6, 5, 4, 3, 2, 1, 0, 1, 2, 3, 4, 5, 6};
    std::string plain = RandomBytes(300001, 7, false);
    auto codeOf = [](TEncryption& enc) {
        TMemoryStream trailer;
        EXPECT_TRUE(enc.WriteTrailer(trailer));
        return trailer.DataString();
    };
    TEncryption inTurn("pw", 3, 64);
    inTurn.StartRunWithSalt(salt);
    std::string a = plain;
    inTurn.EncryptBlock(reinterpret_cast<uint8_t*>(a.data()), static_cast<uint32_t>(a.size()));
    std::string codeA = codeOf(inTurn);

    TEncryption beside("pw", 3, 64);
    beside.StartRunWithSalt(salt);
    std::string b = plain;
    {
        TSideMac mac(beside);
        size_t at = 0;
        for (size_t piece :
             {size_t(1), size_t(70000), size_t(4095), size_t(131072), size_t(0), size_t(94833)}) {
            auto* p = reinterpret_cast<uint8_t*>(b.data() + at);
            beside.ApplyKeyStream(p, static_cast<uint32_t>(piece));
            mac.Post(p, static_cast<uint32_t>(piece));
            at += piece;
            mac.WaitPending(2);
        }
        ASSERT_EQ(at, b.size());
        EXPECT_TRUE(mac.Finish());
    }
    EXPECT_TRUE(a == b);
    EXPECT_EQ(ToHex(codeOf(beside)), ToHex(codeA));
}

TEST(AesLibTest, ObjectsRoundTripAndEmptyDataIsHeaderAndTrailerOnly)
{
    for (int mode = 1; mode <= 3; ++mode) {
        TEncryption enc("secret", mode, 7);
        std::string empty = Encrypt(enc, "");
        EXPECT_EQ(empty.size(), static_cast<size_t>(20 + 4 * (mode - 1)));
        for (const std::string& plain : {std::string(), std::string(7, 'q'), RandomBytes(100003, 4)}) {
            std::string object = Encrypt(enc, plain);
            TMemoryStream source(object);
            TMemoryStream dest;
            EXPECT_EQ(enc.DecryptStreamEx(source, &dest, source.GetSize(), false), orOk);
            EXPECT_EQ(dest.DataString(), plain);
        }
    }
}

TEST(AesLibTest, PasswordsAreCutAt128Bytes)
{
    std::string longPassword = RandomBytes(200, 8);
    TEncryption writer(longPassword, 3, 64);
    std::string object = Encrypt(writer, "data");
    TEncryption reader(longPassword.substr(0, 128), 3, 64);
    TMemoryStream source(object);
    TMemoryStream dest;
    EXPECT_EQ(reader.DecryptStreamEx(source, &dest, source.GetSize(), false), orOk);
    EXPECT_EQ(dest.DataString(), "data");
}

TEST(AesLibTest, KeyModeFollowsThePasswordLengthUnlessGiven)
{
    struct Case
    {
        int value;
        size_t length;
        int expected;
    };
    for (Case c : {Case{0, 31, 1}, Case{0, 32, 2}, Case{0, 47, 2}, Case{0, 48, 3}, Case{2, 5, 2},
                   Case{2, 60, 2}, Case{-1, 50, 3}, Case{4, 10, 1}}) {
        TEncryption enc(std::string(c.length, 'p'), c.value, 16);
        EXPECT_EQ(enc.KeyMode(), c.expected) << c.value << " " << c.length;
        EXPECT_EQ(enc.GetHeaderSize(), SaltLength(c.expected) + 2);
    }
}

TEST(AesLibTest, WrongPasswordFailsAtTheVerifierAndWritesNothing)
{
    TEncryption writer("right", 1, 16);
    std::string object = Encrypt(writer, RandomBytes(1000, 2));
    TEncryption reader("wrong", 1, 16);
    TMemoryStream source(object);
    TMemoryStream dest;
    EXPECT_EQ(reader.DecryptStreamEx(source, &dest, source.GetSize(), false), orError);
    EXPECT_EQ(dest.GetSize(), 0);
    EXPECT_EQ(source.GetPosition(), 10); // salt and verifier only
}

TEST(AesLibTest, ChangedCiphertextWritesAllDataAndFailsAtTheTrailer)
{
    TEncryption enc("pw", 2, 100);
    std::string plain = RandomBytes(1000, 3);
    std::string object = Encrypt(enc, plain);
    object[14 + 500] ^= 1;
    TMemoryStream source(object);
    TMemoryStream dest;
    EXPECT_EQ(enc.DecryptStreamEx(source, &dest, source.GetSize(), false), orError);
    EXPECT_EQ(dest.GetSize(), 1000);
}

TEST(AesLibTest, CancelAfterTheFirstBufferLeavesHeaderAndOneBufferWithoutTrailer)
{
    TEncryption enc("pw", 1, 100);
    TMemoryStream source(RandomBytes(1000, 1));
    TMemoryStream dest;
    EXPECT_EQ(enc.EncryptStreamEx(source, dest, false, [] { return true; }), orUserBreak);
    EXPECT_EQ(dest.GetSize(), 10 + 100);
}

TEST(AesLibTest, KeyStreamPositionCarriesOverBetweenBlockCalls)
{
    const uint8_t salt[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    std::string plain = RandomBytes(1 + 15 + 16 + 17, 6, false);
    TEncryption whole("pw", 3, 64);
    whole.StartRunWithSalt(salt);
    std::string a = plain;
    whole.EncryptBlock(reinterpret_cast<uint8_t*>(a.data()), static_cast<uint32_t>(a.size()));
    TEncryption pieces("pw", 3, 64);
    pieces.StartRunWithSalt(salt);
    std::string b = plain;
    size_t at = 0;
    for (size_t piece : {1, 15, 16, 17}) {
        pieces.EncryptBlock(reinterpret_cast<uint8_t*>(b.data() + at), static_cast<uint32_t>(piece));
        at += piece;
    }
    EXPECT_EQ(a, b);
}

TEST(AesLibTest, TwoEncryptionsOfTheSameDataDiffer)
{
    TEncryption enc("pw", 1, 64);
    std::string first = Encrypt(enc, "same data");
    std::string second = Encrypt(enc, "same data");
    EXPECT_NE(first.substr(0, 8), second.substr(0, 8));
    EXPECT_NE(first, second);
}

TEST(AesLibTest, ShortOrTruncatedObjectsFailWithoutOverrun)
{
    TEncryption enc("pw", 1, 64);
    std::string object = Encrypt(enc, RandomBytes(300, 5));
    for (size_t keep : {size_t(0), size_t(5), size_t(19), size_t(150), object.size() - 1}) {
        TMemoryStream source(object.substr(0, keep));
        TMemoryStream dest;
        EXPECT_EQ(enc.DecryptStreamEx(source, &dest, static_cast<int64_t>(object.size()), false), orError)
            << keep;
        TMemoryStream again(object.substr(0, keep));
        EXPECT_EQ(enc.DecryptStreamEx(again, nullptr, static_cast<int64_t>(keep), false), orError) << keep;
    }
}

TEST(AesLibTest, ReaderFallsBackToLatin1BytesOfThePassword)
{
    std::string utf8 = "M\xc3\xbcller"; // Müller in UTF-8
    std::string latin1 = "M\xfcller";   // the same in Latin-1
    TEncryption oldWriter(latin1, 1, 64);
    std::string object = Encrypt(oldWriter, "payload");
    TEncryption reader(utf8, 1, 64);
    TMemoryStream source(object);
    TMemoryStream dest;
    EXPECT_EQ(reader.DecryptStreamEx(source, &dest, source.GetSize(), false), orOk);
    EXPECT_EQ(dest.DataString(), "payload");
    // the UTF-8 form stays the primary one
    std::string fresh = Encrypt(reader, "new");
    TEncryption utf8Reader(utf8, 1, 64);
    TMemoryStream freshSource(fresh);
    EXPECT_EQ(utf8Reader.DecryptStreamEx(freshSource, nullptr, freshSource.GetSize(), false), orOk);
}

TEST(AesLibTest, ProgressReportsRunningTotalsAndAFinalEmptyRead)
{
    TEncryption enc("pw", 1, 100);
    std::vector<int64_t> counts;
    enc.OnProgress = [&](TFileAction action, int64_t count, bool speedLimit) {
        EXPECT_EQ(action, acEncrypt);
        EXPECT_TRUE(speedLimit);
        counts.push_back(count);
    };
    TMemoryStream source(std::string(200, 'x'));
    TMemoryStream dest;
    EXPECT_EQ(enc.EncryptStreamEx(source, dest, true), orOk);
    EXPECT_EQ(counts, (std::vector<int64_t>{100, 200, 200}));
}
