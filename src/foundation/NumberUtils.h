#pragma once
// Numbers to texts and back for displays, logs and number edits: padded and grouped integers,
// hexadecimal, octal and binary texts with their parsers, floating-point values with SI prefixes
// ("12.3 k") or in engineering notation ("12.3E3"), and byte sizes ("1.46 GiB", "1.57 GB").
//
// A decimal separator argument of 0 means the one of FormatSettings(); any other character is used
// for that call only. Pure functions; thread-safe as long as FormatSettings() is not being changed.

#include <cstdint>
#include <string>
#include <string_view>

// Display mode of the number edits.
enum TNumMode
{
    nmDecimal,
    nmHex,
    nmOctal,
    nmBin,
    nmZeroDec
};

// SI prefix letters by index 1..10 (f p n µ m, none, k M G T); index 6 has none. The exponent of
// index i is 3·i − 18.
inline constexpr int SiPrefixCount = 10;
inline constexpr int SiPrefixNone = 6;
extern const char* const SiPrefixLetters[SiPrefixCount + 1];

// --- Integer texts

std::string IntToStrPadded(int Digits, int64_t Value);
std::string IntToStrZero(int Digits, int64_t Value);
std::string IntToDecGrouped(int Digits, int GroupLen, bool ZeroPad, int64_t Value);
std::string IntToHexGrouped(int64_t Value, int Digits, int GroupLen);
std::string IntToOct(int64_t Value, int Digits, int GroupLen);
std::string IntToBin(int64_t Value, int Digits, int GroupLen);
std::string InsertGroupSeparators(std::string_view S, int GroupLen, char32_t Sep);
std::string PadLeftChar(std::string_view S, char32_t Ch, int Len);
std::string RemoveBlanks(std::string_view S);

// --- Integer parsers: the Try forms give false and 0, the others raise EConvertError.

bool TryHexToInt64(std::string_view Text, int64_t& Value);
int64_t HexToInt64(std::string_view Text);
bool TryOctToInt64(std::string_view Text, int64_t& Value);
int64_t OctToInt64(std::string_view Text);
bool TryBinToInt64(std::string_view Text, int64_t& Value);
int64_t BinToInt64(std::string_view Text);

// --- Floating-point texts

void SplitSiPrefix(double& Value, double& Factor, int& Index);
void FormatSiDigits(int Digits, std::string& Text, int& Index, char DecSep, double Value);
void FormatNormalized(int Digits, char DecSep, std::string& Text, double Value);
void FormatWithSiPrefix(int Digits, std::string_view Separator, char DecSep, std::string& Text, double Value);
bool TryStrToSiValue(std::string_view Text, double& Value, char DecSep);
bool IsNearInt(int Decimals, double X);

// --- Byte sizes

std::string FormatByteSize(bool Base1000, bool TrimZeros, char DecSep, int64_t Value);
bool TryStrToSize(std::string_view Text, int64_t& Size, char DecSep);
