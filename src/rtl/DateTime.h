#pragma once
// TDateTime: days since 1899-12-30 as a double, the fraction being the time of day.
// Values are local time unless a routine says UTC.

#include <array>
#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

using TDateTime = double;

constexpr int HoursPerDay = 24;
constexpr int MinsPerDay = 24 * 60;
constexpr int SecsPerDay = 24 * 60 * 60;
constexpr double MSecsPerDay = 86400000.0;
constexpr TDateTime UnixDateDelta = 25569.0;       // 1970-01-01
constexpr TDateTime FileTimeDateDelta = -109205.0; // 1601-01-01

// Locale conventions used by Format, FormatDateTime and the date and number parsers.
struct TFormatSettings
{
    char DecimalSeparator = '.';
    char ThousandSeparator = ',';
    char DateSeparator = '/';
    char TimeSeparator = ':';
    std::string ShortDateFormat = "dd/mm/yyyy";
    std::string LongDateFormat = "dddd, d mmmm yyyy";
    std::string ShortTimeFormat = "hh:nn";
    std::string LongTimeFormat = "hh:nn:ss";
    std::string TimeAMString = "AM";
    std::string TimePMString = "PM";
    std::array<std::string, 12> ShortMonthNames{"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::array<std::string, 12> LongMonthNames{"January",   "February", "March",    "April",
                                               "May",       "June",     "July",     "August",
                                               "September", "October",  "November", "December"};
    // Sunday first.
    std::array<std::string, 7> ShortDayNames{"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    std::array<std::string, 7> LongDayNames{"Sunday",   "Monday", "Tuesday", "Wednesday",
                                            "Thursday", "Friday", "Saturday"};
    // Two-digit years read by the date parser fall within this many years before the current year and
    // the rest of the century after it (0 = always the current century).
    int TwoDigitYearCenturyWindow = 50;

    // The conventions of a POSIX locale ("" = the environment's LC_TIME/LC_NUMERIC, "C" = defaults).
    static TFormatSettings FromLocale(const char* localeName);
};

// Program-wide conventions, initialised from the environment's locale at start-up.
TFormatSettings& FormatSettings();

bool IsLeapYear(int year);
int DaysInAMonth(int year, int month);

bool TryEncodeDate(int year, int month, int day, TDateTime& result);
bool TryEncodeTime(int hour, int min, int sec, int msec, TDateTime& result);
// Raise EConvertError on invalid values.
TDateTime EncodeDate(int year, int month, int day);
TDateTime EncodeTime(int hour, int min, int sec, int msec);
TDateTime EncodeDateTime(int year, int month, int day, int hour, int min, int sec, int msec);
void DecodeDate(TDateTime dt, int& year, int& month, int& day);
void DecodeTime(TDateTime dt, int& hour, int& min, int& sec, int& msec);
void DecodeDateTime(TDateTime dt, int& year, int& month, int& day, int& hour, int& min, int& sec, int& msec);

// Before 1899-12-30 the fraction is the time of day counted from the midnight of the (negative) day:
// -1.25 is 1899-12-29 06:00. The routines below decode and step on that understanding.
TDateTime DateOf(TDateTime dt);
TDateTime TimeOf(TDateTime dt); // the time of day, 0 <= result < 1
int YearOf(TDateTime dt);
int MonthOf(TDateTime dt);
int DayOf(TDateTime dt);
// 1 = Sunday … 7 = Saturday.
int DayOfWeek(TDateTime dt);
// ISO: 1 = Monday … 7 = Sunday.
int DayOfTheWeek(TDateTime dt);
// ISO 8601 week number; year receives the ISO week-numbering year.
int WeekOfTheYear(TDateTime dt, int& year);
int WeekOfTheYear(TDateTime dt);
int DayOfTheYear(TDateTime dt);
TDateTime IncMonth(TDateTime dt, int months);
TDateTime IncDay(TDateTime dt, double days);
TDateTime IncHour(TDateTime dt, int64_t hours);
TDateTime IncMinute(TDateTime dt, int64_t minutes);
TDateTime IncSecond(TDateTime dt, int64_t seconds);
TDateTime IncMilliSecond(TDateTime dt, int64_t milliseconds);
// Whole units between two times, never negative.
int64_t SecondsBetween(TDateTime a, TDateTime b);
int64_t MilliSecondsBetween(TDateTime a, TDateTime b);
int DaysBetween(TDateTime a, TDateTime b);
bool SameDateTime(TDateTime a, TDateTime b); // equal to the millisecond

