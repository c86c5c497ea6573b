#pragma once
// Small helpers of the zip tests: files, data and running the interop tools.

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <sys/wait.h>

namespace ZipTest {

inline void WriteFile(const std::string& name, const std::string& data)
{
    std::filesystem::create_directories(std::filesystem::path(name).parent_path());
    std::ofstream f(name, std::ios::binary);
    f << data;
}

inline std::string ReadFile(const std::string& name)
{
    std::ifstream f(name, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

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
    TRunResult r;
    FILE* p = ::popen((command + " 2>&1").c_str(), "r");
    if (!p)
        return r;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0)
        r.Output.append(buf, n);
    int status = ::pclose(p);
    r.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

inline std::string Quote(const std::string& s)
{
    std::string r = "'";
    for (char c : s) {
        if (c == '\'')
            r += "'\\''";
        else
            r += c;
    }
    return r + "'";
}

inline bool HaveTool(const std::string& tool)
{
    return RunTool("command -v " + tool).ExitCode == 0;
}

} // namespace ZipTest
