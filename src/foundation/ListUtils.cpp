#include "foundation/ListUtils.h"

#include "foundation/IniFileUtils.h"

namespace {

std::string Prefix(const std::string& keyPrefix)
{
    return keyPrefix.empty() ? "History" : keyPrefix;
}

std::string Replace(std::string s, char from, char to)
{
    for (char& c : s)
        if (c == from)
            c = to;
    return s;
}

} // namespace

void LoadHistoryFromIni(const TMemIniFile& IniFile, const std::string& Section, const std::string& KeyPrefix,
                        TStringList& List, int MaxCount, bool Unquote)
{
    if (!IniFile.SectionExists(Section))
        return;
    List.Clear();
    std::string prefix = Prefix(KeyPrefix);
    for (int i = 0; i < MaxCount; ++i) {
        std::string value = IniFile.ReadString(Section, prefix + std::to_string(i), "");
        if (value.empty())
            continue;
        List.Add(Unquote ? Replace(value, '#', '"') : value);
    }
}

void LoadHistoryFromIniDefault(const TMemIniFile& IniFile, const std::string& Section,
                               const std::string& KeyPrefix, TStringList& List, bool Unquote)
{
    LoadHistoryFromIni(IniFile, Section, KeyPrefix, List, DefaultHistoryCount, Unquote);
}

void LoadHistoryFromFile(const std::string& FileName, const std::string& Section,
                         const std::string& KeyPrefix, TStringList& List, int MaxCount, bool Unquote)
{
    TMemIniFile ini(FileName);
    LoadHistoryFromIni(ini, Section, KeyPrefix, List, MaxCount, Unquote);
}

void LoadHistoryFromFileDefault(const std::string& FileName, const std::string& Section,
                                const std::string& KeyPrefix, TStringList& List, bool Unquote)
{
    LoadHistoryFromFile(FileName, Section, KeyPrefix, List, DefaultHistoryCount, Unquote);
}

void SaveHistoryToIni(TMemIniFile& IniFile, const std::string& Section, const std::string& KeyPrefix,
                      bool Erase, const TStringList& List, int MaxCount, bool Quote)
{
    if (Erase)
        IniFile.EraseSection(Section);
    std::string prefix = Prefix(KeyPrefix);
    for (int i = 0; i < List.Count() && i < MaxCount; ++i)
        IniFile.WriteString(Section, prefix + std::to_string(i),
                            Quote ? Replace(List[i], '"', '#') : List[i]);
}

void SaveHistoryToIniDefault(TMemIniFile& IniFile, const std::string& Section, const std::string& KeyPrefix,
                             bool Erase, const TStringList& List, bool Quote)
{
    SaveHistoryToIni(IniFile, Section, KeyPrefix, Erase, List, DefaultHistoryCount, Quote);
}

void SaveHistoryToFile(const std::string& FileName, const std::string& Section, const std::string& KeyPrefix,
                       bool Erase, const TStringList& List, int MaxCount, bool Quote)
{
    TMemIniFile ini(FileName);
    SaveHistoryToIni(ini, Section, KeyPrefix, Erase, List, MaxCount, Quote);
    ini.UpdateFile();
}

void SaveHistoryToFileDefault(const std::string& FileName, const std::string& Section,
                              const std::string& KeyPrefix, bool Erase, const TStringList& List, bool Quote)
{
    SaveHistoryToFile(FileName, Section, KeyPrefix, Erase, List, DefaultHistoryCount, Quote);
}

void AddToHistory(TStringList& List, const std::string& Text, int MaxCount)
{
    if (Text.empty())
        return;
    int index = List.IndexOf(Text);
    if (index < 0) {
        if (List.Count() >= MaxCount && List.Count() > 0)
            List.Delete(List.Count() - 1);
        List.Insert(0, Text);
        return;
    }
    if (index > 0)
        List.Move(index, 0);
    List.SetString(0, Text);
}

void AddToHistoryDefault(TStringList& List, const std::string& Text)
{
    AddToHistory(List, Text, DefaultHistoryCount);
}

void RemoveFromHistory(TStringList& List, const std::string& Text)
{
    if (Text.empty())
        return;
    int index = List.IndexOf(Text);
    if (index >= 0)
        List.Delete(index);
}
