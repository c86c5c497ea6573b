// QvPlaner: alternating backup schedules. Started with the name of a schedule (by a scheduled task or a
// desktop shortcut) it runs that schedule's next step through the main program and ends; without one
// it opens its window where a display answers.

#include <string>
#include <vector>

#include "foundation/BuConsts.h"
#include "foundation/InitProg.h"
#include "foundation/LangUtils.h"
#include "foundation/QvUtilsFolders.h"
#include "foundation/XlFileUtils.h"
#include "planer/PlanerHost.h"
#include "platform/LoginSession.h"
#include "rtl/DateTime.h"
#ifdef VASTREL_WITH_WINDOWS
#include "mainwindow/DisplayProbe.h"
#include "planer/gui/PlanerGuiHost.h"
#endif

namespace {

void SetUp(THauptForm& form, const std::vector<std::string>& args)
{
    std::string settingsDir, documentsDir, progDir;
    GetDefaultFolders(settingsDir, documentsDir, progDir);
    form.AppPath = settingsDir;
    form.UserPath = documentsDir;
    form.ProgName = ProgramName;
    form.ProgVersion = VASTREL_VERSION;
    const std::string mainProgram = ProgramDir + "Vastrel";
    form.QvPath = XlFileExists(mainProgram) ? mainProgram : std::string();
    form.IsBatch = IsBatchSession();
    form.Init(args);
}

} // namespace

int main(int argc, char** argv)
{
    InitProgramLocation();
    // the companion programs speak the language chosen in the main program's configuration file
    InitTranslation("Vastrel6", "Vastrel.cfg", {"vastrel"});
    InitBuConsts();
    std::string title, exeDate;
    InitProgInfo("QvPlaner", VASTREL_VERSION, "", 3, title, exeDate);
    FormatSettings() = TFormatSettings::FromLocale("");
    const std::vector<std::string> args(argv + 1, argv + argc);

#ifdef VASTREL_WITH_WINDOWS
    // An interactive start with a display shows its messages in boxes and opens the window when no
    // schedule runs; a batch start never opens one.
    if (!IsBatchSession() && DisplayAvailable()) {
        TPlanerGuiHost host;
        THauptForm form(host);
        SetUp(form, args);
        return RunPlanerWindow(argc, argv, form, host);
    }
#endif
    TPlanerBatchHost host;
    THauptForm form(host);
    SetUp(form, args);
    if (!form.CheckSchedule())
        host.ErrorBox(
            "QvPlaner: its window needs a display; without one start it with the name of a schedule.");
    // the program's exit code is always 0, whatever happened
    return 0;
}
