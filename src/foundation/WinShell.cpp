#include "foundation/WinShell.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

#include "foundation/FileUtils.h"
#include "foundation/FileUtilsOps.h"
#include "foundation/InitProg.h"
#include "platform/DesktopEntry.h"
#include "platform/ErrorCodes.h"
#include "platform/Trash.h"
#include "platform/XdgDirs.h"

namespace {

int32_t HResult(uint32_t code)
{
    return code == 0 ? S_OK : static_cast<int32_t>(0x80070000u | (code & 0xFFFFu));
}

bool EndsWith(const std::string& s, const std::string& tail)
{
    if (s.size() < tail.size())
        return false;
    for (size_t i = 0; i < tail.size(); ++i) {
        char a = s[s.size() - tail.size() + i];
        if (a >= 'A' && a <= 'Z')
            a = static_cast<char>(a - 'A' + 'a');
        if (a != tail[i])
            return false;
    }
    return true;
}

std::string BaseName(const std::string& path)
{
    auto slash = path.find_last_of('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    auto dot = name.find_last_of('.');
    return (dot == std::string::npos || dot == 0) ? name : name.substr(0, dot);
}

} // namespace

std::vector<std::string> SplitArguments(const std::string& text)
{
    std::vector<std::string> args;
    std::string cur;
    bool inArg = false, quoted = false;
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (quoted) {
            if (c == '"') {
                if (i + 1 < text.size() && text[i + 1] == '"') {
                    cur.push_back('"');
                    ++i;
                } else {
                    quoted = false;
                }
            } else {
                cur.push_back(c);
            }
        } else if (c == ' ' || c == '\t') {
            if (inArg) {
                args.push_back(cur);
                cur.clear();
                inArg = false;
            }
        } else {
            inArg = true;
            if (c == '"')
                quoted = true;
            else
                cur.push_back(c);
        }
    }
    if (inArg)
        args.push_back(cur);
    return args;
}

std::string JoinArguments(const std::vector<std::string>& args)
{
    std::string out;
    for (size_t i = 0; i < args.size(); ++i) {
        if (i)
            out.push_back(' ');
        const std::string& a = args[i];
        if (a.empty() || a.find_first_of(" \t\"") != std::string::npos) {
            out.push_back('"');
            for (char c : a) {
                if (c == '"')
                    out.push_back('"');
                out.push_back(c);
            }
            out.push_back('"');
        } else {
            out += a;
        }
    }
    return out;
}

std::string ShellLinkFileName(const std::string& linkName)
{
    if (EndsWith(linkName, ".desktop"))
        return linkName;
    if (EndsWith(linkName, ".lnk"))
        return linkName.substr(0, linkName.size() - 4) + ".desktop";
    return linkName + ".desktop";
}

int32_t CreateShellLink(const std::string& linkName, const std::string& target, const std::string& iconFile,
                        const std::string& arguments, const std::string& workDir,
                        const std::string& description, int /*iconIndex*/, bool runAsAdmin)
{
    if (target.empty())
        return HResult(WinError::ERROR_INVALID_PARAMETER);
    TDesktopEntry e;
    std::string file = ShellLinkFileName(linkName);
    e.Name = BaseName(file);
    e.Comment = description;
    e.Exec.push_back(target);
    for (auto& a : SplitArguments(arguments))
        e.Exec.push_back(a);
    e.Icon = iconFile;
    e.WorkDir = workDir;
    e.RunAsAdmin = runAsAdmin;
    return HResult(WriteDesktopEntry(file, e));
}

int32_t CreateShellLinkTargetIcon(const std::string& linkName, const std::string& target,
                                  const std::string& arguments, const std::string& workDir,
                                  const std::string& description, bool runAsAdmin)
{
    return CreateShellLink(linkName, target, target, arguments, workDir, description, 0, runAsAdmin);
}

int32_t MakeShortcut(const std::string& linkName, const std::string& target, const std::string& arguments,
                     bool runAsAdmin, const std::string& description, const std::string& workDir)
{
    return CreateShellLinkTargetIcon(linkName, target, arguments, workDir, description, runAsAdmin);
}

