#include "backup/BuFtpDlg.h"

#include "archive/PasswordText.h"
#include "foundation/BuConsts.h"
#include "foundation/InitProg.h"
#include "foundation/QvUtilsFolders.h"
#include "rtl/DateTime.h"
#include "rtl/Gettext.h"
#include "rtl/SysUtils.h"

#include <ctime>
#include <sys/stat.h>

namespace {

const char* const ProxySection = "Proxy";
constexpr int PasswordLength = 64;

int LocalUtcOffsetMinutes()
{
    return static_cast<int>(UtcOffsetSeconds(static_cast<int64_t>(std::time(nullptr))) / 60);
}

std::string DecodeStored(const std::string& text)
{
    std::string result;
    if (!text.empty())
        DecodePassword(UnscrambleKeyString(ProgramKeyString), text, false, result);
    return result;
}

std::string EncodeStored(const std::string& pwd)
{
    std::string result;
    if (!pwd.empty())
        EncodePassword(UnscrambleKeyString(ProgramKeyString), pwd, PasswordLength, result, false);
    return result;
}

int Clamp(int v, int lo, int hi, int def)
{
    return v < lo || v > hi ? def : v;
}

// A value written in double quotes loses one level of quotes.
std::string Unquote(const std::string& s)
{
    if (s.size() < 2 || s.front() != '"' || s.back() != '"')
        return s;
    std::string r;
    for (size_t i = 1; i + 1 < s.size(); ++i) {
        r += s[i];
        if (s[i] == '"' && s[i + 1] == '"')
            ++i;
    }
    return r;
}

std::string QuoteIfBlank(const std::string& s)
{
    if (s.find(' ') == std::string::npos)
        return s;
    std::string r = "\"";
    for (char c : s) {
        r += c;
        if (c == '"')
            r += '"';
    }
    return r + "\"";
}

std::string WithSlash(std::string dir)
{
    if (!dir.empty() && dir.back() != '/')
        dir += '/';
    return dir;
}

} // namespace

void InitFtpParams(TFtpParams& FtpPar)
{
    FtpPar = TFtpParams();
    FtpPar.TimeOffset = LocalUtcOffsetMinutes();
}

void InitCertInfos(TCertInfos& CertInfos)
{
    InitProgramLocation();
    CertInfos.CertDir = WithSlash(ProgramDir);
    CertInfos.RootCertFile = "Vastrelroot.pem";
    CertInfos.CertFile = "Vastrel.crt";
    CertInfos.KeyFile = "Vastrel.key";
    CertInfos.Password = "QuietHarborKey";
}

