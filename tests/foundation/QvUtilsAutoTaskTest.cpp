#include "foundation/QvUtilsAutoTask.h"

#include <fstream>
#include <iterator>

#include <gtest/gtest.h>

#include "foundation/IniFileUtils.h"
#include "rtl/Clock.h"
#include "support/Files.h"
#include "support/Sandbox.h"

namespace {

class FixedClock : public Clock
{
public:
    explicit FixedClock(TDateTime local) : FLocal(local) {}
    TDateTime NowUtc() const override { return FLocal; }
    TDateTime NowLocal() const override { return FLocal; }

private:
    TDateTime FLocal;
};

class AutoTaskTest : public SandboxTest
{
protected:
    void SetUp() override
    {
        Clock::SetCurrent(&FClock); // Wednesday, 2024-05-15 10:00
        FSaved = FormatSettings();
        FormatSettings().ShortDayNames = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
        FormatSettings().LongDayNames = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                         "Thursday", "Friday", "Saturday"};
        TimeDisplayFormat = "hh:nn";
    }
    void TearDown() override
    {
        Clock::SetCurrent(nullptr);
        FormatSettings() = FSaved;
    }
    // Loads a section given as text.
    TAutoTask Load(const std::string& lines, const std::string& name = "/t/daily.buj")
    {
        std::ofstream(sandbox.Path("s.ini"), std::ios::binary | std::ios::trunc) << "[AutoTask0]\r\n"
                                                                                 << lines;
        auto ini = TUnicodeIniFile::CreateForRead(sandbox.Path("s.ini"));
        TAutoTask task(name);
        task.LoadFromIni(ini, "AutoTask0");
        return task;
    }
    std::string SectionText(TAutoTask& task)
    {
        auto ini = TUnicodeIniFile::CreateForWrite(sandbox.Path("w.ini"), true);
        task.SaveToIni(ini, "AutoTask0");
        std::string text = ini.Text();
        size_t start = text.find("[AutoTask0]");
        return text.substr(start, text.find("\r\n\r\n", start) - start);
    }
    FixedClock FClock{EncodeDateTime(2024, 5, 15, 10, 0, 0, 0)};
    TFormatSettings FSaved;
};

TEST_F(AutoTaskTest, ANewSlotHasTheResetValues)
{
    TAutoTask task("/home/u/Tasks/daily.buj");
    EXPECT_EQ(task.TaskName, "daily");
    EXPECT_EQ(task.TaskPath, "/home/u/Tasks/daily.buj");
    EXPECT_EQ(task.BuProcess, asNone);
    EXPECT_EQ(task.ThPr, 3);
    EXPECT_EQ(task.AutoEnd, iaDelay);
    EXPECT_EQ(task.WeekDay, 127u);
    EXPECT_TRUE(task.RunIfMissed);
    EXPECT_EQ(task.SchedProps.LastZyk, 1000);
    EXPECT_EQ(task.SchedProps.AktZyk, 1);
    EXPECT_EQ(task.SchedProps.NumZyk, 1);
    EXPECT_DOUBLE_EQ(task.NextTime, 1.0 / 3);
    EXPECT_FALSE(task.IsActive());
}

