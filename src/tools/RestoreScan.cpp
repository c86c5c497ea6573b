#include "tools/RestoreScan.h"

#include <algorithm>
#include <filesystem>
#include <memory>
#include <sys/stat.h>

#include "archive/EngineFs.h"
#include "archive/ExtFileTools.h"
#include "archive/ExtFileToolsZipRead.h"
#include "archive/FileErrors.h"
#include "backup/EngineInterfaces.h"
#include "backup/SecurityCopyNames.h"
#include "foundation/FileUtilsTimes.h"
#include "foundation/Masks.h"
#include "foundation/PathUtils.h"
#include "foundation/QvUtilsTexts.h"
#include "foundation/StringUtils.h"
#include "rtl/Gettext.h"

namespace fs = std::filesystem;

namespace {

constexpr TSecSelections Bit(TSecSelection s)
{
    return static_cast<TSecSelections>(1u << s);
}

const char* const TimeStampFile = "$TimeStamp.qvu";

std::string Join(const std::string& dir, const std::string& name)
{
    if (dir.empty())
        return name;
    if (name.empty())
        return dir;
    return dir.back() == '/' ? dir + name : dir + "/" + name;
}

bool LStat(const std::string& path, struct stat& st)
{
    return ::lstat(path.c_str(), &st) == 0;
}

struct TDirItem
{
    std::string Name;
    bool IsDir = false;
    bool IsLink = false;
};

// The entries of a folder in directory order (links are not followed).
std::vector<TDirItem> ListDir(const std::string& dir)
{
    std::vector<TDirItem> items;
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        TDirItem item;
        item.Name = it->path().filename().native();
        item.IsLink = it->is_symlink(ec);
        item.IsDir = !item.IsLink && it->is_directory(ec);
        items.push_back(std::move(item));
    }
    return items;
}

// A folder entry of an archive: its name ends with a slash or it carries the folder attribute (an empty
// file has sizes 0 as well).
bool IsFolderEntry(const TZipFileList& dir, int i)
{
    const std::string& name = dir.Strings(i);
    return (!name.empty() && (name.back() == '/' || name.back() == '\\')) ||
           (dir.Objects(i)->Attr & 0x10) != 0;
}

std::string LowerExt(const std::string& name)
{
    return utf8::Lower(EngineFs::ExtractFileExt(name));
}

} // namespace

// --- selection rules

void GetAgeSelection(const TRestoreTask& task, std::string& Description, int& TestMode, int64_t& Reference)
{
    const TDateTime today = Date();
    TDateTime ref = today + 1;
    TestMode = atAll;
    const int n = std::max(task.TimeCount, 0);
    std::string what;
    auto period = [&](const char* one, const char* many) {
        return FormatCountNoun(_(one), _(many), n, false);
    };
    switch (task.AgeMode) {
    case 1:
    case 2:
    case 11:
        ref = task.Date;
        what = DateToStr(task.Date);
        break;
    case 3:
    case 4:
        ref = today - n;
        what = period("day", "days");
        break;
    case 5:
    case 6:
        ref = today - 7.0 * n;
        what = period("week", "weeks");
        break;
    case 7:
    case 8:
        ref = IncMonth(today, -n);
        what = period("month", "months");
        break;
    case 9:
    case 10:
        ref = IncMonth(today, -12 * n);
        what = period("year", "years");
        break;
    default:
        break;
    }
    if (task.AgeMode == 0) {
        Description = _("All files");
    } else if (task.AgeMode == 2) {
        TestMode = atNewer;
        Description = _("Only files ") + SafeFormat(_("since %s"), {what});
    } else if (task.AgeMode == 11) {
        TestMode = atThatDay;
        Description = _("Only files ") + SafeFormat(_("only this date %s"), {what});
    } else if (task.AgeMode % 2 == 1) {
        TestMode = atOlder;
        Description = _("Only files ") + SafeFormat(_("older than %s"), {what});
    } else {
        TestMode = atNewer;
        Description = _("Only files ") + SafeFormat(_("not older than %s"), {what});
    }
    Reference = DateTimeToUnixTime(ref);
}