void ReadFtpParams(const TMemIniFile& IniFile, const std::string& Section, TFtpParams& FtpPar)
{
    const std::string& s = Section;
    FtpPar.Host = IniFile.ReadString(s, "Host", "");
    FtpPar.Port = IniFile.ReadInteger(s, "Port", 21);
    FtpPar.Username = IniFile.ReadString(s, "Username", "");
    FtpPar.Password = DecodeStored(IniFile.ReadString(s, "Password", ""));
    FtpPar.Directory = IniFile.ReadString(s, "SubDir", "");
    FtpPar.SecureMode = Clamp(IniFile.ReadInteger(s, "UseFTPS", 0), 0, 3, 0);
    FtpPar.Passive = IniFile.ReadBool(s, "Passive", true);
    FtpPar.ForceUtf8 = IniFile.ReadBool(s, "ForceUtf8", false);
    FtpPar.UseIPv6 = IniFile.ReadBool(s, "UseIPv6", false);
    FtpPar.UseOpts = IniFile.ReadBool(s, "UseOpts", false);
    FtpPar.UseExts = IniFile.ReadBool(s, "UseExtensions", false);
    FtpPar.UseHost = IniFile.ReadBool(s, "UseHost", false);
    int packed = IniFile.ReadInteger(s, "TimeOffset", FtpPar.TimeOffset + 720) & 0xFFFF;
    FtpPar.UseTimeOffset = (packed & 4096) != 0;
    FtpPar.TimeOffset = (packed & 4095) - 720;
    FtpPar.ConnAttempts = IniFile.ReadInteger(s, "Retry", 1);
    FtpPar.ConnTimeout = IniFile.ReadInteger(s, "ConnTimeout", FtpPar.ResponseTimeOut);
    FtpPar.ResponseTimeOut = IniFile.ReadInteger(s, "Timeout", 60000);
    FtpPar.CertVerify = Clamp(IniFile.ReadInteger(s, "PeerVerify", 0), 0, 2, 0);
    FtpPar.Fingerprint = IniFile.ReadString(s, "PeerFingerprint", "");
    FtpPar.KeepAlive = IniFile.ReadInteger(s, "KeepAlive", 0);
    FtpPar.WriteLog = IniFile.ReadBool(s, "LogFile", false);
    FtpPar.CaseMode = static_cast<TTextChange>(
        Clamp(IniFile.ReadInteger(s, "ChangeNames", tcLower), tcNone, tcUpper, tcLower));
    FtpPar.InvalidChars = Unquote(IniFile.ReadString(s, "ReplChar", ""));
    FtpPar.Quotes = IniFile.ReadBool(s, "Quotes", false);

    FtpPar.Proxy.Server = IniFile.ReadString(ProxySection, "Server", "");
    FtpPar.Proxy.Port = IniFile.ReadInteger(ProxySection, "Port", 2121);
    FtpPar.Proxy.Username = IniFile.ReadString(ProxySection, "Username", "");
    FtpPar.Proxy.Password = DecodeStored(IniFile.ReadString(ProxySection, "Password", ""));
    FtpPar.Proxy.Mode =
        static_cast<TIdFtpProxyType>(Clamp(IniFile.ReadInteger(ProxySection, "ProxyType", fpcmNone), fpcmNone,
                                           fpcmUserHostFireWallID, fpcmNone));
}

void WriteFtpParams(TMemIniFile& IniFile, const std::string& Section, const TFtpParams& FtpPar)
{
    const std::string& s = Section;
    IniFile.EraseSection(s);
    IniFile.WriteString(s, "Host", FtpPar.Host);
    IniFile.WriteInteger(s, "Port", FtpPar.Port);
    IniFile.WriteString(s, "Username", FtpPar.Username);
    IniFile.WriteString(s, "Password", EncodeStored(FtpPar.Password));
    IniFile.WriteString(s, "SubDir", FtpPar.Directory);
    IniFile.WriteInteger(s, "UseFTPS", FtpPar.SecureMode);
    IniFile.WriteBool(s, "Passive", FtpPar.Passive);
    IniFile.WriteBool(s, "ForceUtf8", FtpPar.ForceUtf8);
    IniFile.WriteBool(s, "UseIPv6", FtpPar.UseIPv6);
    IniFile.WriteBool(s, "UseOpts", FtpPar.UseOpts);
    IniFile.WriteBool(s, "UseExtensions", FtpPar.UseExts);
    IniFile.WriteBool(s, "UseHost", FtpPar.UseHost);
    int offset = FtpPar.TimeOffset + 720;
    offset = offset < 0 ? 0 : offset > 4095 ? 4095 : offset;
    IniFile.WriteInteger(s, "TimeOffset", offset | (FtpPar.UseTimeOffset ? 4096 : 0));
    IniFile.WriteInteger(s, "Retry", FtpPar.ConnAttempts);
    IniFile.WriteInteger(s, "ConnTimeout", FtpPar.ConnTimeout);
    IniFile.WriteInteger(s, "Timeout", FtpPar.ResponseTimeOut);
    IniFile.WriteInteger(s, "PeerVerify", FtpPar.CertVerify);
    IniFile.WriteString(s, "PeerFingerprint", FtpPar.Fingerprint);
    IniFile.WriteInteger(s, "KeepAlive", FtpPar.KeepAlive);
    IniFile.WriteBool(s, "LogFile", FtpPar.WriteLog);
    IniFile.WriteInteger(s, "ChangeNames", static_cast<int>(FtpPar.CaseMode));
    IniFile.WriteString(s, "ReplChar", QuoteIfBlank(FtpPar.InvalidChars));
    IniFile.WriteBool(s, "Quotes", FtpPar.Quotes);

    IniFile.WriteString(ProxySection, "Server", FtpPar.Proxy.Server);
    IniFile.WriteInteger(ProxySection, "Port", FtpPar.Proxy.Port);
    IniFile.WriteString(ProxySection, "Username", FtpPar.Proxy.Username);
    IniFile.WriteString(ProxySection, "Password", EncodeStored(FtpPar.Proxy.Password));
    IniFile.WriteInteger(ProxySection, "ProxyType", static_cast<int>(FtpPar.Proxy.Mode));
}

