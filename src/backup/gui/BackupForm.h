#pragma once
// The task editor's window: the frame of pages, panels and menus that edits one backup task (the
// model TTaskSettings), its values before any task is loaded, its shortcut keys, its re-translation
// after a change of language, the default position and size commands, the drive-identifier texts,
// the window state kept in the settings file, and the desktop shortcuts that start tasks.
//
// The editor's pages fill the frame's panels; the handlers that belong to them are virtual members
// here, so that the keys and menus of the frame reach them.

#include <QMainWindow>
#include <QPoint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "backup/EngineInterfaces.h"
#include "backup/TaskEditor.h"
#include "backup/TaskSettings.h"
#include "foundation/BuConsts.h"
#include "foundation/HListBox.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QDateEdit;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QPushButton;
class QRadioButton;
class QSplitter;
class QStackedWidget;
class QTabWidget;
class QToolButton;
class TMemIniFile;
class THistoryMenu;
class TEditorDialogs;
class TZeigFortschritt;

enum TWindowState
{
    wsNormal,
    wsMinimized,
    wsMaximized
};

// The editor's window state as the settings file keeps it.
struct TFormProps
{
    TFormPos FormPos;
    int32_t CWidth = 0;  // width of paRight in thousandths of the client width; 0 = not stored
    int32_t SHeight = 0; // height of pnSelections in thousandths of the height of pcMain; 0 = not stored
    TWindowState ws = wsNormal;
    bool UseDefault = false;
};

// The number before the per-mille sign of a stored panel size; 0 when the text is no such number.
int32_t ReadPerMille(const std::string& text);
// The stored form: the number followed by the per-mille sign.
std::string PerMilleText(int32_t value);

class TBackupForm : public QMainWindow
{
    Q_OBJECT
public:
    explicit TBackupForm(QWidget* parent = nullptr);
    ~TBackupForm() override;

    // --- the task being edited
    TTaskSettings Task;
    TBuStatus BuStatus = bsOK;
    TFormProps UForm;
    THistoryList TaskList; // the recently opened tasks

    // --- state of the editor (values before any task is loaded)
    std::string CmdZip, BuDir, ReplSourceDrv;
    int LastIndex = -1;
    bool FirstInit = true;
    bool NoAutoUpdate = false, TempProt = false, ExDirChanged = false, SortDirs = false, Encrypt = false;
    bool DoBackup = true;
    int ActMode = 0, TempMode = 0, SpecMode = 0, BuAction = 0, WatchdogCount = 0, ShowPageIndex = 0;
    int CmdProtMode = -1;
    TFileSystem SourceType = fsNotAvail;
    int MinHeight = 0, MinWidth = 0, DefWidth = 0, DefHeight = 0;
    int Pcw = 0, Psh = 0;
    int IncludeItem = -1, ExcludeItem = -1;

    // --- editor operations of the frame
    void UpdateLanguage();
    void SetDefaultPos();
    void SetDefaultSize();
    void UpdateDriveIdTexts();
    void LoadFromIni(TMemIniFile& AIniFile);
    void SaveToIni(TMemIniFile& AIniFile);
    void SetEditStatus(TEditStatus AStatus);
    void ShowTaskCaption();
    void ShowSelectionTotals();
    void ShowBackupModeSelection();
    void UpdateTaskControls();
    void ArrangeDestControls();
    // Shows the model in the controls (a task was loaded or reset).
    void ShowTask();
    // The saved file-type lists (combo box FilterListe), for the file-type page.
    int FilterListCount() const { return static_cast<int>(FilterLists.size()); }
    const TExtensionList& FilterList(int i) const { return *FilterLists.at(static_cast<size_t>(i)).second; }
    std::string FilterListName(int i) const;
    void AddFilterList(const std::string& name, std::unique_ptr<TExtensionList> list);

    // --- entry points of the main program
    // Opens the editor modally on a task file at a main page; the task's file when one exists after
    // the editor closed, else "".
    std::string EditBackupTask(const std::string& ATaskName, int APageIndex);
    // A new task (through the wizard when the settings ask for it) with a proposed destination; the
    // saved task's file or "".
    std::string NewBackupTask(const std::string& ADir, bool AFtp, const TFtpParams& AFtpPar);
    // Lets the user choose the program's default task; false when cancelled.
    bool GetDefaultTask(std::string& ADefaultTask);
    // Shows the editor modally and returns when it is closed.
    void ExecModal();

