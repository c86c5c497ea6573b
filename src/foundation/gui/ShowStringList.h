#pragma once
// A list shown modally with a status line, or a non-modal list window in a screen corner to which
// lines are added while work goes on.

#include <QPoint>
#include <string>

#include "foundation/gui/GuiUtils.h"
#include "rtl/StringList.h"

class QLabel;
class QListWidget;
class QWidget;

enum TStatusListPos
{
    spCenter,
    spTopLeft,
    spTopRight,
    spBottomLeft,
    spBottomRight
};

class TShowStringListDialog : public QDialog
{
public:
    explicit TShowStringListDialog(QWidget* parent = nullptr);
    void Execute(const QPoint& APos, const std::string& Titel, const std::string& Desc,
                 const std::string& Status, const TStringList& StrList);
    void ShowList(TStatusListPos APos, const std::string& Titel, const std::string& Desc);
    void AddListItem(const std::string& s);
    void CloseList();

private:
    QWidget* paTop;
    QLabel* laDesc;
    QListWidget* lbStrings;
    QWidget* paBottom;
    QLabel* laStatus;
};

void DisplayStringList(const QPoint& APos, const std::string& Titel, const std::string& Desc,
                       const std::string& Status, const TStringList& StrList);
void OpenListWindow(TStatusListPos Pos, const std::string& Titel, const std::string& Desc);
// Do nothing while no list window exists.
void AddListWindowItem(const std::string& s);
void CloseListWindow();
// The shared list window (nullptr before the first use).
TShowStringListDialog* ListWindow();
