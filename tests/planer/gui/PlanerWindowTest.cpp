// The planner's window: schedules created, checked, changed, removed and run from the list, the
// scheduled tasks of the planer shown as active, and the desktop shortcut of a schedule.

#include <QComboBox>
#include <QCoreApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTreeWidget>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>

#include "foundation/IniFileUtils.h"
#include "foundation/gui/ShowMessageDlg.h"
#include "planer/gui/PlanerGuiHost.h"
#include "planer/gui/PlanerWindow.h"
#include "platform/DesktopEntry.h"
#include "platform/XdgDirs.h"
#include "rtl/DateTime.h"
#include "scheduling/gui/TaskSchedDlg.h"
#include "support/FakeClock.h"
#include "support/FakeProgram.h"
#include "support/Files.h"
#include "support/Sandbox.h"
#include "support/gui/GuiTestUtil.h"
#include "support/gui/Screenshots.h"

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
    void ReportEvent(uint32_t id, uint16_t, const std::vector<std::string>&) override
    {
        Calls.push_back(Format("event|%x", {id}));
    }
    uint32_t RunMainProgram(const std::string&, const std::string& params, bool) override
    {
        Started.push_back(params);
        return 0;
    }
    std::vector<std::string> Calls;
    std::vector<std::string> Started;
    bool ConfirmAnswer = false;
};

// A store of the test's sandbox in place of the daemon's connection.
HRESULT SandboxStore(std::unique_ptr<TWinTaskScheduler>& s)
{
    s = std::make_unique<TWinTaskScheduler>();
    return s->Init();
}

HRESULT NoScheduler(std::unique_ptr<TWinTaskScheduler>& s)
{
    s.reset();
    return SCHED_E_SERVICE_NOT_RUNNING;
}

// The list's rows as "name|task|active|cycles|steps|start|type".
std::vector<std::string> Rows(QWidget* w)
{
    std::vector<std::string> rows;
    auto* list = Find<QTreeWidget>(w, "lvSchedules");
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        std::string row;
        for (int c = 0; c < 7; ++c)
            row += (c ? "|" : "") + list->topLevelItem(i)->text(c).toStdString();
        rows.push_back(row);
    }
    return rows;
}

void Click(QWidget* w, const char* name)
{
    auto* b = Find<QPushButton>(w, name);
    ASSERT_NE(b, nullptr) << name;
    b->click();
}

void SetText(QWidget* w, const char* name, const std::string& text)
{
    Find<QLineEdit>(w, name)->setText(QString::fromStdString(text));
}

void Select(QWidget* w, int row)
{
    auto* list = Find<QTreeWidget>(w, "lvSchedules");
    list->setCurrentItem(list->topLevelItem(row));
    emit list->itemClicked(list->topLevelItem(row), 0);
}

class PlanerWindowTest : public SandboxTest
{
protected:
    RecordingPlanerHost host;
    THauptForm form{host};
    ScopedFakeClock clock{EncodeDate(2027, 1, 4) + 0.5}; // a Monday, noon
    std::vector<std::string> chosenFolders;

    void SetUp() override
    {
        form.AppPath = sandbox.Path("cfg/");
        form.UserPath = sandbox.Path("docs/");
        form.QvPath = "/opt/vastrel/Vastrel";
        fs::create_directories(sandbox.Path("cfg"));
        WriteFileBytes(sandbox.Path("tasks/Documents.buj"), "");
        WriteFileBytes(sandbox.Path("tasks/Photos.buj"), "");
        form.Init({});
        ClearMsgDialogLog();
    }
    std::unique_ptr<TPlanerWindow> Open(bool scheduler = true)
    {
        auto w = std::make_unique<TPlanerWindow>(form);
        w->ConnectScheduler = scheduler ? SandboxStore : NoScheduler;
        w->PlanerExe = "/usr/bin/QvPlaner";
        w->ChooseTaskFile = [this](const std::string& folder) {
            chosenFolders.push_back(folder);
            return sandbox.Path("tasks/Documents.buj");
        };
        if (!scheduler)
            QueueMsgDialogAnswer(mrOk);
        w->show();
        ProcessPendingEvents();
        return w;
    }
    TSchedTask Schedule(const std::string& name, const std::string& task, int steps)
    {
        TSchedTask s;
        s.SName = name;
        s.Task = sandbox.Path("tasks/" + task);
        s.Steps = steps;
        s.FirstDay = steps == 7 ? 3 : 0;
        return s;
    }
};

