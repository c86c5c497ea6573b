#include "backup/CopyLoop.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

#include "archive/AesLib.h"
#include "archive/EngineErrors.h"
#include "archive/EngineFs.h"
#include "archive/FileErrors.h"
#include "archive/FilePropUtils.h"
#include "archive/ZLibEx.h"
#include "backup/EngineCodes.h"
#include "backup/LinkInfo.h"
#include "backup/OptionRules.h"
#include "backup/SecurityCopyNames.h"
#include "backup/Synchronize.h"
#include "backup/TimestampFile.h"
#include "foundation/FileUtilsOps.h"
#include "foundation/PathUtils.h"
#include "foundation/QvUtilsDest.h"
#include "foundation/QvUtilsTexts.h"
#include "foundation/StringUtils.h"
#include "foundation/WinDevUtils.h"
#include "foundation/XlFileUtils.h"
#include "platform/DirSearch.h"
#include "platform/ErrorCodes.h"
#include "platform/PosixFiles.h"
#include "platform/Trash.h"
#include "rtl/Clock.h"
#include "rtl/Gettext.h"
#include "rtl/SysUtils.h"

namespace {

constexpr const char* Indent = "      ";
constexpr const char* DeepIndent = "         ";
constexpr const char* LockName = "Vastrel.lock";

std::string FileNameOf(const std::string& path)
{
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The extension with its dot, looked for in the name only.
std::string FileExtOf(const std::string& path)
{
    std::string name = FileNameOf(path);
    size_t dot = name.rfind('.');
    return dot == std::string::npos || dot == 0 ? std::string() : name.substr(dot);
}

std::string StripDelimiter(const std::string& path)
{
    if (path.size() > 1 && path.back() == '/')
        return path.substr(0, path.size() - 1);
    return path;
}

TFileTimestamps TimestampsOf(const TPosixFileData& data)
{
    TFileTimestamps ts;
    ts.Valid = true;
    ts.CreationTime = data.CreationTime;
    ts.LastAccessTime = data.LastAccessTime;
    ts.LastWriteTime = data.LastWriteTime;
    return ts;
}

// head + tail, written so that GCC 12's overlap warning for a literal put before a temporary string
// has nothing to report
std::string Joined(const char* head, const std::string& tail)
{
    std::string text(head);
    text += tail;
    return text;
}

std::string AttrText(uint32_t attr)
{
    return Joined(" ", FileAttrToStr(attr));
}

std::string TimeText(FILETIME ft)
{
    return TimeStampToStr(FileTimeToLocalDateTime(ft));
}

// The version number as text: two digits when more than nine versions are kept.
std::string VersionDigits(int k, bool twoDigits)
{
    std::string s = std::to_string(k);
    if (twoDigits && s.size() < 2)
        s = "0" + s;
    return s;
}

// The entries of a folder, "." and ".." left out; 0 or a Windows-style code.
int ReadFolderEntries(const std::string& dir, std::vector<TFolderEntry>& entries)
{
    entries.clear();
    DIR* d = ::opendir(dir.c_str());
    if (!d) {
        int err = errno;
        return static_cast<int>(err == ENOENT ? WinError::ERROR_PATH_NOT_FOUND : ErrnoToWinError(err));
    }
    for (;;) {
        errno = 0;
        struct dirent* e = ::readdir(d);
        if (!e)
            break;
        if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0)
            continue;
        entries.push_back({e->d_name, e->d_type});
    }
    int err = errno;
    ::closedir(d);
    return err == 0 ? 0 : static_cast<int>(ErrnoToWinError(err));
}

} // namespace

TCopyLoop::TCopyLoop(const TTaskSettings& task, TTaskLog& log, TRunControl& control, IProgressSink& progress,
                     IInteraction& interaction)
    : Ops(log, control), Runner(control, progress), Zip(task, log, control, progress, interaction),
      FTask(task), FLog(log), FControl(control), FProgress(progress), FInteraction(interaction)
{
    Ops.FnMode = task.FnMode;
    Ops.TargetType = task.TargetType;
    TimeOutCount = task.TimeOutMax;
    Runner.OnIdle = [this] { FControl.Checkpoint(); };
    FRunTag = EngineFs::RandomTag();
}

TCopyLoop::~TCopyLoop()
{
    if (FCopyThread) {
        // a copy still running when the run ends is cancelled; it removes its partial file itself
        FCopyThread->SetPaused(false);
        FCopyThread->CancelThread();
        FCopyThread.reset();
    }
}

TCopyOptions TCopyLoop::LocalCopyOptions(bool compressed) const
{
    TCopyOptions options;
    if (compressed)
        options.Include(coCompress);
    if (FTask.cbZipCompress)
        options.Include(coZipCompress);
    if (FTask.cbVerify)
        options.Include(coVerify);
    if (FTask.NoWriteCache)
        options.Include(coNoCache);
    return options;
}

std::string TCopyLoop::CopyOptionLetters(bool compressed) const
{
    std::string s = compressed ? "C" : "N";
    if (Encryption)
        s += "E";
    if (FTask.cbVerify)
        s += "V";
    if (FTask.cbCopySummary)
        s += "S";
    if (FTask.cbAltStreams)
        s += "A";
    if (FTask.cbCopyPerms)
        s += "P";
    if (FTask.cbCreationTime)
        s += "T";
    if (FTask.cbNoAttributes)
        s += "X";
    return s;
}

std::string TCopyLoop::DestFormExt(bool compressed) const
{
    if (FTask.cbZipCompress)
        return ".zip";
    if (compressed)
        return Encryption ? ".gze" : ".gz";
    if (Encryption)
        return ".enc";
    return std::string();
}

int64_t TCopyLoop::GetStoredPlainSize(const std::string& path, bool compressed, int64_t size) const
{
    try {
        if (FTask.cbZipCompress) {
            TGzFileInfo info;
            return GetZipFileInfo(path, info) == 0 ? info.USize : 0;
        }
        if (compressed) {
            TGzFileInfo info;
            return GetGzFileInfo(path, info) ? info.USize : 0;
        }
        if (Encryption) {
            TGzFileInfo info;
            return GetEncFileInfo(path, info) ? info.USize : 0;
        }
    } catch (const Exception&) {
        return 0;
    }
    return size;
}

std::string TCopyLoop::VersionFolder(const std::string& destBase, const std::string& dDir) const
{
    const TSecSettings& sec = FTask.BakSec;
    std::string p = sec.DirPrefix + sec.DirSuffix;
    std::string dd = AddPathDelimiter(dDir);
    switch (sec.DirMode) {
    case sdNone:
        return dd;
    case sdSubDir:
        return AddPathDelimiter(dd + p);
    case sdSepDir:
        return AddPathDelimiter(AddPathDelimiter(AddPathDelimiter(destBase) + p) +
                                MakeRelativePath(AddPathDelimiter(destBase), dd));
    case sdRootDir:
        return AddPathDelimiter(AddPathDelimiter(AddPathDelimiter(BaseDir) + p) +
                                MakeRelativePath(AddPathDelimiter(BaseDir), dd));
    case sdRootDate:
    case sdRootDrive: {
        std::string rel = MakeRelativePath(AddPathDelimiter(BaseDir), dd);
        std::string r1 = rel;
        std::string rest;
        size_t slash = rel.find('/');
        if (slash != std::string::npos) {
            r1 = rel.substr(0, slash);
            rest = rel.substr(slash + 1);
        }
        std::string folder = p;
        if (sec.DirMode == sdRootDate)
            folder += "-" + FormatDateTime("yyyy-mm-dd", Now());
        return AddPathDelimiter(AddPathDelimiter(AddPathDelimiter(AddPathDelimiter(BaseDir) + r1) + folder) +
                                rest);
    }
    }
    return dd;
}

std::string TCopyLoop::VersionName(const std::string& destBase, const std::string& dDir,
                                   const std::string& dName, const std::string& eName, FILETIME lwTime,
                                   int k) const
{
    const TSecSettings& sec = FTask.BakSec;
    std::string n = FileNameOf(dName);
    std::string x = eName != dName ? FileExtOf(eName) : std::string();
    std::string s;
    if (sec.DirMode == sdNone || !sec.FileSuffix.empty())
        s = Joined(".", ExpandSecuritySuffix(sec.FileSuffix.empty() ? BakSuffix : sec.FileSuffix,
                                             FileTimeToLocalDateTime(lwTime)));
    if (k > 0) {
        std::string num = VersionDigits(k, sec.MaxHist > 9 && k > 0 ? true : false);
        if (s.find('#') != std::string::npos)
            s = ReplaceAll(s, "#", num);
        else
            s += num;
    }
    return VersionFolder(destBase, dDir) + InsertNameSuffix(n, s) + x;
}

bool TCopyLoop::FileDelete(const std::string& name)
{
    if (!Ops.MayDestroy(name, "B"))
        return false;
    uint32_t e = XlDeleteFile(name, true);
    if (e == 0) {
        FLog.WriteToLog(lmVerbose, std::string(Indent) + SafeFormat(_("File was deleted: \"%s\""), {name}));
        return true;
    }
    FLog.WriteErrorToLog(lmShort, "B", SafeFormat(_("Error deleting file: \"%s\""), {name}), e);
    return false;
}

bool TCopyLoop::FileRename(const std::string& dir, const std::string& oldName, const std::string& newName)
{
    std::string errMsg;
    if (Ops.MoveFileLogged(dir, oldName, newName, errMsg, lmLong, -1) == 0)
        return true;
    // an older version that could not be moved on is an error of the run
    ++FCollisions;
    return false;
}

bool TCopyLoop::NamesMayFold() const
{
    return FTask.FnMode != tcNone || FTask.ReplMode == cpSimple || FTask.cbCompress || FTask.cbZipCompress ||
           Encryption != nullptr;
}

std::string TCopyLoop::DestNameOf(const std::string& name, bool& compressed) const
{
    std::string n = ChangeTextCase(name, FTask.FnMode);
    if (FTask.ReplMode == cpSimple)
        n = ReplaceIllegalChars(n, static_cast<char32_t>(FTask.ReplChar));
    compressed = FTask.cbCompress && FTask.AktNoComp.IndexOf(FileTypeName(name)) < 0;
    return n + DestFormExt(compressed);
}

