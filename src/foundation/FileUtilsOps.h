#pragma once
// Links, permissions and streams, deleting files and folder trees, counting files and testing
// folders. Part of the FileUtils family.
//
// On Linux a "junction" is a symbolic link to a folder (link type 2 is any symbolic link) and a mount
// point inside a tree is link type 1. Alternate data streams are user extended attributes; the
// permissions of a file are its mode bits, POSIX ACLs and (for root) its owner.
// Tree walks never follow links and never enter mount points, never open FIFOs, sockets or devices,
// and work relative to open folders, so trees deeper than PATH_MAX are handled too.

#include <cstdint>
#include <string>

#include "rtl/DateTime.h"

// --- links

// The path a link resolves to (the folder itself for a mount point); false when Path is no reparse
// point or the target does not exist.
bool GetLinkFinalPath(const std::string& path, std::string& target);
bool ReadLinkTarget(const std::string& path, std::string& target);
// 1 mount point, 2 symbolic link, 0 anything else or not found.
int GetLinkType(const std::string& path);
bool GetLinkInfo(const std::string& path, int attr, std::string& target, int& linkType);
bool GetLinkTarget(const std::string& path, int attr, std::string& target);
bool HasReparseAttr(int attr);
bool IsReparsePoint(const std::string& path);
// The name of an open file descriptor; false when it cannot be told.
bool GetFileNameByHandle(int fd, std::string& name);
// Makes LinkDir a link to the folder Target (see the implementation for the exact rules). Code.
uint32_t CreateJunction(const std::string& linkDir, const std::string& target);

// --- copying

// Copies the data of Src into a new Dest (no times, no attributes). 0 when the names are equal; 112 for
// a short write; else the code of the failing open, read or write. Only regular files are read.
uint32_t CopyFileByStream(const std::string& src, const std::string& dest, int bufSize);
// Copies data, last-write time and attributes (Attr < 0: those of Src). Raises ECopyError.
void CopyFileBuffered(const std::string& src, const std::string& dest, int attr, int bufSize);

// --- permissions and streams

uint32_t CopyFilePermissions(const std::string& src, const std::string& dest);
uint32_t CopyAlternateStreams(const std::string& src, const std::string& dest);

// --- deleting, counting, testing

bool ForceDeleteFile(const std::string& name);
bool DeleteFileIfExists(const std::string& name);
int DeleteFiles(const std::string& dir, const std::string& mask);
int DeleteOlderFiles(const std::string& dir, const std::string& mask, TDateTime date);
bool DeleteDirectory(const std::string& dir, bool removeDir);
int CountFiles(const std::string& dir, bool recursive, const std::string& ext);
bool IsDirectory(const std::string& path);
bool IsEmptyDirectory(const std::string& dir);
bool HasNoSubDirs(const std::string& dir);
bool CheckDirAccess(const std::string& dir, uint32_t& errCode);
bool IsDirAccessible(const std::string& dir);
bool IsPathMissing(const std::string& path);
