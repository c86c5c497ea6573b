#include "backup/TaskEditorChecks.h"

#include "foundation/PathUtils.h"
#include "foundation/QvUtilsNames.h"
#include "foundation/StringUtils.h"
#include "platform/MountTable.h"
#include "rtl/Gettext.h"
#include "rtl/SysUtils.h"

namespace {

std::string WithoutTrailingDelimiter(std::string path)
{
    while (path.size() > 1 && path.back() == PathDelimiter)
        path.pop_back();
    return path;
}

// The destination with a volume name resolved (never asked for); unchanged when it is none or cannot
// be found.
std::string ResolvedDestination(const std::string& dest)
{
    std::string path = dest;
    std::string label;
    if (ResolveVolumeName(path, label, false) == 1)
        return path;
    return dest;
}

// The components of a path between delimiters, the empty ones kept.
std::vector<std::string> Components(const std::string& path)
{
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        const size_t slash = path.find(PathDelimiter, start);
        parts.push_back(path.substr(start, slash == std::string::npos ? std::string::npos : slash - start));
        if (slash == std::string::npos)
            break;
        start = slash + 1;
    }
    return parts;
}

bool IsSeparateFilesMethodWithUniqueNames(int destMode)
{
    return destMode == 3 || destMode == 5;
}

} // namespace

std::string MethodCaption(int destMode)
{
    static const char* const captions[8] = {
        N_("Separate directories for drives"),     N_("Full original directory structure"),
        N_("One directory without full path"),     N_("Separated by root directory"),
        N_("All files into one zip archive"),      N_("Separated by root directory"),
        N_("Separated by drive and subdirectory"), N_("Separated by subdirectory")};
    return destMode >= 0 && destMode < 8 ? _(captions[destMode]) : std::string();
}

std::string PathDrive(const std::string& path)
{
    const std::string drive = ExtractDrivePart(path);
    if (path.rfind("//", 0) == 0 || (!path.empty() && path[0] == ':'))
        return drive;
    TVolumeInfo info;
    if (!path.empty() && VolumeProvider::Current().QueryVolume(path, info) && !info.MountPoint.empty())
        return WithoutTrailingDelimiter(info.MountPoint);
    return drive;
}

bool LiesIn(const std::string& path, const std::string& folder)
{
    return !folder.empty() && IsSubPath(folder, path);
}

bool IsValidDestPath(const std::string& path)
{
    if (path.empty())
        return true;
    std::string rest = path;
    if (rest.rfind("//", 0) == 0)
        rest.erase(0, 2);
    while (!rest.empty() && rest.back() == PathDelimiter)
        rest.pop_back();
    if (!rest.empty() && rest[0] == ':') {
        // ":label:" or ":label:/rest"
        const size_t close = rest.find(':', 1);
        if (close == std::string::npos)
            return false;
        const std::string label = rest.substr(1, close - 1);
        if (!label.empty() && !IsValidFileName(label))
            return false;
        rest.erase(0, close + 1);
    }
    for (const std::string& part : Components(rest))
        if (!part.empty() && !IsValidFileName(part))
            return false;
    return true;
}

std::string MakeValidDestPath(const std::string& path)
{
    if (path.empty())
        return path;
    std::string start;
    std::string rest;
    if (path.rfind("//", 0) == 0) {
        start = "//";
        rest = path.substr(2);
    } else {
        const size_t slash = path.find(PathDelimiter);
        start = path.substr(0, slash);
        rest = slash == std::string::npos ? std::string() : path.substr(slash + 1);
        if (start.empty() && rest.empty())
            return path; // the bare root
    }
    while (!rest.empty() && rest.back() == PathDelimiter)
        rest.pop_back();
    std::string result = start;
    if (rest.empty())
        return start.empty() ? std::string(1, PathDelimiter) : result;
    bool first = true;
    for (std::string part : Components(rest)) {
        while (!part.empty() && part.back() == ' ')
            part.pop_back();
        if (part.empty())
            part = "NewDir";
        if (!(first && start == "//"))
            result += PathDelimiter;
        result += part;
        first = false;
    }
    return result;
}

bool DestinationIsSourceRoot(const TTaskSettings& task)
{
    if (task.BuFtp || task.DestMode == 0 || task.DestMode == 6 || task.Folders.Empty())
        return false;
    const std::string dest = WithoutTrailingDelimiter(ResolvedDestination(task.BuZiel));
    if (dest.empty())
        return false;
    const std::string drive = PathDrive(dest);
    if (drive != dest)
        return false;
    for (const auto& entry : task.Folders)
        if (PathDrive(entry->SPath) == drive)
            return true;
    return false;
}

bool HasDuplicateLastDirNames(const TTaskSettings& task)
{
    const int count = task.Folders.Count();
    if (!(task.DestMode == 3 || (task.DestMode == 5 && count >= 2)))
        return false;
    for (int i = 0; i < count; ++i) {
        const std::string a = GetLastDirName(WithoutTrailingDelimiter(task.Folders[i].SPath));
        if (a.empty())
            continue;
        for (int j = i + 1; j < count; ++j)
            if (utf8::SameText(a, GetLastDirName(WithoutTrailingDelimiter(task.Folders[j].SPath))))
                return true;
    }
    return false;
}

