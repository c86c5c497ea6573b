#include "backup/ZipRun.h"

#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "RunTestUtil.h"
#include "archive/ExtFileTools.h"
#include "backup/CopyLoop.h"
#include "backup/TaskFileReader.h"
#include "foundation/PathUtils.h"
#include "support/Files.h"
#include "support/Shell.h"

namespace fs = std::filesystem;

namespace {

const std::string Password = "secret pw";

std::string RandomData(size_t size, uint32_t seed)
{
    std::mt19937 gen(seed);
    std::string s(size, '\0');
    for (auto& c : s)
        c = static_cast<char>(gen() & 0xFF);
    return s;
}

// Every archive below dir (final names only: segments and temporary archives are listed apart).
std::vector<std::string> Archives(const std::string& dir)
{
    std::vector<std::string> found;
    if (!fs::exists(dir))
        return found;
    for (const auto& e : fs::recursive_directory_iterator(dir))
        if (e.is_regular_file() && e.path().extension() == ".zip")
            found.push_back(e.path().string());
    std::sort(found.begin(), found.end());
    return found;
}

std::vector<std::string> Leftovers(const std::string& dir)
{
    std::vector<std::string> found;
    if (!fs::exists(dir))
        return found;
    for (const auto& e : fs::recursive_directory_iterator(dir))
        if (e.path().filename().string().find(".tmp") != std::string::npos)
            found.push_back(e.path().string());
    return found;
}

class ZipRunTest : public runtest::RunFrameTest
{
protected:
    void SetUp() override
    {
        RunFrameTest::SetUp();
        // A generated tree: text, incompressible data over several split segments, a deep folder,
        // an empty folder and a name with blanks and non-ASCII letters.
        tree = {{"a.txt", "alpha alpha alpha\n"},
                {"sub/b.dat", RandomData(230000, 5)},
                {"sub/deep/c.log", std::string(40000, 'c')},
                {"Grüße und Tschüs.txt", "umlauts"},
                {"zero.bin", ""}};
        for (const auto& [name, data] : tree)
            WriteFileBytes(Src(name), data);
        fs::create_directories(Src("empty"));
    }
    std::string Src(const std::string& rel = "") { return sandbox.Path("src/" + rel); }
    std::string Dest(const std::string& rel = "") { return sandbox.Path("dest/" + rel); }
    // The destination folder of the source folder for methods 1 and 7 (the full path below the root).
    std::string FullPathDest() { return Dest(sandbox.Path("src").substr(1)); }

    std::string Task(const std::string& global)
    {
        std::string path = sandbox.Path("tasks/t.buj");
        fs::create_directories(sandbox.Path("tasks"));
        std::ofstream(path) << "[Global]\nDestination=" << Dest() << "\nDirCount=1\n"
                            << (global.find("LogFile=") == std::string::npos ? "LogFile=2\n" : "") << global
                            << "\n[Dir000]\nSource=" << Src() << "\nBackupMode=1\n";
        return path;
    }
    static std::string Encrypted()
    {
        return "Encrypt=1\nFixPassword=1\nPassword=" + taskfile::EncodePasswordText(Password) + "\n";
    }
    TBuResult Run(const std::string& global)
    {
        if (!attached) {
            AttachCopyLoop(engine, loop);
            attached = true;
        }
        return engine.DoBackupJob(0, iaQuiet, 3, Task(global));
    }
    std::string LogText() { return ReadFileBytes(host.DefaultLog); }

    // Extracts every archive below the destination with 7z and compares what comes out with the tree
    // (by file name: the tree's names are unique).
    void ExpectArchivesHoldTheTree(const std::string& password)
    {
        std::string out = sandbox.Path("x" + std::to_string(++extractions));
        for (const auto& zip : Archives(Dest())) {
            ShellResult r = RunShell("7z x -y -mcp=850 -p" + ShellQuote(password) + " -o" + ShellQuote(out) +
                                     " " + ShellQuote(zip));
            ASSERT_EQ(r.exitCode, 0) << zip << "\n" << r.output;
        }
        std::map<std::string, std::string> extracted;
        for (const auto& e : fs::recursive_directory_iterator(out))
            if (e.is_regular_file()) {
                // 7z writes names stored in the DOS code page as they are.
                std::string name = e.path().filename().string();
                if (name == AnsiToOemName(Utf8ToAnsi("Grüße und Tschüs.txt")))
                    name = "Grüße und Tschüs.txt";
                extracted[name] = ReadFileBytes(e.path().string());
            }
        ASSERT_EQ(extracted.size(), tree.size());
        for (const auto& [name, data] : tree)
            EXPECT_EQ(extracted[fs::path(name).filename().string()], data) << name;
    }

