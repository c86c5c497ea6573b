#pragma once
// Scheduled task definitions: registration information, principal, settings, program actions and
// triggers of one task of the suite's task store, with the text forms that the store keeps times and
// durations in (date-and-time texts yyyy-mm-ddThh:nn:ss with an optional zone suffix, duration texts
// P<n>D or PT<h>H<m>M<s>S).
//
// A TWinTask works on a TTaskDefinition, the stored form of a definition: every property reads and
// writes that record at the moment of access, converting between the stored texts and the suite's value
// types (times as TDateTime, durations in seconds or hours, sets as bit masks). The store writes the
// record as one XML file (TaskDefinitionToXml, TaskDefinitionFromXml).

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "backup/TaskSettings.h" // TThreadPriority
#include "rtl/DateTime.h"
#include "rtl/SysUtils.h"
#include "scheduling/TaskXml.h"

// --- Result codes of the scheduler (HRESULT values as the callers compare them)

using HRESULT = int32_t;

constexpr HRESULT S_OK = 0;
constexpr HRESULT SCHED_S_TASK_READY = 0x00041300;
constexpr HRESULT SCHED_S_TASK_RUNNING = 0x00041301;
constexpr HRESULT SCHED_S_TASK_HAS_NOT_RUN = 0x00041303;
constexpr HRESULT SCHED_S_TASK_TERMINATED = 0x00041306;
constexpr HRESULT SCHED_E_SERVICE_NOT_RUNNING = static_cast<HRESULT>(0x80041315);
constexpr HRESULT SCHED_E_TASK_NOT_RUNNING = static_cast<HRESULT>(0x8004130B);
constexpr HRESULT SCHED_E_UNSUPPORTED_ACCOUNT_OPTION = static_cast<HRESULT>(0x80041314);
constexpr HRESULT SCHED_E_MALFORMED_XML = static_cast<HRESULT>(0x8004131A);
constexpr HRESULT SCHED_E_NO_OS_SUPPORT = static_cast<HRESULT>(0xA0001322);
constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057);
constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005);

// A Windows-style error code as a failure result (0x8007xxxx).
HRESULT HResultFromWin32(uint32_t code);
inline bool Succeeded(HRESULT hr)
{
    return hr >= 0;
}
inline bool Failed(HRESULT hr)
{
    return hr < 0;
}

// A failing scheduler call: the result code and its message.
class EOleSysError : public Exception
{
public:
    EOleSysError(std::string msg, HRESULT code) : Exception(std::move(msg)), ErrorCode(code) {}
    HRESULT ErrorCode;
};

// --- Enumerations (ordinals are the positions)

enum TLogonType
{
    ltNone,
    ltPassword,
    ltS4U,
    ltToken,
    ltGroup,
    ltService,
    ltTokenPassword
};

enum TWinTaskCompatibility
{
    tcAT,
    tcXP,
    tcVista,
    tcWin7,
    tcWin10
};

enum TMultipleInstances
{
    miParallel,
    miQueue,
    miIgnoreNew,
    miStopExisting
};

enum TWinTaskActionType
{
    taExec,
    taCom,
    taMail,
    taMessage
};

enum TWinTaskTriggerType
{
    ttEvent,
    ttTime,
    ttDaily,
    ttWeekly,
    ttMonthly,
    ttMonthlyDow,
    ttIdle,
    ttRegistration,
    ttBoot,
    ttLogon,
    ttSessionStateChange,
    ttCustom
};

// --- Stored form

