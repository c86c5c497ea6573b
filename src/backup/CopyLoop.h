#pragma once
// The copy loop of a backup run: walks one source folder and its sub-folders, selects the files,
// compares each with its copy at the destination and copies it through a copy thread. At most one
// copy thread runs; the loop examines the next files while it works and completes it before the next
// copy starts. Replaced files can be kept as older versions.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "archive/ExtFileTools.h"
#include "backup/BackupRun.h"
#include "backup/CopyThreadRunner.h"
#include "backup/EngineFileOps.h"
#include "backup/FileSelection.h"
#include "backup/StatAhead.h"
#include "backup/TaskSettings.h"
#include "backup/ZipRun.h"
#include "foundation/FileUtilsTimes.h"

class TEncryption;
class TExtFtp;

// An entry of a source folder as the folder lists it: its name and kind (DT_*).
struct TFolderEntry
{
    std::string Name;
    unsigned char Type;
};

// The copy waiting to be completed.
struct TCopyProps
{
    std::string SName; // source path
    std::string RName; // path the file is read from
    std::string DName; // destination path without the format extension
    std::string EName; // destination path with the format extension
    std::string TName; // path the copy is written to
    std::string DDir;
    std::string ErrMsg;
    std::string RelName; // source path relative to the folder's base
    TPosixFileData SInfo;
    TFileTimestamps Timestamps;
    bool DExist = false;
    // Something other than a file holds the destination name (the copy of a folder that became this
    // file, or a link): it goes once the new copy is made.
    bool InTheWay = false;
    bool Valid = false;
    bool Compressed = false;
    FILETIME LwTime = 0;
    int CRatio = -1;
};

class TCopyLoop
{
public:
    TCopyLoop(const TTaskSettings& task, TTaskLog& log, TRunControl& control, IProgressSink& progress,
              IInteraction& interaction);
    ~TCopyLoop();
    TCopyLoop(const TCopyLoop&) = delete;
    TCopyLoop& operator=(const TCopyLoop&) = delete;

    // --- run-wide values, set by the run before the first folder
    std::string BaseDir; // the run's destination root
    std::string TempDir;
    std::string BakSuffix = "bak"; // the program's default suffix of older versions
    TSelectionContext Selection;
    TDateTime StartTime = 0;
    TEncryption* Encryption = nullptr;
    bool DelTemp = true;
    bool SizeProgress = false;
    int MaxWaitTime = 5;
    int CopyPriority = 3;
    int TimeOutCount = 5;
    int64_t TotalSize = 0;
    TBuStatus BuStatus = bsOK;
    TEngineFileOps Ops;
    // Starts, waits for and watches the copy threads; its settings come from the task.
    TCopyThreadRunner Runner;
    TFileSystem SourceType = fsNotAvail; // file system of the source, for permissions
    // Makes the encryption object of a run that encrypts single files. A copy thread given up at its
    // time-out keeps the object it was lent, and the loop makes a new one for the next file.
    std::function<std::unique_ptr<TEncryption>()> MakeEncryption;

    // --- replaceable for tests: the copy thread of a file and the free space of a folder's volume
    std::function<std::unique_ptr<TCopyThread>(const TCopyProps& cp, const TCopyOptions& options)>
        MakeCopyThread;
    std::function<uint64_t(const std::string& dir)> DiskFreeBytes;
    // Called where a finished copy is being put in place: "rotated" after each older version moved on,
    // "placing" before the copy takes its final name (tests stop a run there).
    std::function<void(const char* step)> OnStep;
    // The zip archives of methods 4 to 7.
    TZipRun Zip;
    // The run's connection when the destination is an FTP server, the run's server folder (nothing
    // above or outside it is ever deleted), and what makes a new connection after a worker was given
    // up with the old one.
    TExtFtp* Ftp = nullptr;
    std::string FtpRoot;
    std::function<TExtFtp*()> RenewFtp;

    // Backs up one source-folder entry into destDir.
    // srcDir is the folder to read (the entry's SPath unless the run resolved it elsewhere).
    void BackupEntry(TExtensionList& list, const std::string& srcDir, const std::string& destDir, bool prompt,
                     TFolderCounters& counters);
    TFileSystem TargetType = fsNotAvail; // file system of the destination
    // One folder and everything below it.
    void BackupDirectory(const std::string& srcBase, const std::string& destBase, const std::string& relDir,
                         TFileTimestamps dirTimestamps, uint32_t dirAttr, bool parentIncluded, bool prompt,
                         TFolderCounters& c, TExtensionList& list);

