#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>
#include <vector>

#include "backup/gui/Anzeige.h"
#include "foundation/BuConsts.h"
#include "foundation/IniFileUtils.h"
#include "foundation/gui/SelectDlg.h"
#include "foundation/gui/ShowMessageDlg.h"
#include "support/Sandbox.h"
#include "support/gui/GuiTestUtil.h"
#include "support/gui/Screenshots.h"

// Readable texts in failure messages.
inline void PrintTo(const QString& s, std::ostream* os)
{
    *os << '"' << s.toStdString() << '"';
}

namespace {

class AnzeigeTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        saved = ProgSettings;
        ProgSettings.ViewSettings.PlaySound = false;
        ProgSettings.ViewSettings.AutoWaitTime = 5;
        ClearMsgDialogLog();
        window.OnTaskBarState = [this](int s) { taskBar.push_back(s); };
    }
    void TearDown() override
    {
        window.CloseView();
        ClearMsgDialogLog();
        ProgSettings = saved;
    }
    void Open(TProgressOptions options = ProgressOption(poBackup) | ProgressOption(poPause), int wait = 0)
    {
        window.ShowProgress(&control, "Daily", "Destination", "/media/backup", options, 0, wait, false);
    }
    template <typename T> T* W(const char* name) { return Find<T>(&window, name); }
    QString Text(const char* label) { return W<QLabel>(label)->text(); }
    // Runs action once the result view has come up and waits (on its event loop).
    static void WhenWaiting(std::function<void()> action) { QTimer::singleShot(0, std::move(action)); }

    TQvSettings saved;
    TRunControl control;
    TZeigFortschritt window;
    std::vector<int> taskBar;
};

TEST(AnzeigeTexts, ActionsAndElapsedTimesReadAsTheWindowShowsThem)
{
    EXPECT_EQ("00:00:00", ElapsedTimeText(0));
    EXPECT_EQ("01:02:03", ElapsedTimeText((3600 + 120 + 3) / 86400.0));
    EXPECT_EQ("30:00:00", ElapsedTimeText(30 / 24.0));
    EXPECT_EQ("123:00:05", ElapsedTimeText((123 * 3600 + 5) / 86400.0));
    EXPECT_EQ("is being verified", FileActionText(acZipVerify));
    EXPECT_EQ("is being added to zip archive", FileActionText(acSegmentCopy));
    EXPECT_EQ("", FileActionText(acNone));
}

TEST(AnzeigeTexts, RadioIndexesAndResultCodesMapToTheAfterRunActions)
{
    const struct
    {
        int index, code;
        TBuResult result;
    } cases[] = {{-1, 1, brOK},      {0, 1, brOK},         {1, 9, brShutdown}, {2, 10, brLogOff},
                 {3, 11, brStandby}, {4, 12, brHibernate}, {5, 1, brOK}};
    for (const auto& c : cases) {
        EXPECT_EQ(c.code, SelectedActionToResult(c.index)) << c.index;
        EXPECT_EQ(c.result, ModalResultToBuResult(c.code)) << c.index;
        EXPECT_EQ(c.result, ModalResultToBuResult(c.code + 256)) << c.index;
    }
    EXPECT_EQ(brError, ModalResultToBuResult(7));
    EXPECT_EQ(brRepeat, ModalResultToBuResult(13 + 256));
}

TEST_F(AnzeigeTest, TotalProgressStaysBelowAHundredUntilTheResult)
{
    Open();
    const struct
    {
        std::function<void()> step;
        int shown;
    } steps[] = {
        {[&] { window.SetTotalProgress(40); }, 40},     {[&] { window.SetTempTotalProgress(30); }, 70},
        {[&] { window.SetTempTotalProgress(80); }, 99}, {[&] { window.UpdateTotalProgress(20); }, 60},
        {[&] { window.SetTotalProgress(100); }, 99},    {[&] { window.SetTotalProgress(250); }, 99},
        {[&] { window.SetTempTotalProgress(5); }, 99},  {[&] { window.SetTotalProgress(-3); }, 0},
        {[&] { window.SetTempTotalProgress(12); }, 9},
    };
    for (size_t i = 0; i < std::size(steps); ++i) {
        steps[i].step();
        window.UpdateView();
        EXPECT_EQ(steps[i].shown, W<TNewProgressBar>("GesamtBalken")->Position()) << i;
    }
    window.SetTotalAmount("12 files");
    window.SetTotalProgress(50);
    window.UpdateView();
    EXPECT_EQ(QStringLiteral("50% of 12 files"), Text("TotalPercentLabel"));
}