const TScreenshotShow planerShot("planer", [](const TScreenshotSaver& save) {
    Sandbox box;
    WriteFileBytes(box.Path("tasks/Documents.buj"), "");
    RecordingPlanerHost host;
    THauptForm form(host);
    form.AppPath = box.Path("cfg/");
    form.UserPath = box.Path("docs/");
    form.Init({});
    TSchedTask a;
    a.SName = "Weekly";
    a.Task = box.Path("tasks/Documents.buj");
    TSchedTask b = a;
    b.SName = "Fortnight";
    b.Steps = 14;
    b.Cycles = 3;
    b.FirstDay = 0;
    b.Diff = false;
    form.Schedules = {a, b};
    TWinTaskScheduler s;
    if (s.Init() == 0) {
        auto t = s.NewTask();
        t->NewAction(taExec)->SetPath("/usr/bin/QvPlaner");
        s.TaskFolder()->RegisterTask("Schedule-Weekly", t.get(), "", "");
    }
    TPlanerWindow w(form);
    w.ConnectScheduler = SandboxStore;
    w.PlanerExe = "/usr/bin/QvPlaner";
    w.show();
    ProcessPendingEvents();
    save(&w);
    w.hide();
});

TEST_F(PlanerWindowTest, NewSchedulesAreCheckedThenAddedWithTheirValues)
{
    auto w = Open();
    EXPECT_TRUE(Rows(w.get()).empty());
    // "New" then "Add": without a name nothing is added and the name gets the focus
    Click(w.get(), "btnReset");
    Click(w.get(), "btnAdd");
    ASSERT_EQ(host.Calls, std::vector<std::string>{"error|Please specify a name for this schedule!"});
    EXPECT_TRUE(form.Schedules.empty());
    // without a task file the task dialog opens in the job folder and its choice is taken
    SetText(w.get(), "leName", "Weekly");
    Click(w.get(), "btnAdd");
    EXPECT_EQ(host.Calls.back(), "error|Please select a valid backup task!");
    EXPECT_EQ(chosenFolders, std::vector<std::string>{form.JobDir});
    EXPECT_EQ(Find<QLineEdit>(w.get(), "leTask")->text().toStdString(), sandbox.Path("tasks/Documents.buj"));
    EXPECT_TRUE(form.Schedules.empty());
    Click(w.get(), "btnAdd");
    ASSERT_EQ(form.Schedules.size(), 1u);
    // an incremental weekly schedule with Monday as full-backup day
    const TSchedTask& s = form.Schedules[0];
    EXPECT_EQ(s.Cycles, 2);
    EXPECT_EQ(s.Steps, 7);
    EXPECT_EQ(s.FirstDay, 1);
    EXPECT_FALSE(s.Diff);
    EXPECT_EQ(s.NextCyc, 0);
    EXPECT_EQ(Rows(w.get()), std::vector<std::string>{"Weekly|Documents.buj||2|7|Mon|Incr"});

    // the same name again (any case) is refused; another name with other steps has no weekday
    host.Calls.clear();
    SetText(w.get(), "leName", "WEEKLY");
    Click(w.get(), "btnAdd");
    EXPECT_EQ(host.Calls, std::vector<std::string>{"error|Please select a unique name for this schedule!"});
    SetText(w.get(), "leName", "Ten days");
    Find<QSpinBox>(w.get(), "edSteps")->setValue(10);
    EXPECT_FALSE(Find<QComboBox>(w.get(), "cbWeekDay")->isEnabled());
    EXPECT_EQ(Find<QComboBox>(w.get(), "cbWeekDay")->currentIndex(), 0);
    Find<QRadioButton>(w.get(), "rbDiff")->setChecked(true);
    Click(w.get(), "btnAdd");
    EXPECT_EQ(Rows(w.get()), (std::vector<std::string>{"Weekly|Documents.buj||2|7|Mon|Incr",
                                                       "Ten days|Documents.buj||2|10||Diff"}));
    // steps back to 7 show the weekday again
    Find<QSpinBox>(w.get(), "edSteps")->setValue(7);
    EXPECT_TRUE(Find<QComboBox>(w.get(), "cbWeekDay")->isEnabled());
    EXPECT_EQ(Find<QComboBox>(w.get(), "cbWeekDay")->currentIndex(), 1);
    // too many steps for the weekly rhythm: the cycles get the focus
    host.Calls.clear();
    SetText(w.get(), "leName", "Long");
    Find<QSpinBox>(w.get(), "edCycles")->setValue(499);
    Click(w.get(), "btnAdd");
    ASSERT_EQ(host.Calls.size(), 1u);
    EXPECT_NE(host.Calls[0].find("exceeds the maximum"), std::string::npos);
    EXPECT_EQ(form.Schedules.size(), 2u);

    // closing stores the list
    w->close();
    TPlanerConfig config;
    const TSchedules stored = LoadSchedules(TMemIniFile(form.IniName), config);
    ASSERT_EQ(stored.size(), 2u);
    EXPECT_EQ(stored[1].SName, "Ten days");
    EXPECT_EQ(stored[1].Steps, 10);
    EXPECT_TRUE(stored[1].Diff);
}

