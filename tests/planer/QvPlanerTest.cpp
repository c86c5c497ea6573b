// Alternating schedules: the settings file, the checks, the command line and day-by-day runs under a
// fake clock with a host that records what would be shown and started; then real runs of the main
// program into the cycle folders.

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>

#include "foundation/IniFileUtils.h"
#include "planer/PlanerHost.h"
#include "planer/QvPlanerMain.h"
#include "rtl/DateTime.h"
#include "support/FakeClock.h"
#include "support/Files.h"
#include "support/Sandbox.h"
#include "support/Shell.h"

namespace fs = std::filesystem;

namespace {

class RecordingPlanerHost : public IPlanerHost
{
public:
    void ErrorBox(const std::string& text) override { Calls.push_back("error|" + text); }
    void InfoBox(const std::string& text, int) override { Calls.push_back("info|" + text); }
    bool Confirm(const std::string& text) override
    {
        Calls.push_back("confirm|" + text);
        return ConfirmAnswer;
    }
    void ReportEvent(uint32_t id, uint16_t, const std::vector<std::string>& strings) override
    {
        std::string line = Format("event|%x", {id});
        for (const auto& s : strings)
            line += "|" + s;
        Calls.push_back(line);
    }
    uint32_t RunMainProgram(const std::string& exe, const std::string& params, bool wait) override
    {
        Started.push_back((wait ? "wait|" : "") + params);
        if (Real) // waits for every run, so the test sees its backup
            return StartMainProgram(exe, params, true);
        return StartResult;
    }
    std::vector<std::string> Calls;
    std::vector<std::string> Started;
    bool ConfirmAnswer = false;
    bool Real = false;
    uint32_t StartResult = 0;
};

class QvPlanerTest : public SandboxTest
{
protected:
    RecordingPlanerHost host;
    THauptForm form{host};
    ScopedFakeClock clock{EncodeDate(2027, 1, 4) + 0.5}; // a Monday, noon

