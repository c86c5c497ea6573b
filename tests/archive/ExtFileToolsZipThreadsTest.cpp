#include "archive/ExtFileToolsZipThreads.h"

#include <filesystem>

#include <gtest/gtest.h>

#include "archive/ExtFileToolsZipRead.h"
#include "archive/ExtFileToolsZipWrite.h"
#include "archive/ZipTestUtil.h"
#include "support/Files.h"
#include "support/Sandbox.h"
#include "support/StreamDoubles.h"

using namespace ZipTest;
using namespace ZipUtil;
namespace fs = std::filesystem;

namespace {

// Starts a worker and runs its progress reports until it is done.
void RunToEnd(TCopyThread& w)
{
    w.Start();
    while (!w.Done())
        TThread::CheckSynchronize(10);
    w.WaitFor();
}

class ZipThreadsTest : public SandboxTest
{
protected:
    // Writes one entry into a memory archive and returns its data.
    std::string EntryData(const std::string& data, TEncryption* encryption, bool compress, uint32_t& crc)
    {
        TMemoryStream out;
        TZipWriteThread w(std::make_unique<TMemoryStream>(data), encryption, &out, compress, false, 4096,
                          nullptr);
        RunToEnd(w);
        EXPECT_EQ(w.ErrorCode(), 0);
        EXPECT_EQ(w.PlainBytes(), static_cast<int64_t>(data.size()));
        EXPECT_EQ(w.WrittenBytes(), out.GetSize());
        crc = w.Crc();
        return out.DataString();
    }

