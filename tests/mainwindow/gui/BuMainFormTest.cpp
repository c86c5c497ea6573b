// The main window driven as a user would: the backup list and its commands, runs of one task, of
// several in sequence and in parallel (real child processes of the program), the schedule page with
// a fake clock, the info panel, the log viewer, the Task Scheduler page, the hand-over of a second
// start, and the pictures of every page.

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QTest>
#include <QTimeEdit>
#include <QTimer>
#include <QTreeWidget>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <optional>
#include <signal.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "backup/gui/BackupForm.h"
#include "foundation/BuConsts.h"
#include "foundation/IniFileUtils.h"
#include "foundation/gui/ShowMemo.h"
#include "foundation/gui/ShowMessageDlg.h"
#include "mainwindow/BuMainRunTasks.h"
#include "mainwindow/gui/BuMainForm.h"
#include "support/FakeClock.h"
#include "support/Files.h"
#include "support/Sandbox.h"
#include "support/Shell.h"
#include "support/gui/GuiTestUtil.h"
#include "support/gui/Screenshots.h"

namespace {

std::string ProgramFolder()
{
    std::string exe = VASTREL_EXE;
    return exe.substr(0, exe.rfind('/') + 1);
}

// Child processes of the program run unattended while a test runs them.
class HeadlessChildren
{
public:
    HeadlessChildren()
    {
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
            const char* v = std::getenv(name);
            saved.emplace_back(name, v ? std::optional<std::string>(v) : std::nullopt);
            unsetenv(name);
        }
    }
    ~HeadlessChildren()
    {
        for (const auto& [name, value] : saved)
            if (value)
                setenv(name.c_str(), value->c_str(), 1);
    }

private:
    std::vector<std::pair<std::string, std::optional<std::string>>> saved;
};

class MainWindowTest : public SandboxTest
{
protected:
    void SetUp() override
    {
        ClearMsgDialogLog();
        folders.ProgramDir = ProgramFolder();
        folders.AppDataDir = sandbox.Path("home/.config/");
        folders.DocumentsDir = sandbox.Path("home/Documents/");
        folders.SystemTempDir = sandbox.Path("tmp/");
        std::filesystem::create_directories(TaskDir());
    }
    void TearDown() override
    {
        if (TShowTextDialog* v = TextViewer())
            v->close();
        ClearMsgDialogLog();
    }
    std::string TaskDir() const { return sandbox.Path("home/Documents/Vastrel/"); }
    // A task that backs up one file; its log goes to <name>.log in the sandbox.
    std::string Task(const std::string& name, const std::string& extra = "")
    {
        WriteFileBytes(sandbox.Path("src-" + name + "/f.txt"), "data");
        const std::string path = TaskDir() + name + ".buj";
        WriteFileBytes(path, "[Global]\r\nDestination=" + sandbox.Path("dest-" + name) +
                                 "\r\nLogName=" + sandbox.Path(name + ".log") + "\r\n" + extra +
                                 "DirCount=1\r\n[Dir000]\r\nSource=" + sandbox.Path("src-" + name) +
                                 "\r\nBackupMode=1\r\n");
        return path;
    }
    bool Ran(const std::string& name) const
    {
        return ReadFileBytes(sandbox.Path(name + ".log")).find("Status: OK") != std::string::npos;
    }
    std::unique_ptr<TBuMainForm> Program(std::vector<std::string> args = {"Vastrel"})
    {
        auto p = std::make_unique<TBuMainForm>(folders, interaction, power);
        p->InitProgram(args);
        return p;
    }
    template <typename T> static T* W(QWidget* w, const char* name)
    {
        T* found = Find<T>(w, name);
        EXPECT_TRUE(found) << name;
        return found;
    }
    static std::vector<std::string> Rows(QListWidget* list)
    {
        std::vector<std::string> rows;
        for (int i = 0; i < list->count(); ++i)
            rows.push_back(list->item(i)->text().toStdString());
        return rows;
    }

    TProgramFolders folders;
    TRecordingInteraction interaction;
    TRecordingPowerActions power;
};

