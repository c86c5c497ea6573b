#include "scheduling/WinTask.h"

#include <algorithm>
#include <cctype>

#include "foundation/StringUtils.h"
#include "rtl/Clock.h"
#include "rtl/Gettext.h"

HRESULT HResultFromWin32(uint32_t code)
{
    if (code == 0)
        return S_OK;
    return static_cast<HRESULT>(0x80070000u | (code & 0xFFFFu));
}

// --- Text forms

namespace {

// Skips to the next digit, reads the digits (as an unsigned 16-bit value) and drops what was read.
uint16_t ReadIsoNumber(std::string& s)
{
    size_t i = 0;
    while (i < s.size() && !std::isdigit(static_cast<unsigned char>(s[i])))
        ++i;
    uint32_t value = 0;
    while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) {
        value = (value * 10 + static_cast<uint32_t>(s[i] - '0')) & 0xFFFFu;
        ++i;
    }
    s.erase(0, i);
    return static_cast<uint16_t>(value);
}

} // namespace

TDateTime IsoStrToDateTime(const std::string& text, bool& withZone)
{
    withZone = false;
    if (text.empty())
        return 0;
    std::string s = text;
    int n[6];
    for (int& v : n)
        v = ReadIsoNumber(s);
    TDateTime d = 0, t = 0;
    if (!TryEncodeDate(n[0], n[1], n[2], d) || !TryEncodeTime(n[3], n[4], n[5], 0, t))
        return 0;
    withZone = !s.empty();
    return d + t;
}

TDateTime IsoStrToDateTime(const std::string& text)
{
    bool zone = false;
    return IsoStrToDateTime(text, zone);
}

std::string DateTimeToIsoStr(bool WithZone, TDateTime DateTime)
{
    if (DateTime < 1)
        return "";
    std::string s = FormatDateTime("yyyy-mm-dd\"T\"hh:nn:ss", DateTime);
    if (WithZone) {
        int64_t offset = UtcOffsetSeconds(DateTimeToUnix(Clock::Current().NowUtc())) / 60;
        if (offset == 0) {
            s += "Z";
        } else {
            s += offset < 0 ? "-" : "+";
            int64_t a = offset < 0 ? -offset : offset;
            s += Format("%.2d:%.2d", {static_cast<int>(a / 60), static_cast<int>(a % 60)});
        }
    }
    return s;
}

std::string TaskDateTimeToStr(TDateTime DateTime)
{
    if (DateTime < EncodeDate(2000, 1, 1))
        return "";
    std::string s = FormatDateTime("ddddd", DateTime);
    if (TimeOf(DateTime) * SecsPerDay >= 0.5)
        s += " " + FormatDateTime("tt", DateTime);
    return s;
}

uint32_t DurationToSeconds(const std::string& text)
{
    if (text.empty() || (text[0] != 'P' && text[0] != 'p'))
        return 0;
    std::string s = text.substr(1);
    if (s.empty() || (s[0] != 'T' && s[0] != 't')) {
        uint32_t days = ReadIsoNumber(s);
        return !s.empty() && (s[0] == 'D' || s[0] == 'd') ? days * 86400u : 0;
    }
    s.erase(0, 1);
    uint32_t total = 0;
    while (!s.empty()) {
        uint32_t v = ReadIsoNumber(s);
        if (s.empty())
            break;
        char unit = static_cast<char>(std::toupper(static_cast<unsigned char>(s[0])));
        if (unit == 'H')
            total += v * 3600;
        else if (unit == 'M')
            total += v * 60;
        else if (unit == 'S')
            total += v;
        s.erase(0, 1);
    }
    return total;
}

std::string SecondsToDuration(uint32_t seconds)
{
    if (seconds == 0)
        return "";
    if (seconds >= 86400)
        return "P" + std::to_string(seconds / 86400) + "D";
    std::string s = "PT";
    uint32_t h = seconds / 3600, m = seconds % 3600 / 60, sec = seconds % 60;
    if (h)
        s += std::to_string(h) + "H";
    if (m)
        s += std::to_string(m) + "M";
    if (sec)
        s += std::to_string(sec) + "S";
    return s;
}

