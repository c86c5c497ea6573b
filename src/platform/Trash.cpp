#include "platform/Trash.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/ErrorCodes.h"
#include "platform/FileText.h"
#include "platform/XdgDirs.h"

namespace {

std::string NameOf(const std::string& path)
{
    auto pos = path.find_last_of('/');
    return pos == std::string::npos ? path : path.substr(pos + 1);
}

// Creates Dir and its parents with the given mode.
bool MakeDirs(const std::string& dir, mode_t mode)
{
    struct stat st
    {
    };
    if (::stat(dir.c_str(), &st) == 0)
        return S_ISDIR(st.st_mode);
    std::string parent = ParentDirOf(dir);
    if (parent != dir && !MakeDirs(parent, 0700))
        return false;
    return ::mkdir(dir.c_str(), mode) == 0 || errno == EEXIST;
}

// The mount point (top folder) of the volume that holds Dir: the highest ancestor on the same device.
std::string TopDirOf(const std::string& dir, dev_t dev)
{
    std::string cur = dir;
    while (cur != "/") {
        std::string parent = ParentDirOf(cur);
        struct stat st
        {
        };
        if (::stat(parent.c_str(), &st) != 0 || st.st_dev != dev)
            break;
        cur = parent;
    }
    return cur;
}

bool PrepareTrash(const std::string& trash)
{
    return MakeDirs(trash, 0700) && MakeDirs(trash + "/files", 0700) && MakeDirs(trash + "/info", 0700);
}

// The trash of a volume other than the home trash's; empty when none can be used.
std::string VolumeTrash(const std::string& topDir)
{
    std::string uid = std::to_string(::getuid());
    std::string base = topDir == "/" ? "" : topDir;
    // $topdir/.Trash/$uid: only a real, sticky folder counts.
    struct stat st
    {
    };
    std::string shared = base + "/.Trash";
    if (::lstat(shared.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX)) {
        std::string t = shared + "/" + uid;
        if (PrepareTrash(t))
            return t;
    }
    std::string own = base + "/.Trash-" + uid;
    if (::lstat(own.c_str(), &st) == 0) {
        if (!S_ISDIR(st.st_mode) || st.st_uid != ::getuid())
            return {};
    }
    return PrepareTrash(own) ? own : std::string();
}

std::string DeletionDate()
{
    time_t now = ::time(nullptr);
    struct tm tm
    {
    };
    ::localtime_r(&now, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%S", &tm);
    return buf;
}

} // namespace

std::string HomeTrashDir()
{
    return XdgDataHome() + "/Trash";
}

std::string TrashEncodePath(const std::string& path)
{
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : path) {
        bool keep = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
                    c == '_' || c == '.' || c == '~' || c == '/' || c == '!' || c == '*' || c == '\'' ||
                    c == '(' || c == ')';
        if (keep) {
            out.push_back(static_cast<char>(c));
        } else {
            out.push_back('%');
            out.push_back(hex[c >> 4]);
            out.push_back(hex[c & 15]);
        }
    }
    return out;
}

uint32_t MoveToTrash(const std::string& path, std::string* trashedAs)
{
    if (trashedAs)
        trashedAs->clear();
    if (path.empty())
        return WinError::ERROR_INVALID_NAME;
    struct stat item
    {
    };
    if (::lstat(path.c_str(), &item) != 0)
        return LastWinError();
    // The item's own name stays (a link is trashed as a link); its folder is made absolute.
    std::string name = NameOf(path);
    while (!name.empty() && name.back() == '/')
        name.pop_back();
    if (name.empty() || name == "." || name == "..")
        return WinError::ERROR_INVALID_NAME;
    char buf[PATH_MAX];
    if (!::realpath(ParentDirOf(path).c_str(), buf))
        return LastWinError();
    std::string folder = buf;
    std::string absolute = (folder == "/" ? "" : folder) + "/" + name;

    std::string trash;
    std::string infoPath = absolute;
    struct stat st
    {
    };
    std::string home = HomeTrashDir();
    MakeDirs(XdgDataHome(), 0700);
    if (::stat(XdgDataHome().c_str(), &st) == 0 && st.st_dev == item.st_dev) {
        if (!PrepareTrash(home))
            return WinError::ERROR_ACCESS_DENIED;
        trash = home;
    } else {
        std::string top = TopDirOf(folder, item.st_dev);
        trash = VolumeTrash(top);
        if (trash.empty())
            return WinError::ERROR_ACCESS_DENIED;
        if (top != "/")
            infoPath = absolute.substr(top.size() + 1);
        else
            infoPath = absolute.substr(1);
    }

    // Reserve a unique name through its .trashinfo file.
    auto dot = name.find_last_of('.');
    std::string stem = (dot == std::string::npos || dot == 0) ? name : name.substr(0, dot);
    std::string ext = (dot == std::string::npos || dot == 0) ? "" : name.substr(dot);
    std::string trashName;
    std::string infoFile;
    int fd = -1;
    for (int n = 1; n < 100000; ++n) {
        trashName = n == 1 ? name : stem + "." + std::to_string(n) + ext;
        infoFile = trash + "/info/" + trashName + ".trashinfo";
        fd = ::open(infoFile.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0) {
            if (::lstat((trash + "/files/" + trashName).c_str(), &st) == 0) {
                ::close(fd); // left behind without info: keep it and try the next name
                ::unlink(infoFile.c_str());
                fd = -1;
                continue;
            }
            break;
        }
        if (errno != EEXIST)
            return LastWinError();
    }
    if (fd < 0)
        return WinError::ERROR_ALREADY_EXISTS;
    std::string info =
        "[Trash Info]\nPath=" + TrashEncodePath(infoPath) + "\nDeletionDate=" + DeletionDate() + "\n";
    bool written = ::write(fd, info.data(), info.size()) == static_cast<ssize_t>(info.size());
    int err = errno;
    ::close(fd);
    if (!written) {
        ::unlink(infoFile.c_str());
        return err ? ErrnoToWinError(err) : WinError::ERROR_WRITE_FAULT;
    }
    std::string target = trash + "/files/" + trashName;
    if (::rename(absolute.c_str(), target.c_str()) != 0) {
        uint32_t rc = LastWinError();
        ::unlink(infoFile.c_str());
        return rc;
    }
    if (trashedAs)
        *trashedAs = target;
    return 0;
}
