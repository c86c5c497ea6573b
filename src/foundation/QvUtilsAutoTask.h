#pragma once
// One of the sixteen automatic-task slots of the main program, kept in the settings file in the
// sections [AutoTask0] … [AutoTask15].

#include <string>

#include "foundation/BuConsts.h"
#include "rtl/DateTime.h"

class TUnicodeIniFile;

constexpr int AutoTaskSlotCount = 16;
// Day number (days since 1 January of year 1, that day being 1) of TDateTime 0.
constexpr int DayNumberOfDateDelta = 693594;

class TAutoTask
{
public:
    explicit TAutoTask(const std::string& AName);

    void Reset();
    void LoadFromIni(const TUnicodeIniFile& IniFile, const std::string& Sekt);
    void SaveToIni(TUnicodeIniFile& IniFile, const std::string& Sekt);
    // After a run: the error state always, the schedule step and run times only when it succeeded.
    void SaveScheduleToIni(TUnicodeIniFile& IniFile, const std::string& Sekt, int ExitCode, bool BuSucceeded);
    bool WeekdayInSchedule(TDateTime dt) const;
    bool IsActive() const { return BuProcess != asNone; }
    std::string GetScheduleDesc() const;
    std::string GetScheduleInfo() const;
    std::string GetAltSchedDesc() const;

    TAutoStart BuProcess = asNone;
    // Thread priority: idle, lowest, lower, normal, higher, highest, time-critical = 0..6.
    int ThPr = 3;
    TInteraction AutoEnd = iaDelay;
    int ErrStatus = 0;
    TSchedule SchedProps;
    // Bit 0 Monday … bit 6 Sunday; 127 = every day.
    uint32_t WeekDay = 127;
    bool RunIfMissed = true;
    TDateTime LastTime = 0;
    TDateTime NextTime = 1.0 / 3;
    std::string TaskName;
    std::string TaskPath;

private:
    void WriteRunData(TUnicodeIniFile& IniFile, const std::string& Sekt) const;
};
