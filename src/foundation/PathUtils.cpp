#include "foundation/PathUtils.h"

#include <sys/stat.h>
#include <vector>

#include "foundation/Masks.h"
#include "foundation/StringUtils.h"

namespace {

// Byte length of the drive part: "//server/share", "/", ":label:" or nothing.
size_t DrivePartLength(std::string_view p)
{
    if (p.size() > 2 && p[0] == '/' && p[1] == '/' && p[2] != '/') {
        size_t server = p.find('/', 2);
        if (server == std::string_view::npos)
            return p.size();
        size_t share = p.find('/', server + 1);
        return share == std::string_view::npos ? p.size() : share;
    }
    if (!p.empty() && p[0] == '/')
        return 1;
    if (p.size() > 2 && p[0] == ':') {
        size_t close = p.find(':', 1);
        if (close == std::string_view::npos || close == 1)
            return 0;
        if (p.substr(1, close - 1).find('/') != std::string_view::npos)
            return 0;
        if (close + 1 == p.size() || p[close + 1] == '/')
            return close + 1;
    }
    return 0;
}

bool IsNetworkPath(std::string_view p)
{
    return p.size() > 2 && p[0] == '/' && p[1] == '/' && p[2] != '/';
}

bool IsVolumePath(std::string_view p)
{
    return !p.empty() && p[0] == ':' && DrivePartLength(p) > 0;
}

// Path without trailing delimiters; a lone "/" stays.
std::string_view StripTrailingDelimiter(std::string_view p)
{
    while (p.size() > 1 && p.back() == '/')
        p.remove_suffix(1);
    return p;
}

// Byte offset of the dot that starts the extension of the last component, or npos.
// A dot that is the first character of the component belongs to the name, and a component made of
// dots only ("..") has no extension.
size_t ExtensionDot(std::string_view name)
{
    size_t start = name.rfind('/');
    start = start == std::string_view::npos ? 0 : start + 1;
    size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || dot <= start)
        return std::string_view::npos;
    if (name.find_first_not_of('.', start) == std::string_view::npos)
        return std::string_view::npos;
    return dot;
}

std::string_view WithoutLeadingDot(std::string_view ext)
{
    if (!ext.empty() && ext[0] == '.')
        ext.remove_prefix(1);
    return ext;
}

bool IsIllegalNameChar(unsigned char c)
{
    if (c < 0x20)
        return true;
    switch (c) {
    case '*':
    case '/':
    case ':':
    case '<':
    case '>':
    case '?':
    case '\\':
    case '|':
    case '"':
        return true;
    default:
        return false;
    }
}

bool DirectoryExists(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

} // namespace

// --- Extensions and names

std::string AddPathDelimiter(std::string_view Path)
{
    std::string out(Path);
    if (!out.empty() && out.back() != '/')
        out += '/';
    return out;
}

std::string ExtractExtension(std::string_view Name)
{
    size_t dot = ExtensionDot(Name);
    if (dot == std::string_view::npos)
        return {};
    return std::string(Name.substr(dot + 1));
}

std::string DeleteExtension(std::string_view Name)
{
    size_t dot = ExtensionDot(Name);
    return std::string(dot == std::string_view::npos ? Name : Name.substr(0, dot));
}

std::string ChangeExtension(std::string_view Name, std::string_view Ext)
{
    if (Name.empty())
        return {};
    std::string out = DeleteExtension(Name);
    std::string_view ext = WithoutLeadingDot(Ext);
    if (!ext.empty()) {
        out += '.';
        out += ext;
    }
    return out;
}

std::string ForceExtension(std::string_view Name, std::string_view Ext, int Mode)
{
    if (Name.empty() || Ext.empty())
        return std::string(Name);
    if (Mode == 0 && utf8::SameText(ExtractExtension(Name), WithoutLeadingDot(Ext)))
        return std::string(Name);
    if (Mode == 1)
        return ChangeExtension(Name, Ext);
    std::string out(Name);
    if (out.back() == '.')
        out.pop_back();
    if (Ext[0] != '.')
        out += '.';
    out += Ext;
    return out;
}

std::string JoinPath(std::string_view Dir, std::string_view Name)
{
    if (Name.empty())
        return std::string(Dir);
    if (Dir.empty())
        return std::string(Name);
    return AddPathDelimiter(Dir) + std::string(Name);
}

std::string BuildFileName(std::string_view Dir, std::string_view Name, std::string_view DefExt)
{
    std::string_view defExt = WithoutLeadingDot(DefExt);
    std::string name(Name);
    if (name.find('.') == std::string::npos && !defExt.empty()) {
        name += '.';
        name += defExt;
    }
    if (IsAbsolutePath(name) || Dir.empty())
        return name;
    return AddPathDelimiter(Dir) + name;
}

