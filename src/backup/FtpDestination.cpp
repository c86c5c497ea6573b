// The FTP destination of a run: the connection and the run's server folder, a new connection after a
// worker was given up with the old one, and the time-stamp file on the server.

#include "archive/FtpUtils.h"
#include "backup/BackupRun.h"
#include "backup/BuFtpDlg.h"
#include "backup/EngineCodes.h"
#include "backup/LogSettings.h"
#include "backup/TimestampFile.h"
#include "foundation/BuConsts.h"
#include "foundation/PlaceHolders.h"
#include "foundation/QvUtilsFolders.h"
#include "foundation/QvUtilsNames.h"
#include "foundation/StringUtils.h"
#include "rtl/Gettext.h"
#include "rtl/SysUtils.h"

namespace {

std::string WithSlash(const std::string& dir)
{
    return dir.empty() || dir.back() == '/' ? dir : dir + "/";
}

} // namespace

std::unique_ptr<TExtFtp> TBackupEngine::MakeFtpConnection()
{
    TCertInfos certs;
    InitCertInfos(certs);
    auto ftp = std::make_unique<TExtFtp>(certs.CertDir, certs.RootCertFile, certs.CertFile, certs.KeyFile,
                                         certs.Password);
    ftp->SetTempDir(ActiveTempDir);
    ftp->SetLogname(WithSlash(GetLogDir()) + "QvFtp.log");
    ftp->SetParams(Task.FtpPar);
    ftp->OnConfirmCert = [this](const TCerticateInfo& info) { return FInteraction.ConfirmCertificate(info); };
    ftp->OnCheckCancel = [this] { return FControl.Stopped(); };
    // Reconnections after a lost connection follow the task's connection attempts.
    ftp->MaxRetries = std::max(Task.FtpPar.ConnAttempts, 1);
    ftp->Password = FFtpPassword;
    if (Task.FtpPar.Proxy.Mode != fpcmNone) {
        ftp->ProxySettings.ProxyType = Task.FtpPar.Proxy.Mode;
        ftp->ProxySettings.Host = Task.FtpPar.Proxy.Server;
        ftp->ProxySettings.Port = Task.FtpPar.Proxy.Port;
        ftp->ProxySettings.UserName = Task.FtpPar.Proxy.Username;
        ftp->ProxySettings.Password = FFtpProxyPassword;
    }
    if (ftp->Username.empty())
        ftp->Username = "anonymous";
    return ftp;
}

