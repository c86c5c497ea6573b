#include "platform/RegistryStore.h"

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/ErrorCodes.h"
#include "platform/XdgDirs.h"

namespace {

std::string gMachineFile;

struct TRegSection
{
    std::string Name;
    std::vector<std::pair<std::string, std::string>> Values;
};

bool SameText(const std::string& a, const std::string& b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z')
            x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z')
            y = static_cast<char>(y - 'A' + 'a');
        if (x != y)
            return false;
    }
    return true;
}

std::string Trim(const std::string& s)
{
    size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t'))
        ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\r'))
        --e;
    return s.substr(b, e - b);
}

std::vector<TRegSection> Load(const std::string& file)
{
    std::vector<TRegSection> result;
    std::ifstream in(file, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        std::string t = Trim(line);
        if (t.empty() || t[0] == ';' || t[0] == '#')
            continue;
        if (t.front() == '[' && t.back() == ']') {
            result.push_back({t.substr(1, t.size() - 2), {}});
            continue;
        }
        auto eq = t.find('=');
        if (eq == std::string::npos || result.empty())
            continue;
        result.back().Values.emplace_back(Trim(t.substr(0, eq)), Trim(t.substr(eq + 1)));
    }
    return result;
}

uint32_t Save(const std::string& file, const std::vector<TRegSection>& sections)
{
    auto slash = file.find_last_of('/');
    if (slash != std::string::npos && slash > 0) {
        std::string dir = file.substr(0, slash);
        // Only the last level is created: the configuration folder itself normally exists.
        struct stat st
        {
        };
        if (::stat(dir.c_str(), &st) != 0 && ::mkdir(dir.c_str(), 0700) != 0)
            return LastWinError();
    }
    std::ostringstream out;
    for (const auto& s : sections) {
        out << "[" << s.Name << "]\n";
        for (const auto& [k, v] : s.Values)
            out << k << "=" << v << "\n";
        out << "\n";
    }
    std::string text = out.str();
    std::string temp = file + ".tmp";
    FILE* f = std::fopen(temp.c_str(), "wb");
    if (!f)
        return LastWinError();
    bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    ok = std::fclose(f) == 0 && ok;
    if (!ok) {
        uint32_t rc = LastWinError();
        ::unlink(temp.c_str());
        return rc ? rc : WinError::ERROR_WRITE_FAULT;
    }
    if (::rename(temp.c_str(), file.c_str()) != 0) {
        uint32_t rc = LastWinError();
        ::unlink(temp.c_str());
        return rc;
    }
    return 0;
}

TRegSection* FindSection(std::vector<TRegSection>& sections, const std::string& key)
{
    for (auto& s : sections)
        if (SameText(s.Name, key))
            return &s;
    return nullptr;
}

} // namespace

std::string RegistryFileName(TRegRoot root)
{
    if (root == TRegRoot::CurrentUser)
        return XdgConfigHome() + "/Vastrel6.reg";
    return gMachineFile.empty() ? std::string("/etc/xdg/Vastrel6.reg") : gMachineFile;
}

void SetMachineRegistryFile(const std::string& fileName)
{
    gMachineFile = fileName;
}

bool RegReadString(TRegRoot root, const std::string& key, const std::string& name, std::string& value)
{
    value.clear();
    auto sections = Load(RegistryFileName(root));
    TRegSection* s = FindSection(sections, key);
    if (!s)
        return false;
    for (auto& [k, v] : s->Values) {
        if (SameText(k, name)) {
            value = v;
            return true;
        }
    }
    return false;
}

bool RegKeyExists(TRegRoot root, const std::string& key)
{
    auto sections = Load(RegistryFileName(root));
    return FindSection(sections, key) != nullptr;
}

uint32_t RegWriteString(TRegRoot root, const std::string& key, const std::string& name,
                        const std::string& value)
{
    if (value.find('\n') != std::string::npos || name.find('=') != std::string::npos)
        return WinError::ERROR_INVALID_PARAMETER;
    std::string file = RegistryFileName(root);
    auto sections = Load(file);
    TRegSection* s = FindSection(sections, key);
    if (!s) {
        sections.push_back({key, {}});
        s = &sections.back();
    }
    bool found = false;
    for (auto& [k, v] : s->Values) {
        if (SameText(k, name)) {
            v = value;
            found = true;
            break;
        }
    }
    if (!found)
        s->Values.emplace_back(name, value);
    return Save(file, sections);
}

uint32_t RegDeleteValue(TRegRoot root, const std::string& key, const std::string& name)
{
    std::string file = RegistryFileName(root);
    auto sections = Load(file);
    TRegSection* s = FindSection(sections, key);
    if (!s)
        return WinError::ERROR_FILE_NOT_FOUND;
    for (auto it = s->Values.begin(); it != s->Values.end(); ++it) {
        if (SameText(it->first, name)) {
            s->Values.erase(it);
            return Save(file, sections);
        }
    }
    return WinError::ERROR_FILE_NOT_FOUND;
}
