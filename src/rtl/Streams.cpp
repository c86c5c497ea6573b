#include "rtl/Streams.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unistd.h>

int64_t TStream::GetSize()
{
    int64_t pos = Seek(0, soCurrent);
    int64_t size = Seek(0, soEnd);
    Seek(pos, soBeginning);
    return size;
}

void TStream::SetSize(int64_t)
{
    throw EStreamError("Stream size cannot be changed");
}

void TStream::ReadBuffer(void* buffer, int64_t count)
{
    auto* p = static_cast<uint8_t*>(buffer);
    while (count > 0) {
        int64_t got = Read(p, count);
        if (got <= 0)
            throw EReadError("Stream read error");
        p += got;
        count -= got;
    }
}

void TStream::WriteBuffer(const void* buffer, int64_t count)
{
    const auto* p = static_cast<const uint8_t*>(buffer);
    while (count > 0) {
        int64_t put = Write(p, count);
        if (put <= 0)
            throw EWriteError("Stream write error");
        p += put;
        count -= put;
    }
}

int64_t TStream::CopyFrom(TStream& source, int64_t count)
{
    if (count == 0) {
        source.SetPosition(0);
        count = source.GetSize() - source.GetPosition();
    }
    int64_t total = 0;
    std::vector<uint8_t> buf(static_cast<size_t>(std::min<int64_t>(std::max<int64_t>(count, 1), 1 << 20)));
    while (count > 0) {
        int64_t chunk = std::min<int64_t>(count, static_cast<int64_t>(buf.size()));
        source.ReadBuffer(buf.data(), chunk);
        WriteBuffer(buf.data(), chunk);
        count -= chunk;
        total += chunk;
    }
    return total;
}

THandleStream::~THandleStream()
{
    CloseHandle();
}

void THandleStream::CloseHandle()
{
    if (FOwnsHandle && FHandle >= 0)
        ::close(FHandle);
    FHandle = -1;
}

int64_t THandleStream::Read(void* buffer, int64_t count)
{
    for (;;) {
        ssize_t r = ::read(FHandle, buffer, static_cast<size_t>(count));
        if (r >= 0)
            return r;
        if (errno == EINTR)
            continue;
        FLastErrno = errno;
        return -1;
    }
}

int64_t THandleStream::Write(const void* buffer, int64_t count)
{
    for (;;) {
        ssize_t r = ::write(FHandle, buffer, static_cast<size_t>(count));
        if (r >= 0)
            return r;
        if (errno == EINTR)
            continue;
        FLastErrno = errno;
        return -1;
    }
}

int64_t THandleStream::Seek(int64_t offset, TSeekOrigin origin)
{
    int whence = origin == soBeginning ? SEEK_SET : origin == soCurrent ? SEEK_CUR : SEEK_END;
    off_t r = ::lseek(FHandle, offset, whence);
    if (r < 0)
        FLastErrno = errno;
    return r;
}

void THandleStream::SetSize(int64_t newSize)
{
    if (::ftruncate(FHandle, newSize) != 0) {
        FLastErrno = errno;
        throw EStreamError(std::string("Stream size cannot be changed: ") + std::strerror(FLastErrno));
    }
    if (GetPosition() > newSize)
        Seek(newSize, soBeginning);
}

int64_t TMemoryStream::Read(void* buffer, int64_t count)
{
    if (count <= 0 || FPosition >= static_cast<int64_t>(FData.size()))
        return 0;
    int64_t n = std::min<int64_t>(count, static_cast<int64_t>(FData.size()) - FPosition);
    std::memcpy(buffer, FData.data() + FPosition, static_cast<size_t>(n));
    FPosition += n;
    return n;
}

int64_t TMemoryStream::Write(const void* buffer, int64_t count)
{
    if (count <= 0)
        return 0;
    if (FPosition + count > static_cast<int64_t>(FData.size()))
        FData.resize(static_cast<size_t>(FPosition + count));
    std::memcpy(FData.data() + FPosition, buffer, static_cast<size_t>(count));
    FPosition += count;
    return count;
}

int64_t TMemoryStream::Seek(int64_t offset, TSeekOrigin origin)
{
    int64_t base = origin == soBeginning ? 0
                   : origin == soCurrent ? FPosition
                                         : static_cast<int64_t>(FData.size());
    int64_t pos = base + offset;
    if (pos < 0)
        return -1;
    FPosition = pos;
    return FPosition;
}

void TMemoryStream::SetSize(int64_t newSize)
{
    FData.resize(static_cast<size_t>(std::max<int64_t>(newSize, 0)));
    if (FPosition > newSize)
        FPosition = newSize;
}

void TMemoryStream::Clear()
{
    FData.clear();
    FPosition = 0;
}

void TMemoryStream::LoadFromStream(TStream& source)
{
    source.SetPosition(0);
    int64_t size = source.GetSize();
    FData.resize(static_cast<size_t>(size));
    if (size > 0)
        source.ReadBuffer(FData.data(), size);
    FPosition = 0;
}

void TMemoryStream::SaveToStream(TStream& dest)
{
    if (!FData.empty())
        dest.WriteBuffer(FData.data(), static_cast<int64_t>(FData.size()));
}
