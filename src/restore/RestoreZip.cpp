// The zip page: listing one archive or a tree of per-folder archives into the transfer list, and
// restoring the selected entries.
#include <algorithm>

#include "archive/EngineErrors.h"
#include "archive/EngineFs.h"
#include "archive/ExtFileTools.h"
#include "archive/ExtFileToolsZipRead.h"
#include "archive/FileErrors.h"
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

std::string ShortText(const std::string& s, int len)
{
    return ShortenPath(s, len);
}

bool IsLinkPath(const std::string& path)
{
    TPosixFileData d;
    return ReadFileData(path, false, d) == 0 && (d.Attr & faReparsePoint) != 0;
}

std::string FolderOf(const std::string& name)
{
    size_t p = name.find_last_of('/');
    return p == std::string::npos ? std::string() : name.substr(0, p);
}

} // namespace

int TRestoreEngine::GetZipNamePassword(const std::string& Dir, const std::string& Name)
{
    TSearchRec sr;
    int code = FindFirst(AddPathDelimiter(Dir) + Name, SearchFiles, sr);
    std::string first = code == 0 ? AddPathDelimiter(Dir) + sr.Name : std::string();
    FindClose(sr);
    if (first.empty()) {
        FHost.ShowError(SafeFormat(_("No matching zip archive found in\r\n%s"), {Dir}));
        return 3;
    }
    int keyMode = -1;
    try {
        GetZipEncryption(first, keyMode);
    } catch (const std::exception&) {
    }
    KeyMode = keyMode < 0 ? 0 : keyMode;
    // The names decide: encrypted entries with readable names (other tools' AES archives) need the
    // password only when an entry is extracted; the first entry may be a folder that is not encrypted.
    try {
        TZipRead probe(first, "", KeyMode, RestoreBufSize);
        probe.ReadDirectory();
        bool namesEncrypted = false;
        for (int i = 0; i < probe.Directory().Count(); ++i) {
            const TPkHeader* h = probe.Directory().Objects(i);
            if (h->GpFlag & 0x100) {
                namesEncrypted = true;
                if (h->EncMode != 0)
                    KeyMode = h->EncMode;
            }
        }
        if (!namesEncrypted)
            return 1;
    } catch (const EZipError& e) {
        if ((e.ZipError & 0xFF) != 11)
            return 1;
    } catch (const std::exception&) {
        return 1;
    }
    std::string pwd;
    if (FHost.AskPassword(SafeFormat(_("The zip archive \"%s\" \r\nhas encrypted filenames and\r\nrequires a "
                                       "password to read the directory!"),
                                     {Name}),
                          false, pwd) != prOk)
        return 2;
    FCryptPwd = pwd;
    return 1;
}

bool TRestoreEngine::ReadZipDirectory(const std::string& ZipName, const std::string& GivenName)
{
    std::string message;
    if (!OpenZip(ZipName, FCryptPwd, KeyMode, ZipListBufSize, message))
        return false;
    for (;;) {
        try {
            FZip->ReadDirectory([this](int, const std::string& s) { FHost.StatusText("", s); });
            return true;
        } catch (const EZipError& e) {
            if ((e.ZipError & 0xFF) != 11)
                break;
            FCryptPwd.clear();
            std::string pwd;
            if (FHost.AskPassword(
                    SafeFormat(_("The password entered for\r\n%s\r\nis invalid! Please try again!"),
                               {GivenName}),
                    false, pwd) != prOk)
                break;
            FCryptPwd = pwd;
            FZip->InitEncryption(FCryptPwd, KeyMode);
        } catch (const std::exception&) {
            break;
        }
    }
    CloseZip();
    return false;
}

