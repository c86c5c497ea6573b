#include <cstdlib>
#include <gtest/gtest.h>

#include "foundation/BuConsts.h"
#include "rtl/Clock.h"

TEST(BuConsts, BDateSeparatorNeedsACharacterAfterIt)
{
    struct Case
    {
        const char* suffix;
        const char* separator;
    };
    const Case cases[] = {
        {"_%bdate%", ""},
        {"%bdate%-x", "-"},
        {"_%BDATE%-x", "-"},
        {"%bdate%-", ""},
        {"%BDate%_%time%", "_"},
        {"", ""},
        {"%bdate", ""},
        {"%bdate%\xE2\x80\x93x", "\xE2\x80\x93"},
        {"%bdate%\xE2\x80\x93", ""},
        {"a%bdate%.b%bdate%", "."},
    };
    for (const Case& c : cases) {
        TSecSettings s;
        s.FileSuffix = c.suffix;
        s.BDateSeparator = "?";
        SetBDateSeparator(s);
        EXPECT_EQ(s.BDateSeparator, c.separator) << c.suffix;
    }
}

TEST(BuConsts, DisplayFormatsFollowTheLocaleClockAndDateOrder)
{
    ApplyDateTimeFormats(false, 1);
    EXPECT_EQ(TimePickerFormat, "hh:mm tt");
    EXPECT_EQ(TimeDisplayFormat, "hh:nn am/pm");
    EXPECT_EQ(DatePickerFormat, "dd.MM.yyyy");
    EXPECT_EQ(DateDisplayFormat, "dd.MM.yyyy");
    ApplyDateTimeFormats(true, 0);
    EXPECT_EQ(TimePickerFormat, "HH:mm");
    EXPECT_EQ(TimeDisplayFormat, "hh:nn");
    EXPECT_EQ(DatePickerFormat, "MM/dd/yyyy");
    ApplyDateTimeFormats(true, 7);
    EXPECT_EQ(DateDisplayFormat, "yyyy-MM-dd");

    // The C locale has a 24-hour clock and month/day/year dates.
    const char* saved = std::getenv("LC_ALL");
    std::string keep = saved ? saved : "";
    ::setenv("LC_ALL", "C", 1);
    InitDateTimeFormats();
    saved ? (void)::setenv("LC_ALL", keep.c_str(), 1) : (void)::unsetenv("LC_ALL");
    EXPECT_EQ(TimePickerFormat, "HH:mm");
    EXPECT_EQ(DatePickerFormat, "MM/dd/yyyy");
    EXPECT_EQ(DateDisplayFormat, "MM/dd/yyyy");
}

TEST(BuConsts, DayNamesCountFromMonday)
{
    EXPECT_EQ(GetLongDayName(7), FormatSettings().LongDayNames[0]);
    EXPECT_EQ(GetLongDayName(1), FormatSettings().LongDayNames[1]);
    EXPECT_EQ(GetShortDayName(1), FormatSettings().ShortDayNames[1]);
    EXPECT_EQ(GetShortDayName(6), FormatSettings().ShortDayNames[6]);
    EXPECT_EQ(GetShortDayName(0), "");
}

TEST(BuConsts, InteractionModesAreClassified)
{
    const std::pair<TInteraction, std::pair<bool, bool>> table[] = {
        {iaPrompt, {false, true}},      {iaDelay, {false, false}},    {iaQuiet, {true, false}},
        {iaErrorPrompt, {false, true}}, {iaQuietError, {true, true}}, {iaNone, {false, false}},
    };
    for (const auto& [mode, expected] : table) {
        EXPECT_EQ(IsQuietMode(mode), expected.first) << mode;
        EXPECT_EQ(IsErrorPromptMode(mode), expected.second) << mode;
    }
}

TEST(BuConsts, StartUpSetsTheYearTextAndResetsTheState)
{
    struct FixedClock : Clock
    {
        TDateTime NowUtc() const override { return EncodeDate(2031, 6, 15); }
        TDateTime NowLocal() const override { return EncodeDate(2031, 6, 15); }
    } clock;
    Clock::SetCurrent(&clock);
    ErrorState = 4;
    StartOrigin = 3;
    ErrorCount = 2;
    TaskSchedulerOk = true;
    InitBuConsts();
    Clock::SetCurrent(nullptr);
    EXPECT_EQ(YearText, "2002-2031 ");
    EXPECT_EQ(ErrorState, 0);
    EXPECT_EQ(StartOrigin, 0);
    EXPECT_EQ(ErrorCount, 0);
    EXPECT_FALSE(TaskSchedulerOk);
    EXPECT_EQ(ProcessIsNative64, sizeof(void*) == 8);
}
