#pragma once
// Most-recently-used lists: a string list with a maximum length that can mirror its entries as
// lines appended to another string list, and is stored in an ini section under the keys
// "History0", "History1", … The menu and combo-box views live with the dialogs.

#include <string>
#include <string_view>

#include "rtl/StringList.h"

class TMemIniFile;

class THistoryList : public TStringList
{
public:
    THistoryList() = default;

    // Puts s at the top (an entry equal but for case is removed first) and drops entries beyond MaxLen.
    void AddString(const std::string& s);
    void AddStringObject(const std::string& s, intptr_t AObject);
    void RemString(const std::string& s);
    // Removes the lines added to StrList, then empties the list.
    void ClearAll();
    // Empties the list and copies the first MaxLen lines of AList.
    void AssignList(const TStringList& AList);

    // An entry that is one blank is stored as "?" (and becomes "?" in the list).
    void SaveToIni(TMemIniFile& IniFile, const std::string& IniSection, bool Erase);
    void SaveToIni(const std::string& IniName, const std::string& IniSection, bool Erase);
    // Reads History0 … History(MaxLen-1); "?" becomes one blank, gaps are skipped.
    void LoadFromIni(const TMemIniFile& IniFile, const std::string& IniSection);
    void LoadFromIni(const std::string& IniName, const std::string& IniSection);

    int MaxLen() const { return FMaxLen; }
    // Values outside 1..100 are ignored; entries beyond the new length are dropped.
    void SetMaxLen(int Value);
    // A list that receives the entries as lines after the lines it already has (nullptr: none).
    TStringList* StrList() const { return FList; }
    void SetStrList(TStringList* List);

private:
    void TrimStrList();
    void FillStrList();
    void Renew();
    TStringList* FList = nullptr;
    int ListSizeBefore = 0;
    int FMaxLen = 15;
};

// The caption of the menu item of entry Index (from 0): its 1-based position in hexadecimal (one
// digit for the first 15 entries, two from the 16th on), a blank and the entry; without hot keys
// every "&" is doubled.
std::string HistoryMenuCaption(int Index, std::string_view Entry, bool ShowHotKeys);
// The entry index a menu caption stands for (its hexadecimal number − 1, the first "&" ignored);
// raises EConvertError when the caption does not begin with a hexadecimal number.
int HistoryIndexFromCaption(std::string_view Caption);
