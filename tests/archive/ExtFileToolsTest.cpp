#include "archive/ExtFileTools.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <memory>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>
#include <zlib.h>

#include "ArchiveTestUtil.h"
#include "support/FakeClock.h"
#include "support/Sandbox.h"
#include "support/Shell.h"
#include "support/ThreadState.h"
#include "support/WaitFor.h"

using namespace archivetest;
namespace fs = std::filesystem;

namespace {

constexpr int BufSize = 4096;

int RunWorker(TCopyThread& thread)
{
    thread.Start();
    EXPECT_TRUE(WaitForCopyThread(thread, 0));
    return thread.ErrorCode();
}

// The files of a folder (temporary leftovers included).
std::vector<std::string> Listing(const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

uint32_t Le32(const std::string& s, size_t at)
{
    return static_cast<uint8_t>(s[at]) | (static_cast<uint8_t>(s[at + 1]) << 8) |
           (static_cast<uint8_t>(s[at + 2]) << 16) |
           (static_cast<uint32_t>(static_cast<uint8_t>(s[at + 3])) << 24);
}

uint64_t Le64(const std::string& s, size_t at)
{
    return Le32(s, at) | (static_cast<uint64_t>(Le32(s, at + 4)) << 32);
}

std::string RawDeflate(const std::string& data)
{
    z_stream z{};
    deflateInit2(&z, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&z, data.size()) + 16, '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

class ExtFileToolsTest : public SandboxTest
{
protected:
    std::string Src(const std::string& name, const std::string& data)
    {
        std::string path = sandbox.Path("src/" + name);
        fs::create_directories(sandbox.Path("src"));
        WriteFileBytes(path, data);
        return path;
    }
    std::string Dst(const std::string& name)
    {
        fs::create_directories(sandbox.Path("dst"));
        return sandbox.Path("dst/" + name);
    }
    int Copy(const std::string& src, const std::string& dst, TCopyOptions options, TEncryption* enc = nullptr)
    {
        TWinCopyThread thread(src, dst, enc, options, true, BufSize);
        thread.SetTempDir(sandbox.Path());
        int err = RunWorker(thread);
        lastRatio = thread.Ratio();
        return err;
    }
    int Gunzip(const std::string& src, const std::string& dst, TEncryption* enc = nullptr)
    {
        TGUnZipThread thread(src, dst, enc, true, BufSize);
        return RunWorker(thread);
    }
    int Decrypt(const std::string& src, const std::string& dst, TEncryption* enc)
    {
        TDecryptThread thread(src, dst, enc, true, BufSize);
        return RunWorker(thread);
    }
    int Compare(const std::string& copy, const std::string& ref, TEncryption* enc, bool gz, bool zip)
    {
        TCompareThread thread(copy, ref, enc, gz, zip, true, BufSize);
        return RunWorker(thread);
    }
    int lastRatio = -1;
    const TCopyOptions plain{coAttributes, coTimeStamp, coCheckTime};
};

} // namespace

// --- plain copies

TEST_F(ExtFileToolsTest, PlainCopyKeepsContentAndTimeAndLeavesNoTemporaryFile)
{
    for (size_t size : {size_t(0), size_t(1), size_t(BufSize), size_t(BufSize * 3 + 7)}) {
        std::string data = RandomBytes(size, static_cast<uint32_t>(size), false);
        std::string src = Src("a.bin", data);
        ::utimensat(AT_FDCWD, src.c_str(),
                    std::array<timespec, 2>{timespec{1000000000, 0}, timespec{1500000000, 0}}.data(), 0);
        std::string dst = Dst("a.bin");
        fs::remove(dst);
        EXPECT_EQ(Copy(src, dst, TCopyOptions(plain).Include(coVerify)), 0) << size;
        EXPECT_EQ(ReadFileBytes(dst), data);
        struct stat st
        {
        };
        ::stat(dst.c_str(), &st);
        EXPECT_EQ(st.st_mtim.tv_sec, 1500000000);
        EXPECT_EQ(Listing(sandbox.Path("dst")), std::vector<std::string>{"a.bin"});
    }
}

TEST_F(ExtFileToolsTest, ExistingDestinationIsKeptWithoutOverwriteAndReplacedWithIt)
{
    std::string src = Src("a.txt", "new");
    std::string dst = Dst("a.txt");
    WriteFileBytes(dst, "old content");
    EXPECT_EQ(Copy(src, dst, plain), 0x1101);
    EXPECT_EQ(ReadFileBytes(dst), "old content");
    EXPECT_EQ(Copy(src, dst, TCopyOptions(plain).Include(coOverwrite)), 0);
    EXPECT_EQ(ReadFileBytes(dst), "new");
    EXPECT_EQ(Listing(sandbox.Path("dst")), std::vector<std::string>{"a.txt"});
}

TEST_F(ExtFileToolsTest, MissingSourceAndEmptyDestinationGiveTheirWords)
{
    EXPECT_EQ(Copy(sandbox.Path("nothing"), Dst("x"), plain), 0x110E);
    std::string src = Src("a", "x");
    EXPECT_EQ(Copy(src, "", plain), 0x1101);
    EXPECT_EQ(Copy(src, sandbox.Path("no/such/folder/x"), plain), 0x1101);
}

TEST_F(ExtFileToolsTest, ProgressRunsOnTheCallerThreadWithPhaseTotals)
{
    std::string data = RandomBytes(BufSize * 2 + 5, 1);
    std::string src = Src("p", data);
    TWinCopyThread thread(src, Dst("p"), nullptr, plain, true, BufSize);
    std::vector<std::pair<TFileAction, int64_t>> calls;
    auto caller = std::this_thread::get_id();
    thread.SetOnProgress([&](TFileAction action, int64_t count, bool) {
        EXPECT_EQ(std::this_thread::get_id(), caller);
        calls.emplace_back(action, count);
    });
    EXPECT_EQ(RunWorker(thread), 0);
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_EQ(calls[0], std::make_pair(acCopy, -static_cast<int64_t>(data.size())));
    EXPECT_EQ(calls[3], std::make_pair(acCopy, static_cast<int64_t>(data.size())));
}

// --- gzip members

TEST_F(ExtFileToolsTest, GzipMembersPassGzipAndGiveBackTheSource)
{
    for (size_t size : {size_t(0), size_t(1), size_t(100000), size_t(300001)}) {
        std::string data = RandomBytes(size, static_cast<uint32_t>(size), size != 300001);
        std::string src = Src("file one.txt", data);
        std::string gz = Dst("file one.txt.gz");
        fs::remove(gz);
        EXPECT_EQ(Copy(src, gz, TCopyOptions(plain).Include(coCompress).Include(coVerify)), 0) << size;
        EXPECT_EQ(Sh("gzip -t " + Quote(gz)).exitCode, 0) << size;
        EXPECT_EQ(Sh("gunzip -c " + Quote(gz)).output, data) << size;
        if (size > 0) {
            EXPECT_GE(lastRatio, 0);
        }
        std::string member = ReadFileBytes(gz);
        EXPECT_EQ(ToHex(member.substr(0, 4)), "1f8b080c");
        EXPECT_EQ(member[9], 0);                                // name in the 8-bit code page
        EXPECT_EQ(ToHex(member.substr(10, 6)), "140001001000"); // XLEN 20, size subfield
        EXPECT_EQ(Le64(member, 24), size);
        EXPECT_EQ(Le64(member, 16), member.size() - 32 - 13 - 8);
    }
}

TEST_F(ExtFileToolsTest, GzipStoresTheNameAndTimeForGunzip)
{
    std::string src = Src("Grüße Ω.txt", "hello");
    ::utimensat(AT_FDCWD, src.c_str(),
                std::array<timespec, 2>{timespec{0, UTIME_OMIT}, timespec{1234567890, 0}}.data(), 0);
    std::string gz = Dst("x.gz");
    ASSERT_EQ(Copy(src, gz, TCopyOptions(plain).Include(coCompress)), 0);
    std::string member = ReadFileBytes(gz);
    EXPECT_EQ(static_cast<uint8_t>(member[9]), 11); // UTF-8 name
    EXPECT_EQ(Le32(member, 4), 1234567890u);
    TGzFileInfo info;
    ASSERT_TRUE(GetGzFileInfo(gz, info));
    EXPECT_EQ(info.Filename, "Grüße Ω.txt");
    EXPECT_EQ(info.USize, 5);
    EXPECT_FALSE(info.Encrypted);
    std::string out = Dst("restored.txt");
    EXPECT_EQ(Gunzip(gz, out), 0);
    EXPECT_EQ(ReadFileBytes(out), "hello");
    struct stat st
    {
    };
    ::stat(out.c_str(), &st);
    EXPECT_EQ(st.st_mtim.tv_sec, 1234567890);
}

TEST_F(ExtFileToolsTest, MembersWrittenByGzipAreRead)
{
    std::string data = RandomBytes(70000, 4);
    std::string src = Src("plain.txt", data);
    std::string named = Dst("named.gz");
    std::string piped = Dst("piped.gz");
    ASSERT_EQ(Sh("gzip -c " + Quote(src) + " > " + Quote(named)).exitCode, 0);
    ASSERT_EQ(Sh("gzip -c < " + Quote(src) + " > " + Quote(piped)).exitCode, 0);
    // a member with a comment, a header CRC and no size subfield
    std::string header =
        std::string("\x1f\x8b\x08\x1a\0\0\0\0\0\x03", 10) + "name.txt" + '\0' + "a comment" + '\0';
    uLong hcrc = crc32(0, reinterpret_cast<const Bytef*>(header.data()), static_cast<uInt>(header.size()));
    header += static_cast<char>(hcrc & 0xFF);
    header += static_cast<char>((hcrc >> 8) & 0xFF);
    uLong crc = crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size()));
    std::string trailer;
    for (uint32_t v : {static_cast<uint32_t>(crc), static_cast<uint32_t>(data.size())})
        for (int i = 0; i < 4; ++i)
            trailer += static_cast<char>((v >> (8 * i)) & 0xFF);
    std::string handmade = Dst("handmade.gz");
    WriteFileBytes(handmade, header + RawDeflate(data) + trailer);
    ASSERT_EQ(Sh("gzip -t " + Quote(handmade)).exitCode, 0);
    for (const std::string& gz : {named, piped, handmade}) {
        std::string out = gz + ".out";
        EXPECT_EQ(Gunzip(gz, out), 0) << gz;
        EXPECT_EQ(ReadFileBytes(out), data) << gz;
    }
    TGzFileInfo info;
    ASSERT_TRUE(GetGzFileInfo(handmade, info));
    EXPECT_EQ(info.Filename, "name.txt");
    EXPECT_EQ(info.USize, 70000);
}

