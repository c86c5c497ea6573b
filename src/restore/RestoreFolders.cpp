// Selected files, whole folders with their security copies, and the whole-folder preview.
#include <algorithm>

#include "archive/EngineErrors.h"
#include "archive/EngineFs.h"
#include "archive/ExtFileTools.h"
#include "archive/ExtFileToolsZipRead.h"
#include "archive/FileErrors.h"
#include "backup/SecurityCopyNames.h"
#include "foundation/FileUtilsOps.h"
#include "foundation/FileUtilsTimes.h"
#include "foundation/PathUtils.h"
#include "foundation/QvUtilsTexts.h"
#include "foundation/StringUtils.h"
#include "foundation/XlFileUtils.h"
#include "platform/DirSearch.h"
#include "platform/PosixFiles.h"
#include "restore/RestoreEngine.h"
#include "restore/RestoreUtils.h"
#include "rtl/Gettext.h"
#include "rtl/SysUtils.h"

namespace {

constexpr int SearchFiles = static_cast<int>(faReadOnly | faHidden | faSysFile | faArchive | faNormal);
constexpr int SearchAll = SearchFiles | static_cast<int>(faDirectory);

bool EndsWithText(const std::string& s, std::string_view ext)
{
    return s.size() >= ext.size() && utf8::SameText(std::string_view(s).substr(s.size() - ext.size()), ext);
}

bool IsLink(const TSearchRec& sr)
{
    return (sr.Attr & static_cast<int>(faReparsePoint)) != 0;
}

bool IsLinkPath(const std::string& path)
{
    TPosixFileData d;
    return ReadFileData(path, false, d) == 0 && (d.Attr & faReparsePoint) != 0;
}

std::string ErrorCountText(int errors)
{
    return FormatCount(_("No errors"), _("1 error"), _("%u errors"), errors);
}

bool FolderIsEmpty(const std::string& dir)
{
    return IsEmptyDirectory(dir);
}

} // namespace

void TRestoreEngine::EndRun(const std::string& countText, bool withLogLine, int handled)
{
    if (Errors == 0)
        FHost.ShowInfo(countText);
    else
        FHost.ShowDetails(SafeFormat(_("%u files copied"), {Restored}) + " - " +
                              SafeFormat(_("%u errors"), {Errors}),
                          FErrorList);
    if (withLogLine)
        FLogList.Add(SafeFormat(_("%u of %u files restored"), {Restored, handled}) + " (" +
                     ErrorCountText(Errors) + ")");
    FCryptPwd.clear();
}

// --- selected files

void TRestoreEngine::RestoreSelectedFiles(const std::string& Folder, const std::vector<std::string>& Items)
{
    if (!EngineFs::DirectoryExists(Target)) {
        if (!FHost.Confirm(_("Destination directory not found - create?")))
            return;
        XlForceDirectories(Target);
    }
    std::string archive = Folder, inner;
    const bool inZip = SplitOpenPath(archive, inner) && !EngineFs::DirectoryExists(Folder);
    if (inZip ? !EngineFs::Exists(archive, true) : !EngineFs::DirectoryExists(Folder)) {
        FHost.ShowError(inZip ? SafeFormat(_("File\r\n\"%s\"\r\nnot found!"), {archive})
                              : SafeFormat(_("Directory \"%s\" not found!"), {Folder}));
        return;
    }
    SetRestoring(true);
    Matched = Restored = Errors = 0;
    FErrorList.Clear();
    if (Items.empty()) {
        FHost.ShowError(_("No files selected!"));
        return;
    }
    int handled = 0;
    if (inZip) {
        std::string message;
        if (!OpenZip(archive, "", 0, RestoreBufSize, message)) {
            FHost.ShowError(message);
            return;
        }
        FLogList.Add(std::string(_("Restore files from zip archive")) + ": " + archive);
        try {
            FZip->ReadDirectory();
        } catch (const EZipError& e) {
            FHost.ShowError(FormatFileError(static_cast<unsigned>(e.ZipError), archive, e.SysErrorMsg));
            CloseZip();
            return;
        }
    }
    for (const auto& item : Items) {
        if (!FRestoring)
            break;
        WaitWhilePaused();
        ++handled;
        int result;
        std::string name;
        if (inZip) {
            const std::string member = inner.empty() ? item : AddPathDelimiter(inner) + item;
            name = member;
            FHost.ShowFileLabel(member);
            FLogList.Add("  ->  " + std::string(_("Restore: ")) + member + _(" to ") + Target);
            const int index = FZip->Directory().IndexOf(member);
            result = index < 0 ? EngineError::NotFound + OpUnzip
                               : RestoreZipEntry(index, member, false, AddPathDelimiter(Target) + member);
        } else {
            name = AddPathDelimiter(Folder) + item;
            FHost.ShowFileLabel(name);
            FLogList.Add(std::string(_("Restore: ")) + name + _(" to ") + Target);
            std::string destName;
            result = RestoreFile(name, Target, false, destName);
        }
        if (result == rrCancelled)
            break;
        if (result == rrNotCopied) {
            FLogList.Add("   => " + std::string(_("An existing file was not overwritten")));
        } else if (result > 0) {
            const std::string text = FormatFileError(static_cast<unsigned>(result), name, "");
            FLogList.Add("  *** " + text);
            if (Items.size() < 2) {
                FHost.ShowError(text);
            } else {
                ++Errors;
                AddError(std::string(_("Error restoring file: ")) + name, text);
            }
        } else if (result == 0) {
            ++Restored;
            FHost.ShowCountLabel(
                SafeFormat(_("%u of %u files restored"), {Restored, static_cast<int>(Items.size())}));
        }
    }
    CloseZip();
    EndRun(SafeFormat(_("%u of %u files restored"), {Restored, handled}), true, handled);
}

