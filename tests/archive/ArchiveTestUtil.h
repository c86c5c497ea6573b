#pragma once
// Small helpers of the archive tests: random data, running the reference tools.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <sys/wait.h>

#include "support/Files.h"

namespace archivetest {

// Bytes that compress a little: random words from a small alphabet, or plain random bytes.
inline std::string RandomBytes(size_t n, uint32_t seed, bool compressible = true)
{
    std::mt19937 rng(seed);
    std::string s(n, '\0');
    for (auto& c : s)
        c = static_cast<char>(compressible ? "abcdefgh \n"[rng() % 10] : rng() & 0xFF);
    return s;
}

inline std::string ToHex(const std::string& data)
{
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned char c : data) {
        hex += digits[c >> 4];
        hex += digits[c & 15];
    }
    return hex;
}

inline std::string Quote(const std::string& s)
{
    std::string q = "'";
    for (char c : s) {
        if (c == '\'')
            q += "'\\''";
        else
            q += c;
    }
    return q + "'";
}

struct CommandResult
{
    int exitCode = -1;
    std::string output;
};

// Runs a shell command line; stdout (and stderr when asked) is returned.
inline CommandResult Sh(const std::string& command, bool withStderr = false)
{
    CommandResult result;
    std::string line = command + (withStderr ? " 2>&1" : " 2>/dev/null");
    FILE* pipe = ::popen(line.c_str(), "r");
    if (!pipe)
        return result;
    char buffer[4096];
    size_t got;
    while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0)
        result.output.append(buffer, got);
    int status = ::pclose(pipe);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

#ifdef ARCHIVE_TEST_DIR
// The folder of the archive tests in the source tree (reference scripts live there).
inline std::string TestDir()
{
    return ARCHIVE_TEST_DIR;
}
#endif

} // namespace archivetest
