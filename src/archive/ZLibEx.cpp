#include "archive/ZLibEx.h"

#include <algorithm>
#include <cerrno>
#include <unistd.h>

#include "platform/ErrorCodes.h"

namespace {

constexpr size_t ZBufferSize = 65536;
const char* const InvalidOperation = "Invalid ZStream operation!";

std::string ZErrorText(int code)
{
    const char* text = zError(code);
    return text ? text : "zlib error";
}

// Writes all bytes through the descriptor of a handle stream, or with WriteBuffer into any other stream.
void GuardedWrite(TStream& stream, const uint8_t* data, size_t count)
{
    if (auto* handleStream = dynamic_cast<THandleStream*>(&stream)) {
        while (count > 0) {
            ssize_t put = ::write(handleStream->Handle(), data, count);
            if (put < 0) {
                if (errno == EINTR)
                    continue;
                throw ZLibEx::EWriteFileStreamError(LastWinError());
            }
            if (put == 0)
                throw ZLibEx::EWriteFileStreamError(WinError::ERROR_DISK_FULL);
            data += put;
            count -= static_cast<size_t>(put);
        }
        return;
    }
    stream.WriteBuffer(data, static_cast<int64_t>(count));
}

} // namespace

ZLibEx::EWriteFileStreamError::EWriteFileStreamError(uint32_t code)
    : Exception(SystemErrorText(code) + SafeFormat(" (0x%.8x)", {code})), FCode(code)
{
}

int ZLevel(TZCompressionLevel level)
{
    switch (level) {
    case zcNone:
        return 0;
    case zcFastest:
        return 1;
    case zcMax:
        return 9;
    default:
        return Z_DEFAULT_COMPRESSION;
    }
}

TCustomZStream::TCustomZStream(TStream& stream)
    : FStream(&stream), FStreamStartPos(stream.GetPosition()), FStreamPos(FStreamStartPos),
      FBuffer(ZBufferSize)
{
}

// --- compression

TZCompressionStream::TZCompressionStream(TStream& dest, TZCompressionLevel compressionLevel, int windowBits)
    : TCustomZStream(dest)
{
    FZStream.next_out = FBuffer.data();
    FZStream.avail_out = static_cast<uInt>(FBuffer.size());
    int rc = deflateInit2(&FZStream, ZLevel(compressionLevel), Z_DEFLATED, windowBits, 8, Z_DEFAULT_STRATEGY);
    if (rc != Z_OK)
        throw EZCompressionError(ZErrorText(rc));
    FInitialized = true;
}

TZCompressionStream::TZCompressionStream(TCompressionLevel compressionLevel, TStream& dest)
    : TZCompressionStream(dest, static_cast<TZCompressionLevel>(compressionLevel), 15)
{
}

TZCompressionStream::~TZCompressionStream()
{
    try {
        Finish();
    } catch (...) {
        // the owner that wants to know calls Finish itself
    }
    if (FInitialized)
        deflateEnd(&FZStream);
}

void TZCompressionStream::FlushBuffer(size_t count)
{
    if (FStream->GetPosition() != FStreamPos)
        FStream->Seek(FStreamPos, soBeginning);
    GuardedWrite(*FStream, FBuffer.data(), count);
    FZStream.next_out = FBuffer.data();
    FZStream.avail_out = static_cast<uInt>(FBuffer.size());
    FStreamPos = FStream->GetPosition();
    Progress();
}

int64_t TZCompressionStream::Read(void*, int64_t)
{
    throw EZCompressionError(InvalidOperation);
}

int64_t TZCompressionStream::Write(const void* buffer, int64_t count)
{
    if (FFinished)
        throw EZCompressionError(InvalidOperation);
    if (FStream->GetPosition() != FStreamPos)
        FStream->Seek(FStreamPos, soBeginning);
    const auto* input = static_cast<const uint8_t*>(buffer);
    int64_t remaining = count;
    while (remaining > 0) {
        auto chunk = static_cast<uInt>(std::min<int64_t>(remaining, 1 << 30));
        FZStream.next_in = const_cast<Bytef*>(input);
        FZStream.avail_in = chunk;
        while (FZStream.avail_in > 0) {
            int rc = deflate(&FZStream, Z_NO_FLUSH);
            if (rc < 0 && rc != Z_BUF_ERROR)
                throw EZCompressionError(ZErrorText(rc));
            if (FZStream.avail_out == 0)
                FlushBuffer(FBuffer.size());
        }
        input += chunk;
        remaining -= chunk;
    }
    return count;
}

int64_t TZCompressionStream::Seek(int64_t offset, TSeekOrigin origin)
{
    if (offset == 0 && origin == soCurrent)
        return static_cast<int64_t>(FZStream.total_in);
    throw EZCompressionError(InvalidOperation);
}