const std::unordered_map<std::string, std::string>& TCopyLoop::ClaimedNames(TFolderState& fs) const
{
    if (fs.ClaimedBuilt)
        return fs.Claimed;
    fs.ClaimedBuilt = true;
    fs.Claimed.clear();
    if (!fs.Entries)
        return fs.Claimed;
    // A file whose destination name is its own name keeps it; of others that fold to one name, the first
    // in byte order does.
    std::vector<std::pair<std::string, std::string>> mapped;
    for (const auto& e : *fs.Entries) {
        if (e.Type == DT_DIR)
            continue;
        bool compressed = false;
        mapped.emplace_back(DestNameOf(e.Name, compressed), e.Name);
    }
    std::sort(mapped.begin(), mapped.end(), [](const auto& a, const auto& b) {
        const bool aOwn = a.first == a.second;
        const bool bOwn = b.first == b.second;
        if (aOwn != bOwn)
            return aOwn;
        return a.second < b.second;
    });
    for (auto& [dest, source] : mapped)
        fs.Claimed.emplace(std::move(dest), std::move(source));
    return fs.Claimed;
}

bool TCopyLoop::ClaimedByOther(TFolderState& fs, const std::string& name, const std::string& source,
                               const std::string& what)
{
    const auto& claimed = ClaimedNames(fs);
    auto it = claimed.find(name);
    if (it == claimed.end() || it->second == source)
        return false;
    FLog.WriteErrorToLog(lmShort, "B",
                         SafeFormat(_("Name collision: \"%s\" is the backup of \"%s\""),
                                    {JoinPath(fs.RelDir, name), JoinPath(fs.RelDir, it->second)}),
                         what, std::string());
    ++FCollisions;
    return true;
}

bool TCopyLoop::KeepVersion(TCopyProps& cp, TFolderState& fs, bool& inPlace)
{
    inPlace = false;
    const TSecSettings& sec = FTask.BakSec;
    std::string v = VersionFolder(fs.DestBase, cp.DDir);
    if (sec.DirMode != sdNone && !Ops.CreateDirectoryLogged(StripDelimiter(v), "B", true))
        return false;
    std::string versionName;
    // Versions kept beside the copies take names that a user's own file may have: such a name is
    // never deleted, renamed or overwritten as an older version.
    const bool beside = StripDelimiter(v) == StripDelimiter(cp.DDir);
    const std::string sourceName = FileNameOf(cp.SName);
    auto collides = [&](const std::string& path) {
        return beside &&
               ClaimedByOther(fs, FileNameOf(path), sourceName,
                              SafeFormat(_("not kept as an older version of \"%s\""), {cp.RelName}));
    };
    if (sec.MaxHist < 2) {
        // the single version: older ones of the file that grew too old go first
        if (sec.AgeInWeeks > 0 && sec.DirMode != sdRootDate)
            PruneOldVersions(fs, cp.DDir, FileNameOf(cp.DName),
                             cp.EName != cp.DName ? FileExtOf(cp.EName) : std::string(), sourceName);
        versionName = VersionName(fs.DestBase, cp.DDir, cp.DName, cp.EName, cp.LwTime, 0);
    } else {
        bool two = sec.MaxHist > 9;
        // the parts that do not depend on the version number, worked out once
        const std::string n = FileNameOf(cp.DName);
        const std::string x = cp.EName != cp.DName ? FileExtOf(cp.EName) : std::string();
        std::string baseSuffix;
        if (sec.DirMode == sdNone || !sec.FileSuffix.empty())
            baseSuffix = Joined(".", ExpandSecuritySuffix(sec.FileSuffix.empty() ? BakSuffix : sec.FileSuffix,
                                                          FileTimeToLocalDateTime(cp.LwTime)));
        const bool numberMark = baseSuffix.find('#') != std::string::npos;
        auto name = [&](int k, bool twoDigits) {
            std::string num = VersionDigits(k, twoDigits);
            std::string suffix = numberMark ? ReplaceAll(baseSuffix, "#", num) : baseSuffix + num;
            return v + InsertNameSuffix(n, suffix) + x;
        };
        // The names in the versions folder are read once per folder and followed through the renames
        // below, so that the many names that are not there cost no look-up; a name said to be there is
        // still looked up.
        if (fs.VersionDir != v) {
            fs.VersionDir = v;
            fs.VersionNames.clear();
            std::vector<TFolderEntry> entries;
            fs.VersionListed = ReadFolderEntries(v, entries) == 0;
            for (auto& e : entries)
                fs.VersionNames.insert(std::move(e.Name));
        }
        auto present = [&](const std::string& path) {
            return !fs.VersionListed || fs.VersionNames.count(FileNameOf(path)) != 0 ||
                   (fs.Dest.Dir == StripDelimiter(v) && fs.Dest.Has(FileNameOf(path)));
        };
        auto exists = [&](const std::string& path) { return present(path) && XlFileExists(path, false); };
        auto gone = [&](const std::string& path) { fs.VersionNames.erase(FileNameOf(path)); };
        TDateTime ageLimit = std::floor(Now()) - 7.0 * sec.AgeInWeeks;
        for (int k = sec.MaxHist; k >= 2; --k) {
            std::string newer = name(k, two);
            std::string older = name(k - 1, two);
            if (k - 1 <= 9) {
                older = name(k - 1, false);
                if (!exists(older))
                    older = name(k - 1, true);
            }
            if (!exists(older))
                continue;
            if (collides(older) || collides(newer))
                return false;
            if (sec.AgeInWeeks > 0 && XlGetFileAge(older) <= ageLimit && k > sec.MinHist) {
                if (FileDelete(older))
                    gone(older);
                continue;
            }
            if (exists(newer)) {
                if (!FileDelete(newer))
                    continue;
                gone(newer);
            }
            if (FileRename(cp.DDir, older, newer)) {
                gone(older);
                fs.VersionNames.insert(FileNameOf(newer));
            }
            if (OnStep)
                OnStep("rotated");
        }
        for (int k = sec.MaxHist + 1; k <= 99; ++k) {
            for (bool twoDigits : {false, true}) {
                if (!twoDigits && k > 9)
                    continue;
                const std::string surplus = name(k, twoDigits);
                if (present(surplus) && XlFileExists(surplus, false) && !collides(surplus))
                    FileDelete(surplus);
            }
        }
        versionName = name(1, two);
    }
    if (XlFileExists(cp.EName)) {
        if (collides(versionName))
            return false;
        if (XlFileExists(versionName) && !FileDelete(versionName))
            return true;
        // A second name for the replaced file keeps it under its own name as well, so that a run
        // killed before the new copy is in place leaves the file where it was.
        bool moved;
        if (::link(cp.EName.c_str(), versionName.c_str()) == 0) {
            inPlace = true;
            moved = true;
            FLog.WriteToLog(lmVerbose,
                            std::string(Indent) +
                                SafeFormat(_("%s was renamed: \"%s\" to \"%s\""),
                                           {_("File"), MakeRelativePath(AddPathDelimiter(cp.DDir), cp.EName),
                                            MakeRelativePath(AddPathDelimiter(cp.DDir), versionName)}));
        } else {
            moved = FileRename(cp.DDir, cp.EName, versionName);
        }
        if (moved && FLog.CurrentLogMode() == lmLong) {
            // below the entry's destination folder the path is told from there, else from the base folder
            const bool fromEntry = sec.DirMode == sdSubDir || sec.DirMode == sdSepDir;
            const std::string where = fromEntry
                                          ? MakeRelativePath(AddPathDelimiter(fs.DestBase), versionName)
                                          : "/" + MakeRelativePath(AddPathDelimiter(BaseDir), versionName);
            if (sec.DirMode != sdNone)
                FLog.WriteToLog(lmLong,
                                std::string(Indent) + SafeFormat(_("File \"%s\" was moved to: \"%s\""),
                                                                 {FileNameOf(cp.EName), where}));
            else
                FLog.WriteToLog(lmLong,
                                std::string(Indent) +
                                    SafeFormat(_("%s was renamed: \"%s\" to \"%s\""),
                                               {_("File"), FileNameOf(cp.EName), FileNameOf(versionName)}));
        }
    }
    return true;
}

namespace {

// The name of version k with the file suffix as written in the settings (date placeholders kept).
std::string PlainVersionName(const std::string& folder, const std::string& n, const std::string& x,
                             const std::string& suffix, int k, bool twoDigits)
{
    std::string s = suffix;
    std::string num = VersionDigits(k, twoDigits);
    if (s.find('#') != std::string::npos)
        s = ReplaceAll(s, "#", num);
    else
        s += num;
    return folder + InsertNameSuffix(n, s) + x;
}

// The engine writes a copy under a hidden name beside its destination: "." + name + "." + eight
// hexadecimal digits + ".part". Such a file outlives only a run that was killed.
bool IsEnginePartName(const std::string& name)
{
    constexpr size_t tail = 1 + 8 + 5; // ".xxxxxxxx.part"
    if (name.size() < 2 + tail || name[0] != '.' || name.compare(name.size() - 5, 5, ".part") != 0)
        return false;
    size_t dot = name.size() - tail;
    if (name[dot] != '.')
        return false;
    for (size_t i = dot + 1; i < dot + 9; ++i)
        if (!std::isxdigit(static_cast<unsigned char>(name[i])) ||
            std::isupper(static_cast<unsigned char>(name[i])))
            return false;
    return true;
}

// The longest leading part of name that fits into size bytes without splitting a UTF-8 sequence.
std::string Utf8Prefix(const std::string& name, size_t size)
{
    if (name.size() <= size)
        return name;
    size_t cut = size;
    while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80)
        --cut;
    return name.substr(0, cut);
}

constexpr size_t MaxNameBytes = 255;

// Whether the files the program makes are writable by their owner (the umask leaves the bit).
bool NewFilesWritable()
{
    static const bool writable = [] {
        std::ifstream in("/proc/self/status");
        std::string line;
        while (std::getline(in, line))
            if (line.compare(0, 6, "Umask:") == 0)
                return (std::strtoul(line.c_str() + 6, nullptr, 8) & S_IWUSR) == 0;
        return false; // unknown: the attributes are always set
    }();
    return writable;
}

// A folder's copy is never more open to others than its source folder; its owner keeps full access, so
// that later runs can write into it.
void LimitFolderMode(const std::string& srcDir, const std::string& destDir)
{
    struct stat src
    {
    };
    struct stat dest
    {
    };
    if (::stat(srcDir.c_str(), &src) != 0 || ::lstat(destDir.c_str(), &dest) != 0 || !S_ISDIR(dest.st_mode))
        return;
    const mode_t wanted = (src.st_mode & 0777) | S_IRWXU;
    if ((dest.st_mode & 07777) != wanted)
        ::chmod(destDir.c_str(), wanted);
}

// Files up to this size are copied on the run's thread.
constexpr int64_t InlineCopyLimit = 256 * 1024;
// Folders with fewer files that have a copy are compared without the helper thread.
constexpr size_t StatAheadMinimum = 8;

// The engine's copy of a file, run on the calling thread. Its progress reports reach the handler at
// once, and the wait for it finds it done.
class TInlineCopy : public TWinCopyThread
{
public:
    TInlineCopy(const std::string& source, const std::string& dest, TEncryption* encryption,
                TCopyOptions options, int bufSize)
        : TWinCopyThread(source, dest, encryption, options, true, bufSize)
    {
    }
    void RunHere() { Execute(); }
};

