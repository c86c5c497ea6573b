#pragma once
// The run of a verification: walks a backup (separated files, zip archives per folder or one zip
// archive, on a local or network folder), finds for every backed-up file the file it was made
// from, has a compare worker of the copy engine compare the two, and reports the outcome in the
// progress view, the task log and the program's exit state.
//
// What is compared is the content: a compressed or encrypted copy is decoded by the worker. Time
// stamps decide only which files are looked at (the age selection). A missing original is a warning,
// every other difference an error; both end the run with exit state 4.
//
// The run works on the calling thread and talks to its host only through the engine interfaces.

#include <cstdint>
#include <memory>
#include <string>

#include "backup/CopyThreadRunner.h"
#include "backup/EngineInterfaces.h"
#include "backup/TaskLog.h"
#include "foundation/TextFilter.h"
#include "tools/Verify.h"

class TEncryption;
class TExtFtp;
class TZipRead;

// The age selection of a run: 0 all, 1 older (time < RefTime), 2 newer (time >= RefTime), 3 that day.
struct TAgeSelection
{
    std::string Text;
    int DateMode = 0;
    int64_t RefTime = 0;
};
TAgeSelection GetAgeSelection(int ageMode, int count, TDateTime date, TDateTime today, TDateTime now);
bool AgeMatches(int dateMode, int64_t time, int64_t refTime);
// "5 files not found - 2 errors"; empty when both are 0.
std::string FormatVerifySummary(int64_t notFound, int64_t errCount);
// The "|"-separated masks of security-copy file names that a verification leaves out, and the
// folder masks (empty = none).
std::string VerifySecurityCopyMasks(const TSecSettings& bakSec, const TSecSettings& syncSec);
std::string VerifySecurityDirMask(const TSecSettings& sec);

class TVerifyRun
{
public:
    TVerifyRun(IRunHost& host, IInteraction& interaction, IProgressSink& progress, TRunControl& control,
               TTaskLog& log);
    ~TVerifyRun();

    TVerifySettings Settings;
    // The task file of the settings; empty for settings that were not loaded from a file.
    std::string VJobName;
    int BufferSize = 1 << 16;
    // What "now" is; replaceable for tests.
    std::function<TDateTime()> Clock;

    // Runs a task file unattended (the command line and the task list): pMode the log mode (-1 keeps the
    // task's), wtDel the wait of the result view, selAction the after-run action preselected in it.
    TBuResult StartVerify(const std::string& taskFile, int pMode, int wtDel, int selAction,
                          TInteraction iaMode);
    // The run of the current settings from the dialog: opens and closes the log around it. failure
    // receives the message of a run that could not start.
    TBuResult RunInteractive(std::string& failure);

    // --- what the last run counted
    int64_t FileCount = 0, NotFound = 0, ErrCount = 0;
    std::string StatusText;

private:
    TBuResult VerifyLocal(bool interactive, bool quiet, int wait, int& errKind);
    // The run of a backup on an FTP server: connects, verifies and disconnects; brError when no
    // connection could be made.
    TBuResult VerifyOnFtp(bool interactive, bool quiet, int wait);
    TBuResult VerifyFtp(TExtFtp& ftp, bool interactive, bool quiet, int wait);
    // Walks the current server folder (serverSub below the task's folder) and its subfolders.
    void VerifyFtpTree(TExtFtp& ftp, const std::string& localBase, const std::string& localSub,
                       const std::string& serverSub);
    int64_t CountFtpFiles(TExtFtp& ftp);
    // One server file against its reference file: 0 equal, -1 reference missing, -2 skipped, else the
    // compare worker's error word.
    int CompareFtpFile(TExtFtp& ftp, const std::string& name, const std::string& refPath,
                       const std::string& serverPath, int64_t size, bool encrypted, bool compressed, bool zip,
                       const std::string& folder, std::string& errMsg);
    // The reference name of a server file, and what the file is; false when the file is not verified.
    bool FtpFileSelected(const std::string& name, int64_t time, std::string& refName, bool& encrypted,
                         bool& compressed, bool& zip) const;
    TBuResult FinishRun(bool interactive, bool noDriveFolder, const std::string& title);
    void BuildSecurityMasks();
    bool Selected(int64_t time, const std::string& refName) const;
    bool CheckRefDir(const std::string& dir, bool quiet);
    void LogCompareHeader(const std::string& source, const std::string& dest, bool isZip);
    int64_t CountFiles(const std::string& dir);
    int64_t CountZipEntries(const std::string& dir, const std::string& zipName);
    void VerifyLocalTree(const std::string& backupDir, const std::string& refDir, const std::string& subDir);
    void VerifyFolderZips(const std::string& backupDir, const std::string& zipName, const std::string& subDir,
                          const std::string& refDir);
    void VerifySingleZip(const std::string& zipDir, const std::string& zipName, const std::string& refDir);
    // Verifies the folders of the backup dir that a drive folder stands for; false when there is none.
    bool VerifyDriveFolders(const std::string& source, int mode, const std::string& zipName,
                            const std::string& sourceText, bool quiet);
    void VerifyAgainst(const std::string& source, const std::string& ref, int mode,
                       const std::string& zipName, const std::string& sourceText, bool quiet);
    // Asks for the password of an encrypted file: 1 OK, 0 cancel (the run stops), 2 skip.
    int AskPassword(const std::string& prompt);
    bool EnsureDecryption(const std::string& name, bool retry);
    int CompareEntry(TZipRead& zip, int index, const std::string& refPath);
    void ShowFileProgress(const std::string& action, int64_t size, const std::string& name);
    void CountProgress();

    IRunHost& FHost;
    IInteraction& FInteraction;
    IProgressSink& FProgress;
    TRunControl& FControl;
    TTaskLog& FLog;
    TCopyThreadRunner FRunner;
    TTextFilter RFilter{true, true};
    TTextFilter FFilter{false, true};
    std::string BakDirMask, SyncDirMask;
    TAgeSelection FAge;
    std::string CryptPwd;
    std::unique_ptr<TEncryption> Decryption;
    int KeyMode = 0;
    int64_t TotalFiles = 0;
    TDateTime StartTime = 0;
    bool FInteractive = false;
    bool FQuiet = false;
    bool FWrongPassword = false;
    bool ZipEnc = false;
    TZipRead* RZip = nullptr;
};