TEST_F(ExtFileToolsTest, EncryptedMembersRoundTripAndNeedTheRightPassword)
{
    std::string data = RandomBytes(50000, 8);
    std::string src = Src("secret.txt", data);
    std::string gze = Dst("secret.txt.gze");
    for (int mode = 1; mode <= 3; ++mode) {
        fs::remove(gze);
        TEncryption enc("password", mode, BufSize);
        ASSERT_EQ(Copy(src, gze, TCopyOptions(plain).Include(coCompress).Include(coVerify), &enc), 0);
        std::string member = ReadFileBytes(gze);
        EXPECT_EQ(static_cast<uint8_t>(member[3]), 0x2C); // FEXTRA, FNAME, encrypted
        EXPECT_EQ(Le32(member, member.size() - 8), 0u);   // no CRC
        TGzFileInfo info;
        ASSERT_TRUE(GetGzFileInfo(gze, info));
        EXPECT_TRUE(info.Encrypted);
        EXPECT_EQ(info.EncMode, mode);
        TEncryption reader("password", 1, BufSize);
        std::string out = Dst("out.txt");
        fs::remove(out);
        EXPECT_EQ(Gunzip(gze, out, &reader), 0);
        EXPECT_EQ(ReadFileBytes(out), data);
    }
    TEncryption wrong("wrong", 1, BufSize);
    std::string out = Dst("wrong.txt");
    EXPECT_EQ(Gunzip(gze, out, &wrong), 0x310B);
    EXPECT_EQ(Gunzip(gze, out, nullptr), 0x310B);
    EXPECT_FALSE(fs::exists(out));
    std::string damaged = ReadFileBytes(gze);
    damaged[damaged.size() / 2] ^= 0x40;
    WriteFileBytes(gze, damaged);
    TEncryption right("password", 1, BufSize);
    EXPECT_EQ(Gunzip(gze, out, &right), 0x310B);
    EXPECT_FALSE(fs::exists(out));
    EXPECT_EQ(Listing(sandbox.Path("dst")), (std::vector<std::string>{"out.txt", "secret.txt.gze"}));
}

// --- encrypted single files

