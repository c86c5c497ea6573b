#include "archive/ExtFileToolsZipWrite.h"

#include <fcntl.h>
#include <filesystem>
#include <future>
#include <optional>
#include <set>
#include <sys/stat.h>

#include <thread>
#include <unistd.h>
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

namespace {

enum TNameKind
{
    nkAscii,
    nkUtf8,
    nkRaw
};

// Names of every kind, in folders of every kind.
const std::vector<std::pair<std::string, TNameKind>>& NameKinds()
{
    static const std::vector<std::pair<std::string, TNameKind>> names = {
        {"plain.txt", nkAscii},
        {"M\xC3\xBCller.txt", nkUtf8}, // has a DOS code page form
        {"\xCE\xA9mega \xE6\x97\xA5\xE6\x9C\xAC.txt", nkUtf8},
        {"caf\xE9.txt", nkRaw}, // Latin-1: not UTF-8
        {"r\xE9pertoire", nkRaw},
        {"r\xE9pertoire/\xE0 faire.bin", nkRaw},
        {"dossier \xC3\xA9t\xC3\xA9", nkUtf8},
        {"dossier \xC3\xA9t\xC3\xA9/note.txt", nkUtf8},
        {"dossier \xC3\xA9t\xC3\xA9/caf\xE9.txt", nkRaw},
    };
    return names;
}

TNameKind KindOf(const std::string& name)
{
    for (const auto& [n, kind] : NameKinds())
        if (n == name)
            return kind;
    ADD_FAILURE() << "unexpected entry " << name;
    return nkAscii;
}

// The bytes of every segment of an archive, the last one last.
std::vector<std::string> SegmentsOf(const std::string& zip)
{
    std::vector<std::string> segments;
    for (int i = 0; fs::exists(GetZipSegmentName(zip, i)); ++i)
        segments.push_back(ReadFileBytes(GetZipSegmentName(zip, i)));
    segments.push_back(ReadFileBytes(zip));
    return segments;
}

} // namespace

TEST_F(ZipWriteTest, EntryNamesAreAsciiFlaggedUtf8OrRawBytesInEveryRecord)
{
    std::vector<TFile> files;
    for (const auto& [name, kind] : NameKinds())
        if (name.find('.') != std::string::npos)
            files.push_back(
                {name, TextData(3000 + files.size() * 500, static_cast<uint32_t>(files.size())), true});
    MakeTree(files);
    ::chmod(Src("caf\xE9.txt").c_str(), 0640);
    struct TCase
    {
        std::string Label;
        std::string Password;
        bool EncNames;
        int64_t MaxSize;
        bool Zip64;
    } cases[] = {{"plain", "", false, 0, false},
                 {"encrypted names", "pw", true, 0, false},
                 {"zip64", "", false, 0, true},
                 {"split", "", false, 4000, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Label);
        std::optional<TLimitsGuard> limits;
        if (c.Zip64)
            limits.emplace(1000, 4000, 3);
        fs::create_directories(sandbox.Path(c.Label));
        std::string zip = sandbox.Path(c.Label + "/names.zip");
        WriteArchive(zip, files, c.Password, 3, c.EncNames, c.MaxSize);
        auto records = EntryRecordsOf(SegmentsOf(zip));
        TZipRead r(zip, c.Password, 0, 0);
        r.ReadDirectory();
        ASSERT_EQ(records.size(), static_cast<size_t>(r.Directory().Count()));
        ASSERT_EQ(records.size(), NameKinds().size());
        for (size_t i = 0; i < records.size(); ++i) {
            std::string name = r.Filename(static_cast<int>(i));
            TNameKind kind = KindOf(name);
            const TEntryRecords& e = records[i];
            SCOPED_TRACE(archivetest::ToHex(name));
            EXPECT_EQ(e.CentralFlags & 0x800, kind == nkUtf8 ? 0x800 : 0);
            EXPECT_EQ(e.LocalFlags & 0x800, kind == nkUtf8 ? 0x800 : 0);
            EXPECT_EQ(e.HostSystem, kind == nkAscii ? 0 : 3);
            std::string stored = c.EncNames ? SafeFormat("%.8X", {static_cast<int>(i) + 1}) : name;
            EXPECT_EQ(e.CentralName, stored);
            EXPECT_EQ(e.LocalName, stored);
            if (kind != nkAscii) {
                // entries marked as made on Unix carry the source's type and permission bits
                struct stat st
                {
                };
                ASSERT_EQ(::stat(Src(name).c_str(), &st), 0);
                EXPECT_EQ(e.ExternalAttr >> 16, st.st_mode & (S_IFMT | 0777));
                EXPECT_EQ(e.ExternalAttr & 0x10, S_ISDIR(st.st_mode) ? 0x10u : 0u);
            }
        }
        ExpectReadsBack(zip, files, c.Password);
    }
}

