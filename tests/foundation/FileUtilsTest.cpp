#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "foundation/FileUtils.h"
#include "support/Files.h"
#include "support/Sandbox.h"

namespace {

// The code of the exception the constructor raises, 0 when it opens.
int OpenCode(const std::string& name, uint16_t mode)
{
    try {
        TExtFileStream s(name, mode);
        return 0;
    } catch (const EExtFileStreamError& e) {
        return e.ErrorCode;
    }
}

} // namespace

using FileUtilsTest = SandboxTest;

TEST_F(FileUtilsTest, StreamWritesAndReadsBackWithCounts)
{
    const std::string name = sandbox.Path("a.bin");
    {
        TExtFileStream out(name, fmCreate);
        int64_t written = 0;
        EXPECT_EQ(out.Write("hello world", 11, written), 0u);
        EXPECT_EQ(written, 11);
        EXPECT_EQ(out.FileName(), name);
    }
    TExtFileStream in(name, fmOpenRead | fmShareDenyWrite);
    char buf[32];
    int64_t got = 0;
    EXPECT_EQ(in.Read(buf, 5, got), 0u);
    EXPECT_EQ(std::string(buf, 5), "hello");
    EXPECT_EQ(in.Read(buf, sizeof(buf), got), 0u);
    EXPECT_EQ(got, 6);
    EXPECT_EQ(in.Read(buf, sizeof(buf), got), 0u) << "end of file is no error";
    EXPECT_EQ(got, 0);
}

TEST_F(FileUtilsTest, ReadOnAWriteOnlyStreamReturnsTheCodeAndMinusOne)
{
    const std::string name = sandbox.Path("w.bin");
    WriteFileBytes(name, "data");
    TExtFileStream s(name, fmOpenWrite);
    char buf[4];
    int64_t got = 99;
    EXPECT_EQ(s.Read(buf, 4, got), 6u) << "EBADF";
    EXPECT_EQ(got, -1);
}

TEST_F(FileUtilsTest, CreateModeEmptiesAnExistingFileAndUsesTheRights)
{
    const std::string name = sandbox.Path("old.txt");
    WriteFileBytes(name, "old content");
    {
        TExtFileStream s(name, fmCreate);
    }
    EXPECT_EQ(ReadFileBytes(name), "");

    const std::string fresh = sandbox.Path("fresh.txt");
    mode_t old = ::umask(022);
    {
        TExtFileStream s(fresh, fmCreate, 0640);
    }
    ::umask(old);
    struct stat st;
    ASSERT_EQ(::stat(fresh.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST_F(FileUtilsTest, FailedOpenRaisesWithCodeAndExpandedName)
{
    char* saved = ::getcwd(nullptr, 0);
    ASSERT_EQ(::chdir(sandbox.Path().c_str()), 0);
    try {
        TExtFileStream s("sub/../missing.txt", fmOpenRead);
        FAIL() << "no exception";
    } catch (const EExtFileStreamError& e) {
        EXPECT_EQ(e.ErrorCode, 2);
        EXPECT_EQ(e.Message(), "Cannot open file \"" + sandbox.Path("missing.txt") +
                                   "\". The system cannot find the file specified.");
    }
    EXPECT_EQ(::chdir(saved), 0);
    std::free(saved);
    try {
        TExtFileStream s(sandbox.Path("no/such/dir/x.txt"), fmCreate);
        FAIL() << "no exception";
    } catch (const EInOutError& e) {
        EXPECT_EQ(e.ErrorCode, 2);
        EXPECT_EQ(e.Message().rfind("Cannot create file \"" + sandbox.Path("no/such/dir/x.txt") + "\". ", 0),
                  0u);
    }
}

TEST_F(FileUtilsTest, ADirectoryCannotBeOpenedAsAStream)
{
    EXPECT_EQ(OpenCode(sandbox.Path("home"), fmOpenRead), 5);
}

TEST_F(FileUtilsTest, ShareModesAreHonouredBetweenStreams)
{
    const std::string name = sandbox.Path("shared.bin");
    WriteFileBytes(name, "x");
    struct Case
    {
        uint16_t first, second;
        int code;
    };
    const Case cases[] = {
        {fmOpenRead | fmShareExclusive, fmOpenRead | fmShareDenyNone, 32},
        {fmOpenRead | fmShareExclusive, fmOpenRead | fmShareDenyWrite, 32},
        {fmOpenReadWrite | fmShareDenyRead, fmOpenRead | fmShareDenyNone, 32},
        {fmOpenRead | fmShareDenyWrite, fmOpenRead | fmShareDenyWrite, 0},
        {fmOpenRead | fmShareDenyWrite, fmOpenRead | fmShareDenyNone, 0},
        {fmOpenRead | fmShareDenyWrite, fmOpenReadWrite | fmShareDenyNone, 32},
        {fmOpenRead | fmShareDenyWrite, fmOpenWrite, 32},
        {fmOpenRead | fmShareDenyWrite, fmOpenRead | fmShareExclusive, 32},
        {fmOpenRead | fmShareDenyNone, fmOpenReadWrite | fmShareDenyNone, 0},
        {fmOpenReadWrite | fmShareDenyNone, fmOpenReadWrite | fmShareDenyNone, 0},
        {fmCreate, fmOpenRead | fmShareDenyNone, 0},
        {fmCreate | 0xFF, fmOpenRead | fmShareDenyNone, 32},
        {fmCreate | fmShareDenyWrite, fmOpenRead | fmShareDenyWrite, 0},
    };
    for (const Case& c : cases) {
        TExtFileStream first(name, c.first);
        EXPECT_EQ(OpenCode(name, c.second), c.code) << std::hex << c.first << " then " << c.second;
    }
    // Closing the first stream releases its lock.
    {
        TExtFileStream first(name, fmOpenRead | fmShareExclusive);
    }
    EXPECT_EQ(OpenCode(name, fmOpenRead | fmShareExclusive), 0);
}

TEST_F(FileUtilsTest, ARefusedCreateLeavesTheFileAsItWas)
{
    const std::string name = sandbox.Path("kept.txt");
    WriteFileBytes(name, "precious");
    TExtFileStream holder(name, fmOpenRead | fmShareDenyWrite);
    EXPECT_EQ(OpenCode(name, fmCreate), 32);
    EXPECT_EQ(ReadFileBytes(name), "precious");
}

TEST_F(FileUtilsTest, CreateUtf8FileLeavesOnlyTheSignature)
{
    const std::string name = sandbox.Path("log.txt");
    WriteFileBytes(name, "a long line of old log text\n");
    EXPECT_EQ(CreateUtf8File(name), 0u);
    EXPECT_EQ(ReadFileBytes(name), "\xEF\xBB\xBF");
    EXPECT_EQ(CreateUtf8File(sandbox.Path("new.txt")), 0u);
    EXPECT_EQ(ReadFileBytes(sandbox.Path("new.txt")), "\xEF\xBB\xBF");
    EXPECT_EQ(CreateUtf8File(sandbox.Path("missing/x.txt")), 2u);
}

TEST_F(FileUtilsTest, ExceptionsCarryFormattedTranslatedTexts)
{
    ECopyError e = ECopyError::CreateResFmt("Error writing to \"%s\"", {"/x/y"}, 112);
    EXPECT_EQ(e.ErrorCode, 112);
    EXPECT_EQ(e.Message(), "Error writing to \"/x/y\"");
    EXPECT_EQ(EExtFileStreamError::CreateResFmt("%d", {"x"}, 5).Message(), "Format error: %d");
}
