// The task editor's state and file commands without a window: real task files in the sandbox, the
// questions answered from a script.
#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

#include "backup/ProfileTask.h"
#include "backup/TaskEditor.h"
#include "backup/TaskTestUtil.h"
#include "foundation/BuConsts.h"
#include "foundation/IniFileUtils.h"
#include "support/Files.h"
#include "support/Sandbox.h"

namespace fs = std::filesystem;

namespace {

// Answers the editor's questions in order; every call is written to Calls ("error: …", "ask: …").
// An unanswered question is cancelled.
class TScriptedDialogs : public ITaskEditorDialogs
{
public:
    std::deque<std::string> Answers;
    std::vector<std::string> Calls;

    void ShowError(const std::string& text) override { Calls.push_back("error: " + text); }
    void ShowInfo(const std::string& text) override { Calls.push_back("info: " + text); }
    bool AskYesNo(const std::string& text) override { return Next("ask: " + text) == "yes"; }
    TEditorAnswer AskYesNoCancel(const std::string& text) override
    {
        const std::string a = Next("ask3: " + text);
        return a == "yes" ? eaYes : a == "no" ? eaNo : eaCancel;
    }
    bool AskOkCancel(const std::string& text) override { return Next("okcancel: " + text) == "ok"; }
    int AskChoice(const std::string&, const std::string& text, const std::vector<std::string>&) override
    {
        const std::string a = Next("choice: " + text);
        return a.empty() ? -1 : std::stoi(a);
    }
    bool ChooseTaskFile(TTaskFileDialog, const std::string& title, const std::string& dir,
                        std::string& file) override
    {
        LastDir = dir;
        file = Next("file: " + title);
        return !file.empty();
    }
    bool ChooseFolder(const std::string& title, const std::string&, std::string& folder) override
    {
        folder = Next("folder: " + title);
        return !folder.empty();
    }
    bool AskPassword(const std::string& title, const std::string&, std::string& pwd) override
    {
        pwd = Next("password: " + title);
        return !pwd.empty();
    }
    bool AskNewPassword(const std::string& title, int, std::string& pwd) override
    {
        pwd = Next("newpassword: " + title);
        return !pwd.empty();
    }
    bool EditFtpSettings(TFtpParams& params) override
    {
        const std::string a = Next("ftp");
        if (a.empty())
            return false;
        params.Host = a;
        params.Username = "user";
        return true;
    }
    bool TickItems(const std::string& title, const std::string&, const std::string&,
                   const std::vector<std::string>&, std::vector<int>& ticked) override
    {
        const std::string a = Next("tick: " + title);
        if (a == "cancel")
            return false;
        ticked.clear();
        for (char c : a)
            ticked.push_back(c - '0');
        return true;
    }
    std::string LastDir;

private:
    std::string Next(const std::string& call)
    {
        Calls.push_back(call);
        if (Answers.empty())
            return std::string();
        std::string a = Answers.front();
        Answers.pop_front();
        return a;
    }
};

class TaskEditorTest : public SandboxTest
{
protected:
    void SetUp() override
    {
        savedTaskDir = ActiveTaskDir;
        ActiveTaskDir = sandbox.Path("tasks/");
        fs::create_directories(sandbox.Path("tasks"));
        for (const char* dir : {"src/a", "src/b", "src/c", "dest"})
            fs::create_directories(sandbox.Path(dir));
        editor.Context.Settings = &settings;
        taskList.SetMaxLen(25);
    }
    void TearDown() override { ActiveTaskDir = savedTaskDir; }

    // A task file with the given source folders, destination in the sandbox.
    std::string WriteTask(const std::string& name, const std::vector<std::string>& sources,
                          const std::string& extra = "")
    {
        std::string text = "[Global]\nDestination=" + sandbox.Path("dest") + "\nDestMode=0\n" + extra +
                           "DirCount=" + std::to_string(sources.size()) + "\n";
        for (size_t i = 0; i < sources.size(); ++i)
            text += "[Dir00" + std::to_string(i) + "]\nSource=" + sandbox.Path(sources[i]) + "\n";
        const std::string path = sandbox.Path("tasks/" + name);
        WriteFileBytes(path, tasktest::ToUtf16File(text));
        return path;
    }
    // The value of a key of the saved task file.
    static std::string Key(const std::string& file, const std::string& section, const std::string& key)
    {
        return TUnicodeIniFile::CreateForRead(file).ReadString(section, key, "<none>");
    }
    bool Asked(const std::string& part) const
    {
        for (const auto& c : dialogs.Calls)
            if (c.find(part) != std::string::npos)
                return true;
        return false;
    }