TEST_F(ZipWriteTest, ArchivesWithRawAndUtf8NamesPassEveryToolAndExtractUnderTheSameNames)
{
    std::vector<TFile> files;
    for (const auto& [name, kind] : NameKinds())
        if (name.find('.') != std::string::npos)
            files.push_back({name, "data of " + name, true});
    MakeTree(files);
    std::string zip = sandbox.Path("names.zip");
    WriteArchive(zip, files);
    ExpectToolsAccept(zip);
    // The same files without folder entries, for extraction (Info-ZIP's unzip takes a folder entry
    // without a trailing separator for a file).
    std::string filesOnly = sandbox.Path("files.zip");
    {
        TZipWrite w(filesOnly, Src(), "", 0, 0);
        for (const auto& f : files)
            w.AddFile(Src(f.Name), true);
        w.WriteDirectory();
    }
    ExpectToolsAccept(filesOnly);
    // Python takes a name without the flag in its DOS code page, so the raw bytes come back from that.
    auto rp =
        RunTool(std::string(Python) +
                " -c 'import sys,zipfile\nfor i in zipfile.ZipFile(sys.argv[1]).infolist():\n"
                "  print(i.flag_bits & 0x800, (i.filename.encode(\"utf-8\") if i.flag_bits & 0x800 else "
                "i.filename.encode(\"cp437\")).hex())' " +
                Quote(zip));
    ASSERT_EQ(rp.ExitCode, 0) << rp.Output;
    for (const auto& f : files) {
        std::string line =
            std::to_string(KindOf(f.Name) == nkUtf8 ? 0x800 : 0) + " " + archivetest::ToHex(f.Name);
        EXPECT_NE(rp.Output.find(line + "\n"), std::string::npos) << line << "\n" << rp.Output;
    }
    // Info-ZIP, 7-Zip and libarchive write every file under its own bytes.
    struct TTool
    {
        std::string Name;
        std::string Command;
    } tools[] = {{"unzip", "unzip -qq " + Quote(filesOnly) + " -d "},
                 {"7z", "7z x -y " + Quote(filesOnly) + " > /dev/null -o"},
                 {"bsdtar", "bsdtar -xf " + Quote(filesOnly) + " -C "}};
    for (const auto& t : tools) {
        std::string out = sandbox.Path("x-" + t.Name);
        fs::create_directories(out);
        auto rx = RunTool(t.Command + Quote(out));
        EXPECT_EQ(rx.ExitCode, 0) << t.Name << ": " << rx.Output;
        for (const auto& f : files)
            EXPECT_EQ(ReadFileBytes(out + "/" + f.Name), f.Data)
                << t.Name << " " << archivetest::ToHex(f.Name);
    }
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

TEST_F(ZipWriteTest, AddStreamStoresEntriesFromMemory)
{
    std::string zip = sandbox.Path("stream.zip");
    {
        TZipWrite w(zip, Src(), "", 0, 0);
        w.AddStream(std::make_unique<TMemoryStream>(TextData(10000)), "Vastrel.ini", true);
        w.AddStream(std::make_unique<TMemoryStream>(std::string()), "Tasks/empty.buj", true);
        w.AddStream(std::make_unique<TMemoryStream>(std::string("u")), "Tasks/\xC3\xBC.buj", true);
        w.AddStream(std::make_unique<TMemoryStream>(std::string("l")), "Tasks/\xFC.buj", true);
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
    // names as the other entries have them: the program's data is for its owner only
    auto records = EntryRecordsOf({ReadFileBytes(zip)});
    ASSERT_EQ(records.size(), 4u);
    EXPECT_EQ(records[2].CentralName, "Tasks/\xC3\xBC.buj");
    EXPECT_EQ(records[2].LocalFlags & 0x800, 0x800);
    EXPECT_EQ(records[2].HostSystem, 3);
    EXPECT_EQ(records[3].CentralName, "Tasks/\xFC.buj");
    EXPECT_EQ(records[3].LocalFlags & 0x800, 0);
    EXPECT_EQ(records[3].HostSystem, 3);
    EXPECT_EQ(records[3].ExternalAttr >> 16, static_cast<uint32_t>(S_IFREG | 0600));
    EXPECT_EQ(r.Filename(2), "Tasks/\xC3\xBC.buj");
    EXPECT_EQ(r.Filename(3), "Tasks/\xFC.buj");
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

TEST_F(ZipWriteTest, AFifoIsNeverOpenedAsASource)
{
    fs::create_directories(Src());
    std::string fifo = Src("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // a worker that waits in opening the FIFO is let go after a while, so that the test ends
    std::promise<void> done;
    std::thread release([&fifo, finished = done.get_future()]() mutable {
        if (finished.wait_for(std::chrono::seconds(10)) == std::future_status::timeout)
            ::close(::open(fifo.c_str(), O_WRONLY | O_NONBLOCK));
    });
    std::string zip = sandbox.Path("fifo.zip");
    TZipWrite w(zip, Src(), "", 0, 0);
    try {
        w.AddFile(fifo, true);
        ADD_FAILURE() << "the FIFO was read once a writer came";
    } catch (const EZipError& e) {
        EXPECT_EQ(e.ZipError, 0x4102);
        EXPECT_NE(e.SysErrorMsg.find("not a regular file"), std::string::npos) << e.SysErrorMsg;
    }
    done.set_value();
    release.join();
    w.WriteDirectory();
    EXPECT_EQ(w.Directory().Count(), 0);
}

TEST_F(ZipWriteTest, AnEntryHoldsTheWholeSourceWhateverSizeWasHandedIn)
{
    std::string data = TextData(30000);
    MakeTree({{"file.txt", data, true}});
    fs::create_symlink(Src("file.txt"), Src("link.txt"));
    struct TCase
    {
        std::string Label;
        std::string Name;
        int64_t HandedSize;
    } cases[] = {
        {"a file that grew", "file.txt", 7},
        {"a link with the link's own size", "link.txt", static_cast<int64_t>(Src("file.txt").size())}};
    for (const auto& c : cases) {
        for (bool split : {false, true}) {
            SCOPED_TRACE(c.Label + (split ? " (split)" : ""));
            std::string folder = sandbox.Path(split ? "split" : "whole");
            fs::create_directories(folder);
            std::string zip = folder + "/" + c.Name + ".zip";
            {
                TZipWrite w(zip, Src(), split ? 10000 : 0, "", 0, 0);
                TZipSourceData handed;
                handed.Size = c.HandedSize;
                handed.MTime = 1500000000;
                w.AddFile(Src(c.Name), handed, true);
                w.WriteDirectory();
                w.Verify();
            }
            TZipRead r(zip, "", 0, 0);
            r.ReadDirectory();
            TMemoryStream out;
            ASSERT_TRUE(r.ExtractToStream(c.Name, out));
            EXPECT_TRUE(out.DataString() == data);
        }
    }
}
