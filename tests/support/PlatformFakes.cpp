#include "support/PlatformFakes.h"

#include <algorithm>
#include <sys/stat.h>

#include "platform/ErrorCodes.h"

namespace {

bool IsBelow(const std::string& path, const std::string& mountPoint)
{
    if (mountPoint == "/")
        return !path.empty() && path[0] == '/';
    if (path.compare(0, mountPoint.size(), mountPoint) != 0)
        return false;
    return path.size() == mountPoint.size() || path[mountPoint.size()] == '/';
}

} // namespace

bool FakeVolumeProvider::QueryVolume(const std::string& path, TVolumeInfo& info)
{
    info = TVolumeInfo{};
    const TVolumeInfo* best = nullptr;
    for (const auto& v : Volumes) {
        if (IsBelow(path, v.MountPoint) && (!best || v.MountPoint.size() >= best->MountPoint.size()))
            best = &v;
    }
    if (!best)
        return false;
    info = *best;
    return true;
}

uint32_t FakeShareConnector::Connect(const TShareName& share, const std::string& user, const std::string&,
                                     const std::string& password)
{
    Calls.push_back({"connect", UncRoot(share), user, password});
    uint32_t rc = 0;
    if (!ConnectResults.empty()) {
        rc = ConnectResults.front();
        ConnectResults.erase(ConnectResults.begin());
    }
    if (rc == 0 || rc == ERROR_ALREADY_ASSIGNED) {
        std::string root = UncRoot(share);
        if (std::find(Connected.begin(), Connected.end(), root) == Connected.end())
            Connected.push_back(root);
        if (!MountBase.empty()) {
            ::mkdir((MountBase + "/" + share.Server).c_str(), 0700);
            ::mkdir((MountBase + "/" + share.Server + "/" + share.Share).c_str(), 0700);
        }
    }
    return rc;
}

uint32_t FakeShareConnector::Disconnect(const TShareName& share)
{
    std::string root = UncRoot(share);
    Calls.push_back({"disconnect", root, "", ""});
    auto it = std::find(Connected.begin(), Connected.end(), root);
    if (it == Connected.end())
        return ERROR_NOT_CONNECTED;
    Connected.erase(it);
    return 0;
}

std::string FakeShareConnector::LocalPath(const TShareName& share)
{
    std::string root = UncRoot(share);
    if (std::find(Connected.begin(), Connected.end(), root) == Connected.end() || MountBase.empty())
        return {};
    return MountBase + "/" + share.Server + "/" + share.Share;
}