TEST_F(ExtFileToolsTest, EncFilesRoundTripWithHeaderTimeAndAttributes)
{
    for (size_t size : {size_t(0), size_t(17), size_t(BufSize * 2)}) {
        std::string data = RandomBytes(size, 3, false);
        std::string src = Src("doc.pdf", data);
        ::chmod(src.c_str(), 0444);
        ::utimensat(AT_FDCWD, src.c_str(),
                    std::array<timespec, 2>{timespec{0, UTIME_OMIT}, timespec{1400000000, 0}}.data(), 0);
        std::string enc = Dst("doc.pdf.enc");
        fs::remove(enc);
        TEncryption crypt("pw", 3, BufSize);
        ASSERT_EQ(Copy(src, enc, TCopyOptions(plain).Include(coVerify), &crypt), 0);
        ::chmod(src.c_str(), 0644);
        std::string file = ReadFileBytes(enc);
        EXPECT_EQ(file.substr(0, 4), "QZE[");
        EXPECT_EQ(Le32(file, 4), 1400000000u);
        EXPECT_EQ(file.size(), 10 + 18 + size + 10);
        TGzFileInfo info;
        ASSERT_TRUE(GetEncFileInfo(enc, info));
        EXPECT_EQ(info.USize, static_cast<int64_t>(size));
        EXPECT_EQ(info.Attr & 1, 1); // read-only
        std::string out = Dst("restored.pdf");
        if (fs::exists(out)) {
            ::chmod(out.c_str(), 0644);
            fs::remove(out);
        }
        TEncryption reader("pw", 1, BufSize);
        EXPECT_EQ(Decrypt(enc, out, &reader), 0);
        EXPECT_EQ(ReadFileBytes(out), data);
        struct stat st
        {
        };
        ::stat(out.c_str(), &st);
        EXPECT_EQ(st.st_mtim.tv_sec, 1400000000);
        EXPECT_EQ(st.st_mode & 0222, 0u);
    }
}

TEST_F(ExtFileToolsTest, LargeEncFilesAuthenticatedBesideTheEncryptionRoundTripAndDetectDamage)
{
    // from 1 MiB on, with a buffer of several slices, the code is computed on a second thread
    constexpr int LargeBuffer = 1 << 20;
    for (size_t size : {size_t(1) << 20, (size_t(3) << 20) + 5}) {
        std::string data = RandomBytes(size, 11, false);
        std::string src = Src("big.bin", data);
        std::string enc = Dst("big.bin.enc");
        fs::remove(enc);
        TEncryption crypt("pw", 3, LargeBuffer);
        {
            TWinCopyThread thread(src, enc, &crypt, TCopyOptions(plain).Include(coVerify), true, LargeBuffer);
            ASSERT_EQ(RunWorker(thread), 0) << size;
        }
        std::string out = Dst("big.out");
        fs::remove(out);
        TEncryption reader("pw", 1, LargeBuffer);
        {
            TDecryptThread thread(enc, out, &reader, true, LargeBuffer);
            ASSERT_EQ(RunWorker(thread), 0) << size;
        }
        EXPECT_TRUE(ReadFileBytes(out) == data) << size;

        std::string file = ReadFileBytes(enc);
        file[file.size() / 2] ^= 1;
        WriteFileBytes(enc, file);
        fs::remove(out);
        TDecryptThread damaged(enc, out, &reader, true, LargeBuffer);
        EXPECT_EQ(RunWorker(damaged), 0x610B) << size;
        EXPECT_FALSE(fs::exists(out));
    }
}

TEST_F(ExtFileToolsTest, EncFileFailuresLeaveNothingUnderTheFinalName)
{
    std::string data = RandomBytes(10000, 5);
    std::string src = Src("a.txt", data);
    std::string enc = Dst("a.txt.enc");
    TEncryption crypt("right", 1, BufSize);
    ASSERT_EQ(Copy(src, enc, plain, &crypt), 0);
    std::string out = Dst("out.txt");
    TEncryption wrong("wrong", 1, BufSize);
    EXPECT_EQ(Decrypt(enc, out, &wrong), 0x610B);
    EXPECT_FALSE(fs::exists(out));
    std::string file = ReadFileBytes(enc);
    file[5000] ^= 1;
    WriteFileBytes(enc, file);
    EXPECT_EQ(Decrypt(enc, out, &crypt), 0x610B);
    EXPECT_FALSE(fs::exists(out));
    EXPECT_EQ(Listing(sandbox.Path("dst")), std::vector<std::string>{"a.txt.enc"});
}

TEST_F(ExtFileToolsTest, ShortHeaderAndBareFramingAreDecrypted)
{
    std::string data = "bare framing content";
    TEncryption crypt("pw", 2, BufSize);
    TMemoryStream plainStream(data);
    TMemoryStream framed;
    ASSERT_EQ(crypt.EncryptStreamEx(plainStream, framed, false), orOk);
    std::string shortForm = Dst("short.enc");
    WriteFileBytes(shortForm, std::string("QZE\x52", 4) + framed.DataString());
    std::string bare = Dst("bare.enc");
    WriteFileBytes(bare, framed.DataString());
    for (const std::string& file : {shortForm, bare}) {
        TEncryption reader("pw", 2, BufSize);
        std::string out = file + ".out";
        EXPECT_EQ(Decrypt(file, out, &reader), 0) << file;
        EXPECT_EQ(ReadFileBytes(out), data);
    }
    std::string copy = Dst("copied");
    EXPECT_EQ(Decrypt(bare, copy, nullptr), 0);
    EXPECT_EQ(ReadFileBytes(copy), framed.DataString());
}

// --- bad input