TEST_F(MainWindowTest, TheTaskListAddsCommentsSortsMovesRemovesAndIsSaved)
{
    for (const char* n : {"delta", "alpha", "charlie", "bravo"})
        Task(n);
    auto program = Program();
    TBuMainWindow window(*program);
    window.show();
    for (const char* n : {"charlie", "alpha", "delta"})
        window.AddToBackupList(TaskDir() + n + ".buj");
    window.AddToBackupList(TaskDir() + "missing.buj"); // not there: not added
    auto* list = W<QListWidget>(&window, "lbMyBackups");
    EXPECT_EQ(Rows(list), (std::vector<std::string>{"delta.buj", "alpha.buj", "charlie.buj"}));

    // a comment line before the selected entry
    window.SelectEntries({2});
    WhenModal([](QWidget* dlg) {
        auto* edit = Find<QLineEdit>(dlg, "TextFeld");
        ASSERT_TRUE(edit);
        edit->setText(QStringLiteral("== weekly"));
        QTest::keyClick(edit, Qt::Key_Return);
    });
    QTest::mouseClick(W<QPushButton>(&window, "bbComment"), Qt::LeftButton);
    window.AddToBackupList(TaskDir() + "bravo.buj");
    EXPECT_EQ(Rows(list),
              (std::vector<std::string>{"bravo.buj", "delta.buj", "alpha.buj", "== weekly", "charlie.buj"}));
    EXPECT_TRUE(list->item(3)->font().bold());

    QueueMsgDialogAnswer(mrYes);
    window.SelectEntries({1});
    QTest::mouseClick(W<QPushButton>(&window, "bbBuSort"), Qt::LeftButton);
    EXPECT_EQ(Rows(list),
              (std::vector<std::string>{"alpha.buj", "bravo.buj", "delta.buj", "== weekly", "charlie.buj"}));
    EXPECT_EQ(window.SelectedEntries(), (std::vector<int>{2})) << "the selection follows its entry";

    // entries 2 and 4 up: they move to 1 and 3 and stay selected
    window.SelectEntries({1, 3});
    QTest::mouseClick(W<QPushButton>(&window, "bbBuUp"), Qt::LeftButton);
    EXPECT_EQ(Rows(list),
              (std::vector<std::string>{"bravo.buj", "alpha.buj", "== weekly", "delta.buj", "charlie.buj"}));
    EXPECT_EQ(window.SelectedEntries(), (std::vector<int>{0, 2}));
    QTest::keyClick(&window, Qt::Key_Down, Qt::AltModifier);
    EXPECT_EQ(Rows(list),
              (std::vector<std::string>{"alpha.buj", "bravo.buj", "delta.buj", "== weekly", "charlie.buj"}));

    // removing the last two makes the third entry current
    window.SelectEntries({3, 4});
    QueueMsgDialogAnswer(mrYes);
    QTest::mouseClick(W<QPushButton>(&window, "bbBuRemove"), Qt::LeftButton);
    EXPECT_EQ(Rows(list), (std::vector<std::string>{"alpha.buj", "bravo.buj", "delta.buj"}));
    EXPECT_EQ(program->CurrentTask, TaskDir() + "delta.buj");
    EXPECT_EQ(W<QLabel>(&window, "laTaskName")->text(), QStringLiteral("delta"));

    // closing the window writes the list; a second window reads it back
    window.close();
    auto again = Program();
    TBuMainWindow second(*again);
    second.ShowBackupPage();
    EXPECT_EQ(Rows(W<QListWidget>(&second, "lbMyBackups")),
              (std::vector<std::string>{"alpha.buj", "bravo.buj", "delta.buj"}));
    EXPECT_EQ(second.SelectedEntries(), (std::vector<int>{2}));
}

