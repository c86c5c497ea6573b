#include "tools/Verify.h"

#include "backup/BuFtpDlg.h"
#include "backup/TaskFileReader.h"
#include "foundation/IniFileUtils.h"
#include "foundation/InitProg.h"
#include "foundation/PathUtils.h"
#include "foundation/QvUtilsNames.h"
#include "foundation/StringUtils.h"
#include "foundation/XlFileUtils.h"
#include "rtl/Gettext.h"
#include "rtl/SysUtils.h"

namespace {

constexpr const char* VerifySection = "Verify";
constexpr const char* UserSection = "User";
constexpr TSecSelections BothSelections = (1u << ssDirs) | (1u << ssFiles);

std::string DefaultDriveIdent()
{
    std::string id = ProgSettings.OtherSettings.DefDriveId;
    if (id.empty())
        id = GetDriveDirPrefix();
    if (id.find('?') == std::string::npos)
        id += '?';
    return id;
}

TDateTime ReadDate(const TMemIniFile& ini, const char* section)
{
    TDateTime date = 0;
    const std::string text = ini.ReadString(section, "Date", "");
    if (text.empty() || !TryStrToDate(text, date))
        date = Date();
    return DateOf(date);
}

bool IsZipFileName(const std::string& name)
{
    return utf8::SameText(ExtractExtension(name), "zip") && !XlDirectoryExists(name);
}

void ReadSecNames(const TMemIniFile& ini, TVerifySettings& s)
{
    const TQvSecCopySettings& p = ProgSettings.SecCopySettings;
    s.BakSec.DirPrefix = ini.ReadString(VerifySection, "BakPrefix", p.BakPrefix);
    s.BakSec.FileSuffix = ini.ReadString(VerifySection, "BakSuffix", p.BakSuffix);
    s.SyncSec.DirPrefix = ini.ReadString(VerifySection, "SyncPrefix", p.SyncPrefix);
    s.SyncSec.FileSuffix = ini.ReadString(VerifySection, "SyncSuffix", p.SyncSuffix);
    s.BakSec.Selection = s.SyncSec.Selection = BothSelections;
    SetBDateSeparator(s.BakSec);
    SetBDateSeparator(s.SyncSec);
}

void WriteSecNames(TMemIniFile& ini, const TVerifySettings& s)
{
    ini.WriteString(VerifySection, "BakPrefix", s.BakSec.DirPrefix);
    ini.WriteString(VerifySection, "BakSuffix", s.BakSec.FileSuffix);
    ini.WriteString(VerifySection, "SyncPrefix", s.SyncSec.DirPrefix);
    ini.WriteString(VerifySection, "SyncSuffix", s.SyncSec.FileSuffix);
}

int ReadVerifyModeFor(const TMemIniFile& ini, const std::string& source)
{
    int mode = ini.ReadInteger(VerifySection, "VerifyMode", vmSeparated);
    if (mode < vmSeparated || mode > vmSingleZip || !IsZipFileName(source))
        mode = vmSeparated;
    return mode;
}

} // namespace

TVerifySettings DefaultVerifySettings()
{
    TVerifySettings s;
    const TQvSecCopySettings& p = ProgSettings.SecCopySettings;
    s.BakSec.Selection = s.SyncSec.Selection = BothSelections;
    s.BakSec.DirPrefix = p.BakPrefix;
    s.BakSec.DirSuffix = s.BakSec.FileSuffix = p.BakSuffix;
    s.SyncSec.DirPrefix = p.SyncPrefix;
    s.SyncSec.DirSuffix = s.SyncSec.FileSuffix = p.SyncSuffix;
    s.DriveIdent = DefaultDriveIdent();
    s.Date = Date();
    InitFtpParams(s.FtpPar);
    InitMailData(s.MailData);
    return s;
}

int VerifyPeriodAgeMode(int unitIndex, bool older)
{
    return 2 * unitIndex + (older ? 3 : 4);
}

void LoadVerifyTask(const std::string& fileName, TVerifySettings& s)
{
    if (!XlFileExists(fileName))
        throw EInOutError(SafeFormat(_("File\r\n\"%s\"\r\nnot found!"), {fileName}), 2);
    TUnicodeIniFile ini = TUnicodeIniFile::CreateForRead(fileName);
    const char* v = VerifySection;
    s.Source = ini.ReadString(v, "Source", "");
    s.VerifyMode = ReadVerifyModeFor(ini, s.Source);
    s.ZipBase = ini.ReadString(v, "Directory", "");
    s.DestDir = ini.ReadString(v, "DestDir", "");
    s.Origin = ini.ReadBool(v, "Origin", true);
    s.AgeMode = ini.ReadInteger(v, "Mode", 0);
    if (s.AgeMode < 0 || s.AgeMode > 11)
        s.AgeMode = 0;
    s.TimeCount = ini.ReadInteger(v, "TimeCount", 0);
    s.Date = ReadDate(ini, v);
    s.ProtMode = ini.ReadInteger(v, "LogFile", s.ProtMode & 7);
    s.TaskLogName = ini.ReadString(v, "LogName", "");
    s.UnCompress = ini.ReadBool(v, "UnCompress", true);
    s.NoDecrypt = ini.ReadBool(v, "NoDecrypt", false);
    bool ok = true;
    s.DefPwd = taskfile::DecodePasswordText(ini.ReadString(v, "Password", ""), ok);
    ReadSecNames(ini, s);
    s.FilterRegular = ini.ReadBool(v, "Regular", false);
    const int fm = ini.ReadInteger(v, "FilterMode", fmOff);
    s.FilterMode = fm >= fmOff && fm <= fmExclude ? static_cast<TFilterMode>(fm) : fmOff;
    s.FilterText = ini.ReadString(v, "Filter", s.FilterRegular ? "." : "*");
    s.DriveIdent = ini.ReadString(v, "DriveId", s.DriveIdent);
    if (s.DriveIdent.find('?') == std::string::npos)
        s.DriveIdent += '?';
    s.VfFtp = ini.ReadBool(v, "FtpBackup", false);
    InitFtpParams(s.FtpPar);
    ReadFtpParams(ini, "Ftp", s.FtpPar);
    InitMailData(s.MailData);
    ReadMailData(ini, "Mail", s.MailData);
    const int mail = ini.ReadInteger(v, "SendMail", mmNone);
    s.MailMode =
        mail >= mmNone && mail <= mmError && !s.MailData.SMTP.empty() && !s.MailData.Recipients.empty()
            ? static_cast<TMailMode>(mail)
            : mmNone;
    s.UserAccount = ini.ReadString(UserSection, "Username", "");
    s.UserPwd.clear();
    if (!s.UserAccount.empty())
        s.UserPwd = taskfile::DecodePasswordText(ini.ReadString(UserSection, "Password", ""), ok);
}

