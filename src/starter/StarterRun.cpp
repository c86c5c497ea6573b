#include "starter/StarterRun.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>
#include <unistd.h>

#include "archive/mMailer10.h"
#include "foundation/IniFileUtils.h"
#include "foundation/InitProg.h"
#include "foundation/PathUtils.h"
#include "foundation/QvUtilsCompanion.h"
#include "foundation/QvUtilsFolders.h"
#include "foundation/QvUtilsNames.h"
#include "foundation/QvUtilsTexts.h"
#include "foundation/StringUtils.h"
#include "foundation/WinApiUtils.h"
#include "platform/ErrorCodes.h"
#include "platform/RunAs.h"
#include "rtl/DateTime.h"
#include "rtl/Gettext.h"
#include "rtl/SysUtils.h"

namespace {

std::string QuoteBlank(const std::string& s)
{
    return QuoteIfContains(s, " ");
}

std::string DetailIndent()
{
    return "      ";
}

std::string Env(const char* name)
{
    const char* v = std::getenv(name);
    return v ? std::string(v) : std::string();
}

bool HasOption(const std::vector<std::string>& argv, const char* name)
{
    return std::any_of(argv.begin() + (argv.empty() ? 0 : 1), argv.end(),
                       [name](const std::string& a) { return utf8::SameText(a, name); });
}

// A whole decimal number.
bool ReadInt(const std::string& text, int& value)
{
    if (text.empty())
        return false;
    char* end = nullptr;
    long v = std::strtol(text.c_str(), &end, 10);
    if (*end != 0 || v < INT32_MIN || v > INT32_MAX)
        return false;
    value = static_cast<int>(v);
    return true;
}

} // namespace

// --- hosts and processes

bool THeadlessStarterHost::AskPassword(const std::string&, const std::string&, std::string&)
{
    return false;
}

void THeadlessStarterHost::ErrorBox(const std::string& Text)
{
    std::fprintf(stderr, "%s\n", Text.c_str());
}

TProcessHandle TRunAsProcesses::Start(const std::string& User, const std::string& /*Domain*/,
                                      const std::string& Pwd, const std::vector<std::string>& Argv)
{
    const bool x11 = !Env("DISPLAY").empty();
    if (!x11 && !Env("WAYLAND_DISPLAY").empty() && !HasOption(Argv, "/force"))
        throw EProcessError(_("Windows of another user account cannot be shown on a Wayland display."),
                            WinError::ERROR_NOT_SUPPORTED);
    const bool grant = x11 && !utf8::SameText(User, GetCurrentUserName());
    if (grant)
        ExecuteConsoleProcess("", {"xhost", "+SI:localuser:" + User}, "", 0, 10000, true, nullptr);
    TRunAsResult r = StartProgramAsUser(User, Pwd, Argv);
    if (r.Pid < 0) {
        if (grant &&
            std::none_of(FGranted.begin(), FGranted.end(), [&](auto& g) { return g.second == User; }))
            ExecuteConsoleProcess("", {"xhost", "-SI:localuser:" + User}, "", 0, 10000, true, nullptr);
        throw EProcessError(r.Message, r.Error);
    }
    if (grant)
        FGranted.emplace_back(r.Pid, User);
    return r.Pid;
}

void TRunAsProcesses::Revoke(TProcessHandle Handle)
{
    auto it = std::find_if(FGranted.begin(), FGranted.end(), [&](auto& g) { return g.first == Handle; });
    if (it == FGranted.end())
        return;
    std::string user = it->second;
    FGranted.erase(it);
    if (std::none_of(FGranted.begin(), FGranted.end(), [&](auto& g) { return g.second == user; }))
        ExecuteConsoleProcess("", {"xhost", "-SI:localuser:" + user}, "", 0, 10000, true, nullptr);
}

uint32_t TRunAsProcesses::Wait(TProcessHandle Handle, int TimeOut)
{
    uint32_t r = WaitForProcess(Handle, TimeOut, false);
    if (r != WaitTimeoutResult)
        Revoke(Handle);
    return r;
}

TRunAsProcesses::~TRunAsProcesses()
{
    while (!FGranted.empty())
        Revoke(FGranted.front().first);
}

// --- texts and command lines