    std::string savedTaskDir;
    TQvSettings settings;
    TTaskSettings task;
    THistoryList taskList;
    TScriptedDialogs dialogs;
    TTaskEditor editor{task, taskList, dialogs};
};

TEST_F(TaskEditorTest, OpeningATaskFileFillsTheEditorAndTheRecentList)
{
    const std::string file = WriteTask("two.buj", {"src/a", "src/b"}, "Note=\"line one\",\"line two\"\n");
    ASSERT_TRUE(editor.OpenTask(file, false)) << ::testing::PrintToString(dialogs.Calls);
    EXPECT_EQ(2, task.Folders.Count());
    EXPECT_EQ(file, task.ActTaskName);
    EXPECT_EQ(esSaved, task.EditStatus);
    EXPECT_FALSE(editor.SaveEnabled());
    EXPECT_EQ("Backup task: two", editor.CaptionText());
    EXPECT_EQ("Backup task: " + file + "\r\nline one\r\nline two", editor.HintText());
    ASSERT_GE(taskList.Count(), 1);
    EXPECT_EQ("two.buj", taskList[0]);
}

TEST_F(TaskEditorTest, FilesThatAreNoTaskFilesAreRefusedAndTheEditedTaskStays)
{
    ASSERT_TRUE(editor.OpenTask(WriteTask("good.buj", {"src/a"}), false));
    fs::create_directories(sandbox.Path("tasks/folder.buj"));
    WriteFileBytes(sandbox.Path("tasks/binary.buj"), std::string("\x00\x01\x02\xFF\xFE\x00zz", 8));
    WriteFileBytes(sandbox.Path("tasks/empty.buj"), "");
    WriteFileBytes(sandbox.Path("tasks/other.ini"), "[Settings]\nColour=blue\n");
    const struct
    {
        const char* file;
        const char* message;
    } cases[] = {
        {"tasks/folder.buj", "not a regular file"},
        {"tasks/binary.buj", "is not a backup task file"},
        {"tasks/empty.buj", "empty"},
        {"tasks/other.ini", "is not a backup task file"},
        {"tasks/missing.buj", "not found"},
        {"nodrive/x/y.buj", "not found"},
    };
    for (const auto& c : cases) {
        dialogs.Calls.clear();
        const std::string path = sandbox.Path(c.file);
        const std::string before = fs::is_regular_file(path) ? ReadFileBytes(path) : std::string();
        EXPECT_FALSE(editor.OpenTask(path, false)) << c.file;
        ASSERT_EQ(1u, dialogs.Calls.size()) << c.file;
        EXPECT_NE(std::string::npos, dialogs.Calls[0].find(c.message)) << dialogs.Calls[0];
        EXPECT_EQ(1, task.Folders.Count()) << c.file;
        EXPECT_EQ(sandbox.Path("tasks/good.buj"), task.ActTaskName);
        if (fs::is_regular_file(path)) {
            EXPECT_EQ(before, ReadFileBytes(path)) << c.file;
        }
    }
}

TEST_F(TaskEditorTest, AnUnreadableTaskFileIsRefused)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "root reads every file";
    const std::string file = WriteTask("locked.buj", {"src/a"});
    ::chmod(file.c_str(), 0);
    EXPECT_FALSE(editor.OpenTask(file, false));
    EXPECT_TRUE(Asked("cannot be read"));
}

