// The guard of a run: which paths a deleting step may touch, and the steps of the engine's file
// operations that ask it.

#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "RunTestUtil.h"
#include "backup/EngineFileOps.h"
#include "backup/RunGuard.h"
#include "support/Files.h"
#include "support/Sandbox.h"
#include "support/TreeBuilder.h"

namespace fs = std::filesystem;

namespace {

class RunGuardTest : public runtest::RunFrameTest
{
protected:
    void SetUp() override
    {
        RunFrameTest::SetUp();
        BuildTree(sandbox.Path("data"), {{"src/a.txt", "a"},
                                         {"src/sub/b.txt", "b"},
                                         {"dst/old.txt", "old"},
                                         {"dst/inner/src2/c.txt", "c"},
                                         {"other/d.txt", "d"}});
        guard->AddSource(P("src"));
        guard->AddSource(P("dst/inner/src2"));
    }
    std::string P(const std::string& rel) const { return sandbox.Path("data/" + rel); }
    std::shared_ptr<TRunGuard> guard = std::make_shared<TRunGuard>();
    TRunControl control;
};

TEST_F(RunGuardTest, RefusesSourceFoldersWhatLiesInsideAndWhatHoldsThem)
{
    fs::create_symlink(P("src"), P("other/link-to-src"));
    fs::create_directories(P("other/bind"));
    struct Case
    {
        std::string path;
        TRunGuard::TRefusal expected;
    } const cases[] = {
        {P("src"), TRunGuard::rfSourceFolder},
        {P("src/"), TRunGuard::rfSourceFolder},
        {P("src/a.txt"), TRunGuard::rfInsideSource},
        {P("src/sub"), TRunGuard::rfInsideSource},
        {P("src/sub/b.txt"), TRunGuard::rfInsideSource},
        {P("src/not-yet/new.txt"), TRunGuard::rfInsideSource},
        {P("other/link-to-src/a.txt"), TRunGuard::rfInsideSource}, // through a link to the source
        {P("other/link-to-src"), TRunGuard::rfNone},               // the link itself may go
        {P("dst/inner"), TRunGuard::rfHoldsSource},
        {P("dst"), TRunGuard::rfHoldsSource},
        {sandbox.Path("data"), TRunGuard::rfHoldsSource},
        {P("dst/inner/src2/c.txt"), TRunGuard::rfInsideSource},
        {P("dst/old.txt"), TRunGuard::rfNone},
        {P("other/d.txt"), TRunGuard::rfNone},
        {P("other"), TRunGuard::rfNone},
        {P("src.txt"), TRunGuard::rfNone}, // a name that only begins like a source
        {P("srcx/y"), TRunGuard::rfNone},
    };
    for (const auto& c : cases)
        EXPECT_EQ(guard->Check(c.path), c.expected) << c.path;
    // A guard without sources refuses nothing.
    EXPECT_EQ(TRunGuard().Check(P("src/a.txt")), TRunGuard::rfNone);
}

TEST_F(RunGuardTest, TellsWhichSourceAndDestinationPairsCannotWork)
{
    EXPECT_NE(SourceDestinationConflict(P("src"), P("src")), "");
    EXPECT_NE(SourceDestinationConflict(P("src/"), P("src")), "");
    EXPECT_NE(SourceDestinationConflict(P("dst/inner/src2"), P("dst")), "");
    // An archive written beside a source it does not hold is fine; into the source itself it is not.
    EXPECT_EQ(SourceDestinationConflict(P("dst/inner/src2"), P("dst"), true), "");
    EXPECT_NE(SourceDestinationConflict(P("src"), P("src"), true), "");
    // A destination inside its source is passed over by the walk.
    EXPECT_EQ(SourceDestinationConflict(P("src"), P("src/backup")), "");
    EXPECT_EQ(SourceDestinationConflict(P("src"), P("dst")), "");
    EXPECT_EQ(SourceDestinationConflict(P("src"), P("not/there/yet")), "");
}

TEST_F(RunGuardTest, FileOperationsOfTheRunLeaveGuardedPathsAndCountEachRefusal)
{
    ASSERT_EQ(log.OpenLogFile(0x82, "", false), 0u);
    log.BeginLog(0, "guard");
    TEngineFileOps ops(log, control);
    ops.Guard = guard;
    ops.Sleep = nullptr;
    std::string errMsg;
    // Renaming a source file away, or another file over one, is refused.
    EXPECT_NE(ops.MoveFileLogged(P(""), P("src/a.txt"), P("dst/a.txt"), errMsg, 1, -1), 0);
    EXPECT_NE(ops.MoveFileLogged(P(""), P("dst/old.txt"), P("src/a.txt"), errMsg, 1, -1), 0);
    EXPECT_EQ(ReadFileBytes(P("src/a.txt")), "a");
    EXPECT_EQ(ReadFileBytes(P("dst/old.txt")), "old");
    EXPECT_EQ(guard->TakeRefusals(), 2);

    // Clearing a folder that holds a source clears the rest and leaves the source with its files.
    int deleted = 0, errors = 0;
    EXPECT_FALSE(ops.ClearDirectory(P("dst"), "", "B", true, true, false, 0, 0, deleted, errors));
    EXPECT_EQ(deleted, 1); // old.txt
    EXPECT_FALSE(fs::exists(P("dst/old.txt")));
    EXPECT_EQ(ReadFileBytes(P("dst/inner/src2/c.txt")), "c");
    EXPECT_EQ(guard->TakeRefusals(), 1);
    // Clearing a source folder itself does nothing at all.
    deleted = 0;
    EXPECT_FALSE(ops.ClearDirectory(P("src"), "", "B", true, true, false, 0, 0, deleted, errors));
    EXPECT_EQ(deleted, 0);
    EXPECT_TRUE(fs::exists(P("src/sub/b.txt")));
    EXPECT_EQ(guard->TakeRefusals(), 1);
    // An unguarded folder is cleared as before.
    EXPECT_TRUE(ops.ClearDirectory(P("other"), "", "B", true, true, false, 0, 0, deleted, errors));
    EXPECT_FALSE(fs::exists(P("other")));
    EXPECT_EQ(guard->TakeRefusals(), 0);
    log.CloseLogFile(false);
    const std::string text = ReadFileBytes(host.DefaultLog);
    EXPECT_NE(text.find("Refused to delete or replace"), std::string::npos) << text;
    EXPECT_NE(text.find("it lies inside a source folder of the task"), std::string::npos) << text;
}

} // namespace
