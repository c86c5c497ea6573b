#include "backup/LogSettings.h"

#include <vector>

#include "foundation/PathUtils.h"
#include "rtl/Gettext.h"
#include "rtl/SysUtils.h"

namespace {

std::vector<std::string> Components(std::string_view path)
{
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= path.size()) {
        size_t slash = path.find('/', start);
        if (slash == std::string_view::npos)
            slash = path.size();
        if (slash > start)
            parts.emplace_back(path.substr(start, slash - start));
        start = slash + 1;
    }
    return parts;
}

// Path relative to BaseDir, with ".." steps where it lies outside (both absolute, same drive).
std::string RelativeWithParentSteps(std::string_view baseDir, std::string_view path)
{
    auto base = Components(baseDir);
    auto target = Components(path);
    size_t common = 0;
    while (common < base.size() && common + 1 < target.size() && base[common] == target[common])
        ++common;
    std::string out;
    for (size_t i = common; i < base.size(); ++i)
        out += "../";
    for (size_t i = common; i < target.size(); ++i) {
        out += target[i];
        if (i + 1 < target.size())
            out += '/';
    }
    return out;
}

} // namespace

std::string LogKindPrefix(TLogKind Kind)
{
    switch (Kind) {
    case lkVerify:
        return "V-";
    case lkRestore:
        return "R-";
    case lkCleanup:
        return "C-";
    default:
        return "";
    }
}

std::string LogKindCaption(TLogKind Kind)
{
    switch (Kind) {
    case lkVerify:
        return _("Settings for Verify log");
    case lkRestore:
        return _("Settings for Restore log");
    case lkCleanup:
        return _("Settings for Cleanup log");
    default:
        return _("Settings for Backup log");
    }
}

std::string DefaultTaskLogName(TLogKind Kind)
{
    return LogKindPrefix(Kind) + "%taskname%.log";
}

bool LogWarningOptionVisible(TLogKind Kind, int Level)
{
    if (Kind == lkCleanup || Level == lmVerbose || Level == lmOff)
        return false;
    if (Level == lmLong)
        return Kind == lkBackup;
    return true;
}

bool LogErrorSummaryVisible(int Level)
{
    return Level == lmLong || Level == lmVerbose;
}

int NormalizeLogMode(TLogKind Kind, int LogMode, bool OwnLogFile)
{
    int level = LogMode & lmLevelMask;
    int mode = level;
    if (level != lmOff && (LogMode & lmPrint))
        mode |= lmPrint;
    if (LogWarningOptionVisible(Kind, level) && (LogMode & lmWarnings))
        mode |= lmWarnings;
    if (LogErrorSummaryVisible(level) && (LogMode & lmErrorSummary))
        mode |= lmErrorSummary;
    if (OwnLogFile && (LogMode & lmDeleteLog))
        mode |= lmDeleteLog;
    return mode;
}

std::string NormalizeTaskLogName(std::string_view Name, std::string_view LogDir)
{
    std::string name(Name);
    std::string ext = ExtractExtension(name);
    if (!(ext.size() == 3 && (ext[0] | 0x20) == 'l' && (ext[1] | 0x20) == 'o' && (ext[2] | 0x20) == 'g'))
        name += ".log";
    if (IsAbsolutePath(name) && !LogDir.empty() && ExtractDrivePart(name) == ExtractDrivePart(LogDir))
        name = RelativeWithParentSteps(LogDir, name);
    return name;
}

int ErrorActionBit(int ErrorState)
{
    switch (ErrorState) {
    case 1:
        return eaTaskNotFound;
    case 2:
        return eaDestination;
    case 3:
        return eaSourceNotFound;
    case 6:
        return eaInvalidTask;
    case 4:
        return eaOtherErrors;
    default:
        return 0;
    }
}

bool ErrorAllowsActionMask(int Mask, int ErrorState)
{
    return (Mask & ErrorActionBit(ErrorState)) == 0;
}

std::string ErrorActionCaption(std::string_view SubAction)
{
    return SafeFormat(_("No %s on these errors"), {SubAction});
}
