#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "foundation/IniFileUtils.h"
#include "support/Files.h"
#include "support/Sandbox.h"

namespace {

std::string Utf16LE(std::u16string_view s)
{
    std::string out = "\xFF\xFE";
    for (char16_t c : s) {
        out += static_cast<char>(c & 0xFF);
        out += static_cast<char>(c >> 8);
    }
    return out;
}

// The fixtures folder: from VASTREL_SOURCE_DIR, else the first tests/fixtures above the test program.
std::string Fixture(const std::string& name)
{
    if (const char* dir = std::getenv("VASTREL_SOURCE_DIR"))
        return std::string(dir) + "/tests/fixtures/" + name;
    std::error_code ec;
    for (auto p = std::filesystem::read_symlink("/proc/self/exe", ec).parent_path();
         !p.empty() && p != p.root_path(); p = p.parent_path())
        if (std::filesystem::is_directory(p / "tests/fixtures", ec))
            return (p / "tests/fixtures" / name).string();
    return "tests/fixtures/" + name;
}

} // namespace

using IniFileUtilsTest = SandboxTest;

TEST_F(IniFileUtilsTest, ClearEntriesWritesExactlyTheGoldenFile)
{
    const std::string name = sandbox.Path("task.buj");
    WriteFileBytes(name, "[Global]\nOld=1\n[Dir005]\nSource=/old\n[Unicode]\nEncoding=UTF-8\n");
    {
        auto ini = TUnicodeIniFile::CreateForWrite(name, true);
        ini.WriteProgramInfo("Program", "Vastrel");
        ini.WriteProgramInfo("Version", "6.0.0");
        ini.WriteString("Global", "Name", "T\u00e4st \u20ac \U0001F600");
        ini.WriteInteger("Global", "Count", 3);
        ini.WriteBool("Global", "Enabled", true);
        ini.WriteInt64("Global", "Size", 5000000000);
        ini.WriteString("Dir000", "Source", "/home/u/\u00c4rger");
    }
    EXPECT_EQ(ReadFileBytes(name), ReadFileBytes(Fixture("ini/ClearEntries.ini")));
}

TEST_F(IniFileUtilsTest, AnExistingEncodingValueIsKeptButTheFileBecomesUtf16)
{
    const std::string name = sandbox.Path("a.ini");
    WriteFileBytes(name, "[Unicode]\nEncoding=UTF-8\n[A]\nk=v\n");
    {
        auto ini = TUnicodeIniFile::CreateForWrite(name, false);
    }
    EXPECT_EQ(ReadFileBytes(name), Utf16LE(u"[Unicode]\r\nEncoding=UTF-8\r\n\r\n[A]\r\nk=v\r\n\r\n"));

    WriteFileBytes(name, "[A]\nk=v\n[Unicode]\nProgram=X\n");
    {
        auto ini = TUnicodeIniFile::CreateForWrite(name, false);
    }
    EXPECT_EQ(ReadFileBytes(name),
              Utf16LE(u"[A]\r\nk=v\r\n\r\n[Unicode]\r\nProgram=X\r\nEncoding=UTF-16LE\r\n\r\n"));
}

TEST_F(IniFileUtilsTest, AReadOnlyObjectNeverWritesItsFile)
{
    const std::string name = sandbox.Path("ro.ini");
    WriteFileBytes(name, "[A]\r\nk=v\r\n");
    {
        auto ini = TUnicodeIniFile::CreateForRead(name);
        ini.WriteString("A", "k", "changed");
        ini.WriteString("B", "new", "1");
        EXPECT_EQ(ini.ReadString("A", "k", ""), "changed");
        ini.UpdateFile();
    }
    EXPECT_EQ(ReadFileBytes(name), "[A]\r\nk=v\r\n");
    {
        auto ini = TUnicodeIniFile::CreateForRead(sandbox.Path("missing.ini"));
    }
    EXPECT_FALSE(std::ifstream(sandbox.Path("missing.ini")).good());
}

