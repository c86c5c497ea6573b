#include "tools/VerifyRun.h"

#include <cmath>

#include "archive/AesLib.h"
#include "archive/ExtFileTools.h"
#include "archive/ExtFileToolsZipRead.h"
#include "archive/ExtFtpCopyUtils.h"
#include "archive/FileErrors.h"
#include "backup/BuFtpDlg.h"
#include "backup/SecurityCopyNames.h"
#include "foundation/FileUtilsTimes.h"
#include "foundation/Masks.h"
#include "foundation/PathUtils.h"
#include "foundation/QvUtilsDest.h"
#include "foundation/QvUtilsFolders.h"
#include "foundation/QvUtilsNames.h"
#include "foundation/QvUtilsTaskFiles.h"
#include "foundation/QvUtilsTexts.h"
#include "foundation/StringUtils.h"
#include "foundation/XlFileUtils.h"
#include "rtl/Gettext.h"
#include "rtl/SysUtils.h"
#include "tools/CleanupRules.h"
#include "tools/ToolFiles.h"

namespace {

constexpr const char* TimeStampName = "$TimeStamp.qvu";
constexpr int32_t SuccessColor = 0xA07000;
// The bit of verify tasks in the program's log mode.
constexpr int VerifyLogBit = 0x10;

std::string WithSlash(const std::string& dir)
{
    return dir.empty() || dir.back() == '/' ? dir : dir + "/";
}

bool IsTimeStampFile(const std::string& name)
{
    return utf8::SameText(name, TimeStampName);
}

bool EndsWithText(const std::string& name, const char* ext)
{
    return utf8::SameText(ExtractExtension(name), ext);
}

std::string FileNamePart(const std::string& path)
{
    const size_t p = path.rfind('/');
    return p == std::string::npos ? path : path.substr(p + 1);
}

std::string FolderPart(const std::string& path)
{
    const size_t p = path.rfind('/');
    return p == std::string::npos ? std::string() : path.substr(0, p + 1);
}

// A folder entry of an archive: its attribute or a name ending in "/" (an empty file is no folder).
bool IsFolderEntry(const TPkHeader& h)
{
    return (h.Attr & 0x10) != 0 || (!h.FName.empty() && (h.FName.back() == '/' || h.FName.back() == '\\'));
}

std::string CountText(int64_t count)
{
    return FormatCount(_("No files verified"), _("1 file verified"), _("%u files verified"), count, true);
}

} // namespace

TAgeSelection GetAgeSelection(int ageMode, int count, TDateTime date, TDateTime today, TDateTime now)
{
    TAgeSelection a;
    a.Text = _("Only files ");
    const std::string dateText = DateToStr(date);
    static const char* const singular[4] = {N_("day"), N_("week"), N_("month"), N_("year")};
    static const char* const plural[4] = {N_("days"), N_("weeks"), N_("months"), N_("years")};
    TDateTime ref = now + 1;
    switch (ageMode) {
    case 1:
        a.Text += SafeFormat(_("older than %s"), {dateText});
        a.DateMode = 1;
        ref = DateOf(date);
        break;
    case 2:
        a.Text += SafeFormat(_("since %s"), {dateText});
        a.DateMode = 2;
        ref = DateOf(date);
        break;
    case 3:
    case 4:
    case 5:
    case 6:
    case 7:
    case 8:
    case 9:
    case 10: {
        const int unit = (ageMode - 3) / 2;
        const bool older = ageMode % 2 == 1;
        const std::string period = FormatCountNoun(_(singular[unit]), _(plural[unit]), count);
        a.Text += SafeFormat(older ? _("older than %s") : _("not older than %s"), {period});
        a.DateMode = older ? 1 : 2;
        ref = unit == 0   ? today - count
              : unit == 1 ? today - 7.0 * count
              : unit == 2 ? IncMonth(today, -count)
                          : IncMonth(today, -12 * count);
        break;
    }
    case 11:
        a.Text += SafeFormat(_("only this date %s"), {dateText});
        a.DateMode = 3;
        ref = DateOf(date);
        break;
    default:
        a.Text = _("All files");
        a.DateMode = 0;
        break;
    }
    a.RefTime = PlainUnixSeconds(ref);
    return a;
}

bool AgeMatches(int dateMode, int64_t time, int64_t refTime)
{
    switch (dateMode) {
    case 1:
        return time < refTime;
    case 2:
        return time >= refTime;
    case 3:
        return time >= refTime && time < refTime + 86400;
    default:
        return true;
    }
}

std::string FormatVerifySummary(int64_t notFound, int64_t errCount)
{
    std::string text;
    if (notFound > 0)
        text = FormatCount("", _("1 file not found"), _("%u files not found"), notFound, true);
    if (errCount > 0) {
        if (!text.empty())
            text += " - ";
        text += FormatCount("", _("1 error"), _("%u errors"), errCount, true);
    }
    return text;
}

