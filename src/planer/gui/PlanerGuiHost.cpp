#include "planer/gui/PlanerGuiHost.h"

#include <QApplication>
#include <QEventLoop>
#include <QMetaObject>
#include <thread>

#include "foundation/gui/ShowMessageDlg.h"
#include "foundation/gui/StyleUtils.h"
#include "planer/gui/PlanerWindow.h"

void TPlanerGuiHost::ErrorBox(const std::string& text)
{
    ErrorDialog(text);
}

void TPlanerGuiHost::InfoBox(const std::string& text, int waitSeconds)
{
    InfoDialog(text, waitSeconds);
}

bool TPlanerGuiHost::Confirm(const std::string& text)
{
    return ConfirmDialog(text);
}

uint32_t TPlanerGuiHost::RunMainProgram(const std::string& exe, const std::string& params, bool wait)
{
    if (!wait || !QApplication::instance())
        return StartMainProgram(exe, params, wait);
    uint32_t result = 0;
    QEventLoop loop;
    std::thread run([&] {
        result = StartMainProgram(exe, params, true);
        QMetaObject::invokeMethod(
            &loop, [&loop] { loop.quit(); }, Qt::QueuedConnection);
    });
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    run.join();
    return result;
}

int RunPlanerWindow(int& argc, char** argv, THauptForm& form, TPlanerGuiHost& /*host*/)
{
    QApplication app(argc, argv);
    SetDarkStyle("Windows10 Dark");
    if (form.UseDarkMode)
        ApplyStyle(true);
    if (form.CheckSchedule())
        return 0;
    TPlanerWindow window(form);
    if (form.Config.Left != 0 || form.Config.Top != 0)
        window.move(form.Config.Left, form.Config.Top);
    window.show();
    QApplication::exec();
    return 0;
}
