#include "planer/QvPlanerMain.h"

#include <array>
#include <charconv>

#include "foundation/ExtSysUtils.h"
#include "foundation/IniFileUtils.h"
#include "foundation/PathUtils.h"
#include "foundation/PlaceHolders.h"
#include "foundation/StringUtils.h"
#include "foundation/XlFileUtils.h"
#include "platform/EventLog.h"
#include "platform/FileLock.h"
#include "rtl/Gettext.h"
#include "rtl/SysUtils.h"

namespace {

std::string ModeText(const std::string& mode)
{
    if (mode == "full")
        return _("Full");
    if (mode == "differential")
        return _("Differential");
    return _("Incremental");
}

// A value in double quotes when it holds a blank.
std::string QuotedWhenBlank(const std::string& text)
{
    return text.find(' ') == std::string::npos ? text : "\"" + text + "\"";
}

// The cycle number of a weekly folder: one digit below 10, else two.
std::string CycleText(int cycle)
{
    return std::to_string(cycle);
}

// A number of seconds, def when the text is none.
int ReadSeconds(const std::string& text, int def)
{
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size() && value >= 0 ? value : def;
}

} // namespace

std::string GetDayName(int day, bool longName)
{
    const auto& names = longName ? FormatSettings().LongDayNames : FormatSettings().ShortDayNames;
    return names[static_cast<size_t>(((day % 7) + 7) % 7)];
}

std::string WeekdayFolderAbbreviation(int day)
{
    static const std::array<const char*, 7> names = {"Mo", "Tu", "We", "Th", "Fr", "Sa", "Su"};
    return names[static_cast<size_t>((day - 1 + 7) % 7)];
}

THauptForm::THauptForm(IPlanerHost& host) : FHost(host) {}

std::string THauptForm::MainProgramName() const
{
    return QvPath.empty() ? std::string("Vastrel") : QvPath.substr(QvPath.rfind('/') + 1);
}

void THauptForm::ReadCommandLine(const std::vector<std::string>& args)
{
    for (const std::string& arg : args) {
        if (arg.empty())
            continue;
        if (arg[0] != '/' && arg[0] != '-') {
            SchedName = arg;
            continue;
        }
        const std::string opt = arg.substr(1);
        std::string value = opt;
        if (ReadKeywordValue(value, "ini")) {
            IniName = MakeFileName(AppPath, ExpandPathPlaceholders(value), "ini");
            UseAltIni = true;
        } else if ((value = opt, ReadKeywordValue(value, "delay"))) {
            Wait = ReadSeconds(value, 5);
        } else if (MatchesKeyword(opt, "interactive")) {
            IntAct = true;
        } else if (MatchesKeyword(opt, "dark")) {
            UseDarkMode = true;
        } else {
            OtherOptions += " " + arg;
        }
    }
}

void THauptForm::Init(const std::vector<std::string>& args)
{
    JobDir = UserPath + "Vastrel/";
    Config.JobDir = JobDir;
    IniName = AppPath + ProgName + ".ini";
    SchedName.clear();
    OtherOptions.clear();
    Wait = 5;
    ReadCommandLine(args);
    LoadSettings();
    DefOptions = " /hide /logmode:1";
    if (UseAltIni)
        DefOptions += " " + QuotedWhenBlank("/ini:" + IniName);
}

void THauptForm::LoadSettings()
{
    TMemIniFile ini(IniName);
    Schedules = LoadSchedules(ini, Config);
    JobDir = Config.JobDir;
}

void THauptForm::SaveSettings()
{
    Config.JobDir = JobDir;
    try {
        ::SaveSchedules(IniName, Schedules, Config, ProgName, ProgVersion);
    } catch (const Exception& e) {
        FHost.ErrorBox(e.Message());
    }
}

int THauptForm::ValidateSchedule(int index, const TSchedTask& candidate)
{
    const TScheduleCheck check = ::ValidateSchedule(Schedules, index, candidate);
    if (check.Result != 0)
        FHost.ErrorBox(check.Message);
    return check.Result;
}