TEST_F(MainWindowTest, SelectedTasksRunAloneInSequenceAndInParallel)
{
    for (const char* n : {"one", "two", "three", "four", "five"})
        Task(n);
    auto program = Program();
    TBuMainWindow window(*program);
    window.show();
    for (const char* n : {"five", "four", "three", "two", "one"})
        window.AddToBackupList(TaskDir() + n + ".buj");
    HeadlessChildren headless;

    // one task: this program runs it on its run thread, the window stays usable
    window.SelectEntries({0});
    QTest::mouseClick(W<QPushButton>(&window, "bbBuStart"), Qt::LeftButton);
    ASSERT_TRUE(WaitFor([&] { return !window.BackupIsRunning(); }, std::chrono::seconds(60)));
    EXPECT_TRUE(Ran("one"));

    // two in sequence: one child process of the program runs both
    window.SelectEntries({1, 2});
    WhenModal([](QWidget* dlg) { QTest::mouseClick(Find<QPushButton>(dlg, "Button0"), Qt::LeftButton); });
    QTest::mouseClick(W<QPushButton>(&window, "bbBuStart"), Qt::LeftButton);
    EXPECT_TRUE(WaitFor([&] { return Ran("two") && Ran("three"); }, std::chrono::seconds(120)));

    // two in parallel: a child process each
    window.SelectEntries({3, 4});
    WhenModal([](QWidget* dlg) {
        Find<QCheckBox>(dlg, "cbOption")->setChecked(true);
        QTest::mouseClick(Find<QPushButton>(dlg, "Button1"), Qt::LeftButton);
    });
    QTest::mouseClick(W<QPushButton>(&window, "bbBuStart"), Qt::LeftButton);
    ASSERT_TRUE(window.ParallelRun());
    EXPECT_TRUE(WaitFor([&] { return window.ParallelRun()->Done(); }, std::chrono::seconds(120)));
    EXPECT_TRUE(Ran("four"));
    EXPECT_TRUE(Ran("five"));
    EXPECT_TRUE(interaction.Calls.empty());
}

TEST_F(MainWindowTest, TheSchedulePageEditsEachKindAndTheTimerRunsTimedSlots)
{
    const std::string task = Task("timed");
    const TDateTime day = EncodeDate(2025, 3, 7); // a Friday
    ScopedFakeClock clock(day + (9 * 60 + 30) / 1440.0);
    auto program = Program();
    TBuMainWindow window(*program);
    window.show();
    window.AddToBackupList(task);
    EXPECT_TRUE(window.AddSchedule(task, true));
    EXPECT_EQ(window.MainPage(), 1);
    EXPECT_EQ(window.AutoTaskNr(), 0);
    auto* kind = W<QComboBox>(&window, "cbAutoStart");
    auto* time = W<QTimeEdit>(&window, "dtpAutoTime");
    auto* days = W<QWidget>(&window, "gbWeekdays");
    auto* missed = W<QCheckBox>(&window, "cbRunIfMissed");
    struct Case
    {
        TAutoStart kind;
        bool picker, weekdays, runIfMissed;
    } cases[] = {
        {asLogon, false, false, false}, {asDaily, false, false, false}, {asLogoff, true, false, false},
        {asWeekly, false, true, true},  {asWeekDay, false, true, true}, {asByRequest, false, true, false},
        {asDailyAt, true, true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.kind);
        // changing an active kind asks first
        if (program->AutoTasks[0]->BuProcess != asNone)
            QueueMsgDialogAnswer(mrYes);
        kind->setCurrentIndex(c.kind);
        emit kind->activated(c.kind);
        EXPECT_EQ(program->AutoTasks[0]->BuProcess, c.kind);
        EXPECT_EQ(time->isVisibleTo(&window), c.picker);
        EXPECT_EQ(days->isVisibleTo(&window), c.weekdays);
        EXPECT_EQ(missed->isVisibleTo(&window), c.runIfMissed);
    }
    // "Daily at selected time": every day, the current minute, so the next run is tomorrow
    TAutoTask& slot = *program->AutoTasks[0];
    EXPECT_EQ(slot.WeekDay, 127u);
    EXPECT_TRUE(slot.RunIfMissed);
    EXPECT_NEAR(slot.NextTime, day + 1 + (9 * 60 + 30) / 1440.0, 1e-6);
    EXPECT_TRUE(program->AutoFlags.WaitActive);
    EXPECT_TRUE(W<QCheckBox>(&window, "cbSysTray")->isChecked());
    EXPECT_EQ(W<QTreeWidget>(&window, "lvSchedules")->topLevelItemCount(), 2);

    // the time set to 10:00 today; the timer runs the slot once 10:00 has passed
    time->setTime(QTime(10, 0));
    EXPECT_NEAR(slot.NextTime, day + 10 / 24.0, 1e-6);
    window.tmScheduleTimer();
    ASSERT_TRUE(WaitFor([&] { return !window.BackupIsRunning(); }, std::chrono::seconds(60)));
    EXPECT_FALSE(Ran("timed"));
    clock->AdvanceSeconds(31 * 60);
    window.tmScheduleTimer();
    ASSERT_TRUE(WaitFor([&] { return !window.BackupIsRunning(); }, std::chrono::seconds(60)));
    EXPECT_TRUE(Ran("timed"));
    EXPECT_NEAR(slot.NextTime, day + 1 + 10 / 24.0, 1e-6);

    // the tray menu offers the slot; "Never" asks and takes it out of the timer
    auto* menu = window.TrayMenu()->findChild<QMenu*>(QStringLiteral("itStartBackup"));
    ASSERT_TRUE(menu);
    ASSERT_EQ(menu->actions().size(), 2);
    EXPECT_EQ(menu->actions()[1]->text(), QStringLiteral("1 - timed"));
    QueueMsgDialogAnswer(mrYes);
    kind->setCurrentIndex(asNone);
    emit kind->activated(asNone);
    EXPECT_FALSE(program->AutoFlags.WaitActive);

    // a 17th schedule is refused
    for (int i = 1; i < AutoTaskSlotCount; ++i)
        ASSERT_TRUE(window.AddSchedule(task, true));
    QueueMsgDialogAnswer(mrOk);
    EXPECT_FALSE(window.AddSchedule(task, true));
    ASSERT_FALSE(MsgDialogLog().empty());
    EXPECT_EQ(MsgDialogLog().back().Text, "The maximum number of 16 backup schedules is exceeded!");
}

