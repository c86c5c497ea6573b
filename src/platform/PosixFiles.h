#pragma once
// Windows-style file attributes on POSIX files, and the few file calls that everything above builds on.
//
// The attribute bits are synthesised from what a POSIX file system keeps:
//   faReadOnly   the owner write bit is clear (setting it clears every write bit, clearing it sets
//                the owner write bit)
//   faHidden     the name begins with a dot (derived; setting or clearing it changes nothing)
//   faSysFile    sockets, FIFOs and device nodes (derived)
//   faDirectory  a directory
//   faArchive    regular files only: set unless the extended attribute "user.vastrel.arch" records the
//                file's current modification time and size. Clearing the bit writes that record, setting
//                it removes the record, so any later change of the file sets the bit again. Where the
//                file system keeps no extended attributes the bit always reads as set and clearing it is
//                quietly skipped (differential and incremental runs then copy everything).
//   faReparsePoint  a symbolic link (when links are not followed; it also carries faDirectory when it
//                points at a folder, faArchive otherwise, as Windows reports directory and file links)
//                or a directory that is a mount point (never the root "/")
//   faNormal     a regular file with none of the bits above
// Failures are Windows-style codes from ErrnoToWinError (0 = success). The word is computed and written
// by ReadFileData and WriteFileAttributes (FileStatus.h), through the replaceable extended-attribute
// layer; these wrappers only add the rule that an empty name is a missing file (2).

#include <cstdint>
#include <string>

constexpr uint32_t faReadOnly = 0x01;
constexpr uint32_t faHidden = 0x02;
constexpr uint32_t faSysFile = 0x04;
constexpr uint32_t faDirectory = 0x10;
constexpr uint32_t faArchive = 0x20;
constexpr uint32_t faNormal = 0x80;
constexpr uint32_t faReparsePoint = 0x400;
// Every bit the layer can report.
constexpr uint32_t faAnyFile = 0x4B7;

// The name of the extended attribute that records a cleared archive bit.
inline constexpr const char* ArchiveXattrName = "user.vastrel.arch";

// The attributes of path (links followed or not), or -1 with error set to the code of the failure.
int PosixFileGetAttr(const std::string& path, bool followLink, uint32_t* error = nullptr);
// Sets the read-only and archive bits of path to those of attr; the other bits are ignored. On a
// symbolic link that is not followed nothing can be set and 0 is returned.
uint32_t PosixFileSetAttr(const std::string& path, uint32_t attr, bool followLink);
// True when dir is a directory on another file system than its parent (the root "/" is none).
bool PosixIsMountPoint(const std::string& dir);
