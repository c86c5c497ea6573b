#include "backup/RunTask.h"

#include <sys/stat.h>

#include "foundation/FileUtils.h"
#include "foundation/IniFileUtils.h"
#include "foundation/XlFileUtils.h"
#include "rtl/Gettext.h"
#include "rtl/SysUtils.h"

namespace {

std::string DirSection(int i)
{
    return SafeFormat("Dir%.3d", {i});
}

} // namespace

std::string TRunTask::DestinationText() const
{
    if (!BuFtp)
        return Destination;
    if (FtpHost.empty())
        return std::string();
    std::string url = "ftp://" + FtpHost;
    if (FtpPort != 21)
        url += ":" + std::to_string(FtpPort);
    if (!FtpDirectory.empty() && FtpDirectory[0] != '/')
        url += "/";
    return url + FtpDirectory;
}

bool ReadRunTask(const std::string& fileName, const TQvSettings& settings, TRunTask& task)
{
    task = TRunTask();
    if (!XlFileExists(fileName))
        return false;
    try {
        auto ini = TUnicodeIniFile::CreateForRead(fileName);
        const char* g = "Global";
        task.LoadedTaskName = fileName;
        task.BuFtp = ini.ReadBool(g, "FtpBackup", false);
        task.Destination = ini.ReadString(g, "Destination", "");
        task.FtpHost = ini.ReadString("Ftp", "Host", "");
        task.FtpPort = ini.ReadInteger("Ftp", "Port", 21);
        task.FtpDirectory = ini.ReadString("Ftp", "SubDir", "");
        task.DriveId = ini.ReadString(g, "DriveId", settings.OtherSettings.DefDriveId);
        task.TaskPriority = ini.ReadInteger(g, "Priority", 3);
        task.Verify = ini.ReadBool(g, "Verify", false);
        task.UseVss = ini.ReadBool(g, "UseVss", false);
        task.LastCrypt = ini.ReadInteger(g, "Encrypt", 0);
        task.Encrypt = task.LastCrypt > 0;
        task.EncChg = ini.ReadBool(g, "ChangedEnc", false);
        task.FixPwd = task.Encrypt && ini.ReadBool(g, "FixPassword", false);
        task.TaskProtMode = ini.ReadInteger(g, "LogFile", settings.LogSettings.LogMode & 0x47);
        task.ShowErrors = (task.TaskProtMode & 0x400) != 0;
        task.TaskLogName = ini.ReadString(g, "LogName", "");
        task.ScanDirs = ini.ReadBool(g, "ScanDirectories", false);
        task.SkipDir = ini.ReadBool(g, "SkipUnavailDir", false);
        task.DisplayOff = ini.ReadBool(g, "AllowDisplayOff", false);
        task.NoVolCheck = ini.ReadBool(g, "NoVolumeCheck", false);
        task.DestMode = ini.ReadInteger(g, "DestMode", 0);
        task.ZipName = ini.ReadString(g, "ZipName", ini.ReadString(g, "ZipDefault", "QV-Zip-%date%"));
        task.MaxZipSize = ini.ReadInt64(g, "ZipSize", 0);
        task.SyncMode = ini.ReadInteger(g, "SyncMode", 0);
        task.SyncBefore = ini.ReadBool(g, "SyncBefore", false);
        task.KeepBak = ini.ReadBool(g, "BakFiles", false);
        task.KeepSync = ini.ReadBool(g, "SyncFiles", false);
        task.CmdEnc = ini.ReadInteger(g, "EncryptCommands", 0);
        task.PreCmd.Command = ini.ReadString(g, "PreCommand", "");
        task.PreCmd.Wait = ini.ReadInteger(g, "PreWait", 0);
        task.PreCmd.ErrorLevel = ini.ReadInteger(g, "PreErrorLevel", 1);
        task.PostCmd.Command = ini.ReadString(g, "PostCommand", "");
        task.PostCmd.Wait = ini.ReadInteger(g, "PostWait", 0);
        task.PostCmd.ErrorLevel = ini.ReadInteger(g, "PostConditions", 1);
        task.ClearDest = ini.ReadBool(g, "ClearDest", false) && task.DestMode <= 3;
        task.ResArchiv = ini.ReadBool(g, "ArchBit", false);
        task.UseArchiv = ini.ReadBool(g, "UseArch", false);
        task.ArchFile = ini.ReadBool(g, "OnlyArch", false);
        task.BackupCount = ini.ReadInteger(g, "BackupCount", 1);
        int count = ini.ReadInteger(g, "DirCount", 0);
        if (task.DestMode == 2 && count > 1)
            task.ClearDest = false;
        for (int i = 0; i < count; ++i) {
            std::string s = DirSection(i);
            if (!ini.ValueExists(s, "Source"))
                continue;
            TRunSource src;
            src.VPath = ini.ReadString(s, "Source", "");
            src.SPath = src.VPath;
            src.VName = ini.ReadString(s, "Volume", "");
            src.Selected = ini.ReadBool(s, "Enabled", true);
            src.ICount = ini.ReadInteger(s, "FileCount", -1);
            int64_t high = ini.ReadInteger(s, "ByteCountH", -1);
            int64_t low = static_cast<uint32_t>(ini.ReadInteger(s, "ByteCountL", -1));
            src.IBytes = high < 0 ? -1 : (high << 32) + low;
            src.SyncCount = static_cast<uint32_t>(ini.ReadInteger(s, "SyncCount", 0));
            task.Sources.push_back(src);
        }
    } catch (const Exception&) {
        return false;
    }
    return true;
}

std::string WriteRunTaskStatus(const std::string& fileName, TRunTask& task, TDateTime startTime,
                               const std::string& programVersion)
{
    if (fileName.empty())
        return std::string();
    std::string failure = "  *** " + SafeFormat(_("Could not update task file: \"%s\""), {fileName});
    if (!XlFileExists(fileName))
        return failure;
    struct stat st;
    bool haveMode = stat(fileName.c_str(), &st) == 0;
    if (haveMode)
        chmod(fileName.c_str(), st.st_mode | S_IWUSR);
    std::string result;
    try {
        auto ini = TUnicodeIniFile::CreateForWrite(fileName, false);
        ini.WriteProgramInfo("Program", "Vastrel");
        ini.WriteProgramInfo("Version", programVersion);
        ini.DeleteKey("Global", "Program");
        ini.DeleteKey("Global", "Version");
        task.EncChg = false;
        task.LastCrypt = task.Encrypt ? 1 : 0;
        ini.WriteBool("Global", "ChangedEnc", false);
        ++task.BackupCount;
        ini.WriteInteger("Global", "BackupCount", task.BackupCount);
        ini.WriteString("Global", "LastBackup", DateTimeToStr(startTime));
        for (size_t i = 0; i < task.Sources.size(); ++i) {
            const auto& src = task.Sources[i];
            std::string s = DirSection(static_cast<int>(i));
            ini.WriteInteger(s, "FileCount", src.ICount);
            ini.WriteInteger(s, "ByteCountH", static_cast<int>(src.IBytes >> 32));
            ini.WriteInteger(s, "ByteCountL",
                             static_cast<int>(static_cast<uint32_t>(src.IBytes & 0xFFFFFFFF)));
            ini.WriteInteger(s, "SyncCount", static_cast<int>(src.SyncCount));
        }
        ini.UpdateFile();
    } catch (const EWriteError&) {
        result = failure;
    } catch (const Exception& e) {
        result = "  *** " + e.Message();
    }
    if (haveMode)
        chmod(fileName.c_str(), st.st_mode);
    return result;
}
