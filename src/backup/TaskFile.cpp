#include "backup/TaskFile.h"

#include <set>
#include <sys/stat.h>

#include "archive/PasswordText.h"
#include "foundation/IniFileUtils.h"
#include "foundation/StringUtils.h"
#include "rtl/Gettext.h"
#include "rtl/SysUtils.h"

namespace {

constexpr const char* UnicodeSection = "Unicode";
constexpr const char* GlobalSection = "Global";
constexpr const char* FtpSection = "Ftp";
constexpr const char* UserSection = "User";
constexpr const char* DirFilterSection = "DirFilter";

const TFormatSettings& FormatOf(const TTaskFileContext& context)
{
    return context.Format ? *context.Format : FormatSettings();
}

const std::string& PasswordKey()
{
    static const std::string key = UnscrambleKeyString(ProgramKeyString);
    return key;
}

// Passwords are stored padded to 63 characters (longer ones cut to 64) in Ascii85 form.
std::string EncodeTaskFilePassword(const std::string& pwd)
{
    if (pwd.empty())
        return "";
    std::string result;
    EncodePassword(PasswordKey(), pwd, 64, result, false);
    return result;
}

std::string DecodeTaskFilePassword(const std::string& text)
{
    std::string result;
    if (!text.empty())
        DecodePassword(PasswordKey(), text, false, result);
    return result;
}

// A task file that holds none of our sections, or a number outside its range, is reported once per key.
class TTaskReader
{
public:
    TTaskReader(const TUnicodeIniFile& ini, const std::string& fileName, TTaskFileReport& report)
        : FIni(ini), FFileName(fileName), FReport(report)
    {
    }

    std::string String(const char* section, const char* key, std::string_view def)
    {
        Known(section, key);
        return FIni.ReadString(section, key, def);
    }

    bool Bool(const char* section, const char* key, bool def)
    {
        int value = Int(section, key, def ? 1 : 0);
        return value != 0;
    }

    int Int(const char* section, const char* key, int def)
    {
        Known(section, key);
        if (!FIni.ValueExists(section, key))
            return def;
        const std::string text = FIni.ReadString(section, key, "");
        constexpr int marker = -2147483647;
        const int value = FIni.ReadInteger(section, key, marker);
        if (value == marker && text != std::to_string(marker)) {
            Invalid(section, key, text);
            return def;
        }
        return value;
    }

    // A value in [lo, hi]; anything else gives def and a message.
    int Range(const char* section, const char* key, int def, int lo, int hi)
    {
        const int value = Int(section, key, def);
        if (value < lo || value > hi) {
            Invalid(section, key, std::to_string(value));
            return def;
        }
        return value;
    }

    int64_t Int64(const char* section, const char* key, int64_t def)
    {
        Known(section, key);
        if (!FIni.ValueExists(section, key))
            return def;
        const std::string text = FIni.ReadString(section, key, "");
        constexpr int64_t marker = INT64_MIN + 1;
        const int64_t value = FIni.ReadInt64(section, key, marker);
        if (value == marker && text != std::to_string(marker)) {
            Invalid(section, key, text);
            return def;
        }
        return value;
    }

    // A stored password; one that does not decode gives an empty password and a message.
    std::string Password(const char* section, const char* key)
    {
        const std::string text = String(section, key, "");
        if (text.empty())
            return "";
        const std::string pwd = DecodeTaskFilePassword(text);
        if (pwd.empty())
            FReport.Add(SafeFormat(_("Task file \"%s\": the password of [%s] %s cannot be read"),
                                   {FFileName, section, key}));
        return pwd;
    }

    bool Exists(const char* section, const char* key)
    {
        Known(section, key);
        return FIni.ValueExists(section, key);
    }

    void Invalid(const char* section, const char* key, const std::string& text)
    {
        FReport.Add(SafeFormat(_("Task file \"%s\": invalid value \"%s\" of [%s] %s; the default is used"),
                               {FFileName, text, section, key}));
    }

    // Keys of a section that were never asked for.
    void ReportUnknownKeys(const char* section)
    {
        TStringList keys;
        FIni.ReadSection(section, keys);
        for (const std::string& key : keys) {
            if (!FKnown.count(utf8::Lower(std::string(section) + "\n" + key)))
                FReport.Add(SafeFormat(_("Task file \"%s\": unknown key [%s] %s ignored"),
                                       {FFileName, section, key}));
        }
    }

