#include "foundation/gui/SelectDlg.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include "foundation/gui/WinUtils.h"
#include "support/gui/GuiTestUtil.h"

namespace {
const std::vector<std::string> Four = {"One", "Two", "Three", "Four"};

// Row and column of a button in the grid of answer buttons.
std::pair<int, int> Cell(QWidget* w, const char* name)
{
    auto* b = Find<QPushButton>(w, name);
    for (QGridLayout* g : w->findChildren<QGridLayout*>()) {
        const int i = g->indexOf(b);
        if (i >= 0) {
            int r, c, rs, cs;
            g->getItemPosition(i, &r, &c, &rs, &cs);
            return {r, c};
        }
    }
    return {-1, -1};
}
} // namespace

TEST(SelectDlgTest, FourCaptionsMakeTwoRowsWithCancelInTheThirdColumn)
{
    std::pair<int, int> fourth, cancel, third;
    WhenModal([&](QWidget* w) {
        third = Cell(w, "Button2");
        fourth = Cell(w, "Button3");
        cancel = Cell(w, "CancelBtn");
        QTest::keyClick(w, Qt::Key_Escape);
    });
    EXPECT_EQ(-1, SelectChoice("Delete", "How?", mtConfirmation, false, Four, "", 0, 0, ""));
    EXPECT_EQ(std::make_pair(0, 2), third);
    EXPECT_EQ(std::make_pair(1, 1), fourth);
    EXPECT_EQ(std::make_pair(1, 2), cancel);

    WhenModal([&](QWidget* w) {
        Find<QCheckBox>(w, "cbOption")->setChecked(true);
        QTest::mouseClick(Find<QPushButton>(w, "Button1"), Qt::LeftButton);
    });
    EXPECT_EQ(257, SelectChoice("Delete", "How?", mtConfirmation, false, Four, "For all files", 0, 0, ""));
}

TEST(SelectDlgTest, PreSelectionFocusesAButtonAndPresetsTheBox)
{
    const std::vector<std::string> three = {"A", "B", "C"};
    bool ticked = false;
    QString focused;
    WhenModal([&](QWidget* w) {
        ticked = Find<QCheckBox>(w, "cbOption")->isChecked();
        focused = w->focusWidget() ? w->focusWidget()->objectName() : QString();
        QTest::keyClick(w, Qt::Key_Escape);
    });
    SelectChoice("T", "Q", mtWarning, true, three, "Option", 0, 258, "");
    EXPECT_TRUE(ticked);
    EXPECT_EQ(QStringLiteral("Button2"), focused);
    WhenModal([&](QWidget* w) {
        focused = w->focusWidget() ? w->focusWidget()->objectName() : QString();
        QTest::mouseClick(Find<QPushButton>(w, "CancelBtn"), Qt::LeftButton);
    });
    EXPECT_EQ(-1, SelectChoice("T", "Q", mtWarning, false, three, "Option", 0, 9, "Keep"));
    EXPECT_EQ(QStringLiteral("CancelBtn"), focused);
}