// An open folder for look-ups relative to it, closed with the object.
struct TFolderHandle
{
    explicit TFolderHandle(int fd) : Fd(fd) {}
    ~TFolderHandle()
    {
        if (Fd >= 0)
            ::close(Fd);
    }
    TFolderHandle(const TFolderHandle&) = delete;
    TFolderHandle& operator=(const TFolderHandle&) = delete;
    int Fd;
};

} // namespace

void TCopyLoop::PruneOldVersions(TFolderState& fs, const std::string& destDir, const std::string& n,
                                 const std::string& formExt, const std::string& sourceName)
{
    const TSecSettings& sec = FTask.BakSec;
    std::string v = VersionFolder(fs.DestBase, destDir);
    // a name that is the backup of another source file of the folder is never an older version
    const bool beside = StripDelimiter(v) == StripDelimiter(destDir);
    auto mayPrune = [&](const std::string& path) {
        return !beside ||
               !ClaimedByOther(fs, FileNameOf(path), sourceName,
                               SafeFormat(_("not deleted as an older version of \"%s\""), {n + formExt}));
    };
    TDateTime ageLimit = std::floor(Now()) - 7.0 * sec.AgeInWeeks;
    if (sec.MaxHist >= 2) {
        std::string suffix = "." + sec.FileSuffix;
        bool two = sec.MaxHist > 9;
        for (int k = sec.MaxHist; k >= sec.MinHist && k >= 1; --k) {
            std::string p = PlainVersionName(v, n, formExt, suffix, k, two);
            if (k < 10 && two && !XlFileExists(p, false))
                p = PlainVersionName(v, n, formExt, suffix, k, false);
            if (XlFileExists(p, false) && XlGetFileAge(p, false) <= ageLimit && mayPrune(p))
                FileDelete(p);
        }
        return;
    }
    if (!XlDirectoryExists(StripDelimiter(v)))
        return;
    std::string suffix =
        sec.DirMode != sdNone && sec.FileSuffix.empty()
            ? std::string()
            : SecurityCopyDateMasks("." + (sec.FileSuffix.empty() ? BakSuffix : sec.FileSuffix));
    std::string mask = InsertNameSuffix(n, suffix) + formExt;
    std::vector<std::string> old;
    TSearchRec sr;
    for (int code = FindFirst(AddPathDelimiter(v) + "*",
                              static_cast<int>(faReadOnly | faHidden | faSysFile | faArchive), sr);
         code == 0; code = FindNext(sr)) {
        if ((sr.Attr & faDirectory) == 0 && DirSearchMatches(sr.Name, mask) &&
            AddPathDelimiter(v) + sr.Name != AddPathDelimiter(destDir) + n + formExt &&
            FileTimeToLocalDateTime(sr.FindData.LastWriteTime) <= ageLimit)
            old.push_back(AddPathDelimiter(v) + sr.Name);
    }
    FindClose(sr);
    for (const auto& name : old)
        if (mayPrune(name))
            FileDelete(name);
}

uint64_t TCopyLoop::FreeBytes(const std::string& dir) const
{
    return DiskFreeBytes ? DiskFreeBytes(dir) : GetDiskFreeBytes(dir);
}

void TCopyLoop::RenewEncryption()
{
    // the copy thread that was given up took the old object with it
    (void)FOwnedEncryption.release();
    Encryption = nullptr;
    if (MakeEncryption) {
        FOwnedEncryption = MakeEncryption();
        Encryption = FOwnedEncryption.get();
    }
}

void TCopyLoop::StartCopy(TCopyProps& cp)
{
    TCopyOptions options = LocalCopyOptions(cp.Compressed);
    // A small file is copied on this thread: a thread of its own would cost more than the copy.
    const bool inlineCopy = !MakeCopyThread && cp.SInfo.Size <= InlineCopyLimit;
    if (MakeCopyThread) {
        FCopyThread = MakeCopyThread(cp, options);
    } else if (inlineCopy) {
        int bufSize = FTask.TaskBufferSize;
        if (bufSize > 0)
            bufSize = static_cast<int>(std::min<int64_t>(bufSize, std::max<int64_t>(cp.SInfo.Size, 4096)));
        FCopyThread = std::make_unique<TInlineCopy>(cp.RName, cp.TName, Encryption, options, bufSize);
    } else {
        FCopyThread = std::make_unique<TWinCopyThread>(cp.RName, cp.TName, Encryption, options, true,
                                                       FTask.TaskBufferSize);
    }
    if (!TempDir.empty())
        FCopyThread->SetTempDir(TempDir);
    // the worker takes the source's data of the folder pass instead of reading it again
    TFileData data;
    data.FileName = FileNameOf(cp.RName);
    data.FileSize = cp.SInfo.Size;
    data.FileAttr = cp.SInfo.Attr;
    data.TimeStamps = cp.Timestamps;
    FCopyThread->SetSourceData(data);
    FCopyThread->SetVerifyDelay(static_cast<uint32_t>(std::max(MaxWaitTime, 0)));
    FCopyThread->SetOnProgress(Runner.ProgressHandler());
    Runner.LastTick = Runner.TickCount ? Runner.TickCount() : static_cast<uint32_t>(GetTickCount64());
    Runner.LastCount = 0;
    Runner.CopySpeed = 0;
    cp.Valid = true;
    if (inlineCopy)
        static_cast<TInlineCopy*>(FCopyThread.get())->RunHere();
    else
        FCopyThread->Start();
}

std::string TCopyLoop::MoveAside(const std::string& path)
{
    if (!Ops.MayDestroy(path, "B"))
        return std::string();
    std::string name = FileNameOf(path);
    std::string aside =
        path.substr(0, path.size() - name.size()) + "." + Utf8Prefix(name, 200) + "." + FRunTag + ".old";
    if (::rename(path.c_str(), aside.c_str()) != 0) {
        FLog.WriteErrorToLog(lmShort, "B",
                             SafeFormat(_("Error renaming %s: \"%s\" to \"%s\""), {_("File"), path, aside}),
                             LastWinError());
        return std::string();
    }
    return aside;
}

void TCopyLoop::DeleteAside(const std::string& aside)
{
    struct stat st
    {
    };
    if (::lstat(aside.c_str(), &st) != 0)
        return;
    if (S_ISDIR(st.st_mode)) {
        int deleted = 0, errors = 0;
        Ops.ClearDirectory(aside, std::string(), "B", true, true, FLog.CurrentLogMode() == lmVerbose, 0, 0,
                           deleted, errors);
        FLog.WriteToLog(lmLong, std::string(Indent) +
                                    SafeFormat(_("Directory was deleted: \"%s\""), {aside}) +
                                    FileCountText(deleted, true));
    } else if (XlDeleteFile(aside, true) == 0) {
        FLog.WriteToLog(lmVerbose, std::string(Indent) + SafeFormat(_("File was deleted: \"%s\""), {aside}));
    }
}

bool TCopyLoop::MakeWayForFolder(const std::string& dir)
{
    struct stat st
    {
    };
    const std::string path = StripDelimiter(dir);
    if (::lstat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode))
        return true;
    // The copy of a file that became this folder: it gives way to the folder, and goes once the folder
    // is there.
    std::string aside = MoveAside(path);
    if (aside.empty())
        return false;
    if (!Ops.CreateDirectoryLogged(path, "B", true)) {
        ::rename(aside.c_str(), path.c_str());
        return false;
    }
    DeleteAside(aside);
    return true;
}

bool TCopyLoop::SourceHasPermissions() const
{
    return KeepsPermissions(SourceType);
}

bool TCopyLoop::CopyFileItems(TCopyProps& cp, int& kind)
{
    std::vector<std::string> done;
    bool ok = true;
    if (FTask.cbAltStreams) {
        uint32_t e = CopyAlternateStreams(cp.RName, cp.EName);
        if (e != 0) {
            kind = CopyOutcome::CopiedWithWarnings;
            ok = false;
            FLog.WriteErrorToLog(lmWarningLine, "B",
                                 FormatFileError(EngineError::WarnStreams, cp.EName, std::string()), e);
        } else {
            done.push_back(_("Copy alternate data streams"));
        }
    }
    if (FTask.cbCopySummary) {
        int32_t e = CopyDocumentSummary(cp.RName, cp.EName);
        if (e != 0) {
            kind = CopyOutcome::CopiedWithWarnings;
            ok = false;
            FLog.WriteErrorToLog(lmWarningLine, "B",
                                 FormatFileError(EngineError::WarnSummary, cp.EName, std::string()),
                                 static_cast<uint32_t>(e));
        } else {
            done.push_back(_("Copy document summary"));
        }
    }
    if (FTask.cbCopyPerms && SourceHasPermissions()) {
        uint32_t e = CopyFilePermissions(cp.RName, cp.EName);
        if (e != 0) {
            kind = CopyOutcome::CopiedWithWarnings;
            ok = false;
            FLog.WriteErrorToLog(lmWarningLine, "B",
                                 FormatFileError(EngineError::WarnAcl, cp.EName, std::string()), e);
        } else {
            done.push_back(_("Copy file permissions"));
        }
    }
    if (!done.empty()) {
        std::string items;
        for (const auto& item : done)
            items += (items.empty() ? "" : ", ") + item;
        FLog.WriteToLog(lmVerbose, std::string(Indent) + _("Options:  ") + items);
    }
    return ok;
}

