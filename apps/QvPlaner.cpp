// QvPlaner: alternating backup schedules. Started with the name of a schedule (by a scheduled task or a
// desktop shortcut) it runs that schedule's next step through the main program and ends; without one
// it would open its window, which this build does not have.

#include <string>
#include <vector>

#include "foundation/BuConsts.h"
#include "foundation/InitProg.h"
#include "foundation/QvUtilsFolders.h"
#include "foundation/XlFileUtils.h"
#include "planer/PlanerHost.h"
#include "platform/LoginSession.h"
#include "rtl/DateTime.h"

int main(int argc, char** argv)
{
    InitProgramLocation();
    InitBuConsts();
    std::string title, exeDate;
    InitProgInfo("QvPlaner", VASTREL_VERSION, "", 3, title, exeDate);
    FormatSettings() = TFormatSettings::FromLocale("");

    TPlanerBatchHost host;
    THauptForm form(host);
    std::string settingsDir, documentsDir, progDir;
    GetDefaultFolders(settingsDir, documentsDir, progDir);
    form.AppPath = settingsDir;
    form.UserPath = documentsDir;
    form.ProgName = ProgramName;
    form.ProgVersion = VASTREL_VERSION;
    const std::string mainProgram = ProgramDir + "Vastrel";
    form.QvPath = XlFileExists(mainProgram) ? mainProgram : std::string();
    form.IsBatch = IsBatchSession();
    form.Init(std::vector<std::string>(argv + 1, argv + argc));
    if (!form.CheckSchedule())
        host.ErrorBox("The schedule window is not available in this build: start QvPlaner with the name of a "
                      "schedule.");
    // the program's exit code is always 0, whatever happened
    return 0;
}