TEST_F(TaskEditorTest, QuerySaveChangesAsksOnlyForAChangedTaskAndStaysOnCancel)
{
    const std::string file = WriteTask("q.buj", {"src/a"});
    const struct
    {
        bool named;
        TEditStatus status;
        const char* answer;
        int result;
        bool written;
        TEditStatus after;
    } cases[] = {
        {true, esSaved, "", 0, false, esSaved},           {true, esNew, "", 0, false, esNew},
        {true, esChanged, "cancel", 2, false, esChanged}, {true, esChanged, "no", 0, false, esSaved},
        {true, esChanged, "yes", 0, true, esSaved},       {false, esChanged, "no", 1, false, esChanged},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(editor.OpenTask(file, false));
        const auto stamp = fs::last_write_time(file);
        WriteFileBytes(file + ".mark", "");
        task.BuZiel = sandbox.Path("dest/changed");
        if (!c.named)
            task.ActTaskName.clear();
        task.EditStatus = c.status;
        dialogs.Calls.clear();
        dialogs.Answers = {c.answer};
        EXPECT_EQ(c.result, editor.QuerySaveChanges()) << c.answer << " " << c.status;
        EXPECT_EQ(c.status == esChanged, Asked("ask3:")) << c.status;
        EXPECT_EQ(c.written, Key(file, "Global", "Destination") == sandbox.Path("dest/changed"))
            << c.answer << " " << c.status;
        EXPECT_EQ(c.after, task.EditStatus) << c.answer << " " << c.status;
        (void)stamp;
        WriteTask("q.buj", {"src/a"});
    }
    // an editor that is not shown never asks
    ASSERT_TRUE(editor.OpenTask(file, false));
    task.EditStatus = esChanged;
    editor.Visible = false;
    dialogs.Calls.clear();
    EXPECT_EQ(0, editor.QuerySaveChanges());
    EXPECT_TRUE(dialogs.Calls.empty());
}

TEST_F(TaskEditorTest, SavingReloadsToTheSameSettings)
{
    ASSERT_TRUE(editor.OpenTask(WriteTask("round.buj", {"src/a", "src/b"}), false));
    task.cbVerify = true;
    task.DestMode = 1;
    task.TaskNote = "\"a note\"";
    task.Folders[1].Selected = false;
    task.BuModeCB = bmUpdate;
    task.EditStatus = esChanged;
    ASSERT_TRUE(editor.SaveTaskCommand()) << ::testing::PrintToString(dialogs.Calls);
    EXPECT_EQ(esSaved, task.EditStatus);

    TTaskSettings again;
    THistoryList list;
    TScriptedDialogs quiet;
    TTaskEditor reader(again, list, quiet);
    reader.Context.Settings = &settings;
    ASSERT_TRUE(reader.OpenTask(task.ActTaskName, false));
    EXPECT_TRUE(again.cbVerify);
    EXPECT_EQ(1, again.DestMode);
    EXPECT_EQ(task.TaskNote, again.TaskNote);
    ASSERT_EQ(2, again.Folders.Count());
    EXPECT_FALSE(again.Folders[1].Selected);
    EXPECT_EQ(task.BuZiel, again.BuZiel);
}

TEST_F(TaskEditorTest, ATaskPasswordGuardsOverwriting)
{
    const std::string file = WriteTask("pwd.buj", {"src/a"});
    ASSERT_TRUE(editor.OpenTask(file, false));
    task.TaskPwd = "Secret";
    const std::string before = ReadFileBytes(file);
    for (const char* wrong : {"secret", ""}) {
        dialogs.Calls.clear();
        dialogs.Answers = {wrong};
        EXPECT_FALSE(editor.SaveTaskChecked());
        EXPECT_TRUE(Asked("Unauthorized attempt to overwrite the taskfile!"));
        EXPECT_EQ(before, ReadFileBytes(file));
    }
    dialogs.Answers = {"Secret"};
    EXPECT_TRUE(editor.SaveTaskChecked());
    EXPECT_NE(before, ReadFileBytes(file));
}

TEST_F(TaskEditorTest, AReadOnlyTaskFileIsSavedUnderAnotherName)
{
    const std::string file = WriteTask("ro.buj", {"src/a"});
    ASSERT_TRUE(editor.OpenTask(file, false));
    ::chmod(file.c_str(), 0444);
    const std::string before = ReadFileBytes(file);
    task.EditStatus = esChanged;
    dialogs.Answers = {sandbox.Path("tasks/copy")};
    EXPECT_TRUE(editor.SaveTaskCommand());
    EXPECT_TRUE(Asked("info: The loaded task file is read only"));
    EXPECT_EQ(before, ReadFileBytes(file));
    EXPECT_EQ(sandbox.Path("tasks/copy.buj"), task.ActTaskName);
    EXPECT_TRUE(fs::exists(sandbox.Path("tasks/copy.buj")));
}

