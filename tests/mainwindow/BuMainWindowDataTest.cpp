// The main window's settings and the runs it starts, without the window: the settings file written
// whole and read back, settings files that must not be overwritten, the start-up check of the slots
// and the schedule timer under a fake clock, and runs handed over by a second start.

#include <cmath>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "foundation/BuConsts.h"
#include "foundation/IniFileUtils.h"
#include "foundation/InitProg.h"
#include "mainwindow/BuMain.h"
#include "support/FakeClock.h"
#include "support/Files.h"
#include "support/Sandbox.h"

namespace {

class WindowDataTest : public SandboxTest
{
protected:
    TProgramFolders Folders() const
    {
        TProgramFolders f;
        f.ProgramDir = sandbox.Path("prog/");
        f.AppDataDir = sandbox.Path("home/.config/");
        f.DocumentsDir = sandbox.Path("home/Documents/");
        f.SystemTempDir = sandbox.Path("tmp/");
        return f;
    }
    std::string IniPath() const { return sandbox.Path("home/.config/Vastrel6/Vastrel.ini"); }
    std::string TaskDir() const { return sandbox.Path("home/Documents/Vastrel/"); }

    // A task that backs up one file; its log goes to <name>.log in the sandbox.
    std::string Task(const std::string& name)
    {
        WriteFileBytes(sandbox.Path("src-" + name + "/f.txt"), "data");
        const std::string path = TaskDir() + name + ".buj";
        WriteFileBytes(path, "[Global]\r\nDestination=" + sandbox.Path("dest-" + name) +
                                 "\r\nLogName=" + sandbox.Path(name + ".log") +
                                 "\r\nDirCount=1\r\n[Dir000]\r\nSource=" + sandbox.Path("src-" + name) +
                                 "\r\nBackupMode=1\r\n");
        return path;
    }
    bool Ran(const std::string& name) const
    {
        return ReadFileBytes(sandbox.Path(name + ".log")).find("Status: OK") != std::string::npos;
    }

    TRecordingInteraction interaction;
    TRecordingPowerActions power;
};

TEST_F(WindowDataTest, TheSettingsFileIsWrittenWholeAndReadBack)
{
    std::filesystem::create_directories(TaskDir());
    const std::string a = Task("alpha");
    const std::string b = Task("beta");
    {
        TBuMainForm form(Folders(), interaction, power);
        form.InitProgram({"Vastrel"});
        EXPECT_FALSE(form.IsBatchStart());
        EXPECT_TRUE(form.StartMessages.empty());
        form.BackupList.AddObject("alpha.buj", 0);
        form.BackupList.AddObject("== nightly", CommentLine);
        form.BackupList.AddObject("beta.buj", 0);
        form.CurrentTask = b;
        form.AutoTasks[4]->TaskPath = a;
        form.AutoTasks[4]->TaskName = "alpha";
        form.AutoTasks[4]->BuProcess = asDailyAt;
        form.WindowLeft = 40;
        form.WindowTop = 30;
        form.WindowWidth = 900;
        form.WindowHeight = 600;
        ASSERT_TRUE(form.SaveToIni());
    }
    std::filesystem::remove(b); // a task file that is gone drops out of the list
    TBuMainForm back(Folders(), interaction, power);
    back.InitProgram({"Vastrel"});
    ASSERT_EQ(back.BackupList.Count(), 2);
    EXPECT_EQ(back.BackupList[0], "alpha.buj");
    EXPECT_EQ(back.BackupList.Objects(1), CommentLine);
    EXPECT_EQ(back.CurrentTask, b);
    EXPECT_EQ(back.AutoTasks[4]->TaskPath, a);
    EXPECT_EQ(back.AutoTasks[4]->BuProcess, asDailyAt);
    EXPECT_TRUE(back.AutoFlags.WaitActive);
    EXPECT_TRUE(back.SysTray) << "a timed slot keeps the program in the background";
    EXPECT_EQ(back.WindowWidth, 900);
    EXPECT_EQ(back.WindowLeft, 40);
    EXPECT_TRUE(interaction.Calls.empty());
}

TEST_F(WindowDataTest, ASettingsFileThatCannotBeOursIsNeverOverwritten)
{
    struct Case
    {
        const char* what;
        std::string bytes;
        bool kept; // the file must not be touched
    } cases[] = {
        {"damaged", std::string("\x01\x02 garbage without sections\n\xFF\xFE", 30), true},
        {"newer version", "[Unicode]\r\nVersion=6.10.0.0\r\n[Config]\r\nSysTray=1\r\n", true},
        {"empty", "", false},
        {"ours", "[Unicode]\r\nVersion=6.3.9\r\n[Config]\r\nSysTray=1\r\n", false},
    };
    ProgVersion = "6.3.25.0";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        WriteFileBytes(IniPath(), c.bytes);
        TBuMainForm form(Folders(), interaction, power);
        form.InitProgram({"Vastrel"});
        EXPECT_EQ(form.SettingsProtected.empty(), !c.kept) << form.SettingsProtected;
        EXPECT_EQ(form.StartMessages.size(), c.kept ? 1u : 0u);
        EXPECT_EQ(form.SaveToIni(), !c.kept);
        form.IncErrorCount();
        form.FinishProgram();
        if (c.kept)
            EXPECT_EQ(ReadFileBytes(IniPath()), c.bytes);
        else
            EXPECT_NE(ReadFileBytes(IniPath()), c.bytes);
    }
    EXPECT_TRUE(interaction.Calls.empty()) << interaction.Calls[0];

