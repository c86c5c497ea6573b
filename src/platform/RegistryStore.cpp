#include "platform/RegistryStore.h"

#include <sstream>
#include <sys/stat.h>

#include "platform/ErrorCodes.h"
#include "platform/FileText.h"
#include "platform/XdgDirs.h"

namespace {

std::string gMachineFile;

struct TRegSection
{
    std::string Name;
    std::vector<std::pair<std::string, std::string>> Values;
};

std::vector<TRegSection> Load(const std::string& file)
{
    std::vector<TRegSection> result;
    for (auto& section : ParseIniText(ReadSmallFile(file))) {
        TRegSection s{std::move(section.Name), {}};
        for (const auto& line : section.Lines) {
            auto eq = line.find('=');
            if (eq != std::string::npos)
                s.Values.emplace_back(line.substr(0, eq), line.substr(eq + 1));
        }
        result.push_back(std::move(s));
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
    return ReplaceFileContents(file, out.str());
}

TRegSection* FindSection(std::vector<TRegSection>& sections, const std::string& key)
{
    for (auto& s : sections)
        if (SameTextAscii(s.Name, key))
            return &s;
    return nullptr;
}

} // namespace

std::string RegistryFileName(TRegRoot root)
{
    if (root == TRegRoot::User)
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
        if (SameTextAscii(k, name)) {
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
    if (value.find_first_of("\r\n") != std::string::npos || name.find_first_of("=\r\n") != std::string::npos)
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
        if (SameTextAscii(k, name)) {
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
        if (SameTextAscii(it->first, name)) {
            s->Values.erase(it);
            return Save(file, sections);
        }
    }
    return WinError::ERROR_FILE_NOT_FOUND;
}
