#include "tools/Cleanup.h"

#include "backup/BuFtpDlg.h"
#include "backup/TaskFileReader.h"
#include "foundation/InitProg.h"
#include "foundation/NumberUtils.h"
#include "foundation/QvUtilsNames.h"
#include "foundation/QvUtilsTexts.h"
#include "foundation/XlFileUtils.h"

#include "rtl/Gettext.h"
#include "rtl/SysUtils.h"

namespace {

constexpr const char* CleanupSection = "Cleanup";
constexpr const char* UserSection = "User";
constexpr TSecSelections DirsBit = 1u << ssDirs;
constexpr TSecSelections FilesBit = 1u << ssFiles;
constexpr int DefaultSecOptions = 4102;

std::string DefaultDriveIdent()
{
    std::string id = ProgSettings.OtherSettings.DefDriveId;
    if (id.empty())
        id = GetDriveDirPrefix();
    if (id.find('?') == std::string::npos)
        id += '?';
    return id;
}

TDateTime ReadDate(const TMemIniFile& ini)
{
    TDateTime date = 0;
    const std::string text = ini.ReadString(CleanupSection, "Date", "");
    if (text.empty() || !TryStrToDate(text, date))
        date = Date();
    return DateOf(date);
}

void ReadSecKeys(const TMemIniFile& ini, TCleanupSettings& s)
{
    const char* c = CleanupSection;
    const TQvSecCopySettings& p = ProgSettings.SecCopySettings;
    auto readOne = [&](TSecSettings& sec, const char* dirs, const char* files, const char* prefix,
                       const char* suffix, const std::string& defPrefix, const std::string& defSuffix) {
        sec.Selection = 0;
        if (ini.ReadBool(c, dirs, false))
            sec.Selection |= DirsBit;
        if (ini.ReadBool(c, files, false))
            sec.Selection |= FilesBit;
        sec.DirPrefix = ini.ReadString(c, prefix, defPrefix);
        sec.FileSuffix = ini.ReadString(c, suffix, defSuffix);
        SetBDateSeparator(sec);
    };
    readOne(s.BakSec, "BakDirs", "BakFiles", "BakPrefix", "BakSuffix", p.BakPrefix, p.BakSuffix);
    readOne(s.SyncSec, "SyncDirs", "SyncFiles", "SyncPrefix", "SyncSuffix", p.SyncPrefix, p.SyncSuffix);
    s.SecAge = DecodeSecOptions(ini.ReadInteger(c, "SecOptions", DefaultSecOptions));
}

void WriteSecKeys(TMemIniFile& ini, const TCleanupSettings& s)
{
    const char* c = CleanupSection;
    ini.WriteBool(c, "BakDirs", (s.BakSec.Selection & DirsBit) != 0);
    ini.WriteBool(c, "BakFiles", (s.BakSec.Selection & FilesBit) != 0);
    ini.WriteString(c, "BakPrefix", s.BakSec.DirPrefix);
    ini.WriteString(c, "BakSuffix", s.BakSec.FileSuffix);
    ini.WriteBool(c, "SyncDirs", (s.SyncSec.Selection & DirsBit) != 0);
    ini.WriteBool(c, "SyncFiles", (s.SyncSec.Selection & FilesBit) != 0);
    ini.WriteString(c, "SyncPrefix", s.SyncSec.DirPrefix);
    ini.WriteString(c, "SyncSuffix", s.SyncSec.FileSuffix);
    ini.WriteInteger(c, "SecOptions", EncodeSecOptions(s.SecAge));
}

void ReadFilterKeys(const TMemIniFile& ini, TCleanupSettings& s)
{
    const char* c = CleanupSection;
    s.FilterRegular = ini.ReadBool(c, "Regular", false);
    const int fm = ini.ReadInteger(c, "FilterMode", fmOff);
    s.FilterMode = fm >= fmOff && fm <= fmExclude ? static_cast<TFilterMode>(fm) : fmOff;
    s.FilterText = ini.ReadString(c, "Filter", s.FilterRegular ? "." : "*");
    // a text the filter refuses leaves the filter matching everything
    TTextFilter probe(true, true);
    probe.SetRegular(s.FilterRegular);
    try {
        probe.SetFilter(s.FilterText);
    } catch (const EFilterError&) {
        s.FilterText = probe.MatchAll();
    }
}

void WriteFilterKeys(TMemIniFile& ini, const TCleanupSettings& s)
{
    const char* c = CleanupSection;
    ini.WriteBool(c, "Regular", s.FilterRegular);
    ini.WriteInteger(c, "FilterMode", s.FilterMode);
    ini.WriteString(c, "Filter", s.FilterText);
}

int RangeOr(int value, int lo, int hi, int def)
{
    return value >= lo && value <= hi ? value : def;
}

} // namespace

TSecAge DecodeSecOptions(int value)
{
    TSecAge age;
    age.Count = value & 0xFFF;
    if (age.Count < 1 || age.Count > 999)
        age.Count = 6;
    const int unitBits = (value >> 12) & 0xF;
    age.Unit = unitBits == 1 ? 1 : unitBits == 2 ? 2 : 0;
    age.Enabled = (value & 0x10000) != 0;
    return age;
}