    // A file that cannot be written: one message, and the program goes on.
    TBuMainForm form(Folders(), interaction, power);
    form.InitProgram({"Vastrel"});
    WriteFileBytes(sandbox.Path("a-file"), "not a folder");
    SettingsFile = sandbox.Path("a-file/Vastrel.ini");
    EXPECT_FALSE(form.SaveToIni());
    ASSERT_EQ(interaction.Calls.size(), 1u);
    EXPECT_NE(interaction.Calls[0].find("Error writing to"), std::string::npos) << interaction.Calls[0];
}

TEST_F(WindowDataTest, TheScheduleTimerRunsATimedSlotOnceItsTimeHasCome)
{
    std::filesystem::create_directories(TaskDir());
    const std::string task = Task("timed");
    const TDateTime day = EncodeDate(2025, 3, 5); // a Wednesday
    ScopedFakeClock clock(day + 9.0 / 24);
    TBuMainForm form(Folders(), interaction, power);
    form.InitProgram({"Vastrel"});
    TAutoTask& slot = *form.AutoTasks[2];
    slot.TaskPath = task;
    slot.TaskName = "timed";
    slot.BuProcess = asDailyAt;
    slot.NextTime = day + 10.0 / 24;
    form.UpdateAutoFlags(false);
    ASSERT_TRUE(form.SaveToIni());

    EXPECT_FALSE(form.ScheduleTick()) << "09:00, the slot waits for 10:00";
    EXPECT_FALSE(Ran("timed"));
    clock->AdvanceSeconds(3600 + 10);
    EXPECT_TRUE(form.ScheduleTick());
    EXPECT_TRUE(Ran("timed"));
    EXPECT_NEAR(slot.NextTime, day + 1 + 10.0 / 24, 1e-6);
    EXPECT_EQ(slot.ErrStatus, 0);
    // The run's state is in the settings file at once.
    auto ini = TUnicodeIniFile::CreateForRead(SettingsFile);
    EXPECT_NE(ini.ReadString("AutoTask2", "BackupDate", "").find("; 2025-03-06"), std::string::npos);
    EXPECT_NE(ini.ReadString("AutoTask2", "LastDate", "").find("; 2025-03-05"), std::string::npos);
    std::filesystem::remove(sandbox.Path("timed.log"));
    clock->AdvanceSeconds(60);
    EXPECT_FALSE(form.ScheduleTick()) << "once a day";
    EXPECT_FALSE(Ran("timed"));
}

