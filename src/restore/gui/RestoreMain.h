#pragma once
// The main window of the restore program: a directory page that browses backup folders (selected
// files, whole directory, files from schedule) and a zip page that browses zip archives as a folder
// tree and a file list with check marks; below both the destination, the overwrite options and the
// Restore, Pause, Log, Help, Info and Quit buttons. The window is the host of the restore engine: it
// asks the engine's questions, shows its messages and draws its progress.

#include <QWidget>
#include <memory>
#include <string>
#include <vector>

#include "restore/RestoreEngine.h"
#include "restore/RestoreSettings.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QDateEdit;
class QFileSystemModel;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QSplitter;
class QStackedWidget;
class QTreeView;
class QTreeWidget;
class QTreeWidgetItem;
class QGroupBox;

class TMainForm : public QWidget, private IRestoreHost
{
public:
    // args: the command line without the program name. IniName empty: the settings folder's
    // "QvRestore.ini".
    explicit TMainForm(const std::vector<std::string>& args, const std::string& IniName = "",
                       QWidget* parent = nullptr);
    ~TMainForm() override;

    TRestoreEngine& Engine() { return *FEngine; }
    const std::string& IniName() const { return FIniName; }
    const std::string& LogName() const { return FLogName; }
    bool ZipPageShown() const;
    // Lists the archive of the archive box (zip page).
    bool ListArchive();
    // Shows a folder on the directory page.
    void ShowFolder(const std::string& Path);
    // The zip browser after a listing.
    void BuildFolderTree();
    void SelectAllEntries(bool Value);
    void ToggleFileSelection(int Row);
    void ToggleFolderSelection(QTreeWidgetItem* Node);
    int SelectCount() const { return FSelectCount; }
    void SortFileList(int Column);
    // The zip indexes of the rows of the file list, in display order.
    const std::vector<int>& FileIndex() const { return FFileIndex; }
    void UpdateCaption();
    void SaveSettings();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // IRestoreHost
    TPromptResult AskPassword(const std::string& prompt, bool skip, std::string& pwd) override;
    bool Confirm(const std::string& text) override;
    void ShowError(const std::string& text) override;
    void ShowInfo(const std::string& text) override;
    void ShowDetails(const std::string& info, const TStringList& details) override;
    void ShowFileLabel(const std::string& text) override;
    void ShowCountLabel(const std::string& text) override;
    void ShowProgress(int percent) override;
    void ProcessMessages() override;
    void StatusOpen(const std::string& title) override;
    void StatusText(const std::string& line1, const std::string& line2) override;
    bool StatusCancelled() override;
    void StatusClose() override;
    void ShowPreview(const std::string& title, const std::string& base, const std::string& hint,
                     bool notEmptyOnly, const TStringList& lines) override;

    void BuildDirectoryPage(QWidget* page);
    void BuildZipPage(QWidget* page);
    void BuildControlPanel(QWidget* panel);
    void ReadSettings();
    void ApplyCommandLine(const std::vector<std::string>& args);
    void ApplyOptions();
    void SetMode(int mode);
    void SetBakMode(int mode);
    void ShowFilterText();
    void UpdateUnpackPanel();
    void ShowZipPage(bool zip);
    void SetRestoring(bool active);
    void SelectAllFiles(bool value);

    // handlers
    void btRestoreClick();
    void btPauseClick();
    void btLogClick();
    void btOpenClick();
    void btDestClick();
    void bbFilterClick();
    void bbPreviewDirClick();
    void bbPreviewSchedClick();
    void btnTimeSettingsClick();
    void btOptionsClick();
    void btInfoClick();
    void bbArchiveClick();
    void btZipOpenClick();
    void fShellTreeViewClick();
    void tvFilesSelect();
    void FillFileList();
    void ShowSelectionCount();
    void UpdateFolderState(QTreeWidgetItem* Node);
    int GetFolderSelection(int Index) const;
    void SetNodeState(QTreeWidgetItem* Node, int State);
    int NodeState(const QTreeWidgetItem* Node) const;
    QTreeWidgetItem* NodeOfPath(const std::string& Path, const std::string& RootDir);
    std::pair<int, int> FolderRange(int Index) const;

    std::unique_ptr<TRestoreEngine> FEngine;
    std::string FIniName, FLogName, FUserPath, FSource, FVersion;
    TRestoreConfig FConfig;
    std::vector<std::string> FFileList; // names to preselect
    bool FZipMode = false, FUseDarkMode = false, FShown = false;
    int FRMode = 1;
    std::vector<int> FFileIndex, FUFileIndex;
    int FColumn = 0;
    bool FReverse = false;
    int FSelectCount = 0;
    bool FShowCounts = true;
    std::string FRootDir;

    // top
    QPushButton *bbDirMode, *bbZipMode;
    QStackedWidget* pcPages;
    QWidget *tsDirectories, *tsZip;
    // directory page
    QTreeView* fShellTreeView;
    QFileSystemModel *FDirModel, *FFileModel;
    QComboBox* edFolder;
    QRadioButton *rbFiles, *rbDirs, *rbSched;
    QStackedWidget* pcSource;
    QWidget *tsFiles, *tsDir, *tsSched;
    QTreeView* fShellListView;
    QPushButton *btAllFiles, *btNoFiles, *btOpen;
    QWidget* paUnpack;
    QCheckBox *GzUnPackCB, *ZipUnpackCB;
    QCheckBox *cbSubdirs, *cbEmptyDirs;
    QGroupBox* gbBak;
    QRadioButton *rbBakIgnore, *rbBakExclude, *rbBakUse;
    QLineEdit* edtBakSuffix;
    QDateEdit* dtpBakDate;
    QPushButton *bbResetSuffix, *bbBakToday, *bbPreviewDir;
    QLineEdit *edDFileFilter, *edSFileFilter;
    QPushButton *bbFilter, *bbSFilter;
    QLineEdit *edDirFilter, *edDriveId;
    QDateEdit* dtpRest;
    QPushButton *bbToday, *bbPreviewSched;
    // zip page
    QRadioButton *rbZipFile, *rbZipDir;
    QComboBox* edZipArchive;
    QPushButton *bbArchive, *btReload, *btZipOpen, *btSelAll, *btSelNone, *bbExpand, *bbCollaps;
    QSplitter* VSplitter;
    QTreeWidget* tvFiles;
    QTreeWidget* lvFiles;
    QLabel* laSelCount;
    // bottom panel
    QComboBox* cbTarget;
    QPushButton* btDest;
    QRadioButton *rbOverwriteOlder, *rbOverwriteAll, *rbOverwriteNone;
    QCheckBox *cbProtected, *cbResArchive, *cbCreationTime;
    QPushButton *btnTimeSettings, *btRestore, *btPause, *btLog, *bbHelp, *btInfo, *btQuit, *btOptions;
    QProgressBar* pbProgress;
    QLabel *laFile, *laCount;
};

// Registers the program for ".gz", ".gze" and ".enc" files (Associate) or removes that (not
// Associate): the desktop file is installed for the user and xdg-mime made its default where present.
// The folder of the desktop files and the program path are parameters for tests.
bool SetFileAssociations(bool Associate, const std::string& ApplicationsDir, const std::string& ProgramPath);
