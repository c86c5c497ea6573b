#pragma once
// "Select external programs": the viewer of a listed file and the program that compares it with its
// current version, with the comparison program's options.

#include <QString>
#include <functional>
#include <string>

#include "backup/gui/TaskDialogBase.h"

class QLineEdit;
class QPushButton;

class TExternalViewerDialog : public TTaskDialogBase
{
public:
    explicit TExternalViewerDialog(QWidget* parent = nullptr);
    // Fills the fields and shows the dialog; on OK the three strings take the fields.
    bool Execute(std::string& ViewProg, std::string& CompProg, std::string& CompOpt);

    // Chooses a program file: title and start folder; empty when cancelled. Replaceable for tests.
    static std::function<std::string(const std::string& title, const std::string& dir)> ChooseProgram;

    // What the two choose buttons do with a chosen program.
    void ViewerChosen(const std::string& path);
    void CompareChosen(const std::string& path);

private:
    void SelectViewer();
    void SelectCompare();
    std::string StartFolder(const QLineEdit* edit) const;

    QLineEdit* edViewer;
    QLineEdit* edCompare;
    QLineEdit* edOptions;
    QPushButton* btViewer;
    QPushButton* btCompare;
};

bool SelectExternalPrograms(std::string& ViewProg, std::string& CompProg, std::string& CompOpt);
