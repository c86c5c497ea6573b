#include "foundation/LangUtils.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <sstream>
#include <unistd.h>

#include "foundation/InitProg.h"
#include "rtl/Gettext.h"

std::string LanguageCfgFile;
std::string LanguageCode;
bool LanguageMaySave = true;

namespace {

std::vector<std::string> TextDomains{"vastrel"};
std::mutex HandlerMutex;
std::function<void(const std::string&)> LanguageChangedHandler;

std::string Trim(const std::string& s)
{
    size_t a = s.find_first_not_of(" \t\r\n");
    if (a == std::string::npos)
        return "";
    size_t b = s.find_last_not_of(" \t\r\n");
    return s.substr(a, b - a + 1);
}

std::string Lower(std::string s)
{
    for (char& c : s)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c + 32);
    return s;
}

// One value of a plain ini file (UTF-8, names compared ignoring case).
std::string ReadIniValue(const std::string& file, const std::string& section, const std::string& key)
{
    std::ifstream in(file);
    bool inSection = false;
    for (std::string line; std::getline(in, line);) {
        std::string t = Trim(line);
        if (t.size() >= 2 && t.front() == '[' && t.back() == ']') {
            inSection = Lower(t.substr(1, t.size() - 2)) == Lower(section);
            continue;
        }
        size_t eq = t.find('=');
        if (inSection && eq != std::string::npos && Lower(Trim(t.substr(0, eq))) == Lower(key))
            return Trim(t.substr(eq + 1));
    }
    return "";
}

// Writes one value, keeping every other line of the file.
bool WriteIniValue(const std::string& file, const std::string& section, const std::string& key,
                   const std::string& value)
{
    std::vector<std::string> lines;
    {
        std::ifstream in(file);
        for (std::string line; std::getline(in, line);) {
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            lines.push_back(line);
        }
    }
    int sectionStart = -1, sectionEnd = static_cast<int>(lines.size());
    for (int i = 0; i < static_cast<int>(lines.size()); ++i) {
        std::string t = Trim(lines[i]);
        if (t.size() >= 2 && t.front() == '[' && t.back() == ']') {
            if (sectionStart >= 0) {
                sectionEnd = i;
                break;
            }
            if (Lower(t.substr(1, t.size() - 2)) == Lower(section))
                sectionStart = i;
        }
    }
    std::string entry = key + "=" + value;
    if (sectionStart < 0) {
        if (!lines.empty() && !Trim(lines.back()).empty())
            lines.push_back("");
        lines.push_back("[" + section + "]");
        lines.push_back(entry);
    } else {
        bool done = false;
        for (int i = sectionStart + 1; i < sectionEnd && !done; ++i) {
            std::string t = Trim(lines[i]);
            size_t eq = t.find('=');
            if (eq != std::string::npos && Lower(Trim(t.substr(0, eq))) == Lower(key)) {
                lines[i] = entry;
                done = true;
            }
        }
        if (!done) {
            int at = sectionEnd;
            while (at > sectionStart + 1 && Trim(lines[at - 1]).empty())
                --at;
            lines.insert(lines.begin() + at, entry);
        }
    }
    std::error_code ec;
    std::filesystem::path path(file);
    if (path.has_parent_path())
        std::filesystem::create_directories(path.parent_path(), ec);
    std::string temp = file + ".tmp";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        for (auto& l : lines)
            out << l << "\n";
        if (!out.good())
            return false;
    }
    std::filesystem::rename(temp, file, ec);
    return !ec;
}

bool IsAbsolute(const std::string& path)
{
    return !path.empty() && path.front() == '/';
}

std::string FolderPart(const std::string& path)
{
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? "" : path.substr(0, slash + 1);
}

std::string NamePart(const std::string& path)
{
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string ChangeExt(const std::string& name, const std::string& ext)
{
    size_t dot = name.rfind('.');
    size_t slash = name.rfind('/');
    size_t start = slash == std::string::npos ? 0 : slash + 1;
    if (dot == std::string::npos || dot <= start)
        return name + ext;
    return name.substr(0, dot) + ext;
}

std::vector<std::string> ProgramArguments()
{
    std::vector<std::string> args;
    std::ifstream in("/proc/self/cmdline", std::ios::binary);
    std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    size_t start = 0;
    while (start < all.size()) {
        size_t end = all.find('\0', start);
        if (end == std::string::npos)
            end = all.size();
        args.push_back(all.substr(start, end - start));
        start = end + 1;
    }
    if (!args.empty())
        args.erase(args.begin());
    return args;
}

// "-name" is always an option; "/name" only when the name holds no further "/" and the argument
// does not name an existing file.
bool SplitOption(const std::string& arg, std::string& name, std::string& value, bool& hasValue)
{
    if (arg.empty() || (arg[0] != '-' && arg[0] != '/'))
        return false;
    std::string body = arg.substr(1);
    size_t colon = body.find(':');
    name = colon == std::string::npos ? body : body.substr(0, colon);
    hasValue = colon != std::string::npos;
    value = hasValue ? body.substr(colon + 1) : "";
    if (arg[0] == '/') {
        std::error_code ec;
        if (name.find('/') != std::string::npos || std::filesystem::exists(arg, ec))
            return false;
    }
    return true;
}

// The option name may be abbreviated to any leading part.
bool MatchesOption(const std::string& given, const std::string& option)
{
    return given.size() <= option.size() && Lower(option).compare(0, given.size(), Lower(given)) == 0;
}

} // namespace

