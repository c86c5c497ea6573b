#include "platform/DesktopEntry.h"

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/ErrorCodes.h"

namespace {

bool MakeDirs(const std::string& dir)
{
    if (dir.empty())
        return true;
    struct stat st
    {
    };
    if (::stat(dir.c_str(), &st) == 0)
        return S_ISDIR(st.st_mode);
    auto pos = dir.find_last_of('/');
    if (pos != std::string::npos && pos > 0 && !MakeDirs(dir.substr(0, pos)))
        return false;
    return ::mkdir(dir.c_str(), 0755) == 0 || errno == EEXIST;
}

bool NeedsQuotes(const std::string& arg)
{
    if (arg.empty())
        return true;
    return arg.find_first_of(" \t\n\"'\\><~|&;$*?#()`") != std::string::npos;
}

} // namespace

std::string QuoteExecLine(const std::vector<std::string>& argv)
{
    std::string out;
    for (size_t i = 0; i < argv.size(); ++i) {
        if (i)
            out.push_back(' ');
        const std::string& arg = argv[i];
        bool quote = NeedsQuotes(arg);
        if (quote)
            out.push_back('"');
        for (char c : arg) {
            if (c == '%') {
                out += "%%";
                continue;
            }
            if (quote && (c == '"' || c == '`' || c == '$' || c == '\\'))
                out.push_back('\\');
            out.push_back(c);
        }
        if (quote)
            out.push_back('"');
    }
    return out;
}

std::vector<std::string> SplitExecLine(const std::string& exec)
{
    std::vector<std::string> argv;
    std::string cur;
    bool inArg = false;
    bool quoted = false;
    for (size_t i = 0; i < exec.size(); ++i) {
        char c = exec[i];
        if (quoted) {
            if (c == '\\' && i + 1 < exec.size()) {
                cur.push_back(exec[++i]);
            } else if (c == '"') {
                quoted = false;
            } else if (c == '%' && i + 1 < exec.size()) {
                if (exec[i + 1] == '%')
                    cur.push_back('%');
                ++i; // other field codes are dropped
            } else {
                cur.push_back(c);
            }
            continue;
        }
        if (c == ' ' || c == '\t' || c == '\n') {
            if (inArg) {
                argv.push_back(cur);
                cur.clear();
                inArg = false;
            }
            continue;
        }
        inArg = true;
        if (c == '"') {
            quoted = true;
        } else if (c == '%' && i + 1 < exec.size()) {
            if (exec[i + 1] == '%')
                cur.push_back('%');
            ++i;
        } else {
            cur.push_back(c);
        }
    }
    if (inArg)
        argv.push_back(cur);
    return argv;
}

std::string EscapeDesktopValue(const std::string& value)
{
    std::string out;
    for (char c : value) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\r':
            out += "\\r";
            break;
        default:
            out.push_back(c);
        }
    }
    if (!out.empty() && out[0] == ' ')
        out = "\\s" + out.substr(1);
    return out;
}

std::string UnescapeDesktopValue(const std::string& value)
{
    std::string out;
    for (size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '\\' && i + 1 < value.size()) {
            char n = value[++i];
            switch (n) {
            case 's':
                out.push_back(' ');
                break;
            case 'n':
                out.push_back('\n');
                break;
            case 't':
                out.push_back('\t');
                break;
            case 'r':
                out.push_back('\r');
                break;
            case '\\':
                out.push_back('\\');
                break;
            default:
                out.push_back('\\');
                out.push_back(n);
            }
        } else {
            out.push_back(value[i]);
        }
    }
    return out;
}

uint32_t WriteDesktopEntry(const std::string& fileName, const TDesktopEntry& entry)
{
    auto pos = fileName.find_last_of('/');
    if (pos != std::string::npos && pos > 0 && !MakeDirs(fileName.substr(0, pos)))
        return LastWinError();
    std::vector<std::string> argv = entry.Exec;
    if (entry.RunAsAdmin)
        argv.insert(argv.begin(), "pkexec");
    std::ostringstream out;
    out << "[Desktop Entry]\n"
        << "Type=Application\n"
        << "Version=1.0\n"
        << "Name=" << EscapeDesktopValue(entry.Name) << "\n";
    if (!entry.Comment.empty())
        out << "Comment=" << EscapeDesktopValue(entry.Comment) << "\n";
    out << "Exec=" << EscapeDesktopValue(QuoteExecLine(argv)) << "\n";
    if (!entry.Icon.empty())
        out << "Icon=" << EscapeDesktopValue(entry.Icon) << "\n";
    if (!entry.WorkDir.empty())
        out << "Path=" << EscapeDesktopValue(entry.WorkDir) << "\n";
    out << "Terminal=" << (entry.Terminal ? "true" : "false") << "\n";
    std::string text = out.str();
    std::string temp = fileName + ".tmp";
    FILE* f = std::fopen(temp.c_str(), "wb");
    if (!f)
        return LastWinError();
    bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    int err = errno;
    ok = (std::fclose(f) == 0) && ok;
    if (!ok) {
        ::unlink(temp.c_str());
        return err ? ErrnoToWinError(err) : WinError::ERROR_WRITE_FAULT;
    }
    ::chmod(temp.c_str(), 0755);
    if (::rename(temp.c_str(), fileName.c_str()) != 0) {
        uint32_t rc = LastWinError();
        ::unlink(temp.c_str());
        return rc;
    }
    return 0;
}

uint32_t ReadDesktopEntry(const std::string& fileName, TDesktopEntry& entry)
{
    entry = TDesktopEntry{};
    std::ifstream in(fileName, std::ios::binary);
    if (!in) {
        struct stat st
        {
        };
        return ::stat(fileName.c_str(), &st) != 0 ? LastWinError() : WinError::ERROR_ACCESS_DENIED;
    }
    std::string line;
    bool inGroup = false;
    bool sawGroup = false;
    bool sawExec = false;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty() || line[0] == '#')
            continue;
        if (line[0] == '[') {
            inGroup = line == "[Desktop Entry]";
            sawGroup = sawGroup || inGroup;
            continue;
        }
        if (!inGroup)
            continue;
        auto eq = line.find('=');
        if (eq == std::string::npos)
            continue;
        std::string key = line.substr(0, eq);
        while (!key.empty() && key.back() == ' ')
            key.pop_back();
        size_t vs = eq + 1;
        while (vs < line.size() && line[vs] == ' ')
            ++vs;
        std::string value = UnescapeDesktopValue(line.substr(vs));
        if (key == "Name")
            entry.Name = value;
        else if (key == "Comment")
            entry.Comment = value;
        else if (key == "Icon")
            entry.Icon = value;
        else if (key == "Path")
            entry.WorkDir = value;
        else if (key == "Terminal")
            entry.Terminal = value == "true";
        else if (key == "Exec") {
            entry.Exec = SplitExecLine(value);
            sawExec = true;
        }
    }
    if (!sawGroup || !sawExec)
        return 13; // ERROR_INVALID_DATA
    if (!entry.Exec.empty() && entry.Exec[0] == "pkexec") {
        entry.RunAsAdmin = true;
        entry.Exec.erase(entry.Exec.begin());
    }
    return 0;
}