    // Copies a file into a single-file zip with the copy engine.
    void MakeSingleFileZip(const std::string& src, const std::string& zip, TEncryption* encryption)
    {
        TWinCopyThread copy(src, zip, encryption, TCopyOptions{coZipCompress, coCompress, coTimeStamp}, false,
                            4096);
        RunToEnd(copy);
        ASSERT_EQ(copy.ErrorCode(), 0) << copy.SysErrorMsg();
    }
};

TEST_F(ZipThreadsTest, VerifyThreadFindsAChangedEncryptedByteAndAWrongCrc)
{
    std::string data = TextData(50000);
    uint32_t crc = 0;
    std::string stored = EntryData(data, nullptr, false, crc);
    for (uint32_t expected : {crc, crc ^ 1}) {
        TMemoryStream z(stored);
        TZipVerifyThread v(nullptr, expected, z, static_cast<int64_t>(stored.size()), 50000, false, false,
                           4096, nullptr);
        RunToEnd(v);
        EXPECT_EQ(v.ErrorCode(), expected == crc ? 0 : 0x410C);
    }
    TEncryption encryption("pw", 3, 4096);
    std::string enc = EntryData(data, &encryption, true, crc);
    for (bool changed : {false, true}) {
        std::string copy = enc;
        if (changed)
            copy.back() = static_cast<char>(copy.back() ^ 1);
        TMemoryStream z(copy);
        TZipVerifyThread v(&encryption, crc, z, static_cast<int64_t>(copy.size()), 50000, true, false, 4096,
                           nullptr);
        RunToEnd(v);
        EXPECT_EQ(v.ErrorCode(), changed ? 0x410C : 0);
    }
}

TEST_F(ZipThreadsTest, WriteThreadIntoAFailingArchiveReportsAWriteError)
{
    for (auto mode : {TFailingSink::FailMode::MinusOne, TFailingSink::FailMode::ShortCount}) {
        for (bool compress : {true, false}) {
            TFailingSink sink(10000, mode);
            TZipWriteThread w(std::make_unique<TMemoryStream>(RandomData(100000)), nullptr, &sink, compress,
                              false, 4096, nullptr);
            RunToEnd(w);
            EXPECT_TRUE(w.ErrorCode() == 0x4105 || w.ErrorCode() == 0x4107) << std::hex << w.ErrorCode();
            EXPECT_LE(sink.Accepted(), 10000);
        }
    }
}

TEST_F(ZipThreadsTest, WriteThreadOnAMissingSourceEndsWith0x4102AndItsText)
{
    TMemoryStream out;
    TZipWriteThread w(sandbox.Path("missing.bin"), nullptr, &out, true, false, 4096, nullptr);
    RunToEnd(w);
    EXPECT_EQ(w.ErrorCode(), 0x4102);
    EXPECT_FALSE(w.SysErrorMsg().empty());
    TZipWriteThread none(std::unique_ptr<TStream>(), nullptr, &out, true, false, 4096, nullptr);
    RunToEnd(none);
    EXPECT_EQ(none.ErrorCode(), 0x4112);
}

TEST_F(ZipThreadsTest, WrongPasswordOnALargeEncryptedEntryLeavesNoTemporaryFile)
{
    std::string tmp = sandbox.Path("tmp");
    fs::create_directories(tmp);
    ::setenv("TMPDIR", tmp.c_str(), 1);
    WriteFileBytes(sandbox.Path("src/big.bin"), RandomData(2000000));
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
    TZipWriteThread w(std::make_unique<TMemoryStream>(data), nullptr, &out, false, false, 4096,
                      [&reports](TFileAction, int64_t, bool) { ++reports; });
    w.Start();
    while (reports < 3)
        TThread::CheckSynchronize(10);
    w.SetPaused(true);
    // At most the report that was under way arrives while paused.
    for (int i = 0; i < 20; ++i)
        TThread::CheckSynchronize(5);
    int whilePaused = reports;
    for (int i = 0; i < 20; ++i)
        TThread::CheckSynchronize(5);
    EXPECT_EQ(reports, whilePaused);
    EXPECT_FALSE(w.Done());
    w.SetPaused(false);
    while (!w.Done())
        TThread::CheckSynchronize(10);
    w.WaitFor();
    EXPECT_EQ(w.ErrorCode(), 0);
    EXPECT_EQ(out.DataString(), data);
    EXPECT_GT(reports, 90);
}

TEST_F(ZipThreadsTest, UnZipThreadRestoresSingleFileZipsOfTheEngineAndOfInfoZip)
{
    std::string data = TextData(300000);
    std::string src = sandbox.Path("src/M\xC3\xBCller.txt");
    WriteFileBytes(src, data);
    fs::last_write_time(src, fs::last_write_time(src) - std::chrono::hours(48));
    TEncryption encryption("zip password", 2, 4096);
    struct TCase
    {
        std::string Name;
        TEncryption* Encryption;
    } cases[] = {{"plain", nullptr}, {"aes", &encryption}, {"infozip", nullptr}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        std::string zip = sandbox.Path(c.Name + ".zip");
        if (c.Name == "infozip")
            ASSERT_EQ(RunTool("zip -q -j " + Quote(zip) + " " + Quote(src)).ExitCode, 0);
        else
            MakeSingleFileZip(src, zip, c.Encryption);
        std::string dest = sandbox.Path("out/" + c.Name + ".txt");
        fs::create_directories(sandbox.Path("out"));
        TUnZipThread u(zip, dest, c.Encryption, false, 4096);
        RunToEnd(u);
        ASSERT_EQ(u.ErrorCode(), 0) << u.SysErrorMsg();
        EXPECT_EQ(ReadFileBytes(dest), data);
        auto age = fs::last_write_time(src) - fs::last_write_time(dest);
        EXPECT_LE(std::chrono::abs(age), std::chrono::seconds(2));
    }
    // A wrong password, no password and a missing source leave no destination behind.
    TEncryption wrong("wrong", 2, 4096);
    struct TFailure
    {
        std::string Zip;
        TEncryption* Encryption;
        int Expected;
    } failures[] = {{"aes.zip", &wrong, 0x310B}, {"aes.zip", nullptr, 0x310B}, {"none.zip", nullptr, 0x310E}};
    for (const auto& f : failures) {
        std::string dest = sandbox.Path("out/failed.txt");
        TUnZipThread u(sandbox.Path(f.Zip), dest, f.Encryption, false, 4096);
        RunToEnd(u);
        EXPECT_EQ(u.ErrorCode(), f.Expected) << f.Zip;
        EXPECT_FALSE(fs::exists(dest));
    }
}

} // namespace
