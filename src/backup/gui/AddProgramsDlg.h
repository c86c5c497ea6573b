#pragma once
// "External programs": the command lines a backup task runs before and after the backup, with their
// waiting, console, administrator and exit-code settings.

#include <string>

#include "backup/ExternalProg.h"
#include "backup/gui/TaskDialogBase.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class TCheckGroupBox;
class TRangeEdit;

class TAddProgramsDialog : public TTaskDialogBase
{
public:
    explicit TAddProgramsDialog(QWidget* parent = nullptr);
    // Saves the recent-command lists when a settings file was given.
    ~TAddProgramsDialog() override;
    // Only the first call with a non-empty name counts: loads the recent commands.
    void Init(const std::string& AIniName);
    // Encrypt -1 hides the encryption box and stays -1; 0 or 1 shows it and receives the choice.
    bool Execute(const std::string& APath, TExternalProg& PreCmd, TExternalProg& PostCmd, int& Encrypt);
    void accept() override;

    // The title of the program chooser the buttons open, and the file it starts with (for tests).
    struct TChooserStart
    {
        std::string Title;
        std::string Dir;
        std::string FileName;
        int FilterIndex = 1;
    };
    TChooserStart ChooserStart(bool pre) const;

private:
    struct TSide
    {
        TCheckGroupBox* Group;
        QLineEdit* Command;
        QPushButton* ChooseBtn;
        QPushButton* PhBtn;
        QComboBox* History;
        QRadioButton* WaitEnd;
        QRadioButton* WaitTime;
        TRangeEdit* TimeOut;
        QCheckBox* Ignore;
        QCheckBox* Admin;
        QCheckBox* Console;
    };
    TSide MakeSide(bool pre);
    void FillSide(TSide& side, const TExternalProg& prog);
    int SideWait(const TSide& side) const;
    void CommandChanged(TSide& side);
    void HistoryChosen(bool pre, int index);
    void ChooseProgram(bool pre);
    void InsertPlaceholder(bool pre);
    void EditHistory(QComboBox* combo);
    void UpdateWaitControls(TSide& side);
    TSide Pre;
    TSide Post;
    TRangeEdit* reErrorLevel;
    QCheckBox* cbPostErrorLevel;
    QCheckBox* cbCancel;
    QCheckBox* cbError;
    QCheckBox* cbIdle;
    QCheckBox* cbEncrypt;
    std::string FIniName;
    std::string FPath;
};

bool EditExternalPrograms(const std::string& APath, TExternalProg& PreCmd, TExternalProg& PostCmd,
                          int& Encrypt);
