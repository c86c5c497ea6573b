#pragma once
// The zip archives of a backup run.
//
// Methods 4 and 5 write one archive for the whole run or one per source folder: the run opens it
// before the copy loop walks the folder and finishes it after the folder (method 5) or at the end of
// the run (method 4). Methods 6 and 7 write one archive per folder, opened and finished by the copy
// loop. Every archive is built under a temporary name beside its final name and renamed into place
// only when it was written (and verified) completely; a failed archive is deleted and an archive of
// the same name from an earlier run stays as it was.
//
// For a server destination every archive is built in the program's temporary folder and uploaded when
// it is finished (methods 4 and 5 into the run's server folder, methods 6 and 7 into the server folder of
// their folder); the local archive never remains, whether the upload succeeded or not.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "archive/ExtFileToolsZipWrite.h"
#include "backup/BackupRun.h"
#include "backup/EngineFileOps.h"
#include "backup/EngineInterfaces.h"
#include "backup/TaskLog.h"
#include "backup/TaskSettings.h"
#include "platform/PosixFiles.h"

// The AES key mode of a run's archives: 1 (128 bits) or 3 (256 bits); the automatic choice takes 256
// bits for passwords of 16 characters or more.
int GetKeyMode(TCryptKeyMode mode, const std::string& password);

// The size text of an uploaded archive: " (" + its size + ")", with " - n segments" before the ")"
// when it has more than one part.
std::string ZipSizeText(int segments, int64_t size);

// Uploads the local archive zipFile with its segments into the server folder ftpDir under destName;
// segments and size receive its number of parts and their total size. deleteLocal: the local parts go
// afterwards, also after an error. Returns the error word of the first failure, or 0.
using TZipUploader =
    std::function<int(const std::string& zipFile, const std::string& ftpDir, const std::string& destName,
                      int& segments, int64_t& size, bool deleteLocal)>;

class TZipRun
{
public:
    TZipRun(const TTaskSettings& task, TTaskLog& log, TRunControl& control, IProgressSink& progress,
            IInteraction& interaction);
    ~TZipRun();
    TZipRun(const TZipRun&) = delete;
    TZipRun& operator=(const TZipRun&) = delete;

    // --- run-wide values, set before the first folder
    std::string BaseDir;      // the run's destination root
    std::string ZipName;      // the archive name of methods 4, 6 and 7
    std::string ActPwd;       // the run's encryption password; empty = not encrypted
    std::string TempDir;      // the program's temporary folder
    std::string VolLabel;     // label of the first source folder's volume (name placeholders)
    int MaxWaitTime = 5;      // seconds a rename is retried
    std::string FtpDir;       // a server destination: the run's server folder
    TZipUploader UploadToFtp; // a server destination: how a finished archive reaches the server
    TDateTime StartTime = 0;
    // The run's guard against deleting or replacing what the task reads.
    std::shared_ptr<TRunGuard> Guard;
    // Eight hexadecimal digits of this object's own in the names of its temporary archives, drawn at
    // random, so that two runs writing to one destination never share one.
    std::string RunTag;

    // Forgets everything of an earlier run; an archive still open is deleted.
    void BeginRun();

    // --- methods 4 and 5, around one source folder (src with a trailing delimiter)
    // Opens the archive the folder's files go to. False when it cannot be created: the run's loop over
    // the source folders ends.
    bool PrepareFolder(const std::string& src, TFolderCounters& c);
    // Method 5: finishes the folder's archive (runOk false: the run was stopped, the archive is dropped).
    void FinishFolder(bool runOk, TFolderCounters& c);
    // Method 4: finishes the run's archive; returns the failure text of the run (empty when fine).
    std::string FinishRun(bool runOk, TFolderCounters& c);
    // The full name of the archive the current folder writes to (methods 4 and 5).
    const std::string& RunArchiveName() const { return FRunName; }

