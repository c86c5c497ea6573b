// The main window's part of the settings file and the runs the window starts: task lists, window
// place, the slots' state, the start-up check of the slots, the schedule timer and handed-over runs.

#include <cmath>

#include "foundation/IniFileUtils.h"
#include "foundation/InitProg.h"
#include "foundation/PathUtils.h"
#include "foundation/QvUtilsTaskFiles.h"
#include "foundation/StringUtils.h"
#include "foundation/WinApiUtils.h"
#include "foundation/XlFileUtils.h"
#include "mainwindow/BuMain.h"
#include "mainwindow/BuMainAutoTasks.h"
#include "rtl/Gettext.h"
#include "rtl/SysUtils.h"

namespace {

// The numbers of a dotted version ("6.3.25.0"); missing parts count as 0.
std::vector<int> VersionParts(const std::string& text)
{
    std::vector<int> parts;
    std::string rest = text;
    while (!rest.empty()) {
        size_t dot = rest.find('.');
        std::string part = rest.substr(0, dot);
        int value = 0;
        for (char c : part) {
            if (c < '0' || c > '9')
                break;
            value = value * 10 + (c - '0');
            if (value > 100000)
                break;
        }
        parts.push_back(value);
        rest = dot == std::string::npos ? std::string() : rest.substr(dot + 1);
    }
    parts.resize(4, 0);
    return parts;
}

double FracOf(TDateTime t)
{
    return t - std::floor(t);
}

const char* const ListSections[] = {"MyBackup", "MyRestore", "MyVerify", "MyCleanup"};
const char* const ListExtensions[] = {"buj", "rsj", "vfj", "cuj"};
const char* const CurrentSections[] = {"Backup", "MyRestore", "MyVerify", "MyCleanup"};

} // namespace

void TBuMainForm::CheckSettingsFile(const std::string& name)
{
    SettingsProtected.clear();
    if (!XlFileExists(name))
        return;
    std::string problem;
    try {
        auto ini = TUnicodeIniFile::CreateForRead(name);
        TStringList sections;
        ini.ReadSections(sections);
        if (sections.Empty() && XlGetFileSizeOf(name) > 0) {
            problem = SafeFormat(_("The settings file \"%s\" cannot be read: it holds no settings."), {name});
        } else {
            const std::string stored = ini.ReadString("Unicode", "Version", "");
            if (!stored.empty() && !ProgVersion.empty() && VersionParts(stored) > VersionParts(ProgVersion))
                problem =
                    SafeFormat(_("The settings file \"%s\" was written by a newer version of the program "
                                 "(%s)."),
                               {name, stored});
        }
    } catch (const Exception& e) {
        problem = SafeFormat(_("The settings file \"%s\" cannot be read: %s"), {name, e.Message()});
    }
    if (!problem.empty()) {
        SettingsProtected = problem;
        StartMessages.push_back(problem + "\r\n" +
                                _("The program uses what it could read and does not change the file."));
    }
}

void TBuMainForm::LoadWindowSettings(const TUnicodeIniFile& ini)
{
    const char* c = "Config";
    WindowLeft = ini.ReadInteger(c, "Left", -1);
    WindowTop = ini.ReadInteger(c, "Top", -1);
    WindowWidth = ini.ReadInteger(c, "Width", 0);
    WindowHeight = ini.ReadInteger(c, "Height", 0);
    LastError = ini.ReadInteger(c, "LastError", 0);
    SysTray = ini.ReadBool(c, "SysTray", false);
    OldIcon = ini.ReadInteger(c, "OldIcon", 0);
    ProgSettings.ViewSettings.ShowNotifications =
        ini.ReadBool(c, "ShowNotifications", ini.ReadBool(c, "ShowHints", true));
    TStringList* lists[] = {&BackupList, &RestoreList, &VerifyList, &CleanupList};
    std::string* currents[] = {&CurrentTask, &CurrentRest, &CurrentVerify, &CurrentClean};
    for (int i = 0; i < 4; ++i) {
        LoadTaskList(ini, ListSections[i], ListExtensions[i], *lists[i]);
        std::string last = ini.ReadString(CurrentSections[i], "LastFile", "");
        *currents[i] = last.empty() ? std::string() : ::GetTaskFileName(last, ListExtensions[i]);
    }
    UpdateAutoFlags(true);
    SysTray = SysTray || AutoFlags.WaitActive;
}

void TBuMainForm::UpdateAutoFlags(bool byRequestWaits)
{
    AutoFlags = GetAutoFlags(AutoTasks, byRequestWaits);
}