std::string UnquotePath(const std::string& path)
{
    if (path.empty() || path[0] != '"')
        return path;
    std::string out;
    size_t i = 1;
    for (; i < path.size(); ++i) {
        if (path[i] == '"') {
            if (i + 1 < path.size() && path[i + 1] == '"') {
                out += '"';
                ++i;
                continue;
            }
            break;
        }
        out += path[i];
    }
    if (i >= path.size()) // never closed
        return path;
    if (out.empty() && path.size() > 2 && path.back() == '"')
        return path.substr(1, path.size() - 2);
    return out;
}

// --- XML form

namespace {

const char* const TaskNamespace = "urn:vastrel:task";

std::string BoolText(bool b)
{
    return b ? "true" : "false";
}

bool TextBool(const std::string& s, bool fallback)
{
    if (s == "true" || s == "1")
        return true;
    if (s == "false" || s == "0")
        return false;
    return fallback;
}

int TextInt(const std::string& s, int fallback)
{
    if (s.empty())
        return fallback;
    try {
        size_t used = 0;
        long long v = std::stoll(s, &used, 0);
        if (used != s.size() || v < INT32_MIN || v > UINT32_MAX)
            return fallback;
        return static_cast<int>(static_cast<int64_t>(static_cast<uint32_t>(v)));
    } catch (...) {
        return fallback;
    }
}

const char* const TriggerElements[] = {
    "EventTrigger",      "TimeTrigger", "DailyTrigger",        "WeeklyTrigger", "MonthlyTrigger",
    "MonthlyDOWTrigger", "IdleTrigger", "RegistrationTrigger", "BootTrigger",   "LogonTrigger"};

void PutText(TXmlNode& n, const char* name, const std::string& value)
{
    if (!value.empty())
        n.Add(name, value);
}

} // namespace

