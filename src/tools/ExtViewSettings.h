#pragma once
// The external programs of the confirmation view: a viewer for a listed file and a comparison program
// with its options, kept in section [Utilities] of the program settings file.

#include <string>

#include "foundation/IniFileUtils.h"

struct TExternalPrograms
{
    std::string ViewProg; // empty: the desktop's default application opens the file
    std::string CompProg;
    std::string CompOpt;
};

void ReadExternalPrograms(const TMemIniFile& ini, TExternalPrograms& programs);
void WriteExternalPrograms(TMemIniFile& ini, const TExternalPrograms& programs);

// The options a newly chosen comparison program starts with: WinMerge's own for a program whose path
// names it (any case), else none.
std::string DefaultCompareOptions(const std::string& compProg);
