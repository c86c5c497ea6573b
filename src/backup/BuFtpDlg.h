#pragma once
// The FTP connection of a task: defaults, the [Ftp] and [Proxy] sections of task files, the URL texts
// that task lists and logs show, and the set-up of a connection from the settings. (The dialog that
// edits the settings is the GUI's.)

#include <functional>
#include <memory>
#include <string>

#include "archive/FtpUtils.h"
#include "foundation/IniFileUtils.h"

void InitFtpParams(TFtpParams& FtpPar);
void InitCertInfos(TCertInfos& CertInfos);

// Reads Section and [Proxy] into FtpPar; missing keys give the defaults, never fails.
void ReadFtpParams(const TMemIniFile& IniFile, const std::string& Section, TFtpParams& FtpPar);
// Erases Section and writes every key; writes [Proxy] without erasing it.
void WriteFtpParams(TMemIniFile& IniFile, const std::string& Section, const TFtpParams& FtpPar);

// "ftp://host:21/dir" ("ftps" with TLS, "[host]" over IPv6); empty without a host.
std::string MakeFtpUrl(const TFtpParams& FtpPar, const std::string& Dir);
std::string GetFtpUrl(const TFtpParams& FtpPar);
std::string GetTaskFtpUrl(const TMemIniFile& IniFile);
std::string GetTaskFileFtpUrl(const std::string& FileName);
// InitFtpParams when the file does not exist, else ReadFtpParams of its [Ftp] section.
void LoadFtpParams(const std::string& FileName, TFtpParams& FtpPar);

// Asks for a missing password: title, message; returns false when the user declines (or nobody can
// be asked). The password is used for this connection only.
using TFtpPasswordPrompt =
    std::function<bool(const std::string& Title, const std::string& Text, std::string& Password)>;

// Creates, configures and connects a connection for a tool and changes to the task's directory.
// True on success; otherwise Ftp is empty.
bool CreateFtpConnection(const TFtpParams& FtpPar, std::unique_ptr<TExtFtp>& Ftp,
                         const TFtpPasswordPrompt& AskPassword = nullptr);
