#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <tuple>

#include <gtest/gtest.h>
#ifdef __SANITIZE_ADDRESS__
#include <sanitizer/lsan_interface.h>
#endif

#include "rtl/Clock.h"
#include "rtl/DateTime.h"
#include "rtl/SysUtils.h"
#include "support/Sandbox.h"

namespace {

struct YmdHms
{
    int y, mo, d, h, mi, s, ms;
};

YmdHms Decoded(TDateTime dt)
{
    YmdHms r{};
    DecodeDateTime(dt, r.y, r.mo, r.d, r.h, r.mi, r.s, r.ms);
    return r;
}

std::string Iso(TDateTime dt)
{
    return FormatDateTime("yyyy-mm-dd hh:nn:ss.zzz", dt, TFormatSettings::FromLocale("C"));
}

// A fixed clock for "now" and "today".
class FixedClock : public Clock
{
public:
    explicit FixedClock(TDateTime utc) : FUtc(utc) {}
    TDateTime NowUtc() const override { return FUtc; }
    uint64_t TickCount() const override { return 1234; }

private:
    TDateTime FUtc;
};

class ClockGuard
{
public:
    explicit ClockGuard(const Clock& clock) { Clock::SetCurrent(&clock); }
    ~ClockGuard() { Clock::SetCurrent(nullptr); }
};

// Sets TZ for the scope of a test and restores it afterwards.
class TimeZoneGuard
{
public:
    explicit TimeZoneGuard(const char* zone)
    {
        if (const char* old = getenv("TZ"))
            FSaved = old;
        setenv("TZ", zone, 1);
        tzset();
    }
    ~TimeZoneGuard()
    {
        if (FSaved)
            setenv("TZ", FSaved->c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

private:
    std::optional<std::string> FSaved;
};

TEST(DateTime, EncodesDaysSinceTheEndOf1899)
{
    const struct
    {
        int y, m, d;
        double expected;
    } cases[] = {
        {1899, 12, 30, 0},      {1900, 1, 1, 2},      {1970, 1, 1, 25569},
        {2000, 2, 29, 36585},   {2024, 2, 29, 45351}, {1800, 1, 1, -36522},
        {1600, 2, 29, -109512}, {1, 1, 1, -693593},   {9999, 12, 31, 2958465},
    };
    for (const auto& c : cases) {
        const TDateTime dt = EncodeDate(c.y, c.m, c.d);
        EXPECT_EQ(dt, c.expected) << c.y << "-" << c.m << "-" << c.d;
        const YmdHms back = Decoded(dt);
        EXPECT_EQ(back.y, c.y);
        EXPECT_EQ(back.mo, c.m);
        EXPECT_EQ(back.d, c.d);
    }
}

TEST(DateTime, RejectsInvalidDatesAndTimes)
{
    TDateTime dt = 0;
    EXPECT_FALSE(TryEncodeDate(1900, 2, 29, dt));
    EXPECT_FALSE(TryEncodeDate(2023, 2, 29, dt));
    EXPECT_FALSE(TryEncodeDate(2024, 4, 31, dt));
    EXPECT_FALSE(TryEncodeDate(2024, 13, 1, dt));
    EXPECT_FALSE(TryEncodeDate(0, 1, 1, dt));
    EXPECT_FALSE(TryEncodeDate(10000, 1, 1, dt));
    EXPECT_FALSE(TryEncodeTime(24, 0, 0, 0, dt));
    EXPECT_FALSE(TryEncodeTime(0, 60, 0, 0, dt));
    EXPECT_FALSE(TryEncodeTime(0, 0, 0, 1000, dt));
    EXPECT_THROW(EncodeDate(2023, 2, 29), EConvertError);
    EXPECT_THROW(EncodeTime(-1, 0, 0, 0), EConvertError);
    EXPECT_TRUE(TryEncodeTime(23, 59, 59, 999, dt));
    EXPECT_EQ(Iso(dt), "1899-12-30 23:59:59.999");
}

TEST(DateTime, RoundTripsDateAndTimeIncludingDaysBefore1899)
{
    const YmdHms cases[] = {
        {2024, 2, 29, 23, 59, 59, 999}, {1899, 12, 30, 12, 0, 0, 0}, {1899, 12, 29, 6, 0, 0, 0},
        {1800, 1, 1, 18, 30, 15, 250},  {1, 1, 1, 0, 0, 0, 1},       {9999, 12, 31, 23, 59, 59, 999},
        {1970, 1, 1, 0, 0, 0, 0},
    };
    for (const auto& c : cases) {
        const TDateTime dt = EncodeDateTime(c.y, c.mo, c.d, c.h, c.mi, c.s, c.ms);
        const YmdHms r = Decoded(dt);
        EXPECT_EQ(std::tie(r.y, r.mo, r.d, r.h, r.mi, r.s, r.ms),
                  std::tie(c.y, c.mo, c.d, c.h, c.mi, c.s, c.ms))
            << dt;
    }
    // Before 1899-12-30 the fraction is the time of day, not an offset towards the previous day.
    EXPECT_EQ(EncodeDateTime(1899, 12, 29, 6, 0, 0, 0), -1.25);
    EXPECT_EQ(Iso(-1.25), "1899-12-29 06:00:00.000");
    EXPECT_EQ(Iso(-0.5), "1899-12-30 12:00:00.000");
    EXPECT_EQ(DateOf(-1.25), -1.0);
    EXPECT_EQ(TimeOf(-1.25), 0.25);
    EXPECT_EQ(DayOfWeek(-1.25), 6); // a Friday
    EXPECT_EQ(DayOfWeek(0), 7);     // a Saturday
    EXPECT_EQ(DayOfTheWeek(0), 6);
}

TEST(DateTime, CountsIsoWeeksAtYearEnds)
{
    const struct
    {
        int y, m, d, week, weekYear;
    } cases[] = {
        {2020, 12, 31, 53, 2020}, {2021, 1, 3, 53, 2020}, {2021, 1, 4, 1, 2021},  {2024, 12, 30, 1, 2025},
        {2026, 1, 1, 1, 2026},    {2027, 1, 1, 53, 2026}, {2005, 1, 1, 53, 2004}, {2024, 6, 15, 24, 2024},
    };
    for (const auto& c : cases) {
        int weekYear = 0;
        EXPECT_EQ(WeekOfTheYear(EncodeDate(c.y, c.m, c.d), weekYear), c.week)
            << c.y << "-" << c.m << "-" << c.d;
        EXPECT_EQ(weekYear, c.weekYear);
    }
    EXPECT_EQ(DayOfTheYear(EncodeDate(2024, 12, 31)), 366);
    EXPECT_EQ(DayOfTheYear(EncodeDate(2023, 3, 1)), 60);
}

TEST(DateTime, IncMonthClampsToTheEndOfTheMonthAndKeepsTheTime)
{
    const struct
    {
        YmdHms from;
        int months;
        const char* expected;
    } cases[] = {
        {{2023, 1, 31, 10, 0, 0, 0}, 1, "2023-02-28 10:00:00.000"},
        {{2024, 1, 31, 10, 0, 0, 0}, 1, "2024-02-29 10:00:00.000"},
        {{2024, 3, 31, 0, 0, 0, 0}, -1, "2024-02-29 00:00:00.000"},
        {{2023, 12, 31, 8, 0, 0, 0}, 2, "2024-02-29 08:00:00.000"},
        {{2024, 1, 15, 0, 0, 0, 0}, -13, "2022-12-15 00:00:00.000"},
        {{1900, 1, 10, 6, 0, 0, 0}, -1, "1899-12-10 06:00:00.000"},
    };
    for (const auto& c : cases) {
        const auto& f = c.from;
        EXPECT_EQ(Iso(IncMonth(EncodeDateTime(f.y, f.mo, f.d, f.h, f.mi, f.s, f.ms), c.months)), c.expected);
    }
}

TEST(DateTime, StepsAndDistancesCrossTheEpochContinuously)
{
    const TDateTime twoAm = EncodeDateTime(1899, 12, 30, 2, 0, 0, 0);
    EXPECT_EQ(Iso(IncHour(twoAm, -4)), "1899-12-29 22:00:00.000");
    EXPECT_EQ(Iso(IncMinute(twoAm, -121)), "1899-12-29 23:59:00.000");
    EXPECT_EQ(Iso(IncSecond(EncodeDateTime(2024, 12, 31, 23, 59, 59, 0), 1)), "2025-01-01 00:00:00.000");
    EXPECT_EQ(Iso(IncDay(EncodeDate(2024, 2, 28), 1.5)), "2024-02-29 12:00:00.000");
    EXPECT_EQ(Iso(IncMilliSecond(0, -1)), "1899-12-29 23:59:59.999");
    EXPECT_EQ(SecondsBetween(twoAm, IncHour(twoAm, -4)), 4 * 3600);
    EXPECT_EQ(MilliSecondsBetween(EncodeTime(0, 0, 1, 500), 0), 1500);
    EXPECT_EQ(DaysBetween(EncodeDate(2024, 3, 1), EncodeDateTime(2024, 2, 28, 12, 0, 0, 0)), 1);
    EXPECT_TRUE(SameDateTime(EncodeTime(1, 2, 3, 4), EncodeTime(1, 2, 3, 4) + 1e-10));
    EXPECT_FALSE(SameDateTime(EncodeTime(1, 2, 3, 4), EncodeTime(1, 2, 3, 5)));
}

TEST(DateTime, ConvertsUnixTimeAndFileTime)
{
    const struct
    {
        int64_t unix;
        const char* iso;
    } cases[] = {
        {0, "1970-01-01 00:00:00.000"},
        {86399, "1970-01-01 23:59:59.000"},
        {-1, "1969-12-31 23:59:59.000"},
        {2147483648LL, "2038-01-19 03:14:08.000"},
        {-2209161600LL - 86400 + 43200, "1899-12-29 12:00:00.000"},
        {253402300799LL, "9999-12-31 23:59:59.000"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Iso(UnixToDateTime(c.unix)), c.iso);
        EXPECT_EQ(DateTimeToUnix(UnixToDateTime(c.unix)), c.unix);
    }
    // Fractions of a second are dropped towards the past.
    EXPECT_EQ(DateTimeToUnix(EncodeDateTime(1969, 12, 31, 23, 59, 59, 500)), -1);
    EXPECT_EQ(DateTimeToUnix(EncodeDateTime(1970, 1, 1, 0, 0, 1, 999)), 1);

    EXPECT_EQ(Iso(FileTimeToDateTime(0)), "1601-01-01 00:00:00.000");
    EXPECT_EQ(Iso(FileTimeToDateTime(116444736000000000ULL)), "1970-01-01 00:00:00.000");
    EXPECT_EQ(Iso(FileTimeToDateTime(116444736000009999ULL)), "1970-01-01 00:00:00.000");
    EXPECT_EQ(DateTimeToFileTime(EncodeDateTime(1970, 1, 1, 0, 0, 0, 1)), 116444736000010000ULL);
    EXPECT_EQ(DateTimeToFileTime(EncodeDate(1600, 12, 31)), 0u);
    const TDateTime dt = EncodeDateTime(2024, 2, 29, 13, 14, 15, 678);
    EXPECT_EQ(Iso(FileTimeToDateTime(DateTimeToFileTime(dt))), "2024-02-29 13:14:15.678");
}

TEST(DateTime, PacksDosDateAndTime)
{
    const TDateTime dt = EncodeDateTime(2024, 6, 15, 13, 45, 31, 900);
    const uint32_t expected = ((44u << 9 | 6u << 5 | 15u) << 16) | (13u << 11 | 45u << 5 | 15u);
    EXPECT_EQ(DateTimeToDosDateTime(dt), expected);
    EXPECT_EQ(Iso(DosDateTimeToDateTime(expected)), "2024-06-15 13:45:30.000");
    EXPECT_EQ(DateTimeToDosDateTime(EncodeDateTime(1979, 12, 31, 23, 59, 59, 0)), 0x00210000u);
    EXPECT_EQ(Iso(DosDateTimeToDateTime(0x00210000u)), "1980-01-01 00:00:00.000");

    TDateTime out = 0;
    EXPECT_FALSE(TryDosDateTimeToDateTime(0, out));                                    // month 0
    EXPECT_FALSE(TryDosDateTimeToDateTime(((44u << 9 | 2u << 5 | 30u) << 16), out));   // Feb 30
    EXPECT_FALSE(TryDosDateTimeToDateTime(0x00210000u | (12u << 11 | 60u << 5), out)); // minute 60
    EXPECT_FALSE(TryDosDateTimeToDateTime(0x00210000u | 30u, out));                    // second 60
    EXPECT_THROW(DosDateTimeToDateTime(0), EConvertError);
}

TEST(DateTime, FormatsPatterns)
{
    const TFormatSettings fs = TFormatSettings::FromLocale("C");
    TFormatSettings dots = fs;
    dots.DateSeparator = '.';
    dots.TimeSeparator = '.';
    const TDateTime morning = EncodeDateTime(2024, 3, 5, 7, 8, 9, 12);
    const TDateTime evening = EncodeDateTime(2024, 3, 5, 19, 8, 9, 0);
    const TDateTime midnight = EncodeDateTime(2024, 3, 5, 0, 30, 0, 0);
    const struct
    {
        const char* pattern;
        TDateTime dt;
        const TFormatSettings* settings;
        const char* expected;
    } cases[] = {
        {"yyyy-mm-dd hh:nn:ss.zzz", morning, &fs, "2024-03-05 07:08:09.012"},
        {"d/m/yy", morning, &fs, "5/3/24"},
        {"d/m/yy h:n:s.z", morning, &dots, "5.3.24 7.8.9.12"},
        {"ddd dddd mmm mmmm", morning, &fs, "Tue Tuesday Mar March"},
        {"hh:mm", morning, &fs, "07:08"},
        {"mm/dd hh:mm", morning, &fs, "03/05 07:08"},
        {"h:nn am/pm", morning, &fs, "7:08 am"},
        {"h:nn am/pm", evening, &fs, "7:08 pm"},
        {"hh AM/PM", midnight, &fs, "12 AM"},
        {"h a/p", evening, &fs, "7 p"},
        {"h ampm", evening, &fs, "7 PM"},
        {"yyyy \"year\" 'mm' x", morning, &fs, "2024 year mm x"},
        {"ddddd", morning, &fs, "05/03/2024"},
        {"dddddd", morning, &fs, "Tuesday, 5 March 2024"},
        {"t|tt", morning, &fs, "07:08|07:08:09"},
        {"c", morning, &fs, "05/03/2024 07:08:09"},
        {"c", EncodeDate(2024, 3, 5), &fs, "05/03/2024"},
        {"ddddd", morning, &dots, "05.03.2024"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FormatDateTime(c.pattern, c.dt, *c.settings), c.expected) << c.pattern;
    EXPECT_EQ(DateTimeToStr(morning, fs), "05/03/2024 07:08:09");
    EXPECT_EQ(DateToStr(morning, fs), "05/03/2024");
    EXPECT_EQ(TimeToStr(evening, fs), "19:08:09");
}

TEST(DateTime, ParsesDatesInTheOrderOfTheSettings)
{
    FixedClock clock(EncodeDateTime(2025, 6, 1, 12, 0, 0, 0));
    ClockGuard guard(clock);
    TFormatSettings german;
    german.DateSeparator = '.';
    german.ShortDateFormat = "dd.mm.yyyy";
    TFormatSettings us;
    us.DateSeparator = '/';
    us.ShortDateFormat = "mm/dd/yyyy";
    const struct
    {
        const char* text;
        const TFormatSettings* settings;
        const char* expected; // nullptr = rejected
    } cases[] = {
        {"31.12.2024", &german, "2024-12-31 00:00:00.000"},
        {" 1.2.24 ", &german, "2024-02-01 00:00:00.000"},
        {"1.2.76", &german, "1976-02-01 00:00:00.000"},
        {"1.2.74", &german, "2074-02-01 00:00:00.000"},
        {"24.12", &german, "2025-12-24 00:00:00.000"},
        {"30.02.2024", &german, nullptr},
        {"1.2.2024x", &german, nullptr},
        {"12/31/2024", &german, nullptr},
        {"abc", &german, nullptr},
        {"", &german, nullptr},
        {"12/31/2024", &us, "2024-12-31 00:00:00.000"},
        {"31/12/2024", &us, nullptr},
    };
    for (const auto& c : cases) {
        TDateTime dt = -1;
        const bool ok = TryStrToDate(c.text, dt, *c.settings);
        EXPECT_EQ(ok, c.expected != nullptr) << c.text;
        if (ok && c.expected != nullptr) {
            EXPECT_EQ(Iso(dt), c.expected) << c.text;
        }
    }
    EXPECT_THROW(StrToDate("31.12.2024", us), EConvertError);
}

TEST(DateTime, ParsesTimesAndDateTimes)
{
    TFormatSettings german;
    german.DateSeparator = '.';
    german.ShortDateFormat = "dd.mm.yyyy";
    const struct
    {
        const char* text;
        const char* expected;
    } times[] = {
        {"13:45", "1899-12-30 13:45:00.000"},
        {"1:45 PM", "1899-12-30 13:45:00.000"},
        {"12:05 am", "1899-12-30 00:05:00.000"},
        {"13:45:30.5", "1899-12-30 13:45:30.500"},
        {"7 pm", "1899-12-30 19:00:00.000"},
        {"25:00", nullptr},
        {"13:45 PM", nullptr},
        {"7", nullptr},
        {"12:", nullptr},
    };
    for (const auto& c : times) {
        TDateTime dt = -1;
        const bool ok = TryStrToTime(c.text, dt, german);
        EXPECT_EQ(ok, c.expected != nullptr) << c.text;
        if (ok && c.expected != nullptr) {
            EXPECT_EQ(Iso(dt), c.expected) << c.text;
        }
    }
    TDateTime dt = 0;
    ASSERT_TRUE(TryStrToDateTime("31.12.2024 23:59:58", dt, german));
    EXPECT_EQ(Iso(dt), "2024-12-31 23:59:58.000");
    ASSERT_TRUE(TryStrToDateTime("29.12.1899 06:00", dt, german));
    EXPECT_EQ(dt, -1.25);
    ASSERT_TRUE(TryStrToDateTime("08:15", dt, german));
    EXPECT_EQ(Iso(dt), "1899-12-30 08:15:00.000");
    EXPECT_FALSE(TryStrToDateTime("31.12.2024 24:00", dt, german));
    EXPECT_THROW(StrToDateTime("31.12.2024 24:00", german), EConvertError);
    EXPECT_THROW(StrToTime("7", german), EConvertError);
    EXPECT_EQ(StrToTime("7 pm", german), EncodeTime(19, 0, 0, 0));
}

TEST(FormatSettings, CLocaleGivesTheDefaults)
{
    for (const char* name : {"C", "POSIX", "C.UTF-8", "xx_NOWHERE.UTF-8"}) {
        const TFormatSettings fs = TFormatSettings::FromLocale(name);
        EXPECT_EQ(fs.DateSeparator, '/') << name;
        EXPECT_EQ(fs.TimeSeparator, ':');
        EXPECT_EQ(fs.DecimalSeparator, '.');
        EXPECT_EQ(fs.ThousandSeparator, ',');
        EXPECT_EQ(fs.ShortDateFormat, "dd/mm/yyyy");
        EXPECT_EQ(fs.LongTimeFormat, "hh:nn:ss");
        EXPECT_EQ(fs.LongMonthNames[0], "January");
        EXPECT_EQ(fs.ShortDayNames[0], "Sun");
    }
    // The test environment runs under C.UTF-8.
    EXPECT_EQ(FormatSettings().ShortDateFormat, "dd/mm/yyyy");
}

class FormatSettingsLocale : public SandboxTest
{
};

TEST_F(FormatSettingsLocale, ReadsDateOrderNamesAndSeparatorsOfARealLocale)
{
    // Only the categories read here are compiled: the full locale takes much longer.
    const std::string dir = sandbox.Path("locales");
    const std::string source = sandbox.Path("de_TIME");
    std::ofstream(source)
        << "LC_TIME\ncopy \"de_DE\"\nEND LC_TIME\nLC_NUMERIC\ncopy \"de_DE\"\nEND LC_NUMERIC\n";
    const std::string command = "mkdir -p '" + dir + "' && localedef -c -i '" + source + "' -f UTF-8 '" +
                                dir + "/de_DE.UTF-8' >/dev/null 2>&1";
    std::system(command.c_str()); // reports the categories left out
    if (!std::filesystem::exists(dir + "/de_DE.UTF-8/LC_TIME"))
        GTEST_SKIP() << "localedef cannot build de_DE here";
    const char* oldLocPath = getenv("LOCPATH");
    const std::optional<std::string> saved =
        oldLocPath ? std::optional<std::string>(oldLocPath) : std::nullopt;
    setenv("LOCPATH", dir.c_str(), 1);
#ifdef __SANITIZE_ADDRESS__
    __lsan_disable(); // glibc keeps the parsed LOCPATH of newlocale for good
#endif
    const TFormatSettings fs = TFormatSettings::FromLocale("de_DE.UTF-8");
#ifdef __SANITIZE_ADDRESS__
    __lsan_enable();
#endif
    if (saved)
        setenv("LOCPATH", saved->c_str(), 1);
    else
        unsetenv("LOCPATH");

    EXPECT_EQ(fs.DateSeparator, '.');
    EXPECT_EQ(fs.ShortDateFormat, "dd.mm.yyyy");
    EXPECT_EQ(fs.TimeSeparator, ':');
    EXPECT_EQ(fs.LongTimeFormat, "hh:nn:ss");
    EXPECT_EQ(fs.ShortTimeFormat, "hh:nn");
    EXPECT_EQ(fs.DecimalSeparator, ',');
    EXPECT_EQ(fs.ThousandSeparator, '.');
    EXPECT_EQ(fs.LongMonthNames[2], "März");
    EXPECT_EQ(fs.LongDayNames[0], "Sonntag");
    TDateTime dt = 0;
    ASSERT_TRUE(TryStrToDate("05.03.2024", dt, fs));
    EXPECT_EQ(FormatDateTime("ddddd dddd", dt, fs), "05.03.2024 Dienstag");
}

TEST(LocalTime, UsesTheHistoricalOffsetOfTheDate)
{
    TimeZoneGuard zone("Europe/Berlin");
    const struct
    {
        YmdHms utc;
        const char* local;
        int64_t offset;
    } cases[] = {
        {{2024, 1, 15, 12, 0, 0, 0}, "2024-01-15 13:00:00.000", 3600},
        {{2024, 7, 15, 12, 0, 0, 0}, "2024-07-15 14:00:00.000", 7200},
        {{1975, 7, 15, 12, 0, 0, 0}, "1975-07-15 13:00:00.000", 3600}, // no daylight saving then
        {{2024, 3, 31, 0, 59, 59, 0}, "2024-03-31 01:59:59.000", 3600},
        {{2024, 3, 31, 1, 0, 0, 0}, "2024-03-31 03:00:00.000", 7200},
        {{2024, 10, 27, 0, 30, 0, 0}, "2024-10-27 02:30:00.000", 7200},
        {{2024, 10, 27, 1, 30, 0, 0}, "2024-10-27 02:30:00.000", 3600},
    };
    for (const auto& c : cases) {
        const auto& u = c.utc;
        const TDateTime utc = EncodeDateTime(u.y, u.mo, u.d, u.h, u.mi, u.s, u.ms);
        EXPECT_EQ(Iso(UtcToLocal(utc)), c.local);
        EXPECT_EQ(UtcOffsetSeconds(DateTimeToUnix(utc)), c.offset) << c.local;
        EXPECT_EQ(Iso(UnixToLocalDateTime(DateTimeToUnix(utc))), c.local);
    }
    // Local to UTC: winter, summer, the skipped hour (read as the hour after the change) and the
    // repeated hour (read as standard time).
    const struct
    {
        YmdHms local;
        const char* utc;
    } back[] = {
        {{2024, 1, 15, 13, 0, 0, 250}, "2024-01-15 12:00:00.250"},
        {{2024, 7, 15, 14, 0, 0, 0}, "2024-07-15 12:00:00.000"},
        {{2024, 3, 31, 2, 30, 0, 0}, "2024-03-31 01:30:00.000"},
        {{2024, 10, 27, 2, 30, 0, 0}, "2024-10-27 01:30:00.000"},
        {{2024, 10, 27, 1, 59, 0, 0}, "2024-10-26 23:59:00.000"},
        {{2024, 10, 27, 3, 0, 0, 0}, "2024-10-27 02:00:00.000"},
    };
    for (const auto& c : back) {
        const auto& l = c.local;
        const TDateTime local = EncodeDateTime(l.y, l.mo, l.d, l.h, l.mi, l.s, l.ms);
        EXPECT_EQ(Iso(LocalToUtc(local)), c.utc);
        EXPECT_EQ(LocalDateTimeToUnix(local), DateTimeToUnix(LocalToUtc(local)));
    }
}

TEST(Clock, AnInjectedClockDecidesNowAndToday)
{
    TimeZoneGuard zone("Europe/Berlin");
    FixedClock clock(EncodeDateTime(2024, 7, 15, 23, 30, 0, 0));
    {
        ClockGuard guard(clock);
        EXPECT_EQ(Iso(NowUTC()), "2024-07-15 23:30:00.000");
        EXPECT_EQ(Iso(Now()), "2024-07-16 01:30:00.000");
        EXPECT_EQ(Iso(Date()), "2024-07-16 00:00:00.000");
        EXPECT_EQ(Iso(Time()), "1899-12-30 01:30:00.000");
        EXPECT_EQ(GetTickCount64(), 1234u);
    }
    // The system clock is back: it agrees with time() and its tick count never goes back.
    EXPECT_LE(std::llabs(DateTimeToUnix(NowUTC()) - static_cast<int64_t>(std::time(nullptr))), 5);
    const uint64_t first = GetTickCount64();
    EXPECT_GE(GetTickCount64(), first);
}

} // namespace
