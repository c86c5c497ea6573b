#include "backup/TaskSettings.h"

#include <ctime>

#include "backup/EngineCodes.h"

namespace {

// The FTP default parameters: the local UTC offset in minutes (not in use), the rest as the record's
// own defaults (port 21, passive, time-outs 60000 ms, one attempt, proxy port 2121).
TFtpParams DefaultFtpParams()
{
    TFtpParams params;
    const int64_t now = static_cast<int64_t>(std::time(nullptr));
    params.TimeOffset = static_cast<int>(UtcOffsetSeconds(now) / 60);
    params.UseTimeOffset = false;
    return params;
}

} // namespace

TSourceFolders& TSourceFolders::operator=(const TSourceFolders& other)
{
    if (&other == this)
        return *this;
    std::vector<std::unique_ptr<TExtensionList>> items;
    items.reserve(other.FItems.size());
    for (const auto& entry : other.FItems)
        items.push_back(TExtensionList::CreateAssign(*entry));
    FItems = std::move(items);
    return *this;
}

TExtensionList& TSourceFolders::Add(std::unique_ptr<TExtensionList> entry)
{
    FItems.push_back(std::move(entry));
    return *FItems.back();
}

void TSourceFolders::Delete(int index)
{
    FItems.erase(FItems.begin() + index);
}

void InitBakSecSettings(TSecSettings& sec, const TQvSettings& settings)
{
    sec.DirMode = sdNone;
    sec.DirPrefix = settings.SecCopySettings.BakPrefix;
    sec.DirSuffix = settings.SecCopySettings.BakSuffix;
    sec.FileSuffix = settings.SecCopySettings.BakSuffix;
    sec.MaxHist = 1;
    sec.MinHist = 1;
    sec.AgeInWeeks = 0;
}

void InitSyncSecSettings(TSecSettings& sec, const TQvSettings& settings)
{
    sec.DirMode = sdNone;
    sec.DirPrefix = settings.SecCopySettings.SyncPrefix;
    sec.DirSuffix.clear();
    sec.FileSuffix = settings.SecCopySettings.SyncSuffix;
    sec.MaxHist = 1;
    sec.MinHist = 1;
    sec.AgeInWeeks = 0;
}

void SetNewTaskDefaults(TTaskSettings& task, const TQvSettings& settings)
{
    const TQvCopySettings& copy = settings.CopySettings;

    task.cbSourceDelete = false;
    task.DelSourceDelDir = 0;
    task.cbVerify = false;
    task.UseVss = false;
    task.cbUseVss = false;
    task.CryptPwd.clear();
    task.TaskNote.clear();
    task.TaskPwd.clear();
    task.cbEncrypt = false;
    task.cbFixPwd = false;
    task.CryptKeyMode = ckAuto;
    task.cbEncNames = false;
    task.LastCrypt = 0;
    task.EncChg = false;
    task.cbMail = false;
    task.MailMode = mmNone;
    task.MailData = TMailData();
    task.FtpPar = DefaultFtpParams();
    task.cbCompress = copy.CompMode != 0;
    task.cbZipCompress = copy.CompMode == 1;
    task.TaskBufferSize = copy.BufferSize;
    task.AktNoComp.Clear();
    task.AktNoComp.SetCommaText(copy.NoCompress);
    task.BackupCount = 1;
    task.CopyTimeout = 60;
    task.TimeOutMax = 5;
    task.MaxRate = 0;
    task.FullSpeed = true;
    task.TaskPriority = tpNormal;
    task.TaskProtMode = settings.LogSettings.LogMode & 0x47;
    task.TaskLogName = (settings.LogSettings.LogMode & LogOwnFileDefault) != 0 ? "%taskname%.log" : "";
    task.LastLogFile.clear();
    task.MaskExprs.Clear();
    task.FnMode = tcNone;
    task.DeltaTime = 2;
    task.DstIgnore = 2;
    task.CompareMode = 0;
    task.DisplayOff = false;
    task.SkipDir = false;
    task.WriteTsFile = false;
    task.NoVolCheck = false;
    task.NoWriteCache = false;
    task.ScanDirs = false;
    task.ErrorSummary = false;
    task.ShowErrors = false;
    task.IgnoreJunctions = true;
    task.UseJunctions = false;
    task.FollowJunctions = false;
    task.ReplMode = cpNot;
    task.ReplChar = '~';
    task.UserAccount = task.CmdAltUserName;
    task.UserPwd = task.CmdAltUserPwd;
    task.BuFtp = false;
    task.LastBuTime.clear();
    task.LastBackupTime = 0;
    task.DriveId = settings.OtherSettings.DefDriveId;
    task.DestMode = BackupMethod::DriveFolders;
    if (task.UserZipName.empty())
        task.UserZipName = DefaultZipName();
    task.ZipNameEdit = task.UserZipName;
    task.MaxZipSize = 0;
    task.SyncMode = 0;
    task.SyncBefore = false;
    task.KeepSyncCB = false;
    task.cbSyncRecycle = false;
    task.KeepBakCB = false;
    InitBakSecSettings(task.BakSec, settings);
    InitSyncSecSettings(task.SyncSec, settings);
    task.cbCopySummary = false;
    task.cbAltStreams = false;
    task.cbCopyPerms = false;
    task.cbNoAttributes = false;
    task.cbDelDir = false;
    task.cbCreationTime = true;
    task.CmdEnc = 0;
    task.cbPreC = false;
    task.cbPostC = false;
    ResetExternalProg(1, task.BuPreCmd);
    ResetExternalProg(1, task.BuPostCmd);
    task.IncludeSubDirs = false;
    task.ClearDest = false;
    task.ResArchivCB = false;
    task.UseArchivCB = false;
    task.BuModeCB = bmUpdate;
    task.EditStatus = esNew;
}

void ApplyBackupModeItem(TTaskSettings& task, int item)
{
    task.UseArchivCB = (item & 2) != 0;
    task.ResArchivCB = (item & 1) != 0;
    task.ClearDest = item != 0;
    task.BuModeCB = item;
}

int BackupModeIndex(const TTaskSettings& task)
{
    if (task.ClearDest && !IsZipMethod(task.DestMode))
        return (task.ResArchivCB ? 1 : 0) + (task.UseArchivCB ? 2 : 0);
    return IsZipMethod(task.DestMode) ? bmFull : bmUpdate;
}

void ShowBackupMode(TTaskSettings& task)
{
    const int item = BackupModeIndex(task);
    task.BuModeCB = item;
    if (task.ClearDest && !IsZipMethod(task.DestMode)) {
        task.ClearDest = item > 0;
        if (task.ClearDest)
            task.SyncMode = 0;
    }
}
