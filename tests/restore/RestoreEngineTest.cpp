// The restore engine on backup folders: the overwrite rule, single files of each stored form with
// their passwords, selected files, whole folders with security copies, and files from schedule.
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "RestoreTestHost.h"
#include "archive/AesLib.h"
#include "archive/ExtFileTools.h"
#include "foundation/FileUtilsTimes.h"
#include "restore/RestoreEngine.h"
#include "rtl/Thread.h"
#include "support/Files.h"
#include "support/Sandbox.h"
#include "support/Shell.h"
#include "support/TreeBuilder.h"

namespace fs = std::filesystem;

namespace {

constexpr int64_t T0 = 1700000000; // 2023-11-14 22:13:20 UTC
const std::string Pwd = "restore secret";

int RunWorker(TCopyThread& thread)
{
    thread.Start();
    EXPECT_TRUE(WaitForCopyThread(thread, 0));
    return thread.ErrorCode();
}

class RestoreEngineTest : public SandboxTest
{
protected:
    TRecordingHost host;
    TRestoreEngine engine{host};

    void SetUp() override
    {
        engine.Target = Dst();
        engine.QvTempDir = sandbox.Path("tmp");
        fs::create_directories(engine.QvTempDir);
        fs::create_directories(Dst());
    }
    std::string Bak(const std::string& rel = "") const
    {
        return sandbox.Path(rel.empty() ? "bak" : "bak/" + rel);
    }
    std::string Dst(const std::string& rel = "") const
    {
        return sandbox.Path(rel.empty() ? "dst" : "dst/" + rel);
    }

