#pragma once
// The stream family: an abstract stream, a stream over a file descriptor and memory streams.

#include <cstdint>
#include <string>
#include <vector>

#include "rtl/SysUtils.h"

enum TSeekOrigin
{
    soBeginning,
    soCurrent,
    soEnd
};

// Open modes of file streams (low nibble: access, next nibble: sharing; fmCreate creates or truncates).
constexpr uint16_t fmCreate = 0xFF00;
constexpr uint16_t fmOpenRead = 0x0000;
constexpr uint16_t fmOpenWrite = 0x0001;
constexpr uint16_t fmOpenReadWrite = 0x0002;
constexpr uint16_t fmShareCompat = 0x0000;
constexpr uint16_t fmShareExclusive = 0x0010;
constexpr uint16_t fmShareDenyWrite = 0x0020;
constexpr uint16_t fmShareDenyRead = 0x0030;
constexpr uint16_t fmShareDenyNone = 0x0040;

class TStream
{
public:
    virtual ~TStream() = default;

    // Reads up to count bytes; returns the number read (0 at the end, -1 on a failure).
    virtual int64_t Read(void* buffer, int64_t count) = 0;
    // Writes up to count bytes; returns the number written (-1 on a failure).
    virtual int64_t Write(const void* buffer, int64_t count) = 0;
    // Moves the position; returns the new position (-1 on a failure).
    virtual int64_t Seek(int64_t offset, TSeekOrigin origin) = 0;

    virtual int64_t GetSize();
    // Raises EStreamError when the size cannot be changed.
    virtual void SetSize(int64_t newSize);

    int64_t GetPosition() { return Seek(0, soCurrent); }
    void SetPosition(int64_t pos) { Seek(pos, soBeginning); }

    // Read or write exactly count bytes, else raise EReadError "Stream read error" or
    // EWriteError "Stream write error".
    void ReadBuffer(void* buffer, int64_t count);
    void WriteBuffer(const void* buffer, int64_t count);
    // Copies count bytes from source's current position; count 0 copies all of source from its start.
    int64_t CopyFrom(TStream& source, int64_t count);
};

// A stream over an open file descriptor. Owns the descriptor when told so.
class THandleStream : public TStream
{
public:
    explicit THandleStream(int handle, bool ownsHandle = false) : FHandle(handle), FOwnsHandle(ownsHandle) {}
    ~THandleStream() override;
    THandleStream(const THandleStream&) = delete;
    THandleStream& operator=(const THandleStream&) = delete;

    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void* buffer, int64_t count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    void SetSize(int64_t newSize) override;
    int Handle() const { return FHandle; }
    // errno of the last failed call, 0 when none failed.
    int LastErrno() const { return FLastErrno; }

protected:
    THandleStream() = default;
    void SetHandle(int handle, bool ownsHandle)
    {
        FHandle = handle;
        FOwnsHandle = ownsHandle;
    }
    void CloseHandle();
    int FHandle = -1;
    bool FOwnsHandle = false;
    int FLastErrno = 0;
};

class TMemoryStream : public TStream
{
public:
    TMemoryStream() = default;
    explicit TMemoryStream(std::string data) : FData(data.begin(), data.end()) {}

    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void* buffer, int64_t count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    int64_t GetSize() override { return static_cast<int64_t>(FData.size()); }
    void SetSize(int64_t newSize) override;

    void Clear();
    uint8_t* Memory() { return FData.data(); }
    const std::vector<uint8_t>& Bytes() const { return FData; }
    std::string DataString() const { return std::string(FData.begin(), FData.end()); }
    void LoadFromStream(TStream& source);
    void SaveToStream(TStream& dest);

private:
    std::vector<uint8_t> FData;
    int64_t FPosition = 0;
};
