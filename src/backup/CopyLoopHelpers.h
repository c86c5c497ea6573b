#pragma once
// Helpers that the parts of the copy loop share: log indents, name parts of paths, folder entries.

#include <cctype>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <string>
#include <vector>

#include "backup/CopyLoop.h"
#include "foundation/FileUtilsTimes.h"
#include "foundation/QvUtilsTexts.h"
#include "foundation/StringUtils.h"
#include "platform/ErrorCodes.h"
#include "platform/PosixFiles.h"

namespace copyloop {

constexpr const char* Indent = "      ";
constexpr const char* DeepIndent = "         ";

inline std::string FileNameOf(const std::string& path)
{
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The extension with its dot, looked for in the name only.
inline std::string FileExtOf(const std::string& path)
{
    std::string name = FileNameOf(path);
    size_t dot = name.rfind('.');
    return dot == std::string::npos || dot == 0 ? std::string() : name.substr(dot);
}

inline std::string StripDelimiter(const std::string& path)
{
    if (path.size() > 1 && path.back() == '/')
        return path.substr(0, path.size() - 1);
    return path;
}

inline TFileTimestamps TimestampsOf(const TPosixFileData& data)
{
    TFileTimestamps ts;
    ts.Valid = true;
    ts.CreationTime = data.CreationTime;
    ts.LastAccessTime = data.LastAccessTime;
    ts.LastWriteTime = data.LastWriteTime;
    return ts;
}

// head + tail, written so that GCC 12's overlap warning for a literal put before a temporary string
// has nothing to report
inline std::string Joined(const char* head, const std::string& tail)
{
    std::string text(head);
    text += tail;
    return text;
}

inline std::string AttrText(uint32_t attr)
{
    return Joined(" ", FileAttrToStr(attr));
}

inline std::string TimeText(FILETIME ft)
{
    return TimeStampToStr(FileTimeToLocalDateTime(ft));
}

// The version number as text: two digits when more than nine versions are kept.
inline std::string VersionDigits(int k, bool twoDigits)
{
    std::string s = std::to_string(k);
    if (twoDigits && s.size() < 2)
        s = "0" + s;
    return s;
}

// The entries of a folder, "." and ".." left out; 0 or a Windows-style code.
inline int ReadFolderEntries(const std::string& dir, std::vector<TFolderEntry>& entries)
{
    entries.clear();
    DIR* d = ::opendir(dir.c_str());
    if (!d) {
        int err = errno;
        return static_cast<int>(err == ENOENT ? WinError::ERROR_PATH_NOT_FOUND : ErrnoToWinError(err));
    }
    for (;;) {
        errno = 0;
        struct dirent* e = ::readdir(d);
        if (!e)
            break;
        if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0)
            continue;
        entries.push_back({e->d_name, e->d_type});
    }
    int err = errno;
    ::closedir(d);
    return err == 0 ? 0 : static_cast<int>(ErrnoToWinError(err));
}

// The engine writes a copy under a hidden name beside its destination: "." + name + "." + eight
// hexadecimal digits + ".part". Such a file outlives only a run that was killed.
inline bool IsEnginePartName(const std::string& name)
{
    constexpr size_t tail = 1 + 8 + 5; // ".xxxxxxxx.part"
    if (name.size() < 2 + tail || name[0] != '.' || name.compare(name.size() - 5, 5, ".part") != 0)
        return false;
    size_t dot = name.size() - tail;
    if (name[dot] != '.')
        return false;
    for (size_t i = dot + 1; i < dot + 9; ++i)
        if (!std::isxdigit(static_cast<unsigned char>(name[i])) ||
            std::isupper(static_cast<unsigned char>(name[i])))
            return false;
    return true;
}

// The longest leading part of name that fits into size bytes without splitting a UTF-8 sequence.
inline std::string Utf8Prefix(const std::string& name, size_t size)
{
    if (name.size() <= size)
        return name;
    size_t cut = size;
    while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80)
        --cut;
    return name.substr(0, cut);
}

constexpr size_t MaxNameBytes = 255;

} // namespace copyloop