std::string VerifySecurityCopyMasks(const TSecSettings& bakSec, const TSecSettings& syncSec)
{
    std::string list;
    auto add = [&list](const TSecSettings& sec) {
        if ((sec.Selection & (1u << ssFiles)) == 0 || sec.FileSuffix.empty())
            return;
        for (const std::string& part : [&] {
                 std::vector<std::string> parts;
                 size_t start = 0;
                 for (;;) {
                     const size_t p = sec.FileSuffix.find(';', start);
                     parts.push_back(sec.FileSuffix.substr(start, p == std::string::npos ? p : p - start));
                     if (p == std::string::npos)
                         break;
                     start = p + 1;
                 }
                 return parts;
             }()) {
            if (part.empty())
                continue;
            const size_t hash = part.find('#');
            if (!list.empty())
                list += '|';
            list +=
                "*." + (hash != std::string::npos ? part.substr(0, hash) : SecurityCopyDateMasks(part)) + "*";
        }
    };
    add(bakSec);
    add(syncSec);
    return list;
}

std::string VerifySecurityDirMask(const TSecSettings& sec)
{
    if ((sec.Selection & (1u << ssDirs)) == 0 || sec.DirPrefix.empty())
        return {};
    return SecurityCopyDateMasks(sec.DirPrefix) + "*";
}

TVerifyRun::TVerifyRun(IRunHost& host, IInteraction& interaction, IProgressSink& progress,
                       TRunControl& control, TTaskLog& log)
    : FHost(host), FInteraction(interaction), FProgress(progress), FControl(control), FLog(log),
      FRunner(control, progress)
{
    Settings = DefaultVerifySettings();
    Clock = [] { return Now(); };
}

TVerifyRun::~TVerifyRun() = default;

void TVerifyRun::BuildSecurityMasks()
{
    BakDirMask = VerifySecurityDirMask(Settings.BakSec);
    SyncDirMask = VerifySecurityDirMask(Settings.SyncSec);
    const std::string masks = VerifySecurityCopyMasks(Settings.BakSec, Settings.SyncSec);
    FFilter.SetRegular(false);
    FFilter.SetSeparator('|');
    try {
        FFilter.SetFilter(masks.empty() ? std::string("*") : masks);
        FFilter.SetMode(masks.empty() ? fmOff : fmExclude);
    } catch (const EFilterError&) {
        FFilter.SetMode(fmOff);
    }
}

bool TVerifyRun::Selected(int64_t time, const std::string& refName) const
{
    return AgeMatches(FAge.DateMode, time, FAge.RefTime) && RFilter.MatchesFilter(refName);
}

bool TVerifyRun::CheckRefDir(const std::string& dir, bool quiet)
{
    std::string path = dir;
    if (CheckPathAccessNoLogon(_("Verify files"), path, quiet) && IsToolDir(path))
        return true;
    FLog.WriteToLog(2, "      => " + SafeFormat(_("Directory \"%s\" not found!"), {dir}));
    ++ErrCount;
    return false;
}

void TVerifyRun::LogCompareHeader(const std::string& source, const std::string& dest, bool isZip)
{
    FLog.WriteToLog(1, "  " + _("Compare: ") + source);
    FLog.WriteToLog(1, "  " + _("With: ") + dest);
    FProgress.SetDestination(dest);
    FProgress.SetSourceType(isZip ? ssZip : ssDir);
    FProgress.SetAction(acScan);
    FProgress.SetPrompt("");
}

void TVerifyRun::ShowFileProgress(const std::string& action, int64_t size, const std::string& name)
{
    FProgress.UpdatePrompt(ssFile, action, name, size);
    FProgress.WriteStatus(1, CountText(FileCount));
    FProgress.WriteStatus(2, FormatVerifySummary(NotFound, ErrCount));
    FProgress.SetStepProgress(0);
    CountProgress();
    FControl.Checkpoint();
}

void TVerifyRun::CountProgress()
{
    if (TotalFiles > 0)
        FProgress.SetTotalProgress(static_cast<int>(
            std::lround(100.0 / static_cast<double>(TotalFiles) * static_cast<double>(FileCount))));
    FProgress.SetElapsedTime(Clock() - StartTime);
}

int TVerifyRun::AskPassword(const std::string& prompt)
{
    std::string pwd;
    if (FInteraction.AskPassword(_("Verify backed-up files"), prompt, pwd)) {
        CryptPwd = pwd;
        return 1;
    }
    // Nobody to answer (a batch run): the file is skipped; a user who declines stops the run.
    return FInteractive ? 0 : 2;
}

// Makes sure a decryption object exists for an encrypted file; false when the run stops or the file
// is to be skipped (FWrongPassword tells which prompt to show).
bool TVerifyRun::EnsureDecryption(const std::string& name, bool /*retry*/)
{
    if (CryptPwd.empty()) {
        if (!Settings.DefPwd.empty()) {
            CryptPwd = Settings.DefPwd;
        } else {
            const std::string shortName = ShortenPath(name, 50);
            const std::string prompt =
                FWrongPassword
                    ? SafeFormat(_("The password entered for\r\n%s\r\nis invalid! Please try again!"),
                                 {shortName})
                    : SafeFormat(_("To verify encrypted file:\r\n%s\r\nrequires a password!"), {shortName});
            const int answer = AskPassword(prompt);
            if (answer == 0) {
                FControl.SetStopped(true);
                return false;
            }
            if (answer == 2)
                return false;
        }
    }
    if (!Decryption && !CryptPwd.empty())
        Decryption = std::make_unique<TEncryption>(CryptPwd, GetAutoAesStrength(CryptPwd), BufferSize);
    return true;
}