std::string StatusPromptValue(int Status, bool& WithWait)
{
    static const char* const values[] = {"quiet", "delay", "wait", "error", "silent"};
    WithWait = Status == 1 || Status == 3;
    if (Status < 0 || Status > 4)
        return "delay";
    return values[Status];
}

std::string StartResultText(int Code, const std::string& Detail)
{
    if (Code == 0)
        return std::string();
    if (Code == srStartError)
        return SafeFormat(_("Error on starting Vastrel: %s"), {Detail});
    if (Code == srWaitError)
        return SafeFormat(_("Error on executing Vastrel: %s"), {Detail});
    return SafeFormat(_("Error reported by Vastrel: %s"), {GetErrorStateText(Code)});
}

void SplitAccount(const std::string& Account, std::string& Domain, std::string& User)
{
    auto p = Account.find('\\');
    if (p == std::string::npos) {
        Domain.clear();
        User = Account;
    } else {
        Domain = Account.substr(0, p);
        User = Account.substr(p + 1);
    }
}

TStarterCmdLine ParseStarterCmdLine(const std::vector<std::string>& Args)
{
    TStarterCmdLine c;
    for (const auto& arg : Args) {
        if (arg.empty())
            continue;
        if (arg[0] != '/' && arg[0] != '-') {
            c.Groups.push_back(arg);
            continue;
        }
        std::string opt = arg.substr(1);
        std::string v = opt;
        if (MatchesKeyword(opt, "force"))
            c.Force = true;
        else if (MatchesKeyword(opt, "term"))
            c.TermProgs = true;
        else if (ReadKeywordValue(v, "logmode")) {
            int n = 1;
            c.WriteLog = !ReadInt(v, n) || n != 0;
        } else if (MatchesKeyword(opt, "prompt"))
            c.ActPrompt = true;
        else if (MatchesKeyword(opt, "lockscreen"))
            c.FLockScreen = true;
        else if (MatchesKeyword(opt, "dark"))
            c.UseDarkMode = true;
        else if ((v = opt, ReadKeywordValue(v, "end"))) {
            if (v.empty())
                continue;
            if (MatchesKeyword(v, "shutdown"))
                c.LogOffMode = dmShutdown;
            else if (MatchesKeyword(v, "lockdown")) {
                c.LogOffMode = dmShutdown;
                c.FLockScreen = true;
            } else if (MatchesKeyword(v, "logoff"))
                c.LogOffMode = dmLogOff;
            else if (MatchesKeyword(v, "restart"))
                c.LogOffMode = dmRestart;
            else if (MatchesKeyword(v, "poweroff"))
                c.LogOffMode = dmPowerOff;
        } else if ((v = opt, ReadKeywordValue(v, "suspend"))) {
            if (v.empty())
                continue;
            if (MatchesKeyword(v, "standby"))
                c.SuspendMode = smStandby;
            else if (MatchesKeyword(v, "hibernate"))
                c.SuspendMode = smHibernate;
        } else if ((v = arg.substr(1), ReadKeywordValue(v, "ini")))
            c.IniOption = v;
    }
    for (size_t i = 0; i < c.Groups.size(); ++i)
        c.ConfigList += (i ? "," : "") + c.Groups[i];
    return c;
}

// --- the starter

TStarter::TStarter(IStarterHost& Host, IStarterProcesses& Processes, IStarterPower* Power)
    : FHost(Host), FProcesses(Processes), FPower(Power)
{
}

void TStarter::Init(const std::vector<std::string>& Args, const std::string& AppPath,
                    const std::string& ProgName)
{
    Options = ParseStarterCmdLine(Args);
    QvPath = FindMainProgram();
    Location = LocateSettingsFile(AppPath, ProgName, Options.IniOption);
    LoadStarterSettings(Location.IniName, Options.Groups.empty() ? std::string() : Options.Groups.front(),
                        Settings);
    const auto slash = Location.IniName.rfind('/');
    LogName = Location.IniName.substr(0, slash + 1) + ProgName + ".log";
    if (MailLogDir.empty())
        MailLogDir = Location.SettingsDir;
}

