#pragma once
// String helpers used throughout the suite: case-insensitive search, character removal and padding,
// separated lists with optional quoting, percent escapes, environment references, count texts,
// abbreviated command-line keywords and a generic quicksort.
//
// Strings are UTF-8. Positions count code points from 1 (0 = not found); lengths are code points.
// Bytes that are not valid UTF-8 (file names are byte strings) pass through unchanged and count as
// one character each. "Array of characters" arguments are strings whose code points form the set.
// Separator characters are 8-bit characters: code points U+0000..U+00FF.
// All routines are stateless and thread-safe.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "rtl/SysUtils.h"

// Case change applied to names (the FTP layer applies it to remote names).
enum TTextChange
{
    tcNone,
    tcLower,
    tcUpper
};

// --- UTF-8 primitives shared by the text and path helpers
namespace utf8 {

// Decodes the code point at byte offset i; returns its byte length (at least 1 while i < s.size()).
// A byte that does not start a valid sequence yields 0xDC00 + byte and length 1, so that decoding
// and encoding again reproduces the original bytes.
size_t Decode(std::string_view s, size_t i, char32_t& cp);
// Appends the UTF-8 form of cp; 0xDC80..0xDCFF become the raw byte they stand for.
void Append(std::string& out, char32_t cp);
std::string Encode(char32_t cp);
// Number of code points.
size_t Length(std::string_view s);
// Byte offset of the code point with the 0-based index; s.size() when the index lies beyond the end.
size_t Offset(std::string_view s, size_t index);
// Code points [start, start + count) (0-based).
std::string_view Sub(std::string_view s, size_t start, size_t count = std::string_view::npos);
// Simple Unicode case mapping of one code point.
char32_t ToUpper(char32_t cp);
char32_t ToLower(char32_t cp);
// Upper-/lower-case of a whole text (invalid bytes untouched).
std::string Upper(std::string_view s);
std::string Lower(std::string_view s);
// Case-insensitive equality and ordering (simple case mapping, then code point order).
bool SameText(std::string_view a, std::string_view b);
int CompareText(std::string_view a, std::string_view b);
// Leading and trailing blanks and control characters (below U+0021) removed.
std::string_view Trim(std::string_view s);
std::string_view TrimLeft(std::string_view s);
std::string_view TrimRight(std::string_view s);

} // namespace utf8

// --- Search, case and characters

int TextPos(std::string_view SubStr, std::string_view S);
int TextPosEx(std::string_view SubStr, std::string_view S, int Offset);
bool ContainsAnyChar(std::string_view S, std::string_view Chars);
std::string RemoveChars(std::string_view S, std::string_view Chars);
std::string UpCaseFirst(std::string_view S);
std::string ChangeTextCase(std::string_view S, TTextChange Change);
std::string MakeSpaces(int N);
std::string PadRight(std::string_view S, int Len);
std::string RemoveSpaces(std::string_view S);
std::string RemoveCtrlChars(std::string_view S);
std::string ReplaceLineBreaks(std::string_view S, char32_t Ch);
std::string RepeatChar(char32_t Ch, int Count);
bool IsEmptyStr(std::string_view S);
bool IsNonEmptyStr(std::string_view S);
std::string ReplaceChar(std::string_view S, char32_t Old, char32_t New);
// Every occurrence of from (not empty) replaced by to, left to right.
std::string ReplaceAll(std::string s, std::string_view from, std::string_view to);
std::string TrimLeftChar(std::string_view S, char32_t Ch);
std::string TrimRightChar(std::string_view S, char32_t Ch);
std::string RemoveChar(std::string_view S, char32_t Ch);
bool IsDigitChar(char32_t Ch);
int SkipDigits(std::string_view S, int Start);
std::string CopyFromChar(std::string_view S, char32_t Ch);
int CountSubStr(std::string_view SubStr, std::string_view S);
std::string InsertDigitSeparators(std::string_view S, char32_t Sep, bool FractionOnly);

// --- Separated lists (the reading routines cut the item off the front of S)

std::string ReadNextItem(std::string& S, char Sep);
std::string GetFirstItem(std::string_view S, char Sep);
std::string GetFirstItemTrimmed(std::string_view S, char Sep);
int64_t GetFirstInt(std::string_view S, char Sep, int64_t Default);
int64_t ReadNextIntOfSet(std::string& S, std::string_view Seps, bool& Error, int64_t Default);
int64_t ReadNextIntErr(std::string& S, char Sep, bool& Error, int64_t Default);
int64_t ReadNextInt(std::string& S, char Sep, int64_t Default);
std::string ReadNextQuotedItem(std::string& S, char Sep, char Quote);
// Splits text at commas outside double quotes; the pieces keep their quotes.
std::vector<std::string> SplitOutsideQuotes(const std::string& text);
std::string QuoteIfContains(std::string_view S, std::string_view Chars);
std::string QuoteIfSpace(std::string_view S);
std::string SplitToLines(std::string S, char Sep, char Quote, int& Count);
std::string CommaTextToLinesCount(std::string_view S, int& Count);
std::string CommaTextToLines(std::string_view S);
std::string SortCommaText(std::string_view S);

// --- Escapes and environment references

std::string EscapeChars(std::string_view S, std::string_view Chars);
std::string UnescapeChars(std::string_view S);
std::string GetNextDelimited(std::string_view S, char32_t Delim, int& Start);
std::string ReplaceEnvVar(std::string_view Text, std::string_view Ref);
std::string ExpandEnvVars(std::string_view S);

// --- Count texts (SafeFormat itself comes from rtl/SysUtils.h)

std::string FormatCount(std::string_view ZeroText, std::string_view OneText, std::string_view ManyFmt,
                        int64_t Count, bool Thousands = false);
std::string FormatCountStr(std::string_view ZeroText, std::string_view OneFmt, std::string_view ManyFmt,
                           int64_t Count, std::string_view S, bool Thousands = false);
std::string FormatCountNoun(std::string_view Singular, std::string_view Plural, int64_t Count,
                            bool Thousands = false);

// --- Command-line keywords

bool MatchesKeyword(std::string_view Arg, std::string_view Keyword);
bool ReadKeywordValue(std::string& Arg, std::string_view Keyword);

// --- Sorting
// Items are moved as raw bytes, so only trivially copyable records may be sorted this way.

using TItemLessThan = std::function<bool(void* Data, const void* A, const void* B)>;

struct TQuickSortContext
{
    unsigned char* Items = nullptr;
    int ItemSize = 0;
    const TItemLessThan* LessThan = nullptr;
    void* Data = nullptr;
    unsigned char* Pivot = nullptr; // scratch buffer of ItemSize bytes
    unsigned char* Swap = nullptr;  // scratch buffer of ItemSize bytes
};

void QuickSortItems(void* Items, int Count, int ItemSize, const TItemLessThan& LessThan,
                    void* Data = nullptr);
void QuickSortRange(int Lo, int Hi, TQuickSortContext& Context);
