#include "tools/CleanupRules.h"

#include <cmath>
#include <sys/stat.h>

#include "backup/SecurityCopyNames.h"
#include "foundation/Masks.h"
#include "foundation/PathUtils.h"
#include "foundation/StringUtils.h"
#include "rtl/Gettext.h"
#include "rtl/SysUtils.h"

namespace {

// "yyyy-mm-dd" with its digits masked.
const std::string DateMask = std::string(4, '?') + "-" + std::string(2, '?') + "-" + std::string(2, '?');
const std::string TimeMask = std::string(2, '?') + "-" + std::string(2, '?') + "-" + std::string(2, '?');

// Every ASCII digit from byte position from on replaced by "?".
std::string MaskDigits(const std::string& name, size_t from)
{
    std::string masked = name;
    for (size_t i = from; i < masked.size(); ++i)
        if (masked[i] >= '0' && masked[i] <= '9')
            masked[i] = '?';
    return masked;
}

size_t FindAsciiIgnoreCase(const std::string& text, const std::string& part)
{
    if (part.empty())
        return std::string::npos;
    auto lower = [](std::string s) {
        for (char& c : s)
            if (c >= 'A' && c <= 'Z')
                c = static_cast<char>(c - 'A' + 'a');
        return s;
    };
    return lower(text).find(lower(part));
}

bool DateBelow(const std::string& name, size_t pos, int64_t limit)
{
    int32_t seconds = 0;
    if (!ParseDateInName(name, static_cast<int>(pos) + 1, seconds))
        return false;
    return seconds < limit;
}

std::string PeriodText(int count, const char* singular, const char* plural)
{
    return FormatCountNoun(_(singular), _(plural), count);
}

std::vector<std::string> SplitAt(const std::string& text, char sep)
{
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        size_t p = text.find(sep, start);
        parts.push_back(text.substr(start, p == std::string::npos ? std::string::npos : p - start));
        if (p == std::string::npos)
            break;
        start = p + 1;
    }
    return parts;
}

} // namespace

int64_t PlainUnixSeconds(TDateTime t)
{
    return static_cast<int64_t>(std::llround((t - 25569.0) * 86400.0));
}

TAgeLimit GetAgeLimit(const TCleanupSettings& s, TDateTime today, TDateTime now)
{
    TAgeLimit a;
    a.Description = s.Subject == csRootDirs ? _("Only root directories ") : _("Only files ");
    const int n = s.TimeCount;
    TDateTime limit = now + 1;
    const std::string olderThan = _("older than %s");
    switch (s.AgeMode) {
    case caDays:
        a.Description += SafeFormat(olderThan, {PeriodText(n, N_("day"), N_("days"))});
        limit = today - n;
        break;
    case caWeeks:
        a.Description += SafeFormat(olderThan, {PeriodText(n, N_("week"), N_("weeks"))});
        limit = today - 7.0 * n;
        break;
    case caMonths:
        a.Description += SafeFormat(olderThan, {PeriodText(n, N_("month"), N_("months"))});
        limit = IncMonth(today, -n);
        break;
    case caYears:
        a.Description += SafeFormat(olderThan, {PeriodText(n, N_("year"), N_("years"))});
        limit = IncMonth(today, -12 * n);
        break;
    case caBefore:
        a.Description += SafeFormat(olderThan, {DateToStr(s.Date)});
        limit = DateOf(s.Date);
        break;
    case caSince:
        a.Description += SafeFormat(_("since %s"), {DateToStr(s.Date)});
        limit = DateOf(s.Date);
        break;
    default:
        a.Description = _("All files");
        a.Compare = acmNone;
        a.Limit = PlainUnixSeconds(limit);
        return a;
    }
    a.Compare = s.AgeMode == caSince ? acmSince : acmOlder;
    a.Limit = PlainUnixSeconds(limit);
    return a;
}

int64_t GetSecCopyLimit(const TSecAge& age, TDateTime today)
{
    TDateTime limit = today;
    if (age.Unit == 0)
        limit = today - 7.0 * age.Count;
    else if (age.Unit == 1)
        limit = IncMonth(today, -age.Count);
    else
        limit = IncMonth(today, -12 * age.Count);
    return PlainUnixSeconds(limit);
}

TTypeRule::TTypeRule(int mode, const std::string& commaText) : FMode(mode), FText(commaText)
{
    for (const std::string& item : SplitAt(commaText, ',')) {
        std::string t(utf8::Trim(item));
        if (t.size() >= 2 && t.front() == '"' && t.back() == '"')
            t = t.substr(1, t.size() - 2);
        if (!t.empty())
            FTypes.push_back(utf8::Upper(t));
    }
}

bool TTypeRule::Passes(const std::string& name) const
{
    if (FMode != 1 && FMode != 2)
        return true;
    const size_t dot = name.rfind('.');
    const std::string type = dot == std::string::npos ? std::string() : utf8::Upper(name.substr(dot + 1));
    bool listed = false;
    for (const std::string& t : FTypes)
        if (t == type) {
            listed = true;
            break;
        }
    return FMode == 1 ? listed : !listed;
}

