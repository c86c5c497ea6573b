#include "platform/DirSearch.h"

#include <algorithm>
#include <fstream>
#include <set>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include "platform/ErrorCodes.h"
#include "support/Sandbox.h"

namespace {

std::set<std::string> Search(const std::string& path, int attr)
{
    std::set<std::string> names;
    TSearchRec f;
    int rc = FindFirst(path, attr, f);
    while (rc == 0) {
        names.insert(f.Name);
        rc = FindNext(f);
    }
    FindClose(f);
    return names;
}

class DirSearchTest : public SandboxTest
{
protected:
    void SetUp() override
    {
        for (const char* n : {"a.txt", "B.TXT", "readme", "x.tar.gz", ".profile"})
            std::ofstream(sandbox.Path(n)) << "abc";
        ::mkdir(sandbox.Path("sub").c_str(), 0755);
        ::mkfifo(sandbox.Path("pipe").c_str(), 0644);
    }
};

} // namespace

TEST(MatchesFileMaskTest, FollowsTheDirectorySearchRules)
{
    struct Case
    {
        const char* name;
        const char* mask;
        bool match;
    } cases[] = {
        {"a.txt", "*.txt", true},
        {"A.TXT", "*.txt", true},
        {"a.txt.bak", "*.txt", false},
        {"readme", "*.*", true},
        {"readme", "*", true},
        {"readme", "read*.*", true},
        {"readme", "*.txt", false},
        {"a.buj", "?.buj", true},
        {"ab.buj", "?.buj", false},
        {"x.tar.gz", "*.gz", true},
        {"x.tar.gz", "x.*", true},
        {".bashrc", "*.*", true},
        {"abc", "a*c", true},
        {"abdc", "a*c", true},
        {"abd", "a*c", false},
        {"report", "report.*", true},
        {"report.doc", "report.*", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DirSearchMatches(c.name, c.mask), c.match) << c.name << " " << c.mask;
}

TEST_F(DirSearchTest, FindsFilesByMaskAndHonoursTheAttributeFilter)
{
    std::string dir = sandbox.Path() + "/";
    EXPECT_EQ(Search(dir + "*.txt", 0), (std::set<std::string>{"a.txt", "B.TXT"}));
    EXPECT_EQ(Search(dir + "*", faArchive | faReadOnly),
              (std::set<std::string>{"a.txt", "B.TXT", "readme", "x.tar.gz"}));
    EXPECT_EQ(Search(dir + "*", faHidden | faArchive),
              (std::set<std::string>{"a.txt", "B.TXT", "readme", "x.tar.gz", ".profile"}));
    auto all = Search(dir + "*", faAnyFile);
    EXPECT_TRUE(all.count("sub"));
    EXPECT_TRUE(all.count("pipe")); // reported as a system entry, never opened
    EXPECT_TRUE(all.count("."));
    EXPECT_TRUE(all.count(".."));
}

TEST_F(DirSearchTest, ANameWithoutWildcardsFindsExactlyThatEntry)
{
    TSearchRec f;
    ASSERT_EQ(FindFirst(sandbox.Path("a.txt"), faAnyFile, f), 0);
    EXPECT_EQ(f.Name, "a.txt");
    EXPECT_EQ(f.Size, 3);
    EXPECT_NE(f.Time, 0);
    EXPECT_EQ(FindNext(f), int(WinError::ERROR_NO_MORE_FILES));
    FindClose(f);
    EXPECT_EQ(FindFirst(sandbox.Path("A.txt"), faAnyFile, f), int(WinError::ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(FindFirst(sandbox.Path("sub"), 0, f), int(WinError::ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(FindFirst(sandbox.Path("nodir/*"), faAnyFile, f), int(WinError::ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(FindFirst(sandbox.Path("*.none"), faAnyFile, f), int(WinError::ERROR_FILE_NOT_FOUND));
}

TEST(FileTimeToLocalDosTest, EncodesDateAndTimeAndRefusesYearsBefore1980)
{
    // 2020-02-29 12:34:56 UTC with TZ=UTC.
    FILETIME ft = UnixNsToFileTime(1582979696, 0);
    uint32_t dos = FileTimeToLocalDos(ft);
    EXPECT_EQ(dos >> 16, uint32_t(((2020 - 1980) << 9) | (2 << 5) | 29));
    EXPECT_EQ(dos & 0xFFFF, uint32_t((12 << 11) | (34 << 5) | 28));
    EXPECT_EQ(FileTimeToLocalDos(UnixNsToFileTime(0, 0)), 0u);
}