TEST_F(AnzeigeTest, TheResultShowsAHundredUnlessTheRunWasCancelled)
{
    for (const TResultStatus mode : {psOK, psError, psWarning, psCancel}) {
        Open();
        window.SetTotalProgress(42);
        int shown = -1;
        WhenWaiting([&] {
            shown = W<TNewProgressBar>("GesamtBalken")->Position();
            window.CloseStatus();
        });
        window.ShowStatus(mode, "Backup completed", "done", "", 0, 0);
        EXPECT_EQ(mode == psCancel ? 42 : 100, shown) << mode;
    }
}

TEST_F(AnzeigeTest, SecondaryStatusUsesLineOneUntilThePrimaryClaimsIt)
{
    Open();
    window.WriteStatus(2, "scanning");
    window.WriteStatus(2, "still scanning");
    EXPECT_EQ("still scanning", window.Snapshot().Status1);
    EXPECT_EQ("", window.Snapshot().Status2);
    window.WriteStatus(1, "copying");
    window.WriteStatus(2, "3 errors");
    EXPECT_EQ("copying", window.Snapshot().Status1);
    EXPECT_EQ("3 errors", window.Snapshot().Status2);
    // Opened swapped, index 2 is the primary line.
    window.ShowProgress(&control, "T", "D", "/d", ProgressOption(poBackup), 0, 0, true);
    window.WriteStatus(1, "one");
    window.WriteStatus(2, "two");
    window.WriteStatus(1, "three");
    EXPECT_EQ("two", window.Snapshot().Status1);
    EXPECT_EQ("three", window.Snapshot().Status2);
}

TEST_F(AnzeigeTest, ItemDetailsFollowTheActionAndSize)
{
    Open();
    window.UpdatePrompt(ssFile, "", "/home/user/Documents/report.odt", 2048);
    window.SetAction(acCopy);
    window.SetStepProgress(150);
    window.UpdateView();
    EXPECT_EQ(QStringLiteral("File "), Text("FileLabel"));
    EXPECT_EQ(QStringLiteral("is being copied"), Text("ActionLabel"));
    EXPECT_EQ(100, W<TNewProgressBar>("EinzelBalken")->Position());
    EXPECT_EQ(QStringLiteral("100% of 2.00 KiB"), Text("FilePercentLabel"));
    window.SetAction(acAddVerify);
    window.SetElapsedTime(65 / 86400.0);
    window.SetSpeed("3.0 MB/s");
    window.SetStepAmount(4);
    window.SetAction(acZipVerify);
    window.SetStepProgress(50);
    window.UpdateView();
    EXPECT_EQ(QStringLiteral("is being verified"), Text("ActionLabel"));
    EXPECT_EQ(QStringLiteral("50% of 4 files"), Text("FilePercentLabel"));
    EXPECT_EQ(QStringLiteral("3.0 MB/s - 00:01:05"), Text("SpeedLabel"));
    window.SetActionHint("is being checked");
    window.UpdateView();
    EXPECT_EQ(QStringLiteral("is being checked"), Text("ActionLabel"));
    EXPECT_EQ(QString(), Text("FilePercentLabel")); // the hint resets the action to none

    // A long name is shortened to the bar and kept whole in the hint.
    const std::string longName = "/srv/" + std::string(400, 'x') + "/end.txt";
    window.SetPrompt(longName);
    window.UpdateView();
    EXPECT_LT(Text("HinweisLabel").size(), static_cast<int>(longName.size()));
    EXPECT_EQ(QString::fromStdString(longName), W<QLabel>("HinweisLabel")->toolTip());
    window.SetPrompt("short.txt");
    window.UpdateView();
    EXPECT_EQ(QString(), W<QLabel>("HinweisLabel")->toolTip());
}

