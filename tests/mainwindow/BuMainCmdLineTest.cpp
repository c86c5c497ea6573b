#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "mainwindow/BuMain.h"
#include "mainwindow/BuMainCmdLine.h"
#include "support/Sandbox.h"

namespace {

TCmdLineValues Parse(std::vector<std::string> args)
{
    args.insert(args.begin(), "Vastrel");
    TCmdLineValues values;
    bool report = true;
    ParseCmdLine(values, args, "/nonexistent/", report, nullptr);
    return values;
}

TEST(BuMainCmdLineTest, OptionsAbbreviationsAndValuesSetTheirFields)
{
    EXPECT_EQ(Parse({"/end:"}).LogOffMode, dmShutdown);
    EXPECT_EQ(Parse({"/end:h"}).LogOffMode, dmHybrid);
    EXPECT_TRUE(Parse({"-end:lockdown"}).LockDown);
    EXPECT_EQ(Parse({"/end:hib"}).SuspendMode, smHibernate);
    EXPECT_EQ(Parse({"/end:nonsense"}).LogOffMode, dmNone);
    EXPECT_EQ(Parse({"/end"}).LogOffMode, dmNone) << "a valued option needs its colon";
    EXPECT_EQ(Parse({"/prompt:"}).InterActiveMode, iaPrompt);
    EXPECT_EQ(Parse({"/prompt:silent"}).InterActiveMode, iaQuietError);
    EXPECT_EQ(Parse({"/prompt:other"}).InterActiveMode, iaDelay);
    EXPECT_EQ(Parse({"/s"}).StartOrigin, 1) << "/s is /sched";
    EXPECT_EQ(Parse({"/startapp:qvp"}).StartOrigin, 4);
    EXPECT_EQ(Parse({"/logmode:x"}).Pm, 0);
    EXPECT_EQ(Parse({"/logmode:2 more"}).Pm, 2);
    EXPECT_EQ(Parse({"/wait:x"}).Wt, 5);
    EXPECT_EQ(Parse({"/erractions:$1F"}).NoActionOnError, 31u);
    EXPECT_EQ(Parse({"/erractions:0x10"}).NoActionOnError, 16u);
    EXPECT_FALSE(Parse({"/noaction"}).AllowAction);
    EXPECT_EQ(Parse({"/speed:slow"}).BuThPr, tpLowest);
    EXPECT_EQ(Parse({"/mode:i"}).BuM, 3);
    EXPECT_TRUE(Parse({"/re"}).RestTask) << "/re is restore";
    EXPECT_TRUE(Parse({"/p"}).IsPortable) << "/p is portable, the first keyword it abbreviates";
    TCmdLineValues user = Parse({"/user:me:pa:ss"});
    EXPECT_EQ(user.User, "me");
    EXPECT_EQ(user.Pwd, "pa:ss");
    TCmdLineValues both = Parse({"/force", "/auto"});
    EXPECT_TRUE(both.StartTask);
    EXPECT_FALSE(both.ForceTask);
    TCmdLineValues dir = Parse({"/directory:/home/u/x"});
    EXPECT_TRUE(dir.ForceTask);
    EXPECT_EQ(dir.SDir, "/home/u/x");
    TCmdLineValues unknown = Parse({"/zzz", "-qqq:1"});
    EXPECT_TRUE(unknown.CmdTasks.empty()) << "unknown options are ignored";
}

TEST(BuMainCmdLineTest, TaskFilesAreCollectedQuotedWhenNeeded)
{
    EXPECT_EQ(Parse({"/home/u/my tasks/a.buj", "/force", "/home/u/b.buj", "c,d.buj"}).CmdTasks,
              "\"/home/u/my tasks/a.buj\",/home/u/b.buj,\"c,d.buj\"");
    std::vector<std::string> items = SplitTaskList("\"/home/u/my tasks/a.buj\",/home/u/b.buj,\"c,d.buj\"");
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items[0], "/home/u/my tasks/a.buj");
    EXPECT_EQ(items[2], "c,d.buj");
}

