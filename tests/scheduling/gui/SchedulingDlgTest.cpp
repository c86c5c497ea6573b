#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTreeWidget>
#include <gtest/gtest.h>

#include "foundation/WinApiUtils.h"
#include "foundation/gui/ShowMessageDlg.h"
#include "rtl/Clock.h"
#include "scheduling/gui/AdvancedScheduleDlg.h"
#include "scheduling/gui/SelSchedTaskDlg.h"
#include "scheduling/gui/TaskSchedDlg.h"
#include "support/Files.h"
#include "support/Sandbox.h"
#include "support/gui/GuiTestUtil.h"
#include "support/gui/Screenshots.h"

namespace {

TDateTime At(int y, int mo, int d, int h, int mi)
{
    return EncodeDateTime(y, mo, d, h, mi, 0, 0);
}

void Click(QWidget* w, const char* name)
{
    QAbstractButton* b = Find<QAbstractButton>(w, name);
    ASSERT_NE(b, nullptr) << name;
    b->click();
}

// A task of the store that runs program with one daily trigger (or none).
void AddTask(TWinTaskScheduler& s, const std::string& name, const std::string& program, bool trigger = true,
             TWinTaskTriggerType kind = ttDaily)
{
    if (!s.TaskFolder()) {
        ASSERT_EQ(s.Init(), 0);
    }
    auto t = s.NewTask();
    t->SetDescription("Runs " + name);
    t->SetAuthor("alice");
    t->SetDate(At(2025, 1, 16, 8, 30));
    auto* a = t->NewAction(taExec);
    a->SetPath(program);
    a->SetArguments("/home/alice/Documents/Vastrel/" + name + ".buj /force /startapp:scheduler /hide");
    if (trigger)
        t->NewTrigger(kind)->SetStartTime(At(2025, 1, 16, 8, 30));
    ASSERT_GE(s.TaskFolder()->RegisterTask(name, t.get(), "", ""), 0);
}

// --- screenshots

const TScreenshotShow advancedShot("advancedschedule", [](const TScreenshotSaver& save) {
    ScreenshotModal(save, [] {
        TAdvancedSettings a = DefaultAdvancedSettings(At(2026, 3, 1, 12, 0));
        a.UseEndDate = true;
        a.EndDate = At(2026, 12, 31, 23, 59);
        a.RepeatTask = true;
        a.MinutesInterval = 90;
        a.UseLimit = true;
        EditAdvancedSettings(a);
    });
});

const TScreenshotShow listShot("selschedtask", [](const TScreenshotSaver& save) {
    Sandbox box;
    TWinTaskScheduler s;
    AddTask(s, "Backup-Documents", "/usr/bin/Vastrel");
    AddTask(s, "Backup-Photos", "/usr/bin/Vastrel", true, ttWeekly);
    AddTask(s, "Backup-Mail", "/usr/bin/Vastrel", false);
    ScreenshotModal(save, [&] {
        int task = -1, trg = -1;
        SelectScheduledTask("Backup", &s, "Vastrel", task, trg);
    });
});

void WizardShot(const TScreenshotSaver& save, int steps, int cycle)
{
    Sandbox box;
    WriteFileBytes(box.Path("tasks/Documents.buj"), "x");
    TWinTaskScheduler s;
    ASSERT_EQ(s.Init(), 0);
    TTaskScheduleDialog dlg;
    dlg.InitTaskScheduler(&s);
    dlg.SetProgramPath("/usr/bin/Vastrel");
    auto shoot = [=](QWidget* w) {
        if (!w)
            return;
        for (int i = 0; i < steps; ++i) {
            if (i == 1 && cycle >= 0)
                Find<QRadioButton>(w, ("rbCycle" + std::to_string(cycle)).c_str())->click();
            Find<QPushButton>(w, "btnNext")->click();
        }
        if (steps == 1 && cycle >= 0)
            Find<QRadioButton>(w, ("rbCycle" + std::to_string(cycle)).c_str())->click();
        ProcessPendingEvents();
        save(w);
        static_cast<QDialog*>(w)->reject();
    };
    WhenModal([shoot](QWidget* input) {
        if (!input)
            return;
        WhenModalOtherThan(input, shoot);
        Find<QPushButton>(input, "OKBtn")->click();
    });
    dlg.Execute(-1, paBackup, box.Path("tasks"), box.Path("tasks/Documents.buj"), "", false);
}

const TScreenshotShow wizardSettingsShot("taskschedule-settings",
                                         [](const TScreenshotSaver& save) { WizardShot(save, 0, -1); });
const TScreenshotShow wizardWeeklyShot("taskschedule-weekly",
                                       [](const TScreenshotSaver& save) { WizardShot(save, 1, 1); });
const TScreenshotShow wizardMonthlyShot("taskschedule-monthly",
                                        [](const TScreenshotSaver& save) { WizardShot(save, 1, 2); });
const TScreenshotShow wizardAccountShot("taskschedule-account",
                                        [](const TScreenshotSaver& save) { WizardShot(save, 2, -1); });

// --- advanced settings

TEST(AdvancedScheduleDlgTest, ShowsUnitsAndConditionsAndWritesThemBack)
{
    struct Case
    {
        int Limit;
        int LimitUnit, LimitNumber;
        int Interval;
        int IntervalUnit, IntervalNumber;
    } cases[] = {
        {1440, 0, 1, 90, 1, 90}, {1500, 1, 25, 120, 0, 2}, {90, 2, 90, 60, 0, 1}, {10100, 0, 7, 45, 1, 45}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Limit);
        TAdvancedSettings a = DefaultAdvancedSettings(At(2026, 3, 1, 12, 0));
        a.MinutesLimit = c.Limit;
        a.MinutesInterval = c.Interval;
        a.UseLimit = true;
        int limitUnit = -1, limitNumber = -1, intUnit = -1, intNumber = -1;
        WhenModal([&](QWidget* w) {
            ASSERT_NE(w, nullptr);
            limitUnit = Find<QComboBox>(w, "cbLimitUnit")->currentIndex();
            limitNumber = Find<QSpinBox>(w, "edLimit")->value();
            intUnit = Find<QComboBox>(w, "cbRepUnit")->currentIndex();
            intNumber = Find<QSpinBox>(w, "edInterval")->value();
            EXPECT_FALSE(Find<QWidget>(w, "paRepeat")->isEnabled());
            EXPECT_FALSE(Find<QWidget>(w, "dpExpire")->isEnabled());
            Click(w, "OKBtn");
        });
        ASSERT_TRUE(EditAdvancedSettings(a));
        EXPECT_EQ(limitUnit, c.LimitUnit);
        EXPECT_EQ(limitNumber, c.LimitNumber);
        EXPECT_EQ(intUnit, c.IntervalUnit);
        EXPECT_EQ(intNumber, c.IntervalNumber);
        // the limit is written back in whole units: 10100 minutes come back as 7 days
        EXPECT_EQ(a.MinutesLimit, c.LimitNumber * (c.LimitUnit == 0 ? 1440 : c.LimitUnit == 1 ? 60 : 1));
    }
}

