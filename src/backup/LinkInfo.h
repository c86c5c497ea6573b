#pragma once
// Link folders in a source tree — symbolic links to folders and mount points — and the small
// information file "<name>.qvlink" that stands for a link folder at the destination when the backup
// does not read through it.
//
// A link folder is skipped, recorded in an information file, or read through ("Include files from
// junctions"). A link whose target is the folder being processed or lies above it is never read
// through, so link cycles end. With "Use junction paths" a followed link is backed up under its
// target's own path below the run's destination root, and its place holds the information file.
//
// The information file holds the UTF-8 byte-order mark, "# Junction", the target and the link type
// ("1" mount point, "2" symbolic link), each line ended by CR LF.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "backup/EngineFileOps.h"
#include "backup/TaskLog.h"
#include "backup/TaskSettings.h"
#include "foundation/FileUtilsTimes.h"

inline constexpr const char* LinkInfoExt = "qvlink";

// The bytes of an information file.
std::string LinkInfoContent(const std::string& target, int linkType);
// Reads the bytes of an information file; false when they are not one.
bool ParseLinkInfo(std::string_view content, std::string& target, int& linkType);
// The name of the information file of a link folder's destination path: its extension replaced.
std::string LinkInfoFileName(const std::string& destPath);
// "Directory junction: ..." (type 1) or "Symbolic link: ..." (any other type).
std::string LinkLineText(int linkType, const std::string& srcPath, const std::string& target);

// Writes the information file of the link folder whose destination path is destPath, creating its
// folder first. A folder that cannot be created leaves the file unwritten (the folder's own error line
// is written); a file that cannot be written gets an error line. 0 or the error.
uint32_t WriteLinkInfo(TEngineFileOps& ops, TTaskLog& log, const std::string& destPath,
                       const std::string& target, int linkType);

// What the copy loop does with one sub-folder.
struct TLinkFolderStep
{
    bool IsLink = false; // false: an ordinary folder, processed as usual
    bool Skip = false;   // nothing below the folder is backed up
    // A link read through: the root against which links below it are tested.
    std::string JunctionRoot;
    // Read through under the target's own path: the new roots of the folder.
    bool ReRoot = false;
    std::string SrcBase;
    std::string DestBase;
    uint32_t DirAttr = 0;
    TFileTimestamps DirTimestamps;
    // Errors counted (an information file that could not be written).
    int Errors = 0;
};

// The run-wide inputs of the link rules.
struct TLinkContext
{
    std::string BaseDir; // the run's destination root
    bool Ftp = false;    // the destination is an FTP server
    // Stores an information file in the current server folder (errors are not reported). Without it an
    // FTP destination gets no information files.
    std::function<void(const std::string& destPath, const std::string& target, int linkType)>
        WriteFtpLinkInfo;
};

// The root of a sub-folder of the folder whose root is parentRoot.
std::string SubFolderRoot(const std::string& parentRoot, const std::string& srcDir);
// The real path of a folder, used as the root that links below it are tested against (the path
// itself when it cannot be resolved).
std::string JunctionRootOf(const std::string& srcDir);

// Keeps the junction root of the folder being processed: the parent's value while the folder is
// examined, the folder's own real path for its sub-folders, and the parent's value again afterwards.
// The real path of a top folder is asked of the system; a sub-folder's is its parent's plus its name
// (a sub-folder that is a link sets the root itself).
class TJunctionRootScope
{
public:
    TJunctionRootScope(std::string& root, const std::string& srcDir, bool top) : FRoot(root), FParent(root)
    {
        root = top || root.empty() ? JunctionRootOf(srcDir) : SubFolderRoot(root, srcDir);
    }
    ~TJunctionRootScope() { FRoot = FParent; }
    TJunctionRootScope(const TJunctionRootScope&) = delete;
    TJunctionRootScope& operator=(const TJunctionRootScope&) = delete;
    const std::string& Parent() const { return FParent; }

private:
    std::string& FRoot;
    std::string FParent;
};

// Applies the link rules to a selected sub-folder srcDir (destination destDir, attributes dirAttr).
// junctionRoot is the root passed down by the parent.
TLinkFolderStep HandleLinkFolder(const TTaskSettings& task, const TLinkContext& context, TTaskLog& log,
                                 TEngineFileOps& ops, const std::string& srcDir, const std::string& destDir,
                                 uint32_t dirAttr, const std::string& junctionRoot);
