#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

#include <gtest/gtest.h>

#include "RunTestUtil.h"
#include "backup/CopyLoop.h"
#include "backup/Synchronize.h"

namespace fs = std::filesystem;

namespace {

void WriteAll(const std::string& name, const std::string& data)
{
    fs::create_directories(fs::path(name).parent_path());
    std::ofstream(name, std::ios::binary) << data;
}

[[maybe_unused]] void SetMTime(const std::string& name, time_t t)
{
    struct utimbuf times
    {
        t, t
    };
    utime(name.c_str(), &times);
}

// Every file below root as "relative/path=content", sorted.
std::vector<std::string> Tree(const std::string& root)
{
    std::vector<std::string> files;
    if (!fs::exists(root))
        return files;
    for (const auto& e : fs::recursive_directory_iterator(root)) {
        if (e.is_symlink() || !e.is_regular_file())
            continue;
        std::string rel = fs::relative(e.path(), root).string();
        if (rel == "$TimeStamp.qvu")
            continue;
        files.push_back(rel + "=" + runtest::ReadAll(e.path().string()));
    }
    std::sort(files.begin(), files.end());
    return files;
}

size_t Count(const std::string& text, const std::string& what)
{
    size_t n = 0;
    for (size_t pos = text.find(what); pos != std::string::npos; pos = text.find(what, pos + 1))
        ++n;
    return n;
}

class SynchronizeTest : public runtest::RunFrameTest
{
protected:
    void SetUp() override
    {
        runtest::RunFrameTest::SetUp();
        ProgSettings.SecCopySettings.BakPrefix = "~";
        ProgSettings.SecCopySettings.SyncPrefix = "_";
        ProgSettings.SecCopySettings.BakSuffix = "bak";
        ProgSettings.SecCopySettings.SyncSuffix = "sync";
        AttachCopyLoop(engine, loop);
    }
    std::string Src(const std::string& rel = "") { return sandbox.Path("src/" + rel); }
    std::string Dst(const std::string& rel = "") { return sandbox.Path("dest/" + rel); }
    // A task of one source folder backed up into the destination itself (method 2), with the log at
    // level 3 unless extra says otherwise.
    std::string Task(const std::string& extra, const std::string& source = "",
                     const std::string& dirExtra = "")
    {
        std::string path = sandbox.Path("tasks/t.buj");
        fs::create_directories(sandbox.Path("tasks"));
        std::ofstream(path) << "[Global]\nDestination=" << sandbox.Path("dest")
                            << "\nDestMode=2\nDirCount=1\n"
                            << (extra.find("LogFile=") == std::string::npos ? "LogFile=3\n" : "") << extra
                            << "\n[Dir000]\nSource=" << (source.empty() ? sandbox.Path("src") : source)
                            << "\nBackupMode=1\n"
                            << dirExtra << "\n";
        return path;
    }
    TBuResult RunTask(const std::string& extra, const std::string& source = "",
                      const std::string& dirExtra = "")
    {
        size_t before = runtest::ReadAll(host.DefaultLog).size();
        TBuResult r = engine.DoBackupJob(0, iaQuiet, 3, Task(extra, source, dirExtra));
        lastLog = runtest::ReadAll(host.DefaultLog).substr(before);
        return r;
    }
    bool Logged(const std::string& text) const { return lastLog.find(text) != std::string::npos; }

    TRecordingProgress progress;
    TRunControl control;
    TBackupEngine engine{host, interaction, progress, control, log};
    TCopyLoop loop{engine.Task, log, control, progress, interaction};
    std::string lastLog;
};

TEST_F(SynchronizeTest, AllFilesModeRemovesWhatTheSourceNoLongerHasAndCountsIt)
{
    for (bool before : {false, true}) {
        SCOPED_TRACE(before ? "before the copy" : "after the copy");
        fs::remove_all(Src());
        fs::remove_all(Dst());
        WriteAll(Src("a.txt"), "alpha");
        WriteAll(Src("d/b.txt"), "beta");
        WriteAll(Dst("a.txt"), "old alpha");
        SetMTime(Dst("a.txt"), 1600000000);
        WriteAll(Dst("gone.txt"), "gone");
        WriteAll(Dst("d/gone2.txt"), "gone too");
        WriteAll(Dst("olddir/x.txt"), "x");
        WriteAll(Dst("olddir/y/z.txt"), "z");
        EXPECT_EQ(RunTask(std::string("SyncMode=1\nSyncBefore=") + (before ? "1" : "0")), brOK);
        EXPECT_EQ(host.FExitState, 0) << lastLog;
        EXPECT_EQ(Tree(Dst()), (std::vector<std::string>{"a.txt=alpha", "d/b.txt=beta"}));
        EXPECT_TRUE(Logged("->  Synchronize: " + sandbox.Path("dest"))) << lastLog;
        EXPECT_TRUE(Logged("-> File was deleted: \"gone.txt\"")) << lastLog;
        EXPECT_TRUE(Logged("-> File was deleted: \"d/gone2.txt\"")) << lastLog;
        EXPECT_TRUE(Logged("-> Directory was deleted: \"olddir\" (2 files)")) << lastLog;
        EXPECT_TRUE(Logged("=> Status: 4 files deleted")) << lastLog;
        EXPECT_TRUE(Logged("Synchronization: 4 files deleted")) << lastLog;
        EXPECT_FALSE(Logged("Warning: There were errors during synchronization!")) << lastLog;
        // Before: synchronise, then "Data backup" and the copy; after: the copy's status line first.
        size_t sync = lastLog.find("->  Synchronize:");
        size_t copy = lastLog.find("Status: 2 files copied");
        ASSERT_NE(copy, std::string::npos) << lastLog;
        EXPECT_EQ(sync < copy, before) << lastLog;
        EXPECT_EQ(Logged("->  Data backup"), true);
        EXPECT_EQ(Count(lastLog, "Synchronize:"), 1u);
    }
    // In step now: nothing to delete.
    EXPECT_EQ(RunTask("SyncMode=1"), brOK);
    EXPECT_TRUE(Logged("=> Status: No files deleted")) << lastLog;
    EXPECT_EQ(Tree(Dst()), (std::vector<std::string>{"a.txt=alpha", "d/b.txt=beta"}));
}

} // namespace
