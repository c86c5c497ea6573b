#pragma once
// Browsing the folders and files below a start folder (never above it).

#include <string>

#include "foundation/gui/GuiUtils.h"

class QFileSystemModel;
class QLabel;
class QPushButton;
class QTreeView;

class TShowFilesDialog : public TDialogBase
{
public:
    explicit TShowFilesDialog(QWidget* parent = nullptr);
    // Shows the dialog modally; a folder that does not exist is reported instead.
    void Show(const std::string& ATitle, const std::string& Dir);
    // The folder shown now.
    std::string CurrentDir() const { return FCurrent; }
    void OpenDir(const std::string& dir);
    void DirUp();

private:
    QLabel* pnTop;
    QTreeView* lvFiles;
    QFileSystemModel* FModel;
    QPushButton* btnDirUp;
    std::string RootName;
    std::string FCurrent;
};

void ShowDirectoryFiles(const std::string& ATitle, const std::string& Dir);
