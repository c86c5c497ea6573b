#include <atomic>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>

#include "archive/ExtFileTools.h"
#include "backup/CopyThreadRunner.h"
#include "support/Sandbox.h"
#include "support/WaitFor.h"

namespace fs = std::filesystem;

namespace {

// A worker whose work is given by the test. Its destructor raises a flag that outlives the object, so
// that a test sees a worker that was given up end and free itself.
class TScriptedWorker : public TCopyThread
{
public:
    explicit TScriptedWorker(std::function<int(TScriptedWorker&)> body)
        : TCopyThread("", "", true, 16), FBody(std::move(body))
    {
    }
    ~TScriptedWorker() override
    {
        if (Freed)
            *Freed = true;
    }
    using TCopyThread::DoProgress;
    using TCopyThread::IsCancelled;
    using TCopyThread::WaitIfPaused;
    std::shared_ptr<std::atomic<bool>> Freed = std::make_shared<std::atomic<bool>>(false);

protected:
    void Execute() override { Finish(FBody(*this)); }

private:
    std::function<int(TScriptedWorker&)> FBody;
};

class CopyThreadRunnerTest : public SandboxTest
{
protected:
    void SetUp() override
    {
        // a watchdog clock that moves 50 ms at every look: one tick per pass of the wait
        runner.WatchdogClock = [clock = clock] { return *clock += 50; };
        runner.FullSpeed = false;
        runner.Sleep = [](int) {};
    }
    // The number of watchdog passes so far.
    uint64_t Passes() const { return clock->load() / 50; }

    std::unique_ptr<TCopyThread> Start(std::function<int(TScriptedWorker&)> body,
                                       TScriptedWorker** raw = nullptr)
    {
        auto worker = std::make_unique<TScriptedWorker>(std::move(body));
        if (raw)
            *raw = worker.get();
        worker->SetOnProgress(runner.ProgressHandler());
        worker->Start();
        return worker;
    }

