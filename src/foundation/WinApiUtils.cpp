#include "foundation/WinApiUtils.h"

#include <algorithm>
#include <unistd.h>

#include "platform/ErrorCodes.h"
#include "platform/EventLog.h"
#include "platform/FileSecurity.h"
#include "platform/FileStatus.h"
#include "platform/MachineInfo.h"
#include "platform/XdgDirs.h"
#include "rtl/Gettext.h"
#include "rtl/SysUtils.h"

struct TStreamSearch
{
    std::string File;
    std::vector<std::string> Names;
    size_t Next = 0;
};

namespace {

bool Is64BitMachine(const std::string& machine)
{
    return machine == "x86_64" || machine == "aarch64" || machine == "ppc64le" || machine == "s390x" ||
           machine == "riscv64" || machine == "loongarch64";
}

} // namespace

uint32_t FindFirstStream(const std::string& fileName, TWin32FindStream& stream)
{
    stream = TWin32FindStream{};
    TPosixFileData d;
    if (uint32_t rc = ReadFileData(fileName, true, d))
        return rc;
    auto search = std::make_shared<TStreamSearch>();
    search->File = fileName;
    if (uint32_t rc = ListAltStreams(fileName, search->Names))
        return rc;
    stream.FindHandle = search;
    stream.Size = d.Size;
    stream.Name = "::$DATA";
    return 0;
}

uint32_t FindNextStream(TWin32FindStream& stream)
{
    if (!stream.FindHandle)
        return WinError::ERROR_INVALID_HANDLE;
    TStreamSearch& s = *stream.FindHandle;
    while (s.Next < s.Names.size()) {
        const std::string& attr = s.Names[s.Next++];
        std::string value;
        if (ExtAttrLayer::Current().Get(s.File, attr, value, true) != 0)
            continue;                                  // removed meanwhile
        stream.Name = ":" + attr.substr(5) + ":$DATA"; // without "user."
        stream.Size = static_cast<int64_t>(value.size());
        return 0;
    }
    return WinError::ERROR_HANDLE_EOF;
}

std::string GetTempDir()
{
    return TempDir() + "/";
}

std::string GetCurrentUserName()
{
    return MachineInfo::Current().UserName();
}

std::string GetDomainUserName()
{
    return GetCurrentUserName();
}

std::string GetLocalComputerName()
{
    return MachineInfo::Current().HostName();
}

std::string GetUserProfileDir()
{
    return HomeDir();
}

bool IsAdministrator()
{
    return MachineInfo::Current().IsRoot();
}

bool IsProcessElevated()
{
    return MachineInfo::Current().IsRoot();
}

bool SetPrivilege(const std::string& /*name*/, bool /*enable*/)
{
    return true;
}

std::string GetUserSidString()
{
    return "S-1-22-1-" + std::to_string(::geteuid());
}

int GetUserSessionCount()
{
    std::vector<TUserSession> sessions;
    if (!MachineInfo::Current().UserSessions(sessions))
        return -1;
    return static_cast<int>(sessions.size());
}

TDateTime GetUserLogonTime()
{
    std::vector<TUserSession> sessions;
    std::string user = GetCurrentUserName();
    int64_t first = 0;
    if (MachineInfo::Current().UserSessions(sessions)) {
        for (const auto& s : sessions)
            if (s.UserName == user && s.LogonTime > 0 && (first == 0 || s.LogonTime < first))
                first = s.LogonTime;
    }
    return first > 0 ? UnixToLocalDateTime(first) : Now();
}

bool Is64BitWindows()
{
    return Is64BitMachine(MachineInfo::Current().Machine());
}

bool IsNative64Process()
{
    return sizeof(void*) == 8;
}

std::string GetShortFileVersion(const std::string& /*fileName*/, const std::string& defaultValue)
{
    return defaultValue;
}

uint32_t WriteEventLog(const std::string& source, uint16_t eventType, uint16_t category, uint32_t eventId,
                       const std::vector<std::string>& strings)
{
    EventLogSink& sink = EventLogSink::Current();
    if (!sink.Available())
        return 0;
    return sink.Report({source, eventType, category, eventId, strings});
}

bool EventSourceExists(const std::string& /*source*/)
{
    return EventLogSink::Current().Available();
}

std::string GetWindowsVersionText()
{
    MachineInfo& m = MachineInfo::Current();
    std::string bits = Is64BitWindows() ? _("64-bit Edition") : _("32-bit Edition");
    std::string kernel = m.KernelRelease();
    std::string name = OsDisplayName(m.OsReleaseText());
    if (kernel.empty())
        return SafeFormat(_("%s (%s)"), {name, bits});
    return SafeFormat(_("%s (Kernel %s, %s)"), {name, kernel, bits});
}

bool IsWin64()
{
    return Is64BitWindows();
}
