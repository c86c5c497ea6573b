#include "scheduling/TaskStore.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

#include "foundation/WinExecute.h"
#include "platform/ErrorCodes.h"
#include "platform/FileText.h"
#include "platform/XdgDirs.h"
#include "rtl/Gettext.h"

namespace {

std::string GDaemonProgram;

HRESULT LastErrorResult()
{
    return HResultFromWin32(LastWinError());
}

void MakeDirs(const std::string& dir)
{
    std::string part;
    size_t pos = 0;
    while (pos != std::string::npos) {
        pos = dir.find('/', pos + 1);
        part = dir.substr(0, pos);
        if (part.empty())
            continue;
        if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST)
            throw EOleSysError(
                Format(_("Cannot create the folder \"%s\": %s"), {part, SystemErrorText(LastWinError())}),
                LastErrorResult());
    }
}

std::vector<std::string> ListDir(const std::string& folderPath, bool folders)
{
    std::string dir = TaskFolderDir(folderPath);
    DIR* d = opendir(dir.c_str());
    if (!d) {
        if (errno == ENOENT && (folderPath.empty() || folderPath == "\\"))
            return {}; // an empty store
        HRESULT hr = errno == ENOENT ? HResultFromWin32(3) : LastErrorResult();
        throw EOleSysError(
            Format(_("Cannot read the task folder \"%s\": %s"), {folderPath, SystemErrorText(hr & 0xFFFF)}),
            hr);
    }
    std::vector<std::string> names;
    while (dirent* e = readdir(d)) {
        std::string n = e->d_name;
        if (n.empty() || n[0] == '.')
            continue;
        struct stat st
        {
        };
        if (stat((dir + "/" + n).c_str(), &st) != 0)
            continue;
        if (folders) {
            if (S_ISDIR(st.st_mode))
                names.push_back(UnescapeTaskName(n));
        } else if (S_ISREG(st.st_mode) && n.size() > 4 && n.compare(n.size() - 4, 4, ".xml") == 0) {
            names.push_back(UnescapeTaskName(n.substr(0, n.size() - 4)));
        }
    }
    closedir(d);
    std::sort(names.begin(), names.end());
    return names;
}

// "\A\B" -> "A/B" with each part escaped.
std::string RelativeDir(const std::string& path)
{
    std::string rel, part;
    for (size_t i = 0; i <= path.size(); ++i) {
        if (i == path.size() || path[i] == '\\') {
            if (!part.empty()) {
                if (!rel.empty())
                    rel += '/';
                rel += EscapeTaskName(part);
            }
            part.clear();
        } else {
            part += path[i];
        }
    }
    return rel;
}

} // namespace

std::string TaskStoreDir()
{
    return XdgDataHome() + "/vastrel";
}

std::string TaskStoreRoot()
{
    return TaskStoreDir() + "/tasks";
}

std::string SchedDaemonLockFile()
{
    return TaskStoreDir() + "/schedd.lock";
}

std::string SchedDaemonLogFile()
{
    return TaskStoreDir() + "/schedd.log";
}

std::string SchedDaemonSocket()
{
    std::string dir = XdgRuntimeDir();
    if (dir.empty())
        dir = TempDir() + "/vastrel-" + std::to_string(getuid());
    return dir + "/vastrel-schedd.socket";
}

std::string EscapeTaskName(const std::string& name)
{
    std::string out;
    for (size_t i = 0; i < name.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(name[i]);
        if (c == '/' || c == '\\' || c == '%' || c < 0x20 || (i == 0 && c == '.'))
            out += Format("%%%.2X", {static_cast<int>(c)});
        else
            out += static_cast<char>(c);
    }
    return out;
}

