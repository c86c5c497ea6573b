#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "foundation/PathUtils.h"
#include "support/Sandbox.h"

namespace {

struct Case1
{
    std::string in;
    std::string expected;
};

struct Case2
{
    std::string a;
    std::string b;
    std::string expected;
};

struct Bool2
{
    std::string a;
    std::string b;
    bool expected;
};

const std::string kLatin1 = "caf\xe9"; // a name that is not UTF-8

} // namespace

// --- Extensions and names

TEST(PathUtils, AddPathDelimiterAddsOneSlash)
{
    for (const Case1& c : std::initializer_list<Case1>{{"", ""},
                                                       {"/", "/"},
                                                       {"/a", "/a/"},
                                                       {"/a/", "/a/"},
                                                       {"my dir", "my dir/"},
                                                       {":data:", ":data:/"},
                                                       {":data:/x", ":data:/x/"},
                                                       {"a\\b", "a\\b/"}})
        EXPECT_EQ(AddPathDelimiter(c.in), c.expected) << c.in;
}

TEST(PathUtils, ExtensionsIgnoreALeadingDotAndDotsInFolders)
{
    struct Case
    {
        std::string name;
        std::string ext;
        std::string without;
    } cases[] = {
        {"/dir.old/file", "", "/dir.old/file"},
        {"a.b.c", "c", "a.b"},
        {"a.tar.gz", "gz", "a.tar"},
        {"name.", "", "name"},
        {".bashrc", "", ".bashrc"},
        {"/home/u/.bashrc", "", "/home/u/.bashrc"},
        {"/home/u/.config.bak", "bak", "/home/u/.config"},
        {"/", "", "/"},
        {"/dir/", "", "/dir/"},
        {"my file.TXT", "TXT", "my file"},
        {":backup:/x.zip", "zip", ":backup:/x"},
        {"", "", ""},
        {".", "", "."},
        {"..", "", ".."},
        {"/a/...", "", "/a/..."},
        {"..x", "x", "."},
        {kLatin1 + ".txt", "txt", kLatin1},
        {"a\\b.c\\d", "c\\d", "a\\b"}, // a backslash is an ordinary name character
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ExtractExtension(c.name), c.ext) << c.name;
        EXPECT_EQ(DeleteExtension(c.name), c.without) << c.name;
    }
}