int TCopyLoop::CompletePendingCopy(TCopyProps& cp, TFolderState& fs)
{
    int ratio = -1;
    int e = Runner.WaitForCopyThread(FCopyThread, cp.ErrMsg, ratio, Encryption);
    cp.CRatio = ratio;
    if (Runner.LastAbandoned() && Encryption)
        RenewEncryption();
    int kind = e == 0 ? CopyOutcome::Copied : e;
    if ((e & ErrorWord::NumberMask) == ErrorNumber::LowDisk) {
        uint64_t freeBytes = FreeBytes(cp.DDir);
        if (freeBytes < static_cast<uint64_t>(std::max(FTask.TaskBufferSize, 0))) {
            FLog.WriteToLog(lmVerbose,
                            "   => " +
                                SafeFormat(_("%s remaining on drive %s"),
                                           {FormatSize(false, static_cast<int64_t>(freeBytes)), cp.DDir}));
            return CopyOutcome::VolumeFull;
        }
        e = (e & ErrorWord::SeverityMask) + ErrorNumber::Write;
        kind = e;
    }
    if ((e & ErrorWord::Error) != 0 || (e & ErrorNumber::UserBreak) != 0) {
        FLog.WriteErrorToLog(lmVerbose, "B", FormatCopyError(cp.RelName, cp.TName, static_cast<unsigned>(e)),
                             cp.ErrMsg, std::string());
        // The final name is removed only for a copy of this run that failed its verification: a copy
        // that could not take the name left it to whatever took it meanwhile (another run's copy).
        const int low = e & ErrorWord::NumberMask;
        const bool ownFile = cp.TName != cp.EName || low == ErrorNumber::Verify ||
                             low == ErrorNumber::OpenVerify || low == ErrorNumber::Content;
        if (DelTemp && ownFile && XlFileExists(cp.TName, false)) {
            uint32_t d = XlDeleteFile(cp.TName, true);
            if (d == 0)
                FLog.WriteToLog(lmVerbose,
                                std::string(Indent) + SafeFormat(_("File was deleted: \"%s\""), {cp.TName}));
            else
                FLog.WriteErrorToLog(lmShort, "B", SafeFormat(_("Error deleting file: \"%s\""), {cp.TName}),
                                     d);
        }
        return kind;
    }
    bool ok = true;
    bool placed = false;
    if (cp.InTheWay) {
        // The new copy is made: now what held its name goes aside, the copy takes the name, and what
        // was aside is deleted.
        std::string aside = MoveAside(cp.EName);
        if (aside.empty() || ::rename(cp.TName.c_str(), cp.EName.c_str()) != 0) {
            if (!aside.empty())
                ::rename(aside.c_str(), cp.EName.c_str());
            XlDeleteFile(cp.TName, true);
            kind = EngineError::Rename;
            ok = false;
        } else {
            FLog.WriteToLog(lmVerbose,
                            std::string(Indent) +
                                SafeFormat(_("%s was renamed: \"%s\" to \"%s\""),
                                           {_("File"), MakeRelativePath(AddPathDelimiter(cp.DDir), cp.TName),
                                            MakeRelativePath(AddPathDelimiter(cp.DDir), cp.EName)}));
            DeleteAside(aside);
        }
    } else if (cp.DExist) {
        FLog.WriteToLog(lmVerbose,
                        std::string(Indent) +
                            SafeFormat(_("Temporary file was copied successfully: \"%s\""), {cp.TName}));
        // The copy takes the source's times at once, before it takes the place of the old file; until
        // then it is marked as a partial file, which a later run may sweep when this one is killed.
        SetFileTimestamps(cp.TName, cp.Timestamps, false, FTask.cbCreationTime, false);
        EngineFs::SetPartMark(cp.TName, true);
        // inPlace: the old file is replaced by the new copy in one step, so that no moment leaves the
        // file missing
        bool inPlace = false;
        if (FTask.KeepBakCB)
            ok = KeepVersion(cp, fs, inPlace);
        else
            inPlace = XlFileExists(cp.EName, false);
        if (ok && inPlace && !Ops.MayDestroy(cp.EName, "B"))
            ok = false;
        if (ok && inPlace) {
            if (OnStep)
                OnStep("placing");
            if (::rename(cp.TName.c_str(), cp.EName.c_str()) == 0) {
                if (!FTask.KeepBakCB)
                    FLog.WriteToLog(lmVerbose, std::string(Indent) +
                                                   SafeFormat(_("File was deleted: \"%s\""), {cp.EName}));
                FLog.WriteToLog(
                    lmVerbose,
                    std::string(Indent) +
                        SafeFormat(_("%s was renamed: \"%s\" to \"%s\""),
                                   {_("File"), MakeRelativePath(AddPathDelimiter(cp.DDir), cp.TName),
                                    MakeRelativePath(AddPathDelimiter(cp.DDir), cp.EName)}));
                placed = true;
            } else if (!FTask.KeepBakCB && !FileDelete(cp.EName)) {
                kind = DeleteError;
            }
        }
        if (!placed) {
            if (ok && XlFileExists(cp.TName, false) && XlFileExists(cp.EName, false)) {
                std::string ext = FileExtOf(cp.EName);
                cp.EName = InsertNameSuffix(cp.EName.substr(0, cp.EName.size() - ext.size()), "-dup") + ext;
                FLog.WriteErrorToLog(lmVerbose, "B", _("Copying to replacement file") + ": " + cp.EName);
                ok = !XlFileExists(cp.EName, false) ||
                     (!ClaimedByOther(fs, FileNameOf(cp.EName), FileNameOf(cp.SName), _("not replaced")) &&
                      FileDelete(cp.EName));
            }
            if (!ok) {
                kind = EngineError::Rename;
                // the new copy under this run's temporary name does not stay
                if (XlFileExists(cp.TName, false) && XlDeleteFile(cp.TName, true) == 0)
                    FLog.WriteToLog(lmVerbose, std::string(Indent) +
                                                   SafeFormat(_("File was deleted: \"%s\""), {cp.TName}));
            } else {
                if (OnStep)
                    OnStep("placing");
                std::string errMsg;
                if (Ops.MoveFileLogged(cp.DDir, cp.TName, cp.EName, errMsg, lmVerbose, -1) > 0) {
                    cp.ErrMsg = errMsg;
                    kind = EngineError::Rename;
                    ok = false;
                }
            }
        }
    }
    if (ok) {
        CopyFileItems(cp, kind);
        // A new copy is writable and has its archive bit set: a source with the same attributes gives
        // it nothing to change (the verbose log still tells every change).
        const uint32_t attr = cp.SInfo.Attr & 0xFFFF;
        const bool nothingToChange = FLog.CurrentLogMode() != lmVerbose && (attr & faReadOnly) == 0 &&
                                     (attr & faArchive) != 0 && NewFilesWritable();
        if (!FTask.cbNoAttributes && !nothingToChange &&
            Ops.SetAttributesLogged(cp.EName, attr, true, "B") != 0)
            kind = CopyOutcome::CopiedWithWarnings;
        bool checkTime = !FTask.UseArchivCB && FTask.CompareMode == 0;
        uint32_t t = SetFileTimestamps(cp.EName, cp.Timestamps, checkTime, FTask.cbCreationTime, false);
        if (t != 0) {
            kind = CopyOutcome::CopiedWithWarnings;
            FLog.WriteErrorToLog(lmWarningLine, "B",
                                 FormatFileError(EngineError::WarnTime, cp.EName, std::string()), t);
        }
    }
    return kind;
}

void TCopyLoop::WriteStatusLine(const TFolderCounters& c)
{
    std::string text =
        FormatCount(_("No files copied"), _("1 file copied"), _("%u files copied"), c.CopyCount);
    if (c.ErrorCount > 0)
        text += " - " + FormatCount("", _("1 error"), _("%u errors"), c.ErrorCount);
    else if (c.WarnCount > 0)
        text += " - " + FormatCount("", _("1 warning"), _("%u warnings"), c.WarnCount);
    FProgress.WriteStatus(1, text);
}

bool TCopyLoop::ZipEncryptionDiffers(const std::string& path) const
{
    if (!FTask.EncChg)
        return false;
    TGzFileInfo info;
    try {
        if (GetZipFileInfo(path, info) != 0)
            return false;
    } catch (const Exception&) {
        return false;
    }
    return info.Encrypted != (Encryption != nullptr);
}

std::string TCopyLoop::TempNameFor(const std::string& target)
{
    // "." + name + "." + the loop's tag + ".part": hidden, never the name of another run's copy, and
    // marked like the engine's partial files once the copy is made, so that one a killed run left
    // behind is known as the program's own.
    std::string name = FileNameOf(target);
    std::string folder = target.substr(0, target.size() - name.size());
    return folder + "." + Utf8Prefix(name, 200) + "." + FRunTag + ".part";
}

