// main() of the non-GUI test programs.
#include <clocale>
#include <cstdlib>
#include <ctime>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    // Every test runs with the same locale and time zone, whatever the caller's environment.
    ::setenv("LC_ALL", "C.UTF-8", 1);
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    ::setenv("VASTREL_SOURCE_DIR", VASTREL_SOURCE_DIR, 1);
    ::setenv("VASTREL_BINARY_DIR", VASTREL_BINARY_DIR, 1);
    std::setlocale(LC_ALL, "");
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