bool MatchesAge(int TestMode, int64_t T, int64_t Reference)
{
    switch (TestMode) {
    case atOlder:
        return T < Reference;
    case atNewer:
        return T >= Reference;
    case atThatDay:
        return T >= Reference && T < Reference + 86400;
    default:
        return true;
    }
}

bool OverwriteAllows(const TRestoreTask& task, const std::string& dest, int64_t T)
{
    struct stat st;
    const bool exists = LStat(dest, st);
    switch (task.Overwrite) {
    case owAll:
        return true;
    case owOlder: {
        if (!exists)
            return true;
        const int64_t d = T - static_cast<int64_t>(st.st_mtime);
        if (d <= task.DeltaTime)
            return false;
        return !task.DstIgnore || std::llabs(d - 3600) > task.DeltaTime;
    }
    default:
        return !exists;
    }
}

bool RemoveSecurityDirs(const TSecSettings& Sec, const std::string& Path, std::string& NewPath)
{
    NewPath = Path;
    if (!(Sec.Selection & Bit(ssDirs)))
        return false;
    const std::string mark = utf8::Lower(Sec.DirPrefix + Sec.DirSuffix);
    std::string out;
    size_t pos = 0;
    while (pos <= Path.size()) {
        size_t slash = Path.find('/', pos);
        if (slash == std::string::npos)
            slash = Path.size();
        const std::string part = Path.substr(pos, slash - pos);
        pos = slash + 1;
        if (part.empty() || (!mark.empty() && utf8::Lower(part).rfind(mark, 0) == 0))
            continue;
        out += (out.empty() ? "" : "/") + part;
    }
    NewPath = out;
    return true;
}

void SelectNewestPerName(TFileTransferList& List)
{
    int i = 0;
    while (i < List.Count()) {
        if (List.FileType(i) != ftDir && List.FileType(i) != ftEmpty) {
            ++i;
            continue;
        }
        int end = i + 1;
        while (end < List.Count() && List.FileType(end) != ftDir && List.FileType(end) != ftEmpty)
            ++end;
        std::unordered_map<std::string, int> newest;
        for (int j = i + 1; j < end; ++j) {
            if (!IsFileEntry(List.FileType(j)))
                continue;
            List.SetSelected(j, false);
            const std::string key = utf8::Lower(List.Strings(j));
            const auto it = newest.find(key);
            if (it == newest.end() || List.Items(j).FTimeStamp > List.Items(it->second).FTimeStamp)
                newest[key] = j;
        }
        for (const auto& [name, j] : newest)
            List.SetSelected(j, true);
        i = end;
    }
}

bool IsDriveFolder(const std::string& name, const std::string& ident)
{
    std::string plain;
    for (char c : ident)
        if (c != '?')
            plain += c;
    return !plain.empty() && utf8::SameText(name, plain);
}

// --- the scanner

TRestoreScanner::TRestoreScanner(const TRestoreTask& task, TRunControl& control, IProgressSink& progress,
                                 IInteraction& interaction, bool prompt)
    : FTask(task), FControl(control), FProgress(progress), FInteraction(interaction), FPrompt(prompt)
{
    ApplyTaskFilter(task, FRFilter);
    std::string desc;
    GetAgeSelection(task, desc, FTestMode, FReference);
    CryptPwd = task.DefPwd;
}

bool TRestoreScanner::Stopped() const
{
    FControl.Checkpoint();
    return FControl.Stopped();
}

