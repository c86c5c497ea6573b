#pragma once
// The task editor as a program of its own: "Vastrel /edit [task.buj]" on a display opens the editor on
// the task file (a new task without one) and ends when the editor is closed.

#include <string>

// Runs the editor for taskFile ("" = a new task); the process exit code.
int RunTaskEditorWindow(int& argc, char** argv, const std::string& taskFile);
