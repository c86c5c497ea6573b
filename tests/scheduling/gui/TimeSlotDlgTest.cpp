#include <QDateEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTimeEdit>
#include <gtest/gtest.h>

#include "scheduling/gui/TimeSlotDlg.h"
#include "support/gui/GuiTestUtil.h"
#include "support/gui/Screenshots.h"

namespace {

const TScreenshotShow timeSlotShot("timeslot", [](const TScreenshotSaver& save) {
    ScreenshotModal(save, [] {
        TTimePeriod p;
        p.Mode = tmSpan;
        p.Dat1 = EncodeDate(2026, 1, 1);
        p.Dat2 = EncodeDate(2026, 3, 31);
        SelectTimeSlot(p);
    });
});

TEST(TimeSlotDlgTest, ShowsTheSlotAndStoresTheChoice)
{
    struct Case
    {
        const char* Name;
        TTimeMode ModeIn;
        TTimeRef RefIn;
        const char* Click; // nullptr: none
        const char* ExpectChecked;
        const char* ExpectVisible; // the control shown beside the choice
        TTimeMode ModeOut;
    } cases[] = {
        {"a command-line mode opens as All", tmPrompt, trModify, nullptr, "rbTmAll", nullptr, tmAll},
        {"update opens as All", tmUpdate, trCreate, nullptr, "rbTmAll", nullptr, tmAll},
        {"both time stamps", tmNewer, trBoth, nullptr, "rbTmNewer", "FromDate", tmNewer},
        {"older than", tmAll, trModify, "rbTmPrevDays", "rbTmAll", "reDays", tmPrevDays},
        {"not older than", tmAll, trModify, "rbTmLastDays", "rbTmAll", "reDays", tmLastDays},
        {"before", tmAll, trModify, "rbTmOlder", "rbTmAll", "ToDate", tmOlder},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        TTimePeriod p;
        p.Mode = c.ModeIn;
        p.TmRef = c.RefIn;
        p.Days = 12;
        bool checked = false, visible = false, refShown = false;
        WhenModal([&](QWidget* w) {
            ASSERT_NE(w, nullptr);
            checked = Find<QRadioButton>(w, c.ExpectChecked)->isChecked();
            refShown = Find<QRadioButton>(w, ("rbRef" + std::to_string(c.RefIn)).c_str())->isChecked();
            if (c.Click)
                Find<QRadioButton>(w, c.Click)->click();
            visible = !c.ExpectVisible || Find<QWidget>(w, c.ExpectVisible)->isVisible();
            Find<QPushButton>(w, "OKBtn")->click();
        });
        ASSERT_TRUE(SelectTimeSlot(p));
        EXPECT_TRUE(checked);
        EXPECT_TRUE(visible);
        EXPECT_TRUE(refShown);
        EXPECT_EQ(p.Mode, c.ModeOut);
        EXPECT_EQ(p.TmRef, c.RefIn);
        EXPECT_EQ(p.Days, 12);
    }
}

TEST(TimeSlotDlgTest, TodayStoresWholeMinutesAndDatesStayInOrder)
{
    TTimePeriod p;
    p.Mode = tmToday;
    p.Dat1 = EncodeDate(2026, 2, 1);
    p.Dat2 = EncodeDate(2026, 2, 10);
    WhenModal([](QWidget* w) {
        ASSERT_NE(w, nullptr);
        auto* from = Find<QDateEdit>(w, "FromDate");
        EXPECT_TRUE(Find<QTimeEdit>(w, "FromTime")->isVisible());
        Find<QTimeEdit>(w, "FromTime")->setTime(QTime(6, 30, 45));
        Find<QRadioButton>(w, "rbTmSpan")->click();
        from->setDate(QDate(2026, 3, 1)); // after the to-date: the to-date follows
        EXPECT_EQ(Find<QDateEdit>(w, "ToDate")->date(), QDate(2026, 3, 1));
        Find<QDateEdit>(w, "ToDate")->setDate(QDate(2026, 1, 15)); // before: the from-date follows
        EXPECT_EQ(from->date(), QDate(2026, 1, 15));
        Find<QRadioButton>(w, "rbTmToday")->click();
        Find<QPushButton>(w, "OKBtn")->click();
    });
    ASSERT_TRUE(SelectTimeSlot(p));
    EXPECT_EQ(p.Mode, tmToday);
    EXPECT_DOUBLE_EQ(p.DayTime, 390.0 / 1440);
    EXPECT_DOUBLE_EQ(p.Dat1, EncodeDate(2026, 1, 15));
    EXPECT_DOUBLE_EQ(p.Dat2, EncodeDate(2026, 1, 15));
    // Cancel keeps everything but the mode
    TTimePeriod before = p;
    WhenModal([](QWidget* w) {
        Find<QRadioButton>(w, "rbTmOlder")->click();
        Find<QPushButton>(w, "CancelBtn")->click();
    });
    EXPECT_FALSE(SelectTimeSlot(p));
    EXPECT_EQ(p.Mode, tmOff);
    EXPECT_DOUBLE_EQ(p.Dat1, before.Dat1);
    EXPECT_DOUBLE_EQ(p.DayTime, before.DayTime);
}

} // namespace