std::string MakeFileName(std::string_view Dir, std::string_view Name, std::string_view DefExt)
{
    return BuildFileName(Dir, Name, DefExt);
}

std::string InsertNameSuffixExt(std::string_view Name, std::string_view Suffix, std::string_view Ext)
{
    std::string out = DeleteExtension(Name);
    out += Suffix;
    if (!Ext.empty()) {
        if (Ext[0] != '.')
            out += '.';
        out += Ext;
    }
    return out;
}

std::string InsertNameSuffix(std::string_view Name, std::string_view Suffix)
{
    std::string out(Name);
    size_t dot = ExtensionDot(Name);
    out.insert(dot == std::string_view::npos ? out.size() : dot, Suffix);
    return out;
}

bool MatchesFileMask(std::string_view Mask, std::string_view FileName)
{
    if (Mask.empty())
        return false;
    bool matched = false;
    TryMatchesMask(FileName, Mask, matched, TMaskSets::Lenient);
    return matched;
}

bool IsValidFileName(std::string_view Name)
{
    for (char c : Name)
        if (IsIllegalNameChar(static_cast<unsigned char>(c)))
            return false;
    return true;
}

std::string ReplaceIllegalChars(std::string_view Name, char32_t Ch)
{
    const std::string replacement = utf8::Encode(Ch);
    std::string out;
    out.reserve(Name.size());
    for (char c : Name) {
        if (IsIllegalNameChar(static_cast<unsigned char>(c)))
            out += replacement;
        else
            out += c;
    }
    return out;
}

bool IsNotDotEntry(std::string_view Name)
{
    return Name != "." && Name != "..";
}

bool IsNotDotEntryEx(std::string_view Name, std::string_view Chars)
{
    if (!IsNotDotEntry(Name))
        return false;
    if (Name.empty())
        return true;
    char32_t first;
    utf8::Decode(Name, 0, first);
    char32_t cp;
    for (size_t i = 0; i < Chars.size();) {
        i += utf8::Decode(Chars, i, cp);
        if (cp == first)
            return false;
    }
    return true;
}

// --- Folders and paths

bool IsSameDirectory(std::string_view Dir1, std::string_view Dir2)
{
    return AddPathDelimiter(Dir1) == AddPathDelimiter(Dir2);
}

bool IsSamePath(std::string_view Path1, std::string_view Path2)
{
    return !Path1.empty() && IsSameDirectory(Path1, Path2);
}

std::string GetParentDir(std::string_view Path)
{
    std::string_view p = StripTrailingDelimiter(Path);
    const size_t drive = DrivePartLength(p);
    if (p.size() <= drive)
        return std::string(p);
    size_t last = p.rfind('/');
    if (last == std::string_view::npos)
        return std::string(p);
    if (last < drive)
        return std::string(p.substr(0, drive));
    return std::string(p.substr(0, last));
}

std::string GetLastDirName(std::string_view Path)
{
    std::string_view p = StripTrailingDelimiter(Path);
    if (p.size() <= DrivePartLength(p))
        return {};
    size_t last = p.rfind('/');
    return std::string(last == std::string_view::npos ? p : p.substr(last + 1));
}

bool IsSubPath(std::string_view Dir, std::string_view Path)
{
    if (Dir.empty())
        return false;
    const std::string dir = AddPathDelimiter(Dir);
    const std::string path = AddPathDelimiter(Path);
    return path.compare(0, dir.size(), dir) == 0;
}

bool IsRootPath(std::string_view Path)
{
    if (Path.empty())
        return true;
    std::string_view p = StripTrailingDelimiter(Path);
    const size_t drive = DrivePartLength(p);
    return drive > 0 && p.size() == drive;
}

bool IsAbsolutePath(std::string_view Path)
{
    return !Path.empty() && (Path[0] == '/' || IsVolumePath(Path));
}

std::string MakeRelativePath(std::string_view BaseDir, std::string_view Path)
{
    if (IsSameDirectory(BaseDir, Path))
        return {};
    if (IsSubPath(BaseDir, Path))
        return std::string(Path.substr(AddPathDelimiter(BaseDir).size()));
    return std::string(Path);
}

std::string MakeAbsolutePath(std::string_view BaseDir, std::string_view Path)
{
    if (IsAbsolutePath(Path))
        return std::string(Path);
    return AddPathDelimiter(BaseDir) + std::string(Path);
}

