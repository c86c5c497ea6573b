#include "backup/ProfileTask.h"

#include <sys/stat.h>

#include "foundation/IniFileUtils.h"
#include "foundation/PathUtils.h"
#include "platform/XdgDirs.h"
#include "rtl/Gettext.h"
#include "rtl/SysUtils.h"

namespace {

bool IsDir(const std::string& path)
{
    struct stat st
    {
    };
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string WithoutTrailingDelimiter(std::string path)
{
    while (path.size() > 1 && path.back() == PathDelimiter)
        path.pop_back();
    return path;
}

} // namespace

std::string MailProfileRoot()
{
    const std::string home = AddPathDelimiter(HomeDir());
    for (const char* sub : {".thunderbird", ".var/app/org.mozilla.Thunderbird/.thunderbird",
                            "snap/thunderbird/common/.thunderbird"})
        if (IsDir(home + sub))
            return home + sub;
    return home + ".thunderbird";
}

std::string WriteProfileTaskFile(const std::string& FileName, const std::string& ProfileDir,
                                 const std::string& DestDir, const std::string& DriveId,
                                 const std::string& Version)
{
    const std::string profile = WithoutTrailingDelimiter(ProfileDir);
    const std::string dirFilter = "*cache*,log*,crash*,calendar-data,backup,datareporting";
    try {
        TUnicodeIniFile ini = TUnicodeIniFile::CreateForWrite(FileName, true);
        ini.WriteProgramInfo("Program", "Vastrel");
        ini.WriteProgramInfo("Version", Version);
        const char* g = "Global";
        ini.WriteInteger(g, "FtpBackup", 0);
        ini.WriteString(g, "Destination", DestDir);
        ini.WriteString(g, "Note", "#" + _("Orvane mail backup") + "#");
        ini.WriteString(g, "DriveId", DriveId);
        ini.WriteInteger(g, "SendMail", 0);
        for (const char* key : {"DeleteFile", "DeleteDirs", "Verify", "UseVss"})
            ini.WriteInteger(g, key, 0);
        ini.WriteInteger(g, "Compress", 1);
        ini.WriteInteger(g, "CompressAsZip", 1);
        ini.WriteString(
            g, "NoCompTypes",
            "7z,ace,arc,arj,bz2,cab,docx,epub,gif,gz,gze,jpeg,jpg,lha,lzh,mp3,mp4,mpg,odg,odp,ods,odt,"
            "otp,ots,ott,pdf,png,pptx,rar,webm,webp,xlsm,xlsx,xpi,zip,zipx");
        ini.WriteInteger(g, "Encrypt", 0);
        ini.WriteInteger(g, "FixPassword", 0);
        ini.WriteInteger(g, "LogFile", 1);
        ini.WriteString(g, "LogName", "%taskname%.log");
        ini.WriteInteger(g, "Timespan", 2);
        ini.WriteInteger(g, "IgnoreDst", 1);
        for (const char* key :
             {"AllowJunctions", "FollowJunctions", "ScanDirectories", "NoWriteCache", "TimestampFile",
              "SkipUnavailDir", "DestMode", "SyncMode", "UseRecycler", "CopySummary", "CopyPermissions"})
            ini.WriteInteger(g, key, 0);
        ini.WriteInteger(g, "CreationTime", 1);
        ini.WriteInteger(g, "EmptyDirs", 1);
        for (const char* key : {"ClearDest", "ArchBit", "UseArch", "OnlyArch"})
            ini.WriteInteger(g, key, 0);
        const char* masks[] = {"*cache*", "log*", "crash*", "calendar-data", "backup", "datareporting"};
        for (int i = 0; i < 6; ++i)
            ini.WriteString("DirFilter", Format("Mask%.3d", {i}), masks[i]);
        ini.WriteInteger("DirFilter", "Count", 6);
        ini.WriteInteger(g, "DirCount", 2);

        auto folder = [&](const char* s, const std::string& source, int filterMode, const std::string& filter,
                          const std::string& exclude, const std::string& dirs) {
            ini.WriteInteger(s, "Enabled", 1);
            ini.WriteString(s, "Source", source);
            ini.WriteString(s, "Volume", "");
            ini.WriteInteger(s, "Regular", 0);
            ini.WriteInteger(s, "FilterMode", filterMode);
            if (filterMode != 0)
                ini.WriteString(s, "Filter", filter);
            ini.WriteInteger(s, "ExtRegular", 0);
            ini.WriteInteger(s, "ExtFilterMode", 0);
            ini.WriteString(s, "ExtFilter", "*");
            ini.WriteInteger(s, "Attributes", 0);
            ini.WriteInteger(s, "SyncCount", 0);
            ini.WriteInteger(s, "BackupMode", 1);
            ini.WriteString(s, "Exclude", exclude);
            ini.WriteString(s, "DirFilter", dirs);
            ini.WriteInteger(s, "IncludeDirs", 0);
            ini.WriteInteger(s, "SubCount", 0);
        };
        folder("Dir000", profile, 2, "parent.lock|global-messages-db.sqlite",
               "SQLITE-SHM,SQLITE-WAL,LZ4,BAK,LOCK", dirFilter);
        folder("Dir001", JoinPath(profile, "calendar-data"), 0, "", "", "backup");
        ini.UpdateFile();
    } catch (const std::exception&) {
        return SafeFormat(_("Error saving task \"%s\"!"), {FileName});
    }
    return std::string();
}
