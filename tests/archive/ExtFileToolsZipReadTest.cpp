#include "archive/ExtFileToolsZipRead.h"

#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <sys/stat.h>
#include <zlib.h>

#include <gtest/gtest.h>

#include "archive/ExtFileToolsZipWrite.h"
#include "archive/LittleEndian.h"
#include "archive/ZipRecords.h"
#include "archive/ZipTestUtil.h"
#include "support/Files.h"
#include "support/Sandbox.h"
#include "support/StreamDoubles.h"

using namespace ZipTest;
using namespace ZipUtil;
using namespace LittleEndian;
namespace fs = std::filesystem;

namespace {

const char* Python = "/usr/bin/python3";

int ZipErrorOf(const std::function<void()>& f)
{
    try {
        f();
    } catch (const EZipError& e) {
        return e.ZipError;
    }
    return 0;
}

class ZipReadTest : public SandboxTest
{
protected:
    std::string Src(const std::string& rel = "") { return sandbox.Path("src/" + rel); }

    std::map<std::string, std::string> MakeTree()
    {
        std::map<std::string, std::string> files = {{"readme.txt", TextData(120000)},
                                                    {"data/random.bin", RandomData(90000)},
                                                    {"data/small.txt", "small"},
                                                    {"data/empty.txt", ""},
                                                    {"M\xC3\xBCller.txt", "umlaut"}};
        for (const auto& [name, data] : files)
            WriteFileBytes(Src(name), data);
        return files;
    }

