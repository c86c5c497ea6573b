// The zip page's engine: listing single archives and trees of per-folder archives, restoring the
// selected entries, archives of other tools, and archives made to harm.
#include <filesystem>
#include <gtest/gtest.h>

#include "RestoreTestHost.h"
#include "foundation/FileUtilsTimes.h"
#include "restore/RestoreEngine.h"
#include "support/Files.h"
#include "support/Sandbox.h"
#include "support/Shell.h"
#include "support/TreeBuilder.h"

namespace fs = std::filesystem;

namespace {

constexpr int64_t T0 = 1700000000;

class RestoreZipTest : public SandboxTest
{
protected:
    TRecordingHost host;
    TRestoreEngine engine{host};

    void SetUp() override
    {
        engine.Target = Dst();
        engine.QvTempDir = sandbox.Path("tmp");
        fs::create_directories(engine.QvTempDir);
    }
    std::string Dst(const std::string& rel = "") const
    {
        return sandbox.Path(rel.empty() ? "dst" : "dst/" + rel);
    }

    // Info-ZIP zip of the files below folder (relative names), written to zipName.
    void Zip(const std::string& folder, const std::string& zipName, const std::string& files = ".")
    {
        fs::create_directories(fs::path(zipName).parent_path());
        ShellResult r =
            RunShell("cd " + ShellQuote(folder) + " && zip -q -r -X " + ShellQuote(zipName) + " " + files);
        ASSERT_EQ(r.exitCode, 0) << r.output;
    }
    // Writes an archive with Python's zipfile from a script body that has `z` open for writing.
    void PyZip(const std::string& zipName, const std::string& body)
    {
        ShellResult r = RunShell(
            "/usr/bin/python3 -c " +
            ShellQuote("import zipfile,sys\nz=zipfile.ZipFile(sys.argv[1],'w')\n" + body + "\nz.close()\n") +
            " " + ShellQuote(zipName));
        ASSERT_EQ(r.exitCode, 0) << r.output;
    }
    std::vector<std::string> Listing() const
    {
        std::vector<std::string> lines;
        for (int i = 0; i < engine.ZipFileList.Count(); ++i) {
            const auto& e = engine.ZipFileList.Items(i);
            lines.push_back(std::to_string(e.FType) + (e.IsSelected ? "+" : " ") +
                            engine.ZipFileList.Strings(i) + "|" + e.FDest);
        }
        return lines;
    }
    std::vector<std::string> FilesBelow(const std::string& root) const
    {
        std::vector<std::string> files;
        if (fs::exists(root))
            for (const auto& e : fs::recursive_directory_iterator(root))
                if (e.is_regular_file())
                    files.push_back(fs::relative(e.path(), root).string());
        std::sort(files.begin(), files.end());
        return files;
    }
};

TEST_F(RestoreZipTest, ASingleArchiveIsListedByFolderAndTheSelectedEntriesRestored)
{
    VASTREL_REQUIRE_TOOL("zip");
    BuildTree(sandbox.Path("src"),
              {{"a.txt", "alpha", T0}, {"docs/b.txt", "beta", T0}, {"docs/c.txt", "gamma", T0}});
    Zip(sandbox.Path("src"), sandbox.Path("bak/Backup.zip"), "a.txt docs/b.txt docs/c.txt");
    ASSERT_TRUE(engine.ScanZipArchive(sandbox.Path("bak/Backup.zip")));
    EXPECT_EQ(Listing(),
              (std::vector<std::string>{"0 Backup.zip|", "1 ./|", "2+./|", "3+a.txt|a.txt", "2+./docs|docs",
                                        "3+b.txt|docs/b.txt", "3+c.txt|docs/c.txt"}));
    EXPECT_TRUE(host.Prompts.empty());
    engine.ZipFileList.SetSelected(6, false);
    engine.RestoreFromZip();
    EXPECT_EQ(FilesBelow(Dst()), (std::vector<std::string>{"a.txt", "docs/b.txt"}));
    EXPECT_EQ(ReadFileBytes(Dst("docs/b.txt")), "beta");
    EXPECT_EQ(FileMTime(Dst("a.txt")), T0);
    EXPECT_EQ(host.Infos.back(), "2 files copied");
    // a second run with "Never" leaves the files and says so in the log
    engine.Options.Overwrite = omNever;
    engine.StartLog(0);
    engine.RestoreFromZip();
    EXPECT_EQ(host.Infos.back(), "No files copied");
    EXPECT_NE(engine.LogList().Text().find("An existing file was not overwritten"), std::string::npos);
    // no matching archive
    EXPECT_FALSE(engine.ScanZipArchive(sandbox.Path("bak/None*.zip")));
    EXPECT_EQ(host.Errors.back(), "No matching zip archive found in\r\n" + sandbox.Path("bak"));
}

TEST_F(RestoreZipTest, PerFolderArchivesAreListedAsATreeAndTheNewestVersionSelected)
{
    VASTREL_REQUIRE_TOOL("zip");
    const std::string r = sandbox.Path("R");
    BuildTree(sandbox.Path("s1"), {{"top.txt", "top", T0}, {"in/deep.txt", "hidden below", T0}});
    BuildTree(sandbox.Path("s2"), {{"a.txt", "docs a", T0}});
    BuildTree(sandbox.Path("s3"), {{"old.txt", "old", T0}});
    Zip(sandbox.Path("s1"), r + "/Backup.zip", "top.txt in/deep.txt");
    Zip(sandbox.Path("s2"), r + "/Docs/Backup.zip", "a.txt");
    Zip(sandbox.Path("s3"), r + "/Docs/Old/Backup.zip", "old.txt");
    engine.Options.ZipDirMode = true;
    ASSERT_TRUE(engine.ScanZipArchive(r + "/Backup.zip"));
    std::vector<std::string> names;
    for (int i = 0; i < engine.ZipFileList.Count(); ++i)
        if (engine.ZipFileList.FileType(i) == ftFile)
            names.push_back(engine.ZipFileList.Items(i).FDest);
    EXPECT_EQ(names, (std::vector<std::string>{"top.txt", "Docs/a.txt", "Docs/Old/old.txt"}))
        << "an entry in a sub-folder of a per-folder archive is not listed";
    engine.RestoreFromZip();
    EXPECT_EQ(ReadFileBytes(Dst("Docs/a.txt")), "docs a");
    EXPECT_EQ(FilesBelow(Dst()), (std::vector<std::string>{"Docs/Old/old.txt", "Docs/a.txt", "top.txt"}));

    // three archives of one folder holding a.txt with the times 1, 3 and 2: the one with 3 is chosen
    const std::string w = sandbox.Path("W");
    const int64_t times[] = {T0 + 10, T0 + 30, T0 + 20};
    for (int i = 0; i < 3; ++i) {
        const std::string s = sandbox.Path("v" + std::to_string(i));
        BuildTree(s, {{"a.txt", "version " + std::to_string(i), times[i]}});
        Zip(s, w + "/Backup-" + std::to_string(i) + ".zip", "a.txt");
    }
    ASSERT_TRUE(engine.ScanZipArchive(w + "/Backup-*.zip"));
    std::vector<std::string> selected;
    for (int i = 0; i < engine.ZipFileList.Count(); ++i)
        if (engine.ZipFileList.FileType(i) == ftFile && engine.ZipFileList.Selected(i))
            selected.push_back(engine.ZipFileList.Items(i).FSource + "@" +
                               std::to_string(DateTimeToUnixTime(engine.ZipFileList.Items(i).FTimeStamp)));
    EXPECT_EQ(selected, std::vector<std::string>{"a.txt@" + std::to_string(T0 + 30)});
}

TEST_F(RestoreZipTest, ArchivesOfOtherToolsWithAesOpenAndRestore)
{
    VASTREL_REQUIRE_TOOL("7z");
    BuildTree(sandbox.Path("src"), {{"x/one.txt", std::string(50000, 'o'), T0}, {"two.bin", "two", T0}});
    const std::string archive = sandbox.Path("seven.zip");
    ShellResult r =
        RunShell("cd " + ShellQuote(sandbox.Path("src")) + " && 7z a -tzip -mem=AES256 -pTopSecret " +
                 ShellQuote(archive) + " x/one.txt two.bin");
    ASSERT_EQ(r.exitCode, 0) << r.output;
    ASSERT_TRUE(engine.ScanZipArchive(archive));
    host.Passwords = {{prOk, "wrong"}, {prOk, "TopSecret"}};
    engine.RestoreFromZip();
    EXPECT_EQ(ReadFileBytes(Dst("x/one.txt")), std::string(50000, 'o'));
    EXPECT_EQ(ReadFileBytes(Dst("two.bin")), "two");
    ASSERT_EQ(host.Prompts.size(), 2u) << "asked once, and once again after the wrong password";
    EXPECT_NE(host.Prompts[1].find("is invalid! Please try again!"), std::string::npos);
    EXPECT_NE(host.Prompts[0].find("[Skip]"), std::string::npos);
    // Skip leaves the entries out, Cancel ends the run
    fs::remove_all(Dst());
    host.Passwords = {{prSkip, ""}, {prCancel, ""}};
    engine.RestoreFromZip();
    EXPECT_TRUE(FilesBelow(Dst()).empty());
    EXPECT_EQ(host.Passwords.size(), 0u);
}

TEST_F(RestoreZipTest, HostileArchivesWriteNothingOutsideTheTargetAndReplaceNothingByAPart)
{
    VASTREL_REQUIRE_TOOL("python3");
    const std::string evil = sandbox.Path("evil.zip");
    PyZip(evil, "z.writestr('../escaped.txt','up')\n"
                "z.writestr('/abs/escaped2.txt','abs')\n"
                "z.writestr('ok/../../escaped3.txt','mid')\n"
                "z.writestr('fine.txt','fine')");
    fs::create_directories(Dst());
    ASSERT_TRUE(engine.ScanZipArchive(evil));
    engine.RestoreFromZip();
    EXPECT_FALSE(fs::exists(sandbox.Path("escaped.txt")));
    EXPECT_FALSE(fs::exists("/abs/escaped2.txt"));
    EXPECT_FALSE(fs::exists(sandbox.Path("escaped3.txt")));
    for (const auto& f : FilesBelow(sandbox.Path()))
        EXPECT_TRUE(f.starts_with("dst/") || f == "evil.zip" || f.starts_with("home/")) << f;
    EXPECT_EQ(ReadFileBytes(Dst("fine.txt")), "fine");
    // the whole-folder restore inside the archive keeps to the target too
    fs::remove_all(Dst());
    fs::create_directories(Dst());
    engine.RestoreDirectory(evil);
    EXPECT_FALSE(fs::exists(sandbox.Path("escaped.txt")));
    EXPECT_EQ(ReadFileBytes(Dst("fine.txt")), "fine");

    // an entry larger than its archive claims: an error, and the existing file stays whole
    const std::string lying = sandbox.Path("lying.zip");
    PyZip(lying, "z.writestr(zipfile.ZipInfo('big.txt'), b'0123456789'*1000)");
    {
        std::string bytes = ReadFileBytes(lying);
        // the uncompressed size (stored method: both sizes) in the central directory says 10
        const size_t cd = bytes.rfind(std::string("PK\x01\x02", 4));
        ASSERT_NE(cd, std::string::npos);
        for (size_t off : {cd + 20, cd + 24, size_t{18}, size_t{22}}) {
            bytes[off] = 10;
            bytes[off + 1] = bytes[off + 2] = bytes[off + 3] = 0;
        }
        WriteFileBytes(lying, bytes);
    }
    WriteFileBytes(Dst("big.txt"), "existing");
    SetFileMTime(Dst("big.txt"), 100);
    ASSERT_TRUE(engine.ScanZipArchive(lying));
    engine.RestoreFromZip();
    const std::string big = ReadFileBytes(Dst("big.txt"));
    EXPECT_TRUE(big == "existing" || big == "0123456789") << big.size();
    EXPECT_NE(big.size(), 10000u);

    // a central directory that claims more entries than it holds, and one that points at itself
    const std::string looping = sandbox.Path("loop.zip");
    PyZip(looping, "z.writestr('a.txt','a')");
    {
        std::string bytes = ReadFileBytes(looping);
        const size_t eocd = bytes.rfind(std::string("PK\x05\x06", 4));
        ASSERT_NE(eocd, std::string::npos);
        bytes[eocd + 8] = bytes[eocd + 9] = bytes[eocd + 10] = bytes[eocd + 11] = '\xFF';
        WriteFileBytes(looping, bytes);
    }
    EXPECT_TRUE(engine.ScanZipArchive(looping));
    EXPECT_EQ(engine.ZipFileList.Count(), 2) << "the archive stays with its root and archive entries";
    engine.RestoreFromZip();
    EXPECT_FALSE(fs::exists(Dst("a.txt")) && ReadFileBytes(Dst("a.txt")) != "a");
    // a folder that is no backup: a clear message
    engine.Target = Dst("x");
    engine.RestoreDirectory(sandbox.Path("nothing.zip/inner"));
    EXPECT_EQ(host.Errors.back(), "File\r\n\"" + sandbox.Path("nothing.zip") + "\"\r\nnot found!");
}

TEST_F(RestoreZipTest, OpeningAnArchiveWithTwoEntriesOnlyCountsThem)
{
    VASTREL_REQUIRE_TOOL("zip");
    BuildTree(sandbox.Path("src"), {{"a.txt", "a", T0}, {"b.txt", "b", T0}});
    Zip(sandbox.Path("src"), sandbox.Path("two.zip"), "a.txt b.txt");
    std::string name;
    engine.OpenFile(sandbox.Path("two.zip"), name);
    EXPECT_EQ(host.Infos.back(), sandbox.Path("two.zip") + ": 2 files");
    EXPECT_EQ(FilesBelow(engine.QvTempDir).size(), 0u);
    // an entry inside it is extracted to the temporary folder
    EXPECT_EQ(engine.OpenFile(sandbox.Path("two.zip/b.txt"), name), 0);
    EXPECT_EQ(name, engine.QvTempDir + "/b.txt");
    EXPECT_EQ(ReadFileBytes(name), "b");
}

} // namespace