std::string TaskDefinitionToXml(const TTaskDefinition& d)
{
    TXmlNode root("Task");
    root.SetAttribute("version", "1");
    root.SetAttribute("xmlns", TaskNamespace);
    TXmlNode& reg = root.Add("RegistrationInfo");
    PutText(reg, "Date", d.Date);
    PutText(reg, "Author", d.Author);
    PutText(reg, "Description", d.Description);
    PutText(reg, "Documentation", d.Documentation);

    TXmlNode& trs = root.Add("Triggers");
    for (const auto& t : d.Triggers) {
        if (t->Unknown) {
            trs.AddNode(*t->Unknown);
            continue;
        }
        const char* name = t->Type >= 0 && t->Type <= 9 ? TriggerElements[t->Type]
                           : t->Type == 11              ? "SessionStateChangeTrigger"
                                                        : nullptr;
        TXmlNode& n = trs.Add(name ? name : "CustomTrigger");
        if (!name)
            n.SetAttribute("type", std::to_string(t->Type));
        PutText(n, "Id", t->Id);
        n.Add("Enabled", BoolText(t->Enabled));
        PutText(n, "StartBoundary", t->StartBoundary);
        PutText(n, "EndBoundary", t->EndBoundary);
        PutText(n, "ExecutionTimeLimit", t->ExecutionTimeLimit);
        if (!t->RepetitionInterval.empty() || !t->RepetitionDuration.empty() || t->StopAtDurationEnd) {
            TXmlNode& r = n.Add("Repetition");
            PutText(r, "Interval", t->RepetitionInterval);
            PutText(r, "Duration", t->RepetitionDuration);
            r.Add("StopAtDurationEnd", BoolText(t->StopAtDurationEnd));
        }
        PutText(n, "Delay", t->Delay);
        PutText(n, "RandomDelay", t->RandomDelay);
        switch (t->Type) {
        case 2:
            n.Add("DaysInterval", std::to_string(t->DaysInterval));
            break;
        case 3:
            n.Add("WeeksInterval", std::to_string(t->WeeksInterval));
            n.Add("DaysOfWeek", std::to_string(t->DaysOfWeek));
            break;
        case 4:
            n.Add("DaysOfMonth", std::to_string(t->DaysOfMonth));
            n.Add("MonthsOfYear", std::to_string(t->MonthsOfYear));
            n.Add("RunOnLastDayOfMonth", BoolText(t->RunOnLastDayOfMonth));
            break;
        case 5:
            n.Add("WeeksOfMonth", std::to_string(t->WeeksOfMonth));
            n.Add("DaysOfWeek", std::to_string(t->DaysOfWeek));
            n.Add("MonthsOfYear", std::to_string(t->MonthsOfYear));
            n.Add("RunOnLastWeekOfMonth", BoolText(t->RunOnLastWeekOfMonth));
            break;
        case 0:
            PutText(n, "Subscription", t->Subscription);
            break;
        case 9:
            PutText(n, "UserId", t->UserId);
            break;
        default:
            break;
        }
    }

    TXmlNode& princ = root.Add("Principals").Add("Principal");
    princ.SetAttribute("id", d.PrincipalId);
    PutText(princ, "UserId", d.UserId);
    PutText(princ, "DisplayName", d.DisplayName);
    PutText(princ, "GroupId", d.GroupId);
    princ.Add("LogonType", std::to_string(d.LogonType));
    princ.Add("RunLevel", std::to_string(d.RunLevel));

    TXmlNode& s = root.Add("Settings");
    s.Add("Enabled", BoolText(d.Enabled));
    s.Add("AllowStartOnDemand", BoolText(d.AllowDemandStart));
    s.Add("AllowHardTerminate", BoolText(d.AllowHardTerminate));
    s.Add("Compatibility", std::to_string(d.Compatibility));
    if (!d.DeleteExpiredTaskAfter.empty())
        s.Add("DeleteExpiredTaskAfter", d.DeleteExpiredTaskAfter);
    s.Add("DisallowStartIfOnBatteries", BoolText(d.DisallowStartIfOnBatteries));
    s.Add("StopIfGoingOnBatteries", BoolText(d.StopIfGoingOnBatteries));
    PutText(s, "ExecutionTimeLimit", d.ExecutionTimeLimit);
    s.Add("Hidden", BoolText(d.Hidden));
    s.Add("MultipleInstancesPolicy", std::to_string(d.MultipleInstances));
    s.Add("Priority", std::to_string(d.Priority));
    if (d.RestartCount > 0 || !d.RestartInterval.empty()) {
        TXmlNode& r = s.Add("RestartOnFailure");
        r.Add("Count", std::to_string(d.RestartCount));
        PutText(r, "Interval", d.RestartInterval);
    }
    s.Add("StartWhenAvailable", BoolText(d.StartWhenAvailable));
    s.Add("RunOnlyIfIdle", BoolText(d.RunOnlyIfIdle));
    s.Add("RunOnlyIfNetworkAvailable", BoolText(d.RunOnlyIfNetworkAvailable));
    s.Add("WakeToRun", BoolText(d.WakeToRun));
    TXmlNode& idle = s.Add("IdleSettings");
    PutText(idle, "Duration", d.IdleDuration);
    PutText(idle, "WaitTimeout", d.IdleWaitTimeout);
    idle.Add("StopOnIdleEnd", BoolText(d.IdleStopOnIdleEnd));
    idle.Add("RestartOnIdle", BoolText(d.IdleRestartOnIdle));

    PutText(root, "Data", d.Data);

    TXmlNode& acts = root.Add("Actions");
    for (const auto& a : d.Actions) {
        if (a->Unknown) {
            acts.AddNode(*a->Unknown);
            continue;
        }
        const char* name = a->Type == 5   ? "ComHandler"
                           : a->Type == 6 ? "SendEmail"
                           : a->Type == 7 ? "ShowMessage"
                                          : "Exec";
        TXmlNode& n = acts.Add(name);
        if (!a->Id.empty())
            n.SetAttribute("id", a->Id);
        if (a->Type == 0) {
            n.Add("Command", a->Path);
            PutText(n, "Arguments", a->Arguments);
            PutText(n, "WorkingDirectory", a->WorkingDirectory);
        }
    }
    return WriteXml(root);
}

