// QvStarter: runs groups of backup tasks in the main program under other accounts. With /force it runs
// the named groups without a window and ends; otherwise it opens its window (where a display answers).

#include <cstdlib>
#include <string>
#include <vector>

#include "foundation/BuConsts.h"
#include "foundation/InitProg.h"
#include "foundation/LangUtils.h"
#include "foundation/QvUtilsFolders.h"
#include "mainwindow/DisplayProbe.h"
#include "mainwindow/PowerActions.h"
#include "rtl/DateTime.h"
#include "starter/StarterRun.h"
#ifdef VASTREL_WITH_WINDOWS
#include "starter/gui/StarterMain.h"
#endif

namespace {

// The main program's power actions serve the starter too.
class TStarterPower : public IStarterPower
{
public:
    explicit TStarterPower(IPowerActions& actions) : FActions(actions) {}
    std::string EndSession(TDownMode Mode) override { return FActions.EndSession(Mode); }
    std::string Suspend(bool Hibernate) override { return FActions.Suspend(Hibernate); }
    std::string LockSession() override { return FActions.LockSession(); }

private:
    IPowerActions& FActions;
};

} // namespace

int main(int argc, char** argv)
{
    InitProgramLocation();
    // the companion programs speak the language chosen in the main program's configuration file
    InitTranslation("Vastrel6", "Vastrel.cfg", {"vastrel"});
    InitBuConsts();
    std::string title, exeDate;
    InitProgInfo("QvStarter", VASTREL_VERSION, "", 3, title, exeDate);
    FormatSettings() = TFormatSettings::FromLocale("");

    // VASTREL_POWER_LOG names a file that receives the power actions instead of the system: a dry run.
    const char* powerLogEnv = std::getenv("VASTREL_POWER_LOG");
    const std::string powerLog = powerLogEnv ? powerLogEnv : "";
    TLogindPowerActions logind;
    TRecordingPowerActions recording(powerLog);
    TStarterPower power(powerLog.empty() ? static_cast<IPowerActions&>(logind) : recording);

    std::vector<std::string> args(argv + 1, argv + argc);
    std::string settingsDir, documentsDir, progDir;
    GetDefaultFolders(settingsDir, documentsDir, progDir);
    TRunAsProcesses processes;
#ifdef VASTREL_WITH_WINDOWS
    if (DisplayAvailable())
        return RunStarterWindow(argc, argv, args, settingsDir, processes, power);
#endif
    THeadlessStarterHost host;
    TStarter starter(host, processes, &power);
    starter.Caption = title;
    starter.CertDir = ProgramDir;
    starter.Init(args, settingsDir, ProgramName);
    if (!starter.CheckForce())
        host.ErrorBox("QvStarter: its window needs a display; without one only /force runs.");
    // the program's exit code is always 0, whatever happened
    return 0;
}
