#pragma once
// Network shares of Linux. Shares that are already mounted (fstab, autofs) are ordinary folders.
// A share written as "//server/share/rest" is connected through GVfs ("gio mount smb://server/share")
// and reached under $XDG_RUNTIME_DIR/gvfs/smb-share:server=…,share=…/rest.
//
// Results are the Windows-style codes the suite's share logic knows: 0 success, 53 network path not
// found, 64 network name no longer available, 85 already connected, 1223 cancelled, 1326 logon
// failure, 2250 not connected, 50 when GVfs is not installed.

#include <cstdint>
#include <string>
#include <vector>

constexpr uint32_t ERROR_ALREADY_ASSIGNED = 85;
constexpr uint32_t ERROR_DEVICE_ALREADY_REMEMBERED = 1202;
constexpr uint32_t ERROR_SESSION_CREDENTIAL_CONFLICT = 1219;
constexpr uint32_t ERROR_BAD_DEVICE = 1200;
constexpr uint32_t ERROR_NOT_CONNECTED = 2250;

struct TShareName
{
    std::string Server;
    std::string Share;
    std::string Rest; // below the share, without leading slash
};

// Splits "//server/share/rest" (or with backslashes); false when Path is no UNC path with a share.
bool ParseUncPath(const std::string& path, TShareName& name);
// "//server/share" of a share name.
std::string UncRoot(const TShareName& name);

class ShareConnector
{
public:
    virtual ~ShareConnector() = default;
    // Connects the share with the given account; an empty user connects anonymously / as the user.
    virtual uint32_t Connect(const TShareName& share, const std::string& user, const std::string& domain,
                             const std::string& password) = 0;
    virtual uint32_t Disconnect(const TShareName& share) = 0;
    // The local folder of a connected share; empty when it is not connected.
    virtual std::string LocalPath(const TShareName& share) = 0;

    static ShareConnector& Current();
    // nullptr restores the real connector; the caller keeps ownership.
    static void SetCurrent(ShareConnector* connector);
};

class GioShareConnector : public ShareConnector
{
public:
    std::string GioProgram = "gio";
    uint32_t Connect(const TShareName& share, const std::string& user, const std::string& domain,
                     const std::string& password) override;
    uint32_t Disconnect(const TShareName& share) override;
    std::string LocalPath(const TShareName& share) override;
};

// The code of a failed "gio mount" from its message text.
uint32_t GioMountErrorCode(const std::string& output);
