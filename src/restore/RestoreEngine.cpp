#include "restore/RestoreEngine.h"

#include <cmath>
#include <unistd.h>

#include "archive/AesLib.h"
#include "archive/EngineErrors.h"
#include "archive/EngineFs.h"
#include "archive/ExtFileTools.h"
#include "archive/ExtFileToolsZipRead.h"
#include "archive/ExtFileToolsZipThreads.h"
#include "archive/FileErrors.h"
#include "foundation/FileUtilsTimes.h"
#include "foundation/PathUtils.h"
#include "foundation/QvUtilsTexts.h"
#include "foundation/StringUtils.h"
#include "foundation/XlFileUtils.h"
#include "platform/FileText.h"
#include "platform/PosixFiles.h"
#include "restore/RestoreUtils.h"
#include "rtl/Gettext.h"
#include "rtl/Streams.h"
#include "rtl/SysUtils.h"
#include "rtl/Thread.h"

namespace {

bool EndsWithText(const std::string& s, std::string_view ext)
{
    return s.size() >= ext.size() && utf8::SameText(std::string_view(s).substr(s.size() - ext.size()), ext);
}

std::string CutExt(const std::string& s, std::string_view ext)
{
    return s.substr(0, s.size() - ext.size());
}

// The last component of a name stored inside a backup file (gzip header, single-file zip entry), or
// Default when it names no file: such a name never leads out of the destination folder.
std::string StoredFileName(const std::string& stored, const std::string& Default)
{
    std::string s = stored;
    size_t p = s.find_last_of("/\\");
    if (p != std::string::npos)
        s.erase(0, p + 1);
    if (s.empty() || s == "." || s == "..")
        return Default;
    return s;
}

int64_t FileUnixTime(const std::string& name)
{
    FILETIME ft = 0;
    TWin32FileAttributeData d;
    if (GetFileAttrData(name, d, true) != 0)
        return 0;
    ft = d.ftLastWriteTime;
    return FileTimeToUnixTime(ft);
}

bool IsErrorWord(int code)
{
    return code > 0;
}

// Whether pwd passes the password check stored at the start of an encrypted backup file (gzip or
// single file). The decryption reports a damaged file like a wrong password; this tells them apart.
bool PasswordFits(const std::string& source, bool gzip, const std::string& pwd)
{
    try {
        auto stream = OpenReadStream(source);
        int keyMode = -1;
        if (gzip) {
            std::string name;
            uint32_t unixTime = 0;
            int64_t cSize = 0, uSize = 0;
            if (ReadGzHeader(*stream, name, unixTime, keyMode, cSize, uSize) != 0 || keyMode < 0)
                return false;
        } else {
            TEncHeader header;
            if (!ReadEncHeader(*stream, keyMode, header))
                return false;
        }
        TEncryption enc(pwd, keyMode, 65536);
        enc.SetKeyMode(keyMode);
        return enc.ReadHeader(*stream);
    } catch (const std::exception&) {
        return false;
    }
}

} // namespace

std::string GetTargetName(const std::string& Name, bool GzUnpack, bool ZipUnpack)
{
    if (GzUnpack && EndsWithText(Name, ".gz"))
        return CutExt(Name, ".gz");
    if (GzUnpack && EndsWithText(Name, ".gze"))
        return CutExt(Name, ".gze");
    if (ZipUnpack && EndsWithText(Name, ".zip"))
        return CutExt(Name, ".zip");
    if (EndsWithText(Name, ".enc"))
        return CutExt(Name, ".enc");
    return Name;
}

bool IsFolderEntry(const TPkHeader& Header)
{
    const std::string& n = Header.FName;
    return (!n.empty() && (n.back() == '/' || n.back() == '\\')) || (Header.Attr & faDirectory) != 0;
}

std::string SecurityCopyMask(const std::string& Suffix)
{
    size_t p = Suffix.find('#');
    if (p == std::string::npos)
        return Suffix;
    return "*." + Suffix.substr(0, p) + "*";
}

TRestoreEngine::TRestoreEngine(IRestoreHost& host) : FHost(host) {}

TRestoreEngine::~TRestoreEngine() = default;

void TRestoreEngine::SetRestoring(bool active)
{
    FPaused = false;
    FRestoring = active;
    FCancelled = false;
}

