#pragma once
// Asking for a text with a history of earlier texts and an optional character table.

#include <QPoint>
#include <string>

#include "foundation/gui/GuiUtils.h"
#include "rtl/StringList.h"

class QComboBox;
class QLabel;
class QPushButton;

class TInputTextDialog : public TDialogBase
{
public:
    explicit TInputTextDialog(QWidget* parent = nullptr);
    // Writes the history back when LoadFromIni named a file and a section.
    ~TInputTextDialog() override;
    bool Execute(const QPoint& APos, const std::string& Titel, const std::string& Desc, bool ShowTable,
                 const std::string& AFontName, std::string& AText);
    void LoadFromIni(const std::string& AIniName, const std::string& AIniSection);
    // The combo's list (most recent first).
    TStringList History() const;
    void SetHistory(const TStringList& list, bool sorted);

private:
    void CharTabClick();
    QLabel* Descriptor;
    QComboBox* TextFeld;
    QPushButton* CharTabBtn;
    std::string FIniName;
    std::string FIniSection;
    int defWidth;
};

// History (may be nullptr) fills the list before and receives it after OK.
bool InputTextHistory(const QPoint& APos, const std::string& Titel, const std::string& Desc, bool ShowTable,
                      const std::string& AFontName, TStringList* History, bool Sorted, std::string& AText);
bool InputText(const QPoint& APos, const std::string& Titel, const std::string& Desc, bool ShowTable,
               std::string& AText);
