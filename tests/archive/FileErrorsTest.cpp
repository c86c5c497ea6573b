#include "archive/FileErrors.h"

#include "platform/ErrorCodes.h"
#include "rtl/Gettext.h"
#include "support/Sandbox.h"
#include "support/Shell.h"
#include "support/TreeBuilder.h"

#include <cstdio>
#include <map>
#include <memory>
#include <set>

namespace {

const std::map<unsigned, std::string> MessageTexts = {
    {1, "Could not create file"},
    {2, "Could not open file"},
    {3, "Could not close file"},
    {4, "Could not read from file"},
    {5, "Could not write to file"},
    {6, "Attributes could not be set"},
    {7, "Low disk space"},
    {8, "Illegal file header"},
    {9, "Corrupt file"},
    {10, "Encryption failed"},
    {11, "Decryption failed"},
    {12, "Verification failed"},
    {13, "Path too long"},
    {14, "File not found"},
    {15, "Timestamp could not be set"},
    {16, "Error copying document summary"},
    {17, "Timeout error on copying file"},
    {18, "Undefined stream"},
    {19, "Permissions could not be copied"},
    {20, "File already exists"},
    {21, "Size mismatch"},
    {22, "Could not open destination file for verification"},
    {23, "Could not create directory"},
    {24, "Could not read from FTP"},
    {25, "Could not write to FTP"},
    {26, "Could not connect to FTP server"},
    {27, "FTP connection was closed by server"},
    {28, "Could not open FTP data connection"},
    {29, "Timeout error on copying file via FTP"},
    {30, "Different content"},
    {31, "Error creating new zip segment"},
    {32, "Illegal zip signature"},
    {33, "Could not extract file"},
    {34, "Unsupported file format"},
    {35, "Could not rename temporary file"},
    {36, "Error reading next zip segment"},
    {37, "Error copying alternate data streams"},
    {38, "Error deleting file"},
    {128, "Terminated by user"},
};

std::string UnknownText(unsigned word)
{
    char text[64];
    std::snprintf(text, sizeof text, "Unknown error code ($%08X)", word);
    return text;
}

// Restores English texts when a test installed a catalogue.
class CatalogueGuard
{
public:
    ~CatalogueGuard() { SetCatalogue(nullptr); }
};

} // namespace

TEST(FormatFileError, GivesTheTextOfEveryMessageNumber)
{
    for (unsigned number = 1; number <= 255; ++number) {
        auto it = MessageTexts.find(number);
        std::string expected = it != MessageTexts.end() ? it->second : UnknownText(number);
        EXPECT_EQ(FormatFileError(number, "", ""), expected) << number;
    }
}

TEST(FormatFileError, WritesUnknownNumbersWithTheWholeWordInUpperCaseHex)
{
    EXPECT_EQ(FormatFileError(0x1127, "", ""), "Error - Unknown error code ($00001127) (-> Copy)");
    EXPECT_EQ(FormatFileError(0x1127, "f", ""), "Error - Unknown error code ($00001127): \"f\" (-> Copy)");
    EXPECT_EQ(FormatFileError(0x73FF, "", ""), "Error(2) - Unknown error code ($000073FF) (-> Unzip)");
    EXPECT_EQ(FormatFileError(0xAB, "", ""), "Unknown error code ($000000AB)");
}

TEST(FormatFileError, PutsTheSeverityPrefixBeforeTheText)
{
    const std::map<unsigned, std::string> prefixes = {{1, "Error - "}, {2, "Warning - "}, {3, "Error(2) - "}};
    for (unsigned severity = 0; severity <= 15; ++severity) {
        auto it = prefixes.find(severity);
        std::string prefix = it != prefixes.end() ? it->second : "";
        EXPECT_EQ(FormatFileError(severity << 8 | 4, "", ""), prefix + "Could not read from file")
            << severity;
        EXPECT_EQ(FormatFileError(severity << 8 | 128, "", ""), prefix + "Terminated by user") << severity;
    }
}

TEST(FormatFileError, NamesTheOperationAtTheEnd)
{
    const std::map<unsigned, std::string> operations = {
        {1, "Copy"}, {2, "gzip"}, {3, "gunzip"}, {4, "Zip"}, {5, "Encrypt"}, {6, "Decrypt"}, {7, "Unzip"}};
    for (unsigned operation = 0; operation <= 15; ++operation) {
        auto it = operations.find(operation);
        std::string suffix = it != operations.end() ? " (-> " + it->second + ")" : "";
        EXPECT_EQ(FormatFileError(operation << 12 | 0x105, "", ""),
                  "Error - Could not write to file" + suffix)
            << operation;
        std::string withName = it != operations.end() ? ": \"a.txt\" (-> " + it->second + ")" : ": \"a.txt\"";
        EXPECT_EQ(FormatFileError(operation << 12 | 0x105, "a.txt", ""),
                  "Error - Could not write to file" + withName)
            << operation;
    }
}

