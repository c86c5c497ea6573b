#pragma once
// Routines of the companion programs: finding the main program, taking over settings files from the
// default settings folder, and the text of the information box.

#include <string>

// The main program's executable "Vastrel": in the current folder, else beside the running program,
// else the machine-wide registry value Program of Software\Vastrel6; always as an absolute path.
// Empty when the file does not exist.
std::string FindMainProgram();

// Copies the file of the same name from the default settings folder to FileName when FileName does
// not exist yet and the default one does (true then, errors ignored). True also when FileName is in
// the default folder itself; false otherwise.
bool MigrateSettingsFromDefaultFolder(const std::string& FileName);

// The information box text: the program, its version and ExeDate, the about lines and, when the
// main program's version can be read, "Part of program package:" and its name and version.
std::string GetProgramInfoText(const std::string& MainProgram, const std::string& ExeDate, int Parts);
