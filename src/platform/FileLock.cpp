#include "platform/FileLock.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/ErrorCodes.h"

namespace {

int CreateDirect(const std::string& path, uint32_t& code)
{
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
        code = errno == EEXIST ? WinError::ERROR_FILE_EXISTS : LastWinError();
        return -1;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        code = errno == EWOULDBLOCK ? WinError::ERROR_LOCK_VIOLATION : LastWinError();
        ::close(fd);
        ::unlink(path.c_str());
        return -1;
    }
    return fd;
}

} // namespace

int CreateLockedFile(const std::string& path, uint32_t& code)
{
    code = 0;
    // The file is locked under a temporary name and then linked to its name, so that no other process
    // ever sees it unlocked.
    std::string temp = path + ".XXXXXX";
    int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) {
        code = LastWinError();
        return -1;
    }
    if (::fchmod(fd, 0644) != 0 || ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        code = LastWinError();
        ::close(fd);
        ::unlink(temp.c_str());
        return -1;
    }
    if (::link(temp.c_str(), path.c_str()) != 0) {
        int err = errno;
        ::close(fd);
        ::unlink(temp.c_str());
        if (err == EPERM || err == ENOTSUP || err == EOPNOTSUPP)
            return CreateDirect(path, code); // no hard links on this file system (FAT)
        code = err == EEXIST ? WinError::ERROR_FILE_EXISTS : ErrnoToWinError(err);
        return -1;
    }
    ::unlink(temp.c_str());
    return fd;
}

void ReleaseLockedFile(int fd)
{
    if (fd >= 0) {
        ::flock(fd, LOCK_UN);
        ::close(fd);
    }
}

bool IsFileLockHeld(const std::string& path)
{
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return false;
    bool held = false;
    if (::flock(fd, LOCK_SH | LOCK_NB) != 0)
        held = errno == EWOULDBLOCK;
    ::close(fd);
    return held;
}

int WaitForFileLock(const std::string& path, uint32_t& code)
{
    code = 0;
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        code = LastWinError();
        return -1;
    }
    int rc;
    while ((rc = ::flock(fd, LOCK_EX)) != 0 && errno == EINTR) {
    }
    if (rc != 0) {
        code = LastWinError();
        ::close(fd);
        return -1;
    }
    return fd;
}