std::string ExpandIniPathVars(const std::string& Text)
{
    std::string out;
    size_t pos = 0;
    while (true) {
        size_t a = Text.find('%', pos);
        if (a == std::string::npos)
            break;
        size_t b = Text.find('%', a + 1);
        if (b == std::string::npos)
            break;
        out += Text.substr(pos, a - pos);
        std::string name = Text.substr(a + 1, b - a - 1);
        const char* value = name.empty() ? nullptr : std::getenv(name.c_str());
        if (!value) {
            // Environment names are matched ignoring case, as the user may write them.
            for (char** env = environ; env && *env && !value; ++env) {
                std::string entry = *env;
                size_t eq = entry.find('=');
                if (eq != std::string::npos && Lower(entry.substr(0, eq)) == Lower(name))
                    value = *env + eq + 1;
            }
        }
        if (value)
            out += value;
        pos = b + 1;
    }
    return out + Text.substr(std::min(pos, Text.size()));
}

std::string GetSystemLanguage()
{
    for (const char* var : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* v = std::getenv(var);
        if (!v || !*v)
            continue;
        std::string value = v;
        value = value.substr(0, value.find(':'));
        if (value.empty() || value == "C" || value.rfind("C.", 0) == 0 || value == "POSIX")
            continue;
        std::string code = Lower(value.substr(0, 2));
        if (code.size() == 2 && std::isalpha(static_cast<unsigned char>(code[0])) &&
            std::isalpha(static_cast<unsigned char>(code[1])))
            return code;
    }
    return "en";
}

void ReadLanguageOptions(std::string& LangCode)
{
    ReadLanguageOptions(LangCode, ProgramArguments());
}

void ReadLanguageOptions(std::string& LangCode, const std::vector<std::string>& Args)
{
    LangCode.clear();
    std::string iniValue;
    bool portable = false;
    for (const auto& arg : Args) {
        std::string name, value;
        bool hasValue = false;
        if (!SplitOption(arg, name, value, hasValue))
            continue;
        if (hasValue && MatchesOption(name, "lang")) {
            LangCode = value.substr(0, 2);
        } else if (hasValue && MatchesOption(name, "ini")) {
            iniValue = ExpandIniPathVars(value);
        } else if (!hasValue && MatchesOption(name, "portable")) {
            portable = true;
            if (iniValue.empty())
                iniValue = ProgramDir;
        }
    }
    if (!iniValue.empty()) {
        std::string cfgName = NamePart(LanguageCfgFile);
        std::string cfgDir = FolderPart(LanguageCfgFile);
        if (iniValue.back() == '/') {
            LanguageCfgFile = iniValue + cfgName;
        } else {
            std::string name = portable ? ChangeExt(NamePart(iniValue), ".cfg") : cfgName;
            std::string folder;
            if (IsAbsolute(iniValue))
                folder = FolderPart(iniValue);
            else if (portable)
                folder = ProgramDir + FolderPart(iniValue);
            else if (iniValue.find('/') == std::string::npos)
                folder = cfgDir;
            else
                folder = FolderPart(std::filesystem::absolute(iniValue).lexically_normal().string());
            LanguageCfgFile = folder + name;
        }
    }
    LanguageMaySave = LangCode.empty();
    if (LangCode.empty())
        LangCode = ReadIniValue(LanguageCfgFile, "Language", "LangID").substr(0, 2);
}

void GetInitialLanguage(std::string& LangCode)
{
    ReadLanguageOptions(LangCode);
    if (LangCode.empty())
        LangCode = GetSystemLanguage();
    LanguageCode = LangCode;
}

void SaveLanguageCode(const std::string& LangCode)
{
    LanguageCode = LangCode;
    if (LanguageMaySave && !LanguageCfgFile.empty())
        WriteIniValue(LanguageCfgFile, "Language", "LangID", LangCode);
}

