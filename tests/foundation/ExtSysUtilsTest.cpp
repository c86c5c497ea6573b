#include <cerrno>
#include <cstring>
#include <gtest/gtest.h>

#include "foundation/ExtSysUtils.h"
#include "platform/ErrorCodes.h"

TEST(ExtSysUtils, SystemErrorMessageAppendsTheCodeInHexToTheText)
{
    EXPECT_EQ(SystemErrorMessage(2), "The system cannot find the file specified. (0x00000002)");
    EXPECT_EQ(SystemErrorMessage(112), "There is not enough space on the disk. (0x00000070)");
}

TEST(ExtSysUtils, SystemErrorMessageOfAnErrnoCodeUsesTheSystemText)
{
    uint32_t code = ErrnoToWinError(EPROTO);
    EXPECT_EQ(SystemErrorMessage(code), std::string(std::strerror(EPROTO)) + SafeFormat(" (0x%.8x)", {code}));
}

TEST(ExtSysUtils, SystemErrorMessageWithoutATextNamesTheCode)
{
    EXPECT_EQ(SystemErrorMessage(0x00070099), "Error code = 0x00070099");
    EXPECT_EQ(SystemErrorMessage(0x80004005), "Error code = 0x80004005");
}

TEST(ExtSysUtils, ErrorTestsLookAtTheLowSixteenBitsOnly)
{
    EXPECT_TRUE(IsNoError(0));
    EXPECT_TRUE(IsNoError(0x00070000));
    EXPECT_FALSE(IsNoError(2));
    EXPECT_TRUE(HasError(0x00070002));
    EXPECT_FALSE(HasError(0x80070000));
    EXPECT_TRUE(IsErrorCode(0x00070002, 2));
    EXPECT_TRUE(IsErrorCode(2, 2));
    EXPECT_FALSE(IsErrorCode(3, 2));
}

TEST(ExtSysUtils, TryFormatTurnsAMismatchIntoAFormatErrorText)
{
    EXPECT_EQ(TryFormat("%d files", {"many"}), "Format error: %d files");
    EXPECT_EQ(TryFormat("%s of %d", {"3", 5}), "3 of 5");
    EXPECT_EQ(TryFormat("%s and %s", {"one"}), "Format error: %s and %s");
}

TEST(ExtSysUtils, SlashesAndBackslashesAreSwapped)
{
    EXPECT_EQ(SlashToBackslash("/a/b/c.txt"), "\\a\\b\\c.txt");
    EXPECT_EQ(BackslashToSlash("\\\\srv\\share\\x"), "//srv/share/x");
    EXPECT_EQ(BackslashToSlash(""), "");
}