    void SetUp() override
    {
        form.AppPath = sandbox.Path("cfg/");
        form.UserPath = sandbox.Path("docs/");
        form.QvPath = "/opt/vastrel/Vastrel";
        fs::create_directories(sandbox.Path("cfg"));
        WriteFileBytes(sandbox.Path("task.buj"), "");
    }
    void SetDay(int year, int month, int day) { clock->Set(EncodeDate(year, month, day) + 0.5); }
    TSchedTask Schedule(const std::string& name, int cycles, int steps)
    {
        TSchedTask s;
        s.SName = name;
        s.Task = sandbox.Path("task.buj");
        s.Cycles = cycles;
        s.Steps = steps;
        s.FirstDay = steps == 7 ? 1 : 0;
        return s;
    }
    // The folder of the day's run of the last start ("" when nothing was started).
    std::string RunToday(int index = 0)
    {
        host.Started.clear();
        const TScheduleRunInfo info = form.RunSchedule(index, " /hide");
        return info.Started ? info.Folder : std::string();
    }
};

TEST_F(QvPlanerTest, AWeeklyScheduleRunsDayByDayThroughItsCyclesAndWraps)
{
    form.IniName = sandbox.Path("cfg/QvPlaner.ini");
    form.Schedules = {Schedule("Weekly", 2, 7)};
    std::vector<std::string> folders;
    for (int day = 0; day < 15; ++day) {
        clock->Set(EncodeDate(2027, 1, 4) + day + 0.5);
        folders.push_back(RunToday());
        // the full backup of a cycle is made on its own day: no catch-up run before it
        EXPECT_EQ(host.Started.size(), 1u) << "day " << day;
    }
    EXPECT_EQ(folders, (std::vector<std::string>{"BuMo1F", "BuTu1D", "BuWe1D", "BuTh1D", "BuFr1D", "BuSa1D",
                                                 "BuSu1D", "BuMo2F", "BuTu2D", "BuWe2D", "BuTh2D", "BuFr2D",
                                                 "BuSa2D", "BuSu2D", "BuMo1F"}));
    EXPECT_EQ(host.Started[0],
              sandbox.Path("task.buj") + " /startapp:qvplaner /mode:full /backupdir:BuMo1F /force /hide");
    // the state is in the file after every start
    TMemIniFile ini(form.IniName);
    EXPECT_EQ(ini.ReadInteger("Sched00", "NextCycle", 0), 2);
    EXPECT_EQ(ini.ReadInteger("Sched00", "LastFull", 0), 1);
    EXPECT_EQ(ini.ReadInteger("Sched00", "LastDay", 0), static_cast<int>(EncodeDate(2027, 1, 18)));
}

TEST_F(QvPlanerTest, AMissedFullBackupDayIsCaughtUpBeforeTheDaysRun)
{
    form.IniName = sandbox.Path("cfg/QvPlaner.ini");
    form.Schedules = {Schedule("Weekly", 2, 7)};
    for (int day = 0; day < 7; ++day) {
        clock->Set(EncodeDate(2027, 1, 4) + day + 0.5);
        RunToday();
    }
    SetDay(2027, 1, 12); // the second Monday was missed
    EXPECT_EQ(RunToday(), "BuTu2D");
    ASSERT_EQ(host.Started.size(), 2u);
    EXPECT_EQ(host.Started[0], "wait|" + sandbox.Path("task.buj") +
                                   " /startapp:qvplaner /mode:full /backupdir:BuMo2F /force /hide");
    EXPECT_EQ(form.Schedules[0].LastFull, 8);
    // a failed catch-up is reported and the day's run still starts
    form.Schedules[0].LastFull = 1;
    form.Schedules[0].NextCyc = 9;
    host.StartResult = 0;
    SetDay(2027, 1, 13);
    host.Calls.clear();
    RunToday();
    EXPECT_EQ(host.Started.size(), 2u);
}

TEST_F(QvPlanerTest, AWeeklyScheduleWaitsForItsFirstFullBackupDay)
{
    form.IniName = sandbox.Path("cfg/QvPlaner.ini");
    form.Schedules = {Schedule("Weekly", 2, 7)};
    SetDay(2027, 1, 6); // Wednesday
    EXPECT_EQ(RunToday(), "");
    EXPECT_TRUE(host.Started.empty());
    ASSERT_EQ(host.Calls.size(), 1u);
    EXPECT_EQ(host.Calls[0].rfind("info|First full backup on next \"Monday\"!", 0), 0u) << host.Calls[0];
    EXPECT_EQ(form.Schedules[0].NextCyc, 0);
    EXPECT_FALSE(fs::exists(form.IniName)) << "nothing is stored";
    // quiet schedules write the event instead
    form.Schedules[0].Silent = true;
    host.Calls.clear();
    RunToday();
    ASSERT_EQ(host.Calls.size(), 1u);
    EXPECT_EQ(host.Calls[0].rfind("event|40000019|Monday|Weekly|", 0), 0u) << host.Calls[0];
}

TEST_F(QvPlanerTest, OtherRhythmsNumberTheirFoldersByStep)
{
    form.IniName = sandbox.Path("cfg/QvPlaner.ini");
    struct Case
    {
        int cycles;
        std::vector<std::string> first;
    };
    for (const Case& c : {Case{12, {"Bu001F", "Bu002D", "Bu003D"}}, Case{11, {"Bu01F", "Bu02D", "Bu03D"}}}) {
        form.Schedules = {Schedule("Nine", c.cycles, 9)};
        std::vector<std::string> folders;
        for (int day = 0; day < 10; ++day) {
            clock->Set(EncodeDate(2027, 1, 4) + day + 0.5);
            folders.push_back(RunToday());
        }
        EXPECT_EQ(std::vector<std::string>(folders.begin(), folders.begin() + 3), c.first);
        EXPECT_EQ(folders[9], c.cycles == 12 ? "Bu010F" : "Bu10F");
    }
    // incremental steps
    form.Schedules = {Schedule("Inc", 2, 3)};
    form.Schedules[0].Diff = false;
    std::vector<std::string> folders;
    for (int day = 0; day < 4; ++day) {
        clock->Set(EncodeDate(2027, 1, 4) + day + 0.5);
        folders.push_back(RunToday());
    }
    EXPECT_EQ(folders, (std::vector<std::string>{"Bu01F", "Bu02I", "Bu03I", "Bu04F"}));
}

TEST_F(QvPlanerTest, ASecondStartOnTheSameDayIsRefusedOrRepeatsTheStep)
{
    form.IniName = sandbox.Path("cfg/QvPlaner.ini");
    form.Schedules = {Schedule("Daily", 2, 5)};
    ASSERT_EQ(RunToday(), "Bu01F");
    const int stored = TMemIniFile(form.IniName).ReadInteger("Sched00", "NextCycle", 0);

    host.Calls.clear();
    EXPECT_EQ(RunToday(), "") << "without /interactive a box says so and nothing runs";
    ASSERT_EQ(host.Calls.size(), 1u);
    EXPECT_EQ(host.Calls[0].rfind("info|Backup already done for this day!", 0), 0u);

    form.IntAct = true;
    host.ConfirmAnswer = false;
    EXPECT_EQ(RunToday(), "");
    host.ConfirmAnswer = true;
    EXPECT_EQ(RunToday(), "Bu01F") << "run again repeats the step";
    EXPECT_EQ(TMemIniFile(form.IniName).ReadInteger("Sched00", "NextCycle", 0), stored);

    form.IsBatch = true;
    host.Calls.clear();
    EXPECT_EQ(RunToday(), "");
    ASSERT_EQ(host.Calls.size(), 1u);
    EXPECT_EQ(host.Calls[0], "event|40000018|Daily|" + sandbox.Path("task.buj"));
}

TEST_F(QvPlanerTest, ARunThatCannotStartLeavesTheStoredDayAndIsReported)
{
    form.IniName = sandbox.Path("cfg/QvPlaner.ini");
    WriteFileBytes(sandbox.Path("my task.buj"), "");
    form.Schedules = {Schedule("Daily", 2, 5)};
    form.Schedules[0].Task = sandbox.Path("my task.buj");
    host.StartResult = 2;
    EXPECT_EQ(RunToday(), "");
    EXPECT_EQ(host.Started[0].rfind("\"" + sandbox.Path("my task.buj") + "\" /startapp:qvplaner", 0), 0u);
    ASSERT_EQ(host.Calls.size(), 1u);
    EXPECT_EQ(host.Calls[0].rfind("error|Error ", 0), 0u) << host.Calls[0];
    EXPECT_NE(host.Calls[0].find("on starting \"Vastrel\"!"), std::string::npos) << host.Calls[0];
    EXPECT_EQ(TMemIniFile(form.IniName).ReadInteger("Sched00", "LastDay", 0), 0);
    host.StartResult = 0;
    EXPECT_EQ(RunToday(), "Bu02D") << "the next call on the same day runs again";
}

TEST_F(QvPlanerTest, TheSettingsFileKeepsSchedulesAndRepairsWhatCannotBeRun)
{
    const std::string ini = sandbox.Path("cfg/QvPlaner.ini");
    WriteFileBytes(ini,
                   "[Config]\nCount=3\nJobDir=/jobs/\n[Sched00]\nName=A\nTask=/t.buj\nCycles=3\nSteps=9\n"
                   "Differential=0\nNextCycle=5\nSilent=1\n[Sched02]\nSteps=0\nCycles=-4\nNextCycle=77\n");
    TPlanerConfig config;
    TMemIniFile file(ini);
    TSchedules s = LoadSchedules(file, config);
    ASSERT_EQ(s.size(), 3u);
    EXPECT_EQ(config.JobDir, "/jobs/");
    EXPECT_EQ(s[0].SName, "A");
    EXPECT_EQ(s[0].Steps, 9);
    EXPECT_EQ(s[0].FirstDay, 0);
    EXPECT_FALSE(s[0].Diff);
    EXPECT_TRUE(s[0].Silent);
    EXPECT_EQ(s[1].SName, "Sched01") << "a missing section gives the defaults";
    EXPECT_EQ(s[1].Steps, 7);
    EXPECT_EQ(s[1].Cycles, 2);
    EXPECT_TRUE(s[1].Task.empty());
    EXPECT_EQ(s[2].Steps, 2) << "steps below 2 would divide by zero";
    EXPECT_EQ(s[2].Cycles, 1);
    EXPECT_EQ(s[2].NextCyc, 2) << "a next step past the schedule";

    TSchedules many(100, s[0]);
    for (size_t i = 0; i < many.size(); ++i)
        many[i].SName = "S" + std::to_string(i);
    SaveSchedules(ini, many, config, "QvPlaner", "6.0.0.0");
    TMemIniFile saved(ini);
    EXPECT_EQ(saved.ReadInteger("Config", "Count", 0), 99);
    EXPECT_EQ(saved.ReadString("Sched98", "Name", ""), "S98");
    EXPECT_FALSE(saved.SectionExists("Sched99"));
    EXPECT_EQ(saved.ReadString("Unicode", "Program", ""), "QvPlaner");
    EXPECT_FALSE(saved.SectionExists("Sched02x"));
}

TEST_F(QvPlanerTest, SchedulesAreCheckedBeforeTheyAreStored)
{
    form.Schedules = {Schedule("Weekly", 2, 7)};
    struct Case
    {
        std::string name;
        std::string task;
        int cycles, steps, index;
        int result;
        std::string message;
    };
    const std::string task = sandbox.Path("task.buj");
    for (const Case& c : std::vector<Case>{
             {"", task, 2, 7, -1, 1, "Please specify a name for this schedule!"},
             {"weekly", task, 2, 7, -1, 1, "Please select a unique name for this schedule!"},
             {"WEEKLY", task, 2, 7, 0, 0, ""},
             {"New", sandbox.Path("gone.buj"), 2, 7, -1, 2, "Please select a valid backup task!"},
             {"New", task, 99, 7, -1, 0, ""},
             {"New", task, 100, 7, -1, 3, "The total number of steps exceeds the maximum of 693!"},
             {"New", task, 111, 9, -1, 0, ""},
             {"New", task, 112, 9, -1, 4, "The total number of steps exceeds the maximum of 999!"},
         }) {
        host.Calls.clear();
        TSchedTask s = Schedule(c.name, c.cycles, c.steps);
        s.Task = c.task;
        EXPECT_EQ(form.ValidateSchedule(c.index, s), c.result) << c.name << " " << c.cycles;
        if (c.result != 0) {
            ASSERT_EQ(host.Calls.size(), 1u);
            EXPECT_EQ(host.Calls[0], "error|" + c.message);
        } else {
            EXPECT_TRUE(host.Calls.empty());
        }
    }
}

TEST_F(QvPlanerTest, TheCommandLineNamesTheScheduleAndTheOptionsForTheMainProgram)
{
    const std::string ini = sandbox.Path("cfg/test.ini");
    SaveSchedules(ini, {Schedule("Weekly", 2, 7)}, TPlanerConfig{}, "QvPlaner", "6");
    form.Init({"/ini:test", "Weekly", "/delay:9", "-interactive"});
    EXPECT_EQ(form.IniName, ini);
    EXPECT_EQ(form.SchedName, "Weekly");
    EXPECT_EQ(form.Wait, 9);
    EXPECT_TRUE(form.IntAct);
    EXPECT_EQ(form.DefOptions, " /hide /logmode:1 /ini:" + ini);
    EXPECT_TRUE(form.CheckSchedule());
    ASSERT_EQ(host.Started.size(), 1u);
    EXPECT_EQ(host.Started[0],
              sandbox.Path("task.buj") +
                  " /startapp:qvplaner /mode:full /backupdir:BuMo1F /force /hide /logmode:1 /ini:" + ini);

    THauptForm other(host);
    other.AppPath = form.AppPath;
    other.QvPath = form.QvPath;
    other.Init({"/ini:test", "weekly", "/hide", "/prompt:quiet", "/delay:x"});
    EXPECT_EQ(other.OtherOptions, " /hide /prompt:quiet");
    EXPECT_EQ(other.Wait, 5);
    SetDay(2027, 1, 5);
    host.Started.clear();
    EXPECT_TRUE(other.CheckSchedule());
    ASSERT_EQ(host.Started.size(), 1u);
    EXPECT_EQ(host.Started[0].substr(host.Started[0].find(" /force")), " /force /hide /prompt:quiet");
}

TEST_F(QvPlanerTest, ABatchRunWithoutItsScheduleOrMainProgramEndsWithAnEvent)
{
    form.IsBatch = true;
    form.Init({"Nightly"});
    host.Calls.clear();
    EXPECT_TRUE(form.CheckSchedule()) << "no settings file";
    ASSERT_EQ(host.Calls.size(), 1u);
    EXPECT_EQ(host.Calls[0], "event|C000001A|Nightly|" + sandbox.Path("cfg/QvPlaner.ini"));

    SaveSchedules(form.IniName, {Schedule("Weekly", 2, 7)}, TPlanerConfig{}, "QvPlaner", "6");
    host.Calls.clear();
    EXPECT_TRUE(form.CheckSchedule()) << "unknown schedule";
    EXPECT_EQ(host.Calls, std::vector<std::string>{"event|C000001A|Nightly|" + form.IniName});

    form.IsBatch = false;
    form.QvPath.clear();
    host.Calls.clear();
    EXPECT_FALSE(form.CheckSchedule()) << "an interactive start opens the window";
    EXPECT_EQ(host.Calls, (std::vector<std::string>{"error|\"Vastrel\" not found on this system!",
                                                    "error|Schedule \"Nightly\" not found!"}));
}

#ifdef VASTREL_EXE
// Steps run by the real main program: the first writes every file into its folder, a differential step
// only what changed since that full backup.
TEST_F(QvPlanerTest, StepsRunByTheMainProgramWriteFullAndDifferentialBackups)
{
    fs::create_directories(sandbox.Path("src"));
    WriteFileBytes(sandbox.Path("src/a.txt"), "alpha");
    WriteFileBytes(sandbox.Path("src/b.txt"), "beta");
    WriteFileBytes(sandbox.Path("task.buj"), "[Global]\r\nCompress=0\r\nDestination=" + sandbox.Path("dest") +
                                                 "\r\nDirCount=1\r\n[Dir000]\r\nSource=" +
                                                 sandbox.Path("src") + "\r\nEnabled=1\r\nBackupMode=1\r\n");
    form.IniName = sandbox.Path("cfg/QvPlaner.ini");
    form.QvPath = VASTREL_EXE;
    form.Schedules = {Schedule("Daily", 2, 3)};
    host.Real = true;
    ::setenv("VASTREL_POWER_LOG", sandbox.Path("power.log").c_str(), 1);
    ::unsetenv("DISPLAY");
    ::unsetenv("WAYLAND_DISPLAY");
    auto filesIn = [&](const std::string& folder) {
        std::vector<std::string> names;
        const fs::path root = sandbox.Path("dest/" + folder);
        if (fs::exists(root))
            for (const auto& e : fs::recursive_directory_iterator(root))
                if (e.is_regular_file() && e.path().filename().string()[0] != '$') // not the time stamp
                    names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    };
    ASSERT_EQ(RunToday(), "Bu01F") << (host.Calls.empty() ? "" : host.Calls.back());
    EXPECT_EQ(filesIn("Bu01F"), (std::vector<std::string>{"a.txt", "b.txt"}));

    SetDay(2027, 1, 5);
    WriteFileBytes(sandbox.Path("src/b.txt"), "beta, changed");
    ASSERT_EQ(RunToday(), "Bu02D");
    EXPECT_EQ(filesIn("Bu02D"), (std::vector<std::string>{"b.txt"}));
    for (const auto& e : fs::recursive_directory_iterator(sandbox.Path("dest/Bu02D")))
        if (e.path().filename() == "b.txt") {
            EXPECT_EQ(ReadFileBytes(e.path().string()), "beta, changed");
        }
}
#endif

} // namespace