TEST_F(MainWindowTest, AnAutomaticStartRunsItsLogonSlotsAndStaysForTimedOnes)
{
    const std::string logon = Task("logon");
    const std::string later = Task("later");
    const TDateTime day = EncodeDate(2025, 3, 7);
    ScopedFakeClock clock(day + 8 / 24.0);
    {
        auto setup = Program();
        setup->AutoTasks[0]->TaskPath = logon;
        setup->AutoTasks[0]->TaskName = "logon";
        setup->AutoTasks[0]->BuProcess = asLogon;
        setup->AutoTasks[1]->TaskPath = later;
        setup->AutoTasks[1]->TaskName = "later";
        setup->AutoTasks[1]->BuProcess = asDailyAt;
        setup->AutoTasks[1]->NextTime = day + 20 / 24.0;
        ASSERT_TRUE(setup->SaveToIni());
    }
    auto program = Program({"Vastrel", "/auto"});
    TBuMainWindow window(*program);
    bool ended = false;
    window.OnEndProgram = [&] { ended = true; };
    window.Dispatch();
    ASSERT_TRUE(WaitFor([&] { return Ran("logon"); }, std::chrono::seconds(60)));
    ASSERT_TRUE(WaitFor([&] { return !window.BackupIsRunning(); }, std::chrono::seconds(60)));
    EXPECT_FALSE(Ran("later"));
    EXPECT_FALSE(window.isVisible());
    EXPECT_FALSE(ended) << "a timed slot keeps the program in the background";
    EXPECT_TRUE(window.ScheduleTimer()->isActive());
}

TEST_F(MainWindowTest, TheEndOfTheSessionWaitsForItsLogoffBackupsAndThenLogsOff)
{
    const std::string task = Task("logoff");
    auto program = Program();
    program->AutoTasks[0]->TaskPath = task;
    program->AutoTasks[0]->TaskName = "logoff";
    program->AutoTasks[0]->BuProcess = asLogoff;
    program->AutoTasks[0]->NextTime = 0; // no time set: due at every logoff
    program->UpdateAutoFlags(false);
    TBuMainWindow window(*program);
    window.show();
    bool ended = false;
    window.OnEndProgram = [&] {
        ended = true;
        program->FinishProgram();
    };
    EXPECT_FALSE(window.SessionEnding(true)) << "the logoff is held back";
    ASSERT_TRUE(WaitFor([&] { return ended; }, std::chrono::seconds(60)));
    EXPECT_TRUE(Ran("logoff"));
    ASSERT_FALSE(power.Calls.empty());
    EXPECT_EQ(power.Calls.back(), "end logoff");
    EXPECT_TRUE(window.SessionEnding(true)) << "the second request passes";

    // without logoff slots nothing is held back
    auto plain = Program();
    plain->AutoTasks[0]->BuProcess = asLogon;
    plain->UpdateAutoFlags(false);
    TBuMainWindow other(*plain);
    EXPECT_TRUE(other.SessionEnding(false));
}

