#include "foundation/QvUtilsFolders.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "foundation/BuConsts.h"
#include "platform/RegistryStore.h"
#include "support/FakeProgram.h"
#include "support/Files.h"
#include "support/Sandbox.h"

namespace {

class QvUtilsFoldersTest : public SandboxTest
{
protected:
    void TearDown() override { DeleteLockFile(); }
};

} // namespace

TEST_F(QvUtilsFoldersTest, TheLockFileHoldsTheTaskNameAsUtf16AndCannotBeTakenTwice)
{
    std::string dir = sandbox.Path() + "/";
    ASSERT_TRUE(CreateLockFile(dir, "Daily ü"));
    EXPECT_FALSE(CreateLockFile(dir, "Other"));
    EXPECT_TRUE(LockFileExists(dir));
    EXPECT_EQ(ReadFileBytes(dir + "Vastrel.lock"), std::string("D\0a\0i\0l\0y\0 \0\xFC\0", 14));
    DeleteLockFile();
    EXPECT_FALSE(LockFileExists(dir));
}

TEST_F(QvUtilsFoldersTest, ReadingALeftBehindLockFileGivesItsNameAndRemovesIt)
{
    std::string dir = sandbox.Path() + "/";
    std::ofstream(dir + "Vastrel.lock", std::ios::binary) << std::string("a\0b\0c\0d", 7);
    std::string name;
    TDateTime start;
    ASSERT_TRUE(ReadLockFile(dir, name, start));
    EXPECT_EQ(name, "abc");
    EXPECT_NEAR(start, NowUTC(), 1.0 / 1440);
    EXPECT_FALSE(LockFileExists(dir));
    EXPECT_FALSE(ReadLockFile(dir, name, start));
    EXPECT_EQ(name, "");
    EXPECT_NEAR(start, Now(), 1.0 / 1440);
}

TEST_F(QvUtilsFoldersTest, ALockFileThatALiveRunHoldsIsNeverRemoved)
{
    std::string dir = sandbox.Path() + "/";
    int ready[2], done[2];
    ASSERT_EQ(::pipe(ready), 0);
    ASSERT_EQ(::pipe(done), 0);
    pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        char c = CreateLockFile(dir, "Running") ? 'y' : 'n';
        (void)!::write(ready[1], &c, 1);
        (void)!::read(done[0], &c, 1);
        ::_exit(0);
    }
    char c = 0;
    ASSERT_EQ(::read(ready[0], &c, 1), 1);
    ASSERT_EQ(c, 'y');
    std::string name;
    TDateTime start;
    EXPECT_TRUE(ReadLockFile(dir, name, start));
    EXPECT_EQ(name, "Running");
    EXPECT_TRUE(LockFileExists(dir)); // still held by the other process
    DeleteLockFile();
    EXPECT_TRUE(LockFileExists(dir));
    (void)!::write(done[1], "x", 1);
    ::waitpid(pid, nullptr, 0);
    // The run ended without cleaning up: now the file is left behind and goes.
    EXPECT_TRUE(ReadLockFile(dir, name, start));
    EXPECT_FALSE(LockFileExists(dir));
    for (int fd : {ready[0], ready[1], done[0], done[1]})
        ::close(fd);
}

TEST_F(QvUtilsFoldersTest, FoldersFollowTheXdgConventionsAndTheRegistryValue)
{
    std::string settings, docs, prog;
    GetDefaultFolders(settings, docs, prog);
    EXPECT_EQ(settings, sandbox.Path("home/.config/Vastrel6/"));
    EXPECT_EQ(docs, sandbox.Path("home/Documents/"));
    EXPECT_EQ(ReadIniPathFromRegistry("def"), "def");
    RegWriteString(TRegRoot::User, "Software\\Vastrel6", "IniPath", "/srv/settings/");
    EXPECT_EQ(ReadIniPathFromRegistry("def"), "/srv/settings/");
    EXPECT_EQ(GetUsableDir(sandbox.Path("a/b/c"), "def"), sandbox.Path("a/b/c"));
    EXPECT_EQ(GetUsableDir("", "def"), "def");
    std::ofstream(sandbox.Path("file")) << "x";
    EXPECT_EQ(GetUsableDir(sandbox.Path("file/sub"), "def"), "def");
    std::string temp = GetProgTempDir();
    EXPECT_EQ(temp.back(), '/');
    struct stat st
    {
    };
    EXPECT_EQ(::stat(temp.c_str(), &st), 0);
}