TEST_F(ExtFileToolsTest, DamagedInputGivesErrorWordsAndNoOutput)
{
    std::string data = RandomBytes(30000, 9, false);
    std::string src = Src("s.bin", data);
    std::string gz = Dst("s.gz");
    ASSERT_EQ(Copy(src, gz, TCopyOptions(plain).Include(coCompress)), 0);
    std::string member = ReadFileBytes(gz);
    std::string gze = Dst("s.gze");
    TEncryption crypt("pw", 1, BufSize);
    ASSERT_EQ(Copy(src, gze, TCopyOptions(plain).Include(coCompress), &crypt), 0);
    std::string encrypted = ReadFileBytes(gze);
    std::string enc = Dst("s.enc");
    ASSERT_EQ(Copy(src, enc, plain, &crypt), 0);
    std::string encFile = ReadFileBytes(enc);

    std::string hostileXlen = member.substr(0, 10) + "\xff\xff" + std::string(8, 'x');
    std::string endlessName = std::string("\x1f\x8b\x08\x08\0\0\0\0\0\0", 10) + std::string(100000, 'n');
    std::string badCrc = member;
    badCrc[badCrc.size() - 6] ^= 1;
    std::string corruptBody = member;
    for (size_t i = 60; i < 200; ++i)
        corruptBody[i] = static_cast<char>(0xFF);

    struct Case
    {
        const char* what;
        std::string bytes;
        int kind; // 0 gunzip, 1 gunzip with password, 2 decrypt
        std::vector<int> words;
    };
    std::vector<Case> cases = {
        {"empty gz", "", 0, {0x3004}},
        {"garbage gz", "this is not a gzip file", 0, {0x3008}},
        {"header only", member.substr(0, 45), 0, {0x3104}},
        {"truncated body", member.substr(0, member.size() / 2), 0, {0x3104, 0x3109}},
        {"no trailer", member.substr(0, member.size() - 8), 0, {0x3104, 0x3109}},
        {"hostile extra length", hostileXlen, 0, {0x3004}},
        {"name without end", endlessName, 0, {0x3004}},
        {"wrong crc", badCrc, 0, {0x3109}},
        {"corrupt body", corruptBody, 0, {0x3104, 0x3109}},
        {"truncated gze", encrypted.substr(0, encrypted.size() / 2), 1, {0x310B}},
        {"gze header only", encrypted.substr(0, 50), 1, {0x310B}},
        {"empty enc", "", 2, {0x6004}},
        {"tiny enc", "QZE", 2, {0x6004}},
        {"truncated enc", encFile.substr(0, encFile.size() - 11), 2, {0x610B}},
        {"enc header only", encFile.substr(0, 12), 2, {0x610B}},
        {"garbage enc", RandomBytes(5000, 2, false), 2, {0x610B}},
    };
    for (const Case& c : cases) {
        std::string in = Dst("bad.in");
        WriteFileBytes(in, c.bytes);
        std::string out = Dst("bad.out");
        TEncryption reader("pw", 1, BufSize);
        int word = c.kind == 0   ? Gunzip(in, out)
                   : c.kind == 1 ? Gunzip(in, out, &reader)
                                 : Decrypt(in, out, &reader);
        EXPECT_NE(std::find(c.words.begin(), c.words.end(), word), c.words.end())
            << c.what << ": " << std::hex << word;
        EXPECT_FALSE(fs::exists(out)) << c.what;
    }
    EXPECT_EQ(Listing(sandbox.Path("dst")), (std::vector<std::string>{"bad.in", "s.enc", "s.gz", "s.gze"}));
}

// --- single-file zips

TEST_F(ExtFileToolsTest, SingleFileZipsPassUnzipAnd7z)
{
    VASTREL_REQUIRE_TOOL("7z");
    for (size_t size : {size_t(0), size_t(10), size_t(100000)}) {
        std::string data = RandomBytes(size, static_cast<uint32_t>(size));
        std::string src = Src("Müller.txt", data);
        std::string zip = Dst("plain.zip");
        fs::remove(zip);
        ASSERT_EQ(
            Copy(src, zip, TCopyOptions(plain).Include(coZipCompress).Include(coCompress).Include(coVerify)),
            0);
        EXPECT_EQ(Sh("unzip -t " + Quote(zip)).exitCode, 0) << size;
        EXPECT_EQ(Sh("7z t " + Quote(zip)).exitCode, 0) << size;
        EXPECT_EQ(Sh("unzip -p " + Quote(zip)).output, data);
        TGzFileInfo info;
        EXPECT_EQ(GetZipFileInfo(zip, info), 0);
        EXPECT_EQ(info.Filename, "Müller.txt");
        EXPECT_TRUE(IsSingleFileZip(zip.substr(0, zip.size() - 4)));
        std::string file = ReadFileBytes(zip);
        EXPECT_EQ(file[8], size ? 8 : 0) << "method";
        EXPECT_EQ(Compare(zip, src, nullptr, false, true), 0);

        for (int mode = 1; mode <= 3; ++mode) {
            std::string aes = Dst("aes.zip");
            fs::remove(aes);
            TEncryption crypt("zip password", mode, BufSize);
            ASSERT_EQ(Copy(src, aes, TCopyOptions(plain).Include(coZipCompress).Include(coVerify), &crypt),
                      0);
            EXPECT_EQ(Sh("7z t -pzip\\ password " + Quote(aes)).exitCode, 0) << size << " " << mode;
            EXPECT_EQ(Sh("7z x -so -pzip\\ password " + Quote(aes)).output, data);
            std::string aesFile = ReadFileBytes(aes);
            EXPECT_EQ(static_cast<uint8_t>(aesFile[8]), 99);
            EXPECT_EQ(Le32(aesFile, 14) == 0, size < 20) << "AE-2 has no CRC";
            EXPECT_EQ(Compare(aes, src, &crypt, false, true), 0);
        }
    }
}

TEST_F(ExtFileToolsTest, StoredEntriesOfOtherToolsAreExtractedAndChecked)
{
    std::string data = RandomBytes(5000, 12);
    std::string src = Src("x.txt", data);
    std::string zip = Dst("other.zip");
    ASSERT_EQ(Sh("cd " + Quote(sandbox.Path("src")) + " && zip -q -0 " + Quote(zip) + " x.txt").exitCode, 0);
    EXPECT_EQ(Compare(zip, src, nullptr, false, true), 0);
    std::string other = Src("y.txt", data + "!");
    EXPECT_EQ(Compare(zip, other, nullptr, false, true), 0x4115);
}

// --- comparisons

TEST_F(ExtFileToolsTest, CompareReportsEveryOutcome)
{
    std::string a = Src("a", "same content");
    std::string b = Src("b", "same content");
    std::string c = Src("c", "diff content");
    std::string d = Src("d", "longer content");
    std::string e1 = Src("e1", "");
    std::string e2 = Src("e2", "");
    EXPECT_EQ(Compare(b, a, nullptr, false, false), 0);
    EXPECT_EQ(Compare(e2, e1, nullptr, false, false), 0);
    EXPECT_EQ(Compare(c, a, nullptr, false, false), 0x11E);
    EXPECT_EQ(Compare(d, a, nullptr, false, false), 0x115);
    EXPECT_EQ(Compare(sandbox.Path("none"), a, nullptr, false, false), 0x30E);
    EXPECT_EQ(Compare(sandbox.Path("none"), sandbox.Path("none2"), nullptr, false, false), 0x10E);

    std::string gz = Dst("a.gz");
    ASSERT_EQ(Copy(a, gz, TCopyOptions(plain).Include(coCompress)), 0);
    EXPECT_EQ(Compare(gz, a, nullptr, true, false), 0);
    EXPECT_EQ(Compare(gz, c, nullptr, true, false), 0x311E);
    TEncryption crypt("pw", 1, BufSize);
    std::string gze = Dst("a.gze");
    ASSERT_EQ(Copy(a, gze, TCopyOptions(plain).Include(coCompress), &crypt), 0);
    EXPECT_EQ(Compare(gze, a, &crypt, true, false), 0);
    EXPECT_NE(Compare(gze, a, nullptr, true, false), 0);
    std::string enc = Dst("a.enc");
    ASSERT_EQ(Copy(a, enc, plain, &crypt), 0);
    EXPECT_EQ(Compare(enc, a, &crypt, false, false), 0);
    TEncryption wrong("nope", 1, BufSize);
    EXPECT_EQ(Compare(enc, a, &wrong, false, false), 0x610B);
}

