#include "foundation/gui/EditHistListDlg.h"

#include <QComboBox>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include "foundation/gui/ShowMessageDlg.h"
#include "foundation/gui/WinUtils.h"
#include "support/gui/GuiTestUtil.h"

namespace {
void Select(QListWidget* list, std::initializer_list<int> rows)
{
    list->clearSelection();
    for (int r : rows)
        list->item(r)->setSelected(true);
}

QStringList Items(QListWidget* list)
{
    QStringList s;
    for (int i = 0; i < list->count(); ++i)
        s << list->item(i)->text();
    return s;
}
} // namespace

TEST(EditHistListDlgTest, MovingABlockUpStopsEntriesAtTheTop)
{
    TStringList list{"a", "b", "c", "d", "e"};
    list.SetObject(2, 42);
    QStringList afterUp, afterDown;
    bool firstSelected = false, thirdSelected = false;
    int index = 0;
    WhenModal([&](QWidget* w) {
        auto* lb = Find<QListWidget>(w, "lbxStringList");
        Select(lb, {0, 2});
        QTest::mouseClick(Find<QPushButton>(w, "UpBtn"), Qt::LeftButton);
        afterUp = Items(lb);
        firstSelected = lb->item(0)->isSelected();
        thirdSelected = lb->item(1)->isSelected();
        Select(lb, {3, 4});
        QTest::mouseClick(Find<QPushButton>(w, "DownBtn"), Qt::LeftButton);
        afterDown = Items(lb);
        QTest::mouseClick(Find<QPushButton>(w, "OKBtn"), Qt::LeftButton);
    });
    EXPECT_TRUE(EditHistoryList(DefaultFormPos, "List", "Entries", list, true, false, index));
    EXPECT_EQ((QStringList{"a", "c", "b", "d", "e"}), afterUp);
    EXPECT_TRUE(firstSelected);
    EXPECT_TRUE(thirdSelected);
    EXPECT_EQ(afterUp, afterDown); // the bottom block cannot move
    ASSERT_EQ(5, list.Count());
    EXPECT_EQ("c", list[1]);
    EXPECT_EQ(42, list.Objects(1));
    EXPECT_EQ(0, index); // "a" stays at its place
}

TEST(EditHistListDlgTest, RemoveTakesTheSelectionAndEditRefusesADuplicate)
{
    ClearMsgDialogLog();
    TStringList list{"abc", "def", "ghi"};
    int index = 1;
    WhenModal([&](QWidget* w) {
        auto* lb = Find<QListWidget>(w, "lbxStringList");
        // Edit "def" to "ABC": refused.
        WhenModalOtherThan(w, [w, lb](QWidget* input) {
            Find<QComboBox>(input, "TextFeld")->setEditText(QStringLiteral("ABC"));
            QueueMsgDialogAnswer(mrCancel);
            QTest::mouseClick(Find<QPushButton>(input, "OKBtn"), Qt::LeftButton);
            QTimer::singleShot(0, w, [w, lb] {
                Select(lb, {0});
                lb->setCurrentRow(0);
                QTest::mouseClick(Find<QPushButton>(w, "btnDelete"), Qt::LeftButton);
                QTest::mouseClick(Find<QPushButton>(w, "OKBtn"), Qt::LeftButton);
            });
        });
        QTest::mouseClick(Find<QPushButton>(w, "btnEdit"), Qt::LeftButton);
    });
    EXPECT_TRUE(EditHistoryList(DefaultFormPos, "List", "Entries", list, true, true, index));
    ASSERT_EQ(1u, MsgDialogLog().size());
    EXPECT_EQ("Item \"ABC\" already exists!", MsgDialogLog()[0].Text);
    ASSERT_EQ(2, list.Count());
    EXPECT_EQ("def", list[0]);
    EXPECT_EQ(0, index);
    ClearMsgDialogLog();
}

TEST(EditHistListDlgTest, CancelChangesNothing)
{
    TStringList list{"abc", "def"};
    WhenModal([&](QWidget* w) {
        Select(Find<QListWidget>(w, "lbxStringList"), {0});
        QTest::mouseClick(Find<QPushButton>(w, "btnDelete"), Qt::LeftButton);
        QTest::keyClick(w, Qt::Key_Escape);
    });
    EXPECT_FALSE(DeleteHistoryEntries(DefaultFormPos, "", "", list));
    EXPECT_EQ(2, list.Count());
}
