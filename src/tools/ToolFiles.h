#pragma once
// The folder listing the tools walk with: names as bytes, links told apart and never followed.

#include <cstdint>
#include <string>
#include <vector>

struct TToolDirEntry
{
    std::string Name;
    bool IsDir = false;
    bool IsLink = false; // a symbolic link (to anything); never entered or followed
    int64_t Size = 0;
    int64_t MTime = 0; // Unix seconds, UTC
    uint32_t Mode = 0;
};

// The entries of dir ("." and ".." left out), sorted by name; false when it cannot be read.
bool ListToolDir(const std::string& dir, std::vector<TToolDirEntry>& entries);
// True when path is a symbolic link (lstat).
bool IsToolLink(const std::string& path);
// True when path is a folder and no link.
bool IsToolDir(const std::string& path);