void SaveVerifyTask(const std::string& fileName, const TVerifySettings& s)
{
    TUnicodeIniFile ini = TUnicodeIniFile::CreateForWrite(fileName, false);
    const char* v = VerifySection;
    ini.EraseSection("Global");
    ini.WriteProgramInfo("Program", "Vastrel");
    ini.WriteProgramInfo("Version", ProgVersion);
    ini.EraseSection(v);
    ini.WriteInteger(v, "VerifyMode", s.VerifyMode);
    ini.WriteString(v, "Source", s.Source);
    ini.WriteString(v, "Directory", s.VerifyMode == vmFolderZips ? s.ZipBase : std::string());
    ini.WriteString(v, "DestDir", s.DestDir);
    ini.WriteBool(v, "Origin", s.Origin);
    ini.WriteInteger(v, "Mode", s.AgeMode);
    ini.WriteInteger(v, "TimeCount", s.TimeCount);
    ini.WriteString(v, "Date", DateToStr(s.Date));
    ini.WriteInteger(v, "LogFile", s.ProtMode);
    ini.WriteString(v, "LogName", s.TaskLogName);
    ini.WriteBool(v, "UnCompress", s.UnCompress);
    ini.WriteBool(v, "NoDecrypt", s.NoDecrypt);
    if (!s.DefPwd.empty())
        ini.WriteString(v, "Password", taskfile::EncodePasswordText(s.DefPwd));
    WriteSecNames(ini, s);
    ini.WriteBool(v, "Regular", s.FilterRegular);
    ini.WriteInteger(v, "FilterMode", s.FilterMode);
    ini.WriteString(v, "Filter", s.FilterText);
    ini.WriteString(v, "DriveId", s.DriveIdent);
    ini.WriteBool(v, "FtpBackup", s.VfFtp);
    WriteFtpParams(ini, "Ftp", s.FtpPar);
    ini.WriteInteger(v, "SendMail", s.MailMode);
    WriteMailData(ini, "Mail", s.MailData);
    ini.EraseSection(UserSection);
    ini.WriteString(UserSection, "Username", s.UserAccount);
    ini.WriteString(UserSection, "Password",
                    s.UserPwd.empty() ? std::string() : taskfile::EncodePasswordText(s.UserPwd));
    ini.UpdateFile();
}

void ReadVerifyDialogState(const TMemIniFile& ini, TVerifySettings& s)
{
    const char* v = VerifySection;
    s.Source = ini.ReadString(v, "Source", s.Source);
    s.DestDir = ini.ReadString(v, "DestDir", s.DestDir);
    s.AgeMode = 0;
    s.TimeCount = ini.ReadInteger(v, "TimeCount", 0);
    s.Date = ReadDate(ini, v);
    s.VerifyMode = ReadVerifyModeFor(ini, s.Source);
    s.ProtMode = 0;
    s.UnCompress = ini.ReadBool(v, "UnCompress", true);
    s.NoDecrypt = ini.ReadBool(v, "NoDecrypt", false);
    ReadSecNames(ini, s);
    s.DriveIdent = DefaultDriveIdent();
    s.Origin = true;
    s.ZipBase.clear();
}

void WriteVerifyDialogState(TMemIniFile& ini, const TVerifySettings& s)
{
    const char* v = VerifySection;
    ini.EraseSection(v);
    ini.WriteString(v, "Source", s.Source);
    ini.WriteString(v, "DestDir", s.DestDir);
    ini.WriteInteger(v, "Mode", s.AgeMode);
    ini.WriteInteger(v, "TimeCount", s.TimeCount);
    ini.WriteString(v, "Date", DateToStr(s.Date));
    ini.WriteInteger(v, "VerifyMode", s.VerifyMode);
    ini.WriteBool(v, "UnCompress", s.UnCompress);
    ini.WriteBool(v, "NoDecrypt", s.NoDecrypt);
    WriteSecNames(ini, s);
    ini.WriteString(v, "DriveId", s.DriveIdent);
    ini.DeleteKey(v, "LogFile");
    ini.DeleteKey(v, "DirPrefix");
}