TEST_F(PlanerWindowTest, ReplacingResetsTheStepsAndRemovingMovesTheOthersUp)
{
    form.Schedules = {Schedule("A", "Documents.buj", 7), Schedule("B", "Photos.buj", 7),
                      Schedule("C", "Photos.buj", 5)};
    form.Schedules[1].NextCyc = 5;
    form.Schedules[1].LastFull = 1;
    form.Schedules[1].LastDay = 46000;
    auto w = Open();
    // the first one is shown with its weekday
    EXPECT_EQ(Find<QLineEdit>(w.get(), "leName")->text().toStdString(), "A");
    EXPECT_EQ(Find<QComboBox>(w.get(), "cbWeekDay")->currentIndex(), 3);
    Select(w.get(), 1);
    EXPECT_EQ(Find<QLineEdit>(w.get(), "leName")->text().toStdString(), "B");

    // a name of another schedule is refused; "No" keeps everything
    SetText(w.get(), "leName", "a");
    Click(w.get(), "btnReplace");
    EXPECT_EQ(host.Calls.back(), "error|Please select a unique name for this schedule!");
    SetText(w.get(), "leName", "B2");
    Find<QSpinBox>(w.get(), "edCycles")->setValue(4);
    QueueMsgDialogAnswer(mrNo);
    Click(w.get(), "btnReplace");
    EXPECT_EQ(form.Schedules[1].SName, "B");
    EXPECT_EQ(form.Schedules[1].NextCyc, 5);
    // "Yes" replaces and the schedule starts anew
    QueueMsgDialogAnswer(mrYes);
    Click(w.get(), "btnReplace");
    EXPECT_EQ(MsgDialogLog().back().Text, "Replace and reset selected backup schedule \"B\"?");
    EXPECT_EQ(form.Schedules[1].SName, "B2");
    EXPECT_EQ(form.Schedules[1].Cycles, 4);
    EXPECT_EQ(form.Schedules[1].NextCyc, 0);
    EXPECT_EQ(form.Schedules[1].LastFull, 0);
    EXPECT_EQ(form.Schedules[1].LastDay, 0);
    EXPECT_EQ(Find<QTreeWidget>(w.get(), "lvSchedules")->currentItem()->text(0).toStdString(), "B2");

    // removing: "No" keeps, "Yes" removes and selects the one that moved up
    QueueMsgDialogAnswer(mrNo);
    Click(w.get(), "btnRemove");
    EXPECT_EQ(form.Schedules.size(), 3u);
    QueueMsgDialogAnswer(mrYes);
    Click(w.get(), "btnRemove");
    EXPECT_EQ(MsgDialogLog().back().Text, "Remove selected backup schedule \"B2\" from list?");
    ASSERT_EQ(form.Schedules.size(), 2u);
    EXPECT_EQ(form.Schedules[1].SName, "C");
    EXPECT_EQ(Find<QLineEdit>(w.get(), "leName")->text().toStdString(), "C");
    QueueMsgDialogAnswer(mrYes);
    Click(w.get(), "btnRemove");
    QueueMsgDialogAnswer(mrYes);
    Click(w.get(), "btnRemove");
    // an empty list clears the fields
    EXPECT_TRUE(form.Schedules.empty());
    EXPECT_TRUE(Find<QLineEdit>(w.get(), "leName")->text().isEmpty());
    EXPECT_EQ(Find<QSpinBox>(w.get(), "edSteps")->value(), 7);
}

