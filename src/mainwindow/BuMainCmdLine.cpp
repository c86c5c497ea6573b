#include "mainwindow/BuMainCmdLine.h"

#include <fstream>

#include "foundation/PathUtils.h"
#include "foundation/StringUtils.h"
#include "foundation/XlFileUtils.h"
#include "rtl/Gettext.h"
#include "rtl/SysUtils.h"

namespace {

// Keyword values: the index of the first keyword the value abbreviates, -1 when none.
int MatchValue(const std::string& value, std::initializer_list<const char*> keywords)
{
    int i = 0;
    for (const char* k : keywords) {
        if (MatchesKeyword(value, k))
            return i;
        ++i;
    }
    return -1;
}

int NumberValue(const std::string& value, int def)
{
    std::string s = value;
    return static_cast<int>(static_cast<uint32_t>(ReadNextInt(s, ' ', def)));
}

std::string PathValue(const std::string& value)
{
    return ExpandEnvVars(value);
}

void AddTask(std::string& tasks, const std::string& name)
{
    std::string item = name;
    if (item.find_first_of(" ,") != std::string::npos) {
        std::string quoted = "\"";
        for (char c : item) {
            if (c == '"')
                quoted += '"';
            quoted += c;
        }
        item = quoted + "\"";
    }
    if (!tasks.empty())
        tasks += ",";
    tasks += item;
}

std::vector<std::string> SplitItems(const std::string& text)
{
    std::vector<std::string> items;
    size_t start = 0;
    while (start <= text.size()) {
        size_t bar = text.find('|', start);
        if (bar == std::string::npos)
            bar = text.size();
        if (bar > start)
            items.push_back(text.substr(start, bar - start));
        start = bar + 1;
    }
    return items;
}

bool ReadDigits(std::string_view s, size_t pos, size_t count, int& value)
{
    if (pos + count > s.size())
        return false;
    value = 0;
    for (size_t i = pos; i < pos + count; ++i) {
        if (s[i] < '0' || s[i] > '9')
            return false;
        value = value * 10 + (s[i] - '0');
    }
    return true;
}

} // namespace

bool IsOptionArg(const std::string& arg)
{
    if (arg.empty())
        return false;
    if (arg[0] == '-')
        return true;
    if (arg[0] != '/')
        return false;
    std::string head =
        arg.substr(1, arg.find(':') == std::string::npos ? std::string::npos : arg.find(':') - 1);
    if (head.find('/') != std::string::npos)
        return false;
    return !XlFileExists(arg) && !XlDirectoryExists(arg);
}

std::string ReadArgListFile(const std::string& fileName, const std::string& programDir, bool& reportFlag,
                            const std::function<void(const std::string&)>& report)
{
    std::string name = fileName;
    if (!XlFileExists(name) && !IsAbsolutePath(name))
        name = AddPathDelimiter(programDir) + name;
    std::ifstream in(name, std::ios::binary);
    if (!in || !XlFileExists(name)) {
        if (reportFlag) {
            if (report)
                report("Vastrel\r\n" + _("File") + "\r\n\"" + name + "\"\r\n" + _("not found!"));
            reportFlag = false;
        }
        return std::string();
    }
    std::string result, line;
    bool first = true;
    while (std::getline(in, line)) {
        if (first && line.compare(0, 3, "\xEF\xBB\xBF") == 0)
            line.erase(0, 3);
        first = false;
        size_t semi = line.find(';');
        if (semi != std::string::npos)
            line.erase(semi);
        line = utf8::Trim(line);
        if (line.empty())
            continue;
        if (!result.empty())
            result += "|";
        result += line;
    }
    return result;
}