std::string UnescapeTaskName(const std::string& fileName)
{
    std::string out;
    for (size_t i = 0; i < fileName.size(); ++i) {
        if (fileName[i] == '%' && i + 2 < fileName.size() + 0 &&
            isxdigit(static_cast<unsigned char>(fileName[i + 1])) &&
            isxdigit(static_cast<unsigned char>(fileName[i + 2]))) {
            out += static_cast<char>(std::stoi(fileName.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            out += fileName[i];
        }
    }
    return out;
}

std::string JoinTaskPath(const std::string& folderPath, const std::string& name)
{
    if (folderPath.empty() || folderPath == "\\")
        return "\\" + name;
    return folderPath + "\\" + name;
}

std::string TaskFolderDir(const std::string& folderPath)
{
    std::string rel = RelativeDir(folderPath);
    return rel.empty() ? TaskStoreRoot() : TaskStoreRoot() + "/" + rel;
}

std::string TaskDefinitionFile(const std::string& taskPath)
{
    return TaskStoreRoot() + "/" + RelativeDir(taskPath) + ".xml";
}

std::string TaskStateFile(const std::string& taskPath)
{
    return TaskStoreRoot() + "/" + RelativeDir(taskPath) + ".state";
}

std::vector<std::string> ListTaskNames(const std::string& folderPath)
{
    return ListDir(folderPath, false);
}

std::vector<std::string> ListTaskFolders(const std::string& folderPath)
{
    return ListDir(folderPath, true);
}

TTaskDefinition ReadTaskDefinition(const std::string& taskPath)
{
    std::string text;
    if (!ReadWholeFile(TaskDefinitionFile(taskPath), text)) {
        HRESULT hr = errno == ENOENT ? HResultFromWin32(2) : LastErrorResult();
        throw EOleSysError(Format(_("Cannot read the scheduled task \"%s\""), {taskPath}), hr);
    }
    try {
        return TaskDefinitionFromXml(text);
    } catch (const EXmlError& e) {
        throw EOleSysError(Format(_("The scheduled task \"%s\" is damaged: %s"), {taskPath, e.Message()}),
                           SCHED_E_MALFORMED_XML);
    }
}

void WriteTaskDefinition(const std::string& taskPath, const TTaskDefinition& def)
{
    std::string file = TaskDefinitionFile(taskPath);
    MakeDirs(ParentDirOf(file));
    if (uint32_t code = ReplaceFileContents(file, TaskDefinitionToXml(def)))
        throw EOleSysError(
            Format(_("Cannot write the scheduled task \"%s\": %s"), {taskPath, SystemErrorText(code)}),
            HResultFromWin32(code));
}

std::string TaskStateToText(const TTaskState& s)
{
    std::string t;
    t += "LastRunTime=" + DateTimeToIsoStr(false, s.LastRunTime) + "\n";
    t += "LastResult=" + std::to_string(s.LastResult) + "\n";
    t += "NextRunTime=" + DateTimeToIsoStr(false, s.NextRunTime) + "\n";
    t += "LastDueTime=" + DateTimeToIsoStr(false, s.LastDueTime) + "\n";
    t += "MissedRuns=" + std::to_string(s.MissedRuns) + "\n";
    t += "RunningPid=" + std::to_string(s.RunningPid) + "\n";
    t += "RunningCount=" + std::to_string(s.RunningCount) + "\n";
    t += "Queued=" + std::string(s.Queued ? "1" : "0") + "\n";
    t += "BootId=" + s.BootId + "\n";
    return t;
}

TTaskState TaskStateFromText(const std::string& text)
{
    TTaskState s;
    size_t pos = 0;
    auto toInt = [](const std::string& v, long long fallback) {
        try {
            return std::stoll(v);
        } catch (...) {
            return fallback;
        }
    };
    while (pos < text.size()) {
        size_t e = text.find('\n', pos);
        std::string line = text.substr(pos, e == std::string::npos ? std::string::npos : e - pos);
        pos = e == std::string::npos ? text.size() : e + 1;
        size_t eq = line.find('=');
        if (eq == std::string::npos)
            continue;
        std::string k = line.substr(0, eq), v = line.substr(eq + 1);
        if (k == "LastRunTime")
            s.LastRunTime = IsoStrToDateTime(v);
        else if (k == "LastResult")
            s.LastResult = static_cast<HRESULT>(toInt(v, SCHED_S_TASK_HAS_NOT_RUN));
        else if (k == "NextRunTime")
            s.NextRunTime = IsoStrToDateTime(v);
        else if (k == "LastDueTime")
            s.LastDueTime = IsoStrToDateTime(v);
        else if (k == "MissedRuns")
            s.MissedRuns = static_cast<int>(toInt(v, 0));
        else if (k == "RunningPid")
            s.RunningPid = static_cast<int>(toInt(v, 0));
        else if (k == "RunningCount")
            s.RunningCount = static_cast<int>(toInt(v, 0));
        else if (k == "Queued")
            s.Queued = v == "1";
        else if (k == "BootId")
            s.BootId = v;
    }
    return s;
}

TTaskState ReadTaskState(const std::string& taskPath)
{
    std::string text;
    if (!ReadWholeFile(TaskStateFile(taskPath), text))
        return {};
    return TaskStateFromText(text);
}

bool WriteTaskState(const std::string& taskPath, const TTaskState& state)
{
    return ReplaceFileContents(TaskStateFile(taskPath), TaskStateToText(state)) == 0;
}

// --- Socket

std::string SchedDaemonRequest(const std::string& request, int timeoutMs)
{
    auto notRunning = [] {
        return EOleSysError(_("The scheduler daemon vastrel-schedd does not answer."),
                            SCHED_E_SERVICE_NOT_RUNNING);
    };
    std::string path = SchedDaemonSocket();
    sockaddr_un addr{};
    if (path.size() >= sizeof(addr.sun_path))
        throw notRunning();
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        throw notRunning();
    addr.sun_family = AF_UNIX;
    path.copy(addr.sun_path, path.size());
    if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0) {
        close(fd);
        throw notRunning();
    }
    std::string line = request + "\n";
    if (send(fd, line.data(), line.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(line.size())) {
        close(fd);
        throw notRunning();
    }
    std::string answer;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline -
                                                                          std::chrono::steady_clock::now());
        if (left.count() <= 0)
            break;
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left.count())) <= 0)
            break;
        char buf[512];
        ssize_t n = recv(fd, buf, sizeof(buf), 0);
        if (n <= 0)
            break;
        answer.append(buf, static_cast<size_t>(n));
        if (answer.find('\n') != std::string::npos)
            break;
    }
    close(fd);
    size_t nl = answer.find('\n');
    if (nl == std::string::npos)
        throw notRunning();
    return answer.substr(0, nl);
}

bool SchedDaemonAnswers(int timeoutMs)
{
    try {
        return SchedDaemonRequest("status", timeoutMs).rfind("ok", 0) == 0;
    } catch (const EOleSysError&) {
        return false;
    }
}

void SetSchedDaemonProgram(const std::string& path)
{
    GDaemonProgram = path;
}

bool EnsureSchedDaemon(int timeoutMs)
{
    if (SchedDaemonAnswers())
        return true;
    std::string program = GDaemonProgram;
    if (program.empty()) {
        char self[4096];
        ssize_t n = readlink("/proc/self/exe", self, sizeof(self) - 1);
        if (n > 0) {
            std::string beside = ParentDirOf(std::string(self, static_cast<size_t>(n))) + "/vastrel-schedd";
            if (access(beside.c_str(), X_OK) == 0)
                program = beside;
        }
        if (program.empty())
            program = "vastrel-schedd";
    }
    try {
        // the program forks the daemon and ends at once
        WaitForProcess(StartProcess({program, "--detach"}, ""), timeoutMs, true);
    } catch (const Exception&) {
        return false;
    }
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < deadline) {
        if (SchedDaemonAnswers(200))
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}
