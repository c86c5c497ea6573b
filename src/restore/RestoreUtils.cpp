#include "restore/RestoreUtils.h"

#include <cstdlib>
#include <vector>

#include "foundation/FileUtilsTimes.h"
#include "foundation/PathUtils.h"
#include "foundation/StringUtils.h"
#include "foundation/XlFileUtils.h"
#include "platform/PosixFiles.h"

namespace {

bool EndsWithZip(const std::string& s)
{
    return s.size() >= 4 && utf8::SameText(std::string_view(s).substr(s.size() - 4), ".zip");
}

std::string WithoutTrailingSlash(std::string s)
{
    while (s.size() > 1 && s.back() == '/')
        s.pop_back();
    return s;
}

} // namespace

bool SplitZipPath(std::string& Path, std::string& Inner)
{
    const std::string given = WithoutTrailingSlash(Path);
    std::string s = given;
    Inner.clear();
    while (!s.empty()) {
        if (EndsWithZip(s)) {
            Inner = given.size() > s.size() + 1 ? given.substr(s.size() + 1) : std::string();
            Path = s;
            return true;
        }
        size_t p = s.find_last_of('/');
        if (p == std::string::npos)
            break;
        s.erase(p);
    }
    return false;
}

bool SplitOpenPath(std::string& Path, std::string& Inner)
{
    Inner.clear();
    if (EndsWithZip(Path))
        return true;
    const std::string lower = utf8::Lower(Path);
    size_t p = lower.find(".zip/");
    if (p == std::string::npos)
        return false;
    Inner = Path.substr(p + 5);
    Path.erase(p + 4);
    return true;
}

bool IsInZipArchive(const std::string& Path)
{
    std::string p = Path, inner;
    return SplitZipPath(p, inner);
}

std::string MakeAbsoluteTo(const std::string& Base, const std::string& Name)
{
    return Base.empty() ? Name : ExpandRelativePath(Base, Name);
}

TBoundsRect FitBoundsToMonitor(const TBoundsRect& WorkArea, int Dpi, const TBoundsRect& Rect)
{
    const int margin = Dpi > 0 ? 50 * Dpi / 96 : 50;
    TBoundsRect r = Rect;
    r.Left = Rect.Right > WorkArea.Right ? WorkArea.Right - Rect.Width() - margin : Rect.Left;
    if (r.Left <= WorkArea.Left)
        r.Left = WorkArea.Left + margin;
    r.Top = Rect.Bottom > WorkArea.Bottom ? WorkArea.Bottom - Rect.Height() - margin : Rect.Top;
    if (r.Top <= WorkArea.Top)
        r.Top = WorkArea.Top + margin;
    r.Right = r.Left + Rect.Width();
    r.Bottom = r.Top + Rect.Height();
    return r;
}

std::string StrDelete(const std::string& S, int Index, int Count)
{
    const size_t len = utf8::Length(S);
    if (Index < 1 || Count <= 0 || static_cast<size_t>(Index) > len)
        return S;
    const size_t from = utf8::Offset(S, static_cast<size_t>(Index - 1));
    const size_t to = utf8::Offset(S, std::min(len, static_cast<size_t>(Index - 1 + Count)));
    return S.substr(0, from) + S.substr(to);
}

int SetFileDateTime(const std::string& Name, TDateTime DateTime)
{
    return static_cast<int>(SetFileUtcTime(Name, LocalDateTimeToFileTime(DateTime), false));
}

int SetTimeAndAttrFromSearchRec(const std::string& Name, const TSearchRec& SearchRec)
{
    if (uint32_t code = SetFileUtcTime(Name, SearchRec.FindData.LastWriteTime, false))
        return static_cast<int>(code);
    return -static_cast<int>(ChangeFileAttr(Name, static_cast<uint32_t>(SearchRec.Attr), false, true));
}

int XlSetTimeAndAttrFromSearchRec(const std::string& Name, const TSearchRec& SearchRec)
{
    return SetTimeAndAttrFromSearchRec(AddLongPathPrefix(Name), SearchRec);
}

bool FileMatchesInFolder(const std::string& Dir, const std::string& Ext)
{
    TSearchRec sr;
    const std::string ext = Ext.empty() || Ext[0] == '.' ? Ext : "." + Ext;
    const bool found = FindFirst(AddPathDelimiter(Dir) + "*" + ext, static_cast<int>(faAnyFile), sr) == 0;
    FindClose(sr);
    return found;
}

bool IsBelowFolder(const std::string& Root, const std::string& Path)
{
    if (Root.empty() || Path.empty() || Root[0] != '/' || Path[0] != '/')
        return false;
    auto normal = [](const std::string& p) {
        std::vector<std::string> parts;
        size_t i = 0;
        while (i <= p.size()) {
            size_t j = p.find('/', i);
            if (j == std::string::npos)
                j = p.size();
            std::string part = p.substr(i, j - i);
            if (part == "..") {
                if (!parts.empty())
                    parts.pop_back();
            } else if (!part.empty() && part != ".") {
                parts.push_back(part);
            }
            i = j + 1;
        }
        std::string out;
        for (const auto& part : parts)
            out += "/" + part;
        return out;
    };
    const std::string root = normal(Root) + "/";
    const std::string path = normal(Path);
    return path.size() > root.size() && path.compare(0, root.size(), root) == 0;
}
