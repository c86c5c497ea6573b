#include "mainwindow/BuMainLists.h"

#include <algorithm>
#include <cmath>

#include "foundation/BuConsts.h"
#include "foundation/IniFileUtils.h"
#include "foundation/QvUtilsTaskFiles.h"
#include "foundation/QvUtilsTexts.h"
#include "foundation/StringUtils.h"
#include "foundation/XlFileUtils.h"
#include "mainwindow/BuMainAutoTasks.h"
#include "rtl/Gettext.h"
#include "rtl/SysUtils.h"

namespace {

double FracOf(TDateTime t)
{
    return t - std::floor(t);
}

} // namespace

// ---- task lists

void LoadTaskList(const TUnicodeIniFile& ini, const std::string& section, const std::string& ext,
                  TStringList& list)
{
    list.Clear();
    const int count = ini.ReadInteger(section, "Count", 0);
    for (int i = 0; i < count; ++i) {
        std::string entry = ini.ReadString(section, "Task" + std::to_string(i), "");
        if (entry.empty())
            continue;
        if (entry[0] == '&')
            list.AddObject(entry.substr(1), CommentLine);
        else if (XlFileExists(GetTaskFileName(entry, ext)))
            list.AddObject(entry, 0);
    }
}

void SaveTaskList(TUnicodeIniFile& ini, const std::string& section, const TStringList& list)
{
    ini.EraseSection(section);
    ini.WriteInteger(section, "Count", list.Count());
    for (int i = 0; i < list.Count(); ++i)
        ini.WriteString(section, "Task" + std::to_string(i),
                        (list.Objects(i) == CommentLine ? "&" : "") + list[i]);
}

std::vector<int> MoveEntries(TStringList& list, std::vector<int> selected, bool up)
{
    std::sort(selected.begin(), selected.end());
    selected.erase(std::unique(selected.begin(), selected.end()), selected.end());
    std::vector<bool> sel(static_cast<size_t>(list.Count()), false);
    for (int i : selected)
        if (i >= 0 && i < list.Count())
            sel[static_cast<size_t>(i)] = true;
    const int n = list.Count();
    if (up) {
        for (int i = 1; i < n; ++i)
            if (sel[static_cast<size_t>(i)] && !sel[static_cast<size_t>(i - 1)]) {
                list.Exchange(i, i - 1);
                sel[static_cast<size_t>(i)] = false;
                sel[static_cast<size_t>(i - 1)] = true;
            }
    } else {
        for (int i = n - 2; i >= 0; --i)
            if (sel[static_cast<size_t>(i)] && !sel[static_cast<size_t>(i + 1)]) {
                list.Exchange(i, i + 1);
                sel[static_cast<size_t>(i)] = false;
                sel[static_cast<size_t>(i + 1)] = true;
            }
    }
    std::vector<int> result;
    for (int i = 0; i < n; ++i)
        if (sel[static_cast<size_t>(i)])
            result.push_back(i);
    return result;
}

int SortTaskRuns(TStringList& list, int keep)
{
    struct TItem
    {
        std::string Text;
        intptr_t Obj;
        bool Kept;
    };
    std::vector<TItem> items;
    for (int i = 0; i < list.Count(); ++i)
        items.push_back({list[i], list.Objects(i), i == keep});
    auto less = [](const TItem& a, const TItem& b) { return utf8::CompareText(a.Text, b.Text) < 0; };
    size_t start = 0;
    for (size_t i = 0; i <= items.size(); ++i) {
        if (i == items.size() || items[i].Obj == CommentLine) {
            std::stable_sort(items.begin() + static_cast<std::ptrdiff_t>(start),
                             items.begin() + static_cast<std::ptrdiff_t>(i), less);
            start = i + 1;
        }
    }
    list.Clear();
    int result = -1;
    for (size_t i = 0; i < items.size(); ++i) {
        list.AddObject(items[i].Text, items[i].Obj);
        if (items[i].Kept)
            result = static_cast<int>(i);
    }
    return result;
}

int RemoveEntries(TStringList& list, std::vector<int> selected)
{
    std::sort(selected.begin(), selected.end());
    selected.erase(std::unique(selected.begin(), selected.end()), selected.end());
    selected.erase(
        std::remove_if(selected.begin(), selected.end(), [&](int i) { return i < 0 || i >= list.Count(); }),
        selected.end());
    if (selected.empty())
        return list.Count() > 0 ? 0 : -1;
    const int first = selected.front();
    for (auto it = selected.rbegin(); it != selected.rend(); ++it)
        list.Delete(*it);
    if (list.Count() == 0)
        return -1;
    return std::min(first, list.Count() - 1);
}

