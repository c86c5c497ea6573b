// The progress window following real backup runs of the engine on their own thread.
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <mutex>
#include <thread>
#include <vector>

#include "backup/BackupRun.h"
#include "backup/CopyLoop.h"
#include "backup/RunTestUtil.h"
#include "backup/gui/Anzeige.h"
#include "backup/gui/ProgressSink.h"
#include "foundation/gui/ShowMessageDlg.h"
#include "support/Files.h"
#include "support/ThreadState.h"
#include "support/WaitFor.h"
#include "support/gui/GuiTestUtil.h"

namespace fs = std::filesystem;

namespace {

constexpr int FileTotal = 60;

// The window's progress that can hold the run when the total reaches one of the given values, until
// the test lets it go on.
class THoldingProgress : public TWindowProgress
{
public:
    using TWindowProgress::TWindowProgress;
    void SetTotalProgress(int value) override
    {
        TWindowProgress::SetTotalProgress(value);
        std::unique_lock<std::mutex> lock(FMutex);
        if (FNext < HoldAt.size() && value >= HoldAt[FNext]) {
            ++FNext;
            FHeld = true;
            FChanged.notify_all();
            FChanged.wait(lock, [this] { return !FHeld || FAbandoned; });
        }
    }
    bool Held()
    {
        std::lock_guard<std::mutex> lock(FMutex);
        return FHeld;
    }
    void Release()
    {
        std::lock_guard<std::mutex> lock(FMutex);
        FHeld = false;
        FChanged.notify_all();
    }
    void Abandon()
    {
        std::lock_guard<std::mutex> lock(FMutex);
        FAbandoned = true;
        FChanged.notify_all();
    }
    std::vector<int> HoldAt;

private:
    std::mutex FMutex;
    std::condition_variable FChanged;
    size_t FNext = 0;
    bool FHeld = false;
    bool FAbandoned = false;
};

class ProgressRunTest : public runtest::RunFrameTest
{
protected:
    void SetUp() override
    {
        RunFrameTest::SetUp();
        ProgSettings.ViewSettings.PlaySound = false;
        ProgSettings.ViewSettings.AutoWaitTime = 0; // the result view waits for the user
        ClearMsgDialogLog();
        for (int i = 0; i < FileTotal; ++i) {
            const std::string name =
                sandbox.Path("src/d" + std::to_string(i % 3) + "/f" + std::to_string(i) + ".txt");
            fs::create_directories(fs::path(name).parent_path());
            std::ofstream(name, std::ios::binary)
                << std::string(100 + i * 37, static_cast<char>('a' + i % 26));
        }
        AttachCopyLoop(engine, loop);
        // What the window shows at every refresh of its timer.
        window.OnRefresh = [this] {
            shown.push_back(Find<TNewProgressBar>(&window, "GesamtBalken")->Position());
        };
        // The result view: note what it shows, then press Done.
        resultWatch.setInterval(10);
        QObject::connect(&resultWatch, &QTimer::timeout, [this] {
            auto* button = Find<QPushButton>(&window, "Button");
            if (!window.isVisible() || !button->text().startsWith(QStringLiteral("Done")) || resultSeen)
                return;
            resultSeen = true;
            resultTotal = Find<TNewProgressBar>(&window, "GesamtBalken")->Position();
            resultStatus = Find<QLabel>(&window, "StatusLabel1")->text().toStdString();
            QTest::mouseClick(button, Qt::LeftButton);
        });
    }
    void TearDown() override
    {
        progress.Abandon();
        control.Cancel(true);
        if (runner.joinable()) {
            WaitFor([this] { return done.load(); }, std::chrono::minutes(1));
            runner.join();
        }
        ClearMsgDialogLog();
        RunFrameTest::TearDown();
    }
    std::string Task()
    {
        const std::string path = sandbox.Path("tasks/t.buj");
        fs::create_directories(sandbox.Path("tasks"));
        std::ofstream(path) << "[Global]\nDestination=" << sandbox.Path("dest")
                            << "\nDirCount=1\n[Dir000]\nSource=" << sandbox.Path("src")
                            << "\nBackupMode=1\nFileCount=" << FileTotal << "\n";
        return path;
    }
    void Start()
    {
        resultWatch.start();
        const std::string task = Task();
        runner = std::thread([this, task] {
            runThread = CurrentThreadId();
            result = engine.DoBackupJob(0, iaDelay, 3, task);
            done = true;
        });
    }
    // Serves the window until the run holds or ends (false after a minute without either).
    bool WaitUntilHeldOrDone()
    {
        return WaitFor([this] { return done || progress.Held(); }, std::chrono::minutes(1));
    }
    // Serves the window until the run has ended.
    void WaitUntilDone()
    {
        ASSERT_TRUE(WaitFor([this] { return done.load(); }, std::chrono::minutes(1)));
        runner.join();
    }
    // Serves the window until the paused run waits: its thread is blocked three times in a row with the
    // same number of copied files. A run that went on would copy files or stop at its next hold.
    bool WaitUntilPausedRunWaits()
    {
        int blockedInARow = 0;
        int lastCopied = -1;
        return WaitFor(
            [&] {
                const int copied = CopiedFiles();
                blockedInARow = ThreadIsBlocked(runThread) && copied == lastCopied ? blockedInARow + 1 : 0;
                lastCopied = copied;
                return blockedInARow >= 3 || done || progress.Held();
            },
            std::chrono::minutes(1));
    }
    int CopiedFiles() const
    {
        int n = 0;
        if (fs::exists(sandbox.Path("dest")))
            for (const auto& e : fs::recursive_directory_iterator(sandbox.Path("dest")))
                if (e.is_regular_file() && e.path().extension() == ".txt")
                    ++n;
        return n;
    }
    static bool NeverBackwards(const std::vector<int>& values)
    {
        return std::is_sorted(values.begin(), values.end());
    }