// --- whole folders

void TRestoreEngine::RestoreDirectory(const std::string& Folder)
{
    std::string archive = Folder, inner;
    const bool inZip = SplitZipPath(archive, inner) && !EngineFs::DirectoryExists(Folder);
    if (inZip ? !EngineFs::Exists(archive, true) : !EngineFs::DirectoryExists(Folder)) {
        FHost.ShowError(inZip ? SafeFormat(_("File\r\n\"%s\"\r\nnot found!"), {archive})
                              : SafeFormat(_("Directory \"%s\" not found!"), {Folder}));
        return;
    }
    if (!EngineFs::DirectoryExists(Target)) {
        if (!FHost.Confirm(_("Destination directory not found - create?")))
            return;
        XlForceDirectories(Target);
    } else if (!FolderIsEmpty(Target)) {
        if (!FHost.Confirm(_("Destination directory not empty - start restore anyway?")))
            return;
    }
    SetRestoring(true);
    Matched = Restored = Errors = 0;
    FErrorList.Clear();
    if (inZip) {
        RestoreZipFolder(archive, inner, Target);
    } else {
        const TDateTime limit = static_cast<int>(Options.BakDate) + 1;
        RestoreTree(Folder, Target, "", limit, SecurityCopyMask(Options.BakSuffix));
    }
    if (!Options.EmptyDirs)
        DeleteEmptyDirectories(Target, "");
    EndRun(SafeFormat(_("%u of %u files restored"), {Restored, Matched}), true, Matched);
}

void TRestoreEngine::CollectFolder(const std::string& dir, TDateTime limit, const std::string& mask,
                                   bool filterOwnName, TCandidates& list)
{
    TSearchRec sr;
    int code = FindFirst(AddPathDelimiter(dir) + "*", SearchFiles, sr);
    for (; code == 0 && (FRestoring || filterOwnName); code = FindNext(sr)) {
        if ((sr.Attr & faDirectory) || !IsNotDotEntry(sr.Name))
            continue;
        WaitWhilePaused();
        TCandidate c;
        c.Source = sr.Name;
        std::string dest;
        if (Options.GzUnpack && (EndsWithText(sr.Name, ".gz") || EndsWithText(sr.Name, ".gze"))) {
            dest = GetTargetName(sr.Name, true, false);
            c.Compressed = true;
            c.Encrypted = EndsWithText(sr.Name, ".gze");
        } else if (Options.ZipUnpack && EndsWithText(sr.Name, ".zip")) {
            dest = GetTargetName(sr.Name, false, true);
            c.Compressed = c.Zip = true;
        } else {
            c.Encrypted = EndsWithText(sr.Name, ".enc");
            dest = c.Encrypted ? GetTargetName(sr.Name, false, false) : sr.Name;
        }
        if (dest.empty())
            continue;
        if (!FileFilter.MatchesFilter(filterOwnName ? sr.Name : dest))
            continue;
        ++Matched;
        c.Time = FileTimeToLocalDateTime(sr.FindData.LastWriteTime);
        c.Size = sr.FindData.Size;
        std::string key = dest;
        if (Options.BakMode == bmExclude && MatchesFileMask(mask, dest))
            continue;
        if (Options.BakMode == bmInclude) {
            if (static_cast<int>(c.Time) >= static_cast<int>(limit))
                continue;
            if (MatchesFileMask(mask, dest))
                key = RemoveSecurityCopySuffix(dest, Options.BakSuffix);
            auto it = std::find_if(list.begin(), list.end(), [&](const auto& e) { return e.first == key; });
            if (it != list.end()) {
                if (c.Time > it->second.Time)
                    it->second = c;
                continue;
            }
        }
        list.emplace_back(key, c);
    }
    FindClose(sr);
}