TEST_F(AutoTaskTest, SectionIsWrittenInItsFixedFormat)
{
    TAutoTask task("/home/u/Tasks/daily.buj");
    task.BuProcess = asDailyAt;
    task.WeekDay = 31;
    task.SchedProps.StepMode = 1;
    task.SchedProps.NumZyk = 7;
    task.SchedProps.FullZyk = 2;
    task.SchedProps.AktZyk = 3;
    task.SchedProps.WeekZyk = 1;
    task.SchedProps.SchedMode = smIncr;
    task.LastTime = EncodeDateTime(2024, 5, 14, 8, 0, 1, 500);
    task.NextTime = EncodeDateTime(2024, 5, 16, 8, 0, 0, 0);
    EXPECT_EQ(SectionText(task), "[AutoTask0]\r\n"
                                 "Name=/home/u/Tasks/daily.buj\r\n"
                                 "Caption=daily\r\n"
                                 "Mode=3\r\n"
                                 "AutoEnd=1\r\n"
                                 "Priority=3\r\n"
                                 "ErrorStatus=0\r\n"
                                 "StepMode=1\r\n"
                                 "Cycles=2007\r\n"
                                 "ActCycle=1003\r\n"
                                 "SchedMode=2\r\n"
                                 "LastCycle=1000\r\n"
                                 "WeekDay=799\r\n"
                                 "LastDate=739020 ; 2024-05-14\r\n"
                                 "LastTime=28801500 ; 08:00:01\r\n"
                                 "BackupDate=739022 ; 2024-05-16\r\n"
                                 "BackupTime=28800000 ; 08:00:00");
    task.RunIfMissed = false;
    task.LastTime = 0;
    std::string text = SectionText(task);
    EXPECT_NE(text.find("WeekDay=543\r\n"), std::string::npos);
    EXPECT_NE(text.find("LastDate=0\r\nLastTime=0 ; 00:00:00\r\n"), std::string::npos);
}

TEST_F(AutoTaskTest, SixteenSlotsRoundTripByteForByte)
{
    std::string first = sandbox.Path("first.ini"), second = sandbox.Path("second.ini");
    {
        auto ini = TUnicodeIniFile::CreateForWrite(first, true);
        ini.WriteString("Config", "ErrorCount", "0");
        for (int i = 0; i < AutoTaskSlotCount; ++i) {
            TAutoTask task(i % 5 == 4 ? "" : "/home/u/Tasks/task " + std::to_string(i) + ".buj");
            task.BuProcess = static_cast<TAutoStart>(i % 8);
            task.ThPr = i % 7;
            task.AutoEnd = static_cast<TInteraction>(i % 6);
            task.ErrStatus = i % 7;
            task.WeekDay = static_cast<uint32_t>(i * 9 % 128);
            task.RunIfMissed = i % 2 == 0;
            task.SchedProps.StepMode = i % 4;
            task.SchedProps.NumZyk = 1 + i;
            task.SchedProps.FullZyk = task.SchedProps.StepMode == 1 ? i % 7 : 0;
            task.SchedProps.AktZyk = 1 + i % 5;
            task.SchedProps.WeekZyk = i % 3;
            task.SchedProps.SchedMode = static_cast<TSchedMode>(i % 5);
            task.SchedProps.LastZyk = i % 3 == 0 ? 1000 : i;
            task.LastTime =
                i % 3 == 0 ? 0 : EncodeDateTime(2024, 1 + i % 4, 1 + i, i, 2 * i, 3 * i % 60, 7 * i);
            task.NextTime = EncodeDateTime(2024, 5, 15 + i % 10, 23 - i, 59, 59, 999);
            task.SaveToIni(ini, "AutoTask" + std::to_string(i));
        }
        ini.WriteString("Other", "Key", "Value");
    }
    {
        auto in = TUnicodeIniFile::CreateForRead(first);
        auto out = TUnicodeIniFile::CreateForWrite(second, true);
        out.WriteString("Config", "ErrorCount", "0");
        for (int i = 0; i < AutoTaskSlotCount; ++i) {
            std::string section = "AutoTask" + std::to_string(i);
            TAutoTask task(in.ReadString(section, "Name", ""));
            task.LoadFromIni(in, section);
            task.SaveToIni(out, section);
        }
        out.WriteString("Other", "Key", "Value");
    }
    std::string a = ReadFileBytes(first), b = ReadFileBytes(second);
    EXPECT_EQ(a.substr(0, 2), "\xFF\xFE");
    EXPECT_EQ(a, b);
}

