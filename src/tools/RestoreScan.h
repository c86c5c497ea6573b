#pragma once
// The scan of a backup before a restore: every directory, archive and file that the task selects goes
// into a TFileTransferList, for the three layouts of a backup on a local or network drive (separated
// files, zip archives per directory, one zip archive). The age selection, the overwrite test and the
// security-copy rules live here too.

#include <cstdint>
#include <string>
#include <unordered_map>

#include "foundation/TextFilter.h"
#include "tools/QvFileList.h"
#include "tools/RestoreTask.h"

class TRunControl;
class IInteraction;
class IProgressSink;

// Test modes of the age selection.
enum TAgeTest : int
{
    atAll,
    atOlder,
    atNewer,
    atThatDay
};

// The description, test mode and reference (Unix seconds; the local date counted as UTC) of an age mode.
void GetAgeSelection(const TRestoreTask& task, std::string& Description, int& TestMode, int64_t& Reference);
bool MatchesAge(int TestMode, int64_t T, int64_t Reference);
// The overwrite test of a candidate with backup time T (Unix seconds) against the destination path.
bool OverwriteAllows(const TRestoreTask& task, const std::string& dest, int64_t T);
// Drops the security-copy directories from a relative path; false when the selection includes none.
bool RemoveSecurityDirs(const TSecSettings& Sec, const std::string& Path, std::string& NewPath);
// Each directory group keeps only the newest entry of every display name selected.
void SelectNewestPerName(TFileTransferList& List);
// Whether a folder name is the per-drive folder of the identifier ("?" stands for the drive, which
// local paths of this system do not have).
bool IsDriveFolder(const std::string& name, const std::string& ident);

class TRestoreScanner
{
public:
    TRestoreScanner(const TRestoreTask& task, TRunControl& control, IProgressSink& progress,
                    IInteraction& interaction, bool prompt);

    int Skipped = 0;
    int Selected = 0;
    bool AllowLinks = false;
    // The run's password and key mode for archives.
    std::string CryptPwd;
    int KeyMode = 0;
    std::string Caption;

    // Builds the security-copy exclusions of the task (none when security copies are not taken into
    // account).
    void BuildSecurityMasks();
    void ScanBackupTree(const std::string& BackupRoot, const std::string& DestRoot, TFileTransferList& List,
                        const std::string& RelDir = "");
    // 1 the archive may be read, 3 it is missing, anything else: the password was not given.
    int CheckZipPassword(const std::string& Dir, const std::string& ZipName);
    void ScanZipArchive(const std::string& Dir, const std::string& ZipName, TFileTransferList& List,
                        const std::string& DestDir);
    void ScanZipPerDirectory(const std::string& BackupRoot, const std::string& ZipName,
                             TFileTransferList& List, const std::string& DestRoot,
                             const std::string& RelDir = "");

private:
    // Reads an archive's directory into zip, asking again after a wrong password; 0 or the error word.
    int ReadZipDirectory(class TZipRead*& zip, const std::string& archive, std::string& message);
    void AddCandidate(TFileTransferList& List, TFileType type, const std::string& name,
                      const std::string& source, const std::string& dest, int64_t T, int attr, int64_t usize,
                      int64_t fsize, bool comp, bool zipComp, bool enc, bool passedAge);
    bool Stopped() const;

    const TRestoreTask& FTask;
    TRunControl& FControl;
    IProgressSink& FProgress;
    IInteraction& FInteraction;
    bool FPrompt;
    TTextFilter FRFilter{true, true};
    TTextFilter FFilter{false, true};
    std::string BakDirMask, SyncDirMask;
    int FTestMode = atAll;
    int64_t FReference = 0;
    std::unordered_map<std::string, int> FByDest;
};
