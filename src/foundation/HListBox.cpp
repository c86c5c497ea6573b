#include "foundation/HListBox.h"

#include "foundation/IniFileUtils.h"
#include "rtl/SysUtils.h"

void THistoryList::TrimStrList()
{
    if (!FList)
        return;
    while (FList->Count() > ListSizeBefore)
        FList->Delete(FList->Count() - 1);
}

void THistoryList::FillStrList()
{
    if (!FList)
        return;
    for (const auto& entry : *this)
        FList->Add(entry);
}

void THistoryList::Renew()
{
    TrimStrList();
    FillStrList();
}

void THistoryList::AddString(const std::string& s)
{
    AddStringObject(s, 0);
}

void THistoryList::AddStringObject(const std::string& s, intptr_t AObject)
{
    if (s.empty())
        return;
    int index = IndexOf(s);
    if (index >= 0)
        Delete(index);
    Insert(0, s);
    SetObject(0, AObject);
    if (Count() > FMaxLen)
        Delete(Count() - 1);
    Renew();
}

void THistoryList::RemString(const std::string& s)
{
    int index = IndexOf(s);
    if (index >= 0)
        Delete(index);
    Renew();
}

void THistoryList::ClearAll()
{
    TrimStrList();
    Clear();
}

void THistoryList::AssignList(const TStringList& AList)
{
    Clear();
    for (int i = 0; i < AList.Count() && i < FMaxLen; ++i)
        Add(AList[i]);
}

void THistoryList::SaveToIni(TMemIniFile& IniFile, const std::string& IniSection, bool Erase)
{
    if (Erase)
        IniFile.EraseSection(IniSection);
    for (int i = 0; i < Count(); ++i) {
        if ((*this)[i] == " ")
            SetString(i, "?");
        IniFile.WriteString(IniSection, "History" + std::to_string(i), (*this)[i]);
    }
}

void THistoryList::SaveToIni(const std::string& IniName, const std::string& IniSection, bool Erase)
{
    TMemIniFile ini(IniName);
    SaveToIni(ini, IniSection, Erase);
    ini.UpdateFile();
}

void THistoryList::LoadFromIni(const TMemIniFile& IniFile, const std::string& IniSection)
{
    Clear();
    for (int i = 0; i < FMaxLen; ++i) {
        std::string value = IniFile.ReadString(IniSection, "History" + std::to_string(i), "");
        if (value == "?")
            value = " ";
        if (!value.empty())
            Add(value);
    }
}

void THistoryList::LoadFromIni(const std::string& IniName, const std::string& IniSection)
{
    TMemIniFile ini(IniName);
    LoadFromIni(ini, IniSection);
}

void THistoryList::SetMaxLen(int Value)
{
    if (Value < 1 || Value > 100)
        return;
    FMaxLen = Value;
    while (Count() > FMaxLen)
        Delete(Count() - 1);
}

void THistoryList::SetStrList(TStringList* List)
{
    TrimStrList();
    FList = List;
    ListSizeBefore = FList ? FList->Count() : 0;
    FillStrList();
}

std::string HistoryMenuCaption(int Index, std::string_view Entry, bool ShowHotKeys)
{
    std::string entry;
    for (char c : Entry) {
        entry += c;
        if (!ShowHotKeys && c == '&')
            entry += '&';
    }
    return Format(Index < 15 ? "%1x %s" : "%2x %s", {Index + 1, entry});
}

int HistoryIndexFromCaption(std::string_view Caption)
{
    std::string number(Caption.substr(0, Caption.find(' ')));
    size_t amp = number.find('&');
    if (amp != std::string::npos)
        number.erase(amp, 1);
    if (number.empty() || number.size() > 8)
        throw EConvertError("'" + number + "' is not a valid integer value");
    int value = 0;
    for (char c : number) {
        int digit = (c >= '0' && c <= '9')   ? c - '0'
                    : (c >= 'a' && c <= 'f') ? c - 'a' + 10
                    : (c >= 'A' && c <= 'F') ? c - 'A' + 10
                                             : -1;
        if (digit < 0)
            throw EConvertError("'" + number + "' is not a valid integer value");
        value = value * 16 + digit;
    }
    return value - 1;
}
