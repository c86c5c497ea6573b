#include <gtest/gtest.h>

#include "scheduling/TaskSchedArgs.h"
#include "support/Files.h"
#include "support/Sandbox.h"

namespace {

const std::string Folder = "/home/user/Documents/Vastrel";

TEST(TaskSchedArgsTest, OptionsFollowTheSettingsInTheirOrder)
{
    struct Case
    {
        const char* Name;
        TQvAction Kind;
        TSchedOptions Options;
        bool WithIni;
        const char* Expected;
    };
    TSchedOptions untouched;
    TSchedOptions quiet;
    quiet.Prompt = 2;
    TSchedOptions onErrors;
    onErrors.Prompt = 3;
    onErrors.Wait = 10;
    TSchedOptions all;
    all.Hide = false;
    all.Parallel = true;
    all.Prompt = 0;
    all.ErrActions = 5;
    all.Priority = 2;
    all.IniFile = "/home/user/my settings.ini";
    all.LogMode = 3;
    all.EndAction = 2;
    TSchedOptions restart;
    restart.EndAction = 5;
    restart.Priority = 1;
    restart.LogMode = 7;
    const Case cases[] = {
        {"untouched backup", paBackup, untouched, true,
         " /force /startapp:scheduler /hide /prompt:delay /wait:3"},
        {"not visible", paBackup, quiet, true, " /force /startapp:scheduler /hide /prompt:quiet"},
        {"wait only on errors", paBackup, onErrors, true,
         " /force /startapp:scheduler /hide /prompt:error /wait:10"},
        {"everything", paRestore, all, true,
         " /restore /parallel /prompt:wait /erractions:5 /speed:fast \"/ini:/home/user/my settings.ini\" "
         "/logmode:3 "
         "/suspend:hibernate"},
        {"without the ini", paVerify, all, false,
         " /verify /parallel /prompt:wait /erractions:5 /speed:fast /logmode:3 /suspend:hibernate"},
        {"restart, low, log mode out of range", paCleanup, restart, true,
         " /clean /hide /prompt:delay /wait:3 /speed:slow /end:restart"},
        {"planner", paSchedule, untouched, true, "  /hide /prompt:delay /wait:3"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(BuildOptions(c.Kind, c.Options, c.WithIni), c.Expected) << c.Name;
}

TEST(TaskSchedArgsTest, ArgumentsHoldAbsoluteTaskFilesOptionsAndUserText)
{
    TSchedOptions o;
    o.Tasks = "daily.buj,\"sub/with blank.buj\",\"/other/a,b.buj\"";
    EXPECT_EQ(BuildArguments(paBackup, o, Folder), Folder + "/daily.buj \"" + Folder +
                                                       "/sub/with blank.buj\" \"/other/a,b.buj\"  /force "
                                                       "/startapp:scheduler /hide /prompt:delay /wait:3");
    o.Tasks = "\"Weekly full\",ignored";
    o.UserOptions = "/xyz";
    EXPECT_EQ(BuildArguments(paSchedule, o, Folder), "\"Weekly full\"  /hide /prompt:delay /wait:3 /xyz");
}

TEST(TaskSchedArgsTest, ParsingReadsEveryOptionBackAndKeepsTheUnknown)
{
    struct Case
    {
        const char* Args;
        TQvAction KindIn;
        TQvAction Kind;
        const char* Tasks;
        const char* User;
        int Prompt, Wait, EndAction, LogMode, Priority, ErrActions;
        bool Hide, Parallel;
        const char* Ini;
    };
    const Case cases[] = {
        {"/home/user/Documents/Vastrel/a.buj  /force /startapp:scheduler /hide /prompt:delay /wait:3",
         paRestore, paBackup, "a.buj", "", 1, 3, 0, 0, 0, 0, true, false, ""},
        {"/data/x.rsj /restore -speed:fast -xyz /p /end:", paBackup, paRestore, "/data/x.rsj", "/xyz", 1, 3,
         3, 0, 2, 0, false, true, ""},
        {"\"/home/user/Documents/Vastrel/b c.buj\" \"/other/a,b.buj\" /s \"/ini:/home/u/my x.ini\" "
         "/logmode:x",
         paBackup, paBackup, "\"b c.buj\",\"/other/a,b.buj\"", "", 1, 3, 0, 0, 0, 0, false, false,
         "/home/u/my x.ini"},
        {"/clean /prompt:silent /wait:q /end:restart /erractions:12 /quiet", paBackup, paCleanup, "", "", 2,
         5, 5, 0, 0, 12, false, false, ""},
        {"/verify /suspend:standby /logmode:9 /end:po /prompt:e", paBackup, paVerify, "", "", 3, 3, 4, 9, 0,
         0, false, false, ""},
        {"\"Weekly full\" /mode:full /sched /xyz:1", paBackup, paSchedule, "\"Weekly full\"", "/xyz:1", 1, 3,
         0, 0, 0, 0, false, false, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Args);
        TSchedOptions o;
        o.Hide = false;
        o.Tasks = "stale";
        o.UserOptions = "stale";
        TQvAction kind = c.KindIn;
        ParseArguments(c.Args, Folder, o, kind);
        EXPECT_EQ(kind, c.Kind);
        EXPECT_EQ(o.Tasks, c.Tasks);
        EXPECT_EQ(o.UserOptions, c.User);
        EXPECT_EQ(o.Prompt, c.Prompt);
        EXPECT_EQ(o.Wait, c.Wait);
        EXPECT_EQ(o.EndAction, c.EndAction);
        EXPECT_EQ(o.LogMode, c.LogMode);
        EXPECT_EQ(o.Priority, c.Priority);
        EXPECT_EQ(o.ErrActions, c.ErrActions);
        EXPECT_EQ(o.Hide, c.Hide);
        EXPECT_EQ(o.Parallel, c.Parallel);
        EXPECT_EQ(o.IniFile, c.Ini);
    }
}

TEST(TaskSchedArgsTest, BuildingAndParsingRoundTrip)
{
    TSchedOptions o;
    o.Tasks = "a.buj,\"b c.buj\"";
    o.UserOptions = "/custom:1 /other";
    o.IniFile = "/x y/z.ini";
    o.Prompt = 3;
    o.Wait = 42;
    o.Hide = false;
    o.EndAction = 4;
    o.LogMode = 2;
    o.Parallel = true;
    o.Priority = 1;
    o.ErrActions = 3;
    for (TQvAction kind : {paBackup, paRestore, paCleanup, paVerify}) {
        std::string args = BuildArguments(kind, o, Folder);
        TSchedOptions back;
        back.Hide = false;
        TQvAction parsed = paBackup;
        ParseArguments(args, Folder, back, parsed);
        EXPECT_EQ(parsed, kind) << args;
        EXPECT_EQ(BuildArguments(parsed, back, Folder), args);
        EXPECT_EQ(back.Tasks, o.Tasks);
        EXPECT_EQ(back.UserOptions, o.UserOptions);
    }
}

class TaskSchedArgsFileTest : public SandboxTest
{
};

// An existing file whose name looks like an option is a task file.
TEST_F(TaskSchedArgsFileTest, AnExistingFileIsATaskFileEvenWhenItLooksLikeAnOption)
{
    TSchedOptions o;
    TQvAction kind = paBackup;
    ParseArguments("/force", "/", o, kind);
    EXPECT_EQ(o.Tasks, "");
    std::string file = sandbox.Path("task.buj");
    WriteFileBytes(file, "x");
    ParseArguments(file + " /force", sandbox.Path(), o, kind);
    EXPECT_EQ(o.Tasks, "task.buj");
}

} // namespace
