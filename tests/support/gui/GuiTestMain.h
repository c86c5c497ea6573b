#pragma once
// The main() of the GUI test programs (one QApplication on the offscreen platform for all tests) and the
// commands a test can make it run instead of the tests.

#include <functional>
#include <string>

// Registers a command: `<program> <option> [argument]` runs it before the QApplication exists (as a
// batch run would) and exits with its result. Use as a static object in a test file.
struct TGuiTestCommand
{
    TGuiTestCommand(const char* option, std::function<int(const std::string& argument)> run);
};
