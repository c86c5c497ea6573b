// The single-instance rule: the request record, the lock and socket of the first instance, the
// hand-over and its answers, what a dead or closing instance leaves behind, and the role of a start.

#include <gtest/gtest.h>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "mainwindow/BuMainInstance.h"
#include "support/Files.h"
#include "support/Sandbox.h"

namespace {

class InstanceTest : public SandboxTest
{
protected:
    std::string Dir() const { return sandbox.Path("") + "/"; }
    std::string SocketPath() const { return Dir() + "Vastrel-" + std::to_string(getuid()) + ".sock"; }
};

TEST(HandOverRecordTest, RequestsSurviveTheirBytesAndBrokenBytesAreRefused)
{
    THandOver in;
    in.Mode = hmRun;
    in.Dir = "/home/u/with blank";
    in.Args = {"Vastrel", "/force", "line\nbreak,comma:colon.buj", ""};
    THandOver out;
    ASSERT_TRUE(DecodeHandOver(EncodeHandOver(in), out));
    EXPECT_EQ(out.Mode, hmRun);
    EXPECT_EQ(out.Dir, in.Dir);
    EXPECT_EQ(out.Args, in.Args);

    const std::string good = EncodeHandOver(in);
    for (const std::string& bad :
         std::vector<std::string>{std::string(), good.substr(0, good.size() - 1), good + "x",
                                  "18:VASTREL-INSTANCE-2,1:3,0:,0:,", "18:VASTREL-INSTANCE-1,1:7,0:,0:,",
                                  "18:VASTREL-INSTANCE-1,1:0,0:,9:,", "18:VASTREL-INSTANCE-1,1:0,0:,2:1x,"})
        EXPECT_FALSE(DecodeHandOver(bad, out)) << bad;
}

TEST_F(InstanceTest, TheSecondStartHandsOverAndEndsWithTheAnswerOfTheFirst)
{
    uint32_t code = 0;
    auto first = TInstanceServer::TryCreate(Dir(), code);
    ASSERT_TRUE(first) << code;
    EXPECT_FALSE(TInstanceServer::TryCreate(Dir(), code));
    EXPECT_EQ(code, 33u);

    struct Case
    {
        const char* answer; // what the first instance does
        THandOverResult result;
        int exitCode;
    } cases[] = {{"finish", hoDone, 4}, {"refuse", hoRefused, 0}, {"drop", hoLost, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.answer);
        THandOver request;
        request.Mode = hmRun;
        request.Dir = "/work";
        request.Args = {"Vastrel", "/force", "/t/a.buj"};
        THandOverResult result = hoNoInstance;
        int exitCode = -1;
        std::thread second([&] { result = HandOver(Dir(), request, exitCode); });
        std::unique_ptr<TInstanceRequest> got;
        for (int i = 0; i < 2000 && !got; ++i) {
            got = first->Accept();
            if (!got)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        ASSERT_TRUE(got);
        EXPECT_EQ(got->Data.Args, request.Args);
        EXPECT_EQ(got->Data.Dir, "/work");
        if (std::string(c.answer) == "finish") {
            got->Acknowledge();
            got->Finish(4);
        } else if (std::string(c.answer) == "refuse") {
            got->Refuse();
        } else {
            got->Acknowledge();
            got.reset();
        }
        second.join();
        EXPECT_EQ(result, c.result);
        EXPECT_EQ(exitCode, c.exitCode);
    }

    // A connection from a stranger that sends nothing complete is dropped without blocking for long.
    first->Close();
    int exitCode = -1;
    EXPECT_EQ(HandOver(Dir(), THandOver{}, exitCode, 200), hoNoInstance);
}

TEST_F(InstanceTest, WhatADeadOrClosingInstanceLeavesNeverBlocksAStart)
{
    // A crashed first instance: its lock went with the process, its socket file stays.
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        uint32_t code = 0;
        auto dying = TInstanceServer::TryCreate(Dir(), code);
        _exit(dying ? 0 : 1); // no destructor runs: the socket file is left behind
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_EQ(WEXITSTATUS(status), 0);
    ASSERT_EQ(access(SocketPath().c_str(), F_OK), 0) << "the stale socket file is there";
    int exitCode = -1;
    EXPECT_EQ(HandOver(Dir(), THandOver{}, exitCode, 5000), hoNoInstance) << "no waiting for a dead instance";
    uint32_t code = 0;
    auto next = TInstanceServer::TryCreate(Dir(), code);
    ASSERT_TRUE(next) << code;

    // An instance that holds its lock but no longer listens (it is closing): the second start waits
    // for it, and stops waiting as soon as the lock is given up.
    std::thread closer([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        next.reset();
    });
    ::unlink(SocketPath().c_str());
    EXPECT_EQ(HandOver(Dir(), THandOver{}, exitCode, 60000), hoNoInstance);
    closer.join();
    EXPECT_TRUE(TInstanceServer::TryCreate(Dir(), code));
}

TEST(InstanceRoleTest, BatchEditorAndOwnSettingsRunBesideTheInstance)
{
    struct Case
    {
        uint8_t flags;
        std::string task;
        TInstanceRole role;
        bool send;
        THandOverMode mode;
    } cases[] = {
        {0, "", irInteractive, true, hmShow},
        {sfAuto, "", irInteractive, false, hmShow},
        {0, "/t/a.buj", irInteractive, true, hmControlPanel},
        {0, "/t/a.RSJ", irInteractive, true, hmEdit},
        {0, "/t/a.vfj", irInteractive, true, hmEdit},
        {sfBatch, "/t/a.buj", irSeparate, false, hmShow},
        {sfEdit, "/t/a.buj", irSeparate, false, hmShow},
        {sfOwnIni, "", irSeparate, false, hmShow},
        {sfEndAction | sfBatch, "/t/a.buj", irSeparate, false, hmShow},
    };
    for (const auto& c : cases) {
        bool send = false;
        THandOverMode mode = hmRun;
        EXPECT_EQ(ChooseInstanceRole(c.flags, TCmdLineValues{}, c.task, send, mode), c.role) << int(c.flags);
        EXPECT_EQ(send, c.send) << int(c.flags) << c.task;
        EXPECT_EQ(mode, c.mode) << int(c.flags) << c.task;
    }

    TCmdLineValues force;
    force.ForceTask = true;
    force.CmdTasks = "/t/a.buj";
    EXPECT_TRUE(CanHandOverBatch(sfBatch, force));
    EXPECT_FALSE(CanHandOverBatch(sfBatch | sfOwnIni, force)) << "a run with its own settings";
    TCmdLineValues child = force;
    child.QvInstance = 2;
    EXPECT_FALSE(CanHandOverBatch(sfBatch, child)) << "a parallel child";
    TCmdLineValues parallel = force;
    parallel.BuParallel = true;
    EXPECT_FALSE(CanHandOverBatch(sfBatch, parallel));
    TCmdLineValues standby = force;
    standby.SuspendMode = smStandby;
    EXPECT_FALSE(CanHandOverBatch(sfBatch, standby)) << "an end action belongs to its own process";
    TCmdLineValues slots = force;
    slots.CmdTasks.clear();
    EXPECT_FALSE(CanHandOverBatch(sfBatch, slots));
}

} // namespace
