// The main program. A start with /force and task files runs those backup tasks without a display and
// ends with the exit code of the runs.

#include <climits>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

#include "backup/EngineInterfaces.h"
#include "foundation/BuConsts.h"
#include "foundation/PathUtils.h"
#include "mainwindow/BuMain.h"
#include "mainwindow/PowerActions.h"
#include "rtl/DateTime.h"

namespace {

std::string Env(const char* name, const std::string& def)
{
    const char* v = std::getenv(name);
    return v && *v ? std::string(v) : def;
}

std::string ProgramDir(const char* argv0)
{
    char buffer[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    std::string exe = n > 0 ? std::string(buffer, static_cast<size_t>(n)) : std::string(argv0);
    return GetParentDir(exe);
}

} // namespace

int main(int argc, char** argv)
{
    InitBuConsts();
    FormatSettings() = TFormatSettings::FromLocale("");
    std::string home = Env("HOME", "/tmp");
    TProgramFolders folders;
    folders.ProgramDir = ProgramDir(argv[0]);
    folders.AppDataDir = Env("XDG_CONFIG_HOME", home + "/.config");
    folders.DocumentsDir = Env("XDG_DOCUMENTS_DIR", home + "/Documents");
    folders.SystemTempDir = Env("TMPDIR", "/tmp");

    THeadlessInteraction interaction;
    // VASTREL_POWER_LOG names a file that receives the power actions instead of the system: a dry run.
    std::string powerLog = Env("VASTREL_POWER_LOG", "");
    TLogindPowerActions logind;
    TRecordingPowerActions recording(powerLog);
    IPowerActions& power = powerLog.empty() ? static_cast<IPowerActions&>(logind) : recording;

    std::vector<std::string> args(argv, argv + argc);
    TBuMainForm program(folders, interaction, power);
    return program.Run(args);
}