TEST_F(IniFileUtilsTest, EveryEncodingAndLineEndingIsRead)
{
    const std::string name = sandbox.Path("enc.ini");
    struct Case
    {
        const char* what;
        std::string bytes;
    };
    std::string be = "\xFE\xFF";
    for (char16_t c : std::u16string(u"[S]\nkey=\u00c4\u20ac\n"))
        be += std::string{static_cast<char>(c >> 8), static_cast<char>(c & 0xFF)};
    const Case cases[] = {
        {"UTF-8 with BOM", "\xEF\xBB\xBF[S]\r\nkey=\xC3\x84\xE2\x82\xAC\r\n"},
        {"UTF-8 without BOM, LF only", "[S]\nkey=\xC3\x84\xE2\x82\xAC\n"},
        {"UTF-16LE, CR only", Utf16LE(u"[S]\rkey=\u00c4\u20ac\r")},
        {"UTF-16BE", be},
        {"Windows-1252", "[S]\r\nkey=\xC4\x80\r\n[T]\r\nz=\xFF\r\n"},
        {"blanks and comments",
         "; comment\r\n  [ S ]  \r\n\r\n ;x=1\r\n  key  =  \xC3\x84\xE2\x82\xAC  \r\n"},
    };
    for (const Case& c : cases) {
        WriteFileBytes(name, c.bytes);
        auto ini = TUnicodeIniFile::CreateForRead(name);
        EXPECT_EQ(ini.ReadString("s", "KEY", "?"), "\u00c4\u20ac") << c.what;
    }
}

TEST_F(IniFileUtilsTest, BrokenFilesGiveDefaultsAndNoCrash)
{
    const std::string name = sandbox.Path("broken.ini");
    std::string full = Utf16LE(u"[S]\r\nNumber=42\r\nText=abc\r\n");
    std::string garbage;
    for (int i = 0; i < 4096; ++i)
        garbage += static_cast<char>((i * 7919) % 256);
    const size_t cutInNumber = full.find(std::string("2\0", 2)) + 1; // half of the character "2"
    struct Case
    {
        std::string bytes;
        int number; // what ReadInteger gives with default -7
    };
    const Case cases[] = {
        {full.substr(0, full.size() - 3), 42}, // cut inside the last line end
        {full.substr(0, cutInNumber), 4},      // cut inside a character: the whole ones count
        {full.substr(0, 9), -7},               // cut inside the section header
        {"\xFF\xFE", -7},                      // only the mark
        {"\xFF", -7},                          // half a mark
        {Utf16LE(u"[S]\r\nText=\xD800\xD800\r\nNumber=x\r\n"), -7},
        {"[S\r\n=\r\n==\r\nNumber\r\n[]\r\n=5\r\n", -7},
        {"Number=1\r\n", -7}, // before any section
        {garbage, -7},
        {std::string("[S]\0Number=1\0", 12), -7},
        {"", -7},
    };
    for (const Case& c : cases) {
        WriteFileBytes(name, c.bytes);
        auto ini = TUnicodeIniFile::CreateForRead(name);
        EXPECT_EQ(ini.ReadInteger("S", "Number", -7), c.number);
        EXPECT_EQ(ini.ReadInt64("S", "Number", -7), c.number);
        EXPECT_TRUE(ini.ReadBool("S", "Flag", true));
        EXPECT_EQ(ini.ReadString("S", "Missing", "def"), "def");
    }
    ASSERT_TRUE(::mkdir(sandbox.Path("adir.ini").c_str(), 0755) == 0);
    auto dirIni = TUnicodeIniFile::CreateForRead(sandbox.Path("adir.ini"));
    EXPECT_EQ(dirIni.ReadString("S", "Text", "def"), "def");
}