std::string TStarter::BuildStartCommand(int AIndex) const
{
    const TTaskProperties& g = *Settings.Groups.at(static_cast<size_t>(AIndex));
    bool withWait = false;
    std::string prompt = StatusPromptValue(g.Status, withWait);
    std::string s = QuoteBlank(QvPath) + CmdOption("startapp", "qvstarter") + CmdOption("prompt", prompt);
    if (!Location.AIniPath.empty())
        s += CmdOption("ini", Location.AIniPath);
    if (!g.AltLogDir.empty())
        s += CmdOption("logdir", g.AltLogDir);
    if (g.NoSplash)
        s += CmdSwitch("hide");
    if (!g.PlaySound)
        s += CmdSwitch("nosound");
    if (g.RunAs)
        s += CmdSwitch("elevate");
    if (withWait)
        s += CmdOptionInt("wait", g.Delay);
    s += CmdSwitch("force") + CmdSwitch("noaction");
    return s;
}

int TStarter::RunAsUserAndWait(const std::string& User, const std::string& Pwd, std::string& Msg,
                               const std::string& CmdLine)
{
    TProcessHandle process = -1;
    if (!StartParallelTask(User, Pwd, process, Msg, CmdLine))
        return srStartError;
    int r;
    while ((r = CheckParallelTask(process, Msg)) == srRunning)
        FHost.ProcessMessages();
    return r;
}

bool TStarter::StartParallelTask(const std::string& User, const std::string& Pwd, TProcessHandle& Process,
                                 std::string& Msg, const std::string& CmdLine)
{
    std::string domain, user;
    SplitAccount(User, domain, user);
    Msg.clear();
    try {
        Process = FProcesses.Start(user, domain, Pwd, CommandLineToArgv(CmdLine));
        return true;
    } catch (const EProcessError& e) {
        Process = -1;
        Msg = StartResultText(srStartError, e.what());
        return false;
    }
}

int TStarter::CheckParallelTask(TProcessHandle& Process, std::string& Msg)
{
    uint32_t r = FProcesses.Wait(Process, 100);
    if (r == WaitTimeoutResult)
        return srRunning;
    Process = -1;
    int code;
    if (r == 0)
        code = 0;
    else if (r & ApplicationExitFlag)
        code = static_cast<int>(r & 0xFF);
    else {
        Msg = StartResultText(srWaitError, SystemErrorText(r));
        return srWaitError;
    }
    Msg = StartResultText(code, std::string());
    return code;
}

void TStarter::Report(const TTaskProperties& Group, bool Interactive, int Code, const std::string& Text)
{
    if (!Interactive) {
        LogList.push_back("  *** " + Text);
        ++ErrCount;
    } else if (!(Code == 4 && Group.Status >= 2))
        FHost.ErrorBox(Text);
}

bool TStarter::RunGroup(int AIndex, bool Interactive)
{
    TTaskProperties& g = *Settings.Groups.at(static_cast<size_t>(AIndex));
    if (g.Tasks.empty()) {
        Report(g, Interactive, -1, _("No backup tasks specified!"));
        return true;
    }
    std::string pwd;
    if (!g.PwdPrompt && !g.Pwd.empty())
        pwd = g.Pwd;
    else if (!FHost.AskPassword(
                 Caption,
                 SafeFormat(_("Enter the password for user \"%s\"\r\nto start the the backups of "
                              "group \"%s\""),
                            {g.User, g.Desc}),
                 pwd))
        return false;
    const std::string cmd = BuildStartCommand(AIndex);
    const std::string taskLine = DetailIndent() + _("Backup task") + ": ";
    std::string msg;
    if (!g.ParProc) {
        std::string line = cmd;
        for (const auto& t : g.Tasks)
            if (t.Enabled) {
                line += " " + QuoteBlank(t.FileName);
                LogList.push_back(taskLine + t.FileName);
            }
        int r = RunAsUserAndWait(g.User, pwd, msg, line);
        if (r != 0)
            Report(g, Interactive, r, msg);
        return true;
    }
    for (size_t i = 0; i < g.Tasks.size(); ++i) {
        auto& t = g.Tasks[i];
        if (!t.Enabled)
            continue;
        LogList.push_back(taskLine + t.FileName);
        std::string line = cmd;
        if (g.StartDelay > 0 && i > 0)
            line += CmdOptionInt("delay", static_cast<int>(i) * g.StartDelay);
        line += CmdOptionInt("xinst", static_cast<int>(i) + 1) + " " + QuoteBlank(t.FileName);
        if (!StartParallelTask(g.User, pwd, t.Process, msg, line))
            Report(g, Interactive, srStartError, msg);
        FHost.ProcessMessages();
    }
    for (;;) {
        bool running = false;
        for (auto& t : g.Tasks) {
            if (!t.Enabled || t.Process < 0)
                continue;
            int r = CheckParallelTask(t.Process, msg);
            if (r == srRunning)
                running = true;
            else if (r > 0)
                Report(g, Interactive, r, msg + " - " + _("Backup task") + ": " + t.FileName);
        }
        FHost.ProcessMessages();
        if (!running)
            break;
    }
    return true;
}