std::string MakeFtpUrl(const TFtpParams& FtpPar, const std::string& Dir)
{
    if (FtpPar.Host.empty())
        return "";
    std::string url = FtpPar.SecureMode <= 0 ? "ftp" : "ftps";
    if (FtpPar.UseIPv6)
        url += "://[" + FtpPar.Host + "]:" + std::to_string(FtpPar.Port);
    else
        url += "://" + FtpPar.Host + ":" + std::to_string(FtpPar.Port);
    return url + IncludeLeadingSlash(Dir);
}

std::string GetFtpUrl(const TFtpParams& FtpPar)
{
    return MakeFtpUrl(FtpPar, FtpPar.Directory);
}

std::string GetTaskFtpUrl(const TMemIniFile& IniFile)
{
    TFtpParams par;
    ReadFtpParams(IniFile, "Ftp", par);
    return GetFtpUrl(par);
}

std::string GetTaskFileFtpUrl(const std::string& FileName)
{
    TMemIniFile ini(FileName);
    return GetTaskFtpUrl(ini);
}

void LoadFtpParams(const std::string& FileName, TFtpParams& FtpPar)
{
    struct stat st;
    if (::stat(FileName.c_str(), &st) != 0) {
        InitFtpParams(FtpPar);
        return;
    }
    TMemIniFile ini(FileName);
    ReadFtpParams(ini, "Ftp", FtpPar);
}

bool CreateFtpConnection(const TFtpParams& FtpPar, std::unique_ptr<TExtFtp>& Ftp,
                         const TFtpPasswordPrompt& AskPassword)
{
    TCertInfos certs;
    InitCertInfos(certs);
    Ftp = std::make_unique<TExtFtp>(certs.CertDir, certs.RootCertFile, certs.CertFile, certs.KeyFile,
                                    certs.Password);
    auto fail = [&Ftp] {
        Ftp.reset();
        return false;
    };
    if (FtpPar.Host.empty() || FtpPar.Username.empty())
        return fail();
    Ftp->SetTempDir(ActiveTempDir);
    Ftp->SetLogname(WithSlash(GetLogDir()) + "QvFtp.log");
    Ftp->SetParams(FtpPar);
    std::string password = FtpPar.Password;
    if (password.empty()) {
        if (!AskPassword ||
            !AskPassword(
                _("FTP connection"),
                SafeFormat(_("Connection to FTP server: %s:%u\r\nfor user: %s\r\nrequires a password!"),
                           {FtpPar.Host, FtpPar.Port, FtpPar.Username}),
                password))
            return fail();
    }
    if (FtpPar.Proxy.Mode != fpcmNone) {
        Ftp->ProxySettings.ProxyType = FtpPar.Proxy.Mode;
        Ftp->ProxySettings.Host = FtpPar.Proxy.Server;
        Ftp->ProxySettings.Port = FtpPar.Proxy.Port;
        Ftp->ProxySettings.UserName = FtpPar.Proxy.Username;
        std::string proxyPassword = FtpPar.Proxy.Password;
        if (proxyPassword.empty()) {
            if (!AskPassword ||
                !AskPassword(
                    _("FTP connection"),
                    SafeFormat(
                        _("Connection to FTP proxy server: %s:%u\r\nfor user: %s\r\nrequires a password!"),
                        {FtpPar.Proxy.Server, FtpPar.Proxy.Port, FtpPar.Proxy.Username}),
                    proxyPassword))
                return fail();
        }
        Ftp->ProxySettings.Password = proxyPassword;
    }
    Ftp->Password = password;
    if (!Ftp->DoConnect(FtpPar.ConnAttempts, false) || !Ftp->SetRemoteDir(FtpPar.Directory))
        return fail();
    return true;
}
