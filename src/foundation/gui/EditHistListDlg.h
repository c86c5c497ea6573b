#pragma once
// Editing the entries of a history list: remove, edit and reorder them.

#include <QPoint>
#include <string>

#include "foundation/gui/GuiUtils.h"
#include "rtl/StringList.h"

class QLabel;
class QListWidget;
class QPushButton;

class TEditHistListDialog : public TDialogBase
{
public:
    explicit TEditHistListDialog(QWidget* parent = nullptr);
    bool Execute(const QPoint& APos, const std::string& Titel, const std::string& Desc, TStringList& HList,
                 bool ADelete, bool AEdit, int& AIndex);

private:
    void DeleteClick();
    void EditClick();
    void MoveClick(bool up);
    QLabel* lbDesc;
    QListWidget* lbxStringList;
    QPushButton* btnDelete;
    QPushButton* btnEdit;
    QPushButton* UpBtn;
    QPushButton* DownBtn;
    // The entries removed while the dialog is open, with their objects.
    TStringList DelList;
};

bool EditHistoryList(const QPoint& APos, const std::string& Titel, const std::string& Desc,
                     TStringList& HList, bool ADelete, bool AEdit, int& AIndex);
bool DeleteHistoryEntries(const QPoint& APos, const std::string& Titel, const std::string& Desc,
                          TStringList& HList);
