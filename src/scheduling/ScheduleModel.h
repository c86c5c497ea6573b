#pragma once
// The schedule of the Scheduled Task Wizard without its widgets: the trigger kinds the wizard edits, the
// values of its schedule pages, the advanced settings (expiry, repetition, time limit, conditions), and how
// they are read from and written into a task and one of its triggers.

#include <string>

#include "rtl/DateTime.h"
#include "scheduling/WinTask.h"

// The advanced settings of a task and its trigger.
struct TAdvancedSettings
{
    bool UseEndDate = false;
    bool RepeatTask = false;
    bool StopEndDuration = false;
    bool UseLimit = false;
    bool ReRun = false;
    bool PowerOnly = true;
    bool StopBattery = true;
    bool WakeUp = false;
    bool NetworkOnly = false;
    TDateTime EndDate = 0;
    int MinutesLimit = 4320;
    int MinutesInterval = 60;
    int MinutesDuration = 480;
};

// The defaults with the end date at start.
TAdvancedSettings DefaultAdvancedSettings(TDateTime start);
// Task settings into the record and back.
void ReadAdvancedTaskSettings(const TWinTask& task, TAdvancedSettings& a);
void WriteAdvancedTaskSettings(TWinTask& task, const TAdvancedSettings& a);
// Trigger fields into the record (now decides whether the end lies ahead; registrationDate is the task's).
void ReadAdvancedTrigger(const TWinTaskTrigger& t, TDateTime now, TDateTime registrationDate,
                         TAdvancedSettings& a);
// The record into a trigger whose start time is set already.
void WriteAdvancedTrigger(TWinTaskTrigger& t, const TAdvancedSettings& a);

// A number with its unit as the dialogs show it: unit 0 days, 1 hours, 2 minutes, 3 seconds.
struct TUnitValue
{
    int Unit = 2;
    int Max = 1439;
    int Number = 0;
};
// Time limit and repetition values (minutes) of the advanced settings dialog.
TUnitValue LimitUnitOf(int minutes);
TUnitValue IntervalUnitOf(int minutes);
int UnitMinutes(int unit); // 1440, 60 or 1
// Delays of the schedule pages (seconds): hours, minutes or seconds.
TUnitValue DelayUnitOf(uint32_t seconds);
uint32_t DelaySeconds(bool enabled, int number, int unit);

// Weekday masks: the Task Scheduler's (Sunday = bit 0) and the wizard's lists (Monday = bit 0).
int WeekdaysToMondayFirst(int mask);
int WeekdaysToSundayFirst(int mask);

// The wake-up event query of a new wake-up trigger.
extern const char* const DefaultWakeQuery;

// The kinds of the schedule pages: 0 daily, 1 weekly, 2 monthly, 3 one time, 4 on logon, 5 on waking up.
enum TScheduleItem
{
    siDaily,
    siWeekly,
    siMonthly,
    siOnce,
    siLogon,
    siWakeUp
};

struct TScheduleModel
{
    TScheduleItem Item = siDaily;
    bool Enabled = true;
    TDateTime Start = 0; // date and time of every start picker
    // daily
    bool EveryDay = true;
    int Days = 2;
    // weekly
    int Weeks = 1;
    int WeekDays = 2; // Task Scheduler mask
    // monthly
    bool DayOfMonth = true; // "Days:" (else "On:")
    uint32_t MonthDays = 1; // bit n-1 for day n, bit 31 for "Last"
    int MonthWeeks = 1;     // First 1 ... Last 16
    int MonthWeekdays = 1;  // Monday-first mask
    int Months = 4095;
    // one time
    bool RandomOn = false;
    uint32_t RandomSeconds = 30;
    // logon and wake-up
    bool Activate = true;
    bool DelayOn = false;
    uint32_t DelaySecs = 30;
    std::string LogonUser;
    std::string Query = DefaultWakeQuery;
    TAdvancedSettings Adv;
};

// The page values for a new schedule starting at start (the wizard's reset).
TScheduleModel ResetSchedule(TDateTime start);
// Loads a trigger; false (the model unchanged but for the common values) when the wizard cannot edit its
// kind.
bool LoadTrigger(const TWinTaskTrigger& t, TDateTime now, TDateTime registrationDate, TScheduleModel& m);
// The trigger kind the model writes.
TWinTaskTriggerType ModelTriggerType(const TScheduleModel& m);
// Writes the model into trigger trgIndex of the task (-1: a new trigger); a trigger of another kind is
// replaced by a new one at the end. Returns the index of the written trigger; removeFailed is set when the
// old trigger could not be removed (then that trigger is written).
int WriteTrigger(TWinTask& task, int trgIndex, const TScheduleModel& m, bool& removeFailed);
