#include "foundation/gui/CharTableDlg.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <gtest/gtest.h>

#include "foundation/gui/WinUtils.h"
#include "support/gui/GuiTestUtil.h"

TEST(CharTableDlgTest, TypingAHexValueSelectsItsCellAndSelectReturnsTheCode)
{
    int row = -1, column = -1;
    WhenModal([&](QWidget* w) {
        QTest::keyClicks(Find<QLineEdit>(w, "leValue"), QStringLiteral("41"));
        auto* grid = Find<QTableWidget>(w, "CharGrid");
        row = grid->currentRow();
        column = grid->currentColumn();
        QTest::mouseClick(Find<QPushButton>(w, "OKBtn"), Qt::LeftButton);
    });
    EXPECT_EQ(65, SelectCharacter(DefaultFormPos, ""));
    EXPECT_EQ(4, row);
    EXPECT_EQ(1, column);
    WhenModal([&](QWidget* w) { QTest::keyClick(w, Qt::Key_Escape); });
    EXPECT_EQ(0, SelectCharacter(DefaultFormPos, ""));
}