int64_t TVerifyRun::CountFiles(const std::string& dir)
{
    int64_t count = 0;
    std::vector<TToolDirEntry> entries;
    if (IsToolLink(dir) || !ListToolDir(dir, entries))
        return 0;
    for (const auto& e : entries)
        if (e.IsDir && !MatchesDirMask(e.Name, BakDirMask) && !MatchesDirMask(e.Name, SyncDirMask))
            count += CountFiles(WithSlash(dir) + e.Name);
    for (const auto& e : entries) {
        if (e.IsDir || e.IsLink || IsTimeStampFile(e.Name))
            continue;
        std::string name = e.Name;
        if (Settings.UnCompress ? (EndsWithText(name, "gz") || EndsWithText(name, "gze") ||
                                   EndsWithText(name, "zip") || EndsWithText(name, "enc"))
                                : EndsWithText(name, "enc"))
            name = DeleteExtension(name);
        if (RFilter.MatchesFilter(name) && FFilter.MatchesFilter(name) &&
            AgeMatches(FAge.DateMode, e.MTime, FAge.RefTime))
            ++count;
    }
    return count;
}

void TVerifyRun::VerifyLocalTree(const std::string& backupDir, const std::string& refDir,
                                 const std::string& subDir)
{
    if (FControl.Stopped())
        return;
    FProgress.SetSourceType(ssDir);
    FProgress.SetAction(acScan);
    const std::string current = WithSlash(backupDir) + subDir;
    const std::string refFolder = WithSlash(refDir) + subDir;
    if (IsToolLink(current))
        return;
    std::vector<TToolDirEntry> entries;
    if (!ListToolDir(current, entries))
        return; // vanished meanwhile
    for (const auto& e : entries) {
        FControl.Checkpoint();
        if (FControl.Stopped())
            break;
        if (e.IsDir || e.IsLink || IsLinkInfoFile(e.Name) || IsTimeStampFile(e.Name))
            continue;
        const std::string backupPath = WithSlash(current) + e.Name;
        int64_t time = e.MTime, size = e.Size;
        std::string refName = e.Name;
        bool compressed = false, zip = false, encrypted = false;
        if (Settings.UnCompress) {
            TGzFileInfo info;
            try {
                if ((EndsWithText(e.Name, "gz") || EndsWithText(e.Name, "gze")) &&
                    GetGzFileInfo(backupPath, info) && !info.Filename.empty()) {
                    refName = FileNamePart(info.Filename);
                    compressed = true;
                    encrypted = info.Encrypted;
                    size = info.USize;
                    time = info.UnixTime;
                } else if (EndsWithText(e.Name, "zip") && GetZipFileInfo(backupPath, info) == 0) {
                    refName = FileNamePart(info.Filename);
                    time = info.UnixTime;
                    encrypted = info.Encrypted;
                    size = info.USize;
                    KeyMode = info.EncMode;
                    compressed = zip = true;
                }
            } catch (const std::exception&) {
                // unreadable: compared as it is
            }
        }
        if (!compressed) {
            encrypted = EndsWithText(e.Name, "enc") && !Settings.NoDecrypt;
            if (encrypted)
                refName = DeleteExtension(e.Name);
        }
        if (!(Selected(time, refName) && FFilter.MatchesFilter(e.Name))) {
            FProgress.UpdatePrompt(ssDir, "", refFolder, 0);
            continue;
        }
        ++FileCount;
        std::string refPath = refFolder + refName;
        if (!XlFileExists(refPath, false) && XlFileExists(refFolder + e.Name, false)) {
            refPath = refFolder + e.Name;
            compressed = zip = false;
        }
        int result = 0;
        std::string errMsg;
        FWrongPassword = false;
        for (;;) {
            if (!XlFileExists(refPath, false) || IsToolLink(refPath)) {
                ++NotFound;
                result = -1;
                break;
            }
            if (!encrypted) {
                Decryption.reset();
            } else if (!EnsureDecryption(backupPath, false)) {
                if (FControl.Stopped())
                    return;
                ++NotFound;
                result = -2;
                break;
            }
            FProgress.UpdatePrompt(ssFile, "", backupPath, size);
            std::unique_ptr<TCopyThread> thread =
                std::make_unique<TCompareThread>(backupPath, refPath, encrypted ? Decryption.get() : nullptr,
                                                 compressed, zip, true, BufferSize);
            int ratio = 0;
            int64_t moved = 0;
            FRunner.Reset();
            FRunner.StartTime = StartTime;
            FRunner.RunCopyThread(thread, result, errMsg, moved);
            (void)ratio;
            if (encrypted && (result & 0xFF) == 11) {
                CryptPwd.clear();
                Decryption.reset();
                FWrongPassword = true;
                if (Settings.DefPwd.empty() && !FControl.Stopped())
                    continue;
            }
            break;
        }
        const std::string relName = MakeRelativePath(WithSlash(backupDir), backupPath);
        std::string action;
        if (result == -2) {
            action = _("was skipped");
            FLog.WriteToLog(2, "      " + _("Skipped: ") + relName);
        } else if (result == -1) {
            action = _("not verified - reference file not found");
            const unsigned word = compressed ? 0x320C : encrypted ? 0x620C : 0x020C;
            FLog.WriteErrorToLog(6, "V", FormatFileError(word, relName, "N"));
            FLog.WriteToLog(2, "      => " + _("Reference file not found: ") + refPath);
        } else if (result == 0) {
            action = _("was verified");
            FProgress.SetStepProgress(100);
            FLog.WriteToLog(2, "      " + _("Verified: ") + relName + " (" + FormatSize(true, size) + ")");
            FLog.WriteToLog(3, "      => " + _("Reference file: ") + refPath);
        } else if ((result & 0xFF) == 128) {
            // cancelled by the user: neither logged nor counted
        } else {
            ++ErrCount;
            action = _("verification failed");
            const unsigned word = compressed ? 0x310C : encrypted ? 0x610C : 0x010C;
            std::string detail = FormatFileError(static_cast<unsigned>(result & 0xFF), "", "");
            if (!errMsg.empty())
                detail += " (" + errMsg + ")";
            FLog.WriteErrorToLog(1, "V", FormatFileError(word, relName, "D"), detail, "");
            FLog.WriteToLog(2, "      => " + detail + " - " + _("Reference file: ") + refPath);
        }
        ShowFileProgress(action, size, backupPath);
    }
    for (const auto& e : entries) {
        if (FControl.Stopped())
            break;
        if (!e.IsDir || e.IsLink || MatchesDirMask(e.Name, BakDirMask) || MatchesDirMask(e.Name, SyncDirMask))
            continue;
        VerifyLocalTree(backupDir, refDir, subDir + e.Name + "/");
    }
}

