#include "foundation/QvUtilsTexts.h"

#include "foundation/BuConsts.h"
#include "foundation/IniFileUtils.h"
#include "foundation/InitProg.h"
#include "foundation/NumberUtils.h"
#include "foundation/PlaceHolders.h"
#include "foundation/StringUtils.h"
#include "foundation/TextFilter.h"
#include "rtl/Gettext.h"
#include "rtl/SysUtils.h"

namespace {

// The holder named in the about box.
const char* const AboutHolderName = "The Vastrel authors";
const char* const AboutHolderAddress = "Vastrel project";

size_t CodePointCount(std::string_view s)
{
    size_t n = 0;
    for (unsigned char c : s)
        if ((c & 0xC0) != 0x80)
            ++n;
    return n;
}

} // namespace

std::string CmdSwitch(std::string_view Name)
{
    return " /" + std::string(Name);
}

std::string CmdOption(std::string_view Name, std::string_view Value)
{
    std::string option = "/" + std::string(Name) + ":" + std::string(Value);
    if (option.find(' ') == std::string::npos)
        return " " + option;
    std::string quoted = "\"";
    for (char c : option) {
        if (c == '"')
            quoted += '"';
        quoted += c;
    }
    return " " + quoted + "\"";
}

std::string CmdOptionInt(std::string_view Name, int Value)
{
    return CmdOption(Name, std::to_string(Value));
}

std::string GetErrorStateText(int State)
{
    static const char* const texts[] = {"",
                                        N_("Task not found"),
                                        N_("Destination path not found"),
                                        N_("Source directory not found"),
                                        N_("Errors during backup"),
                                        N_("The backup was aborted by the user or due to an error"),
                                        N_("Invalid task configuration")};
    if (State == 0)
        return "";
    if (State < 0 || State > 6)
        return _("Unexpected error") + "!";
    return _(texts[State]) + "!";
}

std::string DirErrorFormat(uint32_t Code)
{
    if (Code == 2 || Code == 3)
        return _("Directory \"%s\" not found!");
    return _("Error accessing directory: \"%s\"");
}

std::string GetLogModeText(uint8_t Flags)
{
    int level = Flags & 3;
    if (level == 0)
        return _("Off");
    std::string letters;
    if (Flags & 0x40)
        letters = "P";
    if (Flags & 0x80)
        letters = "E" + letters;
    std::string text;
    if (level == 2) {
        text = _("Long");
        if (Flags & 0x04)
            letters = "S" + letters;
    } else if (level == 3) {
        text = _("Verbose");
    } else {
        text = _("Short");
        if (Flags & 0x04)
            letters = "W" + letters;
    }
    if (!letters.empty())
        text += " (" + letters + ")";
    return text;
}

std::string GetCopyActionText(bool Restore, bool Compressed, bool Encrypted)
{
    std::string verb;
    if (Restore && Compressed)
        verb = Encrypted ? _("uncompressing") + " " + _("and") + " " + _("decrypting") : _("uncompressing");
    else if (Restore)
        verb = Encrypted ? _("decrypting") : _("copying");
    else if (Compressed)
        verb = Encrypted ? _("compressing") + " " + _("and") + " " + _("encrypting") : _("compressing");
    else
        verb = Encrypted ? _("encrypting") : _("copying");
    if (!verb.empty() && verb[0] >= 'a' && verb[0] <= 'z')
        verb[0] = static_cast<char>(verb[0] - 32);
    return verb + " " + _("of \"%s\" (%s) to \"%s\"");
}

std::string FilterDescription(const TTextFilter& Filter)
{
    if (Filter.Mode() == fmOff)
        return _("All files");
    std::string prefix = Filter.Regular() ? "RE: " : "";
    std::string pattern = Filter.Mode() == fmInclude ? _("only %s") : _("all except %s");
    return prefix + SafeFormat(pattern, {Filter.GetFilter()});
}

int GetAutoAesStrength(std::string_view Password)
{
    if (Password.empty())
        return 0;
    return CodePointCount(Password) >= 16 ? 3 : 1;
}

std::string GetBackupModeText(const TUnicodeIniFile& Ini)
{
    if (Ini.ReadBool("Global", "ClearDest", false)) {
        int mode = (Ini.ReadBool("Global", "ArchBit", false) ? 1 : 0) +
                   (Ini.ReadBool("Global", "UseArch", false) ? 2 : 0);
        static const char* const modes[] = {N_("Update"), N_("Full (new)"), N_("Differential"),
                                            N_("Incremental")};
        return _("Backup mode") + ": " + _(modes[mode]);
    }
    int sync = Ini.ReadInteger("Global", "SyncMode", 0);
    if (sync != 0) {
        std::string kind = sync == 1   ? _("All files")
                           : sync == 2 ? _("Selected files, retain other")
                           : sync == 3 ? _("Selected files, delete other")
                                       : _("Off");
        return _("Update") + "/" + _("Synchronize") + " - " + kind;
    }
    return _("Backup mode") + ": " + _("Update");
}

