#include "scheduling/ScheduleModel.h"

#include <cmath>

const char* const DefaultWakeQuery =
    "<QueryList><Query Id=\"0\" Path=\"System\"><Select "
    "Path=\"System\">*[System[Provider[@Name='Microsoft-Windows-"
    "Kernel-Power'] and (EventID=107 or EventID=507)]]</Select></Query></QueryList>";

TAdvancedSettings DefaultAdvancedSettings(TDateTime start)
{
    TAdvancedSettings a;
    a.EndDate = start;
    return a;
}

void ReadAdvancedTaskSettings(const TWinTask& task, TAdvancedSettings& a)
{
    const TWinTaskSettings& s = task.Settings();
    a.ReRun = s.RunIfMissed();
    a.PowerOnly = s.DisallowOnBatteries();
    a.StopBattery = s.StopOnBatteries();
    a.WakeUp = s.WakeToRun();
    a.NetworkOnly = s.RunOnlyIfNetwork();
}

void WriteAdvancedTaskSettings(TWinTask& task, const TAdvancedSettings& a)
{
    TWinTaskSettings& s = task.Settings();
    s.SetRunIfMissed(a.ReRun);
    s.SetDisallowOnBatteries(a.PowerOnly);
    s.SetStopOnBatteries(a.StopBattery);
    s.SetWakeToRun(a.WakeUp);
    s.SetRunOnlyIfNetwork(a.NetworkOnly);
}

void ReadAdvancedTrigger(const TWinTaskTrigger& t, TDateTime now, TDateTime registrationDate,
                         TAdvancedSettings& a)
{
    TDateTime end = t.EndTime();
    a.UseEndDate = end > now;
    if (a.UseEndDate)
        a.EndDate = DateOf(end) + (SecsPerDay - 1) / static_cast<double>(SecsPerDay);
    else
        a.EndDate = registrationDate + 366 - 1.0 / SecsPerDay;
    uint32_t interval = t.Interval();
    a.RepeatTask = interval > 0;
    if (interval > 0) {
        a.MinutesInterval = static_cast<int>(interval / 60);
        a.MinutesDuration = static_cast<int>(t.Duration() / 60);
    }
    a.StopEndDuration = t.StopAtDurationEnd();
    uint32_t limit = t.ExecutionTimeLimit();
    a.UseLimit = limit > 0;
    if (limit > 0)
        a.MinutesLimit = static_cast<int>(limit / 60);
}

void WriteAdvancedTrigger(TWinTaskTrigger& t, const TAdvancedSettings& a)
{
    if (a.UseEndDate) {
        TDateTime start = t.StartTime();
        t.SetEndTime(a.EndDate > start ? a.EndDate : IncMinute(start, 1));
    } else {
        t.SetEndTime(0);
    }
    t.SetInterval(a.RepeatTask ? static_cast<uint32_t>(a.MinutesInterval) * 60 : 0);
    t.SetDuration(a.RepeatTask ? static_cast<uint32_t>(a.MinutesDuration) * 60 : 0);
    t.SetStopAtDurationEnd(a.StopEndDuration);
    t.SetExecutionTimeLimit(a.UseLimit ? static_cast<uint32_t>(a.MinutesLimit) * 60 : 0);
}

TUnitValue LimitUnitOf(int minutes)
{
    if (minutes % 1440 == 0 || minutes >= 10080)
        return {0, 365, minutes / 1440};
    if (minutes % 60 == 0 || minutes >= 1440)
        return {1, 167, minutes / 60};
    return {2, 1439, minutes};
}

TUnitValue IntervalUnitOf(int minutes)
{
    if (minutes % 60 != 0)
        return {2, 1439, minutes};
    return {1, 167, minutes / 60};
}

int UnitMinutes(int unit)
{
    return unit == 0 ? 1440 : unit == 1 ? 60 : 1;
}

TUnitValue DelayUnitOf(uint32_t seconds)
{
    if (seconds % 3600 == 0 || seconds >= 43200)
        return {1, 24, static_cast<int>(seconds / 3600)};
    if (seconds % 60 != 0 && seconds < 1800)
        return {3, 599, static_cast<int>(seconds)};
    return {2, 719, static_cast<int>(seconds / 60)};
}

uint32_t DelaySeconds(bool enabled, int number, int unit)
{
    if (!enabled || number < 0)
        return 0;
    return static_cast<uint32_t>(number) * (unit == 1 ? 3600u : unit == 2 ? 60u : 1u);
}

int WeekdaysToMondayFirst(int mask)
{
    return ((mask >> 1) & 0x3F) | ((mask & 1) ? 64 : 0);
}

int WeekdaysToSundayFirst(int mask)
{
    return ((mask & 0x3F) << 1) | ((mask & 64) ? 1 : 0);
}

TScheduleModel ResetSchedule(TDateTime start)
{
    TScheduleModel m;
    m.Start = start;
    m.Adv = DefaultAdvancedSettings(start);
    return m;
}

