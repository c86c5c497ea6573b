#include "foundation/InitProg.h"

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include "rtl/DateTime.h"
#include "rtl/Gettext.h"

#ifndef VASTREL_VERSION
#define VASTREL_VERSION ""
#endif
#ifndef VASTREL_INSTALL_PREFIX
#define VASTREL_INSTALL_PREFIX "/usr/local"
#endif

std::string ProgramDir;
std::string ProgramName;
std::string SettingsSubPath;
std::string ProgInternalName;
std::string ProgVersion;
std::string ProgNotice;
std::string ProgVersionText;

namespace {

std::string ExecutablePath()
{
    char buffer[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : std::string();
}

std::string HomeDir()
{
    const char* home = std::getenv("HOME");
    if (home && *home)
        return home;
    if (passwd* pw = getpwuid(getuid()))
        return pw->pw_dir;
    return "";
}

} // namespace

void InitProgramLocation()
{
    std::string exe = ExecutablePath();
    size_t slash = exe.rfind('/');
    ProgramDir = slash == std::string::npos ? "./" : exe.substr(0, slash + 1);
    std::string name = slash == std::string::npos ? exe : exe.substr(slash + 1);
    size_t dot = name.rfind('.');
    ProgramName = (dot == std::string::npos || dot == 0) ? name : name.substr(0, dot);
}

namespace {
struct LocationInit
{
    LocationInit() { InitProgramLocation(); }
} locationInit;
} // namespace

std::string GetAppDataFolder()
{
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && *xdg == '/')
        return xdg;
    std::string home = HomeDir();
    return home.empty() ? "" : home + "/.config";
}

void GetAppDataSubFolder(const std::string& SubPath, bool Force, std::string& Dir)
{
    std::string base = GetAppDataFolder();
    if (base.empty()) {
        Dir = ProgramDir;
        return;
    }
    Dir = base + "/" + SubPath;
    if (Force) {
        std::error_code ec;
        std::filesystem::create_directories(Dir, ec);
        if (!std::filesystem::is_directory(Dir, ec))
            Dir = ProgramDir;
    }
}

std::string GetPersonalFolder()
{
    std::string home = HomeDir();
    if (home.empty())
        return "";
    // user-dirs.dirs is read by the placeholder expander; the common default suffices here.
    const char* xdg = std::getenv("XDG_DOCUMENTS_DIR");
    if (xdg && *xdg == '/')
        return xdg;
    return home + "/Documents";
}

std::string GetProgramFilesFolder()
{
    return VASTREL_INSTALL_PREFIX;
}

std::string MakeVersionText(const std::string& Version, int Parts)
{
    std::string v = Version;
    int dots = 0;
    for (size_t i = 0; i < v.size(); ++i)
        if (v[i] == '.' && ++dots >= Parts) {
            v.resize(i);
            break;
        }
    return _("Version") + " " + v;
}

std::string GetProgVersionText(int Parts, const std::string& Default)
{
    std::string version = ProgVersion.empty() ? std::string(VASTREL_VERSION) : ProgVersion;
    return MakeVersionText(version.empty() ? Default : version, Parts);
}

void InitProgInfo(const std::string& DefName, const std::string& DefVersion, const std::string& DefNotice,
                  int Parts, std::string& Title, std::string& ExeDate)
{
    ProgInternalName = DefName;
    ProgVersion = std::string(VASTREL_VERSION).empty() ? DefVersion : std::string(VASTREL_VERSION);
    ProgNotice = DefNotice;
    ProgVersionText = GetProgVersionText(Parts, "0.0.0.0");
    Title = ProgInternalName + " (" + ProgVersionText + ")";
    ExeDate.clear();
    struct stat st;
    std::string exe = ExecutablePath();
    if (!exe.empty() && stat(exe.c_str(), &st) == 0)
        ExeDate = DateToStr(UnixToLocalDateTime(st.st_mtime));
}