    // Stores the plain file src as dest in the form its extension names (.enc, .gz, .gze, .zip).
    void Store(const std::string& content, const std::string& dest, int64_t mtime = T0,
               const std::string& pwd = Pwd)
    {
        const std::string plain = sandbox.Path("plain/" + fs::path(dest).filename().string());
        std::string name = plain;
        for (const char* ext : {".enc", ".gze", ".gz", ".zip"})
            if (name.ends_with(ext))
                name.erase(name.size() - std::string(ext).size());
        WriteFileBytes(name, content);
        SetFileMTime(name, mtime);
        fs::create_directories(fs::path(dest).parent_path());
        TEncryption enc(pwd, 3, 65536);
        const bool encrypted = dest.ends_with(".enc") || dest.ends_with(".gze");
        TCopyOptions options;
        if (dest.ends_with(".gz") || dest.ends_with(".gze"))
            options = TCopyOptions{coCompress};
        if (dest.ends_with(".zip"))
            options = TCopyOptions{coCompress, coZipCompress};
        TWinCopyThread thread(name, dest, encrypted ? &enc : nullptr, options, true, 65536);
        ASSERT_EQ(RunWorker(thread), 0) << dest;
        SetFileMTime(dest, mtime);
    }
};

// ---- the overwrite rule

TEST_F(RestoreEngineTest, OverwriteRuleComparesTimesWithToleranceAndSummerTimeOption)
{
    const std::string d = Dst("x.txt");
    WriteFileBytes(d, "old");
    SetFileMTime(d, T0);
    struct Case
    {
        TOverwriteMode mode;
        bool dst;
        int64_t source;
        bool allowed;
    };
    const Case cases[] = {
        {omOlder, false, T0 + 2, false},      {omOlder, false, T0 + 3, true},
        {omOlder, false, T0 - 100, false},    {omOlder, true, T0 + 3600, false},
        {omOlder, true, T0 + 3603, true},     {omOlder, true, T0 + 3, true},
        {omOlder, false, T0 + 3600, true},    {omAlways, false, T0 - 100, true},
        {omNever, false, T0 + 100000, false},
    };
    engine.Options.DeltaTime = 2;
    for (const auto& c : cases) {
        engine.Options.Overwrite = c.mode;
        engine.Options.DstIgnore = c.dst;
        EXPECT_EQ(engine.MayOverwrite(d, c.source), c.allowed)
            << "mode " << c.mode << " dst " << c.dst << " +" << c.source - T0;
    }
    engine.Options.Overwrite = omNever;
    EXPECT_TRUE(engine.MayOverwrite(Dst("missing.txt"), T0));
    // an allowed overwrite clears the write protection
    chmod(d.c_str(), 0444);
    engine.Options.Overwrite = omAlways;
    EXPECT_TRUE(engine.MayOverwrite(d, T0));
    struct stat st
    {
    };
    stat(d.c_str(), &st);
    EXPECT_TRUE(st.st_mode & S_IWUSR);
}

// ---- single files

TEST_F(RestoreEngineTest, EachStoredFormIsRestoredUnderItsOwnName)
{
    engine.Options.GzUnpack = engine.Options.ZipUnpack = true;
    engine.Options.Overwrite = omAlways;
    const std::string content = std::string(100000, 'x') + "end";
    for (const char* name : {"p.txt", "e.txt.enc", "g.txt.gz", "ge.txt.gze", "z.txt.zip"}) {
        SCOPED_TRACE(name);
        Store(content, Bak(name));
        host.Passwords.push_back({prOk, Pwd});
        std::string dest;
        EXPECT_EQ(engine.RestoreFile(Bak(name), Dst(), false, dest), 0);
        engine.ClearCryptPwd();
        EXPECT_EQ(dest, Dst(std::string(name).substr(0, std::string(name).find(".txt") + 4)));
        EXPECT_TRUE(ReadFileBytes(dest) == content);
        EXPECT_EQ(FileMTime(dest), T0);
        host.Passwords.clear();
    }
    // only the encrypted ones asked
    EXPECT_EQ(host.Prompts.size(), 2u);
}

TEST_F(RestoreEngineTest, AnEncryptedFileWithAnEmptyPasswordIsRestoredUnchanged)
{
    Store("secret data", Bak("a.txt.enc"));
    host.Passwords.push_back({prOk, ""});
    std::string dest;
    EXPECT_EQ(engine.RestoreFile(Bak("a.txt.enc"), Dst(), false, dest), 0);
    EXPECT_EQ(dest, Dst("a.txt.enc"));
    EXPECT_EQ(ReadFileBytes(dest), ReadFileBytes(Bak("a.txt.enc")));
}

TEST_F(RestoreEngineTest, AWrongPasswordIsAskedAgainAndNeverHarmsTheExistingFile)
{
    Store("the real content", Bak("a.txt.gze"));
    engine.Options.GzUnpack = true;
    engine.Options.Overwrite = omAlways;
    WriteFileBytes(Dst("a.txt"), "existing file");
    for (int i = 0; i < 3; ++i)
        host.Passwords.push_back({prOk, "wrong " + std::to_string(i)});
    std::string dest;
    EXPECT_EQ(engine.RestoreFile(Bak("a.txt.gze"), Dst(), false, dest), rrCancelled);
    ASSERT_EQ(host.Prompts.size(), 4u);
    EXPECT_NE(host.Prompts[0].find("requires a password"), std::string::npos);
    for (int i = 1; i < 4; ++i)
        EXPECT_NE(host.Prompts[static_cast<size_t>(i)].find("is invalid! Please try again!"),
                  std::string::npos);
    EXPECT_EQ(ReadFileBytes(Dst("a.txt")), "existing file");
    EXPECT_EQ(fs::directory_iterator(Dst()) == fs::directory_iterator(), false);
    EXPECT_EQ(std::distance(fs::directory_iterator(Dst()), fs::directory_iterator()), 1)
        << "no partial files";
    // the right one at last
    host.Prompts.clear();
    host.Passwords = {{prOk, "wrong"}, {prOk, Pwd}};
    EXPECT_EQ(engine.RestoreFile(Bak("a.txt.gze"), Dst(), false, dest), 0);
    EXPECT_EQ(ReadFileBytes(Dst("a.txt")), "the real content");
}

TEST_F(RestoreEngineTest, DamagedOrHostileGzipFilesNeitherEscapeNorReplaceExistingFiles)
{
    engine.Options.GzUnpack = true;
    engine.Options.Overwrite = omAlways;
    // a gzip file whose header cannot be read is copied unchanged
    WriteFileBytes(Bak("broken.gz"), "not gzip at all");
    std::string dest;
    EXPECT_EQ(engine.RestoreFile(Bak("broken.gz"), Dst(), false, dest), 0);
    EXPECT_EQ(dest, Dst("broken.gz"));
    // a stored name with folders: only its last part counts
    VASTREL_REQUIRE_TOOL("python3");
    const std::string evil = Bak("evil.gz");
    RunShell("/usr/bin/python3 -c \"import gzip,sys; f=open(sys.argv[1],'wb'); "
             "g=gzip.GzipFile(filename='../../outside.txt', mode='wb', fileobj=f); g.write(b'payload'); "
             "g.close()\" " +
             ShellQuote(evil));
    fs::create_directories(Dst("in"));
    EXPECT_EQ(engine.RestoreFile(evil, Dst("in"), false, dest), 0);
    EXPECT_EQ(dest, Dst("in/outside.txt"));
    EXPECT_FALSE(fs::exists(sandbox.Path("outside.txt")));
    // a truncated encrypted gzip file fails and leaves the existing file alone
    Store(std::string(300000, 'q'), Bak("t.txt.gze"));
    fs::resize_file(Bak("t.txt.gze"), fs::file_size(Bak("t.txt.gze")) / 2);
    WriteFileBytes(Dst("t.txt"), "keep me");
    host.Passwords.push_back({prOk, Pwd});
    const int result = engine.RestoreFile(Bak("t.txt.gze"), Dst(), false, dest);
    EXPECT_GT(result, 0);
    EXPECT_EQ(ReadFileBytes(Dst("t.txt")), "keep me");
    for (const auto& e : fs::directory_iterator(Dst()))
        EXPECT_FALSE(e.path().filename().string().starts_with(".")) << e.path();
}

// ---- selected files

TEST_F(RestoreEngineTest, OneFailingSelectedFileShowsItsErrorAtOnceTwoAreListed)
{
    BuildTree(Bak(), {{"a.txt", "a", T0}, {"b.txt", "b", T0}});
    // folders hold the names: the copies cannot be put in place
    fs::create_directories(Dst("a.txt/x"));
    fs::create_directories(Dst("b.txt/x"));
    engine.Options.Overwrite = omAlways;
    engine.RestoreSelectedFiles(Bak(), {"a.txt"});
    EXPECT_EQ(host.Errors.size(), 1u);
    EXPECT_TRUE(host.DetailInfos.empty());
    engine.RestoreSelectedFiles(Bak(), {"a.txt", "b.txt"});
    EXPECT_EQ(host.Errors.size(), 1u);
    ASSERT_EQ(host.DetailInfos.size(), 1u);
    EXPECT_EQ(host.DetailInfos[0], "0 files copied - 2 errors");
    EXPECT_EQ(host.Details.size(), 4u);
    EXPECT_TRUE(fs::is_directory(Dst("a.txt/x")));
}

TEST_F(RestoreEngineTest, SelectedFilesFollowTheOverwriteRuleAndLogEachFile)
{
    BuildTree(Bak(), {{"a.txt", "new a", T0 + 100}, {"b.txt", "new b", T0}});
    BuildTree(Dst(), {{"a.txt", "old a", T0}, {"b.txt", "same b", T0}});
    engine.StartLog(0);
    engine.RestoreSelectedFiles(Bak(), {"a.txt", "b.txt", "missing.txt"});
    EXPECT_EQ(ReadFileBytes(Dst("a.txt")), "new a");
    EXPECT_EQ(ReadFileBytes(Dst("b.txt")), "same b");
    EXPECT_EQ(host.Infos, std::vector<std::string>{"1 of 3 files restored"});
    const std::string log = engine.LogList().Text();
    EXPECT_NE(log.find("Restore: " + Bak("a.txt") + " to " + Dst()), std::string::npos) << log;
    EXPECT_NE(log.find("   => An existing file was not overwritten"), std::string::npos) << log;
    EXPECT_NE(log.find("1 of 3 files restored (No errors)"), std::string::npos) << log;
}

// ---- whole folders

TEST_F(RestoreEngineTest, SecurityCopiesAreIgnoredExcludedOrChosenByDate)
{
    // day D = 2024-01-04 (local midnight as UTC: TZ is UTC in the tests)
    const int64_t D = 1704326400;
    BuildTree(Bak(), {{"a.txt", "changed after D", D + 86400 + 10},
                      {"a.bak-2024-01-03.txt", "written on D-1", D - 86400 + 10},
                      {"a.bak-2024-01-01.txt", "written on D-3", D - 3 * 86400},
                      {"only-late.txt", "late", D + 2 * 86400},
                      {"sub/c.txt", "c", D - 10}});
    engine.Options.BakSuffix = "bak-#";
    engine.Options.BakDate = UnixTimeToDateTime(static_cast<uint32_t>(D));
    engine.Options.Overwrite = omAlways;
    struct Case
    {
        TBakMode mode;
        std::vector<std::string> files;
        std::string a;
    };
    const Case cases[] = {
        {bmIgnore,
         {"a.bak-2024-01-01.txt", "a.bak-2024-01-03.txt", "a.txt", "only-late.txt", "sub/c.txt"},
         "changed after D"},
        {bmExclude, {"a.txt", "only-late.txt", "sub/c.txt"}, "changed after D"},
        {bmInclude, {"a.txt", "sub/c.txt"}, "written on D-1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mode);
        fs::remove_all(Dst());
        engine.Options.BakMode = c.mode;
        engine.RestoreDirectory(Bak());
        std::vector<std::string> files;
        for (const auto& e : fs::recursive_directory_iterator(Dst()))
            if (e.is_regular_file())
                files.push_back(fs::relative(e.path(), Dst()).string());
        std::sort(files.begin(), files.end());
        EXPECT_EQ(files, c.files);
        EXPECT_EQ(ReadFileBytes(Dst("a.txt")), c.a);
    }
    // the preview of the include mode shows the chosen versions, oldest first
    TStringList lines;
    std::string summary;
    ASSERT_TRUE(engine.PreviewDirectory(Bak(), lines, summary));
    EXPECT_EQ(lines.Count(), 4) << lines.Text();
    EXPECT_TRUE(summary.starts_with("2 files totaling")) << summary;
    EXPECT_NE(summary.find("(≤ "), std::string::npos) << summary;
}

TEST_F(RestoreEngineTest, WholeFolderRunsKeepOwnZipsRemoveEmptyFoldersAndAskFirst)
{
    engine.Options.ZipUnpack = true;
    engine.Options.GzUnpack = true;
    Store("zipped", Bak("z.txt.zip"));
    VASTREL_REQUIRE_TOOL("zip");
    BuildTree(sandbox.Path("own"), {{"1.txt", "one"}, {"2.txt", "two"}});
    RunShell("cd " + ShellQuote(sandbox.Path("own")) + " && zip -q " + ShellQuote(Bak("mine.zip")) +
             " 1.txt 2.txt");
    fs::create_directories(Bak("empty/deeper"));
    engine.RestoreDirectory(Bak());
    EXPECT_EQ(ReadFileBytes(Dst("z.txt")), "zipped");
    EXPECT_EQ(ReadFileBytes(Dst("mine.zip")), ReadFileBytes(Bak("mine.zip")))
        << "the user's own zip stays whole";
    EXPECT_FALSE(fs::exists(Dst("empty")));
    EXPECT_EQ(host.Infos.back(), "2 of 2 files restored");
    // a destination that is not empty is used only after a Yes
    host.ConfirmAnswer = false;
    fs::remove(Dst("z.txt"));
    engine.RestoreDirectory(Bak());
    EXPECT_FALSE(fs::exists(Dst("z.txt")));
    EXPECT_EQ(host.Questions.back(), "Destination directory not empty - start restore anyway?");
    // a run that restores nothing removes the empty destination
    host.ConfirmAnswer = true;
    fs::remove_all(Dst());
    engine.FileFilter.SetMode(fmInclude);
    engine.FileFilter.SetFilter("*.none");
    engine.RestoreDirectory(Bak());
    EXPECT_FALSE(fs::exists(Dst()));
    // a folder that does not exist
    engine.RestoreDirectory(sandbox.Path("no such folder"));
    EXPECT_EQ(host.Errors.back(), "Directory \"" + sandbox.Path("no such folder") + "\" not found!");
}

// ---- files from schedule

TEST_F(RestoreEngineTest, ScheduleRestoresTheNewestVersionOnOrBeforeTheDay)
{
    const int64_t monday = 1704067200; // 2024-01-01
    const int64_t day = 86400;
    BuildTree(Bak(), {{"BD1/Docs/a.txt", "monday", monday + 100},
                      {"BD2/Docs/a.txt", "wednesday", monday + 2 * day + 100},
                      {"BD1/b.txt", "late evening", monday + 2 * day - 1},
                      {"BD2/b.txt", "next midnight", monday + 2 * day},
                      {"BD1/same.txt", "first", monday},
                      {"BD2/same.txt", "second", monday}});
    struct Case
    {
        int64_t date;
        std::string a, b, same;
    };
    const Case cases[] = {
        {monday + day, "monday", "late evening", "first"},
        {monday + 2 * day, "wednesday", "next midnight", "first"},
    };
    engine.Options.Overwrite = omAlways;
    for (const auto& c : cases) {
        fs::remove_all(Dst());
        engine.Options.RestoreDate = UnixTimeToDateTime(static_cast<uint32_t>(c.date));
        engine.ScanScheduleBackups(Bak(), false);
        EXPECT_EQ(ReadFileBytes(Dst("Docs/a.txt")), c.a);
        EXPECT_EQ(ReadFileBytes(Dst("b.txt")), c.b);
        EXPECT_EQ(ReadFileBytes(Dst("same.txt")), c.same);
    }
    EXPECT_EQ(host.Infos.back().substr(0, 22), "3 of 3 files restored ");
    // drive folders
    fs::remove_all(Bak());
    fs::remove_all(Dst());
    BuildTree(Bak(), {{"BD1/DrvE/Docs/a.txt", "e1", monday},
                      {"BD2/DrvE/Docs/a.txt", "e2", monday + 10},
                      {"BD2/DrvF/Docs/a.txt", "f", monday + 20}});
    engine.Options.DriveId = "DrvE";
    engine.ScanScheduleBackups(Bak(), false);
    EXPECT_EQ(ReadFileBytes(Dst("Docs/a.txt")), "e2");
    // the preview groups the files by folder
    engine.ScanScheduleBackups(Bak(), true);
    EXPECT_EQ(host.Previews, 1);
    EXPECT_EQ(host.PreviewLines.Count(), 2);
    EXPECT_EQ(host.PreviewLines[0], "*./Docs/");
}

TEST_F(RestoreEngineTest, ScheduleCountsADamagedGzipHeaderOnceAndGoesOn)
{
    engine.Options.GzUnpack = true;
    BuildTree(Bak(), {{"BD1/bad.txt.gz", "not a gzip header", T0}, {"BD1/ok.txt", "fine", T0}});
    engine.Options.RestoreDate = UnixTimeToDateTime(T0 + 86400);
    engine.StartLog(0);
    engine.ScanScheduleBackups(Bak(), false);
    EXPECT_EQ(ReadFileBytes(Dst("ok.txt")), "fine");
    ASSERT_EQ(host.DetailInfos.size(), 1u);
    EXPECT_EQ(host.DetailInfos[0], "1 of 2 files restored - 1 errors");
    const std::string log = engine.LogList().Text();
    EXPECT_EQ(std::count(log.begin(), log.end(), '*'), 3) << log;
    // zip archives are no schedule
    engine.ScanScheduleBackups(Bak("x.zip/in"), false);
    EXPECT_EQ(host.Errors.back(), "Zip archives are not supported to restore files from schedule!");
}

} // namespace