void TRestoreScanner::BuildSecurityMasks()
{
    BakDirMask.clear();
    SyncDirMask.clear();
    FFilter.SetMode(fmOff);
    if (!FTask.SecEnabled)
        return;
    const TSecSettings& bak = FTask.BakSec;
    const TSecSettings& sync = FTask.SyncSec;
    std::string mask;
    if (!(bak.Selection & Bit(ssFiles)) && !bak.FileSuffix.empty()) {
        size_t pos = 0;
        while (pos <= bak.FileSuffix.size()) {
            size_t semi = bak.FileSuffix.find(';', pos);
            if (semi == std::string::npos)
                semi = bak.FileSuffix.size();
            const std::string item = bak.FileSuffix.substr(pos, semi - pos);
            pos = semi + 1;
            if (item.empty())
                continue;
            const size_t hash = item.find('#');
            const std::string x =
                hash != std::string::npos ? item.substr(0, hash) : SecurityCopyDateMasks(item);
            mask += "*." + x + "*|";
        }
    }
    if (!(sync.Selection & Bit(ssFiles)) && !sync.FileSuffix.empty())
        mask += "*." + SyncSecurityCopyDateMasks(sync.FileSuffix) + "*";
    else if (!mask.empty())
        mask.pop_back();
    if (!(bak.Selection & Bit(ssDirs)) && !bak.DirPrefix.empty())
        BakDirMask = SecurityCopyDateMasks(bak.DirPrefix) + "*";
    if (!(sync.Selection & Bit(ssDirs)) && !sync.DirPrefix.empty())
        SyncDirMask = sync.DirPrefix + "*";
    if (!mask.empty()) {
        FFilter.SetRegular(false);
        try {
            FFilter.SetFilter(mask);
            FFilter.SetMode(fmExclude);
        } catch (const EFilterError&) {
            FFilter.SetMode(fmOff);
        }
    }
}

void TRestoreScanner::AddCandidate(TFileTransferList& List, TFileType type, const std::string& name,
                                   const std::string& source, const std::string& dest, int64_t T, int attr,
                                   int64_t usize, int64_t fsize, bool comp, bool zipComp, bool enc,
                                   bool passedAge)
{
    const TFileType t = passedAge ? type : ftNone;
    const TDateTime stamp = UnixTimeToDateTime(static_cast<uint32_t>(std::max<int64_t>(T, 0)));
    const auto it = FByDest.find(dest);
    if (it != FByDest.end()) {
        TFileTransferInfo& e = List.Items(it->second);
        const bool replace = passedAge && ((e.FType == ftFile && e.FTimeStamp < stamp) || e.FType == ftNone);
        if (!replace)
            return;
        if (e.FType == ftNone)
            ++Selected;
        e.FType = t;
        e.FSource = source;
        e.FTimeStamp = stamp;
        e.FAttr = attr;
        e.USize = usize;
        e.FSize = fsize;
        e.Compressed = comp;
        e.ZipCompressed = zipComp;
        e.Encrypted = enc;
        return;
    }
    const int i = List.AddItem(name, t, source, dest, stamp, attr, 0, usize, fsize, comp, zipComp, enc, true);
    FByDest[dest] = i;
    if (t != ftNone)
        ++Selected;
}

