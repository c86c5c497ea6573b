#pragma once
// Advisory whole-file locks (flock) that tell other processes a file is in use.
// A lock belongs to the open file description: it lasts until the descriptor is closed or the process
// ends, so a lock file left behind by a crashed run is never held.

#include <cstdint>
#include <string>

// Creates Path exclusively (it must not exist), mode 0644, and takes the exclusive lock.
// Returns the descriptor, or -1 with Code set to a Windows-style code (80 when the file exists,
// 33 when another process holds the lock).
int CreateLockedFile(const std::string& path, uint32_t& code);

// Closes a descriptor from CreateLockedFile, which releases its lock.
void ReleaseLockedFile(int fd);

// True when another open description (this or another process) holds a lock on Path.
bool IsFileLockHeld(const std::string& path);
// Opens (or creates, mode 0600) Path and waits until it holds the exclusive lock. Returns the
// descriptor for ReleaseLockedFile, or -1 with Code set.
int WaitForFileLock(const std::string& path, uint32_t& code);
