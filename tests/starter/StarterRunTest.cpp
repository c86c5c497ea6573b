// Running groups: the command lines sent to the main program, the parallel starts, how results are
// reported, the command line of QvStarter and its unattended run (run log, power action).

#include <deque>
#include <filesystem>

#include <gtest/gtest.h>

#include "foundation/StringUtils.h"

#include "foundation/WinExecute.h"
#include "starter/StarterRun.h"
#include "support/Files.h"
#include "support/Sandbox.h"

namespace {

// Records every start; each process ends at its first wait with the next exit code of ExitCodes.
class RecordingProcesses : public IStarterProcesses
{
public:
    TProcessHandle Start(const std::string& User, const std::string& Domain, const std::string& Pwd,
                         const std::vector<std::string>& Argv) override
    {
        Starts.push_back({User, Domain, Pwd, Argv});
        if (FailStart)
            throw EProcessError("The user name or password is incorrect. (0x0000052e)", 1326);
        return static_cast<TProcessHandle>(1000 + Starts.size());
    }
    // A parallel run's processes end in the order of PerProcess (by start), others in call order.
    uint32_t Wait(TProcessHandle Handle, int) override
    {
        if (Busy-- > 0)
            return WaitTimeoutResult;
        int code = 0;
        const size_t n = static_cast<size_t>(Handle - 1001);
        if (n < PerProcess.size())
            code = PerProcess[n];
        else if (!ExitCodes.empty()) {
            code = ExitCodes.front();
            ExitCodes.pop_front();
        }
        return code == 0 ? 0 : static_cast<uint32_t>(code) | ApplicationExitFlag;
    }
    struct Run
    {
        std::string user, domain, pwd;
        std::vector<std::string> argv;
    };
    std::vector<Run> Starts;
    std::deque<int> ExitCodes;
    std::vector<int> PerProcess;
    int Busy = 0;
    bool FailStart = false;
};

class RecordingHost : public IStarterHost
{
public:
    bool AskPassword(const std::string&, const std::string& Prompt, std::string& Pwd) override
    {
        Prompts.push_back(Prompt);
        if (Answer.empty())
            return false;
        Pwd = Answer;
        return true;
    }
    void ErrorBox(const std::string& Text) override { Errors.push_back(Text); }
    int AskEndAction(const std::string& Groups, bool& Terminate) override
    {
        AskedFor = Groups;
        Terminate = false;
        return EndAction;
    }
    std::vector<std::string> Prompts, Errors;
    std::string Answer = "pw", AskedFor;
    int EndAction = 0;
};

class RecordingPower : public IStarterPower
{
public:
    std::string EndSession(TDownMode Mode) override { return Record("end " + std::to_string(Mode)); }
    std::string Suspend(bool Hibernate) override { return Record(Hibernate ? "hibernate" : "standby"); }
    std::string LockSession() override { return Record("lock"); }
    std::string Record(const std::string& s)
    {
        Calls.push_back(s);
        return std::string();
    }
    std::vector<std::string> Calls;
};

class StarterRunTest : public SandboxTest
{
protected:
    RecordingHost host;
    RecordingProcesses processes;
    RecordingPower power;
    TStarter starter{host, processes, &power};

