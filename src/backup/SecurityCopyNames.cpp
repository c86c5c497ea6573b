#include "backup/SecurityCopyNames.h"

#include <algorithm>
#include <cmath>

#include "foundation/PathUtils.h"
#include "foundation/PlaceHolders.h"
#include "foundation/StringUtils.h"
#include "rtl/Clock.h"

namespace {

std::string Pad(int value, int digits)
{
    std::string s = std::to_string(value);
    while (static_cast<int>(s.size()) < digits)
        s.insert(s.begin(), '0');
    return s;
}

std::string FileDateText(TDateTime t)
{
    int y, m, d, h, n, s, ms;
    DecodeDateTime(t, y, m, d, h, n, s, ms);
    return Pad(y, 4) + "-" + Pad(m, 2) + "-" + Pad(d, 2) + "-" + Pad(h, 2) + "-" + Pad(n, 2);
}

std::string ExpandPlaceholders(std::string_view suffix, const TDateTime* fileTime)
{
    std::string text(suffix);
    TDateTime now = Clock::Current().NowLocal();
    int y, m, d, h, n, s, ms;
    DecodeDateTime(now, y, m, d, h, n, s, ms);
    if (fileTime)
        text = ReplaceTextIgnoreCase(text, "%fdate%", FileDateText(*fileTime));
    text = ReplaceTextIgnoreCase(text, "%bdate%", Pad(y, 4) + "-" + Pad(m, 2) + "-" + Pad(d, 2));
    return ReplaceTextIgnoreCase(text, "%btime%", Pad(h, 2) + "-" + Pad(n, 2) + "-" + Pad(s, 2));
}

std::string Lower(std::string_view s)
{
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c + 32);
    return out;
}

bool ParseInt(std::string_view s, int& value)
{
    if (s.empty() || s.size() > 9)
        return false;
    size_t i = (s[0] == '-' || s[0] == '+') ? 1 : 0;
    if (i >= s.size())
        return false;
    int v = 0;
    for (; i < s.size(); ++i) {
        if (s[i] < '0' || s[i] > '9')
            return false;
        v = v * 10 + (s[i] - '0');
    }
    value = s[0] == '-' ? -v : v;
    return true;
}

} // namespace

void InitBakSecSettings(TSecSettings& Sec)
{
    const auto& p = ProgSettings.SecCopySettings;
    Sec.DirMode = sdNone;
    Sec.DirPrefix = p.BakPrefix;
    Sec.DirSuffix = p.BakSuffix;
    Sec.FileSuffix = p.BakSuffix;
    Sec.MaxHist = 1;
    Sec.MinHist = 1;
    Sec.AgeInWeeks = 0;
}

void InitSyncSecSettings(TSecSettings& Sec)
{
    const auto& p = ProgSettings.SecCopySettings;
    Sec.DirMode = sdNone;
    Sec.DirPrefix = p.SyncPrefix;
    Sec.DirSuffix.clear();
    Sec.FileSuffix = p.SyncSuffix;
    Sec.MaxHist = 1;
    Sec.MinHist = 1;
    Sec.AgeInWeeks = 0;
}

std::string GetFixedSuffixPart(std::string_view Suffix)
{
    size_t p = Suffix.find('%');
    if (p == std::string_view::npos)
        p = Suffix.find('#');
    return std::string(Suffix.substr(0, p));
}

std::string SecurityCopyDateMasks(std::string_view Text)
{
    std::string text = ReplaceTextIgnoreCase(Text, "%fdate%", FileDateMask);
    text = ReplaceTextIgnoreCase(text, "%bdate%", BackupDateMask);
    return ReplaceTextIgnoreCase(text, "%btime%", BackupTimeMask);
}

bool HasSecurityCopySuffix(std::string_view Name, std::string_view Suffix, bool StripExt)
{
    std::string fixed = GetFixedSuffixPart(Suffix);
    if (fixed.empty())
        return false;
    std::string name = StripExt ? DeleteExtension(Name) : std::string(Name);
    return Lower(name).find("." + Lower(fixed)) != std::string::npos;
}

std::string RemoveSecurityCopySuffix(std::string_view Name, std::string_view Suffix)
{
    std::string fixed = GetFixedSuffixPart(Suffix);
    std::string name(Name);
    if (fixed.empty())
        return name;
    size_t p = Lower(name).find("." + Lower(fixed));
    if (p == std::string::npos)
        return name;
    size_t e = name.find('.', p + 1 + fixed.size());
    if (e == std::string::npos)
        e = name.size();
    name.erase(p, e - p);
    return name;
}

std::string ExpandSecuritySuffix(std::string_view Suffix, TDateTime FileTime)
{
    if (Suffix.empty())
        return ProgSettings.SecCopySettings.BakSuffix;
    return ExpandPlaceholders(Suffix, &FileTime);
}

std::string ExpandBackupDateSuffix(std::string_view Suffix)
{
    if (Suffix.empty())
        return ProgSettings.SecCopySettings.BakSuffix;
    return ExpandPlaceholders(Suffix, nullptr);
}

bool HasDatePlaceholder(std::string_view Text)
{
    std::string lower = Lower(Text);
    return lower.find("%fdate%") != std::string::npos || lower.find("%bdate%") != std::string::npos ||
           lower.find("%btime%") != std::string::npos;
}

