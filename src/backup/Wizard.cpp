#include "backup/Wizard.h"

#include "backup/TaskEditorChecks.h"
#include "foundation/PathUtils.h"
#include "foundation/StringUtils.h"
#include "rtl/Gettext.h"
#include "rtl/SysUtils.h"

namespace {

std::string Stripped(std::string path)
{
    while (path.size() > 1 && path.back() == PathDelimiter)
        path.pop_back();
    return path;
}

bool IsVolumeRoot(const std::string& path)
{
    const std::string p = Stripped(path);
    return !p.empty() && PathDrive(p) == p;
}

} // namespace

std::string WizardDestinationProblem(const std::string& target)
{
    return utf8::Trim(target).empty() ? _("Please select a destination directory for your backup!")
                                      : std::string();
}

bool WizardDestinationIsRoot(const std::string& target, bool ftp, const TFtpParams& ftpPar)
{
    if (ftp)
        return ftpPar.Directory.empty() || ftpPar.Directory == "/";
    return IsVolumeRoot(target);
}

std::string WizardSourcesProblem(const std::vector<std::string>& dirs, const std::string& target, bool ftp)
{
    if (dirs.empty())
        return _("You must select at least one directory for backup!");
    if (!ftp)
        for (const auto& dir : dirs)
            if (LiesIn(target, Stripped(dir)))
                return _("Overlapping of source and destination directories is not allowed!");
    return std::string();
}

int WizardTargetMode(bool zipMethod, int item)
{
    if (!zipMethod) {
        static const int modes[4] = {0, 1, 2, 3};
        return item >= 0 && item < 4 ? modes[item] : 0;
    }
    static const int modes[4] = {4, 6, 5, 7};
    return item >= 0 && item < 4 ? modes[item] : 4;
}

std::string WizardMethodProblem(const std::vector<std::string>& dirs, const std::string& target, bool ftp,
                                bool zipMethod, int item, const std::string& zipName, bool& fallBack)
{
    fallBack = false;
    const int mode = WizardTargetMode(zipMethod, item);
    if (dirs.size() > 1) {
        if (mode == 3 || mode == 5) {
            for (size_t i = 0; i < dirs.size(); ++i)
                for (size_t j = i + 1; j < dirs.size(); ++j)
                    if (utf8::SameText(GetLastDirName(Stripped(dirs[i])),
                                       GetLastDirName(Stripped(dirs[j])))) {
                        fallBack = true;
                        return SafeFormat(_("The selected method \"%s\" requires\r\nunique names of the last "
                                            "subdirectory of each selected path!"),
                                          {MethodCaption(mode)});
                    }
        }
        if (mode != 0 && mode != 6) {
            const std::string drive = PathDrive(dirs[0]);
            for (size_t i = 1; i < dirs.size(); ++i)
                if (PathDrive(dirs[i]) != drive) {
                    fallBack = true;
                    return SafeFormat(
                        _("If a task contains more than one source drive, you must use\r\neither "
                          "the method \"%s\" and \"%s\"\r\nor \"%s\" and \"%s\"!"),
                        {_("As separate files"), MethodCaption(0), _("Into zip archive(s)"),
                         MethodCaption(6)});
                }
        }
    }
    if (!ftp && mode != 0 && mode != 6 && mode != 7) {
        // the destination lies directly in the root of a volume that holds a source folder
        const std::string dest = Stripped(target);
        const std::string parent = Stripped(GetParentDir(dest));
        const std::string drive = PathDrive(dest);
        if (!parent.empty() && parent == drive)
            for (const auto& dir : dirs)
                if (PathDrive(dir) == drive)
                    return SafeFormat(
                        _("Your destination is the root directory of the source drive!\r\nSelect "
                          "another destination path or the backup method \"%s\"!"),
                        {MethodCaption(0)});
    }
    if (zipMethod && mode != 5 && utf8::Trim(zipName).empty())
        return _("No name specified for zip archive!");
    return std::string();
}

std::string WizardChosenDestination(const std::string& chosen)
{
    if (IsVolumeRoot(chosen))
        return JoinPath(chosen, "Backup");
    return chosen;
}