bool THauptForm::CheckSchedule()
{
    bool result = false;
    if (QvPath.empty()) {
        if (IsBatch)
            FHost.ReportEvent(evPlanerNoMainProgram, EVENTLOG_ERROR_TYPE, {});
        else
            FHost.ErrorBox(SafeFormat(_("\"%s\" not found on this system!"), {std::string("Vastrel")}));
        result = true;
    }
    const bool iniExists = XlFileExists(IniName);
    if (!IsBatch && !iniExists)
        FHost.ErrorBox("Vastrel\r\n" + SafeFormat(_("File\r\n\"%s\"\r\nnot found!"), {IniName}));
    if (!iniExists || SchedName.empty()) {
        if (IsBatch)
            FHost.ReportEvent(evPlanerNoSchedule, EVENTLOG_ERROR_TYPE, {SchedName, IniName});
        return IsBatch;
    }
    // One run of a schedule at a time: a second planner waits here, then reads the state the first
    // one stored, so a day's step is never taken twice.
    uint32_t lockCode = 0;
    const int lock = WaitForFileLock(IniName + ".lock", lockCode);
    LoadSettings();
    const int index = FindSchedule(SchedName);
    if (index >= 0) {
        if (OtherOptions.empty())
            OtherOptions = DefOptions;
        RunSchedule(index, OtherOptions);
        result = true;
    } else {
        result = IsBatch;
        if (IsBatch)
            FHost.ReportEvent(evPlanerNoSchedule, EVENTLOG_ERROR_TYPE, {SchedName, IniName});
        else
            FHost.ErrorBox(SafeFormat(_("Schedule \"%s\" not found!"), {SchedName}));
    }
    if (lock >= 0)
        ReleaseLockedFile(lock);
    return result;
}

void THauptForm::ReportStart(const TSchedTask& s, uint32_t result, const std::string& modeText, int step)
{
    const std::string stepText = std::to_string(step);
    if (result == 0) {
        if (Quiet(s))
            FHost.ReportEvent(evPlanerStarted, EVENTLOG_INFORMATION_TYPE,
                              {s.SName, s.Task, modeText, stepText});
        else
            FHost.InfoBox(
                SafeFormat(_("Backup started for schedule: %s\r\nBackup task: %s\r\nMode: %s / Step: %s"),
                           {s.SName, s.Task, modeText, stepText}),
                Wait);
    } else if ((result & RunExitCodeFlag) != 0) {
        const unsigned code = result & 0xFF;
        if (Quiet(s))
            FHost.ReportEvent(evPlanerStartFailed, EVENTLOG_INFORMATION_TYPE,
                              {"ExitCode = " + std::to_string(code), s.SName, s.Task});
        else
            FHost.ErrorBox(SafeFormat(_("\"%s\" returned exit code: %u\r\nSchedule: %s\r\nBackup task: %s"),
                                      {MainProgramName(), code, s.SName, s.Task}));
    } else {
        const std::string error = SystemErrorMessage(result);
        if (Quiet(s))
            FHost.ReportEvent(evPlanerStartFailed, EVENTLOG_ERROR_TYPE, {error, s.SName, s.Task});
        else
            FHost.ErrorBox(SafeFormat(_("Error %s on starting \"%s\"!\r\nSchedule: %s\r\nBackup task: %s"),
                                      {error, MainProgramName(), s.SName, s.Task}));
    }
}

