// The triggers of a task definition: kinds, properties and the one-line description.
#include <algorithm>

#include "rtl/Clock.h"
#include "rtl/Gettext.h"
#include "scheduling/WinTask.h"

int TriggerTypeToService(TWinTaskTriggerType t)
{
    if (t == ttSessionStateChange)
        return 11;
    if (t == ttCustom)
        return 12;
    return static_cast<int>(t);
}

TWinTaskTriggerType TriggerTypeFromService(int type)
{
    if (type >= 0 && type <= 9)
        return static_cast<TWinTaskTriggerType>(type);
    if (type == 11)
        return ttSessionStateChange;
    return ttCustom;
}

std::string TriggerTypeText(TWinTaskTriggerType t)
{
    static const char* const texts[] = {N_("On an event"),
                                        N_("One time"),
                                        N_("Daily"),
                                        N_("Weekly"),
                                        N_("Monthly"),
                                        N_("Monthly"),
                                        N_("On idle"),
                                        N_("On task creation/modification"),
                                        N_("At startup"),
                                        N_("At log on"),
                                        N_("On session state change"),
                                        N_("Custom trigger")};
    return _(texts[t]);
}

void TWinTaskTrigger::SetTaskTrigger(std::shared_ptr<TTriggerData> Value)
{
    pTrigger = std::move(Value);
    FTriggerType = TriggerTypeFromService(pTrigger->Type);
    IsoStrToDateTime(pTrigger->StartBoundary, FTimeZone);
}

void TWinTaskTrigger::SetToDefault(const std::string& AUserId)
{
    SetStartTime(Clock::Current().NowLocal());
    SetLogonUserId(AUserId);
}

bool TWinTaskTrigger::Is(std::initializer_list<TWinTaskTriggerType> kinds) const
{
    return std::find(kinds.begin(), kinds.end(), FTriggerType) != kinds.end();
}

TWinTaskTriggerType TWinTaskTrigger::TriggerType() const
{
    return TriggerTypeFromService(pTrigger->Type);
}

std::string TWinTaskTrigger::TriggerTypeAsString() const
{
    return TriggerTypeText(TriggerType());
}