TEST_F(IniFileUtilsTest, Int64AndIntegerTextsFollowTheClassLibrary)
{
    const std::string name = sandbox.Path("n.ini");
    WriteFileBytes(name, "[N]\na=0x1F\nb=0X1F\nc=0x\nd=$1F\ne=12abc\nf=-9000000000\ng=9223372036854775808\n"
                         "h=$FFFFFFFF\ni=4294967296\nj=\n");
    auto ini = TUnicodeIniFile::CreateForRead(name);
    EXPECT_EQ(ini.ReadInt64("N", "a", 5), 31);
    EXPECT_EQ(ini.ReadInt64("N", "b", 5), 31);
    EXPECT_EQ(ini.ReadInt64("N", "c", 5), 5);
    EXPECT_EQ(ini.ReadInt64("N", "d", 5), 31);
    EXPECT_EQ(ini.ReadInt64("N", "e", 5), 5);
    EXPECT_EQ(ini.ReadInt64("N", "f", 5), -9000000000);
    EXPECT_EQ(ini.ReadInt64("N", "g", 5), 5) << "overflow";
    EXPECT_EQ(ini.ReadInt64("N", "missing", 5), 5);
    EXPECT_EQ(ini.ReadInteger("N", "h", 5), -1);
    EXPECT_EQ(ini.ReadInteger("N", "i", 5), 5);
    EXPECT_EQ(ini.ReadInteger("N", "f", 5), 5);
    EXPECT_EQ(ini.ReadInteger("N", "j", 5), 5);
    EXPECT_FALSE(ini.ReadBool("N", "j", false));
    EXPECT_TRUE(ini.ReadBool("N", "a", false));
}

TEST_F(IniFileUtilsTest, ErasedSectionKeepsItsPlace)
{
    const std::string name = sandbox.Path("order.ini");
    {
        auto ini = TUnicodeIniFile::CreateForWrite(name, true);
        ini.WriteString("A", "x", "1");
        ini.WriteString("B", "y", "2");
        ini.WriteString("B", "z", "3");
        ini.WriteString("C", "w", "4");
    }
    {
        auto ini = TUnicodeIniFile::CreateForWrite(name, false);
        ini.EraseSectionValues("b");
        ini.EraseSectionValues("Nothing");
        ini.WriteString("B", "new", "5");
        EXPECT_FALSE(ini.SectionExists("Nothing"));
    }
    EXPECT_EQ(ReadFileBytes(name),
              Utf16LE(u"[Unicode]\r\nEncoding=UTF-16LE\r\n\r\n[A]\r\nx=1\r\n\r\n[B]\r\nnew=5\r\n\r\n"
                      u"[C]\r\nw=4\r\n\r\n"));
}

TEST_F(IniFileUtilsTest, BytesThatAreNotUtf8SurviveAUtf16File)
{
    const std::string name = sandbox.Path("names.ini");
    const std::string latin1Name = "/home/u/Caf\xE9/\xFF\x80.txt";
    {
        auto ini = TUnicodeIniFile::CreateForWrite(name, true);
        ini.WriteString("Dir000", "Source", latin1Name);
    }
    auto ini = TUnicodeIniFile::CreateForRead(name);
    EXPECT_EQ(ini.ReadString("Dir000", "Source", ""), latin1Name);
}

TEST_F(IniFileUtilsTest, AFailedWriteRaisesAndLeavesNoTemporaryFile)
{
    const std::string name = sandbox.Path("missing-folder/x.ini");
    bool raised = false;
    try {
        auto ini = TUnicodeIniFile::CreateForWrite(name, true);
        ini.WriteString("A", "k", "v");
    } catch (const EWriteError& e) {
        raised = true;
        EXPECT_EQ(e.Message(), "Error writing to \"" + name + "\"");
    }
    EXPECT_TRUE(raised);

    // The target is a folder: the rename cannot replace it, nothing else is left behind.
    const std::string dir = sandbox.Path("target.ini");
    ::mkdir(dir.c_str(), 0755);
    EXPECT_THROW(
        {
            auto ini = TUnicodeIniFile::CreateForWrite(dir, true);
            ini.UpdateFile();
        },
        EWriteError);
    EXPECT_EQ(std::system(("test $(ls -A '" + sandbox.Path() + "' | grep -c tmp) = 0").c_str()), 0);
}