TEST_F(AutoTaskTest, WeekDayBitsAndOldValues)
{
    // 127 written without the format bit: every day for a daily-at slot, kept for a logon slot.
    TAutoTask dailyAt = Load("Mode=3\r\nWeekDay=5\r\n");
    EXPECT_EQ(dailyAt.WeekDay, 127u);
    EXPECT_FALSE(dailyAt.RunIfMissed);
    TAutoTask logon = Load("Mode=1\r\nWeekDay=5\r\n");
    EXPECT_EQ(logon.WeekDay, 5u);
    TAutoTask marked = Load("Mode=3\r\nWeekDay=799\r\n");
    EXPECT_EQ(marked.WeekDay, 31u);
    EXPECT_TRUE(marked.RunIfMissed);
    EXPECT_TRUE(marked.WeekdayInSchedule(EncodeDate(2024, 5, 17)));  // Friday
    EXPECT_FALSE(marked.WeekdayInSchedule(EncodeDate(2024, 5, 18))); // Saturday
}

TEST_F(AutoTaskTest, CyclesSplitOnlyForDailyChange)
{
    TAutoTask a = Load("StepMode=1\r\nCycles=2007\r\nActCycle=3005\r\n");
    EXPECT_EQ(a.SchedProps.FullZyk, 2);
    EXPECT_EQ(a.SchedProps.NumZyk, 7);
    EXPECT_EQ(a.SchedProps.WeekZyk, 3);
    EXPECT_EQ(a.SchedProps.AktZyk, 5);
    TAutoTask b = Load("StepMode=2\r\nCycles=2007\r\n");
    EXPECT_EQ(b.SchedProps.NumZyk, 7);
    EXPECT_EQ(b.SchedProps.FullZyk, 0);
    TAutoTask c = Load("StepMode=1\r\nCycles=1000\r\n");
    EXPECT_EQ(c.SchedProps.NumZyk, 1000);
    EXPECT_EQ(c.SchedProps.FullZyk, 0);
}

TEST_F(AutoTaskTest, RunTimesAreReadFromDayNumbers)
{
    TAutoTask future = Load("LastDate=739022 ; 2024-05-17\r\nLastTime=3600000\r\n"); // day after tomorrow
    EXPECT_EQ(future.LastTime, 0);
    TAutoTask past = Load("LastDate=739020 ; comment\r\nLastTime=3600000 ; 01:00:00\r\n");
    EXPECT_DOUBLE_EQ(past.LastTime, EncodeDateTime(2024, 5, 14, 1, 0, 0, 0));
    TAutoTask old = Load("LastDate=693595\r\nLastTime=5\r\n");
    EXPECT_EQ(old.LastTime, 0);
    TAutoTask defaults = Load("");
    EXPECT_DOUBLE_EQ(defaults.NextTime, EncodeDateTime(2024, 5, 15, 8, 0, 0, 0));
    TAutoTask timeOnly = Load("BackupDate=0\r\nBackupTime=45000000\r\n");
    EXPECT_DOUBLE_EQ(timeOnly.NextTime, EncodeDateTime(2024, 5, 15, 12, 30, 0, 0));
    TAutoTask junk = Load("LastDate=abc\r\nBackupDate=x\r\nCaption=\r\n");
    EXPECT_EQ(junk.LastTime, 0);
    EXPECT_EQ(junk.TaskName, "daily");
}

TEST_F(AutoTaskTest, ScheduleDataAfterARun)
{
    std::string file = sandbox.Path("s.ini");
    TAutoTask task("/t/a.buj");
    task.BuProcess = asLogon;
    {
        auto ini = TUnicodeIniFile::CreateForWrite(file, true);
        task.SaveToIni(ini, "AutoTask2");
    }
    task.SchedProps.AktZyk = 4;
    task.LastTime = EncodeDateTime(2024, 5, 15, 9, 0, 0, 0);
    {
        auto ini = TUnicodeIniFile::CreateForWrite(file, false);
        task.SaveScheduleToIni(ini, "AutoTask2", 4, false);
    }
    {
        auto ini = TUnicodeIniFile::CreateForRead(file);
        EXPECT_EQ(ini.ReadInteger("AutoTask2", "ErrorStatus", -1), 4);
        EXPECT_EQ(ini.ReadInteger("AutoTask2", "ActCycle", -1), 1);
    }
    {
        auto ini = TUnicodeIniFile::CreateForWrite(file, false);
        task.SaveScheduleToIni(ini, "AutoTask2", 0, true);
    }
    auto ini = TUnicodeIniFile::CreateForRead(file);
    EXPECT_EQ(ini.ReadInteger("AutoTask2", "ErrorStatus", -1), 0);
    EXPECT_EQ(ini.ReadInteger("AutoTask2", "ActCycle", -1), 4);
    EXPECT_EQ(ini.ReadString("AutoTask2", "LastDate", ""), "739021 ; 2024-05-15");
    EXPECT_EQ(ini.ReadString("AutoTask2", "Mode", ""), "1");
}

