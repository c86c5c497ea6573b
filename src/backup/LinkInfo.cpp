#include "backup/LinkInfo.h"

#include <climits>
#include <cstdio>
#include <cstdlib>

#include "backup/EngineCodes.h"
#include "foundation/FileUtilsOps.h"
#include "foundation/PathUtils.h"
#include "foundation/QvUtilsNames.h"
#include "platform/ErrorCodes.h"
#include "platform/FileStatus.h"
#include "rtl/Gettext.h"
#include "rtl/SysUtils.h"

namespace {

constexpr const char* Indent = "      ";
constexpr const char* Bom = "\xEF\xBB\xBF";
constexpr const char* Heading = "# Junction";

std::string WithoutDelimiter(const std::string& path)
{
    std::string p = path;
    while (p.size() > 1 && p.back() == '/')
        p.pop_back();
    return p;
}

// The next line of text from pos (CR LF or LF ended); false at the end.
bool NextLine(std::string_view text, size_t& pos, std::string& line)
{
    if (pos >= text.size())
        return false;
    size_t end = text.find('\n', pos);
    if (end == std::string_view::npos)
        end = text.size();
    line = std::string(text.substr(pos, end - pos));
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    pos = end + 1;
    return true;
}

} // namespace

std::string LinkInfoContent(const std::string& target, int linkType)
{
    return std::string(Bom) + Heading + "\r\n" + target + "\r\n" + std::to_string(linkType) + "\r\n";
}

bool ParseLinkInfo(std::string_view content, std::string& target, int& linkType)
{
    target.clear();
    linkType = 0;
    if (content.substr(0, 3) == Bom)
        content.remove_prefix(3);
    size_t pos = 0;
    std::string heading, path, type;
    if (!NextLine(content, pos, heading) || heading != Heading || !NextLine(content, pos, path) ||
        !NextLine(content, pos, type) || path.empty())
        return false;
    if (type != "1" && type != "2")
        return false;
    target = path;
    linkType = type[0] - '0';
    return true;
}

std::string LinkInfoFileName(const std::string& destPath)
{
    return ChangeExtension(WithoutDelimiter(destPath), LinkInfoExt);
}

std::string LinkLineText(int linkType, const std::string& srcPath, const std::string& target)
{
    return SafeFormat(linkType == 1 ? _("Directory junction: \"%s\" => \"%s\"")
                                    : _("Symbolic link: \"%s\" => \"%s\""),
                      {srcPath, target});
}

uint32_t WriteLinkInfo(TEngineFileOps& ops, TTaskLog& log, const std::string& destPath,
                       const std::string& target, int linkType)
{
    std::string path = WithoutDelimiter(destPath);
    std::string folder = GetParentDir(path);
    if (!ops.CreateDirectoryLogged(WithoutDelimiter(folder), "B", true))
        return WinError::ERROR_PATH_NOT_FOUND;
    std::string name = LinkInfoFileName(path);
    std::string content = LinkInfoContent(target, linkType);
    uint32_t e = 0;
    FILE* f = std::fopen(name.c_str(), "wb");
    if (!f) {
        e = LastWinError();
    } else {
        if (std::fwrite(content.data(), 1, content.size(), f) != content.size())
            e = LastWinError();
        if (std::fclose(f) != 0 && e == 0)
            e = LastWinError();
    }
    if (e != 0)
        log.WriteErrorToLog(lmShort, "B", SafeFormat(_("Error writing to \"%s\""), {name}), e);
    return e;
}

std::string SubFolderRoot(const std::string& parentRoot, const std::string& srcDir)
{
    std::string name(BaseNameOf(WithoutDelimiter(srcDir)));
    return AddPathDelimiter(AddPathDelimiter(parentRoot) + name);
}

std::string JunctionRootOf(const std::string& srcDir)
{
    char buf[PATH_MAX];
    if (::realpath(WithoutDelimiter(srcDir).c_str(), buf))
        return AddPathDelimiter(buf);
    return AddPathDelimiter(srcDir);
}

TLinkFolderStep HandleLinkFolder(const TTaskSettings& task, const TLinkContext& context, TTaskLog& log,
                                 TEngineFileOps& ops, const std::string& srcDir, const std::string& destDir,
                                 uint32_t dirAttr, const std::string& junctionRoot)
{
    TLinkFolderStep step;
    std::string target;
    int linkType = 0;
    std::string folder = WithoutDelimiter(srcDir);
    if (!GetLinkInfo(folder, static_cast<int>(dirAttr), target, linkType))
        return step;
    step.IsLink = true;
    std::string line = std::string(Indent) + LinkLineText(linkType, srcDir, target);
    if (task.UseJunctions && !task.IgnoreJunctions) {
        // A target that is the folder being processed or lies above it would never end.
        if (target.empty() || IsSubPath(target, junctionRoot)) {
            log.WriteToLog(lmVerbose, line + " - " + _("recursive (skipped)"));
            step.Skip = true;
            return step;
        }
        log.WriteToLog(lmLong, line);
        step.JunctionRoot = AddPathDelimiter(target);
        std::string drive = ExtractDrivePart(target);
        if (task.FollowJunctions && task.DestMode == BackupMethod::DriveFolders && !context.Ftp &&
            !drive.empty() && drive.rfind("//", 0) != 0) {
            std::string rel = MakeRelativePath(AddPathDelimiter(drive), AddPathDelimiter(target));
            if (!rel.empty() && rel.back() != '/')
                rel += '/';
            if (AddPathDelimiter(target) == AddPathDelimiter(drive))
                rel.clear();
            if (WriteLinkInfo(ops, log, destDir, target, linkType) != 0)
                ++step.Errors;
            step.ReRoot = true;
            step.SrcBase = AddPathDelimiter(target);
            step.DestBase = AddPathDelimiter(context.BaseDir) + GetDriveDirName(task.DriveId, target) + rel;
            TPosixFileData data;
            if (ReadFileData(target, true, data) == 0) {
                step.DirAttr = data.Attr;
                GetDirTimestamps(target, true, step.DirTimestamps);
            }
        }
        return step;
    }
    step.Skip = true;
    bool ftpWriter = context.Ftp && context.WriteFtpLinkInfo;
    if (!task.IgnoreJunctions && !target.empty() && !IsZipMethod(task.DestMode) &&
        (!context.Ftp || ftpWriter)) {
        if (context.Ftp)
            context.WriteFtpLinkInfo(destDir, target, linkType);
        else if (WriteLinkInfo(ops, log, destDir, target, linkType) != 0)
            ++step.Errors;
        log.WriteToLog(lmVerbose, line + " - " + _("write info"));
    } else {
        log.WriteToLog(lmVerbose, line + " - " + _("ignored"));
    }
    return step;
}
