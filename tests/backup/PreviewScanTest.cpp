#include <algorithm>
#include <filesystem>

#include <gtest/gtest.h>

#include "backup/PreviewScan.h"
#include "backup/TaskSettings.h"
#include "foundation/FileUtilsTimes.h"
#include "platform/FileStatus.h"
#include "support/Sandbox.h"
#include "support/TreeBuilder.h"

namespace fs = std::filesystem;

namespace {

class PreviewScanTest : public SandboxTest
{
protected:
    PreviewScanTest() : list(TTaskSettings::DefaultNewPeriod(), sdmNormal)
    {
        base = sandbox.Path("src");
        ctx.Selection.Today = Date();
    }

    // The lines of a scan of the whole folder, with the folder lines' file counts appended as "=n".
    std::vector<std::string> Scan(bool excluded, bool fullPaths = false, bool useArchive = false)
    {
        TStringList lines;
        count = 0;
        size = 0;
        PreviewDirectory(base, "", "", false, excluded, fullPaths, useArchive, count, size, lines, list, ctx);
        // Folders are searched in directory order: blocks of a folder line and its files are sorted.
        std::vector<std::vector<std::string>> blocks;
        for (int i = 0; i < lines.Count(); ++i) {
            std::string line = lines[i];
            if (line[0] == ' ') {
                line = line.substr(0, line.find('|'));
                EXPECT_FALSE(blocks.empty());
                blocks.back().push_back(line);
                std::sort(blocks.back().begin() + 1, blocks.back().end());
            } else {
                if (line[0] == '*')
                    line += "=" + std::to_string(lines.Objects(i));
                blocks.push_back({line});
            }
        }
        std::sort(blocks.begin(), blocks.end(),
                  [](const auto& a, const auto& b) { return a[0].substr(1) < b[0].substr(1); });
        std::vector<std::string> result;
        for (const auto& b : blocks)
            result.insert(result.end(), b.begin(), b.end());
        return result;
    }

    std::string base;
    TExtensionList list;
    TPreviewContext ctx;
    int count = 0;
    int64_t size = 0;
};

using Lines = std::vector<std::string>;

TEST_F(PreviewScanTest, ListsSelectedFilesOfEachFolderWithTheirTimeAndSize)
{
    BuildTree(base, {{"a.txt", "12345"},
                     {"b.tmp", "x"},
                     {"Vastrel.lock", "l"},
                     {"sub/c.txt", "123"},
                     {"sub/deep/d.TXT", "1"}});
    list.InclMode = buInclude;
    list.Include.Add("TXT");
    Lines lines = Scan(false);
    // Files of a folder come right after its line; type names ignore case.
    EXPECT_EQ((Lines{"*./=1", " a.txt", "*./sub/=1", " c.txt", "*./sub/deep/=1", " d.TXT"}), lines);
    EXPECT_EQ(3, count);
    EXPECT_EQ(9, size);

    TStringList raw;
    int c = 0;
    int64_t s = 0;
    PreviewDirectory(base, "", "", false, false, true, false, c, s, raw, list, ctx);
    EXPECT_EQ("*" + base + "/", raw[0]);
    const std::string fileLine = raw[1];
    EXPECT_EQ(" a.txt|", fileLine.substr(0, 7));
    EXPECT_EQ("|5 B", fileLine.substr(fileLine.rfind('|'))) << fileLine;
}

TEST_F(PreviewScanTest, ExcludedPreviewListsWhatTheSelectionLeavesOut)
{
    BuildTree(base, {{"a.txt", "1"},
                     {"b.tmp", "2"},
                     {"skip/c.txt", "3"},
                     {"skip/below/d.tmp", "4"},
                     {"keep/e.tmp", "5"}});
    list.InclMode = buExclude;
    list.Exclude.Add("TMP");
    list.SubDirList.Add(base + "/skip/");
    // "All except tagged": the tagged folder and everything below it are not listed.
    Lines normal = Scan(false);
    EXPECT_EQ((Lines{"*./=1", " a.txt", "*./keep/=0", "#./skip/"}), normal);
    // Excluded: each tagged folder and every folder below it gets a "#" line, the other folders list
    // the files that fail the selection.
    Lines excluded = Scan(true);
    EXPECT_EQ((Lines{"*./=1", " b.tmp", "*./keep/=1", " e.tmp", "#./skip/", "#./skip/below/"}), excluded);
    EXPECT_EQ(2, count);
}

TEST_F(PreviewScanTest, TaggedOnlyListsTaggedFoldersAndEverythingBelow)
{
    BuildTree(base, {{"a.txt", "1"}, {"t/b.txt", "2"}, {"t/u/c.txt", "3"}, {"n/d.txt", "4"}});
    list.IncludeDirs = true;
    list.SubDirList.Add(base + "/t/");
    Lines lines = Scan(false);
    EXPECT_EQ((Lines{"#./", "#./n/", "*./t/=1", " b.txt", "*./t/u/=1", " c.txt"}), lines);
}

TEST_F(PreviewScanTest, ArchiveTestShowsOnlyFilesWhoseArchiveBitIsSet)
{
    BuildTree(base, {{"set.txt", "1"}, {"clear.txt", "2"}});
    ASSERT_EQ(0u, WriteFileAttributes(base + "/clear.txt", 0, false));
    ctx.UseArchivCB = true;
    ctx.cbArchFile = true;
    EXPECT_EQ((Lines{"*./=1", " set.txt"}), Scan(false, false, true));
    EXPECT_EQ((Lines{"*./=1", " clear.txt"}), Scan(true, false, true));
    // Without the archive test (or without a mode that selects by the bit) both are listed.
    EXPECT_EQ(3u, Scan(false, false, false).size());
    ctx.cbArchFile = false;
    EXPECT_EQ(3u, Scan(false, false, true).size());
    ctx.DestMode = 4;
    EXPECT_EQ(2u, Scan(false, false, true).size());
}

TEST_F(PreviewScanTest, LinkedFoldersAreFollowedOnlyWhenAllowedAndNotRecursive)
{
    BuildTree(base, {{"a.txt", "1"}, {"real/b.txt", "2"}});
    BuildTree(sandbox.Path("other"), {{"c.txt", "3"}});
    fs::create_directory_symlink(sandbox.Path("other"), base + "/outside");
    fs::create_directory_symlink(base, base + "/real/up");
    // Links are left out without a line by default.
    EXPECT_EQ((Lines{"*./=1", " a.txt", "*./real/=1", " b.txt"}), Scan(false));
    // Read through: the outside link is listed, the link to a folder above is still left out.
    ctx.UseJunctions = true;
    Lines lines = Scan(false);
    EXPECT_EQ((Lines{"*./=1", " a.txt", "*./outside/=1", " c.txt", "*./real/=1", " b.txt"}), lines);
}

TEST_F(PreviewScanTest, FileTimeColumnFollowsTheTimeReference)
{
    BuildTree(base, {{"a.txt", "1", 1600000000}});
    TStringList lines;
    int c = 0;
    int64_t s = 0;
    PreviewDirectory(base, "", "", false, false, false, false, c, s, lines, list, ctx);
    const std::string modified = FormatDateTime("c", FileTimeToLocalDateTime(UnixTimeToFileTime(1600000000)));
    EXPECT_EQ(" a.txt|" + modified + "|1 B", lines[1]);
    // A run-wide window in error mode selects nothing.
    ctx.Selection.CmdTmPeriod.Mode = tmError;
    EXPECT_EQ((Lines{"*./=0"}), Scan(false));
}

} // namespace