TEST_F(TaskEditorTest, SaveAsANewNameStartsAFreshTaskAndOffersTheAutomaticSlots)
{
    const std::string file = WriteTask("old.buj", {"src/a"}, "BackupCount=7\n");
    ASSERT_TRUE(editor.OpenTask(file, false));
    task.TaskPwd = "pw";
    std::vector<std::pair<int, std::string>> moved;
    std::vector<std::string> added;
    editor.Hooks.SlotsOfTask = [&](const std::string& f) {
        return f == file ? std::vector<int>{1, 3} : std::vector<int>{};
    };
    editor.Hooks.MoveSlot = [&](int nr, const std::string& f) { moved.emplace_back(nr, f); };
    editor.Hooks.AddBackupTask = [&](const std::string& f) { added.push_back(f); };
    const std::string copy = sandbox.Path("tasks/new.buj");
    dialogs.Answers = {copy, "yes"};
    ASSERT_TRUE(editor.SaveTaskAs(true)) << ::testing::PrintToString(dialogs.Calls);
    EXPECT_TRUE(
        Asked("The task \"old.buj\" is used for automatic backup 1,3.\r\nDo you want to replace it by "
              "the new task \"new.buj\"?"));
    EXPECT_EQ((std::vector<std::pair<int, std::string>>{{1, copy}, {3, copy}}), moved);
    EXPECT_EQ(std::vector<std::string>{copy}, added);
    EXPECT_EQ(copy, task.ActTaskName);
    EXPECT_EQ("", task.TaskPwd);
    EXPECT_EQ("1", Key(copy, "Global", "BackupCount"));
    EXPECT_EQ(esSaved, task.EditStatus);
    TTaskSettings reread;
    TTaskFileReport report;
    ASSERT_TRUE(LoadTask(reread, copy, true, iaNone, report));
    EXPECT_EQ("", reread.TaskPwd);
}

TEST_F(TaskEditorTest, SaveAsWithAFixedPasswordCanClearIt)
{
    ASSERT_TRUE(editor.OpenTask(WriteTask("enc.buj", {"src/a"}), false));
    task.cbFixPwd = true;
    task.CryptPwd = "fixed";
    const std::string copy = sandbox.Path("tasks/plain.buj");
    dialogs.Answers = {"2", copy};
    ASSERT_TRUE(editor.SaveTaskAs(true));
    EXPECT_FALSE(task.cbFixPwd);
    EXPECT_EQ("", task.CryptPwd);
    EXPECT_EQ("0", Key(copy, "Global", "FixPassword"));
    // a cancelled choice saves nothing
    task.cbFixPwd = true;
    task.CryptPwd = "again";
    dialogs.Answers = {""};
    EXPECT_FALSE(editor.SaveTaskAs(true));
}

TEST_F(TaskEditorTest, ExportWritesTheTickedFoldersAsANewTaskAndLeavesTheEditorAlone)
{
    const std::string file = WriteTask("three.buj", {"src/a", "src/b", "src/c"});
    ASSERT_TRUE(editor.OpenTask(file, false));
    task.EditStatus = esChanged;
    const std::string out = sandbox.Path("tasks/part.buj");
    dialogs.Answers = {"02", out};
    ASSERT_TRUE(editor.ExportCommand());
    EXPECT_EQ("2", Key(out, "Global", "DirCount"));
    EXPECT_EQ(sandbox.Path("src/a"), Key(out, "Dir000", "Source"));
    EXPECT_EQ(sandbox.Path("src/c"), Key(out, "Dir001", "Source"));
    EXPECT_EQ(file, task.ActTaskName);
    EXPECT_EQ(esChanged, task.EditStatus);
    // nothing ticked
    dialogs.Calls.clear();
    dialogs.Answers = {""};
    EXPECT_FALSE(editor.ExportCommand());
    EXPECT_TRUE(Asked("error: No directories selected!"));
}

TEST_F(TaskEditorTest, ImportAddsTheFoldersOfAnotherTask)
{
    ASSERT_TRUE(editor.OpenTask(WriteTask("two.buj", {"src/a", "src/b"}), false));
    dialogs.Answers = {WriteTask("other.buj", {"src/a", "src/b", "src/c"})};
    ASSERT_TRUE(editor.ImportCommand());
    EXPECT_EQ(5, task.Folders.Count());
    EXPECT_EQ(esChanged, task.EditStatus);
    // a file that is no task adds nothing
    WriteFileBytes(sandbox.Path("tasks/junk.buj"), "junk");
    dialogs.Answers = {sandbox.Path("tasks/junk.buj")};
    EXPECT_FALSE(editor.ImportCommand());
    EXPECT_EQ(5, task.Folders.Count());
}

