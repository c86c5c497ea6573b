#pragma once
// The task editor without its window: which task is edited and under which name, its edit state and
// the question whether to save it, the commands that move tasks between the editor and task files
// (new, open, save, save as, import, export), the destination kind, and the checks made before a task
// is saved or run. The window binds its controls to the task model and calls these commands; every
// question goes through ITaskEditorDialogs, so the tests answer them without a window.

#include <functional>
#include <string>
#include <vector>

#include "backup/BackupRun.h"
#include "backup/TaskFile.h"
#include "backup/TaskSettings.h"
#include "backup/Wizard.h"
#include "foundation/HListBox.h"

// The file dialogs of the editor's commands.
enum TTaskFileDialog
{
    tfOpen,
    tfSave,
    tfImport,
    tfExport
};

// Answers of a Yes/No/Cancel question.
enum TEditorAnswer
{
    eaYes,
    eaNo,
    eaCancel
};

// The questions and messages of the editor's commands.
class ITaskEditorDialogs
{
public:
    virtual ~ITaskEditorDialogs() = default;
    virtual void ShowError(const std::string& text) = 0;
    virtual void ShowInfo(const std::string& text) = 0;
    // Yes/No; true for Yes.
    virtual bool AskYesNo(const std::string& text) = 0;
    virtual TEditorAnswer AskYesNoCancel(const std::string& text) = 0;
    // OK/Cancel with an error sign; true for OK.
    virtual bool AskOkCancel(const std::string& text) = 0;
    // One of the buttons; its index, -1 when the box was closed.
    virtual int AskChoice(const std::string& caption, const std::string& text,
                          const std::vector<std::string>& buttons) = 0;
    // A task file, starting in dir with file proposed; false when cancelled.
    virtual bool ChooseTaskFile(TTaskFileDialog kind, const std::string& title, const std::string& dir,
                                std::string& file) = 0;
    virtual bool ChooseFolder(const std::string& title, const std::string& start, std::string& folder) = 0;
    // The password of a task; false when cancelled.
    virtual bool AskPassword(const std::string& title, const std::string& prompt, std::string& pwd) = 0;
    // A new password, entered twice, at least minLength characters; false when cancelled.
    virtual bool AskNewPassword(const std::string& title, int minLength, std::string& pwd) = 0;
    virtual bool EditFtpSettings(TFtpParams& params) = 0;
    // Ticks items; ticked receives the positions in list order. False when cancelled.
    virtual bool TickItems(const std::string& title, const std::string& desc, const std::string& caption,
                           const std::vector<std::string>& items, std::vector<int>& ticked) = 0;
};

// What the main program offers the editor; each may be left empty.
struct TEditorHooks
{
    // The automatic-task slots (1..16) that run this task file.
    std::function<std::vector<int>(const std::string& taskFile)> SlotsOfTask;
    // Slot nr runs the task file from now on.
    std::function<void(int nr, const std::string& taskFile)> MoveSlot;
    // A new task file for the program's list of backup tasks.
    std::function<void(const std::string& taskFile)> AddBackupTask;
    // The wizard's schedule for a saved task.
    std::function<void(const TBackupTask& task)> SetAutoTask;
};

class TTaskEditor
{
public:
    TTaskEditor(TTaskSettings& task, THistoryList& taskList, ITaskEditorDialogs& dialogs);

    TTaskFileContext Context;
    TEditorHooks Hooks;
    // The editor is shown: only then does a changed task ask to be saved.
    bool Visible = true;
    TACaptionType ACaptType = ctNew;

    TTaskSettings& Task() { return FTask; }
    const TTaskSettings& Task() const { return FTask; }

    // --- captions
    std::string CaptionText() const;
    std::string HintText() const;

    // --- state
    void SetEditStatus(TEditStatus status) { FTask.EditStatus = status; }
    bool SaveEnabled() const { return FTask.EditStatus != esSaved; }
    // Loads ActTaskName when it names a task file, else starts a new task; true when loaded.
    bool InitTask();
    // An empty new task.
    void NewTask();
    // 0 go on, 1 go on (a new unnamed task was not saved), 2 stay.
    int QuerySaveChanges();
    // "Reset count ...": after Yes the next run counts from 1 again.
    void ResetCount();
    // The wizard's answers become a new task, saved at once under NewTaskName.
    void ApplyWizardTask(const TBackupTask& answers);

    // --- file commands
    bool OpenTask(const std::string& fileName, bool afterRun);
    bool OpenTaskWithDialog(const std::string& initialDir);
    // "Open ...": from the folder of the current task, else the task folder.
    bool OpenTaskCommand();
    // A name of the recent-task list (relative to the task folder, extension optional).
    bool LoadFromList(const std::string& name);
    bool SelectSaveName(std::string& fileName);
    bool CheckTaskPassword();
    bool SaveTaskChecked();
    // "Save".
    bool SaveTaskCommand();
    // 0 keep, 1 edit, 2 clear the fixed password; -1 cancelled.
    int AskFixedPasswordAction();
    bool SaveTaskAs(bool offerPasswordChoice);
    bool SaveAsNewTask(const std::string& fileName);
    bool ImportCommand();
    bool ExportCommand();
    // Switches between a folder and an FTP destination; false when the FTP settings were cancelled.
    bool SelectDestinationPage(bool ftp, bool forceDialog);

    // --- checks
    bool CheckTaskBeforeSave(const std::string& text);
    bool CheckDestination();
    bool ConfirmRiskySettings(const std::string& text);

    // The task folder (with a trailing delimiter).
    std::string TaskDir() const;
    // The folder of the current task when it exists, else the task folder.
    std::string CurrentTaskDir() const;
    // The messages of the last load, in their order.
    const std::vector<std::string>& LoadMessages() const { return FLoadMessages; }

private:
    // Why a file cannot be opened as a task; empty when it can.
    std::string OpenProblem(const std::string& fileName) const;
    bool WriteTask(const std::string& fileName, const std::vector<int>& indexes);
    void ApplyPasswordAction(int action);
    void Remember(const std::string& fileName);
    TTaskSettings& FTask;
    THistoryList& FTaskList;
    ITaskEditorDialogs& FDialogs;
    std::vector<std::string> FLoadMessages;
    TRunEnvironment FEnvironment;
};

// The file name of a task without folder and extension.
std::string TaskDisplayName(const std::string& fileName);