// --- names and probes

TEST(ExtFileToolsNamesTest, CodePageTablesFollowTheRules)
{
    EXPECT_TRUE(IsOemName("Müller.txt"));
    EXPECT_FALSE(IsOemName("5€.txt"));
    EXPECT_FALSE(IsOemName("Ω.txt"));
    EXPECT_TRUE(IsAnsiName("Grüße"));
    EXPECT_FALSE(IsAnsiName("Ω"));
    EXPECT_EQ(OemToAnsiName("\xb3"), "\xa6");
    EXPECT_EQ(OemToAnsiName("\x15\x14"), "\xa7\xb6");
    EXPECT_EQ(AnsiToOemName("\xfc"), "\x81");
    EXPECT_EQ(AnsiToOemName("\x80"), " ");
    EXPECT_EQ(AnsiToUtf8(OemToAnsiName(AnsiToOemName(Utf8ToAnsi("Müller")))), "Müller");
    EXPECT_TRUE(IsGzFile("a.GZ"));
    EXPECT_TRUE(IsGzeFile("a.gze"));
    EXPECT_TRUE(IsEncFile("x/y.Enc"));
    EXPECT_TRUE(IsZipFile("b.zip"));
    EXPECT_FALSE(IsZipFile(".zip"));
}

TEST_F(ExtFileToolsTest, ProbesOfFilesWithoutATimeGiveTheLocalTimeOfTheClock)
{
    ScopedFakeClock clock(EncodeDateTime(2021, 6, 1, 12, 0, 0, 0));
    clock->SetLocal(EncodeDateTime(2021, 6, 1, 14, 30, 0, 0));
    const uint32_t localNow = static_cast<uint32_t>(DateTimeToUnix(EncodeDateTime(2021, 6, 1, 14, 30, 0, 0)));
    TGzFileInfo info;
    const std::string empty = Dst("empty.zip");
    WriteFileBytes(empty, std::string("PK\x05\x06", 4) + std::string(18, '\0'));
    EXPECT_EQ(GetZipFileInfo(empty, info), 2);
    EXPECT_EQ(info.UnixTime, localNow);
    info = TGzFileInfo{};
    const std::string notGzip = Dst("not.gz");
    WriteFileBytes(notGzip, "not a gzip member");
    EXPECT_FALSE(GetGzFileInfo(notGzip, info));
    EXPECT_EQ(info.UnixTime, localNow);
}

TEST(ExtFileToolsNamesTest, SegmentNamesHaveAtLeastTwoDigits)
{
    EXPECT_EQ(GetZipSegmentName("/b/x.zip", 0), "/b/x.z01");
    EXPECT_EQ(GetZipSegmentName("/b/x.zip", 99), "/b/x.z100");
}

TEST_F(ExtFileToolsTest, ZipProbesCountSegmentsAndEntries)
{
    std::string src = Src("a.txt", "abc");
    std::string zip = Dst("one.zip");
    ASSERT_EQ(Copy(src, zip, TCopyOptions(plain).Include(coZipCompress)), 0);
    EXPECT_EQ(GetZipSegmentCount(zip), 0);
    EXPECT_EQ(GetZipArchiveSize(zip), static_cast<int64_t>(fs::file_size(zip)));
    std::string empty = Dst("empty.zip");
    WriteFileBytes(empty, std::string("PK\x05\x06", 4) + std::string(18, '\0'));
    TGzFileInfo info;
    EXPECT_EQ(GetZipFileInfo(empty, info), 2);
    std::string commented = Dst("commented.zip");
    ASSERT_EQ(Sh("cd " + Quote(sandbox.Path("src")) + " && zip -q " + Quote(commented) +
                 " a.txt && echo hi | zip -q -z " + Quote(commented))
                  .exitCode,
              0);
    EXPECT_EQ(GetZipSegmentCount(commented), 0);
    EXPECT_EQ(GetZipFileInfo(Dst("missing.zip"), info), 2);
    int keyMode = 0;
    EXPECT_FALSE(GetZipEncryption(zip, keyMode));
    TEncryption crypt("pw", 2, BufSize);
    std::string aes = Dst("aes.zip");
    ASSERT_EQ(Copy(src, aes, TCopyOptions(plain).Include(coZipCompress), &crypt), 0);
    EXPECT_TRUE(GetZipEncryption(aes, keyMode));
    EXPECT_EQ(keyMode, 2);
    std::string renamed = Dst("renamed.zip");
    EXPECT_EQ(RenameZipArchive(aes, renamed, 0), 0u);
    EXPECT_EQ(CopyZipArchive(renamed, aes), 0u);
    EXPECT_EQ(DeleteZipArchive(renamed, -1), 0u);
    EXPECT_FALSE(fs::exists(renamed));
    EXPECT_EQ(CopyZipArchive(renamed, aes), 2u);
}

// --- pause, cancel and time-out

namespace {

// A source whose reads wait for a gate; counts the reads.
struct Gate
{
    TEvent open{true, false};
    std::atomic<int> reads{0};
};

class GatedStream : public TStream
{
public:
    explicit GatedStream(std::shared_ptr<Gate> gate) : FGate(std::move(gate)) {}
    int64_t Read(void* buffer, int64_t count) override
    {
        ++FGate->reads;
        FGate->open.WaitFor(INFINITE);
        std::memset(buffer, 'x', static_cast<size_t>(count));
        return count;
    }
    int64_t Write(const void*, int64_t) override { return -1; }
    int64_t Seek(int64_t, TSeekOrigin) override { return 0; }

private:
    std::shared_ptr<Gate> FGate;
};

class GatedWorker : public TCopyThread
{
public:
    GatedWorker(std::shared_ptr<Gate> gate, int64_t length, TEncryption* enc, std::atomic<bool>* destroyed)
        : TCopyThread("gate", "", true, 16), FLength(length), FDestroyed(destroyed)
    {
        sSource = std::make_unique<GatedStream>(std::move(gate));
        AttachEncryption(enc);
    }
    ~GatedWorker() override
    {
        if (FDestroyed)
            *FDestroyed = true;
    }

