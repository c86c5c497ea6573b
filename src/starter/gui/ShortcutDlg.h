#pragma once
// The dialog that builds the command line of a desktop shortcut or scheduled task starting backup
// groups unattended: the groups, the action after the backups and the log and lock-screen options.

#include <string>
#include <vector>

#include "foundation/gui/GuiUtils.h"
#include "starter/StarterShortcut.h"

class QButtonGroup;
class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;

class TShortcutDialog : public TDialogBase
{
public:
    // ASettingsDir: the settings folder shown when the command line names none.
    explicit TShortcutDialog(std::string ASettingsDir, QWidget* parent = nullptr);
    // ConfigList: the group names; AName and CmdLine change only on OK (true). An empty APrompt keeps
    // "OK" on the button.
    bool Execute(const std::string& ATitle, const std::string& ACaption, bool AShowLock,
                 const std::vector<std::string>& ConfigList, std::string& AName, std::string& CmdLine,
                 const std::string& APrompt);

protected:
    void accept() override;

private:
    void ActionChanged();
    std::string FSettingsDir;
    TShortcutChoices FChoices;
    QListWidget* lbConfigs;
    QLabel* edNameLabel;
    QLineEdit* edName;
    QButtonGroup* rgAction;
    QCheckBox* cbTerm;
    QCheckBox* cbWritelog;
    QCheckBox* cbLockScreen;
    QLabel* lbIniPath;
    QPushButton* OKBtn;
};