std::string GetDestModeText(int Mode, int64_t MaxSize)
{
    static const char* const texts[] = {
        N_("Separate directories for drives"),     N_("Full original directory structure"),
        N_("One directory without full path"),     N_("Separated by root directory"),
        N_("All files into one zip archive"),      N_("Separated by root directory"),
        N_("Separated by drive and subdirectory"), N_("Separated by subdirectory")};
    std::string text = Mode <= 3 ? _("Separate files") : _("Zip archive(s)");
    if (Mode >= 0 && Mode <= 7)
        text += " - " + _(texts[Mode]);
    if (Mode >= 4 && MaxSize > 0)
        text += " (<= " + FormatSize(true, MaxSize) + ")";
    return text;
}

std::string FormatSize(bool NoZeroDecimals, int64_t Size)
{
    return FormatByteSize(ProgSettings.LogSettings.DecimalSizes, NoZeroDecimals,
                          FormatSettings().DecimalSeparator, Size);
}

std::string CopyProgressText(int Count, int Total, int64_t CopiedSize, int64_t TotalSize)
{
    std::string pattern = _("%u of %u files copied (%s of %s)");
    if (Count > 9999 || Total > 9999) {
        pattern = ReplaceTextIgnoreCase(pattern, "%u", "%.0n");
        return SafeFormat(pattern, {static_cast<double>(Count), static_cast<double>(Total),
                                    FormatSize(true, CopiedSize), FormatSize(true, TotalSize)});
    }
    return SafeFormat(pattern, {Count, Total, FormatSize(true, CopiedSize), FormatSize(true, TotalSize)});
}

std::string DateTimeToDisplayStr(TDateTime DateTime)
{
    if (DateTime < EncodeDate(2000, 1, 1))
        return "";
    return FormatDateTime(DateDisplayFormat, DateTime) + " " + FormatDateTime(TimeDisplayFormat, DateTime);
}

std::string UserNameText()
{
    return _("User name: ") + CurrentUser;
}

std::string GetAboutNoticeText()
{
    return "\u00A9 " + YearText + " " + AboutHolderName;
}

std::string GetAboutAddress()
{
    return GetAboutNoticeText() + "\r\n" + AboutHolderAddress;
}

std::string LogIndent(int Kind)
{
    return Kind == 3 ? "     -> " : "      ";
}

std::string ExtToFileTypeEntry(std::string_view Ext)
{
    if (Ext.empty() || Ext == ".")
        return "<ohne>";
    if (Ext.front() == '.')
        Ext.remove_prefix(1);
    return std::string(Ext);
}

std::string FileCountText(int64_t Count, bool InBrackets)
{
    std::string text = FormatCount(_("No files"), _("1 file"), _("%u files"), Count, true);
    return InBrackets ? " (" + text + ")" : text;
}

std::string OrdinalText(int N)
{
    switch (N) {
    case 0:
        return _("no ");
    case 1:
        return _("1st ");
    case 2:
        return _("2nd ");
    case 3:
        return _("3rd ");
    default:
        return SafeFormat(_("%dth "), {N});
    }
}

std::string TimeStampToStr(TDateTime DateTime)
{
    if (DateTime < 1 || DateTime >= 219148)
        return _("Invalid timestamp");
    return FormatDateTime("yyyy-mm-dd hh:nn:ss", DateTime);
}

std::string DateToIniComment(TDateTime DateTime)
{
    if (DateTime <= 0)
        return "";
    return " ; " + FormatDateTime("yyyy-mm-dd", DateTime);
}

std::string WeekdaysToStr(uint32_t DayMask)
{
    std::string out;
    for (int bit = 0; bit < 7; ++bit) {
        if (!(DayMask & (1u << bit)))
            continue;
        if (!out.empty())
            out += ',';
        out += GetShortDayName(bit + 1);
    }
    return out;
}

std::string MakeCaption(std::string_view Text, std::string_view FileName)
{
    std::string caption = ProgInternalName.empty() ? ProgramName : ProgInternalName;
    if (!Text.empty())
        caption += " - " + std::string(Text);
    if (!FileName.empty()) {
        size_t slash = FileName.rfind('/');
        caption +=
            " [" + std::string(slash == std::string_view::npos ? FileName : FileName.substr(slash + 1)) + "]";
    }
    return caption;
}

std::string GetBitnessText()
{
    return sizeof(void*) == 8 ? " - 64-bit" : " - 32-bit";
}

std::string GetProgNameVersion(int Parts)
{
    std::string text = (ProgInternalName.empty() ? ProgramName : ProgInternalName) + GetBitnessText();
    if (Parts > 0)
        text += " (" + GetProgVersionText(Parts, "0.0.0.0") + ")";
    return text;
}
