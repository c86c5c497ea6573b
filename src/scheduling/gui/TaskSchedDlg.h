#pragma once
// The Scheduled Task Wizard: creates and edits the scheduled tasks through which the suite runs its
// programs unattended. Three steps: "Settings" (task files and command-line options), "Schedule" (one
// trigger) and "User account". One instance lives as long as its program; every call reuses it.

#include <QPoint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "foundation/gui/GuiUtils.h"
#include "foundation/gui/ShowMessageDlg.h"
#include "scheduling/ScheduleModel.h"
#include "scheduling/TaskSchedArgs.h"
#include "scheduling/WinTaskScheduler.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QDateEdit;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QStackedWidget;
class QTimeEdit;
class TCheckComboBox;

class TTaskScheduleDialog : public TDialogBase
{
public:
    explicit TTaskScheduleDialog(QWidget* parent = nullptr);

    void InitTaskScheduler(TWinTaskScheduler* ATaskSchedule) { TaskSchedule = ATaskSchedule; }
    bool IsAvailable() const { return TaskSchedule != nullptr; }
    // The program that new tasks start and whose tasks the pick list shows (default: "Vastrel" beside the
    // running program).
    void SetProgramPath(const std::string& path) { FProgram = path; }
    const std::string& ProgramPath() const { return FProgram; }

    TModalResult Execute(int AIndex, int ATrgIndex, TQvAction AQvAction, const std::string& APath,
                         const std::string& ATask, const std::string& AOptions, int& ATaskNr, int& ATrgNr,
                         bool Retry);
    TModalResult Execute(int AIndex, TQvAction AQvAction, const std::string& APath, const std::string& ATask,
                         const std::string& AOptions, int& ATaskNr, int& ATrgNr, bool Retry);
    TModalResult Execute(int AIndex, TQvAction AQvAction, const std::string& APath, const std::string& ATask,
                         const std::string& AOptions, bool Retry);
    TModalResult DeleteTrigger(int AIndex, int ATrgIndex);
    // The names and folder positions of the tasks whose program ends with AFilter.
    int GetActiveTasks(const std::string& AFilter, std::vector<std::pair<std::string, int>>& AList);
    int GetUserTask(TQvAction AQvAction, const std::string& UserId);
    std::string GetStatus(int AIndex);
    void RunTask(int AIndex);
    void DeleteTask(int AIndex);

    TWinTaskScheduler* TaskSchedule = nullptr;
    bool ShowProgPage = true;

protected:
    void done(int r) override;

private:
    void BuildSettingsPage(QWidget* page);
    void BuildSchedulePage(QWidget* page);
    void BuildAccountPage(QWidget* page);
    QWidget* StartRow(QWidget* parent, const char* suffix);
    QPushButton* AdvancedButton(QWidget* parent, const char* name);
    void SyncStart(TDateTime date, TDateTime time);

    void OptionsToControls(const TSchedOptions& o);
    TSchedOptions ControlsToOptions() const;
    void ModelToControls(const TScheduleModel& m);
    TScheduleModel ControlsToModel() const;
    void OptionsClick();
    void UpdateAccount();
    void ShowTriggerPage();
    void NextClick();
    void BackClick();
    void TaskClick();
    void WorkDirClick();
    void ErrorActionClick();
    void UpdateScheduleEnabling();
    std::string KindTaskFile(const std::string& item) const;

    TQvAction QvAction = paBackup;
    std::string FPath;
    std::string FProgram;
    std::string ActionText;
    int ActErr = 0;
    TScheduleModel FModel;

    QLineEdit* edJobName;
    QStackedWidget* pcMain;
    QWidget* tsSettings;
    QWidget* tsSchedule;
    QWidget* tsAccount;
    // settings
    QLabel* laTasks;
    QLineEdit* edTasks;
    QPushButton* btnTask;
    QLineEdit* edOptions;
    QLineEdit* edUserOptions;
    QLineEdit* edWorkDir;
    QPushButton* btWorkDir;
    QLineEdit* edIniFile;
    QComboBox* cbxPrompt;
    QLabel* laWait;
    QSpinBox* reWait;
    QCheckBox* cbHide;
    QGroupBox* rgEnd;
    QButtonGroup* rgEndGroup;
    QPushButton* bbErrorAction;
    QComboBox* cbLog;
    QCheckBox* cbParallel;
    QComboBox* cbxPriority;
    // schedule
    QButtonGroup* rgCycle;
    QCheckBox* cbEnabled;
    QLabel* laTrigger;
    QStackedWidget* pcSteps;
    std::vector<QDateEdit*> dpStart;
    std::vector<QTimeEdit*> tpStart;
    QRadioButton* rbEveryDay;
    QRadioButton* rbSkipDays;
    QSpinBox* reDays;
    QSpinBox* reWeeks;
    QCheckBox* cbDay[7]; // Monday first
    QRadioButton* rbDayOfMonth;
    QRadioButton* rbSpecialday;
    TCheckComboBox* ccMonthDays;
    TCheckComboBox* ccMonthStart;
    TCheckComboBox* ccWeekdays;
    QCheckBox* cbMonth[12];
    QCheckBox* cbRandom;
    QSpinBox* reRandom;
    QComboBox* cbRndUnit;
    QLabel* laEventHead;
    QLabel* laUser;
    QCheckBox* cbActivate;
    QCheckBox* cbDelay;
    QSpinBox* reDelay;
    QComboBox* cbDelUnit;
    QPushButton* btEventEdit;
    QPushButton* btEventReset;
    // account
    QLineEdit* leDesc;
    QRadioButton* rbLoggedUser;
    QRadioButton* rbAnyUser;
    QLineEdit* edUser;
    QLabel* laPwd;
    QLineEdit* edPwd;
    QCheckBox* cbRunLevel;
    // buttons
    QPushButton* btnBack;
    QPushButton* btnNext;
    QPushButton* btnCancel;
};

// The text for a failed connection code of ConnectTaskScheduler.
std::string TaskSchedulerErrorText(HRESULT ACode);