    void Known(const char* section, const char* key)
    {
        FKnown.insert(utf8::Lower(std::string(section) + "\n" + key));
    }

private:
    const TUnicodeIniFile& FIni;
    const std::string& FFileName;
    TTaskFileReport& FReport;
    std::set<std::string> FKnown;
};

std::string RemoveEnclosingQuotes(std::string_view text)
{
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"')
        return std::string(text.substr(1, text.size() - 2));
    return std::string(text);
}

// '#' in a stored note or command stands for the double quote.
std::string HashToQuote(std::string_view text)
{
    return ReplaceChar(text, U'#', U'"');
}

std::string QuoteToHash(std::string_view text)
{
    return ReplaceChar(text, U'"', U'#');
}

bool ParseIsoDate(std::string_view text, TDateTime& value)
{
    text = utf8::Trim(text);
    int y = 0, m = 0, d = 0, h = 0, n = 0, s = 0;
    char rest[2] = {0, 0};
    const std::string t(text);
    const int fields = std::sscanf(t.c_str(), "%4d-%2d-%2d %2d:%2d:%2d%1s", &y, &m, &d, &h, &n, &s, rest);
    if (fields != 3 && fields != 5 && fields != 6)
        return false;
    if (fields == 3 && t.size() != 10)
        return false;
    TDateTime date = 0, time = 0;
    if (!TryEncodeDate(y, m, d, date) || !TryEncodeTime(h, n, s, 0, time))
        return false;
    value = date < 0 ? date - time : date + time;
    return true;
}

void ReadGlobal(TTaskSettings& task, TTaskReader& r, const TQvSettings& settings,
                const TFormatSettings& format, const TTaskFileContext& context)
{
    const char* g = GlobalSection;
    task.BuFtp = r.Bool(g, "FtpBackup", false);
    task.BuZiel = r.String(g, "Destination", "");
    task.TargetType = context.Environment ? context.Environment->FileSystemOf(task.BuZiel) : fsNotAvail;
    task.TaskNote = HashToQuote(r.String(g, "Note", ""));
    task.TaskPwd = r.Password(g, "TaskPwd");
    task.DriveId = r.String(g, "DriveId", settings.OtherSettings.DefDriveId);

    // Older files kept the speed limit in [Ftp].
    const int ftpSpeed = r.Int(FtpSection, "Speed", 0);
    task.MaxRate = r.Int(g, "Speed", ftpSpeed);
    if (task.MaxRate == 0 && ftpSpeed > 0)
        task.MaxRate = ftpSpeed;
    task.TaskPriority =
        static_cast<TThreadPriority>(r.Range(g, "Priority", tpNormal, tpIdle, tpTimeCritical));
    task.FullSpeed = r.Bool(g, "MaxLoad", true);

    task.cbSourceDelete = r.Bool(g, "DeleteFile", false);
    task.DelSourceDelDir = r.Range(g, "DeleteDirs", 0, 0, 3);
    task.cbVerify = r.Bool(g, "Verify", false);
    task.UseVss = r.Bool(g, "UseVss", false);
    task.cbCompress = r.Bool(g, "Compress", settings.CopySettings.CompMode != 0);
    task.cbZipCompress = r.Bool(g, "CompressAsZip", false) && task.cbCompress;

    const std::string noComp = r.String(g, "NoCompTypes", settings.CopySettings.NoCompress);
    task.AktNoComp.Clear();
    if (noComp != "#")
        task.AktNoComp.SetCommaText(noComp.empty() ? settings.CopySettings.NoCompress : noComp);

    task.LastCrypt = r.Range(g, "Encrypt", 0, 0, 3);
    task.cbEncrypt = task.LastCrypt > 0;
    task.CryptKeyMode = task.LastCrypt == 2 ? ck128 : task.LastCrypt == 3 ? ck256 : ckAuto;
    const bool encNames = r.Exists(g, "EncrypFilenames") ? r.Bool(g, "EncrypFilenames", false)
                                                         : r.Bool(g, "EncryptFilenames", false);
    task.cbEncNames = encNames && task.cbEncrypt;
    task.EncChg = r.Bool(g, "ChangedEnc", false);
    task.cbFixPwd = r.Bool(g, "FixPassword", false) && task.cbEncrypt;
    task.CryptPwd = r.Password(g, "Password");
    if (task.cbFixPwd && task.CryptPwd.empty())
        task.cbFixPwd = false;
    if (!task.cbEncrypt)
        task.CryptPwd.clear();

    task.FnMode = static_cast<TTextChange>(r.Range(g, "ChangeNames", tcNone, tcNone, tcUpper));
    task.TaskBufferSize = r.Int(
        g, "BufferSize", task.BuFtp ? settings.CopySettings.FTPBufferSize : settings.CopySettings.BufferSize);
    task.CopyTimeout = r.Int(g, "Timeout", 60);
    task.TimeOutMax = r.Int(g, "TimeoutMax", 5);
    task.TaskProtMode = r.Int(g, "LogFile", settings.LogSettings.LogMode & 0x47);
    task.ShowErrors = (task.TaskProtMode & LogShowErrors) != 0;
    task.TaskLogName = r.String(g, "LogName", "");

    task.DeltaTime = r.Int(g, "Timespan", 2);
    task.DstIgnore = r.Range(g, "IgnoreDst", 2, 0, 3);
    if (r.Exists(g, "CompareMode")) {
        task.CompareMode = r.Range(g, "CompareMode", 0, 0, 3);
    } else {
        const bool exact = r.Bool(g, "CompareExact", false);
        const bool size = r.Bool(g, "CompareSize", false);
        task.CompareMode = exact ? (size ? 2 : 1) : 0;
    }
    r.Known(g, "CompareExact");
    r.Known(g, "CompareSize");

    task.IgnoreJunctions = r.Bool(g, "IgnoreJunctions", true);
    r.Known(g, "AllowJunctions");
    r.Known(g, "FollowJunctions");
    if (task.IgnoreJunctions) {
        task.UseJunctions = false;
        task.FollowJunctions = false;
    } else {
        task.UseJunctions = r.Bool(g, "AllowJunctions", false);
        task.FollowJunctions = r.Bool(g, "FollowJunctions", false);
    }
    task.ScanDirs = r.Bool(g, "ScanDirectories", false);
    task.NoWriteCache = r.Bool(g, "NoWriteCache", false);
    task.WriteTsFile = r.Bool(g, "TimestampFile", false);
    task.SkipDir = r.Bool(g, "SkipUnavailDir", false);
    task.DisplayOff = r.Bool(g, "AllowDisplayOff", false);
    task.NoVolCheck = r.Bool(g, "NoVolumeCheck", false);
    task.ReplMode = static_cast<TCharRepl>(r.Range(g, "ReplMode", cpNot, cpNot, cpSimple));
    task.ReplChar = r.Range(g, "ReplChar", '~', 1, 0x10FFFF);

    if (task.CmdAltUserName.empty()) {
        const std::string user = r.String(UserSection, "Username", "");
        const std::string pwd = r.Password(UserSection, "Password");
        if (!user.empty()) {
            task.UserAccount = user;
            task.UserPwd = pwd;
        }
    } else {
        task.UserAccount = task.CmdAltUserName;
        task.UserPwd = task.CmdAltUserPwd;
    }

    task.DestMode = r.Range(g, "DestMode", 0, 0, 7);
    if (task.DestMode < 4)
        task.cbEncNames = false;
    task.UserZipName = r.String(g, "ZipDefault", DefaultZipName());
    if (task.DestMode == 5)
        task.ZipNameEdit = _("<root directory>") + r.String(g, "ZipName", "");
    else
        task.ZipNameEdit = r.String(g, "ZipName", task.UserZipName);
    if (task.ZipNameEdit.empty())
        task.ZipNameEdit = task.UserZipName;
    task.MaxZipSize = r.Int64(g, "ZipSize", 0);
    if (task.MaxZipSize < 0) {
        r.Invalid(g, "ZipSize", std::to_string(task.MaxZipSize));
        task.MaxZipSize = 0;
    }

    task.SyncMode = r.Range(g, "SyncMode", 0, 0, 3);
    task.SyncBefore = r.Bool(g, "SyncBefore", false);
    task.cbSyncRecycle = r.Bool(g, "UseRecycler", false);
    task.KeepSyncCB = r.Bool(g, "SyncFiles", false);
    task.KeepBakCB = r.Bool(g, "BakFiles", false);

    const TQvSecCopySettings& sec = settings.SecCopySettings;
    task.BakSec.DirMode = static_cast<TSecDirMode>(r.Range(g, "BakSecMode", sdNone, sdNone, sdRootDrive));
    task.BakSec.DirPrefix = r.String(g, "BakPrefix", sec.BakPrefix);
    std::string bakSuffix = r.String(g, "BakSuffix", sec.BakSuffix);
    ParseSecSuffix(bakSuffix, task.BakSec.MaxHist, task.BakSec.MinHist, task.BakSec.AgeInWeeks);
    task.BakSec.FileSuffix = bakSuffix;
    task.SyncSec.DirMode = static_cast<TSecDirMode>(r.Range(g, "SyncSecMode", sdNone, sdNone, sdRootDrive));
    task.SyncSec.DirPrefix = r.String(g, "SyncPrefix", sec.SyncPrefix);
    task.SyncSec.DirSuffix = r.String(g, "DirSuffix", sec.SyncPrefix);
    task.SyncSec.FileSuffix = r.String(g, "SyncSuffix", sec.SyncSuffix);
    if (task.SyncSec.DirMode == sdNone && task.SyncSec.FileSuffix.empty())
        task.SyncSec.FileSuffix = sec.SyncSuffix;

    task.cbCopySummary = r.Bool(g, "CopySummary", false);
    task.cbAltStreams = r.Bool(g, "CopyAltStreams", false);
    task.cbCopyPerms = r.Bool(g, "CopyPermissions", false);
    task.cbCreationTime = r.Bool(g, "CreationTime", true);
    task.cbNoAttributes = r.Bool(g, "CopyNoAttributes", false);
    task.cbDelDir = r.Bool(g, "EmptyDirs", false);

    task.CmdEnc = r.Range(g, "EncryptCommands", 0, 0, 1);

    task.ClearDest = r.Bool(g, "ClearDest", false) && task.DestMode <= 3;
    task.ResArchivCB = r.Bool(g, "ArchBit", false);
    task.UseArchivCB = r.Bool(g, "UseArch", false);
    task.cbArchFile = r.Bool(g, "OnlyArch", false);
    if (!task.ClearDest && !task.UseArchivCB) {
        if (task.DestMode < 4)
            task.ResArchivCB = false;
        task.cbArchFile = false;
    }
    task.BackupCount = r.Int(g, "BackupCount", 1);
    task.LastBuTime = r.String(g, "LastBackup", "");
    task.LastBackupTime = 0;
    if (!task.LastBuTime.empty() && !TryTaskStrToDateTime(task.LastBuTime, task.LastBackupTime, format)) {
        r.Invalid(g, "LastBackup", task.LastBuTime);
        task.LastBackupTime = 0;
    }

    // [DirFilter]
    task.MaskExprs.Clear();
    const int count = r.Range(DirFilterSection, "Count", 0, 0, 999);
    for (int i = 0; i < count; ++i) {
        char key[16];
        std::snprintf(key, sizeof key, "Mask%03d", i);
        std::string mask = r.String(DirFilterSection, key, "");
        mask = RemoveEnclosingQuotes(mask);
        const size_t bar = mask.find('|');
        if (bar != std::string::npos && bar + 1 < mask.size())
            mask = mask.substr(bar + 1);
        else if (bar != std::string::npos)
            mask = mask.substr(0, bar);
        task.MaskExprs.Add(mask);
    }
}

} // namespace