    // The kernel's id of the worker's thread, once it runs.
    pid_t ThreadId() const { return FThreadId; }

protected:
    void Execute() override
    {
        FThreadId = CurrentThreadId();
        RunTransform([this] { return CopyStreamData(sSource.get(), nullptr, false, FLength); });
    }

private:
    std::atomic<pid_t> FThreadId{0};
    int64_t FLength;
    std::atomic<bool>* FDestroyed;
};

class WatchedEncryption : public TEncryption
{
public:
    WatchedEncryption(std::atomic<bool>* destroyed) : TEncryption("pw", 1, 16), FDestroyed(destroyed) {}
    ~WatchedEncryption() override { *FDestroyed = true; }

private:
    std::atomic<bool>* FDestroyed;
};

// Serves Synchronize calls until cond holds (at most ten seconds).
template <typename Cond> bool ServeUntil(Cond cond)
{
    return WaitFor([&] {
        TThread::CheckSynchronize(1);
        return cond();
    });
}

} // namespace

TEST(CopyThreadControlTest, WorkerPausedBeforeItsFirstBufferWaitsForResume)
{
    auto gate = std::make_shared<Gate>();
    gate->open.SetEvent();
    GatedWorker worker(gate, 48, nullptr, nullptr);
    worker.SetPaused(true);
    worker.Start();
    // the worker gets to its first pause check and waits there
    ASSERT_TRUE(WaitFor([&] { return ThreadIsBlocked(worker.ThreadId()); }));
    EXPECT_EQ(gate->reads.load(), 0);
    EXPECT_FALSE(worker.Done());
    worker.SetPaused(false);
    EXPECT_TRUE(WaitForCopyThread(worker, 0));
    EXPECT_EQ(worker.ErrorCode(), 0);
    EXPECT_EQ(gate->reads.load(), 3);
}

TEST(CopyThreadControlTest, CancelledWorkerStaysPausedUntilResumedThenEndsWith128)
{
    auto gate = std::make_shared<Gate>();
    gate->open.SetEvent();
    GatedWorker worker(gate, int64_t(1) << 40, nullptr, nullptr);
    worker.Start();
    ASSERT_TRUE(ServeUntil([&] { return gate->reads.load() > 0; }));
    worker.SetPaused(true);
    worker.CancelThread();
    // the worker finishes the buffer in hand, gets to its pause check and waits there
    ASSERT_TRUE(WaitFor([&] { return ThreadIsBlocked(worker.ThreadId()); }));
    EXPECT_FALSE(worker.Done());
    worker.SetPaused(false);
    EXPECT_TRUE(WaitForCopyThread(worker, 0));
    EXPECT_EQ(worker.ErrorCode(), 0x1080);
}

TEST(CopyThreadControlTest, WorkerPastItsTimeOutIsAbandonedAndFreesWhatItHolds)
{
    auto gate = std::make_shared<Gate>();
    std::atomic<bool> workerGone{false};
    std::atomic<bool> encryptionGone{false};
    auto* enc = new WatchedEncryption(&encryptionGone);
    auto* worker = new GatedWorker(gate, 1000, enc, &workerGone);
    worker->Start();
    EXPECT_FALSE(WaitForCopyThread(*worker, 1));
    worker->AbandonWorker(enc); // the caller makes a new encryption object for the next file
    EXPECT_FALSE(workerGone.load());
    gate->open.SetEvent(); // the blocked read returns at last
    EXPECT_TRUE(ServeUntil([&] { return workerGone.load() && encryptionGone.load(); }));
}

TEST(CopyThreadControlTest, StreamCopyThreadCopiesAGivenLength)
{
    TMemoryStream source(RandomBytes(10000, 1));
    source.SetPosition(100);
    TMemoryStream dest;
    TCopyStreamThread thread(source, dest, 5000, true, false, 512);
    int64_t last = 0;
    thread.OnProgress = [&](TFileAction, int64_t count, bool) { last = count; };
    thread.Start();
    EXPECT_TRUE(ServeUntil([&] { return thread.Done(); }));
    thread.WaitFor();
    EXPECT_EQ(thread.ErrorCode(), 0);
    EXPECT_EQ(dest.DataString(), source.DataString().substr(100, 5000));
    EXPECT_EQ(last, 5000);
}

TEST(ExtFileToolsNamesTest, SystemErrorTextNamesTheCodeAndItsText)
{
    EXPECT_EQ(SystemErrorTextOf(5), "System error: Access is denied. (0x00000005)");
    EXPECT_EQ(SystemErrorTextOf(0x00070005), "System error: Access is denied. (0x00070005)");
}

TEST_F(ExtFileToolsTest, CancelledCopiesLeaveNothingUnderTheFinalName)
{
    std::string src = Src("big", RandomBytes(BufSize * 10, 2));
    for (TCopyOptions options :
         {plain, TCopyOptions(plain).Include(coCompress), TCopyOptions(plain).Include(coZipCompress)}) {
        std::string dst = Dst("big.out");
        TWinCopyThread thread(src, dst, nullptr, options, true, BufSize);
        thread.SetOnProgress([&](TFileAction, int64_t count, bool) {
            if (count > 0)
                thread.CancelThread();
        });
        EXPECT_EQ(RunWorker(thread) & 0xFF, 128);
        EXPECT_TRUE(Listing(sandbox.Path("dst")).empty());
    }
}

namespace {

// Exposes the stream steps of the framework.
class StepWorker : public TCopyThread
{
public:
    StepWorker() : TCopyThread("", "", true, 16) {}
    using TCopyThread::CompareStreams;
    using TCopyThread::CopyStreamData;
    using TCopyThread::OpenForVerify;
    const std::string& Message() const { return FSysErrMsg; }
    int64_t Total() const { return UTotal; }
};

} // namespace

TEST(CopyThreadStepsTest, CopyOfLengthZeroReportsOnceAndSucceeds)
{
    StepWorker worker;
    std::vector<int64_t> counts;
    worker.SetOnProgress([&](TFileAction, int64_t count, bool) { counts.push_back(count); });
    TMemoryStream source;
    TMemoryStream dest;
    EXPECT_EQ(worker.CopyStreamData(&source, &dest, true, 0), 0);
    EXPECT_EQ(counts, std::vector<int64_t>{0});
    EXPECT_EQ(worker.Total(), 0);
}

TEST(CopyThreadStepsTest, CompareOfEmptyAndOfUnequalStreams)
{
    StepWorker worker;
    TMemoryStream a, b;
    EXPECT_EQ(worker.CompareStreams(&a, &b, false), 0);
    TMemoryStream longer(std::string("abc"));
    EXPECT_EQ(worker.CompareStreams(&a, &longer, false), 0x115);
}

TEST_F(ExtFileToolsTest, OpenForVerifyRetriesAndNamesTheWaitedTime)
{
    StepWorker worker;
    worker.SetVerifyDelay(1);
    EXPECT_EQ(worker.OpenForVerify(sandbox.Path("never")), 0x116);
    EXPECT_NE(worker.Message().find("(1000ms)"), std::string::npos) << worker.Message();
}

