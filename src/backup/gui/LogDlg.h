#pragma once
// "Settings for log": the log mode of a task and, optionally, a log file of its own.

#include <QPoint>
#include <string>

#include "backup/LogSettings.h"
#include "backup/gui/TaskDialogBase.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

class TLogDialog : public TTaskDialogBase
{
public:
    explicit TLogDialog(QWidget* parent = nullptr);
    bool Execute(const QPoint& APos, TLogKind LogKind, bool FileSelect, int& LogMode, std::string& LogName);

private:
    void Fill(int LogMode, const std::string& LogName);
    int Level() const;
    void LevelChanged();
    void ApplyLevel(int level);
    void LogChoiceChanged();
    void ShowDirectory();
    void SetTaskNameClick();
    void PlaceholderClick();
    void PrefsClick();
    QGroupBox* rgMode;
    QRadioButton* rbLevel[4];
    QGroupBox* gbOptions;
    QCheckBox* cbWarning;
    QCheckBox* cbPrint;
    QCheckBox* cbErrSummary;
    QGroupBox* gbLogFile;
    QRadioButton* rbDefLog;
    QRadioButton* rbTaskLog;
    QLineEdit* edLogname;
    QPushButton* btLogPh;
    QPushButton* btLogReset;
    QCheckBox* cbDelLog;
    QLabel* laDirLabel;
    QLabel* laLogDir;
    QPushButton* bbPrefs;
    std::string LogPref;
    TLogKind lk = lkBackup;
    bool FFilling = false;
};

bool ShowLogDialog(const QPoint& APos, TLogKind LogKind, int& LogMode, std::string& LogName);
bool ShowLogModeDialog(const QPoint& APos, TLogKind LogKind, int& LogMode);
