#pragma once
// The fixture of whole backup runs of the built program: `Vastrel /force task.buj` on a small generated
// tree in the sandbox, with the task file written from keys and the destination read back by the tool
// that fits each stored form.
#include <algorithm>
#include <ctime>
#include <filesystem>
#include <map>
#include <regex>
#include <string>
#include <sys/stat.h>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "RunTestUtil.h"
#include "TaskTestUtil.h"
#include "archive/AesLib.h"
#include "archive/ExtFileTools.h"
#include "archive/ExtFileToolsZipRead.h"
#include "backup/TaskFileReader.h"
#include "platform/PosixFiles.h"
#include "support/Sandbox.h"
#include "support/Shell.h"
#include "support/TreeBuilder.h"

namespace fs = std::filesystem;

namespace wholerun {

// 2023-11-14 22:13:20 UTC, the time of every source file at the start.
constexpr int64_t T0 = 1700000000;
inline const std::string Password = "secret pass";
#ifdef VASTREL_EXE
inline const std::string VastrelExe = VASTREL_EXE;
#else
inline const std::string VastrelExe;
#endif

using Keys = std::map<std::string, std::string>;

struct TRunResult
{
    int exitCode = -1;
    std::string log;    // what this run added to the task log
    std::string output; // standard output and error of the program
};

// A text that compresses well, of about 40 KB.
inline std::string Compressible()
{
    std::string s;
    for (int i = 0; s.size() < 40000; ++i)
        s += "line " + std::to_string(i % 97) + " of the backup test data\n";
    return s;
}

inline bool Contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

// The tree below root with each file's content replaced by its size and a checksum, which keeps the
// reports of differing trees short.
inline TreeMap Tree(const std::string& root)
{
    TreeMap tree = ReadTree(root);
    for (auto& [path, content] : tree) {
        if (!path.ends_with("/")) {
            char text[64];
            std::snprintf(text, sizeof text, "%zu bytes, crc %08x", content.size(),
                          UpdateCrc32(0, content.data(), content.size()));
            content = text;
        }
    }
    return tree;
}

// The entries of tree moved below prefix ("" or a relative folder ending in "/"), with the folders of
// prefix itself.
inline TreeMap Below(const TreeMap& tree, const std::string& prefix)
{
    TreeMap result;
    for (size_t p = prefix.find('/'); p != std::string::npos; p = prefix.find('/', p + 1))
        result[prefix.substr(0, p + 1)] = "";
    for (const auto& [path, content] : tree)
        result[prefix + path] = content;
    return result;
}

// The regular files below root, relative and sorted.
inline std::vector<std::string> FilesBelow(const std::string& root)
{
    std::vector<std::string> files;
    if (!fs::exists(root))
        return files;
    for (const auto& e : fs::recursive_directory_iterator(root))
        if (e.is_regular_file())
            files.push_back(fs::relative(e.path(), root).string());
    std::sort(files.begin(), files.end());
    return files;
}

// Runs a worker of the copy engine to its end; its error word.
inline int RunWorker(TCopyThread& thread)
{
    thread.Start();
    EXPECT_TRUE(WaitForCopyThread(thread, 0));
    return thread.ErrorCode();
}

class WholeRunTest : public SandboxTest
{
protected:
    void SetUp() override
    {
        if (VastrelExe.empty())
            GTEST_SKIP() << "the program is not built";
        MakeSource();
    }

    // The source tree: four files in three folders, all of time T0.
    void MakeSource()
    {
        fs::remove_all(Src());
        BuildTree(Src(), {{"a.txt", "alpha\n", T0},
                          {"sub/b.dat", Compressible(), T0},
                          {"sub/deep/c.log", "gamma gamma\n", T0},
                          {"sub/deep/empty.bin", "", T0}});
        SetFileMTime(Src("sub/deep"), T0);
        SetFileMTime(Src("sub"), T0);
    }

    std::string Src(const std::string& rel = "") const
    {
        return sandbox.Path(rel.empty() ? "src" : "src/" + rel);
    }
    std::string Dst(const std::string& rel = "") const
    {
        return sandbox.Path(rel.empty() ? "dst" : "dst/" + rel);
    }
    std::string ConfigDir() const { return sandbox.Path("home/.config/Vastrel6/"); }
    std::string TaskPath() const { return sandbox.Path("task.buj"); }
    // The source folder's path without its leading "/", as the full-path methods repeat it.
    std::string SrcRel() const { return Src().substr(1) + "/"; }

