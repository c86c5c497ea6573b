// main() of the GUI test program: one QApplication on the offscreen platform for all tests.
#include <QApplication>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <gtest/gtest.h>
#include <string>

#include "Screenshots.h"
#include "foundation/gui/PwdDlg.h"
#include "foundation/gui/ShowMessageDlg.h"

namespace {
// Without a QApplication, as in a batch run: the dialogs answer as nobody present.
int HeadlessProbe()
{
    const bool confirmed = ConfirmDialog("Overwrite?");
    const TModalResult error = ErrorDialog("Disk full", 0);
    std::string pwd = "kept";
    const TModalResult asked = AskPasswordCentered("Password", "Enter it", true, pwd);
    std::printf("confirm=%d error=%d password=%d %s\n", confirmed ? 1 : 0, error, asked, pwd.c_str());
    return 0;
}
} // namespace

int main(int argc, char** argv)
{
    ::setenv("LC_ALL", "C.UTF-8", 1);
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    std::setlocale(LC_ALL, "");
    if (argc > 1 && std::string(argv[1]) == "--headless-probe")
        return HeadlessProbe();
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    if (argc > 2 && std::string(argv[1]) == "--screenshots") {
        const int n = TakeScreenshots(argv[2]);
        std::printf("%d screenshots in %s\n", n, argv[2]);
        return n > 0 ? 0 : 1;
    }
    return RUN_ALL_TESTS();
}