int64_t TVerifyRun::CountZipEntries(const std::string& dir, const std::string& zipName)
{
    int64_t count = 0;
    std::vector<TToolDirEntry> entries;
    if (IsToolLink(dir) || !ListToolDir(dir, entries))
        return 0;
    for (const auto& e : entries) {
        if (e.IsDir || e.IsLink || IsTimeStampFile(e.Name) || !MatchesFileMask(zipName, e.Name))
            continue;
        try {
            TZipRead zip(WithSlash(dir) + e.Name, CryptPwd, KeyMode, BufferSize);
            RZip = &zip;
            zip.ReadDirectory();
            RZip = nullptr;
            const TZipFileList& list = zip.Directory();
            for (int i = 0; i < list.Count(); ++i) {
                const TPkHeader& h = *list.Objects(i);
                const std::string name = zip.Filename(i);
                if (IsFolderEntry(h) || name.empty() || IsTimeStampFile(name))
                    continue;
                if (RFilter.MatchesFilter(FileNamePart(name)) &&
                    AgeMatches(FAge.DateMode, DosTimeToUnixTime(h.TimeStamp), FAge.RefTime))
                    ++count;
            }
        } catch (const std::exception&) {
            RZip = nullptr;
        }
    }
    for (const auto& e : entries)
        if (e.IsDir && !e.IsLink && !MatchesDirMask(e.Name, BakDirMask) &&
            !MatchesDirMask(e.Name, SyncDirMask))
            count += CountZipEntries(WithSlash(dir) + e.Name, zipName);
    return count;
}

int TVerifyRun::CompareEntry(TZipRead& zip, int index, const std::string& refPath)
{
    zip.SetOnTimeout([this, &zip] {
        FControl.Checkpoint();
        if (FControl.Stopped())
            zip.Cancel();
        return false;
    });
    try {
        zip.CompareToFile(index, refPath);
        return 0;
    } catch (const EZipError& e) {
        return e.ZipError;
    } catch (const std::exception&) {
        return 0x4100;
    }
}