TScheduleRunInfo THauptForm::RunSchedule(int index, const std::string& options)
{
    TScheduleRunInfo info;
    TSchedTask& s = Schedules[static_cast<size_t>(index)];
    const TDateTime today = Date();
    const int todayNumber = static_cast<int>(today);
    const int wd = DayOfTheWeek(today);
    const int total = s.Cycles * s.Steps;

    // 1. Already done today.
    int state = 0;
    if (s.LastDay == todayNumber) {
        state = -1;
        const std::string text = SafeFormat(
            _("Backup already done for this day!\r\nSchedule: %s\r\nBackup task: %s"), {s.SName, s.Task});
        if (Quiet(s))
            FHost.ReportEvent(evPlanerAlreadyDone, EVENTLOG_INFORMATION_TYPE, {s.SName, s.Task});
        else if (IntAct) {
            if (FHost.Confirm(text + "\r\n" + _("Run again?")))
                state = 1;
        } else
            FHost.InfoBox(text, Wait);
        if (state < 0)
            return info;
    }
    // 2. First start: a weekly schedule waits for its full-backup day.
    if (s.NextCyc == 0) {
        if (s.Steps != 7 || wd == s.FirstDay)
            s.NextCyc = 1;
        state = 0;
    }
    // 3. Not started yet.
    if (s.NextCyc < 1) {
        if (Quiet(s))
            FHost.ReportEvent(evPlanerWaitsForFullDay, EVENTLOG_INFORMATION_TYPE,
                              {GetDayName(s.FirstDay, true), s.SName, s.Task});
        else
            FHost.InfoBox(
                SafeFormat(_("First full backup on next \"%s\"!\r\nSchedule: %s\r\nBackup task: %s"),
                           {GetDayName(s.FirstDay, true), s.SName, s.Task}),
                Wait);
        return info;
    }
    // 4. Run again: the step of the previous run once more.
    if (state == 1)
        s.NextCyc = s.NextCyc > 1 ? s.NextCyc - 1 : total;

    // 5. Mode and folder of today's step.
    const int n = s.NextCyc;
    std::string letter;
    if (s.Steps == 7) {
        const int cycle = (n - 1) / 7 + 1;
        info.Folder = "Bu" + WeekdayFolderAbbreviation(wd) + CycleText(cycle);
        const int lastCycle = s.LastFull >= 1 ? (s.LastFull - 1) / 7 + 1 : cycle;
        // No full backup in this cycle yet: one is made first, unless today's step is the full one.
        if (lastCycle != cycle && wd != s.FirstDay) {
            s.LastFull = (n - 1) / 7 * 7 + 1;
            info.CatchUp = true;
            info.CatchUpParams = QuotedWhenBlank(s.Task) + " /startapp:qvplaner /mode:full /backupdir:Bu" +
                                 WeekdayFolderAbbreviation(s.FirstDay) + CycleText(cycle) + "F /force" +
                                 options;
            ReportStart(s, FHost.RunMainProgram(QvPath, info.CatchUpParams, true), ModeText("full"), n);
        }
        if (wd == s.FirstDay) {
            info.Mode = "full";
            letter = "F";
            s.LastFull = n;
        } else {
            info.Mode = s.Diff ? "differential" : "incremental";
            letter = s.Diff ? "D" : "I";
        }
    } else {
        info.Folder = Format(total < 100 ? "Bu%.2d" : "Bu%.3d", {n});
        if ((n - 1) % s.Steps == 0) {
            info.Mode = "full";
            letter = "F";
        } else {
            info.Mode = s.Diff ? "differential" : "incremental";
            letter = s.Diff ? "D" : "I";
        }
    }
    info.Folder += letter;

    // 6. Advance.
    s.NextCyc = n + 1 > total ? 1 : n + 1;

    // 7./8. The day's run.
    info.Params = QuotedWhenBlank(s.Task) + " /startapp:qvplaner /mode:" + info.Mode +
                  " /backupdir:" + info.Folder + " /force" + options;
    const uint32_t result = FHost.RunMainProgram(QvPath, info.Params, false);
    ReportStart(s, result, ModeText(info.Mode), s.NextCyc);
    if (result != 0)
        return info;
    info.Started = true;

    // 9. Store the new state.
    s.LastDay = todayNumber;
    try {
        SaveScheduleState(IniName, index, s);
    } catch (const Exception& e) {
        FHost.ErrorBox(e.Message());
    }
    return info;
}
