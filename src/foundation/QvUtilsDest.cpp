#include "foundation/QvUtilsDest.h"

#include <chrono>
#include <climits>
#include <sys/statvfs.h>
#include <thread>
#include <unistd.h>

#include "foundation/QvUtilsNames.h"
#include "foundation/QvUtilsTexts.h"
#include "foundation/WinDevUtils.h"
#include "foundation/WinNet.h"
#include "platform/MountTable.h"
#include "platform/NetShares.h"
#include "rtl/Gettext.h"
#include "rtl/SysUtils.h"

namespace {

TPasswordPrompt PasswordPrompt;
std::atomic<int> StartDelayMs{200};

std::string Slash(const std::string& dir)
{
    return (!dir.empty() && dir.back() == '/') ? dir : dir + "/";
}

// Splits a source folder into its drive part and the rest below it (without leading slash).
void SplitDrive(const std::string& source, std::string& drive, std::string& rel)
{
    TShareName share;
    if (ParseUncPath(source, share)) {
        drive = UncRoot(share);
        rel = share.Rest;
        return;
    }
    if (source.size() > 1 && source[0] == ':') {
        auto end = source.find(':', 1);
        if (end != std::string::npos) {
            drive = source.substr(0, end + 1);
            rel = source.substr(end + 1);
            while (!rel.empty() && rel.front() == '/')
                rel.erase(0, 1);
            while (!rel.empty() && rel.back() == '/')
                rel.pop_back();
            return;
        }
    }
    drive = (!source.empty() && source[0] == '/') ? "/" : "";
    rel = source;
    while (!rel.empty() && rel.front() == '/')
        rel.erase(0, 1);
    while (!rel.empty() && rel.back() == '/')
        rel.pop_back();
}

} // namespace

std::string MakeDestPath(int mode, const std::string& drivePrefix, const std::string& destDir,
                         const std::string& sourceDir)
{
    std::string drive, rel;
    SplitDrive(sourceDir, drive, rel);
    std::string dest = Slash(destDir);
    switch (mode) {
    case 1:
    case 7:
        return dest + rel;
    case 2:
        return dest;
    case 3: {
        auto slash = rel.find_last_of('/');
        return dest + (slash == std::string::npos ? rel : rel.substr(slash + 1));
    }
    default:
        return dest + GetDriveDirName(drivePrefix, drive) + rel;
    }
}

std::string GetPathRoot(const std::string& path)
{
    TShareName share;
    if (ParseUncPath(path, share))
        return UncRoot(share) + "/";
    std::string drive, rel;
    SplitDrive(path, drive, rel);
    if (drive.empty())
        return {};
    return drive == "/" ? "/" : drive + "/";
}

std::string FileSystemName(TFileSystem fs)
{
    switch (fs) {
    case fsNtfs:
        return "NTFS";
    case fsExtFat:
        return "exFAT";
    case fsLtfs:
        return "LTFS";
    case fsRemote:
        return "Remote";
    case fsReFS:
        return "ReFS";
    case fsBTRFS:
        return "BTRFS";
    case fsCryptomat:
        return "CryptomatorFS";
    case fsExt4:
        return "Ext4";
    case fsFat:
        return "FAT/FAT32";
    default:
        return "n/a";
    }
}

TFileSystem GetFileSystem(const std::string& pathIn)
{
    std::string path = pathIn;
    std::string label;
    if (ResolveVolumeName(path, label, false) == 2)
        path.clear();
    if (path.empty())
        return fsNotAvail;
    int kind = GetPathKind(path);
    if (kind == PATH_NETWORK)
        return fsRemote;
    if (kind == PATH_NOT_AVAILABLE)
        return fsNotAvail;
    if (kind == PATH_NO_DRIVE) {
        char buf[PATH_MAX];
        if (!::getcwd(buf, sizeof buf))
            return fsNotAvail;
        path = buf;
    }
    std::string type = GetFileSystemName(path);
    while (!type.empty() && type.back() == ' ')
        type.pop_back();
    switch (FsKindOfType(type)) {
    case TFsKind::fkJournalling:
    case TFsKind::fkNtfs:
        return fsNtfs;
    case TFsKind::fkBtrfs:
        return fsBTRFS;
    case TFsKind::fkExFat:
        return fsExtFat;
    case TFsKind::fkRemote:
        return fsRemote;
    case TFsKind::fkUnknown:
        return fsLtfs;
    default:
        return fsFat;
    }
}

