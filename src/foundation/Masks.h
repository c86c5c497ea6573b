#pragma once
// Wildcard masks as file names are matched: "*" any run, "?" one character, "[a-z]" and "[!a-z]"
// character sets. Comparison ignores case. A mask "*.*" or any mask ending in ".*" also matches a
// name without an extension ("README" matches "*.*" and "README.*").

#include <string>
#include <string_view>

#include "rtl/SysUtils.h"

class EMaskException : public Exception
{
public:
    using Exception::Exception;
};

// False when the mask is malformed (an unclosed or empty character set); matched receives the result.
bool TryMatchesMask(std::string_view name, std::string_view mask, bool& matched);
// Raises EMaskException for a malformed mask.
bool MatchesMask(std::string_view name, std::string_view mask);
// True when the mask is well formed.
bool IsValidMask(std::string_view mask);
