#include "backup/TimestampFile.h"

#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include "RunTestUtil.h"
#include "archive/FtpUtils.h"
#include "backup/BackupRun.h"
#include "support/FakeClock.h"
#include "support/Files.h"
#include "support/FtpTestServer.h"
#include "support/Sandbox.h"
#include "support/Servers.h"

namespace {

namespace fs = std::filesystem;

class TimestampFileTest : public SandboxTest
{
protected:
    std::string Name() const { return sandbox.Path("d/$TimeStamp.qvu"); }
    void SetUp() override { fs::create_directories(sandbox.Path("d")); }
};

TEST_F(TimestampFileTest, HoldsTheStartTimeAsEightLittleEndianBytesAndAsItsFileTime)
{
    const TDateTime time = EncodeDateTime(2025, 1, 2, 14, 30, 0, 0);
    WriteTimestampFile(sandbox.Path("d"), time);
    const std::string bytes = ReadFileBytes(Name());
    ASSERT_EQ(bytes.size(), 8u);
    double stored = 0;
    std::memcpy(&stored, bytes.data(), 8); // the machines we run on are little-endian
    EXPECT_DOUBLE_EQ(stored, 45659.0 + 14.5 / 24);
    EXPECT_EQ(static_cast<unsigned char>(bytes[7]), 0x40); // sign and exponent of 45659.6
    struct stat st
    {
    };
    ASSERT_EQ(stat(Name().c_str(), &st), 0);
    std::tm local{};
    localtime_r(&st.st_mtime, &local);
    EXPECT_EQ(local.tm_year + 1900, 2025);
    EXPECT_EQ(local.tm_mday, 2);
    EXPECT_EQ(local.tm_hour, 14);
    EXPECT_EQ(local.tm_min, 30);
    EXPECT_DOUBLE_EQ(ReadTimestampFile(sandbox.Path("d")), time);
    // The folder may be given with a delimiter; a newer time replaces the file.
    WriteTimestampFile(sandbox.Path("d/"), time + 1);
    EXPECT_DOUBLE_EQ(ReadTimestampFile(sandbox.Path("d/")), time + 1);
}

TEST_F(TimestampFileTest, MissingShortOrDamagedFilesReadAsZero)
{
    EXPECT_EQ(ReadTimestampFile(sandbox.Path("d")), 0);
    EXPECT_EQ(ReadTimestampFile(sandbox.Path("none")), 0);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double huge = 1e300;
    const std::string cases[] = {std::string("\x01\x02\x03", 3),
                                 std::string(reinterpret_cast<const char*>(&nan), 8),
                                 std::string(reinterpret_cast<const char*>(&huge), 8)};
    for (const auto& data : cases) {
        std::ofstream(Name(), std::ios::binary) << data;
        EXPECT_EQ(ReadTimestampFile(sandbox.Path("d")), 0) << data.size();
    }
    // Longer files give their first eight bytes.
    const double value = 45000.25;
    std::ofstream(Name(), std::ios::binary)
        << std::string(reinterpret_cast<const char*>(&value), 8) << "tail";
    EXPECT_DOUBLE_EQ(ReadTimestampFile(sandbox.Path("d")), value);
}

TEST_F(TimestampFileTest, ReadOnlyOldFileStaysAndKeepsItsValue)
{
    WriteTimestampFile(sandbox.Path("d"), 45000.5);
    fs::permissions(Name(), fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    WriteTimestampFile(sandbox.Path("d"), 46000.5);
    EXPECT_DOUBLE_EQ(ReadTimestampFile(sandbox.Path("d")), 45000.5);
}

TEST_F(TimestampFileTest, FolderWithOnlyTheTimestampFileCountsAsEmpty)
{
    EXPECT_TRUE(IsEmptyExceptTimestamp(sandbox.Path("d")));
    WriteTimestampFile(sandbox.Path("d"), 45000.5);
    EXPECT_TRUE(IsEmptyExceptTimestamp(sandbox.Path("d")));
    std::ofstream(sandbox.Path("d/.hidden")) << "x";
    EXPECT_FALSE(IsEmptyExceptTimestamp(sandbox.Path("d")));
    fs::remove(sandbox.Path("d/.hidden"));
    fs::create_directories(sandbox.Path("d/sub"));
    EXPECT_FALSE(IsEmptyExceptTimestamp(sandbox.Path("d")));
}

TEST_F(TimestampFileTest, FtpFileIsStoredInTheCurrentServerFolderAndReadBack)
{
    VASTREL_REQUIRE_SERVER(PyFtpServer::MissingReason());
    PyFtpServer server(sandbox.Path("srv"), "plain");
    ASSERT_TRUE(server.Started()) << server.Error();
    fs::create_directories(sandbox.Path("srv/backup"));
    TExtFtp ftp;
    TFtpParams p;
    p.Host = "127.0.0.1";
    p.Port = server.Port();
    p.Username = PyFtpServer::User;
    p.ConnTimeout = p.ResponseTimeOut = 3000;
    p.ConnAttempts = 1;
    ftp.SetParams(p);
    ftp.Password = PyFtpServer::Password;
    ftp.SetTempDir(sandbox.Path("tmp"));
    ASSERT_TRUE(ftp.DoConnect(1, false)) << ftp.IndyError();
    ASSERT_TRUE(ftp.ChangeToDir("backup"));
    EXPECT_EQ(ReadFtpTimestampFile(ftp), 0);
    const TDateTime time = EncodeDateTime(2025, 1, 2, 14, 30, 0, 0);
    EXPECT_EQ(WriteFtpTimestampFile(ftp, time), 0u);
    const std::string bytes = ReadFileBytes(sandbox.Path("srv/backup/$TimeStamp.qvu"));
    ASSERT_EQ(bytes.size(), 8u);
    EXPECT_EQ(ReadTimestampFile(sandbox.Path("srv/backup")), time);
    EXPECT_EQ(WriteFtpTimestampFile(ftp, time + 2), 0u);
    EXPECT_DOUBLE_EQ(ReadFtpTimestampFile(ftp), time + 2);
}

// The run writes the file at its end and, with the archive bit, clears a destination only on a later day.
class TimestampRunTest : public runtest::RunFrameTest
{
protected:
    void SetUp() override
    {
        RunFrameTest::SetUp();
        fs::create_directories(sandbox.Path("src"));
        fs::create_directories(sandbox.Path("tasks"));
        engine.BackupDirectory = [this](TExtensionList&, const std::string&, const std::string& destDir, bool,
                                        TFolderCounters&) {
            fs::create_directories(destDir);
            std::ofstream(destDir + "/copied.txt") << "new";
        };
    }
    std::string Task(const std::string& extra)
    {
        std::string path = sandbox.Path("tasks/t.buj");
        std::ofstream(path) << "[Global]\nDestination=" << sandbox.Path("dest")
                            << "\nDestMode=1\nDirCount=1\n"
                            << extra << "\n[Dir000]\nSource=" << sandbox.Path("src") << "\n";
        return path;
    }
    std::string Sub() const { return sandbox.Path("dest") + sandbox.Path("src"); }
    void PutStale(const std::string& name)
    {
        fs::create_directories(Sub());
        std::ofstream(Sub() + "/" + name) << "stale";
    }
    ScopedFakeClock clock{EncodeDateTime(2025, 1, 2, 9, 0, 0, 0)};
    TRecordingProgress progress;
    TRunControl control;
    TBackupEngine engine{host, interaction, progress, control, log};
};

TEST_F(TimestampRunTest, DifferentialDestinationIsClearedOncePerDay)
{
    clock->SetLocal(EncodeDateTime(2025, 1, 2, 9, 0, 0, 0));
    const std::string task = Task("ClearDest=1\nUseArch=1\nLogFile=2");
    PutStale("first.txt");
    EXPECT_EQ(engine.DoBackupJob(0, iaQuiet, 3, task), brOK);
    EXPECT_FALSE(fs::exists(Sub() + "/first.txt"));
    EXPECT_TRUE(fs::exists(Sub() + "/copied.txt"));
    EXPECT_DOUBLE_EQ(ReadTimestampFile(sandbox.Path("dest")), EncodeDateTime(2025, 1, 2, 9, 0, 0, 0));
    EXPECT_NE(ReadFileBytes(host.DefaultLog)
                  .find("  ->  Contents of directory was deleted: \"" + Sub() + "\" (1 file)\r\n"),
              std::string::npos)
        << ReadFileBytes(host.DefaultLog);

    // Later the same day: the destination keeps what it has.
    clock->SetLocal(EncodeDateTime(2025, 1, 2, 18, 0, 0, 0));
    PutStale("second.txt");
    EXPECT_EQ(engine.DoBackupJob(0, iaQuiet, 3, task), brOK);
    EXPECT_TRUE(fs::exists(Sub() + "/second.txt"));
    EXPECT_DOUBLE_EQ(ReadTimestampFile(sandbox.Path("dest")), EncodeDateTime(2025, 1, 2, 18, 0, 0, 0));

    // The next day it is cleared again.
    clock->SetLocal(EncodeDateTime(2025, 1, 3, 8, 0, 0, 0));
    EXPECT_EQ(engine.DoBackupJob(0, iaQuiet, 3, task), brOK);
    EXPECT_FALSE(fs::exists(Sub() + "/second.txt"));
    EXPECT_FALSE(fs::exists(Sub() + "/first.txt"));
    EXPECT_EQ(host.FExitState, 0);
}

TEST_F(TimestampRunTest, WithoutTheArchiveBitEveryRunClearsAndAPlainUpdateWritesNoFile)
{
    const std::string task = Task("ClearDest=1\nArchBit=1");
    PutStale("first.txt");
    engine.DoBackupJob(0, iaQuiet, 3, task);
    PutStale("second.txt");
    engine.DoBackupJob(0, iaQuiet, 3, task);
    EXPECT_FALSE(fs::exists(Sub() + "/second.txt"));
    EXPECT_TRUE(fs::exists(sandbox.Path("dest/$TimeStamp.qvu")));

    fs::remove(sandbox.Path("dest/$TimeStamp.qvu"));
    PutStale("third.txt");
    engine.DoBackupJob(0, iaQuiet, 3, Task(""));
    EXPECT_TRUE(fs::exists(Sub() + "/third.txt"));
    EXPECT_FALSE(fs::exists(sandbox.Path("dest/$TimeStamp.qvu")));
    engine.DoBackupJob(0, iaQuiet, 3, Task("TimestampFile=1"));
    EXPECT_TRUE(fs::exists(sandbox.Path("dest/$TimeStamp.qvu")));
}

TEST_F(TimestampRunTest, NestedSourceFolderIsNotClearedTwice)
{
    fs::create_directories(sandbox.Path("src/inner"));
    std::string path = sandbox.Path("tasks/t.buj");
    std::ofstream(path) << "[Global]\nDestination=" << sandbox.Path("dest") << "\nDestMode=1\nDirCount=2\n"
                        << "ClearDest=1\nArchBit=1\n[Dir000]\nSource=" << sandbox.Path("src/inner")
                        << "\n[Dir001]\nSource=" << sandbox.Path("src") << "\n";
    engine.DoBackupJob(0, iaQuiet, 3, path);
    const std::string text = ReadFileBytes(host.DefaultLog);
    EXPECT_NE(text.find("Overlapping directory was not deleted: \"" + Sub() + "\""), std::string::npos)
        << text;
    EXPECT_TRUE(fs::exists(Sub() + "/inner/copied.txt"));
}

} // namespace