// UTC conversions (no time zone involved). Conversions to Unix seconds drop fractions towards the
// past; FILETIME conversions keep milliseconds.
TDateTime UnixToDateTime(int64_t unixSeconds);
int64_t DateTimeToUnix(TDateTime utc);
// FILETIME: 100-ns ticks since 1601-01-01 UTC.
TDateTime FileTimeToDateTime(uint64_t ticks);
uint64_t DateTimeToFileTime(TDateTime utc);

// Local time with the offset in force at that date (historical daylight-saving rules). A local time
// in the hour repeated when clocks go back is read as standard time (the later instant); one in the
// hour skipped when clocks go forward is read with the offset before the change (02:30 becomes the
// instant shown as 03:30).
TDateTime UtcToLocal(TDateTime utc);
TDateTime LocalToUtc(TDateTime local);
TDateTime UnixToLocalDateTime(int64_t unixSeconds);
int64_t LocalDateTimeToUnix(TDateTime local);
// Seconds to add to UTC to get local time at the given UTC instant.
int64_t UtcOffsetSeconds(int64_t unixSeconds);

// DOS date and time (local): date in the high word, time (2-second steps) in the low word.
// Dates before 1980 give the smallest DOS date, dates after 2107 the largest; odd seconds and
// milliseconds are dropped.
uint32_t DateTimeToDosDateTime(TDateTime local);
bool TryDosDateTimeToDateTime(uint32_t dos, TDateTime& result);
TDateTime DosDateTimeToDateTime(uint32_t dos); // raises EConvertError on an invalid value

// Pascal FormatDateTime: d dd ddd dddd ddddd(short date) dddddd(long date) m mm mmm mmmm yy yyyy
// h hh n nn s ss z zzz t(short time) tt(long time) am/pm a/p ampm / : "text" 'text' c (short date,
// then the long time unless it is midnight; an empty pattern means c). Specifiers ignore case; m right
// after h is the minute; am/pm and a/p copy their letters from the pattern and make h a 12-hour clock.
std::string FormatDateTime(std::string_view fmt, TDateTime dt,
                           const TFormatSettings& settings = FormatSettings());
std::string DateToStr(TDateTime dt, const TFormatSettings& settings = FormatSettings());
std::string TimeToStr(TDateTime dt, const TFormatSettings& settings = FormatSettings());
std::string DateTimeToStr(TDateTime dt, const TFormatSettings& settings = FormatSettings());
// Reads a date in the order of settings.ShortDateFormat with settings.DateSeparator; without a year
// the current one, a two-digit year by settings.TwoDigitYearCenturyWindow. Times: h[:n[:s[.z]]] with
// settings.TimeSeparator and an optional AM/PM marker. A date and time are separated by a blank.
bool TryStrToDate(std::string_view s, TDateTime& result, const TFormatSettings& settings = FormatSettings());
bool TryStrToTime(std::string_view s, TDateTime& result, const TFormatSettings& settings = FormatSettings());
bool TryStrToDateTime(std::string_view s, TDateTime& result,
                      const TFormatSettings& settings = FormatSettings());
// Raise EConvertError on text that is no valid date or time.
TDateTime StrToDate(std::string_view s, const TFormatSettings& settings = FormatSettings());
TDateTime StrToTime(std::string_view s, const TFormatSettings& settings = FormatSettings());
TDateTime StrToDateTime(std::string_view s, const TFormatSettings& settings = FormatSettings());

// "Now" through the injectable clock (rtl/Clock.h).
TDateTime Now();
TDateTime Date();
TDateTime Time();
TDateTime NowUTC();
