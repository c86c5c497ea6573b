#include "foundation/HListBox.h"

#include <fstream>

#include <gtest/gtest.h>

#include "foundation/IniFileUtils.h"
#include "foundation/ListUtils.h"
#include "support/Sandbox.h"

namespace {

std::vector<std::string> Items(const TStringList& list)
{
    return list.Items();
}

TEST(HListBoxTest, AddStringMovesEntriesToTheTopIgnoringCase)
{
    THistoryList list;
    for (const char* s : {"e", "d", "c", "b", "a"})
        list.AddString(s);
    list.AddString("");
    EXPECT_EQ(Items(list), (std::vector<std::string>{"a", "b", "c", "d", "e"}));
    list.AddString("D");
    EXPECT_EQ(Items(list), (std::vector<std::string>{"D", "a", "b", "c", "e"}));
    list.RemString("A");
    EXPECT_EQ(Items(list), (std::vector<std::string>{"D", "b", "c", "e"}));
}

TEST(HListBoxTest, MaximumLengthDropsTheOldest)
{
    THistoryList list;
    for (int i = 0; i < 16; ++i)
        list.AddString("entry " + std::to_string(i));
    EXPECT_EQ(list.Count(), 15);
    EXPECT_EQ(list[0], "entry 15");
    EXPECT_EQ(list[14], "entry 1");
    list.SetMaxLen(0);
    list.SetMaxLen(101);
    EXPECT_EQ(list.MaxLen(), 15);
    list.SetMaxLen(3);
    EXPECT_EQ(Items(list), (std::vector<std::string>{"entry 15", "entry 14", "entry 13"}));
}

TEST(HListBoxTest, StrListReceivesTheEntriesAfterItsOwnLines)
{
    TStringList lines{"own"};
    THistoryList list;
    list.AddString("b");
    list.SetStrList(&lines);
    EXPECT_EQ(Items(lines), (std::vector<std::string>{"own", "b"}));
    list.AddString("a");
    EXPECT_EQ(Items(lines), (std::vector<std::string>{"own", "a", "b"}));
    list.ClearAll();
    EXPECT_EQ(Items(lines), (std::vector<std::string>{"own"}));
    EXPECT_EQ(list.Count(), 0);
}

class HListBoxIniTest : public SandboxTest
{
};

TEST_F(HListBoxIniTest, BlankEntriesAndGapsSurviveTheIniFile)
{
    std::string file = sandbox.Path("s.ini");
    {
        THistoryList list;
        list.AddString("third");
        list.AddString(" ");
        list.AddString("first");
        list.SaveToIni(file, "Hist", true);
        EXPECT_EQ(list[1], "?");
    }
    {
        TMemIniFile ini(file);
        EXPECT_EQ(ini.ReadString("Hist", "History1", ""), "?");
        ini.DeleteKey("Hist", "History0");
        ini.WriteString("Hist", "History20", "far");
        ini.UpdateFile();
    }
    THistoryList list;
    list.LoadFromIni(file, "Hist");
    EXPECT_EQ(Items(list), (std::vector<std::string>{" ", "third"}));
}

TEST_F(HListBoxIniTest, ListRoutinesQuoteAndSkipEmptyValues)
{
    std::string file = sandbox.Path("s.ini");
    TStringList list{"\"/a b/c\" -x", "plain", "third"};
    SaveHistoryToFile(file, "PreCommands", "", true, list, 2, true);
    {
        TMemIniFile ini(file);
        EXPECT_EQ(ini.ReadString("PreCommands", "History0", ""), "#/a b/c# -x");
        EXPECT_FALSE(ini.ValueExists("PreCommands", "History2"));
        ini.WriteString("PreCommands", "History1", "");
        ini.WriteString("PreCommands", "History3", "later");
        ini.UpdateFile();
    }
    TStringList loaded{"old"};
    LoadHistoryFromFile(file, "Missing", "", loaded, 50, true);
    EXPECT_EQ(Items(loaded), (std::vector<std::string>{"old"}));
    LoadHistoryFromFileDefault(file, "PreCommands", "History", loaded, true);
    EXPECT_EQ(Items(loaded), (std::vector<std::string>{"\"/a b/c\" -x", "later"}));
    SaveHistoryToFile(file, "Dirs", "Dir", false, list, 50, false);
    LoadHistoryFromFile(file, "Dirs", "Dir", loaded, 2, false);
    EXPECT_EQ(Items(loaded), (std::vector<std::string>{"\"/a b/c\" -x", "plain"}));
}

TEST(ListUtilsTest, AddToHistoryMovesOrPushesOut)
{
    TStringList list{"a", "b", "c", "d", "e"};
    AddToHistory(list, "new", 5);
    EXPECT_EQ(Items(list), (std::vector<std::string>{"new", "a", "b", "c", "d"}));
    AddToHistory(list, "C", 5);
    EXPECT_EQ(Items(list), (std::vector<std::string>{"C", "new", "a", "b", "d"}));
    AddToHistory(list, "", 5);
    RemoveFromHistory(list, "NEW");
    EXPECT_EQ(Items(list), (std::vector<std::string>{"C", "a", "b", "d"}));
}

TEST(HListBoxTest, MenuCaptionsCarryTheHexadecimalPosition)
{
    EXPECT_EQ(HistoryMenuCaption(0, "a&b", true), "1 a&b");
    EXPECT_EQ(HistoryMenuCaption(0, "a&b", false), "1 a&&b");
    EXPECT_EQ(HistoryMenuCaption(14, "x", true), "F x");
    EXPECT_EQ(HistoryMenuCaption(15, "x", true), "10 x");
    EXPECT_EQ(HistoryMenuCaption(19, "x", true), "14 x");
    EXPECT_EQ(HistoryIndexFromCaption("14 x"), 19);
    EXPECT_EQ(HistoryIndexFromCaption("&f x"), 14);
    EXPECT_THROW(HistoryIndexFromCaption("zz x"), EConvertError);
}

} // namespace