void TVerifyRun::VerifyFolderZips(const std::string& backupDir, const std::string& zipName,
                                  const std::string& subDir, const std::string& refDir)
{
    if (FControl.Stopped())
        return;
    FProgress.SetSourceType(ssDir);
    FProgress.SetAction(acScan);
    const std::string current = WithSlash(backupDir) + subDir;
    const std::string refFolder = WithSlash(refDir) + subDir;
    if (IsToolLink(current))
        return;
    std::vector<TToolDirEntry> entries;
    if (!ListToolDir(current, entries))
        return;
    for (const auto& e : entries) {
        if (FControl.Stopped())
            return;
        if (e.IsDir || e.IsLink || IsTimeStampFile(e.Name) || !MatchesFileMask(zipName, e.Name))
            continue;
        const std::string zipPath = current + e.Name;
        std::unique_ptr<TZipRead> zip;
        bool read = false;
        FWrongPassword = false;
        for (;;) {
            try {
                zip = std::make_unique<TZipRead>(zipPath, CryptPwd, KeyMode, BufferSize);
                if (!CryptPwd.empty())
                    zip->InitEncryption(CryptPwd, KeyMode);
                zip->ReadDirectory([this](int, const std::string& s) { FProgress.SetPrompt(s); });
                read = true;
            } catch (const EZipError& ex) {
                if ((ex.ZipError & 0xFF) == 11) {
                    CryptPwd.clear();
                    std::string pwd;
                    if (FInteraction.AskPassword(
                            _("Verify backed-up files"),
                            SafeFormat(_("The password entered for\r\n%s\r\nis invalid! Please try again!"),
                                       {e.Name}),
                            pwd)) {
                        CryptPwd = pwd;
                        continue;
                    }
                }
            } catch (const std::exception&) {
            }
            break;
        }
        if (!read)
            return; // the folder's further archives and its subfolders are left
        const TZipFileList& list = zip->Directory();
        for (int i = 0; i < list.Count() && !FControl.Stopped(); ++i) {
            const TPkHeader& h = *list.Objects(i);
            const std::string name = zip->Filename(i);
            if (IsFolderEntry(h) || name.empty() || name.find('/') != std::string::npos)
                continue;
            const int64_t time = DosTimeToUnixTime(h.TimeStamp);
            const std::string relName = subDir + name;
            if (!Selected(time, name))
                continue;
            ++FileCount;
            const std::string refPath = refFolder + name;
            std::string action;
            if (!XlFileExists(refPath, false)) {
                ++NotFound;
                action = _("not verified - reference file not found");
                FLog.WriteErrorToLog(6, "V", FormatFileError(0x420C, relName, "N"));
                FLog.WriteToLog(2, "      => " + _("Reference file not found: ") + refPath);
            } else if (h.USize == 0 && XlGetFileSizeOf(refPath) == 0) {
                action = _("was verified");
                FLog.WriteToLog(2, "      " + _("Verified: ") + relName + " (" + FormatSize(true, 0) + ")");
            } else {
                int code = 0;
                bool skipped = false;
                FWrongPassword = false;
                for (;;) {
                    if ((h.GpFlag & 1) != 0) {
                        if (CryptPwd.empty() && !EnsureDecryption(relName, false)) {
                            if (FControl.Stopped())
                                return;
                            skipped = true;
                            break;
                        }
                        zip->InitEncryption(CryptPwd, KeyMode);
                    }
                    FProgress.UpdatePrompt(ssFile, "", relName, h.USize);
                    code = CompareEntry(*zip, i, refPath);
                    if ((code & 0xFF) == 11 && (h.GpFlag & 1) != 0) {
                        CryptPwd.clear();
                        Decryption.reset();
                        FWrongPassword = true;
                        if (Settings.DefPwd.empty() && !FControl.Stopped())
                            continue;
                    }
                    break;
                }
                if (skipped) {
                    ++NotFound;
                    action = _("was skipped");
                    FLog.WriteToLog(2, "      " + _("Skipped: ") + relName);
                } else if (code == 0) {
                    action = _("was verified");
                    FLog.WriteToLog(2, "      " + _("Verified: ") + relName + " (" +
                                           FormatSize(true, h.USize) + ")");
                    FLog.WriteToLog(3, "      => " + _("Reference file: ") + refPath);
                } else if ((code & 0xFF) != 128) {
                    ++ErrCount;
                    action = _("verification failed");
                    FLog.WriteErrorToLog(6, "V",
                                         FormatFileError(static_cast<unsigned>(code) | 0x4000, relName, ""));
                    FLog.WriteToLog(2, "      => " + _("Difference to reference file: ") + refPath + " (D)");
                }
            }
            ShowFileProgress(action, h.USize, relName);
        }
    }
    for (const auto& e : entries) {
        if (FControl.Stopped())
            break;
        if (!e.IsDir || e.IsLink || MatchesDirMask(e.Name, BakDirMask) || MatchesDirMask(e.Name, SyncDirMask))
            continue;
        VerifyFolderZips(backupDir, zipName, subDir + e.Name + "/", refDir);
        FControl.Checkpoint();
    }
}

