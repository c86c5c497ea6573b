#pragma once
// Small helpers of the zip tests: data and running the interop tools.

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

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

// One entry of an archive as its records hold it (central header and the local header it points to).
struct TEntryRecords
{
    uint8_t HostSystem = 0; // of "version made by"
    uint16_t CentralFlags = 0;
    uint16_t LocalFlags = 0;
    uint32_t ExternalAttr = 0;
    std::string CentralName;
    std::string LocalName;
};

inline uint16_t Le16At(const std::string& b, size_t at)
{
    return static_cast<uint16_t>(static_cast<uint8_t>(b.at(at)) | (static_cast<uint8_t>(b.at(at + 1)) << 8));
}

inline uint32_t Le32At(const std::string& b, size_t at)
{
    return Le16At(b, at) | (static_cast<uint32_t>(Le16At(b, at + 2)) << 16);
}

inline uint64_t Le64At(const std::string& b, size_t at)
{
    return Le32At(b, at) | (static_cast<uint64_t>(Le32At(b, at + 4)) << 32);
}

// The entries of an archive, read from the bytes of its segments (the last one holds the end records;
// a whole archive is one segment), with the zip64 end records and fields where they are used.
inline std::vector<TEntryRecords> EntryRecordsOf(const std::vector<std::string>& segments)
{
    std::string b;
    std::vector<size_t> starts;
    for (const auto& segment : segments) {
        starts.push_back(b.size());
        b += segment;
    }
    size_t end = b.size() - 22;
    uint64_t count = Le16At(b, end + 10);
    uint64_t disk = Le16At(b, end + 6);
    uint64_t offset = Le32At(b, end + 16);
    if (offset == 0xFFFFFFFF || count == 0xFFFF) {
        size_t record = starts.back() + static_cast<size_t>(Le64At(b, end - 20 + 8));
        disk = Le32At(b, record + 20);
        count = Le64At(b, record + 32);
        offset = Le64At(b, record + 48);
    }
    std::vector<TEntryRecords> entries;
    size_t at = starts.at(static_cast<size_t>(disk)) + static_cast<size_t>(offset);
    for (uint64_t i = 0; i < count; ++i) {
        TEntryRecords e;
        e.HostSystem = static_cast<uint8_t>(b.at(at + 5));
        e.CentralFlags = Le16At(b, at + 8);
        e.ExternalAttr = Le32At(b, at + 38);
        size_t nameLength = Le16At(b, at + 28);
        size_t extraLength = Le16At(b, at + 30);
        e.CentralName = b.substr(at + 46, nameLength);
        uint64_t local = Le32At(b, at + 42);
        // a zip64 field holds the offset last, after the sizes that do not fit either
        for (size_t x = at + 46 + nameLength; x + 4 <= at + 46 + nameLength + extraLength;) {
            size_t size = Le16At(b, x + 2);
            if (Le16At(b, x) == 1 && local == 0xFFFFFFFF)
                local = Le64At(b, x + 4 + size - 8);
            x += 4 + size;
        }
        local += starts.at(Le16At(b, at + 34));
        e.LocalFlags = Le16At(b, static_cast<size_t>(local) + 6);
        e.LocalName = b.substr(static_cast<size_t>(local) + 30, Le16At(b, static_cast<size_t>(local) + 26));
        entries.push_back(e);
        at += 46 + nameLength + extraLength + Le16At(b, at + 32);
    }
    return entries;
}

} // namespace ZipTest
