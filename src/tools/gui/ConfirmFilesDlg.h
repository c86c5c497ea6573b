#pragma once
// The confirmation view of found files: before a restore or cleanup run changes anything, it shows the
// run's list with a directory tree (three-state selection per directory) and the files of the chosen
// directory, or, when whole directories are to be deleted, the list of all directories. The user may
// deselect entries, search, sort, and open a file in a viewer or compare it with its target before
// answering Yes or No. The dialog changes only the IsSelected flags of the list entries.
//
// The dialog is made on first use and kept for the rest of the program run; it owns the viewer and
// compare-program settings of the [Utilities] section.

#include <QAbstractTableModel>
#include <QPixmap>
#include <string>
#include <unordered_map>
#include <vector>

#include "foundation/gui/GuiUtils.h"
#include "tools/ConfirmFiles.h"

class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QRadioButton;
class QSplitter;
class QTableView;
class QTreeWidget;
class QTreeWidgetItem;
class QWidget;
class TEncryption;

// Images of the tree nodes.
enum TNodeState
{
    nsUnselected,
    nsSelected,
    nsPartly
};

// The rows of the file list: list indexes through the index array.
class TConfirmFilesModel : public QAbstractTableModel
{
public:
    explicit TConfirmFilesModel(QObject* parent = nullptr);
    TFileTransferList* List = nullptr;
    TIndexArray Shown;
    bool DirMode = false;
    bool RestoreMode = true;
    int HitRow = -1;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    void Reset();
    void RowChanged(int row);
    // Draws the state pictures anew in the colours of the current style.
    void MakeImages();
    // The size the size column shows.
    int64_t ShownSize(const TFileTransferInfo& e) const { return RestoreMode ? e.USize : e.FSize; }
    // The state image of an entry (0..13).
    static int StateImage(const TFileTransferInfo& e);
    int SortColumn = 0;
    bool Reverse = false;

private:
    std::vector<QPixmap> FImages;
};

class TConfirmFiles : public TDialogBase
{
public:
    explicit TConfirmFiles(QWidget* parent = nullptr);
    // Writes the viewer settings back to the settings file when one is known.
    ~TConfirmFiles() override;
    // The first call with a non-empty name reads the viewer settings of that file; later calls do nothing.
    void Init(const std::string& AIniName);
    bool Execute(const TConfirmRequest& request, TFileTransferList& AFileList);

    // For tests: the node state of a tree item, the tree item of a directory entry.
    static TNodeState NodeState(const QTreeWidgetItem* node);
    QTreeWidgetItem* NodeOfEntry(int listIndex) const;

    std::string Viewer, CompareProg, CompareOptions;

protected:
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void done(int r) override;

private:
    void BuildDirTree();
    void BuildDirList();
    QTreeWidgetItem* FindOrAddDirNode(QTreeWidgetItem* root, const std::string& path);
    void AddNodeCounts(QTreeWidgetItem* node);
    void ShowDirFiles();
    void ToggleRow(int row);
    void ToggleNode(QTreeWidgetItem* node);
    void SetNodeState(QTreeWidgetItem* node, TNodeState state);
    void SetFilesState(QTreeWidgetItem* node, bool value);
    void SetSubtreeState(QTreeWidgetItem* node, bool value);
    void UpdateParentState(QTreeWidgetItem* node);
    // The state of a node with subdirectories from theirs and its own files.
    void ApplyParentRule(QTreeWidgetItem* node);
    void CountFiles(const QTreeWidgetItem* node, int& selected, int& total) const;
    void UpdateNodeFromRows(QTreeWidgetItem* node);
    // List indexes of the file entries of a node (or the error entry shown alone).
    TIndexArray NodeFiles(const QTreeWidgetItem* node) const;
    void SelectAll(bool value);
    void UpdateCounts();
    void SortBy(int column);
    void Search(bool fromStart);
    void SearchFile();
    void SearchDir();
    void SelectNodeOfEntry(int listIndex);
    void SetColumnWidths();
    void ShowContextMenu(const QPoint& pos);
    std::string PrepareViewFile(int listIndex);
    void ShowFile();
    void CompareFile();
    void ClearView();
    bool IsDir(TFileType t) const { return IsDirEntry(t, FShowEmpty); }

    std::string FIniName;
    TFileTransferList* FList = nullptr;
    TConfMode FMode = cmRestore;
    TContextMode FContextMode = cmNone;
    bool FDirMode = false;
    bool FCleanup = false;
    bool FShowCounts = true;
    bool FShowEmpty = false;
    std::string FRootFolder;
    std::string FSearchMask;
    int FSearchPos = 0;
    std::string FCryptPwd;
    int FKeyMode = 0;
    std::vector<std::string> FTempFiles;
    std::unordered_map<int, QTreeWidgetItem*> FNodeOfEntry;
    std::unordered_map<std::string, QTreeWidgetItem*> FNodeOfPath;
    TIndexArray FScanOrder;
    std::vector<QPixmap> FNodeImages;

    TConfirmFilesModel* Model;
    QLabel* lblSource;
    QLabel* laSource;
    QLabel* laDest;
    QLabel* laNotes;
    QWidget* pnLeft;
    QSplitter* Splitter;
    QTreeWidget* tvDirs;
    QTableView* lvFiles;
    QWidget* pnSearch;
    QLineEdit* edSearch;
    QRadioButton* rbDirs;
    QRadioButton* rbFiles;
    QPushButton* btFind;
    QPushButton* btFindNext;
    QPushButton* btSelectAll;
    QPushButton* btDeselectAll;
    QPushButton* btExpand;
    QPushButton* btCollapse;
    QPushButton* btSettings;
    QLabel* laCount;
    QLabel* laSize;
    QLabel* laQuestion;
    QPushButton* btYes;
    QPushButton* btNo;
    QMenu* pmFiles;
    QAction* pmiShow;
    QAction* pmiCompare;
};

// Creates the dialog on first use (reading the viewer settings of the program's settings file) and
// returns Execute's answer.
bool ConfirmFileList(const TConfirmRequest& request, TFileTransferList& AFileList);

// The confirmation view as the answer of a run's question; it shows on the thread of the window even
// when the run works on a thread of its own.
class TDialogConfirmFiles : public IConfirmFiles
{
public:
    explicit TDialogConfirmFiles(QObject* guiObject = nullptr) : FGuiObject(guiObject) {}
    bool ConfirmFileList(const TConfirmRequest& request, TFileTransferList& list) override;

private:
    QObject* FGuiObject;
};
