#pragma once
// Wildcard masks as file names are matched: "*" any run, "?" one character, "[a-z]" and "[!a-z]"
// character sets. Comparison ignores case. A mask "*.*" or any mask ending in ".*" also matches a
// name without an extension ("README" matches "*.*" and "README.*"). The one matcher of the suite:
// MatchesFileMask of PathUtils uses it with lenient sets.

#include <string>
#include <string_view>

#include "rtl/SysUtils.h"

class EMaskException : public Exception
{
public:
    using Exception::Exception;
};

// How character sets are read. Strict: an unclosed or empty set or a reversed range makes the mask
// malformed. Lenient (the directory search's rules): a "[" that opens no closed set is an ordinary
// character, a "]" right after "[" or "[!" is a member, and a reversed range matches nothing.
enum class TMaskSets
{
    Strict,
    Lenient
};

// False when the mask is malformed (strict sets only); matched receives the result.
bool TryMatchesMask(std::string_view name, std::string_view mask, bool& matched,
                    TMaskSets sets = TMaskSets::Strict);
// Raises EMaskException for a malformed mask.
bool MatchesMask(std::string_view name, std::string_view mask);
// True when the mask is well formed.
bool IsValidMask(std::string_view mask);
