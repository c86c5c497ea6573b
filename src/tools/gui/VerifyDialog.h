#pragma once
// "Verify backed-up files": the editor of verify tasks, which also starts their runs.

#include <QString>
#include <functional>
#include <string>

#include "backup/gui/TaskDialogBase.h"
#include "tools/Verify.h"

class QCheckBox;
class QComboBox;
class QDateEdit;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QStackedWidget;

class TVerifyDialog : public TTaskDialogBase
{
public:
    explicit TVerifyDialog(QWidget* parent = nullptr);

    // The settings the controls show; Apply takes the controls into Settings.
    TVerifySettings Settings;
    std::string VJobName;
    TEditStatus EditStatus = esSaved;
    bool LoadedTask = false;

    void ShowSettings();
    void Apply();
    void SetVerifyMode(int mode);
    void SetFtpMode(bool ftp);
    void SetAgeMode(int mode, bool noChange);
    void SetEditStatus(TEditStatus status);
    // Loads a task file over the current settings (kept to come back when the window closes).
    bool LoadTask(const std::string& fileName);
    bool SaveTask(const std::string& fileName);
    // 0 go on, 1 go on without a task name, 2 stop (Cancel).
    int AskSaveChanges();
    // Shows the editor for a task file; returns the task name afterwards.
    std::string VerifyTask(const std::string& fileName);

    // Replaceable for tests: the FTP settings dialog, the chooser of a task file to save under, and the
    // run of the current settings.
    static std::function<bool(TFtpParams&)> EditFtp;
    static std::function<std::string(const std::string& title, const std::string& file)> ChooseSaveFile;
    std::function<void(TVerifyDialog&)> StartRun;

protected:
    void done(int result) override;

private:
    void UnitChanged();
    void StartClick();
    void SaveClick();
    void ShowSecTexts();

    TVerifySettings FSaved; // the settings from before a task was loaded
    bool FUpdating = false;
    QRadioButton *rbLocal, *rbFtp, *rbSingle, *rbFolderZip, *rbZip;
    QComboBox* cbSource;
    QPushButton* btSource;
    QLineEdit* edtFtp;
    QPushButton* btFtp;
    QStackedWidget* pcSource;
    QGroupBox* gbCompare;
    QRadioButton *rbtOrigin, *rbtSelect;
    QComboBox* cbDest;
    QPushButton* bbtDriveId;
    QCheckBox *UnpackCB, *cbDecrypt;
    QGroupBox* gbBakFiles;
    QLabel *laBakSec, *laSyncSec;
    QGroupBox* gbTimeSlot;
    QRadioButton *rbAll, *rbBefore, *rbSince, *rbOlder, *rbNewer, *rbDate;
    QSpinBox* reCount;
    QComboBox* cbTimeUnits;
    QDateEdit* dpDate;
    QLabel* FilterText;
    QPushButton *FilterBtn, *btnLog, *bbPassword, *LoadBtn, *SaveBtn, *SaveAsBtn, *btnSchedTask, *bbtStart,
        *bbtBack;
    QCheckBox* cbMail;
};