void TRestoreEngine::RestoreTree(const std::string& SourceRoot, const std::string& DestRoot,
                                 const std::string& SubPath, TDateTime limit, const std::string& mask)
{
    const std::string S = SubPath.empty() ? SourceRoot : AddPathDelimiter(SourceRoot) + SubPath;
    const std::string D = SubPath.empty() ? DestRoot : AddPathDelimiter(DestRoot) + SubPath;
    if (IsLinkPath(S))
        return;
    XlForceDirectories(D);
    TCandidates list;
    CollectFolder(S, limit, mask, false, list);
    bool ended = false;
    for (auto& [key, c] : list) {
        if (!FRestoring) {
            ended = true;
            break;
        }
        WaitWhilePaused();
        const std::string source = AddPathDelimiter(S) + c.Source;
        std::string dest = AddPathDelimiter(D) + key;
        const std::string shown = IsSubPath(Target, source) ? MakeRelativePath(Target, source) : source;
        FLogList.Add(std::string(_("Restore: ")) + shown + _(" to ") + Target);
        TKind kind = rkPlain;
        bool encrypted = c.Encrypted;
        if (c.Zip) {
            TGzFileInfo info;
            int zipInfo = 2;
            try {
                zipInfo = GetZipFileInfo(source, info);
            } catch (const std::exception&) {
            }
            if (zipInfo != 0) {
                // the user's own zip archive: copied as it is
                dest = AddPathDelimiter(D) + c.Source;
                encrypted = false;
            } else {
                kind = rkUnzip;
                encrypted = info.Encrypted;
            }
        } else if (c.Compressed) {
            kind = rkGunzip;
        }
        if (!MayOverwrite(dest, FileTimeToUnixTime(LocalDateTimeToFileTime(c.Time)))) {
            FLogList.Add("   => " + std::string(_("An existing file was not overwritten")));
            continue;
        }
        FHost.ShowFileLabel(dest);
        int result = RestoreWithPassword(kind, source, dest, encrypted, true);
        if (result == rrCancelled) {
            FRestoring = false;
            ended = true;
            break;
        }
        if (result == 0) {
            ++Restored;
            FHost.ShowCountLabel(
                FormatCount(_("No files restored"), _("1 file restored"), _("%u files restored"), Restored));
        } else if (result > 0) {
            ++Errors;
            AddError(std::string(_("Error restoring file: ")) + source,
                     FormatFileError(static_cast<unsigned>(result), source, ""));
        }
    }
    if (ended || !Options.SubDirs)
        return;
    TSearchRec sr;
    int code = FindFirst(AddPathDelimiter(S) + "*", SearchAll, sr);
    for (; code == 0 && FRestoring; code = FindNext(sr)) {
        if (!(sr.Attr & faDirectory) || !IsNotDotEntry(sr.Name) || IsLink(sr))
            continue;
        const std::string sub = SubPath.empty() ? sr.Name : AddPathDelimiter(SubPath) + sr.Name;
        RestoreTree(SourceRoot, DestRoot, sub, limit, mask);
        const std::string restored = AddPathDelimiter(DestRoot) + sub;
        if (!EngineFs::DirectoryExists(restored))
            continue;
        int rc = XlSetTimeAndAttrFromSearchRec(restored, sr);
        if (rc != 0) {
            const int number = rc > 0 ? 15 : 6;
            const std::string text =
                FormatFileError(static_cast<unsigned>(number + EngineError::SeverityWarning), restored, "");
            FLogList.Add("  *** " + text);
            ++Errors;
            AddError(std::string(_("Error restoring directory: ")) + sub, text);
        }
    }
    FindClose(sr);
}