int EncodeSecOptions(const TSecAge& age)
{
    int value = age.Count & 0xFFF;
    if (age.Unit == 1)
        value |= 0x1000;
    else if (age.Unit == 2)
        value |= 0x2000;
    if (age.Enabled)
        value |= 0x10000;
    return value;
}

TCleanupSettings DefaultCleanupSettings()
{
    TCleanupSettings s;
    const TQvSecCopySettings& p = ProgSettings.SecCopySettings;
    s.BakSec.DirPrefix = p.BakPrefix;
    s.BakSec.DirSuffix = s.BakSec.FileSuffix = p.BakSuffix;
    s.SyncSec.DirPrefix = p.SyncPrefix;
    s.SyncSec.DirSuffix = s.SyncSec.FileSuffix = p.SyncSuffix;
    s.SecAge = DecodeSecOptions(DefaultSecOptions);
    s.DriveIdent = DefaultDriveIdent();
    s.Date = Date();
    s.SpaceText = FormatSize(true, s.SpaceSize);
    InitFtpParams(s.FtpPar);
    InitMailData(s.MailData);
    return s;
}

void LoadCleanupTask(const std::string& fileName, TCleanupSettings& s)
{
    if (!XlFileExists(fileName))
        throw EInOutError(SafeFormat(_("File\r\n\"%s\"\r\nnot found!"), {fileName}), 2);
    TUnicodeIniFile ini = TUnicodeIniFile::CreateForRead(fileName);
    const char* c = CleanupSection;
    s.Directory = ini.ReadString(c, "Directory", "");
    int mode = ini.ReadInteger(c, "Mode", caWeeks);
    int count = ini.ReadInteger(c, "TimeCount", 0);
    if (count == 0) {
        // files of older versions knew four fixed periods
        static const int legacy[5][2] = {{caAll, 1}, {caWeeks, 1}, {caWeeks, 4}, {caMonths, 6}, {caYears, 1}};
        if (mode >= 1 && mode <= 4) {
            count = legacy[mode][1];
            mode = legacy[mode][0];
        } else {
            count = 1;
        }
    }
    s.AgeMode = RangeOr(mode, caAll, caSince, caAll);
    s.TimeCount = RangeOr(count, 1, 999, 1);
    s.Date = ReadDate(ini);
    s.TypesMode = RangeOr(ini.ReadInteger(c, "Types", 0), 0, 2, 0);
    s.Subject = RangeOr(ini.ReadInteger(c, "Subject", csFiles), csFiles, csSecurityCopies, csFiles);
    s.Compressed = ini.ReadBool(c, "Compressed", true);
    s.IgnoreEnc = ini.ReadBool(c, "IgnoreEnc", true);
    s.FreeSpace = ini.ReadBool(c, "FreeSpace", false);
    s.SpaceSize = ini.ReadInt64(c, "SpaceSize", DefaultSpaceSize);
    if (s.SpaceSize <= 0)
        s.SpaceSize = DefaultSpaceSize;
    s.SpaceText = FormatSize(true, s.SpaceSize);
    s.TypeList = ini.ReadString(c, "TypeList", "");
    s.DriveIdent = ini.ReadString(c, "DriveId", s.DriveIdent);
    if (s.DriveIdent.find('?') == std::string::npos)
        s.DriveIdent += '?';
    s.Sync = RangeOr(ini.ReadInteger(c, "Sync", csyOff), csyOff, csyFolder, csyOff);
    s.SyncDir = ini.ReadString(c, "SyncDir", "");
    s.UseRecycler = ini.ReadBool(c, "UseRecycler", false);
    s.EmptyDirs = ini.ReadBool(c, "EmptyDirs", true);
    s.EmptyRoot = ini.ReadBool(c, "EmptyRoot", true);
    ReadSecKeys(ini, s);
    ReadFilterKeys(ini, s);
    s.ProtMode = ini.ReadInteger(c, "LogFile", s.ProtMode & 7);
    s.TaskLogName = ini.ReadString(c, "LogName", "");
    s.CuFtp = ini.ReadBool(c, "FtpBackup", false);
    InitFtpParams(s.FtpPar);
    ReadFtpParams(ini, "Ftp", s.FtpPar);
    InitMailData(s.MailData);
    ReadMailData(ini, "Mail", s.MailData);
    const int mail = ini.ReadInteger(c, "SendMail", mmNone);
    s.MailMode =
        mail >= mmNone && mail <= mmError && !s.MailData.SMTP.empty() && !s.MailData.Recipients.empty()
            ? static_cast<TMailMode>(mail)
            : mmNone;
    bool ok = true;
    s.UserAccount = ini.ReadString(UserSection, "Username", "");
    s.UserPwd.clear();
    if (!s.UserAccount.empty())
        s.UserPwd = taskfile::DecodePasswordText(ini.ReadString(UserSection, "Password", ""), ok);
}

