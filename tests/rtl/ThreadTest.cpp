#include <atomic>
#include <chrono>
#include <csignal>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "rtl/SysUtils.h"
#include "rtl/Thread.h"

namespace {

// A thread that runs a function given by the test.
class LambdaThread : public TThread
{
public:
    explicit LambdaThread(std::function<void(LambdaThread&)> body, bool createSuspended = true,
                          TEvent* destroyed = nullptr)
        : TThread(createSuspended), FBody(std::move(body)), FDestroyed(destroyed)
    {
    }
    ~LambdaThread() override
    {
        Terminate();
        WaitFor();
        if (FDestroyed != nullptr)
            FDestroyed->SetEvent();
    }
    using TThread::Synchronize;
    bool IsTerminated() const { return Terminated(); }

protected:
    void Execute() override { FBody(*this); }

private:
    std::function<void(LambdaThread&)> FBody;
    TEvent* FDestroyed;
};

TEST(Event, ManualAndAutoResetEvents)
{
    TEvent manual(true, false);
    EXPECT_EQ(manual.WaitFor(0), wrTimeout);
    manual.SetEvent();
    EXPECT_EQ(manual.WaitFor(0), wrSignaled);
    EXPECT_EQ(manual.WaitFor(INFINITE), wrSignaled);
    EXPECT_TRUE(manual.IsSet());
    manual.ResetEvent();
    EXPECT_FALSE(manual.IsSet());

    TEvent automatic(false, true);
    EXPECT_EQ(automatic.WaitFor(0), wrSignaled);
    EXPECT_EQ(automatic.WaitFor(0), wrTimeout);

    // A waiter on another thread is woken by SetEvent.
    TEvent go;
    TEvent seen;
    std::thread waiter([&] {
        if (go.WaitFor() == wrSignaled)
            seen.SetEvent();
    });
    go.SetEvent();
    EXPECT_EQ(seen.WaitFor(), wrSignaled);
    waiter.join();
}

TEST(Thread, RunsExecuteAfterStartAndReturnsItsValue)
{
    TEvent ran;
    LambdaThread thread([&](LambdaThread& self) {
        self.ReturnValue = 42;
        ran.SetEvent();
    });
    EXPECT_FALSE(thread.Started());
    EXPECT_FALSE(ran.IsSet());
    thread.Start();
    EXPECT_THROW(thread.Start(), Exception);
    EXPECT_EQ(thread.WaitFor(), 42);
    EXPECT_TRUE(thread.Finished());
    EXPECT_TRUE(ran.IsSet());
    EXPECT_FALSE(thread.FatalException);
}

TEST(Thread, SynchronizeRunsOnTheOwnerAndWaitsForIt)
{
    const std::thread::id owner = std::this_thread::get_id();
    std::vector<std::string> steps; // touched by the worker only while the owner waits, and vice versa
    std::thread::id ranOn;
    LambdaThread thread([&](LambdaThread& self) {
        steps.push_back("before");
        self.Synchronize([&] {
            ranOn = std::this_thread::get_id();
            steps.push_back("synchronized");
        });
        steps.push_back("after");
    });
    thread.Start();
    while (!thread.Finished())
        TThread::CheckSynchronize(50);
    thread.WaitFor();
    EXPECT_EQ(ranOn, owner);
    EXPECT_EQ(steps, (std::vector<std::string>{"before", "synchronized", "after"}));

    // On the owner a Synchronize runs at once.
    bool direct = false;
    TThread::Synchronize(&thread, [&] { direct = true; });
    EXPECT_TRUE(direct);
    TThread::Synchronize(nullptr, [&] { direct = false; });
    EXPECT_FALSE(direct);
}

TEST(Thread, WaitForOnTheOwnerServesSynchronizeCalls)
{
    std::atomic<int> served{0};
    LambdaThread thread([&](LambdaThread& self) {
        for (int i = 0; i < 5; ++i)
            self.Synchronize([&] { ++served; });
    });
    thread.Start();
    thread.WaitFor();
    EXPECT_EQ(served.load(), 5);
}

TEST(Thread, ExceptionsReachTheirThreads)
{
    std::string caught;
    LambdaThread thread([&](LambdaThread& self) {
        try {
            self.Synchronize([] { throw std::runtime_error("from the owner"); });
        } catch (const std::runtime_error& e) {
            caught = e.what();
        }
        throw std::logic_error("from Execute");
    });
    thread.Start();
    thread.WaitFor();
    EXPECT_EQ(caught, "from the owner");
    ASSERT_TRUE(thread.FatalException);
    EXPECT_THROW(std::rethrow_exception(thread.FatalException), std::logic_error);
}

TEST(Thread, ANonSuspendedThreadStartsOnceConstructionIsComplete)
{
    TEvent ran;
    std::string seen;
    class Named : public TThread
    {
    public:
        Named(std::string name, std::string& seen, TEvent& ran)
            : TThread(false), FName(std::move(name)), FSeen(seen), FRan(ran)
        {
        }
        ~Named() override { WaitFor(); }

    protected:
        void Execute() override
        {
            FSeen = FName;
            FRan.SetEvent();
        }

    private:
        std::string FName;
        std::string& FSeen;
        TEvent& FRan;
    };
    Named thread("complete", seen, ran);
    TThread::CheckSynchronize();
    EXPECT_EQ(ran.WaitFor(), wrSignaled);
    thread.WaitFor();
    EXPECT_EQ(seen, "complete");

    // WaitFor starts it too.
    TEvent ran2;
    std::string seen2;
    Named other("waited", seen2, ran2);
    other.WaitFor();
    EXPECT_EQ(seen2, "waited");
}

TEST(Thread, FreeOnTerminateDeletesTheObject)
{
    TEvent destroyed;
    auto* thread = new LambdaThread([](LambdaThread&) {}, true, &destroyed);
    thread->FreeOnTerminate = true;
    thread->Start();
    EXPECT_EQ(destroyed.WaitFor(), wrSignaled);
}

TEST(Thread, AbandonLetsARunningThreadDeleteItselfAtItsEnd)
{
    TEvent gate;
    TEvent entered;
    TEvent destroyed;
    std::atomic<bool> sawTerminated{false};
    auto* thread = new LambdaThread(
        [&](LambdaThread& self) {
            entered.SetEvent();
            gate.WaitFor();
            sawTerminated = self.IsTerminated();
        },
        true, &destroyed);
    thread->Start();
    entered.WaitFor();
    thread->Abandon();
    EXPECT_FALSE(destroyed.IsSet());
    gate.SetEvent();
    EXPECT_EQ(destroyed.WaitFor(), wrSignaled);
    EXPECT_TRUE(sawTerminated);

    // A thread that never started is deleted at once.
    TEvent destroyedAtOnce;
    auto* idle = new LambdaThread([](LambdaThread&) {}, true, &destroyedAtOnce);
    idle->Abandon();
    EXPECT_TRUE(destroyedAtOnce.IsSet());
}

TEST(Thread, DestructorTerminatesAndWaits)
{
    TEvent entered;
    std::atomic<bool> ended{false};
    {
        LambdaThread thread([&](LambdaThread& self) {
            entered.SetEvent();
            TEvent never;
            while (!self.IsTerminated())
                never.WaitFor(1);
            ended = true;
        });
        thread.Start();
        entered.WaitFor();
    }
    EXPECT_TRUE(ended);
}

TEST(Thread, SynchronizeRunsAtOnceWhenTheOwnerHasEnded)
{
    LambdaThread* thread = nullptr;
    std::thread::id ranOn;
    std::thread::id workerId;
    std::thread owner([&] {
        thread = new LambdaThread([&](LambdaThread& self) {
            workerId = std::this_thread::get_id();
            self.Synchronize([&] { ranOn = std::this_thread::get_id(); });
        });
    });
    owner.join();
    thread->Start();
    EXPECT_TRUE(thread->WaitFor(INFINITE - 1));
    EXPECT_EQ(ranOn, workerId);
    delete thread;
}

TEST(Thread, ThreadsOwnedByAnEndedThreadSynchronizeOnThemselves)
{
    // The system thread of an ended run goes on with other runs; what the ended run owned must behave
    // as after the end of a thread: a child's Synchronize runs at once instead of waiting for an owner
    // that will never serve it.
    LambdaThread* child = nullptr;
    std::thread::id childId;
    std::thread::id ranOn;
    {
        LambdaThread parent([&](LambdaThread&) {
            child = new LambdaThread([&](LambdaThread& self) {
                childId = std::this_thread::get_id();
                self.Synchronize([&] { ranOn = std::this_thread::get_id(); });
            });
        });
        parent.Start();
        parent.WaitFor();
    }
    for (int i = 0; i < 3; ++i) {
        LambdaThread other([](LambdaThread&) {});
        other.Start();
        other.WaitFor();
    }
    ASSERT_NE(child, nullptr);
    child->Start();
    bool ended = child->WaitFor(10000);
    EXPECT_TRUE(ended);
    EXPECT_EQ(ranOn, childId);
    if (ended)
        delete child;
    else
        child->Abandon();
}

TEST(Thread, ManyShortThreadsRunOneAfterAnotherAndSideBySide)
{
    std::atomic<int> runs{0};
    for (int i = 0; i < 50; ++i) {
        LambdaThread thread([&](LambdaThread&) { ++runs; });
        thread.Start();
        EXPECT_TRUE(thread.WaitFor(10000));
    }
    std::vector<std::unique_ptr<LambdaThread>> threads;
    for (int i = 0; i < 20; ++i) {
        threads.push_back(std::make_unique<LambdaThread>([&](LambdaThread&) { ++runs; }));
        threads.back()->Start();
    }
    threads.clear(); // the destructors wait
    EXPECT_EQ(runs.load(), 70);
}

TEST(Thread, AForkedChildRunsThreadsOfItsOwn)
{
    // the parent leaves system threads waiting for the next run; the child has none of them
    for (int i = 0; i < 3; ++i) {
        LambdaThread thread([](LambdaThread&) {});
        thread.Start();
        thread.WaitFor();
    }
    pid_t pid = ::fork();
    if (pid == 0) {
        std::atomic<bool> ran{false};
        LambdaThread thread([&](LambdaThread&) { ran = true; });
        thread.Start();
        bool ended = thread.WaitFor(10000);
        ::_exit(ended && ran ? 0 : 1);
    }
    ASSERT_GT(pid, 0);
    int status = 0;
    for (int i = 0; i < 1500 && ::waitpid(pid, &status, WNOHANG) == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (::waitpid(pid, &status, WNOHANG) == 0) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
        FAIL() << "the child's thread never ran";
    }
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

} // namespace
