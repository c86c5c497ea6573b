#pragma once
// The restore engine of the restore program: one backup file or zip entry at a time, with the
// overwrite rule, the password prompt and its retry, one worker thread of the copy engine, pause and
// stop, the counters, the error list and the run log; and the runs built on it: selected files, whole
// folders (with security copies), files from schedule, and zip archives listed into a transfer list.
//
// The engine works on the thread that calls it (the window's thread under the window). While a worker
// runs, it serves the worker's Synchronize calls and lets the host process its events, so that pause
// and stop (which may be called from those events) take effect. Everything it asks or shows goes
// through IRestoreHost.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "foundation/TextFilter.h"
#include "rtl/DateTime.h"
#include "rtl/StringList.h"
#include "tools/QvFileList.h"

class TCopyThread;
class TEncryption;
class TZipRead;

// Results of RestoreFile and RestoreZipEntry besides 0 (restored) and a positive error word.
constexpr int rrNothing = -1;   // nothing was attempted
constexpr int rrCancelled = -2; // the password prompt was cancelled: the run ends
constexpr int rrNotCopied = -3; // the destination may not be overwritten, or the backup file is missing
constexpr int rrSkipped = -4;   // Skip at the password prompt: the file is left out and not counted

// The operation bits of an error word for reading a zip entry ("-> Unzip").
constexpr int OpUnzip = 0x7000;

enum TPromptResult
{
    prOk,
    prCancel,
    prSkip
};

// Where the engine's questions, messages and progress go. Message texts are complete; the host
// chooses where to show them.
class IRestoreHost
{
public:
    virtual ~IRestoreHost() = default;
    // Asks for a password (Skip offered when skip is set).
    virtual TPromptResult AskPassword(const std::string& prompt, bool skip, std::string& pwd) = 0;
    virtual bool Confirm(const std::string& text) = 0;
    virtual void ShowError(const std::string& text) = 0;
    virtual void ShowInfo(const std::string& text) = 0;
    // The end of a run with errors: the summary and the error lines.
    virtual void ShowDetails(const std::string& info, const TStringList& details) = 0;
    virtual void ShowFileLabel(const std::string& /*text*/) {}
    virtual void ShowCountLabel(const std::string& /*text*/) {}
    // 0 to 100; -1 runs the bar continuously, -2 returns it to normal.
    virtual void ShowProgress(int /*percent*/) {}
    // Lets the host handle its pending events (pause, stop, repaint).
    virtual void ProcessMessages() {}
    // The status window of scans.
    virtual void StatusOpen(const std::string& /*title*/) {}
    virtual void StatusText(const std::string& /*line1*/, const std::string& /*line2*/) {}
    virtual bool StatusCancelled() { return false; }
    virtual void StatusClose() {}
    virtual void ShowPreview(const std::string& /*title*/, const std::string& /*base*/,
                             const std::string& /*hint*/, bool /*notEmptyOnly*/, const TStringList& /*lines*/)
    {
    }
};

enum TOverwriteMode
{
    omOlder,  // "Only older"
    omAlways, // "Always"
    omNever   // "Never"
};

enum TBakMode
{
    bmIgnore,
    bmExclude,
    bmInclude
};

struct TRestoreOptions
{
    TOverwriteMode Overwrite = omOlder;
    int DeltaTime = 2;      // tolerance of "Only older" in seconds
    bool DstIgnore = false; // "Only older" ignores a difference of one hour
    bool Protected = true;  // "Overwrite write-protected files"
    bool ResetArchive = false;
    bool CreationTime = false;
    bool GzUnpack = false;  // "gz/gze"
    bool ZipUnpack = false; // "zip files"
    bool SubDirs = true;
    bool EmptyDirs = false;
    TBakMode BakMode = bmIgnore;
    std::string BakSuffix = "bak-#";
    TDateTime BakDate = 0;
    // files from schedule
    std::string SubDirMask = "*.*";
    std::string DriveId;
    TDateTime RestoreDate = 0;
    // zip page
    bool ZipDirMode = false; // "Zip archives per directory"
};

// The buffer of the restore workers and of the zip readers that restore single entries.
constexpr int RestoreBufSize = 512 * 1024;
// The buffer of the zip readers that list archives.
constexpr int ZipListBufSize = 4 * 1024 * 1024;

class TPkHeader;
// Whether a zip entry is a folder: by its stored name ending in a delimiter or its folder attribute
// (an empty file is no folder).
bool IsFolderEntry(const TPkHeader& Header);

// The destination name of a backup file by its name alone: without ".gz"/".gze" (gz/gze unpacking),
// ".zip" (zip unpacking) or ".enc"; otherwise the name.
std::string GetTargetName(const std::string& Name, bool GzUnpack, bool ZipUnpack);
// The security-copy mask of a suffix: "*." + the part before "#" + "*", or the suffix itself.
std::string SecurityCopyMask(const std::string& Suffix);

class TRestoreEngine
{
public:
    explicit TRestoreEngine(IRestoreHost& host);
    ~TRestoreEngine();
    TRestoreEngine(const TRestoreEngine&) = delete;
    TRestoreEngine& operator=(const TRestoreEngine&) = delete;

    TRestoreOptions Options;
    TTextFilter FileFilter{true};
    std::string Target;    // destination folder
    std::string QvTempDir; // where opened files go
    std::string Caption;   // the window caption, title of the password prompt
    std::string ProgramHeader;

