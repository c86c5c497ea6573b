#include "foundation/gui/MemoDlg.h"

#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include "foundation/gui/WinUtils.h"
#include "support/gui/GuiTestUtil.h"

TEST(MemoDlgTest, CommaListIsEditedOneItemPerLineAndComesBackAsCommaText)
{
    std::string text = "alpha,\"b, c\",gamma";
    QString shown;
    WhenModal([&](QWidget* w) {
        shown = Find<QPlainTextEdit>(w, "Memo")->toPlainText();
        QTest::mouseClick(Find<QPushButton>(w, "OKBtn"), Qt::LeftButton);
    });
    EXPECT_TRUE(EditCommaList(DefaultFormPos, "Types", "One type per line", text));
    EXPECT_EQ(QStringLiteral("alpha\nb, c\ngamma"), shown);
    EXPECT_EQ("alpha,\"b, c\",gamma", text);
}

TEST(MemoDlgTest, CancelLeavesTheTextAndOkReturnsTheEditedLines)
{
    std::string text = "one";
    WhenModal([&](QWidget* w) {
        auto* memo = Find<QPlainTextEdit>(w, "Memo");
        QTest::keyClick(memo, Qt::Key_Return);
        QTest::keyClicks(memo, QStringLiteral("two"));
        QTest::keyClick(w, Qt::Key_Escape);
    });
    EXPECT_FALSE(EditMultiLineText(DefaultFormPos, "Text", "", text));
    EXPECT_EQ("one", text);
    WhenModal([&](QWidget* w) {
        auto* memo = Find<QPlainTextEdit>(w, "Memo");
        QTest::keyClick(memo, Qt::Key_Return);
        QTest::keyClicks(memo, QStringLiteral("two"));
        QTest::mouseClick(Find<QPushButton>(w, "OKBtn"), Qt::LeftButton);
    });
    EXPECT_TRUE(EditMultiLineText(DefaultFormPos, "Text", "", text));
    EXPECT_EQ("one\ntwo\n", text);
}