// --- the unattended run

bool TStarter::CheckForce()
{
    if (QvPath.empty()) {
        FHost.ErrorBox(SafeFormat(_("\"%s\" not found on this system!"), {std::string("Vastrel")}));
        return Options.Force;
    }
    if (!Options.Force)
        return false;
    auto& c = Options;
    if (c.ActPrompt) {
        std::string names;
        for (size_t i = 0; i < c.Groups.size(); ++i)
            names += (i ? ", " : "") + c.Groups[i];
        bool term = false;
        int choice = FHost.AskEndAction(names, term);
        if (choice < 0)
            return true;
        c.TermProgs = term;
        switch (choice) {
        case 1:
            c.SuspendMode = smStandby;
            break;
        case 2:
            c.SuspendMode = smHibernate;
            break;
        case 3:
            c.LogOffMode = dmLogOff;
            break;
        case 4:
            c.LogOffMode = dmRestart;
            break;
        case 5:
            c.LogOffMode = dmShutdown;
            break;
        default:
            break;
        }
    }
    LogList.clear();
    LogList.push_back(ProgInternalName + GetBitnessText() + " (" + MakeVersionText(ProgVersion, 4) + ")");
    LogList.push_back("  ==> " + std::string(_("Start: ")) + DateTimeToStr(Now()));
    ErrCount = 0;
    if (c.TermProgs)
        LogList.push_back("  ==> " +
                          std::string(_("Terminating running programs is not available on this system.")));
    if (c.FLockScreen && FPower) {
        std::string err = FPower->LockSession();
        if (!err.empty())
            LogList.push_back("  ==> " + err);
    }
    std::string list = c.ConfigList;
    do {
        auto comma = list.find(',');
        std::string name = list.substr(0, comma);
        list = comma == std::string::npos ? std::string() : list.substr(comma + 1);
        int i = Settings.FindGroup(name);
        if (i < 0) {
            LogList.push_back("  *** " + std::string(_("Unknown group: ")) + name);
            ++ErrCount;
            continue;
        }
        const auto& g = *Settings.Groups[static_cast<size_t>(i)];
        LogList.push_back("  ->  " + std::string(_("Backup group: ")) + g.Desc + " - " + _("User name: ") +
                          g.User);
        if (!RunGroup(i, false)) {
            LogList.push_back("  *** " + std::string(_("Canceled by user")));
            break;
        }
    } while (!list.empty());
    LogList.push_back("  ==> " + std::string(_("End: ")) + DateTimeToStr(Now()));
    switch (c.LogOffMode) {
    case dmShutdown:
        LogList.push_back("  ==> " + std::string(_("The system will be shut down!")));
        break;
    case dmRestart:
        LogList.push_back("  ==> " + std::string(_("The system will be restarted!")));
        break;
    case dmLogOff:
        LogList.push_back("  ==> " + std::string(_("The user will be logged off!")));
        break;
    case dmNone:
        if (c.SuspendMode == smStandby)
            LogList.push_back("  ==> " + std::string(_("The system will enter the standby state!")));
        else if (c.SuspendMode == smHibernate)
            LogList.push_back("  ==> " + std::string(_("The system will enter the hibernate state!")));
        break;
    default:
        break;
    }
    if (c.WriteLog)
        WriteRunLog();
    if (Settings.MailData.Enabled && ErrCount > 0)
        SendErrorReport(Settings.MailData);
    if (c.LogOffMode != dmNone)
        ShutdownOrLogoff();
    else if (c.SuspendMode != smNone)
        SuspendComputer();
    return true;
}

void TStarter::WriteRunLog()
{
    for (int attempt = 0; attempt < 2; ++attempt) {
        std::ofstream out(LogName, std::ios::binary | std::ios::app);
        if (out) {
            for (const auto& line : LogList)
                out << line << "\r\n";
            out << "\r\n";
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2000));
    }
}

