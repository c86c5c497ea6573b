// Backups written by the built program (`Vastrel /force task.buj`) in each stored form, restored by
// the restore program's engine and compared with their sources byte for byte.
#include <filesystem>
#include <gtest/gtest.h>
#include <map>

#include "RestoreTestHost.h"
#include "archive/ExtFileTools.h"
#include "archive/PasswordText.h"
#include "restore/RestoreEngine.h"
#include "restore/RestoreSettings.h"
#include "support/Files.h"
#include "support/Sandbox.h"
#include "support/Shell.h"
#include "support/TreeBuilder.h"

namespace fs = std::filesystem;

namespace {

constexpr int64_t T0 = 1700000000;
const std::string Password = "secret pass";
#ifdef VASTREL_EXE
const std::string VastrelExe = VASTREL_EXE;
#else
const std::string VastrelExe;
#endif

using Keys = std::map<std::string, std::string>;

// The tree below root with each file's content replaced by its size and checksum.
TreeMap Tree(const std::string& root)
{
    TreeMap tree = ReadTree(root);
    TreeMap out;
    for (auto& [path, content] : tree)
        if (!path.ends_with("/"))
            out[path] = std::to_string(content.size()) + " bytes, crc " +
                        std::to_string(UpdateCrc32(0, content.data(), content.size()));
    return out;
}

class RestoreWholeRunTest : public SandboxTest
{
protected:
    TRecordingHost host;
    TRestoreEngine engine{host};

    void SetUp() override
    {
        if (VastrelExe.empty())
            GTEST_SKIP() << "the program is not built";
        std::string noise(150000, '\0');
        uint32_t x = 12345;
        for (auto& ch : noise) {
            x = x * 1103515245u + 12345u;
            ch = static_cast<char>(x >> 24);
        }
        std::string text;
        for (int i = 0; text.size() < 40000; ++i)
            text += "line " + std::to_string(i % 97) + " of the restore test data\n";
        BuildTree(Src(), {{"a.txt", "alpha\n", T0},
                          {"sub/b.dat", text, T0},
                          {"sub/noise.bin", noise, T0},
                          {"sub/deep/c.log", "gamma gamma\n", T0},
                          {"sub/deep/empty.bin", "", T0}});
        engine.QvTempDir = sandbox.Path("tmp");
        fs::create_directories(engine.QvTempDir);
    }
    std::string Src(const std::string& rel = "") const
    {
        return sandbox.Path(rel.empty() ? "src" : "src/" + rel);
    }
    std::string Dst(const std::string& rel = "") const
    {
        return sandbox.Path(rel.empty() ? "dst" : "dst/" + rel);
    }
    std::string Out() const { return sandbox.Path("out"); }
    std::string SrcRel() const { return Src().substr(1) + "/"; }