int32_t ReadShellLink(const std::string& linkName, std::string& target, std::string& arguments,
                      std::string& workDir, std::string& description, bool& runAsAdmin)
{
    target.clear();
    arguments.clear();
    workDir.clear();
    description.clear();
    runAsAdmin = false;
    std::string file = ShellLinkFileName(linkName);
    struct stat st
    {
    };
    if (::stat(file.c_str(), &st) != 0)
        return static_cast<int32_t>(WinError::ERROR_FILE_NOT_FOUND);
    TDesktopEntry e;
    if (uint32_t rc = ReadDesktopEntry(file, e))
        return HResult(rc);
    if (!e.Exec.empty()) {
        target = e.Exec[0];
        arguments = JoinArguments(std::vector<std::string>(e.Exec.begin() + 1, e.Exec.end()));
    }
    workDir = e.WorkDir;
    description = e.Comment;
    runAsAdmin = e.RunAsAdmin;
    return S_OK;
}

bool ReadShellLinkInfo(const std::string& linkName, std::string& target, std::string& arguments,
                       std::string& workDir, std::string& description)
{
    bool admin;
    return ReadShellLink(linkName, target, arguments, workDir, description, admin) == S_OK;
}

int32_t ShellItemDelete(void* /*owner*/, const std::string& fileName, bool toRecycleBin, bool /*silent*/)
{
    struct stat st
    {
    };
    if (::lstat(fileName.c_str(), &st) != 0)
        return HResult(LastWinError());
    if (S_ISDIR(st.st_mode))
        return HResult(WinError::ERROR_ACCESS_DENIED); // files only
    if (toRecycleBin)
        return HResult(MoveToTrash(fileName));
    return ::unlink(fileName.c_str()) == 0 ? S_OK : HResult(LastWinError());
}

int32_t ShellItemDeleteDir(void* /*owner*/, const std::string& dir, bool toRecycleBin, bool /*silent*/)
{
    std::string d = dir;
    while (d.size() > 1 && d.back() == '/')
        d.pop_back();
    struct stat st
    {
    };
    if (::lstat(d.c_str(), &st) != 0)
        return HResult(LastWinError());
    if (toRecycleBin)
        return HResult(MoveToTrash(d));
    return DeleteDirectory(d, true) ? S_OK : HResult(WinError::ERROR_ACCESS_DENIED);
}

int32_t ShellItemCopy(void* /*owner*/, const std::string& source, const std::string& dest, bool /*silent*/)
{
    try {
        CopyFileBuffered(source, dest, -1, 262144);
    } catch (const EExtFileStreamError& e) {
        return HResult(static_cast<uint32_t>(e.ErrorCode));
    }
    return S_OK;
}