void ScanStartOption(const std::string& arg, uint8_t& flags, std::string& out)
{
    out = arg;
    if (!IsOptionArg(arg))
        return;
    std::string opt = arg.substr(1);
    for (const char* k : {"force", "clean", "restore", "verify", "showlog"}) {
        if (MatchesKeyword(opt, k)) {
            flags |= sfBatch;
            break;
        }
    }
    std::string v = opt;
    if (MatchesKeyword(opt, "auto"))
        flags |= sfAuto;
    else if (MatchesKeyword(opt, "edit"))
        flags |= sfEdit;
    else if ((v = opt, ReadKeywordValue(v, "ini")))
        flags |= sfOwnIni;
    else if (MatchesKeyword(opt, "portable"))
        flags |= sfOwnIni;
    else if ((v = opt, ReadKeywordValue(v, "end")))
        flags |= sfEndAction;
    else if ((v = opt, ReadKeywordValue(v, "directory")))
        flags |= sfBatch;
    else if (MatchesKeyword(opt, "elevate")) {
        flags |= sfElevate;
        out.clear();
    }
}

uint8_t GetStartFlags(const std::vector<std::string>& argv, const std::string& programDir, bool& reportFlag,
                      const std::function<void(const std::string&)>& report, std::string& args)
{
    uint8_t flags = 0;
    args.clear();
    std::string out;
    for (size_t i = 1; i < argv.size(); ++i) {
        const std::string& a = argv[i];
        if (!a.empty() && a[0] == '@') {
            for (const auto& item :
                 SplitItems(ReadArgListFile(a.substr(1), programDir, reportFlag, report))) {
                ScanStartOption(item, flags, out);
                args += " " + out;
            }
        } else {
            ScanStartOption(a, flags, out);
            args += " " + out;
        }
    }
    return flags;
}

std::string GetTaskFileArg(const std::vector<std::string>& argv)
{
    for (size_t i = 1; i < argv.size(); ++i) {
        const std::string& a = argv[i];
        if (!a.empty() && a[0] != '@' && !IsOptionArg(a))
            return a;
    }
    return std::string();
}