void TVerifyRun::VerifySingleZip(const std::string& zipDir, const std::string& zipName,
                                 const std::string& refDir)
{
    Decryption.reset();
    const std::string zipPath = WithSlash(zipDir) + zipName;
    if (!XlFileExists(zipPath))
        return;
    std::unique_ptr<TZipRead> zip;
    bool read = false;
    FWrongPassword = false;
    for (;;) {
        try {
            zip = std::make_unique<TZipRead>(zipPath, CryptPwd, KeyMode, BufferSize);
            RZip = zip.get();
            if (!CryptPwd.empty())
                zip->InitEncryption(CryptPwd, KeyMode);
            zip->ReadDirectory([this](int, const std::string& s) { FProgress.SetPrompt(s); });
            read = true;
        } catch (const EZipError& ex) {
            RZip = nullptr;
            if ((ex.ZipError & 0xFF) == 11 || (ex.ZipError & 0xFF) == 33) {
                CryptPwd.clear();
                std::string pwd;
                const std::string prompt =
                    CryptPwd.empty() && !FWrongPassword
                        ? SafeFormat(_("The zip archive \"%s\" \r\nhas encrypted filenames and\r\nrequires a "
                                       "password to read the directory!"),
                                     {zipName})
                        : SafeFormat(_("The password entered for\r\n%s\r\nis invalid! Please try again!"),
                                     {zipName});
                FWrongPassword = true;
                if (!Settings.DefPwd.empty() && CryptPwd != Settings.DefPwd && !FWrongPassword) {
                    CryptPwd = Settings.DefPwd;
                    continue;
                }
                if (FInteraction.AskPassword(_("Verify backed-up files"), prompt, pwd)) {
                    CryptPwd = pwd;
                    continue;
                }
            }
            ++ErrCount;
            FLog.WriteErrorToLog(1, "V",
                                 FormatFileError(static_cast<unsigned>(ex.ZipError) | 0x4000, zipName, ""),
                                 ex.Message(), "");
        } catch (const std::exception& ex) {
            RZip = nullptr;
            ++ErrCount;
            FLog.WriteErrorToLog(1, "V", FormatFileError(0x4100, zipName, ""), ex.what(), "");
        }
        break;
    }
    RZip = nullptr;
    if (!read)
        return;
    const TZipFileList& list = zip->Directory();
    TotalFiles = 0;
    for (int i = 0; i < list.Count(); ++i)
        if (!IsFolderEntry(*list.Objects(i)))
            ++TotalFiles;
    for (int i = 0; i < list.Count() && !FControl.Stopped(); ++i) {
        const TPkHeader& h = *list.Objects(i);
        const std::string name = zip->Filename(i);
        if (IsFolderEntry(h) || name.empty() || IsTimeStampFile(name))
            continue;
        if (!Selected(DosTimeToUnixTime(h.TimeStamp), FileNamePart(name)))
            continue;
        ++FileCount;
        const std::string refPath = WithSlash(refDir) + name;
        std::string action;
        if (!XlFileExists(refPath, false)) {
            ++NotFound;
            action = _("not verified - reference file not found");
            FLog.WriteErrorToLog(1, "V", FormatFileError(0x420C, name, "N"));
            FLog.WriteToLog(2, "      => " + _("Reference file not found: ") + refPath);
        } else {
            int code = 0;
            bool skipped = false;
            FWrongPassword = false;
            for (;;) {
                if ((h.GpFlag & 1) != 0) {
                    if (CryptPwd.empty() && !EnsureDecryption(name, false)) {
                        if (FControl.Stopped())
                            return;
                        skipped = true;
                        break;
                    }
                    zip->InitEncryption(CryptPwd, KeyMode);
                }
                FProgress.UpdatePrompt(ssFile, "", name, h.USize);
                code = CompareEntry(*zip, i, refPath);
                if ((code & 0xFF) == 11 && (h.GpFlag & 1) != 0) {
                    CryptPwd.clear();
                    FWrongPassword = true;
                    if (Settings.DefPwd.empty() && !FControl.Stopped())
                        continue;
                }
                break;
            }
            if (skipped) {
                ++NotFound;
                action = _("was skipped");
                FLog.WriteToLog(2, "      " + _("Skipped: ") + name);
            } else if (code == 0) {
                action = _("was verified");
                FLog.WriteToLog(2,
                                "      " + _("Verified: ") + name + " (" + FormatSize(true, h.USize) + ")");
                FLog.WriteToLog(3, "      => " + _("Reference file: ") + refPath);
            } else if ((code & 0xFF) != 128) {
                ++ErrCount;
                action = _("verification failed");
                FLog.WriteErrorToLog(1, "V", FormatFileError(static_cast<unsigned>(code) | 0x4000, name, ""));
                FLog.WriteToLog(2, "      => " + _("Difference to reference file: ") + refPath + " (D)");
            }
        }
        ShowFileProgress(action, h.USize, name);
    }
}

void TVerifyRun::VerifyAgainst(const std::string& source, const std::string& ref, int mode,
                               const std::string& zipName, const std::string& sourceText, bool quiet)
{
    if (mode == vmSeparated) {
        LogCompareHeader(source, ref, false);
        TotalFiles = CountFiles(source);
        if (TotalFiles > 0 && CheckRefDir(ref, quiet))
            VerifyLocalTree(source, ref, "");
    } else if (mode == vmFolderZips) {
        LogCompareHeader(sourceText, ref, false);
        if (!Settings.DefPwd.empty() && CryptPwd.empty())
            CryptPwd = Settings.DefPwd;
        TotalFiles = CountZipEntries(source, zipName);
        if (TotalFiles > 0 && CheckRefDir(ref, quiet))
            VerifyFolderZips(source, zipName, "", ref);
    } else {
        LogCompareHeader(sourceText, ref, true);
        if (!Settings.DefPwd.empty() && CryptPwd.empty())
            CryptPwd = Settings.DefPwd;
        if (CheckRefDir(ref, quiet))
            VerifySingleZip(source, zipName, ref);
    }
}

