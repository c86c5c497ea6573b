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
#include "tools/RestoreRun.h"
#include "tools/ToolRuns.h"
#ifdef VASTREL_WITH_WINDOWS
#include "backup/gui/EditorMain.h"
#include "mainwindow/BuMainInstance.h"
#include "mainwindow/gui/BuMainForm.h"
#include "mainwindow/gui/BuMainGui.h"
#include "tools/gui/ConfirmFilesDlg.h"
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

    // "/restore": the restore tool runs the task files; on a display the found files are confirmed in
    // the confirmation view, unattended nobody is asked.
#ifdef VASTREL_WITH_WINDOWS
    static TDialogConfirmFiles confirm;
#else
    static THeadlessConfirmFiles confirm;
#endif
    SetRestoreTaskRunner([](const std::string& taskFile, int wait, int selAction, TInteraction mode,
                            IRunHost& host, IInteraction& ask, IProgressSink& progress, TRunControl& control,
                            TTaskLog& log) {
        return StartRestore(taskFile, wait, selAction, mode, {host, ask, progress, control, log, confirm});
    });

    std::vector<std::string> args(argv, argv + argc);
#ifdef VASTREL_WITH_WINDOWS
    if (DisplayAvailable()) {
        // What the start asks for decides between the main window and a run with the progress window.
        TCmdLineValues cmd;
        bool reportFlag = false;
        std::string rest;
        auto quiet = [](const std::string&) {};
        const uint8_t flags = GetStartFlags(args, ProgramDir, reportFlag, quiet, rest);
        // "/edit [task]": the task editor until the main window opens it itself
        if (flags & sfEdit)
            return RunTaskEditorWindow(argc, argv, GetTaskFileArg(args));
        ParseCmdLine(cmd, args, ProgramDir, reportFlag, quiet);
        const bool batch = cmd.ProtTask || cmd.CleanTask || cmd.VerifyTask || cmd.RestTask || cmd.ForceTask ||
                           cmd.LogOffMode != dmNone;
        if (!batch)
            return RunMainWindow(argc, argv, args, folders, power);
        if (CanHandOverBatch(flags, cmd)) {
            // The running main window takes the run and answers with its exit code.
            THandOver request{hmRun, std::string(), args};
            char cwd[PATH_MAX];
            if (::getcwd(cwd, sizeof cwd))
                request.Dir = cwd;
            int exitCode = 0;
            if (HandOver(InstanceDir(), request, exitCode) == hoDone)
                return exitCode;
        }
        return RunWithProgressWindow(argc, argv, args, folders, power);
    }
#endif
    TBuMainForm program(folders, interaction, power);
    program.RunToolTask = [&program, &interaction](char kind, const std::string& taskFile,
                                                   TInteraction interAct, TTaskLog& log,
                                                   IProgressSink& progress, TRunControl& control) {
        return RunToolTaskFile(kind, taskFile, interAct, program, interaction, log, progress, control);
    };
    return program.Run(args);
}
