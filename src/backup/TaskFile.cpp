#include "backup/TaskFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "backup/EngineCodes.h"
#include "backup/FileTypeStats.h"
#include "backup/SecurityCopyNames.h"
#include "backup/TaskFileSections.h"
#include "foundation/IniFileUtils.h"
#include "foundation/PathUtils.h"
#include "foundation/PlaceHolders.h"
#include "foundation/QvUtilsDest.h"
#include "foundation/QvUtilsFolders.h"
#include "foundation/QvUtilsNames.h"
#include "foundation/StringUtils.h"
#include "foundation/XlFileUtils.h"
#include "platform/FileText.h"
#include "platform/MountTable.h"
#include "rtl/Gettext.h"
#include "rtl/SysUtils.h"

namespace {

using namespace taskfile;

constexpr const char* GlobalSection = "Global";
constexpr const char* FtpSection = "Ftp";

const TFormatSettings& FormatOf(const TTaskFileContext& context)
{
    return context.Format ? *context.Format : FormatSettings();
}

// The machine as the task file code sees it when the caller names none: no destination can be
// reached, source folders are checked on the local file system.
class TDefaultEnvironment : public TTaskEnvironment
{
public:
    TFileSystem FileSystemOf(const std::string&) const override { return fsNotAvail; }
    TOptionFacts OptionFacts(const TTaskSettings&) const override { return {}; }
};

std::string FileNameOf(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

const TTaskEnvironment& EnvironmentOf(const TTaskFileContext& context)
{
    static const TDefaultEnvironment defaultEnvironment;
    return context.Environment ? *context.Environment : defaultEnvironment;
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

// A command line; an encoded one that does not decode is reported and read as empty.
std::string ReadCommand(TTaskReader& r, const char* key, int cmdEnc)
{
    const std::string text = r.String(GlobalSection, key, "");
    std::string command = DecodeCommandText(text, cmdEnc);
    if (cmdEnc == 1 && !text.empty() && command.empty())
        r.Message(SafeFormat(_("Task file \"%s\": the command line of [Global] %s cannot be read"),
                             {r.FileName(), std::string(key)}));
    return command;
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
    ReadFtpSection(r, task.FtpPar);

    // Older files kept the speed limit in [Ftp].
    const int ftpSpeed = r.Int(FtpSection, "Speed", 0);
    task.MaxRate = r.Int(g, "Speed", ftpSpeed);
    if (task.MaxRate == 0 && ftpSpeed > 0)
        task.MaxRate = ftpSpeed;
    task.TaskPriority =
        static_cast<TThreadPriority>(r.Range(g, "Priority", tpNormal, tpIdle, tpTimeCritical));
    task.FullSpeed = r.Bool(g, "MaxLoad", true);
    ReadMailSection(r, task.MailData);
    const int mailMode = r.Range(g, "SendMail", mmNone, mmNone, mmError);
    const bool mailReady = !task.MailData.SMTP.empty() && !task.MailData.Recipients.empty();
    task.MailMode = mailReady ? static_cast<TMailMode>(mailMode) : mmNone;
    task.cbMail = task.MailMode != mmNone;

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
        ReadUserSection(task, r);
    } else {
        task.UserAccount = task.CmdAltUserName;
        task.UserPwd = task.CmdAltUserPwd;
    }

    task.DestMode = r.Range(g, "DestMode", 0, 0, 7);
    if (!IsZipMethod(task.DestMode))
        task.cbEncNames = false;
    task.UserZipName = r.String(g, "ZipDefault", DefaultZipName());
    if (task.DestMode == BackupMethod::ZipPerRoot)
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
    // A split size too small to use is kept as it is (the task is refused before it runs).
    const std::string splitProblem = ZipSplitSizeProblem(task.DestMode, task.MaxZipSize);
    if (!splitProblem.empty())
        r.Message(SafeFormat(_("Task file \"%s\": [Global] ZipSize: %s"), {r.FileName(), splitProblem}));

    task.SyncMode = r.Range(g, "SyncMode", 0, 0, 3);
    task.SyncBefore = r.Bool(g, "SyncBefore", false);
    task.cbSyncRecycle = r.Bool(g, "UseRecycler", false);
    task.KeepSyncCB = r.Bool(g, "SyncFiles", false);
    task.KeepBakCB = r.Bool(g, "BakFiles", false);

    const TQvSecCopySettings& sec = settings.SecCopySettings;
    task.BakSec.DirMode = static_cast<TSecDirMode>(r.Range(g, "BakSecMode", sdNone, sdNone, sdRootDrive));
    task.BakSec.DirPrefix = r.String(g, "BakPrefix", sec.BakPrefix);
    std::string bakSuffix = r.String(g, "BakSuffix", sec.BakSuffix);
    ParseCounterSuffix(bakSuffix, task.BakSec.MaxHist, task.BakSec.MinHist, task.BakSec.AgeInWeeks);
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
    task.BuPreCmd.Command = ReadCommand(r, "PreCommand", task.CmdEnc);
    task.BuPreCmd.Wait = r.Range(g, "PreWait", 0, 0, 0xFFFF);
    task.BuPreCmd.ErrorLevel = r.Int(g, "PreErrorLevel", 1);
    task.BuPostCmd.Command = ReadCommand(r, "PostCommand", task.CmdEnc);
    task.BuPostCmd.Wait = r.Range(g, "PostWait", 0, 0, 0xFFFF);
    task.BuPostCmd.ErrorLevel = r.Int(g, "PostConditions", 1);
    task.cbPreC = IsProgActive(task.BuPreCmd);
    task.cbPostC = IsProgActive(task.BuPostCmd);

    task.ClearDest = r.Bool(g, "ClearDest", false) && !IsZipMethod(task.DestMode);
    task.ResArchivCB = r.Bool(g, "ArchBit", false);
    task.UseArchivCB = r.Bool(g, "UseArch", false);
    task.cbArchFile = r.Bool(g, "OnlyArch", false);
    if (!task.ClearDest && !task.UseArchivCB) {
        if (!IsZipMethod(task.DestMode))
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

    ReadDirFilter(task, r);
}

} // namespace

namespace {

void SetProgActive(TExternalProg& prog, bool active)
{
    prog.Wait = active ? (prog.Wait | epActive) : (prog.Wait & ~epActive);
}

std::string ZipNameToStore(const TTaskSettings& task)
{
    if (task.DestMode != BackupMethod::ZipPerRoot)
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
    ini.WriteString(g, "TaskPwd", EncodePasswordText(task.TaskPwd));
    ini.WriteString(g, "DriveId", task.DriveId);
    WriteFtpSection(ini, task.FtpPar);
    ini.WriteInteger(g, "Speed", task.MaxRate);
    ini.WriteBool(g, "MaxLoad", task.FullSpeed);
    ini.WriteInteger(g, "Priority", task.TaskPriority);
    if (!task.cbMail)
        task.MailMode = mmNone;
    ini.WriteInteger(g, "SendMail", task.MailMode);
    WriteMailSection(ini, task.MailData);
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
    ini.WriteString(g, "Password", task.cbFixPwd ? EncodePasswordText(task.CryptPwd) : std::string());
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
    if (task.CmdAltUserName.empty())
        WriteUserSection(ini, task);
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
                    BuildCounterSuffix(task.BakSec.FileSuffix, task.BakSec.MaxHist, task.BakSec.MinHist,
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
    // A '#' cannot be told from a stored double quote: such command lines are stored encoded.
    if (task.BuPreCmd.Command.find('#') != std::string::npos ||
        task.BuPostCmd.Command.find('#') != std::string::npos)
        task.CmdEnc = 1;
    SetProgActive(task.BuPreCmd, task.cbPreC);
    SetProgActive(task.BuPostCmd, task.cbPostC);
    ini.WriteInteger(g, "EncryptCommands", task.CmdEnc);
    ini.WriteString(g, "PreCommand", EncodeCommandText(task.BuPreCmd.Command, task.CmdEnc));
    ini.WriteInteger(g, "PreWait", task.BuPreCmd.Wait);
    ini.WriteInteger(g, "PreErrorLevel", task.BuPreCmd.ErrorLevel);
    ini.WriteString(g, "PostCommand", EncodeCommandText(task.BuPostCmd.Command, task.CmdEnc));
    ini.WriteInteger(g, "PostWait", task.BuPostCmd.Wait);
    ini.WriteInteger(g, "PostConditions", task.BuPostCmd.ErrorLevel);
    ini.WriteBool(g, "ClearDest", task.ClearDest);
    ini.WriteBool(g, "ArchBit", task.ResArchivCB);
    ini.WriteBool(g, "UseArch", task.UseArchivCB);
    ini.WriteBool(g, "OnlyArch", task.cbArchFile);
    ini.WriteInteger(g, "BackupCount", task.BackupCount);
    ini.WriteString(g, "LastBackup", task.LastBuTime);
    WriteDirFilter(ini, task);
    ini.WriteInteger(g, "DirCount", dirCount);
}

// The lines of a task file, edited in place: a key that is written replaces its line or joins its
// section, and every other line (comments, blank lines, keys and sections nobody writes, lines before
// the first section) stays as it was. Sections and keys are found as the ini reader finds them: lines
// trimmed, ";" lines skipped, a section that appears twice read as one.
class TIniLines
{
public:
    explicit TIniLines(std::string_view text)
    {
        size_t pos = 0;
        while (pos < text.size()) {
            const size_t end = text.find_first_of("\r\n", pos);
            if (end == std::string_view::npos) {
                FLines.emplace_back(text.substr(pos));
                break;
            }
            FLines.emplace_back(text.substr(pos, end - pos));
            pos = end + ((text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ? 2 : 1);
        }
    }

    bool HasKey(std::string_view section, std::string_view ident) const
    {
        return FindKey(section, ident) != std::string::npos;
    }

    void WriteString(std::string_view section, std::string_view ident, std::string_view value)
    {
        const std::string line = std::string(ident) + "=" + std::string(value);
        const size_t at = FindKey(section, ident);
        if (at != std::string::npos) {
            FLines[at] = line;
            return;
        }
        // After the last entry of the section's last occurrence, so that comments before the next
        // section stay with it.
        size_t insertAt = std::string::npos;
        bool inSection = false;
        for (size_t i = 0; i < FLines.size(); ++i) {
            const std::string_view trimmed = TrimBlanks(FLines[i]);
            std::string_view name;
            if (HeaderName(trimmed, name)) {
                inSection = SameTextAscii(name, section);
                if (inSection)
                    insertAt = i + 1;
            } else if (inSection && !trimmed.empty() && trimmed.front() != ';') {
                insertAt = i + 1;
            }
        }
        if (insertAt != std::string::npos) {
            FLines.insert(FLines.begin() + static_cast<std::ptrdiff_t>(insertAt), line);
            return;
        }
        if (!FLines.empty() && !TrimBlanks(FLines.back()).empty())
            FLines.emplace_back();
        FLines.push_back("[" + std::string(section) + "]");
        FLines.push_back(line);
        FLines.emplace_back();
    }

    // Removes every line of the key.
    void DeleteKey(std::string_view section, std::string_view ident)
    {
        for (size_t at; (at = FindKey(section, ident)) != std::string::npos;)
            FLines.erase(FLines.begin() + static_cast<std::ptrdiff_t>(at));
    }

    // Every line ends with CR LF.
    std::string Text() const
    {
        std::string text;
        for (const std::string& line : FLines)
            text += line + "\r\n";
        return text;
    }

private:
    static bool HeaderName(std::string_view trimmed, std::string_view& name)
    {
        if (trimmed.size() < 2 || trimmed.front() != '[' || trimmed.back() != ']')
            return false;
        name = TrimBlanks(trimmed.substr(1, trimmed.size() - 2));
        return true;
    }

    // The first line of the key, in file order; npos when there is none.
    size_t FindKey(std::string_view section, std::string_view ident) const
    {
        bool inSection = false;
        for (size_t i = 0; i < FLines.size(); ++i) {
            const std::string_view trimmed = TrimBlanks(FLines[i]);
            std::string_view name;
            if (HeaderName(trimmed, name)) {
                inSection = SameTextAscii(name, section);
                continue;
            }
            if (!inSection || trimmed.empty() || trimmed.front() == ';')
                continue;
            const size_t eq = trimmed.find('=');
            if (eq != std::string_view::npos && SameTextAscii(TrimBlanks(trimmed.substr(0, eq)), ident))
                return i;
        }
        return std::string::npos;
    }

    std::vector<std::string> FLines;
};

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

int TTaskEnvironment::CheckSourceFolder(std::string& path, const std::string& volume, bool prompt,
                                        const TTaskSettings& task) const
{
    constexpr int pathNotFound = 3;
    constexpr int skipped = 1246;
    if (!volume.empty() && !task.NoVolCheck) {
        // The part of the path below the folder named after the volume's label, on the volume wherever
        // it is mounted now.
        const std::string dir = AddPathDelimiter(path);
        const std::string marker = "/" + volume + "/";
        size_t pos = std::string::npos;
        for (size_t i = 0; i + marker.size() <= dir.size(); ++i)
            if (utf8::SameText(std::string_view(dir).substr(i, marker.size()), marker))
                pos = i;
        if (pos != std::string::npos) {
            const std::string rest = dir.substr(pos + marker.size());
            std::string volumePath = ":" + volume + ":/" + rest;
            std::string label;
            const bool ask = prompt && !task.SkipDir;
            if (ResolveVolumeName(volumePath, label, ask) == 1) {
                path = volumePath;
                return XlDirectoryExists(path, true) ? 0 : pathNotFound;
            }
            return ask ? skipped : pathNotFound;
        }
    }
    return XlDirectoryExists(path, true) ? 0 : pathNotFound;
}

bool TTaskEnvironment::IsRemovable(const std::string& path) const
{
    return IsRemovableDrive(path);
}

bool TTaskEnvironment::FolderAccessible(const std::string& path) const
{
    return XlDirectoryExists(path, true) && ::access(path.c_str(), R_OK | X_OK) == 0;
}

std::string TTaskEnvironment::VolumeLabelOf(const std::string& path) const
{
    TVolumeInfo info;
    if (VolumeProvider::Current().QueryVolume(path, info))
        return info.Label;
    return "";
}

std::string TaskLogFileName(const TTaskSettings& task, const TTaskFileContext& context)
{
    if (task.TaskLogName.empty())
        return context.DefaultLogFile.empty() ? DefaultLogFile : context.DefaultLogFile;
    std::string dest = task.BuZiel;
    std::string label;
    ResolveVolumeName(dest, label, false);
    const std::string volume =
        task.Folders.Empty() ? std::string() : EnvironmentOf(context).VolumeLabelOf(task.Folders[0].SPath);
    dest = ExpandNamePlaceholders(dest, volume, task.BackupCount);
    std::string name = ExpandLogPlaceholders(task.TaskLogName, dest);
    name = ReplaceTextIgnoreCase(name, "%taskname%", DeleteExtension(FileNameOf(task.LoadedTaskName)));
    if (IsAbsolutePath(name))
        return name;
    const std::string logDir = context.LogDir.empty() ? GetLogDir() : context.LogDir;
    return JoinPath(logDir, name);
}

void SaveFolderCounters(TTaskSettings& task)
{
    for (auto& entry : task.Folders) {
        entry->SCount = entry->ICount;
        entry->SBytes = entry->IBytes;
        entry->SSyncCount = entry->SyncCount;
    }
}

void RestoreFolderCounters(TTaskSettings& task)
{
    for (auto& entry : task.Folders) {
        entry->ICount = entry->SCount;
        entry->IBytes = entry->SBytes;
        entry->SyncCount = entry->SSyncCount;
    }
}

std::string TaskFileProblem(const std::string& fileName)
{
    struct stat st
    {
    };
    if (::stat(fileName.c_str(), &st) != 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            return std::string();
        return SafeFormat(_("the task file cannot be read: %s"), {std::string(std::strerror(errno))});
    }
    if (!S_ISREG(st.st_mode)) {
        const std::string kind = S_ISFIFO(st.st_mode)                           ? _("a FIFO")
                                 : S_ISDIR(st.st_mode)                          ? _("a folder")
                                 : S_ISSOCK(st.st_mode)                         ? _("a socket")
                                 : (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode)) ? _("a device")
                                                                                : _("a special file");
        return SafeFormat(_("the task file is %s, not a regular file"), {kind});
    }
    // Opened without waiting, so that a file that turned into a FIFO since never blocks.
    const int fd = ::open(fileName.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return SafeFormat(_("the task file cannot be read: %s"), {std::string(std::strerror(errno))});
    std::string problem;
    char byte = 0;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
        problem = _("the task file is not a regular file");
    else if (::read(fd, &byte, 1) < 0)
        problem = SafeFormat(_("the task file cannot be read: %s"), {std::string(std::strerror(errno))});
    else if (st.st_size == 0)
        problem = _("the task file is empty");
    ::close(fd);
    if (!problem.empty())
        return problem;
    // The two keys read as the loader reads them (its messages are the loader's to give).
    const TUnicodeIniFile ini = TUnicodeIniFile::CreateForRead(fileName);
    TTaskFileReport unused;
    TTaskReader reader(ini, fileName, unused);
    const int destMode = reader.Range(GlobalSection, "DestMode", 0, 0, 7);
    const int64_t splitSize = reader.Int64(GlobalSection, "ZipSize", 0);
    return ZipSplitSizeProblem(destMode, std::max<int64_t>(splitSize, 0));
}

bool LoadTask(TTaskSettings& task, const std::string& fileName, bool full, TInteraction interaction,
              TTaskFileReport& report, const TTaskFileContext& context)
{
    struct stat st
    {
    };
    if (fileName.empty() || ::stat(fileName.c_str(), &st) != 0)
        return false;
    if (!S_ISREG(st.st_mode)) {
        // Never opened: a FIFO would block.
        report.Add(SafeFormat(_("Task file \"%s\": %s"), {fileName, TaskFileProblem(fileName)}));
        report.Abandoned = true;
        return false;
    }
    const TQvSettings& settings = *context.Settings;
    const TFormatSettings& format = FormatOf(context);
    const TTaskEnvironment& environment = EnvironmentOf(context);

    task.UpdateBusy = true;
    task.LoadedTaskName = fileName;
    if (full)
        SetNewTaskDefaults(task, settings);
    bool cancelled = false;
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
        if (IsZipMethod(task.DestMode) || (task.DestMode == BackupMethod::OneFolder && dirCount > 1))
            task.ClearDest = false;
        cancelled = ReadFolderSections(task, reader, dirCount, interaction, format, environment);
        if (full)
            reader.ReportUnknownKeys(GlobalSection);
    } catch (const std::exception& e) {
        report.Add(e.what());
        report.Abandoned = true;
        task.UpdateBusy = false;
        return false;
    }
    if (cancelled) {
        report.Abandoned = true;
        task.UpdateBusy = false;
        return false;
    }

    if (full) {
        // The log file needs the folders: "%volume%" of the destination is the first folder's volume.
        task.LastLogFile = TaskLogFileName(task, context);
        TOptionFacts facts = environment.OptionFacts(task);
        facts.DirCount = task.Folders.Count();
        NormaliseTask(task, facts);
    }
    task.UpdateBusy = false;
    task.EditStatus = esSaved;
    if (!task.ReplSourceDir.empty() && !task.Folders.Empty() && task.Folders[0].Selected &&
        RescanEntry(task.Folders[0], task, nullptr))
        task.Folders[0].DoUpdate = false;
    return true;
}

bool SaveTask(TTaskSettings& task, const std::string& fileName, const std::vector<int>& indexes,
              TTaskFileReport& report, const TTaskFileContext& context)
{
    for (int index : indexes) {
        if (index < 0 || index >= task.Folders.Count()) {
            report.Add(SafeFormat(_("Error saving task \"%s\"!"), {fileName}));
            return false;
        }
    }
    try {
        TUnicodeIniFile ini = TUnicodeIniFile::CreateForWrite(fileName, true);
        ini.WriteProgramInfo("Program", context.ProgramName);
        ini.WriteProgramInfo("Version", context.Version);
        if (task.Folders.Empty()) {
            WriteReducedGlobal(ini, task);
        } else {
            std::vector<int> folders = indexes;
            if (folders.empty())
                for (int i = 0; i < task.Folders.Count(); ++i)
                    folders.push_back(i);
            WriteGlobal(ini, task, static_cast<int>(folders.size()));
            for (size_t n = 0; n < folders.size(); ++n)
                WriteFolderSection(ini, task.Folders[folders[n]], FolderSectionName(static_cast<int>(n)),
                                   FormatOf(context));
        }
        ini.UpdateFile();
    } catch (const std::exception&) {
        report.Add(SafeFormat(_("Error saving task \"%s\"!"), {fileName}));
        return false;
    }
    if (indexes.empty()) {
        task.LoadedTaskName = fileName;
        task.ActTaskName = fileName;
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
        std::string data;
        if (!ReadWholeFile(fileName, data))
            throw EWriteError(fileName);
        TIniEncoding encoding = TIniEncoding::Utf8;
        TIniLines lines(DecodeIniBytes(data, encoding));
        // The keys the update owns are gathered in memory (this object is never written) and then put
        // into the file's own lines, so that its comments and everything else stay.
        TMemIniFile values{std::string()};
        if (!lines.HasKey("Unicode", "Encoding"))
            values.WriteString("Unicode", "Encoding", "UTF-16LE");
        values.WriteString("Unicode", "Program", context.ProgramName);
        values.WriteString("Unicode", "Version", context.Version);
        task.EncChg = false;
        task.LastCrypt = task.cbEncrypt ? 1 : 0;
        values.WriteBool(GlobalSection, "ChangedEnc", false);
        ++task.BackupCount;
        values.WriteInteger(GlobalSection, "BackupCount", task.BackupCount);
        task.LastBuTime = TaskDateTimeToStr(startTime, FormatOf(context));
        task.LastBackupTime = startTime;
        values.WriteString(GlobalSection, "LastBackup", task.LastBuTime);
        WriteFolderStatistics(values, task);

        TStringList sections, entries;
        values.ReadSections(sections);
        for (int i = 0; i < sections.Count(); ++i) {
            values.ReadSectionValues(sections[i], entries);
            for (int k = 0; k < entries.Count(); ++k) {
                const std::string& entry = entries[k];
                const size_t eq = entry.find('=');
                lines.WriteString(sections[i], entry.substr(0, eq), entry.substr(eq + 1));
            }
        }
        lines.DeleteKey(GlobalSection, "Program");
        lines.DeleteKey(GlobalSection, "Version");
        if (ReplaceFileContents(fileName, EncodeIniText(lines.Text(), TIniEncoding::Utf16LE)) != 0)
            throw EWriteError(fileName);
    } catch (const EWriteError&) {
        report.Add(failed);
    } catch (const std::exception& e) {
        report.Add(std::string("  *** ") + e.what());
    }
    if ((mode & S_IWUSR) == 0)
        ::chmod(fileName.c_str(), mode);
}
