#include "starter/StarterShortcut.h"

#include "foundation/StringUtils.h"
#include "rtl/SysUtils.h"

namespace {

std::string Quoted(const std::string& s)
{
    return s.find(' ') == std::string::npos ? s : "\"" + s + "\"";
}

int ToInt(const std::string& s, int Default)
{
    try {
        size_t used = 0;
        const int v = std::stoi(s, &used);
        return used == s.size() ? v : Default;
    } catch (const std::exception&) {
        return Default;
    }
}

} // namespace

TShortcutChoices ReadShortcutCommandLine(const std::string& CmdLine, bool ShowLock)
{
    TShortcutChoices c;
    std::string rest = CmdLine;
    while (!rest.empty()) {
        const std::string item = ReadNextQuotedItem(rest, ' ', '"');
        if (item.empty())
            continue;
        if (item[0] != '/' && item[0] != '-') {
            c.Groups.push_back(item);
            continue;
        }
        const std::string opt = item.substr(1);
        std::string v = opt;
        if (MatchesKeyword(opt, "prompt"))
            c.Action = saPrompt;
        else if ((v = opt, ReadKeywordValue(v, "suspend"))) {
            if (MatchesKeyword(v, "standby"))
                c.Action = saStandbyAction;
            else if (MatchesKeyword(v, "hibernate"))
                c.Action = saHibernateAction;
        } else if ((v = opt, ReadKeywordValue(v, "end"))) {
            if (MatchesKeyword(v, "logoff"))
                c.Action = saLogoffAction;
            else if (MatchesKeyword(v, "restart"))
                c.Action = saRestartAction;
            else if (MatchesKeyword(v, "poweroff") || MatchesKeyword(v, "shutdown"))
                c.Action = saShutdownAction;
        } else if ((v = opt, ReadKeywordValue(v, "erractions")))
            c.ActErr = ToInt(v, 0);
        else if (MatchesKeyword(opt, "term"))
            c.Terminate = true;
        else if (MatchesKeyword(opt, "lockscreen"))
            c.LockScreen = ShowLock;
        else if ((v = opt, ReadKeywordValue(v, "ini")))
            c.IniPath = v;
        else if ((v = opt, ReadKeywordValue(v, "logmode")))
            c.WriteLog = ToInt(v, 1) != 0;
    }
    return c;
}

std::string BuildShortcutCommandLine(const std::vector<std::string>& Groups, const TShortcutChoices& Choices)
{
    std::string s;
    for (const std::string& g : Groups)
        s += Quoted(g) + " ";
    s += "/force";
    if (!Choices.IniPath.empty())
        s += " " + Quoted("/ini:" + Choices.IniPath);
    if (Choices.WriteLog)
        s += " /logmode:1";
    if (Choices.LockScreen)
        s += " /lockscreen";
    static const char* const actions[] = {"",
                                          " /prompt",
                                          " /suspend:standby",
                                          " /suspend:hibernate",
                                          " /end:logoff",
                                          " /end:shutdown",
                                          " /end:restart"};
    if (Choices.Action > saNoAction && Choices.Action <= saRestartAction)
        s += actions[Choices.Action];
    if (Choices.Action >= saLogoffAction && Choices.Terminate)
        s += " /term";
    if (Choices.ActErr > 0)
        s += " /erractions:" + std::to_string(Choices.ActErr);
    return s;
}
