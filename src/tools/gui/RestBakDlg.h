#pragma once
// "Take security copies into account": how the security copies of a backup are named (directory
// prefix, file suffix) and whether the tool ignores or includes each kind, for the copies made during
// backup and those made during synchronisation. The naming can be imported from a backup task.

#include <string>

#include "foundation/BuConsts.h"
#include "foundation/gui/GuiUtils.h"

class QLabel;
class QLineEdit;
class QRadioButton;
class QWidget;

class TRestBakDialog : public TDialogBase
{
public:
    explicit TRestBakDialog(QWidget* parent = nullptr);
    // True on OK; only then are both records changed.
    bool Execute(TAction AAction, const std::string& ATitle, TSecSettings& BakSec, TSecSettings& SyncSec,
                 const std::string& BuTask);
    // Fills the four edits from a backup task file (the groups stay as they are).
    void ImportFrom(const std::string& fileName);

private:
    std::string BuJobName;
    QLineEdit *edtBakPrefix, *edtBakSuffix, *edtSyncPrefix, *edtSyncSuffix;
    QRadioButton *rgBakDir[2], *rgBakFile[2], *rgSyncDir[2], *rgSyncFile[2];
    QWidget* FGroups[4];
    QLabel* laHint;
};

bool ShowRestBakDialog(TAction AAction, const std::string& ATitle, TSecSettings& BakSec,
                       TSecSettings& SyncSec, const std::string& BuTask);