// One trigger as the store keeps it. Type is the stored trigger type number (0 event, 1 one time,
// 2 daily, 3 weekly, 4 monthly, 5 monthly day of week, 6 idle, 7 registration, 8 boot, 9 logon,
// 11 session state change, 12 and others custom).
struct TTriggerData
{
    int Type = 1;
    std::string Id;
    bool Enabled = true;
    std::string StartBoundary;
    std::string EndBoundary;
    std::string ExecutionTimeLimit;
    std::string RepetitionInterval;
    std::string RepetitionDuration;
    bool StopAtDurationEnd = false;
    std::string Delay;
    std::string RandomDelay;
    int DaysInterval = 1;
    int WeeksInterval = 1;
    int DaysOfWeek = 0;
    uint32_t DaysOfMonth = 0;
    int MonthsOfYear = 0;
    int WeeksOfMonth = 0;
    bool RunOnLastDayOfMonth = false;
    bool RunOnLastWeekOfMonth = false;
    std::string UserId;
    std::string Subscription;
    // The stored element of a trigger type this program does not know, written back unchanged.
    std::shared_ptr<TXmlNode> Unknown;
};

struct TActionData
{
    int Type = 0; // 0 program, 5 COM handler, 6 mail, 7 message
    std::string Id;
    std::string Path;
    std::string Arguments;
    std::string WorkingDirectory;
    std::shared_ptr<TXmlNode> Unknown;
};

struct TTaskDefinition
{
    // registration information
    std::string Author;
    std::string Description;
    std::string Documentation;
    std::string Date;
    std::string Data; // UserData
    // principal
    std::string PrincipalId = "Author";
    std::string UserId;
    std::string DisplayName;
    std::string GroupId;
    int LogonType = 3;
    int RunLevel = 0;
    // settings
    bool Enabled = true;
    bool AllowDemandStart = true;
    bool AllowHardTerminate = true;
    int Compatibility = 2;
    std::string DeleteExpiredTaskAfter;
    bool DisallowStartIfOnBatteries = true;
    bool StopIfGoingOnBatteries = true;
    std::string ExecutionTimeLimit = "PT72H";
    bool Hidden = false;
    int MultipleInstances = 2;
    int Priority = 7;
    int RestartCount = 0;
    std::string RestartInterval;
    bool StartWhenAvailable = false;
    bool RunOnlyIfIdle = false;
    bool RunOnlyIfNetworkAvailable = false;
    bool WakeToRun = false;
    std::string IdleDuration = "PT10M";
    std::string IdleWaitTimeout = "PT1H";
    bool IdleStopOnIdleEnd = true;
    bool IdleRestartOnIdle = false;

    std::vector<std::shared_ptr<TTriggerData>> Triggers;
    std::vector<std::shared_ptr<TActionData>> Actions;
};

// The XML text of a definition and back. Reading raises EXmlError on text that is not well-formed and
// on a root that is not a task; unknown elements are ignored, triggers and actions of unknown types are
// kept as they stand.
std::string TaskDefinitionToXml(const TTaskDefinition& def);
TTaskDefinition TaskDefinitionFromXml(const std::string& xml);

// --- Text forms

// Date-and-time text to TDateTime; withZone reports whether anything follows the seconds. An empty or
// invalid text gives 0 with withZone False.
TDateTime IsoStrToDateTime(const std::string& text, bool& withZone);
TDateTime IsoStrToDateTime(const std::string& text);
// Empty below 1; with WithZone the local zone's current offset ("Z", "+hh:nn", "-hh:nn").
std::string DateTimeToIsoStr(bool WithZone, TDateTime DateTime);
// Empty before 1 January 2000; else the short date and the long time (left out at exactly midnight).
std::string TaskDateTimeToStr(TDateTime DateTime);
uint32_t DurationToSeconds(const std::string& text);
std::string SecondsToDuration(uint32_t seconds);
// A program path with its enclosing double quotes removed (a doubled quote inside stands for one).
std::string UnquotePath(const std::string& path);

// --- Object layer

class TWinTask;

class TWinTaskTrigger
{
public:
    TWinTaskTrigger() = default;
    // Binds the item to a stored trigger: the kind is read once, and the zone flag from its start text.
    void SetTaskTrigger(std::shared_ptr<TTriggerData> Value);
    void SetToDefault(const std::string& AUserId);

    const std::shared_ptr<TTriggerData>& TaskTrigger() const { return pTrigger; }
    TWinTaskTriggerType TriggerType() const;
    std::string TriggerTypeAsString() const;
    std::string TriggerString() const;