TCopyLoop::TAfterFile TCopyLoop::FinishFileCopy(int kind, TCopyProps& cp, TFolderState& fs,
                                                TFolderCounters& c)
{
    int64_t size = cp.SInfo.Size;
    if (kind == CopyOutcome::VolumeFull && IsZipMethod(FTask.DestMode)) {
        Zip.FullVolume(fs.Prompt);
        FLog.WriteToLog("  *** " + _("Canceled because of full destination volume"));
        FControl.SetStopped(true);
        BuStatus = bsFull;
        return afStop;
    }
    if (kind == CopyOutcome::VolumeFull) {
        if (fs.Prompt) {
            FControl.SetLockStatus(1);
            for (;;) {
                std::string text =
                    _("The destination volume is full!\r\nInsert new media and continue backup?") + "\r\n" +
                    _("Next File: ") + cp.RelName;
                if (!FInteraction.Confirm(text))
                    break;
                if (Ops.CreateDirectoryLogged(fs.DestBase, "B", true) &&
                    Ops.CreateDirectoryLogged(AddPathDelimiter(fs.DestBase) + fs.RelDir, "B", true)) {
                    FLog.WriteToLog(std::string(Indent) + _("Storage medium changed at: ") + cp.RelName);
                    FControl.SetLockStatus(0);
                    FCurDir.clear();
                    return afCopyAgain;
                }
            }
            FControl.SetLockStatus(0);
        }
        FLog.WriteToLog("  *** " + _("Canceled because of full destination volume"));
        FControl.SetStopped(true);
        BuStatus = bsFull;
        return afStop;
    }
    bool kept = (cp.SInfo.Attr & faArchive) != 0;
    FProgress.SetElapsedTime(Now() - StartTime);
    if (kind == CopyOutcome::Copied) {
        c.CopiedBytes += size;
        ++c.CopyCount;
        std::string f;
        if (FTask.ResArchivCB) {
            int attr = XlFileGetAttr(cp.SName, true);
            uint32_t e = attr < 0 ? LastWinError() : 0;
            if (attr >= 0 && (attr & faArchive) != 0)
                e = XlChangeFileAttr(cp.SName, faArchive, true, true);
            if (e == 0) {
                f = "(A";
                kept = false;
            } else {
                FLog.WriteErrorToLog(lmShort, "B",
                                     SafeFormat(_("Error setting attributes of \"%s\""), {cp.SName}) + " (" +
                                         FileAttrToStr((cp.SInfo.Attr & ~faArchive) & 0xFFFF) + ")",
                                     e);
                ++c.ErrorCount;
            }
        }
        if (cp.DExist)
            f = f.empty() ? "(U" : f + ",U";
        if (cp.CRatio < 0) {
            if (!f.empty())
                f += ")";
        } else {
            std::string r = FormatFloatFixed(cp.CRatio / 10.0, 1, false) + "%)";
            f = f.empty() ? "(" + r : f + " - " + r;
        }
        if (FTask.cbSourceDelete && IsZipMethod(FTask.DestMode)) {
            // the file goes once its archive is in place
            Zip.DeferSourceDeletion(cp.SName);
        } else if (FTask.cbSourceDelete) {
            std::string trashedAs;
            uint32_t e = MoveToTrash(cp.SName, &trashedAs);
            if (e == 0) {
                f += " - " + _("Source deleted");
                FLog.WriteToLog(lmVerbose,
                                std::string(Indent) +
                                    SafeFormat(_("File was moved to Recycle Bin: \"%s\""), {cp.SName}));
            } else {
                FLog.WriteErrorToLog(lmShort, "B", _("Could not delete source file: ") + cp.SName, e);
                ++c.ErrorCount;
            }
        }
        WriteStatusLine(c);
        std::string line = FTask.cbVerify && !IsZipMethod(FTask.DestMode)
                               ? _("Copied and verified: \"%s\" %s")
                               : _("Copied: \"%s\" %s");
        std::string indent = FLog.CurrentLogMode() == lmVerbose ? "     -> " : Indent;
        FLog.WriteToLog(lmLong, indent + SafeFormat(line, {cp.RelName, f}));
    } else {
        int b = kind & ErrorWord::NumberMask;
        if ((kind & ErrorWord::Error) != 0) {
            c.FailedBytes += size;
            ++c.ErrorCount;
        } else if ((kind & ErrorWord::Warning) != 0) {
            c.CopiedBytes += size;
            ++c.WarnCount;
            ++c.CopyCount;
        }
        WriteStatusLine(c);
        if (b == ErrorNumber::TimeOut) {
            --TimeOutCount;
            if (fs.Prompt)
                FControl.SetStopped(
                    FInteraction.Confirm(_("Time out while copying files!\r\nCancel backup?")));
            else
                FControl.SetStopped(TimeOutCount <= 0);
            if (FControl.Stopped())
                BuStatus = bsCanceled;
        }
        if (IsZipMethod(FTask.DestMode)) {
            // A per-folder archive of a stopped run or a terminated entry never remains; a write error
            // on a zip destination stops the run.
            if (b == ErrorNumber::UserBreak || b == ErrorNumber::FtpClosed || FControl.Stopped()) {
                if (MakesFolderArchives(FTask.DestMode))
                    Zip.DiscardFolderArchive();
            } else if (b == ErrorNumber::LowDisk) {
                FControl.SetStopped(true);
            }
        }
        int level = FLog.CurrentLogMode();
        if (level < lmVerbose) {
            if ((kind & ErrorWord::Error) == 0) {
                if (b != 0)
                    FLog.WriteErrorToLog(lmWarningLine, "B",
                                         FormatCopyError(cp.RelName, cp.TName, static_cast<unsigned>(kind)),
                                         cp.ErrMsg, std::string());
                if ((kind & ErrorWord::Warning) != 0)
                    FLog.WriteToLog(lmLong, std::string(Indent) +
                                                SafeFormat(_("Copied: \"%s\" %s"), {cp.RelName, ""}));
            } else if (!(b == ErrorNumber::Delete && level == lmLong)) {
                FLog.WriteErrorToLog(lmShort, "B",
                                     FormatCopyError(cp.RelName, cp.TName, static_cast<unsigned>(kind)),
                                     cp.ErrMsg, std::string());
            }
        } else if (kind == CopyOutcome::CopiedWithWarnings) {
            FLog.WriteToLog(lmVerbose, "     -> " + SafeFormat(_("Copied: \"%s\" %s"), {cp.RelName, ""}));
        }
    }
    fs.ArchiveKept = fs.ArchiveKept || kept;
    return FControl.Stopped() ? afStop : afGoOn;
}

void TCopyLoop::ShowRunProgress(const TFolderCounters& c)
{
    FProgress.SetElapsedTime(Now() - StartTime);
    if (TotalSize > 0) {
        const double done = static_cast<double>(SizeProgress ? c.TotalBytes : c.FileCount);
        FProgress.SetTotalProgress(
            static_cast<int>(std::lround(100.0 / static_cast<double>(TotalSize) * done)));
    }
}

void TCopyLoop::LoadDestListing(TFolderState& fs, const std::string& destDir)
{
    TDestListing& d = fs.Dest;
    if (d.Loaded && d.Dir == destDir)
        return;
    d.Close();
    d.Names.clear();
    d.Exists = false;
    d.Dir = destDir;
    d.Loaded = true;
    DIR* dir = ::opendir(destDir.c_str());
    if (!dir)
        return;
    d.Handle = dir;
    d.Exists = true;
    bool parts = false;
    while (struct dirent* e = ::readdir(dir)) {
        std::string name = e->d_name;
        if (name == "." || name == "..")
            continue;
        parts = parts || IsEnginePartName(name);
        d.Names.insert(std::move(name));
    }
    if (parts)
        RemoveStaleParts(fs);
}

void TCopyLoop::TDestListing::Close()
{
    if (Ahead)
        Ahead->Stop(AheadJob);
    Ahead = nullptr;
    if (Handle)
        ::closedir(static_cast<DIR*>(Handle));
    Handle = nullptr;
}

int TCopyLoop::TDestListing::Fd() const
{
    return Handle ? ::dirfd(static_cast<DIR*>(Handle)) : AT_FDCWD;
}

void TCopyLoop::RemoveStaleParts(TFolderState& fs)
{
    // Partial copies that a killed run left behind: older than this run, and no file of that name is
    // being backed up from the source folder.
    std::vector<std::string> gone;
    for (const auto& name : fs.Dest.Names) {
        if (!IsEnginePartName(name) || XlFileExists(fs.SrcDir + name, false))
            continue;
        if (!EngineFs::IsMarkedPart(AddPathDelimiter(fs.Dest.Dir) + name) ||
            !Ops.MayDestroy(AddPathDelimiter(fs.Dest.Dir) + name, "B"))
            continue;
        std::string path = AddPathDelimiter(fs.Dest.Dir) + name;
        TPosixFileData data;
        if (ReadFileData(path, false, data) != 0 || (data.Attr & faDirectory) != 0 ||
            FileTimeToLocalDateTime(data.LastWriteTime) >= StartTime)
            continue;
        if (XlDeleteFile(path, true) == 0) {
            FLog.WriteToLog(lmVerbose,
                            std::string(Indent) + SafeFormat(_("File was deleted: \"%s\""), {path}));
            gone.push_back(name);
        }
    }
    for (const auto& name : gone)
        fs.Dest.Names.erase(name);
}

void TCopyLoop::SetParentTimestamps(const std::string& destDir, const std::string& srcDir)
{
    // From the new destination folder upwards to the part it shares with the last one, each folder
    // gets the times of its source folder. The run's root and what lies above it keep their times.
    std::string root = StripDelimiter(GetCommonRoot(destDir, FCurDir));
    std::string base = StripDelimiter(BaseDir);
    std::string d = StripDelimiter(destDir);
    std::string sdir = StripDelimiter(srcDir);
    while (!d.empty() && d != root && d.size() > base.size() && d.compare(0, base.size(), base) == 0 &&
           !sdir.empty() && sdir != "/") {
        TFileTimestamps ts;
        GetDirTimestamps(sdir, true, ts);
        if (ts.Valid) {
            uint32_t e = SetFileTimestamps(d, ts, false, FTask.cbCreationTime, true);
            if (e != 0)
                FLog.WriteErrorToLog(lmWarningLine, "B",
                                     FormatFileError(EngineError::WarnTime, d, std::string()), e);
            else
                FLog.WriteToLog(lmVerbose, std::string(Indent) + SafeFormat(_("Set timestamp: \"%s\" => %s"),
                                                                            {d, TimeText(ts.LastWriteTime)}));
        }
        std::string nd = StripDelimiter(GetParentDir(d));
        std::string ns = StripDelimiter(GetParentDir(sdir));
        if (nd.size() >= d.size() || ns.size() >= sdir.size())
            break;
        d = nd;
        sdir = ns;
    }
}

void TCopyLoop::BackupEntry(TExtensionList& list, const std::string& srcDir, const std::string& destDir,
                            bool prompt, TFolderCounters& counters)
{
    Runner.CopyTimeout = std::max(FTask.CopyTimeout, 0);
    Runner.FullSpeed = FTask.FullSpeed;
    Runner.MaxRate = std::max(FTask.MaxRate, 0);
    Runner.SizeProgress = SizeProgress;
    Runner.TotalSize = TotalSize;
    Runner.StartTime = StartTime;
    if (MakeEncryption && !Encryption) {
        FOwnedEncryption = MakeEncryption();
        Encryption = FOwnedEncryption.get();
    }
    // a copy thread left running by a stopped folder of an earlier entry is not waited for again
    FCopyThread.reset();
    TPosixFileData data;
    uint32_t attr = 0;
    TFileTimestamps ts;
    if (ReadFileData(srcDir, true, data) == 0) {
        attr = data.Attr;
        ts = TimestampsOf(data);
    }
    TFolderCounters before = counters;
    FCollisions = 0;
    BackupDirectory(srcDir, destDir, std::string(), ts, attr, false, prompt, counters, list);
    counters.ErrorCount += FCollisions;
    FCollisions = 0;
    // A folder's archive that a stop left unfinished never remains.
    Zip.DiscardFolderArchive();
    list.ICount = static_cast<int32_t>(counters.FileCount - before.FileCount);
    list.IBytes = counters.TotalBytes - before.TotalBytes;
}

void TCopyLoop::RememberDestinationFolders(const std::string& destBase)
{
    FDestFolders.clear();
    FDestPaths.clear();
    for (const std::string& dir : {BaseDir, destBase}) {
        if (dir.empty())
            continue;
        FDestPaths.push_back(StripDelimiter(dir));
        TPosixFileData data;
        if (ReadFileData(FDestPaths.back(), true, data) == 0)
            FDestFolders.emplace_back(data.Dev, data.Ino);
    }
}

bool TCopyLoop::IsDestinationFolder(const std::string& path, const TPosixFileData& data) const
{
    for (const auto& [dev, ino] : FDestFolders)
        if (data.Dev == dev && data.Ino == ino)
            return true;
    // a destination made during the walk
    for (const std::string& p : FDestPaths)
        if (p == path)
            return true;
    return false;
}