TTaskDefinition TaskDefinitionFromXml(const std::string& xml)
{
    TXmlNode root = ParseXml(xml);
    if (root.Name != "Task")
        throw EXmlError("The XML text is not a task definition");
    TTaskDefinition d;
    if (const TXmlNode* reg = root.Child("RegistrationInfo")) {
        d.Date = reg->ChildText("Date");
        d.Author = reg->ChildText("Author");
        d.Description = reg->ChildText("Description");
        d.Documentation = reg->ChildText("Documentation");
    }
    d.Data = root.ChildText("Data");
    if (const TXmlNode* ps = root.Child("Principals"))
        if (const TXmlNode* p = ps->Child("Principal")) {
            d.PrincipalId = p->Attribute("id", d.PrincipalId);
            d.UserId = p->ChildText("UserId");
            d.DisplayName = p->ChildText("DisplayName");
            d.GroupId = p->ChildText("GroupId");
            d.LogonType = TextInt(p->ChildText("LogonType"), d.LogonType);
            d.RunLevel = TextInt(p->ChildText("RunLevel"), d.RunLevel);
        }
    if (const TXmlNode* s = root.Child("Settings")) {
        d.Enabled = TextBool(s->ChildText("Enabled"), d.Enabled);
        d.AllowDemandStart = TextBool(s->ChildText("AllowStartOnDemand"), d.AllowDemandStart);
        d.AllowHardTerminate = TextBool(s->ChildText("AllowHardTerminate"), d.AllowHardTerminate);
        d.Compatibility = TextInt(s->ChildText("Compatibility"), d.Compatibility);
        d.DeleteExpiredTaskAfter = s->ChildText("DeleteExpiredTaskAfter");
        d.DisallowStartIfOnBatteries =
            TextBool(s->ChildText("DisallowStartIfOnBatteries"), d.DisallowStartIfOnBatteries);
        d.StopIfGoingOnBatteries = TextBool(s->ChildText("StopIfGoingOnBatteries"), d.StopIfGoingOnBatteries);
        d.ExecutionTimeLimit = s->ChildText("ExecutionTimeLimit");
        d.Hidden = TextBool(s->ChildText("Hidden"), d.Hidden);
        d.MultipleInstances = TextInt(s->ChildText("MultipleInstancesPolicy"), d.MultipleInstances);
        d.Priority = TextInt(s->ChildText("Priority"), d.Priority);
        if (const TXmlNode* r = s->Child("RestartOnFailure")) {
            d.RestartCount = TextInt(r->ChildText("Count"), 0);
            d.RestartInterval = r->ChildText("Interval");
        }
        d.StartWhenAvailable = TextBool(s->ChildText("StartWhenAvailable"), d.StartWhenAvailable);
        d.RunOnlyIfIdle = TextBool(s->ChildText("RunOnlyIfIdle"), d.RunOnlyIfIdle);
        d.RunOnlyIfNetworkAvailable =
            TextBool(s->ChildText("RunOnlyIfNetworkAvailable"), d.RunOnlyIfNetworkAvailable);
        d.WakeToRun = TextBool(s->ChildText("WakeToRun"), d.WakeToRun);
        if (const TXmlNode* idle = s->Child("IdleSettings")) {
            d.IdleDuration = idle->ChildText("Duration");
            d.IdleWaitTimeout = idle->ChildText("WaitTimeout");
            d.IdleStopOnIdleEnd = TextBool(idle->ChildText("StopOnIdleEnd"), d.IdleStopOnIdleEnd);
            d.IdleRestartOnIdle = TextBool(idle->ChildText("RestartOnIdle"), d.IdleRestartOnIdle);
        }
    }
    if (const TXmlNode* trs = root.Child("Triggers"))
        for (const auto& n : trs->Children) {
            auto t = std::make_shared<TTriggerData>();
            int type = -1;
            for (int i = 0; i <= 9; ++i)
                if (n->Name == TriggerElements[i])
                    type = i;
            if (n->Name == "SessionStateChangeTrigger")
                type = 11;
            else if (n->Name == "CustomTrigger")
                type = std::max(10, TextInt(n->Attribute("type"), 12));
            if (type < 0) {
                // a kind this program does not know: kept as it stands, read as a custom trigger
                t->Type = 12;
                t->Unknown = std::make_shared<TXmlNode>(*n);
                t->Enabled = TextBool(n->ChildText("Enabled"), true);
                t->StartBoundary = n->ChildText("StartBoundary");
                d.Triggers.push_back(t);
                continue;
            }
            t->Type = type;
            t->Id = n->ChildText("Id");
            t->Enabled = TextBool(n->ChildText("Enabled"), true);
            t->StartBoundary = n->ChildText("StartBoundary");
            t->EndBoundary = n->ChildText("EndBoundary");
            t->ExecutionTimeLimit = n->ChildText("ExecutionTimeLimit");
            if (const TXmlNode* r = n->Child("Repetition")) {
                t->RepetitionInterval = r->ChildText("Interval");
                t->RepetitionDuration = r->ChildText("Duration");
                t->StopAtDurationEnd = TextBool(r->ChildText("StopAtDurationEnd"), false);
            }
            t->Delay = n->ChildText("Delay");
            t->RandomDelay = n->ChildText("RandomDelay");
            t->DaysInterval = TextInt(n->ChildText("DaysInterval"), 1);
            t->WeeksInterval = TextInt(n->ChildText("WeeksInterval"), 1);
            t->DaysOfWeek = TextInt(n->ChildText("DaysOfWeek"), 0);
            t->DaysOfMonth = static_cast<uint32_t>(TextInt(n->ChildText("DaysOfMonth"), 0));
            t->MonthsOfYear = TextInt(n->ChildText("MonthsOfYear"), 0);
            t->WeeksOfMonth = TextInt(n->ChildText("WeeksOfMonth"), 0);
            t->RunOnLastDayOfMonth = TextBool(n->ChildText("RunOnLastDayOfMonth"), false);
            t->RunOnLastWeekOfMonth = TextBool(n->ChildText("RunOnLastWeekOfMonth"), false);
            t->UserId = n->ChildText("UserId");
            t->Subscription = n->ChildText("Subscription");
            d.Triggers.push_back(t);
        }
    if (const TXmlNode* acts = root.Child("Actions"))
        for (const auto& n : acts->Children) {
            auto a = std::make_shared<TActionData>();
            a->Id = n->Attribute("id");
            if (n->Name == "Exec") {
                a->Type = 0;
                a->Path = n->ChildText("Command");
                a->Arguments = n->ChildText("Arguments");
                a->WorkingDirectory = n->ChildText("WorkingDirectory");
            } else {
                a->Type = n->Name == "ComHandler" ? 5 : n->Name == "SendEmail" ? 6 : 7;
                a->Unknown = std::make_shared<TXmlNode>(*n);
            }
            d.Actions.push_back(a);
        }
    return d;
}