bool ReadDateAt(std::string_view Text, int From, TDateTime& Date)
{
    Date = 0;
    if (From < 1 || static_cast<size_t>(From - 1) + 10 > Text.size())
        return false;
    std::string_view s = Text.substr(static_cast<size_t>(From - 1), 10);
    int y, m, d;
    if (!ParseInt(s.substr(0, 4), y) || !ParseInt(s.substr(5, 2), m) || !ParseInt(s.substr(8, 2), d))
        return false;
    TDateTime date;
    if (!TryEncodeDate(y, m, d, date))
        return false;
    Date = date;
    return true;
}

bool ParseDateInName(std::string_view Text, int From, int32_t& Seconds)
{
    Seconds = 0;
    TDateTime date;
    if (!ReadDateAt(Text, From, date))
        return false;
    Seconds = static_cast<int32_t>(DateTimeToUnix(date));
    return true;
}

void ParseCounterSuffix(std::string& Suffix, int& MaxHist, int& MinHist, int& AgeInWeeks)
{
    MaxHist = 1;
    MinHist = 1;
    AgeInWeeks = 0;
    size_t hash = Suffix.find('#');
    if (hash == std::string::npos) {
        size_t a = Suffix.find('/');
        if (a == std::string::npos)
            return;
        size_t b = Suffix.find('/', a + 1);
        if (b != std::string::npos &&
            !ParseInt(std::string_view(Suffix).substr(a + 1, b - a - 1), AgeInWeeks))
            AgeInWeeks = 0;
        Suffix.resize(a);
        return;
    }
    size_t i = hash + 1;
    if (i < Suffix.size() && Suffix[i] >= '1' && Suffix[i] <= '9') {
        MaxHist = Suffix[i] - '0';
        ++i;
        if (i < Suffix.size() && Suffix[i] >= '0' && Suffix[i] <= '9') {
            MaxHist = MaxHist * 10 + (Suffix[i] - '0');
            ++i;
        }
        // A separator after the count ("/" in the task-file form) and a second "/" carry the age
        // and the minimum count. The separator is one character, of however many bytes.
        if (i < Suffix.size() && static_cast<unsigned char>(Suffix[i]) > '.') {
            char32_t separator = 0;
            const size_t from = i + utf8::Decode(Suffix, i, separator);
            size_t second = Suffix.find('/', from);
            if (second != std::string::npos) {
                if (!ParseInt(std::string_view(Suffix).substr(from, second - from), AgeInWeeks))
                    AgeInWeeks = 0;
                std::string_view rest = std::string_view(Suffix).substr(second + 1);
                if (!rest.empty() && !ParseInt(rest, MinHist))
                    MinHist = 1;
            }
        }
    }
    Suffix.resize(hash + 1);
}

std::string BuildCounterSuffix(std::string_view Suffix, int MaxHist, int MinHist, int AgeInWeeks)
{
    std::string text(Suffix);
    // After a "#" the age is only read behind a count, so a single copy with an age limit writes its
    // count of 1 too.
    const bool ageNeedsCount = AgeInWeeks > 0 && Suffix.find('#') != std::string_view::npos;
    if (MaxHist >= 2 || ageNeedsCount)
        text += std::to_string(std::max(MaxHist, 1));
    if (AgeInWeeks > 0)
        text += "/" + std::to_string(AgeInWeeks) + "/" + std::to_string(MinHist);
    return text;
}

std::string ExpandSyncDirSuffix(std::string_view Suffix, TDateTime FileTime)
{
    if (Suffix.empty())
        return "";
    return "-" + ExpandPlaceholders(Suffix, &FileTime);
}

std::string ExpandSyncDirDateSuffix(std::string_view Suffix)
{
    if (Suffix.empty())
        return "";
    return "-" + ExpandPlaceholders(Suffix, nullptr);
}

std::string SyncSecurityCopyDateMasks(std::string_view Text)
{
    if (Text.empty())
        return ProgSettings.SecCopySettings.SyncSuffix;
    return SecurityCopyDateMasks(Text);
}

std::string ExpandSyncSuffix(std::string_view Suffix, TDateTime FileTime)
{
    if (Suffix.empty())
        return "";
    return "." + ExpandPlaceholders(Suffix, &FileTime);
}

std::string MakeSyncCopyName(std::string_view Name, std::string_view Suffix, TDateTime FileTime)
{
    if (!Suffix.empty() && Suffix.front() == '+')
        return std::string(Name) + ExpandSyncSuffix(Suffix.substr(1), FileTime);
    return InsertNameSuffix(Name, ExpandSyncSuffix(Suffix, FileTime));
}

bool NotSyncSecurityCopy(std::string_view FileName, std::string_view Suffix, bool IsZip, bool IsGz,
                         bool IsEnc)
{
    bool isCopy;
    if (!Suffix.empty() && Suffix.front() == '+') {
        std::string mask = "*." + SyncSecurityCopyDateMasks(Suffix.substr(1));
        if (IsZip)
            mask += ".zip";
        else if (IsGz)
            mask += ".gz*";
        else if (IsEnc)
            mask += ".enc";
        isCopy = MatchesFileMask(mask, FileName);
    } else {
        std::string mask = "." + SyncSecurityCopyDateMasks(Suffix);
        size_t dot = FileName.rfind('.');
        isCopy = (dot != std::string_view::npos && MatchesFileMask(mask, FileName.substr(dot))) ||
                 MatchesFileMask("*" + mask + ".*", FileName);
    }
    return !isCopy;
}
