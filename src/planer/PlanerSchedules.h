#pragma once
// The alternating backup schedules of QvPlaner: a schedule ties one backup task to a number of cycles
// of steps, a full backup at the start of each cycle (or on the full-backup day of the weekly rhythm)
// and differential or incremental backups between. The list, its settings file and the checks a
// schedule passes before it is stored.

#include <string>
#include <vector>

class TMemIniFile;

struct TSchedTask
{
    std::string SName;   // unique in the list (case-insensitive); shortcuts and scheduled tasks name it
    std::string Task;    // full path of the backup task file
    int Cycles = 2;      // 1..499
    int Steps = 7;       // 2..999; 7 is the weekly rhythm
    int FirstDay = 1;    // weekly rhythm: day of the full backup, 1 Monday .. 7 Sunday
    int NextCyc = 0;     // the step the next run takes, 1..Cycles*Steps; 0 = not started
    int LastFull = 0;    // weekly rhythm: step of the last full backup, 0 = none
    int LastDay = 0;     // day number (days since 30 December 1899) of the last successful start
    bool Diff = true;    // differential (true) or incremental steps between full backups
    bool Silent = false; // report to the event log instead of message boxes
    bool Active = false; // a scheduled task of this program exists for it (not stored)
};

using TSchedules = std::vector<TSchedTask>;

// At most this many schedules are written to the settings file.
constexpr int MaxStoredSchedules = 99;

// "Sched00" .. "Sched98".
std::string ScheduleSection(int index);

struct TPlanerConfig
{
    int Top = 0;
    int Left = 0;
    std::string JobDir;
};

// Reads [Config] and every [Sched<nn>] section; a missing section gives a schedule named after it
// with the defaults. Values a hand-edited file may hold outside the edit ranges are brought into them
// (cycles 1..499, steps 2..999, first day 1..7, next step 0..cycles*steps), so the step arithmetic
// never divides by zero or runs past the schedule.
TSchedules LoadSchedules(const TMemIniFile& ini, TPlanerConfig& config);
// The full save: clears the file first, writes [Unicode], [Config] and at most 99 schedules.
// Raises EWriteError (from UpdateFile) when the file cannot be written.
void SaveSchedules(const std::string& fileName, const TSchedules& schedules, const TPlanerConfig& config,
                   const std::string& progName, const std::string& version);
// The partial save after a successful start: NextCycle, LastFull and LastDay of one section.
void SaveScheduleState(const std::string& fileName, int index, const TSchedTask& schedule);

// The position of the schedule named name (case-insensitive), -1 when there is none.
int FindSchedule(const TSchedules& schedules, const std::string& name);

struct TScheduleCheck
{
    int Result = 0;      // 0 valid, 1 name, 2 task file, 3 cycles (weekly), 4 steps
    std::string Message; // the text for the error box, empty when valid
};

// Checks the values of a schedule about to replace position index (-1 for a new one).
TScheduleCheck ValidateSchedule(const TSchedules& schedules, int index, const TSchedTask& candidate);