// --- Actions

TWinTaskActionType TWinTaskAction::ActionType() const
{
    switch (pAction->Type) {
    case 5:
        return taCom;
    case 6:
        return taMail;
    case 7:
        return taMessage;
    default:
        return taExec;
    }
}

std::string TWinTaskAction::ActionTypeAsString() const
{
    static const char* const texts[] = {N_("Start a program"), N_("File handler"), N_("Send an email"),
                                        N_("Display a message")};
    return _(texts[ActionType()]);
}

void TWinTaskAction::NeedExec() const
{
    if (ActionType() != taExec)
        throw EOleSysError("Interface not supported", static_cast<HRESULT>(0x80004002));
}

std::string TWinTaskAction::Path() const
{
    NeedExec();
    return UnquotePath(pAction->Path);
}

void TWinTaskAction::SetPath(const std::string& v)
{
    NeedExec();
    pAction->Path = v;
}

std::string TWinTaskAction::Arguments() const
{
    NeedExec();
    return pAction->Arguments;
}

void TWinTaskAction::SetArguments(const std::string& v)
{
    NeedExec();
    pAction->Arguments = v;
}

std::string TWinTaskAction::WorkingDirectory() const
{
    NeedExec();
    return pAction->WorkingDirectory;
}

void TWinTaskAction::SetWorkingDirectory(const std::string& v)
{
    NeedExec();
    pAction->WorkingDirectory = v;
}

