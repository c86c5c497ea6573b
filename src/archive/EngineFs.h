#pragma once
// File-system steps of the copy engine that the foundation does not offer: the attribute word of the
// engine's own files, temporary names beside a destination, a rename that never replaces, and the flush
// before a verification. Errors are Windows-style codes (0 = success).

#include <cstdint>
#include <string>

namespace EngineFs {

constexpr uint32_t InvalidAttributes = 0xFFFFFFFF;

bool Exists(const std::string& path, bool followLinks);
bool DirectoryExists(const std::string& path);

// The attribute word of a path (links not followed), InvalidAttributes when it cannot be read.
uint32_t GetAttributes(const std::string& path);
// Applies the read-only and archive bits of attr (the other bits are derived from the file).
uint32_t SetAttributes(const std::string& path, uint32_t attr);

// The user's temporary folder with a trailing slash.
std::string UserTempDir();
std::string ExtractFileName(const std::string& path);
std::string ExtractFilePath(const std::string& path); // with trailing slash, empty when none
std::string ExtractFileExt(const std::string& path);  // with its dot; a leading dot starts no extension

uint32_t DeleteFile(const std::string& path);
// Renames; with noReplace an existing target is never replaced (code 80).
uint32_t RenameFile(const std::string& from, const std::string& to, bool noReplace);

// Creates a new file beside finalName under a hidden temporary name, readable and writable by its owner
// only; returns the descriptor or -1 with code set. tempName receives the name. The file carries the mark
// of the program's partial files where the file system keeps extended attributes.
int CreateTempBeside(const std::string& finalName, std::string& tempName, uint32_t& code);
// Whether path carries the mark of a partial file made by CreateTempBeside (a user's file of a like name
// does not).
bool IsMarkedPart(const std::string& path);
// Sets or removes that mark. The mark holds the file's name: once the file is renamed (a copy put in
// place) it no longer counts.
void SetPartMark(const std::string& path, bool marked);
// Eight hexadecimal digits drawn from the system's random source, for names no other run picks.
std::string RandomTag();
// Flushes a file's data to the disk and drops it from the cache so that a re-read comes from the disk.
uint32_t FlushToDisk(int fd);

} // namespace EngineFs
