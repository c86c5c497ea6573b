#include "platform/PosixFiles.h"

#include <cerrno>
#include <sys/stat.h>

#include "platform/ErrorCodes.h"
#include "platform/FileStatus.h"

// The attribute word is read and written by the file-status layer, so that the archive mark, the link
// rules and the replaceable extended-attribute layer are the same for every caller.

int PosixFileGetAttr(const std::string& path, bool followLink, uint32_t* error)
{
    uint32_t code = ErrnoToWinError(ENOENT);
    TPosixFileData data;
    if (!path.empty())
        code = ReadFileData(path, followLink, data);
    if (error)
        *error = code;
    return code == 0 ? static_cast<int>(data.Attr) : -1;
}

uint32_t PosixFileSetAttr(const std::string& path, uint32_t attr, bool followLink)
{
    if (path.empty())
        return ErrnoToWinError(ENOENT);
    return WriteFileAttributes(path, attr, followLink);
}

bool PosixIsMountPoint(const std::string& dir)
{
    TPosixFileData data;
    return ReadFileData(dir, true, data) == 0 && data.ReparseTag == IO_REPARSE_TAG_MOUNT_POINT;
}