void TRestoreEngine::RestoreZipFolder(const std::string& ZipName, const std::string& SubPath,
                                      const std::string& DestDir)
{
    std::string message;
    if (!OpenZip(ZipName, "", 0, RestoreBufSize, message)) {
        FHost.ShowError(message);
        return;
    }
    FLogList.Add(std::string(_("Restore files from zip archive")) + ": " + ZipName);
    try {
        FZip->ReadDirectory();
    } catch (const EZipError& e) {
        FHost.ShowError(FormatFileError(static_cast<unsigned>(e.ZipError), ZipName, e.SysErrorMsg));
        CloseZip();
        return;
    }
    const std::string prefix = SubPath.empty() ? std::string() : utf8::Lower(AddPathDelimiter(SubPath));
    auto below = [&](const std::string& name) {
        return prefix.empty() || utf8::Lower(name).compare(0, prefix.size(), prefix) == 0;
    };
    const TZipFileList& dir = FZip->Directory();
    for (int i = 0; i < dir.Count() && FRestoring; ++i) {
        const TPkHeader* h = dir.Objects(i);
        const std::string name = FZip->Filename(i);
        if (IsFolderEntry(*h) || name.empty() || !FileFilter.MatchesFilter(EngineFs::ExtractFileName(name)) ||
            !below(name))
            continue;
        WaitWhilePaused();
        ++Matched;
        FHost.ShowFileLabel(name);
        FLogList.Add("  ->  " + std::string(_("Restore: ")) + name + _(" to ") + Target);
        const std::string dest = AddPathDelimiter(DestDir) + name;
        int result;
        if (!IsBelowFolder(DestDir, dest)) {
            result = EngineError::Create + OpUnzip;
        } else {
            XlForceDirectories(EngineFs::ExtractFilePath(dest));
            if (!MayOverwrite(dest, DosTimeToUnixTime(h->TimeStamp))) {
                FLogList.Add("   => " + std::string(_("An existing file was not overwritten")));
                continue;
            }
            result = ExtractEntryWithPassword(i, name, dest, true, message);
        }
        if (result == rrCancelled) {
            FRestoring = false;
            break;
        }
        if (result == 0) {
            ++Restored;
            FHost.ShowCountLabel(
                FormatCount(_("No files restored"), _("1 file restored"), _("%u files restored"), Restored));
        } else if (result > 0) {
            const std::string text = FormatFileError(static_cast<unsigned>(result), name, message);
            FLogList.Add("  *** " + text);
            ++Errors;
            AddError(std::string(_("Error restoring file: ")) + ZipName + ":" + name, text);
        }
    }
    if (FRestoring) {
        for (int i = 0; i < dir.Count(); ++i) {
            const TPkHeader* h = dir.Objects(i);
            const std::string name = FZip->Filename(i);
            if (!IsFolderEntry(*h) || name.empty() || !below(name + "/"))
                continue;
            const std::string dest = AddPathDelimiter(DestDir) + name;
            int number = 0;
            if (!IsBelowFolder(DestDir, dest) || !XlForceDirectories(dest))
                number = 23;
            else if (SetFileDosTime(dest, h->TimeStamp, true) != 0)
                number = 15;
            else if (PosixFileSetAttr(dest, h->Attr, true) != 0)
                number = 6;
            if (number != 0) {
                const std::string text =
                    FormatFileError(static_cast<unsigned>(number + EngineError::SeverityError), dest, "");
                ++Errors;
                AddError(std::string(_("Error restoring directory: ")) + ZipName + ":" + name, text);
            }
        }
    }
    CloseZip();
}

bool TRestoreEngine::DeleteEmptyDirectories(const std::string& Base, const std::string& Sub)
{
    const std::string F = Sub.empty() ? Base : AddPathDelimiter(Base) + Sub;
    if (!EngineFs::Exists(F, false) || IsLinkPath(F))
        return true;
    FHost.ShowFileLabel(_("Delete empty directories"));
    bool content = false;
    TSearchRec sr;
    int code = FindFirst(AddPathDelimiter(F) + "*", SearchAll, sr);
    for (; code == 0 && FRestoring; code = FindNext(sr)) {
        if (!IsNotDotEntry(sr.Name))
            continue;
        if ((sr.Attr & faDirectory) && !IsLink(sr)) {
            const std::string sub = Sub.empty() ? sr.Name : AddPathDelimiter(Sub) + sr.Name;
            if (!DeleteEmptyDirectories(Base, sub))
                content = true;
        } else {
            content = true;
        }
    }
    FindClose(sr);
    if (!FRestoring)
        return false;
    if (content)
        return false;
    EngineFs::SetAttributes(F, EngineFs::GetAttributes(F) & ~faReadOnly);
    return XlRemoveDir(F) == 0;
}

// --- preview