    std::map<std::string, std::string> tree;
    TRecordingProgress progress;
    TRunControl control;
    TBackupEngine engine{host, interaction, progress, control, log};
    TCopyLoop loop{engine.Task, log, control, progress, interaction};
    bool attached = false;
    int extractions = 0;
};

TEST_F(ZipRunTest, EveryZipMethodWritesVerifiedArchivesThatTheToolsAccept)
{
    VASTREL_REQUIRE_TOOL("7z");
    VASTREL_REQUIRE_TOOL("unzip");
    VASTREL_REQUIRE_TOOL("bsdtar");
    VASTREL_REQUIRE_TOOL("zip");
    struct TCase
    {
        int Method;
        bool Encrypt;
        int64_t SplitSize;
        size_t Archives; // final archives expected below the destination
    } cases[] = {
        {4, false, 0, 1},      {4, true, 0, 1},      {4, false, 100000, 1}, {4, true, 100000, 1},
        {5, false, 0, 1},      {5, true, 100000, 1}, {6, false, 0, 3},      {6, true, 0, 3},
        {7, false, 100000, 3}, {7, true, 100000, 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("method " + std::to_string(c.Method) + (c.Encrypt ? " AES" : "") +
                     (c.SplitSize ? " split" : ""));
        fs::remove_all(Dest());
        std::string global =
            "DestMode=" + std::to_string(c.Method) + "\nVerify=1\nZipSize=" + std::to_string(c.SplitSize) +
            "\n" + (c.Method == 5 ? "ZipName=-run\n" : "ZipName=Backup\n") + (c.Encrypt ? Encrypted() : "");
        EXPECT_EQ(Run(global), brOK);
        EXPECT_EQ(host.FExitState, 0);
        std::string text = LogText();
        EXPECT_NE(text.find("Status: 5 files copied and verified"), std::string::npos) << text;
        EXPECT_NE(text.find("was verified"), std::string::npos) << text;
        EXPECT_EQ(text.find("***"), std::string::npos) << text;
        std::vector<std::string> zips = Archives(Dest());
        ASSERT_EQ(zips.size(), c.Archives);
        EXPECT_TRUE(Leftovers(Dest()).empty());
        if (c.Method == 4) {
            EXPECT_EQ(zips[0], Dest("Backup.zip"));
        } else if (c.Method == 5) {
            EXPECT_EQ(zips[0], Dest("src-run.zip"));
        }
        for (const auto& zip : zips) {
            SCOPED_TRACE(zip);
            ShellResult t =
                RunShell("7z t -p" + ShellQuote(c.Encrypt ? Password : "none") + " " + ShellQuote(zip));
            EXPECT_EQ(t.exitCode, 0) << t.output;
            std::string whole = zip;
            if (c.SplitSize > 0 && fs::exists(GetZipSegmentName(zip, 0))) {
                // Info-ZIP and bsdtar read split archives once joined.
                whole = sandbox.Path("joined.zip");
                fs::remove(whole);
                ShellResult j = RunShell("zip -s 0 " + ShellQuote(zip) + " --out " + ShellQuote(whole));
                ASSERT_EQ(j.exitCode, 0) << j.output;
            }
            ShellResult b =
                RunShell("bsdtar " + (c.Encrypt ? "--passphrase " + ShellQuote(Password) + " " : "") +
                         "-tf " + ShellQuote(whole));
            EXPECT_EQ(b.exitCode, 0) << b.output;
            if (!c.Encrypt) {
                ShellResult u = RunShell("unzip -t " + ShellQuote(whole));
                EXPECT_EQ(u.exitCode, 0) << u.output;
            } else {
                EXPECT_NE(RunShell("7z t -pwrong " + ShellQuote(zip)).exitCode, 0);
            }
        }
        if (c.SplitSize > 0 && c.Method != 7) {
            EXPECT_TRUE(fs::exists(GetZipSegmentName(zips[0], 0)));
        }
        ExpectArchivesHoldTheTree(c.Encrypt ? Password : "none");
    }
}

TEST_F(ZipRunTest, OneArchivePerFolderSkipsFoldersWithoutFilesAndNamesEntriesInTheFolder)
{
    VASTREL_REQUIRE_TOOL("unzip");
    ASSERT_EQ(Run("DestMode=7\nZipName=Backup\nLogFile=3"), brOK);
    std::string root = FullPathDest();
    EXPECT_TRUE(fs::exists(root + "/Backup.zip"));
    EXPECT_TRUE(fs::exists(root + "/sub/Backup.zip"));
    EXPECT_TRUE(fs::exists(root + "/sub/deep/Backup.zip"));
    EXPECT_FALSE(fs::exists(root + "/empty/Backup.zip"));
    ShellResult l = RunShell("unzip -Z1 " + ShellQuote(root + "/sub/Backup.zip"));
    EXPECT_EQ(l.output, "b.dat\n");
    std::string text = LogText();
    EXPECT_NE(text.find("Delete empty zip archive: empty/Backup.zip"), std::string::npos) << text;
    EXPECT_NE(text.find("Add to zip archive: c.log"), std::string::npos) << text;
    EXPECT_NE(text.find("Write to zip archive: sub/deep/Backup.zip"), std::string::npos) << text;
}

TEST_F(ZipRunTest, ASecondRunReplacesEachFolderArchiveAndItsOldSegments)
{
    ASSERT_EQ(Run("DestMode=6\nZipName=Backup\nZipSize=65536"), brOK);
    auto zips = Archives(Dest());
    ASSERT_EQ(zips.size(), 3u);
    std::string subZip;
    for (const auto& z : zips)
        if (z.find("/sub/Backup.zip") != std::string::npos && z.find("/deep/") == std::string::npos)
            subZip = z;
    ASSERT_FALSE(subZip.empty());
    ASSERT_TRUE(fs::exists(GetZipSegmentName(subZip, 2)));
    // The large file shrinks: the new archive has no segments, and the old ones go with the old archive.
    WriteFileBytes(Src("sub/b.dat"), "small now");
    tree["sub/b.dat"] = "small now";
    ASSERT_EQ(Run("DestMode=6\nZipName=Backup\nZipSize=65536"), brOK);
    EXPECT_FALSE(fs::exists(GetZipSegmentName(subZip, 0)));
    EXPECT_FALSE(fs::exists(GetZipSegmentName(subZip, 2)));
    EXPECT_EQ(Archives(Dest()).size(), 3u);
    EXPECT_TRUE(Leftovers(Dest()).empty());
    ExpectArchivesHoldTheTree("none");
}

TEST_F(ZipRunTest, TheRunArchiveKeepsNumberedOlderVersions)
{
    std::string global = "DestMode=4\nZipName=A\nBakFiles=1\nBakSecMode=0\nBakSuffix=#3\n";
    for (int run = 1; run <= 5; ++run) {
        WriteFileBytes(Src("a.txt"), "state " + std::to_string(run));
        ASSERT_EQ(Run(global), brOK) << run;
    }
    std::vector<std::string> names;
    for (const auto& z : Archives(Dest()))
        names.push_back(fs::path(z).filename().string());
    EXPECT_EQ(names, (std::vector<std::string>{"A.01.zip", "A.02.zip", "A.03.zip", "A.zip"}));
    auto holds = [&](const std::string& zip, const std::string& state) {
        ShellResult r = RunShell("unzip -p " + ShellQuote(Dest(zip)) + " '*a.txt'");
        return r.output == state;
    };
    EXPECT_TRUE(holds("A.zip", "state 5"));
    EXPECT_TRUE(holds("A.01.zip", "state 4"));
    EXPECT_TRUE(holds("A.02.zip", "state 3"));
    EXPECT_TRUE(holds("A.03.zip", "state 2"));
}

TEST_F(ZipRunTest, WithArchiveBitsASecondRunWithNothingNewLeavesTheArchiveAsItWas)
{
    std::string global = "DestMode=4\nZipName=A\nUseArch=1\nArchBit=1\nEmptyDirs=1\n";
    ASSERT_EQ(Run(global), brOK);
    ASSERT_TRUE(fs::exists(Dest("A.zip")));
    std::string first = ReadFileBytes(Dest("A.zip"));
    EXPECT_NE(LogText().find("Status: 5 files copied"), std::string::npos);
    ASSERT_EQ(Run(global), brOK);
    EXPECT_NE(LogText().find("Status: No files copied"), std::string::npos) << LogText();
    EXPECT_EQ(ReadFileBytes(Dest("A.zip")), first);
    EXPECT_TRUE(Leftovers(Dest()).empty());
    // A changed file is the only content of the next archive.
    WriteFileBytes(Src("sub/b.dat"), "changed");
    ASSERT_EQ(Run(global), brOK);
    ShellResult l = RunShell("unzip -Z1 " + ShellQuote(Dest("A.zip")));
    EXPECT_NE(l.output.find("sub/b.dat"), std::string::npos) << l.output;
    EXPECT_EQ(l.output.find("a.txt"), std::string::npos) << l.output;
}

TEST_F(ZipRunTest, AnArchiveThatCannotBeCreatedFailsTheRun)
{
    struct TCase
    {
        std::string Global;
        std::string Final;
    } cases[] = {
        {"DestMode=4\nZipName=missing/A", "missing/A.zip"},
        {"DestMode=5\nZipName=-x/y", "src-x/y.zip"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Global);
        host.FExitState = 0;
        Run(c.Global);
        EXPECT_EQ(host.FExitState, 4);
        EXPECT_TRUE(Archives(Dest()).empty());
        EXPECT_NE(LogText().find("***"), std::string::npos) << LogText();
    }
}

TEST_F(ZipRunTest, AFullDiskIsNeverASuccessAndLeavesTheEarlierArchiveAlone)
{
    if (!fs::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full";
    struct TCase
    {
        std::string Global;
        std::string Final;
    } cases[] = {
        {"DestMode=4\nZipName=A", Dest("A.zip")},
        {"DestMode=4\nZipName=A\nEmptyDirs=1", Dest("A.zip")},
        {"DestMode=5\nZipName=-x", Dest("src-x.zip")},
        {"DestMode=7\nZipName=A", FullPathDest() + "/A.zip"},
        {"DestMode=7\nZipName=A\nZipSize=65536\nVerify=1", FullPathDest() + "/A.zip"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Global);
        fs::remove_all(Dest());
        WriteFileBytes(c.Final, "the archive of an earlier run");
        // The temporary archive lands on a full device.
        loop.Zip.RunTag = "0000cafe";
        std::string temp = InsertNameSuffix(c.Final, ".tmp-0000cafe");
        ASSERT_EQ(symlink("/dev/full", temp.c_str()), 0);
        host.FExitState = 0;
        Run(c.Global);
        EXPECT_NE(host.FExitState, 0);
        EXPECT_EQ(ReadFileBytes(c.Final), "the archive of an earlier run");
        EXPECT_FALSE(fs::exists(fs::symlink_status(temp))) << temp;
        EXPECT_FALSE(fs::exists(GetZipSegmentName(c.Final, 0)));
        EXPECT_NE(LogText().find("***"), std::string::npos);
    }
}

TEST_F(ZipRunTest, TwoSourceFoldersShareTheRunArchiveOrGetOneArchiveEach)
{
    VASTREL_REQUIRE_TOOL("unzip");
    WriteFileBytes(sandbox.Path("more/m.txt"), "more");
    auto twoFolders = [&](const std::string& global) {
        std::string path = sandbox.Path("tasks/two.buj");
        fs::create_directories(sandbox.Path("tasks"));
        std::ofstream(path) << "[Global]\nDestination=" << Dest() << "\nDirCount=2\n"
                            << global << "\n[Dir000]\nSource=" << Src()
                            << "\nBackupMode=1\n[Dir001]\nSource=" << sandbox.Path("more")
                            << "\nBackupMode=1\n";
        if (!attached) {
            AttachCopyLoop(engine, loop);
            attached = true;
        }
        return engine.DoBackupJob(0, iaQuiet, 3, path);
    };
    ASSERT_EQ(twoFolders("DestMode=4\nZipName=All\nVerify=1"), brOK);
    EXPECT_EQ(host.FExitState, 0);
    ASSERT_EQ(Archives(Dest()), std::vector<std::string>{Dest("All.zip")});
    // Entries are named by their path below the root.
    ShellResult l = RunShell("unzip -Z1 " + ShellQuote(Dest("All.zip")));
    EXPECT_NE(l.output.find(sandbox.Path("more/m.txt").substr(1)), std::string::npos) << l.output;
    EXPECT_NE(l.output.find(sandbox.Path("src/sub/deep/c.log").substr(1)), std::string::npos) << l.output;

    fs::remove_all(Dest());
    ASSERT_EQ(twoFolders("DestMode=5\nZipName=-%date%"), brOK);
    std::string date = FormatDateTime("yyyy-mm-dd", Now());
    EXPECT_EQ(Archives(Dest()),
              (std::vector<std::string>{Dest("more-" + date + ".zip"), Dest("src-" + date + ".zip")}));
    l = RunShell("unzip -Z1 " + ShellQuote(Dest("more-" + date + ".zip")));
    EXPECT_EQ(l.output, "m.txt\n");
}

TEST_F(ZipRunTest, KeyModeFollowsTheSettingOrThePasswordLength)
{
    EXPECT_EQ(GetKeyMode(ck128, std::string(40, 'x')), 1);
    EXPECT_EQ(GetKeyMode(ck256, "x"), 3);
    EXPECT_EQ(GetKeyMode(ckAuto, std::string(15, 'x')), 1);
    EXPECT_EQ(GetKeyMode(ckAuto, std::string(16, 'x')), 3);
    EXPECT_EQ(GetKeyMode(ckAuto, "ääääääääääääääää"), 3);
}

} // namespace
