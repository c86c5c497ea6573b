#pragma once
// The suite's FTP and FTPS connection: settings from one record, connection attempts with pauses, TLS
// with optional client certificate files, a check of the server certificate, name mapping, a cached
// listing of the current server directory, uploads and downloads that reconnect by themselves after a
// lost connection, the server's directories, files and time stamps, and the first error text of an
// operation for the task log.
//
// Operations never raise for network errors: they return a Boolean, a small number or an error word
// (0 = success; 280 download failed, 281 upload failed, 282 no connection, 283 connection closed by the
// server, 284 data connection refused, 285 time-out) and keep the first error text for IndyError().
// After a lost connection an operation reconnects and tries again at most MaxRetries times, and not at
// all once OnCheckCancel reports a cancel (or, for transfers, after AbortTransfer).

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "archive/FtpClient.h"
#include "foundation/StringUtils.h"
#include "rtl/DateTime.h"
#include "rtl/Streams.h"

// FTP-level proxy of a connection.
struct TFtpProxyParams
{
    std::string Server;
    std::string Username;
    std::string Password;
    int Port = 2121;
    TIdFtpProxyType Mode = fpcmNone;
};

// The settings of one FTP connection ([Ftp] section of a task file).
struct TFtpParams
{
    std::string Caption;
    std::string Host;
    std::string Username;
    std::string Directory;
    std::string InvalidChars;
    std::string Fingerprint;
    std::string Password;
    int Port = 21;
    int SecureMode = 0; // 0 none, 1 explicit if offered, 2 explicit required, 3 implicit
    int TimeOffset = 0; // minutes
    int ConnTimeout = 60000;
    int ConnAttempts = 1;
    int ResponseTimeOut = 60000;
    int CertVerify = 0; // 0 none, 1 the user confirms, 2 compare with Fingerprint
    int KeepAlive = 0;
    int KeepAliveCmd = 0;
    bool UseTimeOffset = false;
    bool Quotes = false;
    bool Passive = true;
    bool UseHost = false;
    bool WriteLog = false;
    bool ForceUtf8 = false;
    bool UseIPv6 = false;
    bool UseExts = false;
    bool UseOpts = false;
    TTextChange CaseMode = tcNone;
    TFtpProxyParams Proxy;
};

// Client certificate files for FTPS (and SMTP).
struct TCertInfos
{
    std::string CertDir; // with a trailing "/"
    std::string RootCertFile;
    std::string CertFile;
    std::string KeyFile;
    std::string Password;
};

// The server certificate that was presented.
struct TCerticateInfo
{
    int Version = 0;
    int32_t SerialNumber = 0;
    std::string Server;
    std::string Issuer;
    std::string Fingerprint;
    TDateTime ValidUntil = 0;
};

// One listed server item.
class TFtpFileInfo
{
public:
    TFtpFileInfo(std::string AFilename, int64_t ASize, TDateTime AMd, TDateTime AMdG)
        : FFileName(std::move(AFilename)), FSize(ASize), FModifiedDate(AMd), FModifiedDateGMT(AMdG)
    {
    }
    std::string FFileName; // the name exactly as the server listed it
    int64_t FSize;
    TDateTime FModifiedDate;    // local time
    TDateTime FModifiedDateGMT; // UTC
};

// A case-sensitive list of names, each with a TFtpFileInfo that the list owns.
class TFtpItemList
{
public:
    TFtpItemList() = default;
    virtual ~TFtpItemList() = default;
    TFtpItemList(const TFtpItemList&) = delete;
    TFtpItemList& operator=(const TFtpItemList&) = delete;

    int Count() const { return static_cast<int>(FItems.size()); }
    const std::string& Strings(int index) const { return FItems.at(static_cast<size_t>(index)).name; }
    TFtpFileInfo* Objects(int index) const { return FItems.at(static_cast<size_t>(index)).info.get(); }
    int Add(std::string name, std::unique_ptr<TFtpFileInfo> info);
    // Index of a local name, -1 when absent.
    int IndexOf(const std::string& name) const;
    // Index of the entry whose listed (server) name is serverName, -1 when absent.
    int IndexOfListed(const std::string& serverName) const;
    virtual void Clear() { FItems.clear(); }

private:
    struct Item
    {
        std::string name;
        std::unique_ptr<TFtpFileInfo> info;
    };
    std::vector<Item> FItems;
};

class TFileList : public TFtpItemList
{
};

