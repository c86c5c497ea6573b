#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "rtl/StringList.h"
#include "rtl/SysUtils.h"

namespace {

using Items = std::vector<std::string>;

TEST(StringList, CommaTextQuotesItemsWithBlanksCommasOrQuotes)
{
    const struct
    {
        Items items;
        const char* text;
    } cases[] = {
        {{"a", "b", "c"}, "a,b,c"},
        {{"a b", "c,d", "say \"hi\"", ""}, "\"a b\",\"c,d\",\"say \"\"hi\"\"\","},
        {{"tab\there"}, "\"tab\there\""},
        {{""}, "\"\""},
        {{}, ""},
        {{"Grüße", "x=1"}, "Grüße,x=1"},
    };
    for (const auto& c : cases) {
        TStringList list;
        for (const auto& s : c.items)
            list.Add(s);
        EXPECT_EQ(list.CommaText(), c.text);
        TStringList back;
        back.SetCommaText(c.text);
        EXPECT_EQ(back.Items(), c.items) << c.text;
    }
}

TEST(StringList, SettingCommaTextSplitsAtCommasAndBlanksOutsideQuotes)
{
    const struct
    {
        const char* text;
        bool strict;
        Items expected;
    } cases[] = {
        {"a b,c", false, {"a", "b", "c"}},    {"  a ,  b  ", false, {"a", "b"}},
        {"a,,b", false, {"a", "", "b"}},      {"a,", false, {"a", ""}},
        {"\"a, b\" c", false, {"a, b", "c"}}, {"\"unterminated, x", false, {"unterminated, x"}},
        {"\"a\"b", false, {"a", "b"}},        {"a b, c", true, {"a b", " c"}},
        {"\"x,y\",z", true, {"x,y", "z"}},    {"", false, {}},
    };
    for (const auto& c : cases) {
        TStringList list;
        list.StrictDelimiter = c.strict;
        list.SetCommaText(c.text);
        EXPECT_EQ(list.Items(), c.expected) << c.text;
    }
}

TEST(StringList, DelimitedTextUsesDelimiterAndQuoteChar)
{
    TStringList list;
    list.Delimiter = ';';
    list.QuoteChar = '\'';
    list.SetDelimitedText("a;'b;c';'it''s' d");
    EXPECT_EQ(list.Items(), (Items{"a", "b;c", "it's", "d"}));
    EXPECT_EQ(list.DelimitedText(), "a;'b;c';'it''s';d");
    list.StrictDelimiter = true;
    list.SetDelimitedText("one two;three");
    EXPECT_EQ(list.Items(), (Items{"one two", "three"}));
    EXPECT_EQ(list.DelimitedText(), "one two;three");
}

TEST(StringList, NameValueAccess)
{
    TStringList list{"Path=/home/a", "Mode=fast", "novalue", "Eq=a=b"};
    EXPECT_EQ(list.Names(0), "Path");
    EXPECT_EQ(list.Names(2), "");
    EXPECT_EQ(list.ValueFromIndex(3), "a=b");
    EXPECT_EQ(list.Values("mode"), "fast"); // names compare without case by default
    EXPECT_EQ(list.Values("missing"), "");
    EXPECT_EQ(list.IndexOfName("EQ"), 3);
    list.SetValue("Mode", "slow");
    EXPECT_EQ(list[1], "Mode=slow");
    list.SetValue("New", "1");
    EXPECT_EQ(list[4], "New=1");
    list.SetValue("path", "");
    EXPECT_EQ(list.Items(), (Items{"Mode=slow", "novalue", "Eq=a=b", "New=1"}));
    list.CaseSensitive = true;
    EXPECT_EQ(list.IndexOfName("mode"), -1);

    TStringList sorted;
    sorted.Sorted = true;
    sorted.SetValue("b", "1");
    sorted.SetValue("a", "2");
    sorted.SetValue("b", "0");
    EXPECT_EQ(sorted.Items(), (Items{"a=2", "b=0"}));
}

TEST(StringList, SortedListsKeepOrderAndApplyDuplicates)
{
    TStringList list;
    list.Sorted = true;
    for (const char* s : {"pear", "Apple", "banana", "apple"})
        list.Add(s);
    EXPECT_EQ(list.Items(), (Items{"Apple", "banana", "pear"})); // dupIgnore, case-insensitive
    int index = -1;
    EXPECT_TRUE(list.Find("BANANA", index));
    EXPECT_EQ(index, 1);
    EXPECT_FALSE(list.Find("cherry", index));
    EXPECT_EQ(index, 2);
    EXPECT_EQ(list.IndexOf("PEAR"), 2);
    EXPECT_THROW(list.Insert(0, "x"), EArgumentError);

    list.Duplicates = dupError;
    EXPECT_THROW(list.Add("apple"), EArgumentError);
    list.Duplicates = dupAccept;
    EXPECT_EQ(list.Add("apple"), 0);
    EXPECT_EQ(list.Count(), 4);

    TStringList exact;
    exact.CaseSensitive = true;
    exact.Duplicates = dupIgnore;
    for (const char* s : {"b", "B", "a", "A"})
        exact.Add(s);
    // Setting Sorted on a filled list: the next Add puts everything in order.
    exact.Sorted = true;
    exact.Add("c");
    EXPECT_EQ(exact.Items(), (Items{"A", "B", "a", "b", "c"}));
}

TEST(StringList, CaseInsensitiveComparisonCoversLatinLetters)
{
    TStringList list{"ÄRGER", "Straße", "ŁÓDŹ", "naïve", "Œuvre"};
    EXPECT_EQ(list.IndexOf("ärger"), 0);
    EXPECT_EQ(list.IndexOf("STRAßE"), 1);
    EXPECT_EQ(list.IndexOf("łódź"), 2);
    EXPECT_EQ(list.IndexOf("NAÏVE"), 3);
    EXPECT_EQ(list.IndexOf("œuvre"), 4);
    EXPECT_EQ(list.IndexOf("arger"), -1);
    list.CaseSensitive = true;
    EXPECT_EQ(list.IndexOf("ärger"), -1);
    // Invalid UTF-8 compares as raw bytes, equal only to itself.
    TStringList raw{"\xff\xfe", "\xc3"};
    EXPECT_EQ(raw.IndexOf("\xc3"), 1);
    EXPECT_EQ(raw.IndexOf("\xff\xfe"), 0);
    EXPECT_EQ(raw.IndexOf("\xff"), -1);
}

TEST(StringList, TextSplitsAtAnyLineBreak)
{
    const struct
    {
        const char* text;
        Items expected;
    } cases[] = {
        {"a\r\nb\nc\rd", {"a", "b", "c", "d"}},
        {"a\n\nb\n", {"a", "", "b"}},
        {"a\r\n\r\n", {"a", ""}},
        {"\n", {""}},
        {"no break", {"no break"}},
        {"", {}},
        {"\r\r\n", {"", ""}},
    };
    for (const auto& c : cases) {
        TStringList list;
        list.SetText(c.text);
        EXPECT_EQ(list.Items(), c.expected);
    }
    TStringList list{"x", "y"};
    EXPECT_EQ(list.Text(), "x\ny\n");
    list.LineBreak = "\r\n";
    EXPECT_EQ(list.Text(), "x\r\ny\r\n");
}

TEST(StringList, StreamsSkipTheByteOrderMark)
{
    TMemoryStream in(std::string("\xEF\xBB\xBFline 1\r\nline 2\r\n"));
    TStringList list;
    list.Add("old");
    list.LoadFromStream(in);
    EXPECT_EQ(list.Items(), (Items{"line 1", "line 2"}));
    TMemoryStream out;
    list.SaveToStream(out);
    EXPECT_EQ(out.DataString(), "line 1\nline 2\n");
}

TEST(StringList, EditingKeepsObjectsWithTheirStrings)
{
    TStringList list;
    list.AddObject("c", 3);
    list.AddObject("a", 1);
    list.AddObject("b", 2);
    list.Sort();
    EXPECT_EQ(list.Items(), (Items{"a", "b", "c"}));
    EXPECT_EQ(list.Objects(0), 1);
    list.Move(0, 2);
    list.Exchange(0, 1);
    EXPECT_EQ(list.Items(), (Items{"c", "b", "a"}));
    EXPECT_EQ(list.Objects(0), 3);
    list.CustomSort(
        [](const TStringList& l, int i, int j) { return static_cast<int>(l.Objects(i) - l.Objects(j)); });
    EXPECT_EQ(list.Items(), (Items{"a", "b", "c"}));
    list.Insert(1, "x");
    list.Delete(0);
    list.AddStrings(list);
    EXPECT_EQ(list.Items(), (Items{"x", "b", "c", "x", "b", "c"}));
    EXPECT_EQ(list.Objects(5), 3);
    EXPECT_THROW(list[6], EArgumentError);
    EXPECT_THROW(list.Delete(-1), EArgumentError);
    EXPECT_THROW(list.Insert(7, "y"), EArgumentError);
}

} // namespace
