#include <gtest/gtest.h>

#include "rtl/DateTime.h"
#include "scheduling/WinTask.h"
#include "support/FakeClock.h"

namespace {

TEST(WinTaskTextFormsTest, IsoTextsReadAndWrite)
{
    struct Case
    {
        const char* Text;
        TDateTime Expected;
        bool Zone;
    } cases[] = {
        {"2025-01-16T08:30:00", EncodeDateTime(2025, 1, 16, 8, 30, 0, 0), false},
        {"2025-01-16T08:30:00Z", EncodeDateTime(2025, 1, 16, 8, 30, 0, 0), true},
        {"2025-01-16T08:30:00+01:00", EncodeDateTime(2025, 1, 16, 8, 30, 0, 0), true},
        {"2025-01-16T08:30:00.250", EncodeDateTime(2025, 1, 16, 8, 30, 0, 0), true},
        {"", 0, false},
        {"2025-13-01T00:00:00", 0, false},
        {"2024-02-29T23:59:59", EncodeDateTime(2024, 2, 29, 23, 59, 59, 0), false},
        {"2023-02-29T00:00:00", 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Text);
        bool zone = !c.Zone;
        EXPECT_DOUBLE_EQ(IsoStrToDateTime(c.Text, zone), c.Expected);
        EXPECT_EQ(zone, c.Zone);
    }
    EXPECT_EQ(DateTimeToIsoStr(false, 0), "");
    EXPECT_EQ(DateTimeToIsoStr(false, EncodeDateTime(2025, 1, 16, 8, 30, 5, 0)), "2025-01-16T08:30:05");
    ScopedFakeClock clock(EncodeDateTime(2025, 1, 16, 8, 0, 0, 0));
    EXPECT_EQ(DateTimeToIsoStr(true, EncodeDateTime(2025, 1, 16, 8, 30, 5, 0)), "2025-01-16T08:30:05Z");
}

TEST(WinTaskTextFormsTest, DurationsReadAndWrite)
{
    const std::pair<const char*, uint32_t> reads[] = {{"PT1H30M", 5400},  {"P3D", 259200}, {"PT0S", 0},
                                                      {"P1DT12H", 86400}, {"T1H", 0},      {"pt2m", 120},
                                                      {"PT72H", 259200},  {"", 0}};
    for (const auto& r : reads)
        EXPECT_EQ(DurationToSeconds(r.first), r.second) << r.first;
    const std::pair<uint32_t, const char*> writes[] = {{5400, "PT1H30M"}, {59, "PT59S"}, {86400, "P1D"},
                                                       {90000, "P1D"},    {0, ""},       {3601, "PT1H1S"}};
    for (const auto& w : writes)
        EXPECT_EQ(SecondsToDuration(w.first), w.second) << w.first;
}

TEST(WinTaskTextFormsTest, ProgramPathsLoseTheirEnclosingQuotes)
{
    const std::pair<const char*, const char*> cases[] = {
        {"\"/opt/my apps/Vastrel\"", "/opt/my apps/Vastrel"},
        {"/usr/bin/Vastrel", "/usr/bin/Vastrel"},
        {"\"\"/opt/x y\"\"", "\"/opt/x y\""},
        {"\"open", "\"open"},
        {"\"a\"\"b\" tail", "a\"b"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(UnquotePath(c.first), c.second) << c.first;
}

TEST(WinTaskSettingsTest, ConvertedPropertiesFollowTheirTables)
{
    TWinTask task(std::make_shared<TTaskDefinition>());
    TWinTaskSettings& s = task.Settings();
    task.Definition().DeleteExpiredTaskAfter = "";
    EXPECT_EQ(s.DeleteExpiredTaskAfter(), -1);
    s.SetDeleteExpiredTaskAfter(0);
    EXPECT_EQ(task.Definition().DeleteExpiredTaskAfter, "PT0S");
    EXPECT_EQ(s.DeleteExpiredTaskAfter(), 0);
    s.SetDeleteExpiredTaskAfter(-1);
    EXPECT_EQ(task.Definition().DeleteExpiredTaskAfter, "");
    for (const char* limit : {"PT72H", "P3D"}) {
        task.Definition().ExecutionTimeLimit = limit;
        EXPECT_EQ(s.ExecutionTimeLimit(), 72u) << limit;
    }
    s.SetPriority(tpNormal);
    EXPECT_EQ(task.Definition().Priority, 5);
    EXPECT_EQ(s.Priority(), tpNormal);
    const std::pair<int, TThreadPriority> prios[] = {
        {0, tpTimeCritical}, {2, tpHigher}, {8, tpLower}, {11, tpNormal}, {10, tpIdle}};
    for (const auto& p : prios) {
        task.Definition().Priority = p.first;
        EXPECT_EQ(s.Priority(), p.second) << p.first;
    }
    task.Definition().Compatibility = 6;
    EXPECT_EQ(s.Compatibility(), tcWin10);
    s.SetCompatibility(tcWin10);
    EXPECT_EQ(task.Definition().Compatibility, 4);
    task.Definition().MultipleInstances = 7;
    EXPECT_EQ(s.MultipleInstances(), miParallel);
    task.Definition().LogonType = 9;
    EXPECT_EQ(task.LogonType(), ltNone);
}

TEST(WinTaskActionsTest, ActionsAreFoundByTheirProgramAndDeletedInRange)
{
    TWinTask task(std::make_shared<TTaskDefinition>());
    task.NewAction(taMessage);
    TWinTaskAction* a = task.NewAction(taExec);
    a->SetPath("\"/opt/Backup Tools/Vastrel\"");
    EXPECT_EQ(task.SelectedAction(), 1);
    EXPECT_EQ(task.IndexOfApp("vastrel"), 1);
    EXPECT_EQ(task.SelectedAction(), 1);
    EXPECT_EQ(task.IndexOfApp(""), -1);
    EXPECT_EQ(task.IndexOfApp("QvPlaner"), -1);
    EXPECT_EQ(task.IndexOfNextExecAction(0), 1);
    EXPECT_EQ(task.IndexOfNextExecAction(2), -1);
    EXPECT_THROW(task.GetAction(0)->Path(), EOleSysError);
    EXPECT_TRUE(task.DeleteAction(5));
    EXPECT_EQ(task.ActionCount(), 2);
    EXPECT_TRUE(task.DeleteAction(0));
    EXPECT_EQ(task.ActionCount(), 1);
    EXPECT_EQ(task.Definition().Actions.size(), 1u);
    EXPECT_EQ(task.GetAction(0)->Path(), "/opt/Backup Tools/Vastrel");
}

TEST(WinTaskTriggersTest, KindSpecificPropertiesIgnoreOtherKindsAndOutOfRangeWrites)
{
    ScopedFakeClock clock(EncodeDateTime(2025, 3, 1, 9, 15, 0, 0));
    TWinTask task(std::make_shared<TTaskDefinition>());
    task.SetUserId("alice");
    TWinTaskTrigger* weekly = task.NewTrigger(ttWeekly);
    EXPECT_EQ(task.Definition().Triggers[0]->StartBoundary, "2025-03-01T09:15:00");
    EXPECT_FALSE(weekly->UseTimeZone());
    weekly->SetDaysOfWeek(34);
    weekly->SetDaysOfWeek(0);
    weekly->SetDaysOfWeek(128);
    EXPECT_EQ(weekly->DaysOfWeek(), 34);
    EXPECT_EQ(weekly->DaysOfMonth(), 0);
    weekly->SetMonthsOfYear(12);
    EXPECT_EQ(weekly->MonthsOfYear(), 0);
    TWinTaskTrigger* logon = task.NewTrigger(ttLogon);
    EXPECT_EQ(logon->LogonUserId(), "alice");
    EXPECT_EQ(weekly->LogonUserId(), "");
    TWinTaskTrigger* daily = task.NewTrigger(ttDaily);
    daily->SetDaysInterval(0);
    EXPECT_EQ(daily->DaysInterval(), 1);
    TWinTaskTrigger* reg = task.NewTrigger(ttRegistration);
    EXPECT_EQ(reg->Delay(), 0u);
    TWinTaskTrigger* mdow = task.NewTrigger(ttMonthlyDow);
    mdow->SetMonthsOfYear(4096);
    EXPECT_EQ(mdow->MonthsOfYear(), 0);
    mdow->SetWeeksOfMonth(1);
    mdow->SetRunOnLastWeekOfMonth(true);
    EXPECT_EQ(mdow->WeeksOfMonth(), 17);
    // a trigger read with a zone keeps writing one
    auto zoned = std::make_shared<TTriggerData>();
    zoned->Type = 1;
    zoned->StartBoundary = "2025-01-16T08:30:00Z";
    TWinTaskTrigger item;
    item.SetTaskTrigger(zoned);
    EXPECT_TRUE(item.UseTimeZone());
    item.SetStartTime(EncodeDateTime(2025, 2, 1, 10, 0, 0, 0));
    EXPECT_EQ(zoned->StartBoundary, "2025-02-01T10:00:00Z");
    // removing the first trigger removes the stored one
    EXPECT_TRUE(task.DeleteTrigger(0));
    EXPECT_EQ(task.Definition().Triggers[0]->Type, 9);
}

TEST(WinTaskTriggersTest, TriggerTypesMapBothWays)
{
    for (int type = 0; type <= 14; ++type) {
        TWinTaskTriggerType t = TriggerTypeFromService(type);
        if (type <= 9)
            EXPECT_EQ(t, static_cast<TWinTaskTriggerType>(type));
        else if (type == 11)
            EXPECT_EQ(t, ttSessionStateChange);
        else
            EXPECT_EQ(t, ttCustom) << type;
    }
    auto ss = std::make_shared<TTriggerData>();
    ss->Type = 11;
    TWinTaskTrigger item;
    item.SetTaskTrigger(ss);
    EXPECT_EQ(item.TriggerTypeAsString(), "On session state change");
    EXPECT_EQ(item.TriggerString(), "Unknown");
}

TEST(WinTaskTriggersTest, DescriptionsNameTimesDaysAndMonths)
{
    FormatSettings() = TFormatSettings::FromLocale("C");
    FormatSettings().ShortDateFormat = "dd/mm/yyyy";
    auto make = [](int type, const char* start) {
        auto d = std::make_shared<TTriggerData>();
        d->Type = type;
        d->StartBoundary = start;
        return d;
    };
    struct Case
    {
        std::shared_ptr<TTriggerData> Data;
        const char* Expected;
    };
    auto weekly = make(3, "2025-01-06T08:30:00");
    weekly->DaysOfWeek = 2 | 32;
    weekly->WeeksInterval = 2;
    auto daily = make(2, "2025-01-06T06:05:00");
    daily->RepetitionInterval = "PT1H";
    auto daily3 = make(2, "2025-01-06T06:05:00");
    daily3->DaysInterval = 3;
    daily3->RepetitionInterval = "PT30M";
    daily3->RepetitionDuration = "PT12H";
    auto monthly = make(4, "2025-01-06T22:00:00");
    monthly->DaysOfMonth = 1u | (1u << 14) | 0x80000000u;
    monthly->MonthsOfYear = 1 | 2048;
    auto mdow = make(5, "2025-01-06T22:00:00");
    mdow->WeeksOfMonth = 1;
    mdow->RunOnLastWeekOfMonth = true;
    mdow->DaysOfWeek = 2;
    mdow->MonthsOfYear = 4;
    auto logon = make(9, "");
    auto logonUser = make(9, "2025-01-06T07:00:00");
    logonUser->UserId = "bob";
    const Case cases[] = {
        {make(1, "2025-01-16T08:30:00"), "At 08:30 on 16/01/2025"},
        {weekly, "At 08:30 every Monday, Friday of every 2 weeks, starting 06/01/2025"},
        {daily, "At 06:05 every day"},
        {daily3,
         "At 06:05 every 3 days - After triggered, repeat every 30 minutes for a duration of 12 hours"},
        {monthly, "At 22:00 on 1, 15, Last of January, December, starting 06/01/2025"},
        {mdow, "Runs on the First, Last Monday, each March starting 06/01/2025"},
        {make(6, ""), "When computer is idle"},
        {make(8, ""), "At system startup"},
        {logon, "At logon of any user"},
        {logonUser, "At logon of bob, starting at 07:00 on 06/01/2025"},
        {make(0, "2025-01-06T07:00:00"), "On an event, starting at 07:00 on 06/01/2025"},
        {make(12, ""), "Unknown"},
    };
    for (const Case& c : cases) {
        TWinTaskTrigger item;
        item.SetTaskTrigger(c.Data);
        EXPECT_EQ(item.TriggerString(), c.Expected);
    }
}

// Every trigger kind and setting survives the stored XML form.
TEST(WinTaskXmlTest, EveryTriggerKindAndSettingRoundTrips)
{
    TTaskDefinition d;
    d.Author = "alice";
    d.Description = "This task was created by Vastrel <&> \"quoted\"";
    d.Documentation = "doc";
    d.Date = "2025-01-16T08:30:00";
    d.Data = "Schedule-Weekly full";
    d.UserId = "alice";
    d.DisplayName = "Alice";
    d.GroupId = "users";
    d.PrincipalId = "P1";
    d.LogonType = 1;
    d.RunLevel = 1;
    d.Enabled = false;
    d.AllowDemandStart = false;
    d.AllowHardTerminate = false;
    d.Compatibility = 4;
    d.DeleteExpiredTaskAfter = "PT0S";
    d.DisallowStartIfOnBatteries = false;
    d.StopIfGoingOnBatteries = false;
    d.ExecutionTimeLimit = "PT2H";
    d.Hidden = true;
    d.MultipleInstances = 3;
    d.Priority = 9;
    d.RestartCount = 3;
    d.RestartInterval = "PT5M";
    d.StartWhenAvailable = true;
    d.RunOnlyIfIdle = true;
    d.RunOnlyIfNetworkAvailable = true;
    d.WakeToRun = true;
    d.IdleDuration = "PT5M";
    d.IdleWaitTimeout = "PT2H";
    d.IdleStopOnIdleEnd = false;
    d.IdleRestartOnIdle = true;
    for (int type : {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 11, 12}) {
        auto t = std::make_shared<TTriggerData>();
        t->Type = type;
        t->Id = "T" + std::to_string(type);
        t->Enabled = type % 2 == 0;
        t->StartBoundary = "2025-01-16T08:30:00+01:00";
        t->EndBoundary = "2026-01-16T08:30:00";
        t->ExecutionTimeLimit = "PT1H";
        t->RepetitionInterval = "PT10M";
        t->RepetitionDuration = "PT1H";
        t->StopAtDurationEnd = true;
        if (type == 0 || type == 8 || type == 9)
            t->Delay = "PT30S";
        if (type >= 1 && type <= 5)
            t->RandomDelay = "PT2M";
        if (type == 2)
            t->DaysInterval = 3;
        if (type == 3) {
            t->WeeksInterval = 2;
            t->DaysOfWeek = 65;
        }
        if (type == 4) {
            t->DaysOfMonth = 0x80000001u;
            t->MonthsOfYear = 4095;
            t->RunOnLastDayOfMonth = true;
        }
        if (type == 5) {
            t->WeeksOfMonth = 9;
            t->DaysOfWeek = 3;
            t->MonthsOfYear = 6;
            t->RunOnLastWeekOfMonth = true;
        }
        if (type == 9)
            t->UserId = "alice";
        if (type == 0)
            t->Subscription = "<QueryList><Query Id=\"0\"/></QueryList>";
        d.Triggers.push_back(t);
    }
    auto a = std::make_shared<TActionData>();
    a->Id = "A1";
    a->Path = "\"/opt/my apps/Vastrel\"";
    a->Arguments = "/home/a/b.buj /force \"/ini:/x y.ini\"";
    a->WorkingDirectory = "/tmp";
    d.Actions.push_back(a);

    std::string xml = TaskDefinitionToXml(d);
    TTaskDefinition r = TaskDefinitionFromXml(xml);
    EXPECT_EQ(TaskDefinitionToXml(r), xml);
    EXPECT_EQ(r.Description, d.Description);
    EXPECT_EQ(r.Data, d.Data);
    EXPECT_EQ(r.LogonType, 1);
    EXPECT_FALSE(r.Enabled);
    EXPECT_EQ(r.DeleteExpiredTaskAfter, "PT0S");
    EXPECT_EQ(r.MultipleInstances, 3);
    EXPECT_EQ(r.RestartCount, 3);
    EXPECT_EQ(r.IdleWaitTimeout, "PT2H");
    ASSERT_EQ(r.Triggers.size(), d.Triggers.size());
    for (size_t i = 0; i < d.Triggers.size(); ++i) {
        const TTriggerData &x = *d.Triggers[i], &y = *r.Triggers[i];
        SCOPED_TRACE(x.Type);
        EXPECT_EQ(y.Type, x.Type);
        EXPECT_EQ(y.Id, x.Id);
        EXPECT_EQ(y.Enabled, x.Enabled);
        EXPECT_EQ(y.StartBoundary, x.StartBoundary);
        EXPECT_EQ(y.EndBoundary, x.EndBoundary);
        EXPECT_EQ(y.RepetitionInterval, x.RepetitionInterval);
        EXPECT_EQ(y.StopAtDurationEnd, x.StopAtDurationEnd);
        EXPECT_EQ(y.Delay, x.Delay);
        EXPECT_EQ(y.RandomDelay, x.RandomDelay);
        EXPECT_EQ(y.DaysInterval, x.DaysInterval);
        EXPECT_EQ(y.WeeksInterval, x.WeeksInterval);
        EXPECT_EQ(y.DaysOfWeek, x.DaysOfWeek);
        EXPECT_EQ(y.DaysOfMonth, x.DaysOfMonth);
        EXPECT_EQ(y.MonthsOfYear, x.MonthsOfYear);
        EXPECT_EQ(y.WeeksOfMonth, x.WeeksOfMonth);
        EXPECT_EQ(y.RunOnLastDayOfMonth, x.RunOnLastDayOfMonth);
        EXPECT_EQ(y.RunOnLastWeekOfMonth, x.RunOnLastWeekOfMonth);
        EXPECT_EQ(y.UserId, x.UserId);
        EXPECT_EQ(y.Subscription, x.Subscription);
    }
    ASSERT_EQ(r.Actions.size(), 1u);
    EXPECT_EQ(r.Actions[0]->Path, a->Path);
    EXPECT_EQ(r.Actions[0]->Arguments, a->Arguments);
    EXPECT_EQ(r.Actions[0]->Id, "A1");
}

TEST(WinTaskXmlTest, DamagedAndForeignTextsAreRefusedOrKept)
{
    for (const char* bad : {"", "<Task>", "<Task><Triggers></Task>", "<Other/>", "<Task a='1></Task>",
                            "<Task>&bogus;</Task>", "not xml at all", "<Task></Task><Task/>"})
        EXPECT_THROW(TaskDefinitionFromXml(bad), EXmlError) << bad;
    // an unknown trigger kind and action type are kept as they stand
    const char* foreign =
        "<?xml version='1.0'?>\n<!-- hand made -->\n<Task><Triggers>"
        "<SolarEclipseTrigger><Enabled>true</Enabled><Shadow>full</Shadow></SolarEclipseTrigger>"
        "</Triggers><Actions><ShowMessage><Title>Hi</Title></ShowMessage><Exec><Command>/bin/true"
        "</Command></Exec></Actions></Task>";
    TTaskDefinition d = TaskDefinitionFromXml(foreign);
    ASSERT_EQ(d.Triggers.size(), 1u);
    EXPECT_EQ(d.Triggers[0]->Type, 12);
    TWinTask task(std::make_shared<TTaskDefinition>(d));
    task.Refresh();
    EXPECT_EQ(task.GetTrigger(0)->TriggerType(), ttCustom);
    EXPECT_EQ(task.GetAction(0)->ActionType(), taMessage);
    EXPECT_EQ(task.IndexOfApp("true"), 1);
    std::string again = TaskDefinitionToXml(d);
    EXPECT_NE(again.find("<Shadow>full</Shadow>"), std::string::npos);
    EXPECT_NE(again.find("<Title>Hi</Title>"), std::string::npos);
    // replacing the text of a task keeps the task object usable
    EXPECT_THROW(task.SetXmlText("<broken"), EOleSysError);
    task.SetXmlText(again);
    EXPECT_EQ(task.TriggerCount(), 1);
}

} // namespace
