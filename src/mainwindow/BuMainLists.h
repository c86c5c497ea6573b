#pragma once
// The main window's lists without the window: the task lists with their comment lines (load, save,
// move, sort, remove), the answers about the automatic-task slots (which slot holds a task, which is
// free, the overview rows and texts), the tray texts of a run, and the schedule timer's decision.

#include <memory>
#include <string>
#include <vector>

#include "foundation/QvUtilsAutoTask.h"
#include "rtl/DateTime.h"
#include "rtl/StringList.h"

class TUnicodeIniFile;

using TAutoTaskList = std::vector<std::unique_ptr<TAutoTask>>;

// The object that marks a comment line of a task list.
constexpr intptr_t CommentLine = 1;

// ---- task lists ([MyBackup], [MyRestore], [MyVerify], [MyCleanup])

// Reads Count and Task0… of section into list: "&" starts a comment line (kept, "&" removed); a task
// entry is kept only when its file exists (GetTaskFileName with ext).
void LoadTaskList(const TUnicodeIniFile& ini, const std::string& section, const std::string& ext,
                  TStringList& list);
// Erases section and writes Count and Task0…, comment lines with a leading "&".
void SaveTaskList(TUnicodeIniFile& ini, const std::string& section, const TStringList& list);
// Moves every selected entry one place up (or down); an entry at the end or behind a selected entry
// that stays, stays too. Returns the new places of the selected entries, in ascending order.
std::vector<int> MoveEntries(TStringList& list, std::vector<int> selected, bool up);
// Sorts each run of task lines between comment lines by itself (without regard to case); comment
// lines keep their places. Returns the new place of the entry at place keep (-1 stays -1).
int SortTaskRuns(TStringList& list, int keep);
// Removes the entries at the given places; returns the place of the entry that takes the place of
// the first removed one (the last entry when none does), -1 for an empty list.
int RemoveEntries(TStringList& list, std::vector<int> selected);
// The full task-file name of a list entry ("" for a comment line or a place outside the list).
std::string ListEntryTask(const TStringList& list, int index, const std::string& ext);
// The place of task (a full name) in the list, -1 when it is not there.
int IndexOfTask(const TStringList& list, const std::string& task, const std::string& ext);

// ---- automatic-task slots

// The first slot from fromIndex on with a task name whose task path is path (without regard to case);
// -1 for an empty path or none.
int AutoTaskIndexOf(const TAutoTaskList& slots, const std::string& path, int fromIndex);
// The first slot without a task name; -1 when all are taken.
int GetFreeAutoTask(const TAutoTaskList& slots);

struct TAutoFlags
{
    bool AutoActive = false;   // some slot has a start kind
    bool WaitActive = false;   // some slot needs the program to stay in the background
    bool LogOffActive = false; // some slot runs at logoff
};
// The flags of the slots with a task. byRequestWaits: "By request" keeps the program resident (as
// after loading the settings), not so after an edit on the schedule page.
TAutoFlags GetAutoFlags(const TAutoTaskList& slots, bool byRequestWaits);

// The schedule text of a slot as the overview and the info panel show it ("At 08:00 on Mon, Tue").
std::string SlotScheduleText(const TAutoTask& slot);

// One row of the schedule overview. Data: slot number (first row), or slot number + 128 when the
// kind is active + 256 when the last run failed (second row); 0 for the row of an empty overview.
struct TScheduleRow
{
    std::string Caption;
    std::string Text;
    int Data = 0;
};
std::vector<TScheduleRow> ScheduleRows(const TAutoTaskList& slots);
// The text of every slot with a task (tray information).
std::string GetSchedulesAsText(const TAutoTaskList& slots);
// The clipboard overview of all schedules.
std::string ScheduleListText(const TAutoTaskList& slots, const std::string& programNameVersion);
// The info panel's schedule lines of task: "n: text (slot)", with the slot numbers in slots.
std::vector<std::string> TaskScheduleLines(const TAutoTaskList& slots, const std::string& task,
                                           std::vector<int>& slotNumbers);

// The tray tip of a run: program name and version, a line break, the action and the task lines.
std::string BuildRunHint(const std::string& programNameVersion, const std::string& action,
                         const std::string& tasks);
// The items of the tray's "Start backups" menu: (0, all "By request") and (slot number, "%x - %s").
std::vector<std::pair<int, std::string>> TaskMenuItems(const TAutoTaskList& slots);

// ---- the schedule timer

// The "Daily at selected time" slots the schedule timer runs now; moves NextTime of each due slot
// (and of a slot whose time today is still ahead) as the timer does before it runs them.
std::vector<int> DueDailyAtSlots(TAutoTaskList& slots, TDateTime now);
