#include "foundation/FileUtils.h"

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "foundation/ExtSysUtils.h"
#include "platform/ErrorCodes.h"
#include "rtl/Gettext.h"

namespace {

std::string ExpandedName(const std::string& fileName)
{
    std::error_code ec;
    std::filesystem::path p = std::filesystem::absolute(fileName, ec);
    if (ec)
        return fileName;
    return p.lexically_normal().string();
}

// The system's text of a code (never empty).
std::string CodeText(uint32_t code)
{
    std::string text = SystemErrorText(code);
    return text.empty() ? SystemErrorMessage(code) : text;
}

// flock that retries after signals; true on success, else errno is set.
bool Flock(int fd, int op)
{
    for (;;) {
        if (::flock(fd, op | LOCK_NB) == 0)
            return true;
        if (errno != EINTR)
            return false;
    }
}

// Applies the share mode; 0 or the code of the failure. A lock refused because another stream holds
// one is a sharing violation (EBUSY); file systems without flock leave the share mode unenforced.
uint32_t ApplyShareMode(int fd, uint8_t share, bool writeAccess)
{
    int hold = 0;
    switch (share & 0xF0) {
    case fmShareExclusive:
    case fmShareDenyRead:
        hold = LOCK_EX;
        break;
    case fmShareDenyWrite:
        hold = LOCK_SH;
        break;
    default:
        break;
    }
    int op = hold ? hold : (writeAccess ? LOCK_EX : LOCK_SH);
    if (!Flock(fd, op)) {
        if (errno == EWOULDBLOCK)
            return ErrnoToWinError(EBUSY);
        return 0;
    }
    if (!hold)
        ::flock(fd, LOCK_UN);
    return 0;
}

} // namespace

EExtFileStreamError EExtFileStreamError::CreateResFmt(std::string_view resString, TFormatArgs args, int error)
{
    return EExtFileStreamError(TryFormat(_(resString), args), error);
}

ECopyError ECopyError::CreateResFmt(std::string_view resString, TFormatArgs args, int error)
{
    return ECopyError(TryFormat(_(resString), args), error);
}

TExtFileStream::TExtFileStream(const std::string& fileName, uint16_t mode, uint32_t rights)
    : FFileName(fileName)
{
    const bool create = (mode & fmCreate) == fmCreate;
    uint8_t share;
    int flags = O_CLOEXEC;
    bool writeAccess;
    if (create) {
        share = static_cast<uint8_t>(mode & 0xFF);
        if (share == 0xFF)
            share = fmShareExclusive;
        flags |= O_RDWR | O_CREAT;
        writeAccess = true;
    } else {
        share = static_cast<uint8_t>(mode & 0xF0);
        switch (mode & 0x0F) {
        case fmOpenWrite:
            flags |= O_WRONLY;
            break;
        case fmOpenReadWrite:
            flags |= O_RDWR;
            break;
        default:
            flags |= O_RDONLY;
            break;
        }
        writeAccess = (mode & 0x0F) != fmOpenRead;
    }

    uint32_t code = 0;
    int fd;
    do
        fd = ::open(fileName.c_str(), flags, rights ? static_cast<mode_t>(rights & 07777) : 0666);
    while (fd < 0 && errno == EINTR);
    if (fd < 0)
        code = LastWinError();
    else {
        struct stat st;
        if (::fstat(fd, &st) != 0)
            code = LastWinError();
        else if (S_ISDIR(st.st_mode))
            code = ErrnoToWinError(EISDIR);
        if (!code)
            code = ApplyShareMode(fd, share, writeAccess);
        if (!code && create && S_ISREG(st.st_mode) && st.st_size != 0 && ::ftruncate(fd, 0) != 0)
            code = LastWinError();
        if (code)
            ::close(fd);
    }
    if (code) {
        const char* text = create ? N_("Cannot create file \"%s\". %s") : N_("Cannot open file \"%s\". %s");
        throw EExtFileStreamError::CreateResFmt(text, {ExpandedName(fileName), CodeText(code)},
                                                static_cast<int>(code));
    }
    SetHandle(fd, true);
}

TExtFileStream::~TExtFileStream()
{
    CloseHandle();
}

uint32_t TExtFileStream::Read(void* buffer, int64_t count, int64_t& readCount)
{
    auto* p = static_cast<uint8_t*>(buffer);
    int64_t done = 0;
    while (done < count) {
        int64_t got = THandleStream::Read(p + done, count - done);
        if (got < 0) {
            readCount = -1;
            return ErrnoToWinError(LastErrno());
        }
        if (got == 0)
            break;
        done += got;
    }
    readCount = done;
    return 0;
}

uint32_t TExtFileStream::Write(const void* buffer, int64_t count, int64_t& writeCount)
{
    const auto* p = static_cast<const uint8_t*>(buffer);
    int64_t done = 0;
    while (done < count) {
        int64_t put = THandleStream::Write(p + done, count - done);
        if (put < 0) {
            writeCount = -1;
            return ErrnoToWinError(LastErrno());
        }
        if (put == 0)
            break;
        done += put;
    }
    writeCount = done;
    return 0;
}

uint32_t CreateUtf8File(const std::string& fileName)
{
    try {
        TExtFileStream stream(fileName, fmCreate);
        static const uint8_t bom[] = {0xEF, 0xBB, 0xBF};
        int64_t written;
        uint32_t code = stream.Write(bom, sizeof(bom), written);
        if (code == 0 && written != static_cast<int64_t>(sizeof(bom)))
            code = WinError::ERROR_DISK_FULL;
        return code;
    } catch (const EExtFileStreamError& e) {
        return static_cast<uint32_t>(e.ErrorCode);
    }
}