void TRestoreEngine::SetPaused(bool paused)
{
    FPaused = paused;
    if (FCopyThread && !FCopyThread->Done())
        FCopyThread->SetPaused(paused);
}

void TRestoreEngine::Stop()
{
    FRestoring = false;
    FPaused = false;
    if (FCopyThread && !FCopyThread->Done()) {
        FCopyThread->SetPaused(false);
        FCopyThread->CancelThread();
    }
    if (FZip)
        FZip->Cancel();
}

void TRestoreEngine::StartLog(TDateTime now)
{
    FLogList.Clear();
    FLogList.Add(ProgramHeader);
    FLogList.Add("  ==> " + std::string(_("Start: ")) + DateTimeToStr(now));
}

bool TRestoreEngine::SaveLog(const std::string& FileName) const
{
    return ReplaceFileContents(FileName, FLogList.Text()) == 0;
}

void TRestoreEngine::WaitWhilePaused()
{
    while (FPaused && FRestoring) {
        FHost.ProcessMessages();
        TThread::CheckSynchronize(0);
        usleep(100 * 1000);
    }
}

void TRestoreEngine::AddError(const std::string& head, const std::string& text)
{
    FErrorList.Add(head);
    FErrorList.Add("   " + text);
}

// --- the overwrite rule

bool TRestoreEngine::MayOverwrite(const std::string& DestName, int64_t SourceTime)
{
    const bool exists = EngineFs::Exists(DestName, false);
    bool allowed = true;
    if (exists) {
        switch (Options.Overwrite) {
        case omAlways:
            break;
        case omNever:
            allowed = false;
            break;
        case omOlder: {
            const int64_t d = SourceTime - FileUnixTime(DestName);
            allowed = d > Options.DeltaTime;
            if (allowed && Options.DstIgnore)
                allowed = std::llabs(d - 3600) > Options.DeltaTime;
            break;
        }
        }
    }
    if (allowed && exists && Options.Protected) {
        uint32_t attr = EngineFs::GetAttributes(DestName);
        if (attr != EngineFs::InvalidAttributes && (attr & faReadOnly))
            EngineFs::SetAttributes(DestName, attr & ~faReadOnly);
    }
    return allowed;
}

// --- the worker

void TRestoreEngine::CreateDecryption()
{
    FDecryption = std::make_unique<TEncryption>(FCryptPwd, GetAutoAesStrength(FCryptPwd), RestoreBufSize);
}

void TRestoreEngine::OnProgress(int64_t value)
{
    if (value < 0) {
        FSize = -value;
        FHost.ShowProgress(0);
        FHost.ProcessMessages();
    } else {
        FHost.ShowProgress(
            FSize == 0 ? 0 : static_cast<int>(std::lround(static_cast<double>(value) / FSize * 100)));
    }
}

int TRestoreEngine::RunRestoreThread(std::unique_ptr<TCopyThread> thread, bool withProgress)
{
    thread->SetCopyCreationTime(Options.CreationTime);
    thread->SetOverwrite(true);
    thread->SetResetArchiveBit(Options.ResetArchive);
    if (withProgress)
        thread->SetOnProgress([this](TFileAction, int64_t count, bool) { OnProgress(count); });
    FCopyThread = thread.get();
    if (FPaused)
        thread->SetPaused(true);
    thread->Start();
    WaitForCopyThread(*thread, 0, [this] { FHost.ProcessMessages(); });
    FCopyThread = nullptr;
    return thread->ErrorCode();
}

