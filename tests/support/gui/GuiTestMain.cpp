// main() of the GUI test programs: one QApplication on the offscreen platform for all tests.
//   <program> [gtest options]          runs the tests
//   <program> --screenshots <folder>   pictures every registered window (support/gui/Screenshots.h)
//   <program> <command> [argument]     runs a command a test registered (support/gui/GuiTestMain.h)
#include "support/gui/GuiTestMain.h"

#include <QApplication>
#include <QThread>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <gtest/gtest.h>
#include <map>
#include <string>
#include <thread>

#include "support/WaitFor.h"
#include "support/gui/Screenshots.h"

namespace {
std::map<std::string, std::function<int(const std::string&)>>& Commands()
{
    static std::map<std::string, std::function<int(const std::string&)>> commands;
    return commands;
}
} // namespace

TGuiTestCommand::TGuiTestCommand(const char* option, std::function<int(const std::string& argument)> run)
{
    Commands()[option] = std::move(run);
}

int main(int argc, char** argv)
{
    ::setenv("LC_ALL", "C.UTF-8", 1);
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    ::setenv("VASTREL_SOURCE_DIR", VASTREL_SOURCE_DIR, 1);
    ::setenv("VASTREL_BINARY_DIR", VASTREL_BINARY_DIR, 1);
    std::setlocale(LC_ALL, "");
    if (argc > 1) {
        auto it = Commands().find(argv[1]);
        if (it != Commands().end())
            return it->second(argc > 2 ? argv[2] : "");
    }
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    // WaitFor keeps timers and queued calls running while a test on the main thread waits.
    SetWaitForIdle([] {
        if (QThread::currentThread() == QApplication::instance()->thread())
            QApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    });
    if (argc > 2 && std::string(argv[1]) == "--screenshots") {
        const int n = TakeScreenshots(argv[2]);
        std::printf("%d screenshots in %s\n", n, argv[2]);
        return n > 0 ? 0 : 1;
    }
    return RUN_ALL_TESTS();
}