std::string CheckMethodForSources(const TTaskSettings& task, const std::string& path,
                                  const std::string& volume, int skipIndex)
{
    const int count = task.Folders.Count();
    if (count == 0)
        return std::string();
    const int mode = task.DestMode;
    if (IsSeparateFilesMethodWithUniqueNames(mode)) {
        bool unique = true;
        if (path.empty()) {
            unique = !HasDuplicateLastDirNames(task);
        } else {
            const std::string name = GetLastDirName(WithoutTrailingDelimiter(path));
            for (int i = 0; i < count && !name.empty(); ++i)
                if (i != skipIndex &&
                    utf8::SameText(name, GetLastDirName(WithoutTrailingDelimiter(task.Folders[i].SPath))))
                    unique = false;
        }
        if (unique)
            return std::string();
        return SafeFormat(_("The selected method \"%s\" requires\r\nunique names of the last subdirectory of "
                            "each selected path!"),
                          {MethodCaption(3)});
    }
    if (mode == 0 || mode == 6)
        return std::string();
    std::string refPath = path;
    std::string refVolume = volume;
    int first = 0;
    if (refPath.empty()) {
        refPath = task.Folders[0].SPath;
        refVolume = task.Folders[0].VName;
        first = 1;
    }
    const std::string refDrive = PathDrive(refPath);
    for (int i = first; i < count; ++i) {
        if (i == skipIndex)
            continue;
        const TExtensionList& entry = task.Folders[i];
        const bool same = refVolume.empty()
                              ? PathDrive(entry.SPath) == refDrive
                              : utf8::SameText(entry.VName, refVolume) || PathDrive(entry.SPath) == refDrive;
        if (!same)
            return SafeFormat(_("If a task contains more than one source drive, you must use\r\neither the "
                                "method \"%s\" and \"%s\"\r\nor \"%s\" and \"%s\"!"),
                              {_("Separate files"), MethodCaption(0), _("Zip archive(s)"), MethodCaption(6)});
    }
    return std::string();
}

bool SourcesOnOneDrive(const TTaskSettings& task)
{
    const int count = task.Folders.Count();
    if (count <= 1)
        return true;
    const TExtensionList& first = task.Folders[0];
    const std::string drive = PathDrive(first.SPath);
    for (int i = 1; i < count; ++i) {
        const TExtensionList& entry = task.Folders[i];
        if (PathDrive(entry.SPath) == drive)
            continue;
        if (!first.VName.empty() && utf8::SameText(first.VName, entry.VName))
            continue;
        return false;
    }
    return true;
}

int FindOverlappingFolder(const TTaskSettings& task, const std::string& path, bool both, int skipIndex)
{
    const int count = task.Folders.Count();
    for (int i = 0; i < count; ++i)
        if (i != skipIndex && task.Folders[i].SubDirMode == sdmNormal && LiesIn(path, task.Folders[i].SPath))
            return i;
    if (both)
        for (int i = 0; i < count; ++i)
            if (i != skipIndex && LiesIn(task.Folders[i].SPath, path))
                return i;
    return -1;
}

std::string DestinationOverlapProblem(const TTaskSettings& task)
{
    if (task.BuFtp || task.BuZiel.empty())
        return std::string();
    const std::string dest = WithoutTrailingDelimiter(ResolvedDestination(task.BuZiel));
    bool overlap = false;
    for (const auto& entry : task.Folders) {
        const std::string src = WithoutTrailingDelimiter(entry->SPath);
        if (src.empty())
            continue;
        if (task.DestMode != 0 && task.DestMode != 4 && LiesIn(src, dest))
            overlap = true;
        if (entry->SubDirMode != sdmFiles && LiesIn(dest, src))
            overlap = true;
    }
    return overlap ? _("Overlapping of source and destination directories is not allowed!") : std::string();
}

std::string CheckDestinationText(const TTaskSettings& task)
{
    if (!task.BuFtp && !IsValidDestPath(task.BuZiel))
        return _("Illegal character in destination directory!");
    if (DestinationIsSourceRoot(task))
        return SafeFormat(_("Your destination is the root directory of the source drive!\r\nSelect another "
                            "destination path or the backup method \"%s\"!"),
                          {MethodCaption(0)});
    return CheckMethodForSources(task, "", "", -1);
}

std::vector<std::string> RiskyQuestions(const TTaskSettings& task, const std::string& text)
{
    std::vector<std::string> questions;
    if (task.cbSourceDelete)
        questions.push_back(_("You selected the option \"Delete source files after backup\"!\r\nAfter a "
                              "successful backup, the files will be deleted at source!\r\n") +
                            text);
    if (task.BuModeCB > 0 && task.DestMode < 4)
        questions.push_back(_("You selected one of the backup modes \"Full\", \"Differential\" or "
                              "\"Incremental\"!\r\nThis will delete the destination directory before "
                              "backup!\r\n") +
                            text);
    return questions;
}
