// Whole backup runs of the built program: `Vastrel /force task.buj` on a small generated tree in the
// sandbox, for each method, compare mode, backup mode, storage form, version naming and synchronisation
// setting. The destination is checked file by file: copies are read back through gzip, unzip, 7z or our
// own decrypting readers and compared byte for byte with the source.

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <map>
#include <regex>
#include <string>
#include <sys/stat.h>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "RunTestUtil.h"
#include "TaskTestUtil.h"
#include "WholeRunTest.h"
#include "archive/AesLib.h"
#include "archive/ExtFileTools.h"
#include "archive/ExtFileToolsZipRead.h"
#include "backup/TaskFileReader.h"
#include "platform/PosixFiles.h"
#include "support/Files.h"
#include "support/Sandbox.h"
#include "support/Shell.h"
#include "support/TreeBuilder.h"

namespace fs = std::filesystem;

using namespace wholerun;

namespace {

class BackupMatrixTest : public WholeRunTest
{
};

// ---- methods

TEST_F(BackupMatrixTest, EachMethodLaysOutTheDestinationAsItsNameSays)
{
    VASTREL_REQUIRE_TOOL("unzip");
    // A second source folder elsewhere, so that the methods show how they keep folders apart.
    const std::string docs = sandbox.Path("other/docs");
    BuildTree(docs, {{"d.txt", "delta\n", T0}, {"notes/e.md", "epsilon", T0}});
    SetFileMTime(docs + "/notes", T0);
    const TreeMap source = Tree(Src());
    const TreeMap docsTree = Tree(docs);
    const std::string docsRel = docs.substr(1) + "/";
    struct Case
    {
        int destMode;
        std::string zipName;            // the task's ZipName
        std::vector<std::string> zips;  // every file of the destination of a zip method
        std::string prefix, docsPrefix; // where the two trees appear (extracted, for zips)
        int secondCopies;               // files of the first folder copied again by a second run
    };
    const std::string drv = "Drv/" + SrcRel();
    const std::string drvDocs = "Drv/" + docsRel;
    const std::string full = SrcRel();
    const Case cases[] = {
        {0, "arch", {}, drv, drvDocs, 0},
        {1, "arch", {}, full, docsRel, 0},
        {2, "arch", {}, "", "", 0},
        {3, "arch", {}, "src/", "docs/", 0},
        {4, "arch", {"arch.zip"}, full, docsRel, 4},
        {5, "-arch", {"docs-arch.zip", "src-arch.zip"}, "", "", 4},
        {6,
         "arch",
         {drvDocs + "arch.zip", drvDocs + "notes/arch.zip", drv + "arch.zip", drv + "sub/arch.zip",
          drv + "sub/deep/arch.zip"},
         drv,
         drvDocs,
         4},
        {7,
         "arch",
         {docsRel + "arch.zip", docsRel + "notes/arch.zip", full + "arch.zip", full + "sub/arch.zip",
          full + "sub/deep/arch.zip"},
         full,
         docsRel,
         4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("DestMode " + std::to_string(c.destMode));
        fs::remove_all(Dst());
        const std::string task =
            WriteTask({{"DestMode", std::to_string(c.destMode)}, {"ZipName", c.zipName}}, {Src(), docs});
        TreeMap expected = Below(source, c.prefix);
        expected.merge(Below(docsTree, c.docsPrefix));
        for (int run = 1; run <= 2; ++run) {
            SCOPED_TRACE("run " + std::to_string(run));
            const int copies = run == 1 ? 4 : c.secondCopies;
            TRunResult r = RunOk(task, CopiedText(copies));
            EXPECT_TRUE(
                Contains(r.log, "Backup: " + std::to_string(copies == 0 ? 0 : 6) + " of 6 files copied"))
                << r.log;
            if (c.destMode < 4) {
                EXPECT_EQ(Tree(Dst()), expected);
                EXPECT_EQ(FileMTime(Dst(c.prefix + "sub/b.dat")), T0);
                EXPECT_EQ(FileMTime(Dst(c.prefix + "sub/deep")), T0) << "folders keep their times";
                continue;
            }
            ASSERT_EQ(FilesBelow(Dst()), c.zips);
            // Each archive is extracted where it lies; together they give the source trees.
            const std::string out = sandbox.Path("x");
            fs::remove_all(out);
            for (const auto& zip : c.zips) {
                const std::string dir = out + "/" + fs::path(zip).parent_path().string();
                fs::create_directories(dir);
                ShellResult test = RunShell("unzip -tq " + ShellQuote(Dst(zip)));
                EXPECT_EQ(test.exitCode, 0) << test.output;
                ShellResult x = RunShell("unzip -q -o " + ShellQuote(Dst(zip)) + " -d " + ShellQuote(dir));
                EXPECT_EQ(x.exitCode, 0) << x.output;
            }
            EXPECT_EQ(Tree(out), expected);
        }
    }
}

// ---- storage forms of single files

TEST_F(BackupMatrixTest, CompressedEncryptedAndZippedCopiesReadBackToTheSourceBytes)
{
    VASTREL_REQUIRE_TOOL("gzip");
    VASTREL_REQUIRE_TOOL("unzip");
    VASTREL_REQUIRE_TOOL("7z");
    struct Case
    {
        std::string name;
        Keys keys;
        std::map<std::string, std::string> stored; // source file -> its copy at the destination
    };
    Keys gzip = {{"Compress", "1"}, {"NoCompTypes", "LOG"}};
    Keys enc = Encrypted();
    Keys gze = enc;
    gze.insert(gzip.begin(), gzip.end());
    Keys zip = {{"Compress", "1"}, {"CompressAsZip", "1"}, {"NoCompTypes", "LOG"}};
    Keys aesZip = enc;
    aesZip.insert(zip.begin(), zip.end());
    const Case cases[] = {
        {"gzip, .log excluded from compression",
         gzip,
         {{"a.txt", "a.txt.gz"},
          {"sub/b.dat", "sub/b.dat.gz"},
          {"sub/deep/c.log", "sub/deep/c.log"},
          {"sub/deep/empty.bin", "sub/deep/empty.bin.gz"}}},
        {"encrypted",
         enc,
         {{"a.txt", "a.txt.enc"},
          {"sub/b.dat", "sub/b.dat.enc"},
          {"sub/deep/c.log", "sub/deep/c.log.enc"},
          {"sub/deep/empty.bin", "sub/deep/empty.bin.enc"}}},
        {"gzip and encrypted",
         gze,
         {{"a.txt", "a.txt.gze"},
          {"sub/b.dat", "sub/b.dat.gze"},
          {"sub/deep/c.log", "sub/deep/c.log.enc"},
          {"sub/deep/empty.bin", "sub/deep/empty.bin.gze"}}},
        {"single-file zips",
         zip,
         {{"a.txt", "a.txt.zip"},
          {"sub/b.dat", "sub/b.dat.zip"},
          {"sub/deep/c.log", "sub/deep/c.log.zip"},
          {"sub/deep/empty.bin", "sub/deep/empty.bin.zip"}}},
        {"AES single-file zips",
         aesZip,
         {{"a.txt", "a.txt.zip"},
          {"sub/b.dat", "sub/b.dat.zip"},
          {"sub/deep/c.log", "sub/deep/c.log.zip"},
          {"sub/deep/empty.bin", "sub/deep/empty.bin.zip"}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(Dst());
        Keys keys = c.keys;
        keys["DestMode"] = "2";
        const std::string task = WriteTask(keys);
        TRunResult r = RunOk(task, CopiedText(4));
        std::vector<std::string> expected;
        for (const auto& [src, dst] : c.stored)
            expected.push_back(dst);
        std::sort(expected.begin(), expected.end());
        ASSERT_EQ(FilesBelow(Dst()), expected) << r.log;
        for (const auto& [src, dst] : c.stored) {
            SCOPED_TRACE(dst);
            EXPECT_EQ(Decode(Dst(dst)), ReadFileBytes(Src(src)));
            if (dst.ends_with(".zip")) {
                int keyMode = 0;
                EXPECT_EQ(GetZipEncryption(Dst(dst), keyMode), c.keys.count("Password") > 0);
            }
            EXPECT_EQ(FileMTime(Dst(dst)), T0);
        }
        // The stored forms stand for their files: nothing is copied again.
        RunOk(task, CopiedText(0));
        EXPECT_EQ(FilesBelow(Dst()), expected);
    }
}

// ---- the zip archive of a run

TEST_F(BackupMatrixTest, RunArchiveIsEncryptedSplitOrKeptAsNumberedOlderVersions)
{
    VASTREL_REQUIRE_TOOL("unzip");
    VASTREL_REQUIRE_TOOL("7z");
    // Data that does not compress, so that the archive needs several segments of 64 KiB (the smallest
    // split size).
    std::string noise(150000, '\0');
    uint32_t x = 12345;
    for (auto& ch : noise) {
        x = x * 1103515245u + 12345u;
        ch = static_cast<char>(x >> 24);
    }
    Change("sub/b.dat", noise, T0);
    const TreeMap source = Tree(Src());
    const std::string out = sandbox.Path("x");

    // AES: 7z reads the archive back with the password.
    Keys keys = Encrypted();
    keys["DestMode"] = "4";
    RunOk(WriteTask(keys), CopiedText(4));
    ASSERT_EQ(FilesBelow(Dst()), std::vector<std::string>{"arch.zip"});
    ShellResult x7 = RunShell("7z x -y -p" + ShellQuote(Password) + " -o" + ShellQuote(out) + " " +
                              ShellQuote(Dst("arch.zip")));
    EXPECT_EQ(x7.exitCode, 0) << x7.output;
    EXPECT_EQ(Tree(out + "/" + SrcRel()), source);
    ShellResult plain = RunShell("unzip -p " + ShellQuote(Dst("arch.zip")) + " " +
                                 ShellQuote(SrcRel() + "a.txt") + " </dev/null");
    EXPECT_NE(plain.output, "alpha\n") << "the entries need the password";

    // AES with encrypted names: other readers see numbers, our reader the names.
    fs::remove_all(Dst());
    fs::remove_all(out);
    keys["EncryptFilenames"] = "1";
    RunOk(WriteTask(keys), CopiedText(4));
    ShellResult names = RunShell("unzip -Z1 " + ShellQuote(Dst("arch.zip")), "", false);
    EXPECT_FALSE(Contains(names.output, "b.dat")) << names.output;
    EXPECT_TRUE(Contains(names.output, "00000001")) << names.output;
    TZipRead reader(Dst("arch.zip"), Password, 0, 65536);
    reader.ReadDirectory();
    for (int i = 0; i < reader.Directory().Count(); ++i) {
        const std::string name = reader.Filename(i);
        if (reader.Directory().Objects(i)->IsDir) {
            fs::create_directories(out + "/" + name);
        } else {
            fs::create_directories(fs::path(out + "/" + name).parent_path());
            reader.ExtractToFile(i, out + "/" + name, false);
        }
    }
    EXPECT_EQ(Tree(out + "/" + SrcRel()), source);

    // Split into segments of 64 KiB, which 7z reads as one archive.
    fs::remove_all(Dst());
    fs::remove_all(out);
    RunOk(WriteTask({{"DestMode", "4"}, {"ZipSize", "65536"}}), CopiedText(4));
    EXPECT_EQ(FilesBelow(Dst()), (std::vector<std::string>{"arch.z01", "arch.z02", "arch.zip"}));
    for (const char* segment : {"arch.z01", "arch.z02"})
        EXPECT_EQ(fs::file_size(Dst(segment)), 65536u) << segment;
    ShellResult split = RunShell("7z x -y -o" + ShellQuote(out) + " " + ShellQuote(Dst("arch.zip")));
    EXPECT_EQ(split.exitCode, 0) << split.output;
    EXPECT_EQ(Tree(out + "/" + SrcRel()), source);

    // Older archives are kept as numbered versions, the newest as version 01.
    fs::remove_all(Dst());
    const std::string task = WriteTask({{"DestMode", "4"}, {"BakFiles", "1"}, {"BakSuffix", "bak-#3"}});
    for (int k = 0; k <= 2; ++k) {
        Change("a.txt", "alpha " + std::to_string(k) + "\n", T0 + 60 * k);
        RunOk(task, CopiedText(4));
    }
    EXPECT_EQ(FilesBelow(Dst()),
              (std::vector<std::string>{"arch.bak-01.zip", "arch.bak-02.zip", "arch.zip"}));
    const std::string entry = ShellQuote(SrcRel() + "a.txt");
    for (const auto& [zip, k] :
         std::map<std::string, int>{{"arch.zip", 2}, {"arch.bak-01.zip", 1}, {"arch.bak-02.zip", 0}})
        EXPECT_EQ(RunShell("unzip -p " + ShellQuote(Dst(zip)) + " " + entry, "", false).output,
                  "alpha " + std::to_string(k) + "\n")
            << zip;
}

// ---- folders and archives that receive nothing

TEST_F(BackupMatrixTest, FoldersAndArchivesThatReceiveNothingLeaveNoTrace)
{
    struct Case
    {
        std::string name;
        Keys keys;
        bool emptySource;               // the source holds empty folders only
        std::vector<std::string> files; // the destination afterwards (files and, with "/", folders)
    };
    const Case cases[] = {
        {"empty folders are made without the option",
         {{"DestMode", "2"}},
         false,
         {"a.txt", "sub/", "sub/b.dat", "sub/deep/", "sub/deep/c.log", "sub/deep/empty.bin", "void/",
          "void/inner/"}},
        {"empty folders are left out with it",
         {{"DestMode", "2"}, {"EmptyDirs", "1"}},
         false,
         {"a.txt", "sub/", "sub/b.dat", "sub/deep/", "sub/deep/c.log", "sub/deep/empty.bin"}},
        {"a dated folder of a run without files is removed",
         {{"DestMode", "2"}, {"Destination", Dst("%date%")}, {"EmptyDirs", "1"}},
         true,
         {"arch.zip"}},
        {"an empty run archive leaves the old one alone",
         {{"DestMode", "4"}, {"EmptyDirs", "1"}},
         true,
         {"arch.zip"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(Dst());
        MakeSource();
        if (c.emptySource) {
            fs::remove_all(Src());
            fs::create_directories(Src("void/inner"));
            WriteFileBytes(Dst("arch.zip"), "an older archive");
        }
        fs::create_directories(Src("void/inner"));
        RunOk(WriteTask(c.keys), CopiedText(c.emptySource ? 0 : 4));
        std::vector<std::string> found;
        for (const auto& [path, content] : Tree(Dst()))
            found.push_back(path);
        EXPECT_EQ(found, c.files);
        if (c.emptySource) {
            EXPECT_EQ(ReadFileBytes(Dst("arch.zip")), "an older archive");
        }
    }
}

// ---- compare modes

TEST_F(BackupMatrixTest, CompareModesDecideFromTimesSizesAndTheSummerTimeHour)
{
    // Each change applies to a file of its own ("f0.txt", "f1.txt" ...) copied by a first run.
    struct Edit
    {
        std::string content; // the changed source; empty: unchanged
        int64_t shift;       // seconds added to the source's time
        bool copied;
    };
    struct Group
    {
        int compareMode;
        int ignoreDst;
        std::vector<Edit> changes;
    };
    const Group groups[] = {
        {0, 0, {{"", 100, true}, {"", -100, false}, {"", 2, false}}},
        {1, 0, {{"", -100, true}, {"", -2, false}, {"alpha!\n", 0, false}}},
        {2, 0, {{"alpha!\n", 0, true}, {"", 1, false}, {"", -100, true}}},
        {3, 0, {{"", 500, false}, {"ALPHA\n", 0, false}, {"alpha!\n", 0, true}}},
        {0, 1, {{"", 3600, false}, {"", 3603, true}, {"", 7200, true}}},
        {1, 1, {{"", -3600, false}, {"", -3700, true}}},
        {0, 2, {{"", 3600, true}}},
    };
    for (const auto& g : groups) {
        SCOPED_TRACE("CompareMode " + std::to_string(g.compareMode) + ", IgnoreDst " +
                     std::to_string(g.ignoreDst));
        fs::remove_all(Dst());
        fs::remove_all(Src());
        const size_t n = g.changes.size();
        for (size_t i = 0; i < n; ++i)
            Change("f" + std::to_string(i) + ".txt", "alpha\n", T0);
        const std::string task = WriteTask({{"DestMode", "2"},
                                            {"Verify", "0"},
                                            {"CompareMode", std::to_string(g.compareMode)},
                                            {"IgnoreDst", std::to_string(g.ignoreDst)},
                                            {"Timespan", "2"}});
        RunOk(task, CopiedText(static_cast<int>(n), false));
        int copied = 0;
        for (size_t i = 0; i < n; ++i) {
            const auto& c = g.changes[i];
            Change("f" + std::to_string(i) + ".txt", c.content.empty() ? "alpha\n" : c.content, T0 + c.shift);
            copied += c.copied;
        }
        RunOk(task, CopiedText(copied, false));
        for (size_t i = 0; i < n; ++i) {
            const auto& c = g.changes[i];
            const std::string name = "f" + std::to_string(i) + ".txt";
            SCOPED_TRACE(name + ": content \"" + c.content + "\", shift " + std::to_string(c.shift));
            EXPECT_EQ(ReadFileBytes(Dst(name)), c.copied ? ReadFileBytes(Src(name)) : "alpha\n");
            EXPECT_EQ(FileMTime(Dst(name)), c.copied ? T0 + c.shift : T0);
        }
    }
}

// ---- backup modes

TEST_F(BackupMatrixTest, FullDifferentialAndIncrementalRunsFollowTheArchiveBits)
{
    const std::string task = Dst("%mode%");
    const Keys full = {{"Destination", task}, {"DestMode", "2"}, {"ClearDest", "1"}, {"ArchBit", "1"}};
    const Keys diff = {{"Destination", task}, {"DestMode", "2"}, {"ClearDest", "1"}, {"UseArch", "1"}};
    const Keys incr = {
        {"Destination", task}, {"DestMode", "2"}, {"ClearDest", "1"}, {"UseArch", "1"}, {"ArchBit", "1"}};
    auto archiveBit = [this](const std::string& rel) {
        return (PosixFileGetAttr(Src(rel), true) & static_cast<int>(faArchive)) != 0;
    };
    const std::vector<std::string> all = {"$TimeStamp.qvu", "a.txt", "sub/b.dat", "sub/deep/c.log",
                                          "sub/deep/empty.bin"};

    // A full backup copies everything into "Full" and resets every archive bit.
    RunOk(WriteTask(full), CopiedText(4));
    EXPECT_EQ(FilesBelow(Dst("Full")), all);
    for (const char* f : {"a.txt", "sub/b.dat", "sub/deep/c.log", "sub/deep/empty.bin"})
        EXPECT_FALSE(archiveBit(f)) << f;

    // Differential runs copy every file changed since, and leave the bits set.
    Change("a.txt", "alpha 2\n", T0 + 100);
    EXPECT_TRUE(archiveBit("a.txt"));
    RunOk(WriteTask(diff), CopiedText(1));
    EXPECT_EQ(FilesBelow(Dst("Diff")), (std::vector<std::string>{"$TimeStamp.qvu", "a.txt"}));
    Change("sub/deep/c.log", "gamma 2\n", T0 + 100);
    RunOk(WriteTask(diff), CopiedText(2));
    EXPECT_EQ(FilesBelow(Dst("Diff")),
              (std::vector<std::string>{"$TimeStamp.qvu", "a.txt", "sub/deep/c.log"}));
    EXPECT_TRUE(archiveBit("a.txt"));

    // Incremental runs copy the changed files and reset their bits; the destination is cleared only once
    // a day, so the second run adds to the first.
    RunOk(WriteTask(incr), CopiedText(2));
    EXPECT_FALSE(archiveBit("a.txt"));
    EXPECT_FALSE(archiveBit("sub/deep/c.log"));
    Change("sub/b.dat", "beta 2\n", T0 + 100);
    RunOk(WriteTask(incr), CopiedText(1));
    EXPECT_EQ(FilesBelow(Dst("Incr")),
              (std::vector<std::string>{"$TimeStamp.qvu", "a.txt", "sub/b.dat", "sub/deep/c.log"}));
    EXPECT_EQ(ReadFileBytes(Dst("Incr/sub/b.dat")), "beta 2\n");

    // A full backup clears its destination every time.
    WriteFileBytes(Dst("Full/stray.txt"), "stray");
    RunOk(WriteTask(full), CopiedText(4));
    EXPECT_EQ(FilesBelow(Dst("Full")), all);
    EXPECT_EQ(ReadFileBytes(Dst("Full/sub/b.dat")), "beta 2\n");
    // An update run without archive bits copies by time only.
    RunOk(WriteTask({{"Destination", task}, {"DestMode", "2"}}), CopiedText(4));
    RunOk(WriteTask({{"Destination", task}, {"DestMode", "2"}}), CopiedText(0));
    EXPECT_EQ(FilesBelow(Dst("Updt")), (std::vector<std::string>(all.begin() + 1, all.end())));
}

// ---- older versions

std::string Today()
{
    std::time_t now = std::time(nullptr);
    char text[16];
    std::strftime(text, sizeof text, "%Y-%m-%d", std::localtime(&now));
    return text;
}

TEST_F(BackupMatrixTest, ReplacedFilesAreKeptAsOlderVersionsUnderTheirConfiguredNames)
{
    // Version k of c.log is "version k" with the time T0 + 60 k; version 0 is the original.
    auto version = [](int k) {
        return k == 0 ? std::string("gamma gamma\n") : "version " + std::to_string(k) + "\n";
    };
    const std::string deep = "sub/deep/";
    struct Case
    {
        std::string name;
        int destMode;
        Keys keys;
        int changes;
        std::map<std::string, int> expected; // destination file (relative to the layout root) -> version
    };
    const std::string drv = "Drv/" + SrcRel();
    const Case cases[] = {
        {"single version with a suffix",
         2,
         {{"BakSuffix", "bak"}},
         2,
         {{deep + "c.log", 2}, {deep + "c.bak.log", 1}}},
        {"three numbered versions",
         2,
         {{"BakSuffix", "bak-#3"}},
         4,
         {{deep + "c.log", 4},
          {deep + "c.bak-1.log", 3},
          {deep + "c.bak-2.log", 2},
          {deep + "c.bak-3.log", 1}}},
        {"two-digit numbers above nine",
         2,
         {{"BakSuffix", "v#12"}},
         2,
         {{deep + "c.log", 2}, {deep + "c.v01.log", 1}, {deep + "c.v02.log", 0}}},
        {"the replaced file's time in the name",
         2,
         {{"BakSuffix", "bak%fdate%"}},
         2,
         {{deep + "c.log", 2},
          {deep + "c.bak2023-11-14-22-14.log", 1},
          {deep + "c.bak2023-11-14-22-13.log", 0}}},
        {"moved to a sub-folder",
         2,
         {{"BakSuffix", "old"}, {"BakSecMode", "1"}},
         1,
         {{deep + "c.log", 1}, {deep + "~bak/c.old.log", 0}}},
        {"moved to a separate folder",
         1,
         {{"BakSuffix", "old"}, {"BakSecMode", "2"}},
         1,
         {{SrcRel() + deep + "c.log", 1}, {SrcRel() + "~bak/" + deep + "c.old.log", 0}}},
        {"moved to a folder in the root",
         1,
         {{"BakSuffix", "old"}, {"BakSecMode", "3"}},
         1,
         {{SrcRel() + deep + "c.log", 1}, {"~bak/" + SrcRel() + deep + "c.old.log", 0}}},
        {"separated by backup date",
         0,
         {{"BakSuffix", ""}, {"BakSecMode", "4"}},
         1,
         {{drv + deep + "c.log", 1}, {"Drv/~bak-" + Today() + "/" + SrcRel() + deep + "c.log", 0}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(Dst());
        Change("sub/deep/c.log", version(0), T0);
        Keys keys = c.keys;
        keys["BakFiles"] = "1";
        keys["DestMode"] = std::to_string(c.destMode);
        const std::string task = WriteTask(keys);
        RunOk(task, CopiedText(4));
        for (int k = 1; k <= c.changes; ++k) {
            Change("sub/deep/c.log", version(k), T0 + 60 * k);
            RunOk(task, CopiedText(1));
        }
        std::vector<std::string> files = FilesBelow(Dst());
        std::erase_if(files, [](const std::string& f) { return !f.ends_with(".log"); });
        std::vector<std::string> expected;
        for (const auto& [file, k] : c.expected) {
            expected.push_back(file);
            if (fs::exists(Dst(file))) {
                EXPECT_EQ(ReadFileBytes(Dst(file)), version(k)) << file;
            }
        }
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(files, expected);
    }
}

// ---- synchronisation

TEST_F(BackupMatrixTest, SynchronisationDeletesOrKeepsWhatTheSourceNoLongerHas)
{
    struct Case
    {
        std::string name;
        Keys keys;
        std::string versionAfterSecondRun; // an older version that synchronisation must spare
        std::vector<std::string> files;    // the destination after the third run
        std::string deletedLine;
    };
    const Case cases[] = {
        {"deleted after the copy", {}, "", {"sub/b.dat"}, "Synchronization: 4 files deleted"},
        {"deleted before the copy",
         {{"SyncBefore", "1"}},
         "",
         {"sub/b.dat"},
         "Synchronization: 4 files deleted"},
        {"stored compressed", {{"Compress", "1"}}, "", {"sub/b.dat.gz"}, "Synchronization: 4 files deleted"},
        {"sync copies in place",
         {{"SyncFiles", "1"}},
         "",
         {"a.sync.txt", "stray.sync.txt", "sub/_deep/c.log", "sub/_deep/empty.bin", "sub/b.dat"},
         "Synchronization: 4 files deleted"},
        {"sync copies in a sub-folder",
         {{"SyncFiles", "1"}, {"SyncSecMode", "1"}},
         "",
         {"_sync/a.sync.txt", "_sync/stray.sync.txt", "sub/_sync/deep/c.log", "sub/_sync/deep/empty.bin",
          "sub/b.dat"},
         "Synchronization: 4 files deleted"},
        {"older versions in place go with their file",
         {{"BakFiles", "1"}, {"BakSuffix", "bak"}},
         "a.bak.txt",
         {"sub/b.dat"},
         "Synchronization: 5 files deleted"},
        {"older versions in a sub-folder go with their file",
         {{"BakFiles", "1"}, {"BakSuffix", "old"}, {"BakSecMode", "1"}},
         "~bak/a.old.txt",
         {"sub/b.dat"},
         "Synchronization: 4 files deleted"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(Dst());
        MakeSource();
        Keys keys = c.keys;
        keys["SyncMode"] = "1";
        keys["DestMode"] = "2";
        keys["Verify"] = "0";
        const std::string task = WriteTask(keys);
        RunOk(task, CopiedText(4, false));
        Change("a.txt", "alpha 2\n", T0 + 100);
        RunOk(task, CopiedText(1, false));
        if (!c.versionAfterSecondRun.empty()) {
            EXPECT_TRUE(fs::exists(Dst(c.versionAfterSecondRun)));
        }
        fs::remove(Src("a.txt"));
        fs::remove_all(Src("sub/deep"));
        WriteFileBytes(Dst("stray.txt"), "stray");
        TRunResult r = RunOk(task, CopiedText(0, false));
        EXPECT_TRUE(Contains(r.log, "          " + c.deletedLine)) << r.log;
        EXPECT_EQ(FilesBelow(Dst()), c.files);
        if (fs::exists(Dst("a.sync.txt"))) {
            EXPECT_EQ(ReadFileBytes(Dst("a.sync.txt")), "alpha 2\n");
        }
    }
}

TEST_F(BackupMatrixTest, FileNamesInLowerOrUpperCaseStayInStepWithTheirSources)
{
    struct Case
    {
        int changeNames;
        std::vector<std::string> files; // the destination; folders keep their names
    };
    const Case cases[] = {
        {1, {"Docs/mixed.txt", "a.txt", "sub/b.dat", "sub/deep/c.log", "sub/deep/empty.bin"}},
        {2, {"A.TXT", "Docs/MIXED.TXT", "sub/B.DAT", "sub/deep/C.LOG", "sub/deep/EMPTY.BIN"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("ChangeNames " + std::to_string(c.changeNames));
        fs::remove_all(Dst());
        WriteFileBytes(Src("Docs/Mixed.Txt"), "mixed\n");
        const std::string task = WriteTask({{"DestMode", "2"},
                                            {"Verify", "0"},
                                            {"SyncMode", "1"},
                                            {"ChangeNames", std::to_string(c.changeNames)}});
        // The copies keep their changed names: a second run neither copies nor deletes anything.
        TRunResult r = RunOk(task, CopiedText(5, false));
        EXPECT_TRUE(Contains(r.log, "Synchronization: No files deleted")) << r.log;
        EXPECT_EQ(FilesBelow(Dst()), c.files);
        r = RunOk(task, CopiedText(0, false));
        EXPECT_TRUE(Contains(r.log, "Synchronization: No files deleted")) << r.log;
        EXPECT_EQ(FilesBelow(Dst()), c.files);
        // A source file that is gone takes its copy along.
        fs::remove(Src("Docs/Mixed.Txt"));
        r = RunOk(task, CopiedText(0, false));
        EXPECT_TRUE(Contains(r.log, "Synchronization: 1 file deleted")) << r.log;
        std::vector<std::string> left = c.files;
        left.erase(left.begin() + (c.changeNames == 1 ? 0 : 1));
        EXPECT_EQ(FilesBelow(Dst()), left);
    }
}

TEST_F(BackupMatrixTest, AMissingEmptyOrUnmountedSourceNeverEmptiesTheDestination)
{
    struct Case
    {
        std::string name;
        std::string source; // the task's source folder
        bool emptySource;   // the source folder is there without anything in it
        int exitCode;
        std::string logLine;
    };
    const Case cases[] = {
        {"missing folder", sandbox.Path("gone"), false, 3,
         "Directory \"" + sandbox.Path("gone") + "\" not found!"},
        {"empty folder", Src(), true, 4, "The source folder is empty, its destination was not synchronized"},
        {"volume not mounted", ":VASTREL-NO-SUCH-VOLUME:/src", false, 3,
         "  *** Directory \":VASTREL-NO-SUCH-VOLUME:/src\" not found!"},
    };
    // The destination made by a first run must come through every case unchanged.
    RunOk(WriteTask({{"DestMode", "2"}}), CopiedText(4));
    const TreeMap dest = Tree(Dst());
    for (const auto& c : cases) {
        for (const char* before : {"0", "1"}) {
            SCOPED_TRACE(c.name + (std::string(before) == "1" ? ", before the copy" : ", after the copy"));
            MakeSource();
            if (c.emptySource) {
                for (const auto& e : fs::directory_iterator(Src()))
                    fs::remove_all(e.path());
            }
            TRunResult r =
                Run(WriteTask({{"DestMode", "2"}, {"SyncMode", "1"}, {"SyncBefore", before}}, {c.source}));
            EXPECT_EQ(r.exitCode, c.exitCode) << r.log;
            EXPECT_TRUE(Contains(r.log, c.logLine)) << r.log;
            EXPECT_EQ(Tree(Dst()), dest);
        }
    }
}

// ---- counters, log lines, statistics and exit codes

TEST_F(BackupMatrixTest, SecondUnchangedRunCopiesNothingAndTheStatisticsAreWrittenBack)
{
    const std::string task = WriteTask({{"DestMode", "2"}});
    const int64_t bytes = 6 + 12 + static_cast<int64_t>(Compressible().size());
    TRunResult first = RunOk(task, CopiedText(4));
    EXPECT_TRUE(Contains(first.log, "Copied and verified: \"a.txt\"")) << first.log;
    EXPECT_TRUE(Contains(first.log, "          Backup: 4 of 4 files copied (")) << first.log;
    std::string text = tasktest::FromUtf16File(ReadFileBytes(task));
    EXPECT_TRUE(Contains(text, "BackupCount=2\n")) << text;
    EXPECT_TRUE(std::regex_search(text, std::regex("\nLastBackup=[0-9]+[^\n]* [0-9]+:[0-9]+:[0-9]+\n")))
        << text;
    EXPECT_TRUE(Contains(text, "\nFileCount=4\n")) << text;
    EXPECT_TRUE(Contains(text, "\nByteCountH=0\n")) << text;
    EXPECT_TRUE(Contains(text, "\nByteCountL=" + std::to_string(bytes) + "\n")) << text;

    const auto inode = fs::status(Dst("sub/b.dat")).permissions();
    const uintmax_t links = fs::hard_link_count(Dst("sub/b.dat"));
    struct stat st
    {
    };
    ::stat(Dst("sub/b.dat").c_str(), &st);
    const ino_t ino = st.st_ino;
    TRunResult second = RunOk(task, CopiedText(0));
    EXPECT_TRUE(Contains(second.log, "          Backup: 0 of 4 files copied (0 B of ")) << second.log;
    EXPECT_FALSE(Contains(second.log, "Copied")) << second.log;
    ::stat(Dst("sub/b.dat").c_str(), &st);
    EXPECT_EQ(st.st_ino, ino) << "the copy was left alone";
    EXPECT_EQ(fs::status(Dst("sub/b.dat")).permissions(), inode);
    EXPECT_EQ(fs::hard_link_count(Dst("sub/b.dat")), links);
    text = tasktest::FromUtf16File(ReadFileBytes(task));
    EXPECT_TRUE(Contains(text, "BackupCount=3\n")) << text;
    EXPECT_TRUE(Contains(text, "\nFileCount=4\n")) << text;

    // A changed file replaces its copy, which the log marks as an update.
    Change("a.txt", "alpha 2\n", T0 + 100);
    TRunResult third = RunOk(task, CopiedText(1));
    EXPECT_TRUE(Contains(third.log, "      Copied and verified: \"a.txt\" (U)\r\n")) << third.log;
    EXPECT_TRUE(Contains(third.log, "          Backup: 1 of 4 files copied (8 B of ")) << third.log;
    EXPECT_EQ(ReadFileBytes(Dst("a.txt")), "alpha 2\n");
}

TEST_F(BackupMatrixTest, ExitCodeFollowsTheExitStateOfTheRun)
{
    struct Case
    {
        std::string name;
        Keys keys;
        std::string source;
        std::string blockedFile; // a file where the destination needs a folder
        int exitCode;
        std::string statusLine;
    };
    const Case cases[] = {
        {"success", {}, "", "", 0, "  Status: OK - Elapsed time: "},
        {"a file is in the way of a destination folder", {}, "", "sub", 0, "  Status: OK - Elapsed time: "},
        // with the full path below the destination, a file where its first folder belongs: the write
        // test of the folder that receives the source fails
        {"a destination folder cannot be made",
         {{"DestMode", "1"}},
         "",
         SrcRel().substr(0, SrcRel().find('/')),
         2,
         "\" not available for backup!"},
        {"source folder missing", {}, sandbox.Path("gone"), "", 3, "  Status: 1 error during backup"},
        {"destination not reachable",
         {{"Destination", "/proc/vastrel-no-such-dest"}},
         "",
         "",
         2,
         "  Status: "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(Dst());
        if (!c.blockedFile.empty())
            WriteFileBytes(Dst(c.blockedFile), "in the way");
        Keys keys = c.keys;
        keys.emplace("DestMode", "2");
        TRunResult r =
            Run(WriteTask(keys, c.source.empty() ? std::vector<std::string>{} : std::vector{c.source}));
        EXPECT_EQ(r.exitCode, c.exitCode) << r.log << r.output;
        EXPECT_TRUE(Contains(r.log, c.statusLine)) << r.log;
        EXPECT_FALSE(fs::exists(ConfigDir() + "Vastrel.lock"));
    }
}

// ---- log lines

using runtest::LogLines;

TEST_F(BackupMatrixTest, HeaderShowsTheBuildVersionAndNamesCannotForgeLogLines)
{
    // A file copied and one whose copy fails (a folder is in its way), both named to look like lines of
    // their own, and a task file named the same way: its name is in the start line of the run, which
    // the error log repeats.
    // The failing one meets another file under one stored name.
    BuildTree(Src(), {{"a\nFAKE LINE", "alpha\n", T0},
                      {"b\r\nFAKE ERROR\x1B[0m", "beta\n", T0},
                      {"b\r\nFAKE ERROR\x1B[0m.gz", "beta\n", T0}});
    const std::string task = sandbox.Path("t\nFAKE TASK.buj");
    fs::rename(WriteTask({{"DestMode", "2"}, {"Compress", "1"}, {"NoCompTypes", "GZ"}}), task);
    TRunResult r = Run(task);
    EXPECT_EQ(r.exitCode, 4) << r.log << r.output;
    EXPECT_EQ(Decode(Dst("a\nFAKE LINE.gz")), "alpha\n");
    const std::string errors = ReadFileBytes(ConfigDir() + "QvErrors.log");
    for (const std::string& text : {r.log, errors}) {
        SCOPED_TRACE(text);
        ASSERT_FALSE(text.empty());
        EXPECT_TRUE(std::regex_search(
            text,
            std::regex(R"(Vastrel - (32|64)-bit \(Version \d+\.\d+\.\d+\.\d+\) \[02\] - Data backup\r\n)")));
        EXPECT_TRUE(Contains(text, "t\\nFAKE TASK.buj\r\n"));
        for (const auto& line : LogLines(text)) {
            EXPECT_EQ(line.find_first_of("\r\n\x1B"), std::string::npos) << line;
            EXPECT_FALSE(line.starts_with("FAKE")) << line;
        }
    }
    EXPECT_TRUE(Contains(r.log, "\"a\\nFAKE LINE\"")) << r.log;
    EXPECT_TRUE(Contains(r.log, "b\\r\\nFAKE ERROR\\x1B[0m")) << r.log;
}

TEST_F(BackupMatrixTest, ZipMethodsNameTheArchiveAsTheDestinationOfEachFolder)
{
    const std::string docs = sandbox.Path("other/docs");
    BuildTree(docs, {{"d.txt", "delta\n", T0}});
    struct Case
    {
        int destMode;
        std::string zipName;
        std::map<std::string, std::string> dest; // source folder -> its destination line
        bool folderArchiveLines;                 // "Write to zip archive: " lines of the copy loop
    };
    const Case cases[] = {
        {4, "arch", {{Src(), Dst("arch.zip")}, {docs, Dst("arch.zip")}}, false},
        {5, "-arch", {{Src(), Dst("src-arch.zip")}, {docs, Dst("docs-arch.zip")}}, false},
        {7, "arch", {{Src(), Dst(Src().substr(1))}, {docs, Dst(docs.substr(1))}}, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("DestMode " + std::to_string(c.destMode));
        fs::remove_all(Dst());
        TRunResult r = RunOk(
            WriteTask({{"DestMode", std::to_string(c.destMode)}, {"ZipName", c.zipName}}, {Src(), docs}),
            CopiedText(1));
        // Each folder's source line is followed by its destination line.
        std::map<std::string, std::string> dest;
        std::string source;
        for (const auto& line : LogLines(r.log)) {
            if (line.starts_with("    Source: "))
                source = line.substr(12);
            else if (line.starts_with("    Dest.: ") && !source.empty())
                dest[std::exchange(source, "")] = line.substr(11);
        }
        EXPECT_EQ(dest, c.dest) << r.log;
        EXPECT_EQ(Contains(r.log, "Write to zip archive: "), c.folderArchiveLines) << r.log;
    }
}

TEST_F(BackupMatrixTest, ALogThatIsAFifoNeitherHoldsUpTheRunNorReceivesItsLines)
{
    struct Case
    {
        std::string name;
        std::string fifo; // made before the run, with no reader
        Keys keys;
        std::string collidingFile; // a source file that makes the run fail, so that the error log is written
        int exitCode;
    };
    const Case cases[] = {
        {"task log", sandbox.Path("task.fifo"), {{"LogName", sandbox.Path("task.fifo")}}, "", 0},
        {"error log", ConfigDir() + "QvErrors.log", {{"ChangeNames", "1"}}, "A.TXT", 4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(Dst());
        fs::create_directories(ConfigDir());
        ASSERT_EQ(::mkfifo(c.fifo.c_str(), 0600), 0);
        MakeSource();
        if (!c.collidingFile.empty())
            WriteFileBytes(Src(c.collidingFile), "meets a.txt under one name");
        Keys keys = c.keys;
        keys["DestMode"] = "2";
        TRunResult r = Run(WriteTask(keys), true);
        EXPECT_EQ(r.exitCode, c.exitCode) << r.log << r.output;
        EXPECT_TRUE(fs::is_regular_file(Dst("a.txt"))) << "the backup was made";
        EXPECT_TRUE(fs::is_fifo(fs::symlink_status(c.fifo)));
        fs::remove(c.fifo);
    }
}

} // namespace
