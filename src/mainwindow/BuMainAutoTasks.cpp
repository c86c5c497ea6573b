#include "mainwindow/BuMainAutoTasks.h"

#include <cmath>

namespace {

constexpr double OneSecond = 1.0 / 86400;

double Frac(TDateTime value)
{
    return value - std::floor(value);
}

// Monday (midnight) of the week of date.
TDateTime MondayOf(TDateTime date)
{
    return DateOf(date) - (DayOfTheWeek(date) - 1);
}

// A later week than that of the slot's last run has begun on date.
bool LaterWeekBegun(const TAutoTask& slot, TDateTime date)
{
    return date + OneSecond > MondayOf(slot.LastTime) + 7;
}

bool WeekdayBound(const TSchedule& s)
{
    return s.StepMode == 1 && s.NumZyk > 0 && s.NumZyk % 7 == 0;
}

} // namespace

int FirstWeekday(uint32_t weekDays)
{
    for (int i = 0; i < 7; ++i)
        if (weekDays & (1u << i))
            return i + 1;
    return 0;
}

TDateTime NextScheduledDay(uint32_t weekDays, bool inclusive, TDateTime date)
{
    const int w = DayOfTheWeek(date + OneSecond);
    const int first = inclusive ? w - 1 : w;
    int j = first;
    for (; j < first + 7; ++j)
        if (weekDays & (1u << (j % 7)))
            break;
    return MondayOf(date) + j + Frac(date);
}

int GetCycleStep(TAutoTask& slot, TAutoStart kind, TDateTime date)
{
    TSchedule& s = slot.SchedProps;
    if (s.StepMode <= 0 || s.NumZyk <= 0)
        return 0;
    if (s.StepMode == 1) {
        if (!(std::floor(slot.LastTime) < date || kind == asLogoff || kind == asLogon))
            return -1;
        if (!WeekdayBound(s))
            return s.AktZyk % s.NumZyk + 1;
        const int w = DayOfTheWeek(date);
        if (s.LastZyk == 1000) {
            if (s.SchedMode == smNormal || w == s.FullZyk + 1)
                return StepFlag + w;
            return -1;
        }
        if (!(date + Frac(slot.NextTime) > slot.LastTime))
            return -1;
        if (7 * s.WeekZyk + w != s.LastZyk && w < s.AktZyk)
            s.WeekZyk = (s.WeekZyk + 1) % (s.NumZyk / 7);
        return StepFlag + w + 7 * s.WeekZyk;
    }
    if (s.LastZyk == 1000)
        return StepFlag + s.AktZyk;
    const int next = StepFlag + s.AktZyk % s.NumZyk + 1;
    if (s.StepMode == 2)
        return LaterWeekBegun(slot, date) ? next : StepFlag + s.AktZyk;
    if (slot.BuProcess == asLogon || slot.BuProcess == asDaily || slot.BuProcess == asLogoff)
        return LaterWeekBegun(slot, date) ? next : -1;
    return DayOfTheWeek(date + OneSecond) > FirstWeekday(slot.WeekDay) ? -1 : next;
}

int ApplyCycleStep(TAutoTask& slot, int step)
{
    if (step <= StepFlag)
        return step;
    TSchedule& s = slot.SchedProps;
    if (s.StepMode > 0)
        s.AktZyk = step & 0xFFF;
    return s.StepMode == 1 ? s.AktZyk + 1 : step;
}

void AdvanceCycle(TAutoTask& slot, int step)
{
    TSchedule& s = slot.SchedProps;
    if (step <= 0 || s.StepMode <= 0 || s.NumZyk <= 0)
        return;
    if (WeekdayBound(s)) {
        s.WeekZyk = (s.AktZyk - 1) / 7;
        s.AktZyk = (s.AktZyk - 1) % 7 + 1;
    } else {
        s.AktZyk = ((step & 0xFFF) - 1) % s.NumZyk + 1;
    }
}

void RunCatchUpFullBackup(TAutoTask& slot, TInteraction interAct, TDateTime date,
                          const std::function<void(TInteraction)>& run)
{
    TSchedule& s = slot.SchedProps;
    if (s.SchedMode == smNormal || s.NumZyk <= 0)
        return;
    const bool twice = s.SchedMode >= smDiff2;
    const int w = DayOfTheWeek(date);
    const int f = s.FullZyk + 1;
    bool missed;
    int step;
    if (WeekdayBound(s)) {
        if (w == f || s.LastZyk == 1000) {
            missed = false;
        } else if (s.LastZyk == 0) {
            missed = true;
        } else {
            const int last = (s.LastZyk - 1) % 7 + 1;
            missed = f < w && w < last;
        }
        step = twice ? (f > w ? (1 - s.WeekZyk) * 7 + f : 7 * s.WeekZyk + f) : f;
    } else {
        missed = (s.LastZyk - 1) / s.NumZyk != (s.AktZyk - 1) / s.NumZyk && s.AktZyk % s.NumZyk != 1;
        step = twice && s.NumZyk >= 2 ? (s.AktZyk - 1) % (s.NumZyk / 2) + 1 : 1;
    }
    if (!missed)
        return;
    const int keptStep = s.AktZyk;
    const TDateTime keptTime = slot.LastTime;
    s.AktZyk = step;
    run(interAct == iaNone ? slot.AutoEnd : interAct);
    s.AktZyk = keptStep;
    slot.LastTime = keptTime;
}