bool IsRemovableDrive(const std::string& path)
{
    int kind = GetDriveKind(path);
    return kind == DRIVE_NO_ROOT_DIR || kind == DRIVE_REMOVABLE;
}

void SetPathAccessPasswordPrompt(TPasswordPrompt prompt)
{
    PasswordPrompt = std::move(prompt);
}

void GetDestinationInfo(const std::string& dest, int& status, std::string& text)
{
    auto local = [](const std::string& where, const std::string& measured) {
        std::string t = _("Backup destination on local drive");
        if (!where.empty())
            t += " " + where;
        return t + " (" + FormatSize(true, static_cast<int64_t>(GetDiskFreeBytes(measured))) +
               _(" free of ") + FormatSize(true, static_cast<int64_t>(GetDiskTotalBytes(measured))) + ")";
    };
    std::string path = dest, label;
    int resolved = ResolveVolumeName(path, label, false);
    if (resolved == 1) {
        status = 0;
        text = local(path, path);
        return;
    }
    if (resolved == 2) { // a volume that is not present, or no destination at all
        status = 2;
        text = _("Backup destination not available");
        return;
    }
    int kind = GetPathKind(path);
    if (kind == PATH_NOT_AVAILABLE && ReconnectPath(path))
        kind = GetPathKind(path);
    switch (kind) {
    case PATH_NETWORK:
        status = 1;
        text = _("Backup destination on server");
        break;
    case PATH_LOCAL_FIXED:
    case PATH_REMOVABLE:
        status = 0;
        text = local("", path);
        break;
    case PATH_NO_DRIVE: {
        // A relative destination is measured on the current folder.
        char cwd[PATH_MAX];
        status = 0;
        text = local("", ::getcwd(cwd, sizeof cwd) ? std::string(cwd) : std::string("."));
        break;
    }
    default:
        status = 2;
        text = _("Backup destination not available");
        break;
    }
}

void GetDestinationText(const std::string& dest, std::string& text)
{
    int status;
    GetDestinationInfo(dest, status, text);
}

bool CheckPathAccess(const std::string& caption, const std::string& user, const std::string& password,
                     std::string& path, bool noPrompt)
{
    std::string label;
    if (ResolveVolumeName(path, label, !noPrompt) == 2)
        return false;
    int kind = GetPathKind(path);
    if (kind == PATH_NOT_AVAILABLE && ReconnectPath(path))
        kind = GetPathKind(path);
    switch (kind) {
    case PATH_NOT_AVAILABLE:
        return false;
    case PATH_REMOVABLE: {
        std::string mounted;
        return GetVolumeLabel(path, mounted);
    }
    case PATH_LOCAL_FIXED:
    case PATH_NO_DRIVE:
        return true;
    default:
        break;
    }
    std::string pw = password;
    if (!user.empty() && pw.empty()) {
        // Asked also with NoPrompt, which concerns the volume and logon prompts only.
        std::string message =
            SafeFormat(_("Network connection to \"%s\" for user \"%s\" requires a password!"), {path, user});
        if (!PasswordPrompt || !PasswordPrompt(caption, message, pw))
            return false;
    }
    if (!user.empty())
        SetDefaultAccount(user, pw);
    return ConnectWithDefaultAccount(path, user, true, !noPrompt) == 0;
}

bool CheckPathAccessNoLogon(const std::string& caption, std::string& path, bool noPrompt)
{
    return CheckPathAccess(caption, "", "", path, noPrompt);
}

// --- free space thread

TNetGetVolThread::TNetGetVolThread(const std::string& netPath,
                                   std::function<void(TNetGetVolThread*)> onTerminate)
    : TThread(true), fPath(netPath), FOnTerminate(std::move(onTerminate))
{
    Start();
}

TNetGetVolThread::~TNetGetVolThread()
{
    WaitFor();
}

void TNetGetVolThread::SetStartDelay(int milliseconds)
{
    StartDelayMs = milliseconds;
}

void TNetGetVolThread::Execute()
{
    if (StartDelayMs > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(StartDelayMs.load()));
    std::string local = ShareLocalPath(fPath);
    struct statvfs sv
    {
    };
    if (::statvfs(local.c_str(), &sv) == 0) {
        nFree = static_cast<uint64_t>(sv.f_bavail) * sv.f_frsize;
        nTotal = static_cast<uint64_t>(sv.f_blocks) * sv.f_frsize;
        fSuccess = true;
    }
    if (FOnTerminate)
        Synchronize([this] { FOnTerminate(this); });
}