class TDirectoryList : public TFtpItemList
{
};

using TGetPassword = std::function<void(std::string& APassword)>;
using TConfirmPeerCert = std::function<bool(const TCerticateInfo& ACertInfo)>;
// Returns true when the user cancelled.
using TCancelStatusEvent = std::function<bool()>;

// --- server path helpers ("/"-separated)
std::string IncludeTrailingSlash(const std::string& Path);
std::string IncludeLeadingSlash(const std::string& Path);
std::string ExcludeTrailingSlash(const std::string& Path);
bool IsAbsoluteFtpPath(const std::string& Path);
std::string ToFtpPath(const std::string& Path);
std::string ExtractAfterLastDelimiter(const std::string& Delimiters, const std::string& S);
std::string ExtractFtpParentDir(const std::string& Path);
std::string JoinFtpPath(const std::string& Dir, const std::string& Name);
std::string ExtractRelativeFtpPath(const std::string& Base, const std::string& Path);

class TExtFtp : public TFtpClient
{
public:
    // Path: folder of the certificate files (with a trailing "/"); Root, Cert, Key: file names in it;
    // Pwd: the key file's password. Without files the connection still offers TLS, without a client
    // certificate.
    TExtFtp(const std::string& Path, const std::string& Root, const std::string& Cert, const std::string& Key,
            const std::string& Pwd);
    TExtFtp();
    ~TExtFtp() override;

    // --- settings
    void SetParams(const TFtpParams& FtpPar);
    void SetSecureTransfer(int Value);
    int SecureTransfer() const { return fSecureMode; }
    bool CanUseTls() const { return fTLS; }
    TFtpEncoding Encoding();
    void SetEncoding(TFtpEncoding Value);
    void ForceEncoding(TFtpEncoding Value, bool UseOpts);
    bool UseIPv6();
    void SetUseIPv6(bool Value);
    std::string Logname() const;
    void SetLogname(const std::string& Value);
    void SetWriteLogFile(bool Value);
    const std::string& TempDir() const { return fTmpDir; }
    void SetTempDir(const std::string& Value);

    std::string PeerFingerprint;
    int VerifyPeerMode = 0;
    TConfirmPeerCert OnConfirmCert;
    TGetPassword OnSSLPassword;
    bool UseKeepAlive = false;
    std::string ReplaceChars;
    TTextChange CaseMode = tcNone;
    bool UseQuotes = false;
    int TimeOffset = 0; // minutes
    bool ForceUtf8 = false;
    bool UseOpts = false;
    bool UseExts = false;
    // Reconnections one operation may make after lost connections.
    int MaxRetries = 3;
    // Asked before each reconnection; true stops the operation (the run was cancelled).
    std::function<bool()> OnCheckCancel;

    const std::string& Fingerprint() const { return fFingerPrint; }
    const TCerticateInfo& CertInfo() const { return fCertInfo; }
    const std::string& RemoteDir() const { return fDir; }
    const std::string& CurrentDir() const { return fCurrentDir; }
    const std::string& ChangeDirResponse() const { return FChangeDirResponse; }
    bool ValidDirectoryListing() const { return fValidDirectoryListing; }
    void SetValidDirectoryListing(bool v) { fValidDirectoryListing = v; }
    TFileList& FileList() { return *FList; }
    int DCount() const { return fDCount; }

    // --- texts
    // "Reported error: " + the stored text, or "Last FTP response: " + LastResponseString; clears it.
    std::string IndyError();
    // Keeps only the first text of an operation, on one line.
    void SetIndyError(const std::string& Value);
    int LastResponseCode() const { return LastReply().Code; }
    std::string LastResponseString() const;
    std::string ServerName();
    std::string CapabilitiesString() const;

    // --- connection
    bool DoConnect(int NRepeat, bool Verify);
    bool ReConnect(const std::string& Dir, bool Check, bool UpdateList);
    bool Connected() const;
    void AbortTransfer() { fAborted = true; }

    // --- listings
    bool RefreshListing();
    bool GetFileList(TFileList* AFileList);
    bool GetFileList() { return GetFileList(FList.get()); }
    bool GetDirList(TDirectoryList* DirList);
    bool FtpFileExists(const std::string& FName);
    bool FtpDirExists(const std::string& DName);

    // --- names
    std::string ModifyName(const std::string& FName) const;
    std::string RetrieveName(const std::string& FName) const;
    std::string MakeQuotedPath(const std::string& s) const;

