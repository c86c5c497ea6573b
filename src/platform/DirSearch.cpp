#include "platform/DirSearch.h"

#include <cctype>
#include <cerrno>
#include <ctime>
#include <dirent.h>
#include <sys/stat.h>

#include "platform/ErrorCodes.h"

struct TDirSearchState
{
    DIR* Dir = nullptr;
    std::string Mask;
    bool Single = false; // a name without wildcards: reported once
    ~TDirSearchState()
    {
        if (Dir)
            ::closedir(Dir);
    }
};

namespace {

char Lower(char c)
{
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

bool WildMatch(const char* n, const char* m)
{
    // Iterative matcher with one backtrack point for '*'.
    const char* starM = nullptr;
    const char* starN = nullptr;
    while (*n) {
        if (*m == '*') {
            starM = ++m;
            starN = n;
        } else if (*m == '?' || (*m && Lower(*m) == Lower(*n))) {
            ++m;
            ++n;
        } else if (starM) {
            m = starM;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (*m == '*')
        ++m;
    return *m == 0;
}

bool HasWildcards(const std::string& s)
{
    return s.find_first_of("*?") != std::string::npos;
}

bool Accept(TSearchRec& f, const std::string& name)
{
    std::string full = f.Folder + name;
    TPosixFileData data;
    if (ReadFileData(full, false, data) != 0)
        return false; // vanished meanwhile or unreadable
    if (static_cast<int>(data.Attr & static_cast<uint32_t>(f.ExcludeAttr)))
        return false;
    f.Name = name;
    f.Attr = static_cast<int>(data.Attr);
    f.Size = data.Size;
    f.Time = static_cast<int32_t>(FileTimeToLocalDos(data.LastWriteTime));
    f.FindData = data;
    return true;
}

} // namespace

bool DirSearchMatches(const std::string& name, const std::string& mask)
{
    if (mask.empty())
        return false;
    if (mask == "*" || mask == "*.*")
        return true;
    if (WildMatch(name.c_str(), mask.c_str()))
        return true;
    // "name.*" also matches "name" (no extension).
    if (mask.size() >= 2 && mask.compare(mask.size() - 2, 2, ".*") == 0) {
        auto dot = name.find_last_of('.');
        bool noExt = dot == std::string::npos || dot == 0;
        if (noExt && WildMatch(name.c_str(), mask.substr(0, mask.size() - 2).c_str()))
            return true;
    }
    return false;
}

uint32_t FileTimeToLocalDos(FILETIME ft)
{
    int64_t sec, nsec;
    FileTimeToUnixNs(ft, sec, nsec);
    time_t t = static_cast<time_t>(sec);
    struct tm tm
    {
    };
    if (!::localtime_r(&t, &tm))
        return 0;
    int year = tm.tm_year + 1900;
    if (year < 1980 || year > 2107)
        return 0;
    uint32_t date = static_cast<uint32_t>(((year - 1980) << 9) | ((tm.tm_mon + 1) << 5) | tm.tm_mday);
    uint32_t time = static_cast<uint32_t>((tm.tm_hour << 11) | (tm.tm_min << 5) | (tm.tm_sec / 2));
    return (date << 16) | time;
}

int FindFirst(const std::string& path, int attr, TSearchRec& f)
{
    FindClose(f);
    f = TSearchRec{};
    f.ExcludeAttr =
        static_cast<int>(~static_cast<uint32_t>(attr) & (faHidden | faSysFile | faVolumeID | faDirectory));
    auto slash = path.find_last_of('/');
    std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    std::string mask = slash == std::string::npos ? path : path.substr(slash + 1);
    f.Folder = folder;
    auto state = std::make_shared<TDirSearchState>();
    state->Mask = mask;
    f.State = state;
    if (mask.empty())
        return static_cast<int>(WinError::ERROR_FILE_NOT_FOUND);
    if (!HasWildcards(mask)) {
        state->Single = true;
        TPosixFileData data;
        uint32_t rc = ReadFileData(path, false, data);
        if (rc != 0)
            return static_cast<int>(rc);
        if (!Accept(f, mask))
            return static_cast<int>(WinError::ERROR_FILE_NOT_FOUND);
        return 0;
    }
    state->Dir = ::opendir(folder.empty() ? "." : folder.c_str());
    if (!state->Dir) {
        int err = errno;
        return static_cast<int>(err == ENOENT ? WinError::ERROR_PATH_NOT_FOUND : ErrnoToWinError(err));
    }
    int rc = FindNext(f);
    return rc == static_cast<int>(WinError::ERROR_NO_MORE_FILES)
               ? static_cast<int>(WinError::ERROR_FILE_NOT_FOUND)
               : rc;
}

int FindNext(TSearchRec& f)
{
    if (!f.State || f.State->Single || !f.State->Dir)
        return static_cast<int>(WinError::ERROR_NO_MORE_FILES);
    for (;;) {
        errno = 0;
        struct dirent* e = ::readdir(f.State->Dir);
        if (!e) {
            if (errno != 0)
                return static_cast<int>(LastWinError());
            return static_cast<int>(WinError::ERROR_NO_MORE_FILES);
        }
        std::string name = e->d_name;
        if (!DirSearchMatches(name, f.State->Mask))
            continue;
        if (Accept(f, name))
            return 0;
    }
}

void FindClose(TSearchRec& f)
{
    f.State.reset();
}
