#pragma once
// The dialog "Security copies during backups": where older versions of overwritten files go and how
// they are named (suffix, history copies, maximum age).

#include <QPoint>

#include "backup/SecurityCopyNames.h"
#include "backup/gui/TaskDialogBase.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class TRangeEdit;

class TSuffixDialog : public TTaskDialogBase
{
public:
    explicit TSuffixDialog(QWidget* parent = nullptr);
    // Adjusts DirMode for an FTP destination and without separate drives at once (also on Cancel).
    bool Execute(TBakOptions Options, bool SepDrives, TSecSettings& BakSec);
    void accept() override;

private:
    void LocationChanged();
    void RootDateChanged();
    void SuffixChanged();
    void CountersChanged();
    void DefaultSuffixIfEmpty();
    QRadioButton* rbNone;
    QRadioButton* rbSubDir;
    QRadioButton* rbSepDir;
    QRadioButton* rbRootDir;
    QCheckBox* cbRootDate;
    QCheckBox* cbRootDrive;
    QLabel* laPrefix;
    QLineEdit* edPrefix;
    QLineEdit* edtDir;
    QGroupBox* gbSuffix;
    QLineEdit* edSuffix;
    QPushButton* btnFDate;
    QPushButton* btnBDate;
    QPushButton* btnBTime;
    QGroupBox* gbHistory;
    TRangeEdit* reMaxHist;
    QGroupBox* gbAge;
    TRangeEdit* reAge;
    QLabel* laMinHist;
    TRangeEdit* reMinHist;
    bool FSepDrives = false;
    bool FUpdating = false;
};

bool ShowSuffixDialog(TBakOptions Options, bool SepDrives, TSecSettings& BakSec);
