#include "archive/PasswordText.h"

#include "archive/AesLib.h"
#include "rtl/Streams.h"

#include <gtest/gtest.h>

#include "ArchiveTestUtil.h"

using namespace archivetest;

namespace {

const std::string& Key()
{
    static const std::string key = UnscrambleKeyString(ProgramKeyString);
    return key;
}

} // namespace

TEST(PasswordTextTest, ProgramKeyIsElevenCharactersAtMost)
{
    EXPECT_FALSE(Key().empty());
    EXPECT_LE(Key().size(), 11u);
    EXPECT_EQ(UnscrambleKeyString(""), "");
    TEncryption enc(Key(), 0, 16);
    EXPECT_EQ(enc.KeyMode(), 1);
}

TEST(PasswordTextTest, EmptyKeyWritesThePlainContent)
{
    std::string result;
    EncryptToText("", "abc", 3, result, true);
    EXPECT_EQ(result, "24616263");
    std::string back;
    DecryptFromText("", result, true, back);
    EXPECT_EQ(back, "abc");
}

TEST(PasswordTextTest, PasswordsRoundTripInBothForms)
{
    for (bool asHex : {false, true}) {
        for (const std::string& pwd : {std::string("a"), std::string("pass5"), std::string("Ünïcödé ✓ pass"),
                                       std::string(63, 'x'), std::string(64, 'y')}) {
            std::string encoded;
            EncodePassword(Key(), pwd, 64, encoded, asHex);
            ASSERT_FALSE(encoded.empty());
            std::string decoded;
            DecodePassword(Key(), encoded, asHex, decoded);
            EXPECT_EQ(decoded, pwd) << asHex;
        }
    }
}

TEST(PasswordTextTest, FiveCharacterPasswordIsPaddedTo64Bytes)
{
    std::string encoded;
    EncodePassword(Key(), "abcde", 64, encoded, true);
    // 64 bytes of content + 10 salt and verifier + 10 code, two digits each
    EXPECT_EQ(encoded.size(), 2u * (64 + 20));
    std::string decoded;
    DecodePassword(Key(), encoded, true, decoded);
    EXPECT_EQ(decoded, "abcde");
}

TEST(PasswordTextTest, LongPasswordIsCutToLenCharacters)
{
    std::string pwd = RandomBytes(70, 3);
    std::string encoded;
    EncodePassword(Key(), pwd, 64, encoded, false);
    std::string decoded;
    DecodePassword(Key(), encoded, false, decoded);
    EXPECT_EQ(decoded, pwd.substr(0, 64));
}

TEST(PasswordTextTest, CommandsArePaddedTo32OnlyWhenShorter)
{
    std::string shortCommand = "/usr/bin/true";
    std::string longCommand(40, 'c');
    for (const std::string& command : {shortCommand, longCommand}) {
        std::string encoded;
        EncodeCommand(Key(), command, true, encoded);
        size_t content = encoded.size() / 2 - 20;
        EXPECT_EQ(content, 1 + std::max<size_t>(command.size(), 32)) << command;
        std::string decoded;
        DecodeCommand(Key(), encoded, true, decoded);
        EXPECT_EQ(decoded, command);
    }
}

TEST(PasswordTextTest, TwoEncodingsDifferAndBothDecode)
{
    std::string a, b, da, db;
    EncodePassword(Key(), "secret", 64, a, false);
    EncodePassword(Key(), "secret", 64, b, false);
    EXPECT_NE(a, b);
    DecodePassword(Key(), a, false, da);
    DecodePassword(Key(), b, false, db);
    EXPECT_EQ(da, "secret");
    EXPECT_EQ(db, "secret");
}

TEST(PasswordTextTest, WrongKeyOrGarbageGivesAnEmptyText)
{
    std::string encoded;
    EncodePassword(Key(), "secret", 64, encoded, false);
    for (const std::string& key : {std::string("other"), std::string("another key")}) {
        std::string decoded = "x";
        DecodePassword(key, encoded, false, decoded);
        EXPECT_EQ(decoded, "");
    }
    for (const std::string& garbage :
         {std::string("~~~~"), std::string("z"), std::string("!!"), std::string(300, 'u')}) {
        std::string decoded = "x";
        DecodePassword(Key(), garbage, false, decoded);
        EXPECT_EQ(decoded, "");
        DecodePassword(Key(), garbage, true, decoded);
        EXPECT_EQ(decoded, "");
    }
}

TEST(PasswordTextTest, Ascii85GroupsFollowTheRules)
{
    EXPECT_EQ(Ascii85EncodeGroup(0, 4), "z");
    EXPECT_EQ(Ascii85EncodeGroup(0, 2), "!!!");
    EXPECT_EQ(Ascii85EncodeGroup(0xFFFFFFFF, 4), "s8W-!");
    EXPECT_EQ(Ascii85DecodeGroup("s8W-!"), 0xFFFFFFFFu);
    EXPECT_EQ(Ascii85DecodeGroup("!"), 0u);
    // "Man " is the classic example group
    EXPECT_EQ(Ascii85EncodeGroup(0x4D616E20, 4), "9jqo^");
}

TEST(PasswordTextTest, ZeroGroupsAndShortLastGroupsRoundTripWithoutKey)
{
    for (size_t zeros : {size_t(7), size_t(8), size_t(9), size_t(10), size_t(13)}) {
        std::string text = std::string(zeros, '\0') + "\xff\x01";
        std::string encoded;
        EncryptToText("", text, static_cast<int>(text.size()), encoded, false);
        EXPECT_NE(encoded.find('z'), std::string::npos);
        std::string decoded;
        DecryptFromText("", encoded, false, decoded);
        EXPECT_EQ(decoded, text) << zeros;
    }
}

TEST(PasswordTextTest, OddHexDigitCountDecodesTheLastDigitAlone)
{
    // prefix byte '$' (3 + 33), then "ab" and a last single digit 7 -> byte 7
    std::string decoded;
    DecryptFromText("", "2461627", true, decoded);
    EXPECT_EQ(decoded, std::string("ab\x07", 3));
}

TEST(PasswordTextTest, TwoBytePrefixCarriesLongTexts)
{
    std::string text(300, 'L');
    std::string encoded;
    EncryptToText(Key(), text, 300, encoded, false);
    std::string decoded;
    DecryptFromText(Key(), encoded, false, decoded);
    EXPECT_EQ(decoded, text);
    std::string plain;
    EncryptToText("", text, 300, plain, true);
    EXPECT_EQ(plain.substr(0, 4), "012C");
}
