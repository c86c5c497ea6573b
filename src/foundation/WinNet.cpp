#include "foundation/WinNet.h"

#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <thread>
#include <unistd.h>

#include "foundation/WinDevUtils.h"
#include "platform/ErrorCodes.h"
#include "platform/MountTable.h"
#include "platform/NetShares.h"

namespace {

TUserAccount DefaultShareAccount;
std::string LastShareName;
std::string LastShareUser;
TShareLogonPrompt LogonPrompt;
int RetryDelayMs = 1000;

bool IsDir(const std::string& path)
{
    struct stat st
    {
    };
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// "DOMAIN\user" or "user@domain" split into its parts.
void SplitUser(const std::string& full, std::string& user, std::string& domain)
{
    auto bs = full.find('\\');
    if (bs != std::string::npos) {
        domain = full.substr(0, bs);
        user = full.substr(bs + 1);
        return;
    }
    domain.clear();
    user = full;
}

uint32_t ConnectWithRetries(const TShareName& share, const std::string& fullUser, const std::string& password)
{
    std::string user, domain;
    SplitUser(fullUser, user, domain);
    uint32_t rc = 0;
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (attempt > 0 && RetryDelayMs > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(RetryDelayMs));
        rc = ShareConnector::Current().Connect(share, user, domain, password);
        if (rc != WinError::ERROR_NETNAME_DELETED)
            break;
    }
    return rc;
}

} // namespace

void SetShareLogonPrompt(TShareLogonPrompt prompt)
{
    LogonPrompt = std::move(prompt);
}

void SetShareRetryDelay(int milliseconds)
{
    RetryDelayMs = milliseconds;
}

std::string ShareLocalPath(const std::string& path)
{
    TShareName share;
    if (!ParseUncPath(path, share))
        return path;
    std::string local = ShareConnector::Current().LocalPath(share);
    if (local.empty())
        return path;
    return share.Rest.empty() ? local : local + "/" + share.Rest;
}

uint32_t InitNetResource(const std::string& path, TNetResource& resource)
{
    resource = TNetResource{};
    TShareName share;
    if (ParseUncPath(path, share)) {
        resource.RemoteName = UncRoot(share);
        return ERROR_NOT_CONNECTED;
    }
    TVolumeInfo volume;
    std::string existing = ExistingAncestor(path);
    if (existing.empty() || !VolumeProvider::Current().QueryVolume(existing, volume))
        return ERROR_BAD_DEVICE;
    resource.LocalName = volume.MountPoint;
    if (FsKindOfType(volume.FsType) != TFsKind::fkRemote)
        return ERROR_NOT_CONNECTED;
    resource.RemoteName = volume.Device;
    return 0;
}

void FreeNetResource(TNetResource& resource)
{
    resource.LocalName.clear();
    resource.RemoteName.clear();
    resource.Comment.clear();
    resource.Provider.clear();
}

uint32_t ConnectToShare(const std::string& path, const std::string& userName, const TUserAccount& account,
                        bool noWriteTest, bool prompt)
{
    LastShareUser.clear();
    LastShareName.clear();
    TShareName share;
    if (!ParseUncPath(path, share)) {
        // A mounted share (or any folder): reachable when it exists.
        if (!IsDir(path))
            return WinError::ERROR_BAD_NETPATH;
        LastShareName = path;
        return 0;
    }
    std::string remote = UncRoot(share);
    uint32_t rc;
    if (!ShareConnector::Current().LocalPath(share).empty()) {
        rc = 0; // already connected: nothing to add
    } else if (!account.Username.empty()) {
        rc = ConnectWithRetries(share, account.Username, account.Password);
        if (rc == ERROR_ALREADY_ASSIGNED || rc == ERROR_DEVICE_ALREADY_REMEMBERED)
            rc = 0;
        if (rc == 0)
            LastShareUser = account.Username;
    } else if (userName.empty()) {
        rc = WinError::ERROR_LOGON_FAILURE;
    } else {
        rc = ConnectWithRetries(share, userName, "");
        if (rc == ERROR_ALREADY_ASSIGNED || rc == ERROR_DEVICE_ALREADY_REMEMBERED ||
            rc == ERROR_SESSION_CREDENTIAL_CONFLICT)
            rc = 0;
    }
    if (rc != 0 && rc != WinError::ERROR_BAD_NETPATH && prompt) {
        bool prompted = false;
        do {
            TUserAccount entered;
            if (!LogonPrompt || !LogonPrompt(remote, entered)) {
                rc = WinError::ERROR_CANCELLED;
                break;
            }
            prompted = true;
            rc = ConnectWithRetries(share, entered.Username, entered.Password);
            if (rc == ERROR_ALREADY_ASSIGNED)
                rc = 0;
        } while (rc != 0);
        if (rc == 0 && prompted && !noWriteTest && !CheckWriteAccess(ShareLocalPath(remote)))
            rc = WinError::ERROR_ACCESS_DENIED;
    }
    if (rc == 0)
        LastShareName = remote;
    return rc;
}