TEST_F(MainWindowTest, TheInfoPanelDescribesTheTaskAndReadsFreeSpaceOffTheWindowThread)
{
    const std::string zip =
        Task("zipped", "Note=first line,\"second, with comma\"\r\nDestMode=4\r\nZipName=archive\r\n"
                       "LastBackup=2025-03-01 10:00\r\n");
    std::filesystem::create_directories(sandbox.Path("dest-zipped"));
    const std::string plain = Task("plain");
    auto program = Program();
    program->AutoTasks[2]->TaskPath = zip;
    program->AutoTasks[2]->TaskName = "zipped";
    program->AutoTasks[2]->BuProcess = asLogon;
    program->AutoTasks[8]->TaskPath = zip;
    program->AutoTasks[8]->TaskName = "zipped";
    program->AutoTasks[8]->BuProcess = asByRequest;
    TBuMainWindow window(*program);
    window.show();
    window.AddToBackupList(plain);
    window.AddToBackupList(zip);
    EXPECT_EQ(W<QLineEdit>(&window, "edDestination")->text().toStdString(),
              sandbox.Path("dest-zipped") + "/archive.zip");
    EXPECT_EQ(W<QLabel>(&window, "laTaskName")->text(), QStringLiteral("zipped"));
    auto* note = W<QPlainTextEdit>(&window, "meBackupDesc");
    EXPECT_EQ(note->toPlainText(), QStringLiteral("first line\nsecond, with comma"));
    auto* sched = W<QListWidget>(&window, "lbTimeSched");
    EXPECT_EQ(Rows(sched), (std::vector<std::string>{"1: Always on logon (3)", "2: By request (9)"}));
    auto* hint = W<QLabel>(&window, "paDestHint");
    EXPECT_TRUE(WaitFor([&] { return hint->text().contains(QStringLiteral("free of")); }))
        << hint->text().toStdString();

    // a later selection wins over an earlier answer
    window.SelectEntries({1});
    emit W<QListWidget>(&window, "lbMyBackups")->itemSelectionChanged();
    EXPECT_EQ(program->CurrentTask, plain);
    EXPECT_TRUE(WaitFor([&] { return hint->text() != QStringLiteral("…"); }));
    EXPECT_EQ(Rows(sched), (std::vector<std::string>{"No schedule configured for this task"}));
    EXPECT_FALSE(sched->isEnabled());
}

TEST_F(MainWindowTest, TheLogViewerShowsOneLogAtATimeAndOffersTheDefaultForAMissingOne)
{
    WriteFileBytes(sandbox.Path("a.log"), "Vastrel - run one\r\n  *** an error\r\n");
    WriteFileBytes(sandbox.Path("b.log"), "Vastrel - run two\r\n");
    auto program = Program();
    TBuMainWindow window(*program);
    window.ShowLog(sandbox.Path("a.log"), false);
    ASSERT_TRUE(TextViewer());
    EXPECT_TRUE(TextViewer()->isVisible());
    window.ShowLog(sandbox.Path("b.log"), false);
    EXPECT_NE(TextViewer()->StatusLine().find(""), std::string::npos);
    auto* memo = TextViewer()->findChild<QPlainTextEdit*>();
    ASSERT_TRUE(memo);
    EXPECT_TRUE(memo->toPlainText().contains(QStringLiteral("run two")));
    EXPECT_FALSE(memo->toPlainText().contains(QStringLiteral("run one")));

    // a missing log: "Default" shows the default log without a second question
    TextViewer()->close();
    WriteFileBytes(DefaultLogFile, "Vastrel - default\r\n");
    WhenModal([](QWidget* dlg) { QTest::mouseClick(Find<QPushButton>(dlg, "Button1"), Qt::LeftButton); });
    window.ShowLog(sandbox.Path("gone.log"), false);
    EXPECT_TRUE(WaitFor([&] { return TextViewer()->isVisible(); }));
    EXPECT_TRUE(memo->toPlainText().contains(QStringLiteral("default")));
}

