#pragma once
// A restore run over a backup on a local or network drive: checks, scan, confirmation, task log, the
// copy loop, the optional synchronisation of the destination, the summary and the result. Every file
// goes through one worker of the copy engine, which writes under a temporary name and puts the file in
// place only when it is complete.

#include <memory>
#include <string>

#include "backup/EngineInterfaces.h"
#include "tools/ConfirmFiles.h"
#include "tools/QvFileList.h"
#include "tools/RestoreTask.h"

class TTaskLog;
class TZipRead;
class TEncryption;
class TCopyThreadRunner;

// What a run needs of its host.
struct TRestoreServices
{
    IRunHost& Host;
    IInteraction& Interaction;
    IProgressSink& Progress;
    TRunControl& Control;
    TTaskLog& Log;
    IConfirmFiles& Confirm;
};

class TRestoreRun
{
public:
    TRestoreRun(const TRestoreTask& task, const std::string& taskName, TRestoreServices services);
    ~TRestoreRun();

    // Runs the task. ErrCode: 0, 1 source missing, 2 destination not given. Wait: close delay of the
    // final status view.
    TBuResult RestoreLocal(bool Prompt, bool Quiet, int& ErrCode, int Wait);

    // Runs the task from the FTP server that ftp is connected to (in the task's directory).
    TBuResult RestoreFromFtp(bool Prompt, bool Quiet, int Wait, class TExtFtp& ftp);

    int Selected = 0, Skipped = 0, Restored = 0, Errors = 0, Warnings = 0, Deleted = 0;
    int RsAction = 0;

private:
    void ScanFtpTree(class TExtFtp& ftp, const std::string& DestRoot, const std::string& RelDir,
                     TFileTransferList& List, const std::string& FtpRel);
    void RestoreFilesFromFtp(class TExtFtp& ftp, TFileTransferList& list);
    // Writes the final lines of a run's log and shows its result; returns the result code.
    int Summary(int delay);
    bool FindTargets(TFileTransferList& list, class TRestoreScanner& scanner, bool& archiveMissing,
                     std::string& target);
    void RestoreFiles(TFileTransferList& list);
    void RestoreOne(TFileTransferInfo& e, bool fromZip);
    bool CreateLinkFromInfo(const std::string& infoFile, const std::string& linkPath);
    void FinishDirectories(TFileTransferList& list);
    void Synchronize(const std::string& backupRoot, const std::string& destRoot, bool prompt);
    void ScanExtraFiles(const std::string& backupRoot, const std::string& destRoot, int& count,
                        TFileTransferList& list, const std::string& relDir);
    bool DeleteEmptyDirs(const std::string& root, const std::string& relDir);
    // Whether path may be written: inside the current target root, reached without following a link.
    bool InsideTarget(const std::string& path) const;
    void ShowCount();

    TRestoreTask FTask;
    std::string FTaskName;
    TRestoreServices S;
    std::unique_ptr<TCopyThreadRunner> FRunner;
    std::unique_ptr<TZipRead> FZip;
    std::unique_ptr<TEncryption> FDecryption;
    std::string CryptPwd;
    int KeyMode = 0;
    bool FPrompt = false;
    bool FFatal = false;
    std::string FRoot; // the target root of the entries being restored
    std::string FBackupRoot;
    int FSelectedFiles = 0;
    std::string FTitle;
};

// Runs a restore task file unattended (the "/restore" command line and the task list): loads it, opens
// the task log, runs, and writes a short log when the run cannot start. Sets the exit state.
TBuResult StartRestore(const std::string& taskFile, int WtDel, int SelAction, TInteraction IaMode,
                       TRestoreServices services);
