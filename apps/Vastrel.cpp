// The main program. A start with /force and task files runs those backup tasks and ends with the exit
// code of the runs: on a display with the progress window following them, without one unattended.
// Built twice: "Vastrel" without the window libraries, so that unattended runs start fast and never
// depend on them, and "Vastrel-window" with them. Where a display answers, the first hands its command
// line to the second.

#include <climits>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

#include "backup/EngineInterfaces.h"
#include "foundation/BuConsts.h"
#include "foundation/InitProg.h"
#include "foundation/PathUtils.h"
#include "foundation/WinApiUtils.h"
#include "mainwindow/BuMain.h"
#include "mainwindow/DisplayProbe.h"
#include "mainwindow/PowerActions.h"
#include "rtl/DateTime.h"
#ifdef VASTREL_WITH_WINDOWS
#include "backup/gui/EditorMain.h"
#include "mainwindow/gui/BuMainGui.h"
#endif

namespace {

std::string Env(const char* name, const std::string& def)
{
    const char* v = std::getenv(name);
    return v && *v ? std::string(v) : def;
}

} // namespace

int main(int argc, char** argv)
{
    InitProgramLocation();
#ifdef VASTREL_WITH_WINDOWS
    // the windowed build goes by the program's name (settings, language files, shortcuts)
    ProgramName = "Vastrel";
#else
    if (DisplayAvailable()) {
        const std::string windowed = ProgramDir + "Vastrel-window";
        ::execv(windowed.c_str(), argv);
        // without the windowed build the run goes on unattended
    }
#endif
    InitBuConsts();
    std::string title, exeDate;
    InitProgInfo("Vastrel", VASTREL_VERSION, "", 4, title, exeDate);
    FormatSettings() = TFormatSettings::FromLocale("");
    TProgramFolders folders;
    folders.ProgramDir = ProgramDir;
    folders.AppDataDir = GetAppDataFolder();
    folders.DocumentsDir = GetPersonalFolder();
    folders.SystemTempDir = GetTempDir();

    THeadlessInteraction interaction;
    // VASTREL_POWER_LOG names a file that receives the power actions instead of the system: a dry run.
    std::string powerLog = Env("VASTREL_POWER_LOG", "");
    TLogindPowerActions logind;
    TRecordingPowerActions recording(powerLog);
    IPowerActions& power = powerLog.empty() ? static_cast<IPowerActions&>(logind) : recording;

    std::vector<std::string> args(argv, argv + argc);
#ifdef VASTREL_WITH_WINDOWS
    if (DisplayAvailable()) {
        // "/edit [task]": the task editor until the main window opens it itself
        bool reported = false;
        std::string rest;
        if (GetStartFlags(
                args, ProgramDir, reported, [](const std::string&) {}, rest) &
            sfEdit)
            return RunTaskEditorWindow(argc, argv, GetTaskFileArg(args));
        return RunWithProgressWindow(argc, argv, args, folders, power);
    }
#endif
    TBuMainForm program(folders, interaction, power);
    return program.Run(args);
}
