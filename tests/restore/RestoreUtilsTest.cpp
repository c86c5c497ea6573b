#include <filesystem>
#include <gtest/gtest.h>

#include "foundation/FileUtilsTimes.h"
#include "platform/PosixFiles.h"
#include "restore/RestoreEngine.h"
#include "restore/RestoreSettings.h"
#include "restore/RestoreUtils.h"
#include "support/Files.h"
#include "support/Sandbox.h"
#include "support/TreeBuilder.h"

namespace fs = std::filesystem;

namespace {

TEST(RestoreUtilsTest, PathsSplitAtTheArchiveThatHoldsThem)
{
    struct Case
    {
        std::string path;
        bool zip;
        std::string archive, inner;
    };
    const Case cases[] = {
        {"/backup/Data.zip/Docs/Sub", true, "/backup/Data.zip", "Docs/Sub"},
        {"/backup/Data.ZIP/", true, "/backup/Data.ZIP", ""},
        {"/backup/Data.zip", true, "/backup/Data.zip", ""},
        {"/backup/Docs", false, "/backup/Docs", ""},
        {"/backup/Old.zip/in/deeper.zip/x", true, "/backup/Old.zip/in/deeper.zip", "x"},
        {"/backup/zipper/x", false, "/backup/zipper/x", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        std::string p = c.path, inner = "left over";
        EXPECT_EQ(SplitZipPath(p, inner), c.zip);
        EXPECT_EQ(p, c.zip ? c.archive : c.path);
        EXPECT_EQ(inner, c.inner);
        EXPECT_EQ(IsInZipArchive(c.path), c.zip);
    }
    // The open path splits at the first archive.
    std::string p = "/b/Old.zip/in/deeper.zip/x", inner;
    EXPECT_TRUE(SplitOpenPath(p, inner));
    EXPECT_EQ(p, "/b/Old.zip");
    EXPECT_EQ(inner, "in/deeper.zip/x");
    p = "/b/a.zip";
    EXPECT_TRUE(SplitOpenPath(p, inner));
    EXPECT_EQ(inner, "");
    p = "/b/a.txt";
    EXPECT_FALSE(SplitOpenPath(p, inner));
}

TEST(RestoreUtilsTest, DestinationsMustLieBelowTheTarget)
{
    EXPECT_TRUE(IsBelowFolder("/t", "/t/a/b"));
    EXPECT_TRUE(IsBelowFolder("/t/", "/t/a"));
    EXPECT_FALSE(IsBelowFolder("/t", "/t"));
    EXPECT_FALSE(IsBelowFolder("/t", "/t/../etc/passwd"));
    EXPECT_FALSE(IsBelowFolder("/t", "/tx/a"));
    EXPECT_FALSE(IsBelowFolder("/t", "a"));
}

TEST(RestoreUtilsTest, WindowsMoveIntoTheWorkAreaWithAMarginScaledToTheMonitor)
{
    const TBoundsRect work{0, 0, 1000, 800};
    struct Case
    {
        TBoundsRect rect;
        int dpi;
        int left, top;
    };
    const Case cases[] = {
        {{200, 100, 1010, 500}, 96, 1000 - 810 - 50, 100},  // 10 beyond the right edge
        {{200, 100, 1010, 500}, 144, 1000 - 810 - 75, 100}, // margin 75 at 144 dpi
        {{-20, 100, 300, 500}, 96, 50, 100},                // left of the work area
        {{100, 700, 300, 900}, 96, 100, 800 - 200 - 50},    // below it
        {{100, 100, 300, 300}, 96, 100, 100},               // inside: unchanged
    };
    for (const auto& c : cases) {
        TBoundsRect r = FitBoundsToMonitor(work, c.dpi, c.rect);
        EXPECT_EQ(r.Left, c.left);
        EXPECT_EQ(r.Top, c.top);
    }
}

TEST(RestoreUtilsTest, SmallStringAndNameRoutines)
{
    EXPECT_EQ(StrDelete("abcdef", 2, 3), "aef");
    EXPECT_EQ(StrDelete("äöüß", 2, 2), "äß");
    EXPECT_EQ(StrDelete("abc", 5, 1), "abc");
    EXPECT_EQ(GetTargetName("a.txt.enc", false, false), "a.txt");
    EXPECT_EQ(GetTargetName("a.zip", false, false), "a.zip");
    EXPECT_EQ(GetTargetName("a.zip", false, true), "a");
    EXPECT_EQ(GetTargetName("a.txt.gz", false, false), "a.txt.gz");
    EXPECT_EQ(GetTargetName("a.txt.GZE", true, false), "a.txt");
    EXPECT_EQ(SecurityCopyMask("bak-#"), "*.bak-*");
    EXPECT_EQ(SecurityCopyMask("old"), "old");
    EXPECT_EQ(MakeAbsoluteTo("", "a.txt"), "a.txt");
    EXPECT_EQ(MakeAbsoluteTo("/b", "a.txt"), "/b/a.txt");
    EXPECT_EQ(MakeAbsoluteTo("/b", "/c/a.txt"), "/c/a.txt");
}

class RestoreFolderRoutinesTest : public SandboxTest
{
};

TEST_F(RestoreFolderRoutinesTest, TimeAndAttributesComeFromTheSearchRecordWithTheErrorsSigned)
{
    BuildTree(sandbox.Path("s"), {{"a.txt", "x", 1600000000}, {"b.gz", "y"}});
    TSearchRec sr;
    ASSERT_EQ(FindFirst(sandbox.Path("s/a.txt"), static_cast<int>(faAnyFile), sr), 0);
    FindClose(sr);
    WriteFileBytes(sandbox.Path("d/a.txt"), "z");
    EXPECT_EQ(SetTimeAndAttrFromSearchRec(sandbox.Path("d/a.txt"), sr), 0);
    EXPECT_EQ(FileMTime(sandbox.Path("d/a.txt")), 1600000000);
    EXPECT_GT(SetTimeAndAttrFromSearchRec(sandbox.Path("d/missing"), sr), 0);
    EXPECT_TRUE(FileMatchesInFolder(sandbox.Path("s"), ".gz"));
    EXPECT_TRUE(FileMatchesInFolder(sandbox.Path("s"), "GZ"));
    EXPECT_FALSE(FileMatchesInFolder(sandbox.Path("s"), "gze"));
}

// ---- command line and settings

TEST_F(RestoreFolderRoutinesTest, CommandLineOptionsMatchByAbbreviationInTableOrder)
{
    struct Case
    {
        std::vector<std::string> args;
        int mode;
        bool zip, dark;
        std::string path;
        std::vector<std::string> files;
    };
    const Case cases[] = {
        {{"/d"}, 1, false, false, "", {}},
        {{"/"}, 1, false, false, "", {}},
        {{"-s"}, 2, false, false, "", {}},
        {{"/z", "-da"}, -1, true, true, "", {}},
        {{"/path:/x y/b", "/zip"}, -1, true, false, "/x y/b", {}},
        {{"/nonsense"}, -1, false, false, "", {}},
        {{"/b/a.txt", "c/b.txt", "/p:/q"}, -1, false, false, "/q", {"/b/a.txt", "b.txt"}},
    };
    for (const auto& c : cases) {
        TRestoreCommandLine cmd = ParseRestoreCommandLine(c.args);
        EXPECT_EQ(cmd.RMode, c.mode) << c.args[0];
        EXPECT_EQ(cmd.ZipMode, c.zip) << c.args[0];
        EXPECT_EQ(cmd.Dark, c.dark) << c.args[0];
        EXPECT_EQ(cmd.Path, c.path) << c.args[0];
        EXPECT_EQ(cmd.Files, c.files) << c.args[0];
    }
}

TEST_F(RestoreFolderRoutinesTest, TheFirstFileOrThePathDecidesWhereTheProgramStarts)
{
    const std::string b = sandbox.Path("Backup");
    fs::create_directories(b);
    // a zip archive relative to the path
    TRestoreStart s = ResolveRestoreStart(ParseRestoreCommandLine({"/zip", "Backup.zip", "/path:" + b}), "");
    EXPECT_TRUE(s.ZipMode && s.SingleZip);
    EXPECT_EQ(s.ZipArchive, b + "/Backup.zip");
    // only the path, on the zip page
    s = ResolveRestoreStart(ParseRestoreCommandLine({"/zip", "/path:" + b}), "");
    EXPECT_EQ(s.ZipArchive, b + "/*.zip");
    // files to preselect
    s = ResolveRestoreStart(ParseRestoreCommandLine({b + "/a.txt", "b.txt", "/path:/elsewhere"}), "");
    EXPECT_FALSE(s.ZipMode);
    EXPECT_EQ(s.Source, b);
    EXPECT_EQ(s.FileList, (std::vector<std::string>{"a.txt", "b.txt"}));
    // whole directory: nothing preselected
    s = ResolveRestoreStart(ParseRestoreCommandLine({"/dir", b + "/a.txt"}), "");
    EXPECT_TRUE(s.FileList.empty());
    // a path that does not exist changes nothing
    s = ResolveRestoreStart(ParseRestoreCommandLine({"/path:" + sandbox.Path("none")}), "/old");
    EXPECT_EQ(s.Source, "/old");
}

TEST_F(RestoreFolderRoutinesTest, SettingsKeepTheirValuesAndOtherSections)
{
    const std::string ini = sandbox.Path("cfg/QvRestore.ini");
    TRestoreConfig c = ReadRestoreConfig(ini, "/home/docs", 45000);
    EXPECT_EQ(c.Target, "/home/docs");
    EXPECT_EQ(c.BakDate, 45000);
    EXPECT_EQ(c.Mode, 1);
    EXPECT_EQ(c.BakSuffix, "bak-#");
    WriteFileBytes(ini, "[Source]\nHistory0=/keep\n");
    c.Split = "700\xE2\x80\xB0";
    c.BakCopies = 2;
    c.Filter = "*.txt";
    c.Unpack = 5;
    std::string error;
    ASSERT_TRUE(WriteRestoreConfig(ini, c, "6.0.0", error)) << error;
    TRestoreConfig back = ReadRestoreConfig(ini, "", 0);
    EXPECT_EQ(back.Split, c.Split);
    EXPECT_EQ(back.BakCopies, 2);
    EXPECT_EQ(back.Filter, "*.txt");
    EXPECT_EQ(back.Unpack, 5);
    EXPECT_EQ(back.Target, "/home/docs");
    EXPECT_EQ(ReadRestoreConfig(ini, "", 0).Source, "");
    // the other section is still there
    const std::string text = ReadFileBytes(ini);
    EXPECT_NE(text.find(std::string("/\0k\0e\0e\0p", 9)), std::string::npos);
}

TEST(RestoreSettingsTest, SplitGivesTheListWidth)
{
    EXPECT_EQ(SplitToWidth("", 1200), 800);
    EXPECT_EQ(SplitToWidth("1200", 900), 720);
    EXPECT_EQ(SplitToWidth("600", 900), 600);
    EXPECT_EQ(SplitToWidth("700\xE2\x80\xB0", 1000), 700);
    EXPECT_EQ(SplitToWidth("100\xE2\x80\xB0", 1000), 800);
}

} // namespace
