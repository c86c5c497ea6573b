#include "archive/ExtFileToolsZip.h"

// The zip classes use the suite's AES framing through this adapter.
std::unique_ptr<TZipCipher> CreateZipCipher(const std::string&, int, int)
{
    return nullptr;
}
