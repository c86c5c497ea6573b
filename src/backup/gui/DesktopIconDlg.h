#pragma once
// The dialog that sets up a desktop shortcut which starts backup tasks: name and description, the
// tasks (or one of the program's automatic-task slots instead), and the choices of status window,
// splash screen, action after the backup, error handling, parallel processing and "Run as
// administrator", which it turns into the option part of the shortcut's command line.

#include <QPoint>
#include <functional>
#include <string>

#include "foundation/gui/GuiUtils.h"

class QAction;
class QButtonGroup;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QRadioButton;

// Actions after the backup, in the order of their radio buttons.
enum TShortcutAction
{
    saNone,
    saStandby,
    saHibernate,
    saLogoff,
    saRestart,
    saShutdown,
    saLockDown,
    saHybridDown
};

// The error-action dialog the button "Action handling on errors" opens (position, the action's
// caption, the mask): true on OK with the new mask. The error-action dialog of the task settings
// unless replaced (tests); nullptr restores it.
using TErrorActionDialogFunc =
    std::function<bool(const QPoint& APos, const std::string& SubAction, int& Mask)>;
void SetErrorActionDialog(TErrorActionDialogFunc func);

class TDesktopIconDialog : public TDialogBase
{
public:
    explicit TDesktopIconDialog(QWidget* parent = nullptr);
    // ATasks: the task arguments (quoted task files separated by blanks); AAutoTasks: comma text of
    // the slots that hold a task ("n: name" each); RunAsStat < 0 hides "Run as administrator".
    bool Execute(const std::string& ACaption, const std::string& ATasks, const std::string& AAutoTasks,
                 std::string& Shortcut, std::string& Description, std::string& Options, int& RunAsStat,
                 int& AutoTask);

    // The options the dialog's controls stand for, followed by the options it does not show.
    std::string BuildOptions() const;

protected:
    QString FocusedHint() const override;
    // Refuses an empty shortcut name or one that is no valid file name.
    void accept() override;

private:
    void ReadOptions(const std::string& options);
    void SelectAction(int action);
    void ActionChanged();
    void AutoTaskChosen(QAction* item);
    void ParallelChanged();
    QLineEdit* edShortcut;
    QLineEdit* edDescription;
    QLineEdit* edTasks;
    QPushButton* btAutoTask;
    QMenu* cbAutoTask;
    QGroupBox* rgStatus;
    QButtonGroup* StatusButtons;
    QCheckBox* cbSplash;
    QCheckBox* cbRunAs;
    QCheckBox* cbParallel;
    QGroupBox* gbAction;
    QButtonGroup* ActionButtons;
    QCheckBox* cbAction;
    QPushButton* bbErrorAction;
    int AutoTaskNr = -1;
    std::string FOpt;
    std::string FTask;
    std::string FTaskText;
    std::string FTaskHint;
    std::string FAct;
    std::string FDesc;
    int ActErr = 0;
};

bool ShowDesktopIconDialogFull(const std::string& ACaption, const std::string& ATasks,
                               const std::string& AAutoTasks, std::string& Shortcut, std::string& Description,
                               std::string& Options, int& RunAsStat, int& AutoTask);
bool ShowDesktopIconDialog(const std::string& ACaption, const std::string& ATasks,
                           const std::string& AAutoTasks, std::string& Shortcut, std::string& Description,
                           std::string& Options, bool& RunAs, int& AutoTask);
