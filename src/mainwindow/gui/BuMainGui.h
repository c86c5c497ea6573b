#pragma once
// The main program on a display: the program control runs on its own thread while this thread
// shows the progress window that follows its runs and asks its questions.

#include <string>
#include <vector>

#include "mainwindow/BuMain.h"
#include "mainwindow/PowerActions.h"

// Runs the program for args (args[0] the program) with the progress window and returns the process
// exit code. argc and argv go to the QApplication.
int RunWithProgressWindow(int& argc, char** argv, const std::vector<std::string>& args,
                          const TProgramFolders& folders, IPowerActions& power);
