#pragma once
// The main window: page buttons on the left and the pages "Data backups" (the list of backup tasks
// with the panel of the selected task), "Backup schedules" (the sixteen automatic-task slots), "Tools"
// and "Task Scheduler"; the tray icon with its menu; the schedule timer; the log viewer; the requests
// of a second start of the program. The program control (TBuMainForm) holds the data; runs go to a
// thread of their own while this window stays usable.

#include <QMainWindow>
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "mainwindow/BuMain.h"
#include "mainwindow/BuMainInstance.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QSocketNotifier;
class QStackedWidget;
class QSystemTrayIcon;
class QTimeEdit;
class QTimer;
class QToolButton;
class QTreeWidget;
class TBackupForm;
class TRunTasks;

class TBuMainWindow : public QMainWindow
{
    Q_OBJECT
public:
    explicit TBuMainWindow(TBuMainForm& program, QWidget* parent = nullptr);
    ~TBuMainWindow() override;

    // ---- pages
    void SetMainPage(int index);
    void ShowBackupPage();
    void ShowAutoBackups(int index);
    void ShowToolsPage();
    void ShowSchedulerPage();
    int MainPage() const;

    // ---- the backup list and the panel of the selected task
    void RefreshBackupList();
    void AddToBackupList(const std::string& fileName);
    bool ShowTaskInfo(const std::string& task);
    std::vector<int> SelectedEntries() const;
    void SelectEntries(const std::vector<int>& rows);
    // The commands of the list (buttons and menu).
    void bbBuOpenClick();
    void bbCommentClick();
    void bbBuSortClick();
    void MoveSelected(bool up);
    void bbBuRemoveClick();
    void bbBuRemAllClick();
    void bbBuViewLogClick();
    void bbBuAddScheduleClick();
    void bbBuStartClick();
    // The task editor: a new task from the selected one's destination, and the selected task on a page.
    void bbBuNewClick();
    void EditCurrentTask(int pageIndex);
    // The editor window of this program (made on first use; it keeps its settings while the program runs).
    TBackupForm& BackupForm();

    // ---- the schedule page
    void ShowAutoTask(int index);
    void StoreAutoTask(int index);
    void ChangeAutoStart(TAutoStart kind, bool force);
    void UpdateSchedules(int selIndex);
    bool AddSchedule(const std::string& taskName, bool noPrompt);
    int AutoTaskNr() const { return FAutoTaskNr; }

    // ---- logs
    void ShowLog(const std::string& logName, bool modal);

    // ---- runs
    bool BackupIsRunning() const { return FRunning; }
    // Runs work on the run thread; done gets its result on this window's thread.
    void StartRun(std::function<int()> work, std::function<void(int)> done = {});
    // The start dispatcher of an interactive or automatic start (after InitProgram).
    void Dispatch();
    // The schedule timer's tick.
    void tmScheduleTimer();
    QTimer* ScheduleTimer() const { return tmSchedule; }
    TRunTasks* ParallelRun() const { return FRunTasks.get(); }

    // ---- tray
    QSystemTrayIcon* TrayIcon() const { return FTray; }
    QMenu* TrayMenu() const { return pmTaskbar; }
    void BuildTaskMenu();
    void itStartBackupClick(int tag);
    // Closes the window to the background (true) or for good (false).
    void EndProgram(bool standby);

    // ---- the end of the session
    // The desktop ends the session (logoff true) or shuts down. With logoff backups configured the
    // program holds the end back, runs them, and then ends the session itself; false when it held
    // the end back.
    bool SessionEnding(bool logoff);

    // ---- the single instance
    void SetInstanceServer(TInstanceServer* server);
    void HandleRequest(std::unique_ptr<TInstanceRequest> request);

