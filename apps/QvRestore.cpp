// The restore program: restores files from backup folders and zip archives without the main program,
// and opens ".gz", ".gze" and ".enc" files handed to it by the desktop.

#include <QApplication>
#include <string>
#include <vector>

#include "foundation/BuConsts.h"
#include "foundation/IniFileUtils.h"
#include "foundation/InitProg.h"
#include "foundation/LangUtils.h"
#include "foundation/QvUtilsFolders.h"
#include "foundation/gui/StyleUtils.h"
#include "restore/gui/RestoreMain.h"
#include "rtl/DateTime.h"

int main(int argc, char** argv)
{
    InitProgramLocation();
    InitBuConsts();
    std::string title, exeDate;
    InitProgInfo("QvRestore", VASTREL_VERSION, "", 3, title, exeDate);
    FormatSettings() = TFormatSettings::FromLocale("");
    InitTranslation("Vastrel6/", "Vastrel.cfg", {"vastrel"});
    QApplication app(argc, argv);
    QApplication::setApplicationDisplayName(QStringLiteral("Restore Vastrel files"));
    std::vector<std::string> args(argv + 1, argv + argc);
    std::string settingsDir, documents, progFiles;
    GetDefaultFolders(settingsDir, documents, progFiles);
    if (IniReadBool(settingsDir + "Vastrel.cfg", "Config", "DarkMode", false))
        FollowWindowsTheme();
    TMainForm form(args);
    form.show();
    return app.exec();
}