void TRestoreEngine::ListZipArchive(const std::string& Dir, const std::string& Name, int& Count)
{
    if (FHost.StatusCancelled())
        return;
    FHost.StatusText(std::string(_("File")) + ": " + Name, "");
    TSearchRec sr;
    int code = FindFirst(AddPathDelimiter(Dir) + Name, SearchFiles, sr);
    const std::string archive = code == 0 ? AddPathDelimiter(Dir) + sr.Name : AddPathDelimiter(Dir) + Name;
    const std::string archiveName = code == 0 ? sr.Name : Name;
    TDateTime time = code == 0 ? FileTimeToLocalDateTime(sr.FindData.LastWriteTime) : 0;
    int attr = code == 0 ? sr.Attr : 0;
    FindClose(sr);
    ZipFileList.AddItem(archiveName, ftRoot, Dir, "", 0, 0);
    ZipFileList.AddItem("./", ftZipName, archive, "", time, attr);
    if (!ReadZipDirectory(archive, Name))
        return;
    std::string lastFolder;
    bool first = true;
    const TZipFileList& dir = FZip->Directory();
    for (int i = 0; i < dir.Count(); ++i) {
        const TPkHeader* h = dir.Objects(i);
        const std::string name = FZip->Filename(i);
        if (IsFolderEntry(*h) || name.empty())
            continue;
        const std::string folder = FolderOf(name);
        if (first || !utf8::SameText(folder, lastFolder)) {
            ZipFileList.AddItem("./" + folder, ftDir, folder, folder, 0, 0, 0, 0, 0, false, false, false,
                                true);
            lastFolder = folder;
            first = false;
        }
        ZipFileList.AddItem(EngineFs::ExtractFileName(name), ftZipFile, name, name,
                            DosTimeToDateTime(h->TimeStamp), h->Attr, i, h->USize, h->CSize,
                            h->CompMethod != 0, false, (h->GpFlag & 1) != 0, true);
        ++Count;
        FHost.ProcessMessages();
    }
    FHost.StatusText("", std::string(_("Found: ")) + FileCountText(Count, false));
    CloseZip();
}

void TRestoreEngine::ListZipDirectory(const std::string& Root, const std::string& Name, int& Count,
                                      const std::string& Rel)
{
    const std::string folder = Rel.empty() ? Root : AddPathDelimiter(Root) + Rel;
    if (FHost.StatusCancelled() || IsLinkPath(folder))
        return;
    if (Rel.empty())
        ZipFileList.AddItem(ShortText(Root, 50), ftRoot, Root, "", 0, 0);
    else if (Count == 0)
        ZipFileList.AddItem(ShortText(folder, 50), ftSubRoot, folder, Rel, 0, 0);
    const int folderEntry = ZipFileList.AddItem("./" + (Rel.empty() ? std::string() : AddPathDelimiter(Rel)),
                                                ftDir, folder, Rel, 0, 0, 0, 0, 0, false, false, false, true);
    FHost.StatusText(std::string(_("Directory")) + ": " + ShortText(folder, 75), "");
    const std::string mask = ChangeExtension(Name, ".zip");
    TSearchRec sr;
    int code = FindFirst(AddPathDelimiter(folder) + mask, SearchFiles, sr);
    bool unreadable = false;
    for (; code == 0; code = FindNext(sr)) {
        const std::string archive = AddPathDelimiter(folder) + sr.Name;
        const int archiveEntry = ZipFileList.AddItem(
            archive, ftZipName, archive, Rel, FileTimeToLocalDateTime(sr.FindData.LastWriteTime), sr.Attr);
        if (!ReadZipDirectory(archive, Name)) {
            unreadable = true;
            break;
        }
        int listed = 0;
        const TZipFileList& dir = FZip->Directory();
        for (int i = 0; i < dir.Count(); ++i) {
            const TPkHeader* h = dir.Objects(i);
            const std::string name = FZip->Filename(i);
            if (IsFolderEntry(*h) || name.empty() || name.find('/') != std::string::npos)
                continue;
            const std::string dest = Rel.empty() ? name : AddPathDelimiter(Rel) + name;
            ZipFileList.AddItem(name, ftZipFile, name, dest, DosTimeToDateTime(h->TimeStamp), h->Attr, i,
                                h->USize, h->CSize, h->CompMethod != 0, false, (h->GpFlag & 1) != 0, true);
            ++listed;
            ++Count;
        }
        CloseZip();
        if (listed == 0) {
            ZipFileList.SetFileType(archiveEntry, ftEmpty);
            ZipFileList.SetFileType(archiveEntry - 1, ftEmpty);
        }
    }
    FindClose(sr);
    if (ZipFileList.Count() - 1 == folderEntry ||
        (ZipFileList.Count() > folderEntry + 1 && ZipFileList.FileType(ZipFileList.Count() - 1) != ftFile))
        ZipFileList.SetFileType(folderEntry, ftEmpty);
    FHost.StatusText("", std::string(_("Found: ")) + FileCountText(Count, false));
    if (unreadable)
        return;
    code = FindFirst(AddPathDelimiter(folder) + "*", SearchAll, sr);
    std::vector<std::string> subs;
    for (; code == 0; code = FindNext(sr))
        if ((sr.Attr & faDirectory) && IsNotDotEntry(sr.Name))
            subs.push_back(sr.Name);
    FindClose(sr);
    for (const auto& sub : subs)
        ListZipDirectory(Root, Name, Count, Rel.empty() ? sub : AddPathDelimiter(Rel) + sub);
}