struct TResultCase
{
    const char* name;
    TResultStatus mode;
    int wait;
    int selected; // radio index chosen by the user, -1 none
    bool repeat, log, waits, countdown;
    int expected;
};

TEST_F(AnzeigeTest, TheResultViewReturnsTheSpecifiedCodes)
{
    const TResultCase cases[] = {
        {"ok, wait for the user", psOK, 0, -1, false, false, true, false, 1},
        {"standby chosen, then Log", psOK, 0, 3, false, true, true, false, 11 + 256},
        {"repeat wins over the action", psError, 0, 1, true, false, true, false, 13},
        {"cancelled run", psCancel, 0, -1, false, false, true, false, 7},
        {"quiet: at once, also for errors", psError, -1, -1, false, false, false, false, 1},
        {"-2 and an error waits", psError, -2, -1, false, false, true, false, 1},
        {"-2 and success does not wait", psOK, -2, -1, false, false, false, false, 1},
        {"error with bit 12 waits without countdown", psError, 4096 + 10, -1, false, false, true, false, 1},
        {"warning with bit 12 counts down", psWarning, 4096 + 10, -1, false, false, true, true, 1},
        {"ok counts down and closes by itself", psOK, 10, 4, false, false, true, true, 12},
    };
    for (const TResultCase& c : cases) {
        SCOPED_TRACE(c.name);
        Open(ProgressOption(poBackup) | ProgressOption(poAction) | ProgressOption(poPause));
        bool waited = false, inside = true;
        QString caption;
        bool logVisible = false, repeatVisible = false;
        WhenWaiting([&] {
            if (!inside)
                return;
            waited = true;
            caption = W<QPushButton>("Button")->text();
            logVisible = W<QPushButton>("ViewLog")->isVisible();
            repeatVisible = W<QCheckBox>("cbRepeat")->isVisible();
            if (c.selected >= 0)
                W<QRadioButton>(QStringLiteral("rgAction%1").arg(c.selected).toLatin1().constData())->click();
            if (c.repeat)
                W<QCheckBox>("cbRepeat")->setChecked(true);
            if (c.countdown) {
                for (int i = 0; i < (c.wait & 4095); ++i)
                    window.WaitTick();
            } else if (c.log)
                QTest::mouseClick(W<QPushButton>("ViewLog"), Qt::LeftButton);
            else
                QTest::mouseClick(W<QPushButton>("Button"), Qt::LeftButton);
        });
        const int code = window.ShowStatus(c.mode, "Backup completed", "status", "", 0, c.wait);
        inside = false;
        QApplication::processEvents(); // a view that did not wait leaves the action to now: it does nothing
        EXPECT_EQ(c.expected, code);
        EXPECT_EQ(c.waits, waited);
        if (c.waits) {
            EXPECT_EQ(c.countdown ? QStringLiteral("Done (%1 s)").arg(c.wait & 4095) : QStringLiteral("Done"),
                      caption);
            EXPECT_EQ(!c.countdown, logVisible);
            EXPECT_EQ(!c.countdown && c.mode != psOK, repeatVisible);
            EXPECT_FALSE(window.isVisible());
        }
    }
}

TEST_F(AnzeigeTest, AnActionChosenDuringTheRunTurnsTheResultIntoACountdown)
{
    Open(ProgressOption(poBackup) | ProgressOption(poAction));
    W<QRadioButton>("rgAction1")->click();
    QString caption;
    WhenWaiting([&] {
        caption = W<QPushButton>("Button")->text();
        window.CloseStatus();
    });
    EXPECT_EQ(9, window.ShowStatus(psOK, "Backup completed", "ok", "", 0, 0));
    EXPECT_EQ(QStringLiteral("Done (5 s)"), caption);
    EXPECT_EQ(0, taskBar.back());
}

