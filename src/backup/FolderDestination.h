#pragma once
// The destination folder of one source folder around its copy, for local destinations: warnings about
// options the source's file system cannot serve, the source folder's attributes and times read before
// the copy, and the finishing after it — an empty destination folder removed with the parents it
// leaves empty, or the folder given the source folder's attributes, times and permissions; the source
// folder removed when the task deletes its sources and it was emptied; and the dated folders of older
// versions that have outlived their age.
//
// Nothing here removes more than the task asks for: folders are removed only when empty, never above
// or at the run's base folder, never through a link, and a source folder only when it is no volume
// root and holds no part of the destination.

#include <cstdint>
#include <memory>
#include <string>

#include "backup/Destination.h"
#include "backup/EngineInterfaces.h"
#include "backup/RunGuard.h"
#include "backup/TaskLog.h"
#include "backup/TaskSettings.h"
#include "foundation/BuConsts.h"
#include "foundation/FileUtilsTimes.h"
#include "platform/PosixFiles.h"

// Attributes and times of a source folder, read before its copy. A volume root has the attribute
// "directory" and no valid times.
struct TSourceFolderInfo
{
    uint32_t Attr = faDirectory;
    TFileTimestamps Timestamps;
};
TSourceFolderInfo ReadSourceFolderInfo(const TSourceLocation& location);

// False when one of the task's source folders before index lies in src or is src itself.
bool NoEarlierSourceInside(const TTaskSettings& task, const std::string& src, int index);

class TFolderDestination
{
public:
    TFolderDestination(const TTaskSettings& task, TTaskLog& log, TRunControl& control,
                       const std::string& baseDir);

    // The run's guard against deleting what the task reads (none: nothing is refused).
    std::shared_ptr<TRunGuard> Guard;

    // Log lines (long level) for the options the source's file system does not support.
    void WarnSourceFileSystem(TFileSystem sourceType);

    // After the copy of the source folder at location into sub.
    void Finish(const TSourceLocation& location, const std::string& sub, const TSourceFolderInfo& info,
                TFileSystem sourceType);

    // The folder in which the dated folders of older versions of the files copied into sub lie: the
    // base folder's entry that holds sub (the base folder itself when sub is the base folder).
    std::string PlaceFolder(const std::string& sub) const;

    // Removes the dated folders of older versions in dir whose date is older than the task's age limit.
    // The number removed; -1 when the task keeps no dated folders with an age limit.
    int DeleteOldSecurityFolders(const std::string& dir);

private:
    void RemoveEmptyFolders(const std::string& sub);
    void SetFolderProperties(const TSourceLocation& location, const std::string& sub,
                             const TSourceFolderInfo& info, TFileSystem sourceType);
    void SetFolderTimes(const std::string& dir, const TFileTimestamps& timestamps);
    void DeleteSourceFolder(const TSourceLocation& location);
    // dir lies below the base folder (and is not the base folder).
    bool BelowBase(const std::string& dir) const;

    const TTaskSettings& FTask;
    TTaskLog& FLog;
    TRunControl& FControl;
    std::string FBaseDir;
};

// Whether a method writes destination folders (every method but the run's and the source folder's
// zip archive, 4 and 5).
bool KeepsFolders(int destMode);