std::string ListEntryTask(const TStringList& list, int index, const std::string& ext)
{
    if (index < 0 || index >= list.Count() || list.Objects(index) == CommentLine)
        return "";
    return GetTaskFileName(list[index], ext);
}

int IndexOfTask(const TStringList& list, const std::string& task, const std::string& ext)
{
    if (task.empty())
        return -1;
    for (int i = 0; i < list.Count(); ++i)
        if (list.Objects(i) != CommentLine && GetTaskFileName(list[i], ext) == task)
            return i;
    return -1;
}

// ---- automatic-task slots

int AutoTaskIndexOf(const TAutoTaskList& slots, const std::string& path, int fromIndex)
{
    if (path.empty())
        return -1;
    for (int i = std::max(0, fromIndex); i < static_cast<int>(slots.size()); ++i) {
        const TAutoTask& s = *slots[static_cast<size_t>(i)];
        if (!s.TaskName.empty() && utf8::SameText(s.TaskPath, path))
            return i;
    }
    return -1;
}

int GetFreeAutoTask(const TAutoTaskList& slots)
{
    for (size_t i = 0; i < slots.size(); ++i)
        if (slots[i]->TaskName.empty())
            return static_cast<int>(i);
    return -1;
}

TAutoFlags GetAutoFlags(const TAutoTaskList& slots, bool byRequestWaits)
{
    TAutoFlags f;
    for (const auto& s : slots) {
        if (s->TaskPath.empty())
            continue;
        const TAutoStart k = s->BuProcess;
        f.AutoActive = f.AutoActive || k != asNone;
        f.WaitActive = f.WaitActive || k == asDailyAt || k == asLogoff || k == asWeekDay ||
                       (byRequestWaits && k == asByRequest);
        f.LogOffActive = f.LogOffActive || k == asLogoff || k == asWeekDay;
    }
    return f;
}

std::string SlotScheduleText(const TAutoTask& slot)
{
    const std::string time = FormatDateTime(TimeDisplayFormat, slot.NextTime);
    const std::string days = WeekdaysToStr(slot.WeekDay);
    switch (slot.BuProcess) {
    case asLogon:
        return _("Always on logon");
    case asDaily:
        return _("Once per day on logon");
    case asDailyAt:
        return SafeFormat(_("At %s on %s"), {time, days});
    case asLogoff:
        return SafeFormat(_("On logoff not before %s"), {time});
    case asWeekly:
        return _("On first logon on ") + days;
    case asWeekDay:
        return _("On first logoff on ") + days;
    case asByRequest:
        return _("By request");
    case asNone:
        break;
    }
    return _("Deactivated");
}

std::vector<TScheduleRow> ScheduleRows(const TAutoTaskList& slots)
{
    std::vector<TScheduleRow> rows;
    for (size_t i = 0; i < slots.size(); ++i) {
        const TAutoTask& s = *slots[i];
        if (s.TaskName.empty() || s.TaskPath.empty())
            continue;
        const int nr = static_cast<int>(i) + 1;
        rows.push_back({OrdinalText(nr), _("Backup task") + ": " + s.TaskName, nr});
        std::string text = s.GetScheduleDesc();
        const std::string alt = s.GetAltSchedDesc();
        if (s.BuProcess != asNone && !alt.empty())
            text += " (" + alt + ")";
        rows.push_back({"", text, nr + (s.BuProcess != asNone ? 128 : 0) + (s.ErrStatus > 0 ? 256 : 0)});
    }
    if (rows.empty())
        rows.push_back({"", _("No automatic backups configured"), 0});
    return rows;
}

std::string GetSchedulesAsText(const TAutoTaskList& slots)
{
    std::string text;
    for (size_t i = 0; i < slots.size(); ++i) {
        const TAutoTask& s = *slots[i];
        if (s.TaskName.empty() || s.TaskPath.empty())
            continue;
        if (!text.empty())
            text += "\r\n";
        text += OrdinalText(static_cast<int>(i) + 1) + ": " + _("Backup task") + ": " + s.TaskName + "\r\n" +
                "     - " + (s.BuProcess != asNone ? _("Next backup: ") : std::string()) +
                s.GetScheduleDesc();
    }
    return text.empty() ? _("No automatic backups configured") : text;
}

