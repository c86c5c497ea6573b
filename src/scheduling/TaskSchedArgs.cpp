#include "scheduling/TaskSchedArgs.h"

#include <unistd.h>

#include "foundation/PathUtils.h"
#include "foundation/QvUtilsTexts.h"
#include "foundation/StringUtils.h"
#include "rtl/Gettext.h"

namespace {

const TQvActionInfo Infos[] = {
    {N_("Backup"), "Backup-", "Backup", ".buj", N_("Tasks (%s):"), true, true, true},
    {N_("Restore"), "Restore-", "Restore", ".rsj", N_("Tasks (%s):"), true, true, false},
    {N_("Cleanup"), "Cleanup-", "Cleanup", ".cuj", N_("Tasks (%s):"), true, true, false},
    {N_("Alternating schedule"), "Schedule-", "Schedule", "", N_("Name of alternating schedule:"), true,
     false, false},
    {N_("Verify"), "Verify-", "Verify", ".vfj", N_("Tasks (%s):"), true, true, false},
    {N_("Start backups"), "Starter-", "Starter", "", "", false, false, false},
    {N_("Orvane mail backup"), "Orvane-", "Or-Backup", ".buj", N_("Thunderbird mail profile:"), false, false,
     false},
};

int ReadNumber(const std::string& s, int fallback)
{
    if (s.empty())
        return fallback;
    try {
        size_t used = 0;
        int v = std::stoi(s, &used);
        return used == s.size() ? v : fallback;
    } catch (...) {
        return fallback;
    }
}

// An argument that begins with "/" is an option only when what comes before its first ":" holds no
// further "/" and names no existing file: "/home/a/b.buj" is a task file, "/ini:/x/y.ini" an option.
bool IsOption(const std::string& a)
{
    if (a.empty())
        return false;
    if (a[0] == '-')
        return true;
    if (a[0] != '/')
        return false;
    std::string head = a.substr(0, a.find(':'));
    return head.find('/', 1) == std::string::npos && access(a.c_str(), F_OK) != 0;
}

void ParseArgument(const std::string& A, const std::string& folder, TSchedOptions& o, TQvAction& kind)
{
    if (A.empty())
        return;
    if (!IsOption(A)) {
        std::string item = QuoteIfContains(MakeRelativePath(folder, A), " ,");
        o.Tasks += o.Tasks.empty() ? item : "," + item;
        return;
    }
    const std::string V0 = A.substr(1);
    std::string V = V0;
    if (ReadKeywordValue(V, "end")) {
        if (MatchesKeyword(V, "logoff"))
            o.EndAction = 3;
        else if (MatchesKeyword(V, "restart"))
            o.EndAction = 5;
        else if (MatchesKeyword(V, "poweroff") || MatchesKeyword(V, "shutdown"))
            o.EndAction = 4;
    } else if (ReadKeywordValue(V, "suspend")) {
        if (MatchesKeyword(V, "standby"))
            o.EndAction = 1;
        else if (MatchesKeyword(V, "hibernate"))
            o.EndAction = 2;
    } else if (ReadKeywordValue(V, "erractions")) {
        o.ErrActions = ReadNumber(V, 0);
    } else if (ReadKeywordValue(V, "speed")) {
        if (MatchesKeyword(V, "fast"))
            o.Priority = 2;
        else if (MatchesKeyword(V, "slow"))
            o.Priority = 1;
    } else if (ReadKeywordValue(V, "ini")) {
        o.IniFile = V;
    } else if (ReadKeywordValue(V, "wait")) {
        o.Wait = ReadNumber(V, 5);
    } else if (ReadKeywordValue(V, "logmode")) {
        o.LogMode = ReadNumber(V, 0);
    } else if (ReadKeywordValue(V, "prompt")) {
        if (MatchesKeyword(V, "wait"))
            o.Prompt = 0;
        else if (MatchesKeyword(V, "delay"))
            o.Prompt = 1;
        else if (MatchesKeyword(V, "error"))
            o.Prompt = 3;
        else if (MatchesKeyword(V, "quiet"))
            o.Prompt = 2;
        else if (MatchesKeyword(V, "silent"))
            o.Prompt = 4;
    } else if (MatchesKeyword(V, "quiet")) {
        o.Prompt = 2;
    } else if (MatchesKeyword(V, "hide")) {
        o.Hide = true;
    } else if (MatchesKeyword(V, "parallel")) {
        o.Parallel = true;
    } else if (MatchesKeyword(V, "force")) {
        kind = paBackup;
    } else if (MatchesKeyword(V, "clean")) {
        kind = paCleanup;
    } else if (MatchesKeyword(V, "restore")) {
        kind = paRestore;
    } else if (MatchesKeyword(V, "verify")) {
        kind = paVerify;
    } else if (MatchesKeyword(V, "mode") || ReadKeywordValue(V, "mode")) {
        kind = paSchedule;
    } else if (MatchesKeyword(V, "sched") || ReadKeywordValue(V, "startapp")) {
        // written again from the kind
    } else {
        o.UserOptions += " /" + V0;
    }
}

} // namespace

