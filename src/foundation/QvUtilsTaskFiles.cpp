#include "foundation/QvUtilsTaskFiles.h"

#include <sys/stat.h>

#include "foundation/BuConsts.h"
#include "foundation/HListBox.h"
#include "foundation/IniFileUtils.h"
#include "foundation/NumberUtils.h"
#include "foundation/PathUtils.h"
#include "foundation/PlaceHolders.h"
#include "foundation/QvUtilsFolders.h"
#include "foundation/QvUtilsNames.h"
#include "foundation/QvUtilsTexts.h"
#include "platform/FileText.h"
#include "rtl/Gettext.h"
#include "rtl/SysUtils.h"

namespace {

const char* const TaskNamePlaceholder = "%taskname%";

std::string LowerAscii(std::string s)
{
    for (char& c : s)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c + 32);
    return s;
}

bool HasTaskName(const std::string& name)
{
    return LowerAscii(name).find(TaskNamePlaceholder) != std::string::npos;
}

bool BeginsWithDest(const std::string& name)
{
    return LowerAscii(name.substr(0, 6)) == "%dest%";
}

// The task file's name without folder and extension.
std::string TaskNameOf(const std::string& taskFile)
{
    return DeleteExtension(GetLastDirName(taskFile));
}

std::string ReplaceTaskName(const std::string& name, const std::string& taskFile)
{
    return ReplaceTextIgnoreCase(name, TaskNamePlaceholder, TaskNameOf(taskFile));
}

std::string InLogFolder(const std::string& name)
{
    return IsAbsolutePath(name) ? name : GetLogDir() + name;
}

std::string RelativeToTaskDir(const std::string& fileName)
{
    return ActiveTaskDir.empty() ? fileName : MakeRelativePath(ActiveTaskDir, fileName);
}

bool IsFile(const std::string& name)
{
    struct stat st
    {
    };
    return !name.empty() && ::stat(name.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// A 32-bit value of a task file taken unsigned: decimal (also negative, as a signed writer leaves it)
// or "$"/"0x" hexadecimal; 0 when it is missing or no number.
uint32_t ReadUnsigned32(const TMemIniFile& ini, const std::string& section, const std::string& ident)
{
    std::string text(TrimBlanks(ini.ReadString(section, ident, "")));
    int64_t value = 0;
    if (text.empty())
        return 0;
    if (text[0] == '$' || (text.size() > 1 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))) {
        if (!TryHexToInt64(text.substr(text[0] == '$' ? 1 : 2), value))
            return 0;
        return static_cast<uint32_t>(value);
    }
    size_t i = text[0] == '-' || text[0] == '+' ? 1 : 0;
    if (i >= text.size() || text.size() > 20)
        return 0;
    uint64_t acc = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9')
            return 0;
        acc = acc * 10 + static_cast<uint64_t>(text[i] - '0');
    }
    if (text[0] == '-')
        acc = 0 - acc;
    return static_cast<uint32_t>(acc);
}

} // namespace

std::string GetTaskFileName(const std::string& Name, const std::string& Ext)
{
    if (Name.empty())
        return Name;
    std::string path = ExpandPathPlaceholders(Name);
    if (!IsAbsolutePath(path) && !ActiveTaskDir.empty())
        path = MakeAbsolutePath(ActiveTaskDir, path);
    return ForceExtension(path, Ext, 0);
}

void AddTaskToHistory(THistoryList& List, const std::string& FileName, std::string& RelName)
{
    List.RemString(FileName);
    RelName = RelativeToTaskDir(FileName);
    List.AddString(RelName);
}

void StringsToHistory(const TStringList& Strings, THistoryList& List)
{
    List.ClearAll();
    for (int i = Strings.Count() - 1; i >= 0; --i)
        if (Strings.Objects(i) == 0)
            List.AddString(Strings[i]);
}

void AddTaskToList(TStringList& Strings, const std::string& FileName, int Index, intptr_t Obj)
{
    std::string name = RelativeToTaskDir(FileName);
    int found = Strings.IndexOf(name);
    if (found < 0) {
        int at = Index < 0 ? 0 : std::min(Index, Strings.Count());
        Strings.Insert(at, name);
        Strings.SetObject(at, Obj);
    } else if (Index < 0 && found > 0) {
        Strings.Delete(found);
        Strings.Insert(0, name);
        Strings.SetObject(0, Obj);
    }
}