    // --- state of a run
    bool Restoring() const { return FRestoring; }
    bool Paused() const { return FPaused; }
    void SetRestoring(bool active);
    void SetPaused(bool paused);
    // Stop: ends the run after the current file and cancels the running worker or extraction.
    void Stop();
    const std::string& CryptPwd() const { return FCryptPwd; }
    void ClearCryptPwd() { FCryptPwd.clear(); }
    TStringList& ErrorList() { return FErrorList; }
    TStringList& LogList() { return FLogList; }
    // Starts the log of a run: the header line and the start time.
    void StartLog(TDateTime now);
    // Writes the run log to FileName, replacing it; false when it cannot be written.
    bool SaveLog(const std::string& FileName) const;

    // --- single files
    bool MayOverwrite(const std::string& DestName, int64_t SourceTime);
    // Restores one backup file into DestDir; NoCheck skips the overwrite rule.
    int RestoreFile(const std::string& SourceName, const std::string& DestDir, bool NoCheck,
                    std::string& DestName);
    // Extracts entry Index of the open reader to DestFile.
    int RestoreZipEntry(int Index, const std::string& Name, bool NoCheck, const std::string& DestFile,
                        bool Skip = false);
    // Opens a file for viewing: extracts or restores it into QvTempDir; 0 with the file's name, a
    // result code, or rrNothing (with a message shown) when nothing could be opened.
    int OpenFile(const std::string& Item, std::string& FileName);

    // --- directory page
    // Restores the given files (full paths; inside a zip archive: archive path + "/" + member).
    void RestoreSelectedFiles(const std::string& Folder, const std::vector<std::string>& Items);
    void RestoreDirectory(const std::string& Folder);
    bool DeleteEmptyDirectories(const std::string& Base, const std::string& Sub);
    // The whole-folder preview; false when the folder is missing.
    bool PreviewDirectory(const std::string& Folder, TStringList& Lines, std::string& Summary);
    // Files from schedule: a restore, or (PreviewOnly) the preview.
    void ScanScheduleBackups(const std::string& Folder, bool PreviewOnly);

    // --- zip page
    TFileTransferList ZipFileList;
    int KeyMode = 0;
    // Lists the archive (or, in per-directory mode, the archives) named by FileName (may hold wildcards).
    bool ScanZipArchive(const std::string& FileName);
    void SelectNewestVersions();
    void RestoreFromZip();
    // Extracts entry Index of the list to QvTempDir; the file's name.
    bool ExtractZipEntryToTemp(int Index, std::string& FileName);

    // Counters of the last run.
    int Matched = 0, Restored = 0, Errors = 0;

private:
    enum TKind
    {
        rkPlain,
        rkGunzip,
        rkUnzip
    };
    struct TCandidate
    {
        std::string Source;
        bool Compressed = false, Zip = false, Encrypted = false;
        TDateTime Time = 0;
        int64_t Size = 0;
    };
    using TCandidates = std::vector<std::pair<std::string, TCandidate>>;

    void CreateDecryption();
    int RunRestoreThread(std::unique_ptr<TCopyThread> thread, bool withProgress);
    void OnProgress(int64_t value);
    // The password loop around one file: asks when needed, runs the worker, asks again on a wrong
    // password. encrypted may be cleared (an empty password restores the file unchanged, and DestName
    // gets ".enc").
    int RestoreWithPassword(TKind kind, const std::string& source, std::string& destName, bool encrypted,
                            bool skip);
    // Extracts an entry of the open reader to a temporary file beside DestFile and puts it in place
    // only when complete: a failure never leaves a partial file, nor touches an existing one.
    int ExtractEntry(int Index, const std::string& DestFile, std::string& message);
    int ExtractEntryWithPassword(int Index, const std::string& Name, const std::string& DestFile, bool skip,
                                 std::string& message);
    bool OpenZip(const std::string& ZipName, const std::string& Password, int AKeyMode, int BufSize,
                 std::string& message);
    void CloseZip();
    void WaitWhilePaused();
    void EndRun(const std::string& countText, bool withLogLine, int handled);
    void AddError(const std::string& head, const std::string& text);

    // whole folders
    void RestoreTree(const std::string& SourceRoot, const std::string& DestRoot, const std::string& SubPath,
                     TDateTime limit, const std::string& mask);
    void CollectFolder(const std::string& dir, TDateTime limit, const std::string& mask, bool filterOwnName,
                       TCandidates& list);
    void RestoreZipFolder(const std::string& ZipName, const std::string& SubPath, const std::string& DestDir);
    void ScanDirectoryForRestore(const std::string& Root, const std::string& Sub, TDateTime limit,
                                 const std::string& mask, TStringList& lines, int64_t& total);
    // schedule
    void ScanScheduleFolder(const std::string& Base, const std::string& Rel, TDateTime limit,
                            TCandidates& list);
    // zip listing
    int GetZipNamePassword(const std::string& Dir, const std::string& Name);
    bool ReadZipDirectory(const std::string& ZipName, const std::string& GivenName);
    void ListZipArchive(const std::string& Dir, const std::string& Name, int& Count);
    void ListZipDirectory(const std::string& Root, const std::string& Name, int& Count,
                          const std::string& Rel);

    IRestoreHost& FHost;
    bool FRestoring = false;
    bool FPaused = false;
    bool FCancelled = false; // Cancel at a password prompt
    std::string FCryptPwd;
    std::unique_ptr<TEncryption> FDecryption;
    TCopyThread* FCopyThread = nullptr;
    std::unique_ptr<TZipRead> FZip;
    int64_t FSize = 0;
    TStringList FErrorList;
    TStringList FLogList;
};
