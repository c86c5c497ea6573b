#include <algorithm>
#include <cstdlib>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "foundation/StringUtils.h"
#include "rtl/DateTime.h"

namespace {

// Sets the decimal and thousands separators for one test and restores them afterwards.
class SeparatorScope
{
public:
    SeparatorScope(char decimal, char thousands) : FSaved(FormatSettings())
    {
        FormatSettings().DecimalSeparator = decimal;
        FormatSettings().ThousandSeparator = thousands;
    }
    ~SeparatorScope() { FormatSettings() = FSaved; }

private:
    TFormatSettings FSaved;
};

// Sets an environment variable for one test and restores the previous state.
class EnvScope
{
public:
    EnvScope(const char* name, const char* value) : FName(name)
    {
        if (const char* old = std::getenv(name))
            FOld = old;
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~EnvScope()
    {
        if (FOld)
            setenv(FName.c_str(), FOld->c_str(), 1);
        else
            unsetenv(FName.c_str());
    }

private:
    std::string FName;
    std::optional<std::string> FOld;
};

const std::string kInvalid = "\xff\xfe"; // not UTF-8, as in a foreign file name

} // namespace

// --- Search, case and characters

TEST(StringUtils, TextPosFindsCaseInsensitivelyAndCountsCodePoints)
{
    struct Case
    {
        const char* sub;
        std::string s;
        int offset;
        int expected;
    } cases[] = {
        {"b", "ABC", 1, 2},          {"É", "café", 1, 4},  {"x", "abc", 1, 0}, {"", "abc", 1, 0},
        {"ab", "abAB", 2, 3},        {"ab", "abAB", 4, 0}, {"a", "abc", 0, 1}, {"ä", "xÄ", 1, 2},
        {"B", kInvalid + "b", 1, 3}, {"abc", "ab", 1, 0},  {"c", "abc", 9, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(TextPosEx(c.sub, c.s, c.offset), c.expected)
            << c.sub << " in " << c.s << " from " << c.offset;
        if (c.offset == 1) {
            EXPECT_EQ(TextPos(c.sub, c.s), c.expected) << c.sub << " in " << c.s;
        }
    }
}

TEST(StringUtils, CharacterSetsAreComparedByWholeCharacters)
{
    EXPECT_TRUE(ContainsAnyChar("Hello", "xL"));
    EXPECT_TRUE(ContainsAnyChar("grün", "Ü"));
    EXPECT_FALSE(ContainsAnyChar("Hello", "xyz"));
    EXPECT_FALSE(ContainsAnyChar("", "a"));

    EXPECT_EQ(RemoveChars("a*b?c*", "*?"), "abc");
    EXPECT_EQ(RemoveChars("aAä", "a"), "Aä");
    EXPECT_EQ(RemoveChars("Häh", "ä"), "Hh");
    EXPECT_EQ(RemoveChars("", "a"), "");
    EXPECT_EQ(RemoveChars("x" + kInvalid + "y", "y"), "x" + kInvalid);
}

TEST(StringUtils, CaseChangesFollowUnicodeAndLeaveForeignBytesAlone)
{
    EXPECT_EQ(UpCaseFirst("abc"), "Abc");
    EXPECT_EQ(UpCaseFirst("äbc"), "äbc");
    EXPECT_EQ(UpCaseFirst("1a"), "1a");
    EXPECT_EQ(UpCaseFirst(""), "");

    EXPECT_EQ(ChangeTextCase("Ärger Über", tcLower), "ärger über");
    EXPECT_EQ(ChangeTextCase("Ärger über", tcUpper), "ÄRGER ÜBER");
    EXPECT_EQ(ChangeTextCase("MiXed", tcNone), "MiXed");
    EXPECT_EQ(ChangeTextCase("MiXed", static_cast<TTextChange>(7)), "MiXed");
    EXPECT_EQ(ChangeTextCase(kInvalid + "a", tcUpper), kInvalid + "A");
    EXPECT_EQ(ChangeTextCase("\xe4"
                             "b",
                             tcUpper),
              "\xe4"
              "B"); // a lone Latin-1 byte stays a byte
}

TEST(StringUtils, PaddingAndRepeatingCountCharacters)
{
    EXPECT_EQ(MakeSpaces(3), "   ");
    EXPECT_EQ(MakeSpaces(0), "");
    EXPECT_EQ(MakeSpaces(-2), "");
    EXPECT_EQ(PadRight("ab", 4), "ab  ");
    EXPECT_EQ(PadRight("äö", 3), "äö ");
    EXPECT_EQ(PadRight("abcdef", 3), "abcdef");
    EXPECT_EQ(RepeatChar('*', 3), "***");
    EXPECT_EQ(RepeatChar(U'•', 2), "••");
    EXPECT_EQ(RepeatChar('*', -1), "");
    EXPECT_EQ(RepeatChar('*', 1000).size(), 255u);
}

TEST(StringUtils, BlanksAndControlCharactersAreRemoved)
{
    EXPECT_EQ(RemoveSpaces(" a b\tc "), "ab\tc");
    EXPECT_EQ(RemoveCtrlChars("a\tb\r\nc\x1f"
                              "ü"),
              "abcü");
    EXPECT_EQ(ReplaceLineBreaks("one\r\ntwo\nthree\rfour\tfive", '|'), "one|twothree|fourfive");
    EXPECT_EQ(ReplaceLineBreaks("a\r\nb", '\t'), "ab");
    EXPECT_EQ(ReplaceLineBreaks("", ' '), "");
}

TEST(StringUtils, SingleCharacterEditsWorkOnCodePoints)
{
    EXPECT_EQ(ReplaceChar("a\\b\\c", '\\', '/'), "a/b/c");
    EXPECT_EQ(ReplaceChar("aäa", U'ä', U'ö'), "aöa");
    EXPECT_EQ(TrimLeftChar("000120", '0'), "120");
    EXPECT_EQ(TrimRightChar("120000", '0'), "12");
    EXPECT_EQ(TrimRightChar("aää", U'ä'), "a");
    EXPECT_EQ(TrimLeftChar("0000", '0'), "");
    EXPECT_EQ(RemoveChar("a-b-c", '-'), "abc");
    EXPECT_EQ(CopyFromChar("name=value", '='), "=value");
    EXPECT_EQ(CopyFromChar("name", '='), "");
    EXPECT_EQ(CopyFromChar("äx:y", ':'), ":y");
    EXPECT_TRUE(IsEmptyStr(""));
    EXPECT_FALSE(IsEmptyStr(" "));
    EXPECT_TRUE(IsNonEmptyStr("x"));
    EXPECT_TRUE(IsDigitChar('0'));
    EXPECT_TRUE(IsDigitChar('9'));
    EXPECT_FALSE(IsDigitChar('a'));
    EXPECT_FALSE(IsDigitChar(U'٣')); // other scripts' digits do not count
}

TEST(StringUtils, SkipDigitsReturnsThePositionAfterADigitRun)
{
    EXPECT_EQ(SkipDigits("12ab", 1), 3);
    EXPECT_EQ(SkipDigits("ab", 1), 1);
    EXPECT_EQ(SkipDigits("123", 1), 0);
    EXPECT_EQ(SkipDigits("123", 7), 0);
    EXPECT_EQ(SkipDigits("ä12x", 2), 4);
    EXPECT_EQ(SkipDigits("1a", 0), 2);
}

TEST(StringUtils, CountSubStrStartsAtTheSecondCharacterAndCountsOverlaps)
{
    struct Case
    {
        const char* sub;
        const char* s;
        int expected;
    } cases[] = {
        {"/", "/a/b", 1}, {"/", "a/b", 1}, {"aa", "xaaa", 2}, {"aa", "aaa", 1},
        {"/", "/", 0},    {"", "abc", 0},  {"x", "", 0},      {"ä", "äää", 2},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CountSubStr(c.sub, c.s), c.expected) << c.sub << " in " << c.s;
}

TEST(StringUtils, InsertDigitSeparatorsGroupsIntegerAndFractionDigits)
{
    SeparatorScope separators('.', ',');
    struct Case
    {
        const char* s;
        char32_t sep;
        bool fractionOnly;
        const char* expected;
    } cases[] = {
        {"-1234.5", ' ', false, "-1 234.5"},
        {"1234567", ' ', false, "1 234 567"},
        {"123", ' ', false, "123"},
        {"0.1234567", ' ', false, "0.123 456 7"},
        {"1.234", ' ', false, "1.234"},
        {"1.234567", ' ', false, "1.234 567"},
        {"1234.12345", ' ', true, "1234.123 45"},
        {"12345", ' ', true, "12345"},
        {"  1234 KB ", ' ', false, "1 234 KB"},
        {"  12 ", 0, false, "12"},
        {"", ' ', false, ""},
        {"-", ' ', false, "-"},
        {"1234567", U'\u202f', false, "1\u202f234\u202f567"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(InsertDigitSeparators(c.s, c.sep, c.fractionOnly), c.expected) << c.s;
}

TEST(StringUtils, InsertDigitSeparatorsUsesTheLocaleDecimalSeparator)
{
    SeparatorScope separators(',', '.');
    EXPECT_EQ(InsertDigitSeparators("1234,5678", ' ', false), "1 234,567 8");
    EXPECT_EQ(InsertDigitSeparators("1234.5678", ' ', false), "1 234.5678");
}

// --- Separated lists

TEST(StringUtils, ReadNextItemCutsOneItemAndOneSeparator)
{
    struct Case
    {
        const char* s;
        char sep;
        const char* item;
        const char* rest;
    } cases[] = {
        {"abc", ',', "abc", ""},  {",x", ',', "", "x"},
        {"a ,b", ',', "a ", "b"}, {"", ',', "", ""},
        {"a,,b", ',', "a", ",b"}, {"\"a,b\",c", ',', "\"a", "b\",c"},
        {"a;b", ',', "a;b", ""},  {"x\xe4y", '\xe4', "x\xe4y", ""},
    };
    for (const Case& c : cases) {
        std::string s = c.s;
        EXPECT_EQ(ReadNextItem(s, c.sep), c.item) << c.s;
        EXPECT_EQ(s, c.rest) << c.s;
    }
    // An 8-bit separator is the character of that code, not a byte inside another character.
    std::string s = "aäb";
    EXPECT_EQ(ReadNextItem(s, '\xe4'), "a");
    EXPECT_EQ(s, "b");
    EXPECT_EQ(GetFirstItem("a|b", '|'), "a");
    EXPECT_EQ(GetFirstItem("ab", '|'), "ab");
    EXPECT_EQ(GetFirstItemTrimmed(" \ta b \r|c", '|'), "a b");
}

TEST(StringUtils, IntegerReadersGiveTheDefaultForTextThatIsNotANumber)
{
    EXPECT_EQ(GetFirstInt(" 42 ,x", ',', -1), 42);
    EXPECT_EQ(GetFirstInt("$1F;x", ';', -1), 31);
    EXPECT_EQ(GetFirstInt("-0x10", ';', -1), -16);
    EXPECT_EQ(GetFirstInt("x,1", ',', -1), -1);
    EXPECT_EQ(GetFirstInt("", ',', 7), 7);
    EXPECT_EQ(GetFirstInt("9223372036854775807", ',', 0), INT64_MAX);
    EXPECT_EQ(GetFirstInt("-9223372036854775808", ',', 0), INT64_MIN);
    EXPECT_EQ(GetFirstInt("9223372036854775808", ',', 5), 5);
    EXPECT_EQ(GetFirstInt("$FFFFFFFFFFFFFFFF", ',', 5), -1);
    EXPECT_EQ(GetFirstInt("$1FFFFFFFFFFFFFFFF", ',', 5), 5);
    EXPECT_EQ(GetFirstInt("12abc", ',', 5), 5);
    EXPECT_EQ(GetFirstInt("-", ',', 5), 5);
    EXPECT_EQ(GetFirstInt("$", ',', 5), 5);

    std::string s = "  12;x;0x1F,$10 ,  ,";
    bool error = false;
    EXPECT_EQ(ReadNextIntOfSet(s, ";,", error, -1), 12);
    EXPECT_FALSE(error);
    EXPECT_EQ(ReadNextIntOfSet(s, ";,", error, -1), -1);
    EXPECT_TRUE(error);
    error = false;
    EXPECT_EQ(ReadNextIntOfSet(s, ";,", error, -1), 31);
    EXPECT_EQ(ReadNextIntOfSet(s, ";,", error, -1), 16);
    EXPECT_FALSE(error);
    EXPECT_EQ(ReadNextIntOfSet(s, ";,", error, -1), -1); // an empty item is an error
    EXPECT_TRUE(error);
    EXPECT_EQ(s, "");

    std::string empty = "   ";
    bool untouched = false;
    EXPECT_EQ(ReadNextIntErr(empty, ',', untouched, 9), 9);
    EXPECT_FALSE(untouched);

    std::string list = "1|2|x|4";
    std::vector<int64_t> values;
    while (!list.empty())
        values.push_back(ReadNextInt(list, '|', 0));
    EXPECT_EQ(values, (std::vector<int64_t>{1, 2, 0, 4}));
}

TEST(StringUtils, ReadNextQuotedItemFollowsTheListGrammar)
{
    struct Case
    {
        std::string s;
        const char* item;
        const char* rest;
    } cases[] = {
        {R"("a, b" , c)", "a, b", " c"},
        {R"("say ""hi""",x)", R"(say "hi")", "x"},
        {"a ,b", "a ", "b"},
        {",b", "", "b"},
        {R"("abc)", R"("abc)", ""},
        {R"(  "a b"  ,c)", "a b", "c"},
        {R"("")", "", ""},
        {R"("a")", "a", ""},
        {R"("a"x,y)", "a", "y"},
        {R"("a,b)", R"("a,b)", ""},
        {"", "", ""},
        {" \t ", "", ""},
        {R"("",x)", "", "x"},
        {R"("ä ö",ü)", "ä ö", "ü"},
        {"\"" + std::string("\xff") + " x\",y", "\xff x", "y"},
    };
    for (const Case& c : cases) {
        std::string s = c.s;
        EXPECT_EQ(ReadNextQuotedItem(s, ',', '"'), c.item) << c.s;
        EXPECT_EQ(s, c.rest) << c.s;
    }
    std::string other = "'a;b';c";
    EXPECT_EQ(ReadNextQuotedItem(other, ';', '\''), "a;b");
    EXPECT_EQ(other, "c");
}

TEST(StringUtils, QuoteIfContainsQuotesOnlyForTheGivenCharacters)
{
    EXPECT_EQ(QuoteIfContains("", " "), "");
    EXPECT_EQ(QuoteIfContains("", ""), "");
    EXPECT_EQ(QuoteIfContains("a", ""), "\"a\"");
    EXPECT_EQ(QuoteIfSpace("a b"), "\"a b\"");
    EXPECT_EQ(QuoteIfSpace("a\"b"), "a\"b");
    EXPECT_EQ(QuoteIfSpace("say \"hi\""), "\"say \"\"hi\"\"\"");
    EXPECT_EQ(QuoteIfContains("a,b", " ,"), "\"a,b\"");
    EXPECT_EQ(QuoteIfContains("ab", " ,"), "ab");

    // What the writer quotes, the reader gives back.
    for (std::string item : {"plain", "with blank", "say \"hi\" there", "a,b c"}) {
        std::string list = QuoteIfContains(item, " ,") + ",next";
        EXPECT_EQ(ReadNextQuotedItem(list, ',', '"'), item);
        EXPECT_EQ(list, "next");
    }
}

TEST(StringUtils, SplitToLinesCountsTheItemsItReads)
{
    struct Case
    {
        const char* s;
        const char* lines;
        int count;
    } cases[] = {
        {"a,,b", "a\r\n\r\nb", 3},       {",a", "\r\na", 1}, {"a,", "a", 1}, {"", "", 0},
        {R"("x, y",z)", "x, y\r\nz", 2},
    };
    for (const Case& c : cases) {
        int count = -1;
        EXPECT_EQ(SplitToLines(c.s, ',', '"', count), c.lines) << c.s;
        EXPECT_EQ(count, c.count) << c.s;
        EXPECT_EQ(CommaTextToLinesCount(c.s, count), c.lines) << c.s;
        EXPECT_EQ(CommaTextToLines(c.s), c.lines) << c.s;
    }
}

TEST(StringUtils, SortCommaTextSortsCaseInsensitivelyAndDropsDuplicates)
{
    EXPECT_EQ(SortCommaText("zip, rar,7z,ZIP,Rar"), "7z,rar,zip");
    EXPECT_EQ(SortCommaText(R"(b "c d" a)"), R"(a,b,"c d")");
    EXPECT_EQ(SortCommaText(R"("x""y",x)"), R"(x,"x""y")");
    EXPECT_EQ(SortCommaText("Äpfel,zebra,äPFEL"), "zebra,Äpfel");
    EXPECT_EQ(SortCommaText(""), "");
    EXPECT_EQ(SortCommaText(" , ,"), "");
}

// --- Escapes and environment references

TEST(StringUtils, EscapesUseFourHexDigitsAndUnescapeUndoesAnyEscape)
{
    EXPECT_EQ(EscapeChars("a/b c", "/ "), "a%002Fb%0020c");
    // A percent sign after another character escapes the earlier escapes again.
    EXPECT_EQ(EscapeChars("a/b%c", "/%"), "a%0025002Fb%0025c");
    EXPECT_EQ(UnescapeChars("a%0025002Fb%0025c"), "a%002Fb%c");

    struct Case
    {
        const char* s;
        const char* expected;
    } cases[] = {
        {"%zz12", "%zz12"}, {"%002F", "/"}, {"%00", "%00"},   {"%0041%", "A%"},
        {"100%", "100%"},   {"%00e4", "ä"}, {"%%0041", "%A"}, {"%D83D%DE00", "😀"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(UnescapeChars(c.s), c.expected) << c.s;

    for (std::string text : {"Grüße/😀|x", "plain"}) {
        std::string escaped = EscapeChars(text, "ü/😀|");
        EXPECT_EQ(escaped.find_first_of("/|"), std::string::npos);
        EXPECT_EQ(UnescapeChars(escaped), text);
    }
}

TEST(StringUtils, GetNextDelimitedReturnsPairsFromLeftToRight)
{
    const std::string s = "a%x%b%y%";
    int start = 1;
    EXPECT_EQ(GetNextDelimited(s, '%', start), "%x%");
    EXPECT_EQ(start, 5);
    EXPECT_EQ(GetNextDelimited(s, '%', start), "%y%");
    EXPECT_EQ(start, 9);
    EXPECT_EQ(GetNextDelimited(s, '%', start), "");
    EXPECT_EQ(start, 9);

    int p = 1;
    EXPECT_EQ(GetNextDelimited("ä%ö%", '%', p), "%ö%");
    EXPECT_EQ(p, 5);
    p = 1;
    EXPECT_EQ(GetNextDelimited("only % one", '%', p), "");
    EXPECT_EQ(p, 1);
}

TEST(StringUtils, EnvironmentReferencesAreReplacedWhenTheVariableHasAValue)
{
    EnvScope set("VASTREL_TEST_DIR", "/srv/data");
    EnvScope empty("VASTREL_TEST_EMPTY", "");
    EnvScope unset("VASTREL_TEST_UNSET", nullptr);

    EXPECT_EQ(ReplaceEnvVar("%VASTREL_TEST_DIR%/x and %vastrel_test_dir%", "%VASTREL_TEST_DIR%"),
              "/srv/data/x and /srv/data");
    EXPECT_EQ(ReplaceEnvVar("%VASTREL_TEST_EMPTY%", "%VASTREL_TEST_EMPTY%"), "%VASTREL_TEST_EMPTY%");
    EXPECT_EQ(ExpandEnvVars("%VASTREL_TEST_DIR%/a/%VASTREL_TEST_UNSET%/%VASTREL_TEST_EMPTY%"),
              "/srv/data/a/%VASTREL_TEST_UNSET%/%VASTREL_TEST_EMPTY%");
    EXPECT_EQ(ExpandEnvVars("no references"), "no references");
    EXPECT_EQ(ExpandEnvVars("100%"), "100%");
}

// --- Count texts

TEST(StringUtils, CountTextsChooseTheFormForTheCount)
{
    SeparatorScope separators('.', ',');
    EXPECT_EQ(FormatCount("", "1 file", "%u files", 12345, true), "12,345 files");
    EXPECT_EQ(FormatCount("", "1 file", "%u files", 12345, false), "12345 files");
    EXPECT_EQ(FormatCount("", "1 file", "%u files", 9999, true), "9999 files");
    EXPECT_EQ(FormatCount("", "1 file", "%u files", 0), "0 files");
    EXPECT_EQ(FormatCount("No files", "1 file", "%u files", 0), "No files");
    EXPECT_EQ(FormatCount("No files", "1 file", "%u files", 1), "1 file");
    EXPECT_EQ(FormatCount("", "1 file", "%s files", 5), "Format error: %s files");

    EXPECT_EQ(FormatCountStr("Nothing in %s", "One file in %s", "%u files in %s", 3, "dir"),
              "3 files in dir");
    EXPECT_EQ(FormatCountStr("Nothing in %s", "One file in %s", "%u files in %s", 1, "dir"),
              "One file in dir");
    EXPECT_EQ(FormatCountStr("Nothing in %s", "One file in %s", "%u files in %s", 0, "dir"), "Nothing in %s");
    EXPECT_EQ(FormatCountStr("", "", "%u files in %s", 20000, "dir", true), "20,000 files in dir");

    EXPECT_EQ(FormatCountNoun("file", "files", 1), "1 file");
    EXPECT_EQ(FormatCountNoun("file", "files", 0), "0 files");
    EXPECT_EQ(FormatCountNoun("file", "files", 12345, true), "12,345 files");
    EXPECT_EQ(FormatCountNoun("file", "files", 12345), "12345 files");
}

// --- Command-line keywords

TEST(StringUtils, KeywordsMatchAnyLeadingPartInAnyCase)
{
    struct Case
    {
        const char* arg;
        const char* keyword;
        bool expected;
    } cases[] = {
        {"F", "force", true},   {"", "force", true},    {"forced", "force", false}, {"FORCE", "force", true},
        {"fx", "force", false}, {"for", "force", true}, {"force", "force", true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(MatchesKeyword(c.arg, c.keyword), c.expected) << c.arg << " vs " << c.keyword;

    struct ValueCase
    {
        const char* arg;
        const char* keyword;
        bool expected;
        const char* rest;
    } values[] = {
        {"abc:/x:y", "abcdef", true, "/x:y"},
        {":x", "mode", true, "x"},
        {"force", "force", false, "force"},
        {"xy:1", "abc", false, "xy:1"},
        {"INI:/home/u/a.ini", "ini", true, "/home/u/a.ini"},
        {"ini:", "ini", true, ""},
    };
    for (const ValueCase& c : values) {
        std::string arg = c.arg;
        EXPECT_EQ(ReadKeywordValue(arg, c.keyword), c.expected) << c.arg;
        EXPECT_EQ(arg, c.rest) << c.arg;
    }
}

// --- Sorting

namespace {
struct Record
{
    int key;
    int tag;
};
} // namespace

TEST(StringUtils, QuickSortItemsSortsRecordsInPlace)
{
    std::mt19937 rng(42);
    for (int count : {0, 1, 2, 3, 10, 1000}) {
        std::vector<Record> items;
        for (int i = 0; i < count; ++i)
            items.push_back({static_cast<int>(rng() % 50), i});
        bool descending = false;
        TItemLessThan less = [](void* data, const void* a, const void* b) {
            int ka = static_cast<const Record*>(a)->key, kb = static_cast<const Record*>(b)->key;
            return *static_cast<bool*>(data) ? ka > kb : ka < kb;
        };
        QuickSortItems(items.data(), count, sizeof(Record), less, &descending);
        EXPECT_TRUE(std::is_sorted(items.begin(), items.end(), [](const Record& a, const Record& b) {
            return a.key < b.key;
        })) << count;
        std::vector<int> tags;
        for (const Record& r : items)
            tags.push_back(r.tag);
        std::sort(tags.begin(), tags.end());
        for (int i = 0; i < count; ++i)
            EXPECT_EQ(tags[i], i); // every record is still there once

        descending = true;
        QuickSortItems(items.data(), count, sizeof(Record), less, &descending);
        EXPECT_TRUE(std::is_sorted(items.begin(), items.end(), [](const Record& a, const Record& b) {
            return a.key > b.key;
        })) << count;
    }
}

TEST(StringUtils, QuickSortItemsStaysInsideTheArrayWithAnInconsistentComparison)
{
    std::vector<Record> items(100);
    for (int i = 0; i < 100; ++i)
        items[i] = {i % 7, i};
    QuickSortItems(items.data(), 100, sizeof(Record), [](void*, const void*, const void*) { return true; });
    std::vector<int> tags;
    for (const Record& r : items)
        tags.push_back(r.tag);
    std::sort(tags.begin(), tags.end());
    for (int i = 0; i < 100; ++i)
        EXPECT_EQ(tags[i], i);
}