TEST_F(MainWindowTest, EditOpensTheTaskInTheEditorAndTheListShowsWhatWasSaved)
{
    Task("first");
    Task("second");
    auto program = Program();
    TBuMainWindow window(*program);
    window.show();
    window.AddToBackupList(TaskDir() + "first.buj");
    window.AddToBackupList(TaskDir() + "second.buj");
    auto* list = W<QListWidget>(&window, "lbMyBackups");
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(1)).center());
    ASSERT_EQ(program->CurrentTask, TaskDir() + "first.buj");

    // "Edit": the editor opens modally on the selected task; what it saves shows in the panel
    std::string opened;
    WhenModal([&](QWidget* w) {
        auto* form = dynamic_cast<TBackupForm*>(w);
        ASSERT_TRUE(form) << "the task editor is the modal window";
        opened = form->Task.ActTaskName;
        form->Task.TaskNote = "Edited in the editor";
        form->SaveTaskItemClick();
        form->close();
    });
    ASSERT_TRUE(W<QPushButton>(&window, "bbBuEdit")->isEnabled());
    QTest::mouseClick(W<QPushButton>(&window, "bbBuEdit"), Qt::LeftButton);
    EXPECT_EQ(opened, TaskDir() + "first.buj");
    EXPECT_EQ(Rows(list), (std::vector<std::string>{"first.buj", "second.buj"}))
        << "the edited task goes on top";
    EXPECT_EQ(window.SelectedEntries(), (std::vector<int>{0}));
    EXPECT_EQ(W<QPlainTextEdit>(&window, "meBackupDesc")->toPlainText(),
              QStringLiteral("Edited in the editor"));

    // a double click on a task line opens that task; closing without a save changes nothing on disk
    const std::string before = ReadFileBytes(TaskDir() + "second.buj");
    opened.clear();
    WhenModal([&](QWidget* w) {
        auto* form = dynamic_cast<TBackupForm*>(w);
        ASSERT_TRUE(form);
        opened = form->Task.ActTaskName;
        form->close();
    });
    const QPoint at = list->visualItemRect(list->item(1)).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
    EXPECT_EQ(opened, TaskDir() + "second.buj");
    EXPECT_EQ(ReadFileBytes(TaskDir() + "second.buj"), before);
    EXPECT_EQ(Rows(list), (std::vector<std::string>{"second.buj", "first.buj"}));

    // "New" with the wizard cancelled leaves the list alone
    int wizardRuns = 0;
    window.BackupForm().RunWizard = [&](TBackupTask& answers) {
        ++wizardRuns;
        EXPECT_EQ(answers.TargetDir, sandbox.Path("dest-second"))
            << "the new task starts at the shown destination";
        return static_cast<int>(mrCancel);
    };
    const bool useWizard = ProgSettings.OtherSettings.UseWizard;
    ProgSettings.OtherSettings.UseWizard = true;
    QTest::mouseClick(W<QPushButton>(&window, "bbBuNew"), Qt::LeftButton);
    ProgSettings.OtherSettings.UseWizard = useWizard;
    EXPECT_EQ(wizardRuns, 1);
    EXPECT_EQ(Rows(list), (std::vector<std::string>{"second.buj", "first.buj"}));
}

TEST_F(MainWindowTest, PagesToolsAndTaskSchedulerSayWhatIsNotAvailable)
{
    auto program = Program();
    TBuMainWindow window(*program);
    window.show();
    QTest::mouseClick(W<QPushButton>(&window, "sbScheduler"), Qt::LeftButton);
    EXPECT_EQ(window.MainPage(), 3);
    EXPECT_TRUE(W<QLabel>(&window, "laSchedulerError")->isVisible());
    QTest::mouseClick(W<QPushButton>(&window, "sbTools"), Qt::LeftButton);
    EXPECT_EQ(window.MainPage(), 2);
    QTest::keyClick(&window, Qt::Key_3, Qt::ControlModifier);
    EXPECT_EQ(window.MainPage(), 1);
    EXPECT_EQ(window.AutoTaskNr(), 2);
    QTest::keyClick(&window, Qt::Key_B, Qt::ControlModifier);
    EXPECT_EQ(window.MainPage(), 0);
}

