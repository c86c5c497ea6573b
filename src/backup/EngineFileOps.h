#pragma once
// File operations of the backup engine on its destinations, each written to the task log: moving a
// file into place, creating a folder with its parents, giving a file its attributes and clearing a
// folder tree. The first three retry a failed call with a pause between tries.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "backup/EngineInterfaces.h"
#include "backup/RunGuard.h"
#include "backup/TaskLog.h"
#include "foundation/BuConsts.h"
#include "foundation/StringUtils.h"

class TEngineFileOps
{
public:
    TEngineFileOps(TTaskLog& log, TRunControl& control);

    // Pause between tries: maxWaitSeconds * 1000 div 5 milliseconds.
    void SetMaxWaitTime(int maxWaitSeconds);
    int RetryPauseMs() const { return FPauseMs; }
    TTextChange FnMode = tcNone;
    TFileSystem TargetType = fsNotAvail;
    // The run's guard, shared by every step of the run (none: nothing is refused).
    std::shared_ptr<TRunGuard> Guard;
    // Whether the run may delete, rename over, truncate or clear path; a refusal is written to the log
    // as an error of group gMsg and counted by the guard.
    bool MayDestroy(const std::string& path, const std::string& gMsg);
    // Waits between tries; replaceable so that tests need not sleep.
    std::function<void(int ms)> Sleep;

    // 0 moved; > 0 the error of the move; < 0 the negated error of setting attr (-1 = leave them).
    // mode: the log level of the error line (lmShort, lmLong, lmVerbose); a failure to set attr is a
    // warning of that level with lmWarnings added.
    int MoveFileLogged(const std::string& dir, const std::string& oldName, const std::string& newName,
                       std::string& errMsg, int mode, int attr);
    bool CreateDirectoryLogged(const std::string& dir, const std::string& gMsg, bool isSub);
    bool CreateDirectoryLogged(const std::string& dir, bool isSub)
    {
        return CreateDirectoryLogged(dir, "B", isSub);
    }
    // 0 set or nothing to do; 2 the current attributes could not be read; else the last error.
    uint32_t SetAttributesLogged(const std::string& fileName, uint32_t attr, bool known,
                                 const std::string& gMsg);
    bool ClearDirectory(const std::string& baseDir, const std::string& relDir, const std::string& gMsg,
                        bool deleteRoot, bool deleteFiles, bool log, int total, int prevCount, int& delCount,
                        int& errCount, IProgressSink* progress = nullptr);
    bool ClearDirectory(const std::string& baseDir, const std::string& relDir, const std::string& gMsg,
                        bool deleteRoot, bool deleteFiles, bool log, int& delCount);

private:
    void Pause(int ms);
    TTaskLog& FLog;
    TRunControl& FControl;
    int FPauseMs = 0;
};

// "System error: <text> (<tries>)".
std::string RetryDetail(uint32_t code, int tries);