bool LoadTrigger(const TWinTaskTrigger& t, TDateTime now, TDateTime registrationDate, TScheduleModel& m)
{
    m.Enabled = t.Enabled();
    TDateTime start = t.StartTime();
    bool realStart = start >= 1;
    m.Start = realStart ? start : std::floor(now * MinsPerDay) / MinsPerDay;
    m.Activate = true;
    ReadAdvancedTrigger(t, now, registrationDate, m.Adv);
    switch (t.TriggerType()) {
    case ttEvent:
        m.Query = t.Subscription();
        m.Item = siWakeUp;
        m.Activate = realStart;
        m.DelayOn = t.Delay() > 0;
        if (m.DelayOn)
            m.DelaySecs = t.Delay();
        return true;
    case ttTime:
        m.Item = siOnce;
        m.RandomOn = t.RandomDelay() > 0;
        if (m.RandomOn)
            m.RandomSeconds = t.RandomDelay();
        return true;
    case ttDaily:
        m.Item = siDaily;
        m.EveryDay = t.DaysInterval() <= 1;
        if (!m.EveryDay)
            m.Days = t.DaysInterval();
        return true;
    case ttWeekly:
        m.Item = siWeekly;
        m.Weeks = t.WeeksInterval();
        m.WeekDays = t.DaysOfWeek();
        return true;
    case ttMonthly:
        m.Item = siMonthly;
        m.DayOfMonth = true;
        m.MonthDays = static_cast<uint32_t>(t.DaysOfMonth()) | (t.RunOnLastDayOfMonth() ? 0x80000000u : 0);
        m.Months = t.MonthsOfYear();
        return true;
    case ttMonthlyDow:
        m.Item = siMonthly;
        m.DayOfMonth = false;
        m.MonthWeeks = t.WeeksOfMonth();
        m.MonthWeekdays = WeekdaysToMondayFirst(t.DaysOfWeek());
        m.Months = t.MonthsOfYear();
        return true;
    case ttLogon:
        if (t.LogonUserId().empty())
            return false;
        m.Item = siLogon;
        m.Activate = realStart;
        m.DelayOn = t.Delay() > 0;
        if (m.DelayOn)
            m.DelaySecs = t.Delay();
        m.LogonUser = t.LogonUserId();
        return true;
    default:
        return false;
    }
}

TWinTaskTriggerType ModelTriggerType(const TScheduleModel& m)
{
    switch (m.Item) {
    case siDaily:
        return ttDaily;
    case siWeekly:
        return ttWeekly;
    case siMonthly:
        return m.DayOfMonth ? ttMonthly : ttMonthlyDow;
    case siOnce:
        return ttTime;
    case siLogon:
        return ttLogon;
    default:
        return ttEvent;
    }
}

int WriteTrigger(TWinTask& task, int trgIndex, const TScheduleModel& m, bool& removeFailed)
{
    removeFailed = false;
    TWinTaskTriggerType kind = ModelTriggerType(m);
    TWinTaskTrigger* t = nullptr;
    if (trgIndex < 0 || trgIndex >= task.TriggerCount()) {
        t = task.NewTrigger(kind);
        trgIndex = task.TriggerCount() - 1;
    } else {
        t = task.GetTrigger(trgIndex);
        if (t->TriggerType() != kind) {
            if (task.DeleteTrigger(trgIndex)) {
                t = task.NewTrigger(kind);
                trgIndex = task.TriggerCount() - 1;
            } else {
                removeFailed = true;
            }
        }
    }
    t->SetEnabled(m.Enabled);
    // whole minutes of the start
    TDateTime start = DateOf(m.Start) + std::round(TimeOf(m.Start) * MinsPerDay) / MinsPerDay;
    switch (kind) {
    case ttTime:
        t->SetRandomDelay(m.RandomOn ? m.RandomSeconds : 0);
        break;
    case ttDaily:
        t->SetDaysInterval(static_cast<int16_t>(m.EveryDay ? 1 : m.Days));
        break;
    case ttWeekly:
        t->SetWeeksInterval(m.Weeks);
        t->SetDaysOfWeek(m.WeekDays & 127 ? m.WeekDays & 127 : 2);
        break;
    case ttMonthly:
        // "Last" reaches the trigger through its flag: the days mask takes positive values only
        t->SetDaysOfMonth(static_cast<int32_t>(m.MonthDays & 0x7FFFFFFFu)
                              ? static_cast<int32_t>(m.MonthDays & 0x7FFFFFFFu)
                              : (m.MonthDays ? 0 : 1));
        t->SetRunOnLastDayOfMonth((m.MonthDays & 0x80000000u) != 0);
        t->SetMonthsOfYear(m.Months & 4095 ? m.Months & 4095 : 1);
        break;
    case ttMonthlyDow:
        t->SetWeeksOfMonth(m.MonthWeeks & 31 ? m.MonthWeeks & 31 : 1);
        t->SetRunOnLastWeekOfMonth((m.MonthWeeks & 16) != 0);
        t->SetDaysOfWeek(m.MonthWeekdays & 127 ? WeekdaysToSundayFirst(m.MonthWeekdays) : 2);
        t->SetMonthsOfYear(m.Months & 4095 ? m.Months & 4095 : 1);
        break;
    case ttEvent:
    case ttLogon:
        if (kind == ttEvent)
            t->SetSubscription(m.Query);
        else
            t->SetLogonUserId(m.LogonUser);
        start = m.Activate ? start : 0;
        t->SetDelay(m.DelayOn ? m.DelaySecs : 0);
        break;
    default:
        break;
    }
    t->SetStartTime(start);
    WriteAdvancedTrigger(*t, m.Adv);
    return trgIndex;
}
