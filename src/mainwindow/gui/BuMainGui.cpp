#include "mainwindow/gui/BuMainGui.h"

#include <QApplication>
#include <exception>
#include <string>
#include <thread>

#include "backup/gui/Anzeige.h"
#include "backup/gui/ProgressSink.h"
#include "foundation/BuConsts.h"
#include "foundation/QvUtilsTexts.h"

int RunWithProgressWindow(int& argc, char** argv, const std::vector<std::string>& args,
                          const TProgramFolders& folders, IPowerActions& power)
{
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    TZeigFortschritt window;
    TWindowInteraction interaction(window);
    TWindowProgress progress(window, nullptr);
    TBuMainForm program(folders, interaction, power, &progress);
    progress.SetControl(&program.RunControl());
    bool loaded = false;
    progress.BeforeShow = [&window, &loaded] {
        if (!loaded) {
            loaded = true;
            window.LoadFromIni(SettingsFile);
            window.WriteVersion(GetProgNameVersion(4), UserNameText());
        }
    };

    int exitCode = 0;
    std::exception_ptr failure;
    std::thread run([&] {
        try {
            exitCode = program.Run(args);
        } catch (...) {
            failure = std::current_exception();
        }
        QMetaObject::invokeMethod(
            &app, [] { QApplication::quit(); }, Qt::QueuedConnection);
    });
    QApplication::exec();
    run.join();
    window.CloseView();
    if (failure)
        std::rethrow_exception(failure);
    return exitCode;
}