    // --- transfers (error words)
    unsigned Flush(TStream& ASource, const std::string& ADestFile, bool AAppend);
    unsigned Fill(const std::string& ASourceFile, TStream& ADest);
    unsigned CopyFile(const std::string& ASourceFile, const std::string& ADestFile);

    // --- directories
    void FtpChangeDir(const std::string& DName);
    bool ChangeToDir(const std::string& DName);
    int ChangeToNewDir(const std::string& DName);
    bool ChangeOneDirUp();
    bool ForceDir(const std::string& DName);
    bool ForceDirUp();
    bool SetRemoteDir(const std::string& Dir);
    bool ReadCurrentDir(std::string& Dir);
    std::string GetCurrentDir();
    bool DeleteDir(const std::string& DName);
    bool DeleteEmptyDirs(const std::string& DName, bool DelRoot, int& ADCount,
                         const TCancelStatusEvent& WasCanceled = nullptr);
    bool DeleteTree(const std::string& DName, bool DelRoot, int& FCount);
    int DirFiles(const std::string& DName);

    // --- files
    bool DeleteFile(const std::string& FName, bool InitListing);
    int DeleteExistingFile(const std::string& FName);
    int DeleteMatchingFiles(const std::string& AMask);
    int DeleteSubDirFile(const std::string& ADir, const std::string& FName);
    bool RenameFile(const std::string& OldName, const std::string& NewName, bool InitListing);
    int64_t GetSize(TFileList* AFileList, const std::string& FName);
    int64_t GetSize(const std::string& FName) { return GetSize(FList.get(), FName); }
    bool CheckSize(const std::string& FName, int64_t ASize);

    // --- time stamps
    TDateTime GetModTime(const std::string& AFileName, bool AsGMT);
    TDateTime GetTimeStamp(TFileList* AFileList, const std::string& FName, bool AsGMT);
    TDateTime GetTimeStamp(const std::string& FName, bool AsGMT)
    {
        return GetTimeStamp(FList.get(), FName, AsGMT);
    }
    int CheckTimeStamp(const std::string& FName, TDateTime tm, int Delta, TDateTime& fdt, bool AsGMT);
    int CheckTimeStamp(const std::string& FName, TDateTime tm, int Delta, bool AsGMT);
    bool SetTimeStamp(const std::string& FName, TDateTime ATime, bool UseGMT);
    bool SetTimeStampFromFile(const std::string& ASourceFile, const std::string& FName, bool CheckTime);
    uint64_t GetLocalFileTime(TFileList* AFileList, const std::string& FName);
    uint64_t GetLocalFileTime(const std::string& FName) { return GetLocalFileTime(FList.get(), FName); }

protected:
    void DoAfterLogin() override;

private:
    void SetUpTls();
    void RecordCertificate();
    // Log line, pause and reconnection after a lost connection; false when the operation must give up.
    bool RetryAfterLoss(bool UpdateList, int& Attempts, bool Transfer);
    bool Cancelled() const { return OnCheckCancel && OnCheckCancel(); }
    void ParseCurrentDirFromReply(const std::string& DName, bool& Result);
    std::vector<TFtpListItem> FreshListing();
    // Changes into DName (nothing for ""); on failure goes back to where it was and returns false.
    bool EnterTreeFolder(const std::string& DName);
    // Runs a transfer (its result word) again after a lost connection or time-out, within the retries
    // of the task: 0, 285 time-out, 283 connection lost, 282 no reconnection, dataRefused when the
    // server refused the data connection (425), else failure.
    unsigned TransferWithRetries(const std::function<unsigned()>& transfer, unsigned failure,
                                 unsigned dataRefused);
    void ProcessMessages();
    template <class TList> bool FillList(TList* List, bool Directories);

    std::unique_ptr<TFileList> FList;
    bool fTLS = false;
    bool fUTF8 = false;
    bool fUseIPv6 = false;
    std::atomic<bool> fAborted{false};
    std::string fDir;
    std::string fCurrentDir;
    std::string FChangeDirResponse;
    std::string fFingerPrint;
    TCerticateInfo fCertInfo;
    std::string fCertPwd;
    TFtpEncoding fEncoding = fe8Bit;
    std::string fRoot, fCert, fKey;
    std::string fTmpDir;
    std::string fIdError;
    int fSecureMode = 0;
    int fDCount = 0;
    bool fValidDirectoryListing = false;
    std::vector<TFtpListItem> FListing; // the cached listing of the current directory
};
