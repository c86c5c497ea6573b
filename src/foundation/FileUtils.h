#pragma once
// File streams whose failures carry the Windows-style error code, and their exceptions.
//
// Share modes. Linux has no mandatory sharing, so TExtFileStream keeps the share part of its mode with
// advisory flock locks, which every TExtFileStream (in this or another process) honours and other
// programs ignore:
//   fmShareExclusive, fmShareDenyRead  hold an exclusive lock while the stream is open
//   fmShareDenyWrite                   hold a shared lock while the stream is open
//   fmShareDenyNone, fmShareCompat     hold no lock
// Opening fails with code 32 (sharing violation) when the lock cannot be taken at once, and also when
// the stream asks for write access while another stream holds deny-write or exclusive, or asks for read
// access while another holds exclusive (tested by a lock taken and dropped at once). A file that a
// deny-none writer already holds open is not detected when a later stream asks for deny-write. The
// create mode takes its lock before it empties an existing file, so a refused create leaves the file
// as it was. Where the file system refuses flock (some network mounts) the share mode is not enforced.

#include <cstdint>
#include <string>
#include <string_view>

#include "rtl/Streams.h"
#include "rtl/SysUtils.h"

// A file stream failure; ErrorCode holds the Windows-style code and the message is a finished text.
class EExtFileStreamError : public EInOutError
{
public:
    EExtFileStreamError(std::string msg, int error) : EInOutError(std::move(msg), error) {}
    // The translated resource text resString formatted with args (never raising) as message.
    static EExtFileStreamError CreateResFmt(std::string_view resString, TFormatArgs args, int error);
};

// Raised only by the buffered file copy: code 2 for a missing source, 112 for a short write, else the
// code of the failing step.
class ECopyError : public EExtFileStreamError
{
public:
    using EExtFileStreamError::EExtFileStreamError;
    static ECopyError CreateResFmt(std::string_view resString, TFormatArgs args, int error);
};

class TExtFileStream : public THandleStream
{
public:
    // mode with all bits of fmCreate set creates or empties the file (read and write access) with the
    // share mode of its low byte, a low byte of $FF meaning fmShareExclusive; rights are the permission
    // bits of a new file (0 = 0666, less the umask). Any other mode opens an existing file with the
    // access of its low nibble and the share mode of its next nibble. A directory cannot be opened
    // (code 5). Raises EExtFileStreamError.
    TExtFileStream(const std::string& fileName, uint16_t mode, uint32_t rights = 0);
    ~TExtFileStream() override;

    using THandleStream::Read;
    using THandleStream::Write;
    // Reads up to count bytes, fewer only at the end of the file; readCount gets the number read
    // (-1 on failure). Returns 0 or the code of the failure.
    uint32_t Read(void* buffer, int64_t count, int64_t& readCount);
    // Writes count bytes; writeCount gets the number written (-1 on failure). Returns 0 or the code of
    // the failure.
    uint32_t Write(const void* buffer, int64_t count, int64_t& writeCount);

    const std::string& FileName() const { return FFileName; }

private:
    std::string FFileName;
};

// Creates fileName, or empties it, and writes the UTF-8 signature EF BB BF. Returns 0 or the code.
uint32_t CreateUtf8File(const std::string& fileName);