std::string ScheduleListText(const TAutoTaskList& slots, const std::string& programNameVersion)
{
    std::vector<std::string> lines;
    const std::string title = programNameVersion + " - " + _("Automatic backups");
    lines.push_back(title);
    lines.push_back(std::string(utf8::Length(title), '='));
    lines.push_back(MakeSpaces(5) + PadRight(_("Backup task"), 25) + _("Schedule"));
    size_t longest = 0;
    std::vector<std::string> slotLines;
    for (size_t i = 0; i < slots.size(); ++i) {
        const TAutoTask& s = *slots[i];
        if (s.TaskName.empty() || s.TaskPath.empty())
            continue;
        std::string nr = std::to_string(i + 1);
        if (nr.size() < 2)
            nr = " " + nr;
        std::string text = SlotScheduleText(s);
        const std::string alt = s.GetAltSchedDesc();
        if (s.BuProcess != asNone && !alt.empty())
            text = PadRight(text, 35) + alt;
        std::string line = PadRight(nr + ":", 5) + PadRight(s.TaskName, 25) + text;
        longest = std::max(longest, utf8::Length(line));
        slotLines.push_back(line);
    }
    lines.push_back(std::string(longest, '-'));
    lines.insert(lines.end(), slotLines.begin(), slotLines.end());
    std::string out;
    for (const auto& l : lines)
        out += l + "\r\n";
    return out;
}

std::vector<std::string> TaskScheduleLines(const TAutoTaskList& slots, const std::string& task,
                                           std::vector<int>& slotNumbers)
{
    std::vector<std::string> lines;
    slotNumbers.clear();
    if (AutoTaskIndexOf(slots, task, 0) < 0)
        return lines;
    for (size_t i = 0; i < slots.size(); ++i) {
        const TAutoTask& s = *slots[i];
        if (s.TaskName.empty() || !utf8::SameText(s.TaskPath, task))
            continue;
        const int nr = static_cast<int>(i) + 1;
        lines.push_back(std::to_string(lines.size() + 1) + ": " + SlotScheduleText(s) + " (" +
                        std::to_string(nr) + ")");
        slotNumbers.push_back(nr);
    }
    return lines;
}

std::string BuildRunHint(const std::string& programNameVersion, const std::string& action,
                         const std::string& tasks)
{
    std::string hint = programNameVersion + "\n" + action + ": ";
    if (!tasks.empty() && tasks[0] == '#') {
        const std::string digits = tasks.substr(1);
        int n = 0;
        if (!digits.empty() && digits.find_first_not_of("0123456789") == std::string::npos &&
            digits.size() <= 2)
            n = std::stoi(digits);
        if (n > 0)
            return hint + "\n- " + SafeFormat(_("Automatic backup %u: "), {n});
        return hint + "\n- " + _("all") + " " + _("Automatic backups");
    }
    std::string rest = tasks;
    while (!utf8::Trim(rest).empty()) {
        std::string item = ReadNextQuotedItem(rest, ',', '"');
        if (item.empty())
            continue;
        const std::string line = "\n- " + item;
        if (hint.size() + line.size() > 244) {
            hint += " ff.";
            break;
        }
        hint += line;
    }
    return hint;
}

std::vector<std::pair<int, std::string>> TaskMenuItems(const TAutoTaskList& slots)
{
    std::vector<std::pair<int, std::string>> items;
    for (size_t i = 0; i < slots.size(); ++i)
        if (!slots[i]->TaskName.empty() && !slots[i]->TaskPath.empty())
            items.emplace_back(static_cast<int>(i) + 1,
                               utf8::Lower(SafeFormat("%x", {static_cast<int>(i) + 1})) + " - " +
                                   slots[i]->TaskName);
    if (!items.empty())
        items.insert(items.begin(), {0, _("All") + " \"" + _("By request") + "\""});
    return items;
}

// ---- the schedule timer

std::vector<int> DueDailyAtSlots(TAutoTaskList& slots, TDateTime now)
{
    std::vector<int> due;
    const TDateTime today = std::floor(now);
    for (size_t i = 0; i < slots.size(); ++i) {
        TAutoTask& s = *slots[i];
        if (s.TaskPath.empty() || s.BuProcess != asDailyAt || now < s.NextTime)
            continue;
        if (s.WeekdayInSchedule(now) && FracOf(s.NextTime) > FracOf(now)) {
            // the time of day is still ahead today: wait for it
            s.NextTime = today + FracOf(s.NextTime);
            continue;
        }
        s.NextTime = NextScheduledDay(s.WeekDay, true, today + 1 + FracOf(s.NextTime));
        due.push_back(static_cast<int>(i));
    }
    return due;
}
