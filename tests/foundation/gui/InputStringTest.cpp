#include "foundation/gui/InputString.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include "foundation/gui/TextDlg.h"
#include "foundation/gui/WinUtils.h"
#include "support/gui/GuiTestUtil.h"

TEST(InputStringTest, LongTextWidensTheDialogAndEnterConfirms)
{
    std::string text(200, 'w');
    int width = 0, textWidth = 0;
    WhenModal([&](QWidget* w) {
        auto* edit = Find<QLineEdit>(w, "TextFeld");
        width = w->width();
        textWidth = QFontMetrics(edit->font()).horizontalAdvance(edit->text());
        edit->setText(QStringLiteral("short"));
        QTest::keyClick(edit, Qt::Key_Return);
    });
    EXPECT_TRUE(AskString(DefaultFormPos, "Name", "Enter the name", text));
    EXPECT_GT(width, textWidth);
    EXPECT_EQ("short", text);

    WhenModal([&](QWidget* w) {
        Find<QLineEdit>(w, "TextFeld")->setText(QStringLiteral("other"));
        QTest::keyClick(w, Qt::Key_Escape);
    });
    EXPECT_FALSE(AskString(DefaultFormPos, "Name", "Enter the name", text));
    EXPECT_EQ("short", text);
}

TEST(TextDlgTest, TwoFieldsAndTheSwitchComeBackOnOk)
{
    TTextEingabe dlg;
    std::string a = "user", b = "host";
    TSwitchMode sw = tsOff;
    bool secondShown = false;
    WhenModal([&](QWidget* w) {
        secondShown = Find<QLineEdit>(w, "Textfeld2")->isVisible();
        Find<QLineEdit>(w, "Textfeld2")->setText(QStringLiteral("server"));
        Find<QCheckBox>(w, "Switch")->setChecked(true);
        QTest::mouseClick(Find<QPushButton>(w, "OKBtn"), Qt::LeftButton);
    });
    EXPECT_TRUE(dlg.Execute(DefaultFormPos, "Account", "User", "Host", "Remember", a, b, sw));
    EXPECT_TRUE(secondShown);
    EXPECT_EQ("user", a);
    EXPECT_EQ("server", b);
    EXPECT_EQ(tsOn, sw);

    std::string text = "x";
    bool hidden = false;
    WhenModal([&](QWidget* w) {
        hidden = !Find<QLineEdit>(w, "Textfeld2")->isVisible() && !Find<QCheckBox>(w, "Switch")->isVisible();
        QTest::keyClicks(Find<QLineEdit>(w, "TextFeld1"), QStringLiteral("yz"));
        QTest::keyClick(Find<QLineEdit>(w, "TextFeld1"), Qt::Key_Return);
    });
    EXPECT_TRUE(AskText(DefaultFormPos, "Title", "Text", text));
    EXPECT_TRUE(hidden);
    EXPECT_EQ("yz", text); // the field's text was selected on entry
}
