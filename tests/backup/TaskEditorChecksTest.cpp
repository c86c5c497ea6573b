// The editor's checks before a task is saved or run, over a fixed list of volumes.
#include <gtest/gtest.h>

#include "backup/TaskEditorChecks.h"
#include "support/PlatformFakes.h"

namespace {

class TaskEditorChecksTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        for (const auto& [mount, label] : std::vector<std::pair<std::string, std::string>>{
                 {"/", ""}, {"/mnt/d", "DATA"}, {"/media/usb", "USBDISK"}}) {
            TVolumeInfo v;
            v.MountPoint = mount;
            v.Label = label;
            v.FsType = "ext4";
            volumes.Volumes.push_back(v);
        }
        VolumeProvider::SetCurrent(&volumes);
    }
    void TearDown() override { VolumeProvider::SetCurrent(nullptr); }

    // A task with these source folders ("files:" in front: a files-only entry).
    static TTaskSettings Task(int destMode, const std::string& dest, const std::vector<std::string>& sources)
    {
        TTaskSettings task;
        task.DestMode = destMode;
        task.BuZiel = dest;
        for (std::string src : sources) {
            TSubDirMode mode = sdmNormal;
            if (src.rfind("files:", 0) == 0) {
                mode = sdmFiles;
                src.erase(0, 6);
            }
            auto entry = std::make_unique<TExtensionList>(task.NewPeriod, mode);
            entry->SPath = src;
            task.Folders.Add(std::move(entry));
        }
        return task;
    }
    FakeVolumeProvider volumes;
};