TEST(FormatFileError, ReplacesPrefixAndTextOfNumberZeroByTheSystemText)
{
    const std::string system = SystemErrorText(0);
    ASSERT_FALSE(system.empty());
    EXPECT_EQ(FormatFileError(0, "", ""), system);
    EXPECT_EQ(FormatFileError(0x100, "", ""), system);
    EXPECT_EQ(FormatFileError(0x2300, "x", ""), system + ": \"x\" (-> gzip)");
}

TEST(FormatFileError, JoinsFileNameSystemMessageAndOperationInFivePatterns)
{
    struct Case
    {
        unsigned word;
        const char* fileName;
        const char* sysMsg;
        const char* expected;
    };
    for (const Case& c : {
             Case{0x1104, "/data/a b.txt", "Access is denied.",
                  "Error - Could not read from file: \"/data/a b.txt\" (Access is denied.) (-> Copy)"},
             Case{8, "/data/x.gz", "", "Illegal file header: \"/data/x.gz\""},
             Case{128, "", "", "Terminated by user"},
             Case{0x1080, "", "", "Terminated by user (-> Copy)"},
             Case{0x104, "", "ignored without a file name", "Error - Could not read from file"},
             Case{0x4104, "", "ignored", "Error - Could not read from file (-> Zip)"},
             Case{0x10E, "f", "No such file", "Error - File not found: \"f\" (No such file)"},
             Case{0x220F, "f", "", "Warning - Timestamp could not be set: \"f\" (-> gzip)"},
             Case{0x6302, "f", "Disk error",
                  "Error(2) - Could not open file: \"f\" (Disk error) (-> Decrypt)"},
         })
        EXPECT_EQ(FormatFileError(c.word, c.fileName, c.sysMsg), c.expected) << std::hex << c.word;
}

TEST(FormatFileError, PassesPercentSignsAndOtherBytesOfNamesAndMessagesThrough)
{
    EXPECT_EQ(FormatFileError(0x104, "100%s %d\xff.txt", "50% done"),
              "Error - Could not read from file: \"100%s %d\xff.txt\" (50% done)");
}

TEST(FormatFileError, OnlyLooksAtTheLowSixteenBits)
{
    EXPECT_EQ(FormatFileError(0x10000 | 0x1104, "f", ""),
              "Error - Could not read from file: \"f\" (-> Copy)");
}

TEST(FormatCopyError, NamesTheDestinationForMessagesAboutTheFileBeingWritten)
{
    const std::set<unsigned> destination = {1, 5, 6, 13, 15, 20, 23, 25, 35};
    for (unsigned number = 0; number <= 255; ++number) {
        unsigned word = 0x1100 | number;
        const char* name = destination.count(number) ? "dst" : "src";
        EXPECT_EQ(FormatCopyError("src", "dst", word), FormatFileError(word, name, "")) << number;
    }
    EXPECT_EQ(FormatCopyError("/s/a", "/d/a", 0x1105), "Error - Could not write to file: \"/d/a\" (-> Copy)");
    EXPECT_EQ(FormatCopyError("/s/a", "/d/a", 0x2101), "Error - Could not create file: \"/d/a\" (-> gzip)");
    EXPECT_EQ(FormatCopyError("/s/a", "/d/a", 0x1104),
              "Error - Could not read from file: \"/s/a\" (-> Copy)");
    EXPECT_EQ(FormatCopyError("/s/a", "/d/a", 0x1107), "Error - Low disk space: \"/s/a\" (-> Copy)");
}

class FormatFileErrorTranslated : public SandboxTest
{
};

TEST_F(FormatFileErrorTranslated, UsesTheCatalogueAndSurvivesABrokenTranslation)
{
    VASTREL_REQUIRE_TOOL("msgfmt");
    BuildTree(sandbox.Root(), {{"de.po", "msgid \"\"\n"
                                         "msgstr \"Content-Type: text/plain; charset=UTF-8\\n\"\n\n"
                                         "msgid \"Error - \"\nmsgstr \"Fehler - \"\n\n"
                                         "msgid \"Could not read from file\"\n"
                                         "msgstr \"Datei konnte nicht gelesen werden\"\n\n"
                                         "msgid \"Copy\"\nmsgstr \"Kopieren\"\n\n"
                                         "msgid \"Size mismatch\"\nmsgstr \"Größe %d falsch\"\n"}});
    ShellResult r = RunShell("msgfmt -o de.mo de.po", sandbox.Path());
    ASSERT_EQ(r.exitCode, 0) << r.output;
    auto catalogue = std::make_shared<TMoCatalogue>();
    ASSERT_TRUE(catalogue->LoadFromFile(sandbox.Path("de.mo")));
    CatalogueGuard guard;
    SetCatalogue(catalogue);

    EXPECT_EQ(FormatFileError(0x1104, "f", ""),
              "Fehler - Datei konnte nicht gelesen werden: \"f\" (-> Kopieren)");
    // A translation with a stray placeholder gives the format error text instead of raising.
    EXPECT_EQ(FormatFileError(0x115, "f", ""), "Format error: Fehler - Größe %d falsch: \"%s\"");
    // Without a file name nothing is formatted.
    EXPECT_EQ(FormatFileError(0x115, "", ""), "Fehler - Größe %d falsch");
}