    // Lists, extracts and compares every file of the tree, from the file and from a tiny-read source.
    void ExpectArchiveMatches(const std::string& zip, const std::map<std::string, std::string>& files,
                              const std::string& password = "")
    {
        for (bool trickle : {false, true}) {
            std::unique_ptr<TZipRead> r;
            if (trickle)
                r = std::make_unique<TZipRead>(std::make_unique<TTrickleSource>(ReadFileBytes(zip)), password,
                                               0, 4096);
            else
                r = std::make_unique<TZipRead>(zip, password, 0, 4096);
            r->ReadDirectory();
            int found = 0;
            for (const auto& [name, data] : files) {
                int i = r->Directory().IndexOf(name);
                ASSERT_GE(i, 0) << name << (trickle ? " (tiny reads)" : "");
                ++found;
                std::string dest = sandbox.Path("out/" + std::to_string(i) + (trickle ? "t" : ""));
                fs::create_directories(sandbox.Path("out"));
                r->ExtractToFile(i, dest, true);
                EXPECT_EQ(ReadFileBytes(dest), data) << name;
                r->CompareToFile(i, Src(name));
            }
            EXPECT_EQ(found, static_cast<int>(files.size()));
        }
    }
};

TEST_F(ZipReadTest, ArchivesOfInfoZipSevenZipAndPythonAreReadWholeAndInTinyPieces)
{
    auto files = MakeTree();
    struct TCase
    {
        std::string Name;
        std::string Command;
    } cases[] = {
        {"infozip", "cd " + Quote(Src()) + " && zip -q -r -6 ../infozip.zip ."},
        {"7z", "cd " + Quote(Src()) + " && 7z a -tzip -mx=5 -mmt=1 ../7z.zip . > /dev/null"},
        {"python",
         "cd " + Quote(Src()) + " && " + Python +
             " -c 'import os,zipfile\nz=zipfile.ZipFile(\"../python.zip\",\"w\",zipfile.ZIP_DEFLATED)\n"
             "for d,_,fs in os.walk(\".\"):\n  for f in fs: z.write(os.path.join(d,f))\nz.close()'"},
        {"stored", "cd " + Quote(Src()) + " && zip -q -r -0 ../stored.zip ."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        auto r = RunTool(c.Command);
        ASSERT_EQ(r.ExitCode, 0) << r.Output;
        ExpectArchiveMatches(sandbox.Path(c.Name + ".zip"), files);
    }
}

TEST_F(ZipReadTest, SevenZipAes256ArchiveIsReadWithItsPassword)
{
    auto files = MakeTree();
    auto r = RunTool("cd " + Quote(Src()) +
                     " && 7z a -tzip -mem=AES256 -mmt=1 -p'pass word' ../aes.zip . > /dev/null");
    ASSERT_EQ(r.ExitCode, 0) << r.Output;
    std::string zip = sandbox.Path("aes.zip");
    ExpectArchiveMatches(zip, files, "pass word");
    // A wrong password: decryption fails with 0x10B; without one the entry is refused.
    TZipRead wrong(zip, "wrong", 0, 0);
    wrong.ReadDirectory();
    int i = wrong.Directory().IndexOf("readme.txt");
    EXPECT_EQ(ZipErrorOf([&] { wrong.ExtractToFile(i, sandbox.Path("w.txt"), false); }), 0x410B);
    TZipRead none(zip, "", 0, 0);
    none.ReadDirectory();
    EXPECT_TRUE(none.IsEncrypted(i));
    EXPECT_EQ(ZipErrorOf([&] { none.ExtractToFile(i, sandbox.Path("n.txt"), false); }), 0x410B);
}

namespace {

// A stored one-entry archive with the name bytes, flags and system of "version made by" as given; bit 7
// of the flags marks it as a single-file zip of the engine.
std::string HandMadeArchive(const std::string& name, uint16_t flags, uint8_t hostSystem,
                            const std::string& data)
{
    auto crc = static_cast<uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
    auto size = static_cast<uint32_t>(data.size());
    std::string local = ZipLocalHeader(20, flags | 0x80, 0, 0x00210000, size, name, "");
    std::string crcBytes;
    Put32(crcBytes, crc);
    local.replace(14, 4, crcBytes);
    TZipCentralValues v;
    v.Flags = flags | 0x80;
    v.DosTime = 0x00210000;
    v.Crc = crc;
    v.CSize32 = v.USize32 = size;
    v.Attr = 0x20;
    std::string central = ZipCentralHeader(v, name, "");
    central[5] = static_cast<char>(hostSystem);
    std::string end;
    Put32(end, ZipEndSig);
    Put16(end, 0);
    Put16(end, 0);
    Put16(end, 1);
    Put16(end, 1);
    Put32(end, static_cast<uint32_t>(central.size()));
    Put32(end, static_cast<uint32_t>(local.size() + data.size()));
    Put16(end, 0);
    return local + data + central + end;
}

} // namespace

TEST_F(ZipReadTest, NamesAreDecodedByTheirFlagAndTheSystemThatMadeThem)
{
    struct TCase
    {
        std::string Label;
        std::string Stored;
        uint16_t Flags;
        uint8_t Host;
        std::string Expected;
    } cases[] = {
        {"DOS code page", "M\x81ller.txt", 0, 0, "M\xC3\xBCller.txt"},
        {"DOS code page from NTFS", "M\x81ller.txt", 0, 11, "M\xC3\xBCller.txt"},
        {"UTF-8 flag", "M\xC3\xBCller.txt", 0x800, 0, "M\xC3\xBCller.txt"},
        {"flagged bytes that are no UTF-8", "caf\xE9.txt", 0x800, 0, "caf\xE9.txt"},
        {"raw bytes made on Unix", "caf\xE9.txt", 0, 3, "caf\xE9.txt"},
        {"UTF-8 made on Unix without flag", "M\xC3\xBCller.txt", 0, 3, "M\xC3\xBCller.txt"},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Label);
        std::string zip = sandbox.Path("hand" + std::to_string(n++) + ".zip");
        WriteFileBytes(zip, HandMadeArchive(c.Stored, c.Flags, c.Host, "content"));
        TZipRead r(zip, "", 0, 0);
        r.ReadDirectory();
        ASSERT_EQ(r.Directory().Count(), 1);
        EXPECT_EQ(r.Filename(0), c.Expected);
        TMemoryStream out;
        EXPECT_TRUE(r.ExtractToStream(c.Expected, out));
        EXPECT_EQ(out.DataString(), "content");
        // the probe of single-file zips reads the name from the local header
        TGzFileInfo info;
        EXPECT_EQ(GetZipFileInfo(zip, info), 0);
        EXPECT_EQ(info.Filename, c.Expected);
    }
}

TEST_F(ZipReadTest, EncryptedNamesNeedThePassword)
{
    MakeTree();
    std::string zip = sandbox.Path("names.zip");
    {
        TZipWrite w(zip, Src(), "pw", 3, 0);
        w.SetEncryptNames(true);
        w.AddFile(Src("readme.txt"), true);
        w.AddFile(Src("M\xC3\xBCller.txt"), true);
        w.WriteDirectory();
    }
    TZipRead good(zip, "pw", 0, 0);
    good.ReadDirectory();
    EXPECT_EQ(good.Filename(0), "readme.txt");
    EXPECT_EQ(good.Filename(1), "M\xC3\xBCller.txt");
    TZipRead none(zip, "", 0, 0);
    none.ReadDirectory();
    EXPECT_EQ(none.Filename(0), "00000001");
    EXPECT_EQ(none.Filename(1), "00000002");
    TZipRead wrong(zip, "nope", 0, 0);
    EXPECT_EQ(ZipErrorOf([&] { wrong.ReadDirectory(); }), 0x410B);
    EXPECT_EQ(wrong.Directory().Count(), 2);
    EXPECT_EQ(wrong.Filename(1), "00000002");
}

TEST_F(ZipReadTest, ArchiveWithACommentIsRefused)
{
    MakeTree();
    std::string zip = sandbox.Path("comment.zip");
    ASSERT_EQ(RunTool("cd " + Quote(Src()) +
                      " && zip -q -r ../comment.zip . && echo 'ten bytes!' | zip -q -z ../comment.zip")
                  .ExitCode,
              0);
    TZipRead r(zip, "", 0, 0);
    EXPECT_EQ(ZipErrorOf([&] { r.ReadDirectory(); }), 0x4120);
}

TEST_F(ZipReadTest, EntryNamesNeverLeadOutOfTheTargetFolder)
{
    std::string zip = sandbox.Path("evil.zip");
    auto r = RunTool(std::string(Python) + " -c 'import zipfile\nz=zipfile.ZipFile(\"" + zip +
                     "\",\"w\")\nfor n in [\"../x\",\"/abs/y\",\"a/../../z\",\"C:\\\\w\\\\v\",\"./ok\"]:\n"
                     "  i=zipfile.ZipInfo(\"p\"); i.filename=n; z.writestr(i, n)\nz.close()'");
    ASSERT_EQ(r.ExitCode, 0) << r.Output;
    TZipRead zr(zip, "", 0, 0);
    zr.ReadDirectory();
    ASSERT_EQ(zr.Directory().Count(), 5);
    std::string target = sandbox.Path("target");
    fs::create_directories(target);
    std::vector<std::string> names;
    for (int i = 0; i < 5; ++i) {
        std::string name = zr.Filename(i);
        names.push_back(name);
        EXPECT_EQ(name.find(".."), std::string::npos) << name;
        ASSERT_FALSE(name.empty());
        EXPECT_NE(name[0], '/');
        fs::create_directories(fs::path(target + "/" + name).parent_path());
        zr.ExtractToFile(i, target + "/" + name, false);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"x", "abs/y", "a/z", "w/v", "ok"}));
    // Nothing lies beside the target folder.
    for (const auto& e : fs::directory_iterator(sandbox.Path()))
        EXPECT_TRUE(e.path().filename() == "target" || e.path().filename() == "evil.zip" ||
                    e.path().filename() == "home" || e.path().filename() == "runtime")
            << e.path();
}