void TRestoreEngine::SelectNewestVersions()
{
    int start = 0;
    const int n = ZipFileList.Count();
    while (start < n) {
        while (start < n && ZipFileList.FileType(start) != ftDir && ZipFileList.FileType(start) != ftEmpty)
            ++start;
        int end = start + 1;
        while (end < n && ZipFileList.FileType(end) != ftDir && ZipFileList.FileType(end) != ftEmpty)
            ++end;
        for (int i = start + 1; i < end; ++i)
            if (ZipFileList.FileType(i) == ftFile)
                ZipFileList.SetSelected(i, false);
        for (int i = start + 1; i < end; ++i) {
            if (ZipFileList.FileType(i) != ftFile)
                continue;
            int best = i;
            bool seen = false;
            for (int j = start + 1; j < end; ++j) {
                if (ZipFileList.FileType(j) != ftFile ||
                    !utf8::SameText(ZipFileList.Strings(j), ZipFileList.Strings(i)))
                    continue;
                if (j < i) {
                    seen = true;
                    break;
                }
                if (ZipFileList.Items(j).FTimeStamp > ZipFileList.Items(best).FTimeStamp)
                    best = j;
            }
            if (!seen)
                ZipFileList.SetSelected(best, true);
        }
        start = end;
    }
}

bool TRestoreEngine::ScanZipArchive(const std::string& FileName)
{
    const std::string dir = EngineFs::ExtractFilePath(FileName);
    const std::string name = EngineFs::ExtractFileName(FileName);
    FCryptPwd.clear();
    ZipFileList.Clear();
    int count = 0;
    const std::string folder = dir.empty() ? std::string(".") : dir.substr(0, dir.size() - 1);
    if (GetZipNamePassword(folder, name) != 1)
        return false;
    FHost.StatusOpen(_("Scanning zip archive"));
    FHost.ShowProgress(-1);
    if (Options.ZipDirMode) {
        ListZipDirectory(folder, name, count, "");
        SelectNewestVersions();
    } else {
        ListZipArchive(folder, name, count);
    }
    FHost.ShowProgress(-2);
    const bool cancelled = FHost.StatusCancelled();
    FHost.StatusClose();
    if (cancelled) {
        FHost.ShowError(_("Canceled by user"));
        return false;
    }
    return true;
}