namespace {

[[maybe_unused]] std::string EncodeCommandText(const std::string& command, int cmdEnc)
{
    if (cmdEnc != 1)
        return QuoteToHash(command);
    if (command.empty())
        return "";
    std::string result;
    EncodeCommand(PasswordKey(), command, true, result);
    return result;
}

[[maybe_unused]] std::string DecodeCommandText(const std::string& text, int cmdEnc)
{
    if (cmdEnc != 1)
        return HashToQuote(text);
    std::string result;
    if (!text.empty())
        DecodeCommand(PasswordKey(), text, true, result);
    return result;
}

std::string ZipNameToStore(const TTaskSettings& task)
{
    if (task.DestMode != 5)
        return task.ZipNameEdit;
    const size_t dash = task.ZipNameEdit.find('-');
    return dash == std::string::npos ? std::string() : task.ZipNameEdit.substr(dash);
}

int EncryptToStore(const TTaskSettings& task)
{
    if (!task.cbEncrypt)
        return 0;
    return task.CryptKeyMode == ck128 ? 2 : task.CryptKeyMode == ck256 ? 3 : 1;
}

void WriteDirFilter(TUnicodeIniFile& ini, const TTaskSettings& task)
{
    ini.EraseSection(DirFilterSection);
    int n = 0;
    for (const std::string& mask : task.MaskExprs) {
        if (mask.empty())
            continue;
        char key[16];
        std::snprintf(key, sizeof key, "Mask%03d", n++);
        ini.WriteString(DirFilterSection, key, QuoteIfSpace(mask));
    }
    ini.WriteInteger(DirFilterSection, "Count", n);
}

// The reduced form of a task without folders.
void WriteReducedGlobal(TUnicodeIniFile& ini, const TTaskSettings& task)
{
    const char* g = GlobalSection;
    ini.EraseSection(g);
    ini.WriteString(g, "Destination", task.BuZiel);
    ini.WriteBool(g, "Compress", task.cbCompress);
    ini.WriteBool(g, "CompressAsZip", task.cbZipCompress && task.cbCompress);
    ini.WriteString(g, "NoCompTypes", task.AktNoComp.CommaText());
    ini.WriteInteger(g, "DestMode", task.DestMode);
    ini.WriteString(g, "ZipDefault", task.UserZipName);
    ini.WriteString(g, "ZipName", ZipNameToStore(task));
    ini.WriteString(g, "LastBackup", task.LastBuTime);
    ini.WriteInteger(g, "DirCount", 0);
}

void WriteGlobal(TUnicodeIniFile& ini, TTaskSettings& task, int dirCount)
{
    const char* g = GlobalSection;
    ini.WriteBool(g, "FtpBackup", task.BuFtp);
    ini.WriteString(g, "Destination", task.BuZiel);
    ini.WriteString(g, "Note", QuoteToHash(task.TaskNote));
    ini.WriteString(g, "TaskPwd", EncodeTaskFilePassword(task.TaskPwd));
    ini.WriteString(g, "DriveId", task.DriveId);
    ini.WriteInteger(g, "Speed", task.MaxRate);
    ini.WriteBool(g, "MaxLoad", task.FullSpeed);
    ini.WriteInteger(g, "Priority", task.TaskPriority);
    ini.WriteBool(g, "DeleteFile", task.cbSourceDelete);
    ini.WriteInteger(g, "DeleteDirs", task.DelSourceDelDir);
    ini.WriteBool(g, "Verify", task.cbVerify);
    ini.WriteBool(g, "UseVss", task.UseVss);
    ini.WriteBool(g, "Compress", task.cbCompress);
    ini.WriteBool(g, "CompressAsZip", task.cbZipCompress && task.cbCompress);
    ini.WriteString(g, "NoCompTypes", task.AktNoComp.Empty() ? std::string("#") : task.AktNoComp.CommaText());
    ini.WriteInteger(g, "Encrypt", EncryptToStore(task));
    ini.DeleteKey(g, "EncrypFilenames");
    ini.WriteBool(g, "EncryptFilenames", task.cbEncNames && task.cbEncrypt);
    ini.WriteBool(g, "ChangedEnc", task.cbEncrypt != (task.LastCrypt != 0));
    ini.WriteBool(g, "FixPassword", task.cbFixPwd);
    ini.WriteString(g, "Password", task.cbFixPwd ? EncodeTaskFilePassword(task.CryptPwd) : std::string());
    ini.WriteInteger(g, "ChangeNames", task.FnMode);
    ini.WriteInteger(g, "BufferSize", task.TaskBufferSize);
    ini.WriteInteger(g, "Timeout", task.CopyTimeout);
    ini.WriteInteger(g, "TimeoutMax", task.TimeOutMax);
    if (task.ShowErrors)
        task.TaskProtMode |= LogShowErrors;
    else
        task.TaskProtMode &= ~LogShowErrors;
    ini.WriteInteger(g, "LogFile", task.TaskProtMode);
    ini.WriteString(g, "LogName", task.TaskLogName);
    ini.WriteInteger(g, "Timespan", task.DeltaTime);
    ini.WriteInteger(g, "IgnoreDst", task.DstIgnore);
    ini.WriteInteger(g, "CompareMode", task.CompareMode);
    ini.DeleteKey(g, "CompareExact");
    ini.DeleteKey(g, "CompareSize");
    ini.WriteBool(g, "IgnoreJunctions", task.IgnoreJunctions);
    ini.WriteBool(g, "AllowJunctions", task.UseJunctions);
    ini.WriteBool(g, "FollowJunctions", task.FollowJunctions);
    ini.WriteBool(g, "ScanDirectories", task.ScanDirs);
    ini.WriteBool(g, "NoWriteCache", task.NoWriteCache);
    ini.WriteBool(g, "TimestampFile", task.WriteTsFile);
    ini.WriteBool(g, "SkipUnavailDir", task.SkipDir);
    ini.WriteBool(g, "AllowDisplayOff", task.DisplayOff);
    ini.WriteBool(g, "NoVolumeCheck", task.NoVolCheck);
    ini.WriteInteger(g, "ReplMode", task.ReplMode);
    ini.WriteInteger(g, "ReplChar", task.ReplChar);
    if (task.CmdAltUserName.empty()) {
        ini.EraseSection(UserSection);
        ini.WriteString(UserSection, "Username", task.UserAccount);
        ini.WriteString(UserSection, "Password", EncodeTaskFilePassword(task.UserPwd));
    }
    ini.WriteInteger(g, "DestMode", task.DestMode);
    ini.WriteString(g, "ZipDefault", task.UserZipName);
    ini.WriteString(g, "ZipName", ZipNameToStore(task));
    ini.WriteInt64(g, "ZipSize", task.MaxZipSize);
    if (task.ClearDest)
        task.SyncMode = 0;
    ini.WriteInteger(g, "SyncMode", task.SyncMode);
    ini.WriteBool(g, "SyncBefore", task.SyncBefore);
    ini.WriteBool(g, "UseRecycler", task.cbSyncRecycle);
    ini.WriteBool(g, "BakFiles", task.KeepBakCB);
    ini.WriteInteger(g, "BakSecMode", task.BakSec.DirMode);
    ini.WriteString(g, "BakPrefix", task.BakSec.DirPrefix);
    ini.WriteString(g, "BakSuffix",
                    FormatSecSuffix(task.BakSec.FileSuffix, task.BakSec.MaxHist, task.BakSec.MinHist,
                                    task.BakSec.AgeInWeeks));
    ini.WriteBool(g, "SyncFiles", task.KeepSyncCB);
    ini.WriteInteger(g, "SyncSecMode", task.SyncSec.DirMode);
    ini.WriteString(g, "SyncPrefix", task.SyncSec.DirPrefix);
    ini.WriteString(g, "DirSuffix", task.SyncSec.DirSuffix);
    ini.WriteString(g, "SyncSuffix", task.SyncSec.FileSuffix);
    ini.WriteBool(g, "CopySummary", task.cbCopySummary);
    ini.WriteBool(g, "CopyAltStreams", task.cbAltStreams);
    ini.WriteBool(g, "CopyPermissions", task.cbCopyPerms);
    ini.WriteBool(g, "CreationTime", task.cbCreationTime);
    ini.WriteBool(g, "CopyNoAttributes", task.cbNoAttributes);
    ini.WriteBool(g, "EmptyDirs", task.cbDelDir);
    ini.WriteInteger(g, "EncryptCommands", task.CmdEnc);
    ini.WriteBool(g, "ClearDest", task.ClearDest);
    ini.WriteBool(g, "ArchBit", task.ResArchivCB);
    ini.WriteBool(g, "UseArch", task.UseArchivCB);
    ini.WriteBool(g, "OnlyArch", task.cbArchFile);
    ini.WriteInteger(g, "BackupCount", task.BackupCount);
    ini.WriteString(g, "LastBackup", task.LastBuTime);
    WriteDirFilter(ini, task);
    ini.WriteInteger(g, "DirCount", dirCount);
}

} // namespace

