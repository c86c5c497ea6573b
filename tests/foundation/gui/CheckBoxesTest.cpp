#include "foundation/gui/CheckBoxes.h"

#include <QAbstractItemView>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>
#include <gtest/gtest.h>

#include "foundation/gui/GuiUtils.h"

TEST(CheckBoxesTest, ItemsShowTheirShortTextClosedAndTheirLongTextInListAndHint)
{
    TCheckComboBox combo;
    combo.SetHintPrefix("Days: ");
    combo.AddChecked("Monday|Mon", true);
    combo.AddChecked("Tuesday|Tue", false);
    combo.AddChecked("Wednesday|Wed", true);
    combo.AddChecked("Sunday", false);
    EXPECT_EQ("Mon,Wed", combo.DisplayText());
    EXPECT_EQ(QStringLiteral("Days: Monday,Wednesday"), combo.toolTip());
    EXPECT_EQ(QStringLiteral("Monday"), combo.itemText(0));
    EXPECT_EQ(2, combo.CheckedCount());
    combo.SetCaption("fixed");
    EXPECT_EQ("fixed", combo.DisplayText());
    EXPECT_EQ("Sunday", combo.GetShortString(3));
}

TEST(CheckBoxesTest, SelectedCoversTheFirst32ItemsAndSelectedIndexesTheFirst256)
{
    TCheckComboBox combo;
    for (int i = 0; i < 300; ++i)
        combo.AddChecked("item " + std::to_string(i), false);
    combo.SetChecked(32, true);
    combo.SetSelected(1);
    EXPECT_TRUE(combo.IsChecked(0));
    EXPECT_TRUE(combo.IsChecked(32));
    EXPECT_EQ(1u, combo.Selected());
    combo.SetChecked(280, true);
    const TSelected s = combo.SelectedIndexes();
    EXPECT_TRUE(s[0]);
    EXPECT_TRUE(s[32]);
    EXPECT_EQ(2u, s.count());
    TSelected none;
    combo.SetSelectedIndexes(none);
    EXPECT_FALSE(combo.IsChecked(0));
    EXPECT_TRUE(combo.IsChecked(280)); // beyond 255: untouched
    EXPECT_FALSE(combo.IsChecked(-1));
    EXPECT_FALSE(combo.IsChecked(300));
}

TEST(CheckBoxesTest, ClickingAnItemTogglesItAndKeepsTheListOpen)
{
    TCheckComboBox combo;
    combo.AddChecked("Monday|Mon", false);
    combo.AddChecked("Tuesday|Tue", false);
    QSignalSpy spy(&combo, &TCheckComboBox::CheckClick);
    combo.show();
    combo.showPopup();
    QAbstractItemView* view = combo.view();
    const QRect r = view->visualRect(combo.model()->index(1, 0));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, r.center());
    EXPECT_TRUE(combo.IsChecked(1));
    EXPECT_TRUE(view->isVisible());
    view->setCurrentIndex(combo.model()->index(0, 0));
    QTest::keyClick(view, Qt::Key_Space);
    EXPECT_TRUE(combo.IsChecked(0));
    EXPECT_EQ(2, spy.count());
    combo.hidePopup();
    EXPECT_EQ("Mon,Tue", combo.DisplayText());
}

TEST(CheckBoxesTest, ClosingTheListWithNothingCheckedChecksTheDefaultItem)
{
    TCheckComboBox combo;
    combo.AddChecked("Monday|Mon", false);
    combo.AddChecked("Tuesday|Tue", false);
    combo.SetDefaultIndex(0);
    combo.show();
    combo.showPopup();
    combo.hidePopup();
    EXPECT_TRUE(combo.IsChecked(0));
    EXPECT_EQ("Mon", combo.DisplayText());
}

TEST(CheckBoxesTest, UncheckingTheGroupBoxDisablesEverythingInside)
{
    TCheckGroupBox box;
    box.SetCaption("Run program before");
    auto* edit = new QLineEdit(&box);
    auto* layout = new QVBoxLayout(&box);
    layout->addWidget(edit);
    QSignalSpy spy(&box, &TCheckGroupBox::CheckClick);
    box.show();
    EXPECT_TRUE(edit->isEnabled());
    // A click on the caption's check box.
    QStyleOptionGroupBox opt;
    opt.initFrom(&box);
    opt.subControls = QStyle::SC_GroupBoxCheckBox;
    opt.features = QStyleOptionFrame::None;
    opt.text = box.title();
    opt.lineWidth = 1;
    opt.midLineWidth = 0;
    opt.textAlignment = Qt::AlignLeft;
    opt.activeSubControls = QStyle::SC_None;
    opt.state |= QStyle::State_On;
    const QRect check =
        box.style()->subControlRect(QStyle::CC_GroupBox, &opt, QStyle::SC_GroupBoxCheckBox, &box);
    QTest::mouseClick(&box, Qt::LeftButton, {}, check.center());
    EXPECT_FALSE(box.Checked());
    EXPECT_FALSE(edit->isEnabled());
    EXPECT_EQ(1, spy.count());
    box.SetChecked(true);
    EXPECT_TRUE(edit->isEnabled());
}