void SaveCleanupTask(const std::string& fileName, const TCleanupSettings& s)
{
    TUnicodeIniFile ini = TUnicodeIniFile::CreateForWrite(fileName, false);
    const char* c = CleanupSection;
    ini.EraseSection("Global");
    ini.WriteProgramInfo("Program", "Vastrel");
    ini.WriteProgramInfo("Version", ProgVersion);
    ini.EraseSection(c);
    ini.WriteString(c, "Directory", s.Directory);
    ini.WriteInteger(c, "Mode", s.AgeMode);
    ini.WriteInteger(c, "TimeCount", s.TimeCount);
    ini.WriteString(c, "Date", DateToStr(s.Date));
    ini.WriteInteger(c, "Types", s.TypesMode);
    ini.WriteInteger(c, "Subject", s.Subject);
    ini.WriteBool(c, "Compressed", s.Compressed);
    ini.WriteBool(c, "IgnoreEnc", s.IgnoreEnc);
    ini.WriteBool(c, "FreeSpace", s.FreeSpace);
    int64_t size = 0;
    if (!TryStrToSize(s.SpaceText, size, FormatSettings().DecimalSeparator) || size <= 0)
        size = DefaultSpaceSize;
    ini.WriteString(c, "SpaceSize", std::to_string(size));
    ini.WriteString(c, "TypeList", s.TypeList);
    ini.WriteString(c, "DriveId", s.DriveIdent);
    ini.WriteInteger(c, "Sync", s.Sync);
    ini.WriteString(c, "SyncDir", s.SyncDir);
    ini.WriteBool(c, "UseRecycler", s.UseRecycler);
    ini.WriteBool(c, "EmptyDirs", s.EmptyDirs);
    ini.WriteBool(c, "EmptyRoot", s.EmptyRoot);
    WriteSecKeys(ini, s);
    WriteFilterKeys(ini, s);
    ini.WriteInteger(c, "LogFile", s.ProtMode);
    ini.WriteString(c, "LogName", s.TaskLogName);
    ini.WriteBool(c, "FtpBackup", s.CuFtp);
    WriteFtpParams(ini, "Ftp", s.FtpPar);
    ini.WriteInteger(c, "SendMail", s.MailMode);
    WriteMailData(ini, "Mail", s.MailData);
    ini.EraseSection(UserSection);
    ini.WriteString(UserSection, "Username", s.UserAccount);
    ini.WriteString(UserSection, "Password",
                    s.UserPwd.empty() ? std::string() : taskfile::EncodePasswordText(s.UserPwd));
    ini.UpdateFile();
}

void ReadCleanupDialogState(const TMemIniFile& ini, TCleanupSettings& s)
{
    const char* c = CleanupSection;
    s.Subject = RangeOr(ini.ReadInteger(c, "Subject", csFiles), csFiles, csSecurityCopies, csFiles);
    s.AgeMode = RangeOr(ini.ReadInteger(c, "Mode", caWeeks), caAll, caSince, caWeeks);
    s.TimeCount = RangeOr(ini.ReadInteger(c, "TimeCount", 0), 1, 999, 1);
    s.Date = ReadDate(ini);
    s.TypeList = ini.ReadString(c, "TypeList", "");
    s.TypesMode = s.TypeList.empty() ? 0 : RangeOr(ini.ReadInteger(c, "Types", 0), 0, 2, 0);
    s.UseRecycler = ini.ReadBool(c, "UseRecycler", false);
    s.EmptyDirs = ini.ReadBool(c, "EmptyDirs", true);
    s.EmptyRoot = true;
    s.Compressed = ini.ReadBool(c, "Compressed", true);
    s.IgnoreEnc = ini.ReadBool(c, "IgnoreEnc", true);
    ReadSecKeys(ini, s);
    ReadFilterKeys(ini, s);
    s.DriveIdent = DefaultDriveIdent();
    s.FreeSpace = false;
    s.SpaceSize = DefaultSpaceSize;
    s.SpaceText = FormatSize(true, s.SpaceSize);
    s.Sync = csyOff;
}

void WriteCleanupDialogState(TMemIniFile& ini, const TCleanupSettings& s)
{
    const char* c = CleanupSection;
    ini.WriteInteger(c, "Subject", s.Subject);
    ini.WriteInteger(c, "Mode", s.AgeMode);
    ini.WriteInteger(c, "TimeCount", s.TimeCount);
    ini.WriteString(c, "Date", DateToStr(s.Date));
    ini.WriteInteger(c, "Types", s.TypesMode);
    ini.WriteBool(c, "UseRecycler", s.UseRecycler);
    ini.WriteBool(c, "EmptyDirs", s.EmptyDirs);
    ini.WriteBool(c, "Compressed", s.Compressed);
    ini.WriteBool(c, "IgnoreEnc", s.IgnoreEnc);
    ini.WriteString(c, "TypeList", s.TypeList);
    WriteSecKeys(ini, s);
    WriteFilterKeys(ini, s);
    ini.WriteString(c, "DriveId", s.DriveIdent);
    ini.DeleteKey(c, "LogFile");
}
