#pragma once
// The restore program's command line and the [Config] section of its settings file.

#include <string>
#include <vector>

#include "rtl/DateTime.h"

struct TRestoreCommandLine
{
    int RMode = -1;       // 0 selected files, 1 whole directory, 2 files from schedule; -1 not given
    bool ZipMode = false; // start on the zip page
    bool Dark = false;
    std::string Path;               // the "path:" folder
    std::vector<std::string> Files; // the first whole, the others by their file names
    bool HasArguments = false;
};

// Reads the arguments (without the program name). An argument "/x…" is an option only when the text
// before its first ":" holds no further "/" and it names no existing file; "-x…" always is.
TRestoreCommandLine ParseRestoreCommandLine(const std::vector<std::string>& args);

struct TRestoreStart
{
    bool ZipMode = false;
    bool SingleZip = false;            // "Single zip archive" checked
    std::string ZipArchive;            // the archive box
    std::string Source;                // the folder to show
    std::vector<std::string> FileList; // file names to preselect
};
// What the window starts with for a command line (mode and the "dir"/"sched" options are applied by
// the caller): with files, the first decides; without, the "path:" folder when it exists.
TRestoreStart ResolveRestoreStart(const TRestoreCommandLine& cmd, const std::string& Source);

struct TRestoreConfig
{
    int Top = -1, Left = -1, Height = 0, Width = 0, PixelsPerInch = 0;
    std::string Split;
    std::string Source;
    std::string Target;
    int Mode = 1;
    bool ReadProtected = true;
    bool ArchiveBit = false;
    int Unpack = 0; // bit 0 gz/gze, bit 1 zip files, bit 2 creation time
    bool SubDirs = true;
    bool EmptyDirs = false;
    int Timespan = 2;
    bool IgnoreDst = false;
    int BakCopies = 0;
    std::string BakSuffix = "bak-#";
    int BakDate = 0;
    int RestoreDate = 0;
    std::string SubDirMask = "*.*";
    std::string DriveID;
    int FilterMode = 0;
    std::string Filter;
    bool ZipDir = false;
    std::string LastZipArchive;
};

// Reads [Config]; a missing file gives the defaults (Target = DefaultTarget, dates = Today).
TRestoreConfig ReadRestoreConfig(const std::string& IniName, const std::string& DefaultTarget, int Today);
// Writes [Unicode] and [Config]; the file's other sections stay. False with Error on a write failure.
bool WriteRestoreConfig(const std::string& IniName, const TRestoreConfig& Config, const std::string& Version,
                        std::string& Error);
// The list width from the Split value: empty 800, "n‰" that share of PanelWidth, else pixels; a value
// outside half to four fifths of the panel gives 80 per cent.
int SplitToWidth(const std::string& Split, int PanelWidth);