    TZeigFortschritt window;
    TRunControl control;
    THoldingProgress progress{window, &control};
    TWindowInteraction dialogs{window};
    TBackupEngine engine{host, dialogs, progress, control, log};
    TCopyLoop loop{engine.Task, log, control, progress, dialogs};
    std::thread runner;
    std::atomic<pid_t> runThread{0};
    std::atomic<bool> done{false};
    TBuResult result = brOK;
    std::vector<int> shown;
    QTimer resultWatch;
    bool resultSeen = false;
    int resultTotal = -1;
    std::string resultStatus;
};

TEST_F(ProgressRunTest, TheWindowFollowsARunForwardToItsResult)
{
    progress.HoldAt = {30};
    Start();
    ASSERT_TRUE(WaitUntilHeldOrDone());
    ASSERT_FALSE(done);
    // the window refreshes while the run stands at 30 %
    EXPECT_TRUE(
        WaitFor([this] { return std::any_of(shown.begin(), shown.end(), [](int v) { return v >= 30; }); }));
    progress.Release();
    WaitUntilDone();

    std::string frames;
    for (int v : shown)
        frames += std::to_string(v) + " ";
    RecordProperty("TotalBarAtEachRefresh", frames);
    EXPECT_EQ(brOK, result);
    EXPECT_TRUE(resultSeen);
    EXPECT_EQ(100, resultTotal);
    EXPECT_NE(std::string::npos, resultStatus.find("60 of 60 files copied")) << resultStatus;
    EXPECT_TRUE(NeverBackwards(shown)) << frames;
    EXPECT_TRUE(std::any_of(shown.begin(), shown.end(), [](int v) { return v >= 30 && v < 100; })) << frames;
    EXPECT_EQ(FileTotal, CopiedFiles());
    EXPECT_EQ(0, host.FExitState);
    EXPECT_FALSE(window.isVisible());
}

TEST_F(ProgressRunTest, PauseHoldsTheRunAndCancelEndsItAsCancelled)
{
    progress.HoldAt = {10, 50};
    Start();
    ASSERT_TRUE(WaitUntilHeldOrDone());
    ASSERT_FALSE(done);
    // Pause while the run stands at 10 %; after that it copies at most the file in hand.
    QTest::mouseClick(Find<QPushButton>(&window, "PauseBtn"), Qt::LeftButton);
    EXPECT_TRUE(control.Paused());
    progress.Release();
    ASSERT_TRUE(WaitUntilPausedRunWaits());
    const int whilePaused = CopiedFiles();
    EXPECT_FALSE(done);
    EXPECT_FALSE(progress.Held());
    EXPECT_LT(whilePaused, FileTotal / 2);
    const int pausedTotal = window.Snapshot().Total;
    EXPECT_LT(pausedTotal, 50);

    // Resume: the run goes on up to 50 %, where the user cancels.
    QTest::mouseClick(Find<QPushButton>(&window, "PauseBtn"), Qt::LeftButton);
    EXPECT_FALSE(control.Paused());
    ASSERT_TRUE(WaitUntilHeldOrDone());
    ASSERT_FALSE(done);
    EXPECT_GT(CopiedFiles(), whilePaused);
    QueueMsgDialogAnswer(mrYes);
    QTest::mouseClick(Find<QPushButton>(&window, "Button"), Qt::LeftButton);
    EXPECT_TRUE(control.Stopped());
    progress.Release();
    WaitUntilDone();

    EXPECT_EQ(brError, result);
    EXPECT_EQ(bsCanceled, engine.BuStatus);
    EXPECT_TRUE(resultSeen);
    EXPECT_GE(resultTotal, 50);
    EXPECT_LT(resultTotal, 100);
    EXPECT_NE(std::string::npos, resultStatus.find("Canceled by user")) << resultStatus;
    EXPECT_LT(CopiedFiles(), FileTotal);
    EXPECT_EQ(5, host.FExitState);
    EXPECT_TRUE(NeverBackwards(shown));
}

} // namespace