const TQvActionInfo& QvActionInfo(TQvAction kind)
{
    return Infos[kind];
}

const char* QvActionProgram(TQvAction kind)
{
    switch (kind) {
    case paSchedule:
        return "QvPlaner";
    case paStarter:
        return "QvStarter";
    case paOrvane:
        return "Orvane";
    default:
        return "Vastrel";
    }
}

std::string BuildOptions(TQvAction kind, const TSchedOptions& o, bool WithIni)
{
    std::string s;
    switch (kind) {
    case paBackup:
    case paOrvane:
        s = CmdSwitch("force") + CmdOption("startapp", "scheduler");
        break;
    case paRestore:
        s = CmdSwitch("restore");
        break;
    case paCleanup:
        s = CmdSwitch("clean");
        break;
    case paVerify:
        s = CmdSwitch("verify");
        break;
    default:
        s = " ";
        break;
    }
    if (o.Hide)
        s += CmdSwitch("hide");
    if (o.Parallel)
        s += CmdSwitch("parallel");
    static const char* const prompts[] = {"wait", "delay", "quiet", "error", "silent"};
    s += CmdOption("prompt", prompts[o.Prompt >= 0 && o.Prompt <= 4 ? o.Prompt : 1]);
    if (PromptHasWait(o.Prompt))
        s += CmdOptionInt("wait", o.Wait);
    if (o.ErrActions > 0)
        s += CmdOptionInt("erractions", o.ErrActions);
    if (o.Priority == 1)
        s += CmdOption("speed", "slow");
    else if (o.Priority == 2)
        s += CmdOption("speed", "fast");
    if (WithIni && !o.IniFile.empty())
        s += CmdOption("ini", o.IniFile);
    if (o.LogMode >= 1 && o.LogMode <= 3)
        s += CmdOptionInt("logmode", o.LogMode);
    static const char* const ends[] = {
        "", "/suspend:standby", "/suspend:hibernate", "/end:logoff", "/end:shutdown", "/end:restart"};
    if (o.EndAction >= 1 && o.EndAction <= 5)
        s += std::string(" ") + ends[o.EndAction];
    return s;
}

std::string BuildArguments(TQvAction kind, const TSchedOptions& o, const std::string& taskFolder)
{
    std::string s;
    std::string list = o.Tasks;
    if (kind == paSchedule) {
        s = GetFirstItem(list, ',');
    } else {
        while (!utf8::Trim(list).empty()) {
            std::string item = ReadNextQuotedItem(list, ',', '"');
            if (item.empty())
                continue;
            s += QuoteIfContains(MakeAbsolutePath(taskFolder, item), " ,") + " ";
        }
    }
    s += BuildOptions(kind, o, true);
    if (!o.UserOptions.empty())
        s += " " + o.UserOptions;
    return s;
}

void ParseArguments(const std::string& args, const std::string& taskFolder, TSchedOptions& o, TQvAction& kind)
{
    o.Tasks.clear();
    o.UserOptions.clear();
    std::string rest = args;
    while (!utf8::Trim(rest).empty())
        ParseArgument(ReadNextQuotedItem(rest, ' ', '"'), taskFolder, o, kind);
    o.UserOptions = std::string(utf8::Trim(o.UserOptions));
}
