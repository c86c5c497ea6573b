#include "foundation/gui/WinUtils.h"

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QStyle>
#include <QVBoxLayout>
#include <gtest/gtest.h>

#include "foundation/gui/GuiUtils.h"
#include "foundation/gui/StyleUtils.h"

TEST(WinUtilsTest, WindowsAreKeptInsideTheWorkAreaWithMargins)
{
    const QRect w = QGuiApplication::primaryScreen()->availableGeometry();
    struct Case
    {
        int Left, Top, Width, Height, WantLeft, WantTop;
    };
    const int right = w.x() + w.width();
    const int bottom = w.y() + w.height();
    const Case cases[] = {
        {w.x() + 10, w.y() + 10, 100, 100, w.x() + 10, w.y() + 10},
        {right - 50, w.y() + 10, 100, 100, right - 100 - 20, w.y() + 10},
        {w.x() + 10, bottom - 50, 100, 100, w.x() + 10, bottom - 100 - 30},
        {w.x() - 30, w.y() - 30, 100, 100, w.x() + 20, w.y() + 20},
        // wider and taller than the work area: ends at the left and top margins
        {w.x() + 10, w.y() + 10, w.width() + 200, w.height() + 200, w.x() + 20, w.y() + 20},
    };
    for (const Case& c : cases) {
        int left = c.Left, top = c.Top;
        AdjustToWorkArea(left, top, c.Height, c.Width);
        EXPECT_EQ(c.WantLeft, left);
        EXPECT_EQ(c.WantTop, top);
    }
}

TEST(WinUtilsTest, PlaceFormAtCentresForNegativeCoordinatesAndOpensUpwardsWhenAsked)
{
    const QRect w = QGuiApplication::primaryScreen()->availableGeometry();
    QDialog dlg;
    dlg.resize(200, 100);
    PlaceFormAt(&dlg, DefaultFormPos);
    EXPECT_EQ(w.x() + (w.width() - 200) / 2, dlg.x());
    PlaceFormAt(&dlg, {w.x() + 10, w.y() + 10});
    EXPECT_EQ(QPoint(w.x() + 10, w.y() + 10), dlg.pos());
    PlaceFormAt(&dlg, {w.x() + 10, w.y() + 300}, true);
    EXPECT_EQ(w.y() + 300 - dlg.frameGeometry().height(), dlg.y());
}

TEST(WinUtilsTest, TextHelpers)
{
    EXPECT_EQ(1, CountLines("abc"));
    EXPECT_EQ(3, CountLines("a\r\nb\r\nc"));
    EXPECT_EQ(1, GetFilterIndex("Task files|*.buj|All files|*.*", "buj"));
    EXPECT_EQ(2, GetFilterIndex("Task files|*.buj|All files|*.*", "xyz"));
    EXPECT_EQ(1, GetFilterIndex("Task files|*.BUJ|All files|*.*", "buj"));
    const QFont f = QApplication::font();
    EXPECT_EQ(QStringLiteral("abc"), FitTextToWidth(QStringLiteral("abc"), f, 1));
    EXPECT_EQ(QStringLiteral("abc..."), FitTextToWidth(QStringLiteral("abcdefgh"), f, 1));
    const QString longText(200, QLatin1Char('x'));
    const QString cut = FitTextToWidth(longText, f, 100);
    EXPECT_TRUE(cut.endsWith(QStringLiteral("...")));
    EXPECT_LE(QFontMetrics(f).horizontalAdvance(cut), 100);
    EXPECT_EQ(QStringLiteral("fits"), FitTextToWidth(QStringLiteral("fits"), f, 1000));
    const QSize s = GetMultiLineTextSize(QStringLiteral("a\r\nlonger line"), f);
    EXPECT_EQ(QFontMetrics(f).horizontalAdvance(QStringLiteral("longer line")), s.width());
    EXPECT_EQ(2 * QFontMetrics(f).height(), s.height());
    EXPECT_EQ(25, MulDiv(20, 120, 96));
}

TEST(WinUtilsTest, StaticTabStopsReachLabelsAndReadOnlyEdits)
{
    QDialog dlg;
    auto* label = new QLabel(QStringLiteral("text"), &dlg);
    auto* ro = new QLineEdit(&dlg);
    ro->setReadOnly(true);
    auto* rw = new QLineEdit(&dlg);
    SetStaticTabStops(&dlg, true);
    EXPECT_EQ(Qt::TabFocus, label->focusPolicy());
    EXPECT_EQ(Qt::StrongFocus, ro->focusPolicy());
    EXPECT_EQ(Qt::StrongFocus, rw->focusPolicy());
    SetStaticTabStops(&dlg, false);
    EXPECT_EQ(Qt::NoFocus, label->focusPolicy());
}

TEST(StyleUtilsTest, DarkStyleIsFusionWithADarkPaletteAndSwitchesOnlyWhenDifferent)
{
    SetDarkStyle("Windows10 Dark");
    EXPECT_FALSE(IsStyleActive());
    ApplyStyle(true);
    EXPECT_TRUE(IsStyleActive());
    EXPECT_EQ(QStringLiteral("fusion"), QApplication::style()->name().toLower());
    EXPECT_LT(QApplication::palette().color(QPalette::Window).lightness(), 100);
    QStyle* active = QApplication::style();
    ApplyStyle(true); // already active: nothing happens
    EXPECT_EQ(active, QApplication::style());
    ApplyStyle(false);
    EXPECT_FALSE(IsStyleActive());
    EXPECT_GT(QApplication::palette().color(QPalette::Window).lightness(), 100);
}

TEST(StyleUtilsTest, ColorDistance)
{
    EXPECT_EQ(0, ColorDistance(0x123456, 0x123456));
    EXPECT_EQ(255, ColorDistance(0x80000005, 0x123456));
    EXPECT_EQ(255, ColorDistance(0xFFFFFF, 0x000000));
    EXPECT_EQ(147, ColorDistance(0x0000FF, 0x000000)); // sqrt(255^2 / 3)
}
