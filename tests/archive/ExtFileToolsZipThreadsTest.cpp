#include "archive/ExtFileToolsZipThreads.h"

#include <filesystem>

#include <gtest/gtest.h>

#include "archive/ExtFileToolsZipRead.h"
#include "archive/ExtFileToolsZipWrite.h"
#include "archive/ZipTestUtil.h"
#include "support/Sandbox.h"
#include "support/StreamDoubles.h"

using namespace ZipTest;
using namespace ZipUtil;
namespace fs = std::filesystem;

namespace {

void WaitDone(TZipWorker& w)
{
    while (!w.Done())
        w.ServeProgress(10);
}

class ZipThreadsTest : public SandboxTest
{
protected:
    // Writes one entry into a memory archive and returns its data.
    std::string EntryData(const std::string& data, std::unique_ptr<TZipCipher> cipher, bool compress,
                          uint32_t& crc)
    {
        TMemoryStream out;
        TZipWriteThread w(std::make_unique<TMemoryStream>(data), std::move(cipher), &out, compress, 4096,
                          nullptr);
        w.Start();
        WaitDone(w);
        EXPECT_EQ(w.ErrorCode(), 0);
        crc = w.Crc();
        return out.DataString();
    }
};

TEST_F(ZipThreadsTest, VerifyThreadFindsAChangedEncryptedByteAndAWrongCrc)
{
    std::string data = TextData(50000);
    uint32_t crc = 0;
    std::string stored = EntryData(data, nullptr, false, crc);
    {
        TMemoryStream z(stored);
        TZipVerifyThread ok(nullptr, crc, z, static_cast<int64_t>(stored.size()), 50000, false, 4096,
                            nullptr);
        ok.Start();
        WaitDone(ok);
        EXPECT_EQ(ok.ErrorCode(), 0);
    }
    {
        TMemoryStream z(stored);
        TZipVerifyThread bad(nullptr, crc ^ 1, z, static_cast<int64_t>(stored.size()), 50000, false, 4096,
                             nullptr);
        bad.Start();
        WaitDone(bad);
        EXPECT_EQ(bad.ErrorCode(), 0x410C);
    }
    auto cipher = CreateZipCipher("pw", 3, 4096);
    if (!cipher)
        GTEST_SKIP() << "AES framing not available in this build";
    std::string enc = EntryData(data, std::move(cipher), true, crc);
    enc.back() = static_cast<char>(enc.back() ^ 1);
    TMemoryStream z(enc);
    TZipVerifyThread v(CreateZipCipher("pw", 3, 4096), crc, z, static_cast<int64_t>(enc.size()), 50000, true,
                       4096, nullptr);
    v.Start();
    WaitDone(v);
    EXPECT_EQ(v.ErrorCode(), 0x410C);
}

TEST_F(ZipThreadsTest, WriteThreadIntoAFailingArchiveReportsWriteErrorOrFullDisk)
{
    struct TCase
    {
        TFailingSink::FailMode Mode;
        bool Compress;
        int Expected;
    } cases[] = {{TFailingSink::FailMode::MinusOne, true, 0x4105},
                 {TFailingSink::FailMode::MinusOne, false, 0x4105},
                 {TFailingSink::FailMode::ShortCount, true, 0x4107},
                 {TFailingSink::FailMode::ShortCount, false, 0x4107}};
    for (const auto& c : cases) {
        TFailingSink sink(10000, c.Mode);
        TZipWriteThread w(std::make_unique<TMemoryStream>(RandomData(100000)), nullptr, &sink, c.Compress,
                          4096, nullptr);
        w.Start();
        WaitDone(w);
        EXPECT_EQ(w.ErrorCode(), c.Expected);
        EXPECT_LE(sink.Accepted(), 10000);
    }
}

TEST_F(ZipThreadsTest, WriteThreadOnAMissingSourceEndsWith0x4102AndItsText)
{
    TMemoryStream out;
    TZipWriteThread w(sandbox.Path("missing.bin"), nullptr, &out, true, 4096, nullptr);
    w.Start();
    WaitDone(w);
    EXPECT_EQ(w.ErrorCode(), 0x4102);
    EXPECT_FALSE(w.SysErrorMsg().empty());
}

TEST_F(ZipThreadsTest, WrongPasswordOnALargeEncryptedEntryLeavesNoTemporaryFile)
{
    if (!CreateZipCipher("pw", 1, 4096))
        GTEST_SKIP() << "AES framing not available in this build";
    std::string tmp = sandbox.Path("tmp");
    fs::create_directories(tmp);
    ::setenv("TMPDIR", tmp.c_str(), 1);
    WriteFile(sandbox.Path("src/big.bin"), RandomData(2000000));
    std::string zip = sandbox.Path("e.zip");
    {
        TZipWrite w(zip, sandbox.Path("src"), "right", 1, 0);
        w.AddFile(sandbox.Path("src/big.bin"), true);
        w.WriteDirectory();
    }
    TZipRead r(zip, "wrong", 0, 0);
    r.ReadDirectory();
    try {
        r.ExtractToFile(0, sandbox.Path("out.bin"), false);
        FAIL() << "no exception";
    } catch (const EZipError& e) {
        EXPECT_EQ(e.ZipError, 0x410B);
    }
    EXPECT_TRUE(fs::is_empty(tmp));
    ::unsetenv("TMPDIR");
}

TEST_F(ZipThreadsTest, PauseStopsProgressUntilResume)
{
    std::string data = RandomData(400000);
    TMemoryStream out;
    int reports = 0;
    TZipWriteThread w(std::make_unique<TMemoryStream>(data), nullptr, &out, false, 4096,
                      [&reports](TFileAction, int64_t, bool) { ++reports; });
    w.SetPaused(false);
    w.Start();
    while (reports < 3)
        w.ServeProgress(10);
    w.SetPaused(true);
    // At most the report that was under way arrives while paused.
    for (int i = 0; i < 20; ++i)
        w.ServeProgress(5);
    int whilePaused = reports;
    for (int i = 0; i < 20; ++i)
        w.ServeProgress(5);
    EXPECT_EQ(reports, whilePaused);
    EXPECT_FALSE(w.Done());
    w.SetPaused(false);
    WaitDone(w);
    EXPECT_EQ(w.ErrorCode(), 0);
    EXPECT_EQ(out.DataString(), data);
    EXPECT_GT(reports, 90);
}

} // namespace