void TRestoreScanner::ScanBackupTree(const std::string& BackupRoot, const std::string& DestRoot,
                                     TFileTransferList& List, const std::string& RelDir)
{
    if (Stopped())
        return;
    const std::string S = Join(BackupRoot, RelDir);
    std::string destRel = RelDir;
    if (FTask.SecEnabled && !RemoveSecurityDirs(FTask.BakSec, RelDir, destRel))
        RemoveSecurityDirs(FTask.SyncSec, RelDir, destRel);
    const std::string destDir = Join(DestRoot, destRel);
    struct stat st;
    if (!LStat(S, st) || S_ISLNK(st.st_mode))
        return;
    const TDateTime dirTime = UnixTimeToDateTime(static_cast<uint32_t>(std::max<int64_t>(st.st_mtime, 0)));
    const int dirAttr = static_cast<int>(EngineFs::GetAttributes(S));
    int dirIndex;
    if (RelDir.empty()) {
        List.AddItem(ShortenPath(S, 50), ftRoot, S, destDir, dirTime, dirAttr);
        dirIndex = List.AddAndSelectItem("./", ftDir, S, destDir, dirTime, dirAttr);
    } else {
        if (Selected == 0)
            List.AddItem(ShortenPath(S, 50), ftSubRoot, S, destDir, dirTime, dirAttr);
        dirIndex = List.AddAndSelectItem("./" + RelDir, ftDir, S, destDir, dirTime, dirAttr);
    }
    FProgress.SetPrompt(S);
    const std::vector<TDirItem> items = ListDir(S);
    for (const TDirItem& item : items) {
        if (item.IsDir)
            continue;
        const std::string& entry = item.Name;
        const bool isLinkInfo = LowerExt(entry) == ".qvlink";
        if ((isLinkInfo && !AllowLinks) || entry == TimeStampFile || item.IsLink)
            continue;
        if (FFilter.Mode() != fmOff && !FFilter.MatchesFilter(entry))
            continue;
        const std::string path = Join(S, entry);
        struct stat fst;
        if (!LStat(path, fst) || !S_ISREG(fst.st_mode))
            continue;
        const TFileType type = isLinkInfo ? ftLink : ftFile;
        int64_t T = fst.st_mtime;
        int64_t usize = fst.st_size;
        const int64_t fsize = fst.st_size;
        int attr = static_cast<int>(EngineFs::GetAttributes(path));
        std::string name = entry;
        bool comp = false, zipComp = false, enc = false;
        TGzFileInfo info;
        if (!isLinkInfo && FTask.GzUnpack && (IsGzFile(path) || IsGzeFile(path)) &&
            GetGzFileInfo(path, info)) {
            if (!info.Filename.empty())
                name = EngineFs::ExtractFileName(info.Filename);
            else
                name = DeleteExtension(entry);
            T = info.UnixTime;
            usize = info.USize;
            enc = info.Encrypted;
            comp = true;
        } else if (!isLinkInfo && FTask.ZipUnpack && IsZipFile(path) && GetZipFileInfo(path, info) == 0) {
            name = info.Filename.empty() ? DeleteExtension(entry) : EngineFs::ExtractFileName(info.Filename);
            T = info.UnixTime;
            usize = info.USize;
            enc = info.Encrypted;
            comp = zipComp = true;
        }
        if (!comp) {
            enc = LowerExt(entry) == ".enc";
            if (enc) {
                TGzFileInfo e;
                try {
                    if (GetEncFileInfo(path, e)) {
                        T = e.UnixTime;
                        if (e.Attr != 0xFFFF)
                            attr = e.Attr;
                        usize = e.USize;
                    }
                } catch (const std::exception&) {
                    // an unreadable header: the entry keeps the times of its directory entry
                }
                name = DeleteExtension(entry);
            }
        }
        // A stored name is a plain file name; anything else would leave the destination folder.
        if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos)
            name = entry;
        if (FTask.SecEnabled && FTask.BakSec.Selection == 0 && FTask.SyncSec.Selection == 0) {
            name = RemoveSecurityCopySuffix(name, FTask.BakSec.FileSuffix);
            name = RemoveSecurityCopySuffix(name, FTask.SyncSec.FileSuffix);
        }
        if (FRFilter.Mode() != fmOff && !FRFilter.MatchesFilter(name))
            continue;
        const bool passed = MatchesAge(FTestMode, T, FReference);
        if (!passed && !FTask.SecEnabled)
            continue;
        const std::string D = Join(destDir, name);
        if (!OverwriteAllows(FTask, D, T)) {
            ++Skipped;
            continue;
        }
        AddCandidate(List, type, name, path, D, T, attr, usize, fsize, comp, zipComp, enc, passed);
    }
    FProgress.SetActionHint(_("Found: ") + FileCountText(Selected, false));
    if (dirIndex == List.Count() - 1)
        List.SetFileType(dirIndex, ftEmpty);
    for (const TDirItem& item : items) {
        if (!item.IsDir)
            continue;
        if ((!BakDirMask.empty() && MatchesMask(item.Name, BakDirMask)) ||
            (!SyncDirMask.empty() && MatchesMask(item.Name, SyncDirMask)))
            continue;
        ScanBackupTree(BackupRoot, DestRoot, List, Join(RelDir, item.Name));
        if (FControl.Stopped())
            return;
    }
}

int TRestoreScanner::CheckZipPassword(const std::string& Dir, const std::string& ZipName)
{
    KeyMode = 0;
    std::string archive;
    for (const TDirItem& item : ListDir(Dir))
        if (!item.IsDir && MatchesMask(item.Name, ZipName)) {
            archive = Join(Dir, item.Name);
            break;
        }
    if (archive.empty())
        return 3;
    int keyMode = 0;
    if (!GetZipEncryption(archive, keyMode))
        return 1;
    if (!CryptPwd.empty())
        return 1;
    if (!FTask.DefPwd.empty()) {
        CryptPwd = FTask.DefPwd;
        return 1;
    }
    if (!FPrompt)
        return 2;
    std::string pwd;
    if (!FInteraction.AskPassword(Caption,
                                  SafeFormat(_("The zip archive \"%s\" \r\nhas encrypted filenames and\r\n"
                                               "requires a password to read the directory!"),
                                             {ShortenPath(archive, 50)}),
                                  pwd) ||
        pwd.empty())
        return 2;
    CryptPwd = pwd;
    return 1;
}