TEST_F(AutoTaskTest, ScheduleDescriptions)
{
    TAutoTask task("/t/a.buj");
    task.NextTime = EncodeDateTime(2024, 5, 15, 18, 30, 0, 0); // today
    struct Case
    {
        TAutoStart start;
        const char* text;
    };
    const Case today[] = {{asLogon, "On next logon"},
                          {asDaily, "Tomorrow on logon"},
                          {asDailyAt, "Today at 18:30"},
                          {asLogoff, "On logoff not before 18:30"},
                          {asWeekly, "On first logon on Wednesday"},
                          {asWeekDay, "Today on next logoff"},
                          {asByRequest, "By request"},
                          {asNone, "Deactivated"}};
    for (const auto& c : today) {
        task.BuProcess = c.start;
        EXPECT_EQ(task.GetScheduleDesc(), c.text);
    }
    task.NextTime = EncodeDateTime(2024, 5, 17, 7, 5, 0, 0);
    task.BuProcess = asDailyAt;
    EXPECT_EQ(task.GetScheduleDesc(), "Next Friday at 07:05");
    task.BuProcess = asWeekDay;
    EXPECT_EQ(task.GetScheduleDesc(), "On first logoff on Friday");
    task.TaskPath.clear();
    EXPECT_EQ(task.GetScheduleDesc(), "");
}

TEST_F(AutoTaskTest, AlternatingScheduleTexts)
{
    TAutoTask task("/t/a.buj");
    EXPECT_EQ(task.GetScheduleInfo(), "No schedule configured!");
    EXPECT_EQ(task.GetAltSchedDesc(), "");
    task.SchedProps = {1, 1000, 3, 1, 14, 6, smIncr2};
    EXPECT_EQ(task.GetScheduleInfo(), "Mode: As in task + Incremental\r\n"
                                      "Daily - 2-week cycle\r\nFull on each Sunday\r\n"
                                      "Current step: Wed, 2nd week");
    EXPECT_EQ(task.GetAltSchedDesc(), "D14-I2");
    task.SchedProps = {1, 1000, 2, 0, 21, 0, smDiff};
    EXPECT_EQ(task.GetScheduleInfo(), "Mode: As in task + Differential\r\n"
                                      "Daily - 3-week cycle\r\nFull on each 3rd Monday\r\n"
                                      "Current step: Tue, 1st week");
    task.SchedProps = {2, 1000, 3, 0, 14, 0, smIncr};
    EXPECT_EQ(task.GetScheduleInfo(), "Mode: As in task + Incremental\r\n"
                                      "Daily - weekly change (14 weeks)\r\nCurrent step: 3rd week");
    EXPECT_EQ(task.GetAltSchedDesc(), "DW14-I");
    task.SchedProps = {1, 1000, 1, 0, 6, 0, smDiff2};
    EXPECT_EQ(task.GetScheduleInfo(), "Mode: As in task + Differential\r\n"
                                      "Daily change (2x3 days)\r\nCurrent step: 1st day");
    task.SchedProps = {3, 1000, 2, 0, 4, 0, smNormal};
    EXPECT_EQ(task.GetScheduleInfo(), "Mode: As defined in task\r\n"
                                      "Weekly change (4 weeks)\r\nCurrent step: 2nd week");
    EXPECT_EQ(task.GetAltSchedDesc(), "W4");
}

} // namespace
