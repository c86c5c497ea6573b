#include <QComboBox>
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <functional>
#include <gtest/gtest.h>

#include "scheduling/gui/Schedule.h"
#include "support/FakeClock.h"
#include "support/gui/GuiTestUtil.h"
#include "support/gui/Screenshots.h"

namespace {

const TScreenshotShow scheduleShot("alternatingschedule", [](const TScreenshotSaver& save) {
    ScreenshotModal(save, [] {
        TSchedule s;
        s.StepMode = 1;
        s.NumZyk = 7;
        s.SchedMode = smDiff;
        s.FullZyk = 2;
        EditAlternatingSchedule(s, 0);
    });
});

TSchedule Make(int step, int num, TSchedMode mode, int akt = 1, int last = 5, int full = 0)
{
    TSchedule s;
    s.StepMode = step;
    s.NumZyk = num;
    s.SchedMode = mode;
    s.AktZyk = akt;
    s.LastZyk = last;
    s.WeekZyk = 3;
    s.FullZyk = full;
    return s;
}

TEST(ScheduleDlgTest, WritesTheFieldsOfTheCycle)
{
    // Friday 11 December 2026: weekday 5
    ScopedFakeClock clock(EncodeDateTime(2026, 12, 11, 12, 0, 0, 0));
    struct Case
    {
        const char* Name;
        TSchedule In;
        std::function<void(QWidget*)> Act;
        int Shown; // steps shown on entry
        TSchedule Out;
    };
    const Case cases[] = {
        {"60 daily steps", Make(1, 60, smNormal, 4), nullptr, 60, Make(1, 60, smNormal, 4, 5)},
        // whole weeks in a mode with full backups: the cycle starts at once unless told otherwise
        {"2x mode shows half the steps", Make(2, 14, smDiff2, 2), nullptr, 7, Make(2, 14, smDiff2, 5, 0)},
        {"none", Make(2, 4, smDiff, 2), [](QWidget* w) { Find<QRadioButton>(w, "rbSched0")->click(); }, 4,
         Make(0, 4, smNormal, 2, 1000)},
        {"daily to weekly starts a new cycle", Make(1, 7, smNormal, 5),
         [](QWidget* w) { Find<QRadioButton>(w, "rbSched2")->click(); }, 7, Make(2, 4, smNormal, 1, 1000)},
        {"daily differential from Wednesday, at once", Make(0, 0, smNormal),
         [](QWidget* w) {
             Find<QRadioButton>(w, "rbSched1")->click();
             Find<QRadioButton>(w, "rbMode1")->click();
             Find<QComboBox>(w, "cbFull")->setCurrentIndex(2);
             EXPECT_TRUE(Find<QGroupBox>(w, "gbStart")->isVisible());
             EXPECT_EQ(Find<QRadioButton>(w, "rbSched")->text(), "On next Wednesday");
             Find<QRadioButton>(w, "rbImmediate")->click();
         },
         1, Make(1, 7, smDiff, 5, 0, 2)},
        {"the second start button keeps the stored last step", Make(1, 7, smDiff, 5, 3, 2),
         [](QWidget* w) { Find<QRadioButton>(w, "rbSched")->click(); }, 7, Make(1, 7, smDiff, 5, 3, 2)},
        {"a mode while weekly locks 7 steps to today", Make(2, 4, smNormal, 2),
         [](QWidget* w) {
             Find<QRadioButton>(w, "rbMode2")->click();
             EXPECT_FALSE(Find<QSpinBox>(w, "reAktZyk")->isEnabled());
             EXPECT_EQ(Find<QSpinBox>(w, "reAktZyk")->value(), 5);
             Find<QRadioButton>(w, "rbSched")->click();
         },
         4, Make(2, 7, smIncr, 5, 5)},
        {"14 weekly steps store today", Make(2, 14, smNormal, 9), nullptr, 14, Make(2, 14, smNormal, 5, 5)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        TSchedule s = c.In;
        int shown = -1;
        WhenModal([&](QWidget* w) {
            ASSERT_NE(w, nullptr);
            shown = Find<QSpinBox>(w, "reZyklus")->value();
            if (c.Act)
                c.Act(w);
            Find<QPushButton>(w, "OKBtn")->click();
        });
        ASSERT_TRUE(EditAlternatingSchedule(s, 0));
        EXPECT_EQ(shown, c.Shown);
        EXPECT_EQ(s.StepMode, c.Out.StepMode);
        EXPECT_EQ(s.NumZyk, c.Out.NumZyk);
        EXPECT_EQ(s.SchedMode, c.Out.SchedMode);
        EXPECT_EQ(s.AktZyk, c.Out.AktZyk);
        EXPECT_EQ(s.LastZyk, c.Out.LastZyk);
        EXPECT_EQ(s.FullZyk, c.Out.FullZyk);
        EXPECT_EQ(s.WeekZyk, c.Out.LastZyk == 0 ? 0 : 3);
    }
    // Cancel leaves the record as it was
    TSchedule s = Make(2, 4, smDiff, 2);
    WhenModal([](QWidget* w) {
        Find<QRadioButton>(w, "rbSched1")->click();
        Find<QPushButton>(w, "CancelBtn")->click();
    });
    EXPECT_FALSE(EditAlternatingSchedule(s, 0));
    EXPECT_EQ(s.StepMode, 2);
    EXPECT_EQ(s.NumZyk, 4);
}

} // namespace
