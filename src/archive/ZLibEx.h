#pragma once
// Stream classes over zlib's deflate and inflate.
//
// Compressed output that goes into a file is written through the file's descriptor, and a failure
// raises ZLibEx::EWriteFileStreamError with the Windows-style code (112 = disk full). A decompression
// stream can be limited to a number of input bytes, and it leaves its source on the first byte after
// the compressed data, so that a trailer or the next entry can be read next.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <zlib.h>

#include "rtl/Streams.h"
#include "rtl/SysUtils.h"

enum TZCompressionLevel
{
    zcNone,
    zcFastest,
    zcDefault,
    zcMax
};

enum TCompressionLevel
{
    clNone,
    clFastest,
    clDefault,
    clMax
};

using TNotifyEvent = std::function<void()>;

class EZLibError : public Exception
{
public:
    using Exception::Exception;
};

class EZCompressionError : public EZLibError
{
public:
    using EZLibError::EZLibError;
};

class EZDecompressionError : public EZLibError
{
public:
    using EZLibError::EZLibError;
};

namespace ZLibEx {
// A failed write of compressed output into a file. The message is the system's text for the code
// followed by " (0x%.8x)".
class EWriteFileStreamError : public Exception
{
public:
    explicit EWriteFileStreamError(uint32_t code);
    uint32_t ErrorCode() const { return FCode; }

private:
    uint32_t FCode;
};
} // namespace ZLibEx

// The zlib level of a compression level.
int ZLevel(TZCompressionLevel level);

class TCustomZStream : public TStream
{
public:
    ~TCustomZStream() override = default;
    TCustomZStream(const TCustomZStream&) = delete;
    TCustomZStream& operator=(const TCustomZStream&) = delete;

    // Called after each buffer that goes to or comes from the underlying stream.
    TNotifyEvent OnProgress;

protected:
    explicit TCustomZStream(TStream& stream);
    void Progress()
    {
        if (OnProgress)
            OnProgress();
    }

    TStream* FStream;
    int64_t FStreamStartPos;
    int64_t FStreamPos;
    z_stream FZStream{};
    std::vector<uint8_t> FBuffer;
};

class TZCompressionStream : public TCustomZStream
{
public:
    explicit TZCompressionStream(TStream& dest) : TZCompressionStream(dest, zcDefault, 15) {}
    TZCompressionStream(TStream& dest, TZCompressionLevel compressionLevel, int windowBits);
    TZCompressionStream(TCompressionLevel compressionLevel, TStream& dest);
    // Finishes the stream when Finish was not called; write failures are then lost.
    ~TZCompressionStream() override;

    int64_t Read(void* buffer, int64_t count) override; // always raises
    int64_t Write(const void* buffer, int64_t count) override;
    // Only (0, soCurrent): the number of bytes written into the stream so far.
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    int64_t GetSize() override { return static_cast<int64_t>(FZStream.total_in); }

    // Ends the deflate stream and writes the rest of the output; raises when a write fails.
    void Finish();
    // (1 - bytes out / bytes in) * 100; 0 when nothing was written.
    double CompressionRate() const;

private:
    void FlushBuffer(size_t count);
    bool FInitialized = false;
    bool FFinished = false;
};

class TZDecompressionStream : public TCustomZStream
{
public:
    explicit TZDecompressionStream(TStream& source) : TZDecompressionStream(source, 0, 15) {}
    TZDecompressionStream(TStream& source, int64_t aLength) : TZDecompressionStream(source, aLength, 15) {}
    // aLength: input bytes allowed; 0 or less means the size of source.
    TZDecompressionStream(TStream& source, int64_t aLength, int windowBits);
    ~TZDecompressionStream() override;

    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void* buffer, int64_t count) override; // always raises
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;

    // True once the end of the deflate stream has been reached.
    bool StreamEnded() const { return FEnded; }
    // Input bytes consumed so far (the compressed length once the stream has ended).
    int64_t TotalIn() const { return static_cast<int64_t>(FZStream.total_in); }

private:
    void Discard(int64_t count);
    int64_t SLength;
    int64_t FInitialLength;
    bool FEnded = false;
};