    // --- file commands and state (the logic is TTaskEditor's)
    TTaskEditor& Editor() { return *FEditor; }
    // Replaces the dialogs of the commands (tests answer the file choosers).
    void SetDialogs(std::unique_ptr<TEditorDialogs> dialogs);
    void NewTaskItemClick();
    void OpenTaskItemClick();
    void OpenDefaultItemClick();
    void SaveTaskItemClick();
    void SaveTaskAsItemClick();
    void ImportItemClick();
    void ExportItemClick();
    void ResetCountItemClick();
    void LoadFromListClick(const std::string& FileName);
    // A new task from the wizard's answers; the wizard's modal result (6 done, 7 configure, 2 cancel).
    int NewTaskFromWizard(const std::string& ADest, bool AFtp, const TFtpParams& AFtpPar);
    // The wizard; replaceable (tests).
    std::function<int(TBackupTask&)> RunWizard;
    // A free automatic-task slot for the wizard's schedule (-1 none); empty: no schedules.
    std::function<int()> FreeAutoTask;
    // "New for Thunderbird ...": writes a task for the mail client's profile; TaskName is the proposed
    // and then the written file. False when a choice was cancelled.
    bool NewTbTask(std::string& TaskName);
    // Reloads the editor from the model after a command.
    void TaskChanged();

    // --- runs from the editor
    // Where runs report to the program; nullptr = the editor's own host with the program's folders.
    IRunHost* RunHost = nullptr;
    // The program's progress window; nullptr = the editor's own.
    TZeigFortschritt* ProgressWindow = nullptr;
    // Runs the task in the editor (ATaskName empty) or the given task file; DoBackup false simulates.
    TBuResult StartDirectBackup(const std::string& ATaskName);
    void StartBtnClick();
    void itmSimBackupClick();

    // --- task log viewer
    bool ShowProt(const std::string& LogName, bool AllowEdit);
    void ProtView(bool CheckMode, bool AllowEdit);
    void ProtViewClick();
    void ProtDelClick();
    void ViewLogFileItemClick();

    // --- desktop shortcuts that start tasks (the program's executable with /force)
    void CreateShortcut(const std::string& ATaskName);
    void CreateMultiShortcut(const std::string& AName, const std::string& ADesc,
                             const std::string& ATaskNames);

    // The main window's hooks: the progress window's reset commands and the automatic-task slots that
    // hold a task, as "n: name" items (comma text).
    std::function<void()> ResetProgressPosition;
    std::function<void()> ResetProgressSize;
    std::function<std::string()> AutoTaskList;

    // --- pages and panels
    QTabWidget* pcMain;
    QWidget* tsDirectories;
    QWidget* tsSettings;
    QWidget* tsOptions;
    QSplitter* spMain;
    QTabWidget* pcTools;
    QWidget* tsToolDirs;
    QWidget* tsToolTypes;
    QWidget* paRight;
    QSplitter* spRight;
    QListWidget* SelectedDirBox;
    QWidget* pnSelections;
    QTabWidget* pcSelection;
    QWidget* tsSubDirs;
    QWidget* tsFiles;
    QWidget* tsTypes;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

    // Handles a key of the form; true when it acted on it.
    bool FormKeyDown(int key, Qt::KeyboardModifiers shift);
    void FormHelp();
    void ShowSelectionPage(QWidget* page);
    bool ShowToolPage(QWidget* page);
    void ShowCurrentSelection(bool rebuild, bool force, bool third);

    // Handlers of the editor's pages that the keys and menus of the frame call.
    virtual void ApplyDirFilterBtnClick() {}
    virtual void pmiBackupPreviewClick();
    virtual void EditDirFilterBtnClick() {}
    virtual void FilterBtnClick() {}
    virtual void ExtFilterBtnClick() {}
    virtual void FilterListeChange() {}
    virtual void UpdateItemClick() {}
    virtual void paDriveIdClick() {}
    virtual void ShowFileSettings() {}
    virtual void ShowSourceSelection(int /*index*/) {}
    void itmHelpBackupClick();
    void itmHelpOverviewClick();
    // Opens a page of the help (the desktop's browser).
    virtual void OpenHelp(const std::string& topic);