bool TVerifyRun::VerifyDriveFolders(const std::string& source, int mode, const std::string& zipName,
                                    const std::string& sourceText, bool quiet)
{
    const std::string origin = OriginOfPathInDriveFolder(source, Settings.DriveIdent);
    if (!origin.empty()) {
        VerifyAgainst(source, origin, mode, zipName, sourceText, quiet);
        return true;
    }
    if (mode != vmSeparated)
        return false;
    bool found = false;
    std::vector<TToolDirEntry> entries;
    ListToolDir(source, entries);
    for (const auto& e : entries) {
        if (FControl.Stopped())
            break;
        if (!e.IsDir || e.IsLink)
            continue;
        const std::string driveOrigin = DriveFolderOrigin(e.Name, Settings.DriveIdent);
        if (driveOrigin.empty())
            continue;
        found = true;
        VerifyAgainst(WithSlash(source) + e.Name + "/", driveOrigin, mode, zipName, sourceText, quiet);
    }
    return found;
}

TBuResult TVerifyRun::VerifyLocal(bool interactive, bool quiet, int wait, int& errKind)
{
    errKind = 0;
    Decryption.reset();
    std::string source = Settings.Source, label;
    if (ResolveVolumeName(source, label, interactive) == 2)
        errKind = 1;
    else if (!Settings.Origin && !IsToolDir(Settings.DestDir))
        errKind = 2;
    std::string zipName;
    if (errKind == 0) {
        if (Settings.VerifyMode != vmSeparated) {
            zipName = FileNamePart(source);
            source = FolderPart(source);
        } else {
            source = WithSlash(source);
        }
        if (!CheckPathAccess(_("Verify files"), Settings.UserAccount, Settings.UserPwd, source, quiet))
            errKind = 1;
        else if (Settings.VerifyMode == vmSeparated
                     ? !IsToolDir(source)
                     : (Settings.VerifyMode == vmSingleZip ? !XlFileExists(WithSlash(source) + zipName)
                                                           : !IsToolDir(source)))
            errKind = 1;
    }
    if (errKind != 0)
        return brError;
    FAge = GetAgeSelection(Settings.AgeMode, Settings.TimeCount, Settings.Date, DateOf(Clock()), Clock());
    if (quiet)
        wait = -wait;
    else if (interactive)
        wait = 0;
    BuildSecurityMasks();
    FileCount = NotFound = ErrCount = 0;
    StartTime = Clock();
    const std::string title = !VJobName.empty()
                                  ? _("Verify task") + ": " + DeleteExtension(FileNamePart(VJobName))
                                  : _("Verifying");
    FLog.BeginLog(StartTime, title);
    FLog.WriteToLog(1, "  " + _("Directory") + ": " + source);
    std::string selection = FAge.Text;
    if (RFilter.Mode() != fmOff)
        selection += " [" + FilterDescription(RFilter) + "]";
    FLog.WriteToLog(1, "  " + _("Selection: ") + selection);
    FProgress.ShowProgress(title, _("Compare to"), "", ProgressOption(poAction) | ProgressOption(poPause), 0,
                           wait, false);
    FControl.Checkpoint();
    bool noDrive = false;
    if (!Settings.Origin) {
        VerifyAgainst(source, Settings.DestDir, Settings.VerifyMode, zipName, Settings.Source, quiet);
    } else if (Settings.VerifyMode == vmSingleZip) {
        noDrive = true;
    } else {
        noDrive = !VerifyDriveFolders(source, Settings.VerifyMode, zipName, Settings.Source, quiet);
    }
    FProgress.SetSpeed("");
    return FinishRun(interactive, noDrive, title);
}

TBuResult TVerifyRun::FinishRun(bool interactive, bool noDriveFolder, const std::string& title)
{
    (void)title;
    const std::string countText = CountText(FileCount);
    int code = mrNoAction;
    bool error = true;
    if (ErrCount + NotFound > 0) {
        code = FProgress.ShowStatus(psError, _("Verification completed"), countText,
                                    FormatVerifySummary(NotFound, ErrCount), clRed, 0);
        StatusText = SafeFormat(_("%s during verification"),
                                {FormatCount("", _("1 error"), _("%u errors"), ErrCount + NotFound, true)});
        FHost.SetExitCode(4, 0);
    } else if (FControl.Stopped()) {
        code = FProgress.Terminate();
        FProgress.Close();
        StatusText = _("Canceled by user");
        FHost.SetExitCode(5, 0);
    } else if (noDriveFolder) {
        const std::string sentence =
            _("No information found concerning with which source the files are to be compared!");
        code = FProgress.ShowStatus(psOK, _("Verification completed"), sentence, "", SuccessColor, 0);
        StatusText = _("Verification failed") + " - " + sentence;
    } else {
        code = FProgress.ShowStatus(psOK, _("Verification completed"),
                                    FileCount > 0 ? countText : _("No files found"),
                                    FileCount > 0 ? _("No errors") : std::string(), SuccessColor, 0);
        StatusText = _("OK");
        error = false;
    }
    (void)error;
    (void)interactive;
    FLog.WriteErrorSummary();
    FLog.WriteToLog(1, "  ==> " + _("End") + ": " + DateTimeToStr(Clock()));
    FLog.WriteToLog(1, "  " + _("Status: ") + StatusText + " (" + countText + ")");
    if ((code & mrShowLogBit) != 0)
        FLog.FlushLogFile(1);
    Decryption.reset();
    return ModalResultToBuResult(code);
}

