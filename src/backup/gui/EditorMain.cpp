#include "backup/gui/EditorMain.h"

#include <QApplication>

#include "backup/BuFtpDlg.h"
#include "backup/gui/BackupForm.h"
#include "foundation/BuConsts.h"
#include "foundation/IniFileUtils.h"
#include "foundation/QvUtilsFolders.h"
#include "foundation/gui/GuiUtils.h"

int RunTaskEditorWindow(int& argc, char** argv, const std::string& taskFile)
{
    QApplication app(argc, argv);
    int exitCode = 0;
    GuardSlot([&] {
        TBackupForm form;
        if (!SettingsFile.empty()) {
            TMemIniFile ini(SettingsFile);
            form.LoadFromIni(ini);
        }
        if (taskFile.empty()) {
            TFtpParams ftp;
            InitFtpParams(ftp);
            form.NewBackupTask("", false, ftp);
        } else {
            form.EditBackupTask(taskFile, 0);
        }
    });
    return exitCode;
}
