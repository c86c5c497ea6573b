#pragma once
// The planner's window: the list of alternating schedules, the fields of one schedule with new, add,
// replace and remove, the run of a schedule's next step, and the ways to run a schedule later: a
// scheduled task of the suite's scheduler and a desktop shortcut.

#include <QWidget>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "planer/QvPlanerMain.h"
#include "scheduling/WinTaskScheduler.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QTreeWidget;
class TTaskScheduleDialog;

class TPlanerWindow : public QWidget
{
public:
    // form holds the settings and schedules (already loaded) and reports through its host.
    explicit TPlanerWindow(THauptForm& form, QWidget* parent = nullptr);
    ~TPlanerWindow() override;

    // Connects to the scheduler (default ConnectTaskScheduler); tests give a store of their own.
    std::function<HRESULT(std::unique_ptr<TWinTaskScheduler>&)> ConnectScheduler = ConnectTaskScheduler;
    // Asks for a backup task file starting in folder; "" when cancelled.
    std::function<std::string(const std::string& folder)> ChooseTaskFile;
    // The planner itself: the target of shortcuts and scheduled tasks.
    std::string PlanerExe;

    // The schedule shown in the fields.
    TSchedTask ControlsToSchedule() const;
    // Names of the planner's scheduled tasks, cut to the schedule name.
    const std::vector<std::string>& ActiveTasks() const { return FActiveTasks; }
    TTaskScheduleDialog* Wizard() const { return FWizard; }

    void AddScheduleClick();
    void ReplaceScheduleClick();
    void RemoveScheduleClick();
    void ResetClick();
    void RunNowClick();
    void EditTaskClick();
    void SelectTaskClick();
    void CreateTaskClick();
    void ShowTasksClick();
    void ShortcutClick();
    void InfoClick();

    void FillScheduleList(int i);
    void ShowSchedule(int i);
    void ClearScheduleControls();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void BuildControls();
    void ConnectOnce();
    void ReadActiveTasks();
    void UpdateActive();
    int AddScheduleItem(int i);
    int SelectedSchedule() const;
    bool Validate(int index, const TSchedTask& s);
    void StepsChanged(int steps);
    void RunWizard(int index);
    std::string ScheduleName() const;

    THauptForm& Form;
    std::unique_ptr<TWinTaskScheduler> FScheduler;
    TTaskScheduleDialog* FWizard = nullptr;
    HRESULT FSchedStatus = 0;
    bool FConnected = false;
    std::vector<std::string> FActiveTasks;
    int LastWd = 1;

    QTreeWidget* lvSchedules;
    QGroupBox* gbSched;
    QLineEdit* leName;
    QLineEdit* leTask;
    QPushButton* bbEdit;
    QPushButton* btnSelTask;
    QSpinBox* edCycles;
    QSpinBox* edSteps;
    QComboBox* cbWeekDay;
    QGroupBox* rgMode;
    QRadioButton* rbDiff;
    QRadioButton* rbIncr;
    QCheckBox* cbSilent;
    QPushButton* btnReset;
    QPushButton* btnAdd;
    QPushButton* btnReplace;
    QPushButton* btnRemove;
    QPushButton* btnRun;
    QPushButton* btnCreateTask;
    QPushButton* btnShowTasks;
    QPushButton* btnShortcut;
    QPushButton* bbHelp;
    QPushButton* btInfo;
    QPushButton* btnQuit;
};
