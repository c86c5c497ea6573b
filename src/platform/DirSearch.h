#pragma once
// Directory searches in the manner of the class library's FindFirst / FindNext / FindClose.
//
// Path is a folder and a name mask ("dir/*.txt"); the mask may hold "*" and "?" and is compared without
// regard to case; "*.*" and masks ending in ".*" also match names without an extension. A mask without
// wildcards names one entry exactly (case-sensitive, as Linux paths are). Entries are reported with
// their own status (links not followed). Directories, hidden and system entries are found only when
// Attr asks for them, as with the class library; "." and ".." are reported like any folder.
// FIFOs, sockets and devices are never opened.

#include <cstdint>
#include <memory>
#include <string>

#include "platform/FileStatus.h"

struct TDirSearchState;

struct TSearchRec
{
    int32_t Time = 0; // local DOS date-time of the last write
    int64_t Size = 0;
    int Attr = 0;
    std::string Name;
    int ExcludeAttr = 0;
    TPosixFileData FindData; // the full status of the entry
    std::string Folder;      // the folder searched, with a trailing slash (empty for the current folder)
    std::shared_ptr<TDirSearchState> State;
};

// 0 when an entry was found, else a Windows-style code (18: no more files, 2/3 not found).
int FindFirst(const std::string& path, int attr, TSearchRec& f);
int FindNext(TSearchRec& f);
void FindClose(TSearchRec& f);

// The mask test of the directory search.
bool DirSearchMatches(const std::string& name, const std::string& mask);

// The local DOS date-time of a UTC FILETIME; 0 when it cannot be represented (before 1980 or after 2107).
uint32_t FileTimeToLocalDos(FILETIME ft);
