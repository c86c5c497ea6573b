#pragma once
// How the security copies of a backup are named, as the verify, restore and cleanup tools need to know
// it: read from a backup task file, or edited in the tools' dialog.

#include <string>

#include "foundation/BuConsts.h"

class TMemIniFile;

// Reads the naming of the security copies of a backup task file opened for reading (section [Global]);
// missing keys give the program's settings. Both selections come back empty and the directory mode
// sdNone; callers set the selections themselves.
void ReadBackupSecSettings(const TMemIniFile& ini, TSecSettings& BakSec, TSecSettings& SyncSec);
// A backup task stores limits behind its suffix: keep what stands before the first "/", else the text
// up to and including the first "#", else the whole text ("bak-#3/4/2" gives "bak-#3", "bak-#3"
// gives "bak-#").
std::string CutSuffixLimits(const std::string& suffix);