    std::string Id() const;
    void SetId(const std::string& v);
    bool Enabled() const;
    void SetEnabled(bool v);
    TDateTime StartTime() const;
    void SetStartTime(TDateTime v);
    TDateTime EndTime() const;
    void SetEndTime(TDateTime v);
    bool UseTimeZone() const { return FTimeZone; }
    void SetUseTimeZone(bool v) { FTimeZone = v; }
    uint32_t ExecutionTimeLimit() const;
    void SetExecutionTimeLimit(uint32_t v);
    uint32_t Interval() const;
    void SetInterval(uint32_t v);
    uint32_t Duration() const;
    void SetDuration(uint32_t v);
    bool StopAtDurationEnd() const;
    void SetStopAtDurationEnd(bool v);
    uint32_t Delay() const;
    void SetDelay(uint32_t v);
    uint32_t RandomDelay() const;
    void SetRandomDelay(uint32_t v);
    int16_t DaysInterval() const;
    void SetDaysInterval(int16_t v);
    int WeeksInterval() const;
    void SetWeeksInterval(int v);
    int DaysOfWeek() const;
    void SetDaysOfWeek(int v);
    int32_t DaysOfMonth() const;
    void SetDaysOfMonth(int32_t v);
    int MonthsOfYear() const;
    void SetMonthsOfYear(int v);
    int WeeksOfMonth() const;
    void SetWeeksOfMonth(int v);
    bool RunOnLastDayOfMonth() const;
    void SetRunOnLastDayOfMonth(bool v);
    bool RunOnLastWeekOfMonth() const;
    void SetRunOnLastWeekOfMonth(bool v);
    std::string LogonUserId() const;
    void SetLogonUserId(const std::string& v);
    std::string Subscription() const;
    void SetSubscription(const std::string& v);

private:
    bool Is(std::initializer_list<TWinTaskTriggerType> kinds) const;
    std::shared_ptr<TTriggerData> pTrigger;
    TWinTaskTriggerType FTriggerType = ttCustom;
    bool FTimeZone = false;
};

// The service's trigger type number of a kind and back.
int TriggerTypeToService(TWinTaskTriggerType t);
TWinTaskTriggerType TriggerTypeFromService(int type);
std::string TriggerTypeText(TWinTaskTriggerType t);

class TWinTaskTriggers
{
public:
    explicit TWinTaskTriggers(TWinTask* ATask) : FTask(ATask) {}
    TWinTaskTrigger* New(TWinTaskTriggerType ATriggerType);
    TWinTaskTrigger* Add(std::shared_ptr<TTriggerData> ATrigger);
    void ClearAll();
    // Removes the stored trigger at AIndex and its item; raises EListError-like Exception when out of range.
    void Remove(int AIndex);
    void Clear() { FItems.clear(); }
    int Count() const { return static_cast<int>(FItems.size()); }
    TWinTaskTrigger* Items(int i) const;

private:
    TWinTask* FTask;
    std::vector<std::unique_ptr<TWinTaskTrigger>> FItems;
};

class TWinTaskAction
{
public:
    void SetTaskAction(std::shared_ptr<TActionData> Value) { pAction = std::move(Value); }
    const std::shared_ptr<TActionData>& TaskAction() const { return pAction; }
    TWinTaskActionType ActionType() const;
    std::string ActionTypeAsString() const;
    std::string Id() const { return pAction->Id; }
    void SetId(const std::string& v) { pAction->Id = v; }
    // Program actions only (others raise EOleSysError E_NOINTERFACE).
    std::string Path() const;
    void SetPath(const std::string& v);
    std::string Arguments() const;
    void SetArguments(const std::string& v);
    std::string WorkingDirectory() const;
    void SetWorkingDirectory(const std::string& v);

private:
    void NeedExec() const;
    std::shared_ptr<TActionData> pAction;
};

