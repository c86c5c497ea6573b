#pragma once
// The window of QvStarter: the backup groups with their account, options and task files, a group's
// start, the task editor and logs under the group's account, and the error-report mail settings.

#include <QWidget>
#include <string>
#include <vector>

#include "starter/StarterRun.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class TRangeEdit;

// The host of runs started from the window: password prompts and error boxes, events served while
// it waits.
class TGuiStarterHost : public IStarterHost
{
public:
    bool AskPassword(const std::string& Title, const std::string& Prompt, std::string& Pwd) override;
    void ErrorBox(const std::string& Text) override;
    void ProcessMessages() override;
};

class TMainForm : public QWidget
{
public:
    // Starter holds the groups the window edits; it outlives the window.
    explicit TMainForm(TStarter& Starter, QWidget* parent = nullptr);

    void ShowGroup(int i);
    void StoreGroup();
    void UpdateDelayControls();
    // Stores the shown group's settings into the settings file (errors in an error box).
    void SaveSettings();
    int TaskIndex() const { return FTaskIndex; }

    // The log of a backup task as its task file names it; empty when the task file does not exist.
    std::string GetTaskLogName(const std::string& TaskFile) const;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    TTaskProperties* Shown() const;
    void GroupChosen(int index);
    void NewGroupClick();
    void EditGroupsClick();
    void AddTaskClick();
    void RemTaskClick();
    void MoveTask(int delta);
    void EditTaskClick();
    void ShowQvLogClick();
    void ShowLogClick();
    void LogDirClick();
    void UserPwdClick();
    void PwdFixedClick();
    void PwdPromptClick();
    void StatusChanged();
    void DelayClick();
    void EnableDelayValue();
    void MailClick();
    void MailBtnClick();
    void StartClick();
    void InfoClick();
    void DesktopClick();
    // The options a new shortcut or scheduled task starts with.
    std::string StarterCommandLine() const;
    bool EditMailSettings();
    void AddTaskItem(const std::string& FileName, bool Checked);

    TStarter& FStarter;
    int FTaskIndex = -1;
    bool FShown = false;
    bool FFilling = false;
    std::string UserPwd;

    QComboBox* cbTasks;
    QPushButton* bbNewGroup;
    QPushButton* bbEditGroups;
    QLineEdit* edAccount;
    QPushButton* btnUserPwd;
    QGroupBox* gbPassword;
    QRadioButton* rbPwdPrompt;
    QRadioButton* rbPwdFixed;
    QCheckBox* cbRunAs;
    QGroupBox* rgStatus;
    QButtonGroup* StatusButtons;
    QWidget* paStat;
    TRangeEdit* reWait;
    QGroupBox* paSettings;
    QCheckBox* cbSplash;
    QCheckBox* cbSound;
    QCheckBox* cbParallel;
    QCheckBox* cbDelay;
    TRangeEdit* reDelay;
    QListWidget* lbTasks;
    QPushButton* bbAddTask;
    QPushButton* bbRemTask;
    QPushButton* bbEdit;
    QPushButton* bbShowQvLog;
    QPushButton* UpBtn;
    QPushButton* DownBtn;
    QLineEdit* edLogDir;
    QPushButton* bbLogDir;
    QCheckBox* cbMail;
    QPushButton* MailBtn;
    QPushButton* bbNewWinTask;
    QPushButton* bbEditWinTask;
    QPushButton* bbDesktop;
    QPushButton* bbStartApp;
    QPushButton* bbStart;
    QPushButton* bbShowLog;
    QPushButton* bbHelp;
    QPushButton* bbInfo;
    QPushButton* bbQuit;
    QLabel* laVersion;
};

// QvStarter on a display: an unattended run with /force, else the window. Returns the exit code.
int RunStarterWindow(int& argc, char** argv, const std::vector<std::string>& args,
                     const std::string& settingsDir, IStarterProcesses& processes, IStarterPower& power);
