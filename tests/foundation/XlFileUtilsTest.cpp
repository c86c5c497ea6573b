#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include "foundation/XlFileUtils.h"
#include "support/Sandbox.h"

namespace {

void Touch(const std::string& name, const std::string& data = "x")
{
    std::ofstream(name, std::ios::binary) << data;
}

bool Exists(const std::string& name)
{
    struct stat st;
    return ::lstat(name.c_str(), &st) == 0;
}

} // namespace

using XlFileUtilsTest = SandboxTest;

TEST(XlFileUtils, LongPathRuleLeavesEveryPathUnchanged)
{
    const std::string paths[] = {"",
                                 "a",
                                 "/home/u/" + std::string(300, 'x'),
                                 "rel/" + std::string(300, 'y'),
                                 "//srv/share/a",
                                 "\\\\srv\\share\\a",
                                 "\\\\?\\C:\\x"};
    for (const std::string& p : paths)
        EXPECT_EQ(AddLongPathPrefix(p), p);
}

TEST_F(XlFileUtilsTest, ForceDirectoriesCreatesEveryLevel)
{
    EXPECT_TRUE(XlForceDirectories(sandbox.Path("a/b/c")));
    EXPECT_TRUE(XlDirectoryExists(sandbox.Path("a/b/c")));
    EXPECT_TRUE(XlForceDirectories(sandbox.Path("a/b/c/")));
    EXPECT_FALSE(XlForceDirectories(""));
    Touch(sandbox.Path("file"));
    EXPECT_FALSE(XlForceDirectories(sandbox.Path("file/sub")));
}

TEST_F(XlFileUtilsTest, RemovingDirectoriesReportsCodes)
{
    const std::string dir = sandbox.Path("d");
    XlForceDirectories(dir + "/sub");
    EXPECT_EQ(XlRemoveDir(dir), 145u) << "not empty";
    EXPECT_EQ(XlRemoveDir(sandbox.Path("missing")), 2u);
    ::chmod((dir + "/sub").c_str(), 0555);
    EXPECT_EQ(XlRemoveDirEx(dir + "/sub", true), 0u);
    EXPECT_FALSE(Exists(dir + "/sub"));
    EXPECT_EQ(XlRemoveDirEx(sandbox.Path("missing"), true), 2u);

    const std::string link = sandbox.Path("dirlink");
    ASSERT_EQ(::symlink(dir.c_str(), link.c_str()), 0);
    EXPECT_EQ(XlRemoveDir(link), 0u) << "a link to a folder goes like a junction";
    EXPECT_FALSE(Exists(link));
    EXPECT_TRUE(Exists(dir));
}

TEST_F(XlFileUtilsTest, ExistenceTestsTellFilesFromFoldersAndLinks)
{
    const std::string file = sandbox.Path("f");
    const std::string dir = sandbox.Path("d");
    const std::string dangling = sandbox.Path("dangling");
    Touch(file);
    XlForceDirectories(dir);
    ::symlink(sandbox.Path("nowhere").c_str(), dangling.c_str());

    EXPECT_TRUE(XlFileExists(file));
    EXPECT_FALSE(XlFileExists(dir));
    EXPECT_TRUE(XlDirectoryExists(dir));
    EXPECT_FALSE(XlDirectoryExists(file));
    EXPECT_FALSE(XlFileExists(dangling, true));
    EXPECT_TRUE(XlFileExists(dangling, false));
    EXPECT_TRUE(XlIsReparsePoint(dangling));
    EXPECT_FALSE(XlIsReparsePoint(file));

    EXPECT_TRUE(XlIsEmptyDirectory(dir));
    EXPECT_TRUE(XlIsEmptyDirectory(sandbox.Path("missing")));
    EXPECT_FALSE(XlIsEmptyDirectory(sandbox.Path()));

    EXPECT_FALSE(XlIsPathMissing(file));
    EXPECT_FALSE(XlIsPathMissing(dangling));
    EXPECT_TRUE(XlIsPathMissing(sandbox.Path("missing")));
    EXPECT_TRUE(XlIsPathMissing(file + "/below"));
    EXPECT_FALSE(XlIsPathMissing(sandbox.Path(std::string(300, 'n')))) << "too long is not missing";

    uint32_t code = 99;
    EXPECT_TRUE(XlCheckDirAccess(dir, code));
    EXPECT_EQ(code, 0u);
    EXPECT_FALSE(XlCheckDirAccess(file, code));
    EXPECT_EQ(code, 3u);
}

