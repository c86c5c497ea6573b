#include "foundation/gui/Prgrss.h"

#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

#include "foundation/gui/GuiUtils.h"
#include "foundation/gui/Indicators.h"
#include "foundation/gui/StatWind.h"
#include "foundation/gui/StyleUtils.h"
#include "foundation/gui/WinUtils.h"
#include "support/gui/GuiTestUtil.h"

TEST(PrgrssTest, PositionBarFillsTheScaledShareOfTheInnerWidth)
{
    TNewProgressBar bar;
    bar.resize(151, 11);
    bar.SetPosition(50);
    const QRect r = bar.BarRect();
    EXPECT_EQ(2, r.left());
    EXPECT_EQ(76, r.left() + r.width());
    EXPECT_EQ(2, r.top());
    bar.SetPosition(100);
    EXPECT_EQ(149, bar.BarRect().left() + bar.BarRect().width());
}

TEST(PrgrssTest, ReverseStyleRunsTheTimerAndTurnsBackAtTheEnd)
{
    TNewProgressBar bar;
    bar.resize(151, 11);
    bar.SetIncrement(1);
    bar.SetStyle(npsReverse);
    EXPECT_EQ(psOn, bar.ProgressStatus());
    EXPECT_TRUE(bar.TimerActive());
    bar.Pause(true);
    EXPECT_FALSE(bar.TimerActive());
    EXPECT_EQ(psOn, bar.ProgressStatus());
    const int turn = 151 - 50 - 2;
    for (int i = 0; i < turn - 1; ++i)
        bar.Step();
    EXPECT_EQ(2 + turn - 1, bar.BarRect().left());
    EXPECT_TRUE(bar.BarForward());
    bar.Step();
    const QRect back = bar.BarRect();
    EXPECT_FALSE(bar.BarForward());
    EXPECT_EQ(151 - 50 - 2, back.left());
    bar.SetStyle(npsNormal);
    EXPECT_EQ(psOff, bar.ProgressStatus());
    EXPECT_FALSE(bar.TimerActive());
}

TEST(PrgrssTest, NudgesStepOnEveryIntervalPlusOneth)
{
    TNewProgressBar bar;
    bar.SetInterval(10);
    QSignalSpy steps(&bar, &TCustomProgress::OnIncrement);
    bar.Nudge(); // not in psNudge: nothing
    bar.SetProgressStatus(psNudge);
    for (int i = 0; i < 10; ++i)
        bar.Nudge();
    EXPECT_EQ(0, steps.count());
    bar.Nudge();
    EXPECT_EQ(1, steps.count());
    EXPECT_EQ(2, bar.Offset());
    for (int i = 0; i < 11; ++i)
        bar.Nudge();
    EXPECT_EQ(2, steps.count());
}

TEST(StatWindTest, ShowStatusKeepsTheFirstTitleShowsCancelOnRequestAndClampsProgress)
{
    TStatusWindow w;
    w.ShowStatus(DefaultFormPos, "Scanning", "folder one", false, -1);
    auto* cancel = Find<QPushButton>(&w, "btnCancel");
    EXPECT_TRUE(w.isVisible());
    EXPECT_FALSE(cancel->isVisible());
    EXPECT_EQ(QStringLiteral("Scanning"), w.windowTitle());
    w.ShowStatus(DefaultFormPos, "", "folder two", true, -1);
    EXPECT_EQ(QStringLiteral("Scanning"), w.windowTitle());
    EXPECT_EQ(QStringLiteral("folder two"), Find<QLabel>(&w, "StatusLabel")->text());
    EXPECT_TRUE(cancel->isVisible());
    auto* bar = Find<TNewProgressBar>(&w, "ProgressBar");
    w.SetProgress(150);
    EXPECT_EQ(100, bar->Position());
    w.SetInfo("/very/long/path/" + std::string(300, 'x') + "/end.txt");
    const QString info = Find<QLabel>(&w, "ProgLabel")->text();
    EXPECT_TRUE(info.contains(QChar(0x2026)) || info.contains(QStringLiteral("...")));
    EXPECT_TRUE(info.endsWith(QStringLiteral("end.txt")));
    EXPECT_FALSE(w.Stopped);
    QTest::mouseClick(cancel, Qt::LeftButton);
    EXPECT_TRUE(w.Stopped);
    w.ShowStatus(DefaultFormPos, "", "again", true, -1);
    EXPECT_FALSE(w.Stopped);
    QTest::keyClick(&w, Qt::Key_Escape);
    EXPECT_TRUE(w.Stopped);
    EXPECT_TRUE(w.isVisible());
    w.hide();
}

TEST(IndicatorsTest, ADisabledSpotShowsTheButtonFaceWhateverItsState)
{
    TSpotIndicator spot;
    spot.SetIndicate(true);
    EXPECT_EQ(ColorFromTColor(0x0000FF), spot.CentreColor());
    spot.setEnabled(false);
    EXPECT_EQ(spot.palette().color(QPalette::Button), spot.CentreColor());
    TLamp lamp;
    EXPECT_TRUE(lamp.LightOn());
    EXPECT_EQ(QColor(0xE4, 0xBC, 0x1B), lamp.CentreColor());
    lamp.SetLightOn(false);
    EXPECT_EQ(QColor(0x80, 0x80, 0x80), lamp.CentreColor());
}
