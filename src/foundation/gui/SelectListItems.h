#pragma once
// Ticking entries of a list; bit 0 of each entry's object is its ticked state, in and out.

#include <QPoint>
#include <string>

#include "foundation/gui/GuiUtils.h"
#include "rtl/StringList.h"

class QLabel;
class QListWidget;

class TSelectListItemsDialog : public TDialogBase
{
public:
    explicit TSelectListItemsDialog(QWidget* parent = nullptr);
    bool Execute(const QPoint& APos, const std::string& ATitle, const std::string& ADesc,
                 const std::string& AName, TStringList& SList);

private:
    void CheckAll(bool on);
    QListWidget* clItems;
    QLabel* laDesc;
    QLabel* laName;
};

bool ChooseListItems(const QPoint& APos, const std::string& ATitle, const std::string& ADesc,
                     const std::string& AName, TStringList& SList);