std::string TTypeRule::Description() const
{
    if (FMode == 1)
        return SafeFormat(_("of type \"%s\""), {FText});
    if (FMode == 2)
        return SafeFormat(_("except for types \"%s\""), {FText});
    return _("all");
}

std::string SecurityCopyFileMasks(const TSecSettings& sec)
{
    if ((sec.Selection & (1u << ssFiles)) == 0 || sec.FileSuffix.empty())
        return {};
    std::string list;
    for (const std::string& item : SplitAt(sec.FileSuffix, ';')) {
        if (item.empty())
            continue;
        const size_t hash = item.find('#');
        const std::string body =
            hash != std::string::npos ? item.substr(0, hash) : SecurityCopyDateMasks(item);
        if (!list.empty())
            list += '|';
        list += "*." + body + "*";
    }
    return list;
}

void BuildSecurityCopyFilter(TTextFilter& filter, const TSecSettings& sec, int subject)
{
    const std::string masks = SecurityCopyFileMasks(sec);
    filter.SetRegular(false);
    filter.SetSeparator('|');
    if (masks.empty()) {
        filter.SetFilter("*");
        filter.SetMode(fmOff);
        return;
    }
    try {
        filter.SetFilter(masks);
        filter.SetMode(subject == csFiles ? fmExclude : fmInclude);
    } catch (const EFilterError&) {
        // a suffix that makes no valid mask recognises nothing
        filter.SetMode(fmOff);
    }
}

std::string SecurityCopyDirMask(const TSecSettings& sec)
{
    if ((sec.Selection & (1u << ssDirs)) == 0 || sec.DirPrefix.empty())
        return {};
    return SecurityCopyDateMasks(sec.DirPrefix) + "*";
}

bool MatchesDirMask(const std::string& name, const std::string& mask)
{
    if (mask.empty())
        return false;
    bool matched = false;
    return TryMatchesMask(name, mask, matched) && matched;
}

bool IsOldDatedFolder(const std::string& name, int64_t limit)
{
    const std::string masked = MaskDigits(name, 0);
    const size_t pos = masked.find(DateMask);
    return pos != std::string::npos && DateBelow(name, pos, limit);
}

bool IsOldSecurityCopyOf(const std::string& name, int64_t limit, const TSecSettings& sec)
{
    if ((sec.Selection & (1u << ssFiles)) == 0)
        return false;
    const size_t ph = FindAsciiIgnoreCase(sec.FileSuffix, "%bdate%");
    if (ph == std::string::npos)
        return false;
    const std::string head = sec.FileSuffix.substr(0, ph);
    size_t from = FindAsciiIgnoreCase(name, head);
    if (from == std::string::npos)
        from = 0;
    const std::string masked = MaskDigits(name, from);
    size_t pos = masked.find(DateMask + ".", from);
    if (pos == std::string::npos) {
        const size_t end = masked.rfind(DateMask);
        if (end != std::string::npos && end >= from && end + 10 == masked.size())
            pos = end;
    }
    if (pos == std::string::npos) {
        const std::string sep = sec.BDateSeparator.empty() ? std::string("-") : sec.BDateSeparator;
        pos = masked.find(DateMask + sep + TimeMask + ".", from);
    }
    return pos != std::string::npos && DateBelow(name, pos, limit);
}

bool IsOldSecurityCopy(const std::string& name, int64_t limit, const TSecSettings& bakSec,
                       const TSecSettings& syncSec)
{
    return IsOldSecurityCopyOf(name, limit, bakSec) || IsOldSecurityCopyOf(name, limit, syncSec);
}

bool OriginFileMissing(const std::string& origin, const std::string& subDir, const std::string& name)
{
    std::string path = origin.empty() ? std::string() : AddPathDelimiter(origin);
    if (!subDir.empty())
        path += AddPathDelimiter(subDir);
    path += name;
    struct stat st
    {
    };
    if (::lstat(path.c_str(), &st) != 0)
        return true;
    return !S_ISREG(st.st_mode);
}

std::string DriveFolderOrigin(const std::string& name, const std::string& driveIdent)
{
    std::string plain;
    for (char c : driveIdent)
        if (c != '?')
            plain += c;
    if (!plain.empty() && utf8::SameText(name, plain))
        return "/";
    return {};
}

std::string OriginOfPathInDriveFolder(const std::string& path, const std::string& driveIdent)
{
    const std::vector<std::string> parts = SplitAt(path, '/');
    // the drive folder must be followed by a delimiter (the mask "*/" + identifier + "/*")
    for (size_t i = 0; i + 1 < parts.size(); ++i) {
        if (i == 0 && path[0] == '/' && parts[0].empty())
            continue;
        const std::string origin = DriveFolderOrigin(parts[i], driveIdent);
        if (origin.empty())
            continue;
        if (i == 0)
            return {}; // "*/" needs a folder before it
        std::string rest;
        for (size_t j = i + 1; j < parts.size(); ++j) {
            if (parts[j].empty())
                continue;
            rest += parts[j] + "/";
        }
        return origin + rest;
    }
    return {};
}