void TRestoreEngine::RestoreFromZip()
{
    SetRestoring(true);
    Restored = Errors = 0;
    FErrorList.Clear();
    std::string message;
    for (int i = 0; i < ZipFileList.Count() && FRestoring; ++i) {
        WaitWhilePaused();
        const TFileTransferInfo& e = ZipFileList.Items(i);
        const std::string dest = e.FDest.empty() ? Target : AddPathDelimiter(Target) + e.FDest;
        switch (e.FType) {
        case ftZipName:
            CloseZip();
            if (OpenZip(e.FSource, FCryptPwd, KeyMode, ZipListBufSize, message)) {
                FLogList.Add(std::string(_("Restore files from zip archive")) + ": " + e.FSource);
                try {
                    FZip->ReadDirectory();
                } catch (const std::exception& ex) {
                    // the entries of this archive fail one by one below
                    message = ex.what();
                }
            }
            break;
        case ftDir:
        case ftEmpty:
            if (e.IsSelected && (e.FDest.empty() || IsBelowFolder(Target, dest)))
                XlForceDirectories(dest);
            break;
        case ftFile: {
            if (!e.IsSelected)
                break;
            FHost.ShowFileLabel(e.FSource);
            FLogList.Add("  ->  " + std::string(_("Restore: ")) + e.FSource + _(" to ") + Target);
            int result;
            message.clear();
            if (!FZip || e.DirIndex < 0 || e.DirIndex >= FZip->Directory().Count() ||
                FZip->Filename(e.DirIndex) != e.FSource) {
                result = EngineError::NotFound + OpUnzip;
            } else if (!IsBelowFolder(Target, dest)) {
                result = EngineError::Create + OpUnzip;
            } else {
                XlForceDirectories(EngineFs::ExtractFilePath(dest));
                if (!MayOverwrite(dest,
                                  DosTimeToUnixTime(FZip->Directory().Objects(e.DirIndex)->TimeStamp))) {
                    FLogList.Add("   => " + std::string(_("An existing file was not overwritten")));
                    break;
                }
                result = ExtractEntryWithPassword(e.DirIndex, e.FSource, dest, true, message);
            }
            if (result == rrCancelled) {
                FRestoring = false;
                break;
            }
            if (result > 0) {
                const std::string text = FormatFileError(static_cast<unsigned>(result), e.FSource, "");
                FLogList.Add("  *** " + text);
                ++Errors;
                FErrorList.Add(std::string(_("Error restoring file: ")) + e.FName);
                FErrorList.Add("   " + (message.empty() ? text : message));
            } else if (result == 0) {
                ++Restored;
                FHost.ShowCountLabel(
                    FormatCount(_("No files copied"), _("1 file copied"), _("%u files copied"), Restored));
            }
            FHost.ProcessMessages();
            break;
        }
        default:
            break;
        }
    }
    if (Errors == 0)
        FHost.ShowInfo(FormatCount(_("No files copied"), _("1 file copied"), _("%u files copied"), Restored));
    else
        FHost.ShowDetails(SafeFormat(_("%u files copied"), {Restored}) + " - " +
                              SafeFormat(_("%u errors"), {Errors}),
                          FErrorList);
    CloseZip();
    FCryptPwd.clear();
}

bool TRestoreEngine::ExtractZipEntryToTemp(int Index, std::string& FileName)
{
    const TFileTransferInfo& e = ZipFileList.Items(Index);
    if (e.FType != ftFile)
        return false;
    int archive = Index;
    while (archive >= 0 && ZipFileList.FileType(archive) != ftZipName &&
           ZipFileList.FileType(archive) != ftEmpty)
        --archive;
    if (archive < 0)
        return false;
    if (e.Encrypted && FCryptPwd.empty()) {
        std::string pwd;
        if (FHost.AskPassword(SafeFormat(_("To view encrypted file:\r\n%s\r\nrequires a password!"),
                                         {ShortenPath(e.FSource, 50)}),
                              false, pwd) != prOk)
            return false;
        FCryptPwd = pwd;
    } else if (!e.Encrypted) {
        FCryptPwd.clear();
    }
    std::string message;
    if (!OpenZip(ZipFileList.Items(archive).FSource, FCryptPwd, KeyMode, RestoreBufSize, message)) {
        FHost.ShowError(message);
        return false;
    }
    int result = 0;
    try {
        FZip->ReadDirectory();
        FileName = AddPathDelimiter(QvTempDir) + EngineFs::ExtractFileName(e.FSource);
        if (e.Encrypted)
            FZip->InitEncryption(FCryptPwd, FZip->Directory().Objects(e.DirIndex)->EncMode);
        result = ExtractEntry(e.DirIndex, FileName, message);
    } catch (const EZipError& ex) {
        result = ex.ZipError;
    }
    CloseZip();
    if ((result & 0xFF) == 11) {
        FHost.ShowError(SafeFormat(_("The password entered for file:\r\n%s\r\nis invalid!"), {e.FSource}));
        FCryptPwd.clear();
        return false;
    }
    if (result != 0) {
        FHost.ShowError(FormatFileError(static_cast<unsigned>(result), e.FSource, message));
        return false;
    }
    return true;
}