TBuResult TVerifyRun::StartVerify(const std::string& taskFile, int pMode, int wtDel, int selAction,
                                  TInteraction iaMode)
{
    (void)selAction;
    CryptPwd.clear();
    FHost.SetExitCode(0, 0);
    FControl.Reset();
    const bool quiet = iaMode == iaQuiet || iaMode == iaQuietError;
    FInteractive = iaMode == iaPrompt;
    FQuiet = quiet;
    FHost.KeepAwake(true);
    std::string message;
    TBuResult result = brError;
    // the program's log mode for verify tasks, unless the task has its own
    Settings.ProtMode = GetLogModeFor(VerifyLogBit);
    try {
        LoadVerifyTask(taskFile, Settings);
        VJobName = taskFile;
    } catch (const std::exception& e) {
        message = SafeFormat(_("Could not read task file: \"%s\""), {taskFile}) + " (" + e.what() + ")";
        FHost.SetExitCode(6, 0);
    }
    if (pMode >= 0)
        Settings.ProtMode = pMode;
    const uint32_t logError =
        FLog.OpenLogFile(Settings.ProtMode, ExpandLogNameNoDest(Settings.TaskLogName, taskFile), false);
    FLog.CheckLogError(logError, !quiet);
    FLog.InitLog(_("Verify backed-up files"));
    RFilter.Reset();
    RFilter.SetRegular(Settings.FilterRegular);
    try {
        RFilter.SetFilter(Settings.FilterText);
        RFilter.SetMode(Settings.FilterMode);
    } catch (const EFilterError&) {
        RFilter.Reset();
    }
    if (message.empty()) {
        if (Settings.VfFtp) {
            result = VerifyOnFtp(FInteractive, quiet, wtDel);
            if (result == brError) {
                message = _("Connection to FTP server failed") + ": " + GetFtpUrl(Settings.FtpPar);
                FHost.SetExitCode(3, 0);
            }
        } else if (Settings.Source.empty()) {
            // a task without a backup location cannot have run: the exit code says so
            message = _("Please specify the directory to be verified!");
            FHost.SetExitCode(6, 0);
        } else if (!Settings.Origin && Settings.DestDir.empty()) {
            message = _("Please specify the directory used for verification!");
            FHost.SetExitCode(6, 0);
        } else {
            int errKind = 0;
            result = VerifyLocal(FInteractive, quiet, wtDel, errKind);
            if (result == brError) {
                FHost.SetExitCode(3, 0);
                if (errKind == 2)
                    message = SafeFormat(_("Could not find directory: \"%s\""), {Settings.DestDir}) + " (D)";
                else if (Settings.VerifyMode != vmSeparated)
                    message = SafeFormat(_("File\r\n\"%s\"\r\nnot found!"), {Settings.Source});
                else
                    message = SafeFormat(_("Could not find directory: \"%s\""), {Settings.Source}) + " (S)";
            }
        }
    }
    if (result == brError) {
        if (FInteractive)
            FInteraction.ErrorBox(message, 0);
        FLog.BeginLog(Clock(), _("Verify task") + ": " + FileNamePart(taskFile));
        FLog.WriteToLog(1, "  *** " + message);
        StatusText = message;
    }
    FLog.CloseLogFile(false);
    FHost.EndKeepAwake();
    return result;
}

TBuResult TVerifyRun::RunInteractive(std::string& failure)
{
    CryptPwd.clear();
    KeyMode = 0;
    FHost.SetExitCode(0, 0);
    FControl.Reset();
    FInteractive = true;
    FQuiet = false;
    FHost.KeepAwake(true);
    const uint32_t logError =
        FLog.OpenLogFile(Settings.ProtMode, ExpandLogNameNoDest(Settings.TaskLogName, VJobName), false);
    FLog.CheckLogError(logError, true);
    FLog.InitLog(_("Verify backed-up files"));
    RFilter.Reset();
    RFilter.SetRegular(Settings.FilterRegular);
    try {
        RFilter.SetFilter(Settings.FilterText);
        RFilter.SetMode(Settings.FilterMode);
    } catch (const EFilterError&) {
        RFilter.Reset();
    }
    TBuResult result = brOK;
    failure.clear();
    if (Settings.VfFtp) {
        result = VerifyOnFtp(true, false, 0);
        if (result == brError)
            failure = _("Connection to FTP server failed") + ": " + GetFtpUrl(Settings.FtpPar);
    } else if (Settings.Source.empty()) {
        failure = _("Please specify the directory to be verified!");
    } else if (!Settings.Origin && Settings.DestDir.empty()) {
        failure = _("Please specify the directory used for verification!");
    } else {
        int errKind = 0;
        result = VerifyLocal(true, false, 0, errKind);
        if (result == brError) {
            FHost.SetExitCode(3, 0);
            if (errKind == 2)
                failure = SafeFormat(_("Could not find directory: \"%s\""), {Settings.DestDir});
            else if (Settings.VerifyMode != vmSeparated)
                failure = SafeFormat(_("File\r\n\"%s\"\r\nnot found!"), {Settings.Source});
            else
                failure = SafeFormat(_("Could not find directory: \"%s\""), {Settings.Source});
        }
    }
    FLog.CloseLogFile(false);
    FHost.EndKeepAwake();
    return result;
}