int TRestoreEngine::RestoreWithPassword(TKind kind, const std::string& source, std::string& destName,
                                        bool encrypted, bool skip)
{
    std::string prompt =
        SafeFormat(_("To restore encrypted file:\r\n%s\r\nrequires a password!"), {ShortenPath(source, 50)});
    for (;;) {
        if (encrypted && FCryptPwd.empty()) {
            std::string pwd;
            TPromptResult answer = FHost.AskPassword(prompt, skip, pwd);
            if (answer == prCancel) {
                FCancelled = true;
                return rrCancelled;
            }
            if (answer == prSkip)
                return rrSkipped;
            if (pwd.empty()) {
                // restored unchanged, as the backup holds it
                encrypted = false;
                destName += ".enc";
                kind = rkPlain;
            } else {
                FCryptPwd = pwd;
                CreateDecryption();
            }
        } else if (encrypted && !FDecryption) {
            CreateDecryption();
        }
        TEncryption* enc = encrypted ? FDecryption.get() : nullptr;
        std::unique_ptr<TCopyThread> thread;
        switch (kind) {
        case rkGunzip:
            thread = std::make_unique<TGUnZipThread>(source, destName, enc, true, RestoreBufSize);
            break;
        case rkUnzip:
            thread = std::make_unique<TUnZipThread>(source, destName, enc, true, RestoreBufSize);
            break;
        case rkPlain:
            thread = std::make_unique<TDecryptThread>(source, destName, enc, true, RestoreBufSize);
            break;
        }
        int result = RunRestoreThread(std::move(thread), true);
        if (encrypted && (result & 0xFF) == 11 && kind != rkUnzip &&
            PasswordFits(source, kind == rkGunzip, FCryptPwd))
            return result; // the password is right: the file is damaged
        if (encrypted && (result & 0xFF) == 11) {
            FCryptPwd.clear();
            prompt = SafeFormat(_("The password entered for\r\n%s\r\nis invalid! Please try again!"),
                                {ShortenPath(source, 50)});
            continue;
        }
        return result;
    }
}

int TRestoreEngine::RestoreFile(const std::string& SourceName, const std::string& DestDir, bool NoCheck,
                                std::string& DestName)
{
    if (!EngineFs::Exists(SourceName, true))
        return rrNotCopied;
    const std::string fileName = EngineFs::ExtractFileName(SourceName);
    TKind kind = rkPlain;
    bool encrypted = false;
    std::string name;
    TGzFileInfo info;
    bool decided = false;
    if (Options.GzUnpack && (EndsWithText(fileName, ".gz") || EndsWithText(fileName, ".gze"))) {
        try {
            if (GetGzFileInfo(SourceName, info)) {
                kind = rkGunzip;
                encrypted = info.Encrypted;
                name = StoredFileName(info.Filename, GetTargetName(fileName, true, false));
                decided = true;
            }
        } catch (const std::exception&) {
        }
    }
    if (!decided && Options.ZipUnpack && EndsWithText(fileName, ".zip")) {
        try {
            if (GetZipFileInfo(SourceName, info) == 0) {
                kind = rkUnzip;
                encrypted = info.Encrypted;
                name = StoredFileName(info.Filename, CutExt(fileName, ".zip"));
                decided = true;
            }
        } catch (const std::exception&) {
        }
    }
    if (!decided) {
        encrypted = EndsWithText(fileName, ".enc");
        name = encrypted ? CutExt(fileName, ".enc") : fileName;
        if (name.empty())
            name = fileName;
    }
    DestName = AddPathDelimiter(DestDir) + name;
    if (!NoCheck && !MayOverwrite(DestName, FileUnixTime(SourceName)))
        return rrNotCopied;
    return RestoreWithPassword(kind, SourceName, DestName, encrypted, false);
}

// --- zip entries

bool TRestoreEngine::OpenZip(const std::string& ZipName, const std::string& Password, int AKeyMode,
                             int BufSize, std::string& message)
{
    CloseZip();
    try {
        FZip = std::make_unique<TZipRead>(ZipName, Password, AKeyMode, BufSize);
        FZip->SetOnProgress([this](TFileAction, int64_t count, bool) { OnProgress(count); });
        return true;
    } catch (const std::exception& e) {
        message = e.what();
        FZip.reset();
        return false;
    }
}

void TRestoreEngine::CloseZip()
{
    FZip.reset();
}

int TRestoreEngine::ExtractEntry(int Index, const std::string& DestFile, std::string& message)
{
    std::string temp;
    uint32_t code = 0;
    int fd = EngineFs::CreateTempBeside(DestFile, temp, code);
    if (fd < 0) {
        message = SystemErrorTextOf(code);
        return EngineError::Create + OpUnzip;
    }
    close(fd);
    int result = 0;
    try {
        FZip->ExtractToFile(Index, temp, Options.ResetArchive);
    } catch (const EZipError& e) {
        result = e.ZipError;
        message = e.SysErrorMsg.empty() ? e.Message() : e.SysErrorMsg;
        // a warning about times or attributes leaves a complete file
        if ((result & 0xF00) == EngineError::SeverityWarning)
            result = 0;
    } catch (const std::exception& e) {
        result = EngineError::Read + OpUnzip;
        message = e.what();
    }
    if (result == 0) {
        EngineFs::SetPartMark(temp, false);
        if (uint32_t rc = EngineFs::RenameFile(temp, DestFile, false)) {
            message = SystemErrorTextOf(rc);
            result = EngineError::Rename + OpUnzip;
        }
    }
    if (result != 0)
        EngineFs::DeleteFile(temp);
    return result;
}

