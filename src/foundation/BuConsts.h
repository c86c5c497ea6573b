#pragma once
// The data the whole suite shares: program settings, security-copy, schedule, date-selection and
// window-position records, status and mode enumerations, and the process-wide variables that the main
// program fills at start-up.
//
// Enumeration values keep their declaration order: settings and task files store their ordinals.
// Sets over an enumeration are bit sets with bit (1 << value).

#include <array>
#include <cstdint>
#include <string>

#include "rtl/DateTime.h"

enum TSecDirMode : int
{
    sdNone,
    sdSubDir,
    sdSepDir,
    sdRootDir,
    sdRootDate,
    sdRootDrive
};

enum TSecSelection : int
{
    ssDirs,
    ssFiles
};
using TSecSelections = uint8_t;

enum TAction : int
{
    taRestore,
    taVerify,
    taCleanup
};

enum TDownMode : int
{
    dmNone,
    dmPowerOff,
    dmShutdown,
    dmLogOff,
    dmRestart,
    dmIdleOff,
    dmHybrid
};

enum TSuspendMode : int
{
    smNone,
    smStandby,
    smHibernate
};

enum TInteraction : int
{
    iaPrompt,
    iaDelay,
    iaQuiet,
    iaErrorPrompt,
    iaQuietError,
    iaNone
};

enum TStatusStyle : int
{
    ssDefault,
    ssNormal,
    ssOnTop,
    ssBehind
};

enum TIncludeMode : int
{
    buInclude,
    buExclude
};

enum TACaptionType : int
{
    ctNew,
    ctNewTask,
    ctBuTask
};

enum TEditStatus : int
{
    esNew,
    esChanged,
    esSaved
};

enum TSizeMode : int
{
    szAll,
    szSmaller,
    szLarger,
    szBetween
};

enum TAutoStart : int
{
    asNone,
    asLogon,
    asDaily,
    asDailyAt,
    asLogoff,
    asWeekly,
    asWeekDay,
    asByRequest
};

enum TBuStatus : int
{
    bsOK,
    bsCanceled,
    bsCancelAll,
    bsFull,
    bsBroken
};

enum TBuResult : int
{
    brOK,
    brShutdown,
    brLogOff,
    brStandby,
    brHibernate,
    brError,
    brWait,
    brRepeat
};

enum TCharRepl : int
{
    cpNot,
    cpSimple
};

enum TIniLoc : int
{
    ilNormal,
    ilRegistry,
    ilCommand
};

// New values only at the end: the ordinals are stored.
enum TFileSystem : int
{
    fsNotAvail,
    fsNtfs,
    fsExtFat,
    fsLtfs,
    fsRemote,
    fsReFS,
    fsBTRFS,
    fsCryptomat,
    fsExt4,
    fsFat
};

enum TSchedMode : int
{
    smNormal,
    smDiff,
    smIncr,
    smDiff2,
    smIncr2
};

enum TWindowAction : int
{
    waDefPos,
    waChangeSize,
    waToolTips
};
using TWindowActions = uint8_t;

// No status window: iaQuiet and iaQuietError.
constexpr bool IsQuietMode(TInteraction mode)
{
    return mode == iaQuiet || mode == iaQuietError;
}
// Errors are shown in a dialog: iaPrompt, iaErrorPrompt and iaQuietError.
constexpr bool IsErrorPromptMode(TInteraction mode)
{
    return mode == iaPrompt || mode == iaErrorPrompt || mode == iaQuietError;
}

// An alternating full/differential/incremental schedule.
struct TSchedule
{
    int32_t StepMode = 0;
    int32_t LastZyk = 0;
    int32_t AktZyk = 0;
    int32_t WeekZyk = 0;
    int32_t NumZyk = 0;
    int32_t FullZyk = 0;
    TSchedMode SchedMode = smNormal;
};

// How security copies are named and kept.
struct TSecSettings
{
    TSecDirMode DirMode = sdNone;
    std::string DirPrefix;
    std::string DirSuffix;
    std::string FileSuffix;
    int32_t MaxHist = 0;
    int32_t MinHist = 0;
    int32_t AgeInWeeks = 0;
    TSecSelections Selection = 0;
    // The character right after "%bdate%" in FileSuffix (UTF-8, empty = none); set by SetBDateSeparator.
    std::string BDateSeparator;
};

// A saved window position.
struct TFormPos
{
    int32_t xprim = 0;
    int32_t xmult = 0;
    int32_t yprim = 0;
    int32_t ymult = 0;
    int32_t w = 0;
    int32_t h = 0;
    int32_t wdiff = 0;
    int32_t dpi = 0;
};

// A fixed date (Mode 0) or an age of Count days (1), weeks (2), months (3) or years (4).
struct TDateSelection
{
    int32_t Mode = 0;
    int32_t Count = 0;
    int32_t Auto = 0;
    TDateTime Date = 0;
};

struct TProxyParams
{
    bool UseProxy = false;
    std::string Server;
    std::string Username;
    std::string Password;
    int32_t Port = 0;
};

struct TQvCopySettings
{
    std::string NoCompress;
    int32_t CompMode = 0;
    int32_t BufferSize = 0;
    int32_t FTPBufferSize = 0;
};

