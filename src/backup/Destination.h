#pragma once
// Where a backup run writes: the folders of an alternating schedule, the destination folder of each
// source folder by method, and what a "drive" means for the checks of a destination on Linux.
//
// A POSIX path has no drive letter. The drive of a path is the mounted volume that holds it; a
// "drive that is not ready" is a volume that should hold the path but is not mounted now: a mount
// point of /etc/fstab, or a place under the mount roots of removable media (/media, /run/media, /mnt),
// that holds no volume of its own. Writing there would fill the volume beneath instead.

#include <string>
#include <vector>

#include "foundation/BuConsts.h"

// The folder of an alternating schedule: "BD" daily or "BW" weekly steps, the cycle with two digits
// (three when there are more than 99 cycles), and for schedules with a mode "F", "D" or "I" by the
// mode index (1 full, 2 differential, 3 incremental).
std::string AlternatingFolderName(const TSchedule& schedule, int modeIndex);
// The cycle of an alternating schedule as shown after destination names: " (day 3)", " (Tuesday)",
// " (2. Tuesday)", " (week 12)".
std::string AlternatingCycleText(const TSchedule& schedule);

// A resolved source folder: the folder to read (with a trailing delimiter), its drive part and its
// path below the drive (with a trailing delimiter, empty for a root). A local path has an empty drive
// part; a share has "//server/share"; a folder on a volume named by its label has the label (methods
// 0 and 6) or the volume's mount point.
struct TSourceLocation
{
    std::string Src;
    std::string Drive;
    std::string Rel;
    bool VolumeNamed = false; // found by its volume label
};

// The folder below Dest that receives a source folder, by method: 0 and 6 the per-drive folder and
// Rel, 1 and 7 Rel, 3 the last folder name of Rel, others Dest itself. No trailing delimiter.
std::string SourceFolderDestination(int destMode, const std::string& driveId, const std::string& dest,
                                    const TSourceLocation& location);
// The per-drive folder of a source with a trailing delimiter: the label of a volume-named source,
// else GetDriveDirName(DriveId, drive).
std::string DriveFolderName(const std::string& driveId, const TSourceLocation& location);

// Where volumes are expected to be mounted; tests point these into their sandbox.
struct TMountExpectations
{
    std::vector<std::string> RemovableRoots{"/media", "/run/media", "/mnt"};
    std::string FstabFile = "/etc/fstab";
};
// nullptr restores the system's places. The caller keeps ownership.
void SetMountExpectations(const TMountExpectations* expectations);
// The mount point that should hold Path but holds no volume now; empty when Path lies on the volume
// meant for it (or is no local absolute path).
std::string UnmountedDrive(const std::string& path);