class TWinTaskActions
{
public:
    explicit TWinTaskActions(TWinTask* ATask) : FTask(ATask) {}
    TWinTaskAction* New(TWinTaskActionType AActionType);
    TWinTaskAction* Add(std::shared_ptr<TActionData> AAction);
    void ClearAll();
    void Remove(int AIndex);
    void Clear() { FItems.clear(); }
    int Count() const { return static_cast<int>(FItems.size()); }
    TWinTaskAction* Items(int i) const;

private:
    TWinTask* FTask;
    std::vector<std::unique_ptr<TWinTaskAction>> FItems;
};

class TWinTaskIdleSettings
{
public:
    explicit TWinTaskIdleSettings(TTaskDefinition* d) : FDef(d) {}
    uint32_t IdleDuration() const { return DurationToSeconds(FDef->IdleDuration); }
    void SetIdleDuration(uint32_t v) { FDef->IdleDuration = SecondsToDuration(v); }
    uint32_t WaitTimeout() const { return DurationToSeconds(FDef->IdleWaitTimeout); }
    void SetWaitTimeout(uint32_t v) { FDef->IdleWaitTimeout = SecondsToDuration(v); }
    bool StopOnIdleEnd() const { return FDef->IdleStopOnIdleEnd; }
    void SetStopOnIdleEnd(bool v) { FDef->IdleStopOnIdleEnd = v; }
    bool RestartOnIdle() const { return FDef->IdleRestartOnIdle; }
    void SetRestartOnIdle(bool v) { FDef->IdleRestartOnIdle = v; }

private:
    TTaskDefinition* FDef;
};

class TWinTaskSettings
{
public:
    explicit TWinTaskSettings(TTaskDefinition* d) : FDef(d), FIdleSettings(d) {}
    bool AllowDemandStart() const { return FDef->AllowDemandStart; }
    void SetAllowDemandStart(bool v) { FDef->AllowDemandStart = v; }
    bool AllowHardTerminate() const { return FDef->AllowHardTerminate; }
    void SetAllowHardTerminate(bool v) { FDef->AllowHardTerminate = v; }
    TWinTaskCompatibility Compatibility() const;
    void SetCompatibility(TWinTaskCompatibility v) { FDef->Compatibility = static_cast<int>(v); }
    int DeleteExpiredTaskAfter() const;
    void SetDeleteExpiredTaskAfter(int hours);
    bool DisallowOnBatteries() const { return FDef->DisallowStartIfOnBatteries; }
    void SetDisallowOnBatteries(bool v) { FDef->DisallowStartIfOnBatteries = v; }
    uint32_t ExecutionTimeLimit() const { return DurationToSeconds(FDef->ExecutionTimeLimit) / 3600; }
    void SetExecutionTimeLimit(uint32_t hours) { FDef->ExecutionTimeLimit = SecondsToDuration(hours * 3600); }
    bool Hidden() const { return FDef->Hidden; }
    void SetHidden(bool v) { FDef->Hidden = v; }
    TWinTaskIdleSettings& IdleSettings() { return FIdleSettings; }
    TMultipleInstances MultipleInstances() const;
    void SetMultipleInstances(TMultipleInstances v) { FDef->MultipleInstances = static_cast<int>(v); }
    TThreadPriority Priority() const;
    void SetPriority(TThreadPriority v);
    uint32_t RestartCount() const { return static_cast<uint32_t>(FDef->RestartCount); }
    void SetRestartCount(uint32_t v) { FDef->RestartCount = static_cast<int>(v); }
    uint32_t RestartInterval() const { return DurationToSeconds(FDef->RestartInterval) / 60; }
    void SetRestartInterval(uint32_t minutes) { FDef->RestartInterval = SecondsToDuration(minutes * 60); }
    bool RunIfMissed() const { return FDef->StartWhenAvailable; }
    void SetRunIfMissed(bool v) { FDef->StartWhenAvailable = v; }
    bool RunOnlyIfIdle() const { return FDef->RunOnlyIfIdle; }
    void SetRunOnlyIfIdle(bool v) { FDef->RunOnlyIfIdle = v; }
    bool RunOnlyIfNetwork() const { return FDef->RunOnlyIfNetworkAvailable; }
    void SetRunOnlyIfNetwork(bool v) { FDef->RunOnlyIfNetworkAvailable = v; }
    bool StopOnBatteries() const { return FDef->StopIfGoingOnBatteries; }
    void SetStopOnBatteries(bool v) { FDef->StopIfGoingOnBatteries = v; }
    bool WakeToRun() const { return FDef->WakeToRun; }
    void SetWakeToRun(bool v) { FDef->WakeToRun = v; }

private:
    TTaskDefinition* FDef;
    TWinTaskIdleSettings FIdleSettings;
};

