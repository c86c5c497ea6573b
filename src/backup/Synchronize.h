#pragma once
// Synchronisation of a destination with its source folder: files and folders that are at the
// destination but no longer at the source are deleted, moved to the trash, or kept under new names as
// sync copies. Older versions that the backup keeps (security copies) are recognised and spared.
//
// A destination file stands for the source file whose name is derived from it: ".zip", ".gz", ".gze"
// and ".enc" are the forms in which the backup stores files, and a security-copy suffix names an older
// version of the file without it.
//
// Nothing is deleted when the source cannot be trusted: a source folder that is missing, cannot be
// read, or is empty while its destination is not (an unmounted drive shows an empty mount folder) ends
// the walk at once, and a source file whose absence cannot be told for sure keeps its copy.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "backup/BackupRun.h"
#include "backup/EngineFileOps.h"
#include "backup/EngineInterfaces.h"
#include "backup/ExtensionList.h"
#include "backup/FileSelection.h"
#include "backup/TaskLog.h"
#include "backup/TaskSettings.h"
#include "platform/FileStatus.h"

class TExtFtp;

class TSynchronizer
{
public:
    TSynchronizer(const TTaskSettings& task, TTaskLog& log, TRunControl& control, IProgressSink& progress,
                  IInteraction& interaction, TEngineFileOps& ops);

    // --- run-wide values
    std::string BaseDir; // the run's destination root
    TFileSystem TargetType = fsNotAvail;
    bool Encrypt = false; // the run encrypts single files
    TSelectionContext Selection;
    std::string SyncSuffix = "sync"; // program setting: name of the sync-copy folder after its prefix
    std::string BakSuffix = "bak";   // program setting: suffix of older versions when the task has none

    // The synchronisation step of one source-folder entry with a local destination: checks the
    // source, writes the frame lines, counts the files when the entry has no count yet, walks the
    // destination and adds to the counters (DeletedCount, SyncFailed, ErrorCount). True without errors.
    bool SyncLocalFolder(TExtensionList& list, const std::string& srcDir, const std::string& destDir,
                         bool prompt, TFolderCounters& counters);

    // The same with an FTP destination: destDir is the source folder's server folder on the run's
    // connection ftp, below the run's server folder ftpRoot, outside which nothing is deleted.
    bool SyncFtpFolder(TExtFtp& ftp, const std::string& ftpRoot, TExtensionList& list,
                       const std::string& srcDir, const std::string& destDir, bool prompt,
                       TFolderCounters& counters);
    // Adds the number of destination files the walk will examine to list.SyncCount.
    void CountSyncFiles(const std::string& src, const std::string& dest, TExtensionList& list,
                        const std::string& sub);
    // The walk of dest + sub. True when no error occurred.
    bool SyncLocalDestination(const std::string& src, const std::string& dest, TExtensionList& list,
                              int& examined, int& deleted, bool deleteAll, bool selected,
                              const std::string& sub);

    // --- file services of the run
    static bool IsRegularFile(const std::string& path);
    bool FileDelete(const std::string& dir, const std::string& fileName);
    bool FileDelete(const std::string& fileName) { return FileDelete(std::string(), fileName); }
    // 0 moved; > 0 the move failed (eCnt + 1); < 0 only the attributes could not be set (wCnt + 1).
    int FileRename(const std::string& dir, const std::string& u, const std::string& s, int& eCnt, int& wCnt);
    int FileRename(const std::string& u, const std::string& s, int& eCnt, int& wCnt)
    {
        return FileRename(std::string(), u, s, eCnt, wCnt);
    }
    // Deletes the files of path matching mask whose time stamp is older than date.
    void DeleteOldFiles(const std::string& path, const std::string& mask, TDateTime date);

    // A source folder that cannot be trusted for deletions: 0 when it can, else the reason as a
    // Windows-style code (2/3 missing, 5 no access ...); empty is set when it holds nothing while the
    // destination holds files or folders.
    uint32_t CheckSource(const std::string& srcDir, const std::string& destDir, bool& empty) const;
    // Logs (and with prompt shows) why srcDir's destination is not synchronised: the error code, or an
    // empty source folder when code is 0; counts the error and returns false.
    bool RefuseSync(const std::string& srcDir, uint32_t code, bool prompt, TFolderCounters& counters);

private:
    struct TDestFile
    {
        std::string Name;       // the name at the destination
        std::string Plain;      // the name without the storage extension
        std::string MarkExt;    // the storage extension as found (".zip", ".gz", ".gze", ".enc" or empty)
        std::string Derived;    // the name of the source file it stands for
        std::string SourcePath; // empty when no source file was looked at
        bool Zip = false;
        bool Gzip = false;
        bool Enc = false;
        bool SuffixRemoved = false; // Derived is Plain without a security-copy suffix
        bool NotSelected = false;
    };
    enum TSourceState
    {
        ssMissing,
        ssExists,
        ssUnknown
    };
    TSourceState SourceFileState(const std::string& path) const;
    TSourceState SourceFolderState(const std::string& path) const;
    // The source file that the destination name stands for in folder (which ends with a delimiter):
    // folder + name, or, while file names are changed to lower or upper case at the destination, the
    // file of the folder whose changed name it is.
    std::string SourceFilePath(const std::string& folder, const std::string& name) const;
    void DeriveSourceName(const std::string& folder, const std::string& name, bool readStored,
                          TDestFile& f) const;
    bool FileGoes(const std::string& src, const std::string& sub, TExtensionList& list, bool deleteAll,
                  TDestFile& f, bool& unknown) const;
    std::string SyncFolderName() const;
    bool SyncFtpDestination(const std::string& src, const std::string& dest, TExtensionList& list,
                            int& examined, int& deleted, const std::string& sub);
    bool FtpInsideRoot(const std::string& path) const;
    TExtFtp* FFtp = nullptr;
    std::string FFtpRoot;
    std::string SyncTargetFolder(const std::string& dest, const std::string& sub, const std::string& c) const;
    bool KeepSyncCopy(const std::string& dest, const std::string& sub, const std::string& c,
                      const std::string& path, const TDestFile& f, const TPosixFileData& data, int& deleted,
                      bool& gone);
    bool DeleteDestFile(const std::string& dest, const std::string& sub, const std::string& c,
                        const std::string& path, const TDestFile& f, int& deleted);
    void DeleteOlderVersions(const std::string& dest, const std::string& sub, const std::string& c,
                             const TDestFile& f);
    std::vector<std::string> SecurityFolders(const std::string& dest, const std::string& sub,
                                             const std::string& c) const;
    bool RemoveExtraFolder(const std::string& dest, const std::string& sub, const std::string& c,
                           const std::string& name, const TPosixFileData& data, int& examined, int& deleted);
    bool IsSecurityFolderName(const std::string& name) const;
    void ShowDeleted(int deleted);
    std::string Relative(const std::string& dest, const std::string& path) const;

    const TTaskSettings& FTask;
    TTaskLog& FLog;
    TRunControl& FControl;
    IProgressSink& FProgress;
    IInteraction& FInteraction;
    TEngineFileOps& FOps;
    // Per source folder: the file names as the destination writes them -> the names in the folder.
    mutable std::map<std::string, std::map<std::string, std::string>> FChangedNames;
};