void TStarter::SendErrorReport(const starter::TMailData& MailData)
{
    TmMailer mailer(CertDir, "vastrelroot.pem", "vastrel.crt", "vastrel.key", "");
    mailer.SetContentType(ctUtf8);
    mailer.SetSubject(MailData.Subject.empty() ? _("QvStarter error report") : MailData.Subject);
    mailer.Recipients().SetEMailAddresses(MailData.Recipients);
    mailer.SetHost(MailData.SMTP);
    mailer.SetPort(MailData.Port);
    mailer.SetUserId(MailData.Username);
    mailer.SetPassword(MailData.Password);
    mailer.SetSecureTransfer(MailData.SecureMode);
    mailer.SetHeloName("Vastrel");
    if (MailData.WriteLog) {
        mailer.SetLogname(MailLogDir + "QvSmtp.log");
        mailer.SetWriteLogFile(true);
    }
    std::string address;
    if (MailData.Sender.find('@') != std::string::npos) {
        mailer.From().Name = "QvStarter";
        address = MailData.Sender;
    } else {
        mailer.From().Name = MailData.Sender;
        address = MailData.ReplyTo;
    }
    mailer.From().Address = address;
    mailer.ClearExtraHeaders();
    mailer.AddExtraHeader("User-Agent", ProgInternalName + " " + ProgVersion);
    mailer.AddExtraHeader("Sender", address);
    mailer.AddExtraHeader("Reply-To", MailData.ReplyTo);
    mailer.ClearBody();
    mailer.AddToBody(std::string(_("QvStarter error report")) + " - " +
                     FormatCount("", _("1 error"), _("%u errors"), ErrCount) + ":");
    mailer.AddToBody("");
    for (const auto& line : LogList)
        mailer.AddToBody(line);
    try {
        mailer.Send();
    } catch (const std::exception&) {
        // the run log holds the errors already
    }
    mailer.SetWriteLogFile(false);
}

void TStarter::ShutdownOrLogoff()
{
    if (!FPower)
        return;
    std::string err = FPower->EndSession(Options.LogOffMode);
    if (!err.empty())
        FHost.ErrorBox(SafeFormat(_("Error on shutting down or logging off!\r\n%s"), {err}));
}

void TStarter::SuspendComputer()
{
    if (!FPower)
        return;
    std::string err = FPower->Suspend(Options.SuspendMode == smHibernate);
    if (!err.empty())
        FHost.ErrorBox(SafeFormat(_("Error on suspending system!\r\n%s"), {err}));
}

std::string TaskLogName(const std::string& TaskFile, const std::string& QvPath, const std::string& LogDir)
{
    std::error_code ec;
    if (!std::filesystem::is_regular_file(TaskFile, ec))
        return std::string();
    auto ini = TUnicodeIniFile::CreateForRead(TaskFile);
    std::string l = ini.ReadString("Global", "LogName", "");
    if (l.empty())
        return std::filesystem::path(QvPath).replace_extension("log").string();
    const std::string taskName = std::filesystem::path(TaskFile).stem().string();
    // ASCII folding keeps the byte positions of the name
    auto asciiLower = [](std::string t) {
        for (char& c : t)
            if (c >= 'A' && c <= 'Z')
                c = static_cast<char>(c - 'A' + 'a');
        return t;
    };
    for (size_t pos = 0; (pos = asciiLower(l).find("%taskname%", pos)) != std::string::npos;) {
        l.replace(pos, 10, taskName);
        pos += taskName.size();
    }
    std::string dest = ini.ReadString("Global", "Destination", "");
    const bool onDest = asciiLower(l.substr(0, 6)) == "%dest%";
    if (onDest && IsVolumeAvailable(dest)) {
        const int counter = ini.ReadInteger("Global", "BackupCount", 1);
        const std::string volume = ini.ReadString("Dir000", "Volume", "");
        dest = ExpandNamePlaceholders(GetVolumePath(dest, false), volume, counter);
    }
    l = ExpandLogPlaceholders(l, dest);
    if (IsAbsolutePath(l) || asciiLower(l.substr(0, 6)) == "%dest%")
        return l;
    std::string dir = LogDir;
    if (dir.empty() || !std::filesystem::is_directory(dir, ec))
        dir = GetLogDir();
    if (!dir.empty() && dir.back() != '/')
        dir += '/';
    return dir + l;
}