uint32_t ConnectWithDefaultAccount(const std::string& path, const std::string& userName, bool noWriteTest,
                                   bool prompt)
{
    return ConnectToShare(path, userName, DefaultShareAccount, noWriteTest, prompt);
}

uint32_t AddNetConnection(const std::string& path)
{
    TShareName share;
    if (!ParseUncPath(path, share))
        return IsDir(path) ? 0 : ERROR_NOT_CONNECTED;
    if (!ShareConnector::Current().LocalPath(share).empty())
        return 0;
    std::string user, domain;
    SplitUser(DefaultShareAccount.Username, user, domain);
    return ShareConnector::Current().Connect(share, user, domain, DefaultShareAccount.Password);
}

bool ReconnectPath(const std::string& path)
{
    return AddNetConnection(path) == 0;
}

bool IsDiskAccessible(const std::string& path)
{
    struct statvfs sv
    {
    };
    return ::statvfs(ShareLocalPath(path).c_str(), &sv) == 0;
}

bool CheckWriteAccess(const std::string& dir)
{
    std::string d = dir;
    while (d.size() > 1 && d.back() == '/')
        d.pop_back();
    bool created = false;
    if (!IsDir(d)) {
        // Create the folder and its missing parents; only the last level is removed again.
        std::string cur;
        for (size_t pos = 1; pos <= d.size(); ++pos) {
            if (pos == d.size() || d[pos] == '/') {
                cur = d.substr(0, pos);
                if (!IsDir(cur)) {
                    if (::mkdir(cur.c_str(), 0777) != 0)
                        return false;
                    created = cur == d;
                }
            }
        }
    }
    static std::mt19937 rng(
        static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count()));
    char name[32];
    std::snprintf(name, sizeof name, "test-%.3u.tmp", static_cast<unsigned>(rng() % 1000));
    std::string file = d + "/" + name;
    int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    bool ok = fd >= 0;
    if (ok) {
        ::close(fd);
        ::unlink(file.c_str());
    }
    if (created)
        ::rmdir(d.c_str());
    return ok;
}

bool IsPathAvailable(const std::string& path)
{
    if (GetPathKind(path) != PATH_NOT_AVAILABLE)
        return true;
    return ReconnectPath(path) && GetPathKind(path) != PATH_NOT_AVAILABLE;
}

std::string GetLastConnection()
{
    return LastShareName;
}

void SetUserAccount(const std::string& username, const std::string& password, TUserAccount& account)
{
    account.Username = username;
    account.Password = password;
}

void SetDefaultAccount(const std::string& username, const std::string& password)
{
    SetUserAccount(username, password, DefaultShareAccount);
}

bool GetConnectedUser(std::string& user)
{
    user = LastShareUser;
    return !user.empty();
}

int64_t CancelLastConnection(std::string& remoteName, std::string& user)
{
    remoteName = LastShareName;
    user = LastShareUser;
    int64_t result = -1;
    TShareName share;
    if (!remoteName.empty() && !user.empty() && ParseUncPath(remoteName, share)) {
        result = ShareConnector::Current().Disconnect(share);
        DefaultShareAccount = TUserAccount{};
    }
    LastShareName.clear();
    LastShareUser.clear();
    return result;
}

void CloseLastConnection()
{
    std::string r, u;
    CancelLastConnection(r, u);
}
