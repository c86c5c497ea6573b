#include "foundation/QvUtilsAutoTask.h"

#include <cmath>

#include "foundation/IniFileUtils.h"
#include "foundation/QvUtilsTexts.h"
#include "rtl/Clock.h"
#include "rtl/Gettext.h"
#include "rtl/SysUtils.h"

namespace {

std::string NameWithoutExtension(const std::string& path)
{
    size_t slash = path.rfind('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    size_t dot = name.rfind('.');
    return (dot == std::string::npos || dot == 0) ? name : name.substr(0, dot);
}

// The integer before the first ";" (trimmed); 0 when it is missing or no number.
int64_t LeadingNumber(const std::string& value)
{
    std::string s = value.substr(0, value.find(';'));
    size_t a = s.find_first_not_of(" \t");
    size_t b = s.find_last_not_of(" \t");
    if (a == std::string::npos)
        return 0;
    s = s.substr(a, b - a + 1);
    size_t i = (s[0] == '-' || s[0] == '+') ? 1 : 0;
    if (i >= s.size() || s.size() > 18)
        return 0;
    for (size_t k = i; k < s.size(); ++k)
        if (s[k] < '0' || s[k] > '9')
            return 0;
    return std::stoll(s);
}

int DayNumber(TDateTime dt)
{
    return static_cast<int>(std::floor(dt)) + DayNumberOfDateDelta;
}

int64_t MilliSecondsOfDay(TDateTime dt)
{
    int h, n, s, ms;
    DecodeTime(dt, h, n, s, ms);
    return ((h * 60LL + n) * 60 + s) * 1000 + ms;
}

TDateTime FromDayAndMs(int64_t day, int64_t ms)
{
    return static_cast<double>(day - DayNumberOfDateDelta) + static_cast<double>(ms) / MSecsPerDay;
}

TDateTime Today()
{
    return std::floor(Clock::Current().NowLocal());
}

} // namespace

TAutoTask::TAutoTask(const std::string& AName) : TaskName(NameWithoutExtension(AName)), TaskPath(AName)
{
    Reset();
}

void TAutoTask::Reset()
{
    BuProcess = asNone;
    ThPr = 3;
    AutoEnd = iaDelay;
    ErrStatus = 0;
    SchedProps = TSchedule{};
    SchedProps.StepMode = 0;
    SchedProps.LastZyk = 1000;
    SchedProps.AktZyk = 1;
    SchedProps.WeekZyk = 0;
    SchedProps.NumZyk = 1;
    SchedProps.FullZyk = 0;
    SchedProps.SchedMode = smNormal;
    WeekDay = 127;
    RunIfMissed = true;
    LastTime = 0;
    NextTime = 1.0 / 3;
}

void TAutoTask::LoadFromIni(const TUnicodeIniFile& IniFile, const std::string& Sekt)
{
    std::string caption = IniFile.ReadString(Sekt, "Caption", "");
    if (!caption.empty())
        TaskName = caption;
    BuProcess = static_cast<TAutoStart>(IniFile.ReadInteger(Sekt, "Mode", 0));
    AutoEnd = static_cast<TInteraction>(IniFile.ReadInteger(Sekt, "AutoEnd", 1));
    ThPr = IniFile.ReadInteger(Sekt, "Priority", 3);
    ErrStatus = IniFile.ReadInteger(Sekt, "ErrorStatus", 0);

    int weekDay = IniFile.ReadInteger(Sekt, "WeekDay", 127);
    RunIfMissed = (weekDay & 0x100) != 0;
    if (!(weekDay & 0x200) && BuProcess == asDailyAt)
        WeekDay = 127; // written before the day selection existed: every day
    else
        WeekDay = static_cast<uint32_t>(weekDay) & 0xFF;

    TDateTime today = Today();
    int64_t lastDay = LeadingNumber(IniFile.ReadString(Sekt, "LastDate", ""));
    int64_t lastMs = LeadingNumber(IniFile.ReadString(Sekt, "LastTime", ""));
    LastTime = lastDay > 693595 ? FromDayAndMs(lastDay, lastMs) : 0;
    if (LastTime > today + 1)
        LastTime = 0;

    std::string backupDate = IniFile.ReadString(Sekt, "BackupDate", "");
    int64_t nextDay = backupDate.empty() ? DayNumber(today) : LeadingNumber(backupDate);
    std::string backupTime = IniFile.ReadString(Sekt, "BackupTime", "");
    int64_t nextMs = backupTime.empty() ? 28800000 : LeadingNumber(backupTime);
    NextTime =
        nextDay > 693595 ? FromDayAndMs(nextDay, nextMs) : today + static_cast<double>(nextMs) / MSecsPerDay;

    SchedProps.StepMode = IniFile.ReadInteger(Sekt, "StepMode", 0);
    SchedProps.NumZyk = IniFile.ReadInteger(Sekt, "Cycles", 1);
    if (SchedProps.StepMode != 1)
        SchedProps.NumZyk %= 1000;
    if (SchedProps.NumZyk > 1000) {
        SchedProps.FullZyk = SchedProps.NumZyk / 1000;
        SchedProps.NumZyk %= 1000;
    } else {
        SchedProps.FullZyk = 0;
    }
    SchedProps.AktZyk = IniFile.ReadInteger(Sekt, "ActCycle", 1);
    if (SchedProps.AktZyk > 1000) {
        SchedProps.WeekZyk = SchedProps.AktZyk / 1000;
        SchedProps.AktZyk %= 1000;
    } else {
        SchedProps.WeekZyk = 0;
    }
    SchedProps.SchedMode = static_cast<TSchedMode>(IniFile.ReadInteger(Sekt, "SchedMode", 0));
    SchedProps.LastZyk = IniFile.ReadInteger(Sekt, "LastCycle", 1000);
}

void TAutoTask::WriteRunData(TUnicodeIniFile& IniFile, const std::string& Sekt) const
{
    int lastDay = DayNumber(LastTime);
    std::string lastDate = std::to_string(lastDay > 693595 ? lastDay : 0);
    if (LastTime > 0)
        lastDate += " ; " + FormatDateTime("yyyy-mm-dd", LastTime);
    IniFile.WriteString(Sekt, "LastDate", lastDate);
    IniFile.WriteString(Sekt, "LastTime",
                        std::to_string(MilliSecondsOfDay(LastTime)) + " ; " +
                            FormatDateTime("hh:nn:ss", LastTime));
    IniFile.WriteString(Sekt, "BackupDate",
                        std::to_string(DayNumber(NextTime)) + " ; " + FormatDateTime("yyyy-mm-dd", NextTime));
    int64_t nextMs = MilliSecondsOfDay(NextTime);
    IniFile.WriteString(Sekt, "BackupTime",
                        std::to_string(nextMs < 1000 ? 0 : nextMs) + " ; " +
                            FormatDateTime("hh:nn:ss", NextTime));
}

void TAutoTask::SaveToIni(TUnicodeIniFile& IniFile, const std::string& Sekt)
{
    if (TaskPath.empty()) {
        Reset();
        TaskName.clear();
        TaskPath.clear();
    }
    IniFile.EraseSectionValues(Sekt);
    IniFile.WriteString(Sekt, "Name", TaskPath);
    IniFile.WriteString(Sekt, "Caption", TaskName);
    IniFile.WriteInteger(Sekt, "Mode", BuProcess);
    IniFile.WriteInteger(Sekt, "AutoEnd", AutoEnd);
    IniFile.WriteInteger(Sekt, "Priority", ThPr);
    IniFile.WriteInteger(Sekt, "ErrorStatus", ErrStatus);
    IniFile.WriteInteger(Sekt, "StepMode", SchedProps.StepMode);
    IniFile.WriteInteger(Sekt, "Cycles", SchedProps.NumZyk + 1000 * SchedProps.FullZyk);
    IniFile.WriteInteger(Sekt, "ActCycle", SchedProps.AktZyk + 1000 * SchedProps.WeekZyk);
    IniFile.WriteInteger(Sekt, "SchedMode", SchedProps.SchedMode);
    IniFile.WriteInteger(Sekt, "LastCycle", SchedProps.LastZyk);
    IniFile.WriteInteger(Sekt, "WeekDay", static_cast<int>(WeekDay + 0x200 + (RunIfMissed ? 0x100 : 0)));
    WriteRunData(IniFile, Sekt);
}

void TAutoTask::SaveScheduleToIni(TUnicodeIniFile& IniFile, const std::string& Sekt, int ExitCode,
                                  bool BuSucceeded)
{
    ErrStatus = ExitCode;
    IniFile.WriteInteger(Sekt, "ErrorStatus", ErrStatus);
    if (!BuSucceeded)
        return;
    IniFile.WriteInteger(Sekt, "ActCycle", SchedProps.AktZyk + 1000 * SchedProps.WeekZyk);
    IniFile.WriteInteger(Sekt, "LastCycle", SchedProps.LastZyk);
    WriteRunData(IniFile, Sekt);
}

bool TAutoTask::WeekdayInSchedule(TDateTime dt) const
{
    return (WeekDay & (1u << (DayOfTheWeek(dt) - 1))) != 0;
}

std::string TAutoTask::GetScheduleDesc() const
{
    if (TaskPath.empty())
        return "";
    std::string time = FormatDateTime(TimeDisplayFormat, NextTime);
    bool today = DayOfTheWeek(NextTime) == DayOfTheWeek(Clock::Current().NowLocal());
    std::string dayName = GetLongDayName(DayOfTheWeek(NextTime));
    switch (BuProcess) {
    case asLogon:
        return _("On next logon");
    case asDaily:
        return _("Tomorrow on logon");
    case asDailyAt:
        return today ? _("Today at ") + time : SafeFormat(_("Next %s at %s"), {dayName, time});
    case asLogoff:
        return SafeFormat(_("On logoff not before %s"), {time});
    case asWeekly:
        return _("On first logon on ") + dayName;
    case asWeekDay:
        return today ? _("Today on next logoff") : _("On first logoff on ") + dayName;
    case asByRequest:
        return _("By request");
    case asNone:
        return _("Deactivated");
    }
    return "";
}

std::string TAutoTask::GetScheduleInfo() const
{
    const TSchedule& s = SchedProps;
    if (s.StepMode == 0)
        return _("No schedule configured!");
    std::string modeText;
    if (s.SchedMode == smDiff || s.SchedMode == smDiff2)
        modeText = _("As in task + Differential");
    else if (s.SchedMode == smIncr || s.SchedMode == smIncr2)
        modeText = _("As in task + Incremental");
    else
        modeText = _("As defined in task");
    const bool halved = s.SchedMode == smDiff2 || s.SchedMode == smIncr2;
    if (s.SchedMode != smNormal && s.StepMode == 1 && s.NumZyk > 0 && s.NumZyk % 7 == 0) {
        int w = s.NumZyk / 7;
        if (halved)
            w /= 2;
        int stepDay = ((s.AktZyk - 1) % 7 + 7) % 7 + 1;
        std::string step = GetShortDayName(stepDay);
        if (s.NumZyk > 7)
            step += ", " + OrdinalText(s.WeekZyk + 1) + _("week");
        int fullDay = ((s.FullZyk % 7) + 7) % 7 + 1;
        std::string fullText = _("each") + " " + (w > 1 ? OrdinalText(w) : "") + GetLongDayName(fullDay);
        return _("Mode: ") + modeText + "\r\n" +
               SafeFormat(_("Daily - %u-week cycle\r\nFull on %s"), {s.NumZyk / 7, fullText}) + "\r\n" +
               SafeFormat(_("Current step: %s"), {step});
    }
    std::string pattern = s.StepMode == 2   ? _("Daily - weekly change (%s weeks)")
                          : s.StepMode == 3 ? _("Weekly change (%s weeks)")
                                            : _("Daily change (%s days)");
    pattern += "\r\n" + _("Current step: %s") + (s.StepMode == 2 || s.StepMode == 3 ? _("week") : _("day"));
    std::string count = halved ? "2x" + std::to_string(s.NumZyk / 2) : std::to_string(s.NumZyk);
    return _("Mode: ") + modeText + "\r\n" + SafeFormat(pattern, {count, OrdinalText(s.AktZyk)});
}

std::string TAutoTask::GetAltSchedDesc() const
{
    const TSchedule& s = SchedProps;
    if (s.StepMode < 1)
        return "";
    static const char* const stepCodes[] = {"", "D", "DW", "W"};
    static const char* const modeCodes[] = {"", "D", "I", "D2", "I2"};
    std::string text = (s.StepMode <= 3 ? stepCodes[s.StepMode] : "") + std::to_string(s.NumZyk);
    if (s.SchedMode != smNormal && s.SchedMode >= smDiff && s.SchedMode <= smIncr2)
        text += std::string("-") + modeCodes[s.SchedMode];
    return text;
}
