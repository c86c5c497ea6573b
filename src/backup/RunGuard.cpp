#include "backup/RunGuard.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <sys/stat.h>

#include "rtl/Gettext.h"

namespace {

std::string WithoutDelimiter(std::string path)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

std::string ParentOf(const std::string& path)
{
    size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return std::string();
    if (slash == 0)
        return path.size() > 1 ? "/" : std::string();
    return path.substr(0, slash);
}

// The path with links resolved, or the text itself when it cannot be resolved.
std::string Resolved(const std::string& path)
{
    char buffer[PATH_MAX];
    if (::realpath(path.c_str(), buffer))
        return buffer;
    return path;
}

bool TextWithin(const std::string& path, const std::string& folder)
{
    if (folder == "/")
        return path.size() > 1 && path[0] == '/';
    return path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 &&
           path[folder.size()] == '/';
}

} // namespace

void TRunGuard::Clear()
{
    FSources.clear();
    FSourcePaths.clear();
    FHolders.clear();
    FFolderCache.clear();
    FRefusals = 0;
}

void TRunGuard::AddSource(const std::string& dir)
{
    if (dir.empty())
        return;
    FFolderCache.clear();
    std::string text = WithoutDelimiter(dir);
    std::string real = WithoutDelimiter(Resolved(text));
    for (const std::string& p : {text, real})
        if (!p.empty() && std::find(FSourcePaths.begin(), FSourcePaths.end(), p) == FSourcePaths.end())
            FSourcePaths.push_back(p);
    struct stat st
    {
    };
    if (::stat(real.c_str(), &st) != 0)
        return;
    TId id{st.st_dev, st.st_ino};
    if (!IsSource(id))
        FSources.push_back(id);
    for (std::string p = ParentOf(real); !p.empty(); p = ParentOf(p)) {
        if (::stat(p.c_str(), &st) == 0) {
            TId h{st.st_dev, st.st_ino};
            if (!Holds(h))
                FHolders.push_back(h);
        }
        if (p == "/")
            break;
    }
}

bool TRunGuard::IsSource(const TId& id) const
{
    for (const auto& s : FSources)
        if (s == id)
            return true;
    return false;
}

bool TRunGuard::Holds(const TId& id) const
{
    for (const auto& h : FHolders)
        if (h == id)
            return true;
    return false;
}

bool TRunGuard::TextInsideSource(const std::string& path, bool& equal, bool& holds) const
{
    equal = holds = false;
    bool inside = false;
    for (const auto& s : FSourcePaths) {
        if (path == s)
            equal = true;
        else if (TextWithin(path, s))
            inside = true;
        else if (TextWithin(s, path))
            holds = true;
    }
    return inside;
}

bool TRunGuard::FolderInSource(const std::string& dir) const
{
    auto it = FFolderCache.find(dir);
    if (it != FFolderCache.end())
        return it->second;
    bool inside = false;
    bool equal = false, holds = false;
    std::string real = WithoutDelimiter(Resolved(dir));
    if (TextInsideSource(real, equal, holds) || equal || TextInsideSource(dir, equal, holds) || equal) {
        inside = true;
    } else {
        struct stat st
        {
        };
        for (std::string p = real; !p.empty(); p = ParentOf(p)) {
            if (::stat(p.c_str(), &st) == 0 && IsSource(TId{st.st_dev, st.st_ino})) {
                inside = true;
                break;
            }
            if (p == "/")
                break;
        }
    }
    FFolderCache.emplace(dir, inside);
    return inside;
}

TRunGuard::TRefusal TRunGuard::Check(const std::string& path) const
{
    if (FSources.empty() && FSourcePaths.empty())
        return rfNone;
    std::string p = WithoutDelimiter(path);
    struct stat st
    {
    };
    if (::lstat(p.c_str(), &st) == 0) {
        // A link goes as the link: what it points to stays, so only its folder matters.
        if (S_ISDIR(st.st_mode)) {
            TId id{st.st_dev, st.st_ino};
            if (IsSource(id))
                return rfSourceFolder;
            if (Holds(id))
                return rfHoldsSource;
        }
    } else {
        bool equal = false, holds = false;
        bool inside = TextInsideSource(p, equal, holds);
        if (equal)
            return rfSourceFolder;
        if (inside)
            return rfInsideSource;
        if (holds)
            return rfHoldsSource;
    }
    std::string parent = ParentOf(p);
    if (!parent.empty() && FolderInSource(parent))
        return rfInsideSource;
    return rfNone;
}

std::string TRunGuard::RefusalText(TRefusal refusal)
{
    switch (refusal) {
    case rfSourceFolder:
        return _("it is a source folder of the task");
    case rfInsideSource:
        return _("it lies inside a source folder of the task");
    case rfHoldsSource:
        return _("it holds a source folder of the task");
    case rfNone:
        break;
    }
    return std::string();
}

std::string SourceDestinationConflict(const std::string& src, const std::string& dest, bool holdsAllowed)
{
    if (src.empty() || dest.empty())
        return std::string();
    TRunGuard guard;
    guard.AddSource(src);
    TRunGuard::TRefusal r = guard.Check(dest);
    if (r == TRunGuard::rfSourceFolder)
        return _("The destination folder is the source folder");
    if (r == TRunGuard::rfHoldsSource && !holdsAllowed)
        return _("The source folder lies inside the destination folder");
    return std::string();
}