void ParseCmdOption(TCmdLineValues& c, const std::string& arg)
{
    if (arg.empty())
        return;
    if (!IsOptionArg(arg)) {
        AddTask(c.CmdTasks, arg);
        return;
    }
    const std::string opt = arg.substr(1);
    std::string v;
    auto valued = [&](const char* keyword) {
        v = opt;
        return ReadKeywordValue(v, keyword);
    };
    if (MatchesKeyword(opt, "portable")) {
        c.IsPortable = true;
        if (c.IniName.empty()) {
            c.IniName = "%progpath%/Vastrel.ini";
            c.DirName = "%progpath%/tasks";
            c.LDir = "%progpath%/logs";
        }
    } else if (valued("end")) {
        switch (MatchValue(v, {"shutdown", "lockdown", "logoff", "hybrid", "restart", "poweroff", "idleoff",
                               "standby", "hibernate"})) {
        case 0:
            c.LogOffMode = dmShutdown;
            break;
        case 1:
            c.LogOffMode = dmShutdown;
            c.LockDown = true;
            break;
        case 2:
            c.LogOffMode = dmLogOff;
            break;
        case 3:
            c.LogOffMode = dmHybrid;
            break;
        case 4:
            c.LogOffMode = dmRestart;
            break;
        case 5:
            c.LogOffMode = dmPowerOff;
            break;
        case 6:
            c.LogOffMode = dmIdleOff;
            break;
        case 7:
            c.SuspendMode = smStandby;
            break;
        case 8:
            c.SuspendMode = smHibernate;
            break;
        default:
            break;
        }
    } else if (valued("suspend")) {
        int m = MatchValue(v, {"standby", "hibernate"});
        if (m >= 0)
            c.SuspendMode = m == 0 ? smStandby : smHibernate;
    } else if (MatchesKeyword(opt, "sched")) {
        c.StartOrigin = 1;
    } else if (valued("startapp")) {
        int m = MatchValue(v, {"scheduler", "orvane", "qvstarter", "qvplaner", "qvmon"});
        if (m >= 0)
            c.StartOrigin = m + 1;
    } else if (valued("speed")) {
        int m = MatchValue(v, {"fast", "slow"});
        if (m >= 0)
            c.BuThPr = m == 0 ? tpHigher : tpLowest;
    } else if (valued("ini")) {
        c.IniName = PathValue(v);
    } else if (valued("zipname")) {
        c.AltZip = PathValue(v);
    } else if (valued("taskdir")) {
        c.DirName = PathValue(v);
    } else if (valued("backupdir")) {
        c.SubDir = PathValue(v);
    } else if (valued("directory")) {
        c.SDir = PathValue(v);
        c.ForceTask = true;
    } else if (valued("tempdir")) {
        c.TDir = PathValue(v);
    } else if (valued("delay")) {
        c.StartDelay = ParseDelayOption(v, [](int n) { return static_cast<int>(std::rand() % n); });
    } else if (valued("timeslot") || valued("gap")) {
        ParseTimeSlotOption(v, c.Tp);
    } else if (valued("status")) {
        int m = MatchValue(v, {"normal", "behind", "ontop"});
        if (m >= 0)
            c.StatusStyle = m == 0 ? ssNormal : m == 1 ? ssBehind : ssOnTop;
    } else if (valued("wait")) {
        c.Wt = NumberValue(v, 5);
    } else if (valued("xinst")) {
        c.QvInstance = NumberValue(v, 0);
    } else if (valued("mode")) {
        int m = MatchValue(v, {"full", "differential", "incremental"});
        if (m >= 0)
            c.BuM = m + 1;
    } else if (valued("lang")) {
        // read by the translation start-up
    } else if (valued("logmode")) {
        c.Pm = NumberValue(v, 0);
    } else if (valued("logdir")) {
        c.LDir = PathValue(v);
    } else if (MatchesKeyword(opt, "noaction")) {
        c.AllowAction = false;
    } else if (valued("erractions")) {
        c.NoActionOnError = static_cast<uint32_t>(NumberValue(v, 0));
    } else if (MatchesKeyword(opt, "edit")) {
        c.DoEdit = true;
    } else if (valued("prompt")) {
        int m = MatchValue(v, {"wait", "quiet", "error", "silent"});
        c.InterActiveMode = m == 0   ? iaPrompt
                            : m == 1 ? iaQuiet
                            : m == 2 ? iaErrorPrompt
                            : m == 3 ? iaQuietError
                                     : iaDelay;
    } else if (MatchesKeyword(opt, "quiet")) {
        c.InterActiveMode = iaQuiet;
    } else if (MatchesKeyword(opt, "hide")) {
        c.NoSplash = true;
    } else if (MatchesKeyword(opt, "nosound")) {
        c.SoundOn = false;
    } else if (MatchesKeyword(opt, "noupdate")) {
        c.UpdateCheck = false;
    } else if (MatchesKeyword(opt, "dark")) {
        c.UseDarkMode = true;
    } else if (MatchesKeyword(opt, "noscale")) {
        c.NoScale = true;
    } else if (MatchesKeyword(opt, "stay")) {
        c.StayRun = true;
    } else if (MatchesKeyword(opt, "disable")) {
        c.NoAutoMenu = true;
    } else if (MatchesKeyword(opt, "parallel")) {
        c.BuParallel = true;
    } else if (valued("user")) {
        size_t colon = v.find(':');
        c.User = v.substr(0, colon);
        c.Pwd = colon == std::string::npos ? std::string() : v.substr(colon + 1);
    } else if (MatchesKeyword(opt, "auto") || MatchesKeyword(opt, "showlog") ||
               MatchesKeyword(opt, "force") || MatchesKeyword(opt, "clean") ||
               MatchesKeyword(opt, "verify") || MatchesKeyword(opt, "restore")) {
        c.StartTask = MatchesKeyword(opt, "auto");
        c.ProtTask = MatchesKeyword(opt, "showlog");
        c.ForceTask = MatchesKeyword(opt, "force");
        c.CleanTask = MatchesKeyword(opt, "clean");
        c.VerifyTask = MatchesKeyword(opt, "verify");
        c.RestTask = MatchesKeyword(opt, "restore");
    } else if (valued("repldrive")) {
        c.ReplSDrv = v;
    } else if (MatchesKeyword(opt, "retain")) {
        c.DelTemp = false;
    } else if (MatchesKeyword(opt, "reset")) {
        c.ResetForm = true;
    }
}

