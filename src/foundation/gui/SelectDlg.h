#pragma once
// A question with any number of answer buttons built at run time (three per row) and an optional
// check box. The result is the chosen button's index, +256 when the box is ticked, −1 for Cancel.

#include <QFont>
#include <QPoint>
#include <string>
#include <vector>

#include "foundation/gui/GuiUtils.h"

class QCheckBox;
class QLabel;
class QPushButton;

enum TMsgDlgType
{
    mtWarning,
    mtError,
    mtInformation,
    mtConfirmation,
    mtCustom
};

class TSelectDialog : public TDialogBase
{
public:
    explicit TSelectDialog(QWidget* parent = nullptr);
    // ACaptionBold: the question in bold. PreSelection: low byte = focused button (n = Cancel, −1
    // Cancel), bit 8 presets the check box. DefaultButton: the Cancel button's caption ("" = "Cancel").
    int Execute(const QPoint& APos, const std::string& ATitle, const std::string& ACaption,
                TMsgDlgType DlgType, bool ACaptionBold, const std::vector<std::string>& AButtons,
                const std::string& AOption, int ButtonWidth, int PreSelection,
                const std::string& DefaultButton);

private:
    QLabel* imgIcon;
    QLabel* stCaption;
    QCheckBox* cbOption;
    std::vector<QPushButton*> Buttons;
    int Selection = -1;
};

int SelectChoiceAt(const QPoint& APos, const std::string& ATitle, const std::string& ACaption,
                   TMsgDlgType DlgType, bool ACaptionBold, const std::vector<std::string>& AButtons,
                   const std::string& AOption, int ButtonWidth, int PreSelection,
                   const std::string& DefaultButton);
int SelectChoice(const std::string& ATitle, const std::string& ACaption, TMsgDlgType DlgType,
                 bool ACaptionBold, const std::vector<std::string>& AButtons, const std::string& AOption,
                 int ButtonWidth, int PreSelection, const std::string& DefaultButton);