int TRestoreScanner::ReadZipDirectory(TZipRead*& zip, const std::string& archive, std::string& message)
{
    for (;;) {
        int err = 0;
        try {
            zip->ReadDirectory();
            return 0;
        } catch (const EZipError& e) {
            err = e.ZipError;
            message = e.Message();
        } catch (const std::exception& e) {
            err = 0x4104;
            message = e.what();
        }
        if (ErrorWordNumber(static_cast<unsigned>(err)) != 11 || !FPrompt)
            return err;
        CryptPwd.clear();
        std::string pwd;
        if (!FInteraction.AskPassword(
                Caption,
                SafeFormat(_("The password entered for\r\n%s\r\nis invalid! Please try again!"),
                           {ShortenPath(archive, 50)}),
                pwd) ||
            pwd.empty())
            return err;
        CryptPwd = pwd;
        zip->InitEncryption(CryptPwd, KeyMode);
    }
}

namespace {

int BufferSize()
{
    const int size = ProgSettings.CopySettings.BufferSize;
    return size > 0 ? size : 262144;
}

} // namespace

void TRestoreScanner::ScanZipArchive(const std::string& Dir, const std::string& ZipName,
                                     TFileTransferList& List, const std::string& DestDir)
{
    const std::string archive = Join(Dir, ZipName);
    struct stat st;
    const bool haveStat = LStat(archive, st);
    const TDateTime zipTime =
        haveStat ? UnixTimeToDateTime(static_cast<uint32_t>(std::max<int64_t>(st.st_mtime, 0))) : 0;
    List.AddItem(ZipName, ftRoot, Dir, DestDir, zipTime, 0);
    List.AddItem("./", ftZipName, archive, DestDir, zipTime,
                 static_cast<int>(EngineFs::GetAttributes(archive)));
    std::unique_ptr<TZipRead> reader;
    std::string message;
    int err = 0;
    try {
        reader = std::make_unique<TZipRead>(archive, CryptPwd, KeyMode, BufferSize());
        TZipRead* z = reader.get();
        err = ReadZipDirectory(z, archive, message);
    } catch (const EZipError& e) {
        err = e.ZipError;
        message = e.Message();
    } catch (const std::exception& e) {
        err = 0x4104;
        message = e.what();
    }
    if (err != 0) {
        const std::string text =
            (message.empty() ? FormatFileError(static_cast<unsigned>(err), archive, "") : message) + ": \n" +
            archive;
        if (FPrompt)
            FInteraction.ErrorBox(text, 0);
        List.AddError(text);
        return;
    }
    std::string lastPath = "*";
    const TZipFileList& dir = reader->Directory();
    for (int i = 0; i < dir.Count(); ++i) {
        const TPkHeader& h = *dir.Objects(i);
        if (IsFolderEntry(dir, i))
            continue;
        const std::string member = reader->Filename(i);
        if (member.empty())
            continue;
        const std::string path = EngineFs::ExtractFilePath(member);
        const std::string name = EngineFs::ExtractFileName(member);
        const int64_t T = DosTimeToUnixTime(h.TimeStamp);
        if (FRFilter.Mode() != fmOff && !FRFilter.MatchesFilter(name))
            continue;
        if (!MatchesAge(FTestMode, T, FReference))
            continue;
        const std::string D = Join(DestDir, member);
        if (!OverwriteAllows(FTask, D, T)) {
            ++Skipped;
            continue;
        }
        if (!utf8::SameText(path, lastPath)) {
            lastPath = path;
            std::string rel = path;
            if (!rel.empty() && rel.back() == '/')
                rel.pop_back();
            List.AddAndSelectItem("./" + rel, ftDir, rel, Join(DestDir, rel), zipTime, 0);
        }
        List.AddItem(name, ftZipFile, member, D, DosTimeToDateTime(h.TimeStamp), h.Attr, i, h.USize, h.CSize,
                     h.CompMethod != 0, false, (h.GpFlag & 1) != 0, true);
        ++Selected;
    }
    FProgress.SetActionHint(_("Found: ") + FileCountText(Selected, false));
}

