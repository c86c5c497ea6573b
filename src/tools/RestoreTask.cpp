#include "tools/RestoreTask.h"

#include "archive/ExtFileTools.h"
#include "backup/BuFtpDlg.h"
#include "backup/TaskFileReader.h"
#include "foundation/IniFileUtils.h"
#include "foundation/InitProg.h"
#include "foundation/QvUtilsNames.h"
#include "rtl/Gettext.h"

namespace {

const char* const R = "Restore";

constexpr TSecSelections Bit(TSecSelection s)
{
    return static_cast<TSecSelections>(1u << s);
}

void ReadSec(const TMemIniFile& ini, TSecSettings& sec, const char* dirsKey, const char* filesKey,
             const char* prefixKey, const char* suffixKey, const std::string& defPrefix,
             const std::string& defSuffix, const std::string& dirSuffix)
{
    // The keys say what is ignored: true = the kind is not taken as security copies.
    sec.Selection = 0;
    if (!ini.ReadBool(R, dirsKey, true))
        sec.Selection |= Bit(ssDirs);
    if (!ini.ReadBool(R, filesKey, true))
        sec.Selection |= Bit(ssFiles);
    sec.DirPrefix = ini.ReadString(R, prefixKey, defPrefix);
    sec.FileSuffix = ini.ReadString(R, suffixKey, defSuffix);
    sec.DirSuffix = dirSuffix;
    sec.DirMode = sdNone;
}

void WriteSec(TMemIniFile& ini, const TSecSettings& sec, const char* dirsKey, const char* filesKey,
              const char* prefixKey, const char* suffixKey)
{
    ini.WriteBool(R, dirsKey, !(sec.Selection & Bit(ssDirs)));
    ini.WriteBool(R, filesKey, !(sec.Selection & Bit(ssFiles)));
    ini.WriteString(R, prefixKey, sec.DirPrefix);
    ini.WriteString(R, suffixKey, sec.FileSuffix);
}

std::string DefaultDriveIdent()
{
    const std::string& id = ProgSettings.OtherSettings.DefDriveId;
    return id.empty() ? GetDriveDirPrefix() : id;
}

} // namespace

void InitRestoreTask(TRestoreTask& task)
{
    task = TRestoreTask{};
    const TQvSecCopySettings& p = ProgSettings.SecCopySettings;
    task.BakSec.Selection = Bit(ssDirs) | Bit(ssFiles);
    task.BakSec.DirPrefix = p.BakPrefix;
    task.BakSec.DirSuffix = p.BakSuffix;
    task.BakSec.FileSuffix = p.BakSuffix;
    task.SyncSec.Selection = Bit(ssDirs) | Bit(ssFiles);
    task.SyncSec.DirPrefix = p.SyncPrefix;
    task.SyncSec.DirSuffix = p.SyncSuffix;
    task.SyncSec.FileSuffix = p.SyncSuffix;
    task.DriveIdent = DefaultDriveIdent();
    task.Date = Date();
    InitFtpParams(task.FtpPar);
    InitMailData(task.MailData);
}