std::string TaskDateTimeToStr(TDateTime value, const TFormatSettings& format)
{
    return DateTimeToStr(value, format);
}

bool TryTaskStrToDateTime(const std::string& text, TDateTime& value, const TFormatSettings& format)
{
    return TryStrToDateTime(text, value, format) || ParseIsoDate(text, value);
}

bool TryTaskStrToDate(const std::string& text, TDateTime& value, const TFormatSettings& format)
{
    TDateTime v = 0;
    if (TryStrToDate(text, v, format) || (ParseIsoDate(text, v) && v == DateOf(v))) {
        value = v;
        return true;
    }
    return false;
}

bool TryTaskStrToTime(const std::string& text, TDateTime& value, const TFormatSettings& format)
{
    return TryStrToTime(text, value, format);
}

bool LoadTask(TTaskSettings& task, const std::string& fileName, bool full, TInteraction interaction,
              TTaskFileReport& report, const TTaskFileContext& context)
{
    (void)interaction;
    struct stat st
    {
    };
    if (fileName.empty() || ::stat(fileName.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    const TQvSettings& settings = *context.Settings;
    const TFormatSettings& format = FormatOf(context);

    task.UpdateBusy = true;
    task.LoadedTaskName = fileName;
    if (full)
        SetNewTaskDefaults(task, settings);
    try {
        TUnicodeIniFile ini = TUnicodeIniFile::CreateForRead(fileName);
        TTaskReader reader(ini, fileName, report);
        if (full) {
            if (!ini.SectionExists(GlobalSection))
                report.Add(SafeFormat(_("Task file \"%s\" has no [Global] section; the defaults are used"),
                                      {fileName}));
            ReadGlobal(task, reader, settings, format, context);
            reader.Known(GlobalSection, "Program");
            reader.Known(GlobalSection, "Version");
        }
        const int dirCount = reader.Range(GlobalSection, "DirCount", 0, 0, 999);
        if (task.DestMode > 3 || (task.DestMode == 2 && dirCount > 1))
            task.ClearDest = false;
        if (full)
            reader.ReportUnknownKeys(GlobalSection);
    } catch (const std::exception& e) {
        report.Add(e.what());
        report.Abandoned = true;
        task.UpdateBusy = false;
        return false;
    }

    TOptionFacts facts;
    if (context.Environment)
        facts = context.Environment->OptionFacts(task);
    NormaliseTask(task, facts);
    task.UpdateBusy = false;
    task.EditStatus = esSaved;
    return true;
}

bool SaveTask(TTaskSettings& task, const std::string& fileName, const std::vector<int>& indexes,
              TTaskFileReport& report, const TTaskFileContext& context)
{
    if (indexes.empty())
        task.LoadedTaskName = fileName;
    try {
        TUnicodeIniFile ini = TUnicodeIniFile::CreateForWrite(fileName, true);
        ini.WriteProgramInfo("Program", context.ProgramName);
        ini.WriteProgramInfo("Version", context.Version);
        const int dirCount = 0;
        if (dirCount == 0)
            WriteReducedGlobal(ini, task);
        else
            WriteGlobal(ini, task, dirCount);
        if (indexes.empty())
            task.ActTaskName = fileName;
        ini.UpdateFile();
    } catch (const std::exception&) {
        report.Add(SafeFormat(_("Error saving task \"%s\"!"), {fileName}));
        return false;
    }
    return true;
}

void UpdateTaskStatus(TTaskSettings& task, const std::string& fileName, TDateTime startTime,
                      TTaskFileReport& report, const TTaskFileContext& context)
{
    if (fileName.empty())
        return;
    const std::string failed = "  *** " + SafeFormat(_("Could not update task file: \"%s\""), {fileName});
    struct stat st
    {
    };
    if (::stat(fileName.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        report.Add(failed);
        return;
    }
    // A read-only file is made writable for the update and read-only again afterwards.
    const mode_t mode = st.st_mode & 07777;
    if ((mode & S_IWUSR) == 0)
        ::chmod(fileName.c_str(), mode | S_IWUSR);
    try {
        TUnicodeIniFile ini = TUnicodeIniFile::CreateForWrite(fileName, false);
        ini.WriteProgramInfo("Program", context.ProgramName);
        ini.WriteProgramInfo("Version", context.Version);
        ini.DeleteKey(GlobalSection, "Program");
        ini.DeleteKey(GlobalSection, "Version");
        task.EncChg = false;
        task.LastCrypt = task.cbEncrypt ? 1 : 0;
        ini.WriteBool(GlobalSection, "ChangedEnc", false);
        ++task.BackupCount;
        ini.WriteInteger(GlobalSection, "BackupCount", task.BackupCount);
        task.LastBuTime = TaskDateTimeToStr(startTime, FormatOf(context));
        task.LastBackupTime = startTime;
        ini.WriteString(GlobalSection, "LastBackup", task.LastBuTime);
        ini.UpdateFile();
    } catch (const EWriteError&) {
        report.Add(failed);
    } catch (const std::exception& e) {
        report.Add(std::string("  *** ") + e.what());
    }
    if ((mode & S_IWUSR) == 0)
        ::chmod(fileName.c_str(), mode);
}
