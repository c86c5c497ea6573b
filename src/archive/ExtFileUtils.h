#pragma once
// The record of a source file that the copy threads work from.

#include <cstdint>
#include <memory>
#include <string>

#include "foundation/FileUtilsTimes.h"
#include "platform/PosixFiles.h"
#include "rtl/Streams.h"

struct TFileStreamData
{
    std::shared_ptr<TStream> FileStream;
    uint32_t BufferSize = 0;
    void Reset()
    {
        FileStream.reset();
        BufferSize = 0;
    }
};

struct TFileData
{
    std::string FileName; // the name without folder
    std::string FullPath;
    TFileStreamData StreamData;
    int64_t FileSize = 0;
    uint32_t FileAttr = faArchive;
    TFileTimestamps TimeStamps;
};

// Resets data, sets FileName to the name part of path and, when path exists (links not followed),
// fills times, size and attributes; true when found.
bool GetFileData(const std::string& path, TFileData& data);
