#pragma once
// Where the running program is, what it is called, the standard user folders and the version
// text for titles and about boxes.

#include <string>

// Folder of the running executable, with a trailing "/".
extern std::string ProgramDir;
// File name of the executable without extension.
extern std::string ProgramName;
// The relative sub-path handed to InitTranslation (empty when it was absolute).
extern std::string SettingsSubPath;
// Program information: internal name (shown in captions), version and notice.
extern std::string ProgInternalName;
extern std::string ProgVersion;
extern std::string ProgNotice;
// "Version" and the version of InitProgInfo.
extern std::string ProgVersionText;

// Sets ProgramDir and ProgramName from the running executable (done once on first use, too).
void InitProgramLocation();

// The user's configuration folder ($XDG_CONFIG_HOME, else ~/.config); no trailing "/".
std::string GetAppDataFolder();
// GetAppDataFolder() + "/" + SubPath, created with its parents when Force; ProgramDir when the folder
// cannot be determined or created.
void GetAppDataSubFolder(const std::string& SubPath, bool Force, std::string& Dir);
// The Documents folder (XDG) and the folder programs are installed under.
std::string GetPersonalFolder();
std::string GetProgramFilesFolder();

// "Version" (translated) + " " + Version cut to Parts dotted components.
std::string MakeVersionText(const std::string& Version, int Parts);
// MakeVersionText of the program's version, or of Default when there is none.
std::string GetProgVersionText(int Parts, const std::string& Default);
// Fills the program information; Title = internal name + " (" + version text + ")", ExeDate = the
// executable's modification date as a short date.
void InitProgInfo(const std::string& DefName, const std::string& DefVersion, const std::string& DefNotice,
                  int Parts, std::string& Title, std::string& ExeDate);