std::string ExpandRelativePath(std::string_view BaseDir, std::string_view Path)
{
    if (IsAbsolutePath(Path))
        return std::string(Path);
    const std::string joined =
        (BaseDir.empty() ? std::string("/") : AddPathDelimiter(BaseDir)) + std::string(Path);
    const size_t drive = DrivePartLength(joined);
    const bool rooted = drive > 0;

    // Lexical canonicalisation: "." and empty components vanish, ".." removes the component before it
    // (never the drive part).
    std::vector<std::string_view> parts;
    std::string_view rest = std::string_view(joined).substr(drive);
    size_t pos = 0;
    while (pos <= rest.size()) {
        size_t next = rest.find('/', pos);
        if (next == std::string_view::npos)
            next = rest.size();
        std::string_view part = rest.substr(pos, next - pos);
        if (part == "..") {
            if (!parts.empty() && parts.back() != "..")
                parts.pop_back();
            else if (!rooted)
                parts.push_back(part);
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        pos = next + 1;
    }

    std::string out(joined.substr(0, drive));
    if (rooted && out.back() != '/')
        out += '/';
    for (size_t i = 0; i < parts.size(); ++i) {
        if (i > 0)
            out += '/';
        out += parts[i];
    }
    if (!parts.empty() && !Path.empty() && Path.back() == '/')
        out += '/';
    return out;
}

std::string GetCommonRoot(std::string_view Path1, std::string_view Path2)
{
    const std::string p1 = AddPathDelimiter(Path1);
    const std::string p2 = AddPathDelimiter(Path2);
    size_t pos = 0, root = 0;
    for (;;) {
        size_t k1 = p1.find('/', pos);
        size_t k2 = p2.find('/', pos);
        if (k1 == std::string::npos || k1 != k2)
            break;
        if (p1.compare(pos, k1 - pos, p2, pos, k2 - pos) != 0)
            break;
        root = k1 + 1;
        pos = k1 + 1;
    }
    return std::string(Path1.substr(0, std::min(root, Path1.size())));
}

std::string GetExistingDir(std::string_view Path, std::string_view Default)
{
    // Volume names are resolved to mount points elsewhere; as text they name nothing on disk.
    if (Path.empty() || Path[0] != '/')
        return std::string(Default);
    std::string path(Path);
    if (DirectoryExists(path))
        return path;
    if (IsNetworkPath(path))
        return std::string(Default);
    for (;;) {
        std::string parent = GetParentDir(path);
        if (parent == path)
            return std::string(Default);
        path = std::move(parent);
        if (DirectoryExists(path))
            return path;
    }
}

std::string ReplaceDriveLetter(std::string_view Path, std::string_view Drive)
{
    // Only a drive-letter path of a foreign system has a letter to replace; a POSIX path is unchanged.
    auto isLetter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
    std::string out(Path);
    if (out.size() >= 2 && isLetter(out[0]) && out[1] == ':' && !Drive.empty() && isLetter(Drive[0]))
        out[0] = Drive[0];
    return out;
}

std::string RemoveDrive(std::string_view Path)
{
    const size_t drive = DrivePartLength(Path);
    if (drive == 0)
        return std::string(Path);
    std::string_view rest = Path.substr(drive);
    if (!rest.empty() && rest[0] == '/')
        rest.remove_prefix(1);
    return std::string(rest);
}

std::string ShortenPath(std::string_view Path, int MaxLen)
{
    const size_t len = utf8::Length(Path);
    if (MaxLen <= 3 || len <= static_cast<size_t>(MaxLen))
        return std::string(Path);
    const size_t maxLen = static_cast<size_t>(MaxLen);

    std::vector<size_t> offsets; // byte offset of each code point, plus the end
    std::vector<char32_t> cps;
    char32_t cp;
    for (size_t i = 0; i < Path.size();) {
        offsets.push_back(i);
        i += utf8::Decode(Path, i, cp);
        cps.push_back(cp);
    }
    offsets.push_back(Path.size());

    auto tail = [&]() { return "..." + std::string(Path.substr(offsets[len - (maxLen - 3)])); };

    // The last delimiter, one at the very end not counted.
    size_t searchEnd = cps.back() == U'/' ? len - 1 : len;
    size_t n = std::string::npos;
    for (size_t i = searchEnd; i-- > 0;) {
        if (cps[i] == U'/') {
            n = i;
            break;
        }
    }
    if (n == std::string::npos)
        return tail();
    for (size_t p = n; p-- > 0;) {
        if (cps[p] != U'/')
            continue;
        if ((p + 1) + 3 + (len - n) <= maxLen)
            return std::string(Path.substr(0, offsets[p + 1])) + "..." + std::string(Path.substr(offsets[n]));
    }
    return tail();
}

std::string ExtractDrivePart(std::string_view Path)
{
    return std::string(Path.substr(0, DrivePartLength(Path)));
}