    // The synchronisation of one source-folder entry's destination (local destinations).
    bool SynchronizeEntry(TExtensionList& list, const std::string& srcDir, const std::string& destDir,
                          bool prompt, TFolderCounters& counters);

    // Copy options and their letters for the log.
    TCopyOptions LocalCopyOptions(bool compressed) const;
    std::string CopyOptionLetters(bool compressed) const;
    // The plain size of a stored destination file (0 when unreadable).
    int64_t GetStoredPlainSize(const std::string& path, bool compressed, int64_t size) const;
    // The name of version k (k = 0: the single version) of destination file eName in folder dDir.
    std::string VersionName(const std::string& destBase, const std::string& dDir, const std::string& dName,
                            const std::string& eName, FILETIME lwTime, int k) const;
    std::string VersionFolder(const std::string& destBase, const std::string& dDir) const;
    // Only when the task's encryption setting changed: whether the single-file zip at path is encrypted
    // otherwise than this run encrypts.
    bool ZipEncryptionDiffers(const std::string& path) const;

private:
    // What the loop knows of one destination folder: the names in it, read once, so that missing
    // files need no look-up of their own.
    struct TDestListing
    {
        TDestListing() = default;
        TDestListing(const TDestListing&) = delete;
        TDestListing& operator=(const TDestListing&) = delete;
        ~TDestListing() { Close(); }
        void Close();
        int Fd() const; // the open folder, for look-ups relative to it
        std::string Dir;
        bool Loaded = false;
        bool Exists = false;
        std::unordered_set<std::string> Names;
        void* Handle = nullptr; // DIR*
        // the helper's job that reads the statuses of this folder's files ahead (stopped on Close)
        TStatAhead* Ahead = nullptr;
        uint64_t AheadJob = 0;
        bool Has(const std::string& name) const { return Exists && Names.count(name) != 0; }
    };
    struct TFolderState
    {
        std::string SrcBase;
        std::string DestBase;
        std::string RelDir;
        std::string SrcDir;
        bool Prompt = false;
        bool ArchiveKept = false;
        TDestListing Dest;
        // The names in the versions folder of the last replaced file, read once.
        std::string VersionDir;
        bool VersionListed = false;
        std::unordered_set<std::string> VersionNames;
        // The source folder's entries, and the destination names its files are backed up under (made
        // when first asked for): a name the program would use for itself that is the backup of a user's
        // file is never deleted, renamed or overwritten as the program's own.
        const std::vector<TFolderEntry>* Entries = nullptr;
        bool ClaimedBuilt = false;
        std::unordered_map<std::string, std::string> Claimed; // destination name -> source name
        // The folder's destination, its source folder's attributes and times, and how it was selected.
        std::string DestDir;
        TFileTimestamps DirTimestamps;
        uint32_t DirAttr = 0;
        bool ParentIncluded = false;
        bool Selected = false;
        // The entries of the source folder, read once for the sub-folders and the files.
        std::vector<TFolderEntry> EntryList;
        bool EntriesRead = false;
        // Files added to the folder's archive, and the copy waiting to be completed.
        int ZipAdded = 0;
        TCopyProps Pending;
        // FTP: the server folder the call began in, the folder's own server folder, and whether it
        // was entered.
        std::string FtpPrevDir;
        std::string FtpDir;
        bool FtpEntered = false;
    };
    // What the file pass of a folder works out once for all its files.
    struct TFilePass
    {
        int Level = 0;
        bool NamesFold = false;
        bool NeedArchive = false;
        bool NeedTimes = false;
        bool NoneSelected = false;
        std::string TimestampName;
        int FolderFd = -1;
        uint64_t AheadJob = 0; // the helper's job reading the destination statuses ahead
    };
    // One source file of the pass.
    struct TPassFile
    {
        size_t Index = 0;
        std::string Name;
        std::string N; // the name as the task changes it
        std::string RelName;
        std::string Ext;
        std::string SourcePath;
        TPosixFileData Data;
        bool ArchiveSet = false;
        bool Compressed = false;
    };
    // A source file compared with its copy in a destination folder.
    struct TFileCompare
    {
        std::string FormExt; // the extension of the stored form
        std::string DName;   // destination path without it
        std::string Target;  // destination path with it
        TPosixFileData Dest;
        bool DExist = false;
        bool InTheWay = false;
        FILETIME LwTime = 0;
        bool Copy = false;
        int Action = 1;     // 4 too large for the destination, 5 attributes differ
        int Comparison = 0; // 1 times, 3 sizes, 4 archive bit
    };
    // What the file pass does after a file.
    enum TFileStep : int
    {
        fsNextFile,
        fsEndPass,
        fsLeaveFolder
    };
    // The steps of BackupDirectory. SelectFolder and WalkSubFolders return false when the call ends.
    bool SelectFolder(TFolderState& fs, const std::string& junctionParent, TFolderCounters& c,
                      TExtensionList& list);
    bool WalkSubFolders(TFolderState& fs, TFolderCounters& c, TExtensionList& list);
    // Whether the folder's files are examined (opens a per-folder archive).
    bool PrepareFilePass(TFolderState& fs, TFolderCounters& c, const TExtensionList& list);
    // false when the call ends at once (stopped).
    bool RunFilePass(TFolderState& fs, TFolderCounters& c, TExtensionList& list);
    void StartStatAhead(TFilePass& pass, TFolderState& fs);
    void StopAhead(TFilePass& pass);
    void ReadArchiveBit(const TFilePass& pass, TPassFile& f);
    TFileStep ExamineFile(TFilePass& pass, TFolderState& fs, size_t index, TFolderCounters& c,
                          TExtensionList& list);
    TFileStep BackupFileToZip(const TFilePass& pass, TPassFile& f, TFolderState& fs, TFolderCounters& c);
    TFileStep BackupFileToFolder(TFilePass& pass, TPassFile& f, TFolderState& fs, TFolderCounters& c);
    void CompareWithCopy(const TFilePass& pass, const TPassFile& f, TFolderState& fs, TFileCompare& cmp);
    TFileStep CopyFileToFolder(TFilePass& pass, TPassFile& f, TFolderState& fs, const TFileCompare& cmp,
                               TFolderCounters& c);
    void FileIsUpToDate(TFilePass& pass, const TPassFile& f, TFolderState& fs, const TFileCompare& cmp,
                        TFolderCounters& c);
    // End of the folder: the pending copy, the archive bit of the source folder, the destination
    // folder's attributes and times (or its removal), the emptied source folder. false when stopped.
    bool FinishFolder(TFolderState& fs, TFolderCounters& c);
    void ResetFolderArchiveBit(const TFolderState& fs, TFolderCounters& c);
    void FinishDestinationFolder(const TFolderState& fs);
    void DeleteEmptiedSourceFolder(const TFolderState& fs);
    void UpdateTotalAmount(const TFolderCounters& c);
    // The FTP branch of the steps (CopyLoopFtp.cpp). EnterFtpFolder returns false when the connection
    // is lost (the run stops); ReadFtpFolder false when the folder cannot be listed.
    bool EnterFtpFolder(TFolderState& fs, TFolderCounters& c);
    void LeaveFtpFolder(TFolderState& fs, TFolderCounters& c);
    bool ReadFtpFolder(TFolderState& fs, TFolderCounters& c);
    TFileStep BackupFileToFtp(const TFilePass& pass, TPassFile& f, TFolderState& fs, TFolderCounters& c);
    void FtpFileIsUpToDate(const TFilePass& pass, const TPassFile& f, int code, TDateTime serverTime,
                           TFolderCounters& c);
    // The error word of uploading f into server folder curFtp under name u (one retry after the server
    // closed the connection).
    int UploadFile(const TPassFile& f, const std::string& curFtp, const std::string& u, TCopyProps& cp);
    bool KeepFtpVersion(TCopyProps& cp, const TPassFile& f);
    std::string FtpUploadName(const std::string& d) const;

public:
    // Uploads a finished local zip archive with its segments into the server folder ftpDir under destName
    // (the uploader of the zip archives, TZipUploader).
    int UploadZipToFtp(const std::string& zipFile, const std::string& ftpDir, const std::string& destName,
                       int& segments, int64_t& size, bool deleteLocal);

private:
    // Whether a server name (relative to the current folder, or absolute) may be deleted or renamed over.
    bool FtpMayDestroy(const std::string& name);
    bool FtpDelete(const std::string& name);
    // The destination name (without folder) of source file name: its name as changed by the task and
    // the extension of its stored form; compressed tells whether it is compressed.
    std::string DestNameOf(const std::string& name, bool& compressed) const;
    // Whether the task maps a file's name to another destination name (case, characters, stored form).
    bool NamesMayFold() const;
    const std::unordered_map<std::string, std::string>& ClaimedNames(TFolderState& fs) const;
    // Whether destination name (in the folder of the copies) is the backup of a source file of the
    // folder other than source; reported as a collision (error, counted) when it is.
    bool ClaimedByOther(TFolderState& fs, const std::string& name, const std::string& source,
                        const std::string& what);
    std::string TempNameFor(const std::string& target);
    void LoadDestListing(TFolderState& fs, const std::string& destDir);
    void RemoveStaleParts(TFolderState& fs);
    void PruneOldVersions(TFolderState& fs, const std::string& destDir, const std::string& n,
                          const std::string& formExt, const std::string& sourceName);
    void SetParentTimestamps(const std::string& destDir, const std::string& srcDir);
    bool CopyFileItems(TCopyProps& cp, int& kind);
    bool SourceHasPermissions() const;
    void RenewEncryption();
    uint64_t FreeBytes(const std::string& dir) const;
    // Waits for the pending copy and puts it in place; what became of the file (CopyOutcome kinds or
    // the error word of the failure).
    int CompletePendingCopy(TCopyProps& cp, TFolderState& fs);
    // What the folder pass does after a file: go on, stop (the run was stopped or the destination is
    // full), or copy the file again (onto the new medium the user inserted).
    enum TAfterFile : int
    {
        afGoOn,
        afStop,
        afCopyAgain
    };
    // Counts and logs what became of a file (kind: as CompletePendingCopy returns it).
    TAfterFile FinishFileCopy(int kind, TCopyProps& cp, TFolderState& fs, TFolderCounters& c);
    // inPlace: the replaced file became the version through a second name and stays under its own
    // until the new copy replaces it in one step.
    bool KeepVersion(TCopyProps& cp, TFolderState& fs, bool& inPlace);
    void StartCopy(TCopyProps& cp);
    // Moves what holds a destination name aside under a hidden name of this run; the hidden name, or
    // empty when it could not be moved (logged).
    std::string MoveAside(const std::string& path);
    // Deletes what MoveAside moved (a folder with everything in it).
    void DeleteAside(const std::string& aside);
    // A file (or link) at the place of destination folder dir goes, so that the folder can be made.
    bool MakeWayForFolder(const std::string& dir);
    bool FileDelete(const std::string& name);
    bool FileRename(const std::string& dir, const std::string& oldName, const std::string& newName);
    void ShowRunProgress(const TFolderCounters& c);
    // The run's destination folders (by device and inode), which a walk over a source that holds
    // them passes over.
    void RememberDestinationFolders(const std::string& destBase);
    bool IsDestinationFolder(const std::string& path, const TPosixFileData& data) const;
    void WriteStatusLine(const TFolderCounters& c);
    std::string DestFormExt(bool compressed) const;

    const TTaskSettings& FTask;
    TTaskLog& FLog;
    TRunControl& FControl;
    IProgressSink& FProgress;
    IInteraction& FInteraction;
    std::unique_ptr<TCopyThread> FCopyThread;
    // reads destination statuses ahead of the file pass; made on first use
    std::unique_ptr<TStatAhead> FStatAhead;
    std::unique_ptr<TEncryption> FOwnedEncryption;
    std::string FCurDir;
    // Eight hexadecimal digits of this loop's own, in the names of its temporary copies, so that two
    // runs writing to one destination never share one.
    std::string FRunTag;
    // Collisions counted by ClaimedByOther since the folder's counters last took them.
    int FCollisions = 0;
    std::vector<std::pair<dev_t, ino_t>> FDestFolders;
    std::vector<std::string> FDestPaths;
    // The folder that links below the current folder are tested against (see LinkInfo.h).
    std::string FJunctionRoot;
};

// Hooks a copy loop into the run frame: each source folder of the engine's task is backed up by loop,
// which must have been made on the engine's task and log.
void AttachCopyLoop(TBackupEngine& engine, TCopyLoop& loop);
