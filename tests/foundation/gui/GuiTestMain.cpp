// main() of the GUI test program: one QApplication on the offscreen platform for all tests.
#include <QApplication>
#include <clocale>
#include <cstdlib>
#include <ctime>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    ::setenv("LC_ALL", "C.UTF-8", 1);
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    std::setlocale(LC_ALL, "");
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