void TRestoreEngine::ScanDirectoryForRestore(const std::string& Root, const std::string& Sub, TDateTime limit,
                                             const std::string& mask, TStringList& lines, int64_t& total)
{
    const std::string F = Sub.empty() ? Root : AddPathDelimiter(Root) + Sub;
    if (IsLinkPath(F))
        return;
    int files = 0;
    for (int i = 0; i < lines.Count(); ++i)
        if (!lines[i].empty() && lines[i][0] == ' ')
            ++files;
    FHost.StatusText(F, std::string(_("Found: ")) + SafeFormat(_("%u files"), {files}));
    const int group = lines.AddObject("*./" + (Sub.empty() ? std::string() : AddPathDelimiter(Sub)), 0);
    TCandidates list;
    const int keepMatched = Matched;
    CollectFolder(F, limit, mask, true, list);
    Matched = keepMatched;
    if (Options.BakMode == bmInclude)
        std::stable_sort(list.begin(), list.end(),
                         [](const auto& a, const auto& b) { return a.second.Time < b.second.Time; });
    for (const auto& [key, c] : list) {
        lines.Add(" " + GetTargetName(key, Options.GzUnpack, Options.ZipUnpack) + "|" +
                  FormatDateTime("c", c.Time) + "|" + FormatSize(false, c.Size));
        total += c.Size;
    }
    lines.SetObject(group, static_cast<intptr_t>(list.size()));
    if (FHost.StatusCancelled() || !Options.SubDirs)
        return;
    TSearchRec sr;
    int code = FindFirst(AddPathDelimiter(F) + "*", SearchAll, sr);
    for (; code == 0 && !FHost.StatusCancelled(); code = FindNext(sr)) {
        if (!(sr.Attr & faDirectory) || !IsNotDotEntry(sr.Name) || IsLink(sr))
            continue;
        ScanDirectoryForRestore(Root, Sub.empty() ? sr.Name : AddPathDelimiter(Sub) + sr.Name, limit, mask,
                                lines, total);
    }
    FindClose(sr);
}

bool TRestoreEngine::PreviewDirectory(const std::string& Folder, TStringList& Lines, std::string& Summary)
{
    std::string archive = Folder, inner;
    const bool inZip = SplitZipPath(archive, inner) && !EngineFs::DirectoryExists(Folder);
    if (inZip ? !EngineFs::Exists(archive, true) : !EngineFs::DirectoryExists(Folder)) {
        FHost.ShowError(inZip ? SafeFormat(_("File\r\n\"%s\"\r\nnot found!"), {archive})
                              : SafeFormat(_("Directory \"%s\" not found!"), {Folder}));
        return false;
    }
    FHost.StatusOpen(_("Scanning directories"));
    Lines.Clear();
    int64_t total = 0;
    int count = 0;
    if (inZip) {
        std::string message;
        if (OpenZip(archive, "", 0, RestoreBufSize, message)) {
            try {
                FZip->ReadDirectory();
                const std::string prefix =
                    inner.empty() ? std::string() : utf8::Lower(AddPathDelimiter(inner));
                int group = -1, inGroup = 0;
                for (int i = 0; i < FZip->Directory().Count(); ++i) {
                    const TPkHeader* h = FZip->Directory().Objects(i);
                    const std::string name = FZip->Filename(i);
                    if (IsFolderEntry(*h)) {
                        if (group >= 0)
                            Lines.SetObject(group, inGroup);
                        group = Lines.AddObject("*./" + AddPathDelimiter(name), 0);
                        inGroup = 0;
                        continue;
                    }
                    if (!FileFilter.MatchesFilter(EngineFs::ExtractFileName(name)) ||
                        (!prefix.empty() && utf8::Lower(name).compare(0, prefix.size(), prefix) != 0))
                        continue;
                    Lines.Add(" " + name + "|" + FormatDateTime("c", DosTimeToDateTime(h->TimeStamp)) + "|" +
                              FormatSize(false, h->USize));
                    total += h->USize;
                    ++inGroup;
                }
                if (group >= 0)
                    Lines.SetObject(group, inGroup);
            } catch (const EZipError&) {
            }
            CloseZip();
        }
    } else {
        ScanDirectoryForRestore(Folder, "", static_cast<int>(Options.BakDate) + 1,
                                SecurityCopyMask(Options.BakSuffix), Lines, total);
    }
    for (int i = 0; i < Lines.Count(); ++i)
        if (!Lines[i].empty() && Lines[i][0] == ' ')
            ++count;
    Summary = FormatCountStr(_("No files"), _("1 file totaling %s"), _("%u files totaling %s"), count,
                             FormatSize(false, total));
    if (Options.BakMode == bmInclude && !inZip)
        Summary += " (≤ " + DateToStr(Options.BakDate) + ")";
    FHost.StatusClose();
    return true;
}