TEST_F(XlFileUtilsTest, ReadOnlyFilesAreDeletedOnlyWhenAsked)
{
    const std::string file = sandbox.Path("ro.txt");
    Touch(file);
    ::chmod(file.c_str(), 0444);
    EXPECT_EQ(XlDeleteFile(file, false), 5u);
    EXPECT_TRUE(Exists(file));
    EXPECT_FALSE(XlTryDeleteFile(file));
    EXPECT_EQ(XlDeleteFile(file, true), 0u);
    EXPECT_FALSE(Exists(file));

    EXPECT_EQ(XlDeleteFile(file), 2u);
    EXPECT_EQ(XlDeleteExistingFile(file), 0u);
    EXPECT_EQ(XlDeleteFile(sandbox.Path("home")), 5u) << "a folder is no file";
    Touch(file);
    EXPECT_EQ(XlDeleteExistingFile(file), 0u);
    EXPECT_FALSE(Exists(file));
}

TEST_F(XlFileUtilsTest, MoveNeverReplacesAndTellsAttributeFailuresApart)
{
    const std::string a = sandbox.Path("a"), b = sandbox.Path("b");
    Touch(a, "A");
    Touch(b, "B");
    EXPECT_EQ(XlMoveFile(a, b), 183u);
    EXPECT_EQ(XlMoveFile(sandbox.Path("missing"), sandbox.Path("c")), 2u);
    EXPECT_EQ(XlMoveFileSetAttr(a, sandbox.Path("c"), faReadOnly | faArchive), 0);
    EXPECT_FALSE(Exists(a));
    EXPECT_EQ(XlFileGetAttr(sandbox.Path("c")), int(faReadOnly | faArchive));
    EXPECT_EQ(XlMoveFileSetAttr(b, sandbox.Path("c"), 0), 183);

    // The move of a dangling link succeeds; setting attributes through it cannot.
    ::symlink(sandbox.Path("nowhere").c_str(), sandbox.Path("link").c_str());
    EXPECT_EQ(XlMoveFileSetAttr(sandbox.Path("link"), sandbox.Path("moved"), faArchive), -2);
    EXPECT_TRUE(Exists(sandbox.Path("moved")));
}

TEST_F(XlFileUtilsTest, ChangeFileAttrWritesOnlyWhenSomethingChanges)
{
    const std::string file = sandbox.Path("f");
    Touch(file);
    EXPECT_EQ(XlChangeFileAttr(sandbox.Path("missing"), faReadOnly, false), 2u);
    EXPECT_EQ(XlChangeFileAttr(file, faArchive, false), 0u);
    char buf[8];
    EXPECT_LT(::getxattr(file.c_str(), ArchiveXattrName, buf, sizeof(buf)), 0) << "nothing written";
    EXPECT_EQ(XlChangeFileAttr(file, faReadOnly, false), 0u);
    EXPECT_EQ(XlFileGetAttr(file) & int(faReadOnly), int(faReadOnly));
    EXPECT_EQ(XlChangeFileAttr(file, faReadOnly, true), 0u);
    EXPECT_EQ(XlFileGetAttr(file) & int(faReadOnly), 0);
}

TEST_F(XlFileUtilsTest, SizesAndAgesOfFilesAndFolders)
{
    const std::string file = sandbox.Path("f");
    Touch(file, "12345");
    EXPECT_EQ(XlGetFileSizeOf(file), 5);
    EXPECT_EQ(XlGetFileSizeOf(sandbox.Path("missing")), 0);
    EXPECT_EQ(XlGetFileSizeOf(sandbox.Path("home")), 0);

    // 2021-03-04 05:06:07.250 UTC.
    struct timespec times[2] = {{1614834367, 250000000}, {1614834367, 250000000}};
    ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), times, 0), 0);
    ASSERT_EQ(::utimensat(AT_FDCWD, sandbox.Path("home").c_str(), times, 0), 0);
    const TDateTime expected = UtcToLocal(EncodeDateTime(2021, 3, 4, 5, 6, 7, 250));
    EXPECT_NEAR(XlGetFileAge(file), expected, 1e-9);
    EXPECT_NEAR(XlGetFileAgeDef(file, 1.0), expected, 1e-9);
    EXPECT_EQ(XlGetFileAge(sandbox.Path("home")), 0) << "folders have no file age";
    EXPECT_EQ(XlGetFileAgeDef(sandbox.Path("missing"), 7.5), 7.5);
    EXPECT_NEAR(XlGetDirAge(sandbox.Path("home")), expected, 1e-9);
    EXPECT_EQ(XlGetDirAge(file), 0);
}
