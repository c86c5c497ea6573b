#include "platform/Trash.h"

#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/ErrorCodes.h"
#include "support/Files.h"
#include "support/Sandbox.h"

namespace {

bool Exists(const std::string& path)
{
    struct stat st
    {
    };
    return ::lstat(path.c_str(), &st) == 0;
}

class TrashTest : public SandboxTest
{
};

} // namespace

TEST(TrashEncodePathTest, KeepsUnreservedCharactersAndSlashes)
{
    EXPECT_EQ(TrashEncodePath("/home/u/a b/ü%.txt"), "/home/u/a%20b/%C3%BC%25.txt");
    EXPECT_EQ(TrashEncodePath("/x/\xE9"), "/x/%E9");
}

TEST_F(TrashTest, AFileOnTheHomeVolumeGoesToTheHomeTrashWithItsInfo)
{
    std::string f = sandbox.Path("docs/a b.txt");
    ::mkdir(sandbox.Path("docs").c_str(), 0755);
    std::ofstream(f) << "content";
    std::string trashed;
    ASSERT_EQ(MoveToTrash(f, &trashed), 0u);
    EXPECT_FALSE(Exists(f));
    std::string trash = sandbox.Path("home/.local/share/Trash");
    EXPECT_EQ(HomeTrashDir(), trash);
    EXPECT_EQ(trashed, trash + "/files/a b.txt");
    EXPECT_EQ(ReadFileBytes(trashed), "content");
    std::string info = ReadFileBytes(trash + "/info/a b.txt.trashinfo");
    EXPECT_EQ(info.rfind("[Trash Info]\nPath=" + TrashEncodePath(f) + "\nDeletionDate=", 0), 0u) << info;
    EXPECT_EQ(info.size(),
              std::string("[Trash Info]\nPath=" + TrashEncodePath(f) + "\nDeletionDate=").size() + 20);
}

TEST_F(TrashTest, NameCollisionsGetNumberedNamesAndFoldersAndLinksMoveWhole)
{
    std::string trash = sandbox.Path("home/.local/share/Trash");
    for (int i = 0; i < 3; ++i) {
        std::ofstream(sandbox.Path("x.txt")) << i;
        ASSERT_EQ(MoveToTrash(sandbox.Path("x.txt")), 0u);
    }
    EXPECT_EQ(ReadFileBytes(trash + "/files/x.txt"), "0");
    EXPECT_EQ(ReadFileBytes(trash + "/files/x.2.txt"), "1");
    EXPECT_EQ(ReadFileBytes(trash + "/files/x.3.txt"), "2");
    EXPECT_TRUE(Exists(trash + "/info/x.3.txt.trashinfo"));

    ::mkdir(sandbox.Path("tree").c_str(), 0755);
    std::ofstream(sandbox.Path("tree/inner")) << "i";
    ::symlink("/nonexistent", sandbox.Path("dangling").c_str());
    ASSERT_EQ(MoveToTrash(sandbox.Path("tree")), 0u);
    ASSERT_EQ(MoveToTrash(sandbox.Path("dangling")), 0u);
    EXPECT_EQ(ReadFileBytes(trash + "/files/tree/inner"), "i");
    char target[64] = {};
    ASSERT_GT(::readlink((trash + "/files/dangling").c_str(), target, sizeof target - 1), 0);
    EXPECT_STREQ(target, "/nonexistent");
}

TEST_F(TrashTest, AFileOnAnotherVolumeGoesToTheTrashOfThatVolume)
{
    // /dev/shm is a volume of its own here.
    struct stat shm
    {
    }, home{};
    if (::stat("/dev/shm", &shm) != 0 || ::stat(sandbox.Path().c_str(), &home) != 0 ||
        shm.st_dev == home.st_dev)
        GTEST_SKIP() << "no second volume at /dev/shm";
    std::string dir = "/dev/shm/vastrel-trash-test-" + std::to_string(::getpid());
    ::mkdir(dir.c_str(), 0755);
    std::string f = dir + "/v.txt";
    std::ofstream(f) << "v";
    std::string trashed;
    uint32_t rc = MoveToTrash(f, &trashed);
    std::string volTrash = "/dev/shm/.Trash-" + std::to_string(::getuid());
    ASSERT_EQ(rc, 0u);
    EXPECT_EQ(trashed.rfind(volTrash + "/files/v", 0), 0u) << trashed;
    std::string name = trashed.substr(trashed.find_last_of('/') + 1);
    std::string info = ReadFileBytes(volTrash + "/info/" + name + ".trashinfo");
    // Relative to the top folder of the volume.
    EXPECT_NE(info.find("Path=vastrel-trash-test-" + std::to_string(::getpid()) + "/v.txt\n"),
              std::string::npos)
        << info;
    ::unlink(trashed.c_str());
    ::unlink((volTrash + "/info/" + name + ".trashinfo").c_str());
    ::rmdir(dir.c_str());
}

TEST_F(TrashTest, BadInputLeavesEverythingInPlace)
{
    EXPECT_EQ(MoveToTrash(sandbox.Path("missing")), WinError::ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(MoveToTrash(""), WinError::ERROR_INVALID_NAME);
    EXPECT_EQ(MoveToTrash(sandbox.Path(".")), WinError::ERROR_INVALID_NAME);
    EXPECT_TRUE(Exists(sandbox.Path("home")));
}
