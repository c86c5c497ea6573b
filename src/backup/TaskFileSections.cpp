#include "backup/TaskFileSections.h"

#include <algorithm>
#include <cstdio>

#include "backup/BuFtpDlg.h"
#include "foundation/PathUtils.h"
#include "foundation/PlaceHolders.h"
#include "foundation/StringUtils.h"
#include "foundation/XlFileUtils.h"
#include "rtl/Gettext.h"

namespace taskfile {

namespace {

constexpr const char* DirFilterSection = "DirFilter";
constexpr const char* UserSection = "User";
constexpr const char* FtpSection = "Ftp";
constexpr const char* ProxySection = "Proxy";
constexpr const char* MailSection = "Mail";
constexpr int MaxMailAttachmentKeys = 10;
constexpr int64_t DefaultMaxSize = int64_t(16) << 30;

std::string Numbered(const char* prefix, int n)
{
    char key[32];
    std::snprintf(key, sizeof key, "%s%03d", prefix, n);
    return key;
}

// A stored path relative to a folder: Linux paths start with "/"; a drive letter or a leading
// backslash marks a path of the Windows edition.
bool IsAbsoluteStoredPath(std::string_view path)
{
    return !path.empty() &&
           (path.front() == '/' || path.front() == '\\' || path.find(':') != std::string::npos);
}

// The mode of a stored filter: negative values mean fmInclude, values above fmExclude are invalid.
TFilterMode FilterModeOf(TTaskReader& reader, const std::string& section, const char* key, int def)
{
    int value = reader.Int(section, key, def);
    if (value < 0)
        return fmInclude;
    if (value > fmExclude) {
        reader.Invalid(section, key, std::to_string(value));
        value = def < 0 ? fmInclude : def;
    }
    return static_cast<TFilterMode>(value);
}

void SetFilterText(TTextFilter& filter, const std::string& text)
{
    try {
        filter.SetFilter(text);
    } catch (const EFilterError&) {
        // The filter falls back to matching everything.
    }
}

// A date or time key; a missing key keeps the value, an unreadable one gives false.
bool ReadDateKey(TTaskReader& reader, const std::string& section, const char* key, bool isTime,
                 TDateTime& value, const TFormatSettings& format)
{
    if (!reader.Exists(section, key))
        return true;
    const std::string text = reader.String(section, key, "");
    TDateTime v = 0;
    const bool ok = isTime ? TryTaskStrToTime(text, v, format) : TryTaskStrToDate(text, v, format);
    if (!ok) {
        reader.Invalid(section, key, text);
        return false;
    }
    value = v;
    return true;
}

// The size limits keep only the text before a first '|'.
int64_t ReadSizeKey(TTaskReader& reader, const std::string& section, const char* key, int64_t def)
{
    if (!reader.Exists(section, key))
        return def;
    std::string text = reader.String(section, key, "");
    const size_t bar = text.find('|');
    if (bar != std::string::npos)
        text.resize(bar);
    int64_t value = 0;
    if (!ParseInt64Text(text, value) || value < 0) {
        reader.Invalid(section, key, text);
        return def;
    }
    return value;
}

// The stored form of a tagged sub-folder: relative to the folder, "" for the folder itself.
std::string RelativeSubDir(const std::string& folder, const std::string& subDir)
{
    const std::string base = AddPathDelimiter(folder);
    const std::string dir = AddPathDelimiter(subDir);
    if (utf8::SameText(dir, base))
        return "";
    if (dir.size() > base.size() && utf8::SameText(std::string_view(dir).substr(0, base.size()), base))
        return dir.substr(base.size());
    return subDir;
}

bool IsDirectory(const std::string& path);

} // namespace

std::string FolderSectionName(int index)
{
    return Numbered("Dir", index);
}

void ReadDirFilter(TTaskSettings& task, TTaskReader& reader)
{
    task.MaskExprs.Clear();
    const int count = reader.Range(DirFilterSection, "Count", 0, 0, 999);
    for (int i = 0; i < count; ++i) {
        std::string mask = RemoveEnclosingQuotes(reader.String(DirFilterSection, Numbered("Mask", i), ""));
        const size_t bar = mask.find('|');
        if (bar != std::string::npos)
            mask = bar + 1 < mask.size() ? mask.substr(bar + 1) : mask.substr(0, bar);
        task.MaskExprs.Add(mask);
    }
    reader.ReportUnknownKeys(DirFilterSection);
}

void WriteDirFilter(TMemIniFile& ini, const TTaskSettings& task)
{
    ini.EraseSection(DirFilterSection);
    int n = 0;
    for (const std::string& mask : task.MaskExprs) {
        if (mask.empty())
            continue;
        ini.WriteString(DirFilterSection, Numbered("Mask", n++), QuoteIfBlank(mask));
    }
    ini.WriteInteger(DirFilterSection, "Count", n);
}

void ReadUserSection(TTaskSettings& task, TTaskReader& reader)
{
    const std::string user = reader.String(UserSection, "Username", "");
    const std::string pwd = reader.Password(UserSection, "Password");
    if (!user.empty()) {
        task.UserAccount = user;
        task.UserPwd = pwd;
    }
    reader.ReportUnknownKeys(UserSection);
}

void WriteUserSection(TMemIniFile& ini, const TTaskSettings& task)
{
    ini.EraseSection(UserSection);
    ini.WriteString(UserSection, "Username", task.UserAccount);
    ini.WriteString(UserSection, "Password", EncodePasswordText(task.UserPwd));
}

namespace {

// Reads [Ftp] and [Proxy] key by key to report what cannot be read; the values themselves come from
// the FTP settings reader.
TFtpParams CheckFtpSection(TTaskReader& reader, TFtpParams p)
{
    const char* f = FtpSection;
    p.Host = reader.String(f, "Host", "");
    p.Port = reader.Range(f, "Port", 21, 0, 65535);
    p.Username = reader.String(f, "Username", "");
    p.Password = reader.Password(f, "Password");
    p.Directory = reader.String(f, "SubDir", "");
    p.SecureMode = reader.Range(f, "UseFTPS", 0, 0, 3);
    p.Passive = reader.Bool(f, "Passive", true);
    p.ForceUtf8 = reader.Bool(f, "ForceUtf8", false);
    p.UseIPv6 = reader.Bool(f, "UseIPv6", false);
    p.UseOpts = reader.Bool(f, "UseOpts", false);
    p.UseExts = reader.Bool(f, "UseExtensions", false);
    p.UseHost = reader.Bool(f, "UseHost", false);
    const int offset = reader.Int(f, "TimeOffset", p.TimeOffset + 720) & 0xFFFF;
    p.UseTimeOffset = (offset & 0x1000) != 0;
    p.TimeOffset = (offset & 0xFFF) - 720;
    p.ConnAttempts = reader.Range(f, "Retry", 1, 1, 1000);
    p.ConnTimeout = reader.Range(f, "ConnTimeout", p.ResponseTimeOut, 0, INT32_MAX);
    p.ResponseTimeOut = reader.Range(f, "Timeout", 60000, 0, INT32_MAX);
    p.CertVerify = reader.Range(f, "PeerVerify", 0, 0, 2);
    p.Fingerprint = reader.String(f, "PeerFingerprint", "");
    p.KeepAlive = reader.Int(f, "KeepAlive", 0);
    p.WriteLog = reader.Bool(f, "LogFile", false);
    p.CaseMode = static_cast<TTextChange>(reader.Range(f, "ChangeNames", tcLower, tcNone, tcUpper));
    p.InvalidChars = RemoveEnclosingQuotes(reader.String(f, "ReplChar", ""));
    p.Quotes = reader.Bool(f, "Quotes", false);
    reader.Known(f, "Speed"); // read for [Global] Speed
    reader.ReportUnknownKeys(f);

    const char* x = ProxySection;
    p.Proxy.Server = reader.String(x, "Server", "");
    p.Proxy.Port = reader.Range(x, "Port", 2121, 0, 65535);
    p.Proxy.Username = reader.String(x, "Username", "");
    p.Proxy.Password = reader.Password(x, "Password");
    p.Proxy.Mode = static_cast<TIdFtpProxyType>(
        reader.Range(x, "ProxyType", fpcmNone, fpcmNone, fpcmUserHostFireWallID));
    reader.ReportUnknownKeys(x);
    return p;
}

} // namespace

void ReadFtpSection(TTaskReader& reader, TFtpParams& params)
{
    const TFtpParams checked = CheckFtpSection(reader, params);
    ReadFtpParams(reader.Ini(), FtpSection, params);
    // Numbers outside their range were reported and take their defaults.
    params.Port = checked.Port;
    params.SecureMode = checked.SecureMode;
    params.ConnAttempts = checked.ConnAttempts;
    params.ConnTimeout = checked.ConnTimeout;
    params.ResponseTimeOut = checked.ResponseTimeOut;
    params.CertVerify = checked.CertVerify;
    params.CaseMode = checked.CaseMode;
    params.Proxy.Port = checked.Proxy.Port;
    params.Proxy.Mode = checked.Proxy.Mode;
}

void WriteFtpSection(TMemIniFile& ini, const TFtpParams& params)
{
    WriteFtpParams(ini, FtpSection, params);
}

namespace {

TMailData CheckMailSection(TTaskReader& reader)
{
    TMailData scratch;
    TMailData& m = scratch;
    const char* s = MailSection;
    m = TMailData();
    m.SMTP = reader.String(s, "SMTP", "");
    m.Port = reader.Range(s, "Port", 25, 0, 65535);
    m.Username = reader.String(s, "Username", "");
    m.Password = reader.Password(s, "Password");
    m.Sender = reader.String(s, "Sender", "");
    m.ReplyTo = reader.String(s, "ReplyTo", "");
    m.Recipients = reader.String(s, "Recipients", "");
    m.Subject = reader.String(s, "Subject", "");
    m.SecureMode = static_cast<TSecTransfer>(reader.Range(s, "UseTLS", stNone, stNone, stImplicit));
    m.LogMode = static_cast<TMailMode>(reader.Range(s, "AttachLog", mmNone, mmNone, mmError));
    if (reader.Bool(s, "SendLog", false) && m.LogMode == mmNone)
        m.LogMode = mmAlways;
    m.ZipMode = static_cast<TZipMode>(reader.Range(s, "AsZip", zmNo, zmNo, zmEncrypt));
    m.CryptKey = reader.Password(s, "Encrypt");
    if (m.ZipMode == zmEncrypt && m.CryptKey.empty())
        m.ZipMode = zmYes;
    std::string attachments;
    for (int i = 0; i < MaxMailAttachmentKeys; ++i) {
        const std::string value = reader.String(s, "Attachment" + std::to_string(i), "");
        if (value.empty())
            continue;
        if (!attachments.empty())
            attachments += ',';
        attachments += value;
    }
    m.Attachments = attachments;
    // Keys beyond the tenth attachment are written by saves but never read.
    TStringList keys;
    reader.Ini().ReadSection(s, keys);
    for (const std::string& key : keys)
        if (utf8::SameText(std::string_view(key).substr(0, 10), "Attachment"))
            reader.Known(s, key);
    reader.ReportUnknownKeys(s);
    return scratch;
}

} // namespace

void ReadMailSection(TTaskReader& reader, TMailData& mail)
{
    const TMailData checked = CheckMailSection(reader);
    ReadMailData(reader.Ini(), MailSection, mail);
    mail.Port = checked.Port;
    mail.SecureMode = checked.SecureMode;
    mail.LogMode = checked.LogMode;
    mail.ZipMode = checked.ZipMode;
}

void WriteMailSection(TMemIniFile& ini, const TMailData& mail)
{
    WriteMailData(ini, MailSection, mail);
}

bool ReadFolderSections(TTaskSettings& task, TTaskReader& reader, int dirCount, TInteraction interaction,
                        const TFormatSettings& format, const TTaskEnvironment& environment)
{
    const int count = task.ReplSourceDir.empty() ? dirCount : std::min(dirCount, 1);
    const bool prompt =
        interaction == iaPrompt || interaction == iaErrorPrompt || interaction == iaQuietError;
    bool statsUnknown = false;
    bool cancelled = false;
    for (int i = 0; i < count && !cancelled; ++i) {
        const std::string section = FolderSectionName(i);
        if (!reader.Ini().SectionExists(section))
            continue;
        const std::string source = reader.String(section, "Source", "");
        if (source.empty())
            continue;
        const int fileMode = reader.Range(section, "FileMode", sdmNormal, sdmNormal, sdmPortable);
        auto entry = std::make_unique<TExtensionList>(task.NewPeriod, static_cast<TSubDirMode>(fileMode));
        TExtensionList& e = *entry;
        e.VPath = source;
        e.VName = reader.String(section, "Volume", "");
        if (!task.ReplSourceDir.empty()) {
            e.VPath = task.ReplSourceDir;
            e.VName.clear();
        }
        e.SPath = ExpandPathPlaceholders(e.VPath);
        if (!e.VName.empty() && !environment.IsRemovable(e.SPath))
            e.VName.clear();

        std::string found = e.SPath;
        const int result = environment.CheckSourceFolder(found, e.VName, prompt, task);
        cancelled = result == 1223 || result == 1246;
        e.IsAvailable = !cancelled && result == 0 && environment.FolderAccessible(found);
        if (result == 0)
            e.SPath = found;
        e.Selected = reader.Bool(section, "Enabled", true);

        // file-name and file-type filters
        e.FFilter.SetRegular(reader.Bool(section, "Regular", false));
        e.FFilter.SetMode(FilterModeOf(reader, section, "FilterMode", -1));
        std::string filter = reader.String(section, "Filter", e.FFilter.MatchAll());
        if (filter == "*.*")
            filter = e.FFilter.MatchAll();
        SetFilterText(e.FFilter, filter);
        // A file-name filter shows the match-all mask as "*.*".
        if (!e.FFilter.Regular() && (e.FFilter.GetFilter() == "*" || e.FFilter.GetFilter() == "*.*"))
            e.FFilter.SetMode(fmOff);
        e.EFilter.SetRegular(reader.Bool(section, "ExtRegular", false));
        e.EFilter.SetMode(FilterModeOf(reader, section, "ExtFilterMode", fmOff));
        SetFilterText(e.EFilter, reader.String(section, "ExtFilter", e.EFilter.MatchAll()));

        // time window, sizes and attributes
        e.TmPeriod.Days = reader.Int(section, "Days", 1);
        int timeMode = reader.Int(section, "TimeMode", tmAll);
        if (timeMode < tmAll || timeMode > tmUpdate) {
            reader.Invalid(section, "TimeMode", std::to_string(timeMode));
            timeMode = tmAll;
        }
        e.TmPeriod.Mode = static_cast<TTimeMode>(timeMode);
        e.TmPeriod.TmRef =
            static_cast<TTimeRef>(reader.Range(section, "UseCreationTime", trModify, trModify, trBoth));
        if (!reader.Exists(section, "DayTime"))
            e.TmPeriod.DayTime = 0.25;
        const bool datesOk = ReadDateKey(reader, section, "DayTime", true, e.TmPeriod.DayTime, format) &&
                             ReadDateKey(reader, section, "DateFrom", false, e.TmPeriod.Dat1, format) &&
                             ReadDateKey(reader, section, "DateTo", false, e.TmPeriod.Dat2, format);
        if (!datesOk)
            e.TmPeriod.Mode = tmAll;
        reader.Known(section, "DateFrom");
        reader.Known(section, "DateTo");
        e.SizeLimits.Mode =
            static_cast<TSizeMode>(reader.Range(section, "SizeMode", szAll, szAll, szBetween));
        e.SizeLimits.MinSize = ReadSizeKey(reader, section, "MinSize", e.SizeLimits.MinSize);
        e.SizeLimits.MaxSize = ReadSizeKey(reader, section, "MaxSize", e.SizeLimits.MaxSize);
        e.Attributes = UnpackAttributes(reader.Range(section, "Attributes", 0, 0, 255));

        // type lists and statistics
        e.InclMode = (reader.Int(section, "BackupMode", 0) & 1) != 0 ? buExclude : buInclude;
        e.Include.SetCommaText(reader.String(section, "Include", ""));
        e.Exclude.SetCommaText(reader.String(section, "Exclude", ""));
        e.ICount = reader.Int(section, "FileCount", -1);
        const uint32_t high = static_cast<uint32_t>(reader.Int(section, "ByteCountH", -1));
        const uint32_t low = static_cast<uint32_t>(reader.Int(section, "ByteCountL", -1));
        e.IBytes = static_cast<int64_t>((uint64_t(high) << 32) | low);
        e.SyncCount = static_cast<uint32_t>(reader.Int(section, "SyncCount", 0));
        if (e.ICount < 0 || e.IBytes < 0)
            statsUnknown = true;
        e.DirMask.SetCommaText(reader.String(section, "DirFilter", ""));
        e.IncludeDirs = reader.Bool(section, "IncludeDirs", false);
        const int subCount = reader.Range(section, "SubCount", 0, 0, 999999);
        if (subCount > 0) {
            e.SubDirList.Clear();
            for (int j = 0; j < subCount; ++j) {
                const std::string value =
                    RemoveEnclosingQuotes(reader.String(section, Numbered("SubDir", j), ""));
                if (IsAbsoluteStoredPath(value))
                    continue;
                e.SubDirList.Add(AddPathDelimiter(value.empty() ? e.SPath : JoinPath(e.SPath, value)));
            }
        }
        TStringList keys;
        reader.Ini().ReadSection(section, keys);
        for (const std::string& key : keys)
            if (utf8::SameText(std::string_view(key).substr(0, 6), "SubDir"))
                reader.Known(section, key);
        reader.ReportUnknownKeys(section);

        e.DoUpdate = statsUnknown || !task.ReplSourceDir.empty();
        task.Folders.Add(std::move(entry));
    }
    return cancelled;
}

void WriteFolderSection(TMemIniFile& ini, const TExtensionList& e, const std::string& s,
                        const TFormatSettings& format)
{
    ini.EraseSection(s);
    ini.WriteBool(s, "Enabled", e.Selected);
    ini.WriteString(s, "Source", e.VPath);
    ini.WriteString(s, "Volume", e.VName);
    ini.WriteInteger(s, "FileMode", e.SubDirMode);
    ini.WriteBool(s, "Regular", e.FFilter.Regular());
    ini.WriteInteger(s, "FilterMode", e.FFilter.Mode());
    ini.WriteString(s, "Filter", e.FFilter.GetFilter());
    ini.WriteBool(s, "ExtRegular", e.EFilter.Regular());
    ini.WriteInteger(s, "ExtFilterMode", e.EFilter.Mode());
    ini.WriteString(s, "ExtFilter", e.EFilter.GetFilter());
    ini.WriteInteger(s, "TimeMode", e.TmPeriod.Mode);
    ini.WriteInteger(s, "UseCreationTime", e.TmPeriod.TmRef);
    ini.WriteInteger(s, "Days", e.TmPeriod.Days);
    ini.WriteString(s, "DayTime", TimeToStr(e.TmPeriod.DayTime, format));
    ini.WriteString(s, "DateFrom", DateToStr(e.TmPeriod.Dat1, format));
    ini.WriteString(s, "DateTo", DateToStr(e.TmPeriod.Dat2, format));
    ini.WriteInteger(s, "SizeMode", e.SizeLimits.Mode);
    ini.WriteString(s, "MinSize", std::to_string(e.SizeLimits.MinSize));
    ini.WriteString(s, "MaxSize", std::to_string(e.SizeLimits.MaxSize));
    ini.WriteInteger(s, "Attributes", PackAttributes(e.Attributes));
    ini.WriteInteger(s, "FileCount", e.ICount);
    ini.WriteInteger(s, "ByteCountH", static_cast<int32_t>(static_cast<uint64_t>(e.IBytes) >> 32));
    ini.WriteInteger(s, "ByteCountL", static_cast<int32_t>(static_cast<uint32_t>(e.IBytes)));
    ini.WriteInteger(s, "SyncCount", static_cast<int32_t>(e.SyncCount));
    ini.WriteInteger(s, "BackupMode", e.InclMode == buExclude ? 1 : 0);
    if (e.InclMode == buInclude) {
        ini.WriteString(s, "Include", e.Include.CommaText());
        ini.DeleteKey(s, "Exclude");
    } else {
        ini.WriteString(s, "Exclude", e.Exclude.CommaText());
        ini.DeleteKey(s, "Include");
    }
    ini.WriteString(s, "DirFilter", e.DirMask.CommaText());
    ini.WriteBool(s, "IncludeDirs", e.IncludeDirs);
    int n = 0;
    for (int i = 0; i < e.SubDirList.Count(); ++i) {
        const std::string& dir = e.SubDirList[i];
        if (e.SubDirList.Objects(i) != 0 || !IsDirectory(dir))
            continue;
        ini.WriteString(s, Numbered("SubDir", n++), QuoteIfBlank(RelativeSubDir(e.SPath, dir)));
    }
    ini.WriteInteger(s, "SubCount", n);
}

void WriteFolderStatistics(TMemIniFile& ini, const TTaskSettings& task)
{
    for (int i = 0; i < task.Folders.Count(); ++i) {
        const TExtensionList& e = task.Folders[i];
        const std::string s = FolderSectionName(i);
        ini.WriteInteger(s, "FileCount", e.ICount);
        ini.WriteInteger(s, "ByteCountH", static_cast<int32_t>(static_cast<uint64_t>(e.IBytes) >> 32));
        ini.WriteInteger(s, "ByteCountL", static_cast<int32_t>(static_cast<uint32_t>(e.IBytes)));
        ini.WriteInteger(s, "SyncCount", static_cast<int32_t>(e.SyncCount));
    }
}

namespace {

bool IsDirectory(const std::string& path)
{
    return XlDirectoryExists(path, true);
}

} // namespace

} // namespace taskfile
