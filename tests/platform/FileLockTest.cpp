#include "platform/FileLock.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/ErrorCodes.h"
#include "support/Sandbox.h"

namespace {

class FileLockTest : public SandboxTest
{
};

} // namespace

TEST_F(FileLockTest, ALockHeldByAnotherLiveProcessIsSeenAndEndsWithIt)
{
    std::string path = sandbox.Path("Vastrel.lock");
    int ready[2], release[2];
    ASSERT_EQ(::pipe(ready), 0);
    ASSERT_EQ(::pipe(release), 0);
    pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        uint32_t code = 0;
        int fd = CreateLockedFile(path, code);
        char c = fd >= 0 ? 'y' : 'n';
        (void)!::write(ready[1], &c, 1);
        (void)!::read(release[0], &c, 1);
        ::_exit(0); // ends without releasing: the lock goes with the process
    }
    char c = 0;
    ASSERT_EQ(::read(ready[0], &c, 1), 1);
    ASSERT_EQ(c, 'y');
    EXPECT_TRUE(IsFileLockHeld(path));
    uint32_t code = 0;
    EXPECT_EQ(CreateLockedFile(path, code), -1);
    EXPECT_EQ(code, WinError::ERROR_FILE_EXISTS);

    (void)!::write(release[1], "x", 1);
    int status = 0;
    ::waitpid(pid, &status, 0);
    struct stat st
    {
    };
    EXPECT_EQ(::stat(path.c_str(), &st), 0); // left behind by the ended process
    EXPECT_FALSE(IsFileLockHeld(path));
    for (int fd : {ready[0], ready[1], release[0], release[1]})
        ::close(fd);
}

TEST_F(FileLockTest, AFileCreatedHereIsHeldUntilReleasedAndLeavesNoTemporaryFile)
{
    std::string path = sandbox.Path("Vastrel.lock");
    uint32_t code = 0;
    int fd = CreateLockedFile(path, code);
    ASSERT_GE(fd, 0);
    EXPECT_TRUE(IsFileLockHeld(path));
    ReleaseLockedFile(fd);
    EXPECT_FALSE(IsFileLockHeld(path));
    EXPECT_FALSE(IsFileLockHeld(sandbox.Path("missing.lock")));
    int count = 0;
    for (const auto& e : std::filesystem::directory_iterator(sandbox.Root()))
        count += e.path().filename().string().rfind("Vastrel.lock", 0) == 0;
    EXPECT_EQ(count, 1);
    EXPECT_EQ(CreateLockedFile(sandbox.Path("nodir/x.lock"), code), -1);
    EXPECT_EQ(code, WinError::ERROR_FILE_NOT_FOUND);
}
