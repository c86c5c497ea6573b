#include "foundation/PlaceHolders.h"

#include <cstdlib>
#include <fstream>

#include <gtest/gtest.h>

#include "foundation/QvUtilsNames.h"
#include "platform/MountTable.h"
#include "rtl/Clock.h"
#include "support/PlatformFakes.h"
#include "support/Sandbox.h"

namespace {

class FixedClock : public Clock
{
public:
    explicit FixedClock(TDateTime local) : FLocal(local) {}
    TDateTime NowUtc() const override { return FLocal; }
    TDateTime NowLocal() const override { return FLocal; }

private:
    TDateTime FLocal;
};

class PlaceHoldersTest : public SandboxTest
{
protected:
    void At(int y, int m, int d, int h = 14, int n = 7, int s = 9)
    {
        FClock = std::make_unique<FixedClock>(EncodeDateTime(y, m, d, h, n, s, 0));
        Clock::SetCurrent(FClock.get());
    }
    void SetUp() override
    {
        FSaved = FormatSettings();
        auto& fs = FormatSettings();
        fs.ShortDayNames = {"Sun.", "Mon.", "Tue.", "Wed.", "Thu.", "Fri.", "Sat."};
        fs.LongDayNames = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
        fs.LongMonthNames = {"January", "February", "March",      "April",   "May",      "June",
                             "July",    "August",   "Sept.ember", "October", "November", "December"};
    }
    void TearDown() override
    {
        Clock::SetCurrent(nullptr);
        FormatSettings() = FSaved;
    }
    std::unique_ptr<FixedClock> FClock;
    TFormatSettings FSaved;
};

TEST_F(PlaceHoldersTest, DateAndTimeItemsOfAnOrdinaryDay)
{
    At(2024, 3, 5); // a Tuesday in ISO week 10
    EXPECT_EQ(ExpandDatePlaceholders("%date%_%TIME%_%hour%%minute%", 0), "2024-03-05_140709_1407");
    EXPECT_EQ(ExpandDatePlaceholders("%dow%/%ldow%/%dnw%/%day%/%week%/%dom%/%wom%/%month%/%year%", 0),
              "Tue/Tuesday/2/065/10/05/1/03/2024");
    EXPECT_EQ(ExpandDatePlaceholders("%yaw% %date% %date%", 0), "2024-10 2024-03-05 2024-03-05");
    At(2024, 9, 9);
    EXPECT_EQ(ExpandDatePlaceholders("%lmonth%", 0), "September");
}

TEST_F(PlaceHoldersTest, WeeksFollowIsoRulesAcrossMonthAndYearEnds)
{
    struct Case
    {
        int y, m, d;
        const char* expected; // %yaw% %week% %wom% %dnw%
    };
    const Case cases[] = {
        {2021, 1, 6, "2021-01 01 1 3"},   // ISO week 1 in January
        {2021, 1, 2, "2020-53 53 5 6"},   // still in week 53 of the previous year
        {2021, 1, 3, "2020-53 53 5 7"},   // Sunday ends that week
        {2021, 1, 4, "2021-01 01 1 1"},   // Monday starts week 1
        {2024, 12, 30, "2025-01 01 1 1"}, // late December already in week 1 of the next year
        {2024, 12, 29, "2024-52 52 4 7"},
        {2024, 3, 1, "2024-09 09 5 5"}, // a Friday before March's first Thursday: February's 5th week
        {2024, 2, 29, "2024-09 09 5 4"},
        {2023, 1, 1, "2022-52 52 5 7"}, // December 2022 has five weeks
    };
    for (const auto& c : cases) {
        At(c.y, c.m, c.d);
        EXPECT_EQ(ExpandDatePlaceholders("%yaw% %week% %wom% %dnw%", 0), c.expected)
            << c.y << "-" << c.m << "-" << c.d;
    }
}

TEST_F(PlaceHoldersTest, CountersCycleOverDayWeekMonthAndVersion)
{
    struct Case
    {
        int y, m, d, counter;
        const char* text;
        const char* expected;
    };
    const Case cases[] = {
        {2024, 1, 8, 1, "%d#7%", "1"},
        {2024, 1, 7, 1, "%d#7%", "7"},
        {2024, 3, 5, 1, "%m#12%", "03"},
        {2024, 3, 5, 4, "%v#3%", "1"},
        {2024, 3, 5, 4, "a%V#3%b%v#3%", "a1b1"},
        {2024, 3, 5, 1, "%w#4%", "2"}, // ISO week 10
        {2024, 3, 5, 1, "%d#100%", "065"},
        {2024, 1, 8, 1, "%d#-12%", "8"},   // negative: no leading zeros
        {2024, 1, 8, 1, "%d#x%", ""},      // not a number: removed
        {2024, 1, 8, 1, "%d#0%", ""},      // no cycle: removed
        {2024, 1, 8, 1, "%d#%", ""},       // nothing between prefix and "%": removed
        {2024, 1, 8, 1, "%d#7", "%d#7"},   // no closing sign
        {2024, 1, 8, 0, "%d#7%", "%d#7%"}, // Counter 0 expands no counter
        {2024, 1, 8, 1, "x%d#?%y", "xy"},  // the literal list entry is removed
        {2024, 12, 31, 1, "%d#366%", "366"},
    };
    for (const auto& c : cases) {
        At(c.y, c.m, c.d);
        EXPECT_EQ(ExpandDatePlaceholders(c.text, c.counter), c.expected) << c.text;
    }
}

TEST_F(PlaceHoldersTest, UserIsRemovedFromPathsButNamedInDates)
{
    At(2024, 3, 5);
    std::string user = PlaceholderUserName();
    ASSERT_FALSE(user.empty());
    EXPECT_EQ(ExpandPathPlaceholders("/backup/%USER%x"), "/backup/x");
    EXPECT_EQ(ExpandDatePlaceholders("/backup/%USER%x", 0), "/backup/" + user + "x");
    EXPECT_EQ(ExpandPathPlaceholders("/b/%username%"), "/b/" + user);
    EXPECT_EQ(ExpandDatePlaceholders("%volume%%mode%", 0), "");
    EXPECT_EQ(ExpandPathPlaceholders(""), "");
}

TEST_F(PlaceHoldersTest, PathPlaceholdersNameTheUsersFolders)
{
    std::ofstream(sandbox.Path("home/.config/user-dirs.dirs")) << "XDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n";
    EXPECT_EQ(ExpandPathPlaceholders("%perspath%/a"), sandbox.Path("home/Documents") + "/a");
    EXPECT_EQ(ExpandPathPlaceholders("%DESKTOP%"), sandbox.Path("home") + "/Schreibtisch");
    EXPECT_EQ(ExpandPathPlaceholders("%profile%|%userprofile%"),
              sandbox.Path("home") + "|" + sandbox.Path("home"));
    EXPECT_EQ(ExpandPathPlaceholders("%apppath%|%appdata%"),
              sandbox.Path("home/.config") + "|" + sandbox.Path("home/.config"));
    EXPECT_EQ(ExpandPathPlaceholders("%localappdata%"), sandbox.Path("home/.local/share"));
    EXPECT_EQ(ExpandPathPlaceholders("%programdata%=%allusersprofile%"), "/var/lib=/var/lib");
    EXPECT_FALSE(ExpandPathPlaceholders("%progpath%").empty());
    EXPECT_NE(ExpandPathPlaceholders("%progpath%").back(), '/');
}

TEST_F(PlaceHoldersTest, PathBeforeFirstPlaceholder)
{
    EXPECT_EQ(GetPathBeforePlaceholder("/backup/%date%/files"), "/backup/");
    EXPECT_EQ(GetPathBeforePlaceholder("/backup/x%date%"), "/backup/");
    EXPECT_EQ(GetPathBeforePlaceholder("/backup/plain"), "/backup/plain");
    EXPECT_EQ(GetPathBeforePlaceholder("%dest%/a"), "");
}

TEST_F(PlaceHoldersTest, NamePlaceholdersAreRecognised)
{
    for (const char* text : {"a%DATE%", "%wom%", "%d#5%", "%v#", "%Volume%", "%mode%", "%computer%"})
        EXPECT_TRUE(HasNamePlaceholders(text)) << text;
    for (const char* text : {"plain", "50%", "%perspath%", "%taskname%"})
        EXPECT_FALSE(HasNamePlaceholders(text)) << text;
}

TEST_F(PlaceHoldersTest, EnvironmentPlaceholdersPairPercentSigns)
{
    At(2024, 3, 5);
    setenv("VASTREL_T1", "/tmp/t1", 1);
    unsetenv("VASTREL_UNDEFINED");
    EXPECT_EQ(ExpandNamePlaceholders("%evar(VASTREL_T1)%/x", "", 0), "/tmp/t1/x");
    EXPECT_EQ(ExpandNamePlaceholders("%EVAR(VASTREL_T1)%|%evar(VASTREL_T1)%", "", 0), "/tmp/t1|/tmp/t1");
    EXPECT_EQ(ExpandNamePlaceholders("%evar(VASTREL_UNDEFINED)%/x", "", 0), "%evar(VASTREL_UNDEFINED)%/x");
    // A lone percent sign pairs with the placeholder's first sign.
    EXPECT_EQ(ExpandNamePlaceholders("50% %evar(VASTREL_T1)%/x", "", 0), "50% %evar(VASTREL_T1)%/x");
    EXPECT_EQ(ExpandNamePlaceholders("%volume%-%date%", "DATA", 0), "DATA-2024-03-05");

    EXPECT_EQ(ExpandEnvStrings("a %VASTREL_T1% b"), "a /tmp/t1 b");
    EXPECT_EQ(ExpandEnvStrings("just 50% off"), "just 50% off");
    EXPECT_EQ(ExpandEnvStrings("%VASTREL_UNDEFINED%/%VASTREL_T1%"), "%VASTREL_UNDEFINED%//tmp/t1");
    unsetenv("VASTREL_T1");
}

// A system disk and a labelled removable volume that can be taken away.
class FakeVolumes : public FakeVolumeProvider
{
public:
    FakeVolumes()
    {
        SetPresent(true);
        VolumeProvider::SetCurrent(this);
    }
    ~FakeVolumes() override { VolumeProvider::SetCurrent(nullptr); }
    void SetPresent(bool present)
    {
        TVolumeInfo root;
        root.MountPoint = "/";
        Volumes = {root};
        if (present) {
            TVolumeInfo usb;
            usb.MountPoint = "/media/u/Backup";
            usb.Label = "Backup";
            Volumes.push_back(usb);
        }
    }
};

TEST_F(PlaceHoldersTest, VolumeNamesResolveThroughTheirLabel)
{
    FakeVolumes volumes;
    std::string path, label;
    path = "";
    EXPECT_EQ(ResolveVolumeName(path, label, false), 2);
    path = "/home/u/data";
    EXPECT_EQ(ResolveVolumeName(path, label, false), 0);
    EXPECT_EQ(path, "/home/u/data");
    path = ":backup:/daily/x";
    EXPECT_EQ(ResolveVolumeName(path, label, false), 1);
    EXPECT_EQ(path, "/media/u/Backup/daily/x");
    EXPECT_EQ(label, "backup");

    volumes.SetPresent(false);
    int prompts = 0;
    SetVolumePromptHandler([&](const std::string& message) {
        EXPECT_EQ(message, "Volume \"Backup\" not found!\r\nPlease insert medium!");
        volumes.SetPresent(++prompts == 2);
        return true;
    });
    path = ":Backup:/daily";
    EXPECT_EQ(ResolveVolumeName(path, label, true), 1);
    EXPECT_EQ(prompts, 2);
    volumes.SetPresent(false);
    SetVolumePromptHandler([](const std::string&) { return false; });
    path = ":Backup:/daily";
    EXPECT_EQ(ResolveVolumeName(path, label, true), 2);
    EXPECT_EQ(path, ":Backup:/daily");
    EXPECT_FALSE(IsVolumeAvailable(":Backup:/daily"));
    EXPECT_EQ(GetVolumePath(":Backup:/daily", false), ":Backup:/daily");
    volumes.SetPresent(true);
    EXPECT_EQ(GetVolumePath(":Backup:/daily", false), "/media/u/Backup/daily");

    EXPECT_EQ(SwitchVolumeName("/media/u/Backup/data"), ":Backup:/data");
    EXPECT_EQ(SwitchVolumeName(":Backup:/data"), "/media/u/Backup/data");
    std::string hint;
    SetVolumeHintHandler([&](const std::string& message) { hint = message; });
    EXPECT_EQ(SwitchVolumeName("/home/u"), "");
    EXPECT_EQ(hint, "No volume name available for /");
    EXPECT_EQ(PathWithVolumeName("/media/u/Backup/a/b", "Backup"), ":Backup:/a/b");
    EXPECT_EQ(PathWithVolumeName("/media/u/Backup/a/b", ""), "/media/u/Backup/a/b");

    SetVolumePromptHandler(nullptr);
    SetVolumeHintHandler(nullptr);
}

TEST_F(PlaceHoldersTest, LogPlaceholders)
{
    FakeVolumes volumes;
    At(2024, 12, 30, 8, 5, 3);
    std::string user = PlaceholderUserName();
    EXPECT_EQ(ExpandLogPlaceholders("%date%_%time%_%yaw%_%yam%_%year%", "/d"),
              "2024-12-30_080503_2025-01_2024-12_2024");
    EXPECT_EQ(ExpandLogPlaceholders("%USERNAME%", "/d"), user);
    EXPECT_EQ(ExpandLogPlaceholders("[%dest%][%drive%][%volume%]", ":Backup:/x"),
              "[:Backup:/x][:Backup:][Backup]");
    EXPECT_EQ(ExpandLogPlaceholders("[%drive%][%volume%]", "/media/u/Backup/x"), "[/][Backup]");
    EXPECT_EQ(ExpandLogPlaceholders("[%drive%][%volume%]", "//server/share/dir"), "[//server/share][]");
    volumes.SetPresent(false);
    EXPECT_EQ(ExpandLogPlaceholders("[%volume%]", ":Backup:/x"), "[]");
}

TEST_F(PlaceHoldersTest, PerDriveFolderNames)
{
    EXPECT_EQ(GetDriveDirName("Drv?", "/home/u/data"), "Drv/");
    EXPECT_EQ(GetDriveDirName("Disk", "/home/u/data"), "Disk/");
    EXPECT_EQ(GetDriveDirName("Drv?", "//server/share/dir"), "server/share/dir/");
    EXPECT_EQ(DriveFromDirName("Drv", "Drv?"), '\0');
    EXPECT_EQ(DriveFromDirName("DrvC", "Drv?"), 'C');
    EXPECT_EQ(DriveFromDirName("DrvC", "Drv"), '\0');
    EXPECT_EQ(ReplaceDrive(":OLD:/a/b", ":old:=:New:"), ":New:/a/b");
    EXPECT_EQ(ReplaceDrive("//srv/share/a", "//srv/share=/mnt/share"), "/mnt/share/a");
    EXPECT_EQ(ReplaceDrive("/a/b", ""), "/a/b");
    EXPECT_EQ(ReplaceDrive("/a/b", "x="), "/a/b");
}

} // namespace
