#include "mainwindow/SettingsDlg.h"

void SetDefaultSettings(TQvSettings& s, const std::string& defaultTaskDir, bool german)
{
    s.CopySettings.NoCompress =
        "7z,ace,arc,arj,bz2,cab,docx,epub,gif,gz,gze,jpeg,jpg,lha,lzh,mp3,mp4,mpg,odg,odp,ods,"
        "odt,otp,ots,ott,pdf,png,pptx,rar,webm,webp,xlsm,xlsx,xpi,zip,zipx";
    s.CopySettings.CompMode = 1;
    s.CopySettings.BufferSize = 4194304;
    s.CopySettings.FTPBufferSize = 262144;
    s.SecCopySettings.BakPrefix = "~";
    s.SecCopySettings.SyncPrefix = "_";
    s.SecCopySettings.BakSuffix = "bak";
    s.SecCopySettings.SyncSuffix = "sync";
    s.ViewSettings.WindowActions = 0;
    s.ViewSettings.SizeProgress = false;
    s.ViewSettings.InstantShowTask = false;
    s.ViewSettings.StatusOnTop = false;
    s.ViewSettings.PlaySound = true;
    s.ViewSettings.ShowNotifications = true;
    s.ViewSettings.ShowToolTips = true;
    s.ViewSettings.DarkMode = false;
    s.ViewSettings.AutoWaitTime = 5;
    s.ViewSettings.ComBgCol = 0xA0FFFF; // $BBGGRR: red 255, green 255, blue 160
    s.ViewSettings.ComFgCol = 0x0000FF; // red
    s.ViewSettings.CustomCols.clear();
    s.StartSettings.NoSplashScreen = false;
    s.StartSettings.FailNotification = true;
    s.StartSettings.ScanOnStart = true;
    s.StartSettings.UpdateChg = false;
    s.StartSettings.CheckUpdates = true;
    s.StartSettings.ProxySettings = TProxyParams();
    s.StartSettings.ProxySettings.Port = 80;
    s.StartSettings.StartupDelay = 10;
    s.ShutdownSettings.DownMode = dmShutdown;
    s.ShutdownSettings.LockComputer = false;
    s.ShutdownSettings.ShutdownDelay = 0;
    s.PrinterSettings.PrtName.clear();
    s.PrinterSettings.Margins = {200, 150, 100, 150};
    s.PrinterSettings.FontName = "Courier New";
    s.PrinterSettings.FontSize = 10;
    s.PrinterSettings.FontStyle = 0;
    s.PrinterSettings.Orientation = 0;
    s.LogSettings.LogMode = 57;
    s.LogSettings.LogSize = 1000;
    s.LogSettings.DecimalSizes = false;
    s.LogSettings.MailLogPrefix = "QV";
    s.OtherSettings.DefaultTask.clear();
    s.OtherSettings.DefDriveId = german ? "Lw?" : "Drv?";
    s.OtherSettings.MinPwdLength = 8;
    s.OtherSettings.MaxWaitTime = 2;
    s.OtherSettings.ContextMenu = false;
    s.OtherSettings.UseWizard = true;
    s.OtherSettings.VssLog = false;
    s.OtherSettings.SMTPLog = false;
    s.Directories.TaskDir = defaultTaskDir;
    s.Directories.LogDir.clear();
    s.Directories.TempDir.clear();
    s.Directories.IniLoc = ilNormal;
    s.Directories.UseTaskDir = true;
    s.Directories.UseLogDir = true;
    s.Directories.UseTempDir = true;
}
