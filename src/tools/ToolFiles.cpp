#include "tools/ToolFiles.h"

#include <algorithm>
#include <dirent.h>
#include <sys/stat.h>

bool ListToolDir(const std::string& dir, std::vector<TToolDirEntry>& entries)
{
    entries.clear();
    DIR* d = ::opendir(dir.c_str());
    if (!d)
        return false;
    std::string base = dir;
    if (base.empty() || base.back() != '/')
        base += '/';
    while (const dirent* e = ::readdir(d)) {
        const std::string name = e->d_name;
        if (name == "." || name == "..")
            continue;
        struct stat st
        {
        };
        if (::lstat((base + name).c_str(), &st) != 0)
            continue; // vanished meanwhile
        TToolDirEntry entry;
        entry.Name = name;
        entry.IsLink = S_ISLNK(st.st_mode);
        entry.IsDir = S_ISDIR(st.st_mode);
        entry.Size = entry.IsDir ? 0 : static_cast<int64_t>(st.st_size);
        entry.MTime = static_cast<int64_t>(st.st_mtim.tv_sec);
        entry.Mode = st.st_mode;
        entries.push_back(std::move(entry));
    }
    ::closedir(d);
    std::sort(entries.begin(), entries.end(),
              [](const TToolDirEntry& a, const TToolDirEntry& b) { return a.Name < b.Name; });
    return true;
}

bool IsToolLink(const std::string& path)
{
    std::string p = path;
    while (p.size() > 1 && p.back() == '/')
        p.pop_back();
    struct stat st
    {
    };
    return ::lstat(p.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

bool IsToolDir(const std::string& path)
{
    std::string p = path;
    while (p.size() > 1 && p.back() == '/')
        p.pop_back();
    struct stat st
    {
    };
    return ::lstat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}