TEST_F(PlanerWindowTest, RunNowTakesTheNextStepOnceADay)
{
    form.Schedules = {Schedule("Weekly", "Documents.buj", 7)};
    form.Schedules[0].FirstDay = 1;
    auto w = Open();
    Click(w.get(), "btnRun");
    ASSERT_EQ(host.Started.size(), 1u);
    EXPECT_NE(host.Started[0].find("/mode:full /backupdir:BuMo1F"), std::string::npos) << host.Started[0];
    EXPECT_EQ(form.Schedules[0].NextCyc, 2);
    // the same day again: asked, and "No" neither starts nor advances
    host.Calls.clear();
    Click(w.get(), "btnRun");
    ASSERT_EQ(host.Calls.size(), 1u);
    EXPECT_EQ(host.Calls[0].rfind("confirm|Backup already done for this day!", 0), 0u) << host.Calls[0];
    EXPECT_EQ(host.Started.size(), 1u);
    EXPECT_EQ(form.Schedules[0].NextCyc, 2);
    // the state is in the settings file too
    TPlanerConfig config;
    EXPECT_EQ(LoadSchedules(TMemIniFile(form.IniName), config)[0].NextCyc, 2);
    // the next day takes step 2
    clock->Set(EncodeDate(2027, 1, 5) + 0.5);
    Click(w.get(), "btnRun");
    ASSERT_EQ(host.Started.size(), 2u);
    EXPECT_NE(host.Started[1].find("/backupdir:BuTu1D"), std::string::npos) << host.Started[1];
}

TEST_F(PlanerWindowTest, ScheduledTasksOfThePlanerMarkTheirSchedulesActive)
{
    {
        TWinTaskScheduler s;
        ASSERT_EQ(s.Init(), 0);
        for (const auto& [name, program] : std::vector<std::pair<std::string, std::string>>{
                 {"Schedule-Weekly", "/usr/bin/QvPlaner"}, {"Schedule-Other", "/usr/bin/Vastrel"}}) {
            auto t = s.NewTask();
            t->NewAction(taExec)->SetPath(program);
            ASSERT_GE(s.TaskFolder()->RegisterTask(name, t.get(), "", ""), 0);
        }
    }
    form.Schedules = {Schedule("Weekly", "Documents.buj", 7), Schedule("Other", "Photos.buj", 7)};
    auto w = Open();
    EXPECT_EQ(w->ActiveTasks(), std::vector<std::string>{"Weekly"});
    EXPECT_TRUE(form.Schedules[0].Active);
    EXPECT_FALSE(form.Schedules[1].Active);
    EXPECT_EQ(Rows(w.get())[0], "Weekly|Documents.buj|A|2|7|Wed|Diff");
    EXPECT_TRUE(Find<QPushButton>(w.get(), "btnCreateTask")->isEnabled());
    ASSERT_NE(w->Wizard(), nullptr);
    EXPECT_EQ(w->Wizard()->ProgramPath(), "/usr/bin/QvPlaner");

    // a name that cannot name a task is refused before the wizard opens
    SetText(w.get(), "leName", "a/b");
    QueueMsgDialogAnswer(mrOk);
    Click(w.get(), "btnCreateTask");
    EXPECT_EQ(MsgDialogLog().back().Text, "\"a/b\" contains invalid characters (* ? < > : \" / \\ |)!");
}

TEST_F(PlanerWindowTest, AScheduledTaskMadeFromTheWindowStartsThePlanerWithTheSchedule)
{
    form.Schedules = {Schedule("Weekly", "Documents.buj", 7)};
    form.DefOptions = " /hide";
    auto w = Open();
    EXPECT_EQ(Rows(w.get())[0], "Weekly|Documents.buj||2|7|Wed|Diff");
    WhenModal([](QWidget* wizard) {
        ASSERT_NE(wizard, nullptr);
        Click(wizard, "btnNext");
        Click(wizard, "btnNext");
        Click(wizard, "btnNext");
    });
    Click(w.get(), "btnCreateTask");
    // the task is in the store under the schedule's name and runs the planer with it
    TWinTaskScheduler s;
    ASSERT_EQ(s.Init(), 0);
    const int pos = s.TaskFolder()->IndexOfTask("Schedule-Weekly");
    ASSERT_GE(pos, 0);
    TWinTask* d = s.TaskFolder()->GetTask(pos)->Definition();
    ASSERT_GE(d->ActionCount(), 1);
    EXPECT_EQ(d->GetAction(0)->Path(), "/usr/bin/QvPlaner");
    EXPECT_EQ(d->GetAction(0)->Arguments().rfind("Weekly ", 0), 0u) << d->GetAction(0)->Arguments();
    // and the schedule shows as active
    EXPECT_EQ(w->ActiveTasks(), std::vector<std::string>{"Weekly"});
    EXPECT_EQ(Rows(w.get())[0], "Weekly|Documents.buj|A|2|7|Wed|Diff");
}