TEST_F(MainWindowTest, ARunHandedOverByASecondStartRunsHereAndAnswersWithItsExitCode)
{
    const std::string task = Task("handed");
    auto program = Program();
    TBuMainWindow window(*program);
    uint32_t code = 0;
    auto server = TInstanceServer::TryCreate(sandbox.Path("runtime"), code);
    ASSERT_TRUE(server);
    window.SetInstanceServer(server.get());
    struct Case
    {
        std::string task;
        int exitCode;
    } cases[] = {{task, 0}, {sandbox.Path("missing.buj"), 1}};
    for (const auto& c : cases) {
        int exitCode = -1;
        THandOverResult result = hoNoInstance;
        std::atomic<bool> answered{false};
        std::thread second([&] {
            result = HandOver(sandbox.Path("runtime"),
                              THandOver{hmRun, sandbox.Path(""), {"Vastrel", "/force", c.task}}, exitCode);
            answered = true;
        });
        ASSERT_TRUE(WaitFor([&] { return answered.load(); }, std::chrono::seconds(60)));
        second.join();
        EXPECT_EQ(result, hoDone);
        EXPECT_EQ(exitCode, c.exitCode);
    }
    EXPECT_TRUE(Ran("handed"));

    // a plain second start brings the window up
    int exitCode = -1;
    std::atomic<bool> shown{false};
    std::thread show([&] {
        HandOver(sandbox.Path("runtime"), THandOver{hmShow, "", {"Vastrel"}}, exitCode);
        shown = true;
    });
    EXPECT_TRUE(WaitFor([&] { return shown.load() && window.isVisible(); }));
    show.join();
    EXPECT_EQ(exitCode, 0);
}

