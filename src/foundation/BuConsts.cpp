#include "foundation/BuConsts.h"

#include <langinfo.h>
#include <locale.h>

#include "rtl/Clock.h"
#include "rtl/SysUtils.h"

TQvSettings ProgSettings;
std::string SettingsDir;
std::string OldSettingsFile;
std::string SettingsFile;
std::string ProgTempDir;
std::string ActiveTempDir;
std::string PersonalDir;
std::string YearText;
std::string ActiveTaskDir;
std::string DefaultLogFile;
std::string CurrentUser;
int32_t ErrorCount = 0;
int32_t StartOrigin = 0;
int32_t ErrorState = 0;
bool ScreenReaderActive = false;
bool EventSourceOk = false;
bool TaskSchedulerOk = false;
bool ProcessIsNative64 = false;

std::string DateDisplayFormat = "yyyy-mm-dd";
std::string TimeDisplayFormat = "hh:nn";
std::string DatePickerFormat = "yyyy-MM-dd";
std::string TimePickerFormat = "HH:mm";

const std::array<const char*, 5> StartOriginCodes = {"", "WS", "OR", "QS", "QP"};
const std::array<const char*, 10> ProgramPlaceholders = {
    "%taskname%", "%dest%",     "%zipname%",  "%sysdir%",  "%taskdir%",
    "%progpath%", "%username%", "%password%", "%logfile%", "%status%"};
const std::array<const char*, 10> LogPlaceholders = {"%date%",  "%time%",     "%yaw%",          "%yam%",
                                                     "%year%",  "%username%", "%computername%", "%dest%",
                                                     "%drive%", "%volume%"};

namespace {

// Length of the UTF-8 sequence that starts with byte b (1 for a stray byte).
size_t SequenceLength(unsigned char b)
{
    if (b >= 0xF0 && b < 0xF8)
        return 4;
    if (b >= 0xE0)
        return b < 0xF0 ? 3 : 1;
    if (b >= 0xC0)
        return 2;
    return 1;
}

// The 24-hour flag and the short-date order of a time format and a date format of strftime.
void ReadLocaleItems(const char* timeFmt, const char* dateFmt, bool& hour24, int& dateOrder)
{
    hour24 = true;
    for (const char* p = timeFmt; *p; ++p)
        if (*p == '%' && p[1]) {
            ++p;
            if (*p == 'I' || *p == 'l' || *p == 'r' || *p == 'p' || *p == 'P')
                hour24 = false;
        }
    int day = -1, month = -1, year = -1, pos = 0;
    for (const char* p = dateFmt; *p; ++p)
        if (*p == '%' && p[1]) {
            ++p;
            while (*p == 'E' || *p == 'O' || *p == '-' || *p == '_' || *p == '0')
                ++p;
            if ((*p == 'd' || *p == 'e') && day < 0)
                day = pos++;
            else if ((*p == 'm' || *p == 'b' || *p == 'B' || *p == 'h') && month < 0)
                month = pos++;
            else if ((*p == 'y' || *p == 'Y' || *p == 'C') && year < 0)
                year = pos++;
            else if (*p == 'F' || *p == 'D') {
                // %F is year-month-day, %D month/day/year.
                if (*p == 'F')
                    year = pos++, month = pos++, day = pos++;
                else
                    month = pos++, day = pos++, year = pos++;
            }
            if (!*p)
                break;
        }
    if (year >= 0 && (month < 0 || year < month) && (day < 0 || year < day))
        dateOrder = 2;
    else if (month >= 0 && day >= 0 && month < day)
        dateOrder = 0;
    else if (month >= 0 && day >= 0)
        dateOrder = 1;
    else
        dateOrder = 2;
}

} // namespace

void SetBDateSeparator(TSecSettings& settings)
{
    settings.BDateSeparator.clear();
    const std::string& suffix = settings.FileSuffix;
    static const char placeholder[] = "%bdate%";
    const size_t n = sizeof(placeholder) - 1;
    for (size_t i = 0; i + n <= suffix.size(); ++i) {
        bool match = true;
        for (size_t k = 0; k < n && match; ++k) {
            char c = suffix[i + k];
            if (c >= 'A' && c <= 'Z')
                c = static_cast<char>(c - 'A' + 'a');
            match = c == placeholder[k];
        }
        if (!match)
            continue;
        size_t sep = i + n;
        if (sep >= suffix.size())
            return;
        size_t len = SequenceLength(static_cast<unsigned char>(suffix[sep]));
        if (sep + len > suffix.size())
            len = 1;
        if (sep + len < suffix.size()) // one more character must follow the separator
            settings.BDateSeparator = suffix.substr(sep, len);
        return;
    }
}

void ApplyDateTimeFormats(bool hour24, int dateOrder)
{
    if (hour24) {
        TimePickerFormat = "HH:mm";
        TimeDisplayFormat = "hh:nn";
    } else {
        TimePickerFormat = "hh:mm tt";
        TimeDisplayFormat = "hh:nn am/pm";
    }
    DatePickerFormat = dateOrder == 0 ? "MM/dd/yyyy" : dateOrder == 1 ? "dd.MM.yyyy" : "yyyy-MM-dd";
    DateDisplayFormat = DatePickerFormat;
}

void InitDateTimeFormats()
{
    bool hour24 = true;
    int dateOrder = 2;
    locale_t loc = ::newlocale(LC_TIME_MASK, "", nullptr);
    if (!loc)
        loc = ::newlocale(LC_TIME_MASK, "C", nullptr);
    if (loc) {
        ReadLocaleItems(::nl_langinfo_l(T_FMT, loc), ::nl_langinfo_l(D_FMT, loc), hour24, dateOrder);
        ::freelocale(loc);
    }
    ApplyDateTimeFormats(hour24, dateOrder);
}

std::string GetLongDayName(int day)
{
    if (day < 1 || day > 7)
        return {};
    return FormatSettings().LongDayNames[static_cast<size_t>(day % 7)];
}

std::string GetShortDayName(int day)
{
    if (day < 1 || day > 7)
        return {};
    return FormatSettings().ShortDayNames[static_cast<size_t>(day % 7)];
}

void InitBuConsts()
{
    ProcessIsNative64 = sizeof(void*) == 8;
    YearText = SafeFormat("2002-%u ", {static_cast<unsigned>(YearOf(Clock::Current().NowLocal()))});
    TaskSchedulerOk = false;
    StartOrigin = 0;
    ErrorState = 0;
    ErrorCount = 0;
}