TEST_F(TaskEditorChecksTest, DestinationNamesAreCheckedComponentByComponent)
{
    const struct
    {
        const char* path;
        bool valid;
    } cases[] = {
        {"", true},
        {"/home/a/Backup", true},
        {"/home/a/Back|up", false},
        {"/home/a/Back*up/x", false},
        {"/home/a/Ba:ck", false},
        {"/home/a/B\x01", false},
        {":USBDISK:/Backup", true},
        {":USB|DISK:/Backup", false},
        {"//server/share/dir", true},
        {"/home//a/", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.valid, IsValidDestPath(c.path)) << c.path;
}

TEST_F(TaskEditorChecksTest, DestinationPathsAreRebuiltWithoutEmptyOrBlankEndedComponents)
{
    const struct
    {
        const char* in;
        const char* out;
    } cases[] = {
        {"/mnt/d/Backup//Data ", "/mnt/d/Backup/NewDir/Data"},
        {"/mnt/d/Backup /", "/mnt/d/Backup"},
        {"/", "/"},
        {"//server/share/x /", "//server/share/x"},
        {":USBDISK:/a//b", ":USBDISK:/a/NewDir/b"},
        {"rel/dir", "rel/dir"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.out, MakeValidDestPath(c.in)) << c.in;
}

TEST_F(TaskEditorChecksTest, OverlapOfSourcesAndDestinationDependsOnMethodAndFolderKind)
{
    const struct
    {
        int mode;
        const char* dest;
        const char* source;
        bool refused;
    } cases[] = {
        {1, "/mnt/d/Data/Backup", "/mnt/d/Data", true},        // destination inside a source
        {0, "/mnt/d/Data/Backup", "/mnt/d/Data", true},        // for every method
        {1, "/mnt/d/Data/Backup", "files:/mnt/d/Data", false}, // files only: no sub-folders copied
        {1, "/mnt/d/Data", "/mnt/d/Data/Sub", true},           // source inside the destination
        {0, "/mnt/d/Data", "/mnt/d/Data/Sub", false},          // per-drive folders keep them apart
        {4, "/mnt/d/Data", "/mnt/d/Data/Sub", false},          // one zip archive
        {1, "/mnt/d/DataX", "/mnt/d/Data", false},             // a longer name is no sub-folder
        {1, "/mnt/d/Data", "/mnt/d/Data", true},               // a folder lies in itself
    };
    for (const auto& c : cases) {
        const TTaskSettings task = Task(c.mode, c.dest, {c.source});
        EXPECT_EQ(c.refused, !DestinationOverlapProblem(task).empty())
            << c.mode << " " << c.dest << " " << c.source;
    }
}

TEST_F(TaskEditorChecksTest, MethodsCheckTheSourceDrivesAndTheLastFolderNames)
{
    const struct
    {
        int mode;
        std::vector<std::string> sources;
        const char* message; // part of the message, empty when accepted
    } cases[] = {
        {3, {"/home/A/Docs", "/mnt/d/B/docs"}, "unique names"},
        {5, {"/home/A/Docs", "/home/B/Docs"}, "unique names"},
        {5, {"/home/A/Docs"}, ""},
        {3, {"/home/A/Docs", "/home/A/Pics"}, ""},
        {1, {"/home/a", "/mnt/d/b"}, "more than one source drive"},
        {2, {"/home/a", "/mnt/d/b"}, "more than one source drive"},
        {4, {"/home/a", "/mnt/d/b"}, "more than one source drive"},
        {7, {"/home/a", "/mnt/d/b"}, "more than one source drive"},
        {0, {"/home/a", "/mnt/d/b"}, ""},
        {6, {"/home/a", "/mnt/d/b"}, ""},
        {1, {"/mnt/d/a", "/mnt/d/b"}, ""},
    };
    for (const auto& c : cases) {
        const std::string message = CheckMethodForSources(Task(c.mode, "/x", c.sources), "", "", -1);
        if (std::string(c.message).empty()) {
            EXPECT_EQ("", message) << c.mode;
        } else {
            EXPECT_NE(std::string::npos, message.find(c.message)) << c.mode << ": " << message;
        }
    }
}

TEST_F(TaskEditorChecksTest, AFolderAboutToBeAddedIsCheckedAgainstTheOthersButNotTheOneItReplaces)
{
    const TTaskSettings task = Task(3, "/x", {"/home/a/Docs", "/home/b/Pics"});
    EXPECT_NE("", CheckMethodForSources(task, "/mnt/d/Docs", "", -1));
    EXPECT_EQ("", CheckMethodForSources(task, "/mnt/d/Docs", "", 0));
    const TTaskSettings one = Task(1, "/x", {"/home/a", "/home/b"});
    EXPECT_NE("", CheckMethodForSources(one, "/mnt/d/c", "", -1));
    EXPECT_EQ("", CheckMethodForSources(one, "/home/c", "", -1));
}

TEST_F(TaskEditorChecksTest, AVolumeRootAsDestinationIsRefusedForMethodsThatMixTheSourceDrive)
{
    const struct
    {
        int mode;
        const char* dest;
        bool refused;
    } cases[] = {
        {1, "/mnt/d", true},    {1, "/mnt/d/", true},     {0, "/mnt/d", false}, {6, "/mnt/d", false},
        {1, "/mnt/d/x", false}, {1, "/media/usb", false}, {4, ":DATA:", true},
    };
    for (const auto& c : cases) {
        TTaskSettings task = Task(c.mode, c.dest, {"/mnt/d/Data"});
        const std::string problem = CheckDestinationText(task);
        EXPECT_EQ(c.refused, problem.find("root directory of the source drive") != std::string::npos)
            << c.mode << " " << c.dest << ": " << problem;
    }
    TTaskSettings ftp = Task(1, "/mnt/d", {"/mnt/d/Data"});
    ftp.BuFtp = true;
    EXPECT_EQ("", CheckDestinationText(ftp));
}

TEST_F(TaskEditorChecksTest, SourcesOnOneDriveFollowTheVolumeOfTheFirstFolder)
{
    EXPECT_TRUE(SourcesOnOneDrive(Task(0, "", {})));
    EXPECT_TRUE(SourcesOnOneDrive(Task(0, "", {"/mnt/d/a", "/mnt/d/b/c"})));
    EXPECT_FALSE(SourcesOnOneDrive(Task(0, "", {"/mnt/d/a", "/home/b"})));
    TTaskSettings labelled = Task(0, "", {"/media/usb/a", "/mnt/x/b"});
    labelled.Folders[0].VName = "USBDISK";
    labelled.Folders[1].VName = "usbdisk";
    EXPECT_TRUE(SourcesOnOneDrive(labelled));
}

TEST_F(TaskEditorChecksTest, OverlappingFoldersAreFoundInBothDirections)
{
    TTaskSettings task = Task(0, "", {"files:/home/a", "/home/b", "/home/c/d"});
    EXPECT_EQ(-1, FindOverlappingFolder(task, "/home/a/x", false, -1)); // files only
    EXPECT_EQ(1, FindOverlappingFolder(task, "/home/b/x", false, -1));
    EXPECT_EQ(-1, FindOverlappingFolder(task, "/home/b/x", false, 1));
    EXPECT_EQ(-1, FindOverlappingFolder(task, "/home/c", false, -1));
    EXPECT_EQ(2, FindOverlappingFolder(task, "/home/c", true, -1));
}

TEST_F(TaskEditorChecksTest, SettingsThatDeleteAskOneQuestionEach)
{
    TTaskSettings task = Task(1, "/x", {"/home/a"});
    EXPECT_TRUE(RiskyQuestions(task, "Q?").empty());
    task.cbSourceDelete = true;
    task.BuModeCB = bmFull;
    const auto questions = RiskyQuestions(task, "Q?");
    ASSERT_EQ(2u, questions.size());
    EXPECT_NE(std::string::npos, questions[0].find("Delete source files after backup"));
    EXPECT_NE(std::string::npos, questions[1].find("will delete the destination directory"));
    EXPECT_EQ("Q?", questions[1].substr(questions[1].size() - 2));
    task.DestMode = 4; // a zip archive is written anew anyway
    EXPECT_EQ(1u, RiskyQuestions(task, "Q?").size());
}

} // namespace