std::string TWinTaskTrigger::Id() const
{
    return pTrigger->Id;
}
void TWinTaskTrigger::SetId(const std::string& v)
{
    pTrigger->Id = v;
}
bool TWinTaskTrigger::Enabled() const
{
    return pTrigger->Enabled;
}
void TWinTaskTrigger::SetEnabled(bool v)
{
    pTrigger->Enabled = v;
}
TDateTime TWinTaskTrigger::StartTime() const
{
    return IsoStrToDateTime(pTrigger->StartBoundary);
}
void TWinTaskTrigger::SetStartTime(TDateTime v)
{
    pTrigger->StartBoundary = DateTimeToIsoStr(FTimeZone, v);
}
TDateTime TWinTaskTrigger::EndTime() const
{
    return IsoStrToDateTime(pTrigger->EndBoundary);
}
void TWinTaskTrigger::SetEndTime(TDateTime v)
{
    pTrigger->EndBoundary = DateTimeToIsoStr(FTimeZone, v);
}
uint32_t TWinTaskTrigger::ExecutionTimeLimit() const
{
    return DurationToSeconds(pTrigger->ExecutionTimeLimit);
}
void TWinTaskTrigger::SetExecutionTimeLimit(uint32_t v)
{
    pTrigger->ExecutionTimeLimit = SecondsToDuration(v);
}
uint32_t TWinTaskTrigger::Interval() const
{
    return DurationToSeconds(pTrigger->RepetitionInterval);
}
void TWinTaskTrigger::SetInterval(uint32_t v)
{
    pTrigger->RepetitionInterval = SecondsToDuration(v);
}
uint32_t TWinTaskTrigger::Duration() const
{
    return DurationToSeconds(pTrigger->RepetitionDuration);
}
void TWinTaskTrigger::SetDuration(uint32_t v)
{
    pTrigger->RepetitionDuration = SecondsToDuration(v);
}
bool TWinTaskTrigger::StopAtDurationEnd() const
{
    return pTrigger->StopAtDurationEnd;
}
void TWinTaskTrigger::SetStopAtDurationEnd(bool v)
{
    pTrigger->StopAtDurationEnd = v;
}
uint32_t TWinTaskTrigger::Delay() const
{
    return Is({ttEvent, ttBoot, ttLogon}) ? DurationToSeconds(pTrigger->Delay) : 0;
}
void TWinTaskTrigger::SetDelay(uint32_t v)
{
    if (Is({ttEvent, ttBoot, ttLogon}))
        pTrigger->Delay = SecondsToDuration(v);
}
uint32_t TWinTaskTrigger::RandomDelay() const
{
    return Is({ttTime, ttDaily, ttWeekly, ttMonthly, ttMonthlyDow}) ? DurationToSeconds(pTrigger->RandomDelay)
                                                                    : 0;
}
void TWinTaskTrigger::SetRandomDelay(uint32_t v)
{
    if (Is({ttTime, ttDaily, ttWeekly, ttMonthly, ttMonthlyDow}))
        pTrigger->RandomDelay = SecondsToDuration(v);
}
int16_t TWinTaskTrigger::DaysInterval() const
{
    return Is({ttDaily}) ? static_cast<int16_t>(pTrigger->DaysInterval) : 0;
}
void TWinTaskTrigger::SetDaysInterval(int16_t v)
{
    if (Is({ttDaily}) && v > 0)
        pTrigger->DaysInterval = v;
}
int TWinTaskTrigger::WeeksInterval() const
{
    return Is({ttWeekly}) ? pTrigger->WeeksInterval & 0xFFFF : 0;
}
void TWinTaskTrigger::SetWeeksInterval(int v)
{
    if (Is({ttWeekly}) && v > 0)
        pTrigger->WeeksInterval = v & 0xFFFF;
}
int TWinTaskTrigger::DaysOfWeek() const
{
    return Is({ttWeekly, ttMonthlyDow}) ? pTrigger->DaysOfWeek : 0;
}
void TWinTaskTrigger::SetDaysOfWeek(int v)
{
    if (Is({ttWeekly, ttMonthlyDow}) && v >= 1 && v <= 127)
        pTrigger->DaysOfWeek = v;
}
int32_t TWinTaskTrigger::DaysOfMonth() const
{
    return Is({ttMonthly}) ? static_cast<int32_t>(pTrigger->DaysOfMonth) : 0;
}
void TWinTaskTrigger::SetDaysOfMonth(int32_t v)
{
    if (Is({ttMonthly}) && v > 0)
        pTrigger->DaysOfMonth = static_cast<uint32_t>(v);
}
int TWinTaskTrigger::MonthsOfYear() const
{
    return Is({ttMonthly, ttMonthlyDow}) ? pTrigger->MonthsOfYear & 0xFFFF : 0;
}
void TWinTaskTrigger::SetMonthsOfYear(int v)
{
    if (Is({ttMonthly, ttMonthlyDow}) && v >= 1 && v <= 4095)
        pTrigger->MonthsOfYear = v;
}
int TWinTaskTrigger::WeeksOfMonth() const
{
    if (!Is({ttMonthlyDow}))
        return 0;
    return (pTrigger->WeeksOfMonth & 0xFFFF) | (pTrigger->RunOnLastWeekOfMonth ? 16 : 0);
}
void TWinTaskTrigger::SetWeeksOfMonth(int v)
{
    if (Is({ttMonthlyDow}) && v >= 1 && v <= 31)
        pTrigger->WeeksOfMonth = v;
}
bool TWinTaskTrigger::RunOnLastDayOfMonth() const
{
    return Is({ttMonthly}) && pTrigger->RunOnLastDayOfMonth;
}
void TWinTaskTrigger::SetRunOnLastDayOfMonth(bool v)
{
    if (Is({ttMonthly}))
        pTrigger->RunOnLastDayOfMonth = v;
}
bool TWinTaskTrigger::RunOnLastWeekOfMonth() const
{
    return Is({ttMonthlyDow}) && pTrigger->RunOnLastWeekOfMonth;
}
void TWinTaskTrigger::SetRunOnLastWeekOfMonth(bool v)
{
    if (Is({ttMonthlyDow}))
        pTrigger->RunOnLastWeekOfMonth = v;
}
std::string TWinTaskTrigger::LogonUserId() const
{
    return Is({ttLogon}) ? pTrigger->UserId : std::string();
}
void TWinTaskTrigger::SetLogonUserId(const std::string& v)
{
    if (Is({ttLogon}))
        pTrigger->UserId = v;
}
std::string TWinTaskTrigger::Subscription() const
{
    return Is({ttEvent}) ? pTrigger->Subscription : std::string();
}
void TWinTaskTrigger::SetSubscription(const std::string& v)
{
    if (Is({ttEvent}))
        pTrigger->Subscription = v;
}

namespace {

std::string JoinBits(uint32_t mask, int count, const std::function<std::string(int)>& text)
{
    std::string s;
    for (int i = 0; i < count; ++i)
        if (mask & (1u << i)) {
            if (!s.empty())
                s += ", ";
            s += text(i);
        }
    return s;
}

// "every hour", "every %u minutes" ... without the leading word.
std::string SpanText(uint32_t seconds)
{
    std::string t;
    if (seconds >= 86400) {
        uint32_t d = seconds / 86400;
        t = d == 1 ? _("every day") : SafeFormat(_("every %u days"), {d});
    } else if (seconds / 3600) {
        uint32_t h = seconds / 3600;
        t = h == 1 ? _("every hour") : SafeFormat(_("every %u hours"), {h});
    } else if (seconds / 60) {
        uint32_t m = seconds / 60;
        t = m == 1 ? _("every minute") : SafeFormat(_("every %u minutes"), {m});
    } else {
        t = seconds == 1 ? _("every second") : SafeFormat(_("every %u seconds"), {seconds});
    }
    return t;
}

} // namespace

