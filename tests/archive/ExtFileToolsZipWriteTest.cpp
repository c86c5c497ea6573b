#include "archive/ExtFileToolsZipWrite.h"

#include <filesystem>
#include <set>

#include <thread>
#include <utility>

#include <gtest/gtest.h>

#include "archive/ExtFileToolsZipRead.h"
#include "archive/LittleEndian.h"
#include "archive/ZipTestUtil.h"
#include "support/Files.h"
#include "support/Sandbox.h"

using namespace ZipTest;
using namespace ZipUtil;
using namespace LittleEndian;
namespace fs = std::filesystem;

namespace {

const char* Python = "/usr/bin/python3";

// Lowers the zip64 limits for one test.
class TLimitsGuard
{
public:
    TLimitsGuard(int64_t bigEntry, int64_t max32, int64_t maxEntries) : FSaved(ZipLimits())
    {
        ZipLimits().BigEntry = bigEntry;
        ZipLimits().Max32 = max32;
        ZipLimits().MaxEntries16 = maxEntries;
    }
    ~TLimitsGuard() { ZipLimits() = FSaved; }

private:
    TZipLimits FSaved;
};

class ZipWriteTest : public SandboxTest
{
protected:
    struct TFile
    {
        std::string Name;
        std::string Data;
        bool Compress;
    };

    std::string Src(const std::string& rel = "") { return sandbox.Path("src/" + rel); }

    void MakeTree(const std::vector<TFile>& files)
    {
        fs::create_directories(Src());
        for (const auto& f : files)
            WriteFileBytes(Src(f.Name), f.Data);
    }

    // Writes the files (and their folders) into an archive.
    void WriteArchive(const std::string& zip, const std::vector<TFile>& files,
                      const std::string& password = "", int keyMode = 1, bool encNames = false,
                      int64_t maxSize = 0)
    {
        TZipWrite w(zip, Src(), maxSize, password, keyMode, 65536);
        w.SetEncryptNames(encNames);
        std::set<std::string> dirs;
        for (const auto& f : files) {
            fs::path p(f.Name);
            for (fs::path d = p.parent_path(); !d.empty(); d = d.parent_path())
                if (dirs.insert(d.string()).second)
                    w.AddDir(Src(d.string()));
            w.AddFile(Src(f.Name), f.Compress);
        }
        w.WriteDirectory();
        w.Verify();
    }

    // Reads the archive with our reader and compares every file entry with its source.
    void ExpectReadsBack(const std::string& zip, const std::vector<TFile>& files,
                         const std::string& password = "")
    {
        TZipRead r(zip, password, 0, 65536);
        r.ReadDirectory();
        fs::create_directories(sandbox.Path("out"));
        for (const auto& f : files) {
            int index = r.Directory().IndexOf(f.Name);
            ASSERT_GE(index, 0) << f.Name;
            std::string dest = sandbox.Path("out/" + std::to_string(index));
            r.ExtractToFile(index, dest, false);
            EXPECT_EQ(ReadFileBytes(dest), f.Data) << f.Name;
            r.CompareToFile(index, Src(f.Name));
        }
    }

    void ExpectToolsAccept(const std::string& zip, const std::string& password = "")
    {
        std::string p7 = password.empty() ? "" : " -p" + Quote(password);
        auto r7 = RunTool("7z t" + p7 + " " + Quote(zip));
        EXPECT_EQ(r7.ExitCode, 0) << r7.Output;
        std::string pb = password.empty() ? "" : " --passphrase " + Quote(password);
        auto rb = RunTool("bsdtar -tf " + Quote(zip) + pb);
        EXPECT_EQ(rb.ExitCode, 0) << rb.Output;
        auto rx = RunTool("bsdtar -xOf " + Quote(zip) + pb + " > /dev/null");
        EXPECT_EQ(rx.ExitCode, 0) << rx.Output;
        if (password.empty()) {
            auto ru = RunTool("unzip -t " + Quote(zip));
            EXPECT_EQ(ru.ExitCode, 0) << ru.Output;
            auto rp = RunTool(std::string(Python) +
                              " -c 'import sys,zipfile; z=zipfile.ZipFile(sys.argv[1]); "
                              "bad=z.testzip(); sys.exit(1 if bad else 0)' " +
                              Quote(zip));
            EXPECT_EQ(rp.ExitCode, 0) << rp.Output;
        }
    }

