#include "mainwindow/BuMainInstance.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

#include "foundation/PathUtils.h"
#include "foundation/StringUtils.h"
#include "platform/ErrorCodes.h"
#include "platform/XdgDirs.h"

namespace {

const char* const Tag = "VASTREL-INSTANCE-1";

std::string NetString(const std::string& s)
{
    return std::to_string(s.size()) + ":" + s + ",";
}

// Reads one netstring at pos; false when the bytes end early or are malformed.
bool ReadNetString(const std::string& bytes, size_t& pos, std::string& out)
{
    size_t colon = bytes.find(':', pos);
    if (colon == std::string::npos || colon == pos || colon - pos > 9)
        return false;
    size_t len = 0;
    for (size_t i = pos; i < colon; ++i) {
        if (bytes[i] < '0' || bytes[i] > '9')
            return false;
        len = len * 10 + static_cast<size_t>(bytes[i] - '0');
    }
    if (colon + 1 + len >= bytes.size() || bytes[colon + 1 + len] != ',')
        return false;
    out = bytes.substr(colon + 1, len);
    pos = colon + 2 + len;
    return true;
}

std::string BaseName()
{
    return "Vastrel-" + std::to_string(getuid());
}

bool SetSocketAddress(sockaddr_un& addr, const std::string& path)
{
    std::memset(&addr, 0, sizeof addr);
    addr.sun_family = AF_UNIX;
    if (path.size() >= sizeof addr.sun_path)
        return false;
    std::memcpy(addr.sun_path, path.c_str(), path.size());
    return true;
}

sockaddr* AsSockaddr(sockaddr_un& addr)
{
    return reinterpret_cast<sockaddr*>(&addr);
}

bool WaitReadable(int fd, int ms)
{
    pollfd p{fd, POLLIN, 0};
    int r;
    do
        r = ::poll(&p, 1, ms);
    while (r < 0 && errno == EINTR);
    return r > 0;
}

bool SendAll(int fd, const std::string& text)
{
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = ::send(fd, text.data() + done, text.size() - done, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

// Reads one answer line; false at the end of the connection. timeoutMs < 0 waits without limit.
bool ReadLine(int fd, std::string& line, int timeoutMs)
{
    line.clear();
    for (;;) {
        if (!WaitReadable(fd, timeoutMs))
            return false;
        char c;
        ssize_t n = ::recv(fd, &c, 1, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        if (c == '\n')
            return true;
        line += c;
        if (line.size() > 64)
            return false;
    }
}

int Connect(const std::string& path)
{
    sockaddr_un addr;
    if (!SetSocketAddress(addr, path))
        return -1;
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    if (::connect(fd, AsSockaddr(addr), sizeof addr) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool LockHeld(const std::string& lockPath)
{
    int fd = ::open(lockPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool held = ::flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(fd);
    return held;
}

} // namespace

std::string InstanceDir()
{
    std::string dir = XdgRuntimeDir();
    if (dir.empty()) {
        dir = AddPathDelimiter(TempDir()) + "vastrel-" + std::to_string(getuid());
        ::mkdir(dir.c_str(), 0700);
    }
    return AddPathDelimiter(dir);
}

std::string EncodeHandOver(const THandOver& request)
{
    std::string out = NetString(Tag) + NetString(std::to_string(static_cast<int>(request.Mode))) +
                      NetString(request.Dir) + NetString(std::to_string(request.Args.size()));
    for (const auto& a : request.Args)
        out += NetString(a);
    return out;
}

bool DecodeHandOver(const std::string& bytes, THandOver& request)
{
    size_t pos = 0;
    std::string tag, mode, count;
    if (!ReadNetString(bytes, pos, tag) || tag != Tag || !ReadNetString(bytes, pos, mode) ||
        !ReadNetString(bytes, pos, request.Dir) || !ReadNetString(bytes, pos, count))
        return false;
    if (mode.size() != 1 || mode[0] < '0' || mode[0] > '3' || count.empty() || count.size() > 4 ||
        count.find_first_not_of("0123456789") != std::string::npos)
        return false;
    request.Mode = static_cast<THandOverMode>(mode[0] - '0');
    request.Args.clear();
    const int n = std::stoi(count);
    for (int i = 0; i < n; ++i) {
        std::string a;
        if (!ReadNetString(bytes, pos, a))
            return false;
        request.Args.push_back(a);
    }
    return pos == bytes.size();
}

// ---- the first instance

TInstanceRequest::~TInstanceRequest()
{
    if (FFd >= 0)
        ::close(FFd);
}

void TInstanceRequest::Send(const std::string& text)
{
    if (FFd >= 0)
        SendAll(FFd, text);
}

void TInstanceRequest::Acknowledge()
{
    Send("A\n");
}

void TInstanceRequest::Finish(int exitCode)
{
    Send("R " + std::to_string(exitCode) + "\n");
    ::close(FFd);
    FFd = -1;
}

void TInstanceRequest::Refuse()
{
    Send("N\n");
    ::close(FFd);
    FFd = -1;
}

std::unique_ptr<TInstanceServer> TInstanceServer::TryCreate(const std::string& dir, uint32_t& code)
{
    const std::string lockPath = AddPathDelimiter(dir) + BaseName() + ".lock";
    const std::string sockPath = AddPathDelimiter(dir) + BaseName() + ".sock";
    int lockFd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (lockFd < 0) {
        code = LastWinError();
        return nullptr;
    }
    if (::flock(lockFd, LOCK_EX | LOCK_NB) != 0) {
        code = errno == EWOULDBLOCK ? WinError::ERROR_LOCK_VIOLATION : LastWinError();
        ::close(lockFd);
        return nullptr;
    }
    // A socket file left by an instance that died is no longer listened on: replace it.
    ::unlink(sockPath.c_str());
    sockaddr_un addr;
    int fd = -1;
    if (SetSocketAddress(addr, sockPath))
        fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0 || ::bind(fd, AsSockaddr(addr), sizeof addr) != 0 || ::listen(fd, 8) != 0) {
        code = fd < 0 && errno == 0 ? WinError::ERROR_INVALID_PARAMETER : LastWinError();
        if (fd >= 0)
            ::close(fd);
        ::close(lockFd);
        return nullptr;
    }
    ::chmod(sockPath.c_str(), 0600);
    code = 0;
    return std::unique_ptr<TInstanceServer>(new TInstanceServer(lockFd, fd, sockPath));
}

TInstanceServer::~TInstanceServer()
{
    Close();
}

void TInstanceServer::Close()
{
    if (FListen >= 0) {
        ::close(FListen);
        ::unlink(FSocketPath.c_str());
        FListen = -1;
    }
    if (FLock >= 0) {
        ::close(FLock);
        FLock = -1;
    }
}

std::unique_ptr<TInstanceRequest> TInstanceServer::Accept()
{
    if (FListen < 0)
        return nullptr;
    int fd = ::accept4(FListen, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0)
        return nullptr;
    // Only the same user may talk to this instance (the folder is private, the socket mode 0600).
    ucred cred{};
    socklen_t len = sizeof cred;
    if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &len) != 0 || cred.uid != getuid()) {
        ::close(fd);
        return nullptr;
    }
    std::string bytes;
    THandOver request;
    const auto start = std::chrono::steady_clock::now();
    while (!DecodeHandOver(bytes, request)) {
        const auto elapsed =
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start)
                .count();
        if (elapsed >= 2000 || bytes.size() > 1024 * 1024 ||
            !WaitReadable(fd, static_cast<int>(2000 - elapsed))) {
            ::close(fd);
            return nullptr;
        }
        char buf[4096];
        ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ::close(fd);
            return nullptr;
        }
        bytes.append(buf, static_cast<size_t>(n));
    }
    return std::make_unique<TInstanceRequest>(fd, std::move(request));
}

// ---- the second start

THandOverResult HandOver(const std::string& dir, const THandOver& request, int& exitCode, int waitMs)
{
    const std::string lockPath = AddPathDelimiter(dir) + BaseName() + ".lock";
    const std::string sockPath = AddPathDelimiter(dir) + BaseName() + ".sock";
    exitCode = 0;
    int fd = -1;
    for (int waited = 0;; waited += 50) {
        fd = Connect(sockPath);
        if (fd >= 0)
            break;
        // Nobody listens: an instance that holds the lock is starting or closing; wait for it a while.
        if (!LockHeld(lockPath) || waited >= waitMs)
            return hoNoInstance;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    if (!SendAll(fd, EncodeHandOver(request))) {
        ::close(fd);
        return hoNoInstance;
    }
    std::string line;
    // The first answer comes at once from a working instance; one that is closing may drop the call.
    if (!ReadLine(fd, line, 10000) || line == "N") {
        ::close(fd);
        return line == "N" ? hoRefused : hoNoInstance;
    }
    if (line == "A") {
        if (!ReadLine(fd, line, -1)) {
            ::close(fd);
            return hoLost;
        }
    }
    ::close(fd);
    if (line.rfind("R ", 0) != 0)
        return hoLost;
    exitCode = std::atoi(line.c_str() + 2);
    return hoDone;
}

// ---- the role of a start

TInstanceRole ChooseInstanceRole(uint8_t flags, const TCmdLineValues& cmd, const std::string& taskArg,
                                 bool& send, THandOverMode& mode)
{
    (void)cmd;
    send = false;
    mode = hmShow;
    if ((flags & (sfBatch | sfEdit | sfEndAction | sfOwnIni)) != 0)
        return irSeparate;
    if (!taskArg.empty()) {
        const std::string ext = ExtractExtension(taskArg);
        send = true;
        mode = utf8::SameText(ext, "rsj") || utf8::SameText(ext, "cuj") || utf8::SameText(ext, "vfj")
                   ? hmEdit
                   : hmControlPanel;
        return irInteractive;
    }
    // Without a task only a start without any option brings the first instance to the front.
    send = flags == 0;
    return irInteractive;
}

bool CanHandOverBatch(uint8_t flags, const TCmdLineValues& cmd)
{
    return flags == sfBatch && cmd.ForceTask && !cmd.CleanTask && !cmd.VerifyTask && !cmd.RestTask &&
           !cmd.ProtTask && cmd.QvInstance == 0 && !cmd.BuParallel && cmd.LogOffMode == dmNone &&
           cmd.SuspendMode == smNone && !cmd.CmdTasks.empty() && cmd.SDir.empty();
}