    void Backup(const Keys& keys)
    {
        Keys global = {{"Destination", Dst()}, {"DriveId", "Drv?"}, {"LogFile", "2"},
                       {"NoCompTypes", "#"},   {"Compress", "0"},   {"Verify", "1"},
                       {"Timeout", "0"},       {"ZipName", "arch"}, {"BakPrefix", "~"},
                       {"SyncPrefix", "_"},    {"DirSuffix", ""},   {"SyncSuffix", "sync"}};
        for (const auto& [k, v] : keys)
            global[k] = v;
        std::string text = "[Global]\n";
        for (const auto& [k, v] : global)
            text += k + "=" + v + "\n";
        text += "DirCount=1\n[Dir000]\nSource=" + Src() + "\nEnabled=1\nBackupMode=1\n";
        WriteFileBytes(sandbox.Path("task.buj"), text);
        ShellResult r = RunShell(ShellQuote(VastrelExe) + " /force " + ShellQuote(sandbox.Path("task.buj")));
        ASSERT_EQ(r.exitCode, 0) << r.output
                                 << ReadFileBytes(sandbox.Path("home/.config/Vastrel6/Vastrel.log"));
    }
    static Keys Encrypted()
    {
        std::string encoded;
        do
            EncodePassword(UnscrambleKeyString(ProgramKeyString), Password, 64, encoded, false);
        while (encoded.find('"') != std::string::npos);
        return {{"Encrypt", "1"}, {"FixPassword", "1"}, {"Password", encoded}};
    }
    void Restart()
    {
        fs::remove_all(Out());
        engine.Target = Out();
        host = TRecordingHost();
    }
};

TEST_F(RestoreWholeRunTest, FolderBackupsOfEachStoredFormRestoreThroughTheCommandLine)
{
    const TreeMap source = Tree(Src());
    Keys gzip = {{"Compress", "1"}, {"NoCompTypes", "LOG"}};
    Keys enc = Encrypted();
    Keys gze = enc;
    gze.insert(gzip.begin(), gzip.end());
    Keys zip = {{"Compress", "1"}, {"CompressAsZip", "1"}, {"NoCompTypes", "LOG"}};
    Keys aesZip = enc;
    aesZip.insert(zip.begin(), zip.end());
    const std::pair<std::string, Keys> cases[] = {
        {"plain", {}},
        {"gzip", gzip},
        {"encrypted", enc},
        {"gzip and encrypted", gze},
        {"single-file zips", zip},
        {"AES single-file zips", aesZip},
    };
    for (const auto& [name, keys] : cases) {
        SCOPED_TRACE(name);
        fs::remove_all(Dst());
        Keys k = keys;
        k["DestMode"] = "2";
        Backup(k);
        Restart();
        // as the main program starts it: the destination folder, whole-directory mode
        TRestoreStart start = ResolveRestoreStart(ParseRestoreCommandLine({"/dir", "/path:" + Dst()}), "");
        ASSERT_EQ(start.Source, Dst());
        engine.Options.GzUnpack = engine.Options.ZipUnpack = true;
        host.Passwords = {{prOk, Password}};
        engine.RestoreDirectory(start.Source);
        EXPECT_EQ(Tree(Out()), source);
        EXPECT_EQ(FileMTime(Out() + "/sub/b.dat"), T0);
        EXPECT_LE(host.Prompts.size(), 1u) << "one password for the whole run";
        EXPECT_TRUE(host.DetailInfos.empty()) << host.Details.size();
    }
}

TEST_F(RestoreWholeRunTest, ZipArchiveBackupsRestoreWithPasswordsEncryptedNamesAndSegments)
{
    const TreeMap source = Tree(Src());
    struct Case
    {
        std::string name;
        Keys keys;
        std::deque<std::pair<TPromptResult, std::string>> passwords;
        size_t prompts;
    };
    Keys aes = Encrypted();
    Keys names = aes;
    names["EncryptFilenames"] = "1";
    const Case cases[] = {
        {"plain", {}, {}, 0},
        {"AES", aes, {{prOk, Password}}, 1},
        {"AES with encrypted names, a wrong password first", names, {{prOk, "wrong"}, {prOk, Password}}, 2},
        {"split", {{"ZipSize", "65536"}}, {}, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(Dst());
        Keys k = c.keys;
        k["DestMode"] = "4";
        Backup(k);
        Restart();
        TRestoreStart start =
            ResolveRestoreStart(ParseRestoreCommandLine({"/zip", "arch.zip", "/path:" + Dst()}), "");
        ASSERT_TRUE(start.ZipMode && start.SingleZip);
        host.Passwords = c.passwords;
        ASSERT_TRUE(engine.ScanZipArchive(start.ZipArchive));
        engine.RestoreFromZip();
        ASSERT_TRUE(fs::exists(Out() + "/" + SrcRel()))
            << testing::PrintToString(host.Prompts) << testing::PrintToString(host.Errors)
            << testing::PrintToString(host.Infos) << testing::PrintToString(host.Details);
        EXPECT_EQ(Tree(Out() + "/" + SrcRel()), source);
        EXPECT_EQ(host.Prompts.size(), c.prompts);
        EXPECT_TRUE(host.DetailInfos.empty())
            << (host.Details.empty() ? "" : host.Details[0] + host.Details[1]);
    }
}

TEST_F(RestoreWholeRunTest, PerFolderArchivesAndOlderVersionsRestoreAsOfADay)
{
    const TreeMap source = Tree(Src());
    Backup({{"DestMode", "7"}});
    Restart();
    engine.Options.ZipDirMode = true;
    ASSERT_TRUE(engine.ScanZipArchive(Dst(SrcRel() + "arch.zip")));
    engine.RestoreFromZip();
    EXPECT_EQ(Tree(Out()), source);

    // older versions: the file of before the change comes back as of the day before it
    fs::remove_all(Dst());
    const Keys versions = {{"DestMode", "2"}, {"BakFiles", "1"}, {"BakSuffix", "bak%fdate%"}};
    Backup(versions);
    WriteFileBytes(Src("a.txt"), "alpha 2\n");
    SetFileMTime(Src("a.txt"), T0 + 3 * 86400);
    Backup(versions);
    ASSERT_TRUE(fs::exists(Dst("a.bak2023-11-14-22-13.txt")));
    Restart();
    engine.Options.BakMode = bmInclude;
    engine.Options.BakSuffix = "bak#";
    engine.Options.BakDate = UnixTimeToDateTime(T0 + 86400);
    engine.RestoreDirectory(Dst());
    EXPECT_EQ(Tree(Out()), source);
    Restart();
    engine.Options.BakMode = bmExclude;
    engine.RestoreDirectory(Dst());
    EXPECT_EQ(ReadFileBytes(Out() + "/a.txt"), "alpha 2\n");
    EXPECT_FALSE(fs::exists(Out() + "/a.bak2023-11-14-22-13.txt"));
}

} // namespace