int TRestoreEngine::ExtractEntryWithPassword(int Index, const std::string& Name, const std::string& DestFile,
                                             bool skip, std::string& message)
{
    const bool encrypted = FZip->IsEncrypted(Index);
    std::string prompt =
        SafeFormat(_("To restore encrypted file:\r\n%s\r\nrequires a password!"), {ShortenPath(Name, 50)});
    const TPkHeader* h = FZip->Directory().Objects(Index);
    for (;;) {
        if (encrypted) {
            if (FCryptPwd.empty()) {
                std::string pwd;
                TPromptResult answer = FHost.AskPassword(prompt, skip, pwd);
                if (answer == prCancel) {
                    FCancelled = true;
                    return rrCancelled;
                }
                if (answer == prSkip)
                    return rrSkipped;
                FCryptPwd = pwd;
            }
            FZip->InitEncryption(FCryptPwd, h->EncMode);
        }
        int result = ExtractEntry(Index, DestFile, message);
        if (encrypted && (result & 0xFF) == 11) {
            FCryptPwd.clear();
            prompt = SafeFormat(_("The password entered for\r\n%s\r\nis invalid! Please try again!"),
                                {ShortenPath(Name, 50)});
            continue;
        }
        return result;
    }
}

int TRestoreEngine::RestoreZipEntry(int Index, const std::string& Name, bool NoCheck,
                                    const std::string& DestFile, bool Skip)
{
    if (!FZip || Index < 0 || Index >= FZip->Directory().Count())
        return EngineError::NotFound + OpUnzip;
    if (!IsBelowFolder(EngineFs::ExtractFilePath(DestFile), DestFile))
        return EngineError::Create + OpUnzip;
    XlForceDirectories(EngineFs::ExtractFilePath(DestFile));
    const TPkHeader* h = FZip->Directory().Objects(Index);
    if (!NoCheck && !MayOverwrite(DestFile, DosTimeToUnixTime(h->TimeStamp)))
        return rrNotCopied;
    std::string message;
    return ExtractEntryWithPassword(Index, Name, DestFile, Skip, message);
}

// --- opening a file

int TRestoreEngine::OpenFile(const std::string& Item, std::string& FileName)
{
    std::string archive = Item, inner;
    FileName.clear();
    if (SplitOpenPath(archive, inner)) {
        std::string message;
        if (!OpenZip(archive, "", 0, RestoreBufSize, message)) {
            FHost.ShowError(message);
            return rrNothing;
        }
        int result = rrNothing;
        try {
            FZip->ReadDirectory();
            if (!inner.empty()) {
                int index = FZip->Directory().IndexOf(inner);
                if (index >= 0) {
                    FileName = AddPathDelimiter(QvTempDir) + EngineFs::ExtractFileName(FZip->Filename(index));
                    result = RestoreZipEntry(index, inner, true, FileName);
                }
            } else {
                int count = FZip->Directory().Count();
                if (count == 1) {
                    FileName = AddPathDelimiter(QvTempDir) + EngineFs::ExtractFileName(FZip->Filename(0));
                    result = RestoreZipEntry(0, FZip->Filename(0), true, FileName);
                } else {
                    FHost.ShowInfo(archive + ": " + FileCountText(count, false));
                }
            }
        } catch (const EZipError& e) {
            result = e.ZipError;
            FHost.ShowError(FormatFileError(static_cast<unsigned>(e.ZipError), archive, e.SysErrorMsg));
            CloseZip();
            return rrNothing;
        }
        CloseZip();
        if (IsErrorWord(result))
            FHost.ShowError(FormatFileError(static_cast<unsigned>(result), Item, ""));
        FCryptPwd.clear();
        return result;
    }
    int result = RestoreFile(Item, QvTempDir, true, FileName);
    if (IsErrorWord(result))
        FHost.ShowError(FormatFileError(static_cast<unsigned>(result), Item, ""));
    FCryptPwd.clear();
    return result;
}