bool TBuMainForm::SaveToIni()
{
    if (!SettingsProtected.empty())
        return false;
    try {
        auto ini = TUnicodeIniFile::CreateForWrite(SettingsFile, false);
        ini.WriteProgramInfo("Program", "Vastrel");
        ini.WriteProgramInfo("Version", ProgVersion.empty() ? std::string("0.0.0.0") : ProgVersion);
        const char* c = "Config";
        if (WindowLeft >= 0 && WindowTop >= 0) {
            ini.WriteInteger(c, "Left", WindowLeft);
            ini.WriteInteger(c, "Top", WindowTop);
        }
        if (WindowWidth > 0 && WindowHeight > 0) {
            ini.WriteInteger(c, "Width", WindowWidth);
            ini.WriteInteger(c, "Height", WindowHeight);
        }
        ini.WriteInteger(c, "ErrorCount", ErrorCountValue);
        ini.WriteInteger(c, "LastError", LastError);
        ini.WriteBool(c, "SysTray", SysTray);
        ini.WriteInteger(c, "OldIcon", OldIcon);
        ini.WriteInteger(c, "TaskCount", static_cast<int>(AutoTasks.size()));
        for (size_t i = 0; i < AutoTasks.size(); ++i)
            AutoTasks[i]->SaveToIni(ini, "AutoTask" + std::to_string(i));
        const TStringList* lists[] = {&BackupList, &RestoreList, &VerifyList, &CleanupList};
        const std::string* currents[] = {&CurrentTask, &CurrentRest, &CurrentVerify, &CurrentClean};
        for (int i = 0; i < 4; ++i) {
            SaveTaskList(ini, ListSections[i], *lists[i]);
            ini.WriteString(CurrentSections[i], "LastFile",
                            currents[i]->empty() ? std::string()
                                                 : MakeRelativePath(TaskFolder, *currents[i]));
        }
        ini.UpdateFile();
        ErrorCountChanged = false;
        return true;
    } catch (const Exception& e) {
        FInteraction.ErrorBox(e.Message(), 0);
        return false;
    }
}

bool TBuMainForm::SaveLastError()
{
    if (!SettingsProtected.empty())
        return false;
    try {
        auto ini = TUnicodeIniFile::CreateForWrite(SettingsFile, false);
        ini.WriteInteger("Config", "LastError", LastError);
        ini.UpdateFile();
        return true;
    } catch (const Exception& e) {
        FInteraction.ErrorBox(e.Message(), 0);
        return false;
    }
}

TBuResult TBuMainForm::CheckAutoTasks(TDateTime today, TDateTime now)
{
    TBuResult result = brOK;
    bool resident = false;
    constexpr TDateTime second = 1.0 / 86400;
    for (int i = 0; i < AutoTaskSlotCount; ++i) {
        TAutoTask& slot = *AutoTasks[static_cast<size_t>(i)];
        if (slot.TaskPath.empty())
            continue;
        FEngine->BuStatus = bsCanceled;
        bool due = false;
        std::function<void()> afterSuccess;
        switch (slot.BuProcess) {
        case asLogon:
            due = true;
            break;
        case asDaily:
            due = std::floor(slot.LastTime) < today;
            break;
        case asDailyAt:
            if (slot.NextTime < now) {
                const TDateTime day = std::floor(slot.NextTime) == today ? today + 1 : today;
                slot.NextTime = NextScheduledDay(slot.WeekDay, true, day + FracOf(slot.NextTime));
                due = slot.RunIfMissed;
            }
            resident = true;
            break;
        case asLogoff:
            resident = true;
            break;
        case asWeekly:
            due = today + second > slot.NextTime && (slot.RunIfMissed || slot.WeekdayInSchedule(today));
            afterSuccess = [&slot, today] {
                slot.NextTime = NextScheduledDay(slot.WeekDay, false, today + 0.1 * second);
            };
            break;
        case asWeekDay:
            if (std::floor(slot.NextTime) < today) {
                if (slot.RunIfMissed)
                    due = true;
                else
                    slot.NextTime = NextScheduledDay(slot.WeekDay, true, today + 0.1 * second);
            }
            resident = resident || std::floor(slot.NextTime) - today < 2;
            break;
        case asNone:
        case asByRequest:
            break;
        }
        if (!due)
            continue;
        const int step = GetCycleStep(slot, slot.BuProcess, today);
        if (step < 0)
            continue;
        if (RunSlot(i, step, slot.AutoEnd, today, afterSuccess) == brError)
            result = brError;
        if (FEngine->BuStatus == bsCancelAll)
            break;
    }
    if (resident && (result == brOK || result == brError))
        result = brWait;
    return result;
}