TWinTaskAction* TWinTaskActions::New(TWinTaskActionType AActionType)
{
    auto a = std::make_shared<TActionData>();
    static const int types[] = {0, 5, 6, 7};
    a->Type = types[AActionType];
    FTask->pDefinition->Actions.push_back(a);
    return Add(a);
}

TWinTaskAction* TWinTaskActions::Add(std::shared_ptr<TActionData> AAction)
{
    auto item = std::make_unique<TWinTaskAction>();
    item->SetTaskAction(std::move(AAction));
    FItems.push_back(std::move(item));
    return FItems.back().get();
}

void TWinTaskActions::ClearAll()
{
    FTask->pDefinition->Actions.clear();
    FItems.clear();
}

void TWinTaskActions::Remove(int AIndex)
{
    auto& stored = FTask->pDefinition->Actions;
    if (AIndex < 0 || AIndex >= Count() || AIndex >= static_cast<int>(stored.size()))
        throw Exception(Format("List index out of bounds (%d)", {AIndex}));
    stored.erase(stored.begin() + AIndex);
    FItems.erase(FItems.begin() + AIndex);
}

TWinTaskAction* TWinTaskActions::Items(int i) const
{
    if (i < 0 || i >= Count())
        throw Exception(Format("List index out of bounds (%d)", {i}));
    return FItems[static_cast<size_t>(i)].get();
}

// --- Settings

TWinTaskCompatibility TWinTaskSettings::Compatibility() const
{
    int c = FDef->Compatibility;
    return c >= 0 && c <= 3 ? static_cast<TWinTaskCompatibility>(c) : tcWin10;
}

int TWinTaskSettings::DeleteExpiredTaskAfter() const
{
    if (FDef->DeleteExpiredTaskAfter.empty())
        return -1;
    return static_cast<int>(DurationToSeconds(FDef->DeleteExpiredTaskAfter) / 3600);
}

void TWinTaskSettings::SetDeleteExpiredTaskAfter(int hours)
{
    if (hours < 0)
        FDef->DeleteExpiredTaskAfter.clear();
    else if (hours == 0)
        FDef->DeleteExpiredTaskAfter = "PT0S";
    else
        FDef->DeleteExpiredTaskAfter = SecondsToDuration(static_cast<uint32_t>(hours) * 3600);
}

TMultipleInstances TWinTaskSettings::MultipleInstances() const
{
    int m = FDef->MultipleInstances;
    return m >= 1 && m <= 3 ? static_cast<TMultipleInstances>(m) : miParallel;
}

TThreadPriority TWinTaskSettings::Priority() const
{
    switch (FDef->Priority) {
    case 0:
        return tpTimeCritical;
    case 1:
        return tpHighest;
    case 2:
    case 3:
        return tpHigher;
    case 7:
    case 8:
        return tpLower;
    case 9:
        return tpLowest;
    case 10:
        return tpIdle;
    default:
        return tpNormal;
    }
}

