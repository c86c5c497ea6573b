#include "restore/RestoreSettings.h"

#include "archive/EngineFs.h"
#include "foundation/IniFileUtils.h"
#include "foundation/PathUtils.h"
#include "foundation/StringUtils.h"
#include "restore/RestoreUtils.h"

namespace {

constexpr const char* Cfg = "Config";

bool IsOption(const std::string& arg)
{
    if (arg.size() < 1)
        return false;
    if (arg[0] == '-')
        return true;
    if (arg[0] != '/')
        return false;
    if (arg == "/")
        return true;
    const std::string head =
        arg.substr(1, arg.find(':') == std::string::npos ? std::string::npos : arg.find(':') - 1);
    return head.find('/') == std::string::npos && !EngineFs::Exists(arg, true);
}

} // namespace

TRestoreCommandLine ParseRestoreCommandLine(const std::vector<std::string>& args)
{
    TRestoreCommandLine cmd;
    cmd.HasArguments = !args.empty();
    for (const auto& arg : args) {
        if (IsOption(arg)) {
            std::string s = arg.substr(1);
            std::string value = s;
            if (MatchesKeyword(s, "dir"))
                cmd.RMode = 1;
            else if (MatchesKeyword(s, "sched"))
                cmd.RMode = 2;
            else if (MatchesKeyword(s, "zip"))
                cmd.ZipMode = true;
            else if (ReadKeywordValue(value, "path"))
                cmd.Path = value;
            else if (MatchesKeyword(s, "dark"))
                cmd.Dark = true;
            continue;
        }
        cmd.Files.push_back(cmd.Files.empty() ? arg : EngineFs::ExtractFileName(arg));
    }
    return cmd;
}

TRestoreStart ResolveRestoreStart(const TRestoreCommandLine& cmd, const std::string& Source)
{
    TRestoreStart start;
    start.ZipMode = cmd.ZipMode;
    start.Source = Source;
    if (!cmd.Files.empty()) {
        const std::string& first = cmd.Files.front();
        const std::string ext = EngineFs::ExtractFileExt(first);
        if (utf8::SameText(ext, ".zip")) {
            start.ZipMode = true;
            start.SingleZip = true;
            start.ZipArchive = MakeAbsoluteTo(cmd.Path, first);
        } else {
            const std::string full = IsAbsolutePath(first) ? first : MakeAbsoluteTo(cmd.Path, first);
            std::string dir = EngineFs::ExtractFilePath(full);
            if (dir.size() > 1)
                dir.pop_back();
            start.Source = dir;
            if (cmd.RMode != 1 && cmd.RMode != 2)
                for (const auto& f : cmd.Files)
                    start.FileList.push_back(EngineFs::ExtractFileName(f));
        }
    } else if (!cmd.Path.empty() && EngineFs::DirectoryExists(cmd.Path)) {
        if (cmd.ZipMode) {
            start.SingleZip = true;
            start.ZipArchive = AddPathDelimiter(cmd.Path) + "*.zip";
        } else {
            start.Source = cmd.Path;
        }
    }
    return start;
}