TEST(AdvancedScheduleDlgTest, PowerAndBatteryGoTogetherAndCancelChangesNothing)
{
    TAdvancedSettings a = DefaultAdvancedSettings(At(2026, 3, 1, 12, 0));
    WhenModal([&](QWidget* w) {
        ASSERT_NE(w, nullptr);
        auto* power = Find<QCheckBox>(w, "cbPower");
        auto* battery = Find<QCheckBox>(w, "cbOnBatteries");
        EXPECT_TRUE(power->isChecked() && battery->isChecked() && battery->isEnabled());
        power->click();
        EXPECT_FALSE(battery->isChecked());
        EXPECT_FALSE(battery->isEnabled());
        power->click();
        EXPECT_TRUE(battery->isChecked());
        Click(w, "cbRepeat");
        Click(w, "cbExpire");
        Click(w, "cbReRun");
        Click(w, "cbNetwork");
        Click(w, "OKBtn");
    });
    ASSERT_TRUE(EditAdvancedSettings(a));
    EXPECT_TRUE(a.RepeatTask && a.ReRun && a.NetworkOnly && a.PowerOnly && a.StopBattery && a.UseEndDate);
    EXPECT_EQ(a.MinutesInterval, 60);
    TAdvancedSettings before = a;
    WhenModal([&](QWidget* w) {
        Click(w, "cbRepeat");
        Click(w, "CancelBtn");
    });
    EXPECT_FALSE(EditAdvancedSettings(a));
    EXPECT_EQ(a.RepeatTask, before.RepeatTask);
}

// --- task list

class SelSchedTaskDlgTest : public SandboxTest
{
protected:
    void SetUp() override { ClearMsgDialogLog(); }
    TWinTaskScheduler s;
};