    // shared with workers that may outlive a test after they were given up
    std::shared_ptr<std::atomic<uint64_t>> clock = std::make_shared<std::atomic<uint64_t>>(0);
    TRunControl control;
    THeadlessProgress progress;
    TCopyThreadRunner runner{control, progress};
};

TEST_F(CopyThreadRunnerTest, ASilentWorkerIsGivenUpAtTheTimeOutAndEndsByItselfLater)
{
    runner.CopyTimeout = 2; // more than 40 silent ticks
    TEvent release(true, false);
    TScriptedWorker* raw = nullptr;
    auto thread = Start(
        [&](TScriptedWorker&) {
            release.WaitFor(INFINITE); // a call that hangs and ignores the cancel flag
            return 0;
        },
        &raw);
    auto freed = raw->Freed;
    std::string errText;
    int ratio = 0;
    EXPECT_EQ(runner.WaitForCopyThread(thread, errText, ratio), CopyTimeoutError);
    EXPECT_EQ(thread, nullptr);
    EXPECT_TRUE(runner.LastAbandoned());
    EXPECT_TRUE(errText.empty());
    EXPECT_GT(Passes(), 40u);
    EXPECT_FALSE(*freed);
    release.SetEvent();
    EXPECT_TRUE(WaitFor([&] { return freed->load(); }));
}

TEST_F(CopyThreadRunnerTest, WithoutTimeOutAWorkerIsNeverGivenUpHoweverLongItIsSilent)
{
    for (int timeout : {0, 1}) {
        *clock = 0;
        runner.CopyTimeout = timeout;
        auto thread = Start([clock = clock](TScriptedWorker& w) {
            while (!w.IsCancelled() && clock->load() / 50 < 500)
                std::this_thread::yield();
            return 0;
        });
        std::string errText;
        int ratio = 0;
        int result = runner.WaitForCopyThread(thread, errText, ratio);
        if (timeout == 0)
            EXPECT_EQ(result, 0);
        else
            EXPECT_EQ(result, CopyTimeoutError);
    }
}

TEST_F(CopyThreadRunnerTest, ReportsKeepAWorkerAliveAndAPausedWorkerNeverTimesOut)
{
    // the watchdog's time passes only as far as the worker allows, or while the run is paused, so
    // that the silences are exact whatever the scheduling
    std::atomic<int> budget{0};
    runner.WatchdogClock = [&] {
        if (budget > 0) {
            --budget;
            *clock += 50;
        }
        return clock->load();
    };
    runner.CopyTimeout = 1; // 20 ticks of silence
    control.SetPaused(true);
    runner.OnIdle = [&] {
        if (!control.Paused())
            return;
        *clock += 50;
        if (Passes() > 300)
            control.SetPaused(false);
    };
    int reports = 0;
    auto thread = Start([&](TScriptedWorker& w) {
        w.DoProgress(acCopy, false, -1000);
        for (int i = 0; i < 1000 && !w.IsCancelled(); i += 10) {
            w.WaitIfPaused();
            budget = 5; // a little silence between reports
            while (budget > 0 && !w.IsCancelled())
                std::this_thread::yield();
            w.DoProgress(acCopy, true, i + 10);
            ++reports;
        }
        return 0;
    });
    std::string errText;
    int ratio = 0;
    EXPECT_EQ(runner.WaitForCopyThread(thread, errText, ratio), 0);
    EXPECT_EQ(reports, 100);
    EXPECT_GT(Passes(), 300u);
}

TEST_F(CopyThreadRunnerTest, ACancelEndsTheWorkerWithTheUserBreakWord)
{
    runner.OnIdle = [this] {
        if (Passes() == 10)
            control.Cancel(false);
    };
    auto thread = Start([](TScriptedWorker& w) {
        while (!w.IsCancelled())
            std::this_thread::yield();
        return 128;
    });
    std::string errText;
    int ratio = 0;
    EXPECT_EQ(runner.WaitForCopyThread(thread, errText, ratio) & 0xFF, 128);
    EXPECT_FALSE(runner.LastAbandoned());
}

TEST_F(CopyThreadRunnerTest, TheSpeedLimitHoldsTheWorkerAndTheTickCounterMayWrap)
{
    uint32_t tick = 0xFFFFFF00u; // wraps during the test
    int sleeps = 0;
    runner.TickCount = [&] { return tick; };
    runner.Sleep = [&](int ms) {
        ++sleeps;
        tick += static_cast<uint32_t>(ms);
    };
    runner.MaxRate = 1000; // kByte/s
    runner.CopyProgress(acCopy, -4000000, false);
    runner.CopyProgress(acCopy, 2000000, true);
    // twice 2,000,000 bytes / 1000 kByte/s: the report returns after 4000 ms
    EXPECT_GE(tick - 0xFFFFFF00u, 4000u);
    EXPECT_LT(tick - 0xFFFFFF00u, 4010u);

    // no limit, or a report without the flag: no waiting
    for (auto [rate, flag] : {std::pair{0, true}, std::pair{1000, false}}) {
        runner.MaxRate = rate;
        sleeps = 0;
        runner.CopyProgress(acCopy, -100, false);
        runner.CopyProgress(acCopy, 50, flag);
        EXPECT_EQ(sleeps, 0);
    }
}

TEST_F(CopyThreadRunnerTest, TheSpeedLeavesPausesOut)
{
    uint32_t tick = 1000;
    runner.TickCount = [&] { return tick; };
    runner.CopyProgress(acCopy, -10000000, false);
    tick += 1000;
    runner.CopyProgress(acCopy, 1000000, true);
    EXPECT_EQ(runner.CopySpeed, 1000000); // 1000 bytes per ms
    runner.SuspTime = 1000;               // a pause of one second in the next interval
    tick += 2000;
    runner.CopyProgress(acCopy, 2000000, true);
    EXPECT_EQ(runner.CopySpeed, 1000000);
}

TEST_F(CopyThreadRunnerTest, RunCopyThreadStartsACopyAndTellsTheBytesMoved)
{
    std::string src = sandbox.Path("in.bin");
    std::string dst = sandbox.Path("out.bin");
    std::ofstream(src, std::ios::binary) << std::string(300000, 'x');
    std::unique_ptr<TCopyThread> thread =
        std::make_unique<TWinCopyThread>(src, dst, nullptr, TCopyOptions{}, true, 65536);
    runner.FullSpeed = true;
    int err = -1;
    std::string errText;
    int64_t size = 0;
    runner.RunCopyThread(thread, err, errText, size);
    EXPECT_EQ(err, 0);
    EXPECT_EQ(size, 300000);
    EXPECT_EQ(thread, nullptr);
    EXPECT_EQ(fs::file_size(dst), 300000u);
}

} // namespace
