#include "planer/PlanerSchedules.h"

#include <algorithm>

#include "foundation/IniFileUtils.h"
#include "foundation/StringUtils.h"
#include "foundation/XlFileUtils.h"
#include "rtl/Gettext.h"
#include "rtl/SysUtils.h"

namespace {

constexpr int MaxSteps = 999;
constexpr int MaxWeeklySteps = 693;

} // namespace

std::string ScheduleSection(int index)
{
    return Format("Sched%.2d", {index});
}

TSchedules LoadSchedules(const TMemIniFile& ini, TPlanerConfig& config)
{
    config.Top = ini.ReadInteger("Config", "Top", config.Top);
    config.Left = ini.ReadInteger("Config", "Left", config.Left);
    config.JobDir = ini.ReadString("Config", "JobDir", config.JobDir);
    const int count = std::clamp(ini.ReadInteger("Config", "Count", 0), 0, MaxStoredSchedules);
    TSchedules schedules;
    for (int i = 0; i < count; ++i) {
        const std::string section = ScheduleSection(i);
        TSchedTask s;
        s.SName = ini.ReadString(section, "Name", section);
        s.Task = ini.ReadString(section, "Task", "");
        s.Cycles = std::clamp(ini.ReadInteger(section, "Cycles", 2), 1, 499);
        s.Steps = std::clamp(ini.ReadInteger(section, "Steps", 7), 2, MaxSteps);
        s.FirstDay = s.Steps == 7 ? std::clamp(ini.ReadInteger(section, "FirstDay", 1), 1, 7) : 0;
        s.Diff = ini.ReadBool(section, "Differential", true);
        s.NextCyc = std::clamp(ini.ReadInteger(section, "NextCycle", 0), 0, s.Cycles * s.Steps);
        s.LastFull = std::clamp(ini.ReadInteger(section, "LastFull", 0), 0, s.Cycles * s.Steps);
        s.LastDay = std::max(ini.ReadInteger(section, "LastDay", 0), 0);
        s.Silent = ini.ReadBool(section, "Silent", false);
        schedules.push_back(std::move(s));
    }
    return schedules;
}

void SaveSchedules(const std::string& fileName, const TSchedules& schedules, const TPlanerConfig& config,
                   const std::string& progName, const std::string& version)
{
    auto ini = TUnicodeIniFile::CreateForWrite(fileName, true);
    ini.WriteProgramInfo("Program", progName);
    ini.WriteProgramInfo("Version", version);
    ini.WriteInteger("Config", "Top", config.Top);
    ini.WriteInteger("Config", "Left", config.Left);
    ini.WriteString("Config", "JobDir", config.JobDir);
    const int count = std::min(static_cast<int>(schedules.size()), MaxStoredSchedules);
    ini.WriteInteger("Config", "Count", count);
    for (int i = 0; i < count; ++i) {
        const TSchedTask& s = schedules[static_cast<size_t>(i)];
        const std::string section = ScheduleSection(i);
        ini.WriteString(section, "Name", s.SName);
        ini.WriteString(section, "Task", s.Task);
        ini.WriteInteger(section, "Cycles", s.Cycles);
        ini.WriteInteger(section, "Steps", s.Steps);
        ini.WriteInteger(section, "FirstDay", s.FirstDay);
        ini.WriteBool(section, "Differential", s.Diff);
        ini.WriteInteger(section, "NextCycle", s.NextCyc);
        ini.WriteInteger(section, "LastFull", s.LastFull);
        ini.WriteInteger(section, "LastDay", s.LastDay);
        ini.WriteBool(section, "Silent", s.Silent);
    }
    ini.UpdateFile();
}

void SaveScheduleState(const std::string& fileName, int index, const TSchedTask& schedule)
{
    auto ini = TUnicodeIniFile::CreateForWrite(fileName, false);
    const std::string section = ScheduleSection(index);
    ini.WriteInteger(section, "NextCycle", schedule.NextCyc);
    ini.WriteInteger(section, "LastFull", schedule.LastFull);
    ini.WriteInteger(section, "LastDay", schedule.LastDay);
    ini.UpdateFile();
}

int FindSchedule(const TSchedules& schedules, const std::string& name)
{
    for (size_t i = 0; i < schedules.size(); ++i)
        if (utf8::SameText(schedules[i].SName, name))
            return static_cast<int>(i);
    return -1;
}

TScheduleCheck ValidateSchedule(const TSchedules& schedules, int index, const TSchedTask& candidate)
{
    TScheduleCheck check;
    const int found = FindSchedule(schedules, candidate.SName);
    if (candidate.SName.empty()) {
        check.Result = 1;
        check.Message = _("Please specify a name for this schedule!");
    } else if (found >= 0 && found != index) {
        check.Result = 1;
        check.Message = _("Please select a unique name for this schedule!");
    } else if (candidate.Task.empty() || !XlFileExists(candidate.Task)) {
        check.Result = 2;
        check.Message = _("Please select a valid backup task!");
    } else {
        const int total = candidate.Steps * candidate.Cycles;
        int maximum = 0;
        if (candidate.Steps != 7 && total > MaxSteps) {
            check.Result = 4;
            maximum = MaxSteps;
        } else if (candidate.Steps == 7 && total > MaxWeeklySteps) {
            check.Result = 3;
            maximum = MaxWeeklySteps;
        }
        if (check.Result != 0)
            check.Message = SafeFormat(_("The total number of steps exceeds the maximum of %u!"), {maximum});
    }
    return check;
}