TBuResult TBuMainForm::RunSessionEndSlots(TDateTime today, TDateTime now)
{
    constexpr TDateTime second = 1.0 / 86400;
    FailedTask = 0;
    TDateTime runDate = today;
    TBuResult result = brOK;
    for (int i = 0; i < AutoTaskSlotCount; ++i) {
        TAutoTask& slot = *AutoTasks[static_cast<size_t>(i)];
        if (slot.TaskPath.empty() || (slot.BuProcess != asLogoff && slot.BuProcess != asWeekDay))
            continue;
        FEngine->BuStatus = bsCanceled;
        TBuResult r = brOK;
        if (slot.BuProcess == asLogoff) {
            const bool logonToday = std::floor(LogonTime) == today;
            const bool due =
                FracOf(slot.NextTime) <= FracOf(now) || FracOf(slot.NextTime) < 1.0 / 1440 || !logonToday;
            if (!logonToday)
                runDate = today - 1; // a session that began yesterday backs up as of yesterday
            if (!due)
                continue;
            const int step = GetCycleStep(slot, asLogoff, runDate);
            if (step < 0)
                continue;
            r = RunSlot(i, step, slot.AutoEnd, runDate,
                        [&slot, runDate] { slot.NextTime = runDate + 1 + FracOf(slot.NextTime); });
        } else {
            if (!(runDate + second > slot.NextTime))
                continue;
            const int step = GetCycleStep(slot, asWeekDay, runDate);
            if (step < 0) {
                SaveAutoTaskState(i);
                continue;
            }
            r = RunSlot(i, step, slot.AutoEnd, runDate, [&slot, runDate] {
                slot.NextTime = NextScheduledDay(slot.WeekDay, false, runDate + 0.1 * second);
            });
        }
        if (r == brError)
            result = brError;
        if (ErrorState != 0)
            LastError = ErrorState + 100 * FailedTask;
        if (FEngine->BuStatus == bsCancelAll)
            break;
    }
    return result;
}

TBuResult TBuMainForm::RunLogoffBackups()
{
    const TBuResult result = RunBackupTasks("", 2, Cmd.InterActiveMode, Cmd.BuThPr);
    SaveLastError();
    return result;
}

bool TBuMainForm::ScheduleTick()
{
    if (!AutoFlags.WaitActive)
        return false;
    SetExitCode(0, 0);
    const TDateTime now = Now();
    const TDateTime today = std::floor(now);
    const std::vector<int> due = DueDailyAtSlots(AutoTasks, now);
    for (int i : due) {
        TAutoTask& slot = *AutoTasks[static_cast<size_t>(i)];
        const int step = GetCycleStep(slot, asDailyAt, today);
        if (step >= 0)
            RunSlot(i, step, slot.AutoEnd, today);
    }
    return !due.empty();
}

int TBuMainForm::RunHandedOver(const THandOver& request)
{
    TCmdLineValues values;
    bool reportFlag = true;
    auto report = [this](const std::string& text) { FInteraction.ErrorBox(text, 0); };
    ParseCmdLine(values, request.Args, FFolders.ProgramDir, reportFlag, report);
    // Relative names were meant from the folder of the start that handed them over.
    std::string tasks;
    for (const auto& item : SplitTaskList(values.CmdTasks)) {
        std::string path = item;
        if (!IsAbsolutePath(path) && !request.Dir.empty() &&
            XlFileExists(ForceExtension(AddPathDelimiter(request.Dir) + path, "buj", 0)))
            path = AddPathDelimiter(request.Dir) + path;
        if (!tasks.empty())
            tasks += ",";
        tasks += path.find_first_of(" ,\"") == std::string::npos
                     ? path
                     : "\"" + ReplaceAll(path, "\"", "\"\"") + "\"";
    }
    const TInteraction interAct = values.InterActiveMode == iaNone ? iaDelay : values.InterActiveMode;
    // The run belongs to the start that asked for it: no power action of this instance follows it.
    const bool allow = Cmd.AllowAction;
    Cmd.AllowAction = false;
    RunBackupTasks(tasks, 1, interAct, values.BuThPr);
    Cmd.AllowAction = allow;
    SaveErrorCount();
    return ErrorState;
}
