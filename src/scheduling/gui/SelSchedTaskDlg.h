#pragma once
// "Select Scheduled Task": the scheduled tasks of the open task folder whose program is a given one, with
// the properties and schedules of the selected task; the user runs or stops, enables or disables and
// deletes tasks here, and picks the task and schedule to edit.

#include <vector>

#include "foundation/gui/GuiUtils.h"
#include "foundation/gui/ShowMessageDlg.h"
#include "scheduling/WinTaskScheduler.h"

class QCheckBox;
class QGroupBox;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTimer;
class QTreeWidget;
class QTreeWidgetItem;

class TSelectSchedTaskDialog : public TDialogBase
{
public:
    explicit TSelectSchedTaskDialog(QWidget* parent = nullptr);
    // mrNo without showing when no task runs the program; mrYes when closed without a selection or after a
    // delete; mrOk with the task's folder position and the schedule to edit; mrCancel on "Close".
    TModalResult Execute(const std::string& ATitle, TWinTaskScheduler* ATaskSchedule,
                         const std::string& AFilter, int& ATaskIndex, int& ATrgIndex);

protected:
    void done(int r) override;
    void showEvent(QShowEvent* e) override;
    void hideEvent(QHideEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

private:
    int FillTaskList(bool ARefresh);
    void ShowTaskDetails(QTreeWidgetItem* AItem);
    void UpdateRunButton(TWinRegisteredTask* t);
    TWinRegisteredTask* SelectedTask() const;
    void StatusClick();
    void RunClick();
    void DeleteClick();
    void TimerTick();
    void SortBy(int column);

    std::string FFilter;
    int SelectedTaskIndex = -1;
    bool Changed = false;
    TWinTaskScheduler* FWinTask = nullptr;
    std::vector<TWinTaskStatus> LastStatus;
    int FSortColumn = 0;
    bool FSortDescending = false;

    QTreeWidget* lvTasks;
    QGroupBox* gbDetails;
    QLineEdit* edApp;
    QLineEdit* edParams;
    QLineEdit* edWorkDir;
    QLineEdit* edDesc;
    QLineEdit* edCreator;
    QLineEdit* edCreated;
    QLineEdit* edUser;
    QCheckBox* tsStatus;
    QListWidget* lbSchedules;
    QPushButton* btnEdit;
    QPushButton* btnDelete;
    QPushButton* btbRun;
    QPushButton* btnClose;
    QTimer* tmUpdate;
};

TModalResult SelectScheduledTask(const std::string& ATitle, TWinTaskScheduler* ATaskSchedule,
                                 const std::string& AFilter, int& ATaskIndex, int& ATrgIndex,
                                 QWidget* parent = nullptr);
