#include "platform/XdgDirs.h"

#include <cstdlib>
#include <fstream>
#include <pwd.h>
#include <sstream>
#include <unistd.h>
#include <vector>

namespace {

std::string Env(const char* name)
{
    const char* v = std::getenv(name);
    return v ? std::string(v) : std::string();
}

std::string StripSlash(std::string s)
{
    while (s.size() > 1 && s.back() == '/')
        s.pop_back();
    return s;
}

// An XDG variable counts only when it holds an absolute path.
std::string AbsEnv(const char* name)
{
    std::string v = Env(name);
    return (!v.empty() && v[0] == '/') ? StripSlash(v) : std::string();
}

} // namespace

std::string HomeDir()
{
    std::string home = Env("HOME");
    if (!home.empty())
        return StripSlash(home);
    std::vector<char> buf(16384);
    struct passwd pw
    {
    };
    struct passwd* result = nullptr;
    if (::getpwuid_r(::getuid(), &pw, buf.data(), buf.size(), &result) == 0 && result && pw.pw_dir)
        return StripSlash(pw.pw_dir);
    return "/";
}

std::string XdgConfigHome()
{
    std::string v = AbsEnv("XDG_CONFIG_HOME");
    return v.empty() ? HomeDir() + "/.config" : v;
}

std::string XdgDataHome()
{
    std::string v = AbsEnv("XDG_DATA_HOME");
    return v.empty() ? HomeDir() + "/.local/share" : v;
}

std::string XdgCacheHome()
{
    std::string v = AbsEnv("XDG_CACHE_HOME");
    return v.empty() ? HomeDir() + "/.cache" : v;
}

std::string XdgRuntimeDir()
{
    return AbsEnv("XDG_RUNTIME_DIR");
}

std::string TempDir()
{
    std::string v = AbsEnv("TMPDIR");
    return v.empty() ? "/tmp" : v;
}

std::string ParseUserDirsLine(const std::string& text, const std::string& key, const std::string& home)
{
    std::istringstream in(text);
    std::string line;
    std::string result;
    while (std::getline(in, line)) {
        size_t i = 0;
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t'))
            ++i;
        if (i >= line.size() || line[i] == '#')
            continue;
        if (line.compare(i, key.size(), key) != 0 || line.size() <= i + key.size() ||
            line[i + key.size()] != '=')
            continue;
        std::string value = line.substr(i + key.size() + 1);
        while (!value.empty() && (value.back() == '\r' || value.back() == ' '))
            value.pop_back();
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
            value = value.substr(1, value.size() - 2);
        // Only "$HOME/…" and absolute paths are valid; backslash escapes a quote or backslash.
        std::string unescaped;
        for (size_t k = 0; k < value.size(); ++k) {
            if (value[k] == '\\' && k + 1 < value.size())
                ++k;
            unescaped.push_back(value[k]);
        }
        if (unescaped.compare(0, 5, "$HOME") == 0)
            result = home + unescaped.substr(5);
        else if (!unescaped.empty() && unescaped[0] == '/')
            result = unescaped;
    }
    return StripSlash(result);
}

std::string XdgUserDir(const std::string& kind)
{
    std::string key = "XDG_" + kind + "_DIR";
    std::string home = HomeDir();
    std::ifstream in(XdgConfigHome() + "/user-dirs.dirs");
    if (in) {
        std::ostringstream ss;
        ss << in.rdbuf();
        std::string v = ParseUserDirsLine(ss.str(), key, home);
        if (!v.empty())
            return v;
    }
    std::string env = AbsEnv(key.c_str());
    if (!env.empty())
        return env;
    if (kind == "DOCUMENTS")
        return home + "/Documents";
    if (kind == "DESKTOP")
        return home + "/Desktop";
    return home;
}

std::string DocumentsDir()
{
    return XdgUserDir("DOCUMENTS");
}

std::string DesktopDir()
{
    return XdgUserDir("DESKTOP");
}

std::string AutostartDir()
{
    return XdgConfigHome() + "/autostart";
}