class TWinTask
{
public:
    explicit TWinTask(std::shared_ptr<TTaskDefinition> ADefinition);
    TWinTask(const TWinTask&) = delete;
    TWinTask& operator=(const TWinTask&) = delete;

    TTaskDefinition& Definition() { return *pDefinition; }
    const TTaskDefinition& Definition() const { return *pDefinition; }

    void Refresh();
    TWinTaskAction* NewAction(TWinTaskActionType AActionType);
    bool DeleteAction(int AIndex);
    TWinTaskTrigger* NewTrigger(TWinTaskTriggerType ATriggerType);
    bool DeleteTrigger(int AIndex);
    int IndexOfApp(const std::string& AppFilter);
    int IndexOfNextExecAction(int FromIndex);

    std::string Author() const { return pDefinition->Author; }
    void SetAuthor(const std::string& v) { pDefinition->Author = v; }
    std::string Description() const { return pDefinition->Description; }
    void SetDescription(const std::string& v) { pDefinition->Description = v; }
    std::string Documentation() const { return pDefinition->Documentation; }
    void SetDocumentation(const std::string& v) { pDefinition->Documentation = v; }
    TDateTime Date() const { return IsoStrToDateTime(pDefinition->Date); }
    void SetDate(TDateTime v) { pDefinition->Date = DateTimeToIsoStr(false, v); }
    std::string DateAsString() const { return TaskDateTimeToStr(Date()); }
    std::string UserData() const { return pDefinition->Data; }
    void SetUserData(const std::string& v) { pDefinition->Data = v; }
    std::string XmlText() const { return TaskDefinitionToXml(*pDefinition); }
    // Replaces the whole definition (raises EOleSysError SCHED_E_MALFORMED_XML on a bad text).
    void SetXmlText(const std::string& v);
    std::string DisplayName() const { return pDefinition->DisplayName; }
    void SetDisplayName(const std::string& v) { pDefinition->DisplayName = v; }
    std::string GroupId() const { return pDefinition->GroupId; }
    void SetGroupId(const std::string& v) { pDefinition->GroupId = v; }
    std::string Id() const { return pDefinition->PrincipalId; }
    void SetId(const std::string& v) { pDefinition->PrincipalId = v; }
    std::string UserId() const { return pDefinition->UserId; }
    void SetUserId(const std::string& v) { pDefinition->UserId = v; }
    TLogonType LogonType() const;
    void SetLogonType(TLogonType v) { pDefinition->LogonType = static_cast<int>(v); }
    bool HighestRunLevel() const { return pDefinition->RunLevel == 1; }
    void SetHighestRunLevel(bool v) { pDefinition->RunLevel = v ? 1 : 0; }
    std::string CompatibilityAsString() const;
    TWinTaskSettings& Settings() { return FSettings; }
    const TWinTaskSettings& Settings() const { return FSettings; }
    int SelectedAction() const { return FSelectedAction; }
    int ActionCount() const { return FActions.Count(); }
    int TriggerCount() const { return FTriggers.Count(); }
    TWinTaskAction* GetAction(int Index) const;
    TWinTaskTrigger* GetTrigger(int Index) const;

private:
    friend class TWinTaskTriggers;
    friend class TWinTaskActions;
    std::shared_ptr<TTaskDefinition> pDefinition;
    TWinTaskActions FActions;
    int FSelectedAction = -1;
    TWinTaskTriggers FTriggers;
    TWinTaskSettings FSettings;
};
