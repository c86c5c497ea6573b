#pragma once
// The command line of the main program: the start flags, the option parser and argument list files.
//
// Options are written "/name" or "-name", valued options "name:value"; any leading part of a keyword
// names it, and the keywords are tried in a fixed order. An argument "@file" names an argument list
// file (one argument per line, ";" starts a comment). Because POSIX paths begin with "/", an argument
// "/x…" is an option only when the text before its first ":" holds no further "/" and does not name
// an existing file; "-x…" is always an option.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "backup/TaskSettings.h"
#include "backup/TimePeriod.h"
#include "foundation/BuConsts.h"
#include "rtl/DateTime.h"

// Start flags.
constexpr uint8_t sfBatch = 1;
constexpr uint8_t sfAuto = 2;
constexpr uint8_t sfOwnIni = 4;
constexpr uint8_t sfStartDialogRun = 8;
constexpr uint8_t sfEndAction = 0x10;
constexpr uint8_t sfEdit = 0x20;
constexpr uint8_t sfElevate = 0x40;

// What the command line sets (defaults of a start without arguments).
struct TCmdLineValues
{
    std::string CmdTasks;
    bool IsPortable = false;
    std::string IniName, DirName, LDir, TDir, AltZip, SubDir, SDir, ReplSDrv, User, Pwd;
    TDownMode LogOffMode = dmNone;
    TSuspendMode SuspendMode = smNone;
    bool LockDown = false;
    TThreadPriority BuThPr = tpNormal;
    int StartDelay = 0;
    // The time slot of /timeslot: and /gap: (tmOff when none is given).
    TTimePeriod Tp{tmOff, trModify, 1, 0.25, 0, 0};
    TStatusStyle StatusStyle = ssDefault;
    int Wt = -1;
    int QvInstance = 0;
    int BuM = 0;
    int Pm = -1;
    bool AllowAction = true;
    uint32_t NoActionOnError = 0;
    bool DoEdit = false;
    TInteraction InterActiveMode = iaNone;
    bool NoSplash = false, SoundOn = true, UpdateCheck = true, UseDarkMode = false, NoScale = false;
    bool StayRun = false, NoAutoMenu = false, BuParallel = false;
    bool StartTask = false, ProtTask = false, ForceTask = false, CleanTask = false, VerifyTask = false,
         RestTask = false;
    bool DelTemp = true, ResetForm = false;
    int StartOrigin = 0;
};

// True when an argument is an option (see above).
bool IsOptionArg(const std::string& arg);

// Reads an argument list file: items joined by "|". A missing file is reported once through
// report (when reportFlag is set), which then clears reportFlag. programDir is put in front of a
// relative name that does not exist.
std::string ReadArgListFile(const std::string& fileName, const std::string& programDir, bool& reportFlag,
                            const std::function<void(const std::string&)>& report);

// The start flags of the arguments; args receives the remaining arguments, each after one blank.
uint8_t GetStartFlags(const std::vector<std::string>& argv, const std::string& programDir, bool& reportFlag,
                      const std::function<void(const std::string&)>& report, std::string& args);
void ScanStartOption(const std::string& arg, uint8_t& flags, std::string& out);
// The first argument that is no option and no argument list.
std::string GetTaskFileArg(const std::vector<std::string>& argv);

void ParseCmdOption(TCmdLineValues& values, const std::string& arg);
void ParseCmdLine(TCmdLineValues& values, const std::vector<std::string>& argv, const std::string& programDir,
                  bool& reportFlag, const std::function<void(const std::string&)>& report);
// "n[M][R]" in seconds; random draws through rnd(n) giving 0..n-1.
int ParseDelayOption(const std::string& value, const std::function<int(int)>& rnd);
bool ParseCmdDate(std::string& s, TDateTime& date);
void ParseTimeSlotOption(const std::string& value, TTimePeriod& period);