TEST_F(MainWindowTest, TwoRealStartsHandTheSecondsRunToTheFirst)
{
    const std::string task = Task("twice");
    // the first start: the main window, with settings of its own
    const std::string firstConfig = sandbox.Path("first-config");
    std::filesystem::create_directories(firstConfig);
    pid_t first = fork();
    ASSERT_GE(first, 0);
    if (first == 0) {
        setenv("XDG_CONFIG_HOME", firstConfig.c_str(), 1);
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        setenv("DISPLAY", ":0", 1);
        setenv("XDG_RUNTIME_DIR", sandbox.Path("runtime").c_str(), 1);
        execl(VASTREL_EXE, VASTREL_EXE, static_cast<char*>(nullptr));
        _exit(127);
    }
    const std::string socket = sandbox.Path("runtime/Vastrel-" + std::to_string(getuid()) + ".sock");
    ASSERT_TRUE(WaitFor([&] { return std::filesystem::exists(socket); }, std::chrono::seconds(60)));
    // the second start: a batch run that the first takes over
    WriteFileBytes(task, ReadFileBytes(task)); // unchanged; the task logs into the default log below
    const std::string noLog = TaskDir() + "nolog.buj";
    WriteFileBytes(sandbox.Path("src-nolog/f.txt"), "x");
    WriteFileBytes(noLog, "[Global]\r\nDestination=" + sandbox.Path("dest-nolog") +
                              "\r\nDirCount=1\r\n[Dir000]\r\nSource=" + sandbox.Path("src-nolog") +
                              "\r\nBackupMode=1\r\n");
    ShellResult r = RunShell(
        "env DISPLAY=:0 QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=" + ShellQuote(sandbox.Path("runtime")) +
        " " + ShellQuote(VASTREL_EXE) + " /force " + ShellQuote(noLog));
    EXPECT_EQ(r.exitCode, 0) << r.output;
    // the run's log is in the first start's settings folder: the first ran it
    EXPECT_NE(ReadFileBytes(firstConfig + "/Vastrel6/Vastrel.log").find("Status: OK"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(sandbox.Path("home/.config/Vastrel6/Vastrel.log")));
    // a plain second start ends at once
    ShellResult again = RunShell(
        "env DISPLAY=:0 QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=" + ShellQuote(sandbox.Path("runtime")) +
        " timeout 60 " + ShellQuote(VASTREL_EXE));
    EXPECT_EQ(again.exitCode, 0) << again.output;
    kill(first, SIGTERM);
    int status = 0;
    waitpid(first, &status, 0);
}

// ---- pictures

struct ShotData
{
    Sandbox sandbox;
    TProgramFolders folders;
    TRecordingInteraction interaction;
    TRecordingPowerActions power;
    std::unique_ptr<TBuMainForm> program;
    std::unique_ptr<TBuMainWindow> window;
    ShotData()
    {
        folders.ProgramDir = ProgramFolder();
        folders.AppDataDir = sandbox.Path("home/.config/");
        folders.DocumentsDir = sandbox.Path("home/Documents/");
        folders.SystemTempDir = sandbox.Path("tmp/");
        const std::string dir = sandbox.Path("home/Documents/Vastrel/");
        std::filesystem::create_directories(dir);
        program = std::make_unique<TBuMainForm>(folders, interaction, power);
        program->InitProgram({"Vastrel"});
        const char* names[] = {"Documents", "Photos", "Mail archive"};
        for (const char* n : names) {
            WriteFileBytes(sandbox.Path(std::string("src/") + n + "/a.txt"), "x");
            WriteFileBytes(dir + n + ".buj", std::string("[Global]\r\nDestination=") +
                                                 sandbox.Path("backup") + "\r\nNote=Daily copy of " + n +
                                                 "\r\nDirCount=1\r\n[Dir000]\r\nSource=" +
                                                 sandbox.Path(std::string("src/") + n) + "\r\n");
        }
        std::filesystem::create_directories(sandbox.Path("backup"));
        program->AutoTasks[0]->TaskPath = dir + "Documents.buj";
        program->AutoTasks[0]->TaskName = "Documents";
        program->AutoTasks[0]->BuProcess = asDailyAt;
        program->AutoTasks[0]->NextTime = std::floor(Now()) + 1 + 20 / 24.0;
        program->AutoTasks[1]->TaskPath = dir + "Photos.buj";
        program->AutoTasks[1]->TaskName = "Photos";
        program->AutoTasks[1]->BuProcess = asWeekly;
        program->AutoTasks[1]->WeekDay = 1;
        program->BackupList.AddObject("== Every day", CommentLine);
        program->BackupList.AddObject("Documents.buj", 0);
        program->BackupList.AddObject("Mail archive.buj", 0);
        program->BackupList.AddObject("== Weekly", CommentLine);
        program->BackupList.AddObject("Photos.buj", 0);
        program->CurrentTask = dir + "Documents.buj";
        program->UpdateAutoFlags(true);
        window = std::make_unique<TBuMainWindow>(*program);
        window->resize(1000, 660);
        window->show();
        window->ShowBackupPage();
        WaitFor([&] {
            return Find<QLabel>(window.get(), "paDestHint")->text().contains(QStringLiteral("free"));
        });
    }
};

const TScreenshotShow shotBackup("mainwindow-backups", [](const TScreenshotSaver& save) {
    ShotData d;
    save(d.window.get());
});
const TScreenshotShow shotAuto("mainwindow-schedules", [](const TScreenshotSaver& save) {
    ShotData d;
    d.window->ShowAutoBackups(0);
    save(d.window.get());
});
const TScreenshotShow shotTools("mainwindow-tools", [](const TScreenshotSaver& save) {
    ShotData d;
    d.window->ShowToolsPage();
    save(d.window.get());
});
const TScreenshotShow shotScheduler("mainwindow-taskscheduler", [](const TScreenshotSaver& save) {
    ShotData d;
    d.window->ShowSchedulerPage();
    save(d.window.get());
});
const TScreenshotShow shotTray("mainwindow-traymenu", [](const TScreenshotSaver& save) {
    ShotData d;
    QMenu* menu = d.window->TrayMenu();
    menu->popup(QPoint(200, 200));
    WaitFor([&] { return menu->isVisible(); });
    save(menu);
    menu->hide();
});

} // namespace
