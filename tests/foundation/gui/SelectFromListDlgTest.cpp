#include "foundation/gui/SelectFromListDlg.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include "foundation/gui/ListSelectDlg.h"
#include "foundation/gui/SelectListItems.h"
#include "foundation/gui/ShowFilesDlg.h"
#include "foundation/gui/ShowStringList.h"
#include "foundation/gui/WinUtils.h"
#include "support/Sandbox.h"
#include "support/gui/GuiTestUtil.h"

namespace {
void ClickOk(QWidget* w)
{
    QTest::mouseClick(Find<QPushButton>(w, "OKBtn"), Qt::LeftButton);
}
} // namespace

TEST(SelectFromListDlgTest, SeveralSelectedEntriesAreJoinedByBars)
{
    TStringList list{"a", "b", "c"};
    std::string text;
    WhenModal([](QWidget* w) {
        Find<QListWidget>(w, "lbxStringList")->selectAll();
        ClickOk(w);
    });
    EXPECT_TRUE(SelectFromList(DefaultFormPos, "Masks", "Masks", "", SelectOption(soMulti), 1, tcNone, "",
                               list, text));
    EXPECT_EQ("a|b|c", text);
}

TEST(SelectFromListDlgTest, RemovingTheLastEntrySelectsTheNewLastAndEntriesAreConverted)
{
    ClearMsgDialogLog();
    TStringList list{"One", "Two", "Three", "Four", "Five"};
    std::string text = "Five";
    int current = -1;
    WhenModal([&](QWidget* w) {
        QueueMsgDialogAnswer(mrYes);
        QTest::mouseClick(Find<QPushButton>(w, "btnDelete"), Qt::LeftButton);
        current = Find<QListWidget>(w, "lbxStringList")->currentRow();
        ClickOk(w);
    });
    EXPECT_TRUE(SelectFromList(DefaultFormPos, "Masks", "Masks", "", SelectOption(soEdit), 1, tcLower, "",
                               list, text));
    EXPECT_EQ(3, current);
    ASSERT_EQ(1u, MsgDialogLog().size());
    EXPECT_EQ("Remove item: \"Five\"?", MsgDialogLog()[0].Text);
    EXPECT_EQ(TStringList({"one", "two", "three", "four"}).CommaText(), list.CommaText());
    EXPECT_EQ("four", text);
    ClearMsgDialogLog();
}

TEST(SelectFromListDlgTest, InvalidNewEntriesAreRefusedAndDefaultsReplaceTheList)
{
    ClearMsgDialogLog();
    TSelectFromListDialog dlg;
    TStringList list{"*.tmp"};
    std::string text;
    WhenModal([&](QWidget* w) {
        WhenModalOtherThan(w, [w](QWidget* input) {
            Find<QLineEdit>(input, "TextFeld")->setText(QStringLiteral("bad entry"));
            QueueMsgDialogAnswer(mrCancel);
            ClickOk(input);
            QTimer::singleShot(0, w, [w] {
                QueueMsgDialogAnswer(mrYes);
                QTest::mouseClick(Find<QPushButton>(w, "btnDefault"), Qt::LeftButton);
                ClickOk(w);
            });
        });
        QTest::mouseClick(Find<QPushButton>(w, "btnInsert"), Qt::LeftButton);
    });
    const auto noBlanks = [](const std::string& s) { return s.find(' ') == std::string::npos; };
    EXPECT_EQ(mrOk, dlg.Execute(DefaultFormPos, "Masks", "Mask", "", SelectOption(soEdit), 1, tcNone,
                                "*.bak,\"*.old file\" *.~*", list, text, true, noBlanks));
    ASSERT_EQ(2u, MsgDialogLog().size());
    EXPECT_EQ("Invalid entry: \"bad entry\"", MsgDialogLog()[0].Text);
    EXPECT_EQ("Reset to default values?", MsgDialogLog()[1].Text);
    EXPECT_EQ(3, list.Count());
    EXPECT_EQ("*.old file", list[1]);
    ClearMsgDialogLog();
}

TEST(SelectFromListDlgTest, TickListSetsBitZeroOfTheObjects)
{
    TStringList list{"b", "a"};
    list.SetObject(0, 2);
    list.SetObject(1, 1);
    WhenModal([](QWidget* w) {
        auto* items = Find<QListWidget>(w, "clItems");
        EXPECT_EQ(QStringLiteral("a"), items->item(0)->text()); // sorted
        QTest::mouseClick(Find<QPushButton>(w, "btSelAll"), Qt::LeftButton);
        items->item(0)->setCheckState(Qt::Unchecked);
        ClickOk(w);
    });
    EXPECT_TRUE(ChooseListItems(DefaultFormPos, "Export", "Folders to export", "Folders", list));
    EXPECT_EQ(3, list.Objects(0));
    EXPECT_EQ(0, list.Objects(1));
}

TEST(SelectFromListDlgTest, PopupListHeightAndListWindow)
{
    TListSelectDialog popup;
    for (int i = 0; i < 10; ++i)
        popup.Add("item " + std::to_string(i));
    int chosen = -1;
    popup.OnSelect = [&](int i) { chosen = i; };
    popup.ShowList({10, 10}, 100);
    EXPECT_EQ(100, popup.height());
    popup.hide();
    popup.ShowList({10, 10}, 0);
    EXPECT_EQ(176, popup.height());
    auto* lb = Find<QListWidget>(&popup, "lbSelect");
    QTest::mouseClick(lb->viewport(), Qt::LeftButton, {}, lb->visualItemRect(lb->item(3)).center());
    EXPECT_EQ(3, chosen);
    EXPECT_FALSE(popup.isVisible());

    AddListWindowItem("before"); // no window yet: nothing happens
    EXPECT_EQ(nullptr, ListWindow());
    OpenListWindow(spTopLeft, "Progress", "Files");
    AddListWindowItem("first");
    ASSERT_NE(nullptr, ListWindow());
    EXPECT_EQ(1, Find<QListWidget>(ListWindow(), "lbStrings")->count());
    CloseListWindow();
    EXPECT_FALSE(ListWindow()->isVisible());
}

class ShowFilesDlgTest : public SandboxTest
{
};

TEST_F(ShowFilesDlgTest, UpIsDisabledInTheStartFolderAndEnabledBelowIt)
{
    const std::string root = sandbox.Path("root");
    QDir().mkpath(QStr(root + "/sub/deeper"));
    TShowFilesDialog dlg;
    bool upAtStart = true, upBelow = false;
    std::string afterUp;
    WhenModal([&](QWidget* w) {
        auto* up = Find<QPushButton>(w, "btnDirUp");
        upAtStart = up->isEnabled();
        dlg.OpenDir(root + "/sub");
        upBelow = up->isEnabled();
        QTest::mouseClick(up, Qt::LeftButton);
        afterUp = dlg.CurrentDir();
        ClickOk(w);
    });
    dlg.Show("", root);
    EXPECT_FALSE(upAtStart);
    EXPECT_TRUE(upBelow);
    EXPECT_EQ(root + "/", afterUp);

    ClearMsgDialogLog();
    QueueMsgDialogAnswer(mrCancel);
    ShowDirectoryFiles("", sandbox.Path("missing"));
    ASSERT_EQ(1u, MsgDialogLog().size());
    EXPECT_EQ("Directory not found:\r\n" + sandbox.Path("missing") + "!", MsgDialogLog()[0].Text);
    ClearMsgDialogLog();
}
