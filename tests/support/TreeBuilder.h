#pragma once
// Declarative file trees for tests: build one from a list of entries, read one back as a sorted map.
//
//   BuildTree(root, {{"a/b.txt", "abc"}, {"empty/", ""}, {"old.txt", "x", 1600000000},
//                    TreeEntry::Link("a/link", "b.txt")});
//   EXPECT_EQ(ReadTree(root), (TreeMap{{"a/", ""}, {"a/b.txt", "abc"}, ...}));

#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "support/Files.h" // ReadFileBytes, WriteFileBytes

struct TreeEntry
{
    enum class Kind
    {
        Auto, // a folder when the path ends in "/", else a file
        Symlink
    };

    // Relative to the root; "/" separates folders, a trailing "/" makes a folder.
    std::string path;
    // File content (bytes), or the target of a symbolic link; ignored for folders.
    std::string content;
    // Modification time in Unix seconds (UTC); unset keeps the time of creation.
    std::optional<int64_t> mtime = std::nullopt;
    Kind kind = Kind::Auto;

    static TreeEntry Link(std::string path, std::string target, std::optional<int64_t> mtime = std::nullopt)
    {
        return TreeEntry{std::move(path), std::move(target), mtime, Kind::Symlink};
    }
};

// Creates the entries below root (root and missing parent folders are created too). Existing files are
// overwritten. Modification times are applied after everything was created, so a folder keeps its time
// even when entries are added inside it. Throws std::runtime_error on a failure.
void BuildTree(const std::filesystem::path& root, std::initializer_list<TreeEntry> entries);
void BuildTree(const std::filesystem::path& root, const std::vector<TreeEntry>& entries);

// Relative path -> content of everything below root, sorted by path. Folders appear with a trailing "/"
// and an empty content, symbolic links (never followed) as "-> target".
using TreeMap = std::map<std::string, std::string>;
TreeMap ReadTree(const std::filesystem::path& root);

// Modification time of a path in Unix seconds (of the link itself for a symbolic link).
int64_t FileMTime(const std::filesystem::path& path);
// Sets the modification time (and access time) in Unix seconds; a symbolic link itself is changed.
void SetFileMTime(const std::filesystem::path& path, int64_t unixSeconds);