std::string TWinTaskTrigger::TriggerString() const
{
    const TTriggerData& d = *pTrigger;
    TDateTime start = IsoStrToDateTime(d.StartBoundary);
    std::string T = FormatDateTime("hh:nn", start);
    std::string D = FormatDateTime("ddddd", start);
    const TFormatSettings& fs = FormatSettings();
    auto weekdays = [&](uint32_t m) {
        return JoinBits(m, 7, [&](int i) { return fs.LongDayNames[static_cast<size_t>(i)]; });
    };
    auto months = [&](uint32_t m) {
        return JoinBits(m, 12, [&](int i) { return fs.LongMonthNames[static_cast<size_t>(i)]; });
    };
    auto startSuffix = [&]() {
        return start >= 1 ? SafeFormat(_(", starting at %0:s on %1:s"), {T, D}) : std::string();
    };
    switch (d.Type) {
    case 0:
        return _("On an event") + startSuffix();
    case 1:
        return SafeFormat(_("At %0:s on %1:s"), {T, D});
    case 2: {
        if (d.DaysInterval <= 1)
            return SafeFormat(_("At %s every day"), {T});
        std::string s = SafeFormat(_("At %0:s every %1:u days"), {T, static_cast<uint32_t>(d.DaysInterval)});
        if (!d.RepetitionInterval.empty()) {
            // "every hour" -> "hour": the quantity texts begin with the word "every"
            auto strip = [](std::string q) {
                size_t sp = q.find(' ');
                return sp == std::string::npos ? q : q.substr(sp + 1);
            };
            uint32_t dur = DurationToSeconds(d.RepetitionDuration);
            s += SafeFormat(_(" - After triggered, repeat every %0:s for a duration of %1:s"),
                            {strip(SpanText(DurationToSeconds(d.RepetitionInterval))),
                             dur ? strip(SpanText(dur)) : _("indefinitely")});
        }
        return s;
    }
    case 3:
        if (d.WeeksInterval <= 1)
            return SafeFormat(_("At %0:s every %1:s of every week, starting %2:s"),
                              {T, weekdays(static_cast<uint32_t>(d.DaysOfWeek)), D});
        return SafeFormat(
            _("At %0:s every %1:s of every %2:u weeks, starting %3:s"),
            {T, weekdays(static_cast<uint32_t>(d.DaysOfWeek)), static_cast<uint32_t>(d.WeeksInterval), D});
    case 4: {
        std::string days =
            JoinBits(d.DaysOfMonth, 32, [](int i) { return i == 31 ? _("Last") : std::to_string(i + 1); });
        return SafeFormat(_("At %0:s on %1:s of %2:s, starting %3:s"),
                          {T, days, months(static_cast<uint32_t>(d.MonthsOfYear)), D});
    }
    case 5: {
        static const char* const weekTexts[] = {N_("First"), N_("Second"), N_("Third"), N_("Fourth"),
                                                N_("Last")};
        uint32_t wm = static_cast<uint32_t>(WeeksOfMonth());
        std::string weeks = JoinBits(wm, 5, [](int i) { return _(weekTexts[i]); });
        return SafeFormat(_("Runs on the %0:s %1:s, each %2:s starting %3:s"),
                          {weeks, weekdays(static_cast<uint32_t>(d.DaysOfWeek)),
                           months(static_cast<uint32_t>(d.MonthsOfYear)), D});
    }
    case 6:
        return _("When computer is idle");
    case 7:
        return _("When task is created or modified");
    case 8:
        return _("At system startup") + startSuffix();
    case 9:
        return (d.UserId.empty() ? _("At logon of any user") : SafeFormat(_("At logon of %s"), {d.UserId})) +
               startSuffix();
    default:
        return _("Unknown");
    }
}

TWinTaskTrigger* TWinTaskTriggers::New(TWinTaskTriggerType ATriggerType)
{
    auto t = std::make_shared<TTriggerData>();
    t->Type = TriggerTypeToService(ATriggerType);
    FTask->pDefinition->Triggers.push_back(t);
    return Add(t);
}

TWinTaskTrigger* TWinTaskTriggers::Add(std::shared_ptr<TTriggerData> ATrigger)
{
    auto item = std::make_unique<TWinTaskTrigger>();
    item->SetTaskTrigger(std::move(ATrigger));
    FItems.push_back(std::move(item));
    return FItems.back().get();
}

void TWinTaskTriggers::ClearAll()
{
    FTask->pDefinition->Triggers.clear();
    FItems.clear();
}

void TWinTaskTriggers::Remove(int AIndex)
{
    auto& stored = FTask->pDefinition->Triggers;
    if (AIndex < 0 || AIndex >= Count() || AIndex >= static_cast<int>(stored.size()))
        throw Exception(Format("List index out of bounds (%d)", {AIndex}));
    stored.erase(stored.begin() + AIndex);
    FItems.erase(FItems.begin() + AIndex);
}

TWinTaskTrigger* TWinTaskTriggers::Items(int i) const
{
    if (i < 0 || i >= Count())
        throw Exception(Format("List index out of bounds (%d)", {i}));
    return FItems[static_cast<size_t>(i)].get();
}
