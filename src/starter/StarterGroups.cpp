#include "starter/StarterGroups.h"

#include <filesystem>

#include "archive/PasswordText.h"
#include "foundation/IniFileUtils.h"
#include "foundation/InitProg.h"
#include "foundation/NumberUtils.h"
#include "foundation/PathUtils.h"
#include "foundation/PlaceHolders.h"
#include "foundation/QvUtilsCompanion.h"
#include "foundation/QvUtilsFolders.h"
#include "foundation/StringUtils.h"
#include "foundation/XlFileUtils.h"
#include "rtl/Gettext.h"
#include "rtl/SysUtils.h"

namespace fs = std::filesystem;

namespace {

constexpr int StoredPasswordLength = 64;

std::string TaskSection(int i)
{
    return "Task" + IntToStrZero(2, i);
}

std::string WithSlash(std::string dir)
{
    if (!dir.empty() && dir.back() != '/')
        dir += '/';
    return dir;
}

} // namespace

void TTaskProperties::Reset()
{
    User.clear();
    Pwd.clear();
    AltLogDir.clear();
    PwdPrompt = true;
    NoSplash = false;
    PlaySound = false;
    ParProc = false;
    RunAs = false;
    Delay = 5;
    StartDelay = 0;
    Status = 1;
    Tasks.clear();
}

int TTaskProperties::AddTask(const std::string& AFilename, bool AEnabled)
{
    Tasks.push_back({AFilename, AEnabled, -1});
    return static_cast<int>(Tasks.size()) - 1;
}

void starter::DefaultValues(TMailData& AMailDat)
{
    AMailDat = TMailData();
}

int TStarterSettings::FindGroup(const std::string& Name) const
{
    for (size_t i = 0; i < Groups.size(); ++i)
        if (utf8::SameText(Groups[i]->Desc, Name))
            return static_cast<int>(i);
    return -1;
}

std::vector<std::string> TStarterSettings::GroupNames() const
{
    std::vector<std::string> names;
    for (const auto& g : Groups)
        names.push_back(g->Desc);
    return names;
}

std::string EncodeStoredPassword(const std::string& Pwd)
{
    if (Pwd.empty())
        return std::string();
    std::string result;
    EncodePassword(UnscrambleKeyString(ProgramKeyString), Pwd, StoredPasswordLength, result, false);
    return result;
}

std::string DecodeStoredPassword(const std::string& Text)
{
    if (Text.empty())
        return std::string();
    std::string result;
    DecodePassword(UnscrambleKeyString(ProgramKeyString), Text, false, result);
    return result;
}

TStarterLocation LocateSettingsFile(const std::string& AppPath, const std::string& ProgName,
                                    const std::string& IniOption)
{
    TStarterLocation loc;
    std::string dir = WithSlash(ReadIniPathFromRegistry(AppPath));
    std::error_code ec;
    fs::create_directories(dir, ec);
    if (!XlDirectoryExists(dir))
        dir = AppPath;
    loc.SettingsDir = dir;
    if (IniOption.empty()) {
        loc.IniName = dir + ProgName + ".ini";
        if (!MigrateSettingsFromDefaultFolder(loc.IniName))
            MigrateOldSettings(GetAppDataFolder(), loc.IniName);
        return loc;
    }
    std::string value = ExpandPathPlaceholders(IniOption);
    if (IsAbsolutePath(value)) {
        std::string name = fs::path(value).lexically_normal().string();
        if (name.back() == '/' || fs::path(name).extension().empty())
            name = WithSlash(name) + ProgName + ".ini";
        loc.IniName = name;
        loc.AIniPath = fs::path(name).parent_path().string() + "/";
        loc.SettingsDir = loc.AIniPath;
    } else
        loc.IniName = MakeFileName(AppPath, value, "ini");
    return loc;
}

