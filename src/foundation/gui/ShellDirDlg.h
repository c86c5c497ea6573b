#pragma once
// The folder chooser of the suite: a folder tree with four roots (desktop, documents, computer,
// network), an optional file panel, a history of chosen folders and the free space of the selected
// volume; it creates and deletes folders. One instance lives for the whole program, so its history,
// position and panel widths carry over and are kept in the settings file.

#include <QPoint>
#include <string>

#include "foundation/gui/GuiUtils.h"
#include "rtl/StringList.h"

class QCheckBox;
class QComboBox;
class QFileSystemModel;
class QLabel;
class QMenu;
class QPushButton;
class QSplitter;
class QToolButton;
class QTreeView;

class TShellDirDialog : public TDialogBase
{
public:
    explicit TShellDirDialog(QWidget* parent = nullptr);
    // True on OK; Dir is then the chosen folder with a trailing "/".
    bool Execute(const std::string& ATitle, bool Hidden, bool FileView, bool ZipAsFiles,
                 const std::string& HomeDir, std::string& Dir);
    void LoadFromIni(const std::string& IniName, const std::string& Section);
    void SaveToIni();
    void ResetPosition();
    // Selects a folder as the start-folder rule does (documents for a folder that does not exist).
    void StartAt(const std::string& dir);
    std::string SelectedPath() const;
    const TStringList& History() const { return DirList; }
    void CreateFolder(const std::string& name);
    // Deletes the selected folder after asking (definitely or into the trash).
    void DeleteFolder();
    void Up();
    void Home();
    void SetRoot(int root);
    int Root() const { return FRoot; }
    void accept() override;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void done(int r) override;

private:
    void SelectionChanged();
    void PathEdited();
    void ShowFiles(bool on);
    void UpdateVolHint();
    void AddToDirHistory(const std::string& dir);
    QToolButton* spbDesktop;
    QToolButton* spbMyFiles;
    QToolButton* spbComputer;
    QToolButton* spbNetwork;
    QComboBox* cbxSelectedDir;
    QToolButton* spbHome;
    QToolButton* spbUp;
    QToolButton* spbNew;
    QCheckBox* cbxFiles;
    QLabel* laVolHint;
    QPushButton* btbOK;
    QSplitter* Splitter;
    QTreeView* ShellTreeView;
    QTreeView* ShellListView;
    QFileSystemModel* TreeModel;
    QFileSystemModel* ListModel;
    QMenu* PopupMenu;
    std::string FDefaultDir;
    std::string FIniName;
    std::string FIniSection;
    TStringList DirList;
    int FRoot = 2;
    bool FFileView = false;
};

// The unit's settings file and section, used when SelectFolderEx creates the instance.
void SetShellDirDialogIni(const std::string& IniName, const std::string& Section);
bool SelectFolderEx(const std::string& ATitle, bool Hidden, bool FileView, bool ZipAsFiles,
                    const std::string& HomeDir, std::string& Dir);
bool SelectFolder(const std::string& ATitle, bool Hidden, bool FileView, const std::string& HomeDir,
                  std::string& Dir);
// The kept instance (nullptr before the first use).
TShellDirDialog* ShellDirDialog();
// Deletes a folder tree; counts the removed folders and the deleted files. False when anything failed.
bool DeleteFolderTree(const std::string& dir, int& dirs, int& files);
