#pragma once
// Small helpers of the zip tests: data and running the interop tools.

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "ArchiveTestUtil.h"
#include "support/Files.h"

namespace ZipTest {

// Incompressible bytes.
inline std::string RandomData(size_t size, uint32_t seed = 7)
{
    std::mt19937 gen(seed);
    std::string s(size, '\0');
    for (auto& c : s)
        c = static_cast<char>(gen() & 0xFF);
    return s;
}

// Compressible text.
inline std::string TextData(size_t size, uint32_t seed = 3)
{
    static const char* words[] = {"backup ", "archive ", "segment ", "entry ", "deflate ", "zip64 ", "\n"};
    std::mt19937 gen(seed);
    std::string s;
    while (s.size() < size)
        s += words[gen() % 7];
    s.resize(size);
    return s;
}

struct TRunResult
{
    int ExitCode = -1;
    std::string Output;
};

// Runs a shell command line (stdout and stderr together).
inline TRunResult RunTool(const std::string& command)
{
    auto r = archivetest::Sh(command, true);
    return {r.exitCode, r.output};
}

using archivetest::Quote;

inline bool HaveTool(const std::string& tool)
{
    return RunTool("command -v " + tool).ExitCode == 0;
}

} // namespace ZipTest