    // Writes the task file: one source folder (or the given ones) into Dst(), verified copies, a long
    // log, drive folders named "Drv", nothing excluded from compression; keys replace these defaults.
    // extraSections: further sections by name ("Ftp", "Mail") with their keys.
    std::string WriteTask(const Keys& keys, const std::vector<std::string>& sources = {},
                          const std::map<std::string, Keys>& extraSections = {})
    {
        Keys global = {{"Destination", Dst()}, {"DriveId", "Drv?"}, {"LogFile", "2"},
                       {"NoCompTypes", "#"},   {"Compress", "0"},   {"Verify", "1"},
                       {"Timeout", "0"},       {"ZipName", "arch"}, {"BakPrefix", "~"},
                       {"SyncPrefix", "_"},    {"DirSuffix", ""},   {"SyncSuffix", "sync"}};
        for (const auto& [k, v] : keys)
            global[k] = v;
        std::vector<std::string> dirs = sources.empty() ? std::vector<std::string>{Src()} : sources;
        std::string text = "[Global]\n";
        for (const auto& [k, v] : global)
            text += k + "=" + v + "\n";
        text += "DirCount=" + std::to_string(dirs.size()) + "\n";
        for (size_t i = 0; i < dirs.size(); ++i) {
            char section[32];
            std::snprintf(section, sizeof section, "[Dir%03zu]", i);
            text += std::string(section) + "\nSource=" + dirs[i] + "\nEnabled=1\nBackupMode=1\n";
        }
        for (const auto& [name, sectionKeys] : extraSections) {
            text += "[" + name + "]\n";
            for (const auto& [k, v] : sectionKeys)
                text += k + "=" + v + "\n";
        }
        WriteFileBytes(TaskPath(), tasktest::ToUtf16File(text));
        return TaskPath();
    }

    // Keys of an encrypting task with a fixed password.
    static Keys Encrypted()
    {
        // The encoded form is random; one without a double quote keeps the ini line plain.
        std::string encoded;
        do
            encoded = taskfile::EncodePasswordText(Password);
        while (encoded.find('"') != std::string::npos);
        return {{"Encrypt", "1"}, {"FixPassword", "1"}, {"Password", encoded}};
    }

    // Runs the task; a program that does not end within the guard's time is stopped (exit code 124).
    TRunResult Run(const std::string& task, bool hangGuard = false)
    {
        const std::string logName = ConfigDir() + "Vastrel.log";
        const size_t before = fs::exists(logName) ? fs::file_size(logName) : 0;
        ShellResult r = RunShell("VASTREL_POWER_LOG=" + ShellQuote(sandbox.Path("power.log")) + " " +
                                 (hangGuard ? "timeout 300 " : "") + ShellQuote(VastrelExe) + " /force " +
                                 ShellQuote(task));
        TRunResult result;
        result.exitCode = r.exitCode;
        result.output = r.output;
        if (fs::exists(logName))
            result.log = ReadFileBytes(logName).substr(before);
        return result;
    }

    // Runs the task and expects a clean end with this folder status line ("4 files copied").
    TRunResult RunOk(const std::string& task, const std::string& copied)
    {
        TRunResult r = Run(task);
        EXPECT_EQ(r.exitCode, 0) << r.log << r.output;
        EXPECT_TRUE(Contains(r.log, "    => Status: " + copied)) << r.log;
        EXPECT_TRUE(Contains(r.log, "  Status: OK - Elapsed time: ")) << r.log;
        return r;
    }

    // The plain content of a stored destination file, read back by the tool that fits its form.
    std::string Decode(const std::string& path)
    {
        const std::string q = ShellQuote(path);
        const std::string out = sandbox.Path("decoded.tmp");
        fs::remove(out);
        TEncryption enc(Password, 1, 65536);
        if (path.ends_with(".gz"))
            return RunShell("gzip -dc " + q, "", false).output;
        if (path.ends_with(".enc")) {
            TDecryptThread thread(path, out, &enc, true, 65536);
            EXPECT_EQ(RunWorker(thread), 0) << path;
            return ReadFileBytes(out);
        }
        if (path.ends_with(".gze")) {
            TGUnZipThread thread(path, out, &enc, true, 65536);
            EXPECT_EQ(RunWorker(thread), 0) << path;
            return ReadFileBytes(out);
        }
        if (path.ends_with(".zip"))
            return RunShell("7z x -so -p" + ShellQuote(Password) + " " + q, "", false).output;
        return ReadFileBytes(path);
    }

    // Sets a source file's content and time.
    void Change(const std::string& rel, const std::string& content, int64_t mtime)
    {
        WriteFileBytes(Src(rel), content);
        SetFileMTime(Src(rel), mtime);
    }
};

// The folder status line of a run: "No files copied", "1 file copied", "%u files copied", with
// " and verified" for a verified task.
inline std::string CopiedText(int count, bool verified = true)
{
    std::string text = count == 0   ? "No files copied"
                       : count == 1 ? "1 file copied"
                                    : std::to_string(count) + " files copied";
    return text + (verified ? " and verified" : "");
}

} // namespace wholerun
