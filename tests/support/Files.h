#pragma once
// Whole files for tests: read one into a string, write a string into one.
//
//   WriteFileBytes(sandbox.Path("src/a.txt"), "abc");      // parent folders are created
//   EXPECT_EQ(ReadFileBytes(sandbox.Path("dst/a.txt")), "abc");

#include <filesystem>
#include <string>

// The whole content of a file. A file that does not exist reads as empty (a run may rightly not have
// written a log); any other failure (a folder, no permission, a read error) throws std::runtime_error.
std::string ReadFileBytes(const std::filesystem::path& file);
// Replaces the content of a file (missing parent folders are created); throws std::runtime_error on a
// failure.
void WriteFileBytes(const std::filesystem::path& file, const std::string& content);