    std::vector<TFile> MixedFiles()
    {
        return {{"text.txt", TextData(300000), true},
                {"sub/random.bin", RandomData(70000), true},
                {"sub/stored.txt", TextData(5000, 9), false},
                {"sub/deeper/empty.txt", "", true},
                {"M\xC3\xBCller.txt", "oem name", true},
                {"\xCE\xA9mega \xE6\x97\xA5\xE6\x9C\xAC.txt", "utf-8 name", true},
                {"tiny.txt", "x", true}};
    }
};

TEST_F(ZipWriteTest, ArchiveOfStoredAndDeflatedEntriesPassesEveryTool)
{
    auto files = MixedFiles();
    MakeTree(files);
    std::string zip = sandbox.Path("plain.zip");
    WriteArchive(zip, files);
    ExpectToolsAccept(zip);
    ExpectReadsBack(zip, files);
    // Python sees the names as they were given.
    auto rp = RunTool(std::string(Python) +
                      " -c 'import sys,zipfile; print(\"|\".join(zipfile.ZipFile(sys.argv[1])"
                      ".namelist()))' " +
                      Quote(zip));
    EXPECT_NE(rp.Output.find("M\xC3\xBCller.txt"), std::string::npos) << rp.Output;
    EXPECT_NE(rp.Output.find("\xCE\xA9mega \xE6\x97\xA5\xE6\x9C\xAC.txt"), std::string::npos) << rp.Output;
}

TEST_F(ZipWriteTest, HeadersCarryTheSpecifiedFields)
{
    MakeTree({{"empty.txt", "", true}, {"abc.txt", TextData(1000), true}, {"Ω.txt", "x", false}});
    std::string zip = sandbox.Path("h.zip");
    {
        TZipWrite w(zip, Src(), "", 0, 0);
        w.AddFile(Src("empty.txt"), true);
        w.AddFile(Src("abc.txt"), true);
        w.AddFile(Src("Ω.txt"), false);
        w.WriteDirectory();
    }
    std::string b = ReadFileBytes(zip);
    auto u8 = [&](size_t o) { return reinterpret_cast<const uint8_t*>(b.data()) + o; };
    // An empty file: stored, sizes 0, version 20, no flags.
    EXPECT_EQ(Get32(u8(0)), ZipLocalSig);
    EXPECT_EQ(Get16(u8(4)), 20);
    EXPECT_EQ(Get16(u8(6)), 0);
    EXPECT_EQ(Get16(u8(8)), 0);
    EXPECT_EQ(Get32(u8(18)), 0u);
    // The deflated file: flag bit 1, method 8.
    size_t second = 30 + 9;
    EXPECT_EQ(Get16(u8(second + 6)), 2);
    EXPECT_EQ(Get16(u8(second + 8)), 8);
    TZipRead r(zip, "", 0, 0);
    r.ReadDirectory();
    ASSERT_EQ(r.Directory().Count(), 3);
    EXPECT_TRUE(r.Directory().Objects(0)->IsDir);
    EXPECT_FALSE(r.Directory().Objects(1)->IsDir);
    // A name outside the OEM table is stored in UTF-8 with bit 11.
    EXPECT_EQ(r.Directory().Objects(2)->GpFlag, 0x800);
    EXPECT_EQ(r.Filename(2), "Ω.txt");
    // The end record has no comment and is the last 22 bytes.
    EXPECT_EQ(Get32(u8(b.size() - 22)), ZipEndSig);
    EXPECT_EQ(Get16(u8(b.size() - 2)), 0);
}

TEST_F(ZipWriteTest, Zip64FieldsAndRecordsAreWrittenAboveTheLimits)
{
    TLimitsGuard limits(1000, 4000, 3);
    std::vector<TFile> files = {{"a.txt", TextData(500), true},
                                {"big-text.txt", TextData(20000), true},
                                {"big-random.bin", RandomData(9000), true},
                                {"after.txt", TextData(700, 4), true},
                                {"stored.bin", RandomData(5000, 5), false}};
    MakeTree(files);
    std::string zip = sandbox.Path("z64.zip");
    WriteArchive(zip, files);
    ExpectToolsAccept(zip);
    ExpectReadsBack(zip, files);
    std::string b = ReadFileBytes(zip);
    auto u8 = [&](size_t o) { return reinterpret_cast<const uint8_t*>(b.data()) + o; };
    // The end record holds the 0xFFFF/0xFFFFFFFF markers, preceded by the locator.
    size_t end = b.size() - 22;
    EXPECT_EQ(Get16(u8(end + 4)), 0xFFFF);
    EXPECT_EQ(Get16(u8(end + 10)), 0xFFFF);
    EXPECT_EQ(Get32(u8(end + 16)), 0xFFFFFFFFu);
    EXPECT_EQ(Get32(u8(end - 20)), Zip64LocatorSig);
    // The first big entry has a local zip64 field of 16 bytes and version 45.
    TZipRead r(zip, "", 0, 0);
    r.ReadDirectory();
    const TPkHeader& big = *r.Directory().Objects(1);
    EXPECT_EQ(big.PkVersion, 45);
    EXPECT_TRUE(big.Zip64);
    size_t lh = static_cast<size_t>(big.Offset);
    EXPECT_EQ(Get32(u8(lh + 18)), 0xFFFFFFFFu);
    EXPECT_EQ(Get16(u8(lh + 30 + big.FName.size())), 1);
    EXPECT_EQ(Get16(u8(lh + 30 + big.FName.size() + 2)), 16);
}

TEST_F(ZipWriteTest, SplitArchivePassesToolsAndJoinsWithInfoZip)
{
    std::vector<TFile> files = {{"first.txt", TextData(40000), true},
                                {"random.bin", RandomData(330000), true},
                                {"stored.bin", RandomData(150000, 11), false},
                                {"last.txt", TextData(3000, 5), true}};
    MakeTree(files);
    std::string zip = sandbox.Path("split/Backup.zip");
    fs::create_directories(sandbox.Path("split"));
    WriteArchive(zip, files, "", 1, false, 100000);
    int segments = 0;
    while (fs::exists(GetZipSegmentName(zip, segments))) {
        EXPECT_LE(fs::file_size(GetZipSegmentName(zip, segments)), 100000u);
        ++segments;
    }
    EXPECT_GE(segments, 4);
    EXPECT_EQ(ReadFileBytes(sandbox.Path("split/Backup.z01")).substr(0, 4), std::string("PK\x07\x08", 4));
    auto r7 = RunTool("7z t " + Quote(zip));
    EXPECT_EQ(r7.ExitCode, 0) << r7.Output;
    std::string joined = sandbox.Path("joined.zip");
    auto rj = RunTool("zip -s 0 " + Quote(zip) + " --out " + Quote(joined));
    ASSERT_EQ(rj.ExitCode, 0) << rj.Output;
    auto ru = RunTool("unzip -t " + Quote(joined));
    EXPECT_EQ(ru.ExitCode, 0) << ru.Output;
    ExpectReadsBack(zip, files);
    TZipRead r(zip, "", 0, 0);
    r.ReadDirectory();
    EXPECT_EQ(r.NumberOfSegments(), segments);
}

TEST_F(ZipWriteTest, AesArchivesPassSevenZipAndBsdtar)
{
    auto files = MixedFiles();
    files.push_back({"nineteen.txt", std::string(19, 'n'), true});
    files.push_back({"twenty.txt", std::string(20, 't'), true});
    MakeTree(files);
    struct TCase
    {
        int KeyMode;
        bool EncNames;
    } cases[] = {{1, false}, {3, false}, {3, true}};
    for (const auto& c : cases) {
        std::string zip = sandbox.Path("aes" + std::to_string(c.KeyMode) + (c.EncNames ? "n" : "") + ".zip");
        WriteArchive(zip, files, "secret pw", c.KeyMode, c.EncNames);
        if (!c.EncNames)
            ExpectToolsAccept(zip, "secret pw");
        else
            EXPECT_EQ(RunTool("7z t -p'secret pw' " + Quote(zip)).ExitCode, 0);
        ExpectReadsBack(zip, files, "secret pw");
    }
    // AE-2 below 20 bytes: CRC 0; AE-1 from 20 bytes: the CRC.
    TZipRead r(sandbox.Path("aes1.zip"), "secret pw", 0, 0);
    r.ReadDirectory();
    const TPkHeader& n19 = *r.Directory().Objects(r.Directory().IndexOf("nineteen.txt"));
    const TPkHeader& n20 = *r.Directory().Objects(r.Directory().IndexOf("twenty.txt"));
    EXPECT_EQ(n19.EncVers, 2);
    EXPECT_EQ(n19.CRC, 0u);
    EXPECT_EQ(n20.EncVers, 1);
    EXPECT_NE(n20.CRC, 0u);
    EXPECT_EQ(n20.PkVersion, 51);
    EXPECT_EQ(n20.CompMethod, 99);
}

TEST_F(ZipWriteTest, RemLastDirRemovesOnlyTrailingDirectoryEntries)
{
    MakeTree({{"d/file.txt", "data", true}, {"e/empty.txt", "", true}});
    fs::create_directories(Src("emptydir"));
    std::string zip = sandbox.Path("rem.zip");
    TZipWrite w(zip, Src(), "", 0, 0);
    w.AddDir(Src("emptydir"));
    int64_t after = w.FilePosition();
    EXPECT_EQ(w.RemLastDir(), "emptydir");
    EXPECT_EQ(w.FilePosition(), 0);
    EXPECT_GT(after, 0);
    w.AddFile(Src("d/file.txt"), true);
    EXPECT_EQ(w.RemLastDir(), "");
    w.AddFile(Src("e/empty.txt"), true);
    EXPECT_EQ(w.RemLastDir(), "e/empty.txt");
    EXPECT_EQ(w.Directory().Count(), 1);
    w.WriteDirectory();
    EXPECT_EQ(RunTool("unzip -t " + Quote(zip)).ExitCode, 0);
}

TEST_F(ZipWriteTest, AddFilesTakesEveryMaskUpToAnEmptyOne)
{
    MakeTree({{"t/a.buj", "1", true},
              {"t/b.rsj", "2", true},
              {"t/c.vfj", "3", true},
              {"t/d.cuj", "4", true},
              {"t/e.dbj", "5", true},
              {"t/f.txt", "6", true}});
    struct TCase
    {
        std::string Filter;
        int Expected;
    } cases[] = {{"*.buj;*.rsj;*.vfj;*.cuj;*.dbj", 5}, {"*.buj;;*.rsj", 1}, {"*.txt;*", 7}};
    int n = 0;
    for (const auto& c : cases) {
        std::string zip = sandbox.Path("f" + std::to_string(n++) + ".zip");
        TZipWrite w(zip, Src(), "", 0, 0);
        int count = 0;
        std::vector<std::string> errors;
        w.AddFiles(Src("t"), c.Filter, "Tasks", count, &errors);
        EXPECT_EQ(count, c.Expected) << c.Filter;
        EXPECT_TRUE(errors.empty());
        if (count > 0) {
            EXPECT_EQ(w.Directory().Strings(0).substr(0, 6), "Tasks/");
        }
    }
}

TEST_F(ZipWriteTest, CancelEndsTheEntryWith0x180AndCutsItAway)
{
    MakeTree({{"big.bin", RandomData(4 << 20), true}});
    std::string zip = sandbox.Path("cancel.zip");
    TZipWrite w(zip, Src(), "", 0, 4096);
    w.SetOnProgress([&w](TFileAction, int64_t count, bool) {
        if (count > 100000)
            w.Cancel();
    });
    try {
        w.AddFile(Src("big.bin"), true);
        FAIL() << "no exception";
    } catch (const EZipError& e) {
        EXPECT_EQ(e.ZipError, 0x4180);
        EXPECT_FALSE(w.ErrorFlag());
    }
    EXPECT_EQ(w.FilePosition(), 0);
    EXPECT_EQ(fs::file_size(zip), 0u);
}

TEST_F(ZipWriteTest, TimeOutEndsTheEntryWith0x111AndTheArchiveGoesOn)
{
    MakeTree({{"big.bin", RandomData(4 << 20), true}, {"small.txt", "small", true}});
    std::string zip = sandbox.Path("timeout.zip");
    TZipWrite w(zip, Src(), "", 0, 4096);
    bool giveUp = true;
    w.SetOnTimeout([&giveUp] { return giveUp; });
    // A slow first report lets the wait run past its poll while the worker waits for the next one.
    bool first = true;
    w.SetOnProgress([&first](TFileAction, int64_t, bool) {
        if (std::exchange(first, false))
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
    });
    try {
        w.AddFile(Src("big.bin"), true);
        FAIL() << "no exception";
    } catch (const EZipError& e) {
        EXPECT_EQ(e.ZipError, 0x4111);
    }
    EXPECT_EQ(w.FilePosition(), 0);
    giveUp = false;
    w.AddFile(Src("small.txt"), true);
    w.WriteDirectory();
    EXPECT_EQ(RunTool("unzip -tqq " + Quote(zip)).ExitCode, 0);
}

TEST_F(ZipWriteTest, MissingSourceFileGives0x10E)
{
    std::string zip = sandbox.Path("missing.zip");
    TZipWrite w(zip, Src(), "", 0, 0);
    try {
        w.AddFile(Src("nothing.txt"), true);
        FAIL() << "no exception";
    } catch (const EZipError& e) {
        EXPECT_EQ(e.ZipError, 0x410E);
    }
}

TEST_F(ZipWriteTest, AnArchiveThatCannotBeCreatedGives0x101)
{
    try {
        TZipWrite w(sandbox.Path("no/such/folder/x.zip"), Src(), "", 0, 0);
        FAIL() << "no exception";
    } catch (const EZipError& e) {
        EXPECT_EQ(e.ZipError, 0x4101);
        EXPECT_FALSE(e.SysErrorMsg.empty());
    }
}

TEST_F(ZipWriteTest, AddStreamStoresAnOemNamedEntry)
{
    std::string zip = sandbox.Path("stream.zip");
    {
        TZipWrite w(zip, Src(), "", 0, 0);
        w.AddStream(std::make_unique<TMemoryStream>(TextData(10000)), "Vastrel.ini", true);
        w.AddStream(std::make_unique<TMemoryStream>(std::string()), "Tasks/empty.buj", true);
        w.WriteDirectory();
        w.Verify();
    }
    EXPECT_EQ(RunTool("unzip -t " + Quote(zip)).ExitCode, 0);
    TZipRead r(zip, "", 0, 0);
    r.ReadDirectory();
    TMemoryStream out;
    ASSERT_TRUE(r.ExtractToStream("vastrel.ini", out));
    EXPECT_EQ(out.DataString(), TextData(10000));
    EXPECT_FALSE(r.ExtractToStream("other.ini", out));
}

TEST_F(ZipWriteTest, DeleteAndRenameHandleEverySegment)
{
    MakeTree({{"r.bin", RandomData(250000), false}});
    fs::create_directories(sandbox.Path("s"));
    std::string zip = sandbox.Path("s/a.zip");
    {
        TZipWrite w(zip, Src(), 100000, "", 0, 0);
        w.AddFile(Src("r.bin"), false);
        w.WriteDirectory();
        w.RenameZipFile(sandbox.Path("s/b.zip"));
    }
    EXPECT_TRUE(fs::exists(sandbox.Path("s/b.z01")));
    EXPECT_TRUE(fs::exists(sandbox.Path("s/b.z02")));
    EXPECT_TRUE(fs::exists(sandbox.Path("s/b.zip")));
    EXPECT_FALSE(fs::exists(zip));
    {
        TZipWrite w(zip, Src(), 100000, "", 0, 0);
        w.AddFile(Src("r.bin"), false);
        w.DeleteZipFile();
    }
    EXPECT_FALSE(fs::exists(zip));
    EXPECT_FALSE(fs::exists(sandbox.Path("s/a.z01")));
}

TEST(ZipRatio, IsRoundedHalfToEvenAndMinusOneWhenNotMeaningful)
{
    EXPECT_EQ(TZipWrite::CompressionRatio(1, 2000, true), 0); // 0.5 -> 0
    EXPECT_EQ(TZipWrite::CompressionRatio(3, 2000, true), 2); // 1.5 -> 2
    EXPECT_EQ(TZipWrite::CompressionRatio(500, 1000, true), 500);
    EXPECT_EQ(TZipWrite::CompressionRatio(1000, 1000, true), -1);
    EXPECT_EQ(TZipWrite::CompressionRatio(10, 0, true), -1);
    EXPECT_EQ(TZipWrite::CompressionRatio(10, 100, false), -1);
}

// A file above 4 GiB; set VASTREL_ZIP_BIG_TEST=1 to run it.
TEST_F(ZipWriteTest, FileAbove4GiBRoundTripsWhenEnabled)
{
    if (!std::getenv("VASTREL_ZIP_BIG_TEST"))
        GTEST_SKIP() << "set VASTREL_ZIP_BIG_TEST=1 to run";
    const int64_t size = 0x100000000LL + 12345;
    std::string name = Src("huge.bin");
    fs::create_directories(Src());
    {
        std::ofstream f(name, std::ios::binary);
        std::string block = TextData(1 << 20);
        for (int64_t done = 0; done < size;) {
            auto n = static_cast<std::streamsize>(
                std::min<int64_t>(static_cast<int64_t>(block.size()), size - done));
            f.write(block.data(), n);
            done += n;
        }
    }
    std::string zip = sandbox.Path("huge.zip");
    {
        TZipWrite w(zip, Src(), "", 0, 0);
        w.AddFile(name, false);
        w.AddFile(name, "copy.bin", true);
        w.WriteDirectory();
    }
    auto ru = RunTool("unzip -t " + Quote(zip));
    EXPECT_EQ(ru.ExitCode, 0) << ru.Output;
    auto r7 = RunTool("7z t " + Quote(zip));
    EXPECT_EQ(r7.ExitCode, 0) << r7.Output;
    TZipRead r(zip, "", 0, 0);
    r.ReadDirectory();
    ASSERT_EQ(r.Directory().Count(), 2);
    EXPECT_EQ(r.Directory().Objects(1)->USize, size);
    EXPECT_GT(r.Directory().Objects(1)->Offset, 0xFFFFFFFFLL);
    r.CompareToFile(1, name);
}

} // namespace
