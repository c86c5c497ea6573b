#pragma once
// TStringList: an ordered list of strings with name=value access, comma and delimited text.

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "rtl/Streams.h"

inline constexpr const char* sLineBreak = "\n";

enum TDuplicates
{
    dupIgnore,
    dupAccept,
    dupError
};

class TStringList
{
public:
    TStringList() = default;
    TStringList(std::initializer_list<std::string> items);

    int Count() const { return static_cast<int>(FItems.size()); }
    bool Empty() const { return FItems.empty(); }
    const std::string& operator[](int index) const; // raises EArgumentError when out of range
    const std::string& Strings(int index) const { return (*this)[index]; }
    void SetString(int index, std::string s);
    intptr_t Objects(int index) const;
    void SetObject(int index, intptr_t obj);

    // With Sorted set, Add inserts in order (sorting the list first if needed) and applies Duplicates;
    // returns the index. SetString, Insert, Move and CustomSort raise EArgumentError on a sorted list.
    int Add(std::string s);
    int AddObject(std::string s, intptr_t obj);
    void AddStrings(const TStringList& other);
    void Insert(int index, std::string s);
    void Delete(int index);
    void Clear();
    void Exchange(int a, int b);
    void Move(int from, int to);

    // Search honouring CaseSensitive (ASCII and Unicode simple case folding).
    int IndexOf(std::string_view s) const;
    int IndexOfName(std::string_view name) const;
    // Binary search on a sorted list; index receives the position found or to insert at.
    bool Find(std::string_view s, int& index) const;

    std::string Names(int index) const;
    std::string ValueFromIndex(int index) const;
    std::string Values(std::string_view name) const;
    // Setting an empty value deletes the entry, as in the class library.
    void SetValue(std::string_view name, std::string_view value);

    // Items joined by ',' with quoting of items that hold blanks, commas or quotes.
    std::string CommaText() const;
    void SetCommaText(std::string_view text);
    // Like CommaText with Delimiter and QuoteChar; StrictDelimiter splits only at Delimiter.
    std::string DelimitedText() const;
    void SetDelimitedText(std::string_view text);
    // Lines joined by LineBreak after each; setting splits at CR LF, LF or CR.
    std::string Text() const;
    void SetText(std::string_view text);

    void Sort();
    void CustomSort(const std::function<int(const TStringList&, int, int)>& compare);
    void LoadFromStream(TStream& stream); // UTF-8, BOM skipped
    void SaveToStream(TStream& stream) const;

    const std::vector<std::string>& Items() const { return FItems; }
    auto begin() const { return FItems.begin(); }
    auto end() const { return FItems.end(); }

    bool Sorted = false;
    TDuplicates Duplicates = dupIgnore;
    bool CaseSensitive = false;
    char Delimiter = ',';
    char QuoteChar = '"';
    char NameValueSeparator = '=';
    bool StrictDelimiter = false;
    std::string LineBreak = sLineBreak;

private:
    int CompareStrings(std::string_view a, std::string_view b) const;
    void CheckIndex(int index) const;
    bool IsOrdered() const;
    void EnsureOrder();
    std::string Quoted(std::string_view s, char delimiter, char quote) const;
    std::string JoinDelimited(char delimiter, char quote) const;
    void SplitDelimited(std::string_view text, char delimiter, char quote);

    std::vector<std::string> FItems;
    std::vector<intptr_t> FObjects;
    // The order the items are known to be in: -1 none, 0 case-insensitive, 1 case-sensitive.
    int FOrderedAs = -1;
};
