#include "scheduling/SchedDaemon.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <map>
#include <poll.h>
#include <random>
#include <spawn.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include "foundation/WinApiUtils.h"
#include "foundation/WinExecute.h"
#include "platform/ErrorCodes.h"
#include "platform/FileText.h"
#include "platform/XdgDirs.h"
#include "rtl/Clock.h"
#include "rtl/Gettext.h"
#include "scheduling/ScheduleModel.h"
#include "scheduling/TaskStore.h"
#include "scheduling/TriggerEngine.h"

extern char** environ;

namespace {

constexpr double SecondDays = 1.0 / SecsPerDay;
// A due time found later than this is a missed run (the daemon was down, the machine slept, the clock
// jumped forward).
constexpr int64_t LateLimitSeconds = 60;
// Time between the polite and the hard end of a stopped instance.
constexpr int KillGraceSeconds = 10;

int GSignalPipe[2] = {-1, -1};
volatile sig_atomic_t GTerminate = 0;

void OnSignal(int sig)
{
    if (sig == SIGTERM || sig == SIGINT)
        GTerminate = 1;
    int saved = errno;
    char c = static_cast<char>(sig);
    [[maybe_unused]] ssize_t n = write(GSignalPipe[1], &c, 1);
    errno = saved;
}

double Mono()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

TDateTime NowLocal()
{
    return Clock::Current().NowLocal();
}

// Seconds from now to a local time (negative when it has passed).
double SecondsUntil(TDateTime local)
{
    return (LocalToUtc(local) - Clock::Current().NowUtc()) * SecsPerDay;
}

void Log(const std::string& text)
{
    std::string line = FormatDateTime("yyyy-mm-dd hh:nn:ss", NowLocal()) + " " + text + "\n";
    std::fputs(line.c_str(), stderr);
    std::string file = SchedDaemonLogFile();
    struct stat st
    {
    };
    if (stat(file.c_str(), &st) == 0 && st.st_size > 1024 * 1024)
        std::rename(file.c_str(), (file + ".old").c_str());
    int fd = open(file.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (fd >= 0) {
        [[maybe_unused]] ssize_t n = write(fd, line.data(), line.size());
        close(fd);
    }
}

bool OnBatteries()
{
    DIR* d = opendir("/sys/class/power_supply");
    if (!d)
        return false;
    bool mainsOnline = false, discharging = false;
    while (dirent* e = readdir(d)) {
        if (e->d_name[0] == '.')
            continue;
        std::string base = std::string("/sys/class/power_supply/") + e->d_name;
        std::string type(TrimBlanks(ReadSmallFile(base + "/type")));
        if (type == "Mains" && TrimBlanks(ReadSmallFile(base + "/online")) == "1")
            mainsOnline = true;
        if (type == "Battery" && TrimBlanks(ReadSmallFile(base + "/status")) == "Discharging")
            discharging = true;
    }
    closedir(d);
    return discharging && !mainsOnline;
}

bool NetworkAvailable()
{
    std::string routes = ReadSmallFile("/proc/net/route");
    size_t pos = routes.find('\n');
    while (pos != std::string::npos && pos + 1 < routes.size()) {
        size_t e = routes.find('\n', pos + 1);
        std::string line = routes.substr(pos + 1, e == std::string::npos ? std::string::npos : e - pos - 1);
        size_t tab = line.find('\t');
        if (tab != std::string::npos && line.compare(tab + 1, 8, "00000000") == 0)
            return true;
        pos = e;
    }
    return false;
}

// logind on the system bus: sleep and wake signals and the idle hint.
class TLogind
{
public:
    ~TLogind()
    {
        if (FBus)
            sd_bus_flush_close_unref(FBus);
    }
    bool Open()
    {
        if (sd_bus_open_system(&FBus) < 0) {
            FBus = nullptr;
            return false;
        }
        if (sd_bus_match_signal(FBus, nullptr, "org.freedesktop.login1", "/org/freedesktop/login1",
                                "org.freedesktop.login1.Manager", "PrepareForSleep", &TLogind::OnSleep,
                                this) < 0) {
            sd_bus_flush_close_unref(FBus);
            FBus = nullptr;
            return false;
        }
        // logind must answer, not only the bus
        int idle = 0;
        if (sd_bus_get_property_trivial(FBus, "org.freedesktop.login1", "/org/freedesktop/login1",
                                        "org.freedesktop.login1.Manager", "IdleHint", nullptr, 'b',
                                        &idle) < 0) {
            sd_bus_flush_close_unref(FBus);
            FBus = nullptr;
            return false;
        }
        return true;
    }
    bool Available() const { return FBus != nullptr; }
    int Fd() const { return FBus ? sd_bus_get_fd(FBus) : -1; }
    short Events() const { return FBus ? static_cast<short>(sd_bus_get_events(FBus)) : 0; }
    void Process()
    {
        while (FBus && sd_bus_process(FBus, nullptr) > 0) {
        }
    }
    bool Idle()
    {
        int idle = 0;
        return FBus &&
               sd_bus_get_property_trivial(FBus, "org.freedesktop.login1", "/org/freedesktop/login1",
                                           "org.freedesktop.login1.Manager", "IdleHint", nullptr, 'b',
                                           &idle) >= 0 &&
               idle;
    }
    // Set by the resume signal, cleared by the reader.
    bool Woke = false;

private:
    static int OnSleep(sd_bus_message* m, void* userdata, sd_bus_error*)
    {
        int start = 0;
        if (sd_bus_message_read(m, "b", &start) >= 0 && !start)
            static_cast<TLogind*>(userdata)->Woke = true;
        return 0;
    }
    sd_bus* FBus = nullptr;
};

struct TInstance
{
    pid_t Pid = 0;
    double Deadline = 0; // monotonic; 0 = no limit
    bool Stopping = false;
    double KillAt = 0;
};

struct TPendingStart
{
    double At = 0; // monotonic
    int Trigger = -1;
};

struct TTask
{
    std::string Path;
    std::string Text; // the definition's file text as last read
    TTaskDefinition Def;
    bool Valid = false;
    TTaskState State;
    std::string StateText; // as last written
    std::vector<TDateTime> Next;
    std::vector<TInstance> Running;
    std::vector<TPendingStart> Pending;
    bool Queued = false;
    bool StartAfterStop = false;
    int RestartsUsed = 0;
    double RestartAt = 0;
    bool Seen = false;
};

class TSchedDaemon
{
public:
    explicit TSchedDaemon(bool atLogon) : FAtLogon(atLogon) {}
    int Run();

private:
    bool Listen();
    void Scan(bool startup);
    void ScanFolder(const std::string& folder, bool startup);
    void Load(TTask& t, bool startup);
    void PlanAll(TTask& t, TDateTime after);
    void CheckDue(TTask& t);
    void Fire(TTask& t, int trigger, bool demand, const char* reason);
    void Launch(TTask& t, int trigger);
    void Reap();
    void CheckInstances(TTask& t);
    void StopInstances(TTask& t);
    void SaveState(TTask& t);
    void CheckExpired(TTask& t);
    void Serve(int client);
    std::string Handle(const std::string& request);
    double NextWake();

    bool FAtLogon;
    int FListen = -1;
    std::map<std::string, TTask> FTasks;
    TLogind FLogind;
    std::string FBootId;
    bool FFreshBoot = false;
    std::mt19937 FRandom{std::random_device{}()};
    double FLastIdleCheck = 0;
    bool FIdle = false;
};

bool TSchedDaemon::Listen()
{
    std::string path = SchedDaemonSocket();
    std::string dir = ParentDirOf(path);
    mkdir(dir.c_str(), 0700);
    sockaddr_un addr{};
    if (path.size() >= sizeof(addr.sun_path)) {
        Log("The socket path is too long: " + path);
        return false;
    }
    FListen = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    addr.sun_family = AF_UNIX;
    path.copy(addr.sun_path, path.size());
    unlink(path.c_str()); // we hold the store's lock: a socket file left here is stale
    if (FListen < 0 || bind(FListen, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0 ||
        listen(FListen, 16) != 0) {
        Log("Cannot listen on " + path + ": " + std::strerror(errno));
        return false;
    }
    chmod(path.c_str(), 0600);
    return true;
}

void TSchedDaemon::Scan(bool startup)
{
    for (auto& [path, t] : FTasks)
        t.Seen = false;
    ScanFolder("", startup);
    for (auto it = FTasks.begin(); it != FTasks.end();) {
        if (!it->second.Seen) {
            Log("Task " + it->first + " was deleted");
            it = FTasks.erase(it);
        } else {
            ++it;
        }
    }
}

void TSchedDaemon::ScanFolder(const std::string& folder, bool startup)
{
    std::vector<std::string> names, folders;
    try {
        names = ListTaskNames(folder);
        folders = ListTaskFolders(folder);
    } catch (const EOleSysError& e) {
        // an unreadable folder keeps its tasks as they were
        for (auto& [path, t] : FTasks)
            if (path.rfind(folder + "\\", 0) == 0)
                t.Seen = true;
        return;
    }
    for (const std::string& name : names) {
        std::string path = JoinTaskPath(folder, name);
        std::string text;
        if (!ReadWholeFile(TaskDefinitionFile(path), text))
            continue;
        TTask& t = FTasks[path];
        t.Seen = true;
        if (t.Path.empty()) {
            t.Path = path;
            t.State = ReadTaskState(path);
            t.StateText = TaskStateToText(t.State);
        }
        if (text == t.Text)
            continue;
        t.Text = text;
        Load(t, startup);
    }
    for (const std::string& f : folders)
        ScanFolder(JoinTaskPath(folder, f), startup);
}

void TSchedDaemon::PlanAll(TTask& t, TDateTime after)
{
    after = std::max(after, t.State.LastDueTime);
    t.Next.assign(t.Def.Triggers.size(), 0);
    for (size_t i = 0; i < t.Def.Triggers.size(); ++i)
        t.Next[i] = NextTriggerTime(*t.Def.Triggers[i], after);
}

void TSchedDaemon::Load(TTask& t, bool startup)
{
    bool wasValid = t.Valid;
    try {
        t.Def = TaskDefinitionFromXml(t.Text);
        t.Valid = true;
    } catch (const EXmlError& e) {
        Log("Task " + t.Path + " is damaged and does not run: " + e.Message());
        t.Valid = false;
        t.Next.clear();
        return;
    }
    Log(std::string(wasValid ? "Task " + t.Path + " changed" : "Task " + t.Path + " loaded") +
        (t.Def.Enabled ? "" : " (disabled)"));
    for (const auto& trig : t.Def.Triggers) {
        if (trig->Unknown || trig->Type == 7 || trig->Type == 11 || trig->Type >= 10)
            Log("Task " + t.Path + ": a trigger of this kind is not supported and never fires");
        else if (trig->Type == 6)
            Log("Task " + t.Path + ": idle triggers are not supported and never fire");
        else if (trig->Type == 0 && !FLogind.Available())
            Log("Task " + t.Path + ": wake-up triggers are not available (logind does not answer)");
        else if (trig->Type == 0 && trig->Subscription != DefaultWakeQuery)
            Log("Task " + t.Path +
                ": only the wake-up event query is watched; this event trigger never fires");
    }
    if (t.Def.RunOnlyIfIdle && !FLogind.Available())
        Log("Task " + t.Path +
            " starts only when the computer is idle, which cannot be known here (logind does "
            "not answer): it does not start on its triggers");

    TDateTime now = NowLocal();
    TDateTime after = now;
    if (startup && !wasValid) {
        // a run planned before the daemon went down is made up (or counted) below
        if (t.State.NextRunTime > 0 && t.State.NextRunTime < now)
            after = t.State.NextRunTime - SecondDays;
        // what a previous daemon left running is gone with it or no child of ours
        if (t.State.RunningCount > 0) {
            t.State.RunningCount = 0;
            t.State.RunningPid = 0;
            if (t.State.LastResult == SCHED_S_TASK_RUNNING)
                t.State.LastResult = SCHED_S_TASK_TERMINATED;
        }
        t.State.Queued = false;
    }
    PlanAll(t, after);
    if (startup && !wasValid && t.Def.Enabled) {
        for (size_t i = 0; i < t.Def.Triggers.size(); ++i) {
            const TTriggerData& trig = *t.Def.Triggers[i];
            if (!trig.Enabled)
                continue;
            if (trig.Type == 9 && FAtLogon && (trig.UserId.empty() || trig.UserId == GetCurrentUserName()))
                Fire(t, static_cast<int>(i), false, "at logon");
            if (trig.Type == 8 && !FBootId.empty() && t.State.BootId != FBootId &&
                (!t.State.BootId.empty() || FFreshBoot))
                Fire(t, static_cast<int>(i), false, "at system start");
        }
    }
    t.State.BootId = FBootId;
    SaveState(t);
}

void TSchedDaemon::SaveState(TTask& t)
{
    TDateTime next = 0;
    if (t.Def.Enabled)
        for (TDateTime n : t.Next)
            if (n > 0 && (next == 0 || n < next))
                next = n;
    t.State.NextRunTime = next;
    t.State.RunningCount = static_cast<int>(t.Running.size());
    t.State.RunningPid = t.Running.empty() ? 0 : t.Running.back().Pid;
    t.State.Queued = t.Queued;
    std::string text = TaskStateToText(t.State);
    if (text == t.StateText)
        return;
    // a task deleted meanwhile gets no new state file
    if (access(TaskDefinitionFile(t.Path).c_str(), F_OK) != 0)
        return;
    if (WriteTaskState(t.Path, t.State))
        t.StateText = text;
    else
        Log("Cannot write the state of task " + t.Path + ": " + std::strerror(errno));
}

void TSchedDaemon::CheckDue(TTask& t)
{
    if (!t.Valid)
        return;
    double mono = Mono();
    TDateTime now = NowLocal();
    if (!t.Def.Enabled) {
        t.Pending.clear();
        t.RestartAt = 0;
        return;
    }
    for (size_t i = 0; i < t.Next.size() && i < t.Def.Triggers.size(); ++i) {
        TDateTime due = t.Next[i];
        if (due <= 0 || SecondsUntil(due) > 0)
            continue;
        // never a second run for one due time, also after the clock went back
        if (due > t.State.LastDueTime + SecondDays / 2) {
            double late = -SecondsUntil(due);
            t.State.LastDueTime = due;
            if (late > LateLimitSeconds) {
                ++t.State.MissedRuns;
                if (t.Def.StartWhenAvailable) {
                    Log("Task " + t.Path + " missed its start at " +
                        FormatDateTime("yyyy-mm-dd hh:nn:ss", due) + "; starting it now");
                    Fire(t, static_cast<int>(i), false, "missed run");
                } else {
                    Log("Task " + t.Path + " missed its start at " +
                        FormatDateTime("yyyy-mm-dd hh:nn:ss", due));
                }
            } else {
                Fire(t, static_cast<int>(i), false, "on schedule");
            }
        }
        t.Next[i] = NextTriggerTime(*t.Def.Triggers[i], std::max(due, now));
    }
    // wake-up and idle triggers
    if (FLogind.Available()) {
        for (size_t i = 0; i < t.Def.Triggers.size(); ++i) {
            const TTriggerData& trig = *t.Def.Triggers[i];
            // only the wake-up query of the wizard means a resume; other event queries never fire here
            if (trig.Enabled && trig.Type == 0 && FLogind.Woke && trig.Subscription == DefaultWakeQuery)
                Fire(t, static_cast<int>(i), false, "on waking up");
        }
    }
    for (auto it = t.Pending.begin(); it != t.Pending.end();) {
        if (it->At <= mono) {
            int trig = it->Trigger;
            it = t.Pending.erase(it);
            Launch(t, trig);
        } else {
            ++it;
        }
    }
    if (t.RestartAt > 0 && t.RestartAt <= mono) {
        t.RestartAt = 0;
        ++t.RestartsUsed;
        Log("Task " + t.Path + " is started again after a failure (" + std::to_string(t.RestartsUsed) + ")");
        Launch(t, -1);
    }
    CheckExpired(t);
    SaveState(t);
}

void TSchedDaemon::Fire(TTask& t, int trigger, bool demand, const char* reason)
{
    if (!demand) {
        if (t.Def.DisallowStartIfOnBatteries && OnBatteries()) {
            Log("Task " + t.Path + " does not start " + reason + ": the computer runs on battery");
            return;
        }
        if (t.Def.RunOnlyIfNetworkAvailable && !NetworkAvailable()) {
            Log("Task " + t.Path + " does not start " + reason + ": no network connection is available");
            return;
        }
        if (t.Def.RunOnlyIfIdle && !(FLogind.Available() && FLogind.Idle())) {
            Log("Task " + t.Path + " does not start " + reason + ": the computer is not known to be idle");
            return;
        }
        t.RestartsUsed = 0;
    }
    uint32_t delay = 0;
    if (trigger >= 0 && trigger < static_cast<int>(t.Def.Triggers.size())) {
        const TTriggerData& trig = *t.Def.Triggers[static_cast<size_t>(trigger)];
        uint32_t random = DurationToSeconds(trig.RandomDelay);
        if (random > 0 && (trig.Type >= 1 && trig.Type <= 5))
            delay = std::uniform_int_distribution<uint32_t>(0, random)(FRandom);
        if (trig.Type == 0 || trig.Type == 8 || trig.Type == 9)
            delay = DurationToSeconds(trig.Delay);
    }
    Log("Task " + t.Path + " is due " + reason +
        (delay ? " (starts in " + std::to_string(delay) + " s)" : ""));
    if (delay > 0)
        t.Pending.push_back({Mono() + delay, trigger});
    else
        Launch(t, trigger);
}

void TSchedDaemon::Launch(TTask& t, int trigger)
{
    if (!t.Running.empty()) {
        switch (t.Def.MultipleInstances) {
        case 0:
            break; // parallel
        case 1:
            if (!t.Queued)
                Log("Task " + t.Path + " is queued behind its running instance");
            t.Queued = true;
            SaveState(t);
            return;
        case 3:
            Log("Task " + t.Path + ": the running instance is stopped for the new one");
            StopInstances(t);
            t.StartAfterStop = true;
            return;
        default:
            Log("Task " + t.Path + " is already running; the new instance is not started");
            return;
        }
    }
    const TActionData* action = nullptr;
    for (const auto& a : t.Def.Actions)
        if (a->Type == 0 && !a->Unknown) {
            action = a.get();
            break;
        }
    t.State.LastRunTime = NowLocal();
    if (!action) {
        t.State.LastResult = E_INVALIDARG;
        Log("Task " + t.Path + " has no program to start");
        SaveState(t);
        return;
    }
    std::vector<std::string> args = CommandLineToArgv(action->Arguments);
    args.insert(args.begin(), UnquotePath(action->Path));
    std::string dir = UnquotePath(action->WorkingDirectory);
    if (dir.empty())
        dir = HomeDir();

    std::vector<std::string> env;
    bool display = false;
    for (char** e = environ; *e; ++e) {
        std::string v = *e;
        if (v.rfind("VASTREL_STARTED_BY=", 0) == 0)
            continue;
        if (v.rfind("DISPLAY=", 0) == 0 || v.rfind("WAYLAND_DISPLAY=", 0) == 0)
            display = true;
        env.push_back(v);
    }
    env.push_back("VASTREL_STARTED_BY=scheduler");
    if (!display)
        env.push_back("QT_QPA_PLATFORM=offscreen");
    std::vector<char*> argv, envp;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    for (auto& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addchdir_np(&fa, dir.c_str());
    posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    posix_spawnattr_setpgroup(&attr, 0);
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &all);
    pid_t pid = 0;
    int err = posix_spawn(&pid, argv[0], &fa, &attr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&fa);
    posix_spawnattr_destroy(&attr);
    if (err != 0) {
        uint32_t code = ErrnoToWinError(err);
        t.State.LastResult = HResultFromWin32(code);
        Log("Task " + t.Path + " could not start " + args[0] + ": " + SystemErrorText(code));
        if (t.RestartsUsed < t.Def.RestartCount)
            t.RestartAt = Mono() + std::max<uint32_t>(1, DurationToSeconds(t.Def.RestartInterval));
        SaveState(t);
        return;
    }
    TInstance inst;
    inst.Pid = pid;
    uint32_t limit = DurationToSeconds(t.Def.ExecutionTimeLimit);
    if (trigger >= 0 && trigger < static_cast<int>(t.Def.Triggers.size())) {
        uint32_t tl = DurationToSeconds(t.Def.Triggers[static_cast<size_t>(trigger)]->ExecutionTimeLimit);
        if (tl > 0 && (limit == 0 || tl < limit))
            limit = tl;
    }
    if (limit > 0)
        inst.Deadline = Mono() + limit;
    t.Running.push_back(inst);
    t.State.LastResult = SCHED_S_TASK_RUNNING;
    Log("Task " + t.Path + " started " + args[0] + " (process " + std::to_string(pid) + ")");
    SaveState(t);
}

void TSchedDaemon::StopInstances(TTask& t)
{
    for (TInstance& i : t.Running)
        if (!i.Stopping) {
            kill(-i.Pid, SIGTERM);
            i.Stopping = true;
            i.KillAt = Mono() + KillGraceSeconds;
        }
}

void TSchedDaemon::CheckInstances(TTask& t)
{
    double mono = Mono();
    for (TInstance& i : t.Running) {
        if (!i.Stopping && i.Deadline > 0 && mono >= i.Deadline) {
            Log("Task " + t.Path + " ran past its time limit and is stopped");
            kill(-i.Pid, SIGTERM);
            i.Stopping = true;
            i.KillAt = mono + KillGraceSeconds;
        } else if (i.Stopping && i.KillAt > 0 && mono >= i.KillAt) {
            kill(-i.Pid, SIGKILL);
            i.KillAt = 0;
        }
    }
    if (t.Def.StopIfGoingOnBatteries && !t.Running.empty() && OnBatteries()) {
        bool any = false;
        for (const TInstance& i : t.Running)
            any = any || !i.Stopping;
        if (any) {
            Log("Task " + t.Path + " is stopped: the computer switched to battery");
            StopInstances(t);
        }
    }
}

void TSchedDaemon::Reap()
{
    for (;;) {
        int status = 0;
        pid_t pid = waitpid(-1, &status, WNOHANG);
        if (pid <= 0)
            return;
        for (auto& [path, t] : FTasks) {
            auto it = std::find_if(t.Running.begin(), t.Running.end(),
                                   [&](const TInstance& i) { return i.Pid == pid; });
            if (it == t.Running.end())
                continue;
            bool stopped = it->Stopping;
            t.Running.erase(it);
            HRESULT result;
            if (stopped)
                result = SCHED_S_TASK_TERMINATED;
            else if (WIFEXITED(status))
                result = WEXITSTATUS(status);
            else
                result = 128 + WTERMSIG(status);
            t.State.LastResult = result;
            Log("Task " + t.Path + " ended (process " + std::to_string(pid) + ", result " +
                Format("0x%x", {static_cast<uint32_t>(result)}) + ")");
            if (!stopped && result != 0 && t.RestartsUsed < t.Def.RestartCount)
                t.RestartAt = Mono() + std::max<uint32_t>(1, DurationToSeconds(t.Def.RestartInterval));
            if (t.Running.empty() && t.StartAfterStop) {
                t.StartAfterStop = false;
                Launch(t, -1);
            } else if (t.Running.empty() && t.Queued) {
                t.Queued = false;
                Launch(t, -1);
            }
            SaveState(t);
            break;
        }
    }
}

void TSchedDaemon::CheckExpired(TTask& t)
{
    if (t.Def.DeleteExpiredTaskAfter.empty() || !t.Running.empty() || t.Def.Triggers.empty())
        return;
    TDateTime expiry = 0;
    for (const auto& trig : t.Def.Triggers) {
        TDateTime end = IsoStrToDateTime(trig->EndBoundary);
        if (end < 1)
            return; // a trigger without an end never expires
        expiry = std::max(expiry, end);
    }
    for (TDateTime n : t.Next)
        if (n > 0)
            return;
    TDateTime when = expiry + DurationToSeconds(t.Def.DeleteExpiredTaskAfter) * SecondDays;
    if (SecondsUntil(when) > 0)
        return;
    Log("Task " + t.Path + " has expired and is deleted");
    std::remove(TaskDefinitionFile(t.Path).c_str());
    std::remove(TaskStateFile(t.Path).c_str());
    t.Valid = false;
}

std::string TSchedDaemon::Handle(const std::string& request)
{
    std::string verb = request.substr(0, request.find(' '));
    std::string arg = request.size() > verb.size() ? request.substr(verb.size() + 1) : "";
    if (verb == "status")
        return "ok " + std::to_string(getpid());
    if (verb == "refresh") {
        Scan(false);
        return "ok";
    }
    if (verb == "run" || verb == "stop") {
        Scan(false);
        auto it = FTasks.find(arg);
        if (it == FTasks.end() || !it->second.Valid)
            return Format("error %d %s", {HResultFromWin32(2), _("The scheduled task does not exist.")});
        TTask& t = it->second;
        if (verb == "stop") {
            if (t.Running.empty() && !t.Queued)
                return Format("error %d %s", {SCHED_E_TASK_NOT_RUNNING, _("The task is not running.")});
            t.Queued = false;
            t.Pending.clear();
            Log("Task " + t.Path + " is stopped on request");
            StopInstances(t);
            SaveState(t);
            return "ok";
        }
        if (!t.Def.Enabled)
            return Format("error %d %s", {static_cast<HRESULT>(0x80041326), _("The task is disabled.")});
        if (!t.Def.AllowDemandStart)
            return Format("error %d %s", {static_cast<HRESULT>(0x80070005),
                                          _("The task does not allow a start on demand.")});
        Fire(t, -1, true, "on request");
        return "ok";
    }
    return Format("error %d %s", {E_INVALIDARG, _("Unknown request")});
}

void TSchedDaemon::Serve(int client)
{
    std::string line;
    char buf[1024];
    for (int tries = 0; tries < 50 && line.find('\n') == std::string::npos && line.size() < 65536; ++tries) {
        pollfd p{client, POLLIN, 0};
        if (poll(&p, 1, 100) <= 0)
            continue;
        ssize_t n = recv(client, buf, sizeof(buf), 0);
        if (n <= 0)
            break;
        line.append(buf, static_cast<size_t>(n));
    }
    size_t nl = line.find('\n');
    std::string answer =
        nl == std::string::npos ? "error -2147024809 incomplete request" : Handle(line.substr(0, nl));
    answer += "\n";
    [[maybe_unused]] ssize_t n = send(client, answer.data(), answer.size(), MSG_NOSIGNAL);
}

double TSchedDaemon::NextWake()
{
    // at most a second: the store is read again and the clock checked at least that often
    double wait = 1.0;
    double mono = Mono();
    for (auto& [path, t] : FTasks) {
        if (!t.Valid || !t.Def.Enabled)
            continue;
        for (TDateTime n : t.Next)
            if (n > 0)
                wait = std::min(wait, SecondsUntil(n));
        for (const TPendingStart& p : t.Pending)
            wait = std::min(wait, p.At - mono);
        if (t.RestartAt > 0)
            wait = std::min(wait, t.RestartAt - mono);
    }
    return std::max(0.0, wait);
}

int TSchedDaemon::Run()
{
    std::string storeDir = TaskStoreDir();
    std::string mk;
    for (size_t pos = 1; pos != std::string::npos;) {
        pos = storeDir.find('/', pos + 1);
        mkdir(storeDir.substr(0, pos).c_str(), 0700);
    }
    int lock = open(SchedDaemonLockFile().c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (lock < 0) {
        std::fprintf(stderr, "vastrel-schedd: cannot open %s: %s\n", SchedDaemonLockFile().c_str(),
                     std::strerror(errno));
        return 1;
    }
    if (flock(lock, LOCK_EX | LOCK_NB) != 0) {
        std::string owner = ReadSmallFile(SchedDaemonLockFile());
        std::fprintf(stderr, "vastrel-schedd: another scheduler daemon (process %s) already serves %s\n",
                     std::string(TrimBlanks(owner)).c_str(), TaskStoreRoot().c_str());
        close(lock);
        return 0;
    }
    std::string pidText = std::to_string(getpid()) + "\n";
    [[maybe_unused]] int rc = ftruncate(lock, 0);
    [[maybe_unused]] ssize_t wn = pwrite(lock, pidText.data(), pidText.size(), 0);

    if (pipe2(GSignalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return 1;
    struct sigaction sa
    {
    };
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int sig : {SIGCHLD, SIGTERM, SIGINT, SIGHUP})
        sigaction(sig, &sa, nullptr);
    signal(SIGPIPE, SIG_IGN);

    if (!Listen())
        return 1;
    if (!FLogind.Open())
        Log("logind does not answer on the system bus: wake-up and idle triggers and the idle condition are "
            "not "
            "available");
    FBootId = std::string(TrimBlanks(ReadSmallFile("/proc/sys/kernel/random/boot_id")));
    double uptime = std::atof(ReadSmallFile("/proc/uptime").c_str());
    FFreshBoot = uptime > 0 && uptime < 600;
    Log("vastrel-schedd " + std::to_string(getpid()) + " serves " + TaskStoreRoot() +
        (FAtLogon ? " (session start)" : ""));
    Scan(true);

    TDateTime lastWall = Clock::Current().NowUtc();
    double lastMono = Mono();
    while (!GTerminate) {
        // a jump of the wall clock: due times are planned again from now
        double wallStep = (Clock::Current().NowUtc() - lastWall) * SecsPerDay;
        double monoStep = Mono() - lastMono;
        if (std::abs(wallStep - monoStep) > 120) {
            Log(Format("The clock moved by %d s", {static_cast<int>(wallStep - monoStep)}));
            for (auto& [path, t] : FTasks)
                if (t.Valid && wallStep < monoStep)
                    PlanAll(t, NowLocal());
        }
        lastWall = Clock::Current().NowUtc();
        lastMono = Mono();

        Reap();
        for (auto& [path, t] : FTasks) {
            CheckDue(t);
            CheckInstances(t);
        }
        FLogind.Woke = false;

        std::vector<pollfd> fds = {{FListen, POLLIN, 0}, {GSignalPipe[0], POLLIN, 0}};
        if (FLogind.Available())
            fds.push_back({FLogind.Fd(), FLogind.Events(), 0});
        int timeout = static_cast<int>(std::ceil(NextWake() * 1000));
        if (poll(fds.data(), fds.size(), timeout) < 0 && errno != EINTR)
            break;
        if (fds[1].revents & POLLIN) {
            char buf[64];
            while (read(GSignalPipe[0], buf, sizeof(buf)) > 0) {
            }
        }
        if (fds.size() > 2 && fds[2].revents)
            FLogind.Process();
        if (fds[0].revents & POLLIN) {
            for (;;) {
                int client = accept4(FListen, nullptr, nullptr, SOCK_CLOEXEC);
                if (client < 0)
                    break;
                Serve(client);
                close(client);
            }
        }
        Scan(false);
    }
    Log("vastrel-schedd " + std::to_string(getpid()) + " ends");
    unlink(SchedDaemonSocket().c_str());
    close(FListen);
    close(lock);
    return 0;
}

} // namespace

int SchedDaemonMain(int argc, char** argv)
{
    bool detach = false;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--detach")
            detach = true;
        else if (a == "--foreground")
            detach = false;
        else if (a == "--help" || a == "-h") {
            std::printf("Usage: vastrel-schedd [--foreground | --detach]\n"
                        "Starts the scheduled tasks of the Vastrel suite for the current user.\n");
            return 0;
        } else {
            std::fprintf(stderr, "vastrel-schedd: unknown option %s\n", argv[i]);
            return 2;
        }
    }
    FormatSettings() = TFormatSettings::FromLocale("");
    if (detach) {
        pid_t pid = fork();
        if (pid < 0)
            return 1;
        if (pid > 0)
            return 0;
        setsid();
        int null = open("/dev/null", O_RDWR);
        if (null >= 0) {
            dup2(null, 0);
            dup2(null, 1);
            dup2(null, 2);
            if (null > 2)
                close(null);
        }
    }
    TSchedDaemon daemon(!detach);
    return daemon.Run();
}