TEST_F(TaskEditorTest, SwitchingToFtpWithoutAServerAsksAndACancelKeepsTheFolderDestination)
{
    settings.CopySettings.BufferSize = 100;
    settings.CopySettings.FTPBufferSize = 200;
    ASSERT_TRUE(editor.OpenTask(WriteTask("ftp.buj", {"src/a"}), false));
    task.TaskBufferSize = 100;
    dialogs.Answers = {""};
    EXPECT_FALSE(editor.SelectDestinationPage(true, false));
    EXPECT_FALSE(task.BuFtp);
    EXPECT_EQ(100, task.TaskBufferSize);
    dialogs.Answers = {"ftp.example"};
    EXPECT_TRUE(editor.SelectDestinationPage(true, false));
    EXPECT_TRUE(task.BuFtp);
    EXPECT_EQ("ftp.example", task.FtpPar.Host);
    EXPECT_EQ(200, task.TaskBufferSize);
    EXPECT_EQ(esChanged, task.EditStatus);
    EXPECT_TRUE(editor.SelectDestinationPage(false, false));
    EXPECT_EQ(100, task.TaskBufferSize);
}

TEST_F(TaskEditorTest, TheChecksBeforeSavingStopAtTheFirstFailureWithItsMessage)
{
    ASSERT_TRUE(editor.OpenTask(WriteTask("chk.buj", {"src/a"}), false));
    const std::string file = task.ActTaskName;
    const std::string before = ReadFileBytes(file);
    const struct
    {
        std::function<void(TTaskSettings&)> change;
        std::vector<std::string> answers;
        const char* message;
    } cases[] = {
        {[&](TTaskSettings& t) { t.BuZiel = sandbox.Path("dest/a|b"); }, {}, "Illegal character"},
        {[&](TTaskSettings& t) { t.Folders.Clear(); }, {}, "at least one directory"},
        {[&](TTaskSettings& t) { t.BuZiel = sandbox.Path("src/a/in"); }, {}, "Overlapping"},
        {[&](TTaskSettings& t) { t.BuZiel.clear(); }, {"cancel"}, "Please select a destination"},
        {[&](TTaskSettings& t) { t.BuFtp = true; }, {"no"}, "Please specify FTP server"},
        {[&](TTaskSettings& t) { t.cbSourceDelete = true; }, {"no"}, "Delete source files after backup"},
        {[&](TTaskSettings& t) {
             t.cbSourceDelete = true;
             t.DestMode = 1;
             t.BuModeCB = bmFull;
         },
         {"yes", "no"},
         "Incremental"},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(editor.OpenTask(file, false));
        c.change(task);
        task.EditStatus = esChanged;
        dialogs.Calls.clear();
        dialogs.Answers.assign(c.answers.begin(), c.answers.end());
        EXPECT_FALSE(editor.SaveTaskCommand()) << c.message;
        ASSERT_FALSE(dialogs.Calls.empty()) << c.message;
        EXPECT_NE(std::string::npos, dialogs.Calls.back().find(c.message)) << dialogs.Calls.back();
        EXPECT_EQ(before, ReadFileBytes(file)) << c.message;
    }
    // a destination with an empty component is rebuilt before it is saved
    ASSERT_TRUE(editor.OpenTask(file, false));
    task.BuZiel = sandbox.Path("dest") + "//x /";
    EXPECT_TRUE(editor.SaveTaskCommand());
    EXPECT_EQ(sandbox.Path("dest") + "/NewDir/x", Key(file, "Global", "Destination"));
}

TEST_F(TaskEditorTest, AMissingTaskFileStartsANewTaskUnderItsName)
{
    task.ActTaskName = sandbox.Path("tasks/fresh.buj");
    EXPECT_FALSE(editor.InitTask());
    EXPECT_EQ(ctNewTask, editor.ACaptType);
    EXPECT_EQ("New task: fresh", editor.CaptionText());
    EXPECT_EQ(esNew, task.EditStatus);
    task.ActTaskName.clear();
    editor.InitTask();
    EXPECT_EQ("New backup task", editor.CaptionText());
}