bool TBackupEngine::ConnectFtpDestination(TRunState& rs)
{
    const TFtpParams& par = Task.FtpPar;
    FFtpPassword = par.Password;
    FFtpProxyPassword = par.Proxy.Password;
    bool asked = true;
    if (!par.Username.empty() && FFtpPassword.empty())
        asked = FInteraction.AskPassword(
            _("FTP connection"),
            SafeFormat(_("Connection to FTP server: %s:%u\r\nfor user: %s\r\nrequires a password!"),
                       {par.Host, par.Port, par.Username}),
            FFtpPassword);
    if (asked && par.Proxy.Mode != fpcmNone && !par.Proxy.Username.empty() && FFtpProxyPassword.empty())
        asked = FInteraction.AskPassword(
            _("FTP connection"),
            SafeFormat(_("Connection to FTP proxy server: %s:%u\r\nfor user: %s\r\nrequires a password!"),
                       {par.Proxy.Server, par.Proxy.Port, par.Proxy.Username}),
            FFtpProxyPassword);
    Ftp = MakeFtpConnection();
    if (par.SecureMode > 0) {
        if (Ftp->CanUseTls())
            FLog.WriteToLog(lmLong, "   => " + _("Using secure connection (TLS)"));
        else
            FLog.WriteToLog("  *** " +
                            SafeFormat(_("Requested secure connection is not available%son connection "
                                         "with \"%s\"!"),
                                       {" ", par.Host}));
    }
    FProgress.SetDestination(BaseDest);
    FProgress.SetPrompt(_("Trying to connect to FTP server"));
    bool connected = false;
    if (asked) {
        FLog.WriteToLog(lmLong, "   => " + _("Trying to connect to FTP server") + ": " + GetFtpUrl(par));
        connected = Ftp->DoConnect(par.ConnAttempts, true);
    }
    if (!connected) {
        FHost.SetExitCode(2, rs.Nr);
        FLog.WriteToLog("  *** " + _("Connection to FTP server failed") + " (" + Ftp->IndyError() + ")");
        rs.Failure = _("Connection to FTP server failed");
        FLog.WriteToLog("  ==> " + SafeFormat(_("FTP server: %s"), {BaseDest}));
        Ftp.reset();
        return false;
    }
    FProgress.SetPrompt(_("Connection to FTP server established"));
    FLog.WriteToLog(lmLong, "   => " + _("Connection to FTP server established"));
    FLog.WriteToLog(lmLong, "   => " + _("User name: ") + Ftp->Username);
    FLog.WriteToLog(lmVerbose, "   => " + _("Supported features: ") + Ftp->CapabilitiesString());
    std::string folder = ExpandNamePlaceholders(par.Directory, FirstSourceLabel(), Task.BackupCount);
    std::string display = BaseDest;
    bool ok = Ftp->SetRemoteDir(folder);
    if (ok && !BuDir.empty()) {
        if (BuDir.front() == '/' || BuDir.front() == '\\' || BuDir.find(':') != std::string::npos) {
            FLog.WriteToLog("  *** " + _("Invalid FTP destination directory: ") + BuDir);
        } else {
            folder = IncludeTrailingSlash(Ftp->CurrentDir()) + BuDir;
            display += "/" + BuDir;
            ok = Ftp->ForceDir(folder);
        }
    }
    if (!ok) {
        FLog.WriteErrorToLog("B", SafeFormat(_("Could not create directory: \"%s\""), {folder}),
                             std::string(), _("Response code: ") + std::to_string(Ftp->LastResponseCode()));
        rs.Failure = SafeFormat(_("Could not create directory:\r\n\"%s\""), {folder});
        FHost.SetExitCode(2, rs.Nr);
        FLog.WriteToLog("  ==> " + SafeFormat(_("FTP server: %s"), {display}));
        Ftp.reset();
        return false;
    }
    FLog.WriteToLog(lmVerbose, "      => " + _("Directory") + ": " + Ftp->CurrentDir());
    // The run's folder on the server is where every source folder's server folder is made.
    FtpDir = ExcludeTrailingSlash(Ftp->CurrentDir());
    if (FtpDir.empty())
        FtpDir = "/";
    BaseDir = FtpDir;
    FFtpDisplay = display;
    TargetType = fsNotAvail;
    return true;
}

TExtFtp* TBackupEngine::RenewFtpConnection()
{
    // A worker given up at its time-out may still use the old connection: it stays alive until the run
    // ends.
    if (Ftp)
        FGivenUpFtp.push_back(std::move(Ftp));
    Ftp = MakeFtpConnection();
    if (!Ftp->DoConnect(Task.FtpPar.ConnAttempts, true) || !Ftp->ChangeToDir(FtpDir)) {
        FLog.WriteToLog("  *** " + _("Connection to FTP server failed") + " (" + Ftp->IndyError() + ")");
        Ftp.reset();
        return nullptr;
    }
    return Ftp.get();
}

TDateTime TBackupEngine::ReadFtpDestinationTimestamp()
{
    if (!Ftp || !Ftp->ChangeToDir(FtpDir))
        return 0;
    return ReadFtpTimestampFile(*Ftp);
}

void TBackupEngine::FinishFtpDestination(bool alternating, TFolderCounters& counters)
{
    if (!Ftp || FControl.Stopped())
        return;
    if (!(alternating || Task.ClearDest || Task.WriteTsFile))
        return;
    unsigned err = Ftp->ReConnect(FtpDir, true, false) ? WriteFtpTimestampFile(*Ftp, StartTime) : 0x11B;
    if (err != 0) {
        FLog.WriteErrorToLog(
            "B", SafeFormat(_("Error writing to \"%s\""), {IncludeTrailingSlash(FtpDir) + TimestampFileName}),
            Ftp ? Ftp->IndyError() : std::string(), std::string());
        ++counters.ErrorCount;
    }
}

void TBackupEngine::CloseFtpDestination()
{
    if (Ftp) {
        try {
            Ftp->Disconnect();
        } catch (const std::exception&) {
        }
    }
    Ftp.reset();
    FGivenUpFtp.clear();
}
