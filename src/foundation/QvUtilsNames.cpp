#include "foundation/QvUtilsNames.h"

#include <climits>
#include <cstdlib>
#include <mutex>
#include <vector>

#include "foundation/LangUtils.h"
#include "foundation/NumberUtils.h"
#include "foundation/PathUtils.h"
#include "foundation/PlaceHolders.h"
#include "foundation/WinDevUtils.h"
#include "platform/MountTable.h"
#include "rtl/Clock.h"
#include "rtl/DateTime.h"
#include "rtl/Gettext.h"
#include "rtl/SysUtils.h"

namespace {

std::mutex HookMutex;
const TVolumeResolver* CurrentResolver = nullptr;
std::function<bool(const std::string&)> PromptHandler;
std::function<void(const std::string&)> HintHandler;

const TVolumeResolver& Resolver()
{
    static const TVolumeResolver systemResolver;
    std::lock_guard lock(HookMutex);
    return CurrentResolver ? *CurrentResolver : systemResolver;
}

std::string Lower(std::string_view s)
{
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c + 32);
    return out;
}

} // namespace

std::string TVolumeResolver::MountPointOfLabel(const std::string& label) const
{
    std::string root = FindDriveByLabel(label);
    if (root.size() > 1 && root.back() == '/')
        root.pop_back();
    return root;
}

bool TVolumeResolver::VolumeOfPath(const std::string& path, std::string& mountPoint, std::string& label) const
{
    mountPoint.clear();
    label.clear();
    if (path.empty() || path.front() != '/')
        return false;
    // The mount point is matched as text, so that the rest of Path below it stays as written.
    const TVolumeInfo* best = nullptr;
    const std::vector<TVolumeInfo> volumes = VolumeProvider::Current().ListVolumes();
    for (const auto& v : volumes) {
        const std::string& mp = v.MountPoint;
        bool inside =
            path == mp || mp == "/" ||
            (path.size() > mp.size() && path.compare(0, mp.size(), mp) == 0 && path[mp.size()] == '/');
        if (inside && (!best || mp.size() >= best->MountPoint.size()))
            best = &v;
    }
    if (!best)
        return false;
    mountPoint = best->MountPoint;
    label = best->Label;
    return true;
}

void SetVolumeResolver(const TVolumeResolver* resolver)
{
    std::lock_guard lock(HookMutex);
    CurrentResolver = resolver;
}

void SetVolumePromptHandler(std::function<bool(const std::string&)> handler)
{
    std::lock_guard lock(HookMutex);
    PromptHandler = std::move(handler);
}

void SetVolumeHintHandler(std::function<void(const std::string&)> handler)
{
    std::lock_guard lock(HookMutex);
    HintHandler = std::move(handler);
}

std::string ExpandEnvStrings(std::string_view Text)
{
    std::string out;
    size_t pos = 0;
    while (pos < Text.size()) {
        size_t a = Text.find('%', pos);
        if (a == std::string_view::npos)
            break;
        size_t b = Text.find('%', a + 1);
        if (b == std::string_view::npos)
            break;
        out.append(Text.substr(pos, a - pos));
        std::string name(Text.substr(a + 1, b - a - 1));
        const char* value = name.empty() ? nullptr : std::getenv(name.c_str());
        if (value && *value) {
            out.append(value);
            pos = b + 1;
        } else {
            // The closing sign may open the next variable.
            out.append(Text.substr(a, b - a));
            pos = b;
        }
    }
    out.append(Text.substr(std::min(pos, Text.size())));
    return out;
}

std::string ExpandNamePlaceholders(std::string_view Text, std::string_view Volume, int Counter)
{
    std::string text = ReplaceTextIgnoreCase(Text, "%volume%", Volume);
    std::vector<std::string> parts;
    size_t pos = 0;
    while (true) {
        size_t a = text.find('%', pos);
        if (a == std::string::npos)
            break;
        size_t b = text.find('%', a + 1);
        if (b == std::string::npos)
            break;
        parts.push_back(text.substr(a, b - a + 1));
        pos = b + 1;
    }
    for (const auto& part : parts) {
        if (Lower(part).rfind("%evar", 0) != 0)
            continue;
        size_t open = part.find('(');
        size_t close = open == std::string::npos ? std::string::npos : part.find(')', open + 1);
        if (close == std::string::npos)
            continue;
        std::string name = part.substr(open + 1, close - open - 1);
        const char* value = name.empty() ? nullptr : std::getenv(name.c_str());
        if (!value || !*value)
            continue;
        std::string replaced;
        size_t p = 0;
        for (size_t q; (q = text.find(part, p)) != std::string::npos; p = q + part.size())
            replaced += text.substr(p, q - p) + value;
        text = replaced + text.substr(p);
    }
    return ExpandDatePlaceholders(text, Counter);
}