TRestoreConfig ReadRestoreConfig(const std::string& IniName, const std::string& DefaultTarget, int Today)
{
    TRestoreConfig c;
    c.Target = DefaultTarget;
    c.BakDate = c.RestoreDate = Today;
    if (!EngineFs::Exists(IniName, true))
        return c;
    auto ini = TUnicodeIniFile::CreateForRead(IniName);
    c.Top = ini.ReadInteger(Cfg, "Top", c.Top);
    c.Left = ini.ReadInteger(Cfg, "Left", c.Left);
    c.Height = ini.ReadInteger(Cfg, "Height", c.Height);
    c.Width = ini.ReadInteger(Cfg, "Width", c.Width);
    c.PixelsPerInch = ini.ReadInteger(Cfg, "PixelsPerInch", c.PixelsPerInch);
    c.Split = ini.ReadString(Cfg, "Split", c.Split);
    c.Source = ini.ReadString(Cfg, "Source", c.Source);
    c.Target = ini.ReadString(Cfg, "Target", c.Target);
    c.Mode = ini.ReadInteger(Cfg, "Mode", c.Mode);
    c.ReadProtected = ini.ReadBool(Cfg, "ReadProtected", c.ReadProtected);
    c.ArchiveBit = ini.ReadBool(Cfg, "ArchiveBit", c.ArchiveBit);
    c.Unpack = ini.ReadInteger(Cfg, "Unpack", c.Unpack);
    c.SubDirs = ini.ReadBool(Cfg, "SubDirs", c.SubDirs);
    c.EmptyDirs = ini.ReadBool(Cfg, "EmptyDirs", c.EmptyDirs);
    c.Timespan = ini.ReadInteger(Cfg, "Timespan", c.Timespan);
    c.IgnoreDst = ini.ReadBool(Cfg, "IgnoreDst", c.IgnoreDst);
    c.BakCopies = ini.ReadInteger(Cfg, "BakCopies", c.BakCopies);
    c.BakSuffix = ini.ReadString(Cfg, "BakSuffix", c.BakSuffix);
    c.BakDate = ini.ReadInteger(Cfg, "BakDate", c.BakDate);
    c.RestoreDate = ini.ReadInteger(Cfg, "RestoreDate", c.RestoreDate);
    c.SubDirMask = ini.ReadString(Cfg, "SubDirMask", c.SubDirMask);
    c.DriveID = ini.ReadString(Cfg, "DriveID", c.DriveID);
    c.FilterMode = ini.ReadInteger(Cfg, "FilterMode", c.FilterMode);
    c.Filter = ini.ReadString(Cfg, "Filter", c.Filter);
    c.ZipDir = ini.ReadBool(Cfg, "ZipDir", c.ZipDir);
    c.LastZipArchive = ini.ReadString(Cfg, "LastZipArchive", c.LastZipArchive);
    return c;
}

bool WriteRestoreConfig(const std::string& IniName, const TRestoreConfig& c, const std::string& Version,
                        std::string& Error)
{
    try {
        auto ini = TUnicodeIniFile::CreateForWrite(IniName, false);
        ini.WriteProgramInfo("Program", "QvRestore");
        ini.WriteProgramInfo("Version", Version);
        ini.WriteInteger(Cfg, "Top", c.Top);
        ini.WriteInteger(Cfg, "Left", c.Left);
        ini.WriteInteger(Cfg, "Height", c.Height);
        ini.WriteInteger(Cfg, "Width", c.Width);
        ini.WriteInteger(Cfg, "PixelsPerInch", c.PixelsPerInch);
        ini.WriteString(Cfg, "Split", c.Split);
        ini.WriteString(Cfg, "Source", c.Source);
        ini.WriteString(Cfg, "Target", c.Target);
        ini.WriteInteger(Cfg, "Mode", c.Mode);
        ini.WriteBool(Cfg, "ReadProtected", c.ReadProtected);
        ini.WriteBool(Cfg, "ArchiveBit", c.ArchiveBit);
        ini.WriteInteger(Cfg, "Unpack", c.Unpack);
        ini.WriteBool(Cfg, "SubDirs", c.SubDirs);
        ini.WriteBool(Cfg, "EmptyDirs", c.EmptyDirs);
        ini.WriteInteger(Cfg, "Timespan", c.Timespan);
        ini.WriteBool(Cfg, "IgnoreDst", c.IgnoreDst);
        ini.WriteInteger(Cfg, "BakCopies", c.BakCopies);
        ini.WriteString(Cfg, "BakSuffix", c.BakSuffix);
        ini.WriteInteger(Cfg, "BakDate", c.BakDate);
        ini.WriteInteger(Cfg, "RestoreDate", c.RestoreDate);
        ini.WriteString(Cfg, "SubDirMask", c.SubDirMask);
        ini.WriteString(Cfg, "DriveID", c.DriveID);
        ini.WriteInteger(Cfg, "FilterMode", c.FilterMode);
        ini.WriteString(Cfg, "Filter", c.Filter);
        ini.WriteBool(Cfg, "ZipDir", c.ZipDir);
        ini.WriteString(Cfg, "LastZipArchive", c.LastZipArchive);
        ini.UpdateFile();
        return true;
    } catch (const std::exception& e) {
        Error = e.what();
        return false;
    }
}

int SplitToWidth(const std::string& Split, int PanelWidth)
{
    int width = 800;
    if (!Split.empty()) {
        const std::string permille = "\xE2\x80\xB0";
        const bool share = Split.size() > permille.size() && Split.ends_with(permille);
        const int n = static_cast<int>(
            GetFirstInt(share ? Split.substr(0, Split.size() - permille.size()) : Split, ' ', 0));
        width = share ? n * PanelWidth / 1000 : n;
    }
    if (width < PanelWidth / 2 || width > PanelWidth * 4 / 5)
        width = PanelWidth * 4 / 5;
    return width;
}
