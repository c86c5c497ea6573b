#pragma once
// The selection rules of a cleanup run: the age limit and its description, the file types, the
// security-copy limit, the filters and folder masks that recognise security copies, the dates read
// out of names, and the test whether a backed-up file still exists where it came from.
//
// Times are Unix seconds. A limit is built from the local calendar date ("today" at 00:00) counted as
// if it were UTC; file times are their UTC seconds. Both sides are compared as they are.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "foundation/TextFilter.h"
#include "rtl/DateTime.h"
#include "tools/Cleanup.h"

// 0 no age test, 1 older than the limit, 2 since the limit.
enum TAgeCompare : int
{
    acmNone,
    acmOlder,
    acmSince
};

struct TAgeLimit
{
    std::string Description;
    TAgeCompare Compare = acmNone;
    int64_t Limit = 0;
    bool Passes(int64_t time) const
    {
        return Compare == acmNone || (Compare == acmOlder ? time < Limit : time >= Limit);
    }
};

// Unix seconds of a TDateTime without any time-zone conversion, to the nearest second.
int64_t PlainUnixSeconds(TDateTime t);

// The age limit of the settings; today is the current date at 00:00, now the current time.
TAgeLimit GetAgeLimit(const TCleanupSettings& s, TDateTime today, TDateTime now);
// The limit of "Delete security copies older than".
int64_t GetSecCopyLimit(const TSecAge& age, TDateTime today);

// The types rule: mode 0 passes everything, 1 only the listed types, 2 all but them. A type is the
// extension after the last dot, without the dot, compared ignoring case.
class TTypeRule
{
public:
    TTypeRule(int mode, const std::string& commaText);
    bool Passes(const std::string& name) const;
    // "all", "of type "%s"" or "except for types "%s"".
    std::string Description() const;
    int Mode() const { return FMode; }

private:
    int FMode;
    std::string FText;
    std::vector<std::string> FTypes; // upper case
};

// The mask list ("|"-separated) that recognises the security-copy files of one naming; empty when the
// naming does not select files.
std::string SecurityCopyFileMasks(const TSecSettings& sec);
// Sets up a filter (not a file filter, ignoring case, separator "|") from that list: off when the list
// is empty, else exclude for the subject files and include for the other subjects.
void BuildSecurityCopyFilter(TTextFilter& filter, const TSecSettings& sec, int subject);
// The mask of security-copy folders ("" matches nothing).
std::string SecurityCopyDirMask(const TSecSettings& sec);
// True when name matches mask; an empty mask matches nothing.
bool MatchesDirMask(const std::string& name, const std::string& mask);

// A folder whose name carries a date "yyyy-mm-dd" that lies before limit.
bool IsOldDatedFolder(const std::string& name, int64_t limit);
// A security-copy file whose name carries the backup date of the backup naming (or, failing that,
// the synchronisation naming) before limit.
bool IsOldSecurityCopy(const std::string& name, int64_t limit, const TSecSettings& bakSec,
                       const TSecSettings& syncSec);
// One naming of the above.
bool IsOldSecurityCopyOf(const std::string& name, int64_t limit, const TSecSettings& sec);

// True when no file exists at origin/subDir/name (a folder of that name or a link counts as missing).
bool OriginFileMissing(const std::string& origin, const std::string& subDir, const std::string& name);

// Where a per-drive folder of a backup came from. On this system a source path has no drive letter:
// the folder that a task writes for local sources is named by the drive identifier without its "?",
// and stands for the root "/". A name that carries a letter at the "?" (a backup made on Windows)
// cannot be traced back here. Returns the origin folder, "" when name is no drive folder.
std::string DriveFolderOrigin(const std::string& name, const std::string& driveIdent);
// The origin of a backup folder that lies inside a drive folder: its first folder that is a drive
// folder, and origin + the path after it; "" when path holds none.
std::string OriginOfPathInDriveFolder(const std::string& path, const std::string& driveIdent);