void LoadRestoreTask(const std::string& fileName, TRestoreTask& task, int logMode)
{
    const TUnicodeIniFile ini = TUnicodeIniFile::CreateForRead(fileName);
    const TQvSecCopySettings& p = ProgSettings.SecCopySettings;
    task.RsFtp = false;
    task.Source = ini.ReadString(R, "Source", "");
    if (task.Source.empty())
        task.Source = ini.ReadString(R, "SourceDir", "");
    // An FTP task has no source folder, but its destination counts all the same.
    if (!task.Source.empty() || ini.ReadBool(R, "FtpBackup", false))
        task.DestDir = ini.ReadString(R, "DestDir", "");
    task.Origin = ini.ReadBool(R, "Origin", false);
    task.Overwrite = ini.ReadInteger(R, "Overwrite", owNone);
    if (task.Overwrite < owAll || task.Overwrite > owNone)
        task.Overwrite = owNone;
    task.AgeMode = ini.ReadInteger(R, "Mode", 0);
    if (task.AgeMode < 0 || task.AgeMode > 11)
        task.AgeMode = 0;
    task.TimeCount = ini.ReadInteger(R, "TimeCount", 0);
    TDateTime d = 0;
    if (TryStrToDate(ini.ReadString(R, "Date", ""), d))
        task.Date = d;
    else
        task.Date = Date();
    task.RestMode = ini.ReadInteger(R, "RestoreMode", rmSeparated);
    if (task.RestMode < rmSeparated || task.RestMode > rmSingleZip || !IsZipFile(task.Source))
        task.RestMode = rmSeparated;
    task.ClearDest = ini.ReadBool(R, "ClearDest", false);
    task.TaskLogName = ini.ReadString(R, "LogName", "");
    task.ProtMode = ini.ReadInteger(R, "LogFile", logMode & 7);
    const int unCompress = ini.ReadInteger(R, "UnCompress", 1);
    task.GzUnpack = (unCompress & 1) != 0;
    task.ZipUnpack = (unCompress & 2) != 0;
    task.NoDecrypt = ini.ReadBool(R, "NoDecrypt", false);
    bool ok = true;
    task.DefPwd = taskfile::DecodePasswordText(ini.ReadString(R, "Password", ""), ok);
    task.CreationTime = ini.ReadBool(R, "CreationTime", true);
    task.Perms = ini.ReadBool(R, "CopyPermissions", false);
    task.Junctions = ini.ReadBool(R, "AllowJunctions", false);
    task.Summary = ini.ReadBool(R, "CopySummary", false);
    task.AltStreams = ini.ReadBool(R, "CopyAltStreams", false);
    task.EmptyDirs = ini.ReadBool(R, "EmptyDirs", false);
    task.ResArchive = ini.ReadBool(R, "ArchBit", false);
    task.Sync = ini.ReadBool(R, "SyncMode", false);
    task.SecEnabled = ini.ReadBool(R, "SecurityCopies", false);
    ReadSec(ini, task.BakSec, "BakDirs", "BakFiles", "BakPrefix", "BakSuffix", p.BakPrefix, p.BakSuffix,
            p.BakSuffix);
    ReadSec(ini, task.SyncSec, "SyncDirs", "SyncFiles", "SyncPrefix", "SyncSuffix", p.SyncPrefix,
            p.SyncSuffix, p.SyncSuffix);
    task.FilterRegular = ini.ReadBool(R, "Regular", false);
    const int fm = ini.ReadInteger(R, "FilterMode", fmOff);
    task.FilterMode = fm >= fmOff && fm <= fmExclude ? static_cast<TFilterMode>(fm) : fmOff;
    task.Filter = ini.ReadString(R, "Filter", task.FilterRegular ? "." : "*");
    task.DriveIdent =
        ini.ReadString(R, "DriveId", task.DriveIdent.empty() ? DefaultDriveIdent() : task.DriveIdent);
    task.DeltaTime = ini.ReadInteger(R, "Timespan", 2);
    if (task.DeltaTime < 1)
        task.DeltaTime = 2;
    task.DstIgnore = ini.ReadBool(R, "IgnoreDst", false);
    task.RsFtp = ini.ReadBool(R, "FtpBackup", false);
    ReadFtpParams(ini, "Ftp", task.FtpPar);
    ReadMailData(ini, "Mail", task.MailData);
    const int mm = ini.ReadInteger(R, "SendMail", mmNone);
    const bool mailReady = !task.MailData.SMTP.empty() && !task.MailData.Recipients.empty();
    task.MailMode = mailReady && mm >= mmNone && mm <= mmError ? static_cast<TMailMode>(mm) : mmNone;
    task.UserAccount = ini.ReadString("User", "Username", "");
    task.UserPwd.clear();
    if (!task.UserAccount.empty())
        task.UserPwd = taskfile::DecodePasswordText(ini.ReadString("User", "Password", ""), ok);
}

