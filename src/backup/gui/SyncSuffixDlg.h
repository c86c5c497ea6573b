#pragma once
// The dialog "Security copies during synchronization": how files and directories that a
// synchronisation would delete are kept instead.

#include "backup/SecurityCopyNames.h"
#include "backup/gui/TaskDialogBase.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

class TSyncSuffixDialog : public TTaskDialogBase
{
public:
    explicit TSyncSuffixDialog(QWidget* parent = nullptr);
    // Adjusts DirMode for an FTP destination and without separate drives at once (also on Cancel).
    bool Execute(bool IsFtp, bool SepDrives, TSecSettings& SyncSec);

private:
    void UpdateView();
    void MirrorPrefix(QLineEdit* from, QLineEdit* to);
    QRadioButton* rbNone;
    QRadioButton* rbSubDir;
    QRadioButton* rbSepDir;
    QRadioButton* rbRootDir;
    QCheckBox* cbRootDrive;
    QLabel* laPrefix;
    QLineEdit* edPrefix;
    QLineEdit* edtDir;
    QGroupBox* gbDirs;
    QLineEdit* edDirPrefix;
    QLineEdit* edDirSuffix;
    QPushButton* btnDirFDate;
    QPushButton* btnDirBDate;
    QPushButton* btnDirBTime;
    QGroupBox* gbFiles;
    QLineEdit* edFileSuffix;
    QPushButton* btnFDate;
    QPushButton* btnBDate;
    QPushButton* btnBTime;
    bool FSepDrives = false;
    bool FMirroring = false;
};

bool ShowSyncSuffixDialog(bool IsFtp, bool SepDrives, TSecSettings& SyncSec);
