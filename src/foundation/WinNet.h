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
