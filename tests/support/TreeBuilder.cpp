#include "support/TreeBuilder.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

[[noreturn]] void Fail(const std::string& what, const fs::path& path, int err = 0)
{
    std::string msg = what + " \"" + path.string() + "\"";
    if (err)
        msg += std::string(": ") + std::strerror(err);
    throw std::runtime_error(msg);
}

void CreateEntry(const fs::path& root, const TreeEntry& entry)
{
    if (entry.path.empty() || entry.path.front() == '/')
        throw std::runtime_error("tree entry needs a relative path: \"" + entry.path + "\"");
    fs::path target = root / entry.path;
    bool isFolder = entry.kind == TreeEntry::Kind::Auto && entry.path.back() == '/';
    std::error_code ec;
    if (isFolder) {
        fs::create_directories(target, ec);
        if (ec)
            Fail("cannot create folder", target, ec.value());
        return;
    }
    fs::create_directories(target.parent_path(), ec);
    if (ec)
        Fail("cannot create folder", target.parent_path(), ec.value());
    if (entry.kind == TreeEntry::Kind::Symlink) {
        if (::unlink(target.c_str()) != 0 && errno != ENOENT)
            Fail("cannot replace", target, errno);
        if (::symlink(entry.content.c_str(), target.c_str()) != 0)
            Fail("cannot create symbolic link", target, errno);
        return;
    }
    WriteFileBytes(target, entry.content);
}

template <class Range> void Build(const fs::path& root, const Range& entries)
{
    std::error_code ec;
    fs::create_directories(root, ec);
    if (ec)
        Fail("cannot create folder", root, ec.value());
    for (const TreeEntry& entry : entries)
        CreateEntry(root, entry);
    // Deepest entries first, so setting a folder's time comes after anything that touches it.
    std::vector<const TreeEntry*> timed;
    for (const TreeEntry& entry : entries)
        if (entry.mtime)
            timed.push_back(&entry);
    std::stable_sort(timed.begin(), timed.end(),
                     [](const TreeEntry* a, const TreeEntry* b) { return a->path.size() > b->path.size(); });
    for (const TreeEntry* entry : timed)
        SetFileMTime(root / entry->path, *entry->mtime);
}

void ReadFolder(const fs::path& folder, const std::string& prefix, TreeMap& result)
{
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::string name = prefix + it->path().filename().string();
        fs::file_status status = it->symlink_status(ec);
        if (ec)
            Fail("cannot stat", it->path(), ec.value());
        if (fs::is_symlink(status)) {
            result[name] = "-> " + fs::read_symlink(it->path()).string();
        } else if (fs::is_directory(status)) {
            result[name + "/"] = "";
            ReadFolder(it->path(), name + "/", result);
        } else {
            result[name] = ReadFileBytes(it->path());
        }
    }
    if (ec)
        Fail("cannot list folder", folder, ec.value());
}

} // namespace

void BuildTree(const fs::path& root, std::initializer_list<TreeEntry> entries)
{
    Build(root, entries);
}

void BuildTree(const fs::path& root, const std::vector<TreeEntry>& entries)
{
    Build(root, entries);
}

TreeMap ReadTree(const fs::path& root)
{
    TreeMap result;
    ReadFolder(root, "", result);
    return result;
}

int64_t FileMTime(const fs::path& path)
{
    struct stat st
    {
    };
    if (::lstat(path.c_str(), &st) != 0)
        Fail("cannot stat", path, errno);
    return static_cast<int64_t>(st.st_mtim.tv_sec);
}

void SetFileMTime(const fs::path& path, int64_t unixSeconds)
{
    struct timespec times[2];
    times[0].tv_sec = static_cast<time_t>(unixSeconds);
    times[0].tv_nsec = 0;
    times[1] = times[0];
    if (::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0)
        Fail("cannot set the time of", path, errno);
}