TEST(BuMainCmdLineTest, SlashPathsAreOptionsOnlyWithoutFurtherSlashBeforeTheColon)
{
    EXPECT_TRUE(IsOptionArg("/force"));
    EXPECT_TRUE(IsOptionArg("/ini:/home/u/x.ini"));
    EXPECT_TRUE(IsOptionArg("-h"));
    EXPECT_FALSE(IsOptionArg("/home/u/t.buj"));
    EXPECT_FALSE(IsOptionArg("t.buj"));
    EXPECT_FALSE(IsOptionArg("/tmp")) << "an existing folder is no option";
}

TEST(BuMainCmdLineTest, StartFlagsHaveTheirOwnScan)
{
    struct Case
    {
        std::vector<std::string> args;
        uint8_t flags;
    } cases[] = {
        {{"/s"}, sfBatch},
        {{"/force", "/end:restart"}, sfBatch | sfEndAction},
        {{"/auto"}, sfAuto},
        {{"/ini:x"}, sfOwnIni},
        {{"/directory:/a"}, sfBatch},
        {{"/elevate", "/edit"}, sfElevate | sfEdit},
        {{"/home/u/t.buj"}, 0},
    };
    for (auto& c : cases) {
        c.args.insert(c.args.begin(), "Vastrel");
        bool report = true;
        std::string rest;
        EXPECT_EQ(GetStartFlags(c.args, "/", report, nullptr, rest), c.flags) << c.args[1];
    }
    std::vector<std::string> argv = {"Vastrel", "/elevate", "/force", "a.buj"};
    bool report = true;
    std::string rest;
    GetStartFlags(argv, "/", report, nullptr, rest);
    EXPECT_EQ(rest, "  /force a.buj");
    EXPECT_EQ(GetTaskFileArg(argv), "a.buj");
}

class ArgListFileTest : public SandboxTest
{
};

TEST_F(ArgListFileTest, LinesBecomeItemsWithoutCommentsAndMissingFilesAreReportedOnce)
{
    std::string name = sandbox.Path("args.txt");
    std::ofstream(name) << "/force\n  /home/u/my task.buj ; comment\n\n; only comment\n";
    bool report = true;
    EXPECT_EQ(ReadArgListFile(name, "/", report, nullptr), "/force|/home/u/my task.buj");
    int reports = 0;
    auto count = [&](const std::string&) { ++reports; };
    EXPECT_EQ(ReadArgListFile(sandbox.Path("none"), "/", report, count), "");
    EXPECT_EQ(ReadArgListFile(sandbox.Path("none"), "/", report, count), "");
    EXPECT_EQ(reports, 1);
    EXPECT_FALSE(report);
}

TEST(BuMainCmdLineTest, DelayAndTimeSlotValues)
{
    auto first = [](int) { return 0; };
    EXPECT_EQ(ParseDelayOption("30", first), 30);
    EXPECT_EQ(ParseDelayOption("5M", first), 300);
    EXPECT_EQ(ParseDelayOption("10R", [](int n) { return n - 1; }), 10);
    EXPECT_EQ(ParseDelayOption("2mr", first), 1);
    TTimePeriod p;
    ParseTimeSlotOption("20250305", p);
    EXPECT_EQ(p.Mode, tmSpan);
    EXPECT_EQ(p.Dat1, p.Dat2);
    ParseTimeSlotOption("20250305-20250310", p);
    EXPECT_EQ(p.Mode, tmSpan);
    EXPECT_EQ(p.Dat2 - p.Dat1, 5);
    ParseTimeSlotOption("20250305x", p);
    EXPECT_EQ(p.Mode, tmError);
    ParseTimeSlotOption("C+20250101", p);
    EXPECT_EQ(p.Mode, tmNewer);
    EXPECT_EQ(p.TmRef, trCreate);
    ParseTimeSlotOption("D7", p);
    EXPECT_EQ(p.Mode, tmLastDays);
    EXPECT_EQ(p.Days, 7);
    ParseTimeSlotOption("u", p);
    EXPECT_EQ(p.Mode, tmUpdate);
    ParseTimeSlotOption("?", p);
    EXPECT_EQ(p.Mode, tmPrompt);
    ParseTimeSlotOption("C", p);
    EXPECT_EQ(p.Mode, tmError);
}

} // namespace