TEST_F(PlanerWindowTest, WithoutTheSchedulerTheWindowStaysWithoutTheTaskButtons)
{
    form.Schedules = {Schedule("Weekly", "Documents.buj", 7)};
    auto w = Open(false);
    ASSERT_FALSE(MsgDialogLog().empty());
    EXPECT_EQ(MsgDialogLog()[0].DlgType, mdtError);
    EXPECT_TRUE(w->isVisible());
    EXPECT_FALSE(Find<QPushButton>(w.get(), "btnCreateTask")->isEnabled());
    EXPECT_FALSE(Find<QPushButton>(w.get(), "btnShowTasks")->isEnabled());
    EXPECT_EQ(Rows(w.get()).size(), 1u);
}

TEST_F(PlanerWindowTest, TheDesktopShortcutStartsThePlanerWithTheSchedule)
{
    form.Schedules = {Schedule("Weekly.full", "Documents.buj", 7)};
    auto w = Open();
    std::string proposed;
    WhenModal([&](QWidget* dlg) {
        ASSERT_NE(dlg, nullptr);
        proposed = Find<QLineEdit>(dlg, "edShortcut")->text().toStdString();
        Find<QPushButton>(dlg, "OKBtn")->click();
    });
    Click(w.get(), "btnShortcut");
    EXPECT_EQ(proposed, "QvSched-Weekly");
    TDesktopEntry e;
    ASSERT_EQ(ReadDesktopEntry(DesktopDir() + "/QvSched-Weekly.desktop", e), 0u);
    ASSERT_GE(e.Exec.size(), 3u);
    EXPECT_EQ(e.Exec[0], "/usr/bin/QvPlaner");
    EXPECT_EQ(e.Exec[1], "Weekly.full");
    EXPECT_EQ(e.Exec.back(), "/interactive");
    EXPECT_EQ(e.Comment, "Weekly");
    EXPECT_EQ(e.WorkDir, form.JobDir);
    EXPECT_FALSE(e.RunAsAdmin);
    // an existing shortcut is replaced only after "Yes"
    WhenModal([&](QWidget* dlg) {
        ASSERT_NE(dlg, nullptr);
        Find<QLineEdit>(dlg, "edDescription")->setText("changed");
        Find<QPushButton>(dlg, "OKBtn")->click();
    });
    QueueMsgDialogAnswer(mrNo);
    Click(w.get(), "btnShortcut");
    EXPECT_EQ(MsgDialogLog().back().Text, "Replace existing desktop shortcut: QvSched-Weekly?");
    ASSERT_EQ(ReadDesktopEntry(DesktopDir() + "/QvSched-Weekly.desktop", e), 0u);
    EXPECT_EQ(e.Comment, "Weekly");
}

TEST(PlanerGuiHostTest, TheWindowKeepsAnsweringWhileTheMainProgramRuns)
{
    Sandbox box;
    const std::string record = box.Path("record.txt");
    setenv("VASTREL_FAKE_RECORD", record.c_str(), 1);
    setenv("VASTREL_FAKE_EXIT", "3", 1);
    TPlanerGuiHost host;
    // posted before the run: only an event loop during the wait delivers it before the run's end
    bool served = false;
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [&served] { served = true; }, Qt::QueuedConnection);
    const uint32_t result = host.RunMainProgram(FakeProgramPath(), "\"my task.buj\" /mode:full", true);
    unsetenv("VASTREL_FAKE_RECORD");
    unsetenv("VASTREL_FAKE_EXIT");
    EXPECT_TRUE(served);
    EXPECT_EQ(result, RunExitCodeFlag | 3u);
    const std::vector<FakeRun> runs = ReadFakeRuns(record);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].args, (std::vector<std::string>{FakeProgramPath(), "my task.buj", "/mode:full"}));
}

} // namespace