void ParseCmdLine(TCmdLineValues& values, const std::vector<std::string>& argv, const std::string& programDir,
                  bool& reportFlag, const std::function<void(const std::string&)>& report)
{
    for (size_t i = 1; i < argv.size(); ++i) {
        const std::string& a = argv[i];
        if (!a.empty() && a[0] == '@') {
            for (const auto& item : SplitItems(ReadArgListFile(a.substr(1), programDir, reportFlag, report)))
                ParseCmdOption(values, item);
        } else {
            ParseCmdOption(values, a);
        }
    }
}

int ParseDelayOption(const std::string& value, const std::function<int(int)>& rnd)
{
    size_t i = 0;
    int64_t n = 0;
    while (i < value.size() && value[i] >= '0' && value[i] <= '9' && n < 100000000)
        n = n * 10 + (value[i++] - '0');
    std::string suffix = utf8::Upper(value.substr(i, 2));
    if (suffix.find('M') != std::string::npos)
        n *= 60;
    if (suffix.find('R') != std::string::npos)
        n = n <= 0 ? 1 : rnd(static_cast<int>(n)) + 1;
    return static_cast<int>(n);
}

bool ParseCmdDate(std::string& s, TDateTime& date)
{
    int y = 0, m = 0, d = 0;
    bool ok = ReadDigits(s, 0, 4, y) && ReadDigits(s, 4, 2, m) && ReadDigits(s, 6, 2, d) &&
              TryEncodeDate(y, m, d, date);
    s.erase(0, std::min<size_t>(8, s.size()));
    return ok;
}

void ParseTimeSlotOption(const std::string& value, TTimePeriod& p)
{
    p = TTimePeriod{tmOff, trModify, 1, 0.25, 0, 0};
    TDateTime today = Date();
    p.Dat1 = today - 1;
    p.Dat2 = today;
    if (value.empty())
        return;
    std::string s = value;
    char first = s[0] >= 'a' && s[0] <= 'z' ? static_cast<char>(s[0] - 32) : s[0];
    if (first == 'C' || first == 'B') {
        p.TmRef = first == 'C' ? trCreate : trBoth;
        if (s.size() == 1) {
            p.Mode = tmError;
            return;
        }
        s.erase(0, 1);
    }
    if (s[0] >= '0' && s[0] <= '9') {
        if (!ParseCmdDate(s, p.Dat1)) {
            p.Mode = tmError;
            return;
        }
        if (s.empty())
            p.Dat2 = p.Dat1;
        else {
            s.erase(0, 1);
            if (!ParseCmdDate(s, p.Dat2)) {
                p.Mode = tmError;
                return;
            }
        }
        p.Mode = tmSpan;
        return;
    }
    char c = s[0] >= 'a' && s[0] <= 'z' ? static_cast<char>(s[0] - 32) : s[0];
    s.erase(0, 1);
    auto number = [&](TTimeMode mode) {
        bool error = false;
        int64_t n = ReadNextIntErr(s, ' ', error, 0);
        if (error) {
            p.Mode = tmError;
            return;
        }
        p.Days = static_cast<int>(n);
        p.Mode = mode;
    };
    switch (c) {
    case '+':
        p.Mode = ParseCmdDate(s, p.Dat1) ? tmNewer : tmError;
        break;
    case '-':
        p.Mode = ParseCmdDate(s, p.Dat2) ? tmOlder : tmError;
        break;
    case 'D':
        number(tmLastDays);
        break;
    case 'O':
        number(tmPrevDays);
        break;
    case 'T':
        p.Mode = ParseCmdDate(s, p.Dat1) ? tmToday : tmError;
        break;
    case 'U':
        p.Mode = tmUpdate;
        break;
    default:
        p.Mode = tmPrompt;
        break;
    }
}