TEST(PathUtils, ChangeExtensionReplacesOrRemovesTheExtension)
{
    struct Case
    {
        std::string name;
        std::string ext;
        std::string expected;
    } cases[] = {
        {"a.txt", ".log", "a.log"},
        {"a.txt", "log", "a.log"},
        {"a.txt", "", "a"},
        {"", "log", ""},
        {".bashrc", "bak", ".bashrc.bak"},
        {"/d.x/job", "buj", "/d.x/job.buj"},
        {"name.", "log", "name.log"},
        {"my file.a", ".b", "my file.b"},
        {"a.txt", ".", "a"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ChangeExtension(c.name, c.ext), c.expected) << c.name << " " << c.ext;
}

TEST(PathUtils, ForceExtensionKeepsChangesOrAppends)
{
    struct Case
    {
        std::string name;
        std::string ext;
        int mode;
        std::string expected;
    } cases[] = {
        {"backup", ".zip", 0, "backup.zip"},
        {"backup.zip", ".zip", 0, "backup.zip"},
        {"x.ZIP", ".zip", 0, "x.ZIP"},
        {"x.txt", ".zip", 0, "x.txt.zip"},
        {"x.txt", "zip", 1, "x.zip"},
        {"x.zip", "zip", 2, "x.zip.zip"},
        {"name.", "log", 2, "name.log"},
        {"name.", "log", 0, "name.log"},
        {".zip", "zip", 0, ".zip.zip"},
        {"", "zip", 0, ""},
        {"x", "", 2, "x"},
        {"/a b/c", "log", 7, "/a b/c.log"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ForceExtension(c.name, c.ext, c.mode), c.expected)
            << c.name << " " << c.ext << " " << c.mode;
}

TEST(PathUtils, JoinAndBuildFileNamesWithSlashes)
{
    EXPECT_EQ(JoinPath("/a", "b"), "/a/b");
    EXPECT_EQ(JoinPath("/a/", "b"), "/a/b");
    EXPECT_EQ(JoinPath("/", "b"), "/b");
    EXPECT_EQ(JoinPath("", "b"), "b");
    EXPECT_EQ(JoinPath("/a", ""), "/a");
    EXPECT_EQ(JoinPath("my dir", "my file"), "my dir/my file");

    struct Case
    {
        std::string dir;
        std::string name;
        std::string defExt;
        std::string expected;
    } cases[] = {
        {"/t", "job", ".buj", "/t/job.buj"},
        {"/t/", "job", "buj", "/t/job.buj"},
        {"/t", "/x/job", ".buj", "/x/job.buj"},
        {"/t", "sub.d/job", ".buj", "/t/sub.d/job"},
        {"/t", ":usb:/job", ".buj", ":usb:/job.buj"},
        {"", "job", ".buj", "job.buj"},
        {"/t", "job", "", "/t/job"},
        {"/my tasks", "daily job", ".buj", "/my tasks/daily job.buj"},
        {"/t", "a:b", ".buj", "/t/a:b.buj"}, // a colon is a name character
        {"/t", ".hidden", ".buj", "/t/.hidden"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(BuildFileName(c.dir, c.name, c.defExt), c.expected) << c.dir << " + " << c.name;
        EXPECT_EQ(MakeFileName(c.dir, c.name, c.defExt), c.expected) << c.dir << " + " << c.name;
    }
}

TEST(PathUtils, NameSuffixesGoBeforeTheExtension)
{
    EXPECT_EQ(InsertNameSuffixExt("x", "-2", "log"), "x-2.log");
    EXPECT_EQ(InsertNameSuffixExt("/l/x.txt", "-2", ".log"), "/l/x-2.log");
    EXPECT_EQ(InsertNameSuffixExt("x.txt", "-2", ""), "x-2");
    EXPECT_EQ(InsertNameSuffix("a.txt", "-1"), "a-1.txt");
    EXPECT_EQ(InsertNameSuffix("a", "-1"), "a-1");
    EXPECT_EQ(InsertNameSuffix(".bashrc", "-1"), ".bashrc-1");
    EXPECT_EQ(InsertNameSuffix("/d.x/a b.tar.gz", "-1"), "/d.x/a b.tar-1.gz");
}

TEST(PathUtils, FileMasksMatchWholeNamesCaseInsensitively)
{
    struct Case
    {
        std::string mask;
        std::string name;
        bool expected;
    } cases[] = {
        {"*.txt", "Notes.TXT", true},
        {"*.txt", "notes.txt.bak", false},
        {"?.c", "a.c", true},
        {"?.c", "ab.c", false},
        {"*", "", true},
        {"", "a", false},
        {"*.*", "a.b", true},
        {"*.*", "README", true},
        {"*.*", ".bashrc", true},
        {"readme.*", "README", true},
        {"*.tar.*", "x.tar", false},
        {"[a-c]*", "Beta", true},
        {"[!a-c]*", "beta", false},
        {"[!a-c]*", "delta", true},
        {"file[12].log", "file2.log", true},
        {"file[12].log", "file3.log", false},
        {"[]x]", "]", true},
        {"a[b", "a[b", true},
        {"a*b*c", "aXbYbZc", true},
        {"a*b*c", "aXbYbZ", false},
        {"Ä*", "äpfel", true},
        {"*.jpg", "my photo.JPG", true},
        {"caf?.txt", kLatin1 + ".txt", true},
        {"?", "ä", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(MatchesFileMask(c.mask, c.name), c.expected) << c.mask << " vs " << c.name;
}

TEST(PathUtils, FileNameValidityGuardsTheCharactersOtherSystemsRefuse)
{
    struct Case
    {
        std::string name;
        bool valid;
        std::string replaced;
    } cases[] = {
        {"a:b", false, "a_b"},
        {"a\tb", false, "a_b"},
        {"", true, ""},
        {"my file.txt", true, "my file.txt"},
        {"a/b", false, "a_b"},
        {"x*?<>|\"\\", false, "x_______"},
        {".bashrc", true, ".bashrc"},
        {"grüße", true, "grüße"},
        {kLatin1, true, kLatin1},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(IsValidFileName(c.name), c.valid) << c.name;
        EXPECT_EQ(ReplaceIllegalChars(c.name, '_'), c.replaced) << c.name;
    }
    EXPECT_EQ(ReplaceIllegalChars("a:b", U'·'), "a·b");
}

TEST(PathUtils, DotEntriesAreRecognised)
{
    EXPECT_FALSE(IsNotDotEntry("."));
    EXPECT_FALSE(IsNotDotEntry(".."));
    EXPECT_TRUE(IsNotDotEntry("..."));
    EXPECT_TRUE(IsNotDotEntry(".bashrc"));
    EXPECT_TRUE(IsNotDotEntry(""));
    EXPECT_FALSE(IsNotDotEntryEx("..", "$"));
    EXPECT_FALSE(IsNotDotEntryEx("$RECYCLE", "$~"));
    EXPECT_FALSE(IsNotDotEntryEx("~tmp", "$~"));
    EXPECT_FALSE(IsNotDotEntryEx("äx", "ä"));
    EXPECT_TRUE(IsNotDotEntryEx("a$", "$~"));
    EXPECT_TRUE(IsNotDotEntryEx(".git", ""));
}

// --- Folders and paths

TEST(PathUtils, SameDirectoryComparesCaseSensitively)
{
    for (const Bool2& c : std::initializer_list<Bool2>{
             {"/a/b", "/a/b/", true},
             {"/a/b", "/A/b", false},
             {"", "", true},
             {"/", "/", true},
             {"/my dir", "/my dir/", true},
             {":usb:/x", ":usb:/x/", true},
             {":usb:/x", ":USB:/x", false},
         }) {
        EXPECT_EQ(IsSameDirectory(c.a, c.b), c.expected) << c.a << " vs " << c.b;
        EXPECT_EQ(IsSamePath(c.a, c.b), c.expected && !c.a.empty()) << c.a << " vs " << c.b;
    }
}

TEST(PathUtils, GetParentDirNeverClimbsAboveTheDrivePart)
{
    for (const Case1& c : std::initializer_list<Case1>{
             {"/a/b/", "/a"},
             {"/a/b", "/a"},
             {"/a", "/"},
             {"/", "/"},
             {"", ""},
             {"a", "a"},
             {"a/b", "a"},
             {"/my dir/my file", "/my dir"},
             {"/home/u/.config/", "/home/u"},
             {":usb:/a/b", ":usb:/a"},
             {":usb:/a", ":usb:"},
             {":usb:/", ":usb:"},
             {":usb:", ":usb:"},
             {"//srv/share/x", "//srv/share"},
             {"//srv/share", "//srv/share"},
         })
        EXPECT_EQ(GetParentDir(c.in), c.expected) << c.in;
}

TEST(PathUtils, GetLastDirNameIsTheLastComponent)
{
    for (const Case1& c : std::initializer_list<Case1>{
             {"/a/b/", "b"},
             {"/a/b", "b"},
             {"/", ""},
             {"", ""},
             {"name", "name"},
             {"/home/u/.config", ".config"},
             {"/my dir/", "my dir"},
             {":usb:/", ""},
             {":usb:", ""},
             {":usb:/data", "data"},
             {"/x/a:b", "a:b"},
         })
        EXPECT_EQ(GetLastDirName(c.in), c.expected) << c.in;
}

TEST(PathUtils, IsSubPathComparesWholeComponents)
{
    for (const Bool2& c : std::initializer_list<Bool2>{
             {"/a", "/ab", false},
             {"/a", "/a/b", true},
             {"/a", "/A/b", false},
             {"/a/", "/a", true},
             {"/", "/x/y", true},
             {"", "/x", false},
             {"/my dir", "/my dir/file", true},
             {":usb:/a", ":usb:/a/b", true},
             {":usb:", ":usb:/a", true},
         })
        EXPECT_EQ(IsSubPath(c.a, c.b), c.expected) << c.a << " / " << c.b;
}

TEST(PathUtils, RootAndAbsolutePathsFollowPosixRules)
{
    struct Case
    {
        std::string path;
        bool root;
        bool absolute;
    } cases[] = {
        {"/", true, true},
        {"", true, false},
        {"/a", false, true},
        {"/a/", false, true},
        {"a", false, false},
        {":usb:", true, true},
        {":usb:/", true, true},
        {":usb:/x", false, true},
        {"//srv/share", true, true},
        {"//srv/share/", true, true},
        {"//srv/share/x", false, true},
        {"a:b", false, false},
        {"c:/x", false, false},
        {":a/b:/x", false, false},
        {".bashrc", false, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(IsRootPath(c.path), c.root) << c.path;
        EXPECT_EQ(IsAbsolutePath(c.path), c.absolute) << c.path;
    }
}

TEST(PathUtils, RelativeAndAbsolutePathsAreMadeAgainstABaseFolder)
{
    for (const Case2& c : std::initializer_list<Case2>{
             {"/a", "/a/", ""},
             {"/a", "/a/b/c", "b/c"},
             {"/a/", "/a/b", "b"},
             {"/a", "/ab/c", "/ab/c"},
             {"/a", "/other/a/b", "/other/a/b"},
             {"/", "/x/y", "x/y"},
             {"/my dir", "/my dir/my file", "my file"},
             {":usb:/a", ":usb:/a/b", "b"},
         })
        EXPECT_EQ(MakeRelativePath(c.a, c.b), c.expected) << c.a << " / " << c.b;

    for (const Case2& c : std::initializer_list<Case2>{
             {"/base", "x/y", "/base/x/y"},
             {"/base/", "x", "/base/x"},
             {"/base", "/abs", "/abs"},
             {"/base", ":usb:/x", ":usb:/x"},
             {"/base", ".bashrc", "/base/.bashrc"},
             {"/my dir", "my file", "/my dir/my file"},
         })
        EXPECT_EQ(MakeAbsolutePath(c.a, c.b), c.expected) << c.a << " / " << c.b;
}

TEST(PathUtils, ExpandRelativePathRemovesDotComponents)
{
    for (const Case2& c : std::initializer_list<Case2>{
             {"/base/dir", "../x", "/base/x"},
             {"/base/dir", "./x/./y", "/base/dir/x/y"},
             {"/base", "../../../x", "/x"},
             {"/base", "x/..", "/base"},
             {"/base", "..", "/"},
             {"", "a/../b", "/b"},
             {"/base", "sub/", "/base/sub/"},
             {"/base", "/abs/../x", "/abs/../x"},
             {"/my dir", "../my file", "/my file"},
             {"/base", ".hidden/..x", "/base/.hidden/..x"},
             {":usb:/data", "../../x", ":usb:/x"},
             {"//srv/share/a", "../../b", "//srv/share/b"},
             {"rel", "../../x", "../x"},
         })
        EXPECT_EQ(ExpandRelativePath(c.a, c.b), c.expected) << c.a << " + " << c.b;
}

TEST(PathUtils, GetCommonRootIsTheSharedRunOfWholeComponents)
{
    for (const Case2& c : std::initializer_list<Case2>{
             {"/a/b", "/a/c", "/a/"},
             {"/a/b", "/a/b/c", "/a/b"},
             {"/a/b/", "/a/b/c", "/a/b/"},
             {"/ab", "/ac", "/"},
             {"/a", "/A", "/"},
             {"/", "/x", "/"},
             {"a/b", "c/d", ""},
             {":usb:/a", ":disk:/a", ""},
             {":usb:/a/x", ":usb:/a/y", ":usb:/a/"},
             {"//srv/one", "//srv/two", "//srv/"},
             {"/my dir/a", "/my dir/b", "/my dir/"},
             {"", "/x", ""},
         })
        EXPECT_EQ(GetCommonRoot(c.a, c.b), c.expected) << c.a << " & " << c.b;
}

TEST(PathUtils, DrivesArePosixRootsVolumeNamesOrShares)
{
    for (const Case2& c : std::initializer_list<Case2>{
             {"/a/b", "a/b", "/"},
             {"/", "", "/"},
             {"rel/x", "rel/x", ""},
             {":usb:/x/y", "x/y", ":usb:"},
             {":usb:", "", ":usb:"},
             {"//srv/share/x", "x", "//srv/share"},
             {"/my dir/f", "my dir/f", "/"},
         }) {
        EXPECT_EQ(RemoveDrive(c.a), c.b) << c.a;
        EXPECT_EQ(ExtractDrivePart(c.a), c.expected) << c.a;
    }
    EXPECT_EQ(ReplaceDriveLetter("/a/b", "E"), "/a/b");
    EXPECT_EQ(ReplaceDriveLetter("C:/a", "E"), "E:/a");
    EXPECT_EQ(ReplaceDriveLetter("C:/a", ""), "C:/a");
    EXPECT_EQ(ReplaceDriveLetter(":usb:/a", "E"), ":usb:/a");
    EXPECT_EQ(ReplaceDriveLetter("", "E"), "");
}

TEST(PathUtils, ShortenPathReplacesMiddleFoldersByDots)
{
    struct Case
    {
        std::string path;
        int maxLen;
        std::string expected;
    } cases[] = {
        {"/data/Work/Documents/Backup/file.txt", 30, "/data/Work/.../file.txt"},
        {"/data/Work/Documents/Backup/file.txt", 100, "/data/Work/Documents/Backup/file.txt"},
        {"/data/Work/Documents/Backup/file.txt", 3, "/data/Work/Documents/Backup/file.txt"},
        {"/data/Work/Documents/Backup/file.txt", 15, "/.../file.txt"},
        {"/data/Work/Documents/Backup/file.txt", 10, "...ile.txt"},
        {"averyveryverylongfilename.txt", 10, "...ame.txt"},
        {"/onlyonefolder/", 8, "...lder/"},
        {"/ä/ö/ü/ß/€/x.txt", 12, "/ä/.../x.txt"},
        {":usb:/Backups/2024/März/report.pdf", 25, ":usb:/.../report.pdf"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ShortenPath(c.path, c.maxLen), c.expected) << c.path << " " << c.maxLen;

    const std::string path = "/home/user/My Documents/Projects/2024/Reports/quarterly summary.odt";
    for (int maxLen = 4; maxLen < 80; ++maxLen) {
        std::string shortened = ShortenPath(path, maxLen);
        size_t codePoints = 0;
        for (unsigned char ch : shortened)
            codePoints += (ch & 0xC0) != 0x80;
        EXPECT_LE(codePoints, static_cast<size_t>(maxLen)) << shortened;
    }
}

class PathUtilsOnDisk : public SandboxTest
{
};

TEST_F(PathUtilsOnDisk, GetExistingDirWalksUpToTheNearestExistingFolder)
{
    const std::string root = sandbox.Path("tree");
    std::filesystem::create_directories(root + "/my dir/sub");
    std::ofstream(root + "/file.txt") << "x";
    std::filesystem::create_directory_symlink(root + "/my dir", root + "/link");

    EXPECT_EQ(GetExistingDir(root + "/my dir/sub", "D"), root + "/my dir/sub");
    EXPECT_EQ(GetExistingDir(root + "/my dir/sub/", "D"), root + "/my dir/sub/");
    EXPECT_EQ(GetExistingDir(root + "/my dir/missing/deeper/x", "D"), root + "/my dir");
    EXPECT_EQ(GetExistingDir(root + "/link", "D"), root + "/link");
    EXPECT_EQ(GetExistingDir(root + "/file.txt/x", "D"), root);
    EXPECT_EQ(GetExistingDir("/", "D"), "/");
    EXPECT_EQ(GetExistingDir("/vastrel-missing-root/x", "D"), "/");
    EXPECT_EQ(GetExistingDir("", "D"), "D");
    EXPECT_EQ(GetExistingDir("relative/dir", "D"), "D");
    EXPECT_EQ(GetExistingDir(":usb:/x", "D"), "D");
    EXPECT_EQ(GetExistingDir("//no-such-server/share/x", "D"), "D");
}