void TZCompressionStream::Finish()
{
    if (FFinished || !FInitialized)
        return;
    FFinished = true;
    FZStream.next_in = nullptr;
    FZStream.avail_in = 0;
    for (;;) {
        int rc = deflate(&FZStream, Z_FINISH);
        if (rc < 0 && rc != Z_BUF_ERROR)
            throw EZCompressionError(ZErrorText(rc));
        if (FZStream.avail_out == 0)
            FlushBuffer(FBuffer.size());
        if (rc == Z_STREAM_END)
            break;
    }
    size_t rest = FBuffer.size() - FZStream.avail_out;
    if (rest > 0)
        FlushBuffer(rest);
}

double TZCompressionStream::CompressionRate() const
{
    if (FZStream.total_in == 0)
        return 0;
    return (1.0 - static_cast<double>(FZStream.total_out) / static_cast<double>(FZStream.total_in)) * 100.0;
}

// --- decompression

TZDecompressionStream::TZDecompressionStream(TStream& source, int64_t aLength, int windowBits)
    : TCustomZStream(source)
{
    if (aLength <= 0)
        aLength = source.GetSize();
    SLength = aLength;
    FInitialLength = aLength;
    int rc = inflateInit2(&FZStream, windowBits);
    if (rc != Z_OK)
        throw EZDecompressionError(ZErrorText(rc));
}

TZDecompressionStream::~TZDecompressionStream()
{
    inflateEnd(&FZStream);
}

int64_t TZDecompressionStream::Read(void* buffer, int64_t count)
{
    if (count <= 0 || FEnded)
        return 0;
    if (FStream->GetPosition() != FStreamPos)
        FStream->Seek(FStreamPos, soBeginning);
    auto* output = static_cast<uint8_t*>(buffer);
    int64_t produced = 0;
    while (produced < count && !FEnded) {
        bool inputEnded = false;
        if (FZStream.avail_in == 0) {
            int64_t ask = std::min<int64_t>(static_cast<int64_t>(FBuffer.size()), SLength);
            int64_t got = ask > 0 ? FStream->Read(FBuffer.data(), ask) : 0;
            if (got < 0)
                throw EReadError("Stream read error");
            SLength -= got;
            if (got == 0) {
                // no more input: let inflate hand out what it still holds, then stop
                inputEnded = true;
                FZStream.next_in = FBuffer.data();
            } else {
                FZStream.next_in = FBuffer.data();
                FZStream.avail_in = static_cast<uInt>(got);
                FStreamPos = FStream->GetPosition();
                Progress();
            }
        }
        auto room = static_cast<uInt>(std::min<int64_t>(count - produced, 1 << 30));
        FZStream.next_out = output + produced;
        FZStream.avail_out = room;
        int rc = inflate(&FZStream, Z_NO_FLUSH);
        uInt made = room - FZStream.avail_out;
        produced += made;
        if (rc == Z_STREAM_END) {
            FEnded = true;
        } else if (rc == Z_NEED_DICT) {
            throw EZDecompressionError(ZErrorText(Z_DATA_ERROR));
        } else if (rc < 0 && rc != Z_BUF_ERROR) {
            throw EZDecompressionError(FZStream.msg ? FZStream.msg : ZErrorText(rc));
        }
        if (inputEnded && made == 0)
            break;
    }
    if (FEnded && FZStream.avail_in > 0) {
        // stand on the first byte after the compressed data
        FStream->Seek(-static_cast<int64_t>(FZStream.avail_in), soCurrent);
        FZStream.avail_in = 0;
        FStreamPos = FStream->GetPosition();
    }
    return produced;
}

int64_t TZDecompressionStream::Write(const void*, int64_t)
{
    throw EZDecompressionError(InvalidOperation);
}

void TZDecompressionStream::Discard(int64_t count)
{
    uint8_t scrap[8192];
    while (count > 0) {
        int64_t got = Read(scrap, std::min<int64_t>(count, sizeof scrap));
        if (got <= 0)
            break;
        count -= got;
    }
}

int64_t TZDecompressionStream::Seek(int64_t offset, TSeekOrigin origin)
{
    auto produced = static_cast<int64_t>(FZStream.total_out);
    if (offset == 0 && origin == soBeginning) {
        inflateReset(&FZStream);
        FZStream.avail_in = 0;
        FEnded = false;
        SLength = FInitialLength;
        FStream->Seek(FStreamStartPos, soBeginning);
        FStreamPos = FStreamStartPos;
    } else if (origin == soCurrent && offset >= 0) {
        Discard(offset);
    } else if (origin == soBeginning && offset >= produced) {
        Discard(offset - produced);
    } else if (origin == soEnd && offset == 0) {
        Discard(INT64_MAX);
    } else {
        throw EZDecompressionError(InvalidOperation);
    }
    return static_cast<int64_t>(FZStream.total_out);
}