    // --- steps of the copy loop
    // Methods 4 and 5: the folder's directory entry; false (logged) when it could not be written.
    bool AddDir(const std::string& srcDir);
    // Methods 4 and 5, at the end of a folder without added files: removes its directory entry again.
    void RemoveEmptyDir();
    // Methods 6 and 7: opens the archive of the folder destDir (files of srcDir). False when it could
    // not be created (logged).
    bool OpenFolderArchive(const std::string& destDir, const std::string& srcDir, const std::string& relDir,
                           TFolderCounters& c, TEngineFileOps& ops);
    // Methods 6 and 7: finishes the folder's archive: written, verified and renamed into place, or
    // deleted when nothing was added to a sub-folder's archive.
    void CloseFolderArchive(int added, TFolderCounters& c);
    // Methods 6 and 7: drops the folder's archive (full volume, cancelled run).
    void DiscardFolderArchive();
    bool HasFolderArchive() const { return FFolder != nullptr; }
    // Adds one file to the open archive. Returns the kind of the copy loop (EngineCodes.h): Copied,
    // VolumeFull, or the error word (errMsg gets the system's text, ratio the compression).
    int AddFile(const std::string& readName, const std::string& sourceName, const TPosixFileData& data,
                bool compressed, std::string& errMsg, int& ratio);
    // The reaction to a full destination volume: tells a user (when prompts are allowed) that the zip
    // backup ends, marks the run's archive as failed and drops a folder's archive.
    void FullVolume(bool prompt);

    // Numbered older versions of the archive z (with its segments): z becomes version 01.
    void KeepArchiveVersions(const std::string& z, TFolderCounters& c);

    // Source files a task deletes after its backup go only once the archive that holds them is in place
    // under its final name (and verified when the task verifies): until then they are remembered here.
    void DeferSourceDeletion(const std::string& path) { FPendingSources.push_back(path); }

private:
    std::unique_ptr<TZipWrite> CreateWriter(const std::string& tempName, const std::string& baseDir);
    TZipWrite* Current() const;
    // Deletes the archive name with its segments (count < 0: from its end record); logs a failure.
    bool DeleteArchiveLogged(const std::string& name, int count, TFolderCounters& c);
    // Deletes an existing archive of the final name and renames the temporary archive into place.
    bool PutInPlace(const std::string& tempName, const std::string& finalName, TFolderCounters& c);
    bool RenameLogged(const std::string& oldName, const std::string& newName, TFolderCounters& c);
    bool CheckTimeout();
    // Whether the guard lets the run delete or replace path (a refusal is logged and counted).
    bool MayDestroy(const std::string& path);
    // The remembered source files go (the archive holding them is in place) or stay (it was dropped).
    void DeleteCommittedSources(TFolderCounters& c);
    // ".tmp-" + RunTag: the name part of a temporary archive.
    std::string TempSuffix() const;
    // The temporary archive of a server destination, in the program's temporary folder.
    std::string FtpTempName() const;
    // Uploads a finished temporary archive under name into ftpDir and logs the outcome; false on error
    // (logged with shownName; the caller counts it). sizeText receives the archive's size text.
    bool Upload(const std::string& temp, const std::string& ftpDir, const std::string& name, bool deleteLocal,
                std::string& sizeText);

    const TTaskSettings& FTask;
    TTaskLog& FLog;
    TRunControl& FControl;
    IProgressSink& FProgress;
    IInteraction& FInteraction;

    // The archive of methods 4 and 5.
    std::unique_ptr<TZipWrite> FRun;
    std::string FRunName;    // final name
    std::string FRunTemp;    // temporary name
    bool FRunFailed = false; // creating it failed
    bool FRunBroken = false; // an entry met a full volume
    std::string FRunRelName; // the name part shown in log lines
    // The archive of a folder (methods 6 and 7).
    std::unique_ptr<TZipWrite> FFolder;
    std::string FFolderName;
    std::string FFolderTemp;
    std::string FFolderShown;  // RelDir + ZipName as the log shows it
    std::string FFolderFtpDir; // a server destination: the folder's server folder
    bool FFolderIsEntry = false;

    std::chrono::steady_clock::time_point FLastActivity;
    std::vector<std::string> FPendingSources;
};

// Hooks the zip archives of methods 4 and 5 into the run frame around the copy loop that is already
// attached to the engine.
void AttachZipRun(TBackupEngine& engine, TZipRun& zip);