void TWinTaskSettings::SetPriority(TThreadPriority v)
{
    switch (v) {
    case tpTimeCritical:
        FDef->Priority = 0;
        break;
    case tpHighest:
        FDef->Priority = 1;
        break;
    case tpHigher:
        FDef->Priority = 3;
        break;
    case tpLower:
        FDef->Priority = 7;
        break;
    case tpLowest:
        FDef->Priority = 9;
        break;
    case tpIdle:
        FDef->Priority = 10;
        break;
    default:
        FDef->Priority = 5;
        break;
    }
}

// --- Task

TWinTask::TWinTask(std::shared_ptr<TTaskDefinition> ADefinition)
    : pDefinition(std::move(ADefinition)), FActions(this), FTriggers(this), FSettings(pDefinition.get())
{
}

void TWinTask::Refresh()
{
    FTriggers.Clear();
    FActions.Clear();
    for (const auto& t : pDefinition->Triggers)
        FTriggers.Add(t);
    for (const auto& a : pDefinition->Actions)
        FActions.Add(a);
}

void TWinTask::SetXmlText(const std::string& v)
{
    try {
        *pDefinition = TaskDefinitionFromXml(v);
    } catch (const EXmlError& e) {
        throw EOleSysError(e.Message(), SCHED_E_MALFORMED_XML);
    }
    Refresh();
}

TLogonType TWinTask::LogonType() const
{
    int t = pDefinition->LogonType;
    return t >= 0 && t <= 6 ? static_cast<TLogonType>(t) : ltNone;
}

std::string TWinTask::CompatibilityAsString() const
{
    static const char* const texts[] = {N_("deprecated"), N_("Windows XP"), N_("Windows Vista"),
                                        N_("Windows 7"), N_("Windows 10")};
    return _(texts[FSettings.Compatibility()]);
}

TWinTaskAction* TWinTask::NewAction(TWinTaskActionType AActionType)
{
    TWinTaskAction* a = FActions.New(AActionType);
    FSelectedAction = FActions.Count() - 1;
    return a;
}

bool TWinTask::DeleteAction(int AIndex)
{
    if (AIndex < 0 || AIndex >= FActions.Count())
        return true;
    try {
        FActions.Remove(AIndex);
        return true;
    } catch (...) {
        return false;
    }
}

TWinTaskTrigger* TWinTask::NewTrigger(TWinTaskTriggerType ATriggerType)
{
    TWinTaskTrigger* t = FTriggers.New(ATriggerType);
    t->SetToDefault(UserId());
    return t;
}

bool TWinTask::DeleteTrigger(int AIndex)
{
    if (AIndex < 0 || AIndex >= FTriggers.Count())
        return true;
    try {
        FTriggers.Remove(AIndex);
        return true;
    } catch (...) {
        return false;
    }
}

int TWinTask::IndexOfApp(const std::string& AppFilter)
{
    FSelectedAction = -1;
    if (AppFilter.empty())
        return -1;
    std::string filter = utf8::Lower(AppFilter);
    for (int i = 0; i < FActions.Count(); ++i) {
        TWinTaskAction* a = FActions.Items(i);
        if (a->ActionType() != taExec)
            continue;
        std::string path = utf8::Lower(a->Path());
        if (path.size() >= filter.size() &&
            path.compare(path.size() - filter.size(), filter.size(), filter) == 0) {
            FSelectedAction = i;
            break;
        }
    }
    return FSelectedAction;
}

int TWinTask::IndexOfNextExecAction(int FromIndex)
{
    FSelectedAction = -1;
    for (int i = std::max(0, FromIndex); i < FActions.Count(); ++i)
        if (FActions.Items(i)->ActionType() == taExec) {
            FSelectedAction = i;
            break;
        }
    return FSelectedAction;
}

TWinTaskAction* TWinTask::GetAction(int Index) const
{
    return FActions.Items(Index);
}

TWinTaskTrigger* TWinTask::GetTrigger(int Index) const
{
    return FTriggers.Items(Index);
}