    TTaskProperties& AddGroup(const std::string& name, const std::string& user = "backup")
    {
        starter.Settings.Groups.push_back(std::make_unique<TTaskProperties>(name));
        auto& g = *starter.Settings.Groups.back();
        g.User = user;
        return g;
    }
    std::vector<std::string> Args(int run) const
    {
        return processes.Starts.at(static_cast<size_t>(run)).argv;
    }
};

TEST_F(StarterRunTest, TheStartCommandFollowsTheGroupsOptions)
{
    starter.QvPath = "/opt/Vastrel suite/Vastrel";
    auto& g = AddGroup("G");
    struct Case
    {
        int status;
        bool noSplash, sound, runAs;
        std::string logDir, iniPath, expected;
    } cases[] = {
        {1, false, false, false, "", "",
         "\"/opt/Vastrel suite/Vastrel\" /startapp:qvstarter /prompt:delay /nosound /wait:5 /force "
         "/noaction"},
        {0, true, true, true, "/var/log/qv", "",
         "\"/opt/Vastrel suite/Vastrel\" /startapp:qvstarter /prompt:quiet /logdir:/var/log/qv /hide "
         "/elevate "
         "/force /noaction"},
        {3, false, true, false, "/l d", "/cfg/",
         "\"/opt/Vastrel suite/Vastrel\" /startapp:qvstarter /prompt:error /ini:/cfg/ \"/logdir:/l d\" "
         "/wait:5 "
         "/force /noaction"},
        {2, false, true, false, "", "",
         "\"/opt/Vastrel suite/Vastrel\" /startapp:qvstarter /prompt:wait /force /noaction"},
        {4, false, true, false, "", "",
         "\"/opt/Vastrel suite/Vastrel\" /startapp:qvstarter /prompt:silent /force /noaction"},
        {9, false, true, false, "", "",
         "\"/opt/Vastrel suite/Vastrel\" /startapp:qvstarter /prompt:delay /force /noaction"},
    };
    for (const auto& c : cases) {
        g.Status = c.status;
        g.NoSplash = c.noSplash;
        g.PlaySound = c.sound;
        g.RunAs = c.runAs;
        g.AltLogDir = c.logDir;
        starter.Location.AIniPath = c.iniPath;
        EXPECT_EQ(starter.BuildStartCommand(0), c.expected) << c.status;
    }
}

TEST_F(StarterRunTest, AParallelGroupStartsOneProcessPerEnabledTaskWithDelaysAndInstances)
{
    starter.QvPath = "/usr/bin/Vastrel";
    auto& g = AddGroup("P", "OFFICE\\backup");
    g.ParProc = true;
    g.StartDelay = 10;
    g.PwdPrompt = false;
    g.Pwd = "fixed";
    g.AddTask("/t/A.buj", false);
    g.AddTask("/t/B.buj", true);
    g.AddTask("/t/C d.buj", true);
    processes.Busy = 3;
    processes.PerProcess = {0, 4};
    EXPECT_TRUE(starter.RunGroup(0, false));
    ASSERT_EQ(processes.Starts.size(), 2u);
    EXPECT_TRUE(host.Prompts.empty()) << "a fixed password asks nothing";
    EXPECT_EQ(processes.Starts[0].user, "backup");
    EXPECT_EQ(processes.Starts[0].domain, "OFFICE");
    EXPECT_EQ(processes.Starts[0].pwd, "fixed");
    auto b = Args(0), c = Args(1);
    std::vector<std::string> tailB(b.end() - 3, b.end()), tailC(c.end() - 3, c.end());
    EXPECT_EQ(tailB, (std::vector<std::string>{"/delay:10", "/xinst:2", "/t/B.buj"}));
    EXPECT_EQ(tailC, (std::vector<std::string>{"/delay:20", "/xinst:3", "/t/C d.buj"}));
    for (const auto& t : g.Tasks)
        EXPECT_EQ(t.Process, -1) << "no handle is left behind";
    EXPECT_EQ(starter.ErrCount, 1);
    ASSERT_FALSE(starter.LogList.empty());
    EXPECT_EQ(starter.LogList.back(),
              "  *** Error reported by Vastrel: Errors during backup! - Backup task: /t/C d.buj");
    EXPECT_EQ(starter.LogList[0], "      Backup task: /t/B.buj");
}

TEST_F(StarterRunTest, ASequentialGroupRunsEnabledTasksInOneProcess)
{
    starter.QvPath = "/usr/bin/Vastrel";
    auto& g = AddGroup("S");
    g.AddTask("/t/A.buj", false);
    EXPECT_TRUE(starter.RunGroup(0, false));
    ASSERT_EQ(processes.Starts.size(), 1u);
    EXPECT_EQ(Args(0).back(), "/noaction") << "all tasks disabled: no task file at all";
    EXPECT_EQ(host.Prompts.size(), 1u);
    EXPECT_NE(host.Prompts[0].find("\"backup\""), std::string::npos);

    g.AddTask("/t/B.buj", true);
    g.AddTask("/t/C.buj", true);
    EXPECT_TRUE(starter.RunGroup(0, false));
    auto a = Args(1);
    EXPECT_EQ(std::vector<std::string>(a.end() - 2, a.end()),
              (std::vector<std::string>{"/t/B.buj", "/t/C.buj"}));
    EXPECT_EQ(starter.ErrCount, 0);

    host.Answer.clear();
    EXPECT_FALSE(starter.RunGroup(0, false)) << "a cancelled prompt";
    EXPECT_EQ(processes.Starts.size(), 2u);
}

TEST_F(StarterRunTest, ResultsAreReportedByWhereTheRunWasStarted)
{
    starter.QvPath = "/usr/bin/Vastrel";
    auto& g = AddGroup("R");
    g.AddTask("/t/B.buj", true);
    g.Status = 2;
    processes.ExitCodes = {4, 4, 0x104, 3};
    starter.RunGroup(0, true);
    EXPECT_TRUE(host.Errors.empty()) << "the main program showed its errors already";
    starter.RunGroup(0, false);
    EXPECT_EQ(starter.LogList.back(), "  *** Error reported by Vastrel: Errors during backup!");
    starter.RunGroup(0, true);
    EXPECT_TRUE(host.Errors.empty()) << "only the low byte of the exit code counts";
    starter.RunGroup(0, true);
    ASSERT_EQ(host.Errors.size(), 1u);
    EXPECT_EQ(host.Errors[0], "Error reported by Vastrel: Source directory not found!");

    processes.FailStart = true;
    starter.RunGroup(0, true);
    ASSERT_EQ(host.Errors.size(), 2u);
    EXPECT_EQ(host.Errors[1],
              "Error on starting Vastrel: The user name or password is incorrect. (0x0000052e)");

    g.ClearTasks();
    starter.RunGroup(0, true);
    EXPECT_EQ(host.Errors.back(), "No backup tasks specified!");
}

TEST_F(StarterRunTest, TheCommandLineReadsAbbreviationsInTheTablesOrder)
{
    struct Case
    {
        std::vector<std::string> args;
        bool force, writeLog, lock, prompt, term;
        TDownMode end;
        TSuspendMode suspend;
        std::string configList;
    } cases[] = {
        {{"/force", "/end:poweroff", "Nightly"},
         true,
         false,
         false,
         false,
         false,
         dmPowerOff,
         smNone,
         "Nightly"},
        {{"/f", "/e:l", "Nightly"}, true, false, true, false, false, dmShutdown, smNone, "Nightly"},
        {{"-force", "/logmode:0", "A", "B c"}, true, false, false, false, false, dmNone, smNone, "A,B c"},
        {{"/logmode:"}, false, true, false, false, false, dmNone, smNone, ""},
        {{"/logmode", "/logmode:x"}, false, true, false, false, false, dmNone, smNone, ""},
        {{"/t", "/p", "/s:h", "/end:bogus"}, false, false, false, true, true, dmNone, smHibernate, ""},
        {{"/end:r", "/suspend:st", "/unknown"}, false, false, false, false, false, dmRestart, smStandby, ""},
    };
    for (const auto& c : cases) {
        TStarterCmdLine l = ParseStarterCmdLine(c.args);
        const std::string what = c.args[0] + " " + (c.args.size() > 1 ? c.args[1] : "");
        EXPECT_EQ(l.Force, c.force) << what;
        EXPECT_EQ(l.WriteLog, c.writeLog) << what;
        EXPECT_EQ(l.FLockScreen, c.lock) << what;
        EXPECT_EQ(l.ActPrompt, c.prompt) << what;
        EXPECT_EQ(l.TermProgs, c.term) << what;
        EXPECT_EQ(l.LogOffMode, c.end) << what;
        EXPECT_EQ(l.SuspendMode, c.suspend) << what;
        EXPECT_EQ(l.ConfigList, c.configList) << what;
    }
    EXPECT_EQ(ParseStarterCmdLine({"/ini:/etc/x.ini"}).IniOption, "/etc/x.ini");
}

TEST_F(StarterRunTest, TheUnattendedRunLogsEveryGroupAndEndsWithThePowerAction)
{
    starter.QvPath = "/usr/bin/Vastrel";
    starter.LogName = sandbox.Path("QvStarter.log");
    auto& g = AddGroup("Nightly");
    g.PwdPrompt = false;
    g.Pwd = "pw";
    g.AddTask("/t/B.buj", true);
    starter.Options =
        ParseStarterCmdLine({"/force", "/logmode:1", "/end:shutdown", "/prompt", "nightly", "Missing"});
    host.EndAction = 0; // "Only backup" keeps the /end: action
    processes.ExitCodes = {2};
    EXPECT_TRUE(starter.CheckForce());
    EXPECT_EQ(host.AskedFor, "nightly, Missing");
    EXPECT_EQ(power.Calls, (std::vector<std::string>{"end " + std::to_string(dmShutdown)}));
    const std::string log = ReadFileBytes(starter.LogName);
    for (const char* line :
         {"  ==> Start: ", "  ->  Backup group: Nightly - User name: backup\r\n",
          "      Backup task: /t/B.buj\r\n",
          "  *** Error reported by Vastrel: Destination path not found!\r\n",
          "  *** Unknown group: Missing\r\n", "  ==> End: ", "  ==> The system will be shut down!\r\n\r\n"})
        EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;
    EXPECT_EQ(starter.ErrCount, 2);

    // /force without groups: one unknown empty name; poweroff writes no action line; no log
    power.Calls.clear();
    starter.Options = ParseStarterCmdLine({"/force", "/end:poweroff", "/lockscreen"});
    EXPECT_TRUE(starter.CheckForce());
    EXPECT_EQ(starter.ErrCount, 1);
    EXPECT_EQ(starter.LogList[2], "  *** Unknown group: ");
    EXPECT_EQ(power.Calls, (std::vector<std::string>{"lock", "end " + std::to_string(dmPowerOff)}));
    EXPECT_EQ(ReadFileBytes(starter.LogName), log) << "without /logmode the run log is not written";

    // Cancel of the question: nothing runs
    host.EndAction = -1;
    power.Calls.clear();
    starter.Options = ParseStarterCmdLine({"/force", "/prompt", "Nightly"});
    size_t starts = processes.Starts.size();
    EXPECT_TRUE(starter.CheckForce());
    EXPECT_EQ(processes.Starts.size(), starts);
    EXPECT_TRUE(power.Calls.empty());

    // without /force the window opens
    starter.Options = ParseStarterCmdLine({"Nightly"});
    EXPECT_FALSE(starter.CheckForce());
    // a main program that cannot be found: one error box, nothing runs
    starter.QvPath.clear();
    starter.Options = ParseStarterCmdLine({"/force", "Nightly"});
    EXPECT_TRUE(starter.CheckForce());
    EXPECT_EQ(host.Errors.back(), "\"Vastrel\" not found on this system!");
    EXPECT_EQ(processes.Starts.size(), starts);
}

TEST(TaskLogNameTest, TheLogOfATaskFollowsItsLogName)
{
    Sandbox sandbox;
    const std::string qvPath = "/opt/vastrel/Vastrel";
    const std::string dir = sandbox.Path("tasks/");
    WriteFileBytes(dir + "plain.buj", "[Global]\r\nDestination=/backup\r\n");
    WriteFileBytes(dir + "named.buj", "[Global]\r\nLogName=%taskname%-run.log\r\n");
    WriteFileBytes(dir + "absolute.buj", "[Global]\r\nLogName=/var/log/x/%TaskName%.log\r\n");
    WriteFileBytes(dir + "ondest.buj",
                   "[Global]\r\nDestination=/nowhere/at/all\r\nLogName=%dest%/%taskname%.log\r\n");
    const std::string logDir = sandbox.Path("logs/");
    WriteFileBytes(logDir + "keep", "");
    struct Case
    {
        const char *task, *logDir, *expected;
    } cases[] = {
        {"plain.buj", "", "/opt/vastrel/Vastrel.log"},
        {"named.buj", "LOGDIR",
         "LOGDIR"
         "named-run.log"},
        {"absolute.buj", "", "/var/log/x/absolute.log"},
        {"missing.buj", "", ""},
    };
    for (const Case& c : cases) {
        const std::string expected = ReplaceAll(c.expected, "LOGDIR", logDir);
        EXPECT_EQ(TaskLogName(dir + c.task, qvPath, ReplaceAll(c.logDir, "LOGDIR", logDir)), expected)
            << c.task;
    }
    // an unavailable destination is taken as written: the window then asks for the missing file
    EXPECT_EQ(TaskLogName(dir + "ondest.buj", qvPath, ""), "/nowhere/at/all/ondest.log");
}

} // namespace