TEST_F(IniFileUtilsTest, WritesReplaceTheFileAndKeepItsModeAndLinks)
{
    const std::string name = sandbox.Path("real.ini");
    const std::string link = sandbox.Path("link.ini");
    WriteFileBytes(name, "[A]\nk=1\n");
    ::chmod(name.c_str(), 0600);
    ::symlink(name.c_str(), link.c_str());
    struct stat before;
    ::stat(name.c_str(), &before);
    {
        auto ini = TUnicodeIniFile::CreateForWrite(link, false);
        ini.WriteString("A", "k", "2");
    }
    struct stat after, linkStat;
    ::stat(name.c_str(), &after);
    ::lstat(link.c_str(), &linkStat);
    EXPECT_TRUE(S_ISLNK(linkStat.st_mode)) << "the link stays a link";
    EXPECT_EQ(after.st_mode & 07777, 0600u);
    EXPECT_NE(after.st_ino, before.st_ino) << "a new file replaced the old one";
    EXPECT_EQ(TUnicodeIniFile::CreateForRead(name).ReadString("A", "k", ""), "2");
}

TEST_F(IniFileUtilsTest, SectionListsAndKeyRemoval)
{
    const std::string name = sandbox.Path("lists.ini");
    WriteFileBytes(name, "[One]\na=1\nb=2\n[Two]\nc=3\n[one]\nd=4\n");
    TMemIniFile ini(name);
    TStringList list;
    ini.ReadSections(list);
    EXPECT_EQ(list.Items(), (std::vector<std::string>{"One", "Two"}));
    ini.ReadSection("ONE", list);
    EXPECT_EQ(list.Items(), (std::vector<std::string>{"a", "b", "d"}));
    ini.ReadSectionValues("two", list);
    EXPECT_EQ(list.Items(), (std::vector<std::string>{"c=3"}));
    ini.DeleteKey("One", "B");
    ini.EraseSection("Two");
    EXPECT_FALSE(ini.ValueExists("One", "b"));
    EXPECT_FALSE(ini.SectionExists("Two"));
    EXPECT_EQ(ini.Text(), "[One]\r\na=1\r\nd=4\r\n\r\n");
}

TEST_F(IniFileUtilsTest, OneCallRoutinesKeepThePlainFileEncoding)
{
    const std::string cfg = sandbox.Path("Vastrel.cfg");
    IniWriteString(cfg, "Language", "LangID", "de");
    IniWriteInteger(cfg, "Config", "DarkMode", 1);
    IniWriteBool(cfg, "Config", "Check", false);
    EXPECT_EQ(ReadFileBytes(cfg), "[Language]\r\nLangID=de\r\n\r\n[Config]\r\nDarkMode=1\r\nCheck=0\r\n\r\n");
    EXPECT_EQ(IniReadString(cfg, "language", "langid", ""), "de");
    EXPECT_EQ(IniReadInteger(cfg, "Config", "DarkMode", 0), 1);
    EXPECT_FALSE(IniReadBool(cfg, "Config", "Check", true));
    EXPECT_EQ(IniReadString(sandbox.Path("none.cfg"), "A", "b", "def"), "def");

    WriteFileBytes(cfg, Utf16LE(u"[A]\r\nk=\u00e4\r\n"));
    IniWriteString(cfg, "A", "n", "1");
    EXPECT_EQ(ReadFileBytes(cfg), Utf16LE(u"[A]\r\nk=\u00e4\r\nn=1\r\n\r\n"));
    WriteFileBytes(cfg, "[A]\r\nk=\xE4\r\n");
    IniWriteString(cfg, "A", "n", "\u20ac");
    EXPECT_EQ(ReadFileBytes(cfg), "[A]\r\nk=\xE4\r\nn=\x80\r\n\r\n");
}