TEST_F(WindowDataTest, TheStartUpCheckRunsLogonSlotsAndStaysForTimedOnes)
{
    std::filesystem::create_directories(TaskDir());
    const std::string logon = Task("logon");
    const std::string timed = Task("later");
    const TDateTime day = EncodeDate(2025, 3, 5);
    ScopedFakeClock clock(day + 8.0 / 24);
    TBuMainForm form(Folders(), interaction, power);
    form.InitProgram({"Vastrel"});
    form.AutoTasks[0]->TaskPath = logon;
    form.AutoTasks[0]->TaskName = "logon";
    form.AutoTasks[0]->BuProcess = asLogon;
    form.AutoTasks[1]->TaskPath = timed;
    form.AutoTasks[1]->TaskName = "later";
    form.AutoTasks[1]->BuProcess = asDailyAt;
    form.AutoTasks[1]->NextTime = day + 20.0 / 24;
    EXPECT_EQ(form.RunBackupTasks("", 0, iaNone, tpNormal), brWait);
    EXPECT_TRUE(Ran("logon"));
    EXPECT_FALSE(Ran("later"));

    form.AutoTasks[1]->BuProcess = asNone;
    std::filesystem::remove(sandbox.Path("logon.log"));
    EXPECT_EQ(form.RunBackupTasks("", 0, iaNone, tpNormal), brOK) << "nothing keeps the program running";
    EXPECT_TRUE(Ran("logon"));
}

TEST_F(WindowDataTest, TheEndOfASessionRunsItsDueLogoffSlotsAndKeepsTheirError)
{
    std::filesystem::create_directories(TaskDir());
    const std::string logoff = Task("logoff");
    const std::string weekday = Task("weekday");
    const TDateTime day = EncodeDate(2025, 3, 5); // a Wednesday
    ScopedFakeClock clock(day + 10.0 / 24);
    TBuMainForm form(Folders(), interaction, power);
    form.InitProgram({"Vastrel"});
    auto set = [&](int index, const std::string& path, TAutoStart kind, TDateTime next) {
        TAutoTask& s = *form.AutoTasks[static_cast<size_t>(index)];
        s.TaskPath = path;
        s.TaskName = "x";
        s.BuProcess = kind;
        s.NextTime = next;
    };
    set(0, logoff, asLogoff, day - 3 + 18.0 / 24); // "not before 18:00"
    set(1, weekday, asWeekDay, day);
    form.AutoTasks[1]->WeekDay = 1u << 2; // Wednesdays
    set(2, sandbox.Path("gone.buj"), asWeekDay, day);
    set(3, Task("logon"), asLogon, day);
    form.LogonTime = day + 8.0 / 24;
    EXPECT_EQ(form.RunLogoffBackups(), brError);
    EXPECT_FALSE(Ran("logoff")) << "18:00 has not come yet";
    EXPECT_TRUE(Ran("weekday"));
    EXPECT_NEAR(form.AutoTasks[1]->NextTime, day + 7, 1e-5) << "the next Wednesday";
    EXPECT_FALSE(Ran("logon")) << "logon slots do not run at the end of a session";
    EXPECT_EQ(form.LastError, 1 + 100 * 3);
    EXPECT_EQ(TUnicodeIniFile::CreateForRead(SettingsFile).ReadInteger("Config", "LastError", 0), 301);

    // A session that began yesterday: the logoff slot runs as of yesterday and waits for today's 18:00.
    std::filesystem::remove(sandbox.Path("weekday.log"));
    form.LogonTime = day - 1 + 8.0 / 24;
    form.RunLogoffBackups();
    EXPECT_TRUE(Ran("logoff"));
    EXPECT_NEAR(form.AutoTasks[0]->NextTime, day + 18.0 / 24, 1e-6);
    EXPECT_FALSE(Ran("weekday")) << "its next day is a week away";
}

TEST_F(WindowDataTest, AHandedOverRunResolvesNamesFromTheCallersFolder)
{
    std::filesystem::create_directories(sandbox.Path("work"));
    WriteFileBytes(sandbox.Path("src-handed/f.txt"), "data");
    WriteFileBytes(sandbox.Path("work/handed.buj"), "[Global]\r\nDestination=" + sandbox.Path("dest-handed") +
                                                        "\r\nLogName=" + sandbox.Path("handed.log") +
                                                        "\r\nDirCount=1\r\n[Dir000]\r\nSource=" +
                                                        sandbox.Path("src-handed") + "\r\nBackupMode=1\r\n");
    TBuMainForm form(Folders(), interaction, power);
    form.InitProgram({"Vastrel"});
    THandOver request;
    request.Mode = hmRun;
    request.Dir = sandbox.Path("work");
    request.Args = {"Vastrel", "/force", "handed.buj"};
    EXPECT_EQ(form.RunHandedOver(request), 0);
    EXPECT_TRUE(Ran("handed"));
    request.Args = {"Vastrel", "/force", "missing.buj"};
    EXPECT_EQ(form.RunHandedOver(request), 1);
}

} // namespace