TEST_F(ExtFileToolsTest, EmptySourceGivesAnEmptyMemberThatRestoresAnEmptyFile)
{
    std::string src = Src("empty", "");
    std::string gz = Dst("empty.gz");
    ASSERT_EQ(Copy(src, gz, TCopyOptions(plain).Include(coCompress)), 0);
    std::string member = ReadFileBytes(gz);
    EXPECT_EQ(ToHex(member.substr(member.size() - 10)), "03000000000000000000");
    std::string out = Dst("empty.out");
    EXPECT_EQ(Gunzip(gz, out), 0);
    EXPECT_TRUE(fs::exists(out));
    EXPECT_EQ(fs::file_size(out), 0u);
}

// --- names of single-file zips

TEST_F(ExtFileToolsTest, SingleFileZipNamesAreAsciiFlaggedUtf8OrRawBytes)
{
    struct TCase
    {
        std::string Name;
        uint16_t Utf8Flag;
        uint8_t Host;
    } cases[] = {{"plain.txt", 0, 0},
                 {"M\xC3\xBCller.txt", 0x800, 3}, // has a DOS code page form
                 {"\xCE\xA9mega.txt", 0x800, 3},
                 {"caf\xE9.txt", 0, 3}}; // Latin-1: not UTF-8
    for (const auto& c : cases) {
        for (bool encrypted : {false, true}) {
            SCOPED_TRACE(ToHex(c.Name) + (encrypted ? " encrypted" : ""));
            std::string src = Src(c.Name, "data of " + c.Name);
            ::chmod(src.c_str(), 0640);
            std::string zip = Dst("single.zip");
            fs::remove(zip);
            TEncryption crypt("pw", 1, BufSize);
            ASSERT_EQ(Copy(src, zip, TCopyOptions(plain).Include(coZipCompress).Include(coCompress),
                           encrypted ? &crypt : nullptr),
                      0);
            std::string b = ReadFileBytes(zip);
            auto le16 = [&](size_t at) {
                return static_cast<uint16_t>(static_cast<uint8_t>(b[at]) |
                                             (static_cast<uint8_t>(b[at + 1]) << 8));
            };
            EXPECT_EQ(le16(6) & 0x800, c.Utf8Flag);
            EXPECT_EQ(b.substr(30, le16(26)), c.Name);
            size_t central = Le32(b, b.size() - 6);
            EXPECT_EQ(static_cast<uint8_t>(b[central + 5]), c.Host);
            EXPECT_EQ(le16(central + 8) & 0x800, c.Utf8Flag);
            EXPECT_EQ(b.substr(central + 46, le16(central + 28)), c.Name);
            if (c.Host == 3) {
                EXPECT_EQ(Le32(b, central + 38) >> 16, static_cast<uint32_t>(S_IFREG | 0640));
            }
            TGzFileInfo info;
            EXPECT_EQ(GetZipFileInfo(zip, info), 0);
            EXPECT_EQ(info.Filename, c.Name);
            EXPECT_EQ(Compare(zip, src, encrypted ? &crypt : nullptr, false, true), 0);
            if (encrypted) {
                EXPECT_EQ(Sh("7z t -ppw " + Quote(zip)).exitCode, 0);
                continue;
            }
            auto ru = Sh("unzip -t " + Quote(zip), true);
            EXPECT_EQ(ru.exitCode, 0) << ru.output;
            auto r7 = Sh("7z t " + Quote(zip), true);
            EXPECT_EQ(r7.exitCode, 0) << r7.output;
            auto rp = Sh("/usr/bin/python3 -c 'import sys,zipfile; z=zipfile.ZipFile(sys.argv[1]); "
                         "sys.exit(1 if z.testzip() else 0)' " +
                             Quote(zip),
                         true);
            EXPECT_EQ(rp.exitCode, 0) << rp.output;
        }
    }
}

// --- what a copy keeps: holes, permission bits, the whole source

TEST_F(ExtFileToolsTest, PlainCopiesKeepTheHolesOfSparseFiles)
{
    constexpr int64_t MiB = 1 << 20;
    struct TLayout
    {
        std::string Label;
        int64_t Size;
        std::vector<int64_t> DataAt; // 4 KiB each
    } layouts[] = {{"data inside, a hole at the end", 64 * MiB, {16 * MiB}},
                   {"data at both ends", 64 * MiB, {0, 64 * MiB - 4096}},
                   {"nothing but a hole", 64 * MiB, {}}};
    for (const auto& layout : layouts) {
        std::string src = sandbox.Path("src/sparse.img");
        fs::create_directories(sandbox.Path("src"));
        int fd = ::open(src.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::ftruncate(fd, layout.Size), 0);
        for (int64_t at : layout.DataAt) {
            std::string block = RandomBytes(4096, static_cast<uint32_t>(at / 4096), false);
            ASSERT_EQ(::pwrite(fd, block.data(), block.size(), at), 4096);
        }
        ::close(fd);
        struct stat st
        {
        };
        ::stat(src.c_str(), &st);
        if (st.st_blocks * 512 >= layout.Size)
            GTEST_SKIP() << "the file system of the sandbox has no holes";
        for (bool verify : {false, true}) {
            SCOPED_TRACE(layout.Label + (verify ? " (verified)" : ""));
            std::string dst = Dst("sparse.img");
            fs::remove(dst);
            ASSERT_EQ(Copy(src, dst, verify ? TCopyOptions(plain).Include(coVerify) : plain), 0);
            ASSERT_EQ(::stat(dst.c_str(), &st), 0);
            EXPECT_EQ(st.st_size, layout.Size);
            EXPECT_LE(st.st_blocks * 512, MiB) << "allocated bytes of the copy";
            auto cmp = Sh("cmp " + Quote(src) + " " + Quote(dst), true);
            EXPECT_EQ(cmp.exitCode, 0) << cmp.output;
            EXPECT_EQ(Compare(dst, src, nullptr, false, false), 0);
        }
    }
}