std::string ExpandLogPlaceholders(std::string_view Text, std::string_view Dest)
{
    TDateTime now = Clock::Current().NowLocal();
    int year, month, day, hour, minute, second, msec;
    DecodeDateTime(now, year, month, day, hour, minute, second, msec);
    std::string dest(Dest);
    std::string text(Text);
    auto replace = [&](const char* placeholder, auto valueOf) {
        if (Lower(text).find(placeholder) != std::string::npos)
            text = ReplaceTextIgnoreCase(text, placeholder, valueOf());
    };
    replace("%date%", [&] {
        return IntToStrZero(4, year) + "-" + IntToStrZero(2, month) + "-" + IntToStrZero(2, day);
    });
    replace("%time%",
            [&] { return IntToStrZero(2, hour) + IntToStrZero(2, minute) + IntToStrZero(2, second); });
    replace("%yaw%", [&] { return YearAndWeekText(now); });
    replace("%yam%", [&] { return IntToStrZero(4, year) + "-" + IntToStrZero(2, month); });
    replace("%year%", [&] { return IntToStrZero(4, year); });
    replace("%username%", [&] { return PlaceholderUserName(); });
    replace("%computername%", [&] { return PlaceholderComputerName(); });
    replace("%dest%", [&] { return dest; });
    replace("%drive%", [&] { return ExtractDrivePart(dest); });
    replace("%volume%", [&] {
        std::string path = dest, label;
        int r = ResolveVolumeName(path, label, false);
        if (r == 1)
            return label;
        if (r == 2)
            return std::string();
        std::string mountPoint;
        if (!dest.empty() && dest.front() == '/' && dest.rfind("//", 0) != 0 &&
            Resolver().VolumeOfPath(dest, mountPoint, label))
            return label;
        return std::string();
    });
    return text;
}

int ResolveVolumeName(std::string& Path, std::string& Label, bool Prompt)
{
    Label.clear();
    if (Path.empty())
        return 2;
    if (Path[0] != ':')
        return 0;
    size_t second = Path.find(':', 1);
    if (second == std::string::npos)
        return 0;
    std::string label = Path.substr(1, second - 1);
    size_t slash = Path.find('/', second + 1);
    std::string rest = slash == std::string::npos ? "" : Path.substr(slash + 1);
    while (true) {
        std::string mountPoint = Resolver().MountPointOfLabel(label);
        if (!mountPoint.empty()) {
            if (mountPoint.back() != '/')
                mountPoint += '/';
            Path = mountPoint + rest;
            Label = label;
            return 1;
        }
        if (!Prompt)
            return 2;
        std::function<bool(const std::string&)> handler;
        {
            std::lock_guard lock(HookMutex);
            handler = PromptHandler;
        }
        if (!handler ||
            !handler(SafeFormat(_("Volume %s not found!\r\nPlease insert medium!"), {"\"" + label + "\""})))
            return 2;
    }
}

std::string GetVolumePath(const std::string& Path, bool Prompt)
{
    std::string path = Path, label;
    return ResolveVolumeName(path, label, Prompt) == 1 ? path : Path;
}

bool IsVolumeAvailable(const std::string& Path)
{
    std::string path = Path, label;
    return ResolveVolumeName(path, label, false) != 2;
}

std::string SwitchVolumeName(const std::string& Path)
{
    std::string path = Path, label;
    int r = ResolveVolumeName(path, label, true);
    if (r == 1)
        return path;
    if (r == 2)
        return "";
    std::string mountPoint;
    if (Resolver().VolumeOfPath(Path, mountPoint, label) && !label.empty())
        return PathWithVolumeName(Path, label);
    std::function<void(const std::string&)> handler;
    {
        std::lock_guard lock(HookMutex);
        handler = HintHandler;
    }
    if (handler)
        handler(_("No volume name available for ") +
                (mountPoint.empty() ? ExtractDrivePart(Path) : mountPoint));
    return "";
}

std::string PathWithVolumeName(const std::string& FileName, const std::string& Label)
{
    if (Label.empty() || FileName.empty() || FileName[0] != '/' || FileName.rfind("//", 0) == 0)
        return FileName;
    std::string mountPoint, label;
    if (!Resolver().VolumeOfPath(FileName, mountPoint, label))
        return FileName;
    std::string rest = FileName.substr(std::min(mountPoint.size(), FileName.size()));
    if (rest.empty() || rest[0] != '/')
        rest.insert(rest.begin(), '/');
    return ":" + Label + ":" + rest;
}

std::string ReplaceDrive(const std::string& FileName, const std::string& Mapping)
{
    size_t eq = Mapping.find('=');
    if (eq == std::string::npos || eq == 0 || eq + 1 >= Mapping.size())
        return FileName;
    std::string from = Mapping.substr(0, eq);
    std::string to = Mapping.substr(eq + 1);
    std::string drive = ExtractDrivePart(FileName);
    bool volume = !drive.empty() && drive[0] == ':';
    if (drive.empty() || (volume ? Lower(drive) != Lower(from) : drive != from))
        return FileName;
    return to + FileName.substr(drive.size());
}

std::string GetDriveDirPrefix()
{
    std::string code = LanguageCode.empty() ? GetSystemLanguage() : LanguageCode;
    return Lower(code) == "de" ? "Lw?" : "Drv?";
}

std::string GetDriveDirName(std::string_view Prefix, std::string_view Path)
{
    std::string result;
    if (Path.size() >= 2 && Path[0] == '/' && Path[1] == '/') {
        result = std::string(Path.substr(2));
    } else {
        // Local paths have no drive letter: "?" stands for nothing.
        for (char c : Prefix)
            if (c != '?')
                result += c;
    }
    if (result.empty() || result.back() != '/')
        result += '/';
    return result;
}

char DriveFromDirName(std::string_view DirName, std::string_view Prefix)
{
    size_t p = Prefix.find('?');
    if (p == std::string_view::npos || DirName.size() <= p)
        return '\0';
    return DirName[p];
}
