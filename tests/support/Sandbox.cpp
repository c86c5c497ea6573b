#include "support/Sandbox.h"

#include <cstdlib>
#include <stdexcept>
#include <system_error>

namespace fs = std::filesystem;

Sandbox::Sandbox()
{
    fs::path base = fs::temp_directory_path();
    std::string pattern = (base / "vastrel-test-XXXXXX").string();
    if (!::mkdtemp(pattern.data()))
        throw std::runtime_error("cannot create sandbox folder");
    FRoot = pattern;
    for (const char* d : {"home", "home/.config", "home/.local/share", "home/.cache", "home/.local/state",
                          "runtime", "home/Documents"})
        fs::create_directories(FRoot / d);
    fs::permissions(FRoot / "runtime", fs::perms::owner_all, fs::perm_options::replace);
    SetEnv("HOME", Path("home"));
    SetEnv("XDG_CONFIG_HOME", Path("home/.config"));
    SetEnv("XDG_DATA_HOME", Path("home/.local/share"));
    SetEnv("XDG_CACHE_HOME", Path("home/.cache"));
    SetEnv("XDG_STATE_HOME", Path("home/.local/state"));
    SetEnv("XDG_RUNTIME_DIR", Path("runtime"));
    SetEnv("XDG_DOCUMENTS_DIR", Path("home/Documents"));
}

Sandbox::~Sandbox()
{
    for (auto& [name, value] : FSavedEnv) {
        if (value)
            ::setenv(name.c_str(), value->c_str(), 1);
        else
            ::unsetenv(name.c_str());
    }
    std::error_code ec;
    // Make read-only folders of a test removable again.
    for (auto it = fs::recursive_directory_iterator(FRoot, fs::directory_options::skip_permission_denied, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (it->is_directory(ec) && !it->is_symlink(ec))
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    }
    fs::remove_all(FRoot, ec);
}

std::string Sandbox::Path(const std::string& relative) const
{
    return relative.empty() ? FRoot.string() : (FRoot / relative).string();
}

void Sandbox::SetEnv(const char* name, const std::string& value)
{
    if (!FSavedEnv.count(name)) {
        const char* old = std::getenv(name);
        FSavedEnv[name] = old ? std::optional<std::string>(old) : std::nullopt;
    }
    ::setenv(name, value.c_str(), 1);
}
