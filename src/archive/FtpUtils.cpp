#include "archive/FtpUtils.h"

#include <chrono>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "rtl/Gettext.h"
#include "rtl/SysUtils.h"

namespace {

void Pause200()
{
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
}

std::string TrimText(const std::string& s)
{
    size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos)
        return "";
    size_t e = s.find_last_not_of(" \t\r\n");
    return s.substr(b, e - b + 1);
}

std::string ReplaceAllText(std::string s, const std::string& from, const std::string& to)
{
    for (size_t p = s.find(from); p != std::string::npos; p = s.find(from, p + to.size()))
        s.replace(p, from.size(), to);
    return s;
}

bool FileExistsFollow(const std::string& name)
{
    struct stat st;
    return !name.empty() && ::stat(name.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string LowerAscii(std::string s)
{
    for (char& c : s)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return s;
}

// A stream over a file descriptor that it closes.
class TFdStream : public THandleStream
{
public:
    explicit TFdStream(int fd) : THandleStream(fd, true) {}
};

} // namespace

// --- lists

int TFtpItemList::Add(std::string name, std::unique_ptr<TFtpFileInfo> info)
{
    FItems.push_back({std::move(name), std::move(info)});
    return Count() - 1;
}

int TFtpItemList::IndexOf(const std::string& name) const
{
    for (size_t i = 0; i < FItems.size(); ++i)
        if (FItems[i].name == name)
            return static_cast<int>(i);
    return -1;
}

int TFtpItemList::IndexOfListed(const std::string& serverName) const
{
    for (size_t i = 0; i < FItems.size(); ++i)
        if (FItems[i].info && FItems[i].info->FFileName == serverName)
            return static_cast<int>(i);
    return -1;
}

// --- path helpers

std::string IncludeTrailingSlash(const std::string& Path)
{
    if (Path.empty() || Path.back() == '/')
        return Path;
    return Path + "/";
}

std::string IncludeLeadingSlash(const std::string& Path)
{
    if (!Path.empty() && Path.front() == '/')
        return Path;
    return "/" + Path;
}

std::string ExcludeTrailingSlash(const std::string& Path)
{
    if (!Path.empty() && Path.back() == '/')
        return Path.substr(0, Path.size() - 1);
    return Path;
}

bool IsAbsoluteFtpPath(const std::string& Path)
{
    return !Path.empty() && Path.front() == '/';
}

std::string ToFtpPath(const std::string& Path)
{
    std::string s = Path;
    for (char& c : s)
        if (c == '\\')
            c = '/';
    return s;
}

std::string ExtractAfterLastDelimiter(const std::string& Delimiters, const std::string& S)
{
    size_t p = S.find_last_of(Delimiters);
    return p == std::string::npos ? S : S.substr(p + 1);
}

std::string ExtractFtpParentDir(const std::string& Path)
{
    size_t p = Path.find_last_of("\\/");
    return p == std::string::npos ? std::string() : Path.substr(0, p);
}

std::string JoinFtpPath(const std::string& Dir, const std::string& Name)
{
    return Dir.empty() ? Name : Dir + "/" + Name;
}

std::string ExtractRelativeFtpPath(const std::string& Base, const std::string& Path)
{
    std::string b = ToFtpPath(Base), p = ToFtpPath(Path);
    if (!StartsTextIgnoreCase(p, b))
        return "";
    return p.substr(b.size());
}

// --- TExtFtp: construction and settings

TExtFtp::TExtFtp(const std::string& Path, const std::string& Root, const std::string& Cert,
                 const std::string& Key, const std::string& Pwd)
    : FList(std::make_unique<TFileList>())
{
    Passive = true;
    UseHOST = true;
    // TLS needs OpenSSL only; the certificate files are offered when they exist.
    fTLS = TTlsContext::Available();
    if (!Root.empty())
        fRoot = Path + Root;
    if (!Cert.empty())
        fCert = Path + Cert;
    if (!Key.empty())
        fKey = Path + Key;
    fCertPwd = Pwd;
    FConn.Log().SetFileName("FtpLog.txt");
    FConn.Log().SetActive(false);
    Encoding();
    SetSecureTransfer(0);
    fCertInfo.ValidUntil = Now();
}

TExtFtp::TExtFtp() : TExtFtp("", "", "", "", "") {}

TExtFtp::~TExtFtp()
{
    FConn.Disconnect();
}

void TExtFtp::SetUpTls()
{
    if (!fTLS || TlsContext)
        return;
    TTlsClientFiles files;
    if (FileExistsFollow(fRoot))
        files.RootFile = fRoot;
    if (FileExistsFollow(fCert) && FileExistsFollow(fKey)) {
        files.CertFile = fCert;
        files.KeyFile = fKey;
    }
    files.KeyPassword = fCertPwd;
    std::function<std::string()> pwd;
    if (OnSSLPassword) {
        TGetPassword cb = OnSSLPassword;
        std::string fallback = fCertPwd;
        pwd = [cb, fallback] {
            std::string p = fallback;
            cb(p);
            return p;
        };
    }
    try {
        TlsContext = std::make_shared<TTlsContext>(files, pwd);
        // Data connections resume the control connection's session, and servers that insist on it
        // (vsftpd's require_ssl_reuse) accept a TLS 1.3 ticket only once: stay with TLS 1.2, whose
        // sessions serve every data connection.
        TlsContext->SetMaxVersionTls12(true);
        if (!TlsContext->LoadError().empty())
            FConn.Log().Error(TlsContext->LoadError());
    } catch (const ENetError& e) {
        FConn.Log().Error(e.Message());
        TlsContext.reset();
        fTLS = false;
        SetSecureTransfer(fSecureMode);
    }
}

void TExtFtp::SetParams(const TFtpParams& FtpPar)
{
    SetSecureTransfer(FtpPar.SecureMode);
    Host = FtpPar.Host;
    Port = FtpPar.Port;
    Passive = FtpPar.Passive;
    ForceUtf8 = FtpPar.ForceUtf8;
    UseKeepAlive = FtpPar.KeepAlive != 0;
    SetUseIPv6(FtpPar.UseIPv6);
    UseOpts = FtpPar.UseOpts;
    UseExts = FtpPar.UseExts;
    UseHOST = FtpPar.UseHost;
    Username = FtpPar.Username;
    VerifyPeerMode = FtpPar.CertVerify;
    PeerFingerprint = FtpPar.Fingerprint;
    SetWriteLogFile(FtpPar.WriteLog);
    CaseMode = FtpPar.CaseMode;
    UseQuotes = FtpPar.Quotes;
    ReplaceChars = FtpPar.InvalidChars;
    TimeOffset = FtpPar.UseTimeOffset ? FtpPar.TimeOffset : 0;
    ConnectTimeout = FtpPar.ConnTimeout > 0 ? FtpPar.ConnTimeout : 60000;
    ReadTimeout = FtpPar.ResponseTimeOut > 0 ? FtpPar.ResponseTimeOut : 60000;
    ListenTimeout = ReadTimeout;
    MaxRetries = FtpPar.ConnAttempts > 0 ? FtpPar.ConnAttempts : 1;
}

void TExtFtp::SetSecureTransfer(int Value)
{
    fSecureMode = Value;
    if (fTLS && Value >= 1 && Value <= 3) {
        UseTLS = Value == 1 ? utUseExplicitTLS : Value == 2 ? utUseRequireTLS : utUseImplicitTLS;
        DataPortProtectionPrivate = true;
    } else {
        UseTLS = utNoTLSSupport;
        DataPortProtectionPrivate = false;
    }
}

TFtpEncoding TExtFtp::Encoding()
{
    fEncoding = DefaultEncoding();
    return fEncoding;
}

void TExtFtp::SetEncoding(TFtpEncoding Value)
{
    if (Value != fEncoding)
        ForceEncoding(Value, UseOpts);
}

void TExtFtp::ForceEncoding(TFtpEncoding Value, bool AUseOpts)
{
    try {
        if (Value == feUtf8) {
            if (AUseOpts) {
                int code = SendCmd("OPTS UTF8 ON").Code;
                if (code != 200 && code != 220)
                    SendCmd("OPTS UTF-8 NLST");
            }
        } else if (AUseOpts)
            SendCmd("OPTS UTF8 OFF");
    } catch (const ENetError& e) {
        SetIndyError(e.Message());
    }
    SetDefaultEncoding(Value);
    fEncoding = Value;
}

bool TExtFtp::UseIPv6()
{
    fUseIPv6 = IPVersion == 6;
    return fUseIPv6;
}

void TExtFtp::SetUseIPv6(bool Value)
{
    IPVersion = Value ? 6 : 4;
    fUseIPv6 = Value;
}

std::string TExtFtp::Logname() const
{
    return const_cast<TExtFtp*>(this)->FConn.Log().FileName();
}

void TExtFtp::SetLogname(const std::string& Value)
{
    FConn.Log().SetFileName(Value);
}

void TExtFtp::SetWriteLogFile(bool Value)
{
    FConn.Log().SetActive(Value);
}

void TExtFtp::SetTempDir(const std::string& Value)
{
    fTmpDir = Value.empty() ? Value : IncludeTrailingSlash(Value);
}

// --- texts

void TExtFtp::SetIndyError(const std::string& Value)
{
    if (!fIdError.empty())
        return;
    std::string s = TrimText(Value);
    s = ReplaceAllText(s, "\r\n", "<EOL>");
    s = ReplaceAllText(s, "\r", "<CR>");
    s = ReplaceAllText(s, "\n", "<LF>");
    fIdError = s;
}

std::string TExtFtp::IndyError()
{
    std::string result;
    if (!fIdError.empty())
        result = "Reported error: " + fIdError;
    else
        result = "Last FTP response: " + LastResponseString();
    fIdError.clear();
    return result;
}

std::string TExtFtp::LastResponseString() const
{
    std::string s = LastReply().CodeAndText();
    if (!fIdError.empty() && LowerAscii(s).find(LowerAscii(fIdError)) == std::string::npos)
        s += " (" + fIdError + ")";
    return s;
}

std::string TExtFtp::ServerName()
{
    std::string scheme = (fTLS && fSecureMode > 0) ? "ftps" : "ftp";
    if (UseIPv6())
        return scheme + "://[" + Host + "]:" + std::to_string(Port);
    return scheme + "://" + Host + ":" + std::to_string(Port);
}

std::string TExtFtp::CapabilitiesString() const
{
    std::string s;
    for (const std::string& c : Capabilities()) {
        if (!s.empty())
            s += ',';
        s += c.find_first_of(" ,\"") != std::string::npos ? "\"" + ReplaceAllText(c, "\"", "\"\"") + "\"" : c;
    }
    return s;
}

// --- names

std::string TExtFtp::ModifyName(const std::string& FName) const
{
    std::string s = ReplaceChars.empty() ? FName : EscapeChars(FName, ReplaceChars);
    return CaseMode == tcNone ? s : ChangeTextCase(s, CaseMode);
}

std::string TExtFtp::RetrieveName(const std::string& FName) const
{
    return ReplaceChars.empty() ? FName : UnescapeChars(FName);
}

std::string TExtFtp::MakeQuotedPath(const std::string& s) const
{
    if (UseQuotes && s.find(' ') != std::string::npos)
        return "\"" + ReplaceAllText(s, "\"", "\"\"") + "\"";
    return s;
}

// --- connection

void TExtFtp::RecordCertificate()
{
    if (!IsSecure())
        return;
    TPeerCertificate cert = FConn.Socket().PeerCertificate();
    if (!cert.Present)
        return;
    fFingerPrint = cert.Md5Fingerprint;
    fCertInfo.Fingerprint = cert.Md5Fingerprint;
    fCertInfo.Server = ServerName();
    fCertInfo.Version = cert.Version;
    fCertInfo.Issuer = cert.Issuer;
    fCertInfo.ValidUntil = cert.NotAfterUnix ? UnixToLocalDateTime(cert.NotAfterUnix) : 0;
    std::string hex;
    for (char c : cert.SerialHex)
        if (c != ':')
            hex += c;
    fCertInfo.SerialNumber = 0;
    if (!hex.empty() && hex.size() <= 8)
        fCertInfo.SerialNumber = static_cast<int32_t>(std::stoul(hex, nullptr, 16));
}

void TExtFtp::DoAfterLogin()
{
    fUTF8 = IsExtSupported("UTF8");
    // A server that announces UTF8 uses it for names (RFC 2640).
    SetDefaultEncoding(fUTF8 ? feUtf8 : fe8Bit);
    Encoding();
}

bool TExtFtp::DoConnect(int NRepeat, bool Verify)
{
    fIdError.clear();
    FConn.Log().Status(SafeFormat(_("Connection to FTP server: %s:%u"), {Host, Port}));
    fValidDirectoryListing = false;
    SetUpTls();
    SetSecureTransfer(fSecureMode);
    FConn.Log().AddSecret(Password);
    fFingerPrint.clear();
    fCertInfo = TCerticateInfo();
    fCertInfo.ValidUntil = Now();
    int attempts = NRepeat < 1 ? 1 : NRepeat;
    bool ok = false;
    for (int i = 0; i < attempts && !ok; ++i) {
        if (i > 0) {
            Pause200();
            FConn.Disconnect();
        }
        try {
            Connect();
            ok = true;
        } catch (const ENetError& e) {
            SetIndyError(e.Message());
        }
        if (!ok && Cancelled())
            break;
    }
    if (!ok) {
        FConn.Log().Error("Reported error: " + fIdError);
        return false;
    }
    RecordCertificate();
    if (Verify && VerifyPeerMode > 0) {
        bool accepted;
        if (VerifyPeerMode == 2)
            accepted = !fFingerPrint.empty() && LowerAscii(fFingerPrint) == LowerAscii(PeerFingerprint);
        else
            accepted = OnConfirmCert ? OnConfirmCert(fCertInfo) : false;
        if (!accepted) {
            FConn.Disconnect();
            fIdError.clear();
            SetIndyError("Error verifying server certificate");
            return false;
        }
    }
    if (ForceUtf8)
        ForceEncoding(feUtf8, UseOpts);
    else if (UseOpts && fUTF8) {
        try {
            SendCmd("OPTS UTF8 ON");
        } catch (const ENetError& e) {
            SetIndyError(e.Message());
        }
    }
    UseExtensionDataPort = UseExts && IPVersion == 6;
    return ReadCurrentDir(fDir);
}

bool TExtFtp::ReConnect(const std::string& Dir, bool Check, bool UpdateList)
{
    if (Check && Connected())
        return true;
    FConn.Disconnect();
    if (!DoConnect(3, false))
        return false;
    ChangeToDir(Dir);
    if (UpdateList)
        GetFileList();
    return true;
}

bool TExtFtp::Connected() const
{
    try {
        return ControlConnected();
    } catch (...) {
        return false;
    }
}

bool TExtFtp::RetryAfterLoss(bool UpdateList, int& Attempts, bool Transfer)
{
    if (Attempts >= MaxRetries || Cancelled() || (Transfer && fAborted))
        return false;
    ++Attempts;
    FConn.Log().Error("Trying to reconnect - " + fIdError);
    Pause200();
    if (Cancelled())
        return false;
    return ReConnect(fCurrentDir, false, UpdateList);
}

// --- listings

bool TExtFtp::RefreshListing()
{
    if (fValidDirectoryListing)
        return true;
    int attempts = 0;
    for (;;) {
        if (Connected()) {
            try {
                FListing = List(true);
                fValidDirectoryListing = true;
                return true;
            } catch (const ENetError& e) {
                SetIndyError(e.Message());
                if (!e.IsConnectionLoss())
                    return false;
            } catch (const std::exception&) {
                SetIndyError("Unknown/unspecified error");
                return false;
            }
        } else
            SetIndyError("FTP connection lost!");
        if (!RetryAfterLoss(false, attempts, false))
            return false;
    }
}

template <class TList> bool TExtFtp::FillList(TList* List, bool Directories)
{
    if (!List || !RefreshListing())
        return false;
    List->Clear();
    for (const TFtpListItem& item : FListing) {
        if ((item.ItemType == fitDirectory) != Directories)
            continue;
        List->Add(RetrieveName(item.Name),
                  std::make_unique<TFtpFileInfo>(item.Name, item.Size, item.ModifiedLocal, item.ModifiedUtc));
    }
    return true;
}

bool TExtFtp::GetFileList(TFileList* AFileList)
{
    return FillList(AFileList, false);
}

bool TExtFtp::GetDirList(TDirectoryList* DirList)
{
    return FillList(DirList, true);
}

bool TExtFtp::FtpFileExists(const std::string& FName)
{
    if (!GetFileList())
        return false;
    return FList->IndexOfListed(ModifyName(FName)) >= 0;
}

bool TExtFtp::FtpDirExists(const std::string& DName)
{
    TDirectoryList dirs;
    if (!GetDirList(&dirs))
        return false;
    return dirs.IndexOfListed(ModifyName(DName)) >= 0;
}

// --- transfers

unsigned TExtFtp::TransferWithRetries(const std::function<unsigned()>& transfer, unsigned failure,
                                      unsigned dataRefused)
{
    fAborted = false;
    unsigned result = 0;
    int attempts = 0;
    for (;;) {
        bool retryable = false;
        NATKeepAlive = UseKeepAlive;
        try {
            result = transfer();
        } catch (const ENetError& e) {
            SetIndyError(e.Message());
            if (e.Kind() == nekTimeout) {
                result = 285;
                retryable = true;
            } else if (e.Kind() == nekSocket || e.Kind() == nekClosed) {
                result = 283;
                retryable = true;
            } else
                result = LastReply().Code == 425 ? dataRefused : failure;
        } catch (const std::exception& e) {
            SetIndyError(e.what());
            result = failure;
        }
        NATKeepAlive = false;
        FConn.Socket().SetKeepAlive(false);
        if (!retryable)
            break;
        if (fAborted || attempts >= MaxRetries || Cancelled())
            break;
        if (!RetryAfterLoss(true, attempts, true)) {
            result = 282;
            break;
        }
    }
    return result;
}

unsigned TExtFtp::Flush(TStream& ASource, const std::string& ADestFile, bool AAppend)
{
    if (!ReConnect(fCurrentDir, true, true))
        return 282;
    std::string name = MakeQuotedPath(ModifyName(ADestFile));
    unsigned result = TransferWithRetries(
        [&] {
            ASource.SetPosition(0);
            Put(ASource, name, AAppend);
            return LastReply().Code >= 400 ? 281u : 0u;
        },
        281, 284);
    if (result == 0 && !ReConnect(fCurrentDir, true, true))
        result = 283;
    return result;
}

unsigned TExtFtp::Fill(const std::string& ASourceFile, TStream& ADest)
{
    if (!ReConnect(fCurrentDir, true, true))
        return 282;
    std::string name = MakeQuotedPath(ModifyName(ASourceFile));
    unsigned result = TransferWithRetries(
        [&] {
            ADest.SetSize(0);
            ADest.SetPosition(0);
            Get(name, ADest);
            return 0u;
        },
        280, 280);
    try {
        ADest.SetPosition(0);
    } catch (const std::exception&) {
    }
    if (result == 0 && !ReConnect(fCurrentDir, true, true))
        result = 283;
    return result;
}

unsigned TExtFtp::CopyFile(const std::string& ASourceFile, const std::string& ADestFile)
{
    if (!FileExistsFollow(ASourceFile))
        return 258;
    if (ADestFile.empty())
        return 257;
    int fd = ::open(ASourceFile.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return 258;
    TFdStream source(fd);
    return Flush(source, ADestFile, false);
}