void TCopyLoop::BackupDirectory(const std::string& srcBase, const std::string& destBase,
                                const std::string& relDir, TFileTimestamps dirTimestamps, uint32_t dirAttr,
                                bool parentIncluded, bool prompt, TFolderCounters& c, TExtensionList& list)
{
    const int level = FLog.CurrentLogMode();
    std::string srcDir = AddPathDelimiter(AddPathDelimiter(srcBase) + relDir);
    std::string destDir = relDir.empty() ? StripDelimiter(destBase) : AddPathDelimiter(destBase) + relDir;
    TFolderState fs;
    fs.SrcBase = srcBase;
    fs.DestBase = destBase;
    fs.RelDir = relDir;
    fs.SrcDir = srcDir;
    fs.Prompt = prompt;

    // A. Selection of the folder.
    bool selected;
    if (list.IncludeDirs) {
        selected = relDir.empty() || parentIncluded || list.SubDirList.IndexOf(srcDir) >= 0;
        parentIncluded = selected && !relDir.empty();
    } else {
        selected = list.SubDirList.IndexOf(srcDir) < 0;
    }
    // Links below the entry's folder: skipped, recorded in an information file or read through.
    TJunctionRootScope junctionScope(FJunctionRoot, srcDir, relDir.empty());
    if (!relDir.empty() && (dirAttr & faReparsePoint) != 0) {
        if (!selected)
            return;
        TLinkFolderStep link = HandleLinkFolder(FTask, TLinkContext{BaseDir, FTask.BuFtp, nullptr}, FLog, Ops,
                                                srcDir, destDir, dirAttr, junctionScope.Parent());
        c.ErrorCount += link.Errors;
        if (link.Skip)
            return;
        if (link.IsLink)
            FJunctionRoot = link.JunctionRoot;
        if (link.ReRoot) {
            BackupDirectory(link.SrcBase, link.DestBase, std::string(), link.DirTimestamps, link.DirAttr,
                            parentIncluded, prompt, c, list);
            return;
        }
    }
    if (selected) {
        FLog.WriteToLog(lmVerbose, std::string(Indent) +
                                       SafeFormat(_("Current directory: \"%s\""), {srcDir}) + " (" +
                                       FileAttrToStr(dirAttr) + ")");
        if (WritesRunArchive(FTask.DestMode) && (!relDir.empty() || !FTask.cbDelDir)) {
            // The run's archive gets the folder's directory entry instead of a destination folder.
            if (!Zip.AddDir(srcDir))
                selected = false;
        } else if (!WritesRunArchive(FTask.DestMode) && !FTask.cbDelDir) {
            if (!MakeWayForFolder(destDir) || !Ops.CreateDirectoryLogged(destDir, "B", !relDir.empty())) {
                ++c.ErrorCount;
                selected = false;
            }
        }
    } else {
        std::string key = list.IncludeDirs ? _("Not selected: \"%s\"") : _("Excluded directory: \"%s\"");
        FLog.WriteToLog(lmVerbose, std::string(Indent) + SafeFormat(key, {srcDir}) + " (" +
                                       FileAttrToStr(dirAttr) + ")");
    }

    // B. Sub-folders first. The folder is read once: the names serve the file pass as well.
    std::vector<TFolderEntry> entries;
    bool entriesRead = false;
    if ((selected || list.IncludeDirs) && !FControl.Stopped()) {
        int code = ReadFolderEntries(srcDir, entries);
        entriesRead = true;
        if (relDir.empty())
            RememberDestinationFolders(destBase);
        std::string lastName;
        for (const auto& e : entries) {
            if (FControl.Stopped())
                break;
            if (e.Type != DT_DIR && e.Type != DT_LNK && e.Type != DT_UNKNOWN)
                continue;
            TPosixFileData data;
            const uint32_t rc = ReadFileData(srcDir + e.Name, false, data);
            if (rc != 0 && rc != WinError::ERROR_FILE_NOT_FOUND && rc != WinError::ERROR_PATH_NOT_FOUND &&
                e.Type == DT_DIR) {
                // a folder that cannot be read (too deep a path, no permission to enter) is no success
                FLog.WriteErrorToLog(lmShort, "B", SafeFormat(DirErrorFormat(rc), {srcDir + e.Name + "/"}),
                                     rc);
                ++c.ErrorCount;
                continue;
            }
            if (rc != 0 || (data.Attr & faDirectory) == 0)
                continue;
            if (IsDestinationFolder(srcDir + e.Name, data)) {
                // The backup lies inside its own source: it is never backed up into itself.
                FLog.WriteToLog(lmVerbose,
                                std::string(Indent) +
                                    SafeFormat(_("Excluded directory: \"%s\""), {srcDir + e.Name + "/"}) +
                                    " (" + FileAttrToStr(data.Attr) + ")");
                continue;
            }
            lastName = e.Name;
            BackupDirectory(srcBase, destBase, JoinPath(relDir, e.Name), TimestampsOf(data), data.Attr,
                            parentIncluded, prompt, c, list);
            if (BuStatus == bsFull)
                break;
        }
        if (FControl.Stopped())
            return;
        if (code != 0) {
            if (selected || !list.IncludeDirs) {
                FLog.WriteErrorToLog(lmShort, "B",
                                     SafeFormat(DirErrorFormat(static_cast<uint32_t>(code)), {srcDir}) +
                                         " (" + lastName + ")",
                                     static_cast<uint32_t>(code));
                ++c.ErrorCount;
            }
            selected = false;
        }
    }

    // C. Preparing the file pass.
    TCopyProps cp;
    const bool folderZip = MakesFolderArchives(FTask.DestMode);
    // "Tagged only": the entry's own folder is examined only for a per-folder archive, which the
    // entry's folder always gets, and none of its files is selected.
    const bool noneSelected = folderZip && list.IncludeDirs && relDir.empty();
    bool examine = selected && !(list.IncludeDirs && relDir.empty() && !folderZip);
    int zipAdded = 0;
    if (examine && !FControl.Stopped() && folderZip)
        examine = Zip.OpenFolderArchive(destDir, srcDir, relDir, c, Ops);
    if (!examine || FControl.Stopped()) {
        examine = false;
        goto totals;
    }
    {
        FProgress.SetPrompt(srcDir);
        FLog.WriteToLog(lmVerbose, std::string(Indent) + SafeFormat(_("Scan for files in \"%s\""), {srcDir}));
    }

    // D. File pass. Each entry is looked up in the open folder; the archive mark is read only where
    // something asks for the archive bit.
    {
        int code = entriesRead ? 0 : ReadFolderEntries(srcDir, entries);
        fs.Entries = &entries;
        const bool namesFold = !IsZipMethod(FTask.DestMode) && NamesMayFold();
        const std::string timestampName = AddPathDelimiter(BaseDir) + TimestampFileName;
        TFolderHandle folder(code == 0 ? ::open(srcDir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1);
        if (code == 0 && folder.Fd < 0)
            code = static_cast<int>(LastWinError());
        const bool needArchive = FTask.UseArchivCB || FTask.ResArchivCB || level == lmVerbose ||
                                 list.Attributes.Archive != amIgnore;
        const bool needTimes = SelectionUsesTimes(list, Selection);
        // The statuses of the files that have a copy are read on a helper thread while this one reads
        // the sources'. Only until the loop writes or deletes in the destination folder: it stops the
        // helper first, so that nothing out of date is compared.
        uint64_t aheadJob = 0;
        if (code == 0 && !IsZipMethod(FTask.DestMode) && entries.size() >= StatAheadMinimum) {
            LoadDestListing(fs, destDir);
            std::vector<std::string> names(entries.size());
            size_t wanted = 0;
            for (size_t i = 0; i < entries.size(); ++i) {
                if (entries[i].Type != DT_DIR && fs.Dest.Has(entries[i].Name)) {
                    names[i] = entries[i].Name;
                    ++wanted;
                }
            }
            if (wanted >= StatAheadMinimum) {
                if (!FStatAhead)
                    FStatAhead = std::make_unique<TStatAhead>();
                aheadJob = FStatAhead->Start(fs.Dest.Fd(), AddPathDelimiter(destDir), std::move(names),
                                             level == lmVerbose);
                fs.Dest.Ahead = FStatAhead.get();
                fs.Dest.AheadJob = aheadJob;
            }
        }
        auto stopAhead = [&] {
            if (aheadJob != 0)
                FStatAhead->Stop(aheadJob);
            aheadJob = 0;
        };
        for (size_t index = 0; code == 0 && index < entries.size(); ++index) {
            const std::string& name = entries[index].Name;
            FControl.WaitWhilePaused();
            if (entries[index].Type == DT_DIR || !IsNotDotEntry(name) || utf8::SameText(name, LockName))
                continue;
            TPosixFileData fd;
            // a file that vanished since the folder was read is not there any more; one that cannot be
            // read is an error
            const uint32_t rc = ReadFileDataAt(folder.Fd, name, srcDir + name, false, needArchive, fd);
            if (rc != 0 && rc != WinError::ERROR_FILE_NOT_FOUND && rc != WinError::ERROR_PATH_NOT_FOUND) {
                FLog.WriteErrorToLog(
                    lmShort, "B", SafeFormat(_("Error reading file: \"%s\""), {JoinPath(relDir, name)}), rc);
                ++c.ErrorCount;
                continue;
            }
            if (rc != 0 || (fd.Attr & (faDirectory | faVolumeID)) != 0)
                continue;
            // A link to a file is backed up as the file it points to; pipes, sockets, devices and links
            // to nothing are never opened (a pipe would wait for a writer for ever).
            if (S_ISLNK(fd.Mode)) {
                TPosixFileData target;
                if (ReadFileDataAt(folder.Fd, name, srcDir + name, true, needArchive, target) == 0 &&
                    S_ISREG(target.Mode))
                    fd = target;
            }
            if (!S_ISREG(fd.Mode)) {
                FLog.WriteToLog(lmLong,
                                std::string(Indent) + SafeFormat(_("Skipped - not a regular file: \"%s\""),
                                                                 {JoinPath(relDir, name)}));
                continue;
            }
            // the archive bit of a file that is about to be copied or given attributes
            auto readArchiveBit = [&] {
                if (!needArchive && IsArchiveBitSet(srcDir + name, fd, false))
                    fd.Attr = (fd.Attr & ~faNormal) | faArchive;
            };
            std::string n = ChangeTextCase(name, FTask.FnMode);
            if (FTask.ReplMode == cpSimple)
                n = ReplaceIllegalChars(n, static_cast<char32_t>(FTask.ReplChar));
            std::string relName = JoinPath(relDir, name);
            bool archiveSet = (fd.Attr & faArchive) != 0;
            TSelFileInfo info;
            info.Name = name;
            info.Size = fd.Size;
            info.Attr = fd.Attr;
            if (needTimes) {
                info.DateTime = FileTimeToLocalDateTime(fd.LastWriteTime);
                info.CreationTime = FileTimeToLocalDateTime(fd.CreationTime);
            }
            std::string ext;
            bool fileSelected = !noneSelected && ExtensionMatches(name, list, ext) &&
                                FileMatchesSelection(info, list, Selection);
            if (!fileSelected) {
                FProgress.SetElapsedTime(Now() - StartTime);
                FLog.WriteToLog(lmVerbose, std::string(Indent) +
                                               SafeFormat(_("Not selected: \"%s\""), {relName}) + " (" +
                                               FormatSize(false, fd.Size) + AttrText(fd.Attr) + ")");
                continue;
            }
            if (FTask.UseArchivCB && (FTask.cbArchFile || FTask.ClearDest || IsZipMethod(FTask.DestMode)) &&
                !archiveSet) {
                c.TotalBytes += fd.Size;
                ++c.FileCount;
                FProgress.SetElapsedTime(Now() - StartTime);
                FLog.WriteToLog(
                    lmVerbose,
                    std::string(Indent) +
                        SafeFormat(_("Skipped - archive bit not set at source: \"%s\""), {relName}));
                continue;
            }
            std::string sourcePath = srcDir + name;
            bool compressed = FTask.cbCompress && FTask.AktNoComp.IndexOf(ext) < 0;
            if (IsZipMethod(FTask.DestMode)) {
                // Zip branch: the file goes into the open archive.
                readArchiveBit();
                c.TotalBytes += fd.Size;
                ++c.FileCount;
                cp = TCopyProps();
                cp.SName = cp.RName = sourcePath;
                cp.DName = cp.EName = n;
                cp.DDir = destDir;
                cp.RelName = relName;
                cp.SInfo = fd;
                cp.Timestamps = TimestampsOf(fd);
                cp.Valid = true;
                cp.Compressed = compressed;
                FProgress.SetPrompt(sourcePath);
                FLog.WriteToLog(lmVerbose, std::string(Indent) + _("Add to zip archive: ") + n);
                int kind = Zip.AddFile(cp.RName, cp.SName, fd, compressed, cp.ErrMsg, cp.CRatio);
                if (kind == CopyOutcome::Copied)
                    ++zipAdded;
                else if (kind != CopyOutcome::VolumeFull)
                    FLog.WriteErrorToLog(lmVerbose, "B",
                                         FormatFileError(static_cast<unsigned>(kind), relName, ""), cp.ErrMsg,
                                         std::string());
                TAfterFile r = FinishFileCopy(kind, cp, fs, c);
                cp.Valid = false;
                if (r != afStop)
                    ShowRunProgress(c);
                if (r == afStop || FControl.Stopped())
                    return;
                FControl.Checkpoint();
                continue;
            }
            std::string formExt = DestFormExt(compressed);
            std::string dName = AddPathDelimiter(destDir) + n;
            std::string target = dName + formExt;
            // Two files of the folder that the task stores under one name, or a file stored under the
            // name of the run's time-stamp file: neither overwrites the other.
            bool collision = namesFold && ClaimedByOther(fs, n + formExt, name, _("not backed up"));
            if (!collision && target == timestampName) {
                FLog.WriteErrorToLog(
                    lmShort, "B",
                    SafeFormat(_("Name collision: \"%s\" is the time-stamp file of the backup"), {relName}),
                    _("not backed up"), std::string());
                ++FCollisions;
                collision = true;
            }
            if (collision) {
                c.FailedBytes += fd.Size;
                c.TotalBytes += fd.Size;
                ++c.FileCount;
                continue;
            }

            // Compare with the destination: the folder is read once, so that a missing file costs
            // no look-up of its own.
            LoadDestListing(fs, destDir);
            TPosixFileData dd;
            bool dExist = false;
            bool inTheWay = false;
            if (fs.Dest.Has(n + formExt)) {
                uint32_t dCode = 0;
                if (aheadJob == 0 || !FStatAhead->Take(aheadJob, index, n + formExt, dd, dCode))
                    dCode = ReadFileDataAt(fs.Dest.Fd(), n + formExt, target, false, level == lmVerbose, dd);
                dExist = dCode == 0 && (dd.Attr & (faDirectory | faReparsePoint)) == 0;
                inTheWay = dCode == 0 && !dExist;
            }
            FILETIME lwTime = dExist ? dd.LastWriteTime : 0;
            bool z = true;
            int action = 1;
            int comparison = 0;
            if (FTask.UseArchivCB) {
                comparison = 4;
                z = (FTask.cbArchFile || FTask.ClearDest) ? archiveSet : (archiveSet || !dExist);
            } else if (dExist) {
                if (!FTask.cbNoAttributes && ((fd.Attr ^ dd.Attr) & (faReadOnly | faHidden | faSysFile)) != 0)
                    action = 5;
                if (FTask.CompareMode == 3) {
                    comparison = 3;
                } else {
                    int64_t d = FileTimeToUnixTime(fd.LastWriteTime) - FileTimeToUnixTime(dd.LastWriteTime);
                    bool dst = (FTask.DstIgnore & 1) != 0;
                    if (FTask.CompareMode == 0) {
                        z = d > FTask.DeltaTime;
                        if (z && dst)
                            z = std::llabs(d - 3600) > FTask.DeltaTime;
                        // A plain copy of another size than its source is stale whatever its time says:
                        // the file was rewritten within the tolerance, or was still being written.
                        if (!z && formExt.empty() && dd.Size != fd.Size)
                            z = true;
                    } else {
                        z = std::llabs(d) > FTask.DeltaTime;
                        if (z && dst)
                            z = std::llabs(std::llabs(d) - 3600) > FTask.DeltaTime;
                        if (!z && FTask.CompareMode == 2)
                            comparison = 3;
                    }
                    if (z)
                        comparison = 1;
                }
                if (comparison == 3) {
                    int64_t plain = GetStoredPlainSize(target, compressed, dd.Size);
                    z = fd.Size > 0 && plain > 0 && plain != fd.Size;
                }
                if (!z && FTask.cbZipCompress)
                    z = ZipEncryptionDiffers(target);
            }
            if (z && !compressed && (TargetType == fsFat || TargetType == fsNotAvail) &&
                fd.Size >= (int64_t(1) << 32)) {
                z = false;
                action = 4;
            }

            if (z) {
                stopAhead();
                if (FCopyThread && cp.Valid) {
                    TAfterFile r = FinishFileCopy(CompletePendingCopy(cp, fs), cp, fs, c);
                    cp.Valid = false;
                    if (r == afStop)
                        return;
                    ShowRunProgress(c);
                }
                if (!FControl.Stopped()) {
                    std::string tName = target;
                    if (dExist || inTheWay)
                        tName = TempNameFor(target);
                    if (level == lmVerbose) {
                        FLog.WriteToLog(
                            lmVerbose,
                            std::string(Indent) +
                                SafeFormat(GetCopyActionText(false, compressed, Encryption != nullptr),
                                           {relName, FormatSize(false, fd.Size), tName}) +
                                " [" + CopyOptionLetters(compressed) + "]");
                        std::string outcome = !dExist           ? _("not present")
                                              : comparison == 4 ? _("Archive bit is set")
                                              : comparison == 3 ? "(" + FormatSize(false, dd.Size) + ")"
                                                                : TimeText(dd.LastWriteTime);
                        FLog.WriteToLog(lmVerbose, std::string(DeepIndent) + AttrText(fd.Attr) + " " +
                                                       TimeText(fd.LastWriteTime) + " -> " + outcome);
                    }
                    FProgress.SetPrompt(sourcePath);
                    // Other forms of the same file that a former setting left behind; a form that is
                    // the copy of a source file of its own stays.
                    for (const char* other : {"", ".zip", ".gz", ".gze", ".enc"}) {
                        if (formExt == other || !fs.Dest.Has(n + other))
                            continue;
                        if (*other && XlFileExists(srcDir + name + other, false))
                            continue;
                        if (namesFold && ClaimedNames(fs).count(n + other) != 0)
                            continue;
                        if (!Ops.MayDestroy(dName + other, "B"))
                            continue;
                        if (XlDeleteExistingFile(dName + other, true) == 0)
                            fs.Dest.Names.erase(n + other);
                    }
                    bool folderOk = true;
                    if (!utf8::SameText(destDir, FCurDir)) {
                        folderOk = MakeWayForFolder(destDir) &&
                                   Ops.CreateDirectoryLogged(destDir, "B", !relDir.empty());
                        if (folderOk) {
                            SetParentTimestamps(destDir, srcDir);
                            FCurDir = destDir;
                        }
                    }
                    if (!folderOk) {
                        ++c.ErrorCount;
                        c.TotalBytes += fd.Size;
                        ++c.FileCount;
                        break;
                    }
                    if (dExist)
                        XlDeleteExistingFile(tName, true);
                    bool spaceOk = true;
                    if (!compressed && fd.Size > 0xFFFFFFFFLL &&
                        FreeBytes(destDir) <= static_cast<uint64_t>(fd.Size)) {
                        FLog.WriteErrorToLog(
                            lmShort, "B",
                            SafeFormat(_("Not enough free space on \"%s\" to copy file \"%s\""),
                                       {destDir, tName}) +
                                " (" + FormatSize(false, fd.Size) + ")");
                        ++c.ErrorCount;
                        spaceOk = false;
                    }
                    if (spaceOk) {
                        readArchiveBit();
                        cp = TCopyProps();
                        cp.SName = sourcePath;
                        cp.RName = sourcePath;
                        cp.DName = dName;
                        cp.EName = target;
                        cp.TName = tName;
                        cp.DDir = destDir;
                        cp.RelName = relName;
                        cp.SInfo = fd;
                        cp.Timestamps = TimestampsOf(fd);
                        cp.DExist = dExist;
                        cp.InTheWay = inTheWay;
                        cp.LwTime = lwTime;
                        cp.Compressed = compressed;
                        fs.Dest.Names.insert(FileNameOf(target));
                        fs.Dest.Names.insert(FileNameOf(tName));
                        StartCopy(cp);
                    }
                }
            } else if (action == 5 && !FTask.cbNoAttributes) {
                readArchiveBit();
                FLog.WriteToLog(lmVerbose, std::string(DeepIndent) + AttrText(fd.Attr) + " " +
                                               TimeText(fd.LastWriteTime) + " -> " + FileAttrToStr(dd.Attr) +
                                               " " + TimeText(dd.LastWriteTime));
                Ops.SetAttributesLogged(target, fd.Attr & 0xFFFF, false, "B");
                ShowRunProgress(c);
            } else if (action == 4) {
                FLog.WriteErrorToLog(
                    lmShort, "B",
                    SafeFormat(_("File size exceeds maximum of 4GB for FAT32 destinations: \"%s\""),
                               {relName}) +
                        " (" + FormatSize(false, fd.Size) + ")");
                c.FailedBytes += fd.Size;
                ++c.ErrorCount;
                ShowRunProgress(c);
            } else {
                // Up to date: older versions of the file may have grown too old meanwhile.
                if (dExist && FTask.KeepBakCB && FTask.BakSec.AgeInWeeks > 0 &&
                    FTask.BakSec.DirMode != sdRootDate) {
                    stopAhead(); // deletes in the destination folder
                    PruneOldVersions(fs, destDir, n, formExt, name);
                }
                bool reset = false;
                if (comparison != 4 && FTask.ResArchivCB && archiveSet) {
                    uint32_t e = XlChangeFileAttr(sourcePath, faArchive, true, true);
                    if (e == 0) {
                        reset = true;
                    } else {
                        FLog.WriteErrorToLog(
                            lmWarningLine, "B",
                            FormatFileError(EngineError::WarnAttr, sourcePath, FileAttrToStr(fd.Attr)), e);
                        ++c.ErrorCount;
                    }
                }
                if (level == lmVerbose) {
                    if (comparison == 4) {
                        FLog.WriteToLog(
                            lmVerbose,
                            std::string(Indent) +
                                SafeFormat(_("Skipped - archive bit not set at source: \"%s\""), {relName}));
                    } else {
                        FLog.WriteToLog(
                            lmVerbose,
                            std::string(Indent) +
                                SafeFormat(_("File at destination is up to date: \"%s\""), {relName}) + " (" +
                                FormatSize(false, fd.Size) + ")" + (reset ? " (A)" : ""));
                        FLog.WriteToLog(lmVerbose, std::string(DeepIndent) + AttrText(fd.Attr) + " " +
                                                       TimeText(fd.LastWriteTime) + " <-> " +
                                                       TimeText(dd.LastWriteTime));
                    }
                } else if (level == lmLong && (FLog.ActMode() & lmWarnings) != 0) {
                    FLog.WriteToLog(
                        lmLong, "      * " +
                                    SafeFormat(_("File at destination is up to date: \"%s\""), {relName}) +
                                    " (" + FormatSize(false, fd.Size) + ")" + (reset ? " (A)" : ""));
                }
                ShowRunProgress(c);
            }
            c.TotalBytes += fd.Size;
            ++c.FileCount;
            if (FControl.Stopped()) {
                if (FCopyThread && cp.Valid) {
                    // the copy that runs is cancelled; it removes its partial file itself
                    FCopyThread->SetPaused(false);
                    FCopyThread->CancelThread();
                    FinishFileCopy(CompletePendingCopy(cp, fs), cp, fs, c);
                    cp.Valid = false;
                }
                return;
            }
            FControl.Checkpoint();
        }
        stopAhead();
        if (code != 0 && code != static_cast<int>(WinError::ERROR_NO_MORE_FILES)) {
            FLog.WriteErrorToLog(lmShort, "B", _("Error scanning directory: ") + srcDir,
                                 static_cast<uint32_t>(code));
            ++c.ErrorCount;
        }
    }
    FControl.Checkpoint();

    // E. End of the folder.
    if (examine && FTask.cbDelDir && zipAdded == 0 && WritesRunArchive(FTask.DestMode))
        Zip.RemoveEmptyDir();
    if (examine && folderZip)
        Zip.CloseFolderArchive(zipAdded, c);
    if (FCopyThread && cp.Valid) {
        TAfterFile r;
        do {
            r = FinishFileCopy(CompletePendingCopy(cp, fs), cp, fs, c);
            if (r == afCopyAgain)
                StartCopy(cp);
        } while (r == afCopyAgain);
        cp.Valid = false;
        if (r == afStop)
            return;
    }
    if (FTask.ResArchivCB && !relDir.empty() && !fs.ArchiveKept) {
        int attr = XlFileGetAttr(StripDelimiter(srcDir), true);
        if (attr >= 0 && (attr & faArchive) != 0) {
            uint32_t e =
                XlFileSetAttr(StripDelimiter(srcDir), static_cast<uint32_t>(attr) & ~faArchive, true);
            if (e != 0) {
                FLog.WriteErrorToLog(lmShort, "B",
                                     SafeFormat(_("Error setting attributes of \"%s\""), {srcDir}) + " (" +
                                         FileAttrToStr(static_cast<uint32_t>(attr) & ~faArchive) + ")",
                                     e);
                ++c.ErrorCount;
            }
        }
    }
    {
        std::string p = AddPathDelimiter(AddPathDelimiter(destBase) + relDir);
        std::string pd = StripDelimiter(p);
        if (!relDir.empty() && XlDirectoryExists(pd)) {
            if (FTask.cbDelDir && XlIsEmptyDirectory(pd)) {
                if (!FTask.cbNoAttributes)
                    XlFileSetAttr(pd, faArchive, false);
                uint32_t e = XlRemoveDir(pd);
                if (e == 0) {
                    FLog.WriteToLog(lmVerbose, std::string(Indent) +
                                                   SafeFormat(_("Empty directory was deleted: \"%s\""), {p}));
                    if (utf8::SameText(pd, FCurDir))
                        FCurDir.clear();
                } else {
                    FLog.WriteErrorToLog(lmShort, "B",
                                         SafeFormat(_("Error deleting directory: \"%s\""), {p}) + " (" +
                                             FileAttrToStr(dirAttr) + ")",
                                         e);
                    if (!FTask.cbNoAttributes)
                        XlFileSetAttr(pd, dirAttr & 0xFFFF, false);
                }
            } else {
                if (!FTask.cbNoAttributes)
                    Ops.SetAttributesLogged(pd, dirAttr & 0xFFFF, false, "B");
                if (dirTimestamps.Valid) {
                    uint32_t e = SetFileTimestamps(pd, dirTimestamps, true, FTask.cbCreationTime, true);
                    if (e != 0)
                        FLog.WriteErrorToLog(lmWarningLine, "B",
                                             FormatFileError(EngineError::WarnTime, pd, std::string()), e);
                }
                if (FTask.cbCopyPerms && SourceHasPermissions()) {
                    uint32_t e = CopyFilePermissions(StripDelimiter(srcDir), pd);
                    if (e != 0)
                        FLog.WriteErrorToLog(lmWarningLine, "B",
                                             FormatFileError(EngineError::WarnAcl, pd, std::string()), e);
                } else {
                    LimitFolderMode(srcDir, pd);
                }
            }
        }
    }
    // The emptied source folder goes too when the task deletes its sources.
    if (FTask.cbSourceDelete && (FTask.DelSourceDelDir & 1) != 0 && !relDir.empty()) {
        uint32_t e = XlRemoveDir(StripDelimiter(srcDir));
        if (e == 0)
            FLog.WriteToLog(lmVerbose, std::string(Indent) +
                                           SafeFormat(_("Empty directory was deleted: \"%s\""), {srcDir}));
        else
            FLog.WriteErrorToLog(lmShort, "B",
                                 SafeFormat(_("Error deleting directory: \"%s\""), {srcDir}) + " (" +
                                     FileAttrToStr(dirAttr) + ")",
                                 e);
    }

totals:
    // F. Total amount.
    if (SizeProgress) {
        if (TotalSize < c.TotalBytes) {
            TotalSize = c.TotalBytes;
            FProgress.SetTotalAmount(FormatSize(false, c.TotalBytes));
        }
    } else if (TotalSize < c.FileCount) {
        TotalSize = c.FileCount;
        FProgress.SetTotalAmount(FileCountText(c.FileCount, false));
    }
    Runner.TotalSize = TotalSize;
}

bool TCopyLoop::SynchronizeEntry(TExtensionList& list, const std::string& srcDir, const std::string& destDir,
                                 bool prompt, TFolderCounters& counters)
{
    if (FTask.BuFtp) {
        FLog.WriteErrorToLog(lmShort, "S", _("Synchronize") + " - " + destDir,
                             _("Synchronization of FTP destinations is not available in this build"),
                             std::string());
        ++counters.ErrorCount;
        counters.SyncFailed = true;
        return false;
    }
    TSynchronizer sync(FTask, FLog, FControl, FProgress, FInteraction, Ops);
    sync.BaseDir = BaseDir;
    sync.TargetType = TargetType;
    sync.Encrypt = Encryption != nullptr;
    sync.Selection = Selection;
    sync.BakSuffix = BakSuffix;
    if (!ProgSettings.SecCopySettings.SyncSuffix.empty())
        sync.SyncSuffix = ProgSettings.SecCopySettings.SyncSuffix;
    return sync.SyncLocalFolder(list, srcDir, destDir, prompt, counters);
}

void AttachCopyLoop(TBackupEngine& engine, TCopyLoop& loop)
{
    // The loop owns the encryption of its copies (a copy thread that is given up takes its object along
    // and the loop makes a new one); each run starts with one made from the run's own password.
    auto encryptionRun = std::make_shared<TDateTime>(-1);
    engine.BackupDirectory = [&engine, &loop, encryptionRun](TExtensionList& entry, const std::string& srcDir,
                                                             const std::string& destDir, bool prompt,
                                                             TFolderCounters& counters) {
        if (*encryptionRun != engine.StartTime) {
            *encryptionRun = engine.StartTime;
            loop.Encryption = nullptr;
            loop.MakeEncryption = nullptr;
            if (engine.Encryption)
                loop.MakeEncryption = [&engine]() {
                    return std::make_unique<TEncryption>(engine.ActPwd,
                                                         GetKeyMode(engine.Task.CryptKeyMode, engine.ActPwd),
                                                         engine.Task.TaskBufferSize);
                };
        }
        loop.BaseDir = engine.BaseDir;
        loop.Ops.Guard = engine.Guard;
        loop.Zip.Guard = engine.Guard;
        loop.StartTime = engine.StartTime;
        loop.TotalSize = engine.TotalSize;
        loop.SizeProgress = ProgSettings.ViewSettings.SizeProgress;
        loop.TargetType = engine.TargetType;
        loop.SourceType = GetFileSystem(srcDir);
        loop.Ops.TargetType = engine.TargetType;
        loop.Ops.FnMode = engine.Task.FnMode;
        loop.Selection.LastBackupTime = engine.Task.LastBackupTime;
        loop.Selection.Today = std::floor(Now());
        loop.BuStatus = bsOK;
        loop.Zip.MaxWaitTime = loop.MaxWaitTime;
        loop.Zip.TempDir = loop.TempDir;
        loop.BackupEntry(entry, srcDir, destDir, prompt, counters);
        engine.TotalSize = std::max(engine.TotalSize, loop.TotalSize);
        if (loop.BuStatus != bsOK && engine.BuStatus == bsOK)
            engine.BuStatus = loop.BuStatus;
    };
    AttachZipRun(engine, loop.Zip);
    engine.SynchronizeFolder = [&engine, &loop](TExtensionList& entry, const std::string& srcDir,
                                                const std::string& destDir, bool prompt,
                                                TFolderCounters& counters) {
        loop.BaseDir = engine.BaseDir;
        loop.Ops.Guard = engine.Guard;
        loop.TargetType = engine.TargetType;
        loop.Selection.LastBackupTime = engine.Task.LastBackupTime;
        loop.Selection.Today = std::floor(Now());
        // The walk only asks whether the run encrypts; the loop's own object stays its own.
        TEncryption* own = loop.Encryption;
        loop.Encryption = engine.Encryption.get();
        loop.SynchronizeEntry(entry, srcDir, destDir, prompt, counters);
        loop.Encryption = own;
    };
}