std::vector<std::string> LocaleFolders()
{
    std::vector<std::string> folders;
    if (const char* dir = std::getenv("VASTREL_LOCALE_DIR"); dir && *dir)
        folders.emplace_back(std::string(dir) + "/");
    for (const char* rel : {"locale/", "../locale/", "../../locale/", "../share/locale/"})
        folders.push_back(ProgramDir + rel);
    return folders;
}

bool UseLanguage(const std::string& LangCode)
{
    std::string code = LangCode.empty() ? GetSystemLanguage() : LangCode;
    for (const auto& folder : LocaleFolders())
        for (const auto& domain : TextDomains) {
            std::string file = folder + code + "/LC_MESSAGES/" + domain + ".mo";
            std::error_code ec;
            if (!std::filesystem::is_regular_file(file, ec))
                continue;
            auto catalogue = std::make_shared<TMoCatalogue>();
            if (catalogue->LoadFromFile(file)) {
                SetCatalogue(catalogue);
                return true;
            }
        }
    SetCatalogue(nullptr);
    return false;
}

void InitTranslation(const std::string& SubPath, const std::string& CfgName,
                     const std::vector<std::string>& Domains)
{
    std::string fileName = CfgName.empty() ? ProgramName + ".cfg" : CfgName;
    std::string folder;
    if (!IsAbsolute(SubPath)) {
        folder = GetAppDataFolder() + "/" + SubPath;
        SettingsSubPath = SubPath;
    } else {
        folder = SubPath;
        SettingsSubPath.clear();
    }
    if (!folder.empty() && folder.back() != '/')
        folder += '/';
    LanguageCfgFile = folder + fileName;
    if (!Domains.empty())
        TextDomains = Domains;
    std::string code;
    GetInitialLanguage(code);
    UseLanguage(code);
}

void ChangeLanguage(const std::string& LangCode)
{
    SaveLanguageCode(LangCode);
    UseLanguage(LangCode);
    std::function<void(const std::string&)> handler;
    {
        std::lock_guard lock(HandlerMutex);
        handler = LanguageChangedHandler;
    }
    if (handler)
        handler(LangCode);
}

void SetLanguageChangedHandler(std::function<void(const std::string&)> handler)
{
    std::lock_guard lock(HandlerMutex);
    LanguageChangedHandler = std::move(handler);
}

TLanguageList::TLanguageList(const std::string& APath, const std::string& Filename)
    : FPath(APath.empty() || APath.back() == '/' ? APath : APath + "/"), FName(Filename)
{
    LoadList();
}

void TLanguageList::LoadList()
{
    std::ifstream in(FPath + FName);
    if (!in)
        return;
    FItems.clear();
    FItems.emplace_back(_("&System default"), "");
    for (std::string line; std::getline(in, line);) {
        line = Trim(line);
        if (line.empty() || line[0] == '#')
            continue;
        size_t eq = line.find('=');
        if (eq == std::string::npos)
            continue;
        std::string code = Trim(line.substr(0, eq)).substr(0, 2);
        std::string name = line.substr(eq + 1);
        name = Trim(name.substr(0, name.find('#')));
        if (!code.empty() && !name.empty())
            FItems.emplace_back(name, code);
    }
    std::stable_sort(FItems.begin(), FItems.end(),
                     [](const auto& a, const auto& b) { return Lower(a.first) < Lower(b.first); });
}

bool TLanguageList::LoadLanguageNames(const std::string& LangCode)
{
    if (LangCode.empty())
        return false;
    LoadList();
    std::ifstream in(FPath + "locale/" + LangCode + "/LC_MESSAGES/" + FName);
    bool found = static_cast<bool>(in);
    for (std::string line; found && std::getline(in, line);) {
        line = Trim(line);
        if (line.empty() || line[0] == '#')
            continue;
        size_t eq = line.find('=');
        if (eq == std::string::npos)
            continue;
        std::string code = Trim(line.substr(0, eq)).substr(0, 2);
        std::string name = line.substr(eq + 1);
        name = Trim(name.substr(0, name.find('#')));
        if (name.empty())
            continue;
        for (auto& item : FItems)
            if (!item.second.empty() && item.second == code)
                item.first = name;
    }
    if (found)
        std::stable_sort(FItems.begin(), FItems.end(),
                         [](const auto& a, const auto& b) { return Lower(a.first) < Lower(b.first); });
    SetSelectedLanguageCode(LangCode);
    return found;
}

void TLanguageList::SetSelectedLanguageCode(const std::string& Code)
{
    for (const auto& item : FItems)
        if (item.second == Code) {
            FLangCode = Code;
            FCurrentLanguage = item.first;
            return;
        }
}