TEST_F(AnzeigeTest, CancelAsksThenStopsTheRunOrResumesIt)
{
    Open();
    QueueMsgDialogAnswer(mrNo);
    QTest::mouseClick(W<QPushButton>("Button"), Qt::LeftButton);
    EXPECT_FALSE(control.Stopped());
    EXPECT_FALSE(control.Paused());
    EXPECT_FALSE(window.Stopped);
    ASSERT_EQ(1u, MsgDialogLog().size());
    EXPECT_EQ("Do you really want to cancel the action?", MsgDialogLog()[0].Text);
    EXPECT_EQ(mbNo, MsgDialogLog()[0].DefaultButton);

    QueueMsgDialogAnswer(mrYes);
    QTest::keyClick(&window, Qt::Key_Escape);
    EXPECT_TRUE(control.Stopped());
    EXPECT_FALSE(control.CancelAll());
    EXPECT_TRUE(window.Stopped);
}

TEST_F(AnzeigeTest, CancelIsIgnoredOrRedirectedByTheRunState)
{
    const struct
    {
        const char* name;
        int lock;
        bool idle;
        bool stopWaiting;
    } cases[] = {{"a question of the run is open", 1, false, false},
                 {"waiting for an external program", 2, false, true},
                 {"backup at logoff or shutdown", 0, true, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        control.Reset();
        Open();
        control.SetLockStatus(c.lock);
        window.IdleBackup = c.idle;
        QTest::mouseClick(W<QPushButton>("Button"), Qt::LeftButton);
        EXPECT_FALSE(control.Stopped());
        EXPECT_FALSE(control.Paused());
        EXPECT_EQ(c.stopWaiting, control.TakeStopWaiting());
        EXPECT_TRUE(MsgDialogLog().empty());
        window.IdleBackup = false;
    }
}

TEST_F(AnzeigeTest, AnAutomaticTaskOffersCurrentAllOrContinue)
{
    const struct
    {
        const char* button;
        bool stopped, all;
    } cases[] = {{"Button0", true, false}, {"Button1", true, true}, {"CancelBtn", false, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.button);
        control.Reset();
        Open(ProgressOption(poBackup) | ProgressOption(poAutoTask));
        QString text;
        WhenModal([&](QWidget* w) {
            text = Find<QPushButton>(w, "CancelBtn")->text();
            QTest::mouseClick(Find<QPushButton>(w, c.button), Qt::LeftButton);
        });
        QTest::mouseClick(W<QPushButton>("Button"), Qt::LeftButton);
        EXPECT_EQ(QStringLiteral("Continue"), text);
        EXPECT_EQ(c.stopped, control.Stopped());
        EXPECT_EQ(c.all, control.CancelAll());
        EXPECT_EQ(c.stopped, window.Stopped.load());
        if (!c.stopped) {
            EXPECT_FALSE(control.Paused());
        }
    }
}

TEST_F(AnzeigeTest, PauseHoldsTheRunAndDisablesCancelUntilResumed)
{
    Open();
    auto* pause = W<QPushButton>("PauseBtn");
    auto* cancel = W<QPushButton>("Button");
    ASSERT_TRUE(pause->isVisible());
    QTest::mouseClick(pause, Qt::LeftButton);
    EXPECT_TRUE(control.Paused());
    EXPECT_TRUE(window.Paused);
    EXPECT_FALSE(cancel->isEnabled());
    EXPECT_EQ(QStringLiteral("Continue"), pause->toolTip());
    EXPECT_EQ(8, taskBar.back());
    // A question of the run is open: Pause does nothing.
    control.SetLockStatus(1);
    QTest::mouseClick(pause, Qt::LeftButton);
    EXPECT_TRUE(control.Paused());
    control.SetLockStatus(0);
    QTest::mouseClick(pause, Qt::LeftButton);
    EXPECT_FALSE(control.Paused());
    EXPECT_TRUE(cancel->isEnabled());
    EXPECT_EQ(2, taskBar.back());
}

TEST_F(AnzeigeTest, AHiddenRunStillFeedsTheTaskbar)
{
    std::vector<std::pair<int, int>> progress;
    window.OnTaskBarProgress = [&](int pos, int max) { progress.emplace_back(pos, max); };
    Open(ProgressOption(poBackup), -1);
    EXPECT_FALSE(window.isVisible());
    window.SetTotalProgress(37);
    ASSERT_TRUE(WaitFor([&] { return !progress.empty() && progress.back().first == 37; }))
        << "the taskbar never got the progress";
    EXPECT_EQ(std::make_pair(37, 100), progress.back());
    EXPECT_EQ(1, taskBar.front());
    EXPECT_EQ(1, window.Terminate());
    EXPECT_EQ(0, taskBar.back());
}

TEST_F(AnzeigeTest, AnExceptionInARefreshIsReportedAndTheWindowGoesOn)
{
    Open();
    int calls = 0;
    window.OnRefresh = [&] {
        if (++calls == 1)
            throw std::runtime_error("refresh failed");
    };
    QueueMsgDialogAnswer(mrOk);
    // the timer goes on after the failure
    EXPECT_TRUE(WaitFor([&] { return calls >= 2; }));
    window.OnRefresh = nullptr;
    ASSERT_FALSE(MsgDialogLog().empty());
    EXPECT_EQ("refresh failed", MsgDialogLog()[0].Text);
}

class AnzeigeIniTest : public SandboxTest
{
};

TEST_F(AnzeigeIniTest, PositionAndWidthSurviveInTheSettingsFile)
{
    const std::string ini = sandbox.Path("Vastrel.ini");
    {
        TUnicodeIniFile f = TUnicodeIniFile::CreateForWrite(ini, false);
        f.WriteInteger("StatusWindow", "Left", 120);
        f.WriteInteger("StatusWindow", "Top", 80);
        f.WriteInteger("StatusWindow", "Width", 700);
        f.UpdateFile();
    }
    {
        TZeigFortschritt window;
        window.LoadFromIni(ini);
        EXPECT_EQ(700, window.width());
        window.ResetSize();
        window.SaveToIni();
    }
    TUnicodeIniFile f = TUnicodeIniFile::CreateForRead(ini);
    EXPECT_EQ(120, f.ReadInteger("StatusWindow", "Left", 0));
    EXPECT_EQ(80, f.ReadInteger("StatusWindow", "Top", 0));
    EXPECT_EQ(50, f.ReadInteger("StatusWindow", "Left2", 0));
    EXPECT_LT(f.ReadInteger("StatusWindow", "Width", 0), 700);
    // A width below half the window's is not taken.
    {
        TUnicodeIniFile w = TUnicodeIniFile::CreateForWrite(ini, false);
        w.WriteInteger("StatusWindow", "Width", 100);
        w.UpdateFile();
    }
    TZeigFortschritt window;
    const int before = window.width();
    window.LoadFromIni(ini);
    EXPECT_EQ(before, window.width());
}

// ---- pictures

void ShowRunning(TZeigFortschritt& w, TRunControl& control)
{
    w.WriteVersion("Vastrel - 64-bit (6.0.0.0)", "User name: anna");
    w.ShowProgress(&control, "Backup task: Documents (F)", "Destination", "/media/anna/BACKUP/Documents",
                   ProgressOption(poBackup) | ProgressOption(poAction) | ProgressOption(poPause) |
                       ProgressOption(poMinimize),
                   0, 0, false);
    w.UpdatePrompt(ssFile, "", "/home/anna/Documents/Projects/2026/Quarterly report with figures.odt",
                   3 * 1024 * 1024);
    w.SetAction(acCopy);
    w.SetStepProgress(64);
    w.SetTotalAmount("1,284 files");
    w.SetTotalProgress(37);
    w.WriteStatus(1, "475 of 1,284 files copied (1.20 GB of 3.41 GB)");
    w.SetSpeed("42.7 MB/s");
    w.SetElapsedTime((2 * 60 + 41) / 86400.0);
    w.UpdateView();
}

const TScreenshotShow runningShot("progress-running", [](const TScreenshotSaver& save) {
    TRunControl control;
    TZeigFortschritt w;
    ShowRunning(w, control);
    save(&w);
    w.CloseView();
});

const TScreenshotShow resultShot("progress-result", [](const TScreenshotSaver& save) {
    TRunControl control;
    TZeigFortschritt w;
    ShowRunning(w, control);
    QTimer::singleShot(0, [&] {
        save(&w);
        w.CloseStatus();
    });
    w.ShowStatus(psError, "Backup completed", "2 errors during backup - 1,282 of 1,284 files copied", "",
                 clRed, 0);
});

} // namespace