TEST_F(ExtFileToolsTest, CopiesGetTheSourcesPermissionBitsAndAreNeverMoreOpenWhileWritten)
{
    TEncryption crypt("pw", 1, BufSize);
    struct TForm
    {
        std::string Label;
        TCopyOptions Options;
        bool Encrypted;
    } forms[] = {{"plain", {}, false},
                 {"gz", {coCompress}, false},
                 {"gze", {coCompress}, true},
                 {"enc", {}, true},
                 {"zip", {coZipCompress, coCompress}, false}};
    struct TMode
    {
        mode_t Source;
        mode_t WithAttributes;
        mode_t WithoutAttributes; // the read-only state is not copied
    } modes[] = {{0600, 0600, 0600},  {0640, 0640, 0640}, {0755, 0755, 0755},
                 {04750, 0750, 0750}, {0444, 0444, 0644}, {0400, 0400, 0600}};
    std::string data = RandomBytes(BufSize * 3, 9);
    for (const auto& form : forms) {
        for (const auto& mode : modes) {
            for (bool attributes : {true, false}) {
                SCOPED_TRACE(form.Label + " " + std::to_string(mode.Source) +
                             (attributes ? " with attributes" : " without attributes"));
                std::string src = Src("m.bin", data);
                ASSERT_EQ(::chmod(src.c_str(), mode.Source), 0);
                std::string dst = Dst("m.out");
                fs::remove(dst);
                TCopyOptions options = form.Options;
                options.Include(coTimeStamp);
                if (attributes)
                    options.Include(coAttributes);
                TWinCopyThread thread(src, dst, form.Encrypted ? &crypt : nullptr, options, true, BufSize);
                thread.SetTempDir(sandbox.Path());
                int partsSeen = 0;
                thread.SetOnProgress([&](TFileAction, int64_t, bool) {
                    for (const auto& name : Listing(sandbox.Path("dst"))) {
                        struct stat st
                        {
                        };
                        if (name.size() > 5 && name.substr(name.size() - 5) == ".part" &&
                            ::stat(sandbox.Path("dst/" + name).c_str(), &st) == 0) {
                            ++partsSeen;
                            EXPECT_EQ(st.st_mode & 0777 & ~0600u, 0u)
                                << "partial copy " << std::oct << (st.st_mode & 0777);
                        }
                    }
                });
                ASSERT_EQ(RunWorker(thread), 0);
                EXPECT_GT(partsSeen, 0);
                struct stat st
                {
                };
                ASSERT_EQ(::stat(dst.c_str(), &st), 0);
                EXPECT_EQ(st.st_mode & 07777, attributes ? mode.WithAttributes : mode.WithoutAttributes)
                    << std::oct << (st.st_mode & 07777);
            }
        }
    }
}

namespace {

// A copy thread of the backup that takes the source data its caller hands in.
int CopyWithData(const std::string& src, const std::string& dst, TCopyOptions options, TEncryption* enc,
                 int64_t handedSize, std::string* message = nullptr)
{
    TWinCopyThread thread(src, dst, enc, options, true, BufSize);
    TFileData data;
    GetFileData(src, data);
    data.FileSize = handedSize;
    thread.SetSourceData(data);
    thread.Start();
    EXPECT_TRUE(WaitForCopyThread(thread, 0));
    if (message)
        *message = thread.SysErrorMsg();
    return thread.ErrorCode();
}

} // namespace

TEST_F(ExtFileToolsTest, TheWholeSourceIsCopiedWhateverSizeWasHandedIn)
{
    std::string data = RandomBytes(BufSize * 3 + 100, 5);
    std::string file = Src("file.bin", data);
    std::string link = sandbox.Path("src/link.bin");
    fs::create_symlink(file, link);
    TEncryption crypt("pw", 1, BufSize);
    struct TForm
    {
        std::string Label;
        TCopyOptions Options;
        bool Encrypted;
        bool Gz, Zip;
    } forms[] = {{"plain", plain, false, false, false},
                 {"plain, verified", TCopyOptions(plain).Include(coVerify), false, false, false},
                 {"gz", TCopyOptions(plain).Include(coCompress), false, true, false},
                 {"gze", TCopyOptions(plain).Include(coCompress), true, true, false},
                 {"enc", plain, true, false, false},
                 {"zip", TCopyOptions(plain).Include(coZipCompress).Include(coCompress), false, false, true}};
    struct TSource
    {
        std::string Label;
        std::string Path;
        int64_t HandedSize;
    } sources[] = {{"a file that grew", file, 7},
                   {"a link with the link's own size", link, static_cast<int64_t>(file.size())},
                   {"a file said to be empty", file, 0}};
    for (const auto& form : forms) {
        for (const auto& source : sources) {
            SCOPED_TRACE(form.Label + ": " + source.Label);
            std::string dst = Dst("copy.out");
            fs::remove(dst);
            TEncryption* enc = form.Encrypted ? &crypt : nullptr;
            ASSERT_EQ(CopyWithData(source.Path, dst, form.Options, enc, source.HandedSize), 0);
            EXPECT_EQ(Compare(dst, file, enc, form.Gz, form.Zip), 0);
            if (form.Label == "plain") {
                EXPECT_TRUE(ReadFileBytes(dst) == data);
            }
        }
    }
}

// --- sources that are no regular files

TEST_F(ExtFileToolsTest, FifosSocketsAndDevicesAreNeverOpenedAsSources)
{
    fs::create_directories(sandbox.Path("src"));
    std::string fifo = sandbox.Path("src/fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::string socketName = sandbox.Path("src/socket");
    int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    ASSERT_LT(socketName.size(), sizeof address.sun_path);
    std::memcpy(address.sun_path, socketName.c_str(), socketName.size() + 1);
    ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    TEncryption crypt("pw", 1, BufSize);
    struct TForm
    {
        std::string Label;
        TCopyOptions Options;
        bool Encrypted;
        int Operation;
    } forms[] = {{"plain", plain, false, 0x1000},
                 {"gz", TCopyOptions(plain).Include(coCompress), false, 0x2000},
                 {"enc", plain, true, 0x5000},
                 {"zip", TCopyOptions(plain).Include(coZipCompress), false, 0x4000}};
    for (const std::string& source : {fifo, socketName, std::string("/dev/null")}) {
        for (const auto& form : forms) {
            SCOPED_TRACE(source + " as " + form.Label);
            std::string dst = Dst("out");
            TWinCopyThread thread(source, dst, form.Encrypted ? &crypt : nullptr, form.Options, true,
                                  BufSize);
            thread.Start();
            bool ended = WaitForCopyThread(thread, 10);
            if (!ended) {
                // a worker that waits in opening the FIFO: a writer that comes and goes lets it end
                ::close(::open(fifo.c_str(), O_WRONLY | O_NONBLOCK));
                WaitForCopyThread(thread, 0);
            }
            EXPECT_TRUE(ended) << "the copy waited for a writer";
            EXPECT_EQ(thread.ErrorCode(), form.Operation | 0x102);
            EXPECT_NE(thread.SysErrorMsg().find("not a regular file"), std::string::npos)
                << thread.SysErrorMsg();
            EXPECT_TRUE(Listing(sandbox.Path("dst")).empty());
        }
    }
    ::close(sock);
}