TEST_F(ZipReadTest, BadInputGivesTheErrorCodesAndNoCrash)
{
    auto files = MakeTree();
    ASSERT_EQ(RunTool("cd " + Quote(Src()) + " && zip -q -r ../good.zip .").ExitCode, 0);
    std::string good = ReadFileBytes(sandbox.Path("good.zip"));
    auto u8 = [](std::string& s, size_t o) { return reinterpret_cast<uint8_t*>(s.data()) + o; };
    uint32_t cdOffset = Get32(u8(good, good.size() - 6));

    struct TCase
    {
        std::string Name;
        std::function<std::string(std::string)> Damage;
        int ReadDirError; // 0: the directory reads, extraction of some entry fails
    } cases[] = {
        {"truncated at the end", [](std::string s) { return s.substr(0, s.size() - 5); }, 0x4120},
        {"truncated in the data", [](std::string s) { return s.substr(0, 1000); }, 0x4120},
        {"empty", [](std::string) { return std::string(); }, 0x4120},
        {"directory signature broken",
         [&](std::string s) {
             s[cdOffset] = 'X';
             return s;
         },
         0x4120},
        {"directory offset beyond the file",
         [&](std::string s) {
             Set32(u8(s, s.size() - 6), 0x7FFFFFF0);
             return s;
         },
         0x4104},
        {"entry count too large",
         [&](std::string s) {
             Set16(u8(s, s.size() - 12), 500);
             return s;
         },
         0x4104},
        {"method 12 in the third entry",
         [&](std::string s) {
             size_t p = cdOffset;
             for (int i = 0; i < 2; ++i)
                 p += 46 + Get16(u8(s, p + 28)) + Get16(u8(s, p + 30)) + Get16(u8(s, p + 32));
             Set16(u8(s, p + 10), 12);
             return s;
         },
         0x4122},
        {"sizes beyond the file",
         [&](std::string s) {
             for (size_t p = cdOffset; Get32(u8(s, p)) == ZipCentralSig;
                  p += 46 + Get16(u8(s, p + 28)) + Get16(u8(s, p + 30)) + Get16(u8(s, p + 32))) {
                 size_t local = Get32(u8(s, p + 42));
                 for (size_t q : {p + 20, p + 24, local + 18, local + 22})
                     Set32(u8(s, q), 0x7FFFFFFF);
             }
             return s;
         },
         0},
        {"local header offset beyond the file",
         [&](std::string s) {
             for (size_t p = cdOffset; Get32(u8(s, p)) == ZipCentralSig;
                  p += 46 + Get16(u8(s, p + 28)) + Get16(u8(s, p + 30)) + Get16(u8(s, p + 32)))
                 Set32(u8(s, p + 42), 0x7FFFFFF0);
             return s;
         },
         0},
        {"data corrupted",
         [&](std::string s) {
             for (size_t i = 200; i < 2000; i += 7)
                 s[i] = static_cast<char>(s[i] ^ 0x5A);
             return s;
         },
         0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        std::string zip = sandbox.Path("bad.zip");
        WriteFileBytes(zip, c.Damage(good));
        TZipRead r(zip, "", 0, 0);
        int err = ZipErrorOf([&] { r.ReadDirectory(); });
        EXPECT_EQ(err, c.ReadDirError);
        if (c.Name == "method 12 in the third entry") {
            EXPECT_EQ(r.Directory().Count(), 2);
        }
        if (err != 0)
            continue;
        int failures = 0;
        for (int i = 0; i < r.Directory().Count(); ++i) {
            if (r.Directory().Objects(i)->IsDir)
                continue;
            fs::create_directories(sandbox.Path("x"));
            int e = ZipErrorOf([&] { r.ExtractToFile(i, sandbox.Path("x/out"), false); });
            if (e != 0) {
                EXPECT_EQ(e, 0x4104);
                ++failures;
            } else {
                EXPECT_EQ(ReadFileBytes(sandbox.Path("x/out")), files[r.Filename(i)]) << r.Filename(i);
            }
        }
        EXPECT_GT(failures, 0);
    }
}

TEST_F(ZipReadTest, SplitArchiveWithMissingSegmentFailsWith0x124)
{
    WriteFileBytes(Src("r.bin"), RandomData(250000));
    WriteFileBytes(Src("t.txt"), TextData(1000));
    fs::create_directories(sandbox.Path("s"));
    std::string zip = sandbox.Path("s/a.zip");
    {
        TZipWrite w(zip, Src(), 100000, "", 0, 0);
        w.AddFile(Src("r.bin"), false);
        w.AddFile(Src("t.txt"), true);
        w.WriteDirectory();
    }
    fs::remove(sandbox.Path("s/a.z02"));
    TZipRead r(zip, "", 0, 0);
    r.ReadDirectory();
    EXPECT_EQ(ZipErrorOf([&] { r.ExtractToFile(0, sandbox.Path("out.bin"), false); }), 0x4124);
    fs::remove(sandbox.Path("s/a.z01"));
    TZipRead r2(zip, "", 0, 0);
    int err = ZipErrorOf([&] { r2.ReadDirectory(); });
    if (err == 0) {
        EXPECT_EQ(ZipErrorOf([&] { r2.ExtractToFile(0, sandbox.Path("out.bin"), false); }), 0x4124);
    } else {
        EXPECT_EQ(err, 0x4124);
    }
}

TEST_F(ZipReadTest, ExtractionReplacesAReadOnlyFileAndAppliesTheEntry)
{
    MakeTree();
    std::string zip = sandbox.Path("a.zip");
    {
        TZipWrite w(zip, Src(), "", 0, 0);
        w.AddFile(Src("data/small.txt"), true);
        w.WriteDirectory();
    }
    std::string dest = sandbox.Path("small.txt");
    WriteFileBytes(dest, "old content that is longer");
    fs::permissions(dest, fs::perms::owner_read, fs::perm_options::replace);
    TZipRead r(zip, "", 0, 0);
    r.ReadDirectory();
    r.ExtractToFile(0, dest, true);
    EXPECT_EQ(ReadFileBytes(dest), "small");
    EXPECT_EQ(fs::last_write_time(dest), fs::last_write_time(dest)); // readable
    struct stat a
    {
    }, b{};
    ::stat(dest.c_str(), &a);
    ::stat(Src("data/small.txt").c_str(), &b);
    EXPECT_LE(std::llabs(static_cast<long long>(a.st_mtime - b.st_mtime)), 2);
    // A differing reference file is reported with ErrorFlag.
    WriteFileBytes(sandbox.Path("other.txt"), "smalL");
    EXPECT_EQ(ZipErrorOf([&] { r.CompareToFile(0, sandbox.Path("other.txt")); }), 0x411E);
    EXPECT_TRUE(r.ErrorFlag());
    EXPECT_EQ(ZipErrorOf([&] { r.CompareToFile(0, sandbox.Path("missing.txt")); }), 0x420E);
}

TEST(ZipErrors, CarryTheZipOperationBits)
{
    EXPECT_EQ(EZipError("m", 0x120).ZipError, 0x4120);
}

} // namespace
