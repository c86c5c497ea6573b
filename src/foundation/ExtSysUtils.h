#pragma once
// Texts of system error codes, a format routine that never raises, tests on error codes and the
// conversion between "/" and "\" in paths.
//
// Error codes are the Windows-style codes of platform/ErrorCodes.h. Codes handed on by other routines
// may carry a facility in bits 16 to 26; the tests below look at the low 16 bits only.

#include <cstdint>
#include <string>
#include <string_view>

#include "rtl/SysUtils.h"

// The text of an error code followed by " (0x%.8x)"; "Error code = 0x%.8x" when there is no text.
std::string SystemErrorMessage(uint32_t code);

// True when the low 16 bits of code are 0.
constexpr bool IsNoError(uint32_t code)
{
    return (code & 0xFFFF) == 0;
}
// True when the low 16 bits of code are not 0.
constexpr bool HasError(uint32_t code)
{
    return (code & 0xFFFF) != 0;
}
// True when the low 16 bits of code equal value.
constexpr bool IsErrorCode(uint32_t code, uint32_t value)
{
    return (code & 0xFFFF) == value;
}

// Format that never raises: any failure gives "Format error: " followed by fmt.
std::string TryFormat(std::string_view fmt, TFormatArgs args) noexcept;
std::string TryFormat(std::string_view fmt, const std::vector<TVarRec>& args) noexcept;

// Every "/" replaced by "\".
std::string SlashToBackslash(std::string path);
// Every "\" replaced by "/".
std::string BackslashToSlash(std::string path);
