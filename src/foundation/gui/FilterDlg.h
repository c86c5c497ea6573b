#pragma once
// Editing a text filter: off, include or exclude what matches; wildcard masks (combined by OR, or by
// AND with a leading "+") or one regular expression. The expressions typed form a history in the
// settings file.

#include <QPoint>
#include <string>

#include "foundation/TextFilter.h"
#include "foundation/gui/GuiUtils.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;

class TFilterDialog : public TDialogBase
{
public:
    explicit TFilterDialog(QWidget* parent = nullptr);
    // Writes the history when LoadFromIni named a file and a section.
    ~TFilterDialog() override;
    // True on OK, with AFilter changed in place (only then).
    bool Execute(const QPoint& APos, const std::string& Titel, const std::string& Desc, bool ShowRegular,
                 bool ShowListBtn, TTextFilter& AFilter);
    void LoadFromIni(const std::string& IniName, const std::string& IniSection);
    void accept() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void ModeChanged();
    void RegExpClicked();
    void EvalClicked();
    void EditMaskClick();
    QGroupBox* gbFilter;
    QRadioButton* NoMaskBtn;
    QRadioButton* IncMaskBtn;
    QRadioButton* ExcMaskBtn;
    QLabel* lbMask;
    QComboBox* cbFilter;
    QPushButton* btnEditMask;
    QGroupBox* rgEval;
    QRadioButton* rbOr;
    QRadioButton* rbAnd;
    QCheckBox* RegExpCB;
    TTextFilter* FFilter = nullptr;
    std::string FIniName;
    std::string FSection;
};

void SetFilterDialogIni(const std::string& IniName, const std::string& Section);
bool EditTextFilterAt(const QPoint& APos, const std::string& Titel, const std::string& Desc, bool ShowRegular,
                      bool ShowListBtn, TTextFilter& AFilter);
bool EditTextFilter(const std::string& Titel, const std::string& Desc, bool ShowRegular, bool ShowListBtn,
                    TTextFilter& AFilter);
