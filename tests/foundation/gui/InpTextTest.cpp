#include "foundation/gui/InpText.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include "foundation/gui/WinUtils.h"
#include "support/gui/GuiTestUtil.h"

TEST(InpTextTest, OkPutsTheTextAtTheTopOfTheHistory)
{
    TStringList history{"first", "second"};
    std::string text = "SECOND";
    int shownItems = 0;
    WhenModal([&](QWidget* w) {
        shownItems = Find<QComboBox>(w, "TextFeld")->count();
        QTest::mouseClick(Find<QPushButton>(w, "OKBtn"), Qt::LeftButton);
    });
    EXPECT_TRUE(InputTextHistory(DefaultFormPos, "Filter", "Filter text", false, "", &history, false, text));
    EXPECT_EQ(2, shownItems);
    ASSERT_EQ(2, history.Count());
    EXPECT_EQ("SECOND", history[0]);
    EXPECT_EQ("first", history[1]);
}

TEST(InpTextTest, CharacterTableAppendsTheChosenCharacter)
{
    std::string text = "abc";
    bool tableButtonShown = false;
    WhenModal([&](QWidget* w) {
        auto* btn = Find<QPushButton>(w, "CharTabBtn");
        tableButtonShown = btn->isVisible();
        WhenModalOtherThan(w, [w](QWidget* table) {
            QTest::keyClicks(Find<QLineEdit>(table, "leValue"), QStringLiteral("41"));
            QTest::mouseClick(Find<QPushButton>(table, "OKBtn"), Qt::LeftButton);
            QTimer::singleShot(0, w,
                               [w] { QTest::mouseClick(Find<QPushButton>(w, "OKBtn"), Qt::LeftButton); });
        });
        QTest::mouseClick(btn, Qt::LeftButton);
    });
    EXPECT_TRUE(InputText(DefaultFormPos, "", "Text", true, text));
    EXPECT_TRUE(tableButtonShown);
    EXPECT_EQ("abcA", text);
}
