#include "tools/ExtViewSettings.h"

#include "foundation/StringUtils.h"

namespace {
constexpr const char* UtilitiesSection = "Utilities";
}

void ReadExternalPrograms(const TMemIniFile& ini, TExternalPrograms& programs)
{
    programs.ViewProg = ini.ReadString(UtilitiesSection, "Viewer", "");
    programs.CompProg = ini.ReadString(UtilitiesSection, "CompareProg", "");
    programs.CompOpt = ini.ReadString(UtilitiesSection, "CompareOptions", "");
}

void WriteExternalPrograms(TMemIniFile& ini, const TExternalPrograms& programs)
{
    ini.WriteString(UtilitiesSection, "Viewer", programs.ViewProg);
    ini.WriteString(UtilitiesSection, "CompareProg", programs.CompProg);
    ini.WriteString(UtilitiesSection, "CompareOptions", programs.CompOpt);
}

std::string DefaultCompareOptions(const std::string& compProg)
{
    if (TextPos("winmerge", compProg) > 0)
        return "/e /x /s /u /wl /wr";
    return {};
}
