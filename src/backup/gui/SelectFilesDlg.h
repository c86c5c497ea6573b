#pragma once
// "Files to be backed up": single files of one directory, kept in a source line's file-name filter.

#include <QPoint>
#include <string>

#include "backup/gui/TaskDialogBase.h"
#include "foundation/TextFilter.h"

class QCheckBox;
class QLineEdit;
class QListWidget;
class QPushButton;

class TSelectFilesDialog : public TTaskDialogBase
{
public:
    explicit TSelectFilesDialog(QWidget* parent = nullptr);
    bool Execute(const QPoint& APos, const std::string& Dir, TTextFilter& AFilter);
    // Refuses names that the filter does not accept ("Illegal mask!").
    void accept() override;

protected:
    QString FocusedHint() const override;

private:
    void AddClick();
    void RemoveClick();
    std::string FilterText() const;
    QLineEdit* lePath;
    QListWidget* FileListBox;
    QListWidget* lbFiles;
    QPushButton* btnAdd;
    QPushButton* btnRemove;
    QCheckBox* cbInvert;
    bool FIsFileFilter = true;
    bool FIgnoreCase = true;
    bool FRegular = false;
};

bool ShowSelectFilesDialog(const QPoint& APos, const std::string& Dir, TTextFilter& AFilter);
bool SelectFilesCentered(const std::string& Dir, TTextFilter& AFilter);