TEST_F(SelSchedTaskDlgTest, ListsTheProgramsTasksAndReturnsTheChoice)
{
    int task = -5, trg = -5;
    ASSERT_EQ(s.Init(), 0);
    AddTask(s, "Planer", "/usr/bin/QvPlaner");
    EXPECT_EQ(SelectScheduledTask("Backup", &s, "Vastrel", task, trg), mrNo);
    EXPECT_EQ(task, -5);
    AddTask(s, "Backup-A", "/usr/bin/Vastrel");
    AddTask(s, "Backup-B", "\"/opt/my apps/VASTREL\"", false);
    struct Case
    {
        const char* Select;
        int ScheduleRow;
        const char* Button;
        TModalResult Result;
        int Trigger;
    } cases[] = {{"Backup-A", -1, "btnEdit", mrOk, 0},
                 {"Backup-A", 0, "btnEdit", mrOk, 0},
                 {"Backup-B", -1, "btnEdit", mrOk, -1},
                 {"Backup-B", -1, "btnClose", mrCancel, -7}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.Select) + c.Button);
        int listed = 0;
        QString lastRun;
        WhenModal([&](QWidget* w) {
            ASSERT_NE(w, nullptr);
            auto* lv = Find<QTreeWidget>(w, "lvTasks");
            listed = lv->topLevelItemCount();
            for (int i = 0; i < listed; ++i)
                if (lv->topLevelItem(i)->text(0) == QString::fromLatin1(c.Select))
                    lv->setCurrentItem(lv->topLevelItem(i));
            lastRun = lv->currentItem()->text(2);
            if (c.ScheduleRow >= 0)
                Find<QListWidget>(w, "lbSchedules")->setCurrentRow(c.ScheduleRow);
            Click(w, c.Button);
        });
        trg = -7;
        TModalResult r = SelectScheduledTask("Backup", &s, "vastrel", task, trg);
        EXPECT_EQ(r, c.Result);
        EXPECT_EQ(listed, 2);
        EXPECT_EQ(lastRun, "Not yet run");
        EXPECT_EQ(s.TaskFolder()->GetTask(task)->TaskName(), c.Select);
        EXPECT_EQ(trg, c.Trigger);
    }
}

TEST_F(SelSchedTaskDlgTest, EnablingFollowsTheSwitchAndOtherProgramsChangesShowWithinASecond)
{
    ASSERT_EQ(s.Init(), 0);
    AddTask(s, "Backup-A", "/usr/bin/Vastrel");
    int task = -1, trg = -1;
    WhenModal([&](QWidget* w) {
        ASSERT_NE(w, nullptr);
        auto* lv = Find<QTreeWidget>(w, "lvTasks");
        auto* sw = Find<QCheckBox>(w, "tsStatus");
        EXPECT_TRUE(sw->isChecked());
        EXPECT_EQ(sw->text(), "Yes");
        sw->click();
        EXPECT_EQ(lv->topLevelItem(0)->text(1), "Disabled");
        EXPECT_FALSE(Find<QPushButton>(w, "btbRun")->isEnabled());
        // another program enables it again: the timer shows it
        TWinTaskScheduler other;
        other.Init();
        other.TaskFolder()->GetTask(0)->SetEnabled(true);
        EXPECT_TRUE(WaitFor([&] { return lv->topLevelItem(0) && lv->topLevelItem(0)->text(1) == "Ready"; }));
        Click(w, "btnClose");
    });
    SelectScheduledTask("Backup", &s, "Vastrel", task, trg);
    s.Refresh();
    EXPECT_TRUE(s.TaskFolder()->GetTask(0)->Enabled());
}

TEST_F(SelSchedTaskDlgTest, DeletingKeepsTheDialogOpenUntilTheLastTaskGoes)
{
    ASSERT_EQ(s.Init(), 0);
    AddTask(s, "Backup-A", "/usr/bin/Vastrel");
    AddTask(s, "Backup-B", "/usr/bin/Vastrel");
    int task = -1, trg = -1;
    int afterFirst = -1;
    WhenModal([&](QWidget* w) {
        ASSERT_NE(w, nullptr);
        QueueMsgDialogAnswer(mrYes);
        Click(w, "btnDelete");
        afterFirst = Find<QTreeWidget>(w, "lvTasks")->topLevelItemCount();
        QueueMsgDialogAnswer(mrYes);
        Click(w, "btnDelete");
    });
    EXPECT_EQ(SelectScheduledTask("Backup", &s, "Vastrel", task, trg), mrYes);
    EXPECT_EQ(afterFirst, 1);
    s.Refresh();
    EXPECT_EQ(s.TaskFolder()->TaskCount(), 0);
    ASSERT_EQ(MsgDialogLog().size(), 2u);
    EXPECT_EQ(MsgDialogLog()[0].Text, "Delete selected task?");
}

