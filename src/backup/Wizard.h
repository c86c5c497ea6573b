#pragma once
// The answers of the new-task wizard and the checks of its pages, without the dialog. The wizard
// writes no file: the editor turns the answers into a task (TTaskEditor::ApplyWizardTask).

#include <cstdint>
#include <string>
#include <vector>

#include "archive/FtpUtils.h"
#include "foundation/BuConsts.h"
#include "rtl/DateTime.h"

enum TBackupOption
{
    boGzComp,
    boZipComp,
    boEncrypt,
    boVerify
};
using TBackupOptions = uint32_t;
constexpr TBackupOptions BackupOption(TBackupOption o)
{
    return 1u << static_cast<unsigned>(o);
}

struct TBackupTask
{
    std::string NewTaskName;
    std::string TargetDir;
    bool FtpTarget = false;
    TFtpParams FtpSettings;
    std::string DirList; // comma text
    int TargetMode = 0;  // the values of DestMode
    std::string ZipName;
    std::string EncPwd;
    TBackupOptions Options = 0;
    int AutoNr = -1;
    TAutoStart AutoMode = asNone;
    TDateTime AutoTime = 0;
    uint32_t AutoDays = 127;
    bool Resume = false;
};

// The destination page: why Next cannot go on (empty = it can).
std::string WizardDestinationProblem(const std::string& target);
// The destination asks for a confirmation: a volume root (local) or an FTP destination without folder.
bool WizardDestinationIsRoot(const std::string& target, bool ftp, const TFtpParams& ftpPar);
// The source page: an empty list, or a local destination inside a source folder.
std::string WizardSourcesProblem(const std::vector<std::string>& dirs, const std::string& target, bool ftp);
// The method page. zipMethod: the "Into zip archive(s)" group; item: the method's index in its group
// (separate files: 0 drives, 1 full structure, 2 one directory, 3 root directory; zip: 0 one archive,
// 1 drive and subdirectory, 2 root directory, 3 subdirectory). Returns the message of the first check
// that fails; fallBack is set when the method must fall back to the first of its group.
std::string WizardMethodProblem(const std::vector<std::string>& dirs, const std::string& target, bool ftp,
                                bool zipMethod, int item, const std::string& zipName, bool& fallBack);
// The DestMode of a method choice.
int WizardTargetMode(bool zipMethod, int item);
// The folder a chosen destination becomes: a volume root gets "Backup" appended.
std::string WizardChosenDestination(const std::string& chosen);