TEST_F(QvUtilsFoldersTest, OldSettingsAreTakenOverOnce)
{
    std::string appData = sandbox.Path("home/.config/");
    std::filesystem::create_directories(appData + "Vastrel5");
    std::ofstream(appData + "Vastrel5/Vastrel.ini") << "old";
    std::string target = sandbox.Path("home/.config/Vastrel6/Vastrel.ini");
    std::filesystem::create_directories(sandbox.Path("home/.config/Vastrel6"));
    MigrateOldSettings(appData, target);
    EXPECT_EQ(ReadFileBytes(target), "old");
    std::ofstream(target) << "new";
    MigrateOldSettings(appData, target);
    EXPECT_EQ(ReadFileBytes(target), "new");
}

TEST(QvUtilsTaskFilesTest, KindsNamesAndListItems)
{
    EXPECT_EQ(GetTaskKindText("a.VFJ,b.buj"), "Verify task");
    EXPECT_EQ(GetTaskKindText("\"/x y/a.rsj\",b"), "Restore task");
    EXPECT_EQ(GetTaskKindText("a.cuj"), "Cleanup task");
    EXPECT_EQ(GetTaskKindText(""), "Backup task");
    EXPECT_EQ(DefaultZipName(), "QV-Zip-%date%");
    EXPECT_EQ(GetListItemAt("one,two,three", 0), "one");
    EXPECT_EQ(GetListItemAt("one,two,three", 5), "two");
    EXPECT_EQ(GetListItemAt("one,two,three", 99), "three");
    EXPECT_TRUE(IsSpecialFile(true, "$timestamp.QVU"));
    EXPECT_TRUE(IsSpecialFile(true, "VssBackupDoc.xml"));
    EXPECT_FALSE(IsSpecialFile(false, "$TimeStamp.qvu"));
    EXPECT_TRUE(IsLinkInfoFile("folder.QvLink"));
    EXPECT_FALSE(IsLinkInfoFile("folder.qvlink.bak"));
    ProgSettings.LogSettings.LogMode = 0x08 | 0x41 | 0x100;
    EXPECT_EQ(GetLogModeFor(0x08), 0x49 & 0x47);
    EXPECT_EQ(GetLogModeFor(0x10), 0);
    ProgSettings.LogSettings.LogMode = 0;
    EXPECT_EQ(Utf16LeBytesToUtf8(Utf8ToUtf16LeBytes("a\xF0\x9F\x98\x80z")), "a\xF0\x9F\x98\x80z");
    EXPECT_EQ(Utf16LeBytesToUtf8(std::string("\x00\xD8", 2)), "\xEF\xBF\xBD");
}

namespace {

// Sets an environment variable for the life of the object.
class ScopedEnv
{
public:
    ScopedEnv(const char* name, const std::string& value) : FName(name)
    {
        if (const char* old = std::getenv(name))
            FOld = old;
        ::setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv()
    {
        if (FOld)
            ::setenv(FName, FOld->c_str(), 1);
        else
            ::unsetenv(FName);
    }

private:
    const char* FName;
    std::optional<std::string> FOld;
};

} // namespace

TEST_F(QvUtilsFoldersTest, HelpPagesAreOpenedThroughXdgOpenAndFailuresAreShown)
{
    const std::string help = sandbox.Path("help");
    std::filesystem::create_directories(help + "/pages");
    std::ofstream(help + "/qve-help.html") << "<html/>";
    std::ofstream(help + "/pages/mail settings.html") << "<html/>";
    std::filesystem::create_directories(sandbox.Path("bin"));
    std::filesystem::create_symlink(FakeProgramPath(), sandbox.Path("bin/xdg-open"));
    ScopedEnv helpDir("VASTREL_HELP_DIR", help);
    ScopedEnv path("PATH", sandbox.Path("bin") + ":" + std::getenv("PATH"));
    ScopedEnv record("VASTREL_FAKE_RECORD", sandbox.Path("runs.txt"));
    std::vector<std::string> errors;
    SetHelpErrorHandler([&](const std::string& m) { errors.push_back(m); });

    EXPECT_EQ(GetHelpFileName(), help + "/qve-help.html");
    OpenHelpTopic("");
    OpenHelpTopic("pages/mail settings.html#tls");
    OpenHelpTopic("pages/missing.html");
    {
        ScopedEnv fails("VASTREL_FAKE_EXIT", "3");
        OpenHelpTopic("");
    }
    SetHelpErrorHandler(nullptr);

    auto runs = ReadFakeRuns(sandbox.Path("runs.txt"));
    ASSERT_EQ(runs.size(), 3u) << "a missing page starts nothing";
    EXPECT_EQ(runs[0].args.at(1), FileUrl(help + "/qve-help.html"));
    EXPECT_EQ(runs[1].args.at(1), "file://" + help + "/pages/mail%20settings.html#tls");
    EXPECT_EQ(errors, std::vector<std::string>(2, "Help is not available on this system!"));
}
