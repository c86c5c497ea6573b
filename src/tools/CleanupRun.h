#pragma once
// The run of a cleanup on a local or network folder: scans the folder into a list of candidates by
// the selection rules, keeps the oldest files up to a requested size in free-space mode, has the user
// confirm the list (or takes it as it is when nobody is present), deletes what stays selected
// (directly or into the trash) and removes folders that became empty.
//
// The run never leaves the cleanup folder: links are neither followed nor deleted, and a path is
// deleted only after it was checked to lie below the folder.

#include <cstdint>
#include <functional>
#include <string>

#include "backup/EngineInterfaces.h"
#include "backup/TaskLog.h"
#include "foundation/TextFilter.h"
#include "tools/Cleanup.h"
#include "tools/CleanupRules.h"
#include "tools/ConfirmFiles.h"
#include "tools/QvFileList.h"

class TExtFtp;

class TCleanupRun
{
public:
    TCleanupRun(IRunHost& host, IInteraction& interaction, IProgressSink& progress, TRunControl& control,
                TTaskLog& log, IConfirmFiles& confirm);

    TCleanupSettings Settings;
    std::string CJobName;
    // What "now" is; replaceable for tests.
    std::function<TDateTime()> Clock;

    // Runs a task file unattended or with prompts, by iaMode.
    TBuResult StartClean(const std::string& taskFile, int wtDel, int selAction, TInteraction iaMode);
    // The run of the current settings from the dialog (with prompts); failure receives the message of a
    // run that could not start.
    TBuResult RunInteractive(std::string& failure);

    // --- what the last run counted
    int64_t Found = 0, Scanned = 0, Files = 0, Dirs = 0, Errors = 0;
    std::string StatusText;

private:
    TBuResult RunLocalCleanup(bool prompt, bool quiet, int wtDel);
    // The cleanup of a folder on an FTP server; ftp is connected and in the task's folder.
    TBuResult RunFtpCleanup(TExtFtp& ftp, bool prompt, bool quiet, int wtDel);
    // Connects, runs the FTP cleanup and frees the connection; failure receives the message of a run
    // that could not connect.
    TBuResult RunOnFtp(bool prompt, bool quiet, int wtDel, std::string& failure);
    void ScanFtpDirectory(TExtFtp& ftp, const std::string& origin, const std::string& originSub,
                          TFileTransferList& list, int secKind, const std::string& ftpSub);
    void ScanFtpRootDirs(TExtFtp& ftp, TFileTransferList& list);
    void DeleteFtpFiles(TExtFtp& ftp, TFileTransferList& list);
    void DeleteFtpDirs(TExtFtp& ftp, TFileTransferList& list);
    // What the local and the FTP run share: the rules of the run (false for an invalid size), the
    // confirmation (false when nothing is to be deleted; reason tells why), the log lines and the end.
    bool PrepareRun(bool prompt, int64_t& space);
    bool ConfirmRun(bool prompt, TFileTransferList& list, const std::string& source, bool canView,
                    std::string& reason);
    std::string SyncText() const;
    std::string BeginRunLog();
    int EndDeletion(int wait);
    void EndRunLog(int code);
    void ScanDirectory(const std::string& base, const std::string& origin, TFileTransferList& list,
                       int secKind, const std::string& subDir);
    void ScanRootDirs(const std::string& base, TFileTransferList& list);
    void KeepOldestFiles(TFileTransferList& list, int64_t space);
    void DeleteSelectedFiles(const std::string& base, TFileTransferList& list, bool useRecycler);
    bool RemoveEmptyDirs(const std::string& base, const std::string& subDir, bool deleteThis);
    void DeleteSelectedDirs(const std::string& base, TFileTransferList& list, bool useRecycler);
    bool DeleteRootDir(const std::string& base, const std::string& dir, bool deleteThis,
                       const std::string& subDir, int64_t& deleted);
    // True when path lies strictly below the cleanup folder and is no link.
    bool MayDelete(const std::string& path) const;
    void ShowDeleteProgress(size_t index, size_t count);
    std::string LogName(const std::string& rel) const;

    IRunHost& FHost;
    IInteraction& FInteraction;
    IProgressSink& FProgress;
    TRunControl& FControl;
    TTaskLog& FLog;
    IConfirmFiles& FConfirm;
    TTextFilter DFilter{true, true};
    TTextFilter BakFilter{false, true};
    TTextFilter SyncFilter{false, true};
    std::string BakDirMask, SyncDirMask;
    TAgeLimit FAge;
    int64_t SecLimit = 0;
    TTypeRule FTypes{0, ""};
    std::string FBase;
    TDateTime StartTime = 0;
    bool FRootFailed = false;
};