TEST_F(TaskEditorTest, OpeningTheEditorOnAFileThatIsNoTaskStartsAnUnnamedTask)
{
    WriteFileBytes(sandbox.Path("tasks/notes.buj"), "shopping list\n");
    task.ActTaskName = sandbox.Path("tasks/notes.buj");
    EXPECT_FALSE(editor.InitTask());
    EXPECT_TRUE(Asked("is not a backup task file"));
    EXPECT_EQ("", task.ActTaskName);
    EXPECT_EQ(ctNew, editor.ACaptType);
}

TEST_F(TaskEditorTest, TheMailProfileTaskLoadsWithItsTwoFoldersAndFilters)
{
    fs::create_directories(sandbox.Path("profile/abc.default/calendar-data"));
    const std::string file = sandbox.Path("tasks/tb.buj");
    ASSERT_EQ("",
              WriteProfileTaskFile(file, sandbox.Path("profile/abc.default/"), sandbox.Path("dest"), "Drv?"));
    EXPECT_EQ(sandbox.Path("profile/abc.default"), Key(file, "Dir000", "Source"));
    EXPECT_EQ(sandbox.Path("profile/abc.default/calendar-data"), Key(file, "Dir001", "Source"));
    EXPECT_EQ("parent.lock|global-messages-db.sqlite", Key(file, "Dir000", "Filter"));
    EXPECT_EQ("<none>", Key(file, "Dir001", "Filter"));
    ASSERT_TRUE(editor.OpenTask(file, false)) << ::testing::PrintToString(dialogs.Calls);
    EXPECT_EQ(2, task.Folders.Count());
    EXPECT_TRUE(task.cbCompress);
    EXPECT_TRUE(task.cbZipCompress);
    EXPECT_EQ(1, task.TaskProtMode & 3);
    EXPECT_EQ("%taskname%.log", task.TaskLogName);
    EXPECT_EQ(6, task.MaskExprs.Count());
    // a file that cannot be written is reported, nothing half written
    EXPECT_NE("", WriteProfileTaskFile(sandbox.Path("nofolder/x/tb.buj"), sandbox.Path("profile"),
                                       sandbox.Path("dest"), "Drv?"));
}

TEST_F(TaskEditorTest, TheRecentListDropsATaskThatIsGone)
{
    taskList.AddString("gone.buj");
    EXPECT_FALSE(editor.LoadFromList("gone"));
    EXPECT_TRUE(Asked("not found!"));
    EXPECT_EQ(-1, taskList.IndexOf("gone.buj"));
    WriteTask("here.buj", {"src/a"});
    EXPECT_TRUE(editor.LoadFromList("here"));
}

TEST_F(TaskEditorTest, WizardAnswersBecomeASavedTask)
{
    TBackupTask answers;
    answers.NewTaskName = sandbox.Path("tasks/wiz.buj");
    answers.TargetDir = sandbox.Path("dest");
    answers.DirList = "\"" + sandbox.Path("src/a") + "\"," + sandbox.Path("src/b");
    answers.TargetMode = 4;
    answers.ZipName = "Arch-%date%";
    answers.EncPwd = "pw123456";
    answers.Options = BackupOption(boZipComp) | BackupOption(boVerify) | BackupOption(boEncrypt);
    answers.AutoNr = 2;
    std::vector<std::string> scheduled;
    editor.Hooks.SetAutoTask = [&](const TBackupTask& t) { scheduled.push_back(t.NewTaskName); };
    editor.ApplyWizardTask(answers);
    EXPECT_EQ(esNew, task.EditStatus);
    EXPECT_EQ(answers.NewTaskName, task.ActTaskName);
    EXPECT_TRUE(task.cbFixPwd);
    EXPECT_EQ(std::vector<std::string>{answers.NewTaskName}, scheduled);
    EXPECT_EQ("2", Key(answers.NewTaskName, "Global", "DirCount"));
    EXPECT_EQ("4", Key(answers.NewTaskName, "Global", "DestMode"));
    EXPECT_EQ("1", Key(answers.NewTaskName, "Global", "Verify"));
    EXPECT_EQ(sandbox.Path("src/b"), Key(answers.NewTaskName, "Dir001", "Source"));
}

} // namespace