struct TQvSecCopySettings
{
    std::string BakPrefix;
    std::string SyncPrefix;
    std::string BakSuffix;
    std::string SyncSuffix;
};

struct TQvViewSettings
{
    TWindowActions WindowActions = 0;
    bool SizeProgress = false;
    bool InstantShowTask = false;
    bool StatusOnTop = false;
    bool PlaySound = false;
    bool ShowNotifications = false;
    bool ShowToolTips = false;
    bool DarkMode = false;
    int32_t AutoWaitTime = 0;
    int32_t ComBgCol = 0;
    int32_t ComFgCol = 0;
    std::string CustomCols;
};

struct TQvStartSettings
{
    bool NoSplashScreen = false;
    bool FailNotification = false;
    bool ScanOnStart = false;
    bool UpdateChg = false;
    bool CheckUpdates = false;
    TProxyParams ProxySettings;
    int32_t StartupDelay = 0;
};

struct TQvShutdownSettings
{
    TDownMode DownMode = dmNone;
    bool LockComputer = false;
    int32_t ShutdownDelay = 0;
};

// Printing of the text viewer.
struct TPrinterSettings
{
    struct TMargins
    {
        int32_t Left = 0;
        int32_t Top = 0;
        int32_t Right = 0;
        int32_t Bottom = 0;
    };
    std::string PrtName; // empty = none chosen
    TMargins Margins;    // tenths of a millimetre
    int32_t Feed = 0;
    std::string FontName;
    int32_t FontSize = 0;    // points
    uint8_t FontStyle = 0;   // bits: 1 bold, 2 italic, 4 underline, 8 strike-out
    uint8_t Orientation = 0; // 0 portrait, 1 landscape
};

struct TQvLogSettings
{
    int32_t LogMode = 0;
    int32_t LogSize = 0;
    bool DecimalSizes = false;
    std::string MailLogPrefix;
    TDateSelection LogDelSettings;
};

struct TQvOtherSettings
{
    std::string DefaultTask;
    std::string DefDriveId;
    int32_t MinPwdLength = 0;
    int32_t MaxWaitTime = 0;
    bool ContextMenu = false;
    bool UseWizard = false;
    bool VssLog = false;
    bool SMTPLog = false;
};

struct TQvDirectories
{
    std::string TaskDir;
    std::string LogDir;
    std::string TempDir;
    TIniLoc IniLoc = ilNormal;
    bool UseTaskDir = false;
    bool UseLogDir = false;
    bool UseTempDir = false;
};

// The program settings.
struct TQvSettings
{
    TQvCopySettings CopySettings;
    TQvSecCopySettings SecCopySettings;
    TQvViewSettings ViewSettings;
    TQvStartSettings StartSettings;
    TQvShutdownSettings ShutdownSettings;
    TPrinterSettings PrinterSettings;
    TQvLogSettings LogSettings;
    TQvOtherSettings OtherSettings;
    TQvDirectories Directories;
};

// ---- process-wide variables (folder names end with "/")

extern TQvSettings ProgSettings;
extern std::string SettingsDir;
extern std::string OldSettingsFile;
extern std::string SettingsFile;
extern std::string ProgTempDir;
extern std::string ActiveTempDir;
extern std::string PersonalDir;
extern std::string YearText;
extern std::string ActiveTaskDir;
extern std::string DefaultLogFile;
extern std::string CurrentUser;
extern int32_t ErrorCount;
// 0 nobody, 1 the scheduler, 2 Orvane, 3 QvStarter, 4 QvPlaner, 5 QvMon.
extern int32_t StartOrigin;
// Error state 0..6 of the last run; becomes the exit code.
extern int32_t ErrorState;
extern bool ScreenReaderActive;
extern bool EventSourceOk;
extern bool TaskSchedulerOk;
extern bool ProcessIsNative64;

// Display formats; InitDateTimeFormats sets them from the user's locale.
extern std::string DateDisplayFormat;
extern std::string TimeDisplayFormat;
extern std::string DatePickerFormat;
extern std::string TimePickerFormat;

// Codes of StartOrigin 0..4 (origin 5 has none).
extern const std::array<const char*, 5> StartOriginCodes;
// Placeholders of external programs before and after a backup, and of log-file names, in this order.
extern const std::array<const char*, 10> ProgramPlaceholders;
extern const std::array<const char*, 10> LogPlaceholders;

// Sets BDateSeparator from FileSuffix: the character right after "%bdate%" (any case) when at least
// one more character follows it, else none.
void SetBDateSeparator(TSecSettings& settings);
// The four display formats from the user's locale (LC_TIME): its clock (24-hour or not) and the order
// of its short date.
void InitDateTimeFormats();
// The same from the two locale items: hour24, and dateOrder 0 month-day-year, 1 day-month-year,
// anything else year-month-day.
void ApplyDateTimeFormats(bool hour24, int dateOrder);
// Day names of the class library's conventions for day 1 (Monday) .. 7 (Sunday); the short name of
// day 0 is empty.
std::string GetLongDayName(int day);
std::string GetShortDayName(int day);
// The start-up initialisation: platform flags, YearText from the current year and the state
// variables reset. The main block calls it before anything else.
void InitBuConsts();
