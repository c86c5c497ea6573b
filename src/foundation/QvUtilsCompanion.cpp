#include "foundation/QvUtilsCompanion.h"

#include <filesystem>
#include <unistd.h>

#include "foundation/InitProg.h"
#include "foundation/QvUtilsFolders.h"
#include "foundation/QvUtilsTexts.h"
#include "foundation/XlFileUtils.h"
#include "platform/RegistryStore.h"
#include "rtl/Gettext.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* MainProgramName = "Vastrel";

std::string Absolute(const std::string& path)
{
    std::error_code ec;
    fs::path p = fs::absolute(path, ec);
    return ec ? path : p.lexically_normal().string();
}

} // namespace

std::string FindMainProgram()
{
    if (XlFileExists(MainProgramName))
        return Absolute(MainProgramName);
    InitProgramLocation();
    std::string beside = ProgramDir + MainProgramName;
    if (XlFileExists(beside))
        return beside;
    std::string value;
    if (RegReadString(TRegRoot::Machine, "Software\\Vastrel6", "Program", value) && !value.empty() &&
        XlFileExists(value))
        return Absolute(value);
    return std::string();
}

bool MigrateSettingsFromDefaultFolder(const std::string& FileName)
{
    std::string settingsDir, documentsDir, progDir;
    GetDefaultFolders(settingsDir, documentsDir, progDir);
    const std::string defaultFile = settingsDir + fs::path(FileName).filename().string();
    std::error_code ec;
    if (defaultFile == FileName || fs::equivalent(defaultFile, FileName, ec))
        return true;
    if (XlFileExists(FileName) || !XlFileExists(defaultFile))
        return false;
    try {
        fs::create_directories(fs::path(FileName).parent_path(), ec);
        fs::copy_file(defaultFile, FileName, ec);
    } catch (const std::exception&) {
        // like a first start: the settings begin empty
    }
    return true;
}

std::string GetProgramInfoText(const std::string& MainProgram, const std::string& ExeDate, int Parts)
{
    std::string s = ProgInternalName + GetBitnessText() + " (" + _("Version") + " " + ProgVersion + ") - " +
                    ExeDate + "\r\n" + GetAboutAddress();
    // the programs of one installation share their version: the main program's is ours
    if (!MainProgram.empty() && XlFileExists(MainProgram)) {
        std::string t = fs::path(MainProgram).filename().string() + GetBitnessText();
        if (Parts > 0)
            t += " (" + MakeVersionText(ProgVersion, Parts) + ")";
        s += "\r\n" + std::string(_("Part of program package:")) + "\r\n" + t;
    }
    return s;
}
