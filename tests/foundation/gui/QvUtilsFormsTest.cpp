#include "foundation/gui/QvUtilsForms.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QScreen>
#include <cmath>
#include <gtest/gtest.h>

TEST(QvUtilsFormsTest, RestoreKeepsTheFormInsideTheWorkArea)
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QRect area = screen->availableGeometry();
    const int dpi = static_cast<int>(std::lround(screen->logicalDotsPerInch()));
    QWidget form;
    TFormPos pos;
    pos.xprim = area.x() + 150;
    pos.yprim = area.y() + 10;
    pos.w = area.width() + 300;
    pos.h = 200;
    pos.dpi = dpi;
    RestoreFormPos(pos, &form);
    EXPECT_EQ(area.width() - 100, pos.w);
    EXPECT_EQ(area.x() + 50, form.x());
    EXPECT_EQ(area.width() - 100, form.width());
    EXPECT_EQ(0, pos.wdiff);

    // Saved on a screen with another DPI: the size is the form's own.
    QWidget other;
    other.resize(321, 123);
    TFormPos pos2;
    pos2.xprim = area.x() + 100;
    pos2.yprim = area.y() + 100;
    pos2.w = 500;
    pos2.h = 300;
    pos2.dpi = dpi + 48;
    RestoreFormPos(pos2, &other);
    EXPECT_EQ(321, pos2.w);
    EXPECT_EQ(QPoint(area.x() + 100, area.y() + 100), other.pos());
}

TEST(QvUtilsFormsTest, SaveChangesNothingForAHiddenForm)
{
    QWidget form;
    form.resize(300, 200);
    TFormPos pos;
    pos.w = 7;
    SaveFormPos(pos, &form);
    EXPECT_EQ(7, pos.w);
    form.show();
    SaveFormPos(pos, &form);
    EXPECT_EQ(300, pos.w);
    EXPECT_EQ(200, pos.h);
    EXPECT_EQ(form.x(), pos.xprim);
}

TEST(QvUtilsFormsTest, SmallHelpers)
{
    QLineEdit edit(QStringLiteral("abc"));
    AppendToEdit(&edit, "def");
    EXPECT_EQ(QStringLiteral("abcdef"), edit.text());
    EXPECT_EQ(6, edit.cursorPosition());
    QComboBox combo;
    combo.setEditable(true);
    combo.setEditText(QStringLiteral("/mnt/one"));
    UpdateComboHistory(&combo);
    AddComboHistory(&combo, "/mnt/two");
    EXPECT_EQ(2, combo.count());
    EXPECT_EQ(QStringLiteral("/mnt/two"), combo.itemText(0));
    QWidget parent;
    auto* child = new QLineEdit(&parent);
    child->setToolTip(QStringLiteral("hint"));
    SetShowHints(&parent, false);
    EXPECT_TRUE(child->toolTip().isEmpty());
    SetShowHints(&parent, true);
    EXPECT_EQ(QStringLiteral("hint"), child->toolTip());
    EXPECT_EQ(5, IfStyleActive(5, 7));
}
