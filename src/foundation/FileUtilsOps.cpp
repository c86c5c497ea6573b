#include "foundation/FileUtilsOps.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "foundation/FileUtils.h"
#include "foundation/FileUtilsTimes.h"
#include "platform/DirSearch.h"
#include "platform/ErrorCodes.h"
#include "platform/FileSecurity.h"
#include "platform/FileStatus.h"
#include "rtl/Gettext.h"

namespace {

constexpr int FileSearchAttr = static_cast<int>(faReadOnly | faHidden | faSysFile | faArchive | faNormal);

std::string WithSlash(const std::string& dir)
{
    if (dir.empty() || dir.back() == '/')
        return dir;
    return dir + "/";
}

std::string WithoutSlash(std::string path)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

bool IsDots(const char* name)
{
    return name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0));
}

struct TDeleteCounters
{
    int Failed = 0;
    int Deleted = 0;
    int Removed = 0;
};

// Deletes the content of the open folder Fd (and sub-folders on the same device), counting results.
// Returns true when every file of this folder was deleted.
bool DeleteTreeAt(int fd, dev_t dev, TDeleteCounters& c)
{
    DIR* d = ::fdopendir(fd);
    if (!d) {
        ::close(fd);
        ++c.Failed;
        return false;
    }
    bool allFiles = true;
    // Sub-folders first, then files: collect the names, since deleting while reading is unspecified.
    std::vector<std::string> dirs, files;
    while (struct dirent* e = ::readdir(d)) {
        if (IsDots(e->d_name))
            continue;
        struct stat st
        {
        };
        if (::fstatat(::dirfd(d), e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
            ++c.Failed;
            allFiles = false;
            continue;
        }
        if (S_ISDIR(st.st_mode)) {
            if (st.st_dev != dev) {
                // A mounted volume inside the tree is never emptied.
                ++c.Failed;
                allFiles = false;
            } else {
                dirs.emplace_back(e->d_name);
            }
        } else {
            files.emplace_back(e->d_name); // files, links, FIFOs, sockets, devices: removed as entries
        }
    }
    int dfd = ::dirfd(d);
    for (const auto& name : dirs) {
        int sub = ::openat(dfd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (sub < 0) {
            ++c.Failed;
            continue;
        }
        if (DeleteTreeAt(sub, dev, c)) {
            if (::unlinkat(dfd, name.c_str(), AT_REMOVEDIR) == 0)
                ++c.Removed;
            else
                ++c.Failed;
        }
    }
    for (const auto& name : files) {
        if (::unlinkat(dfd, name.c_str(), 0) == 0) {
            ++c.Deleted;
        } else {
            ++c.Failed;
            allFiles = false;
        }
    }
    ::closedir(d);
    return allFiles;
}

// Counts the files matching Pattern in Dir and, when recursive, in its sub-folders (links not followed).
int CountFilesIn(const std::string& dir, bool recursive, const std::string& pattern)
{
    int count = 0;
    TSearchRec sr;
    if (recursive) {
        int rc = FindFirst(dir + "*", static_cast<int>(faAnyFile), sr);
        while (rc == 0) {
            if ((static_cast<uint32_t>(sr.Attr) & faDirectory) &&
                !(static_cast<uint32_t>(sr.Attr) & faReparsePoint) && sr.Name != "." && sr.Name != "..")
                count += CountFilesIn(dir + sr.Name + "/", recursive, pattern);
            rc = FindNext(sr);
        }
        FindClose(sr);
    }
    int rc = FindFirst(dir + pattern, FileSearchAttr, sr);
    while (rc == 0) {
        if (sr.Name != "." && sr.Name != "..")
            ++count;
        rc = FindNext(sr);
    }
    FindClose(sr);
    return count;
}

// Lists Dir; counts entries other than "." and ".." (only folders when FoldersOnly). -1 when it
// cannot be listed.
int CountEntries(const std::string& dir, bool foldersOnly)
{
    DIR* d = ::opendir(dir.c_str());
    if (!d)
        return -1;
    int n = 0;
    while (struct dirent* e = ::readdir(d)) {
        if (IsDots(e->d_name))
            continue;
        if (foldersOnly) {
            struct stat st
            {
            };
            if (::fstatat(::dirfd(d), e->d_name, &st, 0) != 0 || !S_ISDIR(st.st_mode))
                continue;
        }
        ++n;
    }
    ::closedir(d);
    return n;
}

// Deletes the files of Dir that match Mask and Wanted (found first, deleted after the search); the
// number deleted.
template <typename Pred> int DeleteMatchingFiles(const std::string& dir, const std::string& mask, Pred wanted)
{
    std::string folder = WithSlash(dir);
    std::vector<std::string> names;
    TSearchRec sr;
    int rc = FindFirst(folder + mask, FileSearchAttr, sr);
    while (rc == 0) {
        if (wanted(sr))
            names.push_back(sr.Name);
        rc = FindNext(sr);
    }
    FindClose(sr);
    int deleted = 0;
    for (const auto& n : names)
        deleted += ForceDeleteFile(folder + n) ? 1 : 0;
    return deleted;
}

} // namespace

// --- links

bool GetLinkFinalPath(const std::string& path, std::string& target)
{
    target.clear();
    TPosixFileData d;
    if (ReadFileData(WithoutSlash(path), false, d) != 0 || !(d.Attr & faReparsePoint))
        return false;
    char buf[PATH_MAX];
    if (!::realpath(path.c_str(), buf))
        return false;
    target = buf;
    return true;
}

bool ReadLinkTarget(const std::string& path, std::string& target)
{
    return GetLinkFinalPath(path, target);
}

int GetLinkType(const std::string& path)
{
    TPosixFileData d;
    if (ReadFileData(WithoutSlash(path), false, d) != 0)
        return 0;
    if (d.ReparseTag == IO_REPARSE_TAG_MOUNT_POINT)
        return 1;
    if (d.ReparseTag == IO_REPARSE_TAG_SYMLINK)
        return 2;
    return 0;
}

bool GetLinkInfo(const std::string& path, int attr, std::string& target, int& linkType)
{
    target.clear();
    linkType = 0;
    if (HasReparseAttr(attr)) {
        std::string p = WithoutSlash(path);
        linkType = GetLinkType(p);
        ReadLinkTarget(p, target);
    }
    return linkType != 0;
}

bool GetLinkTarget(const std::string& path, int attr, std::string& target)
{
    int type;
    return GetLinkInfo(path, attr, target, type);
}

bool HasReparseAttr(int attr)
{
    return attr != -1 && (static_cast<uint32_t>(attr) & faReparsePoint) != 0;
}

bool IsReparsePoint(const std::string& path)
{
    TPosixFileData d;
    return ReadFileData(WithoutSlash(path), false, d) == 0 && (d.Attr & faReparsePoint);
}

bool GetFileNameByHandle(int fd, std::string& name)
{
    name.clear();
    char buf[PATH_MAX];
    std::string proc = "/proc/self/fd/" + std::to_string(fd);
    ssize_t n = ::readlink(proc.c_str(), buf, sizeof buf - 1);
    if (n <= 0)
        return false;
    name.assign(buf, static_cast<size_t>(n));
    return true;
}

uint32_t CreateJunction(const std::string& linkDir, const std::string& target)
{
    std::string link = WithoutSlash(linkDir);
    struct stat st
    {
    };
    bool exists = ::stat(link.c_str(), &st) == 0;
    if (exists) {
        if (!S_ISDIR(st.st_mode))
            return WinError::ERROR_ALREADY_EXISTS;
        if (CountEntries(link, false) != 0)
            return WinError::ERROR_DIR_NOT_EMPTY;
    } else {
        // Parents are made; the link itself takes the place of the folder.
        auto slash = link.find_last_of('/');
        if (slash != std::string::npos && slash > 0) {
            std::string parent = link.substr(0, slash);
            if (::stat(parent.c_str(), &st) != 0) {
                std::string cur;
                for (size_t pos = 1; pos <= parent.size(); ++pos) {
                    if (pos == parent.size() || parent[pos] == '/') {
                        cur = parent.substr(0, pos);
                        if (::mkdir(cur.c_str(), 0777) != 0 && errno != EEXIST)
                            return LastWinError();
                    }
                }
            }
        }
    }
    std::string t = target;
    if (t.size() >= 4 && (t.compare(0, 4, "\\??\\") == 0))
        t = t.substr(4); // a substitute name is used as it is
    else {
        char buf[PATH_MAX];
        if (t.empty() || !::realpath(t.c_str(), buf) || ::stat(buf, &st) != 0 || !S_ISDIR(st.st_mode)) {
            // No junction to a missing folder: LinkDir stays (or becomes) an empty folder.
            if (!exists && ::mkdir(link.c_str(), 0777) != 0 && errno != EEXIST)
                return LastWinError();
            return 0;
        }
        t = buf;
    }
    if (exists && ::rmdir(link.c_str()) != 0)
        return LastWinError();
    if (::symlink(t.c_str(), link.c_str()) != 0) {
        uint32_t rc = LastWinError();
        if (exists)
            ::mkdir(link.c_str(), st.st_mode & 07777); // put the empty folder back
        return rc;
    }
    return 0;
}

// --- copying

namespace {

// Only regular files are opened for reading: FIFOs would block, devices never end.
uint32_t CheckReadable(const std::string& src)
{
    struct stat st
    {
    };
    if (::stat(src.c_str(), &st) != 0)
        return LastWinError();
    return S_ISREG(st.st_mode) ? 0 : WinError::ERROR_ACCESS_DENIED;
}

} // namespace

uint32_t CopyFileByStream(const std::string& src, const std::string& dest, int bufSize)
{
    if (src == dest)
        return 0;
    if (uint32_t rc = CheckReadable(src))
        return rc;
    size_t size = bufSize > 0 ? static_cast<size_t>(bufSize) : 65536;
    std::unique_ptr<TExtFileStream> in, out;
    try {
        in = std::make_unique<TExtFileStream>(src, fmOpenRead | fmShareDenyNone);
        out = std::make_unique<TExtFileStream>(dest, fmCreate | fmShareExclusive);
    } catch (const EExtFileStreamError& e) {
        return static_cast<uint32_t>(e.ErrorCode);
    }
    std::vector<char> buf(size);
    for (;;) {
        int64_t got = 0, put = 0;
        if (uint32_t rc = in->Read(buf.data(), static_cast<int64_t>(size), got))
            return rc;
        if (got > 0) {
            if (uint32_t rc = out->Write(buf.data(), got, put))
                return rc;
            if (put < got)
                return WinError::ERROR_DISK_FULL;
        }
        if (got < static_cast<int64_t>(size))
            break;
    }
    return 0;
}

void CopyFileBuffered(const std::string& src, const std::string& dest, int attr, int bufSize)
{
    if (src == dest)
        return;
    struct stat st
    {
    };
    if (::stat(src.c_str(), &st) != 0 || dest.empty())
        throw ECopyError::CreateResFmt(N_("File not found: \"%s\""), {src}, WinError::ERROR_FILE_NOT_FOUND);
    FILETIME srcTime = 0;
    GetFileUtcTime(src, srcTime);
    if (attr < 0) {
        TPosixFileData d;
        attr = ReadFileData(src, true, d) == 0 ? static_cast<int>(d.Attr) : static_cast<int>(faArchive);
    }
    size_t size = bufSize > 0 ? static_cast<size_t>(bufSize) : 65536;
    {
        if (uint32_t rc = CheckReadable(src))
            throw ECopyError::CreateResFmt(N_("Error opening \"%s\""), {src}, static_cast<int>(rc));
        std::unique_ptr<TExtFileStream> in;
        try {
            in = std::make_unique<TExtFileStream>(src, fmOpenRead | fmShareDenyNone);
        } catch (const EExtFileStreamError& e) {
            throw ECopyError::CreateResFmt(N_("Error opening \"%s\""), {src}, e.ErrorCode);
        }
        struct stat dst
        {
        };
        if (::stat(dest.c_str(), &dst) == 0) {
            if (uint32_t rc = WriteFileAttributes(dest, faArchive, true))
                throw ECopyError::CreateResFmt(N_("Error creating \"%s\""), {dest}, static_cast<int>(rc));
        }
        std::unique_ptr<TExtFileStream> out;
        try {
            out = std::make_unique<TExtFileStream>(dest, fmCreate);
        } catch (const EExtFileStreamError& e) {
            throw ECopyError::CreateResFmt(N_("Error creating \"%s\""), {dest}, e.ErrorCode);
        }
        std::vector<char> buf(size);
        for (;;) {
            int64_t got = 0, put = 0;
            if (uint32_t rc = in->Read(buf.data(), static_cast<int64_t>(size), got))
                throw ECopyError::CreateResFmt(N_("Error reading from \"%s\""), {src}, static_cast<int>(rc));
            if (got > 0) {
                if (uint32_t rc = out->Write(buf.data(), got, put))
                    throw ECopyError::CreateResFmt(N_("Error writing to \"%s\""), {dest},
                                                   static_cast<int>(rc));
                if (put < got)
                    throw ECopyError::CreateResFmt(N_("Error writing to \"%s\""), {dest},
                                                   static_cast<int>(WinError::ERROR_DISK_FULL));
            }
            if (got < static_cast<int64_t>(size))
                break;
        }
    }
    if (uint32_t rc = SetFileUtcTime(dest, srcTime, true))
        throw ECopyError::CreateResFmt(N_("Error setting timestamps of \"%s\""), {dest},
                                       static_cast<int>(rc));
    if (uint32_t rc = WriteFileAttributes(dest, static_cast<uint32_t>(attr), true))
        throw ECopyError::CreateResFmt(N_("Error setting attributes of \"%s\""), {dest},
                                       static_cast<int>(rc));
}

// --- permissions and streams

uint32_t CopyFilePermissions(const std::string& src, const std::string& dest)
{
    return CopyPermissions(src, dest);
}

uint32_t CopyAlternateStreams(const std::string& src, const std::string& dest)
{
    return CopyAltStreams(src, dest);
}

// --- deleting, counting, testing

bool ForceDeleteFile(const std::string& name)
{
    struct stat st
    {
    };
    if (::stat(name.c_str(), &st) != 0)
        return true;
    if (WriteFileAttributes(name, faArchive, false) != 0)
        return false;
    return ::unlink(name.c_str()) == 0;
}

bool DeleteFileIfExists(const std::string& name)
{
    struct stat st
    {
    };
    if (::stat(name.c_str(), &st) != 0)
        return true;
    return ::unlink(name.c_str()) == 0;
}

int DeleteFiles(const std::string& dir, const std::string& mask)
{
    return DeleteMatchingFiles(dir, mask, [](const TSearchRec&) { return true; });
}

int DeleteOlderFiles(const std::string& dir, const std::string& mask, TDateTime date)
{
    return DeleteMatchingFiles(dir, mask, [date](const TSearchRec& sr) {
        return UtcToLocal(FileTimeToDateTime(sr.FindData.LastWriteTime)) < date;
    });
}

bool DeleteDirectory(const std::string& dir, bool removeDir)
{
    std::string top = WithoutSlash(dir);
    struct stat lst
    {
    };
    if (::lstat(top.c_str(), &lst) != 0)
        return true; // nothing to delete
    if (S_ISLNK(lst.st_mode)) {
        // A linked folder is removed as the link; what it points at is never touched.
        struct stat st
        {
        };
        if (::stat(top.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
            return true;
        return !removeDir || ::unlink(top.c_str()) == 0;
    }
    if (!S_ISDIR(lst.st_mode))
        return true;
    int fd = ::open(top.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return false;
    TDeleteCounters c;
    bool allFiles = DeleteTreeAt(fd, lst.st_dev, c);
    if (allFiles && c.Failed == 0 && removeDir) {
        WriteFileAttributes(top, 0, false);
        if (::rmdir(top.c_str()) == 0)
            ++c.Removed;
        else
            ++c.Failed;
    }
    return c.Failed == 0;
}

int CountFiles(const std::string& dir, bool recursive, const std::string& ext)
{
    std::string e = ext;
    if (!e.empty() && e[0] == '.')
        e = e.substr(1);
    std::string pattern = e.empty() ? "*.*" : "*." + e;
    return CountFilesIn(WithSlash(dir), recursive, pattern);
}

bool IsDirectory(const std::string& path)
{
    TPosixFileData d;
    return ReadFileData(WithoutSlash(path), false, d) == 0 && (d.Attr & faDirectory);
}

bool IsEmptyDirectory(const std::string& dir)
{
    return CountEntries(dir, false) <= 0;
}

bool HasNoSubDirs(const std::string& dir)
{
    return CountEntries(dir, true) <= 0;
}

bool CheckDirAccess(const std::string& dir, uint32_t& errCode)
{
    struct stat st
    {
    };
    if (::stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        errCode = WinError::ERROR_PATH_NOT_FOUND;
        return false;
    }
    DIR* d = ::opendir(dir.c_str());
    if (!d) {
        errCode = LastWinError();
        return false;
    }
    ::closedir(d);
    errCode = 0;
    return true;
}

bool IsDirAccessible(const std::string& dir)
{
    uint32_t code;
    return CheckDirAccess(dir, code);
}

bool IsPathMissing(const std::string& path)
{
    TPosixFileData d;
    uint32_t rc = ReadFileData(path, false, d);
    if (rc == 0)
        return false;
    return rc == WinError::ERROR_FILE_NOT_FOUND || rc == WinError::ERROR_PATH_NOT_FOUND ||
           rc == WinError::ERROR_INVALID_NAME;
}
