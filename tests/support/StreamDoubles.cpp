#include "support/StreamDoubles.h"

#include <algorithm>
#include <cstring>

int64_t TFailingSink::Read(void*, int64_t)
{
    return 0;
}

int64_t TFailingSink::Write(const void* buffer, int64_t count)
{
    ++FWrites;
    if (count <= 0)
        return 0;
    int64_t room = std::max<int64_t>(0, FLimit - FAccepted);
    int64_t n = std::min(room, count);
    if (n > 0) {
        if (FPosition + n > static_cast<int64_t>(FData.size()))
            FData.resize(static_cast<size_t>(FPosition + n));
        std::memcpy(FData.data() + FPosition, buffer, static_cast<size_t>(n));
        FPosition += n;
        FAccepted += n;
    }
    if (n == count)
        return n;
    ++FFailedWrites;
    return FMode == FailMode::MinusOne ? -1 : n;
}

int64_t TFailingSink::Seek(int64_t offset, TSeekOrigin origin)
{
    int64_t base = origin == soBeginning ? 0
                   : origin == soCurrent ? FPosition
                                         : static_cast<int64_t>(FData.size());
    if (base + offset < 0)
        return -1;
    FPosition = base + offset;
    return FPosition;
}

void TFailingSink::SetSize(int64_t newSize)
{
    if (newSize < 0)
        throw EStreamError("Stream size error");
    FData.resize(static_cast<size_t>(newSize));
    FPosition = std::min(FPosition, newSize);
}

TTrickleSource::TTrickleSource(std::string data, uint32_t seed, bool seekable)
    : FData(std::move(data)), FState(seed * 0x9E3779B97F4A7C15ULL + 0x6A09E667F3BCC909ULL),
      FSeekable(seekable)
{
}

int64_t TTrickleSource::NextSize()
{
    // splitmix64: the same sequence on every platform and standard library.
    uint64_t z = (FState += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    z ^= z >> 31;
    return static_cast<int64_t>(z % 31) + 1;
}

int64_t TTrickleSource::Read(void* buffer, int64_t count)
{
    if (count <= 0)
        return 0;
    if (FFailAt >= 0 && FPosition >= FFailAt)
        return -1;
    int64_t left = static_cast<int64_t>(FData.size()) - FPosition;
    if (left <= 0)
        return 0;
    int64_t n = std::min({NextSize(), count, left});
    if (FFailAt >= 0)
        n = std::min(n, FFailAt - FPosition);
    std::memcpy(buffer, FData.data() + FPosition, static_cast<size_t>(n));
    FPosition += n;
    ++FReads;
    FLargest = std::max(FLargest, n);
    return n;
}

int64_t TTrickleSource::Write(const void*, int64_t)
{
    return -1;
}

int64_t TTrickleSource::Seek(int64_t offset, TSeekOrigin origin)
{
    if (!FSeekable)
        return origin == soCurrent && offset == 0 ? FPosition : -1;
    int64_t base = origin == soBeginning ? 0
                   : origin == soCurrent ? FPosition
                                         : static_cast<int64_t>(FData.size());
    if (base + offset < 0)
        return -1;
    FPosition = base + offset;
    return FPosition;
}

int64_t TTrickleSource::GetSize()
{
    return FSeekable ? static_cast<int64_t>(FData.size()) : -1;
}