void LoadStarterSettings(const std::string& IniName, const std::string& CmdLastTask, TStarterSettings& S)
{
    auto ini = TUnicodeIniFile::CreateForRead(IniName);
    S.Top = ini.ReadInteger("Config", "Top", S.Top);
    S.Left = ini.ReadInteger("Config", "Left", S.Left);
    S.Height = ini.ReadInteger("Config", "Height", S.Height);
    S.Width = ini.ReadInteger("Config", "Width", S.Width);

    starter::DefaultValues(S.MailData);
    auto& m = S.MailData;
    m.SMTP = ini.ReadString("Mail", "SMTP", "");
    m.Port = ini.ReadInteger("Mail", "Port", 25);
    m.Username = ini.ReadString("Mail", "Username", "");
    m.Password = DecodeStoredPassword(ini.ReadString("Mail", "Password", ""));
    m.Sender = ini.ReadString("Mail", "Sender", "QvStarter");
    m.ReplyTo = ini.ReadString("Mail", "ReplyTo", "");
    m.Recipients = ini.ReadString("Mail", "Recipients", "");
    m.Subject = ini.ReadString("Mail", "Subject", _("QvStarter error report"));
    int tls = ini.ReadInteger("Mail", "UseTLS", 0);
    m.SecureMode = tls >= stNone && tls <= stImplicit ? static_cast<TSecTransfer>(tls) : stNone;
    m.Enabled = ini.ReadBool("Mail", "Enabled", false) && !utf8::Trim(m.SMTP).empty() &&
                !utf8::Trim(m.Recipients).empty();

    S.LastTask = CmdLastTask.empty() ? ini.ReadString("Config", "LastTask", "") : CmdLastTask;
    S.LastDir = ini.ReadString("Config", "LastDir", fs::path(S.LastTask).parent_path().string());

    S.Groups.clear();
    const int count = ini.ReadInteger("Config", "TaskCount", 0);
    for (int i = 0; i < count; ++i) {
        const std::string sn = TaskSection(i);
        auto g = std::make_unique<TTaskProperties>(ini.ReadString(sn, "Description", sn));
        g->AltLogDir = ini.ReadString(sn, "LogDirectory", "");
        g->User = ini.ReadString(sn, "Username", "");
        g->Pwd = DecodeStoredPassword(ini.ReadString(sn, "Password", ""));
        g->PwdPrompt = ini.ReadBool(sn, "PasswordPrompt", true);
        g->NoSplash = ini.ReadBool(sn, "NoSplash", false);
        g->PlaySound = ini.ReadBool(sn, "PlaySound", true);
        g->ParProc = ini.ReadBool(sn, "Parallel", false);
        g->RunAs = ini.ReadBool(sn, "RunAs", false);
        g->StartDelay = ini.ReadInteger(sn, "StartDelay", 0);
        g->Delay = ini.ReadInteger(sn, "WaitTime", 5);
        g->Status = ini.ReadInteger(sn, "StatusWindow", 1);
        const int n = ini.ReadInteger(sn, "Count", 0);
        for (int j = 0; j < n; ++j) {
            std::string s = ini.ReadString(sn, "TaskFile" + IntToStrZero(2, j), "");
            if (s.empty())
                continue;
            bool enabled = s[0] != '#';
            if (!enabled)
                s.erase(0, 1);
            if (XlFileExists(s))
                g->AddTask(s, enabled);
        }
        g->Index = static_cast<int>(S.Groups.size());
        S.Groups.push_back(std::move(g));
    }
}

int InitialGroupIndex(const TStarterSettings& S)
{
    int i = S.LastTask.empty() ? -1 : S.FindGroup(S.LastTask);
    if (i < 0)
        i = S.Groups.empty() ? -1 : 0;
    return i;
}

void SaveStarterSettings(const std::string& IniName, const TStarterSettings& S)
{
    auto ini = TUnicodeIniFile::CreateForWrite(IniName, false);
    ini.EraseSection("Global");
    ini.WriteProgramInfo("Program", "QvStarter");
    ini.WriteProgramInfo("Version", ProgVersion);
    ini.WriteInteger("Config", "Top", S.Top);
    ini.WriteInteger("Config", "Left", S.Left);
    ini.WriteInteger("Config", "Height", S.Height);
    ini.WriteInteger("Config", "Width", S.Width);

    const auto& m = S.MailData;
    ini.EraseSection("Mail");
    ini.WriteString("Mail", "SMTP", m.SMTP);
    ini.WriteInteger("Mail", "Port", m.Port);
    ini.WriteString("Mail", "Username", m.Username);
    ini.WriteString("Mail", "Password", EncodeStoredPassword(m.Password));
    ini.WriteString("Mail", "Sender", m.Sender);
    ini.WriteString("Mail", "ReplyTo", m.ReplyTo);
    ini.WriteString("Mail", "Recipients", m.Recipients);
    ini.WriteString("Mail", "Subject", m.Subject);
    ini.WriteInteger("Mail", "UseTLS", static_cast<int>(m.SecureMode));
    ini.WriteBool("Mail", "Enabled", m.Enabled);

    ini.WriteString("Config", "LastTask", S.LastTask);
    ini.WriteString("Config", "LastDir", S.LastDir);
    ini.WriteInteger("Config", "TaskCount", static_cast<int>(S.Groups.size()));
    for (size_t i = 0; i < S.Groups.size(); ++i) {
        const auto& g = *S.Groups[i];
        const std::string sn = TaskSection(static_cast<int>(i));
        ini.EraseSection(sn);
        ini.WriteString(sn, "Description", g.Desc.empty() ? sn : g.Desc);
        ini.WriteString(sn, "LogDirectory", g.AltLogDir);
        ini.WriteString(sn, "Username", g.User);
        ini.WriteString(sn, "Password", EncodeStoredPassword(g.Pwd));
        ini.WriteBool(sn, "PasswordPrompt", g.PwdPrompt);
        ini.WriteBool(sn, "NoSplash", g.NoSplash);
        ini.WriteBool(sn, "PlaySound", g.PlaySound);
        ini.WriteBool(sn, "Parallel", g.ParProc);
        ini.WriteBool(sn, "RunAs", g.RunAs);
        ini.WriteInteger(sn, "StartDelay", g.StartDelay);
        ini.WriteInteger(sn, "WaitTime", g.Delay);
        ini.WriteInteger(sn, "StatusWindow", g.Status);
        ini.WriteInteger(sn, "Count", static_cast<int>(g.Tasks.size()));
        for (size_t j = 0; j < g.Tasks.size(); ++j)
            ini.WriteString(sn, "TaskFile" + IntToStrZero(2, static_cast<int>(j)),
                            (g.Tasks[j].Enabled ? "" : "#") + g.Tasks[j].FileName);
    }
    ini.UpdateFile();
}