    // The preview of the current source line's selection.
    void ShowSelectionPreview(const std::string& Title, bool Excluded, bool ArchiveTest, bool ToBackup);

    // --- controls
    QLabel* laTask;
    QToolButton* sbMenu;
    QToolButton* LoadListBtn;
    QMenu* pmMain;
    QMenu* itmTasks;
    QMenu* pmFiles;
    QMenu* pmHelper;
    QAction* itmHelpBackup;
    QAction* itmHelpOverview;
    QLineEdit* edFolder;
    QPushButton* btFolder;
    QPushButton* AddBtn;
    QComboBox* FilterListe;
    QRadioButton* rbExcludeDirs;
    QRadioButton* rbIncludeDirs;
    QPushButton* FilterBtn;
    QDateEdit* FromDate;
    QDateEdit* ToDate;
    QRadioButton* IncludeRB;
    QRadioButton* ExcludeRB;
    QLabel* laTotals;
    QWidget* DestPanel;
    QTabWidget* pcDest;
    QWidget* tsWin;
    QWidget* tsFtp;
    QComboBox* BuZiel;
    QPushButton* btnDir;
    QLabel* laFtpServer;
    QGroupBox* gbDestMode;
    QRadioButton* rbDrives;
    QRadioButton* rbZipDir;
    QLabel* paDriveId;
    QGroupBox* gbMethod;
    QComboBox* BuModeCB;
    QStackedWidget* pcMethod;
    QCheckBox* cbCopySummary;
    QCheckBox* cbAltStreams;
    QCheckBox* cbCopyPerms;
    QCheckBox* cbNoAttributes;
    QCheckBox* cbCreationTime;
    QGroupBox* gbSync;
    QLabel* paTaskLog;
    // file processing and commands
    QGroupBox* gbFile;
    QPushButton* NewBtn;
    QPushButton* OpenBtn;
    QPushButton* SaveBtn;
    QPushButton* SaveAsBtn;
    QPushButton* StartBtn;
    QPushButton* bbShortcut;
    QPushButton* sbAuto;
    QPushButton* sbScheduler;
    QPushButton* ProtBtn;
    QPushButton* bbBack;
    QPushButton* btnFTP;
    QAction* NewTaskItem;
    QAction* TbTaskItem;
    QAction* OpenTaskItem;
    QAction* OpenDefaultItem;
    QAction* SaveTaskItem;
    QAction* SaveTaskAsItem;
    QAction* ImportItem;
    QAction* ExportItem;
    QAction* itmStartBackup;
    QAction* itmSimBackup;
    QMenu* itmLogs;
    QAction* ProtViewItem;
    QAction* ProtDelItem;
    QAction* ViewLogFileItem;
    QMenu* itmDesktop;
    QAction* itmThisTask;
    QAction* itmSeveralTasks;
    QMenu* itmSchedTasks;
    QAction* itmNewSched;
    QAction* itmEditSched;
    QAction* ResetCountItem;
    QAction* itmDefaultSize;
    QAction* FileExit;

private:
    void CreateCommandControls(QWidget* central, class QVBoxLayout* layout);
    void TranslateCommandTexts();
    void BindCommands();
    void BindTaskMenu();
    void btnDirClick();
    void btFolderClick();
    void itmSeveralTasksClick();
    void ChangeDestinationKind(bool ftp);
    IRunHost& Host();
    std::unique_ptr<TEditorDialogs> FDialogs;
    std::unique_ptr<TTaskEditor> FEditor;
    std::unique_ptr<IRunHost> FOwnHost;
    std::unique_ptr<TZeigFortschritt> FOwnProgress;
    bool FModalLoop = false;

    void CreateControls();
    void TranslateTexts();
    void BindControls();
    void FormCreate();
    void FormDestroy();
    void ApplyWindowState();
    void FocusGroup(QGroupBox* group);
    bool TypesTabVisible() const;
    int CurrentLine() const;
    // Shows the folder and type selection modes of the current source line.
    void ShowLineState();
    std::vector<std::pair<std::string, std::unique_ptr<TExtensionList>>> FilterLists;
    std::unique_ptr<THistoryMenu> TaskMenu;
    bool FShown = false;
    bool FShowingLine = false;
};