    // Called when the window ends the program (the application quits).
    std::function<void()> OnEndProgram;

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void CreateControls();
    QWidget* CreateBackupPage();
    QWidget* CreateSchedulePage();
    QWidget* CreateToolsPage();
    QWidget* CreateSchedulerPage();
    void CreateTray();
    void FillBackupList();
    void ClearTaskInfo(const std::string& nameText);
    void EnableTaskButtons(bool shown);
    void UpdateRunState();
    void UpdateQuitCaptions();
    void UpdateAutoFlags();
    void UpdateSlotVisibility(TAutoStart kind);
    void SlotTimeChanged();
    void RunTasksInChildren(const std::vector<std::string>& tasks, bool parallel, TInteraction mode);
    void FinishRequest();
    void StoreWindowPos();

    TBuMainForm& FProgram;
    bool FRunning = false;
    bool FAtShowing = false;
    bool FEnding = false;
    bool FGoStandby = false;
    bool FCanEndSession = false;
    int FAutoTaskNr = -1;
    TAutoStart FAutoMode = asNone;
    std::thread FRunThread;
    std::unique_ptr<TRunTasks> FRunTasks;
    std::shared_ptr<std::atomic<int>> FInfoGeneration;
    std::vector<std::unique_ptr<TInstanceRequest>> FPendingRuns;
    TInstanceServer* FServer = nullptr;
    QSocketNotifier* FNotifier = nullptr;
    std::vector<int> FSchedSlots; // slot numbers of the info panel's schedule lines
    std::unique_ptr<TBackupForm> FBackupForm;
    int FDestKind = 0; // destination of the task shown: 0 folder, 1 zip file, 2 FTP

    // left column and title bar
    QPushButton* sbBackup;
    QPushButton* sbAuto;
    QPushButton* sbTools;
    QPushButton* sbScheduler;
    QPushButton* sbExit;
    QPushButton* sbErrorStatus;
    QCheckBox* cbSysTray;
    QLabel* laTitle;
    QStackedWidget* pcMain;
    QLabel* laStatus;

    // backup page
    QListWidget* lbMyBackups;
    QPushButton* bbBuNew;
    QPushButton* bbBuOpen;
    QPushButton* bbBuEdit;
    QPushButton* bbComment;
    QPushButton* bbBuSort;
    QPushButton* bbBuUp;
    QPushButton* bbBuDown;
    QPushButton* bbBuRemove;
    QPushButton* bbBuRemAll;
    QPushButton* bbBuStart;
    QPushButton* bbBuViewLog;
    QPushButton* bbBuAddSchedule;
    QPushButton* bbBuEditSchedule;
    QLabel* laTaskName;
    QPlainTextEdit* meBackupDesc;
    QLineEdit* edDestination;
    QLabel* paDestHint;
    QLabel* laMethod;
    QLabel* laBackupMode;
    QLabel* paTaskLog;
    QLabel* laLastBackup;
    QListWidget* lbTimeSched;

    // schedule page
    std::vector<QToolButton*> FSlotButtons;
    QLabel* gbAutoCaption;
    QLineEdit* edAutoTask;
    QComboBox* cbAutoStart;
    QLabel* laAutoAt;
    QTimeEdit* dtpAutoTime;
    std::vector<QCheckBox*> FWeekdays;
    QWidget* gbWeekdays;
    QCheckBox* cbRunIfMissed;
    QComboBox* cbAutoEnd;
    QComboBox* cbPriority;
    QLabel* LastAutoBuTime;
    QLabel* LastBackupStatus;
    QLabel* laSchedInfo;
    QPushButton* bbLoadAutoTask;
    QPushButton* bbRemTask;
    QPushButton* bbEditTask;
    QPushButton* btbRunAuto;
    QPushButton* bbShowLog;
    QTreeWidget* lvSchedules;
    QPushButton* bbSchedList;

    // tray and timers
    QSystemTrayIcon* FTray = nullptr;
    QMenu* pmTaskbar;
    QMenu* itStartBackup;
    QTimer* tmSchedule;
};

// Runs the main program with its window for args (args[0] the program): the single-instance rule, the
// start dispatcher and the event loop; returns the process exit code.
int RunMainWindow(int& argc, char** argv, const std::vector<std::string>& args,
                  const TProgramFolders& folders, IPowerActions& power);