bool SaveRestoreTask(const std::string& fileName, const TRestoreTask& task, std::string& error)
{
    try {
        TUnicodeIniFile ini = TUnicodeIniFile::CreateForWrite(fileName, false);
        ini.EraseSection("Global");
        ini.WriteProgramInfo("Program", "Vastrel");
        ini.WriteProgramInfo("Version", ProgVersion);
        ini.EraseSection(R);
        ini.WriteString(R, "Source", task.Source);
        ini.WriteString(R, "DestDir", task.DestDir);
        ini.WriteBool(R, "Origin", task.Origin);
        ini.WriteInteger(R, "Overwrite", task.Overwrite);
        ini.WriteInteger(R, "Mode", task.AgeMode);
        ini.WriteInteger(R, "TimeCount", task.TimeCount);
        ini.WriteString(R, "Date", DateToStr(task.Date));
        ini.WriteInteger(R, "RestoreMode", task.RestMode);
        ini.WriteString(R, "LogName", task.TaskLogName);
        ini.WriteInteger(R, "LogFile", task.ProtMode);
        ini.WriteInteger(R, "UnCompress", (task.GzUnpack ? 1 : 0) | (task.ZipUnpack ? 2 : 0));
        ini.WriteBool(R, "NoDecrypt", task.NoDecrypt);
        if (!task.DefPwd.empty())
            ini.WriteString(R, "Password", taskfile::EncodePasswordText(task.DefPwd));
        ini.WriteBool(R, "CreationTime", task.CreationTime);
        ini.WriteBool(R, "CopyPermissions", task.Perms);
        ini.WriteBool(R, "AllowJunctions", task.Junctions);
        ini.WriteBool(R, "CopySummary", task.Summary);
        ini.WriteBool(R, "CopyAltStreams", task.AltStreams);
        ini.WriteBool(R, "EmptyDirs", task.EmptyDirs);
        ini.WriteBool(R, "ArchBit", task.ResArchive);
        ini.WriteBool(R, "SyncMode", task.Sync);
        ini.WriteBool(R, "SecurityCopies", task.SecEnabled);
        WriteSec(ini, task.BakSec, "BakDirs", "BakFiles", "BakPrefix", "BakSuffix");
        WriteSec(ini, task.SyncSec, "SyncDirs", "SyncFiles", "SyncPrefix", "SyncSuffix");
        ini.WriteBool(R, "Regular", task.FilterRegular);
        ini.WriteInteger(R, "FilterMode", task.FilterMode);
        ini.WriteString(R, "Filter", task.Filter);
        ini.WriteString(R, "DriveId", task.DriveIdent);
        ini.WriteInteger(R, "Timespan", task.DeltaTime);
        ini.WriteBool(R, "IgnoreDst", task.DstIgnore);
        ini.WriteBool(R, "FtpBackup", task.RsFtp);
        ini.WriteInteger(R, "SendMail", task.MailMode);
        WriteFtpParams(ini, "Ftp", task.FtpPar);
        WriteMailData(ini, "Mail", task.MailData);
        ini.WriteString("User", "Username", task.UserAccount);
        ini.WriteString("User", "Password",
                        task.UserPwd.empty() ? "" : taskfile::EncodePasswordText(task.UserPwd));
        ini.UpdateFile();
    } catch (const std::exception&) {
        error = SafeFormat(_("Error saving task \"%s\"!"), {fileName});
        return false;
    }
    return true;
}

void ApplyTaskFilter(const TRestoreTask& task, TTextFilter& filter)
{
    filter.SetRegular(task.FilterRegular);
    filter.SetMode(task.FilterMode);
    try {
        filter.SetFilter(task.Filter);
    } catch (const EFilterError&) {
        // a damaged filter text matches everything
    }
}
