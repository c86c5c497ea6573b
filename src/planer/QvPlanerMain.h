#pragma once
// The planner's program state without its window: the command line, the batch decision, the
// schedules and one run of a schedule, which starts the main program with the mode and folder of the
// schedule's next step. The window (gui/) and a batch start share it.

#include <cstdint>
#include <string>
#include <vector>

#include "planer/PlanerSchedules.h"
#include "rtl/DateTime.h"

// What the planner needs of its surroundings: message boxes (or nothing, in a batch run), the event
// log and the start of the main program.
class IPlanerHost
{
public:
    virtual ~IPlanerHost() = default;
    virtual void ErrorBox(const std::string& text) = 0;
    // An information box that closes by itself after waitSeconds.
    virtual void InfoBox(const std::string& text, int waitSeconds) = 0;
    virtual bool Confirm(const std::string& text) = 0;
    // An entry of the suite's event source, category 2 (written only where the event log is available).
    virtual void ReportEvent(uint32_t id, uint16_t type, const std::vector<std::string>& strings) = 0;
    // Starts "<exe> <params>" and, with wait, waits for it: 0 = started (and ended with exit code 0);
    // RunExitCodeFlag | code = ended with that exit code; any other value = the error code of the start.
    virtual uint32_t RunMainProgram(const std::string& exe, const std::string& params, bool wait) = 0;
};

constexpr uint32_t RunExitCodeFlag = 0x20000000;

// Event ids of the planner (category 2).
constexpr uint32_t evPlanerStarted = 0x40000017;
constexpr uint32_t evPlanerAlreadyDone = 0x40000018;
constexpr uint32_t evPlanerWaitsForFullDay = 0x40000019;
constexpr uint32_t evPlanerStartFailed = 0xC0000015;
constexpr uint32_t evPlanerNoMainProgram = 0xC0000016;
constexpr uint32_t evPlanerNoSchedule = 0xC000001A;

// The locale's long (or short) name of an ISO weekday (1 Monday .. 7 Sunday).
std::string GetDayName(int day, bool longName);
// "Mo" .. "Su" of an ISO weekday: fixed, they name backup folders.
std::string WeekdayFolderAbbreviation(int day);

// What one run decided: the folder and mode of the day's step (for tests and the window's status).
struct TScheduleRunInfo
{
    bool Started = false;      // the day's run was started
    bool CatchUp = false;      // a catch-up full backup was run first
    std::string Folder;        // e.g. "BuTu1D"
    std::string Mode;          // "full", "differential", "incremental"
    std::string Params;        // the main program's parameters of the day's run
    std::string CatchUpParams; // those of the catch-up run
};

class THauptForm
{
public:
    explicit THauptForm(IPlanerHost& host);

    // ---- start-up
    std::string AppPath;   // default settings folder, with "/"
    std::string UserPath;  // the documents folder, with "/"
    std::string QvPath;    // the main program, empty when not found
    std::string JobDir;    // folder of the task-file dialog
    std::string SchedName; // the schedule named on the command line
    std::string IniName;
    std::string DefOptions;
    std::string OtherOptions;
    int Wait = 5;
    bool UseAltIni = false;
    bool UseDarkMode = false;
    bool IntAct = false;
    bool IsBatch = false;
    std::string ProgName = "QvPlaner";
    std::string ProgVersion;
    TPlanerConfig Config;
    TSchedules Schedules;

    // Reads the arguments (options with "/" or "-", the last other argument is the schedule name).
    void ReadCommandLine(const std::vector<std::string>& args);
    // The command line, the settings file's name (AppPath + ProgName + ".ini" unless /ini: gave one),
    // the schedules and the options for the main program.
    void Init(const std::vector<std::string>& args);
    // Loads the schedules from IniName.
    void LoadSettings();
    // The full save (the window closing); a write error goes to the error box.
    void SaveSettings();

    // The batch run of the schedule named on the command line: true when the program ends without its
    // window. Two planners that run one schedule at once take turns, and the second sees the day's run.
    bool CheckSchedule();
    // One run of schedule index with the options appended to the main program's command line.
    TScheduleRunInfo RunSchedule(int index, const std::string& options);

    int FindSchedule(const std::string& name) const { return ::FindSchedule(Schedules, name); }
    // Checks a schedule's values before they replace position index (-1 new); a failure goes to the
    // error box. 0 = valid, else the field to put the focus on (1 name, 2 task, 3 cycles, 4 steps).
    int ValidateSchedule(int index, const TSchedTask& candidate);

private:
    IPlanerHost& FHost;
    bool Quiet(const TSchedTask& s) const { return s.Silent || IsBatch; }
    void ReportStart(const TSchedTask& s, uint32_t result, const std::string& modeText, int step);
    std::string MainProgramName() const;
};