void TRestoreScanner::ScanZipPerDirectory(const std::string& BackupRoot, const std::string& ZipName,
                                          TFileTransferList& List, const std::string& DestRoot,
                                          const std::string& RelDir)
{
    if (Stopped())
        return;
    const std::string S = Join(BackupRoot, RelDir);
    const std::string destDir = Join(DestRoot, RelDir);
    struct stat st;
    if (!LStat(S, st) || S_ISLNK(st.st_mode))
        return;
    const TDateTime dirTime = UnixTimeToDateTime(static_cast<uint32_t>(std::max<int64_t>(st.st_mtime, 0)));
    int dirIndex;
    if (RelDir.empty()) {
        List.AddItem(ShortenPath(S, 50), ftRoot, S, destDir, dirTime, 0);
        dirIndex = List.AddAndSelectItem("./", ftDir, S, destDir, dirTime, 0);
    } else {
        if (Selected == 0)
            List.AddItem(ShortenPath(S, 50), ftSubRoot, S, destDir, dirTime, 0);
        dirIndex = List.AddAndSelectItem("./" + RelDir, ftDir, S, destDir, dirTime, 0);
    }
    FProgress.SetPrompt(_("Directory") + ": " + ShortenPath(S, 75));
    std::string mask = ZipName;
    if (!IsZipFile(mask))
        mask += ".zip";
    const std::vector<TDirItem> items = ListDir(S);
    for (const TDirItem& item : items) {
        if (item.IsDir || item.IsLink || item.Name == TimeStampFile || !MatchesMask(item.Name, mask))
            continue;
        const std::string archive = Join(S, item.Name);
        const int header = List.AddItem(archive, ftZipName, archive, destDir, dirTime, 0);
        const int selectedBefore = Selected;
        std::unique_ptr<TZipRead> reader;
        std::string message;
        int err = 0;
        try {
            reader = std::make_unique<TZipRead>(archive, CryptPwd, KeyMode, BufferSize());
            TZipRead* z = reader.get();
            err = ReadZipDirectory(z, archive, message);
        } catch (const EZipError& e) {
            err = e.ZipError;
            message = e.Message();
        } catch (const std::exception& e) {
            err = 0x4104;
            message = e.what();
        }
        if (err != 0) {
            List.SetError(header, message.empty() ? FormatFileError(static_cast<unsigned>(err), archive, "")
                                                  : message);
            break;
        }
        const TZipFileList& dir = reader->Directory();
        for (int i = 0; i < dir.Count(); ++i) {
            const TPkHeader& h = *dir.Objects(i);
            const std::string member = reader->Filename(i);
            // An empty file is a member too: only folder entries and members in sub-paths are left out.
            if (IsFolderEntry(dir, i) || member.empty() || member.find('/') != std::string::npos)
                continue;
            const int64_t T = DosTimeToUnixTime(h.TimeStamp);
            if (FRFilter.Mode() != fmOff && !FRFilter.MatchesFilter(member))
                continue;
            if (!MatchesAge(FTestMode, T, FReference))
                continue;
            const std::string D = Join(destDir, member);
            if (!OverwriteAllows(FTask, D, T)) {
                ++Skipped;
                continue;
            }
            List.AddItem(member, ftZipFile, member, D, DosTimeToDateTime(h.TimeStamp), h.Attr, i, h.USize,
                         h.CSize, h.CompMethod != 0, false, (h.GpFlag & 1) != 0, true);
            ++Selected;
        }
        if (Selected == selectedBefore) {
            List.SetFileType(header, ftEmpty);
            if (header == dirIndex + 1)
                List.SetFileType(dirIndex, ftEmpty);
        }
    }
    if (dirIndex == List.Count() - 1)
        List.SetFileType(dirIndex, ftEmpty);
    FProgress.SetActionHint(_("Found: ") + FileCountText(Selected, false));
    for (const TDirItem& item : items) {
        if (!item.IsDir)
            continue;
        ScanZipPerDirectory(BackupRoot, ZipName, List, DestRoot, Join(RelDir, item.Name));
        if (FControl.Stopped())
            return;
    }
}
