#pragma once
// Stream doubles for the write and read paths of stream code.
//
// TFailingSink keeps what it accepted and fails once a byte limit is reached, like a full disk.
// TTrickleSource serves a string in small pieces of 1 to 31 bytes, like a pipe or a slow network.

#include <cstdint>
#include <limits>
#include <string>

#include "rtl/Streams.h"

class TFailingSink : public TStream
{
public:
    enum class FailMode
    {
        // A write that does not fit keeps the bytes that fit and returns -1; later writes return -1.
        MinusOne,
        // A write that does not fit keeps the bytes that fit and returns their count; later writes return 0.
        ShortCount
    };

    explicit TFailingSink(int64_t limit = std::numeric_limits<int64_t>::max(),
                          FailMode mode = FailMode::MinusOne)
        : FLimit(limit), FMode(mode)
    {
    }

    // Reading a sink gives nothing.
    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void* buffer, int64_t count) override;
    // Moves within the bytes written so far (writing past the end extends it with the next write).
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    int64_t GetSize() override { return static_cast<int64_t>(FData.size()); }
    void SetSize(int64_t newSize) override;

    // Everything written (and not cut off by SetSize).
    const std::string& Data() const { return FData; }
    // Bytes accepted in all; the limit counts these, not the size (overwriting counts too).
    int64_t Accepted() const { return FAccepted; }
    // Number of Write calls that did not write all of their bytes.
    int FailedWrites() const { return FFailedWrites; }
    // Number of Write calls in all.
    int Writes() const { return FWrites; }

    void SetLimit(int64_t limit) { FLimit = limit; }

private:
    std::string FData;
    int64_t FPosition = 0;
    int64_t FAccepted = 0;
    int64_t FLimit;
    FailMode FMode;
    int FFailedWrites = 0;
    int FWrites = 0;
};

class TTrickleSource : public TStream
{
public:
    // Each Read hands out between 1 and 31 bytes (never more than asked for), the sizes following a
    // pseudo-random sequence fixed by seed. A non-seekable source only answers Seek(0, soCurrent) and
    // GetSize() is -1, like a pipe.
    explicit TTrickleSource(std::string data, uint32_t seed = 1, bool seekable = true);

    int64_t Read(void* buffer, int64_t count) override;
    // The source is read-only: Write returns -1.
    int64_t Write(const void* buffer, int64_t count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    int64_t GetSize() override;

    // From this position on, Read returns -1 (a read failure in the middle of the data).
    void FailAt(int64_t position) { FFailAt = position; }
    // Number of Read calls that handed out bytes.
    int Reads() const { return FReads; }
    // Largest piece handed out so far.
    int64_t LargestRead() const { return FLargest; }

private:
    int64_t NextSize();

    std::string FData;
    int64_t FPosition = 0;
    uint64_t FState;
    bool FSeekable;
    int64_t FFailAt = -1;
    int FReads = 0;
    int64_t FLargest = 0;
};