void SetFileTypes(std::vector<TFileTypeItem>& Items, const std::string& Text)
{
    Items.clear();
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= Text.size()) {
        size_t bar = Text.find('|', start);
        if (bar == std::string::npos) {
            parts.push_back(Text.substr(start));
            break;
        }
        parts.push_back(Text.substr(start, bar - start));
        start = bar + 1;
    }
    if (Text.empty())
        return;
    for (size_t i = 0; i + 1 < parts.size(); i += 2)
        Items.push_back({parts[i], parts[i + 1]});
}

std::string ExpandLogName(const std::string& LogName, const std::string& TaskFile, const std::string& Dest,
                          bool InLogDir)
{
    if (LogName.empty())
        return "";
    std::string result = LogName;
    if (HasTaskName(result)) {
        if (TaskFile.empty())
            return "";
        result = ReplaceTaskName(result, TaskFile);
    }
    if (result.empty())
        return "";
    if (!BeginsWithDest(result))
        result = ExpandLogPlaceholders(result, Dest);
    else if (IsVolumeAvailable(Dest))
        result = ExpandLogPlaceholders(result, GetVolumePath(Dest, false));
    else
        result = DefaultLogFile;
    if (InLogDir && !result.empty())
        result = InLogFolder(result);
    return result;
}

std::string ExpandLogNameNoDest(const std::string& LogName, const std::string& TaskFile)
{
    return ExpandLogName(LogName, TaskFile, "", false);
}

std::string ExpandLogNameWithDest(const std::string& LogName, const std::string& TaskFile,
                                  const std::string& Dest)
{
    return ExpandLogName(LogName, TaskFile, Dest, false);
}

std::string ExpandLogNameInDir(const std::string& LogName, const std::string& TaskFile, bool InLogDir)
{
    return ExpandLogName(LogName, TaskFile, "", InLogDir);
}

std::string GetBackupLogName(const std::string& TaskFile)
{
    if (!IsFile(TaskFile))
        return DefaultLogFile;
    TMemIniFile ini(TaskFile);
    std::string name = ini.ReadString("Global", "LogName", "");
    if (name.empty())
        return DefaultLogFile;
    name = ReplaceTaskName(name, TaskFile);
    std::string dest = ini.ReadString("Global", "Destination", "");
    if (BeginsWithDest(name) && IsVolumeAvailable(dest)) {
        int count = ini.ReadInteger("Global", "BackupCount", 1);
        std::string volume = ini.ReadString("Dir000", "Volume", "");
        std::string resolved = ExpandNamePlaceholders(GetVolumePath(dest, false), volume, count);
        name = ExpandLogPlaceholders(name, resolved);
    } else {
        name = ExpandLogPlaceholders(name, dest);
    }
    return InLogFolder(name);
}

std::string GetJobLogName(const std::string& Section, const std::string& TaskFile)
{
    if (!IsFile(TaskFile))
        return DefaultLogFile;
    TMemIniFile ini(TaskFile);
    std::string name = ini.ReadString(Section, "LogName", "");
    if (name.empty())
        return DefaultLogFile;
    name = ReplaceTaskName(ExpandLogPlaceholders(name, ""), TaskFile);
    return InLogFolder(name);
}

std::string GetTaskDirsText(const TMemIniFile& Ini)
{
    int count = Ini.ReadInteger("Global", "DirCount", 0);
    if (count < 1)
        return _("No directory specified!");
    std::string text;
    int64_t files = 0;
    uint64_t bytes = 0;
    for (int i = 0; i < count; ++i) {
        std::string section = SafeFormat("Dir%.3d", {i});
        if (!Ini.ReadBool(section, "Enabled", false))
            continue;
        std::string source =
            PathWithVolumeName(Ini.ReadString(section, "Source", ""), Ini.ReadString(section, "Volume", ""));
        while (source.size() > 1 && source.back() == '/')
            source.pop_back();
        if (!text.empty())
            text += "\r\n";
        text += "  " + source;
        files += Ini.ReadInteger(section, "FileCount", 0);
        bytes += (static_cast<uint64_t>(ReadUnsigned32(Ini, section, "ByteCountH")) << 32) +
                 ReadUnsigned32(Ini, section, "ByteCountL");
    }
    if (!text.empty())
        text += "\r\n";
    std::string size = FormatSize(true, static_cast<int64_t>(bytes));
    if (files == 0)
        text += "  " + _("No files");
    else if (files == 1)
        text += "  " + SafeFormat(_("1 file totaling %s"), {size});
    else
        text += "  " + SafeFormat(_("%u files totaling %s"), {files, size});
    return text;
}
