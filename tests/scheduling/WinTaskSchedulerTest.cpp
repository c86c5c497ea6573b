#include <gtest/gtest.h>

#include "foundation/WinApiUtils.h"
#include "scheduling/WinTaskScheduler.h"
#include "support/Files.h"
#include "support/Sandbox.h"

namespace {

class WinTaskSchedulerTest : public SandboxTest
{
protected:
    std::unique_ptr<TWinTask> NewTask(const std::string& program)
    {
        std::unique_ptr<TWinTask> t = scheduler.NewTask();
        t->SetDescription("made by a test");
        t->NewAction(taExec)->SetPath(program);
        t->NewTrigger(ttDaily);
        return t;
    }
    TWinTaskScheduler scheduler;
};

TEST_F(WinTaskSchedulerTest, TasksAreRegisteredListedReplacedAndDeleted)
{
    ASSERT_EQ(scheduler.Init(), 0);
    TWinTaskFolder* folder = scheduler.TaskFolder();
    EXPECT_EQ(folder->TaskCount(), 0);
    EXPECT_EQ(folder->FolderName(), "");
    EXPECT_EQ(folder->FolderPath(), "\\");

    auto task = NewTask("/usr/bin/Vastrel");
    EXPECT_EQ(folder->RegisterTask("Backup-Daily", task.get(), "", ""), 0);
    auto other = NewTask("/usr/bin/QvPlaner");
    EXPECT_EQ(folder->RegisterTask("Schedule-Weekly", other.get(), "", ""), 1);
    EXPECT_EQ(folder->TaskCount(), 2);
    EXPECT_EQ(folder->IndexOfTask("backup-daily"), 0);
    TWinRegisteredTask* t = folder->GetTask(0);
    EXPECT_EQ(t->Definition()->Description(), "made by a test");
    EXPECT_EQ(t->Path(), "\\Backup-Daily");
    EXPECT_EQ(t->IndexOfApp("vastrel"), 0);
    EXPECT_EQ(t->Status(), tsReady);
    EXPECT_EQ(t->LastResult(), SCHED_S_TASK_HAS_NOT_RUN);
    EXPECT_EQ(t->LastRunTimeAsString(), "");
    EXPECT_EQ(t->NumberOfMissedRuns(), 0);

    // a name that differs only in case replaces the task
    task->SetDescription("changed");
    EXPECT_EQ(folder->RegisterTask("BACKUP-DAILY", task.get(), "", ""), 0);
    EXPECT_EQ(folder->TaskCount(), 2);
    EXPECT_EQ(folder->GetTask(0)->Definition()->Description(), "changed");

    folder->GetTask(0)->SetEnabled(false);
    EXPECT_FALSE(folder->GetTask(0)->Enabled());
    EXPECT_EQ(folder->GetTask(0)->Status(), tsDisabled);
    EXPECT_EQ(scheduler.Refresh(), 0);
    EXPECT_FALSE(scheduler.TaskFolder()->GetTask(0)->Enabled());

    folder = scheduler.TaskFolder();
    EXPECT_TRUE(folder->DeleteTask("backup-daily"));
    EXPECT_EQ(folder->TaskCount(), 1);
    EXPECT_FALSE(folder->DeleteTask("missing"));
    EXPECT_EQ(folder->ErrorCode(), HResultFromWin32(2));
    EXPECT_FALSE(folder->ErrorMessage().empty());
    EXPECT_TRUE(folder->DeleteTask("Schedule-Weekly"));
    EXPECT_EQ(folder->ErrorCode(), 0);
    EXPECT_EQ(folder->TaskCount(), 0);
}

TEST_F(WinTaskSchedulerTest, RegistrationTakesCredentialsByLogonTypeAndRefusesOtherAccounts)
{
    ASSERT_EQ(scheduler.Init(), 0);
    TWinTaskFolder* folder = scheduler.TaskFolder();
    auto task = NewTask("/usr/bin/Vastrel");
    task->SetLogonType(ltToken);
    EXPECT_EQ(folder->RegisterTask("Token", task.get(), "somebody-else", "secret"), 0);
    task->SetLogonType(ltPassword);
    EXPECT_EQ(folder->RegisterTask("Other", task.get(), "somebody-else", "secret"), -1);
    EXPECT_EQ(folder->ErrorCode() & 0xFFFF, 1332);
    EXPECT_FALSE(folder->ErrorMessage().empty());
    int own = folder->RegisterTask("Own", task.get(), GetCurrentUserName(), "secret");
    EXPECT_EQ(own, folder->IndexOfTask("Own"));
    EXPECT_GE(own, 0);
    EXPECT_EQ(folder->ErrorCode(), 0);
    EXPECT_EQ(folder->RegisterTask("Bad:Name", task.get(), "", ""), -1);
    EXPECT_EQ(folder->ErrorCode() & 0xFFFF, 87);
    // the password is never stored
    EXPECT_EQ(ReadFileBytes(TaskDefinitionFile("\\Own")).find("secret"), std::string::npos);
}

TEST_F(WinTaskSchedulerTest, FoldersHiddenAndDamagedDefinitions)
{
    ASSERT_EQ(scheduler.Init(), 0);
    TWinTaskFolder* folder = scheduler.TaskFolder();
    EXPECT_EQ(folder->CreateFolder("Vastrel"), 0);
    EXPECT_EQ(folder->IndexOfFolder("VASTREL"), 0);
    EXPECT_EQ(folder->GetFolder(0)->Path(), "\\Vastrel");
    auto task = NewTask("/usr/bin/Vastrel");
    task->Settings().SetHidden(true);
    EXPECT_EQ(folder->RegisterTask("Hidden", task.get(), "", ""), -1); // registered, but not listed
    EXPECT_EQ(folder->ErrorCode(), 0);
    WriteFileBytes(TaskDefinitionFile("\\Damaged"), "<Task><Triggers>");
    EXPECT_EQ(folder->Refresh(), 0);
    EXPECT_EQ(folder->TaskCount(), 0);
    EXPECT_EQ(ReadFileBytes(TaskDefinitionFile("\\Damaged")), "<Task><Triggers>");
    scheduler.SetPath("\\Vastrel");
    ASSERT_NE(scheduler.TaskFolder(), nullptr);
    EXPECT_EQ(scheduler.TaskFolder()->FolderName(), "Vastrel");
    auto inner = NewTask("/usr/bin/Vastrel");
    EXPECT_EQ(scheduler.TaskFolder()->RegisterTask("Inner", inner.get(), "", ""), 0);
    scheduler.SetPath("\\");
    EXPECT_FALSE(scheduler.TaskFolder()->DeleteFolder("Vastrel")); // not empty
    scheduler.SetPath("\\Missing");
    EXPECT_EQ(scheduler.TaskFolder(), nullptr);
}

TEST_F(WinTaskSchedulerTest, StatesSurviveTheirTextAndRunWithoutADaemonFails)
{
    TTaskState s;
    s.LastRunTime = EncodeDateTime(2025, 1, 16, 8, 30, 0, 0);
    s.LastResult = static_cast<HRESULT>(0x80070002);
    s.NextRunTime = EncodeDateTime(2025, 1, 17, 8, 30, 0, 0);
    s.MissedRuns = 2;
    s.RunningPid = 1234;
    s.RunningCount = 1;
    s.Queued = true;
    s.BootId = "abc";
    EXPECT_EQ(TaskStateToText(TaskStateFromText(TaskStateToText(s))), TaskStateToText(s));
    EXPECT_EQ(TaskStateFromText("garbage\nLastResult=x\n").LastResult, SCHED_S_TASK_HAS_NOT_RUN);
    ASSERT_EQ(scheduler.Init(), 0);
    auto task = NewTask("/usr/bin/Vastrel");
    ASSERT_EQ(scheduler.TaskFolder()->RegisterTask("T", task.get(), "", ""), 0);
    EXPECT_FALSE(TWinTaskScheduler::IsRunning());
    try {
        scheduler.TaskFolder()->GetTask(0)->Run();
        FAIL() << "no daemon answers";
    } catch (const EOleSysError& e) {
        EXPECT_EQ(e.ErrorCode, SCHED_E_SERVICE_NOT_RUNNING);
    }
    EXPECT_EQ(EscapeTaskName(".a/b%c"), "%2Ea%2Fb%25c");
    EXPECT_EQ(UnescapeTaskName("%2Ea%2Fb%25c"), ".a/b%c");
}

} // namespace