int GetExeType(const std::string& fileName)
{
    if (EndsWith(fileName, ".desktop"))
        return 1;
    struct stat st
    {
    };
    if (::stat(fileName.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return 0;
    std::ifstream in(fileName, std::ios::binary);
    char head[4] = {};
    in.read(head, 4);
    if (in.gcount() >= 2 && head[0] == '#' && head[1] == '!')
        return (st.st_mode & 0111) ? 5 : 0;
    if (in.gcount() < 4 || head[0] != 0x7F || head[1] != 'E' || head[2] != 'L' || head[3] != 'F')
        return 0;
    // A program that links a window toolkit has a graphical interface.
    std::string data(static_cast<size_t>(std::min<off_t>(st.st_size, 8 << 20)), '\0');
    in.seekg(0);
    in.read(data.data(), static_cast<std::streamsize>(data.size()));
    for (const char* lib : {"libQt5Widgets", "libQt6Widgets", "libQt6Gui", "libQt5Gui", "libgtk-",
                            "libX11.so", "libwayland-client", "libSDL2"})
        if (data.find(lib) != std::string::npos)
            return 4;
    return 5;
}

bool IsConsoleApp(const std::string& fileName)
{
    return GetExeType(fileName) == 5;
}

// --- folders

std::string GetSpecialFolder(int csidl)
{
    const std::string prefix = GetProgramFilesFolder();
    std::string dir;
    switch (csidl & 0xFF) {
    case CSIDL_DESKTOP:
    case CSIDL_DESKTOPDIRECTORY:
        dir = DesktopDir();
        break;
    case CSIDL_PROGRAMS:
    case CSIDL_STARTMENU:
        dir = XdgDataHome() + "/applications";
        break;
    case CSIDL_PERSONAL:
        dir = DocumentsDir();
        break;
    case CSIDL_STARTUP:
        dir = AutostartDir();
        break;
    case CSIDL_MYMUSIC:
        dir = XdgUserDir("MUSIC");
        break;
    case CSIDL_MYVIDEO:
        dir = XdgUserDir("VIDEOS");
        break;
    case CSIDL_MYPICTURES:
        dir = XdgUserDir("PICTURES");
        break;
    case CSIDL_TEMPLATES:
        dir = XdgUserDir("TEMPLATES");
        break;
    case CSIDL_FONTS:
        dir = XdgDataHome() + "/fonts";
        break;
    case CSIDL_COMMON_STARTMENU:
    case CSIDL_COMMON_PROGRAMS:
        dir = "/usr/share/applications";
        break;
    case CSIDL_COMMON_STARTUP:
        dir = "/etc/xdg/autostart";
        break;
    case CSIDL_APPDATA:
        dir = XdgConfigHome();
        break;
    case CSIDL_LOCAL_APPDATA:
        dir = XdgDataHome();
        break;
    case CSIDL_INTERNET_CACHE:
        dir = XdgCacheHome();
        break;
    case CSIDL_COMMON_APPDATA:
        dir = "/var/lib";
        break;
    case CSIDL_COMMON_DOCUMENTS:
        dir = "/srv";
        break;
    case CSIDL_SYSTEM:
        dir = "/usr/bin";
        break;
    case CSIDL_PROGRAM_FILES:
        dir = prefix;
        break;
    case CSIDL_PROGRAM_FILES_COMMON:
        dir = prefix + "/share";
        break;
    case CSIDL_PROFILE:
        dir = HomeDir();
        break;
    default:
        break;
    }
    while (dir.size() > 1 && dir.back() == '/')
        dir.pop_back();
    errno = 0;
    return dir;
}

std::string GetKnownFolder(const std::string& folderId)
{
    std::string id;
    for (char c : folderId)
        if (c != '{' && c != '}')
            id += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    struct Known
    {
        const char* Id;
        int Csidl;
    };
    static const Known known[] = {
        {FOLDERID_Desktop, CSIDL_DESKTOPDIRECTORY},
        {FOLDERID_Documents, CSIDL_PERSONAL},
        {FOLDERID_Music, CSIDL_MYMUSIC},
        {FOLDERID_Pictures, CSIDL_MYPICTURES},
        {FOLDERID_Videos, CSIDL_MYVIDEO},
        {FOLDERID_Profile, CSIDL_PROFILE},
        {FOLDERID_RoamingAppData, CSIDL_APPDATA},
        {FOLDERID_LocalAppData, CSIDL_LOCAL_APPDATA},
        {FOLDERID_ProgramData, CSIDL_COMMON_APPDATA},
        {FOLDERID_Public, CSIDL_COMMON_DOCUMENTS},
        {FOLDERID_Startup, CSIDL_STARTUP},
        {FOLDERID_Templates, CSIDL_TEMPLATES},
        {FOLDERID_ProgramFiles, CSIDL_PROGRAM_FILES},
    };
    std::string wanted = "{" + id + "}";
    if (wanted == FOLDERID_Downloads) {
        std::string dir = XdgUserDir("DOWNLOAD");
        while (dir.size() > 1 && dir.back() == '/')
            dir.pop_back();
        return dir;
    }
    for (const auto& k : known)
        if (wanted == k.Id)
            return GetSpecialFolder(k.Csidl);
    return "";
}

std::string GetProgramFilesDir(int kind)
{
    int k = kind & 0x7F;
    if (k > 5)
        k = 0;
    return GetSpecialFolder(k % 2 == 0 ? CSIDL_PROGRAM_FILES : CSIDL_PROGRAM_FILES_COMMON);
}