// --- wizard

class TaskSchedDlgTest : public SandboxTest
{
protected:
    void SetUp() override
    {
        ClearMsgDialogLog();
        ASSERT_EQ(s.Init(), 0);
        dlg.InitTaskScheduler(&s);
        dlg.SetProgramPath("/usr/bin/Vastrel");
        folder = sandbox.Path("tasks");
        WriteFileBytes(folder + "/My Documents.buj", "x");
        WriteFileBytes(folder + "/Photos.buj", "x");
    }
    // Answers the name dialog with name, then runs steps on the wizard.
    void NameThen(const std::string& name, std::function<void(QWidget*)> steps)
    {
        WhenModal([this, name, steps](QWidget* input) {
            ASSERT_NE(input, nullptr);
            EXPECT_EQ(input->objectName(), "InputTextDialog");
            Find<QComboBox>(input, "TextFeld")->setEditText(QString::fromStdString(name));
            WhenModalOtherThan(input, steps);
            Find<QPushButton>(input, "OKBtn")->click();
        });
    }
    TWinTaskScheduler s;
    TTaskScheduleDialog dlg;
    std::string folder;
};

TEST_F(TaskSchedDlgTest, ANewBackupTaskIsRegisteredWithItsCommandLineAndSchedule)
{
    NameThen("Backup-Docs", [](QWidget* w) {
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(Find<QLineEdit>(w, "edOptions")->text(),
                  "/force /startapp:scheduler /hide /prompt:delay /wait:3");
        // the initial arguments come back as the wizard's comma-separated task list
        EXPECT_EQ(Find<QLineEdit>(w, "edTasks")->text(), "\"My Documents.buj\",Photos.buj");
        Click(w, "btnNext");
        Click(w, "rbCycle1");
        Click(w, "cbSaturday");
        Click(w, "cbMonday"); // Saturday alone remains
        Click(w, "btnNext");
        EXPECT_EQ(Find<QPushButton>(w, "btnNext")->text(), "Done");
        Find<QLineEdit>(w, "leDesc")->setText("Weekly documents");
        Click(w, "btnNext");
    });
    int taskNr = -9, trgNr = -9;
    TModalResult r =
        dlg.Execute(-1, paBackup, folder, "\"" + folder + "/My Documents.buj\"," + folder + "/Photos.buj", "",
                    taskNr, trgNr, false);
    ASSERT_EQ(r, mrOk) << (MsgDialogLog().empty() ? "" : MsgDialogLog().back().Text);
    s.Refresh();
    ASSERT_EQ(s.TaskFolder()->TaskCount(), 1);
    EXPECT_EQ(taskNr, 0);
    EXPECT_EQ(trgNr, 0);
    TWinRegisteredTask* t = s.TaskFolder()->GetTask(0);
    EXPECT_EQ(t->TaskName(), "Backup-Docs");
    TWinTask* d = t->Definition();
    EXPECT_EQ(d->Description(), "Weekly documents");
    EXPECT_EQ(d->UserData(), "Backup");
    EXPECT_EQ(d->LogonType(), ltToken);
    EXPECT_EQ(d->GetAction(0)->Path(), "/usr/bin/Vastrel");
    EXPECT_EQ(d->GetAction(0)->Arguments(),
              "\"" + folder + "/My Documents.buj\" " + folder +
                  "/Photos.buj  /force /startapp:scheduler /hide /prompt:delay /wait:3");
    ASSERT_EQ(d->TriggerCount(), 1);
    EXPECT_EQ(d->GetTrigger(0)->TriggerType(), ttWeekly);
    EXPECT_EQ(d->GetTrigger(0)->DaysOfWeek(), 64);
}

