#include "foundation/gui/PhDlg.h"

#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QTest>
#include <gtest/gtest.h>

#include "foundation/gui/NumberEd.h"
#include "foundation/gui/WinUtils.h"
#include "support/gui/GuiTestUtil.h"

TEST(PhDlgTest, AlternatingWeeksTakeTheCycleLength)
{
    bool cycleShown = false;
    WhenModal([&](QWidget* w) {
        Find<QRadioButton>(w, "tsDateItem12")->click(); // "Other"
        Find<QRadioButton>(w, "tsTimeItem4")->click();
        auto* cycle = Find<TRangeEdit>(w, "reCycle");
        cycleShown = cycle->isVisible();
        cycle->SetValue(4);
        QTest::mouseClick(Find<QPushButton>(w, "OKBtn"), Qt::LeftButton);
    });
    EXPECT_EQ("%w#4%", SelectPlaceholder(DefaultFormPos, ptTime, ""));
    EXPECT_TRUE(cycleShown);
}

TEST(PhDlgTest, ProgramPagesPreselectTheTaskNameAndDateAndTimeSwitchesPages)
{
    WhenModal([&](QWidget* w) { QTest::mouseClick(Find<QPushButton>(w, "OKBtn"), Qt::LeftButton); });
    EXPECT_EQ("%taskname%", SelectPlaceholder(DefaultFormPos, ptPreEx, ""));
    int page = -1;
    WhenModal([&](QWidget* w) {
        Find<QRadioButton>(w, "tsPostExItem0")->click();
        page = Find<QStackedWidget>(w, "PageControl")->currentIndex();
        QTest::mouseClick(Find<QPushButton>(w, "OKBtn"), Qt::LeftButton);
    });
    EXPECT_EQ("%date%", SelectPlaceholder(DefaultFormPos, ptPostEx, ""));
    EXPECT_EQ(0, page);
}

TEST(PhDlgTest, MailPageNamesTheActionAndCancelGivesNothing)
{
    QString title;
    WhenModal([&](QWidget* w) {
        title = Find<QGroupBox>(w, "tsMail")->title();
        QTest::keyClick(w, Qt::Key_Escape);
    });
    EXPECT_EQ("", SelectPlaceholder(DefaultFormPos, ptMail, "subject"));
    EXPECT_EQ(QStringLiteral("Placeholder for subject"), title);
}
