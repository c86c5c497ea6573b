#pragma once
// Copying what Windows keeps in alternate data streams and security descriptors:
// user extended attributes (the streams), mode bits, POSIX ACLs and, for root, the owner.

#include <cstdint>
#include <string>
#include <vector>

// The user.* extended attributes of a file that count as its alternate streams: every "user." name
// except the suite's own "user.vastrel." marks. 0 or a Windows-style code; a file system without
// extended attributes gives an empty list and 0.
uint32_t ListAltStreams(const std::string& path, std::vector<std::string>& names);

// Copies every alternate stream of Src to Dest (values replaced, streams Dest has beyond Src's kept).
// 0 when Src has none; 50 when Dest's file system refuses them; else a Windows-style code.
uint32_t CopyAltStreams(const std::string& src, const std::string& dest);

// Copies the permission bits (including set-id and sticky bits) of Src to Dest.
uint32_t CopyModeBits(const std::string& src, const std::string& dest);

// Copies the access ACL (and the default ACL of a folder) of Src to Dest. A source without extended
// ACL entries still copies its minimal ACL (the mode bits). 50 when Dest's file system has no ACLs.
uint32_t CopyAcls(const std::string& src, const std::string& dest);

// Copies owner and group when the process runs as root; otherwise does nothing and returns 0.
uint32_t CopyOwner(const std::string& src, const std::string& dest);

// Owner (root only), mode bits and ACLs in this order: the permissions of a file on Linux. The first
// failure wins.
uint32_t CopyPermissions(const std::string& src, const std::string& dest);

// True when the process runs with root rights (the owner can be copied, mode bits do not hold it back).
bool RunningAsRoot();