TEST_F(TaskSchedDlgTest, EditingReplacesTheTriggerOfAnotherKindAndKeepsOptions)
{
    AddTask(s, "Backup-A", "/usr/lib/other/Vastrel");
    s.TaskFolder()->GetTask(0)->Definition()->GetAction(0)->SetArguments(
        folder + "/Photos.buj /force /startapp:scheduler /prompt:error /wait:10 /end:restart -custom");
    ASSERT_GE(s.TaskFolder()->RegisterTask("Backup-A", s.TaskFolder()->GetTask(0)->Definition(), "", ""), 0);
    WhenModal([](QWidget* w) {
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(Find<QLineEdit>(w, "edTasks")->text(), "Photos.buj");
        EXPECT_EQ(Find<QLineEdit>(w, "edUserOptions")->text(), "/custom");
        EXPECT_EQ(Find<QComboBox>(w, "cbxPrompt")->currentIndex(), 3);
        EXPECT_TRUE(Find<QPushButton>(w, "bbErrorAction")->isEnabled());
        Click(w, "btnNext");
        EXPECT_TRUE(Find<QRadioButton>(w, "rbCycle0")->isChecked());
        Click(w, "rbCycle3");
        Click(w, "btnNext");
        Click(w, "btnNext");
    });
    int taskNr = 0, trgNr = 0;
    ASSERT_EQ(dlg.Execute(1, 0, paBackup, folder, "", "", taskNr, trgNr, false), mrOk);
    s.Refresh();
    TWinTask* d = s.TaskFolder()->GetTask(0)->Definition();
    ASSERT_EQ(d->TriggerCount(), 1);
    EXPECT_EQ(d->GetTrigger(0)->TriggerType(), ttTime);
    EXPECT_EQ(trgNr, 0);
    // the program moves beside the running program; options survive
    EXPECT_EQ(d->GetAction(0)->Path(), "/usr/bin/Vastrel");
    EXPECT_EQ(
        d->GetAction(0)->Arguments(),
        folder + "/Photos.buj  /force /startapp:scheduler /hide /prompt:error /wait:10 /end:restart /custom");
}

TEST_F(TaskSchedDlgTest, RefusalsEndTheCallWithTheirMessages)
{
    // an unsupported trigger
    AddTask(s, "Boot", "/usr/bin/Vastrel", true, ttBoot);
    QueueMsgDialogAnswer(mrOk);
    EXPECT_EQ(dlg.Execute(1, paBackup, folder, "", "", false), mrCancel);
    ASSERT_FALSE(MsgDialogLog().empty());
    EXPECT_NE(MsgDialogLog().back().Text.find("is not supported by Vastrel"), std::string::npos);
    // an existing default name that the user does not want to edit
    AddTask(s, "Backup-Photos", "/usr/bin/Vastrel");
    QueueMsgDialogAnswer(mrNo);
    EXPECT_EQ(dlg.Execute(-1, paBackup, folder, folder + "/Photos.buj", "", false), mrCancel);
    EXPECT_EQ(MsgDialogLog().back().Text, "Task \"Backup-Photos\" already exists - edit?");
    // no scheduler
    TTaskScheduleDialog none;
    QueueMsgDialogAnswer(mrOk);
    EXPECT_EQ(none.Execute(-1, paBackup, folder, "x.buj", "", false), mrCancel);
    EXPECT_EQ(MsgDialogLog().back().Text, "Scheduled tasks are not available on this computer!");
}

TEST_F(TaskSchedDlgTest, AnotherAccountAsksForARetryThatKeepsTheEnteredValues)
{
    AddTask(s, "Backup-A", "/usr/bin/Vastrel");
    WhenModal([](QWidget* w) {
        ASSERT_NE(w, nullptr);
        Find<QLineEdit>(w, "edUserOptions")->setText("/kept");
        Find<QLineEdit>(w, "edTasks")->setText("Photos.buj");
        Click(w, "btnNext");
        Click(w, "btnNext");
        Click(w, "rbAnyUser");
        Find<QLineEdit>(w, "edUser")->setText("somebody-else");
        Find<QLineEdit>(w, "edPwd")->setText("secret");
        QueueMsgDialogAnswer(mrOk);
        Click(w, "btnNext");
    });
    int taskNr = 0, trgNr = 0;
    EXPECT_EQ(dlg.Execute(1, 0, paBackup, folder, "", "", taskNr, trgNr, false), mrRetry);
    EXPECT_NE(MsgDialogLog().back().Text.find("Could not create or modify scheduled task!"),
              std::string::npos);
    WhenModal([](QWidget* w) {
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(Find<QLineEdit>(w, "edUserOptions")->text(), "/kept");
        Click(w, "btnNext");
        Click(w, "btnNext");
        EXPECT_EQ(Find<QLineEdit>(w, "edUser")->text(), "somebody-else");
        Find<QLineEdit>(w, "edUser")->setText(QString::fromStdString(GetCurrentUserName()));
        Click(w, "btnNext");
    });
    s.Refresh();
    EXPECT_EQ(dlg.Execute(1, 0, paBackup, folder, "", "", taskNr, trgNr, true), mrOk);
    s.Refresh();
    EXPECT_NE(s.TaskFolder()->GetTask(0)->Definition()->GetAction(0)->Arguments().find("/kept"),
              std::string::npos);
    EXPECT_EQ(s.TaskFolder()->GetTask(0)->Definition()->LogonType(), ltPassword);
}

} // namespace
