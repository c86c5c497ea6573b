#include <cerrno>
#include <cstring>
#include <gtest/gtest.h>

#include "platform/ErrorCodes.h"

TEST(ErrorCodes, MapsEveryErrnoTheSuiteComparesToItsCode)
{
    const std::pair<int, uint32_t> table[] = {
        {0, 0},
        {ENOENT, 2},
        {ENOTDIR, 3},
        {EMFILE, 4},
        {EACCES, 5},
        {EPERM, 5},
        {EISDIR, 5},
        {EBADF, 6},
        {ENOMEM, 8},
        {EXDEV, 17},
        {EROFS, 19},
        {ENXIO, 21},
        {EBUSY, 32},
        {ETXTBSY, 32},
        {EWOULDBLOCK, 33},
        {ENOTSUP, 50},
        {EHOSTDOWN, 53},
        {ECONNRESET, 64},
        {ESTALE, 64},
        {EEXIST, 183},
        {EINVAL, 87},
        {EPIPE, 109},
        {ENOSPC, 112},
        {EDQUOT, 112},
        {ENOTEMPTY, 145},
        {ENOEXEC, 193},
        {ENAMETOOLONG, 206},
        {EFBIG, 223},
        {EIO, 1117},
        {ECANCELED, 1223},
        {ECONNREFUSED, 1225},
        {ENETUNREACH, 1231},
        {EHOSTUNREACH, 1232},
        {ETIMEDOUT, 1460},
        {ELOOP, 1921},
    };
    for (auto [err, code] : table)
        EXPECT_EQ(ErrnoToWinError(err), code) << "errno " << err;
}

TEST(ErrorCodes, UnmappedErrnoKeepsItsValueUnderItsOwnFacility)
{
    uint32_t code = ErrnoToWinError(EPROTO);
    EXPECT_EQ(code >> 16, FACILITY_ERRNO);
    EXPECT_EQ(code & 0xFFFF, static_cast<uint32_t>(EPROTO));
    EXPECT_EQ(ErrnoOfWinError(code), EPROTO);
    EXPECT_EQ(ErrnoOfWinError(2), 0);
    EXPECT_EQ(SystemErrorText(code), std::strerror(EPROTO));
}

TEST(ErrorCodes, MappedCodesHaveTextsAndUnknownCodesNone)
{
    EXPECT_EQ(SystemErrorText(2), "The system cannot find the file specified.");
    EXPECT_EQ(SystemErrorText(112), "There is not enough space on the disk.");
    EXPECT_EQ(SystemErrorText(5), "Access is denied.");
    EXPECT_EQ(SystemErrorText(9999), "");
    EXPECT_EQ(SystemErrorText(0x80070002u), "");
}
