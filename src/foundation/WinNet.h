#pragma once
// Making network shares reachable. A share is written "//server/share/…"; it is connected through the
// platform's ShareConnector (GVfs) and then reached in its local folder. Shares that are already
// mounted (fstab, autofs) are plain folders and connect at once.
//
// Results are Windows-style codes: 0 success, 5 write test failed, 53 network path not found,
// 64 network name gone (retried three times, one second apart), 85/1202/1219 count as success where
// the share logic says so, 1223 cancelled, 1326 logon failure, 2250 not connected.

#include <cstdint>
#include <functional>
#include <string>

struct TUserAccount
{
    std::string Username;
    std::string Password;
};

// The logon prompt that replaces the system's: asks for an account for the share RemoteName; false
// when the user cancels. Not set: there is no prompt (headless), which counts as a cancel.
using TShareLogonPrompt = std::function<bool(const std::string& remoteName, TUserAccount& account)>;
void SetShareLogonPrompt(TShareLogonPrompt prompt);
// The pause between connection attempts in milliseconds (1000); tests set 0.
void SetShareRetryDelay(int milliseconds);

// The description of the network resource of a path: a disk resource of global scope, connectable.
// For "//server/share/…" the local name is empty, the remote name "//server/share", and the result 2250
// (not connected). For a local path the local name is the mount point of its volume; on a network file
// system (NFS, SMB, sshfs, …) the remote name is the mount source and the result 0, on any other volume
// the remote name is empty and the result 2250; 1200 (bad device) when no volume holds the path.
struct TNetResource
{
    int Scope = 2;       // global network
    int Type = 1;        // disk
    int DisplayType = 0; // generic
    int Usage = 1;       // connectable
    std::string LocalName;
    std::string RemoteName;
    std::string Comment;
    std::string Provider;
};
uint32_t InitNetResource(const std::string& path, TNetResource& resource);
// Empties the names of the description.
void FreeNetResource(TNetResource& resource);

uint32_t ConnectToShare(const std::string& path, const std::string& userName, const TUserAccount& account,
                        bool noWriteTest, bool prompt);
uint32_t ConnectWithDefaultAccount(const std::string& path, const std::string& userName, bool noWriteTest,
                                   bool prompt);
uint32_t AddNetConnection(const std::string& path);
bool ReconnectPath(const std::string& path);
bool IsDiskAccessible(const std::string& path);
bool CheckWriteAccess(const std::string& dir);
bool IsPathAvailable(const std::string& path);
std::string GetLastConnection();
void SetUserAccount(const std::string& username, const std::string& password, TUserAccount& account);
void SetDefaultAccount(const std::string& username, const std::string& password);
bool GetConnectedUser(std::string& user);
int64_t CancelLastConnection(std::string& remoteName, std::string& user);
void CloseLastConnection();

// The local form of a path: a "//server/share/rest" path of a connected share becomes its folder in
// the share's mount; any other path is returned unchanged.
std::string ShareLocalPath(const std::string& path);
